#include "Classes/CpuUsageThread.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <vector>

#include "Classes/Fah.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"
#include "platform/Rounding.h"

namespace {

using TNtQuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
const ULONG kBasicInformation = 0;
const ULONG kPerformanceInformation = 2;
const ULONG kTimeOfDayInformation = 3;

TNtQuerySystemInformation NtQuerySystemInformationFn()
{
    static std::once_flag once;
    static TNtQuerySystemInformation fn = nullptr;
    std::call_once(once, [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        if (ntdll)
            fn = reinterpret_cast<TNtQuerySystemInformation>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    });
    return fn;
}

// Asks one information class with `size` bytes; a system that wants another
// size (newer systems grew some of these blocks) is asked again with it.
bool Query(TNtQuerySystemInformation fn, ULONG infoClass, ULONG size, std::vector<unsigned char>& buf)
{
    buf.assign(size, 0);
    ULONG returned = 0;
    LONG status = fn(infoClass, buf.data(), size, &returned);
    if (status == kInfoLengthMismatch && returned > size && returned <= 4096) {
        buf.assign(returned, 0);
        status = fn(infoClass, buf.data(), returned, &returned);
    }
    return status >= 0;
}

int64_t Int64At(const std::vector<unsigned char>& buf, size_t offset)
{
    int64_t v = 0;
    if (buf.size() >= offset + sizeof v)
        std::memcpy(&v, buf.data() + offset, sizeof v);
    return v;
}

}  // namespace

bool ReadSystemTimes(TSystemTimes& out)
{
    out = TSystemTimes{};
    TNtQuerySystemInformation fn = NtQuerySystemInformationFn();
    if (!fn)
        return false;
    std::vector<unsigned char> buf;
    if (Query(fn, kBasicInformation, 44, buf) && buf.size() > 40)
        out.ProcessorCount = buf[40];
    if (Query(fn, kTimeOfDayInformation, 32, buf))
        out.SystemTime = Int64At(buf, 8);
    // Newer systems refuse the old 312-byte block; a larger buffer suits them all.
    if (Query(fn, kPerformanceInformation, 1024, buf))
        out.IdleTime = Int64At(buf, 0);
    return true;
}

// ---------------------------------------------------------------------------

TCpuUsageThread::TCpuUsageThread(HWND window)
    : TCpuUsageThread([window] {
          TCpuUsageThreadArgs a;
          a.Window = window;
          return a;
      }())
{
}

TCpuUsageThread::TCpuUsageThread(TCpuUsageThreadArgs args) : TThread(true, 256u << 10), args_(std::move(args))
{
    if (args_.Period == 0)
        args_.Period = 1;
    Start();
}

TCpuUsageThread::~TCpuUsageThread()
{
    TerminateAndWait();
    // Whatever the sampler posted before it stopped is of no use any more.
    if (args_.Window && GetWindowThreadProcessId(args_.Window, nullptr) == GetCurrentThreadId()) {
        MSG msg;
        while (PeekMessageW(&msg, args_.Window, WM_CPUUSAGE, WM_CPUUSAGE, PM_REMOVE | PM_NOYIELD)) {
        }
    }
    samples_.Clear();
    processes_.reset();
}

int TCpuUsageThread::IdlePercent(const TSystemTimes& last, const TSystemTimes& now)
{
    int64_t elapsed = now.SystemTime - last.SystemTime;
    if (elapsed <= 0 || now.ProcessorCount == 0)
        return 0;
    double v = static_cast<double>(now.IdleTime - last.IdleTime) / static_cast<double>(elapsed) *
                   100.0 / now.ProcessorCount - 0.5;
    int64_t r = RoundHalfEven(v);
    return static_cast<int>(std::clamp<int64_t>(r, 0, 100));
}

int TCpuUsageThread::UpdateSamples(TSMPList& samples, const TSMPList& current, int processorCount)
{
    int sum = 0;
    for (int i = samples.Count() - 1; i >= 0; --i) {
        TProcessRecord& s = samples[i];
        int j = current.IndexOfPid(s.Pid);
        if (j < 0) {
            samples.Delete(i);   // the process ended
            continue;
        }
        const TProcessRecord& c = current[j];
        DWORD ticks = c.Tick - s.Tick;   // unsigned: right across the 49.7-day wrap
        BYTE usage = kUsageUnknown;
        if (ticks > 0 && ticks < 0x80000000u && processorCount > 0) {
            int64_t v = RoundHalfEven(static_cast<double>(c.TotalMs - s.TotalMs) * 100.0 /
                                      (static_cast<double>(ticks) * processorCount));
            if (v >= 0 && v <= 127)
                usage = static_cast<BYTE>(v);
        }
        s.Usage = usage;
        s.TotalMs = c.TotalMs;
        s.KernelMs = c.KernelMs;
        s.UserMs = c.UserMs;
        s.Tick = c.Tick;
        if (usage >= 1 && usage <= 127)
            sum += usage;
    }
    for (const TProcessRecord& c : current.Items()) {
        if (samples.IndexOfPid(c.Pid) >= 0)
            continue;
        TProcessRecord s = c;
        s.Usage = kUsageUnknown;
        samples.Add(s);
    }
    return std::min(sum, 100);
}

int TCpuUsageThread::GetSystemIdle()
{
    TSystemTimes now;
    if (args_.ReadSystem) {
        args_.ReadSystem(now);
    } else if (!ReadSystemTimes(now) && !reportedMissingFunction_) {
        reportedMissingFunction_ = true;
        Report(std::make_exception_ptr(EAssertionFailed(
            "TCpuUsageThread: NtQuerySystemInformation does't exists!", __FILE__, __LINE__)));
    }
    int idle = IdlePercent(last_, now);
    last_ = now;
    return idle;
}

int TCpuUsageThread::GetCoresUsage()
{
    if (!processes_) {
        TSMPProcessSeams seams;
        seams.Snapshot = args_.CoreSnapshot;
        processes_ = std::make_unique<TSMPProcess>(true, seams);   // refreshes once
        processes_->TimesOnly = true;
    } else {
        processes_->Refresh();
    }
    return UpdateSamples(samples_, processes_->Processes, processes_->ProcessorCount);
}

bool TCpuUsageThread::IsClosing() { return AppClosing.load(); }

void TCpuUsageThread::Report(const std::exception_ptr& e)
{
    // The same failure every second would only flood the error log.
    std::string message = ExceptionMessage(e);
    if (message == lastReported_)
        return;
    lastReported_ = message;
    // This is not the GUI thread: the text travels there by a posted message
    // (a copy of its own, so it outlives this thread object).
    Application().PostException(message);
}

void TCpuUsageThread::Execute()
{
    while (!Terminated() && !IsClosing()) {
        int idle = 0, cores = 0;
        try {
            idle = std::max(0, GetSystemIdle());
            cores = std::max(0, GetCoresUsage());
        } catch (...) {
            Report(std::current_exception());
        }
        if (cores != lastCores_ || idle != lastIdle_)
            PostMessageW(args_.Window, WM_CPUUSAGE, static_cast<WPARAM>(idle), static_cast<LPARAM>(cores));
        lastCores_ = static_cast<BYTE>(cores);
        lastIdle_ = static_cast<BYTE>(idle);
        // Terminate wakes the wait at once; the closing flag is looked at every step.
        DWORD slept = 0;
        while (slept < args_.Period) {
            DWORD step = std::min<DWORD>(waitStep_.load(), args_.Period - slept);
            if (WaitForTerminate(step) || IsClosing())
                return;
            slept += step;
        }
    }
}
