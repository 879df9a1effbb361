// The rules the main list paints and sums by, on display records filled by
// hand: the late-estimate colours, the foreign user name, links under the
// mouse, the progress greens, and what a totals row adds up.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Frame/fvFrCells.h"
#include "platform/Graphics.h"

namespace {

std::unique_ptr<TFahView> MakeView(uint8_t status)
{
    auto v = std::make_unique<TFahView>(nullptr);
    v->Status = status;
    return v;
}

constexpr TfvCellFont kBase{0x123456, 0};

}  // namespace

TEST(FvCells, EstimateAndUserColours)
{
    struct Case {
        const char* name;
        double download, eta, due;
        int prefDays;
        COLORREF color;
        bool bold;
    };
    for (const Case& c : {Case{"past the preferred deadline", 5, 10, 12, 3, 0x000080, false},
                          Case{"past the due time too", 5, 10, 9, 3, 0x0000FF, true},
                          Case{"within the preferred deadline", 5, 10, 12, 6, 0x008000, false},
                          Case{"no due time", 5, 10, 0, 3, 0x008000, false},
                          Case{"no preferred days", 5, 10, 12, 0, 0x008000, false}}) {
        SCOPED_TRACE(c.name);
        auto v = MakeView(fsRunning);
        v->DownloadTime = c.download;
        v->EtaTime = c.eta;
        v->DueTime = c.due;
        v->PreferredDays = c.prefDays;
        TfvCellFont f = FvCellFont(v.get(), fvcEnd, TfvCellState{}, kBase);
        EXPECT_EQ(f.color, c.color);
        EXPECT_EQ((f.style & fsBold) != 0, c.bold);
    }

    const std::string me = "Brenix user";
    struct User {
        std::string name;
        int team;
        bool marked;
    };
    for (const User& u : {User{"", 0, false}, User{me, 32, false}, User{me, 33, true}, User{"other", 32, true}}) {
        SCOPED_TRACE(u.name + " " + std::to_string(u.team));
        auto v = MakeView(fsShutdown);
        v->UserName = u.name;
        v->TeamNumber = u.team;
        TfvCellState st;
        st.teamID = 32;
        st.userName = &me;
        TfvCellFont f = FvCellFont(v.get(), fvcUserTeam, st, kBase);
        EXPECT_EQ(f.color, u.marked ? 0x0000FFu : 0xFF0000u);
        EXPECT_EQ((f.style & fsBold) != 0, u.marked);
    }

    // The link under the mouse is orange and underlined; the rest of its row
    // is not underlined.
    auto v = MakeView(fsReadyForSend);
    TfvCellState st;
    st.hotRow = true;
    st.hotLink = true;
    TfvCellFont hot = FvCellFont(v.get(), fvcRCG, st, TfvCellFont{kBase.color, fsUnderline});
    EXPECT_EQ(hot.color, 0x0080FFu);
    EXPECT_TRUE(hot.style & fsUnderline);
    st.hotLink = false;
    EXPECT_FALSE(FvCellFont(v.get(), fvcState, st, TfvCellFont{kBase.color, fsUnderline}).style & fsUnderline);
}

TEST(FvCells, ProgressGreensAndBar)
{
    struct Case {
        int percent;
        COLORREF color;
    };
    for (Case c : {Case{0, 0xAAFFAA}, Case{6, 0xAAFFAA}, Case{7, 0x80FF80}, Case{38, 0x2BFF2B}, Case{50, 0x00FF00},
                   Case{62, 0x00D500}, Case{93, 0x008000}, Case{94, 0x005500}, Case{100, 0x005500}}) {
        SCOPED_TRACE(c.percent);
        auto v = MakeView(fsRunning);
        v->Percent = c.percent;
        EXPECT_EQ(FvProgressColor(*v), c.color);
        v->Status = fsShutdown;
        EXPECT_EQ(FvProgressColor(*v), GetSysColor(COLOR_BTNFACE));
    }
    RECT bar = FvProgressRect(RECT{100, 0, 220, 18}, 30);
    EXPECT_EQ(bar.left, 102);
    EXPECT_EQ(bar.top, 2);
    EXPECT_EQ(bar.right, 188);
    EXPECT_EQ(bar.bottom, 16);
}

TEST(FvCells, WhatATotalsRowAddsUp)
{
    // state, credit, ppd, eta, due, download, preferred days, percent, has a unit
    struct Row {
        uint8_t state;
        int credit, ppd;
        double eta, due, download;
        int prefDays, percent;
        bool unit;
    };
    TFahViewSum sum("all");
    std::vector<std::unique_ptr<TFahView>> views;
    for (Row r : {Row{fsRunning, 100, 50, 10, 12, 4, 3, 40, true}, Row{fsShutdown, 200, 80, 8, 11, 2, 3, 70, true},
                  Row{fsLogNotFound, 0, 0, 0, 1, 0, 0, 90, false}}) {
        auto v = MakeView(r.state);
        v->Credit = r.credit;
        v->PPD = r.ppd;
        v->PPH = TFixed4::FromInt(r.ppd / 25);
        v->EtaTime = r.eta;
        v->DueTime = r.due;
        v->DownloadTime = r.download;
        v->PreferredDays = r.prefDays;
        v->Percent = r.percent;
        v->ProjectRcgText = r.unit ? "1 (1-2-3)" : "";
        AddViewToSum(sum, *v);
    }
    EXPECT_EQ((std::vector<int>{sum.ClientCount, sum.RunCount, sum.ReadyCount, sum.StoppedCount}),
              (std::vector<int>{3, 1, 0, 1}));
    // Points and estimates of running and ready clients only.
    EXPECT_EQ(sum.Credit, 100);
    EXPECT_EQ(sum.PPD, 50);
    EXPECT_EQ(SumCellText(sum, fvcPPH), "2.00");
    EXPECT_EQ(sum.EtaTime, 10);
    // Due time, preferred deadline and percent of every client with a unit.
    EXPECT_EQ(sum.DueTime, 11);
    EXPECT_EQ(sum.PrefDeadline, 5);
    EXPECT_EQ(sum.MaxPercent, 70);
    EXPECT_EQ(SumCellText(sum, 14), "unknown column");
}
