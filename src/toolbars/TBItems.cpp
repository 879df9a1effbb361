// Items: the child list, change notices and their relay, options and their
// inheritance, the property setters, clicks and shortcut search.
#include "toolbars/TBItems.h"

#include <algorithm>

#include "platform/Actions.h"
#include "platform/Control.h"
#include "platform/ImageList.h"
#include "toolbars/TBClickQueue.h"
#include "toolbars/TBItemActionLink.h"
#include "toolbars/TBItemImageLink.h"

namespace {

// How far a notice climbs through inline groups and links.
constexpr int kMaxRelayLevel = 10;
// How deep a search follows LinkSubitems links and inline groups.
constexpr int kMaxLinkDepth = 25;

// Option changes that alter what a view shows at once.
constexpr TTBItemOptions kVisibleOptions = tboDefault | tboDropdownArrow | tboImageAboveCaption |
                                           tboNoRotation | tboSameWidth | tboToolbarStyle |
                                           tboToolbarSize;

TTBItemOptions NormalizeOptions(TTBItemOptions o)
{
    if (!(o & tboToolbarStyle))
        o &= static_cast<TTBItemOptions>(~tboToolbarSize);
    return o;
}

}  // namespace

// --- construction ---

TTBCustomItem::TTBCustomItem(TComponent* owner) : TComponent(owner) { TBClickQueue::AddUser(); }

TTBCustomItem::~TTBCustomItem()
{
    Destroying();
    RemoveFromClickQueue(this);
    // Children last to first; each leaves this list as it goes.
    while (!items_.empty()) {
        TTBCustomItem* child = items_.back();
        delete child;
        // A child whose destructor failed to leave (it cannot) must not loop.
        if (!items_.empty() && items_.back() == child)
            items_.pop_back();
    }
    if (parent_)
        parent_->Remove(this);
    if (linkSubitems_) {
        auto& lp = linkSubitems_->linkParents_;
        lp.erase(std::remove(lp.begin(), lp.end(), this), lp.end());
        linkSubitems_ = nullptr;
    }
    // Items that link to this one lose their link (and tell their views).
    std::vector<TTBCustomItem*> linkers = linkParents_;
    for (TTBCustomItem* l : linkers)
        if (l->linkSubitems_ == this)
            l->SetLinkSubitems(nullptr);
    linkParents_.clear();
    DestroyActionLink();
    imagesLink_.reset();
    subMenuImagesLink_.reset();
    notices_.clear();
    TBClickQueue::RemoveUser();
}

// --- child list ---

TTBCustomItem* TTBCustomItem::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw ETBItemError("Toolbar item index out of range");
    return items_[static_cast<size_t>(index)];
}

bool TTBCustomItem::ContainsItem(const TTBCustomItem* item) const
{
    for (const TTBCustomItem* p = item; p; p = p->parent_)
        if (p == this)
            return true;
    return false;
}

void TTBCustomItem::Insert(int index, TTBCustomItem* item)
{
    if (!item)
        throw ETBItemError("Toolbar item is missing");
    if (item->parent_)
        throw ETBItemError("Toolbar item already inserted");
    if (item->ContainsItem(this))
        throw ETBItemError("Toolbar item cannot be inserted into itself or its own subitems");
    if (index < 0 || index > Count())
        throw ETBItemError("Toolbar item index out of range");
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    std::weak_ptr<void> alive = AliveToken(), itemAlive = item->AliveToken();
    Notify(ickBeginUpdate, -1, nullptr);
    if (alive.expired())
        return;
    Notify(ickInserted, index, item);
    if (!alive.expired() && !itemAlive.expired())
        item->RefreshOptions();
    if (!alive.expired())
        Notify(ickEndUpdate, -1, nullptr);
}

void TTBCustomItem::Delete(int index)
{
    TTBCustomItem* item = Items(index);
    std::weak_ptr<void> alive = AliveToken();
    Notify(ickDeleting, index, item);
    if (alive.expired())
        return;
    // A handler may have moved things about: take it out wherever it is now.
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end())
        return;
    items_.erase(it);
    item->parent_ = nullptr;
}

