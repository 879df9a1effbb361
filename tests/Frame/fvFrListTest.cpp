// The main list on real client folders: rows by computer, totals (hidden
// rows count), the state filter, grouping on and off, the colours the rows
// are painted in, two clients on one work unit, the stale-database message,
// the refresh timers, and the cell links with their encoding.
#include "fvFrTestSupport.h"

#include "Lib2/VirtualTree/VTHeader.h"
#include "support/Input.h"

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "controls/SimpleTimer.h"
#include "platform/Clipboard.h"
#include "platform/Graphics.h"
#include "Frame/IniFr.h"
#include "Frame/LogFr.h"
#include "platform/FileUtil.h"
#include "platform/StringList.h"
#include "platform/SystemPrograms.h"
#include "platform/Text.h"

using namespace testing_support;
using namespace fv_test;

namespace {

const char kRunLog[] = "fahlog-gpu2-core11-14-paused-shutdown.txt";    // project 5915, credit 1888
const char kStopLog[] = "fahlog-cpu-classic-78-a0-sigterm-oneunit.txt";  // project 5113, credit 749
const char kReadyLog[] = "fahlog-smp-a2-linux-sending-results.txt";      // project 2677, credit 1920
const char kUnknownLog[] = "fahlog-gpu3-core15-v641-running.txt";        // project 10634, not in the tables

std::string LocalComputer()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(name, &size);
    return LowerCase(WideToUtf8(std::wstring(name, size)));
}

int LineCount(const std::string& text)
{
    int n = 1;
    for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2))
        ++n;
    return n;
}

}  // namespace

