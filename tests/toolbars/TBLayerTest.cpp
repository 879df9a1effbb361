// The toolbar library's common routines, popup animation, thread hooks and
// image list, with real windows, registry values and hooks.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/Graphics.h"
#include "platform/Text.h"
#include "support/TestSupport.h"
#include "toolbars/TBAnim.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBHooks.h"
#include "toolbars/TBImageList.h"

using namespace testing_support;

// ---------------------------------------------------------------------------
// Common routines

TEST(TBCommon, CaptionHelpers)
{
    EXPECT_EQ(StripTrailingPunctuation("Open..."), "Open");
    EXPECT_EQ(StripTrailingPunctuation("Name:"), "Name");
    EXPECT_EQ(StripTrailingPunctuation(":"), ":");
    EXPECT_EQ(StripTrailingPunctuation("..."), "...");
    EXPECT_EQ(StripTrailingPunctuation("Plain"), "Plain");
    EXPECT_EQ(StripAccelChars("&File && Edit"), "File & Edit");
    EXPECT_EQ(EscapeAmpersands("A&B"), "A&&B");
    EXPECT_EQ(DivRoundUp(7, 2), 4);
    EXPECT_EQ(DivRoundUp(-7, 2), -4);
    EXPECT_EQ(DivRoundUp(6, 2), 3);
}

TEST(TBCommon, AcceleratorsAreWholeCharactersWithoutCase)
{
    EXPECT_EQ(FindAccelChar("&Save"), L"S");
    EXPECT_EQ(FindAccelChar("Fish && &Chips"), L"C");
    EXPECT_EQ(FindAccelChar("No && accel"), L"");
    // Cyrillic: a typed lower-case letter matches the capital of the caption.
    std::wstring ru = FindAccelChar("&\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9");   // "&Русский"
    EXPECT_EQ(ru, L"\x0420");
    EXPECT_TRUE(SameAccelChar(ru, L"\x0440"));
    EXPECT_FALSE(SameAccelChar(ru, L"P"));
    EXPECT_EQ(FirstCaptionChar("\xD0\xA0\xD1\x83\xD1\x81"), L"\x0420");
    // A character outside the basic plane stays one character (two units).
    std::wstring emoji = FindAccelChar("Go &\xF0\x9F\x98\x80 now");
    EXPECT_EQ(emoji, L"\xD83D\xDE00");
    EXPECT_FALSE(SameAccelChar(emoji, L"\xD83D"));
}

namespace {

// HKCU "Control Panel\Desktop" MenuShowDelay, put back as it was.
class MenuDelayValue {
public:
    MenuDelayValue()
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr);
        size_ = sizeof saved_;
        had_ = RegQueryValueExW(key_, L"MenuShowDelay", nullptr, &type_, saved_, &size_) == ERROR_SUCCESS;
        SetMenuShowDelayQueryForTesting([](int&) { return false; });
    }
    ~MenuDelayValue()
    {
        if (had_)
            RegSetValueExW(key_, L"MenuShowDelay", 0, type_, saved_, size_);
        else
            RegDeleteValueW(key_, L"MenuShowDelay");
        RegCloseKey(key_);
        SetMenuShowDelayQueryForTesting(nullptr);
        ResetMenuShowDelayRegistryForTesting();
    }
    void Remove() { RegDeleteValueW(key_, L"MenuShowDelay"); }
    void SetText(const wchar_t* text)
    {
        RegSetValueExW(key_, L"MenuShowDelay", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    }
    void SetDword(DWORD v)
    {
        RegSetValueExW(key_, L"MenuShowDelay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    }

private:
    HKEY key_ = nullptr;
    BYTE saved_[256] = {};
    DWORD size_ = 0, type_ = 0;
    bool had_ = false;
};

}  // namespace

TEST(TBCommon, MenuOpenDelayFallsBackOnTheRegistryReadOnce)
{
    int system = -1;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETMENUSHOWDELAY, 0, &system, 0));
    EXPECT_EQ(MenuOpenDelay(), system);
    {
        MenuDelayValue v;   // the system query fails from here on
        v.Remove();
        ResetMenuShowDelayRegistryForTesting();
        EXPECT_EQ(MenuOpenDelay(), 400);
        v.SetText(L"250");
        EXPECT_EQ(MenuOpenDelay(), 400) << "read once per process";
        ResetMenuShowDelayRegistryForTesting();
        EXPECT_EQ(MenuOpenDelay(), 250);
        v.SetText(L"soon");
        ResetMenuShowDelayRegistryForTesting();
        EXPECT_EQ(MenuOpenDelay(), 0);
        v.SetDword(300);
        ResetMenuShowDelayRegistryForTesting();
        EXPECT_EQ(MenuOpenDelay(), 0);
        v.SetText(L"-20");
        ResetMenuShowDelayRegistryForTesting();
        EXPECT_EQ(MenuOpenDelay(), 0);
    }
    EXPECT_EQ(MenuOpenDelay(), system);
}

