// The dock: properties, the lists of its windows, the bound lines, the shared
// background and the relays. The arrangement is in TBDockArrange.cpp.
#include "toolbars/TBDock.h"

#include <algorithm>

#include "platform/Canvas.h"
#include "platform/Firewall.h"
#include "platform/GdiGuards.h"
#include "platform/Menus.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBFloatParent.h"

// --- TTBBasicBackground ---

TTBBasicBackground::~TTBBasicBackground() = default;

void TTBBasicBackground::RegisterChanges(const void* owner, std::function<void()> handler)
{
    for (Handler& h : handlers_)
        if (h.owner == owner) {
            h.fn = std::move(handler);
            return;
        }
    handlers_.push_back({owner, std::move(handler)});
}

void TTBBasicBackground::UnregisterChanges(const void* owner)
{
    handlers_.erase(std::remove_if(handlers_.begin(), handlers_.end(),
                                   [owner](const Handler& h) { return h.owner == owner; }),
                    handlers_.end());
}

void TTBBasicBackground::Changed()
{
    // A handler may unregister itself or another one: walk a copy and skip
    // those that went meanwhile.
    std::vector<Handler> list = handlers_;
    for (const Handler& h : list) {
        bool present = std::any_of(handlers_.begin(), handlers_.end(),
                                   [&](const Handler& x) { return x.owner == h.owner; });
        if (present && h.fn)
            h.fn();
    }
}

// --- TTBDock ---

namespace {

TAlign AlignOf(TTBDockPosition p)
{
    switch (p) {
    case dpBottom:
        return TAlign::alBottom;
    case dpLeft:
        return TAlign::alLeft;
    case dpRight:
        return TAlign::alRight;
    default:
        return TAlign::alTop;
    }
}

bool Contains(const std::vector<TTBCustomDockableWindow*>& list, TTBCustomDockableWindow* bar)
{
    return std::find(list.begin(), list.end(), bar) != list.end();
}

// Tells a window its frame changed (the non-client area is measured again).
void FrameChanged(HWND h)
{
    SetWindowPos(h, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
}

}  // namespace

TTBDock::TTBDock(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    width_ = 150;
    height_ = 0;
    SetAlign(TAlign::alTop);
}

TTBDock::~TTBDock()
{
    Destroying();
    if (background_)
        background_->UnregisterChanges(this);
    background_ = nullptr;
    visibleList_.clear();
    dockList_.clear();
}

void TTBDock::SetParent(TWinControl* parent)
{
    if (parent && (dynamic_cast<TTBDock*>(parent) || dynamic_cast<TTBCustomDockableWindow*>(parent) ||
                   dynamic_cast<TTBFloatingWindowParent*>(parent)))
        throw EInvalidOperation("A TTBDock control cannot be placed inside a tool window or another TTBDock");
    TWinControl::SetParent(parent);
}

void TTBDock::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"BrenixTBDock";
    // No CS_HREDRAW/CS_VREDRAW: a dock that grows repaints only what is new.
    params.classStyle = CS_DBLCLKS;
}

void TTBDock::CreateWnd()
{
    TWinControl::CreateWnd();
    // The window's first WM_NCCALCSIZE came before our procedure was on it.
    if (boundLines_)
        FrameChanged(Handle());
}

void TTBDock::Loaded()
{
    TWinControl::Loaded();
    ArrangeToolbars();
}

void TTBDock::SetAllowDrag(bool value)
{
    if (value == allowDrag_)
        return;
    allowDrag_ = value;
    // The drag handles of the windows in the dock come or go.
    for (int i = 0; i < ControlCount(); ++i)
        if (auto* w = dynamic_cast<TTBCustomDockableWindow*>(Controls(i)))
            if (w->HandleAllocated())
                FrameChanged(w->Handle());
    ArrangeToolbars();
}

void TTBDock::SetBackground(TTBBasicBackground* value)
{
    if (value == background_)
        return;
    if (background_) {
        background_->UnregisterChanges(this);
        RemoveFreeNotification(background_);
    }
    background_ = value;
    if (background_) {
        background_->RegisterChanges(this, [this] { BackgroundChanged(); });
        FreeNotification(background_);
    }
    InvalidateBackgrounds();
}

void TTBDock::SetBackgroundOnToolbars(bool value)
{
    if (value == backgroundOnToolbars_)
        return;
    backgroundOnToolbars_ = value;
    InvalidateBackgrounds();
}

void TTBDock::BackgroundChanged() { InvalidateBackgrounds(); }

