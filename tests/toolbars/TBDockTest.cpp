// Docks and the floating window parent with real windows: the arrangement
// of windows into rows (read from their bounds), the dock's own size and
// pixels, its errors, the caption's hit codes, activation after real clicks
// and the close button's capture loop driven by the real mouse.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TBDrive.h"
#include "TBTestHost.h"
#include "platform/Application.h"
#include "controls/Placement.h"
#include "platform/Firewall.h"
#include "platform/Registry.h"
#include "support/Input.h"
#include "support/TestSupport.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBDockable.h"
#include "toolbars/TBFloatParent.h"

using namespace testing_support;

namespace {

using tb_test::Drive;

// A window with a content size set by the test. A chevron window keeps its
// height at any length; a wrapping one adds a line for every length it
// lacks. onCalc runs at every size query.
class SizedBar : public TTBCustomDockableWindow {
public:
    explicit SizedBar(TComponent* owner) : TTBCustomDockableWindow(owner) {}
    SIZE CalcBaseSize(TTBDockType type) override
    {
        if (onCalc)
            onCalc();
        SIZE s = type == dtLeftRight ? SIZE{content.cy, content.cx} : content;
        int limit = DockedLengthLimit();
        LONG& along = type == dtLeftRight ? s.cy : s.cx;
        LONG& across = type == dtLeftRight ? s.cx : s.cy;
        if (limit > 0 && limit < along) {
            if (shrink == tbsmWrap)
                across *= (along + limit - 1) / limit;
            along = limit;
        }
        return s;
    }
    int GetMinShrinkSize() override { return minShrink; }
    TTBShrinkMode GetShrinkMode() const override { return shrink; }
    void AddControlStyle(unsigned style) { controlStyle_ |= style; }
    void WndProc(TMessage& m) override
    {
        if (m.Msg == WM_SYSCOMMAND && onSysCommand) {
            m.Result = onSysCommand();
            return;
        }
        TTBCustomDockableWindow::WndProc(m);
    }

    SIZE content{60, 22};
    TTBShrinkMode shrink = tbsmNone;
    int minShrink = 0;
    std::function<void()> onCalc;
    std::function<LRESULT()> onSysCommand;
};

class DockForm : public TForm {
public:
    DockForm() : TForm(nullptr)
    {
        SetBounds(150, 120, 520, 360);
        top = MakeDock(dpTop);
        bottom = MakeDock(dpBottom);
        left = MakeDock(dpLeft);
        right = MakeDock(dpRight);
        Show();
        SetForegroundWindow(Handle());
        Pump(50);
    }
    TTBDock* MakeDock(TTBDockPosition position)
    {
        auto* d = new TTBDock(this);
        d->SetPosition(position);
        d->SetAllowDrag(false);   // no drag handles: a window is its content plus 2 on each side
        d->SetParent(this);
        return d;
    }
    SizedBar* AddBar(TTBDock* dock, int row, int pos, SIZE content = SIZE{60, 22})
    {
        auto* b = new SizedBar(this);
        b->content = content;
        b->SetDockRow(row);
        b->SetDockPos(pos);
        b->SetParent(dock);
        dock->ChangeDockList(true, b);
        dock->ArrangeToolbars();
        return b;
    }
    void WndProc(TMessage& m) override
    {
        if (m.Msg == WM_NCACTIVATE)
            lastNcActivate = m.WParam;
        if (m.Msg == WM_APP + 7 && onApp) {
            onApp();
            return;
        }
        TForm::WndProc(m);
    }
    std::function<void()> onApp;
    WPARAM lastNcActivate = 0;
    TTBDock *top, *bottom, *left, *right;
};

int ClientHeight(TWinControl& c)
{
    RECT r;
    GetClientRect(c.Handle(), &r);
    return r.bottom;
}

// The drawn colour of a window pixel (window coordinates).
COLORREF WindowPixel(HWND h, int x, int y)
{
    HDC dc = GetWindowDC(h);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(h, dc);
    return c;
}

}  // namespace

