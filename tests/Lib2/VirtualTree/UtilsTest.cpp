// The list control's shared routines: alpha blending in every mode (pixel
// values worked out by hand), text shortening (ellipsis widths, surrogate
// pairs), the line-by-line text drawing, node-to-tree lookup, ordered
// rectangles, sorting, the processor test and the shared images and cursor.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTUtils.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/DrawUtils.h"
#include "platform/ImageList.h"
#include "platform/Text.h"

namespace {

// A 32-bit top-down DIB section selected into its own memory DC; pixels are
// read and written as 0xAARRGGBB.
class Pixels {
public:
    Pixels(int w, int h, int bitCount = 32, bool bottomUp = false) : w_(w), h_(h), bottomUp_(bottomUp)
    {
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = bottomUp ? h : -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = static_cast<WORD>(bitCount);
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Pixels()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    uint32_t& at(int x, int y)
    {
        GdiFlush();
        return bits_[(bottomUp_ ? h_ - 1 - y : y) * w_ + x];
    }
    void Fill(uint32_t v)
    {
        GdiFlush();
        std::fill(bits_, bits_ + w_ * h_, v);
    }

private:
    int w_, h_;
    bool bottomUp_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

constexpr uint32_t Argb(int a, int r, int g, int b)
{
    return (static_cast<uint32_t>(a) << 24) | (r << 16) | (g << 8) | b;
}

// Source (200, 100, 0) over destination (100, 200, 255): the pair most
// blending tests use. Expected values below are worked out with the rule
// d + floor((s - d) * a / 256) + bias, limited to 0..255.
struct BlendPair {
    Pixels src{4, 1}, dst{4, 1};
    BlendPair(int srcAlpha = 0)
    {
        src.Fill(Argb(srcAlpha, 200, 100, 0));
        dst.Fill(Argb(0x7F, 100, 200, 255));
    }
    void Blend(TBlendMode mode, int alpha, int bias, RECT r = {0, 0, 4, 1}, POINT target = {0, 0})
    {
        AlphaBlend(src.dc(), dst.dc(), r, target, mode, alpha, bias);
    }
};

TEST(AlphaBlend, ConstantAlphaHalfRoundsDownEvenBelowZero)
{
    BlendPair p;
    p.Blend(bmConstantAlpha, 128, 0);
    // R 100+50, G 200+floor(-50), B 255+floor(-127.5) = 127; the fourth byte stays.
    EXPECT_EQ(p.dst.at(0, 0), Argb(0x7F, 150, 150, 127));
    EXPECT_EQ(p.dst.at(3, 0), Argb(0x7F, 150, 150, 127));
}

TEST(AlphaBlend, ConstantAlphaZeroLeavesTheDestinationPlusBias)
{
    BlendPair p;
    p.Blend(bmConstantAlpha, 0, 0);
    EXPECT_EQ(p.dst.at(1, 0), Argb(0x7F, 100, 200, 255));
    p.Blend(bmConstantAlpha, 0, 10);
    EXPECT_EQ(p.dst.at(1, 0), Argb(0x7F, 110, 210, 255));   // blue limited to 255
}

TEST(AlphaBlend, ConstantAlpha255GivesAlmostTheSource)
{
    BlendPair p;
    p.Blend(bmConstantAlpha, 255, 0);
    // 100+floor(99.6)=199, 200+floor(-99.6)=100, 255+floor(-254.004)=0.
    EXPECT_EQ(p.dst.at(2, 0), Argb(0x7F, 199, 100, 0));
}

TEST(AlphaBlend, ConstantAlpha256GivesTheSourceExactly)
{
    BlendPair p;
    p.Blend(bmConstantAlpha, 256, 0);
    EXPECT_EQ(p.dst.at(2, 0), Argb(0x7F, 200, 100, 0));
    BlendPair q;
    q.Blend(bmConstantAlpha, 999, 0);   // taken as 256
    EXPECT_EQ(q.dst.at(2, 0), Argb(0x7F, 200, 100, 0));
}

TEST(AlphaBlend, BiasIsAddedAndLimited)
{
    BlendPair p;
    p.Blend(bmConstantAlpha, 128, -60);
    EXPECT_EQ(p.dst.at(0, 0), Argb(0x7F, 90, 90, 67));
    BlendPair q;
    q.Blend(bmConstantAlpha, 128, -200);
    EXPECT_EQ(q.dst.at(0, 0), Argb(0x7F, 0, 0, 0));
    BlendPair r;
    r.Blend(bmConstantAlpha, 128, 120);
    EXPECT_EQ(r.dst.at(0, 0), Argb(0x7F, 255, 255, 247));
}

TEST(AlphaBlend, PerPixelAlphaUsesEachSourcePixelsAlpha)
{
    BlendPair p;
    p.src.at(0, 0) = Argb(64, 200, 100, 0);
    p.src.at(1, 0) = Argb(0, 200, 100, 0);
    p.src.at(2, 0) = Argb(255, 200, 100, 0);
    p.src.at(3, 0) = Argb(64, 200, 100, 0);
    p.Blend(bmPerPixelAlpha, 7 /* not used */, 0, RECT{0, 0, 3, 1});
    // 100+25, 200-25, 255+floor(-63.75) = 191.
    EXPECT_EQ(p.dst.at(0, 0), Argb(0x7F, 125, 175, 191));
    EXPECT_EQ(p.dst.at(1, 0), Argb(0x7F, 100, 200, 255));
    EXPECT_EQ(p.dst.at(2, 0), Argb(0x7F, 199, 100, 0));
    EXPECT_EQ(p.dst.at(3, 0), Argb(0x7F, 100, 200, 255));   // outside the rectangle
    BlendPair q;
    q.src.Fill(Argb(64, 200, 100, 0));
    q.Blend(bmPerPixelAlpha, 0, 5);
    EXPECT_EQ(q.dst.at(0, 0), Argb(0x7F, 130, 180, 196));
}

TEST(AlphaBlend, MasterAlphaScalesTheSourceAlpha)
{
    BlendPair p(128);
    p.Blend(bmMasterAlpha, 128, 0);   // weight floor(128*128/256) = 64
    EXPECT_EQ(p.dst.at(0, 0), Argb(0x7F, 125, 175, 191));
    BlendPair q(200);
    q.Blend(bmMasterAlpha, 255, 0);   // weight floor(200*255/256) = 199
    // 100+floor(77.7)=177, 200+floor(-77.7)=122, 255+floor(-198.2)=56.
    EXPECT_EQ(q.dst.at(0, 0), Argb(0x7F, 177, 122, 56));
    BlendPair r(255);
    r.Blend(bmMasterAlpha, 0, 0);
    EXPECT_EQ(r.dst.at(0, 0), Argb(0x7F, 100, 200, 255));
}

TEST(AlphaBlend, MasterAlphaAndColourIgnoresTheSource)
{
    BlendPair p;
    p.Blend(bmConstantAlphaAndColor, 64, RGB(0, 0, 0));
    // floor(d*192/256): 75, 150, 191.
    EXPECT_EQ(p.dst.at(0, 0), Argb(0x7F, 75, 150, 191));
    BlendPair q;
    q.Blend(bmConstantAlphaAndColor, 128, RGB(255, 0, 128));
    // (100*128+255*128)/256 = 177.5, (200*128)/256 = 100, (255*128+128*128)/256 = 191.5.
    EXPECT_EQ(q.dst.at(1, 0), Argb(0x7F, 177, 100, 191));
}

TEST(AlphaBlend, RectangleAndTargetPickThePixels)
{
    BlendPair p;
    p.src.at(1, 0) = Argb(0, 10, 20, 30);
    p.Blend(bmConstantAlpha, 256, 0, RECT{1, 0, 2, 1}, POINT{3, 0});
    EXPECT_EQ(p.dst.at(3, 0), Argb(0x7F, 10, 20, 30));
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(p.dst.at(x, 0), Argb(0x7F, 100, 200, 255)) << x;
}

TEST(AlphaBlend, LogicalCoordinatesFollowTheWindowOrigin)
{
    BlendPair p;
    p.src.at(0, 0) = Argb(0, 1, 2, 3);
    SetWindowOrgEx(p.dst.dc(), 10, 0, nullptr);
    p.Blend(bmConstantAlpha, 256, 0, RECT{0, 0, 1, 1}, POINT{12, 0});
    SetWindowOrgEx(p.dst.dc(), 0, 0, nullptr);
    EXPECT_EQ(p.dst.at(2, 0), Argb(0x7F, 1, 2, 3));
    EXPECT_EQ(p.dst.at(0, 0), Argb(0x7F, 100, 200, 255));
}

TEST(AlphaBlend, PartsOutsideEitherBitmapAreLeftOut)
{
    BlendPair p;
    // Starts left of the source and runs past the destination's right edge.
    p.Blend(bmConstantAlpha, 256, 0, RECT{-2, 0, 10, 5}, POINT{1, 0});
    EXPECT_EQ(p.dst.at(0, 0), Argb(0x7F, 100, 200, 255));
    EXPECT_EQ(p.dst.at(1, 0), Argb(0x7F, 100, 200, 255));   // source column -2 is not there
    EXPECT_EQ(p.dst.at(3, 0), Argb(0x7F, 200, 100, 0));     // source column 0
}

TEST(AlphaBlend, RowsOfTopDownAndBottomUpSections)
{
    Pixels src(2, 3, 32, true), dst(2, 3);
    src.Fill(Argb(0, 0, 0, 0));
    dst.Fill(Argb(0, 1, 1, 1));
    src.at(0, 0) = Argb(0, 9, 8, 7);
    ASSERT_EQ(GetPixel(src.dc(), 0, 0), RGB(9, 8, 7));   // the test's own row order is right
    AlphaBlend(src.dc(), dst.dc(), RECT{0, 0, 1, 1}, POINT{1, 2}, bmConstantAlpha, 256, 0);
    EXPECT_EQ(dst.at(1, 2), Argb(0, 9, 8, 7));
    EXPECT_EQ(dst.at(1, 0), Argb(0, 1, 1, 1));
    EXPECT_EQ(GetPixel(dst.dc(), 1, 2), RGB(9, 8, 7));
    // And back into the bottom-up one, at its second row.
    AlphaBlend(dst.dc(), src.dc(), RECT{1, 2, 2, 3}, POINT{1, 1}, bmConstantAlpha, 256, 0);
    EXPECT_EQ(GetPixel(src.dc(), 1, 1), RGB(9, 8, 7));
    EXPECT_EQ(GetPixel(src.dc(), 1, 2), RGB(0, 0, 0));
}

TEST(AlphaBlend, EmptyRectangleDoesNothing)
{
    BlendPair p;
    p.Blend(bmConstantAlpha, 256, 50, RECT{2, 0, 2, 1});
    p.Blend(bmConstantAlpha, 256, 50, RECT{3, 1, 1, 0});
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(p.dst.at(x, 0), Argb(0x7F, 100, 200, 255));
}

TEST(AlphaBlend, DeviceDependentBitmapIsReadAndWrittenBack)
{
    HDC screen = GetDC(nullptr);
    if (GetDeviceCaps(screen, BITSPIXEL) != 32) {
        ReleaseDC(nullptr, screen);
        GTEST_SKIP() << "the screen is not 32 bits deep";
    }
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP ddb = CreateCompatibleBitmap(screen, 3, 1);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, ddb);
    for (int x = 0; x < 3; ++x)
        SetPixel(dc, x, 0, RGB(100, 200, 255));
    Pixels src(3, 1);
    src.Fill(Argb(0, 200, 100, 0));
    AlphaBlend(src.dc(), dc, RECT{0, 0, 1, 1}, POINT{1, 0}, bmConstantAlpha, 128, 0);
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(150, 150, 127));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(100, 200, 255));
    SelectObject(dc, old);
    DeleteObject(ddb);
    DeleteDC(dc);
}

