#include "Classes/Lang.h"

#include <utility>
#include <vector>

#include "Classes/FahSettings.h"
#include "platform/FileUtil.h"
#include "platform/Firewall.h"
#include "platform/InputBox.h"
#include "platform/Resources.h"
#include "platform/Text.h"

TLanguageInfo Languages[kLanguageCount + 1] = {{"", ""}, {"en", ""}, {"ru", ""}, {"ua", ""}};
TStringList LangStrings;
int CurrentLanguage = 1;
std::string StatusNames[kStatusCount];

// {Classes}
std::string sUnknown;
std::string sNotAccess;
std::string sLogNotFound;
std::string sRunning;
std::string sReadyForSend;
std::string sShutdown;
std::string sWithoutLimitation;
std::string sConfigNotDefined;
std::string sNoData;
std::string sTotal;
std::string sInputYouNick;

// {TreeFrames}
std::string sPath;
std::string sState;
std::string sPercent;
std::string sDownload;
std::string sEnd;
std::string sDue;
std::string sRCG;
std::string sCredit;
std::string sPPH;
std::string sPPD;
std::string sPrefDays;
std::string sCore;
std::string sUserTeam;
std::string sProjNum;
std::string sCompConfig;
std::string sWUName;
std::string sProjSize;
std::string sUploadProjSize;
std::string sFrames;
std::string sServerIP;
std::string sAvgTimeStep;
std::string sParam;
std::string sValue;
std::string sKB;
std::string sMB;
std::string sInputString;
std::string sFileIsReadOnly;
std::string sConfirm;
std::string sIniSaveAction_Caption;
std::string sIniSaveAction_Hint;
std::string sIniChancelAction_Caption;
std::string sIniChancelAction_Hint;
std::string sIniAddLineAction_Caption;
std::string sIniAddLineAction_Hint;
std::string sIniDelLineAction_Caption;
std::string sIniDelLineAction_Hint;
std::string sCompleted;
std::string sForJumpTo;
std::string sCancel;

// {ParamFrames}
std::string sProgramSettings;
std::string sSettings;
std::string sSystemOptions;
std::string sEventsAndAutomations;
std::string sWUDatabase;
std::string sUserTeamA;
std::string sInterface;
std::string sMainData;
std::string sLogWindow;
std::string sLogLinesNotShown;
std::string sLogStartNotShown;
std::string sAdditionData;
std::string sAutoRunCB_Caption;
std::string sMinCB_Caption;
std::string sCloseAsMinCB_Caption;
std::string sAutoUpdateCB_Caption;
std::string sUpdateIntervalL_Caption;
std::string sSecL_Caption;
std::string sEventsResponseGB_Caption;
std::string sFlashIconCB_Caption;
std::string sHintExCB_Caption;
std::string sXPOnlyL_Caption;
std::string sEventLogCB_Caption;
std::string sClientStarted;
std::string sClientStopped;
std::string sResultOccurred;
std::string sShowAllLogWndsCB_Caption;
std::string sShowFahPrevCB_Caption;
std::string sHideToolbarCB_Caption;
std::string sToolbarCaptionsRG_Caption;
std::string sBottom;
std::string sRight;
std::string sOff;
std::string sHideStatusGB_Caption;
std::string sGroupByCompCB_Caption;
std::string sShowVertGridLinesCB_Caption;
std::string sShowHorzGridLinesCB_Caption;
std::string sHighlightIfErrorCB_Caption;
std::string sBackgroundPicL_Caption;
std::string sPictures;
std::string sColorLogCB_Caption;
std::string sColorsInLogGB_Caption;
std::string sPositiveL_Caprion;
std::string sInformationL_Caption;
std::string sErrorL_Caption;
std::string sOtherL_Caption;
std::string sByDefaultB_Caption;
std::string sUpdateWhenNeedCB_Caption;
std::string sUseProxyCB_Caption;
std::string sServerL_Caption;
std::string sPortL_Caption;
std::string sLoginL_Caption;
std::string sPassL_Caption;
std::string sOpenPassWarningL_Caption;
std::string sUpdatedIn;
std::string sNotUpdated;
std::string sUser;
std::string sTeam;
std::string sUserTeamByDefaultL_Caption;
std::string sKPXTeam;
std::string sCheckForUpdateEvery;
std::string sDays;
std::string sCpuUsageCB_Caption;
std::string sCpuAffinityCB_Caption;
std::string sAffinitySortOrderRG_Caption;
std::string sByMemory;
std::string sByCPUTime;

