// The list control's selection store, check states, event dispatch with its
// defaults, delayed change events in a real window, references into deleted
// subtrees, option setters, colours, scroll bar options and clipboard format
// names.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Form.h"
#include "platform/Menus.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

std::vector<PVirtualNode> Children(PVirtualNode parent)
{
    std::vector<PVirtualNode> result;
    for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling)
        result.push_back(c);
    return result;
}

// A visible form with a string tree on it.
class WindowedTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        form = new TForm(nullptr);
        form->SetBounds(50, 50, 400, 300);
        tree = new TVirtualStringTree(form);
        tree->SetBounds(5, 5, 300, 200);
        tree->SetParent(form);
        form->Show();
        tree->HandleNeeded();
        Pump(20);
    }
    void TearDown() override { delete form; }

    TForm* form = nullptr;
    TVirtualStringTree* tree = nullptr;
};

// ---------------------------------------------------------------------------
// Selection store

TEST(VTSelection, TheArrayMatchesTheStateBitsAndStaysSortedByAddress)
{
    TVirtualStringTree tree(nullptr);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    tree.SetRootNodeCount(40);
    std::vector<PVirtualNode> nodes = Children(tree.RootNode());
    int changes = 0;
    tree.OnChange = [&](TBaseVirtualTree*, PVirtualNode) { ++changes; };
    for (size_t i = 0; i < nodes.size(); i += 3)
        tree.SetSelected(nodes[i], true);
    EXPECT_EQ(tree.SelectedCount(), 14u);
    EXPECT_EQ(changes, 14);
    std::vector<PVirtualNode> sel = tree.GetSelection();
    EXPECT_TRUE(std::is_sorted(sel.begin(), sel.end()));
    for (size_t i = 0; i < nodes.size(); ++i)
        EXPECT_EQ(tree.Selected(nodes[i]), i % 3 == 0) << i;
    // Selecting again changes nothing and reports nothing.
    tree.SetSelected(nodes[0], true);
    EXPECT_EQ(changes, 14);
    tree.SetSelected(nodes[3], false);
    EXPECT_EQ(tree.SelectedCount(), 13u);
    EXPECT_FALSE(tree.Selected(nodes[3]));
    // A batch with duplicates and already selected nodes adds each node once.
    std::vector<PVirtualNode> batch{nodes[1], nodes[1], nodes[0], nodes[2]};
    tree.AddToSelection(batch.data(), static_cast<int>(batch.size()));
    EXPECT_EQ(tree.SelectedCount(), 15u);
    sel = tree.GetSelection();
    EXPECT_EQ(std::set<PVirtualNode>(sel.begin(), sel.end()).size(), sel.size());
    tree.ClearSelection();
    EXPECT_EQ(tree.SelectedCount(), 0u);
    for (PVirtualNode n : nodes)
        EXPECT_FALSE(n->States & vsSelected);
}

TEST(VTSelection, SingleSelectionReplacesAndDisabledNodesAreNotSelected)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    PVirtualNode a = tree.GetFirst(), b = a->NextSibling, c = b->NextSibling;
    tree.SetSelected(a, true);
    EXPECT_EQ(tree.RangeAnchor(), a);
    tree.SetSelected(b, true);
    EXPECT_FALSE(tree.Selected(a));
    EXPECT_TRUE(tree.Selected(b));
    EXPECT_EQ(tree.SelectedCount(), 1u);
    tree.SetDisabled(c, true);
    tree.SetSelected(c, true);
    EXPECT_FALSE(tree.Selected(c));
    EXPECT_EQ(tree.SelectedCount(), 0u);   // b went when c was asked for
}

TEST(VTSelection, RangesTogglesAndUnselection)
{
    TVirtualStringTree tree(nullptr);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    tree.SetRootNodeCount(10);
    std::vector<PVirtualNode> n = Children(tree.RootNode());
    tree.SelectNodes(n[7], n[2], false);   // order does not matter
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(tree.Selected(n[i]), i >= 2 && i <= 7) << i;
    tree.UnselectNodes(n[3], n[4]);
    EXPECT_EQ(tree.SelectedCount(), 4u);
    EXPECT_FALSE(tree.Selected(n[3]));
    // Toggling around the anchor: the anchor itself stays selected.
    tree.SetFocusedNode(n[5]);
    tree.ResetRangeAnchor();
    EXPECT_EQ(tree.RangeAnchor(), n[5]);
    tree.ToggleSelection(n[4], n[6]);
    EXPECT_TRUE(tree.Selected(n[4]));
    EXPECT_TRUE(tree.Selected(n[5]));
    EXPECT_FALSE(tree.Selected(n[6]));
    EXPECT_EQ(tree.SelectedCount(), 4u);   // 2, 4, 5, 7
    // With the level constraint only nodes of the first one's level join.
    tree.ClearSelection();
    tree.SetChildCountOf(n[0], 2);
    tree.ToggleExpanded(n[0]);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect | toLevelSelectConstraint);
    tree.SelectNodes(n[0], n[1], false);
    EXPECT_TRUE(tree.Selected(n[0]));
    EXPECT_TRUE(tree.Selected(n[1]));
    EXPECT_FALSE(tree.Selected(n[0]->FirstChild));
    EXPECT_FALSE(tree.Selected(n[0]->LastChild));
}