TEST_F(FvFrameTest, ClientsOnRealFoldersAreGroupedSummedFilteredAndColoured)
{
    ASSERT_TRUE(HaveDisplay());
    const std::string run = Folder("run", {{"FAHlog.txt", kRunLog}});
    HeldFile runHeld(run + "FAHlog.txt");
    const std::string stop = Folder("stop", {{"FAHlog.txt", kStopLog}});
    const std::string ready = Folder("ready", {{"FAHlog.txt", kReadyLog}, {"work\\wuresults_01.dat", "=r"}});
    const std::string nolog = Folder("nolog", {});
    PVirtualNode nRun = Add(run, "Runner");
    PVirtualNode nStop = Add(stop, "Stopper");
    PVirtualNode nReady = Add(ready, "Sender");
    PVirtualNode nNoLog = Add(nolog, "Empty");
    PVirtualNode nShare = Add("\\\\fvhost\\share\\client\\", "Remote");
    ASSERT_TRUE(WaitPolled());
    const std::vector<uint8_t> states{View(nRun)->Status, View(nStop)->Status, View(nReady)->Status,
                                      View(nNoLog)->Status, View(nShare)->Status};
    EXPECT_EQ(states, (std::vector<uint8_t>{fsRunning, fsShutdown, fsReadyForSend, fsLogNotFound, fsNotAccess}));

    frame->ApplyFilters();
    PVirtualNode total = frame->TotalNode();
    PVirtualNode local = frame->FindComputerNode(LocalComputer());
    PVirtualNode remote = frame->FindComputerNode("FVHOST");
    ASSERT_TRUE(total && local && remote);
    EXPECT_EQ(local->Parent, total);
    EXPECT_EQ(local->ChildCount, 4u);
    EXPECT_EQ(nShare->Parent, remote);

    TFahViewSum* all = frame->GetFahViewSum(total);
    EXPECT_EQ((std::vector<int>{all->ClientCount, all->RunCount, all->ReadyCount, all->StoppedCount}),
              (std::vector<int>{5, 1, 1, 1}));
    EXPECT_EQ(all->Credit, 1888 + 1920);   // the stopped client's credit does not count
    EXPECT_EQ(all->MaxPercent, std::max({View(nRun)->Percent, View(nStop)->Percent, View(nReady)->Percent}));
    EXPECT_EQ(frame->GetFahViewSum(local)->ClientCount, 4);
    EXPECT_EQ(frame->GetFahViewSum(remote)->ClientCount, 1);
    EXPECT_EQ(frame->VSTree->Text(total, 0), sTotal);
    EXPECT_EQ(frame->GetFahViewSum(local)->RowNumber + frame->GetFahViewSum(remote)->RowNumber, 3);
    EXPECT_EQ(frame->VSTree->Text(nRun, fvcProjNum), "5915");
    // Every project is known: no call for a new database.
    EXPECT_EQ(sink.Count(WM_UPDATEBASEWHENNEED), 0u);
    EXPECT_TRUE(PumpUntil([&] { return sink.Count(WM_UPDATETRAYHINT) >= 1; }, 20000));

    // Colours by state; the overall row is white (in a list with the
    // keyboard); the focused row keeps the tree's.
    frame->SelectNode(total);
    frame->VSTree->SetFocus();
    PaintList();
    EXPECT_EQ(Cell(nRun, fvcState).color, 0x008000u);
    EXPECT_EQ(Cell(nReady, fvcState).color, 0x0000FFu);
    EXPECT_EQ(Cell(nStop, fvcState).color, 0xFF0000u);
    EXPECT_EQ(Cell(nNoLog, fvcState).color, 0x808080u);
    EXPECT_EQ(Cell(total, fvcPath).color, 0xFFFFFFu);
    frame->SelectNode(nRun);
    PaintList();
    EXPECT_NE(Cell(nRun, fvcState).color, 0x008000u);
    EXPECT_EQ(Cell(nStop, fvcState).color, 0xFF0000u);

    // Stopped, unreachable and log-less rows hidden: the totals still count them.
    SetSetting("inHideShutdownFolders", true);
    frame->ApplyFilters();
    for (PVirtualNode n : {nRun, nStop, nReady, nNoLog, nShare})
        EXPECT_EQ(frame->VSTree->IsVisible(n), n == nRun || n == nReady);
    EXPECT_EQ(all->ClientCount, 5);
    EXPECT_EQ(all->StoppedCount, 1);
    // The list as copied: shown rows only (overall, two computers, two clients), 14 cells each.
    frame->SelectNode(nRun);
    frame->CopyToClipboard();
    const std::string copied = GetClipboardText();
    EXPECT_EQ(copied, frame->ListText());
    EXPECT_EQ(LineCount(copied), 1 + 5);
    EXPECT_EQ(copied.find("Stopper"), std::string::npos);
    EXPECT_NE(copied.find("\r\n" + sTotal + ";"), std::string::npos);
    EXPECT_NE(copied.find("\r\nRunner;"), std::string::npos);
    EXPECT_EQ(copied.back(), ' ');
    SetSetting("inHideShutdownFolders", false);
    frame->ApplyFilters();
    EXPECT_TRUE(frame->VSTree->IsVisible(nStop));

    // Grouping off: computers hidden, clients under the overall row; and back.
    frame->SetGroupByComputer(false);
    EXPECT_FALSE(frame->VSTree->IsVisible(local));
    EXPECT_FALSE(frame->VSTree->IsVisible(remote));
    for (PVirtualNode n : {nRun, nStop, nReady, nNoLog, nShare})
        EXPECT_EQ(n->Parent, total);
    frame->UpdateSums();
    EXPECT_EQ(frame->GetFahViewSum(local)->ClientCount, 4);
    frame->SetGroupByComputer(true);
    EXPECT_TRUE(frame->VSTree->IsVisible(local));
    EXPECT_EQ(local->ChildCount, 4u);
    EXPECT_EQ(nShare->Parent, remote);
    EXPECT_TRUE(frame->VSTree->Expanded(total));

    // A running client whose project the database lacks asks for a new one.
    const std::string fresh = Folder("fresh", {{"FAHlog.txt", kUnknownLog}});
    HeldFile freshHeld(fresh + "FAHlog.txt");
    PVirtualNode nFresh = Add(fresh, "Fresh");
    ASSERT_TRUE(WaitPolled());
    EXPECT_EQ(View(nFresh)->Status, fsRunning);
    EXPECT_EQ(View(nFresh)->Project, 0);
    frame->ApplyFilters();
    EXPECT_TRUE(PumpUntil([&] { return sink.Count(WM_UPDATEBASEWHENNEED) == 1; }, 20000))
        << sink.Count(WM_UPDATEBASEWHENNEED) << " " << sink.Messages.size();
    EXPECT_EQ(nFresh->Parent, local);

    // Another language: the captions and the overall row's name follow.
    const std::string oldTotal = sTotal, oldPath = sPath;
    sTotal = "Всего";
    sPath = "Папка";
    frame->ApplyLanguage();
    EXPECT_EQ(frame->VSTree->Text(total, fvcPath), "Всего");
    EXPECT_EQ(frame->VSTree->Header().Columns()[fvcPath]->Text(), "Папка");
    sTotal = oldTotal;
    sPath = oldPath;
    frame->ApplyLanguage();
}

