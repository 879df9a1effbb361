// The program's texts in English, Russian and Ukrainian.
//
// The three tables ("LANG_EN", "LANG_RU", "LANG_UA") are RCDATA resources of
// key=value lines in Windows-1251. The current one is kept in LangStrings and
// every key is copied into the global of the same name below (UTF-8). A
// language switch reloads them, refills the status names and calls every
// registered re-caption handler, so open windows show the new texts.
//
// The tables are loaded when the program starts: in the language stored in the
// setting inCurrentLanguage or, while none was chosen (-1), in the user's own.
#pragma once
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/StringList.h"

// Languages by index: 1 English ("en"), 2 Russian ("ru"), 3 Ukrainian ("ua").
constexpr int kLanguageCount = 3;
struct TLanguageInfo {
    std::string Code;
    std::string Name;   // the table's own sLanguage text, filled by LoadLanguageNames
};
// Indexed 1 .. kLanguageCount; entry 0 is unused.
extern TLanguageInfo Languages[kLanguageCount + 1];

// The lines of the current table.
extern TStringList LangStrings;
// 1 .. 3.
extern int CurrentLanguage;

// Display names of the six client states (0 unknown, 1 no access, 2 log not
// found, 3 running, 4 ready to send, 5 stopped), in the current language.
constexpr int kStatusCount = 6;
extern std::string StatusNames[kStatusCount];
void LoadStatusNames();

// Clears LangStrings and loads the resource of that name into it (any case);
// a missing resource leaves it empty.
void LoadLanguageResource(const std::string& name);
// The value of key in LangStrings, or "Resource with name "<key>" not found!".
std::string GetLangValue(const std::string& key);
// Reads each table's sLanguage text into Languages[].Name.
void LoadLanguageNames();
// Sets every global below from GetLangValue of its name.
void LoadLangGlobals();
// Refills the status names, then calls the re-caption handlers in the order
// they were registered.
void ReloadLanguage();
// The user's choice: stores n in inCurrentLanguage at once, loads its table
// (English for a number outside 1 .. 3) and re-captions everything.
void SetLanguage(int n);
// The language of the user's default language ID: 2 Russian, 3 Ukrainian, else 1.
int DefaultLanguage();
// What the program does at start: the stored language, or the user's own
// without storing anything while none was chosen. Runs once by itself when
// the program starts; tests call it again after changing the seams.
void InitLanguage();

// Re-caption handlers: every window that shows texts registers one when it is
// created and removes it when it is destroyed. The returned id removes it.
int AddLanguageHandler(std::function<void()> handler);
void RemoveLanguageHandler(int id);

// For tests only: the user's language ID seen by DefaultLanguage (0 = the real one).
void SetUserLanguageIdForTesting(LANGID id);

// Number of texts with a global (every key of a table but sLanguage).
int LangGlobalCount();
// The key of global i (0 .. LangGlobalCount()-1) and its current text.
const char* LangGlobalName(int i);
const std::string& LangGlobalText(int i);

// A language text with its "%s" marks filled in order ("%%" is a percent
// sign; a mark without an argument is left out). Translations come from
// tables, so printf never sees them and other "%" signs cannot break them.
std::string FillIn(const std::string& pattern, std::initializer_list<std::string> args);

// {Classes}
extern std::string sUnknown;
extern std::string sNotAccess;
extern std::string sLogNotFound;
extern std::string sRunning;
extern std::string sReadyForSend;
extern std::string sShutdown;
extern std::string sWithoutLimitation;
extern std::string sConfigNotDefined;
extern std::string sNoData;
extern std::string sTotal;
extern std::string sInputYouNick;

// {TreeFrames}
extern std::string sPath;
extern std::string sState;
extern std::string sPercent;
extern std::string sDownload;
extern std::string sEnd;
extern std::string sDue;
extern std::string sRCG;
extern std::string sCredit;
extern std::string sPPH;
extern std::string sPPD;
extern std::string sPrefDays;
extern std::string sCore;
extern std::string sUserTeam;
extern std::string sProjNum;
extern std::string sCompConfig;
extern std::string sWUName;
extern std::string sProjSize;
extern std::string sUploadProjSize;
extern std::string sFrames;
extern std::string sServerIP;
extern std::string sAvgTimeStep;
extern std::string sParam;
extern std::string sValue;
extern std::string sKB;
extern std::string sMB;
extern std::string sInputString;
extern std::string sFileIsReadOnly;
extern std::string sConfirm;
extern std::string sIniSaveAction_Caption;
extern std::string sIniSaveAction_Hint;
extern std::string sIniChancelAction_Caption;
extern std::string sIniChancelAction_Hint;
extern std::string sIniAddLineAction_Caption;
extern std::string sIniAddLineAction_Hint;
extern std::string sIniDelLineAction_Caption;
extern std::string sIniDelLineAction_Hint;
extern std::string sCompleted;
extern std::string sForJumpTo;
extern std::string sCancel;