TEST(VTSelection, ChangingMultiSelectClearsTheSelection)
{
    TVirtualStringTree tree(nullptr);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    tree.SetRootNodeCount(3);
    tree.SelectAll(false);
    EXPECT_EQ(tree.SelectedCount(), 3u);
    tree.TreeOptions().SetSelectionOptions(0);
    EXPECT_EQ(tree.SelectedCount(), 0u);
}

TEST(VTSelection, InitialStatesSelectAndDeletingASelectedNodeReportsAtOnce)
{
    TVirtualStringTree tree(nullptr);
    tree.SetNodeDataSize(4);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    tree.OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates& s) {
        if (n->Index % 2 == 0)
            s |= ivsSelected;
    };
    tree.SetRootNodeCount(6);
    tree.ValidateNode(nullptr, true);
    EXPECT_EQ(tree.SelectedCount(), 3u);
    std::vector<PVirtualNode> changed;
    tree.OnChange = [&](TBaseVirtualTree*, PVirtualNode n) { changed.push_back(n); };
    PVirtualNode first = tree.GetFirst();
    tree.DeleteNode(first);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], first);   // fired while the node was still alive
    EXPECT_EQ(tree.SelectedCount(), 2u);
    // Inside an update the selection simply loses the node.
    tree.BeginUpdate();
    tree.DeleteNode(tree.GetFirst()->NextSibling);
    EXPECT_EQ(tree.SelectedCount(), 1u);
    tree.EndUpdate();
    EXPECT_EQ(tree.SelectedCount(), 1u);
}

// ---------------------------------------------------------------------------
// Check states

class CheckTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.SetRootNodeCount(1);
        parent = tree.GetFirst();
        tree.SetChildCountOf(parent, 2);
        tree.SetCheckType(parent, ctTriStateCheckBox);
        c1 = parent->FirstChild;
        c2 = parent->LastChild;
        tree.SetCheckType(c1, ctCheckBox);
        tree.SetCheckType(c2, ctCheckBox);
        tree.OnChecked = [this](TBaseVirtualTree*, PVirtualNode n) { checked.push_back(n); };
    }
    TVirtualStringTree tree{nullptr};
    PVirtualNode parent = nullptr, c1 = nullptr, c2 = nullptr;
    std::vector<PVirtualNode> checked;
};

TEST_F(CheckTree, ATriStateParentFollowsItsChildren)
{
    tree.SetCheckStateOf(c1, csCheckedNormal);
    EXPECT_EQ(tree.CheckState(parent), csMixedNormal);
    tree.SetCheckStateOf(c2, csCheckedNormal);
    EXPECT_EQ(tree.CheckState(parent), csCheckedNormal);
    tree.SetCheckStateOf(c1, csUncheckedNormal);
    EXPECT_EQ(tree.CheckState(parent), csMixedNormal);
    // Only the clicked node hears OnChecked.
    EXPECT_EQ(checked, (std::vector<PVirtualNode>{c1, c2, c1}));
}

TEST_F(CheckTree, TickingTheParentTicksItsChildren)
{
    tree.SetCheckStateOf(c1, csCheckedNormal);
    tree.SetCheckStateOf(parent, csCheckedNormal);
    EXPECT_EQ(tree.CheckState(c1), csCheckedNormal);
    EXPECT_EQ(tree.CheckState(c2), csCheckedNormal);
    tree.SetCheckStateOf(parent, csUncheckedNormal);
    EXPECT_EQ(tree.CheckState(c1), csUncheckedNormal);
    EXPECT_EQ(tree.CheckState(c2), csUncheckedNormal);
    EXPECT_EQ(tree.CheckState(parent), csUncheckedNormal);
    EXPECT_FALSE(tree.HasState(tsChangingCheckStates));
}

TEST_F(CheckTree, WithoutTrackingTheParentStaysAlone)
{
    tree.TreeOptions().SetAutoOptions(tree.TreeOptions().AutoOptions() & ~toAutoTristateTracking);
    tree.SetCheckStateOf(c1, csCheckedNormal);
    EXPECT_EQ(tree.CheckState(parent), csUncheckedNormal);
    tree.SetCheckStateOf(parent, csCheckedNormal);
    EXPECT_EQ(tree.CheckState(c2), csUncheckedNormal);
}

TEST_F(CheckTree, RefusedDisabledAndReadOnlyChecks)
{
    tree.OnChecking = [](TBaseVirtualTree*, PVirtualNode, TCheckState&, bool& allowed) { allowed = false; };
    tree.SetCheckStateOf(c1, csCheckedNormal);
    EXPECT_EQ(tree.CheckState(c1), csUncheckedNormal);
    tree.OnChecking = [](TBaseVirtualTree*, PVirtualNode, TCheckState& state, bool&) { state = csMixedNormal; };
    tree.SetCheckStateOf(c1, csCheckedNormal);
    EXPECT_EQ(tree.CheckState(c1), csMixedNormal);   // the handler changed the state
    tree.OnChecking = nullptr;
    tree.SetDisabled(c2, true);
    tree.SetCheckStateOf(c2, csCheckedNormal);
    EXPECT_EQ(tree.CheckState(c2), csUncheckedNormal);
    tree.TreeOptions().SetMiscOptions(tree.TreeOptions().MiscOptions() | toReadOnly);
    TCheckState s = csCheckedNormal;
    EXPECT_FALSE(tree.DoChecking(c1, s));
}

