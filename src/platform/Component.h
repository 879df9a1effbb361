// Components: an owner frees what it owns (last-created first), components
// can ask to be told when another one goes (free notification), and a
// component knows whether it is loading or being destroyed. Components are
// heap objects: an owner deletes them.
#pragma once
#include <memory>

#include "platform/Events.h"
#include "platform/PropTable.h"
#include <string>
#include <vector>

enum class TOperation { opInsert, opRemove };

enum TComponentStateFlag : unsigned {
    csLoading = 1,
    csDestroying = 2,
    csDesigning = 4,
};

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
    // Owned component by name (case-insensitive); nullptr when none.
    TComponent* FindComponent(const std::string& name) const;

    unsigned ComponentState() const { return state_; }
    bool IsLoading() const { return (state_ & csLoading) != 0; }
    bool IsDestroying() const { return (state_ & csDestroying) != 0; }
    bool IsDesigning() const { return (state_ & csDesigning) != 0; }
    // Marks this component, and what it owns, as being edited in a form
    // designer (components made later by an owner in that state are too).
    void SetDesigning(bool value);

    // Asks to be told (Notification with opRemove) when `other` goes.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    // A form built in code calls BeginLoading before setting its properties and
    // EndLoading after: every owned component gets Loaded(), then the owner.
    // Components created while their owner is loading start in that state too.
    void BeginLoading();
    void EndLoading();

    // Frees every owned component, last-created first.
    void DestroyComponents();
    // Marks this component and what it owns as being destroyed.
    void Destroying();

    // Expires when the component is freed: code that runs a nested message
    // pump checks it before touching the component again.
    std::weak_ptr<void> AliveToken() const { return alive_; }

protected:
    virtual void Loaded();
    // Another component was inserted into or removed from this one's owner
    // list, or a component this one asked about is going away. The default
    // passes the notice on to every owned component.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    void InsertComponent(TComponent* c);
    void RemoveComponent(TComponent* c);
    void DoLoaded();

    TComponent* owner_ = nullptr;
    std::string name_;
    unsigned state_ = 0;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
