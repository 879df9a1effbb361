// The list control and the real mouse: click, Shift and Ctrl selection, the
// pending clear on a selected node, the rubber band growing and shrinking,
// auto-scrolling under the band, levels kept by Shift ranges, check boxes
// released elsewhere, hot tracking with its cursor,
// click-and-wait editing, popups, double clicks and middle-button panning.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Lib2/VirtualTree/InputTestSupport.h"
#include "platform/Menus.h"

using namespace testing_support;
using namespace vt_input_test;

namespace {

using Rows = std::vector<unsigned>;

class MouseTest : public InputTreeTest {
protected:
    void MultiSelect() { tree->TreeOptions().SetSelectionOptions(toMultiSelect); }
    HCURSOR CurrentCursor()
    {
        CURSORINFO ci{};
        ci.cbSize = sizeof ci;
        GetCursorInfo(&ci);
        return ci.hCursor;
    }
    // A point on a node's check box (found by the hit test).
    POINT CheckBoxPoint(unsigned index)
    {
        const RECT r = tree->NodeDisplayRect(Node(index), tree->Header().MainColumn(), false);
        for (int x = 0; x < 60; ++x) {
            THitInfo hit;
            tree->HitTestAt(x, (r.top + r.bottom) / 2, hit, true);
            if (hit.HitPositions & hpOnCheckBox)
                return Screen(x + 3, (r.top + r.bottom) / 2);
        }
        ADD_FAILURE() << "no check box";
        return POINT{};
    }
};

TEST_F(MouseTest, ClicksWithShiftAndCtrlSelect)
{
    MultiSelect();
    Show(10);
    const struct {
        unsigned row;
        std::initializer_list<WORD> keys;
        Rows selected;
    } steps[] = {
        {2, {}, {2}},
        {5, {VK_SHIFT}, {2, 3, 4, 5}},
        {7, {VK_CONTROL}, {2, 3, 4, 5, 7}},
        {3, {VK_CONTROL}, {2, 4, 5, 7}},                  // a selected node unselected
        {8, {VK_CONTROL, VK_SHIFT}, {2, 3, 4, 5, 6, 7, 8}},   // from the anchor (row 3) added
        {4, {VK_SHIFT}, {3, 4}},                          // the range replaces the selection
        {0, {}, {0}},
    };
    for (const auto& step : steps) {
        const int before = changes;
        ASSERT_TRUE(Click(LabelPoint(step.row), step.keys));
        EXPECT_EQ(Selected(), step.selected) << "row " << step.row;
        EXPECT_EQ(tree->FocusedNode(), Node(step.row));
        EXPECT_GT(changes, before) << "row " << step.row;
    }
    // A press beside the rows clears the selection.
    ASSERT_TRUE(Click(Screen(100, 250)));
    EXPECT_TRUE(Selected().empty());
}

TEST_F(MouseTest, ShiftClickKeepsTheLevelOfTheFirstSelectedNode)
{
    tree->TreeOptions().SetSelectionOptions(toMultiSelect | toLevelSelectConstraint);
    tree->OnInitNode = [this](TBaseVirtualTree*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
        if (tree->NodeLevel(node) == 0)
            states |= ivsHasChildren | ivsExpanded;
    };
    tree->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, unsigned& count) { count = 3; };
    Show(2);
    PVirtualNode first = tree->GetFirstChild(Node(0)), second = first->NextSibling;
    // From a child up to its parent's row: only the children in between.
    ASSERT_TRUE(Click(NodeLabelPoint(second)));
    ASSERT_TRUE(Click(LabelPoint(0), {VK_SHIFT}));
    EXPECT_EQ(tree->GetSelection().size(), 2u);
    EXPECT_TRUE(tree->Selected(first) && tree->Selected(second));
}

