#include "platform/Component.h"

#include <windows.h>

#include <algorithm>

#include "platform/Text.h"

TComponent::TComponent(TComponent* owner)
{
    if (owner) {
        if (owner->IsLoading())
            state_ |= csLoading;
        if (owner->IsDesigning())
            state_ |= csDesigning;
        owner->InsertComponent(this);
    }
}

TComponent::~TComponent()
{
    Destroying();
    // Tell everyone who asked about us; each removes its reference.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        auto& theirs = other->freeNotifies_;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (owner_)
        owner_->RemoveComponent(this);
}

void TComponent::SetDesigning(bool value)
{
    state_ = value ? (state_ | csDesigning) : (state_ & ~static_cast<unsigned>(csDesigning));
    for (TComponent* c : components_)
        c->SetDesigning(value);
}

TComponent* TComponent::FindComponent(const std::string& name) const
{
    if (name.empty())
        return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, name))
            return c;
    return nullptr;
}

void TComponent::FreeNotification(TComponent* other)
{
    if (!other || other == this)
        return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
        freeNotifies_.push_back(other);
    auto& theirs = other->freeNotifies_;
    if (std::find(theirs.begin(), theirs.end(), this) == theirs.end())
        theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other)
{
    if (!other)
        return;
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), other), freeNotifies_.end());
    auto& theirs = other->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::BeginLoading()
{
    state_ |= csLoading;
    for (TComponent* c : components_)
        c->BeginLoading();
}

void TComponent::EndLoading()
{
    if (!IsLoading())
        return;
    DoLoaded();
}

void TComponent::DoLoaded()
{
    // Owned components first (a copy: Loaded may create or free components).
    std::vector<TComponent*> list = components_;
    std::weak_ptr<void> alive = alive_;
    for (TComponent* c : list) {
        if (alive.expired())
            return;
        if (std::find(components_.begin(), components_.end(), c) != components_.end() && c->IsLoading())
            c->DoLoaded();
    }
    // Loaded sees the loading flag still set; the base Loaded clears it.
    Loaded();
    if (!alive.expired())
        state_ &= ~csLoading;
}

void TComponent::Loaded() { state_ &= ~csLoading; }

void TComponent::Destroying()
{
    if (IsDestroying())
        return;
    state_ |= csDestroying;
    for (TComponent* c : components_)
        c->Destroying();
}

void TComponent::DestroyComponents()
{
    while (!components_.empty()) {
        TComponent* c = components_.back();
        // Taken out first, so the child does not look for us while going.
        components_.pop_back();
        c->owner_ = nullptr;
        Notification(c, TOperation::opRemove);
        delete c;
    }
}

void TComponent::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove && component)
        RemoveFreeNotification(component);
    // A copy: a notice may free components.
    std::vector<TComponent*> list = components_;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        TComponent* c = *it;
        if (c != component && std::find(components_.begin(), components_.end(), c) != components_.end())
            c->Notification(component, operation);
    }
}

void TComponent::InsertComponent(TComponent* c)
{
    components_.push_back(c);
    c->owner_ = this;
    Notification(c, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* c)
{
    auto it = std::find(components_.begin(), components_.end(), c);
    if (it == components_.end())
        return;
    components_.erase(it);
    c->owner_ = nullptr;
    Notification(c, TOperation::opRemove);
}

TShiftState GetShiftKeys()
{
    TShiftState s = 0;
    if (GetAsyncKeyState(VK_SHIFT) < 0)
        s |= ssShift;
    if (GetAsyncKeyState(VK_CONTROL) < 0)
        s |= ssCtrl;
    if (GetAsyncKeyState(VK_MENU) < 0)
        s |= ssAlt;
    return s;
}

TShiftState ShiftFromMouseKeys(WPARAM keys)
{
    TShiftState s = 0;
    if (keys & MK_SHIFT)
        s |= ssShift;
    if (keys & MK_CONTROL)
        s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0)
        s |= ssAlt;
    if (keys & MK_LBUTTON)
        s |= ssLeft;
    if (keys & MK_RBUTTON)
        s |= ssRight;
    if (keys & MK_MBUTTON)
        s |= ssMiddle;
    return s;
}
