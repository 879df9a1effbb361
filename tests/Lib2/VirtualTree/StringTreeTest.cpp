// The string tree in a real window: texts and the colours and fonts
// OnPaintText gives them (read back as pixels), shortening, static texts,
// cells spanning empty neighbours, cached widths, the caption chunk of the
// node stream; and the owner-draw tree's four events.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "Lib2/VirtualTree/StringTestSupport.h"
#include "platform/Graphics.h"
#include "platform/ImageList.h"
#include "platform/Stream.h"

using namespace vt_string_test;

TEST(VTStringTree, TextsHintsAndSearchGoThroughTheEvents)
{
    TVirtualStringTree tree(nullptr);
    tree.SetRootNodeCount(2);
    PVirtualNode n = tree.GetFirst();
    EXPECT_EQ(tree.Text(n, NoColumn), "Node");
    EXPECT_EQ(tree.GetText(n, NoColumn, ttStatic), "");
    EXPECT_THROW(tree.Text(nullptr, 0), EAssertionFailed);
    std::vector<std::string> log;
    tree.OnGetText = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex c, TVSTTextType t, std::string& s) {
        log.push_back(s + "/" + std::to_string(c) + "/" + std::to_string(t));
        s = "Row " + std::to_string(node->Index);
    };
    tree.OnNewText = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex c, const std::string& s) {
        log.push_back(std::to_string(node->Index) + ":" + std::to_string(c) + ":" + s);
    };
    tree.SetDefaultText("Item");
    EXPECT_EQ(tree.Text(n->NextSibling, 2), "Row 1");
    tree.SetText(n, 1, "neu");
    EXPECT_EQ(log, (std::vector<std::string>{"Item/2/0", "0:1:neu"}));
    // A tooltip is the cell text unless OnGetHint gives one.
    TVTTooltipLineBreakStyle style = hlbForceMultiLine;
    EXPECT_EQ(tree.DoGetNodeTooltip(n, 0, style), "Row 0");
    tree.OnGetHint = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVTTooltipLineBreakStyle& s, std::string& h) {
        s = hlbForceSingleLine;
        h = "hint";
    };
    EXPECT_EQ(tree.DoGetNodeTooltip(n, 0, style), "hint");
    EXPECT_EQ(style, hlbForceSingleLine);
    // The search matches the start of the text in any case.
    EXPECT_EQ(tree.DoIncrementalSearch(n, "rOW 0"), 0);
    EXPECT_EQ(tree.DoIncrementalSearch(n, "ow"), 1);
    EXPECT_EQ(tree.DoIncrementalSearch(n, "Row 0 and more"), 1);
}

TEST(VTStringTree, MainColumnWidthsAreCachedUntilTheirCauseChanges)
{
    TVirtualStringTree tree(nullptr);
    tree.Font().SetName("MS Sans Serif");
    tree.SetRootNodeCount(3);
    std::string text = "iiii";
    tree.OnGetText = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::string& s) { s = text; };
    PVirtualNode n = tree.GetFirst();
    const int narrow = tree.DoGetNodeWidth(n, NoColumn);
    EXPECT_EQ(narrow, 2 * tree.TextMargin() + tree.Canvas().TextWidth("iiii"));
    EXPECT_EQ(tree.CachedTextWidth(n), narrow);
    text = "WWWW";
    EXPECT_EQ(tree.DoGetNodeWidth(n, NoColumn), narrow) << "cached";
    tree.InvalidateNode(n);
    const int wide = tree.DoGetNodeWidth(n, NoColumn);
    EXPECT_GT(wide, narrow + 10);
    // A font change clears every cache; OnPaintText's bold counts.
    tree.DoGetNodeWidth(n->NextSibling, NoColumn);
    tree.OnPaintText = [](TBaseVirtualTree*, TCanvas& c, PVirtualNode, TColumnIndex, TVSTTextType) {
        c.Font().SetStyle(fsBold);
    };
    tree.Font().SetHeight(-16);
    EXPECT_EQ(tree.CachedTextWidth(n), 0);
    EXPECT_EQ(tree.CachedTextWidth(n->NextSibling), 0);
    EXPECT_EQ(tree.EllipsisWidth(), tree.Canvas().TextWidth("..."));
    TCanvas& canvas = tree.Canvas();
    canvas.Font().SetStyle(fsBold);
    const int bold = 2 * tree.TextMargin() + canvas.TextWidth("WWWW");
    EXPECT_GT(bold, wide);
    EXPECT_EQ(tree.DoGetNodeWidth(n, NoColumn), bold);
    text.clear();
    EXPECT_EQ(tree.DoGetNodeWidth(n->NextSibling->NextSibling, NoColumn), 2 * tree.TextMargin());
}

