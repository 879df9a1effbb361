// The accessibility factory: the default provider makes a tree's own
// object, the tree's object of its focused item is handed out when there is
// one, and otherwise the later providers are asked newest first. The
// objects are the system's standard accessible objects of real windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleacc.h>

#include <vector>

#include "Lib2/VirtualTree/VTAccessibility.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

using TCreateStd = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);

// Hands out standard accessible objects of one window and counts the calls.
class Provider : public IVTAccessibleProvider {
public:
    Provider(HWND window, bool answers) : window_(window), answers_(answers) {}
    IAccessible* CreateIAccessible(TBaseVirtualTree* tree) override
    {
        asked.push_back(tree);
        if (!answers_)
            return nullptr;
        static auto create = reinterpret_cast<TCreateStd>(
            reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"oleacc.dll"), "CreateStdAccessibleObject")));
        IAccessible* object = nullptr;
        if (create)
            create(window_, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object));
        made.push_back(object);
        return object;
    }
    std::vector<TBaseVirtualTree*> asked;
    std::vector<IAccessible*> made;

private:
    HWND window_;
    bool answers_;
};

class AccessibilityFactory : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        window_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        tree_ = new TVirtualStringTree(nullptr);
    }
    void TearDown() override
    {
        for (Provider* p : {&first_, &second_, &third_})
            GetAccessibilityFactory().UnRegisterAccessibleProvider(p);
        for (Provider* p : {&first_, &second_, &third_})
            for (IAccessible* a : p->made)
                if (a)
                    a->Release();
        delete tree_;
        if (window_)
            DestroyWindow(window_);
    }
    HWND window_ = nullptr;
    TVirtualStringTree* tree_ = nullptr;
    Provider first_{nullptr, true}, second_{nullptr, false}, third_{nullptr, true};
};

TEST_F(AccessibilityFactory, NilTreeOrNoProviderGivesNothing)
{
    EXPECT_EQ(GetCreateIAccessible(nullptr), nullptr);
    EXPECT_EQ(GetCreateIAccessible(tree_), nullptr);
}

TEST_F(AccessibilityFactory, ProvidersAskedInTheirOrder)
{
    first_ = Provider(window_, true);
    second_ = Provider(window_, false);
    third_ = Provider(window_, true);
    TVTAccessibilityFactory& factory = GetAccessibilityFactory();
    factory.RegisterAccessibleProvider(&first_);
    factory.RegisterAccessibleProvider(&second_);
    factory.RegisterAccessibleProvider(&first_);   // kept once
    EXPECT_EQ(factory.ProviderCount(), 2);

    // No object yet: the default provider makes it.
    IAccessible* own = GetCreateIAccessible(tree_);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(first_.asked, (std::vector<TBaseVirtualTree*>{tree_}));
    EXPECT_TRUE(second_.asked.empty());
    tree_->SetAccessible(own);

    // With its object: the later providers from the newest; the second has
    // nothing, so the default answers again.
    IAccessible* again = GetCreateIAccessible(tree_);
    EXPECT_EQ(second_.asked.size(), 1u);
    EXPECT_EQ(first_.asked.size(), 2u);
    ASSERT_NE(again, nullptr);

    // A third provider answers before the others.
    factory.RegisterAccessibleProvider(&third_);
    IAccessible* third = GetCreateIAccessible(tree_);
    EXPECT_EQ(third_.asked.size(), 1u);
    EXPECT_EQ(second_.asked.size(), 1u);
    EXPECT_EQ(first_.asked.size(), 2u);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third, third_.made.back());

    // The object of the focused item wins over every provider, with a reference of its own.
    tree_->SetAccessibleItem(third);
    ULONG before = third->AddRef() - 1;
    third->Release();
    IAccessible* item = GetCreateIAccessible(tree_);
    EXPECT_EQ(item, third);
    EXPECT_EQ(third->AddRef() - 1, before + 1);
    third->Release();
    item->Release();
    EXPECT_EQ(third_.asked.size(), 1u);

    tree_->SetAccessibleItem(nullptr);
    tree_->SetAccessible(nullptr);
    factory.UnRegisterAccessibleProvider(&second_);
    factory.UnRegisterAccessibleProvider(&third_);
    EXPECT_EQ(factory.ProviderCount(), 1);
}

}  // namespace
