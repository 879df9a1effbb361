// Item viewers: sizes and pixels of menu rows and toolbar buttons, painted
// one viewer at a time onto memory bitmaps; hints and roles.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/ImageList.h"
#include "platform/Text.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBView.h"

namespace {

constexpr COLORREF kBack = RGB(0, 128, 128);   // no system colour is this
constexpr COLORREF kRed = RGB(255, 0, 0);

// A root item with a view over it (toolbar or menu), and items to put in it.
struct ViewFixture {
    std::unique_ptr<TComponent> owner = std::make_unique<TComponent>(nullptr);
    TTBRootItem* root = new TTBRootItem(owner.get());
    TCustomImageList* images = nullptr;
    TTBView* view = nullptr;

    TTBItem* Add(const std::string& caption)
    {
        auto* i = new TTBItem(owner.get());
        i->SetCaption(caption);
        root->Add(i);
        return i;
    }
    // A list with one red 16x16 image.
    void MakeImages()
    {
        images = new TCustomImageList(owner.get(), 16, 16);
        TBitmap red;
        red.SetSize(16, 16);
        red.Canvas().SetBrushColor(kRed);
        red.Canvas().FillRect(RECT{0, 0, 16, 16});
        ASSERT_EQ(0, images->Add(red));
    }
    // Made last, so it goes first.
    TTBView* MakeView(bool toolbar)
    {
        view = new TTBView(owner.get(), nullptr, root, nullptr, toolbar, false, false);
        return view;
    }
    TTBItemViewer* ViewerOf(TTBCustomItem* item)
    {
        TTBItemViewer* v = view->Find(item);
        EXPECT_NE(nullptr, v);
        return v;
    }
};

// The viewer's size measured with the menu font.
SIZE Measure(TTBItemViewer* v)
{
    TBitmap b;
    b.SetSize(4, 4);
    TCanvas& c = b.Canvas();
    c.Font().Assign(ToolbarSystemFont());
    int w = 0, h = 0;
    v->CalcSize(c, w, h);
    return SIZE{w, h};
}

// Paints the viewer onto a bitmap of its measured size (or `width` wide)
// filled with kBack, black text, no selection brush.
void Paint(TTBItemViewer* v, TBitmap& bmp, int width = 0, bool selected = false)
{
    SIZE s = Measure(v);
    if (width)
        s.cx = width;
    bmp.SetSize(s.cx, s.cy);
    TCanvas& c = bmp.Canvas();
    c.SetBrushColor(kBack);
    c.FillRect(RECT{0, 0, s.cx, s.cy});
    c.Font().Assign(ToolbarSystemFont());
    c.Font().SetColor(RGB(0, 0, 0));
    c.SetBrushColor(selected ? GetSysColor(COLOR_HIGHLIGHT) : CLR_NONE);
    v->Paint(c, RECT{0, 0, s.cx, s.cy}, selected, false, false);
}

// Columns [x0, x1) of the bitmap that hold a pixel of the colour.
struct InkSpan {
    int first = -1, last = -1, count = 0;
};
InkSpan Ink(TBitmap& b, RECT r, COLORREF color)
{
    InkSpan s;
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y)
            if (b.Pixel(x, y) == color) {
                if (s.first < 0)
                    s.first = x;
                s.last = x;
                ++s.count;
            }
    return s;
}
// Pixels that are not the background (text, antialiased or not).
InkSpan NotBack(TBitmap& b, RECT r)
{
    InkSpan s;
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y)
            if (b.Pixel(x, y) != kBack) {
                if (s.first < 0)
                    s.first = x;
                s.last = x;
                ++s.count;
                break;
            }
    return s;
}

int MenuFontTextWidth(const std::string& text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, ToolbarSystemFont().Handle());
    std::wstring w = Utf8ToWide(text);
    SIZE s{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &s);
    SelectObject(dc, old);
    DeleteDC(dc);
    return s.cx;
}