void TTBDock::SetBoundLines(TTBDockBoundLines value)
{
    value &= blTop | blBottom | blLeft | blRight;
    if (value == boundLines_)
        return;
    boundLines_ = value;
    ncWidth_ = ((value & blLeft) ? 1 : 0) + ((value & blRight) ? 1 : 0);
    ncHeight_ = ((value & blTop) ? 1 : 0) + ((value & blBottom) ? 1 : 0);
    if (HandleAllocated())
        FrameChanged(Handle());
    ArrangeToolbars();
}

void TTBDock::SetFixAlign(bool value)
{
    if (value == fixAlign_)
        return;
    fixAlign_ = value;
    ArrangeToolbars();
}

void TTBDock::SetLimitToOneRow(bool value)
{
    if (value == limitToOneRow_)
        return;
    limitToOneRow_ = value;
    ArrangeToolbars();
}

void TTBDock::SetPosition(TTBDockPosition value)
{
    if (value == position_)
        return;
    if (ControlCount() > 0)
        throw EInvalidOperation("Cannot change Position of a TTBDock if it already contains controls");
    position_ = value;
    SetAlign(AlignOf(value));
    ArrangeToolbars();
}

void TTBDock::SetPopupMenu(TPopupMenu* menu)
{
    if (menu == popupMenu_)
        return;
    if (popupMenu_)
        RemoveFreeNotification(popupMenu_);
    popupMenu_ = menu;
    if (menu)
        FreeNotification(menu);
}

void TTBDock::Notification(TComponent* component, TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == background_) {
        background_ = nullptr;
        if (!IsDestroying())
            InvalidateBackgrounds();
    }
    if (component == popupMenu_)
        popupMenu_ = nullptr;
    auto* bar = dynamic_cast<TTBCustomDockableWindow*>(component);
    if (!bar)
        return;
    bool wasVisible = Contains(visibleList_, bar);
    dockList_.erase(std::remove(dockList_.begin(), dockList_.end(), bar), dockList_.end());
    visibleList_.erase(std::remove(visibleList_.begin(), visibleList_.end(), bar), visibleList_.end());
    if (wasVisible && !IsDestroying())
        ArrangeToolbars();
}

// --- lists ---

void TTBDock::BeginUpdate() { ++disableArrange_; }

void TTBDock::EndUpdate()
{
    if (disableArrange_ > 0)
        --disableArrange_;
    if (disableArrange_ == 0 && arrangeNeeded_)
        ArrangeToolbars();
}

void TTBDock::DragBegins(TTBCustomDockableWindow* bar)
{
    for (TTBCustomDockableWindow* b : visibleList_)
        if (b != bar)
            b->SetArrangedPlace(b->EffectiveDockRow(), b->EffectiveDockPos(), true);
}

void TTBDock::ChangeDockList(bool insert, TTBCustomDockableWindow* bar)
{
    if (!bar)
        return;
    if (insert) {
        if (!Contains(dockList_, bar)) {
            dockList_.push_back(bar);
            FreeNotification(bar);
        }
    } else {
        auto it = std::find(dockList_.begin(), dockList_.end(), bar);
        if (it != dockList_.end()) {
            dockList_.erase(it);
            // The dock may still hold the window as a child (last docked).
            if (bar->Parent() != this)
                RemoveFreeNotification(bar);
        }
    }
    ToolbarVisibilityChanged(bar, false);
}

void TTBDock::ToolbarVisibilityChanged(TTBCustomDockableWindow* bar, bool forceRemove)
{
    if (!bar)
        return;
    bool shown = !forceRemove && !bar->IsDestroying() && bar->Parent() == this &&
                 (bar->Visible() || IsDesigning());
    bool listed = Contains(visibleList_, bar);
    if (shown == listed)
        return;
    if (shown) {
        visibleList_.push_back(bar);
        FreeNotification(bar);
    } else {
        visibleList_.erase(std::remove(visibleList_.begin(), visibleList_.end(), bar), visibleList_.end());
    }
    if (IsDestroying())
        return;
    std::weak_ptr<void> alive = AliveToken();
    ArrangeToolbars();
    if (!alive.expired() && OnInsertRemoveBar)
        OnInsertRemoveBar(this, shown, bar);
}

int TTBDock::GetRowSize(int row, bool& fullSize) const
{
    int size = 0;
    for (TTBCustomDockableWindow* bar : visibleList_) {
        if (bar->EffectiveDockRow() != row)
            continue;
        size = std::max(size, IsVertical() ? bar->Width() : bar->Height());
        if (bar->FullSize())
            fullSize = true;
    }
    return size;
}

