// The speed button and the shared glyph lists.
#include <gtest/gtest.h>

#include <windows.h>
#include <vssym32.h>

#include <atomic>
#include <thread>

#include "controls/ButtonGlyph.h"
#include "controls/SpeedButton.h"
#include "controls/ThemeSrv.h"
#include "controls/UxTheme.h"
#include "platform/Menus.h"
#include "platform/Canvas.h"
#include "platform/Form.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

void FillGlyph(TBitmap& b, int w, int h, COLORREF color)
{
    b.SetSize(w, h);
    b.Canvas().SetBrushColor(clFuchsia);
    RECT all = {0, 0, w, h};
    b.Canvas().FillRect(all);
    b.Canvas().SetBrushColor(color);
    RECT inner = {2, 2, w - 2, h - 2};
    b.Canvas().FillRect(inner);
}

class ButtonForm : public TForm {
public:
    ButtonForm() : TForm(nullptr)
    {
        SetCaption("Speed buttons");
        SetBounds(640, 300, 300, 120);
        for (int i = 0; i < 2; ++i) {
            buttons[i] = new TRxSpeedButton(this);
            buttons[i]->SetBounds(10 + 40 * i, 10, 30, 30);
            buttons[i]->SetGroupIndex(1);
            buttons[i]->SetParent(this);
        }
        repeater = new TRxSpeedButton(this);
        repeater->SetBounds(100, 10, 30, 30);
        repeater->SetParent(this);
    }
    TRxSpeedButton* buttons[2];
    TRxSpeedButton* repeater;
};

}  // namespace

TEST(GlyphCache, GlyphsOfOneSizeShareAListAndFreedSlotsAreReused)
{
    TBitmap red, blue;
    FillGlyph(red, 12, 10, RGB(255, 0, 0));
    FillGlyph(blue, 12, 10, RGB(0, 0, 255));
    {
        TRxButtonGlyph a, b;
        a.SetGlyph(red);
        b.SetGlyph(blue);
        ASSERT_NE(GlyphCache(), nullptr);
        int ia = a.StateIndex(TButtonState::bsUp);
        int ib = b.StateIndex(TButtonState::bsUp);
        EXPECT_EQ(GlyphCache()->ListCount(), 1);
        EXPECT_NE(ia, ib);
        // Freed slot goes to the next image; the disabled one is made.
        a.SetGlyph(blue);
        int again = a.StateIndex(TButtonState::bsUp);
        EXPECT_EQ(again, ia);
        EXPECT_GE(a.StateIndex(TButtonState::bsDisabled), 0);
        TRxButtonGlyph other;
        TBitmap big;
        FillGlyph(big, 20, 20, RGB(0, 255, 0));
        other.SetGlyph(big);
        other.StateIndex(TButtonState::bsUp);
        EXPECT_EQ(GlyphCache()->ListCount(), 2);
    }
    EXPECT_EQ(GlyphCache(), nullptr);
}

TEST(GlyphCache, TheGlyphIsDrawnWithoutItsTransparentColour)
{
    TRxButtonGlyph g;
    TBitmap red;
    FillGlyph(red, 12, 10, RGB(255, 0, 0));
    g.SetGlyph(red);
    TBitmap target;
    target.SetSize(40, 40);
    target.Canvas().SetBrushColor(RGB(0, 128, 0));
    RECT all = {0, 0, 40, 40};
    target.Canvas().FillRect(all);
    g.Draw(target.Canvas().Handle(), all, POINT{0, 0}, "", TButtonLayout::blGlyphTop, -1, 1, TButtonState::bsUp);
    // Centred: 14..25 across, 15..24 down; the border of the glyph is transparent.
    EXPECT_EQ(target.Pixel(20, 20), RGB(255, 0, 0));
    EXPECT_EQ(target.Pixel(14, 15), RGB(0, 128, 0));
    EXPECT_EQ(target.Pixel(5, 5), RGB(0, 128, 0));
}

TEST(SpeedButton, GroupButtonsStayDownOneAtATime)
{
    ASSERT_TRUE(HaveDisplay());
    ButtonForm form;
    int clicks = 0;
    form.buttons[1]->OnClick = [&](TObject*) { ++clicks; };
    form.Show();
    SetForegroundWindow(form.Handle());
    Pump(30);
    form.buttons[0]->SetDown(true);
    ASSERT_TRUE(SendInputPumping(MouseClickAt(form.buttons[1]->ClientToScreen(POINT{15, 15}))));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(form.buttons[1]->Down());
    EXPECT_FALSE(form.buttons[0]->Down());
    // Without AllowAllUp the last one down stays down.
    ASSERT_TRUE(SendInputPumping(MouseClickAt(form.buttons[1]->ClientToScreen(POINT{15, 15}))));
    EXPECT_TRUE(form.buttons[1]->Down());
    form.buttons[1]->SetAllowAllUp(true);
    ASSERT_TRUE(SendInputPumping(MouseClickAt(form.buttons[1]->ClientToScreen(POINT{15, 15}))));
    EXPECT_FALSE(form.buttons[1]->Down());
    EXPECT_EQ(clicks, 3);
    SetCursorPos(1270, 1010);
}

