// The floating window parent: a tool-window form whose frame, caption and
// close button are ours, and the capture loop of a pressed caption button.
#include "toolbars/TBFloatParent.h"

#include <windowsx.h>

#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/Firewall.h"
#include "platform/GdiGuards.h"
#include "platform/Text.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBDockable.h"

// --- the capture loop of a button press ---

bool TrackButtonPress(TWinControl& control, const RECT& screenRect, const std::function<void(bool inside)>& redraw)
{
    HWND h = control.Handle();
    std::weak_ptr<void> alive = control.AliveToken();
    // Whatever ends the loop, the capture goes, the button comes up (unless
    // its control went meanwhile) and a nested loop no longer stands.
    struct Guard {
        HWND h;
        const std::weak_ptr<void>& alive;
        const std::function<void(bool)>& redraw;
        Guard(HWND h, const std::weak_ptr<void>& a, const std::function<void(bool)>& r) : h(h), alive(a), redraw(r)
        {
            Application().BeginNestedLoop();
        }
        ~Guard()
        {
            if (GetCapture() == h)
                ReleaseCapture();
            if (!alive.expired() && redraw)
                Guarded([&] { redraw(false); });
            Application().EndNestedLoop();
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
    } guard(h, alive, redraw);

    SetCapture(h);
    if (redraw)
        redraw(true);
    bool inside = true;
    MSG msg;
    while (!alive.expired() && GetCapture() == h) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            return false;
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        switch (msg.message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP: {
            POINT p = {GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
            ClientToScreen(msg.hwnd, &p);
            bool now = PtInRect(&screenRect, p) != FALSE;
            if (msg.message == WM_LBUTTONUP)
                return now;
            if (now != inside) {
                inside = now;
                if (redraw)
                    redraw(inside);
            }
            break;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            return false;
        default:
            if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST)
                break;   // keys do nothing while the button is held
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            break;
        }
    }
    return false;
}

// --- TTBFloatingWindowParent ---

namespace {

// The first visible, enabled top-level window of this thread other than
// `except`; one that is not topmost is preferred.
HWND FirstActivatableWindow(HWND except)
{
    struct Search {
        HWND except;
        HWND normal = nullptr;
        HWND topmost = nullptr;
    } search{except};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM lp) WINAPI -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (w == s->except || !IsWindowVisible(w) || !IsWindowEnabled(w))
                return TRUE;
            if (GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) {
                if (!s->topmost)
                    s->topmost = w;
                return TRUE;
            }
            s->normal = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.normal ? search.normal : search.topmost;
}

bool GradientCaptions()
{
    BOOL on = FALSE;
    SystemParametersInfoW(SPI_GETGRADIENTCAPTIONS, 0, &on, 0);
    return on != FALSE;
}

}  // namespace

TTBFloatingWindowParent::TTBFloatingWindowParent(TComponent* owner) : TForm(owner)
{
    SetBorderStyle(TFormBorderStyle::bsToolWindow);
    SetShowHint(true);
}

TTBFloatingWindowParent::~TTBFloatingWindowParent()
{
    DoDestroy();
    dockableWindow_ = nullptr;
    parentForm_ = nullptr;
}

void TTBFloatingWindowParent::SetDockableWindow(TTBCustomDockableWindow* window)
{
    if (window == dockableWindow_)
        return;
    if (dockableWindow_)
        RemoveFreeNotification(dockableWindow_);
    dockableWindow_ = window;
    if (window)
        FreeNotification(window);
    RecalcNCArea();
}

void TTBFloatingWindowParent::SetParentForm(TForm* form)
{
    if (form == parentForm_)
        return;
    if (parentForm_)
        RemoveFreeNotification(parentForm_);
    parentForm_ = form;
    if (form)
        FreeNotification(form);
}

void TTBFloatingWindowParent::Notification(TComponent* component, TOperation operation)
{
    TForm::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == dockableWindow_)
        dockableWindow_ = nullptr;
    if (component == parentForm_)
        parentForm_ = nullptr;
}

void TTBFloatingWindowParent::CreateParams(TCreateParams& params)
{
    TForm::CreateParams(params);
    params.className = L"BrenixTBFloatingWindow";
    // No redraw on every size change: the frame and the toolbar draw what changed.
    params.classStyle = CS_DBLCLKS;
    params.icon = nullptr;
    params.style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (IsResizable() ? WS_THICKFRAME : 0) |
                   (IsDesigning() ? WS_BORDER : 0);
    params.exStyle = WS_EX_TOOLWINDOW;
    if (parentForm_ && parentForm_->HandleAllocated())
        params.parentWindow = parentForm_->Handle();
}

