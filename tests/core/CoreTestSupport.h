// Helpers of the client-core tests: client folders made from real client
// files, a window that collects the core's posted messages, a stand-in for a
// running client, and scoped settings of the clock and time-zone seams.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "platform/HiddenWindow.h"
#include "support/TestSupport.h"

namespace core_test {

// A real client file's bytes.
std::string RealText(const std::string& name);

// A client folder in a fresh temporary folder.
class ClientFolder {
public:
    ClientFolder();
    const std::string& Path() const { return dir_.Path(); }
    void Log(const std::string& text) { Write("FAHlog.txt", text); }
    void UnitInfo(const std::string& text) { Write("unitinfo.txt", text); }
    void ClientCfg(const std::string& text) { Write("client.cfg", text); }
    void Results() { Write("work\\wuresults_01.dat", "results"); }
    void Write(const std::string& name, const std::string& bytes);
    void Remove(const std::string& name);

private:
    testing_support::TempDir dir_;
};

// A client object without a polling thread; Poll() runs one poll here.
class Client {
public:
    explicit Client(const std::string& folder);
    TFah& operator*() { return *fah_; }
    TFah* operator->() { return fah_.get(); }
    TFah* get() { return fah_.get(); }
    void Poll(bool forced = true) { fah_->Refresh(forced); }

private:
    std::unique_ptr<TFah> fah_;
};

struct PostedMessage {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Collects WM_FAHSTATUS .. WM_FAHSMPBREAK posted to it.
class MessageSink : public THiddenWindow {
public:
    std::vector<PostedMessage> Messages;
    size_t Count(UINT msg) const;
    // Pumps until n messages of that kind arrived (or ms passed).
    bool WaitFor(UINT msg, size_t n, DWORD ms);

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// Holds a log file open for writing from another process, as a running client does.
// Exclusive: holds a file or a folder open sharing it with nobody, as a
// program that locks it does (every other open fails with a sharing violation).
class LogHolder {
public:
    explicit LogHolder(const std::string& logPath, bool exclusive = false);
    ~LogHolder();
    bool Holding() const { return holding_; }
    // Appends text through the holder's own handle.
    bool Append(const std::string& text);
    void Release();

private:
    std::string path_, prefix_;
    HANDLE process_ = nullptr, ready_ = nullptr, append_ = nullptr, appended_ = nullptr,
           stop_ = nullptr;
    bool holding_ = false;
};

// The core's clock fixed for a scope.
class FixedClock {
public:
    explicit FixedClock(TDateTime now);
    ~FixedClock();
};

// The time-zone bias for a scope.
class ZoneBias {
public:
    explicit ZoneBias(int minutes);
    ~ZoneBias();

private:
    int old_;
};

// The file read pause for a scope.
class ReadPause {
public:
    explicit ReadPause(DWORD ms);
    ~ReadPause();

private:
    DWORD old_;
};

}  // namespace core_test
