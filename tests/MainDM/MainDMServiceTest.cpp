// Service control of the data module: the commands go to the stand-in
// sc.exe beside this executable, which records them and does them on Wine's
// service manager against a small real test service.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "MainDM.h"
#include "MainDMTestSupport.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/StringList.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"
#include "support/TestSupport.h"

using namespace testing_support;
using namespace maindm_test;

namespace {

const wchar_t kService[] = L"Brenix Test Svc";
const char kQuoted[] = "\"Brenix Test Svc\"";

// The test service, made afresh for a test and removed after it.
class TestService {
public:
    TestService()
    {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        Remove();
        std::wstring path = L"\"" + Utf8ToWide(BesideExe("maindm_testsvc.exe")) + L"\"";
        service_ = CreateServiceW(manager_, kService, kService, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr,
                                  nullptr, nullptr, nullptr);
    }
    ~TestService()
    {
        Remove();
        CloseServiceHandle(manager_);
    }
    bool Made() const { return service_ != nullptr; }
    DWORD State(DWORD waitFor = 0) const
    {
        SERVICE_STATUS st = {};
        for (int i = 0; i < 100; ++i) {
            QueryServiceStatus(service_, &st);
            if (!waitFor || st.dwCurrentState == waitFor)
                break;
            Sleep(50);
        }
        return st.dwCurrentState;
    }
    bool Start() const { return StartServiceW(service_, 0, nullptr) && State(SERVICE_RUNNING) == SERVICE_RUNNING; }
    DWORD StartType() const
    {
        union {
            QUERY_SERVICE_CONFIGW config;
            char bytes[8192];
        } buf;
        DWORD need = 0;
        return QueryServiceConfigW(service_, &buf.config, sizeof buf, &need) ? buf.config.dwStartType : 0xFFFF;
    }

private:
    void Remove()
    {
        SC_HANDLE old = service_ ? service_ : OpenServiceW(manager_, kService, SERVICE_ALL_ACCESS);
        if (!old)
            return;
        SERVICE_STATUS st = {};
        ControlService(old, SERVICE_CONTROL_STOP, &st);
        service_ = old;
        State(SERVICE_STOPPED);
        DeleteService(old);
        CloseServiceHandle(old);
        service_ = nullptr;
    }
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

// A data module whose selected row and client list the test sets, with the
// stand-in's record in a temporary folder.
struct Harness {
    TempDir dir{"dmsvc"};
    TClientService selected;
    bool hasSelection = true;
    std::vector<TClientService> clients;
    std::unique_ptr<TMainDM> dm;

    Harness()
    {
        TMainDMHost host;
        host.SelectedClient = [this](TClientService& c) {
            c = selected;
            return hasSelection;
        };
        host.Clients = [this] { return clients; };
        host.ComputerOfPath = &ComputerOfPath;
        dm = std::make_unique<TMainDM>(nullptr, host);
        SetSetting("hiShowExecResultInWnd", false);
        SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(dir.File("sc.log")).c_str());
        SetEnvironmentVariableW(L"BX_SC_SLEEP_MS", nullptr);
    }
    ~Harness()
    {
        SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
        SetEnvironmentVariableW(L"BX_SC_SLEEP_MS", nullptr);
    }
    // The stand-in's record since the last call, lines joined by "|".
    std::string TakeLog()
    {
        std::string path = dir.File("sc.log");
        std::string text = FileExists(path) ? ReadFile(path) : std::string();
        DeleteFileW(Utf8ToWide(path).c_str());
        std::string joined;
        for (const std::string& line : SplitLines(text))
            joined += (joined.empty() ? "" : "|") + line;
        return joined;
    }
    std::vector<TAction*> ServiceActions() const
    {
        return {dm->StopFAHServiceAction, dm->RestartFAHServiceAction, dm->StartupTypeAutomaticAction,
                dm->StartupTypeManualAction, dm->StartupTypeDisabledAction};
    }
    // How many service actions are enabled after their update.
    int EnabledCount() const
    {
        int n = 0;
        for (TAction* a : ServiceActions()) {
            a->Update();
            n += a->Enabled();
        }
        return n;
    }
};

}  // namespace

TEST(MainDMServices, TheActionsNeedASelectedClientWithAServiceName)
{
    Harness h;
    h.selected = {"C:\\fah\\", "Brenix Test Svc"};
    EXPECT_EQ(h.EnabledCount(), 5);
    for (const char* name : {"", "   "}) {
        h.selected.ServiceName = name;
        EXPECT_EQ(h.EnabledCount(), 0) << '"' << name << '"';
    }
    h.selected.ServiceName = "Brenix Test Svc";
    h.hasSelection = false;
    EXPECT_EQ(h.EnabledCount(), 0);
    // Nothing runs for a disabled action.
    h.dm->StopFAHServiceAction->Execute();
    EXPECT_EQ(h.TakeLog(), "");
    EXPECT_EQ(QuoteServiceName("a \"b\""), "\"a \"\"b\"\"\"");
}

