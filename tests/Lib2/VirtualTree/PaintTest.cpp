// Painting of the list control read back as pixels: rows built by the erase
// and paint events, full-row and multiple selection, the focus rectangle,
// grid lines, buttons and tree lines, the background picture, hidden rows,
// long lists painted from the middle, the window's own paint, print and
// non-client paths, and the canvas pieces painting uses.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VTDragImage.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/ThemeSrv.h"
#include "platform/Form.h"
#include "platform/ImageList.h"
#include "platform/StdCtrls.h"
#include "support/TestSupport.h"
#include "UtilTestSupport.h"

using namespace testing_support;

namespace {


constexpr COLORREF kBack = RGB(240, 240, 255);
constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 160);
constexpr COLORREF kGrey = RGB(150, 150, 150);
constexpr COLORREF kGreen = RGB(0, 150, 0);

// A memory picture with its own DC, read with GetPixel.
class Shot {
public:
    Shot(int w, int h, COLORREF fill = RGB(1, 2, 3)) : w_(w), h_(h)
    {
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        HBRUSH b = CreateSolidBrush(fill);
        RECT r{0, 0, w, h};
        FillRect(dc_, &r, b);
        DeleteObject(b);
    }
    ~Shot()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Shot(const Shot&) = delete;
    Shot& operator=(const Shot&) = delete;
    HDC dc() const { return dc_; }
    COLORREF at(int x, int y) const
    {
        GdiFlush();
        return GetPixel(dc_, x, y);
    }
    // How many pixels of a line (inclusive ends) have the colour.
    int CountRow(int y, int x0, int x1, COLORREF c) const
    {
        int n = 0;
        for (int x = x0; x <= x1; ++x)
            n += at(x, y) == c;
        return n;
    }
    int CountColumn(int x, int y0, int y1, COLORREF c) const
    {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            n += at(x, y) == c;
        return n;
    }

private:
    int w_, h_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

// A visible form with a string tree that paints no texts (rows, lines and
// selection only), its colours set apart from the system's.
class TreePaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        form = new TForm(nullptr);
        form->SetBounds(30, 30, 440, 340);
        tree = new TVirtualStringTree(form);
        tree->SetBounds(0, 0, 320, 240);
        tree->SetParent(form);
        tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, std::string& text) {
            text.clear();
        };
        tree->SetColor(kBack);
        tree->Colors().SetColor(TVTColors::FocusedSelectionColorIndex, kBlue);
        tree->Colors().SetColor(TVTColors::FocusedSelectionBorderColorIndex, kBlue);
        tree->Colors().SetColor(TVTColors::UnfocusedSelectionColorIndex, kGrey);
        tree->Colors().SetColor(TVTColors::UnfocusedSelectionBorderColorIndex, kGrey);
        edit = new TEdit(form);
        edit->SetBounds(330, 10, 80, 20);
        edit->SetParent(form);
        form->Show();
        tree->HandleNeeded();
        Pump(20);
    }
    void TearDown() override { delete form; }

    void AddColumns(int count, int width)
    {
        for (int i = 0; i < count; ++i)
            tree->Header().Columns().Add()->SetWidth(width);
    }
    // The client area as PaintTreeArea draws it into memory.
    std::unique_ptr<Shot> Paint(TPaintRequestOptions options = WindowPaintOptions)
    {
        const RECT client = tree->ClientRect();
        auto shot = std::make_unique<Shot>(client.right, client.bottom);
        TCanvas canvas(shot->dc());
        RECT window = client;
        OffsetRect(&window, -tree->OffsetX(), -tree->OffsetY());
        tree->PaintTreeArea(canvas, window, POINT{0, 0}, options);
        return shot;
    }
    // The client area as the window painted itself on the screen.
    std::unique_ptr<Shot> WindowShot()
    {
        const RECT client = tree->ClientRect();
        RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump(20);
        auto shot = std::make_unique<Shot>(client.right, client.bottom);
        HDC dc = GetDC(tree->Handle());
        BitBlt(shot->dc(), 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
        ReleaseDC(tree->Handle(), dc);
        return shot;
    }
    void ColourRowsByIndex(int modulo, std::vector<COLORREF> colours)
    {
        tree->OnBeforeItemErase = [=](TBaseVirtualTree*, TCanvas&, PVirtualNode node, const RECT&, COLORREF& c,
                                      TItemEraseAction& action) {
            c = colours[node->Index % static_cast<unsigned>(modulo)];
            action = eaFillColor;
        };
    }

    TForm* form = nullptr;
    TVirtualStringTree* tree = nullptr;
    TEdit* edit = nullptr;
};

// ---------------------------------------------------------------------------
// Rows and events

TEST_F(TreePaint, RowsTakeTheEraseEventsColourAndTheAreaBelowTheTreeColour)
{
    tree->SetRootNodeCount(5);
    std::vector<RECT> itemRects;
    tree->OnBeforeItemErase = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode node, const RECT& r, COLORREF& c,
                                  TItemEraseAction& action) {
        itemRects.push_back(r);
        if (node->Index % 2) {
            c = kRed;
            action = eaFillColor;
        }
    };
    int afterErase = 0;
    tree->OnAfterItemErase = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode, const RECT&) { ++afterErase; };
    auto shot = Paint();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(shot->at(150, i * 18 + 9), i % 2 ? kRed : kBack) << "row " << i;
    EXPECT_EQ(shot->at(150, 5 * 18 + 1), kBack);
    EXPECT_EQ(shot->at(150, 200), kBack);
    ASSERT_EQ(itemRects.size(), 5u);
    EXPECT_EQ(afterErase, 5);
    EXPECT_EQ(itemRects[0].top, 0);
    EXPECT_EQ(itemRects[0].bottom, 18);
}

