// The list control's walks, positions and hit tests: every walk from every
// node of trees with hidden and collapsed nodes against the order worked
// out from the links; tops and the node at every position through the
// position cache against an independent row walk (2000, 2001, 4000, 4001
// and 10,000 visible rows); display rectangles, hit positions inside a row
// and below the last one; initializing walks on a tree made on demand.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "Lib2/VirtualTree/OpsTestSupport.h"
#include "platform/ImageList.h"

using namespace ops_test;
using testing_support::Pump;

namespace {

// A random tree up to four levels deep; about one node in seven hidden,
// about half of the parents expanded, heights 14 to 29.
void BuildRandomTree(TBaseVirtualTree& tree, unsigned seed, unsigned topLevel)
{
    std::mt19937 rng(seed);
    tree.BeginUpdate();
    std::vector<std::pair<PVirtualNode, int>> parents{{nullptr, 0}};
    for (size_t i = 0; i < parents.size(); ++i) {
        const auto [parent, depth] = parents[i];
        const unsigned count = parent ? rng() % 5 : topLevel;
        for (unsigned k = 0; k < count; ++k) {
            PVirtualNode n = tree.AddChildNode(parent);
            tree.SetNodeHeight(n, 14 + rng() % 16);
            if (depth < 3 && rng() % 3 == 0)
                parents.emplace_back(n, depth + 1);
        }
    }
    for (PVirtualNode n : AllNodes(tree)) {
        if (rng() % 7 == 0)
            tree.SetVisible(n, false);
        if (n->ChildCount > 0 && rng() % 2 == 0)
            tree.SetExpanded(n, true);
    }
    tree.EndUpdate();
}

// Index of every node in pre-order.
std::map<PVirtualNode, size_t> Order(const std::vector<PVirtualNode>& all)
{
    std::map<PVirtualNode, size_t> order;
    for (size_t i = 0; i < all.size(); ++i)
        order[all[i]] = i;
    return order;
}

TEST(VTWalks, EveryWalkFromEveryNodeFollowsTheOrderOfTheLinks)
{
    for (unsigned seed : {3u, 17u, 40u}) {
        TVirtualStringTree tree(nullptr);
        BuildRandomTree(tree, seed, 12);
        ASSERT_EQ(Recount(tree), "");
        const std::vector<PVirtualNode> all = AllNodes(tree);
        const std::vector<Row> rows = Rows(tree);
        std::map<PVirtualNode, size_t> order = Order(all);
        std::map<PVirtualNode, size_t> rowOf;
        for (size_t r = 0; r < rows.size(); ++r)
            rowOf[rows[r].node] = r;
        ASSERT_GT(rows.size(), 10u);
        ASSERT_LT(rows.size(), all.size());

        EXPECT_EQ(tree.FirstNodeNoInit(), all.front());
        EXPECT_EQ(tree.LastNodeNoInit(), all.back());
        EXPECT_EQ(tree.FirstVisibleNodeNoInit(), rows.front().node);
        EXPECT_EQ(tree.LastVisibleNodeNoInit(), rows.back().node);
        for (size_t i = 0; i < all.size(); ++i) {
            PVirtualNode n = all[i];
            SCOPED_TRACE("seed " + std::to_string(seed) + ", node " + std::to_string(i));
            EXPECT_EQ(tree.NextNodeNoInit(n), i + 1 < all.size() ? all[i + 1] : nullptr);
            EXPECT_EQ(tree.PreviousNodeNoInit(n), i > 0 ? all[i - 1] : nullptr);
            // The rows after and before the node's place, hidden nodes included.
            PVirtualNode next = nullptr, previous = nullptr;
            for (const Row& r : rows) {
                if (order[r.node] > i) {
                    next = r.node;
                    break;
                }
                if (order[r.node] < i)
                    previous = r.node;
            }
            EXPECT_EQ(tree.NextVisibleNodeNoInit(n), next);
            EXPECT_EQ(tree.PreviousVisibleNodeNoInit(n), previous);
            // The deepest last node and row of the node's subtree.
            const size_t end = i + n->TotalCount;
            EXPECT_EQ(tree.LastNodeNoInit(n), n->TotalCount > 1 ? all[end - 1] : nullptr);
            PVirtualNode lastRow = nullptr;
            if (rowOf.count(n))
                for (size_t r = rowOf[n] + 1; r < rows.size() && order[rows[r].node] < end; ++r)
                    lastRow = rows[r].node;
            EXPECT_EQ(tree.LastVisibleNodeNoInit(n), lastRow);
            // The nearest ancestor on the screen (the root at most).
            PVirtualNode shown = n->Parent;
            while (shown != tree.RootNode() && !rowOf.count(shown))
                shown = shown->Parent;
            EXPECT_EQ(tree.VisibleParentNode(n), shown);
            EXPECT_TRUE(tree.HasAncestor(n, tree.RootNode()));
            EXPECT_FALSE(tree.HasAncestor(n, n));
            if (n->Parent != tree.RootNode()) {
                EXPECT_TRUE(tree.HasAncestor(n, n->Parent));
            }
            if (i + 1 < all.size()) {
                EXPECT_EQ(tree.HasAncestor(all[i + 1], n), n->FirstChild == all[i + 1]);
            }
            // Tops: a row's own, or for a hidden node the place of the rows after it.
            if (rowOf.count(n)) {
                EXPECT_EQ(tree.NodeTop(n), rows[rowOf[n]].top);
            }
            // The initializing walks agree on a fully initialized tree.
            EXPECT_EQ(tree.NextVisibleNode(n), next);
            EXPECT_EQ(tree.PreviousVisibleNode(n), previous);
            EXPECT_EQ(tree.NextNode(n), i + 1 < all.size() ? all[i + 1] : nullptr);
        }
        EXPECT_EQ(tree.HasAncestor(nullptr, all[0]), false);
        EXPECT_EQ(tree.HasAncestor(all[0], nullptr), false);
    }
}

TEST(VTWalks, InitializingWalksMakeTheNodesTheyMeetOnce)
{
    TVirtualStringTree tree(nullptr);
    std::map<PVirtualNode, int> inits;
    // Three levels of three children, every node made when a walk reaches it.
    tree.OnInitNode = [&](TBaseVirtualTree* t, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
        ++inits[node];
        if (t->NodeLevel(node) < 2)
            states |= ivsHasChildren;
    };
    tree.OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, unsigned& count) { count = 3; };
    tree.SetRootNodeCount(3);
    EXPECT_TRUE(inits.empty());
    // Only the links there are: the three top-level nodes.
    unsigned linked = 0;
    for (PVirtualNode n = tree.FirstNodeNoInit(); n; n = tree.NextNodeNoInit(n))
        ++linked;
    EXPECT_EQ(linked, 3u);
    EXPECT_EQ(tree.FirstInitializedNode(), nullptr);

