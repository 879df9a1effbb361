// Building and changing the node structure: adding, inserting, deleting and
// moving nodes, update brackets, expanding and collapsing, visibility and
// the other per-node properties.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTUtils.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Stream.h"

namespace {

const char kNoUserDataSpace[] = "Cannot set initial user data because there is not enough user data space allocated.";

}   // namespace

// ---------------------------------------------------------------------------
// Adding and inserting

PVirtualNode TBaseVirtualTree::AddChildNode(PVirtualNode parent, const void* userData)
{
    if (options_->MiscOptions() & toReadOnly)
        return nullptr;
    // A node on its way out takes no more children.
    if (parent && (parent->States & vsDeleting))
        return nullptr;
    CancelEditNode();
    if (!parent)
        parent = root_;
    if (!(parent->States & vsInitialized))
        InitNode(parent);
    if (parent->States & vsExpanded)
        CheckHeightRoom(parent, defaultNodeHeight_);

    ++updateCount_;
    SetChildCount(parent, parent->ChildCount + 1);
    parent->States &= ~vsAllChildrenHidden;
    --updateCount_;
    PVirtualNode result = parent->LastChild;

    if (userData) {
        if (nodeDataSize_ < 4) {
            // The node stays; only the value is refused.
            InvalidateCacheFrom(result);
            ShowError(kNoUserDataSpace, hcTFCannotSetUserData);
        }
        std::memcpy(NodeData(result), &userData, sizeof(userData));
        result->States |= vsInitialUserData;
    }

    InvalidateCacheFrom(result);
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
    // Nothing goes into or next to a node on its way out.
    if (node && node != root_ && ((node->States & vsDeleting) || (node->Parent->States & vsDeleting)))
        return nullptr;
    CancelEditNode();
    // The worker must not walk the links being changed.
    InterruptValidation();
    if (!node)
        node = root_;
    if (node == root_) {
        if (mode == amInsertBefore)
            mode = amAddChildFirst;
        else if (mode == amInsertAfter)
            mode = amAddChildLast;
    }
    if ((mode == amAddChildFirst || mode == amAddChildLast) && !(node->States & vsInitialized))
        InitNode(node);
    PVirtualNode result = NewConnectedNode(node, mode);

    if (userData) {
        if (nodeDataSize_ < 4) {
            InvalidateCacheFrom(result);
            StructureChanged(result, crNodeAdded);
            ShowError(kNoUserDataSpace, hcTFCannotSetUserData);
        }
        std::memcpy(NodeData(result), &userData, sizeof(userData));
        result->States |= vsInitialUserData;
    }

    InvalidateCacheFrom(result);
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

// Deleting calls out to the application (edit cancelled, OnStructureChange,
// OnChange, OnFocusChanged, OnFreeNode) and any handler may delete nodes,
// this one included, or clear and refill the list. So every call-out that
// concerns the node comes while it is still in place, and after each one the
// node is looked for again; the node's subtree is then taken out in one
// step, and only once the tree is consistent again are its nodes freed
// (with OnFreeNode), after which none of them is touched.
void TBaseVirtualTree::DeleteNode(PVirtualNode node, bool reindex)
{
    // A node already on its way out (asked for again by a handler) goes
    // with the rest of its subtree.
    if (!node || node == root_ || (node->States & vsDeleting) || (options_->MiscOptions() & toReadOnly))
        return;
    RefuseDeletingWhileReading();
    BX_ASSERT(!(states_ & tsIterating), "Deleting nodes during tree iteration leads to invalid pointers.");

    TNodeWatch watch(*this, node);
    // An edit of this node or of one below it is cancelled before anything
    // else (losing the focus would end it and store the text).
    CancelEditInside(node);
    if (!watch.Alive())
        return;
    StructureChanged(node->Parent == root_ ? nullptr : node->Parent, crChildDeleted);
    if (!watch.Alive())
        return;
    if ((node->States & vsSelected) && updateCount_ == 0) {
        // OnChange fires now and still sees the node in place.
        const bool wasSynch = (states_ & tsSynchMode) != 0;
        DoStateChange(tsSynchMode);
        RemoveFromSelection(node);
        if (!wasSynch)
            DoStateChange(0, tsSynchMode);
        if (!watch.Alive())
            return;
    }
    if (!ReleaseFocusInside(node, true, watch))
        return;
    InterruptValidation();   // pumps messages
    if (!watch.Alive())
        return;

    // From here on nothing calls out until the subtree is out of the tree.
    PVirtualNode parent = node->Parent;
    // The cache entries before the node stay (counted while it is linked).
    const unsigned keptEntries = CacheEntriesBefore(node, false);
    KeepCacheEntries(keptEntries);
    const int oldX = offsetX_, oldY = offsetY_;
    if (batchedDeletes_ == 0)
        InvalidateToBottom(parent);
    InternalDisconnectNode(node, true, reindex);
    const bool selectionLost = MarkForDeletion(node);
    UpdateHiddenChildrenFlag(parent);
    KeepCacheEntries(keptEntries);

    if (states_ & tsHint)
        DoStateChange(0, tsHint);
    const uint64_t freed = FreeDetached(node);
    if (updateCount_ == 0 && batchedDeletes_ == 0) {
        CompactSelection();
        ValidateCache();
        UpdateScrollBars(true);
        if (oldX != offsetX_ || oldY != offsetY_)
            Invalidate();
    }
    // Selected rows went unannounced (inside an update, or below the
    // node): one change, with nil, once they are gone.
    if (selectionLost && !IsDestroying())
        Change(nullptr);
    lastDeletedCount_ = freed;
}

void TBaseVirtualTree::DeleteChildNodes(PVirtualNode node, bool resetHasChildren)
{
    // The children of a node on its way out go with it.
    if (!node || !node->FirstChild || (node->States & vsDeleting) || (options_->MiscOptions() & toReadOnly))
        return;
    RefuseDeletingWhileReading();
    BX_ASSERT(!(states_ & tsIterating), "Deleting nodes during tree iteration leads to invalid pointers.");

    TNodeWatch watch(*this, node);
    if (states_ & (tsEditing | tsEditPending)) {
        PVirtualNode edited = editNode_ ? editNode_ : focusedNode_;
        if (edited && edited != node && (node == root_ || HasAncestor(edited, node)))
            CancelEditInside(edited);
        if (!watch.Alive())
            return;
    }
    if (!ReleaseFocusInside(node, false, watch))
        return;
    ++updateCount_;
    InterruptValidation();   // pumps messages
    if (!watch.Alive() || !node->FirstChild) {
        --updateCount_;
        return;
    }

    const unsigned keptEntries = CacheEntriesBefore(node->FirstChild, false);
    KeepCacheEntries(keptEntries);
    const int oldX = offsetX_, oldY = offsetY_;
    const bool shown = node == root_ || (FullyVisible(node) && (node->States & vsExpanded));

    // Every child leaves at once; the tree is consistent again before the
    // first OnFreeNode.
    node->States |= vsClearing;
    PVirtualNode last = node->LastChild;
    bool selectionLost = false;
    for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
        if (shown && (child->States & vsVisible))
            visibleCount_ -= 1 + CountVisibleChildren(child);
        selectionLost = MarkForDeletion(child) || selectionLost;
    }
    node->States &= ~vsClearing;
    if (resetHasChildren)
        node->States &= ~vsHasChildren;
    if (node != root_)
        node->States &= ~vsExpanded;
    node->ChildCount = 0;
    if (node != root_) {
        AdjustTotalHeight(node, node->NodeHeight);
        AdjustTotalCount(node, 1);
    } else {
        // Only the node's own row is left: for the hidden root that row is
        // not content, so the vertical range becomes exactly 0.
        node->TotalHeight = node->NodeHeight;
        node->TotalCount = 1;
    }
    node->FirstChild = node->LastChild = nullptr;
    UpdateHiddenChildrenFlag(node);
    --updateCount_;
    KeepCacheEntries(keptEntries);

    // Freed from the last child to the first.
    while (last) {
        PVirtualNode prev = last->PrevSibling;
        last->PrevSibling = last->NextSibling = nullptr;
        if (prev)
            prev->NextSibling = nullptr;
        FreeDetached(last);
        last = prev;
    }

    if (updateCount_ == 0) {
        CompactSelection();
        ValidateCache();
        UpdateScrollBars(true);
        if (oldX == offsetX_ && oldY == offsetY_ && watch.Alive())
            InvalidateToBottom(node);
        else
            Invalidate();
    }
    if (selectionLost && !IsDestroying())
        Change(nullptr);
    // A node that a handler deleted meanwhile reported its own deletion.
    if (watch.Alive())
        StructureChanged(node == root_ ? nullptr : node, crChildDeleted);
}

