// The floor for the list-control scrolling benchmarks: a bare window that
// does no more than a list needs to scroll. It answers WM_VSCROLL and
// WM_MOUSEWHEEL with ScrollWindowEx over its rows (the wheel by the
// system's lines) and paints the rows that came into view with the same
// texts as the other subjects, one ExtTextOut a cell, straight into the
// window. Like the tree it sets the bar's position without drawing it and
// draws the bar once when asked after a burst (FinishDeferred). The same
// set-up: a 1024 x 768 popup filled by the window with a client edge, a
// strip of the header's height above the rows, 14 columns, the message font,
// 14-px rows.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#include "ListViewSubject.h"

namespace bench_list {

class TBareSide {
public:
    void Create(unsigned count, int headerHeight)
    {
        static const wchar_t* const className = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &TBareSide::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            wc.lpszClassName = L"BxBenchBareList";
            RegisterClassW(&wc);
            return L"BxBenchBareList";
        }();
        count_ = count;
        headerHeight_ = headerHeight;
        UINT lines = 3;
        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
        wheelLines_ = static_cast<int>(lines);
        LOGFONTW lf = MessageFont();
        font_ = CreateFontIndirectW(&lf);
        host_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, kWidth, kHeight, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        window_ = CreateWindowExW(WS_EX_CLIENTEDGE, className, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, kWidth,
                                  kHeight, host_, nullptr, GetModuleHandleW(nullptr), this);
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMax = static_cast<int>(count) * kRowHeight - 1;
        si.nPage = static_cast<UINT>(Rows().bottom - Rows().top);
        SetScrollInfo(window_, SB_VERT, &si, TRUE);
    }
    void Destroy()
    {
        DestroyWindow(host_);
        DeleteObject(font_);
    }
    HWND Window() const { return window_; }
    void Show(bool show)
    {
        ShowWindow(host_, show ? SW_SHOWNOACTIVATE : SW_HIDE);
        UpdateWindow(host_);
        UpdateWindow(window_);
    }
    void ScrollToRow(unsigned row)
    {
        ScrollBy(static_cast<int>(row) * kRowHeight - offset_);
        UpdateWindow(window_);
    }
    int TopRow() const { return offset_ / kRowHeight; }
    // The bar drawn at its position, once after a burst (as the tree does).
    void FinishDeferred()
    {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_POS;
        si.nPos = offset_;
        SetScrollInfo(window_, SB_VERT, &si, TRUE);
    }

private:
    RECT Rows() const
    {
        RECT r;
        GetClientRect(window_, &r);
        r.top = std::min<LONG>(r.bottom, headerHeight_);
        return r;
    }
    void ScrollBy(int delta)
    {
        const RECT rows = Rows();
        const int last = std::max(0, static_cast<int>(count_) * kRowHeight - static_cast<int>(rows.bottom - rows.top));
        const int target = std::clamp(offset_ + delta, 0, last);
        if (target == offset_)
            return;
        const int dy = offset_ - target;
        offset_ = target;
        ScrollWindowEx(window_, 0, dy, &rows, &rows, nullptr, nullptr, SW_INVALIDATE);
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_POS;
        si.nPos = offset_;
        SetScrollInfo(window_, SB_VERT, &si, FALSE);
    }
    void Paint()
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        HGDIOBJ oldFont = SelectObject(dc, font_);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        const RECT rows = Rows();
        RECT client;
        GetClientRect(window_, &client);
        // The header's strip: plain, it never scrolls.
        if (ps.rcPaint.top < rows.top) {
            RECT strip{client.left, client.top, client.right, rows.top};
            FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
        }
        const int top = std::max<int>(ps.rcPaint.top, rows.top);
        const int first = (offset_ + top - rows.top) / kRowHeight;
        for (int row = first; row < static_cast<int>(count_); ++row) {
            const int y = rows.top + row * kRowHeight - offset_;
            if (y >= ps.rcPaint.bottom)
                break;
            int x = 0;
            for (int column = 0; column < kColumns; ++column) {
                const int width = ColumnWidth(column);
                RECT cell{x, y, x + width, y + kRowHeight};
                const std::wstring text = CellText(static_cast<unsigned>(row), column);
                ExtTextOutW(dc, x + 4, y, ETO_OPAQUE | ETO_CLIPPED, &cell, text.c_str(),
                            static_cast<UINT>(text.size()), nullptr);
                x += width;
            }
            if (x < client.right) {
                RECT rest{x, y, client.right, y + kRowHeight};
                ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rest, nullptr, 0, nullptr);
            }
        }
        SelectObject(dc, oldFont);
        EndPaint(window_, &ps);
    }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == WM_NCCREATE) {
            auto* self = static_cast<TBareSide*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->window_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<TBareSide*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self) {
            switch (msg) {
            case WM_VSCROLL:
                if (LOWORD(wParam) == SB_LINEDOWN)
                    self->ScrollBy(kRowHeight);
                else if (LOWORD(wParam) == SB_LINEUP)
                    self->ScrollBy(-kRowHeight);
                return 0;
            case WM_MOUSEWHEEL:
                self->ScrollBy(-static_cast<short>(HIWORD(wParam)) * self->wheelLines_ * kRowHeight / WHEEL_DELTA);
                return 0;
            case WM_ERASEBKGND:
                return 1;
            case WM_PAINT:
                self->Paint();
                return 0;
            default:
                break;
            }
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    HWND host_ = nullptr, window_ = nullptr;
    HFONT font_ = nullptr;
    unsigned count_ = 0;
    int headerHeight_ = 0, offset_ = 0, wheelLines_ = 3;
};

} // namespace bench_list
