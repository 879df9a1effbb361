#include <gtest/gtest.h>

#include "Classes/FahUtils.h"
#include "Classes/LogLines.h"
#include "CoreTestSupport.h"
#include "platform/Registry.h"

using namespace core_test;

namespace {

std::string AsLf(std::string s)
{
    std::string out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

TDateTime At(int y, int mo, int d, int h, int mi, int s) { return EncodeDateTime(y, mo, d, h, mi, s, 0); }

}  // namespace

TEST(LogLines, SplitsEveryKindOfLineEndAndKeepsNulBytes)
{
    TLogLines l(std::string("a\r\nb\nc\rd\r\n\r\nx\0y\n", 16));
    ASSERT_EQ(l.Count(), 6);
    EXPECT_EQ(l[0], "a");
    EXPECT_EQ(l[1], "b");
    EXPECT_EQ(l[2], "c");
    EXPECT_EQ(l[3], "d");
    EXPECT_EQ(l[4], "");
    EXPECT_EQ(l[5], std::string_view("x\0y", 3));
    EXPECT_FALSE(l.HasNoCR());
    EXPECT_TRUE(TLogLines("a\nb").HasNoCR());
    EXPECT_FALSE(TLogLines("").HasNoCR());
    EXPECT_EQ(TLogLines("one").Count(), 1);
    EXPECT_EQ(TLogLines("").Count(), 0);
}

TEST(LogLines, AGrownTextSplitsAsIfReadWhole)
{
    const std::string pieces[][2] = {
        {"a\r\nb\r", "\nc"},            // a CR LF cut in two
        {"a\r\nhalf a li", "ne\r\nx\r\n"},  // an incomplete last line
        {"a\nb\n", "c\n"},
        {"", "a\nb"},
        {"a\n\n", "\nb"},
    };
    for (const auto& p : pieces) {
        SCOPED_TRACE(p[0] + "|" + p[1]);
        TLogLines grown(TLogLines(p[0]), p[1]);
        TLogLines whole(p[0] + p[1]);
        ASSERT_EQ(grown.Count(), whole.Count());
        for (int i = 0; i < whole.Count(); ++i)
            EXPECT_EQ(grown[i], whole[i]);
        EXPECT_EQ(grown.Text(), whole.Text());
    }
}

TEST(FahUtils, SplitFirstTakesTheHeadAndShortensTheSource)
{
    std::string s = "  [07:52:45] Project: 8022 (Run 11";
    EXPECT_EQ(SplitFirst(s, "]"), "[07:52:45");
    EXPECT_EQ(SplitFirst(s, " "), "Project:");
    EXPECT_EQ(SplitFirst(s, " "), "8022");
    EXPECT_EQ(s, "(Run 11");
    EXPECT_EQ(SplitFirst(s, "#"), "(Run 11");
    EXPECT_EQ(s, "");
}

TEST(FahUtils, ProgressLinesOfEveryForm)
{
    EXPECT_EQ(GetProgressFromLine("[10:00:00] Completed 5000 out of 25000 steps (20%)"), 200000);
    EXPECT_EQ(GetProgressFromLine("[10:00:00] Completed 20%"), 200000);
    EXPECT_EQ(GetProgressFromLine("[10:00:00] Completed 5000 out of 25000 steps (20 percent)"), 200000);
    EXPECT_EQ(GetProgressFromLine("[08:52:30] Completed 15000 out of 250000 steps  (6%)"), 60000);
    // A GPU3 core pads the numbers and ends with a period.
    EXPECT_EQ(GetProgressFromLine("[17:42:37] Completed   2750008 out of 25000064 steps (11%)."), 110000);
    bool frame = false;
    EXPECT_EQ(GetProgressFromLine("[10:00:00] Finished a frame (10)", &frame), 25000);
    EXPECT_TRUE(frame);
    EXPECT_EQ(GetProgressFromLine("[10:00:00] Completed 20%", &frame), 200000);
    EXPECT_FALSE(frame);
    // Not progress lines.
    EXPECT_EQ(GetProgressFromLine("pleted 2500 out of 250000 steps  (1%)"), kNoProgress);
    EXPECT_EQ(GetProgressFromLine("[10:00:00] Working on queue slot 01"), kNoProgress);
    EXPECT_EQ(GetProgressFromLine("[10:00:00] Completed (abc%)"), kNoProgress);
    EXPECT_EQ(GetProgressFromLine("[10:00:00] Completed 1 out of 2 steps (3000000000%)"), kNoProgress);
    EXPECT_EQ(GetProgressFromLine(""), kNoProgress);
}

TEST(FahUtils, NoiseAndProjectLines)
{
    EXPECT_TRUE(IsNoiseLine("[08:40:05] - Autosending finished units... [August 23 08:40:05 UTC]"));
    EXPECT_TRUE(IsNoiseLine("[08:40:05] + no unsent completed units remaining."));
    EXPECT_TRUE(IsNoiseLine("[01:00:00] Timered checkpoint triggered."));
    EXPECT_FALSE(IsNoiseLine("[08:41:21] Completed 165000 out of 250000 steps  (66%)"));

    EXPECT_TRUE(IsProjectLine("[07:52:45] Project: 8022 (Run 11, Clone 318, Gen 24)"));
    EXPECT_TRUE(IsProjectLine("[07:52:45] project: 8022 (run 11, clone 318, gen 24)"));
    EXPECT_TRUE(IsProjectLine("[07:52:45] Project=8022"));
    EXPECT_FALSE(IsProjectLine("[07:52:45] Project: 8022"));
    EXPECT_FALSE(IsProjectLine("[20:59:23] Run 35, Clone 31, Gen 38)"));
}

TEST(FahUtils, LogLineTimesAreShiftedIntoOneLocalDay)
{
    {
        ZoneBias utc(0);
        EXPECT_NEAR(GetLogLineTime("[07:52:34] Loaded queue successfully."), (7 * 3600 + 52 * 60 + 34) / 86400.0, 1e-9);
        EXPECT_EQ(GetLogLineTimeMs("  [00:00:01] x"), 1000);
        EXPECT_EQ(GetLogLineTime("no time here"), 0);
        EXPECT_EQ(GetLogLineTime("[25:00:00] x"), 0);
        EXPECT_EQ(GetLogLineTime(""), 0);
        EXPECT_EQ(GetLogLineTimeMs("[ab:cd:ef] x"), -1);
    }
    {
        ZoneBias east(-120);   // UTC+2
        EXPECT_EQ(GetLogLineTimeMs("[07:00:00] x"), 9 * 3600000);
        EXPECT_EQ(GetLogLineTimeMs("[23:00:00] x"), 1 * 3600000);
    }
    {
        ZoneBias west(600);   // UTC-10
        EXPECT_EQ(GetLogLineTimeMs("[02:00:00] x"), 16 * 3600000);
        EXPECT_GT(GetLogLineTime("[02:00:00] x"), 0.0);
    }
}

TEST(FahUtils, UnitInfoDatesTakeTheYearAroundToday)
{
    ZoneBias utc(0);
    {
        FixedClock clock(At(2011, 3, 25, 12, 0, 0));
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("March 23 22:41:07"), At(2011, 3, 23, 22, 41, 7));
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("  April 15 23:38:42  "), At(2011, 4, 15, 23, 38, 42));
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("Feburary 3 01:02:03"), At(2011, 2, 3, 1, 2, 3));
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("December 18 0:0:22"), At(2010, 12, 18, 0, 0, 22));
        // The nearest leap year for 29 February.
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("February 29 10:00:00"), At(2012, 2, 29, 10, 0, 0));
        // Not dates.
        EXPECT_EQ(ParseUnitInfoDate("Dember 12 00:09:22"), 0);
        EXPECT_EQ(ParseUnitInfoDate("April 31 10:00:00"), 0);
        EXPECT_EQ(ParseUnitInfoDate("March 1 25:00:00"), 0);
        EXPECT_EQ(ParseUnitInfoDate(""), 0);
        EXPECT_EQ(ParseUnitInfoDate("   "), 0);
    }
    {
        // A December date read in January lies in the previous year, a January
        // date read in December in the next.
        FixedClock clock(At(2012, 1, 5, 9, 0, 0));
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("December 18 00:09:22"), At(2011, 12, 18, 0, 9, 22));
    }
    {
        FixedClock clock(At(2011, 12, 30, 9, 0, 0));
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("January 2 20:35:41"), At(2012, 1, 2, 20, 35, 41));
    }
    {
        // No leap year among 2013, 2014, 2015.
        FixedClock clock(At(2014, 6, 1, 9, 0, 0));
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("February 29 10:00:00"), At(2008, 2, 29, 10, 0, 0));
    }
    {
        ZoneBias east(-60);
        FixedClock clock(At(2011, 3, 25, 12, 0, 0));
        EXPECT_DOUBLE_EQ(ParseUnitInfoDate("March 23 22:41:07"), At(2011, 3, 23, 23, 41, 7));
    }
}

