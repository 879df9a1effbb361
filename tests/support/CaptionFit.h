// Checks on real windows that every caption shows whole: the text is drawn
// with the control's own font and its inked width compared with the room the
// control gives it; labels must not lie under a windowed neighbour, and no
// control may stick out of its parent. And that access keys are all there
// and unique.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class TWinControl;

namespace testing_support {

// The width the text takes when drawn on one line in the font: from the left
// edge to the last inked pixel ("&" marks handled unless noPrefix).
int InkWidth(HFONT font, const std::string& text, bool noPrefix = false);

// Every visible control under root whose caption is cut, which covers a
// label, or which sticks out of its parent: one line each. Empty when
// everything fits.
std::vector<std::string> UnfitCaptions(TWinControl& root);

// The captions of the visible controls under root a user reaches with
// Alt+letter: check boxes, radio buttons, push buttons other than the
// default and cancel ones, and labels with a control to focus.
std::vector<std::string> AccessKeyCaptions(TWinControl& root);
// The captions without an access key and those sharing one with an earlier
// caption. Empty when each has its own.
std::vector<std::string> AccessKeyProblems(const std::vector<std::string>& captions);

}  // namespace testing_support
