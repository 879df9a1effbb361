#include "toolbars/TBImageList.h"

TTBCustomImageList::TTBCustomImageList(TComponent* owner, int width, int height)
    : TCustomImageList(owner, width, height)
{
    auto relay = [this](TObject*) {
        if (!IsLoading() && !IsDestroying())
            Changed();
    };
    checkedLink_.OnChange = relay;
    disabledLink_.OnChange = relay;
    hotLink_.OnChange = relay;
}

TTBCustomImageList::~TTBCustomImageList()
{
    Destroying();
    SetCheckedImages(nullptr);
    SetDisabledImages(nullptr);
    SetHotImages(nullptr);
}

void TTBCustomImageList::SetSideList(TCustomImageList*& field, TChangeLink& link, TCustomImageList* list)
{
    if (list == field)
        return;
    TCustomImageList* old = field;
    if (old)
        old->UnRegisterChanges(&link);
    field = list;
    if (list) {
        list->RegisterChanges(&link);
        list->FreeNotification(this);
    }
    // The notice stays while another side still shows the old list.
    if (old && old != checked_ && old != disabled_ && old != hot_)
        old->RemoveFreeNotification(this);
    if (!IsLoading() && !IsDestroying())
        Changed();
}

void TTBCustomImageList::SetCheckedImages(TCustomImageList* list) { SetSideList(checked_, checkedLink_, list); }
void TTBCustomImageList::SetDisabledImages(TCustomImageList* list) { SetSideList(disabled_, disabledLink_, list); }
void TTBCustomImageList::SetHotImages(TCustomImageList* list) { SetSideList(hot_, hotLink_, list); }

void TTBCustomImageList::SetImagesBitmap(const TBitmap& strip)
{
    imagesBitmap_.Assign(strip);
    ImagesBitmapChanged();
}

void TTBCustomImageList::SetImagesBitmapMaskColor(COLORREF colour)
{
    if (colour == maskColor_)
        return;
    maskColor_ = colour;
    ImagesBitmapChanged();
}

void TTBCustomImageList::ImagesBitmapChanged()
{
    if (imagesBitmap_.Empty())
        return;
    Clear();
    AddMasked(imagesBitmap_, maskColor_);
}

void TTBCustomImageList::DrawState(TCanvas& canvas, int x, int y, int index, bool enabled, bool selected,
                                   bool checked)
{
    if (!enabled && disabled_)
        disabled_->Draw(canvas, x, y, index, true);
    else if (checked && checked_)
        checked_->Draw(canvas, x, y, index, enabled);
    else if (selected && hot_)
        hot_->Draw(canvas, x, y, index, enabled);
    else
        Draw(canvas, x, y, index, enabled);
}

void TTBCustomImageList::Notification(TComponent* component, TOperation operation)
{
    TCustomImageList::Notification(component, operation);
    if (operation != TOperation::opRemove || !component)
        return;
    // The list is going: its links are dropped by the list itself.
    if (component == checked_)
        checked_ = nullptr;
    if (component == disabled_)
        disabled_ = nullptr;
    if (component == hot_)
        hot_ = nullptr;
}
