// The tree window's painting: WM_PAINT paints the update rectangle through
// PaintTreeArea (the fixed columns stay where they are when the content
// scrolls sideways), WM_PRINT and WM_PRINTCLIENT paint into a given device
// context, WM_NCPAINT draws the header in the non-client area; and the
// pictures painting needs: the expand buttons and the tree-line pattern.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "Lib2/VirtualTree/VTDragImage.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/ThemeSrv.h"

namespace {

constexpr COLORREF kButtonTransparent = RGB(255, 0, 255);
// GetDCEx flags of the non-client painting: a cached window DC clipped to
// siblings (and to the update region when there is one).
constexpr DWORD kNCPaintFlags = 0x200013;
constexpr DWORD kNCPaintRegionFlags = 0x200093;

// Set while UpdateWindowAndDragImage redraws: it gives the drag image its
// new background itself (once: a second capture would take the image too).
thread_local bool t_dragImageUpdatedByCaller = false;

// Window pictures reach the screen when the thread looks for messages: a
// look for a message that never comes, before the screen is read.
void FlushToScreen()
{
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_APP + 0x3FFF, WM_APP + 0x3FFF, PM_NOREMOVE);
}

}  // namespace

// ---------------------------------------------------------------------------
// Client area

void TBaseVirtualTree::Paint(TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    RECT update;
    const int kind = GetClipBox(dc, &update);
    const RECT client = ClientRect();
    if (kind == ERROR)
        update = client;
    if (kind == NULLREGION || !IntersectRect(&update, &update, &client))
        return;
    // Tree coordinates of a client point: the scroll offsets taken back.
    const int shiftX = UseRightToLeftAlignment() ? effectiveOffsetX_ : -offsetX_;
    const int shiftY = -offsetY_;
    const int fixed = header_->UseColumns() ? header_->Columns().GetVisibleFixedWidth() : 0;
    if (fixed > 0 && shiftX != 0 && update.left < fixed && !UseRightToLeftAlignment()) {
        // The scrolled part right of the fixed columns, then the fixed
        // columns unscrolled.
        if (update.right > fixed) {
            TDCSave saved(dc);
            IntersectClipRect(dc, fixed, update.top, update.right, update.bottom);
            RECT part{fixed, update.top, update.right, update.bottom};
            RECT window = part;
            OffsetRect(&window, shiftX, shiftY);
            PaintTreeArea(canvas, window, POINT{part.left, part.top}, WindowPaintOptions);
        }
        TDCSave saved(dc);
        IntersectClipRect(dc, update.left, update.top, fixed, update.bottom);
        RECT window{update.left, update.top, fixed, update.bottom};
        OffsetRect(&window, 0, shiftY);
        PaintTreeArea(canvas, window, POINT{update.left, update.top}, WindowPaintOptions);
        return;
    }
    RECT window = update;
    OffsetRect(&window, shiftX, shiftY);
    PaintTreeArea(canvas, window, POINT{update.left, update.top}, WindowPaintOptions);
}

