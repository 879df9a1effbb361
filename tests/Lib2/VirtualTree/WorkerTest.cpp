// The worker thread with real trees and windows: one thread for any number
// of trees, gone with the last; queued trees validated in order and once; a
// tree freed while queued never validated; the exact 0x8020 notices; a
// change during a slow validation stops it while no timer, posted message
// or WM_QUIT of the program is touched.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Lib2/VirtualTree/VTUtils.h"
#include "Lib2/VirtualTree/VTWorker.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Form.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// What the trees' validations did, in order, from the worker thread.
class ValidationLog {
public:
    enum Kind { Entered, Completed, Stopped, Destroyed };
    void Add(int id, Kind kind)
    {
        std::lock_guard<std::mutex> lock(lock_);
        entries_.emplace_back(id, kind);
    }
    std::vector<std::pair<int, Kind>> Entries() const
    {
        std::lock_guard<std::mutex> lock(lock_);
        return entries_;
    }
    std::vector<int> Ids(Kind kind) const
    {
        std::vector<int> ids;
        for (auto& e : Entries())
            if (e.second == kind)
                ids.push_back(e.first);
        return ids;
    }
    // What happened to one tree, in order.
    std::vector<Kind> Of(int id) const
    {
        std::vector<Kind> kinds;
        for (auto& e : Entries())
            if (e.first == id)
                kinds.push_back(e.second);
        return kinds;
    }
    bool Has(int id, Kind kind) const
    {
        auto ids = Ids(kind);
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    }

private:
    mutable std::mutex lock_;
    std::vector<std::pair<int, Kind>> entries_;
};

// A tree whose validation waits for a gate and stops when asked.
class SlowTree : public TVirtualStringTree {
public:
    SlowTree(TComponent* owner, int id, ValidationLog& log, HANDLE gate)
        : TVirtualStringTree(owner), id_(id), log_(log), gate_(gate)
    {
    }
    // Nothing here stops the worker: the tree it derives from sees to that.
    ~SlowTree() override { log_.Add(id_, ValidationLog::Destroyed); }

    bool DoValidateCache() override
    {
        log_.Add(id_, ValidationLog::Entered);
        if (throwing_)
            throw std::runtime_error("validation broke");
        while (WaitForSingleObject(gate_, 1) == WAIT_TIMEOUT) {
            if (ValidationStopRequested()) {
                log_.Add(id_, ValidationLog::Stopped);
                return false;
            }
        }
        log_.Add(id_, ValidationLog::Completed);
        return true;
    }
    int Id() const { return id_; }
    bool throwing_ = false;

private:
    int id_;
    ValidationLog& log_;
    HANDLE gate_;
};

// Records the raw worker notices a window receives.
class NoticeRecorder {
public:
    explicit NoticeRecorder(HWND window) : window_(window)
    {
        SetPropW(window, L"BxNoticeRecorder", this);
        old_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NoticeRecorder::Proc)));
    }
    ~NoticeRecorder()
    {
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_));
        RemovePropW(window_, L"BxNoticeRecorder");
    }
    std::vector<std::pair<unsigned, unsigned>> notices;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l)
    {
        auto* self = static_cast<NoticeRecorder*>(GetPropW(h, L"BxNoticeRecorder"));
        if (msg == WM_CHANGESTATE)
            self->notices.emplace_back(static_cast<unsigned>(w), static_cast<unsigned>(l));
        return CallWindowProcW(self->old_, h, msg, w, l);
    }
    HWND window_;
    WNDPROC old_;
};

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP() << "no display";
        ASSERT_FALSE(WorkerRunning()) << "a tree of another test is still alive";
        gate_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        form_ = new TForm(nullptr);
        form_->SetBounds(40, 40, 300, 200);
        form_->Show();
    }
    void TearDown() override
    {
        if (gate_)
            SetEvent(gate_);
        delete form_;
        if (gate_)
            CloseHandle(gate_);
    }
    SlowTree* NewTree(int id)
    {
        auto* tree = new SlowTree(form_, id, log_, gate_);
        tree->SetBounds(0, 0, 100, 100);
        tree->SetParent(form_);
        tree->HandleNeeded();
        return tree;
    }
    // Until the worker has left every tree and the queue is empty.
    bool WaitIdle(SlowTree* last)
    {
        return PumpUntil([&] { return log_.Has(last->Id(), ValidationLog::Completed) &&
                                      !WorkerIsValidating(last) && !WorkerIsQueued(last); },
                         10000);
    }

    HANDLE gate_ = nullptr;
    TForm* form_ = nullptr;
    ValidationLog log_;
};

