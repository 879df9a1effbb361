// The drag image: its alpha channel, the blend over the screen it keeps
// (read back from the screen of Xvfb), moves with and without a restriction,
// hiding, and the processor test.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "Lib2/VirtualTree/VTDragImage.h"
#include "Lib2/VirtualTree/VTUtils.h"
#include "platform/Canvas.h"
#include "support/TestSupport.h"
#include "UtilTestSupport.h"

using namespace testing_support;
using namespace vt_test;

namespace {

uint32_t RawPixel(TBitmap& b, int x, int y)
{
    uint8_t* first = nullptr;
    ptrdiff_t stride = 0;
    int w = 0, h = 0;
    DIBRows(b.Canvas().Handle(), first, stride, w, h);
    GdiFlush();
    return reinterpret_cast<const uint32_t*>(first + y * stride)[x];
}

// A bitmap of one colour.
void Solid(TBitmap& b, int w, int h, COLORREF colour)
{
    b.SetSize(w, h);
    b.Canvas().SetBrushColor(colour);
    b.Canvas().FillRect(RECT{0, 0, w, h});
}

TEST(DragImageAlpha, FallsOffFromTheCentreAndSkipsTheColourKey)
{
    TBitmap b;
    Solid(b, 10, 10, RGB(10, 20, 30));
    b.Canvas().SetBrushColor(RGB(255, 0, 255));
    b.Canvas().FillRect(RECT{9, 0, 10, 1});
    TVTDragImage::MakeAlphaChannel(b, RGB(255, 0, 255));
    // round(255 * exp(-8 d)), d = distance from (5, 5) / 10.
    EXPECT_EQ(RawPixel(b, 5, 5) >> 24, 255u);
    EXPECT_EQ(RawPixel(b, 0, 5) >> 24, 5u);     // d 0.5: 4.67
    EXPECT_EQ(RawPixel(b, 5, 0) >> 24, 5u);
    EXPECT_EQ(RawPixel(b, 7, 5) >> 24, 51u);    // d 0.2: 51.48
    EXPECT_EQ(RawPixel(b, 0, 0) >> 24, 1u);     // d 0.707: 0.89
    EXPECT_EQ(RawPixel(b, 9, 9) >> 24, 3u);     // d 0.566: 2.76
    EXPECT_EQ(RawPixel(b, 9, 0) >> 24, 0u);     // the colour key
    EXPECT_EQ(RawPixel(b, 5, 5) & 0xFFFFFF, 0x0A141Eu);   // colours kept
}

class DragImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        backdrop_ = std::make_unique<Backdrop>(RECT{200, 200, 600, 500}, RGB(200, 100, 50));
        Solid(picture_, 10, 10, RGB(0, 0, 200));
        image_ = std::make_unique<TVTDragImage>(nullptr);
        SetMMXAvailableForTesting(true);
    }
    void TearDown() override
    {
        image_.reset();
        backdrop_.reset();
        ResetMMXAvailableForTesting();
    }
    std::unique_ptr<Backdrop> backdrop_;
    TBitmap picture_;
    std::unique_ptr<TVTDragImage> image_;
};

TEST_F(DragImageTest, BlendsOverTheScreenAndPutsItBack)
{
    EXPECT_EQ(image_->Transparency(), 128);   // a new image's
    EXPECT_EQ(image_->ColorKey(), CLR_NONE);
    EXPECT_FALSE(image_->Fade());
    ASSERT_TRUE(image_->PrepareDrag(picture_, POINT{300, 300}, POINT{305, 305}, nullptr));
    EXPECT_EQ(image_->States(), unsigned(disPrepared));
    EXPECT_FALSE(image_->Visible());
    image_->ShowDragImage();
    EXPECT_TRUE(image_->Visible());
    // Constant alpha 128 of (0, 0, 200) over (200, 100, 50).
    EXPECT_EQ(image_->Composed().Pixel(5, 5), RGB(100, 50, 125));
    EXPECT_EQ(ScreenPixel(305, 305), RGB(100, 50, 125));
    EXPECT_EQ(ScreenPixel(300, 300), RGB(100, 50, 125));
    EXPECT_EQ(ScreenPixel(310, 310), RGB(200, 100, 50));
    RECT r = image_->GetDragImageRect();
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.bottom, 310);

    image_->HideDragImage();
    EXPECT_FALSE(image_->Visible());
    EXPECT_EQ(ScreenPixel(305, 305), RGB(200, 100, 50));
    image_->ShowDragImage();
    EXPECT_EQ(ScreenPixel(305, 305), RGB(100, 50, 125));
    image_->EndDrag();
    EXPECT_EQ(ScreenPixel(305, 305), RGB(200, 100, 50));
    EXPECT_EQ(image_->States(), 0u);
    EXPECT_TRUE(image_->AlphaImage().Empty());
}

TEST_F(DragImageTest, FadeUsesThePerPixelAlphaScaledByTransparency)
{
    image_->SetFade(true);
    ASSERT_TRUE(image_->PrepareDrag(picture_, POINT{300, 300}, POINT{300, 300}, nullptr));
    image_->ShowDragImage();
    // Centre: alpha 255 -> weight floor(255*128/256) = 127.
    EXPECT_EQ(image_->Composed().Pixel(5, 5), RGB(100, 50, 124));
    // Left edge: alpha 5 -> weight 2.
    EXPECT_EQ(image_->Composed().Pixel(0, 5), RGB(198, 99, 51));
    EXPECT_EQ(ScreenPixel(300, 305), RGB(198, 99, 51));
}

