// The toolbar on a form shaped like the main form, with real windows and
// real input: the chevron and its menu, caption placements by pixels,
// shortcuts through the key routing, control items, floating sizes and the
// layer's key, settings and cancel-mode routing; disabled items' pixels.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <ole2.h>

#include "TBMainShape.h"
#include "TBDrive.h"
#include "TBTestHost.h"
#include "platform/Application.h"
#include "platform/ControlMessages.h"
#include "platform/Hints.h"
#include "platform/StdCtrls.h"
#include "support/Input.h"
#include "support/TestSupport.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBPopup.h"

using namespace testing_support;

namespace {

using tb_test::Drive;
using tb_test::WaitFor;

POINT ScreenCenterOf(TTBItemViewer* v)
{
    TWinControl* w = v->View()->Window();
    RECT r = v->BoundsRect;
    return w->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

// Clicks the viewer and waits for the one popup menu it opens (settled
// for a moment); nullptr when none opened.
TTBPopupWindow* ClickForPopup(TTBItemViewer* v)
{
    SendInputPumping(MouseClickAt(ScreenCenterOf(v)), 0);
    if (!WaitFor([] { return VisiblePopupWindows().size() == 1; }))
        return nullptr;
    Sleep(150);
    std::vector<HWND> popups = VisiblePopupWindows();
    return popups.empty() ? nullptr : dynamic_cast<TTBPopupWindow*>(TWinControl::FromHandle(popups[0]));
}

// Pixels of a window's client area through a screen DC.
struct Shot {
    explicit Shot(HWND h)
    {
        RECT r;
        GetClientRect(h, &r);
        POINT o{0, 0};
        ClientToScreen(h, &o);
        w = r.right;
        hgt = r.bottom;
        HDC screen = GetDC(nullptr);
        for (int y = 0; y < hgt; ++y)
            for (int x = 0; x < w; ++x)
                px.push_back(GetPixel(screen, o.x + x, o.y + y));
        ReleaseDC(nullptr, screen);
    }
    COLORREF At(int x, int y) const { return px[static_cast<size_t>(y * w + x)]; }
    // The bounding box of the pixels of one colour inside r.
    RECT BoxOf(COLORREF c, RECT r) const
    {
        RECT box{INT_MAX, INT_MAX, -1, -1};
        for (int y = std::max<LONG>(0, r.top); y < std::min<LONG>(hgt, r.bottom); ++y)
            for (int x = std::max<LONG>(0, r.left); x < std::min<LONG>(w, r.right); ++x)
                if (At(x, y) == c) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }
    int w = 0, hgt = 0;
    std::vector<COLORREF> px;
};

bool Dark(COLORREF c) { return GetRValue(c) < 90 && GetGValue(c) < 90 && GetBValue(c) < 90; }

}  // namespace

// --- chevron ---

TEST(TBToolbar, ShortRowShowsTheChevronAndItsMenuListsExactlyTheHiddenItems)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f(300, 240);
    SetToolbarCaptionPlacement(f.toolbar, 0);   // the program's default: text below
    f.ShowNow();
    TTBToolbarView* view = f.toolbar->View();
    TTBItemViewer* chevron = view->Find(f.toolbar->ChevronItem());
    ASSERT_NE(nullptr, chevron);
    ASSERT_TRUE(chevron->Show) << "the row is 300 pixels: the chevron shows";
    std::multiset<std::string> hidden;
    int shown = 0;
    for (int i = 0; i < view->ViewerCount(); ++i) {
        TTBItemViewer* v = view->Viewers(i);
        if (v == chevron || (v->Item()->ItemStyle() & isSeparator))
            continue;
        if (v->OffEdge)
            hidden.insert(v->Item()->Caption());
        else if (v->Show)
            ++shown;
    }
    ASSERT_FALSE(hidden.empty());
    ASSERT_GT(shown, 0);
    // The toolbar ends inside the form, the chevron at its end.
    RECT tr;
    GetWindowRect(f.toolbar->Handle(), &tr);
    RECT fr;
    GetClientRect(f.Handle(), &fr);
    EXPECT_LE(tr.right - tr.left, fr.right);

