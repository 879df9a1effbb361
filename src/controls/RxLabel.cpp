#include "controls/RxLabel.h"

#include <shellapi.h>

#include <memory>

#include "controls/DrawUtils.h"
#include "platform/Canvas.h"
#include "platform/Text.h"
#include "platform/WindowSubclass.h"

int DrawShadowText(HDC dc, const std::wstring& text, TShadowPosition pos, COLORREF shadowColor, int shadowSize,
                   UINT flags, RECT& rect)
{
    if (shadowSize < 0)
        shadowSize = 0;
    const int len = static_cast<int>(text.size());
    RECT shadow = rect;
    switch (pos) {
    case TShadowPosition::spLeftTop:
        OffsetRect(&shadow, -shadowSize, -shadowSize);
        break;
    case TShadowPosition::spLeftBottom:
        OffsetRect(&shadow, -shadowSize, shadowSize);
        break;
    case TShadowPosition::spRightBottom:
        OffsetRect(&shadow, shadowSize, shadowSize);
        break;
    case TShadowPosition::spRightTop:
        OffsetRect(&shadow, shadowSize, -shadowSize);
        break;
    }
    if (flags & DT_CALCRECT) {
        int h = DrawTextW(dc, text.c_str(), len, &rect, flags);
        if (shadowSize > 0) {
            shadow = rect;
            OffsetRect(&shadow, pos == TShadowPosition::spLeftTop || pos == TShadowPosition::spLeftBottom
                                    ? -shadowSize : shadowSize,
                       pos == TShadowPosition::spLeftTop || pos == TShadowPosition::spRightTop ? -shadowSize
                                                                                                : shadowSize);
            UnionRect(&rect, &rect, &shadow);
        }
        return h + shadowSize;
    }
    if (shadowSize > 0) {
        COLORREF old = SetTextColor(dc, shadowColor);
        DrawTextW(dc, text.c_str(), len, &shadow, flags);
        SetTextColor(dc, old);
    }
    RECT main = rect;
    int h = DrawTextW(dc, text.c_str(), len, &main, flags);
    if (shadowSize > 0)
        UnionRect(&rect, &main, &shadow);
    else
        rect = main;
    return h + shadowSize;
}

// --- TRxCustomLabel ---

TRxCustomLabel::TRxCustomLabel(TComponent* owner) : TGraphicControl(owner)
{
    width_ = 65;
    height_ = 17;
}

TRxCustomLabel::~TRxCustomLabel()
{
    UnwatchFocusControl();
    if (focusControl_)
        focusControl_->RemoveFreeNotification(this);
}

void TRxCustomLabel::SetAlignment(TAlignment value)
{
    if (value == alignment_)
        return;
    alignment_ = value;
    Invalidate();
}

void TRxCustomLabel::SetAutoSize(bool value)
{
    autoSize_ = value;
    AdjustBounds();
}

void TRxCustomLabel::SetFocusControl(TWinControl* control)
{
    if (control == focusControl_)
        return;
    UnwatchFocusControl();
    if (focusControl_)
        focusControl_->RemoveFreeNotification(this);
    focusControl_ = control;
    if (control)
        control->FreeNotification(this);
    Invalidate();
}

void TRxCustomLabel::Notification(TComponent* component, TOperation operation)
{
    TGraphicControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == focusControl_) {
        UnwatchFocusControl();
        focusControl_ = nullptr;
    }
}

void TRxCustomLabel::SetLayout(TTextLayout value)
{
    if (value == layout_)
        return;
    layout_ = value;
    Invalidate();
}

void TRxCustomLabel::SetShadowColor(COLORREF value)
{
    if (value == shadowColor_)
        return;
    shadowColor_ = value;
    Invalidate();
}

void TRxCustomLabel::SetShadowSize(int value)
{
    value = value < 0 ? 0 : value > 255 ? 255 : value;
    if (value == shadowSize_)
        return;
    shadowSize_ = value;
    AdjustBounds();
    Invalidate();
}

void TRxCustomLabel::SetShadowPos(TShadowPosition value)
{
    if (value == shadowPos_)
        return;
    shadowPos_ = value;
    Invalidate();
}

void TRxCustomLabel::SetShowAccelChar(bool value)
{
    if (value == showAccelChar_)
        return;
    showAccelChar_ = value;
    AdjustBounds();
    Invalidate();
}

