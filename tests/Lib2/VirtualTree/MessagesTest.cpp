// The tree's answers to other code: tree-view item queries (hostile
// handles and buffers included), its accessible objects through the
// system's accessibility calls and focus events, tooltips for cut-off cells
// under a real mouse, the real wheel, and the header's hit-test answer.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/InputTestSupport.h"
#include "Lib2/VirtualTree/UtilTestSupport.h"
#include "Lib2/VirtualTree/VTHintWindow.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/Hints.h"
#include "platform/Text.h"
#include "support/Input.h"
#include "support/TestSupport.h"
#include "toolbars/TBAccess.h"

using namespace testing_support;
using vt_test::Pixels;

namespace {

using vt_input_test::MouseAt;

// Pumps through the application's loop, which drives the hints.
template <class Pred>
bool PumpApp(Pred pred, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Application().ProcessMessages();
    }
    return true;
}

// The mouse moved to the point and still there a moment later (under Wine
// a late move may report where the mouse was before).
bool MoveOver(POINT screen)
{
    auto there = [&] {
        POINT p{};
        GetCursorPos(&p);
        return p.x == screen.x && p.y == screen.y;
    };
    // Sent again while the cursor is not there, for up to 30 s.
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 30000;) {
        std::thread input = SendInputLater({MouseAt(screen, 0), MouseAt(screen, 0)}, 10);
        PumpApp(there, 3000);
        input.join();
        PumpApp([] { return false; }, 60);
        if (there())
            return true;
    }
    ADD_FAILURE() << "within 30 s the mouse did not stay at " << screen.x << "," << screen.y;
    return false;
}

// A string tree on a visible form: rows "Row 0".."Row n" with two
// children under row 0, or the texts a test gives.
class TreeMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        OleInitialize(nullptr);
        form = new TForm(nullptr);
        form->SetBounds(60, 60, 420, 320);
        tree = new TVirtualStringTree(form);
        tree->SetBounds(10, 10, 380, 260);
        tree->SetParent(form);
        tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                                 std::string& text) {
            if (throwText)
                throw std::runtime_error("text source broke");
            if (!texts.empty() && node->Parent == tree->RootNode() && node->Index < texts.size() && column <= 0)
                text = texts[node->Index];
            else if (column <= 0)
                text = (node->Parent == tree->RootNode() ? "Row " : "Child ") + std::to_string(node->Index);
            else
                text = "";
        };
    }
    void TearDown() override
    {
        delete form;
        OleUninitialize();
    }
    void Show()
    {
        form->Show();
        tree->HandleNeeded();
        SetForegroundWindow(form->Handle());
        tree->SetFocus();
        Pump(50);
    }
    PVirtualNode Top(unsigned index) const
    {
        PVirtualNode n = tree->GetFirstNoInit();
        while (n && index-- > 0)
            n = n->NextSibling;
        return n;
    }
    LRESULT Send(UINT msg, WPARAM w, LPARAM l) { return SendMessageW(tree->Handle(), msg, w, l); }

    TForm* form = nullptr;
    TVirtualStringTree* tree = nullptr;
    std::vector<std::string> texts;
    bool throwText = false;
};

