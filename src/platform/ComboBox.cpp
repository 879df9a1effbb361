#include "platform/ComboBox.h"

#include <algorithm>

#include "platform/Text.h"

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner)
{
    width_ = 145;
    height_ = 21;
    SetColor(GetSysColor(COLOR_WINDOW));
    SetTabStop(true);
}

void TComboBox::CreateParams(TCreateParams& params)
{
    params.className = L"COMBOBOX";
    params.systemClass = true;
    params.style |= CBS_DROPDOWNLIST | WS_VSCROLL;
    params.style &= ~WS_CLIPCHILDREN;
}

void TComboBox::CreateHandleDone()
{
    TWinControl::CreateHandleDone();
    FillWindow();
    BoundsChanged();
}

// The window's height is that of the open list: the closed box keeps its own.
void TComboBox::BoundsChanged()
{
    if (!HandleAllocated()) {
        TWinControl::BoundsChanged();
        return;
    }
    int itemHeight = static_cast<int>(SendMessageW(Handle(), CB_GETITEMHEIGHT, 0, 0));
    int listHeight = std::max(1, std::min(dropDownCount_, std::max(1, Count()))) * std::max(1, itemHeight) + 2;
    SetWindowPos(Handle(), nullptr, left_, top_, width_, height_ + listHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TComboBox::FillWindow()
{
    if (!HandleAllocated())
        return;
    HWND h = Handle();
    SendMessageW(h, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items_) {
        std::wstring w = Utf8ToWide(item);
        SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
    }
    SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}

void TComboBox::SetItems(const std::vector<std::string>& items)
{
    int keep = ItemIndex();
    items_ = items;
    itemIndex_ = keep < Count() ? keep : -1;
    FillWindow();
    BoundsChanged();
}

int TComboBox::ItemIndex() const
{
    if (HandleAllocated())
        return static_cast<int>(SendMessageW(const_cast<TComboBox*>(this)->Handle(), CB_GETCURSEL, 0, 0));
    return itemIndex_;
}

void TComboBox::SetItemIndex(int index)
{
    itemIndex_ = index >= 0 && index < Count() ? index : -1;
    if (HandleAllocated())
        SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}

void TComboBox::SetDropDownCount(int count)
{
    dropDownCount_ = std::max(1, count);
    BoundsChanged();
}

bool TComboBox::DroppedDown() const
{
    return HandleAllocated() &&
           SendMessageW(const_cast<TComboBox*>(this)->Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

bool TComboBox::CommandNotify(WORD code)
{
    if (code != CBN_SELCHANGE)
        return false;
    int now = static_cast<int>(SendMessageW(Handle(), CB_GETCURSEL, 0, 0));
    if (now != itemIndex_) {
        itemIndex_ = now;
        if (OnChange)
            OnChange(this);
    }
    return true;
}
