#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/RegistryLock.h"
#include "support/TestSupport.h"

namespace {

const char kKey[] = "Software\\Zembrik\\BrenixTest\\Settings";

struct Row {
    const char* key;
    TAppVariant def;
};

struct FahSettingsTest : ::testing::Test {
    void SetUp() override
    {
        TRegistry().DeleteKey(kKey);
        DeleteRunValue();
        SetFahSettingsPathForTesting(kKey);
    }
    void TearDown() override
    {
        SetFahSettingsPathForTesting("");
        TRegistry().DeleteKey(kKey);
        DeleteRunValue();
    }
    static void DeleteRunValue()
    {
        TRegistry r;
        if (r.OpenKey(kAutoRunKey, false))
            r.DeleteValue(kAutoRunValueName);
    }
    static bool RunValue(std::string& out)
    {
        TRegistry r(HKEY_CURRENT_USER, KEY_READ);
        return r.OpenKeyReadOnly(kAutoRunKey) && r.TryReadString(kAutoRunValueName, out);
    }
    static bool KeyHasValues()
    {
        TRegistry r(HKEY_CURRENT_USER, KEY_READ);
        if (!r.OpenKeyReadOnly(kKey))
            return false;
        if (!r.GetValueNames().empty())
            return true;
        for (auto& k : r.GetKeyNames()) {
            TRegistry sub(HKEY_CURRENT_USER, KEY_READ);
            if (sub.OpenKeyReadOnly(std::string(kKey) + "\\" + k) && !sub.GetValueNames().empty())
                return true;
        }
        return false;
    }
};

// Sets the nickname prompt for one test and puts the loaded text back.
struct TPromptOverride {
    explicit TPromptOverride(const std::string& text) : saved(sInputYouNick) { sInputYouNick = text; }
    ~TPromptOverride() { sInputYouNick = saved; }
    std::string saved;
};

// Runs a helper beside this executable with its standard output sent to a
// file; the output, or "" when it did not end within the time.
std::string RunHelper(const std::string& name, const std::string& args)
{
    testing_support::TempDir dir("fahset");
    std::string outPath = dir.File("out.txt");
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileW(Utf8ToWide(outPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return "";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring cmd = Utf8ToWide("\"" + ExeFolder() + name + "\" " + args);
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(out);
    if (!started)
        return "";
    bool ended = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ended ? testing_support::ReadFile(outPath) : "";
}

}  // namespace

TEST_F(FahSettingsTest, TheTableHoldsEveryValueInOrderWithItsDefault)
{
    const Row rows[] = {
        {"Settings\\osAutoRun", false},
        {"Settings\\osMinimizeToTray", false},
        {"Settings\\osCloseAsMinimize", false},
        {"Settings\\osCheckForUpdate", true},
        {"Settings\\osUpdateInterval", 10},
        {"Settings\\osNextCheck", 0.0},   // checked below: today
        {"Settings\\osCpuAffinity", false},
        {"Settings\\osCpuAffinitySortOrder", 0},
        {"Settings\\osCpuUsageIndicator", true},   // Wine reports a version above 5
        {"Settings\\evAutoUpdate", true},
        {"Settings\\evAutoUpdateInterval", 30},
        {"Settings\\evFeStartFlashIcon", false},
        {"Settings\\evFeStartBalloonTips", false},
        {"Settings\\evFeStartSysLogMsg", false},
        {"Settings\\evFeStopFlashIcon", true},
        {"Settings\\evFeStopBalloonTips", true},
        {"Settings\\evFeStopSysLogMsg", true},
        {"Settings\\evFeResultFlashIcon", true},
        {"Settings\\evFeResultBalloonTips", true},
        {"Settings\\evFeResultSysLogMsg", true},
        {"Settings\\inTBTypeCaption", 0},
        {"Settings\\inHideTB", false},
        {"Settings\\inColorLog", true},
        {"Settings\\inHideShutdownFolders", false},
        {"Settings\\inHideStatusShutdown", true},
        {"Settings\\inHideStatusNotAccess", true},
        {"Settings\\inHideStatusNotFound", true},
        {"Settings\\inShowAllLogWindows", false},
        {"Settings\\inShowFahPrev", false},
        {"Settings\\inCurrentLanguage", -1},
        {"Settings\\inGroupByComp", true},
        {"Settings\\inHighlightIfErrorInLog", true},
        {"Settings\\inBkMainInfo", std::string("C:\\background_main.bmp")},
        {"Settings\\inShowVertGridLines", true},
        {"Settings\\inShowHorzGridLines", true},
        {"Settings\\inColorOk", 14024661},
        {"Settings\\inColorInfo", 16771541},
        {"Settings\\inColorError", 14013951},
        {"Settings\\inColorOther", 15329769},
        {"Settings\\inBkLog", std::string("C:\\background_log.bmp")},
        {"Settings\\inBkAddInfo", std::string("C:\\background_add.bmp")},
        {"Settings\\upUpdateWhenNeed", false},
        {"Settings\\upUseProxy", false},
        {"Settings\\upProxyName", std::string("proxy")},
        {"Settings\\upProxyPort", 3128},
        {"Settings\\upProxyUserName", std::string()},
        {"Settings\\upProxyUserPassword", std::string()},
        {"Settings\\upURL", std::string("http://fah-web.stanford.edu/psummaryC.html")},
        {"Settings\\dfUserName", std::string("your nickname, please")},   // the prompt below
        {"Settings\\dfTeamID", kDefaultTeamID},
        {"Main\\fpState", 0},
        {"Main\\fpWidth", 800},
        {"Main\\fpHeight", 600},
        {"Settings\\hiShowStatusInHint", true},
        {"Settings\\hiShowEarlyUnitEndBalloonTip", true},
        {"Settings\\hiShowSseOffBalloonTip", true},
        {"Settings\\hiShowExecResultInWnd", true},
        {"Settings\\hiRestartWhenSmpBreak", true},
    };
    // The default user name is the nickname prompt as it reads when the table is made.
    TPromptOverride prompt("your nickname, please");
    TFahSettings& s = GetFahSettings();
    sInputYouNick = "a later prompt";
    EXPECT_EQ(s.RegPath(), kKey);
    ASSERT_EQ(s.Count(), 58);
    ASSERT_EQ(std::size(rows), 58u);
    s.LoadAll();
    for (int i = 0; i < s.Count(); ++i) {
        const TAppVal& v = *s.GetValue(i);
        SCOPED_TRACE(rows[i].key);
        EXPECT_EQ(v.FullName, rows[i].key);
        EXPECT_EQ(v.Kind(), KindOfVariant(rows[i].def));
        if (v.Name == "osNextCheck") {
            EXPECT_EQ(v.AsFloat(), static_cast<double>(Date()));
        } else {
            EXPECT_EQ(v.StoredValue, rows[i].def);
            EXPECT_EQ(v.DefaultValue, rows[i].def);
        }
    }
    EXPECT_EQ(s.FindValue("inColorOk").AsInteger(), 0xD5FFD5);
}

TEST_F(FahSettingsTest, TheDefaultUserNameIsEmptyAtProgramStart)
{
    // A fresh process: the language start-up makes the table before the
    // texts are loaded, so the default user name is empty while the
    // nickname prompt has its text by the time the program runs.
    std::string out = RunHelper("settings_lang_probe.exe", "\"Software\\Zembrik\\BrenixTest\\UserProbe\"");
    std::string first = out.substr(0, out.find('\n'));
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    ASSERT_EQ(first.rfind("user [] prompt [", 0), 0u) << out;
    EXPECT_GT(first.size(), std::string("user [] prompt []").size()) << "the prompt is empty: " << first;
    EXPECT_EQ(first.back(), ']');
}

TEST_F(FahSettingsTest, GetFahSettingsIsOneObject)
{
    TFahSettings* a = &GetFahSettings();
    EXPECT_EQ(a, &GetFahSettings());
    SetFahSettingsPathForTesting(std::string(kKey) + "\\Other");
    EXPECT_EQ(GetFahSettings().RegPath(), std::string(kKey) + "\\Other");
    SetFahSettingsPathForTesting("");
    EXPECT_EQ(GetFahSettings().RegPath(), kFahSettingsPath);
    EXPECT_STREQ(kFahSettingsPath, "Software\\Zembrik\\Brenix\\");
}

TEST_F(FahSettingsTest, AFreshRegistryLoadsAndSavesWithoutWriting)
{
    TFahSettings& s = GetFahSettings();
    s.LoadAll();
    s.SaveAll();
    EXPECT_FALSE(KeyHasValues());
    std::string run;
    EXPECT_FALSE(RunValue(run));
}

TEST_F(FahSettingsTest, FindValueReachesValuesInBothSections)
{
    TFahSettings& s = GetFahSettings();
    EXPECT_EQ(s.FindValue("OSAUTORUN").FullName, "Settings\\osAutoRun");
    EXPECT_EQ(s.FindValue("fpWidth").FullName, "Main\\fpWidth");
    EXPECT_EQ(s.FindValue("fpWidth").Section, "Main\\");
    EXPECT_THROW(s.FindValue("fpDepth"), EAssertionFailed);
}

TEST_F(FahSettingsTest, TheWindowWidthIsSavedUnderMain)
{
    TFahSettings& s = GetFahSettings();
    s.LoadAll();
    s.FindValue("fpWidth").SetEdited(1024);
    s.SaveAll();
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    ASSERT_TRUE(r.OpenKeyReadOnly(std::string(kKey) + "\\Main"));
    EXPECT_EQ(r.GetDataType("fpWidth"), TRegDataType::Integer);
    EXPECT_EQ(r.ReadInteger("fpWidth"), 1024);
    EXPECT_EQ(r.GetValueNames().size(), 1u);

    SetFahSettingsPathForTesting(kKey);   // a new object reads it back
    GetFahSettings().LoadAll();
    EXPECT_EQ(GetFahSettings().FindValue("fpWidth").AsInteger(), 1024);
}

TEST_F(FahSettingsTest, TheNextCheckDateRoundTrips)
{
    const double next = EncodeDateTime(2027, 1, 17, 8, 30, 0, 0);
    TFahSettings& s = GetFahSettings();
    s.LoadAll();
    TAppVal& v = s.FindValue("osNextCheck");
    v.SetEdited(next);
    v.Save();   // a single value saved by its user
    SetFahSettingsPathForTesting(kKey);
    GetFahSettings().LoadAll();
    EXPECT_EQ(GetFahSettings().FindValue("osNextCheck").AsFloat(), next);
}

TEST_F(FahSettingsTest, RevertAllAfterEditsWritesNothing)
{
    TFahSettings& s = GetFahSettings();
    s.LoadAll();
    s.FindValue("osAutoRun").SetEdited(true);
    s.FindValue("fpWidth").SetEdited(1024);
    s.FindValue("upURL").SetEdited(std::string("http://127.0.0.1/x.html"));
    s.FindValue("osNextCheck").SetEdited(1.0);
    s.RevertAll();
    s.SaveAll();
    EXPECT_FALSE(KeyHasValues());
    std::string run;
    EXPECT_FALSE(RunValue(run));
}

TEST_F(FahSettingsTest, HostileRegistryValuesGiveTheDefaults)
{
    TRegistry r;
    ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\Settings", true));
    r.WriteString("inCurrentLanguage", "Klingon");
    r.WriteString("evAutoUpdate", "maybe");
    r.WriteBinaryData("upURL", std::string("\xFF\xFE\x00", 3));
    r.WriteString("osNextCheck", "\x01\x02garbage");
    r.WriteInteger("upProxyPort", 8080);   // a sound value is still read
    r.CloseKey();
    ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\Main", true));
    r.WriteBinaryData("fpWidth", std::string(4, '\x7F'));
    r.CloseKey();

    TFahSettings& s = GetFahSettings();
    ASSERT_NO_THROW(s.LoadAll());
    EXPECT_EQ(s.FindValue("inCurrentLanguage").AsInteger(), -1);
    EXPECT_TRUE(s.FindValue("evAutoUpdate").AsBoolean());
    EXPECT_EQ(s.FindValue("upURL").AsString(), kDefaultSummaryURL);
    EXPECT_EQ(s.FindValue("osNextCheck").AsFloat(), static_cast<double>(Date()));
    EXPECT_EQ(s.FindValue("fpWidth").AsInteger(), 800);
    EXPECT_EQ(s.FindValue("upProxyPort").AsInteger(), 8080);
}

TEST_F(FahSettingsTest, EveryStoredNumberIsReadWithinWhatItsPageAllows)
{
    const int screenW = GetSystemMetrics(SM_CXVIRTUALSCREEN), screenH = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    ASSERT_GT(screenW, 400);
    const int kMax = 0x7FFFFFFF;
    // What 0, -1 and 0x7FFFFFFF read as: quantities come to the nearest
    // bound, a choice, colour or port that is none of those reads as its
    // default; an unknown language is English, as it shows.
    const struct {
        const char* key;
        int zero, minusOne, max;
    } rows[] = {
        {"Settings\\osUpdateInterval", 1, 1, 99},
        {"Settings\\osCpuAffinitySortOrder", 0, 0, 0},
        {"Settings\\evAutoUpdateInterval", 30, 30, 600},
        {"Settings\\inTBTypeCaption", 0, 0, 0},
        {"Settings\\inCurrentLanguage", 1, -1, 1},
        {"Settings\\inColorOk", 0, 0xD5FFD5, 0xD5FFD5},
        {"Settings\\inColorInfo", 0, 0xFFE9D5, 0xFFE9D5},
        {"Settings\\inColorError", 0, 0xD5D5FF, 0xD5D5FF},
        {"Settings\\inColorOther", 0, 0xE9E9E9, 0xE9E9E9},
        {"Settings\\upProxyPort", 3128, 3128, 3128},
        {"Settings\\dfTeamID", 0, kDefaultTeamID, kMax},
        {"Main\\fpState", 0, 0, 0},
        {"Main\\fpWidth", 400, 400, screenW},
        {"Main\\fpHeight", 300, 300, screenH},
    };
    int integers = 0;
    for (int i = 0; i < GetFahSettings().Count(); ++i)
        integers += GetFahSettings().GetValue(i)->Kind() == TAppValKind::Integer;
    ASSERT_EQ(integers, static_cast<int>(std::size(rows)));

    for (int stored : {0, -1, kMax}) {
        for (const auto& row : rows) {
            std::string key = row.key;
            TRegistry r;
            ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\" + key.substr(0, key.find('\\')), true));
            r.WriteInteger(key.substr(key.find('\\') + 1), stored);
        }
        TRegistry r;
        ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\Settings", true));
        r.WriteString("osNextCheck", IntToStr(stored));
        r.CloseKey();

        SetFahSettingsPathForTesting(kKey);
        TFahSettings& s = GetFahSettings();
        s.LoadAll();
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.key) + " stored as " + std::to_string(stored));
            const TAppVal& v = s.FindValue(std::string(row.key).substr(std::string(row.key).find('\\') + 1));
            EXPECT_EQ(v.AsInteger(), stored == 0 ? row.zero : stored == -1 ? row.minusOne : row.max);
            EXPECT_EQ(v.EditedInteger(), v.AsInteger());   // the page shows what is used
        }
        // The next check is never further away than the longest interval.
        const double next = s.FindValue("osNextCheck").AsFloat();
        EXPECT_EQ(next, stored == kMax ? static_cast<double>(Date()) + 99 : 0.0) << stored;
        // Read, not written: the registry keeps what it had until a save.
        TRegistry back(HKEY_CURRENT_USER, KEY_READ);
        ASSERT_TRUE(back.OpenKeyReadOnly(std::string(kKey) + "\\Settings"));
        EXPECT_EQ(back.ReadInteger("evAutoUpdateInterval"), stored);
    }
}

