// Scrolling: the offsets of the virtual area, the scroll bars kept in step
// with it, scrolling a node into view, the scroll bar and wheel messages,
// and selecting every node.
//
// Offsets are 0 or negative and never pass min(0, client - virtual size),
// so a list shorter than the window stays at the top. Positions of the bars
// are 32-bit throughout (a dragged thumb is read through its track
// position, not the message's 16-bit HIWORD). While a burst of scrolls runs
// the bars' positions are set without drawing; they are drawn once when the
// burst is over (ScrollBarTimer).
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/ScrollBars.h"

namespace {
// How long after the last scroll the bars are drawn.
constexpr UINT kScrollBarRedrawDelay = 30;

// Where the mouse was (screen coordinates) for the wheel message being
// handled: the scroll it causes finds the row under the mouse there instead
// of asking the system for the cursor (a round trip to the display).
thread_local const POINT* t_wheelCursor = nullptr;

struct TWheelCursor {
    explicit TWheelCursor(const POINT* p) : previous(t_wheelCursor) { t_wheelCursor = p; }
    ~TWheelCursor() { t_wheelCursor = previous; }
    const POINT* previous;
};
}   // namespace

// ---------------------------------------------------------------------------
// The scroll operation

bool TBaseVirtualTree::DoSetOffsetXY(POINT value, TScrollUpdateOptions options, const RECT* clipRect)
{
    RECT client{0, 0, 0, 0};
    if (HandleAllocated())
        GetClientRect(Handle(), &client);
    const int clientWidth = client.right, clientHeight = client.bottom;
    value.x = std::max<LONG>(std::min<LONG>(value.x, 0), std::min(0, clientWidth - rangeX_));
    value.y = std::max<LONG>(std::min<LONG>(value.y, 0), std::min(0, clientHeight - RangeY()));
    int deltaX = value.x - offsetX_;
    const int deltaY = value.y - offsetY_;
    if (UseRightToLeftAlignment())
        deltaX = -deltaX;
    if (deltaX == 0 && deltaY == 0)
        return false;
    offsetX_ = value.x;
    offsetY_ = value.y;
    effectiveOffsetX_ = UseRightToLeftAlignment() ? std::max(0, rangeX_ - clientWidth + offsetX_) : -offsetX_;
    DoStateChange(tsCancelHintAnimation);
    if (updateCount_ == 0 && HandleAllocated()) {
        if (options & suoScrollClientArea) {
            const int fixed = header_->UseColumns() ? header_->Columns().GetVisibleFixedWidth() : 0;
            if ((options_->PaintOptions() & toShowBackground) && !background_.Empty()) {
                // A tiled picture moves with the rows: everything is drawn again.
                ScrollWindowEx(Handle(), deltaX, deltaY, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN);
                InvalidateRect(Handle(), nullptr, FALSE);
            } else {
                // Child windows (an editor) move along; without any the
                // system need not look for them.
                const UINT flags =
                    ChildWindowsToMove(deltaX, deltaY) ? SW_INVALIDATE | SW_SCROLLCHILDREN : SW_INVALIDATE;
                if (deltaX != 0 && fixed > 0) {
                    // The fixed columns stay: sideways only what is right of them.
                    RECT right = clipRect ? *clipRect : client;
                    right.left = std::max<LONG>(right.left, fixed);
                    ScrollWindowEx(Handle(), deltaX, 0, &right, &right, nullptr, nullptr, flags);
                    ScrollWindowEx(Handle(), 0, deltaY, clipRect, clipRect, nullptr, nullptr, flags);
                } else {
                    ScrollWindowEx(Handle(), deltaX, deltaY, clipRect, clipRect, nullptr, nullptr, flags);
                }
            }
        }
        if (options & suoUpdateNCArea) {
            if (deltaX != 0 && (options & suoRepaintHeader) && (header_->Options() & hoVisible))
                header_->Invalidate(nullptr);
            // Only the positions change here; the ranges are what they were.
            const bool redraw = (options & suoRepaintScrollBars) != 0;
            if (deltaX != 0)
                SetScrollBarPosition(SB_HORZ, effectiveOffsetX_, redraw);
            if (deltaY != 0)
                SetScrollBarPosition(SB_VERT, -offsetY_, redraw);
        }
    }
    // The row under a resting mouse changes with the scroll. The mouse's own
    // messages tell where it is: it is in the client area from its first
    // move there until it leaves (WM_MOUSELEAVE), at the wheel message's
    // point or else where it last moved. Asking the system for the cursor
    // and the window under it would cost two round trips a scroll.
    if (HandleAllocated() && MouseInside() && !(states_ & (tsPanning | tsDrawSelPending | tsDrawSelecting))) {
        const POINT cursor = t_wheelCursor ? ScreenToClient(*t_wheelCursor) : lastMouseMove_;
        if (PtInRect(&client, cursor))
            HandleHotTrack(cursor.x, cursor.y);
    }
    DoScroll(deltaX, deltaY);
    return true;
}