// {Main}
std::string sDeleteMonitoring;
std::string sAddFolder;
std::string sEditFolder;
std::string sUpdatingWUdatabase;
std::string sReceived;
std::string sByte;
std::string sUpdateError;
std::string sHostNotFound;
std::string sNoConnection;
std::string sServerNoAnswer;
std::string sDownloadTooLarge;
std::string sDownloadTooLong;
std::string sNotSaved;
std::string sFileInUse;
std::string sFolderInTheWay;
std::string sAccessDenied;
std::string sDiskFull;
std::string sFolderNotFound;
std::string sWindowsError;
std::string sNotTheSummary;
std::string sNotTheDocument;
std::string sAnswerBrokeOff;
std::string sAnswerBrokeOffAt;
std::string sProxyNotFound;
std::string sNoProxyConnection;
std::string sProxyNoAnswer;
std::string sProxyWantsLogin;
std::string sProxyRefusedLogin;
std::string sProxyBadGateway;
std::string sServerStatAction_Caption;
std::string sAddFahAction_Caption;
std::string sAddFahAction_Hint;
std::string sEditFahAction_Caption;
std::string sEditFahAction_Hint;
std::string sDelFahAction_Caption;
std::string sDelFahAction_Hint;
std::string sRestartFAHServiceAction_Caption;
std::string sRestartFAHServiceAction_Hint;
std::string sStopFAHServiceAction_Caption;
std::string sStopFAHServiceAction_Hint;
std::string sUserCard_Caption;
std::string sExitAction_Caption;
std::string sExitAction_Hint;
std::string sAboutAction_Caption;
std::string sAboutAction_Hint;
std::string sCopyToClipBrdAction_Caption;
std::string sCopyToClipBrdAction_Hint;
std::string sRefreshAction_Caption;
std::string sRefreshAction_Hint;
std::string sOperStatAction_Caption;
std::string sFullStatAction_Caption;
std::string sTeamStatAction_Caption;
std::string sKPXForumAction_Caption;
std::string sOfficialForumAction_Caption;
std::string sAutoUpdateAction_Caption;
std::string sAutoUpdateAction_Hint;
std::string sOptionsAction_Caption;
std::string sOptionsAction_Hint;
std::string sFahColAction_Caption;
std::string sFahColAction_Hint;
std::string sCurProjAction_Caption;
std::string sUpdateFahBaseAction_Caption;
std::string sUpdateFahBaseAction_Hint;
std::string sHideNotActiveFodersAction_Caption;
std::string sHideNotActiveFodersAction_Hint;
std::string sService;
std::string sServiceButton;
std::string sHelp;
std::string sAsmOffError;
std::string sVersion;
std::string sRestore;
std::string sMinimize;
std::string sInformation;
std::string sCheckForUpdateAction_Caption;
std::string sFindNewVersion;
std::string sFindNewVersionNoDate;
std::string sNewVersionNotFound;
std::string sExecExitCode;
std::string sExecNotStarted;
std::string sStartupTypeAction_Caption;
std::string sStartupTypeAutomaticAction_Caption;
std::string sStartupTypeManualAction_Caption;
std::string sStartupTypeDisabledAction_Caption;
std::string sHideCpuUsageAction_Caption;
std::string sServiceNotRestarted;
std::string sFinishingRestart;
std::string sPreviousCopyEnding;
std::string sFolderListNotRead;
std::string sFolderListNotSaved;
std::string sOutOfMemoryNow;
std::string sFolderNotFull;
std::string sNotEnoughMemory;
std::string sFileTooLarge;
std::string sFileNotRead;
std::string sFileNotCreated;
std::string sFileNotWritten;
std::string sFileNotWholeUtf16;
std::string sFileNotText;
std::string sExecEndedWithCode;
std::string sClientCfgNotSaved;
std::string sSaveClientCfgChanges;
std::string sYes;
std::string sNo;
std::string sClientCfgGone;
std::string sNotWatched;
std::string sFolderListLineNoHeader;
std::string sFoldersNotWatched;
std::string sCopyFailed;
std::string sOutOfRange;
std::string sSettingsNotSaved;
std::string sSettingNotSaved;
std::string sSettingsNotRead;