TEST_F(MouseTest, PressOnASelectedNodeKeepsTheSelectionForADrag)
{
    MultiSelect();
    std::vector<POINT> drags;
    tree->onDragging = [&](POINT p) { drags.push_back(p); };
    tree->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
    Show(10);
    ASSERT_TRUE(Click(LabelPoint(2)));
    ASSERT_TRUE(Click(LabelPoint(5), {VK_SHIFT}));
    ASSERT_EQ(Selected(), (Rows{2, 3, 4, 5}));

    // Pressed: all stay selected; released without moving: only that node.
    ASSERT_TRUE(Press(LabelPoint(4)));
    EXPECT_EQ(Selected(), (Rows{2, 3, 4, 5}));
    EXPECT_TRUE(tree->HasState(tsClearPending));
    ASSERT_TRUE(Release(LabelPoint(4)));
    EXPECT_EQ(Selected(), (Rows{4}));
    EXPECT_TRUE(drags.empty());

    // Moved far enough, the press becomes a drag from the press point and
    // the selection stays.
    ASSERT_TRUE(Click(LabelPoint(7), {VK_SHIFT}));
    const POINT p5 = LabelPoint(5);
    const POINT beyond{p5.x + 30, p5.y + 30};
    ASSERT_TRUE(Press(p5) && DragTo(p5, beyond) && Release(beyond));
    ASSERT_EQ(drags.size(), 1u);
    EXPECT_EQ(tree->ClientToScreen(drags[0]).y, p5.y);
    EXPECT_EQ(Selected(), (Rows{4, 5, 6, 7}));
}

TEST_F(MouseTest, ARightPressBesideTheRowsWhileALeftPressWaitsClearsTheSelection)
{
    tree->TreeOptions().SetSelectionOptions(toMultiSelect | toRightClickSelect);
    tree->onDragging = [](POINT) { ADD_FAILURE() << "a drag started"; };
    tree->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
    Show(1);
    ASSERT_TRUE(Click(LabelPoint(0)));
    testing_support::ClearCaughtErrors();
    // Left held on the selected row (its clearing waits for a drag), then the
    // right button just below the row, within the drag threshold.
    const RECT r = tree->NodeDisplayRect(Node(0), tree->Header().MainColumn(), true);
    const POINT onRow = Screen((r.left + r.right) / 2, r.bottom - 2), below = Screen(onRow.x - Screen(0, 0).x, r.bottom + 1);
    ASSERT_TRUE(Press(onRow));
    ASSERT_TRUE(tree->HasState(tsClearPending));
    ASSERT_TRUE(Send({MouseAt(below, MOUSEEVENTF_RIGHTDOWN)}));
    EXPECT_EQ(testing_support::CaughtErrors(), std::vector<std::string>{});
    EXPECT_TRUE(Selected().empty());
    EXPECT_FALSE(tree->HasState(tsClearPending));
    ASSERT_TRUE(Send({MouseAt(below, MOUSEEVENTF_RIGHTUP), MouseAt(below, MOUSEEVENTF_LEFTUP)}));
    EXPECT_TRUE(Selected().empty());
}

TEST_F(MouseTest, RubberBandGrowsShrinksAndToggles)
{
    MultiSelect();
    Show(10);
    // From right of row 1's text to the text of row 5, back to row 3.
    const POINT start = BesidePoint(1), row5 = LabelPoint(5), row3 = LabelPoint(3);
    ASSERT_TRUE(Press(start) && DragTo(start, row5, 8));
    EXPECT_TRUE(tree->HasState(tsDrawSelecting));
    EXPECT_EQ(Selected(), (Rows{1, 2, 3, 4, 5}));
    ASSERT_TRUE(DragTo(row5, row3, 4));
    EXPECT_EQ(Selected(), (Rows{1, 2, 3}));
    ASSERT_TRUE(Release(row3));
    EXPECT_FALSE(tree->HasState(tsDrawSelecting | tsDrawSelPending));
    EXPECT_EQ(Selected(), (Rows{1, 2, 3}));

    // With Ctrl the band toggles what it covers; without, it starts afresh.
    ASSERT_TRUE(Press(BesidePoint(2), {VK_CONTROL}) && DragTo(BesidePoint(2), LabelPoint(4)) &&
                Release(LabelPoint(4), {VK_CONTROL}));
    EXPECT_EQ(Selected(), (Rows{1, 4}));
    ASSERT_TRUE(Press(BesidePoint(6)) && DragTo(BesidePoint(6), LabelPoint(7)) && Release(LabelPoint(7)));
    EXPECT_EQ(Selected(), (Rows{6, 7}));
}

