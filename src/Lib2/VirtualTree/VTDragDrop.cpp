// OLE drag and drop: starting a drag from the tree, the drop-target side the
// drag manager forwards to (drop target and mode, drop mark, auto-expand,
// auto-scroll), the drop-target registration of the window, and the
// clipboard messages. The clipboard operations are in VTClipboard.cpp.
#include <windows.h>
#include <ole2.h>

#include <algorithm>

#include "Lib2/VirtualTree/VTDataObject.h"
#include "Lib2/VirtualTree/VTDragImage.h"
#include "Lib2/VirtualTree/VTDragManager.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "Lib2/VirtualTree/VTUtils.h"
#include "platform/Firewall.h"

namespace {

TShiftState ShiftFromKeys(DWORD keyState)
{
    TShiftState shift = 0;
    if (keyState & MK_SHIFT)
        shift |= ssShift;
    if (keyState & MK_CONTROL)
        shift |= ssCtrl;
    if (keyState & MK_ALT)
        shift |= ssAlt;
    if (keyState & MK_LBUTTON)
        shift |= ssLeft;
    if (keyState & MK_RBUTTON)
        shift |= ssRight;
    if (keyState & MK_MBUTTON)
        shift |= ssMiddle;
    return shift;
}

enum TDragScrollDirection : unsigned { dsdLeft = 1, dsdUp = 2, dsdRight = 4, dsdDown = 8 };

} // namespace

// ---------------------------------------------------------------------------
// Messages and registration

bool TBaseVirtualTree::DragDropMessage(TMessage& message)
{
    switch (message.Msg) {
    case WM_COPY:
        CopyNodesToClipboard();
        break;
    case WM_CUT:
        CutNodesToClipboard();
        break;
    case WM_PASTE:
        PasteNodesFromClipboard();
        break;
    default:
        return false;
    }
    message.Result = 0;
    return true;
}

void TBaseVirtualTree::SetDropTargetRegistered(bool value)
{
    if (!HandleAllocated() || value == dropTargetRegistered_)
        return;
    if (!value) {
        RevokeDragDrop(Handle());
        dropTargetRegistered_ = false;
        return;
    }
    IDropTarget* target = nullptr;
    if (IVTDragManager* manager = DragManager())
        manager->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target));
    if (!target)
        return;
    // OLE keeps its own reference until the registration is revoked.
    dropTargetRegistered_ = SUCCEEDED(RegisterDragDrop(Handle(), target));
    target->Release();
}

// ---------------------------------------------------------------------------
// Starting a drag

void TBaseVirtualTree::BeginDrag(bool immediate, int threshold)
{
    // The component drag needs a drag-object framework the windowing layer
    // does not have: nothing starts for dtVCL.
    if (dragType_ != dtOLE || (states_ & (tsOLEDragPending | tsOLEDragging)))
        return;
    SetDragThreshold(threshold);
    if (immediate)
        DoDragging(lastClickPos_);
    else
        DoStateChange(tsOLEDragPending);
}

bool TBaseVirtualTree::IsDragging() const
{
    return (states_ & (tsOLEDragPending | tsOLEDragging | tsVCLDragPending | tsVCLDragging)) != 0;
}

HRESULT TBaseVirtualTree::RunOLEDragLoop(DWORD allowedEffects, IDataObject* dataObject, DWORD& effect)
{
    IDropSource* dropSource = nullptr;
    if (IVTDragManager* manager = DragManager())
        manager->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&dropSource));
    if (!dropSource)
        return E_FAIL;
    effect = DROPEFFECT_NONE;
    const HRESULT result = ::DoDragDrop(dataObject, dropSource, allowedEffects, &effect);
    dropSource->Release();
    return result;
}

