// Event dispatch: every event of the tree goes through a virtual Do…
// dispatcher that sets the defaults, calls the handler when one is assigned
// and does the extra work some events need. Also the operations that decide
// when the change events fire (delayed by ChangeDelay, held while updating),
// the tree's state changes, the focus operation and the scroll operation.
#include <windows.h>

#include <algorithm>

#include "Lib2/VirtualTree/VTDragManager.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Menus.h"

namespace {

// The control's own hint text, where the window layer has one.
template <class C>
std::string ControlHint(const C& control)
{
    if constexpr (requires { control.Hint(); })
        return control.Hint();
    else
        return {};
}

// NotifyWinEvent is looked up by name: older systems lack it.
void NotifyAccessibility(HWND window, DWORD event)
{
    using TNotifyWinEvent = void(WINAPI*)(DWORD, HWND, LONG, LONG);
    static TNotifyWinEvent notify = [] {
        HMODULE user = GetModuleHandleW(L"user32.dll");
        return user ? reinterpret_cast<TNotifyWinEvent>(
                          reinterpret_cast<void*>(GetProcAddress(user, "NotifyWinEvent")))
                    : nullptr;
    }();
    if (notify && window)
        notify(event, window, OBJID_CLIENT, CHILDID_SELF);
}

}   // namespace

// ---------------------------------------------------------------------------
// States and change events

void TBaseVirtualTree::DoStateChange(TVirtualTreeStates enter, TVirtualTreeStates leave)
{
    // A tree being destroyed tells its owner nothing more (its owner may be
    // half gone): neither its states nor a change, focus, hot node, scroll,
    // update or a cancelled edit. Only the nodes it frees are still reported.
    if (OnStateChange && ((enter & ~states_) || (leave & states_)) && !IsDestroying())
        OnStateChange(this, enter, leave);
    states_ = (states_ | enter) & ~leave;
}

void TBaseVirtualTree::Change(PVirtualNode node)
{
    DoStateChange(tsChangePending);
    lastChangedNode_ = node == root_ ? nullptr : node;
    if (updateCount_ > 0)
        return;
    if (changeDelay_ > 0 && !(states_ & tsSynchMode) && HandleAllocated())
        StartTimer(ChangeTimer, changeDelay_);
    else
        DoChange(lastChangedNode_);
}

void TBaseVirtualTree::StructureChanged(PVirtualNode node, TChangeReason reason)
{
    DoStateChange(tsStructureChangePending);
    lastStructureChangeNode_ = node == root_ ? nullptr : node;
    if (lastStructureChangeReason_ == crIgnore)
        lastStructureChangeReason_ = reason;
    else if (reason != crIgnore && reason != lastStructureChangeReason_)
        lastStructureChangeReason_ = crAccumulated;
    if (updateCount_ > 0)
        return;
    if (changeDelay_ > 0 && !(states_ & tsSynchMode) && HandleAllocated())
        StartTimer(StructureChangeTimer, changeDelay_);
    else
        DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_);
}

void TBaseVirtualTree::DoChange(PVirtualNode node)
{
    StopTimer(ChangeTimer);
    if (OnChange && !IsDestroying())
        OnChange(this, node);
    DoStateChange(0, tsChangePending);
    lastChangedNode_ = nullptr;
}

void TBaseVirtualTree::DoStructureChange(PVirtualNode node, TChangeReason reason)
{
    StopTimer(StructureChangeTimer);
    if (OnStructureChange && !IsDestroying())
        OnStructureChange(this, node, reason);
    DoStateChange(0, tsStructureChangePending);
    lastStructureChangeNode_ = nullptr;
    lastStructureChangeReason_ = crIgnore;
}

bool TBaseVirtualTree::CanEdit(PVirtualNode node, TColumnIndex column)
{
    bool allowed = (options_->MiscOptions() & toEditable) && Enabled() && !(options_->MiscOptions() & toReadOnly);
    DoEditing(node, column, allowed);
    return allowed;
}