TEST_F(MouseTest, RubberBandScrollsAtTheEdgeWithAutoScroll)
{
    MultiSelect();
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoScroll);
    tree->SetAutoScrollDelay(50);
    tree->SetAutoScrollInterval(20);
    Show(100);
    // Held near the bottom edge: the tree scrolls and the band follows.
    const POINT start = BesidePoint(2), edge = Screen(40, tree->ClientRect().bottom - 3);
    ASSERT_TRUE(Press(start) && DragTo(start, edge));
    EXPECT_TRUE(PumpUntil([&] { return tree->OffsetY() < 0; }, 20000))
        << "the tree did not scroll with the band held at its edge within 20 s";
    ASSERT_TRUE(Release(edge));
    const unsigned lastShown = static_cast<unsigned>((tree->ClientRect().bottom - 3 - tree->OffsetY()) / 18);
    const Rows selected = Selected();
    ASSERT_FALSE(selected.empty());
    EXPECT_EQ(selected.front(), 2u);
    EXPECT_EQ(selected.back(), lastShown);
    EXPECT_EQ(selected.size(), lastShown - 1);
}

TEST_F(MouseTest, CheckClickAppliesOnlyWhenReleasedOverTheSameRow)
{
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    tree->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
        node->CheckType = ctCheckBox;
    };
    std::vector<PVirtualNode> checked;
    tree->OnChecked = [&](TBaseVirtualTree*, PVirtualNode node) { checked.push_back(node); };
    Show(8);
    ASSERT_TRUE(Click(CheckBoxPoint(1)));
    EXPECT_EQ(tree->CheckState(Node(1)), csCheckedNormal);
    EXPECT_EQ(checked, std::vector<PVirtualNode>{Node(1)});

    // Pressed: the pressed look; released on another row: back as it was.
    const POINT box = CheckBoxPoint(2);
    ASSERT_TRUE(Press(box));
    EXPECT_EQ(tree->CheckState(Node(2)), csUncheckedPressed);
    ASSERT_TRUE(DragTo(box, LabelPoint(5)) && Release(LabelPoint(5)));
    EXPECT_EQ(tree->CheckState(Node(2)), csUncheckedNormal);
    EXPECT_FALSE(tree->HasState(tsMouseCheckPending));
    EXPECT_EQ(checked.size(), 1u);

    // Released on the same row's text: applied (unticking row 1).
    const POINT box1 = CheckBoxPoint(1);
    ASSERT_TRUE(Press(box1) && DragTo(box1, LabelPoint(1)) && Release(LabelPoint(1)));
    EXPECT_EQ(tree->CheckState(Node(1)), csUncheckedNormal);
    EXPECT_EQ(checked.size(), 2u);
}

