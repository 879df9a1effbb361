// Small drawing and window routines of the control layer (link labels,
// speed buttons, edit buttons, the folder browser) and the two cursors those
// controls use. A "canvas" here is a device context.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>

class TCanvas;
class TControl;

// Cursor numbers of the hand cursor of link labels and of the drag cursor.
constexpr int crHand = 14000;
constexpr int crDragHand = 14001;

// The cursor registered under a number ("RX_HANDCUR" and "RX_DRAGCUR" from
// the program's resources are loaded at start-up as crHand and crDragHand).
// An unknown number gives the arrow.
HCURSOR ScreenCursor(int number);
// Registers (or replaces) a cursor under a number. Call on the GUI thread.
void RegisterScreenCursor(int number, HCURSOR cursor);

inline int Max(int a, int b) { return a > b ? a : b; }
inline int Min(int a, int b) { return a < b ? a : b; }
inline int RectWidth(const RECT& r) { return r.right - r.left; }
inline int RectHeight(const RECT& r) { return r.bottom - r.top; }

// Paints into dc (the control's own coordinates) what lies under the child
// window control: the parent's background and client paint (WM_ERASEBKGND,
// then WM_PRINTCLIENT), clipped to the parent's client area, then every
// visible sibling lower in z-order that overlaps the control (WM_PAINT with
// dc as wParam). Meanwhile the parent and each sibling are marked as
// painting a copy (IsPaintingCopy). The window of a control of the window
// layer is handed to the TControl form below.
void CopyParentImage(HWND control, HDC dc);
// True while CopyParentImage has a window paint into a copy.
bool IsPaintingCopy(HWND window);

// The same for a control of the window layer, windowless or not (a
// transparent link label or speed button paints its background with it):
// the parent's background colour, its WM_ERASEBKGND and its own Paint, then
// WM_PRINTCLIENT for a parent of a system class, all clipped to the parent's
// client area; then every visible windowless sibling below the control (those
// before it in the parent's list) that overlaps it, with its own Paint. The
// canvas's origin is the control's top left corner. The parent and each such
// sibling are marked as painting a copy meanwhile.
void CopyParentImage(TControl* control, TCanvas& canvas);
bool IsPaintingCopy(const TControl* control);

// A new bitmap of the same size with the embossed "disabled" look: a mask of
// the source (maskColor transparent) drawn in highlight offset by one pixel
// (when drawHighlight), then in shadow, over back. The caller frees it;
// nullptr when the source can't be read.
HBITMAP CreateDisabledBitmapEx(HBITMAP source, COLORREF maskColor, COLORREF back,
                               COLORREF highlight, COLORREF shadow, bool drawHighlight);
// The same with the button face, highlight and shadow colours.
HBITMAP CreateDisabledBitmap(HBITMAP source, COLORREF maskColor);
// One image of an image list drawn onto dc at x, y with the embossed look.
// The dc's selected brush and colours are restored.
void ImageListDrawDisabled(HIMAGELIST images, HDC dc, int x, int y, int index,
                           COLORREF highlight, COLORREF shadow, bool drawHighlight);

// Removes a waiting message of that number for window; when it is WM_QUIT,
// posts the quit again with its code. True when a message was removed.
bool CheckQuitMessage(HWND window, UINT message);

// Moves r, keeping its size, into the primary screen: right and bottom
// edges first, then left and top.
void FitRectToScreen(RECT& r);
// Centres the window on the primary screen (kept inside it) without changing
// its size or z-order.
void CenterWindow(HWND window);

// The text, or its beginning followed by "...", shortened one character at
// a time until it is at most width pixels wide in dc's font.
std::string MinimizeText(const std::string& text, HDC dc, int width);

// Command-line texts. Blanks and control characters between tokens are
// skipped, so is an empty pair of quotes; a quoted part is taken without its
// quotes ("a b"c reads as a bc).
// Reads the token starting at or after pos; returns the position after it.
// token is empty (and the result text.size()) when there is none.
size_t GetParamToken(std::string_view text, size_t pos, std::string& token);
// Number of tokens after the first (the program).
int ParamCount(std::string_view text);
// Token number index; 0 is the program. Empty when missing.
std::string ParamIndexToken(std::string_view text, int index);
// The first token is the program; the others are joined with blanks, a
// token holding a blank put in double quotes.
void SplitCommandLine(std::string_view text, std::string& program, std::string& params);

// True when this thread's active window is one of this thread's windows.
bool IsForegroundTask();