TEST(AlphaBlend, OtherDepthsFailTheAssertion)
{
    Pixels deep(2, 1), shallow(2, 1, 24);
    try {
        AlphaBlend(shallow.dc(), deep.dc(), RECT{0, 0, 1, 1}, POINT{0, 0}, bmConstantAlpha, 1, 0);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_NE(std::string(e.what()).find("Alpha blending error: bitmap must use 32 bpp."), std::string::npos);
    }
    // A fresh memory DC holds the system's 1x1 monochrome bitmap.
    HDC plain = CreateCompatibleDC(nullptr);
    EXPECT_THROW(AlphaBlend(deep.dc(), plain, RECT{0, 0, 1, 1}, POINT{0, 0}, bmConstantAlpha, 1, 0),
                 EAssertionFailed);
    DeleteDC(plain);
}

// --- ShortenString ----------------------------------------------------------

class Shorten : public ::testing::Test {
protected:
    void SetUp() override
    {
        dc_ = CreateCompatibleDC(nullptr);
        font_ = CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
        old_ = SelectObject(dc_, font_);
    }
    void TearDown() override
    {
        SelectObject(dc_, old_);
        DeleteObject(font_);
        DeleteDC(dc_);
    }
    int Width(const std::wstring& s)
    {
        SIZE size = {};
        GetTextExtentPoint32W(dc_, s.c_str(), static_cast<int>(s.size()), &size);
        return size.cx;
    }
    HDC dc_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

TEST_F(Shorten, RoomForThreeLettersAndTheEllipsis)
{
    int ellipsis = Width(L"...");
    ASSERT_GT(ellipsis, 0);
    int room = Width(L"abc") + ellipsis;
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdef"), room), L"abc...");
    EXPECT_EQ(ShortenString(dc_, std::string("abcdef"), room), "abc...");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdef"), room - 1), L"ab...");
}

TEST_F(Shorten, NoRoomForTheEllipsisGivesNothing)
{
    int ellipsis = Width(L"...");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdef"), ellipsis), L"");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdef"), ellipsis - 1), L"");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdef"), ellipsis + 1), L"...");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdef"), 0), L"");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdef"), -5), L"");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L""), 500), L"");
}