TEST(TBDock, EmptyTopDockIsZeroHighAndOneWithFixAlign)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    EXPECT_EQ(0, f.top->Height());
    f.top->SetFixAlign(true);
    EXPECT_EQ(1, f.top->Height());
    SizedBar* b = f.AddBar(f.top, 0, 0);
    EXPECT_EQ(26, f.top->Height());
    b->Hide();
    f.top->ToolbarVisibilityChanged(b, false);
    EXPECT_EQ(1, f.top->Height());
    f.top->SetFixAlign(false);
    EXPECT_EQ(0, f.top->Height());
}

TEST(TBDock, GrowingBottomDockKeepsItsBottomEdge)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    const int formBottom = ClientHeight(f);
    f.AddBar(f.bottom, 0, 0);
    EXPECT_EQ(formBottom - 26, f.bottom->Top());
    EXPECT_EQ(formBottom, f.bottom->Top() + f.bottom->Height());
    f.AddBar(f.bottom, 1, 0, SIZE{60, 30});
    EXPECT_EQ(26 + 34, f.bottom->Height());
    EXPECT_EQ(formBottom, f.bottom->Top() + f.bottom->Height());
    // The side docks end where the bottom dock starts.
    EXPECT_EQ(f.bottom->Top(), f.left->Top() + f.left->Height());
    // A right dock grows to the left.
    const int formRight = f.right->Left() + f.right->Width();
    f.AddBar(f.right, 0, 0);
    EXPECT_EQ(26, f.right->Width());
    EXPECT_EQ(formRight, f.right->Left() + f.right->Width());
}

TEST(TBDock, OverlappingPositionsInOneRowGoSideBySideInPositionOrder)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    SizedBar* a = f.AddBar(f.top, 0, 30);
    SizedBar* b = f.AddBar(f.top, 0, 10);
    SizedBar* c = f.AddBar(f.top, 0, 40);
    // b wants 10, a 30 and c 40: each starts where the one before ends.
    EXPECT_EQ(10, b->Left());
    EXPECT_EQ(74, a->Left());
    EXPECT_EQ(138, c->Left());
    for (SizedBar* x : {a, b, c}) {
        EXPECT_EQ(0, x->Top());
        EXPECT_EQ(0, x->EffectiveDockRow());
        EXPECT_EQ(64, x->Width());
    }
    EXPECT_EQ(26, f.top->Height());
}

TEST(TBDock, LimitToOneRowKeepsEveryWindowInRowZero)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    SizedBar* a = f.AddBar(f.top, 0, 0);
    SizedBar* b = f.AddBar(f.top, 1, 0);
    SizedBar* c = f.AddBar(f.top, 2, 0);
    EXPECT_EQ(78, f.top->Height());
    f.top->SetLimitToOneRow(true);
    for (SizedBar* x : {a, b, c}) {
        EXPECT_EQ(0, x->EffectiveDockRow());
        EXPECT_EQ(0, x->Top());
    }
    EXPECT_EQ(26, f.top->Height());
    EXPECT_EQ(0, a->Left());
    EXPECT_EQ(64, b->Left());
    EXPECT_EQ(128, c->Left());
}

TEST(TBDock, RowNumbersCloseUp)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    SizedBar* a = f.AddBar(f.top, 0, 0);
    SizedBar* b = f.AddBar(f.top, 5, 0);
    EXPECT_EQ(0, a->EffectiveDockRow());
    EXPECT_EQ(1, b->EffectiveDockRow());
    EXPECT_EQ(26, b->Top());
    EXPECT_EQ(52, f.top->Height());
    bool full = false;
    EXPECT_EQ(26, f.top->GetRowSize(1, full));
    EXPECT_EQ(1, f.top->GetHighestRow());
    EXPECT_EQ(1, f.top->GetRowOf(30));
    EXPECT_EQ(2, f.top->GetRowOf(60));
}

TEST(TBDock, WindowsThatDoNotFitWrapAndFullSizeTakesARowOfItsOwn)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    const int length = f.top->Width();
    SizedBar* a = f.AddBar(f.top, 0, 0, SIZE{length / 2, 22});
    SizedBar* b = f.AddBar(f.top, 0, 10, SIZE{length / 2, 22});
    // Two halves plus their frames do not fit: the second wraps.
    EXPECT_EQ(0, a->EffectiveDockRow());
    EXPECT_EQ(1, b->EffectiveDockRow());
    EXPECT_EQ(26, b->Top());
    SizedBar* c = f.AddBar(f.top, 0, 0);
    c->SetFullSize(true);
    f.top->ArrangeToolbars();
    EXPECT_EQ(length, c->Width());
    EXPECT_NE(c->EffectiveDockRow(), a->EffectiveDockRow());
}

