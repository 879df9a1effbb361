// The main window for real: its folder list in a temporary folder, its
// settings on a test registry key, the tray icon's records read back from
// the shell seam, event-log records through the form's own seam.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/FahSettings.h"
#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "Classes/SingleInstance.h"
#include "Classes/CpuUsageThread.h"
#include "FolderList.h"
#include "Frame/LogFr.h"
#include "Frame/IniFr.h"
#include "Frame/fvFr.h"
#include "Frame/fvFrCells.h"
#include "Main.h"
#include "MainDM.h"
#include "net/HttpProt.h"
#include "controls/CoolTrayIcon.h"
#include "controls/SimpleTimer.h"
#include "controls/StatusBarEx.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Clipboard.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Menus.h"
#include "platform/Registry.h"
#include "platform/SystemPrograms.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "support/DialogDriver.h"
#include "platform/AccessKeys.h"
#include "support/CaptionFit.h"
#include "support/Input.h"
#include "support/TestService.h"
#include "support/RegistryLock.h"
#include "support/TestSupport.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBToolbar.h"
#include "toolbars/TBView.h"
#include "Lib2/VirtualTree/VTHeader.h"

using namespace testing_support;

namespace {

constexpr char kKey[] = "Software\\Zembrik\\BrenixTest\\Main";

// How long a test waits for a window, a box or a menu to show or go: a
// machine at load 60 on 8 cores may take many seconds.
constexpr DWORD kBusyWaitMs = 30000;

// Polls pred every 10 ms for up to ms milliseconds, pumping nothing: for a
// helper thread while the test's thread pumps (or sits in a modal loop).
template <class Pred>
bool PollUntil(Pred pred, DWORD ms)
{
    for (DWORD start = GetTickCount();; Sleep(10)) {
        if (pred())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
    }
}

// A popup menu is up.
bool MenuShown()
{
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu && IsWindowVisible(menu);
}

struct Balloon {
    std::string title, text;
    DWORD icon;
};

DWORD NoNetwork(const std::string&)
{
    return ERROR_BAD_NETPATH;
}

void Set(const char* name, const TAppVariant& v)
{
    TAppVal& val = GetFahSettings().FindValue(name);
    val.SetEdited(v);
    val.Save();
}

// A right click at a screen point with its press and release arriving
// together, as a touchpad tap or xdotool's click brings them; each carries
// its position, so a late motion from the display server can't move it off
// the point. The menu it opens is closed by the Escape that its handler
// started (joined here); a click that opened none is waited for as long
// as a busy machine may take to open one.
void RightClickAt(POINT p, std::thread& escape)
{
    EXPECT_TRUE(SendInputPumping(MouseMoveTo(POINT{p.x + 5, p.y}), 100));
    std::vector<INPUT> in = MouseMoveTo(p);
    for (DWORD f : {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP}) {
        INPUT i = in.back();
        i.mi.dwFlags |= f;
        in.push_back(i);
    }
    std::atomic<UINT> sent{0};
    std::thread click([&] { sent = SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)); });
    EXPECT_TRUE(PumpUntil([&] { return sent.load() != 0; }, kBusyWaitMs)) << "the right click to be sent";
    click.join();
    EXPECT_EQ(sent.load(), in.size());
    PumpUntil([&] { return escape.joinable(); }, kBusyWaitMs);
    if (escape.joinable())
        escape.join();
    Pump(50);
}

// The pixels of a window's top rows as the screen shows them.
std::vector<COLORREF> TopPixels(HWND window, int rows)
{
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left;
    HDC dc = GetWindowDC(window);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, w, rows);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, rows, dc, 0, 0, SRCCOPY);
    std::vector<COLORREF> out;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < w; ++x)
            out.push_back(GetPixel(mem, x, y));
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(window, dc);
    return out;
}

// A web server on 127.0.0.1 for the window's downloads: each connection
// gets the answer and is closed; with no answer it is held open, silent,
// until the server goes.
class TinyServer {
public:
    explicit TinyServer(std::string answer) : answer_(std::move(answer))
    {
        // Started once for the whole process and never cleaned up: the
        // program's own start and clean-up of the library count on the same
        // counter, whose end closes every socket of the process.
        static const bool started = [] {
            WSADATA data;
            return WSAStartup(MAKEWORD(2, 2), &data) == 0;
        }();
        EXPECT_TRUE(started);
        listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listen_, 5);
        int len = sizeof a;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TinyServer()
    {
        stop_ = true;
        thread_.join();
        for (SOCKET s : held_)
            closesocket(s);
        closesocket(listen_);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int Connections() const { return connections_; }

private:
    void Serve()
    {
        while (!stop_) {
            fd_set r;
            FD_ZERO(&r);
            FD_SET(listen_, &r);
            timeval wait{0, 50000};
            if (select(0, &r, nullptr, nullptr, &wait) <= 0)
                continue;
            SOCKET c = accept(listen_, nullptr, nullptr);
            if (c == INVALID_SOCKET)
                continue;
            ++connections_;
            if (answer_.empty()) {
                held_.push_back(c);
                continue;
            }
            char request[4096];
            recv(c, request, sizeof request, 0);
            send(c, answer_.data(), static_cast<int>(answer_.size()), 0);
            shutdown(c, SD_SEND);
            closesocket(c);
        }
    }
    std::string answer_;
    SOCKET listen_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::vector<SOCKET> held_;
    std::thread thread_;
};

std::function<void()> duringDownload;
void CALLBACK DuringDownload(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (duringDownload)
        duringDownload();
}

class MainFormTest : public ::testing::Test {
protected:
    // Two clients, "a" on the test service and "b" on a second one; the
    // list settled and "a" focused.
    void StartTwoServiceClients()
    {
        List({{Folder("a"), "", "", "Brenix Main Test Svc", false}, {Folder("b"), "", "", "Brenix Main Test Svc 2", false}});
        Start();
        ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
        form->fvFrame1->VSTree->SetFocusedNode(form->fvFrame1->ClientNodes().at(0));
    }
    void SetUp() override
    {
        // A modal window shown with the loop ended closes at once.
        EXPECT_FALSE(Application().Terminated()) << "an earlier test left the application's loop ended";
        TRegistry().DeleteKey(kKey);
        SetFahSettingsPathForTesting(kKey);
        TFah::SetFileReadPause(0);
        TFah::SetNetConnectForTesting(&NoNetwork);
        // Service commands go to the stand-in sc.exe.
        SetSystemProgramFolderForTesting(ExeFolder() + "system\\");
        AppClosing = false;
        dir = std::make_unique<TempDir>("mainform");
        oldAppDir = AppDir();
        SetAppDir(dir->Path());
        Set("osCpuUsageIndicator", false);
        TCoolTrayIcon::SetShellObserver([this](DWORD msg, const NOTIFYICONDATAW& d, BOOL) {
            if ((d.uFlags & NIF_INFO) && d.szInfo[0] && msg != NIM_DELETE)
                balloons.push_back({WideToUtf8(d.szInfoTitle), WideToUtf8(d.szInfo), d.dwInfoFlags & 3});
        });
    }
    void TearDown() override
    {
        delete form;
        form = nullptr;
        Pump(50);
        // A test that closed the main window ended the loop.
        Application().ClearTerminatedForTesting();
        TCoolTrayIcon::SetShellObserver(nullptr);
        AppClosing = false;
        SetAppDir(oldAppDir);
        TFah::SetNetConnectForTesting(nullptr);
        SetSystemProgramFolderForTesting("");
        TFah::SetFileReadPause(100);
        TFah::SetAddressSpaceReserveForTesting(0);
        SetFahSettingsPathForTesting("");
        TRegistry().DeleteKey(kKey);
    }

    std::string Folder(const std::string& name, const std::string& realLog = std::string())
    {
        std::string path = dir->Path() + name + "\\";
        CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr);
        if (!realLog.empty())
            WriteFile(path + "FAHlog.txt", ReadFile(RealDataFile(realLog)));
        return path;
    }
    void List(const std::vector<TFolderEntry>& entries)
    {
        for (const TFolderEntry& e : entries)
            WriteFolderEntry(dir->File("folders.ini"), e);
    }
    // The form on the folder list, loaded and (unless it starts in the
    // tray) shown, every client polled once.
    void Start()
    {
        // A start after a close within the test is a new run of the program.
        Application().ClearTerminatedForTesting();
        TMainFormParams p;
        p.FolderListFile = dir->File("folders.ini");
        p.ErrorLogFile = dir->File("error.log");
        p.LogEvent = [this](const std::string& text, WORD type) {
            records.push_back(text + "|" + std::to_string(type));
            return true;
        };
        p.AddClient = addClient;
        p.LoadDelay = 50;
        p.SelectDelay = selectDelay;
        form = new TMainForm(nullptr, p);
        Application().SetMainForm(form);
        ASSERT_TRUE(PumpUntil([&] { return form->Loaded(); }, 5000));
        ASSERT_TRUE(PumpUntil(
            [&] {
                for (PVirtualNode n : form->fvFrame1->ClientNodes()) {
                    TFah* fah = form->fvFrame1->GetFahView(n)->Fah();
                    if (fah->PollThread() && (fah->PollThread()->PollCount() < 1 || fah->PollThread()->Polling()))
                        return false;
                }
                return true;
            },
            10000));
        Pump(150);
    }
    TFah* FahAt(size_t i) { return form->fvFrame1->GetFahView(form->fvFrame1->ClientNodes().at(i))->Fah(); }
    // Sets the state as a poll would and posts the change.
    void Change(TFah* fah, uint8_t from, uint8_t to)
    {
        {
            TLock lock(fah->CritSection());
            fah->Status = to;
        }
        balloons.clear();
        records.clear();
        PostMessageW(form->Handle(), WM_FAHSTATUS, reinterpret_cast<WPARAM>(fah), from);
        Pump(TMainForm::kEventBurstDelay + 150);
    }

    std::unique_ptr<TempDir> dir;
    std::string oldAppDir;
    TMainForm* form = nullptr;
    std::vector<Balloon> balloons;
    std::vector<std::string> records;
    std::function<void(TfvFrame&, const TAddFahParams&)> addClient;
    DWORD selectDelay = 100;
};