TEST_F(DragImageTest, ColourKeyPixelsAreNotDrawn)
{
    picture_.Canvas().SetBrushColor(RGB(0, 255, 0));
    picture_.Canvas().FillRect(RECT{0, 0, 3, 10});
    image_->SetColorKey(RGB(0, 255, 0));
    image_->SetTransparency(255);
    ASSERT_TRUE(image_->PrepareDrag(picture_, POINT{300, 300}, POINT{300, 300}, nullptr));
    image_->ShowDragImage();
    EXPECT_EQ(image_->Composed().Pixel(1, 5), RGB(200, 100, 50));
    // Centre: weight floor(255*255/256) = 254: 200+floor(-198.4), 100+floor(-99.2), 50+floor(148.8).
    EXPECT_EQ(image_->Composed().Pixel(5, 5), RGB(1, 0, 198));
}

TEST_F(DragImageTest, PreAndPostBlendBias)
{
    image_->SetPreBlendBias(-50);
    image_->SetPostBlendBias(20);
    image_->SetTransparency(0);
    ASSERT_TRUE(image_->PrepareDrag(picture_, POINT{300, 300}, POINT{300, 300}, nullptr));
    EXPECT_EQ(RawPixel(image_->AlphaImage(), 5, 5) & 0xFFFFFF, 0x000096u);   // (0, 0, 150)
    image_->ShowDragImage();
    // Alpha 0 leaves the screen, plus the post bias.
    EXPECT_EQ(image_->Composed().Pixel(5, 5), RGB(220, 120, 70));
}

TEST_F(DragImageTest, HorizontalRestrictionKeepsTheVerticalPosition)
{
    image_->SetMoveRestriction(dmrHorizontalOnly);
    ASSERT_TRUE(image_->PrepareDrag(picture_, POINT{300, 300}, POINT{305, 305}, nullptr));
    image_->ShowDragImage();
    EXPECT_FALSE(image_->WillMove(POINT{305, 340}));
    EXPECT_TRUE(image_->WillMove(POINT{307, 340}));
    EXPECT_TRUE(image_->DragTo(POINT{309, 340}, false));
    EXPECT_EQ(image_->ImagePosition().x, 304);
    EXPECT_EQ(image_->ImagePosition().y, 300);
    EXPECT_FALSE(image_->DragTo(POINT{309, 360}, false));   // only down: no move
    EXPECT_EQ(image_->ImagePosition().y, 300);
    // On the screen: the picture at its new place, the uncovered column back.
    EXPECT_EQ(ScreenPixel(300, 305), RGB(200, 100, 50));
    EXPECT_EQ(ScreenPixel(304, 305), RGB(100, 50, 125));
    EXPECT_EQ(ScreenPixel(313, 305), RGB(100, 50, 125));
    EXPECT_EQ(ScreenPixel(314, 305), RGB(200, 100, 50));

    image_->SetMoveRestriction(dmrVerticalOnly);
    image_->DragTo(POINT{400, 365}, false);
    EXPECT_EQ(image_->ImagePosition().x, 304);
    EXPECT_EQ(image_->ImagePosition().y, 305);
}

TEST_F(DragImageTest, FarMoveRestoresTheOldPlace)
{
    ASSERT_TRUE(image_->PrepareDrag(picture_, POINT{300, 300}, POINT{300, 300}, nullptr));
    image_->ShowDragImage();
    EXPECT_TRUE(image_->DragTo(POINT{350, 380}, false));
    EXPECT_EQ(ScreenPixel(305, 305), RGB(200, 100, 50));
    EXPECT_EQ(ScreenPixel(355, 385), RGB(100, 50, 125));
    // Forced repaint without a move redraws in place.
    EXPECT_FALSE(image_->DragTo(POINT{350, 380}, true));
    EXPECT_EQ(ScreenPixel(355, 385), RGB(100, 50, 125));
    image_->EndDrag();
    EXPECT_EQ(ScreenPixel(355, 385), RGB(200, 100, 50));
}

TEST_F(DragImageTest, RecapturedBackgroundIsUsedFromThenOn)
{
    ASSERT_TRUE(image_->PrepareDrag(picture_, POINT{300, 300}, POINT{300, 300}, nullptr));
    image_->ShowDragImage();
    // Someone paints white under the left half of the picture.
    HDC screen = GetDC(nullptr);
    RECT white = {300, 300, 305, 310};
    FillRect(screen, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(nullptr, screen);
    image_->RecaptureBackground(white);
    // White (255) under alpha 128 of (0, 0, 200): 255+floor(-127.5), 255+floor(-27.5).
    EXPECT_EQ(ScreenPixel(302, 305), RGB(127, 127, 227));
    EXPECT_EQ(ScreenPixel(307, 305), RGB(100, 50, 125));
    image_->HideDragImage();
    EXPECT_EQ(ScreenPixel(302, 305), RGB(255, 255, 255));
}

TEST_F(DragImageTest, WithoutMMXNoOwnImage)
{
    SetMMXAvailableForTesting(false);
    EXPECT_FALSE(image_->PrepareDrag(picture_, POINT{300, 300}, POINT{300, 300}, nullptr));
    image_->ShowDragImage();
    EXPECT_FALSE(image_->Visible());
    EXPECT_EQ(image_->States(), 0u);
    EXPECT_EQ(ScreenPixel(305, 305), RGB(200, 100, 50));
}

}  // namespace
