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
#include "UtilTestSupport.h"

namespace {

using namespace vt_test;

// Source (200, 100, 0) with its own alpha over destination (100, 200, 255)
// whose fourth byte is 0x7F. Expected values worked out by hand with
// d + floor((s - d) * a / 256) + bias, limited to 0..255.
struct BlendCase {
    const char* what;
    TBlendMode mode;
    int alpha, bias, sourceAlpha;
    uint32_t expected;
};

TEST(AlphaBlend, EveryModeWithHandWorkedPixels)
{
    const BlendCase cases[] = {
        {"half: rounds down below zero too", bmConstantAlpha, 128, 0, 0, Argb(0x7F, 150, 150, 127)},
        {"alpha 0 keeps the destination", bmConstantAlpha, 0, 0, 0, Argb(0x7F, 100, 200, 255)},
        {"alpha 0 plus bias, limited", bmConstantAlpha, 0, 10, 0, Argb(0x7F, 110, 210, 255)},
        {"alpha 255 is almost the source", bmConstantAlpha, 255, 0, 0, Argb(0x7F, 199, 100, 0)},
        {"alpha 256 is the source", bmConstantAlpha, 256, 0, 0, Argb(0x7F, 200, 100, 0)},
        {"alpha above 256 is 256", bmConstantAlpha, 999, 0, 0, Argb(0x7F, 200, 100, 0)},
        {"negative bias", bmConstantAlpha, 128, -60, 0, Argb(0x7F, 90, 90, 67)},
        {"bias limited at 0", bmConstantAlpha, 128, -200, 0, Argb(0x7F, 0, 0, 0)},
        {"bias limited at 255", bmConstantAlpha, 128, 120, 0, Argb(0x7F, 255, 255, 247)},
        {"per pixel 64", bmPerPixelAlpha, 7, 0, 64, Argb(0x7F, 125, 175, 191)},
        {"per pixel 0", bmPerPixelAlpha, 255, 0, 0, Argb(0x7F, 100, 200, 255)},
        {"per pixel 255", bmPerPixelAlpha, 0, 0, 255, Argb(0x7F, 199, 100, 0)},
        {"per pixel with bias", bmPerPixelAlpha, 0, 5, 64, Argb(0x7F, 130, 180, 196)},
        {"master 128 of 128 is 64", bmMasterAlpha, 128, 0, 128, Argb(0x7F, 125, 175, 191)},
        {"master 255 of 200 is 199", bmMasterAlpha, 255, 0, 200, Argb(0x7F, 177, 122, 56)},
        {"master 0", bmMasterAlpha, 0, 0, 255, Argb(0x7F, 100, 200, 255)},
        {"black at 64", bmConstantAlphaAndColor, 64, RGB(0, 0, 0), 255, Argb(0x7F, 75, 150, 191)},
        {"a colour at 128", bmConstantAlphaAndColor, 128, RGB(255, 0, 128), 0, Argb(0x7F, 177, 100, 191)},
    };
    for (const BlendCase& c : cases) {
        SCOPED_TRACE(c.what);
        Pixels src(3, 2), dst(3, 2);
        src.Fill(Argb(c.sourceAlpha, 200, 100, 0));
        dst.Fill(Argb(0x7F, 100, 200, 255));
        AlphaBlend(src.dc(), dst.dc(), RECT{0, 0, 2, 2}, POINT{0, 0}, c.mode, c.alpha, c.bias);
        EXPECT_EQ(dst.at(0, 0), c.expected);
        EXPECT_EQ(dst.at(1, 1), c.expected);
        EXPECT_EQ(dst.at(2, 0), Argb(0x7F, 100, 200, 255));   // right of the rectangle
    }
}

TEST(AlphaBlend, RectangleTargetOriginAndClipping)
{
    Pixels src(4, 1), dst(4, 1);
    src.Fill(Argb(0, 200, 100, 0));
    src.at(1, 0) = Argb(0, 10, 20, 30);
    const uint32_t untouched = Argb(0x7F, 100, 200, 255);
    dst.Fill(untouched);
    AlphaBlend(src.dc(), dst.dc(), RECT{1, 0, 2, 1}, POINT{3, 0}, bmConstantAlpha, 256, 0);
    EXPECT_EQ(dst.at(3, 0), Argb(0x7F, 10, 20, 30));
    EXPECT_EQ(dst.at(1, 0), untouched);
    // Logical coordinates: the destination's window origin counts.
    dst.Fill(untouched);
    SetWindowOrgEx(dst.dc(), 10, 0, nullptr);
    AlphaBlend(src.dc(), dst.dc(), RECT{1, 0, 2, 1}, POINT{12, 0}, bmConstantAlpha, 256, 0);
    SetWindowOrgEx(dst.dc(), 0, 0, nullptr);
    EXPECT_EQ(dst.at(2, 0), Argb(0x7F, 10, 20, 30));
    // What lies outside either bitmap is left out; empty rectangles do nothing.
    dst.Fill(untouched);
    AlphaBlend(src.dc(), dst.dc(), RECT{-2, 0, 10, 5}, POINT{1, 0}, bmConstantAlpha, 256, 0);
    EXPECT_EQ(dst.at(1, 0), untouched);                     // source column -2 is not there
    EXPECT_EQ(dst.at(3, 0), Argb(0x7F, 200, 100, 0));     // source column 0
    dst.Fill(untouched);
    AlphaBlend(src.dc(), dst.dc(), RECT{2, 0, 2, 1}, POINT{0, 0}, bmConstantAlpha, 256, 50);
    AlphaBlend(src.dc(), dst.dc(), RECT{3, 1, 1, 0}, POINT{0, 0}, bmConstantAlpha, 256, 50);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(dst.at(x, 0), untouched);
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
    AlphaBlend(dst.dc(), src.dc(), RECT{1, 2, 2, 3}, POINT{1, 1}, bmConstantAlpha, 256, 0);
    EXPECT_EQ(GetPixel(src.dc(), 1, 1), RGB(9, 8, 7));
    EXPECT_EQ(GetPixel(src.dc(), 1, 2), RGB(0, 0, 0));
}

TEST(AlphaBlend, DeviceDependentBitmapAndOtherDepths)
{
    HDC screen = GetDC(nullptr);
    const bool deepScreen = GetDeviceCaps(screen, BITSPIXEL) == 32;
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP ddb = CreateCompatibleBitmap(screen, 3, 1);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, ddb);
    Pixels src(3, 1);
    src.Fill(Argb(0, 200, 100, 0));
    if (deepScreen) {
        for (int x = 0; x < 3; ++x)
            SetPixel(dc, x, 0, RGB(100, 200, 255));
        AlphaBlend(src.dc(), dc, RECT{0, 0, 1, 1}, POINT{1, 0}, bmConstantAlpha, 128, 0);
        EXPECT_EQ(GetPixel(dc, 1, 0), RGB(150, 150, 127));
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(100, 200, 255));
    }
    SelectObject(dc, old);
    DeleteObject(ddb);
    DeleteDC(dc);

    Pixels shallow(2, 1, 24);
    try {
        AlphaBlend(shallow.dc(), src.dc(), RECT{0, 0, 1, 1}, POINT{0, 0}, bmConstantAlpha, 1, 0);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_NE(std::string(e.what()).find("Alpha blending error: bitmap must use 32 bpp."), std::string::npos);
    }
    // A fresh memory DC holds the system's 1x1 monochrome bitmap.
    HDC plain = CreateCompatibleDC(nullptr);
    EXPECT_THROW(AlphaBlend(src.dc(), plain, RECT{0, 0, 1, 1}, POINT{0, 0}, bmConstantAlpha, 1, 0),
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

TEST_F(Shorten, EllipsisWidthsAndLimits)
{
    const std::wstring word = L"abcdef";
    int ellipsis = Width(L"...");
    ASSERT_GT(ellipsis, 0);
    // Room for three letters and the ellipsis; one pixel less: two.
    int room = Width(L"abc") + ellipsis;
    EXPECT_EQ(ShortenString(dc_, word, room), L"abc...");
    EXPECT_EQ(ShortenString(dc_, std::string("abcdef"), room), "abc...");
    EXPECT_EQ(ShortenString(dc_, word, room - 1), L"ab...");
    // No more room than the ellipsis: nothing; one pixel more: the ellipsis alone.
    EXPECT_EQ(ShortenString(dc_, word, ellipsis), L"");
    EXPECT_EQ(ShortenString(dc_, word, ellipsis + 1), L"...");
    EXPECT_EQ(ShortenString(dc_, word, 0), L"");
    EXPECT_EQ(ShortenString(dc_, word, -5), L"");
    EXPECT_EQ(ShortenString(dc_, std::wstring(), 500), L"");
    // Never all of the text, however wide the room.
    EXPECT_EQ(ShortenString(dc_, word, 5000), L"abcde...");
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"a"), 5000), L"...");
    // A given ellipsis width stands for the measured one.
    EXPECT_EQ(ShortenString(dc_, std::wstring(L"abcdefgh"), Width(L"abcd") + 40, 40), L"abcd...");
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

TEST(SmallHelpers, OrderRectProcessorAndError)
{
    RECT r = OrderRect(RECT{10, 20, 0, 5});
    EXPECT_TRUE(r.left == 0 && r.top == 5 && r.right == 10 && r.bottom == 20);
    EXPECT_TRUE(HasMMX());   // every processor that runs this program has it
    SetMMXAvailableForTesting(false);
    EXPECT_FALSE(MMXAvailable());
    ResetMMXAvailableForTesting();
    EXPECT_EQ(MMXAvailable(), HasMMX());
    try {
        ShowError("no room", hcTFCannotSetUserData);
        FAIL();
    } catch (const EVirtualTreeError& e) {
        EXPECT_EQ(e.HelpContext(), 2008);
        EXPECT_STREQ(e.what(), "no room");
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
    try {
        LoadBuiltInImages(plain, "VT_NO_SUCH_PICTURE", true);
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

}  // namespace