TEST_F(MainFormTest, ClientEventsQueueAndFreedClients)
{
    for (const char* k : {"evFeStartFlashIcon", "evFeStartBalloonTips", "evFeStartSysLogMsg"})
        Set(k, true);
    // No refresh after each event: a poll would put the real states back.
    Set("evAutoUpdate", false);
    List({{Folder("a", "fahlog-cpu-classic-78-a0-sigterm-oneunit.txt"), "done", "", "", false},
          {Folder("b"), "empty", "", "", false}});
    Start();
    TFah* done = FahAt(0);
    TFah* empty = FahAt(1);
    ASSERT_EQ(done->GetDisplayName(), "done");

    struct Case {
        uint8_t from, to;
        const std::string* eventName;   // nullptr: no event
        DWORD balloonIcon;
        WORD recordType;
    } cases[] = {
        {fsUnknown, fsRunning, nullptr, 0, 0},
        {fsShutdown, fsRunning, &sClientStarted, NIIF_INFO, EVENTLOG_INFORMATION_TYPE},
        {fsUnknown, fsShutdown, &sClientStopped, NIIF_WARNING, EVENTLOG_WARNING_TYPE},
        {fsShutdown, fsNotAccess, nullptr, 0, 0},
        {fsRunning, fsLogNotFound, &sClientStopped, NIIF_WARNING, EVENTLOG_WARNING_TYPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        Change(empty, c.from, c.to);
        // The row shows the new state at once, not at the list's next pass.
        EXPECT_EQ(form->fvFrame1->GetFahView(form->fvFrame1->ClientNodes().at(1))->Status, c.to);
        if (!c.eventName) {
            EXPECT_TRUE(balloons.empty());
            EXPECT_TRUE(records.empty());
            continue;
        }
        std::string text = *c.eventName + " \"empty\", " + sState + ": " + StatusNames[c.to];
        ASSERT_EQ(balloons.size(), 1u);
        EXPECT_EQ(balloons[0].text, text);
        EXPECT_EQ(balloons[0].icon, c.balloonIcon);
        EXPECT_EQ(balloons[0].title.rfind(Application().Title() + " - ", 0), 0u);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0], text + "|" + std::to_string(c.recordType));
        EXPECT_TRUE(form->CoolTrayIcon1->CycleIcons() || c.to == fsRunning);
    }

    // A result whose log shows no size stays queued; one whose log shows
    // it goes into the local size list once, however often it comes.
    Change(empty, fsRunning, fsReadyForSend);
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].text, sResultOccurred + " \"empty\", " + sState + ": " + StatusNames[fsReadyForSend]);
    EXPECT_EQ(form->FinishedQueueSize(), 1u);
    EXPECT_TRUE(form->FinishedUnitTimer().Enabled());
    WriteFile(UploadLocFile(), "#51130;1;0\r\n#1;2;0\r\n");
    for (int i = 0; i < 2; ++i)
        Change(done, fsRunning, fsReadyForSend);
    EXPECT_EQ(ReadFile(UploadLocFile()), "#5113;2331347;0\r\n#51130;1;0\r\n#1;2;0\r\n");
    EXPECT_EQ(form->FinishedQueueSize(), 1u);

    // The queued client's row goes: its messages and its queue entry are dropped.
    PVirtualNode emptyNode = form->fvFrame1->ClientNodes().at(1);
    form->fvFrame1->DeleteNode(emptyNode);
    ASSERT_FALSE(IsFahAlive(empty));
    balloons.clear();
    records.clear();
    for (UINT msg : {WM_FAHSTATUS, WM_FAHEARLYUNITEND, WM_FAHSSEOFF, WM_FAHSMPBREAK})
        PostMessageW(form->Handle(), msg, reinterpret_cast<WPARAM>(empty), fsRunning);
    Pump(100);
    EXPECT_TRUE(balloons.empty());
    EXPECT_TRUE(records.empty());
    form->ProcessFinishedUnits();
    EXPECT_EQ(form->FinishedQueueSize(), 0u);

    // A burst of events: every record is written, the last balloon shows.
    balloons.clear();
    records.clear();
    for (auto [from, to] : {std::pair{fsRunning, fsShutdown}, {fsShutdown, fsRunning}, {fsRunning, fsLogNotFound}}) {
        {
            TLock lock(done->CritSection());
            done->Status = to;
        }
        SendMessageW(form->Handle(), WM_FAHSTATUS, reinterpret_cast<WPARAM>(done), from);
    }
    Pump(TMainForm::kEventBurstDelay + 150);
    EXPECT_EQ(records.size(), 3u);
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].text, sClientStopped + " \"done\", " + sState + ": " + StatusNames[fsLogNotFound]);
    balloons.clear();

    // The warnings of a live client.
    PostMessageW(form->Handle(), WM_FAHEARLYUNITEND, reinterpret_cast<WPARAM>(done), 0);
    PostMessageW(form->Handle(), WM_FAHSSEOFF, reinterpret_cast<WPARAM>(done), 0);
    Pump(100);
    ASSERT_EQ(balloons.size(), 2u);
    EXPECT_EQ(balloons[0].title, Application().Title() + ": " + sErrorL_Caption + " \"early_unit_end\"!");
    EXPECT_EQ(balloons[1].title, (Application().Title() + ": " + sAsmOffError + "!").substr(0, 63));
    EXPECT_EQ(balloons[1].text, sPath + ": done");
    EXPECT_EQ(balloons[1].icon, static_cast<DWORD>(NIIF_ERROR));
    EXPECT_FALSE(FileExists(dir->File("error.log")));

    // With the refresh after events: a client's first state makes no other
    // client poll again (the list only filters again later); a change of
    // state does.
    Set("evAutoUpdate", true);
    const long polls = done->PollThread()->PollCount();
    Change(done, fsUnknown, fsShutdown);
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(done->PollThread()->PollCount(), polls);
    EXPECT_FALSE(done->PollThread()->Polling());
    form->fvFrame1->SettleTimer().SetEnabled(false);
    Change(done, fsRunning, fsShutdown);
    EXPECT_TRUE(form->fvFrame1->SettleTimer().Enabled());
}

TEST_F(MainFormTest, AtStartTheRowsShowWhatTheFirstPollsReadBeforeTheSelectTimer)
{
    // A client's state is posted before its files are read (each read is
    // followed by a pause): the list filters again once they are, not only
    // at the select timer or at the list's next pass 30 s on.
    TFah::SetFileReadPause(700);
    List({{Folder("a", "fahlog-smp-a4-bigadv-running.txt"), "a", "", "", false}});
    TMainFormParams p;
    p.FolderListFile = dir->File("folders.ini");
    p.ErrorLogFile = dir->File("error.log");
    p.LogEvent = [](const std::string&, WORD) { return true; };
    p.LoadDelay = 50;
    p.SelectDelay = 60000;
    form = new TMainForm(nullptr, p);
    Application().SetMainForm(form);
    ASSERT_TRUE(PumpUntil([&] { return form->Loaded() && form->fvFrame1->ClientNodes().size() == 1; }, 5000));
    TFahView* view = form->fvFrame1->GetFahView(form->fvFrame1->ClientNodes().at(0));
    EXPECT_TRUE(PumpUntil([&] { return view->Status == fsShutdown; }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return view->Percent == 6; }, 8000));
}

TEST_F(MainFormTest, UploadSizeLinesAreWholeLines)
{
    std::string file = dir->File("Data\\upload_loc.dat");
    EXPECT_TRUE(AddUploadSizeLine(file, "#1;2;0"));   // a missing file is made
    EXPECT_FALSE(AddUploadSizeLine(file, "#1;2;0"));
    EXPECT_TRUE(AddUploadSizeLine(file, "#1;2"));      // a part of a line is no match
    WriteFile(file, "#11;2;0\n#1;2;00");              // nor is a longer line, or one without CR
    EXPECT_TRUE(AddUploadSizeLine(file, "#1;2;0"));
    EXPECT_EQ(ReadFile(file), "#1;2;0\r\n#11;2;0\n#1;2;00");
    EXPECT_EQ(FindFiles(dir->File("Data\\*")).size(), 1u);   // no temporary file left
}

TEST_F(MainFormTest, TrayHintAndCpuIcon)
{
    std::vector<TFolderEntry> entries;
    for (int i = 0; i < 10; ++i)
        entries.push_back({Folder("c" + std::to_string(i)), "A rather long alias of client number " + std::to_string(i),
                           "", "", true});
    List(entries);
    Start();
    PostMessageW(form->Handle(), WM_UPDATETRAYHINT, 0, 0);
    Pump(80);
    std::wstring hint = Utf8ToWide(form->CoolTrayIcon1->Hint());
    EXPECT_EQ(hint.size(), 127u);
    EXPECT_EQ(hint.substr(124), L"...");
    EXPECT_NE(hint.find(L"A rather long alias of client number 0: "), std::wstring::npos);

    // A cut never splits a character made of two UTF-16 units.
    std::string smile = "\xF0\x9F\x98\x80";
    EXPECT_EQ(CutTrayHint(std::string(123, 'a') + smile + std::string(10, 'b')), std::string(123, 'a') + "...");
    EXPECT_EQ(CutTrayHint(std::string(120, 'a') + smile + std::string(5, 'b')),
              std::string(120, 'a') + smile + std::string(5, 'b'));   // 127 units: whole

    PostMessageW(form->Handle(), WM_CPUUSAGE, 60, 45);
    Pump(80);
    EXPECT_EQ(form->CpuUsageCoolTrayIcon->Hint(),
              sFahCores + ": 40%  " + sIdle + ": 60%  " + sOther + ": 0%");
    EXPECT_EQ(form->LastCoreLevel(), 5);
    EXPECT_EQ(form->LastOtherLevel(), 0);
    EXPECT_EQ(form->CpuUsageCoolTrayIcon->IconIndex(), 1);
    form->SetCpuUsageIndicator(true);
    EXPECT_TRUE(form->CpuUsageCoolTrayIcon->IconVisible());
    form->SetCpuUsageIndicator(false);
    EXPECT_FALSE(form->CpuUsageCoolTrayIcon->IconVisible());
    EXPECT_FALSE(form->CpuUsageIndicator());
    // Anything may post the message: out-of-range figures draw clamped bars.
    PostMessageW(form->Handle(), WM_CPUUSAGE, 0xFFFFFFFF, static_cast<LPARAM>(-7));
    Pump(80);
    EXPECT_EQ(form->CpuUsageCoolTrayIcon->Hint(), sFahCores + ": 0%  " + sIdle + ": 100%  " + sOther + ": 0%");
    EXPECT_EQ(form->LastCoreLevel(), 0);
    struct {
        int idle, cores, coreLevel, otherLevel;
    } levels[] = {{0, 100, 12, 0}, {10, 20, 2, 8}, {100, 100, 0, 0}, {-5, 300, 12, 0}, {50, 4, 0, 6}};
    for (auto& l : levels) {
        TCpuFigures f = CpuFigures(l.idle, l.cores);
        EXPECT_EQ(f.CoreLevel, l.coreLevel) << l.idle << "/" << l.cores;
        EXPECT_EQ(f.OtherLevel, l.otherLevel) << l.idle << "/" << l.cores;
    }
}

TEST_F(MainFormTest, StartsInTheTrayAndComesBack)
{
    Set("osMinimizeToTray", true);
    List({{Folder("a"), "", "", "", false}});
    Start();
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(form->MinimizedToTray());
    EXPECT_TRUE(form->CoolTrayIcon1->IconVisible());
    EXPECT_EQ(form->RestoreN->Caption, sRestore);
    // A second start of the program brings it back.
    PostMessageW(form->Handle(), SingleInstanceMessage(), 0, 0);
    Pump(100);
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(form->MinimizedToTray());
    EXPECT_EQ(form->RestoreN->Caption, sMinimize);
    form->RestoreNClick();
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(form->MinimizedToTray());
    // Minimising goes to the tray as well.
    form->RestoreNClick();
    ASSERT_TRUE(IsWindowVisible(form->Handle()));
    SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Pump(50);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(form->MinimizedToTray());
}

// The list's menu is the tree's own; a right click on the header pops the
// column menu up: one ticked item per shown column, then the column dialog.
TEST_F(MainFormTest, ListAndColumnMenus)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    Start();
    TVirtualStringTree* tree = form->fvFrame1->VSTree;
    EXPECT_EQ(tree->PopupMenu(), form->MainPopupMenu);
    TMenuItem& list = form->MainPopupMenu->Items();
    ASSERT_EQ(list.Count(), 11);
    EXPECT_EQ(list.Items(0)->Action(), form->MainDM->RefreshAction);
    EXPECT_EQ(list.Items(6)->Action(), form->MainDM->ServiceAction);
    EXPECT_EQ(list.Items(6)->Items(2)->Count(), 3);   // the start types
    EXPECT_EQ(list.Items(10)->Action(), form->MainDM->HideNotActiveFodersAction);

    SetForegroundWindow(form->Handle());
    Pump(100);
    std::vector<std::string> columnItems;
    std::thread escape;
    auto fill = form->ColVisiblePopupMenu->OnPopup;
    form->ColVisiblePopupMenu->OnPopup = [&](TObject* sender) {
        fill(sender);
        TMenuItem& items = form->ColVisiblePopupMenu->Items();
        for (int i = 0; i < items.Count(); ++i)
            columnItems.push_back(items.Items(i)->Caption + (items.Items(i)->Checked ? "+" : ""));
        escape = SendInputLater(Chord({VK_ESCAPE}), 300);
    };
    auto rightClick = [&](POINT p) { RightClickAt(p, escape); };
    rightClick(tree->ClientToScreen(POINT{60, -8}));
    ASSERT_EQ(columnItems.size(), static_cast<size_t>(tree->Header().Columns().Count() + 2));
    EXPECT_EQ(columnItems[0], sPath + "+");
    EXPECT_EQ(columnItems.back(), form->MainDM->FahColAction->Caption());

    // The list's menu comes up on an empty part of the list too.
    int listMenus = 0;
    form->MainPopupMenu->OnPopup = [&](TObject*) {
        ++listMenus;
        escape = SendInputLater(Chord({VK_ESCAPE}), 300);
    };
    RECT client;
    GetClientRect(tree->Handle(), &client);
    rightClick(tree->ClientToScreen(POINT{client.right / 2, client.bottom - 10}));
    EXPECT_EQ(listMenus, 1);
}

TEST_F(MainFormTest, StatusPanelGoesWhenTheListSettlesADownloadErrorStaysAndLeavesTheHintsRoom)
{
    Start();
    TMainDMHost& host = form->MainDM->Host;
    auto settled = [&] {
        EXPECT_TRUE(PumpUntil([&] { return !form->fvFrame1->SettleTimer().Enabled(); }, kBusyWaitMs))
            << "the list to settle";
        Pump(100);
    };
    host.SetStatusPanel(400, "Received 10 bytes");
    form->fvFrame1->RefreshAll();
    settled();
    EXPECT_EQ(form->sbMain->Panel(0).Width, 0);
    EXPECT_EQ(form->sbMain->Panel(0).Text, "");

    // F6 where the name lookup fails: the error is still there after the
    // refresh that follows the download.
    std::string nowhere = "http://" + std::string(70, 'q') + ".invalid/";
    Set("upURL", nowhere + "psummary.html");
    form->MainDM->SiteURL = nowhere;
    form->MainDM->UpdateFahBaseAction->Execute();
    settled();
    const std::string notFound = sUpdateError + ": the server's name was not found";
    EXPECT_TRUE(PumpUntil([&] { return form->sbMain->Panel(0).Text == notFound; }, kBusyWaitMs))
        << "the status bar to tell the failed update";
    settled();
    EXPECT_EQ(form->sbMain->Panel(0).Text, notFound);
    EXPECT_GE(form->sbMain->Panel(0).Width, 400);
    // The next download's text takes its place.
    host.SetStatusPanel(-1, sUpdatingWUdatabase + "...");
    form->fvFrame1->RefreshAll();
    settled();
    EXPECT_EQ(form->sbMain->Panel(0).Width, 0);

    // A server's reason of thousands of characters: the error's panel stays
    // inside the bar and the hint panel beside it stays in sight, in a wide
    // window and in a narrow one.
    const std::string error = sUpdateError + ": 404 " + std::string(8000, 'R');
    for (int width : {900, 300}) {
        SCOPED_TRACE(width);
        form->SetBounds(form->Left(), form->Top(), width, form->Height());
        Pump(50);
        form->MainDM->Host.SetStatusError(error);
        Pump(50);
        const int bar = form->sbMain->ClientRect().right;
        EXPECT_EQ(form->sbMain->Panel(0).Text, error);
        EXPECT_GT(form->sbMain->Panel(0).Width, 0);
        EXPECT_LE(form->sbMain->PanelRect(0).right, bar);
        const RECT hint = form->sbMain->PanelRect(1);
        EXPECT_GE(bar - hint.left, bar / 3 - 1) << hint.left << " of " << bar;
    }
}