TEST(TBDock, StoredPositionBeyondTheRowEndsInsideItAndBelowZeroCountsAsZero)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    const int length = f.top->Width();
    SizedBar* beyond = f.AddBar(f.top, 0, 5000);
    EXPECT_EQ(length, beyond->Left() + beyond->Width());
    SizedBar* before = f.AddBar(f.top, 0, 100);
    EXPECT_EQ(100, before->Left());
    EXPECT_EQ(length, beyond->Left() + beyond->Width());
    SizedBar* negative = f.AddBar(f.top, 0, -4);
    EXPECT_EQ(0, negative->Left());
    EXPECT_EQ(100, before->Left());
    // The same along a left dock.
    const int height = f.left->Height();
    SizedBar* low = f.AddBar(f.left, 0, 99999);
    EXPECT_EQ(height, low->Top() + low->Height());
}

TEST(TBDock, APlaceRestoredFromTheRegistryStaysInsideTheDocks)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    static const char key[] = "Software\\Zembrik\\BrenixTest\\DockStore";
    TRegistry().DeleteKey(key);
    struct Cleanup {
        ~Cleanup() { TRegistry().DeleteKey(key); }
    } cleanup;
    DockForm f;
    f.SetName("DockStoreForm");
    f.top->SetName("TopDock");
    f.left->SetName("LeftDock");
    SizedBar* bar = f.AddBar(f.top, 0, 20);
    bar->SetName("MainTBToolbar");
    bar->SetDockMode(dmCannotFloat);
    f.AddBar(f.top, 0, 200)->SetName("OtherBar");
    auto* storage = new TFormStorage(&f);
    storage->BeginLoading();
    storage->SetUseRegistry(true);
    storage->SetIniFileName(key);
    storage->SetIniSection("Main");
    storage->SetOptions(0);
    for (const char* line : {"MainTBToolbar.CurrentDock", "MainTBToolbar.DockPos", "MainTBToolbar.DockRow"})
        storage->StoredProps().Add(line);
    storage->EndLoading();
    storage->SaveProperties();
    auto write = [&](const char* name, const char* value) {
        TRegistry r;
        ASSERT_TRUE(r.OpenKey(std::string(key) + "\\Main", true));
        r.WriteString(name, value);
    };
    {
        TRegistry r(HKEY_CURRENT_USER, KEY_READ);
        std::string dock;
        ASSERT_TRUE(r.OpenKeyReadOnly(std::string(key) + "\\Main"));
        ASSERT_TRUE(r.TryReadString("MainTBToolbar_CurrentDock", dock));
        EXPECT_EQ("TopDock", dock);
    }
    // Hostile values: a dock name that is another toolbar, a position far
    // beyond the row, a row that does not exist.
    write("MainTBToolbar_CurrentDock", "OtherBar");
    write("MainTBToolbar_DockPos", "99999");
    write("MainTBToolbar_DockRow", "3");
    storage->RestoreProperties();
    EXPECT_EQ(f.top, bar->CurrentDock());
    EXPECT_EQ(f.top->Width(), bar->Left() + bar->Width());
    EXPECT_EQ(1, bar->EffectiveDockRow());
    EXPECT_TRUE(IsWindowVisible(bar->Handle()));
    // The form's own -4 in another dock: the start of its row.
    write("MainTBToolbar_CurrentDock", "LeftDock");
    write("MainTBToolbar_DockPos", "-4");
    write("MainTBToolbar_DockRow", "0");
    storage->RestoreProperties();
    EXPECT_EQ(f.left, bar->CurrentDock());
    EXPECT_EQ(0, bar->Top());
    EXPECT_EQ(0, bar->Left());
}

