#include "CoreTestSupport.h"

#include "Classes/FahUtils.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace core_test {

std::string RealText(const std::string& name)
{
    return ReadFileText(testing_support::RealDataFile(name));
}

ClientFolder::ClientFolder() : dir_("fah") {}

void ClientFolder::Write(const std::string& name, const std::string& bytes)
{
    testing_support::WriteFile(dir_.File(name), bytes);
}

void ClientFolder::Remove(const std::string& name) { DeleteFileUtf8(dir_.File(name)); }

Client::Client(const std::string& folder)
{
    TFahParams p;
    p.Folder = folder;
    p.StartPolling = false;
    fah_ = std::make_unique<TFah>(p);
}

size_t MessageSink::Count(UINT msg) const
{
    size_t n = 0;
    for (const auto& m : Messages)
        if (m.msg == msg)
            ++n;
    return n;
}

bool MessageSink::WaitFor(UINT msg, size_t n, DWORD ms)
{
    return testing_support::PumpUntil([&] { return Count(msg) >= n; }, ms);
}

LRESULT MessageSink::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= WM_FAHSTATUS && msg <= WM_FAHSMPBREAK) {
        Messages.push_back({msg, wParam, lParam});
        return 0;
    }
    return THiddenWindow::WndProc(msg, wParam, lParam);
}

LogHolder::LogHolder(const std::string& logPath, bool exclusive) : path_(logPath)
{
    static LONG counter = 0;
    prefix_ = "bx_loghold_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(InterlockedIncrement(&counter));
    ready_ = CreateEventA(nullptr, TRUE, FALSE, (prefix_ + "_ready").c_str());
    append_ = CreateEventA(nullptr, FALSE, FALSE, (prefix_ + "_append").c_str());
    appended_ = CreateEventA(nullptr, FALSE, FALSE, (prefix_ + "_appended").c_str());
    stop_ = CreateEventA(nullptr, TRUE, FALSE, (prefix_ + "_stop").c_str());
    std::wstring cmd = Utf8ToWide("\"" + ExeFolder() + "core_loghold.exe\" \"" + path_ + "\" " + prefix_ +
                                 (exclusive ? " exclusive" : ""));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    HANDLE waits[2] = {ready_, process_};
    holding_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
}

LogHolder::~LogHolder()
{
    Release();
    for (HANDLE h : {ready_, append_, appended_, stop_})
        if (h)
            CloseHandle(h);
}

bool LogHolder::Append(const std::string& text)
{
    if (!holding_)
        return false;
    testing_support::WriteFile(path_ + ".add", text);
    SetEvent(append_);
    return WaitForSingleObject(appended_, 20000) == WAIT_OBJECT_0;
}

void LogHolder::Release()
{
    if (process_) {
        SetEvent(stop_);
        if (WaitForSingleObject(process_, 20000) != WAIT_OBJECT_0)
            TerminateProcess(process_, 1);
        CloseHandle(process_);
        process_ = nullptr;
    }
    holding_ = false;
}

FixedClock::FixedClock(TDateTime now) { SetFahNowForTesting(now); }
FixedClock::~FixedClock() { SetFahNowForTesting(0); }

ZoneBias::ZoneBias(int minutes) : old_(TimeZoneBias.load()) { TimeZoneBias.store(minutes); }
ZoneBias::~ZoneBias() { TimeZoneBias.store(old_); }

ReadPause::ReadPause(DWORD ms) : old_(TFah::FileReadPause()) { TFah::SetFileReadPause(ms); }
ReadPause::~ReadPause() { TFah::SetFileReadPause(old_); }

}  // namespace core_test
