#include "platform/Canvas.h"

#include "platform/Text.h"

namespace {

int PenStyleFlag(TPenStyle style)
{
    switch (style) {
    case psDash:
        return PS_DASH;
    case psDot:
        return PS_DOT;
    case psDashDot:
        return PS_DASHDOT;
    case psDashDotDot:
        return PS_DASHDOTDOT;
    case psClear:
        return PS_NULL;
    case psInsideFrame:
        return PS_INSIDEFRAME;
    case psSolid:
    default:
        return PS_SOLID;
    }
}

}  // namespace

TCanvas::TCanvas() { font_.BeforeHandleFree = [this] { ReleaseFont(false); }; }

TCanvas::TCanvas(HDC dc) : TCanvas() { dc_ = dc; }

TCanvas::~TCanvas()
{
    font_.BeforeHandleFree = nullptr;
    ReleaseDC();
    for (TBrushEntry& e : brushes_)
        if (e.brush)
            DeleteObject(e.brush);
    for (TPenEntry& e : pens_)
        if (e.pen)
            DeleteObject(e.pen);
}

void TCanvas::SetHandle(HDC dc)
{
    if (dc == dc_)
        return;
    ReleaseDC();
    dc_ = dc;
}

void TCanvas::ReleaseDC()
{
    ReleaseFont(true);
    penSelection_.Restore();
    selectedPen_ = nullptr;
    brushSelection_.Restore();
    selectedBrush_ = nullptr;
    if (dc_) {
        if (oldBkMode_)
            SetBkMode(dc_, oldBkMode_);
        if (oldBkColor_ != CLR_INVALID)
            SetBkColor(dc_, oldBkColor_);
        if (brushOriginSet_)
            SetBrushOrgEx(dc_, oldBrushOrigin_.x, oldBrushOrigin_.y, nullptr);
        if (clipSaved_)
            SelectClipRgn(dc_, savedClip_);
    }
    oldBkMode_ = 0;
    oldBkColor_ = CLR_INVALID;
    brushOriginSet_ = false;
    clipSaved_ = false;
    if (savedClip_) {
        DeleteObject(savedClip_);
        savedClip_ = nullptr;
    }
}

// --- Font -------------------------------------------------------------------

void TCanvas::UseFont()
{
    HFONT f = font_.Handle();
    if (f != selectedFont_) {
        fontSelection_.Select(dc_, f);   // remembers the DC's own font
        selectedFont_ = f;
    }
    COLORREF old = SetTextColor(dc_, font_.Color());
    if (oldTextColor_ == CLR_INVALID)
        oldTextColor_ = old;
}

void TCanvas::ReleaseFont(bool textColor)
{
    fontSelection_.Restore();
    selectedFont_ = nullptr;
    extentFont_ = nullptr;
    metricsFont_ = nullptr;
    heightFont_ = nullptr;
    ascii_[0].font = ascii_[1].font = nullptr;
    if (textColor && oldTextColor_ != CLR_INVALID) {
        if (dc_)
            SetTextColor(dc_, oldTextColor_);
        oldTextColor_ = CLR_INVALID;
    }
}

// --- Brush and pen caches ----------------------------------------------------

HBRUSH TCanvas::BrushHandle()
{
    if (pattern_)
        return pattern_;
    if (brushStyle_ == bsClear)
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    for (const TBrushEntry& e : brushes_)
        if (e.brush && e.color == brushColor_)
            return e.brush;
    // Round robin: the slot taken may hold the brush selected in the DC,
    // which must leave the DC before it goes.
    TBrushEntry& slot = brushes_[nextBrush_];
    nextBrush_ = (nextBrush_ + 1) % kBrushSlots;
    HBRUSH made = CreateSolidBrush(brushColor_);
    if (!made)
        return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    ++made_;
    if (slot.brush) {
        if (slot.brush == selectedBrush_) {
            brushSelection_.Restore();
            selectedBrush_ = nullptr;
        }
        DeleteObject(slot.brush);
    }
    slot.brush = made;
    slot.color = brushColor_;
    return made;
}

