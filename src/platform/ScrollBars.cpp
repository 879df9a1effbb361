#include "platform/ScrollBars.h"

#include "platform/GdiGuards.h"

bool GetScrollBarState(HWND window, int bar, TScrollBarState& state)
{
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    if (!GetScrollInfo(window, bar, &si))
        return false;
    state.Min = si.nMin;
    state.Max = si.nMax;
    state.Page = si.nPage;
    state.Pos = si.nPos;
    state.TrackPos = si.nTrackPos;
    return true;
}

int ScrollTrackPosition(HWND window, int bar)
{
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_TRACKPOS;
    if (!GetScrollInfo(window, bar, &si))
        return 0;
    return si.nTrackPos;
}

int SetScrollBar(HWND window, int bar, int max, unsigned page, int pos, bool disableNoScroll, bool redraw)
{
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | (disableNoScroll ? SIF_DISABLENOSCROLL : 0);
    si.nMin = 0;
    si.nMax = max;
    si.nPage = page;
    si.nPos = pos;
    return SetScrollInfo(window, bar, &si, redraw ? TRUE : FALSE);
}

bool ShowScrollBarIfNeeded(HWND window, int bar, bool show)
{
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    const LONG_PTR flag = bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
    if (((style & flag) != 0) == show)
        return false;
    ShowScrollBar(window, bar, show ? TRUE : FALSE);
    return true;
}

void RedrawScrollBars(HWND window)
{
    // Only the frame: the scroll bars (and whatever else the frame holds).
    // Without a region RedrawWindow would take the whole client area along
    // and every row would be painted again; the region is the window less its
    // client area, in client coordinates (RDW_FRAME lets it reach outside).
    RECT frame, client;
    if (!GetWindowRect(window, &frame) || !GetClientRect(window, &client))
        return;
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&frame), 2);
    TGdiObject<HRGN> outer(CreateRectRgnIndirect(&frame)), inner(CreateRectRgnIndirect(&client));
    const bool framed = outer && inner && CombineRgn(outer.Get(), outer.Get(), inner.Get(), RGN_DIFF) != ERROR;
    RedrawWindow(window, nullptr, framed ? outer.Get() : nullptr,
                 RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN);
}

unsigned WheelScrollLines()
{
    UINT lines = 3;
    if (!SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0))
        lines = 3;
    return lines;
}
