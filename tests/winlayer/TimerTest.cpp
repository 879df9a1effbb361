#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/SimpleTimer.h"
#include "support/TestSupport.h"

using namespace testing_support;

TEST(SimpleTimer, CreateExFiresAboutTenTimesASecond)
{
    int fired = 0;
    TObject* sender = nullptr;
    std::unique_ptr<TSimpleTimer> t(TSimpleTimer::CreateEx(100, [&](TObject* s) {
        ++fired;
        sender = s;
    }));
    EXPECT_FALSE(t->Enabled());
    EXPECT_EQ(t->Interval(), 100u);
    EXPECT_EQ(t->Id(), reinterpret_cast<UINT_PTR>(t.get()));
    Pump(250);
    EXPECT_EQ(fired, 0);   // made stopped
    t->SetEnabled(true);
    EXPECT_TRUE(t->Enabled());
    Pump(1050);
    EXPECT_GE(fired, 7);
    EXPECT_LE(fired, 11);
    EXPECT_EQ(sender, t.get());
    t->SetEnabled(false);
    int at = fired;
    Pump(300);
    EXPECT_EQ(fired, at);
}

TEST(SimpleTimer, DefaultTimerIsHarmlessWithoutHandlerAndTicksEverySecond)
{
    TSimpleTimer t;
    ClearCaughtErrors();
    // Enabled with no handler: past a whole second nothing has failed and it
    // is still on.
    t.SetEnabled(true);
    Pump(1100);
    EXPECT_TRUE(t.Enabled());
    EXPECT_TRUE(CaughtErrors().empty());
    // Given a handler it calls it about once a second, again and again.
    std::vector<DWORD> at;
    t.SetOnTimer([&](TObject*) { at.push_back(GetTickCount()); });
    ASSERT_TRUE(PumpUntil([&] { return at.size() >= 3; }, 20000));
    EXPECT_GE(at[1] - at[0], 800u);
    EXPECT_GE(at[2] - at[1], 800u);
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(SimpleTimer, OneShotFiresOnceAndMayRearmItself)
{
    int fired = 0;
    bool enabledInHandler = true;
    int rearms = 1;
    TSimpleTimer t(50, nullptr);
    t.AutoDisable = true;
    t.SetOnTimer([&](TObject* s) {
        ++fired;
        auto* self = static_cast<TSimpleTimer*>(s);
        enabledInHandler = self->Enabled();
        if (rearms-- > 0)
            self->SetEnabled(true);
    });
    t.SetEnabled(true);
    Pump(500);
    EXPECT_EQ(fired, 2);   // once, re-armed once from its handler
    EXPECT_FALSE(enabledInHandler);
    EXPECT_FALSE(t.Enabled());
}

TEST(SimpleTimer, IntervalZeroSuspendsWithoutDisabling)
{
    int fired = 0;
    TSimpleTimer t(40, [&](TObject*) { ++fired; });
    t.SetEnabled(true);
    t.SetInterval(0);
    EXPECT_TRUE(t.Enabled());
    EXPECT_EQ(TSimpleTimer::HandlerTimerCount(), 0);
    Pump(200);
    EXPECT_EQ(fired, 0);
    // A later non-zero interval starts it again by itself.
    t.SetInterval(40);
    EXPECT_TRUE(PumpUntil([&] { return fired > 0; }, 20000));
    EXPECT_EQ(TSimpleTimer::HandlerTimerCount(), 1);
}

TEST(SimpleTimer, EnablingWithIntervalZeroLeavesItStopped)
{
    int fired = 0;
    TSimpleTimer t(0, [&](TObject*) { ++fired; });
    EXPECT_FALSE(t.Start());
    t.SetEnabled(true);
    EXPECT_FALSE(t.Enabled());
    Pump(100);
    EXPECT_EQ(fired, 0);
}

TEST(SimpleTimer, SameIntervalDoesNotRestartButEnablingDoes)
{
    DWORD firedAt = 0;
    TSimpleTimer t(400, [&](TObject* s) {
        if (!firedAt)
            firedAt = GetTickCount();
        static_cast<TSimpleTimer*>(s)->SetEnabled(false);
    });
    DWORD start = GetTickCount();
    t.SetEnabled(true);
    Pump(250);
    t.SetInterval(400);   // unchanged: the running period goes on
    ASSERT_TRUE(PumpUntil([&] { return firedAt != 0; }, 20000));
    EXPECT_LT(firedAt - start, 600u);

    firedAt = 0;
    start = GetTickCount();
    t.SetEnabled(true);
    Pump(250);
    t.SetEnabled(true);   // restarts the period from zero
    ASSERT_TRUE(PumpUntil([&] { return firedAt != 0; }, 20000));
    EXPECT_GE(firedAt - start, 600u);
}

TEST(SimpleTimer, ClearingTheHandlerSuspendsAndAssigningDoesNotRestart)
{
    int fired = 0;
    auto handler = [&](TObject*) { ++fired; };
    TSimpleTimer t(30, handler);
    t.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return fired > 0; }, 20000));
    t.SetOnTimer(nullptr);
    EXPECT_TRUE(t.Enabled());
    int at = fired;
    Pump(150);
    EXPECT_EQ(fired, at);
    t.SetOnTimer(handler);
    Pump(150);
    EXPECT_EQ(fired, at);
    t.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return fired > at; }, 20000));
}

