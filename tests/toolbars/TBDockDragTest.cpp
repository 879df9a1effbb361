// Drags and sizes of dockable windows with real input: a driver thread
// presses, moves and releases the real mouse with SendInput over a form
// shaped like the main form (docks on its top, left and right edges), and
// looks at the windows through calls run on the GUI thread while that
// thread sits in the drag loop.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "TBMainShape.h"
#include "TBTestHost.h"
#include "platform/Application.h"
#include "support/Input.h"
#include "support/TestSupport.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBDockable.h"
#include "toolbars/TBFloatParent.h"

using namespace testing_support;

namespace {

// A window of fixed content size: 80 x 22 lying, 22 x 80 standing.
class TestBar : public TTBCustomDockableWindow {
public:
    explicit TestBar(TComponent* owner) : TTBCustomDockableWindow(owner) { SetBounds(0, 0, 90, 26); }
    SIZE CalcBaseSize(TTBDockType type) override
    {
        return type == dtLeftRight ? SIZE{22, 80} : SIZE{80, 22};
    }
    void GetMinMaxSize(SIZE& minSize, SIZE& maxSize) override
    {
        minSize = SIZE{40, 22};
        maxSize = SIZE{0, 0};
    }
};

class DockForm : public TForm {
public:
    DockForm() : TForm(nullptr)
    {
        SetBounds(120, 110, 640, 420);
        top = MakeDock(dpTop, "TopDock");
        left = MakeDock(dpLeft, "LeftDock");
        right = MakeDock(dpRight, "RightDock");
    }
    TTBDock* MakeDock(TTBDockPosition pos, const char* name)
    {
        auto* d = new TTBDock(this);
        d->SetName(name);
        d->SetPosition(pos);
        d->SetParent(this);
        return d;
    }
    TestBar* AddBar(TTBDock* dock, int row, int pos, const char* name)
    {
        auto* b = new TestBar(this);
        b->SetName(name);
        b->SetDockRow(row);
        b->SetDockPos(pos);
        b->SetParent(dock);
        return b;
    }
    void ShowAndFocus()
    {
        Show();
        SetForegroundWindow(Handle());
        ::SetFocus(Handle());
        Pump(150);
    }
    TTBDock *top, *left, *right;
};

INPUT MouseAt(POINT p, DWORD flags)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((p.x * 65536 + cx / 2) / cx);
    in.mi.dy = static_cast<LONG>((p.y * 65536 + cy / 2) / cy);
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return in;
}

// Drives a drag from another thread while this one pumps.
class Driver {
public:
    void Run(const std::function<void(Driver&)>& script)
    {
        std::atomic<bool> done{false};
        std::thread t([&] {
            script(*this);
            done = true;
        });
        // WM_QUIT met here is counted, not acted on.
        DWORD start = GetTickCount();
        while (!done && GetTickCount() - start < 60000) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quitCode = static_cast<int>(msg.wParam);
                    continue;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        t.join();
        Pump(50);
    }
    int quitCode = -1;
    template <class F>
    auto Gui(F f) -> decltype(f())
    {
        using R = decltype(f());
        if constexpr (std::is_void_v<R>) {
            EXPECT_TRUE(gui_.Run([&] { f(); }));
        } else {
            R r{};
            EXPECT_TRUE(gui_.Run([&] { r = f(); }));
            return r;
        }
    }
    // Asks again until the answer is the one wanted or 2 s pass: a sent
    // question overtakes input the GUI thread has not handled yet.
    template <class F, class T>
    auto GuiUntil(F f, T want) -> decltype(f())
    {
        auto r = Gui(f);
        for (int i = 0; i < 100 && !(r == want); ++i) {
            Sleep(20);
            r = Gui(f);
        }
        return r;
    }
    void Send(INPUT in)
    {
        SendInput(1, &in, sizeof(INPUT));
        Sleep(20);
    }
    // The mouse moved to p and kept there: right after a program starts, X
    // may still report the pointer where the last program left it and
    // take the move back; it is sent again until it holds.
    void MoveExactly(POINT p)
    {
        for (int i = 0; i < 20; ++i) {
            Send(MouseAt(p, 0));
            Sleep(50);
            POINT at;
            if (GetCursorPos(&at) && at.x == p.x && at.y == p.y)
                return;
        }
    }
    void Press(POINT p)
    {
        Send(MouseAt(p, 0));
        Send(MouseAt(p, MOUSEEVENTF_LEFTDOWN));
        Sleep(60);
    }
    void Release(POINT p)
    {
        Send(MouseAt(p, MOUSEEVENTF_LEFTUP));
        Sleep(80);
    }
    // Moves in steps of about 10 pixels, as a hand would.
    void MoveTo(POINT from, POINT to)
    {
        int steps = std::max<int>(1, std::max<int>(std::abs(to.x - from.x), std::abs(to.y - from.y)) / 10);
        for (int i = 1; i <= steps; ++i)
            Send(MouseAt(POINT{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps}, 0));
        Sleep(60);
    }
    void Key(WORD vk, bool up)
    {
        Send(KeyInput(vk, up));
        Sleep(40);
    }
    // Whether the cursor is that one, waiting (as GuiUntil) for the answer
    // the test expects.
    bool CursorIs(LPCWSTR id, bool expected = true)
    {
        HCURSOR cursor = LoadCursorW(nullptr, id);
        return GuiUntil([&] { return GetCursor() == cursor; }, expected);
    }

private:
    TGuiCall gui_;
};

