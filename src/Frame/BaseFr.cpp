#include "Frame/BaseFr.h"

#include "platform/Canvas.h"

TFrameCaptionLabel::TFrameCaptionLabel(TComponent* owner) : TLabel(owner)
{
    SetAutoSize(false);
    SetTransparent(false);
    SetShowAccelChar(false);
}

void TFrameCaptionLabel::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    canvas.FillRect(r);
    canvas.TextRect(r, Caption(), DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

TBaseFrame::TBaseFrame(TComponent* owner) : TFrame(owner)
{
    CaptionLabel = new TFrameCaptionLabel(this);
    CaptionLabel->SetName("CaptionLabel");
    CaptionLabel->SetVisible(false);
    CaptionLabel->SetHeight(GetSystemMetrics(SM_CYSMCAPTION));
    CaptionLabel->SetColor(RGB(0x80, 0x80, 0x80));
    CaptionLabel->Font().SetColor(RGB(0xFF, 0xFF, 0xFF));
    CaptionLabel->Font().SetStyle(fsBold);
    CaptionLabel->SetAlign(TAlign::alTop);
    CaptionLabel->SetParent(this);
}

void TBaseFrame::SetCaption(const std::string& caption)
{
    TFrame::SetCaption(caption);
    CaptionLabel->SetCaption(caption);
}