TEST(SimpleTimer, TheSharedWindowLivesFromFirstToLastTimer)
{
    ASSERT_EQ(TSimpleTimer::HandlerWindow(), nullptr);
    auto* a = new TSimpleTimer();
    HWND shared = TSimpleTimer::HandlerWindow();
    ASSERT_NE(shared, nullptr);
    auto* b = new TSimpleTimer(10, nullptr);
    EXPECT_EQ(TSimpleTimer::HandlerWindow(), shared);
    EXPECT_EQ(TSimpleTimer::HandlerRefCount(), 2);
    delete a;
    EXPECT_TRUE(IsWindow(shared));
    delete b;
    EXPECT_EQ(TSimpleTimer::HandlerWindow(), nullptr);
    EXPECT_FALSE(IsWindow(shared));
    TSimpleTimer c;
    EXPECT_NE(TSimpleTimer::HandlerWindow(), nullptr);
    EXPECT_EQ(TSimpleTimer::HandlerRefCount(), 1);
}

TEST(SimpleTimer, ATimerMessageForAFreedOrForeignTimerIsIgnored)
{
    int fired = 0;
    TSimpleTimer keeper(1000, [&](TObject*) { ++fired; });
    auto* gone = new TSimpleTimer(20, [&](TObject*) { ++fired; });
    gone->SetEnabled(true);
    UINT_PTR goneId = gone->Id();
    HWND shared = TSimpleTimer::HandlerWindow();
    // A WM_TIMER queued for it, then the object freed.
    PostMessageW(shared, WM_TIMER, goneId, 0);
    delete gone;
    // And one with an id that was never a timer of ours.
    PostMessageW(shared, WM_TIMER, 0x12345678, 0);
    SetTimer(shared, 0x2468, 20, nullptr);
    Pump(150);
    EXPECT_EQ(fired, 0);
    // The foreign system timer was stopped, not left running.
    EXPECT_FALSE(KillTimer(shared, 0x2468));
}

TEST(SimpleTimer, AnExceptionInAHandlerIsReportedAndTimersGoOn)
{
    ClearCaughtErrors();
    int fired = 0;
    TSimpleTimer t(30, [&](TObject*) {
        if (++fired == 1)
            throw std::runtime_error("timer handler failed");
    });
    t.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return fired >= 3; }, 20000));
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "timer handler failed");
}

TEST(SimpleTimer, AMessageQueuedBeforeTheStopDoesNotFire)
{
    int fired = 0;
    TSimpleTimer t(5000, [&](TObject*) { ++fired; });
    t.SetEnabled(true);
    // As if its period ran out just before the stop: the message is already waiting.
    PostMessageW(TSimpleTimer::HandlerWindow(), WM_TIMER, t.Id(), 0);
    t.SetEnabled(false);
    Pump(100);
    EXPECT_EQ(fired, 0);
    // Never started at all: the same.
    TSimpleTimer idle(5000, [&](TObject*) { ++fired; });
    PostMessageW(TSimpleTimer::HandlerWindow(), WM_TIMER, idle.Id(), 0);
    Pump(100);
    EXPECT_EQ(fired, 0);
    // A running one does fire from such a message.
    t.SetEnabled(true);
    PostMessageW(TSimpleTimer::HandlerWindow(), WM_TIMER, t.Id(), 0);
    Pump(100);
    EXPECT_EQ(fired, 1);
}

TEST(SimpleTimer, TheLastTimerFreedByItsOwnHandlerThatThenFails)
{
    ClearCaughtErrors();
    ASSERT_EQ(TSimpleTimer::HandlerWindow(), nullptr);
    int fired = 0;
    auto* once = new TSimpleTimer(20, nullptr);
    once->AutoDisable = true;
    once->SetOnTimer([&](TObject* s) {
        ++fired;
        delete static_cast<TSimpleTimer*>(s);   // the last timer: the shared window goes
        throw std::runtime_error("after freeing itself");
    });
    HWND shared = TSimpleTimer::HandlerWindow();
    once->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return fired == 1; }, 20000));
    Pump(50);
    EXPECT_EQ(fired, 1);
    ASSERT_EQ(CaughtErrors().size(), 1u);
    EXPECT_EQ(CaughtErrors()[0], "after freeing itself");
    EXPECT_EQ(TSimpleTimer::HandlerWindow(), nullptr);
    EXPECT_FALSE(IsWindow(shared));
    // A timer made afterwards runs on a new window.
    int again = 0;
    TSimpleTimer next(20, [&](TObject*) { ++again; });
    next.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return again > 0; }, 20000));
}

TEST(SimpleTimer, AHandlerPumpingMessagesWhileTheLastTimerGoes)
{
    ASSERT_EQ(TSimpleTimer::HandlerWindow(), nullptr);
    int outerRuns = 0, innerRuns = 0;
    TSimpleTimer* inner = new TSimpleTimer(10, nullptr);
    TSimpleTimer* outer = new TSimpleTimer(10, nullptr);
    HWND shared = nullptr;
    inner->SetOnTimer([&](TObject*) {
        ++innerRuns;
        // Frees both timers while the outer handler still stands on the window.
        delete outer;
        outer = nullptr;
        delete inner;
        inner = nullptr;
    });
    outer->AutoDisable = true;
    outer->SetOnTimer([&](TObject*) {
        ++outerRuns;
        inner->SetEnabled(true);
        // A nested pump, as a modal loop would run.
        PumpUntil([&] { return innerRuns > 0; }, 1000);
        EXPECT_EQ(TSimpleTimer::HandlerWindow(), nullptr);
        // The window this handler runs on stays until the handler returns.
        EXPECT_TRUE(IsWindow(shared));
    });
    shared = TSimpleTimer::HandlerWindow();
    outer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return outerRuns == 1 && innerRuns == 1; }, 20000));
    Pump(50);
    EXPECT_EQ(TSimpleTimer::HandlerRefCount(), 0);
    EXPECT_FALSE(IsWindow(shared));
    TSimpleTimer later;
    EXPECT_NE(TSimpleTimer::HandlerWindow(), nullptr);
}
