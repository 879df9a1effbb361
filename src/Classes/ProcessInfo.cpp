#include "Classes/ProcessInfo.h"

#include <psapi.h>

#include <algorithm>
#include <exception>

#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Firewall.h"
#include "platform/Rounding.h"
#include "platform/Text.h"

namespace {

const char kAllCoresPrefix[] = "FAHCORE_";
const char kMultiCoreA1[] = "FAHCORE_A1.EXE";
const char kMultiCoreA2[] = "FAHCORE_A2.EXE";
const size_t kMaxNameLength = 64;

// The first `count` characters of a UTF-8 text (never half a character).
std::string FirstCharacters(const std::string& s, size_t count)
{
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            continue;   // inside a character
        if (chars++ == count)
            return s.substr(0, i);
    }
    return s;
}

uint64_t FileTimeValue(const FILETIME& ft)
{
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

class THandle {
public:
    explicit THandle(HANDLE h) : h_(h) {}
    ~THandle() { if (h_) CloseHandle(h_); }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_;
};

}  // namespace

int TSMPList::IndexOfPid(DWORD pid) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Pid == pid)
            return static_cast<int>(i);
    return -1;
}

// ---------------------------------------------------------------------------

TProcessList::TProcessList() { EnableDebugPrivilege(); }

bool TProcessList::EnableDebugPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    THandle guard(token);
    TOKEN_PRIVILEGES tp = {};
    if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &tp.Privileges[0].Luid))
        return false;
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    SetLastError(0);
    AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when the privilege was not granted.
    return GetLastError() == 0;
}

void TProcessList::Enumerate()
{
    // Room for 16383 identifiers at first; grown while the buffer comes back full.
    std::vector<DWORD> buf(16383);
    for (;;) {
        DWORD bytes = 0;
        BOOL ok = EnumProcesses(buf.data(), static_cast<DWORD>(buf.size() * sizeof(DWORD)), &bytes);
        BX_ASSERT(ok, "Failed to enumerate processes");
        size_t count = bytes / sizeof(DWORD);
        if (count < buf.size() || buf.size() >= (1u << 20)) {
            Pids.assign(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(count));
            return;
        }
        buf.resize(buf.size() * 2);
    }
}

// ---------------------------------------------------------------------------

TSMPProcess::TSMPProcess(bool allCores) : TSMPProcess(allCores, TSMPProcessSeams{}) {}

TSMPProcess::TSMPProcess(bool allCores, TSMPProcessSeams seams)
    : AllCores(allCores), seams_(std::move(seams))
{
    if (allCores)
        NamePrefixes = {kAllCoresPrefix};
    else
        NamePrefixes = {kMultiCoreA1, kMultiCoreA2};
    SYSTEM_INFO si = {};
    GetSystemInfo(&si);
    DWORD n = si.dwNumberOfProcessors;
    ProcessorCount = static_cast<BYTE>(n == 0 ? 1 : (n > 255 ? 255 : n));
    Refresh();
}

TSMPProcess::~TSMPProcess()
{
    Processes.Clear();
    CloseAll();
}

int64_t TSMPProcess::KernelTimeToMs(uint64_t kernel100ns)
{
    return RoundHalfEven(static_cast<double>(kernel100ns) / 10000.0);
}

int64_t TSMPProcess::UserTimeToMs(uint64_t user100ns)
{
    return RoundHalfEven(static_cast<double>(user100ns) / 10000.0 - 0.2);
}

void TSMPProcess::SortRecords(TSMPList& list, BYTE sortOrder)
{
    auto& v = list.Items();
    if (sortOrder == soTotalTime)
        std::stable_sort(v.begin(), v.end(), [](const TProcessRecord& a, const TProcessRecord& b) {
            return a.TotalMs > b.TotalMs;
        });
    else
        std::stable_sort(v.begin(), v.end(), [](const TProcessRecord& a, const TProcessRecord& b) {
            return a.WorkingSet > b.WorkingSet;
        });
}

