// Upload sizes of work-unit results, by project.
//
// UploadSizeList holds lines "#project;size;sizeType" (size with "." as the
// decimal point; type 0 bytes, 1 KB, 2 MB). From the top: the sizes of units
// finished here (UploadLocFile), the downloaded list (UploadFile), a line
// "---", then the built-in table "UploadSizeInfo". The first line of a
// project wins.
#pragma once
#include <string>

#include "Classes/ProjectInfo.h"

TDataLines& UploadSizeList();

// A data-folder list larger than this is left unread.
constexpr uint64_t kMaxUploadListBytes = 16ull << 20;

// Rebuilds the part above "---" from the two data-folder files: local sizes,
// then downloaded ones. Nothing changes when neither file exists. The files
// are joined line by line: one without a final line break, or holding a "---"
// line of its own, neither merges lines nor adds a second separator.
void LoadUploadSizes();

// The upload size of a project's result for display, "1.46 KB", "46.4 MB";
// empty for project 0, an unknown project, a size of 0 or a size that is not
// a number.
std::string GetResultSizeText(int project);

// UploadSizeList := the built-in table, then LoadUploadSizes.
void InitUploadSizes();
