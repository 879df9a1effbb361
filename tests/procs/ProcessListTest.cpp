// The core-process list and the affinity spread, on real processes.
#include <gtest/gtest.h>

#include <algorithm>

#include "Classes/ProcessInfo.h"
#include "procs/ProcsTestKit.h"
#include "support/TestSupport.h"

using namespace procs_test;
using testing_support::CaughtErrors;
using testing_support::ClearCaughtErrors;

namespace {

bool Contains(const std::vector<DWORD>& v, DWORD x) { return std::find(v.begin(), v.end(), x) != v.end(); }

std::vector<DWORD> PidsOf(const TSMPList& list)
{
    std::vector<DWORD> out;
    for (const auto& r : list.Items())
        out.push_back(r.Pid);
    return out;
}

// The masks a spread gives to the first ten processes, in sorted order, for
// the system masks of one to ten and more processors: processor 0, 1, ...,
// n-1, then n-1 back to 0, and again. Empty for a mask not listed.
std::vector<DWORD> SpreadOfTen(DWORD system)
{
    switch (system) {
    case 0x1:   return {0x1, 0x1, 0x1, 0x1, 0x1, 0x1, 0x1, 0x1, 0x1, 0x1};
    case 0x3:   return {0x1, 0x2, 0x2, 0x1, 0x1, 0x2, 0x2, 0x1, 0x1, 0x2};
    case 0x7:   return {0x1, 0x2, 0x4, 0x4, 0x2, 0x1, 0x1, 0x2, 0x4, 0x4};
    case 0xF:   return {0x1, 0x2, 0x4, 0x8, 0x8, 0x4, 0x2, 0x1, 0x1, 0x2};
    case 0x1F:  return {0x1, 0x2, 0x4, 0x8, 0x10, 0x10, 0x8, 0x4, 0x2, 0x1};
    case 0x3F:  return {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x20, 0x10, 0x8, 0x4};
    case 0x7F:  return {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x40, 0x20, 0x10};
    case 0xFF:  return {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x80, 0x40};
    case 0x1FF: return {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x100};
    default:
        if ((system & 0x3FF) == 0x3FF)   // ten processors or more: each its own
            return {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200};
        return {};
    }
}

TProcessRecord Rec(DWORD pid, const char* name, DWORD ws, int64_t total, DWORD system = 0xF)
{
    TProcessRecord r;
    r.Pid = pid;
    r.Name = name;
    r.WorkingSet = ws;
    r.TotalMs = total;
    r.SystemMask = system;
    r.ProcessMask = system;
    return r;
}

}  // namespace