TEST_F(FahSettingsTest, ApplyWritesAndRemovesTheAutorunValue)
{
    TFahSettings& s = GetFahSettings();
    s.LoadAll();
    s.FindValue("osAutoRun").SetEdited(true);
    s.SaveAll();
    std::string run;
    ASSERT_TRUE(RunValue(run));
    EXPECT_EQ(run, AutoRunCommand());
    ASSERT_GE(run.size(), 3u);
    EXPECT_EQ(run.front(), '"');
    EXPECT_EQ(run.back(), '"');
    EXPECT_TRUE(EndsText("test_settings.exe\"", run)) << run;
    EXPECT_TRUE(s.FindValue("osAutoRun").AsBoolean());

    s.FindValue("osAutoRun").SetEdited(false);
    s.SaveAll();
    EXPECT_FALSE(RunValue(run));
    s.SaveAll();   // removing a value that is not there is fine
    EXPECT_FALSE(RunValue(run));
}

TEST_F(FahSettingsTest, ApplyHandsTheEditedValuesToTheInterfaceHook)
{
    TFahSettings& s = GetFahSettings();
    s.LoadAll();
    int calls = 0;
    int seenInterval = 0;
    int storedWhenCalled = 0;
    s.OnApply = [&](TFahSettings& settings) {
        ++calls;
        seenInterval = settings.FindValue("evAutoUpdateInterval").EditedInteger();
        storedWhenCalled = settings.FindValue("evAutoUpdateInterval").AsInteger();
    };
    s.FindValue("evAutoUpdateInterval").SetEdited(90);
    s.SaveAll();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenInterval, 90);
    EXPECT_EQ(storedWhenCalled, 30);   // applied before it is saved
    EXPECT_EQ(s.FindValue("evAutoUpdateInterval").AsInteger(), 90);
}

