#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>

#include "Classes/FahUtils.h"
#include "Classes/Lang.h"
#include "Classes/LogTail.h"
#include "platform/FileStamp.h"
#include "CoreTestSupport.h"
#include "platform/Text.h"

using namespace core_test;

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s) { return EncodeDateTime(y, mo, d, h, mi, s, 0); }

struct Expected {
    const char* file;
    int project;
    const char* rcg;
    int percent;   // with a unitinfo.txt present
    const char* user;
    int team;
    int64_t wuSizeRaw;   // KB in ten-thousandths
    uint8_t state;       // after two polls, nobody holding the log
};

// Read off the files by hand: the newest project line, the newest progress
// line below the unit's own project line, the newest "User name:" line, and
// the download size printed above the unit's project line.
const Expected kRealLogs[] = {
    {"fahlog-smp-a4-bigadv-running.txt", 8022, "Run 11, Clone 318, Gen 25", 6, "GreyWhiskers", 0, 8599521, fsShutdown},
    {"fahlog-smp-a2-linux-sending-results.txt", 2677, "Run 35, Clone 31, Gen 38", 100, "harlam357", 32, 47285771, fsShutdown},
    {"fahlog-smp-a2-linux-interrupted-badwus.txt", 2677, "Run 28, Clone 77, Gen 45", 45, "harlam357", 32, 47250498, fsRunning},
    {"fahlog-cpu-service-b4-82-shutdown-restart.txt", 10015, "Run 3609, Clone 0, Gen 0", 33, "NerdZone", 155945, 0, fsShutdown},
    {"fahlog-cpu-classic-78-a0-sigterm-oneunit.txt", 5113, "Run 144, Clone 48, Gen 8", 100, "harlam357", 32, 11308271, fsShutdown},
    {"fahlog-gpu2-core11-14-paused-shutdown.txt", 5915, "Run 2, Clone 218, Gen 11", 23, "harlam357", 32, 669756, fsShutdown},
    {"fahlog-gpu2-unstable-machine-EXCERPT-first16000.txt", 5771, "Run 1, Clone 112, Gen 955", 0, "harlam357", 32, 443252, fsShutdown},
    {"fahlog-gpu3-core15-v641-running.txt", 10634, "Run 8, Clone 24, Gen 24", 11, "HayesK", 32, 426699, fsRunning},
};

class Parse : public ::testing::Test {
protected:
    ReadPause pause_{0};
    ZoneBias bias_{0};
};

const char kSmpTail[] =
    "[08:50:37] Completed 10000 out of 250000 steps  (4%)\r\n"
    "[08:51:34] Completed 12500 out of 250000 steps  (5%)\r\n"
    "[08:52:30] Completed 15000 out of 250000 steps  (6%)\r\n";

}  // namespace

TEST_F(Parse, EveryRealLog)
{
    for (const Expected& e : kRealLogs) {
        SCOPED_TRACE(e.file);
        ClientFolder dir;
        dir.Log(RealText(e.file));
        dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
        Client c(dir.Path());
        c.Poll();
        c.Poll();
        TLock lock(c->CritSection());
        EXPECT_EQ(c->Status, e.state);
        EXPECT_EQ(c->ProjectNumber, e.project);
        EXPECT_EQ(c->RunCloneGen, e.rcg);
        EXPECT_EQ(c->Percent, e.percent);
        EXPECT_EQ(c->UserName, e.user);
        EXPECT_EQ(c->TeamNumber, e.team);
        EXPECT_EQ(c->WuSize.Raw(), e.wuSizeRaw);
        EXPECT_EQ(c->LogLines->Text(), RealText(e.file));
        EXPECT_EQ(c->WUName, "p4744_lam5w_300K");
    }
}

TEST_F(Parse, ResultsBeingSentShowTheFinishedUnit)
{
    // The newest project line repeats the unit's own while the results go out.
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a2-linux-sending-results.txt"));
    dir.Results();
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->Status, fsReadyForSend);
    EXPECT_EQ(c->Percent, 100);   // no unitinfo.txt, results waiting
    EXPECT_EQ(c->WuSize.Raw(), 47285771);
}

TEST_F(Parse, PercentWithoutUnitInformation)
{
    ClientFolder dir;
    dir.Log(RealText("fahlog-cpu-classic-78-a0-sigterm-oneunit.txt"));
    Client c(dir.Path());
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->Status, fsShutdown);
        EXPECT_EQ(c->Percent, 0);   // between units
        EXPECT_EQ(c->DueText, "");
        EXPECT_EQ(c->ProjectNumber, 5113);
    }
    dir.Results();
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->Status, fsReadyForSend);
    EXPECT_EQ(c->Percent, 100);
}

TEST_F(Parse, ANewUnitDoesNotShowThePreviousUnitsProgress)
{
    std::string full = RealText("fahlog-smp-a4-bigadv-running.txt");
    ClientFolder dir;
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    dir.Log(full.substr(0, full.find("[08:46:50] Completed 0 out of")));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->Percent, 0);
    EXPECT_EQ(c->RunCloneGen, "Run 11, Clone 318, Gen 25");
    EXPECT_EQ(c->WuSize.Raw(), 8599521);
}

