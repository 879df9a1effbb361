#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "Classes/FahUtils.h"
#include "Classes/Lang.h"
#include "CoreTestSupport.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

using namespace core_test;
using testing_support::PumpUntil;

namespace {

const char kLog[] =
    "[08:46:44] Project: 8022 (Run 11, Clone 318, Gen 25)\r\n"
    "[08:50:37] Completed 10000 out of 250000 steps  (4%)\r\n"
    "[08:51:34] Completed 12500 out of 250000 steps  (5%)\r\n"
    "[08:52:30] Completed 15000 out of 250000 steps  (6%)\r\n";

class State : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing_support::HaveDisplay())
            GTEST_SKIP() << "no display for the message window";
        sink.Handle();
    }
    // A polling client object that posts to the sink.
    std::unique_ptr<TFah> Watch(const std::string& folder)
    {
        TFahParams p;
        p.Folder = folder;
        p.Subscribers = {sink.Handle()};
        return std::make_unique<TFah>(p);
    }
    uint8_t StatusOf(TFah& f)
    {
        TLock lock(f.CritSection());
        return f.Status;
    }
    // Forces a poll and waits until the state is the wanted one.
    bool Reaches(TFah& f, uint8_t state, DWORD ms = 5000)
    {
        f.RefreshNow(true);
        return PumpUntil([&] { return StatusOf(f) == state; }, ms);
    }
    // Waits until the thread has made its first poll and is not polling now.
    bool Idle(TFah& f, DWORD ms = 5000)
    {
        TFAHThread* t = f.PollThread();
        return PumpUntil([&] { return t->PollCount() >= 1 && !t->Polling(); }, ms);
    }
    // Waits until the poll running now has ended: the state is set before
    // the files are parsed.
    bool Settled(TFah& f, DWORD ms = 5000)
    {
        return PumpUntil([&] { return !f.PollThread()->Polling(); }, ms);
    }
    // Forces a poll and waits until it has run.
    bool PollOnce(TFah& f, DWORD ms = 5000)
    {
        if (!Idle(f, ms))
            return false;
        long before = f.PollThread()->PollCount();
        f.RefreshNow(true);
        return PumpUntil([&] { return f.PollThread()->PollCount() > before; }, ms);
    }
    std::vector<LPARAM> StatusChanges() const
    {
        std::vector<LPARAM> out;
        for (const auto& m : sink.Messages)
            if (m.msg == WM_FAHSTATUS)
                out.push_back(m.lParam);
        return out;
    }

    ReadPause pause{10};
    MessageSink sink;
};

std::atomic<int> g_connects{0};
std::string g_lastRemote;
DWORD CountingConnect(const std::string& remote)
{
    g_lastRemote = remote;
    ++g_connects;
    return ERROR_BAD_NETPATH;
}
DWORD ThrowingConnect(const std::string&)
{
    ++g_connects;
    throw Exception("connection attempt failed badly");
}
// A share that does not answer until the test lets it.
HANDLE g_shareAnswers = nullptr;
DWORD HangingConnect(const std::string&)
{
    ++g_connects;
    WaitForSingleObject(g_shareAnswers, 120000);
    return ERROR_BAD_NETPATH;
}

}  // namespace

TEST(FahObject, MessageNumbers)
{
    EXPECT_EQ(WM_FAHSTATUS, 1724u);
    EXPECT_EQ(WM_FAHEARLYUNITEND, 1725u);
    EXPECT_EQ(WM_FAHSSEOFF, 1726u);
    EXPECT_EQ(WM_FAHSMPBREAK, 1727u);
}

