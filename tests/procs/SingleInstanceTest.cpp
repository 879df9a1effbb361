// The single-instance guard: the shared block between two guards, bringing a
// window forward, and the real program started twice.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Classes/SingleInstance.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"
#include "support/TestSupport.h"

using testing_support::HaveDisplay;
using testing_support::PumpUntil;

namespace {

std::string TestName(const char* what)
{
    return std::string("BrenixTest_procs_") + what + "_" + std::to_string(GetCurrentProcessId());
}

HWND MakeTopWindow()
{
    return CreateWindowExW(0, L"STATIC", L"first copy", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300, 200,
                           nullptr, nullptr, nullptr, nullptr);
}

// ---- the real program ------------------------------------------------------

struct TFindMain {
    DWORD Pid;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectMainWindows(HWND w, LPARAM lp)
{
    auto* f = reinterpret_cast<TFindMain*>(lp);
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    // The main window is the form the application window owns.
    wchar_t ownerCls[64] = {};
    GetClassNameW(GetWindow(w, GW_OWNER), ownerCls, 64);
    if (std::wstring(cls) == L"BrenixForm" && std::wstring(ownerCls) == L"BrenixApplication" &&
        (f->Pid == 0 || f->Pid == pid))
        f->Found.push_back(w);
    return TRUE;
}

BOOL CALLBACK AnyWindowOf(HWND w, LPARAM lp)
{
    auto* f = reinterpret_cast<TFindMain*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == f->Pid)
        f->Found.push_back(w);
    return TRUE;
}

std::vector<HWND> MainWindows(DWORD pid)
{
    TFindMain f{pid, {}};
    EnumWindows(CollectMainWindows, reinterpret_cast<LPARAM>(&f));
    return f.Found;
}

class TProgram {
public:
    ~TProgram()
    {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(pi_.hProcess, 1);
                WaitForSingleObject(pi_.hProcess, 10000);
            }
            CloseHandle(pi_.hProcess);
        }
    }
    bool Start()
    {
        std::wstring exe = Utf8ToWide(ExeFolder() + "..\\..\\Brenix.exe");
        std::wstring cmd = L"\"" + exe + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
            return false;
        CloseHandle(pi_.hThread);
        pi_.hThread = nullptr;
        return true;
    }
    DWORD Pid() const { return pi_.dwProcessId; }
    HANDLE Process() const { return pi_.hProcess; }
    // The program's main window once it is there.
    HWND WaitForMainWindow(DWORD ms)
    {
        HWND found = nullptr;
        PumpUntil(
            [&] {
                auto w = MainWindows(Pid());
                found = w.empty() ? nullptr : w[0];
                return found && IsWindowVisible(found);
            },
            ms);
        return found;
    }
    bool WaitForExit(DWORD ms, DWORD* code = nullptr)
    {
        if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0)
            return false;
        if (code)
            GetExitCodeProcess(pi_.hProcess, code);
        return true;
    }

private:
    PROCESS_INFORMATION pi_ = {};
};

// Starts a second copy and watches it until it ends; true when it ended with
// code 0 and never showed a window of its own.
void RunSecondCopy(bool& endedQuietly, bool& showedWindow)
{
    TProgram second;
    ASSERT_TRUE(second.Start());
    showedWindow = false;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(second.Process(), 0) == WAIT_TIMEOUT && GetTickCount() - start < 20000) {
        TFindMain f{second.Pid(), {}};
        EnumWindows(AnyWindowOf, reinterpret_cast<LPARAM>(&f));
        for (HWND w : f.Found)
            if (IsWindowVisible(w))
                showedWindow = true;
        Sleep(1);
    }
    DWORD code = 99;
    endedQuietly = second.WaitForExit(0, &code) && code == 0;
}

}  // namespace

TEST(SingleInstance, MessageIsRegisteredUnderTheBlockName)
{
    EXPECT_STREQ(kSingleInstanceName, "FileForBrenix_ver150Handle");
    UINT m = SingleInstanceMessage();
    EXPECT_GE(m, 0xC000u);
    EXPECT_EQ(m, RegisterWindowMessageW(L"FileForBrenix_ver150Handle"));
}

TEST(SingleInstance, SecondGuardSeesWhatTheFirstPublished)
{
    std::string name = TestName("block");
    HWND w = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    {
        TSingleInstanceGuard first(name);
        ASSERT_TRUE(first.IsFirstInstance());
        EXPECT_EQ(first.StoredWindow(), nullptr);
        first.Publish(w);
        EXPECT_EQ(first.Message(), RegisterWindowMessageW(Utf8ToWide(name).c_str()));
        {
            TSingleInstanceGuard second(name);
            EXPECT_FALSE(second.IsFirstInstance());
            EXPECT_EQ(second.StoredWindow(), w);
            EXPECT_EQ(second.StoredMessage(), first.Message());
            // A second copy does not overwrite the first one's values.
            second.Publish(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x9999)));
            EXPECT_EQ(first.StoredWindow(), w);
        }
        TSingleInstanceGuard third(name);
        EXPECT_FALSE(third.IsFirstInstance());
    }
    // Everyone gone: the block went with them.
    TSingleInstanceGuard again(name);
    EXPECT_TRUE(again.IsFirstInstance());
    EXPECT_EQ(again.StoredWindow(), nullptr);
}

