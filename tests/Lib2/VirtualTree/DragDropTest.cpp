// Drag and drop between and within trees with real mouse and key input (the
// drag loop runs on this thread, a helper thread moves the mouse), drop
// marks, auto-expand and auto-scroll; copy, cut and paste through the OLE
// clipboard with a second process reading it; hostile clipboard data; an
// empty node stream and Assign.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Lib2/VirtualTree/VTDataObject.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Actions.h"
#include "platform/Form.h"
#include "platform/Stream.h"
#include "support/Input.h"
#include "support/TestSupport.h"

namespace ole_test {
std::string RunClipReader(DWORD& exitCode); // OleTest.cpp
}

namespace {

using testing_support::KeyInput;
using testing_support::MouseMoveTo;

INPUT Button(DWORD flags)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    return in;
}

// A tree whose texts are its own: OnGetText reads them, OnNewText (also the
// captions of nodes read from a stream) writes them.
struct TextTree {
    TVirtualStringTree* tree;
    std::map<PVirtualNode, std::string> texts;

    TextTree(TComponent* owner, const std::vector<std::string>& rows) : tree(new TVirtualStringTree(owner))
    {
        tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::string& t) {
            auto it = texts.find(node);
            t = it == texts.end() ? "?" : it->second;
        };
        tree->OnNewText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, const std::string& t) {
            texts[node] = t;
        };
        tree->OnFreeNode = [this](TBaseVirtualTree*, PVirtualNode node) { texts.erase(node); };
        tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
        // A press on a selected row keeps the selection for the drag.
        tree->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
        for (const std::string& row : rows)
            texts[tree->AddChildNode(nullptr)] = row;
    }
    // The texts of every node in tree order, children indented.
    std::string Rows()
    {
        std::string out;
        for (PVirtualNode n = tree->GetFirstNoInit(); n; n = tree->GetNextNoInit(n))
            out += (out.empty() ? "" : ",") + std::string(tree->NodeLevel(n), '>') + texts[n];
        return out;
    }
    PVirtualNode Row(unsigned i)
    {
        PVirtualNode n = tree->GetFirstNoInit();
        while (n && i--)
            n = n->NextSibling;
        return n;
    }
    void Select(std::initializer_list<unsigned> rows)
    {
        tree->ClearSelection();
        for (unsigned i : rows)
            tree->AddToSelection(Row(i));
    }
};

// A clipboard object as another program could make it: blocks of bytes by format name.
IDataObject* Offering(const std::vector<std::pair<const wchar_t*, std::vector<uint8_t>>>& blocks)
{
    auto* object = new TVTDataObject(nullptr, false);
    for (const auto& [name, bytes] : blocks) {
        FORMATETC f{CLIPFORMAT(name ? RegisterClipboardFormatW(name) : CF_UNICODETEXT), nullptr, DVASPECT_CONTENT, -1,
                    TYMED_HGLOBAL};
        STGMEDIUM m{};
        m.tymed = TYMED_HGLOBAL;
        m.hGlobal = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(m.hGlobal), bytes.data(), bytes.size());
        GlobalUnlock(m.hGlobal);
        object->SetData(&f, &m, TRUE);
    }
    return object;
}

template <class T>
std::vector<uint8_t> Bytes(std::initializer_list<T> values, const std::vector<uint8_t>& tail = {})
{
    std::vector<uint8_t> v(values.size() * sizeof(T));
    std::memcpy(v.data(), values.begin(), v.size());
    v.insert(v.end(), tail.begin(), tail.end());
    return v;
}

// Inserts the dropped rows at the drop target, as a program would.
void DropInto(TBaseVirtualTree* target, bool optimized, std::vector<TDropMode>* modes = nullptr)
{
    target->OnDragOver = [modes](TBaseVirtualTree*, TObject*, TShiftState, TDragState state, POINT, TDropMode mode,
                                 DWORD&, bool& accept) {
        if (modes && state == dsDragMove)
            modes->push_back(mode);
        accept = true;
    };
    target->OnDragDrop = [optimized](TBaseVirtualTree* sender, TObject* source, IDataObject* data,
                                     const std::vector<CLIPFORMAT>&, TShiftState, POINT, DWORD& effect, TDropMode mode) {
        const TVTNodeAttachMode how = mode == dmAbove ? amInsertBefore : mode == dmBelow ? amInsertAfter : amAddChildLast;
        sender->ProcessClipboardData(dynamic_cast<TBaseVirtualTree*>(source), data, sender->DropTargetNode(), how,
                                     optimized && effect == DROPEFFECT_MOVE);
        effect = DROPEFFECT_MOVE;
    };
}

