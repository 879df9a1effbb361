// The dockable window: properties, parent changes between docks, floating
// window parents and the form, arrangement, floating ownership and
// visibility, closing. The drag and sizing loops are in TBDockableDrag.cpp,
// the docked frame in TBDockableFrame.cpp.
#include "toolbars/TBDockable.h"

#include <algorithm>
#include <cstdio>

#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Menus.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBFloatParent.h"
#include "toolbars/TBHooks.h"

namespace {

// The dockable windows of this thread, and whether the application is
// active as the last WM_ACTIVATEAPP told.
struct TDockableThreadState {
    std::vector<TTBCustomDockableWindow*> windows;
    bool appActiveKnown = false;
    bool appActive = false;
};

TDockableThreadState& ThreadState()
{
    static thread_local TDockableThreadState state;
    return state;
}

bool ApplicationActive()
{
    TDockableThreadState& s = ThreadState();
    if (!s.appActiveKnown) {
        s.appActiveKnown = true;
        s.appActive = IsAnyWindowActive();
    }
    return s.appActive;
}

// The window is the form's window or one of its children.
bool IsFormOrChild(HWND formWindow, HWND window)
{
    return formWindow && window && (formWindow == window || IsChild(formWindow, window));
}

void ThreadHook(TThreadHookEvent event, HWND window, WPARAM wParam, LPARAM lParam)
{
    TDockableThreadState& s = ThreadState();
    // A handler may free windows: work on a snapshot and skip the gone ones.
    std::vector<TTBCustomDockableWindow*> list = s.windows;
    auto stillListed = [&s](TTBCustomDockableWindow* w) {
        return std::find(s.windows.begin(), s.windows.end(), w) != s.windows.end();
    };
    switch (event) {
    case hpeActivateApp:
        s.appActiveKnown = true;
        s.appActive = wParam != 0;
        for (TTBCustomDockableWindow* w : list)
            if (stillListed(w))
                w->UpdateFloatingVisibility();
        break;
    case hpeActivate:
        for (TTBCustomDockableWindow* w : list) {
            if (!stillListed(w) || !w->Floating())
                continue;
            TForm* form = w->GetParentForm();
            if (form && form->HandleAllocated() && IsFormOrChild(form->Handle(), window))
                w->UpdateFloatingVisibility();
        }
        break;
    case hpeWindowPosChanged: {
        // The parent form shown, hidden, minimised or restored (a minimise
        // or restore moves and sizes it).
        auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!pos)
            break;
        bool shownOrHidden = (pos->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) != 0;
        bool movedOrSized = (pos->flags & (SWP_NOSIZE | SWP_NOMOVE)) != (SWP_NOSIZE | SWP_NOMOVE);
        if (!shownOrHidden && !movedOrSized)
            break;
        for (TTBCustomDockableWindow* w : list) {
            if (!stillListed(w) || !w->Floating())
                continue;
            TForm* form = w->GetParentForm();
            if (form && form->HandleAllocated() && form->Handle() == window)
                w->UpdateFloatingVisibility();
        }
        break;
    }
    case hpeDestroyWindow:
        // Floating windows owned by a window going away are handed to the
        // application window, so that they do not go with it.
        for (TTBCustomDockableWindow* w : list) {
            if (!stillListed(w) || !w->Floating())
                continue;
            TTBFloatingWindowParent* p = w->FloatingWindowParent();
            if (p && p->HandleAllocated() && GetWindow(p->Handle(), GW_OWNER) == window && window != p->Handle())
                SetWindowLongPtrW(p->Handle(), GWLP_HWNDPARENT,
                                  reinterpret_cast<LONG_PTR>(Application().Handle()));
        }
        break;
    default:
        break;
    }
}

constexpr TThreadHookEvents kAllHookEvents = HookEventBit(hpeActivate) | HookEventBit(hpeActivateApp) |
                                             HookEventBit(hpeWindowPosChanged) | HookEventBit(hpeDestroyWindow);

}  // namespace

// --- construction ---