TEST(SingleInstance, SecondCopyRestoresTheMinimisedFirst)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no display";
    std::string name = TestName("restore");
    HWND w = MakeTopWindow();
    ASSERT_NE(w, nullptr);
    ShowWindow(w, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(w));
    TSingleInstanceGuard first(name);
    first.Publish(w);
    TSingleInstanceGuard second(name);
    ASSERT_FALSE(second.IsFirstInstance());
    second.ActivateFirstInstance();
    EXPECT_FALSE(IsIconic(w));
    EXPECT_TRUE(IsWindowVisible(w));
    DestroyWindow(w);
}

namespace {

// A first copy whose window thread stops answering for a while.
struct THungCopy {
    HWND Window = nullptr;
    HANDLE Made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE Wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE Done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~THungCopy()
    {
        CloseHandle(Made);
        CloseHandle(Wake);
        CloseHandle(Done);
    }
};

DWORD WINAPI HungCopyThread(LPVOID p)
{
    auto* c = static_cast<THungCopy*>(p);
    c->Window = MakeTopWindow();
    if (c->Window)
        ShowWindow(c->Window, SW_MINIMIZE);
    SetEvent(c->Made);
    // Hung: no message is looked at until woken (or 20 s passed).
    WaitForSingleObject(c->Wake, 20000);
    while (MsgWaitForMultipleObjects(1, &c->Done, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    if (c->Window)
        DestroyWindow(c->Window);
    return 0;
}

}  // namespace

TEST(SingleInstance, HungFirstCopyDoesNotHoldTheSecondOne)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no display";
    std::string name = TestName("hung");
    THungCopy copy;
    HANDLE thread = CreateThread(nullptr, 0, HungCopyThread, &copy, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(copy.Made, 10000);
    ASSERT_NE(copy.Window, nullptr);
    ASSERT_TRUE(IsIconic(copy.Window));
    TSingleInstanceGuard first(name);
    first.Publish(copy.Window);
    TSingleInstanceGuard second(name);
    ASSERT_FALSE(second.IsFirstInstance());
    DWORD start = GetTickCount();
    second.ActivateFirstInstance();
    DWORD took = GetTickCount() - start;
    SetEvent(copy.Wake);
    // The second copy went on at once; the first one comes back once it answers again.
    EXPECT_LT(took, 30000u) << "the start went on while the first copy hangs";
    EXPECT_TRUE(PumpUntil([&] { return !IsIconic(copy.Window); }, 20000));
    SetEvent(copy.Done);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

TEST(SingleInstance, HostileBlockContentsAreHarmless)
{
    std::string name = TestName("hostile");
    TSingleInstanceGuard first(name);
    ASSERT_TRUE(first.IsFirstInstance());
    // Someone else writes into the block: a window that does not exist and
    // an ordinary message number (WM_CLOSE) in place of the registered one.
    HANDLE m = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, Utf8ToWide(name).c_str());
    ASSERT_NE(m, nullptr);
    auto* block = static_cast<uint32_t*>(MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 8));
    ASSERT_NE(block, nullptr);
    block[0] = 0x7FFF0000u;
    block[1] = WM_CLOSE;
    TSingleInstanceGuard second(name);
    EXPECT_EQ(second.StoredMessage(), static_cast<UINT>(WM_CLOSE));
    // Not broadcast to every application: the registered number is used.
    EXPECT_EQ(second.ActivateFirstInstance(), second.Message());
    // A registered number in the block is what goes out.
    UINT other = RegisterWindowMessageW(L"BrenixTest_procs_other_message");
    block[1] = other;
    EXPECT_EQ(second.ActivateFirstInstance(), other);
    UnmapViewOfFile(block);
    CloseHandle(m);
}

TEST(SingleInstance, NameTakenByAnotherObjectStillRuns)
{
    std::string name = TestName("taken");
    HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, Utf8ToWide(name).c_str());
    ASSERT_NE(ev, nullptr);
    {
        TSingleInstanceGuard guard(name);
        EXPECT_TRUE(guard.IsFirstInstance());
        EXPECT_EQ(guard.StoredWindow(), nullptr);
        guard.Publish(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10)));
        EXPECT_EQ(guard.StoredMessage(), 0u);
    }
    CloseHandle(ev);
}

