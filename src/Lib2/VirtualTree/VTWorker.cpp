#include "Lib2/VirtualTree/VTWorker.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"

namespace {

// The process-wide worker: one thread and its wake-up event, made with the
// first tree reference and freed with the last.
std::mutex referenceLock;
int references = 0;
TWorkerThread* worker = nullptr;
HANDLE workEvent = nullptr;
std::atomic<int> threadsStarted{0};

TWorkerThread* CurrentWorker()
{
    std::lock_guard<std::mutex> lock(referenceLock);
    return worker;
}

}  // namespace

TWorkerThread::TWorkerThread(HANDLE work) : TThread(true), work_(work)
{
    ++threadsStarted;
    Start();
}

TWorkerThread::~TWorkerThread()
{
    Terminate();
    SetEvent(work_);
    WaitFor();
    TLock lock(lock_);
    for (auto& w : waiters_)
        SetEvent(w.event);
    waiters_.clear();
}

void TWorkerThread::AddTree(TBaseVirtualTree* tree)
{
    BX_ASSERT(tree != nullptr, "Tree must not be nil.");
    // A tree that was told to stop leaves that state before it queues again.
    tree->stopValidation_ = false;
    tree->DoStateChange(0, tsStopValidation);
    TLock lock(lock_);
    if (std::find(queue_.begin(), queue_.end(), tree) == queue_.end())
        queue_.push_back(tree);
}

void TWorkerThread::RemoveTree(TBaseVirtualTree* tree)
{
    BX_ASSERT(tree != nullptr, "Tree must not be nil.");
    TLock lock(lock_);
    queue_.erase(std::remove(queue_.begin(), queue_.end(), tree), queue_.end());
}

bool TWorkerThread::StopOrDequeue(TBaseVirtualTree* tree)
{
    TLock lock(lock_);
    tree->stopValidation_ = true;
    if (current_ == tree)
        return true;
    queue_.erase(std::remove(queue_.begin(), queue_.end(), tree), queue_.end());
    return false;
}

bool TWorkerThread::IsWorkingOn(const TBaseVirtualTree* tree) const
{
    TLock lock(lock_);
    return tree && current_ == tree;
}

bool TWorkerThread::IsQueued(const TBaseVirtualTree* tree) const
{
    TLock lock(lock_);
    return std::find(queue_.begin(), queue_.end(), tree) != queue_.end();
}

void TWorkerThread::WaitUntilLeft(const TBaseVirtualTree* tree)
{
    HANDLE left = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        TLock lock(lock_);
        if (current_ != tree) {
            if (left)
                CloseHandle(left);
            return;
        }
        if (left)
            waiters_.push_back(Waiter{tree, left});
    }
    for (;;) {
        DWORD r = left ? MsgWaitForMultipleObjects(1, &left, FALSE, INFINITE, QS_SENDMESSAGE) : WAIT_FAILED;
        if (r == WAIT_OBJECT_0)
            break;
        if (r == WAIT_OBJECT_0 + 1) {
            // Only messages sent by other threads are handled here; posted
            // ones (timers, input, paint, WM_QUIT) stay where they are.
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        // The wait itself failed: look again now and then.
        if (!IsWorkingOn(tree))
            break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        Sleep(1);
    }
    if (left) {
        TLock lock(lock_);
        waiters_.erase(std::remove_if(waiters_.begin(), waiters_.end(),
                                      [left](const Waiter& w) { return w.event == left; }),
                       waiters_.end());
        CloseHandle(left);
    }
}

void TWorkerThread::Notify(TBaseVirtualTree* tree, unsigned enter, unsigned leave)
{
    // Only a tree with a window hears of it. Its window can't go meanwhile:
    // the window's destruction first waits here for the worker to leave.
    if (tree->HandleAllocated())
        SendMessageW(tree->Handle(), WM_CHANGESTATE, enter, leave);
}

void TWorkerThread::Validate(TBaseVirtualTree* tree)
{
    Notify(tree, wsValidating, wsCacheValid);
    bool completed = false;
    try {
        if (!tree->ValidationStopRequested())
            completed = tree->DoValidateCache();
    } catch (...) {
        Application().PostException(std::current_exception());
    }
    if (completed)
        Notify(tree, wsCacheValid, wsStopValidation | wsValidating | wsValidationNeeded);
    else
        Notify(tree, 0, wsStopValidation | wsValidating);
}

