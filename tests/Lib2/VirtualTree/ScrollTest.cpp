// The list control's scrolling in a real window with real input: a short
// list stays at the top, a dragged thumb on a list of a million rows lands
// at its 32-bit position, the wheel scrolls by the system's lines, header
// clicks sort in three states and added rows sort themselves, every node
// can be selected at once, and properties that follow other objects.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Form.h"
#include "platform/ImageList.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

INPUT MouseAt(POINT screen, DWORD flags, DWORD data = 0)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((screen.x * 65536 + cx / 2) / cx);
    in.mi.dy = static_cast<LONG>((screen.y * 65536 + cy / 2) / cy);
    in.mi.mouseData = data;
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return in;
}

// WM_NCPAINT messages sent to one window (the frame drawn).
HWND g_framesOf = nullptr;
int g_frames = 0;
LRESULT CALLBACK CountFrames(int code, WPARAM w, LPARAM l)
{
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(l);
    if (code == HC_ACTION && m->hwnd == g_framesOf && m->message == WM_NCPAINT)
        ++g_frames;
    return CallNextHookEx(nullptr, code, w, l);
}

class ScrollTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 340, 460);
        tree = new TVirtualStringTree(form);
        tree->SetBounds(10, 10, 300, 400);
        tree->SetParent(form);
    }
    void TearDown() override { delete form; }
    void Show()
    {
        form->Show();
        tree->HandleNeeded();
        Pump(50);
    }
    HWND h() { return tree->Handle(); }
    // Every row's text is "row"; texts counts the times the tree asks.
    void CountTexts(int& texts)
    {
        tree->OnGetText = [&texts](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::string& text) {
            ++texts;
            text = "row";
        };
    }
    bool HasVerticalBar() { return (GetWindowLongPtrW(h(), GWL_STYLE) & WS_VSCROLL) != 0; }
    SCROLLINFO Bar()
    {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(h(), SB_VERT, &si);
        return si;
    }

    TForm* form = nullptr;
    TVirtualStringTree* tree = nullptr;
};