// The half-hourly check runs while the settings dialog holds a new interval
// and with it a new date for the next check: the check stores its own date,
// and the dialog's stays for its OK. A check that failed stores none: the
// next tick tries again. (Downloads need a program that is not ending: these
// come before the tests that end it.)
TEST_F(MainFormTest, TheUpdateCheckLeavesTheDialogsNextCheckDate)
{
    List({{Folder("a"), "a", "", "", false}});
    Set("osCheckForUpdate", true);
    Set("osUpdateInterval", 7);
    const double due = static_cast<double>(Now()) - 1;
    Set("osNextCheck", due);
    Start();
    TAppVal& next = GetFahSettings().FindValue("osNextCheck");
    const double dialogs = static_cast<double>(Now()) + 30;
    GetFahSettings().FindValue("osUpdateInterval").SetEdited(30);
    next.SetEdited(dialogs);
    auto tick = [&] {
        form->UpdateCheckTimer().OnTimer()(&form->UpdateCheckTimer());
        ASSERT_TRUE(PumpUntil([&] { return form->MainDM->CheckForUpdateAction->Enabled(); }, 10000));
    };
    {
        TinyServer nobody("");   // answers nothing: the check fails at its time limit
        TMainDM::SetDownloadTimeLimitForTesting(500);
        form->MainDM->SiteURL = nobody.Url("/");
        for (int expected : {1, 2}) {
            tick();
            EXPECT_EQ(nobody.Connections(), expected);
            EXPECT_DOUBLE_EQ(next.AsFloat(), due);
            EXPECT_DOUBLE_EQ(next.EditedFloat(), dialogs);
        }
        TMainDM::SetDownloadTimeLimitForTesting(0);
    }
    TinyServer site("HTTP/1.0 200 OK\r\n\r\nversion=0.1\r\n");
    form->MainDM->SiteURL = site.Url("/");
    tick();
    EXPECT_NEAR(next.AsFloat(), static_cast<double>(Now()) + 7, 0.01);
    EXPECT_DOUBLE_EQ(next.EditedFloat(), dialogs);
    GetFahSettings().SaveAll();
    EXPECT_DOUBLE_EQ(next.AsFloat(), dialogs);
}

// The text of a download that waits on a silent server stays while the
// list settles meanwhile; a download the tray's menu started tells its
// failure in a balloon, as nobody sees the status bar.
TEST_F(MainFormTest, ADownloadKeepsItsTextAndFromTheTrayFailsInABalloon)
{
    List({{Folder("a"), "a", "", "", false}});
    Start();
    std::string shown;
    duringDownload = [&] {
        form->fvFrame1->RefreshAll();
        EXPECT_TRUE(PumpUntil([&] { return !form->fvFrame1->SettleTimer().Enabled(); }, 5000));
        Pump(100);
        shown = form->sbMain->Panel(0).Text;
        form->MainDM->HttpCli1().Abort();
    };
    TinyServer silent("");
    Set("upURL", silent.Url("/psummary.html"));
    form->MainDM->SiteURL = "http://127.0.0.1:1/";   // the result sizes fail at once
    SetTimer(nullptr, 0, 300, DuringDownload);
    form->MainDM->UpdateFahBaseAction->Execute();
    EXPECT_EQ(shown, sUpdatingWUdatabase + "...");
    duringDownload = nullptr;

    // Hidden in the tray, as the tray menu's item runs it.
    Set("upURL", std::string("http://127.0.0.1:1/psummary.html"));   // nobody listens there
    form->MainDM->SiteURL = "http://127.0.0.1:1/";
    form->RestoreNClick();
    ASSERT_TRUE(PumpUntil([&] { return form->MinimizedToTray(); }, 20000));
    balloons.clear();
    form->MainDM->UpdateFahBaseAction->Execute();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].title, Application().Title() + ": " + sUpdateError);
    EXPECT_EQ(balloons[0].text.rfind(sUpdateError + ": " + sNoConnection, 0), 0u) << balloons[0].text;
    EXPECT_EQ(balloons[0].icon, static_cast<DWORD>(NIIF_ERROR));
    // The stale database is updated by itself (once the pause after the
    // failed update is over): no balloon for that.
    balloons.clear();
    const DWORD later = GetTickCount() + TMainDM::kAutoUpdatePauseMs;
    TMainDM::SetTickCountForTesting([later] { return later; });
    form->MainDM->UpdateFahBaseByItself();
    TMainDM::SetTickCountForTesting({});
    EXPECT_TRUE(balloons.empty());
}

// The keyboard is in the list from the start, and again after the box a
// service command shows (owned by the main window, which is active again).
TEST_F(MainFormTest, TheListHasTheKeysAtStartAndAfterAServiceBox)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    std::string log = dir->File("sc.log");
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(log).c_str());
    Set("hiShowExecResultInWnd", true);
    List({{Folder("a"), "a", "", "No Such Svc", false}, {Folder("b"), "b", "", "", false}});
    Start();
    ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
    TVirtualStringTree* tree = form->fvFrame1->VSTree;
    EXPECT_EQ(GetFocus(), tree->Handle());
    EXPECT_EQ(tree->FocusedNode(), form->fvFrame1->TotalNode());
    for (int i = 0; i < 3 && form->fvFrame1->SelectedView() == nullptr; ++i)
        EXPECT_TRUE(SendInputPumping(Chord({VK_DOWN}), 200));
    ASSERT_NE(form->fvFrame1->SelectedView(), nullptr);
    EXPECT_EQ(form->fvFrame1->SelectedView()->Fah()->GetDisplayName(), "a");

    // F2 stops the service; its box is the main window's.
    HWND owner = nullptr;
    {
        DialogDriver driver([&](HWND box) {
            owner = GetWindow(box, GW_OWNER);
            PressDialogButton(box, IDOK);
        });
        EXPECT_TRUE(SendInputPumping(Chord({VK_F2}), 300));
        EXPECT_TRUE(PumpUntil([&] { return driver.Acted() && !FindProcessDialog(); }, kBusyWaitMs))
            << "the box to show and close";
    }
    EXPECT_TRUE(PumpUntil([&] { return GetActiveWindow() == form->Handle() && GetFocus() == tree->Handle(); },
                          kBusyWaitMs))
        << "the main window and the list to get the focus back";
    EXPECT_EQ(owner, form->Handle());
    EXPECT_EQ(GetActiveWindow(), form->Handle());
    EXPECT_EQ(GetFocus(), tree->Handle());
    PVirtualNode before = tree->FocusedNode();
    EXPECT_TRUE(SendInputPumping(Chord({VK_DOWN}), 50));
    EXPECT_TRUE(PumpUntil([&] { return tree->FocusedNode() != before; }, kBusyWaitMs)) << "Down to move the focus";
    EXPECT_TRUE(SendInputPumping(Chord({VK_F5}), 200));
    EXPECT_TRUE(form->fvFrame1->SettleTimer().Enabled());
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
}

// Deletes typed ahead on a client row (Ctrl+Del, Enter, Down, Ctrl+Del,
// Enter at once) run one after the other: the second is about the row the
// Down reached once the first delete was done, and the list keeps a live
// selection (the heap check's entry runs this too).
TEST_F(MainFormTest, DeletesTypedAheadRunOneAfterTheOther)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    List({{Folder("a"), "01", "", "", false}, {Folder("b"), "02", "", "", false},
          {Folder("c"), "03", "", "", false}, {Folder("d"), "04", "", "", false}});
    Start();
    ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
    TfvFrame* f = form->fvFrame1;
    SetForegroundWindow(form->Handle());
    f->VSTree->SetFocus();
    f->SelectNode(f->ClientNodes().at(0));
    Pump(100);
    ASSERT_EQ(f->SelectedView()->Fah()->GetDisplayName(), "01");
    std::vector<INPUT> keys;
    for (auto chord : {Chord({VK_CONTROL, VK_DELETE}), Chord({VK_RETURN}), Chord({VK_DOWN}),
                       Chord({VK_CONTROL, VK_DELETE}), Chord({VK_RETURN})})
        keys.insert(keys.end(), chord.begin(), chord.end());
    {
        // A box left open (keys lost on a busy machine) is cancelled, not waited for.
        DialogDriver guard([](HWND box) {
            for (int i = 0; i < 1000 && IsWindow(box); ++i)
                Sleep(10);
            if (IsWindow(box))
                PressDialogButton(box, IDCANCEL);
        });
        ASSERT_TRUE(SendInputPumping(keys, 300));
        EXPECT_TRUE(PumpUntil([&] { return f->ClientNodes().size() == 2 && !FindProcessDialog(); }, kBusyWaitMs))
            << "two folders to be left and the boxes to close";
    }
    std::vector<std::string> left;
    for (PVirtualNode n : f->ClientNodes())
        left.push_back(f->GetFahView(n)->Fah()->GetDisplayName());
    EXPECT_EQ(left, (std::vector<std::string>{"02", "04"}));
    const std::vector<PVirtualNode> rows = f->ClientNodes();
    EXPECT_NE(std::find(rows.begin(), rows.end(), f->VSTree->FocusedNode()), rows.end());
}

// A client the user selected before the start's first selection (a long
// start leaves the time for a click) stays selected.
TEST_F(MainFormTest, TheStartsFirstSelectionLeavesTheUsersChoice)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    selectDelay = 60000;   // run by hand below, after the click
    List({{Folder("a"), "a", "", "", false}, {Folder("b"), "b", "", "", false}});
    Start();
    TfvFrame* f = form->fvFrame1;
    ASSERT_TRUE(form->SelectTimer()->Enabled());
    SetForegroundWindow(form->Handle());
    PVirtualNode b = f->ClientNodes().at(1);
    RECT r = f->VSTree->NodeDisplayRect(b, 0, false);
    ASSERT_TRUE(SendInputPumping(MouseClickAt(f->VSTree->ClientToScreen(POINT{r.left + 40, (r.top + r.bottom) / 2}))));
    ASSERT_EQ(f->VSTree->FocusedNode(), b);
    form->SelectTimer()->SetEnabled(false);
    form->SelectTimer()->OnTimer()(form->SelectTimer());
    EXPECT_EQ(f->VSTree->FocusedNode(), b);
    EXPECT_TRUE(f->VSTree->Selected(b));
}

// A right click selects its row: the popup's commands are about that row.
TEST_F(MainFormTest, ARightClickSelectsTheRowThePopupActsOn)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    List({{Folder("a"), "a", "", "", false}, {Folder("b"), "b", "", "", false}});
    Start();
    ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
    TVirtualStringTree* tree = form->fvFrame1->VSTree;
    TFahView* inMenu = nullptr;
    std::thread escape;
    form->MainPopupMenu->OnPopup = [&](TObject*) {
        inMenu = form->MainDM->Host.SelectedView();
        escape = SendInputLater(Chord({VK_ESCAPE}), 300);
    };
    // The click's press clears the selection of "a" first (the list then
    // handles what is pending) and its release is already queued: the
    // popup must still come after "b" is focused. A click that reached no
    // popup or another row on a busy machine is made again (a list that
    // ignored the clicked row fails every time).
    for (int attempt = 0; attempt < 3; ++attempt) {
        form->fvFrame1->SelectNode(form->fvFrame1->ClientNodes().at(0));
        ASSERT_TRUE(PumpUntil([&] { return form->MainDM->Host.SelectedView() != nullptr; }, 20000));
        ASSERT_EQ(form->MainDM->Host.SelectedView()->Fah()->GetDisplayName(), "a");
        RECT r = tree->NodeDisplayRect(form->fvFrame1->ClientNodes().at(1), 0, false);
        inMenu = nullptr;
        RightClickAt(tree->ClientToScreen(POINT{r.left + 40, (r.top + r.bottom) / 2}), escape);
        if (inMenu && inMenu->Fah()->GetDisplayName() == "b")
            break;
        Pump(GetDoubleClickTime() + 50);
    }
    ASSERT_NE(inMenu, nullptr);
    EXPECT_EQ(inMenu->Fah()->GetDisplayName(), "b");
}

