#include "platform/Application.h"

#include <ole2.h>

#include "platform/Component.h"
#include "platform/Firewall.h"
#include "platform/Form.h"
#include "platform/Hints.h"
#include "platform/Text.h"

namespace {
// Posted to the application window: free what ReleaseLater collected.
const UINT kReleaseMessage = WM_APP + 0x3A0;
// Posted to the application window by a worker thread: wParam is the number
// of an error text waiting in postedErrors_.
const UINT kPostedErrorMessage = WM_APP + 0x3A1;
}  // namespace

TApplication& TApplication::Instance()
{
    static TApplication app;
    return app;
}

void TApplication::Initialize()
{
    if (handle_)
        return;
    threadId_ = GetCurrentThreadId();
    // Drag and drop, the clipboard and the accessibility objects need OLE on
    // this thread; once for the program.
    if (!oleStarted_)
        oleStarted_ = SUCCEEDED(OleInitialize(nullptr));
    SetExceptionHandler([this](const std::string& message) { HandleException(message); });
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TApplication::AppWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, L"MAINICON");
    wc.lpszClassName = L"BrenixApplication";
    RegisterClassExW(&wc);
    // A zero-sized popup: it owns the main window's taskbar button.
    int cx = GetSystemMetrics(SM_CXSCREEN) / 2, cy = GetSystemMetrics(SM_CYSCREEN) / 2;
    handle_ = CreateWindowExW(0, wc.lpszClassName, Utf8ToWide(title_).c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              cx, cy, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    if (handle_)
        postedErrors_.Attach(handle_, kPostedErrorMessage);
}

void TApplication::SetTitle(const std::string& title)
{
    title_ = title;
    if (handle_)
        SetWindowTextW(handle_, Utf8ToWide(title).c_str());
}

HWND TApplication::MainFormHandle() const
{
    if (mainFormObject_ && mainFormObject_->HandleAllocated())
        return mainFormObject_->Handle();
    return mainForm_;
}

void TApplication::SetMainForm(TForm* form)
{
    mainFormObject_ = form;
    if (!form)
        mainForm_ = nullptr;
}

void TApplication::ShowApplicationWindow()
{
    if (handle_ && !IsWindowVisible(handle_))
        ShowWindow(handle_, SW_SHOWNOACTIVATE);
}

void TApplication::HideApplicationWindow()
{
    if (handle_ && IsWindowVisible(handle_))
        ShowWindow(handle_, SW_HIDE);
}

void TApplication::ReleaseLater(TComponent* component)
{
    if (!component)
        return;
    for (TComponent* c : released_)
        if (c == component)
            return;
    released_.push_back(component);
    releasedAlive_.push_back(component->AliveToken());
    if (handle_)
        PostMessageW(handle_, kReleaseMessage, 0, 0);
}

void TApplication::EndNestedLoop()
{
    if (nesting_ > 0)
        --nesting_;
    if (nesting_ == 0 && !released_.empty() && handle_)
        PostMessageW(handle_, kReleaseMessage, 0, 0);
}

void TApplication::FreeReleased()
{
    if (nesting_ > 0)
        return;
    std::vector<TComponent*> list;
    std::vector<std::weak_ptr<void>> alive;
    list.swap(released_);
    alive.swap(releasedAlive_);
    for (size_t i = 0; i < list.size(); ++i)
        if (!alive[i].expired())
            Guarded([&] { delete list[i]; });
}

bool TApplication::DispatchOne(MSG& msg)
{
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return false;
    }
    try {
        HintHandleMessage(msg);
        HWND active = GetActiveWindow();
        // Windows of our own forms route their dialog keys themselves.
        if (active && active != MainFormHandle() && !TWinControl::FromHandle(active) &&
            IsDialogMessageW(active, &msg))
            return true;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    } catch (...) {
        HandleCurrentException();
    }
    return true;
}

