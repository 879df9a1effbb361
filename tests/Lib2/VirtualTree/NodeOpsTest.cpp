// The list control's node operations as the program's frames use them: a
// 16-byte record per node filled in OnInitNode and checked in OnFreeNode
// through long random sequences of adding, inserting, deleting, moving,
// hiding, expanding and clearing, with the totals, the rows and the cached
// positions checked against a recount; the vertical range after clearing
// and refilling; hiding rows; insert and move modes; edits whose node goes.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "Lib2/VirtualTree/OpsTestSupport.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"

using namespace ops_test;
using testing_support::Pump;

namespace {

// The frames' record: 16 bytes, filled when the node is initialized.
struct Record {
    uint32_t id;
    uint32_t magic;
    PVirtualNode self;
    uint32_t level;
};
static_assert(sizeof(Record) == 16);
constexpr uint32_t kMagic = 0x5EC0DE16;

// Follows every node of a tree: which exist, which were initialized (once
// each, into a zeroed record) and freed (once each, record whole).
struct RecordKeeper {
    std::set<PVirtualNode> live;
    std::set<uint32_t> initialized, freed;
    uint32_t nextId = 1;
    std::string fault;

    TBaseVirtualTree* attached = nullptr;
    // The tree may outlive the keeper (a failed assertion): it stops reporting.
    ~RecordKeeper()
    {
        if (attached) {
            attached->OnInitNode = nullptr;
            attached->OnFreeNode = nullptr;
        }
    }
    void Attach(TBaseVirtualTree& tree)
    {
        attached = &tree;
        tree.SetNodeDataSize(sizeof(Record));
        tree.OnInitNode = [this](TBaseVirtualTree* t, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
            Record* r = t->Data<Record>(node);
            const Record zero{};
            if (std::memcmp(r, &zero, sizeof zero) != 0 && fault.empty())
                fault = "record of a new node not empty (initialized twice?)";
            *r = Record{nextId, kMagic, node, t->NodeLevel(node)};
            initialized.insert(nextId++);
        };
        tree.OnFreeNode = [this](TBaseVirtualTree* t, PVirtualNode node) {
            if (!live.erase(node) && fault.empty())
                fault = "a node freed twice or never made";
            const Record* r = t->Data<Record>(node);
            if (node->States & vsInitialized) {
                if ((r->magic != kMagic || r->self != node) && fault.empty())
                    fault = "record overwritten";
                if (!freed.insert(r->id).second && fault.empty())
                    fault = "record freed twice";
            }
        };
    }
    void Made(PVirtualNode node)
    {
        if (node)
            live.insert(node);
    }
    void MadeChildren(PVirtualNode parent)
    {
        for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) {
            live.insert(c);
            MadeChildren(c);
        }
    }
};

// The rows as the tree's own walk gives them.
std::vector<PVirtualNode> WalkedRows(TBaseVirtualTree& tree)
{
    std::vector<PVirtualNode> out;
    for (PVirtualNode n = tree.FirstVisibleNodeNoInit(); n; n = tree.NextVisibleNodeNoInit(n))
        out.push_back(n);
    return out;
}

std::string CheckRows(TBaseVirtualTree& tree, bool positions)
{
    uint64_t end = 0;
    const std::vector<Row> rows = Rows(tree, &end);
    const std::vector<PVirtualNode> walked = WalkedRows(tree);
    if (walked.size() != rows.size())
        return "walk gives " + std::to_string(walked.size()) + " rows of " + std::to_string(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        if (walked[i] != rows[i].node)
            return "row " + std::to_string(i) + " walked out of order";
        if (!positions)
            continue;
        if (tree.NodeTop(rows[i].node) != rows[i].top)
            return "top of row " + std::to_string(i);
        int top = -1;
        const int y = static_cast<int>(rows[i].top) + rows[i].node->NodeHeight - 1;
        if (tree.NodeAtPosition(0, y, false, top) != rows[i].node || top != static_cast<int>(rows[i].top))
            return "node at the bottom of row " + std::to_string(i);
    }
    int top = 0;
    if (positions && tree.NodeAtPosition(0, static_cast<int>(end), false, top))
        return "a node below the last row";
    return {};
}

