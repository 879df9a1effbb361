// The list control's walks, positions and hit tests: every walk from every
// node of random trees with hidden and collapsed nodes against the order of
// the links; tops and the node at every position, through the position cache
// and without, against an independent row walk (2000, 2001, 4000, 4001 and
// 10,000 rows), and walking back from the next cache entry; the cache kept
// and completed across changes near the end; hit positions inside a row and
// below the last one.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "Lib2/VirtualTree/OpsTestSupport.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/ImageList.h"

using namespace ops_test;

namespace {

// Up to four levels; about one node in seven hidden, half the parents expanded.
void BuildRandomTree(TBaseVirtualTree& tree, unsigned seed)
{
    std::mt19937 rng(seed);
    tree.BeginUpdate();
    std::vector<std::pair<PVirtualNode, int>> parents{{nullptr, 0}};
    for (size_t i = 0; i < parents.size(); ++i)
        for (unsigned k = parents[i].first ? rng() % 5 : 12; k > 0; --k) {
            PVirtualNode n = tree.AddChildNode(parents[i].first);
            tree.SetNodeHeight(n, 14 + rng() % 16);
            if (parents[i].second < 3 && rng() % 3 == 0)
                parents.emplace_back(n, parents[i].second + 1);
        }
    for (PVirtualNode n : AllNodes(tree)) {
        if (rng() % 7 == 0)
            tree.SetVisible(n, false);
        if (n->ChildCount > 0 && rng() % 2 == 0)
            tree.SetExpanded(n, true);
    }
    tree.EndUpdate();
}

TEST(VTWalks, EveryWalkFromEveryNodeFollowsTheOrderOfTheLinks)
{
    for (unsigned seed : {3u, 17u, 40u}) {
        TVirtualStringTree tree(nullptr);
        BuildRandomTree(tree, seed);
        ASSERT_EQ(Recount(tree), "");
        const std::vector<PVirtualNode> all = AllNodes(tree);
        const std::vector<Row> rows = Rows(tree);
        std::map<PVirtualNode, size_t> order, rowOf;
        for (size_t i = 0; i < all.size(); ++i)
            order[all[i]] = i;
        for (size_t r = 0; r < rows.size(); ++r)
            rowOf[rows[r].node] = r;
        ASSERT_LT(rows.size(), all.size());
        EXPECT_EQ(tree.LastNodeNoInit(), all.back());
        EXPECT_EQ(tree.FirstVisibleNodeNoInit(), rows.front().node);
        EXPECT_EQ(tree.LastVisibleNodeNoInit(), rows.back().node);
        for (size_t i = 0; i < all.size(); ++i) {
            PVirtualNode n = all[i];
            SCOPED_TRACE("seed " + std::to_string(seed) + ", node " + std::to_string(i));
            EXPECT_EQ(tree.NextNodeNoInit(n), i + 1 < all.size() ? all[i + 1] : nullptr);
            EXPECT_EQ(tree.PreviousNodeNoInit(n), i > 0 ? all[i - 1] : nullptr);
            // The rows after and before the node's place, from hidden nodes too.
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
            EXPECT_EQ(tree.NextVisibleNode(n), next);
            EXPECT_EQ(tree.PreviousVisibleNode(n), previous);
            // The deepest last node and row of the subtree.
            const size_t end = i + n->TotalCount;
            EXPECT_EQ(tree.LastNodeNoInit(n), n->TotalCount > 1 ? all[end - 1] : nullptr);
            PVirtualNode lastRow = nullptr;
            for (size_t r = rowOf.count(n) ? rowOf[n] + 1 : rows.size(); r < rows.size() && order[rows[r].node] < end;
                 ++r)
                lastRow = rows[r].node;
            EXPECT_EQ(tree.LastVisibleNodeNoInit(n), lastRow);
            // The nearest ancestor on the screen (the root at most).
            PVirtualNode shown = n->Parent;
            while (shown != tree.RootNode() && !rowOf.count(shown))
                shown = shown->Parent;
            EXPECT_EQ(tree.VisibleParentNode(n), shown);
            EXPECT_FALSE(tree.HasAncestor(n, n));
            EXPECT_TRUE(tree.HasAncestor(n, tree.RootNode()));
            if (i + 1 < all.size()) {
                EXPECT_EQ(tree.HasAncestor(all[i + 1], n), n->FirstChild == all[i + 1]);
            }
            if (rowOf.count(n)) {
                EXPECT_EQ(tree.NodeTop(n), rows[rowOf[n]].top);
            }
        }
    }
}

TEST(VTWalks, InitializingWalksMakeTheNodesTheyMeetOnceAndSelectionsComeInTreeOrder)
{
    TVirtualStringTree tree(nullptr);
    std::map<PVirtualNode, int> inits;
    // Three levels of three children, made when a walk reaches them.
    tree.OnInitNode = [&](TBaseVirtualTree* t, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
        ++inits[node];
        if (t->NodeLevel(node) < 2)
            states |= ivsHasChildren;
    };
    tree.OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, unsigned& count) { count = 3; };
    tree.SetRootNodeCount(3);
    std::vector<PVirtualNode> walked;
    for (PVirtualNode n = tree.FirstVisibleNode(); n; n = tree.NextVisibleNode(n))
        walked.push_back(n);
    EXPECT_EQ(walked.size(), 3u);   // collapsed: the top level only
    walked.clear();
    for (PVirtualNode n = tree.FirstNode(); n; n = tree.NextNode(n))
        walked.push_back(n);
    EXPECT_EQ(walked, AllNodes(tree));
    EXPECT_EQ(walked.size(), 39u);
    EXPECT_EQ(inits.size(), 39u);
    for (const auto& [node, count] : inits)
        EXPECT_EQ(count, 1);
    std::vector<PVirtualNode> back;
    for (PVirtualNode n = tree.LastNode(); n; n = tree.PreviousNode(n))
        back.insert(back.begin(), n);
    EXPECT_EQ(back, walked);
    EXPECT_EQ(Recount(tree), "");

