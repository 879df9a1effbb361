// The list control's header: the column model (widths, limits, positions,
// visibility, sort and main column), auto-size and springs, the header
// stream of every version, painting into 32-bit memory bitmaps (classic
// styles, XP look, themed through the theme service's version seam, sort
// glyph, ellipsis, owner draw) and input through HandleMessage with real
// messages of a real tree window.
#include <gtest/gtest.h>

#include <windows.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VTHintWindow.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "controls/DrawUtils.h"
#include "controls/ThemeSrv.h"
#include "controls/UxTheme.h"
#include "platform/Form.h"
#include "platform/ImageList.h"
#include "platform/Stream.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// A 32-bit top-down DIB section with its own DC.
class Surface {
public:
    Surface(int w, int h, COLORREF fill = RGB(255, 0, 255)) : w_(w), h_(h) {
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bmp_);
        RECT r{0, 0, w, h};
        HBRUSH b = CreateSolidBrush(fill);
        FillRect(dc_, &r, b);
        DeleteObject(b);
    }
    ~Surface() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    int w() const { return w_; }
    int h() const { return h_; }
    COLORREF At(int x, int y) const {
        GdiFlush();
        uint32_t v = bits_[y * w_ + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    // Top left corner of the first place inside [x0, x1) x [0, h) where
    // every pixel of the other surface that is not magenta appears;
    // {-1,-1} when nowhere.
    POINT Find(const Surface& other, int x0, int x1) const {
        for (int y = 0; y + other.h() <= h_; ++y)
            for (int x = x0; x + other.w() <= x1; ++x) {
                bool same = true;
                for (int j = 0; same && j < other.h(); ++j)
                    for (int i = 0; same && i < other.w(); ++i)
                        if (other.At(i, j) != RGB(255, 0, 255))
                            same = At(x + i, y + j) == other.At(i, j);
                if (same)
                    return POINT{x, y};
            }
        return POINT{-1, -1};
    }

private:
    int w_, h_;
    HDC dc_;
    HBITMAP bmp_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

// One of the shared utility images drawn on a plain background (magenta:
// its transparent pixels stay out of Find).
std::unique_ptr<Surface> UtilityImage(int index, COLORREF background = RGB(255, 0, 255)) {
    auto s = std::make_unique<Surface>(16, 16, background);
    TCanvas canvas(s->dc());
    UtilityImages().Draw(canvas, 0, 0, index);
    canvas.SetHandle(nullptr);
    return s;
}

// Puts the mouse cursor at a screen point and waits until the system reports it there.
bool MoveCursor(POINT p) {
    SetCursorPos(p.x, p.y);
    const bool there = PumpUntil(
        [p] {
            POINT now{};
            GetCursorPos(&now);
            return now.x == p.x && now.y == p.y;
        },
        20000);
    EXPECT_TRUE(there) << "the cursor did not reach " << p.x << "," << p.y << " within 20 s";
    return there;
}

class ComCtlVersion {
public:
    explicit ComCtlVersion(DWORD version) {
        SetComCtlVersionProviderForTesting([version] { return version; });
        GetThemeServices().UpdateThemes();
    }
    ~ComCtlVersion() {
        SetComCtlVersionProviderForTesting({});
        GetThemeServices().UpdateThemes();
    }
};

// A form with a draw tree whose header is shown, with columns of the given widths.
class HeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 500, 300);
        tree = new TVirtualDrawTree(form);
        tree->SetBounds(10, 10, 400, 200);
        tree->SetParent(form);
        header().SetOptions(header().Options() | hoVisible);
    }
    void TearDown() override { delete form; }

    TVTHeader& header() { return tree->Header(); }
    TVirtualTreeColumns& columns() { return tree->Header().Columns(); }
    TVirtualTreeColumn* AddColumn(int width, const std::string& text = "") {
        TVirtualTreeColumn* c = columns().Add();
        c->SetWidth(width);
        c->SetText(text);
        return c;
    }
    void Show() {
        form->Show();
        tree->HandleNeeded();
        Pump(50);
    }
    // A header point (x in client coordinates, y rows below the header top)
    // in screen coordinates, packed for a non-client mouse message.
    LPARAM ScreenParam(int x, int y) {
        RECT r = header().HeaderRect();
        POINT p{x, r.top + y};
        ClientToScreen(tree->Handle(), &p);
        return MAKELPARAM(p.x, p.y);
    }
    LPARAM ClientParam(int x, int y) {
        RECT r = header().HeaderRect();
        return MAKELPARAM(x, r.top + y);
    }
    bool Send(UINT msg, WPARAM w, LPARAM l) {
        TMessage m;
        m.Msg = msg;
        m.WParam = w;
        m.LParam = l;
        return header().HandleMessage(m);
    }
    std::unique_ptr<Surface> Paint(int width = 300) {
        auto s = std::make_unique<Surface>(width, header().Height());
        header().PaintHeader(s->dc(), RECT{0, 0, width, header().Height()}, 0);
        return s;
    }

    TForm* form = nullptr;
    TVirtualDrawTree* tree = nullptr;
};

// --- the column model -------------------------------------------------------------

TEST_F(HeaderTest, HeaderWithoutColumns) {
    EXPECT_FALSE(header().UseColumns());
    EXPECT_EQ(header().Options(), unsigned(hoColumnResize | hoDrag | hoVisible));
    EXPECT_EQ(header().MainColumn(), -1);
    EXPECT_EQ(columns().GetFirstVisibleColumn(), -2);
    EXPECT_EQ(columns().GetLastVisibleColumn(), -2);
    EXPECT_EQ(columns().TotalWidth(), 0);
    EXPECT_EQ(columns().ColumnFromPoint(POINT{5, 5}), -1);
    header().SetSortColumn(3);
    EXPECT_EQ(header().SortColumn(), -1);
}

TEST_F(HeaderTest, NewColumnDefaults) {
    TVirtualTreeColumn* c = columns().Add();
    EXPECT_EQ(c->Width(), 50);
    EXPECT_EQ(c->MinWidth(), 10);
    EXPECT_EQ(c->MaxWidth(), 10000);
    EXPECT_EQ(c->Position(), 0);
    EXPECT_EQ(c->ImageIndex(), -1);
    EXPECT_EQ(c->Margin(), 4);
    EXPECT_EQ(c->Spacing(), 4);
    EXPECT_EQ(c->Options(), 0xFFu);
    EXPECT_EQ(header().MainColumn(), 0);
    EXPECT_EQ(header().Height(), 17);
    EXPECT_EQ(header().SortColumn(), -1);
    EXPECT_EQ(header().Style(), hsThickButtons);
    EXPECT_EQ(columns().Add()->Position(), 1);
}

TEST_F(HeaderTest, SortColumnIsClamped) {
    for (int i = 0; i < 3; ++i)
        AddColumn(40);
    header().SetSortColumn(-5);
    EXPECT_EQ(header().SortColumn(), -1);
    header().SetSortColumn(7);
    EXPECT_EQ(header().SortColumn(), 2);
    header().SetSortColumn(1);
    EXPECT_EQ(header().SortColumn(), 1);
    // Deleting the sort column forgets it; deleting one before it moves it down.
    header().SetSortColumn(2);
    columns().Delete(0);
    EXPECT_EQ(header().SortColumn(), 1);
    columns().Delete(1);
    EXPECT_EQ(header().SortColumn(), -1);
}

