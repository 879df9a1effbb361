#include "Frame/SetInFr.h"

#include <algorithm>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "controls/ComboEdits.h"
#include "platform/RadioGroup.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"
#include "platform/TextFit.h"

TSetInFrame::TSetInFrame(TComponent* owner) : TSetPageFrame(owner)
{
    SetName("SetInFrame");
    TBCaptionRadioGroup = new TRadioGroup(this);
    TBCaptionRadioGroup->SetName("TBCaptionRadioGroup");
    TBCaptionRadioGroup->SetBounds(8, 8, 200, 84);
    TBCaptionRadioGroup->SetParent(this);
    TBCaptionRadioGroup->SetItems({"", "", ""});
    TBCaptionRadioGroup->OnClick = [this](TObject*) {
        Edit("inTBTypeCaption", TBCaptionRadioGroup->ItemIndex());
    };
    HideTBCheckBox = NewCheckBox("HideTBCheckBox", this, 8, 100, 360, "inHideTB");
    ShowAllLogWindowsCheckBox = NewCheckBox("ShowAllLogWindowsCheckBox", this, 8, 124, 360, "inShowAllLogWindows");
    HideStatusGroupBox = new TGroupBox(this);
    HideStatusGroupBox->SetName("HideStatusGroupBox");
    HideStatusGroupBox->SetBounds(8, 150, 370, 92);
    HideStatusGroupBox->SetParent(this);
    NotAccessCheckBox = NewCheckBox("NotAccessCheckBox", HideStatusGroupBox, 10, 22, 340, "inHideStatusNotAccess");
    NotFoundCheckBox = NewCheckBox("NotFoundCheckBox", HideStatusGroupBox, 10, 44, 340, "inHideStatusNotFound");
    ShutdownCheckBox = NewCheckBox("ShutdownCheckBox", HideStatusGroupBox, 10, 66, 340, "inHideStatusShutdown");
    ShowFahPrevCheckBox = NewCheckBox("ShowFahPrevCheckBox", this, 8, 250, 360, "inShowFahPrev");
    ApplyLanguage();
}

void TSetInFrame::LoadControls()
{
    TBCaptionRadioGroup->SetItemIndex(Value("inTBTypeCaption").EditedInteger());
}

void TSetInFrame::UpdateControls()
{
    TBCaptionRadioGroup->SetEnabled(!HideTBCheckBox->Checked());
}

void TSetInFrame::ApplyLanguage()
{
    ShowAllLogWindowsCheckBox->SetCaption(sShowAllLogWndsCB_Caption);
    HideTBCheckBox->SetCaption(sHideToolbarCB_Caption);
    TBCaptionRadioGroup->SetCaption(sToolbarCaptionsRG_Caption);
    TBCaptionRadioGroup->SetItems({sBottom, sRight, sOff});
    HideStatusGroupBox->SetCaption(sHideStatusGB_Caption);
    NotAccessCheckBox->SetCaption(sNotAccess);
    NotFoundCheckBox->SetCaption(sLogNotFound);
    ShutdownCheckBox->SetCaption(sShutdown);
    ShowFahPrevCheckBox->SetCaption(sShowFahPrevCB_Caption);
    FitCheckBoxes();
    TBCaptionRadioGroup->SetWidth(std::max(200, RadioGroupWidth(*TBCaptionRadioGroup)));
    HideStatusGroupBox->SetWidth(std::max(370, GroupBoxWidth(*HideStatusGroupBox)));
}

TFilenameEdit* NewPictureEdit(TSetPageFrame* page, TWinControl* parent, int x, int y, int width,
                              const std::string& key)
{
    auto* edit = new TFilenameEdit(page);
    edit->SetName("BkFilenameEdit");
    edit->SetBounds(x, y, width, 21);
    edit->SetDefaultExt("bmp");
    edit->SetParent(parent);
    PictureEditLanguage(edit);
    edit->OnChange = [edit, key](TObject*) {
        if (auto* p = dynamic_cast<TSetPageFrame*>(edit->Owner()); p && !p->Loading())
            GetFahSettings().FindValue(key).SetEdited(edit->FileName());   // the path itself, never quoted
    };
    return edit;
}

void PictureEditLanguage(TFilenameEdit* edit)
{
    edit->SetFilter(Format("%s (*.bmp)|*.bmp", sPictures.c_str()));
}
