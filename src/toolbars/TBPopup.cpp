// Popup windows: creation, frame, painting, showing with the menu
// animation; and CreatePopup, which places a popup next to what opened it.
#include "toolbars/TBPopup.h"

#include <algorithm>

#include "platform/Canvas.h"
#include "platform/Firewall.h"
#include "platform/Hints.h"
#include "toolbars/TBAccess.h"
#include "toolbars/TBAnim.h"
#include "toolbars/TBCommon.h"

namespace {

// SetWindowPos flags that show or hide a popup without moving, sizing,
// reordering or activating it.
constexpr UINT kShowFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW;   // 0x57
constexpr UINT kHideFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW;   // 0x97

void RaiseWinEvent(DWORD event, HWND wnd)
{
    using TNotifyWinEvent = void(WINAPI*)(DWORD, HWND, LONG, LONG);
    static TNotifyWinEvent fn = [] {
        HMODULE user = GetModuleHandleW(L"user32.dll");
        return user ? reinterpret_cast<TNotifyWinEvent>(reinterpret_cast<void*>(GetProcAddress(user, "NotifyWinEvent")))
                    : nullptr;
    }();
    if (fn && wnd)
        fn(event, wnd, OBJID_CLIENT, CHILDID_SELF);
}

void FillWith(HDC dc, const RECT& r, COLORREF color)
{
    HBRUSH b = CreateSolidBrush(color);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void FrameWith(HDC dc, const RECT& r, COLORREF color)
{
    HBRUSH b = CreateSolidBrush(color);
    FrameRect(dc, &r, b);
    DeleteObject(b);
}

bool Overlap(const RECT& a, const RECT& b)
{
    RECT x;
    return IntersectRect(&x, &a, &b) != FALSE;
}

// The first popup of the process plays its sound after it has been painted.
bool firstPopupShown = false;

}  // namespace

// --- the window ---

TTBPopupWindow::TTBPopupWindow(TTBCustomItem* item, TTBView* parentView, bool customizing) : TWinControl(nullptr)
{
    Hide();
    SetBounds(0, 0, 320, 240);
    SetColor(GetSysColor(COLOR_MENU));
    SetShowHint(true);
    Font().Assign(parentView ? parentView->GetFont() : ToolbarSystemFont());
    view_ = new TTBPopupView(nullptr, parentView, item, this, false, customizing, false);
    view_->Include(vsModal);
    if (parentView) {
        // Submenus show accelerators as their parent does.
        view_->SetStyle(parentView->Style() & vsUseHiddenAccels);
        if (parentView->State() & vsShowAccels)
            view_->Include(vsShowAccels);
    }
}

TTBPopupWindow::~TTBPopupWindow()
{
    Destroying();
    // The popup ends before the focus goes back to what opened it (the
    // view tells that as it goes).
    if (HandleAllocated())
        RaisePopupEnd(Handle());
    TTBPopupView* v = view_;
    view_ = nullptr;
    delete v;
    // Destroyed here, while our own window procedure still answers.
    DestroyWnd();
}

void TTBPopupWindow::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    p.className = L"BrenixTBPopup";
    p.classStyle = CS_SAVEBITS | CS_DBLCLKS | (IsWindowsXPOrLater() ? CS_DROPSHADOW : 0);
    p.style = WS_POPUP | WS_CLIPCHILDREN;
    p.exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    p.background = nullptr;
    p.parentWindow = nullptr;
    // Owned by the form of the view that opened it.
    if (TTBView* pv = view_ ? view_->ParentView() : nullptr)
        if (TWinControl* w = pv->Window(); w && w->HandleAllocated())
            p.parentWindow = GetAncestor(w->Handle(), GA_ROOT);
}