bool TBaseVirtualTree::ColumnIsEmpty(PVirtualNode node, TColumnIndex column)
{
    bool empty = true;
    if (OnGetCellIsEmpty)
        OnGetCellIsEmpty(this, node, column, empty);
    return empty;
}

// ---------------------------------------------------------------------------
// Painting events

void TBaseVirtualTree::DoAdvancedHeaderDraw(THeaderPaintInfo& paintInfo, THeaderPaintElements elements)
{
    if (OnAdvancedHeaderDraw)
        OnAdvancedHeaderDraw(header_, paintInfo, elements);
}

void TBaseVirtualTree::DoAfterCellPaint(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const RECT& r)
{
    if (OnAfterCellPaint)
        OnAfterCellPaint(this, canvas, node, column, r);
}

void TBaseVirtualTree::DoAfterItemErase(TCanvas& canvas, PVirtualNode node, const RECT& r)
{
    if (OnAfterItemErase)
        OnAfterItemErase(this, canvas, node, r);
}

void TBaseVirtualTree::DoAfterItemPaint(TCanvas& canvas, PVirtualNode node, const RECT& r)
{
    if (OnAfterItemPaint)
        OnAfterItemPaint(this, canvas, node, r);
}

void TBaseVirtualTree::DoAfterPaint(TCanvas& canvas)
{
    if (OnAfterPaint)
        OnAfterPaint(this, canvas);
}

void TBaseVirtualTree::DoBeforeCellPaint(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const RECT& r)
{
    if (OnBeforeCellPaint)
        OnBeforeCellPaint(this, canvas, node, column, r);
}

void TBaseVirtualTree::DoBeforeItemErase(TCanvas& canvas, PVirtualNode node, const RECT& r, COLORREF& color,
                                         TItemEraseAction& eraseAction)
{
    if (OnBeforeItemErase)
        OnBeforeItemErase(this, canvas, node, r, color, eraseAction);
}

bool TBaseVirtualTree::DoBeforeItemPaint(TCanvas& canvas, PVirtualNode node, const RECT& r)
{
    bool customDraw = false;
    if (OnBeforeItemPaint)
        OnBeforeItemPaint(this, canvas, node, r, customDraw);
    return customDraw;
}

void TBaseVirtualTree::DoBeforePaint(TCanvas& canvas)
{
    if (OnBeforePaint)
        OnBeforePaint(this, canvas);
}

bool TBaseVirtualTree::DoPaintBackground(TCanvas& canvas, const RECT& r)
{
    bool handled = false;
    if (OnPaintBackground)
        OnPaintBackground(this, canvas, r, handled);
    return handled;
}

void TBaseVirtualTree::DoPaintDropMark(TCanvas& canvas, PVirtualNode, const RECT& r, TDropMode mode)
{
    if (mode != dmAbove && mode != dmBelow)
        return;
    HDC dc = canvas.Handle();
    if (!dc)
        return;
    // A small arrow at the left end of the row, pointing at the edge.
    const int x = r.left + 1;
    POINT pts[5];
    if (mode == dmAbove) {
        const int y = r.top;
        pts[0] = {x, y};
        pts[1] = {x + 8, y};
        pts[2] = {x + 4, y + 4};
        pts[3] = {x, y};
        pts[4] = {x, y};
    } else {
        const int y = r.bottom - 1;
        pts[0] = {x, y};
        pts[1] = {x + 8, y};
        pts[2] = {x + 4, y - 4};
        pts[3] = {x, y};
        pts[4] = {x, y};
    }
    HPEN pen = CreatePen(PS_DOT, 1, colors_->DropMarkColor());
    HBRUSH brush = CreateSolidBrush(colors_->DropMarkColor());
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Polygon(dc, pts, 5);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
}

