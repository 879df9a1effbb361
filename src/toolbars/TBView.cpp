// Views: construction, the viewer list and its upkeep from the root item's
// change notices, selection, popups, timers and the done action.
#include "toolbars/TBView.h"

#include <algorithm>

#include "platform/Control.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBAccess.h"
#include "toolbars/TBModal.h"
#include "toolbars/TBPopup.h"

namespace {

bool IsSubmenuItem(const TTBCustomItem* item) { return item && (item->ItemStyle() & isSubmenu) != 0; }

}  // namespace

// --- construction ---

TTBView::TTBView(TComponent* owner, TTBView* parentView, TTBCustomItem* parentItem, TWinControl* window,
                 bool isToolbar, bool customizing, bool usePriorityList)
    : TComponent(owner),
      parentItem_(parentItem),
      parentView_(parentView),
      window_(window),
      isToolbar_(isToolbar),
      customizing_(customizing),
      usePriorityList_(usePriorityList)
{
    if (parentItem_) {
        // The parent item tells us when its LinkSubitems target changes.
        parentItem_->RegisterNotification(&parentItem_, [this](TTBCustomItem* ancestor, bool relayed,
                                                               TTBItemChangeKind kind, int index,
                                                               TTBCustomItem* item) {
            LinkNotification(ancestor, relayed, kind, index, item);
        });
        FreeNotification(parentItem_);
        if (TTBView* chevronOf = parentItem_->GetChevronParentView()) {
            chevronParentView_ = chevronOf;
            chevronIndexOffset_ = chevronOf->leadingItem_ ? 1 : 0;
            FreeNotification(chevronOf);
        }
    }
    if (window_)
        FreeNotification(window_);
    // A popup not yet handed to its parent view may outlive it.
    if (parentView_)
        FreeNotification(parentView_);
    TTBCustomItem* root = nullptr;
    if (chevronParentView_)
        root = chevronParentView_->RootItem();
    else if (parentItem_)
        root = parentItem_->GetItemsOwner();
    SetRootItem(root);
}

TTBView::~TTBView()
{
    Destroying();
    TBAccOwnerGone(this);
    CloseChildPopups();
    // The item that opened us shows no longer pushed.
    if (parentView_ && parentView_->IsToolbar() && parentView_->openViewer_)
        parentView_->Invalidate(parentView_->openViewer_);
    if (rootItem_)
        rootItem_->UnregisterNotification(this);
    if (parentItem_)
        parentItem_->UnregisterNotification(&parentItem_);
    FreeViewers();
    // The focus is back on the parent's selection.
    if (parentView_ && !parentView_->IsDestroying())
        TBNotifyFocus(parentView_);
}

void TTBView::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    // The component is being freed: no calls into it any more.
    if (component == window_) {
        StopAllTimers();
        window_ = nullptr;
    }
    if (component == chevronParentView_)
        chevronParentView_ = nullptr;
    if (component == parentView_)
        parentView_ = nullptr;
    if (component == parentItem_)
        parentItem_ = nullptr;
    if (component == rootItem_) {
        rootItem_ = nullptr;
        CloseChildPopups();
        selected_ = nullptr;
        FreeViewers();
        RecreateAllViewers();
    }
}

void TTBView::SetCustomizing(bool v)
{
    if (customizing_ == v)
        return;
    customizing_ = v;
    RecreateAllViewers();
}

void TTBView::SetOrientation(TTBViewOrientation v)
{
    if (orientation_ == v)
        return;
    orientation_ = v;
    InvalidatePositions();
}

void TTBView::SetWrapWidth(int v)
{
    if (wrapWidth_ == v)
        return;
    wrapWidth_ = v;
    InvalidatePositions();
}

void TTBView::SetChevronWidth(int v)
{
    if (chevronWidth_ == v)
        return;
    chevronWidth_ = v;
    InvalidatePositions();
}

TTBView* TTBView::GetRootView()
{
    TTBView* v = this;
    while (v->parentView_ && !v->isToolbar_)
        v = v->parentView_;
    return v;
}

TTBView* TTBView::DeepestOpenView()
{
    TTBView* v = this;
    while (v->openViewerView_)
        v = v->openViewerView_;
    return v;
}

// --- root item and notices ---