    // Selected out of order: in tree order, a selected child of a selected
    // parent left out with resolve; marks only while a copy is pending.
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    PVirtualNode parent = walked[0], child = walked[1], other = walked[13];
    for (PVirtualNode n : {other, child, parent})
        tree.AddToSelection(n);
    EXPECT_EQ(tree.SortedSelection(false), (TNodeArray{parent, child, other}));
    EXPECT_EQ(tree.SortedSelection(true), (TNodeArray{parent, other}));
    EXPECT_EQ(tree.NextSelected(tree.FirstSelected()), child);
    child->States |= vsCutOrCopy;
    EXPECT_EQ(tree.FirstCutCopyNode(), nullptr);
    tree.DoStateChange(tsCopyPending);
    EXPECT_EQ(tree.FirstCutCopyNode(), child);
    EXPECT_EQ(tree.SortedCutCopySet(false), TNodeArray{child});
    tree.DoStateChange(0, tsCopyPending);
}

// ---------------------------------------------------------------------------
// Positions through the cache

// Exactly `visible` rows of heights 15 to 22: every 11th top-level node
// hidden, every 5th with three children (one hidden now and then) and two
// grandchildren, expanded or collapsed in turn.
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
            tree.SetExpanded(n, i % 10 == 0);
            tree.SetExpanded(n->FirstChild, i % 20 == 0);
        }
    }
    tree.EndUpdate();
}

class VTPositions : public TreeOnForm<TVirtualStringTree>, public ::testing::WithParamInterface<unsigned> {};

