// The process-wide resources of the list control: platform flags, OLE, the
// reference clipboard format, the built-in check and utility images, the
// system check images, the header split cursor and the timer resolution.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <ole2.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "Lib2/VirtualTree/VTUtils.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/DrawUtils.h"
#include "platform/ImageList.h"
#include "platform/Sync.h"

UINT CF_VTREFERENCE = 0;

namespace {
constexpr char kNativeFormatName[] = "Sorvel Data";
}  // namespace

UINT NativeClipboardFormat()
{
    const TClipboardFormatEntry* native = TClipboardFormatList::FindFormat(std::string(kNativeFormatName));
    return native ? native->FormatEtc.cfFormat : 0;
}

namespace {

TCriticalSection& GlobalLock()
{
    static TCriticalSection lock;
    return lock;
}

// Indexes into the image array, by check image kind; the utility images last.
enum { kLightCheck, kDarkCheck, kLightTick, kDarkTick, kFlat, kXP, kCustom, kSystem, kSystemFlat,
       kUtility, kImageCount };

struct TSharedResources {
    bool initialized = false;
    bool oleInitialized = false;
    DWORD oleThread = 0;
    std::array<std::unique_ptr<TCustomImageList>, kImageCount> images;
    int timerReferences = 0;

    ~TSharedResources()
    {
        // The end of the process: the timer resolution goes back in any case.
        if (timerReferences > 0)
            timeEndPeriod(1);
    }
};

TSharedResources& Shared()
{
    static TSharedResources shared;
    return shared;
}

// Frees the images when the process ends (static objects go in reverse order,
// so this one goes before the shared record it uses).
struct TFinalizer {
    TFinalizer() { GlobalLock(); Shared(); }
    ~TFinalizer() { FinalizeGlobalStructures(); }
} finalizer;

COLORREF PixelToColor(std::uint32_t p)
{
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

std::uint32_t ColorToPixel(COLORREF c)
{
    return (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// A 32-bit top-down DIB section of the given pixels (not selected anywhere).
HBITMAP MakeSection(int width, int height, const std::vector<std::uint32_t>& pixels)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section && bits)
        std::memcpy(bits, pixels.data(), pixels.size() * 4);
    return section;
}

// The system's frame controls in the check image layout, over white.
void MakeSystemCheckImages(TCustomImageList& list, bool flat)
{
    int w = GetSystemMetrics(SM_CXMENUCHECK) + 3;
    int h = GetSystemMetrics(SM_CYMENUCHECK) + 3;
    list.SetSize(w, h);
    const UINT states[4] = {0, DFCS_HOT, DFCS_PUSHED, DFCS_INACTIVE};
    TCustomImageList& source = *Shared().images[flat ? kFlat : kDarkCheck];

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    for (int index = 0; index < ckCheckImageCount; ++index) {
        HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all = {0, 0, w, h};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        if (index >= 1 && index <= 20) {
            int i = index - 1;
            UINT kind;
            if (i < 8)
                kind = DFCS_BUTTONRADIO;
            else if (i < 16)
                kind = DFCS_BUTTONCHECK;
            else
                kind = DFCS_BUTTON3STATE;
            UINT state = kind | states[i % 4];
            if ((i >= 4 && i <= 7) || i >= 12)
                state |= DFCS_CHECKED;
            if (flat)
                state |= DFCS_FLAT;
            RECT r = {1, 1, w - 2, h - 2};
            DrawFrameControl(dc, &r, DFC_BUTTON, state);
        } else if (index > 20) {
            ImageList_Draw(source.Handle(), index, dc, (w - source.Width()) / 2,
                           (h - source.Height()) / 2, ILD_NORMAL);
        }
        SelectObject(dc, old);
        ImageList_Add(list.Handle(), bitmap, nullptr);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

const char* const kResourceNames[] = {"VT_CHECK_LIGHT", "VT_CHECK_DARK", "VT_TICK_LIGHT",
                                      "VT_TICK_DARK",   "VT_FLAT",       "VT_XP"};

}  // namespace

void LoadBuiltInImages(TCustomImageList& images, const std::string& name, bool remapColors)
{
    TLock lock(GlobalLock());
    std::wstring wname(name.begin(), name.end());
    HBITMAP loaded = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), wname.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP bm = {};
    if (loaded)
        GetObjectW(loaded, sizeof bm, &bm);
    int height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    if (!loaded || height == 0 || bm.bmWidth == 0) {
        if (loaded)
            DeleteObject(loaded);
        AssertFailed("Internal image \"" + name + "\" is missing or corrupt.", __FILE__, __LINE__);
    }
    int width = bm.bmWidth;

    // Read it as 32-bit top-down pixels.
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, loaded, 0, height, pixels.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(loaded);

    for (auto& p : pixels)
        p &= 0xFFFFFF;
    if (remapColors) {
        const std::uint32_t window = ColorToPixel(GetSysColor(COLOR_WINDOW));
        const std::uint32_t face = ColorToPixel(GetSysColor(COLOR_BTNFACE));
        const std::uint32_t shadow = ColorToPixel(GetSysColor(COLOR_BTNSHADOW));
        for (auto& p : pixels) {
            if (p == 0xFFFFFF)
                p = window;
            else if (p == 0xC0C0C0)
                p = face;
            else if (p == 0x808080)
                p = shadow;
        }
    }
    COLORREF mask = PixelToColor(pixels[0]);

    images.SetSize(height, height);
    images.Clear();
    HBITMAP strip = MakeSection(width, height, pixels);
    ImageList_AddMasked(images.Handle(), strip, mask);
    DeleteObject(strip);
}

void InitializeGlobalStructures()
{
    TLock lock(GlobalLock());
    TSharedResources& shared = Shared();
    if (shared.initialized)
        return;
    shared.initialized = true;

    HRESULT hr = OleInitialize(nullptr);
    if (SUCCEEDED(hr)) {
        shared.oleInitialized = true;
        shared.oleThread = GetCurrentThreadId();
    }
    CF_VTREFERENCE = RegisterClipboardFormatW(L"Sorvel Reference");
    // The formats trees render, best first.
    TClipboardFormatList::Add(kNativeFormatName, IsTreeOfClass<TBaseVirtualTree>, 50);
    TClipboardFormatList::Add("HTML Format", IsTreeOfClass<TCustomVirtualStringTree>, 80);
    TClipboardFormatList::Add("Rich Text Format Without Objects", IsTreeOfClass<TCustomVirtualStringTree>, 84);
    TClipboardFormatList::Add("Rich Text Format", IsTreeOfClass<TCustomVirtualStringTree>, 85);
    TClipboardFormatList::Add("CSV", IsTreeOfClass<TCustomVirtualStringTree>, 90);
    TClipboardFormatList::AddFormat(CF_UNICODETEXT, IsTreeOfClass<TCustomVirtualStringTree>, 95);
    TClipboardFormatList::AddFormat(CF_TEXT, IsTreeOfClass<TCustomVirtualStringTree>, 100);

    for (int kind = kLightCheck; kind <= kXP; ++kind) {
        shared.images[kind] = std::make_unique<TCustomImageList>(nullptr, 16, 16);
        LoadBuiltInImages(*shared.images[kind], kResourceNames[kind], true);
    }
    shared.images[kUtility] = std::make_unique<TCustomImageList>(nullptr, 16, 16);
    LoadBuiltInImages(*shared.images[kUtility], "VT_UTILITIES", false);
    shared.images[kSystem] = std::make_unique<TCustomImageList>(nullptr, 16, 16);
    MakeSystemCheckImages(*shared.images[kSystem], false);
    shared.images[kSystemFlat] = std::make_unique<TCustomImageList>(nullptr, 16, 16);
    MakeSystemCheckImages(*shared.images[kSystemFlat], true);

    HCURSOR split = LoadCursorW(GetModuleHandleW(nullptr), L"VT_HEADERSPLIT");
    RegisterScreenCursor(crHeaderSplit, split ? split : LoadCursorW(nullptr, IDC_SIZEWE));
}

void FinalizeGlobalStructures()
{
    TLock lock(GlobalLock());
    TSharedResources& shared = Shared();
    if (!shared.initialized)
        return;
    shared.initialized = false;
    for (auto& list : shared.images)
        list.reset();
    TClipboardFormatList::Clear();
    if (shared.oleInitialized && shared.oleThread == GetCurrentThreadId())
        OleUninitialize();
    shared.oleInitialized = false;
}

TCustomImageList* CheckImages(int kind)
{
    if (kind < kLightCheck || kind > kSystemFlat || kind == kCustom)
        return nullptr;
    InitializeGlobalStructures();
    return Shared().images[kind].get();
}

TCustomImageList& UtilityImages()
{
    InitializeGlobalStructures();
    return *Shared().images[kUtility];
}

void AcquireTimerResolution()
{
    TLock lock(GlobalLock());
    if (Shared().timerReferences++ == 0)
        timeBeginPeriod(1);
}

void ReleaseTimerResolution()
{
    TLock lock(GlobalLock());
    TSharedResources& shared = Shared();
    if (shared.timerReferences > 0 && --shared.timerReferences == 0)
        timeEndPeriod(1);
}

int TimerResolutionReferences()
{
    TLock lock(GlobalLock());
    return Shared().timerReferences;
}
