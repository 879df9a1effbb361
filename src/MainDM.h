// The data module of the main window: the program's actions and their
// handlers, and the HTTP client the downloads use. It owns no window; the
// main form creates it and tells it, through TMainDMHost, what the list
// shows and where the status text goes.
//
// Downloads (MainDMNet.cpp): the project summary page and the result sizes
// (UpdateFahBaseAction), the version file (CheckForUpdateAction). Service
// control (MainDMService.cpp): stop, restart and start type of the selected
// client's service through "sc.exe", and the stop of the local clients'
// services when Windows shuts down.
//
// Every wait (an HTTP request, a running "sc.exe") keeps handling messages.
// The module may be freed meanwhile (the main window closes): the wait then
// ends at once and the waiting handler returns without touching it again.
#pragma once
#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Common/SiteAddresses.h"
#include "platform/Actions.h"
#include "platform/Component.h"
#include "platform/ImageList.h"

class TFahView;
class THttpCli;
class THttpStream;
class TVirtualTreeColumns;
struct TFolderEntry;

// What the service actions need of a client row.
struct TClientService {
    std::string Folder;
    std::string ServiceName;
};

// What the data module asks of the main form. Each member is optional.
struct TMainDMHost {
    // The client of the selected row; false when no client row is selected.
    std::function<bool(TClientService& client)> SelectedClient;
    // Every client row of the list.
    std::function<std::vector<TClientService>()> Clients;
    // The computer a folder lives on (the list's GetComputerOfPath).
    std::function<std::string(const std::string& path)> ComputerOfPath;
    // Status panel 0: a width of -1 keeps the width.
    std::function<void(int width, const std::string& text)> SetStatusPanel;
    // Status panel 0 shows an error, wide enough to read; it stays until
    // the next status text (empty: SetStatusPanel with the text).
    std::function<void(const std::string& text)> SetStatusError;
    // RefreshAction: refresh every row.
    std::function<void()> RefreshAll;

    // The display record of the selected client row (nullptr when none).
    std::function<TFahView*()> SelectedView;
    // The display records of every client row.
    std::function<std::vector<TFahView*>()> Views;
    // Selects the row of a view and shows it.
    std::function<void(TFahView* view)> SelectView;
    // Adds a client row: the list's AddFah with the update-now flag on and
    // NotifyWindows.
    std::function<void(const TFolderEntry& entry)> AddFah;
    // Deletes the client row of a view (nothing when it is gone) with its
    // client; a deleted selected row passes the selection to the next row.
    std::function<void(TFahView* view)> DeleteRow;
    // The list's unique-unit flags of the rows that show either text.
    std::function<void(const std::string& oldText, const std::string& newText)> WorkUnitChange;
    std::function<void()> ApplyFilters;
    // The active frame's content to the clipboard.
    std::function<void()> CopyToClipboard;
    std::function<void(bool on)> SetAutoUpdate;
    // The CPU-usage indicator in the tray.
    std::function<void(bool on)> SetCpuUsageIndicator;
    // The list's columns, for the column dialog.
    std::function<TVirtualTreeColumns*()> ListColumns;
    // A download the user asked for failed while the window is in the tray:
    // tells text in a balloon and returns true; false when the window is shown.
    std::function<bool(const std::string& text)> TellInTray;
    // Shows the settings dialog modally and returns its modal result.
    std::function<int()> ShowSettings;
    // Closes the main window.
    std::function<void()> Close;
    // A restart of a service ran (computer "\\name", the service name
    // without outer blanks): an automatic restart of it that waits for its
    // turn is done.
    std::function<void(const std::string& computer, const std::string& service)> ServiceRestarted;
};

