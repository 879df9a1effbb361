// The body of the main window: the list of monitored client folders with a
// totals row for all clients and one per computer, and under it the
// selected client's log, "client.cfg", previous log and parameters.
//
// The frame adds clients, keeps every row's display record up to date on a
// timer, hides rows by state, groups rows by computer, colours and paints
// the cells, opens the links behind them, and reads the previous log of the
// selected client on a thread of its own.
#pragma once
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes/FahView.h"
#include "Frame/VSTFr.h"
#include "Frame/fvFrCells.h"
#include "Frame/fvFrPrevLog.h"

class TSimpleTimer;
class TPanel;
class TSplitter;
class TPageControl;
class TTabSheet;
class TLogFrame;
class TIniFrame;
class TParamFrame;

// Posted to the target window (the main window).
constexpr UINT WM_UPDATETRAYHINT = WM_USER + 500;      // wParam: the selected view, or 0
constexpr UINT WM_UPDATEBASEWHENNEED = WM_USER + 501;  // a running client's project is unknown
// Posted to the frame itself: open the link a Ctrl+Click asked for.
constexpr UINT WM_OPENPENDINGLINK = WM_USER + 601;
// The frame's own timer that asks what becomes of unsaved "client.cfg" edits.
constexpr UINT_PTR kAskSaveClientCfgTimer = 0xC0F6;

// The registry key (below the settings path) of the parameter frame's columns.
extern const char* const kParamFrameKey;

struct TAddFahParams {
    std::string folder;
    std::string alias;
    std::string compConfig;   // the computer configuration text
    std::string serviceName;
    bool showInHint = false;
    std::vector<HWND> notifyWindows;   // the client posts its messages to these
    bool updateNow = false;            // update the row at once and select it
};

class TfvFrame : public TVSTFrame {
public:
    static constexpr DWORD kListInterval = 30000;
    static constexpr DWORD kSettleInterval = 2000;
    static constexpr DWORD kFirstPollCheck = 250;   // ms between looks at a new folder's first poll

    explicit TfvFrame(TComponent* owner);
    ~TfvFrame() override;

    // ----- clients
    // Adds one client row (under its computer's row while grouping is on);
    // returns the row.
    PVirtualNode AddFah(const TAddFahParams& params);
    // Deletes a client's row; its computer's row goes with its last client.
    // Returns the row selected now.
    PVirtualNode DeleteClientNode(PVirtualNode node);
    TFahView* GetFahView(PVirtualNode node) const;
    TFahViewSum* GetFahViewSum(PVirtualNode node) const;
    // The focused row's view (nullptr for a totals row or none).
    TFahView* SelectedView() const;
    // The overall totals row (nullptr while the list is empty).
    PVirtualNode TotalNode() const;
    // The computer row with that name (ignoring case), nullptr when none.
    PVirtualNode FindComputerNode(const std::string& computer) const;
    // Every client row, in tree order.
    std::vector<PVirtualNode> ClientNodes() const;

    // ----- refreshing
    // Every client polls at |ms / 3 - 2000| (the client raises it to its
    // floor); the list re-applies its filters every ms.
    void SetAutoUpdateInterval(DWORD ms);
    DWORD AutoUpdateInterval() const { return refreshInterval_; }
    void SetAutoUpdate(bool on) { autoUpdate_ = on; }
    bool AutoUpdate() const { return autoUpdate_; }
    // Every client polls now; 2 s later the list filters again.
    void RefreshAll();
    // The list filters again 2 s from now, as after RefreshAll, without
    // asking any client to poll.
    void SettleLater();
    // Updates every row, hides rows by state, sums the totals and shows the
    // selected client's details.
    void ApplyFilters();
    // Refills every totals row from the client rows (hidden ones too).
    void UpdateSums();
    // Numbers the totals rows in list order and widens the State column to
    // the longest totals summary (the counts of a totals row are never
    // cut); a wider column stays as it is. Only a summary that changed since
    // the last pass is measured.
    void FitStateColumn();
    void StopTimers();
    // Before the program ends: unsaved "client.cfg" edits are asked about
    // ("Save the changes to <file>?"). True when it may end: nothing unsaved,
    // Yes and the file written, or No. Cancel, a save that wrote nothing, or
    // the question already up keeps it running with the edits.
    bool ClientCfgMayClose();
    TSimpleTimer& ListTimer() const { return *listTimer_; }
    TSimpleTimer& SettleTimer() const { return *settleTimer_; }

