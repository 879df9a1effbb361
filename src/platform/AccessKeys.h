// Access keys (the letter after "&" in a caption, reached with Alt) for the
// controls whose captions came without one: a text shared with places that
// show it as plain text (a client state, a list column) cannot carry the "&".
#pragma once

#include <string>

class TWinControl;

// The access key of a caption (the letter after a single "&"), upper-cased;
// 0 when it has none.
wchar_t AccessKeyOf(const std::string& caption);

// Gives every check box, radio button, push button other than the default and
// cancel ones, and label with a control to focus, under window, that has no
// access key yet the first letter of its caption no other one there uses
// (word starts first). Captions that have one keep it.
void GiveAccessKeys(TWinControl& window);
