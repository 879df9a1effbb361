// The CPU-usage sampler's own cost with 200 other processes running:
//   cpu_sampler_200_procs         % of one core: the sampler thread plus the
//                                 Wine server's work on its behalf, when 8 of
//                                 the 200 are client cores
//   cpu_sampler_200_cores         the same when all 200 are client cores
//   cpu_sampler_first_scan        ms of the first look at all processes
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Classes/CpuUsageThread.h"
#include "platform/FileUtil.h"
#include "platform/HiddenWindow.h"
#include "platform/Text.h"

namespace {

double ThreadCpuMs(HANDLE thread)
{
    FILETIME c, e, k, u;
    if (!GetThreadTimes(thread, &c, &e, &k, &u))
        return 0;
    auto v = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<double>(v(k) + v(u)) / 10000.0;
}

std::string ReadSmallFile(const std::string& path)
{
    std::string text;
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return text;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0 && text.size() < 65536)
        text.append(buf, n);
    CloseHandle(h);
    return text;
}

// The Wine server of our prefix, seen through the Unix /proc on drive Z:
// (0 when not running under Wine or not found).
int FindWineServer()
{
    wchar_t prefix[1024] = {};
    if (!GetEnvironmentVariableW(L"WINEPREFIX", prefix, 1024))
        return 0;
    std::string want = "WINEPREFIX=" + WideToUtf8(prefix);
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(L"Z:\\proc\\*", &fd);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    int found = 0;
    do {
        std::string name = WideToUtf8(fd.cFileName);
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string dir = "Z:\\proc\\" + name + "\\";
        std::string comm = ReadSmallFile(dir + "comm");
        if (comm.rfind("wineserver", 0) != 0)
            continue;
        std::string env = ReadSmallFile(dir + "environ");
        for (size_t p = 0; p < env.size();) {
            size_t end = env.find('\0', p);
            if (end == std::string::npos)
                end = env.size();
            if (env.compare(p, end - p, want) == 0)
                found = std::atoi(name.c_str());
            p = end + 1;
        }
    } while (!found && FindNextFileW(f, &fd));
    FindClose(f);
    return found;
}

// User plus system time of a Unix process, ms.
double UnixProcessCpuMs(int pid)
{
    if (!pid)
        return 0;
    std::string stat = ReadSmallFile("Z:\\proc\\" + std::to_string(pid) + "\\stat");
    size_t p = stat.rfind(')');
    if (p == std::string::npos)
        return 0;
    // Fields after the name: state is field 3; utime 14, stime 15.
    std::vector<std::string> fields = SplitString(stat.substr(p + 2), ' ');
    if (fields.size() < 13)
        return 0;
    double ticks = std::atof(fields[11].c_str()) + std::atof(fields[12].c_str());
    return ticks * 10.0;   // USER_HZ 100
}

class TProcesses {
public:
    ~TProcesses()
    {
        for (HANDLE h : handles_) {
            TerminateProcess(h, 0);
            WaitForSingleObject(h, 10000);
            CloseHandle(h);
        }
    }
    bool Start(const std::string& exe)
    {
        std::wstring cmd = L"\"" + Utf8ToWide(exe) + L"\" " + std::to_wstring(GetCurrentProcessId()) + L" 1";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(Utf8ToWide(exe).c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        handles_.push_back(pi.hProcess);
        return true;
    }

private:
    std::vector<HANDLE> handles_;
};

struct TResult {
    double percent = 0;
    double threadPercent = 0;
    double serverPercent = 0;
    double firstScanMs = 0;
    int posts = 0;
};

class TCountingWindow : public THiddenWindow {
public:
    int posts = 0;

protected:
    LRESULT WndProc(UINT msg, WPARAM w, LPARAM l) override
    {
        if (msg == WM_CPUUSAGE)
            ++posts;
        return THiddenWindow::WndProc(msg, w, l);
    }
};

void PumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
}

TResult Measure(const std::string& folder, int cores, int total, DWORD seconds, int server)
{
    TResult r;
    TProcesses procs;
    const char* coreNames[] = {"FahCore_a1.exe", "FahCore_a2.exe", "FahCore_78.exe", "FahCore_a3.exe"};
    for (int i = 0; i < total; ++i) {
        std::string exe = i < cores ? folder + coreNames[i % 4] : folder + "procs_bench_helper.exe";
        if (!procs.Start(exe)) {
            std::fprintf(stderr, "cannot start %s\n", exe.c_str());
            return r;
        }
    }
    Sleep(5000);   // all of them up and idle

    // What the server does without the sampler, for the same time.
    double server0 = UnixProcessCpuMs(server);
    Sleep(seconds * 1000);
    double serverIdle = UnixProcessCpuMs(server) - server0;

    TCountingWindow w;
    TCpuUsageThread t(w.Handle());
    // The first sample includes the first look at every process.
    DWORD start = GetTickCount();
    while (w.posts == 0 && GetTickCount() - start < 30000)
        PumpFor(10);
    r.firstScanMs = ThreadCpuMs(t.Handle());
    PumpFor(3000);

    double cpu0 = ThreadCpuMs(t.Handle());
    server0 = UnixProcessCpuMs(server);
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    PumpFor(seconds * 1000);
    QueryPerformanceCounter(&b);
    double wallMs = static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
    double threadMs = ThreadCpuMs(t.Handle()) - cpu0;
    double serverMs = UnixProcessCpuMs(server) - server0 - serverIdle;
    if (serverMs < 0)
        serverMs = 0;
    r.threadPercent = threadMs * 100.0 / wallMs;
    r.serverPercent = serverMs * 100.0 / wallMs;
    r.percent = r.threadPercent + r.serverPercent;
    r.posts = w.posts;
    return r;
}

}  // namespace

int main()
{
    std::string folder = ExeFolder();
    for (const char* name : {"FahCore_a1.exe", "FahCore_a2.exe", "FahCore_78.exe", "FahCore_a3.exe"})
        CopyFileW(Utf8ToWide(folder + "procs_bench_helper.exe").c_str(), Utf8ToWide(folder + name).c_str(), FALSE);
    int server = FindWineServer();
    const DWORD seconds = 30;

    TResult mixed = Measure(folder, 8, 200, seconds, server);
    std::printf("cpu_sampler_200_procs %.2f %%\n", mixed.percent);
    std::printf("cpu_sampler_200_procs_thread %.2f %%\n", mixed.threadPercent);
    std::printf("cpu_sampler_200_procs_server %.2f %%\n", mixed.serverPercent);
    if (!server)
        std::fprintf(stderr, "no Wine server found: its share is not counted\n");
    std::printf("cpu_sampler_first_scan %.0f ms\n", mixed.firstScanMs);

    TResult all = Measure(folder, 200, 200, seconds, server);
    std::printf("cpu_sampler_200_cores %.2f %%\n", all.percent);
    std::fflush(stdout);
    return 0;
}
