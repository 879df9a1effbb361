// The download driver (httpget.exe) as anyone checking by hand runs it.
#include <gtest/gtest.h>

#include "HttpTestPeers.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using namespace httptest;

namespace {

struct TRun {
    DWORD exitCode = 999;
    std::string out;
};

TRun RunHelper(const std::string& exe, const std::vector<std::string>& args)
{
    TRun r;
    std::wstring cmd = L"\"" + Utf8ToWide(ExeFolder() + exe) + L"\"";
    for (const std::string& a : args)
        cmd += L" \"" + Utf8ToWide(a) + L"\"";
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) {
        ADD_FAILURE() << "CreatePipe failed";
        return r;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &si, &pi);
    CloseHandle(writeEnd);
    if (!ok) {
        CloseHandle(readEnd);
        ADD_FAILURE() << exe << " did not start";
        return r;
    }
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0)
        r.out.append(buf, got);
    CloseHandle(readEnd);
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &r.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    r.out = StringReplaceAll(r.out, "\r\n", "\n");
    return r;
}

TRun RunDriver(const std::vector<std::string>& args) { return RunHelper("httpget.exe", args); }

}  // namespace

TEST(HttpDriver, DownloadsThroughSquidWithProxyCredentials)
{
    testing_support::TempDir dir("httpget");
    std::string file = dir.File("out.txt");
    TRun r = RunDriver({Url("NGINX", "/small.txt"), file, "-proxy", "127.0.0.1", "-port",
                        std::to_string(Port("SQUID_BASIC")), "-user", "puser", "-password", "ppass"});
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(r.out, "status 200 OK\nbytes 17\n");
    EXPECT_EQ(testing_support::ReadFile(file), "hello from nginx\n");
}

TEST(HttpDriver, ServerCredentialsWithoutProxy)
{
    testing_support::TempDir dir("httpget");
    std::string file = dir.File("secret.txt");
    TRun r = RunDriver({Url("NGINX", "/private/secret.txt"), file, "-user", "user", "-password", "pass"});
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(r.out.rfind("status 200 OK\n", 0), 0u) << r.out;
    EXPECT_EQ(testing_support::ReadFile(file), "the secret\n");
}

TEST(HttpDriver, FailuresPrintTheErrorAndLeaveNoFile)
{
    testing_support::TempDir dir("httpget");
    std::string file = dir.File("gone.txt");
    TRun r = RunDriver({Url("NGINX", "/gone"), file});
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.out, "error 404 Not Found\n");
    EXPECT_FALSE(FileExists(file));

    TRun cut = RunDriver({Url("SCRIPTED", "/halfway"), file});
    EXPECT_EQ(cut.exitCode, 1u);
    EXPECT_EQ(cut.out.rfind("error 404 Connection closed by the server after 500 of 1000", 0), 0u) << cut.out;
    EXPECT_FALSE(FileExists(file));
}

TEST(HttpDriver, LengthsTooLargeForAnyBodyFailAndLeaveNoFile)
{
    // Five bytes come, then the close. A length of 19 digits or more fits no
    // body: the answer is invalid. 18 digits is a length the server then
    // failed to keep.
    testing_support::TempDir dir("httpget");
    std::string file = dir.File("long.bin");
    for (std::string len : {"1000000000000000000", "9223372036854775807", "123456789012345678901"}) {
        TRun r = RunDriver({Url("SCRIPTED", "/len/" + len), file});
        EXPECT_EQ(r.exitCode, 1u) << len;
        EXPECT_EQ(r.out, "error 404 Invalid answer from the server: a Content-Length too large \"" + len + "\"\n");
        EXPECT_FALSE(FileExists(file)) << len;
    }
    TRun r = RunDriver({Url("SCRIPTED", "/len/999999999999999999"), file});
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.out.rfind("error 404 Connection closed by the server after 5 of 999999999999999999 bytes", 0), 0u)
        << r.out;
    EXPECT_FALSE(FileExists(file));
}

namespace {

// The number after "NAME " on its own line of the driver's output (-1 when absent).
double StatFigure(const std::string& out, const std::string& name)
{
    std::string key = "\n" + name + " ";
    size_t at = out.find(key);
    if (at == std::string::npos)
        return -1;
    size_t b = at + key.size();
    size_t e = out.find('\n', b);
    double v = -1;
    if (!TryStrToFloat(out.substr(b, e == std::string::npos ? e : e - b), v))
        return -1;
    return v;
}

}  // namespace

TEST(HttpDriver, StatsFollowAWholeDownloadAndBadCommandLinesFetchNothing)
{
    testing_support::TempDir dir("httpget");
    TRun r = RunDriver({Url("NGINX", "/big.bin"), dir.File("big.bin"), "-stats"});
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(r.out.rfind("status 200 OK\nbytes 3145728\ntime_ms ", 0), 0u) << r.out;
    EXPECT_TRUE(testing_support::ReadFile(dir.File("big.bin")) == BigPattern(3145728));
    EXPECT_GE(StatFigure(r.out, "time_ms"), 0) << r.out;
    EXPECT_GE(StatFigure(r.out, "cpu_ms"), 0) << r.out;
    // Any process has a working set: zero would mean the figure was never read.
    EXPECT_GT(StatFigure(r.out, "peak_mb"), 0) << r.out;

    // A command line that cannot be right fetches nothing and makes no file.
    std::string file = dir.File("never.txt");
    const std::vector<std::vector<std::string>> bad = {
        {Url("NGINX", "/small.txt")},
        {Url("NGINX", "/small.txt"), file, "-port"},
        {Url("NGINX", "/small.txt"), file, "-colour", "blue"},
        {Url("NGINX", "/small.txt"), file, "-ver", "2.0"},
    };
    for (const auto& args : bad) {
        TRun b = RunDriver(args);
        EXPECT_EQ(b.exitCode, 2u) << args.back() << ": " << b.out;
        EXPECT_EQ(b.out.find("status "), std::string::npos) << b.out;
        EXPECT_FALSE(FileExists(file)) << args.back();
    }
}

TEST(HttpDriver, EndOfTheApplicationAbortsAWaitingGet)
{
    // httpquit asks its application to end while a GET waits on a server
    // that never answers: the GET is aborted and its wait returns at once.
    TRun r = RunHelper("httpquit.exe", {Url("SCRIPTED", "/stall")});
    EXPECT_EQ(r.exitCode, 1u) << r.out;
    EXPECT_EQ(r.out.rfind("error 404 Connection aborted on request\nstate 0\nterminated 1\nseconds ", 0), 0u) << r.out;
    int seconds = 99;
    size_t at = r.out.find("seconds ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_TRUE(TryStrToInt(Trim(r.out.substr(at + 8)), seconds)) << r.out;
    EXPECT_LT(seconds, 10) << r.out;   // long before the 30 s time-out
}
