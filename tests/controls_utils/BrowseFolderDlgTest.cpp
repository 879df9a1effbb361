#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <vector>

#include "controls/BrowseFolderDlg.h"
#include "controls/DrawUtils.h"
#include "controls/FileUtils.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// A window standing in for the browser dialog: it records what the dialog
// component sends to it.
struct StandIn {
    std::vector<int> enableOk;          // lParam of each BFFM_ENABLEOK
    std::vector<std::string> selections;
    int helpClicks = 0;
};
StandIn* g_standIn = nullptr;

LRESULT CALLBACK StandInProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (g_standIn) {
        if (msg == BFFM_ENABLEOK) {
            g_standIn->enableOk.push_back(static_cast<int>(lParam));
            return 0;
        }
        if (msg == BFFM_SETSELECTIONW) {
            g_standIn->selections.push_back(wParam ? WideToUtf8(reinterpret_cast<const wchar_t*>(lParam))
                                                   : std::string("<pidl>"));
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class FakeDialog {
public:
    FakeDialog()
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSW wc{};
            wc.lpfnWndProc = StandInProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"UtilsBrowseStandIn";
            RegisterClassW(&wc);
            registered = true;
        }
        g_standIn = &record;
        hwnd = CreateWindowExW(0, L"UtilsBrowseStandIn", L"stand-in", WS_POPUP | WS_CAPTION, 0, 0, 320, 240,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        okButton = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE, 150, 200, 81, 27, hwnd,
                                   reinterpret_cast<HMENU>(IDOK), GetModuleHandleW(nullptr), nullptr);
    }
    ~FakeDialog()
    {
        DestroyWindow(hwnd);
        g_standIn = nullptr;
    }
    StandIn record;
    HWND hwnd = nullptr;
    HWND okButton = nullptr;
};

class HelpCountingDlg : public TBrowseFolderDlg {
public:
    int helps = 0;

protected:
    void ShowHelp() override { ++helps; }
};

struct Pidl {
    explicit Pidl(LPITEMIDLIST p) : p(p) {}
    ~Pidl() { if (p) CoTaskMemFree(p); }
    LPITEMIDLIST p;
};

Pidl PidlOfPath(const std::string& path)
{
    LPITEMIDLIST p = nullptr;
    SHILCreateFromPath(Utf8ToWide(path).c_str(), &p, nullptr);
    return Pidl(p);
}

Pidl PidlOfSpecial(int csidl)
{
    LPITEMIDLIST p = nullptr;
    SHGetSpecialFolderLocation(nullptr, csidl, &p);
    return Pidl(p);
}

}  // namespace

TEST(BrowseFolderDlg, DefaultsOfANewDialog)
{
    TBrowseFolderDlg dlg;
    EXPECT_TRUE(dlg.DesktopRoot);
    EXPECT_EQ(dlg.BrowseKind, bfFolders);
    EXPECT_TRUE(dlg.CenterOnScreen);
    EXPECT_EQ(dlg.HelpContext, 0);
    EXPECT_EQ(dlg.Handle(), nullptr);
}

TEST(BrowseFolderDlg, SelectingAFolderEnablesOk)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("browse");
    FakeDialog fake;
    TBrowseFolderDlg dlg;
    int changes = 0;
    dlg.OnSelChanged = [&](TBrowseFolderDlg& sender) {
        EXPECT_EQ(&sender, &dlg);
        ++changes;
    };
    Pidl item = PidlOfPath(dir.Path());
    ASSERT_NE(item.p, nullptr);
    dlg.HandleCallback(fake.hwnd, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item.p));
    EXPECT_TRUE(SameText(RemoveTrailingBackslash(dlg.FolderName), RemoveTrailingBackslash(dir.Path())))
        << dlg.FolderName;
    ASSERT_EQ(fake.record.enableOk.size(), 1u);
    EXPECT_EQ(fake.record.enableOk[0], TRUE);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(dlg.Handle(), fake.hwnd);
}

TEST(BrowseFolderDlg, SelectingAFileOrAVirtualItemKeepsOkDisabled)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("browse");
    WriteFile(dir.File("client.cfg"), "[settings]\n");
    FakeDialog fake;
    TBrowseFolderDlg dlg;
    dlg.FolderName = "before";

    Pidl file = PidlOfPath(dir.File("client.cfg"));
    ASSERT_NE(file.p, nullptr);
    dlg.HandleCallback(fake.hwnd, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(file.p));
    ASSERT_EQ(fake.record.enableOk.size(), 1u);
    EXPECT_EQ(fake.record.enableOk[0], FALSE);

    // "My Computer" has no file-system path.
    Pidl computer = PidlOfSpecial(CSIDL_DRIVES);
    ASSERT_NE(computer.p, nullptr);
    dlg.HandleCallback(fake.hwnd, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(computer.p));
    EXPECT_EQ(dlg.FolderName, "");
    ASSERT_EQ(fake.record.enableOk.size(), 2u);
    EXPECT_EQ(fake.record.enableOk[1], FALSE);

    // No item at all.
    dlg.HandleCallback(fake.hwnd, BFFM_SELCHANGED, 0);
    EXPECT_EQ(dlg.FolderName, "");
    ASSERT_EQ(fake.record.enableOk.size(), 3u);
    EXPECT_EQ(fake.record.enableOk[2], FALSE);
}