void TBaseVirtualTree::DoPaintNode(TVTPaintInfo&)
{
    // Descendants paint the node's content (the string tree its text).
}

void TBaseVirtualTree::DoMeasureItem(TCanvas& canvas, PVirtualNode node, int& nodeHeight)
{
    if (OnMeasureItem)
        OnMeasureItem(this, canvas, node, nodeHeight);
}

void TBaseVirtualTree::DoGetLineStyle(const void*& bits)
{
    if (OnGetLineStyle)
        OnGetLineStyle(this, bits);
}

TCustomImageList* TBaseVirtualTree::DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column,
                                                    bool& ghosted, int& index)
{
    TCustomImageList* result = nullptr;
    if (OnGetImageIndexEx)
        OnGetImageIndexEx(this, node, kind, column, ghosted, index, result);
    else if (OnGetImageIndex)
        OnGetImageIndex(this, node, kind, column, ghosted, index);
    return result;
}

int TBaseVirtualTree::DoGetNodeWidth(PVirtualNode, TColumnIndex, TCanvas*) { return 0; }

// ---------------------------------------------------------------------------
// Node events

void TBaseVirtualTree::DoChecked(PVirtualNode node)
{
    if (OnChecked)
        OnChecked(this, node);
}

bool TBaseVirtualTree::DoChecking(PVirtualNode node, TCheckState& newCheckState)
{
    if (options_->MiscOptions() & toReadOnly)
        return false;
    bool allowed = true;
    if (OnChecking)
        OnChecking(this, node, newCheckState, allowed);
    return allowed;
}

bool TBaseVirtualTree::DoCheckClick(PVirtualNode node, TCheckState newCheckState)
{
    if (!SetCheckState(node, newCheckState))
        return false;
    DoChecked(node);
    return true;
}

void TBaseVirtualTree::DoCollapsed(PVirtualNode node)
{
    if (OnCollapsed)
        OnCollapsed(this, node);
}

bool TBaseVirtualTree::DoCollapsing(PVirtualNode node)
{
    bool allowed = true;
    if (OnCollapsing)
        OnCollapsing(this, node, allowed);
    return allowed;
}

void TBaseVirtualTree::DoExpanded(PVirtualNode node)
{
    if (OnExpanded)
        OnExpanded(this, node);
}

bool TBaseVirtualTree::DoExpanding(PVirtualNode node)
{
    bool allowed = true;
    if (OnExpanding)
        OnExpanding(this, node, allowed);
    return allowed;
}

int TBaseVirtualTree::DoCompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column)
{
    int result = 0;
    if (OnCompareNodes)
        OnCompareNodes(this, node1, node2, column, result);
    return result;
}

void TBaseVirtualTree::DoFreeNode(PVirtualNode node)
{
    if (OnFreeNode)
        OnFreeNode(this, node);
}

bool TBaseVirtualTree::DoInitChildren(PVirtualNode node, unsigned& childCount)
{
    if (!OnInitChildren)
        return false;
    OnInitChildren(this, node, childCount);
    return true;
}

void TBaseVirtualTree::DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& initStates)
{
    if (OnInitNode)
        OnInitNode(this, parent, node, initStates);
}

void TBaseVirtualTree::DoReset(PVirtualNode node)
{
    if (OnResetNode)
        OnResetNode(this, node);
}

void TBaseVirtualTree::DoNodeCopied(PVirtualNode node)
{
    if (OnNodeCopied)
        OnNodeCopied(this, node);
}

bool TBaseVirtualTree::DoNodeCopying(PVirtualNode node, PVirtualNode newParent)
{
    bool allowed = true;
    if (OnNodeCopying)
        OnNodeCopying(this, node, newParent, allowed);
    return allowed;
}

void TBaseVirtualTree::DoNodeMoved(PVirtualNode node)
{
    if (OnNodeMoved)
        OnNodeMoved(this, node);
}