TEST_F(HeaderTest, WidthStaysWithinLimits) {
    TVirtualTreeColumn* c = AddColumn(50);
    c->SetWidth(5);
    EXPECT_EQ(c->Width(), 10);
    EXPECT_EQ(c->LastWidth(), 50);
    c->SetMaxWidth(100);
    c->SetWidth(500);
    EXPECT_EQ(c->Width(), 100);
    c->SetMinWidth(-3);
    EXPECT_EQ(c->MinWidth(), 0);
    c->SetMinWidth(400);
    EXPECT_EQ(c->MinWidth(), 100);   // never above the maximum
    EXPECT_EQ(c->Width(), 100);
    c->SetMaxWidth(20);
    EXPECT_EQ(c->MaxWidth(), 100);   // never below the minimum
    c->SetMinWidth(30);
    c->SetMaxWidth(40);
    EXPECT_EQ(c->Width(), 40);       // the width follows the limits
    c->SetMargin(-7);
    EXPECT_EQ(c->Margin(), 4);
}

TEST_F(HeaderTest, PositionsAndLeftEdges) {
    AddColumn(10);
    AddColumn(20);
    AddColumn(30);
    AddColumn(40);
    EXPECT_EQ(columns()[2]->Left(), 30);
    EXPECT_EQ(columns().TotalWidth(), 100);
    columns()[0]->SetPosition(2);
    EXPECT_EQ(columns().PositionToIndex(), (std::vector<TColumnIndex>{1, 2, 0, 3}));
    EXPECT_EQ(columns()[1]->Position(), 0);
    EXPECT_EQ(columns()[2]->Position(), 1);
    EXPECT_EQ(columns()[0]->Position(), 2);
    EXPECT_EQ(columns()[3]->Position(), 3);
    EXPECT_EQ(columns()[1]->Left(), 0);
    EXPECT_EQ(columns()[2]->Left(), 20);
    EXPECT_EQ(columns()[0]->Left(), 50);
    EXPECT_EQ(columns()[3]->Left(), 60);
    EXPECT_EQ(columns().ColumnFromPosition(2), 0);
    EXPECT_EQ(columns().ColumnFromPosition(4), -1);
    EXPECT_EQ(columns().GetNextColumn(2), 0);
    EXPECT_EQ(columns().GetPreviousColumn(1), -2);
    EXPECT_EQ(columns().ColumnFromPoint(POINT{55, 5}, false), 0);
    columns()[3]->SetPosition(9);   // beyond the end: the last position
    EXPECT_EQ(columns()[3]->Position(), 3);
    // Deleting renumbers the display order.
    columns().Delete(2);
    EXPECT_EQ(columns().PositionToIndex(), (std::vector<TColumnIndex>{1, 0, 2}));
}

TEST_F(HeaderTest, FixedFlagFollowsTheNeighbour) {
    for (int i = 0; i < 4; ++i)
        AddColumn(30);
    columns()[0]->SetOptions(columns()[0]->Options() | coFixed);
    columns()[1]->SetOptions(columns()[1]->Options() | coFixed);
    // A free column moved in front of a fixed one becomes fixed.
    columns()[3]->SetPosition(0);
    EXPECT_TRUE(columns()[3]->Fixed());
    // A fixed column moved behind a free one becomes free.
    columns()[0]->SetPosition(3);
    EXPECT_FALSE(columns()[0]->Fixed());
    EXPECT_EQ(columns().GetVisibleFixedWidth(), 60);
}

TEST_F(HeaderTest, VisibilityShiftsTheOthers) {
    AddColumn(10);
    AddColumn(20);
    AddColumn(30);
    columns()[1]->SetOptions(columns()[1]->Options() & ~coVisible);
    EXPECT_EQ(columns()[2]->Left(), 10);
    EXPECT_EQ(columns().TotalWidth(), 40);
    EXPECT_EQ(columns().GetVisibleColumns(), (std::vector<TColumnIndex>{0, 2}));
    EXPECT_EQ(columns().GetNextVisibleColumn(0), 2);
    EXPECT_EQ(columns().GetPreviousVisibleColumn(2), 0);
    EXPECT_EQ(columns().ColumnFromPoint(POINT{15, 3}, false), 2);
    columns()[0]->SetOptions(columns()[0]->Options() & ~coVisible);
    columns()[2]->SetOptions(columns()[2]->Options() & ~coVisible);
    EXPECT_EQ(columns().GetFirstVisibleColumn(), -2);
    EXPECT_EQ(columns().TotalWidth(), 0);
}

TEST_F(HeaderTest, MainColumnIsClampedAndMovesWhenDeleted) {
    AddColumn(30);
    AddColumn(30);
    AddColumn(30);
    header().SetMainColumn(9);
    EXPECT_EQ(header().MainColumn(), 2);
    header().SetMainColumn(-4);
    EXPECT_EQ(header().MainColumn(), 0);
    header().SetMainColumn(1);
    columns()[1]->SetPosition(0);
    columns().Delete(1);
    EXPECT_EQ(header().MainColumn(), 0);
    columns().Clear();
    EXPECT_EQ(header().MainColumn(), -1);
}

TEST_F(HeaderTest, AutoSizeKeepsTheClientFilled) {
    Show();
    AddColumn(100);
    AddColumn(60);
    AddColumn(50);
    header().SetAutoSizeIndex(1);
    header().SetOptions(header().Options() | hoAutoResize);
    RECT client{};
    GetClientRect(tree->Handle(), &client);
    EXPECT_EQ(columns()[1]->Width(), client.right - 150);
    EXPECT_EQ(columns().TotalWidth(), client.right);
    // Widening column 0 by 20 narrows column 1 by 20.
    const int before = columns()[1]->Width();
    columns()[0]->SetWidth(120);
    EXPECT_EQ(columns()[1]->Width(), before - 20);
    // The auto-size column keeps its width when set by hand.
    columns()[1]->SetWidth(10);
    EXPECT_EQ(columns()[1]->Width(), before - 20);
    // A wider window is filled again.
    tree->SetBounds(10, 10, 450, 200);
    Pump(30);
    GetClientRect(tree->Handle(), &client);
    EXPECT_EQ(columns().TotalWidth(), client.right);
}

TEST_F(HeaderTest, SpringsShareTheSizeChange) {
    Show();
    TVirtualTreeColumn* a = AddColumn(100);
    AddColumn(60);
    TVirtualTreeColumn* b = AddColumn(50);
    a->SetOptions(a->Options() | coAutoSpring);
    b->SetOptions(b->Options() | coAutoSpring);
    header().SetOptions(header().Options() | hoAutoSpring);
    tree->SetBounds(10, 10, 410, 200);   // +10: 5 each
    Pump(30);
    EXPECT_EQ(a->Width(), 105);
    EXPECT_EQ(b->Width(), 55);
    tree->SetBounds(10, 10, 413, 200);   // +3: 1.5 each, one pixel now, half kept
    Pump(30);
    EXPECT_EQ(a->Width(), 106);
    EXPECT_EQ(b->Width(), 56);
    tree->SetBounds(10, 10, 414, 200);   // +1: the first reaches a whole pixel
    Pump(30);
    EXPECT_EQ(a->Width(), 107);
    EXPECT_EQ(b->Width(), 56);
    EXPECT_EQ(columns()[1]->Width(), 60);
}

