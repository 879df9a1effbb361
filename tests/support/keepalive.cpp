// Keeps the Wine desktop up between test executables: a hidden window that
// pumps messages until it is closed or the server goes away.
#include <windows.h>

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = inst;
    wc.lpszClassName = L"BrenixTestKeepAlive";
    RegisterClassW(&wc);
    CreateWindowExW(0, wc.lpszClassName, L"keepalive", WS_OVERLAPPED, 0, 0, 10, 10,
                    nullptr, nullptr, inst, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
