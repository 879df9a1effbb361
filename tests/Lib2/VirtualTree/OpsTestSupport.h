// Shared by the node operation and navigation tests: what a tree should
// show and count, worked out from its node links alone (no walk or total of
// the tree is used), and a tree on a visible form.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Form.h"
#include "support/TestSupport.h"

namespace ops_test {

struct Row {
    PVirtualNode node;
    uint64_t top;
};

// The rows on the screen, in order, with their absolute tops: the visible
// children of expanded nodes, depth first.
inline void CollectRows(PVirtualNode parent, std::vector<Row>& rows, uint64_t& y)
{
    if (!(parent->States & vsExpanded))
        return;
    for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) {
        if (!(c->States & vsVisible))
            continue;
        rows.push_back(Row{c, y});
        y += c->NodeHeight;
        CollectRows(c, rows, y);
    }
}

inline std::vector<Row> Rows(TBaseVirtualTree& tree, uint64_t* end = nullptr)
{
    std::vector<Row> rows;
    uint64_t y = 0;
    CollectRows(tree.RootNode(), rows, y);
    if (end)
        *end = y;
    return rows;
}

// Every node in pre-order.
inline void CollectAll(PVirtualNode parent, std::vector<PVirtualNode>& out)
{
    for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) {
        out.push_back(c);
        CollectAll(c, out);
    }
}

inline std::vector<PVirtualNode> AllNodes(TBaseVirtualTree& tree)
{
    std::vector<PVirtualNode> out;
    CollectAll(tree.RootNode(), out);
    return out;
}

// Links, indexes, counts, heights and hidden-children flags of a subtree;
// returns the first fault or an empty text. `height` and `count` receive
// the recomputed totals.
inline std::string CheckSubtree(PVirtualNode n, PVirtualNode root, bool checkFlags, uint64_t& height,
                                uint64_t& count)
{
    uint64_t childHeights = 0;
    count = 1;
    uint32_t index = 0;
    PVirtualNode prev = nullptr;
    bool anyVisible = false;
    for (PVirtualNode c = n->FirstChild; c; c = c->NextSibling, ++index) {
        if (c->Parent != n || c->PrevSibling != prev || c->Index != index)
            return "links or index of a child at " + std::to_string(index);
        uint64_t h = 0, k = 0;
        std::string fault = CheckSubtree(c, root, checkFlags, h, k);
        if (!fault.empty())
            return fault;
        count += k;
        if (c->States & vsVisible) {
            childHeights += h;
            anyVisible = true;
        }
        prev = c;
    }
    if (n->LastChild != prev || n->ChildCount != index)
        return "last child or child count";
    height = n->NodeHeight + ((n->States & vsExpanded) ? childHeights : 0);
    if (n->TotalCount != count)
        return "total count " + std::to_string(n->TotalCount) + ", counted " + std::to_string(count);
    if (n->TotalHeight != height)
        return "total height " + std::to_string(n->TotalHeight) + ", counted " + std::to_string(height);
    if (checkFlags && n != root && ((n->States & vsInitialized) || index > 0)) {
        const bool hidden = index > 0 ? !anyVisible : !(n->States & vsHasChildren);
        if (hidden != ((n->States & vsAllChildrenHidden) != 0))
            return "hidden-children flag";
    }
    return {};
}

// Empty when totals, flags, the visible count and the vertical range agree
// with a recount.
inline std::string Recount(TBaseVirtualTree& tree)
{
    uint64_t height = 0, count = 0;
    std::string fault = CheckSubtree(tree.RootNode(), tree.RootNode(), tree.UpdateCount() == 0, height, count);
    if (!fault.empty())
        return fault;
    uint64_t end = 0;
    const size_t rows = Rows(tree, &end).size();
    if (tree.VisibleCount() != rows)
        return "visible count " + std::to_string(tree.VisibleCount()) + ", counted " + std::to_string(rows);
    if (static_cast<uint64_t>(tree.RangeY()) != end + tree.BottomSpace())
        return "vertical range " + std::to_string(tree.RangeY()) + ", counted " + std::to_string(end);
    return {};
}

// A tree of class T on a visible form; skipped without a display.
template <class T>
class TreeOnForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing_support::HaveDisplay())
            GTEST_SKIP() << "no display";
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 420, 340);
        tree = new T(form);
        tree->SetBounds(5, 5, 300, 250);
        tree->SetParent(form);
        form->Show();
        tree->HandleNeeded();
        testing_support::Pump(20);
    }
    void TearDown() override { delete form; }

    // Waits for the worker to fill the position cache.
    bool WaitForCache() { return testing_support::PumpUntil([&] { return tree->HasState(tsUseCache); }, 20000); }

    TForm* form = nullptr;
    T* tree = nullptr;
};

}   // namespace ops_test