class VTDragDrop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing_support::HaveDisplay())
            GTEST_SKIP() << "no display";
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        testing_support::ClearCaughtErrors();
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 620, 320);
        a = std::make_unique<TextTree>(form, std::vector<std::string>{"A0", "A1", "A2"});
        b = std::make_unique<TextTree>(form, std::vector<std::string>{"B0", "B1", "B2"});
        for (TextTree* t : {a.get(), b.get()}) {
            t->tree->SetBounds(t == a.get() ? 5 : 300, 5, 250, 200);
            t->tree->SetParent(form);
        }
        form->Show();
        testing_support::Pump(50);
    }
    void TearDown() override
    {
        // The mouse leaves the place later tests may want to move it to.
        testing_support::SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 0);
        OleSetClipboard(nullptr);
        delete form;
        a.reset();
        b.reset();
        OleUninitialize();
    }

    // Absolute input lands within a pixel of the point asked for.
    static bool Near(POINT p, POINT q) { return std::abs(p.x - q.x) <= 2 && std::abs(p.y - q.y) <= 2; }

    // The left button goes down on the point of `from`, the drag starts there,
    // and a helper thread goes through the path (screen points, 40 ms apart)
    // and then sends `finish`, one event every 100 ms.
    void Drag(TBaseVirtualTree* from, POINT startClient, std::vector<POINT> path, std::vector<INPUT> finish)
    {
        const POINT start = from->ClientToScreen(startClient);
        const TNodeArray selected = from->SortedSelection(true);
        // Wine may still hold a pointer event from before the move and place
        // the press beside the row, which clears the selection: such a press
        // is taken back and made again.
        for (int attempt = 0;; ++attempt) {
            EXPECT_TRUE(testing_support::SendInputPumping(MouseMoveTo(start), 50));
            EXPECT_TRUE(testing_support::PumpUntil([&] {
                POINT p;
                return GetCursorPos(&p) && Near(p, start);
            }, 20000)) << "the cursor did not reach the drag's start within 20 s";
            EXPECT_TRUE(testing_support::SendInputPumping({Button(MOUSEEVENTF_LEFTDOWN)}, 50));
            // On a busy machine the press may still be queued: handled later,
            // inside the drag loop, it would narrow the selection to the pressed row.
            EXPECT_TRUE(
                testing_support::PumpUntil([&] { return (from->TreeStates() & tsLeftButtonDown) != 0; }, 15000))
                << "press " << attempt + 1;
            const POINT pressed = from->LastClickPos();
            if (Near(pressed, startClient) || attempt == 2)
                break;
            testing_support::SendInputPumping({Button(MOUSEEVENTF_LEFTUP)}, 50);
            EXPECT_TRUE(testing_support::PumpUntil([&] { return (from->TreeStates() & tsLeftButtonDown) == 0; }, 20000))
                << "the button-up of press " << attempt + 1 << " was not handled within 20 s";
            // The next press must not make a double click of this one.
            testing_support::Pump(GetDoubleClickTime() + 50);
            from->ClearSelection();
            for (PVirtualNode node : selected)
                from->AddToSelection(node);
        }
        std::atomic<bool> done{false};
        std::thread mover([start, path, finish, &done] {
            POINT last = start;
            for (POINT p : path)
                for (int i = 1; i <= 4; ++i) {
                    Sleep(40);
                    auto move = MouseMoveTo(POINT{last.x + (p.x - last.x) * i / 4, last.y + (p.y - last.y) * i / 4});
                    SendInput(1, move.data(), sizeof(INPUT));
                    if (i == 4)
                        last = p;
                }
            for (INPUT in : finish) {
                Sleep(100);
                SendInput(1, &in, sizeof(INPUT));
            }
            done = true;
        });
        // The drag runs here, or (once the mouse handling made it pending on
        // the press) from the first mouse move this thread gets.
        from->SetLastClickPos(startClient);
        from->BeginDrag(true);
        testing_support::PumpUntil([&] { return done.load(); }, 20000);
        mover.join();
        if (GetAsyncKeyState(VK_LBUTTON) & 0x8000)
            testing_support::SendInputPumping({Button(MOUSEEVENTF_LEFTUP)}, 50);
        testing_support::Pump(50);
    }
    // A point of a row: on its text, or right of it in the upper or lower half.
    static POINT OnLabel(TextTree& t, unsigned row)
    {
        RECT r = t.tree->NodeDisplayRect(t.Row(row), NoColumn, true);
        return t.tree->ClientToScreen(POINT{r.left + 4, (r.top + r.bottom) / 2});
    }
    static POINT OffLabel(TextTree& t, unsigned row, bool upper)
    {
        RECT r = t.tree->NodeDisplayRect(t.Row(row), NoColumn, false);
        return t.tree->ClientToScreen(POINT{r.right - 20, upper ? r.top + 3 : r.bottom - 3});
    }
    POINT StartOf(TextTree& t, unsigned row)
    {
        return t.tree->ScreenToClient(OnLabel(t, row));
    }

    TForm* form = nullptr;
    std::unique_ptr<TextTree> a, b;
};

} // namespace

