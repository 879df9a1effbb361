// The CPU-usage sampler: its arithmetic, its messages and its life on a real thread.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Classes/CpuUsageThread.h"
#include "Classes/Fah.h"
#include "platform/Application.h"
#include "procs/ProcsTestKit.h"
#include "support/TestSupport.h"

using namespace procs_test;
using testing_support::Pump;
using testing_support::PumpUntil;

namespace {

TSystemTimes Times(int64_t idle, int64_t time, BYTE cpus)
{
    TSystemTimes t;
    t.IdleTime = idle;
    t.SystemTime = time;
    t.ProcessorCount = cpus;
    return t;
}

TProcessRecord Core(DWORD pid, int64_t totalMs, DWORD tick)
{
    TProcessRecord r;
    r.Pid = pid;
    r.Name = "FAHCORE_A1.EXE";
    r.TotalMs = totalMs;
    r.UserMs = totalMs;
    r.Tick = tick;
    return r;
}

TSMPList List(std::initializer_list<TProcessRecord> records)
{
    TSMPList l;
    for (const auto& r : records)
        l.Add(r);
    return l;
}

const int64_t kSecond = 10000000;   // in 100 ns

// A scripted machine: one entry per sample, handed out by the seams.
struct TScript {
    std::mutex lock;
    std::vector<TSystemTimes> system;
    std::vector<TSMPList> cores;
    size_t systemAt = 0;
    size_t coresAt = 0;

    // Past the end of the script the last step repeats.
    void ReadSystem(TSystemTimes& out)
    {
        std::lock_guard<std::mutex> g(lock);
        size_t n = system.size();
        out = system[std::min(systemAt, n - 1)];
        if (systemAt >= n && n >= 2) {
            int64_t k = static_cast<int64_t>(systemAt - n + 1);
            out.IdleTime += k * (system[n - 1].IdleTime - system[n - 2].IdleTime);
            out.SystemTime += k * (system[n - 1].SystemTime - system[n - 2].SystemTime);
        }
        ++systemAt;
    }
    void Snapshot(TSMPList& out)
    {
        std::lock_guard<std::mutex> g(lock);
        size_t n = cores.size();
        const TSMPList& l = cores[std::min(coresAt, n - 1)];
        for (int i = 0; i < l.Count(); ++i) {
            TProcessRecord r = l[i];
            if (coresAt >= n && n >= 2 && cores[n - 2].Count() > i) {
                int64_t k = static_cast<int64_t>(coresAt - n + 1);
                r.TotalMs += k * (l[i].TotalMs - cores[n - 2][i].TotalMs);
                r.Tick += static_cast<DWORD>(k) * (l[i].Tick - cores[n - 2][i].Tick);
            }
            out.Add(r);
        }
        ++coresAt;
    }
    size_t Samples()
    {
        std::lock_guard<std::mutex> g(lock);
        return systemAt;
    }
};

TCpuUsageThreadArgs ScriptedArgs(HWND window, TScript& script, DWORD period)
{
    TCpuUsageThreadArgs a;
    a.Window = window;
    a.Period = period;
    a.ReadSystem = [&script](TSystemTimes& t) { script.ReadSystem(t); };
    a.CoreSnapshot = [&script](TSMPList& l) { script.Snapshot(l); };
    return a;
}

}  // namespace

TEST(CpuSampler, MessageNumber)
{
    EXPECT_EQ(WM_CPUUSAGE, 1924u);
}

TEST(CpuSampler, IdlePercentOfTheInterval)
{
    // Four of eight processors idle for one second: 50 % less the half step.
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(0, 0, 8), Times(4 * kSecond, kSecond, 8)), 50);   // 49.5 to even
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(10, 100, 8), Times(10 + 6 * kSecond + kSecond / 10, 100 + kSecond, 8)),
              76);   // 76.25 - 0.5
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(0, 0, 1), Times(kSecond / 3, kSecond, 1)), 33);
    // The half step down: 25 % exactly is 24.5, to even 24; 30.6 % is 30.1.
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(0, 0, 1), Times(kSecond / 4, kSecond, 1)), 24);
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(0, 0, 2), Times(2 * kSecond * 306 / 1000, kSecond, 2)), 30);
}

