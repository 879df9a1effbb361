// The dockable window's docked frame: its size, hit codes, painting (edge,
// drag handle grips, docked close button), the cursor over the handle, and
// the mouse in the frame and the client area that starts drags, double
// clicks and context menus.
#include <windowsx.h>

#include <memory>

#include "platform/Canvas.h"
#include "platform/GdiGuards.h"
#include "platform/Menus.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBDockable.h"
#include "toolbars/TBFloatParent.h"

namespace {

// The docked close button's cross, one row per byte, bit 7 leftmost.
const BYTE kCloseGlyph[8] = {0xC3, 0x66, 0x3C, 0x18, 0x3C, 0x66, 0xC3, 0x00};

// Paints the 8 x 8 glyph at (x, y) in the colour of the brush: where a bit
// is set the brush shows, elsewhere the destination stays (DSPDxax).
void DrawGlyph(HDC dc, int x, int y, const BYTE* rows, int colorIndex)
{
    WORD words[8];
    for (int i = 0; i < 8; ++i)
        words[i] = static_cast<WORD>(rows[i] << 8);
    HBITMAP bmp = CreateBitmap(8, 8, 1, 1, words);
    if (!bmp)
        return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ oldBmp = SelectObject(mem, bmp);
    HGDIOBJ oldBrush = SelectObject(dc, GetSysColorBrush(colorIndex));
    COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, x, y, 8, 8, mem, 0, 0, 0x00E20746);
    SetBkColor(dc, oldBk);
    SetTextColor(dc, oldText);
    SelectObject(dc, oldBrush);
    SelectObject(mem, oldBmp);
    DeleteDC(mem);
    DeleteObject(bmp);
}

}  // namespace

// The window's first WM_NCCALCSIZE came before our procedure was on it:
// a docked window measures its frame again.
void TTBCustomDockableWindow::CreateHandleDone()
{
    TWinControl::CreateHandleDone();
    if (docked_)
        RecalcNCArea();
}

