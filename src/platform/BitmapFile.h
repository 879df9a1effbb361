// Pictures from files for backgrounds: a Windows bitmap (.bmp) or a JPEG
// picture (.jpg, .jpeg, told by its content).
#pragma once
#include <string>

class TBitmap;

// Loads the file into the bitmap. False, with the bitmap unchanged, when
// the file is missing, unreadable or no picture we know.
bool LoadBitmapFromFile(TBitmap& bitmap, const std::string& path);