TEST_F(TreePaint, CellEventsGetTheirCellAndDrawWhereTheCellIs)
{
    AddColumns(3, 80);
    tree->SetRootNodeCount(3);
    std::vector<std::pair<TColumnIndex, RECT>> cells;
    tree->OnAfterCellPaint = [&](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                                 const RECT& r) {
        cells.push_back({column, r});
        if (node->Index == 1 && column == 2) {
            // A mark in the cell's middle, in the cell's own coordinates.
            canvas.SetBrushColor(kGreen);
            canvas.FillRect(RECT{r.left + 30, 4, r.left + 40, 14});
        }
    };
    auto shot = Paint();
    ASSERT_EQ(cells.size(), 9u);
    EXPECT_EQ(cells[4].first, 1);
    EXPECT_EQ(cells[4].second.left, 80);
    EXPECT_EQ(cells[4].second.right, 160);
    EXPECT_EQ(shot->at(160 + 35, 18 + 9), kGreen);
    EXPECT_EQ(shot->at(160 + 35, 9), kBack);
    EXPECT_EQ(shot->at(160 + 25, 18 + 9), kBack);
}

TEST_F(TreePaint, ARowDrawnByTheApplicationIsCopiedWithoutTheTreesErasing)
{
    tree->SetRootNodeCount(3);
    int erased = 0;
    tree->OnBeforeItemErase = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode, const RECT&, COLORREF&,
                                  TItemEraseAction&) { ++erased; };
    tree->OnBeforeItemPaint = [](TBaseVirtualTree*, TCanvas& canvas, PVirtualNode node, const RECT& r,
                                 bool& customDraw) {
        if (node->Index == 1) {
            canvas.SetBrushColor(kGreen);
            canvas.FillRect(r);
            customDraw = true;
        }
    };
    auto shot = Paint();
    EXPECT_EQ(erased, 2);
    EXPECT_EQ(shot->at(100, 18 + 9), kGreen);
    EXPECT_EQ(shot->at(100, 9), kBack);
}

TEST_F(TreePaint, TheSixteenByteRecordOfEachNodeDecidesItsRowColour)
{
    struct TRecord {
        int kind;
        COLORREF colour;
        char name[8];
    };
    static_assert(sizeof(TRecord) == 16);
    tree->SetNodeDataSize(sizeof(TRecord));
    tree->OnInitNode = [](TBaseVirtualTree* sender, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
        auto* rec = sender->Data<TRecord>(node);
        rec->kind = static_cast<int>(node->Index % 3);
        rec->colour = rec->kind == 0 ? kRed : rec->kind == 1 ? kGreen : kBlue;
        std::strcpy(rec->name, "row");
    };
    tree->OnBeforeItemErase = [](TBaseVirtualTree* sender, TCanvas&, PVirtualNode node, const RECT&, COLORREF& c,
                                 TItemEraseAction& action) {
        c = sender->Data<TRecord>(node)->colour;
        action = eaFillColor;
    };
    tree->SetRootNodeCount(6);
    for (PVirtualNode n = tree->GetFirst(); n; n = n->NextSibling)
        tree->InitNode(n);   // kinds 0 1 2 0 1 2
    tree->DeleteNode(tree->GetFirst()->NextSibling);   // kinds left: 0 2 0 1 2
    tree->InsertNodeAt(tree->GetFirst(), amInsertBefore);   // a new first node, index 0 again: kind 0
    auto shot = WindowShot();
    const COLORREF expected[6] = {kRed, kRed, kBlue, kRed, kGreen, kBlue};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(shot->at(150, i * 18 + 9), expected[i]) << "row " << i;
}

// ---------------------------------------------------------------------------
// Selection and focus

TEST_F(TreePaint, FullRowSelectionPaintsEverySelectedRowInTheFocusedOrUnfocusedColour)
{
    AddColumns(3, 80);
    tree->TreeOptions().SetSelectionOptions(toFullRowSelect | toMultiSelect);
    tree->SetRootNodeCount(5);
    PVirtualNode n1 = tree->GetFirst()->NextSibling;
    tree->SetSelected(n1, true);
    tree->SetSelected(n1->NextSibling->NextSibling, true);
    tree->SetFocus();
    Pump(20);
    auto focused = WindowShot();
    for (int x : {30, 120, 200})
        for (int row = 0; row < 5; ++row)
            EXPECT_EQ(focused->at(x, row * 18 + 9), (row == 1 || row == 3) ? kBlue : kBack)
                << "x " << x << " row " << row;
    edit->SetFocus();
    Pump(20);
    auto unfocused = WindowShot();
    EXPECT_EQ(unfocused->at(200, 18 + 9), kGrey);
    EXPECT_EQ(unfocused->at(200, 3 * 18 + 9), kGrey);
    EXPECT_EQ(unfocused->at(200, 2 * 18 + 9), kBack);

    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toHideSelection);
    EXPECT_EQ(Paint()->at(200, 18 + 9), kBack);
    tree->SetFocus();
    Pump(20);
    EXPECT_EQ(Paint()->at(200, 18 + 9), kBlue);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toAlwaysHideSelection);
    EXPECT_EQ(Paint()->at(200, 18 + 9), kBack);
}

TEST_F(TreePaint, WithoutFullRowTheSelectionCoversTheMainCellsTextOnly)
{
    AddColumns(3, 80);
    tree->SetRootNodeCount(3);
    PVirtualNode n1 = tree->GetFirst()->NextSibling;
    tree->SetSelected(n1, true);
    tree->SetFocus();
    Pump(20);
    auto shot = Paint();
    // Margin 4 and one level of indentation (the root's lines): the text,
    // empty here, is 2 x TextMargin wide from x = 22.
    EXPECT_EQ(shot->at(25, 18 + 9), kBlue);
    EXPECT_EQ(shot->at(60, 18 + 9), kBack);
    EXPECT_EQ(shot->at(120, 18 + 9), kBack);
    EXPECT_EQ(shot->at(25, 9), kBack);
}