TEST_P(VTPositions, CachedAndUncachedPositionsMatchAnIndependentRowWalk)
{
    const unsigned visible = GetParam();
    BuildRows(*tree, visible);
    ASSERT_EQ(Recount(*tree), "");
    uint64_t end = 0;
    const std::vector<Row> rows = Rows(*tree, &end);
    ASSERT_EQ(rows.size(), visible);
    if (visible <= CacheThreshold) {
        testing_support::Pump(100);
        EXPECT_FALSE(tree->PositionCacheUsable());
    } else {
        ASSERT_TRUE(WaitForCache());
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
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "cached" : "uncached");
        for (const Row& r : rows) {
            EXPECT_EQ(tree->NodeTop(r.node), r.top);
            const int bottom = static_cast<int>(r.top) + r.node->NodeHeight;
            const int step = visible <= 4001 ? 1 : r.node->NodeHeight - 1;   // every Y up to 4001 rows
            for (int y = static_cast<int>(r.top); y < bottom; y += step) {
                int top = -1;
                ASSERT_EQ(tree->NodeAtPosition(0, y, false, top), r.node) << "y " << y;
                ASSERT_EQ(top, static_cast<int>(r.top));
            }
        }
        // The end is no node's top; below the last row there is none.
        int top = -1;
        EXPECT_EQ(tree->NodeAtPosition(0, static_cast<int>(end), false, top), nullptr);
        EXPECT_EQ(tree->NodeAtPosition(0, static_cast<int>(end) + 500, false, top), nullptr);
        THitInfo hit;
        tree->HitTestAt(10, static_cast<int>(end) + 2, hit, false);
        EXPECT_EQ(hit.HitNode, nullptr);
        EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpBelow));
        tree->InvalidateCache();   // unused from here on
    }
    // Scrolled to the middle: rectangles and hits in client coordinates.
    const RECT client = tree->ClientRect();
    const size_t first = rows.size() / 2;
    tree->SetOffsetY(-static_cast<int>(rows[first].top));
    for (size_t k = first; k < rows.size() && rows[k].top - rows[first].top < uint64_t(client.bottom); ++k) {
        const int clientTop = static_cast<int>(rows[k].top - rows[first].top);
        const RECT r = tree->NodeDisplayRect(rows[k].node, NoColumn, false);
        EXPECT_EQ(r.top, clientTop);
        EXPECT_EQ(r.bottom, clientTop + rows[k].node->NodeHeight);
        THitInfo hit;
        tree->HitTestAt(3, clientTop, hit, true);
        EXPECT_EQ(hit.HitNode, rows[k].node);
        EXPECT_TRUE(hit.HitPositions & hpOnItem);
    }
    EXPECT_EQ(tree->NodeAtPoint(3, -40), rows[first].node);   // above the window: its top row
}

INSTANTIATE_TEST_SUITE_P(VisibleRows, VTPositions, ::testing::Values(2000u, 2001u, 4000u, 4001u, 10000u));

using VTCachedLookup = TreeOnForm<TVirtualStringTree>;

