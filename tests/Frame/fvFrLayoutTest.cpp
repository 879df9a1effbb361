// The detail part of the main list: pages or side by side, the layout
// values and the parameter columns through the registry, and the previous
// log of quick selections (a 10 MB log read first must not show under the
// client selected after it; of logs gigabytes long only the end is read).
#include "fvFrTestSupport.h"

#include <winioctl.h>

#include <algorithm>

#include "Classes/Lang.h"
#include "Frame/IniFr.h"
#include "Frame/LogFr.h"
#include "Frame/ParamFr.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "controls/SimpleTimer.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/PageControl.h"
#include "platform/Registry.h"
#include "platform/StdCtrls.h"
#include "platform/StringList.h"
#include "platform/Text.h"
#include "platform/Splitter.h"
#include "support/DialogDriver.h"
#include "support/Input.h"

using namespace testing_support;
using namespace fv_test;

TEST_F(FvFrameTest, PagesOrSideBySideAndTheLayoutInTheRegistry)
{
    // Pages: the log, "client.cfg"; the previous log's tab only when asked for.
    EXPECT_TRUE(frame->TabSheet1->TabVisible());
    EXPECT_TRUE(frame->TabSheet2->TabVisible());
    EXPECT_FALSE(frame->TabSheet3->TabVisible());
    EXPECT_EQ(frame->FAHIniFrame->Parent(), frame->TabSheet2);
    frame->SetShowPrevLog(true);
    EXPECT_TRUE(frame->TabSheet3->TabVisible());
    EXPECT_FALSE(frame->FL2Panel->Visible());
    frame->SetShowAllLogWindows(true);
    for (TTabSheet* t : {frame->TabSheet1, frame->TabSheet2, frame->TabSheet3})
        EXPECT_FALSE(t->TabVisible());
    EXPECT_EQ(frame->PageControl1->ActivePage(), frame->TabSheet1);
    EXPECT_EQ(frame->FAHIniFrame->Parent(), frame->FLPanel);
    EXPECT_EQ(frame->FAHPrevLogFrame->Parent(), frame->FL2Panel);
    EXPECT_TRUE(frame->FLPanel->Visible() && frame->FLSplitter->Visible());
    EXPECT_TRUE(frame->FL2Panel->Visible() && frame->FL2Splitter->Visible());
    frame->SetShowPrevLog(false);
    EXPECT_FALSE(frame->FL2Panel->Visible() || frame->FL2Splitter->Visible());
    frame->SetShowAllLogWindows(false);
    EXPECT_TRUE(frame->TabSheet1->TabVisible());
    EXPECT_FALSE(frame->TabSheet3->TabVisible() || frame->FLPanel->Visible());
    EXPECT_EQ(frame->FAHIniFrame->Parent(), frame->TabSheet2);
    EXPECT_EQ(frame->FAHPrevLogFrame->Parent(), frame->TabSheet3);

    // The layout round trip: panel sizes and the parameter frame's columns.
    const std::string columnsKey = std::string(kKey) + "\\FAHView";
    frame->BottomPanel->SetHeight(250);
    frame->FAHParamFrame->SetWidth(300);
    frame->FLPanel->SetWidth(180);
    frame->FL2Panel->SetWidth(410);
    frame->FAHParamFrame->VSTree->Header().Columns()[0]->SetWidth(123);
    frame->SaveColumns(columnsKey);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(columnsKey, false));
        EXPECT_EQ(reg.ReadInteger("BottomPanel_Height"), 250);
        EXPECT_EQ(reg.ReadInteger("ParamFrame_Width"), 300);
        EXPECT_EQ(reg.ReadInteger("FLPanel_Width"), 180);
        EXPECT_EQ(reg.ReadInteger("FL2Panel_Width"), 410);
        ASSERT_TRUE(reg.OpenKey(std::string(kKey) + "\\FAHView\\ParamFame", false));
        EXPECT_EQ(reg.ReadString("ColSizes").substr(0, 4), "123;");
    }
    auto* other = new TfvFrame(form);
    other->SetParent(form);
    other->LoadColumns(columnsKey);
    EXPECT_EQ(other->BottomPanel->Height(), 250);
    EXPECT_EQ(other->FAHParamFrame->Width(), 300);
    EXPECT_EQ(other->FLPanel->Width(), 180);
    EXPECT_EQ(other->FL2Panel->Width(), 410);
    EXPECT_EQ(other->FAHParamFrame->VSTree->Header().Columns()[0]->Width(), 123);
    // Without a stored width the previous log's panel is 160 wider than the other.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(columnsKey, false));
        reg.DeleteValue("FL2Panel_Width");
    }
    other->LoadColumns(columnsKey);
    EXPECT_EQ(other->FL2Panel->Width(), 180 + 160);
    delete other;
    // A height stored as 0xFFFFFFFF leaves the panel as it is made, and
    // that is what is saved back.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(columnsKey, false));
        reg.WriteInteger("BottomPanel_Height", -1);
    }
    other = new TfvFrame(form);
    other->SetParent(form);
    const int madeHeight = other->BottomPanel->Height();
    ASSERT_GT(madeHeight, 0);
    other->LoadColumns(columnsKey);
    EXPECT_EQ(other->BottomPanel->Height(), madeHeight);
    other->SaveColumns(columnsKey);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(columnsKey, false));
        EXPECT_EQ(reg.ReadInteger("BottomPanel_Height"), madeHeight);
    }
    delete other;

}

