// The application object: the hidden application window (owner of the main
// window's taskbar button), the main-window hook list, the message loop and
// the handler that every caught exception reaches.
#pragma once
#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PostedErrors.h"

class TComponent;
class TControl;
class TForm;
class TObject;

class TApplication {
public:
    // A hook on the application window's messages. Returning true means handled
    // (result in `result`); false passes the message on.
    using TWindowHook = std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

    static TApplication& Instance();

    // Creates the hidden application window and routes caught exceptions to
    // HandleException. Safe to call more than once.
    void Initialize();
    HWND Handle() const { return handle_; }

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // The main window: closing it ends the message loop.
    HWND MainFormHandle() const;
    void SetMainFormHandle(HWND hwnd) { mainForm_ = hwnd; }
    // The main form as a form object (nullptr when the program set only a handle).
    TForm* MainForm() const { return mainFormObject_; }
    void SetMainForm(TForm* form);
    // Run shows the main form first unless this was cleared (a program that
    // starts in the tray clears it).
    bool ShowMainForm = true;
    // Makes the application window (the taskbar button) visible.
    void ShowApplicationWindow();
    // Hides the taskbar button.
    void HideApplicationWindow();

    // Frees the component once no message loop of ours is nested any more
    // (a form closing itself from one of its own handlers, a popup's owner).
    void ReleaseLater(TComponent* component);
    // Message loops that run inside a message (popups, synchronous waits)
    // say so: nothing given to ReleaseLater is freed while one stands.
    void BeginNestedLoop() { ++nesting_; }
    void EndNestedLoop();
    int NestingDepth() const { return nesting_; }

    // Runs the message loop until WM_QUIT; then the loop-end handlers run
    // and OLE is uninitialised.
    void Run();
    // Handles every message waiting now. A WM_QUIT seen here sets Terminated and is
    // posted again so the outer loop ends too.
    void ProcessMessages();
    // The same for everything but mouse and keyboard input, which stays
    // queued in its order: for work done while a press is still handled.
    // Input stays queued for every pump nested in it too (a timer's handler
    // that pumps, a download's wait), until it returns.
    void ProcessMessagesButInput();
    // Waits for messages up to maxWaitMs, then handles what came.
    void WaitAndProcessMessages(DWORD maxWaitMs);
    // True while pumps leave input queued (see ProcessMessagesButInput).
    bool InputHeld() const { return inputHold_ > 0; }
    // The wake mask for a wait before a pump: without input while it is held,
    // so that queued input does not wake the wait again and again.
    DWORD PumpWakeMask(DWORD mask) const { return InputHeld() ? mask & ~static_cast<DWORD>(QS_INPUT) : mask; }
    // A modal window's own loop takes input for itself: it lifts the hold
    // while it runs (Lift returns what RestoreInputHold puts back).
    int LiftInputHold();
    void RestoreInputHold(int hold) { inputHold_ = hold; }
    void Terminate();
    bool Terminated() const { return terminated_; }
    // For tests that end the loop (the main window closed, Exit) and go on
    // in the same process: the application runs again, its quit message
    // still queued is dropped.
    void ClearTerminatedForTesting();

    // Shows the main window again after it was minimised or hidden to the tray.
    // Minimize minimises the application window and hides the main form with it.
    void Restore();
    void Minimize();
    void BringToFront();

    // Every exception caught at a Win32 boundary ends here.
    void HandleException(const std::string& message);
    std::function<void(const std::string& message)> OnException;
    // For worker threads, which never call the handler themselves: the text
    // goes to the GUI thread by a posted message and reaches HandleException
    // there. On the GUI thread it is reported at once. With no application
    // window to post to, or too many errors waiting, it goes to the debug
    // output and stderr instead.
    void PostException(const std::string& message) noexcept;
    void PostException(const std::exception_ptr& e) noexcept;
    // Texts posted and not yet reported.
    size_t PendingExceptions() const { return postedErrors_.Pending(); }

    // Hooks on the application window, called newest first. The id removes it.
    int HookMainWindow(TWindowHook hook);
    void UnhookMainWindow(int id);

    DWORD MainThreadId() const { return threadId_; }

    // Idle work: Run calls these handlers (in the order added) each time the
    // queue has run empty, before it waits for the next message.
    int AddIdleHandler(std::function<void()> handler);
    void RemoveIdleHandler(int id);
    void Idle();

    // Work for the end of the message loop, run by Run (in the order added)
    // once the loop has ended, while OLE still stands: what must let go of
    // COM clients before the program's objects go.
    int AddLoopEndHandler(std::function<void()> handler);
    void RemoveLoopEndHandler(int id);
    // OLE of the GUI thread: Initialize starts it once, the end of Run
    // stops it after the loop-end handlers.
    bool OleStarted() const { return oleStarted_; }

    // Hints (Hints.cpp). Hint is the long hint of what the mouse is over (or
    // what the program or a menu set); OnHint is raised when it changes.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    std::function<void(TObject* sender)> OnHint;
    // False: no hint window ever shows.
    bool ShowHint = true;
    // Hints of actions and menu items end with their shortcut: "Refresh (F5)".
    bool HintShortCuts = true;
    // Milliseconds before a hint shows, before the next one shows while one
    // is up, and before a shown hint goes.
    int HintPause = 500;
    int HintShortPause = 50;
    int HintHidePause = 2500;
    // Shows the hint of the control at a screen point now (menus call it
    // from their own loops); the control can change or refuse it (HintShow).
    void ActivateHint(POINT screenPoint);
    // Hides the hint window and forgets the control, so that the hint comes
    // back only after a new pause.
    void CancelHint();
    // The mouse moved over a control (the message loop calls it).
    void HintMouseMessage(TControl* control, POINT clientPoint);

    // Help. No help file comes with the program: without an OnHelp handler
    // nothing happens and both return false.
    std::function<bool(UINT command, ULONG_PTR data)> OnHelp;
    bool HelpContext(int context);
    bool HelpCommand(UINT command, ULONG_PTR data);

private:
    TApplication() = default;
    static LRESULT CALLBACK AppWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    bool DispatchOne(MSG& msg);
    void ProcessPending(UINT peekFlags);
    void FreeReleased();
    void WriteErrorLine(const std::string& message) const noexcept;

    HWND handle_ = nullptr;
    HWND mainForm_ = nullptr;
    TForm* mainFormObject_ = nullptr;
    int nesting_ = 0;
    int inputHold_ = 0;
    std::vector<TComponent*> released_;
    std::vector<std::weak_ptr<void>> releasedAlive_;
    std::string title_;
    bool terminated_ = false;
    DWORD threadId_ = 0;
    struct Hook { int id; TWindowHook fn; };
    std::vector<Hook> hooks_;
    int nextHookId_ = 1;
    struct IdleHandler { int id; std::function<void()> fn; };
    std::vector<IdleHandler> idleHandlers_;
    int nextIdleId_ = 1;
    std::vector<IdleHandler> loopEndHandlers_;
    bool oleStarted_ = false;
    void RunLoopEndHandlers();
    std::string hint_;
    TPostedErrors postedErrors_;
};

inline TApplication& Application() { return TApplication::Instance(); }
