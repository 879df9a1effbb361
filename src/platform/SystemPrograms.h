// The system's own programs are started by their full path, never by bare
// name: Windows would look in the program's folder and the current folder
// first, and a copy lying there would run instead.
#pragma once
#include <string>

// A program of the system folder ("sc.exe").
std::string SystemProgramPath(const std::string& name);
// A program of the Windows folder ("explorer.exe").
std::string WindowsProgramPath(const std::string& name);

// Tests: both look in this folder instead (a trailing backslash is added);
// empty gives the real folders back.
void SetSystemProgramFolderForTesting(const std::string& folder);
