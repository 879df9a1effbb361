#include "controls/ActionImages.h"

#include "platform/Graphics.h"
#include "platform/ImageList.h"

int AddActionImages(TCustomImageList& list)
{
    TBitmap strip;
    if (!strip.LoadFromResourceName("ACTIONIMAGES") || strip.Width() != aiCount * list.Width() ||
        strip.Height() != list.Height())
        return -1;
    return list.AddMasked(strip, RGB(255, 0, 255));
}
