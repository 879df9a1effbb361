// Building and changing the node structure: adding, inserting, deleting and
// moving nodes, update brackets, expanding and collapsing, visibility and
// the other per-node properties.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"

namespace {

const char kNoUserDataSpace[] = "Cannot set initial user data because there is not enough user data space allocated.";

}   // namespace

// ---------------------------------------------------------------------------
// Adding and inserting

PVirtualNode TBaseVirtualTree::AddChildNode(PVirtualNode parent, const void* userData)
{
    if (options_->MiscOptions() & toReadOnly)
        return nullptr;
    CancelEditNode();
    if (!parent)
        parent = root_;
    if (!(parent->States & vsInitialized))
        InitNode(parent);

    ++updateCount_;
    SetChildCount(parent, parent->ChildCount + 1);
    parent->States &= ~vsAllChildrenHidden;
    --updateCount_;
    PVirtualNode result = parent->LastChild;

    if (userData) {
        if (nodeDataSize_ < 4) {
            // The node stays; only the value is refused.
            InvalidateCache();
            ShowError(kNoUserDataSpace, hcTFCannotSetUserData);
        }
        std::memcpy(NodeData(result), &userData, sizeof(userData));
        result->States |= vsInitialUserData;
    }

    InvalidateCache();
    if (updateCount_ == 0) {
        ValidateCache();
        if (states_ & tsStructureChangePending)
            StructureChanged(parent == root_ ? nullptr : parent, crChildAdded);
        if ((options_->AutoOptions() & toAutoSort) && header_->SortColumn() > InvalidColumn)
            SortChildren(parent, header_->SortColumn(), header_->SortDirection(), true);
        InvalidateToBottom(parent);
        UpdateScrollBars(true);
    }
    return result;
}

PVirtualNode TBaseVirtualTree::InsertNodeAt(PVirtualNode node, TVTNodeAttachMode mode, const void* userData)
{
    if (mode == amNoWhere)
        return nullptr;
    CancelEditNode();
    if (!node)
        node = root_;
    if (node == root_) {
        if (mode == amInsertBefore)
            mode = amAddChildFirst;
        else if (mode == amInsertAfter)
            mode = amAddChildLast;
    }
    PVirtualNode result = MakeNewNode();
    if ((mode == amAddChildFirst || mode == amAddChildLast) && !(node->States & vsInitialized))
        InitNode(node);
    InternalConnectNode(result, node, mode);

    if (userData) {
        if (nodeDataSize_ < 4) {
            InvalidateCache();
            StructureChanged(result, crNodeAdded);
            ShowError(kNoUserDataSpace, hcTFCannotSetUserData);
        }
        std::memcpy(NodeData(result), &userData, sizeof(userData));
        result->States |= vsInitialUserData;
    }

    InvalidateCache();
    if (updateCount_ == 0) {
        ValidateCache();
        if ((options_->AutoOptions() & toAutoSort) && header_->SortColumn() > InvalidColumn) {
            PVirtualNode sortParent = (mode == amInsertBefore || mode == amInsertAfter) ? node->Parent : node;
            SortChildren(sortParent, header_->SortColumn(), header_->SortDirection(), true);
        }
        UpdateScrollBars(true);
        InvalidateToBottom(mode == amInsertBefore ? result : node);
    }
    StructureChanged(result, crNodeAdded);
    return result;
}

// ---------------------------------------------------------------------------
// Deleting