TEST(TBDock, ShrinkingStopsWhenNothingCanShrink)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    f.top->SetLimitToOneRow(true);
    const int length = f.top->Width();
    // A chevron window gives way down to its minimum, a plain one never.
    SizedBar* plain = f.AddBar(f.top, 0, 0, SIZE{length - 100, 22});
    SizedBar* chevron = f.AddBar(f.top, 0, 0, SIZE{200, 22});
    chevron->shrink = tbsmChevron;
    chevron->minShrink = 60;
    f.top->ArrangeToolbars();
    EXPECT_EQ(length - 96, plain->Width());
    EXPECT_EQ(96, chevron->Width());
    EXPECT_EQ(92, chevron->DockedLengthLimit());
    // Too long for anything to help: the arrangement ends with the chevron
    // window at its minimum and the plain one as it is.
    plain->content.cx = length;
    f.top->ArrangeToolbars();
    EXPECT_EQ(60, chevron->Width());
    EXPECT_EQ(length + 4, plain->Width());
    // A wrapping window alone in its row wraps to the row's length.
    f.top->SetLimitToOneRow(false);
    SizedBar* wrap = f.AddBar(f.bottom, 0, 0, SIZE{length * 2, 22});
    wrap->shrink = tbsmWrap;
    wrap->minShrink = 40;
    f.bottom->ArrangeToolbars();
    EXPECT_EQ(length, wrap->Width());
    EXPECT_EQ(3 * 22 + 4, wrap->Height());
}

TEST(TBDock, ArrangementAskedForDuringOneRunsOnceMore)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    SizedBar* b = f.AddBar(f.top, 0, 0);
    int calls = 0;
    b->onCalc = [&] {
        ++calls;
        f.top->ArrangeToolbars();   // asks again every time it is measured
    };
    b->content.cy = 30;
    f.top->ArrangeToolbars();
    EXPECT_EQ(2, f.top->LastArrangePasses());
    EXPECT_EQ(34, f.top->Height());
    EXPECT_LE(calls, 4);
    b->onCalc = nullptr;
    f.top->ArrangeToolbars();
    EXPECT_EQ(1, f.top->LastArrangePasses());
    // Held arrangements run once when the hold ends.
    f.top->BeginUpdate();
    b->content.cy = 40;
    f.top->ArrangeToolbars();
    EXPECT_EQ(34, f.top->Height());
    f.top->EndUpdate();
    EXPECT_EQ(44, f.top->Height());
}

namespace {

// Horizontal stripes 10 pixels high, red and blue, from the pattern's origin.
class StripeBackground : public TTBBasicBackground {
public:
    using TTBBasicBackground::TTBBasicBackground;
    void Draw(HDC dc, const RECT& rect) override
    {
        for (int y = rect.top - rect.top % 10; y < rect.bottom; y += 10) {
            RECT r = {rect.left, y, rect.right, y + 10};
            HBRUSH b = CreateSolidBrush((y / 10) % 2 ? RGB(255, 0, 0) : RGB(0, 0, 255));
            FillRect(dc, &r, b);
            DeleteObject(b);
        }
    }
    bool UsingBackground() override { return true; }
    void Change() { Changed(); }
};

COLORREF ClientPixel(HWND h, int x, int y)
{
    UpdateWindow(h);
    HDC dc = GetDC(h);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(h, dc);
    return c;
}

}  // namespace

TEST(TBDock, BoundLinesAndABackgroundAlignedWithTheForm)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    SizedBar* bar = f.AddBar(f.top, 0, 0);
    f.top->SetBoundLines(blTop | blBottom);
    EXPECT_EQ(28, f.top->Height());
    EXPECT_EQ(0, bar->Top());
    Pump(50);
    HWND top = f.top->Handle();
    RedrawWindow(top, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), WindowPixel(top, 300, 0));
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), WindowPixel(top, 300, 27));

    // The left dock starts below the top one; its stripes continue the form's.
    SizedBar* standing = f.AddBar(f.left, 0, 0);
    StripeBackground stripes(nullptr);
    f.left->SetBackground(&stripes);
    ASSERT_EQ(28, f.left->Top());
    HWND left = f.left->Handle();
    InvalidateRect(left, nullptr, TRUE);
    EXPECT_EQ(RGB(255, 0, 0), ClientPixel(left, 5, 105));    // form y 133
    EXPECT_EQ(RGB(0, 0, 255), ClientPixel(left, 5, 115));    // form y 143
    // The window in it shows them through its client area too (2 pixels of frame).
    ASSERT_EQ(0, standing->Top());
    EXPECT_EQ(RGB(0, 0, 255), ClientPixel(standing->Handle(), 5, 13));   // form y 43
    EXPECT_EQ(RGB(255, 0, 0), ClientPixel(standing->Handle(), 5, 23));   // form y 53
    int changes = 0;
    stripes.RegisterChanges(&changes, [&] { ++changes; });
    stripes.Change();
    EXPECT_EQ(1, changes);
    stripes.UnregisterChanges(&changes);
    // A background that goes leaves the dock plain.
    f.left->SetBackground(nullptr);
    InvalidateRect(left, nullptr, TRUE);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), ClientPixel(left, 5, 105));
}