    // The visible walk stays on the (collapsed) top level.
    std::vector<PVirtualNode> visible;
    for (PVirtualNode n = tree.FirstVisibleNode(); n; n = tree.NextVisibleNode(n))
        visible.push_back(n);
    EXPECT_EQ(visible.size(), 3u);
    EXPECT_EQ(inits.size(), 3u);
    EXPECT_EQ(tree.FirstInitializedNode(), visible[0]);

    // The full walk makes every node: 3 + 9 + 27, each initialized once, in pre-order.
    std::vector<PVirtualNode> walked;
    for (PVirtualNode n = tree.FirstNode(); n; n = tree.NextNode(n))
        walked.push_back(n);
    EXPECT_EQ(walked.size(), 39u);
    EXPECT_EQ(walked, AllNodes(tree));
    EXPECT_EQ(inits.size(), 39u);
    for (const auto& [node, count] : inits)
        EXPECT_EQ(count, 1);
    // Backwards the same nodes in reverse.
    std::vector<PVirtualNode> back;
    for (PVirtualNode n = tree.LastNode(); n; n = tree.PreviousNode(n))
        back.push_back(n);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, walked);
    EXPECT_EQ(tree.NextInitializedNode(walked[0]), walked[1]);
    EXPECT_EQ(Recount(tree), "");
    // Nothing below a collapsed node is a row; expanding shows its children.
    EXPECT_EQ(tree.VisibleCount(), 3u);
    tree.SetExpanded(walked[0], true);
    EXPECT_EQ(tree.FirstVisibleChildNode(walked[0]), walked[1]);
    EXPECT_EQ(tree.LastVisibleChildNode(walked[0]), walked[0]->LastChild);
    EXPECT_EQ(tree.LastVisibleChildNode(walked.back()), nullptr);
    EXPECT_EQ(tree.NextVisibleSiblingNode(walked[1]), walked[1]->NextSibling);
    EXPECT_EQ(tree.PreviousVisibleSiblingNode(walked[1]), nullptr);
}