void TTBView::SetRootItem(TTBCustomItem* item)
{
    if (item == rootItem_ && !viewers_.empty())
        return;
    CloseChildPopups();
    if (rootItem_ && rootItem_ != item) {
        rootItem_->UnregisterNotification(this);
        if (rootItem_ != parentItem_)
            RemoveFreeNotification(rootItem_);
    }
    bool changed = rootItem_ != item;
    rootItem_ = item;
    if (item && changed) {
        item->RegisterNotification(this, [this](TTBCustomItem* ancestor, bool relayed, TTBItemChangeKind kind,
                                                int index, TTBCustomItem* changedItem) {
            ItemNotification(ancestor, relayed, kind, index, changedItem);
        });
        FreeNotification(item);
    }
    RecreateAllViewers();
    if (IsDesigning())
        return;
    // Linked actions bring their items up to date. An update may change the
    // items, so the list is walked by item with a token each.
    std::vector<std::pair<TTBCustomItem*, std::weak_ptr<void>>> items;
    for (TTBItemViewer* v : viewers_)
        items.emplace_back(v->Item(), v->Item()->AliveToken());
    for (auto& [it, alive] : items)
        if (!alive.expired())
            it->InitiateAction();
}

void TTBView::LinkNotification(TTBCustomItem* ancestor, bool relayed, TTBItemChangeKind kind, int,
                               TTBCustomItem*)
{
    if (kind == ickSubitemsChanged && !relayed && ancestor == parentItem_ && parentItem_ && !chevronParentView_)
        SetRootItem(parentItem_->GetItemsOwner());
}

void TTBView::ItemNotification(TTBCustomItem*, bool relayed, TTBItemChangeKind kind, int, TTBCustomItem* item)
{
    switch (kind) {
    case ickInserted:
        if (item)
            InsertViewerFor(item);
        InvalidatePositions();
        break;
    case ickDeleting:
        for (int i = ViewerCount() - 1; i >= 0; --i)
            if (viewers_[static_cast<size_t>(i)]->Item() == item)
                RemoveViewerAt(i);
        InvalidatePositions();
        break;
    case ickSubitemsChanged:
        if (relayed)
            RecreateAllViewers();
        break;
    case ickBeginUpdate:
        BeginUpdate();
        break;
    case ickEndUpdate:
        EndUpdate();
        break;
    case ickInvalidate:
        for (TTBItemViewer* v : viewers_)
            if (v->Item() == item)
                Invalidate(v);
        break;
    case ickInvalidateAndResize:
        InvalidatePositions();
        break;
    case ickRecreateViewers:
        if (item)
            RecreateItemViewers(item);
        InvalidatePositions();
        break;
    case ickNameChanged:
        break;
    case ickSubMenuImagesChanged:
        for (TTBView* v = this; v; v = v->openViewerView_)
            v->InvalidatePositions();
        break;
    }
}

// --- viewers ---

TTBItemViewer* TTBView::NewViewer(TTBCustomItem* item, int groupLevel)
{
    TTBItemViewerClass make = item->GetItemViewerClass(this);
    if (!make)
        make = &NewTBItemViewer;
    return make(this, item, groupLevel);
}

void TTBView::AddViewersOf(TTBCustomItem* parent, int groupLevel, std::vector<TTBItemViewer*>& into)
{
    // Inline groups deeper than this are a cycle or a mistake: stop.
    if (!parent || groupLevel > 25)
        return;
    for (int i = 0; i < parent->Count(); ++i) {
        TTBCustomItem* child = parent->Items(i);
        into.push_back(NewViewer(child, groupLevel));
        if (child->ItemStyle() & isInlineGroup)
            AddViewersOf(child->GetItemsOwner(), groupLevel + 1, into);
    }
}

void TTBView::FreeViewers()
{
    std::vector<TTBItemViewer*> list;
    list.swap(viewers_);
    priorityList_.clear();
    selected_ = nullptr;
    openViewer_ = nullptr;
    chevronViewer_ = nullptr;
    for (TTBItemViewer* v : list)
        delete v;
}