// --- the stream -------------------------------------------------------------------

class StreamWriter {
public:
    StreamWriter& I(int32_t v) {
        s.WriteInt32(v);
        return *this;
    }
    StreamWriter& W(const std::wstring& t) {
        s.WriteInt32(static_cast<int32_t>(t.size()));
        for (wchar_t c : t) {
            uint8_t b[2] = {uint8_t(c & 0xFF), uint8_t(c >> 8)};
            s.WriteBuffer(b, 2);
        }
        return *this;
    }
    // One column record of the oldest form (no tag, alignment or colour).
    StreamWriter& Column(const std::wstring& text, int width, int options) {
        W(text).W(L"hint");
        I(width).I(10).I(10000).I(0).I(-1).I(0).I(4).I(4).I(0).I(options);
        return *this;
    }
    // The header's properties after the columns, up to the font style.
    StreamWriter& Tail(int options) {
        I(-1).I(RGB(1, 2, 3)).I(21).I(options).I(hsPlates).I(RGB(9, 8, 7)).I(-13).I(5);
        s.WriteBuffer("Arial", 5);
        I(0).I(fsBold);
        return *this;
    }
    TMemoryStream s;
};

TEST_F(HeaderTest, StreamRoundTripOfEveryProperty) {
    TVirtualTreeColumn* a = AddColumn(70, "Name");
    TVirtualTreeColumn* b = AddColumn(90, "Размер \xF0\x9F\x98\x80");
    AddColumn(40, "Path");
    a->SetHint("the name");
    a->SetMinWidth(20);
    a->SetMaxWidth(300);
    a->SetAlignment(TAlignment::taRightJustify);
    a->SetTag(77);
    a->SetLayout(blGlyphTop);
    a->SetImageIndex(3);
    b->SetColor(RGB(10, 200, 30));
    b->SetOptions((b->Options() | coFixed | coAutoSpring) & ~coDraggable);
    b->SetStyle(vsOwnerDraw);
    columns()[2]->SetPosition(0);
    header().SetSortColumn(1);
    header().SetSortDirection(sdDescending);
    header().SetMainColumn(2);
    header().SetStyle(hsXPStyle);
    header().SetHeight(23);
    header().SetBackground(RGB(4, 5, 6));
    header().Font().SetName("Tahoma");
    header().Font().SetStyle(fsItalic);
    header().Font().SetColor(RGB(1, 1, 1));

    TMemoryStream s;
    header().SaveToStream(s);
    ASSERT_GE(s.Bytes().size(), 12u);
    s.SetPosition(0);
    EXPECT_EQ(s.ReadInt32(), -1);
    EXPECT_EQ(s.ReadInt32(), 3);
    EXPECT_EQ(s.ReadInt32(), 3);

    TVirtualDrawTree other(nullptr);
    s.SetPosition(0);
    other.Header().LoadFromStream(s);
    EXPECT_EQ(s.Position(), static_cast<int64_t>(s.Bytes().size()));
    TVTHeader& h = other.Header();
    EXPECT_TRUE(h.Columns().Equals(columns()));
    EXPECT_EQ(h.Columns()[1]->Text(), "Размер \xF0\x9F\x98\x80");
    EXPECT_EQ(h.Columns()[0]->Hint(), "the name");
    EXPECT_EQ(h.Columns()[0]->Tag(), 77);
    EXPECT_EQ(h.Columns()[1]->Color(), RGB(10, 200, 30));
    EXPECT_EQ(h.Columns().PositionToIndex(), (std::vector<TColumnIndex>{2, 0, 1}));
    EXPECT_EQ(h.SortColumn(), 1);
    EXPECT_EQ(h.SortDirection(), sdDescending);
    EXPECT_EQ(h.MainColumn(), 2);
    EXPECT_EQ(h.Style(), hsXPStyle);
    EXPECT_EQ(h.Height(), 23);
    EXPECT_EQ(h.Background(), RGB(4, 5, 6));
    EXPECT_EQ(h.Options(), header().Options());
    EXPECT_EQ(h.Font().Name(), "Tahoma");
    EXPECT_EQ(h.Font().Style(), unsigned(fsItalic));
    EXPECT_EQ(h.Font().Color(), RGB(1, 1, 1));
    // Written again, the same bytes.
    TMemoryStream again;
    h.SaveToStream(again);
    EXPECT_EQ(again.Bytes(), s.Bytes());
}

TEST_F(HeaderTest, VersionZeroStreamKeepsMainSortAndDirection) {
    for (int i = 0; i < 3; ++i)
        AddColumn(40);
    header().SetMainColumn(2);
    header().SetSortColumn(1);
    header().SetSortDirection(sdDescending);
    StreamWriter w;
    // Version 0: columns without tag, alignment and colour; the column
    // options are of the old layout (bits 4 to 6 move up by one).
    w.I(-1).I(0).I(3);
    for (int i = 0; i < 3; ++i)
        w.Column(L"c", 60 + i, 0x7F);
    w.I(0).I(1).I(2);
    w.Tail(hoVisible | hoDrag);
    w.s.SetPosition(0);
    header().LoadFromStream(w.s);
    EXPECT_EQ(columns().Count(), 3);
    EXPECT_EQ(columns()[2]->Width(), 62);
    EXPECT_EQ(columns()[1]->Hint(), "hint");
    EXPECT_EQ(columns()[0]->Options(), 0xEFu);
    EXPECT_EQ(header().MainColumn(), 2);
    EXPECT_EQ(header().SortColumn(), 1);
    EXPECT_EQ(header().SortDirection(), sdDescending);
    EXPECT_EQ(header().Style(), hsPlates);
    EXPECT_EQ(header().Height(), 21);
    EXPECT_EQ(header().Font().Name(), "Arial");
}

TEST_F(HeaderTest, ColumnOptionsOfVersionsTwoAndThree) {
    for (int version : {2, 3}) {
        StreamWriter w;
        w.I(-1).I(version).I(1);
        w.W(L"x").W(L"");
        // All members but coParentColor, so the stored colour counts.
        w.I(60).I(10).I(10000).I(0).I(-1).I(0).I(4).I(4).I(0).I(0x3EF).I(0).I(0).I(RGB(5, 5, 5));
        w.I(0);
        w.Tail(hoVisible).I(0).I(0).I(0);
        w.s.SetPosition(0);
        header().LoadFromStream(w.s);
        EXPECT_EQ(columns()[0]->Options(), version == 2 ? 0xEFu : 0x3EFu) << version;
        EXPECT_EQ(columns()[0]->Color(), RGB(5, 5, 5)) << version;
    }
}

