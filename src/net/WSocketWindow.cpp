#include "net/WSocketWindow.h"

#include <exception>

#include "platform/Firewall.h"
#include "platform/Sync.h"

namespace {

// Registration of the window class, shared by every thread of the process.
struct TWindowClassState {
    TCriticalSection lock;
    int windows = 0;   // socket windows alive (or being made)
};

TWindowClassState& WindowClass()
{
    static TWindowClassState* state = new TWindowClassState();   // lives for the whole process
    return *state;
}

const char kClassName[] = "XSocketWindowClass";

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// One window less: the last one takes the class with it.
void ReleaseClass()
{
    TWindowClassState& wc = WindowClass();
    TLock lock(wc.lock);
    if (--wc.windows <= 0) {
        wc.windows = 0;
        UnregisterClassA(kClassName, Instance());
    }
}

}  // namespace

TCustomWSocket::TSocketWindow::TSocketWindow(TCustomWSocket& owner)
{
    TWindowClassState& wc = WindowClass();
    {
        TLock lock(wc.lock);
        WNDCLASSA info{};
        if (!GetClassInfoA(Instance(), kClassName, &info)) {
            WNDCLASSA cls{};
            cls.lpfnWndProc = &TSocketWindow::Proc;
            cls.cbWndExtra = 2 * sizeof(LONG_PTR);   // the socket, this object
            cls.hInstance = Instance();
            cls.lpszClassName = kClassName;
            if (!RegisterClassA(&cls))
                throw ESocketException("Cannot create a hidden window for TWSocket");
        }
        ++wc.windows;
    }
    // A message-only window: it has no use for broadcasts (a socket on a busy
    // thread would hold up every program that broadcasts) and needs no desktop.
    hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            Instance(), nullptr);
    if (!hwnd_) {
        ReleaseClass();
        throw ESocketException("Cannot create a hidden window for TWSocket");
    }
    SetWindowLongPtrA(hwnd_, 0, reinterpret_cast<LONG_PTR>(&owner));
    SetWindowLongPtrA(hwnd_, sizeof(LONG_PTR), reinterpret_cast<LONG_PTR>(this));
}

void TCustomWSocket::TSocketWindow::LookupStarted(HANDLE lookup, std::shared_ptr<std::vector<char>> buffer)
{
    lookups_[lookup] = std::move(buffer);
}

void TCustomWSocket::TSocketWindow::Release(std::unique_ptr<TSocketWindow> window)
{
    if (!window || window->lookups_.empty() || !window->hwnd_)
        return;   // goes now
    SetWindowLongPtrA(window->hwnd_, 0, 0);   // no message reaches the socket any more
    window.release();   // freed by Proc when the last lookup's message has come
}

TCustomWSocket::TSocketWindow::~TSocketWindow()
{
    if (hwnd_) {
        HWND h = hwnd_;
        hwnd_ = nullptr;
        SetWindowLongPtrA(h, 0, 0);   // no message reaches the socket any more
        SetWindowLongPtrA(h, sizeof(LONG_PTR), 0);
        DestroyWindow(h);
    }
    ReleaseClass();
}

LRESULT TCustomWSocket::TSocketWindow::Default(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

LRESULT CALLBACK TCustomWSocket::TSocketWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* owner = reinterpret_cast<TCustomWSocket*>(GetWindowLongPtrA(hwnd, 0));
    auto* self = reinterpret_cast<TSocketWindow*>(GetWindowLongPtrA(hwnd, sizeof(LONG_PTR)));
    // A lookup's own message: the system is done with its buffer, which
    // lives on here only while the socket reads it.
    std::shared_ptr<std::vector<char>> answer;
    if (self && (msg == WM_ASYNCGETHOSTBYNAME || msg == WM_ASYNCGETHOSTBYADDR)) {
        auto it = self->lookups_.find(reinterpret_cast<HANDLE>(wParam));
        if (it != self->lookups_.end()) {
            answer = std::move(it->second);
            self->lookups_.erase(it);
        }
        if (!owner) {
            // The socket went while lookups ran: the last one's message frees the window.
            if (self->lookups_.empty())
                delete self;
            return 0;
        }
    }
    if (!owner)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    // Nothing may leave a window procedure: what a handler throws becomes the
    // socket's background exception.
    try {
        return owner->WndProc(msg, wParam, lParam);
    } catch (...) {
        std::exception_ptr e = std::current_exception();
        try {
            owner->HandleBackgroundException(ExceptionMessage(e));
        } catch (...) {
            HandleCurrentException();
        }
        return 0;
    }
}