int TTBDock::GetHighestRow() const
{
    int highest = -1;
    for (TTBCustomDockableWindow* bar : visibleList_)
        highest = std::max(highest, bar->EffectiveDockRow());
    return highest;
}

int TTBDock::GetRowOf(int offset) const
{
    if (offset < 0)
        return 0;
    int highest = GetHighestRow();
    int start = 0;
    for (int row = 0; row <= highest; ++row) {
        bool full = false;
        start += GetRowSize(row, full);
        if (offset < start)
            return row;
    }
    return highest + 1;
}

// --- background ---

bool TTBDock::UsingBackground() const { return background_ && background_->UsingBackground(); }

void TTBDock::DrawBackground(HDC dc, const RECT& rect)
{
    if (!UsingBackground())
        return;
    // The pattern starts at the parent's client origin, so that docks and
    // the toolbars on them line up.
    POINT origin = {0, 0};
    if (HandleAllocated() && Parent() && Parent()->HandleAllocated())
        MapWindowPoints(Handle(), Parent()->Handle(), &origin, 1);
    TDCSave saved(dc);
    POINT vp;
    GetViewportOrgEx(dc, &vp);
    SetViewportOrgEx(dc, vp.x - origin.x, vp.y - origin.y, nullptr);
    RECT r = rect;
    OffsetRect(&r, origin.x, origin.y);
    background_->Draw(dc, r);
}

