// One subclassing service for window procedures. Any number of hooks may sit
// on one window; each sees a message before the hooks installed earlier and
// the window's own procedure, and may pass it on through `next`. Hooks can be
// removed in any order, also from inside a message, and removing a hook from
// a window that is already gone does nothing (the window is never re-created).
#pragma once
#include <windows.h>

#include <functional>

struct TSubclassChain;

// The rest of the chain below one hook: the earlier hooks, then the window's
// original procedure.
class TSubclassNext {
public:
    LRESULT operator()(UINT msg, WPARAM wParam, LPARAM lParam) const;
    HWND Handle() const { return hwnd_; }

private:
    friend struct TSubclassDispatch;
    TSubclassNext(TSubclassChain* chain, HWND hwnd, size_t below) : chain_(chain), hwnd_(hwnd), below_(below) {}
    TSubclassChain* chain_;
    HWND hwnd_;
    size_t below_;
};

using TSubclassProc =
    std::function<LRESULT(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, const TSubclassNext& next)>;

// Puts a hook on the window; returns its id (0 when the window does not exist).
int HookWindowProc(HWND hwnd, TSubclassProc proc);
// Takes a hook off. False when the window or the hook is no longer there.
bool UnhookWindowProc(HWND hwnd, int id);
// Number of live hooks on the window.
int SubclassCount(HWND hwnd);
// The procedure the window had before the first hook (nullptr when not hooked).
WNDPROC SubclassOriginalProc(HWND hwnd);