void TTBPopupWindow::VisibleChanged()
{
    if (!HandleAllocated()) {
        if (!Visible())
            return;
        HandleNeeded();
        if (!HandleAllocated())
            return;
    }
    HWND h = Handle();
    if (!Visible()) {
        FinishPopupAnimation(h);
        SetWindowPos(h, nullptr, 0, 0, 0, 0, kHideFlags);
        return;
    }
    if (!IsWindowVisible(h) && view_ && !view_->Selected()) {
        TTBView* pv = view_->ParentView();
        BOOL animate = FALSE;
        SystemParametersInfoW(SPI_GETMENUANIMATION, 0, &animate, 0);
        if (animate && (!pv || !(pv->State() & vsNoAnimation))) {
            BOOL fade = FALSE;
            SystemParametersInfoW(SPI_GETMENUFADE, 0, &fade, 0);
            if (fade) {
                BeginPopupAnimation(h, true, AnimationDirection);
                return;
            }
            if (AnimationDirection) {
                BeginPopupAnimation(h, false, AnimationDirection);
                return;
            }
        }
    }
    SetWindowPos(h, nullptr, 0, 0, 0, 0, kShowFlags);
}

void TTBPopupWindow::PaintFrame(HDC dc)
{
    RECT r;
    GetWindowRect(Handle(), &r);
    OffsetRect(&r, -r.left, -r.top);
    if (AreFlatMenusEnabled()) {
        FrameWith(dc, r, GetSysColor(COLOR_BTNSHADOW));
        InflateRect(&r, -1, -1);
        FrameWith(dc, r, Color());
        InflateRect(&r, -1, -1);
        FrameWith(dc, r, Color());
    } else {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
        FrameWith(dc, r, GetSysColor(COLOR_BTNFACE));
    }
}

void TTBPopupWindow::PaintScrollArrows(HDC dc)
{
    if (!view_ || (!view_->ShowUpArrow() && !view_->ShowDownArrow()))
        return;
    RECT cr;
    GetClientRect(Handle(), &cr);
    HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_MENUTEXT));
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_MENUTEXT));
    HGDIOBJ ob = SelectObject(dc, brush), op = SelectObject(dc, pen);
    int cx = (cr.right - cr.left) / 2;
    if (view_->ShowUpArrow()) {
        FillWith(dc, RECT{0, 0, cr.right, kTBScrollArrowZone}, Color());
        int cy = kTBScrollArrowZone / 2 - 2;
        POINT p[3] = {{cx - 3, cy + 3}, {cx + 3, cy + 3}, {cx, cy}};
        Polygon(dc, p, 3);
    }
    if (view_->ShowDownArrow()) {
        FillWith(dc, RECT{0, cr.bottom - kTBScrollArrowZone, cr.right, cr.bottom}, Color());
        int cy = cr.bottom - kTBScrollArrowZone / 2 - 2;
        POINT p[3] = {{cx - 3, cy}, {cx + 3, cy}, {cx, cy + 3}};
        Polygon(dc, p, 3);
    }
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(brush);
    DeleteObject(pen);
}

void TTBPopupWindow::PaintClient(HDC dc)
{
    if (!view_)
        return;
    TCanvas canvas(dc);
    view_->DrawSubitems(canvas);
    PaintScrollArrows(dc);
}