TEST(CpuSampler, IdlePercentIsGuardedAndClamped)
{
    // No time passed, or time went backwards: nothing to say.
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(0, kSecond, 4), Times(kSecond, kSecond, 4)), 0);
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(0, 2 * kSecond, 4), Times(kSecond, kSecond, 4)), 0);
    // No processor count (the query failed).
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(0, 0, 0), Times(kSecond, kSecond, 0)), 0);
    // Idle time beyond what the processors could have: at most 100.
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(0, 0, 2), Times(9 * kSecond, kSecond, 2)), 100);
    // Idle counter going backwards: at least 0.
    EXPECT_EQ(TCpuUsageThread::IdlePercent(Times(5 * kSecond, 0, 2), Times(kSecond, kSecond, 2)), 0);
    // Everything failed on both sides.
    EXPECT_EQ(TCpuUsageThread::IdlePercent(TSystemTimes{}, TSystemTimes{}), 0);
}

TEST(CpuSampler, NewProcessCountsFromTheSecondSample)
{
    TSMPList samples;
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(7, 1000, 5000)}), 2), 0);
    ASSERT_EQ(samples.Count(), 1);
    EXPECT_EQ(samples[0].Usage, kUsageUnknown);
    // 500 ms of CPU in 1000 ms on two processors: 25 %.
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(7, 1500, 6000)}), 2), 25);
    EXPECT_EQ(samples[0].Usage, 25);
    EXPECT_EQ(samples[0].TotalMs, 1500);
    EXPECT_EQ(samples[0].Tick, 6000u);
    // A second core joins: not counted yet; the first one idles.
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(7, 1500, 7000), Core(9, 40, 7000)}), 2), 0);
    EXPECT_EQ(samples.Count(), 2);
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(7, 1700, 8000), Core(9, 1040, 8000)}), 2), 60);
}

TEST(CpuSampler, CoreUsageIsRoundedToTheNearest)
{
    TSMPList samples;
    TCpuUsageThread::UpdateSamples(samples, List({Core(1, 0, 0), Core(2, 0, 0)}), 1);
    // 12.5 % and 13.5 %: halves go to the even neighbour; 6.6 % is 7.
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 125, 1000), Core(2, 135, 1000)}), 1), 26);
    EXPECT_EQ(samples[samples.IndexOfPid(1)].Usage, 12);
    EXPECT_EQ(samples[samples.IndexOfPid(2)].Usage, 14);
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 191, 2000), Core(2, 135, 2000)}), 1), 7);
    EXPECT_EQ(samples[samples.IndexOfPid(1)].Usage, 7);
    EXPECT_EQ(samples[samples.IndexOfPid(2)].Usage, 0);
}

TEST(CpuSampler, EndedProcessIsDropped)
{
    TSMPList samples;
    TCpuUsageThread::UpdateSamples(samples, List({Core(1, 0, 0), Core(2, 0, 0), Core(3, 0, 0)}), 1);
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 100, 1000), Core(3, 200, 1000)}), 1), 30);
    ASSERT_EQ(samples.Count(), 2);
    EXPECT_EQ(samples.IndexOfPid(2), -1);
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, TSMPList{}, 1), 0);
    EXPECT_TRUE(samples.Empty());
}

