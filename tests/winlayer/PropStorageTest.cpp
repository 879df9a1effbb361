#include <gtest/gtest.h>

#include "controls/Placement.h"
#include "controls/PropStorage.h"
#include "platform/Form.h"
#include "platform/Registry.h"
#include "platform/StdCtrls.h"
#include "platform/StringList.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kKey[] = "Software\\Zembrik\\BrenixTest\\PropStorage";

// Stands in for a toolbar dock.
class TTestDock : public TComponent {
public:
    explicit TTestDock(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }
};

// Stands in for the main toolbar: a dock reference and one property of
// every other kind the storage knows.
class TTestToolbar : public TComponent {
public:
    explicit TTestToolbar(TComponent* owner) : TComponent(owner) { SetName("MainTBToolbar"); }
    TComponent* dock = nullptr;
    int pos = 0, row = 0, mode = 0;
    double ratio = 0;
    unsigned sides = 0;
    std::string title;
    TStringList lines;
    long long big = 0;
    char mark = 'a';

    void SetDock(TComponent* d)
    {
        if (dock)
            dock->RemoveFreeNotification(this);
        dock = d;
        if (d)
            d->FreeNotification(this);
    }
    const TPropTable& Published() const override
    {
        static const TPropTable table = [this] {
            TPropTable t(&this->TComponent::Published());
            using B = TTestToolbar;
            TPropTableOf<B>(t)
                .Component("CurrentDock", [](B& b) { return b.dock; }, [](B& b, TComponent* d) { b.SetDock(d); })
                .Int("DockPos", [](B& b) { return b.pos; }, [](B& b, int v) { b.pos = v; })
                .Int("DockRow", [](B& b) { return b.row; }, [](B& b, int v) { b.row = v; })
                .Enum("DockMode", {"dmCanFloat", "dmCannotFloat"}, [](B& b) { return b.mode; },
                      [](B& b, int v) { b.mode = v; })
                .Float("Ratio", [](B& b) { return b.ratio; }, [](B& b, double v) { b.ratio = v; })
                .Set("Sides", {"akLeft", "akTop", "akRight", "akBottom"}, [](B& b) { return b.sides; },
                     [](B& b, unsigned v) { b.sides = v; })
                .String("Title", [](B& b) { return b.title; }, [](B& b, const std::string& s) { b.title = s; })
                .Strings("Lines", [](B& b) { return &b.lines; })
                .Int64("Big", [](B& b) { return b.big; }, [](B& b, long long v) { b.big = v; })
                .Char("Mark", [](B& b) { return b.mark; }, [](B& b, char c) { b.mark = c; });
            return t;
        }();
        return table;
    }

protected:
    void Notification(TComponent* c, TOperation op) override
    {
        TComponent::Notification(c, op);
        if (op == TOperation::opRemove && c == dock)
            dock = nullptr;
    }
};

// A form with two docks, the toolbar and a storage for the given lines.
struct DockForm : TForm {
    explicit DockForm(const std::vector<std::string>& props, const std::string& name = "MainForm") : TForm(nullptr)
    {
        SetName(name);
        BeginLoading();
        top = new TTestDock(this, "TopDock");
        bottom = new TTestDock(this, "BottomDock");
        bar = new TTestToolbar(this);
        bar->SetDock(top);
        storage = new TFormStorage(this);
        storage->SetUseRegistry(true);
        storage->SetIniFileName(kKey);
        storage->SetIniSection("Main");
        storage->SetOptions(0);
        for (const auto& p : props)
            storage->StoredProps().Add(p);
        EndLoading();
    }
    TTestDock* top;
    TTestDock* bottom;
    TTestToolbar* bar;
    TFormStorage* storage;
};

std::string RegText(const std::string& section, const std::string& name)
{
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    std::string v = "<absent>";
    if (r.OpenKeyReadOnly(std::string(kKey) + "\\" + section))
        r.TryReadString(name, v);
    return v;
}

void RegWrite(const std::string& section, const std::string& name, const std::string& value)
{
    TRegistry r;
    ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\" + section, true));
    r.WriteString(name, value);
}

struct PropStorageTest : ::testing::Test {
    void SetUp() override { TRegistry().DeleteKey(kKey); }
    void TearDown() override { TRegistry().DeleteKey(kKey); }
};

}  // namespace

