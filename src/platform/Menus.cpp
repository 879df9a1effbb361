#include "platform/Menus.h"

#include <algorithm>

#include "platform/Actions.h"
#include "platform/Application.h"
#include "platform/Hints.h"
#include "platform/Text.h"

// --- action link ---

class TMenuActionLink : public TActionLink {
public:
    explicit TMenuActionLink(TMenuItem* item) : TActionLink(item), item_(item) {}

protected:
    void Change() override { item_->ActionChanged(); }

private:
    TMenuItem* item_;
};

// --- TMenuItem ---

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TBasicAction* TMenuItem::Action() const
{
    return actionLink_ ? actionLink_->Action() : nullptr;
}

void TMenuItem::SetAction(TBasicAction* action)
{
    if (!action) {
        delete actionLink_;
        actionLink_ = nullptr;
        return;
    }
    if (!actionLink_)
        actionLink_ = new TMenuActionLink(this);
    actionLink_->SetAction(action);
    ActionChanged();
}

void TMenuItem::ActionChanged()
{
    auto* a = actionLink_ ? actionLink_->CustomAction() : nullptr;
    if (!a)
        return;
    Caption = a->Caption();
    Enabled = a->Enabled();
    Checked = a->Checked();
    Visible = a->Visible();
    ShortCutText = ShortCutToText(a->ShortCut());
    Hint = a->Hint();
}

void TMenuItem::InitiateAction()
{
    if (actionLink_ && actionLink_->Action()) {
        actionLink_->Update();
        ActionChanged();
    }
}

TMenuItem::~TMenuItem()
{
    delete actionLink_;
    actionLink_ = nullptr;
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
    if (!Enabled)
        return;
    if (OnClick) {
        OnClick(this);
        return;
    }
    if (actionLink_)
        actionLink_->Execute(this);
}

// --- TPopupMenu ---

namespace {

// The status bar follows the item selected in an open menu: its long hint,
// nothing once the menu closes.
void ShowMenuHint(const TMenuItem* item)
{
    Application().SetHint(item ? GetLongHint(item->Hint) : std::string());
}

struct Built {
    std::vector<TMenuItem*> items;
    std::vector<std::weak_ptr<void>> alive;
};

std::wstring ItemText(const TMenuItem& item)
{
    std::wstring text = Utf8ToWide(item.Caption);
    if (!item.ShortCutText.empty())
        text += L"\t" + Utf8ToWide(item.ShortCutText);
    return text;
}

HMENU BuildMenu(TMenuItem& parent, Built& built)
{
    HMENU menu = CreatePopupMenu();
    std::weak_ptr<void> parentAlive = parent.AliveToken();
    for (int i = 0; i < parent.Count(); ++i) {
        TMenuItem* item = parent.Items(i);
        // An action's update may do anything, even free menu items.
        std::weak_ptr<void> itemAlive = item->AliveToken();
        item->InitiateAction();
        if (parentAlive.expired())
            break;
        if (itemAlive.expired() || i >= parent.Count() || parent.Items(i) != item)
            continue;
        if (!item->Visible)
            continue;
        if (item->Caption == "-") {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        std::wstring text = ItemText(*item);
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
    // The menu's messages go to its owner, the application window.
    int hook = Application().HookMainWindow([&built](UINT msg, WPARAM wParam, LPARAM lParam, LRESULT&) {
        if (msg != WM_MENUSELECT)
            return false;
        UINT id = LOWORD(wParam);
        bool command = !(HIWORD(wParam) & MF_POPUP) && HIWORD(wParam) != 0xFFFF;
        ShowMenuHint(command && lParam && id >= 1 && id <= built.items.size() && !built.alive[id - 1].expired()
                         ? built.items[id - 1]
                         : nullptr);
        return false;
    });
    Application().BeginNestedLoop();
    UINT cmd = static_cast<UINT>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, x, y,
                                                  owner, nullptr));
    Application().EndNestedLoop();
    Application().UnhookMainWindow(hook);
    ShowMenuHint(nullptr);
    DestroyMenu(menu);
    if (alive.expired())
        return;
    --popping_;
    if (cmd >= 1 && cmd <= built.items.size() && !built.alive[cmd - 1].expired())
        built.items[cmd - 1]->Click();
}

// --- TMainMenu ---

TMainMenu::TMainMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) {}

TMainMenu::~TMainMenu()
{
    Attach(nullptr);
    if (menu_)
        DestroyMenu(menu_);
    delete items_;
}

