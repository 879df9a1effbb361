// Settings page: the interface (toolbar, detail windows, which inactive
// rows the filter hides), and the picture edit the interface pages share.
#pragma once
#include <string>

#include "Frame/SetPage.h"

class TCheckBox;
class TFilenameEdit;
class TGroupBox;
class TRadioGroup;
class TWinControl;

class TSetInFrame : public TSetPageFrame {
public:
    explicit TSetInFrame(TComponent* owner);

    TRadioGroup* TBCaptionRadioGroup;
    TCheckBox* HideTBCheckBox;
    TCheckBox* ShowAllLogWindowsCheckBox;
    TGroupBox* HideStatusGroupBox;
    TCheckBox* NotAccessCheckBox;
    TCheckBox* NotFoundCheckBox;
    TCheckBox* ShutdownCheckBox;
    TCheckBox* ShowFahPrevCheckBox;

    void ApplyLanguage() override;

protected:
    void LoadControls() override;
    void UpdateControls() override;
};

// A background-picture file edit (bitmaps) at x, y in parent on a settings
// page, editing the string setting key as typed or chosen.
TFilenameEdit* NewPictureEdit(TSetPageFrame* page, TWinControl* parent, int x, int y, int width,
                              const std::string& key);
// Its filter in the current language.
void PictureEditLanguage(TFilenameEdit* edit);
