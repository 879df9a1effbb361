// The list control's node model and core operations: the node record and
// its data areas, totals, visible count and hidden-children flags against a
// full recount after long random sequences of operations, node life cycle
// (initialization and freeing exactly once, user records kept whole), child
// counts, expanding and collapsing, moving and the position cache.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"

namespace {

// ---------------------------------------------------------------------------
// An independent recount of a tree's bookkeeping.

struct Recount {
    std::string fault;
    unsigned visible = 0;
    unsigned selected = 0;
    unsigned nodes = 0;
};

std::string NodeName(PVirtualNode n)
{
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%p", static_cast<void*>(n));
    return buffer;
}

// Checks one node and its subtree; returns the recomputed total height.
// `open`: every ancestor below the root is visible and expanded.
uint64_t CheckNode(PVirtualNode n, PVirtualNode root, bool open, bool checkFlags, Recount& r, uint64_t& count)
{
    uint64_t childTotal = 0, childHeights = 0;
    unsigned index = 0;
    PVirtualNode prev = nullptr;
    bool anyVisible = false;
    const bool childOpen = n == root || (open && (n->States & vsVisible) && (n->States & vsExpanded));
    for (PVirtualNode c = n->FirstChild; c; c = c->NextSibling) {
        if (c->Parent != n && r.fault.empty())
            r.fault = "parent link of " + NodeName(c);
        if (c->PrevSibling != prev && r.fault.empty())
            r.fault = "previous sibling link of " + NodeName(c);
        if (c->Index != index && r.fault.empty())
            r.fault = "index " + std::to_string(c->Index) + " where " + std::to_string(index) + " belongs";
        ++r.nodes;
        if (c->States & vsSelected)
            ++r.selected;
        if ((c->States & vsVisible) && childOpen)
            ++r.visible;
        if (c->States & vsVisible)
            anyVisible = true;
        uint64_t subCount = 0;
        const uint64_t h = CheckNode(c, root, childOpen, checkFlags, r, subCount);
        childTotal += subCount;
        if (c->States & vsVisible)
            childHeights += h;
        prev = c;
        ++index;
    }
    if (n->LastChild != prev && r.fault.empty())
        r.fault = "last child of " + NodeName(n);
    if (n->ChildCount != index && r.fault.empty())
        r.fault = "child count " + std::to_string(n->ChildCount) + " of " + NodeName(n) + ", counted " +
                  std::to_string(index);
    count = 1 + childTotal;
    if (n->TotalCount != count && r.fault.empty())
        r.fault = "total count " + std::to_string(n->TotalCount) + " of " + NodeName(n) + ", counted " +
                  std::to_string(count);
    const uint64_t height = n->NodeHeight + ((n->States & vsExpanded) ? childHeights : 0);
    if (n->TotalHeight != height && r.fault.empty())
        r.fault = "total height " + std::to_string(n->TotalHeight) + " of " + NodeName(n) + ", counted " +
                  std::to_string(height);
    if (checkFlags && n != root && ((n->States & vsInitialized) || n->ChildCount > 0)) {
        const bool hidden = index > 0 ? !anyVisible : !(n->States & vsHasChildren);
        if (hidden != ((n->States & vsAllChildrenHidden) != 0) && r.fault.empty())
            r.fault = "hidden-children flag of " + NodeName(n);
    }
    if ((n->States & 0x8000) && r.fault.empty())
        r.fault = "state bit 15 set";
    return height;
}

// Empty when the tree's totals, visible count, flags and selection all
// match a recount; otherwise the first difference.
std::string Verify(TBaseVirtualTree& tree)
{
    Recount r;
    uint64_t count = 0;
    PVirtualNode root = tree.RootNode();
    CheckNode(root, root, true, tree.UpdateCount() == 0, r, count);
    if (!r.fault.empty())
        return r.fault;
    if (tree.VisibleCount() != r.visible)
        return "visible count " + std::to_string(tree.VisibleCount()) + ", counted " + std::to_string(r.visible);
    if (tree.TotalCount() != r.nodes)
        return "node count";
    if (tree.SelectedCount() != r.selected)
        return "selected count " + std::to_string(tree.SelectedCount()) + ", counted " + std::to_string(r.selected);
    for (PVirtualNode n : tree.GetSelection())
        if (!(n->States & vsSelected))
            return "unselected node in the selection";
    return {};
}

std::vector<PVirtualNode> AllNodes(TBaseVirtualTree& tree)
{
    std::vector<PVirtualNode> result;
    std::vector<PVirtualNode> stack;
    for (PVirtualNode c = tree.RootNode()->LastChild; c; c = c->PrevSibling)
        stack.push_back(c);
    while (!stack.empty()) {
        PVirtualNode n = stack.back();
        stack.pop_back();
        result.push_back(n);
        for (PVirtualNode c = n->LastChild; c; c = c->PrevSibling)
            stack.push_back(c);
    }
    return result;
}

// The 16-byte record the program's frames keep in every node.
struct UserRecord {
    uint32_t serial;
    uint32_t mixed;
    uint32_t inverted;
    uint32_t xored;
};
static_assert(sizeof(UserRecord) == 16);

UserRecord RecordFor(uint32_t serial) { return {serial, serial * 2654435761u, ~serial, serial ^ 0xA5A5A5A5u}; }

// A tree whose nodes carry the 16-byte record, with every initialization
// and every freeing counted per node.
class RecordTree {
public:
    explicit RecordTree(unsigned seed = 1) : rng(seed)
    {
        tree = new TVirtualStringTree(nullptr);
        tree->SetNodeDataSize(sizeof(UserRecord));
        tree->OnInitNode = [this](TBaseVirtualTree* sender, PVirtualNode parent, PVirtualNode node,
                                  TVirtualNodeInitStates& states) {
            EXPECT_EQ(parent, sender->NodeParent(node));
            auto* rec = sender->Data<UserRecord>(node);
            if (rec->serial != 0)
                ++reinitialized;   // a second initialization of the same node
            *rec = RecordFor(++lastSerial);
            ++initCount[rec->serial];
            if (randomStates) {
                const unsigned level = sender->NodeLevel(node);
                if (level < 3 && rng() % 3 == 0)
                    states |= ivsHasChildren;
                if (rng() % 4 == 0)
                    states |= ivsExpanded;
                if (rng() % 12 == 0)
                    states |= ivsSelected;
                if (rng() % 15 == 0)
                    states |= ivsDisabled;
            }
        };
        tree->OnInitChildren = [this](TBaseVirtualTree*, PVirtualNode, unsigned& count) { count = rng() % 4; };
        tree->OnFreeNode = [this](TBaseVirtualTree* sender, PVirtualNode node) {
            ++freed;
            const UserRecord rec = *sender->Data<UserRecord>(node);
            if (rec.serial == 0) {
                ++freedUninitialized;
                return;
            }
            const UserRecord expected = RecordFor(rec.serial);
            if (std::memcmp(&rec, &expected, sizeof rec) != 0)
                ++damagedRecords;
            ++freeCount[rec.serial];
        };
    }
    ~RecordTree() { delete tree; }