TEST(SpeedButton, AHeldButtonRepeatsItsClick)
{
    ASSERT_TRUE(HaveDisplay());
    ButtonForm form;
    int clicks = 0;
    form.repeater->OnClick = [&](TObject*) { ++clicks; };
    form.repeater->SetAllowTimer(true);
    form.repeater->SetInitPause(50);
    form.repeater->SetRepeatInterval(20);
    form.Show();
    SetForegroundWindow(form.Handle());
    Pump(30);
    POINT p = form.repeater->ClientToScreen(POINT{15, 15});
    std::vector<INPUT> press = MouseMoveTo(p);
    INPUT down = MouseClickAt(p)[1];
    press.push_back(down);
    ASSERT_TRUE(SendInputPumping(press, 0));
    EXPECT_EQ(form.repeater->State(), TButtonState::bsDown);
    EXPECT_TRUE(PumpUntil([&] { return clicks >= 3; }, 20000));
    INPUT up = MouseClickAt(p)[2];
    ASSERT_TRUE(SendInputPumping({up}));
    int after = clicks;
    Pump(100);
    // The release is no further click, and the repeating stopped.
    EXPECT_EQ(clicks, after);
    EXPECT_EQ(form.repeater->State(), TButtonState::bsUp);
    SetCursorPos(1270, 1010);
}

namespace {

// Themes switched on (or off) through the common-controls version check.
class ComCtlVersion {
public:
    explicit ComCtlVersion(WORD major, WORD minor)
    {
        SetComCtlVersionProviderForTesting([=] { return DWORD(MAKELONG(minor, major)); });
        ThemeServices().UpdateThemes();
    }
    ~ComCtlVersion()
    {
        SetComCtlVersionProviderForTesting({});
        ThemeServices().UpdateThemes();
    }
};

// The left edge's middle pixel of a button painted into a bitmap.
COLORREF EdgePixel(TRxSpeedButton& button)
{
    TBitmap bmp;
    bmp.SetSize(button.Width(), button.Height());
    bmp.Canvas().SetBrushColor(RGB(0, 128, 0));
    button.Paint(bmp.Canvas());
    return bmp.Pixel(0, button.Height() / 2);
}

// The same pixel of a reference drawn straight by the system.
COLORREF ReferencePixel(bool themed, int w, int h)
{
    TBitmap bmp;
    bmp.SetSize(w, h);
    RECT r = {0, 0, w, h};
    HDC dc = bmp.Canvas().Handle();
    if (themed) {
        // Straight from the theme library, not through the theme service.
        LoadThemeLibrary();
        HTHEME theme = UxTheme::OpenThemeData(nullptr, L"button");
        UxTheme::DrawThemeBackground(theme, dc, BP_PUSHBUTTON, PBS_NORMAL, &r, nullptr);
        UxTheme::CloseThemeData(theme);
        UnloadThemeLibrary();
    } else {
        DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH);
    }
    return bmp.Pixel(0, h / 2);
}

}  // namespace

TEST(SpeedButton, PaintsWithTheButtonThemePartWhileThemesAreOn)
{
    ASSERT_TRUE(HaveDisplay());
    TRxSpeedButton button(nullptr);
    button.SetBounds(0, 0, 40, 24);
    COLORREF themedRef = ReferencePixel(true, 40, 24), classicRef = ReferencePixel(false, 40, 24);
    ASSERT_NE(themedRef, classicRef) << "the theme draws this edge like the classic look";
    {
        ComCtlVersion on(6, 0);
        ASSERT_TRUE(ThemeServices().ThemesEnabled());
        EXPECT_EQ(EdgePixel(button), themedRef);
    }
    ComCtlVersion off(5, 81);
    ASSERT_FALSE(ThemeServices().ThemesEnabled());
    EXPECT_EQ(EdgePixel(button), classicRef);
}

namespace {

BOOL CALLBACK FindMenuWindow(HWND hwnd, LPARAM param)
{
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && lstrcmpW(cls, L"#32768") == 0) {
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

TEST(SpeedButton, TheDropDownMenuOpensBelowTheButtonAndThePressClicksNothing)
{
    ASSERT_TRUE(HaveDisplay());
    ButtonForm form;
    TPopupMenu menu(nullptr);
    int chosen = 0;
    menu.Items().Add("First", [&](TObject*) { ++chosen; });
    form.repeater->SetDropDownMenu(&menu);
    int clicks = 0;
    form.repeater->OnClick = [&](TObject*) { ++clicks; };
    form.Show();
    SetForegroundWindow(form.Handle());
    Pump(30);
    // A helper thread reads where the menu opened and closes it.
    RECT where = {};
    std::atomic<bool> seen{false};
    std::thread closer([&] {
        for (int i = 0; i < 200 && !seen; ++i) {
            Sleep(25);
            HWND m = nullptr;
            EnumWindows(FindMenuWindow, reinterpret_cast<LPARAM>(&m));
            if (m) {
                GetWindowRect(m, &where);
                seen = true;
                PostMessageW(m, WM_KEYDOWN, VK_ESCAPE, 0);
                Sleep(100);
                PostMessageW(m, WM_KEYDOWN, VK_ESCAPE, 0);
            }
        }
    });
    POINT p = form.repeater->ClientToScreen(POINT{15, 15});
    ASSERT_TRUE(SendInputPumping(MouseClickAt(p), 300));
    closer.join();
    ASSERT_TRUE(seen.load());
    POINT corner = form.repeater->ClientToScreen(POINT{0, form.repeater->Height()});
    EXPECT_EQ(where.left, corner.x);
    EXPECT_EQ(where.top, corner.y);
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(form.repeater->State(), TButtonState::bsUp);
    form.repeater->SetDropDownMenu(nullptr);
    SetCursorPos(1270, 1010);
}