// {Dialogs}
std::string sFolder;
std::string sAlias;
std::string sAliasHint;
std::string sServiceName;
std::string sServiceNameHint;
std::string sShowInHint;
std::string sShowInHintHint;
std::string sCompConfigHint;
std::string sSelectFolder;
std::string sColumnSettings;
std::string sColumnSettingsHint;
std::string sDeveloper;
std::string sAboutInfo;
std::string sAboutDonate;
std::string sSupportThanks;
std::string sJoinToKPX;
std::string sFolderEmpty;
std::string sFolderListed;
std::string sJpegNotice;

// {OtherStrings}
std::string sFahCores;
std::string sOther;
std::string sIdle;

namespace {

struct TLangGlobal {
    const char* name;
    std::string* text;
};

#define BX_LANG_GLOBAL(key) {#key, &key}
const TLangGlobal kLangGlobals[] = {
    // {Classes}
    BX_LANG_GLOBAL(sUnknown),
    BX_LANG_GLOBAL(sNotAccess),
    BX_LANG_GLOBAL(sLogNotFound),
    BX_LANG_GLOBAL(sRunning),
    BX_LANG_GLOBAL(sReadyForSend),
    BX_LANG_GLOBAL(sShutdown),
    BX_LANG_GLOBAL(sWithoutLimitation),
    BX_LANG_GLOBAL(sConfigNotDefined),
    BX_LANG_GLOBAL(sNoData),
    BX_LANG_GLOBAL(sTotal),
    BX_LANG_GLOBAL(sInputYouNick),
    // {TreeFrames}
    BX_LANG_GLOBAL(sPath),
    BX_LANG_GLOBAL(sState),
    BX_LANG_GLOBAL(sPercent),
    BX_LANG_GLOBAL(sDownload),
    BX_LANG_GLOBAL(sEnd),
    BX_LANG_GLOBAL(sDue),
    BX_LANG_GLOBAL(sRCG),
    BX_LANG_GLOBAL(sCredit),
    BX_LANG_GLOBAL(sPPH),
    BX_LANG_GLOBAL(sPPD),
    BX_LANG_GLOBAL(sPrefDays),
    BX_LANG_GLOBAL(sCore),
    BX_LANG_GLOBAL(sUserTeam),
    BX_LANG_GLOBAL(sProjNum),
    BX_LANG_GLOBAL(sCompConfig),
    BX_LANG_GLOBAL(sWUName),
    BX_LANG_GLOBAL(sProjSize),
    BX_LANG_GLOBAL(sUploadProjSize),
    BX_LANG_GLOBAL(sFrames),
    BX_LANG_GLOBAL(sServerIP),
    BX_LANG_GLOBAL(sAvgTimeStep),
    BX_LANG_GLOBAL(sParam),
    BX_LANG_GLOBAL(sValue),
    BX_LANG_GLOBAL(sKB),
    BX_LANG_GLOBAL(sMB),
    BX_LANG_GLOBAL(sInputString),
    BX_LANG_GLOBAL(sFileIsReadOnly),
    BX_LANG_GLOBAL(sConfirm),
    BX_LANG_GLOBAL(sIniSaveAction_Caption),
    BX_LANG_GLOBAL(sIniSaveAction_Hint),
    BX_LANG_GLOBAL(sIniChancelAction_Caption),
    BX_LANG_GLOBAL(sIniChancelAction_Hint),
    BX_LANG_GLOBAL(sIniAddLineAction_Caption),
    BX_LANG_GLOBAL(sIniAddLineAction_Hint),
    BX_LANG_GLOBAL(sIniDelLineAction_Caption),
    BX_LANG_GLOBAL(sIniDelLineAction_Hint),
    BX_LANG_GLOBAL(sCompleted),
    BX_LANG_GLOBAL(sForJumpTo),
    BX_LANG_GLOBAL(sCancel),
    // {ParamFrames}
    BX_LANG_GLOBAL(sProgramSettings),
    BX_LANG_GLOBAL(sSettings),
    BX_LANG_GLOBAL(sSystemOptions),
    BX_LANG_GLOBAL(sEventsAndAutomations),
    BX_LANG_GLOBAL(sWUDatabase),
    BX_LANG_GLOBAL(sUserTeamA),
    BX_LANG_GLOBAL(sInterface),
    BX_LANG_GLOBAL(sMainData),
    BX_LANG_GLOBAL(sLogWindow),
    BX_LANG_GLOBAL(sLogLinesNotShown),
    BX_LANG_GLOBAL(sLogStartNotShown),
    BX_LANG_GLOBAL(sAdditionData),
    BX_LANG_GLOBAL(sAutoRunCB_Caption),
    BX_LANG_GLOBAL(sMinCB_Caption),
    BX_LANG_GLOBAL(sCloseAsMinCB_Caption),
    BX_LANG_GLOBAL(sAutoUpdateCB_Caption),
    BX_LANG_GLOBAL(sUpdateIntervalL_Caption),
    BX_LANG_GLOBAL(sSecL_Caption),
    BX_LANG_GLOBAL(sEventsResponseGB_Caption),
    BX_LANG_GLOBAL(sFlashIconCB_Caption),
    BX_LANG_GLOBAL(sHintExCB_Caption),
    BX_LANG_GLOBAL(sXPOnlyL_Caption),
    BX_LANG_GLOBAL(sEventLogCB_Caption),
    BX_LANG_GLOBAL(sClientStarted),
    BX_LANG_GLOBAL(sClientStopped),
    BX_LANG_GLOBAL(sResultOccurred),
    BX_LANG_GLOBAL(sShowAllLogWndsCB_Caption),
    BX_LANG_GLOBAL(sShowFahPrevCB_Caption),
    BX_LANG_GLOBAL(sHideToolbarCB_Caption),
    BX_LANG_GLOBAL(sToolbarCaptionsRG_Caption),
    BX_LANG_GLOBAL(sBottom),
    BX_LANG_GLOBAL(sRight),
    BX_LANG_GLOBAL(sOff),
    BX_LANG_GLOBAL(sHideStatusGB_Caption),
    BX_LANG_GLOBAL(sGroupByCompCB_Caption),
    BX_LANG_GLOBAL(sShowVertGridLinesCB_Caption),
    BX_LANG_GLOBAL(sShowHorzGridLinesCB_Caption),
    BX_LANG_GLOBAL(sHighlightIfErrorCB_Caption),
    BX_LANG_GLOBAL(sBackgroundPicL_Caption),
    BX_LANG_GLOBAL(sPictures),
    BX_LANG_GLOBAL(sColorLogCB_Caption),
    BX_LANG_GLOBAL(sColorsInLogGB_Caption),
    BX_LANG_GLOBAL(sPositiveL_Caprion),
    BX_LANG_GLOBAL(sInformationL_Caption),
    BX_LANG_GLOBAL(sErrorL_Caption),
    BX_LANG_GLOBAL(sOtherL_Caption),
    BX_LANG_GLOBAL(sByDefaultB_Caption),
    BX_LANG_GLOBAL(sUpdateWhenNeedCB_Caption),
    BX_LANG_GLOBAL(sUseProxyCB_Caption),
    BX_LANG_GLOBAL(sServerL_Caption),
    BX_LANG_GLOBAL(sPortL_Caption),
    BX_LANG_GLOBAL(sLoginL_Caption),
    BX_LANG_GLOBAL(sPassL_Caption),
    BX_LANG_GLOBAL(sOpenPassWarningL_Caption),
    BX_LANG_GLOBAL(sUpdatedIn),
    BX_LANG_GLOBAL(sNotUpdated),
    BX_LANG_GLOBAL(sUser),
    BX_LANG_GLOBAL(sTeam),
    BX_LANG_GLOBAL(sUserTeamByDefaultL_Caption),
    BX_LANG_GLOBAL(sKPXTeam),
    BX_LANG_GLOBAL(sCheckForUpdateEvery),
    BX_LANG_GLOBAL(sDays),
    BX_LANG_GLOBAL(sCpuUsageCB_Caption),
    BX_LANG_GLOBAL(sCpuAffinityCB_Caption),
    BX_LANG_GLOBAL(sAffinitySortOrderRG_Caption),
    BX_LANG_GLOBAL(sByMemory),
    BX_LANG_GLOBAL(sByCPUTime),
    // {Main}
    BX_LANG_GLOBAL(sDeleteMonitoring),
    BX_LANG_GLOBAL(sAddFolder),
    BX_LANG_GLOBAL(sEditFolder),
    BX_LANG_GLOBAL(sUpdatingWUdatabase),
    BX_LANG_GLOBAL(sReceived),
    BX_LANG_GLOBAL(sByte),
    BX_LANG_GLOBAL(sUpdateError),
    BX_LANG_GLOBAL(sHostNotFound),
    BX_LANG_GLOBAL(sNoConnection),
    BX_LANG_GLOBAL(sServerNoAnswer),
    BX_LANG_GLOBAL(sDownloadTooLarge),
    BX_LANG_GLOBAL(sDownloadTooLong),
    BX_LANG_GLOBAL(sNotSaved),
    BX_LANG_GLOBAL(sFileInUse),
    BX_LANG_GLOBAL(sFolderInTheWay),
    BX_LANG_GLOBAL(sAccessDenied),
    BX_LANG_GLOBAL(sDiskFull),
    BX_LANG_GLOBAL(sFolderNotFound),
    BX_LANG_GLOBAL(sWindowsError),
    BX_LANG_GLOBAL(sNotTheSummary),
    BX_LANG_GLOBAL(sNotTheDocument),
    BX_LANG_GLOBAL(sAnswerBrokeOff),
    BX_LANG_GLOBAL(sAnswerBrokeOffAt),
    BX_LANG_GLOBAL(sProxyNotFound),
    BX_LANG_GLOBAL(sNoProxyConnection),
    BX_LANG_GLOBAL(sProxyNoAnswer),
    BX_LANG_GLOBAL(sProxyWantsLogin),
    BX_LANG_GLOBAL(sProxyRefusedLogin),
    BX_LANG_GLOBAL(sProxyBadGateway),
    BX_LANG_GLOBAL(sServerStatAction_Caption),
    BX_LANG_GLOBAL(sAddFahAction_Caption),
    BX_LANG_GLOBAL(sAddFahAction_Hint),
    BX_LANG_GLOBAL(sEditFahAction_Caption),
    BX_LANG_GLOBAL(sEditFahAction_Hint),
    BX_LANG_GLOBAL(sDelFahAction_Caption),
    BX_LANG_GLOBAL(sDelFahAction_Hint),
    BX_LANG_GLOBAL(sRestartFAHServiceAction_Caption),
    BX_LANG_GLOBAL(sRestartFAHServiceAction_Hint),
    BX_LANG_GLOBAL(sStopFAHServiceAction_Caption),
    BX_LANG_GLOBAL(sStopFAHServiceAction_Hint),
    BX_LANG_GLOBAL(sUserCard_Caption),
    BX_LANG_GLOBAL(sExitAction_Caption),
    BX_LANG_GLOBAL(sExitAction_Hint),
    BX_LANG_GLOBAL(sAboutAction_Caption),
    BX_LANG_GLOBAL(sAboutAction_Hint),
    BX_LANG_GLOBAL(sCopyToClipBrdAction_Caption),
    BX_LANG_GLOBAL(sCopyToClipBrdAction_Hint),
    BX_LANG_GLOBAL(sRefreshAction_Caption),
    BX_LANG_GLOBAL(sRefreshAction_Hint),
    BX_LANG_GLOBAL(sOperStatAction_Caption),
    BX_LANG_GLOBAL(sFullStatAction_Caption),
    BX_LANG_GLOBAL(sTeamStatAction_Caption),
    BX_LANG_GLOBAL(sKPXForumAction_Caption),
    BX_LANG_GLOBAL(sOfficialForumAction_Caption),
    BX_LANG_GLOBAL(sAutoUpdateAction_Caption),
    BX_LANG_GLOBAL(sAutoUpdateAction_Hint),
    BX_LANG_GLOBAL(sOptionsAction_Caption),
    BX_LANG_GLOBAL(sOptionsAction_Hint),
    BX_LANG_GLOBAL(sFahColAction_Caption),
    BX_LANG_GLOBAL(sFahColAction_Hint),
    BX_LANG_GLOBAL(sCurProjAction_Caption),
    BX_LANG_GLOBAL(sUpdateFahBaseAction_Caption),
    BX_LANG_GLOBAL(sUpdateFahBaseAction_Hint),
    BX_LANG_GLOBAL(sHideNotActiveFodersAction_Caption),
    BX_LANG_GLOBAL(sHideNotActiveFodersAction_Hint),
    BX_LANG_GLOBAL(sService),
    BX_LANG_GLOBAL(sServiceButton),
    BX_LANG_GLOBAL(sHelp),
    BX_LANG_GLOBAL(sAsmOffError),
    BX_LANG_GLOBAL(sVersion),
    BX_LANG_GLOBAL(sRestore),
    BX_LANG_GLOBAL(sMinimize),
    BX_LANG_GLOBAL(sInformation),
    BX_LANG_GLOBAL(sCheckForUpdateAction_Caption),
    BX_LANG_GLOBAL(sFindNewVersion),
    BX_LANG_GLOBAL(sFindNewVersionNoDate),
    BX_LANG_GLOBAL(sNewVersionNotFound),
    BX_LANG_GLOBAL(sExecExitCode),
    BX_LANG_GLOBAL(sExecNotStarted),
    BX_LANG_GLOBAL(sStartupTypeAction_Caption),
    BX_LANG_GLOBAL(sStartupTypeAutomaticAction_Caption),
    BX_LANG_GLOBAL(sStartupTypeManualAction_Caption),
    BX_LANG_GLOBAL(sStartupTypeDisabledAction_Caption),
    BX_LANG_GLOBAL(sHideCpuUsageAction_Caption),
    BX_LANG_GLOBAL(sServiceNotRestarted),
    BX_LANG_GLOBAL(sFinishingRestart),
    BX_LANG_GLOBAL(sPreviousCopyEnding),
    BX_LANG_GLOBAL(sFolderListNotRead),
    BX_LANG_GLOBAL(sFolderListNotSaved),
    BX_LANG_GLOBAL(sOutOfMemoryNow),
    BX_LANG_GLOBAL(sFolderNotFull),
    BX_LANG_GLOBAL(sNotEnoughMemory),
    BX_LANG_GLOBAL(sFileTooLarge),
    BX_LANG_GLOBAL(sFileNotRead),
    BX_LANG_GLOBAL(sFileNotCreated),
    BX_LANG_GLOBAL(sFileNotWritten),
    BX_LANG_GLOBAL(sFileNotWholeUtf16),
    BX_LANG_GLOBAL(sFileNotText),
    BX_LANG_GLOBAL(sExecEndedWithCode),
    BX_LANG_GLOBAL(sClientCfgNotSaved),
    BX_LANG_GLOBAL(sSaveClientCfgChanges),
    BX_LANG_GLOBAL(sYes),
    BX_LANG_GLOBAL(sNo),
    BX_LANG_GLOBAL(sClientCfgGone),
    BX_LANG_GLOBAL(sNotWatched),
    BX_LANG_GLOBAL(sFolderListLineNoHeader),
    BX_LANG_GLOBAL(sFoldersNotWatched),
    BX_LANG_GLOBAL(sCopyFailed),
    BX_LANG_GLOBAL(sOutOfRange),
    BX_LANG_GLOBAL(sSettingsNotSaved),
    BX_LANG_GLOBAL(sSettingNotSaved),
    BX_LANG_GLOBAL(sSettingsNotRead),
    // {Dialogs}
    BX_LANG_GLOBAL(sFolder),
    BX_LANG_GLOBAL(sAlias),
    BX_LANG_GLOBAL(sAliasHint),
    BX_LANG_GLOBAL(sServiceName),
    BX_LANG_GLOBAL(sServiceNameHint),
    BX_LANG_GLOBAL(sShowInHint),
    BX_LANG_GLOBAL(sShowInHintHint),
    BX_LANG_GLOBAL(sCompConfigHint),
    BX_LANG_GLOBAL(sSelectFolder),
    BX_LANG_GLOBAL(sColumnSettings),
    BX_LANG_GLOBAL(sColumnSettingsHint),
    BX_LANG_GLOBAL(sDeveloper),
    BX_LANG_GLOBAL(sAboutInfo),
    BX_LANG_GLOBAL(sAboutDonate),
    BX_LANG_GLOBAL(sSupportThanks),
    BX_LANG_GLOBAL(sJoinToKPX),
    BX_LANG_GLOBAL(sFolderEmpty),
    BX_LANG_GLOBAL(sFolderListed),
    BX_LANG_GLOBAL(sJpegNotice),
    // {OtherStrings}
    BX_LANG_GLOBAL(sFahCores),
    BX_LANG_GLOBAL(sOther),
    BX_LANG_GLOBAL(sIdle),
};
#undef BX_LANG_GLOBAL

LANGID g_userLanguageOverride = 0;

struct THandlerList {
    int nextId = 1;
    std::vector<std::pair<int, std::function<void()>>> items;
};

THandlerList& Handlers()
{
    static THandlerList list;
    return list;
}

// Loads table n (English for a number outside 1 .. 3) and re-captions,
// without touching the stored choice.
void ShowLanguage(int n)
{
    if (n >= 1 && n <= kLanguageCount) {
        CurrentLanguage = n;
    } else {
        CurrentLanguage = 1;
    }
    LoadLanguageResource("lang_" + Languages[CurrentLanguage].Code);
    LoadLangGlobals();
    ReloadLanguage();
}

}  // namespace

