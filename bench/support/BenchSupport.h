// Small helpers every benchmark program needs: clocks, a message pump, the
// median of a set of runs, the real-data folder and whole-file reads/writes.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/FileUtil.h"
#include "platform/Text.h"

// The performance counter's ticks per second.
inline double CounterFrequency()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return frequency;
}

inline double CounterTicks()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart);
}

// The performance counter in seconds.
inline double Seconds()
{
    return CounterTicks() / CounterFrequency();
}

// The performance counter in milliseconds.
inline double Ms()
{
    return CounterTicks() * 1000.0 / CounterFrequency();
}

// Handles every message queued for this thread, then returns.
inline void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Handles messages as they come for `ms` milliseconds.
inline void PumpFor(double ms)
{
    const double end = Ms() + ms;
    while (Ms() < end) {
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
}

// The middle value (the upper one of the two middles for an even count).
inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The real client logs: $BRENIX_REALDATA (a Unix path, seen through drive Z:)
// or tests\data\realdata beside the build; with a trailing backslash.
inline std::string RealDataDir()
{
    const char* env = getenv("BRENIX_REALDATA");
    std::string p = env && *env ? std::string("Z:") + env : ExeFolder() + "..\\..\\..\\tests\\data\\realdata";
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return IncludeTrailingPathDelimiter(p);
}

// The whole file; empty when it cannot be opened with the given sharing.
inline std::string ReadAll(const std::string& path, DWORD share)
{
    std::string bytes;
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got)
        bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

// Makes (or empties) the file and writes `bytes` into it.
inline void WriteAll(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
}

inline const char* const kRealLogNames[] = {
    "fahlog-cpu-classic-78-a0-sigterm-oneunit.txt",  "fahlog-cpu-service-b4-82-shutdown-restart.txt",
    "fahlog-gpu2-core11-14-paused-shutdown.txt",     "fahlog-gpu2-unstable-machine-EXCERPT-first16000.txt",
    "fahlog-gpu3-core15-v641-running.txt",           "fahlog-smp-a2-linux-interrupted-badwus.txt",
    "fahlog-smp-a2-linux-sending-results.txt",       "fahlog-smp-a4-bigadv-running.txt",
};

// The real logs, one after the other, each ending with a line end.
inline std::vector<std::string> RealLogs()
{
    std::vector<std::string> logs;
    for (const char* name : kRealLogNames) {
        std::string s = ReadFileText(RealDataDir() + name);
        if (!s.empty() && s.back() != '\n')
            s += "\r\n";
        logs.push_back(s);
    }
    return logs;
}

// Writes the real logs repeated until the file holds at least `bytes`, a
// piece at a time (the whole text is never held in memory), ending with the
// SMP log of a running unit.
inline void WriteRepeatedLog(const std::string& path, size_t bytes, const std::vector<std::string>& logs)
{
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           0, nullptr);
    size_t written = 0;
    for (size_t i = 0; written < bytes; ++i) {
        const std::string& s = logs[i % logs.size()];
        DWORD n = 0;
        WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
        written += n;
    }
    const std::string& last = logs.back();
    DWORD n = 0;
    WriteFile(h, last.data(), static_cast<DWORD>(last.size()), &n, nullptr);
    CloseHandle(h);
}