TEST(MainDMServices, StopRestartAndStartTypeReachTheRealService)
{
    TestService svc;
    ASSERT_TRUE(svc.Made());
    ASSERT_TRUE(svc.Start());
    Harness h;

    // A folder on \\box: stop, then start, against that computer; the output
    // of the last command is shown when asked for.
    h.selected = {"\\\\box\\fah\\client1\\", "Brenix Test Svc"};
    SetSetting("hiShowExecResultInWnd", true);
    std::string shown;
    {
        DialogDriver driver([&](HWND box) {
            shown = DialogText(box);
            PressDialogButton(box, IDOK);
        });
        h.dm->RestartFAHServiceAction->Execute();
    }
    SetSetting("hiShowExecResultInWnd", false);
    EXPECT_EQ(h.TakeLog(), std::string("sc.exe \\\\box stop ") + kQuoted + "|-> stopped|sc.exe \\\\box start " +
                               kQuoted + "|-> running");
    EXPECT_EQ(Trim(shown), "SERVICE_NAME: done");
    EXPECT_EQ(svc.State(), (DWORD)SERVICE_RUNNING);

    // A local folder: this computer's name.
    h.selected = {"C:\\fah\\", "Brenix Test Svc"};
    h.dm->StopFAHServiceAction->Execute();
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\" + LocalComputer() + " stop " + kQuoted + "|-> stopped");
    EXPECT_EQ(svc.State(), (DWORD)SERVICE_STOPPED);

    struct { TAction* action; const char* word; DWORD type; } types[] = {
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
}

TEST(MainDMServices, AtShutdownOnlyTheServicesOfThisComputerStop)
{
    TestService svc;
    ASSERT_TRUE(svc.Made());
    ASSERT_TRUE(svc.Start());
    Harness h;
    // Another computer, this one's name in capitals (a share, not this
    // computer as the list sees it), a client without a service.
    h.clients = {{"\\\\box\\fah\\", "Brenix Test Svc"},
                 {"\\\\" + UpperCase(LocalComputer()) + "\\fah\\", "Brenix Test Svc"},
                 {"C:\\other\\", "  "}};
    h.dm->StopLocalServices();
    Sleep(500);
    EXPECT_EQ(svc.State(), (DWORD)SERVICE_RUNNING);
    h.clients.push_back({"D:\\fah\\", " Brenix Test Svc "});
    h.dm->StopLocalServices();
    EXPECT_EQ(svc.State(SERVICE_STOPPED), (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(h.TakeLog(), "");
}

namespace {
int g_enabledWhileRunning;
TMainDM* g_running;
void CALLBACK LookAtTheAction(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_running->RestartFAHServiceAction->Update();
    g_enabledWhileRunning = g_running->RestartFAHServiceAction->Enabled();
}
}  // namespace

TEST(MainDMServices, TheProgramAnswersWhileScRunsAndReadsItsOemOutput)
{
    Harness h;
    TExecResult r = ExecAndCapture("sc.exe oem");
    EXPECT_TRUE(r.Started);
    EXPECT_TRUE(r.Finished);
    EXPECT_EQ(r.ExitCode, 7u);
    EXPECT_EQ(r.Output, "size: Gr\xC3\xB6\xC3\x9F" "e\r\n");
    TExecResult none = ExecAndCapture("no-such-program-here.exe stop x");
    EXPECT_FALSE(none.Started);
    EXPECT_EQ(none.Output, "");
    h.TakeLog();

    // The stand-in takes 5 seconds; the application window keeps answering
    // and the service actions stay disabled meanwhile.
    h.selected = {"\\\\box\\fah\\", "No Such Svc"};
    SetEnvironmentVariableW(L"BX_SC_SLEEP_MS", L"5000");
    std::atomic<bool> done{false};
    std::atomic<int> answered{0}, missed{0};
    std::atomic<DWORD> slowest{0};
    std::thread pinger([&] {
        while (!done) {
            DWORD start = GetTickCount();
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(Application().Handle(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result))
                ++answered;
            else
                ++missed;
            slowest = std::max<DWORD>(slowest, GetTickCount() - start);
            Sleep(100);
        }
    });
    g_enabledWhileRunning = -1;
    g_running = h.dm.get();
    SetTimer(nullptr, 0, 1000, LookAtTheAction);
    DWORD start = GetTickCount();
    h.dm->StopFAHServiceAction->Execute();
    DWORD took = GetTickCount() - start;
    done = true;
    pinger.join();
    EXPECT_GE(took, 5000u);
    EXPECT_GE(answered.load(), 20);
    EXPECT_EQ(missed.load(), 0);
    EXPECT_LT(slowest.load(), 500u);
    EXPECT_EQ(g_enabledWhileRunning, 0);
    EXPECT_EQ(h.EnabledCount(), 5);
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\box stop \"No Such Svc\"|-> no such service");
}

namespace {
TMainDM* g_doomed = nullptr;
void CALLBACK FreeDoomed(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    delete g_doomed;
    g_doomed = nullptr;
}
}  // namespace

TEST(MainDMServices, FreeingTheModuleWhileScWaitsEndsTheWait)
{
    Harness h;
    h.selected = {"\\\\box\\fah\\", "No Such Svc"};
    SetEnvironmentVariableW(L"BX_SC_SLEEP_MS", L"3000");
    g_doomed = h.dm.release();
    SetTimer(nullptr, 0, 300, FreeDoomed);
    DWORD start = GetTickCount();
    g_doomed->RestartFAHServiceAction->Execute();
    EXPECT_EQ(g_doomed, nullptr);
    EXPECT_LT(GetTickCount() - start, 2000u);
    // The stand-in itself ends on its own, and no start follows the stop.
    std::string log = h.dir.File("sc.log");
    EXPECT_TRUE(PumpUntil([&] { return FileExists(log) && ReadFile(log).find("->") != std::string::npos; }, 8000));
    EXPECT_EQ(h.TakeLog(), "sc.exe \\\\box stop \"No Such Svc\"|-> no such service");
}