void TTBPopupWindow::WndProc(TMessage& m)
{
    HWND h = HandleAllocated() ? Handle() : nullptr;
    switch (m.Msg) {
    case WM_MOUSEACTIVATE:
        m.Result = MA_NOACTIVATE;
        return;
    case WM_NCCALCSIZE: {
        RECT* r = m.WParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(m.LParam)->rgrc[0]
                           : reinterpret_cast<RECT*>(m.LParam);
        InflateRect(r, -3, -3);
        m.Result = 0;
        return;
    }
    case WM_NCPAINT: {
        HDC dc = GetWindowDC(h);
        if (dc) {
            int saved = SaveDC(dc);
            SelectNCUpdateRgn(h, dc, reinterpret_cast<HRGN>(m.WParam));
            PaintFrame(dc);
            RestoreDC(dc, saved);
            ReleaseDC(h, dc);
        }
        m.Result = 0;
        return;
    }
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(m.WParam);
        if (h && reinterpret_cast<HDC>(m.WParam) && WindowFromDC(dc) == h)
            FinishPopupAnimation(h);
        RECT r;
        GetClientRect(h, &r);
        FillWith(dc, r, Color());
        m.Result = 1;
        return;
    }
    case WM_PAINT:
        if (m.WParam) {
            PaintClient(reinterpret_cast<HDC>(m.WParam));
        } else {
            FinishPopupAnimation(h);
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            if (dc) {
                try {
                    PaintClient(dc);
                } catch (...) {
                    EndPaint(h, &ps);
                    throw;
                }
                EndPaint(h, &ps);
            }
        }
        m.Result = 0;
        return;
    case WM_PRINT:
        m.Result = AnswerPrintMessage(h, m.WParam, m.LParam, [this](HWND, HDC dc) { PaintFrame(dc); });
        return;
    case WM_PRINTCLIENT:
        m.Result = AnswerPrintClientMessage(*this, m.WParam, m.LParam);
        return;
    case WM_CLOSE:
        m.Result = 0;
        return;
    case WM_TIMER:
        if (view_ && m.WParam >= kTBViewTimerBase && m.WParam <= kTBViewTimerBase + tbtScrollDown) {
            view_->TimerFired(static_cast<int>(m.WParam - kTBViewTimerBase));
            m.Result = 0;
            return;
        }
        break;
    case WM_POPUPANIM_STEP:
        StepPopupAnimation(m.LParam);
        m.Result = 0;
        return;
    case WM_POPUPANIM_ENDED:
        m.Result = 0;
        return;
    case WM_GETOBJECT: {
        LRESULT r = 0;
        if (view_ && TBAnswerGetObject(view_, m.WParam, m.LParam, r)) {
            m.Result = r;
            return;
        }
        break;
    }
    case WM_CANCELMODE:
        if (view_) {
            TTBView* root = view_;
            while (root->ParentView())
                root = root->ParentView();
            root->CancelMode();
        }
        m.Result = 0;
        return;
    case WM_DESTROY:
        FinishPopupAnimation(h);
        if (view_)
            view_->StopAllTimers();
        RaisePopupEnd(h);
        break;
    default:
        break;
    }
    TWinControl::WndProc(m);
}

void TTBPopupWindow::RaisePopupEnd(HWND h)
{
    if (!popupEndRaised_)
        RaiseWinEvent(EVENT_SYSTEM_MENUPOPUPEND, h);
    popupEndRaised_ = true;
}

bool TTBPopupWindow::HintShow(THintInfo& info)
{
    TTBItemViewer* v = view_ ? view_->ViewerFromPoint(info.CursorPos) : nullptr;
    if (!v)
        return false;
    info.CursorRect = v->BoundsRect;
    info.HintStr = v->GetHintText();
    return !info.HintStr.empty();
}

TTBPopupWindow* NewTBPopupWindow(TTBCustomItem* item, TTBView* parentView, TTBItemViewer*, bool customizing)
{
    return new TTBPopupWindow(item, parentView, customizing);
}

TTBPopupWindowClass TTBCustomItem::GetPopupWindowClass() { return &NewTBPopupWindow; }

// --- placement ---