class VTRandomOps : public TreeOnForm<TVirtualStringTree>, public ::testing::WithParamInterface<unsigned> {};

TEST_P(VTRandomOps, RecordsTotalsRowsAndPositionsAgreeWithARecount)
{
    std::mt19937 rng(GetParam());
    RecordKeeper keeper;
    keeper.Attach(*tree);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    // Just above the cache threshold, so that the cache comes and goes.
    tree->SetRootNodeCount(2500);
    keeper.MadeChildren(tree->RootNode());
    auto any = [&]() -> PVirtualNode {
        std::vector<PVirtualNode> all = AllNodes(*tree);
        return all.empty() ? nullptr : all[rng() % all.size()];
    };
    const TVTNodeAttachMode modes[] = {amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast};
    int cachedChecks = 0;
    for (int step = 0; step < 300; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const bool bracket = rng() % 8 == 0;
        if (bracket)
            tree->BeginUpdate();
        for (int k = bracket ? 5 : 1; k > 0; --k) {
            PVirtualNode n = any();
            switch (rng() % 12) {
            case 0:
                keeper.Made(tree->AddChildNode(rng() % 3 ? n : nullptr));
                break;
            case 1:
                if (n)
                    keeper.Made(tree->InsertNodeAt(n, modes[rng() % 4]));
                break;
            case 2:
                tree->DeleteNode(n);
                break;
            case 3:
                if (n && rng() % 4 == 0)
                    tree->DeleteChildNodes(n, rng() % 2 == 0);
                break;
            case 4: {
                PVirtualNode target = rng() % 5 ? any() : nullptr;
                if (!n || (target && (target == n || tree->HasAncestor(target, n))))
                    break;
                tree->MoveNode(n, target, modes[rng() % 4], false);
                break;
            }
            case 5:
            case 6:
                if (n)
                    tree->SetExpanded(n, !tree->Expanded(n));
                break;
            case 7:
                if (n)
                    tree->SetVisible(n, !tree->IsVisible(n));
                break;
            case 8:
                if (n)
                    tree->SetNodeHeight(n, 10 + rng() % 30);
                break;
            case 9:
                if (n)
                    tree->SetSelected(n, true);
                if (rng() % 6 == 0)
                    tree->DeleteSelection();
                break;
            case 10:
                // A frame's refresh: everything initialized, or everything new.
                if (rng() % 10 == 0) {
                    tree->ClearNodes();
                    tree->SetRootNodeCount(2300 + rng() % 400);
                    keeper.MadeChildren(tree->RootNode());
                } else {
                    tree->ValidateNode(nullptr, true);
                }
                break;
            default:
                if (n && n->ChildCount == 0) {
                    tree->SetChildCountOf(n, 1 + rng() % 4);
                    keeper.MadeChildren(n);
                }
                break;
            }
        }
        if (bracket)
            tree->EndUpdate();
        ASSERT_EQ(keeper.fault, "");
        ASSERT_EQ(Recount(*tree), "");
        ASSERT_EQ(keeper.live.size(), tree->TotalCount());
        ASSERT_EQ(CheckRows(*tree, step % 25 == 0), "");
        if (step % 25 == 24 && tree->VisibleCount() > CacheThreshold) {
            ASSERT_TRUE(WaitForCache());
            ASSERT_EQ(CheckRows(*tree, true), "");
            ++cachedChecks;
        }
    }
    EXPECT_GT(cachedChecks, 3);
    // Every record freed once, whole; initialized ones were initialized once.
    tree->ClearNodes();
    EXPECT_EQ(keeper.fault, "");
    EXPECT_TRUE(keeper.live.empty());
    EXPECT_EQ(keeper.freed.size(), keeper.initialized.size());
    EXPECT_GT(keeper.initialized.size(), 2000u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, VTRandomOps, ::testing::Values(11u, 12u, 13u));

using VTOpsWindow = TreeOnForm<TVirtualStringTree>;

// The range the vertical scroll bar shows (the window is made shorter than
// the rows, so that the bar is there).
int VerticalRange(TBaseVirtualTree& tree)
{
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE;
    EXPECT_TRUE(GetScrollInfo(tree.Handle(), SB_VERT, &si));
    return si.nMax + 1;
}

TEST_F(VTOpsWindow, AfterClearingAndARefillOfTenRowsTheRangeIsTenRows)
{
    tree->SetBounds(5, 5, 300, 120);
    tree->SetRootNodeCount(100);
    EXPECT_EQ(VerticalRange(*tree), 1800);
    for (int round = 0; round < 3; ++round) {
        tree->ClearNodes();
        EXPECT_EQ(tree->RootNode()->TotalHeight, tree->RootNode()->NodeHeight);
        EXPECT_EQ(tree->RangeY(), 0);
        for (int i = 0; i < 10; ++i)
            tree->AddChildNode(nullptr);
        EXPECT_EQ(tree->RangeY(), 180);
        EXPECT_EQ(VerticalRange(*tree), 180) << "round " << round;
        int top = 0;
        EXPECT_EQ(tree->NodeAtPosition(0, 179, false, top), tree->LastNodeNoInit());
        EXPECT_EQ(top, 162);
    }
    // Clearing a node leaves its own row only.
    PVirtualNode parent = tree->FirstNodeNoInit();
    tree->SetChildCountOf(parent, 4);
    tree->SetExpanded(parent, true);
    EXPECT_EQ(tree->RangeY(), 180 + 4 * 18);
    tree->DeleteChildNodes(parent, true);
    EXPECT_EQ(parent->TotalHeight, 18u);
    EXPECT_EQ(tree->RangeY(), 180);
    EXPECT_EQ(Recount(*tree), "");
}

TEST_F(VTOpsWindow, HidingThreeOfTenRows)
{
    RecordKeeper keeper;
    keeper.Attach(*tree);
    tree->SetBounds(5, 5, 300, 120);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetRootNodeCount(10);
    keeper.MadeChildren(tree->RootNode());
    tree->ValidateNode(nullptr, true);
    std::vector<PVirtualNode> nodes = AllNodes(*tree);
    tree->SetFocusedNode(nodes[5]);
    tree->AddToSelection(nodes[5]);
    tree->AddToSelection(nodes[6]);
    EXPECT_EQ(VerticalRange(*tree), 180);
    UpdateWindow(tree->Handle());

    // The rows below the first hidden one are repainted.
    tree->SetVisible(nodes[2], false);
    RECT dirty{};
    ASSERT_TRUE(GetUpdateRect(tree->Handle(), &dirty, FALSE));
    EXPECT_EQ(dirty.top, 2 * 18);
    EXPECT_EQ(dirty.bottom, tree->ClientRect().bottom);
    tree->SetVisible(nodes[5], false);
    tree->SetVisible(nodes[7], false);

    EXPECT_EQ(VerticalRange(*tree), 7 * 18);
    EXPECT_EQ(tree->VisibleCount(), 7u);
    std::vector<PVirtualNode> shown = WalkedRows(*tree);
    EXPECT_EQ(shown, (std::vector<PVirtualNode>{nodes[0], nodes[1], nodes[3], nodes[4], nodes[6], nodes[8],
                                                nodes[9]}));
    for (int y = 0; y < 7 * 18; ++y) {
        int top = 0;
        PVirtualNode at = tree->NodeAtPosition(0, y, false, top);
        EXPECT_EQ(at, shown[static_cast<size_t>(y / 18)]);
    }
    EXPECT_EQ(tree->NodeAtPoint(5, 7 * 18), nullptr);
    // Their own data stays: totals, record, selection and focus.
    for (int i : {2, 5, 7}) {
        EXPECT_EQ(nodes[i]->TotalHeight, 18u);
        EXPECT_EQ(nodes[i]->TotalCount, 1u);
        EXPECT_EQ(tree->Data<Record>(nodes[i])->self, nodes[i]);
    }
    EXPECT_EQ(tree->FocusedNode(), nodes[5]);
    EXPECT_TRUE(tree->Selected(nodes[5]));
    EXPECT_EQ(tree->SelectedCount(), 2u);
    EXPECT_EQ(Recount(*tree), "");

    for (int i : {7, 2, 5})
        tree->SetVisible(nodes[i], true);
    EXPECT_EQ(VerticalRange(*tree), 180);
    EXPECT_EQ(WalkedRows(*tree), nodes);
    EXPECT_EQ(tree->VisibleCount(), 10u);
    EXPECT_EQ(tree->NodeTop(nodes[9]), 9u * 18);
    EXPECT_EQ(Recount(*tree), "");
    tree->ClearNodes();
    EXPECT_TRUE(keeper.live.empty());
    EXPECT_EQ(keeper.fault, "");
}

TEST_F(VTOpsWindow, ClearingTheSelectionRepaintsOnlyTheSelectedRowsOnScreen)
{
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetRootNodeCount(100);
    std::vector<PVirtualNode> nodes = AllNodes(*tree);
    tree->SetOffsetY(-10 * 18);   // row 10 at the top
    for (int i : {12, 13, 90})    // row 90 is far below the window
        tree->AddToSelection(nodes[i]);
    UpdateWindow(tree->Handle());
    tree->ClearSelection();
    RECT dirty{};
    ASSERT_TRUE(GetUpdateRect(tree->Handle(), &dirty, FALSE));
    EXPECT_EQ(dirty.top, 2 * 18);
    EXPECT_EQ(dirty.bottom, 4 * 18);
    EXPECT_EQ(tree->SelectedCount(), 0u);
    EXPECT_FALSE(tree->Selected(nodes[90]));
}

TEST(VTOps, InsertAndMoveModesPlaceNodesWhereTheySay)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    PVirtualNode a = tree.FirstNodeNoInit(), b = a->NextSibling, c = b->NextSibling;
    auto top = [&] {
        std::vector<PVirtualNode> v;
        for (PVirtualNode n = tree.RootNode()->FirstChild; n; n = n->NextSibling)
            v.push_back(n);
        return v;
    };
    PVirtualNode before = tree.InsertNodeAt(b, amInsertBefore);
    PVirtualNode after = tree.InsertNodeAt(b, amInsertAfter);
    EXPECT_EQ(top(), (std::vector<PVirtualNode>{a, before, b, after, c}));
    // At the root the insert modes add first and last children.
    PVirtualNode first = tree.InsertNodeAt(nullptr, amInsertBefore);
    PVirtualNode last = tree.InsertNodeAt(tree.RootNode(), amInsertAfter);
    EXPECT_EQ(top().front(), first);
    EXPECT_EQ(top().back(), last);
    EXPECT_EQ(tree.InsertNodeAt(b, amNoWhere), nullptr);
    PVirtualNode child1 = tree.InsertNodeAt(b, amAddChildLast);
    PVirtualNode child0 = tree.InsertNodeAt(b, amAddChildFirst);
    EXPECT_EQ(b->FirstChild, child0);
    EXPECT_EQ(b->LastChild, child1);
    EXPECT_EQ(child1->Index, 1u);
    EXPECT_EQ(Recount(tree), "");

    // Moving to nil makes the first top-level node; children move in order.
    tree.MoveNode(c, nullptr, amInsertAfter, false);
    EXPECT_EQ(top().front(), c);
    tree.MoveNode(b, a, amAddChildFirst, true);
    EXPECT_EQ(a->FirstChild, child0);
    EXPECT_EQ(a->LastChild, child1);
    EXPECT_EQ(b->ChildCount, 0u);
    tree.MoveNode(a, c, amInsertAfter, true);
    EXPECT_EQ(c->NextSibling, child0);
    EXPECT_EQ(child0->NextSibling, child1);
    EXPECT_EQ(Recount(tree), "");
    // Into its own subtree: refused before anything moved.
    tree.MoveNode(child0, b, amAddChildLast, false);
    try {
        tree.MoveNode(b, child0, amAddChildLast, false);
        ADD_FAILURE() << "no error";
    } catch (const EVirtualTreeError& e) {
        EXPECT_EQ(e.HelpContext(), hcTFWrongMoveError);
    }
    EXPECT_EQ(child0->Parent, b);
    EXPECT_EQ(Recount(tree), "");
}