TEST_F(FvFrameTest, ThePreviousLogShownIsTheLastSelectedClients)
{
    ASSERT_TRUE(HaveDisplay());
    // A 10 MB previous log for the first client, a small one for the second.
    std::string big;
    const std::string piece = ReadFile(RealDataFile("fahlog-cpu-service-b4-82-shutdown-restart.txt"));
    while (big.size() < 10u << 20)
        big += piece;
    const std::string small = ReadFile(RealDataFile("fahlog-smp-a4-bigadv-running.txt"));
    const std::string a = Folder("a", {{"FAHlog-Prev.txt", "=" + big}});
    const std::string b = Folder("b", {{"FAHlog-Prev.txt", "=" + small}});
    PVirtualNode na = Add(a, "A"), nb = Add(b, "B");
    frame->SetShowPrevLog(true);
    frame->PageControl1->SetActivePage(frame->TabSheet3);

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        frame->SelectNode(frame->TotalNode());
        frame->SelectNode(na);
        frame->SelectNode(nb);
        EXPECT_EQ(frame->PrevLogPath(), b + "FAHlog-Prev.txt");
        ASSERT_TRUE(PumpUntil([] { return TPrevLogReader::Running() == 0; }, 20000));
        Pump(100);
        EXPECT_EQ(frame->PrevLogShownPath(), b + "FAHlog-Prev.txt");
        EXPECT_TRUE(frame->FAHPrevLogFrame->ShownText() == small);
    }
    // The page hidden: no read.
    frame->PageControl1->SetActivePage(frame->TabSheet1);
    frame->SelectNode(na);
    EXPECT_EQ(TPrevLogReader::Running(), 0);
    EXPECT_EQ(frame->PrevLogShownPath(), b + "FAHlog-Prev.txt");

    // A read still running when the frame goes ends without touching it.
    frame->PageControl1->SetActivePage(frame->TabSheet3);
    frame->SelectNode(nb);
    frame->SelectNode(na);
    delete form;
    form = nullptr;
    EXPECT_TRUE(PumpUntil([] { return TPrevLogReader::Running() == 0; }, 20000));
}

// A file of size bytes ending with end; the rest is a hole that takes no
// room on the disk and no time to write.
void WriteSparseFile(const std::string& path, uint64_t size, const std::string& end)
{
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD n = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &n, nullptr);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size - end.size());
    EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
    EXPECT_TRUE(WriteFile(h, end.data(), static_cast<DWORD>(end.size()), &n, nullptr));
    CloseHandle(h);
}