// Showing or hiding a column from the header's menu draws the whole header
// again; the menu ends with the column dialog wherever the keyboard is.
TEST_F(MainFormTest, TheHeaderMenuRedrawsTheHeaderAndKeepsTheColumnDialog)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    Start();
    TVirtualStringTree* tree = form->fvFrame1->VSTree;
    EXPECT_TRUE(SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 100));
    form->fvFrame1->FAHLogFrame->VSTree->SetFocus();
    Pump(50);
    TMenuItem& items = form->ColVisiblePopupMenu->Items();
    form->ColVisiblePopupMenu->OnPopup(form->ColVisiblePopupMenu);
    ASSERT_GT(items.Count(), 2);
    TMenuItem* last = items.Items(items.Count() - 1);
    last->InitiateAction();
    EXPECT_EQ(last->Action(), form->MainDM->FahColAction);
    EXPECT_TRUE(last->Visible);
    EXPECT_TRUE(last->Enabled);

    const int rows = tree->Header().Height() + 2;
    std::vector<COLORREF> before = TopPixels(tree->Handle(), rows);
    items.Items(1)->Click();   // the state column goes
    Pump(200);
    std::vector<COLORREF> after = TopPixels(tree->Handle(), rows);
    EXPECT_NE(after, before);
    RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    Pump(100);
    EXPECT_TRUE(after == TopPixels(tree->Handle(), rows)) << "captions left over the wrong columns";
}

// The header's menu never hides the last column shown: its item stays
// ticked and greyed, and clicking it anyway changes nothing.
TEST_F(MainFormTest, TheHeaderMenuKeepsTheLastColumnShown)
{
    Start();
    TVirtualTreeColumns& columns = form->fvFrame1->VSTree->Header().Columns();
    for (int i = 0; i < columns.Count(); ++i)
        columns[i]->SetOptions(i == fvcState ? columns[i]->Options() | coVisible : columns[i]->Options() & ~coVisible);
    TMenuItem& items = form->ColVisiblePopupMenu->Items();
    form->ColVisiblePopupMenu->OnPopup(form->ColVisiblePopupMenu);
    ASSERT_GT(items.Count(), fvcPath + 1);
    EXPECT_TRUE(items.Items(fvcState)->Checked);
    EXPECT_FALSE(items.Items(fvcState)->Enabled);
    EXPECT_TRUE(items.Items(fvcPath)->Enabled);
    items.Items(fvcState)->Click();
    EXPECT_TRUE(columns[fvcState]->Visible());
    // With a second column shown, either can go again.
    items.Items(fvcPath)->Click();
    form->ColVisiblePopupMenu->OnPopup(form->ColVisiblePopupMenu);
    EXPECT_TRUE(items.Items(fvcState)->Enabled);
    items.Items(fvcState)->Click();
    EXPECT_FALSE(columns[fvcState]->Visible());
    EXPECT_TRUE(columns[fvcPath]->Visible());
}

// The status bar shows the hint of the toolbar button or menu item under
// the mouse or selected, and nothing once the mouse or the menu is gone.
// Messages go through the application's loop here, as in the program.
TEST_F(MainFormTest, HintsOfButtonsAndMenuItemsComeAndGo)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    Start();
    SetForegroundWindow(form->Handle());
    Pump(100);
    auto hint = [&] { return form->sbMain->Panel(1).Text; };
    auto appPumpUntil = [](const std::function<bool()>& done, DWORD ms) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) {
            Application().ProcessMessages();
            if (done())
                return true;
        }
        return false;
    };
    // A late motion from the display server can put the cursor back where
    // it was on a busy machine: the move is made again until it is there.
    auto move = [&](POINT to) {
        for (int i = 0; i < 3; ++i) {
            std::atomic<bool> sent{false};
            std::thread t([&] {
                std::vector<INPUT> in = MouseMoveTo(to);
                SendInput(1, in.data(), sizeof(INPUT));
                sent = true;
            });
            appPumpUntil([&] { return sent.load(); }, 5000);
            t.join();
            appPumpUntil([] { return false; }, 300);
            POINT at{};
            if (GetCursorPos(&at) && std::abs(at.x - to.x) <= 1 && std::abs(at.y - to.y) <= 1)
                return;
        }
    };
    const std::string refresh = " " + form->MainDM->RefreshAction->Hint();
    TTBItemViewer* first = form->MainTBToolbar->View()->Viewers(0);
    ASSERT_EQ(first->Item()->Action(), form->MainDM->RefreshAction);
    POINT p = form->MainTBToolbar->ClientToScreen(POINT{(first->BoundsRect.left + first->BoundsRect.right) / 2,
                                                        (first->BoundsRect.top + first->BoundsRect.bottom) / 2});
    for (int i = 0; i < 3 && hint() != refresh; ++i)
        move(POINT{p.x + i, p.y});
    EXPECT_EQ(hint(), refresh);
    // Up onto the menu bar.
    RECT bar;
    ASSERT_TRUE(GetMenuItemRect(form->Handle(), GetMenu(form->Handle()), 0, &bar));
    bool cleared = false;
    for (int i = 0; i < 3 && !cleared; ++i) {
        move(POINT{(bar.left + bar.right) / 2 + i, (bar.top + bar.bottom) / 2});
        cleared = appPumpUntil([&] { return hint() == " "; }, 1500);
    }
    EXPECT_TRUE(cleared) << hint();

    // The menu bar opened from the keyboard: its first item's hint while
    // it is selected, nothing after.
    move(POINT{1270, 1010});
    // Down is pressed once the menu bar is in menu mode (Alt may be slow to
    // get there on a busy machine); an attempt that showed nothing is
    // closed and made again.
    std::string shown;
    std::atomic<bool> keysDone{false};
    const DWORD guiThread = GetWindowThreadProcessId(form->Handle(), nullptr);
    std::thread keys([&] {
        auto send = [](std::vector<INPUT> in) { SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)); };
        auto inMenuMode = [&] {
            GUITHREADINFO g{};
            g.cbSize = sizeof g;
            return GetGUIThreadInfo(guiThread, &g) && (g.flags & GUI_INMENUMODE);
        };
        for (int attempt = 0; attempt < 3 && shown.empty(); ++attempt) {
            Sleep(200);
            send(Chord({VK_MENU}));
            PollUntil(inMenuMode, kBusyWaitMs);
            send(Chord({VK_DOWN}));
            PollUntil(
                [&] {
                    wchar_t text[256] = {};
                    DWORD_PTR r = 0;
                    SendMessageTimeoutW(form->sbMain->Handle(), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text),
                                        SMTO_NORMAL, 1000, &r);
                    if (WideToUtf8(text) != " ")
                        shown = WideToUtf8(text);
                    return !shown.empty();
                },
                10000);
            for (int i = 0; i < 3; ++i) {
                send(Chord({VK_ESCAPE}));
                Sleep(150);
            }
            PollUntil([&] { return !inMenuMode(); }, kBusyWaitMs);
        }
        keysDone = true;
    });
    EXPECT_TRUE(appPumpUntil([&] { return keysDone.load(); }, 4 * 60000)) << "the keys for the menu bar to be sent";
    keys.join();
    EXPECT_TRUE(appPumpUntil([&] { return hint() == " "; }, kBusyWaitMs)) << "the hint to clear once the menu closes";
    EXPECT_EQ(shown, " " + form->MainDM->AddFahAction->Hint());
    EXPECT_EQ(hint(), " ");
}

// Every action has a picture; with the toolbar's captions "off" its
// buttons show their pictures alone.
TEST_F(MainFormTest, EveryActionHasAPictureAndCaptionsOffShowsThemAlone)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    Set("inTBTypeCaption", 2);
    Start();
    TActionList* actions = form->MainDM->ActionList1;
    for (int i = 0; i < actions->ActionCount(); ++i) {
        TCustomAction* a = actions->Actions(i);
        EXPECT_GE(a->ImageIndex(), 0) << a->Name();
        EXPECT_LT(a->ImageIndex(), form->MainDM->MainImageList->Count()) << a->Name();
    }
    TTBView* view = form->MainTBToolbar->View();
    int buttons = 0;
    for (int i = 0; i < view->ViewerCount(); ++i) {
        TTBItemViewer* v = view->Viewers(i);
        if (!v->Show || !v->Item()->Action())
            continue;
        ++buttons;
        const int arrow = (v->Item()->ItemStyle() & isSubmenu) ? 12 : 0;
        EXPECT_LE(v->BoundsRect.right - v->BoundsRect.left, 24 + arrow) << v->Item()->Caption();
    }
    EXPECT_EQ(buttons, 6);
}