void TRxCustomLabel::SetShowFocus(bool value)
{
    if (value == showFocus_)
        return;
    showFocus_ = value;
    if (!value)
        UnwatchFocusControl();
    Invalidate();
}

void TRxCustomLabel::SetTransparent(bool value)
{
    if (value == transparent_)
        return;
    transparent_ = value;
    Invalidate();
}

void TRxCustomLabel::SetWordWrap(bool value)
{
    if (value == wordWrap_)
        return;
    wordWrap_ = value;
    AdjustBounds();
    Invalidate();
}

void TRxCustomLabel::SetMargins(int left, int right)
{
    leftMargin_ = left < 0 ? 0 : left;
    rightMargin_ = right < 0 ? 0 : right;
    AdjustBounds();
    Invalidate();
}

void TRxCustomLabel::SetEnabled(bool enabled)
{
    TGraphicControl::SetEnabled(enabled);
    if (!enabled)
        SetMouseInControl(false);
}

void TRxCustomLabel::CaptionChanged()
{
    AdjustBounds();
    Invalidate();
}

void TRxCustomLabel::FontChanged()
{
    AdjustBounds();
    Invalidate();
}

std::wstring TRxCustomLabel::LabelText() const
{
    std::wstring w = Utf8ToWide(Caption());
    return w.empty() ? std::wstring(L" ") : w;
}

UINT TRxCustomLabel::DrawFlags() const
{
    UINT flags = DT_EXPANDTABS;
    flags |= wordWrap_ ? DT_WORDBREAK : 0;
    flags |= alignment_ == TAlignment::taRightJustify ? DT_RIGHT
             : alignment_ == TAlignment::taCenter     ? DT_CENTER
                                                      : DT_LEFT;
    if (!showAccelChar_)
        flags |= DT_NOPREFIX;
    return flags;
}

void TRxCustomLabel::DoDrawText(HDC dc, RECT& rect, UINT flags)
{
    std::wstring text = LabelText();
    if (!Enabled()) {
        // Grey text with a light shadow; a shadowless label gets a 1-pixel
        // one at the lower right.
        int size = shadowSize_ == 0 ? 1 : shadowSize_;
        TShadowPosition pos = shadowSize_ == 0 ? TShadowPosition::spRightBottom : shadowPos_;
        COLORREF old = SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        DrawShadowText(dc, text, pos, GetSysColor(COLOR_BTNHIGHLIGHT), size, flags, rect);
        SetTextColor(dc, old);
        return;
    }
    DrawShadowText(dc, text, shadowPos_, shadowColor_, shadowSize_, flags, rect);
}

void TRxCustomLabel::Paint(TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    RECT client = ClientRect();
    if (!transparent_)
        canvas.FillRect(client);
    // The canvas selects its font when it writes text; measure with it.
    canvas.TextExtent(" ");
    int mode = SetBkMode(dc, TRANSPARENT);
    RECT r = client;
    r.left += leftMargin_;
    r.right -= rightMargin_;
    InflateRect(&r, -1, 0);
    UINT flags = DrawFlags();
    if (layout_ != TTextLayout::tlTop) {
        RECT calc = r;
        DoDrawText(dc, calc, flags | DT_CALCRECT);
        int free = (r.bottom - r.top) - (calc.bottom - calc.top);
        OffsetRect(&r, 0, layout_ == TTextLayout::tlCenter ? free / 2 : free);
    }
    DoDrawText(dc, r, flags);
    SetBkMode(dc, mode);
    if (showFocus_ && focusControl_ && focusControl_->Focused()) {
        RECT f = r;
        InflateRect(&f, 1, 0);
        IntersectRect(&f, &f, &client);
        DrawFocusRect(dc, &f);
    }
    if (showFocus_)
        WatchFocusControl();
}

void TRxCustomLabel::AdjustBounds()
{
    if (!autoSize_ || IsLoading())
        return;
    HDC dc = GetDC(nullptr);
    RECT r = {0, 0, width_ - leftMargin_ - rightMargin_ - 2, 0};
    {
        TCanvas canvas(dc);
        canvas.Font().Assign(Font());
        canvas.TextExtent(" ");   // selects the font
        DoDrawText(dc, r, DrawFlags() | DT_CALCRECT);
    }
    ReleaseDC(nullptr, dc);
    int w = (r.right - r.left) + leftMargin_ + rightMargin_ + 2;
    int h = r.bottom - r.top;
    int left = left_;
    if (alignment_ == TAlignment::taRightJustify)
        left = left_ + width_ - w;
    SetBounds(left, top_, w, h);
}

