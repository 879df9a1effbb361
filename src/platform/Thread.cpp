#include "platform/Thread.h"

#include <process.h>

#include "platform/Application.h"
#include "platform/Exceptions.h"

namespace {
std::atomic<int> failCreations{0};
}

void TThread::FailCreationsForTesting(int n) { failCreations.store(n); }

TThread::TThread(bool createSuspended, unsigned stackSize)
{
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    unsigned id = 0;
    // Without the reservation flag the size would only be what is committed
    // at first, and the whole default would still be reserved.
    const unsigned flags = CREATE_SUSPENDED | (stackSize ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0);
    if (failCreations.load() > 0 && failCreations.fetch_sub(1) > 0)
        handle_ = nullptr;
    else
        handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, stackSize, &TThread::Entry, this, flags, &id));
    if (!handle_) {
        CloseHandle(stopEvent_);
        throw Exception("Thread creation error");
    }
    id_ = id;
    if (!createSuspended)
        Start();
}

TThread::~TThread()
{
    if (handle_) {
        if (!started_) {
            // Never started: let it run straight to its end.
            terminated_ = true;
            SetEvent(stopEvent_);
            finished_ = true;   // Execute will not be called
            ResumeThread(handle_);
        } else {
            Terminate();
        }
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
    }
    if (stopEvent_)
        CloseHandle(stopEvent_);
}

void TThread::Start()
{
    if (!started_) {
        started_ = true;
        ResumeThread(handle_);
    }
}

void TThread::Terminate()
{
    terminated_ = true;
    SetEvent(stopEvent_);
}

bool TThread::WaitFor(DWORD timeoutMs)
{
    if (!started_)
        return true;
    return WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0;
}

void TThread::SetPriority(int priority) { SetThreadPriority(handle_, priority); }

int TThread::Priority() const { return GetThreadPriority(handle_); }

bool TThread::WaitForTerminate(DWORD ms)
{
    if (terminated_)
        return true;
    WaitForSingleObject(stopEvent_, ms);
    return terminated_;
}

unsigned __stdcall TThread::Entry(void* p)
{
    TThread* self = static_cast<TThread*>(p);
    if (self->finished_)
        return 0;   // freed before it was started
    try {
        self->Execute();
    } catch (...) {
        // Reported on the GUI thread, by a posted message.
        Application().PostException(std::current_exception());
    }
    self->finished_ = true;
    return 0;
}
