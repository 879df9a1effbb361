#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "Common/AppSettings.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/RegistryLock.h"

using testing_support::RegistryLock;

namespace {

const char kKey[] = "Software\\Zembrik\\BrenixTest\\Settings";

class TTestSettings : public TAppSettings {
public:
    using TAppSettings::TAppSettings;
    int applied = 0;
    bool failApply = false;
    void Apply() override
    {
        ++applied;
        if (failApply)
            throw Exception("apply failed");
    }
};

// Every value name under the key and its subkeys, with the subkey path.
std::vector<std::string> AllValues(const std::string& path)
{
    std::vector<std::string> out;
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    if (!r.OpenKeyReadOnly(path))
        return out;
    for (auto& v : r.GetValueNames())
        out.push_back(path + "\\" + v);
    for (auto& k : r.GetKeyNames()) {
        auto sub = AllValues(path + "\\" + k);
        out.insert(out.end(), sub.begin(), sub.end());
    }
    return out;
}

struct AppSettingsTest : ::testing::Test {
    void SetUp() override { TRegistry().DeleteKey(kKey); }
    void TearDown() override { TRegistry().DeleteKey(kKey); }

    // A raw registry value under kKey\section.
    static void PutRaw(const std::string& section, const std::string& name, DWORD type,
                       const void* data, DWORD size)
    {
        TRegistry r;
        ASSERT_TRUE(r.OpenKey(section.empty() ? kKey : std::string(kKey) + "\\" + section, true));
        ASSERT_EQ(RegSetValueExW(r.CurrentKey(), Utf8ToWide(name).c_str(), 0, type,
                                 static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    static void PutString(const std::string& section, const std::string& name, const std::string& s)
    {
        std::wstring w = Utf8ToWide(s);
        PutRaw(section, name, REG_SZ, w.c_str(), static_cast<DWORD>((w.size() + 1) * 2));
    }
    static void PutDword(const std::string& section, const std::string& name, DWORD v)
    {
        PutRaw(section, name, REG_DWORD, &v, 4);
    }
};

}  // namespace

TEST(AppVal, KeysSplitIntoSectionAndName)
{
    TTestSettings s(kKey);
    TAppVal a(&s, "Settings\\osAutoRun", false);
    EXPECT_EQ(a.Section, "Settings\\");
    EXPECT_EQ(a.Name, "osAutoRun");
    EXPECT_EQ(a.FullName, "Settings\\osAutoRun");

    TAppVal b(&s, "Main\\fpWidth", 800);
    EXPECT_EQ(b.Section, "Main\\");
    EXPECT_EQ(b.Name, "fpWidth");

    TAppVal c(&s, "a\\b\\c", 1);
    EXPECT_EQ(c.Section, "a\\b\\");
    EXPECT_EQ(c.Name, "c");

    TAppVal d(&s, "bare", 1);
    EXPECT_EQ(d.Section, "");
    EXPECT_EQ(d.Name, "bare");

    TAppVal e(&s, "x\\y\\", 1);   // a trailing backslash is dropped first
    EXPECT_EQ(e.Section, "x\\");
    EXPECT_EQ(e.Name, "y");
    EXPECT_EQ(e.FullName, "x\\y\\");
}

TEST(AppVal, BadKeysAndMissingOwnerAreAssertions)
{
    TTestSettings s(kKey);
    EXPECT_THROW(TAppVal(&s, "", 1), EAssertionFailed);
    EXPECT_THROW(TAppVal(&s, "\\", 1), EAssertionFailed);
    try {
        TAppVal v(nullptr, "Settings\\x", 1);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_NE(std::string(e.what()).find("AppSettings is nil!"), std::string::npos);
        EXPECT_EQ(e.SourceFile(), "AppSettings.cpp");
    }
}

TEST(AppVal, TheDefaultDecidesTheKind)
{
    TTestSettings s(kKey);
    EXPECT_EQ(TAppVal(&s, "k", 5).Kind(), TAppValKind::Integer);
    EXPECT_EQ(TAppVal(&s, "k", 2.5).Kind(), TAppValKind::Float);
    EXPECT_EQ(TAppVal(&s, "k", true).Kind(), TAppValKind::Boolean);
    EXPECT_EQ(TAppVal(&s, "k", std::string("x")).Kind(), TAppValKind::String);

    TAppVal empty(&s, "k", TAppVariant{});
    EXPECT_EQ(empty.Kind(), TAppValKind::String);
    EXPECT_EQ(empty.DefaultValue, TAppVariant(std::string()));
    EXPECT_EQ(empty.StoredValue, TAppVariant(std::string()));
    EXPECT_EQ(empty.EditedValue, TAppVariant(std::string()));

    TAppVal n(&s, "k", 42);
    EXPECT_EQ(n.StoredValue, TAppVariant(42));
    EXPECT_EQ(n.EditedValue, TAppVariant(42));
    EXPECT_FALSE(n.Changed());
}

TEST(AppVal, EditsAreConvertedToTheKind)
{
    TTestSettings s(kKey);
    TAppVal n(&s, "k", 42);
    n.SetEdited(std::string("1024"));
    EXPECT_EQ(n.EditedValue, TAppVariant(1024));
    EXPECT_TRUE(n.Changed());
    n.EditedValue = std::string("42");   // assigned raw: still the same number
    EXPECT_FALSE(n.Changed());

    TAppVal b(&s, "b", false);
    b.SetEdited(1);
    EXPECT_EQ(b.EditedValue, TAppVariant(true));
    EXPECT_TRUE(b.EditedBoolean());

    TAppVal t(&s, "t", std::string("a"));
    t.SetEdited(7);
    EXPECT_EQ(t.EditedValue, TAppVariant(std::string("7")));
}

TEST_F(AppSettingsTest, FindValueIgnoresCaseAndReturnsTheFirst)
{
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\osAutoRun", false));
    s.Add(new TAppVal(&s, "Main\\fpWidth", 800));
    s.Add(new TAppVal(&s, "Other\\FPWIDTH", 1));
    EXPECT_EQ(s.FindValue("OSAUTORUN").FullName, "Settings\\osAutoRun");
    EXPECT_EQ(s.FindValue("fpwidth").FullName, "Main\\fpWidth");
    EXPECT_EQ(s.Count(), 3);
    EXPECT_EQ(s.GetValue(0)->Name, "osAutoRun");
    EXPECT_EQ(s.GetValue(2)->Section, "Other\\");
    EXPECT_EQ(s.GetValue(-1), nullptr);
    EXPECT_EQ(s.GetValue(3), nullptr);
}

TEST_F(AppSettingsTest, FindValueOfAnUnknownNameIsAnAssertion)
{
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\osAutoRun", false));
    try {
        s.FindValue("osNope");
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        // "Setting not found: osNope" in the program's own words.
        EXPECT_NE(std::string(e.what()).find("\xD0\x9D\xD0\xB5 \xD0\xBD\xD0\xB0\xD1\x88\xD0\xBB\xD0\xB8 "
                                             "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD1\x80 osNope"),
                  std::string::npos)
            << e.what();
        EXPECT_EQ(e.SourceFile(), "AppSettings.cpp");
        EXPECT_GT(e.SourceLine(), 0);
    }
}

TEST_F(AppSettingsTest, AFreshRegistryGivesDefaultsAndSavingWritesNothing)
{
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\flag", true));
    s.Add(new TAppVal(&s, "Settings\\count", 30));
    s.Add(new TAppVal(&s, "Settings\\ratio", 0.25));
    s.Add(new TAppVal(&s, "Settings\\url", std::string("http://x/")));
    s.Add(new TAppVal(&s, "Main\\fpWidth", 800));
    s.LoadAll();
    EXPECT_TRUE(s.FindValue("flag").AsBoolean());
    EXPECT_EQ(s.FindValue("count").AsInteger(), 30);
    EXPECT_EQ(s.FindValue("ratio").AsFloat(), 0.25);
    EXPECT_EQ(s.FindValue("url").AsString(), "http://x/");
    for (int i = 0; i < s.Count(); ++i)
        EXPECT_FALSE(s.GetValue(i)->Changed());

    s.SaveAll();
    EXPECT_EQ(s.applied, 1);
    EXPECT_FALSE(TRegistry().KeyExists(kKey));
    EXPECT_TRUE(AllValues(kKey).empty());
}

// A key or section that is not there yet reads as the defaults without a
// word; one nobody may open reads as the defaults too, and says why.
TEST_F(AppSettingsTest, AKeyThatCannotBeReadSaysWhy)
{
    struct Case {
        const char* locked;   // under kKey; nullptr: none
        bool refused;
    };
    const Case cases[] = {{nullptr, false}, {"", true}, {"Main", true}, {"Other", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locked ? c.locked : "none");
        std::unique_ptr<RegistryLock> lock;
        if (c.locked) {
            lock = std::make_unique<RegistryLock>(std::string(kKey) + (*c.locked ? "\\" : "") + c.locked);
            ASSERT_TRUE(lock->Locked());
        }
        TTestSettings s(kKey);
        s.Add(new TAppVal(&s, "Settings\\count", 30));
        s.Add(new TAppVal(&s, "Main\\width", 800));
        s.LoadAll();
        EXPECT_EQ(s.FindValue("count").AsInteger(), 30);
        EXPECT_EQ(s.FindValue("width").AsInteger(), 800);
        EXPECT_EQ(s.ReadError().empty(), !c.refused) << s.ReadError();
        lock.reset();
        TRegistry().DeleteKey(kKey);
    }
}

TEST_F(AppSettingsTest, AnEditedIntegerIsStoredAsDwordAndReadBack)
{
    {
        TTestSettings s(kKey);
        s.Add(new TAppVal(&s, "Main\\fpWidth", 800));
        s.Add(new TAppVal(&s, "Main\\fpHeight", 600));
        s.LoadAll();
        s.FindValue("fpWidth").SetEdited(1024);
        EXPECT_EQ(s.FindValue("fpWidth").AsInteger(), 800);   // not yet saved
        s.SaveAll();
        EXPECT_EQ(s.FindValue("fpWidth").AsInteger(), 1024);
        EXPECT_FALSE(s.FindValue("fpWidth").Changed());
    }
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    ASSERT_TRUE(r.OpenKeyReadOnly(std::string(kKey) + "\\Main"));
    EXPECT_EQ(r.GetDataType("fpWidth"), TRegDataType::Integer);
    EXPECT_EQ(r.ReadInteger("fpWidth"), 1024);
    EXPECT_FALSE(r.ValueExists("fpHeight"));   // unchanged: not written
    r.CloseKey();

    TTestSettings again(kKey);
    again.Add(new TAppVal(&again, "Main\\fpWidth", 800));
    again.LoadAll();
    EXPECT_EQ(again.FindValue("fpWidth").AsInteger(), 1024);
}

TEST_F(AppSettingsTest, AFloatRoundTripsThroughItsText)
{
    const double when = EncodeDateTime(2026, 12, 7, 13, 45, 17, 123);
    {
        TTestSettings s(kKey);
        s.Add(new TAppVal(&s, "Settings\\osNextCheck", static_cast<double>(Date())));
        s.LoadAll();
        s.FindValue("osNextCheck").SetEdited(when);
        s.SaveAll();
    }
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    ASSERT_TRUE(r.OpenKeyReadOnly(std::string(kKey) + "\\Settings"));
    EXPECT_EQ(r.GetDataType("osNextCheck"), TRegDataType::String);
    std::string text = r.ReadString("osNextCheck");
    r.CloseKey();
    double parsed = 0;
    ASSERT_TRUE(TryStrToFloat(text, parsed)) << text;
    EXPECT_EQ(parsed, when);

    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\osNextCheck", 0.0));
    s.LoadAll();
    EXPECT_EQ(s.FindValue("osNextCheck").AsFloat(), when);
}

TEST_F(AppSettingsTest, AFloatWrittenWithACommaSeparatorReadsBack)
{
    TFormatSettings saved = FormatSettings();
    FormatSettings().decimalSeparator = ',';
    {
        TTestSettings s(kKey);
        s.Add(new TAppVal(&s, "Settings\\ratio", 0.0));
        s.LoadAll();
        s.FindValue("ratio").SetEdited(1234.5);
        s.SaveAll();
    }
    FormatSettings() = saved;
    TRegIniFileEx ini(kKey);
    EXPECT_EQ(ini.ReadString("Settings", "ratio", ""), "1234,5");
    EXPECT_EQ(ini.ReadFloat("Settings", "ratio", 0), 1234.5);
    EXPECT_EQ(ini.ReadFloat("Settings", "missing", 7.5), 7.5);
    EXPECT_EQ(ini.ReadFloat("NoSuchSection", "ratio", 7.5), 7.5);
}

TEST_F(AppSettingsTest, RevertAllDropsEditsSoNothingIsWritten)
{
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\flag", false));
    s.Add(new TAppVal(&s, "Settings\\name", std::string("proxy")));
    s.Add(new TAppVal(&s, "Settings\\when", 1.5));
    s.LoadAll();
    s.FindValue("flag").SetEdited(true);
    s.FindValue("name").SetEdited(std::string("other"));
    s.FindValue("when").SetEdited(2.5);
    EXPECT_TRUE(s.FindValue("flag").Changed());
    s.RevertAll();
    for (int i = 0; i < s.Count(); ++i)
        EXPECT_FALSE(s.GetValue(i)->Changed());
    EXPECT_EQ(s.FindValue("name").EditedString(), "proxy");
    s.SaveAll();
    EXPECT_TRUE(AllValues(kKey).empty());
}

TEST_F(AppSettingsTest, ABareKeyLivesInTheRootPathItself)
{
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "TopLevel", 3));
    s.LoadAll();
    s.FindValue("TopLevel").SetEdited(9);
    s.SaveAll();
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    ASSERT_TRUE(r.OpenKeyReadOnly(kKey));
    EXPECT_EQ(r.ReadInteger("TopLevel"), 9);
    EXPECT_TRUE(r.GetKeyNames().empty());
}

TEST_F(AppSettingsTest, BooleansAreDwordsAndAlsoAcceptStringDigits)
{
    {
        TTestSettings s(kKey);
        s.Add(new TAppVal(&s, "Settings\\a", false));
        s.LoadAll();
        s.FindValue("a").SetEdited(true);
        s.SaveAll();
    }
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    ASSERT_TRUE(r.OpenKeyReadOnly(std::string(kKey) + "\\Settings"));
    EXPECT_EQ(r.GetDataType("a"), TRegDataType::Integer);
    EXPECT_EQ(r.ReadInteger("a"), 1);
    r.CloseKey();

    PutString("Settings", "s1", "1");
    PutString("Settings", "s0", "0");
    PutDword("Settings", "d0", 0);
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\s1", false));
    s.Add(new TAppVal(&s, "Settings\\s0", true));
    s.Add(new TAppVal(&s, "Settings\\d0", true));
    s.LoadAll();
    EXPECT_TRUE(s.FindValue("s1").AsBoolean());
    EXPECT_FALSE(s.FindValue("s0").AsBoolean());
    EXPECT_FALSE(s.FindValue("d0").AsBoolean());
}

TEST_F(AppSettingsTest, HostileValuesReadAsTheDefault)
{
    const BYTE blob[] = {1, 2, 3, 4};
    PutString("Settings", "flagWord", "yes");
    PutRaw("Settings", "flagBlob", REG_BINARY, blob, sizeof blob);
    PutString("Settings", "countText", "thirty");
    PutRaw("Settings", "countBlob", REG_BINARY, blob, sizeof blob);
    PutRaw("Settings", "countShort", REG_DWORD, blob, 2);   // a DWORD of two bytes
    PutDword("Settings", "urlDword", 77);
    PutString("Settings", "whenText", "tomorrow");
    PutString("Settings", "whenNan", "nan");
    PutString("Settings", "whenHuge", "1e999");
    PutDword("Settings", "whenDword", 5);
    PutRaw("Settings", "urlMulti", REG_MULTI_SZ, L"a\0b\0", 10);

    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\flagWord", true));
    s.Add(new TAppVal(&s, "Settings\\flagBlob", true));
    s.Add(new TAppVal(&s, "Settings\\countText", 30));
    s.Add(new TAppVal(&s, "Settings\\countBlob", 30));
    s.Add(new TAppVal(&s, "Settings\\countShort", 30));
    s.Add(new TAppVal(&s, "Settings\\urlDword", std::string("http://x/")));
    s.Add(new TAppVal(&s, "Settings\\urlMulti", std::string("http://y/")));
    s.Add(new TAppVal(&s, "Settings\\whenText", 2.5));
    s.Add(new TAppVal(&s, "Settings\\whenNan", 2.5));
    s.Add(new TAppVal(&s, "Settings\\whenHuge", 2.5));
    s.Add(new TAppVal(&s, "Settings\\whenDword", 2.5));
    ASSERT_NO_THROW(s.LoadAll());
    EXPECT_TRUE(s.FindValue("flagWord").AsBoolean());
    EXPECT_TRUE(s.FindValue("flagBlob").AsBoolean());
    EXPECT_EQ(s.FindValue("countText").AsInteger(), 30);
    EXPECT_EQ(s.FindValue("countBlob").AsInteger(), 30);
    EXPECT_EQ(s.FindValue("countShort").AsInteger(), 30);
    EXPECT_EQ(s.FindValue("urlDword").AsString(), "http://x/");
    EXPECT_EQ(s.FindValue("urlMulti").AsString(), "http://y/");
    EXPECT_EQ(s.FindValue("whenText").AsFloat(), 2.5);
    EXPECT_EQ(s.FindValue("whenNan").AsFloat(), 2.5);
    EXPECT_EQ(s.FindValue("whenHuge").AsFloat(), 2.5);
    EXPECT_EQ(s.FindValue("whenDword").AsFloat(), 2.5);
}

TEST_F(AppSettingsTest, ALongNonAsciiStringSurvives)
{
    std::string big;
    for (int i = 0; i < 5000; ++i)
        big += "\xD0\x91\xD1\x80\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xBA\xD1\x81 ";   // "Бреникс "
    {
        TTestSettings s(kKey);
        s.Add(new TAppVal(&s, "Settings\\text", std::string()));
        s.LoadAll();
        s.FindValue("text").SetEdited(big);
        s.SaveAll();
    }
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\text", std::string()));
    s.LoadAll();
    EXPECT_EQ(s.FindValue("text").AsString(), big);
}

TEST_F(AppSettingsTest, AFailingApplyStillSavesEveryValue)
{
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\a", 1));
    s.Add(new TAppVal(&s, "Settings\\b", 2));
    s.LoadAll();
    s.FindValue("a").SetEdited(10);
    s.FindValue("b").SetEdited(20);
    s.failApply = true;
    EXPECT_THROW(s.SaveAll(), Exception);
    TRegIniFileEx ini(kKey);
    EXPECT_EQ(ini.ReadInteger("Settings", "a", 0), 10);
    EXPECT_EQ(ini.ReadInteger("Settings", "b", 0), 20);
    EXPECT_FALSE(s.FindValue("a").Changed());
}

TEST_F(AppSettingsTest, AValueThatCannotBeWrittenDoesNotStopTheOthers)
{
    // A subkey name longer than the registry allows can't be created.
    std::string tooLong(300, 'x');
    TTestSettings s(kKey);
    s.Add(new TAppVal(&s, "Settings\\first", 1));
    s.Add(new TAppVal(&s, tooLong + "\\broken", 1));
    s.Add(new TAppVal(&s, "Settings\\last", 1));
    s.LoadAll();
    s.FindValue("first").SetEdited(11);
    s.FindValue("broken").SetEdited(22);
    s.FindValue("last").SetEdited(33);
    EXPECT_THROW(s.SaveAll(), ERegistryError);
    TRegIniFileEx ini(kKey);
    EXPECT_EQ(ini.ReadInteger("Settings", "first", 0), 11);
    EXPECT_EQ(ini.ReadInteger("Settings", "last", 0), 33);
    // The failed value keeps its edit, so the next save tries again.
    EXPECT_TRUE(s.FindValue("broken").Changed());
    EXPECT_EQ(s.FindValue("broken").AsInteger(), 1);
    EXPECT_FALSE(s.FindValue("last").Changed());
}
