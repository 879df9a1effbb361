// Keeps the Wine desktop up between test executables: a hidden top-level
// window that pumps messages until it is closed or the server goes away.
// With a file name argument it creates that file once its window exists (the
// desktop process is then up), so the session can wait for it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, LPWSTR cmdLine, int)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = inst;
    wc.lpszClassName = L"BrenixTestKeepAlive";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, wc.lpszClassName, L"keepalive", WS_OVERLAPPED, 0, 0, 10, 10,
                             nullptr, nullptr, inst, nullptr);
    // A round trip through the desktop before saying we are ready.
    GetDesktopWindow();
    SendMessageW(w, WM_NULL, 0, 0);
    if (cmdLine && *cmdLine) {
        // A path with blanks arrives in quotes.
        if (*cmdLine == L'"') {
            ++cmdLine;
            for (wchar_t* p = cmdLine; *p; ++p)
                if (*p == L'"')
                    *p = 0;
        }
        HANDLE f = CreateFileW(cmdLine, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE)
            CloseHandle(f);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