void TBaseVirtualTree::DeleteNode(PVirtualNode node, bool reindex)
{
    if (!node || node == root_ || (options_->MiscOptions() & toReadOnly))
        return;
    BX_ASSERT(!(states_ & tsIterating), "Deleting nodes during tree iteration leads to invalid pointers.");

    PVirtualNode parent = node->Parent;
    const bool parentClearing = (parent->States & vsClearing) != 0;
    if (!parentClearing)
        StructureChanged(parent == root_ ? nullptr : parent, crChildDeleted);
    const int oldX = offsetX_, oldY = offsetY_;

    if (node->States & vsSelected) {
        if (updateCount_ == 0) {
            // Synchronously: OnChange still sees the node alive.
            const bool wasSynch = (states_ & tsSynchMode) != 0;
            DoStateChange(tsSynchMode);
            RemoveFromSelection(node);
            if (!wasSynch)
                DoStateChange(0, tsSynchMode);
            InvalidateToBottom(parent);
        } else {
            RemoveSelectionEntry(node);
        }
    } else {
        InvalidateToBottom(parent);
    }
    if (states_ & tsHint)
        DoStateChange(0, tsHint);

    DeleteChildNodes(node, false);
    InternalDisconnectNode(node, false, reindex);
    FreeNodeRecord(node);

    if (!parentClearing) {
        UpdateHiddenChildrenFlag(parent);
        InvalidateCache();
        if (updateCount_ == 0) {
            ValidateCache();
            UpdateScrollBars(true);
            if (oldX != offsetX_ || oldY != offsetY_)
                Invalidate();
        }
    }
}

void TBaseVirtualTree::DeleteChildNodes(PVirtualNode node, bool resetHasChildren)
{
    if (!node || !node->FirstChild || (options_->MiscOptions() & toReadOnly))
        return;
    BX_ASSERT(!(states_ & tsIterating), "Deleting nodes during tree iteration leads to invalid pointers.");

    ++updateCount_;
    InterruptValidation();
    const int oldX = offsetX_, oldY = offsetY_;
    const bool shown = node == root_ || (FullyVisible(node) && (node->States & vsExpanded));

    node->States |= vsClearing;
    PVirtualNode child = node->LastChild;
    while (child) {
        PVirtualNode prev = child->PrevSibling;
        if (shown && (child->States & vsVisible))
            --visibleCount_;
        child->States |= vsDeleting;
        if (prev)
            prev->NextSibling = nullptr;
        child->NextSibling = nullptr;
        DeleteNode(child, false);
        child = prev;
    }
    node->States &= ~vsClearing;
    if (resetHasChildren)
        node->States &= ~vsHasChildren;
    if (node != root_)
        node->States &= ~vsExpanded;
    node->ChildCount = 0;
    if (node != root_ && !(node->States & vsDeleting)) {
        AdjustTotalHeight(node, node->NodeHeight);
        AdjustTotalCount(node, 1);
    } else {
        node->TotalHeight = node->NodeHeight;
        node->TotalCount = 1;
    }
    node->FirstChild = node->LastChild = nullptr;
    if (!(node->States & vsDeleting))
        UpdateHiddenChildrenFlag(node);
    --updateCount_;
    InvalidateCache();

    if (updateCount_ == 0) {
        CompactSelection();
        ValidateCache();
        UpdateScrollBars(true);
        if (oldX == offsetX_ && oldY == offsetY_)
            InvalidateToBottom(node);
        else
            Invalidate();
    }
    StructureChanged(node == root_ ? nullptr : node, crChildDeleted);
}

void TBaseVirtualTree::ClearNodes()
{
    if ((options_->MiscOptions() & toReadOnly) && !IsDestroying())
        return;
    BeginUpdate();
    InterruptValidation();
    CancelEditNode();
    if (states_ & (tsCopyPending | tsCutPending)) {
        OleSetClipboard(nullptr);
        DoStateChange(0, tsCopyPending | tsCutPending);
    }
    ClearSelection();
    ResetNodeReferences();
    const TVTMiscOptions misc = options_->MiscOptions();
    if (IsDestroying())
        options_->misc_ &= ~toReadOnly;
    DeleteChildNodes(root_, true);
    options_->misc_ = misc;
    visibleCount_ = 0;
    offsetX_ = offsetY_ = 0;
    effectiveOffsetX_ = 0;
    EndUpdate();
}