    std::multiset<std::string> listed;
    Drive([&] {
        TTBPopupWindow* w = ClickForPopup(chevron);
        ASSERT_NE(nullptr, w);
        TTBPopupView* pv = w->View();
        for (int i = 0; i < pv->ViewerCount(); ++i) {
            TTBItemViewer* v = pv->Viewers(i);
            if (v->Show && !(v->Item()->ItemStyle() & isSeparator))
                listed.insert(v->Item()->Caption());
        }
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 0);
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 0);
        WaitFor([] { return VisiblePopupWindows().empty(); });
    });
    EXPECT_EQ(hidden, listed);
}

// The chevron draws its double arrow in the button text colour, docked
// along the top (">>", 8 x 5 from 2, 4) and along the left ("v v", 5 x 8
// from 9 pixels left of its right edge, 2 down).
TEST(TBToolbar, TheChevronPaintsItsArrowsInBothOrientations)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    struct Case {
        bool vertical;
        const char* rows[8];
    };
    const Case cases[] = {
        {false, {"XX..XX..", ".XX..XX.", "..XX..XX", ".XX..XX.", "XX..XX..", "........", "........", "........"}},
        {true, {"X...X...", "XX.XX...", ".XXX....", "..X.....", "X...X...", "XX.XX...", ".XXX....", "..X....."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vertical ? "left dock" : "top dock");
        TMainShapeForm f(300, c.vertical ? 150 : 240);
        SetToolbarCaptionPlacement(f.toolbar, 0);
        if (c.vertical) {
            f.toolbar->SetCurrentDock(f.left);
            f.left->ArrangeToolbars();
        }
        f.ShowNow();
        TTBItemViewer* chevron = f.toolbar->View()->Find(f.toolbar->ChevronItem());
        ASSERT_NE(nullptr, chevron);
        ASSERT_TRUE(chevron->Show) << "the row is too short: the chevron shows";
        Shot shot(f.toolbar->Handle());
        const RECT& b = chevron->BoundsRect;
        const int x0 = c.vertical ? b.right - 9 : b.left + 2;
        const int y0 = b.top + (c.vertical ? 2 : 4);
        const COLORREF ink = GetSysColor(COLOR_BTNTEXT);
        std::string drawn, wanted;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x)
                drawn += shot.At(x0 + x, y0 + y) == ink ? 'X' : '.';
            drawn += '\n';
            wanted += std::string(c.rows[y]) + '\n';
        }
        EXPECT_EQ(wanted, drawn);
    }
}