void TBaseVirtualTree::DoDragging(POINT p)
{
    if (states_ & tsOLEDragging)
        return;
    if (IsEditing())
        CancelEditNode();
    // The clicked node is dragged even when the click did not select it.
    THitInfo hit;
    HitTestAt(p.x, p.y, hit, true);
    PVirtualNode clicked = hit.HitNode ? hit.HitNode : focusedNode_;
    if (clicked && !(clicked->States & vsSelected)) {
        if (!(options_->SelectionOptions() & toMultiSelect))
            ClearSelection();
        AddToSelection(clicked);
    }
    if (SelectedCount() == 0) {
        DoStateChange(0, tsOLEDragPending);
        return;
    }

    dragSelection_ = SortedSelection(true);
    droppedOnSelf_ = false;
    DoStateChange(tsOLEDragging, tsOLEDragPending | tsClearPending);
    auto endDrag = [this] {
        dragSelection_.clear();
        if (dragImage_)
            dragImage_->EndDrag();
        if (states_ & tsOLEDragging)
            DoStateChange(0, tsOLEDragging);
    };
    TVTOnExit leave{endDrag};

    IDataObject* dataObject = DragManager() ? dragManager_->GetDataObject() : nullptr;
    if (!dataObject)
        return;
    TVTOnExit release{[dataObject] { dataObject->Release(); }};
    lastDropMode_ = dmOnNode;
    if (dragImageKind_ != diNoImage)
        PrepareDragImage(p, dataObject);
    const DWORD allowed = (dragOperations_ & (doCopy | doMove | doLink)) ? (dragOperations_ & 7) : 7;
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT result = RunOLEDragLoop(allowed, dataObject, effect);
    if (dragManager_)
        dragManager_->ForceDragLeave();

    // A move to elsewhere leaves copies there: the originals go. Nodes a drop
    // on this tree moved stay where they went, and nodes that went meanwhile
    // have left the list already.
    if (result == DRAGDROP_S_DROP && effect == DROPEFFECT_MOVE && !droppedOnSelf_ &&
        (options_->AutoOptions() & toAutoDeleteMovedNodes) && !dragSelection_.empty()) {
        TNodeArray nodes;
        nodes.swap(dragSelection_);
        BeginUpdate();
        TVTOnExit endUpdate{[this] { EndUpdate(); }};
        for (size_t i = nodes.size(); i-- > 0;)
            DeleteNode(nodes[i], true);
    }
    endDrag();
    DragFinished();
}

void TBaseVirtualTree::DragFinished()
{
    DoStateChange(0, tsOLEDragPending | tsVCLDragPending | tsVCLDragging | tsUserDragObject | tsVCLDragFinished);
    if (!HandleAllocated())
        return;
    // The drag loop swallowed the button release: the tree gets it now.
    POINT p;
    GetCursorPos(&p);
    p = ScreenToClient(p);
    UINT message = WM_LBUTTONUP;
    if (states_ & tsRightButtonDown)
        message = WM_RBUTTONUP;
    else if (states_ & tsMiddleButtonDown)
        message = WM_MBUTTONUP;
    SendMessageW(Handle(), message, 0, MAKELPARAM(static_cast<short>(p.x), static_cast<short>(p.y)));
}

void TBaseVirtualTree::ForgetDraggedNode(PVirtualNode node)
{
    auto it = std::find(dragSelection_.begin(), dragSelection_.end(), node);
    if (it != dragSelection_.end())
        dragSelection_.erase(it);
}

// ---------------------------------------------------------------------------
// Drop target

PVirtualNode TBaseVirtualTree::DropTargetAt(POINT client, TDropMode& mode, bool reportMode)
{
    THitInfo hit;
    HitTestAt(client.x, client.y, hit, true);
    PVirtualNode node = hit.HitNode;
    if (!node) {
        mode = dmNowhere;
        return nullptr;
    }
    bool onNode = (hit.HitPositions & hpOnItem) &&
                  (hit.HitPositions & (hpOnLabel | hpOnNormalImage | hpOnStateImage)) != 0;
    // In report mode only the main column's label and images stand for the node.
    if (onNode && reportMode && header_->UseColumns() && hit.HitColumn != header_->MainColumn())
        onNode = false;
    if (onNode || !(options_->PaintOptions() & toShowDropmark)) {
        mode = dmOnNode;
        return node;
    }
    const RECT row = NodeDisplayRect(node, NoColumn, false);
    mode = client.y < (row.top + row.bottom) / 2 ? dmAbove : dmBelow;
    return node;
}

