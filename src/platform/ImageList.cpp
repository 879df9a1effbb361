#include "platform/ImageList.h"

#include "platform/Canvas.h"
#include "platform/GdiGuards.h"

TCustomImageList::TCustomImageList(TComponent* owner, int width, int height)
    : TComponent(owner), width_(width), height_(height)
{
}

TChangeLink::~TChangeLink()
{
    if (sender_)
        sender_->UnRegisterChanges(this);
}

void TChangeLink::Change()
{
    if (OnChange)
        OnChange(sender_);
}

TCustomImageList::~TCustomImageList()
{
    for (TChangeLink* link : links_)
        link->sender_ = nullptr;
    links_.clear();
    if (list_)
        ImageList_Destroy(list_);
}

void TCustomImageList::RegisterChanges(TChangeLink* link)
{
    if (!link)
        return;
    if (link->sender_ && link->sender_ != this)
        link->sender_->UnRegisterChanges(link);
    link->sender_ = this;
    link->ImageWidth = width_;
    link->ImageHeight = height_;
    for (TChangeLink* l : links_)
        if (l == link)
            return;
    links_.push_back(link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* link)
{
    for (auto it = links_.begin(); it != links_.end(); ++it)
        if (*it == link) {
            links_.erase(it);
            break;
        }
    if (link && link->sender_ == this)
        link->sender_ = nullptr;
}

HIMAGELIST TCustomImageList::Handle()
{
    if (!list_)
        list_ = ImageList_Create(width_, height_, ILC_COLOR32 | ILC_MASK, 4, 4);
    return list_;
}

void TCustomImageList::SetSize(int width, int height)
{
    if (width == width_ && height == height_)
        return;
    if (list_)
        ImageList_Destroy(list_);
    list_ = nullptr;
    width_ = width;
    height_ = height;
    Changed();
}

int TCustomImageList::Count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }

void TCustomImageList::Changed()
{
    std::weak_ptr<void> alive = AliveToken();
    if (OnChange)
        OnChange(this);
    // A copy: a holder may unregister (or register another) while told.
    std::vector<TChangeLink*> links = links_;
    for (TChangeLink* link : links) {
        if (alive.expired())
            return;
        for (TChangeLink* l : links_)
            if (l == link) {
                link->Change();
                break;
            }
    }
}

int TCustomImageList::AddIcon(HICON icon)
{
    if (!icon || !Handle())
        return -1;
    int i = ImageList_AddIcon(list_, icon);
    if (i >= 0)
        Changed();
    return i;
}

int TCustomImageList::Add(TBitmap& image, TBitmap* mask)
{
    if (image.Empty() || !Handle())
        return -1;
    // ImageList_Add needs bitmaps not selected into a device context.
    TBitmap copy;
    copy.SetSize(width_, height_);
    BitBlt(copy.Canvas().Handle(), 0, 0, width_, height_, image.Canvas().Handle(), 0, 0, SRCCOPY);
    TGdiObject<HBITMAP> maskCopy;
    if (mask && !mask->Empty()) {
        maskCopy.Reset(CreateBitmap(width_, height_, 1, 1, nullptr));
        TMemoryDC dc;
        TSelection selected(dc.Handle(), maskCopy.Get());
        if (dc.Handle())
            BitBlt(dc.Handle(), 0, 0, width_, height_, mask->Canvas().Handle(), 0, 0, SRCCOPY);
    }
    // Hand over a bitmap that is not selected anywhere.
    TGdiObject<HBITMAP> plain(static_cast<HBITMAP>(CopyImage(copy.Handle(), IMAGE_BITMAP, 0, 0, 0)));
    int i = ImageList_Add(list_, plain.Get(), maskCopy.Get());
    if (i >= 0)
        Changed();
    return i;
}

void TCustomImageList::Delete(int index)
{
    if (list_ && index >= 0 && index < Count() && ImageList_Remove(list_, index))
        Changed();
}