TEST(TBToolbar, AtItsShortestTheChevronFollowsTheOneItemLeftAndCanBeClicked)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f(640, 240);
    SetToolbarCaptionPlacement(f.toolbar, 1);   // captions right of the images
    f.actionsByName["Refresh"]->SetCaption("&Refresh every folder now");   // longer than a form can be narrow
    f.ShowNow();
    TTBToolbarView* view = f.toolbar->View();
    TTBItemViewer* first = view->Find(f.items["Refresh"]);
    const int firstLength = first->BoundsRect.right - first->BoundsRect.left;
    const int frame = f.toolbar->Width() - f.toolbar->ClientRect().right;
    RECT wr, cr;
    GetWindowRect(f.Handle(), &wr);
    GetClientRect(f.Handle(), &cr);
    const int nonClient = (wr.right - wr.left) - cr.right;
    TTBItemViewer* chevron = view->Find(f.toolbar->ChevronItem());

    // A dock as long as the toolbar's minimum: the one item left, the
    // chevron after it.
    f.SetBounds(f.Left(), f.Top(), f.toolbar->GetMinShrinkSize() + nonClient, 240);
    Pump(50);
    ASSERT_TRUE(chevron->Show);
    EXPECT_GE(chevron->BoundsRect.left, first->BoundsRect.right);
    EXPECT_EQ(f.toolbar->GetMinShrinkSize(), frame + chevron->BoundsRect.right);
    EXPECT_EQ(f.toolbar->Width(), f.toolbar->GetMinShrinkSize());

    // A dock shorter than that minimum, shorter even than the item: the
    // chevron lies inside the dock, and a click there opens its menu.
    f.SetBounds(f.Left(), f.Top(), frame + firstLength - 10 + nonClient, 240);
    Pump(50);
    ASSERT_TRUE(chevron->Show);
    RECT ds, cs = chevron->BoundsRect;
    GetWindowRect(f.top->Handle(), &ds);
    const POINT tl = f.toolbar->ClientToScreen(POINT{cs.left, cs.top});
    EXPECT_GE(tl.x, ds.left);
    EXPECT_LE(tl.x + cs.right - cs.left, ds.right);
    const POINT click{tl.x + (cs.right - cs.left) / 2, tl.y + (cs.bottom - cs.top) / 2};
    TTBItemViewer* opened = nullptr;
    Drive([&] {
        SendInputPumping(MouseClickAt(click), 0);
        if (WaitFor([] { return VisiblePopupWindows().size() == 1; }))
            opened = view->OpenViewer();
        SendInputPumping(Chord({VK_ESCAPE}), 0);
    });
    EXPECT_EQ(chevron, opened);
    EXPECT_EQ(0, f.runs["Refresh"]);
}

TEST(TBToolbar, ChevronMoveItemsLetsAnItemGivenPriorityOutOfTheChevron)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f(300, 240);
    SetToolbarCaptionPlacement(f.toolbar, 1);
    f.ShowNow();
    TTBToolbarView* view = f.toolbar->View();
    TTBItem* settings = f.items["Settings"];
    ASSERT_TRUE(view->Find(settings)->OffEdge);
    f.toolbar->SetChevronMoveItems(false);
    view->GivePriority(view->Find(settings));
    EXPECT_TRUE(view->Find(settings)->OffEdge) << "items hide from the end whatever runs";
    f.toolbar->SetChevronMoveItems(true);
    view->GivePriority(view->Find(settings));
    EXPECT_FALSE(view->Find(settings)->OffEdge);
    EXPECT_TRUE(view->Find(settings)->Show);
}

TEST(TBToolbar, ChevronCaptionIsTheShortHintWithAmpersandsDoubled)
{
    TTBToolbar t(nullptr);
    EXPECT_EQ("More Buttons|", t.ChevronHint());
    EXPECT_EQ("More Buttons", t.ChevronItem()->Caption());
    t.SetChevronHint("Save && Load & more|Hidden buttons");
    EXPECT_EQ("Save &&&& Load && more", t.ChevronItem()->Caption());
    EXPECT_EQ("Save && Load & more|Hidden buttons", t.ChevronItem()->Hint());
    t.SetChevronHint("A&B");
    EXPECT_EQ("A&&B", t.ChevronItem()->Caption());
}

// --- caption placement and hiding, by pixels ---

