// Button glyphs: the pictures of speed buttons and edit buttons, kept in
// shared image lists of one size each, laid out with the caption and drawn
// for each button state (a disabled image is made when the glyph has none).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Alignment.h"
#include "platform/Graphics.h"

// Where the glyph sits against the caption.
enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
// The images side by side in a glyph bitmap, in this order.
enum class TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// The colour of a glyph's transparent pixels.
constexpr COLORREF clFuchsia = RGB(255, 0, 255);

// An image list of one glyph size whose slots are reused: adding takes the
// first free slot (growing the list when none is free), deleting frees one.
class TGlyphList {
public:
    TGlyphList(int width, int height);
    ~TGlyphList();
    TGlyphList(const TGlyphList&) = delete;
    TGlyphList& operator=(const TGlyphList&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    HIMAGELIST Handle() const { return list_; }
    // Adds an image of this size; maskColor pixels are transparent. The slot
    // index, or -1 when the image list refused it.
    int AddMasked(HBITMAP image, COLORREF maskColor);
    void Delete(int index);
    // Slots in use.
    int Count() const { return count_; }
    // Lists handed out by the cache (the cache frees an unused, empty list).
    int UseCount = 0;

private:
    HIMAGELIST list_ = nullptr;
    int width_, height_;
    std::vector<bool> used_;
    int count_ = 0;
};

// The process's glyph lists, one per size.
class TGlyphCache {
public:
    TGlyphCache() = default;
    ~TGlyphCache();
    TGlyphCache(const TGlyphCache&) = delete;
    TGlyphCache& operator=(const TGlyphCache&) = delete;

    // The list of that size (searched from the newest), made when missing;
    // its UseCount goes up.
    TGlyphList* GetList(int width, int height);
    // Gives a list back; an unused list without images is freed.
    void ReturnList(TGlyphList* list);
    bool Empty() const { return lists_.empty(); }
    int ListCount() const { return static_cast<int>(lists_.size()); }

private:
    std::vector<TGlyphList*> lists_;
};

// The cache of the process while any button glyph exists (nullptr otherwise).
TGlyphCache* GlyphCache();

// One button's glyph: a bitmap of NumGlyphs images side by side (up,
// disabled, down, exclusive), turned into image-list slots on first draw.
class TRxButtonGlyph {
public:
    TRxButtonGlyph();
    ~TRxButtonGlyph();
    TRxButtonGlyph(const TRxButtonGlyph&) = delete;
    TRxButtonGlyph& operator=(const TRxButtonGlyph&) = delete;

    // The picture; changing it (through SetGlyph or the bitmap) redraws.
    TBitmap& Glyph() { return glyph_; }
    void SetGlyph(const TBitmap& glyph) { glyph_.Assign(glyph); }
    int NumGlyphs() const { return numGlyphs_; }
    // 1 to 4; other values are clamped.
    void SetNumGlyphs(int value);
    TAlignment Alignment = TAlignment::taCenter;
    bool WordWrap = false;
    COLORREF TransparentColor = clFuchsia;

    // The width and height of one image (0 x 0 without a glyph).
    SIZE GlyphSize() const;
    // The image-list slot of a state (made on first use); -1 without a glyph.
    int StateIndex(TButtonState state);

    // Lays out glyph and caption inside client (Margin -1 centres the pair,
    // Spacing -1 spreads them evenly), offset by offset (a pressed button
    // moves them), and draws both in dc's current font. Returns the caption's
    // rectangle.
    RECT Draw(HDC dc, const RECT& client, POINT offset, const std::string& caption, TButtonLayout layout,
              int margin, int spacing, TButtonState state, bool showAccelChar = true);
    // The layout alone: where the glyph's top left corner and the caption go.
    void CalcLayout(HDC dc, const RECT& client, POINT offset, const std::string& caption, TButtonLayout layout,
                    int margin, int spacing, POINT& glyphPos, RECT& textRect, bool showAccelChar = true);

    // Told after every change of the picture or NumGlyphs.
    std::function<void()> OnChange;

private:
    void Invalidate();
    void DrawCaption(HDC dc, const std::string& caption, RECT rect, TButtonState state, bool showAccelChar);
    UINT TextFlags(bool showAccelChar) const;

    TBitmap glyph_;
    int numGlyphs_ = 1;
    TGlyphList* list_ = nullptr;
    int indexes_[4] = {-1, -1, -1, -1};
};