TEST(TBDock, PositionCannotChangeWhileTheDockHoldsControls)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    f.AddBar(f.top, 0, 0);
    try {
        f.top->SetPosition(dpBottom);
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ("Cannot change Position of a TTBDock if it already contains controls", e.what());
    }
    EXPECT_EQ(dpTop, f.top->Position());
    EXPECT_EQ(TAlign::alTop, f.top->Align());
    // An empty dock moves to another edge.
    f.left->SetPosition(dpBottom);
    EXPECT_EQ(TAlign::alBottom, f.left->Align());
    // A dock inside a dock or a dockable window is refused.
    auto* inner = new TTBDock(&f);
    try {
        inner->SetParent(f.top);
        FAIL() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ("A TTBDock control cannot be placed inside a tool window or another TTBDock", e.what());
    }
    EXPECT_THROW(inner->SetParent(new SizedBar(&f)), EInvalidOperation);
    EXPECT_EQ(nullptr, inner->Parent());
}

TEST(TBDock, DockChangeEventsInTheirOrderTheHiddenOneWhileTheWindowIsOutOfSight)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    SizedBar* bar = f.AddBar(f.top, 0, 0);
    std::vector<std::string> seen;
    auto shown = [&] { return IsWindowVisible(bar->Handle()) ? " shown" : " unseen"; };
    bar->OnDockChanging = [&](TObject*, bool floating, TTBDock* to) {
        seen.push_back(std::string("changing") + (to == f.left && !floating ? " left" : "") + shown());
    };
    bar->OnDockChangingHidden = [&](TObject*, bool floating, TTBDock* to) {
        seen.push_back(std::string("hidden") + (to == f.left && !floating ? " left" : "") + shown());
    };
    bar->OnDockChanged = [&](TObject*) { seen.push_back(std::string("changed") + shown()); };
    bar->SetCurrentDock(f.left);
    EXPECT_EQ((std::vector<std::string>{"changing left shown", "hidden left unseen", "changed shown"}), seen);
    EXPECT_EQ(f.left, bar->CurrentDock());
}

TEST(TBDock, InsertRemoveEventAndRelays)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    std::vector<std::pair<bool, TTBCustomDockableWindow*>> events;
    f.top->OnInsertRemoveBar = [&](TObject*, bool inserting, TTBCustomDockableWindow* bar) {
        events.emplace_back(inserting, bar);
    };
    SizedBar* plain = f.AddBar(f.top, 0, 0);
    SizedBar* menu = f.AddBar(f.top, 0, 100);
    ASSERT_GE(events.size(), 2u);
    EXPECT_TRUE(events.front().first);
    EXPECT_EQ(plain, events.front().second);
    // Menu commands go to the docked toolbars that take them.
    std::vector<SizedBar*> asked;
    auto answer = [&](SizedBar* bar, LRESULT result) {
        bar->onSysCommand = [&asked, bar, result] {
            asked.push_back(bar);
            return result;
        };
    };
    answer(plain, 5);
    answer(menu, 9);
    // (A command no window procedure knows, so that nothing else happens.)
    const WPARAM command = 0xF1F0;
    EXPECT_EQ(0, SendMessageW(f.top->Handle(), WM_SYSCOMMAND, command, 0));
    EXPECT_TRUE(asked.empty());
    menu->AddControlStyle(csMenuEvents);
    EXPECT_EQ(9, SendMessageW(f.top->Handle(), WM_SYSCOMMAND, command, 0));
    EXPECT_EQ(std::vector<SizedBar*>{menu}, asked);
    events.clear();
    menu->Hide();
    f.top->ToolbarVisibilityChanged(menu, false);
    ASSERT_EQ(1u, events.size());
    EXPECT_FALSE(events[0].first);
}