int LangGlobalCount() { return static_cast<int>(sizeof kLangGlobals / sizeof kLangGlobals[0]); }

const char* LangGlobalName(int i) { return kLangGlobals[i].name; }

const std::string& LangGlobalText(int i) { return *kLangGlobals[i].text; }

void LoadStatusNames()
{
    StatusNames[0] = sUnknown;
    StatusNames[1] = sNotAccess;
    StatusNames[2] = sLogNotFound;
    StatusNames[3] = sRunning;
    StatusNames[4] = sReadyForSend;
    StatusNames[5] = sShutdown;
}

void LoadLanguageResource(const std::string& name)
{
    LangStrings.Clear();
    std::string bytes;
    if (TryLoadRCData(AsciiUpper(name), bytes))
        LangStrings.SetText(Cp1251ToUtf8(bytes));
}

std::string GetLangValue(const std::string& key)
{
    int i = LangStrings.IndexOfName(key);
    if (i < 0)
        return "Resource with name \"" + key + "\" not found!";
    return LangStrings.ValueFromIndex(i);
}

void LoadLanguageNames()
{
    for (int n = 1; n <= kLanguageCount; ++n) {
        LoadLanguageResource("lang_" + Languages[n].Code);
        Languages[n].Name = GetLangValue("sLanguage");
    }
}

