// The hint window: its measure, its place at the desktop's edges, the
// screen it keeps behind it, the finished picture with its shadow and the
// fade and slide frames, all read back from memory bitmaps and the screen
// (Xvfb) with pixel values worked out by hand.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTHintWindow.h"
#include "Lib2/VirtualTree/VTUtils.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Form.h"
#include "platform/Text.h"
#include "support/TestSupport.h"
#include "UtilTestSupport.h"

using namespace testing_support;
using namespace vt_test;

namespace {

// Hint colours the test chooses, restored afterwards.
class HintColours {
public:
    HintColours()
    {
        for (int i = 0; i < 2; ++i)
            saved_[i] = GetSysColor(elements_[i]);
        COLORREF ours[2] = {RGB(250, 240, 100), RGB(0, 0, 0)};
        SetSysColors(2, elements_, ours);
    }
    ~HintColours() { SetSysColors(2, elements_, saved_); }

private:
    int elements_[2] = {COLOR_INFOBK, COLOR_INFOTEXT};
    COLORREF saved_[2];
};

class HintWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        GetWindowRect(GetDesktopWindow(), &desktop_);
        hint_ = std::make_unique<TVirtualTreeHintWindow>(nullptr);
    }
    void TearDown() override
    {
        hint_.reset();
        ResetMMXAvailableForTesting();
        SetHintMonitorLookupForTesting(nullptr);
    }
    RECT Shown() const
    {
        RECT r = {};
        GetWindowRect(hint_->Handle(), &r);
        return r;
    }
    static COLORREF At(TBitmap& b, int x, int y) { return b.Pixel(x, y); }

    RECT desktop_ = {};
    std::unique_ptr<TVirtualTreeHintWindow> hint_;
};

// The system's hint font, as the test measures it itself.
SIZE MeasureInStatusFont(const std::wstring& text, int maxWidth)
{
    NONCLIENTMETRICSW m = {};
    m.cbSize = sizeof m;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
    HFONT font = CreateFontIndirectW(&m.lfStatusFont);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r = {0, 0, maxWidth, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);
    return SIZE{r.right, r.bottom};
}

TEST_F(HintWindowTest, PlainHintMeasureWithAndWithoutShadow)
{
    SIZE text = MeasureInStatusFont(L"Hello world", 300);
    ASSERT_GT(text.cx, 0);
    SetMMXAvailableForTesting(false);
    RECT r = hint_->CalcHintRect(300, "Hello world", TVTHintData{});
    EXPECT_FALSE(hint_->HasShadow());
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, text.cx + 2 * 4 + 2);   // TextMargin 4 without a tree
    EXPECT_EQ(r.bottom, text.cy + 6);

    SetMMXAvailableForTesting(true);
    r = hint_->CalcHintRect(300, "Hello world", TVTHintData{});
    EXPECT_TRUE(hint_->HasShadow());
    EXPECT_EQ(r.right, text.cx + 2 * 4 + 2 + kHintShadowSize);
    EXPECT_EQ(r.bottom, text.cy + 6 + kHintShadowSize);
    EXPECT_EQ(hint_->HintText(), "Hello world");
    // A long one wraps within the maximum width.
    SIZE line = MeasureInStatusFont(L"one", 1000);
    r = hint_->CalcHintRect(100, "one two three four five six seven eight nine ten eleven twelve", TVTHintData{});
    EXPECT_LE(r.right, 100 + 10 + kHintShadowSize);
    EXPECT_GE(r.bottom, 3 * line.cy);
    // Text in the data wins; no text at all is no hint.
    TVTHintData data;
    data.HintText = "from the data";
    hint_->CalcHintRect(300, "ignored", data);
    EXPECT_EQ(hint_->HintText(), "from the data");
    r = hint_->CalcHintRect(300, "", TVTHintData{});
    EXPECT_TRUE(IsRectEmpty(&r));
}

// Data naming a node but no tree: the hint's own text is measured.
TEST_F(HintWindowTest, ANodeWithoutATreeMeasuresTheHintText)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(1);
    const RECT plain = hint_->CalcHintRect(300, "Hello world", TVTHintData{});
    TVTHintData data;
    data.Node = tree.GetFirstNoInit();
    const RECT r = hint_->CalcHintRect(300, "Hello world", data);
    EXPECT_TRUE(EqualRect(&r, &plain));
    EXPECT_EQ(hint_->HintText(), "Hello world");
}

