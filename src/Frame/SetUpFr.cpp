#include "Frame/SetUpFr.h"

#include <algorithm>

#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "controls/FileUtils.h"
#include "platform/Actions.h"
#include "platform/MessageBox.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"
#include "platform/TextFit.h"

namespace {

constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;

// A local time in the system's short date and long time forms.
std::string SystemDateTimeText(TDateTime dt)
{
    int y, mo, d, h, mi, s, ms;
    DecodeDate(dt, y, mo, d);
    DecodeTime(dt, h, mi, s, ms);
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    wchar_t date[80] = {}, time[80] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 80);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 80);
    return WideToUtf8(date) + " " + WideToUtf8(time);
}

}  // namespace

TSetUpFrame::TSetUpFrame(TComponent* owner) : TSetPageFrame(owner)
{
    SetName("SetUpFrame");
    UpdateWhenNeedCheckBox = NewCheckBox("UpdateWhenNeedCheckBox", this, 8, 8, 360, "upUpdateWhenNeed");
    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetBounds(8, 32, 160, 25);
    Button1->SetParent(this);
    Button1->OnClick = [this](TObject*) { UpdateNow(); };
    Label5 = NewLabel("Label5", this, 8, 64);
    Label5->SetAutoSize(false);
    Label5->SetWordWrap(true);
    Label5->SetBounds(8, 64, 360, 26);

    UseProxyCheckBox = NewCheckBox("UseProxyCheckBox", this, 8, 92, 360, "upUseProxy");
    ServerLabel = NewLabel("ServerLabel", this, 26, 120);
    ProxyNameEdit = NewEdit("ProxyNameEdit", 110, 116, 150, "upProxyName");
    PortLabel = NewLabel("PortLabel", this, 268, 120);
    ProxyPortEdit = NewEdit("ProxyPortEdit", 310, 116, 58, "upProxyPort");
    LoginLabel = NewLabel("LoginLabel", this, 26, 148);
    ProxyUserEdit = NewEdit("ProxyUserEdit", 110, 144, 150, "upProxyUserName");
    PassLabel = NewLabel("PassLabel", this, 26, 176);
    ProxyPassEdit = NewEdit("ProxyPassEdit", 110, 172, 150, "upProxyUserPassword");
    ServerLabel->SetFocusControl(ProxyNameEdit);
    PortLabel->SetFocusControl(ProxyPortEdit);
    LoginLabel->SetFocusControl(ProxyUserEdit);
    PassLabel->SetFocusControl(ProxyPassEdit);
    OpenPasWarningLabel = NewLabel("OpenPasWarningLabel", this, 26, 204);
    OpenPasWarningLabel->SetAutoSize(false);
    OpenPasWarningLabel->SetWordWrap(true);
    OpenPasWarningLabel->SetBounds(26, 204, 340, 44);
    OpenPasWarningLabel->SetAutoSize(true);
    ApplyLanguage();
}

TEdit* TSetUpFrame::NewEdit(const char* name, int x, int y, int width, const std::string& key)
{
    auto* edit = new TEdit(this);
    edit->SetName(name);
    edit->SetBounds(x, y, width, 21);
    edit->SetParent(this);
    edit->OnChange = [this, edit, key](TObject*) {
        if (key == "upProxyPort") {
            // Only a port is taken; OK refuses any other text (Refusal).
            int port = 0;
            if (TextToIntIn(edit->Text(), kMinPort, kMaxPort, port))
                Edit(key, port);
        } else
            Edit(key, edit->Text());
    };
    return edit;
}

TWinControl* TSetUpFrame::Refusal(std::string& text) const
{
    // A greyed-out port (no proxy used) is not taken, so it can't be refused.
    int port = 0;
    if (!ProxyPortEdit->Enabled() || TextToIntIn(ProxyPortEdit->Text(), kMinPort, kMaxPort, port))
        return nullptr;
    text = RangeRefusal(sPortL_Caption, kMinPort, kMaxPort);
    return ProxyPortEdit;
}