HPEN TCanvas::PenHandle()
{
    if (penStyle_ == psClear)
        return static_cast<HPEN>(GetStockObject(NULL_PEN));
    for (const TPenEntry& e : pens_)
        if (e.pen && e.color == penColor_ && e.style == penStyle_ && e.width == penWidth_)
            return e.pen;
    TPenEntry& slot = pens_[nextPen_];
    nextPen_ = (nextPen_ + 1) % kPenSlots;
    HPEN made = CreatePen(PenStyleFlag(penStyle_), penWidth_, penColor_);
    if (!made)
        return static_cast<HPEN>(GetStockObject(BLACK_PEN));
    ++made_;
    if (slot.pen) {
        if (slot.pen == selectedPen_) {
            penSelection_.Restore();
            selectedPen_ = nullptr;
        }
        DeleteObject(slot.pen);
    }
    slot.pen = made;
    slot.color = penColor_;
    slot.style = penStyle_;
    slot.width = penWidth_;
    return made;
}

void TCanvas::UsePen()
{
    HPEN p = PenHandle();
    if (p != selectedPen_) {
        if (selectedPen_)
            SelectObject(dc_, p);   // the DC's own pen stays remembered
        else
            penSelection_.Select(dc_, p);
        selectedPen_ = p;
    }
    // Dotted and dashed pens fill their gaps with the brush colour unless
    // the background is transparent.
    if (penStyle_ != psSolid && penStyle_ != psClear && penStyle_ != psInsideFrame) {
        int old = SetBkMode(dc_, TRANSPARENT);
        if (!oldBkMode_)
            oldBkMode_ = old;
    }
}

void TCanvas::UseBrush()
{
    HBRUSH b = BrushHandle();
    if (b != selectedBrush_) {
        if (selectedBrush_)
            SelectObject(dc_, b);
        else
            brushSelection_.Select(dc_, b);
        selectedBrush_ = b;
    }
}

void TCanvas::SetBrushOrigin(int x, int y)
{
    if (!dc_)
        return;
    POINT old;
    SetBrushOrgEx(dc_, x, y, &old);
    if (!brushOriginSet_) {
        oldBrushOrigin_ = old;
        brushOriginSet_ = true;
    }
}

void TCanvas::UseTextBackground()
{
    int old = SetBkMode(dc_, bkMode_);
    if (!oldBkMode_)
        oldBkMode_ = old;
    if (bkMode_ == OPAQUE) {
        COLORREF oldColor = SetBkColor(dc_, brushColor_);
        if (oldBkColor_ == CLR_INVALID)
            oldBkColor_ = oldColor;
    }
}

// --- Shapes ------------------------------------------------------------------

void TCanvas::FillRect(const RECT& r)
{
    if (!dc_ || (brushStyle_ == bsClear && !pattern_))
        return;
    ::FillRect(dc_, &r, BrushHandle());
}

void TCanvas::FrameRect(const RECT& r)
{
    if (!dc_)
        return;
    // The frame takes the pen colour: a brush of that colour from the cache.
    const COLORREF brush = brushColor_;
    const TBrushStyle style = brushStyle_;
    HBRUSH const pattern = pattern_;
    brushColor_ = penColor_;
    brushStyle_ = bsSolid;
    pattern_ = nullptr;
    HBRUSH b = BrushHandle();
    brushColor_ = brush;
    brushStyle_ = style;
    pattern_ = pattern;
    ::FrameRect(dc_, &r, b);
}

void TCanvas::Rectangle(const RECT& r)
{
    if (!dc_)
        return;
    UsePen();
    UseBrush();
    ::Rectangle(dc_, r.left, r.top, r.right, r.bottom);
}

void TCanvas::RoundRect(const RECT& r, int cornerWidth, int cornerHeight)
{
    if (!dc_)
        return;
    UsePen();
    UseBrush();
    ::RoundRect(dc_, r.left, r.top, r.right, r.bottom, cornerWidth, cornerHeight);
}

void TCanvas::Polygon(const POINT* points, int count)
{
    if (!dc_ || !points || count < 2)
        return;
    UsePen();
    UseBrush();
    ::Polygon(dc_, points, count);
}

void TCanvas::Polyline(const POINT* points, int count)
{
    if (!dc_ || !points || count < 2)
        return;
    UsePen();
    ::Polyline(dc_, points, count);
}

