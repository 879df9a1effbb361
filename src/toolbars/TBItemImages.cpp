// Items and image lists: Images (the item's own list for its children's
// images) and SubMenuImages (a submenu's list), each followed through a
// change link that remembers the list's image size.
#include "platform/ImageList.h"
#include "toolbars/TBItemImageLink.h"
#include "toolbars/TBItems.h"

TTBImageChangeLink::~TTBImageChangeLink() { SetImageList(nullptr); }

void TTBImageChangeLink::SetImageList(TCustomImageList* list)
{
    list_ = list;
    if (list) {
        LastWidth = list->Width();
        LastHeight = list->Height();
    }
}

bool TTBCustomItem::SetImageLink(std::unique_ptr<TTBImageChangeLink>& link, TCustomImageList*& field,
                                 TCustomImageList* value)
{
    TCustomImageList* old = field;
    if (old)
        RemoveFreeNotification(old);
    field = value;
    if (!value) {
        link.reset();
        return true;
    }
    bool sizeChanged = !old || old->Width() != value->Width() || old->Height() != value->Height();
    if (!link)
        link = std::make_unique<TTBImageChangeLink>(this);
    link->SetImageList(value);
    FreeNotification(value);
    return sizeChanged;
}

void TTBCustomItem::SetImages(TCustomImageList* v)
{
    if (v == images_)
        return;
    bool resize = SetImageLink(imagesLink_, images_, v);
    Changed(resize);
}

void TTBCustomItem::SetSubMenuImages(TCustomImageList* v)
{
    if (v == subMenuImages_)
        return;
    SetImageLink(subMenuImagesLink_, subMenuImages_, v);
    Notify(ickSubMenuImagesChanged, -1, nullptr);
}

void TTBCustomItem::ImageListChanged(TTBImageChangeLink*) {}