TEST_F(HeaderTest, UnmarkedStreamAndClamping) {
    StreamWriter w;
    // No marker: the count comes first. Bit 15 of the old options moves to 16.
    w.I(2).Column(L"a", 5, 0x804F).Column(L"b", 70, 0x4F);
    w.I(1).I(1);   // not a permutation: index order is taken
    w.Tail(hoVisible);
    w.s.SetPosition(0);
    header().LoadFromStream(w.s);
    ASSERT_EQ(columns().Count(), 2);
    EXPECT_EQ(columns()[0]->Width(), 10);   // below the minimum
    EXPECT_EQ(columns()[0]->Options(), 0x1008Fu);
    EXPECT_EQ(columns()[1]->Options(), 0x8Fu);
    EXPECT_EQ(columns().PositionToIndex(), (std::vector<TColumnIndex>{0, 1}));
    EXPECT_EQ(columns()[1]->Left(), 10);

    StreamWriter v3;
    v3.I(-1).I(3).I(1);
    v3.W(L"x").W(L"").I(60).I(10).I(10000).I(9).I(-1).I(9).I(-2).I(4).I(9).I(0xFF).I(0).I(7).I(0);
    v3.I(0);
    v3.Tail(hoVisible).I(5).I(7).I(3);
    v3.s.SetPosition(0);
    header().LoadFromStream(v3.s);
    EXPECT_EQ(columns()[0]->Style(), vsText);
    EXPECT_EQ(columns()[0]->Layout(), blGlyphLeft);
    EXPECT_EQ(columns()[0]->Margin(), 4);
    EXPECT_EQ(columns()[0]->Alignment(), TAlignment::taLeftJustify);
    EXPECT_EQ(header().MainColumn(), 0);
    EXPECT_EQ(header().SortColumn(), 0);
    EXPECT_EQ(header().SortDirection(), sdAscending);
}

TEST_F(HeaderTest, BrokenStreamLeavesTheHeaderAlone) {
    AddColumn(40, "keep");
    TMemoryStream good;
    header().SaveToStream(good);
    for (size_t cut : {size_t(4), size_t(20), good.Bytes().size() - 3}) {
        std::vector<uint8_t> bytes(good.Bytes().begin(), good.Bytes().begin() + cut);
        TMemoryStream s(bytes);
        EXPECT_THROW(header().LoadFromStream(s), EVirtualTreeError) << cut;
        ASSERT_EQ(columns().Count(), 1);
        EXPECT_EQ(columns()[0]->Text(), "keep");
        EXPECT_EQ(header().Options() & hoVisible, unsigned(hoVisible));
    }
    StreamWriter w;
    w.I(-1).I(9).I(0);
    w.s.SetPosition(0);
    try {
        header().LoadFromStream(w.s);
        ADD_FAILURE() << "an unknown version was read";
    } catch (const EVirtualTreeError& e) {
        EXPECT_EQ(e.HelpContext(), 2003);
    }
    StreamWriter huge;
    huge.I(-1).I(3).I(0x7FFFFFFF);
    huge.s.SetPosition(0);
    EXPECT_THROW(header().LoadFromStream(huge.s), EVirtualTreeError);
    EXPECT_EQ(columns().Count(), 1);
}

// --- painting -------------------------------------------------------------------

TEST_F(HeaderTest, ClassicStylesDrawTheirEdges) {
    AddColumn(100, "");
    AddColumn(80, "");
    header().SetBackground(RGB(10, 20, 30));
    const COLORREF light = GetSysColor(COLOR_3DLIGHT), hilite = GetSysColor(COLOR_BTNHIGHLIGHT),
                   shadow = GetSysColor(COLOR_BTNSHADOW), dark = GetSysColor(COLOR_3DDKSHADOW),
                   face = GetSysColor(COLOR_BTNFACE);
    {
        auto s = Paint();   // thick buttons: raised soft edges on three sides plus the right one
        EXPECT_EQ(s->At(0, 0), hilite);
        EXPECT_EQ(s->At(1, 1), light);
        EXPECT_EQ(s->At(99, 8), dark);
        EXPECT_EQ(s->At(98, 8), shadow);
        EXPECT_EQ(s->At(50, 16), dark);
        EXPECT_EQ(s->At(50, 8), face);
        EXPECT_EQ(s->At(179, 8), dark);
        EXPECT_EQ(s->At(250, 8), RGB(10, 20, 30));   // right of the last column
    }
    header().SetStyle(hsFlatButtons);
    {
        auto s = Paint();
        EXPECT_EQ(s->At(0, 0), hilite);
        EXPECT_EQ(s->At(1, 1), face);
        EXPECT_EQ(s->At(99, 8), shadow);
        EXPECT_EQ(s->At(179, 8), shadow);
        EXPECT_EQ(s->At(50, 16), shadow);
    }
    header().SetStyle(hsPlates);
    {
        auto s = Paint();
        EXPECT_EQ(s->At(0, 0), light);
        EXPECT_EQ(s->At(99, 8), shadow);
        EXPECT_EQ(s->At(50, 16), shadow);
    }
}