TEST_F(MouseTest, HotNodeShowsTheHotCursor)
{
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toHotTrack);
    HCURSOR hand = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
    tree->SetHotCursor(hand);
    std::vector<std::pair<PVirtualNode, PVirtualNode>> hot;
    tree->OnHotChange = [&](TBaseVirtualTree*, PVirtualNode from, PVirtualNode to) { hot.push_back({from, to}); };
    ASSERT_TRUE(MoveTo(POINT{5, 5}));
    Show(100);
    ASSERT_TRUE(MoveTo(LabelPoint(3)));
    EXPECT_EQ(tree->HotNode(), Node(3));
    EXPECT_EQ(CurrentCursor(), hand);
    ASSERT_TRUE(MoveTo(BesidePoint(3)));
    EXPECT_EQ(tree->HotNode(), nullptr);
    EXPECT_NE(CurrentCursor(), hand);
    // A Cursor that OnMouseMove sets shows with that very move (as the
    // program's link cells do; the system asked for the cursor before it).
    HCURSOR beam = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_IBEAM));
    tree->OnMouseMove = [&](TObject*, TShiftState, int, int) { tree->SetCursor(beam); };
    const POINT beside = tree->ScreenToClient(BesidePoint(3));
    SendMessageW(tree->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(beside.x, beside.y));
    EXPECT_EQ(CurrentCursor(), beam);
    tree->OnMouseMove = nullptr;
    tree->SetCursor(nullptr);
    // OnGetCursor has the last word.
    HCURSOR cross = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_CROSS));
    tree->OnGetCursor = [&](TBaseVirtualTree*, HCURSOR& cursor) {
        if (cursor == hand)
            cursor = cross;
    };
    const POINT at4 = LabelPoint(4);
    ASSERT_TRUE(MoveTo(at4));
    EXPECT_EQ(CurrentCursor(), cross);
    // The wheel scrolls three rows under the resting mouse: row 7 is hot.
    ASSERT_TRUE(Send({MouseAt(at4, MOUSEEVENTF_WHEEL, static_cast<DWORD>(-WHEEL_DELTA))}));
    ASSERT_EQ(tree->OffsetY(), -3 * static_cast<int>(tree->DefaultNodeHeight()));
    EXPECT_EQ(tree->HotNode(), Node(7));
    // Leaving the tree: no hot node (the system looks for the mouse leaving
    // at the hover time's pace, 400 ms by default).
    ASSERT_TRUE(MoveTo(Screen(-30, 40), 100));
    EXPECT_TRUE(testing_support::PumpUntil([&] { return tree->HotNode() == nullptr; }, 20000));
    // Each change reported from the node before to the new one (Wine may
    // report a move back to an older mouse position in between).
    ASSERT_FALSE(hot.empty());
    EXPECT_EQ(hot.front(), std::make_pair(PVirtualNode(nullptr), Node(3)));
    EXPECT_EQ(hot.back(), std::make_pair(Node(7), PVirtualNode(nullptr)));
    for (size_t i = 0; i < hot.size(); ++i) {
        EXPECT_NE(hot[i].first, hot[i].second);
        if (i > 0) {
            EXPECT_EQ(hot[i].first, hot[i - 1].second);
        }
    }
}

// A scroll from the keyboard finds the row under a resting mouse where the
// mouse last moved; with the mouse gone from the tree no row turns hot.
TEST_F(MouseTest, KeyScrollUnderTheRestingMouseMovesTheHotNode)
{
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toHotTrack);
    ASSERT_TRUE(MoveTo(POINT{5, 5}));
    Show(100);
    ASSERT_TRUE(MoveTo(LabelPoint(3)));
    ASSERT_EQ(tree->HotNode(), Node(3));
    std::vector<INPUT> ctrlDown;
    AppendKeys(ctrlDown, {VK_CONTROL, VK_DOWN}, false);
    AppendKeys(ctrlDown, {VK_CONTROL, VK_DOWN}, true);
    ASSERT_TRUE(Send(ctrlDown));
    ASSERT_EQ(tree->OffsetY(), -static_cast<int>(tree->DefaultNodeHeight()));
    EXPECT_EQ(tree->HotNode(), Node(4));
    // Away from the tree: the next scroll leaves every row cold.
    ASSERT_TRUE(MoveTo(Screen(-30, 40), 100));
    ASSERT_TRUE(testing_support::PumpUntil([&] { return tree->HotNode() == nullptr; }, 20000));
    ASSERT_TRUE(Send(ctrlDown));
    ASSERT_EQ(tree->OffsetY(), -2 * static_cast<int>(tree->DefaultNodeHeight()));
    EXPECT_EQ(tree->HotNode(), nullptr);
}

// A menu, or whatever else took the mouse from the tree, may have set a
// cursor of its own: the next scroll under the resting mouse shows the hot
// cursor again.
VOID CALLBACK EndTheMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    EndMenu();
}