TTBCustomDockableWindow::TTBCustomDockableWindow(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    SetColor(GetSysColor(COLOR_BTNFACE));
    if (!IsDesigning()) {
        ThreadState().windows.push_back(this);
        RegisterThreadHook(this, ThreadHook, kAllHookEvents);
    }
}

TTBCustomDockableWindow::~TTBCustomDockableWindow()
{
    Destroying();
    UnregisterThreadHook(this, ThreadHook);
    auto& list = ThreadState().windows;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    // Children first (they may be toolbar controls that talk to us), then
    // out of the dock or floating window parent, so that no parent frees us.
    DestroyComponents();
    if (Parent())
        SetParent(nullptr);
    if (lastDock_) {
        TTBDock* d = lastDock_;
        lastDock_ = nullptr;
        d->ChangeDockList(false, this);
    }
    if (TTBFloatingWindowParent* p = floatParent_) {
        floatParent_ = nullptr;
        p->SetDockableWindow(nullptr);
        // Inside a loop of ours (a drag or size started from the floating
        // window's own frame) its window procedure is still running.
        if (Application().NestingDepth() > 0) {
            if (p->HandleAllocated())
                ShowWindow(p->Handle(), SW_HIDE);
            Application().ReleaseLater(p);
        } else {
            delete p;
        }
    }
}

// --- place ---

TForm* TTBCustomDockableWindow::GetParentForm()
{
    if (floating_ && floatParentForm_)
        return floatParentForm_;
    TWinControl* top = ParentForm();
    if (auto* p = dynamic_cast<TTBFloatingWindowParent*>(top))
        return p->ParentForm();
    if (top == this)
        return floatParentForm_;
    return dynamic_cast<TForm*>(top);
}

TTBDockType TTBCustomDockableWindow::CurrentDockType() const
{
    if (docked_ && currentDock_)
        return currentDock_->IsVertical() ? dtLeftRight : dtTopBottom;
    return floating_ ? dtFloating : dtNotDocked;
}

void TTBCustomDockableWindow::SetCurrentDock(TTBDock* dock)
{
    if (IsLoading()) {
        currentDock_ = dock;
        return;
    }
    if (dock) {
        SetParent(dock);
    } else if (TForm* form = GetParentForm()) {
        SetParent(form);
    }
}

void TTBCustomDockableWindow::SetDefaultDock(TTBDock* dock)
{
    if (dock == defaultDock_)
        return;
    if (defaultDock_ && defaultDock_ != lastDock_ && defaultDock_ != currentDock_)
        RemoveFreeNotification(defaultDock_);
    defaultDock_ = dock;
    if (dock)
        FreeNotification(dock);
}

void TTBCustomDockableWindow::SetLastDock(TTBDock* dock)
{
    if (dock == lastDock_)
        return;
    if (lastDock_ && lastDock_ != Parent())
        lastDock_->ChangeDockList(false, this);
    lastDock_ = dock;
    if (dock) {
        useLastDock_ = true;
        FreeNotification(dock);
        dock->ChangeDockList(true, this);
    }
}

void TTBCustomDockableWindow::SetUseLastDock(bool v)
{
    if (v == useLastDock_)
        return;
    useLastDock_ = v;
    if (v)
        SetLastDock(currentDock_);
    else
        SetLastDock(nullptr);
}

void TTBCustomDockableWindow::SetDockPos(int v)
{
    dockPos_ = v;
    if (docked_ && currentDock_)
        currentDock_->ArrangeToolbars();
}

void TTBCustomDockableWindow::SetDockRow(int v)
{
    dockRow_ = v;
    if (docked_ && currentDock_)
        currentDock_->ArrangeToolbars();
}

void TTBCustomDockableWindow::SetArrangedPlace(int row, int pos, bool commit)
{
    effectiveDockRow_ = row;
    effectiveDockPos_ = pos;
    if (commit) {
        dockRow_ = row;
        dockPos_ = pos;
    }
}

