// Routines the toolbar items, views, popups and docks share: the menu
// settings of the system (show delay, flat menus, keyboard cues, sounds),
// caption text handling, rotated text for vertical toolbars, drag
// rectangles, WM_PRINT answering, message-queue chores and small list
// helpers. Text is UTF-8 inside, UTF-16 at the GDI. Monitor and work-area
// geometry comes from the layer (the list control's hints use it too).
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Monitors.h"

class TFont;
class TWinControl;

// The shared menu font of the toolbar library: the system's menu font,
// made on first use and freed at the end of the program.
TFont& ToolbarSystemFont();
// Reads the menu font of the system into ToolbarSystemFont again (after a
// settings change).
void LoadToolbarSystemFont();

// GetActiveWindow is not 0.
bool IsAnyWindowActive();

// Quicksort in place: compare(a, b, extra) < 0 when a goes before b. The
// middle element is the pivot; lists of 0 or 1 entries are untouched.
template <class T>
void SortListWithCompare(std::vector<T>& list, const std::function<int(const T&, const T&, void*)>& compare,
                         void* extra)
{
    if (list.size() < 2)
        return;
    std::function<void(int, int)> sort = [&](int l, int r) {
        while (l < r) {
            int i = l, j = r;
            T pivot = list[static_cast<size_t>((l + r) / 2)];
            while (i <= j) {
                while (compare(list[static_cast<size_t>(i)], pivot, extra) < 0)
                    ++i;
                while (compare(list[static_cast<size_t>(j)], pivot, extra) > 0)
                    --j;
                if (i <= j) {
                    std::swap(list[static_cast<size_t>(i)], list[static_cast<size_t>(j)]);
                    ++i;
                    --j;
                }
            }
            if (l < j)
                sort(l, j);
            l = i;
        }
    };
    sort(0, static_cast<int>(list.size()) - 1);
}

// Draws the window's frame into dc (window coordinates).
using TNCPainter = std::function<void(HWND window, HDC dc)>;
// Answers WM_PRINT (wParam the DC, lParam the PRF_ flags): the frame through
// ncPaint, then WM_ERASEBKGND and WM_PRINTCLIENT at the client origin, then
// visible children and (PRF_OWNED) owned windows. Returns 1.
LRESULT AnswerPrintMessage(HWND window, WPARAM dc, LPARAM flags, const TNCPainter& ncPaint);
// Answers WM_PRINTCLIENT: the control paints itself as for WM_PAINT into the
// message's DC, between SaveDC and RestoreDC.
LRESULT AnswerPrintClientMessage(TWinControl& control, WPARAM dc, LPARAM flags);

// a div b, one further from zero when the division is not exact.
int DivRoundUp(int a, int b);
// tmHeight of the DC's font.
int GetTextHeight(HDC dc);
// Removes single "&" marks ("&&" becomes "&").
std::string StripAccelChars(const std::string& caption);
// Every "&" doubled.
std::string EscapeAmpersands(const std::string& caption);
// A trailing ":" (when longer than 1 character) or "..." (when longer than
// 3) removed.
std::string StripTrailingPunctuation(const std::string& caption);
// Width of the text on the DC, accelerator marks removed first when asked.
int GetTextWidth(HDC dc, const std::string& text, bool stripAccelChars);

// Dispatches the thread's queued WM_PAINT messages. A WM_QUIT met is
// posted again and ends it.
void ProcessPaintMessages();
// Removes the queued messages first..last of the thread. A WM_QUIT met is
// posted again and ends it.
void RemoveMessages(UINT first, UINT last);
// For a region other than 0 and 1 (the WM_NCPAINT wParam): selects it as the
// DC's clip region, moved to window coordinates.
void SelectNCUpdateRgn(HWND window, HDC dc, HRGN region);

