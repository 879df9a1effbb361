// Drives a modal system dialog of this process from a helper thread while
// the test's thread sits in the dialog's own loop: finds the dialog, hands it
// to an action (which reads it and presses a button), and cancels any dialog
// still open afterwards so a failing test never hangs.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testing_support {

// A visible dialog window (class #32770) of this process, or nullptr.
HWND FindProcessDialog();

// Texts of an open file dialog, asked with its CDM_ messages.
std::string FileDialogFolder(HWND dialog);
std::string FileDialogFileName(HWND dialog);
std::string WindowText(HWND window);
// Types a name into the file dialog's name box.
void SetFileDialogName(HWND dialog, const std::string& name);
// Presses a button of the dialog (IDOK, IDCANCEL) with a posted command.
void PressDialogButton(HWND dialog, int id);

class DialogDriver {
public:
    // action runs on the helper thread once a dialog shows (waiting up to
    // waitMs). A dialog still open graceMs after the action is cancelled.
    explicit DialogDriver(std::function<void(HWND dialog)> action, DWORD waitMs = 15000, DWORD graceMs = 4000);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    bool Acted() const { return acted_.load(); }
    // A dialog had to be cancelled by the driver (the action did not close it).
    bool CancelledLeftOver() const { return leftOver_.load(); }

private:
    void Run();
    std::function<void(HWND)> action_;
    DWORD waitMs_, graceMs_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> acted_{false};
    std::atomic<bool> leftOver_{false};
    std::thread thread_;
};

}  // namespace testing_support
