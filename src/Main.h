// The main window of the program: the client list, the menus and toolbar
// bound to the data module's actions, the status bar, the two tray icons,
// the timers of the delayed start, the update check and finished units, and
// the receiver of every message the client objects, the CPU sampler and the
// list post.
//
// Main.cpp: creation, delayed loading, timers, closing, error log.
// MainEvents.cpp: the client, CPU and list messages, tray hint, finished units.
// MainTray.cpp: tray icons, minimising to the tray and back.
// MainMenus.cpp: menu bar, popup menus and the toolbar.
// MainSettings.cpp: settings pushed into the interface.
#pragma once
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Form.h"

class TFah;
class TfvFrame;
struct TAddFahParams;
class TkkaStatusBar;
class TTBDock;
class TTBToolbar;
class TTBCustomItem;
class TMainMenu;
class TPopupMenu;
class TMenuItem;
class TCoolTrayIcon;
class TCustomImageList;
class TSimpleTimer;
class TCpuUsageThread;
class TMainDM;
class TBitmap;
class TFahSettings;
class TBasicAction;
class TFormStorage;
class TThemeManager;

// Client event types.
enum TFahEventType { fetStart = 0, fetStop = 1, fetResult = 2 };

// The caption of the window: the application title, a blank and the
// version block's copyright ("Brenix (c) ...").
extern std::string CaptionTitle;
// The version block's file version ("1.5.0.0").
extern std::string ProgramVersion;

struct TMainFormParams {
    // The folder list; empty: the INI file beside the executable.
    std::string FolderListFile;
    // The error log; empty: "error.log" beside the executable.
    std::string ErrorLogFile;
    // Writes one event-log record; empty: the program's event logger.
    std::function<bool(const std::string& text, WORD eventType)> LogEvent;
    // Adds one client row of the folder list; empty: the list's AddFah.
    // Tests make it fail for a folder.
    std::function<void(TfvFrame& list, const TAddFahParams& client)> AddClient;
    // The delayed start (tests shorten it).
    DWORD LoadDelay = 800;
    DWORD SelectDelay = 4000;
};

// ---- Helpers with no window ----
// The result line is added at the top of the upload-size file unless a line
// of the file is that line already; the file is written through a temporary
// file. True when the file changed.
bool AddUploadSizeLine(const std::string& file, const std::string& line);
// Appends one line (CR LF added) to a text file, creating it.
void AppendLineToFile(const std::string& file, const std::string& line);
// A tray hint longer than 127 UTF-16 units: its first 124 units (one less
// when the 124th would split a character) and "...".
std::string CutTrayHint(const std::string& hint);
// The CPU icon's figures: idle and cores clamped to 0..100, cores cut so
// that the sum is 100 at most, other = the rest; bar levels 0..12.
struct TCpuFigures {
    int Idle = 0, Cores = 0, Other = 0;
    int CoreLevel = 0, OtherLevel = 0;
};
TCpuFigures CpuFigures(int idle, int cores);

class TMainForm : public TForm {
public:
    // The least time between two passes for client events (their list
    // update, refresh and balloon).
    static constexpr DWORD kEventBurstDelay = 100;

    explicit TMainForm(TComponent* owner, TMainFormParams params = {});
    ~TMainForm() override;

    // ---- components ----
    TMainDM* MainDM = nullptr;
    TfvFrame* fvFrame1 = nullptr;
    TkkaStatusBar* sbMain = nullptr;
    TTBDock* TopTBDock = nullptr;
    TTBDock* TBDock2 = nullptr;
    TTBDock* TBDock3 = nullptr;
    TTBToolbar* MainTBToolbar = nullptr;
    TMainMenu* MainMenu1 = nullptr;
    TPopupMenu* MainPopupMenu = nullptr;
    TPopupMenu* TrayPopupMenu = nullptr;
    TPopupMenu* ColVisiblePopupMenu = nullptr;
    TPopupMenu* CpuUsagePopupMenu = nullptr;
    TMenuItem* RestoreN = nullptr;
    TMenuItem* AppTitleN = nullptr;
    TMenuItem* HideSpuUsage = nullptr;
    TCoolTrayIcon* CoolTrayIcon1 = nullptr;
    TCoolTrayIcon* CpuUsageCoolTrayIcon = nullptr;
    TCustomImageList* TrayImageList = nullptr;
    TCustomImageList* CpuUsageImageList = nullptr;
    TFormStorage* MainFormStorage = nullptr;
    TThemeManager* ThemeManager1 = nullptr;

    // ---- lifecycle ----
    void FormShow();
    void FormCloseQuery(bool& canClose);
    void ApplyLanguage();
    void SetCpuUsageIndicator(bool on);
    bool CpuUsageIndicator() const { return cpuIndicatorOn_; }
    // Every exception that reaches the message loop: one line in the error log.
    void AppException(const std::string& message);
    // The stored settings pushed into the interface (the end of the delayed
    // load); with edited, the edited values (the settings dialog's OK).
    void ApplySettings(TFahSettings& settings, bool edited);

    // ---- tray ----
    void RestoreNClick();
    void CoolTrayIcon1MinimizeToTray();
    void CoolTrayIcon1Click();
    void CoolTrayIcon1BalloonHintClick();
    bool MinimizedToTray() const { return minimizedToTray_; }

