// Settings page: the log window (line colouring, the four line colours
// picked with the colour dialog, the background picture).
#pragma once
#include "Frame/SetPage.h"

class TButton;
class TCheckBox;
class TColorDialog;
class TFilenameEdit;
class TGroupBox;
class TShape;

class TSetInLogFrame : public TSetPageFrame {
public:
    explicit TSetInLogFrame(TComponent* owner);

    TCheckBox* ColorLogCheckBox;
    TGroupBox* ColorGroupBox;
    TShape* OkShape;
    TShape* InfoShape;
    TShape* ErrorShape;
    TShape* OtherShape;
    TLabel* OKLabel;
    TLabel* InfoLabel;
    TLabel* ErrorLabel;
    TLabel* OtherLabel;
    TButton* DefaultButton;
    TLabel* BgLabel;
    TFilenameEdit* BkFilenameEdit;
    TColorDialog* ColorDialog;

    void ApplyLanguage() override;

protected:
    void LoadControls() override;
    void UpdateControls() override;

private:
    // The colour dialog (full) with the shape's colour; OK sets the shape and the key.
    void PickColor(TShape* shape, const char* key);
    TShape* shapes_[4];
};