TEST(BrowseFolderDlg, BrowsingComputersTakesTheDisplayName)
{
    ASSERT_TRUE(HaveDisplay());
    FakeDialog fake;
    TBrowseFolderDlg dlg;
    dlg.BrowseKind = bfComputers;
    Pidl computer = PidlOfSpecial(CSIDL_DRIVES);
    ASSERT_NE(computer.p, nullptr);
    dlg.HandleCallback(fake.hwnd, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(computer.p));
    EXPECT_FALSE(dlg.FolderName.empty());
    EXPECT_EQ(dlg.FolderName.find('\\'), std::string::npos);
    EXPECT_TRUE(fake.record.enableOk.empty());   // OK is left alone
}

TEST(BrowseFolderDlg, InitializationSelectsCentresAndAddsHelp)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("browse");
    FakeDialog fake;
    HelpCountingDlg dlg;
    dlg.FolderName = RemoveTrailingBackslash(dir.Path());
    dlg.HelpContext = 42;
    int initialized = 0;
    dlg.OnInitialized = [&](TBrowseFolderDlg&) {
        ++initialized;
        EXPECT_NE(GetDlgItem(fake.hwnd, TBrowseFolderDlg::HelpButtonId), nullptr);   // added before the event
    };
    dlg.HandleCallback(fake.hwnd, BFFM_INITIALIZED, 0);
    EXPECT_EQ(initialized, 1);
    ASSERT_EQ(fake.record.selections.size(), 1u);
    EXPECT_EQ(fake.record.selections[0], dlg.FolderName);

    // Centred on the primary screen.
    RECT r{};
    GetWindowRect(fake.hwnd, &r);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 320) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 240) / 2);

    // The help button: x 12, top and size of the dialog's first button, its font.
    HWND help = GetDlgItem(fake.hwnd, TBrowseFolderDlg::HelpButtonId);
    ASSERT_NE(help, nullptr);
    RECT hr{}, okr{};
    GetWindowRect(help, &hr);
    GetWindowRect(fake.okButton, &okr);
    MapWindowPoints(nullptr, fake.hwnd, reinterpret_cast<POINT*>(&hr), 2);
    MapWindowPoints(nullptr, fake.hwnd, reinterpret_cast<POINT*>(&okr), 2);
    EXPECT_EQ(hr.left, 12);
    EXPECT_EQ(hr.top, okr.top);
    EXPECT_EQ(RectWidth(hr), RectWidth(okr));
    EXPECT_EQ(RectHeight(hr), RectHeight(okr));
    wchar_t caption[32] = {};
    GetWindowTextW(help, caption, 32);
    EXPECT_STREQ(caption, L"&Help");

    // Its click reaches the help through the subclassed dialog.
    SendMessageW(fake.hwnd, WM_COMMAND, MAKEWPARAM(TBrowseFolderDlg::HelpButtonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(help));
    EXPECT_EQ(dlg.helps, 1);
    SendMessageW(fake.hwnd, WM_COMMAND, MAKEWPARAM(TBrowseFolderDlg::HelpButtonId, 1), 0);
    EXPECT_EQ(dlg.helps, 1);   // not a click
}

TEST(BrowseFolderDlg, InitializationLeavesSelectionAndHelpAloneWhenNotAsked)
{
    ASSERT_TRUE(HaveDisplay());
    FakeDialog fake;
    TBrowseFolderDlg dlg;
    dlg.FolderName = "Z:\\no\\such\\folder";
    dlg.CenterOnScreen = false;
    dlg.HandleCallback(fake.hwnd, BFFM_INITIALIZED, 0);
    EXPECT_TRUE(fake.record.selections.empty());
    EXPECT_EQ(GetDlgItem(fake.hwnd, TBrowseFolderDlg::HelpButtonId), nullptr);
    RECT r{};
    GetWindowRect(fake.hwnd, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);

    // Browsing computers always passes the name on.
    FakeDialog fake2;
    TBrowseFolderDlg computers;
    computers.BrowseKind = bfComputers;
    computers.FolderName = "FOLDBOX";
    computers.HandleCallback(fake2.hwnd, BFFM_INITIALIZED, 0);
    ASSERT_EQ(fake2.record.selections.size(), 1u);
    EXPECT_EQ(fake2.record.selections[0], "FOLDBOX");
}

