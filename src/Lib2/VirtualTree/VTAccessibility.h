// The process-wide factory that hands out accessible objects for trees.
// Providers make them; the first one registered is the default provider,
// which makes the tree's own object. Later providers may answer for the
// tree's parts (an accessible object of the focused item, say).
#pragma once
#include <windows.h>
#include <oleacc.h>

#include <vector>

class TBaseVirtualTree;

// Makes an accessible object for a tree: a new reference, or nullptr when
// this provider has none for it.
class IVTAccessibleProvider {
public:
    virtual ~IVTAccessibleProvider() = default;
    virtual IAccessible* CreateIAccessible(TBaseVirtualTree* tree) = 0;
};

class TVTAccessibilityFactory {
public:
    // The one factory of the process, made on first use.
    static TVTAccessibilityFactory& Instance();

    // The accessible object for a tree (a new reference; nullptr for nil):
    // while the tree has no accessible object yet, the default provider
    // makes it. Otherwise the tree's object for its focused item, when it
    // has one. Otherwise the providers from the last registered down to the
    // second; the first that answers wins, and the default provider when
    // none does.
    IAccessible* CreateIAccessible(TBaseVirtualTree* tree);

    // Providers are not owned; each stays registered until it unregisters.
    // Registering one twice keeps it once.
    void RegisterAccessibleProvider(IVTAccessibleProvider* provider);
    void UnRegisterAccessibleProvider(IVTAccessibleProvider* provider);
    int ProviderCount() const { return static_cast<int>(providers_.size()); }

private:
    TVTAccessibilityFactory() = default;
    std::vector<IVTAccessibleProvider*> providers_;
};

inline TVTAccessibilityFactory& GetAccessibilityFactory() { return TVTAccessibilityFactory::Instance(); }

// TVTAccessibilityFactory::Instance().CreateIAccessible(tree).
IAccessible* GetCreateIAccessible(TBaseVirtualTree* tree);
