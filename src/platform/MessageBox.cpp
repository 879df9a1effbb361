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
