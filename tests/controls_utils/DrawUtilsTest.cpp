#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "controls/DrawUtils.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using namespace testing_support;

// ---- numbers and rectangles ----

TEST(DrawUtils, MaxMinAndRectSizes)
{
    EXPECT_EQ(Max(3, -7), 3);
    EXPECT_EQ(Min(3, -7), -7);
    EXPECT_EQ(Max(5, 5), 5);
    RECT r{10, 20, 110, 70};
    EXPECT_EQ(RectWidth(r), 100);
    EXPECT_EQ(RectHeight(r), 50);
}

TEST(DrawUtils, FitRectToScreenKeepsTheSize)
{
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    RECT r{cx - 50, cy - 20, cx + 150, cy + 80};   // over the right and bottom edges
    FitRectToScreen(r);
    EXPECT_EQ(r.right, cx);
    EXPECT_EQ(r.bottom, cy);
    EXPECT_EQ(RectWidth(r), 200);
    EXPECT_EQ(RectHeight(r), 100);

    r = RECT{-30, -40, 70, 60};
    FitRectToScreen(r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 100);

    r = RECT{100, 100, 300, 200};                 // already inside
    FitRectToScreen(r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);

    r = RECT{500, 500, 500 + cx + 100, 500 + cy + 100};   // larger than the screen
    FitRectToScreen(r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(RectWidth(r), cx + 100);
}

namespace {

HWND MakeTopWindow(int x, int y, int w, int h, const wchar_t* title = L"utils")
{
    return CreateWindowExW(0, L"STATIC", title, WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

TEST(DrawUtils, CenterWindowCentresAndKeepsTheWindowOnScreen)
{
    ASSERT_TRUE(HaveDisplay());
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    HWND below = MakeTopWindow(5, 5, 50, 50, L"below");
    HWND w = MakeTopWindow(3, 4, 300, 200);
    ASSERT_NE(w, nullptr);
    SetWindowPos(below, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    HWND nextBefore = GetWindow(below, GW_HWNDNEXT);

    CenterWindow(w);
    RECT r{};
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, (cx - 300) / 2);
    EXPECT_EQ(r.top, (cy - 200) / 2);
    EXPECT_EQ(RectWidth(r), 300);
    EXPECT_EQ(RectHeight(r), 200);
    EXPECT_EQ(GetWindow(below, GW_HWNDNEXT), nextBefore);   // z-order untouched

    // Larger than the screen: top left corner at 0, 0.
    SetWindowPos(w, nullptr, 40, 40, cx + 200, cy + 100, SWP_NOZORDER | SWP_NOACTIVATE);
    CenterWindow(w);
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(RectWidth(r), cx + 200);
    DestroyWindow(w);
    DestroyWindow(below);
    CenterWindow(nullptr);   // no window, no harm
}

// ---- text ----

namespace {

struct ScreenFontDC {
    ScreenFontDC()
    {
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    }
    ~ScreenFontDC()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    int Width(const std::string& s) const
    {
        std::wstring w = Utf8ToWide(s);
        SIZE size{};
        GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
        return size.cx;
    }
    HDC dc;
    HGDIOBJ old;
};

}  // namespace

TEST(DrawUtils, MinimizeTextShortensWithAnEllipsis)
{
    ScreenFontDC dc;
    const std::string text = "Folding@Home client monitor";
    const int full = dc.Width(text);
    ASSERT_GT(full, 20);
    EXPECT_EQ(MinimizeText(text, dc.dc, full), text);
    EXPECT_EQ(MinimizeText(text, dc.dc, full + 50), text);

    const int width = full / 2;
    std::string shortened = MinimizeText(text, dc.dc, width);
    ASSERT_GT(shortened.size(), 3u);
    EXPECT_EQ(shortened.substr(shortened.size() - 3), "...");
    std::string kept = shortened.substr(0, shortened.size() - 3);
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0);
    EXPECT_LE(dc.Width(shortened), width);
    // One character more would not have fitted.
    EXPECT_GT(dc.Width(text.substr(0, kept.size() + 1) + "..."), width);

    // Too narrow for any character: the ellipsis alone.
    EXPECT_EQ(MinimizeText(text, dc.dc, 1), "...");
    EXPECT_EQ(MinimizeText(text, dc.dc, 0), "...");
    EXPECT_EQ(MinimizeText("", dc.dc, 0), "");
}

TEST(DrawUtils, MinimizeTextCutsWholeCharacters)
{
    ScreenFontDC dc;
    const std::string text = "\xd0\x9f\xd1\x80\xd0\xbe\xd0\xb5\xd0\xba\xd1\x82 \xd0\xb8 \xd0\xba\xd0\xbb\xd0\xb8\xd0\xb5\xd0\xbd\xd1\x82";
    std::string shortened = MinimizeText(text, dc.dc, dc.Width(text) / 2);
    EXPECT_TRUE(IsValidUtf8(shortened));
    EXPECT_EQ(shortened.substr(shortened.size() - 3), "...");
    EXPECT_LT(shortened.size(), text.size() + 3);
}

TEST(DrawUtils, CommandLineTokens)
{
    std::string token;
    const std::string line = "  \"C:\\Program Files\\FAH\\FAH6.exe\"  -smp\t-verbosity 9 \"\" -dir=\"a b\"c";
    size_t pos = GetParamToken(line, 0, token);
    EXPECT_EQ(token, "C:\\Program Files\\FAH\\FAH6.exe");
    pos = GetParamToken(line, pos, token);
    EXPECT_EQ(token, "-smp");
    pos = GetParamToken(line, pos, token);
    EXPECT_EQ(token, "-verbosity");
    pos = GetParamToken(line, pos, token);
    EXPECT_EQ(token, "9");
    pos = GetParamToken(line, pos, token);
    EXPECT_EQ(token, "-dir=a bc");   // the empty pair is skipped, the quoted part joined
    pos = GetParamToken(line, pos, token);
    EXPECT_EQ(token, "");
    EXPECT_EQ(pos, line.size());

    EXPECT_EQ(ParamCount(line), 4);
    EXPECT_EQ(ParamIndexToken(line, 0), "C:\\Program Files\\FAH\\FAH6.exe");
    EXPECT_EQ(ParamIndexToken(line, 4), "-dir=a bc");
    EXPECT_EQ(ParamIndexToken(line, 5), "");
    EXPECT_EQ(ParamIndexToken(line, -1), "");
    EXPECT_EQ(ParamCount(""), 0);
    EXPECT_EQ(ParamCount("   \x01\x02 "), 0);
    EXPECT_EQ(ParamCount("prog"), 0);
    EXPECT_EQ(ParamCount("prog \"unclosed quote"), 1);
    EXPECT_EQ(ParamIndexToken("prog \"unclosed quote", 1), "unclosed quote");
}

TEST(DrawUtils, SplitCommandLineQuotesParametersWithBlanks)
{
    std::string program, params;
    SplitCommandLine("\"C:\\FAH Client\\fah6.exe\" -svcstart \"-local dir\"  -oneunit", program, params);
    EXPECT_EQ(program, "C:\\FAH Client\\fah6.exe");
    EXPECT_EQ(params, "-svcstart \"-local dir\" -oneunit");
    SplitCommandLine("sc.exe", program, params);
    EXPECT_EQ(program, "sc.exe");
    EXPECT_EQ(params, "");
    SplitCommandLine("", program, params);
    EXPECT_EQ(program, "");
    EXPECT_EQ(params, "");
}

// ---- messages and windows ----

TEST(DrawUtils, CheckQuitMessageRemovesAndRepostsTheQuit)
{
    ASSERT_TRUE(HaveDisplay());
    HWND w = MakeTopWindow(0, 0, 10, 10);
    ASSERT_NE(w, nullptr);
    MSG msg;
    PostMessageW(w, WM_USER + 77, 1, 2);
    EXPECT_TRUE(CheckQuitMessage(w, WM_USER + 77));
    EXPECT_FALSE(PeekMessageW(&msg, w, WM_USER + 77, WM_USER + 77, PM_NOREMOVE));
    EXPECT_FALSE(CheckQuitMessage(w, WM_USER + 77));

    PostQuitMessage(7);
    EXPECT_TRUE(CheckQuitMessage(nullptr, WM_QUIT));
    // The quit is there again, with its code.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    DestroyWindow(w);
}

namespace {

DWORD WINAPI ActivateOtherThreadWindow(LPVOID param)
{
    auto* events = static_cast<HANDLE*>(param);
    HWND w = CreateWindowExW(0, L"STATIC", L"other thread", WS_POPUP | WS_VISIBLE, 300, 300, 80, 60, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(w);
    SetActiveWindow(w);
    SetEvent(events[0]);
    WaitForSingleObject(events[1], 10000);
    DestroyWindow(w);
    return 0;
}

}  // namespace

TEST(DrawUtils, IsForegroundTaskFollowsTheActiveWindow)
{
    ASSERT_TRUE(HaveDisplay());
    HWND w = CreateWindowExW(0, L"STATIC", L"active", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 200, 100,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(w, nullptr);
    SetForegroundWindow(w);
    SetActiveWindow(w);
    Pump(100);
    ASSERT_EQ(GetActiveWindow(), w);
    EXPECT_TRUE(IsForegroundTask());

    // Another thread's window takes the foreground: this thread has no active window.
    HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, ActivateOtherThreadWindow, events, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(events[0], 10000), WAIT_OBJECT_0);
    PumpUntil([] { return GetActiveWindow() == nullptr; }, 2000);
    EXPECT_FALSE(IsForegroundTask());
    SetEvent(events[1]);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
    DestroyWindow(w);
}

// ---- cursors ----

TEST(DrawUtils, TheTwoCursorsComeFromTheProgramsResources)
{
    HCURSOR hand = ScreenCursor(crHand);
    HCURSOR drag = ScreenCursor(crDragHand);
    ASSERT_NE(hand, nullptr);
    ASSERT_NE(drag, nullptr);
    EXPECT_NE(hand, drag);
    EXPECT_EQ(hand, LoadCursorW(GetModuleHandleW(nullptr), L"RX_HANDCUR"));
    EXPECT_EQ(drag, LoadCursorW(GetModuleHandleW(nullptr), L"RX_DRAGCUR"));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(hand, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 5u);   // the finger tip
    EXPECT_EQ(info.yHotspot, 0u);
    if (info.hbmMask)
        DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);

    EXPECT_EQ(ScreenCursor(12345), LoadCursorW(nullptr, IDC_ARROW));
    HCURSOR cross = LoadCursorW(nullptr, IDC_CROSS);
    RegisterScreenCursor(12345, cross);
    EXPECT_EQ(ScreenCursor(12345), cross);
    RegisterScreenCursor(12345, nullptr);   // taken back: the arrow again
    EXPECT_EQ(ScreenCursor(12345), LoadCursorW(nullptr, IDC_ARROW));
}

// ---- painting ----

namespace {

COLORREF Pixel(HDC dc, int x, int y) { return GetPixel(dc, x, y) & 0xFFFFFF; }

struct MemoryCanvas {
    MemoryCanvas(int w, int h, COLORREF fill)
    {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bmp = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bmp);
        RECT r{0, 0, w, h};
        HBRUSH b = CreateSolidBrush(fill);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    ~MemoryCanvas()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bmp;
    HGDIOBJ old;
};

// A bitmap of fuchsia with a black square from (4,4) to (11,11).
HBITMAP MakeGlyph()
{
    MemoryCanvas canvas(16, 16, RGB(255, 0, 255));
    RECT square{4, 4, 12, 12};
    FillRect(canvas.dc, &square, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HBITMAP glyph = canvas.bmp;
    SelectObject(canvas.dc, canvas.old);
    canvas.bmp = CreateCompatibleBitmap(canvas.dc, 1, 1);   // the canvas frees this one instead
    canvas.old = SelectObject(canvas.dc, canvas.bmp);
    return glyph;
}

}  // namespace

TEST(DrawUtils, CreateDisabledBitmapEmbossesTheShape)
{
    const COLORREF back = RGB(192, 192, 192), hi = RGB(255, 255, 255), sh = RGB(128, 128, 128);
    HBITMAP glyph = MakeGlyph();
    ASSERT_NE(glyph, nullptr);
    HBITMAP disabled = CreateDisabledBitmapEx(glyph, RGB(255, 0, 255), back, hi, sh, true);
    ASSERT_NE(disabled, nullptr);
    BITMAP info{};
    GetObjectW(disabled, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 16);
    EXPECT_EQ(info.bmHeight, 16);

    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, disabled);
    EXPECT_EQ(Pixel(dc, 0, 0), back);      // mask colour: background
    EXPECT_EQ(Pixel(dc, 15, 15), back);
    EXPECT_EQ(Pixel(dc, 4, 4), sh);        // the shape in shadow
    EXPECT_EQ(Pixel(dc, 11, 11), sh);
    EXPECT_EQ(Pixel(dc, 12, 12), hi);      // its highlight one pixel down and right
    EXPECT_EQ(Pixel(dc, 12, 5), hi);
    EXPECT_EQ(Pixel(dc, 3, 3), back);
    SelectObject(dc, old);
    DeleteObject(disabled);

    // Without the highlight only the shadow is drawn.
    disabled = CreateDisabledBitmapEx(glyph, RGB(255, 0, 255), back, hi, sh, false);
    ASSERT_NE(disabled, nullptr);
    old = SelectObject(dc, disabled);
    EXPECT_EQ(Pixel(dc, 12, 12), back);
    EXPECT_EQ(Pixel(dc, 8, 8), sh);
    SelectObject(dc, old);
    DeleteObject(disabled);

    // The system colours version.
    disabled = CreateDisabledBitmap(glyph, RGB(255, 0, 255));
    ASSERT_NE(disabled, nullptr);
    old = SelectObject(dc, disabled);
    EXPECT_EQ(Pixel(dc, 0, 0), GetSysColor(COLOR_BTNFACE) & 0xFFFFFF);
    EXPECT_EQ(Pixel(dc, 8, 8), GetSysColor(COLOR_BTNSHADOW) & 0xFFFFFF);
    EXPECT_EQ(Pixel(dc, 12, 12), GetSysColor(COLOR_BTNHIGHLIGHT) & 0xFFFFFF);
    SelectObject(dc, old);
    DeleteObject(disabled);
    DeleteDC(dc);
    DeleteObject(glyph);

    EXPECT_EQ(CreateDisabledBitmapEx(nullptr, 0, 0, 0, 0, true), nullptr);
}

TEST(DrawUtils, ImageListDrawDisabledDrawsOneImageAndRestoresTheCanvas)
{
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 0);
    ASSERT_NE(images, nullptr);
    HBITMAP glyph = MakeGlyph();
    ASSERT_EQ(ImageList_AddMasked(images, glyph, RGB(255, 0, 255)), 0);
    DeleteObject(glyph);

    const COLORREF paper = RGB(0, 0, 255), hi = RGB(255, 255, 255), sh = RGB(128, 128, 128);
    MemoryCanvas canvas(40, 40, paper);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HGDIOBJ before = SelectObject(canvas.dc, brush);
    SetTextColor(canvas.dc, RGB(10, 20, 30));
    SetBkColor(canvas.dc, RGB(40, 50, 60));

    ImageListDrawDisabled(images, canvas.dc, 10, 20, 0, hi, sh, true);
    EXPECT_EQ(Pixel(canvas.dc, 10, 20), paper);      // transparent part untouched
    EXPECT_EQ(Pixel(canvas.dc, 14, 24), sh);
    EXPECT_EQ(Pixel(canvas.dc, 21, 31), sh);
    EXPECT_EQ(Pixel(canvas.dc, 22, 32), hi);
    EXPECT_EQ(Pixel(canvas.dc, 5, 5), paper);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetTextColor(canvas.dc), RGB(10, 20, 30));
    EXPECT_EQ(GetBkColor(canvas.dc), RGB(40, 50, 60));

    // A missing image draws nothing.
    ImageListDrawDisabled(images, canvas.dc, 0, 0, 5, hi, sh, true);
    EXPECT_EQ(Pixel(canvas.dc, 5, 5), paper);
    SelectObject(canvas.dc, before);
    DeleteObject(brush);
    ImageList_Destroy(images);
}

namespace {

struct PaintLog {
    int parentErase = 0, parentPaint = 0, siblingPaints = 0, otherPaints = 0;
    bool parentMarked = false, siblingMarked = false;
};
PaintLog* g_paint = nullptr;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (g_paint && msg == WM_ERASEBKGND) {
        ++g_paint->parentErase;
        g_paint->parentMarked = IsPaintingCopy(hwnd);
        RECT r;
        GetClientRect(hwnd, &r);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(reinterpret_cast<HDC>(wParam), &r, red);
        DeleteObject(red);
        return 1;
    }
    if (g_paint && msg == WM_PRINTCLIENT) {
        ++g_paint->parentPaint;
        RECT r{50, 50, 60, 60};
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        FillRect(reinterpret_cast<HDC>(wParam), &r, blue);
        DeleteObject(blue);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK SiblingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (g_paint && msg == WM_PAINT && wParam) {
        if (GetWindowLongPtrW(hwnd, GWLP_ID) == 1) {
            ++g_paint->siblingPaints;
            g_paint->siblingMarked = IsPaintingCopy(hwnd);
            RECT r;
            GetClientRect(hwnd, &r);
            HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
            FillRect(reinterpret_cast<HDC>(wParam), &r, green);
            DeleteObject(green);
        } else {
            ++g_paint->otherPaints;
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void RegisterPaintClasses()
{
    static bool done = false;
    if (done)
        return;
    WNDCLASSW wc{};
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpfnWndProc = ParentProc;
    wc.lpszClassName = L"UtilsPaintParent";
    RegisterClassW(&wc);
    wc.lpfnWndProc = SiblingProc;
    wc.lpszClassName = L"UtilsPaintSibling";
    RegisterClassW(&wc);
    done = true;
}

HWND Child(HWND parent, int id, int x, int y, int w, int h, bool visible = true)
{
    return CreateWindowExW(0, L"UtilsPaintSibling", L"", WS_CHILD | (visible ? WS_VISIBLE : 0), x, y, w, h,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           nullptr);
}

}  // namespace

TEST(DrawUtils, CopyParentImagePaintsWhatLiesUnderAControl)
{
    ASSERT_TRUE(HaveDisplay());
    RegisterPaintClasses();
    PaintLog log;
    g_paint = &log;
    HWND parent = CreateWindowExW(0, L"UtilsPaintParent", L"parent", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    HWND control = Child(parent, 9, 40, 40, 40, 40);
    HWND under = Child(parent, 1, 70, 70, 20, 20);          // below, overlapping
    HWND farAway = Child(parent, 2, 200, 150, 20, 20);      // below, not overlapping
    HWND hidden = Child(parent, 3, 45, 45, 10, 10, false);  // below, hidden
    HWND above = Child(parent, 4, 42, 42, 10, 10);          // above the control
    SetWindowPos(under, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(farAway, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(hidden, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(above, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(control, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Pump(50);
    log = PaintLog();

    MemoryCanvas canvas(40, 40, RGB(255, 255, 255));
    CopyParentImage(control, canvas.dc);
    EXPECT_EQ(log.parentErase, 1);
    EXPECT_EQ(log.parentPaint, 1);
    EXPECT_EQ(log.siblingPaints, 1);
    EXPECT_EQ(log.otherPaints, 0);
    EXPECT_TRUE(log.parentMarked);
    EXPECT_TRUE(log.siblingMarked);
    EXPECT_FALSE(IsPaintingCopy(parent));
    EXPECT_FALSE(IsPaintingCopy(under));

    EXPECT_EQ(Pixel(canvas.dc, 0, 0), RGB(255, 0, 0));      // parent background at (40,40)
    EXPECT_EQ(Pixel(canvas.dc, 15, 15), RGB(0, 0, 255));    // parent paint at (55,55)
    EXPECT_EQ(Pixel(canvas.dc, 35, 35), RGB(0, 255, 0));    // the sibling at (75,75)
    EXPECT_EQ(Pixel(canvas.dc, 25, 5), RGB(255, 0, 0));
    // The canvas's own origin is back where it was.
    POINT org{1, 1};
    GetViewportOrgEx(canvas.dc, &org);
    EXPECT_EQ(org.x, 0);
    EXPECT_EQ(org.y, 0);

    DestroyWindow(parent);
    g_paint = nullptr;
    CopyParentImage(nullptr, canvas.dc);   // nothing to do
}

TEST(DrawUtils, CopyParentImageClipsToTheParentsClientArea)
{
    ASSERT_TRUE(HaveDisplay());
    RegisterPaintClasses();
    PaintLog log;
    g_paint = &log;
    HWND parent = CreateWindowExW(0, L"UtilsPaintParent", L"parent", WS_POPUP | WS_VISIBLE, 100, 100, 100, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND control = Child(parent, 9, 80, 80, 40, 40);   // sticks out right and below
    MemoryCanvas canvas(40, 40, RGB(255, 255, 255));
    CopyParentImage(control, canvas.dc);
    EXPECT_EQ(Pixel(canvas.dc, 5, 5), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(canvas.dc, 30, 30), RGB(255, 255, 255));   // outside the parent: untouched
    DestroyWindow(parent);
    g_paint = nullptr;
}

// ---- painting what lies under a control of the window layer ----

#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/Form.h"
#include "platform/StdCtrls.h"

namespace {

// A panel of the window layer that paints a blue square at (50,50)-(60,60)
// over its red background.
class TSquarePanel : public TPanel {
public:
    explicit TSquarePanel(TComponent* owner) : TPanel(owner)
    {
        SetBevelOuter(TBevelCut::bvNone);
        SetColor(RGB(255, 0, 0));
    }
    int paints = 0;
    bool markedWhilePainting = false;
    bool windowMarkedWhilePainting = false;

protected:
    void Paint(TCanvas& canvas) override
    {
        ++paints;
        markedWhilePainting = IsPaintingCopy(this);
        windowMarkedWhilePainting = HandleAllocated() && IsPaintingCopy(Handle());
        canvas.SetBrushColor(RGB(0, 0, 255));
        canvas.FillRect(RECT{50, 50, 60, 60});
    }
};

// A windowless control that fills itself with one colour.
class TPatch : public TGraphicControl {
public:
    TPatch(TComponent* owner, TWinControl* parent, RECT bounds, COLORREF colour, bool visible = true)
        : TGraphicControl(owner), colour(colour)
    {
        SetBounds(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
        SetVisible(visible);
        SetParent(parent);
    }
    COLORREF colour;
    int paints = 0;
    bool markedWhilePainting = false;
    bool throwOnPaint = false;
    void Paint(TCanvas& canvas) override
    {
        ++paints;
        markedWhilePainting = IsPaintingCopy(this);
        if (throwOnPaint)
            throw Exception("patch broke");
        canvas.SetBrushColor(colour);
        canvas.FillRect(ClientRect());
    }
};

struct LayerScene {
    explicit LayerScene(int panelWidth = 300, int panelHeight = 200) : form(nullptr)
    {
        form.SetBounds(100, 100, panelWidth + 40, panelHeight + 60);
        panel = new TSquarePanel(&form);
        panel->SetBounds(0, 0, panelWidth, panelHeight);
        panel->SetParent(&form);
    }
    TForm form;
    TSquarePanel* panel;
};

}  // namespace

TEST(DrawUtils, CopyParentImageOfAWindowlessControlPaintsItsParentAndTheSiblingsBelow)
{
    ASSERT_TRUE(HaveDisplay());
    LayerScene scene;
    TSquarePanel* panel = scene.panel;
    auto* under = new TPatch(&scene.form, panel, RECT{70, 70, 90, 90}, RGB(0, 255, 0));
    auto* farAway = new TPatch(&scene.form, panel, RECT{200, 150, 220, 170}, RGB(0, 255, 255));
    auto* hidden = new TPatch(&scene.form, panel, RECT{45, 45, 55, 55}, RGB(255, 0, 255), false);
    auto* control = new TPatch(&scene.form, panel, RECT{40, 40, 80, 80}, RGB(0, 0, 0));
    auto* above = new TPatch(&scene.form, panel, RECT{42, 42, 52, 52}, RGB(255, 255, 0));
    auto* edit = new TEdit(&scene.form);   // a windowed sibling below: not a graphic control
    edit->SetBounds(60, 60, 10, 10);
    edit->SetParent(panel);
    scene.form.Show();
    Pump(50);
    ASSERT_TRUE(panel->HandleAllocated());
    panel->paints = under->paints = farAway->paints = hidden->paints = control->paints = above->paints = 0;

    MemoryCanvas memory(40, 40, RGB(255, 255, 255));
    {
        TCanvas canvas(memory.dc);
        CopyParentImage(control, canvas);
    }
    EXPECT_EQ(panel->paints, 1);
    EXPECT_TRUE(panel->markedWhilePainting);
    EXPECT_EQ(under->paints, 1);
    EXPECT_TRUE(under->markedWhilePainting);
    EXPECT_EQ(farAway->paints, 0);
    EXPECT_EQ(hidden->paints, 0);
    EXPECT_EQ(control->paints, 0);
    EXPECT_EQ(above->paints, 0);
    EXPECT_FALSE(IsPaintingCopy(panel));
    EXPECT_FALSE(IsPaintingCopy(under));

    EXPECT_EQ(Pixel(memory.dc, 0, 0), RGB(255, 0, 0));      // the panel's colour at (40,40)
    EXPECT_EQ(Pixel(memory.dc, 3, 3), RGB(255, 0, 0));      // the control above is not drawn
    EXPECT_EQ(Pixel(memory.dc, 15, 15), RGB(0, 0, 255));    // the panel's own paint at (55,55)
    EXPECT_EQ(Pixel(memory.dc, 35, 35), RGB(0, 255, 0));    // the sibling below at (75,75)
    EXPECT_EQ(Pixel(memory.dc, 29, 29), RGB(255, 0, 0));    // beside it
    POINT org{1, 1};
    GetViewportOrgEx(memory.dc, &org);
    EXPECT_EQ(org.x, 0);
    EXPECT_EQ(org.y, 0);

    // No parent, no control: nothing happens.
    TPatch orphan(nullptr, nullptr, RECT{0, 0, 10, 10}, RGB(0, 0, 0));
    TCanvas canvas(memory.dc);
    CopyParentImage(&orphan, canvas);
    CopyParentImage(static_cast<TControl*>(nullptr), canvas);
    EXPECT_EQ(Pixel(memory.dc, 0, 0), RGB(255, 0, 0));
}

TEST(DrawUtils, CopyParentImageOfALayerWindowGoesThroughItsControl)
{
    ASSERT_TRUE(HaveDisplay());
    LayerScene scene;
    auto* under = new TPatch(&scene.form, scene.panel, RECT{70, 70, 90, 90}, RGB(0, 255, 0));
    auto* child = new TPanel(&scene.form);
    child->SetBounds(40, 40, 40, 40);
    child->SetParent(scene.panel);
    scene.form.Show();
    Pump(50);
    ASSERT_NE(child->Handle(), nullptr);
    scene.panel->paints = under->paints = 0;

    MemoryCanvas memory(40, 40, RGB(255, 255, 255));
    CopyParentImage(child->Handle(), memory.dc);
    EXPECT_EQ(scene.panel->paints, 1);
    EXPECT_TRUE(scene.panel->markedWhilePainting);
    EXPECT_TRUE(scene.panel->windowMarkedWhilePainting);
    EXPECT_EQ(under->paints, 1);
    EXPECT_EQ(Pixel(memory.dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(memory.dc, 15, 15), RGB(0, 0, 255));
    EXPECT_EQ(Pixel(memory.dc, 35, 35), RGB(0, 255, 0));
    EXPECT_FALSE(IsPaintingCopy(scene.panel->Handle()));
}

TEST(DrawUtils, CopyParentImageOfAWindowlessControlClipsToTheParent)
{
    LayerScene scene(100, 100);   // no window needed: the parent paints through its class
    auto* control = new TPatch(&scene.form, scene.panel, RECT{80, 80, 120, 120}, RGB(0, 0, 0));
    MemoryCanvas memory(40, 40, RGB(255, 255, 255));
    TCanvas canvas(memory.dc);
    CopyParentImage(control, canvas);
    EXPECT_EQ(scene.panel->paints, 1);
    EXPECT_EQ(Pixel(memory.dc, 5, 5), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(memory.dc, 30, 30), RGB(255, 255, 255));   // outside the parent: untouched
}

TEST(DrawUtils, CopyParentImageLeavesNoMarkWhenASiblingFails)
{
    LayerScene scene;
    auto* broken = new TPatch(&scene.form, scene.panel, RECT{0, 0, 50, 50}, RGB(0, 255, 0));
    broken->throwOnPaint = true;
    auto* control = new TPatch(&scene.form, scene.panel, RECT{10, 10, 30, 30}, RGB(0, 0, 0));
    MemoryCanvas memory(20, 20, RGB(255, 255, 255));
    TCanvas canvas(memory.dc);
    EXPECT_THROW(CopyParentImage(control, canvas), Exception);
    EXPECT_TRUE(broken->markedWhilePainting);
    EXPECT_FALSE(IsPaintingCopy(broken));
    EXPECT_FALSE(IsPaintingCopy(scene.panel));
    POINT org{1, 1};
    GetViewportOrgEx(memory.dc, &org);
    EXPECT_EQ(org.x, 0);
    EXPECT_EQ(org.y, 0);
}
