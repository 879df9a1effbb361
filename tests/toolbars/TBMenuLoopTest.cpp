// The menu loop with real windows and real input: a driver thread sends
// keys and mouse moves with SendInput and looks at the views through calls
// run on the GUI thread, while that thread sits in the menu loop.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TBTestHost.h"
#include "platform/Application.h"
#include "platform/Hints.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"
#include "support/Input.h"
#include "support/TestSupport.h"
#include "toolbars/TBAnim.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBPopup.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"

using namespace testing_support;

namespace {

// What an item's OnClick saw when it ran.
struct ClickRecord {
    std::string caption;
    size_t popupsShown;
    bool modal;
    int nesting;
};

class MenuForm : public TTBTestForm {
public:
    explicit MenuForm(int left = 200, int top = 200)
    {
        SetBounds(left, top, 330, 150);
        host = new TTBTestHost(this);
        host->SetParent(this);
        other = new TButton(this);
        other->SetCaption("Other");
        other->SetBounds(230, 80, 80, 26);   // clear of the File menu
        other->SetParent(this);
        other->OnClick = [this](TObject*) { ++otherClicks; };

        file = Sub(host->Items(), "&File");
        open = Item(file, "&Open");
        save = Item(file, "&Save");
        stop = Item(file, "&Stop");
        print = Item(file, "Print");
        russian = Item(file, "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9");   // "Русский"
        recent = Sub(file, "&Recent");
        one = Item(recent, "&One");
        deep = Sub(recent, "&Deep");
        Item(deep, "&X");
        edit = Item(host->Items(), "&Edit");
    }
    TTBSubmenuItem* Sub(TTBCustomItem* parent, const std::string& caption)
    {
        auto* i = new TTBSubmenuItem(this);
        i->SetCaption(caption);
        parent->Add(i);
        return i;
    }
    TTBItem* Item(TTBCustomItem* parent, const std::string& caption)
    {
        auto* i = new TTBItem(this);
        i->SetCaption(caption);
        i->OnClick = [this, caption](TObject*) {
            std::lock_guard<std::mutex> lock(clicksLock);
            clicks.push_back(ClickRecord{caption, VisiblePopupWindows().size(),
                                         host && host->View() && host->View()->IsModal(),
                                         Application().NestingDepth()});
        };
        parent->Add(i);
        return i;
    }
    std::vector<ClickRecord> Clicks()
    {
        std::lock_guard<std::mutex> lock(clicksLock);
        return clicks;
    }
    void ShowAndFocus()
    {
        Show();
        SetForegroundWindow(Handle());
        ::SetFocus(Handle());
        Pump(150);
    }

    TButton* other;
    TTBSubmenuItem* file;
    TTBSubmenuItem* recent;
    TTBSubmenuItem* deep;
    TTBItem *open, *save, *stop, *print, *russian, *one, *edit;
    int otherClicks = 0;
    std::mutex clicksLock;
    std::vector<ClickRecord> clicks;
};

// Drives a menu from another thread while this one pumps.
class Driver {
public:
    explicit Driver(MenuForm& form) : form_(form) {}

    // Runs the script on a driver thread; this thread pumps until it ends.
    // WM_QUIT met by this pump is counted, not acted on.
    void Run(const std::function<void(Driver&)>& script)
    {
        std::atomic<bool> done{false};
        std::thread t([&] {
            script(*this);
            // A script that stopped early (a failed ASSERT) may leave a menu
            // open, and this thread's pump sits in its loop: end it.
            EndMenus();
            done = true;
        });
        DWORD start = GetTickCount();
        while (!done && GetTickCount() - start < 60000) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    ++quitsSeen;
                    continue;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        t.join();
        Pump(50);
    }

