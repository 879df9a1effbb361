// The list control's node operations as the program's frames use them: a
// 16-byte record per node filled in OnInitNode and checked in OnFreeNode
// through random sequences of adding, inserting, deleting, moving, hiding,
// expanding and clearing, with totals, rows and cached positions against a
// recount; the range after clearing and refilling; hiding rows; insert and
// move modes, also into another tree; edits whose node goes.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

#include "Lib2/VirtualTree/OpsTestSupport.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Stream.h"

using namespace ops_test;

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

// Which nodes exist, which were initialized (once, into a zeroed record) and
// freed (once, record whole).
struct RecordKeeper {
    std::set<PVirtualNode> live;
    std::set<uint32_t> initialized, freed;
    uint32_t nextId = 1;
    std::string fault;
    TBaseVirtualTree* tree = nullptr;
    // What the application does when a node goes (it may delete others).
    std::function<void(TBaseVirtualTree*, PVirtualNode)> onFree;

    explicit RecordKeeper(TBaseVirtualTree& t) : tree(&t)
    {
        t.SetNodeDataSize(sizeof(Record));
        t.OnInitNode = [this](TBaseVirtualTree* s, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
            Record* r = s->Data<Record>(node);
            const Record zero{};
            if (std::memcmp(r, &zero, sizeof zero) != 0)
                Fault("record of a new node not empty");
            *r = Record{nextId, kMagic, node, s->NodeLevel(node)};
            initialized.insert(nextId++);
        };
        t.OnFreeNode = [this](TBaseVirtualTree* s, PVirtualNode node) {
            if (!live.erase(node))
                Fault("a node freed twice or never made");
            const Record* r = s->Data<Record>(node);
            if ((node->States & vsInitialized) && (r->magic != kMagic || r->self != node || !freed.insert(r->id).second))
                Fault("record overwritten or freed twice");
            if (onFree)
                onFree(s, node);
            // The record is about to be released: whatever the tree reads
            // of it from now on is garbage (and its links lead nowhere).
            std::memset(static_cast<void*>(node), 0xFE, TreeNodeSize);
        };
    }
    // The tree may outlive the keeper (a failed assertion): it stops reporting.
    ~RecordKeeper()
    {
        tree->OnInitNode = nullptr;
        tree->OnFreeNode = nullptr;
    }
    void Fault(const char* what)
    {
        if (fault.empty())
            fault = what;
    }
    void Made(PVirtualNode node)
    {
        if (node)
            live.insert(node);
    }
    void MadeAll() { for (PVirtualNode n : AllNodes(*tree)) live.insert(n); }
};

std::vector<PVirtualNode> WalkedRows(TBaseVirtualTree& tree)
{
    std::vector<PVirtualNode> out;
    for (PVirtualNode n = tree.FirstVisibleNodeNoInit(); n; n = tree.NextVisibleNodeNoInit(n))
        out.push_back(n);
    return out;
}

// The tree's walk and (with positions) tops and nodes at the rows' bottoms.
std::string CheckRows(TBaseVirtualTree& tree, bool positions)
{
    uint64_t end = 0;
    const std::vector<Row> rows = Rows(tree, &end);
    const std::vector<PVirtualNode> walked = WalkedRows(tree);
    if (walked.size() != rows.size())
        return "walked " + std::to_string(walked.size()) + " rows of " + std::to_string(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        int top = -1;
        const int y = static_cast<int>(rows[i].top) + rows[i].node->NodeHeight - 1;
        if (walked[i] != rows[i].node)
            return "row " + std::to_string(i) + " walked out of order";
        if (positions && (tree.NodeTop(rows[i].node) != rows[i].top || tree.NodeAtPosition(0, y, false, top) !=
                          rows[i].node || top != static_cast<int>(rows[i].top)))
            return "position of row " + std::to_string(i);
    }
    int top = 0;
    return positions && tree.NodeAtPosition(0, static_cast<int>(end), false, top) ? "a node below the rows" : "";
}

class VTRandomOps : public TreeOnForm<TVirtualStringTree>, public ::testing::WithParamInterface<unsigned> {};

