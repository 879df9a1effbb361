// The modal handler and its loop; the view's entry into it and the done
// action carried out after every menu has closed.
#include "toolbars/TBModal.h"

#include <windowsx.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Control.h"
#include "platform/Firewall.h"
#include "platform/Form.h"
#include "platform/Screen.h"
#include "toolbars/TBAccess.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBView.h"

POINT TTBModalHandler::lastPos_ = {INT_MIN, 0};

namespace {

// Dropped by the loop as the system's menus do (the old F1 key notice).
constexpr UINT kMsgKeyF1 = 0x4D;

using TLockSetForegroundWindow = BOOL(WINAPI*)(UINT);
using TNotifyWinEvent = void(WINAPI*)(DWORD, HWND, LONG, LONG);
using TImmGetVirtualKey = UINT(WINAPI*)(HWND);

FARPROC User32Proc(const char* name)
{
    HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? GetProcAddress(user, name) : nullptr;
}

TLockSetForegroundWindow LockForeground()
{
    static TLockSetForegroundWindow fn =
        reinterpret_cast<TLockSetForegroundWindow>(reinterpret_cast<void*>(User32Proc("LockSetForegroundWindow")));
    return fn;
}

void RaiseWinEvent(DWORD event, HWND wnd)
{
    static TNotifyWinEvent fn =
        reinterpret_cast<TNotifyWinEvent>(reinterpret_cast<void*>(User32Proc("NotifyWinEvent")));
    if (fn && wnd)
        fn(event, wnd, OBJID_CLIENT, CHILDID_SELF);
}

// The real key behind VK_PROCESSKEY (imm32 looked up by name).
WORD ImeVirtualKey(HWND wnd)
{
    static TImmGetVirtualKey fn = [] {
        HMODULE imm = LoadLibraryW(L"imm32.dll");
        return imm ? reinterpret_cast<TImmGetVirtualKey>(reinterpret_cast<void*>(GetProcAddress(imm, "ImmGetVirtualKey")))
                   : nullptr;
    }();
    return fn ? static_cast<WORD>(fn(wnd)) : static_cast<WORD>(VK_PROCESSKEY);
}

// The loop stands inside a message of the application: nothing handed to
// ReleaseLater is freed under it.
class NestedLoopScope {
public:
    NestedLoopScope() { Application().BeginNestedLoop(); }
    ~NestedLoopScope() { Application().EndNestedLoop(); }
    NestedLoopScope(const NestedLoopScope&) = delete;
    NestedLoopScope& operator=(const NestedLoopScope&) = delete;
};

HWND ViewWnd(TTBView* v)
{
    TWinControl* w = v ? v->Window() : nullptr;
    return w && w->HandleAllocated() ? w->Handle() : nullptr;
}

// The views of the open menu chain, root first. Read afresh for every
// message: any of them may close while a message is handled.
std::vector<TTBView*> Chain(TTBView* root)
{
    std::vector<TTBView*> list;
    for (TTBView* v = root; v && list.size() < 64; v = v->OpenViewerView())
        list.push_back(v);
    return list;
}

// The deepest view of the chain whose window holds the screen point.
TTBView* ViewAt(TTBView* root, POINT pt)
{
    std::vector<TTBView*> chain = Chain(root);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        HWND h = ViewWnd(*it);
        if (!h)
            continue;
        if ((*it)->IsPopup()) {
            RECT r;
            if (IsWindowVisible(h) && GetWindowRect(h, &r) && PtInRect(&r, pt))
                return *it;
        } else if (WindowFromPoint(pt) == h) {
            return *it;
        }
    }
    return nullptr;
}

