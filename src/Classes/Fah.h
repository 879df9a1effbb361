// One monitored client folder: its polling thread decides the client's
// state, parses its files and posts every change to the subscribed windows.
//
// Fields are public in the way the list reads them: the polling thread stores
// them while holding the object's lock, and any other thread reads them only
// between Lock() and Unlock() (TLock on CritSection()).
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes/FahMsgLog.h"
#include "Classes/LogLines.h"
#include "Classes/LogTail.h"
#include "platform/DateTime.h"
#include "platform/FileStamp.h"
#include "platform/Rounding.h"
#include "platform/StringList.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

// Posted to every subscriber; wParam is the TFah (check it with IsFahAlive
// before use), lParam as noted.
constexpr UINT WM_FAHSTATUS = WM_USER + 700;        // lParam: the old state
constexpr UINT WM_FAHEARLYUNITEND = WM_USER + 701;  // "early_unit_end" in new log lines
constexpr UINT WM_FAHSSEOFF = WM_USER + 702;        // the core works with standard loops
constexpr UINT WM_FAHSMPBREAK = WM_USER + 703;      // the client exited: another one runs

// Client states.
constexpr uint8_t fsUnknown = 0;
constexpr uint8_t fsNotAccess = 1;
constexpr uint8_t fsLogNotFound = 2;
constexpr uint8_t fsRunning = 3;
constexpr uint8_t fsReadyForSend = 4;
constexpr uint8_t fsShutdown = 5;

// Set once by the main window when the program closes; every worker loop
// ends. Threads that sleep long wait on Event(), which is set with the flag.
class TClosingFlag {
public:
    TClosingFlag();
    TClosingFlag& operator=(bool on);
    bool load() const { return on_.load(); }
    operator bool() const { return on_.load(); }
    HANDLE Event() const { return event_; }

private:
    std::atomic<bool> on_{false};
    HANDLE event_;
};
extern TClosingFlag AppClosing;
// The windows every new client object is subscribed to (the main window).
// Used on the GUI thread only.
extern std::vector<HWND> NotifyWindows;

class TFah;

// True while the object exists: a receiver of a posted message checks the
// object before it uses it. Objects are created and freed on the GUI thread,
// so a positive answer holds until the GUI thread frees one.
bool IsFahAlive(const TFah* fah);
// The address space of this process not in use: the free regions and the
// allocations with nothing committed summed, or the system's figure when
// that is smaller.
uint64_t FreeAddressSpace();
// The object a posted message carries, or nullptr when it is gone.
TFah* FahFromMessage(WPARAM wParam);

// A due time that survives GetTickCount wrapping: the difference counts.
inline bool IsPollDue(DWORD now, DWORD scheduledAt, DWORD delay)
{
    return static_cast<DWORD>(now - scheduledAt) >= delay;
}

// Frees a client object without waiting long on the caller's thread: its
// polling thread is told to end, and a poll in progress is waited for up to
// waitMs. One still running then (a file call on a share that does not
// answer holds it for the network's time-out) finishes on its own, and the
// object is freed after it by a later ReleaseFah or FreeReleasedFahs. GUI
// thread only.
void ReleaseFah(std::unique_ptr<TFah> fah, DWORD waitMs);
// Frees the objects released earlier whose polls have ended; returns how
// many still wait for theirs.
size_t FreeReleasedFahs();

class TFAHThread : public TThread {
public:
    static constexpr DWORD kMinInterval = 24000;
    // A poll needs little stack; a thousand clients must fit in a 32-bit
    // process's address space.
    static constexpr unsigned kStackSize = 256u << 10;

    // Created suspended; Start() runs it.
    explicit TFAHThread(TFah* fah);
    ~TFAHThread() override;

    // Raises ms to at least kMinInterval; a new value forces a poll.
    void SetInterval(DWORD ms);
    DWORD Interval() const { return interval_.load(); }
    // True: poll now (the waiting thread wakes at once).
    void SetForcePoll(bool force);
    bool ForcePoll() const { return forcePoll_.load(); }
    void SetSleepStep(DWORD ms) { sleepStep_.store(ms); }
    DWORD SleepStep() const { return sleepStep_.load(); }
    // Stops calling the object (its destructor runs).
    void Detach() { fah_.store(nullptr); }
    // Between polls the thread sleeps until the due time, a forced poll,
    // its end or the program's closing.
    // Sleeps up to ms; true when the thread is being stopped.
    bool Pause(DWORD ms) { return WaitForTerminate(ms); }
    // Polls made so far, and whether one runs now (for whoever waits for one).
    long PollCount() const { return polls_.load(); }
    bool Polling() const { return polling_.load(); }

protected:
    void Execute() override;

private:
    void ScheduleNext();

