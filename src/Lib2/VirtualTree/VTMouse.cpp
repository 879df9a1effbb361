// Mouse buttons and moves: focus and selection by clicks (with Shift and
// Ctrl), check boxes, expand buttons, double clicks, click-and-wait editing,
// hot tracking and its cursor, the rubber band, the context popup, drag
// starts and wheel panning with its shaped window and direction cursors.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Application.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"

namespace {

// Panning: no scrolling within this distance of the start point; a step
// every kPanningInterval ms that grows with the distance beyond it.
constexpr int kPanningDeadZone = 8;
constexpr UINT kPanningInterval = 20;
constexpr int kPanningSlowDown = 4;
constexpr COLORREF kPanningTransparent = RGB(255, 0, 255);
const wchar_t kPanningClass[] = L"BrenixVTPanningWindow";

POINT PointFromLParam(LPARAM l) { return POINT{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))}; }

RECT Normalized(POINT a, POINT b)
{
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

bool Beyond(POINT a, POINT b, int dx, int dy) { return std::abs(a.x - b.x) >= dx || std::abs(a.y - b.y) >= dy; }

// Width of a node's image of that kind plus its 2-pixel gap, 0 without one.
int ImageWidth(TBaseVirtualTree& tree, PVirtualNode node, TVTImageKind kind, TColumnIndex column)
{
    bool ghosted = false;
    int index = -1;
    TCustomImageList* list = tree.DoGetImageIndex(node, kind, column, ghosted, index);
    if (!list)
        list = kind == ikState ? tree.StateImages() : tree.Images();
    return (list && index > -1) ? list->Width() + 2 : 0;
}

// The panning window paints its picture; the mouse goes through it.
LRESULT CALLBACK PanningWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        auto bitmap = reinterpret_cast<HBITMAP>(GetWindowLongPtrW(window, GWLP_USERDATA));
        BITMAP info{};
        if (dc && bitmap && GetObjectW(bitmap, sizeof info, &info)) {
            HDC memory = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(memory, bitmap);
            BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        }
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_NCDESTROY:
        if (auto bitmap = reinterpret_cast<HBITMAP>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            DeleteObject(bitmap);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

void RegisterPanningClass()
{
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PanningWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kPanningClass;
    registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The region of the picture's pixels that are not the transparent colour,
// built from one rectangle per run of a row.
HRGN RegionFromBitmap(HBITMAP bitmap, int width, int height)
{
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    for (int y = 0; y < height; ++y) {
        int x = 0;
        while (x < width) {
            while (x < width && GetPixel(memory, x, y) == kPanningTransparent)
                ++x;
            const int start = x;
            while (x < width && GetPixel(memory, x, y) != kPanningTransparent)
                ++x;
            if (x > start) {
                HRGN run = CreateRectRgn(start, y, x, y + 1);
                CombineRgn(region, region, run, RGN_OR);
                DeleteObject(run);
            }
        }
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    return region;
}

}   // namespace

// ---------------------------------------------------------------------------
// The panning window

TBaseVirtualTree::TPanningWindow::~TPanningWindow() { Destroy(); }

void TBaseVirtualTree::TPanningWindow::Destroy()
{
    if (handle && IsWindow(handle))
        DestroyWindow(handle);
    handle = nullptr;
}

// ---------------------------------------------------------------------------
// Messages

bool TBaseVirtualTree::MouseMessage(TMessage& message)
{
    std::weak_ptr<void> alive = AliveToken();
    // The inherited handling (OnMouseDown, OnMouseUp, OnDblClick, OnMouseMove,
    // mouse leave tracking); false when the tree went meanwhile.
    auto inherited = [&] {
        TWinControl::WndProc(message);
        return !alive.expired();
    };
    auto hitTest = [&] {
        THitInfo hit;
        const POINT p = PointFromLParam(message.LParam);
        HitTestAt(p.x, p.y, hit, true);
        return hit;
    };
    const TVTSelectionOptions selection = options_->SelectionOptions();
    const bool headerDragging = (header_->States() & hsDragging) != 0;

    switch (message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const bool dbl = message.Msg == WM_LBUTTONDBLCLK;
        DoStateChange(dbl ? tsLeftButtonDown | tsLeftDblClick : tsLeftButtonDown);
        if (!inherited())
            return true;
        if (states_ & tsPanning) {
            StopWheelPanning();
            return true;
        }
        SetCapture(Handle());
        if (dbl)
            HandleMouseDblClick(message, hitTest());
        else
            HandleMouseDown(message, hitTest());
        return true;
    }
    case WM_LBUTTONUP:
        DoStateChange(0, tsLeftButtonDown | tsLeftDblClick);
        HandleMouseUp(message, hitTest());
        if (!alive.expired())
            inherited();
        return true;

    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: {
        if (headerDragging)
            return false;
        const bool dbl = message.Msg == WM_MBUTTONDBLCLK;
        DoStateChange(dbl ? tsMiddleButtonDown | tsMiddleDblClick : tsMiddleButtonDown);
        if (!inherited())
            return true;
        const RECT client = ClientRect();
        const bool fits = rangeX_ <= client.right && RangeY() <= client.bottom;
        if (!(states_ & tsPanning) && (options_->MiscOptions() & toWheelPanning) && !fits) {
            StartWheelPanning(PointFromLParam(message.LParam));
        } else {
            StopWheelPanning();
            if (selection & toMiddleClickSelect) {
                SetCapture(Handle());
                if (dbl)
                    HandleMouseDblClick(message, hitTest());
                else
                    HandleMouseDown(message, hitTest());
            }
        }
        return true;
    }
    case WM_MBUTTONUP:
        DoStateChange(0, tsMiddleButtonDown | tsMiddleDblClick);
        if (states_ & tsWheelPanning) {
            // Started by this press without moving: panning goes on until
            // the next button press.
            DoStateChange(0, tsWheelPanning);
        } else if (states_ & tsPanning) {
            StopWheelPanning();
        } else if (!headerDragging) {
            if (!inherited())
                return true;
            if (selection & toMiddleClickSelect)
                HandleMouseUp(message, hitTest());
        }
        return true;

    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: {
        if (headerDragging)
            return false;
        const bool dbl = message.Msg == WM_RBUTTONDBLCLK;
        DoStateChange(dbl ? tsRightButtonDown | tsRightDblClick : tsRightButtonDown, tsPopupMenuShown);
        if (!inherited())
            return true;
        if (states_ & tsPanning) {
            StopWheelPanning();
            return true;
        }
        if (selection & toRightClickSelect) {
            SetCapture(Handle());
            if (dbl)
                HandleMouseDblClick(message, hitTest());
            else
                HandleMouseDown(message, hitTest());
        }
        return true;
    }
    case WM_RBUTTONUP: {
        if (headerDragging)
            return false;
        Application().CancelHint();
        if ((states_ & (tsDrawSelPending | tsDrawSelecting)) && (popupMenu_ || OnGetPopupMenu)) {
            DoStateChange(0, tsDrawSelPending | tsDrawSelecting);
            Invalidate();
        }
        const THitInfo hit = hitTest();
        // The context menu the default handling asks for comes after the
        // tree's own popup (OnGetPopupMenu) had its chance.
        inRightButtonUp_ = true;
        contextMenuAsked_ = false;
        const bool stillThere = inherited();
        if (!stillThere)
            return true;
        inRightButtonUp_ = false;
        if (selection & toRightClickSelect)
            HandleMouseUp(message, hit);
        else
            ReleaseTreeCapture();
        DoStateChange(0, tsRightButtonDown | tsRightDblClick);
        if (alive.expired())
            return true;
        if (!popupMenu_)
            DoPopupMenu(hit.HitNode, hit.HitColumn, PointFromLParam(message.LParam));
        if (alive.expired())
            return true;
        if (states_ & tsPopupMenuShown) {
            DoStateChange(0, tsPopupMenuShown);
        } else if (contextMenuAsked_ && !ShowContextPopup(contextMenuPoint_)) {
            // Nobody here wants it: the parent may (the default handling).
            TMessage context;
            context.Msg = WM_CONTEXTMENU;
            context.WParam = reinterpret_cast<WPARAM>(Handle());
            context.LParam = MAKELPARAM(contextMenuPoint_.x, contextMenuPoint_.y);
            DefaultHandler(context);
        }
        contextMenuAsked_ = false;
        return true;
    }

    case WM_CONTEXTMENU:
        ClearPendingClickStates();
        if (inRightButtonUp_) {
            contextMenuAsked_ = true;
            contextMenuPoint_ = PointFromLParam(message.LParam);
            message.Result = 0;
            return true;
        }
        if (states_ & tsPopupMenuShown) {
            DoStateChange(0, tsPopupMenuShown);
            message.Result = 0;
            return true;
        }
        if (ShowContextPopup(PointFromLParam(message.LParam))) {
            message.Result = 0;
            return true;
        }
        return false;

    case WM_MOUSEMOVE:
        HandleMouseMove(message);
        return true;

    case WM_MOUSELEAVE:
        if ((states_ & tsScrollPending) && !(states_ & (tsDrawSelPending | tsDrawSelecting | tsPanning))) {
            StopTimer(ScrollTimer);
            DoStateChange(0, tsScrollPending);
        }
        SetHotNode(nullptr);
        header_->Columns().ResetHoverAndDown();
        // Whatever window the mouse went to sets its own cursor.
        shownCursor_ = nullptr;
        return false;   // the inherited handling and the hint's own

    case WM_SETCURSOR:
        return HandleSetCursor(message);

    case WM_MOUSEWHEEL:
        StopWheelPanning();
        return false;   // the wheel itself scrolls (VTScroll.cpp)

    case WM_EXITMENULOOP:
        // A menu sets its own cursor: the tree's is set again when next due.
        shownCursor_ = nullptr;
        return false;

    case WM_CAPTURECHANGED:
        // Someone else took the mouse (a menu, another window, a cancelled
        // mode): nothing the tree started with it can go on, and whatever
        // took it may have set its own cursor.
        shownCursor_ = nullptr;
        if (releasingCapture_ || reinterpret_cast<HWND>(message.LParam) == Handle())
            return false;
        [[fallthrough]];
    case WM_CANCELMODE:
        shownCursor_ = nullptr;
        [[fallthrough]];
    case WM_KILLFOCUS:
        StopWheelPanning();
        if (states_ & (tsDrawSelPending | tsDrawSelecting)) {
            DoStateChange(0, tsDrawSelPending | tsDrawSelecting);
            Invalidate();
        }
        if ((states_ & tsMouseCheckPending) && pendingCheckNode_) {
            pendingCheckNode_->CheckState &= ~1;   // back to the normal look
            InvalidateNode(pendingCheckNode_);
            SetPendingCheck(nullptr, csUncheckedNormal);
            DoStateChange(0, tsMouseCheckPending);
        }
        return false;

    case WM_TIMER:
        if (message.WParam != ScrollTimer)
            return false;
        if (states_ & tsPanning) {
            PanningStep();
            message.Result = 0;
            return true;
        }
        if (states_ & tsDrawSelecting) {
            // Auto-scrolling under a rubber band: the band's corner stays
            // under the mouse.
            HandleTimer(ScrollTimer);
            if (!alive.expired() && HandleAllocated()) {
                POINT p;
                GetCursorPos(&p);
                UpdateRubberBand(ScreenToClient(p), false);
            }
            message.Result = 0;
            return true;
        }
        return false;

    case WM_DESTROY:
        StopWheelPanning();
        return false;

    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Buttons

void TBaseVirtualTree::ReleaseTreeCapture()
{
    if (!HandleAllocated() || GetCapture() != Handle())
        return;
    releasingCapture_ = true;
    ReleaseCapture();
    releasingCapture_ = false;
}

void TBaseVirtualTree::ClearPendingClickStates()
{
    StopTimer(EditTimer);
    DoStateChange(0, tsClearPending | tsEditPending | tsOLEDragPending | tsVCLDragPending);
    clearPendingDrag_ = false;
}

TCheckState TBaseVirtualTree::DetermineNextCheckState(TCheckType type, TCheckState state)
{
    switch (type) {
    case ctCheckBox:
    case ctTriStateCheckBox:
        return (state == csCheckedNormal || state == csCheckedPressed) ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton:
        return csCheckedNormal;
    case ctButton:
        return csUncheckedNormal;
    default:
        return state;
    }
}

bool TBaseVirtualTree::StartCheckClick(PVirtualNode node)
{
    TCheckState newState = DetermineNextCheckState(static_cast<TCheckType>(node->CheckType),
                                                   static_cast<TCheckState>(node->CheckState));
    if (!DoChecking(node, newState))
        return false;
    DoStateChange(tsMouseCheckPending);
    SetPendingCheck(node, newState);
    node->CheckState |= 1;   // the pressed look of the current state
    InvalidateNode(node);
    return true;
}

void TBaseVirtualTree::HandleMouseDown(TMessage& message, const THitInfo& hitInfo)
{
    std::weak_ptr<void> alive = AliveToken();
    // 1, 2: panning ends at once (see MouseMessage); a waiting edit start is
    // dropped and a running edit must end first.
    if (states_ & tsEditPending) {
        StopTimer(EditTimer);
        DoStateChange(0, tsEditPending);
    }
    if ((states_ & tsEditing) && !EndEditNode())
        return;
    if (alive.expired())
        return;

    // 3
    if (!Focused() && CanFocus()) {
        SetFocus();
        if (alive.expired())
            return;
    }
    TVirtualTreeColumns& columns = header_->Columns();
    columns.SetClickIndex(hitInfo.HitColumn);

    const TVTSelectionOptions selection = options_->SelectionOptions();
    const TVTMiscOptions misc = options_->MiscOptions();
    const bool multiSelect = (selection & toMultiSelect) != 0;
    const bool gridExtensions = (misc & toGridExtensions) != 0;
    const bool fullRowOrGrid = (selection & toFullRowSelect) || gridExtensions;
    const THitPositions positions = hitInfo.HitPositions;
    PVirtualNode hitNode = hitInfo.HitNode;

    // 4: the column the click focuses.
    const bool onLabelOrImage = hitNode && (positions & (hpOnLabel | hpOnNormalImage | hpOnStateImage));
    TColumnIndex newColumn = focusedColumn_;
    if (onLabelOrImage || fullRowOrGrid)
        newColumn = (selection & toExtendedFocus) ? hitInfo.HitColumn : header_->MainColumn();
    if (header_->UseColumns() && !columns.IsValidColumn(newColumn))
        newColumn = focusedColumn_;   // right of the last column: no column to focus
    const bool columnChanged = newColumn != focusedColumn_;

    // 5: keys and what was hit.
    TShiftState shift = ShiftFromMouseKeys(message.WParam) & (ssShift | ssCtrl | ssAlt);
    const bool altPressed = (shift & ssAlt) != 0;
    shift &= ~ssAlt;
    const bool isLabelHit = !altPressed && onLabelOrImage;
    const bool isCellHit = !altPressed && !isLabelHit && hitNode && !(positions & (hpOnButton | hpOnCheckBox)) &&
                           fullRowOrGrid;
    const bool isAnyHit = isLabelHit || isCellHit;
    const bool nodeSelected = isAnyHit && (hitNode->States & vsSelected);
    const bool fullRowDrag = (misc & toFullRowDrag) != 0;

    // 6: whether a drag may start from here.
    bool autoDrag = false;
    if (dragMode_ == dmAutomatic || (states_ & (tsOLEDragPending | tsVCLDragPending)))
        autoDrag = !isCellHit || fullRowDrag;
    else if (hitNode)
        autoDrag = (!isCellHit || fullRowDrag) && DoDragAllowed(hitNode, hitInfo.HitColumn);

    // 7: the expand button.
    if (hitNode && (positions & hpOnButton) && (hitNode->States & vsHasChildren)) {
        ToggleExpanded(hitNode);
        return;
    }
    // 8: the check box (its state goes on release).
    if (hitNode && (positions & hpOnCheckBox) && !(states_ & (tsMouseCheckPending | tsKeyCheckPending)) &&
        !(hitNode->States & vsDisabled)) {
        StartCheckClick(hitNode);
        return;
    }

    // 9
    if (SelectedCount() == 0 || shift == 0) {
        PVirtualNode levelNode = hitNode ? hitNode : GetLastVisibleNoInit();
        lastSelectionLevel_ = levelNode ? static_cast<int>(NodeLevel(levelNode)) : -1;
    }

    // 10: a press on a selected node keeps the selection while a drag may start.
    if (multiSelect && shift == 0 && isAnyHit && autoDrag && nodeSelected) {
        DoStateChange(tsClearPending);
        clearPendingDrag_ = true;
    }

    // 11: the selection cleared now.
    const bool besideNodes = !isAnyHit && !(hitNode && fullRowDrag);
    bool clearNow = (besideNodes && multiSelect && shift == 0) ||
                    (isAnyHit && (!nodeSelected || !autoDrag) && (shift == 0 || !multiSelect));
    if (clearNow && (states_ & tsRightButtonDown) && nodeSelected &&
        (popupMenu_ || DoGetPopupMenu(hitNode, hitInfo.HitColumn, PointFromLParam(message.LParam))))
        clearNow = false;
    if (alive.expired())
        return;
    if (clearNow) {
        // A clearing that waits for an earlier press (a drag that may start
        // from a selected row) gives way to this one: a second button may
        // come while the first is still down, and input never trips an
        // assertion.
        if (states_ & tsClearPending) {
            DoStateChange(0, tsClearPending);
            clearPendingDrag_ = false;
        }
        const bool keepHitNode =
            hitNode && (nodeSelected || (altPressed && hitInfo.HitColumn == header_->MainColumn()));
        if (keepHitNode) {
            const bool several = SelectedCount() > 1;
            const bool wasSelected = (hitNode->States & vsSelected) != 0;
            if (several || !wasSelected) {
                const unsigned before = SelectedCount();
                InternalClearSelection();
                if (wasSelected)
                    InternalAddToSelection(hitNode, true);
                if (before > 0) {
                    Invalidate();
                    Change(nullptr);
                }
            }
        } else {
            ClearSelection();
        }
        if (alive.expired())
            return;
    }

    // 12: click-and-wait editing of the focused cell.
    const bool editableHit = (!altPressed && (positions & hpOnLabel)) ||
                             (gridExtensions && isCellHit);
    if (Focused() && nodeSelected && !columnChanged && shift == 0 && hitNode && editableHit)
        DoStateChange(tsEditPending);

    // 13: a press beside the nodes starts a rubber band.
    if (!(selection & toDisableDrawSelection) && besideNodes && multiSelect) {
        SetCapture(Handle());
        DoStateChange(tsDrawSelPending);
        drawSelShiftState_ = shift;
        const POINT p = PointFromLParam(message.LParam);
        bandStart_ = bandEnd_ = POINT{p.x - offsetX_, p.y - offsetY_};
        selectionRect_ = Normalized(bandStart_, bandEnd_);
        if (!isCellHit)
            return;
    }

    // 14: focus and selection.
    SetLastClickPos(PointFromLParam(message.LParam));
    if (isAnyHit) {
        if (DoFocusChanging(focusedNode_, hitNode, focusedColumn_, newColumn)) {
            if (alive.expired())
                return;
            PVirtualNode lastFocused = focusedNode_;
            if (columnChanged) {
                InvalidateColumn(focusedColumn_);
                InvalidateColumn(newColumn);
                focusedColumn_ = newColumn;
            }
            if (hitNode != focusedNode_ || columnChanged)
                DoFocusNode(hitNode, false);
            if (alive.expired() || focusedNode_ != hitNode)
                return;
            if (!multiSelect || shift == 0) {
                if (shift == 0)
                    rangeAnchor_ = hitNode;
                if (!(hitNode->States & vsSelected))
                    AddToSelection(hitNode);
            } else {
                HandleClickSelection(lastFocused, hitNode, shift, autoDrag);
            }
            if (alive.expired())
                return;
            if (hitNode != lastFocused || columnChanged)
                DoFocusChanged(focusedNode_, focusedColumn_);
            if (alive.expired())
                return;
        }
    }

    // 15: the drag waits for the mouse to move far enough.
    if (autoDrag && isAnyHit && !(states_ & tsClearPending))
        BeginDrag(false);
}

void TBaseVirtualTree::HandleClickSelection(PVirtualNode lastFocused, PVirtualNode newNode, TShiftState shift,
                                            bool dragPending)
{
    (void)lastFocused;
    const TVTSelectionOptions selection = options_->SelectionOptions();
    if (!(selection & toMultiSelect))
        return;
    const bool ctrl = (shift & ssCtrl) != 0, shiftKey = (shift & ssShift) != 0;
    if (shiftKey && !ctrl) {
        // The range replaces the selection; the anchor and the level of the
        // first selected node stay (a range upwards would otherwise take the
        // level of the clicked node).
        PVirtualNode anchor = rangeAnchor_ ? rangeAnchor_ : GetFirstNoInit();
        const int level = lastSelectionLevel_;
        InternalClearSelection();
        rangeAnchor_ = anchor;
        lastSelectionLevel_ = level;
        SelectNodes(anchor, newNode, true);
        Invalidate();
        Change(nullptr);
    } else if (ctrl && !shiftKey) {
        if (!(selection & toSiblingSelectConstraint))
            rangeAnchor_ = newNode;
        if (dragPending) {
            DoStateChange(tsToggleFocusedSelection);
        } else if (newNode->States & vsSelected) {
            RemoveFromSelection(newNode);
        } else {
            AddToSelection(newNode);
        }
        InvalidateNode(newNode);
    } else if (ctrl && shiftKey) {
        SelectNodes(rangeAnchor_ ? rangeAnchor_ : GetFirstNoInit(), newNode, true);
        Invalidate();
        Change(nullptr);
    } else {
        if (!(newNode->States & vsSelected))
            AddToSelection(newNode);
        InvalidateNode(newNode);
        rangeAnchor_ = newNode;
    }
}

void TBaseVirtualTree::HandleMouseUp(TMessage& message, const THitInfo& hitInfo)
{
    std::weak_ptr<void> alive = AliveToken();
    // 1
    ReleaseTreeCapture();
    if (states_ & tsVCLDragging)
        return;
    // 2: the rubber band ends.
    if (states_ & (tsDrawSelPending | tsDrawSelecting)) {
        DoStateChange(0, tsDrawSelPending | tsDrawSelecting);
        selectionRect_ = RECT{};
        Invalidate();
    }
    // 3: a press on a selected node that did not become a drag leaves that node alone selected.
    if (states_ & tsClearPending) {
        PVirtualNode focused = focusedNode_;
        const bool keep = focused && (focused->States & vsSelected);
        const unsigned before = SelectedCount();
        if (before > (keep ? 1u : 0u)) {
            InternalClearSelection();
            if (keep)
                InternalAddToSelection(focused, true);
            Invalidate();
            Change(keep ? focused : nullptr);
        }
        DoStateChange(0, tsClearPending);
        if (alive.expired())
            return;
    }
    // 4: a Ctrl press on a node that might have been dragged toggles it now.
    if ((states_ & tsToggleFocusedSelection) && hitInfo.HitNode && hitInfo.HitNode == focusedNode_) {
        if (focusedNode_->States & vsSelected)
            RemoveFromSelection(focusedNode_);
        else
            AddToSelection(focusedNode_);
        InvalidateNode(focusedNode_);
        if (alive.expired())
            return;
    }
    // 5
    clearPendingDrag_ = false;
    DoStateChange(0, tsToggleFocusedSelection | tsClearPending | tsOLEDragPending | tsVCLDragPending |
                         tsScrollPending | tsScrolling);
    StopTimer(ScrollTimer);

    const TShiftState shift = ShiftFromMouseKeys(message.WParam) & (ssShift | ssCtrl | ssAlt);
    // 6: the check state goes only when the button comes up over the same row.
    if (states_ & tsMouseCheckPending) {
        DoStateChange(0, tsMouseCheckPending);
        PVirtualNode node = pendingCheckNode_;
        const TCheckState newState = pendingCheckState_;
        SetPendingCheck(nullptr, csUncheckedNormal);
        if (node) {
            node->CheckState &= ~1;
            if (hitInfo.HitNode == node)
                DoCheckClick(node, newState);
            if (alive.expired())
                return;
            InvalidateNode(node);
        }
    }
    // 7
    const TColumnIndex clicked = header_->Columns().ClickIndex();
    if (clicked >= 0 && clicked == hitInfo.HitColumn) {
        DoColumnClick(clicked, shift);
        if (alive.expired())
            return;
    }
    // 8: click-and-wait editing starts after EditDelay.
    if (states_ & tsEditPending) {
        if (hitInfo.HitNode && hitInfo.HitNode == focusedNode_ && CanEdit(focusedNode_, focusedColumn_)) {
            editColumn_ = focusedColumn_;
            StartTimer(EditTimer, editDelay_);
        } else {
            DoStateChange(0, tsEditPending);
        }
    }
}

void TBaseVirtualTree::HandleMouseDblClick(TMessage& message, const THitInfo& hitInfo)
{
    std::weak_ptr<void> alive = AliveToken();
    // 1
    if (states_ & tsEditPending) {
        StopTimer(EditTimer);
        DoStateChange(0, tsEditPending);
    }
    if ((states_ & tsEditing) && !EndEditNode())
        return;
    if (alive.expired())
        return;
    // 2
    if (hitInfo.HitColumn == header_->Columns().ClickIndex()) {
        DoColumnDblClick(hitInfo.HitColumn, ShiftFromMouseKeys(message.WParam) & (ssShift | ssCtrl | ssAlt));
        if (alive.expired())
            return;
    }
    PVirtualNode node = hitInfo.HitNode;
    if (!node)
        return;
    const THitPositions positions = hitInfo.HitPositions;
    // 3, 4, 5
    if (positions & hpOnCheckBox) {
        if (!(states_ & (tsMouseCheckPending | tsKeyCheckPending)) && !(node->States & vsDisabled))
            StartCheckClick(node);
    } else if ((positions & hpOnButton) && (node->States & vsHasChildren)) {
        ToggleExpanded(node);
    } else if (options_->MiscOptions() & toToggleOnDblClick) {
        const bool onNode = (positions & (hpOnLabel | hpOnNormalImage | hpOnStateImage)) != 0 ||
                            (options_->SelectionOptions() & toFullRowSelect);
        if (onNode && (node->States & vsHasChildren))
            ToggleExpanded(node);
    }
}

// ---------------------------------------------------------------------------
// Moves, hot tracking and the cursor

bool TBaseVirtualTree::CanAutoScroll() const
{
    if (states_ & tsPanning)
        return true;
    return (options_->AutoOptions() & toAutoScroll) &&
           (states_ & (tsDrawSelPending | tsDrawSelecting | tsOLEDragging | tsVCLDragging | tsScrollPending |
                       tsScrolling));
}

bool TBaseVirtualTree::HandleMouseMove(TMessage& message)
{
    const POINT p = PointFromLParam(message.LParam);
    lastMouseMove_ = p;
    const bool band = (states_ & (tsDrawSelPending | tsDrawSelecting)) != 0;
    if (!band) {
        if ((states_ & tsWheelPanning) &&
            Beyond(p, panningStart_, GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG)))
            DoStateChange(0, tsWheelPanning);   // panning now ends with the release
        // A press on a selected node that moved far enough becomes a drag
        // (which keeps the selection), like any pending drag.
        const bool clickDrag = dragType_ == dtOLE && (states_ & tsClearPending) && clearPendingDrag_;
        if ((clickDrag || (states_ & tsOLEDragPending)) &&
            Beyond(p, LastClickPos(), DragThreshold(), DragThreshold())) {
            clearPendingDrag_ = false;
            DoDragging(LastClickPos());
            return true;
        }
    }
    if (CanAutoScroll())
        DoAutoScroll(p.x, p.y);
    if (states_ & tsPanning)
        AdjustPanningCursor(p.x, p.y);
    if (!band) {
        std::weak_ptr<void> alive = AliveToken();
        if (!(states_ & tsPanning))
            HandleHotTrack(p.x, p.y);
        if (alive.expired())
            return false;
        TWinControl::WndProc(message);
        // The system asked for the cursor before this move came: it follows
        // the new hot node and whatever OnMouseMove changed (the Cursor) now.
        const RECT client = ClientRect();
        HWND capture = GetCapture();
        if (!alive.expired() && HandleAllocated() && !(states_ & tsPanning) && PtInRect(&client, p) &&
            (!capture || capture == Handle()))
            SendMessageW(Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return false;
    }
    UpdateRubberBand(p, (states_ & tsDrawSelPending) != 0);
    return false;
}

void TBaseVirtualTree::HandleHotTrack(int x, int y)
{
    if (!HandleAllocated())
        return;
    THitInfo hit;
    HitTestAt(x, y, hit, true);
    PVirtualNode hot = nullptr;
    if (hit.HitNode && ((hit.HitPositions & (hpOnLabel | hpOnCheckBox)) ||
                        (options_->SelectionOptions() & toFullRowSelect)))
        hot = hit.HitNode;
    if (hot == currentHotNode_)
        return;
    std::weak_ptr<void> alive = AliveToken();
    SetHotNode(hot);
    if (alive.expired() || !HandleAllocated())
        return;
    if (hot) {
        // The hot node goes when the mouse leaves, whatever else asked the
        // system to watch the mouse meanwhile (one watch per thread).
        // Asking whether the system still watches this window costs little;
        // a new watch costs more than the rest of a hot-tracking step.
        TRACKMOUSEEVENT track{sizeof track, TME_QUERY, nullptr, 0};
        if (!TrackMouseEvent(&track) || track.hwndTrack != Handle() || !(track.dwFlags & TME_LEAVE)) {
            track = TRACKMOUSEEVENT{sizeof track, TME_LEAVE, Handle(), 0};
            TrackMouseEvent(&track);
        }
    }
    // After a scroll under a resting mouse the cursor follows too, unless
    // it is the one shown already: what the tree set last while the mouse
    // has stayed in its client area, and still the system's cursor (another
    // window, a menu or a message box may have set its own without the tree
    // being told; asking is a round trip, made only when the rest agrees).
    const RECT client = ClientRect();
    const POINT p{x, y};
    if (!PtInRect(&client, p) ||
        (!OnGetCursor && ChosenCursor() == shownCursor_ && MouseInside() && ::GetCursor() == shownCursor_))
        return;
    HWND capture = GetCapture();
    if (!capture || capture == Handle())
        SendMessageW(Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

namespace {
// The shared arrow, looked up once: asking the system for it costs more
// than the rest of a hot-tracking step.
HCURSOR ArrowCursor()
{
    static const HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    return arrow;
}
}   // namespace

HCURSOR TBaseVirtualTree::ChosenCursor()
{
    if ((options_->PaintOptions() & toHotTrack) && currentHotNode_ && hotCursor_)
        return hotCursor_;
    return Cursor() ? Cursor() : ArrowCursor();
}

bool TBaseVirtualTree::HandleSetCursor(TMessage& message)
{
    if (!HandleAllocated() || reinterpret_cast<HWND>(message.WParam) != Handle() ||
        LOWORD(message.LParam) != HTCLIENT)
        return false;
    if (!(states_ & tsPanning)) {
        HCURSOR cursor = ChosenCursor();
        DoGetCursor(cursor);
        if (cursor) {
            ::SetCursor(cursor);
            shownCursor_ = cursor;
        }
    }
    message.Result = 1;
    return true;
}

// ---------------------------------------------------------------------------
// Rubber band

void TBaseVirtualTree::UpdateRubberBand(POINT clientPoint, bool pending)
{
    if (!HandleAllocated())
        return;
    const RECT oldRect = Normalized(bandStart_, bandEnd_);
    bandEnd_ = POINT{clientPoint.x - offsetX_, clientPoint.y - offsetY_};
    const RECT newRect = Normalized(bandStart_, bandEnd_);
    selectionRect_ = newRect;
    std::weak_ptr<void> alive = AliveToken();
    if (pending) {
        if (!Beyond(bandStart_, bandEnd_, GetSystemMetrics(SM_CXDRAG) + 1, GetSystemMetrics(SM_CYDRAG) + 1))
            return;
        if (states_ & tsClearPending)
            ClearSelection();
        DoStateChange(tsDrawSelecting, tsDrawSelPending);
        if (header_->UseColumns())
            focusedColumn_ = header_->MainColumn();
        const RECT start{bandStart_.x, bandStart_.y, bandStart_.x, bandStart_.y};
        HandleDrawSelection(start, newRect);
        if (alive.expired())
            return;
        InvalidateRect(Handle(), nullptr, FALSE);
        UpdateWindow(Handle());
        return;
    }
    if (EqualRect(&oldRect, &newRect))
        return;
    if (HandleDrawSelection(oldRect, newRect)) {
        if (alive.expired())
            return;
        InvalidateRect(Handle(), nullptr, FALSE);
    } else {
        RECT both;
        UnionRect(&both, &oldRect, &newRect);
        OffsetRect(&both, offsetX_, offsetY_);
        InflateRect(&both, 1, 1);
        InvalidateRect(Handle(), &both, FALSE);
    }
    UpdateWindow(Handle());
}

bool TBaseVirtualTree::HandleDrawSelection(const RECT& oldRect, const RECT& newRect)
{
    if (visibleCount_ == 0)
        return false;
    const bool toggle = (drawSelShiftState_ & ssCtrl) != 0;
    const TVTSelectionOptions selection = options_->SelectionOptions();
    const TVTPaintOptions paint = options_->PaintOptions();
    const bool simple = (selection & toSimpleDrawSelection) != 0;
    const RECT client = ClientRect();
    const int fullWidth = std::max<int>(client.right, rangeX_);

    // The main column's cell (absolute), widened over following empty
    // columns with toAutoSpanColumns.
    TVirtualTreeColumns& columns = header_->Columns();
    const TColumnIndex mainColumn = header_->MainColumn();
    TVirtualTreeColumn* main = columns.IsValidColumn(mainColumn) ? columns[mainColumn] : nullptr;
    const int cellLeft = main ? main->Left() : 0;
    const int mainRight = main ? main->Left() + main->Width() : fullWidth;
    TAlignment alignment = main ? main->Alignment() : alignment_;
    const bool rightToLeft = main ? main->UseRightToLeftReading() : UseRightToLeftReading();
    if (rightToLeft && alignment != TAlignment::taCenter)
        alignment = alignment == TAlignment::taLeftJustify ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
    const bool checks = (options_->MiscOptions() & toCheckSupport) && checkImages_;

    const int top = std::min(oldRect.top, newRect.top), bottom = std::max(oldRect.bottom, newRect.bottom);
    int nodeTop = 0;
    PVirtualNode run = NodeAtPosition(0, std::max(0, top), false, nodeTop);
    auto inside = [](const RECT& r, int left, int right, int rowTop, int rowBottom) {
        return left < r.right && right > r.left && rowTop < r.bottom && rowBottom > r.top;
    };
    ClearTempCache();
    bool removed = false;
    for (; run && nodeTop < bottom; run = GetNextVisible(run)) {
        const int rowBottom = nodeTop + static_cast<int>(NodeHeightOf(run));
        int left = 0, right = fullWidth;
        if (!simple) {
            int cellRight = mainRight;
            if (main && (options_->AutoOptions() & toAutoSpanColumns))
                for (TColumnIndex next = columns.GetNextVisibleColumn(mainColumn);
                     next >= 0 && ColumnIsEmpty(run, next); next = columns.GetNextVisibleColumn(next))
                    cellRight = columns[next]->Left() + columns[next]->Width();
            int width = static_cast<int>((NodeLevel(run) + ((paint & toShowRoot) ? 1 : 0)) * indent_) + margin_;
            if (checks && run->CheckType != ctNone)
                width += checkImages_->Width() + 2;
            width += ImageWidth(*this, run, ikState, mainColumn) + ImageWidth(*this, run, ikNormal, mainColumn);
            width += DoGetNodeWidth(run, mainColumn, &Canvas());
            left = cellLeft;
            right = cellRight;
            if (width < cellRight - cellLeft) {
                if (alignment == TAlignment::taLeftJustify)
                    right = cellLeft + width;
                else if (alignment == TAlignment::taRightJustify)
                    left = cellRight - width;
                else {
                    left = cellLeft + (cellRight - cellLeft - width) / 2;
                    right = left + width;
                }
            }
        }
        const bool inOld = inside(oldRect, left, right, nodeTop, rowBottom);
        const bool inNew = inside(newRect, left, right, nodeTop, rowBottom);
        if (inOld != inNew) {
            const bool selected = (run->States & vsSelected) != 0;
            if (toggle ? selected : !inNew) {
                if (selected) {
                    InternalRemoveFromSelection(run);
                    removed = true;
                }
            } else if (!selected) {
                InternalCacheNode(run);
            }
        }
        nodeTop = rowBottom;
    }
    bool changed = removed;
    if (removed)
        CompactSelection();
    if (tempNodeCount_ > 0 && InternalAddToSelection(tempNodeCache_.data(), tempNodeCount_, false))
        changed = true;
    ClearTempCache();
    if (changed)
        Change(nullptr);
    return changed;
}

// ---------------------------------------------------------------------------
// Popup menus

bool TBaseVirtualTree::ShowContextPopup(POINT screen)
{
    if (!popupMenu_ || !popupMenu_->AutoPopup || !HandleAllocated())
        return false;
    if (screen.x == -1 && screen.y == -1) {
        // From the keyboard: at the focused node, or the window's corner.
        POINT p{0, 0};
        if (focusedNode_) {
            const RECT r = NodeDisplayRect(focusedNode_, focusedColumn_, true);
            p = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        }
        screen = ClientToScreen(p);
    }
    popupMenu_->PopupComponent = this;
    popupMenu_->Popup(screen.x, screen.y);
    return true;
}

// ---------------------------------------------------------------------------
// Drop effect

DWORD TBaseVirtualTree::SuggestDropEffect(TObject* source, TShiftState shift, POINT, DWORD allowedEffects)
{
    DWORD effect = allowedEffects;
    if (source != this && (allowedEffects & DROPEFFECT_COPY))
        effect = DROPEFFECT_COPY;
    else if (source == this && (allowedEffects & DROPEFFECT_MOVE))
        effect = DROPEFFECT_MOVE;
    const bool ctrl = (shift & ssCtrl) != 0, shiftKey = (shift & ssShift) != 0, alt = (shift & ssAlt) != 0;
    if ((ctrl && shiftKey) || alt) {
        if (allowedEffects & DROPEFFECT_LINK)
            effect = DROPEFFECT_LINK;
    } else if (ctrl) {
        if (allowedEffects & DROPEFFECT_COPY)
            effect = DROPEFFECT_COPY;
    } else if (shiftKey) {
        if (allowedEffects & DROPEFFECT_MOVE)
            effect = DROPEFFECT_MOVE;
    }
    return effect;
}

// ---------------------------------------------------------------------------
// Wheel panning

void TBaseVirtualTree::StartWheelPanning(POINT position)
{
    const RECT client = ClientRect();
    const bool canX = rangeX_ > client.right, canY = RangeY() > client.bottom;
    const wchar_t* name = canX && canY ? L"VT_MOVEALL" : canX ? L"VT_MOVEEW" : L"VT_MOVENS";
    auto bitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0,
                                                  LR_CREATEDIBSECTION));
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight == 0) {
        if (bitmap)
            DeleteObject(bitmap);
        AssertFailed("Invalid wheel panning image.", __FILE__, __LINE__);
        return;
    }
    const int width = info.bmWidth, height = std::abs(info.bmHeight);
    RegisterPanningClass();
    const POINT screen = ClientToScreen(position);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kPanningClass, L"",
                                  WS_POPUP, screen.x - width / 2, screen.y - height / 2, width, height, Handle(),
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        DeleteObject(bitmap);
        return;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bitmap));
    SetWindowRgn(window, RegionFromBitmap(bitmap, width, height), FALSE);   // the window owns the region
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    panning_.Destroy();
    panning_.handle = window;
    panning_.canScrollX = canX;
    panning_.canScrollY = canY;
    panningStart_ = position;
    SetCapture(Handle());
    DoStateChange(tsPanning | tsWheelPanning);
    StartTimer(ScrollTimer, kPanningInterval);
    AdjustPanningCursor(position.x, position.y);
}

void TBaseVirtualTree::StopWheelPanning()
{
    if (!(states_ & (tsPanning | tsWheelPanning)) && !panning_.handle)
        return;
    StopTimer(ScrollTimer);
    DoStateChange(0, tsPanning | tsWheelPanning | tsScrollPending | tsScrolling);
    panning_.Destroy();
    ReleaseTreeCapture();
    shownCursor_ = Cursor() ? Cursor() : ArrowCursor();
    ::SetCursor(shownCursor_);
}

void TBaseVirtualTree::AdjustPanningCursor(int x, int y)
{
    const int dx = x - panningStart_.x, dy = y - panningStart_.y;
    const bool canX = panning_.canScrollX, canY = panning_.canScrollY;
    const bool north = canY && dy < -kPanningDeadZone, south = canY && dy > kPanningDeadZone;
    const bool west = canX && dx < -kPanningDeadZone, east = canX && dx > kPanningDeadZone;
    const wchar_t* name;
    if (north)
        name = east ? L"VT_MOVENE" : west ? L"VT_MOVENW" : L"VT_MOVEN";
    else if (south)
        name = east ? L"VT_MOVESE" : west ? L"VT_MOVESW" : L"VT_MOVES";
    else if (east)
        name = L"VT_MOVEE";
    else if (west)
        name = L"VT_MOVEW";
    else
        name = canX && canY ? L"VT_MOVEALL" : canX ? L"VT_MOVEEW" : L"VT_MOVENS";
    if (HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), name)) {
        ::SetCursor(cursor);
        shownCursor_ = cursor;
    }
}

void TBaseVirtualTree::PanningStep()
{
    if (!HandleAllocated())
        return;
    POINT p;
    GetCursorPos(&p);
    p = ScreenToClient(p);
    AdjustPanningCursor(p.x, p.y);
    // Further from the start point, faster.
    auto speed = [](int distance) {
        const int beyond = std::abs(distance) - kPanningDeadZone;
        if (beyond <= 0)
            return 0;
        const int step = beyond / kPanningSlowDown + 1;
        return distance < 0 ? -step : step;
    };
    const int dx = panning_.canScrollX ? speed(p.x - panningStart_.x) : 0;
    const int dy = panning_.canScrollY ? speed(p.y - panningStart_.y) : 0;
    if (dx != 0 || dy != 0)
        DoSetOffsetXY(POINT{offsetX_ - dx, offsetY_ - dy}, DefaultScrollUpdateFlags);
}