TEST_F(VTDragDrop, RowsDraggedToAnotherTreeMove)
{
    // Moved by reference (the optimized move), copied through the node stream
    // and deleted afterwards (toAutoDeleteMovedNodes), or copied and kept;
    // a copy pending in the source (of row 1) changes nothing.
    struct Case {
        bool optimized, autoDelete, copyPending;
        const char* source;
        const char* target;
    } cases[] = {
        {true, true, false, "A1", "B0,A0,A2,B1,B2"},
        {false, true, false, "A1", "B0,A0,A2,B1,B2"},
        {false, false, false, "A0,A1,A2", "B0,A0,A2,B1,B2"},
        {true, true, true, "A1", "B0,A0,A2,B1,B2"},
        {false, true, true, "A1", "B0,A0,A2,B1,B2"},
    };
    for (const Case& c : cases) {
        if (&c != cases) {
            TearDown();
            SetUp();
        }
        TVTAutoOptions autoOptions = a->tree->TreeOptions().AutoOptions() & ~toAutoDeleteMovedNodes;
        a->tree->TreeOptions().SetAutoOptions(autoOptions | (c.autoDelete ? toAutoDeleteMovedNodes : 0));
        if (c.copyPending) {
            a->Select({1});
            a->tree->CopyNodesToClipboard();
        }
        a->Select({0, 2});
        std::vector<TDropMode> modes;
        DropInto(b->tree, c.optimized, &modes);
        Drag(a->tree, StartOf(*a, 0), {OffLabel(*b, 0, false)}, {Button(MOUSEEVENTF_LEFTUP)});
        EXPECT_EQ(a->Rows(), c.source) << c.optimized << c.autoDelete << c.copyPending;
        EXPECT_EQ(b->Rows(), c.target) << c.optimized << c.autoDelete << c.copyPending;
        ASSERT_FALSE(modes.empty());
        EXPECT_EQ(modes.back(), dmBelow);
        EXPECT_FALSE(a->tree->IsDragging());
        EXPECT_EQ(b->tree->DropTargetNode(), nullptr);
        EXPECT_EQ(testing_support::CaughtErrors(), std::vector<std::string>{});
    }
}