TEST(TBViewers, TextAfterATabIsRightAligned)
{
    ViewFixture f;
    auto* go = f.Add("Go\tF5");
    go->SetShortCut(ShortCut('Q', ssCtrl));   // the tab's text wins
    auto* stop = f.Add("Stop\tF5");
    auto* run = f.Add("Run\tCtrl+F5");
    auto* save = f.Add("Save");
    save->SetShortCut(ShortCut(VK_F5, ssShift));
    f.MakeView(false);
    const int width = 300;
    TBitmap bGo, bStop, bRun, bSave, bWide;
    Paint(f.ViewerOf(go), bGo, width);
    Paint(f.ViewerOf(stop), bStop, width);
    Paint(f.ViewerOf(run), bRun, width);
    Paint(f.ViewerOf(save), bSave, width);
    Paint(f.ViewerOf(go), bWide, width + 60);
    const int rowHeight = bGo.Height();
    RECT right{width / 2, 0, width, rowHeight};
    InkSpan sGo = NotBack(bGo, right), sStop = NotBack(bStop, right), sRun = NotBack(bRun, right),
            sSave = NotBack(bSave, right);
    ASSERT_GT(sGo.count, 0);
    // Texts end at one column (give or take the glyphs' overhang as Wine
    // renders them), a row's height before the right edge; longer ones
    // reach further left by their extra width.
    EXPECT_NEAR(sGo.last, sRun.last, 3);
    EXPECT_NEAR(sGo.last, sSave.last, 3);
    EXPECT_LE(sGo.last, width - rowHeight + 3);
    EXPECT_GE(sGo.last, width - rowHeight - 4);
    EXPECT_NEAR(sGo.first - sRun.first, MenuFontTextWidth("Ctrl+"), 1);
    EXPECT_NEAR(sGo.first - sSave.first, MenuFontTextWidth("Shift+"), 1);
    // "F5" from the tab, not the ShortCut's "Ctrl+Q": the same pixels as a
    // row without a ShortCut.
    EXPECT_EQ(sStop.first, sGo.first);
    EXPECT_EQ(sStop.last, sGo.last);
    // A wider row moves the shortcut text with its right edge; the caption stays.
    InkSpan sWide = NotBack(bWide, RECT{width / 2, 0, width + 60, rowHeight});
    EXPECT_EQ(sGo.last + 60, sWide.last);
    EXPECT_EQ(NotBack(bGo, RECT{0, 0, width / 2, rowHeight}).first,
              NotBack(bWide, RECT{0, 0, width / 2, rowHeight}).first);
    // The caption starts after the image column.
    InkSpan left = NotBack(bGo, RECT{0, 0, width / 2, rowHeight});
    EXPECT_GE(left.first, rowHeight);
    EXPECT_LT(left.first, rowHeight + 12);
    // The shortcut text widens the row by its width.
    EXPECT_EQ(Measure(f.ViewerOf(run)).cx - Measure(f.ViewerOf(go)).cx,
              MenuFontTextWidth("Run") - MenuFontTextWidth("Go") + MenuFontTextWidth("Ctrl+"));
}

TEST(TBViewers, CheckedMenuItemShowsACheckOrARadioMark)
{
    ViewFixture f;
    auto* check = f.Add("Check");
    auto* radio = f.Add("Radio");
    auto* plain = f.Add("Plain");
    check->SetChecked(true);
    radio->SetChecked(true);
    radio->SetRadioItem(true);
    f.MakeView(false);
    TBitmap bc, br, bp;
    Paint(f.ViewerOf(check), bc);
    Paint(f.ViewerOf(radio), br);
    Paint(f.ViewerOf(plain), bp);
    const int h = bc.Height();
    RECT column{0, 0, h, h};
    const COLORREF mark = GetSysColor(COLOR_BTNTEXT);
    EXPECT_EQ(0, Ink(bp, column, mark).count);
    // The column of a checked item is framed sunken: shadow along its top.
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), bc.Pixel(h / 2, 0));
    EXPECT_EQ(kBack, bp.Pixel(h / 2, 0));

    auto bounds = [&](TBitmap& b) {
        RECT r{h, h, -1, -1};
        int n = 0;
        for (int x = 0; x < h; ++x)
            for (int y = 0; y < h; ++y)
                if (b.Pixel(x, y) == mark) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                    ++n;
                }
        return std::make_pair(r, n);
    };
    auto [cr, cn] = bounds(bc);
    auto [rr, rn] = bounds(br);
    // A check: a thin V seven pixels wide and six high, near the middle.
    EXPECT_EQ(7, cr.right - cr.left);
    EXPECT_EQ(6, cr.bottom - cr.top);
    EXPECT_LT(cn, 7 * 6 / 2);
    EXPECT_NEAR((cr.left + cr.right) / 2, h / 2, 3);
    // A radio mark: a filled block five by five.
    EXPECT_EQ(5, rr.right - rr.left);
    EXPECT_EQ(5, rr.bottom - rr.top);
    EXPECT_GE(rn, 21);
    EXPECT_NEAR((rr.left + rr.right) / 2, h / 2, 3);
}

