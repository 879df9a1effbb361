#include "platform/StdCtrls.h"

#include "platform/Canvas.h"

// --- TPanel ---

TPanel::TPanel(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    width_ = 185;
    height_ = 41;
}

void TPanel::SetBevelOuter(TBevelCut bevel)
{
    if (bevel == bevelOuter_)
        return;
    bevelOuter_ = bevel;
    Invalidate();
}

void TPanel::CreateParams(TCreateParams& params)
{
    params.className = L"BrenixPanel";
    params.classStyle = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
}

void TPanel::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    if (bevelOuter_ != TBevelCut::bvNone)
        DrawEdge(canvas.Handle(), &r, bevelOuter_ == TBevelCut::bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER,
                 BF_RECT | BF_ADJUST);
    std::string text = TControl::Caption();
    if (!text.empty())
        canvas.TextRect(r, text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// --- TLabel ---

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner)
{
    width_ = 65;
    height_ = 17;
}

void TLabel::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    AdjustSize();
}

void TLabel::SetTransparent(bool transparent)
{
    transparent_ = transparent;
    Invalidate();
}

void TLabel::CaptionChanged()
{
    AdjustSize();
    Invalidate();
}

void TLabel::FontChanged()
{
    AdjustSize();
    Invalidate();
}

void TLabel::AdjustSize()
{
    if (!autoSize_)
        return;
    HDC dc = GetDC(nullptr);
    {
        TCanvas canvas(dc);
        canvas.Font().Assign(Font());
        SIZE s = canvas.TextExtent(Caption().empty() ? std::string(" ") : Caption());
        SetBounds(left_, top_, s.cx, s.cy);
    }
    ReleaseDC(nullptr, dc);
}

void TLabel::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    if (!transparent_)
        canvas.FillRect(r);
    if (!Enabled())
        canvas.Font().SetColor(GetSysColor(COLOR_GRAYTEXT));
    canvas.TextRect(r, Caption(), DT_LEFT | DT_TOP | DT_NOPREFIX | DT_SINGLELINE);
}

// --- TEdit ---

TEdit::TEdit(TComponent* owner) : TWinControl(owner)
{
    width_ = 121;
    height_ = 21;
    SetColor(GetSysColor(COLOR_WINDOW));
}

void TEdit::CreateParams(TCreateParams& params)
{
    params.className = L"EDIT";
    params.systemClass = true;
    params.style |= WS_TABSTOP | ES_AUTOHSCROLL | (readOnly_ ? ES_READONLY : 0);
    params.style &= ~WS_CLIPCHILDREN;
    params.exStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::SetReadOnly(bool readOnly)
{
    readOnly_ = readOnly;
    if (HandleAllocated())
        SendMessageW(Handle(), EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

bool TEdit::CommandNotify(WORD code)
{
    if (code == EN_CHANGE) {
        if (OnChange)
            OnChange(this);
        return true;
    }
    return false;
}