TEST_F(TreePaint, TheFocusRectangleIsDrawnOnlyForTheFocusedNodeOfAFocusedTree)
{
    tree->SetRootNodeCount(4);
    PVirtualNode n2 = tree->GetFirst()->NextSibling->NextSibling;
    tree->SetFocusedNode(n2);
    tree->SetFocus();
    Pump(20);
    auto countDark = [](const Shot& s, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < 120; ++x)
                n += s.at(x, y) != kBack;
        return n;
    };
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() & ~toShowTreeLines);
    auto shot = Paint();
    EXPECT_GT(countDark(*shot, 36, 54), 4);
    EXPECT_EQ(countDark(*shot, 18, 36), 0);
    edit->SetFocus();
    Pump(20);
    EXPECT_EQ(countDark(*Paint(), 36, 54), 0);
    tree->SetFocus();
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toHideFocusRect);
    EXPECT_EQ(countDark(*Paint(), 36, 54), 0);
}

// ---------------------------------------------------------------------------
// Grid lines, buttons, tree lines

TEST_F(TreePaint, GridLinesRunDottedOrSolidAlongCellEdgesAndBelowTheRowsWhenFull)
{
    AddColumns(3, 80);
    tree->SetRootNodeCount(3);
    tree->Colors().SetColor(TVTColors::GridLineColorIndex, kGreen);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowHorzGridLines |
                                        toShowVertGridLines);
    auto dotted = Paint();
    // Bottom row of the first row's second cell; right edge of column 0.
    EXPECT_EQ(dotted->CountRow(17, 90, 149, kGreen), 30);
    EXPECT_EQ(dotted->CountColumn(79, 18, 53, kGreen), 18);
    EXPECT_EQ(dotted->CountColumn(79, 80, 150, kGreen), 0);

    tree->SetLineStyle(lsSolid);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toFullVertGridLines);
    auto solid = Paint();
    EXPECT_EQ(solid->CountRow(17, 90, 149, kGreen), 60);
    EXPECT_EQ(solid->CountColumn(79, 18, 34, kGreen), 17);
    EXPECT_EQ(solid->CountColumn(79, 80, 150, kGreen), 71);
    EXPECT_EQ(solid->CountColumn(60, 80, 150, kGreen), 0);
}

TEST_F(TreePaint, ButtonsAndTreeLinesShowTheStructure)
{
    tree->Colors().SetColor(TVTColors::TreeLineColorIndex, kRed);
    tree->SetRootNodeCount(2);
    PVirtualNode a = tree->GetFirst();
    tree->AddChildNode(a);
    tree->AddChildNode(a);
    tree->SetExpanded(a, true);
    auto shot = Paint();
    // Button of row 0 at x 5..13, y 5..13: frame in the line colour, minus
    // sign in the font colour, no vertical stroke.
    EXPECT_EQ(shot->at(5, 5), kRed);
    EXPECT_EQ(shot->at(13, 13), kRed);
    EXPECT_EQ(shot->at(9, 9), tree->Font().Color());
    EXPECT_NE(shot->at(9, 7), tree->Font().Color());
    // Row 1 (first child): the parent level's line through x 9, its own
    // level's line at x 27 with a branch at y 18 + 9 to the right.
    EXPECT_EQ(shot->CountColumn(9, 18, 35, kRed), 9);
    EXPECT_EQ(shot->CountColumn(27, 18, 35, kRed), 9);
    EXPECT_GE(shot->CountRow(27, 28, 35, kRed), 3);
    // Row 3 (B, collapsed, no children): a corner from the top to the branch.
    EXPECT_EQ(shot->CountColumn(9, 54 + 11, 71, kRed), 0);

    tree->SetExpanded(a, false);
    auto collapsed = Paint();
    EXPECT_EQ(collapsed->at(9, 7), tree->Font().Color());
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() & ~toShowButtons);
    EXPECT_EQ(Paint()->at(5, 5), kBack);
}

// ---------------------------------------------------------------------------
// Background picture

TEST_F(TreePaint, TheBackgroundPictureTilesWithTheContentOrStaysWithTheWindow)
{
    // 16 x 16: left half red, right half green.
    TBitmap& picture = tree->Background();
    picture.SetSize(16, 16);
    picture.Canvas().SetBrushColor(kRed);
    picture.Canvas().FillRect(RECT{0, 0, 8, 16});
    picture.Canvas().SetBrushColor(kGreen);
    picture.Canvas().FillRect(RECT{8, 0, 16, 16});
    picture.Canvas().SetBrushColor(kBlue);
    picture.Canvas().FillRect(RECT{0, 0, 16, 2});   // a blue top band
    tree->SetBackgroundOffsetX(3);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowBackground);
    tree->SetRootNodeCount(40);
    auto top = Paint();
    EXPECT_EQ(top->at(3 + 4, 5), kRed);
    EXPECT_EQ(top->at(3 + 12, 5), kGreen);
    EXPECT_EQ(top->at(3 + 16 + 4, 16), kBlue);
    EXPECT_EQ(top->at(3 + 16 + 4, 18), kRed);

    tree->SetOffsetY(-5);
    auto scrolled = WindowShot();
    EXPECT_EQ(scrolled->at(7, 16 - 5), kBlue);
    EXPECT_EQ(scrolled->at(7, 18 - 5), kRed);

    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toStaticBackground);
    tree->SetBackgroundOffsetY(30);
    auto fixed = WindowShot();
    EXPECT_EQ(fixed->at(3 + 4, 31), kBlue);
    EXPECT_EQ(fixed->at(3 + 4, 40), kRed);
    EXPECT_EQ(fixed->at(3 + 4, 20), kBack);
    EXPECT_EQ(fixed->at(3 + 30, 40), kBack);
}

