// The client's computing cores running on this computer: their processes with
// memory use, CPU affinity and CPU times, and the spreading of the multi-core
// cores over the processors.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// A usage that is not known yet.
constexpr BYTE kUsageUnknown = 255;

// One core process as seen at one moment.
struct TProcessRecord {
    DWORD Pid = 0;
    std::string Name;        // upper-cased executable base name, at most 64 characters
    DWORD WorkingSet = 0;    // bytes
    DWORD ProcessMask = 0;
    DWORD SystemMask = 0;
    int64_t TotalMs = 0;     // KernelMs + UserMs
    int64_t KernelMs = 0;
    int64_t UserMs = 0;
    DWORD Tick = 0;          // GetTickCount when the record was taken
    BYTE Usage = kUsageUnknown;
};

// Process records; the list owns them.
class TSMPList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    TProcessRecord& operator[](int i) { return items_.at(static_cast<size_t>(i)); }
    const TProcessRecord& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
    void Add(const TProcessRecord& r) { items_.push_back(r); }
    void Delete(int i) { items_.erase(items_.begin() + i); }
    void Clear() { items_.clear(); }
    // Index of the record with this process id, -1 when there is none.
    int IndexOfPid(DWORD pid) const;
    std::vector<TProcessRecord>& Items() { return items_; }
    const std::vector<TProcessRecord>& Items() const { return items_; }

private:
    std::vector<TProcessRecord> items_;
};

// The identifiers of all processes on this computer.
class TProcessList {
public:
    // Asks for the debug privilege, so other users' cores can be opened too.
    // Not having it is no error.
    TProcessList();
    virtual ~TProcessList() = default;
    TProcessList(const TProcessList&) = delete;
    TProcessList& operator=(const TProcessList&) = delete;

    // Fills Pids with every process identifier. A failure is an assertion.
    void Enumerate();
    std::vector<DWORD> Pids;

    // True when the debug privilege is now enabled for this process.
    static bool EnableDebugPrivilege();
};

// Sort orders of the core processes, larger first.
enum : BYTE { soWorkingSet = 0, soTotalTime = 1 };

// How the process list meets the system. The defaults are the real calls;
// tests hand in their own to see what Windows under Wine cannot show.
struct TSMPProcessSeams {
    // Replaces the look at the running processes: fills the list with the
    // core records of this moment (unsorted).
    std::function<void(TSMPList& out)> Snapshot;
    // Replaces SetProcessAffinityMask.
    std::function<BOOL(HANDLE process, DWORD_PTR mask)> SetMask;
};

// The client's core processes: every "FAHCORE_" process, or only the two
// multi-core cores.
class TSMPProcess : public TProcessList {
public:
    explicit TSMPProcess(bool allCores);
    TSMPProcess(bool allCores, TSMPProcessSeams seams);
    ~TSMPProcess() override;

    // Looks at the running processes again and sorts the records.
    //
    // Every process seen is remembered with an open handle (which also keeps
    // its identifier from being reused), so its name is looked up only once.
    // The whole process list is enumerated again when the last enumeration is
    // older than FullScanInterval; in between only the known cores are read.
    // The interval follows the cost of an enumeration (200 times that cost,
    // at most 30 s): where enumerating is cheap it is done on every refresh.
    void Refresh();
    // Refresh with a whole enumeration, whatever the interval says.
    void RefreshAll();
    DWORD FullScanInterval() const { return fullScanInterval_; }
    // Gives every listed process its own processor (spread) or all of them.
    // A process whose mask cannot be set is reported to the application's
    // error handler and skipped; the result is the number of such processes.
    int SetAffinity(bool spread);

    std::vector<std::string> NamePrefixes;
    bool AllCores = false;
    TSMPList Processes;
    bool SpreadAffinity = false;
    BYTE ProcessorCount = 1;
    BYTE SortOrder = soWorkingSet;
    // Read only the CPU times of each core (what the CPU-usage sampler needs):
    // working set and masks stay 0. Sorting by working set then keeps the
    // order in which the processes were found.
    bool TimesOnly = false;

    // The single-processor masks of a system mask, lowest first, followed by
    // the same masks in reverse: 1, 2, 4, 8, 8, 4, 2, 1. Empty for mask 0.
    static std::vector<DWORD> MirroredMasks(DWORD systemMask);
    // Milliseconds from the 100 ns counts of GetProcessTimes.
    static int64_t KernelTimeToMs(uint64_t kernel100ns);
    static int64_t UserTimeToMs(uint64_t user100ns);
    // Sorts the records, larger first, by the given order; ties keep their place.
    static void SortRecords(TSMPList& list, BYTE sortOrder);

private:
    struct TKnownProcess {
        HANDLE Handle = nullptr;
        std::string Name;
    };
    bool IsCore(const std::string& name) const;
    void Collect(bool fullScan);
    void FullScan();
    void ForgetEnded(bool coresOnly);
    bool Identify(DWORD pid, TKnownProcess& out);
    void ReadRecord(DWORD pid, const TKnownProcess& known, TSMPList& out);
    void CloseAll();

    TSMPProcessSeams seams_;
    std::map<DWORD, TKnownProcess> known_;
    bool scanned_ = false;
    DWORD lastScanTick_ = 0;
    DWORD fullScanInterval_ = 0;
};