void TBaseVirtualTree::DeleteSelection()
{
    if (SelectedCount() == 0 || (options_->MiscOptions() & toReadOnly))
        return;
    BeginUpdate();
    // In tree order, children of selected nodes left out: they go with their parent.
    std::vector<PVirtualNode> nodes;
    for (PVirtualNode run = root_->FirstChild; run;) {
        if (run->States & vsSelected) {
            nodes.push_back(run);
            // Skip the subtree.
            while (run && !run->NextSibling && run != root_)
                run = run->Parent;
            run = (run && run != root_) ? run->NextSibling : nullptr;
        } else {
            run = GetNextNoInit(run);
        }
    }
    for (size_t i = nodes.size(); i-- > 1;)
        DeleteNode(nodes[i], nodes[i]->Parent != nodes[i - 1]->Parent);
    if (!nodes.empty())
        DeleteNode(nodes[0], true);
    EndUpdate();
}

// ---------------------------------------------------------------------------
// Moving

void TBaseVirtualTree::MoveNode(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode,
                                bool childrenOnly)
{
    if (mode == amNoWhere || !source || source == root_ || (options_->MiscOptions() & toReadOnly))
        return;
    BX_ASSERT(ContainsNode(source), "The source tree must contain the source node.");
    if (source == target && !(childrenOnly && (mode == amInsertBefore || mode == amInsertAfter)))
        return;
    if (!target) {
        target = root_;
        mode = amAddChildFirst;
    }
    // Moving between trees goes through the node stream, which lives with
    // the streaming code; this tree moves within itself.
    BX_ASSERT(ContainsNode(target), "Moving nodes to another tree needs the node stream.");
    if (target == root_) {
        if (mode == amInsertBefore)
            mode = amAddChildFirst;
        else if (mode == amInsertAfter)
            mode = amAddChildLast;
    }
    if (target != root_ && !(target->States & vsInitialized))
        InitNode(target);
    else if ((target->States & vsHasChildren) && target->ChildCount == 0)
        InitChildren(target);

    const bool allowed = DoNodeMoving(source, target == root_ ? nullptr : target);
    if (allowed) {
        if (target != source) {
            for (PVirtualNode run = target; run != root_; run = run->Parent)
                if (run == source)
                    ShowError("Target node cannot be a child node of the node to be moved.", hcTFWrongMoveError);
        }
        InterruptValidation();
        auto moveOne = [&](PVirtualNode node, PVirtualNode destination, TVTNodeAttachMode how) {
            InternalDisconnectNode(node, true);
            InternalConnectNode(node, destination, how);
            DoNodeMoved(node);
        };
        if (!childrenOnly) {
            moveOne(source, target, mode);
        } else if (mode == amAddChildFirst) {
            for (PVirtualNode run = source->LastChild; run;) {
                PVirtualNode prev = run->PrevSibling;
                moveOne(run, target, amAddChildFirst);
                run = prev;
            }
        } else {
            PVirtualNode destination = target;
            for (PVirtualNode run = source->FirstChild; run;) {
                PVirtualNode next = run->NextSibling;
                moveOne(run, destination, mode);
                // Following children go after the one just moved.
                if (mode == amInsertAfter || mode == amInsertBefore) {
                    destination = run;
                    mode = amInsertAfter;
                }
                run = next;
            }
        }
    }
    InvalidateCache();
    if (updateCount_ == 0 && allowed) {
        ValidateCache();
        UpdateScrollBars(true);
        Invalidate();
    }
    StructureChanged(source, crNodeMoved);
}

// ---------------------------------------------------------------------------
// Update brackets

void TBaseVirtualTree::BeginUpdate()
{
    if (!IsDestroying()) {
        if (updateCount_ == 0) {
            DoUpdating(usBegin);
            SetUpdateState(true);
        } else {
            DoUpdating(usUpdate);
        }
    }
    ++updateCount_;
    DoStateChange(tsUpdating);
}