void TBaseVirtualTree::RefuseDeletingWhileReading() const
{
    // The reader links the nodes it makes into the ones it is filling.
    if (streamDepth_ > 0)
        ShowError("Nodes cannot be deleted while nodes are being read from a stream.", hcTFDeleteWhileReading);
}

bool TBaseVirtualTree::ReleaseFocusInside(PVirtualNode node, bool itself, const TNodeWatch& watched)
{
    PVirtualNode focused = focusedNode_;
    if (!focused || (focused == node ? !itself : (node != root_ && !HasAncestor(focused, node))))
        return watched.Alive();
    DoFocusNode(nullptr, false);
    DoFocusChanged(focusedNode_, focusedColumn_);
    return watched.Alive();
}

bool TBaseVirtualTree::MarkForDeletion(PVirtualNode top)
{
    bool selectionLost = false;
    for (PVirtualNode run = top; run; run = NextInSubtree(run, top)) {
        run->States |= vsDeleting;
        if (run->States & vsSelected) {
            InternalRemoveFromSelection(run);
            selectionLost = true;
        }
        ForgetNode(run);
    }
    if (SelectedCount() == 0)
        ResetRangeAnchor();
    return selectionLost;
}

uint64_t TBaseVirtualTree::FreeDetached(PVirtualNode top)
{
    uint64_t freed = 1;
    PVirtualNode run = top;
    for (;;) {
        while (run->LastChild)
            run = run->LastChild;
        if (run == top)
            break;
        // Unlinked from its (detached) parent first: a handler sees the
        // parent without it.
        PVirtualNode parent = run->Parent;
        parent->LastChild = run->PrevSibling;
        if (parent->LastChild)
            parent->LastChild->NextSibling = nullptr;
        else
            parent->FirstChild = nullptr;
        --parent->ChildCount;
        FreeNodeRecord(run);
        ++freed;
        run = parent;
    }
    FreeNodeRecord(top);
    return freed;
}