namespace {

// Closes a browser dialog of this process that is left open: the tests must
// never hang on a modal dialog.
class DialogWatchdog {
public:
    // reselect: a folder to ask the dialog for again before the command (Wine's
    // dialog now and then stops its first walk down the tree at a parent folder).
    explicit DialogWatchdog(WPARAM command, DWORD afterMs, std::wstring reselect = {})
        : command_(command), afterMs_(afterMs), reselect_(std::move(reselect))
    {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~DialogWatchdog()
    {
        stop_ = true;
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    std::atomic<bool> fired{false};

private:
    static BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param)
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
    static DWORD WINAPI Run(LPVOID p)
    {
        auto* self = static_cast<DialogWatchdog*>(p);
        DWORD start = GetTickCount();
        while (!self->stop_) {
            Sleep(50);
            if (GetTickCount() - start < self->afterMs_)
                continue;
            HWND dialog = nullptr;
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog) {
                self->fired = true;
                if (!self->reselect_.empty()) {
                    DWORD_PTR ignored = 0;
                    SendMessageTimeoutW(dialog, BFFM_SETSELECTIONW, TRUE,
                                        reinterpret_cast<LPARAM>(self->reselect_.c_str()), SMTO_NORMAL, 5000,
                                        &ignored);
                    Sleep(100);
                }
                PostMessageW(dialog, WM_COMMAND, self->command_, 0);
                Sleep(500);
            }
        }
        return 0;
    }
    WPARAM command_;
    DWORD afterMs_;
    std::wstring reselect_;
    std::atomic<bool> stop_{false};
    HANDLE thread_ = nullptr;
};

}  // namespace

namespace {

// Presses OK in the real dialog from another thread once the wanted folder is
// selected, asking for the selection again after a while without it.
class OkOnSelection {
public:
    OkOnSelection(std::atomic<HWND>& dialog, std::atomic<bool>& selected, std::wstring folder)
        : dialog_(dialog), selected_(selected), folder_(std::move(folder))
    {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~OkOnSelection()
    {
        stop_ = true;
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    std::atomic<bool> pressedOk{false};

private:
    static DWORD WINAPI Run(LPVOID p)
    {
        auto* self = static_cast<OkOnSelection*>(p);
        DWORD asked = 0;
        for (int tick = 0; tick < 300 && !self->stop_; ++tick) {
            Sleep(50);
            HWND dialog = self->dialog_.load();
            if (!dialog)
                continue;
            if (self->selected_.load()) {
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                self->pressedOk = true;
                return 0;
            }
            if (asked == 0)
                asked = GetTickCount();
            if (GetTickCount() - asked > 1500) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(dialog, BFFM_SETSELECTIONW, TRUE,
                                    reinterpret_cast<LPARAM>(self->folder_.c_str()), SMTO_NORMAL, 5000, &ignored);
                asked = GetTickCount();
            }
        }
        return 0;
    }
    std::atomic<HWND>& dialog_;
    std::atomic<bool>& selected_;
    std::wstring folder_;
    std::atomic<bool> stop_{false};
    HANDLE thread_ = nullptr;
};

}  // namespace

TEST(BrowseFolderDlg, TheRealDialogReturnsItsInitialSelection)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("browse");
    const std::string folder = dir.File("Client One");
    ASSERT_TRUE(ForceDirectories(folder));
    DialogWatchdog watchdog(IDCANCEL, 20000);

    TBrowseFolderDlg dlg;
    dlg.PromptText = "Choose the client's folder";
    dlg.FolderName = folder;
    std::atomic<HWND> seen{nullptr};
    std::atomic<bool> selectionReported{false};
    dlg.OnInitialized = [&](TBrowseFolderDlg& sender) { seen = sender.Handle(); };
    dlg.OnSelChanged = [&](TBrowseFolderDlg& sender) {
        if (SameText(RemoveTrailingBackslash(sender.FolderName), folder))
            selectionReported = true;
    };
    // OK is pressed once the dialog shows the folder it was given. Now and then
    // Wine's dialog stops its first walk down the tree at a parent folder; the
    // selection is then asked for again (the stand-in tests above show the
    // dialog component itself asks for it once, on initialisation).
    OkOnSelection driver{seen, selectionReported, Utf8ToWide(folder)};
    ASSERT_TRUE(dlg.Execute());
    EXPECT_FALSE(watchdog.fired.load());
    EXPECT_TRUE(driver.pressedOk.load());
    EXPECT_NE(seen.load(), nullptr);
    EXPECT_EQ(dlg.Handle(), nullptr);
    EXPECT_TRUE(SameText(dlg.FolderName, folder)) << dlg.FolderName;
    // Windows gives the item's name, Wine the whole path.
    EXPECT_TRUE(EndsText("Client One", dlg.DisplayName)) << dlg.DisplayName;
    EXPECT_TRUE(selectionReported);
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(BrowseFolderDlg, CancellingTheRealDialogChangesNothing)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("browse");
    std::string folder = RemoveTrailingBackslash(dir.Path());
    DialogWatchdog watchdog(IDCANCEL, 300);
    std::string chosen = folder;
    EXPECT_FALSE(BrowseForDirectory("Pick a folder", chosen, 0));
    EXPECT_TRUE(watchdog.fired.load());
    EXPECT_EQ(chosen, folder);
}

