#include "Frame/SetEvFr.h"

#include <algorithm>

#include "Classes/Lang.h"
#include "platform/ComboBox.h"
#include "platform/Exceptions.h"
#include "platform/SpinEdit.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"
#include "platform/TextFit.h"

TSetEvFrame::TSetEvFrame(TComponent* owner) : TSetPageFrame(owner)
{
    SetName("SetEvFrame");
    AutoUpdateCheckBox = NewCheckBox("AutoUpdateCheckBox", this, 8, 8, 360, "evAutoUpdate");
    Label1 = NewLabel("Label1", this, 26, 36);
    IntervalSpinEdit = new TSpinEdit(this);
    IntervalSpinEdit->SetName("IntervalSpinEdit");
    IntervalSpinEdit->SetBounds(190, 32, 55, 21);
    IntervalSpinEdit->SetRange(30, 600);
    IntervalSpinEdit->SetIncrement(10);
    IntervalSpinEdit->SetMaxLength(3);
    IntervalSpinEdit->SetParent(this);
    // Only a number in the box's range is taken; OK refuses any other
    // text (Refusal).
    IntervalSpinEdit->OnChange = [this](TObject*) {
        int seconds = 0;
        if (TextToIntIn(IntervalSpinEdit->Text(), IntervalSpinEdit->MinValue(), IntervalSpinEdit->MaxValue(),
                        seconds))
            Edit("evAutoUpdateInterval", seconds);
    };
    Label1->SetFocusControl(IntervalSpinEdit->Edit());
    Label2 = NewLabel("Label2", this, 252, 36);

    GroupBox1 = new TGroupBox(this);
    GroupBox1->SetName("GroupBox1");
    GroupBox1->SetBounds(8, 66, 370, 150);
    GroupBox1->SetParent(this);
    EvComboBox = new TComboBox(this);
    EvComboBox->SetName("EvComboBox");
    EvComboBox->SetBounds(10, 24, 250, 21);
    EvComboBox->SetParent(GroupBox1);
    EvComboBox->SetItems({"", "", ""});
    EvComboBox->SetItemIndex(0);
    EvComboBox->OnChange = [this](TObject*) { LoadEventBoxes(); };

    auto eventBox = [this](const char* name, int y, const char* what) {
        TCheckBox* box = NewCheckBox(name, GroupBox1, 10, y, 340, "");
        box->OnClick = [this, box, what](TObject*) {
            if (!loadingEvent_)
                Edit(EventKey(what), box->Checked());
        };
        return box;
    };
    FlashCheckBox = eventBox("FlashCheckBox", 56, "FlashIcon");
    HintCheckBox = eventBox("HintCheckBox", 80, "BalloonTips");
    Label3 = NewLabel("Label3", GroupBox1, 28, 98);
    EvLofCheckBox = eventBox("EvLofCheckBox", 120, "SysLogMsg");
    ApplyLanguage();
}

std::string TSetEvFrame::EventKey(const char* what) const
{
    static const char* const kEvents[] = {"Start", "Stop", "Result"};
    int index = EvComboBox->ItemIndex();
    if (index < 0 || index > 2)
        AssertFailed(Format("Unknown event type (index %d)", index), "SetEvFr", 122);
    return std::string("evFe") + kEvents[index] + what;
}

void TSetEvFrame::LoadEventBoxes()
{
    loadingEvent_ = true;
    try {
        FlashCheckBox->SetChecked(Value(EventKey("FlashIcon")).EditedBoolean());
        HintCheckBox->SetChecked(Value(EventKey("BalloonTips")).EditedBoolean());
        EvLofCheckBox->SetChecked(Value(EventKey("SysLogMsg")).EditedBoolean());
    } catch (...) {
        loadingEvent_ = false;
        throw;
    }
    loadingEvent_ = false;
}

void TSetEvFrame::LoadControls()
{
    IntervalSpinEdit->SetValue(Value("evAutoUpdateInterval").EditedInteger());
    LoadEventBoxes();
}

void TSetEvFrame::UpdateControls()
{
    bool on = AutoUpdateCheckBox->Checked();
    IntervalSpinEdit->SetEnabled(on);
    Label1->SetEnabled(on);
    Label2->SetEnabled(on);
}

void TSetEvFrame::ApplyLanguage()
{
    AutoUpdateCheckBox->SetCaption(sAutoUpdateCB_Caption);
    Label1->SetCaption(sUpdateIntervalL_Caption);
    Label2->SetCaption(sSecL_Caption);
    GroupBox1->SetCaption(sEventsResponseGB_Caption);
    FlashCheckBox->SetCaption(sFlashIconCB_Caption);
    HintCheckBox->SetCaption(sHintExCB_Caption);
    Label3->SetCaption(sXPOnlyL_Caption);
    EvLofCheckBox->SetCaption(sEventLogCB_Caption);
    EvComboBox->SetItems({sClientStarted, sClientStopped, sResultOccurred});   // keeps the selection
    // The interval and its unit follow the label's text; the group holds
    // its boxes and the longest event name.
    FitCheckBoxes();
    PlaceRightOf(*IntervalSpinEdit, *Label1, 6);
    PlaceRightOf(*Label2, *IntervalSpinEdit, 7);
    int comboWidth = 250;
    for (const std::string* name : {&sClientStarted, &sClientStopped, &sResultOccurred})
        comboWidth = std::max(comboWidth, TextWidth(EvComboBox->Font(), *name, false) + 30);
    EvComboBox->SetWidth(comboWidth);
    GroupBox1->SetWidth(std::max(370, GroupBoxWidth(*GroupBox1)));
}

TWinControl* TSetEvFrame::Refusal(std::string& text) const
{
    const int lo = IntervalSpinEdit->MinValue(), hi = IntervalSpinEdit->MaxValue();
    int seconds = 0;
    if (TextToIntIn(IntervalSpinEdit->Text(), lo, hi, seconds))
        return nullptr;
    text = RangeRefusal(sUpdateIntervalL_Caption, lo, hi);
    return IntervalSpinEdit->Edit();
}