void TTBView::RecreateAllViewers()
{
    CloseChildPopups();
    Select(nullptr, false);
    // The priority order survives by item.
    std::vector<TTBCustomItem*> order;
    for (TTBItemViewer* v : priorityList_)
        order.push_back(v->Item());
    FreeViewers();
    std::vector<TTBItemViewer*> list;
    leadingItem_ = GetLeadingItem();
    if (leadingItem_)
        list.push_back(NewViewer(leadingItem_, 0));
    AddViewersOf(rootItem_, 0, list);
    std::vector<TTBCustomItem*> trailing;
    GetTrailingItems(trailing);
    for (TTBCustomItem* t : trailing)
        AddViewersOf(t, 0, list);
    if (TTBCustomItem* chevron = GetChevronItem()) {
        chevronViewer_ = NewViewer(chevron, 0);
        list.push_back(chevronViewer_);
    }
    viewers_ = std::move(list);
    if (usePriorityList_) {
        for (TTBCustomItem* it : order)
            for (TTBItemViewer* v : viewers_)
                if (v->Item() == it && v != chevronViewer_ &&
                    std::find(priorityList_.begin(), priorityList_.end(), v) == priorityList_.end()) {
                    priorityList_.push_back(v);
                    break;
                }
        for (TTBItemViewer* v : viewers_)
            if (v != chevronViewer_ && std::find(priorityList_.begin(), priorityList_.end(), v) == priorityList_.end())
                priorityList_.push_back(v);
    }
    InvalidatePositions();
}

void TTBView::SetUsePriorityList(bool value)
{
    if (usePriorityList_ == value)
        return;
    usePriorityList_ = value;
    priorityList_.clear();
    RecreateAllViewers();
}

void TTBView::InsertViewerFor(TTBCustomItem* item)
{
    // Where the item's viewer goes: after the viewers of every item that
    // comes before it in the walk of the root item (inline groups included).
    std::vector<std::pair<TTBCustomItem*, int>> walk;
    std::function<void(TTBCustomItem*, int)> collect = [&](TTBCustomItem* parent, int level) {
        if (!parent || level > 25)
            return;
        for (int i = 0; i < parent->Count(); ++i) {
            TTBCustomItem* child = parent->Items(i);
            walk.emplace_back(child, level);
            if (child->ItemStyle() & isInlineGroup)
                collect(child->GetItemsOwner(), level + 1);
        }
    };
    collect(rootItem_, 0);
    size_t pos = walk.size();
    for (size_t i = 0; i < walk.size(); ++i)
        if (walk[i].first == item) {
            pos = i;
            break;
        }
    if (pos == walk.size() || Find(item))
        return;
    int insertAt = leadingItem_ ? 1 : 0;
    for (size_t i = 0; i < pos; ++i)
        for (int k = 0; k < ViewerCount(); ++k)
            if (viewers_[static_cast<size_t>(k)]->Item() == walk[i].first)
                insertAt = std::max(insertAt, k + 1);
    std::vector<TTBItemViewer*> added;
    added.push_back(NewViewer(item, walk[pos].second));
    if (item->ItemStyle() & isInlineGroup)
        AddViewersOf(item->GetItemsOwner(), walk[pos].second + 1, added);
    viewers_.insert(viewers_.begin() + insertAt, added.begin(), added.end());
    if (usePriorityList_)
        for (TTBItemViewer* v : added) {
            if (NewViewersGetHighestPriority)
                priorityList_.insert(priorityList_.begin(), v);
            else
                priorityList_.push_back(v);
        }
}

void TTBView::RemoveViewerAt(int index)
{
    TTBItemViewer* v = viewers_[static_cast<size_t>(index)];
    // An inline group's members follow it one level deeper: they go too.
    int end = index + 1;
    if (v->Item()->ItemStyle() & isInlineGroup)
        while (end < ViewerCount() && viewers_[static_cast<size_t>(end)]->GroupLevel() > v->GroupLevel() &&
               viewers_[static_cast<size_t>(end)] != chevronViewer_)
            ++end;
    std::vector<TTBItemViewer*> gone(viewers_.begin() + index, viewers_.begin() + end);
    for (TTBItemViewer* g : gone) {
        if (g == openViewer_)
            CloseChildPopups();
        if (g == selected_)
            selected_ = nullptr;
    }
    viewers_.erase(viewers_.begin() + index, viewers_.begin() + end);
    for (TTBItemViewer* g : gone) {
        priorityList_.erase(std::remove(priorityList_.begin(), priorityList_.end(), g), priorityList_.end());
        delete g;
    }
}