void TTBCustomDockableWindow::SetFloatingPosition(POINT p)
{
    floatingPosition_ = p;
    if (floating_ && floatParent_ && Parent() == floatParent_)
        floatParent_->SetBounds(p.x, p.y, floatParent_->Width(), floatParent_->Height());
}

void TTBCustomDockableWindow::SetFloating(bool value)
{
    if (IsDesigning() || value == floating_)
        return;
    if (!value) {
        TForm* form = GetParentForm();
        if (!form)
            throw EInvalidOperation("Control '" + Name() + "' has no parent window");
        SetParent(form);
        return;
    }
    TForm* form = GetParentForm();
    if (!form)
        throw EInvalidOperation("Control '" + Name() + "' has no parent window");
    if (!floatParent_ || floatParent_->ParentForm() != form) {
        TTBFloatingWindowParent* p = NewFloatingWindowParent();
        p->SetVisible(false);
        p->SetParentForm(form);
        p->SetDockableWindow(this);
        char name[48];
        std::snprintf(name, sizeof name, "NBFloatingWindowParent_%.8x",
                      static_cast<unsigned>(reinterpret_cast<UINT_PTR>(p)));
        p->SetName(name);
        p->SetCaption(Caption());
        p->SetBorderStyle(TFormBorderStyle::bsToolWindow);
        RECT f = FloatingFrame();
        p->SetBounds(floatingPosition_.x, floatingPosition_.y, Width() + f.left + f.right,
                     Height() + f.top + f.bottom);
        p->SetShowHint(true);
        // With a window of its own the floating window parent takes ours as
        // it is (the drag loop keeps its capture).
        p->HandleNeeded();
        TTBFloatingWindowParent* old = floatParent_;
        floatParent_ = p;
        if (old && old != Parent()) {
            old->SetDockableWindow(nullptr);
            Application().ReleaseLater(old);
        }
    }
    if (floatParentForm_ != form) {
        if (floatParentForm_)
            RemoveFreeNotification(floatParentForm_);
        floatParentForm_ = form;
        FreeNotification(form);
    }
    SetParent(floatParent_);
    SetBounds(0, 0, Width(), Height());
    UpdateFloatingOwner();
    floatParent_->SetVisible(true);
    UpdateFloatingVisibility();
}

void TTBCustomDockableWindow::FreeFloatParentIfUnused()
{
    if (!floatParent_ || Parent() == floatParent_)
        return;
    TTBFloatingWindowParent* p = floatParent_;
    floatParent_ = nullptr;
    p->SetDockableWindow(nullptr);
    if (p->HandleAllocated())
        ShowWindow(p->Handle(), SW_HIDE);
    // It may be the window whose message brought us here: it goes once the
    // message is done.
    Application().ReleaseLater(p);
}