TEST(TBToolbar, CaptionPlacementsBelowRightAndImageOnlyByPixels)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f(900, 300);
    f.ShowNow();
    HWND h = f.toolbar->Handle();
    TTBToolbarView* view = f.toolbar->View();
    TTBItemViewer* refresh = view->Find(f.items["Refresh"]);
    const COLORREF red = RGB(255, 0, 0);

    SetToolbarCaptionPlacement(f.toolbar, 0);
    Pump(100);
    RECT below = refresh->BoundsRect;
    Shot s0(h);
    RECT img0 = s0.BoxOf(red, below);
    RECT text0 = s0.BoxOf(GetSysColor(COLOR_BTNTEXT), below);
    ASSERT_EQ(16, img0.right - img0.left);
    ASSERT_GE(text0.right, 0) << "the caption shows";
    EXPECT_GE(text0.top, img0.bottom) << "text below the image";

    SetToolbarCaptionPlacement(f.toolbar, 1);
    Pump(100);
    RECT right = refresh->BoundsRect;
    Shot s1(h);
    RECT img1 = s1.BoxOf(red, right);
    RECT text1 = s1.BoxOf(GetSysColor(COLOR_BTNTEXT), right);
    ASSERT_EQ(16, img1.bottom - img1.top);
    ASSERT_GE(text1.right, 0);
    EXPECT_GE(text1.left, img1.right) << "text right of the image";
    EXPECT_LT(right.bottom - right.top, below.bottom - below.top);
    EXPECT_LT(f.top->Height(), 22 + (below.bottom - below.top));

    SetToolbarCaptionPlacement(f.toolbar, 2);
    Pump(100);
    RECT only = refresh->BoundsRect;
    Shot s2(h);
    RECT img2 = s2.BoxOf(red, only);
    RECT text2 = s2.BoxOf(GetSysColor(COLOR_BTNTEXT), only);
    EXPECT_EQ(16, img2.right - img2.left);
    EXPECT_LT(text2.right, 0) << "no text on the toolbar";
    EXPECT_LT(only.right - only.left, right.right - right.left);

    // The chevron's menu keeps the texts: narrow the form until Settings hides.
    f.SetBounds(f.Left(), f.Top(), 110, f.Height());
    Pump(100);
    TTBItemViewer* chevron = view->Find(f.toolbar->ChevronItem());
    ASSERT_TRUE(chevron->Show);
    ASSERT_TRUE(view->Find(f.items["Settings"])->OffEdge);
    Drive([&] {
        TTBPopupWindow* w = ClickForPopup(chevron);
        ASSERT_NE(nullptr, w);
        HWND popup = w->Handle();
        TTBItemViewer* settings = w->View()->Find(f.items["Settings"]);
        ASSERT_NE(nullptr, settings);
        Shot sp(popup);
        RECT r = settings->BoundsRect;
        int dark = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left + 24; x < r.right; ++x)
                dark += Dark(sp.At(x, y)) ? 1 : 0;
        EXPECT_GT(dark, 15) << "the menu row shows the caption";
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 0);
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 0);
        WaitFor([] { return VisiblePopupWindows().empty(); });
    });
}

TEST(TBToolbar, HiddenToolbarCollapsesTheTopDock)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f;
    f.ShowNow();
    ASSERT_GT(f.top->Height(), 20);
    f.toolbar->Hide();
    Pump(50);
    EXPECT_EQ(0, f.top->Height());
    f.toolbar->Show();
    Pump(50);
    EXPECT_GT(f.top->Height(), 20);
}

// --- shortcuts and key routing ---

