// One running copy of the program: the first start publishes its application
// window and a registered message in a named block of shared memory; a second
// start finds the block, brings the first copy forward, broadcasts the message
// and ends without showing anything.
#pragma once
#include <windows.h>

#include <memory>
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
    const std::string& Name() const { return name_; }

    // First instance: stores the application window and the registered message.
    void Publish(HWND appWindow);
    // Second instance: restores the first one's window when it is minimised,
    // brings it to the foreground and broadcasts the registered message to
    // the other applications. Returns the message broadcast: the stored one
    // when it is a registered message number, else this guard's own.
    UINT ActivateFirstInstance();

    // First instance: the program is ending (its window closed) and may
    // take a while yet to finish its work; a start meanwhile waits for it.
    void MarkEnding();
    // Second instance: the process of a first copy that said it is ending
    // and still has its window (0 when none).
    DWORD EndingProcessId() const;

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
    HANDLE answerAwaited_ = nullptr;   // set once the ending copy only waits for a box
};

// An ending first copy that has nothing left to do but wait for the answer
// to a box it shows (MarkEnding said it is ending) tells so: a start
// meanwhile brings the box forward instead of waiting.
void MarkOnlyAnswerAwaited();

enum class TEndingWait {
    Gone,            // no copy was ending, or it ended: go on with the guard
    StillEnding,     // it did not end in time; the guard is empty
    AnswerAwaited,   // it only waits for its box, now in front; the guard is empty
};

// A start that finds a first copy ending lets go of the guard and waits up
// to ms for that copy to end, then takes the guard again (usually as the
// first one now). A first copy that is not ending leaves the guard as it is.
TEndingWait AwaitEndingFirstInstance(std::unique_ptr<TSingleInstanceGuard>& guard, DWORD ms);

// The message a second start broadcasts: the main window compares every
// message with it and, when it is hidden or minimised, comes back.
UINT SingleInstanceMessage();