// Positions in the later half of a cache interval are looked up backwards
// from the next entry or from the end marker: across hidden rows, into
// expanded subtrees whose last child is hidden, over collapsed and hidden
// top-level nodes, and up from a nested entry to its parents' rows.
TEST_F(VTCachedLookup, LaterHalvesOfTheIntervalsFindTheirRowsWalkingBack)
{
    tree->BeginUpdate();
    PVirtualNode big = tree->AddChildNode(nullptr);
    tree->SetChildCountOf(big, 2400);
    unsigned k = 0;
    for (PVirtualNode c = big->FirstChild; c; c = c->NextSibling, ++k) {
        tree->SetNodeHeight(c, 16 + k % 5);
        if (k % 7 == 3) {
            tree->SetVisible(c, false);
        } else if (k % 6 == 0 || !c->NextSibling) {
            tree->SetChildCountOf(c, 3);
            tree->SetChildCountOf(c->FirstChild, 2);
            tree->SetVisible(c->LastChild, false);
            tree->SetVisible(c->FirstChild->LastChild, false);
            tree->SetExpanded(c->FirstChild, true);
            tree->SetExpanded(c, true);
        }
    }
    tree->SetExpanded(big, true);
    PVirtualNode hidden = tree->AddChildNode(nullptr);
    tree->SetChildCountOf(hidden, 4);
    tree->SetExpanded(hidden, true);
    tree->SetVisible(hidden, false);
    PVirtualNode collapsed = tree->AddChildNode(nullptr);
    tree->SetChildCountOf(collapsed, 5);
    tree->AddChildNode(nullptr);
    tree->SetVisible(tree->AddChildNode(nullptr), false);
    tree->AddChildNode(nullptr);
    tree->EndUpdate();
    ASSERT_EQ(Recount(*tree), "");
    uint64_t end = 0;
    const std::vector<Row> rows = Rows(*tree, &end);
    ASSERT_GT(rows.size(), size_t(CacheThreshold));   // two regular entries and the end marker
    ASSERT_LE(rows.size(), 2 * size_t(CacheThreshold));
    // The second regular entry is a grandchild, under a parent with hidden children.
    ASSERT_EQ(rows[CacheThreshold].node->Parent->Parent, big);
    ASSERT_TRUE(WaitForCache());
    ASSERT_EQ(tree->PositionCache().size(), 3u);
    const uint32_t entryTop = tree->PositionCache()[1].AbsoluteTop;
    for (const Row& r : rows) {
        // Only the later halves: the earlier ones walk forward.
        const uint64_t intervalTop = r.top < entryTop ? 0 : entryTop;
        const uint64_t intervalEnd = r.top < entryTop ? entryTop : end;
        for (uint64_t y = r.top; y < r.top + r.node->NodeHeight; ++y) {
            if (y - intervalTop <= intervalEnd - y)
                continue;
            int top = -1;
            ASSERT_EQ(tree->NodeAtPosition(0, static_cast<int>(y), false, top), r.node) << "y " << y;
            ASSERT_EQ(top, static_cast<int>(r.top)) << "y " << y;
        }
    }
    int top = -1;
    EXPECT_EQ(tree->NodeAtPosition(0, static_cast<int>(end), false, top), nullptr);
    // Scrolled to the end: client positions and tops.
    tree->SetOffsetY(-static_cast<int>(end));
    const int offset = tree->OffsetY();
    ASSERT_LT(offset, 0);
    const Row& last = rows.back();
    ASSERT_EQ(tree->NodeAtPosition(0, static_cast<int>(last.top) + offset + 1, true, top), last.node);
    EXPECT_EQ(top, static_cast<int>(last.top) + offset);
}

