// The application object: the hidden application window (owner of the main
// window's taskbar button), the main-window hook list, the message loop and
// the handler that every caught exception reaches.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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
    HWND MainFormHandle() const { return mainForm_; }
    void SetMainFormHandle(HWND hwnd) { mainForm_ = hwnd; }

    // Runs the message loop until WM_QUIT.
    void Run();
    // Handles every message waiting now. A WM_QUIT seen here sets Terminated and is
    // posted again so the outer loop ends too.
    void ProcessMessages();
    // Waits for messages up to maxWaitMs, then handles what came.
    void WaitAndProcessMessages(DWORD maxWaitMs);
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Shows the main window again after it was minimised or hidden to the tray.
    void Restore();
    void Minimize();
    void BringToFront();

    // Every exception caught at a Win32 boundary ends here.
    void HandleException(const std::string& message);
    std::function<void(const std::string& message)> OnException;

    // Hooks on the application window, called newest first. The id removes it.
    int HookMainWindow(TWindowHook hook);
    void UnhookMainWindow(int id);

    DWORD MainThreadId() const { return threadId_; }

private:
    TApplication() = default;
    static LRESULT CALLBACK AppWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    bool DispatchOne(MSG& msg);

    HWND handle_ = nullptr;
    HWND mainForm_ = nullptr;
    std::string title_;
    bool terminated_ = false;
    DWORD threadId_ = 0;
    struct Hook { int id; TWindowHook fn; };
    std::vector<Hook> hooks_;
    int nextHookId_ = 1;
};

inline TApplication& Application() { return TApplication::Instance(); }