void TTBView::RecreateItemViewers(TTBCustomItem* item)
{
    for (int i = 0; i < ViewerCount(); ++i) {
        TTBItemViewer* old = viewers_[static_cast<size_t>(i)];
        if (old->Item() != item)
            continue;
        TTBItemViewer* v = NewViewer(item, old->GroupLevel());
        if (old == openViewer_)
            CloseChildPopups();
        if (old == selected_)
            selected_ = nullptr;
        if (old == chevronViewer_)
            chevronViewer_ = v;
        viewers_[static_cast<size_t>(i)] = v;
        std::replace(priorityList_.begin(), priorityList_.end(), old, v);
        delete old;
    }
}

int TTBView::IndexOf(const TTBItemViewer* viewer) const
{
    if (!viewer)
        return -1;
    for (size_t i = 0; i < viewers_.size(); ++i)
        if (viewers_[i] == viewer)
            return static_cast<int>(i);
    return -1;
}

TTBItemViewer* TTBView::Find(const TTBCustomItem* item) const
{
    for (TTBItemViewer* v : viewers_)
        if (v->Item() == item)
            return v;
    return nullptr;
}

TTBItemViewer* TTBView::ViewerFromPoint(POINT p)
{
    ValidatePositions();
    for (TTBItemViewer* v : viewers_)
        if (v->Show && PtInRect(&v->BoundsRect, p))
            return v;
    return nullptr;
}

void TTBView::GetOffEdgeControlList(std::vector<TControl*>& list)
{
    for (TTBItemViewer* v : viewers_)
        if (v->OffEdge)
            if (auto* ci = dynamic_cast<TTBControlItem*>(v->Item()))
                if (ci->Control() && dynamic_cast<TWinControl*>(ci->Control()))
                    list.push_back(ci->Control());
}

// --- layout entry points ---

void TTBView::InvalidatePositions()
{
    if (!validated_)
        return;
    validated_ = false;
    if (window_ && window_->HandleAllocated())
        InvalidateRect(window_->Handle(), nullptr, TRUE);
}

void TTBView::ValidatePositions()
{
    if (!validated_ && updateCount_ == 0 && !inRelayout_)
        UpdatePositions();
}

void TTBView::BeginUpdate() { ++updateCount_; }

void TTBView::EndUpdate()
{
    if (updateCount_ > 0 && --updateCount_ == 0 && !(rootItem_ && rootItem_->IsLoading()))
        ValidatePositions();
}

SIZE TTBView::UpdatePositions()
{
    if (inRelayout_)
        return layoutSize_;
    inRelayout_ = true;
    validated_ = true;
    SIZE size{0, 0};
    bool changed;
    try {
        changed = DoUpdatePositions(size);
    } catch (...) {
        inRelayout_ = false;
        throw;
    }
    inRelayout_ = false;
    layoutSize_ = size;
    HWND h = window_ && window_->HandleAllocated() ? window_->Handle() : nullptr;
    if (changed && h) {
        ValidateRect(h, nullptr);
        AutoSize(size.cx, size.cy);
        RenderWindow();
    } else {
        AutoSize(size.cx, size.cy);
    }
    return size;
}

// --- selection ---

bool TTBView::IsSelectable(TTBItemViewer* v) const
{
    return v && (v->Show || v->Clipped) && v->Item()->Visible() && (v->Item()->ItemStyle() & isSelectable);
}

TTBItemViewer* TTBView::NextSelectable(TTBItemViewer* from, bool forward)
{
    ValidatePositions();
    int n = ViewerCount();
    if (n == 0)
        return nullptr;
    int i = IndexOf(from);
    if (i < 0)
        i = forward ? -1 : n;
    for (int step = 0; step < n; ++step) {
        i = forward ? i + 1 : i - 1;
        if (i >= n)
            i = 0;
        if (i < 0)
            i = n - 1;
        if (IsSelectable(viewers_[static_cast<size_t>(i)]))
            return viewers_[static_cast<size_t>(i)];
    }
    return nullptr;
}

bool TTBView::SelectFirst(bool last)
{
    ValidatePositions();
    TTBItemViewer* found = nullptr;
    int n = ViewerCount();
    for (int k = 0; k < n && !found; ++k) {
        TTBItemViewer* v = viewers_[static_cast<size_t>(last ? n - 1 - k : k)];
        if (IsSelectable(v) && !(v->Item()->ItemStyle() & isNoSelectFirst))
            found = v;
    }
    if (!found)
        found = NextSelectable(nullptr, !last);
    return SelectAndScroll(found);
}