TEST_F(HintWindowTest, KeptOnTheDesktop)
{
    hint_->CalcHintRect(300, "edge", TVTHintData{});
    const int w = 100, h = 30;
    // Past the right edge: moved left.
    hint_->ActivateHint(RECT{desktop_.right - 40, 100, desktop_.right - 40 + w, 100 + h}, "edge");
    RECT r = Shown();
    EXPECT_EQ(r.right, desktop_.right);
    EXPECT_EQ(r.left, desktop_.right - w);
    EXPECT_EQ(r.top, 100);
    EXPECT_TRUE(IsWindowVisible(hint_->Handle()));
    // Past the bottom: moved up.
    hint_->ActivateHint(RECT{200, desktop_.bottom - 10, 200 + w, desktop_.bottom - 10 + h}, "edge");
    r = Shown();
    EXPECT_EQ(r.bottom, desktop_.bottom);
    EXPECT_EQ(r.left, 200);
    // Before the left and top edges: moved right and down.
    hint_->ActivateHint(RECT{-30, -12, -30 + w, -12 + h}, "edge");
    r = Shown();
    EXPECT_EQ(r.left, desktop_.left);
    EXPECT_EQ(r.top, desktop_.top);
    EXPECT_EQ(r.right - r.left, w);
    EXPECT_EQ(r.bottom - r.top, h);
    // In the bottom right corner: both.
    hint_->ActivateHint(RECT{desktop_.right - 5, desktop_.bottom - 5, desktop_.right - 5 + w,
                             desktop_.bottom - 5 + h},
                        "edge");
    r = Shown();
    EXPECT_EQ(r.right, desktop_.right);
    EXPECT_EQ(r.bottom, desktop_.bottom);
    // The bitmaps took the window's size.
    EXPECT_EQ(hint_->Target().Width(), w);
    EXPECT_EQ(hint_->Background().Height(), h);
}

// On a second monitor left of and above the primary one the hint stays where
// it is asked to be, kept inside the monitor the cursor is on. This machine
// has one monitor: the test names the cursor's monitor itself.
TEST_F(HintWindowTest, KeptOnTheMonitorOfTheCursor)
{
    const RECT leftMonitor{-1280, -200, 0, 824};
    std::vector<POINT> asked;
    SetHintMonitorLookupForTesting([&](POINT p) {
        asked.push_back(p);
        return leftMonitor;
    });
    hint_->CalcHintRect(300, "left", TVTHintData{});
    const int w = 100, h = 30;
    hint_->ActivateHint(RECT{-600, -150, -600 + w, -150 + h}, "left");
    RECT r = Shown();
    EXPECT_EQ(r.left, -600);
    EXPECT_EQ(r.top, -150);
    // Past that monitor's right edge: back onto it, not over to the next one.
    hint_->ActivateHint(RECT{-40, 300, -40 + w, 300 + h}, "left");
    r = Shown();
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.left, -w);
    POINT cursor{};
    GetCursorPos(&cursor);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].x, cursor.x);
    EXPECT_EQ(asked[0].y, cursor.y);
}

// A hint of 100 x 30 (shadow included) over a backdrop of (200, 100, 50).
class HintPicture : public HintWindowTest {
protected:
    void SetUp() override
    {
        HintWindowTest::SetUp();
        if (IsSkipped())
            return;
        colours_ = std::make_unique<HintColours>();
        backdrop_ = std::make_unique<Backdrop>(RECT{300, 300, 700, 600}, RGB(200, 100, 50));
        SetMMXAvailableForTesting(true);
        hint_->CalcHintRect(300, "Hi", TVTHintData{});
        hint_->ActivateHint(RECT{400, 400, 400 + w, 400 + h}, "Hi");
        UpdateWindow(hint_->Handle());
        Pump(30);
    }
    void TearDown() override
    {
        HintWindowTest::TearDown();
        backdrop_.reset();
        colours_.reset();
    }
    const int w = 100, h = 30;
    std::unique_ptr<HintColours> colours_;
    std::unique_ptr<Backdrop> backdrop_;
};