// After a change the cache keeps the entries above it and is completed at
// once (no pumping, so not by the worker) when little is left to walk, else
// by the worker; lookups through it match a recount.
TEST_F(VTCachedLookup, ChangesNearTheEndKeepTheCacheAndLookupsStayExact)
{
    auto add = [&](PVirtualNode parent, unsigned n) {
        for (unsigned i = 0; i < n; ++i)
            tree->SetNodeHeight(tree->AddChildNode(parent), 16 + (tree->TotalCount() + i) % 7);
    };
    auto last = [&] { return tree->LastVisibleNodeNoInit(nullptr); };
    auto first = [&] { return tree->GetFirstChild(nullptr); };
    tree->BeginUpdate();
    add(nullptr, 4003);   // entries for rows 0, 2000 and 4000
    tree->EndUpdate();
    ASSERT_TRUE(WaitForCache());
    PVirtualNode parent = nullptr, middle = first()->NextSibling;
    const std::vector<std::function<void()>> changes = {
        [&] { add(nullptr, 3); },
        [&] { tree->BeginUpdate(); add(nullptr, 2); tree->EndUpdate(); },
        [&] { tree->BeginUpdate(); tree->EndUpdate(); },   // nothing changed
        [&] { add(parent = last(), 4); },   // under the collapsed last row
        [&] { tree->SetExpanded(parent, true); add(parent, 2); },
        [&] { tree->SetNodeHeight(last(), 41); },
        [&] { tree->SetVisible(last(), false); },
        [&] { while (tree->VisibleCount() > 4000) tree->DeleteNode(last()); },   // past an entry
        [&] { add(middle, 3); },   // under a collapsed row in the middle
        [&] { tree->SetExpanded(middle, true); },
        [&] { tree->InsertNodeAt(first(), amInsertAfter); },
        [&] { tree->DeleteNode(tree->PositionCache()[1].Node); },
        [&] { tree->SetNodeHeight(first(), 33); },
        [&] {   // too much left to walk at once: the worker's
            tree->BeginUpdate();
            add(nullptr, 7000);
            tree->EndUpdate();
            EXPECT_FALSE(tree->PositionCacheUsable());
        },
        [&] { tree->MoveNode(tree->GetLastChild(nullptr), first(), amInsertBefore, false); },
    };
    for (size_t step = 0; step < changes.size(); ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        changes[step]();
        if (tree->VisibleCount() > 8000) {
            ASSERT_TRUE(WaitForCache());
        }
        ASSERT_TRUE(tree->PositionCacheUsable());
        ASSERT_EQ(Recount(*tree), "");
        uint64_t end = 0;
        const std::vector<Row> rows = Rows(*tree, &end);
        ASSERT_EQ(tree->PositionCache().size(), (rows.size() + CacheThreshold - 1) / CacheThreshold + 1);
        for (const Row& r : rows) {
            ASSERT_EQ(tree->NodeTop(r.node), r.top);
            int top = -1;
            ASSERT_EQ(tree->NodeAtPosition(0, static_cast<int>(r.top) + r.node->NodeHeight - 1, false, top), r.node);
            ASSERT_EQ(top, static_cast<int>(r.top));
        }
        int top = -1;
        EXPECT_EQ(tree->NodeAtPosition(0, static_cast<int>(end), false, top), nullptr);
    }
}

// ---------------------------------------------------------------------------
// Inside a row

// Texts as wide as the test says.
class WidthTree : public TBaseVirtualTree {
public:
    explicit WidthTree(TComponent* owner) : TBaseVirtualTree(owner) {}
    std::function<int(PVirtualNode)> width = [](PVirtualNode) { return 40; };
    int DoGetNodeWidth(PVirtualNode node, TColumnIndex, TCanvas*) override { return width(node); }
};

using VTHitPositions = TreeOnForm<WidthTree>;

