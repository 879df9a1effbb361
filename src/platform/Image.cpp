#include "platform/Image.h"

#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/Jpeg.h"
#include "platform/PictureSize.h"

TImage::TImage(TComponent* owner) : TGraphicControl(owner)
{
    width_ = 105;
    height_ = 105;
}

void TImage::SetIcon(HICON icon)
{
    bitmap_.SetHandle(nullptr);
    icon_.AssignHandle(icon);
    Invalidate();
}

void TImage::SetBitmap(const TBitmap& bitmap)
{
    icon_.SetHandle(nullptr);
    bitmap_.Assign(bitmap);
    Invalidate();
}

void TImage::Paint(TCanvas& canvas)
{
    if (!bitmap_.Empty())
        canvas.Draw(0, 0, bitmap_);
    else if (!icon_.Empty())
        DrawIconEx(canvas.Handle(), 0, 0, icon_.Handle(), width_, height_, 0, nullptr, DI_NORMAL);
}

void JpegToBitmap(const TJpegImage& jpeg, TBitmap& bitmap)
{
    if (!PictureSizeAllowed(jpeg.width, jpeg.height))
        throw Exception(jpeg.width <= 0 || jpeg.height <= 0 ? "The picture holds no pixels"
                                                            : PictureSizeRefusal(jpeg.width, jpeg.height));
    // Within the picture limit, so no product here wraps.
    if (jpeg.rgb.size() < static_cast<size_t>(jpeg.width) * static_cast<size_t>(jpeg.height) * 3)
        throw Exception("The picture holds no pixels");
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = jpeg.width;
    bi.bmiHeader.biHeight = -jpeg.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP h = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!h || !bits)
        throw Exception("Out of system resources");
    auto* out = static_cast<unsigned char*>(bits);
    const auto* in = reinterpret_cast<const unsigned char*>(jpeg.rgb.data());
    const size_t pixels = static_cast<size_t>(jpeg.width) * static_cast<size_t>(jpeg.height);
    for (size_t i = 0; i < pixels; ++i) {
        out[i * 4 + 0] = in[i * 3 + 2];
        out[i * 4 + 1] = in[i * 3 + 1];
        out[i * 4 + 2] = in[i * 3 + 0];
        out[i * 4 + 3] = 0;
    }
    GdiFlush();
    bitmap.SetHandle(h);
}

void LoadJpegBitmap(std::string_view data, TBitmap& bitmap) { JpegToBitmap(DecodeJpeg(data), bitmap); }
