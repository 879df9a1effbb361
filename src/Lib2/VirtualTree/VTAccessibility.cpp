#include "Lib2/VirtualTree/VTAccessibility.h"

#include <algorithm>

#include "Lib2/VirtualTree/VirtualTrees.h"

TVTAccessibilityFactory& TVTAccessibilityFactory::Instance()
{
    static TVTAccessibilityFactory factory;
    return factory;
}

void TVTAccessibilityFactory::RegisterAccessibleProvider(IVTAccessibleProvider* provider)
{
    if (provider && std::find(providers_.begin(), providers_.end(), provider) == providers_.end())
        providers_.push_back(provider);
}

void TVTAccessibilityFactory::UnRegisterAccessibleProvider(IVTAccessibleProvider* provider)
{
    providers_.erase(std::remove(providers_.begin(), providers_.end(), provider), providers_.end());
}

IAccessible* TVTAccessibilityFactory::CreateIAccessible(TBaseVirtualTree* tree)
{
    if (!tree || providers_.empty())
        return nullptr;
    if (!tree->Accessible())
        return providers_.front()->CreateIAccessible(tree);
    if (IAccessible* item = tree->AccessibleItem()) {
        item->AddRef();
        return item;
    }
    for (size_t i = providers_.size() - 1; i >= 1; --i)
        if (IAccessible* answer = providers_[i]->CreateIAccessible(tree))
            return answer;
    return providers_.front()->CreateIAccessible(tree);
}

IAccessible* GetCreateIAccessible(TBaseVirtualTree* tree)
{
    return TVTAccessibilityFactory::Instance().CreateIAccessible(tree);
}
