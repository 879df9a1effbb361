// The toolbar: construction, properties, layout in its place, mouse, keys,
// hints, painting, control items and the idle action updates.
#include "toolbars/TBToolbar.h"

#include <windowsx.h>

#include <algorithm>
#include <memory>

#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/ControlMessages.h"
#include "platform/Firewall.h"
#include "platform/Hints.h"
#include "platform/Text.h"
#include "toolbars/TBAccess.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBDock.h"

namespace {

// Every toolbar of the thread, for the idle action updates.
struct AllToolbars {
    std::vector<TTBCustomToolbar*> list;
    int idleId = 0;
};

AllToolbars& All()
{
    static AllToolbars all;
    return all;
}

void IdleUpdate()
{
    std::vector<TTBCustomToolbar*> list = All().list;
    for (TTBCustomToolbar* t : list) {
        auto& cur = All().list;
        if (std::find(cur.begin(), cur.end(), t) == cur.end())
            continue;
        if (t->UpdateActions() && t->Showing() && !t->IsDesigning())
            t->InitiateActions();
    }
}

}  // namespace

// --- the view ---

TTBToolbarView::TTBToolbarView(TTBCustomToolbar* toolbar, TTBCustomItem* root, bool customizing)
    : TTBView(toolbar, nullptr, root, toolbar, true, customizing, true), toolbar_(toolbar)
{
}

void TTBToolbarView::AutoSize(int width, int height)
{
    // A layout the toolbar applies itself was sized by its dock already.
    if (toolbar_->applying_ || toolbar_->IsLoading() || toolbar_->IsDestroying())
        return;
    RECT cr = toolbar_->ClientRect();
    if (width != cr.right - cr.left || height != cr.bottom - cr.top)
        toolbar_->Arrange();
}

TTBCustomItem* TTBToolbarView::GetChevronItem() { return toolbar_->chevron_; }

TFont& TTBToolbarView::GetFont() { return toolbar_->SystemFont() ? ToolbarSystemFont() : toolbar_->Font(); }

void TTBToolbarView::InvalidatePositions()
{
    TTBView::InvalidatePositions();
    // A toolbar lays itself out at once, and sizes itself after it.
    if (!toolbar_->applying_ && toolbar_->view_ == this && !toolbar_->IsLoading() && !toolbar_->IsDestroying())
        ValidatePositions();
}

// --- construction ---

TTBCustomToolbar::TTBCustomToolbar(TComponent* owner) : TTBCustomDockableWindow(owner)
{
    // No cursor confinement while a floating toolbar is sized.
    SetDockableWindowStyles(0);
    items_ = new TTBRootItem(this);
    chevron_ = new TTBChevronItem(this);
    view_ = new TTBToolbarView(this, items_, false);
    view_->RecreateAllViewers();   // the chevron's viewer joins now that the view is whole
    // Items that are there when the toolbar has loaded hide from the end;
    // ChevronPriorityForNewItems rules the ones added after.
    view_->NewViewersGetHighestPriority = false;
    SetChevronHint(kTBChevronHint);
    SetBounds(Left(), Top(), 23, 22);
    AllToolbars& all = All();
    all.list.push_back(this);
    if (!all.idleId)
        all.idleId = Application().AddIdleHandler(&IdleUpdate);
}

TTBCustomToolbar::~TTBCustomToolbar()
{
    Destroying();
    AllToolbars& all = All();
    all.list.erase(std::remove(all.list.begin(), all.list.end(), this), all.list.end());
    if (all.list.empty() && all.idleId) {
        Application().RemoveIdleHandler(all.idleId);
        all.idleId = 0;
    }
    processShortCuts_ = false;
    menuBar_ = false;
    UpdateShortCutRegistration();
    UpdateMenuBarHook();
    TTBToolbarView* v = view_;
    view_ = nullptr;
    delete v;
    TTBChevronItem* c = chevron_;
    chevron_ = nullptr;
    delete c;
    TTBRootItem* r = items_;
    items_ = nullptr;
    delete r;
}

// --- properties ---

void TTBCustomToolbar::SetChevronHint(const std::string& hint)
{
    chevronHint_ = hint;
    chevron_->SetHint(hint);
    chevron_->SetCaption(EscapeAmpersands(GetShortHint(hint)));
}

