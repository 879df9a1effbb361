// The standard scroll bars of a window, as a control that scrolls a virtual
// area keeps them: range, page and position in 32 bits, and the thumb's
// position while it is dragged, which the scroll messages can't carry (their
// HIWORD wraps at 65535).
#pragma once
#include <windows.h>

struct TScrollBarState {
    int Min = 0;
    int Max = 0;
    unsigned Page = 0;
    int Pos = 0;
    int TrackPos = 0;
};

// The bar's range, page, position and thumb position (SIF_ALL); false when
// the window has no information for that bar (SB_HORZ or SB_VERT).
bool GetScrollBarState(HWND window, int bar, TScrollBarState& state);

// Where the thumb is while it is dragged (SB_THUMBTRACK, SB_THUMBPOSITION):
// the 32-bit track position.
int ScrollTrackPosition(HWND window, int bar);

// Sets range 0..max, page and position in one call and returns the position
// the bar took (the system keeps it within 0..max - page + 1). With
// disableNoScroll a bar that has nothing to scroll stays, disabled; without
// it such a bar goes. redraw false leaves the bar's drawing for later (see
// RedrawScrollBars).
int SetScrollBar(HWND window, int bar, int max, unsigned page, int pos, bool disableNoScroll, bool redraw);

// Shows or hides a bar only when that changes its visibility (a change of
// the frame makes the window recompute its client area); true when it changed.
bool ShowScrollBarIfNeeded(HWND window, int bar, bool show);

// Draws the window's scroll bars again (after positions were set without
// redraw during a burst of scrolling).
void RedrawScrollBars(HWND window);

// Rows to scroll per wheel notch (SPI_GETWHEELSCROLLLINES): WHEEL_PAGESCROLL
// means a page; 3 when the system gives nothing.
unsigned WheelScrollLines();