TEST(VTCheckStates, TickingARadioButtonUnticksOnlyItsRadioSiblings)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(4);
    std::vector<PVirtualNode> n = Children(tree.RootNode());
    tree.SetCheckType(n[0], ctRadioButton);
    tree.SetCheckType(n[1], ctRadioButton);
    tree.SetCheckType(n[2], ctCheckBox);
    tree.SetCheckType(n[3], ctRadioButton);
    tree.SetCheckStateOf(n[0], csCheckedNormal);
    tree.SetCheckStateOf(n[2], csCheckedNormal);
    tree.SetCheckStateOf(n[1], csCheckedNormal);
    EXPECT_EQ(tree.CheckState(n[0]), csUncheckedNormal);
    EXPECT_EQ(tree.CheckState(n[1]), csCheckedNormal);
    EXPECT_EQ(tree.CheckState(n[2]), csCheckedNormal);   // not a radio button
    EXPECT_EQ(tree.CheckState(n[3]), csUncheckedNormal);
}

// ---------------------------------------------------------------------------
// Dispatchers and their defaults

TEST(VTEvents, StateChangeOnlyWhenSomethingChanges)
{
    std::vector<std::pair<TVirtualTreeStates, TVirtualTreeStates>> calls;
    TVirtualStringTree tree(nullptr);
    tree.OnStateChange = [&](TBaseVirtualTree*, TVirtualTreeStates enter, TVirtualTreeStates leave) {
        calls.emplace_back(enter, leave);
    };
    tree.DoStateChange(tsHint);
    tree.DoStateChange(tsHint);
    tree.DoStateChange(0, tsEditing);
    tree.DoStateChange(tsHint, tsEditing);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, static_cast<TVirtualTreeStates>(tsHint));
    tree.DoStateChange(tsEditing, tsHint);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(tree.HasState(tsEditing));
    EXPECT_FALSE(tree.HasState(tsHint));
    // The worker's flags map onto the tree's states.
    tree.ChangeStateFromWorker(4, 2);
    EXPECT_TRUE(tree.HasState(tsValidating));
    tree.ChangeStateFromWorker(2, 13);
    EXPECT_TRUE(tree.HasState(tsUseCache));
    EXPECT_FALSE(tree.HasState(tsValidating));
    EXPECT_FALSE(tree.HasState(tsValidationNeeded));
}

// A tree that goes tells its owner only of the nodes it frees: its owner
// may be half gone already.
TEST_F(WindowedTree, ATreeBeingDestroyedRaisesNoEventButFreeNode)
{
    std::vector<std::string> events;
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toHotTrack);
    tree->SetRootNodeCount(20);
    PVirtualNode first = tree->GetFirst();
    tree->SetChildCountOf(first, 3);
    tree->SetExpanded(first, true);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
    tree->SelectAll(false);
    tree->SetHotNode(first);
    tree->DoStateChange(tsHint | tsUseCache);
    tree->SetFocusedNode(first);
    tree->DoEdit();
    ASSERT_TRUE(tree->IsEditing());
    auto note = [&events](const char* name) { return [&events, name](auto&&...) { events.push_back(name); }; };
    tree->OnStateChange = note("state");
    tree->OnChange = note("change");
    tree->OnFocusChanging = note("focusing");
    tree->OnFocusChanged = note("focus");
    tree->OnStructureChange = note("structure");
    tree->OnHotChange = note("hot");
    tree->OnUpdating = note("updating");
    tree->OnScroll = note("scroll");
    tree->OnCollapsed = note("collapsed");
    tree->OnShowScrollbar = note("bar");
    tree->OnEditCancelled = note("edit cancelled");
    int freed = 0;
    tree->OnFreeNode = [&freed](auto&&...) { ++freed; };
    delete tree;
    tree = nullptr;
    EXPECT_EQ(freed, 23);
    EXPECT_EQ(events, std::vector<std::string>{});
}

