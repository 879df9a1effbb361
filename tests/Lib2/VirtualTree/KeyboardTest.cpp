// The list control's keyboard with real keys (SendInput from a helper
// thread): navigation and its selection rules, the incremental search
// (Cyrillic typed as characters included), editing started by F2 and ended
// by Enter, Esc, Ctrl+Enter or focus loss, and the other keys of the tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/StringTestSupport.h"
#include "Lib2/VirtualTree/VTEditLink.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "support/Input.h"

using namespace testing_support;
using namespace vt_string_test;

namespace {

using TKeys = std::vector<std::vector<WORD>>;

class TBeepingTree : public TRecordingTree {
public:
    using TRecordingTree::TRecordingTree;
    int beeps = 0;

protected:
    void IncrementalSearchFailed() override { ++beeps; }
};

class KeyboardTest : public StringTreeWindow {
protected:
    void SetUp() override
    {
        StringTreeWindow::SetUp();
        if (IsSkipped())
            return;
        // The fixture's tree is replaced by one that counts the beeps.
        delete tree;
        tree = beeping = new TBeepingTree(form);
        tree->SetBounds(5, 5, 360, 220);
        tree->SetParent(form);
        tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                                 std::string& s) {
            s = node->Parent == tree->RootNode() && node->Index < texts.size() ? texts[node->Index]
                                                                               : "child " + std::to_string(node->Index);
            if (column > 0)
                s += " #" + std::to_string(column);
        };
        tree->OnChange = [this](TBaseVirtualTree*, PVirtualNode node) {
            changes.push_back(node ? Index(node) : -1);
        };
        tree->SetFocus();
        Pump(20);
    }
    void Fill(unsigned count)
    {
        texts.clear();
        for (unsigned i = 0; i < count; ++i)
            texts.push_back("row " + std::to_string(i));
        tree->SetRootNodeCount(count);
    }
    int Index(PVirtualNode node) const { return node ? static_cast<int>(node->Index) : -1; }
    bool Keys(const TKeys& chords)
    {
        std::vector<INPUT> in;
        for (const auto& chord : chords) {
            for (WORD k : chord)
                in.push_back(KeyInput(k, false));
            for (auto k = chord.rbegin(); k != chord.rend(); ++k)
                in.push_back(KeyInput(*k, true));
        }
        return SendInputPumping(in);
    }
    // Characters typed as such (KEYEVENTF_UNICODE: a packet key and its WM_CHAR).
    bool Type(const std::wstring& text)
    {
        std::vector<INPUT> in;
        for (wchar_t ch : text)
            for (bool up : {false, true}) {
                INPUT i{};
                i.type = INPUT_KEYBOARD;
                i.ki.wScan = ch;
                i.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
                in.push_back(i);
            }
        return SendInputPumping(in);
    }
    void FocusRow(int index)
    {
        tree->ClearSelection();
        tree->SetFocusedNode(Node(index));
        tree->SetSelected(Node(index), true);
        tree->ResetRangeAnchor();
        changes.clear();
    }
    std::set<int> SelectedRows() const
    {
        std::set<int> s;
        for (PVirtualNode n : tree->GetSelection())
            s.insert(Index(n));
        return s;
    }

    TBeepingTree* beeping = nullptr;
    std::vector<std::string> texts;
    std::vector<int> changes;
};

}  // namespace

