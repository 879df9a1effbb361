// Stand-ins until the popup windows are written: TBPopup.cpp defines these two
// and this file goes then.
#include "toolbars/TBItems.h"

TTBPopupWindow* TTBCustomItem::CreatePopup(TTBView*, TTBItemViewer*, bool, bool, bool, POINT, int)
{
    return nullptr;
}

TTBPopupWindowClass TTBCustomItem::GetPopupWindowClass() { return nullptr; }
