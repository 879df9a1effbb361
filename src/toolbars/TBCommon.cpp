#include "toolbars/TBCommon.h"

#include <mmsystem.h>

#include <atomic>
#include <cstddef>
#include <cwchar>

#include "platform/Control.h"
#include "platform/Graphics.h"
#include "platform/Text.h"

// ---------------------------------------------------------------------------
// The menu font

namespace {

struct SystemFontHolder {
    std::unique_ptr<TFont> font;
};

SystemFontHolder& FontHolder()
{
    static SystemFontHolder holder;
    return holder;
}

// NONCLIENTMETRICSW as systems before Vista know it (without the padded
// border width): every system accepts this size.
constexpr UINT kNonClientMetricsSizePreVista = offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW);
static_assert(kNonClientMetricsSizePreVista == 500, "NONCLIENTMETRICSW before Vista");

}  // namespace

TFont& ToolbarSystemFont()
{
    SystemFontHolder& h = FontHolder();
    if (!h.font) {
        h.font = std::make_unique<TFont>();
        LoadToolbarSystemFont();
    }
    return *h.font;
}

void LoadToolbarSystemFont()
{
    SystemFontHolder& h = FontHolder();
    if (!h.font) {
        // Made (and loaded) on first use.
        ToolbarSystemFont();
        return;
    }
    alignas(NONCLIENTMETRICSW) unsigned char buffer[sizeof(NONCLIENTMETRICSW) + 16] = {};
    auto* ncm = reinterpret_cast<NONCLIENTMETRICSW*>(buffer);
    ncm->cbSize = kNonClientMetricsSizePreVista;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSizePreVista, ncm, 0))
        return;
    const LOGFONTW& lf = ncm->lfMenuFont;
    TFont& f = *h.font;
    f.SetName(WideToUtf8(std::wstring_view(lf.lfFaceName, wcsnlen(lf.lfFaceName, LF_FACESIZE))));
    f.SetHeight(lf.lfHeight);
    unsigned style = 0;
    if (lf.lfWeight >= FW_SEMIBOLD)
        style |= fsBold;
    if (lf.lfItalic)
        style |= fsItalic;
    if (lf.lfUnderline)
        style |= fsUnderline;
    if (lf.lfStrikeOut)
        style |= fsStrikeOut;
    f.SetStyle(style);
}

bool IsAnyWindowActive()
{
    return GetActiveWindow() != nullptr;
}

// ---------------------------------------------------------------------------
// WM_PRINT and WM_PRINTCLIENT

namespace {

struct OwnedSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectOwned(HWND w, LPARAM lParam)
{
    auto* s = reinterpret_cast<OwnedSearch*>(lParam);
    if (GetWindow(w, GW_OWNER) == s->owner && IsWindowVisible(w))
        s->found.push_back(w);
    return TRUE;
}

// Prints one window into dc with its top-left at (x, y) of the DC's current
// coordinates, clipped to its own size.
void PrintInto(HWND w, HDC dc, int x, int y, LPARAM flags)
{
    RECT wr;
    GetWindowRect(w, &wr);
    int saved = SaveDC(dc);
    POINT org;
    GetWindowOrgEx(dc, &org);
    SetWindowOrgEx(dc, org.x - x, org.y - y, nullptr);
    IntersectClipRect(dc, 0, 0, wr.right - wr.left, wr.bottom - wr.top);
    SendMessageW(w, WM_PRINT, reinterpret_cast<WPARAM>(dc), flags);
    RestoreDC(dc, saved);
}

}  // namespace