TEST(TBToolbar, ShortCutsGoToActionsFirstAndToolbarsOnlyWithProcessShortCuts)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f;
    auto* edit = new TEdit(&f);
    edit->SetBounds(300, 150, 100, 24);
    edit->SetParent(&f);
    // A second toolbar in the left dock with items of its own shortcuts.
    auto* second = new TTBToolbar(&f);
    int f7first = 0, f7second = 0, f8 = 0;
    auto add = [&](TTBToolbar* t, WORD key, int* counter) {
        auto* i = new TTBItem(&f);
        i->SetCaption("Key");
        i->SetShortCut(ShortCut(key, 0));
        i->OnClick = [counter](TObject*) { ++*counter; };
        t->Items()->Add(i);
    };
    add(f.toolbar, VK_F7, &f7first);
    add(second, VK_F7, &f7second);
    add(second, VK_F8, &f8);
    second->SetParent(f.left);
    f.left->ChangeDockList(true, second);
    f.left->ArrangeToolbars();
    f.ShowNow();
    edit->SetFocus();
    auto press = [](WORD key) {
        Drive([&] { SendInputPumping({KeyInput(key, false), KeyInput(key, true)}, 100); });
    };

    // The form's action list answers F5; no toolbar processes shortcuts.
    press(VK_F5);
    EXPECT_EQ(1, f.runs["Refresh"]);
    press(VK_F7);
    press(VK_F8);
    EXPECT_EQ(0, f7first + f7second + f8) << "ProcessShortCuts off: not answered";

    // Both on: the first in the list answers a key both know.
    f.toolbar->SetProcessShortCuts(true);
    second->SetProcessShortCuts(true);
    press(VK_F7);
    EXPECT_EQ(1, f7first);
    EXPECT_EQ(0, f7second);
    press(VK_F8);
    EXPECT_EQ(1, f8);
    // The actions still come first.
    press(VK_F5);
    EXPECT_EQ(2, f.runs["Refresh"]);
    // Off again: nothing.
    f.toolbar->SetProcessShortCuts(false);
    second->SetProcessShortCuts(false);
    EXPECT_TRUE(ShortCutToolbars().empty());
    press(VK_F7);
    EXPECT_EQ(1, f7first);
    EXPECT_EQ(0, f7second);
}

TEST(TBToolbar, MenuKeyReachesTheApplicationHooksAndAMenuBarOpensByAccelerator)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f;
    auto* edit = new TEdit(&f);
    edit->SetBounds(300, 150, 100, 24);
    edit->SetParent(&f);
    f.toolbar->SetMenuBar(true);
    SetToolbarCaptionPlacement(f.toolbar, 1);   // a menu bar shows its captions
    // Hooks are called newest first: this one sees the message before the toolbars'.
    std::vector<std::pair<WPARAM, LPARAM>> seen;
    int id = Application().HookMainWindow([&](UINT msg, WPARAM w, LPARAM l, LRESULT&) {
        if (msg == CM_APPSYSCOMMAND)
            seen.emplace_back(w & 0xFFF0, l);
        return false;
    });
    EXPECT_EQ(tbsmWrap, f.toolbar->ShrinkMode());
    EXPECT_TRUE(f.toolbar->ProcessShortCuts());
    f.ShowNow();
    edit->SetFocus();
    size_t popups = 0;
    Drive([&] {
        SendInputPumping(Chord({VK_MENU, 'V'}), 0);   // Ser&vice
        WaitFor([] { return !VisiblePopupWindows().empty(); });
        popups = VisiblePopupWindows().size();
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 50);
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 50);
        WaitFor([] { return VisiblePopupWindows().empty(); });
    });
    Application().UnhookMainWindow(id);
    ASSERT_FALSE(seen.empty()) << popups;
    EXPECT_EQ(static_cast<WPARAM>(SC_KEYMENU), seen[0].first);
    EXPECT_EQ('v', towlower(static_cast<wint_t>(seen[0].second)));
    EXPECT_EQ(1u, popups) << "Alt+V opened the Service menu";
    f.toolbar->SetMenuBar(false);
}

namespace {

class RecordingControl : public TWinControl {
public:
    explicit RecordingControl(TComponent* owner) : TWinControl(owner) {}
    void WndProc(TMessage& m) override
    {
        if (m.Msg == CM_WININICHANGE)
            winIni.push_back(m.WParam);
        if (m.Msg == WM_CANCELMODE)
            ++cancelModes;
        TWinControl::WndProc(m);
    }
    std::vector<WPARAM> winIni;
    int cancelModes = 0;
};

}  // namespace

