// The selection store: the selected nodes in an array sorted by address (so
// that a node is found by bisection), batches collected in a temporary cache
// and merged in one step, removals inside a batch marked (lowest pointer
// bit) and compacted in one pass.
#include <windows.h>

#include <algorithm>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"

namespace {

inline uintptr_t Address(PVirtualNode p) { return reinterpret_cast<uintptr_t>(p) & ~uintptr_t(1); }
inline bool Marked(PVirtualNode p) { return (reinterpret_cast<uintptr_t>(p) & 1) != 0; }
inline PVirtualNode Mark(PVirtualNode p) { return reinterpret_cast<PVirtualNode>(reinterpret_cast<uintptr_t>(p) | 1); }

}   // namespace

int TBaseVirtualTree::FindNodeInSelection(PVirtualNode node) const
{
    const uintptr_t key = Address(node);
    auto begin = selection_.begin();
    auto end = begin + selectionCount_;
    auto it = std::lower_bound(begin, end, key, [](PVirtualNode e, uintptr_t k) { return Address(e) < k; });
    // An unmarked entry of that address.
    for (; it != end && Address(*it) == key; ++it)
        if (!Marked(*it))
            return static_cast<int>(it - begin);
    return -1;
}

void TBaseVirtualTree::CompactSelection()
{
    if (markedCount_ == 0)
        return;
    const int count = CompactNodeArray(selection_, static_cast<int>(selectionCount_));
    selectionCount_ = count < 0 ? 0 : static_cast<unsigned>(count);
    selection_.resize(selectionCount_);
    markedCount_ = 0;
    if (selectionCount_ == 0)
        ResetRangeAnchor();
}

void TBaseVirtualTree::RemoveSelectionEntry(PVirtualNode node)
{
    node->States &= ~vsSelected;
    const int index = FindNodeInSelection(node);
    if (index >= 0) {
        selection_.erase(selection_.begin() + index);
        --selectionCount_;
    }
    if (SelectedCount() == 0)
        ResetRangeAnchor();
}

bool TBaseVirtualTree::InternalAddToSelection(PVirtualNode node, bool forceInsert)
{
    PVirtualNode items[1] = {node};
    return InternalAddToSelection(items, 1, forceInsert);
}

bool TBaseVirtualTree::InternalAddToSelection(PVirtualNode* newItems, int newLength, bool forceInsert)
{
    if (!newItems || newLength <= 0)
        return false;
    CompactSelection();
    std::vector<PVirtualNode> items(newItems, newItems + newLength);
    const TVTSelectionOptions selectionOptions = options_->SelectionOptions();
    if (!forceInsert) {
        const bool levelConstraint = (selectionOptions & toLevelSelectConstraint) != 0;
        const bool siblingConstraint = (selectionOptions & toSiblingSelectConstraint) != 0;
        if (levelConstraint && lastSelectionLevel_ < 0)
            lastSelectionLevel_ = static_cast<int>(NodeLevel(items[0]));
        if (siblingConstraint && !rangeAnchor_)
            rangeAnchor_ = items[0];
        for (PVirtualNode& item : items) {
            // A node on its way out is not selected again (it would stay
            // in the selection once freed).
            const bool ok = !(item->States & (vsSelected | vsDisabled | vsDeleting)) &&
                            (!levelConstraint || static_cast<int>(NodeLevel(item)) == lastSelectionLevel_) &&
                            (!siblingConstraint || item->Parent == rangeAnchor_->Parent);
            if (ok)
                item->States |= vsSelected;
            else
                item = Mark(item);
        }
    } else {
        for (PVirtualNode& item : items) {
            // Already in the array (or twice in the batch), or on its way
            // out: not again.
            if ((item->States & vsDeleting) || FindNodeInSelection(item) >= 0) {
                item = Mark(item);
                continue;
            }
            item->States |= vsSelected;
        }
        std::sort(items.begin(), items.end(), [](PVirtualNode a, PVirtualNode b) { return Address(a) < Address(b); });
        for (size_t i = 1; i < items.size(); ++i)
            if (!Marked(items[i]) && Address(items[i]) == Address(items[i - 1]))
                items[i] = Mark(items[i]);
    }
    const int count = CompactNodeArray(items, static_cast<int>(items.size()));
    if (count <= 0)
        return false;
    items.resize(static_cast<size_t>(count));
    std::sort(items.begin(), items.end());
    std::vector<PVirtualNode> merged;
    merged.reserve(selectionCount_ + items.size());
    std::merge(selection_.begin(), selection_.begin() + selectionCount_, items.begin(), items.end(),
               std::back_inserter(merged));
    selection_.swap(merged);
    selectionCount_ = static_cast<unsigned>(selection_.size());
    return true;
}

void TBaseVirtualTree::InternalRemoveFromSelection(PVirtualNode node)
{
    const int index = FindNodeInSelection(node);
    if (index >= 0) {
        selection_[static_cast<size_t>(index)] = Mark(node);
        ++markedCount_;
    }
    node->States &= ~vsSelected;
}