TEST_F(TreeMessages, TreeViewQueriesAnswerForRealNodesAndRefuseBadHandlesAndBuffers)
{
    tree->SetRootNodeCount(4);
    Show();
    PVirtualNode row0 = Top(0), row1 = Top(1), row3 = Top(3);
    tree->SetChildCountOf(row0, 2);
    PVirtualNode child0 = row0->FirstChild, child1 = row0->LastChild;
    tree->SetExpanded(row0, true);
    tree->SetFocusedNode(child1);
    tree->SetDropTargetNode(row1);
    tree->SetSelected(row1, true);

    struct Case {
        WPARAM code;
        PVirtualNode from, expected;
    };
    const Case cases[] = {
        {TVGN_ROOT, nullptr, row0},          {TVGN_NEXT, row0, row1},
        {TVGN_PREVIOUS, row1, row0},         {TVGN_PREVIOUS, row0, nullptr},
        {TVGN_PARENT, child0, row0},         {TVGN_PARENT, row1, nullptr},
        {TVGN_CHILD, row0, child0},          {TVGN_FIRSTVISIBLE, nullptr, row0},
        {TVGN_NEXTVISIBLE, row0, child0},    {TVGN_NEXTVISIBLE, child1, row1},
        {TVGN_PREVIOUSVISIBLE, row1, child1}, {TVGN_DROPHILITE, nullptr, row1},
        {TVGN_CARET, nullptr, child1},       {TVGN_LASTVISIBLE, nullptr, row3},
        {TVGN_NEXT, reinterpret_cast<PVirtualNode>(0x10), nullptr},
        {TVGN_CHILD, reinterpret_cast<PVirtualNode>(tree), nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(reinterpret_cast<PVirtualNode>(Send(TVM_GETNEXTITEM, c.code, reinterpret_cast<LPARAM>(c.from))),
                  c.expected)
            << "code " << c.code;

    // Rectangles: the whole row, or the text only; a hidden node has none.
    // The node goes in where the rectangle comes out.
    auto itemRect = [](PVirtualNode node) {
        RECT r{};
        std::memcpy(&r, &node, sizeof node);
        return r;
    };
    RECT r = itemRect(row1);
    ASSERT_EQ(Send(TVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)), 1);
    const int rowTop = 3 * static_cast<int>(tree->DefaultNodeHeight());
    EXPECT_EQ(r.top, rowTop);
    EXPECT_EQ(r.bottom - r.top, static_cast<LONG>(tree->DefaultNodeHeight()));
    RECT text = itemRect(row1);
    ASSERT_EQ(Send(TVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&text)), 1);
    EXPECT_EQ(text.top, rowTop);
    EXPECT_GT(text.left, 0);
    EXPECT_LT(text.right, r.right);
    tree->SetExpanded(row0, false);
    RECT hidden = itemRect(child0);
    EXPECT_EQ(Send(TVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&hidden)), 0);
    hidden = itemRect(reinterpret_cast<PVirtualNode>(0x1234));
    EXPECT_EQ(Send(TVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&hidden)), 0);
    EXPECT_EQ(Send(TVM_GETITEMRECT, 0, 0), 0);
    tree->SetExpanded(row0, true);

    // Items: state bits, children and the text in a buffer that has room.
    tree->OnGetImageIndex = [&](TBaseVirtualTree*, PVirtualNode node, TVTImageKind kind, TColumnIndex, bool&,
                                int& index) {
        if (node == row0)
            index = kind == ikNormal ? 3 : kind == ikSelected ? 4 : kind == ikState ? 1 : 0;
    };
    char buffer[16];
    TVITEMA item{};
    item.mask = TVIF_HANDLE | TVIF_STATE | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(row0);
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    ASSERT_EQ(Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1);
    EXPECT_EQ(item.cChildren, 2);
    EXPECT_EQ(item.iImage, 3);
    EXPECT_EQ(item.iSelectedImage, 4);
    EXPECT_EQ(item.stateMask, 0xFF2Fu);
    EXPECT_EQ(item.state, UINT(TVIS_EXPANDED | (1u << 8) | (2u << 12)));
    EXPECT_STREQ(buffer, "Row 0");
    item.hItem = reinterpret_cast<HTREEITEM>(row1);
    item.mask = TVIF_HANDLE | TVIF_STATE | TVIF_IMAGE;
    ASSERT_EQ(Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1);
    EXPECT_EQ(item.state, UINT(TVIS_SELECTED | TVIS_DROPHILITED));
    EXPECT_EQ(item.iImage, -1);
    item.hItem = reinterpret_cast<HTREEITEM>(child1);
    ASSERT_EQ(Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1);
    EXPECT_EQ(item.state, 1u);   // focused

    // A short buffer gets what fits and the terminator; none, or one of no
    // size, is never written.
    item.mask = TVIF_HANDLE | TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(row3);
    std::memset(buffer, 'x', sizeof buffer);
    item.cchTextMax = 4;
    Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(std::string(buffer, 5), std::string("Row\0x", 5));
    std::memset(buffer, 'x', sizeof buffer);
    item.cchTextMax = 0;
    EXPECT_EQ(Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1);
    EXPECT_EQ(buffer[0], 'x');
    item.pszText = nullptr;
    item.cchTextMax = 16;
    EXPECT_EQ(Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1);
    item.pszText = reinterpret_cast<char*>(0x20);
    EXPECT_EQ(Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 1);
    item.hItem = reinterpret_cast<HTREEITEM>(0x30);
    EXPECT_EQ(Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
    item.hItem = reinterpret_cast<HTREEITEM>(row3);
    item.mask = TVIF_TEXT;   // without TVIF_HANDLE
    EXPECT_EQ(Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
    EXPECT_EQ(Send(TVM_GETITEMA, 0, 0x40), 0);

    // Other window messages: the theme manager is told no, the background
    // is never erased, the header is border to hit tests.
    EXPECT_EQ(Send(0xB7D0, 0, 0), 1);
    EXPECT_EQ(Send(WM_ERASEBKGND, 0, 0), 1);
    tree->Header().Columns().Add()->SetWidth(200);
    tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    Pump(30);
    const POINT inHeader = tree->ClientToScreen(POINT{50, -tree->Header().Height() / 2});
    const POINT inClient = tree->ClientToScreen(POINT{50, 5});
    EXPECT_EQ(Send(WM_NCHITTEST, 0, MAKELPARAM(inHeader.x, inHeader.y)), HTBORDER);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, MAKELPARAM(inClient.x, inClient.y)), HTCLIENT);
    RECT window;
    GetWindowRect(tree->Handle(), &window);
    EXPECT_EQ(Send(WM_NCHITTEST, 0, MAKELPARAM(window.left + 50, window.top - 3)), HTNOWHERE);

    // New system colours reach the tree through its form: the check boxes
    // take the new window colour.
    auto boxHas = [](COLORREF colour) {
        Pixels box(16, 16);
        ImageList_Draw(CheckImages(ckLightCheck)->Handle(), ckCheckUnchecked, box.dc(), 0, 0, ILD_NORMAL);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if ((box.at(x, y) & 0xFFFFFF) == ((GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour)))
                    return true;
        return false;
    };
    const int element = COLOR_WINDOW;
    const COLORREF oldWindow = GetSysColor(COLOR_WINDOW), probe = RGB(10, 200, 30);
    ASSERT_FALSE(boxHas(probe));
    SetSysColors(1, &element, &probe);
    PumpUntil([&] { return boxHas(probe); }, 20000);   // checked below
    const bool recoloured = boxHas(probe);
    SetSysColors(1, &element, &oldWindow);
    Pump(50);
    EXPECT_TRUE(recoloured);
}

