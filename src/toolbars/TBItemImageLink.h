// Follows one image list for an item (Images or SubMenuImages). The change
// link keeps the list's image size as last seen (ImageWidth, ImageHeight),
// so a change can tell a resize from a repaint.
#pragma once
#include "platform/ImageList.h"
#include "toolbars/TBItems.h"

class TTBImageChangeLink : public TChangeLink {
public:
    explicit TTBImageChangeLink(TTBCustomItem* item) : item_(item) {}
    void Change() override;

private:
    TTBCustomItem* item_;
};