void TSetUpFrame::UpdateNow()
{
    // The user tries the proxy out: a port the page can't take is told
    // first, and what came of it shows here, in front of the main window.
    std::string text;
    std::weak_ptr<void> alive = AliveToken();
    if (TWinControl* box = Refusal(text)) {
        AppMessageBox(sProgramSettings, text, MB_OK | MB_ICONWARNING);
        if (!alive.expired() && box->CanFocus())
            box->SetFocus();
        return;
    }
    std::string error;
    if (UpdateThroughShownProxy)
        error = UpdateThroughShownProxy();
    else if (UpdateFahBaseAction)
        UpdateFahBaseAction->Execute();
    if (alive.expired())
        return;
    ShowUpdatedIn();
    if (!error.empty())
        Label5->SetCaption(error);
}

void TSetUpFrame::LoadControls()
{
    // The page sits in the dialog now: its windows can be made.
    SendMessageW(ProxyPortEdit->Handle(), EM_LIMITTEXT, 6, 0);
    SendMessageW(ProxyPassEdit->Handle(), EM_SETPASSWORDCHAR, '*', 0);
    ProxyNameEdit->SetText(Value("upProxyName").EditedString());
    ProxyPortEdit->SetText(std::to_string(Value("upProxyPort").EditedInteger()));
    ProxyUserEdit->SetText(Value("upProxyUserName").EditedString());
    ProxyPassEdit->SetText(Value("upProxyUserPassword").EditedString());
    ShowUpdatedIn();
}

void TSetUpFrame::UpdateControls()
{
    bool on = UseProxyCheckBox->Checked();
    for (TControl* c : std::initializer_list<TControl*>{ServerLabel, ProxyNameEdit, PortLabel, ProxyPortEdit,
                                                        LoginLabel, ProxyUserEdit, PassLabel, ProxyPassEdit,
                                                        OpenPasWarningLabel})
        c->SetEnabled(on);
}

void TSetUpFrame::ShowUpdatedIn()
{
    TDateTime t = FileModifiedTime(PSummaryFile());
    Label5->SetCaption(t != 0 ? Format("%s %s", sUpdatedIn.c_str(), SystemDateTimeText(t).c_str()) : sNotUpdated);
}

void TSetUpFrame::ApplyLanguage()
{
    UpdateWhenNeedCheckBox->SetCaption(sUpdateWhenNeedCB_Caption);
    UseProxyCheckBox->SetCaption(sUseProxyCB_Caption);
    ServerLabel->SetCaption(Format("%s:", sServerL_Caption.c_str()));
    PortLabel->SetCaption(Format("%s:", sPortL_Caption.c_str()));
    LoginLabel->SetCaption(Format("%s:", sLoginL_Caption.c_str()));
    PassLabel->SetCaption(Format("%s:", sPassL_Caption.c_str()));
    OpenPasWarningLabel->SetCaption(sOpenPassWarningL_Caption);
    std::string caption = UpdateFahBaseAction ? UpdateFahBaseAction->Caption() : sUpdateFahBaseAction_Caption;
    Button1->SetCaption(caption);
    // As wide as its text plus 16.
    Button1->SetWidth(ButtonWidth(*Button1, 0));
    ShowUpdatedIn();
    // The boxes start after the longest of their labels; the port follows
    // the server's box.
    FitCheckBoxes();
    int labelsRight = 0;
    for (TLabel* l : {ServerLabel, LoginLabel, PassLabel})
        labelsRight = std::max(labelsRight, l->Left() + l->Width());
    for (TEdit* e : {ProxyNameEdit, ProxyUserEdit, ProxyPassEdit})
        e->SetLeft(std::max(110, labelsRight + 6));
    PlaceRightOf(*PortLabel, *ProxyNameEdit, 8);
    PlaceRightOf(*ProxyPortEdit, *PortLabel, 6);
}