void TBaseVirtualTree::EndUpdate()
{
    if (updateCount_ > 0)
        --updateCount_;
    if (IsDestroying())
        return;
    if (updateCount_ == 0 && (states_ & tsUpdating)) {
        if (states_ & tsUpdateHiddenChildrenNeeded) {
            UpdateAllHiddenChildrenFlags();
            states_ &= ~tsUpdateHiddenChildrenNeeded;
        }
        DoStateChange(0, tsUpdating);
        CompactSelection();
        InvalidateCache();
        ValidateCache();
        if (HandleAllocated())
            UpdateScrollBars(false);
        if (states_ & tsStructureChangePending)
            DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_);
        if (states_ & tsChangePending)
            DoChange(lastChangedNode_);
        if ((options_->AutoOptions() & toAutoSort) && header_->SortColumn() > InvalidColumn)
            SortByColumn(header_->SortColumn(), header_->SortDirection(), true);
        SetUpdateState(false);
        if (HandleAllocated()) {
            Invalidate();
            // Redrawing was off: the scroll bars and the header in the frame
            // are drawn again once, now.
            RedrawFrame();
        }
    }
    DoUpdating(updateCount_ == 0 ? usEnd : usUpdate);
}

// ---------------------------------------------------------------------------
// Expanding and collapsing

bool TBaseVirtualTree::Expanded(PVirtualNode node) const
{
    return node && (node->States & vsExpanded);
}

void TBaseVirtualTree::SetExpanded(PVirtualNode node, bool value)
{
    if (node && node != root_ && value != ((node->States & vsExpanded) != 0))
        ToggleExpanded(node);
}

void TBaseVirtualTree::ToggleExpanded(PVirtualNode node)
{
    BX_ASSERT(node, "Node must not be nil.");
    if (node == root_ || (node->States & vsToggling))
        return;
    node->States |= vsToggling;
    bool changed = false;
    if (node->States & vsExpanded) {
        if (DoCollapsing(node)) {
            changed = true;
            const unsigned hidden = FullyVisible(node) ? CountVisibleChildren(node) : 0;
            AdjustTotalHeight(node, node->NodeHeight);
            node->States &= ~vsExpanded;
            visibleCount_ -= hidden;
            DoCollapsed(node);
            if ((options_->AutoOptions() & toAutoFreeOnCollapse) && node->ChildCount > 0) {
                DeleteChildNodes(node, false);
                node->States |= vsHasChildren;
                UpdateHiddenChildrenFlag(node);
            }
        }
    } else if (DoExpanding(node)) {
        if (!(node->States & vsInitialized))
            InitNode(node);
        if ((node->States & vsHasChildren) && node->ChildCount == 0)
            InitChildren(node);
        if (node->ChildCount > 0 && !(node->States & vsExpanded)) {
            changed = true;
            int64_t delta = 0;
            for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
                if (child->States & vsVisible)
                    delta += child->TotalHeight;
            node->States |= vsExpanded;
            AdjustTotalHeight(node, delta, true);
            if (FullyVisible(node))
                visibleCount_ += CountVisibleChildren(node);
            DoExpanded(node);
        }
    }
    if (changed) {
        InvalidateCache();
        if (updateCount_ == 0) {
            ValidateCache();
            if (node->ChildCount > 0)
                UpdateScrollBars(true);
            if ((options_->AutoOptions() & toAutoScrollOnExpand) && (node->States & vsExpanded) && node->LastChild)
                ScrollIntoView(node->LastChild, (options_->SelectionOptions() & toCenterScrollIntoView) != 0);
            InvalidateToBottom(node);
        }
    } else {
        InvalidateNode(node);
    }
    node->States &= ~vsToggling;
}

