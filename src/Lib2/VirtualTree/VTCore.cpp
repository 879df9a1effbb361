// The tree core: construction and destruction, node records and internal
// data areas, the per-subtree totals, linking and unlinking of nodes, child
// counts, node heights, node initialization, check states and line images.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Lib2/VirtualTree/VTDragImage.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTHintWindow.h"
#include "Lib2/VirtualTree/VTWorker.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/ThemeSrv.h"

TVirtualTreeStates WorkerFlagsToStates(unsigned flags)
{
    TVirtualTreeStates result = 0;
    if (flags & wsStopValidation)
        result |= tsStopValidation;
    if (flags & wsCacheValid)
        result |= tsUseCache;
    if (flags & wsValidating)
        result |= tsValidating;
    if (flags & wsValidationNeeded)
        result |= tsValidationNeeded;
    return result;
}

// ---------------------------------------------------------------------------
// Construction and destruction

TBaseVirtualTree::TBaseVirtualTree(TComponent* owner) : TWinControl(owner)
{
    InitializeGlobalStructures();
    AcquireTimerResolution();

    width_ = 200;
    height_ = 100;
    SetTabStop(true);
    SetColor(GetSysColor(COLOR_WINDOW));
    checkImages_ = ::CheckImages(ckLightCheck);

    options_.reset(GetOptionsClass());
    colors_ = std::make_unique<TVTColors>(this);
    scrollBarOptions_ = std::make_unique<TScrollBarOptions>(this);
    clipboardFormats_ = std::make_unique<TClipboardFormats>(this);
    header_ = GetHeaderClass();
    // The picture that follows the mouse when nodes are dragged.
    dragImage_ = new TVTDragImage(this);
    dragImage_->SetTransparency(200);
    dragImage_->SetFade(true);

    InitRootNode();

    WorkerAddThreadReference();
    workerRegistered_ = true;
}

TBaseVirtualTree::~TBaseVirtualTree()
{
    Destroying();
    // Nodes must go even from a read-only tree.
    options_->misc_ &= ~toReadOnly;
    if (workerRegistered_) {
        workerRegistered_ = false;
        WorkerReleaseThreadReference(this);
    }
    if (states_ & tsEditing)
        CancelEditNode();
    editLink_.reset();
    clipboardFormats_.reset();
    ClearNodes();
    selection_.clear();
    selectionCount_ = 0;
    markedCount_ = 0;
    colors_.reset();
    scrollBarOptions_.reset();
    // The window goes while this class still answers its messages.
    DestroyWnd();
    delete header_;
    delete dragImage_;
    dragImage_ = nullptr;
    header_ = nullptr;
    options_.reset();
    if (canvas_) {
        canvas_->SetHandle(nullptr);
        canvas_.reset();
    }
    if (canvasDC_)
        DeleteDC(canvasDC_);
    if (lineBrush_)
        DeleteObject(lineBrush_);
    std::free(root_);
    root_ = nullptr;
    ReleaseTimerResolution();
}

TVTHeader* TBaseVirtualTree::GetHeaderClass() { return new TVTHeader(this); }

TStringTreeOptions* TBaseVirtualTree::GetOptionsClass() { return new TStringTreeOptions(this); }

TVirtualTreeColumn* TBaseVirtualTree::NewColumn(TVirtualTreeColumns* owner) { return new TVirtualTreeColumn(owner); }

// ---------------------------------------------------------------------------
// Node records

void TBaseVirtualTree::InitRootNode(unsigned oldSize)
{
    const size_t size = TreeNodeSize + totalInternalDataSize_;
    if (!root_) {
        root_ = static_cast<PVirtualNode>(std::calloc(1, size));
        if (!root_)
            throw std::bad_alloc();
    } else {
        auto* grown = static_cast<PVirtualNode>(std::realloc(root_, size));
        if (!grown)
            throw std::bad_alloc();
        root_ = grown;
        if (size > oldSize)
            std::memset(reinterpret_cast<char*>(root_) + oldSize, 0, size - oldSize);
    }
    root_->TotalCount = 1;
    root_->TotalHeight = defaultNodeHeight_;
    root_->NodeHeight = static_cast<uint16_t>(defaultNodeHeight_);
    // The root's parent is the tree itself: a walk up the parents ends there.
    root_->Parent = reinterpret_cast<PVirtualNode>(this);
    root_->PrevSibling = root_;
    root_->NextSibling = root_;
    root_->States = vsInitialized | vsExpanded | vsHasChildren | vsVisible;
    root_->Align = 50;
}

unsigned TBaseVirtualTree::AllocateInternalDataArea(unsigned size)
{
    BX_ASSERT(root_->ChildCount == 0 && root_->TotalCount == 1,
              "Internal data allocation must be done before any node is created.");
    const unsigned offset = TreeNodeSize + totalInternalDataSize_;
    const unsigned oldSize = offset;
    totalInternalDataSize_ += (size + 3) & ~3u;
    InitRootNode(oldSize);
    return offset;
}