void TTBPopupPlacement::Compute()
{
    const RECT& pr = ParentRect;
    const RECT& mon = Monitor;
    const int w = Size.cx, h = Size.cy;
    int x = 0, y = 0;
    auto covered = [&](int px, int py) {
        RECT r{px, py, px + w, py + h};
        int count = 0;
        for (const RECT& v : ParentViewers)
            if (v.left >= r.left && v.top >= r.top && v.right <= r.right && v.bottom <= r.bottom)
                ++count;
        return count;
    };
    auto overlapsParent = [&](int px, int py) { return Overlap(RECT{px, py, px + w, py + h}, pr); };

    // First position.
    if (PointPopup) {
        x = pr.left - (Alignment == tbpaRight ? w : Alignment == tbpaCenter ? w / 2 : 0);
        y = pr.top;
    } else if (!AsSubmenu) {
        if (ParentVertical) {
            x = pr.left - w;
            y = pr.top;
        } else if (Chevron && ParentHorizontalToolbar) {
            x = pr.right - w;
            y = pr.bottom;
        } else {
            x = DropRightAligned ? pr.right - w : pr.left;
            y = pr.bottom;
        }
    } else {
        x = pr.right - 3;
        y = pr.top - 3;
    }

    // Vertical fit: above what opened it when there is no room below.
    if (y + h > mon.bottom && !ParentVertical) {
        int above = AsSubmenu ? pr.bottom + 3 - h : pr.top - h;
        if (above >= mon.top)
            y = above;
    }
    if (y + h > mon.bottom)
        y = mon.bottom - h;
    if (y < mon.top)
        y = mon.top;

    if (!AsSubmenu) {
        // Horizontal fit of a drop-down or a popup at a point.
        if (PointPopup && Alignment == tbpaRight && x < mon.left)
            x = pr.left;
        if (x + w > mon.right)
            x = (PointPopup && Alignment == tbpaLeft) ? pr.left - w : mon.right - w;
        if (x < mon.left)
            x = mon.left;
        if (!PointPopup) {
            if (!ParentVertical) {
                int above = pr.top - h;
                if (above >= mon.top && above + h <= mon.bottom &&
                    (covered(x, above) < covered(x, y) || overlapsParent(x, y)))
                    y = above;
                if (overlapsParent(x, y)) {
                    x = pr.right;
                    if (x + w > mon.right)
                        x = pr.left - w;
                    if (x < mon.left)
                        x = mon.left;
                }
            } else {
                int right = pr.right;
                if (right + w <= mon.right && right >= mon.left &&
                    (covered(right, y) < covered(x, y) || overlapsParent(x, y)))
                    x = right;
                if (overlapsParent(x, y)) {
                    y = pr.bottom;
                    if (y + h > mon.bottom)
                        y = pr.top - h;
                    if (y < mon.top)
                        y = mon.top;
                }
            }
        }
    } else {
        // A submenu opens to the right unless its parent went left or there
        // is no room; it goes back to the right when the left has none either.
        Opposite = false;
        if (ParentOpposite || x + w > mon.right) {
            x = pr.left + 3 - w;
            Opposite = true;
        }
        if (Opposite && x < mon.left) {
            x = pr.right - 3;
            Opposite = false;
        }
        if (x < mon.left)
            x = mon.left;
    }

    // The side the popup comes from in the animation.
    Direction = 0;
    if (AsSubmenu) {
        Direction = (x + w / 2 < (pr.left + pr.right) / 2) ? tbpdOpensLeft : tbpdOpensRight;
    } else {
        if (y + h <= pr.top)
            Direction |= tbpdOpensUp;
        else if (y >= pr.bottom)
            Direction |= tbpdOpensDown;
        if (x + w <= pr.left)
            Direction |= tbpdOpensLeft;
        else if (x >= pr.right)
            Direction |= tbpdOpensRight;
    }
    Pos = POINT{x, y};
}

