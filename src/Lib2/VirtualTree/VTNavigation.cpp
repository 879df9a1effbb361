// Walking the tree: the pre-order walks over all, initialized, visible,
// selected and marked nodes, the node shown in place of a hidden one and the
// sorted snapshots of the selection; the position cache the worker fills and
// the two lookups that use it (a node's top, the node at a position).
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "Lib2/VirtualTree/VirtualTrees.h"

namespace {

const char kNotRoot[] = "Node must not be the hidden root node.";
const char kInvalidParameter[] = "Invalid parameter.";
const char kNotNil[] = "Node must not be nil.";

// The highest node on the path from the node up to the root whose subtree is
// not on the screen: one that is hidden itself or whose parent is collapsed.
// Nil when the node is fully visible.
PVirtualNode HiddenTop(PVirtualNode node, PVirtualNode root)
{
    PVirtualNode result = nullptr;
    for (PVirtualNode run = node; run != root; run = run->Parent)
        if (!(run->States & vsVisible) || !(run->Parent->States & vsExpanded))
            result = run;
    return result;
}

// The node whose subtree a visible walk skips as a whole when it starts at a
// node that is not fully visible: the collapsed parent shown in its place,
// or the hidden node itself.
PVirtualNode SkippedSubtree(PVirtualNode hiddenTop)
{
    return (hiddenTop->Parent->States & vsExpanded) ? hiddenTop : hiddenTop->Parent;
}

// The first visible sibling after the node, or after its nearest ancestor
// that has one; nil at the root. Below an open path every visible sibling
// met this way is fully visible.
PVirtualNode NextVisibleAfterSubtree(PVirtualNode node, PVirtualNode root)
{
    for (PVirtualNode run = node; run != root; run = run->Parent)
        for (PVirtualNode next = run->NextSibling; next; next = next->NextSibling)
            if (next->States & vsVisible)
                return next;
    return nullptr;
}

PVirtualNode LastVisibleSibling(PVirtualNode last)
{
    while (last && !(last->States & vsVisible))
        last = last->PrevSibling;
    return last;
}

// The row holding the position among the rows above a fully visible node's
// row (which starts at `bottom`), walking backwards: earlier visible siblings
// are stepped over by their whole height, a subtree holding the position is
// entered from its last child, and above the first sibling comes the
// parent's own row. Nil when the heights do not lead to a row (the caller
// then walks forward).
PVirtualNode RowAboveWalkingBack(PVirtualNode node, PVirtualNode root, int64_t bottom, int64_t position,
                                 int64_t& top)
{
    PVirtualNode run = node->PrevSibling;
    PVirtualNode parent = node->Parent;
    for (;;) {
        for (; run; run = run->PrevSibling) {
            if (!(run->States & vsVisible))
                continue;
            const int64_t runTop = bottom - run->TotalHeight;
            if (position >= runTop) {
                if (position < runTop + run->NodeHeight || !run->LastChild || !(run->States & vsExpanded)) {
                    top = runTop;
                    return run;
                }
                // Inside its children: their rows end where its subtree ends.
                parent = run;
                run = run->LastChild;
                break;
            }
            bottom = runTop;
        }
        if (run)
            continue;
        if (!parent || parent == root)
            return nullptr;
        bottom -= parent->NodeHeight;
        if (position >= bottom) {
            top = bottom;
            return parent;
        }
        run = parent->PrevSibling;
        parent = parent->Parent;
    }
}

}   // namespace

// ---------------------------------------------------------------------------
// All nodes