TEST(SingleInstance, RealProgramStartedTwice)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no display";
    ASSERT_TRUE(FileExists(ExeFolder() + "..\\..\\Brenix.exe"));
    ASSERT_TRUE(MainWindows(0).empty()) << "a copy of the program is running already";

    TProgram first;
    ASSERT_TRUE(first.Start());
    HWND main = first.WaitForMainWindow(20000);
    ASSERT_NE(main, nullptr);
    // The program's title, which its event-log records carry as their
    // source, is on the application window that owns the main window.
    wchar_t title[64] = {};
    GetWindowTextW(GetWindow(main, GW_OWNER), title, 64);
    EXPECT_EQ(std::wstring(title), L"Brenix");

    // Minimised: the second start restores it and ends without a window.
    ShowWindow(main, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(main) != FALSE; }, 20000));
    bool quiet = false, showed = true;
    RunSecondCopy(quiet, showed);
    EXPECT_TRUE(quiet);
    EXPECT_FALSE(showed);
    EXPECT_TRUE(PumpUntil([&] { return !IsIconic(main) && IsWindowVisible(main); }, 20000));
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == main; }, 20000));
    EXPECT_EQ(MainWindows(0).size(), 1u);

    // Hidden (as in the tray): shown again.
    ShowWindow(main, SW_HIDE);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 20000));
    RunSecondCopy(quiet, showed);
    EXPECT_TRUE(quiet);
    EXPECT_FALSE(showed);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != FALSE; }, 20000));
    EXPECT_EQ(MainWindows(0).size(), 1u);

    // The first copy ends; the next start is a first copy again.
    PostMessageW(main, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(first.WaitForExit(20000, &code));
    EXPECT_EQ(code, 0u);
    TProgram next;
    ASSERT_TRUE(next.Start());
    HWND nextMain = next.WaitForMainWindow(20000);
    ASSERT_NE(nextMain, nullptr);
    EXPECT_EQ(WaitForSingleObject(next.Process(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
    PostMessageW(nextMain, WM_CLOSE, 0, 0);
    EXPECT_TRUE(next.WaitForExit(20000));
}

// A start while the first copy is ending (its window closed, a service
// restart still being finished: here the block says so) is not dropped: it
// waits for that copy to go and then starts as the first one.
TEST(SingleInstance, AStartWhileTheFirstCopyEndsWaitsForItAndThenStarts)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no display";
    ASSERT_TRUE(MainWindows(0).empty()) << "a copy of the program is running already";
    TProgram first;
    ASSERT_TRUE(first.Start());
    HWND main = first.WaitForMainWindow(20000);
    ASSERT_NE(main, nullptr);
    HANDLE m = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, Utf8ToWide(kSingleInstanceName).c_str());
    ASSERT_NE(m, nullptr);
    auto* block = static_cast<uint32_t*>(MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 12));
    ASSERT_NE(block, nullptr);
    block[2] = first.Pid();
    UnmapViewOfFile(block);
    CloseHandle(m);

    TProgram second;
    ASSERT_TRUE(second.Start());
    // Waiting, with no window of its own yet.
    EXPECT_EQ(WaitForSingleObject(second.Process(), 1500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(MainWindows(second.Pid()).empty());
    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(first.WaitForExit(20000));
    HWND next = second.WaitForMainWindow(20000);
    ASSERT_NE(next, nullptr);
    PostMessageW(next, WM_CLOSE, 0, 0);
    EXPECT_TRUE(second.WaitForExit(20000));
}

// The first copy has ended its work and only waits for the answer to its
// last box: a start brings that box forward and ends at once.
TEST(SingleInstance, AStartWhileTheEndingCopyOnlyWaitsForItsBoxBringsTheBoxForward)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no display";
    const std::string name = TestName("answer");
    HWND window = MakeTopWindow();
    TSingleInstanceGuard first(name);
    first.Publish(window);
    first.MarkEnding();
    MarkOnlyAnswerAwaited();
    TEndingWait result = TEndingWait::Gone;
    bool behind = false, inFront = false;
    DWORD took = 0;
    {
        // The window's thread takes the activation from its box's loop.
        auto inFrontSoon = [](HWND w) {
            for (DWORD start = GetTickCount(); GetForegroundWindow() != w; Sleep(10))
                if (GetTickCount() - start >= 20000)
                    return false;
            return true;
        };
        testing_support::DialogDriver driver([&](HWND box) {
            SetForegroundWindow(window);
            behind = inFrontSoon(window);
            auto second = std::make_unique<TSingleInstanceGuard>(name);
            const DWORD start = GetTickCount();
            result = AwaitEndingFirstInstance(second, 8000);
            took = GetTickCount() - start;
            inFront = inFrontSoon(box);
            testing_support::PressDialogButton(box, IDOK);
        });
        MessageBoxW(nullptr, L"The service could not be restarted.", L"first copy", MB_OK);
    }
    DestroyWindow(window);
    EXPECT_EQ(result, TEndingWait::AnswerAwaited);
    EXPECT_LT(took, 8000u) << "the start waited for the copy to end";
    EXPECT_TRUE(behind) << "another window in front first";
    EXPECT_TRUE(inFront) << "the box brought forward";
}
