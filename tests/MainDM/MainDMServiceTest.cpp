// Service control of the data module: the commands go to the stand-in
// sc.exe (in system\ beside this executable, where the tests point the
// system folder), which records them and does them on Wine's service
// manager against a small real test service.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "Classes/Lang.h"
#include "MainDMTestSupport.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/StringList.h"
#include "platform/SystemPrograms.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"
#include "support/TestService.h"
#include "support/TestSupport.h"

using namespace testing_support;
using namespace maindm_test;

namespace {

const wchar_t kService[] = L"Brenix Test Svc";
const std::string kQuoted = "\"Brenix Test Svc\"";

// A data module whose selected row and client list the test sets; the
// stand-in's record goes to a temporary folder.
struct Harness {
    TempDir dir{"dmsvc"};
    TClientService selected{"C:\\fah\\", "Brenix Test Svc"};
    bool hasSelection = true;
    std::vector<TClientService> clients;
    std::unique_ptr<TMainDM> dm;

    Harness()
    {
        TMainDMHost host;
        host.SelectedClient = [this](TClientService& c) { return c = selected, hasSelection; };
        host.Clients = [this] { return clients; };
        host.ComputerOfPath = &ComputerOfPath;
        dm = std::make_unique<TMainDM>(nullptr, host);
        SetSetting("hiShowExecResultInWnd", false);
        SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(dir.File("sc.log")).c_str());
    }
    ~Harness()
    {
        SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
    }
    // The stand-in's record so far, and since the last call (lines joined by "|").
    std::string Log() const
    {
        std::string path = dir.File("sc.log");
        return FileExists(path) ? ReadFile(path) : std::string();
    }
    std::string TakeLog()
    {
        std::string text = Log();
        DeleteFileUtf8(dir.File("sc.log"));
        return Join(SplitLines(text));
    }
    // How many of the five service actions are enabled after their update.
    int EnabledCount() const
    {
        int n = 0;
        for (TAction* a : {dm->StopFAHServiceAction, dm->RestartFAHServiceAction, dm->StartupTypeAutomaticAction,
                           dm->StartupTypeManualAction, dm->StartupTypeDisabledAction})
            n += a->Update() && a->Enabled();
        return n;
    }
};

// Asks the application window for an answer every 100 ms from another
// thread (as the system does to tell a window that hangs) until Stop; an
// answer not given within 30 s is missed.
struct WindowPinger {
    std::atomic<bool> done{false};
    std::atomic<int> answered{0}, missed{0};
    std::thread thread{[this] {
        for (; !done; Sleep(100)) {
            DWORD_PTR result = 0;
            ++(SendMessageTimeoutW(Application().Handle(), WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result) ? answered : missed);
        }
    }};
    ~WindowPinger() { Stop(); }
    void Stop()
    {
        done = true;
        if (thread.joinable())
            thread.join();
    }
};

// Holds every stand-in started meanwhile (after it has logged its command
// line) until Open, 2 min at most.
struct ScGate {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, L"BrenixScGate");
    ScGate()
    {
        ResetEvent(event);
        SetEnvironmentVariableW(L"BX_SC_WAIT", L"BrenixScGate");
    }
    ~ScGate()
    {
        SetEnvironmentVariableW(L"BX_SC_WAIT", nullptr);
        Open();
        CloseHandle(event);
    }
    void Open() { SetEvent(event); }
};

// The test service's name, once an instance an earlier test left stopping
// has stopped (until then it can't be made afresh); a minute at most.
const wchar_t* SettledService()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE old = manager ? OpenServiceW(manager, kService, SERVICE_QUERY_STATUS) : nullptr;
    if (old) {
        PumpUntil([&] { return ServiceState(old) != SERVICE_STOP_PENDING; }, 60000);
        CloseServiceHandle(old);
    }
    if (manager)
        CloseServiceHandle(manager);
    return kService;
}