TEST_F(KeyboardTest, NavigationKeysMoveTheFocusAndTheSelectionByTheirRules)
{
    Fill(100);
    const int rowsPerPage = tree->ClientRect().bottom / 18;
    struct Case {
        const char* name;
        unsigned selectionOptions;
        int start;
        TKeys keys;
        int focus;
        std::set<int> selected;
        std::vector<int> lastChanges;   // the tail of the OnChange calls
    };
    const std::vector<Case> cases = {
        {"Down", 0, 3, {{VK_DOWN}}, 4, {4}, {-1, 4}},
        {"Down on the last node stays", 0, 99, {{VK_DOWN}}, 99, {99}, {}},
        {"Up on the first node stays", 0, 0, {{VK_UP}}, 0, {0}, {}},
        {"Shift+Down twice, Shift+Up", toMultiSelect, 5, {{VK_SHIFT, VK_DOWN}, {VK_SHIFT, VK_DOWN}, {VK_SHIFT, VK_UP}},
         6, {5, 6}, {7, 7}},
        {"Shift+Up past the anchor", toMultiSelect, 5, {{VK_SHIFT, VK_DOWN}, {VK_SHIFT, VK_UP}, {VK_SHIFT, VK_UP}},
         4, {4, 5}, {6, 4}},
        {"Shift without multi-select moves", 0, 5, {{VK_SHIFT, VK_DOWN}}, 6, {6}, {-1, 6}},
        {"Ctrl+Down only scrolls", toMultiSelect, 5, {{VK_CONTROL, VK_DOWN}}, 5, {5}, {}},
        {"End", 0, 0, {{VK_END}}, 99, {99}, {-1, 99}},
        {"Home", 0, 50, {{VK_HOME}}, 0, {0}, {-1, 0}},
        {"Ctrl+Home only scrolls", 0, 50, {{VK_CONTROL, VK_HOME}}, 50, {50}, {}},
        {"Page Down", 0, 0, {{VK_NEXT}}, rowsPerPage, {rowsPerPage}, {-1, rowsPerPage}},
        {"Page Down, Page Up", 0, 0, {{VK_NEXT}, {VK_PRIOR}}, 0, {0}, {-1, 0}},
        {"Shift+End selects the range", toMultiSelect, 96, {{VK_SHIFT, VK_END}}, 99, {96, 97, 98, 99}, {}},
        {"Ctrl+A", toMultiSelect, 10, {{VK_CONTROL, 'A'}}, 10, {}, {-1}},
        {"Ctrl+A without multi-select", 0, 10, {{VK_CONTROL, 'A'}}, 10, {10}, {}},
        {"Plain Down after a range clears it", toMultiSelect, 10, {{VK_SHIFT, VK_DOWN}, {VK_DOWN}}, 12, {12},
         {-1, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = c.name;
        tree->TreeOptions().SetSelectionOptions(c.selectionOptions);
        tree->SetOffsetY(0);
        FocusRow(c.start);
        Pump(20);
        tree->drawn.clear();
        ASSERT_TRUE(Keys(c.keys));
        EXPECT_EQ(Index(tree->FocusedNode()), c.focus);
        std::set<int> expected = c.selected;
        for (int i = 0; name == "Ctrl+A" && i < 100; ++i)
            expected.insert(i);
        EXPECT_EQ(SelectedRows(), expected);
        // The last OnChange calls (none at all when nothing was to change).
        ASSERT_GE(changes.size(), c.lastChanges.size());
        EXPECT_EQ(std::vector<int>(changes.end() - static_cast<long>(c.lastChanges.size()), changes.end()),
                  c.lastChanges);
        if (c.lastChanges.empty())
            EXPECT_TRUE(changes.empty());
        if (name.find("only scrolls") != std::string::npos)
            continue;
        const RECT r = tree->NodeDisplayRect(tree->FocusedNode(), NoColumn, false);
        EXPECT_TRUE(r.top >= 0 && r.bottom <= tree->ClientRect().bottom) << "the focused row is shown";
        // Down on the last node repaints it.
        if (name == "Down on the last node stays")
            EXPECT_NE(std::find_if(tree->drawn.begin(), tree->drawn.end(),
                                   [](const auto& d) { return d.first == "row 99"; }),
                      tree->drawn.end());
    }
    // Ctrl+Home and Ctrl+End scroll to the ends, leaving the focus.
    FocusRow(0);
    ASSERT_TRUE(Keys({{VK_CONTROL, VK_END}}));
    EXPECT_EQ(tree->OffsetY(), tree->ClientRect().bottom - 100 * 18);
    ASSERT_TRUE(Keys({{VK_CONTROL, VK_HOME}}));
    EXPECT_EQ(tree->OffsetY(), 0);
    EXPECT_EQ(Index(tree->FocusedNode()), 0);
}

TEST_F(KeyboardTest, TreeKeysExpandCollapseAndWalkTheLevels)
{
    tree->OnInitNode = [](TBaseVirtualTree*, PVirtualNode parent, PVirtualNode, TVirtualNodeInitStates& states) {
        if (!parent)
            states |= ivsHasChildren;
    };
    tree->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, unsigned& count) { count = 2; };
    Fill(3);
    FocusRow(0);
    struct Step {
        TKeys keys;
        const char* focus;   // "r<i>" a top-level row, "c<i>" a child of the first row
        bool firstExpanded;
    };
    const std::vector<Step> steps = {
        {{{VK_RIGHT}}, "r0", true},          // expands
        {{{VK_RIGHT}}, "c0", true},          // into the first child
        {{{VK_DOWN}}, "c1", true},
        {{{VK_BACK}}, "r0", true},           // to the parent
        {{{VK_LEFT}}, "r0", false},          // collapses
        {{{VK_ADD}}, "r0", true},            // keypad +
        {{{VK_SUBTRACT}}, "r0", false},      // keypad -
        {{{VK_MULTIPLY}}, "r0", true},       // keypad *: fully
        {{{VK_RIGHT}, {VK_LEFT}}, "r0", true},
        {{{VK_DIVIDE}}, "r0", false},        // keypad /
        {{{VK_CONTROL, VK_SHIFT, VK_ADD}}, "r0", true},
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(Keys(s.keys));
        PVirtualNode f = tree->FocusedNode();
        ASSERT_NE(f, nullptr);
        const bool child = f->Parent != tree->RootNode();
        EXPECT_EQ((child ? "c" : "r") + std::to_string(f->Index), s.focus);
        EXPECT_EQ(tree->Expanded(Node(0)), s.firstExpanded) << s.focus;
    }
    // Ctrl+Shift+keypad +: all nodes; Ctrl+Shift+keypad -: none.
    EXPECT_TRUE(tree->Expanded(Node(2)));
    ASSERT_TRUE(Keys({{VK_CONTROL, VK_SHIFT, VK_SUBTRACT}}));
    EXPECT_FALSE(tree->Expanded(Node(1)));
}

TEST_F(KeyboardTest, IncrementalSearchCyclesBeepsTimesOutAndTakesCyrillicCharacters)
{
    texts = {"apple", "banana", "avocado", "blueberry", "Россия", "Рига", "cherry"};
    tree->SetRootNodeCount(static_cast<unsigned>(texts.size()));
    tree->SetIncrementalSearch(isAll);
    // Long enough that a loaded machine never ends a search between two keys.
    tree->SetIncrementalSearchTimeout(1500);
    auto focused = [&] { return tree->FocusedNode() ? texts[tree->FocusedNode()->Index] : std::string(); };
    struct Step {
        std::wstring typed;
        const char* focus;
        int beeps;
        const char* text;
    };
    const std::vector<Step> steps = {
        {L"a", "apple", 0, "a"},
        {L"a", "avocado", 0, "a"},      // the same letter again: the next one with it
        {L"a", "apple", 0, "a"},        // and round
        {L"v", "avocado", 0, "av"},
        {L"z", "avocado", 1, "avz"},    // nothing: a beep, the focus stays
        {L"\b", "avocado", 1, "av"},
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(Type(s.typed));
        EXPECT_EQ(focused(), s.focus);
        EXPECT_EQ(beeping->beeps, s.beeps);
        EXPECT_EQ(tree->IncrementalSearchText(), s.text);
        EXPECT_EQ(SelectedRows(), std::set<int>{Index(tree->FocusedNode())});
    }
    // After the timeout the text starts again.
    ASSERT_TRUE(PumpUntil([&] { return tree->IncrementalSearchText().empty(); }, 20000))
        << "the search text was not cleared within 20 s";
    EXPECT_FALSE(tree->HasState(tsIncrementalSearching));
    ASSERT_TRUE(Type(L"b"));
    EXPECT_EQ(focused(), "blueberry");   // the next one after the focused node
    ASSERT_TRUE(Type(L"a"));
    EXPECT_EQ(focused(), "banana");      // "ba"
    // Cyrillic comes as UTF-16 characters, matched without any code page.
    ASSERT_TRUE(PumpUntil([&] { return tree->IncrementalSearchText().empty(); }, 20000))
        << "the search text was not cleared within 20 s";
    ASSERT_TRUE(Type(L"ри"));
    EXPECT_EQ(focused(), "Рига");
    EXPECT_EQ(tree->IncrementalSearchText(), "ри");
    ASSERT_TRUE(PumpUntil([&] { return tree->IncrementalSearchText().empty(); }, 20000))
        << "the search text was not cleared within 20 s";
    ASSERT_TRUE(Type(L"рос"));
    EXPECT_EQ(focused(), "Россия");
    // Letters typed as keys search too; Ctrl+letters and a tree without search do not.
    ASSERT_TRUE(PumpUntil([&] { return tree->IncrementalSearchText().empty(); }, 20000))
        << "the search text was not cleared within 20 s";
    ASSERT_TRUE(Keys({{'C'}, {'H'}}));
    EXPECT_EQ(focused(), "cherry");
    tree->SetIncrementalSearch(isNone);
    ASSERT_TRUE(Keys({{'B'}}));
    EXPECT_EQ(focused(), "cherry");
    EXPECT_EQ(tree->IncrementalSearchText(), "");
    // Switched on again, a search starts with a new text (round to the first row).
    tree->SetIncrementalSearch(isAll);
    ASSERT_TRUE(Keys({{'A'}}));
    EXPECT_EQ(focused(), "apple");
}

TEST_F(KeyboardTest, EditingStartsWithF2AndEndsByItsKeys)
{
    Fill(3);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
    std::vector<std::string> stored;
    int edited = 0, cancelled = 0;
    tree->OnNewText = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, const std::string& s) {
        stored.push_back(std::to_string(node->Index) + "=" + s);
    };
    tree->OnEdited = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { ++edited; };
    tree->OnEditCancelled = [&](TBaseVirtualTree*, TColumnIndex) { ++cancelled; };
    TEdit* other = new TEdit(form);
    other->SetBounds(5, 235, 100, 20);
    other->SetParent(form);
    enum TEnd { byEnter, byEscape, byFocusLoss, byCtrlEnter };
    struct Case {
        const char* name;
        TEnd end;
        bool autoAccept;
        bool multiline;
        const char* storedText;   // nullptr: nothing stored
    };
    const std::vector<Case> cases = {
        {"Enter stores", byEnter, false, false, "xy"},
        {"Esc discards", byEscape, true, false, nullptr},
        {"focus loss discards", byFocusLoss, false, false, nullptr},
        {"focus loss with toAutoAcceptEditChange stores", byFocusLoss, true, false, "xy"},
        {"Enter in a multiline node is a line break, Ctrl+Enter ends", byCtrlEnter, false, true, "x\r\ny"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stored.clear();
        edited = cancelled = 0;
        TVTStringOptions so = tree->TreeOptions().StringOptions() & ~toAutoAcceptEditChange;
        tree->TreeOptions().SetStringOptions(so | (c.autoAccept ? toAutoAcceptEditChange : 0));
        tree->SetMultiLine(Node(1), c.multiline);
        tree->SetFocus();
        FocusRow(1);
        ASSERT_TRUE(Keys({{VK_F2}}));
        ASSERT_TRUE(tree->IsEditing());
        auto* link = dynamic_cast<TStringEditLink*>(tree->EditLink());
        ASSERT_NE(link, nullptr);
        ASSERT_TRUE(link->Edit()->Focused());
        ASSERT_TRUE(Keys(c.multiline ? TKeys{{'X'}, {VK_RETURN}, {'Y'}} : TKeys{{'X'}, {'Y'}}));
        EXPECT_TRUE(tree->IsEditing());
        switch (c.end) {
        case byEnter:
            ASSERT_TRUE(Keys({{VK_RETURN}}));
            break;
        case byEscape:
            ASSERT_TRUE(Keys({{VK_ESCAPE}}));
            break;
        case byFocusLoss:
            other->SetFocus();
            Pump(30);
            break;
        case byCtrlEnter:
            ASSERT_TRUE(Keys({{VK_CONTROL, VK_RETURN}}));
            break;
        }
        EXPECT_FALSE(tree->IsEditing());
        if (c.storedText) {
            EXPECT_EQ(stored, std::vector<std::string>{std::string("1=") + c.storedText});
            EXPECT_EQ(edited, 1);
        } else {
            EXPECT_TRUE(stored.empty());
            EXPECT_EQ(cancelled, 1);
        }
        if (c.end != byFocusLoss)
            EXPECT_TRUE(tree->Focused());
    }
    // F2 does nothing on a tree that may not edit, nor with a modifier.
    tree->SetFocus();
    ASSERT_TRUE(Keys({{VK_SHIFT, VK_F2}}));
    EXPECT_FALSE(tree->IsEditing());
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toReadOnly);
    ASSERT_TRUE(Keys({{VK_F2}}));
    EXPECT_FALSE(tree->IsEditing());
}