TEST(ProcessList, EnumerateListsThisProcessAndItsChildren)
{
    TCoreProcesses cores;
    DWORD child = cores.Start("FahCore_78.exe", 1);
    TProcessList list;
    list.Enumerate();
    EXPECT_TRUE(Contains(list.Pids, GetCurrentProcessId()));
    EXPECT_TRUE(Contains(list.Pids, child));
    // Identifiers are unique.
    std::vector<DWORD> sorted(list.Pids);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST(ProcessList, DebugPrivilegeIsGranted)
{
    EXPECT_TRUE(TProcessList::EnableDebugPrivilege());
}

TEST(ProcessList, AllCoresListsEveryCoreNameButNothingElse)
{
    TCoreProcesses cores;
    DWORD a1 = cores.Start("FahCore_a1.exe", 4);
    DWORD a2 = cores.Start("FahCore_a2.exe", 4);
    DWORD c78 = cores.Start("FahCore_78.exe", 4);
    DWORD other = cores.Start("NotACore.exe", 4);
    DWORD almost = cores.Start("FahCor_a1.exe", 4);

    TSMPProcess all(true);
    ASSERT_EQ(all.NamePrefixes, std::vector<std::string>{"FAHCORE_"});
    std::vector<DWORD> pids = PidsOf(all.Processes);
    EXPECT_EQ(pids.size(), 3u);
    EXPECT_TRUE(Contains(pids, a1));
    EXPECT_TRUE(Contains(pids, a2));
    EXPECT_TRUE(Contains(pids, c78));
    EXPECT_FALSE(Contains(pids, other));
    EXPECT_FALSE(Contains(pids, almost));
    for (const auto& r : all.Processes.Items()) {
        // Upper-cased base names, the record's fields filled.
        EXPECT_EQ(r.Name.rfind("FAHCORE_", 0), 0u) << r.Name;
        EXPECT_EQ(r.Name, r.Pid == a1 ? "FAHCORE_A1.EXE" : r.Pid == a2 ? "FAHCORE_A2.EXE" : "FAHCORE_78.EXE");
        EXPECT_EQ(r.SystemMask, SystemAffinityMask());
        EXPECT_EQ(r.ProcessMask, ReadProcessMask(r.Pid));
        EXPECT_GT(r.WorkingSet, 4u << 20);
        EXPECT_EQ(r.TotalMs, r.KernelMs + r.UserMs);
        EXPECT_EQ(r.Usage, kUsageUnknown);
        EXPECT_LE(GetTickCount() - r.Tick, 60000u);
    }
    // Identifiers are cleared after the refresh.
    EXPECT_TRUE(all.Pids.empty());
}

TEST(ProcessList, MultiCoreListHoldsOnlyA1AndA2)
{
    TCoreProcesses cores;
    DWORD a1 = cores.Start("FahCore_a1.exe", 2);
    DWORD a2 = cores.Start("FahCore_a2.exe", 2);
    DWORD c78 = cores.Start("FahCore_78.exe", 2);
    DWORD a3 = cores.Start("FahCore_a3.exe", 2);
    TSMPProcess smp(false);
    EXPECT_FALSE(smp.AllCores);
    EXPECT_FALSE(smp.SpreadAffinity);
    EXPECT_EQ(smp.SortOrder, soWorkingSet);
    std::vector<DWORD> pids = PidsOf(smp.Processes);
    EXPECT_EQ(pids.size(), 2u);
    EXPECT_TRUE(Contains(pids, a1));
    EXPECT_TRUE(Contains(pids, a2));
    EXPECT_FALSE(Contains(pids, c78));
    EXPECT_FALSE(Contains(pids, a3));
}

TEST(ProcessList, SortedByWorkingSetLargestFirst)
{
    TCoreProcesses cores;
    DWORD small = cores.Start("FahCore_a1.exe", 4);
    DWORD large = cores.Start("FahCore_a2.exe", 40);
    DWORD middle = cores.Start("FahCore_a1.exe", 20);
    TSMPProcess smp(false);
    ASSERT_EQ(smp.Processes.Count(), 3);
    EXPECT_EQ(smp.Processes[0].Pid, large);
    EXPECT_EQ(smp.Processes[1].Pid, middle);
    EXPECT_EQ(smp.Processes[2].Pid, small);
    EXPECT_GT(smp.Processes[0].WorkingSet, smp.Processes[1].WorkingSet);
}

TEST(ProcessList, ProcessesComingAndGoingAreSeenOnTheNextRefresh)
{
    TCoreProcesses cores;
    DWORD first = cores.Start("FahCore_a1.exe", 1);
    TSMPProcess all(true);
    ASSERT_EQ(PidsOf(all.Processes), std::vector<DWORD>{first});
    DWORD second = cores.Start("FahCore_a2.exe", 1);
    all.RefreshAll();
    EXPECT_EQ(all.Processes.Count(), 2);
    EXPECT_TRUE(Contains(PidsOf(all.Processes), second));
    cores.Stop(first);
    all.Refresh();
    EXPECT_EQ(PidsOf(all.Processes), std::vector<DWORD>{second});
    cores.Stop(second);
    all.RefreshAll();
    EXPECT_TRUE(all.Processes.Empty());
}

TEST(ProcessList, CheapEnumerationIsRepeatedOnEveryRefresh)
{
    // Here the process list is short, so the whole list is looked at again
    // well within the sampler's second; a new core is then seen by a plain refresh.
    TCoreProcesses cores;
    TSMPProcess all(true);
    ASSERT_LE(all.FullScanInterval(), 30000u);
    EXPECT_LT(all.FullScanInterval(), 1000u);
    Sleep(all.FullScanInterval() + 20);
    DWORD late = cores.Start("FahCore_a2.exe", 1);
    all.Refresh();
    EXPECT_EQ(PidsOf(all.Processes), std::vector<DWORD>{late});
}

TEST(ProcessList, SpreadGivesTheLargerCoreTheFirstProcessor)
{
    TCoreProcesses cores;
    DWORD a1 = cores.Start("FahCore_a1.exe", 30);
    DWORD a2 = cores.Start("FahCore_a2.exe", 6);
    DWORD c78 = cores.Start("FahCore_78.exe", 6);
    DWORD system = SystemAffinityMask();
    ASSERT_NE(system, 0u);
    std::vector<DWORD> expect = SpreadOfTen(system);
    ASSERT_FALSE(expect.empty()) << "no spread listed for the system mask " << system;

    TSMPProcess smp(false);
    EXPECT_EQ(smp.SetAffinity(true), 0);
    EXPECT_TRUE(smp.SpreadAffinity);
    EXPECT_EQ(ReadProcessMask(a1), expect[0]);
    EXPECT_EQ(ReadProcessMask(a2), expect[1]);
    // Not a multi-core core: left alone.
    EXPECT_EQ(ReadProcessMask(c78), system);

    // Spread off: every processor again.
    EXPECT_EQ(smp.SetAffinity(false), 0);
    EXPECT_FALSE(smp.SpreadAffinity);
    EXPECT_EQ(ReadProcessMask(a1), system);
    EXPECT_EQ(ReadProcessMask(a2), system);
    for (const auto& r : smp.Processes.Items())
        EXPECT_EQ(r.ProcessMask, system);
}

TEST(ProcessList, TenCoresGetTheMirroredOrder)
{
    TCoreProcesses cores;
    std::vector<DWORD> bySize;   // largest first
    for (int i = 0; i < 10; ++i)
        bySize.push_back(cores.Start(i % 2 ? "FahCore_a1.exe" : "FahCore_a2.exe", 44 - 4 * i));
    DWORD system = SystemAffinityMask();
    std::vector<DWORD> expect = SpreadOfTen(system);
    ASSERT_FALSE(expect.empty()) << "no spread listed for the system mask " << system;

    TSMPProcess smp(false);
    ASSERT_EQ(smp.SetAffinity(true), 0);
    ASSERT_EQ(PidsOf(smp.Processes), bySize);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(smp.Processes[i].ProcessMask, expect[i]) << i;
        EXPECT_EQ(ReadProcessMask(bySize[i]), expect[i]) << i;
    }
    smp.SetAffinity(false);
    for (DWORD pid : bySize)
        EXPECT_EQ(ReadProcessMask(pid), system);
}

