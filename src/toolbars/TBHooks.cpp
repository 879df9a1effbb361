#include "toolbars/TBHooks.h"

#include <algorithm>
#include <vector>

#include "platform/Firewall.h"

namespace {

constexpr int kKinds = 3;
const int kHookIds[kKinds] = {WH_CALLWNDPROC, WH_CBT, WH_GETMESSAGE};

struct Registrant {
    const void* owner;
    TThreadHookEvents events;
    unsigned kinds;   // bit per TThreadHookKind
};

struct Registration {
    TThreadHookProc proc;
    TThreadHookEvents events;   // the union of its registrants' events
    std::vector<Registrant> registrants;
};

struct ThreadHooks {
    HHOOK handles[kKinds] = {};
    int counts[kKinds] = {};
    std::vector<Registration> list;
};

thread_local ThreadHooks* tHooks = nullptr;

unsigned KindsFor(TThreadHookEvents events)
{
    unsigned kinds = 0;
    if (events & (HookEventBit(hpeActivate) | HookEventBit(hpeActivateApp) | HookEventBit(hpeWindowPosChanged)))
        kinds |= 1u << static_cast<int>(TThreadHookKind::hkCallWndProc);
    if (events & HookEventBit(hpeDestroyWindow))
        kinds |= 1u << static_cast<int>(TThreadHookKind::hkCBT);
    if (events & HookEventBit(hpeGetMessage))
        kinds |= 1u << static_cast<int>(TThreadHookKind::hkGetMessage);
    return kinds;
}

Registration* Find(ThreadHooks& t, TThreadHookProc proc)
{
    for (Registration& r : t.list)
        if (r.proc == proc)
            return &r;
    return nullptr;
}

// Calls every registration that wants the event. The list is walked as it
// was on entry; a procedure unregistered meanwhile (by an earlier one) is
// not called.
void CallProcs(TThreadHookEvent event, HWND window, WPARAM wParam, LPARAM lParam)
{
    ThreadHooks* t = tHooks;
    if (!t)
        return;
    std::vector<TThreadHookProc> snapshot;
    for (const Registration& r : t->list)
        if (r.events & HookEventBit(event))
            snapshot.push_back(r.proc);
    for (TThreadHookProc proc : snapshot) {
        t = tHooks;
        if (!t)
            return;
        Registration* r = Find(*t, proc);
        if (!r || !(r->events & HookEventBit(event)))
            continue;
        try {
            proc(event, window, wParam, lParam);
        } catch (...) {
            // Reported, and the rest of this call is skipped.
            HandleCurrentException();
            return;
        }
    }
}

HHOOK HandleOf(TThreadHookKind kind)
{
    return tHooks ? tHooks->handles[static_cast<int>(kind)] : nullptr;
}

LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam)
{
    // Read now: a procedure may remove the hook and clear the handle.
    HHOOK self = HandleOf(TThreadHookKind::hkCallWndProc);
    if (code == HC_ACTION && lParam) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        switch (cwp->message) {
        case WM_ACTIVATE:
            CallProcs(hpeActivate, cwp->hwnd, cwp->wParam, cwp->lParam);
            break;
        case WM_ACTIVATEAPP:
            CallProcs(hpeActivateApp, cwp->hwnd, cwp->wParam, cwp->lParam);
            break;
        case WM_WINDOWPOSCHANGED:
            CallProcs(hpeWindowPosChanged, cwp->hwnd, cwp->wParam, cwp->lParam);
            break;
        default:
            break;
        }
    }
    return CallNextHookEx(self, code, wParam, lParam);
}

LRESULT CALLBACK CBTHook(int code, WPARAM wParam, LPARAM lParam)
{
    HHOOK self = HandleOf(TThreadHookKind::hkCBT);
    if (code == HCBT_DESTROYWND)
        CallProcs(hpeDestroyWindow, reinterpret_cast<HWND>(wParam), 0, 0);
    return CallNextHookEx(self, code, wParam, lParam);
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    HHOOK self = HandleOf(TThreadHookKind::hkGetMessage);
    if (code == HC_ACTION)
        CallProcs(hpeGetMessage, nullptr, wParam, lParam);
    return CallNextHookEx(self, code, wParam, lParam);
}

const HOOKPROC kHookProcs[kKinds] = {&CallWndProcHook, &CBTHook, &GetMessageHook};

void Install(ThreadHooks& t, int kind)
{
    if (t.handles[kind])
        return;
    t.handles[kind] = SetWindowsHookExW(kHookIds[kind], kHookProcs[kind], nullptr, GetCurrentThreadId());
}

void Uninstall(ThreadHooks& t, int kind)
{
    if (!t.handles[kind])
        return;
    UnhookWindowsHookEx(t.handles[kind]);
    t.handles[kind] = nullptr;
}

// The hooks of the thread that ends the program go with it.
struct TUnitEnd {
    ~TUnitEnd()
    {
        if (ThreadHooks* t = tHooks)
            for (int k = 0; k < kKinds; ++k)
                Uninstall(*t, k);
    }
} gUnitEnd;

}  // namespace

void RegisterThreadHook(const void* owner, TThreadHookProc proc, TThreadHookEvents events)
{
    if (!proc)
        return;
    if (!tHooks)
        tHooks = new ThreadHooks;
    ThreadHooks& t = *tHooks;
    Registration* r = Find(t, proc);
    if (!r) {
        t.list.push_back(Registration{proc, 0, {}});
        r = &t.list.back();
    }
    Registrant* who = nullptr;
    for (Registrant& g : r->registrants)
        if (g.owner == owner)
            who = &g;
    if (!who) {
        r->registrants.insert(r->registrants.begin(), Registrant{owner, 0, 0});
        who = &r->registrants.front();
    }
    who->events |= events;
    r->events |= events;
    unsigned needed = KindsFor(events);
    for (int k = 0; k < kKinds; ++k) {
        unsigned bit = 1u << k;
        if ((needed & bit) && !(who->kinds & bit)) {
            who->kinds |= bit;
            ++t.counts[k];
        }
    }
    for (int k = 0; k < kKinds; ++k)
        if (who->kinds & (1u << k))
            Install(t, k);
}

void UnregisterThreadHook(const void* owner, TThreadHookProc proc)
{
    ThreadHooks* tp = tHooks;
    if (!tp)
        return;
    ThreadHooks& t = *tp;
    auto reg = std::find_if(t.list.begin(), t.list.end(), [&](const Registration& r) { return r.proc == proc; });
    if (reg == t.list.end())
        return;
    auto who = std::find_if(reg->registrants.begin(), reg->registrants.end(),
                            [&](const Registrant& g) { return g.owner == owner; });
    if (who == reg->registrants.end())
        return;
    unsigned kinds = who->kinds;
    reg->registrants.erase(who);
    if (reg->registrants.empty()) {
        t.list.erase(reg);
    } else {
        reg->events = 0;
        for (const Registrant& g : reg->registrants)
            reg->events |= g.events;
    }
    for (int k = 0; k < kKinds; ++k)
        if ((kinds & (1u << k)) && t.counts[k] > 0 && --t.counts[k] == 0)
            Uninstall(t, k);
    if (t.list.empty()) {
        for (int k = 0; k < kKinds; ++k)
            Uninstall(t, k);
        delete tp;
        tHooks = nullptr;
    }
}

int ThreadHookUseCount(TThreadHookKind kind)
{
    return tHooks ? tHooks->counts[static_cast<int>(kind)] : 0;
}

bool ThreadHookInstalled(TThreadHookKind kind)
{
    return HandleOf(kind) != nullptr;
}