TEST_F(MouseTest, AScrollAfterAMenuOrACancelledModeShowsTheHotCursorAgain)
{
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toHotTrack);
    HCURSOR hand = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
    HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    tree->SetHotCursor(hand);
    ASSERT_TRUE(MoveTo(POINT{5, 5}));
    Show(100);
    ASSERT_TRUE(MoveTo(LabelPoint(3)));
    ASSERT_EQ(CurrentCursor(), hand);
    // A menu; a cancelled mode; another window's plain SetCursor that the
    // tree is told nothing of (as a message box answered from the keyboard
    // leaves it).
    enum Case { Menu, CancelledMode, Untold };
    for (Case c : {Menu, CancelledMode, Untold}) {
        SCOPED_TRACE(c);
        ::SetCursor(arrow);
        if (c == Menu) {
            HMENU popup = CreatePopupMenu();
            AppendMenuW(popup, MF_STRING, 1, L"item");
            SetTimer(nullptr, 0, 100, EndTheMenu);
            const POINT away = Screen(300, 250);
            TrackPopupMenu(popup, TPM_RETURNCMD, away.x, away.y, 0, tree->Handle(), nullptr);
            DestroyMenu(popup);
        } else if (c == CancelledMode) {
            SendMessageW(tree->Handle(), WM_CANCELMODE, 0, 0);
        }
        ASSERT_EQ(CurrentCursor(), arrow);
        PVirtualNode hot = tree->HotNode();
        ASSERT_NE(hot, nullptr);
        SendMessageW(tree->Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
        ASSERT_EQ(tree->HotNode(), hot->NextSibling);
        EXPECT_EQ(CurrentCursor(), hand);
    }
}

