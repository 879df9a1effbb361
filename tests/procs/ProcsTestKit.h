// What the process tests share: real stand-in core processes started from a
// copy of the helper under a core's name, and a window that records the
// sampler's messages.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/HiddenWindow.h"
#include "support/TestSupport.h"

namespace procs_test {

// Stand-in cores, ended (and waited for) when the object goes.
class TCoreProcesses {
public:
    TCoreProcesses();
    ~TCoreProcesses();
    TCoreProcesses(const TCoreProcesses&) = delete;
    TCoreProcesses& operator=(const TCoreProcesses&) = delete;

    // Starts the helper as `exeName` ("FahCore_a1.exe") holding `megabytes` of
    // touched memory; waits until the memory is in its working set. The pid.
    DWORD Start(const std::string& exeName, unsigned megabytes);
    // Starts it suspended: the process exists but has not loaded anything yet.
    DWORD StartSuspended(const std::string& exeName);
    // Ends one of them and waits until it is gone.
    void Stop(DWORD pid);
    void StopAll();
    HANDLE ProcessHandle(DWORD pid) const;
    const std::vector<DWORD>& Pids() const { return pids_; }

private:
    std::string Prepare(const std::string& exeName);
    testing_support::TempDir dir_;
    std::vector<DWORD> pids_;
    std::vector<HANDLE> handles_;
};

// The affinity mask of a process as the system reports it now.
DWORD ReadProcessMask(DWORD pid);
DWORD SystemAffinityMask();

struct TPosted {
    WPARAM Idle;
    LPARAM Cores;
    DWORD Tick;
};

// A hidden window collecting the WM_CPUUSAGE messages it receives.
class TUsageWindow : public THiddenWindow {
public:
    std::vector<TPosted> Received() const;
    size_t Count() const;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    mutable std::mutex lock_;
    std::vector<TPosted> received_;
};

}  // namespace procs_test
