// Runs the language start-up in a process of its own, so a test can start it
// under another user language (Wine takes it from LC_ALL).
//   settings_lang_probe <registry path for the settings>
// Prints first "user [<default user name>] prompt [<nickname prompt>]": the
// default user name of the settings table the program's start-up made, and
// the nickname prompt loaded after it. Then "startup <language> <running text>" as the start-up on the program's
// own settings key chose, then "again <language> <stored> <running text>" after
// the start-up ran once more on the given key, <stored> telling whether that
// key now holds a language choice.
#include <windows.h>

#include <string>
#include <variant>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "platform/Registry.h"
#include "platform/Text.h"

static void Out(const std::string& s)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written,
              nullptr);
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    const TAppVal& user = GetFahSettings().FindValue("dfUserName");
    const std::string* def = std::get_if<std::string>(&user.DefaultValue);
    Out("user [" + (def ? *def : std::string("(not text)")) + "] prompt [" + sInputYouNick + "]\n");
    Out("startup " + IntToStr(CurrentLanguage) + " " + sRunning + "\n");
    std::string path = WideToUtf8(argv[1]);
    SetFahSettingsPathForTesting(path);
    InitLanguage();
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    bool stored = r.OpenKeyReadOnly(path + "\\Settings") && r.ValueExists("inCurrentLanguage");
    Out("again " + IntToStr(CurrentLanguage) + " " + (stored ? "stored" : "none") + " " + sRunning +
        "\n");
    return 0;
}
