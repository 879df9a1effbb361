// Items and actions: the action link, copying an action's properties onto
// the item, running the action, and updating it on request.
#include <algorithm>

#include "platform/Actions.h"
#include "toolbars/TBItemActionLink.h"
#include "toolbars/TBItems.h"

// --- the link ---

bool TTBCustomItemActionLink::IsCaptionLinked() const
{
    return TActionLink::IsCaptionLinked() && item_->Caption() == CustomAction()->Caption();
}

bool TTBCustomItemActionLink::IsCheckedLinked() const
{
    return TActionLink::IsCheckedLinked() && item_->Checked() == CustomAction()->Checked();
}

bool TTBCustomItemActionLink::IsEnabledLinked() const
{
    return TActionLink::IsEnabledLinked() && item_->Enabled() == CustomAction()->Enabled();
}

bool TTBCustomItemActionLink::IsHelpContextLinked() const
{
    return TActionLink::IsHelpContextLinked() && item_->HelpContext() == CustomAction()->HelpContext();
}

bool TTBCustomItemActionLink::IsHintLinked() const
{
    return TActionLink::IsHintLinked() && item_->Hint() == CustomAction()->Hint();
}

bool TTBCustomItemActionLink::IsImageIndexLinked() const
{
    return TActionLink::IsImageIndexLinked() && item_->ImageIndex() == CustomAction()->ImageIndex();
}

bool TTBCustomItemActionLink::IsShortCutLinked() const
{
    return TActionLink::IsShortCutLinked() && item_->ShortCut() == CustomAction()->ShortCut();
}

bool TTBCustomItemActionLink::IsVisibleLinked() const
{
    return TActionLink::IsVisibleLinked() && item_->Visible() == CustomAction()->Visible();
}

bool TTBCustomItemActionLink::IsOnExecuteLinked() const
{
    return TActionLink::IsOnExecuteLinked() && item_->OnClick.IsActionHandler();
}

void TTBCustomItemActionLink::SetCaption(const std::string& value)
{
    if (IsCaptionLinked())
        item_->SetCaption(value);
}

void TTBCustomItemActionLink::SetChecked(bool value)
{
    if (IsCheckedLinked())
        item_->SetChecked(value);
}

void TTBCustomItemActionLink::SetEnabled(bool value)
{
    if (IsEnabledLinked())
        item_->SetEnabled(value);
}

void TTBCustomItemActionLink::SetHelpContext(int value)
{
    if (IsHelpContextLinked())
        item_->SetHelpContext(value);
}

void TTBCustomItemActionLink::SetHint(const std::string& value)
{
    if (IsHintLinked())
        item_->SetHint(value);
}

void TTBCustomItemActionLink::SetImageIndex(int value)
{
    if (IsImageIndexLinked())
        item_->SetImageIndex(value);
}

void TTBCustomItemActionLink::SetShortCut(TShortCut value)
{
    if (IsShortCutLinked())
        item_->SetShortCut(value);
}

void TTBCustomItemActionLink::SetVisible(bool value)
{
    if (IsVisibleLinked())
        item_->SetVisible(value);
}

void TTBCustomItemActionLink::SetOnExecute(const TNotifyEvent& value)
{
    if (IsOnExecuteLinked())
        item_->OnClick.CopyFromAction(value);
}

// --- the item's side ---

TBasicAction* TTBCustomItem::Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }

void TTBCustomItem::DestroyActionLink()
{
    if (!actionLink_)
        return;
    TBasicAction* old = actionLink_->Action();
    actionLink_.reset();
    if (old)
        RemoveFreeNotification(old);
}

void TTBCustomItem::SetAction(TBasicAction* action)
{
    if (!action) {
        DestroyActionLink();
        return;
    }
    if (actionLink_ && actionLink_->Action() == action)
        return;
    if (!actionLink_)
        actionLink_ = std::make_unique<TTBCustomItemActionLink>(this);
    else if (TBasicAction* old = actionLink_->Action())
        RemoveFreeNotification(old);
    actionLink_->SetAction(action);
    actionLink_->OnChange = [this](TObject* sender) {
        if (actionLink_ && sender == actionLink_->Action())
            ActionChange(static_cast<TBasicAction*>(sender), false);
    };
    linkingAction_ = true;
    std::weak_ptr<void> alive = AliveToken();
    try {
        ActionChange(action, IsLoading() || action->IsLoading());
    } catch (...) {
        if (!alive.expired())
            linkingAction_ = false;
        throw;
    }
    if (alive.expired())
        return;
    linkingAction_ = false;
    FreeNotification(action);
}

void TTBCustomItem::ActionChange(TBasicAction* sender, bool checkDefaults)
{
    auto* a = dynamic_cast<TCustomAction*>(sender);
    if (!a)
        return;
    std::weak_ptr<void> alive = AliveToken();
    auto step = [&](auto f) {
        if (!alive.expired())
            f();
    };
    step([&] { if (!checkDefaults || caption_.empty()) SetCaption(a->Caption()); });
    step([&] { if (!checkDefaults || !checked_) SetChecked(a->Checked()); });
    step([&] { if (!checkDefaults || enabled_) SetEnabled(a->Enabled()); });
    step([&] { if (!checkDefaults || helpContext_ == 0) SetHelpContext(a->HelpContext()); });
    step([&] { if (!checkDefaults || hint_.empty()) SetHint(a->Hint()); });
    step([&] { if (!checkDefaults || imageIndex_ == -1) SetImageIndex(a->ImageIndex()); });
    step([&] { if (!checkDefaults || shortCut_ == 0) SetShortCut(a->ShortCut()); });
    step([&] { if (!checkDefaults || visible_) SetVisible(a->Visible()); });
    step([&] {
        if (!OnClick || OnClick.IsActionHandler() || (!checkDefaults && linkingAction_))
            OnClick.CopyFromAction(a->OnExecute);
    });
}

void TTBCustomItem::ExecuteAction()
{
    if (actionLink_)
        actionLink_->Execute(this);
}

void TTBCustomItem::InitiateAction()
{
    if (actionLink_)
        actionLink_->Update();
}

void TTBCustomItem::Loaded()
{
    TComponent::Loaded();
    if (TBasicAction* a = Action())
        ActionChange(a, true);
}