// The middle of the drag handle of a docked window, on the screen.
POINT HandlePoint(TTBCustomDockableWindow* b)
{
    RECT r;
    GetWindowRect(b->Handle(), &r);
    if (b->CurrentDock() && b->CurrentDock()->IsVertical())
        return POINT{(r.left + r.right) / 2, r.top + 5};
    return POINT{r.left + 5, (r.top + r.bottom) / 2};
}

RECT ScreenRect(HWND h)
{
    RECT r;
    GetWindowRect(h, &r);
    return r;
}

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

// The screen's pixels in a rectangle, for outline checks.
std::vector<DWORD> ScreenPixels(const RECT& r)
{
    int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<DWORD> v(static_cast<size_t>(w) * static_cast<size_t>(h));
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    memcpy(v.data(), bits, v.size() * sizeof(DWORD));
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return v;
}
int Differences(const std::vector<DWORD>& a, const std::vector<DWORD>& b)
{
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
    return n;
}

bool DesktopLockFree()
{
    if (!LockWindowUpdate(GetDesktopWindow()))
        return false;
    LockWindowUpdate(nullptr);
    return true;
}

class DockDragTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        ClearCaughtErrors();
        form = new DockForm;
    }
    void TearDown() override
    {
        delete form;
        Pump(50);
    }
    DockForm* form = nullptr;
    Driver driver;
};