TEST_F(Parse, UnitInformation)
{
    FixedClock clock(At(2011, 3, 25, 12, 0, 0));
    ClientFolder dir;
    dir.Log("[10:00:00] nothing yet\r\n");
    dir.UnitInfo(RealText("unitinfo-cpu-protomol.txt"));
    Client c(dir.Path());
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->WUName, "ProtoMol p10002");
        EXPECT_EQ(c->ProjectNumber, 10002);   // from the name when the log has no project line
        EXPECT_EQ(c->DownloadText, "11.03.23   22:41:07");
        EXPECT_EQ(c->DueText, "11.04.15   23:38:42");
        EXPECT_EQ(c->UnitInfoLines.Count(), 7);
    }
    EXPECT_EQ(c->GetUnitInfoValue("Tag: "), "-");
    EXPECT_EQ(c->GetUnitInfoValue("Progress: "), "11%  [|_________]");
    EXPECT_EQ(c->GetUnitInfoValue("Nothing: "), "");

    dir.UnitInfo(RealText("unitinfo-malformed-download-month.txt"));
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->DownloadText, "");
        EXPECT_EQ(c->DueText, "10.12.18   00:09:22");
        EXPECT_EQ(c->ProjectNumber, 0);   // "Gromacs" is no project name
    }
    dir.UnitInfo("Current Work Unit\r\n-----------------\r\nName: p4744_x\r\n");
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_FALSE(sWithoutLimitation.empty());
        EXPECT_EQ(c->DueText, sWithoutLimitation);
        EXPECT_EQ(c->ProjectNumber, 4744);
    }
    dir.UnitInfo("");
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->DueText, "");
    EXPECT_EQ(c->WUName, "");
}

TEST_F(Parse, RunCloneGenWithColons)
{
    ClientFolder dir;
    dir.Log("[12:00:00] Project: 2669, Run: 3, Clone: 172, Gen: 133\r\n[12:00:01] x\r\n");
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->RunCloneGen, "Run 3, Clone 172, Gen 133");
}

TEST_F(Parse, EstimateFromTheNewestProgressLines)
{
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    FixedClock clock(At(2011, 3, 20, 8, 53, 0));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    // Steps of 56, 57 and 56 s for 1 % each (the oldest step left out); 94 % to go.
    EXPECT_EQ(c->EtaText, "11.03.20   10:20:45");
    EXPECT_NEAR(c->StepTime * 86400, 169.0 / 3, 1e-6);
    EXPECT_NEAR(c->Rate, 0.01 / (169.0 / 3 / 3600), 1e-9);
    EXPECT_DOUBLE_EQ(c->LastProgressTime, At(2011, 3, 20, 8, 52, 30));
}

TEST_F(Parse, EstimateWestOfUtcIsNotADayEarly)
{
    ZoneBias west(600);   // UTC-10: 08:52:30 UTC is 22:52:30 the day before
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    FixedClock clock(At(2011, 3, 19, 22, 53, 0));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->EtaText, "11.03.20   00:20:45");
    EXPECT_DOUBLE_EQ(c->LastProgressTime, At(2011, 3, 19, 22, 52, 30));
}

TEST_F(Parse, ProgressTimesLaterThanNow)
{
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    Client c(dir.Path());
    {
        // Less than 15 minutes ahead: counts as now.
        FixedClock clock(At(2011, 3, 20, 8, 40, 0));
        c.Poll();
        TLock lock(c->CritSection());
        EXPECT_EQ(c->EtaText, "11.03.20   10:08:15");
    }
    {
        // More: the line is from yesterday.
        FixedClock clock(At(2011, 3, 20, 8, 30, 0));
        c.Poll();
        TLock lock(c->CritSection());
        EXPECT_EQ(c->EtaText, "11.03.19   10:20:45");
        EXPECT_DOUBLE_EQ(c->LastProgressTime, At(2011, 3, 19, 8, 52, 30));
    }
}

TEST_F(Parse, AStepAcrossMidnight)
{
    ClientFolder dir;
    dir.Log("[23:57:00] Completed 1000 out of 10000 steps (10%)\r\n"
            "[23:58:00] Completed 2000 out of 10000 steps (20%)\r\n"
            "[23:59:00] Completed 3000 out of 10000 steps (30%)\r\n"
            "[00:00:00] Completed 4000 out of 10000 steps (40%)\r\n"
            "[00:01:00] Completed 5000 out of 10000 steps (50%)\r\n");
    FixedClock clock(At(2011, 3, 21, 0, 2, 0));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->EtaText, "11.03.21   00:06:00");
    EXPECT_NEAR(c->Rate, 6.0, 1e-9);
    EXPECT_NEAR(c->StepTime * 86400, 60.0, 1e-6);
}

TEST_F(Parse, FrameUnits)
{
    ClientFolder dir;
    dir.Log("[10:00:00] Finished a frame (10)\r\n[10:02:00] Finished a frame (11)\r\n"
            "[10:04:00] Finished a frame (12)\r\n[10:06:00] Finished a frame (13)\r\n"
            "[10:08:00] Finished a frame (14)\r\n");
    FixedClock clock(At(2011, 3, 21, 10, 8, 0));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->Percent, 4);   // 14 frames = 3.5 %, halves to even
    EXPECT_EQ(c->EtaText, "11.03.21   23:00:00");   // 386 frames of 2 minutes
    EXPECT_NEAR(c->Rate, 30.0 / 400, 1e-12);
}

TEST_F(Parse, IdenticalNewestLinesCountOnce)
{
    ClientFolder dir;
    dir.Log("[10:00:00] Completed 10%\r\n[10:01:00] Completed 20%\r\n[10:02:00] Completed 30%\r\n"
            "[10:04:00] Completed 40%\r\n[10:04:00] Completed 40%\r\n");
    FixedClock clock(At(2011, 3, 21, 10, 4, 0));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_NEAR(c->StepTime * 86400, 90.0, 1e-6);
    EXPECT_EQ(c->EtaText, "11.03.21   10:13:00");
}