bool TBaseVirtualTree::ChildWindowsToMove(int dx, int dy)
{
    // Asking the system whether there are any is a round trip: it is asked
    // at the first scroll of a burst, and the answer is kept while the
    // scrolls follow each other (a child made meanwhile tells the tree).
    // A child window may come without telling (WS_EX_NOPARENTNOTIFY, or
    // moved onto the tree with SetParent): the system is asked again when
    // the burst ends, and such a child is moved by the scrolls it missed.
    const DWORD now = timeGetTime();
    const bool burstBegins = !childWindowsKnown_ || now - lastScrollTime_ >= kScrollBarRedrawDelay;
    lastScrollTime_ = now;
    if (burstBegins) {
        // A child found now more likely came while no scroll went on: the
        // scrolls before are none of its business.
        childScrollMissed_ = POINT{0, 0};
        LookForChildWindows();
    } else if (!hasChildWindows_) {
        childScrollMissed_.x += dx;
        childScrollMissed_.y += dy;
        KeepScrollBarTimer();
    }
    return hasChildWindows_;
}

void TBaseVirtualTree::LookForChildWindows()
{
    hasChildWindows_ = ControlCount() > 0 || GetWindow(Handle(), GW_CHILD) != nullptr;
    childWindowsKnown_ = true;
    const POINT missed = childScrollMissed_;
    childScrollMissed_ = POINT{0, 0};
    if (!hasChildWindows_ || (missed.x == 0 && missed.y == 0))
        return;
    std::vector<HWND> children;
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    for (HWND child : children) {
        RECT r;
        if (!GetWindowRect(child, &r))
            continue;
        MapWindowPoints(HWND_DESKTOP, Handle(), reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(child, nullptr, r.left + missed.x, r.top + missed.y, 0, 0,
                     SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void TBaseVirtualTree::SetOffsetX(int value) { DoSetOffsetXY(POINT{value, offsetY_}, DefaultScrollUpdateFlags); }

void TBaseVirtualTree::SetOffsetY(int value) { DoSetOffsetXY(POINT{offsetX_, value}, DefaultScrollUpdateFlags); }

void TBaseVirtualTree::SetScrollBarPosition(int bar, int position, bool redraw)
{
    const TScrollStyle bars = scrollBarOptions_->ScrollBars();
    const bool wanted = bar == SB_VERT ? (bars == ssVertical || bars == ssBoth)
                                       : (bars == ssHorizontal || bars == ssBoth);
    if (!wanted || !HandleAllocated())
        return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_POS;
    si.nPos = position;
    SetScrollInfo(Handle(), bar, &si, FALSE);
    if (redraw)
        ScrollBarsMoved();
}

void TBaseVirtualTree::ScrollBarsMoved()
{
    // One drawing for a burst: the timer is put off while the scrolls go on.
    // Restarting it is a round trip to the system, so it is restarted only
    // once half its delay has passed since it was last started: it then
    // runs out between half and all of the delay after the last scroll.
    scrollBarRedrawPending_ = true;
    KeepScrollBarTimer();
}

void TBaseVirtualTree::KeepScrollBarTimer()
{
    const DWORD now = timeGetTime();
    if (!(runningTimers_ & (1u << ScrollBarTimer)) || now - scrollBarTimerStart_ >= kScrollBarRedrawDelay / 2) {
        scrollBarTimerStart_ = now;
        StartTimer(ScrollBarTimer, kScrollBarRedrawDelay);
    }
}

void TBaseVirtualTree::RedrawScrollBarsNow()
{
    StopTimer(ScrollBarTimer);
    // The burst is over: a child that came during it unseen moves now.
    if (HandleAllocated() && (childScrollMissed_.x != 0 || childScrollMissed_.y != 0))
        LookForChildWindows();
    if (!scrollBarRedrawPending_)
        return;
    scrollBarRedrawPending_ = false;
    if (HandleAllocated())
        RedrawScrollBars(Handle());
}

// ---------------------------------------------------------------------------
// Scroll bars

void TBaseVirtualTree::UpdateScrollBars(bool doRepaint)
{
    if (!HandleAllocated() || updateCount_ > 0 || inScrollBarUpdate_)
        return;
    inScrollBarUpdate_ = true;
    // A bar that comes or goes changes the other direction's client size:
    // a second pass settles that. Ranges, pages and positions are set now;
    // drawing the bars (which costs far more than the change) waits until a
    // burst of changes is over, as the rows' repaint does.
    for (int pass = 0; pass < 2; ++pass) {
        const RECT before = ClientRect();
        UpdateVerticalScrollBar(false);
        UpdateHorizontalScrollBar(false);
        const RECT after = ClientRect();
        if (before.right == after.right && before.bottom == after.bottom)
            break;
    }
    inScrollBarUpdate_ = false;
    if (doRepaint)
        ScrollBarsMoved();
}

void TBaseVirtualTree::UpdateVerticalScrollBar(bool doRepaint)
{
    if (!HandleAllocated())
        return;
    const RECT client = ClientRect();
    const TScrollStyle bars = scrollBarOptions_->ScrollBars();
    const bool always = scrollBarOptions_->AlwaysVisible();
    // Positions 0..range - 1 with a page of the client height: the bar's
    // last position puts the last pixel row at the bottom of the window.
    const int range = RangeY();
    int position = -offsetY_;
    if (bars == ssVertical || bars == ssBoth) {
        if (client.bottom < range || always) {
            if (ShowScrollBarIfNeeded(Handle(), SB_VERT, true))
                DoShowScrollbar(SB_VERT, true);
            position = SetScrollBar(Handle(), SB_VERT, std::max(0, range - 1),
                                    static_cast<unsigned>(std::max<LONG>(0, client.bottom)), position, always,
                                    doRepaint);
        } else {
            SetScrollBar(Handle(), SB_VERT, 0, 0, 0, false, false);
            if (ShowScrollBarIfNeeded(Handle(), SB_VERT, false))
                DoShowScrollbar(SB_VERT, false);
            position = 0;
        }
    } else if (ShowScrollBarIfNeeded(Handle(), SB_VERT, false)) {
        DoShowScrollbar(SB_VERT, false);
    }
    // The offset follows the bar (clamped by the scroll operation).
    DoSetOffsetXY(POINT{offsetX_, -position}, DefaultScrollUpdateFlags & ~suoUpdateNCArea);
}

void TBaseVirtualTree::UpdateHorizontalScrollBar(bool doRepaint)
{
    if (!HandleAllocated())
        return;
    rangeX_ = header_->UseColumns() ? header_->Columns().TotalWidth() : HorizontalRangeWithoutColumns();
    const RECT client = ClientRect();
    const TScrollStyle bars = scrollBarOptions_->ScrollBars();
    const bool always = scrollBarOptions_->AlwaysVisible();
    const bool rightToLeft = UseRightToLeftAlignment();
    int effective = rightToLeft ? rangeX_ - client.right + offsetX_ : -offsetX_;
    if (bars == ssHorizontal || bars == ssBoth) {
        if (client.right < rangeX_ || always) {
            if (ShowScrollBarIfNeeded(Handle(), SB_HORZ, true))
                DoShowScrollbar(SB_HORZ, true);
            effective = SetScrollBar(Handle(), SB_HORZ, std::max(0, rangeX_ - 1),
                                     static_cast<unsigned>(std::max<LONG>(0, client.right)), std::max(0, effective),
                                     always, doRepaint);
        } else {
            SetScrollBar(Handle(), SB_HORZ, 0, 0, 0, false, false);
            if (ShowScrollBarIfNeeded(Handle(), SB_HORZ, false))
                DoShowScrollbar(SB_HORZ, false);
            effective = 0;
        }
        const int offset = rightToLeft ? client.right - rangeX_ + effective : -effective;
        DoSetOffsetXY(POINT{offset, offsetY_}, DefaultScrollUpdateFlags & ~suoUpdateNCArea);
    } else {
        if (ShowScrollBarIfNeeded(Handle(), SB_HORZ, false))
            DoShowScrollbar(SB_HORZ, false);
        DoSetOffsetXY(POINT{offsetX_, offsetY_}, DefaultScrollUpdateFlags & ~suoUpdateNCArea);
    }
    const RECT now = ClientRect();
    effectiveOffsetX_ = rightToLeft ? std::max(0, rangeX_ - static_cast<int>(now.right) + offsetX_) : -offsetX_;
}

// The widest row in the window.
int TBaseVirtualTree::HorizontalRangeWithoutColumns() { return GetMaxRightExtend(); }

// ---------------------------------------------------------------------------
// Scrolling a node into view

bool TBaseVirtualTree::ScrollIntoView(PVirtualNode node, bool center, bool horizontally)
{
    if (!node || node == root_ || !HandleAllocated())
        return false;
    // Collapsed ancestors are opened, from the parent upwards.
    for (PVirtualNode run = node->Parent; run && run != root_; run = run->Parent)
        if (!(run->States & vsExpanded))
            ToggleExpanded(run);
    if (!FullyVisible(node))
        return false;

    // The text of the main column, or the whole cell with grid extensions
    // (the text is measured only when it matters, for the horizontal part).
    const bool grid = (options_->MiscOptions() & toGridExtensions) != 0;
    const TColumnIndex column = header_->UseColumns() ? header_->MainColumn() : NoColumn;
    RECT r = NodeDisplayRect(node, column, horizontally && !grid);
    const RECT client = ClientRect();
    const int top = r.top;
    const int bottom = r.bottom;
    bool scrolled = false;
    int newOffsetY = offsetY_;
    if (top < 0) {
        newOffsetY = center ? offsetY_ - top + client.bottom / 2 : offsetY_ - top;
        scrolled = true;
    } else if (bottom > client.bottom || center) {
        newOffsetY = center ? offsetY_ + client.bottom / 2 - bottom : offsetY_ + client.bottom - bottom;
        // Without columns a horizontal bar that is about to appear takes room.
        if (!header_->UseColumns() && !(GetWindowLongPtrW(Handle(), GWL_STYLE) & WS_HSCROLL) &&
            client.right < rangeX_)
            newOffsetY -= GetSystemMetrics(SM_CYHSCROLL);
        scrolled = true;
    }
    // True only when the rows really moved (a short list can't).
    if (scrolled)
        scrolled = DoSetOffsetXY(POINT{offsetX_, newOffsetY}, DefaultScrollUpdateFlags);

    if (horizontally) {
        // Where the rectangle is after the vertical scroll does not matter here.
        const int fixed = header_->UseColumns() ? header_->Columns().GetVisibleFixedWidth() : 0;
        int newEffective = effectiveOffsetX_;
        bool move = false;
        if (fixed == 0) {
            if (r.right > client.right || r.left < 0) {
                newEffective = effectiveOffsetX_ + (r.left + r.right) / 2 - client.right / 2;
                move = true;
            }
        } else if (std::abs(r.left - fixed) > 1) {
            newEffective = effectiveOffsetX_ + (r.left - fixed);
            move = true;
        }
        if (move) {
            newEffective = std::max(0, newEffective);
            const int offset = UseRightToLeftAlignment() ? client.right - rangeX_ + newEffective : -newEffective;
            if (DoSetOffsetXY(POINT{offset, offsetY_}, DefaultScrollUpdateFlags))
                scrolled = true;
        }
    }
    return scrolled;
}

// ---------------------------------------------------------------------------
// Messages

void TBaseVirtualTree::WMScroll(TMessage& message)
{
    const bool vertical = message.Msg == WM_VSCROLL;
    const RECT client = ClientRect();
    const bool rightToLeft = !vertical && UseRightToLeftAlignment();
    int offset = vertical ? offsetY_ : offsetX_;
    const int increment = vertical ? scrollBarOptions_->VerticalIncrement() : scrollBarOptions_->HorizontalIncrement();
    const int page = vertical ? client.bottom : client.right;
    const int sign = rightToLeft ? -1 : 1;
    switch (LOWORD(message.WParam)) {
    case SB_LINEUP:
        offset += sign * increment;
        break;
    case SB_LINEDOWN:
        offset -= sign * increment;
        break;
    case SB_PAGEUP:
        offset += sign * page;
        break;
    case SB_PAGEDOWN:
        offset -= sign * page;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
        DoStateChange(tsThumbTracking);
        // The message carries 16 bits of the position; the bar knows all 32.
        const int track = ScrollTrackPosition(Handle(), vertical ? SB_VERT : SB_HORZ);
        offset = rightToLeft ? client.right - rangeX_ + track : -track;
        break;
    }
    case SB_TOP:
        offset = 0;
        break;
    case SB_BOTTOM:
        offset = vertical ? -RangeY() : -rangeX_;
        break;
    case SB_ENDSCROLL:
        DoStateChange(0, tsThumbTracking);
        if (vertical) {
            UpdateScrollBars(true);
            RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN | RDW_FRAME);
        } else {
            UpdateHorizontalScrollBar(true);
        }
        message.Result = 0;
        return;
    default:
        break;
    }
    if (vertical)
        DoSetOffsetXY(POINT{offsetX_, offset}, DefaultScrollUpdateFlags);
    else
        DoSetOffsetXY(POINT{offset, offsetY_}, DefaultScrollUpdateFlags);
    message.Result = 0;
}

void TBaseVirtualTree::WMMouseWheel(TMessage& message)
{
    if (states_ & (tsWheelPanning | tsWheelScrolling)) {
        StopTimer(ScrollTimer);
        DoStateChange(0, tsWheelPanning | tsWheelScrolling);
    }
    const int delta = static_cast<short>(HIWORD(message.WParam));
    const bool ctrl = (LOWORD(message.WParam) & MK_CONTROL) != 0;
    const RECT client = ClientRect();
    const POINT mouse{static_cast<short>(LOWORD(message.LParam)), static_cast<short>(HIWORD(message.LParam))};
    TWheelCursor wheelCursor(&mouse);
    if (RangeY() <= client.bottom) {
        // Everything fits vertically: the wheel moves sideways by Indent.
        const int indent = std::max(1, static_cast<int>(indent_));
        int step = ctrl ? (client.right / indent) * indent : indent;
        int dx = MulDiv(step, delta, WHEEL_DELTA);
        if (UseRightToLeftAlignment())
            dx = -dx;
        DoSetOffsetXY(POINT{offsetX_ + dx, offsetY_}, DefaultScrollUpdateFlags);
    } else {
        const int rowHeight = std::max(1, static_cast<int>(defaultNodeHeight_));
        const unsigned lines = WheelScrollLines();
        int rows;
        if (ctrl || lines == WHEEL_PAGESCROLL)
            rows = MulDiv(client.bottom / rowHeight, delta, WHEEL_DELTA);
        else
            rows = MulDiv(static_cast<int>(lines), delta, WHEEL_DELTA);
        DoSetOffsetXY(POINT{offsetX_, offsetY_ + rows * rowHeight}, DefaultScrollUpdateFlags);
    }
    message.Result = 0;
}

// ---------------------------------------------------------------------------
// Selecting every node

void TBaseVirtualTree::SelectAllNodes(bool visibleOnly)
{
    if (!(options_->SelectionOptions() & toMultiSelect) || root_->TotalCount < 2)
        return;
    std::vector<PVirtualNode> nodes;
    nodes.reserve(visibleOnly ? visibleCount_ : root_->TotalCount - 1);
    if (visibleOnly) {
        for (PVirtualNode run = GetFirstVisibleNoInit(); run; run = GetNextVisibleNoInit(run))
            if (!(run->States & vsSelected))
                nodes.push_back(run);
    } else {
        for (PVirtualNode run = GetFirstNoInit(); run; run = GetNextNoInit(run))
            if (!(run->States & vsSelected))
                nodes.push_back(run);
    }
    if (!nodes.empty())
        AddToSelection(nodes.data(), static_cast<int>(nodes.size()), false);
    Invalidate();
}