void TCustomImageList::Clear()
{
    if (list_ && Count() > 0) {
        ImageList_RemoveAll(list_);
        Changed();
    }
}

bool TCustomImageList::GetIcon(int index, TIcon& icon)
{
    if (!list_ || index < 0 || index >= Count())
        return false;
    HICON h = ImageList_GetIcon(list_, index, ILD_NORMAL);
    if (!h)
        return false;
    icon.SetHandle(h);
    return true;
}

void TCustomImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled)
{
    if (list_ && index >= 0 && index < Count())
        DoDraw(index, canvas, x, y, ILD_NORMAL, enabled);
}

namespace {

// A top-down 32-bit DIB section of w x h, filled with white.
struct TDib {
    TDib(int w, int h) : dc(CreateCompatibleDC(nullptr))
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<DWORD*>(p);
        if (dc && bitmap) {
            old = SelectObject(dc, bitmap);
            for (int i = 0; i < w * h; ++i)
                bits[i] = 0x00FFFFFF;
        }
    }
    ~TDib()
    {
        if (dc) {
            if (old)
                SelectObject(dc, old);
            DeleteDC(dc);
        }
        if (bitmap)
            DeleteObject(bitmap);
    }
    TDib(const TDib&) = delete;
    TDib& operator=(const TDib&) = delete;
    bool Ok() const { return dc && bitmap && bits; }
    HDC dc;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    DWORD* bits = nullptr;
};

// Paints colour where the monochrome source has 1 bits, leaves the rest.
constexpr DWORD kRopDSPDxax = 0x00E20746;

void PaintInk(HDC dest, int x, int y, int w, int h, HDC mono, COLORREF colour)
{
    TGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    TSelection selected(dest, brush.Get());
    COLORREF oldText = SetTextColor(dest, RGB(0, 0, 0));
    COLORREF oldBk = SetBkColor(dest, RGB(255, 255, 255));
    BitBlt(dest, x, y, w, h, mono, 0, 0, kRopDSPDxax);
    SetTextColor(dest, oldText);
    SetBkColor(dest, oldBk);
}

}  // namespace

void TCustomImageList::DrawEx(TCanvas& canvas, int x, int y, int index, TDrawingStyle style, bool enabled,
                              int overlay, COLORREF blendColor)
{
    HDC dc = canvas.Handle();
    if (!list_ || index < 0 || index >= Count() || !dc)
        return;
    if (!enabled) {
        DoDraw(index, canvas, x, y, ILD_TRANSPARENT, false);
        return;
    }
    const bool withOverlay = overlay >= 0 && overlay < Count();
    if (style == dsSelected || style == dsFocus) {
        // Blended here rather than by the list: the image's opaque pixels
        // mixed with the colour, half or a quarter, over what is there.
        const int w = width_, h = height_;
        TDib image(w, h), mask(w, h), back(w, h);
        if (!image.Ok() || !mask.Ok() || !back.Ok())
            return;
        ImageList_Draw(list_, index, image.dc, 0, 0, ILD_TRANSPARENT);
        ImageList_Draw(list_, index, mask.dc, 0, 0, ILD_MASK);
        BitBlt(back.dc, 0, 0, w, h, dc, x, y, SRCCOPY);
        GdiFlush();
        const COLORREF colour = blendColor == CLR_DEFAULT || blendColor == CLR_NONE ? GetSysColor(COLOR_HIGHLIGHT)
                                                                                    : blendColor;
        const int weight = style == dsSelected ? 128 : 64;
        const int cr = GetRValue(colour), cg = GetGValue(colour), cb = GetBValue(colour);
        auto mix = [weight](int s, int c) { return (s * (256 - weight) + c * weight) >> 8; };
        for (int i = 0; i < w * h; ++i) {
            if ((mask.bits[i] & 0x00FFFFFF) == 0x00FFFFFF)
                continue;
            const DWORD p = image.bits[i];
            back.bits[i] = static_cast<DWORD>(mix((p >> 16) & 0xFF, cr) << 16 | mix((p >> 8) & 0xFF, cg) << 8 |
                                              mix(p & 0xFF, cb));
        }
        BitBlt(dc, x, y, w, h, back.dc, 0, 0, SRCCOPY);
        if (withOverlay)
            ImageList_Draw(list_, overlay, dc, x, y, ILD_TRANSPARENT);
        return;
    }
    IMAGELISTDRAWPARAMS p = {};
    p.cbSize = sizeof p;
    p.himl = list_;
    p.i = index;
    p.hdcDst = dc;
    p.x = x;
    p.y = y;
    p.rgbBk = style == dsNormal ? CLR_DEFAULT : CLR_NONE;
    p.rgbFg = CLR_DEFAULT;
    p.fStyle = style == dsNormal ? ILD_NORMAL : ILD_TRANSPARENT;
    if (withOverlay && ImageList_SetOverlayImage(list_, overlay, 1))
        p.fStyle |= INDEXTOOVERLAYMASK(1);
    ImageList_DrawIndirect(&p);
}