void TTBCustomToolbar::SetChevronMoveItems(bool v)
{
    if (chevronMoveItems_ == v)
        return;
    chevronMoveItems_ = v;
    // An item run from the chevron's menu takes the place of one on the
    // toolbar only through the view's priority order (never while designing).
    view_->SetUsePriorityList(v && !IsDesigning());
}

void TTBCustomToolbar::SetChevronPriorityForNewItems(TTBChevronPriorityForNewItems v)
{
    chevronPriority_ = v;
    if (!IsLoading())
        view_->NewViewersGetHighestPriority = v == tbcpHighest;
}

void TTBCustomToolbar::SetFloatingWidth(int v)
{
    if (floatingWidth_ == v)
        return;
    floatingWidth_ = v;
    if (Floating()) {
        floatingWrapWidth_ = v;
        Arrange();
        ApplyLayout();
    }
}

TCustomImageList* TTBCustomToolbar::Images() const { return items_->SubMenuImages(); }

void TTBCustomToolbar::SetImages(TCustomImageList* v) { items_->SetSubMenuImages(v); }

TTBCustomItem* TTBCustomToolbar::LinkSubitems() const { return items_->LinkSubitems(); }

void TTBCustomToolbar::SetLinkSubitems(TTBCustomItem* v) { items_->SetLinkSubitems(v); }

TTBItemOptions TTBCustomToolbar::Options() const { return items_->Options(); }

void TTBCustomToolbar::SetOptions(TTBItemOptions v) { items_->SetOptions(v); }

void TTBCustomToolbar::SetMenuBar(bool v)
{
    if (menuBar_ == v)
        return;
    menuBar_ = v;
    if (v)
        controlStyle_ |= csMenuEvents;
    else
        controlStyle_ &= ~static_cast<unsigned>(csMenuEvents);
    TTBViewStyle s = view_->Style();
    s = v ? static_cast<TTBViewStyle>(s | vsMenuBar | vsUseHiddenAccels)
          : static_cast<TTBViewStyle>(s & ~(vsMenuBar | vsUseHiddenAccels));
    view_->SetStyle(s);
    if (!IsLoading()) {
        SetFullSize(v);
        SetShrinkMode(v ? tbsmWrap : tbsmChevron);
        SetCloseButton(!v);
        processShortCuts_ = v;
    }
    UpdateMenuBarHook();
    UpdateShortCutRegistration();
    view_->RecreateAllViewers();
}

void TTBCustomToolbar::SetProcessShortCuts(bool v)
{
    processShortCuts_ = v;
    UpdateShortCutRegistration();
}

void TTBCustomToolbar::SetShrinkMode(TTBShrinkMode v)
{
    if (shrinkMode_ == v)
        return;
    shrinkMode_ = v;
    if (Docked() && CurrentDock())
        CurrentDock()->ArrangeToolbars();
    else if (!Floating())
        Arrange();
    ApplyLayout();
}

void TTBCustomToolbar::SetSystemFont(bool v)
{
    if (systemFont_ == v)
        return;
    systemFont_ = v;
    view_->InvalidatePositions();
    Arrange();
    ApplyLayout();
}

void TTBCustomToolbar::FontChanged()
{
    TTBCustomDockableWindow::FontChanged();
    if (!systemFont_ && view_) {
        view_->InvalidatePositions();
        Arrange();
        ApplyLayout();
    }
}

// --- layout in place ---

TTBViewOrientation TTBCustomToolbar::OrientationFor(TTBDockType type) const
{
    switch (type) {
    case dtLeftRight:
        return tbvoVertical;
    case dtFloating:
        return tbvoFloating;
    default:
        return tbvoHorizontal;
    }
}

void TTBCustomToolbar::LengthsFor(TTBDockType type, int& wrap, int& chevron) const
{
    wrap = 0;
    chevron = 0;
    if (type == dtFloating) {
        wrap = floatingWrapWidth_;
        return;
    }
    if (type == dtNotDocked)
        return;
    int limit = DockedLengthLimit();
    if (limit <= 0)
        return;
    if (shrinkMode_ == tbsmWrap)
        wrap = limit;
    else if (shrinkMode_ == tbsmChevron)
        chevron = limit;
}