TEST(TBCommon, MenuSoundsPlayOnlyWhenTheSchemeHasThem)
{
    const wchar_t* path = L"AppEvents\\Schemes\\Apps\\.Default\\BrenixTestSound\\.Current";
    auto removeKeys = [path] {
        RegDeleteKeyW(HKEY_CURRENT_USER, path);
        RegDeleteKeyW(HKEY_CURRENT_USER, L"AppEvents\\Schemes\\Apps\\.Default\\BrenixTestSound");
    };
    removeKeys();
    std::vector<std::string> played;
    SetPlaySoundForTesting([&](const std::string& alias) { played.push_back(alias); });
    EXPECT_FALSE(SoundSchemeHasEvent("BrenixTestSound"));
    PlaySystemSound("BrenixTestSound");
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    EXPECT_FALSE(SoundSchemeHasEvent("BrenixTestSound"));
    const wchar_t* wav = L"C:\\windows\\media\\a-rather-long-sound-name.wav";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wav),
                   static_cast<DWORD>((wcslen(wav) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    EXPECT_TRUE(SoundSchemeHasEvent("BrenixTestSound"));
    PlaySystemSound("BrenixTestSound");
    SetPlaySoundForTesting(nullptr);
    removeKeys();
    EXPECT_EQ(played, std::vector<std::string>{"BrenixTestSound"});
}

TEST(TBCommon, TheMenuFontIsTheSystemsMenuFont)
{
    NONCLIENTMETRICSW ncm = {};
    ncm.cbSize = sizeof ncm;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0));
    TFont& f = ToolbarSystemFont();
    EXPECT_EQ(f.Name(), WideToUtf8(ncm.lfMenuFont.lfFaceName));
    EXPECT_EQ(f.Height(), ncm.lfMenuFont.lfHeight);
    EXPECT_EQ(&f, &ToolbarSystemFont());
}

TEST(TBCommon, QueueChoresKeepWmQuit)
{
    HWND w = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    PostMessageW(w, WM_CHAR, 'a', 0);
    PostQuitMessage(7);
    PostMessageW(w, WM_CHAR, 'b', 0);
    RemoveMessages(WM_CHAR, WM_CHAR);
    MSG msg;
    // The quit is there again; what came before it went.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    RemoveMessages(WM_CHAR, WM_CHAR);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_CHAR, WM_CHAR, PM_NOREMOVE));
    DestroyWindow(w);
}

