// The list-frame base on a real form: the column layout through the real
// registry (round trip, the defaults for missing and short values), the
// three-state sort through real clicks on the painted header, the header of
// a one-column frame, and the node operations with the records they own.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Frame/VSTFr.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "platform/Form.h"
#include "platform/Registry.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kKey[] = "Software\\Zembrik\\BrenixTest\\Frames\\Columns";

// A frame with a number of columns named c0, c1 ... (width 60 + 5 * index);
// rows sort by their text in any column. It counts the layout calls it gets.
class TestFrame : public TVSTFrame {
public:
    TestFrame(TComponent* owner, int columns) : TVSTFrame(owner), columns_(columns) { Setup(); }
    void SetupTree() override
    {
        TVSTFrame::SetupTree();
        VSTree->TreeOptions().SetAutoOptions(VSTree->TreeOptions().AutoOptions() | toAutoSort);
        for (int i = 0; i < columns_; ++i)
            AddColumnDef("c" + std::to_string(i), "Col " + std::to_string(i), true, i % 3, 60 + 5 * i);
        SetupHeader();
    }
    void SaveLayout(TRegistry& reg) override { reg.WriteInteger("Extra", 77); }
    void LoadLayout(TRegistry& reg) override { reg.TryReadInteger("Extra", loadedExtra); }
    // Unsorted (no sort column): no order of its own.
    int CompareNodes(PVirtualNode a, PVirtualNode b, TColumnIndex column) override
    {
        return column < 0 ? 0 : NodeText(a).compare(NodeText(b));
    }
    int loadedExtra = 0;

private:
    int columns_;
};

// Counts its own destruction.
struct Counted : TObject {
    explicit Counted(int& gone) : gone_(gone) {}
    ~Counted() override { ++gone_; }
    int& gone_;
};
struct PlainRecord {
    explicit PlainRecord(int& gone) : gone_(gone) {}
    ~PlainRecord() { ++gone_; }
    int& gone_;
};

class VSTFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TRegistry().DeleteKey(kKey);
        form = new TForm(nullptr);
        form->SetBounds(30, 30, 700, 360);
    }
    void TearDown() override
    {
        delete form;
        TRegistry().DeleteKey(kKey);
    }
    TestFrame* MakeFrame(int columns)
    {
        auto* f = new TestFrame(form, columns);
        f->SetParent(form);
        return f;
    }
    static TVirtualTreeColumns& Cols(TVSTFrame* f) { return f->VSTree->Header().Columns(); }
    static void WriteKey(const std::vector<std::pair<std::string, std::string>>& values)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        for (auto& [name, value] : values) {
            if (name.rfind("Sort", 0) == 0)
                reg.WriteInteger(name, std::stoi(value));
            else
                reg.WriteString(name, value);
        }
    }
    TForm* form = nullptr;
};

TEST_F(VSTFrameTest, ColumnLayoutRoundTripsThroughTheRegistry)
{
    TestFrame* a = MakeFrame(14);
    ASSERT_EQ(Cols(a).Count(), 14);
    EXPECT_EQ(a->ColumnCaptions().substr(0, 12), "Col 0;Col 1;");
    EXPECT_EQ(Cols(a)[5]->Tag(), 5);
    EXPECT_EQ(Cols(a)[2]->Alignment(), TAlignment::taCenter);
    Cols(a)[1]->SetWidth(33);
    Cols(a)[3]->SetOptions(Cols(a)[3]->Options() & ~coVisible);
    Cols(a)[13]->SetPosition(0);   // every other column moves one to the right
    a->VSTree->Header().SetSortColumn(4);
    a->VSTree->Header().SetSortDirection(sdDescending);
    a->SaveColumns(kKey);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.ReadString("ColSizes"), "60;33;70;75;80;85;90;95;100;105;110;115;120;125;");
    EXPECT_EQ(reg.ReadString("ColVisible"), "1;1;1;0;1;1;1;1;1;1;1;1;1;1;");
    EXPECT_EQ(reg.ReadString("ColPos"), "1;2;3;4;5;6;7;8;9;10;11;12;13;0;");
    EXPECT_EQ(reg.ReadInteger("SortDir"), 1);
    EXPECT_EQ(reg.ReadInteger("SortColumn"), 4);
    EXPECT_EQ(reg.ReadInteger("Extra"), 77);
    reg.CloseKey();

    TestFrame* b = MakeFrame(14);
    b->LoadColumns(kKey);
    for (int i = 0; i < 14; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Cols(b)[i]->Width(), Cols(a)[i]->Width());
        EXPECT_EQ(Cols(b)[i]->Visible(), Cols(a)[i]->Visible());
        EXPECT_EQ(Cols(b)[i]->Position(), Cols(a)[i]->Position());
    }
    EXPECT_EQ(b->VSTree->Header().SortColumn(), 4);
    EXPECT_EQ(b->VSTree->Header().SortDirection(), sdDescending);
    EXPECT_EQ(b->loadedExtra, 77);

    // A language switch builds the header again: widths, visibility, order
    // and sort stay.
    b->SetColumnCaption("c1", "Renamed");
    b->SetupHeader();
    EXPECT_EQ(Cols(b)[1]->Text(), "Renamed");
    EXPECT_EQ(Cols(b)[1]->Width(), 33);
    EXPECT_FALSE(Cols(b)[3]->Visible());
    EXPECT_EQ(Cols(b)[13]->Position(), 0);
    EXPECT_EQ(b->VSTree->Header().SortColumn(), 4);
}