// ---------------------------------------------------------------------------
// Rows found by position

TEST_F(TreePaint, HiddenRowsAreLeftOutOfPainting)
{
    tree->SetRootNodeCount(10);
    ColourRowsByIndex(10, {kRed, kGreen, kBlue, kRed, kGreen, kBlue, kRed, kGreen, kBlue, kRed});
    PVirtualNode n = tree->GetFirst();
    for (int i = 0; i < 3; ++i)
        n = n->NextSibling;
    for (int i = 0; i < 3; ++i, n = n->NextSibling)
        tree->SetVisible(n, false);   // rows 3, 4, 5
    auto shot = WindowShot();
    const COLORREF expected[7] = {kRed, kGreen, kBlue, kRed /*6*/, kGreen, kBlue, kRed};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(shot->at(150, i * 18 + 9), expected[i]) << "row " << i;
    EXPECT_EQ(shot->at(150, 7 * 18 + 3), kBack);
}

TEST_F(TreePaint, AWindowStartingInsideARowOfAMillionPaintsThatRowFromItsTop)
{
    tree->SetRootNodeCount(1000000);
    ColourRowsByIndex(3, {kRed, kGreen, kBlue});
    int rows = 0;
    tree->OnAfterItemErase = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode, const RECT&) { ++rows; };
    const int top = 18 * 500000 + 7;
    Shot shot(100, 50);
    TCanvas canvas(shot.dc());
    tree->PaintTreeArea(canvas, RECT{0, top, 100, top + 50}, POINT{0, 0}, WindowPaintOptions);
    EXPECT_EQ(rows, 4);   // rows 500000 to 500003
    // 500000 = 3 x 166666 + 2: blue, from 7 pixels above the target's top.
    EXPECT_EQ(shot.at(50, 0), kBlue);
    EXPECT_EQ(shot.at(50, 10), kBlue);
    EXPECT_EQ(shot.at(50, 11), kRed);
    EXPECT_EQ(shot.at(50, 29), kGreen);
}

TEST_F(TreePaint, ALogOfMoreThanTwoThousandLinesScrolledDownShowsTheRightLines)
{
    tree->SetRootNodeCount(2500);
    ColourRowsByIndex(3, {kRed, kGreen, kBlue});
    std::vector<unsigned> painted;
    tree->OnAfterItemErase = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode node, const RECT&) {
        painted.push_back(node->Index);
    };
    tree->SetOffsetY(-(2100 * 18 + 4));
    for (int pass = 0; pass < 2; ++pass) {
        painted.clear();
        auto shot = WindowShot();
        // Rows 2100 to 2113 fill the client area (once or more).
        ASSERT_FALSE(painted.empty());
        EXPECT_EQ(painted.front(), 2100u);
        for (size_t i = 1; i < painted.size() && painted[i] != 2100u; ++i)
            EXPECT_EQ(painted[i], painted[i - 1] + 1);
        EXPECT_EQ(*std::max_element(painted.begin(), painted.end()), 2113u);
        EXPECT_EQ(shot->at(50, 0), kRed);   // 2100 % 3 == 0
        EXPECT_EQ(shot->at(50, 14), kGreen);
        // The second pass reads the position cache the worker filled.
        EXPECT_TRUE(PumpUntil([&] { return tree->HasState(tsUseCache); }, 20000))
            << "the worker did not fill the position cache within 20 s";
    }
}

TEST(VTPaintCache, AListFilledBeforeItsWindowGetsItsPositionCacheWithTheWindow)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no display";
    TForm form(nullptr);
    form.SetBounds(30, 30, 300, 200);
    auto* tree = new TVirtualStringTree(&form);
    tree->SetBounds(0, 0, 200, 150);
    tree->SetParent(&form);
    tree->SetRootNodeCount(3000);
    ASSERT_FALSE(tree->HandleAllocated());
    form.Show();
    tree->HandleNeeded();
    EXPECT_TRUE(PumpUntil([&] { return tree->HasState(tsUseCache); }, 20000))
        << "the position cache was not filled within 20 s";
}

// ---------------------------------------------------------------------------
// Options of a paint

TEST_F(TreePaint, SelectedOnlyLeavesOtherRowsAndColumnColoursFillCells)
{
    AddColumns(2, 100);
    tree->Header().Columns()[1]->SetOptions(tree->Header().Columns()[1]->Options() & ~coParentColor);
    tree->Header().Columns()[1]->SetColor(kGreen);
    tree->TreeOptions().SetSelectionOptions(toFullRowSelect);
    tree->SetRootNodeCount(3);
    tree->SetSelected(tree->GetFirst()->NextSibling, true);
    tree->SetFocus();
    Pump(20);
    auto selectedOnly = Paint(DragImagePaintOptions);
    EXPECT_EQ(selectedOnly->at(50, 9), RGB(1, 2, 3));
    EXPECT_EQ(selectedOnly->at(50, 18 + 9), kBlue);
    EXPECT_EQ(selectedOnly->at(50, 2 * 18 + 9), RGB(1, 2, 3));
    // Below the rows the non-parent-coloured column shows its colour.
    EXPECT_EQ(selectedOnly->at(150, 150), kGreen);
    EXPECT_EQ(selectedOnly->at(50, 150), kBack);
    // Column colours fill the cells themselves only when asked.
    EXPECT_EQ(Paint(WindowPaintOptions)->at(150, 9), kGreen);
    EXPECT_EQ(Paint(WindowPaintOptions & ~prColumnColors)->at(150, 9), kBack);
}