// The parent changes between a dock, a floating window parent and the form:
// the window keeps its handle, the docks' lists follow, and the held
// notifications fire at the end.
void TTBCustomDockableWindow::SetParent(TWinControl* parent)
{
    auto* newDock = dynamic_cast<TTBDock*>(parent);
    auto* newFloat = dynamic_cast<TTBFloatingWindowParent*>(parent);
    if (parent == Parent()) {
        currentDock_ = newDock;
        docked_ = newDock != nullptr;
        floating_ = newFloat != nullptr;
        return;
    }
    bool destroying = IsDestroying();
    std::weak_ptr<void> alive = AliveToken();
    if (!destroying && parent) {
        if (OnDockChanging)
            OnDockChanging(this, newFloat != nullptr, newDock);
        if (alive.expired())
            return;
        if (OnRecreating)
            OnRecreating(this);
        if (alive.expired())
            return;
    }
    // OnDockChangingHidden works on the window out of sight: what it changes
    // shows only at the new place.
    bool hidden = false;
    auto showAgain = [&] {
        if (hidden && !alive.expired() && HandleAllocated() && Visible())
            SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                         SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        hidden = false;
    };
    if (!destroying && parent && OnDockChangingHidden) {
        hidden = HandleAllocated() && IsWindowVisible(Handle());
        if (hidden)
            SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                         SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        try {
            OnDockChangingHidden(this, newFloat != nullptr, newDock);
        } catch (...) {
            showAgain();
            throw;
        }
        if (alive.expired())
            return;
    }
    TTBDock* oldDock = docked_ ? currentDock_ : nullptr;
    ++disableOnMove_;
    bool oldHeld = false, newHeld = false;
    if (oldDock) {
        oldDock->BeginUpdate();
        oldHeld = true;
    }
    if (newDock && newDock != oldDock) {
        newDock->BeginUpdate();
        newHeld = true;
    }
    BeginUpdate();
    auto release = [&] {
        --disableOnMove_;
        if (alive.expired())
            return;
        EndUpdate();
        if (newHeld)
            newDock->EndUpdate();
        if (oldHeld)
            oldDock->EndUpdate();
    };
    try {
        if (oldDock) {
            if (!useLastDock_ || lastDock_ != oldDock)
                oldDock->ChangeDockList(false, this);
            oldDock->ToolbarVisibilityChanged(this, true);
        }
        inSetParent_ = true;
        TWinControl::SetParent(parent);
        inSetParent_ = false;
        currentDock_ = newDock;
        docked_ = newDock != nullptr;
        floating_ = newFloat != nullptr;
        // The frame follows the new place (docked: border and drag handle;
        // elsewhere none).
        RecalcNCArea();
        if (!dragMode_)
            FreeFloatParentIfUnused();
        if (newDock) {
            if (!useLastDock_ || dragMode_) {
                newDock->ChangeDockList(true, this);
            } else {
                if (lastDock_ != newDock)
                    SetLastDock(newDock);
                else
                    newDock->ChangeDockList(true, this);
            }
            newDock->ToolbarVisibilityChanged(this, false);
        }
        if (!destroying)
            DoArrange(true);
    } catch (...) {
        inSetParent_ = false;
        release();
        showAgain();
        throw;
    }
    release();
    showAgain();
    if (destroying || !parent || alive.expired())
        return;
    if (OnDockChanged)
        OnDockChanged(this);
    if (alive.expired())
        return;
    if (OnRecreated)
        OnRecreated(this);
    if (alive.expired())
        return;
    if (OnMove)
        OnMove(this);
}

// --- look ---

void TTBCustomDockableWindow::SetAutoResize(bool v)
{
    if (v == autoResize_)
        return;
    autoResize_ = v;
    if (v)
        Arrange();
}

void TTBCustomDockableWindow::SetBorderStyle(TTBBorderStyle v)
{
    if (v == borderStyle_)
        return;
    borderStyle_ = v;
    if (docked_)
        RecalcNCArea();
}

void TTBCustomDockableWindow::SetCloseButton(bool v)
{
    if (v == closeButton_)
        return;
    closeButton_ = v;
    if (floatParent_ && floating_)
        floatParent_->RedrawNCArea(twrdAll);
}

void TTBCustomDockableWindow::SetCloseButtonWhenDocked(bool v)
{
    if (v == closeButtonWhenDocked_)
        return;
    closeButtonWhenDocked_ = v;
    if (docked_)
        RecalcNCArea();
}

void TTBCustomDockableWindow::SetDragHandleStyle(TTBDragHandleStyle v)
{
    if (v == dragHandleStyle_)
        return;
    dragHandleStyle_ = v;
    if (docked_)
        RecalcNCArea();
}

void TTBCustomDockableWindow::SetFloatingMode(TTBFloatingMode v)
{
    if (v == floatingMode_)
        return;
    floatingMode_ = v;
    UpdateFloatingOwner();
    UpdateFloatingVisibility();
}

void TTBCustomDockableWindow::SetFullSize(bool v)
{
    if (v == fullSize_)
        return;
    fullSize_ = v;
    if (docked_ && currentDock_)
        currentDock_->ArrangeToolbars();
}