TEST_F(DockDragTest, CannotFloatShowsNoDropCursorAwayFromEveryDockAndReleaseLeavesIt)
{
    TestBar* bar = form->AddBar(form->top, 0, 10, "Main");
    bar->SetDockMode(dmCannotFloat);
    form->ShowAndFocus();
    RECT before = ScreenRect(bar->Handle());
    RECT formRect = ScreenRect(form->Handle());
    POINT start = HandlePoint(bar);
    // Straight down out of the top dock, then along, far from every dock.
    POINT below{start.x, (formRect.top + formRect.bottom) / 2};
    POINT away{(formRect.left + formRect.right) / 2, below.y + 40};
    bool noCursorBelow = false, noCursorAway = false, dragging = false;
    RECT during{};
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, below);
        dragging = d.GuiUntil([&] { return bar->IsDragging(); }, true);
        noCursorBelow = d.CursorIs(IDC_NO);
        d.MoveTo(below, away);
        noCursorAway = d.CursorIs(IDC_NO);
        during = d.Gui([&] { return ScreenRect(bar->Handle()); });
        d.Release(away);
    });
    EXPECT_TRUE(dragging);
    EXPECT_TRUE(noCursorBelow);
    EXPECT_TRUE(noCursorAway);
    EXPECT_TRUE(SameRect(before, during)) << "the window followed the cursor off the docks";
    EXPECT_FALSE(bar->IsDragging());
    EXPECT_FALSE(bar->Floating());
    EXPECT_EQ(bar->FloatingWindowParent(), nullptr);
    EXPECT_EQ(bar->CurrentDock(), form->top);
    EXPECT_TRUE(SameRect(before, ScreenRect(bar->Handle()))) << "the window moved";
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(DockDragTest, MovesAcrossTopLeftAndRightDocksAndFloats)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Main");
    form->AddBar(form->top, 0, 200, "Other");
    form->ShowAndFocus();
    RECT fr = ScreenRect(form->Handle());
    RECT lr = ScreenRect(form->left->Handle());
    RECT rr = ScreenRect(form->right->Handle());
    POINT start = HandlePoint(bar);
    // An empty side dock is a line at the form's edge: the window touches
    // it once it reaches over that edge.
    POINT overLeft{lr.left - 10, (fr.top + fr.bottom) / 2};
    POINT overRight{rr.right - 10, (fr.top + fr.bottom) / 2};
    POINT middle{(fr.left + fr.right) / 2, (fr.top + fr.bottom) / 2 + 40};
    TTBDock *inLeft = nullptr, *inRight = nullptr;
    bool standing = false, floatingInMiddle = false;
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, overLeft);
        inLeft = d.GuiUntil([&] { return bar->CurrentDock(); }, form->left);
        standing = d.GuiUntil([&] { return bar->Height() > bar->Width(); }, true);
        d.MoveTo(overLeft, overRight);
        inRight = d.GuiUntil([&] { return bar->CurrentDock(); }, form->right);
        d.MoveTo(overRight, middle);
        floatingInMiddle = d.GuiUntil([&] { return bar->Floating(); }, true);
        d.Release(middle);
    });
    EXPECT_EQ(inLeft, form->left);
    EXPECT_TRUE(standing) << "a window in a side dock is laid out standing";
    EXPECT_EQ(inRight, form->right);
    EXPECT_TRUE(floatingInMiddle);
    ASSERT_TRUE(bar->Floating());
    EXPECT_EQ(bar->CurrentDock(), nullptr);
    // The docks passed on the way held it only for the drag: the dock to go
    // back to is still the one it sat in.
    EXPECT_EQ(bar->LastDock(), form->top);
    EXPECT_TRUE(form->right->DockList().empty());
    ASSERT_NE(bar->FloatingWindowParent(), nullptr);
    RECT fp = ScreenRect(bar->FloatingWindowParent()->Handle());
    EXPECT_TRUE(PtInRect(&fp, middle)) << "the floating window lies under the cursor";
    // The left dock collapsed again once the window went on.
    EXPECT_EQ(form->left->Width(), 0);
}

TEST_F(DockDragTest, CannotFloatOrChangeDocksOnlySlidesInItsOwnDock)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Ini");
    TestBar* second = form->AddBar(form->top, 1, 0, "Second");
    bar->SetDockMode(dmCannotFloatOrChangeDocks);
    form->ShowAndFocus();
    int row = bar->EffectiveDockRow();
    int leftBefore = bar->Left();
    RECT fr = ScreenRect(form->Handle());
    RECT lr = ScreenRect(form->left->Handle());
    POINT start = HandlePoint(bar);
    POINT down{start.x + 120, start.y + 60};   // over the second row and below the dock
    POINT overLeft{lr.left - 10, (fr.top + fr.bottom) / 2};
    bool sizeWE = false;
    TTBDock* dockOverLeft = nullptr;
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, down);
        sizeWE = d.CursorIs(IDC_SIZEWE);
        d.MoveTo(down, overLeft);
        dockOverLeft = d.Gui([&] { return bar->CurrentDock(); });
        d.MoveTo(overLeft, down);
        d.Release(down);
    });
    EXPECT_TRUE(sizeWE);
    EXPECT_EQ(dockOverLeft, form->top);
    EXPECT_EQ(bar->CurrentDock(), form->top);
    EXPECT_EQ(bar->EffectiveDockRow(), row);
    EXPECT_EQ(second->EffectiveDockRow(), 1);
    EXPECT_EQ(bar->Left(), leftBefore + 120);
    EXPECT_FALSE(bar->Floating());
}

// Windows placed automatically (DockPos -1) stay where they show when a
// drag begins: one dragged over the first of them lands between the two.
TEST_F(DockDragTest, AWindowDraggedAmongWindowsPlacedAutomaticallyLandsWhereTheMouseTookIt)
{
    TestBar* a = form->AddBar(form->top, 0, -1, "A");
    TestBar* b = form->AddBar(form->top, 0, -1, "B");
    TestBar* c = form->AddBar(form->top, 1, 0, "C");
    form->ShowAndFocus();
    ASSERT_EQ(1, c->EffectiveDockRow());
    POINT start = HandlePoint(c);
    POINT up{start.x, start.y - c->Height()};          // into the first row
    POINT along{up.x + a->Width() / 2 + 10, up.y};     // over the second half of A
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, up);
        d.MoveTo(up, along);
        d.Release(along);
    });
    EXPECT_EQ(0, c->EffectiveDockRow());
    EXPECT_LT(a->Left(), c->Left());
    EXPECT_LT(c->Left(), b->Left());
}