TEST_F(TreePaint, TheDropTargetShowsOnTheNodeAndItsMarkAboveIt)
{
    tree->Colors().SetColor(TVTColors::DropTargetColorIndex, kGreen);
    tree->Colors().SetColor(TVTColors::DropTargetBorderColorIndex, kGreen);
    tree->Colors().SetColor(TVTColors::DropMarkColorIndex, kRed);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() & ~toShowTreeLines);
    tree->SetRootNodeCount(3);
    tree->SetDropTargetNode(tree->GetFirst()->NextSibling);
    tree->SetLastDropMode(dmOnNode);
    auto onNode = Paint();
    EXPECT_EQ(onNode->at(25, 18 + 9), kGreen);   // the text area of row 1
    EXPECT_EQ(onNode->at(25, 9), kBack);
    EXPECT_EQ(onNode->at(5, 18 + 2), kBack);
    tree->SetLastDropMode(dmAbove);
    auto above = Paint();
    EXPECT_EQ(above->at(25, 18 + 9), kBack);     // not the target itself
    EXPECT_EQ(above->at(5, 18 + 1), kRed);       // the mark at the row's top
    tree->SetDropTargetNode(nullptr);
}

TEST_F(TreePaint, ADragImageOverTheTreeKeepsTheNewPictureUnderIt)
{
    tree->SetRootNodeCount(6);
    ColourRowsByIndex(1, {kRed});
    WindowShot();
    SetMMXAvailableForTesting(true);
    TBitmap picture;
    picture.SetSize(20, 20);
    picture.Canvas().SetBrushColor(kBlue);
    picture.Canvas().FillRect(RECT{0, 0, 20, 20});
    const POINT at = tree->ClientToScreen(POINT{100, 20});
    TVTDragImage* image = tree->DragImage();
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(image->PrepareDrag(picture, at, at, nullptr));
    image->ShowDragImage();
    const COLORREF overRed = vt_test::ScreenPixel(at.x + 10, at.y + 10);
    EXPECT_NE(overRed, kRed);
    // The rows turn green under the picture.
    ColourRowsByIndex(1, {kGreen});
    tree->UpdateWindowAndDragImage(tree->ClientRect(), false, true);
    EXPECT_EQ(vt_test::ScreenPixel(at.x - 5, at.y + 10), kGreen);
    const COLORREF overGreen = vt_test::ScreenPixel(at.x + 10, at.y + 10);
    EXPECT_NE(overGreen, overRed);
    EXPECT_NE(overGreen, kGreen);
    // Taking the picture away shows the green rows, not the red ones it kept before.
    image->HideDragImage();
    EXPECT_EQ(vt_test::ScreenPixel(at.x + 10, at.y + 10), kGreen);
    // An ordinary repaint under the shown picture does the same.
    image->ShowDragImage();
    ColourRowsByIndex(1, {kRed});
    InvalidateRect(tree->Handle(), nullptr, FALSE);
    UpdateWindow(tree->Handle());
    image->HideDragImage();
    EXPECT_EQ(vt_test::ScreenPixel(at.x + 10, at.y + 10), kRed);
    image->EndDrag();
    ResetMMXAvailableForTesting();
}

// ---------------------------------------------------------------------------
// The window's paint paths

TEST_F(TreePaint, PrintClientAndPrintPaintLikeTheWindowAndTheHeaderSitsAboveTheRows)
{
    AddColumns(2, 100);
    tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    tree->Header().SetHeight(20);
    tree->SetRootNodeCount(4);
    ColourRowsByIndex(2, {kRed, kGreen});
    auto own = WindowShot();
    EXPECT_EQ(own->at(50, 9), kRed);
    EXPECT_EQ(own->at(50, 27), kGreen);

    const RECT client = tree->ClientRect();
    Shot printed(client.right, client.bottom);
    SendMessageW(tree->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(printed.dc()), PRF_CLIENT);
    for (int y : {9, 27, 45, 100})
        EXPECT_EQ(printed.at(50, y), own->at(50, y)) << y;

    // The whole window: border (2), header (20), then the rows.
    RECT w;
    GetWindowRect(tree->Handle(), &w);
    Shot whole(w.right - w.left, w.bottom - w.top);
    SendMessageW(tree->Handle(), WM_PRINT, reinterpret_cast<WPARAM>(whole.dc()), PRF_CLIENT | PRF_NONCLIENT);
    EXPECT_EQ(whole.at(2 + 50, 2 + 20 + 9), kRed);
    EXPECT_EQ(whole.at(2 + 50, 2 + 20 + 27), kGreen);
    const COLORREF headerPixel = whole.at(2 + 50, 2 + 10);
    EXPECT_NE(headerPixel, kRed);
    EXPECT_NE(headerPixel, kBack);
    // On the screen the header is painted into the non-client area too.
    HDC windowDC = GetWindowDC(tree->Handle());
    EXPECT_EQ(GetPixel(windowDC, 2 + 50, 2 + 10), headerPixel);
    EXPECT_EQ(GetPixel(windowDC, 2 + 50, 2 + 20 + 9), kRed);
    ReleaseDC(tree->Handle(), windowDC);
}

TEST_F(TreePaint, FixedColumnsStayWhileTheRestScrollsSideways)
{
    AddColumns(4, 100);
    TVirtualTreeColumns& columns = tree->Header().Columns();
    columns[0]->SetOptions((columns[0]->Options() | coFixed) & ~coParentColor);
    columns[0]->SetColor(kGreen);
    columns[1]->SetOptions(columns[1]->Options() & ~coParentColor);
    columns[1]->SetColor(kRed);
    tree->SetRootNodeCount(3);
    tree->SetOffsetX(-50);
    ASSERT_EQ(tree->OffsetX(), -50);
    auto shot = WindowShot();
    EXPECT_EQ(shot->at(30, 9), kGreen);    // the fixed column, unscrolled
    EXPECT_EQ(shot->at(95, 9), kGreen);
    EXPECT_EQ(shot->at(105, 9), kRed);     // column 1 from 100 - 50 = 50 on, behind the fixed one
    EXPECT_EQ(shot->at(145, 9), kRed);
    EXPECT_EQ(shot->at(155, 9), kBack);    // column 2
}

