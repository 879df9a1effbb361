// Item queries, accessibility, the cursor, hints and the remaining window messages.
#include <windows.h>

#include "Lib2/VirtualTree/VirtualTrees.h"

bool TBaseVirtualTree::OtherMessage(TMessage&)
{
    return false;
}
