#include "Frame/About.h"

#include <algorithm>

#include "Classes/Lang.h"
#include "Frame/Dialog.h"
#include "controls/DrawUtils.h"
#include "controls/RxLabel.h"
#include "controls/VersionInfo.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Image.h"
#include "platform/Resources.h"
#include "toolbars/TBCommon.h"


namespace {

constexpr int kClientWidth = 380;
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
// How much wider the box is while it shows the picture.
constexpr int kPictureGrowth = 70;
constexpr COLORREF kLinkColor = 0xFF0000;
constexpr COLORREF kHotLinkColor = 0x0080FF;

TLabel* MakeLabel(TForm* form, const char* name, int left, int top)
{
    auto* label = new TLabel(form);
    label->SetName(name);
    label->SetShowAccelChar(false);
    label->SetLeft(left);
    label->SetTop(top);
    label->SetParent(form);
    return label;
}

}  // namespace

TAboutForm::TAboutForm(TComponent* owner) : TForm(owner)
{
    SetName("AboutForm");
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(TPosition::poScreenCenter);
    SetFormClientSize(*this, kClientWidth, 260);

    Image1 = new TImage(this);
    Image1->SetName("Image1");
    Image1->SetBounds(kMargin, kMargin, kIconSize, kIconSize);
    Image1->SetIcon(LoadIconW(GetModuleHandleW(nullptr), L"MAINICON"));
    Image1->SetParent(this);
    Image1->OnDblClick = [this](TObject*) { Image1DblClick(); };

    const int right = kMargin + kIconSize + kMargin;
    TVersionInfo version(ExeFileName());
    TitLabel = MakeLabel(this, "TitLabel", right, kMargin);
    TitLabel->Font().SetStyle(fsBold);
    TitLabel->Font().SetSize(12);
    TitLabel->SetCaption(version.GetVerValue("PRODUCTNAME"));
    VerLabel = MakeLabel(this, "VerLabel", right, 36);
    CLabel = MakeLabel(this, "CLabel", right, 52);
    CLabel->SetCaption(version.GetVerValue("LEGALCOPYRIGHT"));

    RxLabel1 = new TRxLabel(this);
    RxLabel1->SetName("RxLabel1");
    RxLabel2 = new TRxLabel(this);
    RxLabel2->SetName("RxLabel2");
    RxLabel3 = new TRxLabel(this);
    RxLabel3->SetName("RxLabel3");
    SetupLink(RxLabel3, 68);
    RxLabel3->SetLeft(right);
    RxLabel3->SetCaption(kProgramURL);
    SetupLink(RxLabel1, 0);
    SetupLink(RxLabel2, 0);
    RxLabel1->OnClick = [this](TObject*) { RxLabelClick(0); };
    RxLabel2->OnClick = [this](TObject*) { RxLabelClick(1); };
    RxLabel3->OnClick = [this](TObject*) { RxLabelClick(2); };

    Label1 = MakeLabel(this, "Label1", kMargin, 96);
    Label1->SetWordWrap(true);
    Label1->SetWidth(kClientWidth - 2 * kMargin);
    Label2 = MakeLabel(this, "Label2", kMargin, 0);
    Label2->SetWordWrap(true);
    Label2->SetWidth(kClientWidth - 2 * kMargin);
    Label2->Font().SetColor(GetSysColor(COLOR_GRAYTEXT));

    OkButton = new TButton(this);
    OkButton->SetName("OkButton");
    OkButton->SetCaption("OK");
    OkButton->SetDefault(true);
    OkButton->SetCancel(true);
    OkButton->SetModalResult(mrOk);
    OkButton->SetParent(this);

    OnClick = [this](TObject*) { SetModalResult(mrOk); };

    // A damaged or missing picture leaves the icon as the only image; a
    // damaged one is noted.
    std::string jpeg;
    if (TryLoadRCData("Avat", jpeg)) {
        try {
            LoadJpegBitmap(jpeg, picture_);
        } catch (const Exception& e) {
            picture_.SetHandle(nullptr);
            Application().HandleException(std::string("The About picture is not shown: ") + e.what());
        }
    }
    FillTexts();
}