// A submenu's row ends in a plain arrow pointing right in the text colour,
// on the row's own background (as the menu bar's menus draw it).
TEST(TBViewers, ASubmenuRowShowsAPlainArrow)
{
    ViewFixture f;
    auto* sub = new TTBSubmenuItem(f.owner.get());
    sub->SetCaption("More");
    f.root->Add(sub);
    f.MakeView(false);
    TBitmap b;
    Paint(f.ViewerOf(sub), b, 200);
    const int w = GetSystemMetrics(SM_CXMENUCHECK);
    const RECT cell{200 - w, 0, 200, b.Height()};
    // Ink per column of the glyph's cell.
    std::vector<int> columns;
    for (int x = cell.left; x < cell.right; ++x) {
        int n = 0;
        for (int y = cell.top; y < cell.bottom; ++y)
            n += b.Pixel(x, y) == RGB(0, 0, 0);
        if (n > 0)
            columns.push_back(n);
    }
    ASSERT_GE(columns.size(), 2u);
    EXPECT_LE(columns.size(), static_cast<size_t>(w / 2));
    for (size_t i = 1; i < columns.size(); ++i)
        EXPECT_LT(columns[i], columns[i - 1]) << "column " << i;   // narrowing to a point on the right
    EXPECT_LE(columns.back(), 2);
    EXPECT_GT(Ink(b, cell, kBack).count, (cell.right - cell.left) * b.Height() / 2);
}

TEST(TBViewers, CheckedMenuItemWithAnImageShowsItInASunkenFrame)
{
    ViewFixture f;
    f.MakeImages();
    f.root->SetSubMenuImages(f.images);
    auto* on = f.Add("On");
    auto* off = f.Add("Off");
    on->SetImageIndex(0);
    off->SetImageIndex(0);
    on->SetChecked(true);
    f.MakeView(false);
    TBitmap bon, boff;
    Paint(f.ViewerOf(on), bon);
    Paint(f.ViewerOf(off), boff);
    const int h = bon.Height();
    ASSERT_GE(h, 16 + 3);
    RECT column{0, 0, h, h};
    InkSpan redOn = Ink(bon, column, kRed), redOff = Ink(boff, column, kRed);
    EXPECT_EQ(16 * 16, redOn.count);
    EXPECT_EQ(16 * 16, redOff.count);
    EXPECT_EQ(redOff.first + 1, redOn.first);   // pressed in by one pixel
    // No check mark beside the image.
    EXPECT_EQ(0, Ink(bon, column, GetSysColor(COLOR_BTNTEXT)).count);
    // Sunken: shadow at the top and left, highlight at the bottom and right.
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), bon.Pixel(h / 2, 0));
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), bon.Pixel(0, h / 2));
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), bon.Pixel(h / 2, h - 1));
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), bon.Pixel(h - 1, h / 2));
    EXPECT_EQ(kBack, boff.Pixel(h / 2, 0));
    EXPECT_EQ(kBack, boff.Pixel(h / 2, h - 1));
}

TEST(TBViewers, TextOnlyInMenusShowsTheImageOnTheToolbarOnly)
{
    for (bool toolbar : {true, false}) {
        SCOPED_TRACE(toolbar ? "toolbar" : "menu");
        ViewFixture f;
        f.MakeImages();
        f.root->SetSubMenuImages(f.images);
        auto* textOnlyInMenus = f.Add("Save");
        auto* textOnly = f.Add("Print");
        auto* plain = f.Add("Copy");
        textOnlyInMenus->SetImageIndex(0);
        textOnly->SetImageIndex(0);
        plain->SetImageIndex(0);
        textOnlyInMenus->SetDisplayMode(nbdmTextOnlyInMenus);
        textOnly->SetDisplayMode(nbdmTextOnly);
        f.MakeView(toolbar);
        TBitmap a, b, c;
        Paint(f.ViewerOf(textOnlyInMenus), a);
        Paint(f.ViewerOf(textOnly), b);
        Paint(f.ViewerOf(plain), c);
        auto red = [](TBitmap& bm) { return Ink(bm, RECT{0, 0, bm.Width(), bm.Height()}, kRed).count; };
        EXPECT_EQ(toolbar ? 256 : 0, red(a));
        EXPECT_EQ(0, red(b));
        EXPECT_EQ(256, red(c));
        if (toolbar) {
            // On the toolbar it is a picture button like a default one; text
            // only is its caption alone.
            EXPECT_EQ(6 + 16 + 1, Measure(f.ViewerOf(textOnlyInMenus)).cx);
            EXPECT_EQ(6 + 16 + 1, Measure(f.ViewerOf(plain)).cx);
            EXPECT_EQ(6 + 6 + MenuFontTextWidth("Print"), Measure(f.ViewerOf(textOnly)).cx);
            EXPECT_FALSE(f.ViewerOf(textOnlyInMenus)->CaptionShown());
        } else {
            // In a menu its caption shows.
            EXPECT_TRUE(f.ViewerOf(textOnlyInMenus)->CaptionShown());
            EXPECT_GT(NotBack(a, RECT{a.Height(), 0, a.Width(), a.Height()}).count, 0);
        }
    }
}