    // Every live initialized node's record is whole.
    int DamagedLiveRecords()
    {
        int damaged = 0;
        for (PVirtualNode n : AllNodes(*tree)) {
            const UserRecord rec = *tree->Data<UserRecord>(n);
            if (rec.serial == 0)
                continue;
            const UserRecord expected = RecordFor(rec.serial);
            if (std::memcmp(&rec, &expected, sizeof rec) != 0)
                ++damaged;
        }
        return damaged;
    }

    TVirtualStringTree* tree;
    std::mt19937 rng;
    bool randomStates = false;
    uint32_t lastSerial = 0;
    int reinitialized = 0;
    int freed = 0;
    int freedUninitialized = 0;
    int damagedRecords = 0;
    std::map<uint32_t, int> initCount, freeCount;
};

// ---------------------------------------------------------------------------
// Node record and data areas

TEST(VTNodeRecord, FieldsLieWhereTheLayoutSays)
{
    EXPECT_EQ(offsetof(TVirtualNode, Index), 0u);
    EXPECT_EQ(offsetof(TVirtualNode, ChildCount), 4u);
    EXPECT_EQ(offsetof(TVirtualNode, NodeHeight), 8u);
    EXPECT_EQ(offsetof(TVirtualNode, States), 10u);
    EXPECT_EQ(offsetof(TVirtualNode, Align), 12u);
    EXPECT_EQ(offsetof(TVirtualNode, CheckState), 13u);
    EXPECT_EQ(offsetof(TVirtualNode, CheckType), 14u);
    EXPECT_EQ(offsetof(TVirtualNode, TotalCount), 16u);
    EXPECT_EQ(offsetof(TVirtualNode, TotalHeight), 20u);
    EXPECT_EQ(offsetof(TVirtualNode, Parent), 24u);
    EXPECT_EQ(offsetof(TVirtualNode, PrevSibling), 28u);
    EXPECT_EQ(offsetof(TVirtualNode, NextSibling), 32u);
    EXPECT_EQ(offsetof(TVirtualNode, FirstChild), 36u);
    EXPECT_EQ(offsetof(TVirtualNode, LastChild), 40u);
    EXPECT_EQ(sizeof(TVirtualNode), 44u);
}

TEST(VTNodeRecord, NewTreeHasOnlyItsHiddenRoot)
{
    TVirtualStringTree tree(nullptr);
    PVirtualNode root = tree.RootNode();
    EXPECT_EQ(root->TotalCount, 1u);
    EXPECT_EQ(root->TotalHeight, 18u);
    EXPECT_EQ(tree.DefaultNodeHeight(), 18u);
    EXPECT_EQ(root->NodeHeight, 18u);
    EXPECT_EQ(root->States, 0x00E1);
    EXPECT_EQ(root->Align, 50);
    EXPECT_EQ(root->Parent, reinterpret_cast<PVirtualNode>(static_cast<TBaseVirtualTree*>(&tree)));
    EXPECT_EQ(root->PrevSibling, root);
    EXPECT_EQ(root->NextSibling, root);
    EXPECT_EQ(tree.RootNodeCount(), 0u);
    EXPECT_EQ(tree.VisibleCount(), 0u);
    EXPECT_EQ(tree.NodeDataSize(), -1);
    EXPECT_EQ(tree.Width(), 200);
    EXPECT_EQ(tree.Height(), 100);
    EXPECT_EQ(tree.TreeOptions().PaintOptions(), 0x1B60u);
    EXPECT_EQ(tree.TreeOptions().AutoOptions(), 0x0149u);
    EXPECT_EQ(tree.TreeOptions().MiscOptions(), 0x01A9u);
    EXPECT_EQ(tree.TreeOptions().SelectionOptions(), 0u);
    EXPECT_EQ(tree.TreeOptions().StringOptions(), 0x05u);
}

TEST(VTNodeRecord, NodeDataOfNilAndRootIsNil)
{
    TVirtualStringTree tree(nullptr);
    tree.SetNodeDataSize(16);
    EXPECT_EQ(tree.NodeData(nullptr), nullptr);
    EXPECT_EQ(tree.NodeData(tree.RootNode()), nullptr);
}

TEST(VTNodeRecord, NodeDataWithoutASizeFailsAnAssertion)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(1);
    EXPECT_THROW(tree.NodeData(tree.GetFirst()), EAssertionFailed);
}

