// Thread hooks shared by the toolbar components: a component registers a
// procedure for the events it wants (activation, window moves, window
// destruction, retrieved messages) and the unit keeps each of its three
// Windows hooks installed on the thread only while somebody needs it.
// Everything is per thread: register and unregister on the same thread.
#pragma once
#include <windows.h>

#include <cstdint>

enum class TThreadHookKind { hkCallWndProc, hkCBT, hkGetMessage };

enum TThreadHookEvent : std::uint8_t {
    hpeActivate = 0,           // WM_ACTIVATE sent to a window of the thread
    hpeActivateApp = 1,        // WM_ACTIVATEAPP sent
    hpeWindowPosChanged = 2,   // WM_WINDOWPOSCHANGED sent
    hpeDestroyWindow = 3,      // a window is being destroyed
    hpeGetMessage = 4,         // a message was taken from the queue
};
using TThreadHookEvents = std::uint8_t;
constexpr TThreadHookEvents HookEventBit(TThreadHookEvent e) { return static_cast<TThreadHookEvents>(1u << e); }

// Called with the event, and: for activation and moves the window and the
// message's wParam and lParam; for destruction the window and 0, 0; for a
// retrieved message window 0, the removal flag and the MSG's address.
// An exception that leaves it goes to the application's handler, and the
// other procedures of that call are skipped.
using TThreadHookProc = void (*)(TThreadHookEvent event, HWND window, WPARAM wParam, LPARAM lParam);

// Registers owner's wish for the events through proc. The same owner again
// adds events; it never counts a hook twice. A procedure is called once per
// hook message for the union of the events of all its owners.
void RegisterThreadHook(const void* owner, TThreadHookProc proc, TThreadHookEvents events);
// Withdraws owner's registration of proc (nothing when it has none). Hooks
// nobody needs any more are removed.
void UnregisterThreadHook(const void* owner, TThreadHookProc proc);

// For tests: how many registrants hold a hook kind on this thread, and
// whether that hook is installed.
int ThreadHookUseCount(TThreadHookKind kind);
bool ThreadHookInstalled(TThreadHookKind kind);