void TTBFloatingWindowParent::CreateWnd()
{
    // A form shows itself with SW_SHOW when its window is made, which would
    // activate it: this one comes up through UpdateVisibility instead.
    bool wasVisible = Visible();
    if (wasVisible)
        SetVisible(false);
    TForm::CreateWnd();
    // The window's first WM_NCCALCSIZE came before our procedure was on it.
    RecalcNCArea();
    if (wasVisible)
        SetVisible(true);
}

void TTBFloatingWindowParent::VisibleChanged()
{
    if (HandleAllocated())
        UpdateVisibility();
}

void TTBFloatingWindowParent::SetShouldShow(bool value)
{
    if (value == shouldShow_)
        return;
    shouldShow_ = value;
    if (HandleAllocated())
        UpdateVisibility();
}

void TTBFloatingWindowParent::UpdateVisibility()
{
    HWND h = Handle();
    UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    flags |= (Visible() && shouldShow_) ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
    SetWindowPos(h, nullptr, 0, 0, 0, 0, flags);
}

bool TTBFloatingWindowParent::HasCaption() const { return dockableWindow_ && dockableWindow_->ShowCaption(); }

bool TTBFloatingWindowParent::HasCloseButton() const
{
    return HasCaption() && dockableWindow_->CloseButton();
}

bool TTBFloatingWindowParent::IsResizable() const { return dockableWindow_ && dockableWindow_->Resizable(); }

RECT TTBFloatingWindowParent::Frame() const
{
    if (dockableWindow_)
        return dockableWindow_->FloatingFrame();
    int b = GetSystemMetrics(SM_CXDLGFRAME);
    return RECT{b, b, b, b};
}

RECT TTBFloatingWindowParent::CaptionRect() const
{
    if (!HasCaption() || !HandleAllocated())
        return RECT{};
    RECT client;
    GetClientRect(const_cast<TTBFloatingWindowParent*>(this)->Handle(), &client);
    RECT f = Frame();
    // The caption lies on the top border, over the client area and as wide;
    // a line of button face separates it from the client area.
    int bottom = f.top - 1;
    return RECT{f.left, bottom - (GetSystemMetrics(SM_CYSMCAPTION) - 1), f.left + client.right, bottom};
}

RECT TTBFloatingWindowParent::CloseButtonRect() const
{
    if (!HasCloseButton())
        return RECT{};
    RECT c = CaptionRect();
    int size = c.bottom - c.top;
    return RECT{c.right - size, c.top, c.right, c.bottom};
}

LRESULT TTBFloatingWindowParent::HitTest(POINT screen) const
{
    HWND h = const_cast<TTBFloatingWindowParent*>(this)->Handle();
    RECT win;
    GetWindowRect(h, &win);
    POINT p = {screen.x - win.left, screen.y - win.top};
    int width = win.right - win.left, height = win.bottom - win.top;
    if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height)
        return HTNOWHERE;
    RECT client;
    GetClientRect(h, &client);
    MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&client), 2);
    if (PtInRect(&client, screen))
        return HTCLIENT;
    RECT caption = CaptionRect();
    if (PtInRect(&caption, p)) {
        RECT close = CloseButtonRect();
        return PtInRect(&close, p) ? HTTB_CLOSE : HTTB_CAPTION;
    }
    if (!IsResizable())
        return HTBORDER;
    RECT f = Frame();
    int b = f.left;
    int corner = b + GetSystemMetrics(SM_CYSMCAPTION) - 1;
    bool corners = dockableWindow_ && dockableWindow_->AllowCornerSizing();
    bool left = p.x < b, right = p.x >= width - b, top = p.y < b, bottom = p.y >= height - b;
    if (corners) {
        if (left || right) {
            if (p.y < corner)
                return left ? HTTOPLEFT : HTTOPRIGHT;
            if (p.y >= height - corner)
                return left ? HTBOTTOMLEFT : HTBOTTOMRIGHT;
        }
        if (top || bottom) {
            if (p.x < corner)
                return top ? HTTOPLEFT : HTBOTTOMLEFT;
            if (p.x >= width - corner)
                return top ? HTTOPRIGHT : HTBOTTOMRIGHT;
        }
    }
    if (left)
        return HTLEFT;
    if (right)
        return HTRIGHT;
    if (top)
        return HTTOP;
    if (bottom)
        return HTBOTTOM;
    return HTBORDER;
}