TEST_F(FahSettingsTest, AFailingInterfaceHookLosesNoSetting)
{
    TFahSettings& s = GetFahSettings();
    s.LoadAll();
    s.OnApply = [](TFahSettings&) { throw Exception("window gone"); };
    s.FindValue("osAutoRun").SetEdited(true);
    s.FindValue("inHideTB").SetEdited(true);
    s.FindValue("fpHeight").SetEdited(700);
    try {
        s.SaveAll();
        FAIL() << "the hook's error was swallowed";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "window gone");
    }
    std::string run;
    EXPECT_TRUE(RunValue(run));   // the autorun part of Apply still ran
    TRegIniFileEx ini(kKey);
    EXPECT_TRUE(ini.ReadBool("Settings", "inHideTB", false));
    EXPECT_EQ(ini.ReadInteger("Main", "fpHeight", 0), 700);
}

// A setting the registry refuses is told in the chosen language with the
// system's own reason, not an English line without one.
TEST_F(FahSettingsTest, ARefusedSettingIsToldInTheChosenLanguageWithTheSystemsReason)
{
    GetFahSettings().LoadAll();
    testing_support::RegistryLock lock(std::string(kKey) + "\\Settings");
    ASSERT_TRUE(lock.Locked());
    GetFahSettings().FindValue("dfTeamID").SetEdited(1234);
    std::exception_ptr failure;
    try {
        GetFahSettings().SaveAll();
    } catch (...) {
        failure = std::current_exception();
    }
    ASSERT_TRUE(failure);
    wchar_t buf[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED, 0, buf,
                   512, nullptr);
    const std::string reason = Trim(WideToUtf8(buf));
    ASSERT_FALSE(reason.empty());
    const struct {
        int language;
        std::string told;
    } cases[] = {
        {2, "Параметр Settings\\dfTeamID не сохранён: " + reason},
        {3, "Параметр Settings\\dfTeamID не збережено: " + reason},
        {1, "The setting Settings\\dfTeamID was not saved: " + reason},
    };
    for (const auto& c : cases) {
        SetLanguage(c.language);
        EXPECT_EQ(SaveFailureText(failure), c.told);
    }
    testing_support::ClearCaughtErrors();   // the language choice could not be stored either
}