    // On the GUI thread, inside whatever loop it is in.
    template <class F>
    auto Gui(F f) -> decltype(f())
    {
        using R = decltype(f());
        if constexpr (std::is_void_v<R>) {
            EXPECT_TRUE(gui_.Run([&] { f(); }));
        } else {
            R r{};
            EXPECT_TRUE(gui_.Run([&] { r = f(); }));
            return r;
        }
    }
    // Waits (up to ms) until pred holds on the GUI thread.
    bool WaitFor(const std::function<bool()>& pred, DWORD ms = 20000)
    {
        return Poll([&] { return Gui(pred); }, ms);
    }
    void Keys(std::initializer_list<WORD> keys)
    {
        Send(Chord(keys));
        Sleep(60);
    }
    // One typed character of any script.
    void TypeChar(wchar_t ch)
    {
        INPUT in[2] = {};
        for (int i = 0; i < 2; ++i) {
            in[i].type = INPUT_KEYBOARD;
            in[i].ki.wScan = ch;
            in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
        }
        SendInput(2, in, sizeof(INPUT));
        Sleep(60);
    }
    void Send(const std::vector<INPUT>& inputs)
    {
        for (INPUT in : inputs) {
            SendInput(1, &in, sizeof(INPUT));
            Sleep(5);
        }
    }
    // Under Wine on Xvfb a moved cursor now and then jumps back to where it
    // was (a late pointer event of the X server): move until it stays.
    void MoveTo(POINT p)
    {
        for (int attempt = 0; attempt < 10; ++attempt) {
            Send(MouseMoveTo(p));
            bool stayed = true;
            for (int look = 0; look < 6 && stayed; ++look) {
                Sleep(25);
                POINT c;
                GetCursorPos(&c);
                stayed = c.x == p.x && c.y == p.y;
            }
            if (stayed)
                return;
        }
    }
    // Moves there and waits (up to ms) until pred holds on the GUI thread.
    // A jump back can also come after MoveTo has returned, on a busy machine
    // long after: the move is sent again whenever the cursor is off the spot.
    bool HoverUntil(POINT p, const std::function<bool()>& pred, DWORD ms = 20000)
    {
        MoveTo(p);
        return Poll([&] {
            if (Gui(pred))
                return true;
            POINT c;
            GetCursorPos(&c);
            if (c.x != p.x || c.y != p.y)
                Send(MouseMoveTo(p));
            return false;
        }, ms);
    }
    void ClickAt(POINT p)
    {
        MoveTo(p);
        Send(MouseClickAt(p));
        Sleep(60);
    }
    // The centre of an item's viewer in a view, on the screen.
    POINT Centre(TTBView* view, TTBCustomItem* item)
    {
        RECT r = ScreenRect(view, item);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    RECT ScreenRect(TTBView* view, TTBCustomItem* item)
    {
        return Gui([&] {
            RECT r{};
            if (TTBItemViewer* v = view ? view->Find(item) : nullptr) {
                r = v->BoundsRect;
                MapWindowPoints(view->Window()->Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
            }
            return r;
        });
    }
    // The drop-down of the toolbar and the popups below it (nullptr when not open).
    TTBView* Popup(int level)
    {
        return Gui([&] {
            TTBView* v = form_.host->View();
            for (int i = 0; i < level && v; ++i)
                v = v->OpenViewerView();
            return v;
        });
    }
    RECT WindowRect(TTBView* view)
    {
        return Gui([&] {
            RECT r{};
            GetWindowRect(view->Window()->Handle(), &r);
            return r;
        });
    }
    bool WaitSelected(TTBView* view, TTBCustomItem* item)
    {
        return WaitFor([&] { return view->Selected() && view->Selected()->Item() == item; });
    }
    TTBCustomItem* SelectedItem(TTBView* view)
    {
        return Gui([&]() -> TTBCustomItem* { return view->Selected() ? view->Selected()->Item() : nullptr; });
    }
    bool Modal() { return Gui([&] { return form_.host->View()->IsModal(); }); }

    int quitsSeen = 0;

private:
    // Calls done on this thread until it says yes, or ms have passed.
    static bool Poll(const std::function<bool()>& done, DWORD ms)
    {
        DWORD start = GetTickCount();
        for (;;) {
            if (done())
                return true;
            if (GetTickCount() - start > ms)
                return false;
            Sleep(15);
        }
    }
    // Ends every menu loop of the form's toolbars, a few times if need be.
    void EndMenus()
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            bool open = false;
            gui_.Run([&] {
                for (int i = 0; i < form_.ControlCount(); ++i)
                    if (auto* host = dynamic_cast<TTBTestHost*>(form_.Controls(i)))
                        if (host->View() && host->View()->IsModal()) {
                            open = true;
                            host->View()->EndModal();
                        }
                if (GetCapture()) {
                    open = true;
                    ReleaseCapture();
                }
            });
            if (!open)
                return;
            Sleep(100);
        }
    }

