#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "controls/WndProcHook.h"
#include "platform/Form.h"
#include "platform/StdCtrls.h"
#include "platform/WindowSubclass.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const UINT kPing = WM_APP + 20;

// A form whose own procedure answers kPing and counts what it saw.
class PingForm : public TForm {
public:
    PingForm() : TForm(nullptr) { SetBounds(50, 50, 200, 150); }
    int pings = 0;
    void WndProc(TMessage& m) override
    {
        if (m.Msg == kPing) {
            ++pings;
            m.Result = 500 + static_cast<LRESULT>(m.WParam);
            return;
        }
        TForm::WndProc(m);
    }
};

TRxWindowHook* MakeHook(TComponent* owner, TWinControl* control, std::string& trace, const std::string& name,
                        bool handleBefore = false)
{
    auto* h = new TRxWindowHook(owner);
    h->SetName(name);
    h->BeforeMessage = [&trace, name, handleBefore](TObject*, TMessage& m, bool& handled) {
        if (m.Msg == kPing) {
            trace += "<" + name;
            if (handleBefore) {
                handled = true;
                m.Result = 7;
            }
        }
    };
    h->AfterMessage = [&trace, name](TObject*, TMessage& m, bool&) {
        if (m.Msg == kPing)
            trace += ">" + name + "=" + std::to_string(m.Result);
    };
    h->SetWinControl(control);
    return h;
}

}  // namespace

TEST(WindowHook, LaterHookSeesMessagesFirstAndCanStopThem)
{
    ASSERT_TRUE(HaveDisplay());
    PingForm form;
    HWND h = form.Handle();
    std::string trace;
    MakeHook(&form, &form, trace, "a");
    TRxWindowHook* b = MakeHook(&form, &form, trace, "b");
    EXPECT_EQ(SendMessageW(h, kPing, 1, 0), 501);
    EXPECT_EQ(trace, "<b<a>b=501>a=501");
    EXPECT_EQ(form.pings, 1);
    // b handles: a and the form never see it.
    trace.clear();
    b->BeforeMessage = [&](TObject*, TMessage& m, bool& handled) {
        if (m.Msg == kPing) {
            trace += "<b!";
            handled = true;
            m.Result = 9;
        }
    };
    EXPECT_EQ(SendMessageW(h, kPing, 1, 0), 9);
    EXPECT_EQ(trace, "<b!");
    EXPECT_EQ(form.pings, 1);
    // Inactive: out of the way.
    trace.clear();
    b->SetActive(false);
    EXPECT_EQ(SendMessageW(h, kPing, 2, 0), 502);
    EXPECT_EQ(trace, "<a>a=502");
    EXPECT_EQ(ControlHookCount(), 1);
}

TEST(WindowHook, ThreeHooksRemovedInEveryOrderLeaveTheFormWorking)
{
    ASSERT_TRUE(HaveDisplay());
    std::array<int, 3> order = {0, 1, 2};
    do {
        PingForm form;
        HWND h = form.Handle();
        LONG_PTR before = GetWindowLongPtrW(h, GWLP_WNDPROC);
        int ownHooks = SubclassCount(h);   // the form's own procedure
        std::string trace;
        TRxWindowHook* hooks[3];
        for (int i = 0; i < 3; ++i)
            hooks[i] = MakeHook(&form, &form, trace, std::string(1, static_cast<char>('a' + i)));
        // One control hook for all three.
        EXPECT_EQ(SubclassCount(h), ownHooks + 1);
        EXPECT_EQ(ControlHookCount(), 1);
        for (int k = 0; k < 3; ++k) {
            delete hooks[order[k]];
            trace.clear();
            EXPECT_EQ(SendMessageW(h, kPing, static_cast<WPARAM>(k), 0), 500 + k);
            // The ones left still see it, newest first.
            std::string expected;
            for (int i = 2; i >= 0; --i)
                if (std::find(order.begin(), order.begin() + k + 1, i) == order.begin() + k + 1)
                    expected += "<" + std::string(1, static_cast<char>('a' + i));
            EXPECT_EQ(trace.substr(0, expected.size()), expected);
        }
        // The form has exactly its own procedure back.
        EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), before);
        EXPECT_EQ(SubclassCount(h), ownHooks);
        Pump(20);   // the emptied control hook is freed by a posted message
        EXPECT_EQ(ControlHookCount(), 0);
        EXPECT_EQ(form.pings, 3);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(WindowHook, RecreatingTheWindowKeepsTheHookWorking)
{
    ASSERT_TRUE(HaveDisplay());
    PingForm form;
    auto* panel = new TPanel(&form);
    panel->SetParent(&form);
    form.Handle();
    std::string trace;
    MakeHook(&form, panel, trace, "p");
    HWND old = panel->Handle();
    ASSERT_EQ(SendMessageW(old, kPing, 0, 0), 0);   // a panel does not answer, but the hook sees it
    EXPECT_EQ(trace, "<p>p=0");
    panel->RecreateWnd();
    HWND fresh = panel->Handle();
    ASSERT_NE(fresh, old);
    Pump(20);   // the re-install is posted
    trace.clear();
    SendMessageW(fresh, kPing, 0, 0);
    EXPECT_EQ(trace, "<p>p=0");
}