void TBaseVirtualTree::InternalClearSelection()
{
    if (updateCount_ > 0)
        CompactSelection();
    for (unsigned i = 0; i < selectionCount_; ++i)
        if (!Marked(selection_[i]))
            selection_[i]->States &= ~vsSelected;
    selection_.clear();
    selectionCount_ = 0;
    markedCount_ = 0;
    ResetRangeAnchor();
    DoStateChange(0, tsClearPending);
}

void TBaseVirtualTree::InternalCacheNode(PVirtualNode node)
{
    if (tempNodeCount_ == static_cast<int>(tempNodeCache_.size())) {
        const size_t length = tempNodeCache_.size();
        tempNodeCache_.resize(length < 100 ? 100 : length + length / 10);
    }
    tempNodeCache_[static_cast<size_t>(tempNodeCount_++)] = node;
}

void TBaseVirtualTree::ClearTempCache()
{
    tempNodeCache_.clear();
    tempNodeCount_ = 0;
}

std::vector<PVirtualNode> TBaseVirtualTree::GetSelection() const
{
    std::vector<PVirtualNode> result;
    result.reserve(SelectedCount());
    for (unsigned i = 0; i < selectionCount_; ++i)
        if (!Marked(selection_[i]))
            result.push_back(selection_[i]);
    return result;
}

// ---------------------------------------------------------------------------
// Public selection operations

void TBaseVirtualTree::AddToSelection(PVirtualNode node)
{
    BX_ASSERT(node, "Node must not be nil!");
    if (InternalAddToSelection(node, false)) {
        InvalidateNode(node);
        Change(node);
    }
}

void TBaseVirtualTree::AddToSelection(PVirtualNode* newItems, int newLength, bool forceInsert)
{
    if (InternalAddToSelection(newItems, newLength, forceInsert)) {
        if (newLength == 1) {
            InvalidateNode(newItems[0]);
            Change(newItems[0]);
        } else {
            Invalidate();
            Change(nullptr);
        }
    }
}

void TBaseVirtualTree::RemoveFromSelection(PVirtualNode node)
{
    BX_ASSERT(node, "Node must not be nil!");
    if (!(node->States & vsSelected))
        return;
    RemoveSelectionEntry(node);
    InvalidateNode(node);
    Change(node);
}

void TBaseVirtualTree::ClearSelection()
{
    if (SelectedCount() == 0 || IsDestroying())
        return;
    if (updateCount_ == 0 && HandleAllocated() && visibleCount_ > 0) {
        // Only the selected rows on screen need a repaint: down from the
        // window's top row until all were met or the window ends.
        const RECT client = ClientRect();
        unsigned left = SelectedCount();
        int top = 0;
        for (PVirtualNode run = NodeAtPosition(0, 0, true, top); run && left > 0 && top < client.bottom;
             run = NextVisibleNodeNoInit(run)) {
            if (run->States & vsSelected) {
                RECT r{client.left, top, client.right, top + run->NodeHeight};
                InvalidateRect(Handle(), &r, FALSE);
                --left;
            }
            top += run->NodeHeight;
        }
    }
    InternalClearSelection();
    Change(nullptr);
}

void TBaseVirtualTree::SelectAll(bool visibleOnly) { SelectAllNodes(visibleOnly); }

void TBaseVirtualTree::ResetRangeAnchor()
{
    rangeAnchor_ = focusedNode_;
    lastSelectionLevel_ = -1;
}

void TBaseVirtualTree::SelectNodes(PVirtualNode startNode, PVirtualNode endNode, bool addOnly)
{
    BX_ASSERT(endNode, "EndNode must not be nil!");
    if (!startNode || startNode == root_) {
        startNode = root_->FirstChild;
    } else if (!FullyVisible(startNode)) {
        PVirtualNode prev = GetPreviousVisible(startNode);
        startNode = prev ? prev : root_->FirstChild;
    }
    if (!startNode)
        return;
    if (CompareNodePositions(startNode, endNode) > 0)
        std::swap(startNode, endNode);
    PVirtualNode anchor = rangeAnchor_;
    if (!addOnly)
        InternalClearSelection();
    ClearTempCache();
    for (PVirtualNode run = startNode; run; run = GetNextVisible(run)) {
        InternalCacheNode(run);
        if (run == endNode)
            break;
    }
    InternalAddToSelection(tempNodeCache_.data(), tempNodeCount_, false);
    ClearTempCache();
    if (anchor && (anchor->States & vsSelected))
        rangeAnchor_ = anchor;
}

void TBaseVirtualTree::ToggleSelection(PVirtualNode startNode, PVirtualNode endNode)
{
    BX_ASSERT(endNode, "EndNode must not be nil!");
    if (!startNode || startNode == root_)
        startNode = root_->FirstChild;
    if (!startNode)
        return;
    if (CompareNodePositions(startNode, endNode) > 0)
        std::swap(startNode, endNode);
    ClearTempCache();
    for (PVirtualNode run = startNode; run; run = GetNextVisible(run)) {
        if (run != rangeAnchor_) {
            if (run->States & vsSelected)
                InternalRemoveFromSelection(run);
            else
                InternalCacheNode(run);
        }
        if (run == endNode)
            break;
    }
    CompactSelection();
    if (rangeAnchor_ && !(rangeAnchor_->States & vsSelected))
        InternalCacheNode(rangeAnchor_);
    InternalAddToSelection(tempNodeCache_.data(), tempNodeCount_, false);
    ClearTempCache();
}

