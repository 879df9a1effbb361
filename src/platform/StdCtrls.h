// The plain controls: panel, label (windowless), one-line edit, push button,
// check box and group box.
#pragma once
#include "platform/Control.h"

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TWinControl {
public:
    explicit TPanel(TComponent* owner);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut bevel);

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint(TCanvas& canvas) override;

private:
    TBevelCut bevelOuter_ = TBevelCut::bvRaised;
};

// A caption drawn by its parent; it has no window. With ShowAccelChar the
// letter after "&" is underlined, and Alt+that letter focuses FocusControl.
// With WordWrap the text breaks into lines at the label's width, and
// AutoSize sets only the height.
class TLabel : public TGraphicControl {
public:
    explicit TLabel(TComponent* owner);
    ~TLabel() override;
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wordWrap);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool show);
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* control);
    void Paint(TCanvas& canvas) override;
    bool DialogChar(wchar_t ch, TShiftState shift) override;

protected:
    void CaptionChanged() override;
    void FontChanged() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void AdjustSize();
    UINT TextFlags() const;
    bool autoSize_ = true;
    bool transparent_ = true;
    bool wordWrap_ = false;
    bool showAccelChar_ = true;
    TWinControl* focusControl_ = nullptr;
};

class TEdit : public TWinControl {
public:
    explicit TEdit(TComponent* owner);
    std::string Text() const { return Caption(); }
    void SetText(const std::string& text) { SetCaption(text); }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& params) override;
    bool CommandNotify(WORD code) override;

private:
    bool readOnly_ = false;
};

// A push button (system BUTTON class). Enter on the form presses the
// Default button unless another button has the focus; Esc presses the
// Cancel button; Alt+its "&" letter presses it too. A click first sets the
// form's ModalResult to the button's, when that is not mrNone.
class TButton : public TWinControl {
public:
    explicit TButton(TComponent* owner);
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    void Click() override;
    bool DialogKey(WORD key, TShiftState shift) override;
    bool DialogChar(wchar_t ch, TShiftState shift) override;

protected:
    void CreateParams(TCreateParams& params) override;
    bool CommandNotify(WORD code) override;

private:
    bool default_ = false;
    bool cancel_ = false;
    int modalResult_ = 0;
};

// A two-state check box (system BUTTON class). Changing Checked, by the user
// or in code, raises OnClick.
class TCheckBox : public TWinControl {
public:
    explicit TCheckBox(TComponent* owner);
    bool Checked() const;
    void SetChecked(bool checked);
    bool DialogChar(wchar_t ch, TShiftState shift) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    bool CommandNotify(WORD code) override;

private:
    bool checked_ = false;
};

// A frame with a caption around other controls; it paints itself (etched
// frame, caption at the top left over the frame line).
class TGroupBox : public TWinControl {
public:
    explicit TGroupBox(TComponent* owner);
    // The caption's band at the top is not part of the area aligned children fill.
    RECT ClientRect() const override;

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint(TCanvas& canvas) override;
    void CaptionChanged() override;
};
