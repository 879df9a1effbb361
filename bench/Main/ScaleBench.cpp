// The whole program on many folders and on big logs, each figure from a
// real start of the program's main window in a child process:
//   startup_1000_folders_s      process start to the first paint of the list in which all
//                               1,000 client rows show a decided state (seconds)
//   mem_per_folder_1000_kb      working set once every client polled, over the same program
//                               on an empty folder list, per folder (KB); the folders hold the
//                               real client logs (9.6 to 47 KB, 23 KB on average)
//   poll_1000_clients_cpu       the 1,000-folder program idle at the default refresh interval
//                               for 60 s after its start: CPU time over wall time (% of a core)
//   mem_big_logs_26x63mb_mb     working set of the program on 26 folders whose logs are 63 MB
//                               each, after every row was selected once (MB)
//   startup_26x63mb_logs_s      the same program: process start to the first paint of the list
//                               in which every one of the 26 rows shows its percent (seconds)
//   cpu_26x63mb_running_logs_pct  the program on the same 26 folders, their logs held open by a
//                               running stand-in client that adds a progress line to each every
//                               30 s: CPU time over wall time for 60 s once every client polled
//                               (% of a core)
// and, to break the per-folder figure down:
//   thread_ws_kb, thread_private_kb   what one more idle thread adds to the working set and to
//                               the committed private memory (Wine reserves and commits its own
//                               stacks for every thread, whatever stack the program asks for:
//                               about 1 MB resident and 2 MB committed here)
//   mem_per_folder_1000_less_thread_kb   the per-folder working set less that thread
//
// The 63 MB log is made at run time from the real logs one after the other
// (ending with a running unit); the 26 folders hold hard links to it.
//   bench_main_scale.exe --run INI SECONDS SELECT RESULT   a child: the main window on the
//   folder list; writes "startup_ms ws_bytes private_bytes cpu_percent thread_ws thread_private
//   percent_ms" (percent_ms: until every row showed its percent; -1 when not waited for).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/FahView.h"
#include "FolderList.h"
#include "Frame/fvFr.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "Main.h"
#include "MainBenchKit.h"
#include "platform/Application.h"
#include "platform/Firewall.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/BenchSupport.h"

