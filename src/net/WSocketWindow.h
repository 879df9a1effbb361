// The hidden window of a socket: a message-only tool window of the class
// "XSocketWindowClass" that hands every message to the socket stored in its
// window long 0. The class is registered when the first socket window is made
// and unregistered when the last one goes (under a process-wide lock).
#pragma once
#include <windows.h>

#include "net/WSocket.h"

class TCustomWSocket::TSocketWindow {
public:
    // Raises ESocketException "Cannot create a hidden window for TWSocket".
    explicit TSocketWindow(TCustomWSocket& owner);
    ~TSocketWindow();
    TSocketWindow(const TSocketWindow&) = delete;
    TSocketWindow& operator=(const TSocketWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};
