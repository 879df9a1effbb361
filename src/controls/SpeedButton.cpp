#include "controls/SpeedButton.h"

#include "controls/DrawUtils.h"
#include "controls/SimpleTimer.h"
#include "controls/ThemeSrv.h"
#include "platform/Canvas.h"
#include "platform/Menus.h"

TRxSpeedButton::TRxSpeedButton(TComponent* owner) : TGraphicControl(owner)
{
    width_ = 25;
    height_ = 25;
    glyph_.OnChange = [this] { Invalidate(); };
}

TRxSpeedButton::~TRxSpeedButton()
{
    glyph_.OnChange = nullptr;
    StopTimer();
    if (dropDownMenu_)
        dropDownMenu_->RemoveFreeNotification(this);
}

void TRxSpeedButton::Notification(TComponent* component, TOperation operation)
{
    TGraphicControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == dropDownMenu_)
        dropDownMenu_ = nullptr;
}

void TRxSpeedButton::SetAlignment(TAlignment value)
{
    glyph_.Alignment = value;
    Invalidate();
}

void TRxSpeedButton::SetAllowAllUp(bool value)
{
    allowAllUp_ = value;
    UpdateExclusive();
}

void TRxSpeedButton::SetAllowTimer(bool value)
{
    allowTimer_ = value;
    if (!value)
        StopTimer();
}

void TRxSpeedButton::SetGroupIndex(int value)
{
    groupIndex_ = value;
    UpdateExclusive();
}

void TRxSpeedButton::SetDown(bool value)
{
    if (groupIndex_ == 0)
        value = false;
    if (value == down_)
        return;
    if (down_ && !allowAllUp_)
        return;   // the last button down of a group stays down
    down_ = value;
    if (value) {
        if (state_ == TButtonState::bsUp)
            Invalidate();
        state_ = TButtonState::bsExclusive;
    } else {
        state_ = TButtonState::bsUp;
        Invalidate();
    }
    if (value)
        UpdateExclusive();
    Invalidate();
}

// The other buttons of the group follow this one.
void TRxSpeedButton::UpdateExclusive()
{
    if (groupIndex_ == 0 || !Parent())
        return;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        auto* other = dynamic_cast<TRxSpeedButton*>(Parent()->Controls(i));
        if (!other || other == this || other->groupIndex_ != groupIndex_)
            continue;
        if (down_ && other->down_) {
            other->down_ = false;
            other->state_ = TButtonState::bsUp;
            other->Invalidate();
        }
        other->allowAllUp_ = allowAllUp_;
    }
}

void TRxSpeedButton::SetDropDownMenu(TPopupMenu* menu)
{
    if (menu == dropDownMenu_)
        return;
    if (dropDownMenu_)
        dropDownMenu_->RemoveFreeNotification(this);
    dropDownMenu_ = menu;
    if (menu)
        menu->FreeNotification(this);
    Invalidate();
}

void TRxSpeedButton::SetFlat(bool value)
{
    flat_ = value;
    Invalidate();
}

void TRxSpeedButton::SetFlatStandard(bool value)
{
    flatStandard_ = value;
    Invalidate();
}

void TRxSpeedButton::SetGrayedInactive(bool value)
{
    grayedInactive_ = value;
    Invalidate();
}

void TRxSpeedButton::SetLayout(TButtonLayout value)
{
    layout_ = value;
    Invalidate();
}

void TRxSpeedButton::SetMargin(int value)
{
    margin_ = value < -1 ? -1 : value;
    Invalidate();
}

void TRxSpeedButton::SetMarkDropDown(bool value)
{
    markDropDown_ = value;
    Invalidate();
}

void TRxSpeedButton::SetSpacing(int value)
{
    spacing_ = value < -1 ? -1 : value;
    Invalidate();
}

void TRxSpeedButton::SetStyle(TButtonStyle value)
{
    style_ = value;
    Invalidate();
}

void TRxSpeedButton::SetTransparent(bool value)
{
    transparent_ = value;
    Invalidate();
}

void TRxSpeedButton::SetWordWrap(bool value)
{
    glyph_.WordWrap = value;
    Invalidate();
}

void TRxSpeedButton::SetEnabled(bool enabled)
{
    TGraphicControl::SetEnabled(enabled);
    if (!enabled) {
        StopTimer();
        SetMouseInControl(false);
    }
    state_ = !enabled ? TButtonState::bsDisabled : down_ ? TButtonState::bsExclusive : TButtonState::bsUp;
    Invalidate();
}

// --- painting ---