TEST_F(VTDragDrop, WithinATreeDropMarksFollowTheRowAutoExpandCtrlCopiesEscapeCancels)
{
    struct Seen {
        PVirtualNode node;
        TDropMode mode;
        DWORD effect;
    };
    std::vector<Seen> seen;
    TDragState lastState = dsDragEnter;
    DWORD entered = 0, expanded = 0;
    PVirtualNode parent = a->Row(2);
    a->texts[a->tree->AddChildNode(parent)] = "A2.0";
    a->tree->SetAutoExpandDelay(400);
    a->tree->OnDragOver = [&](TBaseVirtualTree* sender, TObject* source, TShiftState, TDragState state, POINT,
                              TDropMode mode, DWORD& effect, bool& accept) {
        EXPECT_EQ(source, sender);
        lastState = state;
        if (state == dsDragMove)
            seen.push_back({sender->DropTargetNode(), mode, effect});
        if (!entered && sender->DropTargetNode() == parent)
            entered = GetTickCount();
        accept = true;
    };
    a->tree->OnExpanded = [&](TBaseVirtualTree*, PVirtualNode node) { expanded = node == parent ? GetTickCount() : 0; };
    a->tree->OnDragDrop = [](TBaseVirtualTree*, TObject*, IDataObject*, const std::vector<CLIPFORMAT>&, TShiftState,
                             POINT, DWORD&, TDropMode) { ADD_FAILURE() << "dropped"; };
    a->Select({0});
    // Row 2 above its middle, below it and on its text (staying for the
    // expansion); then Ctrl over row 1; then Escape.
    std::vector<INPUT> finish(8, MouseMoveTo(OnLabel(*a, 2))[0]);
    // (Ctrl goes down again after the move: Wine may let go of held keys on a move.)
    for (INPUT in : {KeyInput(VK_CONTROL, false), MouseMoveTo(OnLabel(*a, 1))[0], MouseMoveTo(OnLabel(*a, 1))[0],
                     KeyInput(VK_CONTROL, false), KeyInput(VK_CONTROL, false), KeyInput(VK_ESCAPE, false),
                     KeyInput(VK_ESCAPE, true)})
        finish.push_back(in);
    Drag(a->tree, StartOf(*a, 0), {OffLabel(*a, 2, true), OffLabel(*a, 2, false), OnLabel(*a, 2)}, finish);
    testing_support::SendInputPumping({KeyInput(VK_CONTROL, true)}, 20);
    EXPECT_EQ(a->Rows(), "A0,A1,A2,>A2.0");
    EXPECT_EQ(lastState, dsDragLeave);
    EXPECT_EQ(a->tree->DropTargetNode(), nullptr);
    EXPECT_TRUE(a->tree->Expanded(parent));
    ASSERT_TRUE(entered && expanded);
    EXPECT_GE(expanded - entered, 380u);
    auto saw = [&](PVirtualNode node, TDropMode mode, DWORD effect) {
        for (const Seen& s : seen)
            if (s.node == node && s.mode == mode && s.effect == effect)
                return true;
        return false;
    };
    // Within the tree a move is suggested, with Ctrl a copy.
    EXPECT_TRUE(saw(parent, dmAbove, DROPEFFECT_MOVE));
    EXPECT_TRUE(saw(parent, dmBelow, DROPEFFECT_MOVE));
    EXPECT_TRUE(saw(parent, dmOnNode, DROPEFFECT_MOVE));
    EXPECT_FALSE(saw(parent, dmAbove, DROPEFFECT_COPY) || saw(parent, dmBelow, DROPEFFECT_COPY));
    EXPECT_TRUE(saw(a->Row(1), dmOnNode, DROPEFFECT_COPY));
}

TEST_F(VTDragDrop, ADragAtTheLowerEdgeScrollsTheTarget)
{
    for (int i = 3; i < 40; ++i)
        b->texts[b->tree->AddChildNode(nullptr)] = "B" + std::to_string(i);
    b->tree->OnDragOver = [](TBaseVirtualTree*, TObject*, TShiftState, TDragState, POINT, TDropMode, DWORD&,
                             bool& accept) { accept = true; };
    const RECT client = b->tree->ClientRect();
    const POINT edge = b->tree->ClientToScreen(POINT{60, client.bottom - 4});
    std::vector<INPUT> finish(6, MouseMoveTo(edge)[0]);
    finish.push_back(KeyInput(VK_ESCAPE, false));
    finish.push_back(KeyInput(VK_ESCAPE, true));
    a->Select({0});
    Drag(a->tree, StartOf(*a, 0), {edge}, finish);
    EXPECT_LT(b->tree->OffsetY(), -40);
    EXPECT_GE(b->tree->OffsetY(), client.bottom - b->tree->RangeY());
    EXPECT_EQ(b->tree->RootNodeCount(), 40u);
}