TEST(VTWalks, SelectedAndMarkedNodesInTreeOrder)
{
    TVirtualStringTree tree(nullptr);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    tree.SetRootNodeCount(4);
    std::vector<PVirtualNode> top = {tree.FirstNodeNoInit()};
    while (top.size() < 4)
        top.push_back(top.back()->NextSibling);
    tree.SetChildCountOf(top[1], 2);
    PVirtualNode child = top[1]->FirstChild;
    // Selected in another order than the tree's.
    tree.AddToSelection(top[3]);
    tree.AddToSelection(child);
    tree.AddToSelection(top[1]);
    EXPECT_EQ(tree.SortedSelection(false), (TNodeArray{top[1], child, top[3]}));
    // A selected child of a selected parent goes with the parent.
    EXPECT_EQ(tree.SortedSelection(true), (TNodeArray{top[1], top[3]}));
    EXPECT_EQ(tree.FirstSelected(), top[1]);
    EXPECT_EQ(tree.NextSelected(top[1]), child);
    EXPECT_EQ(tree.NextSelected(child), top[3]);
    EXPECT_EQ(tree.NextSelected(top[3]), nullptr);
    // Marks count only while a copy or cut is pending.
    child->States |= vsCutOrCopy;
    EXPECT_EQ(tree.FirstCutCopyNode(), nullptr);
    EXPECT_EQ(tree.SortedCutCopySet(false), (TNodeArray{child}));
    tree.DoStateChange(tsCopyPending);
    EXPECT_EQ(tree.FirstCutCopyNode(), child);
    EXPECT_EQ(tree.NextCutCopyNode(child), nullptr);
    tree.DoStateChange(0, tsCopyPending);
}

// ---------------------------------------------------------------------------
// Positions through the cache

// Exactly `visible` rows: top-level nodes of heights 16 to 22, every 11th
// hidden; every 5th with three children (one hidden now and then), expanded
// every other time; the first child of an expanded parent with two children
// of its own, collapsed every other time.
void BuildRows(TBaseVirtualTree& tree, unsigned visible)
{
    tree.BeginUpdate();
    for (unsigned i = 0; tree.VisibleCount() < visible; ++i) {
        PVirtualNode n = tree.AddChildNode(nullptr);
        tree.SetNodeHeight(n, 16 + i % 7);
        if (i % 11 == 10) {
            tree.SetVisible(n, false);
        } else if (i % 5 == 0 && tree.VisibleCount() + 6 <= visible) {
            tree.SetChildCountOf(n, 3);
            for (PVirtualNode c = n->FirstChild; c; c = c->NextSibling)
                tree.SetNodeHeight(c, 15 + (i + c->Index) % 5);
            if (i % 20 == 0)
                tree.SetVisible(n->FirstChild->NextSibling, false);
            tree.SetChildCountOf(n->FirstChild, 2);
            if (i % 10 == 0) {
                tree.SetExpanded(n, true);
                if (i % 20 == 0)
                    tree.SetExpanded(n->FirstChild, true);
            }
        }
    }
    tree.EndUpdate();
}

class VTPositions : public TreeOnForm<TVirtualStringTree>, public ::testing::WithParamInterface<unsigned> {};