TEST_F(Parse, NoEstimateFromTooFewBackwardOrTimelessSteps)
{
    FixedClock clock(At(2011, 3, 21, 10, 5, 0));
    const char* logs[] = {
        "[10:00:00] Completed 10%\r\n[10:01:00] Completed 20%\r\n",
        "[10:00:00] Completed 50%\r\n[10:01:00] Completed 40%\r\n[10:02:00] Completed 30%\r\n",
        "[10:00:00] Completed 10%\r\n[10:00:00] Completed 20%\r\n[10:00:00] Completed 30%\r\n",
        "[10:00:00] Completed 98%\r\n[10:01:00] Completed 99%\r\n[10:02:00] Completed 100%\r\n",
    };
    for (const char* log : logs) {
        SCOPED_TRACE(log);
        ClientFolder dir;
        dir.Log(log);
        Client c(dir.Path());
        c.Poll();
        TLock lock(c->CritSection());
        EXPECT_EQ(c->EtaText, "");
        EXPECT_EQ(c->StepTime, 0);
        EXPECT_EQ(c->Rate, 0);
        EXPECT_EQ(c->LastProgressTime, 0);
    }
}

TEST_F(Parse, ReplayedProgressAfterARestartGivesNoRate)
{
    // The service log cut just after its restart: nine progress lines with one time.
    std::string full = RealText("fahlog-cpu-service-b4-82-shutdown-restart.txt");
    size_t end = full.find("\n", full.find("[04:36:00] Completed 234700")) + 1;
    ClientFolder dir;
    dir.Log(full.substr(0, end));
    dir.UnitInfo(RealText("unitinfo-cpu-protomol.txt"));
    FixedClock clock(At(2010, 4, 7, 4, 37, 0));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->Percent, 46);
    EXPECT_EQ(c->Rate, 0);
    EXPECT_EQ(c->EtaText, "");
}

TEST_F(Parse, ClientCfgEverySecondPollAndStoppedClientsEveryFourth)
{
    ClientFolder dir;
    dir.Log(std::string(kSmpTail));
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    dir.ClientCfg("[settings]\nusername=a\n");
    dir.Results();   // ready to send: parsed on every poll
    Client c(dir.Path());
    c.Poll(false);   // the state changed: a full parse
    {
        TLock lock(c->CritSection());
        ASSERT_EQ(c->ClientCfgLines.Count(), 2);
        EXPECT_EQ(c->RefreshCounter, 0);
    }
    dir.ClientCfg("[settings]\nusername=b\nteam=3\n");
    c.Poll(false);   // poll 1: the log and unitinfo.txt only
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ClientCfgLines.Count(), 2);
    }
    c.Poll(false);   // poll 2
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ClientCfgLines.Count(), 3);
        EXPECT_EQ(c->ClientCfgLines[1], "username=b");
    }
    dir.Remove("client.cfg");
    c.Poll(true);
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ClientCfgLines.Count(), 0);
    }

    // Stopped now: only every fourth poll reads the files.
    dir.Remove("work\\wuresults_01.dat");
    c.Poll(false);   // counter 4: state changed, parsed
    dir.Log(std::string(kSmpTail) + "[08:53:30] Completed 17500 out of 250000 steps  (7%)\r\n");
    for (int i = 5; i <= 7; ++i) {
        c.Poll(false);
        TLock lock(c->CritSection());
        EXPECT_EQ(c->Status, fsShutdown);
        EXPECT_EQ(c->Percent, 6) << "poll " << i;
    }
    c.Poll(false);   // counter 8
    TLock lock(c->CritSection());
    EXPECT_EQ(c->Percent, 7);
    EXPECT_EQ(c->RefreshCounter, 8);
}

TEST_F(Parse, NulBytesAreOrdinaryCharacters)
{
    std::string log = std::string(kSmpTail);
    log.insert(0, std::string("[08:40:00] Project: 8022 (Run 11, Clone 318, Gen 25)\r\n") +
                      std::string(5000, '\0') + "\r\n");
    log += std::string("[08:52:40] garbage \0\0\0 Completed\0 end\r\n", 39);
    ClientFolder dir;
    dir.Log(log);
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->ProjectNumber, 8022);
    EXPECT_EQ(c->Percent, 6);
    EXPECT_EQ(c->LogLines->Count(), 6);
}

TEST_F(Parse, BinaryHugeAndUnreadableFilesGiveEmptyFields)
{
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    Client c(dir.Path());
    c.Poll();
    {
        TLock lock(c->CritSection());
        ASSERT_EQ(c->ProjectNumber, 8022);
    }

    // Binary noise.
    std::string noise(1 << 20, '\0');
    std::mt19937 gen(7);
    for (char& ch : noise)
        ch = static_cast<char>(gen());
    dir.Log(noise);
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->RunCloneGen, "");
        EXPECT_EQ(c->UserName, "");
        EXPECT_EQ(c->EtaText, "");
        EXPECT_EQ(c->Status, fsShutdown);
    }

    // 64 MB of NUL bytes after the last line (no line end): read to its end,
    // the monster line cut; what the lines above said still stands.
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    c.Poll();
    {
        HANDLE h = CreateFileW(Utf8ToWide(dir.Path() + "FAHlog.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = (64ll << 20) + 1;
        SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
    }
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ProjectNumber, 8022);
        EXPECT_EQ(c->Percent, 6);
        EXPECT_LE(c->LogLines->Text().size(), TLogTailReader::kWindowBytes + TLogTailReader::kMaxLineBytes);
        EXPECT_EQ(c->Status, fsShutdown);
        EXPECT_EQ(c->ErrorText, "");
    }

    // Held with no sharing at all: can't be read.
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    c.Poll();
    {
        TLock lock(c->CritSection());
        ASSERT_EQ(c->ProjectNumber, 8022);
    }
    HANDLE locked = CreateFileW(Utf8ToWide(dir.Path() + "FAHlog.txt").c_str(), GENERIC_READ, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    c.Poll();
    CloseHandle(locked);
    TLock lock(c->CritSection());
    EXPECT_EQ(c->ProjectNumber, 0);
    EXPECT_EQ(c->WUName, "");
    EXPECT_EQ(c->Status, fsNotAccess);   // nobody may read it, a running client included
    EXPECT_NE(c->ErrorText, "");         // and the row says why it is empty
}

