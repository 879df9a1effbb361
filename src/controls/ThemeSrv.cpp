#include "controls/ThemeSrv.h"

#include <shlwapi.h>

#include <iterator>

#include "controls/UxTheme.h"
#include "platform/Application.h"
#include "platform/Control.h"
#include "platform/Firewall.h"
#include "platform/Text.h"
#include "platform/WindowSubclass.h"

namespace {

const wchar_t* const kClassNames[kThemedElementCount] = {
    L"button",  L"clock",     L"combobox",  L"edit",    L"explorerbar", L"header",
    L"listview", L"menu",     L"page",      L"progress", L"rebar",      L"scrollbar",
    L"spin",    L"startpanel", L"status",   L"tab",     L"taskband",    L"taskbar",
    L"toolbar", L"tooltip",   L"trackbar",  L"traynotify", L"treeview", L"window",
};

bool ValidElement(TThemedElement element)
{
    return element >= 0 && element < kThemedElementCount;
}

// One run of consecutive codes that belong to one part.
struct TCodeGroup {
    int first;
    int last;
    int part;
};

template <size_t N>
TThemedElementDetails Details(TThemedElement element, const TCodeGroup (&groups)[N], int code)
{
    for (const TCodeGroup& g : groups)
        if (code >= g.first && code <= g.last)
            return {element, g.part, code - g.first + 1};
    return {element, 0, code + 1};
}

TComCtlVersionProvider& VersionOverride()
{
    static TComCtlVersionProvider provider;
    return provider;
}

bool CommonControlsSixOrLater()
{
    const TComCtlVersionProvider& p = VersionOverride();
    DWORD version = p ? p() : CommonControlsVersion();
    return version >= MAKELONG(0, 6);
}

// The look of a part without visual styles, for the parts the program draws
// itself. False when there is no such look.
bool DrawClassicElement(HDC dc, const TThemedElementDetails& d, const RECT& rect)
{
    RECT r = rect;
    switch (d.Element) {
    case teButton: {
        const int sub = (d.State - 1) % 4;   // radio and check: normal, hot, pressed, disabled
        UINT state = 0;
        switch (d.Part) {
        case 1:   // push button: normal, hot, pressed, disabled, defaulted
            state = DFCS_BUTTONPUSH;
            if (d.State == 2)
                state |= DFCS_HOT;
            if (d.State == 3)
                state |= DFCS_PUSHED;
            if (d.State == 4)
                state |= DFCS_INACTIVE;
            return DrawFrameControl(dc, &r, DFC_BUTTON, state) != FALSE;
        case 2:
        case 3:
            if (d.State < 1)
                return false;
            state = d.Part == 2 ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
            if (d.State > 4)
                state |= DFCS_CHECKED;
            if (d.Part == 3 && d.State > 8)
                state = DFCS_BUTTON3STATE | DFCS_CHECKED;
            if (sub == 1)
                state |= DFCS_HOT;
            if (sub == 2)
                state |= DFCS_PUSHED;
            if (sub == 3)
                state |= DFCS_INACTIVE;
            return DrawFrameControl(dc, &r, DFC_BUTTON, state) != FALSE;
        case 4:
            return DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT) != FALSE;
        default:
            return false;
        }
    }
    case teEdit:
        if (d.Part != 1)
            return false;
        return DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT) != FALSE;
    case teHeader:
        if (d.Part < 1 || d.Part > 3)
            return false;
        return DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (d.State == 3 ? DFCS_PUSHED : 0)) != FALSE;
    case teTreeview: {
        if (d.Part != 2)
            return false;
        // A 9-pixel box in the middle with a minus, and a plus when closed.
        const int size = 9;
        int x = (r.left + r.right - size) / 2, y = (r.top + r.bottom - size) / 2;
        RECT box{x, y, x + size, y + size};
        FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
        FrameRect(dc, &box, GetSysColorBrush(COLOR_BTNSHADOW));
        HBRUSH text = GetSysColorBrush(COLOR_WINDOWTEXT);
        RECT bar{x + 2, y + size / 2, x + size - 2, y + size / 2 + 1};
        FillRect(dc, &bar, text);
        if (d.State == 1) {
            RECT stem{x + size / 2, y + 2, x + size / 2 + 1, y + size - 2};
            FillRect(dc, &stem, text);
        }
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

const wchar_t* ThemeClassName(TThemedElement element)
{
    return ValidElement(element) ? kClassNames[element] : nullptr;
}

DWORD CommonControlsVersion()
{
    // The copy this process runs with (the manifest may have chosen version 6).
    HMODULE lib = GetModuleHandleW(L"comctl32.dll");
    bool loaded = false;
    if (!lib) {
        lib = LoadLibraryW(L"comctl32.dll");
        loaded = lib != nullptr;
    }
    if (!lib)
        return 0;
    DWORD version = 0;
    auto get = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(lib, "DllGetVersion")));
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof info;
    if (get && SUCCEEDED(get(&info)))
        version = MAKELONG(info.dwMinorVersion, info.dwMajorVersion);
    if (loaded)
        FreeLibrary(lib);
    return version;
}

