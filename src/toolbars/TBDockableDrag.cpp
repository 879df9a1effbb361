// The drag loop that moves a dockable window between docks and the
// floating state, and the sizing loop of a floating window. Both run their
// own message loop while the window holds the capture; what they take (the
// capture, the cursor clip, the desktop lock and the outline drawn on the
// desktop) is given back by a guard whatever ends the loop, and a message
// dispatched meanwhile that frees the window ends the loop without touching
// it again.
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/Screen.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBDockable.h"
#include "toolbars/TBDockableDrag.h"
#include "toolbars/TBFloatParent.h"

namespace {

constexpr UINT kDesktopDCFlags = DCX_WINDOW | DCX_CACHE | DCX_LOCKWINDOWUPDATE;   // 0x403

}  // namespace

// What a drag or sizing loop holds. It keeps no pointer to the window, so
// it can give everything back after the window is gone.
class TTBDragLoopGuard {
public:
    explicit TTBDragLoopGuard(HWND window) : window_(window)
    {
        Application().BeginNestedLoop();
        SetCapture(window);
    }
    ~TTBDragLoopGuard() { Finish(); }
    // The window was made anew (a parent change that could not keep it): the
    // capture goes to the new one.
    void Follow(HWND window)
    {
        if (window == window_ || finished_)
            return;
        window_ = window;
        if (GetCapture() != window)
            SetCapture(window);
    }
    TTBDragLoopGuard(const TTBDragLoopGuard&) = delete;
    TTBDragLoopGuard& operator=(const TTBDragLoopGuard&) = delete;

    // Desktop updates locked and a desktop DC for the outline.
    void LockDesktop()
    {
        locked_ = LockWindowUpdate(GetDesktopWindow()) != FALSE;
        dc_ = GetDCEx(GetDesktopWindow(), nullptr, kDesktopDCFlags);
    }
    void ClipTo(const RECT& r)
    {
        clipped_ = ClipCursor(&r) != FALSE;
    }
    // Moves the outline to r (nullptr: no outline), thick pixels wide.
    void Outline(const RECT* r, SIZE thick)
    {
        if (!dc_)
            return;
        if (!r && !drawn_)
            return;
        if (r && drawn_ && EqualRect(r, &last_) && thick.cx == lastThick_.cx && thick.cy == lastThick_.cy)
            return;
        DrawHalftoneInvertRect(dc_, r, drawn_ ? &last_ : nullptr, thick, lastThick_);
        drawn_ = r != nullptr;
        if (r) {
            last_ = *r;
            lastThick_ = thick;
        }
    }
    // Gives everything back: the capture, the clip, the outline (erased
    // through a fresh desktop DC) and the lock. Safe to call twice.
    void Finish()
    {
        if (finished_)
            return;
        finished_ = true;
        if (GetCapture() == window_)
            ReleaseCapture();
        if (clipped_)
            ClipCursor(nullptr);
        if (dc_) {
            ReleaseDC(GetDesktopWindow(), dc_);
            dc_ = nullptr;
        }
        if (drawn_) {
            HDC dc = GetDCEx(GetDesktopWindow(), nullptr, kDesktopDCFlags);
            if (dc) {
                DrawHalftoneInvertRect(dc, nullptr, &last_, SIZE{0, 0}, lastThick_);
                ReleaseDC(GetDesktopWindow(), dc);
            }
            drawn_ = false;
        }
        if (locked_)
            LockWindowUpdate(nullptr);
        Application().EndNestedLoop();
    }

private:
    HWND window_;
    HDC dc_ = nullptr;
    bool locked_ = false;
    bool clipped_ = false;
    bool drawn_ = false;
    bool finished_ = false;
    RECT last_{};
    SIZE lastThick_{};
};

