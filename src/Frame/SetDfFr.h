// Settings page: the user name and team the statistics links show, and a
// link to the community team.
#pragma once
#include "Common/SiteAddresses.h"
#include "Frame/SetPage.h"

class TEdit;
class TRxLabel;

class TSetDfFrame : public TSetPageFrame {
public:
    explicit TSetDfFrame(TComponent* owner);

    TLabel* Label3;
    TLabel* Label1;
    TEdit* UserNameEdit;
    TLabel* Label2;
    TEdit* TeamIDEdit;
    TRxLabel* RxLabel1;
    TLabel* Label5;

    void ApplyLanguage() override;
    TWinControl* Refusal(std::string& text) const override;

protected:
    void LoadControls() override;
};