TEST(FahUtils, DateTextsRoundTrip)
{
    TDateTime t = At(2011, 3, 23, 22, 41, 7);
    EXPECT_EQ(DateTimeToFahText(t), "11.03.23   22:41:07");
    EXPECT_DOUBLE_EQ(FahTextToDateTime("11.03.23   22:41:07"), t);
    EXPECT_DOUBLE_EQ(FahTextToDateTime("11.3.23 22:41:7"), t);
    EXPECT_EQ(DateTimeToFahText(0), "");
    EXPECT_EQ(DateTimeToFahText(-5), "");
    EXPECT_EQ(FahTextToDateTime(""), 0);
    EXPECT_EQ(FahTextToDateTime("11.03.23"), 0);
    EXPECT_EQ(FahTextToDateTime("11.02.30   10:00:00"), 0);
    EXPECT_EQ(FahTextToDateTime("xx.yy.zz   aa:bb:cc"), 0);
}

TEST(FahUtils, LinuxClientRunningFromTheLogTail)
{
    TLogLines badwus(RealText("fahlog-smp-a2-linux-interrupted-badwus.txt"));
    EXPECT_TRUE(IsLinuxClientRunning(badwus, true));
    EXPECT_FALSE(IsLinuxClientRunning(badwus, false));
    TLogLines sending(RealText("fahlog-smp-a2-linux-sending-results.txt"));
    EXPECT_FALSE(IsLinuxClientRunning(sending, true));
    TLogLines stopped(AsLf(RealText("fahlog-gpu2-core11-14-paused-shutdown.txt")));
    EXPECT_FALSE(IsLinuxClientRunning(stopped, true));

    std::string head = "l0\nl1\nl2\nl3\nl4\nl5\n";
    std::string noise;
    for (int i = 0; i < 6; ++i)
        noise += "[10:00:0" + std::to_string(i) + "] - Writing checkpoint file\n";
    // Six noise lines after the progress line: each widens the look-back.
    EXPECT_TRUE(IsLinuxClientRunning(TLogLines(head + "[09:59:00] Completed 20%)\n" + noise), true));
    EXPECT_TRUE(IsLinuxClientRunning(TLogLines(head + "[09:59:00] Completed 5 out of 9 (20 percent)\nx\n"), true));
    EXPECT_FALSE(IsLinuxClientRunning(TLogLines(head + "[09:59:00] Completed 5000 out of 25000 steps\nx\n"), true));
    EXPECT_FALSE(IsLinuxClientRunning(
        TLogLines(head + "[09:59:00] Completed 20%)\nFolding@Home Client Shutdown.\n"), true));
    EXPECT_FALSE(IsLinuxClientRunning(TLogLines("a\n[09:59:00] Completed 20%)\n"), true));
    // Seven plain lines after the progress line: out of reach.
    EXPECT_FALSE(IsLinuxClientRunning(TLogLines(head + "[09:59:00] Completed 20%)\n1\n2\n3\n4\n5\n6\n7\n"), true));
}

