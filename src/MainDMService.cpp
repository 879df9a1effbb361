// Service control of the data module: the selected client's service is
// stopped, restarted or given another start type by the system's "sc.exe"
// (which reaches the computer the client's folder is on); at shutdown the
// local clients' services are stopped through the service manager itself.
#include <windows.h>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "MainDM.h"
#include "platform/Application.h"
#include "platform/Firewall.h"
#include "platform/Text.h"

namespace {

// Closes a handle when the scope ends.
class THandleGuard {
public:
    explicit THandleGuard(HANDLE h = nullptr) : h_(h) {}
    ~THandleGuard() { Close(); }
    THandleGuard(const THandleGuard&) = delete;
    THandleGuard& operator=(const THandleGuard&) = delete;
    void Close()
    {
        if (h_ && h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
        h_ = nullptr;
    }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

// Moves what the pipe holds now into out; false once the writers are gone
// and nothing is left.
bool DrainPipe(HANDLE pipe, std::string& out)
{
    for (;;) {
        DWORD avail = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &avail, nullptr))
            return false;
        if (avail == 0)
            return true;
        char buf[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, buf, avail < sizeof buf ? avail : sizeof buf, &got, nullptr) || got == 0)
            return false;
        out.append(buf, got);
    }
}

// After the command ended, what a process it started may still write
// into the inherited pipe is read for this long at most.
constexpr DWORD kAfterExitDrainMs = 1000;

const char* StartTypeWord(int tag)
{
    switch (tag) {
    case 1: return "auto";
    case 2: return "demand";
    case 3: return "disabled";
    default: return nullptr;
    }
}

}  // namespace

std::string ExecResultText(const std::string& commandLine, const TExecResult& r)
{
    if (!Trim(r.Output).empty())
        return r.Output;
    // Some service commands print nothing at all: the box still says what ran.
    if (!r.Started)
        return commandLine + "\r\n\r\n" + sExecNotStarted;
    return commandLine + "\r\n\r\n" + sExecExitCode + " " + std::to_string(r.ExitCode) + ".";
}

std::string QuoteServiceName(const std::string& name)
{
    return "\"" + StringReplaceAll(name, "\"", "\"\"") + "\"";
}

TExecResult ExecAndCapture(const std::string& commandLine, const std::function<bool()>& stop)
{
    TExecResult r;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 64 * 1024))
        return r;
    THandleGuard reader(readEnd), writer(writeEnd);
    // Only the write end goes to the command: a read end inherited by it (or by
    // a program started meanwhile) would keep the pipe open for ever.
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = Utf8ToWide(commandLine);
    BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    writer.Close();
    if (!started)
        return r;
    r.Started = true;
    THandleGuard process(pi.hProcess), thread(pi.hThread);

    std::string raw;
    bool pipeOpen = true;
    DWORD exitedAt = 0;
    Application().BeginNestedLoop();
    try {
        for (;;) {
            if (pipeOpen)
                pipeOpen = DrainPipe(readEnd, raw);
            if (!r.Finished && WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
                r.Finished = true;
                exitedAt = GetTickCount();
            }
            if (r.Finished && (!pipeOpen || GetTickCount() - exitedAt >= kAfterExitDrainMs))
                break;
            if ((stop && stop()) || Application().Terminated())
                break;
            // Woken by the process's end and by messages; the pipe is looked at
            // every few milliseconds.
            MsgWaitForMultipleObjects(r.Finished ? 0 : 1, &pi.hProcess, FALSE, 20, QS_ALLINPUT);
            Application().ProcessMessages();
        }
    } catch (...) {
        Application().EndNestedLoop();
        throw;
    }
    Application().EndNestedLoop();
    if (pipeOpen)
        DrainPipe(readEnd, raw);
    if (r.Finished)
        GetExitCodeProcess(pi.hProcess, &r.ExitCode);
    else
        r.ExitCode = STILL_ACTIVE;
    r.Output = CodePageToUtf8(raw, GetOEMCP());
    return r;
}

// ---- Actions ----

void TMainDM::RestartFAHServiceActionUpdate(TObject* sender)
{
    auto* action = dynamic_cast<TCustomAction*>(sender);
    if (!action)
        return;
    TClientService client;
    action->SetEnabled(!serviceCommandRunning_ && SelectedClient(client) && !Trim(client.ServiceName).empty());
}

void TMainDM::RestartFAHServiceActionExecute(TObject* sender)
{
    TClientService client;
    if (!SelectedClient(client) || Trim(client.ServiceName).empty())
        return;
    auto* action = dynamic_cast<TCustomAction*>(sender);
    bool stopOnly = action && action->Tag == 102;
    std::weak_ptr<void> alive = AliveToken();
    serviceCommandRunning_ = true;
    try {
        ControlFahService("\\\\" + ComputerOf(client.Folder), QuoteServiceName(client.ServiceName), stopOnly);
    } catch (...) {
        if (!alive.expired())
            serviceCommandRunning_ = false;
        throw;
    }
    if (!alive.expired())
        serviceCommandRunning_ = false;
}

std::string TMainDM::ControlFahService(const std::string& computer, const std::string& service, bool stopOnly)
{
    std::weak_ptr<void> alive = AliveToken();
    auto gone = [alive] { return alive.expired(); };
    std::string command = Format("sc.exe %s stop %s", computer.c_str(), service.c_str());
    TExecResult r = ExecAndCapture(command, gone);
    if (alive.expired())
        return r.Output;
    if (r.Started && r.Finished && !stopOnly) {
        command = Format("sc.exe %s start %s", computer.c_str(), service.c_str());
        r = ExecAndCapture(command, gone);
        if (alive.expired())
            return r.Output;
    }
    if (GetFahSettings().FindValue("hiShowExecResultInWnd").EditedBoolean() && !Application().Terminated())
        AppInfoBox(ExecResultText(command, r), MB_OK);
    return r.Output;
}

void TMainDM::StartupTypeAutomaticActionExecute(TObject* sender)
{
    auto* action = dynamic_cast<TCustomAction*>(sender);
    const char* word = action ? StartTypeWord(action->Tag) : nullptr;
    TClientService client;
    if (!word || !SelectedClient(client) || Trim(client.ServiceName).empty())
        return;
    std::string computer = "\\\\" + ComputerOf(client.Folder);
    std::string service = QuoteServiceName(client.ServiceName);
    std::weak_ptr<void> alive = AliveToken();
    serviceCommandRunning_ = true;
    TExecResult r;
    const std::string command = Format("sc.exe %s config %s start= %s", computer.c_str(), service.c_str(), word);
    try {
        r = ExecAndCapture(command, [alive] { return alive.expired(); });
    } catch (...) {
        if (!alive.expired())
            serviceCommandRunning_ = false;
        throw;
    }
    if (alive.expired())
        return;
    serviceCommandRunning_ = false;
    if (GetFahSettings().FindValue("hiShowExecResultInWnd").AsBoolean() && !Application().Terminated())
        AppInfoBox(ExecResultText(command, r), MB_OK);
}

void TMainDM::StopLocalServices()
{
    if (!Host.Clients)
        return;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return;
    std::string local = ComputerOf(std::string());
    for (const TClientService& client : Host.Clients()) {
        std::string name = Trim(client.ServiceName);
        if (name.empty() || ComputerOf(client.Folder) != local)
            continue;
        SC_HANDLE service = OpenServiceW(manager, Utf8ToWide(name).c_str(), SERVICE_STOP);
        if (!service)
            continue;
        SERVICE_STATUS status = {};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}