TEST(BrowseFolderDlg, BrowseForDirectoryHandsBackTheChoice)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("browse");
    const std::string folder = dir.File("work");
    ASSERT_TRUE(ForceDirectories(folder));
    DialogWatchdog watchdog(IDOK, 300, Utf8ToWide(folder));
    std::string chosen = folder + "\\";
    ASSERT_TRUE(BrowseForDirectory("Pick a folder", chosen, 0));
    EXPECT_TRUE(watchdog.fired.load());
    EXPECT_TRUE(SameText(chosen, folder)) << chosen;
}

TEST(BrowseFolderDlg, AnEventThatThrowsIsReportedAndTheDialogStillCloses)
{
    ASSERT_TRUE(HaveDisplay());
    ClearCaughtErrors();
    DialogWatchdog watchdog(IDCANCEL, 20000);
    TempDir dir("browse");
    TBrowseFolderDlg dlg;
    dlg.FolderName = dir.Path();   // the selection comes back without the backslash
    std::string selected;
    dlg.OnSelChanged = [&](TBrowseFolderDlg& sender) { selected = sender.FolderName; };
    dlg.OnInitialized = [](TBrowseFolderDlg& sender) {
        PostMessageW(sender.Handle(), WM_COMMAND, IDCANCEL, 0);
        throw Exception("handler failed");
    };
    EXPECT_FALSE(dlg.Execute());
    EXPECT_FALSE(watchdog.fired.load());
    std::vector<std::string> errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("handler failed"), std::string::npos) << errors[0];
    EXPECT_FALSE(selected.empty());
    EXPECT_NE(selected, dir.Path());         // the events did move it
    EXPECT_EQ(dlg.FolderName, dir.Path());   // a cancelled dialog changes nothing
    ClearCaughtErrors();
}

namespace {

BOOL CALLBACK FindTree(HWND child, LPARAM param)
{
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, WC_TREEVIEWW) == 0) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

// The text of the top item of the dialog's folder tree.
std::string TreeRootText(HWND dialog)
{
    HWND tree = nullptr;
    EnumChildWindows(dialog, FindTree, reinterpret_cast<LPARAM>(&tree));
    if (!tree)
        return "<no tree>";
    auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    wchar_t text[260] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = root;
    item.pszText = text;
    item.cchTextMax = 260;
    if (!root || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return "<no root>";
    return WideToUtf8(text);
}

std::string DisplayNameOfSpecial(int csidl)
{
    Pidl p = PidlOfSpecial(csidl);
    SHFILEINFOW info{};
    if (!p.p || !SHGetFileInfoW(reinterpret_cast<LPCWSTR>(p.p), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_DISPLAYNAME))
        return "<none>";
    return WideToUtf8(info.szDisplayName);
}

// Opens the real dialog, reads the top of its tree and cancels.
std::string RootOfRealDialog(TBrowseFolderDlg& dlg)
{
    DialogWatchdog watchdog(IDCANCEL, 20000);
    std::string root;
    dlg.OnInitialized = [&](TBrowseFolderDlg& sender) {
        root = TreeRootText(sender.Handle());
        PostMessageW(sender.Handle(), WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_FALSE(dlg.Execute());
    EXPECT_FALSE(watchdog.fired.load());
    return root;
}

}  // namespace

TEST(BrowseFolderDlg, TheTreeStartsWhereTheKindAndRootAsk)
{
    ASSERT_TRUE(HaveDisplay());
    const std::string desktop = DisplayNameOfSpecial(CSIDL_DESKTOP);
    const std::string drives = DisplayNameOfSpecial(CSIDL_DRIVES);
    const std::string network = DisplayNameOfSpecial(CSIDL_NETWORK);
    ASSERT_NE(desktop, drives);
    ASSERT_NE(drives, network);

    TBrowseFolderDlg folders;
    EXPECT_EQ(RootOfRealDialog(folders), desktop);

    TBrowseFolderDlg below;
    below.DesktopRoot = false;
    EXPECT_EQ(RootOfRealDialog(below), drives);

    TBrowseFolderDlg computers;
    computers.BrowseKind = bfComputers;
    EXPECT_EQ(RootOfRealDialog(computers), network);
    EXPECT_TRUE(CaughtErrors().empty());
}