TEST_F(Shorten, NeverAllOfTheText)
{
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdef"), 5000), L"abcde...");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"a"), 5000), L"...");
}

TEST_F(Shorten, GivenEllipsisWidthReplacesTheMeasuredOne)
{
    int room = Width(L"abcd") + 40;
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdefgh"), room, 40), L"abcd...");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdefgh"), 40, 40), L"");
}

TEST_F(Shorten, SurrogatePairStaysWhole)
{
    const std::wstring s = L"a\xD83D\xDE00" L"bc";   // a, U+1F600, b, c
    int ellipsis = Width(L"...");
    int withPair = Width(s.substr(0, 3)) + ellipsis;
    EXPECT_EQ(ShortenString(dc_, s, withPair), s.substr(0, 3) + L"...");
    EXPECT_EQ(ShortenString(dc_, s, withPair - 1), L"a...");
    // Whatever the room, the result is a beginning of the text that never
    // ends inside the pair.
    for (int width = 0; width <= Width(s) + ellipsis; ++width) {
        std::wstring r = ShortenString(dc_, s, width);
        if (r.empty())
            continue;
        ASSERT_GE(r.size(), 3u);
        std::wstring kept = r.substr(0, r.size() - 3);
        EXPECT_EQ(s.compare(0, kept.size(), kept), 0) << width;
        EXPECT_NE(kept.size(), 2u) << "cut between the halves of the pair at width " << width;
    }
    // The same in UTF-8.
    std::string u8 = "a\xF0\x9F\x98\x80" "bc";
    EXPECT_EQ(ShortenString(dc_, u8, withPair), "a\xF0\x9F\x98\x80...");
    EXPECT_EQ(ShortenString(dc_, u8, withPair - 1), "a...");
}