    // ----- options
    void SetGroupByComputer(bool on);
    bool GroupByComputer() const { return groupByComputer_; }
    void SetHighlightErrors(bool on);
    bool HighlightErrors() const { return highlightErrors_; }
    void SetShowAllLogWindows(bool on);
    bool ShowAllLogWindows() const { return showAllLogWindows_; }
    void SetShowPrevLog(bool on);
    bool ShowPrevLog() const { return showPrevLog_; }
    // Background pictures from files (a missing file clears the picture).
    void SetListBackground(const std::string& path);
    void SetLogBackground(const std::string& path);
    void SetParamBackground(const std::string& path);

    // The window the frame's messages go to.
    HWND TargetWindow() const { return targetWindow_; }
    void SetTargetWindow(HWND hwnd) { targetWindow_ = hwnd; }

    // Two views show one work unit or not: the unique-unit flags of the views
    // with the old and with the new text.
    void OnWorkUnitChange(TFahView& view, const std::string& oldText, const std::string& newText);

    // The column under the mouse when it carries a link (-1: none).
    int HotColumn() const { return hotColumn_; }
    // The list as text: the captions joined by ";", then per shown row CR LF
    // and its 14 cells, each followed by ";", then a final blank.
    std::string ListText();
    // The previous log's path of the selected client ("" for none).
    std::string PrevLogPath() const { return prevLogPath_; }
    // The path whose text the previous-log page shows now.
    const std::string& PrevLogShownPath() const { return prevLogShown_; }

    // Runs a command line (the double-click's explorer); tests replace it.
    std::function<bool(const std::string& commandLine)> RunCommand;
    // Opens an address with the shell's "open" verb; tests may replace it.
    std::function<bool(const std::string& address)> OpenLink;
    // After the settle timer's filter pass (the main window clears its first
    // status panel).
    TNotifyEvent OnSettled;

    void ApplyLanguage() override;
    void CopyToClipboard() override;
    void SaveLayout(TRegistry& reg) override;
    void LoadLayout(TRegistry& reg) override;
    void SetupTree() override;

    // Components.
    TSplitter* Splitter1 = nullptr;
    TPanel* BottomPanel = nullptr;
    TParamFrame* FAHParamFrame = nullptr;
    TSplitter* Splitter2 = nullptr;
    TPageControl* PageControl1 = nullptr;
    TTabSheet* TabSheet1 = nullptr;
    TTabSheet* TabSheet2 = nullptr;
    TTabSheet* TabSheet3 = nullptr;
    TLogFrame* FAHLogFrame = nullptr;
    TPanel* FLPanel = nullptr;
    TSplitter* FLSplitter = nullptr;
    TIniFrame* FAHIniFrame = nullptr;
    TLogFrame* FAHPrevLogFrame = nullptr;
    TPanel* FL2Panel = nullptr;
    TSplitter* FL2Splitter = nullptr;

protected:
    void WndProc(TMessage& message) override;
    void GetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::string& text) override;
    void NodeChanged(PVirtualNode node) override;
    int CompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column) override;