void TBaseVirtualTree::CollapseAll(PVirtualNode node)
{
    if (root_->TotalCount < 2)
        return;
    if (node == root_)
        node = nullptr;
    DoStateChange(tsCollapsing);
    BeginUpdate();
    PVirtualNode stop = node;
    PVirtualNode run = node ? node : root_;
    // The deepest last node below the start, then backwards.
    while (run->LastChild)
        run = run->LastChild;
    while (run && run != stop && run != root_) {
        PVirtualNode prev = GetPrevious(run);
        if ((run->States & vsExpanded) && (run->States & vsHasChildren))
            ToggleExpanded(run);
        run = prev;
    }
    if (node && (node->States & vsExpanded) && (node->States & vsHasChildren))
        ToggleExpanded(node);
    EndUpdate();
    DoStateChange(0, tsCollapsing);
}

void TBaseVirtualTree::ExpandAll(PVirtualNode node)
{
    if (root_->TotalCount < 2)
        return;
    if (node == root_)
        node = nullptr;
    DoStateChange(tsExpanding);
    BeginUpdate();
    PVirtualNode stop = nullptr;
    PVirtualNode run;
    if (node) {
        for (PVirtualNode up = node; up != root_; up = up->Parent)
            if (up->NextSibling) {
                stop = up->NextSibling;
                break;
            }
        if (!(node->States & vsInitialized))
            InitNode(node);
        run = node;
    } else {
        run = root_->FirstChild;
    }
    while (run && run != stop) {
        if (!(run->States & vsInitialized))
            InitNode(run);
        if (!(run->States & vsExpanded))
            ToggleExpanded(run);
        run = GetNext(run);
    }
    EndUpdate();
    DoStateChange(0, tsExpanding);
}

// ---------------------------------------------------------------------------
// Re-initializing

void TBaseVirtualTree::ReinitializeNode(PVirtualNode node, bool recursive)
{
    if (!node || node == root_) {
        ReinitializeChildren(nullptr, recursive);
        return;
    }
    node->States &= 0xDFE9;
    InitNode(node);
    if (recursive)
        ReinitializeChildren(node, true);
}

void TBaseVirtualTree::ReinitializeChildren(PVirtualNode node, bool recursive)
{
    if (!node)
        node = root_;
    if ((node->States & vsHasChildren) && node->ChildCount == 0)
        InitChildren(node);
    for (PVirtualNode child = node->FirstChild; child;) {
        PVirtualNode next = child->NextSibling;
        ReinitializeNode(child, recursive);
        child = next;
    }
}

void TBaseVirtualTree::ResetNodeState(PVirtualNode node)
{
    CancelEditNode();
    if (!node || node == root_) {
        ClearNodes();
        return;
    }
    DoReset(node);
    DeleteChildNodes(node, false);
    node->States &= 0xDF88;
    InvalidateNode(node);
}

// ---------------------------------------------------------------------------
// Node properties

bool TBaseVirtualTree::IsVisible(PVirtualNode node) const
{
    return node && (node->States & vsVisible);
}

void TBaseVirtualTree::SetVisible(PVirtualNode node, bool value)
{
    BX_ASSERT(node && node != root_, "Invalid parameter.");
    if (value == ((node->States & vsVisible) != 0))
        return;
    PVirtualNode parent = node->Parent;
    bool needUpdate = false;
    if (value) {
        node->States |= vsVisible;
        if (parent->States & vsExpanded)
            AdjustTotalHeight(parent, node->TotalHeight, true);
        if (FullyVisible(node)) {
            visibleCount_ += 1 + CountVisibleChildren(node);
            needUpdate = true;
        }
        if (parent != root_)
            parent->States &= ~vsAllChildrenHidden;
    } else {
        if (FullyVisible(node)) {
            visibleCount_ -= 1 + CountVisibleChildren(node);
            needUpdate = true;
        }
        if (parent->States & vsExpanded)
            AdjustTotalHeight(parent, -static_cast<int64_t>(node->TotalHeight), true);
        node->States &= ~vsVisible;
        if (updateCount_ == 0)
            UpdateHiddenChildrenFlag(parent);
        else
            states_ |= tsUpdateHiddenChildrenNeeded;
    }
    InvalidateCache();
    if (needUpdate && updateCount_ == 0) {
        ValidateCache();
        UpdateScrollBars(true);
        Invalidate();
    }
}

