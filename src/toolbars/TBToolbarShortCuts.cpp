// Shortcut processing: toolbars with ProcessShortCuts or MenuBar join one
// list, and while it holds any a hook on the application window answers
// CM_APPKEYDOWN (a key-down no action list used) with the active form's
// toolbars, and CM_APPSYSCOMMAND (the form's menu key) with its menu bar.
// A menu bar also takes Alt+letter typed in other windows of its thread.
#include <algorithm>
#include <memory>

#include "platform/Application.h"
#include "platform/ControlMessages.h"
#include "platform/Form.h"
#include "toolbars/TBHooks.h"
#include "toolbars/TBToolbar.h"

namespace {

struct ShortCutList {
    std::vector<TTBCustomToolbar*> list;
    int hookId = 0;
};

ShortCutList& List()
{
    static ShortCutList l;
    return l;
}

bool Listed(TTBCustomToolbar* t)
{
    auto& l = List().list;
    return std::find(l.begin(), l.end(), t) != l.end();
}

// The form of the active window: the first of our forms up its parent and
// owner chain.
TForm* ActiveForm()
{
    for (HWND h = GetActiveWindow(); h; h = GetParent(h))
        if (auto* f = dynamic_cast<TForm*>(TWinControl::FromHandle(h)))
            return f;
    return nullptr;
}

// The active child of an MDI frame.
TForm* ActiveMDIChild(TForm* frame)
{
    if (!frame->HandleAllocated())
        return nullptr;
    HWND client = FindWindowExW(frame->Handle(), nullptr, L"MDICLIENT", nullptr);
    if (!client)
        return nullptr;
    HWND child = reinterpret_cast<HWND>(SendMessageW(client, WM_MDIGETACTIVE, 0, 0));
    return child ? dynamic_cast<TForm*>(TWinControl::FromHandle(child)) : nullptr;
}

// The listed toolbars of one form that answer shortcuts, offered the key
// in list order; true when one used it.
bool OfferToForm(TForm* form, WORD key, TShiftState shift)
{
    if (!form || !form->HandleAllocated() || !IsWindowEnabled(form->Handle()))
        return false;
    std::vector<TTBCustomToolbar*> list = List().list;
    for (TTBCustomToolbar* t : list) {
        if (!Listed(t) || !t->ProcessShortCuts() || t->GetParentForm() != form)
            continue;
        if (t->KeyboardShortCut(key, shift))
            return true;
    }
    return false;
}

bool AppKeyDown(WPARAM wParam, LPARAM lParam)
{
    TForm* active = ActiveForm();
    if (!active)
        return false;
    WORD key = static_cast<WORD>(wParam);
    TShiftState shift = ShiftFromKeyData(lParam);
    std::weak_ptr<void> alive = active->AliveToken();
    if (active->FormStyle() == TFormStyle::fsMDIForm)
        if (TForm* child = ActiveMDIChild(active); child && OfferToForm(child, key, shift))
            return true;
    if (alive.expired())
        return true;
    if (OfferToForm(active, key, shift))
        return true;
    if (alive.expired())
        return true;
    TForm* main = Application().MainForm();
    return main && main != active && OfferToForm(main, key, shift);
}

// WM_SYSCOMMAND to every visible, enabled toolbar on the control's
// windows; true at the first that answers.
bool SysCommandToToolbars(TWinControl* parent, WPARAM wParam, LPARAM lParam)
{
    std::vector<TWinControl*> list;
    for (int i = 0; i < parent->ControlCount(); ++i)
        if (auto* w = dynamic_cast<TWinControl*>(parent->Controls(i)))
            list.push_back(w);
    std::weak_ptr<void> alive = parent->AliveToken();
    for (TWinControl* w : list) {
        if (alive.expired())
            return true;
        if (!w->Visible() || !w->Enabled() || !w->HandleAllocated())
            continue;
        if (dynamic_cast<TTBCustomToolbar*>(w)) {
            if (SendMessageW(w->Handle(), WM_SYSCOMMAND, wParam, lParam) != 0)
                return true;
            continue;
        }
        if (SysCommandToToolbars(w, wParam, lParam))
            return true;
    }
    return false;
}

bool AppSysCommand(WPARAM wParam, LPARAM lParam)
{
    TForm* active = ActiveForm();
    if (!active || !active->HandleAllocated() || !IsWindowEnabled(active->Handle()) ||
        !IsWindowVisible(active->Handle()))
        return false;
    return SysCommandToToolbars(active, wParam, lParam);
}

bool MainWindowHook(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == CM_APPKEYDOWN) {
        if (AppKeyDown(wParam, lParam)) {
            result = 1;
            return true;
        }
        return false;
    }
    if (msg == CM_APPSYSCOMMAND) {
        if (AppSysCommand(wParam, lParam)) {
            result = 1;
            return true;
        }
        return false;
    }
    return false;
}

// A menu bar's message hook: Alt+letter typed in another window of the
// thread goes to the main form, so the menu bar sees its SC_KEYMENU.
void MenuBarMessageHook(TThreadHookEvent event, HWND, WPARAM, LPARAM lParam)
{
    if (event != hpeGetMessage)
        return;
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (!msg || msg->message != WM_SYSCHAR || GetCapture())
        return;
    TForm* main = Application().MainForm();
    if (!main || !main->HandleAllocated() || msg->hwnd == main->Handle())
        return;
    // Alt+"-" opens a child window's own system menu.
    if (msg->wParam == '-' && IsChild(GetFocus(), msg->hwnd))
        return;
    HWND root = GetAncestor(msg->hwnd, GA_ROOT);
    if (root == main->Handle())
        return;
    msg->hwnd = main->Handle();
}

}  // namespace

const std::vector<TTBCustomToolbar*>& ShortCutToolbars() { return List().list; }

void TTBCustomToolbar::UpdateShortCutRegistration()
{
    ShortCutList& l = List();
    bool want = (processShortCuts_ || menuBar_) && !IsDesigning() && !IsDestroying();
    if (want == Listed(this))
        return;
    if (want) {
        l.list.push_back(this);
        if (!l.hookId)
            l.hookId = Application().HookMainWindow(&MainWindowHook);
    } else {
        l.list.erase(std::remove(l.list.begin(), l.list.end(), this), l.list.end());
        if (l.list.empty() && l.hookId) {
            Application().UnhookMainWindow(l.hookId);
            l.hookId = 0;
        }
    }
}

void TTBCustomToolbar::UpdateMenuBarHook()
{
    bool want = menuBar_ && !IsDesigning() && !IsDestroying();
    if (want == menuBarHooked_)
        return;
    menuBarHooked_ = want;
    if (want)
        RegisterThreadHook(this, &MenuBarMessageHook, HookEventBit(hpeGetMessage));
    else
        UnregisterThreadHook(this, &MenuBarMessageHook);
}