private:
    // [fvFr.cpp]
    void ListTimerTick();
    void SettleTimerTick();
    void FirstPollTimerTick();
    void Post(UINT msg, WPARAM wParam);
    PVirtualNode AddComputerNode(const std::string& computer);
    // DeleteClientNode without the hint.
    PVirtualNode DeleteClientRow(PVirtualNode node);
    std::string ComputerOf(TFahView& view) const;
    void SelectionChanged(PVirtualNode node);
    // [fvFrPaint.cpp]
    void BindListEvents();
    void UnbindEvents();
    void PaintText(TCanvas& canvas, PVirtualNode node, TColumnIndex column);
    void BeforeItemErase(PVirtualNode node, COLORREF& color, TItemEraseAction& action);
    void AfterCellPaint(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const RECT& cellRect);
    void ListMouseMove(int x, int y);
    // The hint (and the link) of the row under a resting mouse anew, as a
    // move there would give them: after a language switch, a scroll, a
    // filter pass and a deleted row.
    void RefreshMouseHint();
    void ListColumnClick(TColumnIndex column, TShiftState shift);
    void ListDblClick();
    void ListKeyDown(WORD& key, TShiftState shift);
    // The row at the mouse's last press or move over the list.
    PVirtualNode NodeUnderMouse(TColumnIndex* column = nullptr);
    // [fvFrLayout.cpp]
    void CreateComponents();
    void ApplyDetailLanguage();
    // Pages or side by side, as the two options say.
    void ArrangeDetails();
    // The log and parameters of a client (nullptr: none).
    void ShowDetails(TFahView* view);
    // Its "client.cfg". Unsaved edits of the same client stay; those of
    // another are kept while the user is asked (on a timer, once the
    // selection has settled) whether to save them.
    void ShowClientCfg(TFahView* view);
    // The question: Yes saves and No drops the edits, and the selected
    // client's file shows; Cancel selects the edited client's row again.
    void AskSaveClientCfg();
    // "Save the changes to <file>?" (Cancel only when canCancel). Yes saves;
    // a save that wrote nothing (the user was told why) answers IDCANCEL.
    int AskSaveClientCfgChanges(bool canCancel);
    // The client row of a view (nullptr when none: its row went).
    PVirtualNode RowOfView(const TFahView* view) const;
    // Starts a previous-log read when its page or panel shows.
    void StartPrevLogReader();
    bool PrevLogShowing() const;
    void PrevLogLoaded(WPARAM readNumber);
    void LoadBackground(TBaseVirtualTree& tree, const std::string& path);
    TVSTFrame* FocusedDetailFrame() const;
    // A pane beside the log or the pages: the width the user gave it and
    // the one it was last fitted to.
    struct TSidePane {
        TControl* pane = nullptr;
        int wanted = 0;
        int fitted = -1;
    };
    static int WantedWidth(const TSidePane& pane);
    void FitSidePanes();

    bool autoUpdate_ = true;
    DWORD refreshInterval_ = kListInterval;
    bool groupByComputer_ = true;
    bool highlightErrors_ = true;
    bool showAllLogWindows_ = false;
    bool showPrevLog_ = false;
    int hotColumn_ = -1;
    POINT lastMouse_{-1, -1};
    int paintTeamID_ = 0;
    std::string paintUserName_;
    COLORREF paintErrorColor_ = 0;
    int progressTextWidth_ = -1;   // "0000 " in the list font, measured once per paint
    bool paintListFocused_ = false;   // the list had the keyboard when the paint began
    std::string pendingLink_;   // opened by WM_OPENPENDINGLINK
    HWND targetWindow_ = nullptr;
    std::string listBackground_, logBackground_, paramBackground_;
    std::unique_ptr<TSimpleTimer> listTimer_;
    std::unique_ptr<TSimpleTimer> settleTimer_;
    // Folders added while the program runs, until their first poll is read
    // whole: the state comes before the data, and a stopped client tells no
    // more after its first state.
    std::unique_ptr<TSimpleTimer> firstPollTimer_;
    std::vector<TFah*> awaitingFirstPoll_;
    TPrevLogReader prevLogReader_;
    std::string prevLogPath_;
    std::string prevLogShown_;
    bool cfgQuestionPosted_ = false;
    bool askingClientCfg_ = false;   // "Save the changes ...?" is up
    bool inSelectionChange_ = false;
    bool selectionPending_ = false;
    // The parameter frame, then the "client.cfg" and previous-log panels.
    std::array<TSidePane, 3> sidePanes_{};
    bool fitting_ = false;
    // Each totals row's summary as last measured and its width, by row
    // number, and the list font they were measured in.
    std::vector<std::pair<std::string, int>> summaryWidths_;
    std::string summaryFont_;
};