TEST(WindowHook, FreeingTheWatchedControlClearsTheHook)
{
    ASSERT_TRUE(HaveDisplay());
    PingForm form;
    auto* panel = new TPanel(&form);
    panel->SetParent(&form);
    std::string trace;
    TRxWindowHook* hook = MakeHook(&form, panel, trace, "p");
    HWND h = panel->Handle();
    delete panel;
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(hook->WinControl(), nullptr);
    Pump(20);
    EXPECT_EQ(ControlHookCount(), 0);
    // Pointing it at another control works as before.
    hook->SetWinControl(&form);
    EXPECT_EQ(SendMessageW(form.Handle(), kPing, 4, 0), 504);
    EXPECT_EQ(trace, "<p>p=504");
}

TEST(WindowHook, DestroyIsPassedOnEvenWhenAHookHandlesIt)
{
    ASSERT_TRUE(HaveDisplay());
    PingForm form;
    auto* panel = new TPanel(&form);
    panel->SetParent(&form);
    auto* hook = new TRxWindowHook(&form);
    int destroysSeenAfter = 0;
    hook->BeforeMessage = [](TObject*, TMessage& m, bool& handled) { handled = handled || m.Msg == WM_DESTROY; };
    hook->AfterMessage = [&](TObject*, TMessage& m, bool&) {
        if (m.Msg == WM_DESTROY)
            ++destroysSeenAfter;
    };
    hook->SetWinControl(panel);
    ASSERT_TRUE(panel->HandleAllocated());   // hooking made the window
    panel->RecreateWnd();
    EXPECT_EQ(destroysSeenAfter, 1);
    // The panel's own procedure saw the destroy too: its object knows the old window is gone.
    EXPECT_TRUE(panel->HandleAllocated());
    EXPECT_TRUE(IsWindow(panel->Handle()));
}

namespace {
// A form that runs a callback from its own procedure for kPing.
class CallbackForm : public TForm {
public:
    CallbackForm() : TForm(nullptr) { SetBounds(60, 60, 200, 150); }
    std::function<void()> onPing;
    void WndProc(TMessage& m) override
    {
        if (m.Msg == kPing && onPing) {
            onPing();
            m.Result = 42;
            return;
        }
        TForm::WndProc(m);
    }
};
}  // namespace

TEST(WindowHook, AControlHookIsNotFreedUnderAMessageThatPumps)
{
    ASSERT_TRUE(HaveDisplay());
    Pump(20);
    ASSERT_EQ(ControlHookCount(), 0);
    CallbackForm form;
    HWND h = form.Handle();
    LONG_PTR before = GetWindowLongPtrW(h, GWLP_WNDPROC);
    std::string trace;
    TRxWindowHook* hook = MakeHook(&form, &form, trace, "a");
    int countInside = -1;
    form.onPing = [&] {
        // The last hook component goes while its control hook dispatches
        // this very message, and the form then runs a message loop.
        delete hook;
        hook = nullptr;
        Pump(50);
        countInside = ControlHookCount();
    };
    EXPECT_EQ(SendMessageW(h, kPing, 0, 0), 42);
    EXPECT_EQ(trace, "<a");   // the component was gone before the after-message
    EXPECT_EQ(countInside, 1);   // still listed while the dispatch stood on it
    Pump(50);
    EXPECT_EQ(ControlHookCount(), 0);   // freed once the message was done
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), before);
    form.onPing = nullptr;
    EXPECT_EQ(SendMessageW(h, kPing, 0, 0), 0);
}
