// A list of same-sized images (with masks) over a common-controls image list.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "platform/Component.h"
#include "platform/Graphics.h"

class TCanvas;

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
    void Draw(TCanvas& canvas, int x, int y, int index);

    TNotifyEvent OnChange;

private:
    void Changed();
    HIMAGELIST list_ = nullptr;
    int width_, height_;
};

using TImageList = TCustomImageList;
