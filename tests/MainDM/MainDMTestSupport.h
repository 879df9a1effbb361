// Shared pieces of the data-module tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "Common/AppSettings.h"

namespace maindm_test {

// Sets a setting's stored and edited value.
void SetSetting(const char* name, const TAppVariant& value);
// A file beside the test executable (Windows path).
std::string BesideExe(const std::string& name);
// The texts of a message box's static controls, joined by line breaks.
std::string DialogText(HWND dialog);
// This computer's name as the list shows it (lower case).
std::string LocalComputer();
// The computer of a folder: the host of "\\host\...", else LocalComputer().
std::string ComputerOfPath(const std::string& path);

}  // namespace maindm_test