TEST_F(VTDragDrop, CutPasteMovesCancelKeepsAndCopyOutlivesARefresh)
{
    a->Select({0, 2});
    SendMessageW(a->tree->Handle(), WM_CUT, 0, 0);
    EXPECT_TRUE(a->tree->HasState(tsCutPending));
    EXPECT_TRUE(a->Row(0)->States & vsCutOrCopy);
    EXPECT_FALSE(a->Row(1)->States & vsCutOrCopy);
    a->tree->CancelPendingCutCopy();
    EXPECT_FALSE(a->Row(0)->States & vsCutOrCopy);
    // Pasted now, it is a copy.
    EXPECT_TRUE(b->tree->PasteNodesFromClipboard());
    EXPECT_EQ(b->Rows(), "B0,B1,B2,A0,A2");
    EXPECT_EQ(a->Rows(), "A0,A1,A2");

    b->tree->ClearNodes();
    SendMessageW(a->tree->Handle(), WM_CUT, 0, 0);
    b->tree->SetFocusedNode(nullptr);
    SendMessageW(b->tree->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(b->Rows(), "A0,A2");
    EXPECT_EQ(a->Rows(), "A1");
    EXPECT_FALSE(a->tree->HasState(tsCutPending));
    // What was cut is not pasted twice.
    EXPECT_FALSE(b->tree->PasteNodesFromClipboard());

    // A move the source refuses leaves the source as it was; the paste says
    // what it did (one of two moved).
    for (int allowed : {0, 1}) {
        SCOPED_TRACE(allowed);
        b->tree->ClearNodes();
        a->tree->ClearNodes();
        for (const char* text : {"A0", "A1", "A2", "A3", "A4"})
            a->tree->SetText(a->tree->AddChildNode(nullptr), NoColumn, text);
        a->Select({1, 3});
        int asked = 0;
        a->tree->OnNodeMoving = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode, bool& allow) {
            allow = asked++ < allowed;
        };
        a->tree->CutNodesToClipboard();
        EXPECT_EQ(b->tree->PasteNodesFromClipboard(), allowed == 1);
        EXPECT_EQ(asked, 2);
        EXPECT_EQ(b->Rows(), allowed ? "A1" : "");
        EXPECT_EQ(a->Rows(), allowed ? "A0,A2,A3,A4" : "A0,A1,A2,A3,A4");
        EXPECT_FALSE(a->tree->HasState(tsCutPending));
        for (PVirtualNode n = a->tree->GetFirstNoInit(); n; n = a->tree->GetNextNoInit(n))
            EXPECT_FALSE(n->States & vsCutOrCopy);
        a->tree->OnNodeMoving = nullptr;
    }
    // Copies that OnNodeCopied deletes at once, pasted one after the other:
    // each still goes in, and no later one is linked to or reports a gone one.
    a->Select({0, 1});
    a->tree->CopyNodesToClipboard();
    b->tree->SetFocusedNode(b->Row(0));
    b->tree->SetDefaultPasteMode(amInsertAfter);
    std::vector<PVirtualNode> gone, reported;
    b->tree->OnNodeCopied = [&](TBaseVirtualTree* s, PVirtualNode n) {
        gone.push_back(n);
        s->DeleteNode(n);
    };
    b->tree->OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode n, TChangeReason) { reported.push_back(n); };
    EXPECT_TRUE(b->tree->PasteNodesFromClipboard());
    EXPECT_EQ(gone.size(), 2u);
    EXPECT_EQ(b->Rows(), "A1");
    for (PVirtualNode n : reported)
        EXPECT_EQ(std::count(gone.begin(), gone.end(), n), 0);
    b->tree->OnNodeCopied = nullptr;
    b->tree->OnStructureChange = nullptr;
    b->tree->SetDefaultPasteMode(amAddChildLast);

    // Back to where the cut above left both trees.
    a->tree->ClearNodes();
    b->tree->ClearNodes();
    a->tree->SetText(a->tree->AddChildNode(nullptr), NoColumn, "A1");
    for (const char* text : {"A0", "A2"})
        b->tree->SetText(b->tree->AddChildNode(nullptr), NoColumn, text);

    // A copy survives the refresh of its tree: the text is rendered first.
    b->Select({0, 1});
    SendMessageW(b->tree->Handle(), WM_COPY, 0, 0);
    EXPECT_TRUE(b->tree->HasState(tsCopyPending));
    b->tree->ClearNodes();
    EXPECT_FALSE(b->tree->HasState(tsCopyPending));
    DWORD exitCode = 0;
    EXPECT_EQ(ole_test::RunClipReader(exitCode), "A0\r\nA2\r\n");
    // ... and leaves alone what another program put there meanwhile.
    a->Select({0});
    a->tree->CopyNodesToClipboard();
    IDataObject* other = Offering({{nullptr, Bytes<wchar_t>({L'o', L't', L'h', L'e', L'r', 0})}});
    ASSERT_EQ(OleSetClipboard(other), S_OK);
    other->Release();
    EXPECT_FALSE(a->tree->HasState(tsCopyPending));
    a->tree->ClearNodes();
    EXPECT_EQ(ole_test::RunClipReader(exitCode), "other");
    EXPECT_EQ(testing_support::CaughtErrors(), std::vector<std::string>{});
}