// Focus events seen by an out-of-context hook.
std::vector<std::pair<HWND, LONG>> g_focusEvents;
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD)
{
    if (event == EVENT_OBJECT_FOCUS)
        g_focusEvents.push_back({window, object});
}

std::string Name(IAccessible* object, LONG child = CHILDID_SELF)
{
    VARIANT id;
    id.vt = VT_I4;
    id.lVal = child;
    BSTR name = nullptr;
    if (object->get_accName(id, &name) != S_OK || !name)
        return "<none>";
    std::string text = WideToUtf8(name);
    SysFreeString(name);
    return text;
}

TEST_F(TreeMessages, AccessibleObjectsDescribeTheTreeAndFollowTheFocusedNode)
{
    tree->SetAccessibleName("Clients");
    tree->SetRootNodeCount(5);
    Show();
    IAccessible* acc = nullptr;
    ASSERT_EQ(TBAccessibleObjectFromWindow(tree->Handle(), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                           reinterpret_cast<void**>(&acc)),
              S_OK);
    ASSERT_NE(acc, nullptr);
    EXPECT_EQ(Name(acc), "Clients");
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role;
    ASSERT_EQ(acc->get_accRole(self, &role), S_OK);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_OUTLINE);
    LONG count = 0;
    ASSERT_EQ(acc->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(Name(acc, 3), "Row 2");

    // The focused item is one object that always describes the focused node.
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, OnWinEvent,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    g_focusEvents.clear();
    tree->SetFocusedNode(Top(1));
    EXPECT_TRUE(PumpUntil([] { return !g_focusEvents.empty(); }, 20000));
    ASSERT_FALSE(g_focusEvents.empty());
    EXPECT_EQ(g_focusEvents.back(), std::make_pair(tree->Handle(), LONG(OBJID_CLIENT)));
    VARIANT focus;
    ASSERT_EQ(acc->get_accFocus(&focus), S_OK);
    ASSERT_EQ(focus.vt, VT_DISPATCH);
    IAccessible* item = nullptr;
    ASSERT_EQ(focus.pdispVal->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&item)), S_OK);
    focus.pdispVal->Release();
    EXPECT_EQ(Name(item), "Row 1");
    ASSERT_EQ(item->get_accRole(self, &role), S_OK);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_OUTLINEITEM);
    VARIANT state;
    ASSERT_EQ(item->get_accState(self, &state), S_OK);
    EXPECT_TRUE(state.lVal & STATE_SYSTEM_FOCUSED);
    g_focusEvents.clear();
    tree->SetFocusedNode(Top(4));
    EXPECT_TRUE(PumpUntil([] { return !g_focusEvents.empty(); }, 20000));
    EXPECT_EQ(Name(item), "Row 4");
    LONG left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(item->accLocation(&left, &top, &width, &height, self), S_OK);
    EXPECT_EQ(top, tree->ClientToScreen(POINT{0, 4 * 18}).y);
    EXPECT_EQ(height, 18);
    UnhookWinEvent(hook);

    // A failing text source: the call answers E_UNEXPECTED and the error
    // reaches the application's handler.
    ClearCaughtErrors();
    throwText = true;
    BSTR name = nullptr;
    EXPECT_EQ(item->get_accName(self, &name), E_UNEXPECTED);
    throwText = false;
    ASSERT_EQ(CaughtErrors().size(), 1u);
    EXPECT_NE(CaughtErrors()[0].find("text source broke"), std::string::npos);

    // Without the tree the objects answer E_FAIL and never touch it.
    delete form;
    form = nullptr;
    EXPECT_EQ(acc->get_accChildCount(&count), E_FAIL);
    EXPECT_EQ(item->get_accName(self, &name), E_FAIL);
    item->Release();
    acc->Release();
}

