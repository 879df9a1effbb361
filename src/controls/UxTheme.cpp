#include "controls/UxTheme.h"

#include <iterator>

namespace UxTheme {

TOpenThemeData OpenThemeData = nullptr;
TCloseThemeData CloseThemeData = nullptr;
TDrawThemeBackground DrawThemeBackground = nullptr;
TDrawThemeText DrawThemeText = nullptr;
TGetThemeBackgroundContentRect GetThemeBackgroundContentRect = nullptr;
TGetThemeBackgroundExtent GetThemeBackgroundExtent = nullptr;
TGetThemePartSize GetThemePartSize = nullptr;
TGetThemeTextExtent GetThemeTextExtent = nullptr;
TGetThemeTextMetrics GetThemeTextMetrics = nullptr;
TGetThemeBackgroundRegion GetThemeBackgroundRegion = nullptr;
THitTestThemeBackground HitTestThemeBackground = nullptr;
TDrawThemeEdge DrawThemeEdge = nullptr;
TDrawThemeIcon DrawThemeIcon = nullptr;
TIsThemePartDefined IsThemePartDefined = nullptr;
TIsThemeBackgroundPartiallyTransparent IsThemeBackgroundPartiallyTransparent = nullptr;
TGetThemeColor GetThemeColor = nullptr;
TGetThemeMetric GetThemeMetric = nullptr;
TGetThemeString GetThemeString = nullptr;
TGetThemeBool GetThemeBool = nullptr;
TGetThemeInt GetThemeInt = nullptr;
TGetThemeEnumValue GetThemeEnumValue = nullptr;
TGetThemePosition GetThemePosition = nullptr;
TGetThemeFont GetThemeFont = nullptr;
TGetThemeRect GetThemeRect = nullptr;
TGetThemeMargins GetThemeMargins = nullptr;
TGetThemeIntList GetThemeIntList = nullptr;
TGetThemePropertyOrigin GetThemePropertyOrigin = nullptr;
TSetWindowTheme SetWindowTheme = nullptr;
TGetThemeFilename GetThemeFilename = nullptr;
TGetThemeSysColor GetThemeSysColor = nullptr;
TGetThemeSysColorBrush GetThemeSysColorBrush = nullptr;
TGetThemeSysBool GetThemeSysBool = nullptr;
TGetThemeSysSize GetThemeSysSize = nullptr;
TGetThemeSysFont GetThemeSysFont = nullptr;
TGetThemeSysString GetThemeSysString = nullptr;
TGetThemeSysInt GetThemeSysInt = nullptr;
TIsThemeActive IsThemeActive = nullptr;
TIsAppThemed IsAppThemed = nullptr;
TGetWindowTheme GetWindowTheme = nullptr;
TEnableThemeDialogTexture EnableThemeDialogTexture = nullptr;
TIsThemeDialogTextureEnabled IsThemeDialogTextureEnabled = nullptr;
TGetThemeAppProperties GetThemeAppProperties = nullptr;
TSetThemeAppProperties SetThemeAppProperties = nullptr;
TGetCurrentThemeName GetCurrentThemeName = nullptr;
TGetThemeDocumentationProperty GetThemeDocumentationProperty = nullptr;
TDrawThemeParentBackground DrawThemeParentBackground = nullptr;
TEnableTheming EnableTheming = nullptr;

namespace {

struct TEntry {
    const char* name;
    void** slot;
};

const TEntry kEntries[] = {
    {"OpenThemeData", reinterpret_cast<void**>(&OpenThemeData)},
    {"CloseThemeData", reinterpret_cast<void**>(&CloseThemeData)},
    {"DrawThemeBackground", reinterpret_cast<void**>(&DrawThemeBackground)},
    {"DrawThemeText", reinterpret_cast<void**>(&DrawThemeText)},
    {"GetThemeBackgroundContentRect", reinterpret_cast<void**>(&GetThemeBackgroundContentRect)},
    {"GetThemeBackgroundExtent", reinterpret_cast<void**>(&GetThemeBackgroundExtent)},
    {"GetThemePartSize", reinterpret_cast<void**>(&GetThemePartSize)},
    {"GetThemeTextExtent", reinterpret_cast<void**>(&GetThemeTextExtent)},
    {"GetThemeTextMetrics", reinterpret_cast<void**>(&GetThemeTextMetrics)},
    {"GetThemeBackgroundRegion", reinterpret_cast<void**>(&GetThemeBackgroundRegion)},
    {"HitTestThemeBackground", reinterpret_cast<void**>(&HitTestThemeBackground)},
    {"DrawThemeEdge", reinterpret_cast<void**>(&DrawThemeEdge)},
    {"DrawThemeIcon", reinterpret_cast<void**>(&DrawThemeIcon)},
    {"IsThemePartDefined", reinterpret_cast<void**>(&IsThemePartDefined)},
    {"IsThemeBackgroundPartiallyTransparent", reinterpret_cast<void**>(&IsThemeBackgroundPartiallyTransparent)},
    {"GetThemeColor", reinterpret_cast<void**>(&GetThemeColor)},
    {"GetThemeMetric", reinterpret_cast<void**>(&GetThemeMetric)},
    {"GetThemeString", reinterpret_cast<void**>(&GetThemeString)},
    {"GetThemeBool", reinterpret_cast<void**>(&GetThemeBool)},
    {"GetThemeInt", reinterpret_cast<void**>(&GetThemeInt)},
    {"GetThemeEnumValue", reinterpret_cast<void**>(&GetThemeEnumValue)},
    {"GetThemePosition", reinterpret_cast<void**>(&GetThemePosition)},
    {"GetThemeFont", reinterpret_cast<void**>(&GetThemeFont)},
    {"GetThemeRect", reinterpret_cast<void**>(&GetThemeRect)},
    {"GetThemeMargins", reinterpret_cast<void**>(&GetThemeMargins)},
    {"GetThemeIntList", reinterpret_cast<void**>(&GetThemeIntList)},
    {"GetThemePropertyOrigin", reinterpret_cast<void**>(&GetThemePropertyOrigin)},
    {"SetWindowTheme", reinterpret_cast<void**>(&SetWindowTheme)},
    {"GetThemeFilename", reinterpret_cast<void**>(&GetThemeFilename)},
    {"GetThemeSysColor", reinterpret_cast<void**>(&GetThemeSysColor)},
    {"GetThemeSysColorBrush", reinterpret_cast<void**>(&GetThemeSysColorBrush)},
    {"GetThemeSysBool", reinterpret_cast<void**>(&GetThemeSysBool)},
    {"GetThemeSysSize", reinterpret_cast<void**>(&GetThemeSysSize)},
    {"GetThemeSysFont", reinterpret_cast<void**>(&GetThemeSysFont)},
    {"GetThemeSysString", reinterpret_cast<void**>(&GetThemeSysString)},
    {"GetThemeSysInt", reinterpret_cast<void**>(&GetThemeSysInt)},
    {"IsThemeActive", reinterpret_cast<void**>(&IsThemeActive)},
    {"IsAppThemed", reinterpret_cast<void**>(&IsAppThemed)},
    {"GetWindowTheme", reinterpret_cast<void**>(&GetWindowTheme)},
    {"EnableThemeDialogTexture", reinterpret_cast<void**>(&EnableThemeDialogTexture)},
    {"IsThemeDialogTextureEnabled", reinterpret_cast<void**>(&IsThemeDialogTextureEnabled)},
    {"GetThemeAppProperties", reinterpret_cast<void**>(&GetThemeAppProperties)},
    {"SetThemeAppProperties", reinterpret_cast<void**>(&SetThemeAppProperties)},
    {"GetCurrentThemeName", reinterpret_cast<void**>(&GetCurrentThemeName)},
    {"GetThemeDocumentationProperty", reinterpret_cast<void**>(&GetThemeDocumentationProperty)},
    {"DrawThemeParentBackground", reinterpret_cast<void**>(&DrawThemeParentBackground)},
    {"EnableTheming", reinterpret_cast<void**>(&EnableTheming)},
};

}  // namespace

int EntryPointCount()
{
    return static_cast<int>(std::size(kEntries));
}

const char* EntryPointName(int index)
{
    return index >= 0 && index < EntryPointCount() ? kEntries[index].name : nullptr;
}

void** EntryPointSlot(int index)
{
    return index >= 0 && index < EntryPointCount() ? kEntries[index].slot : nullptr;
}

}  // namespace UxTheme

