#include "platform/Form.h"

#include "platform/Application.h"
#include "platform/ControlMessages.h"
#include "platform/Firewall.h"
#include "platform/Screen.h"
#include "platform/StdCtrls.h"

namespace {

// The window styles of a border style and its border icons.
void FormBorderStyles(TFormBorderStyle border, TBorderIcons icons, DWORD& style, DWORD& exStyle)
{
    style = 0;
    exStyle = 0;
    switch (border) {
    case TFormBorderStyle::bsNone:
        style = WS_POPUP;
        icons = 0;
        break;
    case TFormBorderStyle::bsSingle:
        style = WS_CAPTION;
        break;
    case TFormBorderStyle::bsSizeable:
        style = WS_CAPTION | WS_THICKFRAME;
        break;
    case TFormBorderStyle::bsDialog:
        style = WS_POPUP | WS_CAPTION;
        exStyle = WS_EX_DLGMODALFRAME;
        icons &= biSystemMenu | biHelp;
        break;
    case TFormBorderStyle::bsToolWindow:
        style = WS_CAPTION;
        exStyle = WS_EX_TOOLWINDOW;
        icons &= biSystemMenu;
        break;
    case TFormBorderStyle::bsSizeToolWin:
        style = WS_CAPTION | WS_THICKFRAME;
        exStyle = WS_EX_TOOLWINDOW;
        icons &= biSystemMenu;
        break;
    }
    if (icons & biSystemMenu) {
        style |= WS_SYSMENU;
        if (icons & biMinimize)
            style |= WS_MINIMIZEBOX;
        if (icons & biMaximize)
            style |= WS_MAXIMIZEBOX;
        if ((icons & biHelp) && !(icons & (biMinimize | biMaximize)))
            exStyle |= WS_EX_CONTEXTHELP;
    }
}

// Sends the message to every windowed control under parent, parents
// before their children; a control freed on the way ends its branch.
void BroadcastToControls(TWinControl* parent, UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::vector<TWinControl*> list;
    for (int i = 0; i < parent->ControlCount(); ++i)
        if (auto* w = dynamic_cast<TWinControl*>(parent->Controls(i)))
            list.push_back(w);
    std::vector<std::weak_ptr<void>> alive;
    for (TWinControl* w : list)
        alive.push_back(w->AliveToken());
    for (size_t i = 0; i < list.size(); ++i) {
        if (alive[i].expired())
            continue;
        if (list[i]->HandleAllocated())
            list[i]->Perform(msg, wParam, lParam);
        if (!alive[i].expired())
            BroadcastToControls(list[i], msg, wParam, lParam);
    }
}

}  // namespace

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
    DoDestroy();
    Screen().RemoveForm(this);
    Destroying();
    DestroyComponents();
    if (Application().MainForm() == this)
        Application().SetMainForm(nullptr);
}

void TForm::CreateParams(TCreateParams& params)
{
    params.className = L"BrenixForm";
    DWORD border = 0, borderEx = 0;
    FormBorderStyles(borderStyle_, borderIcons_, border, borderEx);
    params.style = border | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    params.exStyle = (formStyle_ == TFormStyle::fsStayOnTop ? WS_EX_TOPMOST : 0) | borderEx;
    params.icon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
    params.parentWindow = Application().Handle();
    if (params.x == CW_USEDEFAULT || position_ == TPosition::poScreenCenter ||
        position_ == TPosition::poDesktopCenter) {
        // Centred on the screen the first time.
        params.x = (GetSystemMetrics(SM_CXSCREEN) - params.width) / 2;
        params.y = (GetSystemMetrics(SM_CYSCREEN) - params.height) / 2;
    }
}

void TForm::SetBorderStyle(TFormBorderStyle style)
{
    if (style == borderStyle_)
        return;
    borderStyle_ = style;
    ApplyBorder();
}

void TForm::SetBorderIcons(TBorderIcons icons)
{
    if (icons == borderIcons_)
        return;
    borderIcons_ = icons;
    ApplyBorder();
}

void TForm::ApplyBorder()
{
    if (!HandleAllocated())
        return;
    HWND h = Handle();
    DWORD border = 0, borderEx = 0;
    FormBorderStyles(borderStyle_, borderIcons_, border, borderEx);
    const DWORD styleMask = WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    const DWORD exMask = WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME | WS_EX_CONTEXTHELP;
    DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
    DWORD ex = static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE));
    SetWindowLongW(h, GWL_STYLE, static_cast<LONG>((style & ~styleMask) | border));
    SetWindowLongW(h, GWL_EXSTYLE, static_cast<LONG>((ex & ~exMask) | borderEx));
    SetWindowPos(h, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TForm::DoDestroy()
{
    if (destroyDone_)
        return;
    destroyDone_ = true;
    if (OnDestroy) {
        // The form is going: a failing handler is reported, not thrown.
        try {
            OnDestroy(this);
        } catch (...) {
            HandleCurrentException();
        }
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
    TWindowState asked = windowState_;
    ShowWindow(h, cmd);
    // OnShow (from WM_SHOWWINDOW) may have asked for another state.
    if (windowState_ != asked)
        SetWindowState(windowState_);
    if (windowState_ != TWindowState::wsMinimized)
        SetForegroundWindow(h);
}

void TForm::Close()
{
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
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
        // The menu key (Alt, F10, Alt+letter) goes to the application's
        // hooks first: toolbars acting as menus take it there.
        if ((m.WParam & 0xFFF0) == SC_KEYMENU) {
            HWND app = Application().Handle();
            if (app && SendMessageW(app, CM_APPSYSCOMMAND, m.WParam, m.LParam) != 0) {
                m.Result = 0;
                return;
            }
        }
        break;
    case WM_SETTINGCHANGE: {
        // Every windowed control hears of it (fonts, metrics, colours).
        std::weak_ptr<void> alive = AliveToken();
        BroadcastToControls(this, CM_WININICHANGE, m.WParam, m.LParam);
        if (alive.expired())
            return;
        break;
    }
    case WM_SYSCOLORCHANGE: {
        std::weak_ptr<void> alive = AliveToken();
        BroadcastToControls(this, CM_SYSCOLORCHANGE, m.WParam, m.LParam);
        if (alive.expired())
            return;
        break;
    }
    case WM_CANCELMODE: {
        // The control that holds the mouse, or has the focus, is told too:
        // a press or a menu it tracks ends.
        std::weak_ptr<void> alive = AliveToken();
        TWinControl* target = nullptr;
        if (HWND cap = GetCapture(); cap && cap != Handle())
            target = FromHandle(cap);
        if (!target || target->ParentForm() != this)
            target = ActiveControl();
        if (target && target != this)
            target->Perform(WM_CANCELMODE, 0, 0);
        if (alive.expired())
            return;
        break;
    }
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