bool TBaseVirtualTree::HasChildren(PVirtualNode node) const
{
    return node && (node->States & vsHasChildren);
}

void TBaseVirtualTree::SetHasChildren(PVirtualNode node, bool value)
{
    if (!node || node == root_ || (options_->MiscOptions() & toReadOnly))
        return;
    if (value) {
        node->States |= vsHasChildren;
    } else {
        node->States &= ~vsHasChildren;
        DeleteChildNodes(node, false);
        node->States &= ~vsHasChildren;
    }
    UpdateHiddenChildrenFlag(node);
    InvalidateNode(node);
}

bool TBaseVirtualTree::IsDisabled(PVirtualNode node) const
{
    return node && (node->States & vsDisabled);
}

void TBaseVirtualTree::SetDisabled(PVirtualNode node, bool value)
{
    if (!node || node == root_ || value == ((node->States & vsDisabled) != 0))
        return;
    if (value)
        node->States |= vsDisabled;
    else
        node->States &= ~vsDisabled;
    InvalidateNode(node);
}

bool TBaseVirtualTree::MultiLine(PVirtualNode node) const
{
    return node && (node->States & vsMultiline);
}

void TBaseVirtualTree::SetMultiLine(PVirtualNode node, bool value)
{
    if (!node || node == root_ || value == ((node->States & vsMultiline) != 0))
        return;
    if (value)
        node->States |= vsMultiline;
    else
        node->States &= ~vsMultiline;
    node->States &= ~vsHeightMeasured;
    InvalidateNode(node);
}

PVirtualNode TBaseVirtualTree::NodeParent(PVirtualNode node) const
{
    if (!node || node == root_ || node->Parent == root_)
        return nullptr;
    return node->Parent;
}

// ---------------------------------------------------------------------------
// Walking the tree

PVirtualNode TBaseVirtualTree::GetFirst() const { return root_->FirstChild; }

PVirtualNode TBaseVirtualTree::GetLast(PVirtualNode node) const
{
    PVirtualNode run = node ? node : root_;
    while (run->LastChild)
        run = run->LastChild;
    return run == root_ ? nullptr : run;
}

