// Path routines of the control layer: folder names and reachability for the
// client core, file times and the folder chooser for the user interface.
// Paths are UTF-8; Win32 is called with the W functions.
#pragma once
#include <string>
#include <string_view>

#include "platform/DateTime.h"

// dir with "\" appended, unless it is empty or already ends in ":" or "\".
// A single drive letter (either case) gets ":\" instead: "c" -> "c:\".
std::string EnsureTrailingBackslash(std::string_view dir);
// dir without one trailing "\" when it is longer than one character; a drive
// root ("c:\") keeps it.
std::string RemoveTrailingBackslash(std::string_view dir);
// True when path names an existing folder.
bool IsExistingDirectory(const std::string& path);
// The file's last modification time (local time); 0 when there is no such file.
TDateTime FileModifiedTime(const std::string& file);

// True when any character of chars occurs in text.
bool HasAnyChar(std::string_view text, std::string_view chars);
// False for an empty name, a name holding any of < > " [ ] |, or a file-name
// part holding a backslash.
bool IsValidFileName(std::string_view name);

// Each component after the root is looked up, from the last to the first:
// the long form takes the found long name, the short form the alternate
// 8.3 name (each falls back to the other when empty). A component that is
// not found comes out empty. The root ("c:" or "\\server\share") is kept.
std::string ShortToLongFileName(std::string_view path);
std::string LongToShortFileName(std::string_view path);

// Lets the user choose a folder with the shell's folder browser. caption is
// the prompt above the tree; dir gives the first selection and receives the
// choice. True when a folder was chosen.
bool BrowseForDirectory(const std::string& caption, std::string& dir, int helpContext = 0);