TEST_F(FvFrameTest, ArrowingThroughHugePreviousLogsReadsOnlyTheirEnds)
{
    ASSERT_TRUE(HaveDisplay());
    // Six clients whose previous logs are 3 GB long and end with a real log.
    const std::string real = ReadFile(RealDataFile("fahlog-cpu-service-b4-82-shutdown-restart.txt"));
    std::vector<std::string> folders;
    std::vector<PVirtualNode> nodes;
    for (char c = 'a'; c < 'g'; ++c) {
        folders.push_back(Folder(std::string(1, c), {}));
        WriteSparseFile(folders.back() + "FAHlog-Prev.txt", 3ull << 30, "\r\n" + real);
        nodes.push_back(Add(folders.back()));
    }
    frame->SetShowPrevLog(true);
    frame->PageControl1->SetActivePage(frame->TabSheet3);
    ASSERT_TRUE(PumpUntil([] { return TPrevLogReader::Running() == 0; }, 20000));

    // Every selection asks for a read; the reads of the clients passed by
    // give way, and no more than two readers ever run.
    long most = 0;
    for (int round = 0; round < 3; ++round)
        for (PVirtualNode n : nodes) {
            frame->SelectNode(n);
            most = std::max(most, TPrevLogReader::Running());
        }
    EXPECT_LE(most, 2);
    ASSERT_TRUE(PumpUntil([] { return TPrevLogReader::Running() == 0; }, 20000));
    Pump(100);
    // The last client's log shows: its end, under the note row.
    EXPECT_EQ(frame->PrevLogShownPath(), folders.back() + "FAHlog-Prev.txt");
    TLogFrame* shown = frame->FAHPrevLogFrame;
    EXPECT_TRUE(shown->ShownText() == real);
    ASSERT_NE(shown->NoteRow(), nullptr);
    EXPECT_EQ(shown->NoteRow(), shown->VSTree->GetFirstChild(nullptr));
    EXPECT_EQ(shown->NodeText(shown->NoteRow()), sLogStartNotShown);
    EXPECT_EQ(shown->LineCount(), 1 + static_cast<int>(SplitLines(real).size()));
}

TEST_F(FvFrameTest, RefreshKeepsUnsavedClientCfgEditsOfTheSelectedClient)
{
    const char log[] = "fahlog-smp-a4-bigadv-running.txt";
    const std::string a = Folder("a", {{"FAHlog.txt", log}, {"client.cfg", "=[settings]\nusername=a\n"}});
    const std::string b = Folder("b", {{"FAHlog.txt", log}, {"client.cfg", "=[settings]\nusername=b\n"}});
    PVirtualNode na = Add(a), nb = Add(b);
    ASSERT_TRUE(WaitPolled());
    frame->SelectNode(na);
    ASSERT_EQ(frame->FAHIniFrame->Lines(), (std::vector<std::string>{"[settings]", "username=a"}));
    frame->FAHIniFrame->InsertLine("team=32");
    ASSERT_TRUE(frame->FAHIniFrame->Modified());
    frame->RefreshAll();
    ASSERT_TRUE(PumpUntil([&] { return !frame->SettleTimer().Enabled(); }, 20000));
    EXPECT_TRUE(frame->FAHIniFrame->Modified());
    EXPECT_EQ(frame->FAHIniFrame->Lines().size(), 3u);
    // Another client shows its own file once the edits are dropped.
    DialogDriver dropEdits([](HWND box) { PressDialogButton(box, IDNO); });
    frame->SelectNode(nb);
    EXPECT_TRUE(PumpUntil([&] { return frame->FAHIniFrame->Lines().size() == 2 && dropEdits.Acted(); }, 10000));
    EXPECT_EQ(frame->FAHIniFrame->Lines(), (std::vector<std::string>{"[settings]", "username=b"}));
}

namespace {

// The texts of a message box's static controls, joined.
BOOL CALLBACK CollectStatic(HWND child, LPARAM param)
{
    wchar_t cls[16] = {};
    GetClassNameW(child, cls, 16);
    if (lstrcmpiW(cls, L"Static") == 0)
        *reinterpret_cast<std::string*>(param) += WindowText(child);
    return TRUE;
}

// A visible dialog of this process other than `old`, waited for up to ms.
HWND NextDialog(HWND old, DWORD ms)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(30))
        if (HWND d = FindProcessDialog(); d && d != old)
            return d;
    return nullptr;
}

