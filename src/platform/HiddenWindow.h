// A window whose procedure is a C++ method, for components that work by
// window messages (sockets, HTTP, timers, tray icon). Exceptions thrown by
// WndProc never leave the window procedure.
#pragma once
#include <windows.h>

#include <exception>

class THiddenWindow {
public:
    // messageOnly: a message-only window (no broadcasts). Otherwise a hidden
    // top-level window that also receives broadcast messages.
    explicit THiddenWindow(bool messageOnly = true);
    virtual ~THiddenWindow();
    THiddenWindow(const THiddenWindow&) = delete;
    THiddenWindow& operator=(const THiddenWindow&) = delete;

    // The window, created on first use on the calling thread.
    HWND Handle();
    bool HandleAllocated() const { return hwnd_ != nullptr; }
    void DestroyHandle();

protected:
    // The default passes the message to DefWindowProc.
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called when WndProc throws. The default hands it to the application's handler.
    virtual void WndProcException(const std::exception_ptr& e);

private:
    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    bool messageOnly_;
};

// The window class used for hidden windows; registered once per process.
const wchar_t* HiddenWindowClassName();