void TRxSpeedButton::PaintFrame(HDC dc, RECT& rect, bool pressed)
{
    const bool hot = mouseInControl_ && Enabled();
    TThemeServices& themes = ThemeServices();
    if (themes.ThemesEnabled()) {
        if (flat_) {
            int st = !Enabled()     ? ttbsDisabled
                     : pressed      ? ttbsPressed
                     : down_ && hot ? ttbsCheckedHot
                     : down_        ? ttbsChecked
                     : hot          ? ttbsHot
                                    : ttbsNormal;
            int code = static_cast<int>(ttbButtonNormal) + st;
            themes.DrawElement(dc, TThemeServices::GetToolBarDetails(code), rect);
        } else {
            int code = !Enabled()          ? tbPushDisabled
                       : pressed || down_  ? tbPushPressed
                       : hot               ? tbPushHot
                                           : tbPushNormal;
            themes.DrawElement(dc, TThemeServices::GetButtonDetails(code), rect);
        }
        themes.GetContentRect(dc, TThemeServices::GetButtonDetails(tbPushNormal), rect);
        InflateRect(&rect, -1, -1);
        return;
    }
    if (flat_ || flatStandard_) {
        if (pressed || down_)
            DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
        else if (hot || flatStandard_ || IsDesigning())
            DrawEdge(dc, &rect, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
        else
            InflateRect(&rect, -1, -1);
        if (down_ && !pressed && !transparent_) {
            HBRUSH b = GetSysColorBrush(COLOR_3DLIGHT);
            FillRect(dc, &rect, b);
        }
        InflateRect(&rect, -1, -1);
        return;
    }
    UINT state = DFCS_BUTTONPUSH | DFCS_ADJUSTRECT;
    if (pressed || down_)
        state |= DFCS_PUSHED;
    if (!NewStyle())
        state |= DFCS_FLAT;
    DrawFrameControl(dc, &rect, DFC_BUTTON, state);
    if (down_ && !pressed) {
        HBRUSH b = GetSysColorBrush(COLOR_3DLIGHT);
        FillRect(dc, &rect, b);
    }
}

void TRxSpeedButton::Paint(TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    RECT r = ClientRect();
    const bool pressed = state_ == TButtonState::bsDown;
    if (!transparent_)
        canvas.FillRect(r);
    else
        CopyParentImage(this, canvas);
    PaintFrame(dc, r, pressed);
    POINT offset = {0, 0};
    if (pressed || (down_ && !flat_))
        offset = POINT{1, 1};
    TButtonState look = !Enabled()                     ? TButtonState::bsDisabled
                        : pressed                      ? TButtonState::bsDown
                        : down_                        ? TButtonState::bsExclusive
                                                       : TButtonState::bsUp;
    if (look == TButtonState::bsUp && flat_ && grayedInactive_ && !mouseInControl_ && !IsForegroundTask())
        look = TButtonState::bsDisabled;
    RECT content = r;
    if (dropDownMenu_ && markDropDown_)
        content.right -= 8;
    canvas.TextExtent(" ");   // selects the font and its colour
    glyph_.Draw(dc, content, offset, Caption(), layout_, margin_, spacing_, look);
    if (dropDownMenu_ && markDropDown_) {
        // A small triangle pointing down at the right.
        int x = r.right - 7 + offset.x, y = (r.top + r.bottom) / 2 - 1 + offset.y;
        HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(Enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        HGDIOBJ old = SelectObject(dc, pen);
        for (int i = 0; i < 3; ++i) {
            MoveToEx(dc, x + i, y + i, nullptr);
            LineTo(dc, x + 5 - i, y + i);
        }
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

// --- mouse ---

void TRxSpeedButton::SetMouseInControl(bool inside)
{
    if (inside == mouseInControl_)
        return;
    mouseInControl_ = inside;
    mouseInside_ = inside;
    if (flat_ || ThemeServices().ThemesEnabled())
        Invalidate();
    if (inside) {
        if (OnMouseEnter)
            OnMouseEnter(this);
    } else if (OnMouseLeave) {
        OnMouseLeave(this);
    }
}

void TRxSpeedButton::MouseEnter()
{
    if (!mouseInControl_ && Enabled() && IsForegroundTask())
        SetMouseInControl(true);
}

void TRxSpeedButton::MouseLeave()
{
    mouseInside_ = false;
    if (mouseInControl_ && Enabled() && !dragging_)
        SetMouseInControl(false);
}

void TRxSpeedButton::CheckMouseState()
{
    bool over = false;
    if (Parent() && Parent()->HandleAllocated()) {
        POINT p;
        GetCursorPos(&p);
        if (WindowFromPoint(p) == Parent()->Handle())
            over = Parent()->GraphicControlAt(Parent()->ScreenToClient(p)) == this;
    }
    SetMouseInControl(over && Enabled() && IsForegroundTask());
}

bool TRxSpeedButton::ShowDropDown()
{
    if (!dropDownMenu_)
        return false;
    POINT p = menuPosition_ == TDropDownMenuPos::dmpBottom ? ClientToScreen(POINT{0, height_})
                                                           : ClientToScreen(POINT{width_, 0});
    std::weak_ptr<void> alive = AliveToken();
    dropDownMenu_->PopupComponent = this;
    dropDownMenu_->Popup(p.x, p.y);
    if (alive.expired())
        return true;
    RemovePendingClicks();
    return true;
}

// A press on the button that closed the menu is not a new press.
void TRxSpeedButton::RemovePendingClicks()
{
    if (!Parent() || !Parent()->HandleAllocated())
        return;
    HWND h = Parent()->Handle();
    MSG m;
    RECT r = BoundsRect();
    while (PeekMessageW(&m, h, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, PM_NOREMOVE)) {
        POINT p = {static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam))};
        if ((m.message != WM_LBUTTONDOWN && m.message != WM_LBUTTONDBLCLK) || !PtInRect(&r, p))
            break;
        PeekMessageW(&m, h, m.message, m.message, PM_REMOVE);
    }
}

void TRxSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    TGraphicControl::MouseDown(button, shift, x, y);
    if (alive.expired())
        return;
    if (button == TMouseButton::mbRight) {
        CheckMouseState();
        return;
    }
    if (button != TMouseButton::mbLeft || !Enabled() || inPress_)
        return;
    inPress_ = true;
    swallowClick_ = false;
    if (!down_) {
        state_ = TButtonState::bsDown;
        Invalidate();
        if (Parent() && Parent()->HandleAllocated())
            UpdateWindow(Parent()->Handle());
    }
    dragging_ = true;
    if (dropDownMenu_) {
        swallowClick_ = true;
        ShowDropDown();
        if (alive.expired())
            return;
        ButtonUp();
        return;
    }
    if (allowTimer_) {
        if (!repeatTimer_)
            repeatTimer_ = std::make_unique<TSimpleTimer>(initPause_, [this](TObject*) { TimerTick(); });
        repeatTimer_->SetInterval(initPause_);
        repeatTimer_->SetEnabled(true);
    }
}

void TRxSpeedButton::MouseMove(TShiftState shift, int x, int y)
{
    TGraphicControl::MouseMove(shift, x, y);
    if (!mouseInControl_ && Enabled() && IsForegroundTask())
        SetMouseInControl(x >= 0 && y >= 0 && x < width_ && y < height_);
    if (!dragging_)
        return;
    bool inside = x >= 0 && y >= 0 && x < width_ && y < height_;
    TButtonState want = inside ? TButtonState::bsDown : down_ ? TButtonState::bsExclusive : TButtonState::bsUp;
    if (!down_ && want != state_) {
        state_ = want;
        Invalidate();
    }
}

void TRxSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    if (button == TMouseButton::mbLeft && dragging_) {
        StopTimer();
        ButtonUp();
    }
    TGraphicControl::MouseUp(button, shift, x, y);
    if (!alive.expired() && button == TMouseButton::mbRight)
        CheckMouseState();
}