// --- Text drawing without the system's wide drawing ----------------------

TEST_F(Shorten, TextDrawingMeasuresLinesAtEveryBreak)
{
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc_, &tm);
    RECT r = {10, 20, 10, 20};
    int height = DrawTextNonNT(dc_, "ab\r\ncd\rlongest line\xE2\x80\xA8x\nend", r, DT_CALCRECT);
    EXPECT_EQ(height, 5 * tm.tmHeight);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.bottom, 20 + 5 * tm.tmHeight);
    EXPECT_EQ(r.right, 10 + Width(L"longest line"));
    RECT one = {0, 0, 0, 0};
    EXPECT_EQ(DrawTextNonNT(dc_, "ab\ncd", one, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
}

TEST(DrawTextNonNT, DrawsAlignedLinesAndStopsBelowTheRectangle)
{
    Pixels p(200, 60);
    p.Fill(Argb(0, 255, 255, 255));
    HFONT font = CreateFontW(-13, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    HGDIOBJ old = SelectObject(p.dc(), font);
    SetBkMode(p.dc(), TRANSPARENT);
    SetTextColor(p.dc(), RGB(0, 0, 0));
    TEXTMETRICW tm = {};
    GetTextMetricsW(p.dc(), &tm);
    // Room for one line only: the second one is not drawn at all.
    RECT r = {0, 0, 200, tm.tmHeight};
    DrawTextNonNT(p.dc(), "WWWW\nWWWW", r, DT_RIGHT | DT_NOCLIP);
    SelectObject(p.dc(), old);
    DeleteObject(font);

    auto inkIn = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if ((p.at(x, y) & 0xFFFFFF) != 0xFFFFFF)
                    return true;
        return false;
    };
    EXPECT_TRUE(inkIn(150, 200, 0, tm.tmHeight));           // right-aligned first line
    EXPECT_FALSE(inkIn(0, 100, 0, tm.tmHeight));
    EXPECT_FALSE(inkIn(0, 200, tm.tmHeight, 60));          // no second line
}

// --- Small helpers -------------------------------------------------------

TEST(OrderRect, SwapsReversedEdges)
{
    RECT r = OrderRect(RECT{10, 20, 0, 5});
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 20);
    RECT same = OrderRect(RECT{1, 2, 3, 4});
    EXPECT_EQ(same.left, 1);
    EXPECT_EQ(same.bottom, 4);
}

