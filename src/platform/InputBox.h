// The input box: a small modal dialog with a caption, a prompt and a
// one-line edit, with OK and Cancel buttons (Enter and Esc).
#pragma once
#include <string>

// Shows the dialog with `value` in the edit (selected). True when the user
// pressed OK: value then holds the edit's text; otherwise value is unchanged.
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
// The text entered, or defaultValue when the dialog was cancelled.
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue);
// The Cancel button's caption in the user's language ("Cancel" until set).
void SetInputBoxCancelCaption(const std::string& caption);