bool TBaseVirtualTree::DoNodeMoving(PVirtualNode node, PVirtualNode newParent)
{
    bool allowed = true;
    if (OnNodeMoving)
        OnNodeMoving(this, node, newParent, allowed);
    return allowed;
}

void TBaseVirtualTree::DoLoadNode(PVirtualNode node, TStream& stream)
{
    if (OnLoadNode)
        OnLoadNode(this, node == root_ ? nullptr : node, stream);
}

void TBaseVirtualTree::DoSaveNode(PVirtualNode node, TStream& stream)
{
    if (OnSaveNode)
        OnSaveNode(this, node == root_ ? nullptr : node, stream);
}

int TBaseVirtualTree::DoIncrementalSearch(PVirtualNode node, const std::string& text)
{
    int result = 0;
    if (OnIncrementalSearch)
        OnIncrementalSearch(this, node, text, result);
    return result;
}

bool TBaseVirtualTree::DoKeyAction(WORD& charCode, TShiftState& shift)
{
    bool doDefault = true;
    if (OnKeyAction)
        OnKeyAction(this, charCode, shift, doDefault);
    return doDefault;
}

void TBaseVirtualTree::DoHotChange(PVirtualNode oldNode, PVirtualNode newNode)
{
    if (OnHotChange && !IsDestroying())
        OnHotChange(this, oldNode, newNode);
}

void TBaseVirtualTree::DoScroll(int deltaX, int deltaY)
{
    if (OnScroll && !IsDestroying())
        OnScroll(this, deltaX, deltaY);
}

void TBaseVirtualTree::DoShowScrollbar(int bar, bool show)
{
    if (OnShowScrollbar && !IsDestroying())
        OnShowScrollbar(this, bar, show);
}

void TBaseVirtualTree::DoUpdating(TVTUpdateState state)
{
    if (OnUpdating && !IsDestroying())
        OnUpdating(this, state);
}

// ---------------------------------------------------------------------------
// Focus

void TBaseVirtualTree::DoFocusChanged(PVirtualNode node, TColumnIndex column)
{
    if (OnFocusChanged && !IsDestroying())
        OnFocusChanged(this, node, column);
    if (HandleAllocated()) {
        HWND h = Handle();
        NotifyAccessibility(h, EVENT_OBJECT_LOCATIONCHANGE);
        NotifyAccessibility(h, EVENT_OBJECT_NAMECHANGE);
        NotifyAccessibility(h, EVENT_OBJECT_VALUECHANGE);
        NotifyAccessibility(h, EVENT_OBJECT_STATECHANGE);
        NotifyAccessibility(h, EVENT_OBJECT_SELECTION);
        NotifyAccessibility(h, EVENT_OBJECT_FOCUS);
    }
}

bool TBaseVirtualTree::DoFocusChanging(PVirtualNode oldNode, PVirtualNode newNode, TColumnIndex oldColumn,
                                       TColumnIndex newColumn)
{
    bool allowed = true;
    if (OnFocusChanging && !IsDestroying())
        OnFocusChanging(this, oldNode, newNode, oldColumn, newColumn, allowed);
    return allowed;
}

void TBaseVirtualTree::DoFocusNode(PVirtualNode node, bool ask)
{
    if ((states_ & tsEditing) && !EndEditNode())
        return;
    if (node == root_)
        node = nullptr;
    const TVTAutoOptions autoOptions = options_->AutoOptions();
    if (node != focusedNode_) {
        if (!ask || DoFocusChanging(focusedNode_, node, focusedColumn_, focusedColumn_)) {
            PVirtualNode old = focusedNode_;
            if ((autoOptions & toAutoExpand) && old && node && old->Parent == node->Parent &&
                (old->States & vsExpanded))
                ToggleExpanded(old);
            else if (old)
                InvalidateNode(old);
            focusedNode_ = node;
        }
    }
    if (focusedNode_) {
        if (header_->UseColumns() && !header_->Columns().IsValidColumn(focusedColumn_))
            focusedColumn_ = 0;
        if ((autoOptions & toAutoExpand) && !(focusedNode_->States & vsExpanded))
            ToggleExpanded(focusedNode_);
        InvalidateNode(focusedNode_);
        if (updateCount_ == 0) {
            const bool buttonDown = (states_ & (tsLeftButtonDown | tsRightButtonDown | tsMiddleButtonDown)) != 0;
            ScrollIntoView(focusedNode_,
                           (options_->SelectionOptions() & toCenterScrollIntoView) && !buttonDown,
                           !(autoOptions & toDisableAutoscrollOnFocus));
        }
    }
    if (SelectedCount() == 0)
        ResetRangeAnchor();
}