void LoadLangGlobals()
{
    for (const TLangGlobal& g : kLangGlobals)
        *g.text = GetLangValue(g.name);
    // The layer's own input box has no language of its own.
    SetInputBoxCancelCaption(sCancel);
    // Nor have its file readers and writers.
    TFileTexts files;
    files.FileTooLarge = sFileTooLarge;
    files.NotEnoughMemory = sNotEnoughMemory;
    files.NotRead = sFileNotRead;
    files.NotCreated = sFileNotCreated;
    files.NotWritten = sFileNotWritten;
    files.NotWholeUtf16 = sFileNotWholeUtf16;
    files.NotText = sFileNotText;
    SetFileTexts(files);
}

std::vector<std::pair<int, std::string>> LangBoxButtons()
{
    return {{IDYES, sYes}, {IDNO, sNo}, {IDCANCEL, sCancel}};
}

void ReloadLanguage()
{
    LoadStatusNames();
    // A handler may add or remove handlers while it runs.
    auto items = Handlers().items;
    for (auto& item : items) {
        bool stillThere = false;
        for (auto& live : Handlers().items)
            if (live.first == item.first)
                stillThere = true;
        if (!stillThere || !item.second)
            continue;
        try {
            item.second();
        } catch (...) {
            HandleCurrentException();
        }
    }
}