TEST_F(DockDragTest, CtrlKeepsTheWindowFloatingOverADock)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    form->AddBar(form->top, 0, 300, "Other");
    bar->SetHideWhenInactive(false);
    form->ShowAndFocus();
    bar->SetFloatingPosition(POINT{400, 360});
    bar->SetFloating(true);
    form->ShowAndFocus();
    ASSERT_TRUE(bar->Floating());
    POINT grip = bar->ClientToScreen(POINT{bar->Width() / 2, bar->Height() / 2});
    RECT tr = ScreenRect(form->top->Handle());
    POINT overTop{tr.left + 150, (tr.top + tr.bottom) / 2};
    bool floatingOverTop = false;
    // Ctrl goes down once the drag runs (under Wine a mouse event from the
    // X server resets a Ctrl sent before the press).
    POINT nearGrip{grip.x + 15, grip.y - 15};
    driver.Run([&](Driver& d) {
        d.Press(grip);
        d.MoveTo(grip, nearGrip);
        d.Key(VK_CONTROL, false);
        d.MoveTo(nearGrip, overTop);
        floatingOverTop = d.GuiUntil([&] { return bar->Floating(); }, true);
        d.Release(overTop);
        d.Key(VK_CONTROL, true);
    });
    EXPECT_TRUE(floatingOverTop);
    EXPECT_TRUE(bar->Floating());
    EXPECT_EQ(bar->CurrentDock(), nullptr);
    // The same move without Ctrl docks it.
    grip = bar->ClientToScreen(POINT{bar->Width() / 2, bar->Height() / 2});
    driver.Run([&](Driver& d) {
        d.Press(grip);
        d.MoveTo(grip, overTop);
        d.Release(overTop);
    });
    EXPECT_FALSE(bar->Floating());
    EXPECT_EQ(bar->CurrentDock(), form->top);
}

TEST_F(DockDragTest, EscapeRestoresThePlaceAndErasesTheOutline)
{
    TestBar* bar = form->AddBar(form->top, 0, 30, "Tool");
    bar->SetSmoothDrag(false);
    form->ShowAndFocus();
    RECT before = ScreenRect(bar->Handle());
    RECT fr = ScreenRect(form->Handle());
    POINT start = HandlePoint(bar);
    POINT middle{(fr.left + fr.right) / 2, (fr.top + fr.bottom) / 2};
    // The area round the cursor, wide enough to hold the floating outline.
    RECT area{middle.x - 150, middle.y - 80, middle.x + 150, middle.y + 80};
    std::vector<DWORD> clean = ScreenPixels(area);
    int changedDuring = 0;
    bool lockedDuring = false;
    int nesting = 0;
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, middle);
        Sleep(100);
        changedDuring = Differences(clean, ScreenPixels(area));
        lockedDuring = !DesktopLockFree();
        nesting = d.Gui([] { return Application().NestingDepth(); });
        d.Key(VK_ESCAPE, false);
        d.Key(VK_ESCAPE, true);
    });
    // A frame of the floating window's size, some pixels thick.
    EXPECT_GT(changedDuring, 200) << "no outline on the desktop during the drag";
    EXPECT_TRUE(lockedDuring);
    EXPECT_GE(nesting, 1);
    Pump(100);
    EXPECT_EQ(Differences(clean, ScreenPixels(area)), 0) << "the outline stayed";
    EXPECT_TRUE(DesktopLockFree());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(bar->CurrentDock(), form->top);
    EXPECT_FALSE(bar->Floating());
    EXPECT_TRUE(SameRect(before, ScreenRect(bar->Handle())));
}