TEST(FahUtils, ResultSizeOfAFinishedUnit)
{
    EXPECT_EQ(GetResultSizeFromLog(RealText("fahlog-smp-a4-bigadv-running.txt")), "#8022;2027580;0");
    EXPECT_EQ(GetResultSizeFromLog(RealText("fahlog-smp-a2-linux-sending-results.txt")), "#2677;48650285;0");
    EXPECT_EQ(GetResultSizeFromLog(RealText("fahlog-cpu-classic-78-a0-sigterm-oneunit.txt")), "#5113;2331347;0");
    // GPU cores: the compressed size of the results.
    EXPECT_EQ(GetResultSizeFromLog(RealText("fahlog-gpu3-core15-v641-running.txt")), "#10634;3218540;0");
    EXPECT_EQ(GetResultSizeFromLog(RealText("fahlog-gpu2-core11-14-paused-shutdown.txt")), "#5769;99306;0");
    EXPECT_EQ(GetResultSizeFromLog(""), "");
    EXPECT_EQ(GetResultSizeFromLog("[1] a\n[2] b\n[3] Folding@home Core Shutdown: FINISHED_UNIT\n"), "");
    // No project line above the size: nothing to report.
    EXPECT_EQ(GetResultSizeFromLog("x\ny\n[1] - Writing 500 bytes of core data to disk...\n[2] Done.\n"
                                   "[3] Folding@home Core Shutdown: FINISHED_UNIT\n"),
              "");
}