void SetLanguage(int n)
{
    CurrentLanguage = n;
    try {
        TAppVal& v = GetFahSettings().FindValue("inCurrentLanguage");
        v.SetEdited(n);
        v.Save();
    } catch (...) {
        // The texts still switch when the choice can't be stored.
        HandleCurrentException();
    }
    ShowLanguage(n);
}

int DefaultLanguage()
{
    LANGID id = g_userLanguageOverride ? g_userLanguageOverride : GetUserDefaultLangID();
    switch (id & 0x3FF) {
    case 0x19: return 2;
    case 0x22: return 3;
    default: return 1;
    }
}

void InitLanguage()
{
    LoadLanguageNames();
    TAppVal& v = GetFahSettings().FindValue("inCurrentLanguage");
    v.Load();
    int stored = v.AsInteger();
    if (stored == -1)
        ShowLanguage(DefaultLanguage());   // nothing is stored until the user chooses
    else
        SetLanguage(stored);
}

int AddLanguageHandler(std::function<void()> handler)
{
    THandlerList& list = Handlers();
    int id = list.nextId++;
    list.items.emplace_back(id, std::move(handler));
    return id;
}

void RemoveLanguageHandler(int id)
{
    auto& items = Handlers().items;
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (it->first == id) {
            items.erase(it);
            return;
        }
    }
}

void SetUserLanguageIdForTesting(LANGID id) { g_userLanguageOverride = id; }

// ---------------------------------------------------------------------------
// Start-up: the texts are there before any window is made.

namespace {

struct TLanguageStartup {
    TLanguageStartup()
    {
        try {
            InitLanguage();
        } catch (...) {
            try {
                CurrentLanguage = 1;
                LoadLanguageResource("lang_en");
                LoadLangGlobals();
                LoadStatusNames();
            } catch (...) {
            }
        }
    }
};

TLanguageStartup g_languageStartup;

}  // namespace

std::string FillIn(const std::string& pattern, std::initializer_list<std::string> args)
{
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == 's') {
                if (next != args.end())
                    out += *next++;
                ++i;
                continue;
            }
            if (pattern[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}