TEST(VTNodeRecord, DataSizeComesFromTheEventWhenNotSet)
{
    // The base tree: the string tree reserves an internal area of its own.
    TBaseVirtualTree tree(nullptr);
    int asked = 0;
    tree.OnGetNodeDataSize = [&](TBaseVirtualTree*, int& size) {
        ++asked;
        size = 12;
    };
    tree.SetRootNodeCount(3);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(tree.NodeDataSize(), 12);
    PVirtualNode n = tree.GetFirst();
    EXPECT_EQ(static_cast<char*>(tree.NodeData(n)) - reinterpret_cast<char*>(n), 44);
}

// A tree class that reserves internal areas in every node.
class AreaTree : public TBaseVirtualTree {
public:
    explicit AreaTree(TComponent* owner) : TBaseVirtualTree(owner)
    {
        first = AllocateInternalDataArea(6);
        second = AllocateInternalDataArea(4);
    }
    unsigned first, second;
    using TBaseVirtualTree::AllocateInternalDataArea;
};

TEST(VTNodeRecord, InternalAreasAreRoundedAndUserDataFollowsThem)
{
    AreaTree tree(nullptr);
    EXPECT_EQ(tree.first, 44u);
    EXPECT_EQ(tree.second, 52u);   // 6 bytes reserve 8
    EXPECT_EQ(tree.TotalInternalDataSize(), 12u);
    tree.SetNodeDataSize(16);
    tree.SetRootNodeCount(50);
    // Fill every area of every node: nothing spills into another node's or area's bytes.
    int serial = 0;
    for (PVirtualNode n = tree.GetFirst(); n; n = tree.GetNextNoInit(n)) {
        char* base = reinterpret_cast<char*>(n);
        EXPECT_EQ(static_cast<char*>(tree.NodeData(n)), base + 56);
        std::memset(base + tree.first, 0x11 + serial % 7, 8);
        std::memset(base + tree.second, 0x22 + serial % 7, 4);
        std::memset(tree.NodeData(n), 0x33 + serial % 7, 16);
        ++serial;
    }
    serial = 0;
    for (PVirtualNode n = tree.GetFirst(); n; n = tree.GetNextNoInit(n)) {
        const unsigned char* base = reinterpret_cast<const unsigned char*>(n);
        for (int i = 0; i < 8; ++i)
            ASSERT_EQ(base[tree.first + i], 0x11 + serial % 7);
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(base[tree.second + i], 0x22 + serial % 7);
        for (int i = 0; i < 16; ++i)
            ASSERT_EQ(base[56 + i], 0x33 + serial % 7);
        ++serial;
    }
    EXPECT_EQ(Verify(tree), "");
    // The root got the areas too and is still the root.
    EXPECT_EQ(tree.RootNode()->States, 0x00E1);
    EXPECT_THROW(tree.AllocateInternalDataArea(4), EAssertionFailed);
}

