#include "platform/Menus.h"

#include <algorithm>

#include "platform/Application.h"
#include "platform/Text.h"

// --- TMenuItem ---

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem()
{
    while (!items_.empty()) {
        TMenuItem* c = items_.back();
        items_.pop_back();
        c->parent_ = nullptr;
        delete c;
    }
    if (parent_)
        parent_->Remove(this);
}

void TMenuItem::Add(TMenuItem* item)
{
    if (!item || item == this)
        return;
    if (item->parent_)
        item->parent_->Remove(item);
    items_.push_back(item);
    item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item)
{
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end())
        return;
    items_.erase(it);
    item->parent_ = nullptr;
}

TMenuItem* TMenuItem::Add(const std::string& caption, TNotifyEvent onClick)
{
    auto* item = new TMenuItem(Owner());
    item->Caption = caption;
    item->OnClick = std::move(onClick);
    Add(item);
    return item;
}

void TMenuItem::Click()
{
    if (Enabled && OnClick)
        OnClick(this);
}

// --- TPopupMenu ---

namespace {

struct Built {
    std::vector<TMenuItem*> items;
    std::vector<std::weak_ptr<void>> alive;
};

HMENU BuildMenu(TMenuItem& parent, Built& built)
{
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < parent.Count(); ++i) {
        TMenuItem* item = parent.Items(i);
        if (!item->Visible)
            continue;
        if (item->Caption == "-") {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        std::wstring text = Utf8ToWide(item->Caption);
        UINT flags = MF_STRING | (item->Enabled ? 0 : MF_GRAYED) | (item->Checked ? MF_CHECKED : 0);
        if (item->Count() > 0) {
            HMENU sub = BuildMenu(*item, built);
            AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text.c_str());
        } else {
            built.items.push_back(item);
            built.alive.push_back(item->AliveToken());
            UINT id = static_cast<UINT>(built.items.size());
            AppendMenuW(menu, flags, id, text.c_str());
            if (item->Default)
                SetMenuDefaultItem(menu, id, FALSE);
        }
    }
    return menu;
}

}  // namespace

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) {}

TPopupMenu::~TPopupMenu() { delete items_; }

void TPopupMenu::Popup(int x, int y)
{
    std::weak_ptr<void> alive = AliveToken();
    if (OnPopup)
        OnPopup(this);
    if (alive.expired())
        return;
    Built built;
    HMENU menu = BuildMenu(*items_, built);
    HWND owner = Application().Handle();
    ++popping_;
    Application().BeginNestedLoop();
    UINT cmd = static_cast<UINT>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, x, y,
                                                  owner, nullptr));
    Application().EndNestedLoop();
    DestroyMenu(menu);
    if (alive.expired())
        return;
    --popping_;
    if (cmd >= 1 && cmd <= built.items.size() && !built.alive[cmd - 1].expired())
        built.items[cmd - 1]->Click();
}