TEST(QuickSort, SortsTheRangeOnly)
{
    std::mt19937 random(7);
    std::vector<int32_t> values(1000);
    for (auto& v : values)
        v = static_cast<int32_t>(random() % 50) - 25;   // many equal values, negatives
    std::vector<int32_t> expected = values;
    std::sort(expected.begin() + 100, expected.begin() + 901);
    QuickSort(values.data(), 100, 900);
    EXPECT_EQ(values, expected);

    std::vector<int32_t> one = {5, 3};
    QuickSort(one.data(), 1, 1);
    QuickSort(one.data(), 1, 0);
    EXPECT_EQ(one, (std::vector<int32_t>{5, 3}));
    std::vector<int32_t> sorted(5000);
    for (int i = 0; i < 5000; ++i)
        sorted[i] = 5000 - i;
    QuickSort(sorted.data(), 0, 4999);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
}

TEST(TreeFromNode, WalksUpToTheHiddenRoot)
{
    // A hand-made chain: the root's NextSibling is itself, its Parent the tree.
    TVirtualNode root = {}, child = {}, grandchild = {};
    auto* tree = reinterpret_cast<TBaseVirtualTree*>(0x12340);
    root.NextSibling = &root;
    root.PrevSibling = &root;
    root.Parent = reinterpret_cast<PVirtualNode>(tree);
    child.Parent = &root;
    grandchild.Parent = &child;
    EXPECT_EQ(TreeFromNode(&grandchild), tree);
    EXPECT_EQ(TreeFromNode(&child), tree);
    EXPECT_EQ(TreeFromNode(&root), tree);
    try {
        TreeFromNode(nullptr);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_NE(std::string(e.what()).find("Node must not be nil."), std::string::npos);
    }
}

TEST(Processor, MMXSeam)
{
    EXPECT_TRUE(HasMMX());   // every processor that runs this program has it
    SetMMXAvailableForTesting(false);
    EXPECT_FALSE(MMXAvailable());
    ResetMMXAvailableForTesting();
    EXPECT_EQ(MMXAvailable(), HasMMX());
    EXPECT_TRUE(IsWinNT());
}

TEST(ShowError, RaisesTheTreeErrorWithItsHelpContext)
{
    try {
        ShowError("Cannot set initial user data because there is not enough user data space allocated.",
                  hcTFCannotSetUserData);
        FAIL();
    } catch (const EVirtualTreeError& e) {
        EXPECT_EQ(e.HelpContext(), 2008);
        EXPECT_STREQ(e.what(),
                     "Cannot set initial user data because there is not enough user data space allocated.");
    }
}

// --- Shared images and cursor ----------------------------------------------

