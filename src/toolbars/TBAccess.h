// Accessibility of toolbars and menus. The library draws its items itself,
// so screen readers see them through IAccessible objects of our own: one per
// view (a toolbar or popup window) and one per item viewer, made on the
// first request. "oleacc.dll" is loaded by name on first use; without it no
// object is ever made and WM_GETOBJECT goes unanswered.
//
// An object outlives its view or viewer while a client holds it: the view
// or viewer tells us when it goes (TBAccOwnerGone), and every later call on
// the object answers E_FAIL. When the application's message loop ends,
// every object still alive is disconnected from its clients
// (TBAccDisconnectAll runs from the loop-end handlers, before OLE goes).
#pragma once
#include <windows.h>

#include <oleacc.h>

class TTBView;
class TTBItemViewer;

// Loads "oleacc.dll" once (critical-error boxes off) and finds
// LresultFromObject and AccessibleObjectFromWindow. True when both exist.
bool InitializeOleAcc();
// NotifyWinEvent when user32 has it; nothing otherwise.
void CallNotifyWinEvent(DWORD event, HWND wnd, LONG objectId, LONG childId);
// The two oleacc entry points (only valid after InitializeOleAcc gave true).
LRESULT TBLresultFromObject(REFIID riid, WPARAM wParam, IUnknown* object);
HRESULT TBAccessibleObjectFromWindow(HWND wnd, DWORD objectId, REFIID riid, void** object);

// The object of a view or viewer, made on first use; the caller gets its
// own reference. nullptr without oleacc.
IAccessible* TBGetViewAccObject(TTBView* view);
IAccessible* TBGetViewerAccObject(TTBItemViewer* viewer);
// The view or viewer is being destroyed: its object (if any) forgets it and
// the owner's reference is released.
void TBAccOwnerGone(const void* owner);
// WM_GETOBJECT of a view's window: the answer, or false to pass it on.
bool TBAnswerGetObject(TTBView* view, WPARAM wParam, LPARAM lParam, LRESULT& result);
// Focus moved to the view's selection: EVENT_OBJECT_FOCUS with the child id.
void TBNotifyFocus(TTBView* view);

// Objects alive now (held by owners or clients).
long TBAccLiveObjects();
// Live view objects (a count changed with interlocked operations).
long TBAccLiveViewObjects();
// Disconnects every live object from its clients (CoDisconnectObject);
// returns how many there were.
int TBAccDisconnectAll();
