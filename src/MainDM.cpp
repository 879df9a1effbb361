#include "MainDM.h"

#include "Classes/Lang.h"
#include "net/HttpProt.h"
#include "platform/Application.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/ShortCut.h"

// The link actions' pages.

namespace {

TAction* MakeAction(TMainDM* dm, TActionList* list, const char* name, int tag, TShortCut shortCut)
{
    auto* a = new TAction(dm);
    a->SetName(name);
    a->SetActionList(list);
    a->Tag = tag;
    a->SetShortCut(shortCut);
    return a;
}

}  // namespace

TMainDM::TMainDM(TComponent* owner, TMainDMHost host)
    : TComponent(owner), Host(std::move(host)), SiteURL(kSiteURL)
{
    SetName("MainDM");
    serviceCommandRunning_ = false;

    httpCli_ = std::make_shared<THttpCli>(nullptr);
    httpCli_->SetName("HttpCli1");
    httpCli_->LocalAddr = "0.0.0.0";
    httpCli_->ProxyPort = "80";
    httpCli_->Agent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; Brenix;)";
    httpCli_->Accept = "text/html, image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    httpCli_->AcceptLanguage = "en";

    ActionList1 = new TActionList(this);
    ActionList1->SetName("ActionList1");

    ServiceAction = MakeAction(this, ActionList1, "ServiceAction", 0, 0);
    StopFAHServiceAction = MakeAction(this, ActionList1, "StopFAHServiceAction", 102, ShortCut(VK_F2, 0));
    RestartFAHServiceAction = MakeAction(this, ActionList1, "RestartFAHServiceAction", 101, ShortCut(VK_F3, 0));
    StartupTypeAction = MakeAction(this, ActionList1, "StartupTypeAction", 0, 0);
    StartupTypeAutomaticAction = MakeAction(this, ActionList1, "StartupTypeAutomaticAction", 1, 0);
    StartupTypeManualAction = MakeAction(this, ActionList1, "StartupTypeManualAction", 2, 0);
    StartupTypeDisabledAction = MakeAction(this, ActionList1, "StartupTypeDisabledAction", 3, 0);
    UpdateFahBaseAction = MakeAction(this, ActionList1, "UpdateFahBaseAction", 0, ShortCut(VK_F6, 0));
    CheckForUpdateAction = MakeAction(this, ActionList1, "CheckForUpdateAction", 0, ShortCut(VK_F7, 0));

    auto update = [this](TObject* s) { RestartFAHServiceActionUpdate(s); };
    auto control = [this](TObject* s) { RestartFAHServiceActionExecute(s); };
    auto startType = [this](TObject* s) { StartupTypeAutomaticActionExecute(s); };
    for (TAction* a : {StopFAHServiceAction, RestartFAHServiceAction, StartupTypeAutomaticAction,
                       StartupTypeManualAction, StartupTypeDisabledAction})
        a->OnUpdate = update;
    StopFAHServiceAction->SetOnExecute(control);
    RestartFAHServiceAction->SetOnExecute(control);
    StartupTypeAutomaticAction->SetOnExecute(startType);
    StartupTypeManualAction->SetOnExecute(startType);
    StartupTypeDisabledAction->SetOnExecute(startType);
    UpdateFahBaseAction->SetOnExecute([this](TObject* s) { UpdateFahBaseActionExecute(s); });
    CheckForUpdateAction->SetOnExecute([this](TObject* s) { CheckForUpdateActionExecute(s); });

    CreateActions();
}

TMainDM::~TMainDM()
{
    // A handler waiting for its download holds the client too: ending the
    // request lets it return; it sees this module gone and leaves at once.
    if (httpCli_->State() != httpReady)
        httpCli_->Abort();
}

void TMainDM::Status(int width, const std::string& text)
{
    statusError_ = nullptr;
    shownReasons_.clear();
    if (Host.SetStatusPanel)
        Host.SetStatusPanel(width, text);
}

void TMainDM::StatusError(std::function<std::string()> text)
{
    const std::string shown = text ? text() : std::string();
    if (Host.SetStatusError) {
        Host.SetStatusError(shown);
        statusError_ = std::move(text);
    } else {
        Status(-1, shown);
    }
}

std::string TMainDM::ComputerOf(const std::string& path) const
{
    return Host.ComputerOfPath ? Host.ComputerOfPath(path) : std::string();
}

bool TMainDM::SelectedClient(TClientService& client) const
{
    return Host.SelectedClient && Host.SelectedClient(client);
}

int AppInfoBox(const std::string& text, UINT buttons)
{
    // Owned by the window the user works in: when the box closes, that
    // window is active again and its keys work at once.
    return AppMessageBox(sInformation, text, buttons | MB_ICONINFORMATION);
}