namespace {

enum class TLoopEnd { Accepted, Cancelled, Ended, Freed };

// The loop of a drag or a size: runs while `window` holds the capture (the
// caller keeps it up to date when the window is made anew).
// step(cursor, ctrl) is called when the cursor moved, or (watchCtrl) when
// the Ctrl key went down or up.
TLoopEnd RunCaptureLoop(const HWND& window, const std::weak_ptr<void>& alive, bool watchCtrl, bool ctrl,
                        const std::function<void(POINT cursor, bool ctrl)>& step)
{
    POINT last;
    GetCursorPos(&last);
    MSG msg;
    while (GetCapture() == window) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            return TLoopEnd::Ended;
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return TLoopEnd::Ended;
        }
        switch (msg.message) {
        case WM_LBUTTONUP:
            return TLoopEnd::Accepted;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return TLoopEnd::Ended;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            continue;
        case WM_MOUSEMOVE: {
            // Where the cursor is now: a move message made by a window
            // moving under the cursor may carry an older point.
            POINT p;
            GetCursorPos(&p);
            if (!PointsEqual(p, last)) {
                last = p;
                step(p, ctrl);
            }
            break;
        }
        case WM_KEYDOWN:
        case WM_KEYUP:
            if (msg.wParam == VK_CONTROL) {
                bool down = msg.message == WM_KEYDOWN;
                if (watchCtrl && down != ctrl) {
                    ctrl = down;
                    step(last, ctrl);
                }
                break;
            }
            if (msg.wParam == VK_ESCAPE) {
                if (msg.message == WM_KEYDOWN)
                    return TLoopEnd::Cancelled;
                break;
            }
            [[fallthrough]];
        default:
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            break;
        }
        if (alive.expired())
            return TLoopEnd::Freed;
    }
    return TLoopEnd::Ended;
}

// A flag of the window set for the loop's time, cleared unless the window went.
class TFlagHold {
public:
    TFlagHold(bool& flag, std::weak_ptr<void> alive) : flag_(flag), alive_(std::move(alive)) { flag_ = true; }
    ~TFlagHold() { Release(); }
    void Release()
    {
        if (!released_ && !alive_.expired())
            flag_ = false;
        released_ = true;
    }

private:
    bool& flag_;
    std::weak_ptr<void> alive_;
    bool released_ = false;
};