    MenuForm& form_;
    TGuiCall gui_;
};

}  // namespace

TEST(MenuLoop, DownOpensTheDropDownWithItsFirstItemAndEscapeClosesOneLevel)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.Keys({VK_F10});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->IsModal(); }));
        EXPECT_EQ(form.file, d.SelectedItem(form.host->View()));
        EXPECT_EQ(nullptr, d.Popup(1));
        d.Keys({VK_DOWN});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        TTBView* drop = d.Popup(1);
        EXPECT_EQ(form.open, d.SelectedItem(drop));
        EXPECT_EQ(1u, VisiblePopupWindows().size());
        d.Keys({VK_DOWN});
        EXPECT_TRUE(d.WaitSelected(drop, form.save));
        // Escape: the drop-down goes, the menu bar stays in keyboard mode.
        d.Keys({VK_ESCAPE});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() == nullptr; }));
        EXPECT_TRUE(d.Modal());
        EXPECT_EQ(form.file, d.SelectedItem(form.host->View()));
        EXPECT_EQ(0u, VisiblePopupWindows().size());
        d.Keys({VK_ESCAPE});
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
    EXPECT_TRUE(form.Clicks().empty());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_TRUE(CaughtErrors().empty());
}

// A list under the resting mouse shows its hand over a row while the focus
// is elsewhere; a menu of the toolbar, opened and closed with keys, sets the
// arrow meanwhile. Once the menu is gone, and after a scroll, the mouse
// still resting, the hand shows again. (A focused list would get a mouse
// move from Wine when the menu lets the capture go, which hides this.)
TEST(MenuLoop, AListUnderTheRestingMouseShowsItsHotCursorAgainAfterAMenu)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.SetBounds(200, 200, 330, 260);
    auto* list = new TVirtualStringTree(&form);
    list->SetBounds(5, 40, 200, 160);
    list->SetParent(&form);
    list->TreeOptions().SetPaintOptions(toHotTrack);
    const HCURSOR hand = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
    const HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    list->SetHotCursor(hand);
    list->SetRootNodeCount(100);
    form.ShowAndFocus();
    auto shown = [] {
        CURSORINFO ci{};
        ci.cbSize = sizeof ci;
        GetCursorInfo(&ci);
        return ci.hCursor;
    };
    Driver d(form);
    d.Run([&](Driver& d) {
        const POINT second = d.Gui([&] {
            const RECT r = list->NodeDisplayRect(list->GetFirst()->NextSibling, list->Header().MainColumn(), true);
            return list->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        });
        ASSERT_TRUE(d.HoverUntil(second, [&] { return list->HotNode() && shown() == hand; }));
        d.Keys({VK_F10});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->IsModal(); }));
        EXPECT_EQ(shown(), arrow);
        d.Keys({VK_ESCAPE});
        ASSERT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
        EXPECT_TRUE(d.WaitFor([&] { return shown() == hand; })) << "the hot cursor did not come back";
        const PVirtualNode hot = d.Gui([&] {
            PVirtualNode before = list->HotNode();
            SendMessageW(list->Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
            return before;
        });
        ASSERT_TRUE(d.WaitFor([&] { return list->HotNode() && list->HotNode() != hot; }));
        EXPECT_TRUE(d.WaitFor([&] { return shown() == hand; })) << "the hot cursor did not come back";
    });
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(MenuLoop, ASubmenuOpensAfterTheShowDelayAndClosesAfterLeavingIt)
{
    ASSERT_TRUE(HaveDisplay());
    const DWORD delay = static_cast<DWORD>(MenuOpenDelay());
    ASSERT_GT(delay, 100u);
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.ClickAt(d.Centre(form.host->View(), form.file));
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        TTBView* drop = d.Popup(1);
        EXPECT_EQ(nullptr, d.SelectedItem(drop));   // opened by mouse: nothing selected yet

        DWORD t0 = GetTickCount();
        ASSERT_TRUE(d.HoverUntil(d.Centre(drop, form.recent), [&] { return drop->OpenViewerView() != nullptr; }))
            << "the submenu did not open";
        DWORD opened = GetTickCount() - t0;
        EXPECT_GE(opened + 30, delay);
        TTBView* sub = d.Popup(2);

        // Into the submenu: its item stays highlighted in the parent.
        EXPECT_TRUE(d.HoverUntil(d.Centre(sub, form.one), [&] { return sub->Selected() != nullptr; }))
            << "nothing selected in the submenu";
        EXPECT_EQ(form.recent, d.SelectedItem(drop));

        // Back to another item of the parent: closes after the delay.
        DWORD t1 = GetTickCount();
        const POINT open = d.Centre(drop, form.open);
        EXPECT_TRUE(d.HoverUntil(open, [&] { return drop->Selected() && drop->Selected()->Item() == form.open; }))
            << "the parent's item under the mouse is not selected";
        ASSERT_TRUE(d.HoverUntil(open, [&] { return drop->OpenViewerView() == nullptr; })) << "the submenu stayed open";
        EXPECT_GE(GetTickCount() - t1 + 30, delay);
        d.Keys({VK_ESCAPE});
        d.Keys({VK_ESCAPE});
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
    EXPECT_TRUE(form.Clicks().empty());
}

