// HTTP client figures, against nginx and a stalling server on 127.0.0.1:
//   http_64mb_vs_curl          THttpCli's throughput over curl's for 64 MB into a file
//                              (median of the rounds' ratios)
//   http_64mb_curl_vs_curl     the same ratio between two curl runs of each round:
//                              the noise floor of the figure above
//   http_64mb_failed_rounds    rounds whose download by THttpCli failed (goal 0), of
//   http_64mb_rounds           rounds run
//   http_64mb_ours, _curl      median seconds of one download
//   http_64mb_peak_mem         peak working set of this process after the downloads (MB)
//   http_stalled_cpu           CPU used while a request waits on a server that never
//                              answers (% of one core)
// The servers are the tests' own (tests/http/servers/servers.sh), started and
// stopped around this program by bench/http/with-servers.sh, which passes their
// ports and folder in BX_HTTP_NGINX, BX_HTTP_SCRIPTED and BX_HTTP_WORK. curl runs
// through Wine's "start /unix"; it stops by itself.
// BRENIX_HTTP_ROUNDS changes the number of rounds (default 15).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/HttpProt.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace {

constexpr int kMegabytes = 64;
constexpr int kDefaultRounds = 15;

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string UnixToWindows(const std::string& p)
{
    std::string w = "Z:" + p;
    std::replace(w.begin(), w.end(), '/', '\\');
    return w;
}

// Runs a Linux program and waits for it (at most two minutes).
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

// Waits until a file exists.
bool WaitForFile(const std::string& path, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!FileExists(path)) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
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

