// Opening animation of popup menus: a fade (layered window, alpha rising
// from 40) or a slide (a window region that uncovers a snapshot of the
// window from one side). A worker thread paces the steps and tells the
// popup by WM_POPUPANIM_STEP; the popup's thread draws each step. One
// animation per GUI thread: starting one ends the one before.
//
// The animated window must answer WM_PRINT (it is painted once into a
// snapshot), pass WM_POPUPANIM_STEP's lParam to StepPopupAnimation, and end
// a running animation (FinishPopupAnimation) before it paints or erases, and
// when its handle goes.
#pragma once
#include <windows.h>

#include <cstdint>

constexpr UINT WM_POPUPANIM_STEP = 0x955;    // lParam: the animation's sequence number
constexpr UINT WM_POPUPANIM_ENDED = 0x956;   // sent to the window when its animation ended

// Direction bits of a slide: where the window comes in from.
enum : std::uint8_t {
    tbpaFromRight = 1,
    tbpaFromLeft = 2,
    tbpaFromAbove = 4,
    tbpaFromBelow = 8,
};

// Starts the animation of a hidden window and shows it (without
// activating). A fade becomes a slide where UpdateLayeredWindow is missing.
void BeginPopupAnimation(HWND window, bool fade, std::uint8_t direction);
// One step of the thread's running animation; a number other than the
// current animation's is ignored.
void StepPopupAnimation(LPARAM sequence);
// Ends the thread's running animation (only when it is window's, unless
// window is nullptr): the whole window is shown, WM_POPUPANIM_ENDED sent.
void FinishPopupAnimation(HWND window = nullptr);
// A running animation of the thread (of that window, unless nullptr).
bool IsPopupAnimationRunning(HWND window = nullptr);
// The sequence number of the thread's latest animation (0: none yet).
int PopupAnimationSequence();

// Test seams. The layered-window update (nullptr: as on a system without
// it; Reset...: the system's again), and the duration of every animation in
// ms (0: the usual 175 for a fade and 150 for a slide).
using TUpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
void SetUpdateLayeredWindowForTesting(TUpdateLayeredWindowFn fn);
void ResetUpdateLayeredWindowForTesting();
TUpdateLayeredWindowFn SystemUpdateLayeredWindow();
void SetPopupAnimationDurationForTesting(int ms);