TEST(ProcessList, MirroredMasks)
{
    EXPECT_EQ(TSMPProcess::MirroredMasks(0xF), (std::vector<DWORD>{1, 2, 4, 8, 8, 4, 2, 1}));
    EXPECT_EQ(TSMPProcess::MirroredMasks(0x14), (std::vector<DWORD>{4, 0x10, 0x10, 4}));
    EXPECT_EQ(TSMPProcess::MirroredMasks(0x80000001u),
              (std::vector<DWORD>{1, 0x80000000u, 0x80000000u, 1}));
    EXPECT_TRUE(TSMPProcess::MirroredMasks(0).empty());
    EXPECT_EQ(TSMPProcess::MirroredMasks(0xFFFFFFFFu).size(), 64u);
}

TEST(ProcessList, FiveCoresOnFourProcessorsWrapInMirrorOrder)
{
    // Real helpers, with the system mask of four processors taken from an
    // injected snapshot: the fifth core gets processor 3 again.
    TCoreProcesses cores;
    std::vector<DWORD> pids;
    for (int i = 0; i < 5; ++i)
        pids.push_back(cores.Start("FahCore_a1.exe", 1));
    DWORD system = SystemAffinityMask();
    if ((system & 0xF) != 0xF)
        GTEST_SKIP() << "fewer than four processors";
    TSMPProcessSeams seams;
    seams.Snapshot = [&](TSMPList& out) {
        for (int i = 0; i < 5; ++i)
            out.Add(Rec(pids[static_cast<size_t>(i)], "FAHCORE_A1.EXE", 1000u - static_cast<DWORD>(i), 0, 0xF));
    };
    TSMPProcess smp(false, seams);
    EXPECT_EQ(smp.SetAffinity(true), 0);
    const DWORD expect[5] = {1, 2, 4, 8, 8};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ReadProcessMask(pids[static_cast<size_t>(i)]), expect[i]) << i;
}

