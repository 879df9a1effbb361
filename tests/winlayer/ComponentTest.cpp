#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Component.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

std::vector<std::string> g_log;

class Probe : public TComponent {
public:
    Probe(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }
    ~Probe() override { g_log.push_back("free " + Name()); }
    TComponent* watched = nullptr;
    bool loadingAtLoaded = false;
    std::vector<std::string> notices;

    void Watch(TComponent* other)
    {
        watched = other;
        FreeNotification(other);
    }

protected:
    void Loaded() override
    {
        loadingAtLoaded = IsLoading();
        TComponent::Loaded();
        g_log.push_back("loaded " + Name());
    }
    void Notification(TComponent* c, TOperation op) override
    {
        TComponent::Notification(c, op);
        notices.push_back((op == TOperation::opInsert ? "+" : "-") + c->Name());
        if (op == TOperation::opRemove && c == watched)
            watched = nullptr;
    }
};

}  // namespace

TEST(Component, OwnerFreesWhatItOwnsLastCreatedFirst)
{
    g_log.clear();
    auto* owner = new Probe(nullptr, "owner");
    new Probe(owner, "a");
    auto* b = new Probe(owner, "b");
    new Probe(b, "b1");
    new Probe(owner, "c");
    EXPECT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(owner->FindComponent("B"), b);
    EXPECT_EQ(owner->FindComponent("b1"), nullptr);   // only direct children
    delete owner;
    // Each destructor body logs before the base frees what that object owns.
    std::vector<std::string> expected = {"free owner", "free c", "free b", "free b1", "free a"};
    EXPECT_EQ(g_log, expected);
}

TEST(Component, DeletingAnOwnedComponentTakesItOutOfItsOwner)
{
    g_log.clear();
    Probe owner(nullptr, "owner");
    auto* a = new Probe(&owner, "a");
    auto* b = new Probe(&owner, "b");
    delete a;
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0), b);
    // The owner and its other children were told.
    // (Names are given after construction, so the insert notices carry none yet.)
    EXPECT_EQ(owner.notices, (std::vector<std::string>{"+", "+", "-a"}));
    EXPECT_EQ(b->notices, (std::vector<std::string>{"-a"}));
}

TEST(Component, FreeNotificationClearsReferencesAcrossOwners)
{
    auto* left = new Probe(nullptr, "left");
    auto* right = new Probe(nullptr, "right");
    auto* watcher = new Probe(left, "watcher");
    auto* target = new Probe(right, "target");
    watcher->Watch(target);
    delete right;   // frees target
    EXPECT_EQ(watcher->watched, nullptr);
    // And the other way: a watcher that goes first is forgotten by the target.
    auto* t2 = new Probe(nullptr, "t2");
    auto* w2 = new Probe(nullptr, "w2");
    w2->Watch(t2);
    delete w2;
    delete t2;   // must not tell the freed watcher
    delete left;
}

TEST(Component, LoadedRunsAfterTheFormIsBuiltChildrenFirst)
{
    g_log.clear();
    Probe form(nullptr, "form");
    form.BeginLoading();
    auto* a = new Probe(&form, "a");
    auto* b = new Probe(&form, "b");
    auto* b1 = new Probe(b, "b1");
    EXPECT_TRUE(a->IsLoading());
    EXPECT_TRUE(b1->IsLoading());
    EXPECT_TRUE(g_log.empty());
    form.EndLoading();
    EXPECT_EQ(g_log, (std::vector<std::string>{"loaded a", "loaded b1", "loaded b", "loaded form"}));
    EXPECT_FALSE(form.IsLoading());
    EXPECT_FALSE(b1->IsLoading());
    // Loaded is told while the loading flag is still set, like a form read from a resource.
    EXPECT_TRUE(a->loadingAtLoaded);
    // A second EndLoading does nothing.
    g_log.clear();
    form.EndLoading();
    EXPECT_TRUE(g_log.empty());
    // A component created later is not loading.
    auto* late = new Probe(&form, "late");
    EXPECT_FALSE(late->IsLoading());
}

TEST(Component, DestroyingStateReachesOwnedComponentsBeforeTheyGo)
{
    struct Flagged : TComponent {
        explicit Flagged(TComponent* o, bool* seen) : TComponent(o), seen_(seen) {}
        ~Flagged() override { *seen_ = IsDestroying() && Owner() == nullptr; }
        bool* seen_;
    };
    bool seen = false;
    auto* owner = new TComponent(nullptr);
    new Flagged(owner, &seen);
    delete owner;
    EXPECT_TRUE(seen);
}

TEST(Component, AliveTokenExpiresWithTheComponent)
{
    auto* c = new TComponent(nullptr);
    std::weak_ptr<void> alive = c->AliveToken();
    EXPECT_FALSE(alive.expired());
    delete c;
    EXPECT_TRUE(alive.expired());
}

TEST(Application, ReleaseLaterWaitsForNestedLoopsToEnd)
{
    g_log.clear();
    auto* p = new Probe(nullptr, "released");
    std::weak_ptr<void> alive = p->AliveToken();
    Application().BeginNestedLoop();
    Application().ReleaseLater(p);
    Application().ReleaseLater(p);   // twice is once
    Pump(100);
    EXPECT_FALSE(alive.expired());
    Application().EndNestedLoop();
    ASSERT_TRUE(PumpUntil([&] { return alive.expired(); }, 20000));
    EXPECT_EQ(g_log, (std::vector<std::string>{"free released"}));
    // A component freed by someone else before its turn is skipped.
    auto* q = new Probe(nullptr, "gone");
    Application().ReleaseLater(q);
    delete q;
    g_log.clear();
    Pump(100);
    EXPECT_TRUE(g_log.empty());
}