TEST(VTOps, MovingIntoAnotherTreeCarriesTheSubtreeThroughANodeStream)
{
    TVirtualStringTree from(nullptr), to(nullptr);
    from.SetRootNodeCount(2);
    PVirtualNode source = from.FirstNodeNoInit();
    from.SetChildCountOf(source, 3);
    from.ValidateNode(nullptr, true);
    from.SetNodeHeight(source->LastChild, 30);
    from.SetExpanded(source, true);
    to.SetRootNodeCount(2);
    std::vector<PVirtualNode> moved;
    to.OnNodeMoved = [&](TBaseVirtualTree*, PVirtualNode n) { moved.push_back(n); };
    int freed = 0;
    from.OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) { ++freed; };

    from.MoveNode(source, to.RootNode()->LastChild, amInsertBefore, false);
    EXPECT_EQ(freed, 4);
    EXPECT_EQ(from.TotalCount(), 1u);
    PVirtualNode copy = to.FirstNodeNoInit()->NextSibling;
    EXPECT_EQ(moved, std::vector<PVirtualNode>{copy});
    EXPECT_EQ(copy->NextSibling, to.RootNode()->LastChild);
    ASSERT_EQ(copy->ChildCount, 3u);
    EXPECT_EQ(copy->LastChild->NodeHeight, 30u);
    EXPECT_TRUE(copy->States & vsExpanded);
    EXPECT_EQ(to.VisibleCount(), 6u);
    EXPECT_EQ(Recount(from), "");
    EXPECT_EQ(Recount(to), "");

    // Only the children, as first children of the target: in their order.
    PVirtualNode rest = from.FirstNodeNoInit();
    from.SetChildCountOf(rest, 3);
    from.ValidateNode(nullptr, true);
    for (PVirtualNode c = rest->FirstChild; c; c = c->NextSibling)
        from.SetNodeHeight(c, 20 + c->Index);
    moved.clear();
    from.MoveNode(rest, copy, amAddChildFirst, true);
    EXPECT_EQ(rest->ChildCount, 0u);
    ASSERT_EQ(copy->ChildCount, 6u);
    EXPECT_EQ(moved.size(), 3u);
    unsigned heights[3] = {copy->FirstChild->NodeHeight, copy->FirstChild->NextSibling->NodeHeight,
                           copy->FirstChild->NextSibling->NextSibling->NodeHeight};
    EXPECT_EQ(heights[0], 20u);
    EXPECT_EQ(heights[1], 21u);
    EXPECT_EQ(heights[2], 22u);
    EXPECT_EQ(Recount(from), "");
    EXPECT_EQ(Recount(to), "");
}

