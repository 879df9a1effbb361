// What the list-control benchmarks share: the set-up both subjects get (a
// 1024 x 768 popup, 14 columns of 110 then 64 px, the message font, 14-px
// rows, column 0 "Row <n>" and the others a number hashed from the row) and
// the system's ListView in report view with owner data, full-row select and
// texts through LVN_GETDISPINFO, in a host window whose procedure the
// benchmark gives.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>

namespace bench_list {

constexpr int kWidth = 1024, kHeight = 768, kRowHeight = 14, kColumns = 14;

inline unsigned Hash(unsigned row, unsigned column)
{
    unsigned h = row * 2654435761u ^ (column + 1) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h % 100000u;
}

inline std::wstring CellText(unsigned row, int column)
{
    wchar_t buffer[32];
    if (column == 0)
        swprintf(buffer, 32, L"Row %u", row);
    else
        swprintf(buffer, 32, L"%u", Hash(row, static_cast<unsigned>(column)));
    return buffer;
}

inline int ColumnWidth(int column) { return column == 0 ? 110 : 64; }

inline LOGFONTW MessageFont()
{
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    return ncm.lfMessageFont;
}

// The host popup (its class registered once under className with proc) and
// the ListView filling it, with the message font (font is the caller's to
// delete) and the columns; no rows yet.
inline void CreateListView(WNDPROC proc, const wchar_t* className, HWND& host, HWND& list, HFONT& font)
{
    WNDCLASSW wc{};
    if (!GetClassInfoW(GetModuleHandleW(nullptr), className, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        RegisterClassW(&wc);
    }
    host = CreateWindowExW(0, className, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, kWidth, kHeight, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                           WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0, kWidth,
                           kHeight, host, nullptr, GetModuleHandleW(nullptr), nullptr);
    LOGFONTW lf = MessageFont();
    font = CreateFontIndirectW(&lf);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int c = 0; c < kColumns; ++c) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = ColumnWidth(c);
        wchar_t text[16];
        swprintf(text, 16, L"Col %d", c);
        col.pszText = text;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
    }
}

} // namespace bench_list
