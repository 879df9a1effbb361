// Settings page: the project database (update when needed, update now and
// when it was last updated) and the proxy for downloads.
#pragma once
#include <functional>
#include <string>

#include "Frame/SetPage.h"

class TButton;
class TCheckBox;
class TCustomAction;
class TEdit;

class TSetUpFrame : public TSetPageFrame {
public:
    explicit TSetUpFrame(TComponent* owner);

    TCheckBox* UpdateWhenNeedCheckBox;
    TButton* Button1;
    TLabel* Label5;
    TCheckBox* UseProxyCheckBox;
    TLabel* ServerLabel;
    TEdit* ProxyNameEdit;
    TLabel* PortLabel;
    TEdit* ProxyPortEdit;
    TLabel* LoginLabel;
    TEdit* ProxyUserEdit;
    TLabel* PassLabel;
    TEdit* ProxyPassEdit;
    TLabel* OpenPasWarningLabel;
    // Run by Button1 (update the project database); nullptr: it does nothing.
    TCustomAction* UpdateFahBaseAction = nullptr;
    // Run by Button1 instead when set: the update through the proxy the page
    // shows; returns the error it met (empty when none), shown in Label5.
    std::function<std::string()> UpdateThroughShownProxy;

    void ApplyLanguage() override;
    TWinControl* Refusal(std::string& text) const override;
    // Label5: when the project summary was last downloaded.
    void ShowUpdatedIn();

protected:
    void LoadControls() override;
    void UpdateControls() override;

private:
    // Button1: the database update through the proxy shown.
    void UpdateNow();
    TEdit* NewEdit(const char* name, int x, int y, int width, const std::string& key);
};