TEST(TBCommon, AnInvertedFrameDrawnTwiceLeavesNoTrace)
{
    TBitmap b;
    b.SetSize(60, 60);
    HDC dc = b.Canvas().Handle();
    PatBlt(dc, 0, 0, 60, 60, WHITENESS);
    RECT r1 = {5, 5, 40, 40}, r2 = {15, 15, 55, 55};
    SIZE s = {3, 3};
    DrawHalftoneInvertRect(dc, &r1, nullptr, s, s);
    int changed = 0;
    for (int x = 5; x < 8; ++x)
        for (int y = 5; y < 40; ++y)
            changed += GetPixel(dc, x, y) != RGB(255, 255, 255);
    EXPECT_GT(changed, 30);
    EXPECT_EQ(GetPixel(dc, 20, 20), RGB(255, 255, 255));
    // Moving it: the old frame goes, the new one comes.
    DrawHalftoneInvertRect(dc, &r2, &r1, s, s);
    DrawHalftoneInvertRect(dc, nullptr, &r2, s, s);
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 60; ++y)
            ASSERT_EQ(GetPixel(dc, x, y), RGB(255, 255, 255)) << x << "," << y;
}

TEST(TBCommon, SmallListHelpers)
{
    std::unique_ptr<std::vector<int>> list;
    EXPECT_TRUE(AddToList(list, 3));
    EXPECT_FALSE(AddToList(list, 3));
    EXPECT_TRUE(AddToFrontOfList(list, 1));
    EXPECT_EQ(*list, (std::vector<int>{1, 3}));
    RemoveFromList(list, 1);
    RemoveFromList(list, 3);
    EXPECT_EQ(list, nullptr);
    std::vector<int> v = {5, 1, 4, 1, 9, 2, 6};
    SortListWithCompare<int>(v, [](const int& a, const int& b, void*) { return a - b; }, nullptr);
    EXPECT_EQ(v, (std::vector<int>{1, 1, 2, 4, 5, 6, 9}));
}

// ---------------------------------------------------------------------------
// Popup animation

namespace {

const COLORREF kContent = RGB(200, 30, 40);

// A popup that paints itself in one colour and follows the animation
// protocol: WM_PRINT through the common routine, steps, and the end notice.
class AnimatedPopup {
public:
    AnimatedPopup(int x, int y, int w, int h)
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = &Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"BrenixAnimTest";
            wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            RegisterClassW(&wc);
            registered = true;
        }
        hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"BrenixAnimTest", L"", WS_POPUP, x, y, w, h,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~AnimatedPopup()
    {
        FinishPopupAnimation(hwnd);
        DestroyWindow(hwnd);
    }
    HWND hwnd = nullptr;
    int steps = 0;
    bool ended = false;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<AnimatedPopup*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        switch (msg) {
        case WM_PRINT:
            return AnswerPrintMessage(h, wParam, lParam, nullptr);
        case WM_PRINTCLIENT:
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = msg == WM_PAINT ? BeginPaint(h, &ps) : reinterpret_cast<HDC>(wParam);
            if (msg == WM_PAINT)
                FinishPopupAnimation(h);
            RECT r;
            GetClientRect(h, &r);
            HBRUSH b = CreateSolidBrush(kContent);
            FillRect(dc, &r, b);
            DeleteObject(b);
            if (msg == WM_PAINT)
                EndPaint(h, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_POPUPANIM_STEP:
            if (self)
                ++self->steps;
            StepPopupAnimation(lParam);
            return 0;
        case WM_POPUPANIM_ENDED:
            if (self)
                self->ended = true;
            return 0;
        default:
            return DefWindowProcW(h, msg, wParam, lParam);
        }
    }
};

COLORREF ScreenPixel(int x, int y)
{
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

bool HasRegion(HWND w)
{
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    bool has = GetWindowRgn(w, r) != ERROR;
    DeleteObject(r);
    return has;
}

// The window's region as a box (empty when it has none).
RECT RegionBox(HWND w)
{
    RECT box = {0, 0, 0, 0};
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(w, r) != ERROR)
        GetRgnBox(r, &box);
    DeleteObject(r);
    return box;
}

struct SlowAnimations {
    SlowAnimations() { SetPopupAnimationDurationForTesting(60000); }
    ~SlowAnimations()
    {
        SetPopupAnimationDurationForTesting(0);
        ResetUpdateLayeredWindowForTesting();
        SetCursorPos(5, 1000);
    }
};

}  // namespace