TEST(MenuLoop, NearTheBottomAMenuOpensAboveAndNearTheRightEdgeItShiftsLeft)
{
    ASSERT_TRUE(HaveDisplay());
    RECT work = GetRectOfMonitorContainingPoint(POINT{0, 0}, true);
    {
        MenuForm form(200, work.bottom - 60);
        form.ShowAndFocus();
        Driver d(form);
        d.Run([&](Driver& d) {
            RECT button = d.ScreenRect(form.host->View(), form.file);
            ASSERT_LT(work.bottom - button.bottom, 60);
            d.Keys({VK_F10});
            d.Keys({VK_DOWN});
            ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
            RECT r = d.WindowRect(d.Popup(1));
            EXPECT_EQ(button.top, r.bottom);   // ends at the button's top
            EXPECT_EQ(button.left, r.left);
            d.Keys({VK_ESCAPE});
            d.Keys({VK_ESCAPE});
            EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
        });
    }
    {
        MenuForm form(work.right - 40, 200);
        form.ShowAndFocus();
        Driver d(form);
        d.Run([&](Driver& d) {
            RECT button = d.ScreenRect(form.host->View(), form.file);
            ASSERT_LT(button.left, work.right);
            d.Keys({VK_F10});
            d.Keys({VK_DOWN});
            ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
            RECT r = d.WindowRect(d.Popup(1));
            EXPECT_EQ(work.right, r.right);   // shifted left to end at the edge
            EXPECT_LT(r.left, button.left);
            EXPECT_EQ(button.bottom, r.top);
            d.Keys({VK_ESCAPE});
            d.Keys({VK_ESCAPE});
            EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
        });
    }
}