TEST_F(MainFormTest, StaleDatabaseIsUpdatedWhenAsked)
{
    Start();
    int updates = 0;
    form->MainDM->UpdateFahBaseAction->SetOnExecute([&](TObject*) { ++updates; });
    auto ask = [&] {
        PostMessageW(form->Handle(), WM_UPDATEBASEWHENNEED, 0, 0);
        Pump(50);
        return updates;
    };
    EXPECT_EQ(ask(), 0);   // upUpdateWhenNeed is off
    Set("upUpdateWhenNeed", true);
    EXPECT_EQ(ask(), 1);   // no summary page yet
    WriteFile(PSummaryFile(), "<html></html>");
    EXPECT_EQ(ask(), 1);   // a fresh one
    HANDLE h = CreateFileW(Utf8ToWide(PSummaryFile()).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
    t.QuadPart -= 13ull * 3600 * 10000000;   // 13 hours ago
    ft = FILETIME{t.LowPart, t.HighPart};
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    EXPECT_EQ(ask(), 2);   // older than half a day
}

TEST_F(MainFormTest, ErrorsAndFolderListWithoutFolders)
{
    Set("fpWidth", 640);
    Set("fpHeight", 480);
    Set("inHideTB", true);
    Set("inShowVertGridLines", false);
    Set("inHideShutdownFolders", true);
    Set("evAutoUpdate", false);
    WriteFile(dir->File("folders.ini"), "[Other]\r\nx=1\r\n");
    Start();
    EXPECT_TRUE(form->fvFrame1->ClientNodes().empty());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_EQ(form->Width(), 640);
    EXPECT_EQ(form->Height(), 480);
    EXPECT_TRUE(form->UpdateCheckTimer().Enabled());
    ASSERT_NE(form->SelectTimer(), nullptr);
    EXPECT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
    // The settings stored before the start are in the interface.
    EXPECT_FALSE(form->MainDM->AutoUpdateAction->Checked());
    EXPECT_FALSE(form->fvFrame1->AutoUpdate());
    EXPECT_TRUE(form->MainDM->HideNotActiveFodersAction->Checked());
    EXPECT_FALSE(form->MainTBToolbar->Visible());
    TVTPaintOptions paint = form->fvFrame1->VSTree->TreeOptions().PaintOptions();
    EXPECT_EQ(paint & (toShowVertGridLines | toShowHorzGridLines), static_cast<TVTPaintOptions>(toShowHorzGridLines));

    // Each error is one more line of the log.
    form->AppException("first");
    form->AppException("second");
    std::string log = ReadFile(dir->File("error.log"));
    size_t second = log.find("\r\n") + 2;
    EXPECT_NE(log.find(" - first [" + sVersion + " " + ProgramVersion + "]\r\n"), std::string::npos);
    EXPECT_EQ(log.find(" - second [", second), log.find(" - second ["));
    EXPECT_EQ(log.size(), log.rfind("\r\n") + 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

const wchar_t kTestService[] = L"Brenix Main Test Svc";

TEST_F(MainFormTest, ClientExitRestartsItsServiceQuietly)
{
    std::string log = dir->File("sc.log");
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(log).c_str());
    TestService svc(kTestService);
    ASSERT_EQ(ServiceState(svc.service, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    List({{Folder("a"), "", "", "Brenix \"Main\" Svc", false}, {Folder("b"), "", "", "Brenix Main Test Svc", false}});
    Start();
    TAppVal& show = GetFahSettings().FindValue("hiShowExecResultInWnd");
    ASSERT_TRUE(show.EditedBoolean());
    // The client ended because another one runs: its service restarts,
    // without a window showing the commands' output; the start waits
    // until the service has stopped, and the service runs again.
    balloons.clear();
    PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(1)), 0);
    ASSERT_TRUE(PumpUntil([&] { return FileExists(log) && ReadFile(log).find("-> start") != std::string::npos; }, 10000));
    Pump(500);
    EXPECT_EQ(ReadFile(log).find("failed"), std::string::npos) << ReadFile(log);
    EXPECT_EQ(ServiceState(svc.service, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(balloons.empty());
    DeleteFileUtf8(log);

    // A service that does not start again is told in the tray.
    PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(0)), 0);
    ASSERT_TRUE(PumpUntil([&] { return !balloons.empty(); }, 10000));
    std::string computer = "\\\\" + GetComputerOfPath(dir->Path());
    std::string text = ReadFile(log);
    EXPECT_NE(text.find(computer + " stop \"Brenix \"\"Main\"\" Svc\""), std::string::npos) << text;
    EXPECT_EQ(text.find(" start "), std::string::npos) << text;   // no such service: nothing to start
    EXPECT_EQ(balloons[0].title, Application().Title() + ": " + sErrorL_Caption);
    EXPECT_EQ(balloons[0].text.rfind(FillIn(sServiceNotRestarted, {"Brenix \"Main\" Svc"}) + "\r\n", 0), 0u);
    EXPECT_NE(balloons[0].text.find("FAILED 1060"), std::string::npos) << balloons[0].text;
    EXPECT_EQ(balloons[0].icon, static_cast<DWORD>(NIIF_ERROR));
    EXPECT_TRUE(show.EditedBoolean());
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
}

// While the automatic restart waits for the service to stop, no other
// service command starts (a second break, F3) and the output setting keeps
// the user's value (an OK in the settings meanwhile would store it).
TEST_F(MainFormTest, AnAutomaticRestartIsTheOnlyServiceCommandWhileItRuns)
{
    std::string log = dir->File("sc.log");
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(log).c_str());
    TestService svc(kTestService);
    ASSERT_EQ(ServiceState(svc.service, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    List({{Folder("a"), "", "", "Brenix Main Test Svc", false}});
    Start();
    ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
    form->fvFrame1->VSTree->SetFocusedNode(form->fvFrame1->ClientNodes().at(0));
    TAction* restart = form->MainDM->RestartFAHServiceAction;
    ASSERT_TRUE(restart->Update() && restart->Enabled());
    TAppVal& show = GetFahSettings().FindValue("hiShowExecResultInWnd");
    ASSERT_TRUE(show.EditedBoolean());

    bool looked = false, enabledMeanwhile = true, showMeanwhile = false;
    TSimpleTimer meanwhile(50, [&](TObject*) {
        std::string text = FileExists(log) ? ReadFile(log) : std::string();
        if (looked || text.find("-> stop") == std::string::npos || text.find(" start ") != std::string::npos)
            return;
        looked = true;
        restart->Update();
        enabledMeanwhile = restart->Enabled();
        showMeanwhile = show.EditedBoolean();
        PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(0)), 0);
        restart->Execute();
    });
    meanwhile.SetEnabled(true);
    DialogDriver boxes([](HWND box) { PressDialogButton(box, IDOK); });
    PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(0)), 0);
    ASSERT_TRUE(PumpUntil(
        [&] { return looked && ReadFile(log).find("-> start") != std::string::npos && !form->MainDM->ServiceCommandRunning(); },
        15000));
    meanwhile.SetEnabled(false);
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_TRUE(showMeanwhile);
    EXPECT_FALSE(boxes.Acted());
    std::string text = ReadFile(log);
    auto count = [&](const std::string& word) {
        size_t n = 0;
        for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(" stop \""), 1u) << text;
    EXPECT_EQ(count(" start \""), 1u) << text;
    EXPECT_EQ(text.find("failed"), std::string::npos) << text;
    EXPECT_EQ(ServiceState(svc.service, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(show.EditedBoolean() && show.AsBoolean());
    EXPECT_TRUE(restart->Update() && restart->Enabled());
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
}

// A client whose service is not the one a running command works on, ending
// meanwhile: its restart waits for that command and then runs.
TEST_F(MainFormTest, AnotherClientsRestartWaitsForTheRunningCommandAndThenRuns)
{
    std::string log = dir->File("sc.log");
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(log).c_str());
    TestService first(kTestService), second(L"Brenix Main Test Svc 2");
    ASSERT_EQ(first.State(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_EQ(second.State(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_NO_FATAL_FAILURE(StartTwoServiceClients());
    bool posted = false;
    TSimpleTimer meanwhile(50, [&](TObject*) {
        if (posted || !FileExists(log) || ReadFile(log).find("-> stop") == std::string::npos)
            return;
        posted = true;
        PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(1)), 0);
    });
    meanwhile.SetEnabled(true);
    DialogDriver boxes([](HWND box) { PressDialogButton(box, IDOK); });
    form->MainDM->RestartFAHServiceAction->Execute();   // the user's F3 on the first client
    ASSERT_TRUE(posted);
    auto at = [&](const std::string& what) { return ReadFile(log).find(what); };
    ASSERT_TRUE(PumpUntil([&] { return at(" start \"Brenix Main Test Svc 2\"") != std::string::npos &&
                                       !form->MainDM->ServiceCommandRunning(); },
                          15000))
        << ReadFile(log);
    meanwhile.SetEnabled(false);
    EXPECT_LT(at(" start \"Brenix Main Test Svc\""), at(" stop \"Brenix Main Test Svc 2\""));
    EXPECT_EQ(ReadFile(log).find("failed"), std::string::npos) << ReadFile(log);
    EXPECT_EQ(first.State(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(second.State(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
}

// Nobody may be at the screen when a client's service can't be restarted:
// the failure stays in the error log and in the event log.
TEST_F(MainFormTest, AFailedAutomaticRestartIsLeftInTheErrorAndEventLogs)
{
    std::string log = dir->File("sc.log");
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(log).c_str());
    List({{Folder("a"), "", "", "No Such Main Svc", false}});
    Start();
    ASSERT_TRUE(GetFahSettings().FindValue("evFeStopSysLogMsg").AsBoolean());
    balloons.clear();
    records.clear();
    PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(0)), 0);
    ASSERT_TRUE(PumpUntil([&] { return !balloons.empty(); }, 10000));
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
    const std::string told = FillIn(sServiceNotRestarted, {"No Such Main Svc"}) + "\r\n";
    ASSERT_TRUE(FileExists(dir->File("error.log")));
    const std::string errors = ReadFile(dir->File("error.log"));
    EXPECT_NE(errors.find(" - " + told), std::string::npos) << errors;
    EXPECT_NE(errors.find("FAILED 1060"), std::string::npos) << errors;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].rfind(told, 0), 0u) << records[0];
    EXPECT_EQ(records[0].substr(records[0].size() - 2), "|" + std::to_string(EVENTLOG_ERROR_TYPE));
    // With the event-log records of stops off, only the error log has it.
    Set("evFeStopSysLogMsg", false);
    balloons.clear();
    records.clear();
    PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(0)), 0);
    ASSERT_TRUE(PumpUntil([&] { return !balloons.empty(); }, 10000));
    EXPECT_TRUE(records.empty());
}

