#include "Frame/SetOsFr.h"

#include <algorithm>

#include "Classes/FahUtils.h"
#include "Classes/Lang.h"
#include "platform/DateTime.h"
#include "platform/RadioGroup.h"
#include "platform/SpinEdit.h"
#include "platform/TextFit.h"

TSetOsFrame::TSetOsFrame(TComponent* owner) : TSetPageFrame(owner)
{
    SetName("SetOsFrame");
    AutoRunCheckBox = NewCheckBox("AutoRunCheckBox", this, 8, 8, 360, "osAutoRun");
    MinCheckBox = NewCheckBox("MinCheckBox", this, 8, 32, 360, "osMinimizeToTray");
    CloseAsMinCheckBox = NewCheckBox("CloseAsMinCheckBox", this, 8, 56, 360, "osCloseAsMinimize");
    CheckForUpdateCheckBox = NewCheckBox("CheckForUpdateCheckBox", this, 8, 84, 220, "osCheckForUpdate");

    IntervalSpinEdit = new TSpinEdit(this);
    IntervalSpinEdit->SetName("IntervalSpinEdit");
    IntervalSpinEdit->SetBounds(232, 82, 45, 21);
    IntervalSpinEdit->SetRange(1, 99);
    IntervalSpinEdit->SetIncrement(5);
    IntervalSpinEdit->SetMaxLength(2);
    IntervalSpinEdit->SetParent(this);
    IntervalSpinEdit->OnChange = [this](TObject*) { IntervalChanged(); };
    DayLabel = NewLabel("DayLabel", this, 284, 86);

    CpuAffinityCheckBox = NewCheckBox("CpuAffinityCheckBox", this, 8, 116, 360, "osCpuAffinity");
    AffinitySortOrderRadioGroup = new TRadioGroup(this);
    AffinitySortOrderRadioGroup->SetName("AffinitySortOrderRadioGroup");
    AffinitySortOrderRadioGroup->SetBounds(26, 138, 300, 66);
    AffinitySortOrderRadioGroup->SetParent(this);
    AffinitySortOrderRadioGroup->SetItems({"", ""});
    AffinitySortOrderRadioGroup->OnClick = [this](TObject*) {
        Edit("osCpuAffinitySortOrder", AffinitySortOrderRadioGroup->ItemIndex());
    };
    CpuUsageCheckBox = NewCheckBox("CpuUsageCheckBox", this, 8, 214, 360, "osCpuUsageIndicator");
    ApplyLanguage();
}

void TSetOsFrame::IntervalChanged()
{
    if (Loading())
        return;
    // Only a number in the box's range is taken; OK refuses any other
    // text (Refusal).
    int days = 0;
    if (!TextToIntIn(IntervalSpinEdit->Text(), IntervalSpinEdit->MinValue(), IntervalSpinEdit->MaxValue(), days))
        return;
    TAppVal& interval = Value("osUpdateInterval");
    TAppVal& next = Value("osNextCheck");
    interval.SetEdited(days);
    // The next check moves with a new interval only; back at the stored
    // interval it is the stored date again.
    if (interval.Changed())
        next.SetEdited(static_cast<double>(Now()) + days);
    else
        next.Revert();
}

TWinControl* TSetOsFrame::Refusal(std::string& text) const
{
    const int lo = IntervalSpinEdit->MinValue(), hi = IntervalSpinEdit->MaxValue();
    int days = 0;
    if (TextToIntIn(IntervalSpinEdit->Text(), lo, hi, days))
        return nullptr;
    text = RangeRefusal(sCheckForUpdateEvery, lo, hi);
    return IntervalSpinEdit->Edit();
}

void TSetOsFrame::LoadControls()
{
    IntervalSpinEdit->SetValue(Value("osUpdateInterval").EditedInteger());
    AffinitySortOrderRadioGroup->SetItemIndex(Value("osCpuAffinitySortOrder").EditedInteger());
    if (!IsWin2000OrLater()) {
        // Neither works before Windows 2000.
        CpuAffinityCheckBox->SetChecked(false);
        CpuUsageCheckBox->SetChecked(false);
        Value("osCpuAffinity").SetEdited(false);
        Value("osCpuUsageIndicator").SetEdited(false);
    }
}

void TSetOsFrame::UpdateControls()
{
    IntervalSpinEdit->SetEnabled(CheckForUpdateCheckBox->Checked());
    DayLabel->SetEnabled(CheckForUpdateCheckBox->Checked());
    AffinitySortOrderRadioGroup->SetEnabled(CpuAffinityCheckBox->Checked() && IsWin2000OrLater());
    CpuAffinityCheckBox->SetEnabled(IsWin2000OrLater());
    CpuUsageCheckBox->SetEnabled(IsWin2000OrLater());
}

void TSetOsFrame::ApplyLanguage()
{
    AutoRunCheckBox->SetCaption(sAutoRunCB_Caption);
    MinCheckBox->SetCaption(sMinCB_Caption);
    CloseAsMinCheckBox->SetCaption(sCloseAsMinCB_Caption);
    CheckForUpdateCheckBox->SetCaption(sCheckForUpdateEvery);
    DayLabel->SetCaption(sDays);
    CpuAffinityCheckBox->SetCaption(sCpuAffinityCB_Caption);
    CpuUsageCheckBox->SetCaption(sCpuUsageCB_Caption);
    AffinitySortOrderRadioGroup->SetCaption(sAffinitySortOrderRG_Caption);
    AffinitySortOrderRadioGroup->SetItems({sByMemory, sByCPUTime});
    // The interval and its unit follow the check box's text.
    FitCheckBoxes();
    PlaceRightOf(*IntervalSpinEdit, *CheckForUpdateCheckBox, 4);
    PlaceRightOf(*DayLabel, *IntervalSpinEdit, 7);
    AffinitySortOrderRadioGroup->SetWidth(std::max(300, RadioGroupWidth(*AffinitySortOrderRadioGroup)));
}