void TBaseVirtualTree::RepaintDropRow(PVirtualNode node)
{
    if (!node || node == root_ || !HandleAllocated())
        return;
    RECT r = NodeDisplayRect(node, NoColumn, false);
    // The marks above and below reach a little into the neighbours.
    InflateRect(&r, 0, 2);
    UpdateWindowAndDragImage(r, false, true);
}

void TBaseVirtualTree::StartDropExpandTimer(PVirtualNode node)
{
    if (node && (options_->AutoOptions() & toAutoDropExpand) && (node->States & vsHasChildren) &&
        !(node->States & vsExpanded))
        StartTimer(ExpandTimer, autoExpandDelay_);
}

void TBaseVirtualTree::ShowSourceDragImage(TObject* source, bool show)
{
    auto* tree = dynamic_cast<TBaseVirtualTree*>(source);
    if (!tree || !VTIsLiveTree(tree) || !tree->dragImage_)
        return;
    if (dragManager_ && dragManager_->GetDropTargetHelperSupported())
        return;
    if (show)
        tree->dragImage_->ShowDragImage();
    else
        tree->dragImage_->HideDragImage();
}

bool TBaseVirtualTree::DragScroll(POINT client)
{
    if (!HandleAllocated())
        return false;
    const RECT r = ClientRect();
    const int edge = std::max(8, static_cast<int>(defaultNodeHeight_));
    unsigned directions = 0;
    if (client.x < edge && offsetX_ < 0)
        directions |= dsdLeft;
    if (client.x >= r.right - edge && r.right - offsetX_ < rangeX_)
        directions |= dsdRight;
    if (client.y < edge && offsetY_ < 0)
        directions |= dsdUp;
    if (client.y >= r.bottom - edge && r.bottom - offsetY_ < RangeY())
        directions |= dsdDown;
    scrollDirections_ = directions;
    if (!directions)
        return false;
    const int dx = scrollBarOptions_->HorizontalIncrement();
    const int dy = scrollBarOptions_->VerticalIncrement();
    POINT offset{offsetX_, offsetY_};
    if (directions & dsdLeft)
        offset.x = std::min<LONG>(0, offset.x + dx);
    if (directions & dsdRight)
        offset.x -= dx;
    if (directions & dsdUp)
        offset.y = std::min<LONG>(0, offset.y + dy);
    if (directions & dsdDown)
        offset.y = std::max<LONG>(offset.y - dy, r.bottom - RangeY());
    // The picture over the window would scroll with the content.
    TBaseVirtualTree* source = dragManager_ ? dragManager_->GetDragSource() : nullptr;
    const bool imageShown = source && source->dragImage_ && source->dragImage_->Visible();
    if (imageShown)
        source->dragImage_->HideDragImage();
    const bool scrolled = DoSetOffsetXY(offset, DefaultScrollUpdateFlags);
    if (scrolled)
        UpdateWindow(Handle());
    if (imageShown)
        source->dragImage_->ShowDragImage();
    return scrolled;
}

HRESULT TBaseVirtualTree::DragEnter(DWORD keyState, POINT pt, DWORD& effect)
{
    TBaseVirtualTree* source = dragManager_ ? dragManager_->GetDragSource() : nullptr;
    scrollDirections_ = 0;
    const TShiftState shift = ShiftFromKeys(keyState);
    const POINT client = ScreenToClient(pt);
    effect = SuggestDropEffect(source, shift, client, effect);
    TDropMode mode = dmNowhere;
    PVirtualNode node = DropTargetAt(client, mode, false);
    if (!DoDragOver(source, shift, dsDragEnter, client, mode, effect)) {
        effect = DROPEFFECT_NONE;
    } else {
        dropTargetNode_ = node;
        lastDropMode_ = mode;
        RepaintDropRow(node);
        // A node the drag comes in on expands as well as one it moves to.
        StartDropExpandTimer(node);
    }
    ShowSourceDragImage(source, true);
    return S_OK;
}

