// Items and image lists: Images (the list of the item's own image, and of
// its children's) and SubMenuImages (a submenu's list), each followed
// through a change link.
#include "platform/ImageList.h"
#include "toolbars/TBItemImageLink.h"
#include "toolbars/TBItems.h"

void TTBImageChangeLink::Change()
{
    TChangeLink::Change();
    item_->ImageListChanged(this);
}

bool TTBCustomItem::SetImageLink(std::unique_ptr<TTBImageChangeLink>& link, TCustomImageList*& field,
                                 TCustomImageList* value)
{
    TCustomImageList* old = field;
    if (old && link)
        old->UnRegisterChanges(link.get());
    field = value;
    // The free notice stays while the other property still holds the old list.
    if (old && old != images_ && old != subMenuImages_)
        RemoveFreeNotification(old);
    if (!value) {
        link.reset();
        return true;
    }
    bool sizeChanged = !old || old->Width() != value->Width() || old->Height() != value->Height();
    if (!link)
        link = std::make_unique<TTBImageChangeLink>(this);
    value->RegisterChanges(link.get());   // records the list's image size
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

void TTBCustomItem::ImageListChanged(TTBImageChangeLink* link)
{
    if (link == subMenuImagesLink_.get() && subMenuImages_) {
        link->ImageWidth = subMenuImages_->Width();
        link->ImageHeight = subMenuImages_->Height();
        Notify(ickSubMenuImagesChanged, -1, nullptr);
    }
    // A list can be both: the same link object is never shared, so look again.
    if (link == imagesLink_.get() && images_) {
        if (link->ImageWidth != images_->Width() || link->ImageHeight != images_->Height()) {
            link->ImageWidth = images_->Width();
            link->ImageHeight = images_->Height();
            Changed(true);
        } else {
            Changed(false);
        }
    }
}