void TBaseVirtualTree::ClearNodes()
{
    if ((options_->MiscOptions() & toReadOnly) && !IsDestroying())
        return;
    RefuseDeletingWhileReading();
    BeginUpdate();
    // A handler that fails (OnFreeNode) leaves the list updating no longer.
    TVTOnExit endUpdate{[this] { EndUpdate(); }};
    InterruptValidation();
    CancelEditInside(root_);
    // A pending copy keeps its data on the clipboard (rendered while the
    // nodes exist) instead of emptying the user's clipboard.
    FlushClipboard();
    ClearSelection();
    ResetNodeReferences();
    const TVTMiscOptions misc = options_->MiscOptions();
    if (IsDestroying())
        options_->misc_ &= ~toReadOnly;
    DeleteChildNodes(root_, true);
    options_->misc_ = misc;
    // (Unless an OnFreeNode handler filled the list again.)
    if (!root_->FirstChild) {
        visibleCount_ = 0;
        offsetX_ = offsetY_ = 0;
        effectiveOffsetX_ = 0;
    }
}

void TBaseVirtualTree::DeleteSelection()
{
    if (SelectedCount() == 0 || (options_->MiscOptions() & toReadOnly))
        return;
    BeginUpdate();
    TVTOnExit endUpdate{[this] { EndUpdate(); }};
    // In tree order, children of selected nodes left out: they go with their parent.
    DeleteSortedNodes(SortedSelection(true), &TBaseVirtualTree::SortedSelection);
}

void TBaseVirtualTree::DeleteSortedNodes(TNodeArray nodes, TNodeArray (TBaseVirtualTree::*remaining)(bool) const)
{
    while (!nodes.empty()) {
        PVirtualNode node = nodes.back();
        nodes.pop_back();
        // Siblings are numbered again once, with the first of them to go.
        const bool reindex = nodes.empty() || node->Parent != nodes.back()->Parent;
        TNodeWatch watch(*this, node);
        const uint64_t before = freedCount_;
        lastDeletedCount_ = 0;
        DeleteNode(node, reindex);
        // A node that stays (already on its way out, or the tree is
        // read-only now) was left before any handler ran.
        if (!watch.Alive() && freedCount_ - before != lastDeletedCount_)
            nodes = (this->*remaining)(true);
    }
}

