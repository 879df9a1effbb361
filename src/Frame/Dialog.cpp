#include "Frame/Dialog.h"

#include "Classes/Lang.h"

namespace {

constexpr int kPanelHeight = 41;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kGap = 8;

}  // namespace

void SetFormClientSize(TForm& form, int width, int height)
{
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU, exStyle = WS_EX_DLGMODALFRAME;
    if (form.HandleAllocated()) {
        style = static_cast<DWORD>(GetWindowLongW(form.Handle(), GWL_STYLE));
        exStyle = static_cast<DWORD>(GetWindowLongW(form.Handle(), GWL_EXSTYLE));
    }
    RECT r = {0, 0, width, height};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    form.SetBounds(form.Left(), form.Top(), r.right - r.left, r.bottom - r.top);
}

int FormClientWidth(TForm& form)
{
    RECT r = form.ClientRect();
    return r.right - r.left;
}

int FormClientHeight(TForm& form)
{
    RECT r = form.ClientRect();
    return r.bottom - r.top;
}

TDialogForm::TDialogForm(TComponent* owner) : TForm(owner)
{
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(TPosition::poScreenCenter);
    SetShowHint(true);

    Panel1 = new TPanel(this);
    Panel1->SetName("Panel1");
    Panel1->SetBevelOuter(TBevelCut::bvNone);
    Panel1->SetHeight(kPanelHeight);
    Panel1->SetAlign(TAlign::alBottom);
    Panel1->SetParent(this);
    Panel1->OnResize = [this](TObject*) { PlaceButtons(); };

    OkButton = new TButton(this);
    OkButton->SetName("OkButton");
    OkButton->SetCaption("OK");
    OkButton->SetDefault(true);
    OkButton->SetModalResult(mrOk);
    OkButton->SetParent(Panel1);

    CancelButton = new TButton(this);
    CancelButton->SetName("CancelButton");
    CancelButton->SetCaption("Cancel");
    CancelButton->SetCancel(true);
    CancelButton->SetModalResult(mrCancel);
    CancelButton->SetParent(Panel1);
    PlaceButtons();
}

void TDialogForm::PlaceButtons()
{
    int right = Panel1->Width() - kGap;
    int top = (Panel1->Height() - kButtonHeight) / 2;
    CancelButton->SetBounds(right - kButtonWidth, top, kButtonWidth, kButtonHeight);
    OkButton->SetBounds(right - 2 * kButtonWidth - kGap, top, kButtonWidth, kButtonHeight);
}

void TDialogForm::ApplyLanguage()
{
    if (!sCancel.empty())
        CancelButton->SetCaption(sCancel);
}

void TDialogForm::WndProc(TMessage& m)
{
    if (m.Msg == WM_SHOWWINDOW && m.WParam)
        ApplyLanguage();
    TForm::WndProc(m);
}