// The service's state once it is `state`, or after a minute (the test
// service's process may be slow to start or to stop on a busy machine).
DWORD AwaitState(const TestService& svc, DWORD state)
{
    PumpUntil([&] { return svc.State() == state; }, 60000);
    return svc.State();
}

TMainDM* g_dm = nullptr;
std::atomic<int> g_enabledWhileRunning{-1};
bool g_restartRefused = false;
void CALLBACK LookAtTheAction(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_dm->RestartFAHServiceAction->Update();
    g_enabledWhileRunning = g_dm->RestartFAHServiceAction->Enabled();
    // As the main window's automatic restart asks.
    g_restartRefused = g_dm->ControlFahService("\\\\box", "Brenix Test Svc", false, false).Refused;
}
void CALLBACK FreeTheModule(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    delete g_dm;
    g_dm = nullptr;
}
// The service manager is being asked (and then has answered).
std::atomic<bool> g_asking{false}, g_answered{false};
void CALLBACK FreeTheModuleWhileAsking(HWND, UINT, UINT_PTR id, DWORD)
{
    if (g_asking)
        FreeTheModule(nullptr, 0, id, 0);
}

}  // namespace

TEST(MainDMServices, TheCommandsReachTheRealServiceOfTheSelectedClient)
{
    TestService svc(SettledService());
    ASSERT_EQ(AwaitState(svc, SERVICE_RUNNING), (DWORD)SERVICE_RUNNING);
    Harness h;
    // Enabled only for a selected client with a service name.
    EXPECT_EQ(h.EnabledCount(), 5);
    h.selected.ServiceName = "  ";
    EXPECT_EQ(h.EnabledCount(), 0);
    h.dm->StopFAHServiceAction->Execute();
    h.selected.ServiceName = "Brenix Test Svc";
    h.hasSelection = false;
    EXPECT_EQ(h.EnabledCount(), 0);
    h.hasSelection = true;
    EXPECT_EQ(h.TakeLog(), "");

    // A folder on \\box: stop, then start, there, the start only once the
    // service has stopped (sc.exe returns while it is still stopping); the
    // last output is shown when asked for.
    h.selected.Folder = "\\\\box\\fah\\client1\\";
    SetSetting("hiShowExecResultInWnd", true);
    std::string shown = AnswerBox([&] { h.dm->RestartFAHServiceAction->Execute(); }, IDOK);
    EXPECT_EQ(shown.rfind("SERVICE_NAME: Brenix Test Svc", 0), 0u) << shown;
    SetSetting("hiShowExecResultInWnd", false);
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\box stop " + kQuoted + "|-> stop|sc.exe \\\\box start " + kQuoted + "|-> start");
    EXPECT_EQ(AwaitState(svc, SERVICE_RUNNING), (DWORD)SERVICE_RUNNING);

    // A local folder: this computer's name.
    h.selected.Folder = "C:\\fah\\";
    h.dm->StopFAHServiceAction->Execute();
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\" + LocalComputer() + " stop " + kQuoted + "|-> stop");
    EXPECT_EQ(AwaitState(svc, SERVICE_STOPPED), (DWORD)SERVICE_STOPPED);

    struct { TAction* action; std::string word; DWORD type; } types[] = {
        {h.dm->StartupTypeDisabledAction, "disabled", SERVICE_DISABLED},
        {h.dm->StartupTypeAutomaticAction, "auto", SERVICE_AUTO_START},
        {h.dm->StartupTypeManualAction, "demand", SERVICE_DEMAND_START},
    };
    for (const auto& t : types) {
        t.action->Execute();
        EXPECT_EQ(h.TakeLog(), "sc.exe \\\\" + LocalComputer() + " config " + kQuoted + " start= " + t.word +
                                   "|-> start type " + t.word);
        EXPECT_EQ(svc.StartType(), t.type) << t.word;
    }
    EXPECT_EQ(QuoteServiceName("a \"b\""), "\"a \"\"b\"\"\"");

    // A command that prints nothing (Wine's own sc.exe on success): the box
    // says what ran and how it ended.
    SetEnvironmentVariableW(L"BX_SC_QUIET", L"1");
    SetSetting("hiShowExecResultInWnd", true);
    std::string text = AnswerBox([&] { h.dm->StartupTypeAutomaticAction->Execute(); }, IDOK);
    SetSetting("hiShowExecResultInWnd", false);
    SetEnvironmentVariableW(L"BX_SC_QUIET", nullptr);
    EXPECT_NE(text.find("sc.exe \\\\" + LocalComputer() + " config " + kQuoted + " start= auto"), std::string::npos)
        << text;
    EXPECT_NE(text.find(sExecExitCode + " 0"), std::string::npos) << text;
    EXPECT_EQ(svc.StartType(), (DWORD)SERVICE_AUTO_START);
    h.TakeLog();
}

