// Pictures from files for backgrounds: a Windows bitmap (.bmp) or a JPEG
// picture (.jpg, .jpeg, told by its content).
#pragma once
#include <functional>
#include <string>

class TBitmap;

// Loads the file into the bitmap. False, with the bitmap unchanged, when
// the file is missing, unreadable, no picture we know, or a picture whose
// headers can't be trusted (larger than any screen needs, or claiming more
// than the file holds); why then says which.
bool LoadBitmapFromFile(TBitmap& bitmap, const std::string& path, std::string* why = nullptr);

// Called with the path once a bitmap file's bytes have been read and
// checked, before the picture is made (tests replace the file there);
// nullptr: nothing is called.
void SetBitmapCheckedHookForTesting(std::function<void(const std::string& path)> hook);
