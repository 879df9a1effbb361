// View painting: the whole window through one off-screen bitmap after a
// relayout, single viewers off-screen when they alone changed, and the
// colours and font each viewer paints with.
#include <windows.h>
#include <commctrl.h>

#include "platform/Canvas.h"
#include "platform/Control.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBView.h"

namespace {

// A memory DC with a bitmap of a given size, selected while it lives.
class OffscreenDC {
public:
    OffscreenDC(int width, int height)
    {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        if (dc && bitmap)
            old = SelectObject(dc, bitmap);
    }
    ~OffscreenDC()
    {
        if (old)
            SelectObject(dc, old);
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
    }
    OffscreenDC(const OffscreenDC&) = delete;
    OffscreenDC& operator=(const OffscreenDC&) = delete;
    bool Ok() const { return dc && bitmap && old; }
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
};

}  // namespace

void TTBView::RenderWindow()
{
    if (!window_ || !window_->HandleAllocated())
        return;
    HWND h = window_->Handle();
    if (!IsWindowVisible(h))
        return;
    RECT cr;
    GetClientRect(h, &cr);
    if (IsRectEmpty(&cr))
        return;
    OffscreenDC off(cr.right, cr.bottom);
    if (!off.Ok())
        return;
    SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(off.dc), 0);
    SendMessageW(h, WM_PAINT, reinterpret_cast<WPARAM>(off.dc), 0);
    HDC wdc = GetDC(h);
    if (wdc) {
        BitBlt(wdc, 0, 0, cr.right, cr.bottom, off.dc, 0, 0, SRCCOPY);
        ReleaseDC(h, wdc);
    }
    ValidateRect(h, nullptr);
}

void TTBView::Invalidate(TTBItemViewer* viewer)
{
    if (!viewer || !validated_ || !window_ || !window_->HandleAllocated())
        return;
    if (dynamic_cast<TTBControlItem*>(viewer->Item()))
        return;
    viewer->NeedsInvalidate = true;
    InvalidateRect(window_->Handle(), &viewer->BoundsRect, FALSE);
}

void TTBView::DrawSubitems(TCanvas& canvas)
{
    ValidatePositions();
    // The selection last, so that its frame lies over its neighbours.
    for (TTBItemViewer* v : viewers_)
        if ((state_ & vsDrawInOrder) || v != selected_)
            DrawViewer(canvas, v, v->NeedsInvalidate || ForceOffscreenViewers);
    if (!(state_ & vsDrawInOrder) && selected_)
        DrawViewer(canvas, selected_, selected_->NeedsInvalidate || ForceOffscreenViewers);
    Exclude(vsDrawInOrder);
}

void TTBView::DrawViewer(TCanvas& target, TTBItemViewer* v, bool offscreen)
{
    v->NeedsInvalidate = false;
    const RECT b = v->BoundsRect;
    if (!v->Show || IsRectEmpty(&b) || dynamic_cast<TTBControlItem*>(v->Item()))
        return;
    TTBCustomItem* item = v->Item();
    const bool isSelected = v == selected_;
    const bool isPushed = isSelected && (openViewer_ == v || (mouseOverSelected_ && mouseDownOnButtonPart_));
    const bool toolbarStyle = v->IsToolbarStyle();
    const bool enabled = item->Enabled() || customizing_;
    const COLORREF windowColor = window_ ? window_->Color() : GetSysColor(COLOR_MENU);
    COLORREF brush = CLR_NONE;
    if (isSelected && !toolbarStyle)
        brush = GetSysColor(AreFlatMenusEnabled() ? COLOR_MENUHILIGHT : COLOR_HIGHLIGHT);
    COLORREF text;
    if (!enabled)
        text = GetSysColor(COLOR_GRAYTEXT);
    else if (isSelected && !toolbarStyle)
        text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    else if (toolbarStyle)
        text = GetSysColor(COLOR_BTNTEXT);
    else
        text = GetSysColor(COLOR_MENUTEXT);
    const bool shadow = toolbarStyle || (!isSelected && windowColor == GetSysColor(COLOR_BTNFACE)) ||
                        windowColor == GetSysColor(COLOR_GRAYTEXT);
    const int w = b.right - b.left, h = b.bottom - b.top;
    const RECT client{0, 0, w, h};
    HDC tdc = target.Handle();

    auto paintOn = [&](HDC dc) {
        TCanvas canvas(dc);
        canvas.Font().Assign(GetFont());
        canvas.Font().SetColor(text);
        canvas.SetBrushColor(brush);
        canvas.TextExtent(std::string());   // font and colour into the DC
        v->Paint(canvas, client, isSelected, isPushed, shadow);
    };

    if (offscreen && window_ && window_->HandleAllocated()) {
        OffscreenDC off(w, h);
        if (off.Ok()) {
            // The window's background under the viewer, then the viewer. A
            // window of ours answers WM_ERASEBKGND without painting (its
            // WM_PAINT fills the client area), which would leave the new
            // bitmap black: its colour goes in first.
            HBRUSH back = CreateSolidBrush(windowColor);
            FillRect(off.dc, &client, back);
            DeleteObject(back);
            POINT oldOrg;
            SetViewportOrgEx(off.dc, -b.left, -b.top, &oldOrg);
            SendMessageW(window_->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(off.dc), 0);
            SetViewportOrgEx(off.dc, oldOrg.x, oldOrg.y, nullptr);
            SetBrushOrgEx(off.dc, -b.left & 7, -b.top & 7, nullptr);
            paintOn(off.dc);
            BitBlt(tdc, b.left, b.top, w, h, off.dc, 0, 0, SRCCOPY);
            return;
        }
    }
    int saved = SaveDC(tdc);
    IntersectClipRect(tdc, b.left, b.top, b.right, b.bottom);
    POINT org;
    GetViewportOrgEx(tdc, &org);
    SetViewportOrgEx(tdc, org.x + b.left, org.y + b.top, nullptr);
    SetBrushOrgEx(tdc, (org.x + b.left) & 7, (org.y + b.top) & 7, nullptr);
    try {
        paintOn(tdc);
    } catch (...) {
        RestoreDC(tdc, saved);
        throw;
    }
    RestoreDC(tdc, saved);
}

void TTBView::SetAccelsVisibility(bool show)
{
    bool now = show || !(style_ & vsUseHiddenAccels) || !AreKeyboardCuesEnabled();
    bool was = (state_ & vsShowAccels) != 0;
    if (now == was)
        return;
    if (now)
        Include(vsShowAccels);
    else
        Exclude(vsShowAccels);
    if (!window_ || !window_->HandleAllocated() || !IsWindowVisible(window_->Handle()))
        return;
    for (TTBItemViewer* v : viewers_)
        if (v->Show && v->CaptionShown() && !v->AccelChar().empty())
            Invalidate(v);
}
