#include "platform/Frame.h"

TFrame::TFrame(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    width_ = 320;
    height_ = 240;
    SetAlign(TAlign::alClient);
}

void TFrame::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.className = L"BrenixFrame";
}