TEST_F(WorkerTest, OneThreadForAnyNumberOfTreesGoneWithTheLast)
{
    const int startedBefore = WorkerThreadsStarted();
    const int timerBefore = TimerResolutionReferences();
    std::vector<SlowTree*> trees;
    trees.push_back(NewTree(0));
    ASSERT_TRUE(WorkerRunning());
    const DWORD id = WorkerThreadId();
    ASSERT_NE(id, 0u);
    EXPECT_EQ(WorkerThreadsStarted(), startedBefore + 1);
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
    ASSERT_NE(thread, nullptr);
    for (int i = 1; i < 25; ++i)
        trees.push_back(NewTree(i));
    EXPECT_EQ(WorkerThreadId(), id);
    EXPECT_EQ(WorkerThreadsStarted(), startedBefore + 1);
    EXPECT_EQ(TimerResolutionReferences(), timerBefore + 25);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    for (size_t i = 0; i + 1 < trees.size(); ++i)
        delete trees[i];
    EXPECT_TRUE(WorkerRunning());
    EXPECT_EQ(WorkerThreadId(), id);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    delete trees.back();
    // The last tree's destruction ended the thread before it returned.
    EXPECT_FALSE(WorkerRunning());
    EXPECT_EQ(WorkerThreadId(), 0u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(TimerResolutionReferences(), timerBefore);
    CloseHandle(thread);

    // A new tree starts a new thread.
    SlowTree* again = NewTree(99);
    EXPECT_TRUE(WorkerRunning());
    EXPECT_EQ(WorkerThreadsStarted(), startedBefore + 2);
    delete again;
    EXPECT_FALSE(WorkerRunning());
}

TEST_F(WorkerTest, QueuedTreesValidatedInOrderOnceAndFreedOnesNever)
{
    SlowTree* busy = NewTree(0);
    WorkerAddTree(busy);
    ASSERT_TRUE(PumpUntil([&] { return log_.Has(0, ValidationLog::Entered); }, 10000));
    EXPECT_TRUE(WorkerIsValidating(busy));

    std::vector<SlowTree*> waiting;
    for (int i = 1; i <= 20; ++i) {
        waiting.push_back(NewTree(i));
        WorkerAddTree(waiting.back());
    }
    WorkerAddTree(waiting[14]);   // tree 15 again: still queued once
    for (SlowTree* t : waiting)
        EXPECT_TRUE(WorkerIsQueued(t));
    // Trees 1 to 10 go while they wait.
    std::vector<const void*> freed;
    for (int i = 0; i < 10; ++i) {
        freed.push_back(waiting[i]);
        delete waiting[i];
    }
    for (const void* f : freed)
        EXPECT_FALSE(WorkerIsQueued(static_cast<const TBaseVirtualTree*>(f)));
    SlowTree* last = NewTree(100);
    WorkerAddTree(last);

    SetEvent(gate_);
    ASSERT_TRUE(WaitIdle(last));
    std::vector<int> expected = {0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 100};
    EXPECT_EQ(log_.Ids(ValidationLog::Entered), expected);
    EXPECT_EQ(log_.Ids(ValidationLog::Completed), expected);
    EXPECT_TRUE(log_.Ids(ValidationLog::Stopped).empty());
    for (int i = 10; i < 20; ++i)
        delete waiting[i];
    delete last;
    delete busy;
}

// The worker is inside a subclass's own validation when the subclass is
// freed, by the program or with its owner: it has left before any part of
// the subclass goes.
TEST_F(WorkerTest, TheWorkerLeavesASubclassBeforeItsDestructorRuns)
{
    const std::vector<ValidationLog::Kind> stoppedThenDestroyed = {ValidationLog::Entered, ValidationLog::Stopped,
                                                                   ValidationLog::Destroyed};
    SlowTree* tree = NewTree(3);
    WorkerAddTree(tree);
    ASSERT_TRUE(PumpUntil([&] { return log_.Has(3, ValidationLog::Entered); }, 10000));
    delete tree;
    EXPECT_EQ(log_.Of(3), stoppedThenDestroyed);

    SlowTree* owned = NewTree(4);
    WorkerAddTree(owned);
    ASSERT_TRUE(PumpUntil([&] { return log_.Has(4, ValidationLog::Entered); }, 10000));
    delete form_;
    form_ = nullptr;
    EXPECT_EQ(log_.Of(4), stoppedThenDestroyed);
}

TEST_F(WorkerTest, NoticesAndTreeStatesOfACompletedValidation)
{
    SlowTree* tree = NewTree(1);
    std::vector<std::pair<TVirtualTreeStates, TVirtualTreeStates>> changes;
    // Only the validation states: a paint between the notices reports its own.
    const TVirtualTreeStates validation = tsValidating | tsUseCache | tsStopValidation | tsValidationNeeded;
    tree->OnStateChange = [&](TBaseVirtualTree*, TVirtualTreeStates enter, TVirtualTreeStates leave) {
        if ((enter | leave) & validation)
            changes.emplace_back(enter, leave);
    };
    {
        NoticeRecorder recorder(tree->Handle());
        SetEvent(gate_);
        WorkerAddTree(tree);
        ASSERT_TRUE(WaitIdle(tree));
        ASSERT_EQ(recorder.notices.size(), 2u);
        EXPECT_EQ(recorder.notices[0], std::make_pair(4u, 2u));
        EXPECT_EQ(recorder.notices[1], std::make_pair(2u, 13u));
    }
    EXPECT_TRUE(tree->HasState(tsUseCache));
    EXPECT_FALSE(tree->HasState(tsValidating));
    EXPECT_FALSE(tree->HasState(tsValidationNeeded));
    // The last two validation state changes are the two notices.
    ASSERT_GE(changes.size(), 2u);
    auto n = changes.size();
    EXPECT_EQ(changes[n - 2], std::make_pair(TVirtualTreeStates(tsValidating), TVirtualTreeStates(tsUseCache)));
    EXPECT_EQ(changes[n - 1],
              std::make_pair(TVirtualTreeStates(tsUseCache),
                             TVirtualTreeStates(tsStopValidation | tsValidating | tsValidationNeeded)));
    tree->OnStateChange = nullptr;
    delete tree;
}

VOID CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD);
int timerCalls = 0;
VOID CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++timerCalls; }