PVirtualNode TBaseVirtualTree::MakeNewNode()
{
    if (nodeDataSize_ == -1 && OnGetNodeDataSize) {
        int size = nodeDataSize_;
        OnGetNodeDataSize(this, size);
        nodeDataSize_ = size < -1 ? -1 : size;
    }
    const size_t size = TreeNodeSize + totalInternalDataSize_ + static_cast<size_t>(std::max(nodeDataSize_, 0));
    auto* node = static_cast<PVirtualNode>(std::calloc(1, size));
    if (!node)
        throw std::bad_alloc();
    node->TotalCount = 1;
    node->NodeHeight = static_cast<uint16_t>(defaultNodeHeight_);
    node->TotalHeight = defaultNodeHeight_;
    node->States = vsVisible;
    node->Align = 50;
    return node;
}

void* TBaseVirtualTree::NodeData(PVirtualNode node) const
{
    BX_ASSERT(nodeDataSize_ >= 1, "NodeDataSize not initialized.");
    if (!node || node == root_)
        return nullptr;
    return reinterpret_cast<char*>(node) + TreeNodeSize + totalInternalDataSize_;
}

TBaseVirtualTree::TNodeWatch::TNodeWatch(TBaseVirtualTree& tree, PVirtualNode node)
    : tree_(tree), node_(node), next_(tree.nodeWatches_)
{
    tree.nodeWatches_ = this;
}

TBaseVirtualTree::TNodeWatch::~TNodeWatch()
{
    for (TNodeWatch** link = &tree_.nodeWatches_; *link; link = &(*link)->next_)
        if (*link == this) {
            *link = next_;
            break;
        }
}

void TBaseVirtualTree::FreeNodeRecord(PVirtualNode node)
{
    for (TNodeWatch* watch = nodeWatches_; watch; watch = watch->next_)
        if (watch->node_ == node)
            watch->node_ = nullptr;
    // An editor must not go on editing a node that is gone.
    if (node == editNode_ && (states_ & tsEditing) && !CancelEditNode()) {
        DoStateChange(0, tsEditing | tsEditPending);
        editLink_.reset();
    }
    ForgetNode(node);
    DoFreeNode(node);
    // The handler may have looked the node up again: forget it once more,
    // and take it out of the selection should it have got there.
    ForgetNode(node);
    if (node->States & vsSelected)
        RemoveSelectionEntry(node);
    std::free(node);
    ++freedCount_;
}

void TBaseVirtualTree::ForgetNode(PVirtualNode node)
{
    PVirtualNode* refs[] = {&focusedNode_,      &editNode_,        &dropTargetNode_,  &currentHotNode_,
                            &lastChangedNode_,  &lastStructureChangeNode_,             &lastSearchNode_,
                            &pendingCheckNode_, &rangeAnchor_,     &lastDropTarget_};
    for (PVirtualNode* ref : refs)
        if (*ref == node)
            *ref = nullptr;
    if (!pendingCheckNode_ && (states_ & (tsMouseCheckPending | tsKeyCheckPending)))
        states_ &= ~(tsMouseCheckPending | tsKeyCheckPending);
    if (!dragSelection_.empty())
        ForgetDraggedNode(node);
    // A hint about the node goes with it.
    if (hintWindow_ && hintWindow_->HintData().Node == node)
        hintWindow_->CancelHint();
}

void TBaseVirtualTree::ResetNodeReferences()
{
    focusedNode_ = editNode_ = dropTargetNode_ = currentHotNode_ = nullptr;
    lastSearchNode_ = pendingCheckNode_ = rangeAnchor_ = lastDropTarget_ = nullptr;
    // A pending change fires with nil once its node went.
    lastChangedNode_ = nullptr;
    lastStructureChangeNode_ = nullptr;
}

// ---------------------------------------------------------------------------
// Totals

void TBaseVirtualTree::AdjustTotalCount(PVirtualNode node, int64_t value, bool relative)
{
    const int64_t delta = relative ? value : value - static_cast<int64_t>(node->TotalCount);
    if (delta == 0)
        return;
    // A subtree on its way out still points at its old parent: the totals
    // of the tree stop at it.
    for (PVirtualNode run = node;; run = run->Parent) {
        run->TotalCount = static_cast<uint32_t>(run->TotalCount + delta);
        if (run == root_ || (run->States & vsDeleting))
            break;
    }
}

void TBaseVirtualTree::AdjustTotalHeight(PVirtualNode node, int64_t value, bool relative)
{
    const int64_t delta = relative ? value : value - static_cast<int64_t>(node->TotalHeight);
    if (delta == 0)
        return;
    PVirtualNode run = node;
    run->TotalHeight = static_cast<uint32_t>(run->TotalHeight + delta);
    while (run != root_ && !(run->States & vsDeleting) && (run->States & vsVisible) &&
           (run->Parent->States & vsExpanded)) {
        run = run->Parent;
        run->TotalHeight = static_cast<uint32_t>(run->TotalHeight + delta);
    }
}

void TBaseVirtualTree::RecountTotals(PVirtualNode node)
{
    node->TotalCount = 1;
    for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
        RecountTotals(child);
        node->TotalCount += child->TotalCount;
    }
}

bool TBaseVirtualTree::RecalcTotalHeights(PVirtualNode node)
{
    uint64_t total = node->NodeHeight;
    bool fits = true;
    for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
        fits = RecalcTotalHeights(child) && fits;
        if ((node->States & vsExpanded) && (child->States & vsVisible))
            total += child->TotalHeight;
    }
    node->TotalHeight = static_cast<uint32_t>(std::min<uint64_t>(total, MaxTreeHeight));
    return fits && total <= MaxTreeHeight;
}