// The user's F3 restarts a service; meanwhile its client ends and asks for
// the automatic restart, which waits for F3's to end: F3's restart answers
// it, the service is not restarted a second time. An F3 that failed (the
// service disabled meanwhile) answers nothing: the waiting restart runs.
TEST_F(MainFormTest, AnAutomaticRestartWaitingForTheUsersRestartOfItsServiceIsDoneByIt)
{
    std::string log = dir->File("sc.log");
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(log).c_str());
    TestService svc(kTestService);
    ASSERT_EQ(svc.State(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    List({{Folder("a"), "", "", "Brenix Main Test Svc", false}});
    Start();
    ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
    form->fvFrame1->VSTree->SetFocusedNode(form->fvFrame1->ClientNodes().at(0));
    auto startType = [&](DWORD type) {
        return ChangeServiceConfigW(svc.service, SERVICE_NO_CHANGE, type, SERVICE_NO_CHANGE, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
    };
    const struct {
        bool usersFails;
        size_t stops;
    } cases[] = {{false, 1}, {true, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.usersFails ? "F3 fails" : "F3 goes well");
        DeleteFileUtf8(log);
        if (c.usersFails) {
            ASSERT_TRUE(startType(SERVICE_DISABLED));
        }
        bool posted = false;
        TSimpleTimer meanwhile(50, [&](TObject*) {
            if (posted || !FileExists(log) || ReadFile(log).find("-> stop") == std::string::npos)
                return;
            posted = true;
            PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(0)), 0);
        });
        meanwhile.SetEnabled(true);
        // F3's failure is told; the service may start again from then on.
        DialogDriver boxes([&](HWND box) {
            startType(SERVICE_DEMAND_START);
            PressDialogButton(box, IDOK);
        });
        form->MainDM->RestartFAHServiceAction->Execute();   // the user's F3
        meanwhile.SetEnabled(false);
        ASSERT_TRUE(posted);
        auto stops = [&] {
            const std::string text = ReadFile(log);
            size_t n = 0;
            for (size_t at = text.find(" stop \""); at != std::string::npos; at = text.find(" stop \"", at + 1))
                ++n;
            return n;
        };
        EXPECT_TRUE(PumpUntil([&] { return stops() >= c.stops && !form->MainDM->ServiceCommandRunning(); }, 20000));
        // The retry of a waiting restart comes a second after F3's restart.
        Pump(2500);
        EXPECT_TRUE(PumpUntil([&] { return !form->MainDM->ServiceCommandRunning(); }, 15000));
        EXPECT_EQ(stops(), c.stops) << ReadFile(log);
        EXPECT_EQ(svc.State(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    }
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
}

// A client's automatic restart waits for another service command when the
// window closes: it never runs afterwards. The restart under way is
// finished, and the tray icon stays meanwhile to say so; double-clicks on it
// bring nothing back.
TEST_F(MainFormTest, AnAutomaticRestartStillWaitingAtCloseNeverRuns)
{
    std::string log = dir->File("sc.log");
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(log).c_str());
    TestService first(kTestService), second(L"Brenix Main Test Svc 2");
    ASSERT_EQ(first.State(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_EQ(second.State(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_NO_FATAL_FAILURE(StartTwoServiceClients());
    int step = 0;
    bool iconShown = false;
    std::string tip;
    // One double-click at a time, as the user's come.
    auto doubleClick = [&] {
        PostMessageW(TCoolTrayIcon::HandlerWindow(), WM_TRAYNOTIFY, reinterpret_cast<WPARAM>(form->CoolTrayIcon1),
                     WM_LBUTTONDBLCLK);
    };
    TSimpleTimer meanwhile(50, [&](TObject*) {
        if (step == 0 && FileExists(log) && ReadFile(log).find("-> stop") != std::string::npos) {
            step = 1;   // the second client ends: its restart waits
            PostMessageW(form->Handle(), WM_FAHSMPBREAK, reinterpret_cast<WPARAM>(FahAt(1)), 0);
        } else if (step == 1) {
            step = 2;   // the window closes
            bool canClose = false;
            form->FormCloseQuery(canClose);
            iconShown = form->CoolTrayIcon1->IconVisible();
            tip = form->CoolTrayIcon1->Hint();
            form->Hide();   // as the close does
            doubleClick();
        } else if (step == 2) {
            step = 3;
            doubleClick();
        }
    });
    meanwhile.SetEnabled(true);
    DialogDriver boxes([](HWND box) { PressDialogButton(box, IDOK); });
    form->MainDM->RestartFAHServiceAction->Execute();   // the user's F3 on the first client
    meanwhile.SetEnabled(false);
    ASSERT_GE(step, 2);
    if (step == 2)
        doubleClick();
    EXPECT_TRUE(iconShown);
    EXPECT_EQ(tip, FillIn(sFinishingRestart, {"Brenix Main Test Svc"}));
    Pump(2500);
    EXPECT_FALSE(IsWindowVisible(form->Handle())) << "the closed window came back from the tray icon";
    EXPECT_FALSE(form->MainDM->ServiceCommandRunning());
    EXPECT_EQ(ReadFile(log).find("Brenix Main Test Svc 2"), std::string::npos) << ReadFile(log);
    EXPECT_EQ(second.State(), static_cast<DWORD>(SERVICE_RUNNING));
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
}

TEST_F(MainFormTest, AFolderListThatCannotBeReadIsToldAndKept)
{
    // UTF-16 without its mark: no text the program can read.
    const std::string bytes = Utf16Bytes(Utf8ToWide("[FAHDir]\r\nline000=\"" + Folder("a") + "\"\r\n")).substr(2);
    WriteFile(dir->File("folders.ini"), bytes);
    std::string told;
    {
        DialogDriver driver([&](HWND box) {
            told = WindowText(GetDlgItem(box, 0xFFFF));
            PressDialogButton(box, IDOK);
        });
        Start();
    }
    EXPECT_EQ(told.rfind(FillIn(sFolderListNotRead, {dir->File("folders.ini")}), 0), 0u) << told;
    EXPECT_TRUE(form->fvFrame1->ClientNodes().empty());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_EQ(ReadFile(dir->File("folders.ini")), bytes);
}

// Settings nobody may read are the defaults: the user hears of it once.
TEST_F(MainFormTest, SettingsThatCannotBeReadAreToldOnceAtTheStart)
{
    RegistryLock lock(kKey);
    ASSERT_TRUE(lock.Locked());
    std::string told;
    bool more = false;
    {
        DialogDriver driver([&](HWND box) {
            told = WindowText(GetDlgItem(box, 0xFFFF));
            PressDialogButton(box, IDOK);
        });
        Start();
        Pump(500);
        more = driver.CancelledLeftOver();
    }
    EXPECT_EQ(told.rfind("The program's settings could not be read (", 0), 0u) << told;
    EXPECT_FALSE(more);
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(MainFormTest, AFolderThatCannotBeAddedIsLoggedAndTheOthersLoad)
{
    std::string bad = Folder("b");
    List({{Folder("a"), "", "", "", false}, {bad, "", "", "", false}, {Folder("c"), "", "", "", false}});
    addClient = [&](TfvFrame& list, const TAddFahParams& p) {
        if (p.folder == bad)
            throw Exception("no room for it");
        list.AddFah(p);
    };
    Start();
    std::vector<std::string> shown;
    for (PVirtualNode n : form->fvFrame1->ClientNodes())
        shown.push_back(form->fvFrame1->GetFahView(n)->Folder);
    EXPECT_EQ(shown, (std::vector<std::string>{dir->Path() + "a\\", dir->Path() + "c\\"}));
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    std::string log = ReadFile(dir->File("error.log"));
    EXPECT_NE(log.find(" - " + sErrorL_Caption + " " + bad + "\r\nno room for it ["), std::string::npos) << log;
}

TEST_F(MainFormTest, ThreadsThatCannotStartAreReportedAndTheStartGoesOn)
{
    Set("inHideTB", true);
    Set("osCpuUsageIndicator", true);
    std::string bad = Folder("b", "fahlog-smp-a4-bigadv-running.txt");
    List({{Folder("a"), "", "", "", false}, {bad, "", "", "", false}, {Folder("c"), "", "", "", false}});
    addClient = [&](TfvFrame& list, const TAddFahParams& p) {
        // b's polling thread is refused; after c, the CPU sampler's is.
        TThread::FailCreationsForTesting(p.folder == bad ? 1 : 0);
        list.AddFah(p);
        TThread::FailCreationsForTesting(p.folder == dir->Path() + "c\\" ? 1 : 0);
    };
    std::string told;
    {
        DialogDriver driver([&](HWND box) {
            told = WindowText(GetDlgItem(box, 0xFFFF));
            PressDialogButton(box, IDOK);
        });
        Start();
    }
    TThread::FailCreationsForTesting(0);
    // The box at the start names the folder that is not watched.
    EXPECT_EQ(told, FillIn(sFoldersNotWatched, {"1", "3"}) + "\r\n" + bad);
    // Every folder is listed; the one that could not start says why.
    std::vector<std::string> shown;
    for (PVirtualNode n : form->fvFrame1->ClientNodes())
        shown.push_back(form->fvFrame1->GetFahView(n)->Folder);
    ASSERT_EQ(shown, (std::vector<std::string>{dir->Path() + "a\\", bad, dir->Path() + "c\\"}));
    form->fvFrame1->ApplyFilters();
    TFahView* view = form->fvFrame1->GetFahView(form->fvFrame1->ClientNodes()[1]);
    EXPECT_EQ(view->StatusText, sUnknown + " - " + sErrorL_Caption + ": Thread creation error");
    EXPECT_NE(form->fvFrame1->GetFahView(form->fvFrame1->ClientNodes()[0])->Status, fsUnknown);
    // Both failures are in the error log, and the rest of the start ran.
    std::string log = ReadFile(dir->File("error.log"));
    EXPECT_NE(log.find(" - " + sErrorL_Caption + " " + bad + "\r\nThread creation error ["), std::string::npos) << log;
    EXPECT_NE(log.find(" - " + sErrorL_Caption + " " + sCpuUsageCB_Caption + "\r\nThread creation error ["),
              std::string::npos) << log;
    EXPECT_FALSE(form->CpuUsageIndicator());
    EXPECT_FALSE(form->MainTBToolbar->Visible());
    ASSERT_NE(form->SelectTimer(), nullptr);
}

// Folders left out at the start for want of room get their polling threads
// once there is room again (here the reserve is lowered, as deleting
// watched folders frees theirs): on F5, and after a delete, in the list's
// order. With no room, F5 leaves them as they are.
TEST_F(MainFormTest, FoldersLeftOutAtTheStartAreWatchedOnceThereIsRoom)
{
    std::vector<TFolderEntry> entries;
    for (char c = 'a'; c <= 'f'; ++c)
        entries.push_back({Folder(std::string(1, c)), "", "", "", false});
    List(entries);
    auto leftOut = [&] {
        size_t n = 0;
        for (PVirtualNode row : form->fvFrame1->ClientNodes()) {
            TFah* fah = form->fvFrame1->GetFahView(row)->Fah();
            n += fah->LeftOut() && !fah->PollThread();
        }
        return n;
    };
    for (const bool byDelete : {false, true}) {
        SCOPED_TRACE(byDelete ? "delete" : "F5");
        delete form;   // the one before: a start anew
        form = nullptr;
        AppClosing = false;
        TFah::SetAddressSpaceReserveForTesting(FreeAddressSpace());   // no room at all
        {
            DialogDriver startBox([](HWND box) { PressDialogButton(box, IDOK); });
            Start();
        }
        ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
        ASSERT_EQ(leftOut(), entries.size());
        form->MainDM->RefreshAction->Execute();
        EXPECT_EQ(leftOut(), entries.size());

        TFah::SetAddressSpaceReserveForTesting(FreeAddressSpace() - (100ull << 20));
        if (byDelete) {
            form->fvFrame1->VSTree->SetFocusedNode(form->fvFrame1->ClientNodes().at(0));
            DialogDriver yes([](HWND box) { PressDialogButton(box, IDYES); });
            form->MainDM->DelFahAction->Execute();
            ASSERT_EQ(form->fvFrame1->ClientNodes().size(), entries.size() - 1);
        } else {
            form->MainDM->RefreshAction->Execute();
        }
        EXPECT_EQ(leftOut(), 0u);
        // Their rows say so once the first polls are in.
        EXPECT_TRUE(PumpUntil(
            [&] {
                for (PVirtualNode row : form->fvFrame1->ClientNodes())
                    if (form->fvFrame1->GetFahView(row)->StatusText.find(sNotWatched) != std::string::npos)
                        return false;
                return true;
            },
            5000));
    }
}

// A folder list of many megabytes (a long comment above it) needs room to
// be read and saved again when the list changes: the polling threads leave
// that room free on top of the reserve, here more than the 60 MB left.
TEST_F(MainFormTest, ALongFolderListKeepsRoomForItsOwnSaveFromThePollingThreads)
{
    WriteFile(dir->File("folders.ini"), "; " + std::string(20u << 20, 'x') + "\r\n");
    List({{Folder("a"), "", "", "", false}, {Folder("b"), "", "", "", false}});
    TFah::SetAddressSpaceReserveForTesting(FreeAddressSpace() - (60ull << 20));
    {
        DialogDriver startBox([](HWND box) { PressDialogButton(box, IDOK); });
        Start();
    }
    ASSERT_EQ(form->fvFrame1->ClientNodes().size(), 2u);
    EXPECT_TRUE(FahAt(0)->LeftOut());
    EXPECT_TRUE(FahAt(1)->LeftOut());
}

// 2,000 folders: polling threads are made while the address space keeps
// its reserve (here set to leave room for a few dozen); the others are
// listed as not watched, told once at the start, and the list still copies.
TEST_F(MainFormTest, FoldersBeyondTheAddressSpaceReserveAreListedAsNotWatchedAndTheListCopies)
{
    constexpr int kFolders = 2000;
    std::string ini = "[FAHDir]\r\n";
    for (int i = 0; i < kFolders; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "line%04d", i);
        ini += std::string(key) + "=\"" + Folder("f" + std::to_string(i)) + "\"\r\n";
    }
    WriteFile(dir->File("folders.ini"), ini);
    // A reserve 200 MB below what is free now.
    const uint64_t free = FreeAddressSpace();
    ASSERT_GT(free, 400ull << 20);
    TFah::SetAddressSpaceReserveForTesting(free - (200ull << 20));
    std::string told;
    {
        DialogDriver driver([&](HWND box) {
            told = WindowText(GetDlgItem(box, 0xFFFF));
            PressDialogButton(box, IDOK);
        });
        Start();
    }
    const std::vector<PVirtualNode> rows = form->fvFrame1->ClientNodes();
    ASSERT_EQ(rows.size(), static_cast<size_t>(kFolders));
    form->fvFrame1->ApplyFilters();
    size_t watched = 0, leftOut = 0;
    std::string firstLeftOut;
    for (PVirtualNode n : rows) {
        TFahView* view = form->fvFrame1->GetFahView(n);
        if (view->Fah()->PollThread()) {
            ++watched;
            continue;
        }
        EXPECT_TRUE(view->Fah()->LeftOut());
        EXPECT_EQ(view->StatusText, sUnknown + " - " + sErrorL_Caption + ": " + sNotWatched);
        if (leftOut++ == 0)
            firstLeftOut = view->Folder;
    }
    EXPECT_GT(watched, 0u);
    ASSERT_GT(leftOut, 0u);
    EXPECT_EQ(watched + leftOut, static_cast<size_t>(kFolders));
    // One box: how many of all, and the first of them by name.
    EXPECT_EQ(told.rfind(FillIn(sFoldersNotWatched, {std::to_string(leftOut), "2000"}) + "\r\n" + firstLeftOut, 0),
              0u)
        << told.substr(0, 300);

    // Ctrl+C copies the whole list: the captions and one line a folder.
    form->fvFrame1->VSTree->SetFocus();
    form->MainDM->CopyToClipBrdAction->Execute();
    const std::string copied = GetClipboardText();
    size_t lines = 0, notWatchedLines = 0;
    for (size_t at = 0; at < copied.size();) {
        size_t end = copied.find("\r\n", at);
        if (end == std::string::npos)
            end = copied.size();
        const std::string line = copied.substr(at, end - at);
        ++lines;
        notWatchedLines += line.find(sNotWatched) != std::string::npos;
        at = end + 2;
    }
    EXPECT_GE(lines, static_cast<size_t>(kFolders + 1));
    EXPECT_EQ(notWatchedLines, leftOut);
}

// A copy that fails is told in a box (and logged); the next one goes through.
TEST_F(MainFormTest, ACopyThatFailsIsToldInABox)
{
    List({{Folder("a"), "a", "", "", false}});
    Start();
    // Another thread holds the clipboard open meanwhile.
    std::atomic<int> held{0};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        held = OpenClipboard(nullptr) ? 1 : -1;
        while (held == 1 && !release)
            Sleep(10);
        if (held == 1)
            CloseClipboard();
    });
    ASSERT_TRUE(PumpUntil([&] { return held.load() != 0; }, 5000));
    ASSERT_EQ(held.load(), 1);
    std::string told;
    {
        DialogDriver driver([&](HWND box) {
            told = WindowText(GetDlgItem(box, 0xFFFF));
            PressDialogButton(box, IDOK);
        });
        form->MainDM->CopyToClipBrdAction->Execute();
    }
    release = true;
    holder.join();
    EXPECT_EQ(told, FillIn(sCopyFailed, {"The clipboard is in use by another program"}));
    EXPECT_NE(ReadFile(dir->File("error.log")).find("The clipboard is in use by another program"), std::string::npos);
    form->MainDM->CopyToClipBrdAction->Execute();
    EXPECT_NE(GetClipboardText().find("\r\na;"), std::string::npos) << GetClipboardText().substr(0, 200);
}

TEST_F(MainFormTest, ShutdownStopsLocalServicesLogOffDoesNot)
{
    TestService svc(kTestService);
    ASSERT_NE(svc.service, nullptr);
    SC_HANDLE service = svc.service;
    ASSERT_EQ(ServiceState(service, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    List({{Folder("a"), "", "", WideToUtf8(kTestService), false}});
    for (LPARAM end : {static_cast<LPARAM>(ENDSESSION_LOGOFF), static_cast<LPARAM>(0)}) {
        Start();
        SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, end);
        SendMessageW(form->Handle(), WM_ENDSESSION, TRUE, end);
        EXPECT_TRUE(AppClosing);
        delete form;
        form = nullptr;
        AppClosing = false;
        if (end) {
            Sleep(500);
            EXPECT_EQ(ServiceState(service, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
        }
    }
    EXPECT_EQ(ServiceState(service, SERVICE_STOPPED), static_cast<DWORD>(SERVICE_STOPPED));
}

// Unsaved "client.cfg" edits are asked about at every close: Exit in the
// tray's menu, the close box, Alt+F4 and F10 typed, the end of the Windows
// session. Cancel keeps the program and the edits; Yes then saves and
// closes, No closes and leaves the file. (Before the close box's test below:
// the tray's menu opens only while the message loop has not been ended.)
TEST_F(MainFormTest, UnsavedClientCfgEditsAreAskedAboutAtEveryClose)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    const std::string a = Folder("a", "fahlog-smp-a4-bigadv-running.txt"), cfg = a + "client.cfg";
    List({{a, "", "", "", false}});
    auto typed = [](std::vector<INPUT> keys) {
        return [keys](TMainForm&) { EXPECT_TRUE(SendInputPumping(keys, 0)); };
    };
    LRESULT sessionMayEnd = -1;
    const struct {
        const char* route;
        std::function<void(TMainForm&)> close;
        int answer;
    } cases[] = {
        {"tray menu's Exit",
         [](TMainForm& f) {
             // The menu opens at the icon; Up goes to its last item, Exit.
             std::atomic<bool> sent{false};
             std::thread keys([&sent] {
                 for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(30))
                     if (HWND menu = FindWindowW(L"#32768", nullptr); menu && IsWindowVisible(menu))
                         break;
                 SendInput(2, Chord({VK_UP}).data(), sizeof(INPUT));
                 SendInput(2, Chord({VK_RETURN}).data(), sizeof(INPUT));
                 sent = true;
             });
             PostMessageW(TCoolTrayIcon::HandlerWindow(), WM_TRAYNOTIFY, reinterpret_cast<WPARAM>(f.CoolTrayIcon1),
                          WM_RBUTTONDOWN);
             // The menu, Exit and the question all run inside the message
             // that opens the menu.
             EXPECT_TRUE(PumpUntil([&] { return sent.load(); }, 15000)) << "waited for the tray's menu";
             keys.join();
         },
         IDYES},
        {"close box", [](TMainForm& f) { PostMessageW(f.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }, IDNO},
        {"Alt+F4", typed(Chord({VK_MENU, VK_F4})), IDYES},
        {"F10", typed(Chord({VK_F10})), IDNO},
        {"end of session",
         [&](TMainForm& f) {
             sessionMayEnd = SendMessageW(f.Handle(), WM_QUERYENDSESSION, 0, 0);
             if (sessionMayEnd)
                 SendMessageW(f.Handle(), WM_ENDSESSION, TRUE, 0);
         },
         IDYES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.route);
        WriteFile(cfg, "[settings]\nusername=a\n");
        Start();
        TfvFrame& list = *form->fvFrame1;
        TIniFrame& ini = *list.FAHIniFrame;
        list.SelectNode(list.ClientNodes().at(0));
        ASSERT_TRUE(PumpUntil([&] { return ini.View() && ini.Lines().size() == 2; }, 10000)) << "client.cfg shown";
        ini.InsertLine("team=32");
        SetForegroundWindow(form->Handle());
        list.VSTree->SetFocus();
        for (int answer : {IDCANCEL, c.answer}) {
            SCOPED_TRACE(answer);
            std::string question;
            DialogDriver driver([&](HWND box) {
                question = WindowText(GetDlgItem(box, 0xFFFF));
                PressDialogButton(box, answer);
            });
            c.close(*form);
            ASSERT_TRUE(PumpUntil([&] { return driver.Acted() && !FindProcessDialog(); }, 15000))
                << "waited for the question and its answer";
            EXPECT_TRUE(PumpUntil([&] { return AppClosing == (answer != IDCANCEL); }, 5000)) << "waited for the close";
            EXPECT_EQ(question, FillIn(sSaveClientCfgChanges, {cfg}));
            if (std::string(c.route) == "end of session") {
                EXPECT_EQ(sessionMayEnd, answer != IDCANCEL);
            }
            EXPECT_EQ(ini.Modified(), answer != IDYES);
            EXPECT_EQ(ReadFile(cfg), answer == IDYES ? "[settings]\nteam=32\nusername=a\n" : "[settings]\nusername=a\n");
        }
        delete form;
        form = nullptr;
        AppClosing = false;
        Pump(50);
    }
}

// Exit ends the application's message loop (the fixture lets it run again).
TEST_F(MainFormTest, CloseBoxToTrayExitCloses)
{
    Set("osCloseAsMinimize", true);
    List({{Folder("a"), "", "", "", false}});
    Start();
    ASSERT_TRUE(IsWindowVisible(form->Handle()));
    // The menu bar runs the actions it shows.
    HMENU bar = GetMenu(form->Handle());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetMenuItemCount(bar), 4);

    SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(50);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(form->MinimizedToTray());
    EXPECT_FALSE(AppClosing);
    form->RestoreNClick();
    EXPECT_TRUE(IsWindowVisible(form->Handle()));

    // A log-off is no shutdown; a shutdown is.
    SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    EXPECT_FALSE(form->ShuttingDown());
    SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, 0);
    EXPECT_TRUE(form->ShuttingDown());
    SendMessageW(form->Handle(), WM_ENDSESSION, FALSE, 0);
    EXPECT_FALSE(form->ShuttingDown());

    // The toolbar: ten action buttons, three separators, the service
    // submenu with the start-type submenu of three inside.
    int items = 0, separators = 0, submenus = 0;
    std::function<void(TTBCustomItem*)> walk = [&](TTBCustomItem* parent) {
        for (int i = 0; i < parent->Count(); ++i) {
            TTBCustomItem* item = parent->Items(i);
            if (dynamic_cast<TTBSeparatorItem*>(item))
                ++separators;
            else if (dynamic_cast<TTBSubmenuItem*>(item))
                ++submenus;
            else if (dynamic_cast<TTBItem*>(item) && item->Action())
                ++items;
            walk(item);
        }
    };
    walk(form->MainTBToolbar->Items());
    EXPECT_EQ(items, 10);
    EXPECT_EQ(separators, 3);
    EXPECT_EQ(submenus, 2);

    // Exit chosen in the menu bar's first drop-down closes the window.
    MoveWindow(form->Handle(), 10, 10, 700, 500, TRUE);
    SendMessageW(form->Handle(), WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
    HMENU first = GetSubMenu(bar, 0);
    SendMessageW(form->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(first), 0);
    UINT exitId = 0;
    for (int i = 0; i < GetMenuItemCount(first); ++i) {
        wchar_t text[100] = {};
        GetMenuStringW(first, static_cast<UINT>(i), text, 100, MF_BYPOSITION);
        if (WideToUtf8(text) == form->MainDM->ExitAction->Caption() + "\tF10")
            exitId = GetMenuItemID(first, i);
    }
    ASSERT_NE(exitId, 0u);
    PostMessageW(form->Handle(), WM_COMMAND, exitId, 0);
    Pump(50);
    EXPECT_TRUE(AppClosing);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(form->CoolTrayIcon1->IconVisible());
    EXPECT_FALSE(form->UpdateCheckTimer().Enabled());
    EXPECT_EQ(GetFahSettings().FindValue("fpWidth").AsInteger(), 700);
    TRegistry reg;
    EXPECT_TRUE(reg.KeyExists(std::string(kKey) + "\\FAHView"));
    // The window's storage keeps its one named value beside the placement.
    ASSERT_TRUE(reg.OpenKeyReadOnly(std::string(kKey) + "\\Main"));
    EXPECT_EQ(reg.ReadString("AutoUpdate"), "True");
    reg.CloseKey();

    // The next start puts the window where it was and as large as it was.
    delete form;
    form = nullptr;
    AppClosing = false;
    Start();
    RECT r;
    GetWindowRect(form->Handle(), &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right - r.left, 700);
}

}  // namespace

namespace {

// The captions of every level of a menu each have a key of their own (a
// disabled title item has none).
void ExpectOwnKeysPerLevel(TMenuItem& menu)
{
    std::vector<std::string> captions;
    for (int i = 0; i < menu.Count(); ++i) {
        TMenuItem* item = menu.Items(i);
        if (item->Caption != "-" && item->Enabled)
            captions.push_back(item->Caption);
        if (item->Count() > 0)
            ExpectOwnKeysPerLevel(*item);
    }
    for (const std::string& problem : AccessKeyProblems(captions))
        ADD_FAILURE() << menu.Caption << ": " << problem;
}

}  // namespace

// In each language Alt with a caption's "&" letter reaches the main window's
// menus and buttons: the menu bar's titles and the toolbars' buttons have
// letters of their own (the bar's service title too, beside the service
// button), and
// so have the items of every menu. With real keys, Alt and the Help title's
// letter open its menu and the About item's letter then shows the box; Alt
// and the Add folder button's letter show the folder dialog.
TEST_F(MainFormTest, AccessKeysInEveryLanguage)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    Start();
    // The bar as the system shows it (made anew on a language switch).
    auto barTitle = [this](int i) {
        wchar_t text[128] = {};
        GetMenuStringW(GetMenu(form->Handle()), static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        return WideToUtf8(text);
    };
    for (int lang : {2, 3, 1}) {
        SetLanguage(lang);
        SCOPED_TRACE(Languages[lang].Code);
        std::vector<std::string> window;
        ASSERT_EQ(GetMenuItemCount(GetMenu(form->Handle())), 4);
        for (int i = 0; i < 4; ++i)
            window.push_back(barTitle(i));
        // The service button and the bar's service title name one command,
        // each with a letter of its own.
        auto plain = [](std::string s) {
            s.erase(std::remove(s.begin(), s.end(), '&'), s.end());
            return s;
        };
        EXPECT_EQ(plain(form->MainDM->ServiceAction->Caption()), plain(barTitle(1)));
        for (TTBToolbar* toolbar : {form->MainTBToolbar, form->fvFrame1->FAHIniFrame->IniTBToolbar})
            for (int i = 0; i < toolbar->Items()->Count(); ++i)
                if (TTBCustomItem* item = toolbar->Items()->Items(i); !item->Caption().empty())
                    window.push_back(item->Caption());
        for (const std::string& problem : AccessKeyProblems(window))
            ADD_FAILURE() << "main window: " << problem;
        for (TMenuItem* menu : {&form->MainMenu1->Items(), &form->MainPopupMenu->Items(), &form->TrayPopupMenu->Items(),
                                &form->CpuUsagePopupMenu->Items()})
            ExpectOwnKeysPerLevel(*menu);
    }

    // English: Wine garbles Alt with a letter sent as a character of another script.
    const wchar_t help = AccessKeyOf(barTitle(3));
    const wchar_t about = AccessKeyOf(form->MainDM->AboutAction->Caption());
    ASSERT_TRUE(help && about);
    SetForegroundWindow(form->Handle());
    form->fvFrame1->VSTree->SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == form->Handle() && form->fvFrame1->VSTree->Focused(); },
                          5000));
    // Each press shows a dialog, closed from here once it is up. A letter
    // for a menu goes once the menu is open: on a loaded machine a key sent
    // right behind Alt+letter may come before the menu opens.
    // The keys go once the main window is active with the focus inside it
    // again: after a box it comes back a while later on a busy machine, and
    // keys sent before that are lost.
    auto shows = [this](const wchar_t* title, std::vector<INPUT> keys, std::vector<INPUT> inMenu = {}) {
        const HWND main = form->Handle();
        EXPECT_TRUE(PumpUntil(
            [main] {
                HWND focus = GetFocus();
                return GetForegroundWindow() == main && GetActiveWindow() == main &&
                       (focus == main || IsChild(main, focus));
            },
            kBusyWaitMs))
            << "the main window to be active before the keys";
        std::atomic<bool> menuUp{inMenu.empty()}, shown{false}, closed{false}, finished{false};
        std::thread sender([&] {
            for (INPUT& in : keys) {
                SendInput(1, &in, sizeof(INPUT));
                Sleep(5);
            }
            if (!inMenu.empty()) {
                menuUp = PollUntil(MenuShown, kBusyWaitMs);
                for (INPUT& in : inMenu) {
                    SendInput(1, &in, sizeof(INPUT));
                    Sleep(5);
                }
            }
            HWND box = nullptr;
            shown = PollUntil(
                [&] {
                    box = FindWindowW(nullptr, title);
                    return box && IsWindowVisible(box);
                },
                kBusyWaitMs);
            // Closed from here (asked again now and then, should the first
            // ask come before the box listens), then waited until gone.
            DWORD asked = 0;
            closed = !shown || PollUntil(
                                   [&] {
                                       if (!IsWindow(box) || !IsWindowVisible(box))
                                           return true;
                                       if (!asked || GetTickCount() - asked >= 1000) {
                                           PostMessageW(box, WM_CLOSE, 0, 0);
                                           asked = GetTickCount();
                                       }
                                       return false;
                                   },
                                   kBusyWaitMs);
            finished = true;
        });
        // Back at this level once the box's own loop has ended.
        EXPECT_TRUE(PumpUntil([&] { return finished.load(); }, 4 * kBusyWaitMs))
            << "the keys for the box to be sent and the box to show and close";
        sender.join();
        EXPECT_TRUE(menuUp.load()) << "the menu to open before its item's letter";
        EXPECT_TRUE(closed.load()) << "the box to close";
        return shown.load();
    };
    EXPECT_TRUE(shows(L"About", AltChar(help), Chord({static_cast<WORD>(VkKeyScanW(about) & 0xFF)})))
        << "the About box to show";
    // A toolbar button's letter runs it: the folder dialog comes up.
    EXPECT_TRUE(shows(L"Add folder", AltChar(AccessKeyOf(form->MainDM->AddFahAction->Caption()))))
        << "the Add folder dialog to show";
    // The bar's service title's letter opens its menu (the system's), not
    // the toolbar's service drop-down.
    std::atomic<bool> barMenu{false}, menuGone{false}, done{false};
    std::thread keys([&barMenu, &menuGone, &done, service = AccessKeyOf(barTitle(1))] {
        for (INPUT& in : AltChar(service)) {
            SendInput(1, &in, sizeof(INPUT));
            Sleep(5);
        }
        barMenu = PollUntil(MenuShown, kBusyWaitMs);
        for (INPUT& in : Chord({VK_ESCAPE}))
            SendInput(1, &in, sizeof(INPUT));
        menuGone = PollUntil([] { return !MenuShown(); }, kBusyWaitMs);
        for (INPUT& in : Chord({VK_ESCAPE}))
            SendInput(1, &in, sizeof(INPUT));
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 3 * kBusyWaitMs)) << "the keys for the bar's menu to be sent";
    keys.join();
    // The second Escape leaves the bar's menu mode.
    const DWORD guiThread = GetCurrentThreadId();
    EXPECT_TRUE(PumpUntil(
        [&] {
            GUITHREADINFO g{};
            g.cbSize = sizeof g;
            return GetGUIThreadInfo(guiThread, &g) && !(g.flags & GUI_INMENUMODE);
        },
        kBusyWaitMs))
        << "the menu bar to leave menu mode";
    EXPECT_TRUE(menuGone.load()) << "the bar's menu to close on Escape";
    EXPECT_TRUE(barMenu.load()) << "the bar's service menu to open";
}