TEST_P(VTRandomOps, RecordsTotalsRowsAndPositionsAgreeWithARecount)
{
    std::mt19937 rng(GetParam());
    RecordKeeper keeper(*tree);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetRootNodeCount(2500);   // about the cache threshold: the cache comes and goes
    keeper.MadeAll();
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
            PVirtualNode n = any(), target = rng() % 5 ? any() : nullptr;
            const unsigned op = rng() % 12;
            if (!n && op != 0)
                continue;
            switch (op) {
            case 0: keeper.Made(tree->AddChildNode(rng() % 3 ? n : nullptr)); break;
            case 1: keeper.Made(tree->InsertNodeAt(n, modes[rng() % 4])); break;
            case 2: tree->DeleteNode(n); break;
            case 3: tree->DeleteChildNodes(n, rng() % 2 == 0); break;
            case 4:
                if (target != n && !tree->HasAncestor(target, n))
                    tree->MoveNode(n, target, modes[rng() % 4], rng() % 4 == 0);
                break;
            case 5:
            case 6: tree->SetExpanded(n, !tree->Expanded(n)); break;
            case 7: tree->SetVisible(n, !tree->IsVisible(n)); break;
            case 8: tree->SetNodeHeight(n, 10 + rng() % 30); break;
            case 9:
                tree->SetSelected(n, true);
                if (rng() % 6 == 0)
                    tree->DeleteSelection();
                break;
            case 10:
                // A frame's refill, or everything initialized.
                if (rng() % 10 == 0) {
                    tree->ClearNodes();
                    tree->SetRootNodeCount(2300 + rng() % 400);
                    keeper.MadeAll();
                } else {
                    tree->ValidateNode(nullptr, true);
                }
                break;
            default:
                if (n->ChildCount == 0) {
                    tree->SetChildCountOf(n, 1 + rng() % 4);
                    keeper.MadeAll();
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
    tree->ClearNodes();
    EXPECT_EQ(keeper.fault, "");
    EXPECT_TRUE(keeper.live.empty());
    EXPECT_EQ(keeper.freed, keeper.initialized);
    EXPECT_GT(keeper.initialized.size(), 2000u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, VTRandomOps, ::testing::Values(11u, 12u, 13u));

// The range the vertical bar shows (the windows here are shorter than the rows).
int VerticalRange(TBaseVirtualTree& tree)
{
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE;
    EXPECT_TRUE(GetScrollInfo(tree.Handle(), SB_VERT, &si));
    return si.nMax + 1;
}

using VTOpsWindow = TreeOnForm<TVirtualStringTree>;

TEST_F(VTOpsWindow, AfterClearingAndARefillOfTenRowsTheRangeIsTenRows)
{
    tree->SetBounds(5, 5, 300, 120);
    tree->SetRootNodeCount(100);
    EXPECT_EQ(VerticalRange(*tree), 1800);
    for (int round = 0; round < 3; ++round) {
        tree->ClearNodes();
        EXPECT_EQ(tree->RangeY(), 0);
        for (int i = 0; i < 10; ++i)
            tree->AddChildNode(nullptr);
        EXPECT_EQ(VerticalRange(*tree), 180) << "round " << round;
        int top = 0;
        EXPECT_EQ(tree->NodeAtPosition(0, 179, false, top), tree->LastNodeNoInit());
    }
    // Clearing a node leaves its own row.
    PVirtualNode parent = tree->FirstNodeNoInit();
    tree->SetChildCountOf(parent, 4);
    tree->SetExpanded(parent, true);
    EXPECT_EQ(VerticalRange(*tree), 180 + 4 * 18);
    tree->DeleteChildNodes(parent, true);
    EXPECT_EQ(VerticalRange(*tree), 180);
    EXPECT_EQ(Recount(*tree), "");
}

TEST_F(VTOpsWindow, HidingThreeOfTenRows)
{
    RecordKeeper keeper(*tree);
    tree->SetBounds(5, 5, 300, 120);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetRootNodeCount(10);
    keeper.MadeAll();
    tree->ValidateNode(nullptr, true);
    std::vector<PVirtualNode> nodes = AllNodes(*tree);
    tree->SetFocusedNode(nodes[5]);
    tree->AddToSelection(nodes[5]);
    tree->AddToSelection(nodes[6]);
    UpdateWindow(tree->Handle());
    tree->SetVisible(nodes[2], false);
    RECT dirty{};   // repainted from the hidden row's place down
    ASSERT_TRUE(GetUpdateRect(tree->Handle(), &dirty, FALSE));
    EXPECT_EQ(dirty.top, 2 * 18);
    EXPECT_EQ(dirty.bottom, tree->ClientRect().bottom);
    tree->SetVisible(nodes[5], false);
    tree->SetVisible(nodes[7], false);
    EXPECT_EQ(VerticalRange(*tree), 7 * 18);
    const std::vector<PVirtualNode> shown = WalkedRows(*tree);
    EXPECT_EQ(shown, (std::vector<PVirtualNode>{nodes[0], nodes[1], nodes[3], nodes[4], nodes[6], nodes[8], nodes[9]}));
    for (int y = 0; y < 7 * 18; ++y) {
        int top = 0;
        EXPECT_EQ(tree->NodeAtPosition(0, y, false, top), shown[static_cast<size_t>(y / 18)]);
    }
    // The hidden ones keep their totals, records, selection and focus.
    for (int i : {2, 5, 7}) {
        EXPECT_EQ(nodes[i]->TotalHeight, 18u);
        EXPECT_EQ(tree->Data<Record>(nodes[i])->self, nodes[i]);
    }
    EXPECT_EQ(tree->FocusedNode(), nodes[5]);
    EXPECT_EQ(tree->SelectedCount(), 2u);
    EXPECT_EQ(Recount(*tree), "");
    for (int i : {7, 2, 5})
        tree->SetVisible(nodes[i], true);
    EXPECT_EQ(VerticalRange(*tree), 180);
    EXPECT_EQ(WalkedRows(*tree), nodes);
    EXPECT_EQ(tree->NodeTop(nodes[9]), 9u * 18);
    EXPECT_EQ(Recount(*tree), "");
    tree->ClearNodes();
    EXPECT_EQ(keeper.fault, "");
    EXPECT_TRUE(keeper.live.empty());
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
}

std::vector<PVirtualNode> Children(PVirtualNode parent)
{
    std::vector<PVirtualNode> v;
    for (PVirtualNode n = parent->FirstChild; n; n = n->NextSibling)
        v.push_back(n);
    return v;
}

TEST(VTOps, InsertAndMoveModesPlaceNodesWhereTheySayAlsoInAnotherTree)
{
    TVirtualStringTree tree(nullptr), other(nullptr);
    tree.SetRootNodeCount(3);
    PVirtualNode a = tree.FirstNodeNoInit(), b = a->NextSibling, c = b->NextSibling, root = tree.RootNode();
    PVirtualNode before = tree.InsertNodeAt(b, amInsertBefore), after = tree.InsertNodeAt(b, amInsertAfter);
    PVirtualNode first = tree.InsertNodeAt(nullptr, amInsertBefore);   // at the root: first and last child
    PVirtualNode last = tree.InsertNodeAt(root, amInsertAfter);
    EXPECT_EQ(Children(root), (std::vector<PVirtualNode>{first, a, before, b, after, c, last}));
    PVirtualNode child1 = tree.InsertNodeAt(b, amAddChildLast), child0 = tree.InsertNodeAt(b, amAddChildFirst);
    EXPECT_EQ(Children(b), (std::vector<PVirtualNode>{child0, child1}));
    tree.MoveNode(c, nullptr, amInsertAfter, false);   // to nil: the first top-level node
    EXPECT_EQ(root->FirstChild, c);
    tree.MoveNode(b, a, amAddChildFirst, true);   // children only, in their order
    EXPECT_EQ(Children(a), (std::vector<PVirtualNode>{child0, child1}));
    EXPECT_EQ(Recount(tree), "");
    try {
        tree.MoveNode(a, child0, amAddChildLast, false);
        ADD_FAILURE() << "moved into its own subtree";
    } catch (const EVirtualTreeError& e) {
        EXPECT_EQ(e.HelpContext(), hcTFWrongMoveError);
    }
    EXPECT_EQ(child0->Parent, a);

    // Into another tree: through a node stream, the subtree with its heights
    // and states, the source deleted here.
    tree.ValidateNode(nullptr, true);
    tree.SetNodeHeight(child1, 30);
    tree.SetExpanded(a, true);
    other.SetRootNodeCount(2);
    std::vector<PVirtualNode> moved;
    other.OnNodeMoved = [&](TBaseVirtualTree*, PVirtualNode n) { moved.push_back(n); };
    const unsigned count = tree.TotalCount();
    tree.MoveNode(a, other.RootNode()->LastChild, amInsertBefore, false);
    EXPECT_EQ(tree.TotalCount(), count - 3);
    PVirtualNode copy = other.FirstNodeNoInit()->NextSibling;
    EXPECT_EQ(moved, std::vector<PVirtualNode>{copy});
    ASSERT_EQ(copy->ChildCount, 2u);
    EXPECT_EQ(copy->LastChild->NodeHeight, 30u);
    EXPECT_EQ(other.VisibleCount(), 5u);
    // Children only, as first children there: in their order.
    tree.SetChildCountOf(b, 2);
    tree.ValidateNode(nullptr, true);
    tree.SetNodeHeight(b->FirstChild, 20);
    tree.MoveNode(b, copy, amAddChildFirst, true);
    EXPECT_EQ(b->ChildCount, 0u);
    ASSERT_EQ(copy->ChildCount, 4u);
    EXPECT_EQ(copy->FirstChild->NodeHeight, 20u);
    EXPECT_EQ(copy->FirstChild->NextSibling->NodeHeight, 18u);
    EXPECT_EQ(Recount(tree), "");
    EXPECT_EQ(Recount(other), "");
}

TEST(VTOps, ExpandAllTopDownAndCollapseAllFromTheBottomUp)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    for (PVirtualNode n = tree.FirstNodeNoInit(); n; n = n->NextSibling) {
        tree.SetChildCountOf(n, 2);
        tree.SetChildCountOf(n->FirstChild, 2);
    }
    std::vector<PVirtualNode> order;
    tree.OnExpanded = tree.OnCollapsed = [&](TBaseVirtualTree*, PVirtualNode n) { order.push_back(n); };
    tree.ExpandAll(nullptr);
    EXPECT_EQ(tree.VisibleCount(), 15u);
    ASSERT_EQ(order.size(), 6u);
    EXPECT_EQ(order.front(), tree.FirstNodeNoInit());
    order.clear();
    tree.CollapseAll(nullptr);
    EXPECT_EQ(tree.VisibleCount(), 3u);
    ASSERT_EQ(order.size(), 6u);
    EXPECT_EQ(order.front(), tree.RootNode()->LastChild->FirstChild);
    EXPECT_EQ(order.back(), tree.FirstNodeNoInit());
    EXPECT_EQ(Recount(tree), "");
}

// Handlers that delete nodes while the tree deletes or stores a text: the
// node itself (OnChange, OnNewText), everything with a refill (a frame's
// refresh from OnChange), the group row whose last child goes and a partner
// row (OnFreeNode). The keeper overwrites every freed record, so any later
// use of one shows.
TEST_F(VTOpsWindow, HandlersThatDeleteNodesMeetAConsistentTreeAndNoFreedNode)
{
    RecordKeeper keeper(*tree);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    auto fill = [&](unsigned count) {
        tree->ClearNodes();
        tree->SetRootNodeCount(count);
        tree->ValidateNode(nullptr, true);
        keeper.MadeAll();
    };
    auto check = [&](unsigned rootCount) {
        EXPECT_EQ(keeper.fault, "");
        EXPECT_EQ(tree->RootNodeCount(), rootCount);
        EXPECT_EQ(keeper.live.size(), tree->TotalCount());
        EXPECT_EQ(Recount(*tree), "");
    };

    // OnChange of a selected node that goes: it deletes that node, or
    // clears and refills the list.
    for (bool refill : {false, true}) {
        SCOPED_TRACE(refill ? "refill" : "delete");
        fill(5);
        PVirtualNode victim = tree->FirstNodeNoInit()->NextSibling;
        tree->AddToSelection(victim);
        int changes = 0;
        tree->OnChange = [&](TBaseVirtualTree* s, PVirtualNode n) {
            // (The refill's own change, with nil, comes inside.)
            if (!n || ++changes > 1)
                return;
            if (refill)
                fill(7);
            else
                s->DeleteNode(n);
        };
        tree->DeleteNode(victim);
        EXPECT_EQ(changes, 1);
        check(refill ? 7 : 4);
        tree->OnChange = nullptr;
    }

    // OnNewText deletes its node.
    fill(3);
    tree->OnNewText = [](TBaseVirtualTree* s, PVirtualNode n, TColumnIndex, const std::string&) { s->DeleteNode(n); };
    tree->SetText(tree->FirstNodeNoInit(), NoColumn, "gone");
    tree->OnNewText = nullptr;
    check(2);

    // A group row goes with its last child, one by one and when the children
    // go with their parent.
    keeper.onFree = [](TBaseVirtualTree* s, PVirtualNode n) {
        if (n->Parent != s->RootNode() && n->Parent->ChildCount == 0)
            s->DeleteNode(n->Parent);
    };
    fill(3);
    for (PVirtualNode g = tree->FirstNodeNoInit(); g; g = g->NextSibling)
        tree->SetChildCountOf(g, 2);
    keeper.MadeAll();
    PVirtualNode group = tree->FirstNodeNoInit()->NextSibling;
    tree->SetExpanded(group, true);
    tree->DeleteNode(group->FirstChild);
    check(3);
    tree->DeleteNode(group->FirstChild);
    check(2);
    tree->DeleteChildNodes(tree->FirstNodeNoInit(), false);
    check(1);
    tree->ClearNodes();
    check(0);

    // A group trims itself to one row when one goes (OnFreeNode): alone,
    // and while the whole group goes (its rows stay on their way out).
    keeper.onFree = [](TBaseVirtualTree* s, PVirtualNode n) {
        if (n->Parent != s->RootNode() && n->Parent->ChildCount > 1)
            s->SetChildCountOf(n->Parent, 1);
    };
    fill(2);
    tree->SetChildCountOf(tree->FirstNodeNoInit(), 3);
    tree->SetChildCountOf(tree->RootNode()->LastChild, 3);
    keeper.MadeAll();
    tree->DeleteNode(tree->FirstNodeNoInit()->LastChild);
    EXPECT_EQ(tree->FirstNodeNoInit()->ChildCount, 1u);
    check(2);
    tree->DeleteNode(tree->RootNode()->LastChild);
    check(1);

    // Rows in pairs: one goes with the other, one at a time and all at once.
    std::map<PVirtualNode, PVirtualNode> partner;
    keeper.onFree = [&](TBaseVirtualTree* s, PVirtualNode n) {
        auto it = partner.find(n);
        if (it == partner.end())
            return;
        PVirtualNode other = it->second;
        partner.erase(n);
        partner.erase(other);
        s->DeleteNode(other);
    };
    for (bool clear : {false, true}) {
        fill(6);
        const std::vector<PVirtualNode> nodes = AllNodes(*tree);
        for (size_t i = 0; i < 6; i += 2) {
            partner[nodes[i]] = nodes[i + 1];
            partner[nodes[i + 1]] = nodes[i];
        }
        if (clear)
            tree->ClearNodes();
        else
            tree->DeleteNode(nodes[3]);
        check(clear ? 0 : 4);
        EXPECT_EQ(keeper.freed.size(), keeper.initialized.size() - keeper.live.size());
    }

    // While the selection goes, the last row takes the first with it and
    // adds a row (OnFreeNode): the new row stays.
    fill(4);
    tree->SelectAllNodes(false);
    PVirtualNode last = tree->RootNode()->LastChild, added = nullptr;
    keeper.onFree = [&](TBaseVirtualTree* s, PVirtualNode n) {
        if (n != last)
            return;
        s->DeleteNode(s->FirstNodeNoInit());
        keeper.live.insert(added = s->AddChildNode(nullptr));
    };
    tree->DeleteSelection();
    check(1);
    EXPECT_EQ(tree->FirstNodeNoInit(), added);
    keeper.onFree = nullptr;
}

// The loops that move nodes (a paste of a cut, MoveNode) while handlers free
// or move others: a cut pasted into another list whose OnFreeNode takes each
// moved row's partner, also cut, with it.
TEST_F(VTOpsWindow, ACutPastedIntoAnotherListMovesNoRowAHandlerFreed)
{
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    auto* other = new TVirtualStringTree(form);
    other->SetBounds(310, 5, 100, 250);
    other->SetParent(form);
    other->HandleNeeded();
    {
        RecordKeeper keeper(*tree);
        tree->TreeOptions().SetSelectionOptions(toMultiSelect);
        tree->SetRootNodeCount(6);
        tree->ValidateNode(nullptr, true);
        keeper.MadeAll();
        const std::vector<PVirtualNode> nodes = AllNodes(*tree);
        std::map<PVirtualNode, PVirtualNode> partner;
        for (size_t i = 0; i < 6; i += 2) {
            partner[nodes[i]] = nodes[i + 1];
            partner[nodes[i + 1]] = nodes[i];
        }
        keeper.onFree = [&](TBaseVirtualTree* s, PVirtualNode n) {
            auto it = partner.find(n);
            if (it == partner.end())
                return;
            PVirtualNode gone = it->second;
            partner.erase(n);
            partner.erase(gone);
            s->DeleteNode(gone);
        };
        int moving = 0;
        tree->OnNodeMoving = [&](TBaseVirtualTree*, PVirtualNode n, PVirtualNode, bool& allowed) {
            if (!keeper.live.count(n))
                keeper.Fault("a freed node asked to move");
            ++moving;
            allowed = true;
        };
        tree->SelectAllNodes(false);
        tree->CutNodesToClipboard();
        EXPECT_TRUE(other->PasteNodesFromClipboard());
        EXPECT_EQ(keeper.fault, "");
        EXPECT_EQ(moving, 3);
        EXPECT_EQ(tree->RootNodeCount(), 0u);
        EXPECT_EQ(other->RootNodeCount(), 3u);
        EXPECT_EQ(keeper.live.size(), 0u);
        EXPECT_EQ(Recount(*tree), "");
        EXPECT_EQ(Recount(*other), "");
        tree->OnNodeMoving = nullptr;
    }
    OleUninitialize();
}

// A cut pasted within its own list (the Paste action): OnNodeMoved of the
// first row to move deletes another cut row still waiting.
TEST_F(VTOpsWindow, ACutPastedInItsOwnListMovesNoRowOnNodeMovedFreed)
{
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    {
        RecordKeeper keeper(*tree);
        tree->TreeOptions().SetSelectionOptions(toMultiSelect);
        tree->SetRootNodeCount(6);
        tree->ValidateNode(nullptr, true);
        keeper.MadeAll();
        const std::vector<PVirtualNode> rows = AllNodes(*tree);
        for (int i : {0, 2, 4})
            tree->AddToSelection(rows[i]);
        tree->CutNodesToClipboard();
        // After the last row, from the last cut row back: 4 first, then 2.
        tree->SetFocusedNode(rows[5]);
        tree->SetDefaultPasteMode(amInsertAfter);
        tree->OnNodeMoved = [&](TBaseVirtualTree* s, PVirtualNode n) {
            if (n == rows[4])
                s->DeleteNode(rows[2]);
        };
        EXPECT_TRUE(tree->PasteNodesFromClipboard());
        EXPECT_EQ(keeper.fault, "");
        EXPECT_EQ(AllNodes(*tree), (std::vector<PVirtualNode>{rows[1], rows[3], rows[5], rows[0], rows[4]}));
        EXPECT_EQ(keeper.live.size(), tree->TotalCount());
        EXPECT_EQ(Recount(*tree), "");
        tree->OnNodeMoved = nullptr;
    }
    OleUninitialize();
}

// MoveNode of a node's children, forwards and (as first children) from the
// last one back: OnNodeMoved of the first deletes the child next in line.
TEST_F(VTOpsWindow, MovingChildrenStepsOverTheNextChildOnNodeMovedDeleted)
{
    RecordKeeper keeper(*tree);
    for (bool forwards : {true, false}) {
        SCOPED_TRACE(forwards ? "forwards" : "backwards");
        tree->ClearNodes();
        tree->SetRootNodeCount(2);
        PVirtualNode from = tree->FirstNodeNoInit(), to = from->NextSibling;
        tree->SetChildCountOf(from, 4);
        tree->ValidateNode(nullptr, true);
        keeper.MadeAll();
        std::vector<PVirtualNode> c;
        for (PVirtualNode n = from->FirstChild; n; n = n->NextSibling)
            c.push_back(n);
        tree->OnNodeMoved = [&](TBaseVirtualTree* s, PVirtualNode n) {
            if (n == (forwards ? c[0] : c[3]))
                s->DeleteNode(forwards ? c[1] : c[2]);
        };
        EXPECT_TRUE(tree->MoveNode(from, to, forwards ? amAddChildLast : amAddChildFirst, true));
        EXPECT_EQ(keeper.fault, "");
        EXPECT_EQ(from->ChildCount, 0u);
        std::vector<PVirtualNode> moved;
        for (PVirtualNode n = to->FirstChild; n; n = n->NextSibling)
            moved.push_back(n);
        EXPECT_EQ(moved, forwards ? (std::vector<PVirtualNode>{c[0], c[2], c[3]})
                                  : (std::vector<PVirtualNode>{c[0], c[1], c[3]}));
        EXPECT_EQ(keeper.live.size(), tree->TotalCount());
        EXPECT_EQ(Recount(*tree), "");
    }
    tree->OnNodeMoved = nullptr;
}

// OnNodeMoved deletes the node it is told of: the structure change after
// the move names no node, certainly not the freed one.
TEST_F(VTOpsWindow, ANodeOnNodeMovedDeletedIsNotReportedAsMoved)
{
    tree->SetRootNodeCount(3);
    PVirtualNode moved = tree->FirstNodeNoInit();
    std::vector<PVirtualNode> reported;
    tree->OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode n, TChangeReason) { reported.push_back(n); };
    tree->OnNodeMoved = [](TBaseVirtualTree* s, PVirtualNode n) { s->DeleteNode(n); };
    EXPECT_TRUE(tree->MoveNode(moved, tree->RootNode()->LastChild, amInsertAfter, false));
    EXPECT_EQ(tree->RootNodeCount(), 2u);
    EXPECT_FALSE(reported.empty());
    EXPECT_EQ(std::count(reported.begin(), reported.end(), moved), 0);
    EXPECT_EQ(Recount(*tree), "");
    tree->OnNodeMoved = nullptr;
    tree->OnStructureChange = nullptr;
}

// OnLoadNode may not delete while the stream is read: neither the node
// being read nor the whole list. The load stops with an error and leaves a
// consistent list.
TEST_F(VTOpsWindow, DeletingFromOnLoadNodeIsRefusedWithAnError)
{
    tree->SetRootNodeCount(3);
    for (PVirtualNode n = tree->FirstNodeNoInit(); n; n = n->NextSibling)
        tree->SetChildCountOf(n, 1);
    tree->ValidateNode(nullptr, true);
    tree->OnSaveNode = [](TBaseVirtualTree*, PVirtualNode n, TStream& out) {
        const uint32_t index = n->Index;
        out.WriteBuffer(&index, sizeof index);
    };
    TMemoryStream saved;
    tree->SaveNodesToStream(saved);
    for (bool clear : {false, true}) {
        SCOPED_TRACE(clear ? "clear" : "delete");
        int loaded = 0;
        // A parent's data comes after its children's: the second node read
        // is the first row, whose child is in place.
        tree->OnLoadNode = [&](TBaseVirtualTree* s, PVirtualNode n, TStream& in) {
            uint32_t index = 0;
            in.ReadBuffer(&index, sizeof index);
            if (++loaded != 2)
                return;
            if (clear)
                s->ClearNodes();
            else
                s->DeleteNode(n);
        };
        saved.SetPosition(0);
        EXPECT_THROW(tree->LoadNodesFromStream(saved), EVirtualTreeError);
        EXPECT_EQ(loaded, 2);
        EXPECT_EQ(tree->UpdateCount(), 0u);
        EXPECT_EQ(tree->RootNodeCount(), 1u);
        EXPECT_EQ(Recount(*tree), "");
    }
    tree->OnLoadNode = nullptr;
    tree->OnSaveNode = nullptr;
}

// A group row that goes, its children freed first: their OnFreeNode
// collapses the group, changes its height or adds a child to it. The list's
// totals do not hear of it.
TEST_F(VTOpsWindow, ChangesToANodeOnItsWayOutLeaveTheListsTotalsAlone)
{
    for (int change = 0; change < 3; ++change) {
        SCOPED_TRACE(change);
        tree->OnFreeNode = nullptr;
        tree->ClearNodes();
        tree->SetRootNodeCount(4);
        PVirtualNode group = tree->FirstNodeNoInit();
        tree->SetChildCountOf(group, 2);
        tree->ValidateNode(nullptr, true);
        tree->SetExpanded(group, true);
        // Bounded: a child that a handler could still add would be freed in
        // turn and add the next one.
        int membersFreed = 0;
        tree->OnFreeNode = [&](TBaseVirtualTree* s, PVirtualNode n) {
            if (n->Parent != group || ++membersFreed > 2)
                return;
            if (change == 0)
                s->SetExpanded(group, false);
            else if (change == 1)
                s->SetNodeHeight(group, 40);
            else
                EXPECT_EQ(s->AddChildNode(group), nullptr);
        };
        tree->DeleteNode(group);
        EXPECT_EQ(membersFreed, 2);
        EXPECT_EQ(tree->RootNodeCount(), 3u);
        EXPECT_EQ(tree->RangeY(), 3 * static_cast<int>(tree->DefaultNodeHeight()));
        EXPECT_EQ(Recount(*tree), "");
    }
    tree->OnFreeNode = nullptr;
}

// A group of three goes; each member's OnFreeNode selects the group row or
// the member freed next. Nothing on its way out joins the selection, and the
// selection can be cleared afterwards.
TEST_F(VTOpsWindow, ANodeOnItsWayOutIsNotSelected)
{
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    for (bool next : {false, true}) {
        SCOPED_TRACE(next ? "the next member" : "the group");
        tree->OnFreeNode = nullptr;
        tree->ClearNodes();
        tree->SetRootNodeCount(2);
        PVirtualNode group = tree->FirstNodeNoInit();
        tree->SetChildCountOf(group, 3);
        tree->ValidateNode(nullptr, true);
        tree->SetExpanded(group, true);
        tree->OnFreeNode = [&](TBaseVirtualTree* s, PVirtualNode n) {
            if (n->Parent != group)
                return;
            if (!next)
                s->SetSelected(group, true);
            else if (n->PrevSibling)   // the members go from the last one back
                s->AddToSelection(n->PrevSibling);
        };
        tree->DeleteNode(group);
        EXPECT_EQ(tree->SelectedCount(), 0u);
        EXPECT_EQ(tree->GetFirstSelected(), nullptr);
        tree->OnFreeNode = nullptr;
        tree->AddToSelection(tree->FirstNodeNoInit());
        tree->ClearSelection();
        EXPECT_EQ(tree->SelectedCount(), 0u);
        EXPECT_EQ(Recount(*tree), "");
    }
}

// OnFreeNode fails while the list is cleared or the selection deleted: the
// list ends its update all the same, repaints and reports changes again.
TEST_F(VTOpsWindow, AFailingOnFreeNodeLeavesTheListUpdatingNoLonger)
{
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    for (bool selection : {false, true}) {
        SCOPED_TRACE(selection ? "selection" : "clear");
        tree->OnFreeNode = nullptr;
        tree->OnChange = nullptr;
        tree->ClearNodes();
        tree->SetRootNodeCount(3);
        tree->SelectAllNodes(false);
        bool failed = false;
        tree->OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) {
            if (!failed) {
                failed = true;
                throw std::runtime_error("the record would not go");
            }
        };
        if (selection)
            EXPECT_THROW(tree->DeleteSelection(), std::runtime_error);
        else
            EXPECT_THROW(tree->ClearNodes(), std::runtime_error);
        EXPECT_EQ(tree->UpdateCount(), 0u);
        EXPECT_FALSE(tree->HasState(tsUpdating));
        int changes = 0;
        tree->OnChange = [&](TBaseVirtualTree*, PVirtualNode) { ++changes; };
        tree->AddToSelection(tree->AddChildNode(nullptr));
        EXPECT_EQ(changes, 1);
    }
    tree->OnFreeNode = nullptr;
    tree->OnChange = nullptr;
}

