// Checks on real windows that every caption shows whole: the text is drawn
// with the control's own font and its inked width compared with the room the
// control gives it; labels must not lie under a windowed neighbour, and no
// control may stick out of its parent. Also lists the access keys ("&"
// letters) of the controls that take one.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class TControl;
class TWinControl;

namespace testing_support {

// The width the text takes when drawn on one line in the font: from the left
// edge to the last inked pixel ("&" marks handled as DrawText does unless
// noPrefix).
int InkWidth(HFONT font, const std::string& text, bool noPrefix = false);

// Every visible control under root whose caption is cut, which covers a
// label, or which sticks out of its parent: one line each ("Name: text:
// what"). Empty when everything fits.
std::vector<std::string> UnfitCaptions(TWinControl& root);

// The controls under root a user reaches with Alt+letter: check boxes, radio
// buttons, push buttons other than the default and cancel ones, and labels
// with a control to focus. Each with its caption.
struct TAccessKeyed {
    TControl* control;
    std::string caption;
};
std::vector<TAccessKeyed> AccessKeyedControls(TWinControl& root);

// The letter after a single "&" in a caption, upper-cased; 0 when none.
wchar_t AccessKeyOf(const std::string& caption);

}  // namespace testing_support
