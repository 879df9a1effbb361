// Shared pieces of the data-module tests.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Common/AppSettings.h"
#include "MainDM.h"

namespace maindm_test {

// Sets a setting's stored and edited value.
void SetSetting(const char* name, const TAppVariant& value);
void SetRegString(HKEY root, const std::string& key, const std::string& value);
// A file beside the test executable (Windows path).
std::string BesideExe(const std::string& name);
// Runs f while a helper thread waits for a message box, notes its text and
// presses the button; the text ("" when no box showed).
std::string AnswerBox(const std::function<void()>& f, int button);
// The same, giving the captions of the box's Yes, No and Cancel buttons,
// each followed by "|".
std::string AnswerBoxButtons(const std::function<void()>& f, int button);
std::string Join(const std::vector<std::string>& lines, const char* sep = "|");
// This computer's name as the list shows it (lower case), and the computer
// of a folder: the host of "\\host\...", else this one.
std::string LocalComputer();
std::string ComputerOfPath(const std::string& path);

}  // namespace maindm_test
