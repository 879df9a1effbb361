// Started by the OLE tests: prints the clipboard's Unicode text as UTF-8 on
// stdout (exit 0), or exits 2 when there is none.
#include <windows.h>

#include <string>

int main()
{
    for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt)
        Sleep(20);
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) {
        CloseClipboard();
        return 2;
    }
    const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
    std::string utf8;
    if (text) {
        int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        if (n > 1) {
            utf8.resize(n - 1);
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), n, nullptr, nullptr);
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    return 0;
}
