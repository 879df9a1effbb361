// Client-core timings on client folders whose logs are the real client logs
// repeated to 100 KB, 1 MB and 10 MB:
//   poll_<size>_ms, floor_<size>_ms   one full poll (a client's first look at the log: read
//                                     whole, split, parsed, scanned) and the floor: reading the
//                                     file and splitting it into lines
//   poll_<size>_grown_ms              a poll of a log that grew by a line since the last one
//   poll_<size>_second_look_ms        the poll after it: a log read because it changed is looked at
//                                     once more (a rewrite may keep size and write time): the bytes
//                                     its last read ended with
//   poll_<size>_unchanged_ms          a poll of a log that has not changed since those two
//   poll_10mb_second_look_vs_unchanged  the second look over the unchanged poll, on the 10 MB log
//   poll_10mb_vs_floor                 their ratio for the 10 MB log
//   poll_10mb_peak_vs_size             peak memory of a client polling the 10 MB log (its previous
//                                     and its new snapshot) over the file size
//   poll_unchanged_vs_full             a poll of a log unchanged since the last one over a full poll
//   poll_100_clients_cpu               100 clients of 1 MB logs polled by their own threads at the
//                                     24 s period, each log growing before every poll: % of one core
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/LogLines.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/BenchSupport.h"

namespace {

void AppendLine(const std::string& path, int i)
{
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    std::string line = "[08:53:" + std::to_string(10 + i % 50) + "] Completed " + std::to_string(i) +
                       " out of 250000 steps  (7%)\r\n";
    DWORD n = 0;
    WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &n, nullptr);
    CloseHandle(h);
}

// The floor: the file read whole and split into lines, as a poll must at least do.
size_t Floor(const std::string& path)
{
    std::string text = ReadFileText(path);
    TLogLines lines(std::move(text));
    return static_cast<size_t>(lines.Count());
}

std::unique_ptr<TFah> Client(const std::string& folder)
{
    TFahParams p;
    p.Folder = folder;
    p.StartPolling = false;
    return std::make_unique<TFah>(p);
}

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
    return m;
}

std::string TempBase()
{
    std::string base = TempFolder() + "bx_bench_core_" + std::to_string(GetCurrentProcessId()) + "\\";
    ForceDirectories(base);
    return base;
}

void RemoveTree(const std::string& dir)
{
    for (const std::string& name : FindFiles(dir + "*")) {
        if (name == "." || name == "..")
            continue;
        std::string full = dir + name;
        if (DirectoryExists(full))
            RemoveTree(full + "\\");
        else
            DeleteFileUtf8(full);
    }
    RemoveDirectoryW(Utf8ToWide(dir).c_str());
}

double Percent(double part, double whole) { return whole > 0 ? 100.0 * part / whole : 0; }

double FileTimeSeconds(const FILETIME& f)
{
    return static_cast<double>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
}

double ProcessCpuSeconds()
{
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    return FileTimeSeconds(k) + FileTimeSeconds(u);
}

double ThreadCpuSeconds()
{
    FILETIME c, e, k, u;
    GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
    return FileTimeSeconds(k) + FileTimeSeconds(u);
}

}  // namespace

