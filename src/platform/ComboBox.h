// A drop-down list (the system's combo box with CBS_DROPDOWNLIST): the user
// picks one of its lines. OnChange is raised when the user picks another
// line; setting ItemIndex in code raises nothing.
#pragma once
#include <string>
#include <vector>

#include "platform/Control.h"

class TComboBox : public TWinControl {
public:
    explicit TComboBox(TComponent* owner);

    int Count() const { return static_cast<int>(items_.size()); }
    const std::vector<std::string>& Items() const { return items_; }
    // Replaces the lines; the selected index is kept when it still exists.
    void SetItems(const std::vector<std::string>& items);
    // The selected line, -1 for none.
    int ItemIndex() const;
    void SetItemIndex(int index);
    // Lines shown at once in the open list.
    void SetDropDownCount(int count);
    bool DroppedDown() const;

    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    bool CommandNotify(WORD code) override;
    void BoundsChanged() override;

private:
    void FillWindow();
    std::vector<std::string> items_;
    int itemIndex_ = -1;
    int dropDownCount_ = 8;
};
