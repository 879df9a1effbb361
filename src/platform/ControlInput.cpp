// Keyboard, focus and cursor handling of the window layer.
//
// Key messages reach the focused control's window procedure. Tab, Enter and
// Esc that the window does not ask for (WM_GETDLGCODE) go to the form first,
// which moves the focus or presses its default or cancel button; what the
// form does not use reaches KeyDown and then the window. Characters typed
// with Alt, or on a window that takes no characters, are offered to the
// form's controls as accelerators (a label's "&" letter focuses its
// FocusControl). Before all that a key-down is a shortcut: the form's
// action lists see it first, then the application window (CM_APPKEYDOWN),
// where main-window hooks such as toolbars answering shortcuts see it.
// This runs inside the window procedure, so it works under
// any message loop that translates messages (ours, a test's, a modal one).
#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/Actions.h"
#include "platform/Application.h"
#include "platform/Control.h"
#include "platform/ControlMessages.h"
#include "platform/Text.h"

TShiftState ShiftFromKeyData(LPARAM keyData)
{
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0)
        s |= ssCtrl;
    if ((keyData & (1L << 29)) || GetKeyState(VK_MENU) < 0)
        s |= ssAlt;
    return s;
}

bool IsAccel(wchar_t ch, const std::string& caption)
{
    std::wstring w = Utf8ToWide(caption);
    for (size_t i = 0; i + 1 < w.size(); ++i) {
        if (w[i] != L'&')
            continue;
        if (w[i + 1] == L'&') {   // "&&": a plain ampersand
            ++i;
            continue;
        }
        wchar_t a[2] = {w[i + 1], 0}, b[2] = {ch, 0};
        CharUpperW(a);
        CharUpperW(b);
        return a[0] == b[0];
    }
    return false;
}

// --- TControl ---

bool TControl::DialogKey(WORD, TShiftState) { return false; }

bool TControl::DialogChar(wchar_t, TShiftState) { return false; }

// --- TWinControl: focus and tab order ---

bool TWinControl::CanFocus() const
{
    for (const TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled())
            return false;
    return true;
}

bool TWinControl::TabStop() const
{
    if (hwnd_)
        return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_TABSTOP) != 0;
    return tabStop_;
}

void TWinControl::SetTabStop(bool tabStop)
{
    tabStop_ = tabStop;
    if (!hwnd_)
        return;
    LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
    style = tabStop ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
    SetWindowLongW(hwnd_, GWL_STYLE, style);
}

TWinControl* TWinControl::ParentForm()
{
    TWinControl* c = this;
    while (c->Parent())
        c = c->Parent();
    return c;
}

