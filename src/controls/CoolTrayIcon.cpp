#include "controls/CoolTrayIcon.h"

#include <shlwapi.h>

#include <algorithm>
#include <set>

#include "controls/SimpleTimer.h"
#include "platform/Application.h"
#include "platform/Control.h"
#include "platform/Firewall.h"
#include "platform/Form.h"
#include "platform/HiddenWindow.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"
#include "platform/Text.h"
#include "platform/WindowSubclass.h"

namespace {

// The shell-5 layout of the notify record (no GUID field).
const DWORD kRecordSize = NOTIFYICONDATAW_V2_SIZE;
const UINT kBaseFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

TCoolTrayIcon::TShellObserver g_observer;

// "TaskbarCreated" is registered once, when the common controls are 4.71 or later.
UINT TaskbarCreatedMessage()
{
    static UINT message = [] {
        HMODULE lib = LoadLibraryW(L"comctl32.dll");
        bool recent = false;
        if (lib) {
            auto get = reinterpret_cast<DLLGETVERSIONPROC>(
                reinterpret_cast<void*>(GetProcAddress(lib, "DllGetVersion")));
            DLLVERSIONINFO info = {};
            info.cbSize = sizeof info;
            if (get && SUCCEEDED(get(&info)))
                recent = info.dwMajorVersion > 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion >= 71);
            FreeLibrary(lib);
        }
        return recent ? RegisterWindowMessageW(L"TaskbarCreated") : 0u;
    }();
    return message;
}

// Copies UTF-8 text into a fixed field, cut to `maxChars` characters (a
// surrogate pair is never split) and zero-terminated.
template <size_t N>
void CopyField(wchar_t (&field)[N], const std::string& text, size_t maxChars)
{
    std::wstring w = Utf8ToWide(text);
    if (maxChars > N - 1)
        maxChars = N - 1;
    if (w.size() > maxChars) {
        size_t n = maxChars;
        if (n > 0 && w[n - 1] >= 0xD800 && w[n - 1] <= 0xDBFF)
            --n;
        w.resize(n);
    }
    std::fill(std::begin(field), std::end(field), L'\0');
    std::copy(w.begin(), w.end(), field);
}

}  // namespace

class TTrayIconHandler : public THiddenWindow {
public:
    TTrayIconHandler() : THiddenWindow(false) { Handle(); }
    int RefCount = 0;
    std::set<TCoolTrayIcon*> icons;
    // Callbacks being handled right now (a popup pumps messages meanwhile).
    int Dispatching = 0;
    // The last icon went while a callback was being handled: this object is
    // freed once that handling is over.
    bool Orphaned = false;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        switch (msg) {
        case WM_TRAYNOTIFY: {
            auto* icon = reinterpret_cast<TCoolTrayIcon*>(wParam);
            // Only icons that still exist: a callback queued before an icon
            // was freed is dropped.
            if (!icons.count(icon))
                return 0;
            ++Dispatching;
            try {
                icon->HandleTrayMessage(lParam);
            } catch (...) {
                // Reported here: this object may be gone before the window
                // procedure gets control back.
                HandleCurrentException();
            }
            --Dispatching;
            if (Orphaned && Dispatching == 0)
                delete this;   // nothing touches it after this return
            return 0;
        }
        case WM_CLOSE:
        case WM_QUIT:
        case WM_DESTROY:
        case WM_NCDESTROY:
        case WM_QUERYENDSESSION:
        case WM_ENDSESSION:
            return 1;
        default:
            return THiddenWindow::WndProc(msg, wParam, lParam);
        }
    }
};

namespace {

TTrayIconHandler* g_trayHandler = nullptr;

struct TrayCleanup {
    ~TrayCleanup()
    {
        delete g_trayHandler;
        g_trayHandler = nullptr;
    }
} g_trayCleanup;

void AcquireTrayHandler(TCoolTrayIcon* icon)
{
    if (!g_trayHandler)
        g_trayHandler = new TTrayIconHandler();
    ++g_trayHandler->RefCount;
    g_trayHandler->icons.insert(icon);
}

void ReleaseTrayHandler(TCoolTrayIcon* icon)
{
    if (!g_trayHandler)
        return;
    g_trayHandler->icons.erase(icon);
    if (g_trayHandler->RefCount > 0)
        --g_trayHandler->RefCount;
    if (g_trayHandler->RefCount == 0) {
        if (g_trayHandler->Dispatching > 0)
            g_trayHandler->Orphaned = true;   // freed when its callback returns
        else
            delete g_trayHandler;
        g_trayHandler = nullptr;
    }
}

}  // namespace