TEST(MenuLoop, ASubmenuWithoutRoomOpensLeftAndItsChildrenKeepLeft)
{
    ASSERT_TRUE(HaveDisplay());
    RECT work = GetRectOfMonitorContainingPoint(POINT{0, 0}, true);
    MenuForm form(work.right - 40, 200);
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.Keys({VK_F10});
        d.Keys({VK_DOWN});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        TTBView* drop = d.Popup(1);
        d.Keys({'R'});   // the Recent submenu opens at once
        ASSERT_TRUE(d.WaitFor([&] { return drop->OpenViewerView() != nullptr; }));
        TTBView* sub = d.Popup(2);
        RECT recent = d.ScreenRect(drop, form.recent);
        RECT subRect = d.WindowRect(sub);
        EXPECT_EQ(recent.left + 3, subRect.right);
        EXPECT_TRUE(d.Gui([&] { return (sub->State() & vsOppositePopup) != 0; }));

        d.Keys({'D'});
        ASSERT_TRUE(d.WaitFor([&] { return sub->OpenViewerView() != nullptr; }));
        TTBView* deepView = d.Popup(3);
        RECT deepItem = d.ScreenRect(sub, form.deep);
        RECT deepRect = d.WindowRect(deepView);
        // There was room on the right, yet it keeps to the left.
        ASSERT_LE(deepItem.right - 3 + (deepRect.right - deepRect.left), work.right);
        EXPECT_EQ(deepItem.left + 3, deepRect.right);
        d.Keys({VK_ESCAPE});
        d.Keys({VK_ESCAPE});
        d.Keys({VK_ESCAPE});
        d.Keys({VK_ESCAPE});
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
}

TEST(MenuLoop, AUniqueLetterRunsItsItemAndASharedOneAlternates)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.Keys({VK_MENU, 'F'});   // Alt+F opens File
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        TTBView* drop = d.Popup(1);
        d.Keys({'S'});
        EXPECT_TRUE(d.WaitSelected(drop, form.save));
        d.Keys({'S'});
        EXPECT_TRUE(d.WaitSelected(drop, form.stop));
        d.Keys({'S'});
        EXPECT_TRUE(d.WaitSelected(drop, form.save));
        EXPECT_TRUE(d.Modal());
        d.Keys({'O'});   // unique: runs
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
        EXPECT_TRUE(d.WaitFor([&] { return form.Clicks().size() == 1; }));

        // A first letter without an accelerator, in another script.
        d.Keys({VK_MENU, 'F'});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        d.TypeChar(L'\x0440');   // Cyrillic small "р"
        EXPECT_TRUE(d.WaitFor([&] { return form.Clicks().size() == 2; }));
        d.Keys({VK_MENU, 'F'});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        d.Keys({'P'});
        EXPECT_TRUE(d.WaitFor([&] { return form.Clicks().size() == 3; }));
    });
    std::vector<ClickRecord> clicks = form.Clicks();
    ASSERT_EQ(3u, clicks.size());
    EXPECT_EQ("&Open", clicks[0].caption);
    EXPECT_EQ("\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9", clicks[1].caption);
    EXPECT_EQ("Print", clicks[2].caption);
}

TEST(MenuLoop, TheCommandRunsFromTheClickQueueAfterTheMenusAreGone)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.ClickAt(d.Centre(form.host->View(), form.file));
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        d.ClickAt(d.Centre(d.Popup(1), form.print));
        EXPECT_TRUE(d.WaitFor([&] { return form.Clicks().size() == 1; }));
    });
    std::vector<ClickRecord> clicks = form.Clicks();
    ASSERT_EQ(1u, clicks.size());
    EXPECT_EQ("Print", clicks[0].caption);
    EXPECT_EQ(0u, clicks[0].popupsShown);
    EXPECT_FALSE(clicks[0].modal);
    EXPECT_EQ(0, clicks[0].nesting);
}

TEST(MenuLoop, AClickOnAnotherWindowClosesTheMenuAndReachesIt)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.ClickAt(d.Centre(form.host->View(), form.file));
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        POINT button = d.Gui([&] { return form.other->ClientToScreen(POINT{40, 13}); });
        d.ClickAt(button);
        EXPECT_TRUE(d.WaitFor([&] { return form.otherClicks == 1; }));
        EXPECT_FALSE(d.Modal());
        EXPECT_EQ(0u, VisiblePopupWindows().size());
    });
    EXPECT_EQ(1, form.otherClicks);
    EXPECT_TRUE(form.Clicks().empty());
}

