#include "platform/SpinEdit.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "platform/StdCtrls.h"

namespace {

constexpr int kArrowsWidth = 17;

void EnsureUpDownClass()
{
    static bool done = [] {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

}  // namespace

TSpinEdit::TSpinEdit(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csAcceptsControls;
    width_ = 121;
    height_ = 21;
    edit_ = new TEdit(this);
    edit_->SetParent(this);
    edit_->OnChange = [this](TObject*) {
        if (OnChange)
            OnChange(this);
    };
    edit_->SetText("0");
}

void TSpinEdit::CreateParams(TCreateParams& params)
{
    params.className = L"BrenixSpinEdit";
    params.classStyle = CS_DBLCLKS;
    // The edit takes Tab stops; the container only holds it.
    params.exStyle |= WS_EX_CONTROLPARENT;
}

void TSpinEdit::CreateHandleDone()
{
    TWinControl::CreateHandleDone();
    HWND editWnd = edit_->Handle();
    SetWindowLongW(editWnd, GWL_STYLE, GetWindowLongW(editWnd, GWL_STYLE) | ES_NUMBER);
    if (maxLength_ > 0)
        SendMessageW(editWnd, EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
    EnsureUpDownClass();
    upDown_ = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                              WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS | UDS_SETBUDDYINT | UDS_NOTHOUSANDS, 0, 0,
                              kArrowsWidth, height_, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (upDown_) {
        SendMessageW(upDown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(editWnd), 0);
        SendMessageW(upDown_, UDM_SETRANGE32, static_cast<WPARAM>(minValue_), static_cast<LPARAM>(maxValue_));
        UDACCEL accel = {0, static_cast<UINT>(increment_)};
        SendMessageW(upDown_, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
        EnableWindow(upDown_, Enabled());
    }
    Layout();
}

void TSpinEdit::DestroyWnd()
{
    upDown_ = nullptr;   // a child: it goes with our window
    TWinControl::DestroyWnd();
}

void TSpinEdit::WndProc(TMessage& m)
{
    if (m.Msg == WM_DESTROY)
        upDown_ = nullptr;
    TWinControl::WndProc(m);
}

void TSpinEdit::BoundsChanged()
{
    TWinControl::BoundsChanged();
    Layout();
}

void TSpinEdit::Layout()
{
    int arrows = std::min(kArrowsWidth, width_);
    edit_->SetBounds(0, 0, width_ - arrows, height_);
    if (upDown_)
        MoveWindow(upDown_, width_ - arrows, 0, arrows, height_, TRUE);
}

void TSpinEdit::SetRange(int minValue, int maxValue)
{
    minValue_ = minValue;
    maxValue_ = std::max(minValue, maxValue);
    if (upDown_)
        SendMessageW(upDown_, UDM_SETRANGE32, static_cast<WPARAM>(minValue_), static_cast<LPARAM>(maxValue_));
}

void TSpinEdit::SetIncrement(int increment)
{
    increment_ = std::max(1, increment);
    if (upDown_) {
        UDACCEL accel = {0, static_cast<UINT>(increment_)};
        SendMessageW(upDown_, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
    }
}

void TSpinEdit::SetMaxLength(int length)
{
    maxLength_ = std::max(0, length);
    if (edit_->HandleAllocated())
        SendMessageW(edit_->Handle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

std::string TSpinEdit::Text() const { return edit_->Text(); }

int TSpinEdit::Value() const
{
    std::string text = edit_->Text();
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end == text.c_str())
        return minValue_;
    return static_cast<int>(std::clamp<long>(v, minValue_, maxValue_));
}

void TSpinEdit::SetValue(int value)
{
    value = std::clamp(value, minValue_, maxValue_);
    edit_->SetText(std::to_string(value));
}

void TSpinEdit::SetEnabled(bool enabled)
{
    TWinControl::SetEnabled(enabled);
    edit_->SetEnabled(enabled);
    if (upDown_)
        EnableWindow(upDown_, enabled);
}
