// restart_at_end: the user's restart (F3) of a local client's service, and
// the application asked to end as soon as the stand-in sc.exe has recorded
// the stop, as closing the main window meanwhile does. A helper of the
// service tests (the application's end cannot be undone in the test process
// itself). Writes "terminated 1" (or 0) into RESULTFILE when the restart
// returned, then ends its message loop as the program does (a restart that
// failed meanwhile is told in a box then).
//   restart_at_end SERVICE SYSTEMFOLDER RESULTFILE   (BX_SC_LOG names the record)
#include <windows.h>

#include <cstdio>
#include <string>

#include "MainDM.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/SystemPrograms.h"
#include "platform/Text.h"

namespace {

std::string g_log;

VOID CALLBACK EndOnceStopped(HWND, UINT, UINT_PTR id, DWORD)
{
    std::string text;
    if (!TryReadFileText(g_log, text, 1u << 20) || text.find("-> stop") == std::string::npos)
        return;
    KillTimer(nullptr, id);
    Application().Terminate();
}

std::string LocalComputer()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(name, &size);
    return LowerCase(WideToUtf8(name));
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    const std::string service = WideToUtf8(argv[1]);
    wchar_t log[MAX_PATH] = {};
    GetEnvironmentVariableW(L"BX_SC_LOG", log, MAX_PATH);
    g_log = WideToUtf8(log);
    Application().Initialize();
    SetSystemProgramFolderForTesting(WideToUtf8(argv[2]));
    TMainDMHost host;
    host.SelectedClient = [&](TClientService& c) {
        c = {"C:\\fah\\", service};
        return true;
    };
    host.ComputerOfPath = [](const std::string&) { return LocalComputer(); };
    TMainDM dm(nullptr, host);
    SetTimer(nullptr, 0, 20, EndOnceStopped);
    dm.RestartFAHServiceAction->Execute();
    WriteFileAtomic(WideToUtf8(argv[3]), std::string("terminated ") + (Application().Terminated() ? "1" : "0"));
    Application().Run();
    return 0;
}