TEST_F(DockDragTest, EscapeDuringASmoothDragPutsEveryWindowBack)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    TestBar* other = form->AddBar(form->top, 1, 40, "Other");
    form->ShowAndFocus();
    RECT barBefore = ScreenRect(bar->Handle()), otherBefore = ScreenRect(other->Handle());
    RECT lr = ScreenRect(form->left->Handle());
    RECT fr = ScreenRect(form->Handle());
    POINT start = HandlePoint(bar);
    POINT overLeft{lr.left - 10, (fr.top + fr.bottom) / 2};
    TTBDock* midDrag = nullptr;
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, overLeft);
        midDrag = d.GuiUntil([&] { return bar->CurrentDock(); }, form->left);
        d.Key(VK_ESCAPE, false);
        d.Key(VK_ESCAPE, true);
    });
    EXPECT_EQ(midDrag, form->left);
    EXPECT_EQ(bar->CurrentDock(), form->top);
    EXPECT_EQ(bar->EffectiveDockRow(), 0);
    EXPECT_EQ(other->EffectiveDockRow(), 1);
    EXPECT_TRUE(SameRect(barBefore, ScreenRect(bar->Handle())));
    EXPECT_TRUE(SameRect(otherBefore, ScreenRect(other->Handle())));
}

TEST_F(DockDragTest, DoubleClickDocksAFloatingWindowAtTheStartOfTheDefaultDocksTopRow)
{
    TestBar* first = form->AddBar(form->top, 0, 0, "First");
    form->AddBar(form->top, 1, 0, "Below");
    auto* bar = new TestBar(form);
    bar->SetName("Loose");
    bar->SetParent(form);
    bar->SetHideWhenInactive(false);
    bar->SetDefaultDock(form->top);
    form->ShowAndFocus();
    bar->SetFloatingPosition(POINT{420, 380});
    bar->SetFloating(true);
    form->ShowAndFocus();
    ASSERT_TRUE(bar->Floating());
    ASSERT_EQ(bar->LastDock(), nullptr);
    POINT p = bar->ClientToScreen(POINT{bar->Width() / 2, bar->Height() / 2});
    driver.Run([&](Driver& d) {
        d.Send(MouseAt(p, 0));
        for (int i = 0; i < 2; ++i) {
            d.Send(MouseAt(p, MOUSEEVENTF_LEFTDOWN));
            d.Send(MouseAt(p, MOUSEEVENTF_LEFTUP));
        }
        Sleep(100);
    });
    EXPECT_EQ(bar->CurrentDock(), form->top);
    EXPECT_EQ(bar->EffectiveDockRow(), 0);
    EXPECT_EQ(bar->Left(), 0);
    EXPECT_EQ(first->EffectiveDockRow(), 0);
    EXPECT_GE(first->Left(), bar->Width());
    EXPECT_EQ(bar->FloatingWindowParent(), nullptr);
}

TEST_F(DockDragTest, SizingLoopOfAFloatingWindow)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    bar->SetHideWhenInactive(false);
    form->ShowAndFocus();
    bar->SetFloatingPosition(POINT{400, 400});
    bar->SetFloating(true);
    form->ShowAndFocus();
    TTBFloatingWindowParent* fp = bar->FloatingWindowParent();
    ASSERT_NE(fp, nullptr);
    RECT r = ScreenRect(fp->Handle());
    int width = bar->Width();
    POINT edge{r.right - 1, (r.top + r.bottom) / 2};
    POINT wider{edge.x + 40, edge.y};
    driver.Run([&](Driver& d) {
        d.Press(edge);
        d.MoveTo(edge, wider);
        d.Release(wider);
    });
    EXPECT_EQ(bar->Width(), width + 40);
    EXPECT_EQ(ScreenRect(fp->Handle()).right, r.right + 40);
    EXPECT_EQ(ScreenRect(fp->Handle()).left, r.left);
    // Narrower than its minimum: it stops there; Escape puts the size back.
    r = ScreenRect(fp->Handle());
    edge = POINT{r.right - 1, (r.top + r.bottom) / 2};
    POINT narrow{edge.x - 200, edge.y};
    int minimum = 0;
    driver.Run([&](Driver& d) {
        d.Press(edge);
        d.MoveTo(edge, narrow);
        minimum = d.GuiUntil([&] { return bar->Width(); }, 40);
        d.Key(VK_ESCAPE, false);
        d.Key(VK_ESCAPE, true);
    });
    EXPECT_EQ(minimum, 40);
    EXPECT_EQ(bar->Width(), width + 40);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(DockDragTest, AWindowFreedDuringItsDragEndsTheLoopAndGivesEverythingBack)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    bar->SetSmoothDrag(false);
    form->ShowAndFocus();
    POINT start = HandlePoint(bar);
    bool freed = false;
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, POINT{start.x + 60, start.y + 120});
        d.Gui([&] {
            delete bar;
            freed = true;
        });
        Sleep(50);
        d.Send(MouseAt(POINT{start.x + 70, start.y + 130}, 0));
        d.Release(POINT{start.x + 70, start.y + 130});
    });
    EXPECT_TRUE(freed);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(DesktopLockFree());
    EXPECT_TRUE(form->top->DockVisibleList().empty());
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST_F(DockDragTest, AnErrorDuringADragReachesTheHandlerAndReleasesTheDesktop)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    bar->SetSmoothDrag(false);
    form->right->OnRequestDock = [](TObject*, TTBCustomDockableWindow*, bool&) {
        throw Exception("refused loudly");
    };
    form->ShowAndFocus();
    RECT rr = ScreenRect(form->right->Handle());
    RECT fr = ScreenRect(form->Handle());
    POINT start = HandlePoint(bar);
    POINT overRight{rr.right + 10, (fr.top + fr.bottom) / 2};
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, overRight);
        d.Release(overRight);
    });
    std::vector<std::string> errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("refused loudly"), std::string::npos);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(DesktopLockFree());
    EXPECT_FALSE(bar->IsDragging());
    EXPECT_EQ(bar->CurrentDock(), form->top);
}

}  // namespace