TEST_F(TreePaint, RepaintNodeDrawsTheRowBeforeReturning)
{
    tree->SetRootNodeCount(5);
    WindowShot();
    COLORREF colour = kRed;
    tree->OnBeforeItemErase = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode, const RECT&, COLORREF& c,
                                  TItemEraseAction& action) {
        c = colour;
        action = eaFillColor;
    };
    PVirtualNode n2 = tree->GetFirst()->NextSibling->NextSibling;
    tree->RepaintNode(n2);
    HDC dc = GetDC(tree->Handle());
    EXPECT_EQ(GetPixel(dc, 100, 2 * 18 + 9), kRed);
    EXPECT_EQ(GetPixel(dc, 100, 18 + 9), kBack);   // only that row was drawn
    ReleaseDC(tree->Handle(), dc);
    tree->RepaintNode(nullptr);
    tree->RepaintNode(tree->RootNode());
}

TEST_F(TreePaint, InvalidateColumnAreaCoversTheColumnWhereItIsShown)
{
    AddColumns(3, 200);
    tree->SetRootNodeCount(3);
    tree->SetOffsetX(-150);
    ASSERT_EQ(tree->OffsetX(), -150);
    auto dirtyAfter = [&](TColumnIndex column) {
        ValidateRect(tree->Handle(), nullptr);
        tree->InvalidateColumnArea(column);
        RECT dirty{};
        GetUpdateRect(tree->Handle(), &dirty, FALSE);
        return std::make_pair(dirty.left, dirty.right);
    };
    // Column 1 lies at 200..400 in the tree, 50..250 in the scrolled window.
    EXPECT_EQ(dirtyAfter(1), std::make_pair(50L, 250L));
    // A fixed column does not scroll.
    tree->Header().Columns()[0]->SetOptions(tree->Header().Columns()[0]->Options() | coFixed);
    EXPECT_EQ(dirtyAfter(0), std::make_pair(0L, 200L));
}

// ---------------------------------------------------------------------------
// Images

TEST_F(TreePaint, NodeImagesStateImagesAndCheckBoxesTakeTheirPlacesInOrder)
{
    TImageList images(nullptr, 16, 16);
    TBitmap picture;
    picture.SetSize(16, 16);
    for (COLORREF c : {kRed, kGreen}) {
        picture.Canvas().SetBrushColor(c);
        picture.Canvas().FillRect(RECT{0, 0, 16, 16});
        images.Add(picture);
    }
    tree->SetImages(&images);
    tree->SetStateImages(&images);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() & ~toShowTreeLines);
    tree->OnGetImageIndex = [](TBaseVirtualTree*, PVirtualNode node, TVTImageKind kind, TColumnIndex, bool& ghosted,
                               int& index) {
        if (kind == ikState)
            index = 1;
        if (kind == ikNormal)
            index = 0;
        ghosted = node->Index == 1 && kind == ikNormal;
    };
    tree->SetRootNodeCount(2);
    tree->SetCheckType(tree->GetFirst(), ctCheckBox);
    auto shot = Paint();
    // Margin 4 + indent 18 = 22: check box 22..37, state image 40..55,
    // normal image 58..73 (each 16 wide and 2 apart).
    const int y = 9;
    EXPECT_NE(shot->at(29, y), kBack);
    EXPECT_EQ(shot->at(47, y), kGreen);
    EXPECT_EQ(shot->at(65, y), kRed);
    // The second row has no check box: state image at 22, normal at 40, ghosted.
    EXPECT_EQ(shot->at(29, 18 + y), kGreen);
    const COLORREF ghost = shot->at(47, 18 + y);
    EXPECT_NE(ghost, kRed);
    EXPECT_NE(ghost, kBack);
    EXPECT_GT(GetRValue(ghost), GetGValue(ghost));
    tree->SetImages(nullptr);
    tree->SetStateImages(nullptr);
}

TEST_F(TreePaint, WithThemesButtonsAndCheckBoxesAreTheThemesParts)
{
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() & ~toShowTreeLines);
    tree->SetRootNodeCount(2);
    PVirtualNode a = tree->GetFirst();
    tree->AddChildNode(a);
    tree->SetCheckType(a->NextSibling, ctCheckBox);
    auto region = [](const Shot& s, int x0, int y0, int size) {
        std::vector<COLORREF> v;
        for (int y = y0; y < y0 + size; ++y)
            for (int x = x0; x < x0 + size; ++x)
                v.push_back(s.at(x, y));
        return v;
    };
    // Classic: the button (5..13) and the check box (22..37 of row 1).
    ASSERT_FALSE(tree->HasState(tsUseThemes));
    auto classic = Paint();
    EXPECT_EQ(classic->at(5, 5), tree->Colors().TreeLineColor());

    // The common controls 6 check switched on for the test: themes in use.
    SetComCtlVersionProviderForTesting([] { return static_cast<DWORD>(MAKELONG(0, 6)); });
    GetThemeServices().UpdateThemes();
    const bool themed = GetThemeServices().ThemesEnabled();
    if (themed) {
        // The tree takes them up when the theme changes.
        SendMessageW(tree->Handle(), WM_THEMECHANGED, 0, 0);
        EXPECT_TRUE(tree->HasState(tsUseThemes));
        auto shot = Paint();
        EXPECT_NE(region(*shot, 5, 5, 9), region(*classic, 5, 5, 9));
        EXPECT_NE(region(*shot, 22, 18 + 1, 16), region(*classic, 22, 18 + 1, 16));
        // Something of the themed check box is drawn, not the tree colour only.
        int drawn = 0;
        for (COLORREF c : region(*shot, 22, 18 + 1, 16))
            drawn += c != kBack;
        EXPECT_GT(drawn, 20);
    }
    SetComCtlVersionProviderForTesting({});
    GetThemeServices().UpdateThemes();
    SendMessageW(tree->Handle(), WM_THEMECHANGED, 0, 0);
    EXPECT_FALSE(tree->HasState(tsUseThemes));
    EXPECT_EQ(region(*Paint(), 5, 5, 9), region(*classic, 5, 5, 9));
    if (!themed)
        GTEST_SKIP() << "the visual styles service reports no themes even with the seam";
}