TEST(FahObject, FolderNamesAndTexts)
{
    Client a("c");
    EXPECT_EQ(a->Folder, "c:\\");
    EXPECT_EQ(a->LogFileName, "c:\\FAHlog.txt");
    Client b("D:\\fah\\client1");
    EXPECT_EQ(b->Folder, "D:\\fah\\client1\\");
    EXPECT_EQ(b->UnitInfoFileName, "D:\\fah\\client1\\unitinfo.txt");
    EXPECT_EQ(b->ClientCfgFileName, "D:\\fah\\client1\\client.cfg");
    EXPECT_EQ(b->GetDisplayName(), "D:\\fah\\client1\\");
    b->Alias = "Box";
    EXPECT_EQ(b->GetDisplayName(), "Box");

    // No configuration is none: the "not defined" text is only shown.
    EXPECT_EQ(b->CompConfig, "");
    b->SetCompConfig("   ");
    EXPECT_EQ(b->CompConfig, "");
    b->SetCompConfig(" Q6600 @ 3.0 ");
    EXPECT_EQ(b->CompConfig, " Q6600 @ 3.0 ");
    EXPECT_EQ(b->Status, fsUnknown);
    EXPECT_EQ(b->RefreshCounter, -1);
}

TEST(FahObject, PollDueTimesSurviveTheTickCountWrapping)
{
    EXPECT_TRUE(IsPollDue(1000, 1000, 0));
    EXPECT_FALSE(IsPollDue(1019, 1000, 20));
    EXPECT_TRUE(IsPollDue(1020, 1000, 20));
    // Scheduled just before the wrap, due just after it.
    EXPECT_FALSE(IsPollDue(3, 0xFFFFFFF0u, 20));
    EXPECT_TRUE(IsPollDue(5, 0xFFFFFFF0u, 20));
    EXPECT_FALSE(IsPollDue(0xFFFFFFF8u, 0xFFFFFFF0u, 20));
}

TEST(FahObject, IntervalIsAtLeast24SecondsAndANewValueForcesAPoll)
{
    ClientFolder dir;
    ReadPause pause(0);
    TFahParams p;
    p.Folder = dir.Path();
    TFah f(p);
    TFAHThread* t = f.PollThread();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Interval(), 24000u);
    EXPECT_EQ(t->SleepStep(), 160u);
    ASSERT_TRUE(PumpUntil([&] { return t->PollCount() >= 1; }, 20000));   // the first poll at once
    testing_support::Pump(400);
    long before = t->PollCount();
    f.SetInterval(10000);
    EXPECT_EQ(t->Interval(), 24000u);
    EXPECT_TRUE(PumpUntil([&] { return t->PollCount() > before; }, 20000));
    f.SetInterval(10000);   // the same again: nothing happens
    EXPECT_FALSE(t->ForcePoll());
    before = t->PollCount();
    testing_support::Pump(1000);
    EXPECT_EQ(t->PollCount(), before);
    f.SetInterval(90000);
    EXPECT_EQ(t->Interval(), 90000u);
}