void TTBCustomDockableWindow::SetHideWhenInactive(bool v)
{
    if (v == hideWhenInactive_)
        return;
    hideWhenInactive_ = v;
    UpdateFloatingVisibility();
}

void TTBCustomDockableWindow::SetResizable(bool v)
{
    if (v == resizable_)
        return;
    resizable_ = v;
    if (floatParent_ && floating_)
        floatParent_->RecalcNCArea();
}

void TTBCustomDockableWindow::SetShowCaption(bool v)
{
    if (v == showCaption_)
        return;
    showCaption_ = v;
    if (floatParent_ && floating_) {
        floatParent_->RecalcNCArea();
        Arrange();
    }
}

void TTBCustomDockableWindow::SetStretch(bool v)
{
    if (v == stretch_)
        return;
    stretch_ = v;
    if (docked_ && currentDock_)
        currentDock_->ArrangeToolbars();
}

// --- frame sizes ---

int TTBCustomDockableWindow::DragHandleSize() const
{
    if (closeButtonWhenDocked_)
        return 14;
    switch (dragHandleStyle_) {
    case dhDouble:
        return 9;
    case dhSingle:
        return 6;
    default:
        return 0;
    }
}

RECT TTBCustomDockableWindow::DockedFrame(TTBDockType type) const
{
    RECT f{2, 2, 2, 2};
    bool handle = !currentDock_ || !docked_ || currentDock_->AllowDrag();
    if (handle) {
        if (type == dtTopBottom)
            f.left += DragHandleSize();
        else if (type == dtLeftRight)
            f.top += DragHandleSize();
    }
    return f;
}

RECT TTBCustomDockableWindow::FloatingFrame() const
{
    int bx = GetSystemMetrics(resizable_ ? SM_CXFRAME : SM_CXDLGFRAME);
    int by = GetSystemMetrics(resizable_ ? SM_CYFRAME : SM_CYDLGFRAME);
    RECT f{bx, by, bx, by};
    if (showCaption_)
        f.top += GetSystemMetrics(SM_CYSMCAPTION);
    return f;
}

// --- virtual defaults ---

SIZE TTBCustomDockableWindow::CalcBaseSize(TTBDockType) { return SIZE{0, 0}; }

void TTBCustomDockableWindow::GetMinMaxSize(SIZE& minSize, SIZE& maxSize)
{
    minSize = SIZE{0, 0};
    maxSize = SIZE{0, 0};
}

int TTBCustomDockableWindow::GetMinShrinkSize()
{
    TTBDockType t = CurrentDockType();
    SIZE s = CalcBaseSize(t);
    SIZE nc = DockedNCSize(t);
    return t == dtLeftRight ? s.cy + nc.cy : s.cx + nc.cx;
}

RECT TTBCustomDockableWindow::GetDockedCloseButtonRect(bool leftRight)
{
    if (!closeButtonWhenDocked_)
        return RECT{};
    // A 10-pixel square at the outer end of the drag handle.
    if (leftRight)
        return RECT{Width() - 3 - 10, 3, Width() - 3, 3 + 10};
    return RECT{3, 3, 3 + 10, 3 + 10};
}

TTBFloatingWindowParent* TTBCustomDockableWindow::NewFloatingWindowParent()
{
    return new TTBFloatingWindowParent(nullptr);
}

void TTBCustomDockableWindow::SizeChanging(TTBSizeHandle, SIZE&) {}

void TTBCustomDockableWindow::Arrange() { DoArrange(true); }

void TTBCustomDockableWindow::EndUpdate()
{
    if (disableArrange_ > 0 && --disableArrange_ == 0 && arrangeNeeded_)
        DoArrange(true);
}