POINT ScreenPointOf(const MSG& msg)
{
    if (msg.message == WM_MOUSEWHEEL)
        return POINT{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    if (msg.hwnd)
        ClientToScreen(msg.hwnd, &p);
    return p;
}

bool IsPress(UINT m)
{
    return m == WM_LBUTTONDOWN || m == WM_LBUTTONDBLCLK || m == WM_RBUTTONDOWN || m == WM_RBUTTONDBLCLK;
}

// The viewer of a view under a screen point, and the point in its own coordinates.
TTBItemViewer* ViewerAt(TTBView* view, POINT screen, POINT& local)
{
    HWND h = ViewWnd(view);
    if (!h)
        return nullptr;
    POINT p = screen;
    ScreenToClient(h, &p);
    TTBItemViewer* v = view->ViewerFromPoint(p);
    if (v)
        local = POINT{p.x - v->BoundsRect.left, p.y - v->BoundsRect.top};
    return v;
}

// Every open view follows the cursor, the deepest first.
void UpdateAllSelections(TTBView* root, POINT pt)
{
    std::vector<TTBView*> chain = Chain(root);
    std::vector<std::weak_ptr<void>> alive;
    for (TTBView* v : chain)
        alive.push_back(v->AliveToken());
    for (size_t i = chain.size(); i-- > 0;)
        if (!alive[i].expired())
            chain[i]->UpdateSelection(pt, true);
}

// The window of this thread under the resting mouse sets its cursor again,
// as a mouse move would: the menus set theirs behind its back, and a
// window that remembers what it set last would not know.
void RefreshCursorUnderMouse()
{
    POINT pt;
    if (GetCapture() || !GetCursorPos(&pt))
        return;
    HWND under = WindowFromPoint(pt);
    if (!under || GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId())
        return;
    const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
    if (IsWindow(under))
        SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(LOWORD(hit), WM_MOUSEMOVE));
}

}  // namespace

// --- the handler ---

