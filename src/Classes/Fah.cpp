#include "Classes/Fah.h"

#include <winnetwk.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>

#include "Classes/FahUtils.h"
#include "Classes/Lang.h"
#include "controls/FileUtils.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Firewall.h"
#include "platform/Text.h"

TClosingFlag::TClosingFlag() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TClosingFlag& TClosingFlag::operator=(bool on)
{
    on_.store(on);
    if (event_)
        on ? SetEvent(event_) : ResetEvent(event_);
    return *this;
}

TClosingFlag AppClosing;
std::vector<HWND> NotifyWindows;

namespace {

TCriticalSection& LiveLock()
{
    static TCriticalSection cs;
    return cs;
}
std::set<const TFah*>& LiveSet()
{
    static std::set<const TFah*> live;
    return live;
}

DWORD NetConnect(const std::string& remoteName)
{
    std::wstring remote = Utf8ToWide(remoteName);
    NETRESOURCEW res = {};
    res.dwType = RESOURCETYPE_DISK;
    res.lpRemoteName = remote.data();
    return WNetAddConnection2W(&res, nullptr, nullptr, CONNECT_UPDATE_PROFILE);
}

std::atomic<TFah::TNetConnect> g_netConnect{&NetConnect};
std::atomic<DWORD> g_readPause{100};

// One generator for every polling thread, seeded once.
DWORD RandomBelow(DWORD n)
{
    static TCriticalSection cs;
    static std::minstd_rand gen(GetTickCount() ^ (GetCurrentProcessId() << 16));
    if (n == 0)
        return 0;
    TLock lock(cs);
    return std::uniform_int_distribution<DWORD>(0, n - 1)(gen);
}

}  // namespace

uint64_t FreeAddressSpace()
{
    // Free regions, and allocations that are only reserved with nothing
    // committed: Wine keeps the upper part of the address space reserved
    // that way and hands it out as memory is asked for (and reports the
    // whole space as available whatever is used).
    uint64_t free = 0, reserved = 0;
    const void* allocation = nullptr;
    bool committed = true;
    MEMORY_BASIC_INFORMATION mbi;
    for (const char* p = nullptr; VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi;) {
        if (mbi.State == MEM_FREE || mbi.AllocationBase != allocation) {
            if (!committed)
                free += reserved;
            allocation = mbi.State == MEM_FREE ? nullptr : mbi.AllocationBase;
            committed = mbi.State == MEM_FREE || mbi.Type != MEM_PRIVATE;
            reserved = 0;
        }
        if (mbi.State == MEM_FREE)
            free += mbi.RegionSize;
        else if (mbi.State == MEM_RESERVE)
            reserved += mbi.RegionSize;
        else
            committed = true;
        const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p)
            break;
        p = next;
    }
    if (!committed)
        free += reserved;
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status) && status.ullAvailVirtual < free)
        free = status.ullAvailVirtual;
    return free;
}

namespace {

std::atomic<uint64_t> addressSpaceReserve{0};
std::atomic<uint64_t> extraReserve{0};
// What RoomForPollingThread last knew to be free, less what it gave away since.
uint64_t freeEstimate = 0;
TCriticalSection& RoomLock()
{
    static TCriticalSection cs;
    return cs;
}

// Whether another polling thread leaves the reserve free. The free space is
// measured again only when a pessimistic estimate (each thread taking
// kThreadSpaceGuess) comes near the reserve: thousands of folders don't
// walk the address space thousands of times.
bool RoomForPollingThread()
{
    constexpr uint64_t kThreadSpaceGuess = 4ull << 20;
    static unsigned calls = 0;
    TLock lock(RoomLock());
    uint64_t& estimate = freeEstimate;
    uint64_t reserve = addressSpaceReserve.load();
    if (reserve == 0)
        reserve = TFah::kAddressSpaceReserve;
    reserve += extraReserve.load();
    // Now and then anyway: the rest of the program takes space too.
    if (estimate < reserve + kThreadSpaceGuess || ++calls % 32 == 0)
        estimate = FreeAddressSpace();
    if (estimate < reserve + kThreadSpaceGuess)
        return false;
    estimate -= kThreadSpaceGuess;
    return true;
}

}  // namespace