TEST(VTEvents, DefaultsOfTheDispatchers)
{
    // The base tree's defaults (the string tree has its own search, editor and widths).
    TBaseVirtualTree tree(nullptr);
    tree.SetRootNodeCount(2);
    PVirtualNode n = tree.GetFirst();
    EXPECT_FALSE(tree.DoDragAllowed(n, 0));
    EXPECT_TRUE(tree.DoCollapsing(n));
    EXPECT_TRUE(tree.DoExpanding(n));
    EXPECT_TRUE(tree.DoFocusChanging(nullptr, n, -1, 0));
    EXPECT_TRUE(tree.DoNodeMoving(n, nullptr));
    EXPECT_TRUE(tree.DoNodeCopying(n, nullptr));
    EXPECT_TRUE(tree.DoHeaderDragging(0));
    EXPECT_EQ(tree.DoCompareNodes(n, n->NextSibling, 0), 0);
    EXPECT_EQ(tree.DoIncrementalSearch(n, "x"), 0);
    EXPECT_FALSE(tree.DoBeforeItemPaint(tree.Canvas(), n, RECT{}));
    EXPECT_FALSE(tree.DoPaintBackground(tree.Canvas(), RECT{}));
    FORMATETC f{};
    STGMEDIUM m{};
    EXPECT_EQ(tree.DoRenderOLEData(f, m, false), static_cast<HRESULT>(0x80004005));
    WORD key = VK_F2;
    TShiftState shift = 0;
    EXPECT_TRUE(tree.DoKeyAction(key, shift));
    EXPECT_EQ(tree.DoCreateDataObject(), nullptr);
    EXPECT_EQ(tree.DoCreateEditor(n, 0), nullptr);
    bool ghosted = false;
    int index = -1;
    EXPECT_EQ(tree.DoGetImageIndex(n, ikNormal, 0, ghosted, index), nullptr);
    TVTTooltipLineBreakStyle style = hlbForceMultiLine;
    tree.DoGetNodeHint(n, 0, style);
    EXPECT_EQ(style, hlbDefault);
    EXPECT_EQ(tree.DoGetNodeWidth(n, 0), 0);

    // Handlers change the defaults.
    tree.OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& a) { a = true; };
    EXPECT_TRUE(tree.DoDragAllowed(n, 0));
    tree.OnCollapsing = [](TBaseVirtualTree*, PVirtualNode, bool& a) { a = false; };
    EXPECT_FALSE(tree.DoCollapsing(n));
    tree.OnKeyAction = [](TBaseVirtualTree*, WORD& k, TShiftState& s, bool& d) {
        k = VK_F3;
        s = ssCtrl;
        d = false;
    };
    EXPECT_FALSE(tree.DoKeyAction(key, shift));
    EXPECT_EQ(key, VK_F3);
    EXPECT_EQ(shift, static_cast<TShiftState>(ssCtrl));
    tree.OnCompareNodes = [](TBaseVirtualTree*, PVirtualNode a, PVirtualNode b, TColumnIndex, int& r) {
        r = static_cast<int>(b->Index) - static_cast<int>(a->Index);
    };
    tree.SortChildren(nullptr, 0, sdAscending, false);
    EXPECT_EQ(tree.GetFirst()->NextSibling, n);   // reversed
    EXPECT_EQ(n->Index, 1u);
}

TEST(VTEvents, AnEditorEventWithoutALinkIsAnError)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(1);
    tree.OnCreateEditor = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TEditLinkPtr&) {};
    try {
        tree.DoCreateEditor(tree.GetFirst(), 0);
        FAIL() << "no error";
    } catch (const EVirtualTreeError& e) {
        EXPECT_EQ(e.HelpContext(), 2000);
        EXPECT_STREQ(e.what(), "Edit link must not be nil.");
    }
}

TEST(VTEvents, PopupMenuIsAskedOfTheParentsWhileTheHandlerSaysSo)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(1);
    PVirtualNode top = tree.GetFirst();
    tree.SetChildCountOf(top, 1);
    PVirtualNode child = top->FirstChild;
    TPopupMenu menu(nullptr);
    std::vector<PVirtualNode> asked;
    bool stopAtChild = false;
    tree.OnGetPopupMenu = [&](TBaseVirtualTree*, PVirtualNode n, TColumnIndex, POINT, bool& askParent,
                              TPopupMenu*& result) {
        asked.push_back(n);
        if (n == top)
            result = &menu;
        if (stopAtChild)
            askParent = false;
    };
    EXPECT_EQ(tree.DoGetPopupMenu(child, 0, POINT{}), &menu);
    EXPECT_EQ(asked, (std::vector<PVirtualNode>{child, top}));
    asked.clear();
    stopAtChild = true;
    EXPECT_EQ(tree.DoGetPopupMenu(child, 0, POINT{}), nullptr);
    EXPECT_EQ(asked, (std::vector<PVirtualNode>{child}));
    asked.clear();
    tree.DoGetPopupMenu(nullptr, 3, POINT{});
    EXPECT_EQ(asked, (std::vector<PVirtualNode>{nullptr}));
}

TEST(VTEvents, HeaderEventsCarryTheHeaderAsSender)
{
    TVirtualStringTree tree(nullptr);
    std::vector<TVTHeader*> senders;
    tree.OnHeaderClick = [&](TVTHeader* h, TColumnIndex c, TMouseButton, TShiftState, int x, int y) {
        senders.push_back(h);
        EXPECT_EQ(c, 2);
        EXPECT_EQ(x, 10);
        EXPECT_EQ(y, 5);
    };
    tree.OnHeaderDragging = [&](TVTHeader* h, TColumnIndex, bool& allowed) {
        senders.push_back(h);
        allowed = false;
    };
    tree.OnColumnClick = [&](TBaseVirtualTree* t, TColumnIndex c, TShiftState) {
        EXPECT_EQ(t, &tree);
        EXPECT_EQ(c, 1);
    };
    tree.DoHeaderClick(2, TMouseButton::mbLeft, 0, 10, 5);
    EXPECT_FALSE(tree.DoHeaderDragging(0));
    tree.DoColumnClick(1, 0);
    EXPECT_EQ(senders, (std::vector<TVTHeader*>{&tree.Header(), &tree.Header()}));
}

TEST(VTEvents, StructureChangesGatherTheirReasonsInsideAnUpdate)
{
    TVirtualStringTree tree(nullptr);
    std::vector<std::pair<PVirtualNode, TChangeReason>> seen;
    tree.OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode n, TChangeReason r) { seen.emplace_back(n, r); };
    tree.BeginUpdate();
    tree.SetRootNodeCount(3);
    tree.DeleteNode(tree.GetFirst());
    EXPECT_TRUE(seen.empty());
    tree.EndUpdate();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].second, crAccumulated);
    seen.clear();
    PVirtualNode added = tree.InsertNodeAt(tree.GetFirst(), amInsertBefore);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(added, crNodeAdded));
}