TWinControl* TWinControl::ActiveControl() const
{
    HWND focus = GetFocus();
    if (!focus || !hwnd_)
        return nullptr;
    // A system control's inner window (a combo box's edit) counts as the control.
    for (HWND h = focus; h; h = GetParent(h)) {
        TWinControl* c = FromHandle(h);
        if (!c)
            continue;
        for (const TControl* p = c; p; p = p->Parent())
            if (p == this)
                return c;
        return nullptr;
    }
    return nullptr;
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const
{
    for (int i = 0; i < ControlCount(); ++i) {
        auto* w = dynamic_cast<TWinControl*>(Controls(i));
        if (!w)
            continue;
        list.push_back(w);
        if (w->ControlStyle() & csAcceptsControls)
            w->GetTabOrderList(list);
    }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward, bool checkTabStop) const
{
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    if (list.empty())
        return nullptr;
    const int n = static_cast<int>(list.size());
    int start = -1;
    for (int i = 0; i < n; ++i)
        if (list[static_cast<size_t>(i)] == current)
            start = i;
    if (start < 0)
        start = forward ? n - 1 : 0;   // the first step lands on the first (last) control
    for (int step = 1; step <= n; ++step) {
        int i = forward ? (start + step) % n : (start - step + n) % n;
        TWinControl* c = list[static_cast<size_t>(i)];
        if (c == current && step < n)
            continue;
        if (!c->CanFocus() || !c->HandleAllocated() || !IsWindowVisible(c->hwnd_) || !IsWindowEnabled(c->hwnd_))
            continue;
        if (checkTabStop && !c->TabStop())
            continue;
        // A container is a stop only when nothing inside it can be, or
        // when it is one of its own.
        if ((c->ControlStyle() & csAcceptsControls) && !c->TabStopOfItsOwn() &&
            c->FindNextControl(nullptr, true, checkTabStop))
            continue;
        return c;
    }
    return nullptr;
}

bool TWinControl::SelectNext(TWinControl* current, bool forward, bool checkTabStop)
{
    TWinControl* next = FindNextControl(current, forward, checkTabStop);
    if (!next)
        return false;
    next->SetFocus();
    return true;
}

// --- TWinControl: keys ---

void TWinControl::KeyDown(WORD& key, TShiftState shift)
{
    if (OnKeyDown)
        OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(WORD& key, TShiftState shift)
{
    if (OnKeyUp)
        OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(wchar_t& key)
{
    if (OnKeyPress)
        OnKeyPress(this, key);
}

bool TWinControl::DialogKey(WORD key, TShiftState shift)
{
    std::vector<TControl*> list = controls_;
    std::weak_ptr<void> alive = AliveToken();
    for (TControl* c : list) {
        if (alive.expired())
            return true;
        // A child freed by an earlier one's handler is no longer in the list.
        if (std::find(controls_.begin(), controls_.end(), c) == controls_.end() || !c->Visible())
            continue;
        if (c->DialogKey(key, shift))
            return true;
    }
    return false;
}

bool TWinControl::DialogChar(wchar_t ch, TShiftState shift)
{
    std::vector<TControl*> list = controls_;
    std::weak_ptr<void> alive = AliveToken();
    for (TControl* c : list) {
        if (alive.expired())
            return true;
        if (std::find(controls_.begin(), controls_.end(), c) == controls_.end() || !c->Visible())
            continue;
        if (c->DialogChar(ch, shift))
            return true;
    }
    return false;
}

UINT TWinControl::WindowDialogCode(WORD key)
{
    if (!hwnd_)
        return 0;
    MSG msg = {};
    msg.hwnd = hwnd_;
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    return static_cast<UINT>(SendMessageW(hwnd_, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&msg)));
}

bool TWinControl::OfferDialogKey(WORD key, TShiftState shift)
{
    UINT want = 0;
    switch (key) {
    case VK_TAB:
        want = DLGC_WANTTAB;
        break;
    case VK_RETURN:
    case VK_ESCAPE:
        want = DLGC_WANTALLKEYS;
        break;
    default:
        return false;
    }
    UINT code = WindowDialogCode(key);
    if (code & (want | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))
        return false;
    TWinControl* form = ParentForm();
    return form && form->DialogKey(key, shift);
}

bool TWinControl::OfferDialogChar(wchar_t ch, TShiftState shift)
{
    if (ch < L' ')
        return false;
    TWinControl* form = ParentForm();
    return form && form->DialogChar(ch, shift);
}

namespace {

bool IsModifierKey(WORD key)
{
    switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_LMENU:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool TWinControl::OfferShortCut(WORD key, LPARAM keyData)
{
    if (IsModifierKey(key))
        return false;
    std::weak_ptr<void> alive = AliveToken();
    if (FormActionListsShortCut(ParentForm(), ShortCut(key, ShiftFromKeyData(keyData))))
        return true;
    if (alive.expired())
        return true;
    HWND app = Application().Handle();
    return app && SendMessageW(app, CM_APPKEYDOWN, key, keyData) != 0;
}

namespace {

// The character TranslateMessage queued for a key we used (Tab, Enter, Esc)
// is dropped so the window that lost the key does not get it either.
void DropQueuedChar(HWND hwnd, WORD key)
{
    wchar_t ch = key == VK_TAB ? L'\t' : key == VK_RETURN ? L'\r' : key == VK_ESCAPE ? 0x1B : 0;
    if (!ch || !IsWindow(hwnd))
        return;
    MSG m;
    for (UINT msg : {static_cast<UINT>(WM_CHAR), static_cast<UINT>(WM_SYSCHAR)}) {
        if (PeekMessageW(&m, hwnd, msg, msg, PM_NOREMOVE | PM_NOYIELD)) {
            // Ctrl+Enter types a line feed.
            if (m.wParam == ch || (key == VK_RETURN && m.wParam == L'\n'))
                PeekMessageW(&m, hwnd, msg, msg, PM_REMOVE | PM_NOYIELD);
            return;
        }
    }
}

}  // namespace

bool TWinControl::HandleInputMessage(TMessage& m)
{
    switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        std::weak_ptr<void> alive = AliveToken();
        HWND h = hwnd_;
        WORD key = static_cast<WORD>(m.WParam);
        TShiftState shift = ShiftFromKeyData(m.LParam);
        if (OfferShortCut(key, m.LParam)) {
            m.Result = 0;
            return true;
        }
        if (alive.expired())
            return true;
        // The controls this one sits in (and itself), innermost first.
        for (TWinControl* c = this; c; c = c->Parent()) {
            if (c->KeyFromInside(key, shift)) {
                DropQueuedChar(h, key);
                m.Result = 0;
                return true;
            }
            if (alive.expired())
                return true;
        }
        // Alt going down (not repeating) is offered as a dialog key too, so
        // a menu bar can show its accelerators; the system still sees it.
        if (key == VK_MENU && !(m.LParam & (1L << 30))) {
            if (TWinControl* form = ParentForm())
                form->DialogKey(key, shift);
            if (alive.expired())
                return true;
        }
        if (OfferDialogKey(key, shift)) {
            DropQueuedChar(h, key);
            m.Result = 0;
            return true;
        }
        if (alive.expired())
            return true;
        KeyDown(key, shift);
        if (alive.expired())
            return true;
        if (key == 0) {
            m.Result = 0;
            return true;
        }
        m.WParam = key;
        return false;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        std::weak_ptr<void> alive = AliveToken();
        WORD key = static_cast<WORD>(m.WParam);
        KeyUp(key, ShiftFromKeyData(m.LParam));
        if (alive.expired())
            return true;
        if (key == 0) {
            m.Result = 0;
            return true;
        }
        m.WParam = key;
        return false;
    }
    case WM_CHAR: {
        std::weak_ptr<void> alive = AliveToken();
        wchar_t ch = static_cast<wchar_t>(m.WParam);
        if (!(WindowDialogCode(0) & (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) &&
            OfferDialogChar(ch, ShiftFromKeyData(m.LParam))) {
            m.Result = 0;
            return true;
        }
        if (alive.expired())
            return true;
        KeyPress(ch);
        if (alive.expired())
            return true;
        if (ch == 0) {
            m.Result = 0;
            return true;
        }
        m.WParam = ch;
        return false;
    }
    case WM_SYSCOMMAND:
        // The menu key typed in a control (Alt+letter, F10, Alt alone) is
        // the form's: the system would hand it to the focused window.
        if ((m.WParam & 0xFFF0) == SC_KEYMENU && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD)) {
            TWinControl* form = ParentForm();
            if (form && form != this && form->HandleAllocated()) {
                m.Result = SendMessageW(form->Handle(), WM_SYSCOMMAND, m.WParam, m.LParam);
                return true;
            }
        }
        return false;
    case WM_SYSCHAR:
        if (OfferDialogChar(static_cast<wchar_t>(m.WParam), ShiftFromKeyData(m.LParam) | ssAlt)) {
            m.Result = 0;
            return true;
        }
        return false;
    case WM_GETDLGCODE:
        DefaultHandler(m);
        m.Result |= DialogCodes();
        return true;
    case WM_SETCURSOR:
        if (LOWORD(m.LParam) == HTCLIENT && reinterpret_cast<HWND>(m.WParam) == hwnd_) {
            POINT p;
            GetCursorPos(&p);
            ::ScreenToClient(hwnd_, &p);
            TControl* g = GraphicControlAt(p);
            HCURSOR c = g && g->Cursor() ? g->Cursor() : Cursor();
            if (c) {
                ::SetCursor(c);
                m.Result = TRUE;
                return true;
            }
        }
        return false;
    default:
        return false;
    }
}