void TTBCustomDockableWindow::DoArrange(bool)
{
    if (disableArrange_ > 0) {
        arrangeNeeded_ = true;
        return;
    }
    arrangeNeeded_ = false;
    if (IsLoading() || !Parent() || inArrange_ || IsDestroying())
        return;
    inArrange_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inArrange_};
    if (docked_ && currentDock_) {
        currentDock_->ArrangeToolbars();
        return;
    }
    if (!autoResize_ && !floating_)
        return;
    SIZE s = CalcBaseSize(CurrentDockType());
    if (s.cx <= 0 && s.cy <= 0)
        return;
    RECT wr{}, cr{};
    int ncx = 0, ncy = 0;
    if (HandleAllocated()) {
        GetWindowRect(Handle(), &wr);
        GetClientRect(Handle(), &cr);
        ncx = (wr.right - wr.left) - cr.right;
        ncy = (wr.bottom - wr.top) - cr.bottom;
    }
    SetBounds(Left(), Top(), s.cx + ncx, s.cy + ncy);
}

void TTBCustomDockableWindow::SetBounds(int left, int top, int width, int height)
{
    bool sizeChanged = width != Width() || height != Height();
    TWinControl::SetBounds(left, top, width, height);
    if (floating_ && floatParent_ && Parent() == floatParent_ && !inSetParent_) {
        RECT f = FloatingFrame();
        int pw = Width() + f.left + f.right, ph = Height() + f.top + f.bottom;
        if (pw != floatParent_->Width() || ph != floatParent_->Height())
            floatParent_->SetBounds(floatParent_->Left(), floatParent_->Top(), pw, ph);
    }
    if (sizeChanged && !inArrange_ && !IsLoading())
        SizeChangedExternally();
}

// --- operations ---

void TTBCustomDockableWindow::CloseWindow()
{
    bool canClose = true;
    std::weak_ptr<void> alive = AliveToken();
    if (OnCloseQuery)
        OnCloseQuery(this, canClose);
    if (!canClose || alive.expired())
        return;
    Hide();
    if (!alive.expired() && OnClose)
        OnClose(this);
}

bool TTBCustomDockableWindow::CanDrag() const
{
    if (floating_)
        return true;
    return docked_ && currentDock_ && currentDock_->AllowDrag();
}

void TTBCustomDockableWindow::DoubleClick()
{
    if (!CanDrag())
        return;
    if (floating_) {
        if (lastDock_) {
            SetParent(lastDock_);
        } else if (defaultDock_) {
            dockRow_ = 0;
            dockPos_ = -8;
            SetParent(defaultDock_);
        }
        return;
    }
    if (docked_ && dockMode_ == dmCanFloat) {
        if (HandleAllocated()) {
            RECT r;
            GetWindowRect(Handle(), &r);
            floatingPosition_ = POINT{r.left, r.top};
        }
        SetFloating(true);
        MoveOnScreen(true);
    }
}

void TTBCustomDockableWindow::MoveOnScreen(bool onlyIfFullyOffScreen)
{
    if (!floating_ || !floatParent_ || !floatParent_->HandleAllocated())
        return;
    RECT r;
    GetWindowRect(floatParent_->Handle(), &r);
    RECT wa = GetRectOfMonitorContainingRect(r, true);
    RECT tmp;
    if (onlyIfFullyOffScreen && IntersectRect(&tmp, &r, &wa))
        return;
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = r.left, y = r.top;
    if (x + w > wa.right)
        x = wa.right - w;
    if (y + h > wa.bottom)
        y = wa.bottom - h;
    if (x < wa.left)
        x = wa.left;
    if (y < wa.top)
        y = wa.top;
    if (x != r.left || y != r.top) {
        floatingPosition_ = POINT{x, y};
        floatParent_->SetBounds(x, y, w, h);
    }
}