SIZE TTBCustomToolbar::CalcBaseSize(TTBDockType type)
{
    int wrap, chevron;
    LengthsFor(type, wrap, chevron);
    SIZE s = view_->MeasureSize(OrientationFor(type), wrap, chevron);
    // A full-size toolbar takes at least the row.
    if (FullSize() && (type == dtTopBottom || type == dtLeftRight) && DockedLengthLimit() > 0) {
        if (type == dtTopBottom)
            s.cx = std::max<LONG>(s.cx, DockedLengthLimit());
        else
            s.cy = std::max<LONG>(s.cy, DockedLengthLimit());
    }
    return s;
}

void TTBCustomToolbar::ApplyLayout()
{
    if (!view_ || applying_ || IsLoading() || IsDestroying())
        return;
    TTBDockType type = dtNotDocked;
    if (Floating())
        type = dtFloating;
    else if (Docked() && CurrentDock())
        type = (CurrentDock()->Position() == dpLeft || CurrentDock()->Position() == dpRight) ? dtLeftRight
                                                                                             : dtTopBottom;
    int wrap, chevron;
    LengthsFor(type, wrap, chevron);
    applying_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{applying_};
    view_->SetOrientation(OrientationFor(type));
    view_->SetWrapWidth(wrap);
    view_->SetChevronWidth(chevron);
    view_->UpdatePositions();
}

void TTBCustomToolbar::BoundsChanged()
{
    TTBCustomDockableWindow::BoundsChanged();
    ApplyLayout();
}

void TTBCustomToolbar::SizeChangedExternally() { ApplyLayout(); }

void TTBCustomToolbar::GetMinMaxSize(SIZE& minSize, SIZE& maxSize)
{
    minSize = SIZE{0, 0};
    maxSize = SIZE{0, 0};
    std::vector<SIZE> list;
    BuildPotentialSizesList(list);
    for (const SIZE& s : list) {
        if (minSize.cx == 0 || s.cx < minSize.cx)
            minSize.cx = s.cx;
        if (minSize.cy == 0 || s.cy < minSize.cy)
            minSize.cy = s.cy;
        maxSize.cx = std::max(maxSize.cx, s.cx);
        maxSize.cy = std::max(maxSize.cy, s.cy);
    }
}

int TTBCustomToolbar::GetMinShrinkSize()
{
    TTBDockType type = dtTopBottom;
    if (CurrentDock() && (CurrentDock()->Position() == dpLeft || CurrentDock()->Position() == dpRight))
        type = dtLeftRight;
    SIZE nc = DockedNCSize(type);
    int frame = type == dtLeftRight ? nc.cy : nc.cx;
    if (shrinkMode_ != tbsmChevron) {
        SIZE s = CalcBaseSize(type);
        return (type == dtLeftRight ? s.cy : s.cx) + frame;
    }
    // The shortest row: everything but the one item that always stays
    // behind the chevron, which follows that item; its far edge ends the row.
    SIZE s = view_->MeasureSize(OrientationFor(type), 0, 1);
    return (type == dtLeftRight ? s.cy : s.cx) + frame;
}

// --- keys ---

bool TTBCustomToolbar::KeyboardShortCut(WORD key, TShiftState shift)
{
    bool handled = false;
    std::weak_ptr<void> alive = AliveToken();
    if (OnShortCut)
        OnShortCut(this, key, shift, handled);
    if (handled || alive.expired())
        return true;
    return items_->IsShortCut(key, shift);
}

void TTBCustomToolbar::EnterMenuMode(wchar_t key)
{
    if (!view_ || view_->IsModal() || !Showing())
        return;
    view_->SetAccelsVisibility(true);
    // The selection's handlers may free the toolbar.
    std::weak_ptr<void> alive = AliveToken();
    if (key) {
        bool run = false;
        if (!view_->SelectByChar(std::wstring(1, key), run)) {
            if (key != L'-')
                MessageBeep(0);
            return;
        }
        if (!alive.expired())
            view_->EnterModalLoop(tbetExecuteSelected);
        return;
    }
    if (view_->SelectFirst())
        view_->EnterModalLoop(0);
}

