// The visual-styles library ("uxtheme.dll") loaded by name at run time, so the
// program runs unchanged where it is missing. Each entry point is a pointer
// that stays nullptr while the library is not loaded or lacks that export:
// test a pointer before calling it.
#pragma once
#include <windows.h>
#include <uxtheme.h>

// Loads the library on the first call and counts the calls. True when the
// library is loaded. Thread-safe.
bool LoadThemeLibrary();
// Takes one call back; the library is freed (and every pointer cleared) when
// the count comes back to 0. Thread-safe.
void UnloadThemeLibrary();
// The library is loaded and both IsAppThemed and IsThemeActive say yes.
bool ThemesActive();

// The loaded library (nullptr when none) and the current load count.
HMODULE ThemeLibraryHandle();
int ThemeLibraryUseCount();

namespace UxTheme {

using TOpenThemeData = HTHEME(WINAPI*)(HWND, LPCWSTR);
using TCloseThemeData = HRESULT(WINAPI*)(HTHEME);
using TDrawThemeBackground = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, const RECT*);
using TDrawThemeText = HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCWSTR, int, DWORD, DWORD, const RECT*);
using TGetThemeBackgroundContentRect = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, RECT*);
using TGetThemeBackgroundExtent = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, RECT*);
using TGetThemePartSize = HRESULT(WINAPI*)(HTHEME, HDC, int, int, RECT*, THEMESIZE, SIZE*);
using TGetThemeTextExtent = HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCWSTR, int, DWORD, const RECT*, RECT*);
using TGetThemeTextMetrics = HRESULT(WINAPI*)(HTHEME, HDC, int, int, TEXTMETRICW*);
using TGetThemeBackgroundRegion = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, HRGN*);
using THitTestThemeBackground = HRESULT(WINAPI*)(HTHEME, HDC, int, int, DWORD, const RECT*, HRGN, POINT, WORD*);
using TDrawThemeEdge = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, UINT, UINT, RECT*);
using TDrawThemeIcon = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, HIMAGELIST, int);
using TIsThemePartDefined = BOOL(WINAPI*)(HTHEME, int, int);
using TIsThemeBackgroundPartiallyTransparent = BOOL(WINAPI*)(HTHEME, int, int);
using TGetThemeColor = HRESULT(WINAPI*)(HTHEME, int, int, int, COLORREF*);
using TGetThemeMetric = HRESULT(WINAPI*)(HTHEME, HDC, int, int, int, int*);
using TGetThemeString = HRESULT(WINAPI*)(HTHEME, int, int, int, LPWSTR, int);
using TGetThemeBool = HRESULT(WINAPI*)(HTHEME, int, int, int, BOOL*);
using TGetThemeInt = HRESULT(WINAPI*)(HTHEME, int, int, int, int*);
using TGetThemeEnumValue = HRESULT(WINAPI*)(HTHEME, int, int, int, int*);
using TGetThemePosition = HRESULT(WINAPI*)(HTHEME, int, int, int, POINT*);
using TGetThemeFont = HRESULT(WINAPI*)(HTHEME, HDC, int, int, int, LOGFONTW*);
using TGetThemeRect = HRESULT(WINAPI*)(HTHEME, int, int, int, RECT*);
using TGetThemeMargins = HRESULT(WINAPI*)(HTHEME, HDC, int, int, int, RECT*, MARGINS*);
using TGetThemeIntList = HRESULT(WINAPI*)(HTHEME, int, int, int, INTLIST*);
using TGetThemePropertyOrigin = HRESULT(WINAPI*)(HTHEME, int, int, int, PROPERTYORIGIN*);
using TSetWindowTheme = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
using TGetThemeFilename = HRESULT(WINAPI*)(HTHEME, int, int, int, LPWSTR, int);
using TGetThemeSysColor = COLORREF(WINAPI*)(HTHEME, int);
using TGetThemeSysColorBrush = HBRUSH(WINAPI*)(HTHEME, int);
using TGetThemeSysBool = BOOL(WINAPI*)(HTHEME, int);
using TGetThemeSysSize = int(WINAPI*)(HTHEME, int);
using TGetThemeSysFont = HRESULT(WINAPI*)(HTHEME, int, LOGFONTW*);
using TGetThemeSysString = HRESULT(WINAPI*)(HTHEME, int, LPWSTR, int);
using TGetThemeSysInt = HRESULT(WINAPI*)(HTHEME, int, int*);
using TIsThemeActive = BOOL(WINAPI*)();
using TIsAppThemed = BOOL(WINAPI*)();
using TGetWindowTheme = HTHEME(WINAPI*)(HWND);
using TEnableThemeDialogTexture = HRESULT(WINAPI*)(HWND, DWORD);
using TIsThemeDialogTextureEnabled = BOOL(WINAPI*)(HWND);
using TGetThemeAppProperties = DWORD(WINAPI*)();
using TSetThemeAppProperties = void(WINAPI*)(DWORD);
using TGetCurrentThemeName = HRESULT(WINAPI*)(LPWSTR, int, LPWSTR, int, LPWSTR, int);
using TGetThemeDocumentationProperty = HRESULT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, int);
using TDrawThemeParentBackground = HRESULT(WINAPI*)(HWND, HDC, RECT*);
using TEnableTheming = HRESULT(WINAPI*)(BOOL);

