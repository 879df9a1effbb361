// Drawing on a device context with a font, a brush and a pen.
//
// GDI objects are made once and kept: solid brushes and pens in small caches
// keyed by colour (and style and width for pens), the font until it changes.
// What a call selected (font, pen, brush) stays selected in the DC, so code
// drawing on Handle() sees the canvas's objects, until the canvas lets the DC
// go: its destructor or SetHandle puts back the DC's own font, pen, brush,
// text colour, background mode and colour, and the clipping it found, so a
// canvas on the stack leaves the DC as it found it even when an exception
// passes. A font changed meanwhile is taken out of the DC before it is freed.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/GdiGuards.h"
#include "platform/Graphics.h"

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TBrushStyle { bsSolid, bsClear };

class TCanvas {
public:
    TCanvas();
    explicit TCanvas(HDC dc);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    HDC Handle() const { return dc_; }
    void SetHandle(HDC dc);

    TFont& Font() { return font_; }

    // The brush: a solid colour, or clear (shapes are not filled, text is
    // drawn without background). A pattern brush of the caller's may stand
    // in for the solid one (not owned; nullptr goes back to the colour).
    COLORREF BrushColor() const { return brushColor_; }
    void SetBrushColor(COLORREF c) { brushColor_ = c; }
    TBrushStyle BrushStyle() const { return brushStyle_; }
    void SetBrushStyle(TBrushStyle s) { brushStyle_ = s; }
    void SetPatternBrush(HBRUSH pattern) { pattern_ = pattern; }
    // The brush fills use now (cached; owned by the canvas unless a pattern).
    HBRUSH BrushHandle();
    // Where the brush pattern starts, in device pixels.
    void SetBrushOrigin(int x, int y);

    COLORREF PenColor() const { return penColor_; }
    void SetPenColor(COLORREF c) { penColor_ = c; }
    TPenStyle PenStyle() const { return penStyle_; }
    void SetPenStyle(TPenStyle s) { penStyle_ = s; }
    int PenWidth() const { return penWidth_; }
    void SetPenWidth(int w) { penWidth_ = w < 1 ? 1 : w; }
    // The pen lines use now (cached, owned by the canvas; nullptr for psClear).
    HPEN PenHandle();

    // Text background: TRANSPARENT (the default) or OPAQUE (filled with the
    // brush colour) for TextAt, TextOutEx and FormatText.
    int BackgroundMode() const { return bkMode_; }
    void SetBackgroundMode(int mode) { bkMode_ = mode == OPAQUE ? OPAQUE : TRANSPARENT; }

    void FillRect(const RECT& r);
    void FrameRect(const RECT& r);
    // Outlined with the pen, filled with the brush (not with a clear brush).
    void Rectangle(const RECT& r);
    void RoundRect(const RECT& r, int cornerWidth, int cornerHeight);
    void Polygon(const POINT* points, int count);
    void Polyline(const POINT* points, int count);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    // The dotted focus frame (drawn by inverting: a second call removes it),
    // with the text colour white and the background black meanwhile.
    void DrawFocusRect(const RECT& r);

    // Clipping to a rectangle (logical coordinates), on top of the clipping
    // the DC had when the canvas took it; ResetClip goes back to that.
    void SetClipRect(const RECT& r);
    void ResetClip();
    bool Clipped() const { return clipSaved_; }

