// httpquit: starts a GET of one URL and asks the application to end 300 ms
// later, while the GET still waits; prints how the GET ended. A helper of the
// HTTP client tests (the application's end cannot be undone in the test
// process itself).
//   httpquit URL
#include <windows.h>

#include <cstdio>
#include <string>

#include "net/HttpProt.h"
#include "platform/Application.h"
#include "platform/Text.h"

namespace {

VOID CALLBACK QuitTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    Application().Terminate();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::printf("usage: httpquit URL\n");
        return 2;
    }
    Application().Initialize();
    THttpCli http;
    http.URL = WideToUtf8(argv[1]);
    http.Timeout = 30;
    SetTimer(nullptr, 0, 300, QuitTimerProc);
    DWORD start = GetTickCount();
    int rc = 0;
    try {
        http.Get();
        std::printf("status %d %s\n", http.StatusCode(), http.ReasonPhrase().c_str());
    } catch (const EHttpException& e) {
        std::printf("error %u %s\n", static_cast<unsigned>(e.ErrorCode()), e.what());
        rc = 1;
    }
    std::printf("state %d\n", static_cast<int>(http.State()));
    std::printf("terminated %d\n", Application().Terminated() ? 1 : 0);
    std::printf("seconds %lu\n", static_cast<unsigned long>((GetTickCount() - start) / 1000));
    std::fflush(stdout);
    return rc;
}