// Runs a function on the thread that made it while that thread sits in a
// modal box's loop: another thread sends it a message.
class RunOnGuiThread : public THiddenWindow {
public:
    std::function<void()> Run;
    void From(HWND) { SendMessageW(Handle(), WM_APP, 0, 0); }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg != WM_APP)
            return THiddenWindow::WndProc(msg, wParam, lParam);
        Run();
        return 0;
    }
};

}  // namespace

// Clicking another client while "client.cfg" edits are unsaved asks, in the
// chosen language, whether to save them: Yes writes the file and shows the
// other client's, No drops the edits and shows it, Cancel goes back to the
// edited client's row with the edits still there. Until it is answered the
// edited client's log and parameters stay on show. Yes with the file moved
// away says so and goes back as Cancel does.
TEST_F(FvFrameTest, UnsavedClientCfgEditsAreAskedAboutWhenAnotherClientIsClicked)
{
    ASSERT_TRUE(HaveDisplay());
    LoadLanguageResource("LANG_RU");
    LoadLangGlobals();
    ReloadLanguage();
    const char log[] = "fahlog-smp-a4-bigadv-running.txt";
    const std::string a = Folder("a", {{"FAHlog.txt", log}, {"client.cfg", "=[settings]\nusername=a\n"}});
    const std::string b = Folder("b", {{"FAHlog.txt", log}, {"client.cfg", "=[settings]\nusername=b\n"}});
    PVirtualNode na = Add(a, "A"), nb = Add(b, "B");
    ASSERT_TRUE(WaitPolled());
    TIniFrame& ini = *frame->FAHIniFrame;
    const std::vector<std::string> bLines{"[settings]", "username=b"};
    struct Case {
        int button;
        std::string fileAfter;
        PVirtualNode selectedAfter;
        std::vector<std::string> linesAfter;
        bool movedAway = false;
    };
    const std::vector<std::string> aEdited{"[settings]", "team=32", "username=a"};
    const Case cases[] = {
        {IDCANCEL, "[settings]\nusername=a\n", na, aEdited},
        {IDNO, "[settings]\nusername=a\n", nb, bLines},
        {IDYES, "[settings]\nusername=a\n", na, aEdited, true},
        {IDYES, "[settings]\nteam=32\nusername=a\n", nb, bLines},
    };
    RunOnGuiThread gui;
    TFahView* shownBehind = nullptr;
    gui.Run = [&] { shownBehind = frame->FAHParamFrame->View(); };
    gui.Handle();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button + 10 * c.movedAway);
        Pump(GetDoubleClickTime() + 100);   // the click on the same row is no double-click
        frame->SelectNode(na);
        ASSERT_EQ(ini.Lines(), (std::vector<std::string>{"[settings]", "username=a"}));
        ini.InsertLine("team=32");
        ASSERT_TRUE(ini.Modified());
        if (c.movedAway) {
            ASSERT_TRUE(MoveFileW(Utf8ToWide(a + "client.cfg").c_str(), Utf8ToWide(a + "moved.cfg").c_str()));
        }
        std::string question, buttons, told;
        shownBehind = nullptr;
        DialogDriver answer([&](HWND box) {
            EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&question));
            for (int id : {IDYES, IDNO, IDCANCEL})
                buttons += WindowText(GetDlgItem(box, id)) + "|";
            gui.From(box);
            PressDialogButton(box, c.button);
            if (HWND next = c.movedAway ? NextDialog(box, 10000) : nullptr) {
                told = WindowText(GetDlgItem(next, 0xFFFF));
                PressDialogButton(next, IDOK);
            }
        });
        frame->VSTree->ScrollIntoView(nb, false);
        const RECT r = frame->VSTree->NodeDisplayRect(nb, 0, false);
        POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(frame->VSTree->Handle(), &at);
        ASSERT_TRUE(SendInputPumping(MouseClickAt(at)));
        ASSERT_TRUE(PumpUntil([&] { return answer.Acted() && !FindProcessDialog(); }, 10000));
        Pump(100);
        EXPECT_EQ(question, "Сохранить изменения в " + a + "client.cfg?");
        EXPECT_EQ(buttons, "&Да|&Нет|Отмена|");
        EXPECT_EQ(shownBehind, View(na));
        if (c.movedAway) {
            EXPECT_EQ(told, FillIn(sClientCfgGone, {a + "client.cfg"}));
            EXPECT_FALSE(FileExists(a + "client.cfg"));
            ASSERT_TRUE(MoveFileW(Utf8ToWide(a + "moved.cfg").c_str(), Utf8ToWide(a + "client.cfg").c_str()));
        }
        EXPECT_EQ(ReadFile(a + "client.cfg"), c.fileAfter);
        EXPECT_EQ(frame->VSTree->FocusedNode(), c.selectedAfter);
        EXPECT_TRUE(frame->VSTree->Selected(c.selectedAfter));
        EXPECT_EQ(ini.Lines(), c.linesAfter);
        EXPECT_EQ(ini.Modified(), c.selectedAfter == na);
        EXPECT_EQ(frame->FAHParamFrame->View(), View(c.selectedAfter));
        if (c.selectedAfter == na) {
            ini.Cancel();
            ASSERT_FALSE(ini.Modified());
        }
    }
    LoadLanguageResource("LANG_EN");
    LoadLangGlobals();
    ReloadLanguage();
}