TEST(CpuSampler, UsageDivisionsAreGuarded)
{
    TSMPList samples;
    TCpuUsageThread::UpdateSamples(samples, List({Core(1, 100, 5000)}), 4);
    // Same tick twice: no interval, no usage, no failure.
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 900, 5000)}), 4), 0);
    EXPECT_EQ(samples[0].Usage, kUsageUnknown);
    // No processor count.
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 1000, 6000)}), 0), 0);
    EXPECT_EQ(samples[0].Usage, kUsageUnknown);
    // CPU time going backwards, and more than 127 %: unknown, not counted.
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 500, 7000)}), 1), 0);
    EXPECT_EQ(samples[0].Usage, kUsageUnknown);
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 2000, 8000)}), 1), 0);
    EXPECT_EQ(samples[0].Usage, kUsageUnknown);
    // Exactly 127 still counts.
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 3270, 9000)}), 1), 100);   // sum capped
    EXPECT_EQ(samples[0].Usage, 127);
}

TEST(CpuSampler, TickCountWrapIsNoGap)
{
    TSMPList samples;
    TCpuUsageThread::UpdateSamples(samples, List({Core(1, 100, 0xFFFFFF00u)}), 1);
    // 0xFFFFFF00 + 1000 ms wraps to 0x2E8.
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 550, 0x2E8u)}), 1), 45);
}

TEST(CpuSampler, SumOfCoresIsAtMostOneHundred)
{
    TSMPList samples;
    TCpuUsageThread::UpdateSamples(samples, List({Core(1, 0, 0), Core(2, 0, 0), Core(3, 0, 0)}), 1);
    EXPECT_EQ(TCpuUsageThread::UpdateSamples(samples, List({Core(1, 600, 1000), Core(2, 600, 1000), Core(3, 600, 1000)}), 1),
              100);
}

TEST(CpuSampler, FirstSampleIsPostedEvenWhenBothAreZero)
{
    TUsageWindow w;
    HWND h = w.Handle();
    ASSERT_NE(h, nullptr);
    TScript script;
    script.system = {TSystemTimes{}};
    script.cores = {TSMPList{}};
    DWORD start = GetTickCount();
    TCpuUsageThread t(ScriptedArgs(h, script, 20));
    ASSERT_TRUE(PumpUntil([&] { return w.Count() > 0; }, 20000));
    EXPECT_LT(GetTickCount() - start, 1000u);
    // Many unchanged samples later: still that one message.
    ASSERT_TRUE(PumpUntil([&] { return script.Samples() > 10; }, 20000));
    Pump(50);
    auto got = w.Received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].Idle, 0u);
    EXPECT_EQ(got[0].Cores, 0);
}

TEST(CpuSampler, OnlyChangesArePosted)
{
    TUsageWindow w;
    TScript script;
    // System: 2 processors, idle 50 %, 50 %, 75 %, 75 % ... (the first sample is against 0).
    int64_t idle = 0, time = 1000 * kSecond;
    script.system.push_back(Times(idle, time, 2));
    const int idlePct[] = {50, 50, 75, 75, 75, 75};
    for (int p : idlePct) {
        time += kSecond;
        idle += 2 * kSecond * p / 100 + 2 * kSecond * 4 / 1000;   // p + 0.4 before the half step
        script.system.push_back(Times(idle, time, 2));
    }
    // One core, against this machine's processor count: unknown, then 10 %,
    // 10 %, 10 %, 20 %, 20 %, ...
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const int64_t n = si.dwNumberOfProcessors;
    const int64_t total[] = {0, 100 * n, 200 * n, 300 * n, 500 * n, 700 * n, 900 * n};
    for (int i = 0; i < 7; ++i)
        script.cores.push_back(List({Core(42, total[i], 1000u * static_cast<DWORD>(i + 1))}));
    TCpuUsageThread t(ScriptedArgs(w.Handle(), script, 20));
    ASSERT_TRUE(PumpUntil([&] { return script.Samples() > 9; }, 20000));
    Pump(50);
    auto got = w.Received();
    // (0,0) first; (50,10); (75,10) at the third; (75,20) at the fifth.
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].Idle, 0u);
    EXPECT_EQ(got[0].Cores, 0);
    EXPECT_EQ(got[1].Idle, 50u);
    EXPECT_EQ(got[1].Cores, 10);
    EXPECT_EQ(got[2].Idle, 75u);
    EXPECT_EQ(got[2].Cores, 10);
    EXPECT_EQ(got[3].Idle, 75u);
    EXPECT_EQ(got[3].Cores, 20);
}

