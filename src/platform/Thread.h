// A thread with the class library's life cycle: created suspended or running,
// priority, terminate flag, wait. The entry catches every exception.
#pragma once
#include <windows.h>

#include <atomic>

class TThread {
public:
    // stackSize: the bytes of address space the thread's stack reserves; 0
    // takes the program's default (megabytes: a process that runs many
    // threads asks for less).
    explicit TThread(bool createSuspended, unsigned stackSize = 0);
    // The derived class must stop its thread (TerminateAndWait) in its own
    // destructor; this one only waits for a thread that is still running.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();                       // resumes a suspended thread
    void Terminate();                   // sets the flag and wakes WaitForTerminate
    bool Terminated() const { return terminated_.load(); }
    // Waits until Execute has returned; false on time-out.
    bool WaitFor(DWORD timeoutMs = INFINITE);
    void TerminateAndWait() { Terminate(); WaitFor(); }
    bool Finished() const { return finished_.load(); }
    void SetPriority(int priority);     // THREAD_PRIORITY_*
    int Priority() const;
    HANDLE Handle() const { return handle_; }
    DWORD ThreadID() const { return id_; }
    // Tests: the next n threads are refused as a system out of address
    // space refuses them (the constructor throws "Thread creation error").
    static void FailCreationsForTesting(int n);

protected:
    virtual void Execute() = 0;
    // Sleeps up to ms; returns true at once when the thread is terminated.
    bool WaitForTerminate(DWORD ms);
    HANDLE TerminateEvent() const { return stopEvent_; }

private:
    static unsigned __stdcall Entry(void* self);
    HANDLE handle_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    DWORD id_ = 0;
    bool started_ = false;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
};
