// A windowless speed button: glyph and caption, flat styles, a group of
// exclusive buttons, a drop-down menu and auto-repeat while held. The combo
// edits' button (TEditButton) is one of these.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "controls/ButtonGlyph.h"
#include "platform/Control.h"

class TPopupMenu;
class TSimpleTimer;

enum class TDropDownMenuPos { dmpBottom, dmpRight };
enum class TButtonStyle { bsAutoDetect, bsWin31, bsNew };

class TRxSpeedButton : public TGraphicControl {
public:
    explicit TRxSpeedButton(TComponent* owner);
    ~TRxSpeedButton() override;

    TAlignment Alignment() const { return glyph_.Alignment; }
    void SetAlignment(TAlignment value);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value);
    // Clicks again and again while held (first after InitPause, then every
    // RepeatInterval milliseconds).
    bool AllowTimer() const { return allowTimer_; }
    void SetAllowTimer(bool value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value);
    bool Down() const { return down_; }
    // In a group (GroupIndex > 0) the other buttons of the group go up.
    void SetDown(bool value);
    TPopupMenu* DropDownMenu() const { return dropDownMenu_; }
    void SetDropDownMenu(TPopupMenu* menu);
    TDropDownMenuPos MenuPosition() const { return menuPosition_; }
    void SetMenuPosition(TDropDownMenuPos value) { menuPosition_ = value; }
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    bool FlatStandard() const { return flatStandard_; }
    void SetFlatStandard(bool value);
    TBitmap& Glyph() { return glyph_.Glyph(); }
    void SetGlyph(const TBitmap& glyph) { glyph_.SetGlyph(glyph); }
    bool GrayedInactive() const { return grayedInactive_; }
    void SetGrayedInactive(bool value);
    DWORD InitPause() const { return initPause_; }
    void SetInitPause(DWORD value) { initPause_ = value; }
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout value);
    int Margin() const { return margin_; }
    void SetMargin(int value);
    bool MarkDropDown() const { return markDropDown_; }
    void SetMarkDropDown(bool value);
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int value) { modalResult_ = value; }
    int NumGlyphs() const { return glyph_.NumGlyphs(); }
    void SetNumGlyphs(int value) { glyph_.SetNumGlyphs(value); }
    DWORD RepeatInterval() const { return repeatInterval_; }
    void SetRepeatInterval(DWORD value) { repeatInterval_ = value; }
    int Spacing() const { return spacing_; }
    void SetSpacing(int value);
    TButtonStyle Style() const { return style_; }
    void SetStyle(TButtonStyle value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    bool WordWrap() const { return glyph_.WordWrap; }
    void SetWordWrap(bool value);
    // The hint text (shown by whoever shows hints).
    virtual std::string Hint() const { return hint_; }
    void SetHint(const std::string& hint) { hint_ = hint; }

    // The button's look now.
    TButtonState State() const { return state_; }
    bool MouseInControl() const { return mouseInControl_; }
    TRxButtonGlyph& ButtonGlyph() { return glyph_; }

    void Paint(TCanvas& canvas) override;
    void Click() override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void SetEnabled(bool enabled) override;
    // Makes the button go up when it was pressed (a popup took the mouse).
    void ButtonUp();

protected:
    void CaptionChanged() override { Invalidate(); }
    void FontChanged() override { Invalidate(); }
    void Notification(TComponent* component, TOperation operation) override;
    // Draws the face (frame and background) into rect; the content goes inside.
    virtual void PaintFrame(HDC dc, RECT& rect, bool pressed);
    // New-style controls (Style bsNew, or bsAutoDetect on this system).
    bool NewStyle() const { return style_ != TButtonStyle::bsWin31; }
    // True while the left button holds the button pressed.
    bool Dragging() const { return dragging_; }
    // Opens the drop-down menu at its corner; true when there is one.
    bool ShowDropDown();
    void SetMouseInControl(bool inside);
    void CheckMouseState();

private:
    void UpdateExclusive();
    void TimerTick();
    void StopTimer();
    void RemovePendingClicks();

    TRxButtonGlyph glyph_;
    bool allowAllUp_ = false;
    bool allowTimer_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    TPopupMenu* dropDownMenu_ = nullptr;
    TDropDownMenuPos menuPosition_ = TDropDownMenuPos::dmpBottom;
    bool flat_ = false;
    bool flatStandard_ = false;
    bool grayedInactive_ = true;
    DWORD initPause_ = 500;
    TButtonLayout layout_ = TButtonLayout::blGlyphTop;
    int margin_ = -1;
    bool markDropDown_ = true;
    int modalResult_ = 0;
    DWORD repeatInterval_ = 100;
    int spacing_ = 1;
    TButtonStyle style_ = TButtonStyle::bsAutoDetect;
    bool transparent_ = false;
    std::string hint_;

    TButtonState state_ = TButtonState::bsUp;
    bool mouseInControl_ = false;
    bool dragging_ = false;
    bool inPress_ = false;
    // The release of a press that opened the menu or repeated is no click.
    bool swallowClick_ = false;
    std::unique_ptr<TSimpleTimer> repeatTimer_;
};
