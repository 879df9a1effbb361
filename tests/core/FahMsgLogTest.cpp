#include <gtest/gtest.h>

#include <memory>

#include "Classes/FahMsgLog.h"
#include "CoreTestSupport.h"

using namespace core_test;

namespace {

struct Event {
    int index;
    std::string text, keyword;
};

struct Tracker {
    TFahMsgLog log;
    std::vector<Event> events;
    Tracker()
    {
        log.OnMessage = [this](TFahMsgLog&, int i, const std::string& text, const std::string& kw) {
            events.push_back({i, text, kw});
        };
    }
    bool Update(const std::string& text)
    {
        events.clear();
        return log.Update(std::make_shared<const TLogLines>(text));
    }
    std::vector<std::string> NewLines() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < log.NewLineCount(); ++i)
            out.emplace_back(log.NewLine(i));
        return out;
    }
    std::vector<std::string> Keywords() const
    {
        std::vector<std::string> out;
        for (const auto& e : events)
            out.push_back(e.keyword);
        return out;
    }
};

std::string Lines(int from, int to)
{
    std::string s;
    for (int i = from; i <= to; ++i)
        s += "[10:00:" + std::to_string(10 + i % 50) + "] line " + std::to_string(i) + "\r\n";
    return s;
}

}  // namespace

TEST(FahMsgLog, KeywordListsAreComplete)
{
    TFahMsgLog log;
    ASSERT_EQ(log.ErrorKeywords().Count(), 12);
    EXPECT_EQ(log.ErrorKeywords()[0], "error");
    EXPECT_EQ(log.ErrorKeywords()[7], "program will now exit");
    EXPECT_EQ(log.ErrorKeywords()[9], "early_unit_end");
    EXPECT_EQ(log.ErrorKeywords()[10], "working with standard loops on this execution");
    EXPECT_EQ(log.ErrorKeywords()[11], "previous termination of core was improper");
    ASSERT_EQ(log.InfoKeywords().Count(), 19);
    EXPECT_EQ(log.InfoKeywords()[4], "benchmarking ...");
    EXPECT_EQ(log.InfoKeywords()[18], "going to use standard loops");
    ASSERT_EQ(log.SuccessKeywords().Count(), 12);
    EXPECT_EQ(log.SuccessKeywords()[8], " ok");
    EXPECT_EQ(log.SuccessKeywords()[11], " done");
    ASSERT_EQ(log.OtherKeywords().Count(), 2);
    EXPECT_EQ(log.OtherKeywords()[0], "");
    EXPECT_EQ(log.OtherKeywords()[1], " ");
    EXPECT_EQ(log.MaxLines, 200);
}

TEST(FahMsgLog, AGrowingLogYieldsExactlyItsNewLines)
{
    Tracker t;
    EXPECT_FALSE(t.Update(Lines(1, 10)));
    EXPECT_EQ(t.log.NewLineCount(), 10);
    EXPECT_EQ(t.log.TailText(), Lines(6, 10));
    EXPECT_TRUE(t.Update(Lines(1, 13)));
    ASSERT_EQ(t.log.NewLineCount(), 3);
    EXPECT_EQ(t.NewLines(), (std::vector<std::string>{"[10:00:21] line 11", "[10:00:22] line 12", "[10:00:23] line 13"}));
    // Nothing new.
    EXPECT_TRUE(t.Update(Lines(1, 13)));
    EXPECT_EQ(t.log.NewLineCount(), 0);
}

TEST(FahMsgLog, AReplacedLogCountsWhollyAsNew)
{
    Tracker t;
    t.Update(Lines(1, 10));
    std::string other = "[11:00:00] fresh start\r\n[11:00:01] second\r\n";
    EXPECT_FALSE(t.Update(other));
    EXPECT_EQ(t.log.NewLineCount(), 2);
    EXPECT_FALSE(t.Update(""));
    EXPECT_EQ(t.log.NewLineCount(), 0);
}

