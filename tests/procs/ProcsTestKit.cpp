#include "procs/ProcsTestKit.h"

#include <stdexcept>

#include "Classes/CpuUsageThread.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace procs_test {

TCoreProcesses::TCoreProcesses() : dir_("procs") {}

TCoreProcesses::~TCoreProcesses() { StopAll(); }

std::string TCoreProcesses::Prepare(const std::string& exeName)
{
    std::string helper = ExeFolder() + "procs_core_helper.exe";
    std::string exe = dir_.File(exeName);
    if (!FileExists(exe) && !CopyFileW(Utf8ToWide(helper).c_str(), Utf8ToWide(exe).c_str(), TRUE))
        throw std::runtime_error("cannot copy the helper to " + exe);
    return exe;
}

DWORD TCoreProcesses::StartSuspended(const std::string& exeName)
{
    std::string exe = Prepare(exeName);
    std::wstring cmd = L"\"" + Utf8ToWide(exe) + L"\" " + std::to_wstring(GetCurrentProcessId()) + L" 0";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(Utf8ToWide(exe).c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        Utf8ToWide(dir_.Path()).c_str(), &si, &pi))
        throw std::runtime_error("cannot start " + exe);
    CloseHandle(pi.hThread);
    pids_.push_back(pi.dwProcessId);
    handles_.push_back(pi.hProcess);
    return pi.dwProcessId;
}

DWORD TCoreProcesses::Start(const std::string& exeName, unsigned megabytes)
{
    std::string exe = Prepare(exeName);
    static LONG counter = 0;
    std::wstring readyName = L"BrenixTest_procs_ready_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                             std::to_wstring(InterlockedIncrement(&counter));
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    std::wstring cmd = L"\"" + Utf8ToWide(exe) + L"\" " + std::to_wstring(GetCurrentProcessId()) + L" " +
                       std::to_wstring(megabytes) + L" " + readyName;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(Utf8ToWide(exe).c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        Utf8ToWide(dir_.Path()).c_str(), &si, &pi)) {
        CloseHandle(ready);
        throw std::runtime_error("cannot start " + exe);
    }
    CloseHandle(pi.hThread);
    pids_.push_back(pi.dwProcessId);
    handles_.push_back(pi.hProcess);
    // Until its memory is held (or it ended).
    HANDLE waits[2] = {ready, pi.hProcess};
    WaitForMultipleObjects(2, waits, FALSE, 20000);
    CloseHandle(ready);
    return pi.dwProcessId;
}

void TCoreProcesses::Stop(DWORD pid)
{
    for (size_t i = 0; i < pids_.size(); ++i) {
        if (pids_[i] != pid)
            continue;
        TerminateProcess(handles_[i], 0);
        WaitForSingleObject(handles_[i], 10000);
        CloseHandle(handles_[i]);
        pids_.erase(pids_.begin() + static_cast<std::ptrdiff_t>(i));
        handles_.erase(handles_.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
}

void TCoreProcesses::StopAll()
{
    while (!pids_.empty())
        Stop(pids_.back());
}

HANDLE TCoreProcesses::ProcessHandle(DWORD pid) const
{
    for (size_t i = 0; i < pids_.size(); ++i)
        if (pids_[i] == pid)
            return handles_[i];
    return nullptr;
}

DWORD ReadProcessMask(DWORD pid)
{
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!h)
        return 0;
    DWORD_PTR pm = 0, sm = 0;
    GetProcessAffinityMask(h, &pm, &sm);
    CloseHandle(h);
    return static_cast<DWORD>(pm);
}

DWORD SystemAffinityMask()
{
    DWORD_PTR pm = 0, sm = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &pm, &sm);
    return static_cast<DWORD>(sm);
}

std::vector<TPosted> TUsageWindow::Received() const
{
    std::lock_guard<std::mutex> g(lock_);
    return received_;
}

size_t TUsageWindow::Count() const
{
    std::lock_guard<std::mutex> g(lock_);
    return received_.size();
}

LRESULT TUsageWindow::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CPUUSAGE) {
        std::lock_guard<std::mutex> g(lock_);
        received_.push_back({wParam, lParam, GetTickCount()});
        return 0;
    }
    return THiddenWindow::WndProc(msg, wParam, lParam);
}

}  // namespace procs_test
