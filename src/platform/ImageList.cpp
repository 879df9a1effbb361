#include "platform/ImageList.h"

#include "platform/Canvas.h"
#include "platform/GdiGuards.h"

TCustomImageList::TCustomImageList(TComponent* owner, int width, int height)
    : TComponent(owner), width_(width), height_(height)
{
}

TCustomImageList::~TCustomImageList()
{
    if (list_)
        ImageList_Destroy(list_);
}

HIMAGELIST TCustomImageList::Handle()
{
    if (!list_)
        list_ = ImageList_Create(width_, height_, ILC_COLOR32 | ILC_MASK, 4, 4);
    return list_;
}

void TCustomImageList::SetSize(int width, int height)
{
    if (width == width_ && height == height_)
        return;
    if (list_)
        ImageList_Destroy(list_);
    list_ = nullptr;
    width_ = width;
    height_ = height;
    Changed();
}

int TCustomImageList::Count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }

void TCustomImageList::Changed()
{
    if (OnChange)
        OnChange(this);
}

int TCustomImageList::AddIcon(HICON icon)
{
    if (!icon || !Handle())
        return -1;
    int i = ImageList_AddIcon(list_, icon);
    if (i >= 0)
        Changed();
    return i;
}

int TCustomImageList::Add(TBitmap& image, TBitmap* mask)
{
    if (image.Empty() || !Handle())
        return -1;
    // ImageList_Add needs bitmaps not selected into a device context.
    TBitmap copy;
    copy.SetSize(width_, height_);
    BitBlt(copy.Canvas().Handle(), 0, 0, width_, height_, image.Canvas().Handle(), 0, 0, SRCCOPY);
    TGdiObject<HBITMAP> maskCopy;
    if (mask && !mask->Empty()) {
        maskCopy.Reset(CreateBitmap(width_, height_, 1, 1, nullptr));
        TMemoryDC dc;
        TSelection selected(dc.Handle(), maskCopy.Get());
        if (dc.Handle())
            BitBlt(dc.Handle(), 0, 0, width_, height_, mask->Canvas().Handle(), 0, 0, SRCCOPY);
    }
    // Hand over a bitmap that is not selected anywhere.
    TGdiObject<HBITMAP> plain(static_cast<HBITMAP>(CopyImage(copy.Handle(), IMAGE_BITMAP, 0, 0, 0)));
    int i = ImageList_Add(list_, plain.Get(), maskCopy.Get());
    if (i >= 0)
        Changed();
    return i;
}

void TCustomImageList::Delete(int index)
{
    if (list_ && index >= 0 && index < Count() && ImageList_Remove(list_, index))
        Changed();
}

void TCustomImageList::Clear()
{
    if (list_ && Count() > 0) {
        ImageList_RemoveAll(list_);
        Changed();
    }
}

bool TCustomImageList::GetIcon(int index, TIcon& icon)
{
    if (!list_ || index < 0 || index >= Count())
        return false;
    HICON h = ImageList_GetIcon(list_, index, ILD_NORMAL);
    if (!h)
        return false;
    icon.SetHandle(h);
    return true;
}

void TCustomImageList::Draw(TCanvas& canvas, int x, int y, int index)
{
    if (list_ && index >= 0 && index < Count())
        ImageList_Draw(list_, index, canvas.Handle(), x, y, ILD_NORMAL);
}