TEST_F(KeyboardTest, OtherKeysCheckAskForMenusAndHelpAndRespectOnKeyAction)
{
    Fill(4);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    tree->SetCheckType(Node(1), ctCheckBox);
    tree->SetCheckType(Node(2), ctRadioButton);
    FocusRow(1);
    // Space presses the box; the release ticks it; another key in between drops it.
    std::vector<INPUT> down{KeyInput(VK_SPACE, false)};
    ASSERT_TRUE(SendInputPumping(down));
    EXPECT_EQ(tree->CheckState(Node(1)), csUncheckedPressed);
    EXPECT_TRUE(tree->HasState(tsKeyCheckPending));
    ASSERT_TRUE(SendInputPumping({KeyInput(VK_SPACE, true)}));
    EXPECT_EQ(tree->CheckState(Node(1)), csCheckedNormal);
    ASSERT_TRUE(Keys({{VK_SPACE}}));
    EXPECT_EQ(tree->CheckState(Node(1)), csUncheckedNormal);
    ASSERT_TRUE(SendInputPumping({KeyInput(VK_SPACE, false), KeyInput(VK_DOWN, false), KeyInput(VK_DOWN, true),
                                  KeyInput(VK_SPACE, true)}));
    EXPECT_EQ(tree->CheckState(Node(1)), csUncheckedNormal);
    EXPECT_FALSE(tree->HasState(tsKeyCheckPending));
    EXPECT_EQ(Index(tree->FocusedNode()), 2);
    tree->OnChecking = [](TBaseVirtualTree*, PVirtualNode, TCheckState&, bool& allowed) { allowed = false; };
    ASSERT_TRUE(Keys({{VK_SPACE}}));
    EXPECT_EQ(tree->CheckState(Node(2)), csUncheckedNormal);
    tree->OnChecking = nullptr;
    ASSERT_TRUE(Keys({{VK_SPACE}}));
    EXPECT_EQ(tree->CheckState(Node(2)), csCheckedNormal);

    // The Applications key asks for the focused node's menu at the middle of its cell.
    std::vector<std::string> asked;
    tree->OnGetPopupMenu = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, POINT p, bool& askParent,
                               TPopupMenu*&) {
        asked.push_back(std::to_string(Index(node)) + "/" + std::to_string(column) + "/" + std::to_string(p.y));
        askParent = false;
    };
    ASSERT_TRUE(Keys({{VK_APPS}}));
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], "2/-1/45");

    // F1 asks the focused node, then its parents, for a help context.
    std::vector<int> helpAsked;
    tree->OnGetHelpContext = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, int& context) {
        helpAsked.push_back(Index(node));
        context = 0;
    };
    ASSERT_TRUE(Keys({{VK_F1}}));
    EXPECT_EQ(helpAsked, std::vector<int>{2});

    // OnKeyAction may change the key or stop it.
    tree->OnKeyAction = [](TBaseVirtualTree*, WORD& key, TShiftState&, bool& doDefault) {
        if (key == VK_DOWN)
            doDefault = false;
        if (key == VK_RIGHT)
            key = VK_UP;
    };
    ASSERT_TRUE(Keys({{VK_DOWN}}));
    EXPECT_EQ(Index(tree->FocusedNode()), 2);
    ASSERT_TRUE(Keys({{VK_RIGHT}}));
    EXPECT_EQ(Index(tree->FocusedNode()), 1);

    // The tree asks for arrows and characters, and for Tab only with WantTabs.
    EXPECT_EQ(SendMessageW(tree->Handle(), WM_GETDLGCODE, 0, 0), 0x81);
    tree->SetWantTabs(true);
    EXPECT_EQ(SendMessageW(tree->Handle(), WM_GETDLGCODE, 0, 0), 0x83);
}