void TTBDock::InvalidateBackgrounds()
{
    if (!HandleAllocated())
        return;
    InvalidateRect(Handle(), nullptr, TRUE);
    for (TTBCustomDockableWindow* bar : visibleList_)
        if (bar->HandleAllocated())
            RedrawWindow(bar->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
}

void TTBDock::EraseBackground(HDC dc)
{
    RECT r;
    GetClientRect(Handle(), &r);
    if (UsingBackground()) {
        DrawBackground(dc, r);
        return;
    }
    TCanvas canvas(dc);
    canvas.SetBrushColor(Color());
    canvas.FillRect(r);
}

// --- non-client area ---

void TTBDock::PaintNonClient(HDC dc)
{
    RECT win;
    GetWindowRect(Handle(), &win);
    RECT w = {0, 0, win.right - win.left, win.bottom - win.top};
    RECT client;
    GetClientRect(Handle(), &client);
    MapWindowPoints(Handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    OffsetRect(&client, -win.left, -win.top);

    TDCSave saved(dc);
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    TCanvas canvas(dc);
    canvas.SetBrushColor(Color());
    canvas.FillRect(w);
    if (!(IsDesigning() || HasVisibleToolbars()))
        return;
    auto line = [&](int x1, int y1, int x2, int y2, int color) {
        canvas.SetBrushColor(GetSysColor(color));
        RECT r = {x1, y1, x2, y2};
        canvas.FillRect(r);
    };
    if (boundLines_ & blTop)
        line(0, 0, w.right, 1, COLOR_BTNSHADOW);
    if (boundLines_ & blLeft)
        line(0, 0, 1, w.bottom, COLOR_BTNSHADOW);
    if (boundLines_ & blBottom)
        line(0, w.bottom - 1, w.right, w.bottom, COLOR_BTNHIGHLIGHT);
    if (boundLines_ & blRight)
        line(w.right - 1, 0, w.right, w.bottom, COLOR_BTNHIGHLIGHT);
}

// --- messages ---

bool TTBDock::DialogKey(WORD key, TShiftState shift)
{
    std::weak_ptr<void> alive = AliveToken();
    std::vector<TTBCustomDockableWindow*> bars = visibleList_;
    for (TTBCustomDockableWindow* bar : bars) {
        if (alive.expired())
            return true;
        if (!Contains(visibleList_, bar) || !bar->Docked() || !bar->Showing())
            continue;
        if (bar->DialogKey(key, shift))
            return true;
    }
    // The rest of the children.
    std::vector<TControl*> others;
    for (int i = 0; i < ControlCount(); ++i)
        if (!Contains(bars, dynamic_cast<TTBCustomDockableWindow*>(Controls(i))))
            others.push_back(Controls(i));
    for (TControl* c : others) {
        if (alive.expired())
            return true;
        if (c->Visible() && c->DialogKey(key, shift))
            return true;
    }
    return false;
}

bool TTBDock::DialogChar(wchar_t ch, TShiftState shift)
{
    std::weak_ptr<void> alive = AliveToken();
    std::vector<TTBCustomDockableWindow*> bars = visibleList_;
    for (TTBCustomDockableWindow* bar : bars) {
        if (alive.expired())
            return true;
        if (!Contains(visibleList_, bar) || !bar->Docked() || !bar->Showing())
            continue;
        if (bar->DialogChar(ch, shift))
            return true;
    }
    std::vector<TControl*> others;
    for (int i = 0; i < ControlCount(); ++i)
        if (!Contains(bars, dynamic_cast<TTBCustomDockableWindow*>(Controls(i))))
            others.push_back(Controls(i));
    for (TControl* c : others) {
        if (alive.expired())
            return true;
        if (c->Visible() && c->DialogChar(ch, shift))
            return true;
    }
    return false;
}

void TTBDock::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_NCCALCSIZE: {
        auto* r = reinterpret_cast<RECT*>(m.LParam);
        if (boundLines_ & blTop)
            ++r->top;
        if (boundLines_ & blBottom)
            --r->bottom;
        if (boundLines_ & blLeft)
            ++r->left;
        if (boundLines_ & blRight)
            --r->right;
        if (r->bottom < r->top)
            r->bottom = r->top;
        if (r->right < r->left)
            r->right = r->left;
        m.Result = 0;
        return;
    }
    case WM_NCPAINT: {
        TWholeWindowDC dc(Handle());
        if (dc.Handle()) {
            SelectNCUpdateRgn(Handle(), dc.Handle(), reinterpret_cast<HRGN>(m.WParam));
            PaintNonClient(dc.Handle());
        }
        m.Result = 0;
        return;
    }
    case WM_ERASEBKGND:
        if (m.WParam)
            EraseBackground(reinterpret_cast<HDC>(m.WParam));
        m.Result = 1;
        return;
    case WM_PRINT:
        m.Result = AnswerPrintMessage(Handle(), m.WParam, m.LParam,
                                      [this](HWND, HDC dc) { PaintNonClient(dc); });
        return;
    case WM_PRINTCLIENT:
        m.Result = AnswerPrintClientMessage(*this, m.WParam, m.LParam);
        return;
    case WM_MOVE:
        TWinControl::WndProc(m);
        if (UsingBackground())
            InvalidateBackgrounds();
        return;
    case WM_SYSCOLORCHANGE:
        if (background_)
            background_->SysColorChanged();
        break;
    case WM_SYSCOMMAND: {
        // Offered first to the docked toolbars that take menu commands.
        std::weak_ptr<void> alive = AliveToken();
        std::vector<TTBCustomDockableWindow*> bars = visibleList_;
        for (TTBCustomDockableWindow* bar : bars) {
            if (alive.expired())
                return;
            if (!Contains(visibleList_, bar) || !bar->Docked() || !bar->Showing() ||
                !(bar->ControlStyle() & csMenuEvents))
                continue;
            LRESULT r = bar->Perform(m.Msg, m.WParam, m.LParam);
            if (r != 0) {
                m.Result = r;
                return;
            }
        }
        break;
    }
    case WM_CONTEXTMENU: {
        POINT p = {static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
        bool handled = false;
        if (OnContextPopup) {
            std::weak_ptr<void> alive = AliveToken();
            OnContextPopup(this, p, handled);
            if (alive.expired())
                return;
        }
        if (!handled && popupMenu_ && popupMenu_->AutoPopup) {
            if (p.x == -1 && p.y == -1)
                p = ClientToScreen(POINT{0, 0});
            popupMenu_->PopupComponent = this;
            popupMenu_->Popup(p.x, p.y);
            handled = true;
        }
        if (handled) {
            m.Result = 0;
            return;
        }
        break;
    }
    default:
        break;
    }
    TWinControl::WndProc(m);
}

void TTBDock::Paint(TCanvas& canvas)
{
    if (UsingBackground()) {
        RECT r;
        GetClientRect(Handle(), &r);
        DrawBackground(canvas.Handle(), r);
    }
    if (IsDesigning()) {
        RECT r;
        GetClientRect(Handle(), &r);
        HPEN pen = CreatePen(PS_DOT, 1, GetSysColor(COLOR_BTNSHADOW));
        HGDIOBJ old = SelectObject(canvas.Handle(), pen);
        HGDIOBJ oldBrush = SelectObject(canvas.Handle(), GetStockObject(NULL_BRUSH));
        Rectangle(canvas.Handle(), r.left, r.top, r.right, r.bottom);
        SelectObject(canvas.Handle(), oldBrush);
        SelectObject(canvas.Handle(), old);
        DeleteObject(pen);
    }
}