bool TSMPProcess::Identify(DWORD pid, TKnownProcess& out)
{
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
    if (!h)
        return false;   // another user's, or gone
    // An ended process that someone still holds: nothing to learn.
    HMODULE mod = nullptr;
    DWORD needed = 0;
    wchar_t nameBuf[MAX_PATH + 1] = {};
    DWORD len = 0;
    bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    if (alive && EnumProcessModules(h, &mod, sizeof mod, &needed) && mod)
        len = GetModuleBaseNameW(h, mod, nameBuf, MAX_PATH);
    std::wstring name(nameBuf, len);
    if (alive && len == 0) {
        // No module list yet (still starting) or not readable from here (a
        // 64-bit process seen from this 32-bit one): the image's own name.
        wchar_t image[MAX_PATH + 1] = {};
        DWORD n = GetProcessImageFileNameW(h, image, MAX_PATH);
        std::wstring path(image, n);
        name = path.substr(path.find_last_of(L'\\') + 1);
    }
    if (name.empty()) {
        CloseHandle(h);
        return false;   // ended, or nothing to go by: asked again next time
    }
    out.Handle = h;
    out.Name = UpperCase(WideToUtf8(name));
    return true;
}

bool TSMPProcess::IsCore(const std::string& name) const
{
    for (const std::string& prefix : NamePrefixes)
        if (name.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

void TSMPProcess::ReadRecord(DWORD pid, const TKnownProcess& known, TSMPList& out)
{
    TProcessRecord r;
    r.Pid = pid;
    r.Name = FirstCharacters(known.Name, kMaxNameLength);
    DWORD_PTR processMask = 0, systemMask = 0;
    if (!TimesOnly && GetProcessAffinityMask(known.Handle, &processMask, &systemMask)) {
        r.ProcessMask = static_cast<DWORD>(processMask);
        r.SystemMask = static_cast<DWORD>(systemMask);
    }
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    if (!TimesOnly && GetProcessMemoryInfo(known.Handle, &pmc, sizeof pmc))
        r.WorkingSet = static_cast<DWORD>(pmc.WorkingSetSize);
    FILETIME created, exited, kernel = {}, user = {};
    if (!GetProcessTimes(known.Handle, &created, &exited, &kernel, &user))
        kernel = user = FILETIME{};
    r.Tick = GetTickCount();
    r.KernelMs = KernelTimeToMs(FileTimeValue(kernel));
    r.UserMs = UserTimeToMs(FileTimeValue(user));
    r.TotalMs = r.KernelMs + r.UserMs;
    r.Usage = kUsageUnknown;
    out.Add(r);
}

void TSMPProcess::ForgetEnded(bool coresOnly)
{
    // Many handles per wait; a signalled one is an ended process.
    std::vector<DWORD> pids;
    std::vector<HANDLE> handles;
    for (const auto& [pid, k] : known_) {
        if (coresOnly && !IsCore(k.Name))
            continue;
        pids.push_back(pid);
        handles.push_back(k.Handle);
    }
    size_t start = 0;
    while (start < handles.size()) {
        DWORD n = static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - start));
        DWORD r = WaitForMultipleObjects(n, &handles[start], FALSE, 0);
        if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + n) {
            size_t i = start + (r - WAIT_OBJECT_0);
            auto it = known_.find(pids[i]);
            CloseHandle(it->second.Handle);
            known_.erase(it);
            pids.erase(pids.begin() + static_cast<std::ptrdiff_t>(i));
            handles.erase(handles.begin() + static_cast<std::ptrdiff_t>(i));
            continue;   // look at the rest of this group again
        }
        start += n;
    }
}