TEST_F(FvFrameTest, TwoClientsOnOneWorkUnitAreBoldRedUntilOneMovesOn)
{
    ASSERT_TRUE(HaveDisplay());
    const std::string a = Folder("a", {{"FAHlog.txt", kStopLog}});
    const std::string b = Folder("b", {{"FAHlog.txt", kStopLog}});
    const std::string c = Folder("c", {{"FAHlog.txt", kRunLog}});
    PVirtualNode na = Add(a), nb = Add(b), nc = Add(c);
    ASSERT_TRUE(WaitPolled());
    frame->ApplyFilters();
    frame->SelectNode(frame->TotalNode());
    ASSERT_EQ(View(na)->ProjectRcgText, View(nb)->ProjectRcgText);
    PaintList();
    for (PVirtualNode n : {na, nb}) {
        EXPECT_EQ(Cell(n, fvcRCG).color, 0x0000FFu);
        EXPECT_TRUE(Cell(n, fvcRCG).style & fsBold);
        EXPECT_FALSE(Cell(n, fvcPath).style & fsBold);
    }
    EXPECT_FALSE(Cell(nc, fvcRCG).style & fsBold);

    // b moves on to another unit.
    WriteFile(b + "FAHlog.txt", ReadFile(RealDataFile(kReadyLog)));
    View(nb)->Fah()->RefreshNow(true);
    ASSERT_TRUE(PumpUntil(
        [&] {
            View(nb)->Update();
            return View(nb)->ProjectRcgText != View(na)->ProjectRcgText && !View(nb)->ProjectRcgText.empty();
        },
        10000));
    frame->ApplyFilters();
    PaintList();
    for (PVirtualNode n : {na, nb}) {
        EXPECT_FALSE(Cell(n, fvcRCG).style & fsBold);
        EXPECT_EQ(Cell(n, fvcRCG).color, 0xFF0000u);   // stopped: blue
    }
}

TEST_F(FvFrameTest, RefreshIntervalSetsEveryClientsPollPeriodAndTheTimers)
{
    const std::string a = Folder("a", {});
    const std::string b = Folder("b", {});
    PVirtualNode na = Add(a), nb = Add(b);
    EXPECT_EQ(frame->ListTimer().Interval(), 30000u);
    EXPECT_TRUE(frame->ListTimer().Enabled());
    EXPECT_EQ(frame->SettleTimer().Interval(), 2000u);
    EXPECT_FALSE(frame->SettleTimer().Enabled());
    struct Case {
        DWORD interval, poll;
    };
    for (Case c : {Case{600000, 198000}, Case{30000, 24000}, Case{90000, 28000}}) {
        SCOPED_TRACE(c.interval);
        frame->SetAutoUpdateInterval(c.interval);
        EXPECT_EQ(frame->ListTimer().Interval(), c.interval);
        for (PVirtualNode n : {na, nb})
            EXPECT_EQ(View(n)->Fah()->PollThread()->Interval(), c.poll);
    }
    frame->SetAutoUpdateInterval(30000);

    // F5: every client polls now, the list filters 2 s later.
    int settled = 0;
    frame->OnSettled = [&](TObject*) { ++settled; };
    const long before = View(na)->Fah()->PollThread()->PollCount();
    frame->RefreshAll();
    EXPECT_TRUE(frame->SettleTimer().Enabled());
    EXPECT_TRUE(PumpUntil([&] { return View(na)->Fah()->PollThread()->PollCount() > before; }, 20000));
    Pump(1000);
    EXPECT_EQ(settled, 0);
    EXPECT_TRUE(PumpUntil([&] { return settled == 1; }, 20000));
    EXPECT_FALSE(frame->SettleTimer().Enabled());
    frame->StopTimers();
    EXPECT_FALSE(frame->ListTimer().Enabled());
}

