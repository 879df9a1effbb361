#include "controls/BrowseFolderDlg.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "controls/DrawUtils.h"
#include "controls/FileUtils.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Firewall.h"
#include "platform/Text.h"

static const wchar_t kDialogProp[] = L"Brenix.BrowseFolderDlg";

TBrowseFolderDlg::~TBrowseFolderDlg()
{
    Unsubclass();
}

// ---- keeping the program's other windows disabled while the dialog runs ----

static BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM param)
{
    if (IsWindowVisible(window) && IsWindowEnabled(window)) {
        // No exception may leave this callback: without memory the window stays enabled.
        try {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        } catch (...) {
            return FALSE;
        }
    }
    return TRUE;
}

namespace {
class TTaskWindowsDisabled {
public:
    TTaskWindowsDisabled() : active_(GetActiveWindow())
    {
        EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&windows_));
        for (HWND w : windows_)
            EnableWindow(w, FALSE);
    }
    ~TTaskWindowsDisabled()
    {
        for (HWND w : windows_)
            if (IsWindow(w))
                EnableWindow(w, TRUE);
        if (active_ && IsWindow(active_))
            SetActiveWindow(active_);
    }
    TTaskWindowsDisabled(const TTaskWindowsDisabled&) = delete;
    TTaskWindowsDisabled& operator=(const TTaskWindowsDisabled&) = delete;

private:
    HWND active_;
    std::vector<HWND> windows_;
};

struct TComInit {
    HRESULT hr = OleInitialize(nullptr);
    ~TComInit()
    {
        if (SUCCEEDED(hr))
            OleUninitialize();
    }
};
}  // namespace

// ---- item names ----

static bool PathOfItem(LPCITEMIDLIST item, std::string& path)
{
    wchar_t buf[MAX_PATH + 1] = {};
    if (!item || !SHGetPathFromIDListW(item, buf) || buf[0] == 0) {
        path.clear();
        return false;
    }
    path = WideToUtf8(buf);
    return true;
}

static std::string DisplayNameOfItem(LPCITEMIDLIST item)
{
    SHFILEINFOW info{};
    if (!item || !SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item), 0, &info, sizeof info,
                                 SHGFI_PIDL | SHGFI_DISPLAYNAME))
        return {};
    return WideToUtf8(info.szDisplayName);
}

// ---- Execute ----

bool TBrowseFolderDlg::Execute()
{
    TComInit com;
    HWND owner = Application().Handle();

    LPITEMIDLIST root = nullptr;
    if (BrowseKind == bfComputers)
        SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, &root);
    else if (!DesktopRoot)
        SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &root);

    wchar_t displayName[MAX_PATH + 1] = {};
    std::wstring title = Utf8ToWide(PromptText);
    BROWSEINFOW bi{};
    bi.hwndOwner = owner;
    bi.pidlRoot = root;
    bi.pszDisplayName = displayName;
    bi.lpszTitle = title.empty() ? nullptr : title.c_str();
    bi.ulFlags = BrowseKind == bfComputers ? BIF_BROWSEFORCOMPUTER
                                           : BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS |
                                                 BIF_NEWDIALOGSTYLE | BIF_SHAREABLE;
    bi.lpfn = BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(this);

    // The selection events move FolderName along; a cancel puts it back.
    const std::string initialFolder = FolderName;
    LPITEMIDLIST chosen = nullptr;
    {
        TTaskWindowsDisabled disabled;
        chosen = SHBrowseForFolderW(&bi);
    }
    Unsubclass();
    dialog_ = nullptr;

    bool ok = chosen != nullptr;
    if (ok) {
        DisplayName = WideToUtf8(displayName);
        if (BrowseKind == bfComputers) {
            FolderName = DisplayName;
        } else {
            std::string path;
            PathOfItem(chosen, path);
            FolderName = RemoveTrailingBackslash(path);
        }
        ImageIndex = bi.iImage;
        CoTaskMemFree(chosen);
    } else {
        FolderName = initialFolder;
    }
    if (root)
        CoTaskMemFree(root);
    return ok;
}

// ---- the callback ----