// Selected rows that go inside an update, with their parent or as the
// deleted selection are a change of the selection: OnChange hears of it
// once, with nil.
TEST_F(VTOpsWindow, SelectedRowsThatGoUnannouncedAreOneChange)
{
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetRootNodeCount(4);
    PVirtualNode first = tree->FirstNodeNoInit();
    tree->SetChildCountOf(first, 1);
    tree->ValidateNode(nullptr, true);
    std::vector<PVirtualNode> changes;
    tree->OnChange = [&](TBaseVirtualTree*, PVirtualNode n) { changes.push_back(n); };

    tree->AddToSelection(tree->RootNode()->LastChild);
    changes.clear();
    tree->BeginUpdate();
    tree->DeleteNode(tree->RootNode()->LastChild);
    tree->EndUpdate();
    EXPECT_EQ(changes, std::vector<PVirtualNode>{nullptr});

    tree->AddToSelection(first->FirstChild);
    changes.clear();
    tree->DeleteNode(first);
    EXPECT_EQ(changes, std::vector<PVirtualNode>{nullptr});

    tree->AddToSelection(tree->FirstNodeNoInit());
    changes.clear();
    tree->DeleteSelection();
    EXPECT_EQ(changes, std::vector<PVirtualNode>{nullptr});
    EXPECT_EQ(tree->RootNodeCount(), 1u);
    EXPECT_EQ(tree->SelectedCount(), 0u);
    tree->OnChange = nullptr;
}