void TTBCustomDockableWindow::RecalcNCArea()
{
    if (HandleAllocated())
        SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TTBCustomDockableWindow::HandleNCCalcSize(TMessage& m)
{
    if (!docked_ || !currentDock_) {
        DefaultHandler(m);
        return;
    }
    auto* r = reinterpret_cast<RECT*>(m.LParam);
    RECT f = DockedFrame(CurrentDockType());
    r->left += f.left;
    r->top += f.top;
    r->right -= f.right;
    r->bottom -= f.bottom;
    if (r->right < r->left)
        r->right = r->left;
    if (r->bottom < r->top)
        r->bottom = r->top;
    m.Result = 0;
}

void TTBCustomDockableWindow::HandleNCHitTest(TMessage& m)
{
    if (!docked_ || !currentDock_) {
        DefaultHandler(m);
        return;
    }
    POINT p = {GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    RECT wr;
    GetWindowRect(Handle(), &wr);
    POINT client = p;
    ::ScreenToClient(Handle(), &client);
    RECT cr;
    GetClientRect(Handle(), &cr);
    if (PtInRect(&cr, client)) {
        m.Result = HTCLIENT;
        return;
    }
    m.Result = HTTB_DRAGHANDLE;
    if (closeButtonWhenDocked_ && currentDock_->AllowDrag()) {
        RECT b = GetDockedCloseButtonRect(CurrentDockType() == dtLeftRight);
        POINT w = {p.x - wr.left, p.y - wr.top};
        if (PtInRect(&b, w))
            m.Result = HTTB_CLOSE;
    }
}

void TTBCustomDockableWindow::DrawNCArea(HDC dc, bool drawCloseButtonOnly, int closeButtonState)
{
    if (!docked_ || !currentDock_)
        return;
    RECT wr;
    GetWindowRect(Handle(), &wr);
    int w = wr.right - wr.left, h = wr.bottom - wr.top;
    TTBDockType type = CurrentDockType();
    bool leftRight = type == dtLeftRight;
    RECT f = DockedFrame(type);
    RECT whole{0, 0, w, h};
    if (!drawCloseButtonOnly) {
        // Keep the client area out of the fill.
        TDCSave saved(dc);
        ExcludeClipRect(dc, f.left, f.top, w - f.right, h - f.bottom);
        if (currentDock_->UsingBackground() && currentDock_->BackgroundOnToolbars()) {
            // The dock's pattern, aligned with the dock.
            TDCSave inner(dc);
            OffsetViewportOrgEx(dc, -Left(), -Top(), nullptr);
            RECT r{Left(), Top(), Left() + w, Top() + h};
            currentDock_->DrawBackground(dc, r);
        } else {
            HBRUSH b = CreateSolidBrush(Color());
            FillRect(dc, &whole, b);
            DeleteObject(b);
        }
        if (borderStyle_ == TTBBorderStyle::bsSingle) {
            RECT e = whole;
            DrawEdge(dc, &e, BDR_RAISEDINNER, BF_RECT);
        }
        // The grips of the drag handle.
        int handle = currentDock_->AllowDrag() ? DragHandleSize() : 0;
        if (handle > 0 && dragHandleStyle_ != dhNone) {
            int grips = dragHandleStyle_ == dhDouble ? 2 : 1;
            int shorten = closeButtonWhenDocked_ ? 12 : 0;
            for (int i = 0; i < grips; ++i) {
                RECT g;
                if (!leftRight)
                    g = RECT{2 + 3 * i, 2 + shorten, 2 + 3 * i + 3, h - 2};
                else
                    g = RECT{2, 2 + 3 * i, w - 2 - shorten, 2 + 3 * i + 3};
                if (g.right <= g.left || g.bottom <= g.top)
                    continue;
                RECT e = g;
                DrawEdge(dc, &e, BDR_RAISEDINNER, BF_RECT);
                if (!leftRight)
                    SetPixelV(dc, g.left, g.bottom - 1, GetSysColor(COLOR_BTNHIGHLIGHT));
                else
                    SetPixelV(dc, g.right - 1, g.top, GetSysColor(COLOR_BTNHIGHLIGHT));
            }
        }
    }
    if (closeButtonWhenDocked_ && currentDock_->AllowDrag()) {
        RECT b = GetDockedCloseButtonRect(leftRight);
        HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
        FillRect(dc, &b, face);
        int shift = 0;
        if (closeButtonState == 2) {
            RECT e = b;
            DrawEdge(dc, &e, BDR_SUNKENOUTER, BF_RECT);
            shift = 1;
        } else if (closeButtonState == 1) {
            RECT e = b;
            DrawEdge(dc, &e, BDR_RAISEDINNER, BF_RECT);
        }
        DrawGlyph(dc, b.left + 1 + shift, b.top + 1 + shift, kCloseGlyph, COLOR_BTNTEXT);
    }
}

void TTBCustomDockableWindow::HandleNCPaint(TMessage& m)
{
    if (!docked_ || !currentDock_) {
        DefaultHandler(m);
        return;
    }
    HDC dc = GetWindowDC(Handle());
    if (!dc)
        return;
    if (m.WParam > 1)
        SelectNCUpdateRgn(Handle(), dc, reinterpret_cast<HRGN>(m.WParam));
    DrawNCArea(dc, false, closeButtonDown_ ? 2 : closeButtonHot_ ? 1 : 0);
    ReleaseDC(Handle(), dc);
    m.Result = 0;
}

void TTBCustomDockableWindow::DockedCloseButtonHot(bool hot)
{
    if (hot == closeButtonHot_)
        return;
    closeButtonHot_ = hot;
    if (!HandleAllocated())
        return;
    HDC dc = GetWindowDC(Handle());
    if (dc) {
        DrawNCArea(dc, true, closeButtonDown_ ? 2 : hot ? 1 : 0);
        ReleaseDC(Handle(), dc);
    }
}

void TTBCustomDockableWindow::TrackDockedCloseButton()
{
    RECT b = GetDockedCloseButtonRect(CurrentDockType() == dtLeftRight);
    RECT wr;
    GetWindowRect(Handle(), &wr);
    OffsetRect(&b, wr.left, wr.top);
    std::weak_ptr<void> alive = AliveToken();
    bool released = TrackButtonPress(*this, b, [this](bool inside) {
        closeButtonDown_ = inside;
        if (!HandleAllocated())
            return;
        HDC dc = GetWindowDC(Handle());
        if (dc) {
            DrawNCArea(dc, true, inside ? 2 : closeButtonHot_ ? 1 : 0);
            ReleaseDC(Handle(), dc);
        }
    });
    if (alive.expired())
        return;
    closeButtonDown_ = false;
    if (released)
        CloseWindow();
}

void TTBCustomDockableWindow::HandleSetCursor(TMessage& m)
{
    if (docked_ && currentDock_ && reinterpret_cast<HWND>(m.WParam) == Handle() &&
        LOWORD(m.LParam) == HTTB_DRAGHANDLE && dragHandleStyle_ != dhNone && currentDock_->AllowDrag()) {
        POINT p;
        GetCursorPos(&p);
        RECT wr;
        GetWindowRect(Handle(), &wr);
        int handle = DragHandleSize() + 2;
        bool leftRight = CurrentDockType() == dtLeftRight;
        bool over = leftRight ? p.y - wr.top < handle : p.x - wr.left < handle;
        RECT b = GetDockedCloseButtonRect(leftRight);
        POINT w = {p.x - wr.left, p.y - wr.top};
        if (over && !(closeButtonWhenDocked_ && PtInRect(&b, w))) {
            ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZEALL)));
            m.Result = TRUE;
            return;
        }
    }
    TWinControl::WndProc(m);
}