TEST_F(HeaderTest, PressedCellsAreSunkenOrFlat) {
    Show();
    AddColumn(100, "");
    AddColumn(80, "");
    // Press column 1 for real (the button is released at the end).
    ASSERT_TRUE(Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(140, 8)));
    EXPECT_EQ(columns().DownIndex(), 1);
    {
        auto s = Paint();   // thick: a flat frame in the shadow colour, face inside
        EXPECT_EQ(s->At(100, 0), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(s->At(179, 8), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(s->At(101, 8), GetSysColor(COLOR_BTNFACE));
    }
    header().SetStyle(hsFlatButtons);
    {
        auto s = Paint();   // sunken: shadow top left, highlight bottom right
        EXPECT_EQ(s->At(100, 0), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(s->At(179, 8), GetSysColor(COLOR_BTNHIGHLIGHT));
        EXPECT_EQ(s->At(140, 16), GetSysColor(COLOR_BTNHIGHLIGHT));
    }
    Send(WM_LBUTTONUP, 0, ClientParam(140, 8));
    EXPECT_EQ(columns().DownIndex(), -1);
}

TEST_F(HeaderTest, XPStyleColours) {
    Show();
    AddColumn(100, "");
    AddColumn(80, "");
    header().SetStyle(hsXPStyle);
    {
        auto s = Paint();
        EXPECT_EQ(s->At(50, 5), RGB(235, 234, 219));
        EXPECT_EQ(s->At(98, 8), RGB(199, 197, 178));
        EXPECT_EQ(s->At(99, 8), RGB(255, 255, 255));
        EXPECT_EQ(s->At(99, 1), RGB(235, 234, 219));   // separators start 3 below the top
        EXPECT_EQ(s->At(50, 14), RGB(224, 222, 207));
        EXPECT_EQ(s->At(50, 15), RGB(213, 210, 195));
        EXPECT_EQ(s->At(50, 16), RGB(203, 199, 184));
        EXPECT_EQ(s->At(250, 5), RGB(235, 234, 219));   // the area right of the columns
    }
    // Hot: a lighter fill and the orange bar of the shared pieces at the bottom.
    header().SetOptions(header().Options() | hoHotTrack);
    ASSERT_TRUE(Send(WM_NCMOUSEMOVE, HTBORDER, ScreenParam(40, 8)));
    EXPECT_EQ(columns().HoverIndex(), 0);
    {
        auto s = Paint();
        EXPECT_EQ(s->At(50, 5), RGB(250, 248, 243));
        auto middle = UtilityImage(7, RGB(250, 248, 243));
        for (int y = 14; y < 17; ++y)
            EXPECT_EQ(s->At(40, y), middle->At(40 - 32, y - 1)) << y;
        EXPECT_NE(s->At(40, 15), RGB(250, 248, 243));
        EXPECT_EQ(s->At(140, 5), RGB(235, 234, 219));   // the other column stays normal
    }
    // Pressed: darker fill framed by three lines.
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(140, 8));
    {
        auto s = Paint();
        EXPECT_EQ(s->At(100, 0), RGB(165, 165, 151));
        EXPECT_EQ(s->At(101, 1), RGB(193, 194, 184));
        EXPECT_EQ(s->At(102, 2), RGB(208, 209, 201));
        EXPECT_EQ(s->At(140, 8), RGB(222, 223, 216));
    }
    Send(WM_LBUTTONUP, 0, ClientParam(140, 8));
}

TEST_F(HeaderTest, SortGlyphFollowsTheDirection) {
    AddColumn(60, "A");
    AddColumn(120, "Size");
    header().SetSortColumn(1);
    auto up = UtilityImage(3), down = UtilityImage(2);
    // A new header shows no sort glyphs.
    auto s = Paint();
    EXPECT_EQ(s->Find(*up, 0, 300).x, -1);
    header().SetOptions(header().Options() | hoShowSortGlyphs);
    s = Paint();
    POINT p = s->Find(*up, 60, 180);
    EXPECT_GE(p.x, 60 + 4 + 20) << "after the caption";
    EXPECT_EQ(s->Find(*down, 0, 300).x, -1);
    EXPECT_EQ(s->Find(*up, 0, 60).x, -1);
    header().SetSortDirection(sdDescending);
    s = Paint();
    EXPECT_GE(s->Find(*down, 60, 180).x, 60);
    EXPECT_EQ(s->Find(*up, 0, 300).x, -1);
    header().SetOptions(header().Options() & ~hoShowSortGlyphs);
    s = Paint();
    EXPECT_EQ(s->Find(*down, 0, 300).x, -1);
}

// The columns of ink (pixels other than the background) in a row band.
std::vector<bool> InkColumns(const Surface& s, int x0, int x1, COLORREF background) {
    std::vector<bool> ink;
    for (int x = x0; x < x1; ++x) {
        bool any = false;
        for (int y = 0; y < s.h(); ++y)
            any = any || s.At(x, y) != background;
        ink.push_back(any);
    }
    return ink;
}

TEST_F(HeaderTest, LongCaptionEndsInAnEllipsis) {
    header().SetStyle(hsXPStyle);   // a flat fill, so only the caption is ink
    AddColumn(70, "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    auto s = Paint();
    const COLORREF fill = RGB(235, 234, 219);
    // Above the three bottom lines and left of the separator.
    Surface band(66, 14, fill);
    BitBlt(band.dc(), 0, 0, 66, 14, s->dc(), 0, 0, SRCCOPY);
    std::vector<bool> ink = InkColumns(band, 0, 66, fill);
    int last = -1;
    for (int x = 0; x < 66; ++x)
        if (ink[x])
            last = x;
    ASSERT_GT(last, 0);
    EXPECT_LE(last, 70 - 2) << "the caption stays inside the cell";
    // The ink ends with the picture of "..." in the header font.
    Surface dots(40, 17, fill);
    SelectObject(dots.dc(), header().Font().Handle());
    SetBkMode(dots.dc(), TRANSPARENT);
    TextOutW(dots.dc(), 0, 0, L"...", 3);
    std::vector<bool> dotInk = InkColumns(dots, 0, 40, fill);
    int dotsLast = -1, dotsFirst = -1;
    for (int x = 0; x < 40; ++x)
        if (dotInk[x]) {
            dotsLast = x;
            if (dotsFirst < 0)
                dotsFirst = x;
        }
    ASSERT_GT(dotsLast, dotsFirst);
    const int span = dotsLast - dotsFirst + 1;
    for (int i = 0; i < span; ++i)
        EXPECT_EQ(ink[last - span + 1 + i], dotInk[dotsFirst + i]) << i;
}

TEST_F(HeaderTest, HotCaptionUsesTheHeaderHotColour) {
    Show();
    AddColumn(100, "HHHH");
    tree->Colors().SetColor(TVTColors::HeaderHotColorIndex, RGB(255, 0, 0));
    header().SetOptions(header().Options() | hoHotTrack);
    auto red = [](const Surface& s) {
        int n = 0;
        for (int y = 0; y < s.h(); ++y)
            for (int x = 0; x < 100; ++x)
                n += s.At(x, y) == RGB(255, 0, 0);
        return n;
    };
    EXPECT_EQ(red(*Paint()), 0);
    Send(WM_NCMOUSEMOVE, HTBORDER, ScreenParam(20, 8));
    EXPECT_GT(red(*Paint()), 10);
}

TEST_F(HeaderTest, ThemedCellsThroughTheThemeService) {
    ComCtlVersion v6(MAKELONG(0, 6));
    ASSERT_TRUE(GetThemeServices().ThemesEnabled());
    Show();
    ASSERT_TRUE(tree->HasState(tsUseThemes));
    AddColumn(100, "");
    AddColumn(80, "");
    header().SetSortColumn(0);
    header().SetOptions(header().Options() | hoShowSortGlyphs);
    auto s = Paint();
    // The same item drawn straight by the theme library.
    HTHEME theme = UxTheme::OpenThemeData(tree->Handle(), L"HEADER");
    ASSERT_NE(theme, nullptr);
    Surface ref(80, header().Height());
    RECT r{0, 0, 80, header().Height()};
    UxTheme::DrawThemeBackground(theme, ref.dc(), HP_HEADERITEM, HIS_NORMAL, &r, nullptr);
    UxTheme::CloseThemeData(theme);
    for (int x : {0, 1, 40, 78, 79})
        for (int y : {0, 8, header().Height() - 1})
            EXPECT_EQ(s->At(100 + x, y), ref.At(x, y)) << x << "," << y;
    // The themed pair of sort glyphs (5 ascending) is used.
    EXPECT_GE(s->Find(*UtilityImage(5), 0, 100).x, 0);
    EXPECT_EQ(s->Find(*UtilityImage(3), 0, 100).x, -1);
}

TEST_F(HeaderTest, OwnerDrawnColumns) {
    AddColumn(100, "text");
    TVirtualTreeColumn* drawn = AddColumn(80, "own");
    drawn->SetStyle(vsOwnerDraw);
    header().SetOptions(header().Options() | hoOwnerDraw);
    std::vector<TVirtualTreeColumn*> asked;
    tree->OnHeaderDraw = [&](TVTHeader*, TCanvas& canvas, TVirtualTreeColumn* c, const RECT& r, bool, bool,
                             TVTDropMarkMode) {
        asked.push_back(c);
        canvas.SetBrushColor(RGB(0, 0, 255));
        canvas.FillRect(r);
    };
    auto s = Paint();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], drawn);
    EXPECT_EQ(s->At(140, 8), RGB(0, 0, 255));
    EXPECT_NE(s->At(50, 8), RGB(0, 0, 255));

    // The advanced form: the application draws the backgrounds, the header the rest.
    std::vector<std::pair<TVirtualTreeColumn*, THeaderPaintElements>> drawnParts;
    tree->OnHeaderDrawQueryElements = [](TVTHeader*, THeaderPaintInfo&, THeaderPaintElements& e) {
        e = hpeBackground;
    };
    tree->OnAdvancedHeaderDraw = [&](TVTHeader*, THeaderPaintInfo& info, THeaderPaintElements e) {
        drawnParts.push_back({info.Column, e});
        info.TargetCanvas->SetBrushColor(RGB(0, 128, 0));
        info.TargetCanvas->FillRect(info.PaintRectangle);
    };
    s = Paint();
    ASSERT_EQ(drawnParts.size(), 3u);
    EXPECT_EQ(drawnParts[0].first, nullptr);
    EXPECT_EQ(drawnParts[2].first, drawn);
    for (auto& p : drawnParts)
        EXPECT_EQ(p.second, unsigned(hpeBackground));
    EXPECT_EQ(s->At(1, 1), RGB(0, 128, 0));
    EXPECT_EQ(s->At(250, 8), RGB(0, 128, 0));
}