TEST_F(HintPicture, FinishedHintWithItsShadow)
{
    // The screen behind it was kept.
    EXPECT_EQ(At(hint_->Background(), 0, 0), RGB(200, 100, 50));
    EXPECT_EQ(At(hint_->Background(), w - 1, h - 1), RGB(200, 100, 50));
    TBitmap& t = hint_->Target();
    EXPECT_EQ(At(t, 0, 0), RGB(0, 0, 0));              // frame
    EXPECT_EQ(At(t, w - 6, h - 6), RGB(0, 0, 0));      // frame's bottom right corner
    EXPECT_EQ(At(t, 2, 2), RGB(250, 240, 100));        // hint colour inside
    // Right of the body, above the shadow: the screen as it was.
    EXPECT_EQ(At(t, w - 1, 2), RGB(200, 100, 50));
    // The shadow strip: column w-5+k carries the blends i = 0..4-k of
    // floor(d * (256 - a) / 256) with a = 5, 10, 20, 35, 50.
    const COLORREF expected[5] = {RGB(119, 59, 29), RGB(149, 74, 37), RGB(173, 86, 43), RGB(188, 94, 47),
                                  RGB(196, 98, 49)};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(At(t, w - 5 + k, h / 2 + 4), expected[k]) << k;
    // The same along the bottom, row h-5+k.
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(At(t, w / 2, h - 5 + k), expected[k]) << k;
    // The shadow starts softly: its first row has the outer blend only.
    EXPECT_EQ(At(t, w - 3, 5), RGB(196, 98, 49));
    // The window shows exactly that picture on the screen.
    EXPECT_EQ(ScreenPixel(400 + 2, 400 + 2), RGB(250, 240, 100));
    EXPECT_EQ(ScreenPixel(400 + w - 5, 400 + h / 2 + 4), RGB(119, 59, 29));
    EXPECT_EQ(ScreenPixel(400 + w - 1, 400 + 2), RGB(200, 100, 50));
}

TEST_F(HintPicture, FadeFrames)
{
    // Frame n blends with alpha n*256/255: 128 at frame 128, the background
    // at frame 1, the hint itself at 255; the shadow is on every frame.
    hint_->RenderFrame(hatFade, 128);
    TBitmap& t = hint_->Target();
    EXPECT_EQ(At(t, 2, 2), RGB(225, 170, 75));
    EXPECT_EQ(At(t, w - 1, h / 2 + 4), RGB(196, 98, 49));
    hint_->RenderFrame(hatFade, 1);
    EXPECT_EQ(At(t, 2, 2), RGB(200, 100, 50));
    hint_->RenderFrame(hatFade, 255);
    EXPECT_EQ(At(t, 2, 2), RGB(250, 240, 100));
    EXPECT_EQ(At(t, 0, 0), RGB(0, 0, 0));
    // What is rendered goes to the window.
    hint_->RenderFrame(hatFade, 128);
    Pump(30);
    EXPECT_EQ(ScreenPixel(402, 402), RGB(225, 170, 75));
}