namespace {

constexpr DWORD kChildLimit = 600000;

// ---- child

struct TRun {
    TfvFrame* frame = nullptr;
    size_t expected = 0;
    double started = 0, startupMs = -1, percentMs = -1;
    int cpuSeconds = 0;
    bool select = false;
    std::string result;
    double cpu0 = 0, wall0 = 0;
    size_t ws = 0, priv = 0;
    long long threadWs = 0, threadPrivate = 0;
} run;

double CpuSeconds()
{
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    auto s = [](const FILETIME& f) {
        return static_cast<double>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
    };
    return s(k) + s(u);
}

void Finish(double cpuPercent)
{
    char line[256];
    std::snprintf(line, sizeof line, "%.1f %zu %zu %.3f %lld %lld %.1f", run.startupMs, run.ws, run.priv, cpuPercent,
                  run.threadWs, run.threadPrivate, run.percentMs);
    WriteAll(run.result, line);
    ExitProcess(0);
}

void CALLBACK WhenCpuMeasured(HWND, UINT, UINT_PTR, DWORD)
{
    const double wall = Seconds() - run.wall0;
    Finish(wall > 0 ? 100.0 * (CpuSeconds() - run.cpu0) / wall : 0);
}

void CALLBACK WhenPollsDone(HWND, UINT, UINT_PTR id, DWORD)
{
    // Rows are selected only once each showed its percent (a selection
    // brings its own row up to date), or two minutes on.
    if (run.select && run.percentMs < 0 && Ms() - run.started < 120000)
        return;
    for (PVirtualNode n : run.frame->ClientNodes()) {
        TFAHThread* t = run.frame->GetFahView(n)->Fah()->PollThread();
        if (t && (t->PollCount() < 1 || t->Polling()))
            return;
    }
    KillTimer(nullptr, id);
    if (run.select) {
        // Every row selected once, its log shown, as a user looking through them.
        for (PVirtualNode n : run.frame->ClientNodes()) {
            run.frame->SelectNode(n);
            PumpFor(50);
        }
        PumpFor(500);
    }
    const TThreadCost thread = IdleThreadCost();
    run.threadWs = thread.ws;
    run.threadPrivate = thread.priv;
    run.ws = WorkingSetBytes();
    run.priv = PrivateBytes();
    if (run.cpuSeconds <= 0)
        Finish(0);
    run.cpu0 = CpuSeconds();
    run.wall0 = Seconds();
    SetTimer(nullptr, 0, static_cast<UINT>(run.cpuSeconds) * 1000, WhenCpuMeasured);
}

int RunChild(const std::string& ini, int cpuSeconds, bool select, const std::string& result, double started)
{
    run.expected = ReadFolderList(ini).size();
    run.cpuSeconds = cpuSeconds;
    run.select = select;
    run.result = result;
    run.started = started;
    TMainForm* form = StartMainForm(ini, result);
    run.frame = form->fvFrame1;
    run.frame->VSTree->OnAfterPaint = [](TBaseVirtualTree*, TCanvas&) {
        if (run.select && run.percentMs < 0 && AllRowsShowPercent(*run.frame, run.expected))
            run.percentMs = Ms() - run.started;
        if (run.startupMs >= 0 || !AllRowsDecided(*run.frame, run.expected))
            return;
        run.startupMs = Ms() - run.started;
        SetTimer(nullptr, 0, 100, WhenPollsDone);
    };
    Application().Run();
    return 1;
}

// ---- parent

// A running client as this benchmark stands in for it: it holds the logs
// open for writing and adds a progress line every 30 s. The logs are hard
// links to one file, so one line written is a line more in each of them.
class TRunningClient {
public:
    explicit TRunningClient(const std::vector<std::string>& logs)
    {
        for (const std::string& log : logs) {
            HANDLE h = CreateFileW(Utf8ToWide(log).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE)
                held_.push_back(h);
        }
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &TRunningClient::Run, this, 0, nullptr);
    }
    ~TRunningClient()
    {
        SetEvent(stop_);
        if (thread_) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        CloseHandle(stop_);
        for (HANDLE h : held_)
            CloseHandle(h);
    }
    TRunningClient(const TRunningClient&) = delete;
    TRunningClient& operator=(const TRunningClient&) = delete;

private:
    static DWORD WINAPI Run(LPVOID self)
    {
        auto* me = static_cast<TRunningClient*>(self);
        for (int step = 1; WaitForSingleObject(me->stop_, 30000) == WAIT_TIMEOUT; ++step) {
            if (me->held_.empty())
                continue;
            SYSTEMTIME t;
            GetSystemTime(&t);
            char line[96];
            const int n = std::snprintf(line, sizeof line,
                                        "[%02d:%02d:%02d] Completed %d out of 250000 steps  (%d%%)\r\n", t.wHour,
                                        t.wMinute, t.wSecond, 5000 + step * 2500, 2 + step);
            LARGE_INTEGER end{};
            DWORD written = 0;
            if (SetFilePointerEx(me->held_[0], end, nullptr, FILE_END))
                WriteFile(me->held_[0], line, static_cast<DWORD>(n), &written, nullptr);
        }
        return 0;
    }

    std::vector<HANDLE> held_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
};

struct TChild {
    bool ok = false;
    double startupMs = 0, cpu = 0, percentMs = -1;
    double ws = 0, priv = 0, threadWs = 0, threadPrivate = 0;
};