namespace {

// Records what reaches the application's handler, and on which thread; the
// test executable's own recorder is put back afterwards.
class THandlerProbe {
public:
    THandlerProbe() : saved_(Application().OnException)
    {
        Application().OnException = [this](const std::string& m) {
            std::lock_guard<std::mutex> g(lock_);
            calls_.push_back({m, GetCurrentThreadId()});
        };
    }
    ~THandlerProbe() { Application().OnException = saved_; }
    struct Call {
        std::string Message;
        DWORD Thread;
    };
    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> g(lock_);
        return calls_;
    }

private:
    std::function<void(const std::string&)> saved_;
    std::mutex lock_;
    std::vector<Call> calls_;
};

TCpuUsageThreadArgs FailingArgs(HWND window, std::atomic<int>& calls)
{
    TCpuUsageThreadArgs a;
    a.Window = window;
    a.Period = 10;
    a.ReadSystem = [](TSystemTimes& t) { t = TSystemTimes{}; };
    a.CoreSnapshot = [&calls](TSMPList&) {
        ++calls;
        throw std::runtime_error("snapshot broke");
    };
    return a;
}

// Waits up to ms without reading this thread's messages.
template <class Pred>
bool WaitUnpumped(Pred pred, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(5);
    }
    return true;
}

}  // namespace

TEST(CpuSampler, FailingSnapshotIsReportedOnceOnTheGuiThreadAndSamplingGoesOn)
{
    TUsageWindow w;
    std::atomic<int> calls{0};
    THandlerProbe probe;
    TCpuUsageThread t(FailingArgs(w.Handle(), calls));
    // Without a message loop turning, nothing reaches the handler: the
    // sampler's thread never calls it itself.
    ASSERT_TRUE(WaitUnpumped([&] { return calls.load() >= 5; }, 5000));
    EXPECT_TRUE(probe.Calls().empty());
    EXPECT_EQ(Application().PendingExceptions(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return !probe.Calls().empty(); }, 20000));
    ASSERT_TRUE(PumpUntil([&] { return calls.load() > 10; }, 20000));
    EXPECT_FALSE(t.Finished());
    auto got = probe.Calls();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].Message, "snapshot broke");
    EXPECT_EQ(got[0].Thread, GetCurrentThreadId());
    EXPECT_NE(got[0].Thread, t.ThreadID());
}

TEST(CpuSampler, PostedErrorOutlivesTheSamplerAndItsWindow)
{
    std::atomic<int> calls{0};
    THandlerProbe probe;
    auto* w = new TUsageWindow;
    auto* t = new TCpuUsageThread(FailingArgs(w->Handle(), calls));
    bool posted = WaitUnpumped([] { return Application().PendingExceptions() > 0; }, 5000);
    // Both go before the GUI thread reads its messages.
    delete t;
    delete w;
    ASSERT_TRUE(posted);
    Pump(100);
    auto got = probe.Calls();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].Message, "snapshot broke");
    EXPECT_EQ(got[0].Thread, GetCurrentThreadId());
    EXPECT_EQ(Application().PendingExceptions(), 0u);
}

TEST(CpuSampler, StopReturnsPromptlyAndNothingArrivesAfter)
{
    TUsageWindow w;
    auto* t = new TCpuUsageThread(w.Handle());   // the real system, one sample a second
    ASSERT_TRUE(PumpUntil([&] { return w.Count() > 0; }, 20000));
    Sleep(400);   // in the middle of its wait
    DWORD start = GetTickCount();
    delete t;
    EXPECT_LT(GetTickCount() - start, 1000u);
    size_t count = w.Count();
    Pump(2500);
    EXPECT_EQ(w.Count(), count);
}