bool TTBView::SelectAndScroll(TTBItemViewer* viewer)
{
    // The item's OnSelect may free the view (its toolbar, say).
    std::weak_ptr<void> alive = AliveToken();
    Select(viewer, false);
    if (alive.expired())
        return false;
    ScrollSelectedIntoView();
    return true;
}

void TTBView::Select(TTBItemViewer* viewer, bool viaMouse)
{
    ValidatePositions();
    if (viewer && IndexOf(viewer) < 0)
        viewer = nullptr;
    std::weak_ptr<void> alive = AliveToken();
    TTBItemViewer* old = selected_;
    bool changed = viewer != old;
    if (changed) {
        // Moving into a submenu keeps its parent item highlighted.
        if (viewer && parentView_ && parentView_->openViewer_ &&
            parentView_->selected_ != parentView_->openViewer_) {
            parentView_->Select(parentView_->openViewer_, viaMouse);
            if (alive.expired())
                return;
            parentView_->StopTimer(tbtOpen);
            parentView_->StopTimer(tbtClose);
        }
        if (state_ & vsModal) {
            if (isToolbar_ || !viaMouse) {
                StopTimer(tbtClose);
                if (openViewer_ && viewer != openViewer_)
                    CloseChildPopups();
            } else if (openViewer_ && !TimerRunning(tbtClose)) {
                StartTimer(tbtClose, ShowDelay());
            }
        }
        if (old) {
            if (old->Item()->ItemStyle() & isRedrawOnSelect)
                Invalidate(old);
            old->Leaving();
            if (alive.expired())
                return;
            if (IndexOf(viewer) < 0)
                viewer = nullptr;
        }
        selected_ = viewer;
        selectedViaMouse_ = viaMouse;
        TBNotifyFocus(this);
    }
    // Whether the cursor is over the selection (and its button part during a press).
    bool over = false;
    if (selected_ && window_ && window_->HandleAllocated()) {
        POINT cp;
        GetCursorPos(&cp);
        HWND h = window_->Handle();
        if (WindowFromPoint(cp) == h) {
            POINT p = cp;
            ScreenToClient(h, &p);
            if (PtInRect(&selected_->BoundsRect, p)) {
                over = true;
                if (mouseDownOnButtonPart_)
                    over = selected_->IsPtInButtonPart(p.x - selected_->BoundsRect.left,
                                                      p.y - selected_->BoundsRect.top);
            }
        }
    }
    bool overChanged = over != mouseOverSelected_;
    mouseOverSelected_ = over;
    if (changed) {
        TTBItemViewer* now = selected_;
        if (now) {
            if (now->Item()->ItemStyle() & isRedrawOnSelect)
                Invalidate(now);
            now->Entering();
            if (alive.expired())
                return;
            now = IndexOf(now) >= 0 ? now : nullptr;
        }
        if (state_ & vsModal) {
            if (!isToolbar_) {
                StopTimer(tbtOpen);
                if (viaMouse && now && IsSubmenuItem(now->Item()) && now != openViewer_)
                    StartTimer(tbtOpen, ShowDelay());
            } else {
                if (viaMouse && openViewerView_)
                    Include(vsDropDownMenus);
                if ((state_ & vsDropDownMenus) && now && now != openViewer_ &&
                    !(viaMouse && (now->Item()->ItemStyle() & isNoAutoOpen)))
                    OpenPopup(!viaMouse);
            }
        }
    } else if (overChanged && mouseDownOnButtonPart_ && selected_ &&
               (selected_->Item()->ItemStyle() & isRedrawOnHover)) {
        Invalidate(selected_);
    }
}

void TTBView::UpdateSelection(POINT cursorPos, bool viaMouse)
{
    ValidatePositions();
    if (!window_ || !window_->HandleAllocated())
        return;
    HWND h = window_->Handle();
    POINT p = cursorPos;
    ScreenToClient(h, &p);
    if (WindowFromPoint(cursorPos) == h) {
        Include(vsMouseInWindow);
        TTBItemViewer* v = ViewerFromPoint(p);
        if (mouseDownOnButtonPart_)
            v = selected_;   // the pressed viewer stays selected
        else if (!v && isToolbar_ && openViewer_)
            v = selected_;   // a gap of a menu bar keeps the open menu
        Select(v, viaMouse);
    } else {
        Exclude(vsMouseInWindow);
        bool keep = mouseDownOnButtonPart_ ||
                    (openViewer_ && selected_ == openViewer_ && IsSubmenuItem(selected_->Item()));
        Select(keep ? selected_ : nullptr, viaMouse);
    }
    if (IsPopup())
        UpdateScrollArrows(p);
}