TEST(VTOps, CollapseAllAndExpandAllFromTheBottomUp)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    for (PVirtualNode n = tree.FirstNodeNoInit(); n; n = n->NextSibling) {
        tree.SetChildCountOf(n, 2);
        tree.SetChildCountOf(n->FirstChild, 2);
    }
    std::vector<PVirtualNode> order;
    tree.OnExpanded = [&](TBaseVirtualTree*, PVirtualNode n) { order.push_back(n); };
    tree.OnCollapsed = [&](TBaseVirtualTree*, PVirtualNode n) { order.push_back(n); };
    tree.ExpandAll(nullptr);
    EXPECT_EQ(tree.VisibleCount(), 3u + 6u + 6u);
    EXPECT_EQ(order.size(), 6u);   // the parents, top down
    EXPECT_EQ(order.front(), tree.FirstNodeNoInit());
    order.clear();
    tree.CollapseAll(nullptr);
    EXPECT_EQ(tree.VisibleCount(), 3u);
    ASSERT_EQ(order.size(), 6u);
    // The last parent's child first, the first top-level node last.
    EXPECT_EQ(order.front(), tree.RootNode()->LastChild->FirstChild);
    EXPECT_EQ(order.back(), tree.FirstNodeNoInit());
    EXPECT_EQ(Recount(tree), "");
}