TEST(CpuSampler, StopWhileSamplingDropsQueuedMessages)
{
    // A sampler posting every few milliseconds with changing values; the
    // messages it queued before it stopped are not delivered either.
    TUsageWindow w;
    std::atomic<int> n{0};
    TCpuUsageThreadArgs a;
    a.Window = w.Handle();
    a.Period = 1;
    a.ReadSystem = [&](TSystemTimes& t) { t = Times(0, 0, 1); };
    a.CoreSnapshot = [&](TSMPList& out) {
        int i = ++n;
        out.Add(Core(1, static_cast<int64_t>(i) * (i % 2 ? 100 : 300), static_cast<DWORD>(i) * 1000));
    };
    auto* t = new TCpuUsageThread(a);
    while (n.load() < 50)
        Sleep(1);
    delete t;
    Pump(200);
    EXPECT_EQ(w.Count(), 0u);
}

TEST(CpuSampler, ClosingFlagEndsTheThread)
{
    TUsageWindow w;
    TCpuUsageThread t(w.Handle());
    t.SetWaitStep(20);
    ASSERT_TRUE(PumpUntil([&] { return w.Count() > 0; }, 20000));
    EXPECT_FALSE(t.Finished());
    DWORD start = GetTickCount();
    AppClosing = true;
    bool ended = PumpUntil([&] { return t.Finished(); }, 2000);
    AppClosing = false;
    ASSERT_TRUE(ended);
    EXPECT_LT(GetTickCount() - start, 500u);
}

TEST(CpuSampler, SystemTimesAreReadForReal)
{
    TSystemTimes a, b;
    ASSERT_TRUE(ReadSystemTimes(a));
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    EXPECT_EQ(a.ProcessorCount, si.dwNumberOfProcessors);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    int64_t now = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    EXPECT_LT(std::llabs(now - a.SystemTime), 10 * kSecond);
    Sleep(300);
    ASSERT_TRUE(ReadSystemTimes(b));
    EXPECT_GT(b.SystemTime, a.SystemTime);
    EXPECT_GE(b.IdleTime, a.IdleTime);
    int idle = TCpuUsageThread::IdlePercent(a, b);
    EXPECT_GE(idle, 0);
    EXPECT_LE(idle, 100);
}

TEST(CpuSampler, RealSamplerPostsWithinASecondAndOnlyChanges)
{
    TCoreProcesses cores;
    cores.Start("FahCore_a1.exe", 2);
    cores.Start("FahCore_78.exe", 2);
    TUsageWindow w;
    DWORD start = GetTickCount();
    TCpuUsageThread t(w.Handle());
    EXPECT_EQ(t.Period(), 1000u);
    ASSERT_TRUE(PumpUntil([&] { return w.Count() > 0; }, 20000));
    EXPECT_LT(w.Received()[0].Tick - start, 1500u);
    // Keep this machine a little busy so the idle share moves.
    DWORD busyUntil = GetTickCount() + 3200;
    volatile double x = 0;
    while (GetTickCount() < busyUntil) {
        for (int i = 0; i < 100000; ++i)
            x = x + 1.0;
        Pump(1);
    }
    auto got = w.Received();
    ASSERT_GE(got.size(), 1u);
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_LE(got[i].Idle, 100u);
        EXPECT_GE(got[i].Cores, 0);
        EXPECT_LE(got[i].Cores, 100);
        if (i > 0) {
            EXPECT_TRUE(got[i].Idle != got[i - 1].Idle || got[i].Cores != got[i - 1].Cores);
            // About one sample a second, never faster.
            EXPECT_GE(got[i].Tick - got[i - 1].Tick, 700u);
        }
    }
    EXPECT_LE(got.size(), 5u);
}