int64_t TBaseVirtualTree::HeightRoom(PVirtualNode node) const
{
    int64_t room = int64_t{MaxTreeHeight} - node->TotalHeight;
    for (PVirtualNode run = node; run != root_ && (run->States & vsVisible) && (run->Parent->States & vsExpanded);) {
        run = run->Parent;
        room = std::min(room, int64_t{MaxTreeHeight} - run->TotalHeight);
    }
    return room;
}

void TBaseVirtualTree::CheckHeightRoom(PVirtualNode node, int64_t delta) const
{
    if (delta > 0 && delta > HeightRoom(node))
        ShowError("The rows would be too tall to be shown.", hcTFTooTall);
}

PVirtualNode TBaseVirtualTree::NewConnectedNode(PVirtualNode destination, TVTNodeAttachMode mode)
{
    PVirtualNode node = MakeNewNode();
    try {
        InternalConnectNode(node, destination, mode);
    } catch (...) {
        std::free(node);
        throw;
    }
    return node;
}

unsigned TBaseVirtualTree::CountVisibleChildren(PVirtualNode node) const
{
    unsigned result = 0;
    if (!(node->States & vsExpanded))
        return 0;
    // Pre-order through visible, expanded nodes, without recursion.
    PVirtualNode run = node->FirstChild;
    while (run) {
        if (run->States & vsVisible) {
            ++result;
            if ((run->States & vsExpanded) && run->FirstChild) {
                run = run->FirstChild;
                continue;
            }
        }
        while (run != node && !run->NextSibling)
            run = run->Parent;
        run = run == node ? nullptr : run->NextSibling;
    }
    return result;
}

bool TBaseVirtualTree::FullyVisible(PVirtualNode node) const
{
    BX_ASSERT(node, "Invalid parameter.");
    if (!(node->States & vsVisible))
        return false;
    if (node == root_)
        return true;
    return ParentsVisibleAndExpanded(node);
}

bool TBaseVirtualTree::ParentsVisibleAndExpanded(PVirtualNode node) const
{
    BX_ASSERT(node && node != root_, "Invalid parameters.");
    PVirtualNode run = node->Parent;
    while (run != root_ && (run->States & vsExpanded) && (run->States & vsVisible))
        run = run->Parent;
    return run == root_;
}

bool TBaseVirtualTree::HasVisibleNextSibling(PVirtualNode node) const
{
    for (PVirtualNode run = node->NextSibling; run; run = run->NextSibling)
        if (run->States & vsVisible)
            return true;
    return false;
}

unsigned TBaseVirtualTree::NodeHeightOf(PVirtualNode node)
{
    if (!node || node == root_)
        return 0;
    if (options_->MiscOptions() & toVariableNodeHeight) {
        if (!(node->States & vsInitialized))
            InitNode(node);
        MeasureNodeHeight(&Canvas(), node);
    }
    return node->NodeHeight;
}

bool TBaseVirtualTree::IsVisibleInitialized(PVirtualNode node)
{
    if (!node)
        node = root_;
    if (!(node->States & vsInitialized))
        InitNode(node);
    return (node->States & vsVisible) != 0;
}

int TBaseVirtualTree::CompareNodePositions(PVirtualNode node1, PVirtualNode node2) const
{
    BX_ASSERT(node1 && node2, "Nodes must never be nil.");
    if (node1 == node2)
        return 0;
    int level1 = static_cast<int>(NodeLevel(node1)) + (node1 == root_ ? -1 : 0);
    int level2 = static_cast<int>(NodeLevel(node2)) + (node2 == root_ ? -1 : 0);
    PVirtualNode run1 = node1, run2 = node2;
    // Raise the deeper node to the other's level.
    while (level1 > level2) {
        run1 = run1->Parent;
        --level1;
    }
    while (level2 > level1) {
        run2 = run2->Parent;
        --level2;
    }
    if (run1 == run2)
        return node1 == run1 ? -1 : 1;   // one is an ancestor of the other
    while (run1->Parent != run2->Parent) {
        run1 = run1->Parent;
        run2 = run2->Parent;
    }
    return static_cast<int>(run1->Index) - static_cast<int>(run2->Index);
}

unsigned TBaseVirtualTree::NodeLevel(PVirtualNode node) const
{
    if (!node || node == root_)
        return 0;
    unsigned level = 0;
    for (PVirtualNode run = node->Parent; run != root_; run = run->Parent)
        ++level;
    return level;
}

int TBaseVirtualTree::CountLevelDifference(PVirtualNode node1, PVirtualNode node2) const
{
    BX_ASSERT(node1 && node2, "Both nodes must be Assigned.");
    return static_cast<int>(NodeLevel(node2)) - static_cast<int>(NodeLevel(node1));
}