// A program's Edit menu: standard edit actions with no handler of their own
// act on the focused tree, enabled by its state; with no tree focused they
// are disabled.
TEST_F(VTDragDrop, EditActionsDriveTheFocusedTree)
{
    auto* list = new TActionList(form);
    std::map<TEditCommand, TEditAction*> action;
    for (TEditCommand c : {TEditCommand::ecCut, TEditCommand::ecCopy, TEditCommand::ecPaste,
                           TEditCommand::ecSelectAll, TEditCommand::ecDelete}) {
        action[c] = new TEditAction(form, c);
        action[c]->SetActionList(list);
    }
    auto enabled = [&] {
        std::string on;
        for (auto& [command, a] : action) {
            a->Update();
            on += a->Enabled() ? "1" : "0";
        }
        return on;   // cut, copy, paste, select all, delete
    };
    auto focus = [&](TVirtualStringTree* tree) {
        tree->SetFocus();
        return testing_support::PumpUntil([&] { return tree->Focused(); }, 20000);
    };
    OleSetClipboard(nullptr);
    SetForegroundWindow(form->Handle());
    SetFocus(form->Handle());
    EXPECT_EQ(enabled(), "00000");
    ASSERT_TRUE(focus(a->tree));
    a->tree->ClearSelection();
    EXPECT_EQ(enabled(), "00010");

    EXPECT_TRUE(action[TEditCommand::ecSelectAll]->Execute());
    EXPECT_EQ(a->tree->SelectedCount(), 3u);
    EXPECT_EQ(enabled(), "11011");
    EXPECT_TRUE(action[TEditCommand::ecCopy]->Execute());
    DWORD exitCode = 0;
    EXPECT_EQ(ole_test::RunClipReader(exitCode), "A0\r\nA1\r\nA2\r\n");

    ASSERT_TRUE(focus(b->tree));
    b->tree->SetFocusedNode(nullptr);
    b->tree->ClearSelection();
    EXPECT_EQ(enabled(), "00110");
    EXPECT_TRUE(action[TEditCommand::ecPaste]->Execute());
    EXPECT_EQ(b->Rows(), "B0,B1,B2,A0,A1,A2");
    b->Select({0, 1});
    EXPECT_TRUE(action[TEditCommand::ecDelete]->Execute());
    EXPECT_EQ(b->Rows(), "B2,A0,A1,A2");
    b->Select({0});
    EXPECT_TRUE(action[TEditCommand::ecCut]->Execute());
    EXPECT_TRUE(b->tree->HasState(tsCutPending));

    // Read-only: only copying and selecting; nothing is deleted.
    ASSERT_TRUE(focus(a->tree));
    a->tree->TreeOptions().SetMiscOptions(a->tree->TreeOptions().MiscOptions() | toReadOnly);
    a->Select({0});
    EXPECT_EQ(enabled(), "01010");
    EXPECT_FALSE(action[TEditCommand::ecDelete]->Execute());
    EXPECT_EQ(a->Rows(), "A0,A1,A2");

    // Rows without text leave no text on the clipboard.
    a->texts[a->Row(1)] = "";
    a->Select({1});
    EXPECT_TRUE(action[TEditCommand::ecCopy]->Execute());
    EXPECT_EQ(ole_test::RunClipReader(exitCode), "");
    EXPECT_EQ(exitCode, 2u);
    EXPECT_EQ(testing_support::CaughtErrors(), std::vector<std::string>{});
}

