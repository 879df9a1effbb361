// The hidden window of a socket: a message-only tool window of the class
// "XSocketWindowClass" that hands every message to the socket stored in its
// window long 0. The class is registered when the first socket window is made
// and unregistered when the last one goes (under a process-wide lock).
//
// The window also holds the buffer of every name lookup it was given until
// that lookup's own message has come: the system writes the answer there
// from a thread of its own, and a cancelled lookup may still do so. When the
// socket goes while lookups run, the window stays, with no socket, until the
// last of their messages has come, and then goes by itself.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <vector>

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
    // A lookup started with this window and buffer.
    void LookupStarted(HANDLE lookup, std::shared_ptr<std::vector<char>> buffer);
    // The socket's end: the window goes now, or once the lookups still
    // running have sent their messages.
    static void Release(std::unique_ptr<TSocketWindow> window);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    std::map<HANDLE, std::shared_ptr<std::vector<char>>> lookups_;
};
