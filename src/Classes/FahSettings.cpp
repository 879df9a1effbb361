#include "Classes/FahSettings.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>

#include "Classes/FahUtils.h"
#include "Classes/Lang.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"
#include "platform/Registry.h"
#include "platform/Text.h"

const char* const kFahSettingsPath = "Software\\Zembrik\\Brenix\\";
const char* const kAutoRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kAutoRunValueName = "Brenix";

namespace {

struct TSettingRow {
    const char* key;
    TAppVariant def;
};

}  // namespace

TFahSettings::TFahSettings(const std::string& regPath) : TAppSettings(regPath)
{
    const TSettingRow rows[] = {
        {"Settings\\osAutoRun", false},
        {"Settings\\osMinimizeToTray", false},
        {"Settings\\osCloseAsMinimize", false},
        {"Settings\\osCheckForUpdate", true},
        {"Settings\\osUpdateInterval", 10},
        {"Settings\\osNextCheck", static_cast<double>(Date())},
        {"Settings\\osCpuAffinity", false},
        {"Settings\\osCpuAffinitySortOrder", 0},
        {"Settings\\osCpuUsageIndicator", IsWin2000OrLater()},
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
        {"Settings\\inColorOk", 0xD5FFD5},
        {"Settings\\inColorInfo", 0xFFE9D5},
        {"Settings\\inColorError", 0xD5D5FF},
        {"Settings\\inColorOther", 0xE9E9E9},
        {"Settings\\inBkLog", std::string("C:\\background_log.bmp")},
        {"Settings\\inBkAddInfo", std::string("C:\\background_add.bmp")},
        {"Settings\\upUpdateWhenNeed", false},
        {"Settings\\upUseProxy", false},
        {"Settings\\upProxyName", std::string("proxy")},
        {"Settings\\upProxyPort", 3128},
        {"Settings\\upProxyUserName", std::string()},
        {"Settings\\upProxyUserPassword", std::string()},
        {"Settings\\upURL", std::string(kDefaultSummaryURL)},
        // The texts are normally loaded after the table is made, so this is empty then.
        {"Settings\\dfUserName", sInputYouNick},
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
    for (const TSettingRow& row : rows)
        Add(new TAppVal(this, row.key, row.def));
    SetBounds();
}

// Every stored number is read into the range its settings page allows: a
// quantity (days, seconds, a window's size) comes to the nearest end of its
// range; a choice, a colour or a port that none of its page's controls can
// give reads as its default. (A stored refresh interval of 0 once stopped
// the list from refreshing.)
void TFahSettings::SetBounds()
{
    auto clamp = [this](const char* name, int lo, int hi) {
        FindValue(name).Bound = [lo, hi](const TAppVariant& v) {
            return TAppVariant(std::clamp(VarToInt(v, lo), lo, hi));
        };
    };
    auto within = [this](const char* name, int lo, int hi) {
        TAppVal& value = FindValue(name);
        const int def = VarToInt(value.DefaultValue);
        value.Bound = [lo, hi, def](const TAppVariant& v) {
            const int n = VarToInt(v, def);
            return TAppVariant(n >= lo && n <= hi ? n : def);
        };
    };
    clamp("osUpdateInterval", 1, 99);
    within("osCpuAffinitySortOrder", 0, 1);
    clamp("evAutoUpdateInterval", 30, 600);
    within("inTBTypeCaption", 0, 2);
    for (const char* colour : {"inColorOk", "inColorInfo", "inColorError", "inColorOther"})
        within(colour, 0, 0xFFFFFF);
    within("upProxyPort", 1, 65535);
    within("dfTeamID", 0, INT_MAX);
    within("fpState", 0, 2);
    // The main window: at least its smallest size, at most what the screens span.
    auto windowSize = [this](const char* name, int least, int screenMetric) {
        FindValue(name).Bound = [least, screenMetric](const TAppVariant& v) {
            const int screen = GetSystemMetrics(screenMetric);
            return TAppVariant(std::clamp(VarToInt(v, least), least, std::max(least, screen > 0 ? screen : 32767)));
        };
    };
    windowSize("fpWidth", 400, SM_CXVIRTUALSCREEN);
    windowSize("fpHeight", 300, SM_CYVIRTUALSCREEN);
    // An unknown language shows English; -1 (none chosen yet) stays.
    FindValue("inCurrentLanguage").Bound = [](const TAppVariant& v) {
        const int n = VarToInt(v, -1);
        return TAppVariant(n == -1 || (n >= 1 && n <= 3) ? n : 1);
    };
    // The next version check lies no further ahead than the longest interval.
    FindValue("osNextCheck").Bound = [](const TAppVariant& v) {
        const double d = VarToFloat(v, Date()), latest = static_cast<double>(Date()) + 99;
        return TAppVariant(!(d >= 0) ? 0.0 : d > latest ? latest : d);
    };
}

std::string AutoRunCommand()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            throw Exception("Can't get the program's file name");
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        if (buf.size() >= 32768)
            throw Exception("The program's file name is too long");
        buf.resize(buf.size() * 2);
    }
    return "\"" + WideToUtf8(buf) + "\"";
}

void TFahSettings::Apply()
{
    std::exception_ptr first;
    try {
        TRegistry reg;
        if (!reg.OpenKey(kAutoRunKey, true))
            throw ERegistryError(std::string("Failed to open key ") + kAutoRunKey);
        if (FindValue("osAutoRun").EditedBoolean())
            reg.WriteString(kAutoRunValueName, AutoRunCommand());
        else if (reg.ValueExists(kAutoRunValueName) && !reg.DeleteValue(kAutoRunValueName))
            throw ERegistryError(std::string("Failed to delete value ") + kAutoRunValueName);
    } catch (...) {
        first = std::current_exception();
    }
    if (OnApply) {
        try {
            OnApply(*this);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

// ---------------------------------------------------------------------------

namespace {

std::string& SettingsPath()
{
    static std::string path = kFahSettingsPath;
    return path;
}

std::unique_ptr<TFahSettings>& Instance()
{
    static std::unique_ptr<TFahSettings> instance;
    return instance;
}

}  // namespace

TFahSettings& GetFahSettings()
{
    auto& p = Instance();
    if (!p)
        p = std::make_unique<TFahSettings>(SettingsPath());
    return *p;
}

void FreeFahSettings() { Instance().reset(); }

void SetFahSettingsPathForTesting(const std::string& path)
{
    FreeFahSettings();
    SettingsPath() = path.empty() ? std::string(kFahSettingsPath) : path;
}

std::string SaveFailureText(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const ESettingNotSaved& refused) {
        return FillIn(sSettingNotSaved, {refused.Setting, refused.Reason});
    } catch (...) {
        return ExceptionMessage(e);
    }
}
