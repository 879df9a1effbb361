#include "platform/Actions.h"

#include <algorithm>

#include "platform/Application.h"
#include "platform/Control.h"
#include "platform/Exceptions.h"
#include "platform/ImageList.h"

// ---------------------------------------------------------------------------
// Links

TBasicActionLink::~TBasicActionLink()
{
    if (action_)
        action_->UnRegisterChanges(this);
}

void TBasicActionLink::SetAction(TBasicAction* action)
{
    if (action == action_)
        return;
    if (action_)
        action_->UnRegisterChanges(this);
    action_ = nullptr;
    if (action)
        action->RegisterChanges(this);
}

bool TBasicActionLink::Execute(TComponent* component)
{
    if (!action_)
        return false;
    action_->SetActionComponent(component);
    std::weak_ptr<void> alive = action_->AliveToken();
    TBasicAction* action = action_;
    bool done = false;
    try {
        done = action->Execute();
    } catch (...) {
        if (!alive.expired())
            action->SetActionComponent(nullptr);
        throw;
    }
    if (!alive.expired())
        action->SetActionComponent(nullptr);
    return done;
}

bool TBasicActionLink::Update()
{
    return action_ ? action_->Update() : false;
}

void TBasicActionLink::Change()
{
    if (OnChange)
        OnChange(action_);
}

TCustomAction* TActionLink::CustomAction() const
{
    return dynamic_cast<TCustomAction*>(Action());
}

bool TActionLink::IsCaptionLinked() const { return CustomAction() != nullptr; }
bool TActionLink::IsCheckedLinked() const { return CustomAction() != nullptr; }
bool TActionLink::IsEnabledLinked() const { return CustomAction() != nullptr; }
bool TActionLink::IsHelpContextLinked() const { return CustomAction() != nullptr; }
bool TActionLink::IsHintLinked() const { return CustomAction() != nullptr; }
bool TActionLink::IsImageIndexLinked() const { return CustomAction() != nullptr; }
bool TActionLink::IsShortCutLinked() const { return CustomAction() != nullptr; }
bool TActionLink::IsVisibleLinked() const { return CustomAction() != nullptr; }
bool TActionLink::IsOnExecuteLinked() const { return Action() != nullptr; }

// ---------------------------------------------------------------------------
// Actions nothing else carried out go to the focused control, which takes
// on none unless it says so.

bool TControl::ExecuteAction(TBasicAction*) { return false; }
bool TControl::UpdateAction(TBasicAction*) { return false; }

namespace {

// The control of this thread that has the keyboard focus (its window, or
// the nearest of ours among the window's parents).
TControl* FocusedControl()
{
    for (HWND window = GetFocus(); window; window = GetParent(window))
        if (TWinControl* control = TWinControl::FromHandle(window))
            return control;
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Basic action

TBasicAction::TBasicAction(TComponent* owner) : TComponent(owner) {}

TBasicAction::~TBasicAction()
{
    // The links stay with their clients; they only lose the action.
    for (TBasicActionLink* link : clients_)
        link->action_ = nullptr;
    clients_.clear();
    if (actionComponent_)
        actionComponent_->RemoveFreeNotification(this);
}

bool TBasicAction::Execute()
{
    if (!OnExecute)
        return false;
    OnExecute(this);
    return true;
}

bool TBasicAction::Update()
{
    if (!OnUpdate)
        return false;
    OnUpdate(this);
    return true;
}

void TBasicAction::SetOnExecute(TNotifyEvent handler)
{
    OnExecute = std::move(handler);
    for (TBasicActionLink* link : ClientSnapshot())
        if (IsClient(link))
            if (auto* l = dynamic_cast<TActionLink*>(link))
                l->SetOnExecute(OnExecute);
    Change();
}

void TBasicAction::SetActionComponent(TComponent* component)
{
    if (component == actionComponent_)
        return;
    if (actionComponent_)
        actionComponent_->RemoveFreeNotification(this);
    actionComponent_ = component;
    if (component)
        component->FreeNotification(this);
}

void TBasicAction::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == actionComponent_)
        actionComponent_ = nullptr;
}

void TBasicAction::Change()
{
    for (TBasicActionLink* link : ClientSnapshot())
        if (IsClient(link))
            link->Change();
}

bool TBasicAction::IsClient(TBasicActionLink* link) const
{
    return std::find(clients_.begin(), clients_.end(), link) != clients_.end();
}

void TBasicAction::RegisterChanges(TBasicActionLink* link)
{
    link->action_ = this;
    if (!IsClient(link))
        clients_.push_back(link);
}

void TBasicAction::UnRegisterChanges(TBasicActionLink* link)
{
    clients_.erase(std::remove(clients_.begin(), clients_.end(), link), clients_.end());
    if (link->action_ == this)
        link->action_ = nullptr;
}