TEST_F(Parse, AUnitInfoOrClientCfgOverItsSizeLimitIsSkippedOnItsOwn)
{
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    const std::string over(TFah::kMaxSmallFileBytes + 1, 'x');
    dir.UnitInfo(over);
    dir.ClientCfg(over);
    Client c(dir.Path());
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->Status, fsShutdown);
        EXPECT_EQ(c->ProjectNumber, 8022);   // what the log gives still shows
        EXPECT_EQ(c->Percent, 6);
        EXPECT_EQ(c->RunCloneGen, "Run 11, Clone 318, Gen 25");
        EXPECT_EQ(c->UnitInfoLines.Count(), 0);
        EXPECT_EQ(c->ClientCfgLines.Count(), 0);
        EXPECT_EQ(c->WUName, "");
    }
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    dir.ClientCfg("[settings]\nusername=a\n");
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_GT(c->UnitInfoLines.Count(), 0);
    EXPECT_EQ(c->ClientCfgLines.Count(), 2);
    EXPECT_EQ(c->ProjectNumber, 8022);
}

// "[hh:mm:ss] text" lines, one per second from the given second of the day.
std::string TimedLines(int from, int count, const std::function<std::string(int)>& text)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        const int t = (from + i) % 86400;
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d] ", t / 3600, t / 60 % 60, t % 60);
        out += stamp + text(i) + "\r\n";
    }
    return out;
}

TEST_F(Parse, ALongLogIsHeldAsItsEndAndParsesAsIfReadWhole)
{
    // The user line only at the top; the unit's project line and its
    // download size megabytes above the end; then a long run of progress
    // and checkpoint lines.
    std::string log = "--- Opening Log file [March 21 08:00:00 UTC]\r\n";
    log += TimedLines(28800, 3, [](int i) {
        return i == 1 ? std::string("- User name: Farmer (Team 77)") : "Arguments: -smp " + std::to_string(i);
    });
    log += TimedLines(29000, 1, [](int) { return std::string("Project: 1111 (Run 1, Clone 2, Gen 3)"); });
    log += TimedLines(29100, 1, [](int) { return std::string("Receiving payload (expected size: 2097152)"); });
    log += TimedLines(29110, 1, [](int) { return std::string("Project: 2222 (Run 4, Clone 5, Gen 6)"); });
    auto progress = [](int i) {
        return i % 3 ? "Completed " + std::to_string(i) + " out of 5000000 steps  (" + std::to_string(i / 50000) + "%)"
                     : std::string("Writing checkpoint files");
    };
    log += TimedLines(29120, 90000, progress);
    ClientFolder dir;
    dir.Log(log);
    Client c(dir.Path());
    c.Poll();
    auto expectUnit = [&](int project, const char* rcg, int percent) {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ProjectNumber, project);
        EXPECT_EQ(c->RunCloneGen, rcg);
        EXPECT_EQ(c->Percent, percent);
        EXPECT_EQ(c->UserName, "Farmer");
        EXPECT_EQ(c->TeamNumber, 77);
        // Held: about a megabyte of the log's end, not the log.
        EXPECT_LE(c->LogLines->Text().size(), 1u << 20);
        EXPECT_LE(c->LogLines->WindowStart(), 160);
        EXPECT_EQ((*c->LogLines)[0], "--- Opening Log file [March 21 08:00:00 UTC]");
    };
    ASSERT_GT(log.size(), 3u << 20);
    expectUnit(2222, "Run 4, Clone 5, Gen 6", 1);
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->WuSize.Raw(), 2048 * 10000);
    }

    // Grown by more than the window at once, then a new unit begins.
    std::string more = TimedLines(3000, 40000, [](int i) {
        return "Completed " + std::to_string(90000 + i) + " out of 5000000 steps  (2%)";
    });
    more += TimedLines(43000, 1, [](int) { return std::string("Project: 3333 (Run 7, Clone 8, Gen 9)"); });
    more += TimedLines(43001, 3, [](int i) { return "Completed " + std::to_string(i) + "%"; });
    HANDLE h = CreateFileW(Utf8ToWide(dir.Path() + "FAHlog.txt").c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(h, more.data(), static_cast<DWORD>(more.size()), &n, nullptr);
    CloseHandle(h);
    c.Poll();
    expectUnit(3333, "Run 7, Clone 8, Gen 9", 2);
    TLock lock(c->CritSection());
    EXPECT_EQ(c->LogLines->EndLineNumber(), 7 + 90000 + 40000 + 4);
}

