// Stand-in for the system's sc.exe, put beside the test executable so that
// "sc.exe ..." started by the program finds it first. It appends its command
// line to the file named by BX_SC_LOG, waits (2 min at most) for the named
// event BX_SC_WAIT to be set when asked, then does the operation on this
// machine's service manager (Wine's sc.exe knows no "config" and no leading
// \\computer):
//   sc.exe [\\computer] stop|start NAME
//   sc.exe [\\computer] config NAME start= auto|demand|disabled
//   sc.exe oem          prints a word with non-ASCII letters in the OEM code page, exit code 7
//   sc.exe spawn        starts "sc.exe hold" with its handles and ends at once
//   sc.exe hold         waits as above (4 s when not asked to), logs "-> held"
// As the system's sc.exe does, stop and start return as soon as the service
// manager took the request (the service may still be stopping or starting),
// print the state it reported, and end with the error code when the request
// failed. The log gets "-> <request>" or "-> <request> failed <code>".
// stdout gets nothing when BX_SC_QUIET is set (as Wine's own sc.exe prints
// nothing on success). With BX_SC_FAIL set to an error code, stop and start
// fail with it as when the computer's service manager can't be reached
// (1722: the RPC server is unavailable).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

void Log(const std::wstring& line)
{
    const wchar_t* path = _wgetenv(L"BX_SC_LOG");
    if (!path)
        return;
    FILE* f = _wfopen(path, L"ab");
    if (!f)
        return;
    char buf[2048];
    int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, buf, sizeof buf, nullptr, nullptr);
    if (n > 0)
        fprintf(f, "%s\n", buf);
    fclose(f);
}

void Out(const std::string& text)
{
    if (_wgetenv(L"BX_SC_QUIET"))
        return;
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
}

const char* StateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    default: return "OTHER";
    }
}

// What sc.exe prints after a request: the state, or the failure.
int Report(const std::wstring& request, const char* call, const std::wstring& name, bool ok, DWORD state)
{
    DWORD code = ok ? 0 : GetLastError();
    if (!ok) {
        Log(L"-> " + request + L" failed " + std::to_wstring(code));
        Out("[SC] " + std::string(call) + " FAILED " + std::to_string(code) + ":\r\n");
        return static_cast<int>(code);
    }
    Log(L"-> " + request);
    char utf8[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    Out(std::string("SERVICE_NAME: ") + utf8 + "\r\n        STATE              : " + std::to_string(state) + "  " +
        StateName(state) + "\r\n");
    return 0;
}

// Waits until the test sets the event named by BX_SC_WAIT; false when not asked to.
bool WaitForTheTest()
{
    const wchar_t* name = _wgetenv(L"BX_SC_WAIT");
    HANDLE event = name ? OpenEventW(SYNCHRONIZE, FALSE, name) : nullptr;
    if (!event)
        return false;
    WaitForSingleObject(event, 120000);
    CloseHandle(event);
    return true;
}

}  // namespace

int wmain()
{
    Log(GetCommandLineW());
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int i = 1;
    if (i < argc && wcsncmp(argv[i], L"\\\\", 2) == 0)
        ++i;
    if (i < argc && wcscmp(argv[i], L"oem") == 0) {
        char oem[32] = {};
        WideCharToMultiByte(CP_OEMCP, 0, L"Gr\u00f6\u00dfe", -1, oem, sizeof oem, nullptr, nullptr);
        Out(std::string("size: ") + oem + "\r\n");
        return 7;
    }
    if (i < argc && wcscmp(argv[i], L"spawn") == 0) {
        // Leaves a program behind that holds our output.
        STARTUPINFOW si = {sizeof si};
        PROCESS_INFORMATION pi = {};
        wchar_t cmd[] = L"sc.exe hold";
        CreateProcessW(nullptr, cmd, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        Out("spawned\r\n");
        return 0;
    }
    if (i < argc && wcscmp(argv[i], L"hold") == 0) {
        if (!WaitForTheTest())
            Sleep(4000);
        Log(L"-> held");
        return 0;
    }
    WaitForTheTest();
    if (i + 1 >= argc) {
        Log(L"-> usage");
        return 1;
    }
    std::wstring op = argv[i], name = argv[i + 1];
    if (const wchar_t* fail = _wgetenv(L"BX_SC_FAIL"); fail && (op == L"stop" || op == L"start")) {
        SetLastError(static_cast<DWORD>(_wtoi(fail)));
        return Report(op, "OpenSCManager", name, false, 0);
    }
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS) : nullptr;
    if (!service) {
        Log(L"-> no such service");
        Out("[SC] OpenService FAILED 1060:\r\n");
        return 1060;
    }
    int rc = 0;
    if (op == L"stop") {
        SERVICE_STATUS st = {};
        bool ok = ControlService(service, SERVICE_CONTROL_STOP, &st) != FALSE;
        rc = Report(L"stop", "ControlService", name, ok, st.dwCurrentState);
    } else if (op == L"start") {
        bool ok = StartServiceW(service, 0, nullptr) != FALSE;
        SERVICE_STATUS st = {};
        if (ok)
            QueryServiceStatus(service, &st);
        rc = Report(L"start", "StartService", name, ok, st.dwCurrentState);
    } else if (op == L"config" && i + 3 < argc && wcscmp(argv[i + 2], L"start=") == 0) {
        std::wstring word = argv[i + 3];
        DWORD type = word == L"auto" ? SERVICE_AUTO_START : word == L"demand" ? SERVICE_DEMAND_START
                   : word == L"disabled" ? SERVICE_DISABLED : 0xFFFFFFFF;
        bool ok = type != 0xFFFFFFFF && ChangeServiceConfigW(service, SERVICE_NO_CHANGE, type, SERVICE_NO_CHANGE,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                             nullptr);
        Log(ok ? L"-> start type " + word : L"-> config failed");
        Out(ok ? "[SC] ChangeServiceConfig SUCCESS\r\n" : "[SC] ChangeServiceConfig FAILED\r\n");
    } else {
        Log(L"-> unknown operation");
        rc = 1;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return rc;
}