TEST_F(VSTFrameTest, MissingAndShortValuesGiveTheDefaults)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> values;
        std::vector<int> widths;       // per column
        std::vector<bool> visible;     // per column
        std::vector<int> positions;    // per column
    };
    const std::vector<bool> first13(13, true);
    std::vector<bool> defaultVisible = first13;
    defaultVisible.push_back(false);
    const std::vector<int> all150(14, 150);
    const std::vector<int> inOrder{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    const std::vector<Case> cases{
        {"empty key", {{"Other", "x"}}, all150, defaultVisible, inOrder},
        {"short sizes, no ColVisible",
         {{"ColSizes", "10;20;"}},
         {10, 20, 150, 150, 150, 150, 150, 150, 150, 150, 150, 150, 150, 150},
         defaultVisible,
         inOrder},
        {"bad numbers and short lists",
         {{"ColSizes", "x;40;;"}, {"ColVisible", "0;;1;"}, {"ColPos", "1;0;"}, {"SortColumn", "99"}},
         {150, 40, 150, 150, 150, 150, 150, 150, 150, 150, 150, 150, 150, 150},
         {false, true, true, true, true, true, true, true, true, true, true, true, true, false},
         {1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
        {"all fourteen shown",
         {{"ColVisible", "1;1;1;1;1;1;1;1;1;1;1;1;1;1;"}},
         all150,
         std::vector<bool>(14, true),
         inOrder},
        // A list shows one column at least: the first in the stored order.
        {"every column hidden",
         {{"ColVisible", "0;0;0;0;0;0;0;0;0;0;0;0;0;0;"}, {"ColPos", "1;0;"}},
         all150,
         {false, true, false, false, false, false, false, false, false, false, false, false, false, false},
         {1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRegistry().DeleteKey(kKey);
        WriteKey(c.values);
        TestFrame* f = MakeFrame(14);
        f->LoadColumns(kKey);
        for (int i = 0; i < 14; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(Cols(f)[i]->Width(), c.widths[static_cast<size_t>(i)]);
            EXPECT_EQ(Cols(f)[i]->Visible(), c.visible[static_cast<size_t>(i)]);
            EXPECT_EQ(Cols(f)[i]->Position(), c.positions[static_cast<size_t>(i)]);
        }
        // A sort column that does not exist sorts nothing.
        EXPECT_EQ(f->VSTree->Header().SortColumn(), NoColumn);
        delete f;
    }
    // No key at all: the definitions stay as they are.
    TRegistry().DeleteKey(kKey);
    TestFrame* f = MakeFrame(14);
    f->LoadColumns(kKey);
    EXPECT_EQ(Cols(f)[13]->Width(), 125);
    EXPECT_TRUE(Cols(f)[13]->Visible());
}

TEST_F(VSTFrameTest, ThreeClicksOnAHeaderSortUpDownAndOff)
{
    ASSERT_TRUE(HaveDisplay());
    TestFrame* f = MakeFrame(3);
    for (const char* text : {"b", "c", "a"})
        f->AddNode(nullptr, nullptr, false, text, 0);
    form->Show();
    f->VSTree->HandleNeeded();
    Pump(100);
    RedrawWindow(f->VSTree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    auto order = [&] {
        std::string s;
        for (PVirtualNode n = f->VSTree->GetFirstNoInit(); n; n = n->NextSibling)
            s += f->NodeText(n);
        return s;
    };
    RECT hr = f->VSTree->Header().HeaderRect();
    ASSERT_GT(hr.bottom - hr.top, 10);
    POINT onColumn1{Cols(f)[1]->Left() + 10, hr.top + (hr.bottom - hr.top) / 2};
    ClientToScreen(f->VSTree->Handle(), &onColumn1);
    struct Step {
        TColumnIndex column;
        TSortDirection direction;
        const char* order;
    };
    const Step steps[] = {{1, sdAscending, "abc"}, {1, sdDescending, "cba"}, {NoColumn, sdAscending, "bca"}};
    TVTHeader& header = f->VSTree->Header();
    auto sortIs = [&](TColumnIndex column, TSortDirection direction) {
        return PumpUntil([&] { return header.SortColumn() == column && header.SortDirection() == direction; },
                         3000);
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(SendInputPumping(MouseClickAt(onColumn1)));
        EXPECT_TRUE(sortIs(s.column, s.direction));
        EXPECT_EQ(order(), s.order);
        Sleep(GetDoubleClickTime() + 50);   // apart, so no click counts as a double click
    }
    f->RefreshTree(true);   // unsorted stays the order the rows were added in
    EXPECT_EQ(order(), "bca");
    // Another column takes over with the direction it finds.
    header.SetSortColumn(0);
    header.SetSortDirection(sdDescending);
    POINT onColumn2{Cols(f)[2]->Left() + 10, hr.top + (hr.bottom - hr.top) / 2};
    ClientToScreen(f->VSTree->Handle(), &onColumn2);
    ASSERT_TRUE(SendInputPumping(MouseClickAt(onColumn2)));
    EXPECT_TRUE(sortIs(2, sdDescending));
}

TEST_F(VSTFrameTest, OneColumnShowsNoHeader)
{
    TestFrame* one = MakeFrame(1);
    TestFrame* two = MakeFrame(2);
    form->Show();
    Pump(50);
    EXPECT_FALSE(one->VSTree->Header().Options() & hoVisible);
    EXPECT_TRUE(one->VSTree->Header().Options() & hoAutoResize);
    EXPECT_EQ(one->VSTree->Header().AutoSizeIndex(), 0);
    RECT r = one->VSTree->Header().HeaderRect();
    EXPECT_EQ(r.bottom - r.top, 0);
    EXPECT_TRUE(two->VSTree->Header().Options() & hoVisible);
    EXPECT_TRUE(two->VSTree->Header().Options() & hoShowSortGlyphs);
    EXPECT_FALSE(two->VSTree->Header().Options() & hoAutoResize);
    r = two->VSTree->Header().HeaderRect();
    EXPECT_GT(r.bottom - r.top, 10);
}

TEST_F(VSTFrameTest, NodesOwnTheirTextAndObject)
{
    TestFrame* f = MakeFrame(3);
    f->VSTree->TreeOptions().SetAutoOptions(f->VSTree->TreeOptions().AutoOptions() & ~toAutoSort);
    std::vector<std::string> changes;
    f->OnNodeChange = [&](TObject* sender, const std::string& text, int kind, TObject* object) {
        EXPECT_EQ(sender, f);
        changes.push_back(text + "/" + std::to_string(kind) + (object ? "/obj" : ""));
    };
    int gone = 0;
    PVirtualNode top = f->AddNode(nullptr, new Counted(gone), true, "Total", 0);
    PVirtualNode group = f->AddNode(top, NodeOwned(new PlainRecord(gone)), false, "\xd0\x9a\xd0\xbe\xd0\xbc\xd0\xbf", 1);
    PVirtualNode c1 = f->AddNode(group, new Counted(gone), false, "", 2);
    PVirtualNode c2 = f->InsertNode(c1, nullptr, "second", 2);
    EXPECT_EQ(f->FocusedNode(), c2);
    EXPECT_EQ(f->VSTree->SelectedCount(), 1u);
    EXPECT_EQ(f->NodeData(c1)->level, 2);
    EXPECT_EQ(f->NodeData(group)->level, 1);
    EXPECT_EQ(f->NodeKind(group), 1);
    EXPECT_NE(f->NodeObjectOf<PlainRecord>(group), nullptr);
    EXPECT_EQ(f->NodeObjectOf<Counted>(group), nullptr);
    EXPECT_NE(f->NodeObjectOf<Counted>(top), nullptr);
    // Found ignoring case, Cyrillic too.
    EXPECT_EQ(f->FindNodeByText("\xd0\xba\xd0\x9e\xd0\x9c\xd0\x9f"), group);
    EXPECT_EQ(f->FindNodeByText("SECOND"), c2);
    EXPECT_EQ(f->FindNodeByText("none"), nullptr);

    // Column 0 shows the node's text, the others nothing, until the frame's event speaks.
    EXPECT_EQ(f->VSTree->Text(top, 0), "Total");
    EXPECT_EQ(f->VSTree->Text(top, 1), "");
    f->OnGetNodeText = [&](TObject*, TBaseVirtualTree* tree, PVirtualNode node, std::string& text, TVSTTextType,
                           TColumnIndex column) {
        EXPECT_EQ(tree, f->VSTree);
        if (column == 1)
            text = text + "k" + std::to_string(f->NodeKind(node));
    };
    EXPECT_EQ(f->VSTree->Text(c2, 1), "k2");
    EXPECT_EQ(f->VSTree->Text(c2, 0), "second");

    // Deleting the last child selects the node before it; a middle one its next sibling.
    EXPECT_EQ(f->DeleteNode(c2), c1);
    EXPECT_EQ(f->FocusedNode(), c1);
    EXPECT_TRUE(f->VSTree->Selected(c1));
    PVirtualNode c3 = f->AddNode(group, nullptr, false, "third", 2);
    EXPECT_EQ(f->DeleteNode(c1), c3);
    EXPECT_EQ(gone, 1);
    f->DeleteNode(top);
    EXPECT_EQ(gone, 3);
    EXPECT_EQ(f->VSTree->TotalCount(), 0u);
    Pump(50);
    EXPECT_FALSE(changes.empty());
    EXPECT_EQ(changes.front(), "Total/0/obj");

    // What is left goes with the frame.
    f->AddNode(nullptr, new Counted(gone), false, "x", 0);
    delete f;
    EXPECT_EQ(gone, 4);
}

TEST_F(VSTFrameTest, CaptionStripShowsAboveTheList)
{
    ASSERT_TRUE(HaveDisplay());
    TestFrame* f = MakeFrame(2);
    f->SetCaption("Log");
    form->Show();
    Pump(50);
    EXPECT_EQ(f->CaptionLabel->Caption(), "Log");
    EXPECT_FALSE(f->ShowCaption());
    EXPECT_EQ(f->VSTree->Top(), 0);
    f->SetShowCaption(true);
    Pump(50);
    const int strip = GetSystemMetrics(SM_CYSMCAPTION);
    EXPECT_EQ(f->CaptionLabel->Height(), strip);
    EXPECT_EQ(f->CaptionLabel->Width(), f->Width());
    EXPECT_EQ(f->VSTree->Top(), strip);
    EXPECT_EQ(f->VSTree->Height(), f->Height() - strip);
    // Grey at the strip's left end, white bold text in its middle.
    UpdateWindow(f->Handle());
    HDC dc = GetDC(f->Handle());
    EXPECT_EQ(GetPixel(dc, 2, strip / 2), RGB(0x80, 0x80, 0x80));
    int white = 0;
    for (int x = f->Width() / 2 - 20; x < f->Width() / 2 + 20; ++x)
        for (int y = 0; y < strip; ++y)
            white += GetPixel(dc, x, y) == RGB(0xFF, 0xFF, 0xFF);
    ReleaseDC(f->Handle(), dc);
    EXPECT_GT(white, 5);
    f->SetShowCaption(false);
    EXPECT_EQ(f->VSTree->Top(), 0);
}

}  // namespace