TEST_F(TreeMessages, ARealMouseOverACutOffCellShowsItsWholeTextAsTooltip)
{
    const std::string longText = "A text far too long for the first column of this list";
    texts = {longText, "Fits"};
    tree->Header().Columns().Add()->SetWidth(120);
    tree->Header().Columns().Add()->SetWidth(150);
    tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    tree->SetHintMode(hmTooltip);
    tree->SetShowHint(true);
    tree->SetRootNodeCount(2);
    Show();
    auto hintShown = [&] {
        TVirtualTreeHintWindow* w = tree->HintWindow();
        return w && w->HandleAllocated() && IsWindowVisible(w->Handle());
    };

    // From below the rows onto the cut-off cell: the hint window over the
    // cell with all of it.
    ASSERT_TRUE(MoveOver(tree->ClientToScreen(POINT{40, 100})));
    PumpApp([] { return false; }, 100);
    ASSERT_TRUE(MoveOver(tree->ClientToScreen(POINT{40, 9})));
    ASSERT_TRUE(PumpApp(hintShown, 20000)) << "no hint over the cut-off cell within 20 s";
    EXPECT_EQ(tree->HintWindow()->HintText(), longText);
    RECT r;
    GetWindowRect(tree->HintWindow()->Handle(), &r);
    const POINT cell = tree->ClientToScreen(POINT{0, 0});
    EXPECT_NEAR(r.top, cell.y, 3);
    EXPECT_GT(r.left, cell.x);
    EXPECT_LT(r.left, cell.x + 30);
    EXPECT_GT(r.right - r.left, 150);
    // The screen shows its text right of the cell, where the row is empty.
    auto inkRightOfCell = [&] {
        HDC screen = GetDC(nullptr);
        int dark = 0;
        for (int y = r.top + 2; y < r.bottom - 6; ++y)
            for (int x = tree->ClientToScreen(POINT{125, 0}).x; x < r.right - 8; ++x)
                dark += (GetPixel(screen, x, y) & 0xFFFFFF) == 0;
        ReleaseDC(nullptr, screen);
        return dark;
    };
    EXPECT_GT(inkRightOfCell(), 20);
    // A click on it reaches the tree and ends it.
    POINT pressed{-1, -1};
    tree->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int x, int y) { pressed = POINT{x, y}; };
    std::thread input = SendInputLater(vt_input_test::ClickWith(), 20);
    EXPECT_TRUE(PumpApp([&] { return pressed.x >= 0 && !hintShown(); }, 20000))
        << "the click on the hint did not reach the tree and end the hint within 20 s";
    input.join();
    EXPECT_EQ(pressed.x, 40);
    EXPECT_EQ(pressed.y, 9);
    tree->OnMouseDown = nullptr;

    // Over a cell that fits: the hint goes and none comes.
    ASSERT_TRUE(MoveOver(tree->ClientToScreen(POINT{40, 27})));
    PumpApp([] { return false; }, 300);
    EXPECT_FALSE(hintShown());
    EXPECT_EQ(inkRightOfCell(), 0);
    // Back over the cut-off cell: shown at once again.
    ASSERT_TRUE(MoveOver(tree->ClientToScreen(POINT{60, 8})));
    EXPECT_TRUE(PumpApp(hintShown, 20000)) << "the hint did not come back over the cut-off cell within 20 s";
    Application().CancelHint();
    EXPECT_FALSE(hintShown());

    // The pause before a hint: none for tooltips and over the header.
    int pause = 500;
    tree->HintShowPause(false, pause);
    EXPECT_EQ(pause, 0);
    tree->SetHintMode(hmHint);
    pause = 500;
    tree->HintShowPause(false, pause);
    EXPECT_EQ(pause, 500);
    const POINT header = tree->ClientToScreen(POINT{40, -tree->Header().Height() / 2});
    SetCursorPos(header.x, header.y);
    EXPECT_TRUE(PumpUntil([&] {
        POINT now;
        GetCursorPos(&now);
        return now.x == header.x && now.y == header.y;
    }, 20000)) << "the cursor did not reach the header within 20 s";
    tree->HintShowPause(true, pause);
    EXPECT_EQ(pause, 0);

    // An owner-drawn tree gives its hints their size and draws them.
    auto* drawn = new TVirtualDrawTree(form);
    drawn->SetBounds(10, 10, 200, 100);
    drawn->SetParent(form);
    drawn->SetRootNodeCount(2);
    drawn->SetShowHint(true);
    drawn->SetHintMode(hmHint);
    drawn->HandleNeeded();
    int drawnHints = 0;
    drawn->OnGetHintSize = [](TBaseVirtualTree* t, PVirtualNode node, TColumnIndex, RECT& r) {
        r = node == t->GetFirstNoInit() ? RECT{r.left, r.top, r.left + 50, r.top + 20} : RECT{};
    };
    drawn->OnDrawHint = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode, const RECT&, TColumnIndex) { ++drawnHints; };
    THintInfo info;
    info.CursorPos = POINT{30, 5};
    ASSERT_TRUE(drawn->HintShow(info));
    ASSERT_TRUE(drawn->ShowOwnHint(info));
    GetWindowRect(drawn->HintWindow()->Handle(), &r);
    EXPECT_EQ(r.right - r.left, 50);
    EXPECT_EQ(r.bottom - r.top, 20);
    EXPECT_GE(drawnHints, 1);
    drawn->HideOwnHint();
    info.CursorPos = POINT{30, 23};
    EXPECT_FALSE(drawn->HintShow(info));
}

