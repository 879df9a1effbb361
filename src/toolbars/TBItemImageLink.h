// Follows one image list for an item (Images or SubMenuImages) and keeps the
// list's image size as last seen, so a change can tell a resize apart.
#pragma once
#include "toolbars/TBItems.h"

class TTBImageChangeLink {
public:
    explicit TTBImageChangeLink(TTBCustomItem* item) : item_(item) {}
    ~TTBImageChangeLink();
    TTBImageChangeLink(const TTBImageChangeLink&) = delete;
    TTBImageChangeLink& operator=(const TTBImageChangeLink&) = delete;

    // Starts following the list (nullptr: none).
    void SetImageList(TCustomImageList* list);
    TCustomImageList* ImageList() const { return list_; }
    int LastWidth = 0;
    int LastHeight = 0;

private:
    TTBCustomItem* item_;
    TCustomImageList* list_ = nullptr;
};