TEST(VTNodeRecord, InitialUserDataNeedsFourBytes)
{
    TVirtualStringTree tree(nullptr);
    tree.SetNodeDataSize(2);
    int marker = 0;
    try {
        tree.AddChildNode(nullptr, &marker);
        FAIL() << "no error";
    } catch (const EVirtualTreeError& e) {
        EXPECT_EQ(e.HelpContext(), 2008);
        EXPECT_STREQ(e.what(),
                     "Cannot set initial user data because there is not enough user data space allocated.");
    }
    // The node was made all the same, without the value.
    ASSERT_EQ(tree.RootNodeCount(), 1u);
    EXPECT_FALSE(tree.GetFirst()->States & vsInitialUserData);
    EXPECT_EQ(Verify(tree), "");

    EXPECT_THROW(tree.InsertNodeAt(tree.GetFirst(), amInsertAfter, &marker), EVirtualTreeError);
    EXPECT_EQ(tree.RootNodeCount(), 2u);

    TVirtualStringTree wide(nullptr);
    wide.SetNodeDataSize(8);
    PVirtualNode n = wide.AddChildNode(nullptr, &marker);
    EXPECT_TRUE(n->States & vsInitialUserData);
    EXPECT_EQ(*wide.Data<void*>(n), &marker);
}

TEST(VTNodeRecord, NodeDataSizeSetterKeepsTheRootCount)
{
    TVirtualStringTree tree(nullptr);
    tree.SetNodeDataSize(-5);
    EXPECT_EQ(tree.NodeDataSize(), -1);
    tree.SetNodeDataSize(4);
    int freed = 0, inits = 0;
    tree.OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) { ++freed; };
    tree.OnInitNode = [&](TBaseVirtualTree* t, PVirtualNode, PVirtualNode n, TVirtualNodeInitStates&) {
        ++inits;
        *t->Data<uint32_t>(n) = 77;
    };
    tree.SetRootNodeCount(5);
    tree.ValidateNode(nullptr, true);
    EXPECT_EQ(inits, 5);
    tree.SetNodeDataSize(8);
    EXPECT_EQ(freed, 5);
    EXPECT_EQ(tree.RootNodeCount(), 5u);
    // New nodes: their data is fresh.
    EXPECT_EQ(*tree.Data<uint32_t>(tree.GetFirstNoInit()), 0u);
    EXPECT_FALSE(tree.GetFirstNoInit()->States & vsInitialized);
}

// ---------------------------------------------------------------------------
// Child counts and totals

TEST(VTCore, ThreeTopLevelNodesFromTheRootCount)
{
    TVirtualStringTree tree(nullptr);
    int structureChanges = 0;
    tree.OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode node, TChangeReason reason) {
        ++structureChanges;
        EXPECT_EQ(node, nullptr);
        EXPECT_EQ(reason, crChildAdded);
    };
    tree.SetRootNodeCount(3);
    EXPECT_EQ(structureChanges, 1);
    PVirtualNode n = tree.GetFirst();
    for (uint32_t i = 0; i < 3; ++i, n = n->NextSibling) {
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->Index, i);
        EXPECT_EQ(n->States, vsVisible);
        EXPECT_EQ(n->TotalCount, 1u);
        EXPECT_EQ(n->NodeHeight, 18u);
        EXPECT_EQ(n->Align, 50);
    }
    EXPECT_EQ(n, nullptr);
    EXPECT_EQ(tree.RootNode()->TotalCount, 4u);
    EXPECT_EQ(tree.RootNode()->TotalHeight, 18u * 4);
    EXPECT_EQ(tree.VisibleCount(), 3u);
    EXPECT_FALSE(tree.RootNode()->States & vsAllChildrenHidden);
    EXPECT_EQ(Verify(tree), "");
}