TEST(FahUtils, ResultSizeLinesWithinTenLinesOfTheUnitsEnd)
{
    auto log = [](int fillerAfterSize) {
        std::string s = "[00:00:00] Opening log file\n[00:00:01] Project: 7 (Run 1, Clone 2, Gen 3)\n";
        for (int i = 0; i < 12; ++i)
            s += "[00:00:02] - working\n";
        s += "[00:00:03] - Writing 500 bytes of core data to disk...\n";
        for (int i = 0; i < fillerAfterSize; ++i)
            s += "[00:00:04] - done\n";
        return s + "[00:00:05] Folding@home Core Shutdown: FINISHED_UNIT\n[00:00:06] CoreStatus = 64 (100)\n";
    };
    // The ten lines above the line before the shutdown line are looked at.
    EXPECT_EQ(GetResultSizeFromLog(log(9)), "#7;500;0");
    EXPECT_EQ(GetResultSizeFromLog(log(10)), "");
    // The newest finished unit counts.
    EXPECT_EQ(GetResultSizeFromLog(log(10) + log(3)), "#7;500;0");
    EXPECT_EQ(GetResultSizeFromLog(log(3) + log(10)), "");
}

TEST(FahUtils, CoreInformationLinks)
{
    EXPECT_EQ(GetCoreInfoUrl("  "), "");
    std::string gromacs = GetCoreInfoUrl("GROMACS 3.3");
    std::string amber = GetCoreInfoUrl("AMBER");
    std::string other = GetCoreInfoUrl("ProtoMol");
    EXPECT_FALSE(gromacs.empty());
    EXPECT_NE(gromacs, amber);
    EXPECT_NE(amber, other);
    EXPECT_EQ(GetCoreInfoUrl("amber"), other);   // names compare exactly
    EXPECT_NE(GetCoreInfoUrl("GROGPU"), GetCoreInfoUrl("GRO-SMP"));
}

TEST(FahUtils, ActiveTimeBiasFromTheRegistry)
{
    const std::string key = "SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation";
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(key, true));
    // Wine keeps no such value; put back whatever was there.
    const TRegDataType savedType = reg.GetDataType("ActiveTimeBias");
    int savedInt = 0;
    std::string savedBytes;
    if (savedType == TRegDataType::Integer)
        reg.TryReadInteger("ActiveTimeBias", savedInt);
    else if (savedType == TRegDataType::Binary)
        savedBytes = reg.ReadBinaryData("ActiveTimeBias");

    reg.WriteInteger("ActiveTimeBias", 300);
    EXPECT_EQ(GetActiveTimeBias(), 300);
    int32_t minus60 = -60;
    reg.WriteBinaryData("ActiveTimeBias", std::string(reinterpret_cast<const char*>(&minus60), 4));
    EXPECT_EQ(GetActiveTimeBias(), -60);
    reg.WriteBinaryData("ActiveTimeBias", std::string("\x01\x02", 2));
    EXPECT_EQ(GetActiveTimeBias(), 0);
    // A zone lies within a day of UTC; anything else is no bias.
    reg.WriteInteger("ActiveTimeBias", -1440);
    EXPECT_EQ(GetActiveTimeBias(), -1440);
    reg.WriteInteger("ActiveTimeBias", 1441);
    EXPECT_EQ(GetActiveTimeBias(), 0);
    reg.WriteInteger("ActiveTimeBias", static_cast<int>(0x80000000u));
    EXPECT_EQ(GetActiveTimeBias(), 0);
    int32_t huge = 0x7FFFFFFF;
    reg.WriteBinaryData("ActiveTimeBias", std::string(reinterpret_cast<const char*>(&huge), 4));
    EXPECT_EQ(GetActiveTimeBias(), 0);
    reg.WriteString("ActiveTimeBias", "300");
    EXPECT_EQ(GetActiveTimeBias(), 0);
    reg.DeleteValue("ActiveTimeBias");
    EXPECT_EQ(GetActiveTimeBias(), 0);

    if (savedType == TRegDataType::Integer)
        reg.WriteInteger("ActiveTimeBias", savedInt);
    else if (savedType == TRegDataType::Binary)
        reg.WriteBinaryData("ActiveTimeBias", savedBytes);
}

TEST(FahUtils, WindowsVersion) { EXPECT_TRUE(IsWin2000OrLater()); }