// A list tabbed into while no row of it is focused shows the focus
// rectangle on its first row: the parameter list after the client list, the
// "client.cfg" list after the page strip. The first row's top edge is read
// with the list focused and again after the focus went back to the list.
TEST_F(FvFrameTest, AListTabbedIntoWithNoFocusedRowShowsTheFocusOnItsFirstRow)
{
    ASSERT_TRUE(HaveDisplay());
    const std::string a = Folder("a", {{"FAHlog.txt", "fahlog-smp-a4-bigadv-running.txt"},
                                       {"client.cfg", "=[settings]\nusername=a\n"}});
    PVirtualNode na = Add(a);
    ASSERT_TRUE(WaitPolled());
    frame->SelectNode(na);
    frame->PageControl1->SetActivePage(frame->TabSheet2);
    auto firstRowEdge = [](TVirtualStringTree* tree) {
        tree->Invalidate();
        UpdateWindow(tree->Handle());
        const RECT r = tree->NodeDisplayRect(tree->GetFirstVisible(), 0, false);
        std::vector<COLORREF> edge;
        HDC dc = GetDC(tree->Handle());
        for (int x = r.left; x < r.right; ++x)
            edge.push_back(GetPixel(dc, x, r.top));
        ReleaseDC(tree->Handle(), dc);
        return edge;
    };
    struct Case {
        TVSTFrame* list;
        TWinControl* before;   // Tab from here reaches the list
    };
    for (const Case& c : {Case{frame->FAHParamFrame, frame->VSTree}, Case{frame->FAHIniFrame, frame->PageControl1}}) {
        TVirtualStringTree* tree = c.list->VSTree;
        tree->ClearSelection();
        tree->SetFocusedNode(nullptr);
        SetForegroundWindow(form->Handle());
        c.before->SetFocus();
        Pump(50);
        ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
        ASSERT_TRUE(tree->Focused()) << c.list->Name();
        ASSERT_EQ(tree->FocusedNode(), nullptr);
        const std::vector<COLORREF> focused = firstRowEdge(tree);
        frame->VSTree->SetFocus();
        Pump(50);
        const std::vector<COLORREF> unfocused = firstRowEdge(tree);
        ASSERT_EQ(focused.size(), unfocused.size());
        size_t differ = 0;
        for (size_t i = 0; i < focused.size(); ++i)
            differ += focused[i] != unfocused[i];
        EXPECT_GE(differ, focused.size() / 4) << c.list->Name();
    }
}