TEST_F(ScrollTest, AShortListStaysAtTheTop)
{
    tree->SetRootNodeCount(100);
    Show();
    const int client = tree->ClientRect().bottom;
    ASSERT_TRUE(HasVerticalBar());
    EXPECT_EQ(Bar().nMax, 1799);
    EXPECT_EQ(Bar().nPage, static_cast<UINT>(client));
    // Ten scrolls in a row: the bar's position follows at once.
    for (int i = 0; i < 10; ++i)
        SendMessageW(h(), WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(tree->OffsetY(), -200);
    EXPECT_EQ(Bar().nPos, 200);
    SendMessageW(h(), WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(tree->OffsetY(), client - 1800);

    // The list shrinks to three rows (red, green, blue): back at the top,
    // no bar, painted from the top, and it stays there whatever asks it to scroll.
    const COLORREF colours[3] = {RGB(255, 0, 0), RGB(0, 160, 0), RGB(0, 0, 255)};
    tree->OnBeforeItemErase = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode node, const RECT&, COLORREF& c,
                                  TItemEraseAction& action) {
        c = colours[node->Index % 3];
        action = eaFillColor;
    };
    tree->SetRootNodeCount(3);
    EXPECT_EQ(tree->OffsetY(), 0);
    EXPECT_FALSE(HasVerticalBar());
    auto paintedFromTheTop = [&] {
        UpdateWindow(h());
        HDC dc = GetDC(h());
        const bool rows = GetPixel(dc, 150, 9) == colours[0] && GetPixel(dc, 150, 18 + 9) == colours[1] &&
                          GetPixel(dc, 150, 36 + 9) == colours[2];
        const bool below = GetPixel(dc, 150, 54 + 9) == tree->Color() && GetPixel(dc, 150, client - 2) == tree->Color();
        ReleaseDC(h(), dc);
        return rows && below && tree->OffsetY() == 0;
    };
    EXPECT_TRUE(paintedFromTheTop());
    for (WPARAM code : {SB_BOTTOM, SB_PAGEDOWN, SB_LINEDOWN}) {
        SendMessageW(h(), WM_VSCROLL, code, 0);
        EXPECT_TRUE(paintedFromTheTop()) << code;
    }
    SendMessageW(h(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    tree->SetOffsetY(-500);
    EXPECT_FALSE(tree->ScrollIntoView(tree->RootNode()->LastChild, true));
    EXPECT_TRUE(paintedFromTheTop());
    EXPECT_EQ(tree->OffsetX(), 0);
}

TEST_F(ScrollTest, AThumbDraggedOnAMillionRowsLandsAtItsFullPosition)
{
    tree->SetRootNodeCount(1000000);
    Show();
    SCROLLBARINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetScrollBarInfo(h(), OBJID_VSCROLL, &info));
    const RECT& bar = info.rcScrollBar;
    const int track = (bar.bottom - bar.top) - 2 * info.dxyLineButton;
    const int thumb = info.xyThumbBottom - info.xyThumbTop;
    const int free = track - thumb;
    ASSERT_GT(free, 100);
    POINT p{(bar.left + bar.right) / 2, bar.top + (info.xyThumbTop + info.xyThumbBottom) / 2};
    std::vector<INPUT> drag{MouseAt(p, 0), MouseAt(p, MOUSEEVENTF_LEFTDOWN)};
    const int moveBy = free / 2;
    for (int step = 1; step <= 4; ++step)
        drag.push_back(MouseAt(POINT{p.x, p.y + moveBy * step / 4}, 0));
    // The thumb rests at the end a while before the release, so the bar's
    // tracking sees the last move before the button goes up.
    for (int wait = 0; wait < 10; ++wait)
        drag.push_back(MouseAt(POINT{p.x, p.y + moveBy}, 0));
    drag.push_back(MouseAt(POINT{p.x, p.y + moveBy}, MOUSEEVENTF_LEFTUP));
    ASSERT_TRUE(SendInputPumping(drag, 300));

    // The thumb's top moved by half the free track: about half of the
    // positions (the system's thumb arithmetic differs a little from the
    // sizes it reports). A 16-bit position would stay below 65536.
    const int client = tree->ClientRect().bottom;
    const double maxPosition = 18000000.0 - client;
    const int position = -tree->OffsetY();
    EXPECT_NEAR(position, maxPosition * moveBy / free, maxPosition * 0.05);
    EXPECT_GT(position, 65535);
    EXPECT_EQ(Bar().nPos, position);
    SCROLLBARINFO after{};
    after.cbSize = sizeof after;
    ASSERT_TRUE(GetScrollBarInfo(h(), OBJID_VSCROLL, &after));
    EXPECT_NEAR(after.xyThumbTop - info.xyThumbTop, moveBy, 1);
    int top = 0;
    PVirtualNode first = tree->GetNodeAtOffset(position, &top);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Index, static_cast<uint32_t>(position / 18));
    EXPECT_FALSE(tree->HasState(tsThumbTracking));
}

TEST_F(ScrollTest, TheWheelScrollsBySystemLines)
{
    tree->SetRootNodeCount(100);
    Show();
    tree->SetFocus();
    UINT lines = 0;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    ASSERT_GT(lines, 0u);
    RECT r;
    GetWindowRect(h(), &r);
    const POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ASSERT_TRUE(SendInputPumping({MouseAt(middle, 0), MouseAt(middle, MOUSEEVENTF_WHEEL, DWORD(-WHEEL_DELTA))}));
    EXPECT_EQ(tree->OffsetY(), -static_cast<int>(lines) * 18);
    ASSERT_TRUE(SendInputPumping({MouseAt(middle, MOUSEEVENTF_WHEEL, WHEEL_DELTA)}));
    EXPECT_EQ(tree->OffsetY(), 0);
}

// A burst of scrolls sets the bars' positions without drawing them; they are
// drawn once when it is over, and that drawing leaves the rows alone (the
// rows were painted by the scrolls themselves).
TEST_F(ScrollTest, TheBarsAreDrawnAfterABurstWithoutPaintingTheRowsAgain)
{
    tree->SetRootNodeCount(1000);
    Show();
    int texts = 0;
    CountTexts(texts);
    UpdateWindow(h());
    Pump(50);
    // The colour at the middle of where the bar's thumb now belongs.
    auto thumbMiddle = [&] {
        SCROLLBARINFO info{};
        info.cbSize = sizeof info;
        GetScrollBarInfo(h(), OBJID_VSCROLL, &info);
        RECT w;
        GetWindowRect(h(), &w);
        const int x = (info.rcScrollBar.left + info.rcScrollBar.right) / 2 - w.left;
        const int y = info.rcScrollBar.top + (info.xyThumbTop + info.xyThumbBottom) / 2 - w.top;
        HDC dc = GetWindowDC(h());
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(h(), dc);
        return c;
    };
    const COLORREF thumb = thumbMiddle();
    for (int i = 0; i < 30; ++i) {
        SendMessageW(h(), WM_VSCROLL, SB_PAGEDOWN, 0);
        UpdateWindow(h());
    }
    ASSERT_LT(tree->OffsetY(), -8000);
    EXPECT_NE(thumbMiddle(), thumb);
    texts = 0;
    EXPECT_TRUE(PumpUntil([&] { return thumbMiddle() == thumb; }, 20000)) << "the scroll bar did not repaint its thumb where it started";
    Pump(100);
    EXPECT_EQ(texts, 0);
}

// The end of an update draws the frame again only when it changed: rows
// added to a long list leave the bars' look as it was (drawing them costs far
// more than the rows), while rows that bring a bar draw it.
TEST_F(ScrollTest, AnUpdateDrawsTheFrameOnlyWhenItChanged)
{
    tree->SetRootNodeCount(5);
    Show();
    int texts = 0;
    CountTexts(texts);
    g_framesOf = h();
    int& frames = g_frames;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountFrames, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    auto addRows = [&](int count) {
        frames = 0;
        texts = 0;
        tree->BeginUpdate();
        for (int i = 0; i < count; ++i)
            tree->AddChildNode(nullptr);
        tree->EndUpdate();
        tree->SetOffsetY(-tree->RangeY());
        UpdateWindow(h());
    };
    // No bar yet: a hundred thousand rows bring the vertical one, and it is drawn.
    ASSERT_FALSE(HasVerticalBar());
    addRows(100000);
    EXPECT_TRUE(HasVerticalBar());
    EXPECT_GT(frames, 0);
    EXPECT_GT(texts, 0);
    Pump(100);
    // Two more rows at the end: the thumb stays on its pixels,
    // the rows are painted and the frame is not.
    addRows(2);
    EXPECT_EQ(frames, 0);
    EXPECT_GT(texts, 0);
    const RECT last = tree->NodeDisplayRect(tree->GetLast(), NoColumn, false);
    EXPECT_EQ(last.bottom, tree->ClientRect().bottom);
    // Scrolls set the bars' positions and leave their drawing for later; an
    // update meanwhile draws them, as the frame shown is not the frame as it is.
    for (int i = 0; i < 30; ++i)
        SendMessageW(h(), WM_VSCROLL, SB_PAGEUP, 0);
    frames = 0;
    tree->BeginUpdate();
    tree->EndUpdate();
    UpdateWindow(h());
    EXPECT_GT(frames, 0);
    UnhookWindowsHookEx(hook);
}

// A frame drawing asked for before an update (by the system for a bar
// uncovered, or by the tree on a theme change) and not yet done is drawn,
// though the update leaves the frame's look as it was; so is one the tree
// asks for during the update.
TEST_F(ScrollTest, AFrameDrawingAskedForBeforeOrDuringAnUpdateIsDrawn)
{
    tree->SetRootNodeCount(100);
    Show();
    ASSERT_TRUE(HasVerticalBar());
    const COLORREF stain = RGB(255, 0, 255);
    // The vertical bar's pixels in the window's own coordinates.
    auto bar = [&] {
        SCROLLBARINFO info{};
        info.cbSize = sizeof info;
        GetScrollBarInfo(h(), OBJID_VSCROLL, &info);
        RECT window;
        GetWindowRect(h(), &window);
        OffsetRect(&info.rcScrollBar, -window.left, -window.top);
        return info.rcScrollBar;
    };
    auto stained = [&] {
        const RECT r = bar();
        HDC dc = GetWindowDC(h());
        int count = 0;
        for (int y = r.top; y < r.bottom; y += 3)
            for (int x = r.left; x < r.right; x += 3)
                count += GetPixel(dc, x, y) == stain;
        ReleaseDC(h(), dc);
        return count;
    };
    // Asked for before the update (the system's, or a theme change), or
    // during it (a theme change, or the form passing on new system colours).
    enum Ask { SystemBefore, ThemeBefore, ThemeDuring, ColoursDuring };
    for (Ask ask : {SystemBefore, ThemeBefore, ThemeDuring, ColoursDuring}) {
        SCOPED_TRACE(ask);
        UpdateWindow(h());
        Pump(50);
        const RECT r = bar();
        HDC dc = GetWindowDC(h());
        HBRUSH brush = CreateSolidBrush(stain);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        ReleaseDC(h(), dc);
        ASSERT_GT(stained(), 0);
        if (ask == SystemBefore)
            RedrawWindow(h(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
        else if (ask == ThemeBefore)
            SendMessageW(h(), WM_THEMECHANGED, 0, 0);
        tree->BeginUpdate();
        if (ask == ThemeDuring)
            SendMessageW(h(), WM_THEMECHANGED, 0, 0);
        else if (ask == ColoursDuring)
            SendMessageW(form->Handle(), WM_SYSCOLORCHANGE, 0, 0);
        tree->EndUpdate();
        UpdateWindow(h());
        Pump(50);
        EXPECT_EQ(stained(), 0);
    }
}

// The frames' header click: the sort column's ascending order becomes
// descending, descending becomes unsorted; another column sorts by itself.
TEST_F(ScrollTest, HeaderClicksSortInThreeStatesAndNewRowsSortThemselves)
{
    TVTHeader& header = tree->Header();
    // Column dragging off: under Wine on a loaded machine the X server may
    // report the mouse where the previous click was after this click's press;
    // with dragging on, that 30 px jump makes the press a column drag.
    header.SetOptions((header.Options() | hoVisible) & ~hoDrag);
    header.Columns().Add()->SetWidth(100);
    header.Columns().Add()->SetWidth(100);
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoSort);
    tree->SetNodeDataSize(sizeof(int));
    int nextId = 0;
    tree->OnInitNode = [&](TBaseVirtualTree* t, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates&) {
        *t->Data<int>(n) = nextId++;
    };
    auto key = [](int id, TColumnIndex column) { return column == 1 ? (id * 7) % 5 : id; };
    int compares = 0;
    tree->OnCompareNodes = [&](TBaseVirtualTree* t, PVirtualNode a, PVirtualNode b, TColumnIndex c, int& r) {
        ++compares;
        r = c < 0 ? 0 : key(*t->Data<int>(a), c) - key(*t->Data<int>(b), c);
    };
    int headerClicks = 0;
    tree->OnHeaderClick = [&](TVTHeader* hd, TColumnIndex c, TMouseButton button, TShiftState, int, int) {
        if (button != TMouseButton::mbLeft)
            return;
        ++headerClicks;
        if (c != hd->SortColumn()) {
            hd->SetSortColumn(c);
        } else if (hd->SortDirection() == sdAscending) {
            hd->SetSortDirection(sdDescending);
        } else {
            hd->SetSortColumn(NoColumn);
            hd->SetSortDirection(sdAscending);
        }
    };
    header.SetSortColumn(InvalidColumn);
    tree->SetRootNodeCount(12);
    tree->ValidateNode(nullptr, true);
    Show();
    auto order = [&] {
        std::vector<int> ids;
        for (PVirtualNode n = tree->GetFirstChild(nullptr); n; n = n->NextSibling)
            ids.push_back(*tree->Data<int>(n));
        return ids;
    };
    auto sorted = [&](std::vector<int> ids, bool descending) {
        std::stable_sort(ids.begin(), ids.end(), [&](int a, int b) {
            return descending ? key(a, 1) > key(b, 1) : key(a, 1) < key(b, 1);
        });
        return ids;
    };
    // Three clicks in column 1, far enough apart not to make a double click;
    // each waits until the header has handled it.
    auto click = [&](int x) {
        POINT cell{x, header.HeaderRect().top + 6};
        ClientToScreen(h(), &cell);
        const int before = headerClicks;
        // A busy machine may take seconds to hand the click over.
        const bool handled =
            SendInputPumping(MouseClickAt(cell)) && PumpUntil([&] { return headerClicks > before; }, 30000);
        EXPECT_TRUE(handled) << "the header did not handle the click at x=" << x << " within 30 s";
        return handled;
    };

    std::vector<int> expected = sorted(order(), false);
    ASSERT_TRUE(click(115));
    EXPECT_EQ(header.SortColumn(), 1);
    EXPECT_EQ(order(), expected);
    expected = sorted(expected, true);
    ASSERT_TRUE(click(145));
    EXPECT_EQ(header.SortDirection(), sdDescending);
    EXPECT_EQ(order(), expected);
    ASSERT_TRUE(click(175));
    EXPECT_EQ(header.SortColumn(), NoColumn);
    EXPECT_EQ(order(), expected);   // unsorted keeps what is there

    // Back to column 1 ascending: a new row takes its place at once; rows
    // added during an update are sorted once at its end.
    header.SetSortColumn(1);
    tree->AddChildNode(nullptr);
    EXPECT_EQ(order(), sorted(order(), false));
    tree->BeginUpdate();
    compares = 0;
    for (int i = 0; i < 5; ++i)
        tree->AddChildNode(nullptr);
    EXPECT_EQ(compares, 0);
    tree->EndUpdate();
    EXPECT_GT(compares, 0);
    EXPECT_EQ(order(), sorted(order(), false));
    EXPECT_EQ(tree->RootNode()->LastChild->NextSibling, nullptr);
    EXPECT_EQ(tree->RootNode()->FirstChild->PrevSibling, nullptr);
}

TEST_F(ScrollTest, SelectAllNodesTakesVisibleOrAllNodes)
{
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetRootNodeCount(1000);
    for (PVirtualNode n = tree->GetFirstChild(nullptr); n; n = n->NextSibling)
        if (n->Index % 100 == 0)
            tree->SetVisible(n, false);
    tree->SelectAllNodes(true);
    EXPECT_EQ(tree->SelectedCount(), 990u);
    tree->SelectAllNodes(false);
    EXPECT_EQ(tree->SelectedCount(), 1000u);
}

TEST_F(ScrollTest, TopNodeImageListChangesAndScaling)
{
    tree->SetRootNodeCount(100);
    PVirtualNode fortieth = tree->GetFirstChild(nullptr);
    while (fortieth->Index != 40)
        fortieth = fortieth->NextSibling;
    tree->SetChildCountOf(fortieth, 2);
    Show();
    // A child of a collapsed node: its parent opens, its row goes to the top.
    tree->SetTopNode(fortieth->LastChild);
    EXPECT_TRUE(tree->Expanded(fortieth));
    EXPECT_EQ(tree->OffsetY(), -(41 * 18 + 18));
    EXPECT_EQ(tree->TopNode(), fortieth->LastChild);

    // A change of the tree's image list repaints the tree, until the list goes.
    TImageList images(nullptr);
    TBitmap picture;
    picture.SetSize(16, 16);
    tree->SetImages(&images);
    auto repaintsOnChange = [&] {
        ValidateRect(h(), nullptr);
        images.Add(picture);
        RECT dirty{};
        return GetUpdateRect(h(), &dirty, FALSE) != 0;
    };
    EXPECT_TRUE(repaintsOnChange());
    tree->SetImages(nullptr);
    EXPECT_FALSE(repaintsOnChange());

    tree->ChangeScale(2, 1);
    EXPECT_EQ(tree->DefaultNodeHeight(), 18u);   // not without toAutoChangeScale
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoChangeScale);
    tree->ChangeScale(2, 1);
    EXPECT_EQ(tree->DefaultNodeHeight(), 36u);
}

}   // namespace
