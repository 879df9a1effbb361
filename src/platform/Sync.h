// A re-entrant critical section and its scoped lock.
#pragma once
#include <windows.h>

class TCriticalSection {
public:
    TCriticalSection() { InitializeCriticalSection(&cs_); }
    ~TCriticalSection() { DeleteCriticalSection(&cs_); }
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }
    bool TryEnter() { return TryEnterCriticalSection(&cs_) != 0; }
    // For std::lock_guard and friends.
    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }

private:
    CRITICAL_SECTION cs_;
};

class TLock {
public:
    explicit TLock(TCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~TLock() { cs_.Leave(); }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

private:
    TCriticalSection& cs_;
};
