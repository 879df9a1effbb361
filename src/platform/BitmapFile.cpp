#include "platform/BitmapFile.h"

#include <windows.h>

#include <cstring>

#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Graphics.h"
#include "platform/Image.h"
#include "platform/PictureSize.h"
#include "platform/Text.h"

namespace {

constexpr uint64_t kMaxPictureBytes = 64ull << 20;

uint32_t Le(const std::string& d, size_t at, size_t bytes)
{
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(d[at + i])) << (8 * i);
    return v;
}

// Why the system's loader must not be given this bitmap file: its headers
// claim a picture larger than we decode, a layout we don't know, or more
// bytes than the file holds (the loader reads past the data then). Empty
// when it may be loaded.
std::string BmpProblem(const std::string& d)
{
    constexpr size_t kFileHeader = 14;
    if (d.size() < kFileHeader + 16)
        return "the file is cut short";
    const uint64_t offBits = Le(d, 10, 4), infoSize = Le(d, 14, 4);
    int64_t width, height;
    uint32_t planes, bpp, compression = BI_RGB, sizeImage = 0, colorsUsed = 0;
    size_t paletteEntry = 4;
    if (infoSize == sizeof(BITMAPCOREHEADER)) {
        width = Le(d, 18, 2);
        height = Le(d, 20, 2);
        planes = Le(d, 22, 2);
        bpp = Le(d, 24, 2);
        paletteEntry = 3;
    } else if (infoSize >= sizeof(BITMAPINFOHEADER) && infoSize <= 1024 && d.size() >= kFileHeader + infoSize) {
        width = static_cast<int32_t>(Le(d, 18, 4));
        height = static_cast<int32_t>(Le(d, 22, 4));
        planes = Le(d, 26, 2);
        bpp = Le(d, 28, 2);
        compression = Le(d, 30, 4);
        sizeImage = Le(d, 34, 4);
        colorsUsed = Le(d, 46, 4);
    } else {
        return "the bitmap's header is of no known kind";
    }
    if (!PictureSizeAllowed(width, height))
        return PictureSizeRefusal(width, height);
    if (planes != 1 || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32))
        return "the bitmap has " + std::to_string(bpp) + " bits per pixel in " + std::to_string(planes) + " planes";
    if (bpp <= 8 ? colorsUsed > (1u << bpp) : colorsUsed > 256)
        return "the bitmap claims " + std::to_string(colorsUsed) + " colours";
    uint64_t palette = (colorsUsed ? colorsUsed : bpp <= 8 ? 1u << bpp : 0) * paletteEntry;
    if (compression == BI_BITFIELDS && infoSize == sizeof(BITMAPINFOHEADER))
        palette += 12;   // the three colour masks
    uint64_t pixels;
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        // Whole rows of 32-bit units; within the picture limit no product wraps.
        pixels = (static_cast<uint64_t>(width) * bpp + 31) / 32 * 4 * static_cast<uint64_t>(height < 0 ? -height : height);
    } else if ((compression == BI_RLE8 && bpp == 8) || (compression == BI_RLE4 && bpp == 4)) {
        if (sizeImage == 0 || height < 0)
            return "the bitmap's compressed data has no size";
        pixels = sizeImage;
    } else {
        return "the bitmap's compression " + std::to_string(compression) + " is not read";
    }
    if (offBits < kFileHeader + infoSize + palette || offBits + pixels > d.size())
        return "the file holds less than its headers claim";
    return std::string();
}

}  // namespace

bool LoadBitmapFromFile(TBitmap& bitmap, const std::string& path, std::string* why)
{
    auto fail = [&](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    if (path.empty() || !FileExists(path))
        return fail("the file is not there");
    std::string data;
    if (!TryReadFileText(path, data, kMaxPictureBytes))
        return fail("the file can't be read or is larger than " + std::to_string(kMaxPictureBytes) + " bytes");
    if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') {
        std::string problem = BmpProblem(data);
        if (!problem.empty())
            return fail(problem);
        HBITMAP handle = static_cast<HBITMAP>(LoadImageW(nullptr, Utf8ToWide(path).c_str(), IMAGE_BITMAP, 0, 0,
                                                         LR_LOADFROMFILE | LR_CREATEDIBSECTION));
        if (!handle)
            return fail("the system can't load the bitmap");
        bitmap.SetHandle(handle);
        return true;
    }
    if (data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFF && static_cast<unsigned char>(data[1]) == 0xD8) {
        try {
            LoadJpegBitmap(data, bitmap);
            return true;
        } catch (const Exception& e) {
            return fail(e.what());
        }
    }
    return fail("the file is neither a Windows bitmap nor a JPEG picture");
}