PVirtualNode TBaseVirtualTree::FirstNode()
{
    PVirtualNode result = root_->FirstChild;
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::FirstInitializedNode() const
{
    PVirtualNode first = root_->FirstChild;
    if (!first || (first->States & vsInitialized))
        return first;
    return NextInitializedNode(first);
}

PVirtualNode TBaseVirtualTree::NextNodeNoInit(PVirtualNode node) const
{
    BX_ASSERT(node != root_, kNotRoot);
    if (!node)
        return nullptr;
    if (node->FirstChild)
        return node->FirstChild;
    for (PVirtualNode run = node; run != root_; run = run->Parent)
        if (run->NextSibling)
            return run->NextSibling;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::NextNode(PVirtualNode node)
{
    BX_ASSERT(node != root_, kNotRoot);
    if (!node)
        return nullptr;
    if ((node->States & vsHasChildren) && node->ChildCount == 0)
        InitChildren(node);
    PVirtualNode result = NextNodeNoInit(node);
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::NextInitializedNode(PVirtualNode node) const
{
    PVirtualNode run = node;
    do
        run = NextNodeNoInit(run);
    while (run && !(run->States & vsInitialized));
    return run;
}

PVirtualNode TBaseVirtualTree::PreviousNodeNoInit(PVirtualNode node) const
{
    BX_ASSERT(node != root_, kNotRoot);
    if (!node)
        return nullptr;
    if (PVirtualNode sibling = node->PrevSibling) {
        PVirtualNode deepest = LastNodeNoInit(sibling);
        return deepest ? deepest : sibling;
    }
    return node->Parent == root_ ? nullptr : node->Parent;
}

PVirtualNode TBaseVirtualTree::PreviousNode(PVirtualNode node)
{
    BX_ASSERT(node != root_, kNotRoot);
    if (!node)
        return nullptr;
    PVirtualNode result;
    if (PVirtualNode sibling = node->PrevSibling) {
        PVirtualNode deepest = LastNode(sibling);
        result = deepest ? deepest : sibling;
    } else {
        result = node->Parent == root_ ? nullptr : node->Parent;
    }
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::LastNodeNoInit(PVirtualNode node) const
{
    PVirtualNode start = node ? node : root_;
    PVirtualNode run = start;
    while (run->LastChild)
        run = run->LastChild;
    return run == start ? nullptr : run;
}

PVirtualNode TBaseVirtualTree::LastNode(PVirtualNode node)
{
    PVirtualNode result = nullptr;
    for (PVirtualNode run = LastChildNode(node); run; run = LastChildNode(run))
        result = run;
    return result;
}

PVirtualNode TBaseVirtualTree::FirstChildNode(PVirtualNode node)
{
    PVirtualNode result;
    if (!node || node == root_) {
        result = root_->FirstChild;
    } else {
        if (!(node->States & vsInitialized))
            InitNode(node);
        if ((node->States & vsHasChildren) && node->ChildCount == 0)
            InitChildren(node);
        result = node->FirstChild;
    }
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::LastChildNode(PVirtualNode node)
{
    PVirtualNode result;
    if (!node || node == root_) {
        result = root_->LastChild;
    } else {
        if (!(node->States & vsInitialized))
            InitNode(node);
        if ((node->States & vsHasChildren) && node->ChildCount == 0)
            InitChildren(node);
        result = node->LastChild;
    }
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::NextSiblingNode(PVirtualNode node)
{
    BX_ASSERT(node != root_, kNotRoot);
    PVirtualNode result = node ? node->NextSibling : nullptr;
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::PreviousSiblingNode(PVirtualNode node)
{
    BX_ASSERT(node != root_, kNotRoot);
    PVirtualNode result = node ? node->PrevSibling : nullptr;
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::NodeParent(PVirtualNode node) const
{
    if (!node || node == root_ || node->Parent == root_)
        return nullptr;
    return node->Parent;
}

bool TBaseVirtualTree::HasAncestor(PVirtualNode node, PVirtualNode potentialParent) const
{
    if (!node || !potentialParent || node == potentialParent || node == root_)
        return false;
    for (PVirtualNode run = node->Parent;; run = run->Parent) {
        if (run == potentialParent)
            return true;
        if (run == root_)
            return false;
    }
}

// ---------------------------------------------------------------------------
// Visible nodes

PVirtualNode TBaseVirtualTree::VisibleParentNode(PVirtualNode node) const
{
    BX_ASSERT(node, kNotNil);
    if (node == root_)
        return root_;
    // Everything above the highest break is fully visible.
    PVirtualNode hidden = HiddenTop(node, root_);
    return hidden ? hidden->Parent : node->Parent;
}

PVirtualNode TBaseVirtualTree::FirstVisibleNodeNoInit() const
{
    if (!(root_->States & vsHasChildren))
        return nullptr;
    for (PVirtualNode run = root_->FirstChild; run; run = run->NextSibling)
        if (run->States & vsVisible)
            return run;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::FirstVisibleNode()
{
    if (!(root_->States & vsHasChildren))
        return nullptr;
    if (root_->ChildCount == 0)
        InitChildren(root_);
    for (PVirtualNode run = root_->FirstChild; run; run = run->NextSibling)
        if (IsVisibleInitialized(run))
            return run;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::FirstVisibleChildNode(PVirtualNode node)
{
    if (!node)
        node = root_;
    if (!(node->States & vsInitialized))
        InitNode(node);
    if ((node->States & vsHasChildren) && node->ChildCount == 0)
        InitChildren(node);
    for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
        if (IsVisibleInitialized(child))
            return child;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::NextVisibleNodeNoInit(PVirtualNode node) const
{
    BX_ASSERT(node != root_, kNotRoot);
    if (!node)
        return nullptr;
    // From a node that is not on the screen the walk goes on after the
    // subtree that hides it, so it never returns a node that lies before it.
    if (PVirtualNode hidden = HiddenTop(node, root_))
        return NextVisibleAfterSubtree(SkippedSubtree(hidden), root_);
    if (node->States & vsExpanded)
        for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
            if (child->States & vsVisible)
                return child;
    return NextVisibleAfterSubtree(node, root_);
}

PVirtualNode TBaseVirtualTree::NextVisibleNode(PVirtualNode node)
{
    BX_ASSERT(node != root_, kNotRoot);
    if (!node)
        return nullptr;
    PVirtualNode from = node;
    if (PVirtualNode hidden = HiddenTop(node, root_)) {
        from = SkippedSubtree(hidden);
    } else if (node->States & vsExpanded) {
        if ((node->States & vsHasChildren) && node->ChildCount == 0)
            InitChildren(node);
        for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
            if (IsVisibleInitialized(child))
                return child;
    }
    for (PVirtualNode run = from; run != root_; run = run->Parent)
        for (PVirtualNode next = run->NextSibling; next; next = next->NextSibling)
            if (IsVisibleInitialized(next))
                return next;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::PreviousVisibleNodeNoInit(PVirtualNode node) const
{
    BX_ASSERT(node != root_, kNotRoot);
    if (!node)
        return nullptr;
    PVirtualNode from = node;
    if (PVirtualNode hidden = HiddenTop(node, root_)) {
        // Inside a collapsed node: that node is the row before it.
        if (!(hidden->Parent->States & vsExpanded))
            return hidden->Parent;
        from = hidden;
    }
    for (PVirtualNode run = from->PrevSibling; run; run = run->PrevSibling)
        if (run->States & vsVisible) {
            PVirtualNode deepest = LastVisibleNodeNoInit(run);
            return deepest ? deepest : run;
        }
    return from->Parent == root_ ? nullptr : from->Parent;
}

PVirtualNode TBaseVirtualTree::PreviousVisibleNode(PVirtualNode node)
{
    BX_ASSERT(node != root_, kNotRoot);
    if (!node)
        return nullptr;
    PVirtualNode from = node;
    PVirtualNode result = nullptr;
    bool found = false;
    if (PVirtualNode hidden = HiddenTop(node, root_)) {
        if (!(hidden->Parent->States & vsExpanded)) {
            result = hidden->Parent;
            found = true;
        }
        from = hidden;
    }
    for (PVirtualNode run = from->PrevSibling; run && !found; run = run->PrevSibling)
        if (IsVisibleInitialized(run)) {
            PVirtualNode deepest = LastVisibleNode(run);
            result = deepest ? deepest : run;
            found = true;
        }
    if (!found)
        result = from->Parent == root_ ? nullptr : from->Parent;
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::LastVisibleChildNodeNoInit(PVirtualNode node) const
{
    if (!node || node == root_)
        return LastVisibleSibling(root_->LastChild);
    if (!(node->States & vsExpanded) || !FullyVisible(node))
        return nullptr;
    return LastVisibleSibling(node->LastChild);
}

PVirtualNode TBaseVirtualTree::LastVisibleChildNode(PVirtualNode node)
{
    PVirtualNode last;
    if (!node || node == root_) {
        last = root_->LastChild;
    } else {
        if (!(node->States & vsExpanded) || !FullyVisible(node))
            return nullptr;
        if ((node->States & vsHasChildren) && node->ChildCount == 0)
            InitChildren(node);
        last = node->LastChild;
    }
    while (last && !IsVisibleInitialized(last))
        last = last->PrevSibling;
    return last;
}

PVirtualNode TBaseVirtualTree::LastVisibleNodeNoInit(PVirtualNode node) const
{
    PVirtualNode result = LastVisibleChildNodeNoInit(node);
    // Below a fully visible node only the expanded state still matters.
    while (result && (result->States & vsExpanded)) {
        PVirtualNode last = LastVisibleSibling(result->LastChild);
        if (!last)
            break;
        result = last;
    }
    return result;
}

PVirtualNode TBaseVirtualTree::LastVisibleNode(PVirtualNode node)
{
    PVirtualNode result = nullptr;
    for (PVirtualNode run = LastVisibleChildNode(node); run; run = LastVisibleChildNode(run))
        result = run;
    return result;
}

PVirtualNode TBaseVirtualTree::NextVisibleSiblingNode(PVirtualNode node)
{
    BX_ASSERT(node && node != root_, kInvalidParameter);
    for (PVirtualNode run = node->NextSibling; run; run = run->NextSibling)
        if (IsVisibleInitialized(run))
            return run;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::PreviousVisibleSiblingNode(PVirtualNode node)
{
    BX_ASSERT(node && node != root_, kInvalidParameter);
    for (PVirtualNode run = node->PrevSibling; run; run = run->PrevSibling)
        if (IsVisibleInitialized(run))
            return run;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::PreviousVisibleSiblingNodeNoInit(PVirtualNode node) const
{
    BX_ASSERT(node && node != root_, kInvalidParameter);
    return LastVisibleSibling(node->PrevSibling);
}

// ---------------------------------------------------------------------------
// Selected and marked nodes

PVirtualNode TBaseVirtualTree::FirstSelected() { return NextSelected(nullptr); }

PVirtualNode TBaseVirtualTree::NextSelected(PVirtualNode node)
{
    if (SelectedCount() == 0)
        return nullptr;
    PVirtualNode run = (!node || node == root_) ? root_->FirstChild : NextNodeNoInit(node);
    while (run && !(run->States & vsSelected))
        run = NextNodeNoInit(run);
    if (run && !(run->States & vsInitialized))
        InitNode(run);
    return run;
}

PVirtualNode TBaseVirtualTree::FirstCutCopyNode() { return NextCutCopyNode(nullptr); }

PVirtualNode TBaseVirtualTree::NextCutCopyNode(PVirtualNode node)
{
    if (!(states_ & (tsCopyPending | tsCutPending)))
        return nullptr;
    PVirtualNode run = (!node || node == root_) ? root_->FirstChild : NextNodeNoInit(node);
    while (run && !(run->States & vsCutOrCopy))
        run = NextNodeNoInit(run);
    if (run && !(run->States & vsInitialized))
        InitNode(run);
    return run;
}

namespace {

// The nodes carrying the state bit in tree order. With resolve the subtree
// of every node found is skipped. `expected` sizes the array at first and
// ends the walk once that many were found (0: unknown, grow as needed).
TNodeArray CollectInOrder(PVirtualNode root, TVirtualNodeStates bit, bool resolve, size_t expected)
{
    TNodeArray result;
    result.reserve(expected);
    PVirtualNode run = root->FirstChild;
    while (run) {
        if (run->States & bit) {
            if (expected == 0 && result.size() == result.capacity())
                result.reserve(std::max<size_t>(100, result.size() + result.size() / 10));
            result.push_back(run);
            if (expected != 0 && result.size() == expected)
                break;
            if (resolve) {
                // On after the subtree.
                PVirtualNode up = run;
                while (up != root && !up->NextSibling)
                    up = up->Parent;
                run = up == root ? nullptr : up->NextSibling;
                continue;
            }
        }
        if (run->FirstChild) {
            run = run->FirstChild;
        } else {
            while (run != root && !run->NextSibling)
                run = run->Parent;
            run = run == root ? nullptr : run->NextSibling;
        }
    }
    return result;
}

}   // namespace

TNodeArray TBaseVirtualTree::SortedSelection(bool resolve) const
{
    const unsigned count = SelectedCount();
    if (count == 0)
        return {};
    return CollectInOrder(root_, vsSelected, resolve, count);
}

TNodeArray TBaseVirtualTree::SortedCutCopySet(bool resolve) const
{
    TNodeArray result = CollectInOrder(root_, vsCutOrCopy, resolve, 0);
    result.shrink_to_fit();
    return result;
}

// ---------------------------------------------------------------------------
// Position cache

bool TBaseVirtualTree::DoValidateCache()
{
    // Runs on the worker thread; the window thread changes no node meanwhile
    // (it stops the worker first) and reads the entries only once the worker
    // has reported them valid.
    if (stopValidation_.load())
        return false;
    return WalkPositionCache(~0u, true);
}

bool TBaseVirtualTree::WalkPositionCache(unsigned budget, bool inWorker)
{
    if (visibleCount_ <= CacheThreshold) {
        positionCache_.clear();
        positionCacheValid_ = 0;
        positionCacheEnded_ = false;
        return false;
    }
    // One regular entry per CacheThreshold visible nodes, for the 1st, the
    // 2001st, the 4001st... visible node, then a final entry with the last
    // node and the position just below it (an end marker, never a node's top).
    const unsigned length = (visibleCount_ + CacheThreshold - 1) / CacheThreshold;
    // A complete cache resumes at its last regular entry, not at the marker.
    unsigned valid = positionCacheValid_ - (positionCacheEnded_ && positionCacheValid_ > 0 ? 1 : 0);
    valid = std::min(valid, length);
    positionCacheEnded_ = false;
    positionCache_.resize(length);

    PVirtualNode node;
    uint32_t top;
    if (valid > 0) {
        // Resume at the last regular entry (stored again below).
        --valid;
        node = positionCache_[valid].Node;
        top = positionCache_[valid].AbsoluteTop;
    } else {
        node = FirstVisibleNodeNoInit();
        top = 0;
    }
    bool stopped = false;
    PVirtualNode last = nullptr;
    unsigned counter = 0;
    while (node) {
        if (inWorker ? stopValidation_.load() : counter == budget) {
            stopped = true;
            break;
        }
        if (counter % CacheThreshold == 0) {
            // The walk always reaches the last visible node: should the count
            // be short, the array grows.
            if (valid == positionCache_.size())
                positionCache_.push_back(TCacheEntry{});
            positionCache_[valid++] = TCacheEntry{node, top};
        }
        ++counter;
        top += node->NodeHeight;
        last = node;
        node = NextVisibleNodeNoInit(node);
    }
    positionCache_.resize(valid);
    if (stopped || !last) {
        // The entries stored so far stay valid; a later walk goes on from them.
        positionCacheValid_ = valid;
        return false;
    }
    positionCache_.push_back(TCacheEntry{last, top});
    positionCacheValid_ = valid + 1;
    positionCacheEnded_ = true;
    return true;
}

bool TBaseVirtualTree::PositionCacheUsable() const
{
    // At least one regular entry and the final one.
    return (states_ & tsUseCache) && positionCacheValid_ >= 2 && positionCacheValid_ <= positionCache_.size();
}

PVirtualNode TBaseVirtualTree::FindInPositionCache(PVirtualNode node, unsigned& top) const
{
    if (!node || !PositionCacheUsable())
        return nullptr;
    // The regular entries only; the first holds the first visible node.
    size_t low = 0, high = positionCacheValid_ - 1;
    while (high - low > 1) {
        const size_t middle = (low + high) / 2;
        if (CompareNodePositions(positionCache_[middle].Node, node) <= 0)
            low = middle;
        else
            high = middle;
    }
    top = positionCache_[low].AbsoluteTop;
    return positionCache_[low].Node;
}

namespace {

// The index of the last entry whose top is at or above the position (the
// next one, possibly the end marker, lies below it); SIZE_MAX at or below the
// end marker, where there is no row.
size_t CacheEntryAbove(const std::vector<TCacheEntry>& cache, size_t valid, unsigned position)
{
    if (position >= cache[valid - 1].AbsoluteTop)
        return SIZE_MAX;
    size_t low = 0, high = valid - 1;
    while (high - low > 1) {
        const size_t middle = (low + high) / 2;
        if (cache[middle].AbsoluteTop <= position)
            low = middle;
        else
            high = middle;
    }
    return low;
}

}   // namespace

PVirtualNode TBaseVirtualTree::FindInPositionCache(unsigned position, unsigned& top) const
{
    if (!PositionCacheUsable())
        return nullptr;
    const size_t entry = CacheEntryAbove(positionCache_, positionCacheValid_, position);
    if (entry == SIZE_MAX)
        return nullptr;
    top = positionCache_[entry].AbsoluteTop;
    return positionCache_[entry].Node;
}

// ---------------------------------------------------------------------------
// Positions

unsigned TBaseVirtualTree::NodeTop(PVirtualNode node) const
{
    if (!node || node == root_)
        return 0;
    // A node inside a collapsed one has the collapsed one's row; a hidden
    // node the place its row would take.
    if (PVirtualNode hidden = HiddenTop(node, root_))
        node = (hidden->Parent->States & vsExpanded) ? hidden : hidden->Parent;
    const bool visible = (node->States & vsVisible) != 0;
    unsigned entryTop = 0;
    if (PVirtualNode run = visible ? FindInPositionCache(node, entryTop) : nullptr) {
        // Forward from the entry: at most CacheThreshold rows.
        uint32_t top = entryTop;
        for (; run && run != node; run = NextVisibleNodeNoInit(run))
            top += run->NodeHeight;
        if (run)
            return top;
    }
    // The rows above: every visible earlier sibling with its subtree and
    // every ancestor's own row, level by level.
    uint32_t top = 0;
    for (PVirtualNode run = node; run != root_; run = run->Parent) {
        for (PVirtualNode sibling = run->PrevSibling; sibling; sibling = sibling->PrevSibling)
            if (sibling->States & vsVisible)
                top += sibling->TotalHeight;
        if (run->Parent != root_)
            top += run->Parent->NodeHeight;
    }
    return top;
}

PVirtualNode TBaseVirtualTree::NodeAtPosition(int x, int y, bool relative, int& nodeTop) const
{
    (void)x;
    int64_t position = std::max(y, 0);
    if (relative)
        position -= offsetY_;
    if (position < 0)
        return nullptr;
    // Start at the cached node at or above the position, or walk back from
    // the next entry when that one is nearer.
    PVirtualNode node;
    int64_t top = 0;
    if (PositionCacheUsable()) {
        const size_t entry = position <= UINT32_MAX
                                  ? CacheEntryAbove(positionCache_, positionCacheValid_, static_cast<unsigned>(position))
                                  : SIZE_MAX;
        if (entry == SIZE_MAX)
            return nullptr;   // below the last row
        node = positionCache_[entry].Node;
        top = positionCache_[entry].AbsoluteTop;
        const TCacheEntry& next = positionCache_[entry + 1];
        if (position - top > int64_t(next.AbsoluteTop) - position) {
            // A regular entry holds a row's top; the end marker the last row
            // and the position just below it.
            const bool endMarker = entry + 1 == positionCacheValid_ - 1;
            int64_t rowTop = int64_t(next.AbsoluteTop) - (endMarker ? next.Node->NodeHeight : 0);
            PVirtualNode row = position >= rowTop ? next.Node
                                                  : RowAboveWalkingBack(next.Node, root_, rowTop, position, rowTop);
            if (row) {
                nodeTop = static_cast<int>(rowTop + (relative ? offsetY_ : 0));
                return row;
            }
        }
    } else {
        node = FirstVisibleNodeNoInit();
    }
    // Whole subtrees above the position are stepped over by their height.
    while (node && node != root_) {
        if ((node->States & vsVisible) && position < top + node->TotalHeight) {
            if (position < top + node->NodeHeight || !node->FirstChild || !(node->States & vsExpanded)) {
                nodeTop = static_cast<int>(top + (relative ? offsetY_ : 0));
                return node;
            }
            top += node->NodeHeight;
            node = node->FirstChild;
            continue;
        }
        if (node->States & vsVisible)
            top += node->TotalHeight;
        node = NextVisibleAfterSubtree(node, root_);
    }
    return nullptr;
}

PVirtualNode TBaseVirtualTree::NodeAtPoint(int x, int y) const
{
    int top = 0;
    return NodeAtPosition(x, y, true, top);
}

PVirtualNode TBaseVirtualTree::GetNodeAtOffset(int y, int* nodeTop) const
{
    int top = 0;
    PVirtualNode result = y < 0 ? nullptr : NodeAtPosition(0, y, false, top);
    if (result && nodeTop)
        *nodeTop = top;
    return result;
}
