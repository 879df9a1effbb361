#include "Frame/SetInMainFr.h"

#include <algorithm>

#include "Classes/Lang.h"
#include "Frame/SetInFr.h"
#include "controls/ComboEdits.h"
#include "platform/Actions.h"
#include "platform/StdCtrls.h"
#include "platform/TextFit.h"

TSetInMainFrame::TSetInMainFrame(TComponent* owner) : TSetPageFrame(owner)
{
    SetName("SetInMainFrame");
    ByCompCheckBox = NewCheckBox("ByCompCheckBox", this, 8, 8, 360, "inGroupByComp");
    HiIfErrorInLogCheckBox = NewCheckBox("HiIfErrorInLogCheckBox", this, 8, 32, 360, "inHighlightIfErrorInLog");
    VertLineCheckBox = NewCheckBox("VertLineCheckBox", this, 8, 56, 360, "inShowVertGridLines");
    HorzLineCheckBox = NewCheckBox("HorzLineCheckBox", this, 8, 80, 360, "inShowHorzGridLines");
    Label1 = NewLabel("Label1", this, 8, 110);
    BkFilenameEdit = NewPictureEdit(this, this, 8, 128, 360, "inBkMainInfo");
    Label1->SetFocusControl(BkFilenameEdit);
    MainColButton = new TButton(this);
    MainColButton->SetName("MainColButton");
    MainColButton->SetBounds(8, 164, 160, 25);
    MainColButton->SetParent(this);
    MainColButton->OnClick = [this](TObject*) {
        if (FahColAction)
            FahColAction->Execute();
    };
    ApplyLanguage();
}

void TSetInMainFrame::LoadControls()
{
    BkFilenameEdit->SetText(Value("inBkMainInfo").EditedString());
}

void TSetInMainFrame::ApplyLanguage()
{
    ByCompCheckBox->SetCaption(sGroupByCompCB_Caption);
    HiIfErrorInLogCheckBox->SetCaption(sHighlightIfErrorCB_Caption);
    Label1->SetCaption(sBackgroundPicL_Caption);
    VertLineCheckBox->SetCaption(sShowVertGridLinesCB_Caption);
    HorzLineCheckBox->SetCaption(sShowHorzGridLinesCB_Caption);
    MainColButton->SetCaption(sFahColAction_Caption);
    PictureEditLanguage(BkFilenameEdit);
    FitCheckBoxes();
    MainColButton->SetWidth(ButtonWidth(*MainColButton, 160));
}