void TFah::SetAddressSpaceReserveForTesting(uint64_t bytes)
{
    TLock lock(RoomLock());
    addressSpaceReserve.store(bytes);
    freeEstimate = 0;
}

void TFah::SetExtraAddressSpaceReserve(uint64_t bytes)
{
    TLock lock(RoomLock());
    extraReserve.store(bytes);
    freeEstimate = 0;
}

bool IsFahAlive(const TFah* fah)
{
    if (!fah)
        return false;
    TLock lock(LiveLock());
    return LiveSet().count(fah) != 0;
}

TFah* FahFromMessage(WPARAM wParam)
{
    TFah* fah = reinterpret_cast<TFah*>(wParam);
    return IsFahAlive(fah) ? fah : nullptr;
}

// ---------------------------------------------------------------------------
// Polling thread

TFAHThread::TFAHThread(TFah* fah)
    : TThread(true, kStackSize), fah_(fah), forceEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      scheduledAt_(GetTickCount())
{
}

TFAHThread::~TFAHThread()
{
    TerminateAndWait();
    if (forceEvent_)
        CloseHandle(forceEvent_);
}

void TFAHThread::SetForcePoll(bool force)
{
    forcePoll_.store(force);
    if (force && forceEvent_)
        SetEvent(forceEvent_);
}

void TFAHThread::SetInterval(DWORD ms)
{
    if (ms == requested_.load())
        return;
    requested_.store(ms);
    interval_.store(ms < kMinInterval ? kMinInterval : ms);
    SetForcePoll(true);
}

void TFAHThread::ScheduleNext()
{
    DWORD q = interval_.load() / 4;
    scheduledAt_ = GetTickCount();
    delay_ = 3 * q + RandomBelow(q);
}

void TFAHThread::Execute()
{
    while (!Terminated() && !AppClosing.load()) {
        bool forced = forcePoll_.exchange(false);
        DWORD now = GetTickCount();
        if (forced || IsPollDue(now, scheduledAt_, delay_)) {
            polling_.store(true);
            if (TFah* fah = fah_.load()) {
                try {
                    fah->Refresh(forced);
                } catch (...) {
                    // A worker thread: reported on the GUI thread by a posted message.
                    Application().PostException(std::current_exception());
                }
            }
            ++polls_;
            polling_.store(false);
            // A poll that outlived the wait at close may end while the
            // program's statics are going: nothing more is touched.
            if (Terminated())
                break;
            ScheduleNext();   // from the end of this poll
            continue;
        }
        // Sleep until the poll is due, a poll is forced, the thread ends or
        // the program closes: an idle client wakes once per poll.
        DWORD wait = delay_ - (now - scheduledAt_);
        HANDLE events[3] = {TerminateEvent(), AppClosing.Event(), forceEvent_};
        DWORD r = WaitForMultipleObjects(forceEvent_ ? 3 : 2, events, FALSE, wait);
        if (r == WAIT_OBJECT_0)
            break;
        if (r == WAIT_FAILED)
            Sleep(std::min<DWORD>(wait, 1000));   // no events to wait on: look again now and then
        // A forced poll still follows the last poll by a sleep step at least.
        const DWORD sincePoll = GetTickCount() - scheduledAt_, step = sleepStep_.load();
        if (r == WAIT_OBJECT_0 + 2 && sincePoll < step && WaitForTerminate(step - sincePoll))
            break;
    }
}

// ---------------------------------------------------------------------------
// Client object

namespace {
TCriticalSection& LangTextLock()
{
    static TCriticalSection cs;
    return cs;
}
std::string g_withoutLimitation;
bool g_langHandlerAdded = false;
}  // namespace

void TFah::CaptureLanguageTexts()
{
    {
        TLock lock(LangTextLock());
        g_withoutLimitation = sWithoutLimitation;
    }
    if (!g_langHandlerAdded) {
        g_langHandlerAdded = true;
        AddLanguageHandler([] {
            TLock lock(LangTextLock());
            g_withoutLimitation = sWithoutLimitation;
        });
    }
}