// Lists made on demand and dropped when empty.
template <class T>
bool AddToList(std::unique_ptr<std::vector<T>>& list, const T& item)
{
    if (!list)
        list = std::make_unique<std::vector<T>>();
    for (const T& x : *list)
        if (x == item)
            return false;
    list->push_back(item);
    return true;
}
template <class T>
bool AddToFrontOfList(std::unique_ptr<std::vector<T>>& list, const T& item)
{
    if (!list)
        list = std::make_unique<std::vector<T>>();
    for (const T& x : *list)
        if (x == item)
            return false;
    list->insert(list->begin(), item);
    return true;
}
template <class T>
void RemoveFromList(std::unique_ptr<std::vector<T>>& list, const T& item)
{
    if (!list)
        return;
    for (auto it = list->begin(); it != list->end(); ++it)
        if (*it == item) {
            list->erase(it);
            break;
        }
    if (list->empty())
        list.reset();
}

// Milliseconds before a submenu opens: the system's menu show delay; when
// that cannot be asked, the registry's "MenuShowDelay" (400 without it).
int MenuOpenDelay();
// HKCU "Control Panel\Desktop" "MenuShowDelay" as text: 400 when the key or
// value is missing, 0 when it is no number or no text. Read once per process.
int ReadMenuShowDelayRegistry();
// Test seams: replace the system query (nullptr: the real one); forget the
// registry value read once.
void SetMenuShowDelayQueryForTesting(std::function<bool(int& delay)> query);
void ResetMenuShowDelayRegistryForTesting();

// Windows XP or later, and SPI_GETFLATMENU.
bool AreFlatMenusEnabled();
// SPI_GETKEYBOARDCUES (true also when the query fails).
bool AreKeyboardCuesEnabled();
// A region of an empty rectangle.
HRGN CreateNullRegion();

// Inverts the frame of newRect (newSize thick) and takes away the frame of
// oldRect (oldSize thick) drawn before, through XOR pattern blits. oldRect
// may be nullptr (first drawing); newRect nullptr only erases.
void DrawInvertRect(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize,
                    HBRUSH brush, HBRUSH lastBrush);
// Pattern brush of an 8x8 chequer (rows 0x5555, 0xAAAA).
HBRUSH CreateHalftoneBrush();
void DrawHalftoneInvertRect(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize);

inline bool PointsEqual(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

// TrackMouseEvent (user32, else comctl32's); false when missing or failed.
bool CallTrackMouseEvent(HWND window, DWORD flags);

// The DC's font turned by 270 degrees (MS Sans Serif becomes Arial; the
// vertical "@" face when installed). The caller deletes it.
HFONT CreateRotatedFont(HDC dc);
// Text written downwards, centred in r, "&" marks removed and the
// accelerator underlined unless format holds DT_HIDEPREFIX.
void DrawRotatedText(HDC dc, const std::string& text, const RECT& r, UINT format);

// The sound scheme has a sound for the event: the default value of the key
// "AppEvents\Schemes\Apps\.Default\<alias>\.Current" of HKCU is not
// empty. Menus play "MenuPopup" and "MenuCommand" only then.
bool SoundSchemeHasEvent(const std::string& alias);
// Plays a system sound event asynchronously (when the scheme has it).
void PlaySystemSound(const std::string& alias);
// Test seam: receives the alias instead of the system's sound player.
void SetPlaySoundForTesting(std::function<void(const std::string& alias)> player);

// The accelerator of a caption: the whole character (one or two UTF-16
// units) after the last single "&"; empty when none.
std::wstring FindAccelChar(const std::string& caption);
// The first whole character of the caption with "&" marks removed; empty
// when there is none.
std::wstring FirstCaptionChar(const std::string& caption);
// Characters equal without regard to case (UTF-16, the system's rules).
bool SameAccelChar(const std::wstring& a, const std::wstring& b);

bool IsWindowsXPOrLater();
// The ANSI code page of the keyboard layout's language; 0 when invalid.
UINT GetInputLocaleCodePage();