namespace {

COLORREF ScreenPixel(POINT p)
{
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return c;
}

TEST_F(DockDragTest, DockedFrameHitCodesHandleCursorAndCloseButton)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    bar->SetCloseButtonWhenDocked(true);
    int queries = 0, closes = 0;
    bool allow = false;
    bar->OnCloseQuery = [&](TObject*, bool& canClose) {
        ++queries;
        canClose = allow;
    };
    bar->OnClose = [&](TObject*) { ++closes; };
    form->ShowAndFocus();
    RECT wr = ScreenRect(bar->Handle());
    // 2 pixels of border, and a handle of 14 with the close button.
    RECT cr;
    GetClientRect(bar->Handle(), &cr);
    EXPECT_EQ(wr.right - wr.left - cr.right, 2 + 14 + 2);
    EXPECT_EQ(wr.bottom - wr.top - cr.bottom, 4);
    auto hit = [&](int x, int y) {
        return SendMessageW(bar->Handle(), WM_NCHITTEST, 0, MAKELPARAM(wr.left + x, wr.top + y));
    };
    POINT closeCentre{wr.left + 8, wr.top + 8};
    POINT grip{wr.left + 5, wr.bottom - 5};
    EXPECT_EQ(hit(8, 8), HTTB_CLOSE);
    EXPECT_EQ(hit(5, (wr.bottom - wr.top) - 5), HTTB_DRAGHANDLE);
    EXPECT_EQ(hit(wr.right - wr.left - 1, 10), HTTB_DRAGHANDLE);
    EXPECT_EQ(hit(30, 10), HTCLIENT);
    // The raised edge of the frame.
    EXPECT_EQ(ScreenPixel(POINT{wr.left, wr.top + 5}), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(ScreenPixel(POINT{wr.right - 1, wr.top + 5}), GetSysColor(COLOR_BTNSHADOW));

    bool sizeAll = false, arrowOverClose = false;
    driver.Run([&](Driver& d) {
        d.MoveExactly(grip);
        sizeAll = d.CursorIs(IDC_SIZEALL);
        d.MoveExactly(closeCentre);
        arrowOverClose = !d.CursorIs(IDC_SIZEALL, false);
        // Pressed on the button and released away from it: no close.
        d.Press(closeCentre);
        d.MoveTo(closeCentre, POINT{closeCentre.x + 60, closeCentre.y + 60});
        d.Release(POINT{closeCentre.x + 60, closeCentre.y + 60});
        // Released on it: asked, refused.
        d.Press(closeCentre);
        d.Release(closeCentre);
    });
    EXPECT_TRUE(sizeAll);
    EXPECT_TRUE(arrowOverClose);
    EXPECT_EQ(queries, 1);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(bar->Visible());
    allow = true;
    driver.Run([&](Driver& d) {
        d.Press(closeCentre);
        d.Release(closeCentre);
    });
    EXPECT_EQ(queries, 2);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(bar->Visible());
    EXPECT_TRUE(form->top->DockVisibleList().empty());
    EXPECT_EQ(form->top->Height(), 0) << "the dock collapses once its only window closed";
}

TEST_F(DockDragTest, ARightClickOnTheFrameAsksForTheContextPopup)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    form->ShowAndFocus();
    std::vector<POINT> asked;
    bar->OnContextPopup = [&](TObject* sender, POINT p, bool& handled) {
        EXPECT_EQ(bar, sender);
        asked.push_back(p);
        handled = true;
    };
    POINT grip = HandlePoint(bar);
    driver.Run([&](Driver& d) {
        d.Send(MouseAt(grip, 0));
        d.Send(MouseAt(grip, MOUSEEVENTF_RIGHTDOWN));
        d.Send(MouseAt(grip, MOUSEEVENTF_RIGHTUP));
        Sleep(100);
    });
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(grip.x, asked[0].x);
    EXPECT_EQ(grip.y, asked[0].y);
}

}  // namespace

