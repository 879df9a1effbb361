#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/WindowSubclass.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const UINT kAsk = WM_APP + 10;

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == kAsk)
        return 1000 + static_cast<LRESULT>(w);
    return DefWindowProcW(hwnd, msg, w, l);
}

HWND MakePlainWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"WinlayerPlain";
        RegisterClassW(&wc);
        registered = true;
    }
    return CreateWindowExW(0, L"WinlayerPlain", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

TEST(Subclass, HooksSeeMessagesNewestFirstAndPassThemOn)
{
    HWND h = MakePlainWindow();
    ASSERT_NE(h, nullptr);
    std::string trace;
    int a = HookWindowProc(h, [&](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
        if (msg == kAsk)
            trace += "a";
        return next(msg, w, l);
    });
    int b = HookWindowProc(h, [&](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
        if (msg == kAsk) {
            trace += "b";
            return next(msg, w + 1, l);   // may change the message for those below
        }
        return next(msg, w, l);
    });
    EXPECT_NE(a, 0);
    EXPECT_NE(b, 0);
    EXPECT_EQ(SendMessageW(h, kAsk, 5, 0), 1006);
    EXPECT_EQ(trace, "ba");
    EXPECT_EQ(SubclassCount(h), 2);
    DestroyWindow(h);
    // The chain went with the window; taking a hook off now changes nothing.
    EXPECT_EQ(SubclassCount(h), 0);
    EXPECT_FALSE(UnhookWindowProc(h, a));
    EXPECT_FALSE(IsWindow(h));
}

TEST(Subclass, ThreeHooksRemovedInEveryOrderGiveTheOriginalProcedureBack)
{
    std::array<int, 3> order = {0, 1, 2};
    int rounds = 0;
    do {
        HWND h = MakePlainWindow();
        ASSERT_NE(h, nullptr);
        LONG_PTR original = GetWindowLongPtrW(h, GWLP_WNDPROC);
        int seen[3] = {0, 0, 0};
        int ids[3];
        for (int i = 0; i < 3; ++i)
            ids[i] = HookWindowProc(h, [&seen, i](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
                if (msg == kAsk)
                    ++seen[i];
                return next(msg, w, l);
            });
        EXPECT_NE(GetWindowLongPtrW(h, GWLP_WNDPROC), original);
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(UnhookWindowProc(h, ids[order[k]]));
            // The window keeps answering after each removal.
            EXPECT_EQ(SendMessageW(h, kAsk, 1, 0), 1001);
            int live = 0;
            for (int i = 0; i < 3; ++i) {
                bool removed = std::find(order.begin(), order.begin() + k + 1, i) != order.begin() + k + 1;
                if (!removed)
                    ++live;
            }
            EXPECT_EQ(SubclassCount(h), live);
        }
        EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), original);
        // Every hook saw exactly the messages sent while it was still on.
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(seen[order[k]], k);
        DestroyWindow(h);
        ++rounds;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(rounds, 6);
}

TEST(Subclass, AHookRemovingItselfAndAnotherDuringAMessage)
{
    HWND h = MakePlainWindow();
    ASSERT_NE(h, nullptr);
    int lowerCalls = 0, selfCalls = 0;
    int lower = HookWindowProc(h, [&](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
        if (msg == kAsk)
            ++lowerCalls;
        return next(msg, w, l);
    });
    int self = 0;
    self = HookWindowProc(h, [&](HWND hwnd, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
        if (msg == kAsk) {
            ++selfCalls;
            UnhookWindowProc(hwnd, self);
            UnhookWindowProc(hwnd, lower);
        }
        return next(msg, w, l);
    });
    // Both were taken off inside the message: the lower one is skipped, the
    // window's own procedure still answers.
    EXPECT_EQ(SendMessageW(h, kAsk, 2, 0), 1002);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(lowerCalls, 0);
    EXPECT_EQ(SendMessageW(h, kAsk, 3, 0), 1003);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(SubclassCount(h), 0);
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&PlainProc));
    DestroyWindow(h);
}

TEST(Subclass, SomeoneHookingAfterUsKeepsTheChainWorking)
{
    HWND h = MakePlainWindow();
    ASSERT_NE(h, nullptr);
    int calls = 0;
    int id = HookWindowProc(h, [&](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
        if (msg == kAsk)
            ++calls;
        return next(msg, w, l);
    });
    // A foreign subclass on top of ours.
    static WNDPROC below = nullptr;
    below = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC));
    struct Foreign {
        static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l)
        {
            return CallWindowProcW(below, hwnd, msg, w, l);
        }
    };
    SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Foreign::Proc));
    EXPECT_TRUE(UnhookWindowProc(h, id));
    // Our procedure cannot be taken out from under the foreign one; it passes through.
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&Foreign::Proc));
    EXPECT_EQ(SendMessageW(h, kAsk, 4, 0), 1004);
    EXPECT_EQ(calls, 0);
    DestroyWindow(h);
}

TEST(Subclass, AnExceptionInAHookStaysInsideTheWindowProcedure)
{
    ClearCaughtErrors();
    HWND h = MakePlainWindow();
    ASSERT_NE(h, nullptr);
    HookWindowProc(h, [](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) -> LRESULT {
        if (msg == kAsk && w == 99)
            throw std::runtime_error("hook failure");
        return next(msg, w, l);
    });
    EXPECT_EQ(SendMessageW(h, kAsk, 99, 0), 0);
    EXPECT_EQ(SendMessageW(h, kAsk, 1, 0), 1001);
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "hook failure");
    DestroyWindow(h);
}
