// GDI objects as small owning classes: fonts, icons, bitmaps. Each can tell
// its user when it changed (OnChange), which the tray icon and controls use.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/GdiGuards.h"

class TCanvas;

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

class TFont {
public:
    TFont();
    ~TFont();
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;
    void Assign(const TFont& other);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name);
    // Size in points; Height in pixels (negative: character height).
    int Size() const;
    void SetSize(int points);
    int Height() const { return height_; }
    void SetHeight(int pixels);
    unsigned Style() const { return style_; }
    void SetStyle(unsigned style);
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF color);

    // The GDI font, made on first use and kept until the font changes. The
    // one before the last change is kept too: a list that makes one cell
    // bold and the next one plain again switches between two fonts it made
    // once.
    HFONT Handle();

    std::function<void()> OnChange;
    // Called just before the GDI font is freed (a change, or the end): a DC
    // that holds it selected takes it out first.
    std::function<void()> BeforeHandleFree;

private:
    struct TShape {
        std::string name;
        int height = 0;
        unsigned style = 0;
        bool operator==(const TShape&) const = default;
    };
    TShape Shape() const { return TShape{name_, height_, style_}; }
    void Changed();
    void FreeHandle();
    void FreeSpare();
    void FreeFont(HFONT& font);
    std::string name_ = "MS Shell Dlg";
    int height_ = -11;
    unsigned style_ = 0;
    COLORREF color_ = RGB(0, 0, 0);
    HFONT handle_ = nullptr;
    TShape handleShape_;
    HFONT spare_ = nullptr;   // the font before the last change
    TShape spareShape_;
};

class TIcon {
public:
    TIcon() = default;
    ~TIcon();
    TIcon(const TIcon&) = delete;
    TIcon& operator=(const TIcon&) = delete;

    // Copies the other icon's picture (a new handle).
    void Assign(const TIcon& other);
    // Takes over an icon handle (it is destroyed with this object).
    void SetHandle(HICON icon);
    // Copies an icon handle that stays with its owner.
    void AssignHandle(HICON icon);
    // Shows an icon handle that stays with its owner, who keeps it alive
    // while this object holds it (it is not destroyed here). The handle
    // already held gives no change notice.
    void ShareHandle(HICON icon);
    // True when the handle held is one given by ShareHandle.
    bool Shared() const { return !owned_; }
    HICON Handle() const { return handle_; }
    bool Empty() const { return handle_ == nullptr; }
    // Gives the handle away (a copy of a shared one); the object becomes
    // empty without a change notice.
    HICON ReleaseHandle();
    // From the program's resources (name such as "MAINICON"); false when absent.
    bool LoadFromResourceName(const std::string& name, int size = 0);
    int Width() const;
    int Height() const;

    // Called after every change of the picture.
    std::function<void()> OnChange;

private:
    void Changed();
    HICON handle_ = nullptr;
    bool owned_ = true;
};

class TBitmap {
public:
    TBitmap();
    ~TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    // A 32-bit picture of the given size (filled with the window colour).
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    HBITMAP Handle() const { return bitmap_.Get(); }
    bool Empty() const { return !bitmap_; }
    // A canvas drawing into the bitmap; valid until the size changes.
    TCanvas& Canvas();
    COLORREF Pixel(int x, int y);
    // Takes over a bitmap handle (freed with this object); nullptr empties it.
    void SetHandle(HBITMAP bitmap);
    // A copy of the other bitmap's picture (empty when it is empty).
    void Assign(const TBitmap& other);
    // From the program's bitmap resources; false (and unchanged) when absent.
    bool LoadFromResourceName(const std::string& name);
    bool LoadFromResourceID(int id);

    // A transparent bitmap is drawn without the pixels of its transparent
    // colour; kAutoTransparentColor (the default) means the colour of the
    // bottom left pixel.
    static constexpr COLORREF kAutoTransparentColor = 0xFF000000;
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    COLORREF TransparentColor();
    void SetTransparentColor(COLORREF value);

    std::function<void()> OnChange;

private:
    void FreeCanvas();
    TGdiObject<HBITMAP> bitmap_;
    int width_ = 0, height_ = 0;
    // The canvas's DC with the bitmap selected; freed canvas first, then the
    // selection, then the DC (FreeCanvas).
    std::unique_ptr<TMemoryDC> dc_;
    TSelection selected_;
    std::unique_ptr<TCanvas> canvas_;
    bool transparent_ = false;
    COLORREF transparentColor_ = kAutoTransparentColor;
};