    std::atomic<TFah*> fah_;
    std::atomic<DWORD> interval_{kMinInterval};
    std::atomic<DWORD> requested_{kMinInterval};
    std::atomic<DWORD> sleepStep_{160};
    std::atomic<bool> forcePoll_{false};
    std::atomic<long> polls_{0};
    std::atomic<bool> polling_{false};
    HANDLE forceEvent_;
    DWORD scheduledAt_;
    DWORD delay_ = 0;   // the first poll is due at once
};

// The fields the parse fills.
struct TFahUnitData {
    int ProjectNumber = 0;
    TFixed4 WuSize;                   // KB
    TDateTime LastProgressTime = 0;   // local date and time of the newest progress line
    double StepTime = 0;              // days between progress lines
    std::string RunCloneGen;          // "Run r, Clone c, Gen g"
    std::string UserName;
    int TeamNumber = 0;
    std::string WUName, DownloadText, DueText;
    int Percent = 0;
    std::string EtaText;
    double Rate = 0;                  // fraction of the unit done per hour
};

struct TFahParams {
    std::string Folder;
    std::vector<HWND> Subscribers;
    // False: no polling thread; the owner calls Refresh itself.
    bool StartPolling = true;
};

class TFah : public TFahUnitData {
public:
    // Subscribes NotifyWindows and starts polling.
    explicit TFah(const std::string& folder);
    explicit TFah(const TFahParams& params);
    ~TFah();
    TFah(const TFah&) = delete;
    TFah& operator=(const TFah&) = delete;

    int64_t RefreshCounter = -1;
    bool LinuxRunning = false;
    std::string Folder;   // with a trailing backslash
    std::string Alias;
    std::string CompConfig;
    bool ShowInHint = false;
    std::string LogFileName, UnitInfoFileName, ClientCfgFileName;
    TLogLinesPtr LogLines;
    TStringList UnitInfoLines, ClientCfgLines;
    std::string ServiceName;
    bool NewMessages = false;
    bool LogHasNoCR = false;
    std::vector<HWND> Subscribers;
    uint8_t Status = fsUnknown;
    // Why the client shows nothing: it could not start polling, or its log
    // could not be read; empty when all is well.
    std::string ErrorText;

    // Under the lock: the folder, the three file names, fields cleared,
    // state 0; then a poll is forced.
    void SetFolder(const std::string& folder);
    void ClearData();
    // The text; a blank one is kept empty (the display record shows the
    // language's "not defined" for it).
    void SetCompConfig(const std::string& text);
    std::string GetDisplayName() const;
    void AddWindows(const std::vector<HWND>& handles);
    void Lock() { cs_.Enter(); }
    void Unlock() { cs_.Leave(); }
    TCriticalSection& CritSection() { return cs_; }
    void SetInterval(DWORD ms);
    // True: poll now, and read the log again even when its size and write
    // time are those of the last read.
    void RefreshNow(bool force);
    // Posts WM_FAHSTATUS when the state changes.
    void SetStatus(uint8_t state);
    // The state decision and the parse; the polling thread calls it.
    void Refresh(bool forced);
    // The value behind key in "unitinfo.txt" (up to the line end).
    std::string GetUnitInfoValue(const std::string& key);
    TFAHThread* PollThread() const { return thread_.get(); }
    // True when no polling thread was made because the address space left
    // was down to the reserve (ErrorText says so in the row).
    bool LeftOut() const { return leftOut_; }
    // A client left out gets its polling thread now when the reserve
    // allows it (folders were deleted meanwhile); true when it polls.
    bool WatchIfRoom();
    // The log tracker; used by the polling thread only.
    TFahMsgLog& MsgLog() { return msgLog_; }

    // The pause after each file read, so one client does not hog a shared
    // disk (100 ms). Benchmarks and tests may shorten it.
    static void SetFileReadPause(DWORD ms);
    // Polling threads are made while more than this much address space is
    // free, so the rest of the program (the clipboard, the windows, a
    // selected client's log) still has room.
    static constexpr uint64_t kAddressSpaceReserve = 256ull << 20;
    // Tests: another reserve (0: kAddressSpaceReserve again).
    static void SetAddressSpaceReserveForTesting(uint64_t bytes);
    // How long the GUI thread waits for a poll in progress when a client
    // object is released (ReleaseFah).
    static constexpr DWORD kReleaseWait = 2000;
    // Tells the polling thread to end after the poll in progress (the
    // object is no longer told as alive); true when it ended within ms.
    bool StopPolling(DWORD ms);
    // Room kept on top of the reserve for the program's own largest need
    // (reading and saving a long folder list grows with its file).
    static void SetExtraAddressSpaceReserve(uint64_t bytes);
    static DWORD FileReadPause();
    // Files larger than this are not read (the fields are cleared). The log
    // is read whatever its size, and only its end is kept (TLogTailReader).
    static constexpr uint64_t kMaxSmallFileBytes = 1ull << 20;

