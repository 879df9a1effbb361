// The program's message boxes: titled "<application title>. <caption>",
// owned by the window the user is working in.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// The box's title for a caption: "%s. %s" with the application's title.
std::string AppMessageBoxTitle(const std::string& caption);
// Shows a system message box (MB_ flags) and returns the button chosen
// (IDYES, IDNO, IDCANCEL ...).
int AppMessageBox(const std::string& caption, const std::string& text, UINT flags);
// The same with the buttons captioned as given (IDYES, "&Yes" ...), so a
// box reads in the program's language rather than the system's.
int AppMessageBox(const std::string& caption, const std::string& text, UINT flags,
                  const std::vector<std::pair<int, std::string>>& buttonTexts);
// The window a modal box of ours is owned by: the thread's active window,
// else the main form, else the application window.
HWND ModalOwnerWindow();
