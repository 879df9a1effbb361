// Keys, characters and the incremental search.
//
// A key-down reaches the tree through KeyDown after OnKeyDown and
// OnKeyAction. Navigation keys move the focus and, by the modifiers, clear,
// extend or range-select; the other keys check, edit, expand, select all,
// ask for help or the context menu. A printable key that does none of this
// marks an incremental search as pending, and the character the key makes
// (WM_CHAR) runs it. The window is a Unicode one: WM_CHAR brings UTF-16
// already and goes into the search text as it is.
#include <windows.h>

#include <algorithm>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Application.h"
#include "platform/Text.h"

namespace {

constexpr TShiftState kModifiers = ssShift | ssCtrl | ssAlt;

TCheckState NormalVariant(uint8_t state) { return static_cast<TCheckState>(state & ~1u); }
TCheckState PressedVariant(uint8_t state) { return static_cast<TCheckState>(state | 1u); }

// What the space key makes of a check control.
TCheckState NextKeyCheckState(TCheckType type, TCheckState state)
{
    switch (type) {
    case ctRadioButton:
        return csCheckedNormal;
    case ctButton:
        return csUncheckedNormal;
    default:
        return NormalVariant(state) == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages

bool TBaseVirtualTree::KeyboardMessage(TMessage& message)
{
    switch (message.Msg) {
    case WM_CHAR:
        // The character of a key that started (or continues) a search; the
        // window layer's handling (OnKeyPress) follows.
        if ((states_ & tsIncrementalSearchPending) && incrementalSearch_ != isNone)
            IncrementalSearchChar(static_cast<wchar_t>(message.WParam));
        return false;
    case WM_TIMER:
        if (message.WParam != SearchTimer)
            return false;
        EndIncrementalSearch();
        message.Result = 0;
        return true;
    case WM_CANCELMODE:
        // What waits for the mouse ends here; the rubber band, a pressed
        // check box and wheel panning end with the mouse handling.
        StopPendingTimers();
        EndIncrementalSearch();
        DropKeyCheck();
        DoStateChange(0, tsClearPending | tsEditPending | tsOLEDragPending | tsVCLDragPending |
                             tsToggleFocusedSelection | tsScrollPending | tsScrolling);
        return false;
    case WM_KILLFOCUS: {
        StopPendingTimers();
        EndIncrementalSearch();
        DropKeyCheck();
        DoStateChange(0, tsEditPending | tsScrollPending | tsScrolling | tsLeftButtonDown | tsRightButtonDown |
                             tsMiddleButtonDown | tsOLEDragPending | tsVCLDragPending);
        // The selection changes colour with the focus.
        if ((options_->PaintOptions() & toGhostedIfUnfocused) && SelectedCount() == 0)
            InvalidateNode(focusedNode_);
        else
            Invalidate();
        return false;
    }
    case WM_SETFOCUS:
        if ((options_->PaintOptions() & toGhostedIfUnfocused) && SelectedCount() == 0)
            InvalidateNode(focusedNode_);
        else
            Invalidate();
        return false;
    default:
        return false;
    }
}

void TBaseVirtualTree::StopPendingTimers()
{
    for (UINT_PTR id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, SearchTimer})
        StopTimer(id);
}

void TBaseVirtualTree::KeyDown(WORD& key, TShiftState shift)
{
    std::weak_ptr<void> alive = AliveToken();
    TWinControl::KeyDown(key, shift);
    if (alive.expired() || key == 0)
        return;
    WORD code = key;
    shift &= kModifiers;
    if (!DoKeyAction(code, shift) || alive.expired())
        return;
    HandleKey(code, shift);
}

void TBaseVirtualTree::KeyUp(WORD& key, TShiftState shift)
{
    std::weak_ptr<void> alive = AliveToken();
    TWinControl::KeyUp(key, shift);
    if (alive.expired() || key != VK_SPACE || !(states_ & tsKeyCheckPending))
        return;
    // The space key let go: the check state it asked for is applied.
    DoStateChange(0, tsKeyCheckPending);
    PVirtualNode node = pendingCheckNode_;
    pendingCheckNode_ = nullptr;
    if (!node)
        return;
    node->CheckState = NormalVariant(node->CheckState);
    if (node == focusedNode_)
        DoCheckClick(node, pendingCheckState_);
    InvalidateNode(node);
}

void TBaseVirtualTree::DropKeyCheck()
{
    if (!(states_ & tsKeyCheckPending))
        return;
    DoStateChange(0, tsKeyCheckPending);
    if (pendingCheckNode_) {
        pendingCheckNode_->CheckState = NormalVariant(pendingCheckNode_->CheckState);
        InvalidateNode(pendingCheckNode_);
    }
    pendingCheckNode_ = nullptr;
}

// ---------------------------------------------------------------------------
// Keys

void TBaseVirtualTree::HandleKey(WORD key, TShiftState shift)
{
    if (key != VK_SPACE)
        DropKeyCheck();
    DoStateChange(0, tsIncrementalSearchPending);
    if (NavigationKey(key, shift))
        return;

    const bool ctrl = (shift & ssCtrl) != 0;
    const bool searching = (states_ & tsIncrementalSearching) != 0;
    const bool canSearch = incrementalSearch_ != isNone;
    // A key that types a character for the search (never with Ctrl or Alt).
    auto searchKey = [&] {
        if (canSearch && !(shift & (ssCtrl | ssAlt)))
            DoStateChange(tsIncrementalSearchPending);
    };
    switch (key) {
    case VK_ESCAPE:
        if (states_ & (tsDrawSelPending | tsDrawSelecting)) {
            DoStateChange(0, tsDrawSelPending | tsDrawSelecting);
            Invalidate();
        } else if (states_ & (tsEditing | tsEditPending)) {
            CancelEditNode();
        }
        return;
    case VK_SPACE: {
        if (!(options_->MiscOptions() & toCheckSupport)) {
            searchKey();
            return;
        }
        PVirtualNode node = focusedNode_;
        if (!node || node->CheckType == ctNone || (node->States & vsDisabled) ||
            (states_ & (tsMouseCheckPending | tsKeyCheckPending)))
            return;
        TCheckState next = NextKeyCheckState(static_cast<TCheckType>(node->CheckType),
                                              static_cast<TCheckState>(node->CheckState));
        if (!DoChecking(node, next))
            return;
        // Pressed until the key goes up.
        DoStateChange(tsKeyCheckPending);
        pendingCheckNode_ = node;
        pendingCheckState_ = next;
        node->CheckState = PressedVariant(node->CheckState);
        InvalidateNode(node);
        return;
    }
    case VK_APPS: {
        RECT client = ClientRect();
        POINT p{client.right / 2, client.bottom / 2};
        if (focusedNode_) {
            const RECT r = NodeDisplayRect(focusedNode_, focusedColumn_, false);
            if (!IsRectEmpty(&r))
                p = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        }
        DoPopupMenu(focusedNode_, focusedNode_ ? focusedColumn_ : NoColumn, p);
        return;
    }
    case 'A':
    case VK_NUMPAD1:
        if (!ctrl)
            searchKey();
        else if (options_->SelectionOptions() & toMultiSelect)
            SelectAll(true);
        return;
    case VK_MULTIPLY:
    case VK_ADD:
    case VK_SUBTRACT:
    case VK_DIVIDE: {
        if (searching) {
            searchKey();
            return;
        }
        const bool both = ctrl && (shift & ssShift);
        PVirtualNode node = focusedNode_;
        switch (key) {
        case VK_MULTIPLY:
            if (node)
                ExpandAll(node);
            break;
        case VK_DIVIDE:
            if (node)
                CollapseAll(node);
            break;
        case VK_ADD:
            if (both)
                ExpandAll(nullptr);
            else if (ctrl)
                header_->AutoFitColumns(true);
            else if (node && !(node->States & vsExpanded))
                ToggleExpanded(node);
            break;
        default:
            if (both)
                CollapseAll(nullptr);
            else if (ctrl)
                header_->RestoreColumns();
            else if (node && (node->States & vsExpanded))
                ToggleExpanded(node);
            break;
        }
        return;
    }
    case VK_F1: {
        if (!OnGetHelpContext)
            return;
        int context = 0;
        if (!focusedNode_)
            OnGetHelpContext(this, nullptr, focusedColumn_, context);
        for (PVirtualNode run = focusedNode_; run && run != root_ && context == 0; run = run->Parent)
            OnGetHelpContext(this, run, focusedColumn_, context);
        if (context != 0)
            Application().HelpContext(context);
        return;
    }
    case VK_F2:
        if (shift == 0 && focusedNode_ && !IsEditing() && CanEdit(focusedNode_, focusedColumn_)) {
            editColumn_ = focusedColumn_;
            DoEdit();
        }
        return;
    default:
        if (key >= 32)
            searchKey();
        return;
    }
}

bool TBaseVirtualTree::NavigationKey(WORD key, TShiftState shift)
{
    switch (key) {
    case VK_BACK:
        if (states_ & tsIncrementalSearching) {
            DoStateChange(tsIncrementalSearchPending);
            return true;
        }
        break;
    case VK_TAB:
        // Only with a focus that moves between the cells of a visible header.
        if (!(options_->SelectionOptions() & toExtendedFocus) || !(header_->Options() & hoVisible) ||
            !header_->UseColumns())
            return false;
        break;
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        break;
    default:
        return false;
    }

    const TVTSelectionOptions selection = options_->SelectionOptions();
    const TVTMiscOptions misc = options_->MiscOptions();
    const bool multi = (selection & toMultiSelect) != 0;
    const bool grid = (misc & toGridExtensions) != 0;
    const bool rightToLeft = UseRightToLeftAlignment();
    const bool ctrl = (shift & ssCtrl) != 0;
    const bool extend = (shift & ssShift) && multi && !IsEditing();
    bool range = extend && (key == VK_PRIOR || key == VK_NEXT || key == VK_END || key == VK_HOME);
    bool repaintAll = range || SelectedCount() > 1;
    // With grid extensions Ctrl is no modifier: only Shift counts.
    const TShiftState modifiers = grid ? (shift & ssShift) : shift;
    const bool clearFirst = modifiers == 0 || !multi || key == VK_BACK || key == VK_TAB;

    PVirtualNode oldFocus = focusedNode_;
    PVirtualNode node = focusedNode_;
    if (!node && shift != 0)
        node = FirstVisibleNode();
    PVirtualNode anchor = rangeAnchor_;
    if (!anchor)
        anchor = FirstSelected();
    if (!anchor)
        anchor = GetFirst();

    // Where the focus goes (node and column); nil: it stays.
    PVirtualNode newNode = nullptr;
    TColumnIndex newColumn = focusedColumn_;
    TVirtualTreeColumns& columns = header_->Columns();
    const bool headerVisible = (header_->Options() & hoVisible) && header_->UseColumns();
    const RECT client = ClientRect();

    switch (key) {
    case VK_BACK:
        if (node && node->Parent != root_)
            newNode = node->Parent;
        break;
    case VK_TAB: {
        const bool back = (shift & ssShift) != 0;
        PVirtualNode run = node ? node : (back ? LastVisibleNode() : FirstVisibleNode());
        TColumnIndex column = node ? focusedColumn_ : InvalidColumn;
        while (run) {
            if (columns.IsValidColumn(column))
                column = back ? columns.GetPreviousVisibleColumn(column) : columns.GetNextVisibleColumn(column);
            else if (run == node)
                column = back ? columns.GetLastVisibleColumn() : columns.GetFirstVisibleColumn();
            if (!columns.IsValidColumn(column)) {
                // Past the last (first) cell of the row: the next (previous) row.
                run = back ? PreviousVisibleNode(run) : NextVisibleNode(run);
                if (!run)
                    break;
                column = back ? columns.GetLastVisibleColumn() : columns.GetFirstVisibleColumn();
                if (!columns.IsValidColumn(column))
                    break;
            }
            if (DoFocusChanging(focusedNode_, run, focusedColumn_, column)) {
                newNode = run;
                newColumn = column;
                break;
            }
        }
        break;
    }
    case VK_PRIOR:
    case VK_NEXT: {
        const bool down = key == VK_NEXT;
        if (ctrl) {
            SetOffsetY(offsetY_ + (down ? -client.bottom : client.bottom));
            break;
        }
        if (!node) {
            newNode = down ? LastVisibleNode() : FirstVisibleNode();
            break;
        }
        // The visible node a window's height away: the last one that still fits.
        int total = 0;
        PVirtualNode target = node;
        for (;;) {
            PVirtualNode next = down ? NextVisibleNode(target) : PreviousVisibleNode(target);
            if (!next)
                break;
            total += static_cast<int>(NodeHeightOf(down ? next : target));
            if (total > client.bottom && target != node)
                break;
            target = next;
        }
        newNode = target;
        break;
    }
    case VK_HOME:
    case VK_END: {
        const bool home = key == VK_HOME;
        PVirtualNode target = home ? FirstVisibleNode() : LastVisibleNode();
        if (headerVisible) {
            // The first cell from that side the application lets the focus take.
            const bool fromLeft = home != rightToLeft;
            TColumnIndex column = fromLeft ? columns.GetFirstVisibleColumn() : columns.GetLastVisibleColumn();
            while (columns.IsValidColumn(column) &&
                   !DoFocusChanging(focusedNode_, target ? target : focusedNode_, focusedColumn_, column))
                column = fromLeft ? columns.GetNextVisibleColumn(column) : columns.GetPreviousVisibleColumn(column);
            if (columns.IsValidColumn(column) && grid && !(selection & toFullRowSelect))
                newColumn = column;
        }
        if (shift == ssCtrl && !grid) {
            // Ctrl alone only scrolls.
            if (target)
                ScrollIntoView(target, false, false);
            SetOffsetX(home != rightToLeft ? 0 : -rangeX_);
            break;
        }
        if (!grid || ctrl)
            newNode = target;
        else if (newColumn != focusedColumn_)
            newNode = focusedNode_;
        break;
    }
    case VK_LEFT:
    case VK_RIGHT: {
        const bool left = key == VK_LEFT;
        if (ctrl) {
            const int step = static_cast<int>(indent_) * ((left != rightToLeft) ? 1 : -1);
            SetOffsetX(offsetX_ + step);
            break;
        }
        if ((selection & toExtendedFocus) && grid) {
            if (columns.IsValidColumn(focusedColumn_)) {
                TColumnIndex column =
                    left ? columns.GetPreviousVisibleColumn(focusedColumn_) : columns.GetNextVisibleColumn(focusedColumn_);
                if (columns.IsValidColumn(column) && node) {
                    newNode = node;
                    newColumn = column;
                }
            }
            break;
        }
        if (!node) {
            newNode = FirstVisibleNode();
            break;
        }
        const bool expanded = (node->States & vsExpanded) != 0;
        if (left) {
            if (shift == 0 && expanded && node->ChildCount > 0) {
                ToggleExpanded(node);
            } else if (node->Parent != root_) {
                PVirtualNode parent = node->Parent;
                if (extend) {
                    if (node != parent->FirstChild)
                        range = repaintAll = true;
                    else if (anchor && CompareNodePositions(parent, anchor) > 0)
                        RemoveFromSelection(node);
                }
                newNode = parent;
            }
        } else {
            if (shift == 0 && !expanded && (node->States & vsHasChildren)) {
                ToggleExpanded(node);
            } else if (expanded) {
                if (PVirtualNode child = FirstVisibleChildNode(node)) {
                    if (extend && anchor && CompareNodePositions(child, anchor) < 0)
                        RemoveFromSelection(node);
                    newNode = child;
                }
            }
        }
        break;
    }
    case VK_UP:
    case VK_DOWN: {
        const bool down = key == VK_DOWN;
        if (ctrl) {
            const int step = static_cast<int>(defaultNodeHeight_);
            SetOffsetY(offsetY_ + (down ? -step : step));
            break;
        }
        PVirtualNode target = node ? (down ? NextVisibleNode(node) : PreviousVisibleNode(node))
                                   : (down ? FirstVisibleNode() : LastVisibleNode());
        if (!target) {
            // Nowhere further to go.
            InvalidateNode(focusedNode_);
            break;
        }
        // Going back towards the anchor gives up the node left.
        if (extend && node && anchor && node != anchor &&
            (CompareNodePositions(node, anchor) > 0) == !down)
            RemoveFromSelection(node);
        if (focusedColumn_ == NoColumn && header_->UseColumns())
            newColumn = header_->MainColumn();
        newNode = target;
        break;
    }
    default:
        break;
    }

    if (newNode)
        SetFocusedNodeAndColumn(newNode, newColumn);

    // The selection follows the focus.
    const bool moved = focusedNode_ != oldFocus;
    bool changed = moved;
    if (clearFirst && (moved || SelectedCount() > 1)) {
        ClearSelection();
        changed = true;
    }
    if (shift == 0) {
        rangeAnchor_ = focusedNode_;
        lastSelectionLevel_ = focusedNode_ ? static_cast<int>(NodeLevel(focusedNode_)) : -1;
    }
    if (range && focusedNode_ && moved)
        SelectNodes(oldFocus ? oldFocus : FirstVisibleNode(), focusedNode_, true);
    if (changed && focusedNode_ && !(focusedNode_->States & vsSelected))
        AddToSelection(focusedNode_);
    if (repaintAll)
        Invalidate();
    return true;
}

// ---------------------------------------------------------------------------
// Incremental search

std::string TBaseVirtualTree::IncrementalSearchText() const
{
    return (states_ & tsIncrementalSearching) ? WideToUtf8(searchBuffer_) : std::string();
}

void TBaseVirtualTree::IncrementalSearchFailed() { MessageBeep(0); }

void TBaseVirtualTree::EndIncrementalSearch()
{
    StopTimer(SearchTimer);
    DoStateChange(0, tsIncrementalSearching | tsIncrementalSearchPending);
    searchBuffer_.clear();
    searchHighSurrogate_ = 0;
}

PVirtualNode TBaseVirtualTree::SearchStep(PVirtualNode node)
{
    const bool forward = searchDirection_ == sdForward;
    PVirtualNode next = nullptr;
    switch (incrementalSearch_) {
    case isVisibleOnly:
        if (node)
            next = forward ? NextVisibleNode(node) : PreviousVisibleNode(node);
        if (!next)
            next = forward ? FirstVisibleNode() : LastVisibleNode();
        break;
    case isInitializedOnly:
        if (forward) {
            if (node)
                next = NextInitializedNode(node);
            if (!next)
                next = FirstInitializedNode();
        } else {
            next = node ? PreviousNodeNoInit(node) : nullptr;
            if (!next)
                next = LastNodeNoInit();
            // At most once round the tree.
            for (PVirtualNode stop = next; next && !(next->States & vsInitialized);) {
                next = PreviousNodeNoInit(next);
                if (!next)
                    next = LastNodeNoInit();
                if (next == stop)
                    return nullptr;
            }
        }
        break;
    default:
        if (node)
            next = forward ? GetNext(node) : PreviousNode(node);
        if (!next)
            next = forward ? FirstNode() : LastNode();
        break;
    }
    return next;
}

void TBaseVirtualTree::IncrementalSearchChar(wchar_t ch)
{
    StopTimer(SearchTimer);
    // A search that ended some other way (the mode switched off meanwhile)
    // leaves no text behind.
    if (!(states_ & tsIncrementalSearching)) {
        searchBuffer_.clear();
        searchHighSurrogate_ = 0;
    }
    DoStateChange(tsIncrementalSearching, tsIncrementalSearchPending);
    std::weak_ptr<void> alive = AliveToken();

    // A character outside the basic plane comes as two messages.
    std::wstring typed(1, ch);
    if (IS_HIGH_SURROGATE(ch)) {
        searchHighSurrogate_ = ch;
        StartTimer(SearchTimer, searchTimeout_);
        return;
    }
    if (IS_LOW_SURROGATE(ch) && searchHighSurrogate_)
        typed.insert(typed.begin(), searchHighSurrogate_);
    searchHighSurrogate_ = 0;

    PVirtualNode start = nullptr;
    if (searchStart_ == ssLastHit)
        start = lastSearchNode_;
    else if (searchStart_ == ssFocusedNode)
        start = focusedNode_;
    if (start && ((incrementalSearch_ == isInitializedOnly && !(start->States & vsInitialized)) ||
                  (incrementalSearch_ == isVisibleOnly && !FullyVisible(start))))
        start = nullptr;

    bool advance = searchBuffer_.empty() || !start;
    if (ch == VK_BACK) {
        // The last character goes; the first one stays.
        const size_t last = searchBuffer_.size() >= 2 && IS_LOW_SURROGATE(searchBuffer_.back()) ? 2 : 1;
        if (searchBuffer_.size() <= last) {
            StartTimer(SearchTimer, searchTimeout_);
            return;
        }
        searchBuffer_.resize(searchBuffer_.size() - last);
        advance = true;
    } else if (searchBuffer_ == typed) {
        // The same character again: the start node stays only when it
        // matches the doubled text, else the next node with that letter.
        if (start && DoIncrementalSearch(start, WideToUtf8(searchBuffer_ + typed)) == 0)
            searchBuffer_ += typed;
        else
            advance = true;
        if (alive.expired())
            return;
    } else {
        searchBuffer_ += typed;
    }

    const std::string text = WideToUtf8(searchBuffer_);
    PVirtualNode first = advance ? SearchStep(start) : start;
    PVirtualNode found = nullptr;
    for (PVirtualNode run = first; run;) {
        if (DoIncrementalSearch(run, text) == 0) {
            found = run;
            break;
        }
        if (alive.expired())
            return;
        run = SearchStep(run);
        if (run == first)
            break;
    }
    if (alive.expired())
        return;
    if (found) {
        ClearSelection();
        lastSearchNode_ = found;
        SetFocusedNode(found);
        if (focusedNode_ == found)
            SetSelected(found, true);
    } else if (!start || DoIncrementalSearch(start, text) != 0) {
        if (alive.expired())
            return;
        IncrementalSearchFailed();
    }
    if (!alive.expired())
        StartTimer(SearchTimer, searchTimeout_);
}
