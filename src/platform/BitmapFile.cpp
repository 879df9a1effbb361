#include "platform/BitmapFile.h"

#include <windows.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Graphics.h"
#include "platform/Image.h"
#include "platform/PictureSize.h"

namespace {

constexpr uint64_t kMaxPictureBytes = 64ull << 20;

std::function<void(const std::string&)> g_checkedHook;

uint32_t Le(const std::string& d, size_t at, size_t bytes)
{
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(d[at + i])) << (8 * i);
    return v;
}

// Where a checked bitmap file keeps its parts.
struct TBmpLayout {
    int64_t width = 0, height = 0;   // a negative height: the top row first
    size_t infoSize = 0;             // the info header
    size_t headers = 0;              // the info header and the palette (or colour masks)
    uint64_t bits = 0;               // where the pixels start
};

// Why the system must not be given this bitmap file: its headers claim a
// picture larger than we decode, a layout we don't know, or more bytes than
// the file holds (the system reads past the data then). Empty when it may
// be made into a picture; layout then says where its parts are.
std::string BmpProblem(const std::string& d, TBmpLayout& layout)
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
    layout = TBmpLayout{width, height, static_cast<size_t>(infoSize), static_cast<size_t>(infoSize + palette), offBits};
    return std::string();
}

// The checked file's picture as a 32-bit bitmap, top row first: the system
// turns the file's rows (any depth, palette or run-length coding) into it
// from the bytes in memory, never from the file again.
HBITMAP BitmapFromChecked(const std::string& d, const TBmpLayout& layout)
{
    // The headers copied where the system may read them aligned.
    std::vector<uint32_t> info((layout.headers + 3) / 4);
    memcpy(info.data(), d.data() + 14, layout.headers);
    if (layout.infoSize >= sizeof(BITMAPV5HEADER)) {
        // A colour profile would lie elsewhere in the file: the copy names none.
        auto* v5 = reinterpret_cast<BITMAPV5HEADER*>(info.data());
        v5->bV5CSType = 0x73524742;   // LCS_sRGB
        v5->bV5ProfileData = 0;
        v5->bV5ProfileSize = 0;
    }
    const auto* source = reinterpret_cast<const BITMAPINFO*>(info.data());
    const int rows = static_cast<int>(layout.height < 0 ? -layout.height : layout.height);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = static_cast<LONG>(layout.width);
    bi.bmiHeader.biHeight = -rows;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!bitmap)
        return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    const int copied = dc ? SetDIBits(dc, bitmap, 0, static_cast<UINT>(rows), d.data() + layout.bits, source,
                                      DIB_RGB_COLORS)
                          : 0;
    if (dc)
        DeleteDC(dc);
    if (copied != rows) {
        DeleteObject(bitmap);
        return nullptr;
    }
    GdiFlush();
    return bitmap;
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
        TBmpLayout layout;
        std::string problem = BmpProblem(data, layout);
        if (!problem.empty())
            return fail(problem);
        if (g_checkedHook)
            g_checkedHook(path);
        HBITMAP handle = BitmapFromChecked(data, layout);
        if (!handle)
            return fail("the system can't make a picture of the bitmap");
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

void SetBitmapCheckedHookForTesting(std::function<void(const std::string& path)> hook)
{
    g_checkedHook = std::move(hook);
}
