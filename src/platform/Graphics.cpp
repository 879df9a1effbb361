#include "platform/Graphics.h"

#include <cmath>

#include "platform/Canvas.h"
#include "platform/Text.h"

// --- TFont ---

TFont::TFont() = default;

TFont::~TFont()
{
    FreeHandle();
    FreeSpare();
}

void TFont::FreeHandle() { FreeFont(handle_); }

void TFont::FreeSpare() { FreeFont(spare_); }

void TFont::FreeFont(HFONT& font)
{
    if (!font)
        return;
    // A DC may still hold it, or remember measures taken with it.
    if (BeforeHandleFree)
        BeforeHandleFree();
    DeleteObject(font);
    font = nullptr;
}

void TFont::Assign(const TFont& other)
{
    if (&other == this)
        return;
    // Only the colour differs: the GDI font stays.
    if (name_ == other.name_ && height_ == other.height_ && style_ == other.style_) {
        SetColor(other.color_);
        return;
    }
    name_ = other.name_;
    height_ = other.height_;
    style_ = other.style_;
    color_ = other.color_;
    Changed();
}

void TFont::SetName(const std::string& name)
{
    if (name == name_)
        return;
    name_ = name;
    Changed();
}

static int ScreenDpi()
{
    TWindowDC dc(nullptr);
    int dpi = dc.Handle() ? GetDeviceCaps(dc.Handle(), LOGPIXELSY) : 96;
    return dpi > 0 ? dpi : 96;
}

int TFont::Size() const
{
    return static_cast<int>(std::lround(-height_ * 72.0 / ScreenDpi()));
}

void TFont::SetSize(int points) { SetHeight(-MulDiv(points, ScreenDpi(), 72)); }

void TFont::SetHeight(int pixels)
{
    if (pixels == height_)
        return;
    height_ = pixels;
    Changed();
}

void TFont::SetStyle(unsigned style)
{
    if (style == style_)
        return;
    style_ = style;
    Changed();
}

void TFont::SetColor(COLORREF color)
{
    if (color == color_)
        return;
    color_ = color;
    if (OnChange)
        OnChange();
}

HFONT TFont::Handle()
{
    if (!handle_) {
        LOGFONTW lf = {};
        lf.lfHeight = height_;
        lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (style_ & fsItalic) ? TRUE : FALSE;
        lf.lfUnderline = (style_ & fsUnderline) ? TRUE : FALSE;
        lf.lfStrikeOut = (style_ & fsStrikeOut) ? TRUE : FALSE;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = DEFAULT_QUALITY;
        std::wstring face = Utf8ToWide(name_);
        wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
        handle_ = CreateFontIndirectW(&lf);
        if (!handle_)
            handle_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        handleShape_ = Shape();
    }
    return handle_;
}

void TFont::Changed()
{
    TShape shape = Shape();
    if (spare_ && spareShape_ == shape) {
        std::swap(handle_, spare_);
        std::swap(handleShape_, spareShape_);
    } else if (handle_) {
        FreeSpare();
        spare_ = handle_;
        spareShape_ = std::move(handleShape_);
        handle_ = nullptr;
    }
    if (OnChange)
        OnChange();
}

// --- TIcon ---

TIcon::~TIcon()
{
    if (handle_ && owned_)
        DestroyIcon(handle_);
}

void TIcon::Changed()
{
    if (OnChange)
        OnChange();
}

void TIcon::SetHandle(HICON icon)
{
    if (icon == handle_ && owned_)
        return;
    if (handle_ && owned_)
        DestroyIcon(handle_);
    handle_ = icon;
    owned_ = true;
    Changed();
}

void TIcon::ShareHandle(HICON icon)
{
    if (icon == handle_ && !owned_)
        return;
    if (handle_ && owned_)
        DestroyIcon(handle_);
    handle_ = icon;
    owned_ = false;
    Changed();
}

void TIcon::AssignHandle(HICON icon) { SetHandle(icon ? CopyIcon(icon) : nullptr); }

void TIcon::Assign(const TIcon& other)
{
    if (&other != this)
        AssignHandle(other.handle_);
}

HICON TIcon::ReleaseHandle()
{
    HICON h = handle_ && !owned_ ? CopyIcon(handle_) : handle_;
    handle_ = nullptr;
    owned_ = true;
    return h;
}

