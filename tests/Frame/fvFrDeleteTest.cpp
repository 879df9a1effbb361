// Rows that go while the list is in use: the row under the mouse, a client
// whose poll hangs on a share, and the list's hint in the status bar.
#include "fvFrTestSupport.h"

#include <atomic>
#include <functional>
#include <thread>

#include "Classes/Lang.h"
#include "Frame/fvFrCells.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "controls/SimpleTimer.h"
#include "platform/Application.h"
#include "support/Input.h"
#include "support/PumpInside.h"

using namespace testing_support;
using namespace fv_test;

namespace {

const char kRunLog[] = "fahlog-gpu2-core11-14-paused-shutdown.txt";

// The user/team column (with its link) in view.
void NarrowColumns(TfvFrame& frame)
{
    for (int c = 1; c < fvcUserTeam; ++c)
        frame.VSTree->Header().Columns()[c]->SetWidth(40);
}

// A share that does not answer until the test lets it (10 s at most).
HANDLE shareAnswers = nullptr;
std::atomic<int> connecting{0};
DWORD DeadShare(const std::string&)
{
    ++connecting;
    WaitForSingleObject(shareAnswers, 30000);
    --connecting;
    return ERROR_BAD_NETPATH;
}

// Pumps through the application, as its own loop does (the status bar's
// hint is taken there, before each mouse move is handled).
bool AppPumpUntil(const std::function<bool()>& done, DWORD ms)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) {
        Application().ProcessMessages();
        if (done())
            return true;
    }
    return false;
}

// One move of the mouse, handled by the application's pump.
void JumpMouse(POINT to)
{
    std::atomic<bool> sent{false};
    std::thread t([&] {
        std::vector<INPUT> in = MouseMoveTo(to);
        SendInput(1, in.data(), sizeof(INPUT));
        sent = true;
    });
    AppPumpUntil([&] { return sent.load(); }, 5000);
    t.join();
    AppPumpUntil([] { return false; }, 200);
}

}  // namespace

// The row under the mouse is deleted (a client, or a computer's row that
// goes with its only client); the mouse then moves on in the list or out of
// it. The freed rows are never touched (the heap check's entry runs this).
TEST_F(FvFrameTest, TheRowUnderTheMouseIsForgottenWhenItGoes)
{
    ASSERT_TRUE(HaveDisplay());
    const struct {
        const char* name;
        bool onComputerRow;
        bool leave;
    } table[] = {
        {"client, move on", false, false},
        {"computer row, move on", true, false},
        {"client, leave the list", false, true},
    };
    SetForegroundWindow(form->Handle());
    frame->VSTree->SetShowHint(false);
    for (const auto& row : table) {
        PVirtualNode keep = Add(Folder(std::string("keep ") + row.name, {}), "Keep");
        PVirtualNode gone = Add(std::string("\\\\fvgone\\") + (row.onComputerRow ? "c" : "l") + "\\client\\", "Gone");
        PVirtualNode hovered = row.onComputerRow ? gone->Parent : gone;
        frame->VSTree->SetFocus();
        UpdateWindow(form->Handle());
        MoveMouse(CellCentre(*frame, hovered, fvcState));
        ASSERT_EQ(frame->VSTree->HotNode(), hovered) << row.name;
        frame->SelectNode(gone);
        frame->DeleteClientNode(gone);
        EXPECT_EQ(frame->FindComputerNode("fvgone"), nullptr) << row.name;
        if (row.leave)
            SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 100);
        else
            MoveMouse(CellCentre(*frame, keep, fvcState));
        PaintList();
        EXPECT_EQ(frame->VSTree->HotNode(), row.leave ? nullptr : keep) << row.name;
        frame->DeleteClientNode(keep);
    }
    SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 50);
}