TEST(VTEvents, UpdatingIsReportedAtEachLevel)
{
    TVirtualStringTree tree(nullptr);
    std::vector<TVTUpdateState> states;
    tree.OnUpdating = [&](TBaseVirtualTree*, TVTUpdateState s) { states.push_back(s); };
    tree.BeginUpdate();
    tree.BeginUpdate();
    tree.EndUpdate();
    tree.EndUpdate();
    EXPECT_EQ(states, (std::vector<TVTUpdateState>{usBegin, usUpdate, usUpdate, usEnd}));
    EXPECT_FALSE(tree.HasState(tsUpdating));
}

// ---------------------------------------------------------------------------
// Focus and references into deleted subtrees

TEST(VTReferences, DeletingASubtreeForgetsEveryReferenceIntoIt)
{
    TVirtualStringTree tree(nullptr);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    tree.SetRootNodeCount(2);
    PVirtualNode doomed = tree.GetFirst();
    PVirtualNode keeper = doomed->NextSibling;
    tree.SetChildCountOf(doomed, 3);
    PVirtualNode inner = doomed->FirstChild->NextSibling;
    tree.SetChildCountOf(inner, 2);
    PVirtualNode deep = inner->LastChild;

    tree.SetFocusedNode(deep);
    tree.SetSelected(inner, true);
    tree.SetHotNode(doomed->LastChild);
    tree.SetDropTargetNode(inner->FirstChild);
    tree.SetLastSearchNode(deep);
    tree.SetPendingCheck(doomed->FirstChild, csCheckedPressed);
    ASSERT_EQ(tree.FocusedNode(), deep);
    ASSERT_EQ(tree.HotNode(), doomed->LastChild);

    std::vector<PVirtualNode> hot;
    tree.OnHotChange = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode n) { hot.push_back(n); };
    tree.DeleteNode(doomed);
    EXPECT_EQ(tree.FocusedNode(), nullptr);
    EXPECT_EQ(tree.HotNode(), nullptr);
    EXPECT_EQ(tree.DropTargetNode(), nullptr);
    EXPECT_EQ(tree.RangeAnchor(), nullptr);
    EXPECT_EQ(tree.LastSearchNode(), nullptr);
    EXPECT_EQ(tree.PendingCheckNode(), nullptr);
    EXPECT_EQ(tree.LastChangedNode(), nullptr);
    EXPECT_EQ(tree.LastStructureChangeNode(), nullptr);
    EXPECT_EQ(tree.SelectedCount(), 0u);
    // What stays is still there.
    tree.SetFocusedNode(keeper);
    EXPECT_EQ(tree.FocusedNode(), keeper);
}

// An editor that only records what the tree asks of it.
struct RecordingLink : IVTEditLink {
    std::vector<std::string>* calls;
    bool agreeToEnd;
    RecordingLink(std::vector<std::string>* c, bool end) : calls(c), agreeToEnd(end) {}
    bool BeginEdit() override { calls->push_back("begin"); return true; }
    bool CancelEdit() override { calls->push_back("cancel"); return true; }
    bool EndEdit() override { calls->push_back("end"); return agreeToEnd; }
    bool PrepareEdit(TBaseVirtualTree*, PVirtualNode, TColumnIndex) override
    {
        calls->push_back("prepare");
        return true;
    }
    RECT GetBounds() override { return RECT{}; }
    void ProcessMessage(TMessage&) override {}
    void SetBounds(RECT) override {}
};

TEST(VTReferences, DeletingTheEditedNodeCancelsTheEditFirst)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    std::vector<std::string> calls;
    tree.OnCreateEditor = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TEditLinkPtr& link) {
        link = std::make_shared<RecordingLink>(&calls, true);
    };
    int ended = 0, cancelled = 0;
    tree.OnEdited = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { ++ended; };
    tree.OnEditCancelled = [&](TBaseVirtualTree*, TColumnIndex) { ++cancelled; };

    // The editor is cancelled, not ended (ending would store its text),
    // before the node loses the focus and goes.
    PVirtualNode edited = tree.GetFirst();
    tree.SetFocusedNode(edited);
    tree.DoEdit();
    ASSERT_TRUE(tree.IsEditing());
    EXPECT_EQ(tree.EditNode(), edited);
    tree.DeleteNode(edited);
    EXPECT_FALSE(tree.IsEditing());
    EXPECT_EQ(tree.EditNode(), nullptr);
    EXPECT_EQ(tree.FocusedNode(), nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"prepare", "begin", "cancel"}));
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(cancelled, 1);
}

TEST(VTReferences, ClearingForgetsThemAsWell)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    tree.SetFocusedNode(tree.GetFirst());
    tree.SetHotNode(tree.GetFirst()->NextSibling);
    tree.SetDropTargetNode(tree.GetFirst());
    tree.ClearNodes();
    EXPECT_EQ(tree.FocusedNode(), nullptr);
    EXPECT_EQ(tree.HotNode(), nullptr);
    EXPECT_EQ(tree.DropTargetNode(), nullptr);
}

