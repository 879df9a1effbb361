// Views: layout on a toolbar (separators, the chevron and its priority
// order, wrapping, right alignment), the viewers following the item tree,
// and the separators' pixels. Control items give every item an exact size.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "TBGuardedHeap.h"
#include "TBTestHost.h"
#include "platform/StdCtrls.h"
#include "support/TestSupport.h"
#include "toolbars/TBToolbar.h"

using namespace testing_support;

inline bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }
inline void PrintTo(const RECT& r, std::ostream* os)
{
    *os << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

namespace {

// A toolbar on a form with items of exact sizes: control items holding
// panels, and separators.
struct Bar {
    explicit Bar(bool chevron = false, bool priority = false)
    {
        form.host = host = new TTBTestHost(&form, chevron, priority);
        host->SetParent(&form);
        host->SetBounds(0, 0, 23, 22);
    }
    TTBControlItem* Box(int width, int height = 20)
    {
        auto* panel = new TPanel(&form);
        panel->SetBounds(0, 0, width, height);
        panel->SetParent(host);
        auto* item = new TTBControlItem(&form);
        item->SetControl(panel);
        host->Items()->Add(item);
        return item;
    }
    TTBSeparatorItem* Sep()
    {
        auto* s = new TTBSeparatorItem(&form);
        host->Items()->Add(s);
        return s;
    }
    TTBItemViewer* V(TTBCustomItem* item) { return host->View()->Find(item); }
    RECT R(TTBCustomItem* item) { return V(item)->BoundsRect; }
    bool Shown(TTBCustomItem* item) { return V(item)->Show; }

    TTBTestForm form;
    TTBTestHost* host;
};

}  // namespace

TEST(ToolbarView, SeparatorsInARowAtTheStartAndAtTheEndCollapse)
{
    Bar bar;
    TTBSeparatorItem* s0 = bar.Sep();
    TTBSeparatorItem* s1 = bar.Sep();
    TTBControlItem* a = bar.Box(30);
    TTBSeparatorItem* s2 = bar.Sep();
    TTBSeparatorItem* s3 = bar.Sep();
    TTBSeparatorItem* s4 = bar.Sep();
    TTBControlItem* b = bar.Box(40);
    TTBSeparatorItem* s5 = bar.Sep();
    bar.host->View()->UpdatePositions();

    EXPECT_FALSE(bar.Shown(s0));
    EXPECT_FALSE(bar.Shown(s1));
    EXPECT_TRUE(bar.Shown(s2));
    EXPECT_FALSE(bar.Shown(s3));
    EXPECT_FALSE(bar.Shown(s4));
    EXPECT_FALSE(bar.Shown(s5));
    EXPECT_EQ(0, bar.R(a).left);
    EXPECT_EQ(30, bar.R(s2).left);
    EXPECT_EQ(36, bar.R(s2).right);
    EXPECT_EQ(36, bar.R(b).left);
    // The panels went where their viewers are; the separator spans the row.
    EXPECT_EQ(36, b->Control()->Left());
    EXPECT_EQ(0, bar.R(s2).top);
    EXPECT_EQ(20, bar.R(s2).bottom);
    EXPECT_EQ(76, bar.host->Width());
    EXPECT_EQ(20, bar.host->Height());

    // Hiding the item between two separators leaves one of them.
    a->SetVisible(false);
    bar.host->View()->UpdatePositions();
    EXPECT_FALSE(bar.Shown(s2));
    EXPECT_EQ(0, bar.R(b).left);
    EXPECT_EQ(40, bar.host->Width());
}

TEST(ToolbarView, OneSeparatorLineIsPaintedWhereThreeWere)
{
    ASSERT_TRUE(HaveDisplay());
    Bar bar;
    bar.form.SetBounds(100, 100, 300, 120);
    bar.Box(30);
    bar.Sep();
    bar.Sep();
    bar.Sep();
    bar.Box(30);
    bar.form.Show();
    Pump(100);
    bar.host->View()->UpdatePositions();
    InvalidateRect(bar.host->Handle(), nullptr, TRUE);
    UpdateWindow(bar.host->Handle());
    // Along the middle row between the boxes: one etched line (shadow, then
    // highlight), the rest button face.
    HDC dc = GetDC(bar.host->Handle());
    std::vector<COLORREF> row;
    for (int x = 30; x < 36; ++x)
        row.push_back(GetPixel(dc, x, 10));
    ReleaseDC(bar.host->Handle(), dc);
    int shadows = 0, faces = 0;
    for (COLORREF c : row) {
        if (c == GetSysColor(COLOR_BTNSHADOW))
            ++shadows;
        if (c == GetSysColor(COLOR_BTNFACE))
            ++faces;
    }
    EXPECT_EQ(1, shadows);
    EXPECT_EQ(4, faces);
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), row[2]);   // half the width minus one
    EXPECT_EQ(66, bar.host->Width());
}

