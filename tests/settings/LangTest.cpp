#include <gtest/gtest.h>

#include <map>
#include <set>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/Resources.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kKey[] = "Software\\Zembrik\\BrenixTest\\Settings";

// The stored language choice as the registry holds it; false when absent.
bool StoredLanguage(int& out)
{
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    return r.OpenKeyReadOnly(std::string(kKey) + "\\Settings") &&
           r.TryReadInteger("inCurrentLanguage", out);
}

std::map<std::string, std::string> TableOf(const std::string& resource)
{
    std::map<std::string, std::string> out;
    TStringList lines(Cp1251ToUtf8(LoadRCData(resource)));
    for (int i = 0; i < lines.Count(); ++i)
        if (lines.Names(i).size())
            out[lines.Names(i)] = lines.ValueFromIndex(i);
    return out;
}

struct LangTest : ::testing::Test {
    void SetUp() override
    {
        TRegistry().DeleteKey(kKey);
        SetFahSettingsPathForTesting(kKey);
        SetUserLanguageIdForTesting(0x0409);
        ClearCaughtErrors();
    }
    void TearDown() override
    {
        for (int id : handlers)
            RemoveLanguageHandler(id);
        SetUserLanguageIdForTesting(0x0409);
        InitLanguage();   // English again for the tests that follow
        SetUserLanguageIdForTesting(0);
        SetFahSettingsPathForTesting("");
        TRegistry().DeleteKey(kKey);
    }
    std::vector<int> handlers;
};

}  // namespace

TEST(LangTables, TheThreeTablesHoldTheSameKeysAndEveryKeyHasAGlobal)
{
    auto en = TableOf("LANG_EN");
    auto ru = TableOf("lang_ru");   // names are found in any case
    auto ua = TableOf("Lang_Ua");
    EXPECT_EQ(en.size(), 252u);
    std::set<std::string> enKeys, ruKeys, uaKeys;
    for (auto& [k, v] : en)
        enKeys.insert(k);
    for (auto& [k, v] : ru)
        ruKeys.insert(k);
    for (auto& [k, v] : ua)
        uaKeys.insert(k);
    EXPECT_EQ(enKeys, ruKeys);
    EXPECT_EQ(enKeys, uaKeys);

    std::set<std::string> globals;
    for (int i = 0; i < LangGlobalCount(); ++i)
        globals.insert(LangGlobalName(i));
    EXPECT_EQ(LangGlobalCount(), 251);
    EXPECT_EQ(globals.size(), 251u);
    std::set<std::string> keysButName = enKeys;
    keysButName.erase("sLanguage");
    EXPECT_EQ(globals, keysButName);

    for (auto* table : {&en, &ru, &ua}) {
        for (auto& [k, v] : *table) {
            EXPECT_FALSE(Trim(v).empty()) << k;
            EXPECT_TRUE(IsValidUtf8(v)) << k;
        }
    }
}