void TCanvas::MoveTo(int x, int y)
{
    if (dc_)
        MoveToEx(dc_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y)
{
    if (!dc_)
        return;
    UsePen();
    ::LineTo(dc_, x, y);
}

void TCanvas::DrawFocusRect(const RECT& r)
{
    if (!dc_)
        return;
    COLORREF text = SetTextColor(dc_, RGB(255, 255, 255));
    COLORREF back = SetBkColor(dc_, RGB(0, 0, 0));
    ::DrawFocusRect(dc_, &r);
    SetTextColor(dc_, text);
    SetBkColor(dc_, back);
}

// --- Clipping ------------------------------------------------------------------

void TCanvas::SetClipRect(const RECT& r)
{
    if (!dc_)
        return;
    if (!clipSaved_) {
        HRGN own = CreateRectRgn(0, 0, 0, 0);
        if (own && GetClipRgn(dc_, own) == 1) {
            savedClip_ = own;
        } else if (own) {
            DeleteObject(own);
        }
        clipSaved_ = true;
    } else {
        SelectClipRgn(dc_, savedClip_);
    }
    IntersectClipRect(dc_, r.left, r.top, r.right, r.bottom);
}

void TCanvas::ResetClip()
{
    if (dc_ && clipSaved_)
        SelectClipRgn(dc_, savedClip_);
}

// --- Text ----------------------------------------------------------------------

void TCanvas::PutText(int x, int y, const std::string& text)
{
    if (!dc_)
        return;
    std::wstring w = Utf8ToWide(text);
    UseFont();
    int old = SetBkMode(dc_, TRANSPARENT);
    if (!oldBkMode_)
        oldBkMode_ = old;
    TextOutW(dc_, x, y, w.c_str(), static_cast<int>(w.size()));
}

void TCanvas::TextRect(const RECT& r, const std::string& text, UINT flags)
{
    if (!dc_)
        return;
    std::wstring w = Utf8ToWide(text);
    RECT rr = r;
    UseFont();
    int old = SetBkMode(dc_, TRANSPARENT);
    if (!oldBkMode_)
        oldBkMode_ = old;
    DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rr, flags);
}

void TCanvas::TextAt(int x, int y, std::wstring_view text)
{
    if (!dc_)
        return;
    UseFont();
    UseTextBackground();
    TextOutW(dc_, x, y, text.data(), static_cast<int>(text.size()));
}

void TCanvas::TextOutEx(int x, int y, UINT options, const RECT* r, std::wstring_view text)
{
    if (!dc_)
        return;
    UseFont();
    UseTextBackground();
    if (options & ETO_OPAQUE) {
        // The rectangle is filled in the brush colour whatever the mode.
        COLORREF old = SetBkColor(dc_, brushColor_);
        if (oldBkColor_ == CLR_INVALID)
            oldBkColor_ = old;
    }
    ExtTextOutW(dc_, x, y, r ? options : 0, r, text.data(), static_cast<UINT>(text.size()), nullptr);
}

int TCanvas::FormatText(RECT& r, std::wstring_view text, UINT flags)
{
    if (!dc_)
        return 0;
    UseFont();
    UseTextBackground();
    // What DrawText does beyond one placed line goes to DrawText.
    constexpr UINT kNeedsDrawText = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_TABSTOP | DT_EXTERNALLEADING |
                                    DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS | DT_MODIFYSTRING |
                                    DT_EDITCONTROL | DT_INTERNAL;
    const bool prefixes = !(flags & DT_NOPREFIX) && text.find(L'&') != std::wstring_view::npos;
    const bool breaks = text.find_first_of(L"\r\n\t") != std::wstring_view::npos;
    if (!(flags & DT_SINGLELINE) || (flags & kNeedsDrawText) || prefixes || breaks || text.empty())
        return DrawTextW(dc_, text.data(), static_cast<int>(text.size()), &r, flags);
    // A left-aligned line needs only the height, which is the font's for any text.
    const SIZE size = (flags & (DT_CENTER | DT_RIGHT)) ? TextExtent(text) : SIZE{0, ExtentHeight()};
    int x = r.left;
    if (flags & DT_CENTER)
        x = (r.left + r.right - size.cx) / 2;
    else if (flags & DT_RIGHT)
        x = r.right - size.cx;
    int y = r.top;
    if (flags & DT_VCENTER)
        y = r.top + (r.bottom - r.top) / 2 - size.cy / 2;
    else if (flags & DT_BOTTOM)
        y = r.bottom - size.cy;
    UINT options = (flags & DT_NOCLIP) ? 0 : ETO_CLIPPED;
    if (flags & DT_RTLREADING)
        options |= ETO_RTLREADING;
    ExtTextOutW(dc_, x, y, options, (flags & DT_NOCLIP) ? nullptr : &r, text.data(),
                static_cast<UINT>(text.size()), nullptr);
    return size.cy;
}