int TTBCustomItem::IndexOf(const TTBCustomItem* item) const
{
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TTBCustomItem::Remove(TTBCustomItem* item)
{
    int i = IndexOf(item);
    if (i >= 0)
        Delete(i);
}

void TTBCustomItem::Move(int curIndex, int newIndex)
{
    if (curIndex == newIndex)
        return;
    TTBCustomItem* item = Items(curIndex);
    if (newIndex < 0 || newIndex >= Count())
        throw ETBItemError("Toolbar item index out of range");
    std::weak_ptr<void> alive = AliveToken();
    Notify(ickBeginUpdate, -1, nullptr);
    if (alive.expired())
        return;
    Delete(curIndex);
    if (alive.expired())
        return;
    if (!item->parent_)
        Insert(std::min(newIndex, Count()), item);
    if (!alive.expired())
        Notify(ickEndUpdate, -1, nullptr);
}

void TTBCustomItem::Clear()
{
    while (!items_.empty()) {
        TTBCustomItem* child = items_.back();
        delete child;
        if (!items_.empty() && items_.back() == child)
            items_.pop_back();
    }
}

TComponent* TTBCustomItem::ParentComponent() const
{
    if (parent_ && parent_->parentComponent_)
        return parent_->parentComponent_;
    return parent_;
}

void TTBCustomItem::SetParentComponent(TComponent* value)
{
    if (parent_)
        parent_->Remove(this);
    if (auto* item = dynamic_cast<TTBCustomItem*>(value))
        item->Add(this);
}

// --- change notification ---

void TTBCustomItem::RegisterNotification(const void* owner, TTBItemChangedProc handler)
{
    for (auto& r : notices_)
        if (r->owner == owner) {
            ++r->refCount;
            return;
        }
    notices_.push_back(std::make_shared<TNoticeRecord>(TNoticeRecord{owner, std::move(handler), 1}));
}

void TTBCustomItem::UnregisterNotification(const void* owner)
{
    for (auto it = notices_.begin(); it != notices_.end(); ++it)
        if ((*it)->owner == owner) {
            if (--(*it)->refCount <= 0)
                notices_.erase(it);
            return;
        }
}

void TTBCustomItem::Notify(TTBItemChangeKind kind, int index, TTBCustomItem* item)
{
    NotifyLevel(kind, index, item, 0, this);
}

void TTBCustomItem::NotifyLevel(TTBItemChangeKind kind, int index, TTBCustomItem* item, int level,
                                TTBCustomItem* ancestor)
{
    std::weak_ptr<void> alive = AliveToken();
    if (level < kMaxRelayLevel + 1) {
        if ((itemStyle_ & isInlineGroup) && parent_) {
            parent_->NotifyLevel(kind, index, item, level + 1, ancestor);
            if (alive.expired())
                return;
        }
        // A snapshot: a handler may unlink items.
        std::vector<TTBCustomItem*> linkers = linkParents_;
        for (TTBCustomItem* l : linkers) {
            if (alive.expired())
                return;
            if (l == parent_ || std::find(linkParents_.begin(), linkParents_.end(), l) == linkParents_.end())
                continue;
            l->NotifyLevel(kind, index, item, level + 1, ancestor);
        }
        if (alive.expired())
            return;
    }
    // A snapshot of the handlers: one may unregister others or free this item.
    std::vector<std::shared_ptr<TNoticeRecord>> list = notices_;
    for (auto& rec : list) {
        if (alive.expired())
            return;
        if (std::find(notices_.begin(), notices_.end(), rec) == notices_.end())
            continue;
        rec->proc(ancestor, ancestor != this, kind, index, item);
    }
}

void TTBCustomItem::Changed(bool needResize)
{
    if (parent_)
        parent_->Notify(needResize ? ickInvalidateAndResize : ickInvalidate, -1, this);
}

void TTBCustomItem::SetName(const std::string& name)
{
    if (name == Name())
        return;
    TComponent::SetName(name);
    if (parent_)
        parent_->Notify(ickNameChanged, -1, this);
}

// --- property setters ---

void TTBCustomItem::SetCaption(const std::string& v)
{
    if (v == caption_)
        return;
    caption_ = v;
    Changed(true);
}

void TTBCustomItem::SetChecked(bool v)
{
    if (v == checked_)
        return;
    checked_ = v;
    std::weak_ptr<void> alive = AliveToken();
    Changed(false);
    if (v && !alive.expired())
        TurnSiblingsOff();
}

void TTBCustomItem::SetDisplayMode(TTBItemDisplayMode v)
{
    if (v == displayMode_)
        return;
    displayMode_ = v;
    Changed(true);
}

void TTBCustomItem::SetEnabled(bool v)
{
    if (v == enabled_)
        return;
    enabled_ = v;
    EnabledChanged();
}

void TTBCustomItem::SetGroupIndex(int v)
{
    if (v == groupIndex_)
        return;
    groupIndex_ = v;
    if (checked_)
        TurnSiblingsOff();
}

void TTBCustomItem::SetImageIndex(int v)
{
    if (v == imageIndex_)
        return;
    bool resize = (imageIndex_ < 0) != (v < 0);
    imageIndex_ = v;
    Changed(resize);
}

void TTBCustomItem::SetInheritOptions(bool v)
{
    if (v == inheritOptions_)
        return;
    inheritOptions_ = v;
    RefreshOptions();
}

void TTBCustomItem::SetMaskOptions(TTBItemOptions v)
{
    if (v == maskOptions_)
        return;
    maskOptions_ = v;
    RefreshOptions();
}

void TTBCustomItem::SetOptions(TTBItemOptions v)
{
    v = NormalizeOptions(v);
    if (v == options_)
        return;
    options_ = v;
    RefreshOptions();
}

void TTBCustomItem::SetRadioItem(bool v)
{
    if (v == radioItem_)
        return;
    radioItem_ = v;
    Changed(false);
}

void TTBCustomItem::SetVisible(bool v)
{
    if (v == visible_)
        return;
    visible_ = v;
    Changed(true);
}

void TTBCustomItem::SetDropdownCombo(bool v)
{
    if (v == DropdownCombo())
        return;
    if (v)
        itemStyle_ |= isCombo;
    else
        itemStyle_ &= static_cast<TTBItemStyle>(~isCombo);
    Changed(true);
}

void TTBCustomItem::SetLinkSubitems(TTBCustomItem* v)
{
    if (v == this)
        v = nullptr;
    if (v == linkSubitems_)
        return;
    if (linkSubitems_) {
        auto& lp = linkSubitems_->linkParents_;
        lp.erase(std::remove(lp.begin(), lp.end(), this), lp.end());
        RemoveFreeNotification(linkSubitems_);
    }
    linkSubitems_ = v;
    if (v) {
        if (std::find(v->linkParents_.begin(), v->linkParents_.end(), this) == v->linkParents_.end())
            v->linkParents_.push_back(this);
        FreeNotification(v);
    }
    Notify(ickSubitemsChanged, -1, nullptr);
}

TTBCustomItem* TTBCustomItem::GetItemsOwner() { return linkSubitems_ ? linkSubitems_ : this; }

// --- options ---

void TTBCustomItem::RefreshOptions()
{
    TTBItemOptions inherited = 0;
    if (inheritOptions_ && parent_)
        inherited = parent_->effectiveOptions_ & static_cast<TTBItemOptions>(~tboDefault);
    TTBItemOptions n =
        NormalizeOptions(static_cast<TTBItemOptions>((inherited & ~maskOptions_) | options_));
    if (n == effectiveOptions_)
        return;
    TTBItemOptions old = effectiveOptions_;
    effectiveOptions_ = n;
    std::weak_ptr<void> alive = AliveToken();
    if ((old ^ n) & kVisibleOptions) {
        Changed(true);
        if (alive.expired())
            return;
    }
    std::vector<TTBCustomItem*> children = items_;
    for (TTBCustomItem* c : children) {
        if (alive.expired())
            return;
        if (c->parent_ == this && c->inheritOptions_)
            c->RefreshOptions();
    }
}

void TTBCustomItem::TurnSiblingsOff()
{
    if (groupIndex_ == 0 || !parent_)
        return;
    std::weak_ptr<void> alive = AliveToken();
    std::vector<TTBCustomItem*> siblings = parent_->items_;
    TTBCustomItem* parent = parent_;
    for (TTBCustomItem* s : siblings) {
        if (alive.expired())
            return;
        if (s != this && s->parent_ == parent && s->groupIndex_ == groupIndex_)
            s->SetChecked(false);
    }
}

// --- virtual operations ---

void TTBCustomItem::DoPopup(TTBCustomItem* sender, bool fromLink)
{
    std::weak_ptr<void> alive = AliveToken();
    if (OnPopup)
        OnPopup(sender, fromLink);
    if (!alive.expired() && !(itemStyle_ & isCombo))
        Click();
}

void TTBCustomItem::EnabledChanged() { Changed(false); }

TTBView* TTBCustomItem::GetChevronParentView() { return nullptr; }

TTBItemViewerClass TTBCustomItem::GetItemViewerClass(TTBView*) { return &NewTBItemViewer; }

bool TTBCustomItem::NeedToRecreateViewer(TTBItemViewer*) { return false; }

void TTBCustomItem::Click()
{
    if (!enabled_)
        return;
    std::weak_ptr<void> alive = AliveToken();
    if (autoCheck_) {
        SetChecked(!checked_);
        if (alive.expired())
            return;
    }
    if (OnClick && actionLink_ && !OnClick.IsActionHandler()) {
        TNotifyEvent h = OnClick.Handler();   // a copy: the handler may free the item
        h(this);
        return;
    }
    if (!IsDesigning() && actionLink_) {
        ExecuteAction();
        return;
    }
    if (OnClick) {
        TNotifyEvent h = OnClick.Handler();
        h(this);
    }
}

// --- shortcuts ---

std::string TTBCustomItem::GetShortCutText() const
{
    size_t tab = caption_.find('\t');
    if (tab != std::string::npos)
        return caption_.substr(tab + 1);
    if (shortCut_ != 0)
        return ShortCutToText(shortCut_);
    return std::string();
}

TTBCustomItem* TTBCustomItem::FindItemWithShortCut(TShortCut shortCut, TTBCustomItem** topLevel)
{
    TTBCustomItem* top = nullptr;
    TTBCustomItem* found = FindShortCutDepth(shortCut, &top, 0);
    if (topLevel)
        *topLevel = found ? top : nullptr;
    return found;
}

TTBCustomItem* TTBCustomItem::FindShortCutDepth(TShortCut shortCut, TTBCustomItem** topLevel, int depth)
{
    TTBCustomItem* owner = this;
    if (linkSubitems_) {
        owner = linkSubitems_;
        ++depth;
    }
    if (depth > kMaxLinkDepth || shortCut == 0)
        return nullptr;
    for (TTBCustomItem* child : owner->items_) {
        if (child->shortCut_ == shortCut) {
            *topLevel = child;
            return child;
        }
        TTBCustomItem* dummy = nullptr;
        int d = depth + ((child->itemStyle_ & isInlineGroup) ? 1 : 0);
        if (TTBCustomItem* f = child->FindShortCutDepth(shortCut, &dummy, d)) {
            *topLevel = child;
            return f;
        }
    }
    return nullptr;
}

bool TTBCustomItem::IsShortCut(const MSG& keyMessage)
{
    if (keyMessage.message != WM_KEYDOWN && keyMessage.message != WM_SYSKEYDOWN)
        return false;
    return IsShortCut(static_cast<WORD>(keyMessage.wParam), ShiftFromKeyData(keyMessage.lParam));
}

bool TTBCustomItem::IsShortCut(WORD key, TShiftState shift)
{
    TShortCut sc = ::ShortCut(key, shift);
    if (sc == 0 || !FindItemWithShortCut(sc))
        return false;
    return IsShortCutDepth(sc);
}

bool TTBCustomItem::IsShortCutDepth(TShortCut shortCut)
{
    TTBCustomItem* cur = this;
    std::weak_ptr<void> alive = AliveToken();
    for (int step = 0; step <= kMaxLinkDepth; ++step) {
        if (!cur->enabled_)
            return false;
        std::weak_ptr<void> curAlive = cur->AliveToken();
        if (!cur->IsDesigning()) {
            std::vector<TTBCustomItem*> children = cur->GetItemsOwner()->items_;
            for (TTBCustomItem* c : children) {
                c->InitiateAction();
                if (curAlive.expired())
                    return false;
            }
        }
        if (!(cur->itemStyle_ & isInlineGroup)) {
            if (cur->linkSubitems_) {
                cur->linkSubitems_->DoPopup(cur, true);
                if (curAlive.expired())
                    return false;
            }
            cur->DoPopup(cur, false);
            if (curAlive.expired())
                return false;
        }
        TTBCustomItem* top = nullptr;
        TTBCustomItem* match = cur->FindItemWithShortCut(shortCut, &top);
        if (!match)
            return false;
        if (top == match) {
            if (!match->enabled_)
                return false;
            match->Click();
            return true;
        }
        cur = top;
    }
    return false;
}

// --- kinds ---

TTBSubmenuItem::TTBSubmenuItem(TComponent* owner) : TTBCustomItem(owner)
{
    SetItemStyle(ItemStyle() | isSubmenu | isSubitemsEditable);
}

TTBSeparatorItem::TTBSeparatorItem(TComponent* owner) : TTBCustomItem(owner)
{
    TTBItemStyle s = ItemStyle();
    s &= static_cast<TTBItemStyle>(~(isSelectable | isRedrawOnSelect | isRedrawOnHover));
    SetItemStyle(s | isSeparator | isClickThrough);
}

void TTBSeparatorItem::SetBlank(bool v)
{
    if (v == blank_)
        return;
    blank_ = v;
    Changed(false);
}

TTBItemViewerClass TTBSeparatorItem::GetItemViewerClass(TTBView*) { return &NewTBSeparatorItemViewer; }

TTBControlItem::TTBControlItem(TComponent* owner) : TTBCustomItem(owner)
{
    TTBItemStyle s = ItemStyle();
    s &= static_cast<TTBItemStyle>(~isSelectable);
    SetItemStyle(s | isClickThrough);
}

TTBControlItem::~TTBControlItem()
{
    TControl* c = control_;
    control_ = nullptr;
    if (c) {
        RemoveFreeNotification(c);
        if (!DontFreeControl)
            delete c;
    }
}

void TTBControlItem::SetControl(TControl* control)
{
    if (control == control_)
        return;
    if (control_)
        RemoveFreeNotification(control_);
    control_ = control;
    if (control)
        FreeNotification(control);
    Changed(true);
}

void TTBControlItem::Notification(TComponent* component, TOperation operation)
{
    TTBCustomItem::Notification(component, operation);
    if (operation == TOperation::opRemove && component && component == control_)
        control_ = nullptr;
}

// --- removal of referenced components ---

void TTBCustomItem::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove || !component)
        return;
    auto lp = std::find(linkParents_.begin(), linkParents_.end(), component);
    if (lp != linkParents_.end())
        linkParents_.erase(lp);
    if (component == linkSubitems_)
        SetLinkSubitems(nullptr);
    if (component == static_cast<TComponent*>(images_))
        SetImages(nullptr);
    if (component == static_cast<TComponent*>(subMenuImages_))
        SetSubMenuImages(nullptr);
    if (Action() && component == static_cast<TComponent*>(Action()))
        SetAction(nullptr);
}