TEST_F(FvFrameTest, ABackgroundPictureIsFoundInQuotesAndSkippedWithANoteWhenItsHeaderCannotBeTrusted)
{
    const std::string good = dir->File("good.bmp");
    WriteFile(good, BmpFile(8, 4, 24, 8 * 3 * 4));
    // 161-byte files whose headers claim pictures no screen needs (the
    // first one's size wraps in 32 bits), and a bitmap cut short.
    const std::pair<std::string, std::string> bad[] = {
        {dir->File("wraps.jpg"), "65500 x 21858 pixels"},
        {dir->File("huge.bmp"), "65500 x 21858 pixels"},
        {dir->File("cut.bmp"), "holds less than its headers claim"},
    };
    WriteFile(bad[0].first, JpegClaiming(65500, 21858));
    WriteFile(bad[1].first, BmpFile(65500, 21858, 32, 161 - 54));
    WriteFile(bad[2].first, BmpFile(100, 100, 24, 161 - 54));
    TBaseVirtualTree* trees[] = {frame->VSTree, frame->FAHLogFrame->VSTree, frame->FAHParamFrame->VSTree};
    for (const auto& [path, why] : bad) {
        SCOPED_TRACE(path);
        frame->SetListBackground(good);
        EXPECT_EQ(frame->VSTree->Background().Width(), 8);
        ClearCaughtErrors();
        frame->SetListBackground(path);
        frame->SetLogBackground(path);
        frame->SetParamBackground(path);
        for (TBaseVirtualTree* tree : trees)
            EXPECT_TRUE(tree->Background().Empty());
        std::vector<std::string> notes = CaughtErrors();
        ASSERT_EQ(notes.size(), 4u);   // the log's picture is loaded for both logs
        EXPECT_NE(notes[0].find(path), std::string::npos) << notes[0];
        EXPECT_NE(notes[0].find(why), std::string::npos) << notes[0];
    }
    ClearCaughtErrors();
    // A file that is not there is no error: the defaults name such files.
    frame->SetListBackground(dir->File("none.bmp"));
    EXPECT_TRUE(CaughtErrors().empty());
    ASSERT_TRUE(frame->VSTree->Background().Empty());
    // A real bitmap (the edit buttons' glyph) in a folder with a blank, stored in quotes or not.
    TempDir pictures("pic dir");
    const std::string path = pictures.File("my picture.bmp");
    WriteFile(path, ReadFile(SourceDir() + "resources\\controls\\feditbmp.bmp"));
    for (const std::string& stored : {"\"" + path + "\"", path}) {
        frame->SetListBackground(stored);
        EXPECT_GT(frame->VSTree->Background().Width(), 0) << stored;
    }
}

TEST_F(FvFrameTest, SidePanesGiveWayInASmallWindowAndComeBackInALargeOne)
{
    ASSERT_TRUE(HaveDisplay());
    // Widths saved from a large window.
    const std::string key = std::string(kKey) + "\\FAHView";
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, true));
        reg.WriteInteger("ParamFrame_Width", 320);
        reg.WriteInteger("FLPanel_Width", 250);
        reg.WriteInteger("FL2Panel_Width", 300);
    }
    frame->LoadColumns(key);
    frame->SetShowAllLogWindows(true);
    frame->SetShowPrevLog(true);
    Pump(50);
    EXPECT_EQ(frame->FAHParamFrame->Width(), 320);
    EXPECT_EQ(frame->FLPanel->Width(), 250);
    EXPECT_EQ(frame->FL2Panel->Width(), 300);

    // "client.cfg" and the previous log beside the log in an 800 x 600 window:
    // the log keeps a third of its row, the pages a third of theirs.
    form->SetBounds(0, 0, 800, 600);
    Pump(50);
    const int row = frame->TabSheet1->ClientRect().right;
    EXPECT_GE(frame->FAHLogFrame->Width(), row / 3 - 1) << row;
    EXPECT_GE(frame->PageControl1->Width(), frame->BottomPanel->ClientRect().right / 3 - 1);
    EXPECT_LT(frame->FLPanel->Width(), 250);
    EXPECT_LT(frame->FLPanel->Width(), frame->FL2Panel->Width());
    // What is saved is what the user gave them.
    frame->SaveColumns(key);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, false));
        EXPECT_EQ(reg.ReadInteger("FLPanel_Width"), 250);
        EXPECT_EQ(reg.ReadInteger("FL2Panel_Width"), 300);
    }
    form->SetBounds(0, 0, 1250, 900);
    Pump(50);
    EXPECT_EQ(frame->FLPanel->Width(), 250);
    EXPECT_EQ(frame->FL2Panel->Width(), 300);
}