// {ParamFrames}
extern std::string sProgramSettings;
extern std::string sSettings;
extern std::string sSystemOptions;
extern std::string sEventsAndAutomations;
extern std::string sWUDatabase;
extern std::string sUserTeamA;
extern std::string sInterface;
extern std::string sMainData;
extern std::string sLogWindow;
extern std::string sLogLinesNotShown;
extern std::string sLogStartNotShown;
extern std::string sAdditionData;
extern std::string sAutoRunCB_Caption;
extern std::string sMinCB_Caption;
extern std::string sCloseAsMinCB_Caption;
extern std::string sAutoUpdateCB_Caption;
extern std::string sUpdateIntervalL_Caption;
extern std::string sSecL_Caption;
extern std::string sEventsResponseGB_Caption;
extern std::string sFlashIconCB_Caption;
extern std::string sHintExCB_Caption;
extern std::string sXPOnlyL_Caption;
extern std::string sEventLogCB_Caption;
extern std::string sClientStarted;
extern std::string sClientStopped;
extern std::string sResultOccurred;
extern std::string sShowAllLogWndsCB_Caption;
extern std::string sShowFahPrevCB_Caption;
extern std::string sHideToolbarCB_Caption;
extern std::string sToolbarCaptionsRG_Caption;
extern std::string sBottom;
extern std::string sRight;
extern std::string sOff;
extern std::string sHideStatusGB_Caption;
extern std::string sGroupByCompCB_Caption;
extern std::string sShowVertGridLinesCB_Caption;
extern std::string sShowHorzGridLinesCB_Caption;
extern std::string sHighlightIfErrorCB_Caption;
extern std::string sBackgroundPicL_Caption;
extern std::string sPictures;
extern std::string sColorLogCB_Caption;
extern std::string sColorsInLogGB_Caption;
extern std::string sPositiveL_Caprion;
extern std::string sInformationL_Caption;
extern std::string sErrorL_Caption;
extern std::string sOtherL_Caption;
extern std::string sByDefaultB_Caption;
extern std::string sUpdateWhenNeedCB_Caption;
extern std::string sUseProxyCB_Caption;
extern std::string sServerL_Caption;
extern std::string sPortL_Caption;
extern std::string sLoginL_Caption;
extern std::string sPassL_Caption;
extern std::string sOpenPassWarningL_Caption;
extern std::string sUpdatedIn;
extern std::string sNotUpdated;
extern std::string sUser;
extern std::string sTeam;
extern std::string sUserTeamByDefaultL_Caption;
extern std::string sKPXTeam;
extern std::string sCheckForUpdateEvery;
extern std::string sDays;
extern std::string sCpuUsageCB_Caption;
extern std::string sCpuAffinityCB_Caption;
extern std::string sAffinitySortOrderRG_Caption;
extern std::string sByMemory;
extern std::string sByCPUTime;