void TTBView::ScrollSelectedIntoView()
{
    if (!selected_ || !IsPopup() || (!showUpArrow_ && !showDownArrow_))
        return;
    int guard = ViewerCount() + 2;
    while (guard-- > 0 && selected_ && !selected_->Show) {
        // Below the window: scroll down; above: up.
        bool down = selected_->BoundsRect.top >= (showUpArrow_ ? kTBScrollArrowZone : 0);
        int before = scrollOffset_;
        Scroll(down);
        if (scrollOffset_ == before)
            break;
    }
}

// --- popups ---

void TTBView::SetOpenViewer(TTBItemViewer* viewer, TTBView* view, TTBPopupWindow* window)
{
    openViewer_ = viewer;
    openViewerView_ = view;
    openViewerWindow_ = window;
}

bool TTBView::OpenPopup(bool selectFirstItem)
{
    StopTimer(tbtOpen);
    StopTimer(tbtClose);
    if (selected_ != openViewer_)
        CloseChildPopups();
    TTBItemViewer* sel = selected_;
    if (!openViewer_ && sel && sel->Item()->Enabled() && IsSubmenuItem(sel->Item())) {
        std::weak_ptr<void> alive = AliveToken();
        sel->Item()->CreatePopup(this, sel, !isToolbar_, selectFirstItem, customizing_, POINT{0, 0}, tbpaLeft);
        if (alive.expired())
            return false;
    }
    return openViewerView_ != nullptr;
}

void TTBView::CloseChildPopups()
{
    if (openViewerView_)
        openViewerView_->CloseChildPopups();
    StopTimer(tbtClose);
    TTBPopupWindow* w = openViewerWindow_;
    TTBItemViewer* was = openViewer_;
    openViewer_ = nullptr;
    openViewerView_ = nullptr;
    openViewerWindow_ = nullptr;
    delete w;
    if (was && IndexOf(was) >= 0)
        Invalidate(was);
}

void TTBView::CancelChildPopups()
{
    if (isToolbar_)
        Exclude(vsDropDownMenus);
    CloseChildPopups();
}

// --- running items ---

void TTBView::ExecuteSelected(bool givePriority)
{
    TTBItemViewer* sel = selected_;
    if (!sel) {
        EndModal();
        return;
    }
    if (!sel->Item()->Enabled())
        return;
    std::weak_ptr<void> alive = AliveToken();
    if (!(sel->Item()->ItemStyle() & isCombo)) {
        bool open = OpenPopup(true);
        if (alive.expired() || open)
            return;
        sel = selected_;
        if (!sel)
            return;
    }
    if (!(sel->Item()->ItemStyle() & isSelectable)) {
        EndModal();
        return;
    }
    sel->Execute(givePriority);
}

void TTBView::GivePriority(TTBItemViewer* viewer)
{
    if (!viewer)
        return;
    if (chevronParentView_) {
        int i = IndexOf(viewer);
        if (i >= 0 && i + chevronIndexOffset_ < chevronParentView_->ViewerCount())
            chevronParentView_->GivePriority(chevronParentView_->Viewers(i + chevronIndexOffset_));
        return;
    }
    if (!isToolbar_ && parentView_) {
        parentView_->GivePriority(parentView_->openViewer_);
        return;
    }
    if (!usePriorityList_)
        return;
    auto it = std::find(priorityList_.begin(), priorityList_.end(), viewer);
    if (it == priorityList_.end() || it == priorityList_.begin())
        return;
    priorityList_.erase(it);
    priorityList_.insert(priorityList_.begin(), viewer);
    InvalidatePositions();
    ValidatePositions();
}

// --- done action ---

namespace {

// The view whose modal loop runs: the top of the parent chain.
TTBView* LoopRoot(TTBView* v)
{
    while (v->ParentView())
        v = v->ParentView();
    return v;
}

}  // namespace

void TTBView::DoneActionNeedsRoot(const TTBDoneAction& action)
{
    TTBView* root = LoopRoot(this);
    if (root->doneAction_.Kind == TTBDoneActionKind::None)
        root->doneAction_ = action;
}

void TTBView::EndModal()
{
    TTBDoneAction a;
    a.Kind = TTBDoneActionKind::Cancel;
    DoneActionNeedsRoot(a);
}