// The colour of one pixel of an image of a list, drawn over magenta.
COLORREF ImagePixel(TCustomImageList& list, int index, int x, int y)
{
    Pixels p(list.Width(), list.Height());
    p.Fill(Argb(0, 255, 0, 255));
    ImageList_Draw(list.Handle(), index, p.dc(), 0, 0, ILD_NORMAL);
    uint32_t v = p.at(x, y);
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

TEST(SharedResources, CheckAndUtilityImages)
{
    InitializeGlobalStructures();
    for (int kind = 0; kind <= 5; ++kind) {
        TCustomImageList* list = CheckImages(kind);
        ASSERT_NE(list, nullptr) << kind;
        EXPECT_EQ(list->Count(), ckCheckImageCount) << kind;
        EXPECT_EQ(list->Width(), 16);
        EXPECT_EQ(list->Height(), 16);
        // Image 0 is empty: the mask lets the background through.
        EXPECT_EQ(ImagePixel(*list, ckEmpty, 8, 8), RGB(255, 0, 255)) << kind;
        // The corner of every picture is transparent, the box's middle is not.
        EXPECT_EQ(ImagePixel(*list, ckCheckUnchecked, 0, 0), RGB(255, 0, 255)) << kind;
        EXPECT_NE(ImagePixel(*list, ckCheckUnchecked, 7, 7), RGB(255, 0, 255)) << kind;
    }
    EXPECT_EQ(CheckImages(ckCustom), nullptr);
    EXPECT_EQ(CheckImages(9), nullptr);
    EXPECT_EQ(CheckImages(-1), nullptr);
    for (int kind : {7, 8}) {
        TCustomImageList* list = CheckImages(kind);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->Count(), ckCheckImageCount);
        EXPECT_EQ(list->Width(), GetSystemMetrics(SM_CXMENUCHECK) + 3);
        EXPECT_EQ(list->Height(), GetSystemMetrics(SM_CYMENUCHECK) + 3);
        // The system lists are opaque on white.
        EXPECT_EQ(ImagePixel(*list, ckEmpty, 0, 0), RGB(255, 255, 255));
    }
    TCustomImageList& utility = UtilityImages();
    EXPECT_EQ(utility.Count(), 9);
    EXPECT_EQ(utility.Width(), 16);
    // The XP hot bar: the middle piece's bottom rows are orange, its top is transparent.
    EXPECT_EQ(ImagePixel(utility, 7, 8, 14), RGB(248, 179, 48));
    EXPECT_EQ(ImagePixel(utility, 7, 8, 2), RGB(255, 0, 255));
    // The ascending glyph points up: more ink in its lower rows than its upper.
    EXPECT_NE(ImagePixel(utility, 3, 7, 5), RGB(255, 0, 255));
    EXPECT_EQ(ImagePixel(utility, 3, 3, 5), RGB(255, 0, 255));
    EXPECT_NE(ImagePixel(utility, 3, 3, 9), RGB(255, 0, 255));
}

TEST(SharedResources, CheckImageColoursFollowTheSystemColours)
{
    const int elements[3] = {COLOR_WINDOW, COLOR_BTNFACE, COLOR_BTNSHADOW};
    COLORREF saved[3], ours[3] = {RGB(1, 2, 3), RGB(4, 5, 6), RGB(7, 8, 9)};
    for (int i = 0; i < 3; ++i)
        saved[i] = GetSysColor(elements[i]);
    ASSERT_TRUE(SetSysColors(3, elements, ours));
    TCustomImageList light(nullptr), plain(nullptr);
    LoadBuiltInImages(light, "VT_CHECK_LIGHT", true);
    LoadBuiltInImages(plain, "VT_CHECK_LIGHT", false);
    SetSysColors(3, elements, saved);

    ASSERT_EQ(light.Count(), ckCheckImageCount);
    // Unticked box: white inside, a grey frame; pressed: silver inside.
    EXPECT_EQ(ImagePixel(light, ckCheckUnchecked, 7, 7), RGB(1, 2, 3));
    EXPECT_EQ(ImagePixel(light, ckCheckUnchecked, 1, 7), RGB(7, 8, 9));
    EXPECT_EQ(ImagePixel(light, ckCheckUnchecked + 2, 7, 7), RGB(4, 5, 6));
    EXPECT_EQ(ImagePixel(plain, ckCheckUnchecked, 7, 7), RGB(255, 255, 255));
    EXPECT_EQ(ImagePixel(plain, ckCheckUnchecked + 2, 7, 7), RGB(192, 192, 192));
    // The tick of a ticked box is black in both.
    EXPECT_EQ(ImagePixel(light, ckCheckChecked, 6, 9), RGB(0, 0, 0));
}