TEST_F(PropStorageTest, DockReferenceIsStoredAsTheDockNameAndRestoredToTheSameDock)
{
    const std::vector<std::string> props = {"MainTBToolbar.CurrentDock", "MainTBToolbar.DockPos",
                                            "MainTBToolbar.DockRow"};
    {
        DockForm f(props);
        f.bar->SetDock(f.bottom);
        f.bar->pos = 37;
        f.bar->row = 2;
        f.storage->SaveProperties();
    }
    EXPECT_EQ(RegText("Main", "MainTBToolbar_CurrentDock"), "BottomDock");
    EXPECT_EQ(RegText("Main", "MainTBToolbar_DockPos"), "37");
    EXPECT_EQ(RegText("Main", "MainTBToolbar_DockRow"), "2");

    DockForm g(props);
    ASSERT_EQ(g.bar->dock, g.top);
    g.storage->RestoreProperties();
    EXPECT_EQ(g.bar->dock, g.bottom);
    EXPECT_EQ(g.bar->pos, 37);
    EXPECT_EQ(g.bar->row, 2);

    // A dock of another live form is named with its form; "(null)" clears.
    DockForm other({}, "SideForm");
    g.bar->SetDock(other.bottom);
    g.storage->SaveProperties();
    EXPECT_EQ(RegText("Main", "MainTBToolbar_CurrentDock"), "SideForm.BottomDock");
    g.bar->SetDock(g.top);
    g.storage->RestoreProperties();
    EXPECT_EQ(g.bar->dock, other.bottom);
    RegWrite("Main", "MainTBToolbar_CurrentDock", "(null)");
    g.storage->RestoreProperties();
    EXPECT_EQ(g.bar->dock, nullptr);
    // A name that resolves to nothing leaves the reference alone.
    g.bar->SetDock(g.top);
    RegWrite("Main", "MainTBToolbar_CurrentDock", "GoneForm.BottomDock");
    g.storage->RestoreProperties();
    EXPECT_EQ(g.bar->dock, g.top);
}

TEST_F(PropStorageTest, EmptySetIsStoredAsBracketsAndLoadsBackEmpty)
{
    DockForm f({"MainTBToolbar.Sides"});
    f.storage->SaveProperties();
    EXPECT_EQ(RegText("Main", "MainTBToolbar_Sides"), "[]");
    f.bar->sides = 5;
    f.storage->RestoreProperties();
    EXPECT_EQ(f.bar->sides, 0u);

    f.bar->sides = (1u << 0) | (1u << 3);
    f.storage->SaveProperties();
    EXPECT_EQ(RegText("Main", "MainTBToolbar_Sides"), "[akLeft,akBottom]");
    // Blanks split names too; names of no member are skipped.
    RegWrite("Main", "MainTBToolbar_Sides", "[ AKTOP akRight,Sideways ]");
    f.storage->RestoreProperties();
    EXPECT_EQ(f.bar->sides, (1u << 1) | (1u << 2));
}

TEST_F(PropStorageTest, LinesThatDoNotNameAComponentPropertyAreDroppedWhenTheFormLoads)
{
    DockForm f({"MainTBToolbar.DockPos", "NoDotHere", "MainTBToolbar.", ".DockRow", "Missing.DockPos",
                " MainTBToolbar . DockRow "});
    ASSERT_EQ(f.storage->StoredProps().Count(), 2);
    EXPECT_EQ(f.storage->StoredProps().Strings(0), "MainTBToolbar.DockPos");
    EXPECT_EQ(f.storage->StoredProps().Objects(1), f.bar);
    f.bar->row = 4;
    f.storage->SaveProperties();
    EXPECT_EQ(RegText("Main", "MainTBToolbar_DockRow"), "4");

    // A component that goes takes its lines with it; a renamed one is
    // written back under its new name.
    f.bar->SetName("Renamed");
    UnresolveStoredProps(f.storage->StoredProps());
    EXPECT_EQ(f.storage->StoredProps().Strings(1), "Renamed.DockRow");
    delete f.bar;
    EXPECT_EQ(f.storage->StoredProps().Count(), 0);
}

TEST_F(PropStorageTest, FloatsUseAPointWhateverTheUsersDecimalSeparator)
{
    wchar_t saved[16] = {};
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved, 16), 0);
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L","));
    wchar_t now[16] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, now, 16);
    EXPECT_STREQ(now, L",");

    DockForm f({"MainTBToolbar.Ratio"});
    f.bar->ratio = 2.75;
    f.storage->SaveProperties();
    std::string stored = RegText("Main", "MainTBToolbar_Ratio");
    f.bar->ratio = 0;
    f.storage->RestoreProperties();
    double restored = f.bar->ratio;
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved);

    EXPECT_EQ(stored, "2.75");
    EXPECT_DOUBLE_EQ(restored, 2.75);
    EXPECT_EQ(PropText::FromFloat(0.1f, PropText::TFloatType::ftSingle), "0.1");
    EXPECT_EQ(PropText::FromFloat(12.34567, PropText::TFloatType::ftCurr), "12.3457");
}