// --- input ------------------------------------------------------------------------

TEST_F(HeaderTest, ClickReportsColumnButtonAndPoint) {
    Show();
    AddColumn(100, "a");
    AddColumn(80, "b");
    struct Click {
        TColumnIndex column;
        TMouseButton button;
        int x, y;
    };
    std::vector<Click> clicks;
    std::vector<std::string> order;
    tree->OnHeaderClick = [&](TVTHeader* h, TColumnIndex c, TMouseButton b, TShiftState, int x, int y) {
        EXPECT_EQ(h, &header());
        clicks.push_back({c, b, x, y});
        order.push_back("click");
    };
    tree->OnHeaderMouseDown = [&](TVTHeader*, TMouseButton, TShiftState, int, int) { order.push_back("down"); };
    tree->OnHeaderMouseUp = [&](TVTHeader*, TMouseButton, TShiftState, int, int) { order.push_back("up"); };
    EXPECT_TRUE(Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(130, 6)));
    EXPECT_EQ(GetCapture(), tree->Handle());
    EXPECT_TRUE(Send(WM_LBUTTONUP, 0, ClientParam(131, 7)));
    EXPECT_NE(GetCapture(), tree->Handle());
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].column, 1);
    EXPECT_EQ(clicks[0].button, TMouseButton::mbLeft);
    EXPECT_EQ(clicks[0].x, 131);
    EXPECT_EQ(clicks[0].y, 7);
    EXPECT_EQ(columns().ClickIndex(), 1);
    EXPECT_EQ(order, (std::vector<std::string>{"down", "click", "up"}));
    // Released over another column: no click. A column without coAllowClick: none either.
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(130, 6));
    Send(WM_LBUTTONUP, 0, ClientParam(30, 6));
    columns()[0]->SetOptions(columns()[0]->Options() & ~coAllowClick);
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(30, 6));
    Send(WM_LBUTTONUP, 0, ClientParam(30, 6));
    EXPECT_EQ(clicks.size(), 1u);
    // Right button: a click too.
    Send(WM_NCRBUTTONDOWN, HTBORDER, ScreenParam(150, 6));
    Send(WM_NCRBUTTONUP, HTBORDER, ScreenParam(150, 6));
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[1].button, TMouseButton::mbRight);
    // Outside the header nothing is taken.
    RECT client{};
    GetClientRect(tree->Handle(), &client);
    POINT inside{50, client.bottom / 2};
    ClientToScreen(tree->Handle(), &inside);
    EXPECT_FALSE(Send(WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(inside.x, inside.y)));
}

TEST_F(HeaderTest, DraggingABorderResizesTheColumn) {
    Show();
    AddColumn(100, "a");
    AddColumn(80, "b");
    std::vector<TColumnIndex> resized;
    tree->OnColumnResize = [&](TVTHeader*, TColumnIndex c) { resized.push_back(c); };
    // Cursor over the border is the split cursor, or the one the event gives.
    HCURSOR mine = LoadCursor(nullptr, IDC_CROSS);
    tree->OnGetHeaderCursor = [&](TVTHeader*, HCURSOR& c) {
        EXPECT_EQ(c, ScreenCursor(crHeaderSplit));
        c = mine;
    };
    RECT hr = header().HeaderRect();
    POINT border{101, hr.top + 8};
    ClientToScreen(tree->Handle(), &border);
    ASSERT_TRUE(MoveCursor(border));
    EXPECT_TRUE(Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(tree->Handle()), MAKELPARAM(HTBORDER, WM_MOUSEMOVE)));
    EXPECT_EQ(GetCursor(), mine);

    EXPECT_TRUE(Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(101, 8)));
    EXPECT_TRUE(header().States() & hsTrackPending);
    EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(131, 8)));
    EXPECT_EQ(columns()[0]->Width(), 131);   // from the column's left edge to the mouse
    EXPECT_EQ(columns()[1]->Left(), 131);
    EXPECT_TRUE(Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(3, 8)));
    EXPECT_EQ(columns()[0]->Width(), 10);    // not below the minimum
    EXPECT_TRUE(Send(WM_LBUTTONUP, 0, ClientParam(3, 8)));
    EXPECT_EQ(header().States() & (hsTracking | hsTrackPending), 0u);
    EXPECT_FALSE(resized.empty());
    EXPECT_EQ(resized.back(), 0);
    // A column that is not resizable has no border to drag.
    columns()[0]->SetOptions(columns()[0]->Options() & ~coResizable);
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(11, 8));
    EXPECT_EQ(header().States() & hsTrackPending, 0u);
    Send(WM_LBUTTONUP, 0, ClientParam(11, 8));
}

// Whatever moves the cells, the screen ends up showing the header as a
// fresh paint draws it: the cells right of a resized or hidden column too.
TEST_F(HeaderTest, CellsRightOfAChangedColumnAreRepainted) {
    AddColumn(100, "first");
    AddColumn(80, "second");
    AddColumn(90, "third");
    Show();
    RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    const int w = 300, h = static_cast<int>(header().Height());
    auto staleOnScreen = [&] {
        Surface shown(w, h);
        RECT hr = header().HeaderRect();
        POINT origin{0, hr.top};
        ClientToScreen(tree->Handle(), &origin);
        HDC screen = GetDC(nullptr);
        BitBlt(shown.dc(), 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
        ReleaseDC(nullptr, screen);
        auto fresh = Paint(w);
        int stale = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                stale += shown.At(x, y) != fresh->At(x, y);
        return stale;
    };
    auto settles = [&] { return PumpUntil([&] { return staleOnScreen() == 0; }, 20000); };
    ASSERT_TRUE(settles()) << staleOnScreen() << " pixels stale after the first paint";

    columns()[0]->SetWidth(60);
    EXPECT_TRUE(settles()) << staleOnScreen() << " pixels stale after SetWidth";
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(61, 8));
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(120, 8));
    Send(WM_LBUTTONUP, 0, ClientParam(120, 8));
    ASSERT_EQ(columns()[0]->Width(), 120);
    EXPECT_TRUE(settles()) << staleOnScreen() << " pixels stale after dragging the border";
    columns()[1]->SetOptions(columns()[1]->Options() & ~coVisible);
    EXPECT_TRUE(settles()) << staleOnScreen() << " pixels stale after hiding a column";
}

