// One running copy of the program: the first start publishes its application
// window and a registered message in a named block of shared memory; a second
// start finds the block, brings the first copy forward, broadcasts the message
// and ends without showing anything.
#pragma once
#include <windows.h>

#include <string>

// The name of the shared block and of the registered message.
extern const char kSingleInstanceName[];

class TSingleInstanceGuard {
public:
    // Creates or opens the named block. When it cannot be made at all the
    // program runs as a first instance (never kept from starting).
    explicit TSingleInstanceGuard(const std::string& name = kSingleInstanceName);
    // Unmaps the view and closes the block; the next start is a first one again.
    ~TSingleInstanceGuard();
    TSingleInstanceGuard(const TSingleInstanceGuard&) = delete;
    TSingleInstanceGuard& operator=(const TSingleInstanceGuard&) = delete;

    bool IsFirstInstance() const { return first_; }

    // First instance: stores the application window and the registered message.
    void Publish(HWND appWindow);
    // Second instance: restores the first one's window when it is minimised,
    // brings it to the foreground and broadcasts the registered message to
    // the other applications. Returns the message broadcast: the stored one
    // when it is a registered message number, else this guard's own.
    UINT ActivateFirstInstance();

    // The stored values (0 when there is no view).
    HWND StoredWindow() const;
    UINT StoredMessage() const;
    // The registered message of this guard's name.
    UINT Message() const { return message_; }

private:
    struct TBlock;
    TBlock* Block() const;

    std::string name_;
    HANDLE mapping_ = nullptr;
    void* view_ = nullptr;
    bool first_ = true;
    UINT message_ = 0;
};

// The message a second start broadcasts: the main window compares every
// message with it and, when it is hidden or minimised, comes back.
UINT SingleInstanceMessage();
