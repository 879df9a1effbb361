#include "controls/SimpleTimer.h"

#include <set>

#include "platform/HiddenWindow.h"

class TSimpleTimerHandler : public THiddenWindow {
public:
    TSimpleTimerHandler() : THiddenWindow(true) { Handle(); }

    int RefCount = 0;
    int TimerCount = 0;
    std::set<TSimpleTimer*> timers;   // the live timer objects

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_TIMER) {
            auto* timer = reinterpret_cast<TSimpleTimer*>(wParam);
            if (timers.count(timer)) {
                timer->Fire();
            } else {
                // A timer of an object that is gone, or not ours: stop it.
                KillTimer(Handle(), wParam);
            }
            return 0;
        }
        return THiddenWindow::WndProc(msg, wParam, lParam);
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
        delete g_handler;
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
        ++g_handler->TimerCount;
    }
    return ok;
}

bool TSimpleTimer::Stop(bool disable)
{
    if (disable)
        enabled_ = false;
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
