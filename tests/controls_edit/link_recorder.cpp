// Helper program of the edit and label tests.
//   link_recorder OUTFILE ADDRESS   appends ADDRESS and a line break to OUTFILE
//                                   (the shell's "open" command of http points here)
//   link_recorder --window TITLE    shows a window of another program, makes it
//                                   the active one and runs until it is closed
#include <windows.h>

#include <cstdio>
#include <cwchar>

static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, m, w, l);
}

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && wcscmp(argv[1], L"--window") == 0) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LinkRecorderWindow";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        RegisterClassW(&wc);
        HWND h = CreateWindowExW(0, wc.lpszClassName, argv[2], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 120,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        SetForegroundWindow(h);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return 0;
    }
    if (argc != 3)
        return 2;
    FILE* f = _wfopen(argv[1], L"ab");
    if (!f)
        return 1;
    // The address as UTF-8, one per line.
    char buf[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, buf, sizeof buf, nullptr, nullptr);
    if (n > 0)
        fprintf(f, "%s\n", buf);
    fclose(f);
    return 0;
}