void TTBCustomDockableWindow::HandleNCLButton(TMessage& m, bool dblClick)
{
    // The floating window parent passes presses on its caption on as presses
    // on the drag handle.
    bool floatingCaption = floating_ && m.WParam == HTTB_DRAGHANDLE;
    if ((!docked_ || !currentDock_) && !floatingCaption) {
        DefaultHandler(m);
        return;
    }
    m.Result = 0;
    // A second press soon after the first is a double click: the button
    // takes it as a press all the same.
    if (m.WParam == HTTB_CLOSE) {
        TrackDockedCloseButton();
        return;
    }
    if (m.WParam != HTTB_DRAGHANDLE || !CanDrag())
        return;
    if (dblClick) {
        DoubleClick();
        return;
    }
    POINT p = {GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    ::ScreenToClient(Handle(), &p);
    BeginMoving(p.x, p.y);
}

void TTBCustomDockableWindow::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    TWinControl::MouseDown(button, shift, x, y);
    if (alive.expired() || button != TMouseButton::mbLeft || !CanDrag())
        return;
    // Only where no visible child control lies.
    for (int i = 0; i < ControlCount(); ++i) {
        TControl* c = Controls(i);
        RECT r = c->BoundsRect();
        if (c->Visible() && PtInRect(&r, POINT{x, y}))
            return;
    }
    if (shift & ssDouble)
        DoubleClick();
    else
        BeginMoving(x, y);
}

// Docked in a dock that draws a shared background: repaint at once, through
// a memory bitmap, so that the pattern under the window moves without
// flicker.
void TTBCustomDockableWindow::PaintOnMove()
{
    if (!docked_ || !currentDock_ || !HandleAllocated() || !IsWindowVisible(Handle()) ||
        !currentDock_->UsingBackground() || !currentDock_->BackgroundOnToolbars())
        return;
    HWND h = Handle();
    RECT wr;
    GetWindowRect(h, &wr);
    int w = wr.right - wr.left, ht = wr.bottom - wr.top;
    if (w <= 0 || ht <= 0)
        return;
    HDC wdc = GetWindowDC(h);
    if (!wdc)
        return;
    HDC mem = CreateCompatibleDC(wdc);
    HBITMAP bmp = CreateCompatibleBitmap(wdc, w, ht);
    HGDIOBJ old = SelectObject(mem, bmp);
    DrawNCArea(mem, false, closeButtonDown_ ? 2 : closeButtonHot_ ? 1 : 0);
    RECT f = DockedFrame(CurrentDockType());
    {
        TDCSave saved(mem);
        SetViewportOrgEx(mem, f.left, f.top, nullptr);
        IntersectClipRect(mem, 0, 0, w - f.left - f.right, ht - f.top - f.bottom);
        SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(mem), 0);
        SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
    }
    BitBlt(wdc, 0, 0, w, ht, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(h, wdc);
    ValidateRect(h, nullptr);
}