TEST_F(StringTreeWindow, OnPaintTextGivesEachRowItsColourAndFont)
{
    tree->SetRootNodeCount(4);
    tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::string& s) {
        s = "Mmmm Wwww";
    };
    tree->OnPaintText = [](TBaseVirtualTree*, TCanvas& c, PVirtualNode node, TColumnIndex, TVSTTextType) {
        if (node->Index == 1)
            c.Font().SetColor(RGB(220, 0, 0));
        if (node->Index == 2)
            c.Font().SetStyle(fsBold);
    };
    auto p = Capture();
    EXPECT_EQ(DrawnTexts(), std::vector<std::string>(4, "Mmmm Wwww"));
    const TInk plain = InkIn(*p, Row(0), IsDark);
    ASSERT_GT(plain.count, 40);
    EXPECT_EQ(InkIn(*p, Row(0), IsRed).count, 0);
    // The text starts TextMargin after the cell's margin.
    EXPECT_GE(plain.bounds.left, tree->Margin() + tree->TextMargin());
    EXPECT_LE(plain.bounds.left, tree->Margin() + tree->TextMargin() + 2);
    EXPECT_GT(InkIn(*p, Row(1), IsRed).count, plain.count / 2);
    EXPECT_EQ(InkIn(*p, Row(1), IsDark).count, 0);
    const TInk bold = InkIn(*p, Row(2), IsDark);
    EXPECT_GT(bold.count, plain.count * 5 / 4);
    EXPECT_GT(bold.bounds.right, plain.bounds.right);

    // Selected in the focused tree: the highlight text colour; disabled: DisabledColor.
    tree->SetFocus();
    tree->SetSelected(Node(0), true);
    tree->Colors().SetColor(TVTColors::DisabledColorIndex, RGB(0, 160, 0));
    tree->SetDisabled(Node(3), true);
    tree->OnPaintText = nullptr;
    p = Capture();
    const COLORREF hl = GetSysColor(COLOR_HIGHLIGHTTEXT);
    auto isHighlight = [&](uint32_t c) { return (c & 0xFFFFFF) == ((GetRValue(hl) << 16) | (GetGValue(hl) << 8) | GetBValue(hl)); };
    EXPECT_GT(InkIn(*p, Row(0, 0, 100), isHighlight).count, 20);
    EXPECT_GT(InkIn(*p, Row(3), IsGreen).count, plain.count / 2);
    EXPECT_EQ(InkIn(*p, Row(3), IsDark).count, 0);
}

TEST_F(StringTreeWindow, LongTextsAreShortenedToTheirColumn)
{
    AddColumns({90, 120});
    tree->SetRootNodeCount(2);
    const std::string alphabet = "Abcdefghijklmnopqrstuvwxyz";
    tree->OnGetText = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex c, TVSTTextType, std::string& s) {
        s = c == 0 ? alphabet : "";
    };
    std::vector<int> spaces;
    tree->OnShortenString = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode node, TColumnIndex, const std::string& s,
                                int space, std::string& result, bool& done) {
        spaces.push_back(space);
        done = node->Index == 1;   // the application shortens the second row itself
        result = s.substr(0, 3) + "~";
    };
    auto p = Capture();
    const int space = 90 - tree->Margin() - 2 * tree->TextMargin();
    EXPECT_EQ(spaces, (std::vector<int>{space, space}));
    ASSERT_EQ(DrawnTexts().size(), 2u);
    // The longest prefix that fits with the ellipsis.
    const std::string first = tree->drawn[0].first;
    const std::string prefix = first.substr(0, first.size() - 3);
    EXPECT_EQ(first, prefix + "...");
    EXPECT_EQ(prefix, alphabet.substr(0, prefix.size()));
    EXPECT_LE(tree->Canvas().TextWidth(first), space);
    EXPECT_GT(tree->Canvas().TextWidth(alphabet.substr(0, prefix.size() + 1) + "..."), space);
    EXPECT_EQ(tree->drawn[1].first, "Abc~");
    const TInk ink = InkIn(*p, Row(0), IsDark);
    EXPECT_GT(ink.count, 30);
    EXPECT_LE(ink.bounds.right, 90 - tree->TextMargin());
}

