#include "Frame/SetDfFr.h"

#include <algorithm>
#include <climits>
#include <string>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "controls/RxLabel.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"
#include "platform/TextFit.h"


TSetDfFrame::TSetDfFrame(TComponent* owner) : TSetPageFrame(owner)
{
    SetName("SetDfFrame");
    Label3 = NewLabel("Label3", this, 8, 8);
    Label1 = NewLabel("Label1", this, 8, 40);
    UserNameEdit = new TEdit(this);
    UserNameEdit->SetName("UserNameEdit");
    UserNameEdit->SetBounds(110, 36, 200, 21);
    UserNameEdit->SetParent(this);
    UserNameEdit->OnChange = [this](TObject*) { Edit("dfUserName", UserNameEdit->Text()); };
    Label2 = NewLabel("Label2", this, 8, 70);
    TeamIDEdit = new TEdit(this);
    TeamIDEdit->SetName("TeamIDEdit");
    TeamIDEdit->SetBounds(110, 66, 80, 21);
    TeamIDEdit->SetParent(this);
    // Only a team number is taken; OK refuses any other text (Refusal).
    TeamIDEdit->OnChange = [this](TObject*) {
        int team = 0;
        if (TextToIntIn(TeamIDEdit->Text(), 0, INT_MAX, team))
            Edit("dfTeamID", team);
    };

    Label1->SetFocusControl(UserNameEdit);
    Label2->SetFocusControl(TeamIDEdit);

    RxLabel1 = new TRxLabel(this);
    RxLabel1->SetName("RxLabel1");
    RxLabel1->SetLeft(110);
    RxLabel1->SetTop(100);
    RxLabel1->Font().SetColor(RGB(0, 0, 255));
    RxLabel1->Font().SetStyle(fsBold | fsUnderline);
    RxLabel1->SetCaption(std::to_string(kDefaultTeamID));
    RxLabel1->SetParent(this);
    SetupLinkLabel(*RxLabel1, kTeamSiteURL);
    Label5 = NewLabel("Label5", this, 170, 100);
    ApplyLanguage();
}

void TSetDfFrame::LoadControls()
{
    UserNameEdit->SetText(Value("dfUserName").EditedString());
    TeamIDEdit->SetText(std::to_string(Value("dfTeamID").EditedInteger()));
}

TWinControl* TSetDfFrame::Refusal(std::string& text) const
{
    int team = 0;
    if (TextToIntIn(TeamIDEdit->Text(), 0, INT_MAX, team))
        return nullptr;
    text = RangeRefusal(sTeam, 0, INT_MAX);
    return TeamIDEdit;
}

void TSetDfFrame::ApplyLanguage()
{
    Label1->SetCaption(Format("%s:", sUser.c_str()));
    Label2->SetCaption(Format("%s:", sTeam.c_str()));
    Label3->SetCaption(sUserTeamByDefaultL_Caption);
    Label5->SetCaption(Format(" - %s", sKPXTeam.c_str()));
    // The boxes and the team link start after the longer label.
    int left = std::max({110, Label1->Left() + Label1->Width() + 6, Label2->Left() + Label2->Width() + 6});
    for (TControl* c : std::initializer_list<TControl*>{UserNameEdit, TeamIDEdit, RxLabel1})
        c->SetLeft(left);
    PlaceRightOf(*Label5, *RxLabel1, 4);
}