TEST_F(Parse, ALongLineKeptAboveTheWindowKeepsItsEnd)
{
    // The unit's project line after zero bytes on the same line, as a crash
    // leaves them, megabytes above the end; the unit before is another project.
    for (const size_t zeros : {4044u, 4050u, 60000u}) {
        SCOPED_TRACE(zeros);
        std::string log =
            TimedLines(25200, 1, [](int) { return std::string("Project: 2669 (Run 1, Clone 2, Gen 24)"); });
        log += std::string(zeros, '\0');
        log += TimedLines(31604, 1, [](int) { return std::string("Project: 8022 (Run 11, Clone 318, Gen 25)"); });
        log += TimedLines(31620, 45000,
                          [](int i) { return "Completed " + std::to_string(i) + " out of 5000000 steps"; });
        ASSERT_GT(log.size(), 2u << 20);
        ClientFolder dir;
        dir.Log(log);
        Client c(dir.Path());
        c.Poll();
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ProjectNumber, 8022);
        EXPECT_EQ(c->RunCloneGen, "Run 11, Clone 318, Gen 25");
    }
}

TEST_F(Parse, TheEndOfALogReadAloneBeginsWithItsFirstWholeLine)
{
    ClientFolder dir;
    dir.Log("alpha\r\nbeta\r\ngamma\r\n");   // 20 bytes
    const struct {
        size_t window;
        const char* text;
    } cases[] = {
        {20, "alpha\r\nbeta\r\ngamma\r\n"},
        {13, "beta\r\ngamma\r\n"},   // begins at a line start
        {14, "beta\r\ngamma\r\n"},   // begins with the LF of a CR LF
        {10, "gamma\r\n"},           // begins inside "beta"
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.window);
        TLogTailReader reader(t.window);
        TLogLinesPtr lines;
        ASSERT_TRUE(reader.ReadEnd(dir.Path() + "FAHlog.txt", lines));
        EXPECT_EQ(lines->Text(), t.text);
        EXPECT_EQ(lines->WindowStart(), 0);
        EXPECT_EQ(lines->HasLinesAbove(), t.window < 20);
        EXPECT_EQ(lines->LinesAboveCounted(), t.window >= 20);
    }
    TLogTailReader reader;
    TLogLinesPtr lines;
    EXPECT_FALSE(reader.ReadEnd(dir.Path() + "FAHlog-Prev.txt", lines));
}

TEST_F(Parse, AnUnchangedLogIsNotReadAgain)
{
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    Client c(dir.Path());
    c.Poll();
    TLogLinesPtr first;
    {
        TLock lock(c->CritSection());
        first = c->LogLines;
    }
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->LogLines.get(), first.get());
    }
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt") + "\r\n[08:53:00] one more\r\n");  // it ends without a line end
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_NE(c->LogLines.get(), first.get());
    EXPECT_EQ(c->LogLines->Count(), first->Count() + 1);
}

uint64_t WriteTimeOf(const std::string& path) { return FileStampOf(path).written; }

// Sets a file's last write time (a number of 100 ns steps).
void SetWriteTime(const std::string& path, uint64_t t)
{
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    FILETIME ft{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
}

TEST_F(Parse, AnUnchangedClientFileIsNotReadAgainButALogNoLongerReadableEmptiesTheRow)
{
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    dir.ClientCfg("[settings]\nusername=a\n");
    Client c(dir.Path());
    c.Poll();
    c.Poll();
    // Another program holds both, sharing them with nobody: unchanged, they
    // are not opened, and what they said stands.
    LogHolder unitInfo(dir.Path() + "unitinfo.txt", true), cfg(dir.Path() + "client.cfg", true);
    ASSERT_TRUE(unitInfo.Holding() && cfg.Holding());
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->WUName, "p4744_lam5w_300K");
        EXPECT_EQ(c->ProjectNumber, 8022);
        EXPECT_EQ(c->ClientCfgLines.Count(), 2);
    }

    // With results waiting, the unchanged log held the same way: the row
    // empties and says why.
    dir.Results();
    c.Poll();
    c.Poll();
    LogHolder locker(dir.Path() + "FAHlog.txt", true);
    ASSERT_TRUE(locker.Holding());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->Status, fsReadyForSend);
    EXPECT_EQ(c->ProjectNumber, 0);
    EXPECT_NE(c->ErrorText, "");
}