// ---------------------------------------------------------------------------
// Custom action

TCustomAction::TCustomAction(TComponent* owner) : TBasicAction(owner) {}

TCustomAction::~TCustomAction()
{
    SetActionList(nullptr);
}

template <class F>
void TCustomAction::ForEachLink(F f)
{
    for (TBasicActionLink* link : ClientSnapshot())
        if (IsClient(link))
            if (auto* l = dynamic_cast<TActionLink*>(link))
                f(*l);
}

void TCustomAction::SetCaption(const std::string& value)
{
    if (value == caption_)
        return;
    ForEachLink([&](TActionLink& l) { l.SetCaption(value); });
    caption_ = value;
    Change();
}

void TCustomAction::SetChecked(bool value)
{
    if (value == checked_)
        return;
    ForEachLink([&](TActionLink& l) { l.SetChecked(value); });
    checked_ = value;
    Change();
}

void TCustomAction::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    ForEachLink([&](TActionLink& l) { l.SetEnabled(value); });
    enabled_ = value;
    Change();
}

void TCustomAction::SetHelpContext(int value)
{
    if (value == helpContext_)
        return;
    ForEachLink([&](TActionLink& l) { l.SetHelpContext(value); });
    helpContext_ = value;
    Change();
}

void TCustomAction::SetHint(const std::string& value)
{
    if (value == hint_)
        return;
    ForEachLink([&](TActionLink& l) { l.SetHint(value); });
    hint_ = value;
    Change();
}

void TCustomAction::SetImageIndex(int value)
{
    if (value == imageIndex_)
        return;
    ForEachLink([&](TActionLink& l) { l.SetImageIndex(value); });
    imageIndex_ = value;
    Change();
}

void TCustomAction::SetShortCut(TShortCut value)
{
    if (value == shortCut_)
        return;
    ForEachLink([&](TActionLink& l) { l.SetShortCut(value); });
    shortCut_ = value;
    Change();
}

void TCustomAction::SetVisible(bool value)
{
    if (value == visible_)
        return;
    ForEachLink([&](TActionLink& l) { l.SetVisible(value); });
    visible_ = value;
    Change();
}

bool TCustomAction::Execute()
{
    std::weak_ptr<void> alive = AliveToken();
    Update();
    if (alive.expired() || !enabled_)
        return false;
    if (actionList_ && actionList_->ExecuteAction(this))
        return true;
    if (alive.expired())
        return false;
    if (TBasicAction::Execute())
        return true;
    if (alive.expired())
        return false;
    TControl* focused = FocusedControl();
    return focused && focused->ExecuteAction(this);
}

bool TCustomAction::Update()
{
    std::weak_ptr<void> alive = AliveToken();
    if (actionList_ && actionList_->UpdateAction(this))
        return true;
    if (alive.expired())
        return false;
    if (TBasicAction::Update())
        return true;
    if (alive.expired())
        return false;
    TControl* focused = FocusedControl();
    return focused && focused->UpdateAction(this);
}

bool TEditAction::Update()
{
    std::weak_ptr<void> alive = AliveToken();
    if (TCustomAction::Update())
        return true;
    // Nothing to act on: only a handler of its own keeps it enabled.
    if (!alive.expired())
        SetEnabled(static_cast<bool>(OnExecute));
    return false;
}

bool TCustomAction::DoHint(std::string& hintText)
{
    bool canShow = true;
    if (OnHint)
        OnHint(hintText, canShow);
    return canShow;
}

void TCustomAction::SetActionList(TActionList* list)
{
    if (list == actionList_)
        return;
    if (actionList_)
        actionList_->RemoveAction(this);
    if (list)
        list->AddAction(this);
}

int TCustomAction::Index() const
{
    return actionList_ ? actionList_->IndexOf(this) : -1;
}

// ---------------------------------------------------------------------------
// Idle updates of the thread's action lists

namespace {

struct ThreadActionLists {
    std::vector<TActionList*> lists;
    DWORD lastUpdate = 0;
    bool updatedOnce = false;
    bool updating = false;
    UINT_PTR retryTimer = 0;
    unsigned count = 0;
};

thread_local ThreadActionLists tActionLists;

// Only its arrival matters: it wakes the message loop, which goes idle again.
void CALLBACK RetryTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (tActionLists.retryTimer == id)
        tActionLists.retryTimer = 0;
}