bool TTBCustomDockableWindow::DrawDockBackground(HDC dc)
{
    if (!docked_ || !currentDock_ || !HandleAllocated() || !currentDock_->UsingBackground() ||
        !currentDock_->BackgroundOnToolbars())
        return false;
    RECT f = DockedFrame(CurrentDockType());
    RECT cr;
    GetClientRect(Handle(), &cr);
    // The client area in the dock's coordinates.
    RECT r{Left() + f.left, Top() + f.top, Left() + f.left + cr.right, Top() + f.top + cr.bottom};
    TDCSave saved(dc);
    OffsetViewportOrgEx(dc, -r.left, -r.top, nullptr);
    currentDock_->DrawBackground(dc, r);
    return true;
}

void TTBCustomDockableWindow::PaintBackground(TCanvas& canvas, const RECT& clientRect)
{
    if (!DrawDockBackground(canvas.Handle()))
        TWinControl::PaintBackground(canvas, clientRect);
}

void TTBCustomDockableWindow::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_ERASEBKGND:
        // What draws items off-screen asks for the background under them here.
        if (DrawDockBackground(reinterpret_cast<HDC>(m.WParam))) {
            m.Result = 1;
            return;
        }
        break;
    case WM_NCCALCSIZE:
        HandleNCCalcSize(m);
        return;
    case WM_NCHITTEST:
        HandleNCHitTest(m);
        return;
    case WM_NCPAINT:
        HandleNCPaint(m);
        return;
    case WM_NCLBUTTONDOWN:
        HandleNCLButton(m, false);
        return;
    case WM_NCLBUTTONDBLCLK:
        HandleNCLButton(m, true);
        return;
    case WM_NCMOUSEMOVE:
        if (docked_ && closeButtonWhenDocked_) {
            DockedCloseButtonHot(m.WParam == HTTB_CLOSE);
            CallTrackMouseEvent(Handle(), TME_LEAVE | TME_NONCLIENT);
        }
        DefaultHandler(m);
        return;
    case WM_NCMOUSELEAVE:
        DockedCloseButtonHot(false);
        DefaultHandler(m);
        return;
    case WM_NCRBUTTONUP:
        if (docked_ || floating_) {
            SendMessageW(Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Handle()), m.LParam);
            m.Result = 0;
            return;
        }
        break;
    case WM_CONTEXTMENU: {
        POINT p = {GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        bool keyboard = m.LParam == -1;
        if (!keyboard && HandleAllocated()) {
            POINT c = p;
            ::ScreenToClient(Handle(), &c);
            RECT cr;
            GetClientRect(Handle(), &cr);
            if (PtInRect(&cr, c))
                break;
        }
        if (OnContextPopup) {
            bool handled = false;
            std::weak_ptr<void> alive = AliveToken();
            OnContextPopup(this, p, handled);
            if (alive.expired())
                return;
            if (handled) {
                m.Result = 0;
                return;
            }
        }
        if (popupMenu_ && popupMenu_->AutoPopup) {
            if (keyboard)
                p = ClientToScreen(POINT{0, 0});
            popupMenu_->PopupComponent = this;
            popupMenu_->Popup(p.x, p.y);
            m.Result = 0;
            return;
        }
        break;
    }
    case WM_SETCURSOR:
        HandleSetCursor(m);
        return;
    case WM_MOVE:
        TWinControl::WndProc(m);
        PaintOnMove();
        if (disableOnMove_ == 0 && !IsLoading() && OnMove)
            OnMove(this);
        return;
    case WM_PRINT:
        m.Result = AnswerPrintMessage(Handle(), m.WParam, m.LParam, [this](HWND, HDC dc) {
            DrawNCArea(dc, false, 0);
        });
        return;
    case WM_PRINTCLIENT:
        m.Result = AnswerPrintClientMessage(*this, m.WParam, m.LParam);
        return;
    case WM_CAPTURECHANGED:
        // Wake a drag or sizing loop that waits for a message: it ends on
        // the lost capture.
        if ((dragMode_ || sizing_) && HandleAllocated())
            PostMessageW(Handle(), WM_NULL, 0, 0);
        break;
    default:
        break;
    }
    TWinControl::WndProc(m);
}
