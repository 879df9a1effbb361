#include "Frame/SetInLogFr.h"

#include <algorithm>

#include "Classes/Lang.h"
#include "Frame/SetInFr.h"
#include "controls/ComboEdits.h"
#include "platform/ColorDialog.h"
#include "platform/Shape.h"
#include "platform/StdCtrls.h"
#include "platform/TextFit.h"

namespace {

const char* const kColorKeys[4] = {"inColorOk", "inColorInfo", "inColorError", "inColorOther"};

}  // namespace

TSetInLogFrame::TSetInLogFrame(TComponent* owner) : TSetPageFrame(owner)
{
    SetName("SetInLogFrame");
    ColorLogCheckBox = NewCheckBox("ColorLogCheckBox", this, 8, 8, 360, "inColorLog");
    ColorGroupBox = new TGroupBox(this);
    ColorGroupBox->SetName("ColorGroupBox");
    ColorGroupBox->SetBounds(8, 32, 370, 150);
    ColorGroupBox->SetParent(this);
    ColorDialog = new TColorDialog(this);
    ColorDialog->Options = cdFullOpen;

    const char* shapeNames[4] = {"OkShape", "InfoShape", "ErrorShape", "OtherShape"};
    const char* labelNames[4] = {"OKLabel", "InfoLabel", "ErrorLabel", "OtherLabel"};
    TLabel* labels[4];
    for (int i = 0; i < 4; ++i) {
        auto* shape = new TShape(this);
        shape->SetName(shapeNames[i]);
        shape->SetBounds(12, 22 + i * 28, 40, 22);
        shape->SetParent(ColorGroupBox);
        const char* key = kColorKeys[i];
        shape->OnMouseDown = [this, shape, key](TObject*, TMouseButton button, TShiftState, int, int) {
            if (button == TMouseButton::mbLeft && shape->Enabled())
                PickColor(shape, key);
        };
        shapes_[i] = shape;
        labels[i] = NewLabel(labelNames[i], ColorGroupBox, 60, 26 + i * 28);
    }
    OkShape = shapes_[0];
    InfoShape = shapes_[1];
    ErrorShape = shapes_[2];
    OtherShape = shapes_[3];
    OKLabel = labels[0];
    InfoLabel = labels[1];
    ErrorLabel = labels[2];
    OtherLabel = labels[3];

    DefaultButton = new TButton(this);
    DefaultButton->SetName("DefaultButton");
    DefaultButton->SetBounds(250, 116, 110, 25);
    DefaultButton->SetParent(ColorGroupBox);
    DefaultButton->OnClick = [this](TObject*) {
        for (int i = 0; i < 4; ++i) {
            TAppVal& v = Value(kColorKeys[i]);
            Edit(kColorKeys[i], v.DefaultValue);
            shapes_[i]->SetBrushColor(static_cast<COLORREF>(v.EditedInteger()));
        }
    };
    BgLabel = NewLabel("BgLabel", this, 8, 192);
    BkFilenameEdit = NewPictureEdit(this, this, 8, 210, 360, "inBkLog");
    BgLabel->SetFocusControl(BkFilenameEdit);
    ApplyLanguage();
}

void TSetInLogFrame::PickColor(TShape* shape, const char* key)
{
    ColorDialog->Color = shape->BrushColor();
    if (!ColorDialog->Execute(HandleAllocated() ? GetAncestor(Handle(), GA_ROOT) : nullptr))
        return;
    shape->SetBrushColor(ColorDialog->Color);
    Edit(key, static_cast<int>(ColorDialog->Color));
}

void TSetInLogFrame::LoadControls()
{
    for (int i = 0; i < 4; ++i)
        shapes_[i]->SetBrushColor(static_cast<COLORREF>(Value(kColorKeys[i]).EditedInteger()));
    BkFilenameEdit->SetText(Value("inBkLog").EditedString());
}

void TSetInLogFrame::UpdateControls()
{
    bool on = ColorLogCheckBox->Checked();
    ColorGroupBox->SetEnabled(on);
    for (TShape* s : shapes_)
        s->SetEnabled(on);
    for (TLabel* l : {OKLabel, InfoLabel, ErrorLabel, OtherLabel})
        l->SetEnabled(on);
    DefaultButton->SetEnabled(on);
}

void TSetInLogFrame::ApplyLanguage()
{
    ColorLogCheckBox->SetCaption(sColorLogCB_Caption);
    ColorGroupBox->SetCaption(sColorsInLogGB_Caption);
    OKLabel->SetCaption(sPositiveL_Caprion);
    InfoLabel->SetCaption(sInformationL_Caption);
    ErrorLabel->SetCaption(sErrorL_Caption);
    OtherLabel->SetCaption(sOtherL_Caption);
    DefaultButton->SetCaption(sByDefaultB_Caption);
    BgLabel->SetCaption(sBackgroundPicL_Caption);
    PictureEditLanguage(BkFilenameEdit);
    FitCheckBoxes();
    // The button stays right of the colour names however long they get.
    int namesRight = 0;
    for (TLabel* l : {OKLabel, InfoLabel, ErrorLabel, OtherLabel})
        namesRight = std::max(namesRight, l->Left() + l->Width());
    DefaultButton->SetWidth(ButtonWidth(*DefaultButton, 110));
    DefaultButton->SetLeft(std::max(250, namesRight + 16));
    ColorGroupBox->SetWidth(std::max(370, GroupBoxWidth(*ColorGroupBox)));
}