// A wheel scroll moves the list under a resting mouse: only the row now
// under it shows the link under the mouse.
TEST_F(FvFrameTest, AfterAScrollUnderTheMouseOnlyTheRowUnderItIsHot)
{
    ASSERT_TRUE(HaveDisplay());
    std::vector<PVirtualNode> rows;
    for (int i = 0; i < 12; ++i)
        rows.push_back(Add(Folder("run" + std::to_string(i), {{"FAHlog.txt", kRunLog}}), "Run " + std::to_string(i)));
    ASSERT_TRUE(WaitPolled());
    frame->ApplyFilters();
    NarrowColumns(*frame);
    // Room for about eight rows.
    const int rowHeight = static_cast<int>(frame->VSTree->NodeHeight(rows[0]));
    frame->BottomPanel->SetHeight(frame->Height() - frame->VSTree->Header().Height() - 8 * rowHeight - 8);
    frame->VSTree->SetShowHint(false);
    SetForegroundWindow(form->Handle());
    frame->VSTree->SetFocus();
    frame->VSTree->SetOffsetY(0);
    UpdateWindow(form->Handle());
    Pump(50);

    // The mouse on the link of the seventh row shown.
    PVirtualNode rested = frame->VSTree->GetFirstVisible();
    for (int i = 0; i < 6; ++i)
        rested = frame->VSTree->GetNextVisible(rested);
    ASSERT_NE(frame->GetFahView(rested), nullptr);
    const POINT at = CellCentre(*frame, rested, fvcUserTeam);
    MoveMouse(at);
    ASSERT_EQ(frame->HotColumn(), fvcUserTeam);

    INPUT wheel = MouseMoveTo(at)[0];
    wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
    wheel.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
    ASSERT_TRUE(SendInputPumping({wheel}));
    ASSERT_NE(frame->VSTree->OffsetY(), 0);
    const POINT client = frame->VSTree->ScreenToClient(at);
    THitInfo hit;
    frame->VSTree->HitTestAt(client.x, client.y, hit, true);
    PVirtualNode under = hit.HitNode;
    ASSERT_NE(under, rested);
    PaintList();
    std::vector<PVirtualNode> hot;
    for (auto& [cell, paint] : painted)
        if (cell.second == fvcUserTeam && paint.color == kfvOrange)
            hot.push_back(cell.first);
    EXPECT_EQ(hot, std::vector<PVirtualNode>{under});
    SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 50);
}

// Deleting a folder whose poll waits on a share that does not answer, or
// closing the list with several, comes back while those polls still wait
// (closing waits for them together, not one after another); the clients are
// freed once their polls end.
TEST_F(FvFrameTest, DeletingAFolderOrClosingDoesNotWaitForAPollHangingOnAShare)
{
    ASSERT_TRUE(HaveDisplay());
    TFah::SetNetConnectForTesting(&DeadShare);
    for (bool close : {false, true}) {
        shareAnswers = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        connecting = 0;
        PVirtualNode dead = Add("\\\\fvdead\\share\\client\\", "Dead");
        Add(Folder(close ? "alive2" : "alive", {}), "Alive");
        const int hung = close ? 5 : 1;
        for (int i = 1; i < hung; ++i)
            Add("\\\\fvdead\\share\\client" + std::to_string(i) + "\\", "Dead" + std::to_string(i));
        ASSERT_TRUE(PumpUntil([&] { return connecting.load() == hung; }, 10000)) << close;
        const DWORD start = GetTickCount();
        if (close) {
            delete form;   // the rows go with the list, their clients with them
            form = nullptr;
            frame = nullptr;
        } else {
            frame->SelectNode(dead);
            frame->DeleteClientNode(dead);
        }
        const bool pollStillWaiting = connecting.load() == hung;
        // One wait after another would be 5 x 2 s.
        EXPECT_LT(GetTickCount() - start, 3 * TFah::kReleaseWait) << close;
        SetEvent(shareAnswers);
        EXPECT_TRUE(pollStillWaiting) << close;
        if (!close) {
            EXPECT_EQ(frame->ClientNodes().size(), 1u);
            EXPECT_EQ(frame->FindComputerNode("fvdead"), nullptr);
        }
        EXPECT_TRUE(PumpUntil([] { return FreeReleasedFahs() == 0; }, 10000)) << close;
        CloseHandle(shareAnswers);
        shareAnswers = nullptr;
    }
}

// The status bar hears of the list's hint at the move that changed it, and
// in the new language at a language switch under a resting mouse.
TEST_F(FvFrameTest, TheListsHintReachesTheApplicationAtOnce)
{
    ASSERT_TRUE(HaveDisplay());
    const std::string one = Folder("one", {{"FAHlog.txt", kRunLog}});
    const std::string two = Folder("two", {{"FAHlog.txt", kRunLog}});
    PVirtualNode nOne = Add(one, "One");
    PVirtualNode nTwo = Add(two, "Two");
    ASSERT_TRUE(WaitPolled());
    frame->ApplyFilters();
    NarrowColumns(*frame);
    // Wide enough for the states in every language: the switch moves no column.
    frame->VSTree->Header().Columns()[fvcState]->SetWidth(400);
    frame->VSTree->SetShowHint(false);
    SetForegroundWindow(form->Handle());
    UpdateWindow(form->Handle());
    MoveMouse(CellCentre(*frame, nOne, fvcState));
    ASSERT_EQ(frame->VSTree->Hint(), one);

    // (Wine may report a move from the old point after the jump: whichever
    // row the list saw last, the status bar has its hint.)
    JumpMouse(CellCentre(*frame, nTwo, fvcState));
    EXPECT_EQ(Application().Hint(), frame->VSTree->Hint());

    MoveMouse(CellCentre(*frame, nTwo, fvcUserTeam));
    const std::string link = FvCellLink(*View(nTwo), fvcUserTeam);
    ASSERT_EQ(frame->VSTree->Hint(), "Ctrl+Click " + sForJumpTo + " " + link);
    for (const char* language : {"LANG_RU", "LANG_EN"}) {
        LoadLanguageResource(language);
        LoadLangGlobals();
        ReloadLanguage();
        frame->ApplyLanguage();
        EXPECT_EQ(Application().Hint(), "Ctrl+Click " + sForJumpTo + " " + link) << language;
    }
    SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 50);
    Application().SetHint(std::string());
}