TEST(LangTables, TheTablesAreWindows1251WithCrLfLines)
{
    std::string raw = LoadRCData("LANG_RU");
    ASSERT_GT(raw.size(), 1000u);
    EXPECT_EQ(raw.compare(0, 10, "sLanguage="), 0);
    // "Русский" in Windows-1251.
    EXPECT_EQ(raw.substr(10, 9), "\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n");
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n') {
            ASSERT_TRUE(i > 0 && raw[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    EXPECT_NE(raw.find("{Classes}\r\n"), std::string::npos);
    EXPECT_NE(raw.find("{OtherStrings}\r\n"), std::string::npos);
}

TEST_F(LangTest, EnglishHasTheProgramsOwnWords)
{
    SetLanguage(1);
    EXPECT_EQ(sUnknown, "unknown");
    EXPECT_EQ(sNotAccess, "no access");
    EXPECT_EQ(sLogNotFound, "log not found");
    EXPECT_EQ(sRunning, "running");
    EXPECT_EQ(sReadyForSend, "ready to send");
    EXPECT_EQ(sShutdown, "stopped");
    EXPECT_EQ(sWithoutLimitation, "without limitation");
    EXPECT_EQ(sConfigNotDefined, "not defined (press \"Edit folder\")");
    EXPECT_EQ(sNoData, "no data (maybe you should update the WU database)");
    EXPECT_EQ(sTotal, "total");
    EXPECT_EQ(sInputYouNick, "type in your nickname");
    EXPECT_EQ(sKB, "KB");
    EXPECT_EQ(sMB, "MB");
    EXPECT_EQ(sByte, "bytes");
    EXPECT_EQ(GetLangValue("sLanguage"), "English");
    // Every global holds its table's text.
    for (int i = 0; i < LangGlobalCount(); ++i)
        EXPECT_EQ(LangGlobalText(i), GetLangValue(LangGlobalName(i))) << LangGlobalName(i);
}

TEST_F(LangTest, RussianAndUkrainianComeOutAsUtf8)
{
    SetLanguage(2);
    EXPECT_EQ(CurrentLanguage, 2);
    EXPECT_EQ(sRunning, "работает");
    EXPECT_EQ(sShutdown, "остановлен");
    EXPECT_EQ(sTotal, "всего");
    EXPECT_EQ(sCancel, "Отмена");
    EXPECT_EQ(sConfigNotDefined, "не задана (нажмите «Изменить папку»)");
    EXPECT_EQ(GetLangValue("sLanguage"), "Русский");

    SetLanguage(3);
    EXPECT_EQ(CurrentLanguage, 3);
    EXPECT_EQ(sRunning, "працює");
    EXPECT_EQ(sShutdown, "зупинений");
    EXPECT_EQ(sFolder, "&Тека");
    EXPECT_EQ(sCompConfig, "Конфігурація комп'ютера");
    EXPECT_EQ(sByMemory, "За зайнятою &пам'яттю");
    EXPECT_EQ(sHideToolbarCB_Caption, "&Сховати панель інструментів");   // ї, і survive
    EXPECT_EQ(sMinCB_Caption, "Запускати згорнутою &в трей");
    EXPECT_EQ(GetLangValue("sLanguage"), "Українська");
    for (int i = 0; i < LangGlobalCount(); ++i)
        EXPECT_TRUE(IsValidUtf8(LangGlobalText(i))) << LangGlobalName(i);
}

TEST_F(LangTest, LanguageNamesComeFromEachTable)
{
    LoadLanguageNames();
    EXPECT_EQ(Languages[1].Code, "en");
    EXPECT_EQ(Languages[2].Code, "ru");
    EXPECT_EQ(Languages[3].Code, "ua");
    EXPECT_EQ(Languages[1].Name, "English");
    EXPECT_EQ(Languages[2].Name, "Русский");
    EXPECT_EQ(Languages[3].Name, "Українська");
}

TEST_F(LangTest, AMissingKeyGivesANotFoundText)
{
    SetLanguage(1);
    EXPECT_EQ(GetLangValue("sNope"), "Resource with name \"sNope\" not found!");
    EXPECT_EQ(GetLangValue("sRunning"), "running");
    EXPECT_EQ(GetLangValue("srunning"), "running");   // keys ignore case like the string list
    EXPECT_EQ(GetLangValue("{Classes}"), "Resource with name \"{Classes}\" not found!");
}

TEST_F(LangTest, AMissingTableLeavesNotFoundTextsNotACrash)
{
    LoadLanguageResource("lang_xx");
    EXPECT_EQ(LangStrings.Count(), 0);
    LoadLangGlobals();
    EXPECT_EQ(sRunning, "Resource with name \"sRunning\" not found!");
    EXPECT_EQ(sPPD, "Resource with name \"sPPD\" not found!");
}

TEST_F(LangTest, AnUnknownLanguageNumberIsStoredButShowsEnglish)
{
    SetLanguage(3);
    SetLanguage(7);
    int stored = 0;
    ASSERT_TRUE(StoredLanguage(stored));
    EXPECT_EQ(stored, 7);
    EXPECT_EQ(GetFahSettings().FindValue("inCurrentLanguage").AsInteger(), 7);
    EXPECT_EQ(CurrentLanguage, 1);
    EXPECT_EQ(sRunning, "running");
    EXPECT_EQ(StatusNames[3], "running");

    // Started again with 7 stored: English, and nothing new is written.
    SetFahSettingsPathForTesting(kKey);
    SetUserLanguageIdForTesting(0x0419);
    InitLanguage();
    EXPECT_EQ(CurrentLanguage, 1);
    EXPECT_EQ(sRunning, "running");
    ASSERT_TRUE(StoredLanguage(stored));
    EXPECT_EQ(stored, 7);

    SetLanguage(0);
    EXPECT_EQ(CurrentLanguage, 1);
    ASSERT_TRUE(StoredLanguage(stored));
    EXPECT_EQ(stored, 0);
}

TEST_F(LangTest, SwitchingRefillsStatusNamesAndReCaptionsOncePerSwitch)
{
    int mainCalls = 0, dialogCalls = 0;
    std::vector<std::string> order;
    std::string captionSeen;
    handlers.push_back(AddLanguageHandler([&] {
        ++mainCalls;
        order.push_back("main");
        captionSeen = sRunning;   // the texts are already there
    }));
    handlers.push_back(AddLanguageHandler([&] {
        ++dialogCalls;
        order.push_back("dialog");
    }));

    SetLanguage(3);
    EXPECT_EQ(mainCalls, 1);
    EXPECT_EQ(dialogCalls, 1);
    EXPECT_EQ(captionSeen, "працює");
    const char* ua[] = {"невідомо", "немає доступу", "лог не знайдено",
                        "працює", "готовий до відправлення", "зупинений"};
    for (int i = 0; i < kStatusCount; ++i)
        EXPECT_EQ(StatusNames[i], ua[i]) << i;

    SetLanguage(1);
    EXPECT_EQ(mainCalls, 2);
    EXPECT_EQ(dialogCalls, 2);
    const char* en[] = {"unknown", "no access", "log not found",
                        "running", "ready to send", "stopped"};
    for (int i = 0; i < kStatusCount; ++i)
        EXPECT_EQ(StatusNames[i], en[i]) << i;
    EXPECT_EQ(order, (std::vector<std::string>{"main", "dialog", "main", "dialog"}));

    // A closed window is called no more.
    RemoveLanguageHandler(handlers.back());
    handlers.pop_back();
    SetLanguage(2);
    EXPECT_EQ(mainCalls, 3);
    EXPECT_EQ(dialogCalls, 2);
    EXPECT_EQ(StatusNames[5], "остановлен");
}

TEST_F(LangTest, AFailingReCaptionDoesNotStopTheOthers)
{
    int later = 0;
    handlers.push_back(AddLanguageHandler([] { throw Exception("caption broke"); }));
    handlers.push_back(AddLanguageHandler([&] { ++later; }));
    // A handler that removes itself while the switch runs.
    int selfId = 0, selfCalls = 0;
    selfId = AddLanguageHandler([&] {
        ++selfCalls;
        RemoveLanguageHandler(selfId);
    });
    EXPECT_NO_THROW(SetLanguage(2));
    EXPECT_EQ(later, 1);
    EXPECT_EQ(selfCalls, 1);
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "caption broke");
    SetLanguage(1);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(later, 2);
}

TEST_F(LangTest, ARussianUserWhoNeverChoseSeesRussianAndNothingIsStored)
{
    SetUserLanguageIdForTesting(0x0419);
    EXPECT_EQ(DefaultLanguage(), 2);
    InitLanguage();
    EXPECT_EQ(CurrentLanguage, 2);
    EXPECT_EQ(sRunning, "работает");
    EXPECT_EQ(StatusNames[4], "готов к отправке");
    int stored = 0;
    EXPECT_FALSE(StoredLanguage(stored));
    EXPECT_EQ(GetFahSettings().FindValue("inCurrentLanguage").AsInteger(), -1);

    // Choosing a language stores it at once.
    SetLanguage(1);
    ASSERT_TRUE(StoredLanguage(stored));
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(sRunning, "running");
}

TEST_F(LangTest, TheUsersLanguageIdPicksTheTable)
{
    SetUserLanguageIdForTesting(0x0422);   // Ukrainian
    EXPECT_EQ(DefaultLanguage(), 3);
    SetUserLanguageIdForTesting(0x0819);   // Russian (Moldova): same primary language
    EXPECT_EQ(DefaultLanguage(), 2);
    SetUserLanguageIdForTesting(0x0409);
    EXPECT_EQ(DefaultLanguage(), 1);
    SetUserLanguageIdForTesting(0x0407);   // German
    EXPECT_EQ(DefaultLanguage(), 1);

    SetUserLanguageIdForTesting(0x0422);
    InitLanguage();
    EXPECT_EQ(CurrentLanguage, 3);
    EXPECT_EQ(sShutdown, "зупинений");
}

TEST_F(LangTest, AStoredChoiceWinsOverTheUsersLanguage)
{
    TRegistry r;
    ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\Settings", true));
    r.WriteInteger("inCurrentLanguage", 3);
    r.CloseKey();
    SetFahSettingsPathForTesting(kKey);
    SetUserLanguageIdForTesting(0x0419);
    InitLanguage();
    EXPECT_EQ(CurrentLanguage, 3);
    EXPECT_EQ(sRunning, "працює");

    // A damaged stored choice counts as none.
    ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\Settings", true));
    r.WriteString("inCurrentLanguage", "\xD0\xB6");
    r.CloseKey();
    InitLanguage();
    EXPECT_EQ(CurrentLanguage, 2);
    EXPECT_EQ(sRunning, "работает");
}

TEST_F(LangTest, AWindowReCaptionsItselfOnASwitch)
{
    if (!HaveDisplay())
        GTEST_SKIP() << "no display";
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(label, nullptr);
    auto recaption = [label] { SetWindowTextW(label, Utf8ToWide(sRefreshAction_Caption).c_str()); };
    recaption();
    handlers.push_back(AddLanguageHandler(recaption));
    auto text = [label] {
        wchar_t buf[256];
        int n = GetWindowTextW(label, buf, 256);
        return WideToUtf8(std::wstring_view(buf, n));
    };
    SetLanguage(1);
    EXPECT_EQ(text(), "&Refresh");
    SetLanguage(2);
    EXPECT_EQ(text(), "&Обновить");
    SetLanguage(3);
    EXPECT_EQ(text(), "&Оновити");
    DestroyWindow(label);
}

TEST_F(LangTest, AChoiceThatCannotBeStoredStillSwitchesTheTexts)
{
    // A registry path the registry refuses: the save fails, the switch does not.
    SetFahSettingsPathForTesting(std::string(kKey) + "\\" + std::string(300, 'x'));
    SetLanguage(2);
    EXPECT_EQ(CurrentLanguage, 2);
    EXPECT_EQ(sRunning, "работает");
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Settings\\inCurrentLanguage"), std::string::npos) << errors[0];
}

// The file layer's own words (a reason of its own, why a folder list can't
// be read or saved) are those of the language chosen in the program.
TEST_F(LangTest, TheFileLayersOwnWordsFollowTheChosenLanguage)
{
    TempDir dir;
    const std::string path = dir.File("Brenix.ini");
    // UTF-16 without its mark: no text the program can read.
    WriteFile(path, Utf16Bytes(L"[FAHDir]\r\nline000=\"C:\\a\\\"\r\n").substr(2));
    const struct {
        int language;
        const char *memory, *tooLarge, *notText;
    } cases[] = {
        {1, "Not enough memory", "The file is too large", "The file \"%s\" is not text this program can read"},
        {2, "Недостаточно памяти", "Файл слишком велик",
         "Файл \"%s\" не является текстом, который программа может прочитать"},
        {3, "Недостатньо пам'яті", "Файл завеликий", "Файл \"%s\" не є текстом, який програма може прочитати"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        SetLanguage(c.language);
        EXPECT_EQ(SystemErrorText(ERROR_NOT_ENOUGH_MEMORY), c.memory);
        EXPECT_EQ(SystemErrorText(ERROR_OUTOFMEMORY), c.memory);
        EXPECT_EQ(SystemErrorText(ERROR_FILE_TOO_LARGE), c.tooLarge);
        TIniFile ini(path);
        EXPECT_EQ(ini.LoadError(), StringReplaceAll(c.notText, "%s", path));
        std::string why;
        try {
            ini.WriteString("FAHDir", "line001", "\"D:\\b\\\"");
        } catch (const EFileError& e) {
            why = e.what();
        }
        // The refusal gives the reason alone: the folder list's own message
        // says that the file stays as it is.
        EXPECT_EQ(why, ini.LoadError());
    }
}
