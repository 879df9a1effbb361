#include "platform/StdCtrls.h"

#include "platform/Canvas.h"
#include "platform/Form.h"
#include "platform/Text.h"
#include "platform/TextFit.h"

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

TLabel::~TLabel()
{
    if (focusControl_)
        focusControl_->RemoveFreeNotification(this);
}

void TLabel::SetShowAccelChar(bool show)
{
    if (show == showAccelChar_)
        return;
    showAccelChar_ = show;
    AdjustSize();
    Invalidate();
}

void TLabel::SetFocusControl(TWinControl* control)
{
    if (control == focusControl_)
        return;
    if (focusControl_)
        focusControl_->RemoveFreeNotification(this);
    focusControl_ = control;
    if (control)
        control->FreeNotification(this);
}

void TLabel::Notification(TComponent* component, TOperation operation)
{
    TGraphicControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == focusControl_)
        focusControl_ = nullptr;
}

bool TLabel::DialogChar(wchar_t ch, TShiftState)
{
    if (!focusControl_ || !Enabled() || !showAccelChar_ || !IsAccel(ch, Caption()))
        return false;
    if (!focusControl_->CanFocus())
        return false;
    focusControl_->SetFocus();
    return true;
}

void TLabel::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    AdjustSize();
}

void TLabel::SetWordWrap(bool wordWrap)
{
    if (wordWrap == wordWrap_)
        return;
    wordWrap_ = wordWrap;
    AdjustSize();
    Invalidate();
}

UINT TLabel::TextFlags() const
{
    return DT_LEFT | DT_TOP | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE) | (showAccelChar_ ? 0 : DT_NOPREFIX);
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
    // Measured with DrawText itself: the canvas's TextRect keeps the
    // rectangle it is given, so it cannot hand back the measured size.
    HDC dc = GetDC(nullptr);
    RECT r = {0, 0, wordWrap_ ? width_ : 0, 0};
    {
        HGDIOBJ old = SelectObject(dc, Font().Handle());
        std::wstring text = Utf8ToWide(Caption().empty() ? std::string(" ") : Caption());
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | TextFlags());
        SelectObject(dc, old);
    }
    ReleaseDC(nullptr, dc);
    // A line gets the room its last glyphs may be drawn past their advance.
    SetBounds(left_, top_, wordWrap_ ? width_ : r.right - r.left + kTextSlack, r.bottom - r.top);
}

void TLabel::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    if (!transparent_)
        canvas.FillRect(r);
    if (!Enabled())
        canvas.Font().SetColor(GetSysColor(COLOR_GRAYTEXT));
    canvas.TextRect(r, Caption(), TextFlags());
}

// --- TEdit ---

TEdit::TEdit(TComponent* owner) : TWinControl(owner)
{
    width_ = 121;
    height_ = 21;
    SetColor(GetSysColor(COLOR_WINDOW));
    SetTabStop(true);
}

void TEdit::CreateParams(TCreateParams& params)
{
    params.className = L"EDIT";
    params.systemClass = true;
    params.style |= ES_AUTOHSCROLL | (readOnly_ ? ES_READONLY : 0);
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

// --- TButton ---

TButton::TButton(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csClicksByCommand;
    width_ = 75;
    height_ = 25;
    SetTabStop(true);
}

void TButton::CreateParams(TCreateParams& params)
{
    params.className = L"BUTTON";
    params.systemClass = true;
    params.style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    params.style &= ~WS_CLIPCHILDREN;
}

void TButton::SetDefault(bool value)
{
    if (value == default_)
        return;
    default_ = value;
    if (HandleAllocated())
        SendMessageW(Handle(), BM_SETSTYLE, value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click()
{
    if (modalResult_ != mrNone)
        if (auto* form = dynamic_cast<TForm*>(ParentForm()))
            form->SetModalResult(modalResult_);
    TWinControl::Click();
}

bool TButton::CommandNotify(WORD code)
{
    if (code == BN_CLICKED) {
        Click();
        return true;
    }
    return false;
}

bool TButton::DialogKey(WORD key, TShiftState shift)
{
    if (shift & (ssCtrl | ssAlt))
        return false;
    bool mine = (key == VK_RETURN && default_) || (key == VK_ESCAPE && cancel_);
    if (!mine || !CanFocus())
        return false;
    Click();
    return true;
}

bool TButton::DialogChar(wchar_t ch, TShiftState)
{
    if (!IsAccel(ch, Caption()) || !CanFocus())
        return false;
    SetFocus();
    Click();
    return true;
}

// --- TCheckBox ---

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csClicksByCommand;
    width_ = 97;
    height_ = 17;
    SetTabStop(true);
}

void TCheckBox::CreateParams(TCreateParams& params)
{
    params.className = L"BUTTON";
    params.systemClass = true;
    params.style |= BS_AUTOCHECKBOX;
    params.style &= ~WS_CLIPCHILDREN;
}

void TCheckBox::CreateHandleDone()
{
    TWinControl::CreateHandleDone();
    SendMessageW(Handle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::Checked() const { return checked_; }

void TCheckBox::SetChecked(bool checked)
{
    if (checked == checked_)
        return;
    checked_ = checked;
    if (HandleAllocated())
        SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    Click();
}

bool TCheckBox::CommandNotify(WORD code)
{
    if (code != BN_CLICKED)
        return false;
    bool now = SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (now != checked_) {
        checked_ = now;
        Click();
    }
    return true;
}

bool TCheckBox::DialogChar(wchar_t ch, TShiftState)
{
    if (!IsAccel(ch, Caption()) || !CanFocus())
        return false;
    SetFocus();
    SetChecked(!checked_);
    return true;
}

// --- TGroupBox ---

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    width_ = 185;
    height_ = 105;
}

void TGroupBox::CreateParams(TCreateParams& params)
{
    params.className = L"BrenixGroupBox";
    params.classStyle = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
}

RECT TGroupBox::ClientRect() const
{
    RECT r = TWinControl::ClientRect();
    TFont& f = const_cast<TGroupBox*>(this)->Font();
    int h = f.Height() < 0 ? -f.Height() : f.Height();
    r.top += h + 4;
    InflateRect(&r, -1, 0);
    r.bottom -= 1;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

void TGroupBox::Paint(TCanvas& canvas)
{
    RECT r = TWinControl::ClientRect();
    std::string text = TControl::Caption();
    SIZE s = canvas.TextExtent(text.empty() ? std::string(" ") : text);
    RECT frame = r;
    frame.top += s.cy / 2;
    DrawEdge(canvas.Handle(), &frame, EDGE_ETCHED, BF_RECT);
    if (!text.empty()) {
        RECT t = {8, 0, 8 + s.cx + 4, s.cy};
        if (t.right > r.right - 8)
            t.right = r.right - 8;
        canvas.FillRect(t);
        if (!Enabled())
            canvas.Font().SetColor(GetSysColor(COLOR_GRAYTEXT));
        t.left += 2;
        canvas.TextRect(t, text, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
}

void TGroupBox::CaptionChanged()
{
    TWinControl::CaptionChanged();
    Invalidate();
}
