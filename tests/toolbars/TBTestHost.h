// A test-only control that shows a horizontal toolbar view until the real
// toolbar exists: it sizes itself to the view, paints it, follows the mouse,
// starts the menu loop on a press over an item and enters keyboard menu
// mode when its form gets the menu key (F10 or Alt alone). With a chevron,
// items that do not fit its width go behind it.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/Control.h"
#include "platform/Form.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBView.h"

class TTBTestHost;

class TTBTestHostView : public TTBView {
public:
    TTBTestHostView(TTBTestHost* host, TTBCustomItem* root, bool usePriorityList);
    void AutoSize(int width, int height) override;
    TTBCustomItem* GetChevronItem() override;
    void InvalidatePositions() override;
    TFont& GetFont() override;

private:
    TTBTestHost* host_;
};

// The chevron: a submenu item whose popup shows the view's hidden items.
class TTBTestChevronItem : public TTBCustomItem {
public:
    explicit TTBTestChevronItem(TComponent* owner);
    TTBView* GetChevronParentView() override { return view; }
    TTBView* view = nullptr;
};

class TTBTestHost : public TWinControl {
public:
    // withChevron: items beyond ChevronWidth hide behind a chevron.
    explicit TTBTestHost(TComponent* owner, bool withChevron = false, bool usePriorityList = false);
    ~TTBTestHost() override;

    TTBRootItem* Items() const { return items_; }
    TTBTestHostView* View() const { return view_; }
    TTBTestChevronItem* Chevron() const { return chevron_; }

    // A fixed width (the chevron then limits the row to it); 0 follows the items.
    void SetFixedWidth(int width);
    int FixedWidth() const { return fixedWidth_; }

    // The form's menu key: the first item selected, its accelerator shown,
    // the loop entered by keyboard. With a key, the item whose accelerator
    // it is opens at once (Alt+letter).
    void EnterMenuMode(wchar_t accelerator = 0);

    void WndProc(TMessage& message) override;

private:
    TTBRootItem* items_;
    TTBTestChevronItem* chevron_ = nullptr;
    TTBTestHostView* view_ = nullptr;
    int fixedWidth_ = 0;
};

// A form that gives its menu key (SC_KEYMENU) to a test host.
class TTBTestForm : public TForm {
public:
    TTBTestForm();
    TTBTestHost* host = nullptr;
    void WndProc(TMessage& message) override;
};

// Runs a function on the thread that made this object (inside whatever
// message loop that thread is in) and waits for it: how a driver thread
// looks at views and items while a menu loop runs.
class TGuiCall {
public:
    TGuiCall();
    ~TGuiCall();
    TGuiCall(const TGuiCall&) = delete;
    TGuiCall& operator=(const TGuiCall&) = delete;
    // False when the GUI thread did not answer within timeoutMs.
    bool Run(const std::function<void()>& fn, DWORD timeoutMs = 5000);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND wnd_ = nullptr;
};

// The visible popup windows of this process, in no particular order.
std::vector<HWND> VisiblePopupWindows();