void TBaseVirtualTree::UnselectNodes(PVirtualNode startNode, PVirtualNode endNode)
{
    BX_ASSERT(endNode, "EndNode must not be nil!");
    if (!startNode || startNode == root_)
        startNode = root_->FirstChild;
    if (!startNode)
        return;
    if (CompareNodePositions(startNode, endNode) > 0)
        std::swap(startNode, endNode);
    for (PVirtualNode run = startNode; run; run = GetNextVisible(run)) {
        if (run->States & vsSelected)
            InternalRemoveFromSelection(run);
        if (run == endNode)
            break;
    }
    CompactSelection();
}

void TBaseVirtualTree::SetSelected(PVirtualNode node, bool value)
{
    if (!node || node == root_ || value == ((node->States & vsSelected) != 0))
        return;
    if (value) {
        if (SelectedCount() == 0)
            rangeAnchor_ = node;
        else if (!(options_->SelectionOptions() & toMultiSelect))
            ClearSelection();
        AddToSelection(node);
        // A visible focused column for the selection to show in.
        TVirtualTreeColumns& columns = header_->Columns();
        if (header_->UseColumns()) {
            TVirtualTreeColumn* focused = columns.Items(focusedColumn_);
            if (!focused || !focused->Visible()) {
                TVirtualTreeColumn* main = columns.Items(header_->MainColumn());
                focusedColumn_ = (main && main->Visible()) ? header_->MainColumn() : columns.GetFirstVisibleColumn();
            }
        }
    } else {
        RemoveFromSelection(node);
        if (SelectedCount() == 0)
            ResetRangeAnchor();
    }
    if (FullyVisible(node))
        InvalidateNode(node);
}

// ---------------------------------------------------------------------------
// Focus

void TBaseVirtualTree::SetFocusedNode(PVirtualNode node)
{
    PVirtualNode old = focusedNode_;
    DoFocusNode(node, true);
    if (focusedNode_ != old)
        DoFocusChanged(focusedNode_, focusedColumn_);
}

void TBaseVirtualTree::SetFocusedColumn(TColumnIndex column)
{
    if (column == focusedColumn_)
        return;
    if (!DoFocusChanging(focusedNode_, focusedNode_, focusedColumn_, column))
        return;
    CancelEditNode();
    focusedColumn_ = column;
    if (focusedNode_) {
        ScrollIntoView(focusedNode_, (options_->SelectionOptions() & toCenterScrollIntoView) != 0,
                       !(options_->AutoOptions() & toDisableAutoscrollOnFocus));
        InvalidateNode(focusedNode_);
    }
    if (dropTargetNode_)
        InvalidateNode(dropTargetNode_);
    DoFocusChanged(focusedNode_, focusedColumn_);
}

void TBaseVirtualTree::SetFocusedNodeAndColumn(PVirtualNode node, TColumnIndex column)
{
    const TColumnIndex oldColumn = focusedColumn_;
    PVirtualNode oldNode = focusedNode_;
    focusedColumn_ = column;
    DoFocusNode(node, true);
    if (focusedNode_ == (node == root_ ? nullptr : node)) {
        CancelEditNode();
        if (oldNode != focusedNode_ || oldColumn != focusedColumn_)
            DoFocusChanged(focusedNode_, focusedColumn_);
    } else {
        focusedColumn_ = oldColumn;
    }
}

void TBaseVirtualTree::SelectDefaultFocusColumn()
{
    if (!header_->UseColumns()) {
        focusedColumn_ = NoColumn;
        return;
    }
    const TColumnIndex main = header_->MainColumn();
    TVirtualTreeColumn* column = header_->Columns().Items(main);
    focusedColumn_ = (column && column->Visible()) ? main : header_->Columns().GetFirstVisibleColumn();
}

void TBaseVirtualTree::MainColumnChanged()
{
    // Without extended focus the focus lives in the main column.
    if (!(options_->SelectionOptions() & toExtendedFocus))
        focusedColumn_ = header_->MainColumn();
    if (HandleAllocated() && !IsLoading())
        Invalidate();
}

void TBaseVirtualTree::SetHotNode(PVirtualNode node)
{
    if (node == root_)
        node = nullptr;
    if (node == currentHotNode_)
        return;
    PVirtualNode old = currentHotNode_;
    currentHotNode_ = node;
    DoHotChange(old, node);
    if (options_->PaintOptions() & toHotTrack || options_->MiscOptions() & toCheckSupport) {
        if (old)
            InvalidateNode(old);
        if (node)
            InvalidateNode(node);
    }
}