// {Main}
extern std::string sDeleteMonitoring;
extern std::string sAddFolder;
extern std::string sEditFolder;
extern std::string sUpdatingWUdatabase;
extern std::string sReceived;
extern std::string sByte;
extern std::string sUpdateError;
extern std::string sHostNotFound;
extern std::string sNoConnection;
extern std::string sServerNoAnswer;
extern std::string sDownloadTooLarge;
extern std::string sDownloadTooLong;
extern std::string sNotSaved;
extern std::string sFileInUse;
extern std::string sFolderInTheWay;
extern std::string sAccessDenied;
extern std::string sDiskFull;
extern std::string sFolderNotFound;
extern std::string sWindowsError;
extern std::string sNotTheSummary;
extern std::string sNotTheDocument;
extern std::string sAnswerBrokeOff;
extern std::string sAnswerBrokeOffAt;
extern std::string sProxyNotFound;
extern std::string sNoProxyConnection;
extern std::string sProxyNoAnswer;
extern std::string sProxyWantsLogin;
extern std::string sProxyRefusedLogin;
extern std::string sProxyBadGateway;
extern std::string sServerStatAction_Caption;
extern std::string sAddFahAction_Caption;
extern std::string sAddFahAction_Hint;
extern std::string sEditFahAction_Caption;
extern std::string sEditFahAction_Hint;
extern std::string sDelFahAction_Caption;
extern std::string sDelFahAction_Hint;
extern std::string sRestartFAHServiceAction_Caption;
extern std::string sRestartFAHServiceAction_Hint;
extern std::string sStopFAHServiceAction_Caption;
extern std::string sStopFAHServiceAction_Hint;
extern std::string sUserCard_Caption;
extern std::string sExitAction_Caption;
extern std::string sExitAction_Hint;
extern std::string sAboutAction_Caption;
extern std::string sAboutAction_Hint;
extern std::string sCopyToClipBrdAction_Caption;
extern std::string sCopyToClipBrdAction_Hint;
extern std::string sRefreshAction_Caption;
extern std::string sRefreshAction_Hint;
extern std::string sOperStatAction_Caption;
extern std::string sFullStatAction_Caption;
extern std::string sTeamStatAction_Caption;
extern std::string sKPXForumAction_Caption;
extern std::string sOfficialForumAction_Caption;
extern std::string sAutoUpdateAction_Caption;
extern std::string sAutoUpdateAction_Hint;
extern std::string sOptionsAction_Caption;
extern std::string sOptionsAction_Hint;
extern std::string sFahColAction_Caption;
extern std::string sFahColAction_Hint;
extern std::string sCurProjAction_Caption;
extern std::string sUpdateFahBaseAction_Caption;
extern std::string sUpdateFahBaseAction_Hint;
extern std::string sHideNotActiveFodersAction_Caption;
extern std::string sHideNotActiveFodersAction_Hint;
extern std::string sService;
extern std::string sServiceButton;
extern std::string sHelp;
extern std::string sAsmOffError;
extern std::string sVersion;
extern std::string sRestore;
extern std::string sMinimize;
extern std::string sInformation;
extern std::string sCheckForUpdateAction_Caption;
extern std::string sFindNewVersion;
extern std::string sFindNewVersionNoDate;
extern std::string sNewVersionNotFound;
extern std::string sExecExitCode;
extern std::string sExecNotStarted;
extern std::string sStartupTypeAction_Caption;
extern std::string sStartupTypeAutomaticAction_Caption;
extern std::string sStartupTypeManualAction_Caption;
extern std::string sStartupTypeDisabledAction_Caption;
extern std::string sHideCpuUsageAction_Caption;
extern std::string sServiceNotRestarted;
extern std::string sFinishingRestart;
extern std::string sPreviousCopyEnding;
extern std::string sFolderListNotRead;
extern std::string sFolderListNotSaved;
extern std::string sOutOfMemoryNow;
extern std::string sFolderNotFull;
extern std::string sNotEnoughMemory;
extern std::string sFileTooLarge;
extern std::string sFileNotRead;
extern std::string sFileNotCreated;
extern std::string sFileNotWritten;
extern std::string sFileNotWholeUtf16;
extern std::string sFileNotText;
extern std::string sExecEndedWithCode;
extern std::string sClientCfgNotSaved;
// Asked when another client is shown while its "client.cfg" edits are unsaved.
extern std::string sSaveClientCfgChanges;
extern std::string sYes;
extern std::string sNo;
// Saving found the file no longer there; it is not created.
extern std::string sClientCfgGone;
extern std::string sNotWatched;
extern std::string sFolderListLineNoHeader;
extern std::string sFoldersNotWatched;
extern std::string sCopyFailed;
extern std::string sOutOfRange;
extern std::string sSettingsNotSaved;
extern std::string sSettingNotSaved;
extern std::string sSettingsNotRead;

// {Dialogs}
extern std::string sFolder;
extern std::string sAlias;
extern std::string sAliasHint;
extern std::string sServiceName;
extern std::string sServiceNameHint;
extern std::string sShowInHint;
extern std::string sShowInHintHint;
extern std::string sCompConfigHint;
extern std::string sSelectFolder;
extern std::string sColumnSettings;
extern std::string sColumnSettingsHint;
extern std::string sDeveloper;
extern std::string sAboutInfo;
extern std::string sAboutDonate;
extern std::string sSupportThanks;
extern std::string sJoinToKPX;
extern std::string sFolderEmpty;
extern std::string sFolderListed;
extern std::string sJpegNotice;

// {OtherStrings}
extern std::string sFahCores;
extern std::string sOther;
extern std::string sIdle;

// The buttons of a question box in the current language (IDYES, IDNO and
// IDCANCEL with sYes, sNo and sCancel), for AppMessageBox with button texts.
std::vector<std::pair<int, std::string>> LangBoxButtons();