TEST(MenuLoop, WMQuitEndsTheLoopAndIsPostedAgain)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.Keys({VK_F10});
        d.Keys({VK_DOWN});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        d.Gui([] { PostQuitMessage(9); });
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
    EXPECT_EQ(1, d.quitsSeen);   // the loop under the menu got it
    EXPECT_EQ(0u, VisiblePopupWindows().size());
    EXPECT_TRUE(form.Clicks().empty());
}

TEST(MenuLoop, AnErrorInTheLoopIsReportedAndCancelsIt)
{
    ASSERT_TRUE(HaveDisplay());
    ClearCaughtErrors();
    MenuForm form;
    form.save->OnSelect = [](TTBCustomItem*, TTBItemViewer*, bool selecting) {
        if (selecting)
            throw Exception("save selected");
    };
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.Keys({VK_F10});
        d.Keys({VK_DOWN});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        d.Keys({VK_DOWN});   // onto Save
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
    EXPECT_EQ(std::vector<std::string>{"save selected"}, CaughtErrors());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_EQ(0u, VisiblePopupWindows().size());
    EXPECT_TRUE(form.Clicks().empty());
    ClearCaughtErrors();
}

TEST(MenuLoop, ItemsAndTheRootViewMayGoWhileTheLoopRuns)
{
    ASSERT_TRUE(HaveDisplay());
    ClearCaughtErrors();
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.Keys({VK_F10});
        d.Keys({VK_DOWN});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        TTBView* drop = d.Popup(1);
        // The selected item goes: the loop goes on without it.
        d.Gui([&] { delete form.open; });
        EXPECT_EQ(nullptr, d.SelectedItem(drop));
        d.Keys({VK_DOWN});
        EXPECT_TRUE(d.WaitSelected(drop, form.save));
        EXPECT_TRUE(d.Modal());
        // The toolbar itself goes: the loop ends with nothing to run.
        d.Gui([&] {
            TTBTestHost* h = form.host;
            form.host = nullptr;
            delete h;
        });
        EXPECT_TRUE(d.WaitFor([&] { return VisiblePopupWindows().empty() && GetCapture() == nullptr; }));
    });
    EXPECT_TRUE(CaughtErrors().empty());
    EXPECT_TRUE(form.Clicks().empty());
}

TEST(MenuLoop, PostQuitMessageWithAMenuOpenEndsTheProgram)
{
    ASSERT_TRUE(HaveDisplay());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"toolbars_menu_quit.exe";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + path + L"\"";
    ASSERT_TRUE(CreateProcessW(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    DWORD wait = WaitForSingleObject(pi.hProcess, 20000);
    if (wait != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 99);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), wait);
    EXPECT_EQ(0u, code);
}

TEST(MenuLoop, TheItemUnderTheMouseShowsItsHint)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.open->SetHint("Opens a file|Opens a file from the disk");
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.ClickAt(d.Centre(form.host->View(), form.file));
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        TTBView* drop = d.Popup(1);
        EXPECT_TRUE(d.HoverUntil(d.Centre(drop, form.open),
                                 [&] { return Application().Hint() == "Opens a file from the disk"; }));
        EXPECT_TRUE(d.WaitFor([&] { return ApplicationHintWindow() && ApplicationHintWindow()->Active(); }));
        EXPECT_EQ("Opens a file", d.Gui([&] { return ApplicationHintWindow()->Text(); }));
        d.Keys({VK_ESCAPE});   // keys cancel the hint
        EXPECT_TRUE(d.WaitFor([&] { return !ApplicationHintWindow()->Active(); }));
        d.Keys({VK_ESCAPE});
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
    EXPECT_EQ("", Application().Hint());
}

