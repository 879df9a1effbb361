#include "controls/SimpleTimer.h"

#include <set>

#include "platform/Firewall.h"
#include "platform/HiddenWindow.h"

class TSimpleTimerHandler : public THiddenWindow {
public:
    TSimpleTimerHandler() : THiddenWindow(true) { Handle(); }

    int RefCount = 0;
    int TimerCount = 0;
    std::set<TSimpleTimer*> timers;   // the live timer objects
    // Timer messages being handled right now (a handler may pump messages).
    int Dispatching = 0;
    // The last timer went while a message was being handled: the handler is
    // freed once that handling is over.
    bool Orphaned = false;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg != WM_TIMER)
            return THiddenWindow::WndProc(msg, wParam, lParam);
        auto* timer = reinterpret_cast<TSimpleTimer*>(wParam);
        if (!timers.count(timer)) {
            // A timer of an object that is gone, or not ours: stop it.
            KillTimer(Handle(), wParam);
            return 0;
        }
        if (!timer->running_)
            return 0;   // queued before its timer was stopped
        ++Dispatching;
        try {
            timer->Fire();
        } catch (...) {
            // Reported here: this object may be freed before the window
            // procedure gets control back.
            HandleCurrentException();
        }
        --Dispatching;
        if (Orphaned && Dispatching == 0)
            delete this;   // nothing touches it after this return
        return 0;
    }
};

namespace {

TSimpleTimerHandler* g_handler = nullptr;

struct HandlerCleanup {
    ~HandlerCleanup()
    {
        delete g_handler;
        g_handler = nullptr;
    }
} g_cleanup;

void AcquireTimerHandler(TSimpleTimer* timer)
{
    if (!g_handler)
        g_handler = new TSimpleTimerHandler();
    ++g_handler->RefCount;
    g_handler->timers.insert(timer);
}

void ReleaseTimerHandler(TSimpleTimer* timer)
{
    if (!g_handler)
        return;
    g_handler->timers.erase(timer);
    if (g_handler->RefCount > 0)
        --g_handler->RefCount;
    if (g_handler->RefCount == 0) {
        if (g_handler->Dispatching > 0) {
            // Freed by a handler running on it: it goes when that returns; a
            // timer made meanwhile gets a new one.
            g_handler->Orphaned = true;
        } else {
            delete g_handler;
        }
        g_handler = nullptr;
    }
}

}  // namespace

TSimpleTimer::TSimpleTimer() : TSimpleTimer(1000, nullptr) {}

TSimpleTimer::TSimpleTimer(DWORD interval, TNotifyEvent onTimer)
    : id_(reinterpret_cast<UINT_PTR>(this)), interval_(interval)
{
    SetOnTimer(std::move(onTimer));
    AcquireTimerHandler(this);
}

TSimpleTimer::~TSimpleTimer()
{
    if (enabled_)
        Stop(true);
    ReleaseTimerHandler(this);
}

bool TSimpleTimer::Start()
{
    if (interval_ == 0 || !g_handler)
        return false;
    if (enabled_)
        Stop(true);
    bool ok = SetTimer(g_handler->Handle(), id_, interval_, nullptr) != 0;
    if (ok) {
        enabled_ = true;
        running_ = true;
        ++g_handler->TimerCount;
    }
    return ok;
}

bool TSimpleTimer::Stop(bool disable)
{
    if (disable)
        enabled_ = false;
    running_ = false;
    if (!g_handler)
        return false;
    bool ok = KillTimer(g_handler->Handle(), id_) != FALSE;
    if (ok && g_handler->TimerCount > 0)
        --g_handler->TimerCount;
    return ok;
}

void TSimpleTimer::SetEnabled(bool enabled)
{
    if (enabled)
        Start();
    else
        Stop(true);
}

void TSimpleTimer::SetInterval(DWORD interval)
{
    if (interval == interval_)
        return;
    interval_ = interval;
    if (!enabled_)
        return;
    if (interval != 0)
        Start();
    else
        Stop(false);
}

void TSimpleTimer::SetOnTimer(TNotifyEvent onTimer)
{
    onTimer_ = std::move(onTimer);
    if (!onTimer_ && enabled_)
        Stop(false);
}

void TSimpleTimer::Fire()
{
    if (AutoDisable)
        Stop(true);
    if (onTimer_) {
        // A copy: the handler may replace itself or free the timer.
        TNotifyEvent handler = onTimer_;
        handler(this);
    }
}

HWND TSimpleTimer::HandlerWindow() { return g_handler ? g_handler->Handle() : nullptr; }
int TSimpleTimer::HandlerRefCount() { return g_handler ? g_handler->RefCount : 0; }
int TSimpleTimer::HandlerTimerCount() { return g_handler ? g_handler->TimerCount : 0; }
