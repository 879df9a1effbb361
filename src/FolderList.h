// The list of monitored folders, kept in an INI file beside the executable
// (its name with ".ini"). Section "FAHDir" names the folders, one per key
// (line000, line001, ...), each value in double quotes; each folder has a
// section of its own, named by the folder with its trailing backslash:
//   Alias        as typed (quoted only when it could not be read back
//                otherwise: outer blanks, or outer quotes of its own)
//   Comp_Config  the computer's configuration text, in double quotes
//   ServiceName  the client's service name, in double quotes
//   ShowInHint   1 when the client shows in the tray hint, else 0
// Inner double quotes of a quoted value are doubled. A folder and a service
// name are read without outer blanks (the section names lose theirs).
//
// Values are read as the system's private-profile functions read them: one
// pair of matching outer quotes (" or ') is removed. The file is written
// whole through a temporary file, in the encoding it was read in (a file
// saved as "Unicode" stays UTF-16), with the user's comment lines. A file
// that exists but can't be read is never written: reading and writing it
// throw EFileError.
#pragma once
#include <string>
#include <vector>

struct TFolderEntry {
    std::string Folder;        // with a trailing backslash
    std::string Alias;
    std::string CompConfig;
    std::string ServiceName;
    bool ShowInHint = false;
};

// The executable's path with the extension ".ini".
std::string DefaultFolderListFile();

// A raw INI value as the private-profile functions return it.
std::string ProfileValue(const std::string& raw);
// A value in double quotes with inner double quotes doubled, and back
// (a value read without quotes comes back as it is, "" made single).
std::string QuotedValue(const std::string& value);
std::string UnquotedValue(const std::string& raw);

// The folders of "FAHDir" in order of their paths (ignoring case), each
// with the values of its section (empty when the section is missing). No
// file is an empty list; a file that can't be read throws EFileError.
// noHeaderLines, when given, receives the file's lines that start with "["
// but are no section header (the keys below each are not read).
std::vector<TFolderEntry> ReadFolderList(const std::string& iniFile,
                                         std::vector<std::string>* noHeaderLines = nullptr);
// Renumbers the "FAHDir" keys from line000, appends the folder (unless it
// is listed already, ignoring case) and writes its section.
void WriteFolderEntry(const std::string& iniFile, const TFolderEntry& entry);
// Removes every "FAHDir" key whose folder (with a trailing backslash added
// when missing) equals folder exactly, and the folder's section with it.
// Other keys keep their names. True when one was removed.
bool RemoveFolderEntry(const std::string& iniFile, const std::string& folder);
// Both of the above in one write of the file: the old folder's entry goes
// and the new one is written (an edit never leaves the folder out).
void ReplaceFolderEntry(const std::string& iniFile, const std::string& oldFolder, const TFolderEntry& entry);