TEST_F(WorkerTest, ChangeDuringValidationStopsItAndRunsNoTimer)
{
    SlowTree* tree = NewTree(7);
    tree->SetRootNodeCount(3);
    NoticeRecorder recorder(tree->Handle());
    WorkerAddTree(tree);
    ASSERT_TRUE(PumpUntil([&] { return log_.Has(7, ValidationLog::Entered); }, 10000));
    ASSERT_TRUE(WorkerIsValidating(tree));

    // Due timer, a posted message and WM_QUIT wait in the queue.
    HWND helper = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    timerCalls = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 1, CountTimer);
    Sleep(30);
    PostMessageW(helper, WM_APP + 5, 11, 22);
    PostQuitMessage(42);

    tree->SetRootNodeCount(10);   // a structural change: the validation must stop first

    EXPECT_TRUE(log_.Has(7, ValidationLog::Stopped));
    EXPECT_FALSE(log_.Has(7, ValidationLog::Completed));
    EXPECT_FALSE(WorkerIsValidating(tree));
    EXPECT_EQ(tree->RootNodeCount(), 10u);
    EXPECT_EQ(timerCalls, 0);
    ASSERT_EQ(recorder.notices.size(), 2u);
    EXPECT_EQ(recorder.notices[0], std::make_pair(4u, 2u));
    EXPECT_EQ(recorder.notices[1], std::make_pair(0u, 5u));
    EXPECT_FALSE(tree->HasState(tsValidating));
    EXPECT_FALSE(tree->HasState(tsUseCache));

    // Everything posted is still there, WM_QUIT included.
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, helper, WM_APP + 5, WM_APP + 5, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 11u);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 42u);
    KillTimer(nullptr, timer);
    while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    DestroyWindow(helper);
    delete tree;
}

TEST_F(WorkerTest, InterruptingAQueuedTreeTakesItOutOfTheQueue)
{
    SlowTree* busy = NewTree(1);
    SlowTree* queued = NewTree(2);
    WorkerAddTree(busy);
    ASSERT_TRUE(PumpUntil([&] { return log_.Has(1, ValidationLog::Entered); }, 10000));
    WorkerAddTree(queued);
    ASSERT_TRUE(WorkerIsQueued(queued));
    queued->InterruptValidation();
    EXPECT_FALSE(WorkerIsQueued(queued));
    EXPECT_TRUE(queued->ValidationStopRequested());
    EXPECT_TRUE(queued->HasState(tsStopValidation));
    // Queued again, it leaves the stop state and is validated.
    WorkerAddTree(queued);
    EXPECT_FALSE(queued->ValidationStopRequested());
    EXPECT_FALSE(queued->HasState(tsStopValidation));
    SetEvent(gate_);
    ASSERT_TRUE(WaitIdle(queued));
    EXPECT_EQ(log_.Ids(ValidationLog::Completed), (std::vector<int>{1, 2}));
    delete queued;
    delete busy;
}

TEST_F(WorkerTest, ErrorInAValidationReachesTheHandlerAndTheTreeGetsItsNotice)
{
    ClearCaughtErrors();
    SlowTree* tree = NewTree(3);
    tree->throwing_ = true;
    NoticeRecorder recorder(tree->Handle());
    WorkerAddTree(tree);
    ASSERT_TRUE(PumpUntil([&] { return recorder.notices.size() == 2 && !WorkerIsValidating(tree); }, 10000));
    EXPECT_EQ(recorder.notices[1], std::make_pair(0u, 5u));
    PumpUntil([] { return !CaughtErrors().empty(); }, 20000);   // counted below
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("validation broke"), std::string::npos);
    // The worker goes on with the next tree.
    tree->throwing_ = false;
    SetEvent(gate_);
    WorkerAddTree(tree);
    ASSERT_TRUE(WaitIdle(tree));
    delete tree;
}

TEST_F(WorkerTest, TreeWithoutWindowIsValidatedWithoutNotices)
{
    auto* tree = new SlowTree(nullptr, 5, log_, gate_);
    SetEvent(gate_);
    WorkerAddTree(tree);
    ASSERT_TRUE(PumpUntil([&] { return log_.Has(5, ValidationLog::Completed) && !WorkerIsValidating(tree); },
                          10000));
    EXPECT_FALSE(tree->HandleAllocated());
    EXPECT_FALSE(tree->HasState(tsUseCache));
    delete tree;
}

}  // namespace
