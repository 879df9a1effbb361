#include "platform/Hints.h"

#include <windowsx.h>

#include <memory>

#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/Firewall.h"
#include "platform/HiddenWindow.h"
#include "platform/Monitors.h"
#include "platform/Text.h"

std::string GetShortHint(const std::string& hint)
{
    size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(0, bar);
}

std::string GetLongHint(const std::string& hint)
{
    size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

std::string GetControlHint(const TControl* control)
{
    for (const TControl* c = control; c; c = c->Parent()) {
        std::string h = c->Hint();
        if (!h.empty())
            return h;
    }
    return "";
}

// ---------------------------------------------------------------------------
// Controls' hint settings

bool TControl::ShowHint() const
{
    if (parentShowHint_ && parent_)
        return parent_->ShowHint();
    return showHint_;
}

void TControl::SetShowHint(bool show)
{
    showHint_ = show;
    parentShowHint_ = false;
}

bool TControl::HintShow(THintInfo&)
{
    return true;
}

void TControl::HintShowPause(bool, int&) {}

bool TControl::ShowOwnHint(const THintInfo&)
{
    return false;
}

// ---------------------------------------------------------------------------
// The hint window

THintWindow::THintWindow(TComponent* owner) : TWinControl(owner)
{
    SetVisible(false);
    SetColor(GetSysColor(COLOR_INFOBK));
    NONCLIENTMETRICSW ncm = {};
    ncm.cbSize = offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0)) {
        Font().SetName(WideToUtf8(ncm.lfStatusFont.lfFaceName));
        Font().SetHeight(ncm.lfStatusFont.lfHeight);
    }
    Font().SetColor(GetSysColor(COLOR_INFOTEXT));
}

void THintWindow::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"BrenixHintWindow";
    params.style = WS_POPUP | WS_BORDER;
    params.exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    params.classStyle = CS_SAVEBITS | 0x00020000 /* CS_DROPSHADOW */;
    params.parentWindow = Application().Handle();
}

RECT THintWindow::CalcHintRect(int maxWidth, const std::string& text)
{
    RECT r = {0, 0, maxWidth, 0};
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font().Handle());
    std::wstring w = Utf8ToWide(text);
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    // Room for the frame and a margin round the text.
    r.right += 6 + 2;
    r.bottom += 2 + 2;
    return r;
}

void THintWindow::ActivateHint(RECT r, const std::string& text)
{
    text_ = text;
    const RECT area = GetRectOfMonitorContainingPoint(POINT{r.left, r.top}, true);
    int w = r.right - r.left, h = r.bottom - r.top;
    if (r.left + w > area.right)
        r.left = area.right - w;
    if (r.left < area.left)
        r.left = area.left;
    if (r.top + h > area.bottom)
        r.top = area.bottom - h;
    if (r.top < area.top)
        r.top = area.top;
    HWND hwnd = Handle();
    SetWindowPos(hwnd, HWND_TOPMOST, r.left, r.top, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
}

void THintWindow::ReleaseHint()
{
    if (HandleAllocated() && IsWindowVisible(Handle()))
        ShowWindow(Handle(), SW_HIDE);
}

bool THintWindow::Active() const
{
    return HandleAllocated() && IsWindowVisible(const_cast<THintWindow*>(this)->Handle());
}

void THintWindow::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    r.left += 2;
    r.top += 1;
    SetBkMode(canvas.Handle(), TRANSPARENT);
    canvas.Font().Assign(Font());
    canvas.TextRect(r, text_, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

void THintWindow::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_NCHITTEST:
        // Clicks go through to whatever is under the hint.
        m.Result = HTTRANSPARENT;
        return;
    case WM_MOUSEACTIVATE:
        m.Result = MA_NOACTIVATE;
        return;
    default:
        TWinControl::WndProc(m);
    }
}

// ---------------------------------------------------------------------------
// The application's hint state