TEST(ToolbarView, TheChevronHidesItemsFromTheEndUntilTheRestFits)
{
    Bar bar(true);
    TTBControlItem* a = bar.Box(30);
    TTBControlItem* b = bar.Box(30);
    TTBControlItem* c = bar.Box(30);
    TTBSeparatorItem* s = bar.Sep();
    TTBControlItem* d = bar.Box(30);
    TTBControlItem* e = bar.Box(30);
    bar.host->SetFixedWidth(1000);
    TTBItemViewer* chevron = bar.V(bar.host->Chevron());
    ASSERT_NE(nullptr, chevron);
    EXPECT_FALSE(chevron->Show);   // everything fits
    EXPECT_TRUE(bar.Shown(e));

    bar.host->SetFixedWidth(100);
    int cw = chevron->BoundsRect.right - chevron->BoundsRect.left;
    ASSERT_GT(cw, 0);
    ASSERT_LT(cw, 40);   // so that exactly A and B fit beside it
    EXPECT_TRUE(chevron->Show);
    EXPECT_EQ(100, chevron->BoundsRect.right);
    EXPECT_TRUE(bar.Shown(a));
    EXPECT_TRUE(bar.Shown(b));
    EXPECT_FALSE(bar.Shown(c));
    EXPECT_TRUE(bar.V(c)->OffEdge);
    EXPECT_TRUE(bar.V(d)->OffEdge);
    EXPECT_TRUE(bar.V(e)->OffEdge);
    // The separator went with its neighbours, but was not hidden by the chevron.
    EXPECT_FALSE(bar.Shown(s));
    EXPECT_FALSE(bar.V(s)->OffEdge);
    // Their panels are out of sight.
    EXPECT_LT(c->Control()->Left() + c->Control()->Width(), 0);
    std::vector<TControl*> off;
    bar.host->View()->GetOffEdgeControlList(off);
    EXPECT_EQ((std::vector<TControl*>{c->Control(), d->Control(), e->Control()}), off);
}

TEST(ToolbarView, TheChevronStopsAtTheLastItemEvenWhenItDoesNotFit)
{
    Bar bar(true);
    TTBControlItem* a = bar.Box(30);
    TTBControlItem* b = bar.Box(30);
    bar.Sep();
    TTBControlItem* c = bar.Box(30);
    bar.host->SetFixedWidth(35);   // A fits, A and the chevron do not
    EXPECT_TRUE(bar.Shown(a));
    EXPECT_TRUE(bar.V(b)->OffEdge);
    EXPECT_TRUE(bar.V(c)->OffEdge);
    TTBItemViewer* chevron = bar.V(bar.host->Chevron());
    ASSERT_TRUE(chevron->Show);
    // With no room after A it comes first, where a short dock still shows
    // it, and A follows it instead of lying under it (a click on it: the
    // toolbar's test).
    EXPECT_EQ(0, chevron->BoundsRect.left);
    EXPECT_EQ(chevron->BoundsRect.right, bar.R(a).left);
}

TEST(ToolbarView, AnItemGivenPriorityIsTheLastToHide)
{
    Bar bar(true, true);
    // New items join the end of the order: they are the first to hide.
    bar.host->View()->NewViewersGetHighestPriority = false;
    TTBControlItem* a = bar.Box(30);
    TTBControlItem* b = bar.Box(30);
    TTBControlItem* c = bar.Box(30);
    TTBSeparatorItem* s = bar.Sep();
    TTBControlItem* e = bar.Box(30);
    bar.host->SetFixedWidth(100);
    EXPECT_TRUE(bar.V(e)->OffEdge);
    bar.host->View()->GivePriority(bar.V(e));
    EXPECT_EQ(bar.V(e), bar.host->View()->PriorityList().front());
    // Hidden now from the end of the priority order: C, then B.
    EXPECT_TRUE(bar.Shown(a));
    EXPECT_TRUE(bar.V(b)->OffEdge);
    EXPECT_TRUE(bar.V(c)->OffEdge);
    EXPECT_TRUE(bar.Shown(s));
    EXPECT_TRUE(bar.Shown(e));
    EXPECT_EQ(36, bar.R(e).left);
}

TEST(ToolbarView, RowsBreakAtASeparatorAndRightAlignedItemsEndTheRow)
{
    Bar bar;
    TTBControlItem* a = bar.Box(30);
    TTBControlItem* b = bar.Box(30, 24);
    TTBSeparatorItem* s = bar.Sep();
    TTBControlItem* c = bar.Box(30);
    TTBControlItem* d = bar.Box(20);
    d->SetItemStyle(d->ItemStyle() | isRightAlign);
    bar.host->View()->SetWrapWidth(100);
    bar.host->View()->UpdatePositions();
    // 60 + 6 + 50 does not fit in 100: the separator breaks the row.
    EXPECT_TRUE(bar.V(s)->LineBreak);
    EXPECT_EQ((RECT{0, 24, 60, 30}), bar.R(s));
    EXPECT_EQ(2, bar.R(a).top);   // centred on the taller B
    EXPECT_EQ((RECT{30, 0, 60, 24}), bar.R(b));
    EXPECT_EQ((RECT{0, 30, 30, 50}), bar.R(c));
    EXPECT_EQ((RECT{80, 30, 100, 50}), bar.R(d));
    EXPECT_EQ(50, bar.host->Height());

    // Wide enough: one row, no break.
    bar.host->View()->SetWrapWidth(200);
    bar.host->View()->UpdatePositions();
    EXPECT_FALSE(bar.V(s)->LineBreak);
    EXPECT_EQ(66, bar.R(c).left);
    EXPECT_EQ(180, bar.R(d).left);   // the row ends at the wrap width
}

