// Mouse buttons and moves: selection, hot tracking, the rubber band and wheel panning.
#include <windows.h>

#include "Lib2/VirtualTree/VirtualTrees.h"

bool TBaseVirtualTree::MouseMessage(TMessage&)
{
    return false;
}