void TTBView::EndModalWithClick(TTBItemViewer* viewer)
{
    if (!viewer)
        return;
    TTBDoneAction a;
    a.Kind = TTBDoneActionKind::ClickItem;
    a.Item = viewer->Item();
    a.ItemAlive = viewer->Item()->AliveToken();
    a.Sound = viewer->View() && viewer->View()->IsPopup();
    DoneActionNeedsRoot(a);
}

void TTBView::EndModalWithSystemMenu(HWND wnd, unsigned key)
{
    TTBDoneAction a;
    a.Kind = TTBDoneActionKind::OpenSystemMenu;
    a.Wnd = wnd;
    a.Key = key;
    DoneActionNeedsRoot(a);
}

void TTBView::EndModalWithHelp(int helpContext)
{
    TTBDoneAction a;
    a.Kind = TTBDoneActionKind::HelpContext;
    a.HelpContext = helpContext;
    DoneActionNeedsRoot(a);
}

void TTBView::CancelCapture()
{
    mouseDownOnButtonPart_ = false;
    MouseDownOnArrowPart = false;
    TTBModalHandler::MarkMousePosUnread();
    if (selected_)
        selected_->LosingCapture();
}

void TTBView::CancelMode()
{
    EndModal();
    std::vector<TTBView*> chain;
    for (TTBView* v = this; v; v = v->openViewerView_)
        chain.push_back(v);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        (*it)->StopAllTimers();
        if ((*it)->IsPopup() && (*it)->window_)
            (*it)->window_->Hide();
    }
}

// --- timers ---

UINT TTBView::ShowDelay() { return static_cast<UINT>(std::max(0, MenuOpenDelay())); }

void TTBView::StartTimer(int id, UINT interval)
{
    StopTimer(id);
    if (!IsPopup() || !window_ || !window_->HandleAllocated())
        return;
    if (SetTimer(window_->Handle(), kTBViewTimerBase + static_cast<UINT_PTR>(id), interval, nullptr) &&
        id >= 0 && id < 8)
        activeTimers_ = static_cast<std::uint8_t>(activeTimers_ | (1u << id));
}

void TTBView::StopTimer(int id)
{
    if (id < 0 || id >= 8 || !(activeTimers_ & (1u << id)))
        return;
    activeTimers_ = static_cast<std::uint8_t>(activeTimers_ & ~(1u << id));
    if (window_ && window_->HandleAllocated())
        KillTimer(window_->Handle(), kTBViewTimerBase + static_cast<UINT_PTR>(id));
}

void TTBView::StopAllTimers()
{
    for (int id = 0; id < 4; ++id)
        StopTimer(id);
}

void TTBView::TimerFired(int id)
{
    switch (id) {
    case tbtOpen:
        StopTimer(tbtOpen);
        if (selected_ && IsSubmenuItem(selected_->Item()) && selected_ != openViewer_)
            OpenPopup(false);
        break;
    case tbtClose:
        StopTimer(tbtClose);
        if (openViewer_ && openViewer_ != selected_)
            CloseChildPopups();
        break;
    case tbtScrollUp:
    case tbtScrollDown:
        if (id == tbtScrollUp ? showUpArrow_ : showDownArrow_)
            Scroll(id == tbtScrollDown);
        else
            StopTimer(id);
        break;
    default:
        StopTimer(id);
        break;
    }
}

// --- virtual operations ---

void TTBView::AutoSize(int, int) {}

TTBCustomItem* TTBView::GetChevronItem() { return nullptr; }

RECT TTBView::GetMargins(TTBViewOrientation orientation)
{
    if (orientation == tbvoFloating)
        return RECT{4, 2, 4, 1};
    return RECT{0, 0, 0, 0};
}

void TTBView::GetTrailingItems(std::vector<TTBCustomItem*>&) {}

TTBCustomItem* TTBView::GetLeadingItem() { return nullptr; }

TFont& TTBView::GetFont()
{
    if (window_)
        return window_->Font();
    return ToolbarSystemFont();
}

// --- the popup view ---

void TTBPopupView::AutoSize(int width, int height)
{
    if (TWinControl* w = Window())
        if (w->Width() != width + 6 || w->Height() != height + 6)
            w->SetBounds(w->Left(), w->Top(), width + 6, height + 6);
}

TFont& TTBPopupView::GetFont()
{
    if (TWinControl* w = Window())
        return w->Font();
    return ToolbarSystemFont();
}