void TTBFloatingWindowParent::RecalcNCArea()
{
    if (!HandleAllocated())
        return;
    HWND h = Handle();
    // The sizing border comes and goes with Resizable.
    LONG style = GetWindowLongW(h, GWL_STYLE);
    LONG want = IsResizable() ? (style | WS_THICKFRAME) : (style & ~WS_THICKFRAME);
    if (want != style)
        SetWindowLongW(h, GWL_STYLE, want);
    SetWindowPos(h, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
}

void TTBFloatingWindowParent::RedrawNCArea(unsigned parts)
{
    if (!HandleAllocated() || !IsWindowVisible(Handle()))
        return;
    TWholeWindowDC dc(Handle());
    if (dc.Handle())
        PaintNC(dc.Handle(), parts);
}

void TTBFloatingWindowParent::PaintNC(HDC dc, unsigned parts)
{
    HWND h = Handle();
    RECT win;
    GetWindowRect(h, &win);
    RECT w = {0, 0, win.right - win.left, win.bottom - win.top};
    RECT client;
    GetClientRect(h, &client);
    MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&client), 2);
    OffsetRect(&client, -win.left, -win.top);
    RECT caption = CaptionRect();
    RECT close = CloseButtonRect();
    bool active = GetActiveWindow() == h || (parentForm_ && parentForm_->HandleAllocated() &&
                                             GetActiveWindow() == parentForm_->Handle());
    bool gradient = GradientCaptions();

    TDCSave saved(dc);
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    if (parts & twrdBorder) {
        TDCSave inner(dc);
        if (HasCaption())
            ExcludeClipRect(dc, caption.left, caption.top, caption.right, caption.bottom);
        RECT r = w;
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (!HasCaption())
        return;
    if (parts & twrdCaption) {
        RECT text = caption;
        if (HasCloseButton())
            text.right = close.left;
        UINT flags = DC_SMALLCAP | DC_TEXT | (active ? DC_ACTIVE : 0) | (gradient ? DC_GRADIENT : 0);
        // DrawCaption takes its text from the window.
        DrawCaption(h, dc, &text, flags);
        RECT line = {caption.left, caption.bottom, caption.right, caption.bottom + 1};
        FillRect(dc, &line, GetSysColorBrush(COLOR_BTNFACE));
    }
    if ((parts & (twrdCaption | twrdCloseButton)) && HasCloseButton()) {
        int color = active ? (gradient ? COLOR_GRADIENTACTIVECAPTION : COLOR_ACTIVECAPTION)
                           : (gradient ? COLOR_GRADIENTINACTIVECAPTION : COLOR_INACTIVECAPTION);
        FillRect(dc, &close, GetSysColorBrush(color));
        RECT glyph = close;
        InflateRect(&glyph, -2, -2);
        DrawFrameControl(dc, &glyph, DFC_CAPTION, DFCS_CAPTIONCLOSE | (closeButtonDown_ ? DFCS_PUSHED : 0));
    }
}

void TTBFloatingWindowParent::NCLeftButtonDown(LRESULT hit, POINT screen)
{
    TTBCustomDockableWindow* dw = dockableWindow_;
    if (!dw)
        return;
    if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT) {
        dw->BeginSizing(static_cast<TTBSizeHandle>(hit - HTLEFT));
        return;
    }
    if (hit == HTTB_CAPTION) {
        POINT p = dw->ScreenToClient(screen);
        dw->BeginMoving(p.x, p.y);
        return;
    }
    if (hit == HTTB_CLOSE) {
        RECT close = CloseButtonRect();
        RECT win;
        GetWindowRect(Handle(), &win);
        OffsetRect(&close, win.left, win.top);
        std::weak_ptr<void> alive = AliveToken();
        std::weak_ptr<void> dwAlive = dw->AliveToken();
        bool released = TrackButtonPress(*this, close, [this](bool inside) {
            closeButtonDown_ = inside;
            RedrawNCArea(twrdCloseButton);
        });
        if (released && !alive.expired() && !dwAlive.expired())
            dw->CloseWindow();
    }
}

void TTBFloatingWindowParent::Activated(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == WA_INACTIVE || IsDesigning())
        return;
    HWND self = Handle();
    if (!IsWindowVisible(self)) {
        // Nothing to work with here: the thread's first usable window takes it.
        if (HWND w = FirstActivatableWindow(self))
            SetActiveWindow(w);
        return;
    }
    HWND previous = reinterpret_cast<HWND>(lParam);
    if (parentForm_ && parentForm_->HandleAllocated() && parentForm_->Handle() != previous &&
        IsWindowVisible(parentForm_->Handle()) && IsWindowEnabled(parentForm_->Handle()))
        SetActiveWindow(parentForm_->Handle());
}