namespace {

std::wstring g_fakeName;
BOOL WINAPI FakeComputerName(LPWSTR buffer, LPDWORD size)
{
    // As the system answers: too small a buffer fails and asks for more.
    if (*size < g_fakeName.size() + 1) {
        *size = static_cast<DWORD>(g_fakeName.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    wcscpy(buffer, g_fakeName.c_str());
    *size = static_cast<DWORD>(g_fakeName.size());
    return TRUE;
}
BOOL WINAPI FailingComputerName(LPWSTR, LPDWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

}  // namespace

TEST(FvComputer, TheComputerOfAPath)
{
    g_fakeName = L"ABCDEFGHIJKLMNO";   // 15 characters, the longest name there is
    SetGetComputerNameForTesting(&FakeComputerName);
    struct Case {
        const char* path;
        const char* computer;
    };
    for (Case c : {Case{"\\\\Farm01\\fah\\c1", "Farm01"}, Case{"  \\\\box\\share  ", "box"},
                   Case{"\\\\host", "abcdefghijklmno"}, Case{"\\\\\\x", "abcdefghijklmno"},
                   Case{"C:\\FAH\\", "abcdefghijklmno"}, Case{"", "abcdefghijklmno"}}) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(GetComputerOfPath(c.path), c.computer);
    }
    SetGetComputerNameForTesting(&FailingComputerName);
    EXPECT_EQ(GetComputerOfPath("C:\\FAH"), "я любимый");
    SetGetComputerNameForTesting(nullptr);
    EXPECT_EQ(GetComputerOfPath("C:\\FAH"), LocalComputer());
}

namespace {

// Points the shell's "open" command of http addresses at the recorder of
// the label tests while it lives.
class HttpOpenCommand {
public:
    explicit HttpOpenCommand(const std::wstring& command)
    {
        LONG size = sizeof old_;
        had_ = RegQueryValueW(HKEY_CLASSES_ROOT, kKey, old_, &size) == ERROR_SUCCESS;
        Set(command);
    }
    ~HttpOpenCommand() { had_ ? Set(old_) : void(RegDeleteKeyW(HKEY_CLASSES_ROOT, kKey)); }

private:
    static constexpr const wchar_t* kKey = L"http\\shell\\open\\command";
    static void Set(const std::wstring& v)
    {
        RegSetValueW(HKEY_CLASSES_ROOT, kKey, REG_SZ, v.c_str(), static_cast<DWORD>(v.size() * sizeof(wchar_t)));
    }
    wchar_t old_[1024] = {};
    bool had_ = false;
};

std::wstring RecorderPath()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring p = self;
    return p.substr(0, p.find_last_of(L'\\') + 1) + L"..\\controls_edit\\controls_link_recorder.exe";
}

}  // namespace

TEST_F(FvFrameTest, MouseAndKeysOnTheList)
{
    ASSERT_TRUE(HaveDisplay());
    std::string log = ReadFile(RealDataFile(kRunLog));
    const std::string user = "A&B #\xD0\x92\xD0\xB0\xD1\x81\xD1\x8F";   // "A&B #Вася"
    log.replace(log.find("harlam357"), 9, user);
    const std::string folder = Folder("linked", {{"FAHlog.txt", "=" + log}});
    PVirtualNode node = Add(folder, "Linked");
    ASSERT_TRUE(WaitPolled());
    frame->ApplyFilters();
    ASSERT_EQ(View(node)->UserName, user);
    for (int c = 1; c < fvcUserTeam; ++c)
        frame->VSTree->Header().Columns()[c]->SetWidth(40);
    SetForegroundWindow(form->Handle());
    UpdateWindow(form->Handle());
    frame->VSTree->SetShowHint(false);   // no hint window between the mouse and the list
    Pump(50);

    const std::string expected =
        "http://fah-web.stanford.edu/cgi-bin/main.py?qtype=userpage&teamnum=32&username=A%26B%20%23%D0%92%D0%B0%D1%81%D1%8F";
    const POINT cell = CellCentre(*frame, node, fvcUserTeam);
    MoveMouse(cell);
    EXPECT_EQ(frame->HotColumn(), fvcUserTeam);
    EXPECT_EQ(frame->VSTree->Hint(), "Ctrl+Click " + sForJumpTo + " " + expected);
    EXPECT_TRUE(frame->VSTree->TreeOptions().PaintOptions() & toHotTrack);
    // Over a column without a link: the folder as the hint, no hot column.
    MoveMouse(CellCentre(*frame, node, fvcState));
    EXPECT_EQ(frame->HotColumn(), -1);
    EXPECT_EQ(frame->VSTree->Hint(), folder);

    TempDir out("fvlink");
    const std::string recorded = out.File("opened.txt");
    HttpOpenCommand command(L"\"" + RecorderPath() + L"\" \"" + Utf8ToWide(recorded) + L"\" \"%1\"");
    MoveMouse(cell);
    std::vector<INPUT> click{KeyInput(VK_CONTROL, false)};
    for (const INPUT& i : MouseClickAt(cell))
        click.push_back(i);
    click.push_back(KeyInput(VK_CONTROL, true));
    ASSERT_TRUE(SendInputPumping(click));
    std::string got;
    PumpUntil(
        [&] {
            got = GetFileAttributesW(Utf8ToWide(recorded).c_str()) != INVALID_FILE_ATTRIBUTES ? ReadFile(recorded) : "";
            return !got.empty();
        },
        10000);
    EXPECT_EQ(got, expected + "\n");

    // A double-click opens the folder in the explorer, the system's by its
    // full path (here the stand-in in system\ beside this test, which
    // records its command line).
    SetSystemProgramFolderForTesting(ExeFolder() + "system\\");
    const std::string explorer = "\"" + ExeFolder() + "system\\explorer.exe\" \"" + folder + "\"";
    std::vector<std::string> commands;
    auto run = frame->RunCommand;
    frame->RunCommand = [&](const std::string& c) {
        commands.push_back(c);
        return run(c);
    };
    const std::string started = out.File("explorer.log");
    SetEnvironmentVariableW(L"BX_SC_LOG", Utf8ToWide(started).c_str());
    MoveMouse(CellCentre(*frame, node, fvcState));
    std::vector<INPUT> twice = MouseClickAt(CellCentre(*frame, node, fvcState));
    std::vector<INPUT> second = MouseClickAt(CellCentre(*frame, node, fvcState));
    twice.insert(twice.end(), second.begin(), second.end());
    ASSERT_TRUE(SendInputPumping(twice));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], explorer);
    EXPECT_TRUE(PumpUntil([&] { return FileExists(started) && ReadFile(started).find("->") != std::string::npos; },
                          10000));
    EXPECT_EQ(FileExists(started) ? SplitLines(ReadFile(started))[0] : std::string(), explorer);
    SetEnvironmentVariableW(L"BX_SC_LOG", nullptr);
    SetSystemProgramFolderForTesting("");

    // Ctrl+Left folds the whole list, Ctrl+Right unfolds it.
    PVirtualNode total = frame->TotalNode();
    frame->VSTree->SetFocus();
    ASSERT_TRUE(SendInputPumping(Chord({VK_CONTROL, VK_LEFT})));
    EXPECT_FALSE(frame->VSTree->Expanded(total));
    ASSERT_TRUE(SendInputPumping(Chord({VK_CONTROL, VK_DOWN})));
    EXPECT_TRUE(frame->VSTree->Expanded(node->Parent));
    SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 50);
}