// ---- Version file ----
// 1 when a is newer than b, 0 when equal, -1 when older ("1.5" < "1.5.0.0").
int CompareVersions(const std::string& a, const std::string& b);
// A release date "yyyy-mm-dd" (month and day missing: 1) as "d mmm yyyy";
// empty when any of its items can't be read or the date does not exist.
std::string VersionDateText(const std::string& date);
// A size "number;unit" as "number sByte|sKB|sMB" (unit 0, 1, 2; missing or
// not a number: 1; another number: "unknown SizeType").
std::string VersionSizeText(const std::string& size);
// True for an address the shell may open: http:// or https://, a host name
// or address with an optional port, and nothing but printable ASCII after it
// (no blank or double quote: the address is one argument of the browser).
bool IsWebAddress(const std::string& url);

// ---- Service commands ----
struct TExecResult {
    bool Started = false;    // the process could be started
    bool Finished = false;   // it ended while we waited
    std::string Output;      // standard output and error, UTF-8
    DWORD ExitCode = 0;
};
// Runs program (its full path; the command line's first word only names it)
// with a hidden window and collects its output (decoded from the OEM code
// page). Waits for the process while handling messages; stops waiting (the
// process runs on) when stop() says so. While the application is ending it
// handles only the messages other threads send (the quit stays queued).
TExecResult ExecAndCapture(const std::string& program, const std::string& commandLine,
                           const std::function<bool()>& stop = {});
// What a stop or a restart of a service came to: a restart fails when the
// service did not stop in time, or did not start (Output: the last output
// of sc.exe, which says why).
struct TServiceControl {
    bool Refused = false;   // another service command was running: nothing ran
    bool Failed = false;
    std::string Output;
};
// What the box after a service command shows: its output; when it printed
// nothing, the command line and its exit code (or that it did not start).
std::string ExecResultText(const std::string& commandLine, const TExecResult& r);
// A service name in double quotes, inner quotes doubled.
std::string QuoteServiceName(const std::string& name);

// Why something failed, in words for the user: a lack of memory is said
// so, never as the exception's own text.
std::string ReasonText(const std::exception& e);

// Returns after ms milliseconds of the tick count (at once when the
// application is ending), handling paints, timers and posted messages
// meanwhile; input waits in the queue (a key pressed meanwhile must not act
// in the middle of the caller).
void Delay(DWORD ms);

// An error the user must hear of although the program is ending (its
// window is gone): shown in a box once the message loop has ended.
void TellAfterTheEnd(const std::string& text);

// Opens an address with the shell's "open" verb (http:// and https:// only).
bool OpenWebAddress(const std::string& url);

// A message box titled "<title>. sInformation" with the information icon,
// owned by the active window (AppMessageBox); returns the button chosen.
int AppInfoBox(const std::string& text, UINT buttons);

class TMainDM : public TComponent {
public:
    explicit TMainDM(TComponent* owner, TMainDMHost host = {});
    ~TMainDM() override;

    TMainDMHost Host;
    // Root of the program's web site (kSiteURL; tests point it elsewhere).
    std::string SiteURL;

    TActionList* ActionList1;
    // The actions' images; the ".htm" icon is the link actions' image.
    TImageList* MainImageList;
    TAction* RefreshAction;
    TAction* AddFahAction;
    TAction* EditFahAction;
    TAction* DelFahAction;
    TAction* ServiceAction;
    TAction* StopFAHServiceAction;
    TAction* RestartFAHServiceAction;
    TAction* StartupTypeAction;
    TAction* StartupTypeAutomaticAction;
    TAction* StartupTypeManualAction;
    TAction* StartupTypeDisabledAction;
    TAction* UpdateFahBaseAction;
    TAction* CheckForUpdateAction;
    TAction* HideNotActiveFodersAction;
    TAction* OptionsAction;
    TAction* FahColAction;
    TAction* CopyToClipBrdAction;
    TAction* AutoUpdateAction;
    TAction* ExitAction;
    TAction* AboutAction;
    TAction* HelpAction;
    TAction* LngEnAction;
    TAction* LngRuAction;
    TAction* LngUaAction;
    TAction* HideCpuUsageAction;
    // Links: each opens its hint, a web address.
    TAction* OperStatAction;
    TAction* FullStatAction;
    TAction* TeamStatAction;
    TAction* KPXForumAction;
    TAction* CurProjAction;
    TAction* UserCardAction;
    TAction* ServerStatAction;
    TAction* OfficialForumAction;