TEST(SharedResources, MissingImageFailsTheAssertion)
{
    TCustomImageList list(nullptr);
    try {
        LoadBuiltInImages(list, "VT_NO_SUCH_PICTURE", true);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_NE(std::string(e.what()).find("Internal image \"VT_NO_SUCH_PICTURE\" is missing or corrupt."),
                  std::string::npos);
    }
}

TEST(SharedResources, SplitCursorAndReferenceFormat)
{
    InitializeGlobalStructures();
    HCURSOR split = LoadCursorW(GetModuleHandleW(nullptr), L"VT_HEADERSPLIT");
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(ScreenCursor(crHeaderSplit), split);
    EXPECT_NE(CF_VTREFERENCE, 0u);
    wchar_t name[64] = {};
    GetClipboardFormatNameW(CF_VTREFERENCE, name, 64);
    EXPECT_STREQ(name, L"Sorvel Reference");
    // The panning pictures and cursors are there too.
    for (const wchar_t* n : {L"VT_MOVEALL", L"VT_MOVEEW", L"VT_MOVENS"}) {
        HBITMAP b = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), n, IMAGE_BITMAP, 0, 0, 0));
        EXPECT_NE(b, nullptr);
        DeleteObject(b);
        EXPECT_NE(LoadCursorW(GetModuleHandleW(nullptr), n), nullptr);
    }
    for (const wchar_t* n : {L"VT_MOVEN", L"VT_MOVES", L"VT_MOVEE", L"VT_MOVEW", L"VT_MOVENE", L"VT_MOVENW",
                             L"VT_MOVESE", L"VT_MOVESW"})
        EXPECT_NE(LoadCursorW(GetModuleHandleW(nullptr), n), nullptr) << WideToUtf8(n);
}

TEST(SharedResources, TheTreesClipboardFormatsInTheirOrder)
{
    TVirtualStringTree strings(nullptr);
    TVirtualDrawTree drawn(nullptr);
    std::vector<std::string> names;
    for (const TClipboardFormatEntry* e : TClipboardFormatList::EnumerateFormats(&strings))
        if (e->Priority <= 100)
            names.push_back(e->Description);
    EXPECT_EQ(names, (std::vector<std::string>{"Sorvel Data", "HTML Format", "Rich Text Format Without Objects",
                                               "Rich Text Format", "CSV", "Unicode text", "Plain text"}));
    const TClipboardFormatEntry* data = TClipboardFormatList::FindFormat("sorvel data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->Priority, 50u);
    EXPECT_EQ(data->FormatEtc.cfFormat, RegisterClipboardFormatW(L"Sorvel Data"));
    EXPECT_EQ(data->FormatEtc.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    names.clear();
    for (const TClipboardFormatEntry* e : TClipboardFormatList::EnumerateFormats(&drawn))
        if (e->Priority <= 100)
            names.push_back(e->Description);
    EXPECT_EQ(names, (std::vector<std::string>{"Sorvel Data"}));
    EXPECT_EQ(strings.ClipboardFormats().Add("CSV"), 0);
    EXPECT_EQ(drawn.ClipboardFormats().Add("CSV"), -1);
}

TEST(SharedResources, StartAgainAfterTheEnd)
{
    InitializeGlobalStructures();
    FinalizeGlobalStructures();
    InitializeGlobalStructures();
    ASSERT_NE(CheckImages(ckFlat), nullptr);
    EXPECT_EQ(CheckImages(ckFlat)->Count(), ckCheckImageCount);
    EXPECT_EQ(UtilityImages().Count(), 9);
}

TEST(SharedResources, TimerResolutionReferences)
{
    int before = TimerResolutionReferences();
    AcquireTimerResolution();
    AcquireTimerResolution();
    EXPECT_EQ(TimerResolutionReferences(), before + 2);
    ReleaseTimerResolution();
    ReleaseTimerResolution();
    EXPECT_EQ(TimerResolutionReferences(), before);
}

}  // namespace
