// The toolbar library's image list: besides its own images it can take the
// images of checked, disabled and hot items from other lists, and its own
// images can come from one bitmap strip with a transparent colour.
#pragma once
#include <memory>

#include "platform/Graphics.h"
#include "platform/ImageList.h"

class TTBCustomImageList : public TCustomImageList {
public:
    explicit TTBCustomImageList(TComponent* owner, int width = 16, int height = 16);
    ~TTBCustomImageList() override;

    // Lists drawn instead of this one for checked, disabled and hot items
    // (nullptr: this list). A change in one of them is a change of this list.
    TCustomImageList* CheckedImages() const { return checked_; }
    void SetCheckedImages(TCustomImageList* list);
    TCustomImageList* DisabledImages() const { return disabled_; }
    void SetDisabledImages(TCustomImageList* list);
    TCustomImageList* HotImages() const { return hot_; }
    void SetHotImages(TCustomImageList* list);

    // A strip of images (as wide as a number of images): while it is not
    // empty it replaces this list's images, ImagesBitmapMaskColor
    // transparent.
    const TBitmap& ImagesBitmap() const { return imagesBitmap_; }
    void SetImagesBitmap(const TBitmap& strip);
    COLORREF ImagesBitmapMaskColor() const { return maskColor_; }
    void SetImagesBitmapMaskColor(COLORREF colour);
    // False while the images come from ImagesBitmap: then storing the
    // component leaves its own image data out.
    bool StoresImageData() const { return imagesBitmap_.Empty(); }

    // An image as an item in that state shows it: a disabled one from
    // DisabledImages (drawn as enabled) when set, else this list's greyed;
    // a checked one from CheckedImages, a hot (selected) one from
    // HotImages, each when set; otherwise this list's image.
    virtual void DrawState(TCanvas& canvas, int x, int y, int index, bool enabled, bool selected, bool checked);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void SetSideList(TCustomImageList*& field, TChangeLink& link, TCustomImageList* list);
    void ImagesBitmapChanged();

    TCustomImageList* checked_ = nullptr;
    TCustomImageList* disabled_ = nullptr;
    TCustomImageList* hot_ = nullptr;
    TChangeLink checkedLink_, disabledLink_, hotLink_;
    TBitmap imagesBitmap_;
    COLORREF maskColor_ = RGB(255, 0, 255);   // clFuchsia
};

using TTBImageList = TTBCustomImageList;