void TCustomImageList::DoDraw(int index, TCanvas& canvas, int x, int y, UINT style, bool enabled)
{
    HDC dc = canvas.Handle();
    if (enabled) {
        ImageList_Draw(list_, index, dc, x, y, style);
        return;
    }
    // Greyed: which pixels are ink (opaque and dark) decides a monochrome
    // shape, drawn once in the highlight colour one pixel down and right
    // and once in the shadow colour on top.
    const int w = width_, h = height_;
    TDib image(w, h), mask(w, h);
    if (!image.Ok() || !mask.Ok())
        return;
    ImageList_Draw(list_, index, image.dc, 0, 0, ILD_NORMAL);
    ImageList_Draw(list_, index, mask.dc, 0, 0, ILD_MASK);
    TGdiObject<HBITMAP> mono(CreateBitmap(w, h, 1, 1, nullptr));
    TMemoryDC monoDC;
    if (!mono.Get() || !monoDC.Handle())
        return;
    TSelection selected(monoDC.Handle(), mono.Get());
    PatBlt(monoDC.Handle(), 0, 0, w, h, BLACKNESS);
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) {
            DWORD c = image.bits[py * w + px];
            DWORD m = mask.bits[py * w + px];
            bool opaque = (m & 0x00FFFFFF) != 0x00FFFFFF;
            int lum = (static_cast<int>((c >> 16) & 0xFF) * 30 + static_cast<int>((c >> 8) & 0xFF) * 59 +
                       static_cast<int>(c & 0xFF) * 11) / 100;
            if (opaque && lum < 192)
                SetPixel(monoDC.Handle(), px, py, RGB(255, 255, 255));
        }
    PaintInk(dc, x + 1, y + 1, w, h, monoDC.Handle(), GetSysColor(COLOR_BTNHIGHLIGHT));
    PaintInk(dc, x, y, w, h, monoDC.Handle(), GetSysColor(COLOR_BTNSHADOW));
}

int TCustomImageList::AddMasked(TBitmap& strip, COLORREF maskColor)
{
    if (strip.Empty() || !Handle() || width_ <= 0)
        return -1;
    int count = strip.Width() / width_;
    if (count <= 0)
        return -1;
    // ImageList_AddMasked needs a bitmap that is not selected anywhere, and
    // one without an alpha channel: a 32-bit picture's stray alpha bytes
    // (PatBlt sets them, FillRect clears them) would be taken for
    // transparency. A 24-bit copy has none.
    const int w = count * width_, h = strip.Height();
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    TGdiObject<HBITMAP> plain(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!plain.Get())
        return -1;
    {
        TMemoryDC copyDC;
        TSelection selected(copyDC.Handle(), plain.Get());
        BitBlt(copyDC.Handle(), 0, 0, w, h, strip.Canvas().Handle(), 0, 0, SRCCOPY);
    }
    int first = ImageList_AddMasked(list_, plain.Get(), maskColor);
    if (first >= 0)
        Changed();
    return first;
}