// A hint about a node goes with the node: deleted alone or with its parent.
TEST_F(TreeMessages, AHintGoesWithItsNode)
{
    auto* drawn = new TVirtualDrawTree(form);
    drawn->SetBounds(10, 10, 200, 100);
    drawn->SetParent(form);
    drawn->SetShowHint(true);
    drawn->SetHintMode(hmHint);
    drawn->SetHintAnimation(hatNone);
    drawn->HandleNeeded();
    drawn->OnGetHintSize = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, RECT& r) {
        r = RECT{r.left, r.top, r.left + 50, r.top + 20};
    };
    for (bool withParent : {false, true}) {
        SCOPED_TRACE(withParent ? "with its parent" : "alone");
        drawn->ClearNodes();
        drawn->SetRootNodeCount(2);
        PVirtualNode parent = drawn->GetFirstNoInit();
        drawn->SetChildCountOf(parent, 1);
        drawn->SetExpanded(parent, true);
        THintInfo info;
        // The second row: the first one's child.
        info.CursorPos = POINT{30, static_cast<int>(drawn->DefaultNodeHeight()) + 5};
        ASSERT_TRUE(drawn->HintShow(info));
        ASSERT_TRUE(drawn->ShowOwnHint(info));
        ASSERT_TRUE(IsWindowVisible(drawn->HintWindow()->Handle()));
        drawn->DeleteNode(withParent ? parent : parent->FirstChild);
        EXPECT_FALSE(IsWindowVisible(drawn->HintWindow()->Handle()));
        EXPECT_FALSE(drawn->HasState(tsHint));
    }
}

