// A small real service for the service tests: maindm_testsvc.exe beside the
// test executable, under a name of the test's, made afresh and started;
// stopped and deleted when the object goes.
#pragma once
#include <windows.h>

namespace testing_support {

// The service's state, after waiting up to 5 s for waitFor (0: at once).
DWORD ServiceState(SC_HANDLE service, DWORD waitFor = 0);

struct TestService {
    explicit TestService(const wchar_t* name);
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    DWORD State(DWORD waitFor = 0) const { return ServiceState(service, waitFor); }
    DWORD StartType() const;
    // Stops and deletes a service (one left by a broken run too).
    static void Remove(SC_HANDLE s);

    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
};

}  // namespace testing_support