    // Text with a transparent background, in the font's colour.
    void PutText(int x, int y, const std::string& text);
    // Text inside a rectangle with DrawText flags (DT_...), transparent.
    void TextRect(const RECT& r, const std::string& text, UINT flags);
    // Text in the background mode (OPAQUE: the brush colour behind it).
    void TextAt(int x, int y, std::wstring_view text);
    // ExtTextOut: options ETO_OPAQUE (r filled with the brush colour) and
    // ETO_CLIPPED (text cut at r); r may be nullptr without options.
    void TextOutEx(int x, int y, UINT options, const RECT* r, std::wstring_view text);
    // DrawText in the background mode; r receives the DT_CALCRECT result.
    // Returns the text height. A single line without prefixes, ellipses or
    // tabs is placed here and drawn with ExtTextOut (clipped to r unless
    // DT_NOCLIP), which costs half of DrawText.
    int FormatText(RECT& r, std::wstring_view text, UINT flags);
    SIZE TextExtent(const std::string& text);
    // The last text measured is remembered with its font: measuring it
    // again (or drawing it with FormatText) does not ask GDI again.
    SIZE TextExtent(std::wstring_view text);
    int TextWidth(const std::string& text) { return TextExtent(text).cx; }
    // The selected font's metrics, asked of GDI once per font.
    const TEXTMETRICW& TextMetrics();
    // The height GetTextExtentPoint32 gives in the current font (any text).
    int ExtentHeight();
    // At least the width of a text of printable ASCII in the current font,
    // from its character widths (asked once per font); -1 for other text.
    int AsciiTextWidth(std::string_view text);
    int TextHeight(const std::string& text) { return TextExtent(text).cy; }

    void Draw(int x, int y, const TIcon& icon);
    // A transparent bitmap (TBitmap::Transparent) leaves its transparent
    // colour out.
    void Draw(int x, int y, TBitmap& bitmap);
    // Copies (stretching when the sizes differ) a rectangle of another canvas.
    void CopyRect(const RECT& dest, TCanvas& source, const RECT& sourceRect, DWORD rop = SRCCOPY);
    COLORREF Pixel(int x, int y) const { return GetPixel(dc_, x, y); }

    // GDI objects this canvas made (fonts excluded): tests watch the caches.
    int MadeObjects() const { return made_; }

private:
    // Selects the font (kept in the DC) and sets its colour.
    void UseFont();
    void UsePen();
    void UseBrush();
    // Applies the background mode (and colour) for one text call.
    void UseTextBackground();
    // Puts the DC's own font back; with the colour too when the DC is let go.
    void ReleaseFont(bool textColor);
    void ReleaseDC();

    struct TBrushEntry {
        COLORREF color = CLR_INVALID;
        HBRUSH brush = nullptr;
    };
    struct TPenEntry {
        COLORREF color = CLR_INVALID;
        TPenStyle style = psSolid;
        int width = 0;
        HPEN pen = nullptr;
    };
    static constexpr int kBrushSlots = 8;
    static constexpr int kPenSlots = 4;

    HDC dc_ = nullptr;
    TFont font_;
    TSelection fontSelection_;
    HFONT selectedFont_ = nullptr;
    COLORREF oldTextColor_ = CLR_INVALID;
    COLORREF lastTextColor_ = CLR_INVALID;

    COLORREF brushColor_ = GetSysColor(COLOR_WINDOW);
    TBrushStyle brushStyle_ = bsSolid;
    HBRUSH pattern_ = nullptr;
    TBrushEntry brushes_[kBrushSlots];
    int nextBrush_ = 0;
    TSelection brushSelection_;
    HBRUSH selectedBrush_ = nullptr;
    bool brushOriginSet_ = false;
    POINT oldBrushOrigin_{};

    COLORREF penColor_ = RGB(0, 0, 0);
    TPenStyle penStyle_ = psSolid;
    int penWidth_ = 1;
    TPenEntry pens_[kPenSlots];
    int nextPen_ = 0;
    TSelection penSelection_;
    HPEN selectedPen_ = nullptr;

    int bkMode_ = TRANSPARENT;
    int oldBkMode_ = 0;
    COLORREF oldBkColor_ = CLR_INVALID;
    COLORREF lastBkColor_ = CLR_INVALID;
    int lastBkMode_ = 0;

    std::wstring extentText_;
    HFONT extentFont_ = nullptr;
    SIZE extent_{0, 0};

    HFONT metricsFont_ = nullptr;
    TEXTMETRICW metrics_{};

    HFONT heightFont_ = nullptr;
    int extentHeight_ = 0;

    // Character widths of the two fonts used last (a list's plain and bold).
    struct TAsciiWidths {
        HFONT font = nullptr;
        int widths[95] = {};
        int overhang = 0;
    };
    TAsciiWidths ascii_[2];
    int asciiLast_ = 0;

    bool clipSaved_ = false;
    HRGN savedClip_ = nullptr;   // the DC's own clipping (nullptr: none)
    int made_ = 0;
};
