#include <gtest/gtest.h>

#include <atomic>

#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/HiddenWindow.h"
#include "platform/Thread.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

class SleepyThread : public TThread {
public:
    SleepyThread() : TThread(true) {}
    ~SleepyThread() override { TerminateAndWait(); }
    std::atomic<int> loops{0};

protected:
    void Execute() override
    {
        while (!Terminated()) {
            ++loops;
            WaitForTerminate(60000);
        }
    }
};

class ThrowingThread : public TThread {
public:
    ThrowingThread() : TThread(false) {}
    ~ThrowingThread() override { TerminateAndWait(); }

protected:
    void Execute() override { throw Exception("thread failure"); }
};

class ThrowingWindow : public THiddenWindow {
protected:
    LRESULT WndProc(UINT msg, WPARAM w, LPARAM l) override
    {
        if (msg == WM_USER + 1)
            throw Exception("window failure");
        if (msg == WM_USER + 2)
            return 42;
        return THiddenWindow::WndProc(msg, w, l);
    }
};

}  // namespace

TEST(Thread, EndsPromptlyWhenTerminated)
{
    SleepyThread t;
    EXPECT_EQ(t.loops.load(), 0);   // created suspended
    t.SetPriority(THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(t.Priority(), THREAD_PRIORITY_BELOW_NORMAL);
    t.Start();
    ASSERT_TRUE(PumpUntil([&] { return t.loops.load() > 0; }, 5000));
    DWORD start = GetTickCount();
    t.Terminate();
    EXPECT_TRUE(t.WaitFor(5000));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_TRUE(t.Finished());
}

TEST(Thread, NeverStartedThreadIsFreedCleanly)
{
    auto* t = new SleepyThread();
    delete t;
    SUCCEED();
}

TEST(Firewall, ExceptionInAThreadReachesTheHandler)
{
    ClearCaughtErrors();
    {
        ThrowingThread t;
        EXPECT_TRUE(t.WaitFor(5000));
    }
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "thread failure");
}

TEST(Firewall, ExceptionInAWindowProcedureReachesTheHandler)
{
    ClearCaughtErrors();
    ThrowingWindow w;
    HWND h = w.Handle();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SendMessageW(h, WM_USER + 1, 0, 0), 0);
    PostMessageW(h, WM_USER + 1, 0, 0);
    Pump(100);
    // The window and the process live on.
    EXPECT_EQ(SendMessageW(h, WM_USER + 2, 0, 0), 42);
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "window failure");
}

TEST(Firewall, AssertionsCarrySourceAndLineInEveryBuild)
{
    try {
        BX_ASSERT(1 + 1 == 3, "arithmetic broke");
        FAIL() << "no throw";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.SourceFile(), "ThreadWindowTest.cpp");
        EXPECT_GT(e.SourceLine(), 0);
        EXPECT_NE(std::string(e.what()).find("arithmetic broke"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("ThreadWindowTest.cpp"), std::string::npos);
    }
}

TEST(Application, ProcessMessagesSeesQuitAndPassesItOn)
{
    TApplication& app = Application();
    ASSERT_NE(app.Handle(), nullptr);
    PostQuitMessage(3);
    app.ProcessMessages();
    EXPECT_TRUE(app.Terminated());
    // The quit was posted again for the outer loop.
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}
