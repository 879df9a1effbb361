// HTTP client figures, against nginx and a stalling server on 127.0.0.1:
//   http_64mb_vs_curl   throughput of THttpCli over curl's for 64 MB into a file
//   http_64mb_peak_mem  peak working set of this process after the download (MB)
//   http_stalled_cpu    CPU used while a request waits on a server that never answers
//                       (% of one core)
// The servers are the tests' own (tests/http/servers/servers.sh), started and
// stopped through Wine's "start /unix".
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/HttpProt.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/StringList.h"
#include "platform/Text.h"

namespace {

constexpr int kMegabytes = 64;
constexpr int kRounds = 5;

std::string UnixToWindows(const std::string& p)
{
    std::string w = "Z:" + p;
    std::replace(w.begin(), w.end(), '/', '\\');
    return w;
}

// Starts a Linux program. Wine's "start /unix" does not wait for it: the
// callers wait for the files it makes.
bool RunUnix(const std::string& commandLine)
{
    std::wstring cmd = L"start.exe /wait /unix " + Utf8ToWide(commandLine);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, 120000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return true;
}

// Waits until a file exists (present = true) or is gone (false).
bool WaitForFile(const std::string& path, bool present, DWORD ms)
{
    DWORD start = GetTickCount();
    while (FileExists(path) != present) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(50);
    }
    return true;
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

double CpuSeconds()
{
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    auto v = [](const FILETIME& ft) {
        ULARGE_INTEGER x;
        x.LowPart = ft.dwLowDateTime;
        x.HighPart = ft.dwHighDateTime;
        return static_cast<double>(x.QuadPart) / 1e7;
    };
    return v(k) + v(u);
}

// One download with THttpCli into a file; seconds, or -1 on failure.
double OurDownload(const std::string& url, const std::string& file, int64_t expected)
{
    THttpCli http;
    http.URL = url;
    LARGE_INTEGER a, b;
    try {
        THttpFileStream stream(file, THttpFileStream::fmCreate);
        http.RcvdStream = &stream;
        QueryPerformanceCounter(&a);
        http.Get();
        stream.Flush();
        QueryPerformanceCounter(&b);
        http.RcvdStream = nullptr;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_http: download failed: %s\n", e.what());
        return -1;
    }
    if (FileSizeOf(file) != expected) {
        std::fprintf(stderr, "bench_http: download is %lld bytes, not %lld\n",
                     static_cast<long long>(FileSizeOf(file)), static_cast<long long>(expected));
        return -1;
    }
    return Seconds(a, b);
}

}  // namespace

int main()
{
    Application().Initialize();
    const char* src = std::getenv("BRENIX_SOURCE_DIR");
    if (!src || !*src) {
        std::fprintf(stderr, "bench_http: BRENIX_SOURCE_DIR is not set\n");
        return 1;
    }
    std::string servers = std::string(src) + "/tests/http/servers/servers.sh";
    std::string curlTime = std::string(src) + "/bench/http/curl-time.sh";
    std::string work = "/tmp/bx-httpbench-" + std::to_string(GetCurrentProcessId());
    std::string workWin = UnixToWindows(work) + "\\";

    if (!RunUnix(servers + " start " + work + " " + std::to_string(kMegabytes)) ||
        !WaitForFile(workWin + "ready", true, 60000)) {
        std::fprintf(stderr, "bench_http: the servers did not start\n");
        return 1;
    }
    TStringList ports;
    ports.LoadFromFile(workWin + "ports.env");
    std::string base = "http://127.0.0.1:" + ports.Values("NGINX");
    std::string url = base + "/big.bin";
    const int64_t size = int64_t(kMegabytes) * 1024 * 1024;

    PROCESS_MEMORY_COUNTERS before = {};
    before.cb = sizeof before;
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);

    // Best of a few rounds each, ours and curl's, in turns.
    double ours = 1e9, curl = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        DeleteFileUtf8(workWin + "ours.bin");
        DeleteFileUtf8(workWin + "curl.bin");
        double t = OurDownload(url, workWin + "ours.bin", size);
        if (t > 0)
            ours = std::min(ours, t);
        DeleteFileUtf8(workWin + "curl.txt");
        RunUnix(curlTime + " " + url + " " + work + "/curl.bin " + work + "/curl.txt");
        WaitForFile(workWin + "curl.txt", true, 60000);
        std::string text;
        double c = 0;
        if (TryReadFileText(workWin + "curl.txt", text) && TryStrToFloat(Trim(text), c) && c > 0 &&
            FileSizeOf(workWin + "curl.bin") == size)
            curl = std::min(curl, c);
    }
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    // Both downloads must be the same bytes.
    std::string a1, a2;
    if (!TryReadFileText(workWin + "ours.bin", a1, 128u << 20) || !TryReadFileText(workWin + "curl.bin", a2, 128u << 20) ||
        a1 != a2) {
        std::fprintf(stderr, "bench_http: our download differs from curl's\n");
        ours = 1e9;
    }
    a1.clear();
    a1.shrink_to_fit();
    a2.clear();
    a2.shrink_to_fit();

    // A server that takes the request and never answers.
    THttpCli stalled;
    stalled.URL = "http://127.0.0.1:" + ports.Values("SCRIPTED") + "/stall";
    stalled.Timeout = 4;
    double cpu0 = CpuSeconds();
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    try {
        stalled.Get();
    } catch (const EHttpException&) {
        // the time-out is the expected end
    }
    QueryPerformanceCounter(&b);
    double cpu = CpuSeconds() - cpu0;
    double wall = Seconds(a, b);

    RunUnix(servers + " stop " + work);
    WaitForFile(workWin + "pids", false, 20000);
    RunUnix("/bin/rm -rf " + work);

    if (ours < 1e9 && curl < 1e9) {
        std::printf("http_64mb_vs_curl %.2f ratio\n", curl / ours);
        std::printf("http_64mb_ours %.3f s\n", ours);
        std::printf("http_64mb_curl %.3f s\n", curl);
    } else {
        std::printf("http_64mb_vs_curl -1 ratio\n");   // a download failed (see stderr)
    }
    std::printf("http_64mb_peak_mem %.1f MB\n", static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0));
    std::printf("http_peak_mem_before_download %.1f MB\n",
                static_cast<double>(before.PeakWorkingSetSize) / (1024.0 * 1024.0));
    std::printf("http_stalled_cpu %.2f %%\n", wall > 0 ? 100.0 * cpu / wall : -1.0);
    return 0;
}