// --- the floating window parent ---

namespace {

INPUT MouseAt(POINT screen, DWORD flags)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((screen.x * 65536 + cx / 2) / cx);
    in.mi.dy = static_cast<LONG>((screen.y * 65536 + cy / 2) / cy);
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return in;
}

void Send(std::vector<INPUT> inputs)
{
    for (INPUT& in : inputs) {
        SendInput(1, &in, sizeof(INPUT));
        Sleep(20);
    }
}

// Moves the mouse there until it stays (a moved cursor can jump back to
// its old place a few milliseconds later).
void MoveTo(POINT p)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        Send({MouseAt(p, 0)});
        bool stayed = true;
        for (int look = 0; look < 6 && stayed; ++look) {
            Sleep(25);
            POINT c;
            GetCursorPos(&c);
            stayed = c.x == p.x && c.y == p.y;
        }
        if (stayed)
            return;
    }
}

// A floating toolbar of the form.
struct Floating {
    explicit Floating(DockForm& f)
    {
        bar = new SizedBar(&f);
        bar->content = SIZE{120, 40};
        bar->SetCaption("Floating");
        bar->SetParent(&f);
        bar->SetFloatingPosition(POINT{f.Left() + 200, f.Top() + 120});
        bar->SetFloating(true);
        parent = bar->FloatingWindowParent();
        Pump(100);
    }
    ~Floating() { delete bar; }
    RECT Window() const
    {
        RECT r;
        GetWindowRect(parent->Handle(), &r);
        return r;
    }
    POINT ScreenOf(RECT windowRelative) const
    {
        RECT w = Window();
        return POINT{w.left + (windowRelative.left + windowRelative.right) / 2,
                     w.top + (windowRelative.top + windowRelative.bottom) / 2};
    }
    SizedBar* bar;
    TTBFloatingWindowParent* parent;
};

LRESULT HitAt(HWND h, int x, int y)
{
    RECT w;
    GetWindowRect(h, &w);
    return SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(w.left + x, w.top + y));
}

}  // namespace

TEST(TBFloatingWindowParent, FrameCaptionAndHitCodes)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    Floating fl(f);
    HWND h = fl.parent->Handle();
    EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(GetWindowLongW(h, GWL_STYLE) & WS_THICKFRAME);
    const int frame = GetSystemMetrics(SM_CXFRAME), caption = GetSystemMetrics(SM_CYSMCAPTION);
    // The client area lies inside the sizing frame, below the small caption.
    POINT origin = {0, 0};
    ClientToScreen(h, &origin);
    RECT w = fl.Window();
    EXPECT_EQ(frame, origin.x - w.left);
    EXPECT_EQ(frame + caption, origin.y - w.top);
    const int width = w.right - w.left, height = w.bottom - w.top;
    RECT cap = fl.parent->CaptionRect();
    EXPECT_EQ(caption - 1, cap.bottom - cap.top);
    EXPECT_EQ(120, cap.right - cap.left);
    RECT close = fl.parent->CloseButtonRect();
    EXPECT_EQ(cap.right, close.right);
    EXPECT_EQ(close.bottom - close.top, close.right - close.left);

    EXPECT_EQ(HTTB_CAPTION, HitAt(h, frame + 5, frame + 3));
    EXPECT_EQ(HTTB_CLOSE, HitAt(h, close.left + 3, close.top + 3));
    EXPECT_EQ(HTCLIENT, HitAt(h, width / 2, height - frame - 5));
    EXPECT_EQ(HTLEFT, HitAt(h, 0, height / 2));
    EXPECT_EQ(HTRIGHT, HitAt(h, width - 1, height / 2));
    EXPECT_EQ(HTBOTTOM, HitAt(h, width / 2, height - 1));
    EXPECT_EQ(HTTOP, HitAt(h, width / 2, 0));
    // The corners reach the border width plus the caption height less one.
    EXPECT_EQ(HTTOPLEFT, HitAt(h, 0, frame + caption - 2));
    EXPECT_EQ(HTLEFT, HitAt(h, 0, frame + caption - 1));
    EXPECT_EQ(HTBOTTOMRIGHT, HitAt(h, width - (frame + caption - 2), height - 1));
    // Without a close button the whole caption moves; without a caption
    // and sizing there is only the border.
    fl.bar->SetCloseButton(false);
    EXPECT_EQ(HTTB_CAPTION, HitAt(h, close.left + 3, close.top + 3));
    fl.bar->SetResizable(false);
    fl.parent->RecalcNCArea();
    EXPECT_FALSE(GetWindowLongW(h, GWL_STYLE) & WS_THICKFRAME);
    EXPECT_EQ(HTBORDER, HitAt(h, 0, 30));
    // The frame's outer edge is raised: its top-left is the light colour.
    EXPECT_EQ(GetSysColor(COLOR_3DLIGHT), WindowPixel(h, 0, 0));
}

