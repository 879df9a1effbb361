#include "platform/HiddenWindow.h"

#include <mutex>

#include "platform/Exceptions.h"
#include "platform/Firewall.h"

const wchar_t* HiddenWindowClassName() { return L"BrenixHiddenWindow"; }

static void RegisterHiddenClass(WNDPROC proc)
{
    static std::once_flag once;
    std::call_once(once, [proc] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = HiddenWindowClassName();
        RegisterClassExW(&wc);
    });
}

THiddenWindow::THiddenWindow(bool messageOnly) : messageOnly_(messageOnly) {}

THiddenWindow::~THiddenWindow() { DestroyHandle(); }

HWND THiddenWindow::Handle()
{
    if (!hwnd_) {
        RegisterHiddenClass(&THiddenWindow::StaticProc);
        hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, HiddenWindowClassName(), L"", WS_POPUP, 0, 0, 0, 0,
                                messageOnly_ ? HWND_MESSAGE : nullptr, nullptr,
                                GetModuleHandleW(nullptr), this);
        if (!hwnd_)
            throw Exception("Cannot create a hidden window (error " +
                            std::to_string(GetLastError()) + ")");
    }
    return hwnd_;
}

void THiddenWindow::DestroyHandle()
{
    if (hwnd_) {
        HWND h = hwnd_;
        hwnd_ = nullptr;
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        DestroyWindow(h);
    }
}

LRESULT THiddenWindow::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void THiddenWindow::WndProcException(const std::exception_ptr& e) { HandleException(e); }

LRESULT CALLBACK THiddenWindow::StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<THiddenWindow*>(cs->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<THiddenWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        return self->WndProc(msg, wParam, lParam);
    } catch (...) {
        std::exception_ptr e = std::current_exception();
        try {
            self->WndProcException(e);
        } catch (...) {
            HandleCurrentException();
        }
        return 0;
    }
}