HWND TCoolTrayIcon::HandlerWindow() { return g_trayHandler ? g_trayHandler->Handle() : nullptr; }

void TCoolTrayIcon::SetShellObserver(TShellObserver observer) { g_observer = std::move(observer); }

TCoolTrayIcon::TCoolTrayIcon(TComponent* owner) : TComponent(owner)
{
    AcquireTrayHandler(this);
    iconIdent_ = static_cast<UINT>(reinterpret_cast<UINT_PTR>(this));
    icon_.OnChange = [this] { IconChanged(); };
    listLink_ = std::make_unique<TChangeLink>();
    listLink_->OnChange = [this](TObject*) { ListChanged(); };
    record_ = NOTIFYICONDATAW{};
    record_.cbSize = kRecordSize;
    record_.hWnd = g_trayHandler->Handle();
    record_.uID = iconIdent_;
    record_.uFlags = kBaseFlags;
    record_.uCallbackMessage = WM_TRAYNOTIFY;
    try {
        cycleTimer_ = new TSimpleTimer();
        cycleTimer_->SetOnTimer([this](TObject*) { CycleTimerTick(); });
        clickTimer_ = new TSimpleTimer();
        clickTimer_->SetOnTimer([this](TObject*) { ClickTimerTick(); });
        exitTimer_ = TSimpleTimer::CreateEx(20, [this](TObject*) { ExitTimerTick(); });
    } catch (...) {
        // No timer window: the icon is not made, and leaves nothing behind.
        delete cycleTimer_;
        delete clickTimer_;
        ReleaseTrayHandler(this);
        throw;
    }
    mouseAway_ = true;
    TaskbarCreatedMessage();
    appHookId_ = Application().HookMainWindow(
        [this](UINT msg, WPARAM w, LPARAM l, LRESULT&) { return AppWindowHook(msg, w, l); });
    if (auto* form = dynamic_cast<TWinControl*>(owner)) {
        // An owner that cannot have a window yet (a child without a parent)
        // is not hooked; the icon still works without it.
        ownerWindow_ = Guarded<HWND>(nullptr, [form] { return form->Handle(); });
        if (ownerWindow_)
            ownerHookId_ = HookWindowProc(ownerWindow_, [this](HWND h, UINT msg, WPARAM w, LPARAM l,
                                                           const TSubclassNext& next) {
                bool handled = false;
                LRESULT r = OwnerFormProc(h, msg, w, l, handled);
                return handled ? r : next(msg, w, l);
            });
    }
}

TCoolTrayIcon::~TCoolTrayIcon()
{
    try {
        HideIcon();
        delete cycleTimer_;
        delete clickTimer_;
        delete exitTimer_;
        cycleTimer_ = clickTimer_ = exitTimer_ = nullptr;
        icon_.OnChange = nullptr;
        FreeCycleImages();
    } catch (...) {
    }
    if (appHookId_)
        Application().UnhookMainWindow(appHookId_);
    // The owner's window may be gone already: then there is nothing to undo,
    // and it is never made again just for this.
    if (ownerHookId_)
        UnhookWindowProc(ownerWindow_, ownerHookId_);
    ReleaseTrayHandler(this);
}

bool TCoolTrayIcon::OwnerIsWindowed() const { return dynamic_cast<TWinControl*>(Owner()) != nullptr; }

// --- the shell ---

bool TCoolTrayIcon::InitIcon()
{
    if (IsDesigning() && !previewChanging_ && !designPreview_)
        return false;
    record_.hIcon = icon_.Handle();
    if (!hint_.empty() && showHint_)
        CopyField(record_.szTip, hint_, 127);
    else
        std::fill(std::begin(record_.szTip), std::end(record_.szTip), L'\0');
    return true;
}