TEST(TBFloatingWindowParent, ClickingAFloatingToolbarLeavesTheMainFormActive)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    Floating fl(f);
    SetForegroundWindow(f.Handle());
    Pump(100);
    ASSERT_EQ(f.Handle(), GetActiveWindow());
    POINT client = {10, 10};
    ClientToScreen(fl.bar->Handle(), &client);
    ASSERT_TRUE(SendInputPumping(MouseClickAt(client)));
    EXPECT_EQ(f.Handle(), GetActiveWindow());
    EXPECT_EQ(f.Handle(), GetForegroundWindow());
    EXPECT_TRUE(IsWindowVisible(fl.parent->Handle()));
    // Also a click on its caption, with another window activated first: the
    // owning form comes back to the front and the floating window stays on it.
    ASSERT_TRUE(SendInputPumping(MouseClickAt(fl.ScreenOf(fl.parent->CaptionRect()))));
    EXPECT_EQ(f.Handle(), GetActiveWindow());
    EXPECT_NE(fl.parent->Handle(), GetActiveWindow());
    POINT probe = {20, 20};
    ClientToScreen(fl.bar->Handle(), &probe);
    EXPECT_EQ(fl.parent->Handle(), GetAncestor(WindowFromPoint(probe), GA_ROOT));
    // Activated from another window, the floating window hands the
    // activation to its form; from its own form it keeps it (a control on
    // the toolbar was chosen).
    TForm other(nullptr);
    other.SetBounds(700, 500, 200, 150);
    other.Show();
    Pump(50);
    ASSERT_EQ(other.Handle(), GetActiveWindow());
    SetActiveWindow(fl.parent->Handle());
    Pump(100);
    EXPECT_EQ(f.Handle(), GetActiveWindow());
    SetActiveWindow(fl.parent->Handle());
    Pump(100);
    EXPECT_EQ(fl.parent->Handle(), GetActiveWindow());
    // Its form's caption still looks active.
    EXPECT_EQ(TRUE, f.lastNcActivate);
    // Hidden, it passes the activation to a visible window of the thread.
    fl.parent->SetShouldShow(false);
    SetActiveWindow(other.Handle());
    Pump(50);
    ASSERT_FALSE(IsWindowVisible(fl.parent->Handle()));
    SetActiveWindow(fl.parent->Handle());
    Pump(100);
    EXPECT_NE(fl.parent->Handle(), GetActiveWindow());
    EXPECT_TRUE(IsWindowVisible(GetActiveWindow()));
}