TEST(VTCore, RootCountZeroDeletesEverythingWithOneStructureChange)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(4);
    tree.SetChildCountOf(tree.GetFirst(), 3);
    int freed = 0, changes = 0;
    tree.OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) { ++freed; };
    tree.OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode, TChangeReason) { ++changes; };
    tree.SetRootNodeCount(0);
    EXPECT_EQ(freed, 7);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(tree.RootNode()->TotalCount, 1u);
    EXPECT_EQ(tree.RootNode()->TotalHeight, 18u);
    EXPECT_EQ(tree.VisibleCount(), 0u);
    EXPECT_EQ(Verify(tree), "");
}

TEST(VTCore, CollapseAndExpandRestoreExactTotals)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(2);
    PVirtualNode a = tree.GetFirst();
    tree.SetChildCountOf(a, 3);
    PVirtualNode a1 = a->FirstChild;
    tree.SetChildCountOf(a1, 2);
    tree.SetNodeHeight(a1->LastChild, 30);
    tree.SetVisible(a->LastChild, false);
    EXPECT_EQ(Verify(tree), "");
    // Children made under a collapsed node are not shown.
    EXPECT_EQ(tree.VisibleCount(), 2u);
    EXPECT_EQ(a->TotalHeight, 18u);

    tree.ToggleExpanded(a);
    EXPECT_EQ(a->TotalHeight, 18u + 18u + 18u);   // a, a1, a2 (a3 hidden, a1 collapsed)
    EXPECT_EQ(tree.VisibleCount(), 4u);
    tree.ToggleExpanded(a1);
    EXPECT_EQ(a1->TotalHeight, 18u + 18u + 30u);
    EXPECT_EQ(a->TotalHeight, 18u + 66u + 18u);
    EXPECT_EQ(tree.RootNode()->TotalHeight, 18u + 102u + 18u);
    EXPECT_EQ(tree.VisibleCount(), 6u);
    EXPECT_EQ(Verify(tree), "");
    const uint32_t expandedRoot = tree.RootNode()->TotalHeight;

    tree.ToggleExpanded(a);
    EXPECT_EQ(a->TotalHeight, 18u);   // collapsing keeps only its own height
    EXPECT_EQ(a1->TotalHeight, 66u);  // its expanded child keeps its own total
    EXPECT_EQ(tree.VisibleCount(), 2u);
    EXPECT_EQ(a->TotalCount, 6u);
    EXPECT_EQ(Verify(tree), "");
    tree.ToggleExpanded(a);
    EXPECT_EQ(tree.RootNode()->TotalHeight, expandedRoot);
    EXPECT_EQ(tree.VisibleCount(), 6u);
    EXPECT_EQ(Verify(tree), "");
}

TEST(VTCore, ExpandingAskForChildrenAndNoChildrenOnlyRepaints)
{
    TVirtualStringTree tree(nullptr);
    tree.SetNodeDataSize(4);
    unsigned childrenToGive = 0;
    int asked = 0, expanded = 0;
    tree.OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TVirtualNodeInitStates& s) {
        s |= ivsHasChildren;
    };
    tree.OnInitChildren = [&](TBaseVirtualTree*, PVirtualNode, unsigned& count) {
        ++asked;
        count = childrenToGive;
    };
    tree.OnExpanded = [&](TBaseVirtualTree*, PVirtualNode) { ++expanded; };
    tree.SetRootNodeCount(2);
    PVirtualNode a = tree.GetFirst();
    tree.ToggleExpanded(a);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(expanded, 0);
    EXPECT_FALSE(a->States & vsExpanded);
    EXPECT_FALSE(a->States & vsHasChildren);
    EXPECT_TRUE(a->States & vsAllChildrenHidden);
    childrenToGive = 5;
    PVirtualNode b = a->NextSibling;
    tree.ToggleExpanded(b);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(expanded, 1);
    EXPECT_EQ(b->ChildCount, 5u);
    EXPECT_EQ(tree.VisibleCount(), 7u);
    EXPECT_EQ(Verify(tree), "");
}