TEST_F(VTDragDrop, ForeignAndHostileClipboardData)
{
    // Two nodes of a real tree as node chunks.
    a->Select({0, 1});
    TMemoryStream nodes;
    for (PVirtualNode n : a->tree->SortedSelection(true))
        a->tree->WriteNode(nodes, n);
    const std::vector<uint8_t> bytes = nodes.Bytes();
    const int32_t size = static_cast<int32_t>(bytes.size());
    const std::vector<uint8_t> truncated(bytes.begin(), bytes.end() - 6);
    // The cut stays pending while the foreign objects come and go (a
    // reference of our own keeps its object).
    IDataObject* cut = nullptr;
    a->tree->OnCreateDataObject = [&](TBaseVirtualTree* sender, IDataObject*& object) {
        object = cut = new TVTDataObject(sender, true);
        cut->AddRef();
    };
    a->tree->CutNodesToClipboard();
    ASSERT_NE(cut, nullptr);
    const uint32_t pid = GetCurrentProcessId(), tree = uint32_t(uintptr_t(a->tree)), other = uint32_t(uintptr_t(&pid));

    struct Case {
        const char* name;
        std::vector<uint8_t> native, reference;
        bool pasted, raises;
        const char* rows;
    } cases[] = {
        // A reference naming no live tree, or another process: foreign data, copied.
        {"forged address", Bytes({size}, bytes), Bytes({pid, other}), true, false, "B0,B1,B2,A0,A1"},
        {"other process", Bytes({size}, bytes), Bytes({pid + 4, tree}), true, false, "B0,B1,B2,A0,A1"},
        {"length beyond the block", Bytes({size + 64}, bytes), {}, false, false, "B0,B1,B2"},
        {"truncated stream", Bytes({size - 6}, truncated), {}, false, true, nullptr},
    };
    for (const Case& c : cases) {
        b->tree->ClearNodes();
        for (const char* t : {"B0", "B1", "B2"})
            b->texts[b->tree->AddChildNode(nullptr)] = t;
        IDataObject* object = c.reference.empty() ? Offering({{L"Sorvel Data", c.native}})
                                                  : Offering({{L"Sorvel Data", c.native}, {L"Sorvel Reference", c.reference}});
        ASSERT_EQ(OleSetClipboard(object), S_OK);
        object->Release();
        b->tree->SetFocusedNode(nullptr);
        bool pasted = false, raised = false;
        try {
            pasted = b->tree->PasteNodesFromClipboard();
        } catch (const EVirtualTreeError&) {
            raised = true;
        }
        EXPECT_EQ(pasted, c.pasted) << c.name;
        EXPECT_EQ(raised, c.raises) << c.name;
        if (c.rows)
            EXPECT_EQ(b->Rows(), c.rows) << c.name;
        // Whatever came, the totals hold.
        unsigned walked = 0;
        for (PVirtualNode n = b->tree->GetFirstNoInit(); n; n = b->tree->GetNextNoInit(n))
            ++walked;
        EXPECT_EQ(b->tree->TotalCount(), walked) << c.name;
        EXPECT_EQ(a->Rows(), "A0,A1,A2") << c.name; // never moved out of the source
        EXPECT_TRUE(a->tree->HasState(tsCutPending)) << c.name;
    }
    cut->Release();
    EXPECT_FALSE(a->tree->HasState(tsCutPending));
}

TEST_F(VTDragDrop, EmptyStreamAndAssign)
{
    // Header and a count of 0: an empty tree and one OnNodeCopied with nil.
    std::vector<PVirtualNode> copied;
    a->tree->OnNodeCopied = [&](TBaseVirtualTree*, PVirtualNode node) { copied.push_back(node); };
    TMemoryStream empty;
    b->tree->ClearNodes();
    b->tree->SaveNodesToStream(empty);
    EXPECT_EQ(empty.Bytes().size(), 16u);
    empty.Seek(0, TSeekOrigin::soBeginning);
    a->tree->LoadNodesFromStream(empty);
    EXPECT_EQ(a->tree->RootNodeCount(), 0u);
    EXPECT_EQ(copied, std::vector<PVirtualNode>{nullptr});

    // Assign takes the listed properties; a read-only tree keeps its own.
    b->tree->SetIndent(31);
    b->tree->SetAutoExpandDelay(777);
    b->tree->SetRootNodeCount(4);
    a->tree->Assign(*b->tree);
    EXPECT_EQ(a->tree->Indent(), 31u);
    EXPECT_EQ(a->tree->AutoExpandDelay(), 1000u); // not among them
    EXPECT_EQ(a->tree->RootNodeCount(), 4u);
    b->tree->TreeOptions().SetMiscOptions(b->tree->TreeOptions().MiscOptions() | toReadOnly);
    a->tree->SetIndent(12);
    b->tree->Assign(*a->tree);
    EXPECT_EQ(b->tree->Indent(), 31u);
}