// Fitting a column makes it exactly as wide as its widest cell needs: the
// text shows whole, one pixel less and it is shortened.
TEST_F(StringTreeWindow, FittedColumnsShowTheirWidestTextWholeAndNoMore)
{
    AddColumns({40, 40});
    tree->TreeOptions().SetPaintOptions(toHideFocusRect | toShowRoot | toShowVertGridLines);
    TImageList images(nullptr, 16, 16);
    TBitmap picture;
    picture.SetSize(16, 16);
    images.Add(picture);
    tree->SetImages(&images);
    tree->OnGetImageIndex = [](TBaseVirtualTree*, PVirtualNode node, TVTImageKind kind, TColumnIndex column, bool&,
                               int& index) {
        if (kind == ikNormal && column == 0 && node->Parent->Parent)
            index = 0;
    };
    tree->SetRootNodeCount(2);
    tree->SetChildCountOf(Node(0), 1);
    tree->SetExpanded(Node(0), true);
    tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex c, TVSTTextType, std::string& s) {
        s = c == 1 ? "Wide Wwwww" : node->Parent->Parent ? "A child's text" : "Top";
    };
    std::vector<TColumnIndex> shortened;
    tree->OnShortenString = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode, TColumnIndex c, const std::string& s,
                                int, std::string& result, bool&) {
        shortened.push_back(c);
        result = s;
    };
    TVirtualTreeColumns& columns = tree->Header().Columns();
    tree->Header().AutoFitColumns(false);
    EXPECT_EQ(columns[0]->Width(), tree->MaxColumnWidth(0));
    Capture();
    EXPECT_TRUE(shortened.empty());
    for (TColumnIndex c : {0, 1}) {
        columns[c]->SetWidth(columns[c]->Width() - 1);
        Capture();
        EXPECT_EQ(std::set<TColumnIndex>(shortened.begin(), shortened.end()), std::set<TColumnIndex>{c});
        shortened.clear();
        columns[c]->SetWidth(columns[c]->Width() + 1);
    }
}

TEST_F(StringTreeWindow, StaticTextFollowsTheNormalTextOnlyWhenShown)
{
    tree->SetRootNodeCount(1);
    int staticAsked = 0;
    tree->OnGetText = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType t, std::string& s) {
        staticAsked += t == ttStatic;
        s = t == ttStatic ? "(12)" : "Mail";
    };
    tree->OnPaintText = [](TBaseVirtualTree*, TCanvas& c, PVirtualNode, TColumnIndex, TVSTTextType t) {
        if (t == ttStatic)
            c.Font().SetColor(RGB(0, 150, 0));
    };
    auto p = Capture();
    EXPECT_EQ(staticAsked, 0);
    EXPECT_EQ(InkIn(*p, Row(0), IsGreen).count, 0);
    tree->TreeOptions().SetStringOptions(tree->TreeOptions().StringOptions() | toShowStaticText);
    p = Capture();
    EXPECT_EQ(DrawnTexts(), (std::vector<std::string>{"Mail", "(12)"}));
    const TInk normal = InkIn(*p, Row(0), IsDark);
    const TInk extra = InkIn(*p, Row(0), IsGreen);
    ASSERT_GT(extra.count, 10);
    const int normalEnd = tree->Margin() + tree->TextMargin() + tree->Canvas().TextWidth("Mail");
    EXPECT_EQ(tree->drawn[1].second.left, normalEnd + tree->TextMargin());
    EXPECT_GE(extra.bounds.left, normal.bounds.right + tree->TextMargin() - 1);
}

TEST_F(StringTreeWindow, CellsSpanFollowingEmptyColumnsWithAutoSpan)
{
    AddColumns({70, 70, 70, 70});
    tree->SetRootNodeCount(1);
    tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex c, TVSTTextType, std::string& s) {
        s = c == 0 ? "Wwwwwwwwwwwwwwwwwwwwwwwwwwwwwww" : c == 3 ? "Z" : "";
    };
    auto p = Capture();
    EXPECT_LE(InkIn(*p, Row(0, 0, 140), IsDark).bounds.right, 70);
    const size_t shortLength = tree->drawn.at(0).first.size();

    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoSpanColumns);
    p = Capture();
    // Over the two empty columns, up to the one with a text.
    const TInk spanned = InkIn(*p, Row(0, 0, 210), IsDark);
    EXPECT_GT(spanned.bounds.right, 140);
    EXPECT_LE(spanned.bounds.right, 210 - tree->TextMargin());
    ASSERT_EQ(DrawnTexts().size(), 2u);
    EXPECT_GT(tree->drawn[0].first.size(), shortLength + 5);
    EXPECT_EQ(tree->drawn[1].first, "Z");
    // A right-to-left cell does not span.
    tree->Header().Columns()[0]->SetBiDiMode(bdRightToLeft);
    p = Capture();
    EXPECT_LE(tree->drawn.at(0).first.size(), shortLength + 1);
}