TEST_P(VTPositions, CachedPositionsMatchAnIndependentRowWalk)
{
    const unsigned visible = GetParam();
    BuildRows(*tree, visible);
    ASSERT_EQ(tree->VisibleCount(), visible);
    ASSERT_EQ(Recount(*tree), "");
    uint64_t end = 0;
    const std::vector<Row> rows = Rows(*tree, &end);
    ASSERT_EQ(rows.size(), visible);

    if (visible <= CacheThreshold) {
        tree->ValidateCache();
        Pump(100);
        EXPECT_FALSE(tree->PositionCacheUsable());
        EXPECT_TRUE(tree->PositionCache().empty());
    } else {
        ASSERT_TRUE(WaitForCache());
        ASSERT_TRUE(tree->PositionCacheUsable());
        // The 1st, 2001st, 4001st... row with its top, then the end marker.
        const auto& cache = tree->PositionCache();
        const size_t regular = (visible + CacheThreshold - 1) / CacheThreshold;
        ASSERT_EQ(cache.size(), regular + 1);
        for (size_t k = 0; k < regular; ++k) {
            EXPECT_EQ(cache[k].Node, rows[k * CacheThreshold].node) << k;
            EXPECT_EQ(cache[k].AbsoluteTop, rows[k * CacheThreshold].top) << k;
        }
        EXPECT_EQ(cache.back().Node, rows.back().node);
        EXPECT_EQ(cache.back().AbsoluteTop, end);
    }

    // Twice: through the cache (when there is one), then by walking.
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "cached" : "uncached");
        const bool everyY = visible <= 4001;
        for (const Row& r : rows) {
            EXPECT_EQ(tree->NodeTop(r.node), r.top);
            const int bottom = static_cast<int>(r.top) + r.node->NodeHeight;
            const int step = everyY ? 1 : r.node->NodeHeight - 1;
            for (int y = static_cast<int>(r.top); y < bottom; y += step) {
                int top = -1;
                ASSERT_EQ(tree->NodeAtPosition(0, y, false, top), r.node) << "y " << y;
                ASSERT_EQ(top, static_cast<int>(r.top));
            }
        }
        // The end position is no node's top; nothing lies below the last row.
        int top = -1;
        EXPECT_EQ(tree->NodeAtPosition(0, static_cast<int>(end) - 1, false, top), rows.back().node);
        EXPECT_EQ(tree->NodeAtPosition(0, static_cast<int>(end), false, top), nullptr);
        EXPECT_EQ(tree->NodeAtPosition(0, static_cast<int>(end) + 500, false, top), nullptr);
        // Below the whole vertical range: below, and no node.
        THitInfo hit;
        tree->HitTestAt(10, static_cast<int>(end) + 2, hit, false);
        EXPECT_EQ(hit.HitNode, nullptr);
        EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpBelow));
        tree->HitTestAt(10, static_cast<int>(rows.back().top), hit, false);
        EXPECT_EQ(hit.HitNode, rows.back().node);
        tree->InvalidateCache();   // the cache stays unused from here
        EXPECT_FALSE(tree->PositionCacheUsable());
    }

    // Scrolled: rectangles and hits in client coordinates follow the rows.
    const RECT client = tree->ClientRect();
    const size_t first = rows.size() / 2;
    tree->SetOffsetY(-static_cast<int>(rows[first].top));
    ASSERT_EQ(tree->OffsetY(), -static_cast<int>(rows[first].top));
    for (size_t k = first; k < rows.size() && rows[k].top - rows[first].top < static_cast<uint64_t>(client.bottom);
         ++k) {
        const RECT r = tree->NodeDisplayRect(rows[k].node, NoColumn, false);
        const int clientTop = static_cast<int>(rows[k].top - rows[first].top);
        EXPECT_EQ(r.top, clientTop);
        EXPECT_EQ(r.bottom, clientTop + rows[k].node->NodeHeight);
        EXPECT_EQ(tree->NodeAtPoint(3, clientTop + 1), rows[k].node);
        THitInfo hit;
        tree->HitTestAt(3, clientTop, hit, true);
        EXPECT_EQ(hit.HitNode, rows[k].node);
        EXPECT_TRUE(hit.HitPositions & hpOnItem);
    }
    // Above the window counts as its top row.
    EXPECT_EQ(tree->NodeAtPoint(3, -40), rows[first].node);
}

INSTANTIATE_TEST_SUITE_P(VisibleRows, VTPositions, ::testing::Values(2000u, 2001u, 4000u, 4001u, 10000u));

// ---------------------------------------------------------------------------
// Rectangles and hit positions inside a row

// A tree whose texts are as wide as the test says.
class WidthTree : public TBaseVirtualTree {
public:
    explicit WidthTree(TComponent* owner) : TBaseVirtualTree(owner) {}
    std::function<int(PVirtualNode)> width = [](PVirtualNode) { return 40; };
    int DoGetNodeWidth(PVirtualNode node, TColumnIndex, TCanvas*) override { return width(node); }
};