TEST(TBAnim, TheCursorEnteringASlidingPopupShowsItWholeAtOnce)
{
    ASSERT_TRUE(HaveDisplay());
    SlowAnimations slow;
    SetCursorPos(5, 1000);
    AnimatedPopup popup(300, 200, 120, 100);
    BeginPopupAnimation(popup.hwnd, false, tbpaFromAbove);
    EXPECT_TRUE(IsWindowVisible(popup.hwnd));
    EXPECT_TRUE(PumpUntil([&] { return popup.steps >= 1; }, 20000)) << "the slide took no step within 20 s";
    Pump(200);
    // A minute-long slide has hardly begun: the bottom of the window is not there yet.
    EXPECT_TRUE(HasRegion(popup.hwnd));
    RECT box = RegionBox(popup.hwnd);
    EXPECT_LT(box.bottom, 10);
    EXPECT_NE(ScreenPixel(360, 290), kContent);
    EXPECT_TRUE(IsPopupAnimationRunning(popup.hwnd));
    SetCursorPos(360, 250);
    EXPECT_TRUE(PumpUntil([&] { return popup.ended; }, 20000)) << "the slide did not end within 20 s of the cursor entering";
    EXPECT_FALSE(IsPopupAnimationRunning());
    EXPECT_FALSE(HasRegion(popup.hwnd));
    Pump(100);
    EXPECT_EQ(ScreenPixel(360, 290), kContent);
    EXPECT_EQ(ScreenPixel(302, 202), kContent);
}

namespace {

std::vector<int> gAlphas;
std::vector<HWND> gLayeredWindows;

BOOL WINAPI RecordingUpdateLayeredWindow(HWND w, HDC dst, POINT* pos, SIZE* size, HDC src, POINT* srcPos,
                                         COLORREF key, BLENDFUNCTION* blend, DWORD flags)
{
    gAlphas.push_back(blend ? blend->SourceConstantAlpha : -1);
    gLayeredWindows.push_back(w);
    return SystemUpdateLayeredWindow()(w, dst, pos, size, src, srcPos, key, blend, flags);
}

}  // namespace

TEST(TBAnim, AStepMessageOfAnOlderAnimationChangesNothing)
{
    ASSERT_TRUE(HaveDisplay());
    SlowAnimations slow;
    SetCursorPos(5, 1000);
    gAlphas.clear();
    SetUpdateLayeredWindowForTesting(&RecordingUpdateLayeredWindow);
    AnimatedPopup first(300, 200, 100, 80), second(500, 200, 100, 80);
    BeginPopupAnimation(first.hwnd, false, tbpaFromLeft);
    int old = PopupAnimationSequence();
    // Starting another ends the first, which is then shown whole.
    BeginPopupAnimation(second.hwnd, true, 0);
    EXPECT_TRUE(first.ended);
    EXPECT_FALSE(HasRegion(first.hwnd));
    EXPECT_EQ(PopupAnimationSequence(), old + 1);
    ASSERT_TRUE(PumpUntil([&] { return second.steps >= 1; }, 20000));
    // Every step of the fade sets the alpha once; the old number sets nothing.
    size_t updates = gAlphas.size();
    StepPopupAnimation(old);
    SendMessageW(second.hwnd, WM_POPUPANIM_STEP, 0, old);
    EXPECT_EQ(gAlphas.size(), updates);
    StepPopupAnimation(PopupAnimationSequence());
    EXPECT_EQ(gAlphas.size(), updates + 1);
    EXPECT_TRUE(IsPopupAnimationRunning(second.hwnd));
    // Finishing another window's animation leaves this one running.
    FinishPopupAnimation(first.hwnd);
    EXPECT_TRUE(IsPopupAnimationRunning(second.hwnd));
    FinishPopupAnimation(second.hwnd);
    EXPECT_TRUE(second.ended);
}