TEST(MenuLoop, TheChevronMenuListsExactlyTheHiddenItems)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    // A second toolbar with a chevron, and more items than fit.
    auto* bar = new TTBTestHost(&form, true);
    bar->SetParent(&form);
    bar->SetTop(40);
    std::vector<TTBItem*> items;
    for (int i = 0; i < 6; ++i)
        items.push_back(form.Item(bar->Items(), Format("Tool %d", i + 1)));
    form.ShowAndFocus();
    bar->SetFixedWidth(bar->View()->MeasureSize(tbvoHorizontal, 0, 0).cx / 2);
    std::vector<TTBCustomItem*> hidden;
    for (TTBItem* i : items)
        if (bar->View()->Find(i)->OffEdge)
            hidden.push_back(i);
    ASSERT_GE(hidden.size(), 2u);
    ASSERT_LT(hidden.size(), items.size());
    Driver d(form);
    d.Run([&](Driver& d) {
        RECT chevron = d.ScreenRect(bar->View(), bar->Chevron());
        d.ClickAt(POINT{(chevron.left + chevron.right) / 2, (chevron.top + chevron.bottom) / 2});
        ASSERT_TRUE(d.WaitFor([&] { return bar->View()->OpenViewerView() != nullptr; }));
        TTBView* menu = d.Gui([&] { return bar->View()->OpenViewerView(); });
        std::vector<TTBCustomItem*> shown = d.Gui([&] {
            std::vector<TTBCustomItem*> list;
            for (int i = 0; i < menu->ViewerCount(); ++i)
                if (menu->Viewers(i)->Show)
                    list.push_back(menu->Viewers(i)->Item());
            return list;
        });
        EXPECT_EQ(hidden, shown);
        // It ends at the chevron's right edge, below it.
        RECT r = d.WindowRect(menu);
        EXPECT_EQ(chevron.right, r.right);
        EXPECT_EQ(chevron.bottom, r.top);
        // Choosing a hidden item runs it.
        d.ClickAt(d.Centre(menu, hidden.back()));
        EXPECT_TRUE(d.WaitFor([&] { return form.Clicks().size() == 1; }));
    });
    ASSERT_EQ(1u, form.Clicks().size());
    EXPECT_EQ(hidden.back()->Caption(), form.Clicks()[0].caption);
}

TEST(MenuLoop, AMenuTallerThanTheScreenScrollsToTheSelection)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    RECT work = GetRectOfMonitorContainingPoint(POINT{0, 0}, true);
    TTBSubmenuItem* tall = form.Sub(form.host->Items(), "&Tall");
    std::vector<TTBItem*> items;
    for (int i = 0; i < 120; ++i)
        items.push_back(form.Item(tall, Format("Line %d", i + 1)));
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.Keys({VK_MENU, 'T'});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        TTBView* menu = d.Popup(1);
        RECT r = d.WindowRect(menu);
        EXPECT_LE(r.bottom - r.top, work.bottom - work.top);
        EXPECT_TRUE(d.Gui([&] { return menu->ShowDownArrow() && !menu->ShowUpArrow(); }));
        EXPECT_FALSE(d.Gui([&] { return menu->Find(items.back())->Show; }));
        d.Keys({VK_END});
        EXPECT_TRUE(d.WaitSelected(menu, items.back()));
        EXPECT_TRUE(d.Gui([&] { return menu->Find(items.back())->Show && menu->ShowUpArrow(); }));
        EXPECT_FALSE(d.Gui([&] { return menu->Find(items.front())->Show; }));
        d.Keys({VK_HOME});
        EXPECT_TRUE(d.WaitFor([&] { return menu->Find(items.front())->Show; }));
        d.Keys({VK_ESCAPE});
        d.Keys({VK_ESCAPE});
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
}