void ActionIdle()
{
    ThreadActionLists& t = tActionLists;
    if (t.lists.empty() || t.updating)
        return;
    DWORD now = GetTickCount();
    DWORD since = now - t.lastUpdate;
    if (t.updatedOnce && since < kActionUpdateInterval) {
        // Too soon: come back when the interval is over, even if the queue
        // stays quiet until then.
        if (!t.retryTimer)
            t.retryTimer = SetTimer(nullptr, 0, kActionUpdateInterval - since, &RetryTimerProc);
        return;
    }
    t.lastUpdate = now;
    t.updatedOnce = true;
    UpdateThreadActionLists();
}

void EnsureIdleHandler()
{
    static bool hooked = false;
    if (hooked)
        return;
    TApplication& app = Application();
    DWORD main = app.MainThreadId();
    if (main != 0 && main != GetCurrentThreadId())
        return;
    hooked = true;
    app.AddIdleHandler(&ActionIdle);
}

}  // namespace

void UpdateThreadActionLists()
{
    ThreadActionLists& t = tActionLists;
    if (t.updating)
        return;
    t.updating = true;
    ++t.count;
    try {
        // A handler may free lists or actions: walk a copy and check.
        std::vector<TActionList*> lists = t.lists;
        for (TActionList* list : lists)
            if (std::find(t.lists.begin(), t.lists.end(), list) != t.lists.end())
                list->UpdateActions();
    } catch (...) {
        t.updating = false;
        throw;
    }
    t.updating = false;
}

bool FormActionListsShortCut(const TComponent* form, TShortCut shortCut)
{
    if (shortCut == 0)
        return false;
    ThreadActionLists& t = tActionLists;
    std::vector<TActionList*> lists = t.lists;
    for (TActionList* list : lists) {
        if (std::find(t.lists.begin(), t.lists.end(), list) == t.lists.end())
            continue;
        // The list's form: the first owner that is a control's top.
        const TComponent* owner = list->Owner();
        while (owner && !dynamic_cast<const TControl*>(owner))
            owner = owner->Owner();
        if (owner) {
            const TControl* top = static_cast<const TControl*>(owner);
            while (top->Parent())
                top = top->Parent();
            if (top != form)
                continue;
        }
        if (list->IsShortCut(shortCut))
            return true;
    }
    return false;
}

unsigned ActionIdleUpdateCount()
{
    return tActionLists.count;
}

// ---------------------------------------------------------------------------
// Action list

TActionList::TActionList(TComponent* owner) : TComponent(owner)
{
    tActionLists.lists.push_back(this);
    EnsureIdleHandler();
}

TActionList::~TActionList()
{
    auto& lists = tActionLists.lists;
    lists.erase(std::remove(lists.begin(), lists.end(), this), lists.end());
    while (!actions_.empty()) {
        TCustomAction* a = actions_.back();
        actions_.pop_back();
        a->actionList_ = nullptr;
    }
    SetImages(nullptr);
}

int TActionList::IndexOf(const TCustomAction* action) const
{
    auto it = std::find(actions_.begin(), actions_.end(), action);
    return it == actions_.end() ? -1 : static_cast<int>(it - actions_.begin());
}

void TActionList::SetImages(TCustomImageList* images)
{
    if (images == images_)
        return;
    if (images_)
        images_->RemoveFreeNotification(this);
    images_ = images;
    if (images)
        images->FreeNotification(this);
}

bool TActionList::ExecuteAction(TBasicAction* action)
{
    bool handled = false;
    if (OnExecute)
        OnExecute(action, handled);
    return handled;
}

bool TActionList::UpdateAction(TBasicAction* action)
{
    bool handled = false;
    if (OnUpdate)
        OnUpdate(action, handled);
    return handled;
}

void TActionList::UpdateActions()
{
    std::weak_ptr<void> alive = AliveToken();
    std::vector<TCustomAction*> list = actions_;
    for (TCustomAction* a : list) {
        if (alive.expired())
            return;
        if (IndexOf(a) >= 0)
            a->Update();
    }
}

bool TActionList::IsShortCut(TShortCut shortCut)
{
    std::weak_ptr<void> alive = AliveToken();
    std::vector<TCustomAction*> list = actions_;
    for (TCustomAction* a : list) {
        if (alive.expired())
            return true;
        if (std::find(actions_.begin(), actions_.end(), a) == actions_.end() || a->ShortCut() != shortCut)
            continue;
        if (a->Execute())
            return true;
    }
    return false;
}

void TActionList::AddAction(TCustomAction* action)
{
    actions_.push_back(action);
    action->actionList_ = this;
    if (OnChange)
        OnChange(this);
}

void TActionList::RemoveAction(TCustomAction* action)
{
    actions_.erase(std::remove(actions_.begin(), actions_.end(), action), actions_.end());
    action->actionList_ = nullptr;
    if (OnChange && !IsDestroying())
        OnChange(this);
}

void TActionList::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == images_)
        images_ = nullptr;
}
