// Settings page: events and automation (the list's auto refresh and, per
// event, the tray flash, the balloon tip and the event-log record).
#pragma once
#include <string>

#include "Frame/SetPage.h"

class TCheckBox;
class TComboBox;
class TGroupBox;
class TSpinEdit;

class TSetEvFrame : public TSetPageFrame {
public:
    explicit TSetEvFrame(TComponent* owner);

    TCheckBox* AutoUpdateCheckBox;
    TLabel* Label1;
    TSpinEdit* IntervalSpinEdit;
    TLabel* Label2;
    TGroupBox* GroupBox1;
    // Which event the three boxes below show: 0 start, 1 stop, 2 result.
    TComboBox* EvComboBox;
    TCheckBox* FlashCheckBox;
    TCheckBox* HintCheckBox;
    TLabel* Label3;
    TCheckBox* EvLofCheckBox;

    void ApplyLanguage() override;
    TWinControl* Refusal(std::string& text) const override;

    // The setting of the selected event for one box ("FlashIcon",
    // "BalloonTips", "SysLogMsg"). An index outside 0..2 is a programming error.
    std::string EventKey(const char* what) const;

protected:
    void LoadControls() override;
    void UpdateControls() override;

private:
    // Shows the selected event's three settings; writes nothing.
    void LoadEventBoxes();
    bool loadingEvent_ = false;
};
