// Sorting: the sibling chains are relinked in the order OnCompareNodes
// decides, one parent at a time, with a stable merge sort. No node data
// moves; only Index, the sibling links and the parent's first and last
// child change.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"

namespace {

// Top-down merge sort of nodes[lo, hi) through buffer. The first half is
// count / 2 nodes, the second (count + 1) / 2; a merge compares the head of
// the first run (A) with the head of the second (B) in that order, and a
// tie takes A, so equal nodes keep their order in both directions.
template <class Compare>
void MergeSort(std::vector<PVirtualNode>& nodes, std::vector<PVirtualNode>& buffer, size_t lo, size_t hi,
               Compare& compare, bool descending)
{
    const size_t count = hi - lo;
    if (count < 2)
        return;
    const size_t mid = lo + count / 2;
    MergeSort(nodes, buffer, lo, mid, compare, descending);
    MergeSort(nodes, buffer, mid, hi, compare, descending);
    size_t a = lo, b = mid, out = lo;
    while (a < mid && b < hi) {
        const int result = compare(nodes[a], nodes[b]);
        const bool takeB = descending ? result < 0 : result > 0;
        buffer[out++] = takeB ? nodes[b++] : nodes[a++];
    }
    while (a < mid)
        buffer[out++] = nodes[a++];
    while (b < hi)
        buffer[out++] = nodes[b++];
    for (size_t i = lo; i < hi; ++i)
        nodes[i] = buffer[i];
}

}   // namespace

void TBaseVirtualTree::SortChildNodes(PVirtualNode node, TColumnIndex column, TSortDirection direction, bool doInit)
{
    if (column <= InvalidColumn)
        return;
    InterruptValidation();
    if (states_ & tsEditPending) {
        StopTimer(EditTimer);
        DoStateChange(0, tsEditPending);
    }
    if ((states_ & tsEditing) && !EndEditNode())
        return;
    if (!node)
        node = root_;
    if (!(node->States & vsHasChildren))
        return;
    if (doInit) {
        if (node->ChildCount == 0)
            InitChildren(node);
        else
            ValidateChildNodes(node, false);
    }
    if (node->ChildCount < 2)
        return;

    // The chain is copied out and relinked only once the order is known: a
    // handler that throws leaves the siblings as they were.
    std::vector<PVirtualNode> nodes;
    nodes.reserve(node->ChildCount);
    for (PVirtualNode run = node->FirstChild; run; run = run->NextSibling)
        nodes.push_back(run);
    std::vector<PVirtualNode> buffer(nodes.size());
    auto compare = [&](PVirtualNode a, PVirtualNode b) { return DoCompareNodes(a, b, column); };
    MergeSort(nodes, buffer, 0, nodes.size(), compare, direction == sdDescending);

    PVirtualNode previous = nullptr;
    uint32_t index = 0;
    for (PVirtualNode run : nodes) {
        run->Index = index++;
        run->PrevSibling = previous;
        if (previous)
            previous->NextSibling = run;
        previous = run;
    }
    previous->NextSibling = nullptr;
    node->FirstChild = nodes.front();
    node->LastChild = previous;
    InvalidateCache();
    if (updateCount_ == 0) {
        ValidateCache();
        Invalidate();
    }
}

void TBaseVirtualTree::SortByColumn(TColumnIndex column, TSortDirection direction, bool doInit)
{
    // The counter is raised directly (no BeginUpdate): the end of an update
    // sorts through here and must not start another one.
    ++updateCount_;
    struct Lower {
        unsigned& count;
        bool done = false;
        void operator()()
        {
            if (!done && count > 0)
                --count;
            done = true;
        }
        ~Lower() { (*this)(); }
    } lower{updateCount_};
    if (column > InvalidColumn) {
        // Parents in tree order; a parent's children are sorted before
        // their own subtrees are visited.
        std::vector<PVirtualNode> pending{root_};
        while (!pending.empty()) {
            PVirtualNode parent = pending.back();
            pending.pop_back();
            SortChildNodes(parent == root_ ? nullptr : parent, column, direction, doInit);
            const size_t mark = pending.size();
            for (PVirtualNode child = parent->FirstChild; child; child = child->NextSibling) {
                if (doInit && !(child->States & vsInitialized))
                    InitNode(child);
                if ((child->States & vsInitialized) && (child->States & vsHasChildren))
                    pending.push_back(child);
            }
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(mark), pending.end());
        }
    }
    InvalidateCache();
    lower();
    if (updateCount_ == 0) {
        ValidateCache();
        Invalidate();
    }
}
