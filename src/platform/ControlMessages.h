// Messages of the window layer's own, between its controls, forms and the
// application window.
#pragma once
#include <windows.h>

// Sent to the application window with a key-down that no action list of
// the focused control's form used (wParam the virtual key, lParam the key
// data): main-window hooks may answer it as a shortcut (non-zero: used).
constexpr UINT CM_APPKEYDOWN = 0xB016;
// Sent to the application window when a form gets WM_SYSCOMMAND with
// SC_KEYMENU (wParam and lParam as the form got them); non-zero: used, the
// form's default handling (the system menu) does not run.
constexpr UINT CM_APPSYSCOMMAND = 0xB017;
// Sent to every windowed control of a form that got WM_SETTINGCHANGE, with
// the same parameters (wParam the SPI_ code).
constexpr UINT CM_WININICHANGE = 0xB01A;
// Sent to every windowed control of a form that got WM_SYSCOLORCHANGE (only
// top-level windows get that one from the system).
constexpr UINT CM_SYSCOLORCHANGE = 0xB019;