// The entry points, named after the exports they hold. Only the GUI thread
// reads them; LoadThemeLibrary and UnloadThemeLibrary fill and clear them.
extern TOpenThemeData OpenThemeData;
extern TCloseThemeData CloseThemeData;
extern TDrawThemeBackground DrawThemeBackground;
extern TDrawThemeText DrawThemeText;
extern TGetThemeBackgroundContentRect GetThemeBackgroundContentRect;
extern TGetThemeBackgroundExtent GetThemeBackgroundExtent;
extern TGetThemePartSize GetThemePartSize;
extern TGetThemeTextExtent GetThemeTextExtent;
extern TGetThemeTextMetrics GetThemeTextMetrics;
extern TGetThemeBackgroundRegion GetThemeBackgroundRegion;
extern THitTestThemeBackground HitTestThemeBackground;
extern TDrawThemeEdge DrawThemeEdge;
extern TDrawThemeIcon DrawThemeIcon;
extern TIsThemePartDefined IsThemePartDefined;
extern TIsThemeBackgroundPartiallyTransparent IsThemeBackgroundPartiallyTransparent;
extern TGetThemeColor GetThemeColor;
extern TGetThemeMetric GetThemeMetric;
extern TGetThemeString GetThemeString;
extern TGetThemeBool GetThemeBool;
extern TGetThemeInt GetThemeInt;
extern TGetThemeEnumValue GetThemeEnumValue;
extern TGetThemePosition GetThemePosition;
extern TGetThemeFont GetThemeFont;
extern TGetThemeRect GetThemeRect;
extern TGetThemeMargins GetThemeMargins;
extern TGetThemeIntList GetThemeIntList;
extern TGetThemePropertyOrigin GetThemePropertyOrigin;
extern TSetWindowTheme SetWindowTheme;
extern TGetThemeFilename GetThemeFilename;
extern TGetThemeSysColor GetThemeSysColor;
extern TGetThemeSysColorBrush GetThemeSysColorBrush;
extern TGetThemeSysBool GetThemeSysBool;
extern TGetThemeSysSize GetThemeSysSize;
extern TGetThemeSysFont GetThemeSysFont;
extern TGetThemeSysString GetThemeSysString;
extern TGetThemeSysInt GetThemeSysInt;
extern TIsThemeActive IsThemeActive;
extern TIsAppThemed IsAppThemed;
extern TGetWindowTheme GetWindowTheme;
extern TEnableThemeDialogTexture EnableThemeDialogTexture;
extern TIsThemeDialogTextureEnabled IsThemeDialogTextureEnabled;
extern TGetThemeAppProperties GetThemeAppProperties;
extern TSetThemeAppProperties SetThemeAppProperties;
extern TGetCurrentThemeName GetCurrentThemeName;
extern TGetThemeDocumentationProperty GetThemeDocumentationProperty;
extern TDrawThemeParentBackground DrawThemeParentBackground;
extern TEnableTheming EnableTheming;

// The number of entry points looked up, and the name and slot of each
// (index 0 to EntryPointCount()-1); nullptr past the end.
int EntryPointCount();
const char* EntryPointName(int index);
void** EntryPointSlot(int index);

}  // namespace UxTheme