    // ---- reactions ----
    void UpdateTrayHint();
    void UpdateBaseWhenNeed();
    void FahStatus(WPARAM fah, LPARAM oldState);
    void FahEvent(const std::string& displayName, const std::string& stateName, int eventType);
    void FahEarlyUnitEnd(WPARAM fah);
    void FahSseOff(WPARAM fah);
    void FahSmpBreak(WPARAM fah);
    void CpuUsage(WPARAM idle, LPARAM cores);
    // Every queued client, or only the one given (a client that just
    // finished: the others were tried already and wait for the timer).
    void ProcessFinishedUnits(TFah* only = nullptr);
    size_t FinishedQueueSize() const { return finishedQueue_.size(); }
    // The last drawn bar levels (255: none yet).
    int LastCoreLevel() const { return lastCoreLevel_; }
    int LastOtherLevel() const { return lastOtherLevel_; }
    // Spreads the CPU affinity of the local multi-core client processes.
    void SpreadCpuAffinity();

    // ---- timers ----
    TSimpleTimer& LoadTimer() const { return *loadTimer_; }
    TSimpleTimer* SelectTimer() const { return selectTimer_.get(); }
    TSimpleTimer& UpdateCheckTimer() const { return *updateCheckTimer_; }
    TSimpleTimer& FinishedUnitTimer() const { return *finishedUnitTimer_; }
    // True once the delayed load ran.
    bool Loaded() const { return loaded_; }
    // True while Windows shuts down (a log-off is not a shutdown).
    bool ShuttingDown() const { return shuttingDown_; }
    const TMainFormParams& Params() const { return params_; }

    void WndProc(TMessage& message) override;

private:
    // [Main.cpp]
    void CreateComponents();
    void WireDataModule();
    void LoadTimerTick();
    void SelectTimerTick();
    void UpdateCheckTimerTick();
    void FinishedUnitTimerTick();
    // Adds the folders of the folder list; the text of an error to show the
    // user when the file can't be read, or of its lines that hide keys
    // (empty when there is nothing to tell). The folders listed without a
    // polling thread go into notWatched.
    std::string LoadFolders(std::vector<std::string>& notWatched);
    // The folders left out for want of room get their polling threads, in
    // the list's order, as long as the room lasts.
    void WatchLeftOutFolders();
    // The keyboard to the client list.
    void FocusList();
    // The keyboard goes back where it was in this window, else to the list.
    void RestoreFocus();
    void SaveWindowSize();
    void Closing();
    // [MainMenus.cpp]
    void CreateMenus();
    void CreateToolbar();
    void FillColumnMenu();
    void MenuBarCaptions();
    void HeaderClick(int column, int button, int x, int y);
    void ListDblClick();
    // [MainTray.cpp]
    void CreateTrayIcons();
    void ResetTrayIcon();
    void SetMinimizedToTray(bool on);
    void AnimateToTray(bool toTray);
    // [MainEvents.cpp]
    bool HandleOwnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void ShowWarningBalloon(TFah* fah, const std::string& title);
    void DrawCpuIcon(int coreLevel, int otherLevel);
    void LogEvent(const std::string& text, WORD type);
    // Events come in bursts (every client's first poll at start, a share
    // coming back): the refresh, the balloon and the list's repaint they ask
    // for are done once for the burst, when the messages queued with its
    // first event are handled.
    void EventBurstTick();
    void StartEventBurst();

    TMainFormParams params_;
    std::unique_ptr<TSimpleTimer> loadTimer_;
    std::unique_ptr<TSimpleTimer> selectTimer_;
    std::unique_ptr<TSimpleTimer> updateCheckTimer_;
    std::unique_ptr<TSimpleTimer> finishedUnitTimer_;
    std::vector<TFah*> finishedQueue_;
    // Automatic restarts asked for while another service command ran: each
    // runs once that command is over (one a service, however often asked).
    struct TPendingRestart {
        std::string computer, service;
    };
    std::vector<TPendingRestart> pendingRestarts_;
    std::unique_ptr<TSimpleTimer> restartRetryTimer_;
    void RestartAutomatically(const std::string& computer, const std::string& service);
    void RestartRetryTick();
    // That service was restarted: its waiting automatic restart goes.
    void ServiceRestarted(const std::string& computer, const std::string& service);
    std::unique_ptr<TSimpleTimer> eventTimer_;
    bool burstPending_ = false;   // a pass is posted or timed
    bool burstPassed_ = false;
    DWORD lastBurstPass_ = 0;   // tick count of the last pass
    bool refreshPending_ = false;
    bool settlePending_ = false;   // the list filters again once the first polls are parsed
    struct TBalloon {
        std::string title, text;
        int icon = 0;
    };
    std::unique_ptr<TBalloon> balloonPending_;
    int lastCoreLevel_ = 255;
    int lastOtherLevel_ = 255;
    bool minimizedToTray_ = false;
    std::array<std::unique_ptr<TBitmap>, 13 * 13> cpuIcons_;
    std::unique_ptr<TCpuUsageThread> cpuThread_;
    bool cpuIndicatorOn_ = false;
    bool shuttingDown_ = false;
    bool loaded_ = false;
    bool closed_ = false;
    // Status panel 0 shows a download's error (kept when the list settles).
    bool statusError_ = false;
    // The child that had the keyboard when the window was left.
    HWND lastFocus_ = nullptr;
    int languageHandler_ = 0;
    // The application's handlers before this form took them over.
    std::function<void(const std::string&)> oldOnException_;
    std::function<void(TObject*)> oldOnHint_;
    POINT trayMouse_{-1, -1};
    std::vector<TTBCustomItem*> toolbarItems_;
    TMenuItem* barItems_[4] = {};
};