void TWorkerThread::Execute()
{
    while (!Terminated()) {
        WaitForSingleObject(work_, INFINITE);
        if (Terminated())
            break;
        TBaseVirtualTree* tree = nullptr;
        {
            TLock lock(lock_);
            if (!queue_.empty()) {
                tree = queue_.front();
                queue_.erase(queue_.begin());
                if (!queue_.empty())
                    SetEvent(work_);
            }
            current_ = tree;
        }
        if (!tree)
            continue;
        try {
            Validate(tree);
        } catch (...) {
            Application().PostException(std::current_exception());
        }
        TLock lock(lock_);
        current_ = nullptr;
        for (auto& w : waiters_)
            if (w.tree == tree)
                SetEvent(w.event);
    }
}

// --- The functions the trees call ------------------------------------------

void WorkerAddThreadReference()
{
    std::lock_guard<std::mutex> lock(referenceLock);
    if (references == 0) {
        workEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!workEvent)
            throw Exception("Worker thread: cannot create its event (system error " +
                            std::to_string(GetLastError()) + ")");
        try {
            worker = new TWorkerThread(workEvent);
        } catch (...) {
            CloseHandle(workEvent);
            workEvent = nullptr;
            throw;
        }
    }
    ++references;
}

void WorkerReleaseThreadReference(TBaseVirtualTree* tree)
{
    TWorkerThread* w;
    {
        std::lock_guard<std::mutex> lock(referenceLock);
        if (references == 0)
            return;
        --references;
        w = worker;
    }
    if (tree && w) {
        tree->InterruptValidation();
        w->RemoveTree(tree);
    }
    TWorkerThread* ending = nullptr;
    HANDLE event = nullptr;
    {
        std::lock_guard<std::mutex> lock(referenceLock);
        if (references == 0 && worker) {
            ending = worker;
            event = workEvent;
            worker = nullptr;
            workEvent = nullptr;
        }
    }
    if (ending) {
        delete ending;   // tells the thread to end, wakes it and waits for it
        CloseHandle(event);
    }
}

void WorkerAddTree(TBaseVirtualTree* tree)
{
    BX_ASSERT(tree != nullptr, "Tree must not be nil.");
    // The tree holds a reference, so the worker stays while it is used here
    // (outside the lock: AddTree reports a state change to the application).
    TWorkerThread* w;
    HANDLE event;
    {
        std::lock_guard<std::mutex> lock(referenceLock);
        w = worker;
        event = workEvent;
    }
    if (!w)
        return;
    w->AddTree(tree);
    SetEvent(event);
}

void WorkerRemoveTree(TBaseVirtualTree* tree)
{
    BX_ASSERT(tree != nullptr, "Tree must not be nil.");
    if (TWorkerThread* w = CurrentWorker())
        w->RemoveTree(tree);
}

bool WorkerIsValidating(const TBaseVirtualTree* tree)
{
    TWorkerThread* w = CurrentWorker();
    return w && w->IsWorkingOn(tree);
}

bool WorkerIsQueued(const TBaseVirtualTree* tree)
{
    TWorkerThread* w = CurrentWorker();
    return w && w->IsQueued(tree);
}

bool WorkerRunning() { return CurrentWorker() != nullptr; }

DWORD WorkerThreadId()
{
    TWorkerThread* w = CurrentWorker();
    return w ? w->ThreadID() : 0;
}

int WorkerThreadsStarted() { return threadsStarted.load(); }

// --- The tree's side --------------------------------------------------------

void TBaseVirtualTree::operator delete(TBaseVirtualTree* tree, std::destroying_delete_t)
{
    // The storage starts with the most derived object.
    void* storage = dynamic_cast<void*>(tree);
    Guarded([tree] {
        tree->Destroying();   // no validation is queued from here on
        tree->InterruptValidation();
    });
    tree->~TBaseVirtualTree();
    ::operator delete(storage);
}

void* TBaseVirtualTree::operator new(std::size_t size) { return ::operator new(size); }

void TBaseVirtualTree::operator delete(void* storage) { ::operator delete(storage); }

void TBaseVirtualTree::InterruptValidation()
{
    DoStateChange(tsStopValidation);
    TWorkerThread* w = CurrentWorker();
    if (!w) {
        stopValidation_ = true;
        return;
    }
    if (w->StopOrDequeue(this)) {
        // The worker is on this tree now: it sees the stop request at its
        // next step; meanwhile its notices (sent messages) are handled.
        w->WaitUntilLeft(this);
        stopValidation_ = false;
        DoStateChange(0, tsStopValidation);
    }
}
