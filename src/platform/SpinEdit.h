// A number box: an edit that takes digits only, with up and down arrows at
// its right edge (the system's up-down control). The arrows, the Up and Down
// keys and the mouse wheel step the value by Increment within MinValue ..
// MaxValue. OnChange is raised whenever the text changes, by the user or in
// code.
#pragma once
#include <string>

#include "platform/Control.h"

class TEdit;

class TSpinEdit : public TWinControl {
public:
    explicit TSpinEdit(TComponent* owner);

    int MinValue() const { return minValue_; }
    int MaxValue() const { return maxValue_; }
    void SetRange(int minValue, int maxValue);
    int Increment() const { return increment_; }
    void SetIncrement(int increment);
    // Characters the box takes (0: no limit).
    void SetMaxLength(int length);

    // The text as a number within the range: a text that is no number (or
    // empty) gives MinValue; a number outside the range the nearest end.
    int Value() const;
    void SetValue(int value);
    std::string Text() const;

    TEdit* Edit() const { return edit_; }
    // The arrows' window (nullptr until made).
    HWND UpDown() const { return upDown_; }

    TNotifyEvent OnChange;

    void SetEnabled(bool enabled) override;
    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void DestroyWnd() override;
    void BoundsChanged() override;

private:
    void Layout();
    TEdit* edit_;
    HWND upDown_ = nullptr;
    int minValue_ = 0;
    int maxValue_ = 100;
    int increment_ = 1;
    int maxLength_ = 0;
};
