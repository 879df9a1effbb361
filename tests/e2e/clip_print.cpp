// Prints the clipboard's text (UTF-8) for the end-to-end run, so a script can
// read what a program copied:
//
//   clip_print.exe           prints the text (nothing when there is none)
//   clip_print.exe --clear   prints it and then empties the clipboard, so the
//                            next copy is known to be a new one
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    const bool clear = argc > 1 && std::wcscmp(argv[1], L"--clear") == 0;
    // Another program may hold the clipboard for a moment.
    bool open = false;
    for (int i = 0; i < 50 && !(open = OpenClipboard(nullptr)); ++i)
        Sleep(20);
    if (!open) {
        std::fprintf(stderr, "clip_print: the clipboard stays busy\n");
        return 1;
    }
    std::string text;
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* w = static_cast<const wchar_t*>(GlobalLock(h))) {
            int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
            if (n > 1) {
                text.resize(n - 1);
                WideCharToMultiByte(CP_UTF8, 0, w, -1, text.data(), n, nullptr, nullptr);
            }
            GlobalUnlock(h);
        }
    }
    if (clear)
        EmptyClipboard();
    CloseClipboard();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