TEST_F(PropStorageTest, EveryKindRoundTripsAndStringListsKeepEmptyLines)
{
    const std::vector<std::string> props = {"MainTBToolbar.Title", "MainTBToolbar.Lines", "MainTBToolbar.Big",
                                            "MainTBToolbar.Mark", "MainTBToolbar.DockMode"};
    {
        DockForm f(props);
        f.bar->title = "  Tools  ";
        f.bar->lines.SetText("first\n\nthird\n");
        f.bar->big = 1LL << 40;
        f.bar->mark = 'Q';
        f.bar->mode = 1;
        f.storage->SaveProperties();
    }
    EXPECT_EQ(RegText("Main", "MainTBToolbar_Title"), "Tools");
    EXPECT_EQ(RegText("Main", "MainTBToolbar_DockMode"), "dmCannotFloat");
    EXPECT_EQ(RegText("Main.MainTBToolbar_Lines", "Count"), "3");
    EXPECT_EQ(RegText("Main.MainTBToolbar_Lines", "Item1"), "");

    DockForm g(props);
    g.bar->lines.SetText("old\n");
    g.storage->RestoreProperties();
    EXPECT_EQ(g.bar->title, "Tools");
    EXPECT_EQ(g.bar->lines.Text(), "first\r\n\r\nthird\r\n");
    EXPECT_EQ(g.bar->big, 1LL << 40);
    EXPECT_EQ(g.bar->mark, 'Q');
    EXPECT_EQ(g.bar->mode, 1);

    // An enumeration name that matches nothing leaves the value.
    RegWrite("Main", "MainTBToolbar_DockMode", "dmSideways");
    g.storage->RestoreProperties();
    EXPECT_EQ(g.bar->mode, 1);
}

TEST_F(PropStorageTest, AHostileRegistryLoadsWithFallbacks)
{
    RegWrite("Main.MainTBToolbar_Lines", "Count", "1000000");
    RegWrite("Main.MainTBToolbar_Lines", "Item0", "a");
    RegWrite("Main.MainTBToolbar_Lines", "Item1", "b");
    RegWrite("Main.MainTBToolbar_Lines", "Item3", "after a gap");
    RegWrite("Main", "MainTBToolbar_DockPos", "twelve");
    RegWrite("Main", "MainTBToolbar_Ratio", "1.2.3");
    RegWrite("Main", "MainTBToolbar_Big", "0x");
    RegWrite("Main", "MainTBToolbar_Sides", "[[[");
    {
        TRegistry r;
        ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\Main", true));
        r.WriteInteger("MainTBToolbar_DockRow", 6);   // a number stored as a number reads too
    }
    DockForm f({"MainTBToolbar.Lines", "MainTBToolbar.DockPos", "MainTBToolbar.Ratio", "MainTBToolbar.Big",
                "MainTBToolbar.Sides", "MainTBToolbar.DockRow"});
    f.bar->pos = 5;
    f.bar->ratio = 3.5;
    f.bar->big = 9;
    f.bar->sides = 2;
    EXPECT_NO_THROW(f.storage->RestoreProperties());
    EXPECT_EQ(f.bar->lines.Text(), "a\r\nb\r\n");
    EXPECT_EQ(f.bar->pos, 0);
    EXPECT_EQ(f.bar->ratio, 0.0);
    EXPECT_EQ(f.bar->big, 0);
    EXPECT_EQ(f.bar->sides, 0u);
    EXPECT_EQ(f.bar->row, 6);

    // A count that does not read is no lines at all.
    RegWrite("Main.MainTBToolbar_Lines", "Count", "many");
    f.storage->RestoreProperties();
    EXPECT_EQ(f.bar->lines.Count(), 0);
}

TEST_F(PropStorageTest, PropertyListsFilterByKindAndFindNamesWithoutCase)
{
    TForm form(nullptr);
    TTestToolbar bar(&form);
    TPropInfoList ints(&bar, KindBit(TTypeKind::tkInteger) | KindBit(TTypeKind::tkInt64));
    ASSERT_EQ(ints.Count(), 3);
    EXPECT_NE(ints.Find("dockpos"), nullptr);
    EXPECT_EQ(ints.Find("Ratio"), nullptr);
    ints.Delete(0);
    EXPECT_EQ(ints.Count(), 2);

    // Forms and controls list theirs: the base class's first.
    TPanel panel(&form);
    TPropInfoList all(&form, tkProperties);
    ASSERT_NE(all.Find("BorderIcons"), nullptr);
    EXPECT_EQ(all.Items(0).Name, "Left");
    EXPECT_EQ(all.Find("borderIcons")->GetText(form), "[biSystemMenu,biMinimize,biMaximize]");
    TPropInfoList panelProps(&panel, tkProperties);
    EXPECT_EQ(panelProps.Find("BorderIcons"), nullptr);
    panelProps.Find("Width")->SetText(panel, "123");
    EXPECT_EQ(panel.Width(), 123);
    EXPECT_EQ(ClassNameOf(bar), "TTestToolbar");
}