TEST(TBToolbar, SettingsChangesAndCancelModeReachControls)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f;
    auto* rec = new RecordingControl(&f);
    rec->SetBounds(300, 150, 40, 40);
    rec->SetParent(&f);
    f.ShowNow();
    SendMessageW(f.Handle(), WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, 0);
    ASSERT_EQ(1u, rec->winIni.size());
    EXPECT_EQ(static_cast<WPARAM>(SPI_SETNONCLIENTMETRICS), rec->winIni[0]);

    // WM_CANCELMODE to the form ends a menu the toolbar tracks.
    rec->SetFocus();
    bool endedByCancel = false;
    Drive([&] {
        SendInputPumping(MouseClickAt(ScreenCenterOf(f.toolbar->View()->Find(f.service))), 0);
        ASSERT_TRUE(WaitFor([] { return VisiblePopupWindows().size() == 1; }));
        SendMessageW(f.Handle(), WM_CANCELMODE, 0, 0);
        endedByCancel = WaitFor([] { return VisiblePopupWindows().empty(); });
    });
    EXPECT_TRUE(endedByCancel);
    EXPECT_FALSE(f.toolbar->View()->IsModal());
}

TEST(TBToolbar, TabLeavesOutTheControlsOfControlItems)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f;
    auto* inBar = new TEdit(&f);
    inBar->SetParent(f.toolbar);   // gets a control item of its own
    TEdit* edits[2];
    for (TEdit*& e : edits) {
        e = new TEdit(&f);
        e->SetBounds(300, &e == edits ? 150 : 190, 100, 24);
        e->SetParent(&f);
    }
    f.ShowNow();
    ASSERT_TRUE(inBar->Visible());
    edits[1]->SetFocus();
    SendInputPumping(Chord({VK_TAB}), 100);   // round past the toolbar, which comes first
    EXPECT_TRUE(edits[0]->Focused());
    SendInputPumping(Chord({VK_SHIFT, VK_TAB}), 100);
    EXPECT_TRUE(edits[1]->Focused());
}

TEST(TBToolbar, OleStartsOnceOnTheGuiThread)
{
    EXPECT_TRUE(Application().OleStarted());
    // Already initialised on this thread: S_FALSE, and balanced again.
    HRESULT hr = OleInitialize(nullptr);
    EXPECT_EQ(S_FALSE, hr);
    OleUninitialize();
}

// --- control items ---

TEST(TBToolbar, ControlDroppedAtDesignTimeGetsTheFirstFreeControlItemName)
{
    TForm form(nullptr);
    form.SetDesigning(true);
    auto* t = new TTBToolbar(&form);
    t->SetParent(&form);
    // Names 1 and 3 are taken by other components of the form.
    (new TTBItem(&form))->SetName("TBControlItem1");
    (new TTBItem(&form))->SetName("TBControlItem3");
    auto* button = new TButton(&form);
    button->SetParent(t);
    ASSERT_EQ(1, t->Items()->Count());
    auto* ci = dynamic_cast<TTBControlItem*>(t->Items()->Items(0));
    ASSERT_NE(nullptr, ci);
    EXPECT_EQ("TBControlItem2", ci->Name());
    EXPECT_EQ(button, ci->Control());
    auto* edit = new TEdit(&form);
    edit->SetParent(t);
    ASSERT_EQ(2, t->Items()->Count());
    EXPECT_EQ("TBControlItem4", t->Items()->Items(1)->Name());
    // A control that leaves takes its control item along.
    button->SetParent(&form);
    ASSERT_EQ(1, t->Items()->Count());
    EXPECT_EQ(edit, dynamic_cast<TTBControlItem*>(t->Items()->Items(0))->Control());
}

// --- floating sizes ---

namespace {

// Every wrap width from the widest down, one layout each.
std::vector<SIZE> EveryWidth(TTBCustomToolbar& t)
{
    std::vector<SIZE> list;
    RECT m = t.View()->GetMargins(tbvoFloating);
    SIZE s = t.View()->MeasureSize(tbvoFloating, 0, 0);
    list.push_back(s);
    for (int x = s.cx - 1; x >= m.left + m.right + 1; --x) {
        SIZE n = t.View()->MeasureSize(tbvoFloating, x, 0);
        bool known = false;
        for (const SIZE& e : list)
            known = known || (e.cx == n.cx && e.cy == n.cy);
        if (!known)
            list.push_back(n);
    }
    return list;
}

}  // namespace