TEST(VTFocus, FocusChangesCanBeRefusedAndAreReported)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    PVirtualNode a = tree.GetFirst(), b = a->NextSibling;
    std::vector<PVirtualNode> focused;
    tree.OnFocusChanged = [&](TBaseVirtualTree*, PVirtualNode n, TColumnIndex) { focused.push_back(n); };
    bool allow = true;
    tree.OnFocusChanging = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TColumnIndex, TColumnIndex,
                               bool& allowed) { allowed = allow; };
    tree.SetFocusedNode(a);
    allow = false;
    tree.SetFocusedNode(b);
    EXPECT_EQ(tree.FocusedNode(), a);
    allow = true;
    tree.SetFocusedNode(tree.RootNode());   // the root counts as nil
    EXPECT_EQ(tree.FocusedNode(), nullptr);
    EXPECT_EQ(focused, (std::vector<PVirtualNode>{a, nullptr}));
    // Deleting the focused node reports the loss of focus.
    tree.SetFocusedNode(b);
    focused.clear();
    tree.DeleteNode(b);
    EXPECT_EQ(focused, (std::vector<PVirtualNode>{nullptr}));
}

TEST(VTFocus, MainColumnIsMinusOneWithoutColumnsAndClampedWithThem)
{
    TVirtualStringTree tree(nullptr);
    EXPECT_EQ(tree.Header().MainColumn(), -1);
    for (int i = 0; i < 3; ++i)
        tree.Header().Columns().Add();
    EXPECT_EQ(tree.Header().MainColumn(), 0);
    tree.Header().SetMainColumn(7);
    EXPECT_EQ(tree.Header().MainColumn(), 2);
    EXPECT_EQ(tree.FocusedColumn(), 2);   // without extended focus the focus follows
    tree.Header().SetMainColumn(-4);
    EXPECT_EQ(tree.Header().MainColumn(), 0);
    EXPECT_EQ(tree.FocusedColumn(), 0);
    tree.TreeOptions().SetSelectionOptions(toExtendedFocus);
    tree.Header().SetMainColumn(1);
    EXPECT_EQ(tree.FocusedColumn(), 0);
}

// ---------------------------------------------------------------------------
// Delayed events in a real window

TEST_F(WindowedTree, ThreeQuickChangesFireOneDelayedChangeWithTheLastNode)
{
    tree->SetChangeDelay(100);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetRootNodeCount(5);
    std::vector<PVirtualNode> changes;
    tree->OnChange = [&](TBaseVirtualTree*, PVirtualNode n) { changes.push_back(n); };
    std::vector<PVirtualNode> n = Children(tree->RootNode());
    tree->SetSelected(n[0], true);
    tree->SetSelected(n[1], true);
    tree->SetSelected(n[2], true);
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(tree->HasState(tsChangePending));
    ASSERT_TRUE(PumpUntil([&] { return !changes.empty(); }, 20000)) << "no delayed change event within 20 s";
    Pump(300);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], n[2]);
    EXPECT_FALSE(tree->HasState(tsChangePending));
}

TEST_F(WindowedTree, APendingChangeWhoseNodeWentFiresWithNil)
{
    tree->SetChangeDelay(100);
    tree->SetRootNodeCount(3);
    std::vector<PVirtualNode> changes;
    std::vector<PVirtualNode> structure;
    PVirtualNode last = tree->GetFirst()->NextSibling;
    tree->SetFocusedNode(last);
    tree->OnChange = [&](TBaseVirtualTree*, PVirtualNode n) { changes.push_back(n); };
    tree->OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode n, TChangeReason) { structure.push_back(n); };
    // A change for a node, then a structure change under it; the node goes.
    tree->Change(last);
    tree->SetChildCountOf(last, 2);
    ASSERT_EQ(tree->LastChangedNode(), last);
    ASSERT_EQ(tree->LastStructureChangeNode(), last);
    tree->DeleteNode(last);
    ASSERT_TRUE(PumpUntil([&] { return !changes.empty() && !structure.empty(); }, 20000))
        << "no change and structure events within 20 s";
    Pump(200);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], nullptr);
    ASSERT_EQ(structure.size(), 1u);
    // The pending structure change now stands for the root (the parent of the deleted node).
    EXPECT_EQ(structure[0], nullptr);
}

TEST_F(WindowedTree, WithoutDelayTheChangeFiresAtOnce)
{
    tree->SetRootNodeCount(2);
    std::vector<PVirtualNode> changes;
    tree->OnChange = [&](TBaseVirtualTree*, PVirtualNode n) { changes.push_back(n); };
    tree->SetSelected(tree->GetFirst(), true);
    EXPECT_EQ(changes, (std::vector<PVirtualNode>{tree->GetFirst()}));
}

TEST_F(WindowedTree, AnExceptionInADelayedHandlerReachesTheApplicationHandler)
{
    ClearCaughtErrors();
    tree->SetChangeDelay(30);
    tree->SetRootNodeCount(1);
    int calls = 0;
    tree->OnChange = [&](TBaseVirtualTree*, PVirtualNode) {
        ++calls;
        throw EVirtualTreeError("handler failed", 1);
    };
    tree->SetSelected(tree->GetFirst(), true);
    ASSERT_TRUE(PumpUntil([&] { return calls > 0 && !CaughtErrors().empty(); }, 20000))
        << "the throwing handler was not called and caught within 20 s";
    std::vector<std::string> errors = CaughtErrors();
    EXPECT_NE(std::find_if(errors.begin(), errors.end(),
                           [](const std::string& e) { return e.find("handler failed") != std::string::npos; }),
              errors.end());
    ClearCaughtErrors();
    // The tree goes on working.
    tree->OnChange = nullptr;
    tree->SetRootNodeCount(4);
    EXPECT_EQ(tree->VisibleCount(), 4u);
}