TEST(ProcessList, SortByCpuTimeUsesTotalTime)
{
    // Wine reports no CPU time for other processes: the snapshot is injected.
    TSMPProcessSeams seams;
    seams.Snapshot = [](TSMPList& out) {
        out.Add(Rec(10, "FAHCORE_A1.EXE", 500, 100));
        out.Add(Rec(11, "FAHCORE_A2.EXE", 100, 900));
        out.Add(Rec(12, "FAHCORE_A1.EXE", 900, 300));
    };
    TSMPProcess smp(false, seams);
    EXPECT_EQ(PidsOf(smp.Processes), (std::vector<DWORD>{12, 10, 11}));   // by working set
    smp.SortOrder = soTotalTime;
    smp.Refresh();
    EXPECT_EQ(PidsOf(smp.Processes), (std::vector<DWORD>{11, 12, 10}));
}

TEST(ProcessList, EqualKeysKeepTheirOrder)
{
    TSMPList list;
    list.Add(Rec(1, "A", 5, 0));
    list.Add(Rec(2, "A", 7, 0));
    list.Add(Rec(3, "A", 5, 0));
    list.Add(Rec(4, "A", 7, 0));
    TSMPProcess::SortRecords(list, soWorkingSet);
    EXPECT_EQ(PidsOf(list), (std::vector<DWORD>{2, 4, 1, 3}));
    TSMPProcess::SortRecords(list, soTotalTime);
    EXPECT_EQ(PidsOf(list), (std::vector<DWORD>{2, 4, 1, 3}));
}