int main()
{
    TFah::SetFileReadPause(0);   // the polite pauses are waits, not work
    const std::vector<std::string> logs = RealLogs();
    const std::string base = TempBase();

    struct Size {
        const char* name;
        size_t bytes;
    };
    const Size sizes[] = {{"10mb", 10u << 20}, {"1mb", 1u << 20}, {"100kb", 100u << 10}};

    double poll10 = 0, floor10 = 0, unchanged10 = 0, second10 = 0;
    for (const Size& s : sizes) {
        std::string folder = base + s.name + "\\";
        ForceDirectories(folder);
        std::string log = folder + "FAHlog.txt";
        WriteRepeatedLog(log, s.bytes, logs);
        const double fileBytes = static_cast<double>(FileSizeOf(log));
        const int runs = s.bytes >= (10u << 20) ? 7 : 25;

        // Peak memory first, while the process has not yet held a big log: the
        // client's first poll, then one of a grown log (old and new snapshot).
        PROCESS_MEMORY_COUNTERS before = Memory();
        auto fah = Client(folder);
        fah->Refresh(true);
        AppendLine(log, 0);
        fah->Refresh(true);
        PROCESS_MEMORY_COUNTERS after = Memory();
        if (s.bytes >= (10u << 20)) {
            double peakPrivate = static_cast<double>(after.PeakPagefileUsage) - static_cast<double>(before.PagefileUsage);
            double peakSet = static_cast<double>(after.PeakWorkingSetSize) - static_cast<double>(before.WorkingSetSize);
            printf("poll_10mb_peak_private_vs_size %.2f ratio\n", peakPrivate / fileBytes);
            printf("poll_10mb_peak_workingset_vs_size %.2f ratio\n", peakSet / fileBytes);
            printf("poll_10mb_peak_vs_size %.2f ratio\n", std::max(peakPrivate, peakSet) / fileBytes);
        }

        std::vector<double> polls, floors, grown, second, unchanged;
        size_t lastFloor = 0;
        for (int i = 0; i < runs; ++i) {
            AppendLine(log, i + 1);
            double t0 = Seconds();
            lastFloor = Floor(log);
            double t1 = Seconds();
            auto fresh = Client(folder);
            double t2 = Seconds();
            fresh->Refresh(true);   // reads the whole log
            double t3 = Seconds();
            fresh.reset();
            AppendLine(log, i + 1000);
            double t4 = Seconds();
            fah->Refresh(true);   // reads what was added
            double t5 = Seconds();
            fah->Refresh(true);   // looks at its end once more
            double t6 = Seconds();
            fah->Refresh(true);   // nothing changed since
            double t7 = Seconds();
            floors.push_back(t1 - t0);
            polls.push_back(t3 - t2);
            grown.push_back(t5 - t4);
            second.push_back(t6 - t5);
            unchanged.push_back(t7 - t6);
        }
        {
            TLock lock(fah->CritSection());
            if (fah->LogLines->EndLineNumber() != static_cast<int64_t>(lastFloor) + 1 || fah->ProjectNumber != 8022) {
                printf("# poll result unexpected: %lld lines, project %d\n", static_cast<long long>(fah->LogLines->EndLineNumber()),
                       fah->ProjectNumber);
            }
        }
        printf("poll_%s_grown_ms %.2f ms\n", s.name, Median(grown) * 1000);
        printf("poll_%s_second_look_ms %.2f ms\n", s.name, Median(second) * 1000);
        double poll = Median(polls), floor = Median(floors), same = Median(unchanged);
        printf("poll_%s_ms %.2f ms\n", s.name, poll * 1000);
        printf("floor_%s_ms %.2f ms\n", s.name, floor * 1000);
        printf("poll_%s_vs_floor %.2f ratio\n", s.name, poll / floor);
        printf("poll_%s_unchanged_ms %.3f ms\n", s.name, same * 1000);
        if (s.bytes >= (10u << 20)) {
            poll10 = poll;
            floor10 = floor;
            unchanged10 = same;
            second10 = Median(second);
        }
        fah.reset();
        fflush(stdout);
    }
    printf("poll_10mb_vs_floor %.2f ratio\n", poll10 / floor10);
    printf("poll_unchanged_vs_full %.4f ratio\n", unchanged10 / poll10);
    printf("poll_10mb_second_look_vs_unchanged %.2f ratio\n", second10 / unchanged10);
    fflush(stdout);

    // 100 clients with 1 MB logs, each on its own thread at the 24 s period.
    // Every log grows before every poll, as a running client's does: each poll
    // reads what was added and parses the whole log again.
    const int kClients = 100;
    std::vector<std::string> folders;
    for (int i = 0; i < kClients; ++i) {
        std::string folder = base + "c" + std::to_string(i) + "\\";
        ForceDirectories(folder);
        WriteRepeatedLog(folder + "FAHlog.txt", 1u << 20, logs);
        folders.push_back(folder);
    }
    TFah::SetFileReadPause(100);   // as in the program
    std::vector<std::unique_ptr<TFah>> clients;
    for (const std::string& f : folders) {
        TFahParams p;
        p.Folder = f;
        clients.push_back(std::make_unique<TFah>(p));
    }
    // Let the first polls (all at once at start) pass.
    for (int waited = 0; waited < 30000; waited += 100) {
        long done = 0;
        for (auto& c : clients)
            done += c->PollThread()->PollCount() > 0;
        if (done == kClients)
            break;
        Sleep(100);
    }
    const double window = 48.0;
    double cpu0 = ProcessCpuSeconds(), own0 = ThreadCpuSeconds(), t0 = Seconds();
    std::vector<long> seen(kClients, 0);
    for (int i = 0; i < kClients; ++i)
        seen[i] = clients[i]->PollThread()->PollCount();
    long polls = 0;
    int n = 0;
    while (Seconds() - t0 < window) {
        // Grow each log once after each of its polls, so the next poll finds it changed.
        for (int i = 0; i < kClients; ++i) {
            long count = clients[i]->PollThread()->PollCount();
            if (count != seen[i]) {
                polls += count - seen[i];
                seen[i] = count;
                AppendLine(folders[i] + "FAHlog.txt", ++n);
            }
        }
        Sleep(200);
    }
    double elapsed = Seconds() - t0;
    double cpu = ProcessCpuSeconds() - cpu0 - (ThreadCpuSeconds() - own0);
    printf("poll_100_clients_polls %ld polls\n", polls);
    printf("poll_100_clients_cpu %.2f %%\n", Percent(cpu, elapsed));
    fflush(stdout);

    clients.clear();
    RemoveTree(base);
    return 0;
}