void TBaseVirtualTree::CancelEditInside(PVirtualNode node)
{
    if (!(states_ & (tsEditing | tsEditPending)))
        return;
    // A pending edit waits for the focused node.
    PVirtualNode edited = editNode_ ? editNode_ : focusedNode_;
    if (node != root_ && (!edited || (edited != node && !HasAncestor(edited, node))))
        return;
    if (CancelEditNode() && !(states_ & (tsEditing | tsEditPending)))
        return;
    // The editor would not stop: the tree stops editing all the same and
    // lets the link go (its last reference, so it is freed once, here).
    StopTimer(EditTimer);
    DoStateChange(0, tsEditing | tsEditPending);
    editNode_ = nullptr;
    editLink_.reset();
}

// ---------------------------------------------------------------------------
// Moving

bool TBaseVirtualTree::MoveNode(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode,
                                bool childrenOnly)
{
    if (mode == amNoWhere || !source || source == root_ || (source->States & vsDeleting) ||
        (options_->MiscOptions() & toReadOnly))
        return false;
    BX_ASSERT(ContainsNode(source), "The source tree must contain the source node.");
    if (source == target && !(childrenOnly && (mode == amInsertBefore || mode == amInsertAfter)))
        return false;
    TBaseVirtualTree* targetTree = this;
    if (!target) {
        target = root_;
        mode = amAddChildFirst;
    } else if (!ContainsNode(target)) {
        targetTree = TreeFromNode(target);
    }
    if (target == targetTree->root_) {
        if (mode == amInsertBefore)
            mode = amAddChildFirst;
        else if (mode == amInsertAfter)
            mode = amAddChildLast;
    }
    // Nothing goes into or next to a node on its way out.
    if (target != targetTree->root_ && ((target->States & vsDeleting) || (target->Parent->States & vsDeleting)))
        return false;
    // Any handler may delete the source or the target (or the children in
    // line to move): each is used only while it is still there.
    TNodeWatch sourceWatch(*this, source);
    TNodeWatch targetWatch(*targetTree, target);
    if (target != targetTree->root_ && !(target->States & vsInitialized))
        targetTree->InitNode(target);
    else if ((target->States & vsHasChildren) && target->ChildCount == 0)
        targetTree->InitChildren(target);

    const bool allowed = sourceWatch.Alive() && targetWatch.Alive() &&
                         DoNodeMoving(source, target == targetTree->root_ ? nullptr : target) &&
                         sourceWatch.Alive() && targetWatch.Alive();
    bool sourceGone = false;
    if (allowed && targetTree != this) {
        MoveToOtherTree(source, *targetTree, target, mode, childrenOnly);
        sourceGone = !childrenOnly;
    } else if (allowed) {
        if (target != source) {
            for (PVirtualNode run = target; run != root_; run = run->Parent)
                if (run == source)
                    ShowError("Target node cannot be a child node of the node to be moved.", hcTFWrongMoveError);
        }
        InterruptValidation();
        auto moveOne = [&](PVirtualNode node, PVirtualNode destination, TVTNodeAttachMode how) {
            PVirtualNode before = node->PrevSibling, parent = node->Parent;
            InternalDisconnectNode(node, true);
            try {
                InternalConnectNode(node, destination, how);
            } catch (...) {
                // Too tall there: back where it was (it fitted there).
                InternalConnectNode(node, before ? before : parent, before ? amInsertAfter : amAddChildFirst);
                throw;
            }
            DoNodeMoved(node);
        };
        // The child in line next: the one taken before the move while a
        // handler left it a child of the source, else the source's first
        // (last) child still waiting.
        auto nextChild = [&](const TNodeWatch& waiting, PVirtualNode node, bool forwards) {
            if (waiting.Alive() && node->Parent == source)
                return node;
            return forwards ? source->FirstChild : source->LastChild;
        };
        if (!childrenOnly) {
            moveOne(source, target, mode);
        } else if (mode == amAddChildFirst) {
            for (PVirtualNode run = source->LastChild; run;) {
                PVirtualNode prev = run->PrevSibling;
                TNodeWatch waiting(*this, prev);
                moveOne(run, target, amAddChildFirst);
                if (!prev || !sourceWatch.Alive() || !targetWatch.Alive())
                    break;
                run = nextChild(waiting, prev, false);
            }
        } else {
            PVirtualNode destination = target;
            for (PVirtualNode run = source->FirstChild; run;) {
                PVirtualNode next = run->NextSibling;
                TNodeWatch moved(*this, run), waiting(*this, next);
                moveOne(run, destination, mode);
                if (!next || !sourceWatch.Alive() || !targetWatch.Alive())
                    break;
                // Following children go after the one just moved; once a
                // handler deleted it, they stay where they are.
                if (mode == amInsertAfter || mode == amInsertBefore) {
                    if (!moved.Alive())
                        break;
                    destination = run;
                    mode = amInsertAfter;
                }
                run = nextChild(waiting, next, true);
            }
        }
    }
    InvalidateCache();
    if (updateCount_ == 0 && allowed) {
        ValidateCache();
        UpdateScrollBars(true);
        Invalidate();
        if (targetTree != this)
            targetTree->Invalidate();
    }
    // A source that went to another tree, or that a handler deleted, is no
    // longer a node to report.
    StructureChanged(sourceGone || !sourceWatch.Alive() ? nullptr : source, crNodeMoved);
    return allowed;
}