bool TTBCustomToolbar::HandleSysCommand(TMessage& m)
{
    if (!menuBar_ || (m.WParam & 0xFFF0) != SC_KEYMENU)
        return false;
    if (m.LParam == ' ' || GetCapture())
        return false;
    EnterMenuMode(static_cast<wchar_t>(m.LParam));
    m.Result = 1;
    return true;
}

bool TTBCustomToolbar::DialogKey(WORD key, TShiftState shift)
{
    if (key == VK_MENU && menuBar_ && view_ && !view_->IsModal() && Showing()) {
        view_->SetAccelsVisibility(true);
        return false;
    }
    return TTBCustomDockableWindow::DialogKey(key, shift);
}

bool TTBCustomToolbar::DialogChar(wchar_t ch, TShiftState shift)
{
    if (!menuBar_ && view_ && !view_->IsModal() && CanFocus() && Showing() && !IsDesigning()) {
        std::wstring typed(1, ch);
        for (int i = 0; i < view_->ViewerCount(); ++i) {
            TTBItemViewer* v = view_->Viewers(i);
            if (!v->Show || !v->Item()->Enabled())
                continue;
            std::wstring accel = v->AccelChar();
            if (!accel.empty() && SameAccelChar(accel, typed)) {
                std::weak_ptr<void> alive = AliveToken();
                view_->Select(v, false);
                if (!alive.expired())
                    view_->EnterModalLoop(tbetExecuteSelected);
                return true;
            }
        }
    }
    return TTBCustomDockableWindow::DialogChar(ch, shift);
}

// --- mouse, hints, cursor ---

void TTBCustomToolbar::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button == TMouseButton::mbLeft && !IsDesigning() && view_ && !view_->IsModal()) {
        TTBItemViewer* v = view_->ViewerFromPoint(POINT{x, y});
        if (v && !(v->Item()->ItemStyle() & isClickThrough)) {
            std::weak_ptr<void> alive = AliveToken();
            Application().CancelHint();
            view_->Select(v, true);
            if (alive.expired())
                return;
            view_->EnterModalLoop(tbetMouseDown);
            return;
        }
    }
    TTBCustomDockableWindow::MouseDown(button, shift, x, y);
}

void TTBCustomToolbar::MouseMove(TShiftState shift, int x, int y)
{
    TTBCustomDockableWindow::MouseMove(shift, x, y);
    if (IsDesigning() || !view_ || view_->IsModal())
        return;
    TTBItemViewer* v = view_->ViewerFromPoint(POINT{x, y});
    std::weak_ptr<void> alive = AliveToken();
    view_->Select(v, true);
    if (alive.expired())
        return;
    const std::string hint =
        v && !(v->Item()->EffectiveOptions() & tboNoAutoHint) ? v->Item()->Hint() : std::string();
    if (hint == Hint())
        return;
    SetHint(hint);
    // The application took this toolbar's hint for the status bar before
    // the move reached it: it hears of the item under the mouse now, not at
    // the next move.
    Application().HintMouseMessage(this, POINT{x, y});
}

void TTBCustomToolbar::MouseLeave()
{
    TTBCustomDockableWindow::MouseLeave();
    if (view_ && !view_->IsModal() && !GetCapture())
        view_->Select(nullptr, true);
}

bool TTBCustomToolbar::HintShow(THintInfo& info)
{
    TTBItemViewer* v = view_ ? view_->ViewerFromPoint(info.CursorPos) : nullptr;
    if (!v) {
        info.HintStr.clear();
        info.CursorRect = RECT{};
        return false;
    }
    info.CursorRect = v->BoundsRect;
    info.HintStr = v->GetHintText();
    return !info.HintStr.empty();
}