bool TCoolTrayIcon::Notify(DWORD message)
{
    BOOL ok = Shell_NotifyIconW(message, &record_);
    if (g_observer)
        g_observer(message, record_, ok);
    return ok != FALSE;
}

bool TCoolTrayIcon::ShowIcon()
{
    bool ok = InitIcon() && Notify(NIM_ADD);
    if (!previewChanging_)
        iconVisible_ = true;
    return ok;
}

bool TCoolTrayIcon::HideIcon()
{
    bool ok = InitIcon() && Notify(NIM_DELETE);
    if (!previewChanging_)
        iconVisible_ = false;
    return ok;
}

bool TCoolTrayIcon::ModifyIcon() { return InitIcon() && Notify(NIM_MODIFY); }

void TCoolTrayIcon::SetIconVisible(bool visible)
{
    if (visible)
        ShowIcon();
    else
        HideIcon();
}

void TCoolTrayIcon::IconChanged() { ModifyIcon(); }

void TCoolTrayIcon::SetIcon(const TIcon& icon)
{
    auto saved = std::move(icon_.OnChange);
    icon_.OnChange = nullptr;
    icon_.Assign(icon);
    icon_.OnChange = std::move(saved);
    ModifyIcon();
}

void TCoolTrayIcon::SetHint(const std::string& hint)
{
    hint_ = hint;
    ModifyIcon();
}

void TCoolTrayIcon::SetShowHint(bool show)
{
    showHint_ = show;
    ModifyIcon();
}

void TCoolTrayIcon::SetIconIndex(int index)
{
    if (!iconList_) {
        iconIndex_ = 0;
    } else {
        int count = iconList_->Count();
        if (index >= count)
            index = count - 1;
        if (index < 0)
            index = 0;
        iconIndex_ = index;
        ShowImage(iconIndex_);
    }
    ModifyIcon();
}

void TCoolTrayIcon::ShowImage(int index)
{
    if (index >= 0 && static_cast<size_t>(index) < cycleImages_.size())
        icon_.ShareHandle(cycleImages_[index]);
    else if (iconList_)
        iconList_->GetIcon(index, icon_);
}

void TCoolTrayIcon::MakeCycleImages()
{
    if (!iconList_ || !cycleImages_.empty())
        return;
    const int count = iconList_->Count();
    for (int i = 0; i < count; ++i) {
        TIcon image;
        if (!iconList_->GetIcon(i, image)) {
            FreeCycleImages();   // each step copies its image then, as without these
            return;
        }
        cycleImages_.push_back(image.Handle());
        image.ReleaseHandle();
    }
}

void TCoolTrayIcon::FreeCycleImages()
{
    if (cycleImages_.empty())
        return;
    // Icon keeps the picture it shows, as its own copy: the same picture,
    // so the shell is not told again.
    if (icon_.Shared() &&
        std::find(cycleImages_.begin(), cycleImages_.end(), icon_.Handle()) != cycleImages_.end()) {
        auto onChange = std::move(icon_.OnChange);
        icon_.OnChange = nullptr;
        icon_.AssignHandle(icon_.Handle());
        icon_.OnChange = std::move(onChange);
    }
    for (HICON h : cycleImages_)
        DestroyIcon(h);
    cycleImages_.clear();
}

void TCoolTrayIcon::ListChanged()
{
    FreeCycleImages();
    if (cycleIcons_)
        MakeCycleImages();
}

void TCoolTrayIcon::SetIconList(TCustomImageList* list)
{
    if (iconList_ && iconList_ != list) {
        RemoveFreeNotification(iconList_);
        iconList_->UnRegisterChanges(listLink_.get());
    }
    FreeCycleImages();
    iconList_ = list;
    if (list) {
        FreeNotification(list);
        list->RegisterChanges(listLink_.get());
    }
    if (cycleIcons_)
        MakeCycleImages();
    SetIconIndex(0);
}

