// A label that can draw its text with a shadow and tells when the mouse
// enters and leaves it. The program's link labels are these with ShadowSize
// 0, a hand cursor and handlers that open a page (SetupLinkLabel).
#pragma once
#include <windows.h>

#include <string>

#include "platform/Alignment.h"
#include "platform/Control.h"

enum class TShadowPosition { spLeftTop, spLeftBottom, spRightBottom, spRightTop };

// Draws text (DrawText flags) in dc's current colour inside rect, after a
// copy of it in shadowColor offset by shadowSize towards pos (none when
// shadowSize is 0). rect becomes the union of both; the result is DrawText's
// height plus the shadow size. With DT_CALCRECT only measures.
int DrawShadowText(HDC dc, const std::wstring& text, TShadowPosition pos, COLORREF shadowColor, int shadowSize,
                   UINT flags, RECT& rect);

class TRxCustomLabel : public TGraphicControl {
public:
    explicit TRxCustomLabel(TComponent* owner);
    ~TRxCustomLabel() override;

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* control);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout value);
    COLORREF ShadowColor() const { return shadowColor_; }
    void SetShadowColor(COLORREF value);
    int ShadowSize() const { return shadowSize_; }
    // 0 to 255.
    void SetShadowSize(int value);
    TShadowPosition ShadowPos() const { return shadowPos_; }
    void SetShadowPos(TShadowPosition value);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool value);
    bool ShowFocus() const { return showFocus_; }
    void SetShowFocus(bool value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    // Blank space kept inside the left and right edges.
    int LeftMargin() const { return leftMargin_; }
    int RightMargin() const { return rightMargin_; }
    void SetMargins(int left, int right);

    // True between the mouse's entering (while this program is active) and leaving.
    bool MouseInControl() const { return mouseInControl_; }
    // Set while the label is being dragged: leaving then raises nothing.
    void SetDragging(bool dragging) { dragging_ = dragging; }

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    bool DialogChar(wchar_t ch, TShiftState shift) override;
    void SetEnabled(bool enabled) override;
    // Resizes to the text now (AutoSize does it on every change).
    void AdjustBounds();

protected:
    void CaptionChanged() override;
    void FontChanged() override;
    void Notification(TComponent* component, TOperation operation) override;
    // The text drawn: the caption, or one blank when it is empty.
    std::wstring LabelText() const;
    UINT DrawFlags() const;

private:
    // Draws (or with DT_CALCRECT measures) the text into rect.
    void DoDrawText(HDC dc, RECT& rect, UINT flags);
    void CheckMouseState();
    void SetMouseInControl(bool inside);
    // Repaints when FocusControl gains or loses the focus (for ShowFocus).
    void WatchFocusControl();
    void UnwatchFocusControl();

    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool autoSize_ = true;
    TWinControl* focusControl_ = nullptr;
    TTextLayout layout_ = TTextLayout::tlTop;
    COLORREF shadowColor_ = GetSysColor(COLOR_BTNHIGHLIGHT);
    int shadowSize_ = 1;
    TShadowPosition shadowPos_ = TShadowPosition::spLeftTop;
    bool showAccelChar_ = true;
    bool showFocus_ = false;
    bool transparent_ = false;
    bool wordWrap_ = false;
    bool mouseInControl_ = false;
    bool dragging_ = false;
    int leftMargin_ = 0;
    int rightMargin_ = 0;
    HWND watched_ = nullptr;
    int watchId_ = 0;
};

class TRxLabel : public TRxCustomLabel {
public:
    explicit TRxLabel(TComponent* owner) : TRxCustomLabel(owner) {}
};

// Opens an address (a web page, "mailto:") with the shell's "open" verb.
// False when the shell could not.
bool OpenAddress(const std::string& address);

// Makes a link label: no shadow, the hand cursor, a click opens address,
// and the text is underlined while the mouse is over it.
void SetupLinkLabel(TRxLabel& label, const std::string& address);
