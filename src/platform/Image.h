// A windowless picture on a form: an icon, or a bitmap (a decoded JPEG
// picture, say). It shows whichever was set last, at its top left corner;
// an icon is drawn at the control's size.
#pragma once
#include <string_view>

#include "platform/Control.h"
#include "platform/Graphics.h"

struct TJpegImage;

class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* owner);

    // Shows a copy of the icon (the handle stays with its owner).
    void SetIcon(HICON icon);
    // Shows a copy of the bitmap.
    void SetBitmap(const TBitmap& bitmap);
    bool ShowsIcon() const { return !icon_.Empty(); }
    bool ShowsBitmap() const { return !bitmap_.Empty(); }
    const TIcon& Icon() const { return icon_; }
    TBitmap& Bitmap() { return bitmap_; }

    void Paint(TCanvas& canvas) override;

private:
    TIcon icon_;
    TBitmap bitmap_;
};

// The decoded picture as a bitmap of its size.
void JpegToBitmap(const TJpegImage& jpeg, TBitmap& bitmap);
// Decodes JPEG data into the bitmap; throws Exception on damaged data.
void LoadJpegBitmap(std::string_view data, TBitmap& bitmap);
