// A list of same-sized images (with masks) over a common-controls image list.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "platform/Component.h"
#include "platform/Graphics.h"

#include <vector>

class TCanvas;
class TCustomImageList;

// Tells whoever holds it that an image list changed (images added, removed,
// resized). Register it with the list; it unregisters itself when freed.
// ImageWidth and ImageHeight hold the list's image size as last seen: set
// on registering, refreshed by the holder when it has handled a change.
class TChangeLink {
public:
    TChangeLink() = default;
    virtual ~TChangeLink();
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;

    // The list this link is registered with (nullptr when none).
    TCustomImageList* Sender() const { return sender_; }
    // Raised with the list as sender.
    TNotifyEvent OnChange;
    int ImageWidth = 0;
    int ImageHeight = 0;
    // The list changed; the default raises OnChange.
    virtual void Change();

private:
    friend class TCustomImageList;
    TCustomImageList* sender_ = nullptr;
};

class TCustomImageList : public TComponent {
public:
    TCustomImageList(TComponent* owner, int width = 16, int height = 16);
    ~TCustomImageList() override;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Changing the size clears the list.
    void SetSize(int width, int height);
    int Count() const;
    HIMAGELIST Handle();

    // Each returns the new image's index, -1 on failure.
    int AddIcon(HICON icon);
    int AddIcon(const TIcon& icon) { return AddIcon(icon.Handle()); }
    int Add(TBitmap& image, TBitmap* mask = nullptr);
    void Delete(int index);
    void Clear();
    // Copies image `index` into the icon (which notifies its user). False when
    // there is no such image.
    bool GetIcon(int index, TIcon& icon);
    // Draws an image; a disabled one greyed: its dark pixels embossed in
    // the button highlight and shadow colours, the rest left out.
    void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true);
    // Drawing styles: the image over what is there (dsTransparent), blended
    // half and half with a colour (dsSelected; CLR_DEFAULT: the highlight
    // colour), a quarter blended (dsFocus), or on the list's background
    // colour (dsNormal). An overlay, another image of this list (-1 none),
    // is drawn over the image through the list's overlay slot 1; a disabled
    // image is greyed and gets no overlay.
    enum TDrawingStyle { dsNormal, dsTransparent, dsSelected, dsFocus };
    void DrawEx(TCanvas& canvas, int x, int y, int index, TDrawingStyle style, bool enabled = true,
                int overlay = -1, COLORREF blendColor = CLR_DEFAULT);
    // Adds the images cut from a strip as wide as a number of images; the
    // mask colour is transparent. Returns the first new index, -1 on failure.
    int AddMasked(TBitmap& strip, COLORREF maskColor);

    // Change links, told of every change after OnChange.
    void RegisterChanges(TChangeLink* link);
    void UnRegisterChanges(TChangeLink* link);

    TNotifyEvent OnChange;

protected:
    // The drawing every Draw ends in (style: ILD_ flags).
    virtual void DoDraw(int index, TCanvas& canvas, int x, int y, UINT style, bool enabled);
    // Raises OnChange and tells the change links.
    void Changed();

private:
    std::vector<TChangeLink*> links_;
    HIMAGELIST list_ = nullptr;
    int width_, height_;
};

using TImageList = TCustomImageList;
