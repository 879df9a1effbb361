// Popup menus built in code. A menu item frees its sub-items; the menu is
// built into a Win32 menu each time it pops up, so nothing the user sees
// depends on an object that may be freed while the menu loop runs.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Component.h"

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;

    std::string Caption;     // "-" makes a separator
    bool Default = false;    // shown bold; run by a tray double click
    bool Enabled = true;
    bool Checked = false;
    bool Visible = true;
    TNotifyEvent OnClick;

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    TMenuItem* Parent() const { return parent_; }
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    // Adds a new item owned by this item's owner.
    TMenuItem* Add(const std::string& caption, TNotifyEvent onClick = nullptr);
    virtual void Click();

private:
    TMenuItem* parent_ = nullptr;
    std::vector<TMenuItem*> items_;
};

class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* owner);
    ~TPopupMenu() override;

    TMenuItem& Items() { return *items_; }
    bool AutoPopup = true;
    // The component that popped the menu up last (set by the caller).
    TComponent* PopupComponent = nullptr;
    TNotifyEvent OnPopup;

    // Shows the menu at a screen point and runs the chosen item's Click.
    // Returns when the menu is closed.
    virtual void Popup(int x, int y);
    bool PoppedUp() const { return popping_ > 0; }

private:
    TMenuItem* items_;
    int popping_ = 0;
};