void TAboutForm::SetupLink(TRxLabel* label, int top)
{
    label->SetShadowSize(0);
    label->SetTransparent(true);
    label->SetShowAccelChar(false);
    label->SetCursor(ScreenCursor(crHand));
    label->Font().SetColor(kLinkColor);
    label->SetLeft(kMargin);
    label->SetTop(top);
    label->OnMouseEnter = [label](TObject*) { label->Font().SetColor(kHotLinkColor); };
    label->OnMouseLeave = [label](TObject*) { label->Font().SetColor(kLinkColor); };
    label->SetParent(this);
}

void TAboutForm::FillTexts()
{
    std::string caption = StripAccelChars(sAboutAction_Caption);
    while (!caption.empty() && caption.back() == '.')
        caption.pop_back();
    SetCaption(caption.empty() ? std::string("About") : caption);
    VerLabel->SetCaption(sVersion + " " + TVersionInfo(ExeFileName()).GetVerValue("FILEVERSION"));
    Label1->SetCaption(sAboutInfo + "\r\n\r\n" + sAboutDonate + "\r\n\r\n" + sSupportThanks);
    RxLabel1->SetCaption(sDeveloper + ": " + kAboutMail);
    RxLabel2->SetCaption(sJoinToKPX);
    Label2->SetCaption(sJpegNotice);
    Layout();
}

void TAboutForm::Layout()
{
    // As wide as its longest line needs; the texts that wrap take the width.
    int width = kClientWidth + (pictureShown_ ? kPictureGrowth : 0);
    for (TControl* c : std::initializer_list<TControl*>{TitLabel, VerLabel, CLabel, RxLabel1, RxLabel2, RxLabel3})
        width = std::max(width, c->Left() + c->Width() + kMargin);
    for (TLabel* l : {Label1, Label2}) {
        l->SetWidth(width - 2 * kMargin);
        l->SetAutoSize(false);
        l->SetAutoSize(true);
    }
    int top = Label1->Top() + Label1->Height() + 10;
    RxLabel1->SetTop(top);
    RxLabel2->SetTop(top + RxLabel1->Height() + 4);
    top = RxLabel2->Top() + RxLabel2->Height() + 10;
    Label2->SetTop(top);
    top += Label2->Height() + 10;
    OkButton->SetBounds(width - kMargin - 75, top, 75, 25);
    SetFormClientSize(*this, width, top + 25 + kMargin);
}

std::string TAboutForm::LinkOf(int tag) const
{
    switch (tag) {
    case 0:
        return std::string("mailto:\"") + kAboutMail + "\"?subject=\"" + TitLabel->Caption() + " " +
               VerLabel->Caption() + "\"";
    case 1:
        return kCommunityURL;
    case 2:
        return kProgramURL;
    default:
        return std::string();
    }
}

void TAboutForm::RxLabelClick(int tag) { OpenAddress(LinkOf(tag)); }

void TAboutForm::Image1DblClick()
{
    if (picture_.Empty())
        return;
    int delta;
    pictureShown_ = !pictureShown_;
    if (pictureShown_) {
        Image1->SetBitmap(picture_);
        Image1->SetBounds(Image1->Left(), Image1->Top(), picture_.Width(), picture_.Height());
        delta = kPictureGrowth;
    } else {
        Image1->SetIcon(LoadIconW(GetModuleHandleW(nullptr), L"MAINICON"));
        Image1->SetBounds(Image1->Left(), Image1->Top(), kIconSize, kIconSize);
        delta = -kPictureGrowth;
    }
    // The texts beside the image and the button keep their place at the right.
    for (TControl* c : {static_cast<TControl*>(TitLabel), static_cast<TControl*>(VerLabel),
                        static_cast<TControl*>(CLabel), static_cast<TControl*>(RxLabel3),
                        static_cast<TControl*>(OkButton)})
        c->SetLeft(c->Left() + delta);
    Layout();
    Invalidate();
}

void TAboutForm::WndProc(TMessage& m)
{
    if (m.Msg == WM_SHOWWINDOW && m.WParam)
        FillTexts();
    TForm::WndProc(m);
}

void TAboutForm::KeyDown(WORD& key, TShiftState shift)
{
    TForm::KeyDown(key, shift);
    if (key == VK_ESCAPE || key == VK_SPACE || key == VK_RETURN) {
        SetModalResult(mrOk);
        key = 0;
    }
}

TAboutForm& AboutForm()
{
    static TAboutForm* form = nullptr;
    return DialogOnce(form);
}
