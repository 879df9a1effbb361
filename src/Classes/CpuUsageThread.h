// The CPU-usage sampler: once a second it measures how idle the whole system
// is and how much of the CPU the client's core processes use, and posts both
// to a window when either changed.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "Classes/ProcessInfo.h"
#include "platform/Thread.h"

// wParam: idle percentage of the system; lParam: percentage used by the cores.
constexpr UINT WM_CPUUSAGE = WM_USER + 900;

// System-wide counters of one moment; a reading that failed is 0.
struct TSystemTimes {
    int64_t IdleTime = 0;      // 100 ns, all processors together
    int64_t SystemTime = 0;    // the current time, 100 ns
    BYTE ProcessorCount = 0;
};

// Reads the counters through NtQuerySystemInformation, found by name in
// "ntdll.dll" once and kept. False when the function is missing.
bool ReadSystemTimes(TSystemTimes& out);

struct TCpuUsageThreadArgs {
    HWND Window = nullptr;     // receives WM_CPUUSAGE
    DWORD Period = 1000;       // milliseconds between samples
    // Seams for tests; the program leaves them empty and the system is asked.
    std::function<void(TSystemTimes&)> ReadSystem;
    std::function<void(TSMPList&)> CoreSnapshot;
};

class TCpuUsageThread : public TThread {
public:
    // Starts sampling at once.
    explicit TCpuUsageThread(HWND window);
    explicit TCpuUsageThread(TCpuUsageThreadArgs args);
    // Stops the thread and waits for it before its lists go. Called on the
    // window's thread, it also drops WM_CPUUSAGE messages still queued, so
    // nothing arrives from the sampler once it is gone.
    ~TCpuUsageThread() override;

    // How often a sleeping sampler looks at the program's closing flag
    // (AppClosing); it ends by itself once that is set.
    void SetWaitStep(DWORD ms) { waitStep_ = ms ? ms : 1; }

    HWND Window() const { return args_.Window; }
    DWORD Period() const { return args_.Period; }

    // The idle percentage (0..100) between two readings; 0 when nothing
    // sensible can be said (no time passed, no processor count).
    static int IdlePercent(const TSystemTimes& last, const TSystemTimes& now);
    // Brings the samples up to the current core records and returns the sum
    // of the cores' usages (0..100). A sample whose process ended is dropped;
    // a new process becomes a sample that counts from the next call on.
    static int UpdateSamples(TSMPList& samples, const TSMPList& current, int processorCount);

protected:
    void Execute() override;

private:
    int GetSystemIdle();
    int GetCoresUsage();
    static bool IsClosing();
    void Report(const std::exception_ptr& e);

    TCpuUsageThreadArgs args_;
    std::atomic<DWORD> waitStep_{250};
    TSMPList samples_;
    std::unique_ptr<TSMPProcess> processes_;
    TSystemTimes last_;
    BYTE lastCores_ = 255;
    BYTE lastIdle_ = 255;
    bool reportedMissingFunction_ = false;
    std::string lastReported_;
};