// ---------------------------------------------------------------------------
// An edit whose node goes

struct CountingLink : IVTEditLink {
    std::vector<std::string>& calls;
    int& destroyed;
    bool cancels;
    CountingLink(std::vector<std::string>& c, int& d, bool cancel) : calls(c), destroyed(d), cancels(cancel) {}
    ~CountingLink() override { ++destroyed; }
    bool BeginEdit() override { calls.push_back("begin"); return true; }
    bool CancelEdit() override { calls.push_back("cancel"); return cancels; }
    bool EndEdit() override { calls.push_back("end"); return true; }
    bool PrepareEdit(TBaseVirtualTree*, PVirtualNode, TColumnIndex) override { return true; }
    RECT GetBounds() override { return RECT{}; }
    void ProcessMessage(TMessage&) override {}
    void SetBounds(RECT) override {}
};

TEST(VTOps, AnEditIsCancelledWhenItsNodeOrAnAncestorGoesAndItsLinkFreedOnce)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    tree.SetChildCountOf(tree.FirstNodeNoInit(), 2);
    std::vector<std::string> calls;
    int destroyed = 0;
    bool cancels = true;
    tree.OnCreateEditor = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TEditLinkPtr& link) {
        link = std::make_shared<CountingLink>(calls, destroyed, cancels);
    };
    int edited = 0, newTexts = 0;
    tree.OnEdited = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { ++edited; };
    tree.OnNewText = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, const std::string&) { ++newTexts; };
    auto edit = [&](PVirtualNode n) {
        tree.SetFocusedNode(n);
        tree.DoEdit();
        ASSERT_TRUE(tree.IsEditing());
    };
    struct Case {
        const char* what;
        bool cancels;
        bool editChild;
        std::function<void()> remove;
    };
    PVirtualNode parent = tree.FirstNodeNoInit();
    const Case cases[] = {
        {"the edited node", true, true, [&] { tree.DeleteNode(parent->FirstChild); }},
        {"its parent", true, true, [&] { tree.DeleteNode(parent); }},
        {"all nodes", true, true, [&] { tree.ClearNodes(); }},
        {"the edited node, editor refusing", false, false, [&] { tree.DeleteNode(parent); }},
        {"its parent, editor refusing", false, true, [&] { tree.DeleteNode(parent); }},
        {"all nodes, editor refusing", false, false, [&] { tree.ClearNodes(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (tree.RootNodeCount() == 0)
            tree.SetRootNodeCount(2);
        tree.SetChildCountOf(tree.FirstNodeNoInit(), 2);
        parent = tree.FirstNodeNoInit();
        calls.clear();
        destroyed = 0;
        cancels = c.cancels;
        edit(c.editChild ? parent->FirstChild : parent);
        c.remove();
        EXPECT_FALSE(tree.IsEditing());
        EXPECT_EQ(tree.EditNode(), nullptr);
        EXPECT_EQ(calls, (std::vector<std::string>{"begin", "cancel"}));
        EXPECT_EQ(destroyed, 1);
    }
    EXPECT_EQ(edited, 0);
    EXPECT_EQ(newTexts, 0);
    // An edit elsewhere stays.
    tree.SetRootNodeCount(3);
    cancels = true;
    calls.clear();
    edit(tree.RootNode()->LastChild);
    tree.DeleteNode(tree.FirstNodeNoInit());
    EXPECT_TRUE(tree.IsEditing());
    EXPECT_TRUE(calls == std::vector<std::string>{"begin"});
}

}   // namespace
