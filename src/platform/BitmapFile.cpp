#include "platform/BitmapFile.h"

#include <windows.h>

#include <cstring>

#include "platform/FileUtil.h"
#include "platform/Graphics.h"
#include "platform/Jpeg.h"
#include "platform/Text.h"

namespace {

constexpr uint64_t kMaxPictureBytes = 64ull << 20;

// A top-down 24-bit DIB section from decoded RGB rows.
HBITMAP BitmapFromJpeg(const TJpegImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3)
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits)
        return bitmap;
    const size_t stride = (static_cast<size_t>(image.width) * 3 + 3) & ~size_t(3);
    for (int y = 0; y < image.height; ++y) {
        const auto* src = reinterpret_cast<const unsigned char*>(image.rgb.data()) +
                          static_cast<size_t>(y) * static_cast<size_t>(image.width) * 3;
        auto* dst = static_cast<unsigned char*>(bits) + static_cast<size_t>(y) * stride;
        for (int x = 0; x < image.width; ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
        }
    }
    GdiFlush();
    return bitmap;
}

}  // namespace

bool LoadBitmapFromFile(TBitmap& bitmap, const std::string& path)
{
    if (path.empty() || !FileExists(path))
        return false;
    std::string data;
    if (!TryReadFileText(path, data, kMaxPictureBytes) || data.size() < 4)
        return false;
    HBITMAP handle = nullptr;
    if (data[0] == 'B' && data[1] == 'M') {
        handle = static_cast<HBITMAP>(LoadImageW(nullptr, Utf8ToWide(path).c_str(), IMAGE_BITMAP, 0, 0,
                                                 LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    } else if (static_cast<unsigned char>(data[0]) == 0xFF && static_cast<unsigned char>(data[1]) == 0xD8) {
        try {
            handle = BitmapFromJpeg(DecodeJpeg(data));
        } catch (const std::exception&) {
            handle = nullptr;
        }
    }
    if (!handle)
        return false;
    bitmap.SetHandle(handle);
    return true;
}