TEST_F(HintPicture, SlideFrames)
{
    hint_->RenderFrame(hatNone, 0);
    std::vector<COLORREF> finished(static_cast<size_t>(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            finished[static_cast<size_t>(y * w + x)] = At(hint_->Target(), x, y);
    const int n = 7;
    hint_->RenderFrame(hatSlide, n);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; x += 3) {
            COLORREF want = y < n ? finished[static_cast<size_t>((h - n + y) * w + x)] : RGB(200, 100, 50);
            ASSERT_EQ(At(hint_->Target(), x, y), want) << x << "," << y;
        }
}

TEST_F(HintWindowTest, WithoutMMXThereIsNoShadow)
{
    HintColours colours;
    Backdrop backdrop(RECT{300, 300, 700, 600}, RGB(200, 100, 50));
    SetMMXAvailableForTesting(false);
    RECT r = hint_->CalcHintRect(300, "Hi", TVTHintData{});
    hint_->ActivateHint(RECT{400, 400, 400 + r.right, 400 + r.bottom}, "Hi");
    TBitmap& t = hint_->Target();
    EXPECT_EQ(At(t, r.right - 1, r.bottom / 2), RGB(0, 0, 0));    // the frame reaches the edge
    EXPECT_EQ(At(t, r.right / 2, r.bottom - 1), RGB(0, 0, 0));
    EXPECT_EQ(At(t, r.right - 2, 2), RGB(250, 240, 100));
}

TEST_F(HintWindowTest, MessagesTextAndCancelling)
{
    MSG key = {hint_->Handle(), WM_KEYDOWN, 'A', 0, 0, {}};
    MSG nc = {hint_->Handle(), WM_NCMOUSEMOVE, 0, 0, 0, {}};
    MSG click = {hint_->Handle(), WM_LBUTTONDOWN, 0, 0, 0, {}};
    MSG paint = {hint_->Handle(), WM_TIMER, 0, 0, 0, {}};
    hint_->CalcHintRect(300, "msg", TVTHintData{});
    EXPECT_TRUE(hint_->IsHintMsg(key));   // hidden: a key closes (nothing to keep)
    hint_->ActivateHint(RECT{100, 100, 160, 120}, "msg");
    EXPECT_FALSE(hint_->IsHintMsg(key));
    EXPECT_FALSE(hint_->IsHintMsg(nc));
    EXPECT_TRUE(hint_->IsHintMsg(click));
    EXPECT_FALSE(hint_->IsHintMsg(paint));
    // The window's own text never changes.
    SetWindowTextW(hint_->Handle(), L"changed");
    wchar_t text[32] = {};
    GetWindowTextW(hint_->Handle(), text, 32);
    EXPECT_STREQ(text, L"");
    // An empty rectangle hides it, and hiding forgets the hint.
    hint_->ActivateHint(RECT{}, "msg");
    EXPECT_FALSE(IsWindowVisible(hint_->Handle()));
    EXPECT_TRUE(hint_->HintText().empty());
}

// --- Hints of a real tree ----------------------------------------------------

class TreeHint : public HintWindowTest {
protected:
    void SetUp() override
    {
        HintWindowTest::SetUp();
        if (IsSkipped())
            return;
        form_ = new TForm(nullptr);
        form_->SetBounds(60, 60, 400, 300);
        tree_ = new TVirtualStringTree(form_);
        tree_->SetBounds(0, 0, 300, 200);
        tree_->SetParent(form_);
        form_->Show();
        tree_->HandleNeeded();
        tree_->SetHintMode(hmTooltip);
        tree_->SetHintAnimation(hatNone);
        node_ = tree_->AddChildNode(nullptr);
        SetMMXAvailableForTesting(true);
    }
    void TearDown() override
    {
        hint_.reset();
        delete form_;
        HintWindowTest::TearDown();
    }
    TVTHintData Tooltip(const std::string& text)
    {
        TVTHintData data;
        data.Tree = tree_;
        data.Node = node_;
        data.Column = NoColumn;
        data.HintRect = RECT{10, 0, 210, 18};   // the cell's text rectangle
        data.HintText = text;
        return data;
    }
    TForm* form_ = nullptr;
    TVirtualStringTree* tree_ = nullptr;
    PVirtualNode node_ = nullptr;
};

TEST_F(TreeHint, SingleLineTooltipLiesOverTheCell)
{
    RECT r = hint_->CalcHintRect(500, "", Tooltip("a cell text"));
    // The text rectangle one pixel larger on every side, from -1,-1, plus the shadow.
    EXPECT_EQ(r.left, -1);
    EXPECT_EQ(r.top, -1);
    EXPECT_EQ(r.right, 200 + 1 + kHintShadowSize);
    EXPECT_EQ(r.bottom, 18 + 1 + kHintShadowSize);
    EXPECT_EQ(hint_->HintData().LineBreakStyle, hlbForceSingleLine);
    // With horizontal grid lines one pixel more at the bottom.
    tree_->TreeOptions().SetPaintOptions(tree_->TreeOptions().PaintOptions() | toShowHorzGridLines);
    r = hint_->CalcHintRect(500, "", Tooltip("a cell text"));
    EXPECT_EQ(r.bottom, 18 + 2 + kHintShadowSize);
}

TEST_F(TreeHint, MultiLineTooltipThatFitsIsNotShown)
{
    tree_->SetMultiLine(node_, true);
    RECT r = hint_->CalcHintRect(500, "", Tooltip("short"));
    EXPECT_TRUE(IsRectEmpty(&r));
    EXPECT_EQ(hint_->HintData().LineBreakStyle, hlbForceMultiLine);
    // A text that needs more lines than the row has is shown, wrapped in the cell's width.
    std::string longText = "many words that will never fit into a single row of two hundred pixels at all";
    r = hint_->CalcHintRect(500, "", Tooltip(longText));
    ASSERT_FALSE(IsRectEmpty(&r));
    EXPECT_EQ(r.left, -1);
    EXPECT_EQ(r.top, -1);
    EXPECT_LE(r.right, 200 + 4 + 1 + 1 + kHintShadowSize);
    EXPECT_GT(r.bottom, 18 + 3 + 1 + kHintShadowSize);
}

TEST_F(TreeHint, TooltipUsesTheTreeFontAsThePaintTextEventSetsIt)
{
    tree_->Font().SetName("Tahoma");
    tree_->OnPaintText = [](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode, TColumnIndex, TVSTTextType) {
        canvas.Font().SetStyle(fsBold);
    };
    hint_->CalcHintRect(500, "", Tooltip("bold"));
    EXPECT_EQ(hint_->HintFont().Name(), "Tahoma");
    EXPECT_TRUE(hint_->HintFont().Style() & fsBold);
    // A plain node hint uses the system's hint font.
    tree_->SetHintMode(hmHint);
    hint_->CalcHintRect(500, "", Tooltip("plain"));
    EXPECT_FALSE(hint_->HintFont().Style() & fsBold);
    NONCLIENTMETRICSW m = {};
    m.cbSize = sizeof m;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
    EXPECT_EQ(hint_->HintFont().Name(), WideToUtf8(m.lfStatusFont.lfFaceName));
}

TEST_F(TreeHint, AlignmentAndReadingDirectionFromTheColumn)
{
    TVirtualTreeColumn* column = tree_->Header().Columns().Add();
    column->SetAlignment(TAlignment::taRightJustify);
    TVTHintData data = Tooltip("x");
    data.Column = 0;
    hint_->CalcHintRect(500, "", data);
    EXPECT_EQ(hint_->HintAlignment(), TAlignment::taRightJustify);
    EXPECT_FALSE(hint_->RightToLeft());
    column->SetBiDiMode(bdRightToLeft);
    hint_->CalcHintRect(500, "", data);
    EXPECT_TRUE(hint_->RightToLeft());
    EXPECT_EQ(hint_->HintAlignment(), TAlignment::taLeftJustify);   // mirrored
    // Without a column: the tree's.
    data.Column = NoColumn;
    tree_->SetAlignment(TAlignment::taCenter);
    hint_->CalcHintRect(500, "", data);
    EXPECT_EQ(hint_->HintAlignment(), TAlignment::taCenter);
}

TEST_F(TreeHint, FadeAnimationEndsWithTheFinishedHint)
{
    HintColours colours;
    tree_->SetHintMode(hmHint);
    tree_->SetHintAnimation(hatFade);
    tree_->SetAnimationDuration(10);
    RECT r = hint_->CalcHintRect(300, "", Tooltip("fading"));
    hint_->ActivateHint(RECT{500, 500, 500 + r.right, 500 + r.bottom}, "");
    Pump(30);
    EXPECT_EQ(hint_->Target().Pixel(2, 2), RGB(250, 240, 100));
    EXPECT_EQ(ScreenPixel(502, 502), RGB(250, 240, 100));
}

TEST_F(TreeHint, KeysInTheTreesHintStateGoToTheirWindowAtOnce)
{
    static int keys = 0;
    keys = 0;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) WINAPI -> LRESULT {
        if (m == WM_KEYDOWN)
            ++keys;
        return DefWindowProcW(h, m, w, l);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BxKeyCounter";
    RegisterClassW(&wc);
    HWND target = CreateWindowExW(0, L"BxKeyCounter", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    tree_->SetHintMode(hmHint);
    hint_->CalcHintRect(300, "", Tooltip("keys"));
    hint_->ActivateHint(RECT{100, 100, 160, 120}, "");
    MSG key = {target, WM_KEYDOWN, 'A', 0, 0, {}};
    EXPECT_FALSE(hint_->IsHintMsg(key));
    EXPECT_EQ(keys, 0);
    tree_->DoStateChange(tsHint);
    EXPECT_FALSE(hint_->IsHintMsg(key));
    EXPECT_EQ(keys, 1);
    tree_->DoStateChange(0, tsHint);
    DestroyWindow(target);
    UnregisterClassW(L"BxKeyCounter", GetModuleHandleW(nullptr));
}

TEST_F(TreeHint, OwnerDrawTreeSizesAndDrawsItsNodeHint)
{
    auto* drawn = new TVirtualDrawTree(form_);
    drawn->SetParent(form_);
    PVirtualNode node = drawn->AddChildNode(nullptr);
    RECT painted = {};
    PVirtualNode paintedNode = nullptr;
    drawn->OnDrawHint = [&](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode n, const RECT& r, TColumnIndex) {
        painted = r;
        paintedNode = n;
        canvas.SetBrushColor(RGB(1, 2, 3));
        canvas.FillRect(r);
    };
    TVTHintData data;
    data.Tree = drawn;
    data.Node = node;
    data.HintRect = RECT{0, 0, 77, 33};
    RECT r = hint_->CalcHintRect(300, "", data);
    EXPECT_EQ(r.right, 77);
    EXPECT_EQ(r.bottom, 33);
    hint_->ActivateHint(RECT{100, 100, 177, 133}, "");
    EXPECT_EQ(paintedNode, node);
    EXPECT_EQ(painted.right, 77 - kHintShadowSize);
    EXPECT_EQ(painted.bottom, 33 - kHintShadowSize);
    EXPECT_EQ(hint_->Target().Pixel(5, 5), RGB(1, 2, 3));
}

}  // namespace