    // The folder list file (DefaultFolderListFile; tests point it elsewhere).
    std::string FolderListFile;
    // Writes a folder into the folder list file (see FolderList.h); the
    // folder gets a trailing backslash when it has none.
    void SaveFahToIni(const std::string& folder, const std::string& alias, const std::string& compConfig,
                      const std::string& serviceName, bool showInHint);
    void DeleteFahFromIni(const std::string& folder);

    // Captions and hints of every action in the current language.
    void ApplyLanguage();
    // The statistics links of a team and a user (the settings call it).
    void SetLinkAddresses(int teamID, const std::string& userName);
    // The image of the link actions (-1 when the shell gave no icon).
    int HtmIconIndex() const { return htmIconIndex_; }

    // ---- Folders, toggles, dialogs, links ----
    void RefreshActionExecute(TObject* sender);
    void AddFahActionExecute(TObject* sender);
    void EditFahActionExecute(TObject* sender);
    void DelFahActionUpdate(TObject* sender);
    void DelFahActionExecute(TObject* sender);
    void HideNotActiveFodersActionExecute(TObject* sender);
    void OptionsActionExecute(TObject* sender);
    void FahColActionUpdate(TObject* sender);
    void FahColActionExecute(TObject* sender);
    void CopyToClipBrdActionExecute(TObject* sender);
    void AutoUpdateActionExecute(TObject* sender);
    void ExitActionExecute(TObject* sender);
    void AboutActionExecute(TObject* sender);
    void LngEnActionExecute(TObject* sender);
    void HideCpuUsageActionExecute(TObject* sender);
    void OperStatActionExecute(TObject* sender);

    THttpCli& HttpCli1() { return *httpCli_; }

    // ---- Downloads ----
    // Prepares the client for a GET of url: proxy from the settings (the
    // edited values while the settings dialog tries them out), the site as
    // referrer, no receive stream.
    void InitHttpCli(THttpCli* httpCli, const std::string& url);
    void UpdateFahBaseActionExecute(TObject* sender);
    // The database update; byUser: a command the user gave (a file that
    // could not be stored is also told in a box, in the tray in a balloon).
    void UpdateFahBase(bool byUser);
    // Runs UpdateFahBaseAction as the program's own doing (the database is
    // stale): its failures stay in the status bar. After an update that
    // failed (whoever asked for it) this does nothing for kAutoUpdatePauseMs:
    // a server or a file that fails does not get asked every refresh. The
    // user's own command always runs.
    void UpdateFahBaseByItself();
    static constexpr DWORD kAutoUpdatePauseMs = 30 * 60 * 1000;
    // [MainDMTryProxy.cpp] The database update through the proxy the
    // settings dialog shows (the edited proxy values, not yet saved); the
    // error it met as the status bar words it, empty when none.
    std::string UpdateFahBaseThroughEditedProxy();
    void CheckForUpdateActionExecute(TObject* sender);
    // True when the version file was read (whatever it said); false when the
    // check could not run or its download failed.
    bool CheckForUpdate(bool showNoUpdateMessage);
    // A download runs: its progress text stays until it ends.
    bool Downloading() const { return downloading_; }
    // For tests only: no download runs longer than this many milliseconds
    // (0: each has its own limit, as in the program).
    static void SetDownloadTimeLimitForTesting(DWORD ms);
    // For tests only: the tick count the pause after a failed update is
    // measured with (empty: GetTickCount).
    static void SetTickCountForTesting(std::function<DWORD()> tick);