TTBPopupWindow* TTBCustomItem::CreatePopup(TTBView* parentView, TTBItemViewer* parentViewer, bool positionAsSubmenu,
                                           bool selectFirstItem, bool customizing, POINT popupPoint,
                                           int alignment)
{
    std::weak_ptr<void> alive = AliveToken();
    std::weak_ptr<void> parentAlive = parentView ? parentView->AliveToken() : std::weak_ptr<void>();
    auto parentGone = [&] { return parentView && parentAlive.expired(); };
    // 1. The popup is about to open: the items may fill themselves.
    if (TTBCustomItem* link = LinkSubitems())
        link->DoPopup(this, true);
    if (alive.expired() || parentGone())
        return nullptr;
    DoPopup(this, false);
    if (alive.expired() || parentGone())
        return nullptr;
    if (parentViewer && parentView && parentView->IndexOf(parentViewer) < 0)
        return nullptr;

    // 2. The window.
    TTBPopupWindowClass make = GetPopupWindowClass();
    if (!make)
        make = &NewTBPopupWindow;
    std::unique_ptr<TTBPopupWindow> popup(make(this, parentView, parentViewer, customizing));
    TTBPopupView* view = popup->View();

    // 3. What opened it, and the monitor.
    TTBPopupPlacement place;
    HWND parentWnd = parentView && parentView->Window() && parentView->Window()->HandleAllocated()
                         ? parentView->Window()->Handle()
                         : nullptr;
    if (parentViewer && parentWnd) {
        RECT r = parentViewer->BoundsRect;
        MapWindowPoints(parentWnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
        place.ParentRect = r;
        for (int i = 0; i < parentView->ViewerCount(); ++i) {
            TTBItemViewer* v = parentView->Viewers(i);
            if (!v->Show)
                continue;
            RECT vr = v->BoundsRect;
            MapWindowPoints(parentWnd, nullptr, reinterpret_cast<POINT*>(&vr), 2);
            place.ParentViewers.push_back(vr);
        }
    } else {
        place.PointPopup = true;
        place.ParentRect = RECT{popupPoint.x, popupPoint.y, popupPoint.x, popupPoint.y};
    }
    if (parentView && !IsRectEmpty(&parentView->MonitorRect))
        place.Monitor = parentView->MonitorRect;
    else if (place.PointPopup)
        place.Monitor = GetRectOfMonitorContainingPoint(popupPoint, true);
    else
        place.Monitor = GetRectOfMonitorContainingRect(place.ParentRect, true);
    view->MonitorRect = place.Monitor;
    const bool chevron = view->ChevronParentView() != nullptr;
    if (chevron)
        view->SetWrapWidth(place.Monitor.right - place.Monitor.left - 6);
    else
        view->MaxHeight = place.Monitor.bottom - place.Monitor.top - 6;
    popup->HandleNeeded();
    if (!parentView) {
        // A popup of its own starts the keyboard cues.
        HWND h = popup->Handle();
        SendMessageW(h, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
        view->SetStyle(view->Style() | vsUseHiddenAccels);
        LRESULT ui = SendMessageW(h, WM_QUERYUISTATE, 0, 0);
        view->SetAccelsVisibility(!(ui & UISF_HIDEACCEL));
    }

    // 4. Selection and size.
    if (selectFirstItem && (!view->SelectFirst() || alive.expired() || parentGone()))
        return nullptr;   // the selection's handlers freed what opened it
    view->UpdatePositions();
    place.Size = SIZE{popup->Width(), popup->Height()};

    // 5-9. Position and direction.
    place.AsSubmenu = positionAsSubmenu && !place.PointPopup;
    place.ParentVertical = parentView && parentView->Orientation() == tbvoVertical;
    place.ParentOpposite = parentView && (parentView->State() & vsOppositePopup);
    place.Chevron = chevron;
    place.ParentHorizontalToolbar = parentView && parentView->IsToolbar() && !place.ParentVertical;
    place.DropRightAligned = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0;
    place.Alignment = alignment == tbpaRight ? tbpaRight : alignment == tbpaCenter ? tbpaCenter : tbpaLeft;
    place.Compute();
    if (place.AsSubmenu) {
        if (place.Opposite)
            view->Include(vsOppositePopup);
        else
            view->Exclude(vsOppositePopup);
    }
    popup->AnimationDirection = place.Direction;

    // 10. Into place; the opener knows its popup.
    popup->SetBounds(place.Pos.x, place.Pos.y, place.Size.cx, place.Size.cy);
    TTBPopupWindow* result = popup.get();
    if (parentView) {
        parentView->SetOpenViewer(parentViewer, view, result);
        popup.release();   // the parent view owns it now
        if (parentView->IsToolbar()) {
            parentView->Include(vsDropDownMenus);
            parentView->Invalidate(parentViewer);
            if (parentWnd)
                UpdateWindow(parentWnd);
        }
    }

    // 11. Shown, with the menu sound.
    view->Include(vsDrawInOrder);
    if (SoundSchemeHasEvent("MenuPopup")) {
        if (!firstPopupShown) {
            result->Show();
            UpdateWindow(result->Handle());
            PlaySystemSound("MenuPopup");
        } else {
            PlaySystemSound("MenuPopup");
            result->Show();
        }
    } else {
        result->Show();
    }
    firstPopupShown = true;
    RaiseWinEvent(EVENT_SYSTEM_MENUPOPUPSTART, result->Handle());
    TBNotifyFocus(view);   // the item selected while it was hidden
    if (!parentView)
        popup.release();   // the caller owns a popup of its own
    return result;
}