TEST_F(WindowedTree, PaintOptionsWhileLoadingDoNotRedraw)
{
    tree->SetRootNodeCount(3);
    UpdateWindow(tree->Handle());
    RECT r;
    ASSERT_FALSE(GetUpdateRect(tree->Handle(), &r, FALSE));
    tree->BeginLoading();
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowHorzGridLines);
    EXPECT_TRUE(tree->TreeOptions().PaintOptions() & toShowHorzGridLines);
    EXPECT_FALSE(GetUpdateRect(tree->Handle(), &r, FALSE));
    tree->EndLoading();
    UpdateWindow(tree->Handle());
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowVertGridLines);
    EXPECT_TRUE(GetUpdateRect(tree->Handle(), &r, FALSE));
}

TEST_F(WindowedTree, TheWorkerFillsThePositionCacheOfALargeTree)
{
    // 2000 visible nodes or fewer: no cache.
    tree->SetRootNodeCount(2000);
    tree->ValidateCache();
    Pump(200);
    EXPECT_TRUE(tree->PositionCache().empty());

    tree->SetRootNodeCount(4001);
    tree->SetNodeHeight(tree->GetFirst(), 30);
    ASSERT_TRUE(PumpUntil([&] { return tree->HasState(tsUseCache); }, 10000));
    EXPECT_FALSE(tree->HasState(tsValidating));
    std::vector<PVirtualNode> nodes = Children(tree->RootNode());
    const auto& cache = tree->PositionCache();
    // Every 2000th visible node (the 1st, 2001st and 4001st) and a final entry.
    ASSERT_EQ(cache.size(), 4u);
    EXPECT_EQ(cache[0].Node, nodes[0]);
    EXPECT_EQ(cache[0].AbsoluteTop, 0u);
    EXPECT_EQ(cache[1].Node, nodes[2000]);
    EXPECT_EQ(cache[1].AbsoluteTop, 30u + 1999u * 18u);
    EXPECT_EQ(cache[2].Node, nodes[4000]);
    EXPECT_EQ(cache[2].AbsoluteTop, 30u + 3999u * 18u);
    EXPECT_EQ(cache[3].Node, nodes[4000]);
    EXPECT_EQ(cache[3].AbsoluteTop, 30u + 4000u * 18u);

    // Rows appended keep the entries above them: the cache is completed at once.
    tree->SetRootNodeCount(6000);
    EXPECT_TRUE(tree->HasState(tsUseCache));
    EXPECT_EQ(tree->PositionCache().size(), 4u);
    EXPECT_EQ(tree->PositionCache().back().AbsoluteTop, 30u + 5999u * 18u);
    // A row inserted at the top leaves nothing to keep: the worker fills it again.
    tree->InsertNodeAt(tree->GetFirst(), amInsertBefore);
    EXPECT_FALSE(tree->HasState(tsUseCache));
    ASSERT_TRUE(PumpUntil([&] { return tree->HasState(tsUseCache); }, 10000));
    EXPECT_EQ(tree->PositionCache().size(), 5u);
    EXPECT_EQ(tree->PositionCache().back().AbsoluteTop, 30u + 6000u * 18u);
}

TEST_F(WindowedTree, ScrollingClampsToTheVirtualArea)
{
    tree->SetRootNodeCount(100);
    const int clientHeight = tree->ClientRect().bottom;
    std::vector<std::pair<int, int>> scrolls;
    tree->OnScroll = [&](TBaseVirtualTree*, int dx, int dy) { scrolls.emplace_back(dx, dy); };
    tree->SetOffsetY(-100000);
    EXPECT_EQ(tree->OffsetY(), clientHeight - 1800);
    tree->SetOffsetY(50);
    EXPECT_EQ(tree->OffsetY(), 0);
    EXPECT_FALSE(tree->DoSetOffsetXY(POINT{0, 0}, DefaultScrollUpdateFlags));
    ASSERT_EQ(scrolls.size(), 2u);
    EXPECT_EQ(scrolls[0].second, clientHeight - 1800);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(tree->Handle(), SB_VERT, &si));
    EXPECT_EQ(si.nMax, 1799);
    EXPECT_EQ(static_cast<int>(si.nPage), clientHeight);
}

// ---------------------------------------------------------------------------
// Options, colours, scroll bar options and clipboard formats