TEST(FahMsgLog, AnIncompleteLastLineIsScannedAgainWhenItGrows)
{
    Tracker t;
    std::string base = Lines(1, 6);
    t.Update(base + "[10:01:00] Folding@home Core Shutdown: EARLY_U");
    EXPECT_TRUE(t.events.empty());
    EXPECT_TRUE(t.Update(base + "[10:01:00] Folding@home Core Shutdown: EARLY_UNIT_END\r\n[10:01:01] x\r\n"));
    EXPECT_EQ(t.log.NewLineCount(), 2);
    EXPECT_EQ(t.Keywords(), (std::vector<std::string>{"early_unit_end"}));
}

TEST(FahMsgLog, BothKeywordsOfOneLineInListOrder)
{
    Tracker t;
    t.Update(Lines(1, 6));
    t.Update(Lines(1, 6) + "[10:02:00] Error: couldn't send HTTP request\r\n");
    ASSERT_EQ(t.events.size(), 2u);
    EXPECT_EQ(t.events[0].keyword, "error");
    EXPECT_EQ(t.events[1].keyword, "couldn't");
    EXPECT_EQ(t.events[0].index, 0);
    EXPECT_EQ(t.events[0].text, "\r\n[10:02:00] error: couldn't send http request");
}

TEST(FahMsgLog, TheTextCarriesTheLineAndTheNewerLines)
{
    Tracker t;
    t.Update(Lines(1, 6));
    t.Update(Lines(1, 6) + "[10:03:00] The program will now exit.\r\n[10:03:01] Second line\r\n");
    ASSERT_EQ(t.events.size(), 1u);
    EXPECT_EQ(t.events[0].keyword, "program will now exit");
    EXPECT_EQ(t.events[0].index, 0);
    EXPECT_EQ(t.events[0].text, "\r\n[10:03:01] second line\r\n[10:03:00] the program will now exit.");
}

TEST(FahMsgLog, FirstReadStopsAtTheNewestProjectLineLaterReadsDoNot)
{
    Tracker t;
    std::string log = Lines(1, 6) + "[10:04:00] - Working with standard loops on this execution.\r\n" +
                      "[10:04:01] Project: 8022 (Run 11, Clone 318, Gen 25)\r\n" +
                      "[10:04:02] Completed 0 out of 250000 steps  (0%)\r\n";
    t.Update(log);
    EXPECT_TRUE(t.events.empty());   // the keyword lies above the unit's start
    std::string more = "[10:05:00] - Working with standard loops on this execution.\r\n"
                       "[10:05:01] Project: 8022 (Run 11, Clone 318, Gen 26)\r\n"
                       "[10:05:02] Completed 0 out of 250000 steps  (0%)\r\n";
    t.Update(log + more);
    EXPECT_EQ(t.Keywords(), (std::vector<std::string>{"working with standard loops on this execution"}));
}

TEST(FahMsgLog, AtMost201LinesAreScanned)
{
    Tracker t;
    std::string log;
    for (int i = 0; i < 300; ++i)
        log += "[10:00:00] error " + std::to_string(i) + "\r\n";
    t.Update(log);
    ASSERT_EQ(t.events.size(), 201u);
    EXPECT_EQ(t.events.front().index, 299);
    EXPECT_EQ(t.events.back().index, 99);
}

TEST(FahMsgLog, NothingIsScannedWithoutAnEvent)
{
    TFahMsgLog log;
    EXPECT_FALSE(log.Update(std::make_shared<const TLogLines>(std::string("[1] error\r\n"))));
    EXPECT_EQ(log.NewLineCount(), 1);
    log.ScanNewLines(false);   // no handler: nothing happens, nothing breaks
    SUCCEED();
}

TEST(FahMsgLog, RealSmpLogOnFirstReadAndAfterGrowth)
{
    Tracker t;
    std::string full = RealText("fahlog-smp-a4-bigadv-running.txt");
    // Cut right before the standard-loops line of the resumed unit.
    size_t cut = full.find("[07:52:44] - Working with standard loops");
    ASSERT_NE(cut, std::string::npos);
    t.Update(full.substr(0, cut));
    t.Update(full.substr(0, full.find("[07:52:45] Project: 8022")));
    // Newest line first: "Previous termination of core was improper." holds two keywords.
    EXPECT_EQ(t.Keywords(), (std::vector<std::string>{"termination of core was improper",
                                                       "previous termination of core was improper",
                                                       "working with standard loops on this execution"}));
}
