// A light timer object for periodic or one-shot callbacks on the GUI thread.
// Every timer of the process shares one hidden window that receives the
// WM_TIMER messages; a timer's id is the object's own address.
#pragma once
#include <windows.h>

#include "platform/Events.h"

class TSimpleTimer : public TObject {
public:
    // Interval 1000 ms, no handler, stopped.
    TSimpleTimer();
    // The given interval and handler, stopped.
    TSimpleTimer(DWORD interval, TNotifyEvent onTimer);
    static TSimpleTimer* CreateEx(DWORD interval, TNotifyEvent onTimer)
    {
        return new TSimpleTimer(interval, std::move(onTimer));
    }
    ~TSimpleTimer() override;
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;

    // Starts or restarts the period; false when nothing was started (interval 0
    // or SetTimer failed).
    bool Start();
    // Kills the system timer; with disable also clears Enabled. True when
    // KillTimer succeeded.
    bool Stop(bool disable);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    DWORD Interval() const { return interval_; }
    void SetInterval(DWORD interval);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    // Clearing the handler of a running timer suspends it (Enabled stays).
    void SetOnTimer(TNotifyEvent onTimer);
    UINT_PTR Id() const { return id_; }

    // One-shot: the timer stops before its handler runs, so the handler may
    // start it again. The owner writes it directly after creating the timer.
    bool AutoDisable = false;

    // The shared window (nullptr while no timer object exists), the number of
    // live timer objects and of running system timers.
    static HWND HandlerWindow();
    static int HandlerRefCount();
    static int HandlerTimerCount();

private:
    friend class TSimpleTimerHandler;
    void Fire();

    UINT_PTR id_;
    bool enabled_ = false;
    bool running_ = false;   // a system timer is set for it
    DWORD interval_;
    TNotifyEvent onTimer_;
};