PVirtualNode TBaseVirtualTree::GetNextNoInit(PVirtualNode node) const
{
    if (!node || node == root_)
        return nullptr;
    if (node->FirstChild)
        return node->FirstChild;
    for (PVirtualNode run = node; run != root_; run = run->Parent)
        if (run->NextSibling)
            return run->NextSibling;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::GetNext(PVirtualNode node) const
{
    if (!node || node == root_)
        return nullptr;
    auto* self = const_cast<TBaseVirtualTree*>(this);
    if (!(node->States & vsInitialized))
        self->InitNode(node);
    if ((node->States & vsHasChildren) && node->ChildCount == 0)
        self->InitChildren(node);
    return GetNextNoInit(node);
}

PVirtualNode TBaseVirtualTree::GetPrevious(PVirtualNode node) const
{
    if (!node || node == root_)
        return nullptr;
    if (node->PrevSibling) {
        PVirtualNode run = node->PrevSibling;
        while (run->LastChild)
            run = run->LastChild;
        return run;
    }
    return node->Parent == root_ ? nullptr : node->Parent;
}

PVirtualNode TBaseVirtualTree::GetFirstVisibleNoInit() const
{
    for (PVirtualNode run = root_->FirstChild; run; run = run->NextSibling)
        if (run->States & vsVisible)
            return run;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::GetNextVisibleNoInit(PVirtualNode node) const
{
    if (!node || node == root_)
        return nullptr;
    // Down into an expanded node's visible children.
    if ((node->States & vsExpanded))
        for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
            if (child->States & vsVisible)
                return child;
    // Then the next visible sibling of the node or of an ancestor.
    for (PVirtualNode run = node; run != root_; run = run->Parent)
        for (PVirtualNode next = run->NextSibling; next; next = next->NextSibling)
            if (next->States & vsVisible)
                return next;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::GetPreviousVisibleNoInit(PVirtualNode node) const
{
    if (!node || node == root_)
        return nullptr;
    for (PVirtualNode run = node->PrevSibling; run; run = run->PrevSibling)
        if (run->States & vsVisible) {
            // Its last visible descendant through expanded nodes.
            PVirtualNode deep = run;
            for (;;) {
                if (!(deep->States & vsExpanded))
                    break;
                PVirtualNode last = nullptr;
                for (PVirtualNode c = deep->LastChild; c; c = c->PrevSibling)
                    if (c->States & vsVisible) {
                        last = c;
                        break;
                    }
                if (!last)
                    break;
                deep = last;
            }
            return deep;
        }
    return node->Parent == root_ ? nullptr : node->Parent;
}

PVirtualNode TBaseVirtualTree::GetLastVisibleNoInit() const
{
    PVirtualNode result = nullptr;
    PVirtualNode level = root_;
    for (;;) {
        PVirtualNode last = nullptr;
        for (PVirtualNode c = level->LastChild; c; c = c->PrevSibling)
            if (c->States & vsVisible) {
                last = c;
                break;
            }
        if (!last)
            return result;
        result = last;
        if (!(last->States & vsExpanded))
            return result;
        level = last;
    }
}

PVirtualNode TBaseVirtualTree::GetFirstVisible()
{
    for (PVirtualNode run = root_->FirstChild; run; run = run->NextSibling)
        if (IsVisibleInitialized(run))
            return run;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::GetNextVisible(PVirtualNode node)
{
    if (!node || node == root_)
        return nullptr;
    if (!(node->States & vsInitialized))
        InitNode(node);
    if ((node->States & vsExpanded)) {
        if ((node->States & vsHasChildren) && node->ChildCount == 0)
            InitChildren(node);
        for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
            if (IsVisibleInitialized(child))
                return child;
    }
    for (PVirtualNode run = node; run != root_; run = run->Parent)
        for (PVirtualNode next = run->NextSibling; next; next = next->NextSibling)
            if (IsVisibleInitialized(next))
                return next;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::GetPreviousVisible(PVirtualNode node)
{
    PVirtualNode result = GetPreviousVisibleNoInit(node);
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::GetLastVisible()
{
    PVirtualNode result = GetLastVisibleNoInit();
    if (result && !(result->States & vsInitialized))
        InitNode(result);
    return result;
}

PVirtualNode TBaseVirtualTree::GetFirstSelected() const
{
    if (SelectedCount() == 0)
        return nullptr;
    for (PVirtualNode run = root_->FirstChild; run; run = GetNextNoInit(run))
        if (run->States & vsSelected)
            return run;
    return nullptr;
}

PVirtualNode TBaseVirtualTree::GetNextSelected(PVirtualNode node) const
{
    for (PVirtualNode run = GetNextNoInit(node); run; run = GetNextNoInit(run))
        if (run->States & vsSelected)
            return run;
    return nullptr;
}

unsigned TBaseVirtualTree::GetDisplayTop(PVirtualNode node) const
{
    unsigned top = 0;
    for (PVirtualNode run = GetFirstVisibleNoInit(); run && run != node; run = GetNextVisibleNoInit(run))
        top += run->NodeHeight;
    return top;
}

PVirtualNode TBaseVirtualTree::GetNodeAtOffset(int y, int* nodeTop) const
{
    if (y < 0)
        return nullptr;
    int top = 0;
    for (PVirtualNode run = GetFirstVisibleNoInit(); run; run = GetNextVisibleNoInit(run)) {
        if (y < top + run->NodeHeight) {
            if (nodeTop)
                *nodeTop = top;
            return run;
        }
        top += run->NodeHeight;
    }
    return nullptr;
}