void SetComCtlVersionProviderForTesting(TComCtlVersionProvider provider)
{
    VersionOverride() = std::move(provider);
}

// ---- the service ----

TThemeServices::TThemeServices(HWND applicationWindow) : window_(applicationWindow)
{
    if (window_)
        hookId_ = HookWindowProc(window_, [this](HWND, UINT msg, WPARAM wParam, LPARAM lParam,
                                                 const TSubclassNext& next) {
            AppWindowThemeProc(msg);
            return next(msg, wParam, lParam);
        });
    themeLibraryLoaded_ = LoadThemeLibrary();
    UpdateThemes();
}

TThemeServices::~TThemeServices()
{
    Unhook();
    CloseThemeHandles();
    UnloadThemeLibrary();
}

void TThemeServices::Unhook()
{
    if (hookId_) {
        UnhookWindowProc(window_, hookId_);
        hookId_ = 0;
    }
}

// Sees every message of the application window before its own procedure,
// which then gets every message too.
void TThemeServices::AppWindowThemeProc(UINT msg)
{
    if (msg == WM_DESTROY) {
        Unhook();
    } else if (msg == WM_THEMECHANGED) {
        Guarded([this] {
            UpdateThemes();
            DoOnThemeChange();
        });
    }
}

void TThemeServices::DoOnThemeChange()
{
    if (OnThemeChange)
        OnThemeChange(this);
}

void TThemeServices::UpdateThemes()
{
    if (themesAvailable_)
        CloseThemeHandles();
    themesAvailable_ = ThemesActive() && CommonControlsSixOrLater();
    if (!themesAvailable_)
        controlsEnabled_ = false;
    else
        controlsEnabled_ = UxTheme::GetThemeAppProperties &&
                           (UxTheme::GetThemeAppProperties() & STAP_ALLOW_CONTROLS) != 0;
}

void TThemeServices::CloseThemeHandles()
{
    // Once the application window is gone the handles are left to the system.
    if (window_ && !IsWindow(window_))
        return;
    for (HTHEME& h : handles_)
        if (h) {
            if (UxTheme::CloseThemeData)
                UxTheme::CloseThemeData(h);
            h = nullptr;
        }
}

HTHEME TThemeServices::ThemeHandle(TThemedElement element)
{
    if (!ValidElement(element))
        return nullptr;
    HTHEME& h = handles_[element];
    if (themesAvailable_ && !h && UxTheme::OpenThemeData)
        h = UxTheme::OpenThemeData(window_, kClassNames[element]);
    return h;
}

HTHEME TThemeServices::CachedThemeHandle(TThemedElement element) const
{
    return ValidElement(element) ? handles_[element] : nullptr;
}

// ---- part codes ----

TThemedElementDetails TThemeServices::GetButtonDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 6, 1}, {7, 14, 2}, {15, 26, 3}, {27, 28, 4}, {29, 29, 5}};
    return Details(teButton, groups, code);
}

TThemedElementDetails TThemeServices::GetEditDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 8, 1}, {9, 9, 2}};
    return Details(teEdit, groups, code);
}

TThemedElementDetails TThemeServices::GetHeaderDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 4, 1}, {5, 7, 2}, {8, 10, 3}, {11, 12, 4}};
    return Details(teHeader, groups, code);
}

TThemedElementDetails TThemeServices::GetRebarDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 2, 1}, {3, 3, 2}, {4, 9, 3}, {10, 13, 4}, {14, 17, 5}};
    return Details(teRebar, groups, code);
}

TThemedElementDetails TThemeServices::GetStatusDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 2, 1}, {3, 3, 2}, {4, 4, 3}};
    return Details(teStatus, groups, code);
}

TThemedElementDetails TThemeServices::GetTabDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 6, 1},   {7, 11, 2},  {12, 16, 3}, {17, 21, 4}, {22, 26, 5},
                                        {27, 31, 6}, {32, 36, 7}, {37, 41, 8}, {42, 42, 9}, {43, 43, 10}};
    return Details(teTab, groups, code);
}

TThemedElementDetails TThemeServices::GetToolBarDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 7, 1}, {8, 13, 2}, {14, 19, 3}, {20, 25, 4}, {26, 31, 5}, {32, 37, 6}};
    return Details(teToolBar, groups, code);
}

TThemedElementDetails TThemeServices::GetTrackBarDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 2, 1},   {3, 3, 2},   {4, 8, 3},   {9, 13, 4},  {14, 18, 5},
                                        {19, 23, 6}, {24, 28, 7}, {29, 33, 8}, {34, 34, 9}, {35, 35, 10}};
    return Details(teTrackBar, groups, code);
}

