// The speed button and the shared glyph lists.
#include <gtest/gtest.h>

#include "controls/ButtonGlyph.h"
#include "controls/SpeedButton.h"
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
    EXPECT_TRUE(PumpUntil([&] { return clicks >= 3; }, 5000));
    INPUT up = MouseClickAt(p)[2];
    ASSERT_TRUE(SendInputPumping({up}));
    int after = clicks;
    Pump(100);
    // The release is no further click, and the repeating stopped.
    EXPECT_EQ(clicks, after);
    EXPECT_EQ(form.repeater->State(), TButtonState::bsUp);
    SetCursorPos(1270, 1010);
}