std::string TFah::WithoutLimitationText()
{
    TLock lock(LangTextLock());
    return g_withoutLimitation;
}

void TFah::SetFileReadPause(DWORD ms) { g_readPause.store(ms); }
DWORD TFah::FileReadPause() { return g_readPause.load(); }
void TFah::SetNetConnectForTesting(TNetConnect fn) { g_netConnect.store(fn ? fn : &NetConnect); }

TFah::TFah(const std::string& folder)
{
    TFahParams p;
    p.Folder = folder;
    p.Subscribers = NotifyWindows;
    Init(p);
}

TFah::TFah(const TFahParams& params) { Init(params); }

void TFah::Init(const TFahParams& params)
{
    CaptureLanguageTexts();
    LogLines = EmptyLogLines();
    SetCompConfig("");
    msgLog_.OnMessage = [this](TFahMsgLog&, int, const std::string& text, const std::string& keyword) {
        OnLogMessage(text, keyword);
    };
    Subscribers = params.Subscribers;
    SetFolder(params.Folder);
    {
        TLock lock(LiveLock());
        LiveSet().insert(this);
    }
    if (params.StartPolling && !RoomForPollingThread()) {
        // Listed, not watched: the row and the start-up box say so.
        TLock lock(cs_);
        leftOut_ = true;
        ErrorText = sNotWatched;
    } else if (params.StartPolling) {
        try {
            thread_ = std::make_unique<TFAHThread>(this);
        } catch (const std::exception& e) {
            // The client stays, without polling, and tells why.
            TLock lock(cs_);
            ErrorText = e.what();
        }
        if (thread_) {
            thread_->SetPriority(THREAD_PRIORITY_BELOW_NORMAL);
            thread_->Start();
        }
    }
}

bool TFah::WatchIfRoom()
{
    if (thread_ || !leftOut_)
        return thread_ != nullptr;
    if (!RoomForPollingThread())
        return false;
    std::unique_ptr<TFAHThread> thread;
    try {
        thread = std::make_unique<TFAHThread>(this);
    } catch (const std::exception&) {
        return false;   // still left out; tried again later
    }
    {
        TLock lock(cs_);
        leftOut_ = false;
        ErrorText.clear();
    }
    thread_ = std::move(thread);
    if (interval_)
        thread_->SetInterval(interval_);
    thread_->SetPriority(THREAD_PRIORITY_BELOW_NORMAL);
    thread_->Start();
    return true;
}

TFah::~TFah()
{
    {
        TLock lock(LiveLock());
        LiveSet().erase(this);
    }
    // The thread stops before the tracker's event goes: a poll in progress may
    // be raising it right now.
    if (thread_) {
        thread_->Detach();
        thread_->SetSleepStep(20);
        thread_->TerminateAndWait();
        thread_.reset();
    }
    msgLog_.OnMessage = nullptr;
}

bool TFah::StopPolling(DWORD ms)
{
    {
        TLock lock(LiveLock());
        LiveSet().erase(this);
    }
    if (!thread_)
        return true;
    thread_->Detach();
    thread_->SetSleepStep(20);
    thread_->Terminate();
    return thread_->WaitFor(ms);
}

namespace {
// Released objects whose polls were still running; never freed as a whole
// (at the program's end their threads are ended with the process, not
// waited for).
std::vector<std::unique_ptr<TFah>>& ReleasedFahs()
{
    static auto* released = new std::vector<std::unique_ptr<TFah>>;
    return *released;
}
}  // namespace

size_t FreeReleasedFahs()
{
    auto& released = ReleasedFahs();
    released.erase(std::remove_if(released.begin(), released.end(),
                                  [](const std::unique_ptr<TFah>& fah) { return fah->StopPolling(0); }),
                   released.end());
    return released.size();
}

namespace {
TFahReleaseBatch* g_releaseBatch = nullptr;
}  // namespace