void TTBCustomDockableWindow::UpdateFloatingOwner()
{
    if (!floatParent_ || !floatParent_->HandleAllocated())
        return;
    HWND fp = floatParent_->Handle();
    TForm* form = GetParentForm();
    HWND formWnd = form && form->HandleAllocated() ? form->Handle() : nullptr;
    HWND owner = floatingMode_ == fmOnTopOfAllForms || !formWnd ? Application().Handle() : formWnd;
    if (reinterpret_cast<HWND>(GetWindowLongPtrW(fp, GWLP_HWNDPARENT)) != owner)
        SetWindowLongPtrW(fp, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    if (owner == formWnd && formWnd) {
        // Just above the form in the z-order.
        HWND above = GetWindow(formWnd, GW_HWNDPREV);
        if (above == fp)
            return;
        SetWindowPos(fp, above ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void TTBCustomDockableWindow::UpdateFloatingVisibility()
{
    if (!floatParent_ || Parent() != floatParent_ || IsDestroying())
        return;
    TForm* form = GetParentForm();
    HWND formWnd = form && form->HandleAllocated() ? form->Handle() : nullptr;
    bool show = Visible() && formWnd && IsWindowVisible(formWnd) && !IsIconic(formWnd) &&
                (!hideWhenInactive_ || ApplicationActive());
    floatParent_->SetShouldShow(show);
    floatParent_->UpdateVisibility();
    if (!floatParent_->HandleAllocated())
        return;
    HWND fp = floatParent_->Handle();
    HWND owner = GetWindow(fp, GW_OWNER);
    if (owner) {
        bool enabled = IsWindowEnabled(owner) != FALSE;
        if ((IsWindowEnabled(fp) != FALSE) != enabled)
            EnableWindow(fp, enabled);
        bool ownerTop = (GetWindowLongW(owner, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        bool top = (GetWindowLongW(fp, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        if (ownerTop != top)
            SetWindowPos(fp, ownerTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

// --- housekeeping ---

void TTBCustomDockableWindow::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"TBDockableWindow";
    if (!IsDesigning())
        params.classStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TTBCustomDockableWindow::Loaded()
{
    TWinControl::Loaded();
    if (currentDock_ && Parent() != currentDock_) {
        TTBDock* d = currentDock_;
        currentDock_ = nullptr;
        SetParent(d);
    }
    if (!savedAtRunTime_ && floatParent_ && Parent() == floatParent_)
        MoveOnScreen(true);
    Arrange();
}

void TTBCustomDockableWindow::Notification(TComponent* component, TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == defaultDock_)
        defaultDock_ = nullptr;
    if (component == lastDock_)
        lastDock_ = nullptr;
    if (component == currentDock_ && !docked_)
        currentDock_ = nullptr;
    if (component == floatParentForm_) {
        floatParentForm_ = nullptr;
        if (floatParent_) {
            // The form that owns the floating window goes: leave it and free it.
            TTBFloatingWindowParent* p = floatParent_;
            if (Parent() == p)
                TWinControl::SetParent(nullptr);
            floating_ = false;
            floatParent_ = nullptr;
            p->SetDockableWindow(nullptr);
            delete p;
        }
    }
    if (component == floatParent_)
        floatParent_ = nullptr;
    if (component == popupMenu_)
        popupMenu_ = nullptr;
}

void TTBCustomDockableWindow::VisibleChanged()
{
    TWinControl::VisibleChanged();
    if (docked_ && currentDock_)
        currentDock_->ToolbarVisibilityChanged(this, false);
    UpdateFloatingVisibility();
    if (OnVisibleChanged)
        OnVisibleChanged(this);
}

void TTBCustomDockableWindow::CaptionChanged()
{
    TWinControl::CaptionChanged();
    if (floatParent_)
        floatParent_->SetCaption(TControl::Caption());
}

const TPropTable& TTBCustomDockableWindow::Published() const
{
    using W = TTBCustomDockableWindow;
    static const TPropTable table = [this] {
        TPropTable t(&this->TControl::Published());
        TPropTableOf<W>(t)
            .Bool("ActivateParent", [](W& w) { return w.ActivateParent(); },
                  [](W& w, bool v) { w.SetActivateParent(v); })
            .Bool("AutoResize", [](W& w) { return w.AutoResize(); }, [](W& w, bool v) { w.SetAutoResize(v); })
            .Enum("BorderStyle", {"bsNone", "bsSingle"}, [](W& w) { return static_cast<int>(w.BorderStyle()); },
                  [](W& w, int v) { w.SetBorderStyle(static_cast<TTBBorderStyle>(v)); })
            .Bool("CloseButton", [](W& w) { return w.CloseButton(); }, [](W& w, bool v) { w.SetCloseButton(v); })
            .Bool("CloseButtonWhenDocked", [](W& w) { return w.CloseButtonWhenDocked(); },
                  [](W& w, bool v) { w.SetCloseButtonWhenDocked(v); })
            // A stored reference that names no dock (a control of another
            // kind, or nothing) leaves the window where it is.
            .Component("CurrentDock", [](W& w) -> TComponent* { return w.CurrentDock(); },
                       [](W& w, TComponent* c) {
                           if (auto* d = dynamic_cast<TTBDock*>(c))
                               w.SetCurrentDock(d);
                       })
            .Component("DefaultDock", [](W& w) -> TComponent* { return w.DefaultDock(); },
                       [](W& w, TComponent* c) {
                           if (!c || dynamic_cast<TTBDock*>(c))
                               w.SetDefaultDock(static_cast<TTBDock*>(c));
                       })
            .Set("DockableTo", {"dpTop", "dpBottom", "dpLeft", "dpRight"}, [](W& w) { return w.DockableTo(); },
                 [](W& w, unsigned v) { w.SetDockableTo(v); })
            .Enum("DockMode", {"dmCanFloat", "dmCannotFloat", "dmCannotFloatOrChangeDocks"},
                  [](W& w) { return static_cast<int>(w.DockMode()); },
                  [](W& w, int v) { w.SetDockMode(static_cast<TTBDockMode>(v)); })
            .Int("DockPos", [](W& w) { return w.DockPos(); }, [](W& w, int v) { w.SetDockPos(v); })
            .Int("DockRow", [](W& w) { return w.DockRow(); }, [](W& w, int v) { w.SetDockRow(v); })
            .Enum("DragHandleStyle", {"dhDouble", "dhNone", "dhSingle"},
                  [](W& w) { return static_cast<int>(w.DragHandleStyle()); },
                  [](W& w, int v) { w.SetDragHandleStyle(static_cast<TTBDragHandleStyle>(v)); })
            .Enum("FloatingMode", {"fmOnTopOfParentForm", "fmOnTopOfAllForms"},
                  [](W& w) { return static_cast<int>(w.FloatingMode()); },
                  [](W& w, int v) { w.SetFloatingMode(static_cast<TTBFloatingMode>(v)); })
            .Bool("FullSize", [](W& w) { return w.FullSize(); }, [](W& w, bool v) { w.SetFullSize(v); })
            .Bool("HideWhenInactive", [](W& w) { return w.HideWhenInactive(); },
                  [](W& w, bool v) { w.SetHideWhenInactive(v); })
            .Component("LastDock", [](W& w) -> TComponent* { return w.LastDock(); },
                       [](W& w, TComponent* c) {
                           if (!c || dynamic_cast<TTBDock*>(c))
                               w.SetLastDock(static_cast<TTBDock*>(c));
                       })
            .Bool("Resizable", [](W& w) { return w.Resizable(); }, [](W& w, bool v) { w.SetResizable(v); })
            .Bool("SavedAtRunTime", [](W& w) { return !w.IsDesigning() || w.SavedAtRunTime(); },
                  [](W& w, bool v) { w.savedAtRunTime_ = v; })
            .Bool("ShowCaption", [](W& w) { return w.ShowCaption(); }, [](W& w, bool v) { w.SetShowCaption(v); })
            .Bool("SmoothDrag", [](W& w) { return w.SmoothDrag(); }, [](W& w, bool v) { w.SetSmoothDrag(v); })
            .Bool("Stretch", [](W& w) { return w.Stretch(); }, [](W& w, bool v) { w.SetStretch(v); })
            .Bool("UseLastDock", [](W& w) { return w.UseLastDock(); },
                  [](W& w, bool v) { w.SetUseLastDock(v); });
        return t;
    }();
    return table;
}