// The totals row's State cell shows its whole summary in each language (the
// column is made wide enough; a wider column stays as the user left it).
TEST_F(MainFormTest, TotalsStateShowsWhole)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    List({{Folder("a"), "a", "", "", false}, {Folder("b"), "b", "", "", false}});
    Start();
    TVirtualStringTree* tree = form->fvFrame1->VSTree;
    // A language switch builds the header anew.
    auto state = [tree] { return tree->Header().Columns()[fvcState]; };
    for (int lang : {2, 3, 1}) {
        SetLanguage(lang);
        form->fvFrame1->ApplyFilters();
        Pump(100);
        PVirtualNode total = form->fvFrame1->TotalNode();
        ASSERT_NE(total, nullptr);
        RECT cell = tree->NodeDisplayRect(total, fvcState, false);
        RECT text = tree->NodeDisplayRect(total, fvcState, true, true);
        EXPECT_LE(text.right, cell.right) << Languages[lang].Code << " " << state()->Width();
    }
    state()->SetWidth(400);
    SetLanguage(2);
    form->fvFrame1->ApplyFilters();
    EXPECT_EQ(state()->Width(), 400);
    SetLanguage(1);
}

// Brenix.exe is marked terminal-server aware: on such a server the Windows
// folder it is given is the system's, where explorer.exe lies.
TEST(MainProgram, TheProgramIsTerminalServerAware)
{
    const char* exe = getenv("BRENIX_EXE");
    ASSERT_TRUE(exe && *exe);
    std::string path = std::string("Z:") + exe;   // Wine maps the Unix root to drive Z:
    std::replace(path.begin(), path.end(), '/', '\\');
    const std::string image = ReadFile(path);
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, image.data(), sizeof dos);
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_LT(static_cast<size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS32), image.size());
    IMAGE_NT_HEADERS32 nt;
    memcpy(&nt, image.data() + dos.e_lfanew, sizeof nt);
    ASSERT_EQ(nt.Signature, IMAGE_NT_SIGNATURE);
    EXPECT_NE(nt.OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, 0);
}