void ReleaseFah(std::unique_ptr<TFah> fah, DWORD waitMs)
{
    FreeReleasedFahs();
    if (!fah)
        return;
    if (TFahReleaseBatch* batch = g_releaseBatch) {
        // Told now, waited for with the others when the batch ends.
        if (fah->StopPolling(0))
            return;
        try {
            batch->stopping_.push_back(std::move(fah));
            return;
        } catch (...) {
            // No room in the batch: waited for on its own.
        }
    }
    if (!fah->StopPolling(waitMs))
        ReleasedFahs().push_back(std::move(fah));
}

TFahReleaseBatch::TFahReleaseBatch(DWORD waitMs) : outer_(g_releaseBatch), waitMs_(waitMs)
{
    g_releaseBatch = this;
}

TFahReleaseBatch::~TFahReleaseBatch()
{
    g_releaseBatch = outer_;
    const DWORD start = GetTickCount();
    for (auto& fah : stopping_) {
        const DWORD spent = GetTickCount() - start;
        if (fah->StopPolling(spent < waitMs_ ? waitMs_ - spent : 0))
            continue;
        try {
            ReleasedFahs().push_back(std::move(fah));
        } catch (...) {
            fah.release();   // no room to keep it: never freed under its poll
        }
    }
    stopping_.clear();   // those whose polls ended
}

void TFah::SetFolder(const std::string& folder)
{
    {
        TLock lock(cs_);
        ++generation_;
        Folder = EnsureTrailingBackslash(folder);
        LogFileName = Folder + "FAHlog.txt";
        UnitInfoFileName = Folder + "unitinfo.txt";
        ClientCfgFileName = Folder + "client.cfg";
        ClearData();
        ClientCfgLines.Clear();
        if (thread_)
            ErrorText.clear();   // a client that cannot poll keeps saying why
        SetStatus(fsUnknown);
    }
    if (thread_)
        thread_->SetForcePoll(true);
}

void TFah::ClearData()
{
    TLock lock(cs_);
    static_cast<TFahUnitData&>(*this) = TFahUnitData();
    LogLines = EmptyLogLines();
    UnitInfoLines.Clear();
    LinuxRunning = false;
    LogHasNoCR = false;
}

void TFah::SetCompConfig(const std::string& text)
{
    // None given stays none: the language's "not defined" is only shown.
    CompConfig = Trim(text).empty() ? std::string() : text;
}

std::string TFah::GetDisplayName() const { return Alias.empty() ? Folder : Alias; }

void TFah::AddWindows(const std::vector<HWND>& handles)
{
    TLock lock(cs_);
    Subscribers.insert(Subscribers.end(), handles.begin(), handles.end());
}

void TFah::SetInterval(DWORD ms)
{
    interval_ = ms;   // for a thread made later (WatchIfRoom)
    if (thread_)
        thread_->SetInterval(ms);
}

void TFah::RefreshNow(bool force)
{
    if (force)
        rereadLog_.store(true);
    if (thread_)
        thread_->SetForcePoll(force);
}

void TFah::Post(UINT msg, LPARAM lParam)
{
    for (HWND h : Subscribers)
        PostMessageW(h, msg, reinterpret_cast<WPARAM>(this), lParam);
}

void TFah::SetStatus(uint8_t state)
{
    TLock lock(cs_);
    if (state == Status)
        return;
    uint8_t old = Status;
    Status = state;
    Post(WM_FAHSTATUS, old);
}

void TFah::SetStatusOf(uint8_t state, uint64_t generation)
{
    TLock lock(cs_);
    if (generation == generation_)
        SetStatus(state);
}

void TFah::OnLogMessage(const std::string& text, const std::string& keyword)
{
    TLock lock(cs_);
    NewMessages = true;
    if (keyword == "early_unit_end")
        Post(WM_FAHEARLYUNITEND, 0);
    if (keyword == "working with standard loops on this execution")
        Post(WM_FAHSSEOFF, 0);
    if (keyword == "program will now exit" &&
        text.find("you may wish to check that no client is currently running") != std::string::npos)
        Post(WM_FAHSMPBREAK, 0);
}

TFah::TPaths TFah::CopyPaths()
{
    TLock lock(cs_);
    TPaths p;
    p.folder = Folder;
    p.log = LogFileName;
    p.unitInfo = UnitInfoFileName;
    p.clientCfg = ClientCfgFileName;
    p.generation = generation_;
    return p;
}