TEST(MainDMServices, ARestartThatFailsIsReported)
{
    TestService svc(SettledService());
    ASSERT_EQ(AwaitState(svc, SERVICE_RUNNING), (DWORD)SERVICE_RUNNING);
    Harness h;
    // Disabled meanwhile: the stop goes through, the start is refused.
    ASSERT_TRUE(ChangeServiceConfigW(svc.service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    std::string shown = AnswerBox([&] { h.dm->RestartFAHServiceAction->Execute(); }, IDOK);
    EXPECT_NE(shown.find(FillIn(sServiceNotRestarted, {"Brenix Test Svc"})), std::string::npos) << shown;
    EXPECT_NE(shown.find("StartService FAILED 1058"), std::string::npos) << shown;
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\" + LocalComputer() + " stop " + kQuoted + "|-> stop|sc.exe \\\\" +
                               LocalComputer() + " start " + kQuoted + "|-> start failed 1058");
    EXPECT_EQ(svc.State(), (DWORD)SERVICE_STOPPED);
}

// The stop was not taken (the computer's manager can't be reached): the
// service is left as it was, and the box names the stop and how it ended.
TEST(MainDMServices, ARestartWhoseStopIsNotTakenStartsNothingAndShowsTheStop)
{
    TestService svc(SettledService());
    ASSERT_EQ(AwaitState(svc, SERVICE_RUNNING), (DWORD)SERVICE_RUNNING);
    Harness h;
    h.selected.Folder = "\\\\box\\fah\\";
    SetEnvironmentVariableW(L"BX_SC_FAIL", L"1722");
    std::string shown = AnswerBox([&] { h.dm->RestartFAHServiceAction->Execute(); }, IDOK);
    SetEnvironmentVariableW(L"BX_SC_FAIL", nullptr);
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\box stop " + kQuoted + "|-> stop failed 1722");
    EXPECT_EQ(shown.rfind(FillIn(sServiceNotRestarted, {"Brenix Test Svc"}), 0), 0u) << shown;
    EXPECT_NE(shown.find("sc.exe \\\\box stop " + kQuoted + "\r\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("[SC] OpenSCManager FAILED 1722"), std::string::npos) << shown;
    EXPECT_NE(shown.find(FillIn(sExecEndedWithCode, {"1722"})), std::string::npos) << shown;
    EXPECT_EQ(shown.find(" start "), std::string::npos) << shown;
    EXPECT_EQ(svc.State(), (DWORD)SERVICE_RUNNING);
}

namespace {

struct TProcessBox {
    DWORD pid;
    HWND box;
};

// A message box the other process shows.
HWND BoxOfProcess(DWORD pid)
{
    TProcessBox f{pid, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) WINAPI -> BOOL {
            auto* f = reinterpret_cast<TProcessBox*>(p);
            wchar_t cls[16] = {};
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            GetClassNameW(w, cls, 16);
            if (owner == f->pid && IsWindowVisible(w) && std::wstring(cls) == L"#32770") {
                f->box = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&f));
    return f.box;
}

}  // namespace

// The application ends (the main window is closed) while a restart waits
// for the service to stop: the restart is finished before the process goes,
// and the service runs again. A restart that then fails (the service was
// disabled meanwhile) is told in a box once the program's loop has ended.
TEST(MainDMServices, ARestartIsFinishedWhenTheProgramEndsMeanwhile)
{
    TestService svc(SettledService());
    ASSERT_EQ(AwaitState(svc, SERVICE_RUNNING), (DWORD)SERVICE_RUNNING);
    const struct {
        bool disabled;
        DWORD state;
        const char* last;
    } cases[] = {{false, SERVICE_RUNNING, "-> start"}, {true, SERVICE_STOPPED, "-> start failed 1058"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.disabled ? "disabled" : "enabled");
        if (c.disabled) {
            ASSERT_TRUE(ChangeServiceConfigW(svc.service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE,
                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
        }
        TempDir dir("dmsvcend");
        const std::string log = dir.File("sc.log"), result = dir.File("result.txt");
        SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(log).c_str());
        std::wstring cmd = Utf8ToWide("\"" + BesideExe("maindm_restart_at_end.exe") + "\" \"Brenix Test Svc\" \"" +
                                      BesideExe("system") + "\" \"" + result + "\"");
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
        CloseHandle(pi.hThread);
        std::string told;
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(pi.hProcess, 50) == WAIT_TIMEOUT && GetTickCount() - start < 60000) {
            if (HWND box = BoxOfProcess(pi.dwProcessId); box && told.empty()) {
                told = WindowText(GetDlgItem(box, 0xFFFF));
                EXPECT_TRUE(FileExists(result));   // the restart had returned
                PressDialogButton(box, IDOK);
            }
        }
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_OBJECT_0);
        CloseHandle(pi.hProcess);
        ASSERT_TRUE(FileExists(result));
        EXPECT_EQ(ReadFile(result), "terminated 1");
        const std::string on = "sc.exe \\\\" + LocalComputer();
        EXPECT_EQ(Join(SplitLines(ReadFile(log))),
                  on + " stop " + kQuoted + "|-> stop|" + on + " start " + kQuoted + "|" + c.last);
        EXPECT_EQ(AwaitState(svc, c.state), c.state);
        if (c.disabled) {
            EXPECT_EQ(told.rfind(FillIn(sServiceNotRestarted, {"Brenix Test Svc"}), 0), 0u) << told;
        } else {
            EXPECT_EQ(told, "");
        }
    }
}

// Every question to the service manager takes 1.5 s here, as one to a
// computer whose manager a firewall hides takes the network's time-out.
TEST(MainDMServices, AServiceManagerSlowToAnswerNeverFreezesTheWindow)
{
    TestService svc(SettledService());
    ASSERT_EQ(AwaitState(svc, SERVICE_RUNNING), (DWORD)SERVICE_RUNNING);
    Harness h;
    std::atomic<int> asked{0};
    TMainDM::SetServiceQueryHookForTesting([&](const std::string&) { ++asked, Sleep(1500); });
    const std::string on = "sc.exe \\\\" + LocalComputer();

    // sc.exe could not stop it (the manager can't be reached): nobody asks
    // for the state; the failure is told.
    SetEnvironmentVariableW(L"BX_SC_FAIL", L"1722");
    std::string shown = AnswerBox([&] { h.dm->RestartFAHServiceAction->Execute(); }, IDOK);
    SetEnvironmentVariableW(L"BX_SC_FAIL", nullptr);
    EXPECT_EQ(asked.load(), 0);
    EXPECT_NE(shown.find("FAILED 1722"), std::string::npos) << shown;
    EXPECT_EQ(h.TakeLog(), on + " stop " + kQuoted + "|-> stop failed 1722");

    // A restart that goes well: the window keeps answering while the state
    // is asked for (each question is answered once the window has answered
    // 5 times meanwhile, or after a minute).
    WindowPinger ui;
    std::atomic<int> fewest{1000};
    TMainDM::SetServiceQueryHookForTesting([&](const std::string&) {
        ++asked;
        const int before = ui.answered;
        for (const DWORD begin = GetTickCount(); ui.answered - before < 5 && GetTickCount() - begin < 60000;)
            Sleep(20);
        fewest = std::min<int>(fewest, ui.answered - before);
    });
    h.dm->RestartFAHServiceAction->Execute();
    ui.Stop();
    EXPECT_GE(asked.load(), 2);
    EXPECT_GE(fewest.load(), 5) << "the window did not answer while the manager was asked";
    EXPECT_EQ(ui.missed.load(), 0);
    EXPECT_EQ(h.TakeLog(), on + " stop " + kQuoted + "|-> stop|" + on + " start " + kQuoted + "|-> start");
    EXPECT_EQ(AwaitState(svc, SERVICE_RUNNING), (DWORD)SERVICE_RUNNING);

    // The module is freed while the manager is being asked: the wait ends
    // without the answer, which comes later to nobody; no start follows.
    HANDLE answer = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    TMainDM::SetServiceQueryHookForTesting([answer](const std::string&) {
        g_asking = true;
        WaitForSingleObject(answer, 60000);
        g_answered = true;
    });
    g_dm = h.dm.release();
    SetTimer(nullptr, 0, 20, FreeTheModuleWhileAsking);
    g_dm->RestartFAHServiceAction->Execute();
    TMainDM::SetServiceQueryHookForTesting(nullptr);
    EXPECT_EQ(g_dm, nullptr);
    EXPECT_TRUE(g_asking && !g_answered);
    SetEvent(answer);
    EXPECT_TRUE(PumpUntil([] { return g_answered.load(); }, 60000)) << "the late answer did not come";
    CloseHandle(answer);
    EXPECT_EQ(h.TakeLog(), on + " stop " + kQuoted + "|-> stop");
}

TEST(MainDMServices, AtShutdownOnlyTheServicesOfThisComputerStop)
{
    TestService svc(SettledService());
    ASSERT_EQ(AwaitState(svc, SERVICE_RUNNING), (DWORD)SERVICE_RUNNING);
    Harness h;
    // Another computer, this one's name in capitals (a share, not this
    // computer as the list sees it), a client without a service.
    h.clients = {{"\\\\box\\fah\\", "Brenix Test Svc"},
                 {"\\\\" + UpperCase(LocalComputer()) + "\\fah\\", "Brenix Test Svc"},
                 {"C:\\other\\", "  "}};
    h.dm->StopLocalServices();
    // A stop would show at once: the service takes it as stop-pending before
    // the call to the manager returns.
    EXPECT_EQ(svc.State(), (DWORD)SERVICE_RUNNING);
    h.clients.push_back({"D:\\fah\\", " Brenix Test Svc "});
    h.dm->StopLocalServices();
    EXPECT_EQ(AwaitState(svc, SERVICE_STOPPED), (DWORD)SERVICE_STOPPED);
}

TEST(MainDMServices, WaitingForScKeepsTheProgramAnsweringAndEndsWhenTheModuleGoes)
{
    Harness h;
    const std::string sc = SystemProgramPath("sc.exe");
    TExecResult r = ExecAndCapture(sc, "sc.exe oem");
    EXPECT_TRUE(r.Started && r.Finished);
    EXPECT_EQ(r.ExitCode, 7u);
    EXPECT_EQ(r.Output, "size: Gr\xC3\xB6\xC3\x9F" "e\r\n");
    EXPECT_FALSE(ExecAndCapture(BesideExe("no-such-program-here.exe"), "no-such-program-here.exe stop x").Started);
    // A program left behind holding the output does not hold the wait: the
    // one this leaves ends only once let go.
    {
        ScGate gate;
        r = ExecAndCapture(sc, "sc.exe spawn");
        EXPECT_EQ(r.Output, "spawned\r\n");
        EXPECT_EQ(h.Log().find("-> held"), std::string::npos) << "the wait lasted until the program left behind ended";
        gate.Open();
        EXPECT_TRUE(PumpUntil([&] { return h.Log().find("-> held") != std::string::npos; }, 60000))
            << "the program left behind did not end";
    }
    h.TakeLog();

    // The stand-in runs until the application window has answered 20 times
    // meanwhile and the action has been looked at: the window keeps
    // answering and the service actions are disabled while it runs.
    h.selected = {"\\\\box\\fah\\", "No Such Svc"};
    {
        ScGate gate;
        WindowPinger ui;
        std::atomic<int> answeredWhileRunning{-1};
        std::thread letGo([&] {
            const DWORD begin = GetTickCount();
            auto waitFor = [&](auto pred) {
                while (!pred() && GetTickCount() - begin < 60000)
                    Sleep(20);
            };
            waitFor([&] { return h.Log().find(" stop ") != std::string::npos; });
            const int before = ui.answered;
            waitFor([&] { return ui.answered - before >= 20 && g_enabledWhileRunning != -1; });
            answeredWhileRunning = ui.answered - before;
            gate.Open();
        });
        g_dm = h.dm.get();
        SetTimer(nullptr, 0, 1000, LookAtTheAction);
        h.dm->StopFAHServiceAction->Execute();
        EXPECT_NE(answeredWhileRunning.load(), -1) << "the command's end was not waited for";
        letGo.join();
        ui.Stop();
        EXPECT_GE(answeredWhileRunning.load(), 20) << "the window did not answer while the command ran";
        EXPECT_EQ(ui.missed.load(), 0);
    }
    EXPECT_EQ(g_enabledWhileRunning.load(), 0);
    EXPECT_TRUE(g_restartRefused);
    EXPECT_EQ(h.EnabledCount(), 5);
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\box stop \"No Such Svc\"|-> no such service");

    // Freed 300 ms into a restart: the wait ends while the command still
    // runs, and no start follows once it has ended.
    {
        ScGate gate;
        g_dm = h.dm.release();
        SetTimer(nullptr, 0, 300, FreeTheModule);
        g_dm->RestartFAHServiceAction->Execute();
        EXPECT_EQ(g_dm, nullptr);
        EXPECT_EQ(h.Log().find("->"), std::string::npos) << "the wait lasted until the command ended";
        gate.Open();
        EXPECT_TRUE(PumpUntil([&] { return h.Log().find("->") != std::string::npos; }, 60000))
            << "the stop did not end";
    }
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\box stop \"No Such Svc\"|-> no such service");
}

TEST(MainDMServices, ScIsTheSystemsNotACopyBesideTheProgram)
{
    // Without the tests' folder: the system's own folders.
    SetSystemProgramFolderForTesting("");
    wchar_t system[MAX_PATH] = {}, windows[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(SystemProgramPath("sc.exe"), WideToUtf8(system) + "\\sc.exe");
    EXPECT_EQ(WindowsProgramPath("explorer.exe"), WideToUtf8(windows) + "\\explorer.exe");

    // A copy of sc.exe beside the program, which is the current folder too,
    // is not the one that runs.
    const std::string planted = BesideExe("sc.exe");
    ASSERT_TRUE(CopyFileW(Utf8ToWide(BesideExe("system\\sc.exe")).c_str(), Utf8ToWide(planted).c_str(), FALSE));
    Harness h;
    h.selected = {"C:\\fah\\", "No Such Svc"};
    h.dm->StopFAHServiceAction->Execute();
    EXPECT_EQ(h.TakeLog(), "");
    DeleteFileUtf8(planted);
    SetSystemProgramFolderForTesting(BesideExe("system\\"));
}
