// Drawing on a device context with a font, a brush colour and a pen colour.
// Brushes and pens are made, selected and freed inside each call. The font
// and its colour, once a text call selected them, stay in the DC (code
// drawing on Handle() relies on it) until the canvas lets the DC go: its
// destructor or SetHandle puts the DC's own font and text colour back, so a
// canvas on the stack leaves the DC as it found it even when an exception
// passes. A font changed meanwhile is taken out of the DC before it is freed.
#pragma once
#include <windows.h>

#include <string>

#include "platform/GdiGuards.h"
#include "platform/Graphics.h"

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
    COLORREF BrushColor() const { return brushColor_; }
    void SetBrushColor(COLORREF c) { brushColor_ = c; }
    COLORREF PenColor() const { return penColor_; }
    void SetPenColor(COLORREF c) { penColor_ = c; }

    void FillRect(const RECT& r);
    void FrameRect(const RECT& r);
    void Rectangle(const RECT& r);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    // Text with a transparent background, in the font's colour.
    void PutText(int x, int y, const std::string& text);
    // Text inside a rectangle with DrawText flags (DT_...).
    void TextRect(const RECT& r, const std::string& text, UINT flags);
    SIZE TextExtent(const std::string& text);
    int TextWidth(const std::string& text) { return TextExtent(text).cx; }
    int TextHeight(const std::string& text) { return TextExtent(text).cy; }
    void Draw(int x, int y, const TIcon& icon);
    void Draw(int x, int y, TBitmap& bitmap);
    COLORREF Pixel(int x, int y) const { return GetPixel(dc_, x, y); }

private:
    // Selects the font (kept in the DC) and sets its colour.
    void UseFont();
    // Puts the DC's own font back; with the colour too when the DC is let go.
    void ReleaseFont(bool textColor);
    HDC dc_ = nullptr;
    TFont font_;
    TSelection fontSelection_;
    HFONT selectedFont_ = nullptr;
    COLORREF oldTextColor_ = CLR_INVALID;
    COLORREF brushColor_ = GetSysColor(COLOR_WINDOW);
    COLORREF penColor_ = RGB(0, 0, 0);
};