TThemedElementDetails TThemeServices::GetTreeViewDetails(int code)
{
    static const TCodeGroup groups[] = {{2, 6, 1}, {7, 8, 2}, {9, 9, 3}};
    return Details(teTreeview, groups, code);
}

// ---- drawing ----

bool TThemeServices::DrawElement(HDC dc, const TThemedElementDetails& details, const RECT& rect, const RECT* clip)
{
    HTHEME h = ThemeHandle(details.Element);
    if (h && UxTheme::DrawThemeBackground &&
        SUCCEEDED(UxTheme::DrawThemeBackground(h, dc, details.Part, details.State, &rect, clip)))
        return true;
    if (clip) {
        // The classic look keeps to the clip rectangle too.
        int saved = SaveDC(dc);
        IntersectClipRect(dc, clip->left, clip->top, clip->right, clip->bottom);
        DrawClassicElement(dc, details, rect);
        RestoreDC(dc, saved);
    } else {
        DrawClassicElement(dc, details, rect);
    }
    return false;
}

bool TThemeServices::DrawElementEdge(HDC dc, const TThemedElementDetails& details, const RECT& rect, UINT edge,
                                     UINT flags, RECT* contentRect)
{
    HTHEME h = ThemeHandle(details.Element);
    if (h && UxTheme::DrawThemeEdge &&
        SUCCEEDED(UxTheme::DrawThemeEdge(h, dc, details.Part, details.State, &rect, edge, flags, contentRect)))
        return true;
    RECT r = rect;
    DrawEdge(dc, &r, edge, flags);
    if (contentRect)
        *contentRect = r;
    return false;
}

bool TThemeServices::DrawElementText(HDC dc, const TThemedElementDetails& details, const std::wstring& text,
                                     const RECT& rect, DWORD flags, DWORD flags2)
{
    const int length = static_cast<int>(text.size());
    HTHEME h = ThemeHandle(details.Element);
    if (h && UxTheme::DrawThemeText &&
        SUCCEEDED(UxTheme::DrawThemeText(h, dc, details.Part, details.State, text.c_str(), length, flags, flags2,
                                         &rect)))
        return true;
    RECT r = rect;
    int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), length, &r, flags);
    SetBkMode(dc, oldMode);
    return false;
}

bool TThemeServices::DrawElementText(HDC dc, const TThemedElementDetails& details, const std::string& text,
                                     const RECT& rect, DWORD flags, DWORD flags2)
{
    return DrawElementText(dc, details, Utf8ToWide(text), rect, flags, flags2);
}

RECT TThemeServices::GetContentRect(HDC dc, const TThemedElementDetails& details, const RECT& bounds)
{
    RECT content = bounds;
    HTHEME h = ThemeHandle(details.Element);
    if (h && UxTheme::GetThemeBackgroundContentRect &&
        SUCCEEDED(UxTheme::GetThemeBackgroundContentRect(h, dc, details.Part, details.State, &bounds, &content)))
        return content;
    return bounds;
}

bool TThemeServices::DrawParentBackground(HWND window, HDC dc, const TThemedElementDetails* details,
                                          bool onlyIfTransparent, const RECT* rect)
{
    if (onlyIfTransparent && details) {
        // Without the answer the part counts as see-through: the parent paints.
        HTHEME h = ThemeHandle(details->Element);
        if (h && UxTheme::IsThemeBackgroundPartiallyTransparent &&
            !UxTheme::IsThemeBackgroundPartiallyTransparent(h, details->Part, details->State))
            return false;
    }
    if (!UxTheme::DrawThemeParentBackground)
        return false;
    RECT r{};
    if (rect)
        r = *rect;
    return SUCCEEDED(UxTheme::DrawThemeParentBackground(window, dc, rect ? &r : nullptr));
}

void TThemeServices::PaintBorder(HWND window, bool eraseCorner)
{
    if (!window || !IsWindow(window))
        return;
    const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_CLIENTEDGE))
        return;
    RECT r{};
    GetWindowRect(window, &r);
    OffsetRect(&r, -r.left, -r.top);
    HDC dc = GetWindowDC(window);
    if (!dc)
        return;
    RECT inner = r;
    InflateRect(&inner, -2, -2);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    if (eraseCorner && (style & WS_HSCROLL) && (style & WS_VSCROLL)) {
        RECT corner{inner.right - GetSystemMetrics(SM_CXVSCROLL), inner.bottom - GetSystemMetrics(SM_CYHSCROLL),
                    inner.right, inner.bottom};
        FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
    }
    ExcludeClipRect(dc, inner.left, inner.top, inner.right, inner.bottom);
    DrawElement(dc, GetEditDetails(teEditTextNormal), r);
    ReleaseDC(window, dc);
}

void TThemeServices::PaintBorder(TWinControl* control, bool eraseCorner)
{
    if (control && control->HandleAllocated())
        PaintBorder(control->Handle(), eraseCorner);
}

TThemeServices& GetThemeServices()
{
    static TThemeServices services(Application().Handle());
    return services;
}