bool TFah::Pause(DWORD ms)
{
    if (ms == 0)
        return thread_ && thread_->Terminated();
    if (thread_)
        return thread_->Pause(ms);
    Sleep(ms);
    return false;
}

namespace {

// The folder is there and may be listed: a folder the user may not enter
// (or one another program holds shared with nobody) is there but can't be
// listed, and nothing in it can be told. Opened for listing as a search
// opens it, without reading its entries.
bool CanEnter(const std::string& folder)
{
    if (!IsExistingDirectory(folder))
        return false;
    HANDLE h = CreateFileW(Utf8ToWide(folder).c_str(), FILE_LIST_DIRECTORY,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

// A file (not a folder) matches the pattern; the search stops at the first.
bool AnyFileMatches(const std::string& pattern)
{
    WIN32_FIND_DATAW data;
    // Standard, not basic, information: Windows XP knows only that.
    HANDLE h = FindFirstFileExW(Utf8ToWide(pattern).c_str(), FindExInfoStandard, &data, FindExSearchNameMatch,
                                nullptr, 0);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do {
        found = !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } while (!found && FindNextFileW(h, &data));
    FindClose(h);
    return found;
}

}  // namespace

bool TFah::CheckAccess(const std::string& folder)
{
    if (CanEnter(folder))
        return true;
    if (folder.size() <= 2)
        return false;
    bool share = folder[0] == '\\' && folder[1] == '\\';
    if (!share && folder[1] == ':') {
        std::wstring root = Utf8ToWide(folder.substr(0, 2) + "\\");
        share = GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE;
    }
    if (!share)
        return false;
    g_netConnect.load()(folder);   // only reachability counts, not the result
    if (Pause(200))
        return false;
    return CanEnter(folder);
}

bool TFah::CheckResultsReady(const std::string& folder) { return AnyFileMatches(folder + "work\\wuresults_*.dat"); }

bool TFah::CheckLogExists(const std::string& log)
{
    logStamp_ = FileStampOf(log);   // kept: the parse tells an unchanged log by it
    return logStamp_.exists;
}

uint8_t TFah::CheckRunning(const std::string& log)
{
    // A running client holds its log open for writing: an open that denies
    // writers fails then with a sharing violation, while one that shares
    // everything still reads it. A log nobody may read (refused to this
    // user, or held by another program that shares it with nobody) is no
    // sign of a running client: the folder is then no access.
    HANDLE h = CreateFileW(Utf8ToWide(log).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        logOpened_ = true;
        return fsShutdown;   // unless the log's tail says otherwise (Refresh)
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return fsLogNotFound;   // gone since it was looked for
    if (error != ERROR_SHARING_VIOLATION || !CanOpenShared(log))
        return fsNotAccess;
    logOpened_ = true;
    return fsRunning;
}

uint8_t TFah::Decide(const TPaths& paths)
{
    logStamp_ = TFileStamp();
    logOpened_ = false;
    if (!CheckAccess(paths.folder))
        return fsNotAccess;
    if (CheckResultsReady(paths.folder))
        return fsReadyForSend;
    if (!CheckLogExists(paths.log))
        return fsLogNotFound;
    return CheckRunning(paths.log);
}

void TFah::Refresh(bool forced)
{
    TPaths paths = CopyPaths();
    uint8_t old;
    {
        TLock lock(cs_);
        old = Status;
    }
    uint8_t state = Decide(paths);
    if (thread_ && thread_->Terminated())
        return;
    if (state != fsShutdown) {
        SetStatusOf(state, paths.generation);
        Parse(forced || state != old, paths, state);
        return;
    }
    // Nobody here holds the log open; a client on Linux writing to a share
    // holds no lock the open could meet, and only its log's tail, which the
    // parse reads, tells whether it still runs. So the state is told after
    // the parse: never first stopped, then running a poll later.
    Parse(forced || state != old, paths, state);
    if (thread_ && thread_->Terminated())
        return;
    {
        TLock lock(cs_);
        if (LinuxRunning)
            state = fsRunning;
    }
    SetStatusOf(state, paths.generation);
}