// Rows that move under a resting mouse (a wheel turn, the End key, the row
// under it deleted) bring their own hint to the list and the status bar.
TEST_F(FvFrameTest, TheHintFollowsRowsMovingUnderARestingMouse)
{
    ASSERT_TRUE(HaveDisplay());
    std::vector<PVirtualNode> rows;
    for (int i = 0; i < 12; ++i)
        rows.push_back(Add(Folder("moved" + std::to_string(i), {})));
    frame->ApplyFilters();
    const int rowHeight = static_cast<int>(frame->VSTree->NodeHeight(rows[0]));
    frame->BottomPanel->SetHeight(frame->Height() - frame->VSTree->Header().Height() - 8 * rowHeight - 8);
    frame->VSTree->SetShowHint(false);
    SetForegroundWindow(form->Handle());
    INPUT wheel{};
    wheel.type = INPUT_MOUSE;
    wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
    wheel.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
    const struct {
        const char* name;
        std::function<void(PVirtualNode)> move;
    } cases[] = {
        {"wheel", [&](PVirtualNode) { SendInputPumping({wheel}); }},
        {"End", [&](PVirtualNode) { SendInputPumping(Chord({VK_END})); }},
        {"delete", [&](PVirtualNode under) { frame->DeleteClientNode(under); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        frame->VSTree->SetFocus();
        frame->SelectNode(frame->TotalNode());
        frame->VSTree->SetOffsetY(0);
        UpdateWindow(form->Handle());
        PVirtualNode rested = frame->VSTree->GetFirstVisible();
        for (int i = 0; i < 5; ++i)
            rested = frame->VSTree->GetNextVisible(rested);
        const POINT at = CellCentre(*frame, rested, fvcState);
        MoveMouse(at);
        ASSERT_EQ(frame->VSTree->Hint(), View(rested)->Folder);
        c.move(rested);
        const POINT client = frame->VSTree->ScreenToClient(at);
        PVirtualNode under = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            THitInfo hit;
            frame->VSTree->HitTestAt(client.x, client.y, hit, true);
            under = hit.HitNode;
            return under && under != rested;
        }, 5000)) << "another row under the mouse";
        ASSERT_NE(View(under), nullptr);
        EXPECT_EQ(frame->VSTree->Hint(), View(under)->Folder);
        EXPECT_EQ(Application().Hint(), View(under)->Folder);
        EXPECT_EQ(frame->VSTree->HotNode(), under);
    }
    SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 50);
    Application().SetHint(std::string());
}

// The row to select after a deletion goes while the selection's change
// handles messages: the deletion selects nothing that is gone.
TEST_F(FvFrameTest, ARowThatGoesWhileTheSelectionChangesIsNotSelectedAfterADeletion)
{
    PVirtualNode first = Add(Folder("first", {}), "First");
    PVirtualNode next = Add(Folder("next", {}), "Next");
    ASSERT_EQ(first->NextSibling, next);
    frame->SelectNode(first);
    bool armed = true;
    TSimpleTimer meanwhile(1, [&](TObject*) {
        if (armed)
            frame->VSTree->DeleteNode(next);
        armed = false;
    });
    meanwhile.SetEnabled(true);
    ASSERT_TRUE(WaitQueued(QS_TIMER, 20000)) << "the timer falling due";
    PVirtualNode selected = frame->DeleteNode(first);
    meanwhile.SetEnabled(false);
    ASSERT_FALSE(armed) << "the timer ran inside the deletion";
    bool live = selected == nullptr;
    for (PVirtualNode n = frame->VSTree->GetFirst(); n && !live; n = frame->VSTree->GetNext(n))
        live = n == selected;
    EXPECT_TRUE(live) << "the deletion selected a row that is gone";
}

// A timer that falls due inside the selection's change and pumps every
// message (the start's first selection, an update check) leaves a key typed
// ahead in the queue until the change is done.
TEST_F(FvFrameTest, AKeyTypedAheadWaitsForTheSelectionChangeWhateverPumpsInIt)
{
    ASSERT_TRUE(HaveDisplay());
    PVirtualNode first = Add(Folder("first", {}), "First");
    PVirtualNode second = Add(Folder("second", {}), "Second");
    SetForegroundWindow(form->Handle());
    frame->VSTree->SetFocus();
    frame->SelectNode(first);
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == form->Handle() && frame->VSTree->Focused(); }, 20000))
        << "the list taking the keyboard";
    PumpInsideResult r = TypeThenPumpInside({VK_END}, [&] { frame->SelectNode(second); });
    ASSERT_TRUE(r.ran) << "the timer ran inside the selection's change";
    EXPECT_TRUE(r.keyWaited) << "the key was handled inside the selection's change";
    Pump(100);
}