TChild Run(const std::string& ini, int cpuSeconds, bool select, const std::string& result)
{
    TChild c;
    std::wstring args = L"--run \"" + Utf8ToWide(ini) + L"\" " + std::to_wstring(cpuSeconds) + L" " +
                        (select ? L"1" : L"0") + L" \"" + Utf8ToWide(result) + L"\"";
    const std::string text = RunSelf(args, result, kChildLimit);
    long long ws = 0, priv = 0, tws = 0, tpriv = 0;
    c.ok = std::sscanf(text.c_str(), "%lf %lld %lld %lf %lld %lld %lf", &c.startupMs, &ws, &priv, &c.cpu, &tws, &tpriv,
                       &c.percentMs) == 7;
    c.ws = static_cast<double>(ws);
    c.priv = static_cast<double>(priv);
    c.threadWs = static_cast<double>(tws);
    c.threadPrivate = static_cast<double>(tpriv);
    if (!c.ok)
        std::printf("# bench_main_scale: the child on %s did not finish\n", ini.c_str());
    return c;
}

int RunParent()
{
    const std::string root = BenchRoot("bx_scalebench");
    // 1,000 folders: a quarter held open for writing as running clients
    // hold their logs, a quarter with results waiting.
    auto maker = std::make_unique<TClientFolderMaker>();
    const std::string many = MakeFolderList(root, "client", 1000, std::ref(*maker));
    const std::string empty = root + "empty.ini", result = root + "result.txt";
    WriteAll(empty, "[Other]\r\n");

    // 26 folders whose logs are 63 MB.
    const std::string bigLog = root + "big.txt";
    WriteRepeatedLog(bigLog, 63u << 20, RealLogs());
    std::vector<std::string> bigFolderLogs;
    const std::string big = MakeFolderList(root, "big", 26, [&](int, const std::string& f) {
        const std::wstring to = Utf8ToWide(f + "FAHlog.txt");
        if (!CreateHardLinkW(to.c_str(), Utf8ToWide(bigLog).c_str(), nullptr))
            CopyFileW(Utf8ToWide(bigLog).c_str(), to.c_str(), FALSE);
        bigFolderLogs.push_back(f + "FAHlog.txt");
    });

    const TChild none = Run(empty, 0, false, result);
    const TChild full = Run(many, 60, false, result);
    const TChild bigLogs = Run(big, 0, true, result);
    TChild running;
    {
        TRunningClient client(bigFolderLogs);
        running = Run(big, 60, false, result);
    }
    maker.reset();
    DeleteTree(root);

    if (full.ok) {
        std::printf("startup_1000_folders_s %.1f s\n", full.startupMs / 1000);
        std::printf("poll_1000_clients_cpu %.2f %%\n", full.cpu);
        if (none.ok) {
            std::printf("mem_per_folder_1000_kb %.0f KB\n", (full.ws - none.ws) / 1000 / 1024);
            std::printf("mem_private_per_folder_1000_kb %.0f KB\n", (full.priv - none.priv) / 1000 / 1024);
        }
        std::printf("thread_ws_kb %.0f KB\n", full.threadWs / 1024);
        if (none.ok)
            std::printf("mem_per_folder_1000_less_thread_kb %.0f KB\n",
                        ((full.ws - none.ws) / 1000 - full.threadWs) / 1024);
        std::printf("thread_private_kb %.0f KB\n", full.threadPrivate / 1024);
    }
    if (none.ok)
        std::printf("mem_empty_program_mb %.1f MB\n", none.ws / 1048576);
    if (bigLogs.ok) {
        std::printf("mem_big_logs_26x63mb_mb %.0f MB\n", bigLogs.ws / 1048576);
        if (bigLogs.percentMs >= 0)
            std::printf("startup_26x63mb_logs_s %.1f s\n", bigLogs.percentMs / 1000);
        else
            std::printf("# bench_main_scale: the rows of the big logs showed no percent within two minutes\n");
    }
    if (running.ok)
        std::printf("cpu_26x63mb_running_logs_pct %.2f %%\n", running.cpu);
    std::fflush(stdout);
    return none.ok && full.ok && bigLogs.ok && running.ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc >= 6 && std::strcmp(argv[1], "--run") == 0) {
            const char* env = getenv("BRENIX_BENCH_START");
            const double started = env ? std::atof(env) : Ms();
            return RunChild(argv[2], std::atoi(argv[3]), std::atoi(argv[4]) != 0, argv[5], started);
        }
        return RunParent();
    } catch (...) {
        HandleCurrentException();
        return 1;
    }
}
