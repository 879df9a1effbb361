// Service control of the data module: the selected client's service is
// stopped, restarted or given another start type by the system's "sc.exe"
// (which reaches the computer the client's folder is on); at shutdown the
// local clients' services are stopped through the service manager itself.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "Classes/SingleInstance.h"
#include "MainDM.h"
#include "platform/Application.h"
#include "platform/Firewall.h"
#include "platform/MessageBox.h"
#include "platform/SystemPrograms.h"
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

// sc.exe returns while the service is still stopping or starting: a restart
// waits this long for each.
constexpr DWORD kServiceStopWaitMs = 60000;
constexpr DWORD kServiceStartWaitMs = 60000;
constexpr DWORD kServicePollMs = 250;

// Waits up to ms for handle (none: only the time) while the application is
// ending: the posted quit stays queued for the loop that ends the program,
// only what other threads send to our windows is answered meanwhile.
void WaitWhileEnding(HANDLE handle, DWORD ms)
{
    const DWORD count = handle ? 1 : 0;
    if (MsgWaitForMultipleObjects(count, &handle, FALSE, ms, QS_SENDMESSAGE) == WAIT_OBJECT_0 + count) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

std::function<void(const std::string& computer)>& ServiceQueryHook()
{
    static std::function<void(const std::string& computer)> hook;
    return hook;
}

// The state of a service as its computer's service manager tells it; 0
// when it can't be asked (no access, no such service). On another computer
// each call is a network round trip that may take the network's time-out.
DWORD ServiceState(const std::string& computer, const std::string& name)
{
    SC_HANDLE manager = OpenSCManagerW(Utf8ToWide(computer).c_str(), nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return 0;
    SC_HANDLE service = OpenServiceW(manager, Utf8ToWide(name).c_str(), SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    bool known = service && QueryServiceStatus(service, &status);
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return known ? status.dwCurrentState : 0;
}

// A worker's watch on a service's state, shared with the window that waits
// for it: the window may stop waiting while the worker is still in a call
// to a computer that does not answer, and the worker then ends on its own.
struct TStateWatch {
    std::string computer, name;
    DWORD leaving = 0, timeoutMs = 0;
    std::function<void(const std::string& computer)> hook;
    std::atomic<DWORD> state{0};
    std::atomic<bool> abandoned{false};
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);   // the worker ended
    ~TStateWatch()
    {
        if (done)
            CloseHandle(done);
    }
};

void WatchServiceState(TStateWatch& w)
{
    try {
        const DWORD start = GetTickCount();
        for (;;) {
            if (w.hook)
                w.hook(w.computer);
            w.state = ServiceState(w.computer, w.name);
            if (w.state != w.leaving || w.abandoned || GetTickCount() - start >= w.timeoutMs)
                break;
            Sleep(kServicePollMs);
            if (w.abandoned)
                break;
        }
    } catch (...) {
        w.state = 0;   // out of memory: as if it could not be asked
    }
    SetEvent(w.done);
}

// Asks for the service's state until it is no longer `leaving`, for timeoutMs
// at most or until stop() says so. The questions go from a worker thread; the
// window keeps handling messages meanwhile (while the application ends, only
// those sent to it). Returns the last state told (0: it can't be asked, or no
// answer came in time).
DWORD WaitWhileServiceState(const std::string& computer, const std::string& name, DWORD leaving, DWORD timeoutMs,
                            const std::function<bool()>& stop)
{
    auto watch = std::make_shared<TStateWatch>();
    if (!watch->done)
        return 0;
    watch->computer = computer;
    watch->name = name;
    watch->leaving = leaving;
    watch->timeoutMs = timeoutMs;
    watch->hook = ServiceQueryHook();
    try {
        std::thread([watch] { WatchServiceState(*watch); }).detach();
    } catch (const std::system_error&) {
        return 0;
    }
    const DWORD start = GetTickCount();
    Application().BeginNestedLoop();
    try {
        for (;;) {
            DWORD spent = GetTickCount() - start;
            if (spent >= timeoutMs || stop())
                break;
            if (WaitForSingleObject(watch->done, 0) == WAIT_OBJECT_0)
                break;
            if (Application().Terminated()) {
                WaitWhileEnding(watch->done, std::min<DWORD>(timeoutMs - spent, 100));
                continue;
            }
            if (MsgWaitForMultipleObjects(1, &watch->done, FALSE, timeoutMs - spent,
                                          Application().PumpWakeMask(QS_ALLINPUT)) == WAIT_OBJECT_0)
                break;
            Application().ProcessMessages();
        }
    } catch (...) {
        Application().EndNestedLoop();
        watch->abandoned = true;
        throw;
    }
    Application().EndNestedLoop();
    watch->abandoned = true;
    return watch->state;
}

// Whether the service is stopped or stopping after sc.exe's stop: it took the
// request (0), the service takes no request while it is still stopping or
// starting (1061), or it was not running (1062). Any other end (the
// computer's manager can't be reached, no such service, no right) says the
// stop plainly failed: there is nothing to wait for.
bool StopTaken(const TExecResult& r)
{
    return r.Started && r.Finished &&
           (r.ExitCode == 0 || r.ExitCode == ERROR_SERVICE_CANNOT_ACCEPT_CTRL || r.ExitCode == ERROR_SERVICE_NOT_ACTIVE);
}

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

TExecResult ExecAndCapture(const std::string& program, const std::string& commandLine,
                           const std::function<bool()>& stop)
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
    BOOL started = CreateProcessW(Utf8ToWide(program).c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &si, &pi);
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
            if (stop && stop())
                break;
            // Woken by the process's end and by messages; the pipe is looked at
            // every few milliseconds.
            if (Application().Terminated()) {
                WaitWhileEnding(r.Finished ? nullptr : pi.hProcess, 20);
                continue;
            }
            MsgWaitForMultipleObjects(r.Finished ? 0 : 1, &pi.hProcess, FALSE, 20,
                                      Application().PumpWakeMask(QS_ALLINPUT));
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

namespace {

// A command line "sc.exe ..." run by the system's own sc.exe.
TExecResult RunSc(const std::string& commandLine, const std::function<bool()>& stop)
{
    return ExecAndCapture(SystemProgramPath("sc.exe"), commandLine, stop);
}

// What the box says of a stop that was not taken: the command, what it
// printed and how it ended.
std::string StopFailedText(const std::string& commandLine, const TExecResult& r)
{
    if (!r.Started || !r.Finished)
        return ExecResultText(commandLine, r);
    std::string text = commandLine + "\r\n\r\n";
    if (!Trim(r.Output).empty())
        text += TrimRight(r.Output) + "\r\n\r\n";
    return text + FillIn(sExecEndedWithCode, {std::to_string(r.ExitCode)});
}

// The running-command flag of a data module, set for one command's time;
// left alone at the end when the module was freed meanwhile.
class TServiceCommandScope {
public:
    TServiceCommandScope(bool& flag, std::weak_ptr<void> alive) : flag_(flag), alive_(std::move(alive)) { flag_ = true; }
    ~TServiceCommandScope()
    {
        if (!alive_.expired())
            flag_ = false;
    }
    TServiceCommandScope(const TServiceCommandScope&) = delete;
    TServiceCommandScope& operator=(const TServiceCommandScope&) = delete;

private:
    bool& flag_;
    std::weak_ptr<void> alive_;
};

// Stops the service and, unless stopOnly, starts it again once it has
// stopped; nothing more once gone() says the caller is gone. A restart whose
// stop went out is finished even when the application ends meanwhile (the
// service is not left stopped), for one wait of the restart at most.
TServiceControl StopAndStart(const std::string& computer, const std::string& service, bool stopOnly,
                             const std::function<bool()>& gone)
{
    const std::string quoted = QuoteServiceName(service);
    TServiceControl result;
    bool ending = false;
    DWORD endingSince = 0;
    auto stopWaiting = [&] {
        if (gone())
            return true;
        if (!Application().Terminated())
            return false;
        if (!ending) {
            ending = true;
            endingSince = GetTickCount();
        }
        return stopOnly || GetTickCount() - endingSince >= kServiceStopWaitMs;
    };
    std::string command = Format("sc.exe %s stop %s", computer.c_str(), quoted.c_str());
    TExecResult r = RunSc(command, stopWaiting);
    result.Output = ExecResultText(command, r);
    if (gone() || stopOnly)
        return result;
    // A stop that was not taken (the computer's manager can't be reached, no
    // such service, no right) leaves the service as it was: no start follows,
    // and the box tells which command failed and how.
    if (!StopTaken(r)) {
        result.Failed = true;
        result.Output = StopFailedText(command, r);
        return result;
    }
    // sc.exe returns while the service is still stopping; a start asked for
    // meanwhile fails and would leave it stopped. For a service whose state
    // can't be asked, the start is tried at once (its output tells what went
    // wrong).
    DWORD state = WaitWhileServiceState(computer, service, SERVICE_STOP_PENDING, kServiceStopWaitMs, stopWaiting);
    if (gone())
        return result;
    if (state != 0 && state != SERVICE_STOPPED) {
        result.Failed = true;
        return result;
    }
    command = Format("sc.exe %s start %s", computer.c_str(), quoted.c_str());
    r = RunSc(command, stopWaiting);
    result.Output = ExecResultText(command, r);
    if (gone())
        return result;
    // A program that is ending does not wait to see the service run.
    state = r.Finished && r.ExitCode == 0 && !Application().Terminated()
                ? WaitWhileServiceState(computer, service, SERVICE_START_PENDING, kServiceStartWaitMs, stopWaiting)
                : 0;
    if (!gone())
        result.Failed = !r.Finished || r.ExitCode != 0 || (state != 0 && state != SERVICE_RUNNING);
    return result;
}

}  // namespace

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
    TServiceControl r = ControlFahService("\\\\" + ComputerOf(client.Folder), client.ServiceName, stopOnly,
                                          GetFahSettings().FindValue("hiShowExecResultInWnd").EditedBoolean());
    if (alive.expired() || !r.Failed)
        return;
    const std::string text = FillIn(sServiceNotRestarted, {client.ServiceName}) + "\r\n\r\n" + r.Output;
    // The program ended meanwhile: the box comes once its loop is over.
    if (Application().Terminated()) {
        Application().HandleException(text);
        TellAfterTheEnd(text);
    } else {
        AppMessageBox(sErrorL_Caption, text, MB_OK | MB_ICONERROR);
    }
}

TServiceControl TMainDM::ControlFahService(const std::string& computer, const std::string& service, bool stopOnly,
                                           bool showOutput)
{
    TServiceControl result;
    if (serviceCommandRunning_) {
        result.Refused = true;
        return result;
    }
    std::weak_ptr<void> alive = AliveToken();
    {
        TServiceCommandScope running(serviceCommandRunning_, alive);
        if (!stopOnly)
            restartingService_ = Trim(service);
        result = StopAndStart(computer, service, stopOnly, [alive] { return alive.expired(); });
        if (!alive.expired())
            restartingService_.clear();
    }
    // An automatic restart of this service that waits for its turn has been
    // done by this one (before a box lets the wait's retry run); one that
    // failed did not do it, and the waiting restart still runs.
    if (!stopOnly && !result.Failed && !alive.expired() && Host.ServiceRestarted)
        Host.ServiceRestarted(computer, Trim(service));
    if (showOutput && !result.Failed && !alive.expired() && !Application().Terminated())
        AppInfoBox(result.Output, MB_OK);
    return result;
}

void TellAfterTheEnd(const std::string& text)
{
    Application().AddLoopEndHandler([text] {
        // The quit that ended the loop may still be queued: it would end
        // the box's own loop at once.
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        // Nothing but the answer is left to wait for: a start meanwhile
        // brings the box forward.
        MarkOnlyAnswerAwaited();
        const std::wstring title = Utf8ToWide(AppMessageBoxTitle(sErrorL_Caption));
        MessageBoxW(nullptr, Utf8ToWide(text).c_str(), title.c_str(),
                    MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
    });
}

void TMainDM::StartupTypeAutomaticActionExecute(TObject* sender)
{
    auto* action = dynamic_cast<TCustomAction*>(sender);
    const char* word = action ? StartTypeWord(action->Tag) : nullptr;
    TClientService client;
    if (!word || serviceCommandRunning_ || !SelectedClient(client) || Trim(client.ServiceName).empty())
        return;
    std::string computer = "\\\\" + ComputerOf(client.Folder);
    std::string service = QuoteServiceName(client.ServiceName);
    std::weak_ptr<void> alive = AliveToken();
    TExecResult r;
    const std::string command = Format("sc.exe %s config %s start= %s", computer.c_str(), service.c_str(), word);
    {
        TServiceCommandScope running(serviceCommandRunning_, alive);
        r = RunSc(command, [alive] { return alive.expired() || Application().Terminated(); });
    }
    if (alive.expired())
        return;
    if (GetFahSettings().FindValue("hiShowExecResultInWnd").AsBoolean() && !Application().Terminated())
        AppInfoBox(ExecResultText(command, r), MB_OK);
}

void TMainDM::SetServiceQueryHookForTesting(std::function<void(const std::string& computer)> hook)
{
    ServiceQueryHook() = std::move(hook);
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
