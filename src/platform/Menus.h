// Popup menus built in code. A menu item frees its sub-items; the menu is
// built into a Win32 menu each time it pops up, so nothing the user sees
// depends on an object that may be freed while the menu loop runs.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Component.h"

class TBasicAction;
class TMenuActionLink;

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
    // Shown right of the caption (the linked action's shortcut).
    std::string ShortCutText;
    // "short|long": the long part goes to the application's hint (the
    // status bar) while the item is selected in an open menu.
    std::string Hint;

    // Linked to an action, the item shows the action's caption, shortcut,
    // enabled, checked and visible state, and a click runs the action.
    TBasicAction* Action() const;
    void SetAction(TBasicAction* action);
    // Asks the linked action to refresh its state (a menu does it before it
    // shows the item).
    void InitiateAction();

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    TMenuItem* Parent() const { return parent_; }
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    // Adds a new item owned by this item's owner.
    TMenuItem* Add(const std::string& caption, TNotifyEvent onClick = nullptr);
    virtual void Click();

private:
    friend class TMenuActionLink;
    void ActionChanged();
    TMenuItem* parent_ = nullptr;
    std::vector<TMenuItem*> items_;
    TMenuActionLink* actionLink_ = nullptr;
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

// The menu bar of a form. Each top-level item is a drop-down; the drop-downs
// are filled anew (their actions refreshed first) every time they open, so
// the bar never shows a freed item. The form hands its menu messages to
// HandleMessage.
class TMainMenu : public TComponent {
public:
    explicit TMainMenu(TComponent* owner);
    ~TMainMenu() override;

    TMenuItem& Items() { return *items_; }
    // Puts the bar on the window (nullptr takes it off).
    void Attach(HWND window);
    HWND Window() const { return window_; }
    // Builds the bar again from the top-level items (after their captions
    // or their number changed).
    void Rebuild();
    // WM_INITMENUPOPUP fills a drop-down, WM_COMMAND from a menu runs the
    // item, WM_MENUSELECT puts the selected item's hint into the
    // application's hint. True when the message was the menu's.
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Runs the item with the command id the bar gave it (tests use it as
    // the system does on a choice). False when no item has it.
    bool ClickCommand(UINT id);
    // The command id of a shown item (0 when it is not in a filled drop-down).
    UINT CommandOf(const TMenuItem* item) const;
    HMENU Handle() const { return menu_; }

private:
    struct Command {
        TMenuItem* item;
        std::weak_ptr<void> alive;
    };
    void Fill(HMENU menu, TMenuItem& parent);
    HMENU menu_ = nullptr;
    HWND window_ = nullptr;
    TMenuItem* items_;
    std::vector<std::pair<HMENU, TMenuItem*>> dropDowns_;
    size_t topDropDowns_ = 0;
    std::vector<Command> commands_;
};
