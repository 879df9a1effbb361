#include "platform/RadioGroup.h"

#include <algorithm>
#include <vector>

// --- TRadioButton ---

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner)
{
    controlStyle_ |= csClicksByCommand;
    width_ = 113;
    height_ = 17;
}

void TRadioButton::CreateParams(TCreateParams& params)
{
    params.className = L"BUTTON";
    params.systemClass = true;
    params.style |= BS_RADIOBUTTON;
    params.style &= ~WS_CLIPCHILDREN;
}

void TRadioButton::CreateHandleDone()
{
    TWinControl::CreateHandleDone();
    SendMessageW(Handle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool checked)
{
    if (checked == checked_)
        return;
    checked_ = checked;
    if (HandleAllocated())
        SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    // The picked button is the one Tab stops on.
    SetTabStop(checked);
    if (checked)
        Click();
}

bool TRadioButton::CommandNotify(WORD code)
{
    if (code != BN_CLICKED)
        return false;
    SetChecked(true);
    return true;
}

bool TRadioButton::DialogChar(wchar_t ch, TShiftState)
{
    if (!IsAccel(ch, Caption()) || !CanFocus())
        return false;
    SetFocus();
    SetChecked(true);
    return true;
}

void TRadioButton::KeyDown(WORD& key, TShiftState shift)
{
    TWinControl::KeyDown(key, shift);
    const bool forward = key == VK_DOWN || key == VK_RIGHT;
    if ((!forward && key != VK_UP && key != VK_LEFT) || (shift & (ssCtrl | ssAlt | ssShift)) || !Parent())
        return;
    std::vector<TRadioButton*> group;
    for (int i = 0; i < Parent()->ControlCount(); ++i)
        if (auto* b = dynamic_cast<TRadioButton*>(Parent()->Controls(i)))
            group.push_back(b);
    const auto self = std::find(group.begin(), group.end(), this);
    if (self == group.end())
        return;
    const size_t n = group.size(), at = static_cast<size_t>(self - group.begin());
    for (size_t step = 1; step < n; ++step) {
        TRadioButton* b = group[forward ? (at + step) % n : (at + n - step) % n];
        if (!b->CanFocus() || !b->HandleAllocated())
            continue;
        key = 0;
        b->SetFocus();
        b->SetChecked(true);
        return;
    }
}

// --- TRadioGroup ---

TRadioGroup::TRadioGroup(TComponent* owner) : TGroupBox(owner) {}

void TRadioGroup::SetItems(const std::vector<std::string>& items)
{
    while (Count() > static_cast<int>(items.size())) {
        delete buttons_.back();
        buttons_.pop_back();
    }
    for (size_t i = 0; i < items.size(); ++i) {
        if (i == buttons_.size()) {
            auto* b = new TRadioButton(this);
            int index = static_cast<int>(i);
            b->OnClick = [this, index](TObject*) { Pick(index); };
            b->SetEnabled(Enabled());
            b->SetParent(this);
            buttons_.push_back(b);
        }
        buttons_[i]->SetCaption(items[i]);
    }
    if (itemIndex_ >= Count())
        itemIndex_ = -1;
    if (itemIndex_ < 0 && Count() > 0)
        buttons_[0]->SetTabStop(true);
    ArrangeButtons();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < 0 || index >= Count()) {
        if (itemIndex_ >= 0)
            buttons_[static_cast<size_t>(itemIndex_)]->SetChecked(false);
        itemIndex_ = -1;
        return;
    }
    buttons_[static_cast<size_t>(index)]->SetChecked(true);   // raises Pick
}

void TRadioGroup::Pick(int index)
{
    if (index == itemIndex_)
        return;
    for (int i = 0; i < Count(); ++i)
        if (i != index)
            buttons_[static_cast<size_t>(i)]->SetChecked(false);
    itemIndex_ = index;
    Click();
}

void TRadioGroup::SetEnabled(bool enabled)
{
    TGroupBox::SetEnabled(enabled);
    for (TRadioButton* b : buttons_)
        b->SetEnabled(enabled);
    Invalidate();
}

void TRadioGroup::BoundsChanged()
{
    TGroupBox::BoundsChanged();
    ArrangeButtons();
}

void TRadioGroup::ArrangeButtons()
{
    if (buttons_.empty())
        return;
    RECT r = ClientRect();
    int n = Count();
    int rowHeight = std::max(17, static_cast<int>(r.bottom - r.top) / n);
    for (int i = 0; i < n; ++i)
        buttons_[static_cast<size_t>(i)]->SetBounds(r.left + 7, r.top + i * rowHeight + (rowHeight - 17) / 2,
                                                    std::max(10, static_cast<int>(r.right - r.left) - 12), 17);
}