// A child window put on the tree by other code moves with the rows: one
// made on it, one made without telling its parent (WS_EX_NOPARENTNOTIFY) and
// one moved onto it with SetParent. Each on a tree of its own, the child
// coming after a burst of scrolls, or in the middle of one (then it follows
// the rows that scrolled after it came once the burst is over).
TEST_F(MouseTest, AForeignChildWindowMovesWithTheRows)
{
    Show(0);
    enum Kind { Made, MadeQuietly, MovedOnto };
    for (bool duringBurst : {false, true})
        for (Kind kind : {Made, MadeQuietly, MovedOnto}) {
            SCOPED_TRACE(testing::Message() << kind << (duringBurst ? " during a burst" : " after one"));
            auto* list = new TVirtualStringTree(form);
            list->SetBounds(5, 5, 380, 280);
            list->SetParent(form);
            list->SetRootNodeCount(100);
            list->HandleNeeded();
            SendMessageW(list->Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
            if (!duringBurst) {
                SendMessageW(list->Handle(), WM_VSCROLL, SB_TOP, 0);
                testing_support::Pump(100);   // that burst of scrolls is over
            }
            HWND child = CreateWindowExW(kind == MadeQuietly ? WS_EX_NOPARENTNOTIFY : 0, L"STATIC", L"child",
                                         WS_CHILD | WS_VISIBLE, 20, 100, 60, 16,
                                         kind == MovedOnto ? form->Handle() : list->Handle(), nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
            ASSERT_NE(child, nullptr);
            if (kind == MovedOnto) {
                SetParent(child, list->Handle());
                MoveWindow(child, 20, 100, 60, 16, TRUE);
            }
            auto topOf = [&] {
                RECT r;
                GetWindowRect(child, &r);
                return list->ScreenToClient(POINT{r.left, r.top}).y;
            };
            ASSERT_EQ(topOf(), 100);
            const int before = list->OffsetY();
            for (int i = 0; i < (duringBurst ? 10 : 1); ++i)
                SendMessageW(list->Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
            const int moved = before - list->OffsetY();
            ASSERT_GT(moved, 0);
            if (duringBurst)
                EXPECT_TRUE(testing_support::PumpUntil([&] { return topOf() == 100 - moved; }, 20000))
                    << "the child to follow the " << moved << " px the rows moved after it came; top " << topOf();
            else
                EXPECT_EQ(topOf(), 100 - moved);
            DestroyWindow(child);
            delete list;
        }
}

// With a fixed column, horizontal and diagonal scrolls move child windows too.
TEST_F(MouseTest, ChildWindowsMoveWithTheRowsBesideAFixedColumn)
{
    TVirtualTreeColumn* fixed = tree->Header().Columns().Add();
    fixed->SetWidth(100);
    fixed->SetOptions(fixed->Options() | coFixed);
    tree->Header().Columns().Add()->SetWidth(900);
    Show(100);
    HWND child = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD | WS_VISIBLE, 200, 100, 60, 16, tree->Handle(),
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(child, nullptr);
    auto placeOf = [&] {
        RECT r;
        GetWindowRect(child, &r);
        return tree->ScreenToClient(POINT{r.left, r.top});
    };
    for (POINT offset : {POINT{-40, 0}, POINT{-80, -36}}) {
        SCOPED_TRACE(offset.y ? "diagonal" : "horizontal");
        tree->DoSetOffsetXY(offset, DefaultScrollUpdateFlags);
        ASSERT_EQ(tree->OffsetX(), offset.x);
        ASSERT_EQ(tree->OffsetY(), offset.y);
        EXPECT_EQ(placeOf().x, 200 + offset.x);
        EXPECT_EQ(placeOf().y, 100 + offset.y);
    }
    DestroyWindow(child);
}

TEST_F(MouseTest, ClickAndWaitEditsTheSelectedNode)
{
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
    tree->SetEditDelay(100);
    Show(6);
    ASSERT_TRUE(Click(LabelPoint(2)));
    Pump(GetDoubleClickTime() + 100);
    EXPECT_FALSE(tree->IsEditing());   // the first click only selected it
    ASSERT_TRUE(Click(LabelPoint(2), {}));
    EXPECT_TRUE(PumpUntil([&] { return tree->IsEditing(); }, 20000));
    EXPECT_EQ(tree->EditNode(), Node(2));
    // A click elsewhere ends the edit and starts none.
    ASSERT_TRUE(Click(LabelPoint(4)));
    Pump(300);
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(Selected(), (Rows{4}));
}

TEST_F(MouseTest, RightClickPopups)
{
    tree->TreeOptions().SetSelectionOptions(toMultiSelect | toRightClickSelect);
    TPopupMenu menu(nullptr);
    int shown = 0;
    std::atomic<int> popups{0};   // either menu asked for, read by the Escape thread
    menu.OnPopup = [&](TObject*) {
        ++shown;
        ++popups;
    };
    std::vector<PVirtualNode> asked;
    tree->OnGetPopupMenu = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, POINT, bool& askParent,
                               TPopupMenu*& popup) {
        asked.push_back(node);
        askParent = false;
        popup = &menu;
    };
    Show(8);
    ASSERT_TRUE(Click(LabelPoint(1)));
    ASSERT_TRUE(Click(LabelPoint(4), {VK_SHIFT}));
    auto rightClick = [&](POINT p) {
        // Escape once the menu was asked for: it waits in the queue for the
        // menu's loop.
        const int before = popups;
        std::thread escape([&popups, before] {
            WaitUntil([&] { return popups > before; }, 20000);   // if it never comes, the counts below tell
            std::vector<INPUT> keys = Chord({VK_ESCAPE});
            SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
        });
        const bool sent = Click(p, {}, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
        escape.join();
        Pump(100);
        return sent;
    };
    // On a selected node the selection stays; the menu shows once, for that node.
    ASSERT_TRUE(rightClick(LabelPoint(2)));
    EXPECT_EQ(Selected(), (Rows{1, 2, 3, 4}));
    EXPECT_EQ(shown, 1);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), Node(2));
    EXPECT_EQ(menu.PopupComponent, tree);
    // On another node it is selected alone.
    ASSERT_TRUE(rightClick(LabelPoint(6)));
    EXPECT_EQ(Selected(), (Rows{6}));
    EXPECT_EQ(shown, 2);
    // The tree's own PopupMenu, when set, is the one shown (once).
    TPopupMenu own(nullptr);
    int ownShown = 0;
    own.OnPopup = [&](TObject*) {
        ++ownShown;
        ++popups;
    };
    tree->SetPopupMenu(&own);
    ASSERT_TRUE(rightClick(LabelPoint(3)));
    EXPECT_EQ(ownShown, 1);
    EXPECT_EQ(shown, 2);
    tree->SetPopupMenu(nullptr);
}

TEST_F(MouseTest, DoubleClickTogglesWithTheOption)
{
    tree->OnInitNode = [this](TBaseVirtualTree*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
        if (tree->NodeLevel(node) == 0 && node->Index == 0)
            states |= ivsHasChildren;
    };
    tree->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, unsigned& count) { count = 2; };
    int doubleClicks = 0;
    tree->OnDblClick = [&](TObject*) { ++doubleClicks; };
    Show(4);
    auto doubleClick = [&](POINT p) {
        std::vector<INPUT> v = ClickAt(p);
        v.push_back(MouseAt(p, MOUSEEVENTF_LEFTDOWN));
        v.push_back(MouseAt(p, MOUSEEVENTF_LEFTUP));
        return MoveTo(p) && Send(v);
    };
    // Without toToggleOnDblClick the double click is only reported.
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() & ~toToggleOnDblClick);
    ASSERT_TRUE(doubleClick(LabelPoint(0)));
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_FALSE(tree->Expanded(Node(0)));
    Pump(GetDoubleClickTime() + 50);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toToggleOnDblClick);
    ASSERT_TRUE(doubleClick(LabelPoint(0)));
    EXPECT_EQ(doubleClicks, 2);
    EXPECT_TRUE(tree->Expanded(Node(0)));
    Pump(GetDoubleClickTime() + 50);
    ASSERT_TRUE(doubleClick(LabelPoint(0)));
    EXPECT_FALSE(tree->Expanded(Node(0)));
}

