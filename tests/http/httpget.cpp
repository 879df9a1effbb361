// httpget: downloads one URL into one file through THttpCli and prints the
// status. A helper of the tests and for checks by hand, not part of the program.
//
//   httpget URL FILE [-proxy HOST] [-port PROXYPORT] [-user NAME] [-password WORD]
//                    [-timeout SECONDS] [-ver 1.0|1.1] [-stats]
//
// With -proxy the user and password are the proxy's, else the server's.
// Prints "status CODE REASON" and "bytes N" and exits with 0; a request that
// fails prints "error CODE MESSAGE", removes the file and exits with 1.
// -stats adds "time_ms", "peak_mb" and "cpu_ms" lines about this process.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "net/HttpProt.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace {

int Usage()
{
    std::printf("usage: httpget URL FILE [-proxy HOST] [-port PROXYPORT] [-user NAME] [-password WORD]\n"
                "               [-timeout SECONDS] [-ver 1.0|1.1] [-stats]\n");
    return 2;
}

double FileTimeMs(const FILETIME& ft)
{
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 10000.0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(WideToUtf8(argv[i]));
    if (args.size() < 2)
        return Usage();
    Application().Initialize();

    THttpCli http;
    http.SetName("httpget");
    http.URL = args[0];
    http.NoCache = true;
    std::string file = args[1];
    std::string user, password;
    bool stats = false;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "-stats") {
            stats = true;
        } else if (!hasValue) {
            return Usage();
        } else if (a == "-proxy") {
            http.Proxy = args[++i];
        } else if (a == "-port") {
            http.ProxyPort = args[++i];
        } else if (a == "-user") {
            user = args[++i];
        } else if (a == "-password") {
            password = args[++i];
        } else if (a == "-timeout") {
            http.Timeout = StrToIntDef(args[++i], 60);
        } else if (a == "-ver") {
            try {
                http.SetRequestVer(args[++i]);
            } catch (const std::exception& e) {
                std::printf("error 5 %s\n", e.what());
                return 2;
            }
        } else {
            return Usage();
        }
    }
    if (http.Proxy.empty()) {
        http.Username = user;
        http.Password = password;
    } else {
        http.ProxyUsername = user;
        http.ProxyPassword = password;
    }

    DWORD start = GetTickCount();
    int rc = 0;
    try {
        auto stream = std::make_unique<THttpFileStream>(file, THttpFileStream::fmCreate);
        http.RcvdStream = stream.get();
        try {
            http.Get();
            stream->Flush();
        } catch (...) {
            http.RcvdStream = nullptr;
            stream.reset();
            DeleteFileUtf8(file);
            throw;
        }
        http.RcvdStream = nullptr;
        std::printf("status %d %s\n", http.StatusCode(), http.ReasonPhrase().c_str());
        std::printf("bytes %lld\n", static_cast<long long>(http.RcvdCount()));
    } catch (const EHttpException& e) {
        std::printf("error %u %s\n", static_cast<unsigned>(e.ErrorCode()), e.what());
        rc = 1;
    } catch (const std::exception& e) {
        std::printf("error 0 %s\n", e.what());
        rc = 1;
    }
    DWORD elapsed = GetTickCount() - start;
    if (stats) {
        PROCESS_MEMORY_COUNTERS pmc = {};
        pmc.cb = sizeof pmc;
        GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
        FILETIME created, exited, kernel, userTime;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &userTime);
        std::printf("time_ms %lu\n", static_cast<unsigned long>(elapsed));
        std::printf("peak_mb %.1f\n", static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0));
        std::printf("cpu_ms %.0f\n", FileTimeMs(kernel) + FileTimeMs(userTime));
    }
    std::fflush(stdout);
    return rc;
}
