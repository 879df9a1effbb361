// A group box holding one radio button per item, laid out in one column:
// the user picks exactly one. ItemIndex is the picked item (-1: none);
// OnClick is raised when it changes, by the user or in code (as a check
// box's is).
#pragma once
#include <string>
#include <vector>

#include "platform/StdCtrls.h"

// One radio button (system BUTTON class, BS_RADIOBUTTON: its group sets the check).
class TRadioButton : public TWinControl {
public:
    explicit TRadioButton(TComponent* owner);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    bool DialogChar(wchar_t ch, TShiftState shift) override;
    // The arrows move to the next (Down, Right) or previous (Up, Left)
    // radio button beside it that can take the focus, round the end, and
    // check it, as in a dialog.
    void KeyDown(WORD& key, TShiftState shift) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    bool CommandNotify(WORD code) override;

private:
    bool checked_ = false;
};

class TRadioGroup : public TGroupBox {
public:
    explicit TRadioGroup(TComponent* owner);

    int Count() const { return static_cast<int>(buttons_.size()); }
    // Replaces the items (texts changed in place keep the picked item).
    void SetItems(const std::vector<std::string>& items);
    TRadioButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);

    void SetEnabled(bool enabled) override;

protected:
    void BoundsChanged() override;

private:
    void Pick(int index);
    void ArrangeButtons();
    std::vector<TRadioButton*> buttons_;
    int itemIndex_ = -1;
};
