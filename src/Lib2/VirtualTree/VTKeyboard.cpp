// Keys, characters and the incremental search.
#include <windows.h>

#include "Lib2/VirtualTree/VirtualTrees.h"

bool TBaseVirtualTree::KeyboardMessage(TMessage&)
{
    return false;
}