TEST_F(Parse, AChangedClientFileIsReadAtTheNextPoll)
{
    ClientFolder dir;
    const std::string log = RealText("fahlog-smp-a4-bigadv-running.txt");
    std::string unitInfo = RealText("unitinfo-gpu2.txt");
    dir.Log(log);
    dir.UnitInfo(unitInfo);
    dir.ClientCfg("[settings]\nusername=a\n");
    Client c(dir.Path());
    auto twoPolls = [&] {
        c.Poll();
        c.Poll();
    };
    auto shows = [&](const char* user, const char* unit, int percent) {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ClientCfgLines.Values("username"), user);
        EXPECT_EQ(c->WUName, unit);
        EXPECT_EQ(c->Percent, percent);
    };
    twoPolls();
    shows("a", "p4744_lam5w_300K", 6);

    // Rewritten with the same length: a new write time tells.
    const std::string cfgPath = dir.Path() + "client.cfg", unitPath = dir.Path() + "unitinfo.txt",
                      logPath = dir.Path() + "FAHlog.txt";
    const uint64_t cfgTime = WriteTimeOf(cfgPath), unitTime = WriteTimeOf(unitPath), logTime = WriteTimeOf(logPath);
    std::string sameLengthLog = log;
    sameLengthLog.replace(sameLengthLog.rfind("(6%)"), 4, "(8%)");
    unitInfo.replace(unitInfo.find("p4744"), 5, "p4745");
    // All three written anew and stamped two seconds after their first time.
    auto rewrite = [&](const char* cfg, const std::string& newLog) {
        dir.ClientCfg(cfg);
        dir.UnitInfo(unitInfo);
        dir.Log(newLog);
        SetWriteTime(cfgPath, cfgTime + 20000000);
        SetWriteTime(unitPath, unitTime + 20000000);
        SetWriteTime(logPath, logTime + 20000000);
    };
    rewrite("[settings]\nusername=b\n", sameLengthLog);
    c.Poll();
    shows("b", "p4745_lam5w_300K", 8);

    // Another length under the write time they had: the length tells.
    twoPolls();
    unitInfo.replace(unitInfo.find("p4745"), 5, "p47460");
    rewrite("[settings]\nusername=cc\n", log + "\r\n[08:53:26] Completed 17500 out of 250000 steps  (7%)\r\n");
    c.Poll();
    shows("cc", "p47460_lam5w_300K", 7);

    // Rewritten with the same length right after a read, within the file
    // system's time resolution (two seconds on FAT): the time stays, and the
    // next poll still sees the new text, as it reads a file again once after
    // every change.
    twoPolls();
    dir.ClientCfg("[settings]\nusername=d\n");
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    dir.Log(log);
    c.Poll();   // reads all three: they changed
    unitInfo = RealText("unitinfo-gpu2.txt");
    unitInfo.replace(unitInfo.find("p4744"), 5, "p4747");
    const uint64_t cfgNow = WriteTimeOf(cfgPath), unitNow = WriteTimeOf(unitPath);
    dir.ClientCfg("[settings]\nusername=e\n");
    dir.UnitInfo(unitInfo);
    SetWriteTime(cfgPath, cfgNow);
    SetWriteTime(unitPath, unitNow);
    c.Poll();
    shows("e", "p4747_lam5w_300K", 6);
}

TEST_F(Parse, ALogRewrittenUnderItsStampIsReadAtTheNextPollAndOnAForcedRefresh)
{
    // Rewritten with the same length and write time, as a rewrite within the
    // file system's time resolution (two seconds on FAT) looks.
    ClientFolder dir;
    const std::string logPath = dir.Path() + "FAHlog.txt";
    auto log = [](int percent) {
        return "[11:00:00] Project: 5915 (Run 2, Clone 218, Gen 11)\r\n[11:01:00] Completed " +
               std::to_string(percent) + "%\r\n";
    };
    dir.Log(log(22));
    const uint64_t stamp = WriteTimeOf(logPath);
    auto rewrite = [&](int percent) {
        dir.Log(log(percent));
        SetWriteTime(logPath, stamp);
    };
    Client c(dir.Path());
    auto shown = [&] {
        TLock lock(c->CritSection());
        return std::make_pair(c->Percent, c->LogLines);
    };
    c.Poll();
    EXPECT_EQ(shown().first, 22);
    // Right after the read that saw it new: the next poll reads it again.
    rewrite(23);
    c.Poll();
    EXPECT_EQ(shown().first, 23);
    // Read twice under one stamp, a poll leaves it be; a forced refresh reads it.
    rewrite(24);
    c.Poll();
    EXPECT_EQ(shown().first, 23);
    c->RefreshNow(true);
    c.Poll();
    EXPECT_EQ(shown().first, 24);
    // Read again and found as it was: the snapshot stands.
    const TLogLinesPtr before = shown().second;
    c->RefreshNow(true);
    c.Poll();
    EXPECT_EQ(shown().second.get(), before.get());
    EXPECT_EQ(shown().first, 24);
}

TEST_F(Parse, ALogUnchangedSinceItGrewIsNotReadFromItsStartAgain)
{
    // The unit's project line, then more than the bytes a look at the end
    // takes in.
    auto log = [](const char* project) {
        return "[11:00:00] " + std::string(project) + " (Run 2, Clone 218, Gen 11)\r\n" +
               TimedLines(39700, 200, [](int i) { return "Completed " + std::to_string(i) + " out of 250000 steps"; });
    };
    ClientFolder dir;
    const std::string logPath = dir.Path() + "FAHlog.txt";
    dir.Log(log("Project: 5915"));
    Client c(dir.Path());
    c.Poll();
    dir.Log(log("Project: 5915") + "[11:00:00] Completed 7%\r\n");
    c.Poll();   // reads what was added
    // Its start rewritten under the stamp it had: the look after the change
    // reads the end alone, which is as the last read left it.
    const uint64_t stamp = WriteTimeOf(logPath);
    dir.Log(log("Project: 5916") + "[11:00:00] Completed 7%\r\n");
    SetWriteTime(logPath, stamp);
    auto shown = [&] {
        TLock lock(c->CritSection());
        return std::make_pair(c->ProjectNumber, c->Percent);
    };
    c.Poll();
    EXPECT_EQ(shown(), std::make_pair(5915, 7));
    c.Poll();
    EXPECT_EQ(shown(), std::make_pair(5915, 7));
    // A forced refresh reads it from its start.
    c->RefreshNow(true);
    c.Poll();
    EXPECT_EQ(shown(), std::make_pair(5916, 7));
}