void TBaseVirtualTree::MoveToOtherTree(PVirtualNode source, TBaseVirtualTree& targetTree, PVirtualNode target,
                                       TVTNodeAttachMode mode, bool childrenOnly)
{
    // The nodes travel as a node stream: the source with its subtree, or its
    // children one after the other.
    TMemoryStream stream;
    if (childrenOnly) {
        for (PVirtualNode child = source->FirstChild; child; child = child->NextSibling)
            WriteNode(stream, child);
    } else {
        WriteNode(stream, source);
    }
    stream.SetPosition(0);
    const int64_t size = stream.Size();
    // The handlers (OnNodeMoved there, OnFreeNode of nodes they delete) may
    // delete the source, the target or the copies made.
    TNodeWatch sourceWatch(*this, source);
    TNodeWatch targetWatch(targetTree, target);
    bool placed = true;
    {
        targetTree.BeginUpdate();
        TVTOnExit endUpdate{[&targetTree] { targetTree.EndUpdate(); }};
        // Each new node after the one before, so that they keep their order.
        PVirtualNode destination = target;
        std::optional<TNodeWatch> destinationWatch;   // once it is a copy
        while (stream.Position() < size) {
            // Where the rest would go is gone: they stay in this tree.
            if (!targetWatch.Alive() || (destinationWatch && !destinationWatch->Alive())) {
                placed = false;
                break;
            }
            PVirtualNode node = targetTree.NewConnectedNode(destination, mode);
            TNodeWatch watch(targetTree, node);
            targetTree.AddFromStream(stream, VTTreeStreamVersion, node);
            targetTree.DoNodeMoved(node);
            if (watch.Alive() && (mode == amAddChildFirst || mode == amInsertAfter)) {
                destination = node;
                mode = amInsertAfter;
                destinationWatch.emplace(targetTree, node);
            }
        }
    }
    if (!placed || !sourceWatch.Alive())
        return;
    BeginUpdate();
    TVTOnExit endUpdate{[this] { EndUpdate(); }};
    if (childrenOnly)
        DeleteChildNodes(source, true);
    else
        DeleteNode(source, true);
}

// ---------------------------------------------------------------------------
// Update brackets