class VTHitPositions : public TreeOnForm<WidthTree> {
protected:
    void SetUp() override
    {
        TreeOnForm::SetUp();
        if (!tree)
            return;
        // Texts 40 pixels wide; a normal image on the second top-level node.
        images = new TCustomImageList(form, 16, 16);
        tree->SetImages(images);
        tree->OnGetImageIndex = [this](TBaseVirtualTree*, PVirtualNode node, TVTImageKind kind, TColumnIndex,
                                       bool&, int& index) {
            if (kind == ikNormal && node == second)
                index = 0;
        };
        tree->SetRootNodeCount(3);
        first = tree->FirstNodeNoInit();
        second = first->NextSibling;
        tree->SetChildCountOf(first, 2);
        tree->SetExpanded(first, true);
    }
    TCustomImageList* images = nullptr;
    PVirtualNode first = nullptr;
    PVirtualNode second = nullptr;
};

TEST_F(VTHitPositions, IndentButtonCheckBoxImageLabelAndBeyond)
{
    const int indent = static_cast<int>(tree->Indent());   // 18, with toShowRoot one level more
    const int margin = tree->Margin();                     // 4
    auto hitAt = [&](int x, PVirtualNode node) {
        THitInfo hit;
        tree->HitTestAt(x, static_cast<int>(tree->NodeTop(node)) + 2, hit, true);
        EXPECT_EQ(hit.HitNode, node);
        EXPECT_EQ(hit.HitColumn, NoColumn);
        return hit.HitPositions;
    };
    // A parent: its button in the last Indent pixels of its indentation.
    EXPECT_EQ(hitAt(0, first), hpOnItem | hpOnButton);
    EXPECT_EQ(hitAt(indent - 1, first), hpOnItem | hpOnButton);
    EXPECT_EQ(hitAt(indent + margin - 1, first), static_cast<THitPositions>(hpOnItem));
    EXPECT_EQ(hitAt(indent + margin, first), hpOnItem | hpOnLabel);
    EXPECT_EQ(hitAt(indent + margin + 39, first), hpOnItem | hpOnLabel);
    EXPECT_EQ(hitAt(indent + margin + 40, first), hpOnItem | hpRightOfLabel);
    // A child one level deeper: the parent's level is indentation only.
    PVirtualNode child = first->FirstChild;
    EXPECT_EQ(hitAt(indent - 1, child), hpOnItem | hpOnIndent);
    EXPECT_EQ(hitAt(2 * indent - 1, child), hpOnItem | hpOnIndent);   // no children: no button
    EXPECT_EQ(hitAt(2 * indent + margin, child), hpOnItem | hpOnLabel);
    // The image, 16 + 2 pixels, before the text.
    EXPECT_EQ(hitAt(indent + margin, second), hpOnItem | hpOnNormalImage);
    EXPECT_EQ(hitAt(indent + margin + 17, second), hpOnItem | hpOnNormalImage);
    EXPECT_EQ(hitAt(indent + margin + 18, second), hpOnItem | hpOnLabel);
    // A check box with check support.
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    tree->SetCheckType(child, ctCheckBox);
    const int check = tree->CheckImages()->Width() + 2;
    EXPECT_EQ(hitAt(2 * indent + margin + check - 1, child), hpOnItem | hpOnCheckBox);
    EXPECT_EQ(hitAt(2 * indent + margin + check, child), hpOnItem | hpOnLabel);
    // The text rectangle matches: after indentation, margin and check box.
    const RECT text = tree->NodeDisplayRect(child, NoColumn, true);
    const int top = static_cast<int>(tree->NodeTop(child));
    EXPECT_EQ(text.left, 2 * indent + margin + check);
    EXPECT_EQ(text.right, text.left + 40);
    EXPECT_EQ(text.top, top);
    EXPECT_EQ(text.bottom, top + child->NodeHeight);
    // Outside the client area: no node, no column.
    THitInfo hit;
    tree->HitTestAt(-1, 5, hit, true);
    EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpLeftOfClient));
    EXPECT_EQ(hit.HitNode, nullptr);
    EXPECT_EQ(hit.HitColumn, NoColumn);
    tree->HitTestAt(5, -1, hit, true);
    EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpAbove));
    // Below the last row of this short list: nothing.
    const int below = static_cast<int>(tree->RangeY()) + 3;
    ASSERT_LT(below, tree->ClientRect().bottom);
    tree->HitTestAt(5, below, hit, true);
    EXPECT_EQ(hit.HitNode, nullptr);
    EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpNowhere));
    EXPECT_EQ(tree->NodeAtPoint(5, below), nullptr);
    // A node inside a collapsed parent has no rectangle.
    tree->SetExpanded(first, false);
    const RECT none = tree->NodeDisplayRect(child, NoColumn, false);
    EXPECT_TRUE(none.left == 0 && none.top == 0 && none.right == 0 && none.bottom == 0);
}