// The totals row's white text stays readable when it is the selected row of
// a list without the keyboard (drawn on the light colour of such a row).
TEST_F(FvFrameTest, TheSelectedTotalsRowIsReadableWhenTheListHasNoKeyboard)
{
    ASSERT_TRUE(HaveDisplay());
    Add(Folder("a", {{"FAHlog.txt", kRunLog}}));
    frame->SelectNode(frame->TotalNode());
    frame->VSTree->SetFocus();
    PaintList();
    EXPECT_EQ(Cell(frame->TotalNode(), fvcPath).color, 0xFFFFFFu);
    frame->FAHLogFrame->VSTree->SetFocus();
    PaintList();
    EXPECT_NE(Cell(frame->TotalNode(), fvcPath).color, 0xFFFFFFu);
    EXPECT_EQ(Cell(frame->TotalNode(), fvcPath).color, frame->VSTree->Font().Color());
}

// A computer's row goes with its last client, grouped or not; another
// computer's row stays while it has a client.
TEST_F(FvFrameTest, DeletingAComputersLastClientDeletesItsRow)
{
    ASSERT_TRUE(HaveDisplay());
    PVirtualNode local1 = Add(Folder("one", {}), "One");
    PVirtualNode local2 = Add(Folder("two", {}), "Two");
    PVirtualNode remote = Add("\\\\fvhost\\share\\client\\", "Remote");
    PVirtualNode other = Add("\\\\fvother\\share\\client\\", "Other");
    ASSERT_TRUE(frame->FindComputerNode("fvhost") && frame->FindComputerNode("fvother"));

    frame->SelectNode(remote);
    frame->DeleteClientNode(remote);
    EXPECT_EQ(frame->FindComputerNode("fvhost"), nullptr);
    EXPECT_NE(frame->FindComputerNode("fvother"), nullptr);
    EXPECT_NE(frame->VSTree->FocusedNode(), nullptr);
    frame->DeleteClientNode(local1);
    EXPECT_EQ(frame->VSTree->ChildCount(frame->TotalNode()), 2u);

    // Grouping off: the computer's row is empty but stays while it has a client.
    frame->SetGroupByComputer(false);
    frame->DeleteClientNode(local2);
    frame->SetGroupByComputer(true);
    PVirtualNode total = frame->TotalNode();
    ASSERT_EQ(frame->VSTree->ChildCount(total), 1u);
    EXPECT_EQ(total->FirstChild, frame->FindComputerNode("fvother"));
    EXPECT_EQ(total->FirstChild->FirstChild, other);
}

