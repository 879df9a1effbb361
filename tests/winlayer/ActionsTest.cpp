#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Actions.h"
#include "platform/Application.h"
#include "platform/ShortCut.h"

namespace {

// A client that shows an action's caption and enabled state, and follows
// them only while its own value still equals the action's.
class RecordingLink : public TActionLink {
public:
    using TActionLink::TActionLink;
    std::string caption;
    bool enabled = true;
    std::vector<std::string> calls;

    bool IsCaptionLinked() const override
    {
        return TActionLink::IsCaptionLinked() && caption == CustomAction()->Caption();
    }
    void SetCaption(const std::string& v) override
    {
        calls.push_back("caption " + v);
        if (IsCaptionLinked())
            caption = v;
    }
    void SetEnabled(bool v) override
    {
        calls.push_back(v ? "enabled" : "disabled");
        enabled = v;
    }
};

// Runs the idle handlers the way the application's loop does: whenever the
// queue is empty, then waits for the next message.
template <class Pred>
void RunIdleLoop(Pred done)
{
    MSG msg;
    for (int guard = 0; guard < 100000 && !done(); ++guard) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            continue;
        }
        Application().Idle();
        MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace

TEST(Actions, ALinkHearsAChangeBeforeTheActionStoresIt)
{
    TComponent owner(nullptr);
    auto* action = new TAction(&owner);
    action->SetCaption("Old");
    RecordingLink link(nullptr);
    link.caption = "Old";
    link.SetAction(action);
    EXPECT_EQ(action->ClientCount(), 1);
    action->SetCaption("New");
    // The link compared its value with the action's old one, so it followed.
    EXPECT_EQ(link.caption, "New");
    // A client that changed its caption itself is no longer linked for it.
    link.caption = "Own";
    action->SetCaption("Newer");
    EXPECT_EQ(link.caption, "Own");
    EXPECT_FALSE(link.IsCaptionLinked());
    EXPECT_TRUE(link.IsEnabledLinked());
    action->SetEnabled(false);
    action->SetEnabled(false);   // unchanged: nobody is told
    EXPECT_EQ(link.calls, (std::vector<std::string>{"caption New", "caption Newer", "disabled"}));
}

TEST(Actions, LinksAndActionsForgetEachOtherWhicheverGoesFirst)
{
    TComponent owner(nullptr);
    auto* action = new TAction(&owner);
    auto link = std::make_unique<RecordingLink>(nullptr);
    link->SetAction(action);
    link.reset();
    EXPECT_EQ(action->ClientCount(), 0);

    RecordingLink survivor(nullptr);
    survivor.SetAction(action);
    delete action;
    EXPECT_EQ(survivor.Action(), nullptr);
    EXPECT_FALSE(survivor.Execute());
    EXPECT_FALSE(survivor.IsCaptionLinked());
}

TEST(Actions, ExecuteUpdatesFirstAndRunsOnlyAnEnabledAction)
{
    TComponent owner(nullptr);
    auto* list = new TActionList(&owner);
    auto* action = new TAction(&owner);
    action->SetActionList(list);
    EXPECT_EQ(action->Index(), 0);
    bool allow = false;
    int runs = 0;
    TComponent* seenComponent = nullptr;
    action->OnUpdate = [&](TObject*) { action->SetEnabled(allow); };
    action->SetOnExecute([&](TObject*) {
        ++runs;
        seenComponent = action->ActionComponent();
    });
    RecordingLink link(nullptr);
    link.SetAction(action);
    EXPECT_FALSE(link.Execute(&owner));
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(link.enabled);
    allow = true;
    EXPECT_TRUE(link.Execute(&owner));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(seenComponent, &owner);
    EXPECT_EQ(action->ActionComponent(), nullptr);

    // The list's OnExecute that handles an action keeps its own handler from running.
    list->OnExecute = [&](TBasicAction* a, bool& handled) { handled = (a == action); };
    EXPECT_TRUE(action->Execute());
    EXPECT_EQ(runs, 1);
    delete list;
    EXPECT_EQ(action->ActionList(), nullptr);
    EXPECT_EQ(action->Index(), -1);
}

TEST(Actions, AnActionWithoutAHandlerStaysEnabledThroughIdleUpdates)
{
    TComponent owner(nullptr);
    auto* list = new TActionList(&owner);
    auto* parentOfSubmenu = new TAction(&owner);
    parentOfSubmenu->SetActionList(list);
    auto* other = new TAction(&owner);
    other->SetActionList(list);
    int updates = 0;
    other->OnUpdate = [&](TObject*) { ++updates; };
    RunIdleLoop([&] { return updates >= 2; });
    ASSERT_GE(updates, 2);
    EXPECT_TRUE(parentOfSubmenu->Enabled());
    EXPECT_FALSE(parentOfSubmenu->Execute());
    EXPECT_TRUE(parentOfSubmenu->Enabled());
}

int gTimerMessages = 0;
DWORD gLastTimerMessage = 0;

void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ++gTimerMessages;
    gLastTimerMessage = GetTickCount();
}

