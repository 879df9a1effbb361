// The largest picture the program decodes. A background or the About
// picture never needs more than a screen holds: an 8K screen (7680 x 4320)
// fits, and so does a strip up to 16384 pixels long. A header that claims
// more is refused before anything is allocated; the limit also keeps every
// size worked out from a header (bytes of a row, of the whole picture) far
// below the end of a 32-bit integer.
#pragma once
#include <cstdint>
#include <string>

constexpr int64_t kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = int64_t{7680} * 4320;
static_assert(kMaxPicturePixels * 4 < (int64_t{1} << 31));

// Whether a picture of width x height pixels may be decoded. A negative
// height (a top-down Windows bitmap) counts by its size.
inline bool PictureSizeAllowed(int64_t width, int64_t height)
{
    if (height < 0)
        height = -height;
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

// Why such a picture is refused, for the error log.
inline std::string PictureSizeRefusal(int64_t width, int64_t height)
{
    return "the picture claims " + std::to_string(width) + " x " + std::to_string(height < 0 ? -height : height) +
           " pixels, more than a picture may have (" + std::to_string(kMaxPictureSide) + " on a side, " +
           std::to_string(kMaxPicturePixels) + " in all)";
}
