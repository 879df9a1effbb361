// Toolbar items: the child list, option inheritance, notices, groups,
// actions and the click queue.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Actions.h"
#include "support/TestSupport.h"
#include "toolbars/TBItems.h"

namespace {

// Items owned by one component, freed with it.
struct ItemsOwner {
    std::unique_ptr<TComponent> owner = std::make_unique<TComponent>(nullptr);
    template <class T = TTBItem>
    T* Make(const std::string& caption = std::string())
    {
        T* i = new T(owner.get());
        i->SetCaption(caption);
        return i;
    }
};

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ETBItemError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(TBItems, IndexOutsideTheListRaises)
{
    ItemsOwner o;
    auto* root = o.Make<TTBRootItem>();
    root->Add(o.Make("a"));
    root->Add(o.Make("b"));
    EXPECT_EQ("b", root->Items(1)->Caption());
    EXPECT_EQ("Toolbar item index out of range", ErrorOf([&] { root->Items(root->Count()); }));
    EXPECT_EQ("Toolbar item index out of range", ErrorOf([&] { root->Items(-1); }));
    EXPECT_EQ("Toolbar item index out of range", ErrorOf([&] { root->Insert(3, o.Make("c")); }));
    // Insert at Count is allowed.
    auto* d = o.Make("d");
    root->Insert(root->Count(), d);
    EXPECT_EQ(2, root->IndexOf(d));
}

TEST(TBItems, SecondParentRaisesAndLeavesBothListsAlone)
{
    ItemsOwner o;
    auto* p1 = o.Make<TTBSubmenuItem>();
    auto* p2 = o.Make<TTBSubmenuItem>();
    auto* x = o.Make("x");
    p1->Add(x);
    EXPECT_EQ("Toolbar item already inserted", ErrorOf([&] { p2->Add(x); }));
    EXPECT_EQ(1, p1->Count());
    EXPECT_EQ(0, p2->Count());
    EXPECT_EQ(p1, x->Parent());
}

TEST(TBItems, ItemIntoItselfOrItsDescendantRaises)
{
    ItemsOwner o;
    auto* a = o.Make<TTBSubmenuItem>();
    auto* b = o.Make<TTBSubmenuItem>();
    auto* c = o.Make<TTBSubmenuItem>();
    a->Add(b);
    b->Add(c);
    EXPECT_NE("(no error)", ErrorOf([&] { a->Add(a); }));
    EXPECT_NE("(no error)", ErrorOf([&] { c->Add(a); }));
    EXPECT_EQ(0, c->Count());
    EXPECT_EQ(nullptr, a->Parent());
}

}  // namespace
