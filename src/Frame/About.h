// The About box: the program's icon (a double-click swaps it for the
// picture built into the program and back), its name, version and
// copyright, a short description, and three links: the maker's mail, the
// community team's site and the program's web site. A click on the box, or
// Esc, Space or Enter, closes it.
#pragma once
#include <string>

#include "Common/SiteAddresses.h"
#include "platform/Form.h"
#include "platform/Graphics.h"
#include "platform/StdCtrls.h"

class TImage;
class TRxLabel;

class TAboutForm : public TForm {
public:
    explicit TAboutForm(TComponent* owner);

    TImage* Image1;
    TLabel* TitLabel;
    TLabel* VerLabel;
    TLabel* CLabel;
    TLabel* Label1;
    TLabel* Label2;
    TButton* OkButton;
    TRxLabel* RxLabel1;   // tag 0: the mail link
    TRxLabel* RxLabel2;   // tag 1: the community team's site
    TRxLabel* RxLabel3;   // tag 2: the program's web site

    // The link of a label: the mail link for tag 0, else its address.
    std::string LinkOf(int tag) const;
    // Opens the label's link with the shell.
    void RxLabelClick(int tag);
    // Swaps the icon for the picture, or back; the box grows or shrinks.
    void Image1DblClick();
    bool PictureShown() const { return pictureShown_; }
    // The picture decoded from the program's resources (empty when missing).
    TBitmap& Picture() { return picture_; }

    void WndProc(TMessage& message) override;
    // Esc, Space and Enter close the box also while the box itself has the
    // keyboard (after the user came back to it from another program).
    void KeyDown(WORD& key, TShiftState shift) override;

private:
    void SetupLink(TRxLabel* label, int top);
    void Layout();
    void FillTexts();

    TBitmap picture_;
    bool pictureShown_ = false;
};

// The program's one About box, made on first use.
TAboutForm& AboutForm();