TEST(TBToolbar, FloatingSizesListIsTheSameAsTryingEveryWidth)
{
    TForm owner(nullptr);
    for (int shape = 0; shape < 3; ++shape) {
        TTBToolbar t(&owner);
        for (int i = 0; i < 14; ++i) {
            auto* it = new TTBItem(&owner);
            it->SetCaption(std::string(static_cast<size_t>(1 + (i * 7) % 9), 'W'));
            t.Items()->Add(it);
            if (shape >= 1 && i % 4 == 3)
                t.Items()->Add(new TTBSeparatorItem(&owner));
        }
        if (shape == 2) {
            auto* wide = new TTBItem(&owner);
            wide->SetCaption("A very wide item that is wider than the rest");
            t.Items()->Insert(3, wide);
        }
        std::vector<SIZE> fast;
        t.BuildPotentialSizesList(fast);
        std::vector<SIZE> every = EveryWidth(t);
        ASSERT_EQ(every.size(), fast.size()) << "shape " << shape;
        for (size_t i = 0; i < every.size(); ++i) {
            EXPECT_EQ(every[i].cx, fast[i].cx) << "shape " << shape << " size " << i;
            EXPECT_EQ(every[i].cy, fast[i].cy) << "shape " << shape << " size " << i;
        }
        EXPECT_GT(fast.size(), 3u);
    }
}

// --- idle action updates ---

TEST(TBToolbar, IdleUpdatesTheActionsOfVisibleItemsOnly)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f;
    auto* loose = new TAction(&f);   // in no action list: only the toolbar updates it
    int updates = 0;
    loose->OnUpdate = [&](TObject*) { ++updates; };
    auto* item = new TTBItem(&f);
    item->SetAction(loose);
    f.toolbar->Items()->Add(item);
    f.ShowNow();
    updates = 0;
    Application().Idle();
    EXPECT_EQ(1, updates);
    f.toolbar->SetUpdateActions(false);
    Application().Idle();
    EXPECT_EQ(1, updates);
    f.toolbar->SetUpdateActions(true);
    f.toolbar->Hide();
    Application().Idle();
    EXPECT_EQ(1, updates);
}