TEST(VTCore, HiddenChildrenFlagFollowsTheChildren)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(1);
    PVirtualNode p = tree.GetFirst();
    tree.ValidateNode(p, false);
    EXPECT_TRUE(p->States & vsAllChildrenHidden);   // a leaf without children to come
    PVirtualNode c = tree.AddChildNode(p);
    EXPECT_FALSE(p->States & vsAllChildrenHidden);
    tree.SetVisible(c, false);
    EXPECT_TRUE(p->States & vsAllChildrenHidden);
    tree.SetVisible(c, true);
    EXPECT_FALSE(p->States & vsAllChildrenHidden);
    PVirtualNode d = tree.InsertNodeAt(c, amInsertAfter);
    tree.SetVisible(d, false);
    EXPECT_FALSE(p->States & vsAllChildrenHidden);
    tree.DeleteNode(c);
    EXPECT_TRUE(p->States & vsAllChildrenHidden);
    tree.BeginUpdate();
    tree.SetVisible(d, true);
    tree.SetVisible(d, false);
    tree.EndUpdate();
    EXPECT_TRUE(p->States & vsAllChildrenHidden);
    EXPECT_EQ(Verify(tree), "");
}

TEST(VTCore, NodeLevelsPositionsAndLineImages)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(3);
    PVirtualNode a = tree.GetFirst(), b = a->NextSibling, c = b->NextSibling;
    tree.SetChildCountOf(b, 2);
    PVirtualNode b1 = b->FirstChild, b2 = b->LastChild;
    tree.SetChildCountOf(b1, 1);
    PVirtualNode b11 = b1->FirstChild;
    EXPECT_EQ(tree.NodeLevel(nullptr), 0u);
    EXPECT_EQ(tree.NodeLevel(a), 0u);
    EXPECT_EQ(tree.NodeLevel(b11), 2u);
    EXPECT_EQ(tree.CountLevelDifference(a, b11), 2);
    EXPECT_LT(tree.CompareNodePositions(a, b11), 0);
    EXPECT_GT(tree.CompareNodePositions(c, b11), 0);
    EXPECT_EQ(tree.CompareNodePositions(b11, b1), 1);    // its ancestor lies before it
    EXPECT_EQ(tree.CompareNodePositions(b1, b11), -1);
    EXPECT_LT(tree.CompareNodePositions(b11, b2), 0);
    EXPECT_THROW(tree.CompareNodePositions(nullptr, a), EAssertionFailed);

    // Root lines and tree lines on: one entry per level plus the root level.
    TLineImage lines;
    tree.SetSelected(b, true);
    EXPECT_EQ(tree.DetermineLineImages(b11, lines), 1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], ltTopDown);        // b has a later sibling (c)
    EXPECT_EQ(lines[1], ltTopDown);        // b1 has a later sibling (b2)
    EXPECT_EQ(lines[2], ltTopRight);       // b11 is the last
    tree.DetermineLineImages(a, lines);
    EXPECT_EQ(lines, TLineImage{ltBottomRight});
    tree.DetermineLineImages(b, lines);
    EXPECT_EQ(lines, TLineImage{ltTopDownRight});
    tree.DetermineLineImages(c, lines);
    EXPECT_EQ(lines, TLineImage{ltTopRight});
    tree.SetVisible(a, false);
    tree.SetVisible(c, false);
    tree.DetermineLineImages(b, lines);
    EXPECT_EQ(lines, TLineImage{ltRight});   // the only visible one
    tree.TreeOptions().SetPaintOptions(tree.TreeOptions().PaintOptions() & ~toShowRoot);
    tree.DetermineLineImages(b, lines);
    EXPECT_TRUE(lines.empty());
    tree.TreeOptions().SetPaintOptions(tree.TreeOptions().PaintOptions() & ~toShowTreeLines);
    tree.DetermineLineImages(b11, lines);
    EXPECT_EQ(lines, (TLineImage{ltNone, ltNone}));
}

TEST(VTCore, CompactNodeArrayDropsMarkedEntries)
{
    std::vector<PVirtualNode> empty;
    EXPECT_EQ(TBaseVirtualTree::CompactNodeArray(empty, 0), -1);
    TVirtualNode a{}, b{}, c{};
    auto mark = [](PVirtualNode p) { return reinterpret_cast<PVirtualNode>(reinterpret_cast<uintptr_t>(p) | 1); };
    std::vector<PVirtualNode> v{&a, mark(&b), &c, mark(&a)};
    ASSERT_EQ(TBaseVirtualTree::CompactNodeArray(v, 4), 2);
    EXPECT_EQ(v[0], &a);
    EXPECT_EQ(v[1], &c);
}