LRESULT CALLBACK TTBModalHandler::OwnWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CANCELMODE) {
        // The loop sees the capture gone and ends with no command.
        if (GetCapture() == hwnd)
            ReleaseCapture();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TTBModalHandler::TTBModalHandler(HWND wnd) : wnd_(wnd)
{
    DWORD pos = GetMessagePos();
    lastPos_ = POINT{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
    if (!wnd_) {
        static const wchar_t* cls = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = &TTBModalHandler::OwnWndProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"BrenixTBModalHandler";
            RegisterClassW(&wc);
            return L"BrenixTBModalHandler";
        }();
        wnd_ = CreateWindowExW(0, cls, L"", WS_POPUP, 0, 0, 0, 0, Application().Handle(), nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        ownWnd_ = wnd_ != nullptr;
    }
    if (TLockSetForegroundWindow lock = LockForeground())
        locked_ = lock(LSFW_LOCK) != FALSE;
    if (wnd_)
        SetCapture(wnd_);
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    RaiseWinEvent(EVENT_SYSTEM_MENUSTART, wnd_);
    menuStarted_ = true;
}

TTBModalHandler::~TTBModalHandler()
{
    if (locked_)
        if (TLockSetForegroundWindow lock = LockForeground())
            lock(LSFW_UNLOCK);
    if (wnd_ && GetCapture() == wnd_)
        ReleaseCapture();
    RefreshCursorUnderMouse();
    if (menuStarted_)
        RaiseWinEvent(EVENT_SYSTEM_MENUEND, wnd_);
    if (ownWnd_ && IsWindow(wnd_))
        DestroyWindow(wnd_);
}

bool TTBModalHandler::Loop(TTBView* root, bool startedByMouseDown, bool trackRightButton, bool noGivePriority,
                           bool executeSelectedFirst)
{
    NestedLoopScope nested;
    std::weak_ptr<void> rootAlive = root->AliveToken();
    auto rootGone = [&] { return rootAlive.expired(); };
    bool quit = false;
    WPARAM quitCode = 0;
    bool mouseDownOnMenu = false;
    wchar_t pendingHigh = 0;

    auto cancel = [&] {
        if (!rootGone() && root->DoneAction().Kind == TTBDoneActionKind::None)
            root->EndModal();
    };

    try {
        root->ClearDoneAction();
        root->ValidatePositions();
        root->SetCapturedWnd(wnd_);
        if (startedByMouseDown) {
            if (TTBItemViewer* sel = root->Selected()) {
                POINT p = lastPos_;
                if (HWND h = ViewWnd(root))
                    ScreenToClient(h, &p);
                sel->MouseDown(GetShiftKeys() | ssLeft, p.x - sel->BoundsRect.left, p.y - sel->BoundsRect.top,
                               mouseDownOnMenu);
            }
        } else if (executeSelectedFirst) {
            root->ExecuteSelected(!noGivePriority);
        }
        const HWND active = GetActiveWindow();
        auto goOn = [&] {
            return !rootGone() && IsWindow(wnd_) && GetCapture() == wnd_ && GetActiveWindow() == active &&
                   root->DoneAction().Kind == TTBDoneActionKind::None;
        };
        while (goOn()) {
            MSG msg;
            if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                // A message sent to us while peeking may have ended it all.
                if (!goOn())
                    break;
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 250, QS_ALLINPUT);
                continue;
            }
            if (msg.message == WM_QUIT) {
                // Taken out here and posted again once the menus are gone,
                // so that the loop under this one ends as well.
                PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
                quit = true;
                quitCode = msg.wParam;
                cancel();
                break;
            }
            if (IsPress(msg.message)) {
                // A press outside the menus ends the loop and stays queued for
                // the window under it.
                POINT pt = ScreenPointOf(msg);
                bool ours = false;
                if (TTBView* v = ViewAt(root, pt)) {
                    if (v->IsPopup()) {
                        ours = true;
                    } else {
                        POINT local;
                        TTBItemViewer* hit = ViewerAt(v, pt, local);
                        ours = hit && !(hit->Item()->ItemStyle() & isClickThrough);
                    }
                }
                if (!ours) {
                    cancel();
                    break;
                }
            }
            if (!PeekMessageW(&msg, msg.hwnd, msg.message, msg.message, PM_REMOVE))
                continue;
            const POINT pt = ScreenPointOf(msg);
            switch (msg.message) {
            case WM_TIMER: {
                bool handled = false;
                if (msg.wParam >= kTBViewTimerBase && msg.wParam <= kTBViewTimerBase + tbtScrollDown)
                    for (TTBView* v : Chain(root))
                        if (v->IsPopup() && ViewWnd(v) == msg.hwnd) {
                            v->TimerFired(static_cast<int>(msg.wParam - kTBViewTimerBase));
                            handled = true;
                            break;
                        }
                if (!handled)
                    DispatchMessageW(&msg);
                break;
            }
            case WM_CONTEXTMENU:
            case kMsgKeyF1:
                break;
            case WM_KEYDOWN:
            case WM_SYSKEYDOWN:
            case WM_KEYUP:
            case WM_SYSKEYUP:
            case WM_CHAR:
            case WM_SYSCHAR:
            case WM_DEADCHAR:
            case WM_SYSDEADCHAR: {
                Application().CancelHint();
                bool held = GetKeyState(VK_LBUTTON) < 0 || (trackRightButton && GetKeyState(VK_RBUTTON) < 0);
                bool isDown = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
                if (held && !(isDown && msg.wParam == VK_F1))
                    break;
                if (isDown) {
                    WORD key = static_cast<WORD>(msg.wParam);
                    if (key == VK_PROCESSKEY)
                        key = ImeVirtualKey(msg.hwnd);
                    TShiftState shift = ShiftFromKeyData(msg.lParam);
                    TTBView* deepest = root->DeepestOpenView();
                    std::weak_ptr<void> deepestAlive = deepest->AliveToken();
                    if (TTBItemViewer* sel = deepest->Selected())
                        sel->KeyDown(key, shift);
                    if (key && !deepestAlive.expired())
                        deepest->KeyDown(key, shift);
                    if (key) {
                        msg.wParam = key;
                        TranslateMessage(&msg);
                    }
                } else if (msg.message == WM_CHAR || msg.message == WM_SYSCHAR) {
                    wchar_t c = static_cast<wchar_t>(msg.wParam);
                    std::wstring ch;
                    if (IS_HIGH_SURROGATE(c)) {
                        pendingHigh = c;
                        break;
                    }
                    if (IS_LOW_SURROGATE(c) && pendingHigh)
                        ch.push_back(pendingHigh);
                    pendingHigh = 0;
                    ch.push_back(c);
                    TTBView* deepest = root->DeepestOpenView();
                    if ((ch == L" " || ch == L"-") && deepest == root && root->IsToolbar() && IsAnyWindowActive()) {
                        root->EndModalWithSystemMenu(GetActiveWindow(), c);
                        break;
                    }
                    bool execute = false;
                    std::weak_ptr<void> deepestAlive = deepest->AliveToken();
                    if (deepest->SelectByChar(ch, execute)) {
                        if (execute && !deepestAlive.expired())
                            deepest->ExecuteSelected(true);
                    } else {
                        MessageBeep(0);
                    }
                }
                break;
            }
            case WM_MOUSEMOVE: {
                // Where the cursor is now, not where the message says: the
                // cursor may have moved on (or back) since it was queued.
                POINT pt = ScreenPointOf(msg);
                GetCursorPos(&pt);
                if (!PointsEqual(pt, lastPos_)) {
                    lastPos_ = pt;
                    UpdateAllSelections(root, pt);
                }
                if (rootGone())
                    break;
                HCURSOR cursor = nullptr;
                POINT local{};
                TTBView* view = ViewAt(root, pt);
                TTBItemViewer* target = view ? ViewerAt(view, pt, local) : nullptr;
                // The item's hint goes through the application's hint machinery
                // as the hint of the window it is on.
                TWinControl* window = view ? view->Window() : nullptr;
                if (target && window &&
                    (window->ShowHint() || (target->Item()->EffectiveOptions() & tboShowHint))) {
                    window->SetHint(target->GetHintText() + "|" + target->GetLongHintText());
                    POINT client = pt;
                    ScreenToClient(window->Handle(), &client);
                    Application().HintMouseMessage(window, client);
                } else {
                    Application().CancelHint();
                }
                if (target)
                    target->GetCursor(local, cursor);
                SetCursor(cursor ? cursor : LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
                if (target)
                    target->MouseMove(local.x, local.y);
                break;
            }
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
            case WM_RBUTTONDOWN:
            case WM_RBUTTONDBLCLK: {
                bool right = msg.message == WM_RBUTTONDOWN || msg.message == WM_RBUTTONDBLCLK;
                if (right && !trackRightButton)
                    break;
                Application().CancelHint();
                root->Exclude(vsIgnoreFirstMouseUp);
                UpdateAllSelections(root, pt);
                if (rootGone())
                    break;
                TShiftState shift = ShiftFromMouseKeys(msg.wParam);
                if (msg.message == WM_LBUTTONDBLCLK || msg.message == WM_RBUTTONDBLCLK)
                    shift |= ssDouble;
                POINT local{};
                TTBView* view = ViewAt(root, pt);
                if (TTBItemViewer* target = view ? ViewerAt(view, pt, local) : nullptr)
                    target->MouseDown(shift, local.x, local.y, mouseDownOnMenu);
                lastPos_ = pt;
                break;
            }
            case WM_LBUTTONUP:
            case WM_RBUTTONUP: {
                if (msg.message == WM_RBUTTONUP && !trackRightButton)
                    break;
                UpdateAllSelections(root, pt);
                if (rootGone())
                    break;
                POINT local{};
                TTBView* view = ViewAt(root, pt);
                TTBItemViewer* target = view ? ViewerAt(view, pt, local) : nullptr;
                bool wasOnMenu = mouseDownOnMenu;
                mouseDownOnMenu = false;
                if (target) {
                    target->MouseUp(local.x, local.y, wasOnMenu);
                } else if (view && !(view == root && root->IsToolbar())) {
                    // A release over a menu away from its items does nothing.
                } else if (root->State() & vsIgnoreFirstMouseUp) {
                    root->Exclude(vsIgnoreFirstMouseUp);
                } else {
                    root->EndModal();
                }
                break;
            }
            case WM_MOUSEWHEEL: {
                POINT local{};
                TTBView* view = ViewAt(root, pt);
                if (TTBItemViewer* target = view ? ViewerAt(view, pt, local) : nullptr)
                    target->MouseWheel(GET_WHEEL_DELTA_WPARAM(msg.wParam), local.x, local.y);
                break;
            }
            default:
                DispatchMessageW(&msg);
                break;
            }
            if (!goOn())
                break;
            if (lastPos_.x == INT_MIN) {
                GetCursorPos(&lastPos_);
                UpdateAllSelections(root, lastPos_);
                if (rootGone())
                    break;
            }
            // The status line follows the deepest selected item.
            TTBView* withSelection = nullptr;
            for (TTBView* v : Chain(root))
                if (v->Selected())
                    withSelection = v;
            Application().SetHint(withSelection ? withSelection->Selected()->GetLongHintText() : std::string());
        }
    } catch (...) {
        HandleCurrentException();
    }
    // Whatever ended the loop without a command cancels it.
    cancel();
    try {
        if (!rootGone()) {
            root->SetMouseDownOnButtonPart(false);
            root->MouseDownOnArrowPart = false;
            root->SetCapturedWnd(nullptr);
        }
        Application().SetHint(std::string());
        RemoveMessages(WM_CHAR, WM_DEADCHAR);
        RemoveMessages(WM_SYSCHAR, WM_SYSDEADCHAR);
        RemoveMessages(kMsgKeyF1, kMsgKeyF1);
    } catch (...) {
        HandleCurrentException();
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
    return !rootGone();
}

// --- the view's side ---

void TTBView::EnterModalLoop(unsigned options)
{
    if (state_ & vsModal)
        return;
    std::weak_ptr<void> alive = AliveToken();
    try {
        {
            TTBModalHandler handler(window_ && window_->HandleAllocated() ? window_->Handle() : nullptr);
            state_ = static_cast<TTBViewState>((state_ & vsShowAccels) | vsModal);
            ClearDoneAction();
            TBNotifyFocus(this);
            if (!handler.Loop(this, (options & tbetMouseDown) != 0, false, (options & tbetNoGivePriority) != 0,
                              (options & tbetExecuteSelected) != 0))
                return;   // this view was freed inside the loop
            Exclude(vsModal);
            StopAllTimers();
            CloseChildPopups();
            if (alive.expired())
                return;
            POINT cp;
            if (GetCursorPos(&cp))
                UpdateSelection(cp, true);
            if (alive.expired())
                return;
        }
        SetAccelsVisibility(false);
        Select(nullptr, false);
        if (alive.expired())
            return;
    } catch (...) {
        HandleCurrentException();
        if (alive.expired())
            return;
        Exclude(vsModal);
        doneAction_.Kind = TTBDoneActionKind::Cancel;
    }
    // The command runs now that every menu is gone.
    TTBDoneAction action = doneAction_;
    ClearDoneAction();
    Guarded([&] {
        switch (action.Kind) {
        case TTBDoneActionKind::ClickItem:
            if (action.Item && !action.ItemAlive.expired()) {
                if (action.Sound)
                    PlaySystemSound("MenuCommand");
                if (!ReturnClickedItemOnly)
                    QueueClick(action.Item, 0);
                else
                    doneAction_ = action;   // kept for the caller that asked for the item
            }
            break;
        case TTBDoneActionKind::OpenSystemMenu:
            if (action.Wnd && IsWindow(action.Wnd))
                SendMessageW(action.Wnd, WM_SYSCOMMAND, SC_KEYMENU, action.Key);
            break;
        case TTBDoneActionKind::HelpContext: {
            TForm* form = Screen().ActiveForm();
            if (form && (form->BorderIcons() & biHelp))
                Application().HelpCommand(HELP_CONTEXTPOPUP, static_cast<ULONG_PTR>(action.HelpContext));
            else
                Application().HelpContext(action.HelpContext);
            break;
        }
        default:
            break;
        }
    });
}