void TRxSpeedButton::ButtonUp()
{
    dragging_ = false;
    inPress_ = false;
    state_ = !Enabled() ? TButtonState::bsDisabled : down_ ? TButtonState::bsExclusive : TButtonState::bsUp;
    Invalidate();
}

void TRxSpeedButton::Click()
{
    // The layer calls this when the button is released over it.
    if (swallowClick_) {
        swallowClick_ = false;
        return;
    }
    std::weak_ptr<void> alive = AliveToken();
    if (groupIndex_ != 0) {
        if (!down_)
            SetDown(true);
        else if (allowAllUp_)
            SetDown(false);
    }
    if (!alive.expired())
        TGraphicControl::Click();
}

void TRxSpeedButton::TimerTick()
{
    if (!repeatTimer_)
        return;
    repeatTimer_->SetInterval(repeatInterval_);
    if (!dragging_ || !Enabled()) {
        StopTimer();
        return;
    }
    if (state_ == TButtonState::bsDown) {
        swallowClick_ = false;
        std::weak_ptr<void> alive = AliveToken();
        TGraphicControl::Click();
        if (alive.expired())
            return;
        // The release after repeating clicks is no further click.
        swallowClick_ = true;
    }
}

void TRxSpeedButton::StopTimer()
{
    if (repeatTimer_)
        repeatTimer_->SetEnabled(false);
}