void TApplication::Run()
{
    if (!threadId_)
        threadId_ = GetCurrentThreadId();
    if (mainFormObject_ && ShowMainForm && !terminated_)
        mainFormObject_->Show();
    MSG msg;
    while (!terminated_) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Idle();
            if (terminated_)
                break;
            // Returns while anything is queued, seen before or not.
            MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            continue;
        }
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            break;
        }
        DispatchOne(msg);
    }
    // What was handed to ReleaseLater goes now that no loop stands on it.
    FreeReleased();
    RunLoopEndHandlers();
}

int TApplication::AddLoopEndHandler(std::function<void()> handler)
{
    int id = nextIdleId_++;
    loopEndHandlers_.push_back({id, std::move(handler)});
    return id;
}

void TApplication::RemoveLoopEndHandler(int id)
{
    for (auto it = loopEndHandlers_.begin(); it != loopEndHandlers_.end(); ++it)
        if (it->id == id) {
            loopEndHandlers_.erase(it);
            return;
        }
}

void TApplication::RunLoopEndHandlers()
{
    std::vector<IdleHandler> list;
    list.swap(loopEndHandlers_);
    for (const IdleHandler& h : list)
        if (h.fn)
            Guarded([&] { h.fn(); });
    // COM clients were let go above; the program's objects outlive OLE.
    if (oleStarted_) {
        oleStarted_ = false;
        OleUninitialize();
    }
}

void TApplication::ProcessMessages() { ProcessPending(PM_REMOVE); }

void TApplication::ProcessMessagesButInput()
{
    // Each message is handled inside a catch: nothing leaves the count raised.
    ++inputHold_;
    ProcessPending(PM_REMOVE);
    --inputHold_;
}

int TApplication::LiftInputHold()
{
    const int hold = inputHold_;
    inputHold_ = 0;
    return hold;
}

void TApplication::ProcessPending(UINT peekFlags)
{
    // Timers and posted messages run here; whatever they pump leaves input
    // where the outer pump left it.
    if (inputHold_ > 0)
        peekFlags = PM_REMOVE | PM_QS_SENDMESSAGE | PM_QS_POSTMESSAGE | PM_QS_PAINT;
    BeginNestedLoop();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, peekFlags)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        DispatchOne(msg);
    }
    EndNestedLoop();
}

void TApplication::WaitAndProcessMessages(DWORD maxWaitMs)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, maxWaitMs, PumpWakeMask(QS_ALLINPUT));
    ProcessMessages();
}

void TApplication::ClearTerminatedForTesting()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    terminated_ = false;
}

void TApplication::Terminate()
{
    terminated_ = true;
    if (threadId_ == 0 || threadId_ == GetCurrentThreadId())
        PostQuitMessage(0);
    else
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
}

void TApplication::Restore()
{
    if (handle_ && IsIconic(handle_))
        ShowWindow(handle_, SW_RESTORE);
    HWND mf = MainFormHandle();
    if (mf) {
        if (IsIconic(mf))
            ShowWindow(mf, SW_RESTORE);
        else if (!IsWindowVisible(mf))
            ShowWindow(mf, SW_SHOW);
    }
    BringToFront();
}

void TApplication::Minimize()
{
    if (handle_)
        ShowWindow(handle_, SW_MINIMIZE);
    // The main form goes with the application window (Windows hides owned
    // windows of a minimised owner; do it ourselves where it does not).
    HWND mf = MainFormHandle();
    if (mf && IsWindowVisible(mf))
        ShowWindow(mf, SW_HIDE);
}

namespace {

// The box the user has to answer before the main window takes input again:
// while the main window is disabled, the topmost visible, enabled top-level
// window of this thread (a modal form, a message box); none otherwise.
HWND ModalBoxOver(HWND mainWindow, HWND appWindow)
{
    if (!mainWindow || IsWindowEnabled(mainWindow))
        return nullptr;
    const DWORD thread = GetCurrentThreadId();
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == mainWindow || w == appWindow || GetWindowThreadProcessId(w, nullptr) != thread)
            continue;
        if (IsWindowVisible(w) && IsWindowEnabled(w) && !(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW))
            return w;
    }
    return nullptr;
}

}  // namespace