TEST(VTCore, MovingANodeIntoItsOwnSubtreeIsRefused)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(2);
    PVirtualNode a = tree.GetFirst();
    tree.SetChildCountOf(a, 2);
    try {
        tree.MoveNode(a, a->FirstChild, amAddChildLast, false);
        FAIL() << "no error";
    } catch (const EVirtualTreeError& e) {
        EXPECT_EQ(e.HelpContext(), 2001);
    }
    EXPECT_EQ(Verify(tree), "");
    // Nil target: the first top-level node.
    PVirtualNode b = a->NextSibling;
    int moved = 0;
    tree.OnNodeMoved = [&](TBaseVirtualTree*, PVirtualNode) { ++moved; };
    tree.MoveNode(b, nullptr, amInsertAfter, false);
    EXPECT_EQ(tree.GetFirst(), b);
    EXPECT_EQ(b->Index, 0u);
    EXPECT_EQ(a->Index, 1u);
    // Children only, first-child mode: they keep their order.
    PVirtualNode a1 = a->FirstChild, a2 = a->LastChild;
    tree.MoveNode(a, b, amAddChildFirst, true);
    EXPECT_EQ(b->FirstChild, a1);
    EXPECT_EQ(b->LastChild, a2);
    EXPECT_EQ(moved, 3);
    EXPECT_EQ(a->ChildCount, 0u);
    EXPECT_EQ(Verify(tree), "");
}

TEST(VTCore, ReadOnlyTreesRefuseStructuralChanges)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(2);
    tree.TreeOptions().SetMiscOptions(tree.TreeOptions().MiscOptions() | toReadOnly);
    EXPECT_EQ(tree.AddChildNode(nullptr), nullptr);
    tree.DeleteNode(tree.GetFirst());
    tree.ClearNodes();
    tree.SetRootNodeCount(5);
    EXPECT_EQ(tree.RootNodeCount(), 2u);
    int freed = 0;
    tree.OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) { ++freed; };
    // Destruction still frees the nodes (checked by the counter below).
    {
        auto* t = new TVirtualStringTree(nullptr);
        int f = 0;
        t->OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) { ++f; };
        t->SetRootNodeCount(3);
        t->TreeOptions().SetMiscOptions(t->TreeOptions().MiscOptions() | toReadOnly);
        delete t;
        EXPECT_EQ(f, 3);
    }
    EXPECT_EQ(freed, 0);
}

TEST(VTCore, DefaultNodeHeightZeroMeansEighteen)
{
    TVirtualStringTree tree(nullptr);
    tree.SetDefaultNodeHeight(25);
    EXPECT_EQ(tree.RootNode()->TotalHeight, 25u);
    tree.SetRootNodeCount(2);
    EXPECT_EQ(tree.RootNode()->TotalHeight, 75u);
    tree.SetDefaultNodeHeight(0);
    EXPECT_EQ(tree.DefaultNodeHeight(), 18u);
    EXPECT_EQ(Verify(tree), "");
}

// ---------------------------------------------------------------------------
// Long random sequences against the recount

class VTRandom : public ::testing::TestWithParam<unsigned> {};