void TCoolTrayIcon::SetPopupMenu(TPopupMenu* menu)
{
    if (popupMenu_ && popupMenu_ != menu)
        RemoveFreeNotification(popupMenu_);
    popupMenu_ = menu;
    if (menu)
        FreeNotification(menu);
}

void TCoolTrayIcon::SetCycleIcons(bool cycle)
{
    cycleIcons_ = cycle;
    if (cycle) {
        MakeCycleImages();
        SetIconIndex(0);
        cycleTimer_->SetInterval(cycleInterval_);
        cycleTimer_->SetEnabled(true);
    } else {
        cycleTimer_->SetEnabled(false);
        FreeCycleImages();
    }
}

void TCoolTrayIcon::SetCycleInterval(DWORD interval)
{
    cycleInterval_ = interval;
    SetCycleIcons(cycleIcons_);
}

void TCoolTrayIcon::SetWantEnterExitEvents(bool want)
{
    wantEnterExit_ = want;
    exitTimer_->SetEnabled(want);
}

void TCoolTrayIcon::SetNotifyVersion(int version)
{
    notifyVersion_ = version ? 1 : 0;
    record_.uVersion = notifyVersion_ ? 3 : 0;
    Notify(NIM_SETVERSION);
}

bool TCoolTrayIcon::HideBalloonHint()
{
    record_.uFlags |= NIF_INFO;
    std::fill(std::begin(record_.szInfo), std::end(record_.szInfo), L'\0');
    bool ok = ModifyIcon();
    record_.uFlags = kBaseFlags;
    return ok;
}

bool TCoolTrayIcon::ShowBalloonHint(const std::string& title, const std::string& text, int iconType,
                                    BYTE timeoutSecs)
{
    HideBalloonHint();
    record_.uFlags = kBaseFlags | NIF_INFO;
    CopyField(record_.szInfo, text, 255);
    CopyField(record_.szInfoTitle, title, 63);
    record_.uTimeout = static_cast<UINT>(timeoutSecs) * 1000;
    record_.dwInfoFlags = (iconType >= 0 && iconType <= 3) ? static_cast<DWORD>(iconType) : 0;
    bool ok = ModifyIcon();
    record_.uFlags = kBaseFlags;
    return ok;
}

// --- the main form ---

void TCoolTrayIcon::ShowMainForm()
{
    TForm* form = Application().MainForm();
    if (!OwnerIsWindowed() || !form)
        return;
    Application().Restore();
    if (form->WindowState() == TWindowState::wsMinimized)
        form->SetWindowState(TWindowState::wsNormal);
    form->Show();
    Application().BringToFront();
}

void TCoolTrayIcon::HideMainForm()
{
    TForm* form = Application().MainForm();
    if (!OwnerIsWindowed() || !form)
        return;
    form->Hide();
    HideTaskbarIcon();
}

void TCoolTrayIcon::HideTaskbarIcon() { Application().HideApplicationWindow(); }

void TCoolTrayIcon::DoMinimizeToTray()
{
    std::weak_ptr<void> alive = AliveToken();
    HideMainForm();
    if (!alive.expired())
        SetIconVisible(true);
}

bool TCoolTrayIcon::TryMinimizeToTray()
{
    if (!minimizeToTray_ || !OnMinimizeToTray)
        return false;
    std::weak_ptr<void> alive = AliveToken();
    OnMinimizeToTray(this);
    if (!alive.expired())
        DoMinimizeToTray();
    return true;
}

void TCoolTrayIcon::Loaded()
{
    TComponent::Loaded();
    std::weak_ptr<void> alive = AliveToken();
    if (OwnerIsWindowed() && !IsDesigning()) {
        bool show = true;
        if (OnStartup)
            OnStartup(this, show);
        if (alive.expired())
            return;
        if (!show) {
            Application().ShowMainForm = false;
            HideMainForm();
        }
    }
    ModifyIcon();
    SetIconVisible(iconVisible_);
    SetCycleIcons(cycleIcons_);
    SetWantEnterExitEvents(wantEnterExit_);
    if (notifyVersion_)
        SetNotifyVersion(notifyVersion_);
}

