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
    const std::vector<Case> cases{
        {"past the preferred deadline", 5, 10, 12, 3, 0x000080, false},
        {"past the due time too", 5, 10, 9, 3, 0x0000FF, true},
        {"within the preferred deadline", 5, 10, 12, 6, 0x008000, false},
        {"no due time", 5, 10, 0, 3, 0x008000, false},
        {"no preferred days", 5, 10, 12, 0, 0x008000, false},
        {"no estimate", 5, 0, 12, 3, 0x008000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto v = MakeView(fsRunning);
        v->DownloadTime = c.download;
        v->EtaTime = c.eta;
        v->DueTime = c.due;
        v->PreferredDays = c.prefDays;
        TfvCellFont f = FvCellFont(v.get(), fvcEnd, TfvCellState{}, kBase);
        EXPECT_EQ(f.color, c.color);
        EXPECT_EQ((f.style & fsBold) != 0, c.bold);
        // Other columns keep the state colour.
        EXPECT_EQ(FvCellFont(v.get(), fvcDue, TfvCellState{}, kBase).color, 0x008000u);
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

    // The focused row keeps the tree's colour; the link under the mouse is
    // orange and underlined; the overall row is white.
    auto v = MakeView(fsReadyForSend);
    TfvCellState st;
    st.focused = true;
    EXPECT_EQ(FvCellFont(v.get(), fvcState, st, kBase).color, kBase.color);
    st.hotRow = true;
    st.hotLink = true;
    TfvCellFont hot = FvCellFont(v.get(), fvcRCG, st, TfvCellFont{kBase.color, fsUnderline});
    EXPECT_EQ(hot.color, 0x0080FFu);
    EXPECT_TRUE(hot.style & fsUnderline);
    st.hotLink = false;
    EXPECT_FALSE(FvCellFont(v.get(), fvcState, st, TfvCellFont{kBase.color, fsUnderline}).style & fsUnderline);
    TfvCellState total;
    total.kind = kfvTotalRow;
    EXPECT_EQ(FvCellFont(nullptr, fvcPath, total, kBase).color, 0xFFFFFFu);
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
    TFahViewSum sum("all");
    auto run = MakeView(fsRunning);
    run->ProjectRcgText = "1 (1-2-3)";
    run->Credit = 100;
    run->PPD = 50;
    run->PPH = TFixed4::FromInt(2);
    run->EtaTime = 10;
    run->DueTime = 12;
    run->DownloadTime = 4;
    run->PreferredDays = 3;
    run->Percent = 40;
    auto stopped = MakeView(fsShutdown);
    stopped->ProjectRcgText = "2 (1-1-1)";
    stopped->Credit = 200;
    stopped->PPD = 80;
    stopped->EtaTime = 8;
    stopped->DueTime = 11;
    stopped->DownloadTime = 2;
    stopped->PreferredDays = 3;
    stopped->Percent = 70;
    auto empty = MakeView(fsLogNotFound);
    empty->Percent = 90;
    empty->DueTime = 1;
    for (TFahView* v : {run.get(), stopped.get(), empty.get()})
        AddViewToSum(sum, *v);
    EXPECT_EQ(sum.ClientCount, 3);
    EXPECT_EQ(sum.RunCount, 1);
    EXPECT_EQ(sum.ReadyCount, 0);
    EXPECT_EQ(sum.StoppedCount, 1);
    EXPECT_EQ(sum.Credit, 100);   // points and estimates of running and ready clients only
    EXPECT_EQ(sum.PPD, 50);
    EXPECT_EQ(SumCellText(sum, fvcPPH), "2.00");
    EXPECT_EQ(sum.EtaTime, 10);
    EXPECT_EQ(sum.DueTime, 11);        // due, preferred deadline and percent of every client with a unit
    EXPECT_EQ(sum.PrefDeadline, 5);
    EXPECT_EQ(sum.MaxPercent, 70);
    EXPECT_EQ(SumCellText(sum, fvcDownload), "");
    EXPECT_EQ(SumCellText(sum, 14), "unknown column");
}