RECT ClientScreenRect(TWinControl& c)
{
    RECT r;
    GetClientRect(c.Handle(), &r);
    MapWindowPoints(c.Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool RectsTouch(const RECT& a, const RECT& b)
{
    return a.left <= b.right && a.right >= b.left && a.top <= b.bottom && a.bottom >= b.top;
}

HCURSOR SystemCursor(LPCWSTR id) { return LoadCursorW(nullptr, id); }

}  // namespace

bool TTBDockableWindowDrag::Accepts(TTBDock* d) const
{
    return d->AllowDrag() && (w_.DockableTo() & DockableToBit(d->Position())) && d->Showing();
}

void TTBDockableWindowDrag::AddCandidate(TTBDock* d)
{
    for (const Candidate& c : candidates_)
        if (c.dock == d)
            return;
    if (!Accepts(d))
        return;
    Candidate c{d, d->AliveToken(), {}, {}};
    candidates_.push_back(c);
}

// The docks of a parent in the order top, bottom, left, right, then those
// inside its other child controls.
void TTBDockableWindowDrag::CollectDocks(TWinControl* parent)
{
    static const TTBDockPosition order[] = {dpTop, dpBottom, dpLeft, dpRight};
    for (TTBDockPosition pos : order)
        for (int i = 0; i < parent->ControlCount(); ++i)
            if (auto* d = dynamic_cast<TTBDock*>(parent->Controls(i)))
                if (d->Position() == pos)
                    AddCandidate(d);
    for (int i = 0; i < parent->ControlCount(); ++i) {
        auto* c = dynamic_cast<TWinControl*>(parent->Controls(i));
        if (c && !dynamic_cast<TTBDock*>(c) && c != &w_ && c->ControlCount() > 0)
            CollectDocks(c);
    }
}

void TTBDockableWindowDrag::RememberPlaces(TTBDock* d)
{
    for (TTBCustomDockableWindow* b : d->DockList()) {
        bool known = false;
        for (const Place& p : places_)
            known = known || p.bar == b;
        if (!known)
            places_.push_back(Place{b, b->AliveToken(), b->dockRow_, b->dockPos_});
    }
}

RECT TTBDockableWindowDrag::RectAt(POINT cursor, SIZE size) const
{
    int left = cursor.x - MulDiv(size.cx - 1, offset_.x, std::max<LONG>(startSize_.cx, 1));
    int top = cursor.y - MulDiv(size.cy - 1, offset_.y, std::max<LONG>(startSize_.cy, 1));
    return RECT{left, top, left + size.cx, top + size.cy};
}

// The row of the dock that the window's centre falls in: a quarter of a
// row's thickness at its start opens a new row before it (half when a
// full-size window is involved); beyond every row a new row after them.
int TTBDockableWindowDrag::ChooseRow(TTBDock* d, const RECT& screen, const RECT& r, bool& insert) const
{
    insert = false;
    bool vertical = d->IsVertical();
    int c = vertical ? (r.left + r.right) / 2 - screen.left : (r.top + r.bottom) / 2 - screen.top;
    int highest = -1;
    for (TTBCustomDockableWindow* b : d->DockVisibleList())
        highest = std::max(highest, b->EffectiveDockRow());
    for (int row = 0; row <= highest; ++row) {
        int start = INT_MAX, end = INT_MIN;
        bool fullSizeRow = false;
        for (TTBCustomDockableWindow* b : d->DockVisibleList()) {
            if (b->EffectiveDockRow() != row || !b->Visible())
                continue;
            start = std::min(start, vertical ? b->Left() : b->Top());
            end = std::max(end, vertical ? b->Left() + b->Width() : b->Top() + b->Height());
            fullSizeRow = fullSizeRow || b->FullSize();
        }
        if (start >= end)
            continue;
        int thick = end - start;
        int z = (w_.FullSize() || fullSizeRow) ? thick / 2 : thick / 4;
        if (c < start + z) {
            insert = true;
            return row;
        }
        if (!w_.FullSize() && c < end - z)
            return row;
    }
    return highest + 1;
}

void TTBDockableWindowDrag::ApplyDocked(const Candidate& cand, const RECT& r, POINT cursor)
{
    TTBDock* d = cand.dock;
    bool vertical = d->IsVertical();
    int pos = vertical ? r.top - cand.screen.top : r.left - cand.screen.left;
    int row;
    bool insert = false;
    if (sliding_) {
        row = slideRow_;
    } else {
        row = ChooseRow(d, cand.screen, r, insert);
        int moved = vertical ? cursor.y - startCursor_.y : cursor.x - startCursor_.x;
        if (d == startDock_ && !insert && row == startEffRow_ && std::abs(moved) >= 10) {
            sliding_ = true;
            slideRow_ = row;
        }
    }
    // The other windows keep the rows they show in, moved down past a new row.
    for (TTBCustomDockableWindow* b : d->DockVisibleList()) {
        if (b == &w_)
            continue;
        int eff = b->EffectiveDockRow();
        b->dockRow_ = insert && eff >= row ? eff + 1 : eff;
    }
    w_.dockRow_ = row;
    w_.dockPos_ = std::max(pos, 0);
    if (w_.Parent() != d)
        w_.SetParent(d);
    else
        d->ArrangeToolbars();
}

void TTBDockableWindowDrag::ApplyFloating(const RECT& r)
{
    w_.floatingPosition_ = POINT{r.left, r.top};
    if (!w_.floating_ || !w_.floatParent_ || w_.Parent() != w_.floatParent_) {
        w_.SetFloating(true);
    } else {
        TTBFloatingWindowParent* p = w_.floatParent_;
        if (p->Left() != r.left || p->Top() != r.top)
            p->SetBounds(r.left, r.top, p->Width(), p->Height());
    }
}

void TTBDockableWindowDrag::Step(POINT cursor, bool ctrl)
{
    lastCursor_ = cursor;
    const Candidate* target = nullptr;
    RECT r{};
    if (sliding_) {
        for (const Candidate& c : candidates_)
            if (c.dock == startDock_ && !c.alive.expired())
                target = &c;
    } else if (!ctrl) {
        for (size_t i = candidates_.size(); i-- > 0;) {
            const Candidate& c = candidates_[i];
            if (c.alive.expired() || !c.dock->Showing())
                continue;
            RECT at = RectAt(cursor, c.size);
            if (!RectsTouch(at, c.screen))
                continue;
            bool accept = true;
            if (c.dock->OnRequestDock) {
                std::weak_ptr<void> alive = w_.AliveToken();
                c.dock->OnRequestDock(c.dock, &w_, accept);
                if (alive.expired())
                    return;
            }
            if (accept) {
                target = &c;
                break;
            }
        }
    }
    HCURSOR cur;
    if (target) {
        r = RectAt(cursor, target->size);
        cur = sliding_ ? SystemCursor(target->dock->IsVertical() ? IDC_SIZENS : IDC_SIZEWE) : SystemCursor(IDC_SIZEALL);
    } else if (preventFloating_) {
        cur = SystemCursor(IDC_NO);
    } else {
        // Floating: the cursor kept on its monitor's work area, and enough of
        // the window left on it to be caught again; the caption never above it.
        RECT wa = GetRectOfMonitorContainingPoint(cursor, true);
        POINT p = cursor;
        p.x = std::clamp<LONG>(p.x, wa.left, std::max(wa.left, wa.right - 1));
        p.y = std::clamp<LONG>(p.y, wa.top, std::max(wa.top, wa.bottom - 1));
        r = RectAt(p, floatSize_);
        RECT f = w_.FloatingFrame();
        RECT keep = wa;
        InflateRect(&keep, -(f.left + 4), -(f.left + 4));
        if (r.right < keep.left)
            OffsetRect(&r, keep.left - r.right, 0);
        else if (r.left > keep.right)
            OffsetRect(&r, keep.right - r.left, 0);
        if (r.bottom < keep.top)
            OffsetRect(&r, 0, keep.top - r.bottom);
        else if (r.top > keep.bottom)
            OffsetRect(&r, 0, keep.bottom - r.top);
        if (r.top < wa.top)
            OffsetRect(&r, 0, wa.top - r.top);
        cur = SystemCursor(IDC_SIZEALL);
    }
    ::SetCursor(cur);
    target_ = target;
    rect_ = r;
    empty_ = IsRectEmpty(&r) != FALSE;
    if (!smooth_) {
        if (!guard_)
            return;
        if (empty_) {
            guard_->Outline(nullptr, SIZE{});
        } else {
            RECT f = w_.FloatingFrame();
            SIZE thick = target ? SIZE{1, 1} : SIZE{f.left, f.left};
            guard_->Outline(&r, thick);
        }
        return;
    }
    if (empty_)
        return;
    HWND wnd = w_.Handle();
    bool captured = GetCapture() == wnd;
    if (target)
        ApplyDocked(*target, r, cursor);
    else
        ApplyFloating(r);
    // Moving into another parent (the floating window parent shown, a dock
    // of another form) may have taken the capture away: the drag goes on.
    if (captured && !alive_.expired() && w_.HandleAllocated() && GetCapture() != w_.Handle())
        SetCapture(w_.Handle());
}

void TTBDockableWindowDrag::Restore()
{
    for (const Place& p : places_) {
        if (p.alive.expired() || p.bar == &w_)
            continue;
        p.bar->dockRow_ = p.row;
        p.bar->dockPos_ = p.pos;
    }
    w_.dockRow_ = startRow_;
    w_.dockPos_ = startPos_;
    if (startDock_) {
        if (w_.Parent() != startDock_)
            w_.SetParent(startDock_);
        else
            startDock_->ArrangeToolbars();
    } else if (startFloating_) {
        w_.floatingPosition_ = startFloatPos_;
        if (!w_.floating_)
            w_.SetFloating(true);
        else
            w_.SetFloatingPosition(startFloatPos_);
    }
    // The other docks the drag passed through arrange again with the old places.
    for (const Candidate& c : candidates_)
        if (!c.alive.expired() && c.dock != startDock_)
            c.dock->ArrangeToolbars();
}

void TTBDockableWindowDrag::Begin(int x, int y, TTBDragLoopGuard* guard)
{
    TTBCustomDockableWindow& w = w_;
    HWND wnd = w.Handle();
    alive_ = w.AliveToken();
    guard_ = guard;

    startDock_ = w.docked_ ? w.currentDock_ : nullptr;
    startRow_ = w.dockRow_;
    startPos_ = w.dockPos_;
    startEffRow_ = w.effectiveDockRow_;
    startFloating_ = w.floating_;
    startFloatPos_ = w.floatingPosition_;
    smooth_ = w.smoothDrag_;
    RECT wr;
    GetWindowRect(wnd, &wr);
    startSize_ = SIZE{wr.right - wr.left, wr.bottom - wr.top};
    startCursor_ = POINT{x, y};
    ClientToScreen(wnd, &startCursor_);
    lastCursor_ = startCursor_;
    offset_ = POINT{startCursor_.x - wr.left, startCursor_.y - wr.top};
    ctrlAtStart_ = GetKeyState(VK_CONTROL) < 0;
    preventFloating_ = w.dockMode_ != dmCanFloat;
    preventChanging_ = w.dockMode_ == dmCannotFloatOrChangeDocks;

    // The docks it may go to, the current one first, with the window's size
    // in each; the current dock holds its arrangement meanwhile.
    struct Hold {
        TTBDock* dock;
        explicit Hold(TTBDock* d) : dock(d)
        {
            if (dock)
                dock->BeginUpdate();
        }
        ~Hold()
        {
            if (dock)
                dock->EndUpdate();
        }
    } hold(startDock_);
    if (startDock_ && (preventChanging_ || Accepts(startDock_)))
        candidates_.push_back(Candidate{startDock_, startDock_->AliveToken(), startSize_, {}});
    if (!preventChanging_) {
        TForm* form = w.GetParentForm();
        if (form)
            CollectDocks(form);
        for (TForm* f : Screen().FormsInZOrder()) {
            if (f != form && f->HandleAllocated() && IsWindowVisible(f->Handle()) &&
                !dynamic_cast<TTBFloatingWindowParent*>(f))
                CollectDocks(f);
        }
    }
    RECT cr;
    GetClientRect(wnd, &cr);
    int savedLimit = w.lengthLimit_;
    w.lengthLimit_ = 0;
    try {
        for (Candidate& c : candidates_) {
            c.screen = ClientScreenRect(*c.dock);
            RememberPlaces(c.dock);
            if (c.dock == startDock_ && c.size.cx > 0)
                continue;
            TTBDockType type = c.dock->IsVertical() ? dtLeftRight : dtTopBottom;
            SIZE s = w.CalcBaseSize(type);
            if (s.cx <= 0 || s.cy <= 0)
                s = SIZE{cr.right, cr.bottom};
            SIZE nc = w.DockedNCSize(type);
            c.size = SIZE{s.cx + nc.cx, s.cy + nc.cy};
        }
        SIZE fs = w.CalcBaseSize(dtFloating);
        if (fs.cx <= 0 || fs.cy <= 0)
            fs = SIZE{cr.right, cr.bottom};
        RECT f = w.FloatingFrame();
        floatSize_ = SIZE{fs.cx + f.left + f.right, fs.cy + f.top + f.bottom};
    } catch (...) {
        w.lengthLimit_ = savedLimit;
        throw;
    }
    w.lengthLimit_ = savedLimit;
    // Their places are remembered (Escape puts them back): the docks may
    // make them their windows' stored places now.
    for (Candidate& c : candidates_)
        c.dock->DragBegins(&w);
    // A window that may not change docks only slides in its own.
    if (preventChanging_ && startDock_) {
        sliding_ = true;
        slideRow_ = startEffRow_;
    }
    w.dragMode_ = true;
    begun_ = true;
}

TTBDockableWindowDrag::~TTBDockableWindowDrag()
{
    if (begun_ && !alive_.expired())
        w_.dragMode_ = false;
}

void TTBDockableWindowDrag::End(bool accept, bool cancel)
{
    if (!begun_ || alive_.expired())
        return;
    TTBCustomDockableWindow& w = w_;
    w.dragMode_ = false;
    begun_ = false;
    guard_ = nullptr;
    if (cancel) {
        if (smooth_)
            Restore();
    } else if (accept && !smooth_ && !empty_) {
        // The outline's place becomes the window's.
        if (!target_)
            ApplyFloating(rect_);
        else if (!target_->alive.expired())
            ApplyDocked(*target_, rect_, lastCursor_);
    }
    if (alive_.expired())
        return;
    if (w.useLastDock_ && w.docked_ && w.currentDock_ && w.lastDock_ != w.currentDock_)
        w.SetLastDock(w.currentDock_);
    w.FreeFloatParentIfUnused();
    if (w.docked_ && w.currentDock_)
        w.currentDock_->ArrangeToolbars();
    if (w.floating_)
        w.MoveOnScreen(true);
}

void TTBCustomDockableWindow::BeginMoving(int x, int y)
{
    if (dragMode_ || sizing_ || !HandleAllocated())
        return;
    HWND wnd = Handle();
    std::weak_ptr<void> alive = AliveToken();
    TTBDockableWindowDrag drag(*this);
    TTBDragLoopGuard guard(wnd);
    if (!smoothDrag_)
        guard.LockDesktop();
    drag.Begin(x, y, smoothDrag_ ? nullptr : &guard);
    drag.Step(drag.StartCursor(), drag.CtrlAtStart());
    if (alive.expired())
        return;
    auto follow = [&] {
        if (!alive.expired() && HandleAllocated() && Handle() != wnd) {
            wnd = Handle();
            guard.Follow(wnd);
        }
    };
    follow();
    TLoopEnd end = RunCaptureLoop(wnd, alive, true, drag.CtrlAtStart(), [&](POINT p, bool ctrl) {
        drag.Step(p, ctrl);
        follow();
    });
    if (end == TLoopEnd::Freed || alive.expired())
        return;
    guard.Finish();
    drag.End(end == TLoopEnd::Accepted, end == TLoopEnd::Cancelled);
}

// The sizing loop of a floating window, by one of its border handles.
void TTBCustomDockableWindow::BeginSizing(TTBSizeHandle handle)
{
    if (!floating_ || !floatParent_ || dragMode_ || sizing_ || !HandleAllocated() ||
        !floatParent_->HandleAllocated())
        return;
    const bool sizeH = handle != twshTop && handle != twshBottom;
    const bool moveLeft = handle == twshLeft || handle == twshTopLeft || handle == twshBottomLeft;
    const bool sizeV = handle != twshLeft && handle != twshRight;
    const bool moveTop = handle == twshTop || handle == twshTopLeft || handle == twshTopRight;

    HWND wnd = Handle();
    std::weak_ptr<void> alive = AliveToken();
    TTBFloatingWindowParent* parent = floatParent_;
    std::weak_ptr<void> parentAlive = parent->AliveToken();
    RECT frame = FloatingFrame();
    int fw = frame.left + frame.right, fh = frame.top + frame.bottom;
    SIZE minSize, maxSize;
    GetMinMaxSize(minSize, maxSize);
    int minW = minSize.cx + fw, minH = minSize.cy + fh;
    int maxW = maxSize.cx > 0 ? maxSize.cx + fw : 0, maxH = maxSize.cy > 0 ? maxSize.cy + fh : 0;
    RECT start;
    GetWindowRect(parent->Handle(), &start);
    POINT startCursor;
    GetCursorPos(&startCursor);
    bool smooth = smoothDrag_;
    RECT current = start;

    auto sizeAt = [&](POINT p) {
        RECT r = start;
        int dx = p.x - startCursor.x, dy = p.y - startCursor.y;
        if (sizeH)
            (moveLeft ? r.left : r.right) += dx;
        if (sizeV)
            (moveTop ? r.top : r.bottom) += dy;
        auto fix = [](LONG& moving, LONG fixed, bool movingIsLow, int want) {
            if (movingIsLow)
                moving = fixed - want;
            else
                moving = fixed + want;
        };
        int w = r.right - r.left, h = r.bottom - r.top;
        if (w < minW)
            moveLeft ? fix(r.left, r.right, true, minW) : fix(r.right, r.left, false, minW);
        if (maxW > 0 && w > maxW)
            moveLeft ? fix(r.left, r.right, true, maxW) : fix(r.right, r.left, false, maxW);
        if (h < minH)
            moveTop ? fix(r.top, r.bottom, true, minH) : fix(r.bottom, r.top, false, minH);
        if (maxH > 0 && h > maxH)
            moveTop ? fix(r.top, r.bottom, true, maxH) : fix(r.bottom, r.top, false, maxH);
        // The descendant may snap the client size.
        SIZE client{(r.right - r.left) - fw, (r.bottom - r.top) - fh};
        SizeChanging(handle, client);
        int nw = client.cx + fw, nh = client.cy + fh;
        moveLeft ? fix(r.left, r.right, true, nw) : fix(r.right, r.left, false, nw);
        moveTop ? fix(r.top, r.bottom, true, nh) : fix(r.bottom, r.top, false, nh);
        return r;
    };
    auto applySize = [&](const RECT& r) {
        if (parentAlive.expired() || floatParent_ != parent)
            return;
        BeginUpdate();
        parent->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
        TWinControl::SetBounds(0, 0, (r.right - r.left) - fw, (r.bottom - r.top) - fh);
        floatingPosition_ = POINT{r.left, r.top};
        arrangeNeeded_ = false;
        EndUpdate();
        MoveOnScreen(true);
    };

    TLoopEnd end;
    {
        TTBDragLoopGuard guard(wnd);
        TFlagHold sizing(sizing_, alive);
        if ((dwStyles_ & tbdwoClipCursorWhenSizing) && !UsingMultipleMonitors())
            guard.ClipTo(GetRectOfMonitorContainingPoint(startCursor, true));
        if (!smooth) {
            guard.LockDesktop();
            guard.Outline(&current, SIZE{frame.left, frame.left});
        }
        end = RunCaptureLoop(wnd, alive, false, false, [&](POINT p, bool) {
            RECT r = sizeAt(p);
            if (EqualRect(&r, &current))
                return;
            current = r;
            if (smooth)
                applySize(r);
            else
                guard.Outline(&current, SIZE{frame.left, frame.left});
        });
        if (end == TLoopEnd::Freed || alive.expired())
            return;
        guard.Finish();
        sizing.Release();
    }
    if (end == TLoopEnd::Accepted && !smooth)
        applySize(current);
    else if (end == TLoopEnd::Cancelled && smooth)
        applySize(start);
}
