#include "support/DialogDriver.h"

#include <commdlg.h>
#include <dlgs.h>

#include "platform/Text.h"

namespace testing_support {

namespace {

BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM param)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && lstrcmpW(cls, L"#32770") == 0) {
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::string AskText(HWND dialog, UINT msg)
{
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(dialog, msg, MAX_PATH * 2, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 5000, &r))
        return "<no answer>";
    return WideToUtf8(buf);
}

}  // namespace

HWND FindProcessDialog()
{
    HWND dialog = nullptr;
    EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&dialog));
    return dialog;
}

std::string FileDialogFolder(HWND dialog) { return AskText(dialog, CDM_GETFOLDERPATH); }

std::string FileDialogFileName(HWND dialog) { return AskText(dialog, CDM_GETSPEC); }

std::string WindowText(HWND window)
{
    wchar_t buf[512] = {};
    DWORD_PTR r = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 5000, &r);
    return WideToUtf8(buf);
}

void SetFileDialogName(HWND dialog, const std::string& name)
{
    std::wstring w = Utf8ToWide(name);
    DWORD_PTR r = 0;
    // The name box is a combo box (cmb13) or an edit (edt1).
    SendMessageTimeoutW(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(w.c_str()), SMTO_NORMAL, 5000,
                        &r);
    SendMessageTimeoutW(dialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(w.c_str()), SMTO_NORMAL, 5000, &r);
}

void PressDialogButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

DialogDriver::DialogDriver(std::function<void(HWND)> action, DWORD waitMs, DWORD graceMs)
    : action_(std::move(action)), waitMs_(waitMs), graceMs_(graceMs)
{
    thread_ = std::thread([this] { Run(); });
}

DialogDriver::~DialogDriver()
{
    stop_ = true;
    thread_.join();
}

void DialogDriver::Run()
{
    DWORD start = GetTickCount();
    HWND dialog = nullptr;
    while (!stop_ && !dialog && GetTickCount() - start < waitMs_) {
        Sleep(30);
        dialog = FindProcessDialog();
    }
    if (dialog && !stop_) {
        Sleep(200);   // let it finish filling its lists
        action_(dialog);
        acted_ = true;
    }
    // Whatever is still open after the grace time is cancelled.
    DWORD after = GetTickCount();
    while (!stop_) {
        Sleep(50);
        if (GetTickCount() - after < graceMs_)
            continue;
        if (HWND left = FindProcessDialog()) {
            leftOver_ = true;
            PostMessageW(left, WM_COMMAND, IDCANCEL, 0);
            after = GetTickCount();
        }
    }
}

}  // namespace testing_support