namespace {

enum : UINT_PTR { kShowTimer = 1, kHideTimer = 2, kCheckTimer = 3 };

class THintState : public THiddenWindow {
public:
    std::unique_ptr<THintWindow> window;
    TControl* control = nullptr;       // the control the hint is about (shown or waited for)
    std::weak_ptr<void> controlAlive;
    RECT cursorRect{};                 // screen
    bool shown = false;
    bool asked = false;                // the control was asked for its hint (HintShow)
    POINT mouse{};                     // screen: where the last mouse move over a control was
    bool ownWindow = false;            // the control shows the hint in a window of its own

    bool ControlAlive() const { return control && !controlAlive.expired(); }

    void SetControl(TControl* c)
    {
        control = c;
        asked = false;
        controlAlive = c ? c->AliveToken() : std::weak_ptr<void>();
    }

    void Hide()
    {
        if (window)
            window->ReleaseHint();
        if (ownWindow && ControlAlive())
            control->HideOwnHint();
        ownWindow = false;
        shown = false;
        if (HandleAllocated()) {
            KillTimer(Handle(), kHideTimer);
            KillTimer(Handle(), kCheckTimer);
        }
    }

    void Reset()
    {
        Hide();
        if (HandleAllocated())
            KillTimer(Handle(), kShowTimer);
        SetControl(nullptr);
    }

    void Start(UINT_PTR id, int ms)
    {
        SetTimer(Handle(), id, static_cast<UINT>(ms > 0 ? ms : 1), nullptr);
    }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg != WM_TIMER)
            return THiddenWindow::WndProc(msg, wParam, lParam);
        KillTimer(Handle(), wParam);
        switch (wParam) {
        case kShowTimer:
            // Where the mouse message said: the cursor position the system
            // reports may lag behind its own mouse messages.
            Application().ActivateHint(mouse);
            break;
        case kHideTimer:
            // Gone for good while the mouse stays on the same control.
            Hide();
            break;
        case kCheckTimer: {
            POINT p;
            GetCursorPos(&p);
            if (!PtInRect(&cursorRect, p)) {
                Hide();
                SetControl(nullptr);
            } else {
                Start(kCheckTimer, 100);
            }
            break;
        }
        default:
            break;
        }
        return 0;
    }
};

THintState& State()
{
    // Never freed: windows must not be destroyed while the program ends.
    static THintState* state = new THintState;
    return *state;
}

// The control of ours at a screen point: the windowed control whose window
// is there, or a windowless child of it.
TControl* ControlAtPoint(POINT screen, POINT& client)
{
    HWND w = WindowFromPoint(screen);
    TWinControl* wc = nullptr;
    for (HWND h = w; h && !wc; h = GetParent(h))
        wc = TWinControl::FromHandle(h);
    if (!wc)
        return nullptr;
    client = screen;
    ScreenToClient(wc->Handle(), &client);
    if (TControl* g = wc->GraphicControlAt(client)) {
        client.x -= g->Left();
        client.y -= g->Top();
        return g;
    }
    return wc;
}

}  // namespace

THintWindow* ApplicationHintWindow()
{
    return State().window.get();
}

void TApplication::SetHint(const std::string& hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    if (OnHint)
        OnHint(nullptr);
}

void TApplication::CancelHint()
{
    State().Reset();
}

void TApplication::HintMouseMessage(TControl* control, POINT clientPoint)
{
    THintState& s = State();
    std::string hint = GetControlHint(control);
    SetHint(GetLongHint(hint));
    if (!ShowHint || !control || !control->ShowHint() || (hint.empty() && !control->HasOwnHints())) {
        s.Reset();
        return;
    }
    POINT screen = control->ClientToScreen(clientPoint);
    s.mouse = screen;
    if (control == s.control && s.ControlAlive()) {
        // Still on the same control: a hint waited for keeps waiting; a
        // shown one (or one that timed out or was refused) stays as it is
        // while the cursor is in the rectangle the control gave it.
        if ((!s.shown && !s.asked) || PtInRect(&s.cursorRect, screen))
            return;
    }
    bool wasShown = s.shown;
    s.Hide();
    s.SetControl(control);
    int pause = wasShown ? HintShortPause : HintPause;
    std::weak_ptr<void> alive = control->AliveToken();
    control->HintShowPause(wasShown, pause);
    if (alive.expired()) {
        s.SetControl(nullptr);
        return;
    }
    s.Start(kShowTimer, pause);
}