TEST(ToolbarView, ViewersFollowInsertionsDeletionsAndInlineGroups)
{
    Bar bar;
    TTBControlItem* a = bar.Box(30);
    TTBControlItem* c = bar.Box(30);
    auto* group = new TTBCustomItem(&bar.form);
    group->SetItemStyle(group->ItemStyle() | isInlineGroup);
    auto* inner = new TTBItem(&bar.form);
    group->Add(inner);
    bar.host->Items()->Insert(1, group);
    auto* b = new TTBControlItem(&bar.form);
    auto* panel = new TPanel(&bar.form);
    panel->SetBounds(0, 0, 25, 20);
    panel->SetParent(bar.host);
    b->SetControl(panel);
    bar.host->Items()->Insert(1, b);
    TTBTestHostView* view = bar.host->View();
    ASSERT_EQ(5, view->ViewerCount());
    EXPECT_EQ(a, view->Viewers(0)->Item());
    EXPECT_EQ(b, view->Viewers(1)->Item());
    EXPECT_EQ(group, view->Viewers(2)->Item());
    EXPECT_EQ(inner, view->Viewers(3)->Item());
    EXPECT_EQ(1, view->Viewers(3)->GroupLevel());
    EXPECT_EQ(c, view->Viewers(4)->Item());
    EXPECT_FALSE(view->Viewers(2)->Show);   // a group shows only its members
    // The selected viewer goes with its item; the group takes its members along.
    view->Select(view->Find(inner), false);
    bar.host->Items()->Remove(group);
    EXPECT_EQ(nullptr, view->Selected());
    ASSERT_EQ(3, view->ViewerCount());
    EXPECT_EQ(nullptr, view->Find(inner));
    EXPECT_EQ(55, bar.R(c).left);
    delete group;
}

// A selection handler that frees the toolbar ends the key's work there:
// nothing of the freed view or toolbar is touched afterwards (freed memory
// faults while the guard lives).
TEST(ToolbarView, AnOnSelectThatFreesTheToolbarEndsTheKeysWork)
{
    tb_test::TGuardedHeap guard;
    using Step = std::function<void(TTBView*, TWinControl*)>;
    const std::vector<Step> steps = {
        [](TTBView* v, TWinControl*) { WORD k = VK_TAB; v->KeyDown(k, 0); },
        [](TTBView* v, TWinControl*) { WORD k = VK_END; v->KeyDown(k, 0); },
        [](TTBView* v, TWinControl*) { bool run; v->SelectByChar(L"b", run); },
        [](TTBView*, TWinControl* t) { static_cast<TTBToolbar*>(t)->EnterMenuMode(L'b'); },
        [](TTBView*, TWinControl* t) { static_cast<TTBToolbar*>(t)->EnterMenuMode(0); },
        [](TTBView* v, TWinControl*) { WORD k = VK_DOWN; v->KeyDown(k, 0); },   // B's menu, its first item
    };
    for (size_t i = 0; i < steps.size() && (i < 3 || HaveDisplay()); ++i) {
        TForm form(nullptr);
        TWinControl* bar;
        TTBView* view;
        TTBRootItem* root;
        if (i >= 3) {
            auto* t = new TTBToolbar(&form);
            bar = t, view = t->View(), root = t->Items();
        } else {
            auto* h = new TTBTestHost(&form);
            bar = h, view = h->View(), root = h->Items();
        }
        bar->SetParent(&form);
        form.Show();
        TTBCustomItem* items[3] = {new TTBItem(&form), new TTBSubmenuItem(&form), new TTBItem(&form)};
        items[0]->SetCaption("&a");
        items[1]->SetCaption("&b");
        items[2]->SetCaption("&c");
        root->Add(items[0]);
        root->Add(items[1]);
        items[1]->Add(items[2]);
        if (i < 2 || i == 5)
            view->Select(view->Find(items[i == 5 ? 1 : 0]), false);
        bool freed = false;
        items[i == 4 ? 0 : i == 5 ? 2 : 1]->OnSelect = [&](TTBCustomItem*, TTBItemViewer*, bool selecting) {
            if (selecting && !freed) {
                freed = true;
                delete bar;
            }
        };
        steps[i](view, bar);
        EXPECT_TRUE(freed) << "step " << i;
    }
}