void TTBCustomToolbar::Paint(TCanvas& canvas)
{
    if (IsDesigning() && !Docked()) {
        RECT r = ClientRect();
        HDC dc = canvas.Handle();
        HPEN pen = CreatePen(PS_DOT, 1, GetSysColor(COLOR_BTNSHADOW));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    if (view_)
        view_->DrawSubitems(canvas);
}

void TTBCustomToolbar::WndProc(TMessage& m)
{
    if (!view_) {
        TTBCustomDockableWindow::WndProc(m);
        return;
    }
    switch (m.Msg) {
    case WM_SYSCOMMAND:
        if (HandleSysCommand(m))
            return;
        // A toolbar that is no menu bar has no system menu of its own.
        m.Result = 0;
        return;
    case WM_CANCELMODE:
        if (view_->IsModal())
            view_->CancelMode();
        break;
    case WM_GETOBJECT: {
        LRESULT r = 0;
        if (TBAnswerGetObject(view_, m.WParam, m.LParam, r)) {
            m.Result = r;
            return;
        }
        break;
    }
    case WM_SETCURSOR:
        if (LOWORD(m.LParam) == HTCLIENT && reinterpret_cast<HWND>(m.WParam) == Handle() && !IsDesigning()) {
            POINT p;
            GetCursorPos(&p);
            p = ScreenToClient(p);
            if (TTBItemViewer* v = view_->ViewerFromPoint(p)) {
                HCURSOR c = nullptr;
                POINT vp{p.x - v->BoundsRect.left, p.y - v->BoundsRect.top};
                v->GetCursor(vp, c);
                if (c) {
                    ::SetCursor(c);
                    m.Result = TRUE;
                    return;
                }
            }
        }
        break;
    case CM_WININICHANGE:
        if (m.WParam == SPI_SETNONCLIENTMETRICS) {
            LoadToolbarSystemFont();
            view_->InvalidatePositions();
            Arrange();
            ApplyLayout();
        }
        break;
    default:
        break;
    }
    TTBCustomDockableWindow::WndProc(m);
}

// --- control items ---

bool TTBCustomToolbar::HasControlItem(const TControl* control) const
{
    std::function<bool(TTBCustomItem*, int)> walk = [&](TTBCustomItem* parent, int depth) {
        if (!parent || depth > 25)
            return false;
        for (int i = 0; i < parent->Count(); ++i) {
            TTBCustomItem* it = parent->Items(i);
            if (auto* ci = dynamic_cast<TTBControlItem*>(it); ci && ci->Control() == control)
                return true;
            if (walk(it, depth + 1))
                return true;
        }
        return false;
    };
    return walk(items_, 0);
}

void TTBCustomToolbar::GetTabOrderList(std::vector<TWinControl*>& list) const
{
    size_t first = list.size();
    TTBCustomDockableWindow::GetTabOrderList(list);
    auto hosted = [this](const TWinControl* c) {
        while (c && c->Parent() != this)
            c = c->Parent();
        return c && HasControlItem(c);
    };
    list.erase(std::remove_if(list.begin() + static_cast<std::ptrdiff_t>(first), list.end(), hosted), list.end());
}

void TTBCustomToolbar::AddControlItem(TControl* control)
{
    if (!control || HasControlItem(control))
        return;
    TComponent* owner = Owner() ? Owner() : this;
    auto* item = new TTBControlItem(owner);
    if (IsDesigning()) {
        for (int n = 1;; ++n) {
            std::string name = "TBControlItem" + std::to_string(n);
            if (!owner->FindComponent(name)) {
                item->SetName(name);
                break;
            }
        }
    }
    item->DontFreeControl = false;
    item->SetControl(control);
    items_->Add(item);
}

void TTBCustomToolbar::ControlChange(TControl* control, bool inserting)
{
    TTBCustomDockableWindow::ControlChange(control, inserting);
    if (IsLoading() || IsDestroying() || !items_)
        return;
    if (inserting) {
        AddControlItem(control);
        return;
    }
    // The control leaves: its control items go (without freeing it).
    std::vector<TTBControlItem*> gone;
    std::function<void(TTBCustomItem*, int)> walk = [&](TTBCustomItem* parent, int depth) {
        if (!parent || depth > 25)
            return;
        for (int i = 0; i < parent->Count(); ++i) {
            TTBCustomItem* it = parent->Items(i);
            if (auto* ci = dynamic_cast<TTBControlItem*>(it); ci && ci->Control() == control)
                gone.push_back(ci);
            walk(it, depth + 1);
        }
    };
    walk(items_, 0);
    for (TTBControlItem* ci : gone) {
        ci->DontFreeControl = true;
        ci->SetControl(nullptr);
        delete ci;
    }
}

void TTBCustomToolbar::Loaded()
{
    TTBCustomDockableWindow::Loaded();
    for (int i = 0; i < ControlCount(); ++i)
        AddControlItem(Controls(i));
    view_->NewViewersGetHighestPriority = chevronPriority_ == tbcpHighest;
    view_->SetUsePriorityList(chevronMoveItems_ && !IsDesigning());
    ApplyLayout();
}

// --- idle action updates ---

void TTBCustomToolbar::InitiateActions()
{
    if (!view_)
        return;
    std::vector<TTBCustomItem*> items;
    std::vector<std::weak_ptr<void>> alive;
    for (int i = 0; i < view_->ViewerCount(); ++i) {
        TTBCustomItem* it = view_->Viewers(i)->Item();
        if (it == chevron_)
            continue;
        items.push_back(it);
        alive.push_back(it->AliveToken());
    }
    for (size_t i = 0; i < items.size(); ++i)
        if (!alive[i].expired())
            items[i]->InitiateAction();
}

void SetToolbarCaptionPlacement(TTBCustomToolbar* toolbar, int placement)
{
    if (!toolbar)
        return;
    TTBRootItem* root = toolbar->Items();
    root->Notify(ickBeginUpdate, -1, nullptr);
    for (int i = 0; i < root->Count(); ++i) {
        TTBCustomItem* it = root->Items(i);
        TTBItemOptions o = it->Options();
        if (placement == 2) {
            it->SetDisplayMode(nbdmDefault);
            it->SetOptions(static_cast<TTBItemOptions>(o & ~tboImageAboveCaption));
        } else if (placement == 1) {
            it->SetDisplayMode(nbdmImageAndText);
            it->SetOptions(static_cast<TTBItemOptions>(o & ~tboImageAboveCaption));
        } else {
            it->SetDisplayMode(nbdmImageAndText);
            it->SetOptions(static_cast<TTBItemOptions>(o | tboImageAboveCaption));
        }
    }
    root->Notify(ickEndUpdate, -1, nullptr);
}

const TPropTable& TTBCustomToolbar::Published() const
{
    using T = TTBCustomToolbar;
    static const TPropTable table = [this] {
        TPropTable t(&this->TTBCustomDockableWindow::Published());
        TPropTableOf<T>(t)
            .String("ChevronHint", [](T& w) { return w.ChevronHint(); },
                    [](T& w, const std::string& v) { w.SetChevronHint(v); })
            .Bool("ChevronMoveItems", [](T& w) { return w.ChevronMoveItems(); },
                  [](T& w, bool v) { w.SetChevronMoveItems(v); })
            .Enum("ChevronPriorityForNewItems", {"tbcpHighest", "tbcpLowest"},
                  [](T& w) { return static_cast<int>(w.ChevronPriorityForNewItems()); },
                  [](T& w, int v) { w.SetChevronPriorityForNewItems(static_cast<TTBChevronPriorityForNewItems>(v)); })
            .Int("FloatingWidth", [](T& w) { return w.FloatingWidth(); }, [](T& w, int v) { w.SetFloatingWidth(v); })
            .Bool("MenuBar", [](T& w) { return w.MenuBar(); }, [](T& w, bool v) { w.SetMenuBar(v); })
            .Bool("ProcessShortCuts", [](T& w) { return w.ProcessShortCuts(); },
                  [](T& w, bool v) { w.SetProcessShortCuts(v); })
            .Enum("ShrinkMode", {"tbsmNone", "tbsmWrap", "tbsmChevron"},
                  [](T& w) { return static_cast<int>(w.ShrinkMode()); },
                  [](T& w, int v) { w.SetShrinkMode(static_cast<TTBShrinkMode>(v)); })
            .Bool("SystemFont", [](T& w) { return w.SystemFont(); }, [](T& w, bool v) { w.SetSystemFont(v); })
            .Bool("UpdateActions", [](T& w) { return w.UpdateActions(); },
                  [](T& w, bool v) { w.SetUpdateActions(v); });
        return t;
    }();
    return table;
}