TEST(TBViewers, ToolbarSizes)
{
    ViewFixture f;
    f.MakeImages();
    f.root->SetSubMenuImages(f.images);
    auto* above = f.Add("");
    above->SetImageIndex(0);
    above->SetOptions(tboImageAboveCaption);
    auto* arrow = new TTBSubmenuItem(f.owner.get());
    arrow->SetCaption("More");
    arrow->SetOptions(tboDropdownArrow);
    f.root->Add(arrow);
    auto* combo = new TTBSubmenuItem(f.owner.get());
    combo->SetCaption("More");
    combo->SetDropdownCombo(true);
    f.root->Add(combo);
    auto* longCaption = f.Add("A rather long caption");
    auto* sep = new TTBSeparatorItem(f.owner.get());
    f.root->Add(sep);
    f.MakeView(true);
    // An empty caption above an image still takes a text line.
    SIZE s = Measure(f.ViewerOf(above));
    EXPECT_GE(s.cy, 6 + 16 + 8);
    EXPECT_EQ(16 + 7, s.cx);
    // A drop-down arrow adds 8, a split button 11.
    EXPECT_EQ(6 + 6 + MenuFontTextWidth("More") + 8, Measure(f.ViewerOf(arrow)).cx);
    EXPECT_EQ(6 + 6 + MenuFontTextWidth("More") + 11, Measure(f.ViewerOf(combo)).cx);
    EXPECT_EQ((SIZE{6, 6}).cx, Measure(f.ViewerOf(sep)).cx);
    // Vertical: the caption turns, unless the item says no rotation.
    f.view->SetOrientation(tbvoVertical);
    SIZE v = Measure(f.ViewerOf(longCaption));
    EXPECT_GT(v.cy, v.cx);
    EXPECT_TRUE(f.ViewerOf(longCaption)->IsRotated());
    longCaption->SetOptions(tboNoRotation);
    SIZE n = Measure(f.ViewerOf(longCaption));
    EXPECT_GT(n.cx, n.cy);
    EXPECT_FALSE(f.ViewerOf(above)->IsRotated());
}

TEST(TBViewers, HintsAndRoles)
{
    ViewFixture f;
    auto* save = f.Add("&Save");
    save->SetShortCut(ShortCut('S', ssCtrl));
    auto* open = f.Add("&Open");
    open->SetHint("Open a file|Opens a file from disk");
    auto* quiet = f.Add("&Quiet");
    quiet->SetOptions(tboNoAutoHint);
    auto* sub = new TTBSubmenuItem(f.owner.get());
    sub->SetCaption("&More");
    f.root->Add(sub);
    auto* sep = new TTBSeparatorItem(f.owner.get());
    f.root->Add(sep);
    f.MakeView(true);
    bool saved = Application().HintShortCuts;
    Application().HintShortCuts = true;
    EXPECT_EQ("Save (Ctrl+S)", f.ViewerOf(save)->GetHintText());
    Application().HintShortCuts = false;
    EXPECT_EQ("Save", f.ViewerOf(save)->GetHintText());
    Application().HintShortCuts = saved;
    EXPECT_EQ("Open a file", f.ViewerOf(open)->GetHintText());
    EXPECT_EQ("Opens a file from disk", f.ViewerOf(open)->GetLongHintText());
    EXPECT_EQ("", f.ViewerOf(quiet)->GetHintText());
    EXPECT_EQ("", f.ViewerOf(sub)->GetHintText());   // its caption shows
    EXPECT_EQ(43, f.ViewerOf(save)->GetAccRole());
    EXPECT_EQ(57, f.ViewerOf(sub)->GetAccRole());
    EXPECT_EQ(21, f.ViewerOf(sep)->GetAccRole());
    EXPECT_EQ(L"S", f.ViewerOf(save)->AccelChar());
}

TEST(TBViewers, AcceleratorsAndFirstLettersAreWholeCharacters)
{
    ViewFixture f;
    auto* file = f.Add("&Файл");          // "&Файл"
    auto* edit = f.Add("Правка");   // "Правка"
    auto* smile = f.Add("&😀 Smile");
    auto* amp = f.Add("&&Tom");
    f.MakeView(false);
    EXPECT_EQ(L"Ф", f.ViewerOf(file)->AccelChar());
    EXPECT_TRUE(SameAccelChar(L"ф", f.ViewerOf(file)->AccelChar()));   // typed in lower case
    EXPECT_EQ(L"", f.ViewerOf(edit)->AccelChar());
    EXPECT_TRUE(SameAccelChar(L"п", f.ViewerOf(edit)->FirstChar()));
    EXPECT_EQ(std::wstring(L"😀"), f.ViewerOf(smile)->AccelChar());   // both UTF-16 units
    EXPECT_EQ(2u, f.ViewerOf(smile)->AccelChar().size());
    EXPECT_EQ(L"", f.ViewerOf(amp)->AccelChar());
    EXPECT_EQ(L"&", f.ViewerOf(amp)->FirstChar());
}

}  // namespace
