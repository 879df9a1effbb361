// Settings page: system options (autorun, tray, version check, CPU affinity
// and the CPU-usage icon).
#pragma once
#include "Frame/SetPage.h"

class TCheckBox;
class TSpinEdit;
class TRadioGroup;

class TSetOsFrame : public TSetPageFrame {
public:
    explicit TSetOsFrame(TComponent* owner);

    TCheckBox* AutoRunCheckBox;
    TCheckBox* MinCheckBox;
    TCheckBox* CloseAsMinCheckBox;
    TCheckBox* CheckForUpdateCheckBox;
    TSpinEdit* IntervalSpinEdit;
    TLabel* DayLabel;
    TCheckBox* CpuAffinityCheckBox;
    TRadioGroup* AffinitySortOrderRadioGroup;
    TCheckBox* CpuUsageCheckBox;

    void ApplyLanguage() override;
    TWinControl* Refusal(std::string& text) const override;

protected:
    void LoadControls() override;
    void UpdateControls() override;

private:
    void IntervalChanged();
};