TEST(MenuLoop, WithMenuAnimationOnAMenuOpenedByMouseSlidesInAndOneOpenedByKeyIsShownAtOnce)
{
    ASSERT_TRUE(HaveDisplay());
    BOOL animation = FALSE, fade = FALSE;
    SystemParametersInfoW(SPI_GETMENUANIMATION, 0, &animation, 0);
    SystemParametersInfoW(SPI_GETMENUFADE, 0, &fade, 0);
    SystemParametersInfoW(SPI_SETMENUANIMATION, 0, reinterpret_cast<PVOID>(TRUE), 0);
    SystemParametersInfoW(SPI_SETMENUFADE, 0, reinterpret_cast<PVOID>(FALSE), 0);
    SetPopupAnimationDurationForTesting(20000);
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        int before = d.Gui([] { return PopupAnimationSequence(); });
        d.ClickAt(d.Centre(form.host->View(), form.file));
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        HWND popup = d.Gui([&] { return d.Popup(1)->Window()->Handle(); });
        EXPECT_EQ(before + 1, d.Gui([] { return PopupAnimationSequence(); }));
        EXPECT_TRUE(d.Gui([&] { return IsPopupAnimationRunning(popup); }));
        // The cursor entering it shows it whole.
        RECT r = d.WindowRect(d.Popup(1));
        EXPECT_TRUE(d.HoverUntil(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2},
                                 [&] { return !IsPopupAnimationRunning(popup); }));
        d.Keys({VK_ESCAPE});
        EXPECT_EQ(before + 1, d.Gui([] { return PopupAnimationSequence(); }));
        // By keyboard the first item is selected: no animation.
        d.Keys({VK_DOWN});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        EXPECT_EQ(before + 1, d.Gui([] { return PopupAnimationSequence(); }));
        d.Keys({VK_ESCAPE});
        d.Keys({VK_ESCAPE});
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
    SetPopupAnimationDurationForTesting(0);
    SystemParametersInfoW(SPI_SETMENUANIMATION, 0, reinterpret_cast<PVOID>(static_cast<INT_PTR>(animation)), 0);
    SystemParametersInfoW(SPI_SETMENUFADE, 0, reinterpret_cast<PVOID>(static_cast<INT_PTR>(fade)), 0);
}

TEST(MenuLoop, RightAndLeftMoveAlongTheMenuBarOpeningMenusOnTheWay)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        d.Keys({VK_F10});
        d.Keys({VK_DOWN});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        // Open has no submenu: Right goes on to Edit, which has no menu.
        d.Keys({VK_RIGHT});
        EXPECT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() == nullptr; }));
        EXPECT_EQ(form.edit, d.SelectedItem(form.host->View()));
        // Back to File: its menu opens again on its first item.
        d.Keys({VK_LEFT});
        ASSERT_TRUE(d.WaitFor([&] { return form.host->View()->OpenViewerView() != nullptr; }));
        EXPECT_EQ(form.file, d.SelectedItem(form.host->View()));
        EXPECT_EQ(form.open, d.SelectedItem(d.Popup(1)));
        d.Keys({VK_ESCAPE});
        d.Keys({VK_ESCAPE});
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
    EXPECT_TRUE(form.Clicks().empty());
}

TEST(MenuLoop, AToolbarButtonRunsWhenReleasedOverItAndNotWhenReleasedElsewhere)
{
    ASSERT_TRUE(HaveDisplay());
    MenuForm form;
    form.ShowAndFocus();
    Driver d(form);
    d.Run([&](Driver& d) {
        POINT edit = d.Centre(form.host->View(), form.edit);
        d.ClickAt(edit);
        EXPECT_TRUE(d.WaitFor([&] { return form.Clicks().size() == 1; }));
        // Pressed on Edit, released away from the toolbar: nothing runs.
        d.MoveTo(edit);
        INPUT down = {}, up = {};
        down.type = up.type = INPUT_MOUSE;
        down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        d.Send({down});
        EXPECT_TRUE(d.WaitFor([&] { return form.host->View()->IsModal(); }));
        d.MoveTo(POINT{edit.x, edit.y + 60});
        d.Send({up});
        EXPECT_TRUE(d.WaitFor([&] { return !form.host->View()->IsModal(); }));
    });
    std::vector<ClickRecord> clicks = form.Clicks();
    ASSERT_EQ(1u, clicks.size());
    EXPECT_EQ("&Edit", clicks[0].caption);
    EXPECT_FALSE(clicks[0].modal);
    EXPECT_EQ(0, clicks[0].nesting);
}