TEST_F(VTHitPositions, ButtonsIndentsCheckBoxesImagesLabelsColumnsAndBelowTheRows)
{
    // A parent with two children, a node with an image, a third node.
    auto* images = new TCustomImageList(form, 16, 16);
    tree->SetImages(images);
    tree->SetRootNodeCount(3);
    PVirtualNode first = tree->FirstNodeNoInit(), second = first->NextSibling;
    tree->OnGetImageIndex = [&](TBaseVirtualTree*, PVirtualNode n, TVTImageKind kind, TColumnIndex, bool&, int& i) {
        if (kind == ikNormal && n == second)
            i = 0;
    };
    tree->SetChildCountOf(first, 2);
    tree->SetExpanded(first, true);
    PVirtualNode child = first->FirstChild;
    auto hitAt = [&](int x, PVirtualNode node) {
        THitInfo hit;
        tree->HitTestAt(x, static_cast<int>(tree->NodeTop(node)) + 2, hit, true);
        EXPECT_EQ(hit.HitNode, node);
        return hit.HitPositions;
    };
    // Indent 18 (the root level shown), margin 4, text 40.
    EXPECT_EQ(hitAt(0, first), hpOnItem | hpOnButton);
    EXPECT_EQ(hitAt(17, first), hpOnItem | hpOnButton);
    EXPECT_EQ(hitAt(21, first), static_cast<THitPositions>(hpOnItem));
    EXPECT_EQ(hitAt(22, first), hpOnItem | hpOnLabel);
    EXPECT_EQ(hitAt(61, first), hpOnItem | hpOnLabel);
    EXPECT_EQ(hitAt(62, first), hpOnItem | hpRightOfLabel);
    EXPECT_EQ(hitAt(35, child), hpOnItem | hpOnIndent);   // no children: no button
    EXPECT_EQ(hitAt(40, child), hpOnItem | hpOnLabel);
    EXPECT_EQ(hitAt(39, second), hpOnItem | hpOnNormalImage);   // 16 + 2 pixels
    EXPECT_EQ(hitAt(40, second), hpOnItem | hpOnLabel);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    tree->SetCheckType(child, ctCheckBox);
    const int check = tree->CheckImages()->Width() + 2;
    EXPECT_EQ(hitAt(40 + check - 1, child), hpOnItem | hpOnCheckBox);
    EXPECT_EQ(hitAt(40 + check, child), hpOnItem | hpOnLabel);
    RECT text = tree->NodeDisplayRect(child, NoColumn, true);
    EXPECT_EQ(text.left, 40 + check);
    EXPECT_EQ(text.right, 80 + check);
    EXPECT_EQ(text.top, 18);
    // Off the client area no node; below the last row of this short list nothing.
    THitInfo hit;
    tree->HitTestAt(-1, 5, hit, true);
    EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpLeftOfClient));
    EXPECT_EQ(hit.HitNode, nullptr);
    EXPECT_EQ(hit.HitColumn, NoColumn);
    const int below = tree->RangeY() + 3;
    ASSERT_LT(below, tree->ClientRect().bottom);
    tree->HitTestAt(5, below, hit, true);
    EXPECT_EQ(hit.HitNode, nullptr);
    EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpNowhere));

    // Columns of 120, 100 and 80 pixels: no indentation outside the main one.
    TVirtualTreeColumns& columns = tree->Header().Columns();
    for (int w : {120, 100, 80})
        columns.Add()->SetWidth(w);
    const int y = static_cast<int>(tree->NodeTop(second)) + 1;
    tree->HitTestAt(182, y, hit, true);
    EXPECT_EQ(hit.HitColumn, 1);
    EXPECT_EQ(hit.HitPositions, hpOnItem | hpRightOfLabel);
    columns[2]->SetAlignment(TAlignment::taRightJustify);
    tree->HitTestAt(250, y, hit, true);
    EXPECT_EQ(hit.HitPositions, hpOnItem | hpLeftOfLabel);
    text = tree->NodeDisplayRect(second, 2, true);
    EXPECT_EQ(text.right, 299);
    EXPECT_EQ(text.left, 259);
    columns[2]->SetAlignment(TAlignment::taCenter);
    EXPECT_EQ(tree->NodeDisplayRect(second, 2, true).left, (242 + 299 - 40) / 2);
    columns[2]->SetWidth(50);
    tree->HitTestAt(285, y, hit, true);   // right of the columns
    EXPECT_EQ(hit.HitColumn, InvalidColumn);
    EXPECT_EQ(hit.HitPositions, static_cast<THitPositions>(hpNowhere));
    // Too wide for its cell: clipped to the cell, or running on unclipped.
    tree->width = [](PVirtualNode) { return 500; };
    EXPECT_EQ(tree->NodeDisplayRect(second, 1, true).right, 219);
    EXPECT_EQ(tree->NodeDisplayRect(second, 1, true, true).right, 142 + 500);
    // The widest cell of the main column, laid out as it is painted: the
    // margin, the indentation, an image and its gap, the text.
    tree->width = [&](PVirtualNode n) { return n == first->LastChild ? 70 : 30; };
    EXPECT_EQ(tree->MaxColumnWidth(0), 4 + 2 * 18 + 70);
    tree->SetExpanded(first, false);
    EXPECT_EQ(tree->MaxColumnWidth(0), 4 + 18 + 16 + 2 + 30);
    RECT widest = tree->NodeDisplayRect(second, 0, true);
    EXPECT_EQ(widest.right, 4 + 18 + 16 + 2 + 30);
}

}   // namespace
