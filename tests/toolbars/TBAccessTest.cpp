// Accessibility of the toolbar and its menus, seen from another process
// (tb_acc_client.exe), and the toolbar without oleacc.dll.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TBMainShape.h"
#include "TBDrive.h"
#include "TBTestHost.h"
#include "support/Input.h"
#include "support/TestSupport.h"
#include "toolbars/TBAccess.h"

using namespace testing_support;

namespace {

using tb_test::Drive;
using tb_test::WaitFor;

// A child process with its standard input and output on pipes.
class ClientProcess {
public:
    bool Start(const std::wstring& exe)
    {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE inRead, outWrite;
        if (!CreatePipe(&inRead, &inWrite_, &sa, 0) || !CreatePipe(&outRead_, &outWrite, &sa, 0))
            return false;
        SetHandleInformation(inWrite_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(outRead_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = inRead;
        si.hStdOutput = outWrite;
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::wstring cmd = L"\"" + exe + L"\"";
        bool ok = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi_) != FALSE;
        CloseHandle(inRead);
        CloseHandle(outWrite);
        return ok;
    }
    ~ClientProcess()
    {
        if (inWrite_)
            CloseHandle(inWrite_);
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 5000) != WAIT_OBJECT_0)
                TerminateProcess(pi_.hProcess, 1);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
        if (outRead_)
            CloseHandle(outRead_);
    }
    // Sends a command and reads the answer up to "END" (blocking: call it
    // from a driver thread while the GUI thread pumps).
    std::vector<std::string> Ask(const std::string& command)
    {
        std::string line = command + "\n";
        DWORD written = 0;
        WriteFile(inWrite_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        std::vector<std::string> lines;
        for (;;) {
            size_t nl;
            while ((nl = buffer_.find('\n')) == std::string::npos) {
                char chunk[512];
                DWORD got = 0;
                if (!ReadFile(outRead_, chunk, sizeof chunk, &got, nullptr) || got == 0)
                    return lines;
                buffer_.append(chunk, got);
            }
            std::string l = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            if (!l.empty() && l.back() == '\r')
                l.pop_back();
            if (l == "END")
                return lines;
            lines.push_back(l);
        }
    }

private:
    HANDLE inWrite_ = nullptr;
    HANDLE outRead_ = nullptr;
    PROCESS_INFORMATION pi_{};
    std::string buffer_;
};

std::wstring ClientExe()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/") + 1) + L"tb_acc_client.exe";
}

bool Has(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& l : lines)
        if (l == line)
            return true;
    return false;
}

POINT CenterOf(TTBItemViewer* v)
{
    RECT r = v->BoundsRect;
    return v->View()->Window()->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

bool OleAccPresent()
{
    HMODULE m = LoadLibraryW(L"oleacc.dll");
    if (m)
        FreeLibrary(m);
    return m != nullptr;
}

}  // namespace

TEST(TBAccess, AnotherProcessReadsNamesDefaultActionsAndGetsEFailAfterTheMenuClosed)
{
    if (!HaveDisplay() || !OleAccPresent())
        GTEST_SKIP();
    TMainShapeForm f(900, 300);
    SetToolbarCaptionPlacement(f.toolbar, 1);
    f.ShowNow();
    ClientProcess client;
    ASSERT_TRUE(client.Start(ClientExe()));
    const std::string bar = std::to_string(reinterpret_cast<uintptr_t>(f.toolbar->Handle()));
    std::vector<std::string> closed, open, held, after;
    Drive([&] {
        closed = client.Ask("names " + bar);
        SendInputPumping(MouseClickAt(CenterOf(f.toolbar->View()->Find(f.service))), 0);
        if (!WaitFor([] { return VisiblePopupWindows().size() == 1; }))
            return;
        Sleep(100);
        open = client.Ask("names " + bar);
        HWND popup = VisiblePopupWindows()[0];
        held = client.Ask("hold " + std::to_string(reinterpret_cast<uintptr_t>(popup)));
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 0);
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 0);
        WaitFor([] { return VisiblePopupWindows().empty(); });
        Sleep(100);
        after = client.Ask("held");
        client.Ask("quit");
    });
    EXPECT_TRUE(Has(closed, "Refresh\tF5|Press")) << ::testing::PrintToString(closed);
    EXPECT_TRUE(Has(closed, "Delete folder\tDel|Press")) << ::testing::PrintToString(closed);
    EXPECT_TRUE(Has(closed, "Service|Open")) << ::testing::PrintToString(closed);
    EXPECT_TRUE(Has(open, "Service|Close")) << ::testing::PrintToString(open);
    ASSERT_EQ(1u, held.size());
    EXPECT_EQ("count 3", held[0]) << "Stop, Restart, Start type";
    ASSERT_EQ(1u, after.size());
    EXPECT_EQ("80004005 80004005", after[0]) << "the popup's view went: E_FAIL";
}

namespace {

struct WinEvent {
    DWORD event;
    HWND wnd;
    LONG child;
};
std::vector<WinEvent> g_events;

void CALLBACK RecordWinEvent(HWINEVENTHOOK, DWORD event, HWND wnd, LONG, LONG child, DWORD, DWORD)
{
    g_events.push_back(WinEvent{event, wnd, child});
}

}  // namespace

