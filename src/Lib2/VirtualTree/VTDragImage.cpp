#include "Lib2/VirtualTree/VTDragImage.h"

#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Lib2/VirtualTree/VTUtils.h"
#include "platform/Canvas.h"

namespace {

// The screen's device context for as long as the object lives.
class TScreenDC {
public:
    TScreenDC() : dc_(GetDC(nullptr)) {}
    ~TScreenDC() { ReleaseDC(nullptr, dc_); }
    TScreenDC(const TScreenDC&) = delete;
    TScreenDC& operator=(const TScreenDC&) = delete;
    operator HDC() const { return dc_; }

private:
    HDC dc_;
};

HDC DC(TBitmap& b) { return b.Canvas().Handle(); }

}  // namespace

TVTDragImage::TVTDragImage(TWinControl* owner) : owner_(owner) {}

TVTDragImage::~TVTDragImage() { EndDrag(); }

void TVTDragImage::SetPreBlendBias(int value) { preBlendBias_ = std::clamp(value, -128, 127); }

void TVTDragImage::SetPostBlendBias(int value) { postBlendBias_ = std::clamp(value, -128, 127); }

bool TVTDragImage::Visible() const
{
    return (states_ & (disPrepared | disInDrag | disHidden | disSystemSupport)) == (disPrepared | disInDrag);
}

RECT TVTDragImage::GetDragImageRect() const
{
    if (!(states_ & disPrepared))
        return RECT{};
    return RECT{imagePosition_.x, imagePosition_.y, imagePosition_.x + alphaImage_.Width(),
                imagePosition_.y + alphaImage_.Height()};
}

void TVTDragImage::MakeAlphaChannel(TBitmap& image, COLORREF colorKey)
{
    int w = image.Width(), h = image.Height();
    if (w <= 0 || h <= 0)
        return;
    std::uint8_t* first = nullptr;
    ptrdiff_t stride = 0;
    int bw = 0, bh = 0;
    if (!DIBRows(image.Canvas().Handle(), first, stride, bw, bh))
        return;
    GdiFlush();
    const double cx = w / 2.0, cy = h / 2.0, size = std::max(w, h);
    const std::uint32_t key = colorKey == CLR_NONE
                                  ? 0xFFFFFFFFu
                                  : (static_cast<std::uint32_t>(GetRValue(colorKey)) << 16) |
                                        (GetGValue(colorKey) << 8) | GetBValue(colorKey);
    for (int y = 0; y < h; ++y) {
        auto* p = reinterpret_cast<std::uint32_t*>(first + y * stride);
        for (int x = 0; x < w; ++x) {
            std::uint32_t colour = p[x] & 0xFFFFFF;
            std::uint32_t alpha = 0;
            if (colour != key) {
                double d = std::hypot(x - cx, y - cy) / size;
                alpha = static_cast<std::uint32_t>(std::lround(255.0 * std::exp(-8.0 * d)));
            }
            p[x] = colour | (alpha << 24);
        }
    }
}

bool TVTDragImage::TrySystemService(TBitmap& image, POINT imagePosition, POINT hotSpot,
                                    IDataObject* dataObject)
{
    IDragSourceHelper* helper = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                                reinterpret_cast<void**>(&helper))) ||
        !helper)
        return false;
    SHDRAGIMAGE info = {};
    info.sizeDragImage.cx = image.Width();
    info.sizeDragImage.cy = image.Height();
    info.ptOffset.x = hotSpot.x - imagePosition.x;
    info.ptOffset.y = hotSpot.y - imagePosition.y;
    // The service takes over the bitmap when it accepts it.
    info.hbmpDragImage = static_cast<HBITMAP>(CopyImage(image.Handle(), IMAGE_BITMAP, 0, 0, 0));
    info.crColorKey = colorKey_ == CLR_NONE ? GetSysColor(COLOR_WINDOW) : colorKey_;
    bool ok = info.hbmpDragImage && SUCCEEDED(helper->InitializeFromBitmap(&info, dataObject));
    if (!ok && info.hbmpDragImage)
        DeleteObject(info.hbmpDragImage);
    helper->Release();
    return ok;
}

bool TVTDragImage::PrepareDrag(TBitmap& image, POINT imagePosition, POINT hotSpot, IDataObject* dataObject)
{
    EndDrag();
    imagePosition_ = imagePosition;
    lastPosition_ = hotSpot;
    if (image.Empty())
        return false;
    if (dataObject && TrySystemService(image, imagePosition, hotSpot, dataObject)) {
        states_ |= disSystemSupport;
        return true;
    }
    if (!MMXAvailable())
        return false;

    int w = image.Width(), h = image.Height();
    alphaImage_.SetSize(w, h);
    BitBlt(DC(alphaImage_), 0, 0, w, h, DC(image), 0, 0, SRCCOPY);
    RECT all = {0, 0, w, h};
    if (preBlendBias_ != 0)
        AlphaBlend(DC(alphaImage_), DC(alphaImage_), all, POINT{0, 0}, bmConstantAlpha, 0, preBlendBias_);
    MakeAlphaChannel(alphaImage_, colorKey_);
    background_.SetSize(w, h);
    composed_.SetSize(w, h);
    states_ |= disPrepared;
    return true;
}