bool TTBFloatingWindowParent::DialogKey(WORD key, TShiftState shift)
{
    if (key == VK_ESCAPE && (shift & (ssShift | ssCtrl | ssAlt)) == 0 && dockableWindow_)
        return dockableWindow_->DialogKey(key, shift);
    return TForm::DialogKey(key, shift);
}

void TTBFloatingWindowParent::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_GETMINMAXINFO: {
        TForm::WndProc(m);
        auto* info = reinterpret_cast<MINMAXINFO*>(m.LParam);
        info->ptMinTrackSize = POINT{1, 1};
        info->ptMaxTrackSize = POINT{32767, 32767};
        m.Result = 0;
        return;
    }
    case WM_NCCALCSIZE: {
        auto* r = reinterpret_cast<RECT*>(m.LParam);
        RECT f = Frame();
        r->left += f.left;
        r->top += f.top;
        r->right -= f.right;
        r->bottom -= f.bottom;
        if (r->right < r->left)
            r->right = r->left;
        if (r->bottom < r->top)
            r->bottom = r->top;
        m.Result = 0;
        return;
    }
    case WM_NCHITTEST:
        m.Result = HitTest(POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
        return;
    case WM_NCPAINT: {
        TWholeWindowDC dc(Handle());
        if (dc.Handle()) {
            SelectNCUpdateRgn(Handle(), dc.Handle(), reinterpret_cast<HRGN>(m.WParam));
            PaintNC(dc.Handle(), twrdAll);
        }
        m.Result = 0;
        return;
    }
    case WM_PRINT:
        m.Result = AnswerPrintMessage(Handle(), m.WParam, m.LParam,
                                      [this](HWND, HDC dc) { PaintNC(dc, twrdAll); });
        return;
    case WM_NCACTIVATE: {
        // The owning form's caption follows ours, so that the application
        // still looks active while a floating toolbar is used.
        if (!IsDesigning() && parentForm_ && parentForm_->HandleAllocated())
            SendMessageW(parentForm_->Handle(), WM_NCACTIVATE, m.WParam, 0);
        m.Result = TRUE;
        if (IsWindowVisible(Handle()))
            RedrawNCArea(twrdCaption);
        return;
    }
    case WM_ACTIVATE:
        TForm::WndProc(m);
        Activated(m.WParam, m.LParam);
        return;
    case WM_MOUSEACTIVATE: {
        // A click leaves the activation where it is: the window only comes
        // to the top, and the owning form is the active one.
        m.Result = MA_NOACTIVATE;
        if (IsDesigning())
            return;
        std::weak_ptr<void> alive = AliveToken();
        if (parentForm_ && parentForm_->HandleAllocated() &&
            (!dockableWindow_ || dockableWindow_->ActivateParent())) {
            HWND owner = parentForm_->Handle();
            if (IsWindowVisible(owner) && IsWindowEnabled(owner)) {
                SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
                SetActiveWindow(owner);
            }
        }
        if (!alive.expired())
            SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return;
    }
    case WM_NCLBUTTONDOWN: {
        LRESULT hit = static_cast<LRESULT>(m.WParam);
        POINT screen = {GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        if ((hit >= HTLEFT && hit <= HTBOTTOMRIGHT) || hit == HTTB_CAPTION || hit == HTTB_CLOSE) {
            NCLeftButtonDown(hit, screen);
            m.Result = 0;
            return;
        }
        break;
    }
    case WM_NCLBUTTONDBLCLK:
        if (static_cast<LRESULT>(m.WParam) == HTTB_CAPTION) {
            if (dockableWindow_)
                dockableWindow_->DoubleClick();
            m.Result = 0;
            return;
        }
        break;
    case WM_NCRBUTTONUP:
        if (static_cast<LRESULT>(m.WParam) == HTTB_CAPTION || static_cast<LRESULT>(m.WParam) == HTTB_CLOSE) {
            if (dockableWindow_)
                dockableWindow_->Perform(WM_NCRBUTTONUP, static_cast<WPARAM>(HTTB_DRAGHANDLE), m.LParam);
            m.Result = 0;
            return;
        }
        break;
    case WM_SETTEXT:
        TForm::WndProc(m);
        RedrawNCArea(twrdCaption);
        return;
    case WM_CLOSE:
        // Closing the floating window (Alt+F4) closes the form it belongs to.
        if (parentForm_ && parentForm_->HandleAllocated())
            SendMessageW(parentForm_->Handle(), WM_CLOSE, 0, 0);
        m.Result = 0;
        return;
    case WM_MOVE:
        TForm::WndProc(m);
        if (dockableWindow_)
            dockableWindow_->Perform(WM_MOVE, 0, 0);
        return;
    default:
        break;
    }
    TForm::WndProc(m);
}