// A menu opened by keyboard: menu start, popup start, then the focus on its
// first item; the focus follows the keys and goes back to the toolbar's
// item when the popup closes; menu end comes last.
TEST(TBAccess, MenuEventsComeInTheirOrder)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f;
    f.toolbar->SetMenuBar(true);
    SetToolbarCaptionPlacement(f.toolbar, 1);
    f.ShowNow();
    // In context: called at once (an event for a window being destroyed
    // would not reach a hook outside it).
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_MENUSTART, EVENT_OBJECT_FOCUS, GetModuleHandleW(nullptr),
                                         RecordWinEvent, GetCurrentProcessId(), 0, WINEVENT_INCONTEXT);
    ASSERT_NE(nullptr, hook);
    g_events.clear();
    HWND popup = nullptr;
    Drive([&] {
        SendInputPumping(Chord({VK_MENU, 'V'}), 0);   // Ser&vice, its first item selected
        if (!WaitFor([] { return VisiblePopupWindows().size() == 1; }))
            return;
        popup = VisiblePopupWindows()[0];
        SendInputPumping(Chord({VK_DOWN}), 0);
        SendInputPumping(Chord({VK_ESCAPE}), 0);
        SendInputPumping(Chord({VK_ESCAPE}), 0);
        WaitFor([] { return GetCapture() == nullptr; });
    });
    Pump(100);
    UnhookWinEvent(hook);
    f.toolbar->SetMenuBar(false);
    ASSERT_NE(nullptr, popup);
    const HWND bar = f.toolbar->Handle();
    std::vector<std::string> seen;
    for (const WinEvent& e : g_events) {
        if (e.event > EVENT_SYSTEM_MENUPOPUPEND && e.event != EVENT_OBJECT_FOCUS)
            continue;
        std::string who = e.wnd == popup ? "popup" : e.wnd == bar ? "bar" : "other";
        std::string what = e.event == EVENT_SYSTEM_MENUSTART       ? "menu start"
                           : e.event == EVENT_SYSTEM_MENUEND       ? "menu end"
                           : e.event == EVENT_SYSTEM_MENUPOPUPSTART ? "popup start " + who
                           : e.event == EVENT_SYSTEM_MENUPOPUPEND   ? "popup end " + who
                                                                    : "focus " + who + " " + std::to_string(e.child);
        // From the menu's start (the item may have been hot before).
        if (!seen.empty() || what == "menu start")
            seen.push_back(what);
    }
    // Service is the seventh child of the toolbar (items and separators before it).
    const std::vector<std::string> want = {"menu start",    "focus bar 7",     "popup start popup", "focus popup 1",
                                           "focus popup 2", "popup end popup", "focus bar 7",       "menu end"};
    EXPECT_EQ(want, seen);
}

TEST(TBAccess, DisconnectAllCutsOffClientsAndCountsTheObjects)
{
    if (!HaveDisplay() || !OleAccPresent())
        GTEST_SKIP();
    TMainShapeForm f;
    f.ShowNow();
    ClientProcess client;
    ASSERT_TRUE(client.Start(ClientExe()));
    const std::string bar = std::to_string(reinterpret_cast<uintptr_t>(f.toolbar->Handle()));
    std::vector<std::string> held, before, after;
    Drive([&] { held = client.Ask("hold " + bar); before = client.Ask("held"); });
    int n = TBAccDisconnectAll();
    Drive([&] { after = client.Ask("held"); client.Ask("quit"); });
    EXPECT_EQ("count 9", held.at(0)) << "six items and three separators";
    EXPECT_EQ("00000000 00000000", before.at(0));
    EXPECT_GE(n, 1);
    EXPECT_NE("00000000 00000000", after.at(0)) << "disconnected";
}

// Run with WINEDLLOVERRIDES "oleacc=" (the second entry of this executable).
TEST(TBAccessNoOleAcc, NoObjectsNoAnswerAndMenusWork)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    if (OleAccPresent())
        GTEST_SKIP() << "oleacc.dll is there";
    TMainShapeForm f;
    SetToolbarCaptionPlacement(f.toolbar, 1);
    f.ShowNow();
    EXPECT_FALSE(InitializeOleAcc());
    EXPECT_EQ(0, SendMessageW(f.toolbar->Handle(), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT)));
    EXPECT_EQ(nullptr, TBGetViewAccObject(f.toolbar->View()));
    Drive([&] {
        SendInputPumping(MouseClickAt(CenterOf(f.toolbar->View()->Find(f.service))), 0);
        if (!WaitFor([] { return VisiblePopupWindows().size() == 1; }))
            return;
        HWND popup = VisiblePopupWindows()[0];
        EXPECT_EQ(0, SendMessageW(popup, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT)));
        SendInputPumping({KeyInput(VK_DOWN, false), KeyInput(VK_DOWN, true)}, 0);
        SendInputPumping({KeyInput(VK_RETURN, false), KeyInput(VK_RETURN, true)}, 0);
        WaitFor([] { return VisiblePopupWindows().empty(); });
    });
    Pump(100);
    EXPECT_EQ(1, f.runs["Stop"]);
}
