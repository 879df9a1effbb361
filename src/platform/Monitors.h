// Monitor and work-area geometry, for windows that must stay on screen
// (popups, floating toolbars, hints). The multi-monitor functions are looked
// up in user32.dll by name: without them the primary screen counts.
#pragma once
#include <windows.h>

// The work area (when wanted and known) or the whole screen.
RECT GetWorkAreaOrScreen(bool workArea);
// More than one monitor.
bool UsingMultipleMonitors();
// Looks the monitor functions up in user32.dll; true when they are there.
bool LoadMonitorFunctions();
// The work area or rectangle of the monitor nearest to a rectangle / point.
RECT GetRectOfMonitorContainingRect(const RECT& r, bool workArea);
RECT GetRectOfMonitorContainingPoint(POINT p, bool workArea);