    // ---- Services ----
    void RestartFAHServiceActionUpdate(TObject* sender);
    void RestartFAHServiceActionExecute(TObject* sender);
    void StartupTypeAutomaticActionExecute(TObject* sender);
    // Stops the service (its name as the user typed it; the command gets it
    // quoted) and, unless stopOnly, starts it again once it has stopped;
    // shows the output when showOutput and all went well. One service
    // command runs at a time: refused while another one runs.
    TServiceControl ControlFahService(const std::string& computer, const std::string& service, bool stopOnly,
                                      bool showOutput);
    // Stops the services of the clients on this computer (Windows shuts down).
    void StopLocalServices();
    bool ServiceCommandRunning() const { return serviceCommandRunning_; }
    // The service a restart (stop, then start) is under way for, as the
    // user typed it without outer blanks; empty when none is. Such a
    // restart is finished even when the program ends meanwhile.
    const std::string& RestartingService() const { return restartingService_; }
    // Tests: hook is called before each question to a service manager about a
    // service's state (on whatever thread asks), standing for a slow network.
    static void SetServiceQueryHookForTesting(std::function<void(const std::string& computer)> hook);

private:
    enum TDocKind { dkSummary, dkSizes, dkVersion };
    // Downloads the client's URL into tmpFile; true when the answer is the
    // document (final status 200-299 and the content checks out). Otherwise
    // shows the error (a temporary file that could not be made or written
    // as a file not saved) and removes tmpFile. Any exception other than an
    // HTTP error removes tmpFile and goes on; alive tells whether this module
    // still exists afterwards (when not, nothing of it was touched).
    bool Download(const std::string& tmpFile, TDocKind kind, const std::weak_ptr<void>& alive);
    // Moves a downloaded file over the one the program uses; when it can't,
    // the temporary file goes, the old file stays and the failure is told.
    bool Store(const std::string& tmpFile, const std::string& file);
    // A file that could not be made or replaced: the status bar names it
    // and the reason; the box or balloon of a user's command will too.
    void StoreFailed(const std::string& file, DWORD error);
    // reason: why, without the "update error" before it.
    void DownloadFailed(std::function<std::string()> reason);
    // Shows an error of the command running: after the errors it showed
    // before (the first document's comes first), a reason already shown
    // is not repeated.
    void AddStatusError(std::function<std::string()> reason);
    // The end of a download command: a user's command tells its failures
    // (in the tray every one in a balloon, else those of storing in a box).
    void TellFailures(bool byUser);
    void Status(int width, const std::string& text);
    // The error stays shown until the next status; its text is made again
    // in the new language when the language changes.
    void StatusError(std::function<std::string()> text);
    std::string ComputerOf(const std::string& path) const;
    bool SelectedClient(TClientService& client) const;
    // [MainDMActions.cpp] The actions of folders, toggles, dialogs, links.
    void CreateActions();
    // Every action's picture.
    void SetActionImages();
    std::vector<TAction*> LinkActions() const;
    void LoadHtmIcon();
    // The view of the row that shows folder (ignoring case), nullptr when none.
    TFahView* ViewOfFolder(const std::string& folder, const TFahView* except) const;
    // Why the add-folder dialog can't take folder (empty when it can).
    std::string RefusedFolder(const std::string& folder, const TFahView* except) const;

    std::shared_ptr<THttpCli> httpCli_;
    bool proxyFromEdited_ = false;   // InitHttpCli takes the edited proxy values
    bool serviceCommandRunning_ = false;
    // Add, Edit or Delete folder runs (a dialog or box of it is open, or it
    // changes the rows): another of them does not start inside it.
    bool folderActionRunning_ = false;
    std::string restartingService_;
    bool downloading_ = false;
    bool byItself_ = false;   // the action runs as the program's own doing
    bool lastUpdateFailed_ = false;
    DWORD lastUpdateFailedAt_ = 0;   // tick count
    std::vector<std::function<std::string()>> shownReasons_;   // of the error shown
    std::vector<std::string> failures_, storeFailures_;   // of the download command running
    std::function<std::string()> statusError_;   // the error shown, if any
    int htmIconIndex_ = -1;
};
