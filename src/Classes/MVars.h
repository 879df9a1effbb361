// The program folder and the paths of the data files kept beside it.
//
// Computed when the program starts from the executable's folder; the data
// folder "Data\" is created then. A folder that can't be created (a read-only
// program folder) is not an error at start: whoever writes there later (the
// downloads) meets the failure and reports it.
#pragma once
#include <string>

// Folder of the executable, with a trailing backslash.
const std::string& AppDir();
// AppDir() + "Data\".
const std::string& DataDir();
// The downloaded project summary page and its download in progress.
const std::string& PSummaryFile();
const std::string& PSummaryTmpFile();
// The downloaded upload-size list and its download in progress.
const std::string& UploadFile();
const std::string& UploadTmpFile();
// Upload sizes of the units finished on this computer.
const std::string& UploadLocFile();
// The downloaded version file.
const std::string& LastVerTmpFile();

// Points every path at another program folder and creates its data folder;
// false when that folder can't be created. Start-up does this with the
// executable's folder.
bool SetAppDir(const std::string& dir);
// Creates the data folder (with missing parents) when it is not there;
// false when it can't be created.
bool EnsureDataDir();
