#include "platform/MessageBox.h"

#include "platform/Application.h"
#include "platform/Text.h"

std::string AppMessageBoxTitle(const std::string& caption)
{
    return Format("%s. %s", Application().Title().c_str(), caption.c_str());
}

HWND ModalOwnerWindow()
{
    if (HWND active = GetActiveWindow())
        return active;
    if (HWND main = Application().MainFormHandle(); main && IsWindowVisible(main))
        return main;
    return Application().Handle();
}

int AppMessageBox(const std::string& caption, const std::string& text, UINT flags)
{
    const std::wstring title = Utf8ToWide(AppMessageBoxTitle(caption));
    const std::wstring body = Utf8ToWide(text);
    Application().BeginNestedLoop();
    int answer = MessageBoxW(ModalOwnerWindow(), body.c_str(), title.c_str(), flags);
    Application().EndNestedLoop();
    return answer;
}

namespace {

// The button texts for the box this thread is about to show, and the hook
// that sets them when it is activated.
struct TButtonTexts {
    const std::vector<std::pair<int, std::string>>* texts = nullptr;
    HHOOK hook = nullptr;
};
thread_local TButtonTexts buttonTexts;

LRESULT CALLBACK CaptionButtons(int code, WPARAM wParam, LPARAM lParam)
{
    TButtonTexts& b = buttonTexts;
    const HHOOK hook = b.hook;
    if (code == HCBT_ACTIVATE && b.texts) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t cls[16] = {};
        GetClassNameW(box, cls, 16);
        if (std::wstring(cls) == L"#32770") {
            try {
                for (const auto& [id, text] : *b.texts)
                    SetDlgItemTextW(box, id, Utf8ToWide(text).c_str());
            } catch (...) {
                // The box keeps the system's words.
            }
            b.texts = nullptr;
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

int AppMessageBox(const std::string& caption, const std::string& text, UINT flags,
                  const std::vector<std::pair<int, std::string>>& texts)
{
    TButtonTexts& b = buttonTexts;
    const TButtonTexts saved = b;
    b.texts = &texts;
    b.hook = SetWindowsHookExW(WH_CBT, CaptionButtons, nullptr, GetCurrentThreadId());
    int answer = 0;
    try {
        answer = AppMessageBox(caption, text, flags);
    } catch (...) {
        if (b.hook)
            UnhookWindowsHookEx(b.hook);
        b = saved;
        throw;
    }
    if (b.hook)
        UnhookWindowsHookEx(b.hook);
    b = saved;
    return answer;
}