void TApplication::ActivateHint(POINT screenPoint)
{
    THintState& s = State();
    if (s.HandleAllocated())
        KillTimer(s.Handle(), kShowTimer);
    POINT client{};
    TControl* control = ControlAtPoint(screenPoint, client);
    if (!ShowHint || !control) {
        s.Reset();
        return;
    }
    s.Hide();
    s.SetControl(control);
    THintInfo info;
    info.HintControl = control;
    info.HintPos = POINT{screenPoint.x, screenPoint.y + GetSystemMetrics(SM_CYCURSOR) * 5 / 8};
    info.HintMaxWidth = GetSystemMetrics(SM_CXSCREEN);
    info.HintColor = GetSysColor(COLOR_INFOBK);
    info.CursorRect = control->ClientRect();
    info.CursorPos = client;
    info.HintStr = GetShortHint(GetControlHint(control));
    info.HideTimeout = HintHidePause;
    std::weak_ptr<void> alive = control->AliveToken();
    bool show = control->HintShow(info);
    if (alive.expired()) {
        s.SetControl(nullptr);
        return;
    }
    s.asked = true;
    POINT tl = control->ClientToScreen(POINT{info.CursorRect.left, info.CursorRect.top});
    POINT br = control->ClientToScreen(POINT{info.CursorRect.right, info.CursorRect.bottom});
    s.cursorRect = RECT{tl.x, tl.y, br.x, br.y};
    if (!show || info.HintStr.empty())
        return;
    if (control->ShowOwnHint(info)) {
        // A hint window may run the message loop while it shows itself.
        if (alive.expired()) {
            s.SetControl(nullptr);
            return;
        }
        if (s.control != control)
            return;
        s.ownWindow = true;
        s.shown = true;
        if (info.HideTimeout > 0)
            s.Start(kHideTimer, info.HideTimeout);
        s.Start(kCheckTimer, 100);
        return;
    }
    if (!s.window)
        s.window = std::make_unique<THintWindow>(nullptr);
    s.window->SetColor(info.HintColor);
    RECT r = s.window->CalcHintRect(info.HintMaxWidth, info.HintStr);
    OffsetRect(&r, info.HintPos.x, info.HintPos.y);
    s.window->ActivateHint(r, info.HintStr);
    s.shown = true;
    if (info.HideTimeout > 0)
        s.Start(kHideTimer, info.HideTimeout);
    s.Start(kCheckTimer, 100);
}

void HintHandleMessage(const MSG& msg)
{
    switch (msg.message) {
    case WM_MOUSEMOVE: {
        TWinControl* wc = TWinControl::FromHandle(msg.hwnd);
        if (!wc) {
            // Not one of ours (a system window): no hint there.
            if (State().control)
                Application().CancelHint();
            return;
        }
        POINT p = {GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
        TControl* target = wc;
        if (TControl* g = wc->GraphicControlAt(p)) {
            p.x -= g->Left();
            p.y -= g->Top();
            target = g;
        }
        Application().HintMouseMessage(target, p);
        return;
    }
    case WM_NCMOUSEMOVE:
    case WM_MOUSELEAVE: {
        // The mouse left for a caption, a menu bar or a window not ours:
        // the hint of what it was over goes from the status bar.
        POINT screen, client;
        GetCursorPos(&screen);
        if (msg.message == WM_NCMOUSEMOVE || !ControlAtPoint(screen, client)) {
            if (State().shown || State().control)
                Application().CancelHint();
            Application().SetHint(std::string());
        }
        return;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_MOUSEWHEEL:
        if (State().shown || State().control)
            Application().CancelHint();
        return;
    default:
        return;
    }
}

// ---------------------------------------------------------------------------
// Help

bool TApplication::HelpContext(int context)
{
    return HelpCommand(HELP_CONTEXT, static_cast<ULONG_PTR>(context));
}

bool TApplication::HelpCommand(UINT command, ULONG_PTR data)
{
    if (!OnHelp)
        return false;
    return OnHelp(command, data);
}