TEST_F(TreeMessages, TheRealWheelScrollsByLinesOrPagesAndSidewaysWhenAllRowsFit)
{
    tree->SetRootNodeCount(200);
    Show();
    const POINT middle = tree->ClientToScreen(POINT{100, 100});
    const int rowHeight = static_cast<int>(tree->DefaultNodeHeight());
    const int clientHeight = tree->ClientRect().bottom;
    UINT lines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    // Wheel turns where the mouse is (a move would take the keys' state
    // from the X server, without Ctrl).
    auto wheel = [](int delta) {
        INPUT in = vt_input_test::MouseButton(MOUSEEVENTF_WHEEL);
        in.mi.mouseData = static_cast<DWORD>(delta);
        return in;
    };
    ASSERT_TRUE(MoveOver(middle));
    ASSERT_TRUE(SendInputPumping({wheel(-WHEEL_DELTA)}));
    EXPECT_EQ(tree->OffsetY(), -static_cast<int>(lines) * rowHeight);
    // Ctrl: a page of whole rows.
    std::vector<INPUT> ctrlWheel = Chord({VK_CONTROL});
    ctrlWheel.insert(ctrlWheel.begin() + 1, wheel(-WHEEL_DELTA));
    ASSERT_TRUE(SendInputPumping(ctrlWheel));
    EXPECT_EQ(tree->OffsetY(), -static_cast<int>(lines) * rowHeight - clientHeight / rowHeight * rowHeight);

    // Every row fits: the wheel moves sideways by Indent, Ctrl by a page.
    tree->SetRootNodeCount(3);
    tree->Header().Columns().Add()->SetWidth(900);
    tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    Pump(30);
    ASSERT_EQ(tree->OffsetY(), 0);
    ASSERT_TRUE(SendInputPumping({wheel(-WHEEL_DELTA)}));
    const int indent = static_cast<int>(tree->Indent());
    EXPECT_EQ(tree->OffsetX(), -indent);
    ASSERT_TRUE(SendInputPumping(ctrlWheel));
    const int clientWidth = tree->ClientRect().right;
    EXPECT_EQ(tree->OffsetX(), -indent - clientWidth / indent * indent);
    ASSERT_TRUE(SendInputPumping({wheel(WHEEL_DELTA)}));
    EXPECT_EQ(tree->OffsetX(), -clientWidth / indent * indent);
}

}  // namespace