// A folder added while the program runs (selected as it comes) shows its
// data and its client.cfg once its first poll is read: a stopped client
// tells nothing more after its first state, and nobody selects it again.
TEST_F(FvFrameTest, AnAddedStoppedFolderShowsItsDataAndClientCfgAfterItsFirstPoll)
{
    ASSERT_TRUE(HaveDisplay());
    Add(Folder("old", {}), "Old");
    TAddFahParams p;
    p.folder = Folder("stop", {{"FAHlog.txt", kStopLog}, {"client.cfg", "=[settings]\nusername=new\n"}});
    p.alias = "New";
    p.notifyWindows = {sink.Handle()};
    p.updateNow = true;
    PVirtualNode node = frame->AddFah(p);
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(frame->VSTree->FocusedNode(), node);
    TFAHThread* t = View(node)->Fah()->PollThread();
    ASSERT_TRUE(PumpUntil([&] { return t->PollCount() >= 1 && !t->Polling(); }, 10000));
    const std::vector<std::string> cfg{"[settings]", "username=new"};
    EXPECT_TRUE(PumpUntil([&] { return frame->FAHIniFrame->Lines() == cfg; }, 20000));
    EXPECT_TRUE(PumpUntil([&] { return frame->VSTree->Text(node, fvcProjNum) == "5113"; }, 20000));
    EXPECT_EQ(frame->VSTree->Text(node, fvcState), StatusNames[fsShutdown]);
    EXPECT_EQ(frame->VSTree->FocusedNode(), node);
}

