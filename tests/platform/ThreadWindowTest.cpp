#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/HiddenWindow.h"
#include "platform/PostedErrors.h"
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
    ASSERT_TRUE(PumpUntil([&] { return t.loops.load() > 0; }, 20000));
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

TEST(Firewall, ExceptionInAThreadReachesTheHandlerOnTheGuiThread)
{
    ClearCaughtErrors();
    {
        ThrowingThread t;
        EXPECT_TRUE(t.WaitFor(5000));
    }
    // The thread only posted it: nothing is reported until messages are read.
    EXPECT_TRUE(CaughtErrors().empty());
    EXPECT_EQ(Application().PendingExceptions(), 1u);
    Pump(50);
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "thread failure");
    EXPECT_EQ(Application().PendingExceptions(), 0u);
}

namespace {

const UINT kMailMessage = WM_APP + 7;

// A window that takes the posted texts out, as the application window does.
class MailboxWindow : public THiddenWindow {
public:
    explicit MailboxWindow(TPostedErrors& box) : box_(box) { box_.Attach(Handle(), kMailMessage); }
    ~MailboxWindow() override { Close(); }
    void Close()
    {
        box_.Detach();
        DestroyHandle();
    }
    std::vector<std::string> got;

protected:
    LRESULT WndProc(UINT msg, WPARAM w, LPARAM l) override
    {
        if (msg == kMailMessage) {
            if (std::optional<std::string> text = box_.Take(w))
                got.push_back(*text);
            return 0;
        }
        return THiddenWindow::WndProc(msg, w, l);
    }

private:
    TPostedErrors& box_;
};

struct PostArgs {
    TPostedErrors* box;
    int count;
    int accepted;
};

DWORD WINAPI PostFromThread(LPVOID p)
{
    auto* a = static_cast<PostArgs*>(p);
    for (int i = 0; i < a->count; ++i) {
        std::string text = "failure " + std::to_string(i);
        if (a->box->Post(text))
            ++a->accepted;
    }   // each text is gone from this thread before the window reads it
    return 0;
}

void RunPoster(PostArgs& args)
{
    HANDLE h = CreateThread(nullptr, 0, PostFromThread, &args, 0, nullptr);
    ASSERT_NE(h, nullptr);
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
}

}  // namespace

TEST(PostedErrors, TextsFromAnotherThreadArriveInOrderOnce)
{
    TPostedErrors box;
    MailboxWindow w(box);
    PostArgs args{&box, 3, 0};
    RunPoster(args);
    EXPECT_EQ(args.accepted, 3);
    EXPECT_EQ(box.Pending(), 3u);
    Pump(50);
    EXPECT_EQ(w.got, (std::vector<std::string>{"failure 0", "failure 1", "failure 2"}));
    EXPECT_EQ(box.Pending(), 0u);
    // A number delivered again, or one never handed out, finds nothing.
    for (WPARAM n : {WPARAM(0), WPARAM(1), WPARAM(2), WPARAM(3), WPARAM(0xDEADBEEF)})
        SendMessageW(w.Handle(), kMailMessage, n, 0);
    EXPECT_EQ(w.got.size(), 3u);
}

TEST(PostedErrors, AWindowThatGoesDropsWhatWaitsAndRefusesMore)
{
    TPostedErrors box;
    auto* w = new MailboxWindow(box);
    HWND h = w->Handle();
    PostArgs args{&box, 5, 0};
    RunPoster(args);
    EXPECT_EQ(box.Pending(), 5u);
    delete w;   // before any of them was read
    EXPECT_EQ(box.Pending(), 0u);
    EXPECT_FALSE(IsWindow(h));
    Pump(50);   // nothing to deliver, nothing crashes
    PostArgs late{&box, 2, 0};
    RunPoster(late);
    EXPECT_EQ(late.accepted, 0);
    EXPECT_EQ(box.Pending(), 0u);
}

TEST(PostedErrors, AFloodIsCappedAndTheRestStillArrives)
{
    TPostedErrors box;
    MailboxWindow w(box);
    PostArgs args{&box, 1000, 0};
    RunPoster(args);
    EXPECT_EQ(args.accepted, 64);
    EXPECT_EQ(box.Pending(), 64u);
    Pump(100);
    ASSERT_EQ(w.got.size(), 64u);
    EXPECT_EQ(w.got.front(), "failure 0");
    EXPECT_EQ(w.got.back(), "failure 63");
    // Room again once they were read.
    PostArgs more{&box, 1, 0};
    RunPoster(more);
    EXPECT_EQ(more.accepted, 1);
    Pump(50);
    EXPECT_EQ(w.got.back(), "failure 0");
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