TEST_F(HeaderTest, DraggingAColumnMovesIt) {
    Show();
    for (int i = 0; i < 4; ++i)
        AddColumn(60, std::string(1, char('a' + i)));
    std::vector<TColumnIndex> asked;
    std::vector<std::pair<TColumnIndex, int>> dragged;
    tree->OnHeaderDragging = [&](TVTHeader*, TColumnIndex c, bool& allowed) {
        asked.push_back(c);
        allowed = true;
    };
    tree->OnHeaderDragged = [&](TVTHeader*, TColumnIndex c, int oldPosition) { dragged.push_back({c, oldPosition}); };
    int clicks = 0;
    tree->OnHeaderClick = [&](TVTHeader*, TColumnIndex, TMouseButton, TShiftState, int, int) { ++clicks; };

    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(30, 8));
    EXPECT_TRUE(header().States() & hsDragPending);
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(33, 8));   // within the threshold
    EXPECT_TRUE(asked.empty());
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(100, 8));
    ASSERT_EQ(asked, (std::vector<TColumnIndex>{0}));
    EXPECT_TRUE(header().States() & hsDragging);
    EXPECT_EQ(columns().DragIndex(), 0);
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(135, 8));   // left half of column 2
    EXPECT_EQ(columns().DropTarget(), 2);
    EXPECT_TRUE(columns().DropBefore());
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(170, 8));   // right half of column 2
    EXPECT_EQ(columns().DropTarget(), 2);
    EXPECT_FALSE(columns().DropBefore());
    Send(WM_LBUTTONUP, 0, ClientParam(170, 8));
    EXPECT_EQ(columns().PositionToIndex(), (std::vector<TColumnIndex>{1, 2, 0, 3}));
    ASSERT_EQ(dragged.size(), 1u);
    EXPECT_EQ(dragged[0], std::make_pair(TColumnIndex(0), 0));
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(columns().DragIndex(), -1);

    // Refused by the event: no drag, the order stays.
    tree->OnHeaderDragging = [](TVTHeader*, TColumnIndex, bool& allowed) { allowed = false; };
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(30, 8));
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(200, 8));
    EXPECT_EQ(header().States() & hsDragging, 0u);
    Send(WM_LBUTTONUP, 0, ClientParam(200, 8));
    EXPECT_EQ(columns().PositionToIndex(), (std::vector<TColumnIndex>{1, 2, 0, 3}));

    // Escape cancels a running drag; dropping outside the header is a drag out.
    tree->OnHeaderDragging = nullptr;
    std::vector<TColumnIndex> out;
    tree->OnHeaderDraggedOut = [&](TVTHeader*, TColumnIndex c, POINT) { out.push_back(c); };
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(30, 8));
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(200, 8));
    ASSERT_TRUE(header().States() & hsDragging);
    EXPECT_TRUE(Send(WM_KEYDOWN, VK_ESCAPE, 0));
    EXPECT_EQ(header().States() & (hsDragging | hsDragPending), 0u);
    EXPECT_EQ(columns().DropTarget(), -1);
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(30, 8));
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(200, 8));
    Send(WM_LBUTTONUP, 0, ClientParam(200, 120));
    EXPECT_EQ(out, (std::vector<TColumnIndex>{1}));
    EXPECT_EQ(columns().PositionToIndex(), (std::vector<TColumnIndex>{1, 2, 0, 3}));
}

TEST_F(HeaderTest, DoubleClickOnABorderFitsTheWidestCell) {
    Show();
    AddColumn(100, "a");
    AddColumn(60, "b");
    header().SetOptions(header().Options() | hoDblClickResize);
    tree->OnGetNodeWidth = [](TBaseVirtualTree*, TCanvas*, PVirtualNode node, TColumnIndex column, int& width) {
        width = column == 1 ? 70 + int(node->Index) : 5;
    };
    tree->SetRootNodeCount(8);
    std::vector<TColumnIndex> dbl;
    tree->OnHeaderDblClick = [&](TVTHeader*, TColumnIndex c, TMouseButton, TShiftState shift, int, int) {
        dbl.push_back(c);
        EXPECT_TRUE(shift & ssDouble);
    };
    EXPECT_TRUE(Send(WM_NCLBUTTONDBLCLK, HTBORDER, ScreenParam(160, 8)));
    // The cell's margin of 4 and the widest node width 77: the tree's own measure.
    EXPECT_EQ(columns()[1]->Width(), 81);
    EXPECT_EQ(tree->MaxColumnWidth(1), 81);
    EXPECT_TRUE(dbl.empty());
    Send(WM_NCLBUTTONDBLCLK, HTBORDER, ScreenParam(50, 8));
    EXPECT_EQ(dbl, (std::vector<TColumnIndex>{0}));
    // Restoring animates back to the width before.
    header().RestoreColumns();
    EXPECT_EQ(columns()[1]->Width(), 60);
}

TEST_F(HeaderTest, HoverFollowsTheMouseAndLeavesWithIt) {
    Show();
    AddColumn(100, "a");
    AddColumn(80, "b");
    std::vector<int> moves;
    tree->OnHeaderMouseMove = [&](TVTHeader*, TShiftState, int x, int) { moves.push_back(x); };
    Send(WM_NCMOUSEMOVE, HTBORDER, ScreenParam(150, 5));
    EXPECT_EQ(columns().HoverIndex(), 1);
    EXPECT_EQ(moves, (std::vector<int>{150}));
    // The header's timer notices the mouse is gone.
    RECT client{};
    GetClientRect(tree->Handle(), &client);
    POINT away{client.right / 2, client.bottom / 2};
    ClientToScreen(tree->Handle(), &away);
    ASSERT_TRUE(MoveCursor(away));
    EXPECT_TRUE(Send(WM_TIMER, kHeaderTimer, 0));
    EXPECT_EQ(columns().HoverIndex(), -1);
}

}  // namespace

namespace {

TEST_F(HeaderTest, ColumnHintShowsWhileTheMouseIsOverTheColumn) {
    Show();
    tree->SetHintAnimation(hatNone);
    AddColumn(100, "a");
    AddColumn(80, "b")->SetHint("Size of the file");
    Send(WM_NCMOUSEMOVE, HTBORDER, ScreenParam(150, 5));
    EXPECT_EQ(header().HintWindow(), nullptr) << "no hints without hoShowHint";
    header().SetOptions(header().Options() | hoShowHint);
    Send(WM_NCMOUSEMOVE, HTBORDER, ScreenParam(40, 5));   // no hint text there
    EXPECT_EQ(header().HintWindow(), nullptr);
    Send(WM_NCMOUSEMOVE, HTBORDER, ScreenParam(150, 5));
    ASSERT_NE(header().HintWindow(), nullptr);
    EXPECT_TRUE(IsWindowVisible(header().HintWindow()->Handle()));
    EXPECT_EQ(header().HintWindow()->HintText(), "Size of the file");
    Send(WM_NCMOUSEMOVE, HTBORDER, ScreenParam(40, 5));
    EXPECT_FALSE(IsWindowVisible(header().HintWindow()->Handle()));
    Send(WM_NCMOUSEMOVE, HTBORDER, ScreenParam(150, 5));
    EXPECT_TRUE(IsWindowVisible(header().HintWindow()->Handle()));
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(150, 5));   // a press hides it
    EXPECT_FALSE(IsWindowVisible(header().HintWindow()->Handle()));
    Send(WM_LBUTTONUP, 0, ClientParam(150, 5));
}