// A chain of nodes deeper than the stack could take frames for.
TEST(VTOps, ADeepChainGoesWithoutRecursion)
{
    TVirtualStringTree tree(nullptr);
    RecordKeeper keeper(tree);
    for (int round = 0; round < 2; ++round) {
        PVirtualNode parent = nullptr;
        for (int level = 0; level < 20000; ++level)
            keeper.Made(parent = tree.AddChildNode(parent));
        EXPECT_EQ(tree.TotalCount(), 20000u);
        if (round == 0)
            tree.DeleteNode(tree.FirstNodeNoInit());
        else
            tree.ClearNodes();
        EXPECT_EQ(tree.TotalCount(), 0u);
        EXPECT_TRUE(keeper.live.empty());
    }
    EXPECT_EQ(keeper.fault, "");
}

// An editor that records what it is asked and when it goes.
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
    // Before the tree: its destructor still cancels the last edit.
    std::vector<std::string> calls;
    int destroyed = 0, edited = 0, newTexts = 0;
    bool cancels = true;
    TVirtualStringTree tree(nullptr);
    tree.OnCreateEditor = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TEditLinkPtr& link) {
        link = std::make_shared<CountingLink>(calls, destroyed, cancels);
    };
    tree.OnEdited = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { ++edited; };
    tree.OnNewText = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, const std::string&) { ++newTexts; };
    PVirtualNode parent = nullptr;
    const struct {
        const char* what;
        bool cancels, editChild;
        std::function<void()> remove;
    } cases[] = {
        {"the edited node", true, true, [&] { tree.DeleteNode(parent->FirstChild); }},
        {"its parent", true, true, [&] { tree.DeleteNode(parent); }},
        {"all nodes", true, true, [&] { tree.ClearNodes(); }},
        {"the edited node, editor refusing", false, false, [&] { tree.DeleteNode(parent); }},
        {"its parent, editor refusing", false, true, [&] { tree.DeleteNode(parent); }},
        {"all nodes, editor refusing", false, false, [&] { tree.ClearNodes(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tree.SetRootNodeCount(2);
        parent = tree.FirstNodeNoInit();
        tree.SetChildCountOf(parent, 2);
        calls.clear();
        destroyed = 0;
        cancels = c.cancels;
        tree.SetFocusedNode(c.editChild ? parent->FirstChild : parent);
        tree.DoEdit();
        ASSERT_TRUE(tree.IsEditing());
        c.remove();
        EXPECT_FALSE(tree.IsEditing());
        EXPECT_EQ(tree.EditNode(), nullptr);
        EXPECT_EQ(calls, (std::vector<std::string>{"begin", "cancel"}));
        EXPECT_EQ(destroyed, 1);
    }
    EXPECT_EQ(edited, 0);
    EXPECT_EQ(newTexts, 0);
    // An edit elsewhere goes on.
    tree.SetRootNodeCount(3);
    cancels = true;
    tree.SetFocusedNode(tree.RootNode()->LastChild);
    tree.DoEdit();
    tree.DeleteNode(tree.FirstNodeNoInit());
    EXPECT_TRUE(tree.IsEditing());
}

}   // namespace