BOOL CALLBACK FindPanningWindow(HWND window, LPARAM found)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (std::wstring(name) == L"BrenixVTPanningWindow" && IsWindowVisible(window))
        *reinterpret_cast<HWND*>(found) = window;
    return TRUE;
}

TEST_F(MouseTest, MiddleButtonPanning)
{
    Show(300);
    auto panningWindow = [] {
        HWND found = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindPanningWindow, reinterpret_cast<LPARAM>(&found));
        return found;
    };
    auto cursor = [](const wchar_t* name) { return LoadCursorW(GetModuleHandleW(nullptr), name); };
    const POINT middle = Screen(150, 120);
    ASSERT_TRUE(Click(middle, {}, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP));
    ASSERT_TRUE(tree->HasState(tsPanning));
    HWND window = panningWindow();
    ASSERT_NE(window, nullptr);
    // Shaped to the picture: its corners (magenta in the bitmap) are cut away.
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(window, region), COMPLEXREGION);
    RECT box;
    GetRgnBox(region, &box);
    EXPECT_FALSE(PtInRegion(region, box.left, box.top));
    DeleteObject(region);
    // Only vertical scrolling is possible here.
    EXPECT_EQ(CurrentCursor(), cursor(L"VT_MOVENS"));
    const int before = tree->OffsetY();
    ASSERT_TRUE(MoveTo(POINT{middle.x, middle.y + 80}, 300));
    EXPECT_EQ(CurrentCursor(), cursor(L"VT_MOVES"));
    EXPECT_TRUE(PumpUntil([&] { return tree->OffsetY() < before; }, 20000))
        << "the tree did not pan down within 20 s";
    // Any click ends it; the window goes and the scrolling stops.
    ASSERT_TRUE(Click(POINT{middle.x, middle.y + 80}));
    EXPECT_FALSE(tree->HasState(tsPanning | tsWheelPanning));
    EXPECT_EQ(panningWindow(), nullptr);
    const int after = tree->OffsetY();
    Pump(100);
    EXPECT_EQ(tree->OffsetY(), after);
}

TEST(MouseDropEffect, SuggestedByKeysAndSource)
{
    TVirtualStringTree tree(nullptr);
    TObject other;
    const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    const struct {
        TObject* source;
        TShiftState shift;
        DWORD allowed, expected;
    } cases[] = {
        {&other, 0, all, DROPEFFECT_COPY},
        {nullptr, 0, all, DROPEFFECT_COPY},
        {&tree, 0, all, DROPEFFECT_MOVE},
        {&tree, 0, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_COPY | DROPEFFECT_LINK},
        {&tree, ssCtrl, all, DROPEFFECT_COPY},
        {&other, ssShift, all, DROPEFFECT_MOVE},
        {&other, ssShift, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {&other, ssCtrl | ssShift, all, DROPEFFECT_LINK},
        {&tree, ssAlt, all, DROPEFFECT_LINK},
        {&tree, ssAlt, DROPEFFECT_MOVE, DROPEFFECT_MOVE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tree.SuggestDropEffect(c.source, c.shift, POINT{}, c.allowed), c.expected)
            << c.shift << " " << c.allowed;
}

}   // namespace