void TBaseVirtualTree::BeginUpdate()
{
    if (!IsDestroying()) {
        if (updateCount_ == 0) {
            DoUpdating(usBegin);
            frameRedrawInUpdate_ = false;
            // The end of the update takes back the frame drawing that turning
            // drawing on again asks for, which cannot be told from one asked
            // before (by the tree, or by the system for an uncovered bar): a
            // frame drawing still due is done now, before drawing goes off.
            if (HandleAllocated() && Visible())
                RedrawWindow(Handle(), nullptr, nullptr, RDW_ERASENOW | RDW_NOCHILDREN);
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
        // The changes inside marked what they moved; the rest is kept.
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
            // Redrawing was off: the frame is drawn again once, now, as far
            // as it changed.
            RedrawFrameAfterUpdate();
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
    if (node == root_ || (node->States & (vsToggling | vsDeleting)))
        return;
    node->States |= vsToggling;
    int topNodeY = 0;
    PVirtualNode topNode = updateCount_ == 0 ? NodeAtPosition(0, 0, true, topNodeY) : nullptr;
    bool changed = false;
    if (node->States & vsExpanded) {
        if (DoCollapsing(node)) {
            changed = true;
            InterruptValidation();
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
            InterruptValidation();
            int64_t delta = 0;
            for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
                if (child->States & vsVisible)
                    delta += child->TotalHeight;
            if (delta > HeightRoom(node)) {
                node->States &= ~vsToggling;
                CheckHeightRoom(node, delta);
            }
            changed = true;
            node->States |= vsExpanded;
            AdjustTotalHeight(node, delta, true);
            if (FullyVisible(node))
                visibleCount_ += CountVisibleChildren(node);
            DoExpanded(node);
        }
    }
    if (changed) {
        InvalidateCacheBelow(node);
        if (updateCount_ == 0) {
            ValidateCache();
            if (node->ChildCount > 0)
                UpdateScrollBars(true);
            if ((options_->AutoOptions() & toAutoScrollOnExpand) && (node->States & vsExpanded) &&
                HandleAllocated() && FullyVisible(node)) {
                // A subtree taller than the window starts at its top; a
                // shorter one is scrolled into view up to its last row.
                if (node->TotalHeight > static_cast<unsigned>(std::max<LONG>(ClientRect().bottom, 0)))
                    SetOffsetY(-static_cast<int>(NodeTop(node)));
                else if (PVirtualNode last = LastVisibleChildNodeNoInit(node))
                    ScrollIntoView(last, (options_->SelectionOptions() & toCenterScrollIntoView) != 0);
            }
            int newTopY = 0;
            if (NodeAtPosition(0, 0, true, newTopY) != topNode || newTopY != topNodeY)
                Invalidate();
            else
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
    // From the last visible node below the start backwards, so that every
    // subtree collapses from the bottom up.
    PVirtualNode run = LastVisibleNodeNoInit(node);
    while (run && run != node) {
        PVirtualNode prev = PreviousNodeNoInit(run);
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
    try {
        while (run && run != stop) {
            if (!(run->States & vsInitialized))
                InitNode(run);
            if (!(run->States & vsExpanded))
                ToggleExpanded(run);
            run = GetNext(run);
        }
    } catch (...) {
        // (The rows grew too tall to be shown: what was opened stays open.)
        EndUpdate();
        DoStateChange(0, tsExpanding);
        throw;
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
    if (value == ((node->States & vsVisible) != 0) || (node->States & vsDeleting))
        return;
    InterruptValidation();
    // The node keeps its own totals, selection and focus; only its parent
    // chain, the visible count and the parent's hidden-children flag follow.
    PVirtualNode parent = node->Parent;
    if (value) {
        if (parent->States & vsExpanded)
            CheckHeightRoom(parent, node->TotalHeight);
        node->States |= vsVisible;
        if (parent->States & vsExpanded)
            AdjustTotalHeight(parent, node->TotalHeight, true);
        if (FullyVisible(node))
            visibleCount_ += 1 + CountVisibleChildren(node);
        if (parent != root_)
            parent->States &= ~vsAllChildrenHidden;
    } else {
        if (FullyVisible(node))
            visibleCount_ -= 1 + CountVisibleChildren(node);
        if (parent->States & vsExpanded)
            AdjustTotalHeight(parent, -static_cast<int64_t>(node->TotalHeight), true);
        node->States &= ~vsVisible;
        if (updateCount_ == 0)
            UpdateHiddenChildrenFlag(parent);
        else
            states_ |= tsUpdateHiddenChildrenNeeded;
    }
    InvalidateCacheFrom(node);
    if (updateCount_ == 0) {
        ValidateCache();
        UpdateScrollBars(true);
        // The rows from the node's place down moved.
        if (HandleAllocated() && (parent == root_ || FullyVisible(parent)) && (parent->States & vsExpanded)) {
            RECT r = ClientRect();
            r.top = std::max<LONG>(r.top, static_cast<LONG>(NodeTop(node)) + offsetY_);
            if (r.top < r.bottom)
                InvalidateRect(Handle(), &r, FALSE);
        }
    }
}

bool TBaseVirtualTree::HasChildren(PVirtualNode node) const
{
    return node && (node->States & vsHasChildren);
}

void TBaseVirtualTree::SetHasChildren(PVirtualNode node, bool value)
{
    if (!node || node == root_ || (node->States & vsDeleting) || (options_->MiscOptions() & toReadOnly))
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