void TApplication::BringToFront()
{
    HWND mf = MainFormHandle();
    HWND w = mf ? mf : handle_;
    if (!w)
        return;
    // An open modal box stays in front of the window it keeps disabled.
    HWND box = ModalBoxOver(mf, handle_);
    SetForegroundWindow(box ? box : w);
    BringWindowToTop(w);
    if (box)
        BringWindowToTop(box);
}

void TApplication::HandleException(const std::string& message)
{
    if (OnException) {
        OnException(message);
        return;
    }
    WriteErrorLine(message);
}

void TApplication::WriteErrorLine(const std::string& message) const noexcept
{
    try {
        OutputDebugStringW(Utf8ToWide(title_ + ": " + message + "\n").c_str());
        fprintf(stderr, "%s: %s\n", title_.c_str(), message.c_str());
    } catch (...) {
    }
}

void TApplication::PostException(const std::string& message) noexcept
{
    if (threadId_ && GetCurrentThreadId() == threadId_) {
        try {
            HandleException(message);
        } catch (...) {
        }
        return;
    }
    if (!postedErrors_.Post(message))
        WriteErrorLine(message);
}

void TApplication::PostException(const std::exception_ptr& e) noexcept
{
    std::string message;
    try {
        message = ExceptionMessage(e);
    } catch (...) {
        return;
    }
    PostException(message);
}

int TApplication::AddIdleHandler(std::function<void()> handler)
{
    int id = nextIdleId_++;
    idleHandlers_.push_back({id, std::move(handler)});
    return id;
}

void TApplication::RemoveIdleHandler(int id)
{
    for (auto it = idleHandlers_.begin(); it != idleHandlers_.end(); ++it)
        if (it->id == id) {
            idleHandlers_.erase(it);
            return;
        }
}

void TApplication::Idle()
{
    // A copy: a handler may remove itself or others.
    std::vector<IdleHandler> list = idleHandlers_;
    for (const IdleHandler& h : list) {
        bool alive = false;
        for (const IdleHandler& c : idleHandlers_)
            if (c.id == h.id)
                alive = true;
        if (!alive || !h.fn)
            continue;
        try {
            h.fn();
        } catch (...) {
            HandleCurrentException();
        }
    }
}

int TApplication::HookMainWindow(TWindowHook hook)
{
    int id = nextHookId_++;
    hooks_.push_back({id, std::move(hook)});
    return id;
}

void TApplication::UnhookMainWindow(int id)
{
    for (auto it = hooks_.begin(); it != hooks_.end(); ++it)
        if (it->id == id) {
            hooks_.erase(it);
            return;
        }
}

LRESULT CALLBACK TApplication::AppWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TApplication& app = Instance();
    if (msg == WM_NCDESTROY && hwnd == app.handle_) {
        // Errors still on their way to this window are dropped with it.
        app.postedErrors_.Detach();
        app.handle_ = nullptr;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (!app.handle_)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        return app.WndProc(msg, wParam, lParam);
    } catch (...) {
        HandleCurrentException();
        return 0;
    }
}

LRESULT TApplication::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kPostedErrorMessage) {
        // A number already taken or dropped finds nothing.
        if (std::optional<std::string> text = postedErrors_.Take(wParam))
            HandleException(*text);
        return 0;
    }
    // Newest hook first; a copy, since a hook may unhook itself or others.
    std::vector<Hook> hooks = hooks_;
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) {
        bool alive = false;
        for (const auto& h : hooks_)
            if (h.id == it->id)
                alive = true;
        LRESULT result = 0;
        if (alive && it->fn && it->fn(msg, wParam, lParam, result))
            return result;
    }
    if (msg == kReleaseMessage) {
        FreeReleased();
        return 0;
    }
    switch (msg) {
    case WM_CLOSE:
        if (HWND mf = MainFormHandle())
            PostMessageW(mf, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_RESTORE) {
            Restore();
            return 0;
        }
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            Minimize();
            return 0;
        }
        break;
    case WM_ACTIVATEAPP:
    case WM_ENDSESSION:
        break;
    default:
        break;
    }
    return DefWindowProcW(handle_, msg, wParam, lParam);
}