TEST_F(KeyboardTest, TabMovesTheFocusAcrossTheCellsOfTheRows)
{
    Fill(3);
    AddColumns({80, 80, 80});
    tree->SetWantTabs(true);
    tree->TreeOptions().SetSelectionOptions(toExtendedFocus);
    tree->OnFocusChanging = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TColumnIndex, TColumnIndex column,
                               bool& allowed) { allowed = column != 1; };
    FocusRow(0);
    tree->SetFocusedColumn(0);
    auto where = [&] { return std::to_string(Index(tree->FocusedNode())) + ":" + std::to_string(tree->FocusedColumn()); };
    ASSERT_TRUE(Keys({{VK_TAB}}));
    EXPECT_EQ(where(), "0:2");   // column 1 refused
    ASSERT_TRUE(Keys({{VK_TAB}}));
    EXPECT_EQ(where(), "1:0");
    ASSERT_TRUE(Keys({{VK_SHIFT, VK_TAB}}));
    EXPECT_EQ(where(), "0:2");
    EXPECT_EQ(SelectedRows(), std::set<int>{0});
    // Without extended focus Tab leaves the cells alone.
    tree->TreeOptions().SetSelectionOptions(0);
    const std::string before = where();
    ASSERT_TRUE(Keys({{VK_TAB}}));
    EXPECT_EQ(where(), before);
}