TEST_F(Parse, AGrowingLogIsReadOnFromWhereTheLastReadEnded)
{
    ClientFolder dir;
    std::string log = RealText("fahlog-smp-a4-bigadv-running.txt");   // ends without a line end
    dir.Log(log);
    Client c(dir.Path());
    c.Poll();
    // The client finishes the line and writes the next; written in place, as a client appends.
    std::string more = "\r\n[08:53:26] Completed 17500 out of 250000 steps  (7%)\r";
    {
        HANDLE h = CreateFileW(Utf8ToWide(dir.Path() + "FAHlog.txt").c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        WriteFile(h, more.data(), static_cast<DWORD>(more.size()), &n, nullptr);
        WriteFile(h, "\n", 1, &n, nullptr);
        CloseHandle(h);
    }
    c.Poll();
    TLogLines whole(log + more + "\n");
    {
        TLock lock(c->CritSection());
        ASSERT_EQ(c->LogLines->Count(), whole.Count());
        EXPECT_EQ(c->LogLines->Text(), whole.Text());
        EXPECT_EQ((*c->LogLines)[whole.Count() - 1], "[08:53:26] Completed 17500 out of 250000 steps  (7%)");
        EXPECT_EQ(c->Percent, 7);
    }

    // Rewritten with other text of a greater length: read whole again.
    dir.Log(RealText("fahlog-gpu3-core15-v641-running.txt"));
    c.Poll();
    TLock again(c->CritSection());
    EXPECT_EQ(c->LogLines->Text(), RealText("fahlog-gpu3-core15-v641-running.txt"));
    EXPECT_EQ(c->ProjectNumber, 10634);
}

TEST_F(Parse, NamesInTheAnsiCodePageBecomeUtf8)
{
    ClientFolder dir;
    dir.Log("[10:00:00] - User name: J\xF6rg (Team 32)\r\n");
    dir.UnitInfo("Name: p1234_Caf\xE9\r\n");
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->UserName, CodePageToUtf8("J\xF6rg", CP_ACP));
    EXPECT_TRUE(IsValidUtf8(c->UserName));
    EXPECT_EQ(c->WUName, CodePageToUtf8("p1234_Caf\xE9", CP_ACP));
    EXPECT_EQ(c->TeamNumber, 32);
}

TEST_F(Parse, DownloadSizeAboveTheUnitsProjectLine)
{
    const std::string project = "[10:00:59] Project: 1234 (Run 1, Clone 2, Gen 3)\r\n";
    auto sizeOf = [&](const std::string& log) {
        ClientFolder dir;
        dir.Log(log);
        Client c(dir.Path());
        c.Poll();
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ProjectNumber, 1234);
        return c->WuSize.Raw();
    };
    auto filler = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += "[10:00:30] - Ensuring status. Please wait.\r\n";
        return s;
    };
    // "Done:" form of the decompression line: 3072 bytes are 3 KB.
    EXPECT_EQ(sizeOf("[10:00:00] start\r\n[10:00:01] Decompressing... Done: 3072 -> 9000 "
                     "(decompressed 293.0 percent)\r\n" + project),
              30000);
    // The newest size line counts; one that is no number gives 0 and ends the search.
    EXPECT_EQ(sizeOf("[10:00:00] start\r\n[10:00:01] - Expanded 2048 -> 4096 (decompressed 200.0 percent)\r\n"
                     "[10:00:02] - Expanded 1024 -> 4096 (decompressed 400.0 percent)\r\n" + project),
              10000);
    EXPECT_EQ(sizeOf("[10:00:00] start\r\n[10:00:01] - Expanded 2048 -> 4096 (decompressed 200.0 percent)\r\n"
                     "[10:00:02] - Expanded many -> 4096 (decompressed 400.0 percent)\r\n" + project),
              0);
    // The first line of the log is never looked at.
    EXPECT_EQ(sizeOf("[10:00:01] - Expanded 2048 -> 4096 (decompressed 200.0 percent)\r\n" + project), 0);
    // At most 50 lines above the project line.
    const std::string size = "[10:00:01] Initial: 0000; - Receiving payload (expected size: 5120)\r\n";
    EXPECT_EQ(sizeOf("[10:00:00] start\r\n" + size + filler(49) + project), 50000);
    EXPECT_EQ(sizeOf("[10:00:00] start\r\n" + size + filler(50) + project), 0);
}

TEST_F(Parse, NoiseLinesWidenTheEstimateWindow)
{
    // Five progress lines with growing gaps; three lines between each two.
    auto log = [](const char* between) {
        std::string s;
        for (int i = 0; i < 5; ++i)
            s += "[09:00:0" + std::to_string(i) + "] Starting\r\n";
        const char* times[] = {"10:00:00", "10:01:00", "10:03:00", "10:06:00", "10:10:00"};
        for (int i = 0; i < 5; ++i) {
            if (i > 0)
                for (int k = 0; k < 3; ++k)
                    s += std::string("[") + times[i - 1] + "] " + between + "\r\n";
            s += std::string("[") + times[i] + "] Completed " + std::to_string(10 * (i + 1)) + "%\r\n";
        }
        return s;
    };
    FixedClock clock(At(2011, 3, 21, 10, 10, 0));
    {
        // Checkpoint lines do not count against the 16 lines: all five
        // progress lines are seen, the oldest gap (60 s) is left out.
        ClientFolder dir;
        dir.Log(log("- Writing checkpoint file"));
        Client c(dir.Path());
        c.Poll();
        TLock lock(c->CritSection());
        EXPECT_NEAR(c->StepTime * 86400, 180.0, 1e-6);
        EXPECT_EQ(c->EtaText, "11.03.21   10:25:00");   // five steps of 10 %
        EXPECT_NEAR(c->Rate, 2.0, 1e-9);
    }
    {
        // Ordinary lines do: the oldest progress line lies outside the window.
        ClientFolder dir;
        dir.Log(log("- Working on something"));
        Client c(dir.Path());
        c.Poll();
        TLock lock(c->CritSection());
        EXPECT_NEAR(c->StepTime * 86400, 210.0, 1e-6);
        EXPECT_EQ(c->EtaText, "11.03.21   10:27:30");
    }
}