LRESULT AnswerPrintMessage(HWND window, WPARAM wParam, LPARAM flags, const TNCPainter& ncPaint)
{
    HDC dc = reinterpret_cast<HDC>(wParam);
    if ((flags & PRF_CHECKVISIBLE) && !IsWindowVisible(window))
        return 1;
    if (!dc)
        return 1;
    int saved = SaveDC(dc);
    RECT wr;
    GetWindowRect(window, &wr);
    POINT client = {0, 0};
    ClientToScreen(window, &client);
    // Where the client area's origin is in the DC's coordinates.
    int cx = 0, cy = 0;
    if (flags & PRF_NONCLIENT) {
        if (ncPaint)
            ncPaint(window, dc);
        cx = client.x - wr.left;
        cy = client.y - wr.top;
    }
    if (flags & PRF_CLIENT) {
        int inner = SaveDC(dc);
        POINT org;
        GetWindowOrgEx(dc, &org);
        SetWindowOrgEx(dc, org.x - cx, org.y - cy, nullptr);
        RECT cr;
        GetClientRect(window, &cr);
        IntersectClipRect(dc, 0, 0, cr.right, cr.bottom);
        if (flags & PRF_ERASEBKGND)
            SendMessageW(window, WM_ERASEBKGND, wParam, 0);
        SendMessageW(window, WM_PRINTCLIENT, wParam, flags);
        if (flags & PRF_CHILDREN) {
            // Bottom of the z-order first, so that upper children cover lower ones.
            HWND child = GetWindow(window, GW_CHILD);
            HWND last = child ? GetWindow(child, GW_HWNDLAST) : nullptr;
            for (HWND c = last; c; c = GetWindow(c, GW_HWNDPREV)) {
                if (!IsWindowVisible(c))
                    continue;
                RECT r;
                GetWindowRect(c, &r);
                PrintInto(c, dc, r.left - client.x, r.top - client.y,
                          PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
            }
        }
        RestoreDC(dc, inner);
    }
    if (flags & PRF_OWNED) {
        OwnedSearch s{window, {}};
        EnumThreadWindows(GetWindowThreadProcessId(window, nullptr), &CollectOwned,
                          reinterpret_cast<LPARAM>(&s));
        int ox = (flags & PRF_NONCLIENT) ? wr.left : client.x;
        int oy = (flags & PRF_NONCLIENT) ? wr.top : client.y;
        for (auto it = s.found.rbegin(); it != s.found.rend(); ++it) {
            RECT r;
            GetWindowRect(*it, &r);
            PrintInto(*it, dc, r.left - ox, r.top - oy, flags);
        }
    }
    RestoreDC(dc, saved);
    return 1;
}

LRESULT AnswerPrintClientMessage(TWinControl& control, WPARAM wParam, LPARAM)
{
    HDC dc = reinterpret_cast<HDC>(wParam);
    if (!dc)
        return 0;
    int saved = SaveDC(dc);
    control.Perform(WM_PAINT, wParam, 0);
    RestoreDC(dc, saved);
    return 0;
}

// ---------------------------------------------------------------------------
// Numbers and captions

int DivRoundUp(int a, int b)
{
    if (b == 0)
        return 0;
    int q = a / b;
    if (a % b != 0)
        q += ((a < 0) != (b < 0)) ? -1 : 1;
    return q;
}

int GetTextHeight(HDC dc)
{
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    return tm.tmHeight;
}

std::string StripAccelChars(const std::string& caption)
{
    std::string out;
    out.reserve(caption.size());
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            // "&&" is one plain ampersand; a single one is dropped.
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += caption[i];
    }
    return out;
}

std::string EscapeAmpersands(const std::string& caption)
{
    std::string out;
    out.reserve(caption.size() + 4);
    for (char c : caption) {
        out += c;
        if (c == '&')
            out += '&';
    }
    return out;
}

std::string StripTrailingPunctuation(const std::string& caption)
{
    size_t n = caption.size();
    if (n > 1 && caption[n - 1] == ':')
        return caption.substr(0, n - 1);
    if (n > 3 && caption.compare(n - 3, 3, "...") == 0)
        return caption.substr(0, n - 3);
    return caption;
}

int GetTextWidth(HDC dc, const std::string& text, bool stripAccelChars)
{
    std::wstring w = Utf8ToWide(stripAccelChars ? StripAccelChars(text) : text);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    return size.cx;
}

// ---------------------------------------------------------------------------
// The message queue

void ProcessPaintMessages()
{
    MSG msg;
    std::vector<HWND> painted;
    while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        // A window that stays invalid after painting would come back for
        // ever: once each is enough.
        bool again = false;
        for (HWND w : painted)
            if (w == msg.hwnd)
                again = true;
        if (again) {
            ValidateRect(msg.hwnd, nullptr);
            break;
        }
        painted.push_back(msg.hwnd);
        DispatchMessageW(&msg);
    }
}

void RemoveMessages(UINT first, UINT last)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, first, last, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
    }
}

void SelectNCUpdateRgn(HWND window, HDC dc, HRGN region)
{
    if (region == nullptr || region == reinterpret_cast<HRGN>(1))
        return;
    RECT wr;
    GetWindowRect(window, &wr);
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    if (CombineRgn(copy, region, nullptr, RGN_COPY) == ERROR) {
        DeleteObject(copy);
        copy = CreateRectRgnIndirect(&wr);
    }
    OffsetRgn(copy, -wr.left, -wr.top);
    SelectClipRgn(dc, copy);
    DeleteObject(copy);
}