TEST_F(HeaderTest, DropMarkAndImagesArePainted) {
    Show();
    TCustomImageList images(nullptr, 16, 16);
    TBitmap picture;
    picture.SetSize(16, 16);
    picture.Canvas().SetBrushColor(RGB(0, 200, 0));
    picture.Canvas().FillRect(RECT{0, 0, 16, 16});
    ASSERT_EQ(images.Add(picture), 0);
    header().SetImages(&images);
    for (int i = 0; i < 3; ++i)
        AddColumn(60, "x");
    columns()[2]->SetImageIndex(0);
    auto greens = [](const Surface& s, int x0, int x1) {
        int n = 0;
        for (int y = 0; y < s.h(); ++y)
            for (int x = x0; x < x1; ++x)
                n += s.At(x, y) == RGB(0, 200, 0);
        return n;
    };
    EXPECT_EQ(greens(*Paint(), 0, 300), 0) << "images only with hoShowImages";
    header().SetOptions(header().Options() | hoShowImages);
    auto s = Paint();
    EXPECT_EQ(greens(*s, 120, 180), 16 * 16);
    EXPECT_EQ(greens(*s, 0, 120), 0);
    // Dragging column 0 over the right half of column 1: the drop mark on its right side.
    Send(WM_NCLBUTTONDOWN, HTBORDER, ScreenParam(20, 8));
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(100, 8));
    ASSERT_EQ(columns().DropTarget(), 1);
    s = Paint();
    EXPECT_GE(s->Find(*UtilityImage(1), 104, 120).x, 104);
    EXPECT_EQ(s->Find(*UtilityImage(0), 60, 120).x, -1);
    Send(WM_MOUSEMOVE, MK_LBUTTON, ClientParam(70, 8));
    EXPECT_TRUE(columns().DropBefore());
    s = Paint();
    EXPECT_EQ(s->Find(*UtilityImage(0), 60, 76).x, 60) << s->Find(*UtilityImage(0), 0, 300).x;
    Send(WM_KEYDOWN, VK_ESCAPE, 0);
    header().SetImages(nullptr);
}

namespace {
int imageListChanges = 0;
void CountImageListChange(TObject*) { ++imageListChanges; }
}  // namespace

// The header hears of its image list's changes without taking the list's
// OnChange from the application.
TEST_F(HeaderTest, ImagesLeaveTheListsOnChangeToTheApplication) {
    TCustomImageList images(nullptr, 16, 16);
    images.OnChange = CountImageListChange;
    header().SetImages(&images);
    EXPECT_NE(images.OnChange.target<void (*)(TObject*)>(), nullptr);
    header().SetImages(nullptr);
    imageListChanges = 0;
    TBitmap picture;
    picture.SetSize(16, 16);
    ASSERT_EQ(images.Add(picture), 0);
    EXPECT_EQ(imageListChanges, 1);
    EXPECT_NE(images.OnChange.target<void (*)(TObject*)>(), nullptr);
}

TEST_F(HeaderTest, SortColumnSortsWithAutoSort) {
    AddColumn(60);
    AddColumn(60);
    tree->SetRootNodeCount(3);
    std::vector<TColumnIndex> asked;
    tree->OnCompareNodes = [&](TBaseVirtualTree*, PVirtualNode a, PVirtualNode b, TColumnIndex c, int& r) {
        asked.push_back(c);
        // Nodes by their index when they were made, through the first child order.
        r = reinterpret_cast<intptr_t>(a) < reinterpret_cast<intptr_t>(b) ? -1 : 1;
    };
    std::vector<PVirtualNode> made;
    for (PVirtualNode n = tree->GetFirstChild(nullptr); n; n = n->NextSibling)
        made.push_back(n);
    std::sort(made.begin(), made.end());
    header().SetSortColumn(1);
    EXPECT_TRUE(asked.empty()) << "no sorting without toAutoSort";
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoSort);
    header().SetSortColumn(0);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), 0);
    EXPECT_EQ(tree->GetFirstChild(nullptr), made.front());
    header().SetSortDirection(sdDescending);
    EXPECT_EQ(tree->GetFirstChild(nullptr), made.back());
}

TEST_F(HeaderTest, FontsAndAssign) {
    tree->Font().SetName("Courier New");
    header().SetParentFont(true);
    EXPECT_EQ(header().Font().Name(), "Courier New");
    TFont own;
    own.SetName("Tahoma");
    header().SetFont(own);
    EXPECT_FALSE(header().ParentFont());
    EXPECT_EQ(header().Font().Name(), "Tahoma");
    own.SetHeight(-10);
    header().SetFont(own);
    header().ChangeScale(3, 2);
    EXPECT_EQ(header().Font().Height(), -15);

    AddColumn(70, "one");
    AddColumn(30, "two");
    columns()[1]->SetPosition(0);
    header().SetSortColumn(1);
    header().SetStyle(hsPlates);
    TVirtualDrawTree other(nullptr);
    other.Header().Assign(header());
    EXPECT_TRUE(other.Header().Columns().Equals(columns()));
    EXPECT_EQ(other.Header().SortColumn(), 1);
    EXPECT_EQ(other.Header().Style(), hsPlates);
    EXPECT_EQ(other.Header().Font().Name(), "Tahoma");
    EXPECT_EQ(other.Header().Columns()[0]->Left(), 30);
}

// Real mouse input on a shown tree: the header is drawn in the window's
// non-client area, and a click there reaches the header's click event.
TEST_F(HeaderTest, RealClickOnThePaintedHeader) {
    header().SetStyle(hsXPStyle);
    // Column dragging off: under Wine on a loaded machine the X server may
    // report the mouse where an earlier test left it after the press, which
    // would make the press a column drag.
    header().SetOptions(header().Options() & ~hoDrag);
    AddColumn(100, "");
    AddColumn(80, "");
    Show();
    RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    RECT hr = header().HeaderRect();
    POINT cell{140, hr.top + 6};
    ClientToScreen(tree->Handle(), &cell);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, cell.x, cell.y), RGB(235, 234, 219));
    ReleaseDC(nullptr, screen);
    std::vector<TColumnIndex> clicks;
    tree->OnHeaderClick = [&](TVTHeader*, TColumnIndex c, TMouseButton, TShiftState, int, int) {
        clicks.push_back(c);
    };
    ASSERT_TRUE(SendInputPumping(MouseClickAt(cell)));
    EXPECT_TRUE(PumpUntil([&] { return !clicks.empty(); }, 20000)) << "the header did not handle the click within 20 s";
    EXPECT_EQ(clicks, (std::vector<TColumnIndex>{1}));
}

}  // namespace