TEST(TBFloatingWindowParent, CloseButtonClosesOnlyWhenReleasedOverIt)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    Floating fl(f);
    int closeQueries = 0;
    fl.bar->OnCloseQuery = [&](TObject*, bool&) { ++closeQueries; };
    TGuiCall gui;
    POINT button = fl.ScreenOf(fl.parent->CloseButtonRect());
    POINT away = {button.x - 60, button.y + 40};
    bool pushedOver = false, pushedAway = true, pushedBack = false;
    Drive([&] {
        MoveTo(button);
        Send({MouseAt(button, MOUSEEVENTF_LEFTDOWN)});
        Sleep(100);
        gui.Run([&] { pushedOver = fl.parent->CloseButtonDown(); });
        MoveTo(away);
        gui.Run([&] { pushedAway = fl.parent->CloseButtonDown(); });
        MoveTo(button);
        gui.Run([&] { pushedBack = fl.parent->CloseButtonDown(); });
        MoveTo(away);
        Send({MouseAt(away, MOUSEEVENTF_LEFTUP)});
    });
    EXPECT_TRUE(pushedOver);
    EXPECT_FALSE(pushedAway);
    EXPECT_TRUE(pushedBack);
    EXPECT_FALSE(fl.parent->CloseButtonDown());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_EQ(0, closeQueries);
    EXPECT_TRUE(fl.bar->Visible());
    Drive([&] {
        MoveTo(button);
        Send({MouseAt(button, MOUSEEVENTF_LEFTDOWN), MouseAt(button, MOUSEEVENTF_LEFTUP)});
    });
    EXPECT_EQ(1, closeQueries);
    EXPECT_FALSE(fl.bar->Visible());
    EXPECT_EQ(f.Handle(), GetActiveWindow());
}

// --- the capture loop of a button press ---

TEST(TBButtonPress, AMessageThatFreesTheControlEndsTheLoopWithoutTouchingIt)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    auto* panel = new TWinControl(&f);
    panel->SetParent(&f);
    panel->SetBounds(200, 150, 80, 40);
    Pump(50);
    bool freed = false, redrawAfterFree = false, returned = false, result = true;
    int redraws = 0, nesting = 0;
    panel->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
        RECT r;
        GetWindowRect(panel->Handle(), &r);
        result = TrackButtonPress(*panel, r, [&](bool) {
            ++redraws;
            nesting = Application().NestingDepth();
            if (freed)
                redrawAfterFree = true;
        });
        returned = true;
    };
    f.onApp = [&] {
        delete panel;
        freed = true;
    };
    POINT p = panel->ClientToScreen(POINT{20, 20});
    HWND form = f.Handle();
    Drive([&] {
        MoveTo(p);
        Send({MouseAt(p, MOUSEEVENTF_LEFTDOWN)});
        Sleep(100);
        PostMessageW(form, WM_APP + 7, 0, 0);
        Sleep(100);
        Send({MouseAt(p, MOUSEEVENTF_LEFTUP)});
    });
    EXPECT_TRUE(freed);
    EXPECT_TRUE(returned);
    EXPECT_FALSE(result);
    EXPECT_EQ(1, redraws);
    EXPECT_GT(nesting, 0);
    EXPECT_FALSE(redrawAfterFree);
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_EQ(0, Application().NestingDepth());
}

TEST(TBButtonPress, QuitKeysAndErrorsEndTheLoopCleanly)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    DockForm f;
    auto* panel = new TWinControl(&f);
    panel->SetParent(&f);
    panel->SetBounds(10, 150, 80, 40);
    Pump(50);
    RECT r;
    GetWindowRect(panel->Handle(), &r);
    int keys = 0;
    panel->OnKeyDown = [&](TObject*, WORD&, TShiftState) { ++keys; };
    std::vector<bool> redraws;
    // Keys are swallowed; WM_QUIT ends the loop and is posted again.
    PostMessageW(panel->Handle(), WM_KEYDOWN, 'A', 0);
    PostQuitMessage(7);
    EXPECT_FALSE(TrackButtonPress(*panel, r, [&](bool inside) { redraws.push_back(inside); }));
    EXPECT_EQ((std::vector<bool>{true, false}), redraws);
    EXPECT_EQ(nullptr, GetCapture());
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
    Pump(50);
    EXPECT_EQ(0, keys);
    // An error from the drawing leaves no capture and no nested loop behind.
    EXPECT_THROW(TrackButtonPress(*panel, r, [](bool inside) {
                     if (inside)
                         throw std::runtime_error("paint failed");
                 }),
                 std::runtime_error);
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_EQ(0, Application().NestingDepth());
    // Another button ends it without a result.
    redraws.clear();
    PostMessageW(panel->Handle(), WM_RBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_FALSE(TrackButtonPress(*panel, r, [&](bool inside) { redraws.push_back(inside); }));
    EXPECT_EQ((std::vector<bool>{true, false}), redraws);
}
