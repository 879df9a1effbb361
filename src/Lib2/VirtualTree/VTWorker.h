// The one background thread that validates the position caches of every
// tree of the process. Trees queue themselves (WorkerAddTree, VirtualTrees.h);
// the thread takes them one at a time, tells each by a sent message 0x8020
// that it is validating, runs the tree's cache validation and tells it the
// outcome. The thread lives from the first tree's creation to the last
// tree's destruction.
#pragma once
#include <windows.h>

#include <atomic>
#include <vector>

#include "platform/Sync.h"
#include "platform/Thread.h"

class TBaseVirtualTree;

class TWorkerThread : public TThread {
public:
    // Starts running at once; work is the auto-reset event that wakes it.
    explicit TWorkerThread(HANDLE work);
    ~TWorkerThread() override;

    // Clears the tree's stop request (reported as leaving tsStopValidation)
    // and queues it unless it is queued already. Signals nothing.
    void AddTree(TBaseVirtualTree* tree);
    void RemoveTree(TBaseVirtualTree* tree);
    // The tree's stop request is set; then either the thread is working on
    // it (true) or it is taken out of the queue (false). One step under the
    // lock, so the thread can't take the tree in between.
    bool StopOrDequeue(TBaseVirtualTree* tree);
    // Waits until the thread has left the tree, handling only the messages
    // other threads send to this one (the thread's own 0x8020 notices):
    // no posted message, timer, input or paint runs and WM_QUIT stays queued.
    void WaitUntilLeft(const TBaseVirtualTree* tree);
    bool IsWorkingOn(const TBaseVirtualTree* tree) const;
    bool IsQueued(const TBaseVirtualTree* tree) const;

protected:
    void Execute() override;

private:
    void Validate(TBaseVirtualTree* tree);
    void Notify(TBaseVirtualTree* tree, unsigned enter, unsigned leave);

    HANDLE work_;
    mutable TCriticalSection lock_;
    std::vector<TBaseVirtualTree*> queue_;
    const TBaseVirtualTree* current_ = nullptr;
    // Events of threads waiting for the worker to leave a tree.
    struct Waiter {
        const TBaseVirtualTree* tree;
        HANDLE event;
    };
    std::vector<Waiter> waiters_;
};

// What tests look at: the worker's thread id (0 without trees) and how many
// worker threads the process has started so far.
DWORD WorkerThreadId();
int WorkerThreadsStarted();
// Whether the tree waits in the worker's queue.
bool WorkerIsQueued(const TBaseVirtualTree* tree);
