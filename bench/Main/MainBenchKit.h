// What the main window's benchmarks share: the process's memory counters,
// removing the folders they made, and running the benchmark itself again as
// the measured child (each start a real process start).
#pragma once
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/FahView.h"
#include "Frame/fvFr.h"
#include "Main.h"
#include "platform/Application.h"
#include "platform/Text.h"
#include "support/BenchSupport.h"

// Committed private memory of the process, region by region (the system's
// counters are not filled in everywhere).
inline size_t PrivateBytes()
{
    size_t sum = 0;
    MEMORY_BASIC_INFORMATION mbi;
    for (const char* p = nullptr; VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi;) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            sum += mbi.RegionSize;
        const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p)
            break;
        p = next;
    }
    return sum;
}

// The process's working set (what it holds in memory now).
inline size_t WorkingSetBytes()
{
    PROCESS_MEMORY_COUNTERS m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
    return m.WorkingSetSize;
}

// What one more idle thread with a polling thread's stack adds to the
// working set and to the committed private memory (bytes).
struct TThreadCost {
    long long ws = 0, priv = 0;
};
inline TThreadCost IdleThreadCost()
{
    struct Idle {
        static DWORD WINAPI Until(LPVOID stop)
        {
            WaitForSingleObject(static_cast<HANDLE>(stop), INFINITE);
            return 0;
        }
    };
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const long long ws = static_cast<long long>(WorkingSetBytes()), priv = static_cast<long long>(PrivateBytes());
    HANDLE t = CreateThread(nullptr, TFAHThread::kStackSize, Idle::Until, stop, STACK_SIZE_PARAM_IS_A_RESERVATION,
                            nullptr);
    Sleep(50);
    TThreadCost cost;
    cost.ws = static_cast<long long>(WorkingSetBytes()) - ws;
    cost.priv = static_cast<long long>(PrivateBytes()) - priv;
    SetEvent(stop);
    if (t) {
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
    }
    CloseHandle(stop);
    return cost;
}

inline void DeleteTree(const std::string& folder)
{
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(Utf8ToWide(folder + "*").c_str(), &fd);
    if (f != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = WideToUtf8(fd.cFileName);
            if (name == "." || name == "..")
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(folder + name + "\\");
            else
                DeleteFileW(Utf8ToWide(folder + name).c_str());
        } while (FindNextFileW(f, &fd));
        FindClose(f);
    }
    RemoveDirectoryW(Utf8ToWide(folder).c_str());
}

// Runs this program again with args (the last one naming its result file),
// the start time handed over in BRENIX_BENCH_START; waits up to limitMs and
// returns what the child wrote into the result file ("" when nothing).
inline std::string RunSelf(const std::wstring& args, const std::string& result, DWORD limitMs)
{
    DeleteFileW(Utf8ToWide(result).c_str());
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    char start[64];
    std::snprintf(start, sizeof start, "%.3f", Ms());
    SetEnvironmentVariableA("BRENIX_BENCH_START", start);
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return std::string();
    if (WaitForSingleObject(pi.hProcess, limitMs) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ReadAll(result, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

// A fresh folder NAME_PID in the temporary folder, with a trailing backslash.
inline std::string BenchRoot(const std::string& name)
{
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string root = std::string(tmp) + name + "_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryW(Utf8ToWide(root).c_str(), nullptr);
    return root;
}

// A folder list NAME.ini under root naming n client folders (root\NAMEi\,
// alias "NAME i", listed in the tray hint), each made by make(i, folder).
template <class F>
std::string MakeFolderList(const std::string& root, const std::string& name, int n, F make)
{
    std::string list = "[FAHDir]\r\n", sections;
    for (int i = 0; i < n; ++i) {
        const std::string f = root + name + std::to_string(i) + "\\";
        CreateDirectoryW(Utf8ToWide(f).c_str(), nullptr);
        make(i, f);
        char key[16];
        std::snprintf(key, sizeof key, "line%04d", i);
        list += std::string(key) + "=\"" + f + "\"\r\n";
        sections += "\r\n[" + f + "]\r\nAlias=" + name + " " + std::to_string(i) + "\r\nShowInHint=1\r\n";
    }
    const std::string ini = root + name + ".ini";
    WriteAll(ini, list + sections);
    return ini;
}

// Client folders as they come: one of four real logs each; every fourth
// log held open for writing in held (a running client), every fourth
// folder from the third on with results waiting.
class TClientFolderMaker {
public:
    TClientFolderMaker()
    {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        for (const char* name : {"fahlog-smp-a4-bigadv-running.txt", "fahlog-gpu2-core11-14-paused-shutdown.txt",
                                 "fahlog-smp-a2-linux-sending-results.txt",
                                 "fahlog-cpu-service-b4-82-shutdown-restart.txt"})
            logs_.push_back(ReadAll(RealDataDir() + name, share));
    }
    ~TClientFolderMaker()
    {
        for (HANDLE h : held_)
            CloseHandle(h);
    }
    void operator()(int i, const std::string& f)
    {
        WriteAll(f + "FAHlog.txt", logs_[i % 4]);
        if (i % 4 == 0)
            held_.push_back(CreateFileW(Utf8ToWide(f + "FAHlog.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        if (i % 4 == 2) {
            CreateDirectoryW(Utf8ToWide(f + "work").c_str(), nullptr);
            WriteAll(f + "work\\wuresults_01.dat", "results");
        }
    }

private:
    std::vector<std::string> logs_;
    std::vector<HANDLE> held_;
};

// The program's main window on the folder list, as the program makes it
// (its error log beside the result file); the message loop is the caller's.
inline TMainForm* StartMainForm(const std::string& ini, const std::string& result)
{
    TApplication& app = Application();
    app.SetTitle("Brenix");
    app.Initialize();
    TMainFormParams params;
    params.FolderListFile = ini;
    params.ErrorLogFile = result + ".error.log";
    auto* form = new TMainForm(nullptr, params);
    app.SetMainForm(form);
    return form;
}

// The list shows `expected` client rows and every one shows a percent the
// parse of its log gave.
inline bool AllRowsShowPercent(TfvFrame& frame, size_t expected)
{
    const std::vector<PVirtualNode> rows = frame.ClientNodes();
    if (rows.size() != expected)
        return false;
    for (PVirtualNode n : rows)
        if (frame.GetFahView(n)->Percent <= 0)
            return false;
    return true;
}

// The list shows `expected` client rows and every one has a decided state.
inline bool AllRowsDecided(TfvFrame& frame, size_t expected)
{
    const std::vector<PVirtualNode> rows = frame.ClientNodes();
    if (rows.size() != expected)
        return false;
    for (PVirtualNode n : rows)
        if (frame.GetFahView(n)->Status == fsUnknown)
            return false;
    return true;
}
