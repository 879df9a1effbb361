#include "platform/Clipboard.h"

#include <cstring>

#include "platform/Application.h"
#include "platform/HiddenWindow.h"
#include "platform/Text.h"

namespace {

// The window that owns what we put on the clipboard: the application's, or
// a hidden one of our own before the application has a window.
HWND ClipboardOwner()
{
    if (HWND app = Application().Handle())
        return app;
    static THiddenWindow window;
    return window.Handle();
}

// Opens the clipboard, trying again while another program holds it.
class TClipboardOpen {
public:
    TClipboardOpen()
    {
        HWND owner = ClipboardOwner();
        for (int i = 0; i < kClipboardOpenTries; ++i) {
            if (i > 0)
                Sleep(kClipboardRetryMs);
            if (OpenClipboard(owner)) {
                open_ = true;
                return;
            }
        }
        throw EClipboardError("The clipboard is in use by another program");
    }
    ~TClipboardOpen()
    {
        if (open_)
            CloseClipboard();
    }
    TClipboardOpen(const TClipboardOpen&) = delete;
    TClipboardOpen& operator=(const TClipboardOpen&) = delete;

private:
    bool open_ = false;
};

}  // namespace

void SetClipboardText(const std::string& text)
{
    const std::wstring wide = Utf8ToWide(text);
    // The length in UTF-16 units, and the closing zero.
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* p = memory ? GlobalLock(memory) : nullptr;
    if (!p) {
        if (memory)
            GlobalFree(memory);
        throw EClipboardError("Not enough memory for the clipboard text");
    }
    std::memcpy(p, wide.c_str(), bytes);
    GlobalUnlock(memory);
    bool handedOver = false;
    try {
        TClipboardOpen open;
        EmptyClipboard();
        handedOver = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!handedOver)
            throw EClipboardError("The text could not be put on the clipboard (error " +
                                  std::to_string(GetLastError()) + ")");
    } catch (...) {
        // Memory the clipboard did not take is still ours.
        if (!handedOver)
            GlobalFree(memory);
        throw;
    }
}

std::string GetClipboardText()
{
    TClipboardOpen open;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        return std::string();
    const auto* p = static_cast<const wchar_t*>(GlobalLock(data));
    if (!p)
        return std::string();
    // Bounded by the block's size: a text without its closing zero ends there.
    const size_t units = GlobalSize(data) / sizeof(wchar_t);
    size_t length = 0;
    while (length < units && p[length] != 0)
        ++length;
    std::string text = WideToUtf8(std::wstring_view(p, length));
    GlobalUnlock(data);
    return text;
}
