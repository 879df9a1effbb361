// The event-log writer: when the source is registered, what each record
// carries, and the real path through the system's event log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes/EventLogger.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

namespace {

struct TCall {
    std::string What;
    HANDLE Source;
    WORD Type;
    WORD Category;
    DWORD Id;
    std::string Text;
};

// Records every call and passes it on to the real event log.
struct TRecordingSink {
    std::vector<TCall> calls;
    bool refuseRegistration = false;

    TEventSink Sink()
    {
        TEventSink s;
        s.Register = [this](const std::string& name) -> HANDLE {
            HANDLE h = refuseRegistration ? nullptr : RegisterEventSourceW(nullptr, Utf8ToWide(name).c_str());
            calls.push_back({"register", h, 0, 0, 0, name});
            return h;
        };
        s.Report = [this](HANDLE h, WORD type, WORD category, DWORD id, const std::string& text) {
            calls.push_back({"report", h, type, category, id, text});
            std::wstring w = Utf8ToWide(text);
            LPCWSTR strings[1] = {w.c_str()};
            return ReportEventW(h, type, category, id, nullptr, 1, 0, strings, nullptr) != 0;
        };
        s.Deregister = [this](HANDLE h) {
            calls.push_back({"deregister", h, 0, 0, 0, ""});
            DeregisterEventSource(h);
        };
        return s;
    }
    size_t Count(const std::string& what) const
    {
        size_t n = 0;
        for (const auto& c : calls)
            n += c.What == what;
        return n;
    }
};

}  // namespace

TEST(EventLogger, SourceIsRegisteredWithTheFirstRecordOnly)
{
    TRecordingSink rec;
    {
        TEventLogger log("BrenixTest procs", rec.Sink());
        EXPECT_EQ(log.SourceName(), "BrenixTest procs");
        EXPECT_FALSE(log.Registered());
        EXPECT_TRUE(rec.calls.empty());

        EXPECT_TRUE(log.LogMessage("Client started: C:\\FAH", EVENTLOG_INFORMATION_TYPE, 3, 1));
        EXPECT_TRUE(log.Registered());
        ASSERT_EQ(rec.calls.size(), 2u);
        EXPECT_EQ(rec.calls[0].What, "register");
        EXPECT_EQ(rec.calls[0].Text, "BrenixTest procs");
        ASSERT_NE(rec.calls[0].Source, nullptr);
        EXPECT_EQ(rec.calls[1].What, "report");
        EXPECT_EQ(rec.calls[1].Source, rec.calls[0].Source);
        EXPECT_EQ(rec.calls[1].Type, EVENTLOG_INFORMATION_TYPE);
        EXPECT_EQ(rec.calls[1].Id, 3u);
        EXPECT_EQ(rec.calls[1].Category, 1);
        EXPECT_EQ(rec.calls[1].Text, "Client started: C:\\FAH");

        EXPECT_TRUE(log.LogMessage("Результат получен", EVENTLOG_WARNING_TYPE, 9, 0));
        EXPECT_EQ(rec.Count("register"), 1u);
        ASSERT_EQ(rec.Count("report"), 2u);
        EXPECT_EQ(rec.calls.back().Type, EVENTLOG_WARNING_TYPE);
        EXPECT_EQ(rec.calls.back().Text, "Результат получен");
        EXPECT_EQ(rec.Count("deregister"), 0u);
    }
    ASSERT_EQ(rec.Count("deregister"), 1u);
    EXPECT_EQ(rec.calls.back().What, "deregister");
    EXPECT_EQ(rec.calls.back().Source, rec.calls[0].Source);
}

TEST(EventLogger, UnusedLoggerRegistersNothing)
{
    TRecordingSink rec;
    { TEventLogger log("BrenixTest procs", rec.Sink()); }
    EXPECT_TRUE(rec.calls.empty());
}

TEST(EventLogger, RefusedRegistrationWritesNothingAndIsTriedAgain)
{
    TRecordingSink rec;
    rec.refuseRegistration = true;
    TEventLogger log("BrenixTest procs", rec.Sink());
    EXPECT_FALSE(log.LogMessage("first"));
    EXPECT_FALSE(log.Registered());
    EXPECT_EQ(rec.Count("report"), 0u);
    rec.refuseRegistration = false;
    EXPECT_TRUE(log.LogMessage("second"));
    EXPECT_EQ(rec.Count("register"), 2u);
    ASSERT_EQ(rec.Count("report"), 1u);
    EXPECT_EQ(rec.calls.back().Text, "second");
}

TEST(EventLogger, ProgramLoggerUsesTheApplicationTitle)
{
    TEventLogger& a = GetEventLogger();
    TEventLogger& b = GetEventLogger();
    EXPECT_EQ(&a, &b);
    // This executable's title, given by the tests' main before any test ran.
    EXPECT_EQ(a.SourceName(), "Brenix tests");
}

namespace {

// The Unix path of a file on Wine's Z: drive.
std::string UnixPath(const std::string& windowsPath)
{
    std::string p = windowsPath;
    if (p.size() > 2 && (p[0] == 'Z' || p[0] == 'z') && p[1] == ':')
        p = p.substr(2);
    for (char& c : p)
        if (c == '\\')
            c = '/';
    return p;
}

}  // namespace

TEST(EventLogger, RecordReachesTheSystemEventLog)
{
    // The program's logger in a process of its own, started with Wine's
    // event-log trace on. Wine writes its trace to the Unix standard error,
    // so the helper is started through the shell that sends it to a file.
    std::string folder = ExeFolder();
    ASSERT_EQ(folder.rfind("Z:", 0), 0u) << folder;
    std::string trace = folder + "evlog_trace_" + std::to_string(GetCurrentProcessId()) + ".txt";
    DeleteFileUtf8(trace);
    std::string shell = "/bin/sh -c \"WINEDEBUG=-all,+eventlog /usr/bin/wine '" +
                        UnixPath(folder + "procs_eventlog_helper.exe") +
                        "' Brenix 'Client stopped: D:/FAH/smp #2' 2 17 4 2>'" + UnixPath(trace) +
                        "'; echo exit=$? >>'" + UnixPath(trace) + "'\"";
    std::wstring cmd = Utf8ToWide(shell);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::string text;
    testing_support::PumpUntil(
        [&] {
            text.clear();
            return TryReadFileText(trace, text) && text.find("exit=") != std::string::npos;
        },
        30000);
    DeleteFileUtf8(trace);
    // The helper ended with 0: the logger registered its source and ReportEvent took the record.
    EXPECT_NE(text.find("exit=0"), std::string::npos) << text;
    EXPECT_NE(text.find("ReportEventW L\"Client stopped: D:/FAH/smp #2\""), std::string::npos) << text;
}