TEST(VTStringTree, CaptionsTravelInTheNodeStream)
{
    TVirtualStringTree source(nullptr);
    source.SetRootNodeCount(2);
    source.OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::string& s) {
        s = node->Index == 0 ? "Zähler" : "";
    };
    TMemoryStream stream;
    source.SaveNodesToStream(stream);
    const std::vector<uint8_t>& bytes = stream.Bytes();
    // One caption chunk: type 3, 12 bytes of UTF-16; the empty caption writes none.
    const uint8_t chunk[] = {3, 0, 0, 0, 12, 0, 0, 0, 'Z', 0, 0xE4, 0, 'h', 0, 'l', 0, 'e', 0, 'r', 0};
    int found = 0;
    for (size_t i = 0; i + sizeof chunk <= bytes.size(); ++i)
        found += std::memcmp(bytes.data() + i, chunk, sizeof chunk) == 0;
    EXPECT_EQ(found, 1);

    TVirtualStringTree target(nullptr);
    std::vector<std::string> loaded;
    target.OnNewText = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex c, const std::string& s) {
        loaded.push_back(std::to_string(node->Index) + "/" + std::to_string(c) + "/" + s);
    };
    stream.SetPosition(0);
    target.LoadNodesFromStream(stream);
    EXPECT_EQ(target.RootNodeCount(), 2u);
    EXPECT_EQ(loaded, (std::vector<std::string>{"0/-1/Zähler"}));
    // Without toSaveCaptions nothing is written.
    source.TreeOptions().SetStringOptions(0);
    TMemoryStream bare;
    source.SaveNodesToStream(bare);
    EXPECT_EQ(bare.Bytes().size(), bytes.size() - sizeof chunk);
}

TEST_F(StringTreeWindow, TheOwnerDrawTreePaintsMeasuresAndHintsThroughItsEvents)
{
    tree->Hide();
    TVirtualDrawTree* draw = new TVirtualDrawTree(form);
    draw->SetBounds(5, 5, 360, 220);
    draw->SetParent(form);
    draw->TreeOptions().SetPaintOptions(toHideFocusRect);
    draw->SetRootNodeCount(3);
    std::vector<int> painted;
    draw->OnDrawNode = [&](TBaseVirtualTree*, const TVTPaintInfo& info) {
        painted.push_back(static_cast<int>(info.Node->Index));
        info.Canvas->SetBrushColor(info.Node->Index == 1 ? RGB(0, 0, 255) : RGB(255, 255, 255));
        info.Canvas->FillRect(RECT{info.ContentRect.left, info.ContentRect.top, info.ContentRect.left + 40,
                                   info.ContentRect.bottom});
    };
    int widthStart = -1;
    draw->OnGetNodeWidth = [&](TBaseVirtualTree*, TCanvas* canvas, PVirtualNode node, TColumnIndex, int& w) {
        widthStart = canvas ? w : -2;
        w += 10 * static_cast<int>(node->Index);
    };
    draw->OnGetHintSize = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, RECT& r) { r.right = r.left + 33; };
    int hintsDrawn = 0;
    draw->OnDrawHint = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode, const RECT&, TColumnIndex) { ++hintsDrawn; };
    RedrawWindow(draw->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(painted, (std::vector<int>{0, 1, 2}));
    HDC dc = GetDC(draw->Handle());
    const int h = draw->GetFirstNoInit()->NodeHeight;
    EXPECT_EQ(GetPixel(dc, draw->Margin() + 20, h + h / 2), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, draw->Margin() + 20, h / 2), RGB(255, 255, 255));
    ReleaseDC(draw->Handle(), dc);
    EXPECT_EQ(draw->DoGetNodeWidth(draw->GetFirstNoInit()->NextSibling->NextSibling, NoColumn),
              2 * draw->TextMargin() + 20);
    EXPECT_EQ(widthStart, 2 * draw->TextMargin());
    RECT r{5, 0, 0, 0};
    draw->DoGetHintSize(draw->GetFirstNoInit(), NoColumn, r);
    EXPECT_EQ(r.right, 38);
    draw->DoDrawHint(draw->Canvas(), draw->GetFirstNoInit(), r, NoColumn);
    EXPECT_EQ(hintsDrawn, 1);
}