bool TIcon::LoadFromResourceName(const std::string& name, int size)
{
    HICON h = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), Utf8ToWide(name).c_str(), IMAGE_ICON,
                                            size, size, size ? 0 : LR_DEFAULTSIZE));
    if (!h)
        return false;
    SetHandle(h);
    return true;
}

static SIZE IconSize(HICON icon)
{
    SIZE s = {0, 0};
    ICONINFO ii;
    if (icon && GetIconInfo(icon, &ii)) {
        // GetIconInfo made copies of both pictures: ours to free.
        TGdiObject<HBITMAP> color(ii.hbmColor), mask(ii.hbmMask);
        BITMAP bm;
        if (GetObjectW(color ? color.Get() : mask.Get(), sizeof bm, &bm)) {
            s.cx = bm.bmWidth;
            s.cy = color ? bm.bmHeight : bm.bmHeight / 2;
        }
    }
    return s;
}

int TIcon::Width() const { return IconSize(handle_).cx; }
int TIcon::Height() const { return IconSize(handle_).cy; }

// --- TBitmap ---

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() { FreeCanvas(); }

void TBitmap::FreeCanvas()
{
    canvas_.reset();
    selected_.Restore();
    dc_.reset();
}

void TBitmap::SetSize(int width, int height)
{
    if (width == width_ && height == height_ && bitmap_)
        return;
    FreeCanvas();
    bitmap_.Reset();
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    if (width_ && height_) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width_;
        bi.bmiHeader.biHeight = -height_;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_.Reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (bitmap_) {
            RECT r = {0, 0, width_, height_};
            TCanvas& c = Canvas();
            c.SetBrushColor(GetSysColor(COLOR_WINDOW));
            c.FillRect(r);
        }
    }
    if (OnChange)
        OnChange();
}

TCanvas& TBitmap::Canvas()
{
    if (!canvas_) {
        auto canvas = std::make_unique<TCanvas>();
        if (bitmap_) {
            auto dc = std::make_unique<TMemoryDC>();
            if (dc->Handle()) {
                selected_.Select(dc->Handle(), bitmap_.Get());
                canvas->SetHandle(dc->Handle());
                dc_ = std::move(dc);
            }
        }
        canvas_ = std::move(canvas);
    }
    return *canvas_;
}

void TBitmap::SetHandle(HBITMAP bitmap)
{
    FreeCanvas();
    bitmap_.Reset(bitmap);
    width_ = height_ = 0;
    BITMAP bm = {};
    if (bitmap && GetObjectW(bitmap, sizeof bm, &bm)) {
        width_ = bm.bmWidth;
        height_ = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    }
    if (OnChange)
        OnChange();
}

void TBitmap::Assign(const TBitmap& other)
{
    if (&other == this)
        return;
    if (!other.bitmap_) {
        SetHandle(nullptr);
        return;
    }
    HBITMAP copy = static_cast<HBITMAP>(CopyImage(other.bitmap_.Get(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    transparent_ = other.transparent_;
    transparentColor_ = other.transparentColor_;
    SetHandle(copy);
}

bool TBitmap::LoadFromResourceName(const std::string& name)
{
    std::wstring w(name.begin(), name.end());
    auto bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), w.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap)
        return false;
    SetHandle(bitmap);
    return true;
}

bool TBitmap::LoadFromResourceID(int id)
{
    auto bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap)
        return false;
    SetHandle(bitmap);
    return true;
}

void TBitmap::SetTransparent(bool value)
{
    if (value == transparent_)
        return;
    transparent_ = value;
    if (OnChange)
        OnChange();
}

COLORREF TBitmap::TransparentColor()
{
    if (transparentColor_ != kAutoTransparentColor)
        return transparentColor_;
    return bitmap_ && height_ > 0 ? Pixel(0, height_ - 1) & 0xFFFFFF : CLR_INVALID;
}

void TBitmap::SetTransparentColor(COLORREF value)
{
    if (value == transparentColor_)
        return;
    transparentColor_ = value;
    if (OnChange)
        OnChange();
}

COLORREF TBitmap::Pixel(int x, int y)
{
    if (!bitmap_)
        return CLR_INVALID;
    GdiFlush();
    return Canvas().Pixel(x, y);
}