void TVTDragImage::Compose()
{
    int w = composed_.Width(), h = composed_.Height();
    BitBlt(DC(composed_), 0, 0, w, h, DC(background_), 0, 0, SRCCOPY);
    TBlendMode mode = (fade_ || colorKey_ != CLR_NONE) ? bmMasterAlpha : bmConstantAlpha;
    AlphaBlend(DC(alphaImage_), DC(composed_), RECT{0, 0, w, h}, POINT{0, 0}, mode, transparency_,
               postBlendBias_);
}

void TVTDragImage::DrawToScreen(HDC screen, int x, int y)
{
    BitBlt(screen, x, y, composed_.Width(), composed_.Height(), DC(composed_), 0, 0, SRCCOPY);
}

void TVTDragImage::ShowDragImage()
{
    if (!(states_ & disPrepared) || (states_ & disSystemSupport) || Visible())
        return;
    TScreenDC screen;
    BitBlt(DC(background_), 0, 0, background_.Width(), background_.Height(), screen, imagePosition_.x,
           imagePosition_.y, SRCCOPY);
    Compose();
    DrawToScreen(screen, imagePosition_.x, imagePosition_.y);
    states_ |= disInDrag;
    states_ &= ~disHidden;
}

void TVTDragImage::HideDragImage()
{
    if (!Visible())
        return;
    TScreenDC screen;
    BitBlt(screen, imagePosition_.x, imagePosition_.y, background_.Width(), background_.Height(),
           DC(background_), 0, 0, SRCCOPY);
    states_ |= disHidden;
}

bool TVTDragImage::WillMove(POINT p) const
{
    if (!Visible())
        return false;
    int dx = restriction_ == dmrVerticalOnly ? 0 : p.x - lastPosition_.x;
    int dy = restriction_ == dmrHorizontalOnly ? 0 : p.y - lastPosition_.y;
    return dx != 0 || dy != 0;
}

bool TVTDragImage::DragTo(POINT p, bool forceRepaint)
{
    int dx = restriction_ == dmrVerticalOnly ? 0 : p.x - lastPosition_.x;
    int dy = restriction_ == dmrHorizontalOnly ? 0 : p.y - lastPosition_.y;
    lastPosition_ = p;
    bool moved = dx != 0 || dy != 0;
    if (!(states_ & disPrepared) || (states_ & disSystemSupport))
        return false;
    POINT old = imagePosition_;
    POINT now = {old.x + dx, old.y + dy};
    if (!Visible()) {
        imagePosition_ = now;
        return moved;
    }
    if (!moved && !forceRepaint)
        return false;

    TScreenDC screen;
    int w = composed_.Width(), h = composed_.Height();
    if (!moved) {
        Compose();
        DrawToScreen(screen, old.x, old.y);
    } else if (std::abs(dx) >= w || std::abs(dy) >= h) {
        // Far away: put the old place back, take the new one.
        BitBlt(screen, old.x, old.y, w, h, DC(background_), 0, 0, SRCCOPY);
        BitBlt(DC(background_), 0, 0, w, h, screen, now.x, now.y, SRCCOPY);
        Compose();
        DrawToScreen(screen, now.x, now.y);
    } else {
        // Overlapping places: the union of both is rebuilt off-screen (the
        // old background put back, the new one taken, the picture drawn)
        // and copied to the screen in one piece, so nothing flickers.
        RECT u = {std::min(old.x, now.x), std::min(old.y, now.y), std::max(old.x, now.x) + w,
                  std::max(old.y, now.y) + h};
        TBitmap work;
        work.SetSize(u.right - u.left, u.bottom - u.top);
        BitBlt(DC(work), 0, 0, work.Width(), work.Height(), screen, u.left, u.top, SRCCOPY);
        BitBlt(DC(work), old.x - u.left, old.y - u.top, w, h, DC(background_), 0, 0, SRCCOPY);
        BitBlt(DC(background_), 0, 0, w, h, DC(work), now.x - u.left, now.y - u.top, SRCCOPY);
        Compose();
        BitBlt(DC(work), now.x - u.left, now.y - u.top, w, h, DC(composed_), 0, 0, SRCCOPY);
        BitBlt(screen, u.left, u.top, work.Width(), work.Height(), DC(work), 0, 0, SRCCOPY);
    }
    imagePosition_ = now;
    return moved;
}

void TVTDragImage::RecaptureBackground(const RECT& screenRect)
{
    if (!Visible())
        return;
    RECT image = GetDragImageRect(), inter;
    if (!IntersectRect(&inter, &image, &screenRect))
        return;
    TScreenDC screen;
    BitBlt(DC(background_), inter.left - image.left, inter.top - image.top, inter.right - inter.left,
           inter.bottom - inter.top, screen, inter.left, inter.top, SRCCOPY);
    Compose();
    DrawToScreen(screen, image.left, image.top);
}

void TVTDragImage::EndDrag()
{
    HideDragImage();
    alphaImage_.SetSize(0, 0);
    background_.SetSize(0, 0);
    composed_.SetSize(0, 0);
    states_ = 0;
}
