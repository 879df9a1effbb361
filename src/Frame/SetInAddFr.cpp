#include "Frame/SetInAddFr.h"

#include "Classes/Lang.h"
#include "Frame/SetInFr.h"
#include "controls/ComboEdits.h"

TSetInAddFrame::TSetInAddFrame(TComponent* owner) : TSetPageFrame(owner)
{
    SetName("SetInAddFrame");
    BgLabel = NewLabel("BgLabel", this, 8, 8);
    BkFilenameEdit = NewPictureEdit(this, this, 8, 26, 360, "inBkAddInfo");
    BgLabel->SetFocusControl(BkFilenameEdit);
    ApplyLanguage();
}

void TSetInAddFrame::LoadControls()
{
    BkFilenameEdit->SetText(Value("inBkAddInfo").EditedString());
}

void TSetInAddFrame::ApplyLanguage()
{
    BgLabel->SetCaption(sBackgroundPicL_Caption);
    PictureEditLanguage(BkFilenameEdit);
}