// ---------------------------------------------------------------------------
// Menu settings

namespace {

std::function<bool(int&)>& MenuShowDelayQuery()
{
    static std::function<bool(int&)> query;
    return query;
}

std::atomic<bool> gMenuDelayRead{false};
std::atomic<int> gMenuDelayValue{400};

int ReadMenuShowDelayValue()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 400;
    wchar_t text[32] = {};
    DWORD type = 0, size = sizeof text - sizeof(wchar_t);
    LONG r = RegQueryValueExW(key, L"MenuShowDelay", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (r == ERROR_FILE_NOT_FOUND)
        return 400;
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return 0;
    text[size / sizeof(wchar_t)] = 0;
    int value = 0;
    if (!TryStrToInt(WideToUtf8(text), value))
        return 0;
    return value;
}

}  // namespace

void SetMenuShowDelayQueryForTesting(std::function<bool(int& delay)> query)
{
    MenuShowDelayQuery() = std::move(query);
}

void ResetMenuShowDelayRegistryForTesting()
{
    gMenuDelayRead = false;
}

int ReadMenuShowDelayRegistry()
{
    if (!gMenuDelayRead.load()) {
        gMenuDelayValue = ReadMenuShowDelayValue();
        gMenuDelayRead = true;
    }
    return gMenuDelayValue.load();
}

int MenuOpenDelay()
{
    int delay = 0;
    bool ok;
    if (MenuShowDelayQuery())
        ok = MenuShowDelayQuery()(delay);
    else
        ok = SystemParametersInfoW(SPI_GETMENUSHOWDELAY, 0, &delay, 0) != FALSE;
    if (!ok)
        delay = ReadMenuShowDelayRegistry();
    return delay < 0 ? 0 : delay;
}

bool AreFlatMenusEnabled()
{
    if (!IsWindowsXPOrLater())
        return false;
    BOOL flat = FALSE;
    return SystemParametersInfoW(0x1022 /* SPI_GETFLATMENU */, 0, &flat, 0) && flat;
}

bool AreKeyboardCuesEnabled()
{
    BOOL cues = FALSE;
    if (!SystemParametersInfoW(0x100A /* SPI_GETKEYBOARDCUES */, 0, &cues, 0))
        return true;
    return cues != FALSE;
}

HRGN CreateNullRegion()
{
    return CreateRectRgn(0, 0, 0, 0);
}

// ---------------------------------------------------------------------------
// Drag rectangles

namespace {

// The frame of r, size thick, as a region.
HRGN FrameRegion(const RECT& r, SIZE size)
{
    HRGN outer = CreateRectRgnIndirect(&r);
    RECT in = r;
    InflateRect(&in, -size.cx, -size.cy);
    if (in.right > in.left && in.bottom > in.top) {
        HRGN inner = CreateRectRgnIndirect(&in);
        CombineRgn(outer, outer, inner, RGN_DIFF);
        DeleteObject(inner);
    }
    return outer;
}

void InvertRegion(HDC dc, HRGN region, HBRUSH brush)
{
    int saved = SaveDC(dc);
    SelectClipRgn(dc, region);
    RECT box;
    GetClipBox(dc, &box);
    HGDIOBJ old = SelectObject(dc, brush);
    PatBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, PATINVERT);
    SelectObject(dc, old);
    RestoreDC(dc, saved);
}

}  // namespace

void DrawInvertRect(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize,
                    HBRUSH brush, HBRUSH lastBrush)
{
    if (!lastBrush)
        lastBrush = brush;
    HRGN rgnNew = newRect ? FrameRegion(*newRect, newSize) : nullptr;
    HRGN rgnOld = oldRect ? FrameRegion(*oldRect, oldSize) : nullptr;
    if (brush == lastBrush) {
        // One pass: what both frames cover stays as it is.
        HRGN update = CreateRectRgn(0, 0, 0, 0);
        if (rgnNew && rgnOld)
            CombineRgn(update, rgnNew, rgnOld, RGN_XOR);
        else if (rgnNew || rgnOld)
            CombineRgn(update, rgnNew ? rgnNew : rgnOld, nullptr, RGN_COPY);
        InvertRegion(dc, update, brush);
        DeleteObject(update);
    } else {
        if (rgnOld)
            InvertRegion(dc, rgnOld, lastBrush);
        if (rgnNew)
            InvertRegion(dc, rgnNew, brush);
    }
    if (rgnNew)
        DeleteObject(rgnNew);
    if (rgnOld)
        DeleteObject(rgnOld);
}