bool TRxCustomLabel::DialogChar(wchar_t ch, TShiftState)
{
    if (!focusControl_ || !Enabled() || !showAccelChar_ || !IsAccel(ch, Caption()))
        return false;
    if (!focusControl_->CanFocus())
        return false;
    focusControl_->SetFocus();
    return true;
}

void TRxCustomLabel::SetMouseInControl(bool inside)
{
    if (inside == mouseInControl_)
        return;
    mouseInControl_ = inside;
    mouseInside_ = inside;
    if (inside) {
        if (OnMouseEnter)
            OnMouseEnter(this);
    } else if (OnMouseLeave) {
        OnMouseLeave(this);
    }
}

void TRxCustomLabel::MouseEnter()
{
    if (!mouseInControl_ && Enabled() && IsForegroundTask())
        SetMouseInControl(true);
}

void TRxCustomLabel::MouseLeave()
{
    mouseInside_ = false;
    if (mouseInControl_ && Enabled() && !dragging_)
        SetMouseInControl(false);
}

void TRxCustomLabel::CheckMouseState()
{
    // The right button may have opened a menu or switched programs.
    std::weak_ptr<void> alive = AliveToken();
    bool over = false;
    if (Parent() && Parent()->HandleAllocated()) {
        POINT p;
        GetCursorPos(&p);
        HWND under = WindowFromPoint(p);
        if (under == Parent()->Handle()) {
            POINT local = Parent()->ScreenToClient(p);
            over = Parent()->GraphicControlAt(local) == this;
        }
    }
    bool inside = over && Enabled() && IsForegroundTask();
    if (!alive.expired() && inside != mouseInControl_)
        SetMouseInControl(inside);
}

void TRxCustomLabel::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    TGraphicControl::MouseDown(button, shift, x, y);
    if (!alive.expired() && button == TMouseButton::mbRight)
        CheckMouseState();
}

void TRxCustomLabel::MouseMove(TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    TGraphicControl::MouseMove(shift, x, y);
    // The mouse came in while another program was active: it counts as
    // entering once this program is active.
    if (!alive.expired() && !mouseInControl_ && x >= 0 && y >= 0 && x < width_ && y < height_)
        MouseEnter();
}

void TRxCustomLabel::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    TGraphicControl::MouseUp(button, shift, x, y);
    if (!alive.expired() && button == TMouseButton::mbRight)
        CheckMouseState();
}

void TRxCustomLabel::WatchFocusControl()
{
    if (!focusControl_ || !focusControl_->HandleAllocated())
        return;
    HWND h = focusControl_->Handle();
    if (h == watched_ && watchId_)
        return;
    UnwatchFocusControl();
    std::weak_ptr<void> alive = AliveToken();
    watchId_ = HookWindowProc(h, [this, alive](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
        LRESULT r = next(msg, w, l);
        if ((msg == WM_SETFOCUS || msg == WM_KILLFOCUS) && !alive.expired())
            Invalidate();
        return r;
    });
    watched_ = watchId_ ? h : nullptr;
}

void TRxCustomLabel::UnwatchFocusControl()
{
    if (watched_ && watchId_)
        UnhookWindowProc(watched_, watchId_);
    watched_ = nullptr;
    watchId_ = 0;
}

bool OpenAddress(const std::string& address)
{
    if (address.empty())
        return false;
    auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", Utf8ToWide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
}

void SetupLinkLabel(TRxLabel& label, const std::string& address)
{
    label.SetShadowSize(0);
    label.SetCursor(ScreenCursor(crHand));
    label.OnClick = [address](TObject*) { OpenAddress(address); };
    // The mouse over the link underlines it; leaving gives the label back the
    // style it had before (a link drawn underlined stays so).
    auto restStyle = std::make_shared<unsigned>(label.Font().Style());
    label.OnMouseEnter = [&label, restStyle](TObject*) {
        *restStyle = label.Font().Style();
        label.Font().SetStyle(*restStyle | fsUnderline);
    };
    label.OnMouseLeave = [&label, restStyle](TObject*) { label.Font().SetStyle(*restStyle); };
}