TEST_F(State, UnheldLogIsStoppedHeldLogIsRunningAndALogNobodyMayReadIsNoAccess)
{
    ClientFolder dir;
    dir.Log(kLog);
    auto f = Watch(dir.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    EXPECT_EQ(StatusOf(*f), fsShutdown);
    EXPECT_EQ(sink.Messages[0].wParam, reinterpret_cast<WPARAM>(f.get()));
    EXPECT_EQ(sink.Messages[0].lParam, fsUnknown);

    LogHolder holder(dir.Path() + "FAHlog.txt");
    ASSERT_TRUE(holder.Holding());
    ASSERT_TRUE(Reaches(*f, fsRunning));
    {
        TLock lock(f->CritSection());
        EXPECT_EQ(f->Percent, 6);   // the running client's log is still read
        EXPECT_EQ(f->ProjectNumber, 8022);
    }
    holder.Release();
    ASSERT_TRUE(Reaches(*f, fsShutdown));
    sink.WaitFor(WM_FAHSTATUS, 3, 2000);
    EXPECT_EQ(StatusChanges(), (std::vector<LPARAM>{fsUnknown, fsShutdown, fsRunning}));

    // Another program holds the log, or the folder, sharing it with nobody:
    // every open of the log, or every listing of the folder, fails with a
    // sharing violation.
    const std::string folder = dir.Path().substr(0, dir.Path().size() - 1);
    for (const std::string& held : {dir.Path() + "FAHlog.txt", folder}) {
        SCOPED_TRACE(held);
        LogHolder locker(held, true);
        ASSERT_TRUE(locker.Holding());
        EXPECT_TRUE(Reaches(*f, fsNotAccess));
        locker.Release();
        EXPECT_TRUE(Reaches(*f, fsShutdown));
    }
    // A log the system refuses to open: the build links it to a file that
    // nobody may read.
    const std::string denied = ExeFolder() + "unreadable-client\\";
    HANDLE h = CreateFileW(Utf8ToWide(denied + "FAHlog.txt").c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(h, INVALID_HANDLE_VALUE);
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(FileExists(denied + "FAHlog.txt"));
    auto g = Watch(denied);
    EXPECT_TRUE(Reaches(*g, fsNotAccess));
}

// A Linux client on a share holds no lock: its log's tail tells. The first
// poll says running (never stopped first), and a stop written to the log
// is told at the next poll.
TEST_F(State, ALinuxClientsLogTailDecidesFromTheFirstPoll)
{
    const std::string running = RealText("fahlog-smp-a2-linux-interrupted-badwus.txt");
    ClientFolder dir;
    dir.Log(running);
    auto f = Watch(dir.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    EXPECT_EQ(StatusOf(*f), fsRunning);
    ASSERT_TRUE(PollOnce(*f));
    dir.Log(running + "[10:49:00] Folding@Home Client Shutdown.\n");
    EXPECT_TRUE(Reaches(*f, fsShutdown, 3000));
    testing_support::Pump(100);
    EXPECT_EQ(StatusChanges(), (std::vector<LPARAM>{fsUnknown, fsRunning}));
}

TEST_F(State, ResultsWithAHeldLogAreReadyToSend)
{
    ClientFolder dir;
    dir.Log(kLog);
    dir.Results();
    LogHolder holder(dir.Path() + "FAHlog.txt");
    ASSERT_TRUE(holder.Holding());
    auto f = Watch(dir.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    EXPECT_EQ(StatusOf(*f), fsReadyForSend);
}

TEST_F(State, NeitherLogNorResultsIsLogNotFound)
{
    ClientFolder dir;
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    auto f = Watch(dir.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    EXPECT_EQ(StatusOf(*f), fsLogNotFound);
    ASSERT_TRUE(Settled(*f));
    TLock lock(f->CritSection());
    EXPECT_EQ(f->WUName, "");   // a missing log clears everything
    EXPECT_EQ(f->UnitInfoLines.Count(), 0);
}

TEST_F(State, AMissingFolderIsNoAccessEvenWithResultsBefore)
{
    auto dir = std::make_unique<ClientFolder>();
    std::string path = dir->Path();
    dir->Log(kLog);
    dir->Results();
    auto f = Watch(path);
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    EXPECT_EQ(StatusOf(*f), fsReadyForSend);
    ASSERT_TRUE(Idle(*f));
    dir.reset();   // the folder goes
    ASSERT_FALSE(DirectoryExists(path));
    ASSERT_TRUE(Reaches(*f, fsNotAccess));
    ASSERT_TRUE(Settled(*f));
    TLock lock(f->CritSection());
    EXPECT_EQ(f->ProjectNumber, 0);
    EXPECT_EQ(f->LogLines->Count(), 0);
}

TEST_F(State, TheSameStateTwicePostsOnce)
{
    ClientFolder dir;
    dir.Log(kLog);
    auto f = Watch(dir.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    ASSERT_TRUE(PollOnce(*f));
    ASSERT_TRUE(PollOnce(*f));
    testing_support::Pump(100);
    EXPECT_EQ(sink.Count(WM_FAHSTATUS), 1u);
}

TEST_F(State, EveryNewObjectIsSubscribedToTheNotifyWindows)
{
    ClientFolder dir;
    dir.Log(kLog);
    MessageSink second;
    NotifyWindows = {sink.Handle()};
    auto f = std::make_unique<TFah>(dir.Path());
    NotifyWindows.clear();
    f->AddWindows({second.Handle()});
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    dir.Results();
    ASSERT_TRUE(Reaches(*f, fsReadyForSend));
    ASSERT_TRUE(second.WaitFor(WM_FAHSTATUS, 1, 2000));
    EXPECT_EQ(second.Messages.back().lParam, fsShutdown);
    // The first window saw both changes, in order.
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 2, 2000));
    EXPECT_EQ(StatusChanges(), (std::vector<LPARAM>{fsUnknown, fsShutdown}));
}

TEST_F(State, KeywordMessagesFromARunningClient)
{
    ClientFolder dir;
    dir.Log(kLog);
    LogHolder holder(dir.Path() + "FAHlog.txt");
    ASSERT_TRUE(holder.Holding());
    auto f = Watch(dir.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    ASSERT_EQ(StatusOf(*f), fsRunning);
    ASSERT_TRUE(PollOnce(*f));

    ASSERT_TRUE(holder.Append("[08:53:00] Folding@home Core Shutdown: EARLY_UNIT_END\r\n"));
    f->RefreshNow(true);
    ASSERT_TRUE(sink.WaitFor(WM_FAHEARLYUNITEND, 1, 5000));
    EXPECT_EQ(sink.Messages.back().wParam, reinterpret_cast<WPARAM>(f.get()));
    EXPECT_EQ(sink.Messages.back().lParam, 0);

    // The core prints this a few lines before the unit's project line.
    ASSERT_TRUE(holder.Append("[08:54:00] - Working with standard loops on this execution.\r\n"
                              "[08:54:01] - Files status OK\r\n"
                              "[08:54:02] Project: 8022 (Run 11, Clone 318, Gen 26)\r\n"));
    f->RefreshNow(true);
    ASSERT_TRUE(sink.WaitFor(WM_FAHSSEOFF, 1, 5000));

    ASSERT_TRUE(holder.Append("[08:55:00] The program will now exit.\r\n[08:55:01] Something else\r\n"));
    ASSERT_TRUE(PollOnce(*f));
    testing_support::Pump(100);
    EXPECT_EQ(sink.Count(WM_FAHSMPBREAK), 0u);
    // The second phrase in an older line does not count either.
    ASSERT_TRUE(holder.Append("[08:55:10] You may wish to check that no client is currently running.\r\n"
                              "[08:55:11] The program will now exit.\r\n"));
    ASSERT_TRUE(PollOnce(*f));
    testing_support::Pump(100);
    EXPECT_EQ(sink.Count(WM_FAHSMPBREAK), 0u);

    ASSERT_TRUE(holder.Append("[08:56:00] The program will now exit.\r\n"
                              "[08:56:00] You may wish to check that no client is currently running.\r\n"));
    f->RefreshNow(true);
    ASSERT_TRUE(sink.WaitFor(WM_FAHSMPBREAK, 1, 5000));
    testing_support::Pump(100);
    EXPECT_EQ(sink.Count(WM_FAHEARLYUNITEND), 1u);
    EXPECT_EQ(sink.Count(WM_FAHSSEOFF), 1u);
    EXPECT_EQ(sink.Count(WM_FAHSMPBREAK), 1u);
    TLock lock(f->CritSection());
    EXPECT_TRUE(f->NewMessages);
}

TEST_F(State, AReceiverCanTellWhetherTheObjectStillExists)
{
    ClientFolder dir;
    dir.Log(kLog);
    auto f = Watch(dir.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    WPARAM w = sink.Messages[0].wParam;
    EXPECT_TRUE(IsFahAlive(f.get()));
    EXPECT_EQ(FahFromMessage(w), f.get());
    f.reset();
    EXPECT_FALSE(IsFahAlive(reinterpret_cast<TFah*>(w)));
    EXPECT_EQ(FahFromMessage(w), nullptr);
    EXPECT_EQ(FahFromMessage(0), nullptr);
}

TEST_F(State, SetFolderFromTheWindowThreadWhilePolling)
{
    ClientFolder a, b;
    a.Log(kLog);
    b.Log(RealText("fahlog-gpu3-core15-v641-running.txt"));
    ReadPause fast(0);
    auto f = Watch(a.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    for (int i = 0; i < 200; ++i) {
        f->SetFolder(i % 2 ? a.Path() : b.Path());
        if (i % 20 == 0)
            testing_support::Pump(5);
    }
    // Last set: b (i = 198), then a (i = 199): settle on a.
    ASSERT_TRUE(PumpUntil(
        [&] {
            TLock lock(f->CritSection());
            return f->Status == fsShutdown && f->ProjectNumber == 8022;
        },
        5000));
    ASSERT_TRUE(PollOnce(*f));
    TLock lock(f->CritSection());
    EXPECT_EQ(f->Folder, a.Path());
    EXPECT_EQ(f->ProjectNumber, 8022);
    EXPECT_EQ(f->RunCloneGen, "Run 11, Clone 318, Gen 25");
    EXPECT_EQ(f->LogLines->Text(), kLog);
}

TEST_F(State, AnExceptionInAPollIsReportedAndPollingGoesOn)
{
    testing_support::ClearCaughtErrors();
    g_connects = 0;
    TFah::SetNetConnectForTesting(&ThrowingConnect);
    auto f = Watch("\\\\nohost.invalid\\share\\client");
    ASSERT_TRUE(PumpUntil([] { return g_connects >= 1; }, 20000));
    ASSERT_TRUE(PumpUntil([] { return !testing_support::CaughtErrors().empty(); }, 20000));
    EXPECT_EQ(testing_support::CaughtErrors()[0], "connection attempt failed badly");
    f->RefreshNow(true);
    EXPECT_TRUE(PumpUntil([] { return g_connects >= 2; }, 20000));
    f.reset();
    TFah::SetNetConnectForTesting(nullptr);
    testing_support::ClearCaughtErrors();
}

TEST_F(State, AShareIsConnectedOncePerPollAndALocalFolderNever)
{
    g_connects = 0;
    TFah::SetNetConnectForTesting(&CountingConnect);
    {
        auto f = Watch("\\\\nohost.invalid\\share\\client");
        ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
        EXPECT_EQ(StatusOf(*f), fsNotAccess);
        EXPECT_EQ(g_connects.load(), 1);
        EXPECT_EQ(g_lastRemote, "\\\\nohost.invalid\\share\\client\\");
        ASSERT_TRUE(PollOnce(*f));
        EXPECT_EQ(g_connects.load(), 2);
    }
    {
        ClientFolder dir;
        std::string missing = dir.Path() + "not-there";
        auto f = Watch(missing);
        ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 2, 5000));
        EXPECT_EQ(StatusOf(*f), fsNotAccess);
        EXPECT_EQ(g_connects.load(), 2);
    }
    TFah::SetNetConnectForTesting(nullptr);
    // The real call fails at once here; the client is simply not reachable.
    auto f = Watch("\\\\nohost.invalid\\share\\client");
    EXPECT_TRUE(PumpUntil([&] { return StatusOf(*f) == fsNotAccess; }, 10000));
}

TEST_F(State, FreeingTheObjectStopsItsThreadPromptly)
{
    ClientFolder dir;
    dir.Log(RealText("fahlog-cpu-service-b4-82-shutdown-restart.txt"));
    ReadPause slow(2000);   // caught in the middle of a long pause
    auto f = Watch(dir.Path());
    PumpUntil([&] { return false; }, 300);
    DWORD start = GetTickCount();
    f.reset();
    EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST_F(State, TheClosingFlagEndsThePolling)
{
    ClientFolder dir;
    dir.Log(kLog);
    auto f = Watch(dir.Path());
    ASSERT_TRUE(sink.WaitFor(WM_FAHSTATUS, 1, 5000));
    AppClosing = true;
    bool ended = PumpUntil([&] { return f->PollThread()->Finished(); }, 3000);
    AppClosing = false;
    EXPECT_TRUE(ended);
}

TEST_F(State, AThousandClientsAllStartPolling)
{
    // Every client a polling thread of its own, in one 32-bit process.
    ClientFolder dir;
    dir.Log(kLog);
    std::vector<std::unique_ptr<TFah>> clients;
    int refused = 0;
    for (int i = 0; i < 1000; ++i) {
        TFahParams p;
        p.Folder = dir.Path();
        try {
            clients.push_back(std::make_unique<TFah>(p));
        } catch (const std::exception&) {
            ++refused;   // the object could not be made at all
        }
    }
    int polling = 0;
    for (auto& c : clients)
        polling += c->PollThread() != nullptr;
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(polling, 1000);
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (auto& c : clients)
                if (c->PollThread() && (c->PollThread()->PollCount() < 1 || c->PollThread()->Polling()))
                    return false;
            return true;
        },
        60000));
}

TEST_F(State, AClientWhoseThreadIsRefusedStaysAndSaysWhy)
{
    ClientFolder dir;
    dir.Log(kLog);
    TThread::FailCreationsForTesting(1);
    std::unique_ptr<TFah> f;
    try {
        f = Watch(dir.Path());
    } catch (const std::exception& e) {
        ADD_FAILURE() << "the object was not made: " << e.what();
    }
    TThread::FailCreationsForTesting(0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->PollThread(), nullptr);
    TLock lock(f->CritSection());
    EXPECT_EQ(f->ErrorText, "Thread creation error");
    EXPECT_EQ(f->Status, fsUnknown);
}

// A client left out for want of room polls, once it gets its thread, at the
// interval it was given meanwhile, not at the thread's own first one.
TEST_F(State, AClientWatchedLaterPollsAtTheIntervalItWasGiven)
{
    ClientFolder dir;
    dir.Log(kLog);
    TFah::SetAddressSpaceReserveForTesting(FreeAddressSpace());   // no room at all
    std::unique_ptr<TFah> f = Watch(dir.Path());
    TFah::SetAddressSpaceReserveForTesting(0);
    ASSERT_TRUE(f->LeftOut());
    f->SetInterval(100000);
    ASSERT_TRUE(f->WatchIfRoom());
    ASSERT_NE(f->PollThread(), nullptr);
    EXPECT_EQ(f->PollThread()->Interval(), 100000u);
}

// Clients whose polls hang on dead shares, released together (the list's
// rows at close), hold the caller for one wait in all, not one each; they
// are freed once their polls come back.
TEST_F(State, ClientsHangingOnSharesAreReleasedWithinOneWait)
{
    constexpr int kClients = 20;
    constexpr DWORD kWait = 2000;
    g_connects = 0;
    g_shareAnswers = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    TFah::SetNetConnectForTesting(&HangingConnect);
    std::vector<std::unique_ptr<TFah>> clients;
    for (int i = 0; i < kClients; ++i)
        clients.push_back(Watch("\\\\hung.invalid\\share\\client" + std::to_string(i)));
    ASSERT_TRUE(PumpUntil([] { return g_connects.load() == kClients; }, 30000)) << "every poll hanging";
    const DWORD start = GetTickCount();
    {
        TFahReleaseBatch batch(kWait);
        for (auto& f : clients)
            ReleaseFah(std::move(f), kWait);
    }
    // One after another: kClients x kWait = 40 s.
    EXPECT_LT(GetTickCount() - start, 5 * kWait);
    EXPECT_EQ(FreeReleasedFahs(), size_t(kClients));
    SetEvent(g_shareAnswers);
    EXPECT_TRUE(PumpUntil([] { return FreeReleasedFahs() == 0; }, 30000)) << "the clients freed after their polls";
    TFah::SetNetConnectForTesting(nullptr);
    CloseHandle(g_shareAnswers);
}
