// OLE drag and drop, the clipboard, and the stream, drag and edit entry points.
#include <windows.h>

#include "Lib2/VirtualTree/VirtualTrees.h"

bool TBaseVirtualTree::DragDropMessage(TMessage&)
{
    return false;
}