// ---------------------------------------------------------------------------
// Editing

bool TBaseVirtualTree::EndEditNode()
{
    if (states_ & (tsEditing | tsEditPending))
        return DoEdited();
    return true;
}

bool TBaseVirtualTree::CancelEditNode()
{
    if (states_ & (tsEditing | tsEditPending))
        return DoEditCancelled();
    return true;
}

void TBaseVirtualTree::DoEditing(PVirtualNode node, TColumnIndex column, bool& allowed)
{
    if (OnEditing)
        OnEditing(this, node, column, allowed);
}

TEditLinkPtr TBaseVirtualTree::DoCreateEditor(PVirtualNode node, TColumnIndex column)
{
    TEditLinkPtr link;
    if (OnCreateEditor) {
        OnCreateEditor(this, node, column, link);
        if (!link)
            ShowError("Edit link must not be nil.", hcTFEditLinkIsNil);
    }
    return link;
}

void TBaseVirtualTree::DoEdit()
{
    DoStateChange(0, tsEditPending);
    StopTimer(ScrollTimer);
    StopTimer(EditTimer);
    if (!focusedNode_ || (focusedNode_->States & vsDisabled) || (options_->MiscOptions() & toReadOnly) ||
        editLink_)
        return;
    editLink_ = DoCreateEditor(focusedNode_, editColumn_);
    if (!editLink_)
        return;
    DoStateChange(tsEditing);
    editNode_ = focusedNode_;
    ScrollIntoView(focusedNode_, (options_->SelectionOptions() & toCenterScrollIntoView) != 0,
                   !(options_->AutoOptions() & toDisableAutoscrollOnEdit));
    bool begun = false;
    try {
        if (editLink_->PrepareEdit(this, focusedNode_, editColumn_)) {
            UpdateEditBounds();
            InvalidateNode(focusedNode_);
            begun = editLink_->BeginEdit();
        }
    } catch (...) {
        DoStateChange(0, tsEditing);
        editLink_.reset();
        editNode_ = nullptr;
        throw;
    }
    if (!begun) {
        DoStateChange(0, tsEditing);
        editLink_.reset();
        editNode_ = nullptr;
    }
}

void TBaseVirtualTree::DoEndEdit()
{
    if (HandleAllocated())
        NotifyAccessibility(Handle(), EVENT_OBJECT_NAMECHANGE);
}

bool TBaseVirtualTree::DoEdited()
{
    StopTimer(EditTimer);
    bool result = true;
    if (states_ & tsEditing) {
        result = editLink_ && editLink_->EndEdit();
        if (result) {
            DoStateChange(0, tsEditing);
            TEditLinkPtr link = std::move(editLink_);
            editLink_.reset();
            PVirtualNode edited = editNode_;
            editNode_ = nullptr;
            if (OnEdited)
                OnEdited(this, edited ? edited : focusedNode_, editColumn_);
            DoEndEdit();
        }
    }
    DoStateChange(0, tsEditPending);
    return result;
}

