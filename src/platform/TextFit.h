// Sizes taken from the measured text of captions, in the control's own
// font, so that a caption fits whatever the language: the forms lay their
// controls out from these instead of fixed widths.
#pragma once
#include <windows.h>

#include <string>

class TControl;
class TFont;
class TGroupBox;
class TRadioGroup;
class TWinControl;

// Glyphs may be drawn a pixel or two past the advance the font reports
// (the last digit of "1.5.0.0" under some renderers): measured widths get
// this much room on top.
constexpr int kTextSlack = 2;

// The width of one line of text in the font, "&" marks taken as
// accelerators when prefixes is set; kTextSlack included (0 for no text).
int TextWidth(TFont& font, const std::string& text, bool prefixes = true);

// Measures many texts in one font on one screen DC, taken when the first
// text is measured and given back with the object.
class TTextMeasure {
public:
    explicit TTextMeasure(TFont& font) : font_(font) {}
    ~TTextMeasure();
    TTextMeasure(const TTextMeasure&) = delete;
    TTextMeasure& operator=(const TTextMeasure&) = delete;
    // As TextWidth.
    int Width(const std::string& text, bool prefixes = true);
    // The width a single line of text takes when drawn (no prefixes): the
    // glyphs are drawn and the drawn pixels looked at, for a line mixing
    // scripts may be drawn several pixels wider than the font's measure
    // of it (Cyrillic with digits under Wine). kTextSlack included.
    int DrawnWidth(const std::string& text);

private:
    TFont& font_;
    HDC dc_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
};

// The width a check box or radio button needs for its box and its caption.
int CheckBoxWidth(TControl& box);
// The width a push button needs for its caption, at least minimum.
int ButtonWidth(TControl& button, int minimum);
// The width a group box needs for its caption and for every child inside
// it (the children keep their places).
int GroupBoxWidth(TGroupBox& group);
// The width a radio group needs for its caption and its longest item.
int RadioGroupWidth(TRadioGroup& group);
// The right edge of the rightmost visible child of parent, 0 with none.
int ContentRight(const TWinControl& parent);
// Puts control right of left, gap pixels after it.
void PlaceRightOf(TControl& control, const TControl& left, int gap);