TEST(TBAnim, AFadeRaisesTheAlphaFrom40AndEndsOpaqueAndUnlayered)
{
    ASSERT_TRUE(HaveDisplay());
    SlowAnimations slow;
    SetPopupAnimationDurationForTesting(300);
    SetCursorPos(5, 1000);
    gAlphas.clear();
    gLayeredWindows.clear();
    SetUpdateLayeredWindowForTesting(&RecordingUpdateLayeredWindow);
    AnimatedPopup popup(300, 200, 100, 80);
    BeginPopupAnimation(popup.hwnd, true, tbpaFromAbove);
    EXPECT_TRUE(GetWindowLongW(popup.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(PumpUntil([&] { return popup.ended; }, 20000)) << "the fade did not end within 20 s";
    ASSERT_GE(gAlphas.size(), 2u);
    EXPECT_EQ(gAlphas.front(), 40);
    for (size_t i = 1; i < gAlphas.size(); ++i)
        EXPECT_GT(gAlphas[i], gAlphas[i - 1]);
    for (HWND w : gLayeredWindows)
        EXPECT_EQ(w, popup.hwnd);
    EXPECT_FALSE(GetWindowLongW(popup.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    Pump(100);
    EXPECT_EQ(ScreenPixel(350, 240), kContent);
}

TEST(TBAnim, WithoutUpdateLayeredWindowAFadeIsASlide)
{
    ASSERT_TRUE(HaveDisplay());
    SlowAnimations slow;
    SetCursorPos(5, 1000);
    SetUpdateLayeredWindowForTesting(nullptr);
    AnimatedPopup popup(300, 200, 100, 80);
    BeginPopupAnimation(popup.hwnd, true, tbpaFromAbove);
    EXPECT_FALSE(GetWindowLongW(popup.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(HasRegion(popup.hwnd));
    EXPECT_TRUE(PumpUntil([&] { return popup.steps >= 1; }, 20000));
    // A region that uncovers the window from the top, hardly begun.
    RECT box = RegionBox(popup.hwnd);
    EXPECT_LT(box.bottom, 10);
    FinishPopupAnimation(nullptr);
    EXPECT_TRUE(popup.ended);
}

// ---------------------------------------------------------------------------
// Thread hooks

namespace {

std::vector<std::string> gHookLog;
HWND gDestroyed = nullptr;
const void* const kOwnerA = &gHookLog;
const void* const kOwnerB = &gDestroyed;

void ProcOne(TThreadHookEvent e, HWND w, WPARAM, LPARAM lParam)
{
    if (e == hpeDestroyWindow) {
        gDestroyed = w;
        gHookLog.push_back("one destroy");
    } else if (e == hpeGetMessage) {
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        if (m && m->message == WM_APP + 77)
            gHookLog.push_back("one message");
    } else if (e == hpeActivate) {
        gHookLog.push_back("one activate");
    }
}

void ProcTwo(TThreadHookEvent e, HWND, WPARAM, LPARAM lParam)
{
    if (e == hpeGetMessage) {
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        if (m && m->message == WM_APP + 77)
            gHookLog.push_back("two message");
    }
}

// Removes the other procedure and itself while the hook runs them.
void ProcRemover(TThreadHookEvent e, HWND, WPARAM, LPARAM lParam)
{
    const MSG* m = reinterpret_cast<const MSG*>(lParam);
    if (e != hpeGetMessage || !m || m->message != WM_APP + 77)
        return;
    gHookLog.push_back("remover");
    UnregisterThreadHook(kOwnerA, &ProcTwo);
    UnregisterThreadHook(kOwnerA, &ProcRemover);
}

void PostAndTake()
{
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 77, 0, 0);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_APP + 77, WM_APP + 77, PM_REMOVE)) {
    }
}

void DestroyAWindow()
{
    HWND w = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(w);
}

}  // namespace

TEST(TBHooks, TheSameOwnerTwiceCountsOnce)
{
    RegisterThreadHook(kOwnerA, &ProcOne, HookEventBit(hpeDestroyWindow));
    RegisterThreadHook(kOwnerA, &ProcOne, HookEventBit(hpeDestroyWindow));
    EXPECT_EQ(ThreadHookUseCount(TThreadHookKind::hkCBT), 1);
    EXPECT_TRUE(ThreadHookInstalled(TThreadHookKind::hkCBT));
    EXPECT_FALSE(ThreadHookInstalled(TThreadHookKind::hkGetMessage));
    // An owner that never registered changes nothing.
    UnregisterThreadHook(kOwnerB, &ProcOne);
    EXPECT_EQ(ThreadHookUseCount(TThreadHookKind::hkCBT), 1);
    UnregisterThreadHook(kOwnerA, &ProcOne);
    EXPECT_EQ(ThreadHookUseCount(TThreadHookKind::hkCBT), 0);
    EXPECT_FALSE(ThreadHookInstalled(TThreadHookKind::hkCBT));
}

TEST(TBHooks, TheGetMessageHookGoesWithItsLastRegistrantAndTheOthersStay)
{
    gHookLog.clear();
    gDestroyed = nullptr;
    // One procedure, two owners with different events: it hears both kinds.
    RegisterThreadHook(kOwnerA, &ProcOne, HookEventBit(hpeDestroyWindow));
    RegisterThreadHook(kOwnerB, &ProcOne, HookEventBit(hpeGetMessage));
    RegisterThreadHook(kOwnerA, &ProcTwo, HookEventBit(hpeGetMessage));
    EXPECT_EQ(ThreadHookUseCount(TThreadHookKind::hkGetMessage), 2);
    PostAndTake();
    DestroyAWindow();
    EXPECT_EQ(gHookLog, (std::vector<std::string>{"one message", "two message", "one destroy"}));
    EXPECT_NE(gDestroyed, nullptr);

    UnregisterThreadHook(kOwnerB, &ProcOne);
    EXPECT_TRUE(ThreadHookInstalled(TThreadHookKind::hkGetMessage));
    UnregisterThreadHook(kOwnerA, &ProcTwo);
    EXPECT_FALSE(ThreadHookInstalled(TThreadHookKind::hkGetMessage));
    EXPECT_TRUE(ThreadHookInstalled(TThreadHookKind::hkCBT));
    gHookLog.clear();
    PostAndTake();
    DestroyAWindow();
    EXPECT_EQ(gHookLog, (std::vector<std::string>{"one destroy"}));
    UnregisterThreadHook(kOwnerA, &ProcOne);
    EXPECT_FALSE(ThreadHookInstalled(TThreadHookKind::hkCBT));
}

TEST(TBHooks, AProcedureMayRemoveOthersAndItselfWhileCalled)
{
    gHookLog.clear();
    RegisterThreadHook(kOwnerA, &ProcRemover, HookEventBit(hpeGetMessage));
    RegisterThreadHook(kOwnerA, &ProcTwo, HookEventBit(hpeGetMessage));
    PostAndTake();
    // The removed procedure was not called, and the hook is gone without harm.
    EXPECT_EQ(gHookLog, (std::vector<std::string>{"remover"}));
    EXPECT_FALSE(ThreadHookInstalled(TThreadHookKind::hkGetMessage));
    PostAndTake();
    EXPECT_EQ(gHookLog.size(), 1u);
}

TEST(TBHooks, ActivationReachesTheProcedure)
{
    ASSERT_TRUE(HaveDisplay());
    gHookLog.clear();
    RegisterThreadHook(kOwnerA, &ProcOne, HookEventBit(hpeActivate));
    EXPECT_TRUE(ThreadHookInstalled(TThreadHookKind::hkCallWndProc));
    HWND w = CreateWindowExW(0, L"STATIC", L"hooked", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, nullptr, nullptr,
                             nullptr, nullptr);
    SetActiveWindow(w);
    Pump(50);
    DestroyWindow(w);
    UnregisterThreadHook(kOwnerA, &ProcOne);
    EXPECT_FALSE(ThreadHookInstalled(TThreadHookKind::hkCallWndProc));
    ASSERT_FALSE(gHookLog.empty());
    EXPECT_EQ(gHookLog.front(), "one activate");
}

// ---------------------------------------------------------------------------
// Toolbar image list

namespace {

// A 16x16 list whose every image is one colour.
std::unique_ptr<TCustomImageList> ColourList(std::initializer_list<COLORREF> colours)
{
    auto list = std::make_unique<TCustomImageList>(nullptr, 16, 16);
    for (COLORREF c : colours) {
        TBitmap b;
        b.SetSize(16, 16);
        HBRUSH brush = CreateSolidBrush(c);
        RECT r = {0, 0, 16, 16};
        FillRect(b.Canvas().Handle(), &r, brush);
        DeleteObject(brush);
        list->Add(b);
    }
    return list;
}

COLORREF DrawnPixel(TTBCustomImageList& list, bool enabled, bool hot, bool checked)
{
    TBitmap target;
    target.SetSize(16, 16);
    PatBlt(target.Canvas().Handle(), 0, 0, 16, 16, WHITENESS);
    list.DrawState(target.Canvas(), 0, 0, 0, enabled, hot, checked);
    return GetPixel(target.Canvas().Handle(), 8, 8);
}

}  // namespace

TEST(TBImageList, EachStateDrawsFromItsOwnList)
{
    TTBCustomImageList list(nullptr);
    TBitmap strip;
    strip.SetSize(32, 16);
    HDC dc = strip.Canvas().Handle();
    RECT left = {0, 0, 16, 16}, right = {16, 0, 32, 16}, hole = {6, 6, 10, 10};
    HBRUSH dark = CreateSolidBrush(RGB(0, 0, 128)), fuchsia = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &left, dark);
    FillRect(dc, &right, dark);
    FillRect(dc, &hole, fuchsia);
    DeleteObject(dark);
    DeleteObject(fuchsia);
    list.SetImagesBitmap(strip);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_FALSE(list.StoresImageData());
    // Fuchsia is transparent: the white paper shows through the hole.
    EXPECT_EQ(DrawnPixel(list, true, false, false), RGB(255, 255, 255));
    {
        TBitmap target;
        target.SetSize(16, 16);
        PatBlt(target.Canvas().Handle(), 0, 0, 16, 16, WHITENESS);
        list.DrawState(target.Canvas(), 0, 0, 0, true, false, false);
        EXPECT_EQ(GetPixel(target.Canvas().Handle(), 2, 2), RGB(0, 0, 128));
        // Disabled without a list of its own: greyed.
        PatBlt(target.Canvas().Handle(), 0, 0, 16, 16, WHITENESS);
        list.DrawState(target.Canvas(), 0, 0, 0, false, false, false);
        EXPECT_EQ(GetPixel(target.Canvas().Handle(), 2, 2), GetSysColor(COLOR_BTNSHADOW));
    }

    auto disabled = ColourList({RGB(90, 90, 90)});
    auto checked = ColourList({RGB(0, 160, 0)});
    auto hot = ColourList({RGB(250, 200, 0)});
    int changes = 0;
    list.OnChange = [&](TObject*) { ++changes; };
    list.SetDisabledImages(disabled.get());
    list.SetCheckedImages(checked.get());
    list.SetHotImages(hot.get());
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(DrawnPixel(list, false, true, true), RGB(90, 90, 90));
    EXPECT_EQ(DrawnPixel(list, true, true, true), RGB(0, 160, 0));
    EXPECT_EQ(DrawnPixel(list, true, true, false), RGB(250, 200, 0));
    // A change in a side list is a change of this list.
    TBitmap more;
    more.SetSize(16, 16);
    hot->Add(more);
    EXPECT_EQ(changes, 4);
    // A side list that goes is forgotten.
    disabled.reset();
    EXPECT_EQ(list.DisabledImages(), nullptr);
    EXPECT_NE(DrawnPixel(list, false, false, false), RGB(90, 90, 90));
    list.OnChange = nullptr;
}