int CALLBACK TBrowseFolderDlg::BrowseCallback(HWND dialog, UINT msg, LPARAM param, LPARAM data)
{
    auto* self = reinterpret_cast<TBrowseFolderDlg*>(data);
    if (!self)
        return 0;
    return Guarded(0, [&] { return self->HandleCallback(dialog, msg, param); });
}

int TBrowseFolderDlg::HandleCallback(HWND dialog, UINT msg, LPARAM param)
{
    dialog_ = dialog;
    if (msg == BFFM_INITIALIZED) {
        if (CenterOnScreen)
            CenterWindow(dialog);
        Subclass(dialog);
        if (BrowseKind == bfComputers || IsExistingDirectory(FolderName)) {
            std::wstring folder = Utf8ToWide(FolderName);
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        }
        if (HelpContext != 0)
            AddHelpButton(dialog);
        if (OnInitialized)
            OnInitialized(*this);
    } else if (msg == BFFM_SELCHANGED) {
        auto item = reinterpret_cast<LPCITEMIDLIST>(param);
        if (BrowseKind == bfFolders) {
            std::string path;
            bool hasPath = PathOfItem(item, path);
            FolderName = path;
            SendMessageW(dialog, BFFM_ENABLEOK, 0, hasPath && IsExistingDirectory(path) ? TRUE : FALSE);
        } else {
            FolderName = DisplayNameOfItem(item);
        }
        if (OnSelChanged)
            OnSelChanged(*this);
    }
    return 0;
}

// ---- help button ----

static BOOL CALLBACK FindFirstButton(HWND child, LPARAM param)
{
    wchar_t cls[16] = {};
    GetClassNameW(child, cls, 16);
    if (lstrcmpiW(cls, L"Button") == 0 && GetDlgCtrlID(child) != TBrowseFolderDlg::HelpButtonId) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

void TBrowseFolderDlg::AddHelpButton(HWND dialog)
{
    if (GetDlgItem(dialog, HelpButtonId))
        return;
    HWND first = nullptr;
    EnumChildWindows(dialog, FindFirstButton, reinterpret_cast<LPARAM>(&first));
    int top = 0, width = 75, height = 23;
    if (first) {
        RECT r{};
        GetWindowRect(first, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        top = r.top;
        width = RectWidth(r);
        height = RectHeight(r);
    }
    HWND button = CreateWindowExW(0, L"BUTTON", L"&Help", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  12, top, width, height, dialog,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(HelpButtonId)),
                                  GetModuleHandleW(nullptr), nullptr);
    if (button)
        SendMessageW(button, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), TRUE);
}

void TBrowseFolderDlg::ShowHelp()
{
    // The program's help file sits beside it; without one there is no help.
    std::string helpFile = ChangeFileExt(ExeFileName(), ".hlp");
    if (HelpContext != 0 && FileExists(helpFile))
        WinHelpW(dialog_ ? dialog_ : Application().Handle(), Utf8ToWide(helpFile).c_str(), HELP_CONTEXT,
                 static_cast<ULONG_PTR>(HelpContext));
}

// ---- subclassing the dialog for the help button's click ----

void TBrowseFolderDlg::Subclass(HWND dialog)
{
    if (subclassed_ == dialog)
        return;
    Unsubclass();
    SetPropW(dialog, kDialogProp, reinterpret_cast<HANDLE>(this));
    oldProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    subclassed_ = dialog;
}

void TBrowseFolderDlg::Unsubclass()
{
    if (!subclassed_)
        return;
    if (IsWindow(subclassed_)) {
        SetWindowLongPtrW(subclassed_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
        RemovePropW(subclassed_, kDialogProp);
    }
    subclassed_ = nullptr;
    oldProc_ = nullptr;
}

LRESULT CALLBACK TBrowseFolderDlg::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<TBrowseFolderDlg*>(GetPropW(hwnd, kDialogProp));
    if (!self || !self->oldProc_)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    WNDPROC old = self->oldProc_;
    if (msg == WM_COMMAND && LOWORD(wParam) == HelpButtonId && HIWORD(wParam) == 0) {
        Guarded([&] { self->ShowHelp(); });
        return 0;
    }
    if (msg == WM_NCDESTROY) {
        // The dialog goes away: put the old procedure back first.
        self->Unsubclass();
    }
    return CallWindowProcW(old, hwnd, msg, wParam, lParam);
}