double Median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// True when two files hold the same bytes.
bool SameFiles(const std::string& a, const std::string& b)
{
    HANDLE ha = CreateFileW(Utf8ToWide(a).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE hb = CreateFileW(Utf8ToWide(b).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    bool same = ha != INVALID_HANDLE_VALUE && hb != INVALID_HANDLE_VALUE;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (same) {
        DWORD na = 0, nb = 0;
        if (!ReadFile(ha, ba.data(), static_cast<DWORD>(ba.size()), &na, nullptr) ||
            !ReadFile(hb, bb.data(), static_cast<DWORD>(bb.size()), &nb, nullptr) || na != nb ||
            std::memcmp(ba.data(), bb.data(), na) != 0)
            same = false;
        else if (na == 0)
            break;
    }
    if (ha != INVALID_HANDLE_VALUE)
        CloseHandle(ha);
    if (hb != INVALID_HANDLE_VALUE)
        CloseHandle(hb);
    return same;
}

// One download with THttpCli into a file; seconds, or -1 on failure.
double OurDownload(const std::string& url, const std::string& file, int64_t expected)
{
    DeleteFileUtf8(file);
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

// One download with curl; curl's own total time, or -1 on failure.
double CurlDownload(const std::string& curlTime, const std::string& url, const std::string& work,
                    const std::string& name, int64_t expected)
{
    std::string workWin = UnixToWindows(work) + "\\";
    DeleteFileUtf8(workWin + name);
    DeleteFileUtf8(workWin + "curl.txt");
    RunUnix(curlTime + " " + url + " " + work + "/" + name + " " + work + "/curl.txt");
    if (!WaitForFile(workWin + "curl.txt", 60000))
        return -1;
    std::string text;
    double c = 0;
    if (!TryReadFileText(workWin + "curl.txt", text) || !TryStrToFloat(Trim(text), c) || c <= 0 ||
        FileSizeOf(workWin + name) != expected)
        return -1;
    return c;
}

// The last lines of the server's error log, to tell who ended a failed download.
void ShowServerLog(const std::string& workWin)
{
    std::string log;
    if (!TryReadFileText(workWin + "nginx-error.log", log) || log.empty())
        return;
    size_t from = log.size() > 2000 ? log.size() - 2000 : 0;
    std::fprintf(stderr, "bench_http: end of nginx-error.log:\n%s\n", log.c_str() + from);
}

}  // namespace

int main()
{
    Application().Initialize();
    const std::string src = Env("BRENIX_SOURCE_DIR"), work = Env("BX_HTTP_WORK"), nginx = Env("BX_HTTP_NGINX"),
                      scripted = Env("BX_HTTP_SCRIPTED");
    if (src.empty() || work.empty() || nginx.empty() || scripted.empty()) {
        std::fprintf(stderr, "bench_http: run it through bench/http/with-servers.sh (BRENIX_SOURCE_DIR, "
                             "BX_HTTP_WORK, BX_HTTP_NGINX and BX_HTTP_SCRIPTED must be set)\n");
        return 1;
    }
    int rounds = kDefaultRounds;
    if (!Env("BRENIX_HTTP_ROUNDS").empty())
        rounds = std::max(1, std::atoi(Env("BRENIX_HTTP_ROUNDS").c_str()));
    const std::string curlTime = src + "/bench/http/curl-time.sh";
    const std::string workWin = UnixToWindows(work) + "\\";
    const std::string url = "http://127.0.0.1:" + nginx + "/big.bin";
    const int64_t size = int64_t(kMegabytes) * 1024 * 1024;
    if (FileSizeOf(workWin + "www\\big.bin") != size) {
        std::fprintf(stderr, "bench_http: the servers' big.bin is not %d MB\n", kMegabytes);
        return 1;
    }

    PROCESS_MEMORY_COUNTERS before = {};
    before.cb = sizeof before;
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);

    // Each round: curl, ours, curl again. The ratio of the two curl runs shows
    // how much the same download varies on this machine.
    std::vector<double> ours, curls, vsCurl, curlVsCurl;
    int failed = 0;
    bool differs = false;
    for (int i = 0; i < rounds; ++i) {
        double c1 = CurlDownload(curlTime, url, work, "curl.bin", size);
        double t = OurDownload(url, workWin + "ours.bin", size);
        double c2 = CurlDownload(curlTime, url, work, "curl2.bin", size);
        if (t < 0) {
            ++failed;
            ShowServerLog(workWin);
        } else if (!SameFiles(workWin + "ours.bin", workWin + "www\\big.bin")) {
            std::fprintf(stderr, "bench_http: our download differs from the served file\n");
            differs = true;
            ++failed;
        } else {
            ours.push_back(t);
            if (c1 > 0)
                vsCurl.push_back(c1 / t);
        }
        if (c1 > 0)
            curls.push_back(c1);
        if (c1 > 0 && c2 > 0)
            curlVsCurl.push_back(c1 / c2);
    }
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);

    // A server that takes the request and never answers.
    THttpCli stalled;
    stalled.URL = "http://127.0.0.1:" + scripted + "/stall";
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

    DeleteFileUtf8(workWin + "ours.bin");
    DeleteFileUtf8(workWin + "curl.bin");
    DeleteFileUtf8(workWin + "curl2.bin");

    if (!vsCurl.empty() && !differs)
        std::printf("http_64mb_vs_curl %.2f ratio\n", Median(vsCurl));
    else
        std::printf("http_64mb_vs_curl -1 ratio\n");   // no round gave both figures (see stderr)
    std::printf("http_64mb_curl_vs_curl %.2f ratio\n", Median(curlVsCurl));
    std::printf("http_64mb_failed_rounds %d rounds\n", failed);
    std::printf("http_64mb_rounds %d rounds\n", rounds);
    std::printf("http_64mb_ours %.3f s\n", Median(ours));
    std::printf("http_64mb_curl %.3f s\n", Median(curls));
    std::printf("http_64mb_peak_mem %.1f MB\n", static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0));
    std::printf("http_peak_mem_before_download %.1f MB\n",
                static_cast<double>(before.PeakWorkingSetSize) / (1024.0 * 1024.0));
    std::printf("http_stalled_cpu %.2f %%\n", wall > 0 ? 100.0 * cpu / wall : -1.0);
    return 0;
}
