#include "platform/Application.h"

#include "platform/Firewall.h"
#include "platform/Text.h"

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
}

void TApplication::SetTitle(const std::string& title)
{
    title_ = title;
    if (handle_)
        SetWindowTextW(handle_, Utf8ToWide(title).c_str());
}

bool TApplication::DispatchOne(MSG& msg)
{
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return false;
    }
    try {
        HWND active = GetActiveWindow();
        if (active && active != mainForm_ && IsDialogMessageW(active, &msg))
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
    MSG msg;
    while (!terminated_) {
        BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1) {
            terminated_ = true;
            break;
        }
        DispatchOne(msg);
    }
}

void TApplication::ProcessMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        DispatchOne(msg);
    }
}

void TApplication::WaitAndProcessMessages(DWORD maxWaitMs)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, maxWaitMs, QS_ALLINPUT);
    ProcessMessages();
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
    if (mainForm_) {
        if (IsIconic(mainForm_))
            ShowWindow(mainForm_, SW_RESTORE);
        else if (!IsWindowVisible(mainForm_))
            ShowWindow(mainForm_, SW_SHOW);
    }
    BringToFront();
}

void TApplication::Minimize()
{
    if (handle_)
        ShowWindow(handle_, SW_MINIMIZE);
}

void TApplication::BringToFront()
{
    HWND w = mainForm_ ? mainForm_ : handle_;
    if (w) {
        SetForegroundWindow(w);
        BringWindowToTop(w);
    }
}

void TApplication::HandleException(const std::string& message)
{
    if (OnException) {
        OnException(message);
        return;
    }
    OutputDebugStringW(Utf8ToWide(title_ + ": " + message + "\n").c_str());
    fprintf(stderr, "%s: %s\n", title_.c_str(), message.c_str());
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
    switch (msg) {
    case WM_CLOSE:
        if (mainForm_)
            PostMessageW(mainForm_, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_RESTORE) {
            Restore();
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