TEST(VTModel, ColoursDefaultToSystemColoursAndAssignCopiesAll)
{
    TVirtualStringTree tree(nullptr);
    TVTColors& c = tree.Colors();
    EXPECT_EQ(c.DisabledColor(), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(c.FocusedSelectionColor(), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(c.GridLineColor(), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(c.HotColor(), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(c.HeaderHotColor(), GetSysColor(COLOR_BTNSHADOW));
    TVirtualStringTree other(nullptr);
    for (int i = 0; i < TVTColors::ColorCount; ++i)
        other.Colors().SetColor(i, RGB(i, 2 * i, 3 * i));
    c.Assign(other.Colors());
    for (int i = 0; i < TVTColors::ColorCount; ++i)
        EXPECT_EQ(c.Color(i), RGB(i, 2 * i, 3 * i));
    EXPECT_EQ(c.TreeLineColor(), RGB(5, 10, 15));
}

TEST(VTModel, AColourIndexOutsideTheTableFailsAnAssertion)
{
    TVirtualStringTree tree(nullptr);
    EXPECT_THROW(tree.Colors().Color(TVTColors::ColorCount), EAssertionFailed);
    EXPECT_THROW(tree.Colors().Color(-1), EAssertionFailed);
    EXPECT_THROW(tree.Colors().SetColor(TVTColors::ColorCount, 0), EAssertionFailed);
}

TEST(VTModel, ScrollBarOptions)
{
    TVirtualStringTree tree(nullptr);
    TScrollBarOptions& s = tree.ScrollBarOptions();
    EXPECT_EQ(s.ScrollBars(), ssBoth);
    EXPECT_EQ(s.HorizontalIncrement(), 20);
    EXPECT_FALSE(s.AlwaysVisible());
    s.SetVerticalIncrement(0);
    EXPECT_EQ(s.VerticalIncrement(), 1);
    s.SetHorizontalIncrement(20000);
    EXPECT_EQ(s.HorizontalIncrement(), 10000);
    EXPECT_THROW(s.SetScrollBarStyle(sbmFlat), EAssertionFailed);
    EXPECT_EQ(s.ScrollBarStyle(), sbmRegular);
}

TEST(VTModel, OptionsAssignCopiesEverySet)
{
    TVirtualStringTree a(nullptr), b(nullptr);
    b.TreeOptions().SetPaintOptions(toHotTrack);
    b.TreeOptions().SetMiscOptions(toEditable | toCheckSupport);
    b.TreeOptions().SetStringOptions(toShowStaticText);
    b.TreeOptions().SetSelectionOptions(toFullRowSelect);
    b.TreeOptions().SetAnimationOptions(toAnimatedToggle);
    a.SetTreeOptions(b.TreeOptions());
    EXPECT_EQ(a.TreeOptions().PaintOptions(), static_cast<unsigned>(toHotTrack));
    EXPECT_EQ(a.TreeOptions().MiscOptions(), static_cast<unsigned>(toEditable | toCheckSupport));
    EXPECT_EQ(a.TreeOptions().StringOptions(), static_cast<unsigned>(toShowStaticText));
    EXPECT_EQ(a.TreeOptions().SelectionOptions(), static_cast<unsigned>(toFullRowSelect));
    EXPECT_EQ(a.TreeOptions().AnimationOptions(), static_cast<unsigned>(toAnimatedToggle));
    a.SetAnimationDuration(0);
    EXPECT_EQ(a.TreeOptions().AnimationOptions(), 0u);
}

TEST(VTModel, ClipboardFormatNamesMustBeRegisteredForTheTreeClass)
{
    TVirtualStringTree stringTree(nullptr);
    TVirtualDrawTree drawTree(nullptr);
    TClipboardFormatList::Add("Brenix Test Strings", IsTreeOfClass<TCustomVirtualStringTree>, 900);
    TClipboardFormatList::Add("Brenix Test Any Tree", IsTreeOfClass<TBaseVirtualTree>, 901);

    EXPECT_EQ(stringTree.ClipboardFormats().Add("Not A Registered Name"), -1);
    EXPECT_EQ(stringTree.ClipboardFormats().Count(), 0);
    EXPECT_EQ(drawTree.ClipboardFormats().Add("Brenix Test Strings"), -1);
    EXPECT_EQ(drawTree.ClipboardFormats().Add("Brenix Test Any Tree"), 0);
    EXPECT_EQ(stringTree.ClipboardFormats().Add("Brenix Test Strings"), 0);
    EXPECT_EQ(stringTree.ClipboardFormats().Add("Brenix Test Any Tree"), 0);   // sorted before it
    EXPECT_EQ(stringTree.ClipboardFormats().Add("Brenix Test Strings"), 1);    // no duplicate
    EXPECT_EQ(stringTree.ClipboardFormats().Count(), 2);
    EXPECT_EQ(stringTree.ClipboardFormats()[0], "Brenix Test Any Tree");

    // The list hands out a tree's formats in priority order, filtered by name.
    auto all = TClipboardFormatList::EnumerateFormats(&drawTree);
    for (const TClipboardFormatEntry* e : all)
        EXPECT_NE(e->Description, "Brenix Test Strings");
    TStringList only;
    only.Add("Brenix Test Any Tree");
    auto some = TClipboardFormatList::EnumerateFormats(&stringTree, &only);
    ASSERT_EQ(some.size(), 1u);
    EXPECT_EQ(some[0]->FormatEtc.cfFormat,
              RegisterClipboardFormatW(L"Brenix Test Any Tree"));
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_LE(all[i - 1]->Priority, all[i]->Priority);
    // A standard format goes under its fixed description.
    TClipboardFormatList::AddFormat(CF_UNICODETEXT, IsTreeOfClass<TCustomVirtualStringTree>, 950);
    const TClipboardFormatEntry* text = TClipboardFormatList::FindFormat(CLIPFORMAT(CF_UNICODETEXT));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Description, "Unicode text");
}

}  // namespace