TEST(ProcessList, SystemMaskZeroChangesNothing)
{
    TCoreProcesses cores;
    DWORD a1 = cores.Start("FahCore_a1.exe", 1);
    DWORD a2 = cores.Start("FahCore_a2.exe", 1);
    DWORD system = SystemAffinityMask();
    TSMPProcessSeams seams;
    seams.Snapshot = [&](TSMPList& out) {
        out.Add(Rec(a1, "FAHCORE_A1.EXE", 2, 0, 0));
        out.Add(Rec(a2, "FAHCORE_A2.EXE", 1, 0, 0));
    };
    ClearCaughtErrors();
    TSMPProcess smp(false, seams);
    EXPECT_EQ(smp.SetAffinity(true), 0);
    EXPECT_EQ(smp.SetAffinity(false), 0);
    EXPECT_EQ(ReadProcessMask(a1), system);
    EXPECT_EQ(ReadProcessMask(a2), system);
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(ProcessList, OneFailedMaskIsReportedAndTheOthersStillSet)
{
    TCoreProcesses cores;
    DWORD big = cores.Start("FahCore_a1.exe", 30);
    DWORD mid = cores.Start("FahCore_a2.exe", 16);
    DWORD low = cores.Start("FahCore_a1.exe", 4);
    DWORD system = SystemAffinityMask();
    std::vector<DWORD> expect = SpreadOfTen(system);
    ASSERT_FALSE(expect.empty()) << "no spread listed for the system mask " << system;
    int calls = 0;
    TSMPProcessSeams seams;
    seams.SetMask = [&](HANDLE h, DWORD_PTR mask) -> BOOL {
        if (calls++ == 0) {   // the largest one refuses
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return SetProcessAffinityMask(h, mask);
    };
    ClearCaughtErrors();
    TSMPProcess smp(false, seams);
    EXPECT_EQ(smp.SetAffinity(true), 1);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(ReadProcessMask(big), system);   // untouched
    EXPECT_EQ(ReadProcessMask(mid), expect[1]);
    EXPECT_EQ(ReadProcessMask(low), expect[2]);
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("FAHCORE_A1.EXE"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find(std::to_string(big)), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("ProcessInfo.cpp"), std::string::npos) << errors[0];
    smp.SetAffinity(false);
}

TEST(ProcessList, EndedProcessInTheSnapshotIsSkipped)
{
    TCoreProcesses cores;
    DWORD alive = cores.Start("FahCore_a1.exe", 1);
    DWORD gone = cores.Start("FahCore_a2.exe", 1);
    cores.Stop(gone);
    DWORD system = SystemAffinityMask();
    std::vector<DWORD> expect = SpreadOfTen(system);
    ASSERT_FALSE(expect.empty()) << "no spread listed for the system mask " << system;
    TSMPProcessSeams seams;
    seams.Snapshot = [&](TSMPList& out) {
        out.Add(Rec(gone, "FAHCORE_A2.EXE", 9, 0, system));
        out.Add(Rec(alive, "FAHCORE_A1.EXE", 1, 0, system));
    };
    ClearCaughtErrors();
    TSMPProcess smp(false, seams);
    EXPECT_EQ(smp.SetAffinity(true), 0);
    EXPECT_EQ(ReadProcessMask(alive), expect[1]);
    EXPECT_TRUE(CaughtErrors().empty());
    smp.SetAffinity(false);
}

TEST(ProcessList, CpuTimesInMilliseconds)
{
    EXPECT_EQ(TSMPProcess::KernelTimeToMs(0), 0);
    EXPECT_EQ(TSMPProcess::KernelTimeToMs(156250), 16);    // 15.625 ms
    EXPECT_EQ(TSMPProcess::KernelTimeToMs(5000), 0);       // half: to even
    EXPECT_EQ(TSMPProcess::KernelTimeToMs(15000), 2);
    EXPECT_EQ(TSMPProcess::UserTimeToMs(156250), 15);      // 15.425 ms
    EXPECT_EQ(TSMPProcess::UserTimeToMs(0), 0);
    // More than 429 s (2^32 units of 100 ns) in full.
    EXPECT_EQ(TSMPProcess::KernelTimeToMs(5000ull * 10000000ull), 5000000);
    EXPECT_EQ(TSMPProcess::UserTimeToMs(3600ull * 10000000ull), 3600000);
    EXPECT_EQ(TSMPProcess::KernelTimeToMs(100000ull * 3600ull * 10000000ull), 360000000000ll);
}

TEST(ProcessList, OwnProcessTimesAreRead)
{
    // Our own process reports real CPU time even under Wine: burn some and
    // look at it through a list made for our own name.
    volatile double x = 0;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 300)
        x = x + 1.0;
    TSMPProcess self(true);
    char name[MAX_PATH];
    GetModuleFileNameA(nullptr, name, MAX_PATH);
    std::string base = name;
    base = base.substr(base.find_last_of("\\/") + 1);
    for (char& c : base)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    self.NamePrefixes = {base};
    self.RefreshAll();
    ASSERT_EQ(self.Processes.Count(), 1);
    const TProcessRecord& r = self.Processes[0];
    EXPECT_EQ(r.Pid, GetCurrentProcessId());
    EXPECT_EQ(r.Name, base);
    EXPECT_GE(r.TotalMs, 200);
    EXPECT_EQ(r.TotalMs, r.KernelMs + r.UserMs);
}

TEST(ProcessList, TimesOnlyLeavesMemoryAndMasksOut)
{
    TCoreProcesses cores;
    DWORD a1 = cores.Start("FahCore_a1.exe", 8);
    TSMPProcess all(true);
    ASSERT_EQ(all.Processes.Count(), 1);
    EXPECT_GT(all.Processes[0].WorkingSet, 0u);
    all.TimesOnly = true;
    all.RefreshAll();
    ASSERT_EQ(all.Processes.Count(), 1);
    EXPECT_EQ(all.Processes[0].Pid, a1);
    EXPECT_EQ(all.Processes[0].WorkingSet, 0u);
    EXPECT_EQ(all.Processes[0].SystemMask, 0u);
    EXPECT_EQ(all.Processes[0].Name, "FAHCORE_A1.EXE");
}

TEST(ProcessList, CoreThatHasNotLoadedYetIsListedByItsImage)
{
    // A suspended process has no module list yet; its image name still tells.
    TCoreProcesses cores;
    DWORD starting = cores.StartSuspended("FahCore_a2.exe");
    TSMPProcess smp(false);
    ASSERT_EQ(PidsOf(smp.Processes), std::vector<DWORD>{starting});
    EXPECT_EQ(smp.Processes[0].Name, "FAHCORE_A2.EXE");
}

TEST(ProcessList, LongNamesAreCutAfterSixtyFourCharacters)
{
    // A core with a long, non-Latin name: 64 characters, none cut in half.
    std::string tail;
    for (int i = 0; i < 60; ++i)
        tail += "\xD0\xB6";   // small zhe
    TCoreProcesses cores;
    DWORD pid = cores.Start("FahCore_" + tail + ".exe", 1);
    TSMPProcess all(true);
    ASSERT_EQ(PidsOf(all.Processes), std::vector<DWORD>{pid});
    std::string expect = "FAHCORE_";
    for (int i = 0; i < 56; ++i)
        expect += "\xD0\x96";   // capital zhe
    EXPECT_EQ(all.Processes[0].Name, expect);
}