TEST(VTPaintAnimation, StepsRunInOrderEndWithAStepOfNothingAndNeverNest)
{
    TVirtualStringTree tree(nullptr);
    std::vector<std::pair<unsigned, unsigned>> steps;
    bool inAnimation = true, nested = true;
    const bool ran = tree.Animate(12, 30, [&](unsigned step, unsigned size, void* data) {
        steps.emplace_back(step, size);
        inAnimation = inAnimation && tree.HasState(tsInAnimation) && data == &steps;
        nested = nested && !tree.Animate(5, 5, [](unsigned, unsigned, void*) { return true; }, nullptr);
        return true;
    }, &steps);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(inAnimation);
    EXPECT_TRUE(nested);
    EXPECT_FALSE(tree.HasState(tsInAnimation));
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps.back(), std::make_pair(0u, 0u));
    unsigned total = 0;
    for (size_t i = 0; i + 1 < steps.size(); ++i) {
        EXPECT_GE(steps[i].second, 1u);
        total += steps[i].second;
        EXPECT_EQ(steps[i].first, total);
    }
    EXPECT_LE(total, 12u);

    // A step that says stop ends it; the closing step still comes. No
    // duration, no animation.
    steps.clear();
    tree.Animate(100, 50, [&](unsigned step, unsigned size, void*) {
        steps.emplace_back(step, size);
        return false;
    }, nullptr);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps.back(), std::make_pair(0u, 0u));
    EXPECT_FALSE(tree.Animate(10, 0, [](unsigned, unsigned, void*) { return true; }, nullptr));
}

// ---------------------------------------------------------------------------
// The canvas pieces

TEST(VTPaintCanvas, BrushesAndPensAreMadeOncePerColourAndTheDCIsGivenBack)
{
    Shot shot(40, 40, RGB(255, 255, 255));
    HGDIOBJ ownPen = GetCurrentObject(shot.dc(), OBJ_PEN);
    HGDIOBJ ownBrush = GetCurrentObject(shot.dc(), OBJ_BRUSH);
    const long before = GdiObjectCount();
    {
        TCanvas canvas(shot.dc());
        for (int i = 0; i < 1000; ++i) {
            canvas.SetBrushColor(i % 2 ? kRed : kGreen);
            canvas.FillRect(RECT{0, 0, 10, 10});
            canvas.SetPenColor(i % 2 ? kBlue : kGrey);
            canvas.MoveTo(0, 20);
            canvas.LineTo(30, 20);
        }
        EXPECT_EQ(canvas.MadeObjects(), 4);
        EXPECT_EQ(shot.at(5, 5), kRed);
        EXPECT_EQ(shot.at(5, 20), kBlue);
        canvas.SetPenStyle(psDot);
        canvas.SetPenColor(kBlue);
        canvas.MoveTo(0, 30);
        canvas.LineTo(40, 30);
        const int blue = shot.CountRow(30, 0, 39, kBlue);
        EXPECT_GT(blue, 5);
        EXPECT_LT(blue, 35);
        canvas.SetPenStyle(psSolid);
        canvas.SetPenWidth(3);
        canvas.MoveTo(0, 35);
        canvas.LineTo(40, 35);
        EXPECT_EQ(shot.CountColumn(20, 33, 37, kBlue), 3);
    }
    EXPECT_EQ(GetCurrentObject(shot.dc(), OBJ_PEN), ownPen);
    EXPECT_EQ(GetCurrentObject(shot.dc(), OBJ_BRUSH), ownBrush);
    EXPECT_EQ(GdiObjectCount(), before);
}

TEST(VTPaintCanvas, AFontAssignedUnchangedKeepsItsGdiFont)
{
    TFont a, b;
    b.SetName("Tahoma");
    b.SetHeight(-11);
    a.Assign(b);
    HFONT first = a.Handle();
    b.SetColor(kRed);
    a.Assign(b);
    EXPECT_EQ(a.Handle(), first);
    EXPECT_EQ(a.Color(), kRed);
    b.SetStyle(fsBold);
    a.Assign(b);
    EXPECT_NE(a.Handle(), first);
}

