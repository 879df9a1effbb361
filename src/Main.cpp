#include "Main.h"

#include "Classes/SingleInstance.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"
#include "platform/Text.h"

static const wchar_t kMainClass[] = L"TfmMain";

TMainForm::TMainForm()
{
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &TMainForm::StaticProc;
    wc.hInstance = inst;
    wc.hIcon = LoadIconW(inst, L"MAINICON");
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainClass;
    RegisterClassExW(&wc);
    // Owned by the application window, which carries the taskbar button.
    hwnd_ = CreateWindowExW(0, kMainClass, Utf8ToWide(Application().Title()).c_str(),
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                            800, 600, Application().Handle(), nullptr, inst, this);
    if (!hwnd_)
        throw Exception("Cannot create the main window");
    Application().SetMainFormHandle(hwnd_);
}

TMainForm::~TMainForm()
{
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void TMainForm::Show(int cmdShow)
{
    ShowWindow(hwnd_, cmdShow);
    UpdateWindow(hwnd_);
}

LRESULT CALLBACK TMainForm::StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<TMainForm*>(cs->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<TMainForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return Guarded<LRESULT>(0, [&] { return self->WndProc(msg, wParam, lParam); });
}

LRESULT TMainForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CLOSE:
        DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        hwnd_ = nullptr;
        Application().SetMainFormHandle(nullptr);
        Application().Terminate();
        return 0;
    default:
        if (msg == SingleInstanceMessage()) {   // a second start of the program
            Application().Restore();
            return 0;
        }
        return DefWindowProcW(hwnd_, msg, wParam, lParam);
    }
}