HBRUSH CreateHalftoneBrush()
{
    WORD pattern[8];
    for (int i = 0; i < 8; ++i)
        pattern[i] = (i % 2 == 0) ? 0x5555 : 0xAAAA;
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, pattern);
    HBRUSH brush = CreatePatternBrush(bitmap);
    DeleteObject(bitmap);
    return brush;
}

void DrawHalftoneInvertRect(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize)
{
    HBRUSH brush = CreateHalftoneBrush();
    DrawInvertRect(dc, newRect, oldRect, newSize, oldSize, brush, brush);
    DeleteObject(brush);
}

bool CallTrackMouseEvent(HWND window, DWORD flags)
{
    using Fn = BOOL(WINAPI*)(LPTRACKMOUSEEVENT);
    static Fn fn = [] {
        Fn f = nullptr;
        if (HMODULE user = GetModuleHandleW(L"user32.dll"))
            f = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user, "TrackMouseEvent")));
        if (!f)
            if (HMODULE cc = LoadLibraryW(L"comctl32.dll"))
                f = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(cc, "_TrackMouseEvent")));
        return f;
    }();
    if (!fn)
        return false;
    TRACKMOUSEEVENT t = {};
    t.cbSize = sizeof t;
    t.dwFlags = flags;
    t.hwndTrack = window;
    t.dwHoverTime = 0;
    return fn(&t) != FALSE;
}

// ---------------------------------------------------------------------------
// Rotated text

namespace {

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

}  // namespace

HFONT CreateRotatedFont(HDC dc)
{
    LOGFONTW lf = {};
    HGDIOBJ current = GetCurrentObject(dc, OBJ_FONT);
    if (!current || !GetObjectW(current, sizeof lf, &lf))
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfEscapement = 2700;
    lf.lfOrientation = 2700;
    lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    if (_wcsicmp(lf.lfFaceName, L"MS Sans Serif") == 0 || _wcsicmp(lf.lfFaceName, L"Microsoft Sans Serif") == 0) {
        // A bitmap face does not turn: Arial of the same size does.
        TEXTMETRICW tm = {};
        GetTextMetricsW(dc, &tm);
        lf.lfHeight = lf.lfHeight > 0 ? tm.tmHeight : tm.tmInternalLeading - tm.tmHeight;
        wcscpy(lf.lfFaceName, L"Arial");
    }
    size_t len = wcsnlen(lf.lfFaceName, LF_FACESIZE);
    if (len < 31) {
        std::wstring vertical = L"@" + std::wstring(lf.lfFaceName, len);
        bool found = false;
        EnumFontsW(dc, vertical.c_str(), &FontFound, reinterpret_cast<LPARAM>(&found));
        if (found)
            wcsncpy(lf.lfFaceName, vertical.c_str(), LF_FACESIZE - 1);
    }
    return CreateFontIndirectW(&lf);
}