namespace {

TEST_F(DockDragTest, FloatingWindowFollowsItsFormsOwnershipAndVisibility)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    bar->SetHideWhenInactive(false);
    form->ShowAndFocus();
    bar->SetFloatingPosition(POINT{500, 300});
    bar->SetFloating(true);
    form->ShowAndFocus();
    TTBFloatingWindowParent* fp = bar->FloatingWindowParent();
    ASSERT_NE(fp, nullptr);
    HWND fw = fp->Handle();
    EXPECT_EQ(GetWindow(fw, GW_OWNER), form->Handle());
    EXPECT_TRUE(IsWindowVisible(fw));
    EXPECT_NE(GetWindowLongW(fw, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    RECT r = ScreenRect(fw);
    EXPECT_EQ(r.left, 500);
    EXPECT_EQ(r.top, 300);
    // The client area of the floating window is the window's size.
    RECT cr;
    GetClientRect(fw, &cr);
    EXPECT_EQ(cr.right, bar->Width());
    EXPECT_EQ(cr.bottom, bar->Height());

    bar->SetFloatingMode(fmOnTopOfAllForms);
    EXPECT_EQ(GetWindow(fw, GW_OWNER), Application().Handle());
    bar->SetFloatingMode(fmOnTopOfParentForm);
    EXPECT_EQ(GetWindow(fw, GW_OWNER), form->Handle());

    ShowWindow(form->Handle(), SW_MINIMIZE);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(fw); }, 20000)) << "shown beside a minimised form";
    ShowWindow(form->Handle(), SW_RESTORE);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(fw) != FALSE; }, 20000)) << "not back with its form";
    bar->Hide();
    EXPECT_FALSE(IsWindowVisible(fw));
    bar->Show();
    EXPECT_TRUE(IsWindowVisible(fw));
    form->Hide();
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(fw); }, 20000)) << "shown without its form";
}

}  // namespace

namespace {

TEST_F(DockDragTest, QuitDuringADragEndsItAndReachesTheOuterLoop)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    form->ShowAndFocus();
    RECT before = ScreenRect(bar->Handle());
    POINT start = HandlePoint(bar);
    bool draggingAfterQuit = true;
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, POINT{start.x + 40, start.y});
        // A busy machine may still hold some of the moves, and the display
        // server may echo an older place after the last one: the quit comes
        // once the bar has followed them, the last move sent again meanwhile.
        const POINT end{start.x + 40, start.y};
        for (int i = 1; i <= 250 && d.Gui([&] { return ScreenRect(bar->Handle()).left; }) != before.left + 40; ++i) {
            Sleep(20);
            if (i % 25 == 0)
                d.MoveTo(end, end);
        }
        d.Gui([] { PostQuitMessage(7); });
        Sleep(100);
        draggingAfterQuit = d.Gui([&] { return bar->IsDragging(); });
        d.MoveTo(POINT{start.x + 40, start.y}, POINT{start.x + 80, start.y});
        d.Release(POINT{start.x + 80, start.y});
    });
    EXPECT_FALSE(draggingAfterQuit);
    EXPECT_EQ(driver.quitCode, 7);
    EXPECT_EQ(GetCapture(), nullptr);
    // The drag ended where the quit found it: later moves did not move it.
    EXPECT_EQ(ScreenRect(bar->Handle()).left, before.left + 40);
}

}  // namespace