// A disabled item repainted on its own (its action disabled, the mouse over
// it) lies on the face colour with embossed text: on the toolbar, text-only
// and with an image, and in a popup menu.
TEST(TBToolbar, DisabledItemsRepaintOnTheFaceColour)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f(900, 300);
    SetToolbarCaptionPlacement(f.toolbar, 1);
    f.actionsByName["EditFolder"]->SetImageIndex(-1);
    f.ShowNow();
    f.actionsByName["EditFolder"]->SetEnabled(false);
    f.actionsByName["DeleteFolder"]->SetEnabled(false);
    f.actionsByName["Stop"]->SetEnabled(false);
    Application().Idle();
    Pump(100);
    // Inside the item: no black, mostly its background, ink for the text.
    auto check = [](const Shot& s, RECT r, COLORREF back, COLORREF inkColor, const char* what) {
        int black = 0, backs = 0, ink = 0;
        for (int y = r.top + 2; y < r.bottom - 2; ++y)
            for (int x = r.left + 2; x < r.right - 2; ++x) {
                COLORREF c = s.At(x, y);
                black += c == RGB(0, 0, 0);
                backs += c == back;
                ink += c == inkColor;
            }
        int area = (r.right - r.left - 4) * (r.bottom - r.top - 4);
        EXPECT_EQ(0, black) << what;
        EXPECT_GT(backs, area / 2) << what;
        EXPECT_GT(ink, 15) << what;
    };
    HWND h = f.toolbar->Handle();
    TTBToolbarView* view = f.toolbar->View();
    TTBItemViewer* edit = view->Find(f.items["EditFolder"]);
    TTBItemViewer* del = view->Find(f.items["DeleteFolder"]);
    TTBItemViewer* service = view->Find(f.service);
    const COLORREF face = GetSysColor(COLOR_BTNFACE), shadow = GetSysColor(COLOR_BTNSHADOW);
    check(Shot(h), edit->BoundsRect, face, shadow, "text only");
    check(Shot(h), del->BoundsRect, face, shadow, "with an image");
    Drive([&] {
        SendInputPumping(MouseMoveTo(ScreenCenterOf(edit)), 150);
        check(Shot(h), edit->BoundsRect, face, shadow, "text only, under the mouse");
        TTBPopupWindow* w = ClickForPopup(service);
        ASSERT_NE(nullptr, w);
        HWND popup = w->Handle();
        TTBItemViewer* stop = w->View()->Find(f.items["Stop"]);
        ASSERT_NE(nullptr, stop);
        // Under the mouse a disabled row is highlighted, its text grey.
        // A move Wine merges with an earlier one may not reach the popup:
        // the mouse comes in again from a pixel away.
        const POINT centre = ScreenCenterOf(stop);
        bool selected = false;
        for (int i = 0; i < 4 && !selected; ++i) {
            SendInputPumping(MouseMoveTo(POINT{centre.x + (i % 2 ? 3 : 0), centre.y}), 0);
            selected = WaitFor([&] { return w->View()->Selected() == stop; }, 5000);
        }
        ASSERT_TRUE(selected) << "the row under the mouse was not selected in 4 tries of 5 s";
        Sleep(100);
        COLORREF highlight = GetSysColor(AreFlatMenusEnabled() ? COLOR_MENUHILIGHT : COLOR_HIGHLIGHT);
        check(Shot(popup), stop->BoundsRect, highlight, GetSysColor(COLOR_GRAYTEXT), "a popup's row, selected");
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 0);
        SendInputPumping({KeyInput(VK_ESCAPE, false), KeyInput(VK_ESCAPE, true)}, 0);
        WaitFor([] { return VisiblePopupWindows().empty(); });
    });
}

// --- hints ---

// One jump of the mouse onto a button puts that button's hint in the
// status bar (the application's hint), not the one it came from. Messages
// go through the application's loop, as in the program.
TEST(TBToolbar, TheStatusBarHintFollowsASingleJumpOfTheMouse)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    TMainShapeForm f(640, 240);
    f.actionsByName["Refresh"]->SetHint("Refresh|Reads every folder again");
    f.actionsByName["AddFolder"]->SetHint("Add|Adds a folder to the list");
    f.actionsByName["Settings"]->SetHint("Settings|Changes the settings");
    f.ShowNow();
    auto appPumpUntil = [](const std::function<bool()>& done, DWORD ms) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) {
            Application().ProcessMessages();
            if (done())
                return true;
        }
        return false;
    };
    auto jump = [&](POINT to) {
        std::atomic<bool> sent{false};
        std::thread t([&] {
            std::vector<INPUT> in = MouseMoveTo(to);
            SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
            sent = true;
        });
        appPumpUntil([&] { return sent.load(); }, 5000);
        t.join();
        appPumpUntil([&] {
            POINT at{};
            return GetCursorPos(&at) && at.x == to.x && at.y == to.y;
        }, 20000);   // the hint's own wait below tells
    };
    jump(POINT{1270, 1010});
    appPumpUntil([] { return false; }, 100);
    TTBToolbarView* view = f.toolbar->View();
    for (const char* name : {"Settings", "Refresh", "AddFolder"}) {
        SCOPED_TRACE(name);
        const std::string expected = GetLongHint(f.actionsByName[name]->Hint());
        jump(ScreenCenterOf(view->Find(f.items[name])));
        EXPECT_TRUE(appPumpUntil([&] { return Application().Hint() == expected; }, 20000)) << Application().Hint();
    }
    jump(POINT{1270, 1010});
    appPumpUntil([] { return false; }, 100);
}