// At the State column's default width its texts show whole in every
// language: a client's state ("готовий до відправлення") and the totals
// rows' summaries, as the list measures them when it paints.
TEST_F(FvFrameTest, TheStateColumnShowsItsTextsWholeInEveryLanguage)
{
    ASSERT_TRUE(HaveDisplay());
    const std::string run = Folder("run", {{"FAHlog.txt", kRunLog}});
    HeldFile runHeld(run + "FAHlog.txt");
    Add(run, "Runner");
    Add(Folder("ready", {{"FAHlog.txt", kReadyLog}, {"work\\wuresults_01.dat", "=r"}}), "Sender");
    Add(Folder("stop", {{"FAHlog.txt", kStopLog}}), "Stopper");
    ASSERT_TRUE(WaitPolled());
    ASSERT_EQ(frame->VSTree->Header().Columns()[fvcState]->Width(), 120);
    std::vector<std::string> cut;
    frame->VSTree->OnShortenString = [&](TBaseVirtualTree*, TCanvas&, PVirtualNode, TColumnIndex column,
                                         const std::string& s, int, std::string&, bool&) {
        if (column == fvcState)
            cut.push_back(s);
    };
    for (const char* language : {"LANG_RU", "LANG_UA", "LANG_EN"}) {
        LoadLanguageResource(language);
        LoadLangGlobals();
        ReloadLanguage();
        frame->ApplyLanguage();
        frame->ApplyFilters();
        cut.clear();
        PaintList();
        EXPECT_FALSE(painted.empty()) << language;
        EXPECT_TRUE(cut.empty()) << language << ": " << (cut.empty() ? "" : cut[0]);
    }
    frame->VSTree->OnShortenString = nullptr;
}

// What the paint draws against the cell the paint has: the ink of each
// totals row's summary ends before the text margin at the cell's right
// edge (a cut text runs up to where the cell clips it). Thirteen folders
// make the summaries long enough to need the column widened.
TEST_F(FvFrameTest, TheTotalsSummariesAreDrawnWithinTheirCells)
{
    ASSERT_TRUE(HaveDisplay());
    const std::string run = Folder("run", {{"FAHlog.txt", kRunLog}});
    HeldFile runHeld(run + "FAHlog.txt");
    for (int i = 0; i < 12; ++i)
        Add(Folder("stop" + std::to_string(i), {{"FAHlog.txt", kStopLog}}), "S" + std::to_string(i));
    Add(run, "Runner");
    ASSERT_TRUE(WaitPolled());
    TVirtualStringTree* tree = frame->VSTree;
    const PVirtualNode total = frame->TotalNode();
    const PVirtualNode computer = frame->FindComputerNode(LocalComputer());
    ASSERT_TRUE(total && computer);
    for (const char* language : {"LANG_RU", "LANG_UA", "LANG_EN"}) {
        LoadLanguageResource(language);
        LoadLangGlobals();
        ReloadLanguage();
        frame->ApplyLanguage();
        frame->ApplyFilters();
        tree->Invalidate();
        UpdateWindow(tree->Handle());
        HDC dc = GetDC(tree->Handle());
        for (PVirtualNode row : {total, computer}) {
            const RECT cell = tree->NodeDisplayRect(row, fvcState, false);
            const int textRight = cell.right - 1 - tree->TextMargin();   // the grid line, the margin
            const COLORREF back = GetPixel(dc, cell.left + 1, (cell.top + cell.bottom) / 2);
            int ink = -1;
            for (int x = cell.left; x < cell.right - 1; ++x)
                for (int y = cell.top + 2; y < cell.bottom - 2; ++y)
                    if (GetPixel(dc, x, y) != back)
                        ink = x;
            EXPECT_GT(ink, cell.left) << language;
            EXPECT_LT(ink + 1, textRight) << language << ": " << frame->GetFahViewSum(row)->GetStatusSummary();
        }
        ReleaseDC(tree->Handle(), dc);
    }
}