TEST(VTPaintCanvas, ClippingFocusRectanglesAndOpaqueClippedText)
{
    Shot shot(60, 40, RGB(255, 255, 255));
    HRGN own = CreateRectRgn(0, 0, 50, 40);
    SelectClipRgn(shot.dc(), own);
    {
        TCanvas canvas(shot.dc());
        canvas.SetClipRect(RECT{10, 10, 20, 20});
        canvas.SetBrushColor(kRed);
        canvas.FillRect(RECT{0, 0, 60, 40});
        EXPECT_EQ(shot.at(15, 15), kRed);
        EXPECT_EQ(shot.at(25, 15), RGB(255, 255, 255));
        canvas.ResetClip();
        canvas.SetBrushColor(kGreen);
        canvas.FillRect(RECT{30, 0, 60, 5});
        EXPECT_EQ(shot.at(45, 2), kGreen);
        EXPECT_EQ(shot.at(55, 2), RGB(255, 255, 255));   // the DC's own clipping stays

        canvas.DrawFocusRect(RECT{2, 25, 40, 35});
        EXPECT_GT(shot.CountRow(25, 2, 39, RGB(0, 0, 0)), 5);
        canvas.DrawFocusRect(RECT{2, 25, 40, 35});
        EXPECT_EQ(shot.CountRow(25, 2, 39, RGB(0, 0, 0)), 0);

        canvas.SetBrushColor(kBlue);
        const RECT box{30, 10, 45, 22};
        canvas.TextOutEx(31, 10, ETO_OPAQUE | ETO_CLIPPED, &box, L"WWWWWWWW");
        EXPECT_EQ(shot.at(44, 21), kBlue);
        EXPECT_EQ(shot.CountColumn(47, 10, 22, RGB(255, 255, 255)), 13);
    }
    RECT box;
    EXPECT_EQ(GetClipBox(shot.dc(), &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 50);
    SelectClipRgn(shot.dc(), nullptr);
    DeleteObject(own);
}

TEST(VTPaintCanvas, OneLineOfTextLandsWhereDrawTextPutsItAndMeasuresAreKeptPerFont)
{
    TFont font;
    font.SetName("Tahoma");
    font.SetHeight(-11);
    HFONT gdiFont = font.Handle();
    const std::wstring text = L"Row 123456";
    for (UINT align : {DT_LEFT, DT_CENTER, DT_RIGHT}) {
        for (RECT r : {RECT{5, 3, 95, 19}, RECT{5, 3, 40, 19}}) {
            Shot mine(100, 22, RGB(255, 255, 255)), system(100, 22, RGB(255, 255, 255));
            {
                TCanvas canvas(mine.dc());
                canvas.Font().Assign(font);
                RECT rr = r;
                canvas.FormatText(rr, text, align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            }
            HGDIOBJ old = SelectObject(system.dc(), gdiFont);
            SetBkMode(system.dc(), TRANSPARENT);
            RECT rr = r;
            DrawTextW(system.dc(), text.c_str(), static_cast<int>(text.size()), &rr,
                      align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            SelectObject(system.dc(), old);
            int differ = 0, ink = 0;
            for (int y = 0; y < 22; ++y)
                for (int x = 0; x < 100; ++x) {
                    differ += mine.at(x, y) != system.at(x, y);
                    ink += system.at(x, y) != RGB(255, 255, 255);
                }
            EXPECT_EQ(differ, 0) << "alignment " << align << " width " << r.right - r.left;
            EXPECT_GT(ink, 20);
        }
    }
    // The remembered measure goes with the font.
    Shot shot(10, 10);
    TCanvas canvas(shot.dc());
    canvas.Font().Assign(font);
    const SIZE small = canvas.TextExtent(std::wstring_view(L"Measure"));
    canvas.Font().SetHeight(-22);
    const SIZE large = canvas.TextExtent(std::wstring_view(L"Measure"));
    EXPECT_GT(large.cx, small.cx + 10);
    EXPECT_GT(large.cy, small.cy + 5);
}

// ---------------------------------------------------------------------------
// The screen as X shows it

// Runs a shell command line of the machine (not of Wine) and waits for it:
// a program started from Wine runs on its own, so the line ends by writing
// a marker file, waited for here. Paths are the machine's (Z: in Wine).
bool RunShell(const std::string& commands, const std::string& marker)
{
    std::wstring markerWin = L"Z:" + std::wstring(marker.begin(), marker.end());
    for (wchar_t& c : markerWin)
        if (c == L'/')
            c = L'\\';
    DeleteFileW(markerWin.c_str());
    const std::string line = "/bin/sh -c \"" + commands + " ; echo done > " + marker + "\"";
    std::wstring wide(line.begin(), line.end());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    const bool done = PumpUntil([&] { return GetFileAttributesW(markerWin.c_str()) != INVALID_FILE_ATTRIBUTES; },
                                30000);
    DeleteFileW(markerWin.c_str());
    return done;
}

TEST_F(TreePaint, TheScreenShowsTheRowsSelectionAndHeaderAsPainted)
{
    if (GetFileAttributesW(L"Z:\\usr\\bin\\import") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no import";
    AddColumns(2, 100);
    tree->Header().SetOptions(tree->Header().Options() | hoVisible);
    tree->TreeOptions().SetSelectionOptions(toFullRowSelect);
    tree->SetRootNodeCount(4);
    ColourRowsByIndex(2, {kRed, kGreen});
    tree->SetSelected(tree->GetFirst()->NextSibling->NextSibling, true);
    tree->SetFocus();
    WindowShot();
    // Rows 0 and 1, the selected row 2, below the rows, the header.
    const POINT points[5] = {{50, 9}, {150, 27}, {150, 45}, {150, 120}, {50, -10}};
    std::string format;
    for (POINT p : points) {
        p = tree->ClientToScreen(p);
        format += "%[pixel:p{" + std::to_string(p.x) + "," + std::to_string(p.y) + "}] ";
    }
    const std::string base = "/tmp/bxvt-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(RunShell("/usr/bin/import -window root " + base + ".png && /usr/bin/convert " + base +
                             ".png -format '" + format + "' info:" + base + ".txt",
                         base + ".done"));
    const std::string winBase = "Z:\\tmp\\bxvt-" + std::to_string(GetCurrentProcessId());
    const std::string pixels = ReadFile(winBase + ".txt");
    DeleteFileA((winBase + ".png").c_str());
    DeleteFileA((winBase + ".txt").c_str());
    const size_t last = pixels.rfind("srgb");
    ASSERT_NE(last, std::string::npos) << pixels;
    EXPECT_EQ(pixels.substr(0, last), "srgb(200,0,0) srgb(0,150,0) srgb(0,0,160) srgb(240,240,255) ");
    const std::string header = pixels.substr(last);
    EXPECT_NE(header.rfind("srgb(240,240,255)", 0), 0u);
    EXPECT_NE(header.rfind("srgb(200,0,0)", 0), 0u);
}

}  // namespace
