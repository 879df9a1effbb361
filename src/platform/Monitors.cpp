#include "platform/Monitors.h"

RECT GetWorkAreaOrScreen(bool workArea)
{
    RECT r;
    if (workArea && SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0))
        return r;
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool UsingMultipleMonitors()
{
    return GetSystemMetrics(SM_CMONITORS) > 1;
}

namespace {

struct MonitorFunctions {
    HMONITOR(WINAPI* fromRect)(LPCRECT, DWORD) = nullptr;
    HMONITOR(WINAPI* fromPoint)(POINT, DWORD) = nullptr;
    HMONITOR(WINAPI* fromWindow)(HWND, DWORD) = nullptr;
    BOOL(WINAPI* getInfo)(HMONITOR, LPMONITORINFO) = nullptr;
    bool loaded = false;
};

const MonitorFunctions& Monitors()
{
    static MonitorFunctions f = [] {
        MonitorFunctions m;
        HMODULE user = GetModuleHandleW(L"user32.dll");
        if (user) {
            m.fromRect = reinterpret_cast<decltype(m.fromRect)>(
                reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromRect")));
            m.fromPoint = reinterpret_cast<decltype(m.fromPoint)>(
                reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromPoint")));
            m.fromWindow = reinterpret_cast<decltype(m.fromWindow)>(
                reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromWindow")));
            m.getInfo = reinterpret_cast<decltype(m.getInfo)>(
                reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoW")));
        }
        m.loaded = m.fromRect && m.fromPoint && m.getInfo;
        return m;
    }();
    return f;
}

RECT MonitorRect(HMONITOR monitor, bool workArea)
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;   // 40 bytes
    if (!monitor || !Monitors().getInfo(monitor, &info))
        return GetWorkAreaOrScreen(workArea);
    return workArea ? info.rcWork : info.rcMonitor;
}

}  // namespace

bool LoadMonitorFunctions()
{
    return Monitors().loaded;
}

RECT GetRectOfMonitorContainingRect(const RECT& r, bool workArea)
{
    if (UsingMultipleMonitors() && LoadMonitorFunctions())
        return MonitorRect(Monitors().fromRect(&r, MONITOR_DEFAULTTONEAREST), workArea);
    return GetWorkAreaOrScreen(workArea);
}

RECT GetRectOfMonitorContainingPoint(POINT p, bool workArea)
{
    if (UsingMultipleMonitors() && LoadMonitorFunctions())
        return MonitorRect(Monitors().fromPoint(p, MONITOR_DEFAULTTONEAREST), workArea);
    return GetWorkAreaOrScreen(workArea);
}