TEST_P(VTRandom, BookkeepingMatchesARecountAfterEveryStep)
{
    RecordTree rt(GetParam());
    TVirtualStringTree& tree = *rt.tree;
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    rt.randomStates = true;
    std::mt19937 rng(GetParam() * 7919u);
    auto pick = [&](bool allowNil) -> PVirtualNode {
        std::vector<PVirtualNode> all = AllNodes(tree);
        if (all.empty() || (allowNil && rng() % 8 == 0))
            return nullptr;
        return all[rng() % all.size()];
    };
    int openUpdates = 0;
    for (int step = 0; step < 2500; ++step) {
        const unsigned op = rng() % 16;
        PVirtualNode n = pick(true);
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
        switch (op) {
        case 0:
            for (unsigned i = rng() % 4; i < 4 && tree.TotalCount() < 300; ++i)
                tree.AddChildNode(n);
            break;
        case 1:
            if (n && tree.TotalCount() < 300)
                tree.InsertNodeAt(n, static_cast<TVTNodeAttachMode>(1 + rng() % 4));
            break;
        case 2:
            if (rng() % 3 == 0)
                tree.DeleteNode(n);
            break;
        case 3:
            if (tree.TotalCount() < 300)
                tree.SetChildCountOf(n, rng() % 7);
            break;
        case 4:
        case 5:
            if (n)
                tree.ToggleExpanded(n);
            break;
        case 6:
            if (n)
                tree.SetVisible(n, !(n->States & vsVisible));
            break;
        case 7:
            if (n)
                tree.SetNodeHeight(n, 10 + rng() % 30);
            break;
        case 8: {
            PVirtualNode target = pick(true);
            if (!n)
                break;
            bool inside = false;
            for (PVirtualNode run = target; run && run != tree.RootNode(); run = run->Parent)
                if (run == n)
                    inside = true;
            if (target == n)
                break;
            if (inside)
                EXPECT_THROW(tree.MoveNode(n, target, amAddChildLast, false), EVirtualTreeError);
            else
                tree.MoveNode(n, target, static_cast<TVTNodeAttachMode>(1 + rng() % 4), false);
            break;
        }
        case 9:
            if (openUpdates < 3 && rng() % 2 == 0) {
                tree.BeginUpdate();
                ++openUpdates;
            } else if (openUpdates > 0) {
                tree.EndUpdate();
                --openUpdates;
            }
            break;
        case 10:
            if (n && rng() % 4 == 0)
                tree.DeleteChildNodes(n, rng() % 2 == 0);
            break;
        case 11:
            if (n)
                tree.SetSelected(n, !(n->States & vsSelected));
            break;
        case 12:
            if (n && tree.TotalCount() < 300)
                tree.ValidateNode(n, rng() % 3 == 0);
            break;
        case 13:
            if (rng() % 150 == 0)
                tree.ClearNodes();
            else if (n && rng() % 3 == 0)
                tree.CollapseAll(n);
            else if (tree.TotalCount() < 300 && n)
                tree.ExpandAll(n);
            break;
        case 14:
            if (n && rng() % 2)
                tree.SelectNodes(n, pick(false) ? pick(false) : n, rng() % 2 == 0);
            else if (n)
                tree.ClearSelection();
            break;
        case 15:
            if (n)
                tree.SetHasChildren(n, rng() % 2 == 0);
            break;
        }
        const std::string fault = Verify(tree);
        ASSERT_EQ(fault, "") << "after step " << step;
    }
    while (openUpdates-- > 0)
        tree.EndUpdate();
    EXPECT_EQ(Verify(tree), "");
    EXPECT_EQ(rt.DamagedLiveRecords(), 0);

    // Every node initialized once and freed once, its record whole to the end.
    tree.ValidateNode(nullptr, false);
    for (PVirtualNode n : AllNodes(tree))
        tree.ValidateNode(n, false);
    const unsigned live = tree.TotalCount();
    const int freedBefore = rt.freed;
    delete rt.tree;
    rt.tree = nullptr;
    EXPECT_EQ(rt.freed - freedBefore, static_cast<int>(live));
    EXPECT_EQ(rt.damagedRecords, 0);
    EXPECT_EQ(rt.reinitialized, 0);
    EXPECT_EQ(rt.initCount.size(), rt.lastSerial);
    for (const auto& [serial, count] : rt.initCount) {
        EXPECT_EQ(count, 1) << "initializations of node " << serial;
        EXPECT_EQ(rt.freeCount[serial], 1) << "freeings of node " << serial;
    }
    EXPECT_EQ(rt.freeCount.size(), rt.initCount.size());
    EXPECT_GT(rt.lastSerial, 100u);   // the run did initialize a good many nodes
}

INSTANTIATE_TEST_SUITE_P(Seeds, VTRandom, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u));

TEST(VTLifeCycle, ASixteenByteRecordPerNodeInitializedAndFreedOnce)
{
    RecordTree rt;
    TVirtualStringTree& tree = *rt.tree;
    tree.SetRootNodeCount(200);
    for (PVirtualNode n = tree.GetFirst(); n; n = n->NextSibling)
        tree.SetChildCountOf(n, 3);
    // Walking with initialization visits every node once.
    unsigned walked = 0;
    for (PVirtualNode n = tree.GetFirst(); n; n = tree.GetNext(n))
        ++walked;
    EXPECT_EQ(walked, 800u);
    // A second walk initializes nothing again.
    for (PVirtualNode n = tree.GetFirst(); n; n = tree.GetNext(n))
        tree.ValidateNode(n, true);
    EXPECT_EQ(rt.lastSerial, 800u);
    EXPECT_EQ(rt.reinitialized, 0);
    // Neighbouring records do not touch: each one is still its own.
    EXPECT_EQ(rt.DamagedLiveRecords(), 0);
    tree.DeleteNode(tree.GetFirst());
    EXPECT_EQ(rt.freed, 4);
    tree.ClearNodes();
    EXPECT_EQ(rt.freed, 800);
    EXPECT_EQ(rt.damagedRecords, 0);
    for (const auto& [serial, count] : rt.freeCount)
        ASSERT_EQ(count, 1) << serial;
    EXPECT_EQ(rt.freeCount.size(), 800u);
}

}  // namespace