namespace {

// The library's load count and handle, under one lock. Made on first use, so
// it outlives whatever loaded the library after the program started; at its
// end the library is given back as many times as it is still held.
struct TThemeLibrary {
    CRITICAL_SECTION lock;
    int useCount = 0;
    HMODULE handle = nullptr;

    TThemeLibrary() { InitializeCriticalSection(&lock); }
    ~TThemeLibrary()
    {
        while (useCount > 0)
            Release();
        DeleteCriticalSection(&lock);
    }

    void Release()
    {
        EnterCriticalSection(&lock);
        if (useCount > 0)
            --useCount;
        if (handle && useCount == 0) {
            FreeLibrary(handle);
            handle = nullptr;
            for (const auto& e : UxTheme::kEntries)
                *e.slot = nullptr;
        }
        LeaveCriticalSection(&lock);
    }
};

TThemeLibrary& Library()
{
    static TThemeLibrary library;
    return library;
}

}  // namespace

bool LoadThemeLibrary()
{
    TThemeLibrary& lib = Library();
    EnterCriticalSection(&lib.lock);
    ++lib.useCount;
    if (!lib.handle) {
        lib.handle = LoadLibraryA("uxtheme.dll");
        if (lib.handle)
            for (const auto& e : UxTheme::kEntries)
                *e.slot = reinterpret_cast<void*>(GetProcAddress(lib.handle, e.name));
    }
    bool loaded = lib.handle != nullptr;
    LeaveCriticalSection(&lib.lock);
    return loaded;
}

void UnloadThemeLibrary()
{
    Library().Release();
}

bool ThemesActive()
{
    return ThemeLibraryHandle() && UxTheme::IsAppThemed && UxTheme::IsThemeActive && UxTheme::IsAppThemed() &&
           UxTheme::IsThemeActive();
}

HMODULE ThemeLibraryHandle()
{
    TThemeLibrary& lib = Library();
    EnterCriticalSection(&lib.lock);
    HMODULE h = lib.handle;
    LeaveCriticalSection(&lib.lock);
    return h;
}

int ThemeLibraryUseCount()
{
    TThemeLibrary& lib = Library();
    EnterCriticalSection(&lib.lock);
    int n = lib.useCount;
    LeaveCriticalSection(&lib.lock);
    return n;
}