// Back from the tray the keys work at once: an arrow moves in the list.
TEST_F(MainFormTest, TheListHasTheKeysAfterARestoreFromTheTray)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    List({{Folder("a"), "a", "", "", false}, {Folder("b"), "b", "", "", false}});
    Start();
    ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
    TVirtualStringTree* tree = form->fvFrame1->VSTree;
    ASSERT_EQ(GetFocus(), tree->Handle());
    form->RestoreNClick();
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(form->Handle()); }, 20000));
    ASSERT_TRUE(form->MinimizedToTray());
    Pump(100);
    form->RestoreNClick();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form->Handle()) != 0; }, 20000));
    Pump(100);
    PVirtualNode before = tree->FocusedNode();
    EXPECT_TRUE(SendInputPumping(Chord({VK_DOWN}), 200));
    EXPECT_NE(tree->FocusedNode(), before);
    EXPECT_EQ(GetFocus(), tree->Handle());
}

namespace {

std::vector<std::string> ClientNames(TfvFrame& frame)
{
    std::vector<std::string> names;
    for (PVirtualNode n : frame.ClientNodes())
        names.push_back(frame.GetFahView(n)->Fah()->GetDisplayName());
    return names;
}

// Two running clients (their logs held open for writing, as a client holds
// its log) with a stopped one between them in the list's order (by folder),
// the list with the keyboard.
class MainFormF9Test : public MainFormTest {
protected:
    void StartRunStopRun()
    {
        const char kRunLog[] = "fahlog-gpu2-core11-14-paused-shutdown.txt";
        List({{Folder("a", kRunLog), "a", "", "", false},
              {Folder("b", "fahlog-cpu-classic-78-a0-sigterm-oneunit.txt"), "b", "", "", false},
              {Folder("c", kRunLog), "c", "", "", false}});
        for (const char* running : {"a", "c"})
            held.push_back(CreateFileW(Utf8ToWide(dir->Path() + running + "\\FAHlog.txt").c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        Start();
        ASSERT_TRUE(PumpUntil([&] { return !form->SelectTimer()->Enabled(); }, 20000));
        ASSERT_EQ(ClientNames(*form->fvFrame1), (std::vector<std::string>{"a", "b", "c"}));
        ASSERT_EQ(form->fvFrame1->GetFahView(form->fvFrame1->ClientNodes()[1])->Status, fsShutdown);
        ASSERT_EQ(GetFocus(), form->fvFrame1->VSTree->Handle());
    }
    void TearDown() override
    {
        MainFormTest::TearDown();
        for (HANDLE h : held)
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
    }
    std::vector<HANDLE> held;
};

}  // namespace

// F9 hides the stopped row at once, not when the clients have polled again.
TEST_F(MainFormF9Test, F9HidesTheStoppedRowsAtOnce)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    ASSERT_NO_FATAL_FAILURE(StartRunStopRun());
    TfvFrame& frame = *form->fvFrame1;
    EXPECT_TRUE(SendInputPumping(Chord({VK_F9}), 100));
    EXPECT_TRUE(form->MainDM->HideNotActiveFodersAction->Checked());
    for (PVirtualNode n : frame.ClientNodes())
        EXPECT_EQ(frame.VSTree->IsVisible(n), frame.GetFahView(n)->Status != fsShutdown);
}

// F9 twice gives the list back in its order: the stopped row between the
// running ones, where it was.
TEST_F(MainFormF9Test, F9TwiceKeepsTheListsOrder)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    ASSERT_NO_FATAL_FAILURE(StartRunStopRun());
    TfvFrame& frame = *form->fvFrame1;
    auto settledWith = [&](bool hidden) {
        return PumpUntil(
            [&] {
                bool any = false;
                for (PVirtualNode n : frame.ClientNodes())
                    any = any || !frame.VSTree->IsVisible(n);
                return any == hidden && !frame.SettleTimer().Enabled();
            },
            5000);
    };
    EXPECT_TRUE(SendInputPumping(Chord({VK_F9}), 100));
    EXPECT_TRUE(settledWith(true));
    EXPECT_TRUE(SendInputPumping(Chord({VK_F9}), 100));
    EXPECT_TRUE(settledWith(false));
    EXPECT_EQ(ClientNames(frame), (std::vector<std::string>{"a", "b", "c"}));
}

namespace {

// English again when the test ends, whatever it met.
struct EnglishAfterwards {
    ~EnglishAfterwards() { SetLanguage(1); }
};

}  // namespace

// A language switch words the rows' states anew at once, not at the next poll.
TEST_F(MainFormTest, ALanguageSwitchRewordsTheRowsStatesAtOnce)
{
    EnglishAfterwards restoreEnglish;
    SetLanguage(1);
    List({{Folder("a"), "a", "", "", false}});
    Start();
    TfvFrame& frame = *form->fvFrame1;
    PVirtualNode row = frame.ClientNodes().at(0);
    ASSERT_EQ(frame.GetFahView(row)->Status, fsLogNotFound);
    const std::string english = frame.VSTree->Text(row, fvcState);
    ASSERT_EQ(english, StatusNames[fsLogNotFound]);
    for (int lang : {2, 3}) {
        SetLanguage(lang);
        SCOPED_TRACE(lang);
        EXPECT_NE(StatusNames[fsLogNotFound], english);
        EXPECT_EQ(frame.VSTree->Text(row, fvcState), StatusNames[fsLogNotFound]);
    }
}

// A line of the folder list that starts with "[" but is no header is told
// at the start, in the chosen language, and written to the error log.
TEST_F(MainFormTest, AFolderListLineThatIsNoHeaderIsToldAndLogged)
{
    EnglishAfterwards restoreEnglish;
    SetLanguage(2);
    const std::string a = Folder("a");
    WriteFile(dir->File("folders.ini"),
              "[FAHDir]\r\nline000=\"" + a + "\"\r\n[" + a + "]\r\nAlias=A\r\n[Z:\\x\\h\\\r\nAlias=H\r\n");
    std::string told;
    {
        DialogDriver driver([&](HWND box) {
            told = WindowText(GetDlgItem(box, 0xFFFF));
            PressDialogButton(box, IDOK);
        });
        Start();
    }
    const std::string text = FillIn(sFolderListLineNoHeader, {dir->File("folders.ini"), "[Z:\\x\\h\\"});
    EXPECT_NE(text.find("«[»"), std::string::npos) << text;
    EXPECT_EQ(told, text);
    const std::string log = ReadFile(dir->File("error.log"));
    EXPECT_NE(log.find(" - " + text + " ["), std::string::npos) << log;
    EXPECT_EQ(ClientNames(*form->fvFrame1), std::vector<std::string>{"A"});
}

// A download's error still shown is worded anew in the new language.
TEST_F(MainFormTest, ALanguageSwitchRewordsTheStatusBarsError)
{
    EnglishAfterwards restoreEnglish;
    SetLanguage(1);
    Start();
    std::string nowhere = "http://" + std::string(70, 'q') + ".invalid/";
    Set("upURL", nowhere + "psummary.html");
    form->MainDM->SiteURL = nowhere;
    form->MainDM->UpdateFahBaseAction->Execute();
    ASSERT_TRUE(PumpUntil([&] { return form->MainDM->UpdateFahBaseAction->Enabled(); }, 10000));
    ASSERT_EQ(form->sbMain->Panel(0).Text, sUpdateError + ": " + sHostNotFound);
    const std::string englishText = form->sbMain->Panel(0).Text;
    for (int lang : {2, 3}) {
        SetLanguage(lang);
        SCOPED_TRACE(lang);
        EXPECT_NE(form->sbMain->Panel(0).Text, englishText);
        EXPECT_EQ(form->sbMain->Panel(0).Text, sUpdateError + ": " + sHostNotFound);
    }
}

// A language switch keeps the list where it was scrolled: the same top row,
// and the selected row in view. Scrolled to its end (the last row selected
// with the keyboard), the list once lost a row's height while the header
// was built anew without its horizontal scroll bar.
TEST_F(MainFormTest, ALanguageSwitchKeepsTheListsTopRowAndSelection)
{
    if (!HaveDisplay())
        GTEST_SKIP();
    EnglishAfterwards restoreEnglish;
    SetLanguage(1);
    std::vector<TFolderEntry> entries;
    for (int i = 0; i < 40; ++i)
        entries.push_back({Folder("f" + std::to_string(10 + i)), "f" + std::to_string(10 + i), "", "", false});
    List(entries);
    Start();
    form->SetBounds(100, 100, 800, 600);
    TfvFrame& frame = *form->fvFrame1;
    TVirtualStringTree* tree = frame.VSTree;
    const std::vector<PVirtualNode> rows = frame.ClientNodes();
    ASSERT_EQ(rows.size(), 40u);
    frame.SelectNode(rows[0]);
    SetForegroundWindow(form->Handle());
    tree->SetFocus();
    ASSERT_TRUE(SendInputPumping(Chord({VK_END})));
    const PVirtualNode last = tree->FocusedNode();
    ASSERT_TRUE(last);
    TMainDM& dm = *form->MainDM;
    for (TAction* language : {dm.LngRuAction, dm.LngUaAction, dm.LngEnAction}) {
        SCOPED_TRACE(language->Tag);
        const PVirtualNode top = tree->TopNode();
        const int offset = tree->OffsetY();
        language->Execute();
        ASSERT_TRUE(PumpUntil([&] { return !frame.SettleTimer().Enabled(); }, 10000));
        EXPECT_EQ(tree->TopNode(), top);
        EXPECT_EQ(tree->OffsetY(), offset);
        const RECT row = tree->NodeDisplayRect(last, NoColumn, false);
        EXPECT_GE(row.top, 0);
        EXPECT_LE(row.bottom, tree->ClientRect().bottom);
    }
}