void TSMPProcess::FullScan()
{
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    Enumerate();
    std::vector<DWORD> listed(Pids);
    std::sort(listed.begin(), listed.end());
    for (auto it = known_.begin(); it != known_.end();) {
        if (!std::binary_search(listed.begin(), listed.end(), it->first)) {
            CloseHandle(it->second.Handle);
            it = known_.erase(it);
        } else {
            ++it;
        }
    }
    ForgetEnded(false);
    QueryPerformanceCounter(&t1);
    // What a scan costs every time (new processes are looked up only once).
    double costMs = static_cast<double>(t1.QuadPart - t0.QuadPart) * 1000.0 /
                    static_cast<double>(freq.QuadPart ? freq.QuadPart : 1);
    double interval = costMs * 200.0;
    fullScanInterval_ = static_cast<DWORD>(interval > 30000.0 ? 30000.0 : interval);
    for (DWORD pid : Pids) {
        if (known_.count(pid))
            continue;
        TKnownProcess k;
        if (Identify(pid, k))
            known_.emplace(pid, k);
    }
    scanned_ = true;
    lastScanTick_ = GetTickCount();
}

void TSMPProcess::Collect(bool fullScan)
{
    if (fullScan || !scanned_ || GetTickCount() - lastScanTick_ >= fullScanInterval_) {
        FullScan();
    } else {
        // Between enumerations: the known cores only, dropping those that ended.
        ForgetEnded(true);
    }
    for (const auto& [pid, k] : known_)
        if (IsCore(k.Name))
            ReadRecord(pid, k, Processes);
}

void TSMPProcess::CloseAll()
{
    for (auto& [pid, k] : known_)
        CloseHandle(k.Handle);
    known_.clear();
}

void TSMPProcess::Refresh()
{
    Processes.Clear();
    if (seams_.Snapshot)
        seams_.Snapshot(Processes);
    else
        Collect(false);
    SortRecords(Processes, SortOrder);
    Pids.clear();
}

void TSMPProcess::RefreshAll()
{
    Processes.Clear();
    if (seams_.Snapshot)
        seams_.Snapshot(Processes);
    else
        Collect(true);
    SortRecords(Processes, SortOrder);
    Pids.clear();
}

std::vector<DWORD> TSMPProcess::MirroredMasks(DWORD systemMask)
{
    std::vector<DWORD> bits;
    for (int b = 0; b < 32; ++b)
        if (systemMask & (1u << b))
            bits.push_back(1u << b);
    std::vector<DWORD> masks(bits);
    masks.insert(masks.end(), bits.rbegin(), bits.rend());
    return masks;
}

int TSMPProcess::SetAffinity(bool spread)
{
    SpreadAffinity = spread;
    // The masks are needed here, whatever the list is otherwise used for.
    bool timesOnly = TimesOnly;
    TimesOnly = false;
    RefreshAll();
    TimesOnly = timesOnly;
    if (Processes.Empty())
        return 0;
    const DWORD system = Processes[0].SystemMask;
    const std::vector<DWORD> masks = MirroredMasks(system);
    // No processor known (the query failed): leave every process as it is.
    if (masks.empty())
        return 0;
    for (int i = 0; i < Processes.Count(); ++i)
        Processes[i].ProcessMask =
            SpreadAffinity ? masks[static_cast<size_t>(i) % masks.size()] : system;

    int failures = 0;
    for (int i = 0; i < Processes.Count(); ++i) {
        const TProcessRecord& r = Processes[i];
        HANDLE raw = OpenProcess(PROCESS_SET_INFORMATION | SYNCHRONIZE, FALSE, r.Pid);
        if (!raw)
            raw = OpenProcess(PROCESS_SET_INFORMATION, FALSE, r.Pid);
        THandle h(raw);
        if (!h)
            continue;   // ended since the refresh
        BOOL ok = seams_.SetMask ? seams_.SetMask(h.Get(), r.ProcessMask)
                                 : SetProcessAffinityMask(h.Get(), r.ProcessMask);
        if (ok)
            continue;
        DWORD err = GetLastError();
        if (WaitForSingleObject(h.Get(), 0) == WAIT_OBJECT_0)
            continue;   // ended since the refresh: nothing to report
        ++failures;
        // Reported, not thrown: the other processes still get their masks
        // and the caller goes on (it may be saving the settings).
        HandleException(std::make_exception_ptr(EAssertionFailed(
            SystemErrorText(err) + " [" + r.Name + ", " + std::to_string(r.Pid) + "]", __FILE__,
            __LINE__)));
    }
    return failures;
}