bool TBaseVirtualTree::PaintMessage(TMessage& message)
{
    switch (message.Msg) {
    case WM_ERASEBKGND:
        // Painting covers every pixel itself.
        message.Result = 1;
        return true;

    case WM_PAINT: {
        // A device context in wParam: paint the whole client area into it.
        HDC given = reinterpret_cast<HDC>(message.WParam);
        if (given) {
            TDCSave saved(given);
            RECT client = ClientRect();
            IntersectClipRect(given, client.left, client.top, client.right, client.bottom);
            TCanvas canvas(given);
            Paint(canvas);
        } else {
            RECT painted{};
            {
                TPaintDC paintDC(Handle());
                if (paintDC.Handle()) {
                    painted = paintDC.Info().rcPaint;
                    TCanvas canvas(paintDC.Handle());
                    Paint(canvas);
                }
            }
            // A drag image shown over the window keeps what is under it now.
            if (dragImage_ && dragImage_->Visible() && painted.right > painted.left && !t_dragImageUpdatedByCaller) {
                FlushToScreen();
                const POINT origin = ClientToScreen(POINT{0, 0});
                OffsetRect(&painted, origin.x, origin.y);
                dragImage_->RecaptureBackground(painted);
            }
        }
        message.Result = 0;
        return true;
    }

    case WM_PRINTCLIENT: {
        message.Result = 0;
        HDC dc = reinterpret_cast<HDC>(message.WParam);
        if (!dc || ((message.LParam & PRF_CHECKVISIBLE) && !IsWindowVisible(Handle())))
            return true;
        const RECT client = ClientRect();
        RECT window = client;
        OffsetRect(&window, UseRightToLeftAlignment() ? effectiveOffsetX_ : -offsetX_, -offsetY_);
        TDCSave saved(dc);
        TCanvas canvas(dc);
        PaintTreeArea(canvas, window, POINT{0, 0}, PrintClientPaintOptions);
        return true;
    }

    case WM_PRINT: {
        message.Result = 0;
        HDC dc = reinterpret_cast<HDC>(message.WParam);
        if (!dc || ((message.LParam & PRF_CHECKVISIBLE) && !IsWindowVisible(Handle())))
            return true;
        // Frame and scroll bars by default; the header and the client area
        // here, each at its place in window coordinates.
        const LPARAM flags = message.LParam;
        message.LParam = flags & ~static_cast<LPARAM>(PRF_CLIENT);
        DefaultHandler(message);
        message.LParam = flags;
        if ((flags & PRF_NONCLIENT) && (header_->Options() & hoVisible))
            header_->PaintHeader(dc, HeaderRect(), effectiveOffsetX_);
        if (flags & PRF_CLIENT) {
            RECT w;
            GetWindowRect(Handle(), &w);
            POINT origin = ClientToScreen(POINT{0, 0});
            origin.x -= w.left;
            origin.y -= w.top;
            const RECT client = ClientRect();
            TDCSave saved(dc);
            OffsetViewportOrgEx(dc, origin.x, origin.y, nullptr);
            IntersectClipRect(dc, 0, 0, client.right, client.bottom);
            TMessage print{WM_PRINTCLIENT, message.WParam, flags, 0};
            PaintMessage(print);
        }
        return true;
    }

    case WM_NCPAINT: {
        HRGN region = reinterpret_cast<HRGN>(message.WParam);
        const bool whole = message.WParam == 1 || !region;
        const LONG_PTR exStyle = GetWindowLongPtrW(Handle(), GWL_EXSTYLE);
        if ((states_ & tsUseThemes) && (exStyle & WS_EX_CLIENTEDGE)) {
            // The themed border is ours: the default draws only the scroll bars.
            RECT w;
            GetWindowRect(Handle(), &w);
            InflateRect(&w, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
            TGdiObject<HRGN> inner(CreateRectRgnIndirect(&w));
            if (!whole && inner)
                CombineRgn(inner.Get(), inner.Get(), region, RGN_AND);
            message.WParam = reinterpret_cast<WPARAM>(inner.Get());
            DefaultHandler(message);
            message.WParam = reinterpret_cast<WPARAM>(region);
        } else {
            DefaultHandler(message);
        }
        if (header_->Options() & hoVisible) {
            HDC dc = nullptr;
            if (!whole) {
                // GetDCEx takes the region it intersects with: give it a copy.
                HRGN copy = CreateRectRgn(0, 0, 0, 0);
                if (copy && CombineRgn(copy, region, nullptr, RGN_COPY) != ERROR)
                    dc = GetDCEx(Handle(), copy, kNCPaintRegionFlags);
                else if (copy)
                    DeleteObject(copy);
            }
            if (!dc)
                dc = GetDCEx(Handle(), nullptr, kNCPaintFlags);
            if (dc) {
                header_->PaintHeader(dc, HeaderRect(), effectiveOffsetX_);
                ReleaseDC(Handle(), dc);
            }
        }
        if (states_ & tsUseThemes)
            ThemeServices().PaintBorder(this, false);
        NoteFrameDrawn(region, whole);
        message.Result = 0;
        return true;
    }

    default:
        return false;
    }
}

void TBaseVirtualTree::UpdateWindowAndDragImage(const RECT& r, bool updateNCArea, bool reshowDragImage)
{
    if (!HandleAllocated() || r.right <= r.left || r.bottom <= r.top)
        return;
    // The screen under a shown drag image changes: the parts of the rectangle
    // the screen shows of this window become the image's new background.
    std::vector<RECT> visible;
    if (reshowDragImage && dragImage_ && dragImage_->Visible()) {
        TWindowDC dc(Handle());
        TGdiObject<HRGN> region(CreateRectRgn(0, 0, 0, 0));
        if (dc.Handle() && region && GetRandomRgn(dc.Handle(), region.Get(), SYSRGN) == 1) {
            // Screen coordinates; the rectangle taken there too.
            const POINT origin = ClientToScreen(POINT{0, 0});
            TGdiObject<HRGN> part(CreateRectRgn(r.left + origin.x, r.top + origin.y, r.right + origin.x,
                                                r.bottom + origin.y));
            if (part && CombineRgn(region.Get(), region.Get(), part.Get(), RGN_AND) > NULLREGION) {
                const DWORD size = GetRegionData(region.Get(), 0, nullptr);
                std::vector<char> buffer(size);
                auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
                if (size && GetRegionData(region.Get(), size, data)) {
                    const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
                    visible.assign(rects, rects + data->rdh.nCount);
                }
            }
        }
    }
    t_dragImageUpdatedByCaller = true;
    RedrawWindow(Handle(), &r, nullptr,
                 RDW_INVALIDATE | RDW_VALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_UPDATENOW |
                     (updateNCArea ? RDW_FRAME : 0));
    t_dragImageUpdatedByCaller = false;
    if (!visible.empty())
        FlushToScreen();
    for (const RECT& part : visible)
        dragImage_->RecaptureBackground(part);
}

// ---------------------------------------------------------------------------
// Buttons and the line pattern

void TBaseVirtualTree::PrepareBitmaps(bool needButtons, bool needLines)
{
    if (needButtons) {
        for (TBitmap* bitmap : {&plusBM_, &minusBM_}) {
            const bool plus = bitmap == &plusBM_;
            bool loaded = false;
            if (buttonStyle_ == bsRectangle && buttonFillMode_ == fmShaded)
                loaded = bitmap->LoadFromResourceName(plus ? "VT_XPBUTTONPLUS" : "VT_XPBUTTONMINUS");
            if (!loaded) {
                bitmap->SetSize(9, 9);
                TCanvas& c = bitmap->Canvas();
                c.SetBrushColor(kButtonTransparent);
                c.FillRect(RECT{0, 0, 9, 9});
                if (buttonStyle_ == bsTriangle) {
                    const POINT minus[3] = {{0, 2}, {8, 2}, {4, 6}};
                    const POINT plusPts[3] = {{2, 0}, {6, 4}, {2, 8}};
                    c.SetBrushColor(RGB(0, 0, 0));
                    c.SetPenColor(RGB(0, 0, 0));
                    c.SetPenStyle(psSolid);
                    c.SetPenWidth(1);
                    c.Polygon(plus ? plusPts : minus, 3);
                } else {
                    if (buttonFillMode_ != fmTransparent) {
                        c.SetBrushColor(buttonFillMode_ == fmWindowColor ? GetSysColor(COLOR_WINDOW) : Color());
                        c.FillRect(RECT{0, 0, 9, 9});
                    }
                    c.SetPenColor(colors_->TreeLineColor());
                    c.FrameRect(RECT{0, 0, 9, 9});
                    c.SetPenColor(Font().Color());
                    c.SetPenStyle(psSolid);
                    c.SetPenWidth(1);
                    c.MoveTo(2, 4);
                    c.LineTo(7, 4);
                    if (plus) {
                        c.MoveTo(4, 2);
                        c.LineTo(4, 7);
                    }
                }
            }
            if ((states_ & tsUseThemes) && ThemeServices().ThemesEnabled()) {
                RECT r{0, 0, 9, 9};
                ThemeServices().DrawElement(bitmap->Canvas().Handle(),
                                            TThemeServices::GetTreeViewDetails(plus ? ttGlyphClosed : ttGlyphOpened),
                                            r);
            }
            bitmap->SetTransparentColor(kButtonTransparent);
            bitmap->SetTransparent(true);
        }
    }
    if (needLines) {
        // An 8 x 8 monochrome pattern: dotted rows 0x55 and 0xAA, solid all 0,
        // a custom style from OnGetLineStyle.
        WORD bits[8];
        for (int i = 0; i < 8; ++i)
            bits[i] = (i % 2) ? 0xAA : 0x55;
        if (lineStyle_ == lsSolid) {
            std::fill(bits, bits + 8, WORD(0));
        } else if (lineStyle_ == lsCustomStyle) {
            const void* custom = bits;
            DoGetLineStyle(custom);
            if (custom && custom != bits)
                std::copy(static_cast<const WORD*>(custom), static_cast<const WORD*>(custom) + 8, bits);
        }
        TGdiObject<HBITMAP> pattern(CreateBitmap(8, 8, 1, 1, bits));
        if (lineBrush_)
            DeleteObject(lineBrush_);
        lineBrush_ = pattern ? CreatePatternBrush(pattern.Get()) : nullptr;
    }
}

void TBaseVirtualTree::FontChanged()
{
    TWinControl::FontChanged();
    if (!header_)
        return;
    if (HandleAllocated())
        PrepareBitmaps(true, false);
    header_->ParentFontChanged();
    Invalidate();
}

void TBaseVirtualTree::ColorChanged()
{
    if (!header_)
        return;
    TVirtualTreeColumns& columns = header_->Columns();
    for (int i = 0; i < columns.Count(); ++i)
        columns[i]->ParentColorChanged();
    if (HandleAllocated())
        PrepareBitmaps(true, false);
    Invalidate();
}
