// Settings page: the main list (grouping, background picture, error
// highlight, grid lines) and a button to its column dialog.
#pragma once
#include "Frame/SetPage.h"

class TButton;
class TCheckBox;
class TCustomAction;
class TFilenameEdit;

class TSetInMainFrame : public TSetPageFrame {
public:
    explicit TSetInMainFrame(TComponent* owner);

    TCheckBox* ByCompCheckBox;
    TLabel* Label1;
    TFilenameEdit* BkFilenameEdit;
    TCheckBox* HiIfErrorInLogCheckBox;
    TCheckBox* VertLineCheckBox;
    TCheckBox* HorzLineCheckBox;
    TButton* MainColButton;
    // Run by MainColButton (the column dialog); nullptr: the button does nothing.
    TCustomAction* FahColAction = nullptr;

    void ApplyLanguage() override;

protected:
    void LoadControls() override;
};