bool TBaseVirtualTree::ContainsNode(PVirtualNode node) const
{
    if (!node)
        return false;
    PVirtualNode run = node;
    // Bounded walk: a node of another tree ends at that tree's root.
    while (run != root_) {
        if (run->NextSibling == run)   // some other tree's root
            return false;
        run = run->Parent;
        if (!run)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Hidden-children flag

void TBaseVirtualTree::UpdateHiddenChildrenFlag(PVirtualNode node)
{
    if (!node || node == root_)
        return;
    bool hidden;
    if (node->ChildCount == 0) {
        hidden = !(node->States & vsHasChildren);
    } else {
        hidden = true;
        for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
            if (child->States & vsVisible) {
                hidden = false;
                break;
            }
    }
    if (hidden)
        node->States |= vsAllChildrenHidden;
    else
        node->States &= ~vsAllChildrenHidden;
}

void TBaseVirtualTree::UpdateAllHiddenChildrenFlags()
{
    for (PVirtualNode run = root_->FirstChild; run; run = GetNextNoInit(run))
        if ((run->States & vsInitialized) || run->ChildCount > 0)
            UpdateHiddenChildrenFlag(run);
}

// ---------------------------------------------------------------------------
// Linking and unlinking

void TBaseVirtualTree::InternalConnectNode(PVirtualNode node, PVirtualNode destination, TVTNodeAttachMode mode)
{
    if (mode == amNoWhere)
        return;
    // Refused before anything is linked when the rows can't take it.
    PVirtualNode parent = mode == amInsertBefore || mode == amInsertAfter ? destination->Parent : destination;
    if ((parent->States & vsExpanded) && (node->States & vsVisible))
        CheckHeightRoom(parent, node->TotalHeight);
    auto insertBefore = [&](PVirtualNode before) {
        parent = before->Parent;
        node->NextSibling = before;
        node->PrevSibling = before->PrevSibling;
        node->Index = before->Index;
        if (before->PrevSibling)
            before->PrevSibling->NextSibling = node;
        else
            parent->FirstChild = node;
        before->PrevSibling = node;
        for (PVirtualNode run = before; run; run = run->NextSibling)
            ++run->Index;
    };
    auto insertAfter = [&](PVirtualNode after) {
        parent = after->Parent;
        node->PrevSibling = after;
        node->NextSibling = after->NextSibling;
        node->Index = after->Index + 1;
        if (after->NextSibling)
            after->NextSibling->PrevSibling = node;
        else
            parent->LastChild = node;
        after->NextSibling = node;
        for (PVirtualNode run = node->NextSibling; run; run = run->NextSibling)
            ++run->Index;
    };
    auto onlyChild = [&](PVirtualNode p) {
        parent = p;
        node->PrevSibling = node->NextSibling = nullptr;
        node->Index = 0;
        p->FirstChild = p->LastChild = node;
    };

    switch (mode) {
    case amInsertBefore:
        insertBefore(destination);
        break;
    case amInsertAfter:
        insertAfter(destination);
        break;
    case amAddChildFirst:
        if (destination->FirstChild)
            insertBefore(destination->FirstChild);
        else
            onlyChild(destination);
        break;
    case amAddChildLast:
        if (destination->LastChild)
            insertAfter(destination->LastChild);
        else
            onlyChild(destination);
        break;
    case amNoWhere:
        return;
    }
    node->Parent = parent;
    ++parent->ChildCount;
    parent->States |= vsHasChildren;
    AdjustTotalCount(parent, node->TotalCount, true);
    if ((parent->States & vsExpanded) && (node->States & vsVisible))
        AdjustTotalHeight(parent, node->TotalHeight, true);
    if (FullyVisible(node))
        visibleCount_ += CountVisibleChildren(node) + 1;
    node->States &= ~(vsChecking | vsCutOrCopy | vsDeleting | vsClearing);
    if (parent != root_) {
        if (node->States & vsVisible)
            parent->States &= ~vsAllChildrenHidden;
        else if (parent->ChildCount == 1)
            parent->States |= vsAllChildrenHidden;
    }
}

void TBaseVirtualTree::InternalDisconnectNode(PVirtualNode node, bool keepFocus, bool reindex)
{
    BX_ASSERT(node && node != root_, "Node must neither be nil nor the root node.");
    if (node == focusedNode_ && !keepFocus) {
        DoFocusNode(nullptr, false);
        DoFocusChanged(focusedNode_, focusedColumn_);
    }
    if (node == rangeAnchor_)
        ResetRangeAnchor();
    if (node == rangeAnchor_)   // it was the focused node as well
        rangeAnchor_ = nullptr;

    PVirtualNode parent = node->Parent;
    if (!(node->States & vsDeleting)) {
        const bool wasFullyVisible = FullyVisible(node);
        const unsigned shown = wasFullyVisible ? CountVisibleChildren(node) + 1 : 0;
        const bool parentExpanded = (parent->States & vsExpanded) != 0;
        --parent->ChildCount;
        AdjustTotalCount(parent, -static_cast<int64_t>(node->TotalCount), true);
        if (parentExpanded && (node->States & vsVisible))
            AdjustTotalHeight(parent, -static_cast<int64_t>(node->TotalHeight), true);
        if (parent->ChildCount == 0) {
            parent->States &= ~(vsAllChildrenHidden | vsHasChildren);
            if (parent != root_)
                parent->States &= ~vsExpanded;
        }
        visibleCount_ -= shown;
    }

    if (node->PrevSibling)
        node->PrevSibling->NextSibling = node->NextSibling;
    else
        parent->FirstChild = node->NextSibling;
    if (node->NextSibling) {
        node->NextSibling->PrevSibling = node->PrevSibling;
        if (reindex) {
            uint32_t index = node->Index;
            for (PVirtualNode run = node->NextSibling; run; run = run->NextSibling)
                run->Index = index++;
        }
    } else {
        parent->LastChild = node->PrevSibling;
    }
    node->PrevSibling = node->NextSibling = nullptr;

    if (parent != root_ && !(parent->States & vsClearing)) {
        if (updateCount_ == 0)
            UpdateHiddenChildrenFlag(parent);
        else
            states_ |= tsUpdateHiddenChildrenNeeded;
    }
}

// ---------------------------------------------------------------------------
// Child counts

void TBaseVirtualTree::SetChildCount(PVirtualNode node, unsigned newChildCount)
{
    if (options_->MiscOptions() & toReadOnly)
        return;
    if (!node)
        node = root_;
    // The children of a node on its way out go with it; it takes no more.
    if (node->States & vsDeleting)
        return;
    if (newChildCount == 0) {
        DeleteChildNodes(node, false);
        return;
    }
    if (newChildCount == node->ChildCount)
        return;

    if (newChildCount > node->ChildCount && (node->States & vsExpanded))
        CheckHeightRoom(node, int64_t{newChildCount - node->ChildCount} * defaultNodeHeight_);
    InterruptValidation();
    if (newChildCount > node->ChildCount) {
        uint32_t index = 0;
        if (node->LastChild)
            index = node->LastChild->Index + 1;
        else
            node->States |= vsHasChildren;
        node->States &= ~(vsAllChildrenHidden | vsHeightMeasured);
        const unsigned added = newChildCount - node->ChildCount;
        PVirtualNode oldLast = node->LastChild;
        int64_t newHeight = 0;
        for (unsigned i = 0; i < added; ++i) {
            PVirtualNode child = MakeNewNode();
            child->Index = index++;
            child->PrevSibling = node->LastChild;
            if (node->LastChild)
                node->LastChild->NextSibling = child;
            child->Parent = node;
            node->LastChild = child;
            if (!node->FirstChild)
                node->FirstChild = child;
            newHeight += child->NodeHeight;
            // Keep the counts right should the next allocation fail.
            ++node->ChildCount;
            AdjustTotalCount(node, 1, true);
        }
        if (node->States & vsExpanded) {
            AdjustTotalHeight(node, newHeight, true);
            if (FullyVisible(node))
                visibleCount_ += added;
        }
        if (updateCount_ == 0 && (options_->AutoOptions() & toAutoSort) && header_->SortColumn() > InvalidColumn)
            SortChildren(node, header_->SortColumn(), header_->SortDirection(), true);
        // Rows before the new ones keep their places.
        InvalidateCacheFrom(oldLast ? oldLast->NextSibling : node->FirstChild);
    } else {
        // Each deletion keeps its events; the cache and the scroll bars are
        // brought up to date once, below. A handler may delete the node.
        TNodeWatch watch(*this, node);
        ++batchedDeletes_;
        try {
            while (watch.Alive() && node->ChildCount > newChildCount && node->LastChild) {
                // A child that stays (on its way out with its parent, or a
                // handler made the tree read-only) ends the trimming.
                TNodeWatch child(*this, node->LastChild);
                DeleteNode(node->LastChild);
                if (child.Alive())
                    break;
            }
        } catch (...) {
            --batchedDeletes_;
            throw;
        }
        --batchedDeletes_;
        if (!watch.Alive())
            node = nullptr;   // its own deletion was reported
        if (updateCount_ == 0)
            CompactSelection();
    }
    if (updateCount_ == 0) {
        ValidateCache();
        UpdateScrollBars(true);
        Invalidate();
    }
    if (node)
        StructureChanged(node == root_ ? nullptr : node, crChildAdded);
}

void TBaseVirtualTree::SetRootNodeCount(unsigned value)
{
    if (IsLoading()) {
        pendingRootCount_ = value;
        DoStateChange(tsNeedRootCountUpdate);
        return;
    }
    if (value == root_->ChildCount)
        return;
    BeginUpdate();
    try {
        InterruptValidation();
        SetChildCount(root_, value);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TBaseVirtualTree::SetNodeDataSize(int value)
{
    if (value < -1)
        value = -1;
    if (value == nodeDataSize_)
        return;
    if (IsLoading()) {
        nodeDataSize_ = value;
        return;
    }
    const unsigned count = root_->ChildCount;
    ClearNodes();
    nodeDataSize_ = value;
    SetRootNodeCount(count);
}

// ---------------------------------------------------------------------------
// Node heights

void TBaseVirtualTree::SetNodeHeight(PVirtualNode node, unsigned height)
{
    if (!node || node == root_ || (node->States & vsDeleting) || (options_->MiscOptions() & toReadOnly))
        return;
    height = std::min(height, 0xFFFFu);
    // Taller than the rows can add up to: as tall as they still can.
    if (height > node->NodeHeight)
        height = static_cast<unsigned>(
            std::min<int64_t>(height, node->NodeHeight + std::max<int64_t>(HeightRoom(node), 0)));
    if (node->NodeHeight == height)
        return;
    const int64_t diff = static_cast<int64_t>(height) - node->NodeHeight;
    InterruptValidation();
    node->NodeHeight = static_cast<uint16_t>(height);
    AdjustTotalHeight(node, diff, true);
    if (editLink_ && editNode_ == node)
        UpdateEditBounds();
    // Even during a validation: the worker's positions are stale now.
    if (FullyVisible(node)) {
        InvalidateCacheBelow(node);
        if (updateCount_ == 0) {
            ValidateCache();
            InvalidateToBottom(node);
            UpdateScrollBars(true);
        }
    }
}

void TBaseVirtualTree::MeasureNodeHeight(TCanvas* canvas, PVirtualNode node)
{
    if (!node || node == root_ || (node->States & vsHeightMeasured))
        return;
    node->States |= vsHeightMeasured;
    int height = node->NodeHeight;
    DoMeasureItem(canvas ? *canvas : Canvas(), node, height);
    if (height >= 0 && static_cast<unsigned>(height) != node->NodeHeight)
        SetNodeHeight(node, static_cast<unsigned>(height));
}

void TBaseVirtualTree::SetDefaultNodeHeight(unsigned value)
{
    if (value == 0)
        value = 18;
    // Row heights are 16 bits, as SetNodeHeight keeps them.
    value = std::min(value, 0xFFFFu);
    if (value == defaultNodeHeight_)
        return;
    const int64_t diff = static_cast<int64_t>(value) - defaultNodeHeight_;
    defaultNodeHeight_ = value;
    root_->NodeHeight = static_cast<uint16_t>(root_->NodeHeight + diff);
    root_->TotalHeight = static_cast<uint32_t>(root_->TotalHeight + diff);
    InvalidateCache();
    if (HandleAllocated() && updateCount_ == 0) {
        ValidateCache();
        UpdateScrollBars(true);
        if (focusedNode_)
            ScrollIntoView(focusedNode_, (options_->SelectionOptions() & toCenterScrollIntoView) != 0);
        Invalidate();
    }
}

// ---------------------------------------------------------------------------
// Initialization

void TBaseVirtualTree::InitNode(PVirtualNode node)
{
    if (!node || node == root_)
        return;
    node->States |= vsInitialized;
    TVirtualNodeInitStates initStates = 0;
    DoInitNode(node->Parent == root_ ? nullptr : node->Parent, node, initStates);
    if (initStates & ivsDisabled)
        node->States |= vsDisabled;
    if (initStates & ivsHasChildren)
        node->States |= vsHasChildren;
    if (initStates & ivsMultiline)
        node->States |= vsMultiline;
    if (node->ChildCount == 0)
        UpdateHiddenChildrenFlag(node);
    if (initStates & ivsSelected)
        InternalAddToSelection(node, false);
    if (initStates & ivsExpanded) {
        if (!(node->States & vsExpanded))
            ToggleExpanded(node);
    } else if ((node->States & vsExpanded) && (node->States & vsHasChildren) && node->ChildCount == 0) {
        InitChildren(node);
    }
}

void TBaseVirtualTree::InitChildren(PVirtualNode node)
{
    if (!node)
        node = root_;
    if (!(node->States & vsHasChildren))
        return;
    unsigned count = node->ChildCount;
    if (!DoInitChildren(node, count))
        return;
    SetChildCount(node, count);
    if (count == 0) {
        node->States &= ~vsHasChildren;
        UpdateHiddenChildrenFlag(node);
    }
}

void TBaseVirtualTree::ValidateNode(PVirtualNode node, bool recursive)
{
    if (!node)
        node = root_;
    if (node != root_ && !(node->States & vsInitialized))
        InitNode(node);
    if (recursive)
        ValidateChildNodes(node, true);
}

void TBaseVirtualTree::ValidateChildNodes(PVirtualNode node, bool recursive)
{
    if (!node)
        node = root_;
    if ((node->States & vsHasChildren) && node->ChildCount == 0)
        InitChildren(node);
    for (PVirtualNode child = node->FirstChild; child;) {
        PVirtualNode next = child->NextSibling;
        ValidateNode(child, recursive);
        child = next;
    }
}

// ---------------------------------------------------------------------------
// Check states

bool TBaseVirtualTree::SetCheckState(PVirtualNode node, TCheckState value)
{
    return InternalSetCheckState(node, value, true);
}

bool TBaseVirtualTree::InternalSetCheckState(PVirtualNode node, TCheckState value, bool propagateDown)
{
    if (!node || node == root_ || (node->States & vsChecking))
        return false;
    node->States |= vsChecking;
    if (!(node->States & vsInitialized))
        InitNode(node);
    if (checkNesting_++ == 0)
        DoStateChange(tsChangingCheckStates);

    const bool tracking = (options_->AutoOptions() & toAutoTristateTracking) != 0;
    PVirtualNode parent = node->Parent;

    if (node->CheckType == ctRadioButton && (value == csCheckedNormal || value == csCheckedPressed)) {
        for (PVirtualNode run = parent->FirstChild; run; run = run->NextSibling)
            if (run != node && run->CheckType == ctRadioButton && run->CheckState != csUncheckedNormal) {
                run->CheckState = csUncheckedNormal;
                InvalidateNode(run);
            }
        Invalidate();
    }

    TCheckState result = value;
    if (propagateDown && node->CheckType == ctTriStateCheckBox && tracking && node->ChildCount > 0 &&
        (value == csUncheckedNormal || value == csCheckedNormal)) {
        unsigned ticked = 0, unticked = 0, mixed = 0;
        for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
            if (child->CheckType != ctTriStateCheckBox && child->CheckType != ctCheckBox)
                continue;
            if (child->CheckState != value && !(child->States & vsDisabled))
                InternalSetCheckState(child, value, true);
            switch (child->CheckState) {
            case csCheckedNormal:
            case csCheckedPressed:
                ++ticked;
                break;
            case csMixedNormal:
            case csMixedPressed:
                ++mixed;
                break;
            default:
                ++unticked;
            }
        }
        if (mixed > 0 || (ticked > 0 && unticked > 0))
            result = csMixedNormal;
        else if (ticked > 0)
            result = csCheckedNormal;
        else if (unticked > 0)
            result = csUncheckedNormal;
    }
    node->CheckState = result;

    if (parent != root_ && !(parent->States & vsInitialized))
        InitNode(parent);
    if (tracking && parent != root_ && !(parent->States & (vsChecking | vsDisabled)) &&
        (node->CheckType == ctTriStateCheckBox || node->CheckType == ctCheckBox) &&
        parent->CheckType == ctTriStateCheckBox) {
        TCheckState parentState = static_cast<TCheckState>(parent->CheckState);
        CheckStateFromChildren(parent, parentState);
        if (parentState != parent->CheckState)
            InternalSetCheckState(parent, parentState, false);
    }

    InvalidateNode(node);
    node->States &= ~vsChecking;
    if (--checkNesting_ == 0)
        DoStateChange(0, tsChangingCheckStates);
    return true;
}

void TBaseVirtualTree::CheckStateFromChildren(PVirtualNode node, TCheckState& state)
{
    unsigned ticked = 0, unticked = 0, mixed = 0;
    for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
        if (child->CheckType != ctTriStateCheckBox && child->CheckType != ctCheckBox)
            continue;
        switch (child->CheckState) {
        case csCheckedNormal:
        case csCheckedPressed:
            ++ticked;
            break;
        case csMixedNormal:
        case csMixedPressed:
            ++mixed;
            break;
        default:
            ++unticked;
        }
    }
    if (mixed > 0 || (ticked > 0 && unticked > 0))
        state = csMixedNormal;
    else if (ticked > 0)
        state = csCheckedNormal;
    else if (unticked > 0)
        state = csUncheckedNormal;
}

TCheckState TBaseVirtualTree::CheckState(PVirtualNode node) const
{
    return node ? static_cast<TCheckState>(node->CheckState) : csUncheckedNormal;
}

void TBaseVirtualTree::SetCheckStateOf(PVirtualNode node, TCheckState state)
{
    if (!node || node == root_ || node->CheckState == state || (node->States & vsDisabled))
        return;
    if (DoChecking(node, state))
        DoCheckClick(node, state);
}

TCheckType TBaseVirtualTree::CheckType(PVirtualNode node) const
{
    return node ? static_cast<TCheckType>(node->CheckType) : ctNone;
}

void TBaseVirtualTree::SetCheckType(PVirtualNode node, TCheckType type)
{
    if (!node || node == root_ || node->CheckType == type)
        return;
    node->CheckType = type;
    node->CheckState = csUncheckedNormal;
    // A tri-state box starts from its children.
    if (type == ctTriStateCheckBox && (options_->AutoOptions() & toAutoTristateTracking) && node->ChildCount > 0) {
        TCheckState state = csUncheckedNormal;
        CheckStateFromChildren(node, state);
        node->CheckState = state;
    }
    InvalidateNode(node);
}

void TBaseVirtualTree::SetPendingCheck(PVirtualNode node, TCheckState state)
{
    pendingCheckNode_ = node;
    pendingCheckState_ = state;
}

// ---------------------------------------------------------------------------
// Line images and alignment

int TBaseVirtualTree::DetermineLineImages(PVirtualNode node, TLineImage& lineImage)
{
    const TVTPaintOptions paint = options_->PaintOptions();
    const bool showRoot = (paint & toShowRoot) != 0;
    const unsigned level = NodeLevel(node);
    const unsigned count = level + (showRoot ? 1 : 0);
    lineImage.assign(count, ltNone);
    int selected = 0;
    for (PVirtualNode run = node->Parent; run != root_; run = run->Parent)
        if (run->States & vsSelected)
            ++selected;
    if (count == 0 || !(paint & toShowTreeLines))
        return selected;

    auto prevVisible = [](PVirtualNode n) {
        for (PVirtualNode run = n->PrevSibling; run; run = run->PrevSibling)
            if (run->States & vsVisible)
                return true;
        return false;
    };
    int index = static_cast<int>(count) - 1;
    if (node->Parent == root_) {
        // A top-level node with the root lines shown.
        const bool before = prevVisible(node);
        const bool after = HasVisibleNextSibling(node);
        if (!before && after)
            lineImage[index] = ltBottomRight;
        else if (!before && !after)
            lineImage[index] = ltRight;
        else if (after)
            lineImage[index] = ltTopDownRight;
        else
            lineImage[index] = ltTopRight;
    } else {
        lineImage[index] = HasVisibleNextSibling(node) ? ltTopDownRight : ltTopRight;
    }
    // Ancestors: a line through where a later sibling follows.
    PVirtualNode run = node->Parent;
    for (--index; index >= 0 && run != root_; --index, run = run->Parent)
        lineImage[index] = HasVisibleNextSibling(run) ? ltTopDown : ltNone;
    return selected;
}

int TBaseVirtualTree::NodeAlignmentCenter(PVirtualNode node, int rowHeight, int imageHeight) const
{
    switch (nodeAlignment_) {
    case naFromBottom:
        return rowHeight - node->Align;
    case naFromTop:
        return node->Align;
    case naProportional:
    default:
        if (imageHeight > 0)
            return MulDiv(rowHeight - imageHeight, node->Align, 100) + imageHeight / 2;
        return MulDiv(rowHeight, node->Align, 100);
    }
}

int TBaseVirtualTree::CompactNodeArray(std::vector<PVirtualNode>& nodes, int count)
{
    if (nodes.empty())
        return -1;
    count = std::min<int>(count, static_cast<int>(nodes.size()));
    int out = 0;
    for (int i = 0; i < count; ++i)
        if ((reinterpret_cast<uintptr_t>(nodes[static_cast<size_t>(i)]) & 1) == 0)
            nodes[static_cast<size_t>(out++)] = nodes[static_cast<size_t>(i)];
    return out;
}

void TBaseVirtualTree::SetUpdateState(bool updating)
{
    if (HandleAllocated() && Visible())
        SendMessageW(Handle(), WM_SETREDRAW, updating ? FALSE : TRUE, 0);
}

// ---------------------------------------------------------------------------
// Position cache and the worker

// InterruptValidation lives with the worker (VTWorker.cpp).

namespace {

// Rows the window thread walks itself to complete a cache whose leading
// entries survived a change (a few hundred microseconds at most); a longer
// rest is left to the worker.
constexpr unsigned kCacheCompletionBudget = 3 * CacheThreshold;

}   // namespace

void TBaseVirtualTree::InvalidateCache()
{
    KeepCacheEntries(0);
}

void TBaseVirtualTree::InvalidateCacheFrom(PVirtualNode node)
{
    KeepCacheEntries(CacheEntriesBefore(node, false));
}

void TBaseVirtualTree::InvalidateCacheBelow(PVirtualNode node)
{
    KeepCacheEntries(CacheEntriesBefore(node, true));
}

void TBaseVirtualTree::KeepCacheEntries(unsigned count)
{
    positionCacheKept_ = std::min(positionCacheKept_, count);
    DoStateChange(tsValidationNeeded, tsUseCache);
}

unsigned TBaseVirtualTree::CacheEntriesBefore(PVirtualNode node, bool includingNode)
{
    if (!node || node == root_ || positionCacheKept_ == 0)
        return 0;
    // The entries are the worker's until it has left the tree (changes stop
    // it before they begin, so this is the rare case).
    if (WorkerIsQueued(this) || WorkerIsValidating(this))
        InterruptValidation();
    // Regular entries the changes so far left: they hold live nodes in tree order.
    unsigned count = positionCacheValid_ - (positionCacheEnded_ && positionCacheValid_ > 0 ? 1 : 0);
    count = std::min({count, positionCacheKept_, static_cast<unsigned>(positionCache_.size())});
    auto before = [&](unsigned i) {
        const int order = CompareNodePositions(positionCache_[i].Node, node);
        return order < 0 || (includingNode && order == 0);
    };
    // Mostly the change is below the last entry.
    if (count == 0 || before(count - 1))
        return count;
    unsigned low = 0, high = count - 1;   // before(high) is false
    while (low < high) {
        const unsigned middle = (low + high) / 2;
        if (before(middle))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

void TBaseVirtualTree::ValidateCache()
{
    InterruptValidation();
    DoStateChange(tsValidationNeeded, tsUseCache);
    // What the changes since the last validation left: the leading regular
    // entries (never the end marker, the rows may have grown below it).
    const unsigned regular = positionCacheValid_ - (positionCacheEnded_ && positionCacheValid_ > 0 ? 1 : 0);
    positionCacheValid_ = std::min(regular, positionCacheKept_);
    positionCacheEnded_ = false;
    positionCacheKept_ = ~0u;
    if (!HandleAllocated() || !workerRegistered_ || IsDestroying() || visibleCount_ <= CacheThreshold) {
        if (visibleCount_ <= CacheThreshold)
            positionCacheValid_ = 0;
        return;
    }
    if (positionCacheValid_ > 0 && WalkPositionCache(kCacheCompletionBudget, false)) {
        // Completed here: what the worker's notices would have done.
        stopValidation_ = false;
        DoStateChange(tsUseCache, tsStopValidation | tsValidationNeeded);
        return;
    }
    // The worker's AddTree lifts the stop request.
    WorkerAddTree(this);
}

// DoValidateCache and the lookups in the cache are with the walks (VTNavigation.cpp).

void TBaseVirtualTree::ChangeStateFromWorker(unsigned enterFlags, unsigned leaveFlags)
{
    DoStateChange(WorkerFlagsToStates(enterFlags), WorkerFlagsToStates(leaveFlags));
    if (enterFlags & wsStopValidation)
        stopValidation_.store(true);
    if (leaveFlags & wsStopValidation)
        stopValidation_.store(false);
}