void TCoolTrayIcon::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == iconList_) {
        FreeCycleImages();
        iconList_ = nullptr;
        iconIndex_ = 0;
    }
    if (component == popupMenu_)
        popupMenu_ = nullptr;
}

// --- events ---

void TCoolTrayIcon::Click()
{
    if (OnClick)
        OnClick(this);
}

void TCoolTrayIcon::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TCoolTrayIcon::CycleIcon(int nextIndex)
{
    if (OnCycle)
        OnCycle(this, nextIndex);
}

void TCoolTrayIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TCoolTrayIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TCoolTrayIcon::MouseMove(TShiftState shift, int x, int y)
{
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
}

void TCoolTrayIcon::MouseEnter()
{
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TCoolTrayIcon::MouseExit()
{
    if (OnMouseExit)
        OnMouseExit(this);
}

// --- the shell's callbacks ---

void TCoolTrayIcon::HandleTrayMessage(LPARAM code)
{
    std::weak_ptr<void> alive = AliveToken();
    auto gone = [&] { return alive.expired(); };
    switch (code) {
    case NIN_BALLOONSHOW:
        if (OnBalloonHintShow)
            OnBalloonHintShow(this);
        return;
    case NIN_BALLOONHIDE:
        if (OnBalloonHintHide)
            OnBalloonHintHide(this);
        return;
    case NIN_BALLOONTIMEOUT:
        if (OnBalloonHintTimeout)
            OnBalloonHintTimeout(this);
        return;
    case NIN_BALLOONUSERCLICK:
        if (OnBalloonHintClick)
            OnBalloonHintClick(this);
        return;
    default:
        break;
    }
    if (!enabled_)
        return;
    POINT p = {0, 0};
    GetCursorPos(&p);
    TShiftState shift = GetShiftKeys();
    switch (code) {
    case WM_MOUSEMOVE:
        if (wantEnterExit_ && mouseAway_) {
            MouseEnter();
            if (gone())
                return;
            mouseAway_ = false;
        }
        MouseMove(shift, p.x, p.y);
        if (gone())
            return;
        lastMovePos_ = p;
        break;
    case WM_LBUTTONDOWN:
        if (OnDblClick) {
            clickTimer_->SetInterval(GetDoubleClickTime());
            clickTimer_->SetEnabled(true);
        }
        MouseDown(TMouseButton::mbLeft, shift | ssLeft, p.x, p.y);
        if (gone())
            return;
        leftDownPending_ = true;
        if (leftPopup_)
            PopupAtCursor();
        break;
    case WM_LBUTTONUP:
        if (leftDownPending_)
            clickPending_ = true;
        if (leftDownPending_ && !clickTimer_->Enabled()) {
            leftDownPending_ = false;
            clickPending_ = false;
            Click();
            if (gone())
                return;
        }
        leftDownPending_ = false;
        MouseUp(TMouseButton::mbLeft, shift | ssLeft, p.x, p.y);
        break;
    case WM_LBUTTONDBLCLK:
        clickPending_ = false;
        doubleClicked_ = true;
        DblClick();
        if (gone())
            return;
        if (popupMenu_ && popupMenu_->AutoPopup && !leftPopup_) {
            TMenuItem& items = popupMenu_->Items();
            for (int i = 0; i < items.Count(); ++i)
                if (items.Items(i)->Default) {
                    items.Items(i)->Click();
                    break;
                }
        }
        break;
    case WM_RBUTTONDOWN:
        MouseDown(TMouseButton::mbRight, shift | ssRight, p.x, p.y);
        if (gone())
            return;
        PopupAtCursor();
        break;
    case WM_RBUTTONUP:
        if (notifyVersion_ == 0)
            MouseUp(TMouseButton::mbRight, shift | ssRight, p.x, p.y);
        break;
    case WM_CONTEXTMENU:
    case NIN_SELECT:
    case NIN_KEYSELECT:
        if (notifyVersion_ == 1)
            MouseUp(TMouseButton::mbRight, shift | ssRight, p.x, p.y);
        break;
    case WM_MBUTTONDOWN:
        MouseDown(TMouseButton::mbMiddle, shift | ssMiddle, p.x, p.y);
        break;
    case WM_MBUTTONUP:
        MouseUp(TMouseButton::mbMiddle, shift | ssMiddle, p.x, p.y);
        break;
    default:
        break;
    }
}

void TCoolTrayIcon::PopupAtCursor()
{
    // The popup pumps messages; a second tray message arriving meanwhile must
    // not open another one on top of it.
    if (inPopup_ || !popupMenu_ || !popupMenu_->AutoPopup)
        return;
    POINT p;
    if (!GetCursorPos(&p))
        return;
    std::weak_ptr<void> alive = AliveToken();
    // Cleared however the popup ends (a failing menu handler included), so
    // the icon's menu keeps opening afterwards.
    struct PopupMark {
        TCoolTrayIcon* icon;
        std::weak_ptr<void> alive;
        ~PopupMark()
        {
            if (!alive.expired())
                icon->inPopup_ = false;
        }
    } mark{this, alive};
    inPopup_ = true;
    SetForegroundWindow(Application().Handle());
    Application().ProcessMessages();
    if (alive.expired())
        return;
    if (popupMenu_ && !Application().Terminated()) {
        popupMenu_->PopupComponent = this;
        popupMenu_->Popup(p.x, p.y);
        if (alive.expired())
            return;
    }
    if (OwnerIsWindowed() && ownerWindow_ && IsWindow(ownerWindow_))
        PostMessageW(ownerWindow_, WM_NULL, 0, 0);
}

void TCoolTrayIcon::CycleTimerTick()
{
    if (!iconList_)
        return;
    std::weak_ptr<void> alive = AliveToken();
    ShowImage(iconIndex_);
    int count = iconList_->Count();
    int next = iconIndex_ >= count - 1 ? 0 : iconIndex_ + 1;
    CycleIcon(next);
    if (!alive.expired())
        SetIconIndex(next);
}

void TCoolTrayIcon::ClickTimerTick()
{
    clickTimer_->SetEnabled(false);
    if (!doubleClicked_ && clickPending_) {
        clickPending_ = false;
        std::weak_ptr<void> alive = AliveToken();
        Click();
        if (alive.expired())
            return;
    }
    doubleClicked_ = false;
}

void TCoolTrayIcon::ExitTimerTick()
{
    if (mouseAway_)
        return;
    POINT p;
    if (!GetCursorPos(&p))
        return;
    if (p.x != lastMovePos_.x || p.y != lastMovePos_.y) {
        mouseAway_ = true;
        MouseExit();
    }
}

// --- hooks ---

bool TCoolTrayIcon::AppWindowHook(UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_SIZE && wParam == SIZE_MINIMIZED) {
        if (minimizeToTray_)
            DoMinimizeToTray();
    } else if (msg == WM_WINDOWPOSCHANGED && startupCheckPending_ && Application().MainForm()) {
        if (Application().MainForm()->FormStyle() == TFormStyle::fsMDIForm) {
            bool show = true;
            std::weak_ptr<void> alive = AliveToken();
            if (OnStartup)
                OnStartup(this, show);
            if (alive.expired())
                return false;
            if (!show)
                HideTaskbarIcon();
        }
        startupCheckPending_ = false;
    } else if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE) {
        if (TForm* form = Application().MainForm())
            form->Show();
    } else if (msg != 0 && msg == TaskbarCreatedMessage()) {
        if (iconVisible_)
            ShowIcon();
    }
    return false;
}

LRESULT TCoolTrayIcon::OwnerFormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, bool& handled)
{
    (void)hwnd;
    if (msg == WM_SHOWWINDOW && wParam == 1 && lParam == 0) {
        SetForegroundWindow(Application().Handle());
        if (ownerWindow_)
            SetForegroundWindow(ownerWindow_);
        return 0;
    }
    bool minimising = (msg == WM_SHOWWINDOW && wParam == 0 && lParam == SW_PARENTCLOSING &&
                       !Application().Terminated()) ||
                      (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MINIMIZE);
    if (minimising && TryMinimizeToTray()) {
        handled = true;
        return 1;
    }
    return 0;
}
