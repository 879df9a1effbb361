// Settings page: the background picture of the parameter view.
#pragma once
#include "Frame/SetPage.h"

class TFilenameEdit;

class TSetInAddFrame : public TSetPageFrame {
public:
    explicit TSetInAddFrame(TComponent* owner);

    TLabel* BgLabel;
    TFilenameEdit* BkFilenameEdit;

    void ApplyLanguage() override;

protected:
    void LoadControls() override;
};
