#include "platform/Form.h"

#include "platform/Application.h"
#include "platform/Screen.h"
#include "platform/StdCtrls.h"

TForm::TForm(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    left_ = CW_USEDEFAULT;
    top_ = CW_USEDEFAULT;
    width_ = 640;
    height_ = 480;
    SetVisible(false);
    Screen().AddForm(this);
}

TForm::~TForm()
{
    Screen().RemoveForm(this);
    Destroying();
    DestroyComponents();
    if (Application().MainForm() == this)
        Application().SetMainForm(nullptr);
}

void TForm::CreateParams(TCreateParams& params)
{
    params.className = L"BrenixForm";
    params.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    params.exStyle = formStyle_ == TFormStyle::fsStayOnTop ? WS_EX_TOPMOST : 0;
    params.icon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
    params.parentWindow = Application().Handle();
    if (params.x == CW_USEDEFAULT) {
        // Centred on the screen the first time.
        params.x = (GetSystemMetrics(SM_CXSCREEN) - params.width) / 2;
        params.y = (GetSystemMetrics(SM_CYSCREEN) - params.height) / 2;
    }
}

TWindowState TForm::WindowState() const
{
    if (HandleAllocated()) {
        HWND h = const_cast<TForm*>(this)->Handle();
        if (IsIconic(h))
            return TWindowState::wsMinimized;
        if (IsZoomed(h))
            return TWindowState::wsMaximized;
        if (IsWindowVisible(h))
            return TWindowState::wsNormal;
    }
    return windowState_;
}

void TForm::SetWindowState(TWindowState state)
{
    windowState_ = state;
    if (HandleAllocated() && IsWindowVisible(Handle())) {
        int cmd = state == TWindowState::wsMinimized   ? SW_MINIMIZE
                  : state == TWindowState::wsMaximized ? SW_MAXIMIZE
                                                       : SW_RESTORE;
        ShowWindow(Handle(), cmd);
    }
}

void TForm::SetFormStyle(TFormStyle style)
{
    if (style == formStyle_)
        return;
    formStyle_ = style;
    if (HandleAllocated())
        SetWindowPos(Handle(), style == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm::VisibleChanged()
{
    if (!Visible()) {
        if (HandleAllocated())
            ShowWindow(Handle(), SW_HIDE);
        return;
    }
    HWND h = Handle();
    if (Application().MainForm() == this)
        Application().ShowApplicationWindow();
    int cmd = windowState_ == TWindowState::wsMinimized   ? SW_SHOWMINIMIZED
              : windowState_ == TWindowState::wsMaximized ? SW_SHOWMAXIMIZED
                                                          : SW_SHOW;
    ShowWindow(h, cmd);
    if (windowState_ != TWindowState::wsMinimized)
        SetForegroundWindow(h);
}

void TForm::Close()
{
    std::weak_ptr<void> alive = AliveToken();
    bool canClose = true;
    if (OnCloseQuery)
        OnCloseQuery(this, canClose);
    if (!canClose || alive.expired())
        return;
    bool isMain = Application().MainForm() == this;
    TCloseAction action = isMain ? TCloseAction::caFree : TCloseAction::caHide;
    if (OnClose)
        OnClose(this, action);
    if (alive.expired() || action == TCloseAction::caNone)
        return;
    if (isMain) {
        Hide();
        Application().Terminate();
        return;
    }
    switch (action) {
    case TCloseAction::caHide:
        Hide();
        break;
    case TCloseAction::caMinimize:
        SetWindowState(TWindowState::wsMinimized);
        break;
    case TCloseAction::caFree:
        Hide();
        Release();
        break;
    default:
        break;
    }
}

void TForm::Release() { Application().ReleaseLater(this); }

bool TForm::DialogKey(WORD key, TShiftState shift)
{
    if (key == VK_TAB && !(shift & (ssCtrl | ssAlt))) {
        SelectNext(ActiveControl(), !(shift & ssShift), true);
        return true;
    }
    if (key == VK_RETURN && !(shift & (ssCtrl | ssAlt))) {
        if (auto* button = dynamic_cast<TButton*>(ActiveControl())) {
            button->Click();
            return true;
        }
    }
    return TWinControl::DialogKey(key, shift);
}

void TForm::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_CLOSE:
        Close();
        m.Result = 0;
        return;
    case WM_SYSCOMMAND:
        // The main form minimises the whole application (its taskbar button
        // belongs to the application window).
        if ((m.WParam & 0xFFF0) == SC_MINIMIZE && Application().MainForm() == this) {
            Application().Minimize();
            m.Result = 0;
            return;
        }
        break;
    case WM_SHOWWINDOW: {
        std::weak_ptr<void> alive = AliveToken();
        TWinControl::WndProc(m);
        if (alive.expired())
            return;
        if (m.WParam && OnShow)
            OnShow(this);
        else if (!m.WParam && OnHide)
            OnHide(this);
        return;
    }
    default:
        break;
    }
    TWinControl::WndProc(m);
}