TEST_F(Parse, TheEstimateUsesTheNewestFiveProgressLines)
{
    ClientFolder dir;
    dir.Log("[09:00:00] Completed 40%\r\n[09:50:00] Completed 50%\r\n[09:54:00] Completed 60%\r\n"
            "[09:57:00] Completed 70%\r\n[09:59:00] Completed 80%\r\n[10:00:00] Completed 90%\r\n");
    FixedClock clock(At(2011, 3, 21, 10, 0, 0));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    // Steps of 60, 120 and 180 s count; the 240 s step is the oldest of the
    // four and is left out; the 50 minutes before it are never looked at.
    EXPECT_NEAR(c->StepTime * 86400, 120.0, 1e-6);
    EXPECT_EQ(c->EtaText, "11.03.21   10:02:00");
    EXPECT_EQ(c->Percent, 90);
}

TEST_F(Parse, AShorterOrRewrittenLogIsReadAfresh)
{
    ClientFolder dir;
    const std::string big = RealText("fahlog-smp-a4-bigadv-running.txt");
    dir.Log(big);
    dir.UnitInfo(RealText("unitinfo-gpu2.txt"));
    Client c(dir.Path());
    c.Poll();
    {
        TLock lock(c->CritSection());
        ASSERT_EQ(c->ProjectNumber, 8022);
    }
    // The client started again: a new, short log.
    const std::string fresh = "[11:00:00] Project: 5915 (Run 2, Clone 218, Gen 11)\r\n"
                              "[11:01:00] Completed 22%\r\n";
    dir.Log(fresh);
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->LogLines->Text(), fresh);
        EXPECT_EQ(c->ProjectNumber, 5915);
        EXPECT_EQ(c->Percent, 22);
    }
    // Rewritten with the same length, only its first line differs.
    std::string same = fresh;
    same.replace(same.find("5915"), 4, "5916");
    dir.Log(same);
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->LogLines->Text(), same);
    EXPECT_EQ(c->ProjectNumber, 5916);
}

TEST_F(Parse, ANewUnitsEstimateIgnoresTheUnitBefore)
{
    ClientFolder dir;
    dir.Log("[09:58:00] Completed 97%\r\n[09:59:00] Completed 98%\r\n[10:00:00] Completed 99%\r\n"
            "[10:01:00] Completed 100%\r\n[10:03:00] Folding@home Core Shutdown: FINISHED_UNIT\r\n"
            "[10:04:00] Project: 5915 (Run 2, Clone 218, Gen 11)\r\n"
            "[10:05:00] Completed 0%\r\n[10:06:00] Completed 1%\r\n[10:07:00] Completed 2%\r\n");
    FixedClock clock(At(2011, 3, 21, 10, 7, 0));
    Client c(dir.Path());
    c.Poll();
    TLock lock(c->CritSection());
    // Two steps of a minute in the new unit; the newer one counts: 98 % to go.
    EXPECT_EQ(c->Percent, 2);
    EXPECT_NEAR(c->StepTime * 86400, 60.0, 1e-6);
    EXPECT_EQ(c->EtaText, "11.03.21   11:45:00");
    EXPECT_NEAR(c->Rate, 0.6, 1e-9);
}

TEST_F(Parse, BrokenUnitInformation)
{
    FixedClock clock(At(2011, 3, 25, 12, 0, 0));
    ClientFolder dir;
    dir.Log(RealText("fahlog-smp-a4-bigadv-running.txt"));
    Client c(dir.Path());

    // Binary noise: the log's fields stand, the dates are no dates.
    std::string noise(200000, '\0');
    std::mt19937 gen(11);
    for (char& ch : noise)
        ch = static_cast<char>(gen());
    dir.UnitInfo("Name: p1_x\r\nDue time: " + noise);
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ProjectNumber, 8022);
        EXPECT_EQ(c->Percent, 6);
        EXPECT_EQ(c->DownloadText, "");
        EXPECT_EQ(c->DueText, sWithoutLimitation);
    }
    // Numbers out of every range.
    dir.UnitInfo("Name: p99999999999_x\r\nDownload time: March 99999999999 22:41:07\r\n"
                 "Due time: February 29 99:99:99\r\nProgress: 3000000000%\r\n");
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->ProjectNumber, 8022);
        EXPECT_EQ(c->DownloadText, "");
        EXPECT_EQ(c->DueText, sWithoutLimitation);
    }
    // Truncated in the middle of a date: no date.
    dir.UnitInfo("Name: p4744_lam5w_300K\r\nDownload time: March 23 22:4");
    c.Poll();
    {
        TLock lock(c->CritSection());
        EXPECT_EQ(c->WUName, "p4744_lam5w_300K");
        EXPECT_EQ(c->DownloadText, "11.03.23   22:04:00");   // the minutes read as far as they go
    }
    // Larger than any real one: not read; the log's fields stay.
    dir.UnitInfo(std::string(2 << 20, 'x'));
    c.Poll();
    TLock lock(c->CritSection());
    EXPECT_EQ(c->ProjectNumber, 8022);
    EXPECT_GT(c->LogLines->Count(), 0);
    EXPECT_EQ(c->WUName, "");
}