namespace {

TEST_F(DockDragTest, AWindowFreedWhileItsFloatingWindowIsSizedEndsTheLoop)
{
    TestBar* bar = form->AddBar(form->top, 0, 0, "Tool");
    bar->SetHideWhenInactive(false);
    form->ShowAndFocus();
    bar->SetFloatingPosition(POINT{420, 420});
    bar->SetFloating(true);
    form->ShowAndFocus();
    HWND fw = bar->FloatingWindowParent()->Handle();
    RECT r = ScreenRect(fw);
    POINT edge{r.right - 1, (r.top + r.bottom) / 2};
    bool sizing = false;
    driver.Run([&](Driver& d) {
        d.Press(edge);
        d.MoveTo(edge, POINT{edge.x + 30, edge.y});
        sizing = d.GuiUntil([&] { return bar->IsSizing(); }, true);
        d.Gui([&] { delete bar; });
        d.MoveTo(POINT{edge.x + 30, edge.y}, POINT{edge.x + 50, edge.y});
        d.Release(POINT{edge.x + 50, edge.y});
    });
    EXPECT_TRUE(sizing);
    EXPECT_EQ(GetCapture(), nullptr);
    RECT clip, screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    GetClipCursor(&clip);
    EXPECT_TRUE(SameRect(clip, screen));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(fw); }, 20000)) << "the floating window stayed";
    EXPECT_TRUE(CaughtErrors().empty());
}

}  // namespace

namespace {

// The program's own toolbar: it may go to any dock of its form but never float.
TEST(MainToolbarDrag, MovesBetweenTheDocksOfTheMainFormStandingInTheSideDocks)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no display";
    TMainShapeForm form;
    form.ShowNow();
    TTBToolbar* bar = form.toolbar;
    ASSERT_EQ(bar->CurrentDock(), form.top);
    int lyingWidth = bar->Width();
    EXPECT_GT(lyingWidth, bar->Height());
    RECT fr = ScreenRect(form.Handle());
    RECT lr = ScreenRect(form.left->Handle());
    RECT rr = ScreenRect(form.right->Handle());
    POINT start = HandlePoint(bar);
    POINT overLeft{lr.left - 10, (fr.top + fr.bottom) / 2};
    POINT overRight{rr.right - 10, (fr.top + fr.bottom) / 2 + 20};
    POINT middle{(fr.left + fr.right) / 2, (fr.top + fr.bottom) / 2 + 30};
    Driver driver;
    TTBDock* inLeft = nullptr;
    bool standing = false, noDrop = false;
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, overLeft);
        inLeft = d.GuiUntil([&] { return bar->CurrentDock(); }, form.left);
        standing = d.GuiUntil([&] { return bar->Height() > bar->Width(); }, true);
        d.MoveTo(overLeft, middle);
        noDrop = d.CursorIs(IDC_NO);
        d.MoveTo(middle, overRight);
        d.Release(overRight);
    });
    EXPECT_EQ(inLeft, form.left);
    EXPECT_TRUE(standing);
    EXPECT_TRUE(noDrop);
    EXPECT_FALSE(bar->Floating());
    EXPECT_EQ(bar->CurrentDock(), form.right);
    EXPECT_GT(bar->Height(), bar->Width());
    EXPECT_EQ(form.right->Width(), bar->Width()) << "the right dock is as wide as its toolbar";
    EXPECT_EQ(form.top->Height(), 0) << "the top dock collapses once empty";
    EXPECT_EQ(form.left->Width(), 0);
    EXPECT_EQ(bar->LastDock(), form.right);
    // And back to the top (now collapsed to a line under the caption), lying again.
    RECT tr = ScreenRect(form.top->Handle());
    start = HandlePoint(bar);
    POINT overTop{(tr.left + tr.right) / 2, tr.top - 5};
    driver.Run([&](Driver& d) {
        d.Press(start);
        d.MoveTo(start, overTop);
        d.Release(overTop);
    });
    EXPECT_EQ(bar->CurrentDock(), form.top);
    EXPECT_EQ(bar->Width(), lyingWidth);
    EXPECT_EQ(form.right->Width(), 0);
}

}  // namespace