TEST(Actions, IdleUpdatesComeAtMostEvery100MsAndOnceMoreAfterTheLastMessage)
{
    TComponent owner(nullptr);
    auto* list = new TActionList(&owner);
    auto* action = new TAction(&owner);
    action->SetActionList(list);
    std::vector<DWORD> ticks;
    action->OnUpdate = [&](TObject*) { ticks.push_back(GetTickCount()); };
    // A busy queue: a timer message every few milliseconds for half a
    // second, after each of which the loop goes idle.
    gTimerMessages = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 5, &CountTimer);
    ASSERT_NE(timer, 0u);
    const DWORD start = GetTickCount();
    RunIdleLoop([&] {
        if (timer && GetTickCount() - start >= 500) {
            KillTimer(nullptr, timer);
            timer = 0;
        }
        // Quiet now: the loop must still refresh once after the last message.
        return !timer && !ticks.empty() && ticks.back() >= gLastTimerMessage;
    });
    if (timer)
        KillTimer(nullptr, timer);
    ASSERT_GT(gTimerMessages, 10);
    ASSERT_GE(ticks.size(), 2u);
    for (size_t i = 1; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - ticks[i - 1], 90u) << "updates " << i - 1 << " and " << i;
    EXPECT_LT(ticks.size(), static_cast<size_t>(gTimerMessages));
    EXPECT_GE(ticks.back(), gLastTimerMessage);
}

TEST(Actions, ShortCutTexts)
{
    EXPECT_EQ(ShortCutToText(ShortCut('N', ssCtrl)), "Ctrl+N");
    EXPECT_EQ(ShortCutToText(ShortCut(VK_F5, 0)), "F5");
    EXPECT_EQ(ShortCutToText(ShortCut(VK_DELETE, ssCtrl)), "Ctrl+Del");
    EXPECT_EQ(ShortCutToText(ShortCut(VK_F11, ssCtrl | ssShift)), "Shift+Ctrl+F11");
    EXPECT_EQ(ShortCutToText(ShortCut(VK_DOWN, ssAlt)), "Alt+Down");
    EXPECT_EQ(ShortCutToText(ShortCut('7', ssAlt | ssCtrl)), "Ctrl+Alt+7");
    EXPECT_EQ(ShortCutToText(scNone), "");
    EXPECT_EQ(ShortCutToText(ShortCut(VK_ESCAPE, 0)), "Esc");
}

TEST(Actions, HelpWithoutAHandlerDoesNothing)
{
    TApplication& app = Application();
    EXPECT_FALSE(app.HelpContext(42));
    UINT command = 0;
    ULONG_PTR data = 0;
    app.OnHelp = [&](UINT c, ULONG_PTR d) {
        command = c;
        data = d;
        return true;
    };
    EXPECT_TRUE(app.HelpContext(42));
    EXPECT_EQ(command, static_cast<UINT>(HELP_CONTEXT));
    EXPECT_EQ(data, 42u);
    app.OnHelp = nullptr;
}