HRESULT TBaseVirtualTree::DragOver(TObject* source, DWORD keyState, TDragState state, POINT pt, DWORD& effect)
{
    auto* sourceTree = dynamic_cast<TBaseVirtualTree*>(source);
    const bool ownImage = sourceTree && VTIsLiveTree(sourceTree) && sourceTree->dragImage_ &&
                          !(dragManager_ && dragManager_->GetDropTargetHelperSupported());
    if (ownImage)
        sourceTree->dragImage_->DragTo(pt, false);

    POINT client = ScreenToClient(pt);
    const bool scrolled = DragScroll(client);

    // The mouse buttons as the tree saw them go down, besides the keys.
    TShiftState shift = ShiftFromKeys(keyState);
    if (states_ & tsLeftButtonDown)
        shift |= ssLeft;
    if (states_ & tsMiddleButtonDown)
        shift |= ssMiddle;
    if (states_ & tsRightButtonDown)
        shift |= ssRight;

    TDropMode mode = dmNowhere;
    PVirtualNode node = DropTargetAt(client, mode, (options_->MiscOptions() & toReportMode) != 0);
    if (node == dropTargetNode_ && mode == lastDropMode_) {
        if (scrolled && ownImage)
            sourceTree->dragImage_->DragTo(pt, true);
    } else if (node == dropTargetNode_) {
        lastDropMode_ = mode;
        RepaintDropRow(node);
    } else {
        StopTimer(ExpandTimer);
        if (focusedColumn_ == NoColumn)
            focusedColumn_ = header_->MainColumn();
        PVirtualNode old = dropTargetNode_;
        dropTargetNode_ = node;
        lastDropMode_ = mode;
        RepaintDropRow(old);
        RepaintDropRow(node);
        StartDropExpandTimer(node);
    }

    effect = SuggestDropEffect(source, shift, client, effect);
    if (!DoDragOver(source, shift, state, client, mode, effect))
        effect = DROPEFFECT_NONE;
    return S_OK;
}

void TBaseVirtualTree::DragLeave()
{
    StopTimer(ExpandTimer);
    TBaseVirtualTree* source = dragManager_ ? dragManager_->GetDragSource() : nullptr;
    ShowSourceDragImage(source, false);
    scrollDirections_ = 0;
    PVirtualNode old = dropTargetNode_;
    dropTargetNode_ = nullptr;
    lastDropMode_ = dmNowhere;
    RepaintDropRow(old);
    DWORD effect = DROPEFFECT_NONE;
    DoDragOver(source, 0, dsDragLeave, POINT{0, 0}, dmNowhere, effect);
}

HRESULT TBaseVirtualTree::DragDrop(IDataObject* dataObject, DWORD keyState, POINT pt, DWORD& effect)
{
    StopTimer(ExpandTimer);
    StopTimer(ScrollTimer);
    DoStateChange(0, tsScrollPending | tsScrolling);
    scrollDirections_ = 0;
    TBaseVirtualTree* source = dragManager_ ? dragManager_->GetDragSource() : nullptr;
    HRESULT result = S_OK;
    TVTOnExit clearTarget{[this] {
        PVirtualNode old = dropTargetNode_;
        dropTargetNode_ = nullptr;
        lastDropMode_ = dmNowhere;
        RepaintDropRow(old);
    }};
    if (effect == DROPEFFECT_NONE)
        return E_FAIL;

    TShiftState shift = ShiftFromKeys(keyState);
    if (states_ & tsLeftButtonDown)
        shift |= ssLeft;
    if (states_ & tsMiddleButtonDown)
        shift |= ssMiddle;
    if (states_ & tsRightButtonDown)
        shift |= ssRight;
    std::vector<CLIPFORMAT> formats;
    if (dataObject) {
        IEnumFORMATETC* enumerator = nullptr;
        if (SUCCEEDED(dataObject->EnumFormatEtc(DATADIR_GET, &enumerator)) && enumerator) {
            FORMATETC format{};
            ULONG fetched = 0;
            while (enumerator->Next(1, &format, &fetched) == S_OK && fetched == 1) {
                formats.push_back(format.cfFormat);
                if (format.ptd)
                    CoTaskMemFree(format.ptd);
            }
            enumerator->Release();
        }
    }
    if (source == this)
        droppedOnSelf_ = true;
    DoDragDrop(source, dataObject, formats, shift, ScreenToClient(pt), effect, lastDropMode_);
    return result;
}
