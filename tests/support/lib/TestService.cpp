#include "support/TestService.h"

#include <string>

namespace testing_support {

DWORD ServiceState(SC_HANDLE service, DWORD waitFor)
{
    SERVICE_STATUS st = {};
    for (int i = 0; i < 100 && QueryServiceStatus(service, &st) && waitFor && st.dwCurrentState != waitFor; ++i)
        Sleep(50);
    return st.dwCurrentState;
}

TestService::TestService(const wchar_t* name) : manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS))
{
    Remove(OpenServiceW(manager, name, SERVICE_ALL_ACCESS));
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    path = L"\"" + path.substr(0, path.rfind(L'\\') + 1) + L"maindm_testsvc.exe\"";
    service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                             SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    StartServiceW(service, 0, nullptr);
}

TestService::~TestService()
{
    Remove(service);
    CloseServiceHandle(manager);
}

void TestService::Remove(SC_HANDLE s)
{
    if (!s)
        return;
    SERVICE_STATUS st = {};
    ControlService(s, SERVICE_CONTROL_STOP, &st);
    ServiceState(s, SERVICE_STOPPED);
    DeleteService(s);
    CloseServiceHandle(s);
}

DWORD TestService::StartType() const
{
    union {
        QUERY_SERVICE_CONFIGW config;
        char bytes[8192];
    } buf;
    DWORD need = 0;
    return QueryServiceConfigW(service, &buf.config, sizeof buf, &need) ? buf.config.dwStartType : 0xFFFF;
}

}  // namespace testing_support