void DrawRotatedText(HDC dc, const std::string& text, const RECT& r, UINT format)
{
    HFONT font = CreateRotatedFont(dc);
    HGDIOBJ oldFont = SelectObject(dc, font);
    // The text without "&" marks, and where its accelerator went.
    std::wstring w = Utf8ToWide(text);
    std::wstring plain;
    int accel = -1;
    for (size_t i = 0; i < w.size(); ++i) {
        if (w[i] == L'&') {
            if (i + 1 < w.size() && w[i + 1] == L'&') {
                plain += L'&';
                ++i;
            } else if (i + 1 < w.size()) {
                accel = static_cast<int>(plain.size());
            }
            continue;
        }
        plain += w[i];
    }
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, plain.c_str(), static_cast<int>(plain.size()), &size);
    int x = r.left + (r.right - r.left - tm.tmHeight) / 2;
    int y = r.top + (r.bottom - r.top - size.cx) / 2;
    UINT oldAlign = SetTextAlign(dc, TA_BOTTOM);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    ExtTextOutW(dc, x, y, 0, nullptr, plain.c_str(), static_cast<UINT>(plain.size()), nullptr);
    if (accel >= 0 && !(format & DT_HIDEPREFIX)) {
        SIZE before = {0, 0}, upto = {0, 0};
        GetTextExtentPoint32W(dc, plain.c_str(), accel, &before);
        int n = accel + ((accel + 1 < static_cast<int>(plain.size()) && IS_HIGH_SURROGATE(plain[accel])) ? 2 : 1);
        GetTextExtentPoint32W(dc, plain.c_str(), n, &upto);
        // The underline runs along the character, just below the baseline.
        int ux = x + tm.tmDescent - 1;
        HPEN pen = CreatePen(PS_SOLID, 1, GetTextColor(dc));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        MoveToEx(dc, ux, y + before.cx, nullptr);
        LineTo(dc, ux, y + upto.cx);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    SetBkMode(dc, oldMode);
    SetTextAlign(dc, oldAlign);
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

// ---------------------------------------------------------------------------
// Sounds

namespace {

std::function<void(const std::string&)>& SoundPlayer()
{
    static std::function<void(const std::string&)> player;
    return player;
}

}  // namespace

bool SoundSchemeHasEvent(const std::string& alias)
{
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExW(&v) || v.dwPlatformId != VER_PLATFORM_WIN32_NT || v.dwMajorVersion < 5)
        return true;
    std::wstring path = L"AppEvents\\Schemes\\Apps\\.Default\\" + Utf8ToWide(alias) + L"\\.Current";
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    BYTE buffer[8] = {};
    DWORD size = sizeof buffer, type = 0;
    LONG r = RegQueryValueExW(key, nullptr, nullptr, &type, buffer, &size);
    RegCloseKey(key);
    if (r == ERROR_MORE_DATA)
        return true;
    return r == ERROR_SUCCESS && size >= sizeof(wchar_t) && reinterpret_cast<wchar_t*>(buffer)[0] != 0;
}

void SetPlaySoundForTesting(std::function<void(const std::string& alias)> player)
{
    SoundPlayer() = std::move(player);
}

void PlaySystemSound(const std::string& alias)
{
    if (!SoundSchemeHasEvent(alias))
        return;
    if (SoundPlayer()) {
        SoundPlayer()(alias);
        return;
    }
    PlaySoundW(Utf8ToWide(alias).c_str(), nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT | SND_NOSTOP);
}

// ---------------------------------------------------------------------------
// Accelerators

namespace {

// The whole character starting at unit i of w (one or two units).
std::wstring CharAt(const std::wstring& w, size_t i)
{
    if (i >= w.size())
        return L"";
    if (IS_HIGH_SURROGATE(w[i]) && i + 1 < w.size() && IS_LOW_SURROGATE(w[i + 1]))
        return w.substr(i, 2);
    return w.substr(i, 1);
}

}  // namespace

std::wstring FindAccelChar(const std::string& caption)
{
    std::wstring w = Utf8ToWide(caption);
    std::wstring found;
    for (size_t i = 0; i < w.size(); ++i) {
        if (w[i] != L'&')
            continue;
        if (i + 1 < w.size() && w[i + 1] == L'&') {
            ++i;   // "&&": a plain ampersand
            continue;
        }
        if (i + 1 < w.size())
            found = CharAt(w, i + 1);
    }
    return found;
}

std::wstring FirstCaptionChar(const std::string& caption)
{
    return CharAt(Utf8ToWide(StripAccelChars(caption)), 0);
}

bool SameAccelChar(const std::wstring& a, const std::wstring& b)
{
    if (a.empty() || b.empty())
        return false;
    std::wstring ua = a, ub = b;
    CharUpperBuffW(ua.data(), static_cast<DWORD>(ua.size()));
    CharUpperBuffW(ub.data(), static_cast<DWORD>(ub.size()));
    return ua == ub;
}

bool IsWindowsXPOrLater()
{
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExW(&v) || v.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return false;
    return v.dwMajorVersion > 5 || (v.dwMajorVersion == 5 && v.dwMinorVersion >= 1);
}

UINT GetInputLocaleCodePage()
{
    LANGID lang = LOWORD(reinterpret_cast<ULONG_PTR>(GetKeyboardLayout(0)));
    wchar_t text[16] = {};
    if (!GetLocaleInfoW(MAKELCID(lang, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, text, 16))
        return 0;
    int cp = 0;
    if (!TryStrToInt(WideToUtf8(text), cp) || cp <= 0 || !IsValidCodePage(static_cast<UINT>(cp)))
        return 0;
    return static_cast<UINT>(cp);
}