SIZE TCanvas::TextExtent(const std::string& text)
{
    if (!dc_)
        return SIZE{0, 0};
    return TextExtent(std::wstring_view(Utf8ToWide(text)));
}

SIZE TCanvas::TextExtent(std::wstring_view text)
{
    SIZE s = {0, 0};
    if (!dc_)
        return s;
    UseFont();
    if (selectedFont_ == extentFont_ && text == extentText_)
        return extent_;
    GetTextExtentPoint32W(dc_, text.data(), static_cast<int>(text.size()), &s);
    extentText_.assign(text);
    extentFont_ = selectedFont_;
    extent_ = s;
    return s;
}

int TCanvas::ExtentHeight()
{
    if (!dc_)
        return 0;
    UseFont();
    if (selectedFont_ != heightFont_ || !heightFont_) {
        SIZE s{0, 0};
        GetTextExtentPoint32W(dc_, L"Wy", 2, &s);
        extentHeight_ = s.cy;
        heightFont_ = selectedFont_;
    }
    return extentHeight_;
}

int TCanvas::AsciiTextWidth(std::string_view text)
{
    if (!dc_)
        return -1;
    UseFont();
    if (!selectedFont_)
        return -1;
    if (ascii_[asciiLast_].font != selectedFont_) {
        asciiLast_ ^= 1;
        TAsciiWidths& a = ascii_[asciiLast_];
        if (a.font != selectedFont_) {
            a.font = nullptr;
            TEXTMETRICW tm{};
            if (!GetCharWidth32W(dc_, 0x20, 0x7E, a.widths) || !GetTextMetricsW(dc_, &tm))
                return -1;
            a.overhang = tm.tmOverhang;
            a.font = selectedFont_;
        }
    }
    const TAsciiWidths& a = ascii_[asciiLast_];
    int width = a.overhang;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E)
            return -1;
        width += a.widths[u - 0x20];
    }
    return width;
}

const TEXTMETRICW& TCanvas::TextMetrics()
{
    if (!dc_) {
        metrics_ = TEXTMETRICW{};
        return metrics_;
    }
    UseFont();
    if (selectedFont_ != metricsFont_ || !metricsFont_) {
        metrics_ = TEXTMETRICW{};
        GetTextMetricsW(dc_, &metrics_);
        metricsFont_ = selectedFont_;
    }
    return metrics_;
}

// --- Pictures ------------------------------------------------------------------

void TCanvas::Draw(int x, int y, const TIcon& icon)
{
    if (dc_ && icon.Handle())
        DrawIconEx(dc_, x, y, icon.Handle(), 0, 0, 0, nullptr, DI_NORMAL);
}

void TCanvas::Draw(int x, int y, TBitmap& bitmap)
{
    if (!dc_ || bitmap.Empty())
        return;
    TCanvas& src = bitmap.Canvas();
    if (bitmap.Transparent())
        GdiTransparentBlt(dc_, x, y, bitmap.Width(), bitmap.Height(), src.Handle(), 0, 0, bitmap.Width(),
                          bitmap.Height(), bitmap.TransparentColor());
    else
        BitBlt(dc_, x, y, bitmap.Width(), bitmap.Height(), src.Handle(), 0, 0, SRCCOPY);
}

void TCanvas::CopyRect(const RECT& dest, TCanvas& source, const RECT& sourceRect, DWORD rop)
{
    if (!dc_ || !source.dc_)
        return;
    const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    const int sw = sourceRect.right - sourceRect.left, sh = sourceRect.bottom - sourceRect.top;
    if (dw == sw && dh == sh)
        BitBlt(dc_, dest.left, dest.top, dw, dh, source.dc_, sourceRect.left, sourceRect.top, rop);
    else
        StretchBlt(dc_, dest.left, dest.top, dw, dh, source.dc_, sourceRect.left, sourceRect.top, sw, sh, rop);
}