    // The network-connection call for unreachable folders on shares; tests
    // may replace it. Returns the Win32 result.
    using TNetConnect = DWORD (*)(const std::string& remoteName);
    static void SetNetConnectForTesting(TNetConnect fn);

private:
    struct TPaths {
        std::string folder, log, unitInfo, clientCfg;
        uint64_t generation = 0;
    };

    void Init(const TFahParams& params);
    // Language texts the polling thread needs, copied on the GUI thread.
    static void CaptureLanguageTexts();
    static std::string WithoutLimitationText();
    TPaths CopyPaths();
    void SetStatusOf(uint8_t state, uint64_t generation);
    uint8_t Decide(const TPaths& paths);
    bool CheckAccess(const std::string& folder);
    bool CheckResultsReady(const std::string& folder);
    bool CheckLogExists(const std::string& log);
    // Running, stopped, or no access when nobody may read the log.
    uint8_t CheckRunning(const std::string& log);
    // status: the state this poll decided (or, for a log nobody holds,
    // stopped until the log's tail is known).
    void Parse(bool forced, const TPaths& paths, uint8_t status);
    // read: the log was read (it was not known to be unchanged).
    bool ReadLog(const std::string& path, TLogLinesPtr& out, std::string& error, bool& read);
    bool Pause(DWORD ms);
    void ClearDataOf(uint64_t generation);
    void OnLogMessage(const std::string& text, const std::string& keyword);
    void Post(UINT msg, LPARAM lParam);

    // The field parsers; they read work_.log / work_.unitInfo and fill work_.out.
    void ParseProjectAndSize();
    void ParseRunCloneGen();
    void ParseWUName();
    void ParseDownloadTime();
    void ParseDueTime();
    void ParseProgress();
    void ParseUserTeam();
    void ParseEta();
    void FindUnitProjectLine();

    struct TWork {
        TLogLinesPtr log;
        TStringList unitInfo;
        int newestProjectLine = -1;
        int unitProjectLine = -1;   // where the current unit starts
        TFahUnitData out;
    };

    // "client.cfg" or "unitinfo.txt" as the polls saw it. An unchanged file
    // (the same size and write time) is not read again; a file read because
    // it changed is read once more at the next look, for a rewrite within
    // the file system's time resolution (two seconds on FAT) keeps its time.
    struct TFileLook {
        std::string path;
        uint64_t generation = 0;
        TFileStamp stamp;
        bool settled = false;
        TStringList lines;
    };
    // Brings look up to date with the file (no lines when it is missing or
    // over the size limit); false when it is there but cannot be read.
    // read: the file was read.
    static bool LookAt(const std::string& path, uint64_t generation, TFileLook& look, bool& read);

    // What the parse takes from the log's lines alone, kept with the
    // snapshot it came from: an unchanged log is not parsed again (the
    // estimate, which follows the clock, is).
    struct TLogFacts {
        TLogLinesPtr log;
        int newestProjectLine = -1;
        int unitProjectLine = -1;
        TFahUnitData out;   // project (from the log), size, run/clone/gen, percent, user, team
        bool noCR = false;
        bool linuxRunning = false;
    };
    void ParseLogFacts();

    TCriticalSection cs_;
    TFahMsgLog msgLog_;
    std::unique_ptr<TFAHThread> thread_;
    bool leftOut_ = false;
    DWORD interval_ = 0;   // the poll interval last set (0: none), for a thread made later
    uint64_t generation_ = 0;   // grows with every SetFolder
    TWork work_;
    TLogTailReader logReader_;
    // The polling thread's own: what this poll's state decision saw of the
    // log, and whether it opened it (it can then be read); whether the log
    // was read again since its stamp last changed (as "client.cfg" and
    // "unitinfo.txt" are, see TFileLook).
    TFileStamp logStamp_;
    bool logOpened_ = false;
    bool logSettled_ = false;
    // A forced refresh asks for the log to be read whatever its stamp says.
    std::atomic<bool> rereadLog_{false};
    TFileLook cfgLook_, unitInfoLook_;
    TLogFacts facts_;
};

// While one lives, ReleaseFah only tells each polling thread to end; the
// polls still running are waited for together when it goes, up to waitMs in
// all. The list's rows go this way at close: a hundred polls hanging on
// dead shares hold the end once, not a hundred times. Those still running
// then are freed later, as after any ReleaseFah. GUI thread only.
class TFahReleaseBatch {
public:
    explicit TFahReleaseBatch(DWORD waitMs = TFah::kReleaseWait);
    ~TFahReleaseBatch();
    TFahReleaseBatch(const TFahReleaseBatch&) = delete;
    TFahReleaseBatch& operator=(const TFahReleaseBatch&) = delete;

private:
    friend void ReleaseFah(std::unique_ptr<TFah> fah, DWORD waitMs);
    TFahReleaseBatch* outer_;
    DWORD waitMs_;
    std::vector<std::unique_ptr<TFah>> stopping_;
};