void TMainMenu::Attach(HWND window)
{
    if (window_ && IsWindow(window_) && GetMenu(window_) == menu_)
        SetMenu(window_, nullptr);
    window_ = window;
    if (window_)
        Rebuild();
}

void TMainMenu::Rebuild()
{
    HMENU old = menu_;
    menu_ = CreateMenu();
    dropDowns_.clear();
    for (int i = 0; i < items_->Count(); ++i) {
        TMenuItem* item = items_->Items(i);
        if (!item->Visible)
            continue;
        // Each drop-down holds one placeholder until it opens.
        HMENU drop = CreatePopupMenu();
        AppendMenuW(drop, MF_STRING | MF_GRAYED, 0xFFFF, L"");
        AppendMenuW(menu_, MF_STRING | MF_POPUP | (item->Enabled ? 0 : MF_GRAYED),
                    reinterpret_cast<UINT_PTR>(drop), Utf8ToWide(item->Caption).c_str());
        dropDowns_.push_back({drop, item});
    }
    topDropDowns_ = dropDowns_.size();
    if (window_ && IsWindow(window_)) {
        SetMenu(window_, menu_);
        DrawMenuBar(window_);
    }
    if (old)
        DestroyMenu(old);
}

void TMainMenu::Fill(HMENU menu, TMenuItem& parent)
{
    while (GetMenuItemCount(menu) > 0)
        DeleteMenu(menu, 0, MF_BYPOSITION);
    std::weak_ptr<void> parentAlive = parent.AliveToken();
    for (int i = 0; i < parent.Count(); ++i) {
        TMenuItem* item = parent.Items(i);
        std::weak_ptr<void> itemAlive = item->AliveToken();
        item->InitiateAction();
        if (parentAlive.expired())
            return;
        if (itemAlive.expired() || i >= parent.Count() || parent.Items(i) != item || !item->Visible)
            continue;
        if (item->Caption == "-") {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING | (item->Enabled ? 0 : MF_GRAYED) | (item->Checked ? MF_CHECKED : 0);
        if (item->Count() > 0) {
            HMENU sub = CreatePopupMenu();
            AppendMenuW(sub, MF_STRING | MF_GRAYED, 0xFFFF, L"");
            dropDowns_.push_back({sub, item});
            AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), ItemText(*item).c_str());
        } else {
            commands_.push_back({item, item->AliveToken()});
            AppendMenuW(menu, flags, static_cast<UINT>(commands_.size()), ItemText(*item).c_str());
        }
    }
}

bool TMainMenu::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITMENU && reinterpret_cast<HMENU>(wParam) == menu_) {
        // A new round of the bar: command ids start again.
        commands_.clear();
        dropDowns_.resize(topDropDowns_);
        return false;
    }
    if (msg == WM_INITMENUPOPUP && !HIWORD(lParam)) {
        HMENU menu = reinterpret_cast<HMENU>(wParam);
        for (auto& [drop, item] : dropDowns_) {
            if (drop == menu) {
                TMenuItem* parent = item;
                Fill(menu, *parent);
                return true;
            }
        }
        return false;
    }
    if (msg == WM_COMMAND && HIWORD(wParam) == 0 && lParam == 0)
        return ClickCommand(LOWORD(wParam));
    if (msg == WM_MENUSELECT) {
        const TMenuItem* item = nullptr;
        UINT id = LOWORD(wParam), flags = HIWORD(wParam);
        if (lParam && flags != 0xFFFF) {
            if (flags & MF_POPUP) {
                HMENU sub = GetSubMenu(reinterpret_cast<HMENU>(lParam), static_cast<int>(id));
                for (auto& [drop, parent] : dropDowns_)
                    if (drop == sub)
                        item = parent;
            } else if (id >= 1 && id <= commands_.size() && !commands_[id - 1].alive.expired()) {
                item = commands_[id - 1].item;
            }
        }
        ShowMenuHint(item);
        return false;
    }
    return false;
}

bool TMainMenu::ClickCommand(UINT id)
{
    if (id < 1 || id > commands_.size())
        return false;
    Command c = commands_[id - 1];
    if (c.alive.expired())
        return true;
    c.item->Click();
    return true;
}

UINT TMainMenu::CommandOf(const TMenuItem* item) const
{
    for (size_t i = 0; i < commands_.size(); ++i)
        if (commands_[i].item == item && !commands_[i].alive.expired())
            return static_cast<UINT>(i + 1);
    return 0;
}
