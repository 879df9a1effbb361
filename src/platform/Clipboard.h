// Plain text on the clipboard (CF_UNICODETEXT; other programs get CF_TEXT
// made from it by the system). The clipboard can be held open by another
// program for a moment: opening it is tried again a few times before
// giving up.
#pragma once
#include <windows.h>

#include <string>

#include "platform/Exceptions.h"

class EClipboardError : public Exception { using Exception::Exception; };

// Replaces the clipboard's content with the text. Throws EClipboardError
// when the clipboard stays busy or the text cannot be handed over (the
// memory for it is then freed).
void SetClipboardText(const std::string& text);
// The clipboard's text; "" when it holds none. Throws EClipboardError when
// the clipboard stays busy.
std::string GetClipboardText();

// How often and how far apart opening is tried (6 tries, 50 ms apart).
constexpr int kClipboardOpenTries = 6;
constexpr DWORD kClipboardRetryMs = 50;