bool TBaseVirtualTree::DoEditCancelled()
{
    StopTimer(EditTimer);
    DoStateChange(0, tsEditPending);
    bool result = true;
    if (states_ & tsEditing) {
        result = editLink_ && editLink_->CancelEdit();
        if (result) {
            DoStateChange(0, tsEditing);
            editNode_ = nullptr;
            if (OnEditCancelled && !IsDestroying())
                OnEditCancelled(this, editColumn_);
            if (!IsDestroying())
                editLink_.reset();
            DoEndEdit();
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// Header events (the sender is the header)

void TBaseVirtualTree::DoColumnClick(TColumnIndex column, TShiftState shift)
{
    if (OnColumnClick)
        OnColumnClick(this, column, shift);
}

void TBaseVirtualTree::DoColumnDblClick(TColumnIndex column, TShiftState shift)
{
    if (OnColumnDblClick)
        OnColumnDblClick(this, column, shift);
}

void TBaseVirtualTree::DoColumnResize(TColumnIndex column)
{
    if (IsLoading() || !HandleAllocated())
        return;
    for (PVirtualNode run = root_->FirstChild; run; run = GetNextNoInit(run))
        if ((run->States & (vsInitialized | vsMultiline)) == (vsInitialized | vsMultiline))
            run->States &= ~vsHeightMeasured;
    UpdateHorizontalScrollBar(false);
    if (column > NoColumn) {
        RECT r;
        GetClientRect(Handle(), &r);
        if (!(options_->AutoOptions() & toAutoSpanColumns)) {
            int left = 0, right = 0;
            header_->Columns().GetColumnBounds(column, left, right);
            r.left = left;
        }
        InvalidateRect(Handle(), &r, FALSE);
        header_->Invalidate(header_->Columns().Items(column), true);
        if (header_->States() & hsTracking)
            UpdateWindow(Handle());
    }
    if (!(states_ & tsValidating))
        ValidateCache();
    if (OnColumnResize)
        OnColumnResize(header_, column);
    UpdateEditBounds();
}

void TBaseVirtualTree::DoGetHeaderCursor(HCURSOR& cursor)
{
    if (OnGetHeaderCursor)
        OnGetHeaderCursor(header_, cursor);
}

void TBaseVirtualTree::DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnHeaderClick)
        OnHeaderClick(header_, column, button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderDblClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnHeaderDblClick)
        OnHeaderDblClick(header_, column, button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderDragged(TColumnIndex column, TColumnPosition oldPosition)
{
    if (OnHeaderDragged)
        OnHeaderDragged(header_, column, oldPosition);
}

void TBaseVirtualTree::DoHeaderDraggedOut(TColumnIndex column, POINT dropPosition)
{
    if (OnHeaderDraggedOut)
        OnHeaderDraggedOut(header_, column, dropPosition);
}

bool TBaseVirtualTree::DoHeaderDragging(TColumnIndex column)
{
    bool allowed = true;
    if (OnHeaderDragging)
        OnHeaderDragging(header_, column, allowed);
    return allowed;
}

void TBaseVirtualTree::DoHeaderDraw(TCanvas& canvas, TVirtualTreeColumn* column, const RECT& r, bool hover,
                                    bool pressed, TVTDropMarkMode dropMark)
{
    if (OnHeaderDraw)
        OnHeaderDraw(header_, canvas, column, r, hover, pressed, dropMark);
}

void TBaseVirtualTree::DoHeaderDrawQueryElements(THeaderPaintInfo& paintInfo, THeaderPaintElements& elements)
{
    if (OnHeaderDrawQueryElements)
        OnHeaderDrawQueryElements(header_, paintInfo, elements);
}

void TBaseVirtualTree::DoHeaderMouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnHeaderMouseDown)
        OnHeaderMouseDown(header_, button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderMouseMove(TShiftState shift, int x, int y)
{
    if (OnHeaderMouseMove)
        OnHeaderMouseMove(header_, shift, x, y);
}

void TBaseVirtualTree::DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (OnHeaderMouseUp)
        OnHeaderMouseUp(header_, button, shift, x, y);
}

// ---------------------------------------------------------------------------
// Hints, cursors and menus

THintAnimationType TBaseVirtualTree::DoGetAnimationType()
{
    THintAnimationType result = hintAnimation_;
    if (result == hatSystemDefault) {
        BOOL animation = FALSE;
        if (!SystemParametersInfoW(SPI_GETTOOLTIPANIMATION, 0, &animation, 0)) {
            result = hatSlide;
        } else if (!animation) {
            result = hatNone;
        } else {
            BOOL fade = FALSE;
            SystemParametersInfoW(SPI_GETTOOLTIPFADE, 0, &fade, 0);
            result = fade ? hatFade : hatSlide;
        }
    }
    if (result == hatFade && !MMXAvailable())
        result = hatSlide;
    return result;
}

void TBaseVirtualTree::DoGetCursor(HCURSOR& cursor)
{
    if (OnGetCursor)
        OnGetCursor(this, cursor);
}

std::string TBaseVirtualTree::DoGetNodeHint(PVirtualNode, TColumnIndex, TVTTooltipLineBreakStyle& lineBreakStyle)
{
    lineBreakStyle = hlbDefault;
    return ControlHint<TControl>(*this);
}

std::string TBaseVirtualTree::DoGetNodeTooltip(PVirtualNode, TColumnIndex,
                                               TVTTooltipLineBreakStyle& lineBreakStyle)
{
    lineBreakStyle = hlbDefault;
    return ControlHint<TControl>(*this);
}

TPopupMenu* TBaseVirtualTree::DoGetPopupMenu(PVirtualNode node, TColumnIndex column, POINT position)
{
    TPopupMenu* result = nullptr;
    if (!OnGetPopupMenu)
        return result;
    bool askParent = true;
    if (node && node != root_) {
        for (PVirtualNode run = node; run && run != root_; run = run->Parent) {
            OnGetPopupMenu(this, run, column, position, askParent, result);
            if (!askParent || result)
                break;
        }
    } else {
        OnGetPopupMenu(this, nullptr, NoColumn, position, askParent, result);
    }
    return result;
}

void TBaseVirtualTree::DoPopupMenu(PVirtualNode node, TColumnIndex column, POINT position)
{
    TPopupMenu* menu = DoGetPopupMenu(node, column, position);
    if (!menu)
        return;
    DoStateChange(tsPopupMenuShown, tsRightButtonDown | tsRightDblClick);
    StopTimer(EditTimer);
    menu->PopupComponent = this;
    POINT screen = ClientToScreen(position);
    menu->Popup(screen.x, screen.y);
}

void TBaseVirtualTree::DoGetUserClipboardFormats(std::vector<FORMATETC>& formats)
{
    if (OnGetUserClipboardFormats)
        OnGetUserClipboardFormats(this, formats);
}

// ---------------------------------------------------------------------------
// Drag and drop

bool TBaseVirtualTree::DoDragAllowed(PVirtualNode node, TColumnIndex column)
{
    bool allowed = false;
    if (OnDragAllowed)
        OnDragAllowed(this, node, column, allowed);
    return allowed;
}

IDataObject* TBaseVirtualTree::DoCreateDataObject()
{
    IDataObject* result = nullptr;
    if (OnCreateDataObject)
        OnCreateDataObject(this, result);
    return result;
}

IVTDragManager* TBaseVirtualTree::DoCreateDragManager()
{
    IVTDragManager* result = nullptr;
    if (OnCreateDragManager)
        OnCreateDragManager(this, result);
    return result;
}

void TBaseVirtualTree::DoDragExpand()
{
    StopTimer(ExpandTimer);
    if (dropTargetNode_ && (dropTargetNode_->States & vsHasChildren) && !(dropTargetNode_->States & vsExpanded)) {
        // The picture over the window would be painted over: it goes meanwhile.
        TBaseVirtualTree* source = dragManager_ ? dragManager_->GetDragSource() : nullptr;
        ShowSourceDragImage(source, false);
        ToggleExpanded(dropTargetNode_);
        if (HandleAllocated())
            UpdateWindow(Handle());
        ShowSourceDragImage(source, true);
    }
}

bool TBaseVirtualTree::DoDragOver(TObject* source, TShiftState shift, TDragState state, POINT pt, TDropMode mode,
                                  DWORD& effect)
{
    bool accept = false;
    if (OnDragOver)
        OnDragOver(this, source, shift, state, pt, mode, effect, accept);
    return accept;
}

void TBaseVirtualTree::DoDragDrop(TObject* source, IDataObject* dataObject, const std::vector<CLIPFORMAT>& formats,
                                  TShiftState shift, POINT pt, DWORD& effect, TDropMode mode)
{
    if (OnDragDrop)
        OnDragDrop(this, source, dataObject, formats, shift, pt, effect, mode);
}

HRESULT TBaseVirtualTree::DoRenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard)
{
    HRESULT result = E_FAIL;
    if (OnRenderOLEData)
        OnRenderOLEData(this, formatEtcIn, medium, forClipboard, result);
    return result;
}

// ---------------------------------------------------------------------------
// Scrolling

namespace {
enum TScrollDirection : unsigned { sdLeft = 1, sdUp = 2, sdRight = 4, sdDown = 8 };
}

void TBaseVirtualTree::DoAutoScroll(int x, int y)
{
    unsigned directions = 0;
    RECT client{};
    if (HandleAllocated())
        GetClientRect(Handle(), &client);
    if (states_ & tsPanning) {
        if (x < panningStart_.x - 8)
            directions |= sdLeft;
        if (x > panningStart_.x + 8)
            directions |= sdRight;
        if (y < panningStart_.y - 8)
            directions |= sdUp;
        if (y > panningStart_.y + 8)
            directions |= sdDown;
    } else if (options_->AutoOptions() & toAutoScroll) {
        const int edge = static_cast<int>(defaultNodeHeight_);
        if (x < edge && offsetX_ < 0)
            directions |= sdLeft;
        if (x > client.right - edge && client.right - offsetX_ < rangeX_)
            directions |= sdRight;
        if (y < edge && offsetY_ < 0)
            directions |= sdUp;
        if (y > client.bottom - edge && client.bottom - offsetY_ < RangeY())
            directions |= sdDown;
    }
    scrollDirections_ = directions;
    if (states_ & tsPanning)
        return;
    if (directions && !(states_ & tsScrollPending)) {
        DoStateChange(tsScrollPending);
        StartTimer(ScrollTimer, autoScrollDelay_);
    } else if (!directions && (states_ & (tsScrollPending | tsScrolling))) {
        StopTimer(ScrollTimer);
        DoStateChange(0, tsScrollPending | tsScrolling);
    }
}

void TBaseVirtualTree::DoTimerScroll()
{
    if (!HandleAllocated())
        return;
    POINT p;
    GetCursorPos(&p);
    p = ScreenToClient(p);
    DoAutoScroll(p.x, p.y);
    if (!scrollDirections_) {
        StopTimer(ScrollTimer);
        DoStateChange(0, tsScrollPending | tsScrolling);
        return;
    }
    const int stepX = static_cast<int>(indent_), stepY = static_cast<int>(defaultNodeHeight_);
    POINT offset{offsetX_, offsetY_};
    if (scrollDirections_ & sdLeft)
        offset.x += stepX;
    if (scrollDirections_ & sdRight)
        offset.x -= stepX;
    if (scrollDirections_ & sdUp)
        offset.y += stepY;
    if (scrollDirections_ & sdDown)
        offset.y -= stepY;
    DoSetOffsetXY(offset, DefaultScrollUpdateFlags);
}
