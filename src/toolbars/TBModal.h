// The modal tracking loop of the toolbar menus. While a menu is used, the
// view that started it owns the mouse capture and reads the message queue
// itself: mouse and key messages go to the views and viewers of the open
// menu chain, the submenu timers run, everything else is dispatched. The
// loop ends when a command is chosen, the user clicks elsewhere, presses
// Escape at the top, the application loses activation, the capture is lost,
// WM_QUIT arrives (posted again for the outer loop) or the root view goes.
#pragma once
#include <windows.h>

#include <climits>

class TTBView;

class TTBModalHandler {
public:
    // wnd: the window to hold the capture (the root view's window); nullptr
    // makes a hidden window of the handler's own. The capture and the
    // foreground lock are taken here and given back by the destructor.
    explicit TTBModalHandler(HWND wnd);
    ~TTBModalHandler();
    TTBModalHandler(const TTBModalHandler&) = delete;
    TTBModalHandler& operator=(const TTBModalHandler&) = delete;

    HWND Wnd() const { return wnd_; }

    // Runs until the root view's done action is set or the loop must end
    // otherwise (then the done action is cancel). Never throws: an error
    // goes to the application's handler and cancels. False when the root
    // view was freed while the loop ran (the caller must not touch it).
    bool Loop(TTBView* rootView, bool startedByMouseDown, bool trackRightButton, bool noGivePriority,
              bool executeSelectedFirst);

    // The last mouse position the loop saw is read again before the next message.
    static void MarkMousePosUnread() { lastPos_.x = INT_MIN; }

private:
    static LRESULT CALLBACK OwnWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND wnd_ = nullptr;
    bool ownWnd_ = false;
    bool locked_ = false;
    bool menuStarted_ = false;
    static POINT lastPos_;
};