// The value of a folder without a configuration, "not defined (press "Edit
// folder")", shows whole in the parameter frame at its default width: the
// value column ends inside the list, and the row takes a second line.
TEST_F(FvFrameTest, TheNoConfigurationPlaceholderShowsWholeInTheParameterFrame)
{
    ASSERT_TRUE(HaveDisplay());
    PVirtualNode n = Add(Folder("a", {{"FAHlog.txt", "fahlog-smp-a4-bigadv-running.txt"}}));
    ASSERT_TRUE(WaitPolled());
    frame->SelectNode(n);
    TVirtualStringTree* tree = frame->FAHParamFrame->VSTree;
    ASSERT_EQ(frame->FAHParamFrame->Width(), 360);
    for (const char* language : {"LANG_RU", "LANG_EN"}) {
        LoadLanguageResource(language);
        LoadLangGlobals();
        ReloadLanguage();
        frame->ApplyLanguage();
        frame->ApplyFilters();
        Pump(50);
        PVirtualNode first = tree->GetFirstVisible();
        ASSERT_EQ(tree->Text(first, 1), sConfigNotDefined);
        const RECT cell = tree->NodeDisplayRect(first, 1, false);
        EXPECT_LE(cell.right, tree->ClientRect().right) << language;
        EXPECT_EQ(tree->Header().Columns()[0]->Width(), 200) << language;
        EXPECT_TRUE(tree->MultiLine(first)) << language;
        EXPECT_GT(tree->NodeHeight(first), tree->NodeHeight(first->NextSibling)) << language;
    }
}

// A log shown to its end keeps its end in view when the window is maximised
// and restored (the horizontal scroll bar of its long lines comes back and
// takes room at the bottom); a log the user scrolled up keeps its top row.
TEST_F(FvFrameTest, TheLogKeepsItsEndInViewThroughMaximiseAndRestore)
{
    ASSERT_TRUE(HaveDisplay());
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "[12:00:" + std::to_string(i) + "] line " + std::to_string(i) + " " + std::string(110, 'x') + "\r\n";
    PVirtualNode n = Add(Folder("long", {{"FAHlog.txt", "=" + text}}));
    frame->SelectNode(n);
    TBaseVirtualTree* log = frame->FAHLogFrame->VSTree;
    ASSERT_TRUE(PumpUntil([&] { frame->ApplyFilters(); return frame->FAHLogFrame->LineCount() == 60; }, 10000))
        << "the log's 60 lines";
    // Narrow enough for the long lines to need the horizontal bar.
    form->SetBounds(0, 0, 800, 600);
    Pump(50);
    auto lastBottom = [&] { return log->NodeDisplayRect(log->GetLastChild(nullptr), NoColumn, false).bottom; };
    auto maximiseAndRestore = [&] {
        ShowWindow(form->Handle(), SW_MAXIMIZE);
        EXPECT_TRUE(PumpUntil([&] { return log->ClientRect().right > 600; }, 20000)) << "the log widened";
        ShowWindow(form->Handle(), SW_RESTORE);
        EXPECT_TRUE(PumpUntil([&] { return log->ClientRect().right < 600; }, 20000)) << "the log narrowed";
    };
    ASSERT_TRUE(GetWindowLongW(log->Handle(), GWL_STYLE) & WS_HSCROLL);
    ASSERT_EQ(lastBottom(), log->ClientRect().bottom);
    maximiseAndRestore();
    EXPECT_TRUE(GetWindowLongW(log->Handle(), GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(lastBottom(), log->ClientRect().bottom);

    log->SetOffsetY(log->OffsetY() + 3 * static_cast<int>(log->DefaultNodeHeight()));
    const int scrolled = log->OffsetY();
    maximiseAndRestore();
    EXPECT_EQ(log->OffsetY(), scrolled);
}