TEST_F(VTHitPositions, ColumnsAlignmentsAndTheWidestCell)
{
    TVirtualTreeColumns& columns = tree->Header().Columns();
    columns.Add()->SetWidth(120);
    columns.Add()->SetWidth(100);
    columns.Add()->SetWidth(80);
    tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    Pump(20);
    ASSERT_EQ(tree->Header().MainColumn(), 0);
    const int top = static_cast<int>(tree->NodeTop(second)) + 1;
    THitInfo hit;
    // The second column: no indentation, the text from the margin on.
    tree->HitTestAt(125, top, hit, true);
    EXPECT_EQ(hit.HitColumn, 1);
    EXPECT_EQ(hit.HitPositions, hpOnItem | hpOnNormalImage);
    tree->HitTestAt(120 + 4 + 18 + 40, top, hit, true);
    EXPECT_EQ(hit.HitPositions, hpOnItem | hpRightOfLabel);
    // Right-justified text in the third column: left of it is left of the label.
    columns[2]->SetAlignment(TAlignment::taRightJustify);
    tree->HitTestAt(220 + 30, top, hit, true);
    EXPECT_EQ(hit.HitColumn, 2);
    EXPECT_EQ(hit.HitPositions, hpOnItem | hpLeftOfLabel);
    tree->HitTestAt(295, top, hit, true);
    EXPECT_EQ(hit.HitPositions, hpOnItem | hpOnLabel);
    RECT r = tree->NodeDisplayRect(second, 2, true);
    EXPECT_EQ(r.right, 220 + 80 - 1);
    EXPECT_EQ(r.left, r.right - 40);
    // Centred: between (start + right - width) / 2 and its end.
    columns[2]->SetAlignment(TAlignment::taCenter);
    r = tree->NodeDisplayRect(second, 2, true);
    EXPECT_EQ(r.left, (220 + 4 + 18 + 220 + 79 - 40) / 2);
    EXPECT_EQ(r.right - r.left, 40);
    // Report mode: outside the main column only "on the item".
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toReportMode);
    tree->HitTestAt(220 + 30, top, hit, true);
    EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpOnItem));
    // Right of the columns: no column.
    columns[2]->SetWidth(50);
    tree->HitTestAt(285, top, hit, true);
    EXPECT_EQ(hit.HitNode, second);
    EXPECT_EQ(hit.HitColumn, InvalidColumn);
    EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpNowhere));
    columns[2]->SetWidth(80);
    // A text wider than its cell: clipped it fills the cell, unclipped it runs on.
    tree->width = [](PVirtualNode) { return 500; };
    r = tree->NodeDisplayRect(second, 1, true);
    EXPECT_EQ(r.left, 120 + 4 + 18);
    EXPECT_EQ(r.right, 220 - 1);
    r = tree->NodeDisplayRect(second, 1, true, true);
    EXPECT_EQ(r.right, r.left + 500);
    // The widest cell of the main column: indentation (with the root level)
    // plus text; the image of the second node adds 16.
    tree->width = [this](PVirtualNode n) { return n == first->LastChild ? 70 : 30; };
    EXPECT_EQ(tree->MaxColumnWidth(0), 2 * 18 + 70);
    tree->SetExpanded(first, false);
    EXPECT_EQ(tree->MaxColumnWidth(0), 18 + 16 + 30);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowVertGridLines);
    EXPECT_EQ(tree->MaxColumnWidth(0), 18 + 16 + 30 + 1);
}

}   // namespace
