#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "controls/CoolTrayIcon.h"
#include "controls/WndProcHook.h"
#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "platform/WindowSubclass.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// Wine draws the icons of the notification area at the right end of its
// taskbar, newest to the left, one slot of a small icon and a border each.
HWND TrayWindow() { return FindWindowW(L"Shell_TrayWnd", nullptr); }
int SlotWidth() { return GetSystemMetrics(SM_CXSMICON) + 4; }

RECT TrayRect()
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(TrayWindow(), &r);
    return r;
}

POINT SlotCentre(int slot)
{
    RECT r = TrayRect();
    return POINT{r.right - slot * SlotWidth() - SlotWidth() / 2, (r.top + r.bottom) / 2};
}

COLORREF ScreenPixel(POINT p)
{
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return c;
}

// The number of icons shown, counted on the screen.
int CountTrayIcons()
{
    RECT r = TrayRect();
    int y = (r.top + r.bottom) / 2, slot = SlotWidth();
    HDC dc = GetDC(nullptr);
    COLORREF bg = GetPixel(dc, r.right - 1, r.top + 1);
    int n = 0;
    for (;; ++n) {
        int right = r.right - n * slot, left = right - slot;
        if (left < r.left + 100)
            break;
        bool any = false;
        for (int x = left; x < right && !any; ++x)
            for (int dy = -4; dy <= 4 && !any; dy += 2)
                any = GetPixel(dc, x, y + dy) != bg;
        if (!any)
            break;
    }
    ReleaseDC(nullptr, dc);
    return n;
}

bool WaitForIconCount(int n) { return PumpUntil([n] { return CountTrayIcons() == n; }, 3000); }

// A 16 x 16 icon of one colour.
HICON SolidIcon(COLORREF c)
{
    DWORD pixel = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    std::vector<DWORD> bits(16 * 16, pixel);
    HBITMAP color = CreateBitmap(16, 16, 1, 32, bits.data());
    std::vector<BYTE> maskBits(16 * 2, 0);   // all opaque
    HBITMAP mask = CreateBitmap(16, 16, 1, 1, maskBits.data());
    ICONINFO ii = {TRUE, 0, 0, mask, color};
    HICON icon = CreateIconIndirect(&ii);
    DeleteObject(color);
    DeleteObject(mask);
    return icon;
}

// The colour at the centre of an icon drawn on black.
COLORREF IconColour(HICON icon)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bmp);
    PatBlt(dc, 0, 0, 16, 16, BLACKNESS);
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    COLORREF c = GetPixel(dc, 8, 8);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return c;
}

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAW data;
    BOOL result;
};

// Records every record handed to the shell while it lives.
class ShellRecorder {
public:
    ShellRecorder()
    {
        TCoolTrayIcon::SetShellObserver([this](DWORD m, const NOTIFYICONDATAW& d, BOOL r) {
            calls.push_back(ShellCall{m, d, r});
        });
    }
    ~ShellRecorder() { TCoolTrayIcon::SetShellObserver(nullptr); }
    std::vector<ShellCall> calls;
    const ShellCall& Last() const { return calls.back(); }
};

// Moves the cursor as the hardware would (a bare SetCursorPos may be taken
// back by the display's own pointer position under Wine).
void MoveCursor(int x, int y)
{
    SetCursorPos(x, y);
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<DWORD>(x * 65535 / (w - 1)),
                static_cast<DWORD>(y * 65535 / (h - 1)), 0, 0);
}

void ClickAt(POINT p, bool twice = false)
{
    MoveCursor(p.x, p.y);
    Pump(30);
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
        mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        Pump(30);
    }
}

void PostTray(TCoolTrayIcon* icon, LPARAM code)
{
    PostMessageW(TCoolTrayIcon::HandlerWindow(), WM_TRAYNOTIFY, reinterpret_cast<WPARAM>(icon), code);
}

// A main form with the tray icon on it, as the program has.
struct MainFormWithTray {
    MainFormWithTray()
    {
        form = new TForm(nullptr);
        form->SetBounds(200, 200, 300, 200);
        Application().SetMainForm(form);
        tray = new TCoolTrayIcon(form);
        tray->SetIcon(red);
        menu = new TPopupMenu(form);
        restore = menu->Items().Add("Restore", [this](TObject*) {
            ++restores;
            tray->ShowMainForm();
        });
        restore->Default = true;
        tray->SetPopupMenu(menu);
    }
    ~MainFormWithTray()
    {
        delete form;
        Application().SetMainForm(nullptr);
        Pump(20);
    }
    struct Red : TIcon {
        Red() { SetHandle(SolidIcon(RGB(255, 0, 0))); }
    } red;
    TForm* form;
    TCoolTrayIcon* tray;
    TPopupMenu* menu;
    TMenuItem* restore;
    int restores = 0;
};

bool FormShown(TForm* f) { return f->HandleAllocated() && IsWindowVisible(f->Handle()); }

// Three solid images: red, green and blue.
const COLORREF kRedGreenBlue[3] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)};
void AddRedGreenBlue(TImageList& list)
{
    for (COLORREF c : kRedGreenBlue) {
        HICON h = SolidIcon(c);
        list.AddIcon(h);
        DestroyIcon(h);
    }
}

}  // namespace

class Tray : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(HaveDisplay());
        ASSERT_NE(TrayWindow(), nullptr);
        ASSERT_TRUE(WaitForIconCount(0)) << "icons left over from an earlier test";
    }
};

TEST_F(Tray, IconShowsAndItsHintAndPictureChange)
{
    ShellRecorder rec;
    auto* icon = new TCoolTrayIcon(nullptr);
    EXPECT_FALSE(icon->IconVisible());
    icon->Icon().SetHandle(SolidIcon(RGB(255, 0, 0)));
    icon->SetHint("Brenix: 2 running");
    icon->SetIconVisible(true);
    EXPECT_TRUE(icon->IconVisible());
    ASSERT_TRUE(WaitForIconCount(1));
    EXPECT_TRUE(PumpUntil([] { return ScreenPixel(SlotCentre(0)) == RGB(255, 0, 0); }, 20000));
    const ShellCall& add = rec.Last();
    EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_TRUE(add.result);
    EXPECT_EQ(add.data.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(add.data.uCallbackMessage, WM_TRAYNOTIFY);
    EXPECT_EQ(add.data.hWnd, TCoolTrayIcon::HandlerWindow());
    EXPECT_EQ(add.data.uID, static_cast<UINT>(reinterpret_cast<UINT_PTR>(icon)));
    EXPECT_STREQ(add.data.szTip, L"Brenix: 2 running");

    // A new picture, through the icon object's change notice.
    icon->Icon().SetHandle(SolidIcon(RGB(0, 0, 255)));
    EXPECT_EQ(rec.Last().message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_TRUE(rec.Last().result);
    EXPECT_TRUE(PumpUntil([] { return ScreenPixel(SlotCentre(0)) == RGB(0, 0, 255); }, 20000));

    // The hint: cut to 127 characters; empty when hints are off.
    icon->SetHint(std::string(200, 'h'));
    EXPECT_EQ(std::wstring(rec.Last().data.szTip), std::wstring(127, L'h'));
    icon->SetHint("Клиенты: 3");
    EXPECT_STREQ(rec.Last().data.szTip, L"Клиенты: 3");
    icon->SetShowHint(false);
    EXPECT_STREQ(rec.Last().data.szTip, L"");
    icon->SetShowHint(true);
    EXPECT_STREQ(rec.Last().data.szTip, L"Клиенты: 3");

    icon->SetIconVisible(false);
    EXPECT_EQ(rec.Last().message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_TRUE(WaitForIconCount(0));
    icon->SetIconVisible(true);
    EXPECT_TRUE(WaitForIconCount(1));
    delete icon;   // takes its icon away
    EXPECT_TRUE(WaitForIconCount(0));
}

TEST_F(Tray, BalloonIsRequestedWithCutTextsAndReplacesTheLastOne)
{
    ShellRecorder rec;
    TCoolTrayIcon icon(nullptr);
    icon.Icon().SetHandle(SolidIcon(RGB(0, 128, 0)));
    icon.SetIconVisible(true);
    rec.calls.clear();
    std::string title = std::string(60, 't') + "ЖЖЖЖЖЖ";   // 66 characters
    std::string text(300, 'x');
    EXPECT_TRUE(icon.ShowBalloonHint(title, text, 2, 10));
    ASSERT_EQ(rec.calls.size(), 2u);
    // First any balloon on screen is taken away ...
    EXPECT_EQ(rec.calls[0].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_TRUE(rec.calls[0].data.uFlags & NIF_INFO);
    EXPECT_STREQ(rec.calls[0].data.szInfo, L"");
    // ... then the new one asked for.
    const NOTIFYICONDATAW& b = rec.calls[1].data;
    EXPECT_TRUE(rec.calls[1].result);
    EXPECT_EQ(b.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO));
    EXPECT_EQ(std::wstring(b.szInfo), std::wstring(255, L'x'));
    EXPECT_EQ(std::wstring(b.szInfoTitle), std::wstring(60, L't') + L"ЖЖЖ");
    EXPECT_EQ(b.uTimeout, 10000u);
    EXPECT_EQ(b.dwInfoFlags, static_cast<DWORD>(NIIF_WARNING));
    // Later changes do not repeat the balloon.
    icon.SetHint("after");
    EXPECT_EQ(rec.Last().data.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    // A second balloon replaces the first.
    rec.calls.clear();
    EXPECT_TRUE(icon.ShowBalloonHint("Error", "client stopped", 3, 60));
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_STREQ(rec.calls[0].data.szInfo, L"");
    EXPECT_STREQ(rec.calls[1].data.szInfo, L"client stopped");
    EXPECT_EQ(rec.calls[1].data.uTimeout, 60000u);
    EXPECT_EQ(rec.calls[1].data.dwInfoFlags, static_cast<DWORD>(NIIF_ERROR));
    // Without an icon in the tray the shell refuses, and that is the answer.
    icon.SetIconVisible(false);
    EXPECT_FALSE(icon.ShowBalloonHint("t", "x", 1, 10));
}

TEST_F(Tray, CyclingStepsThroughTheImageList)
{
    TImageList list(nullptr, 16, 16);
    AddRedGreenBlue(list);
    TCoolTrayIcon icon(nullptr);
    icon.SetIconVisible(true);
    // Without a list the index stays 0.
    icon.SetIconIndex(2);
    EXPECT_EQ(icon.IconIndex(), 0);
    icon.SetIconList(&list);
    icon.SetIconIndex(10);
    EXPECT_EQ(icon.IconIndex(), 2);   // beyond the count: the last image
    EXPECT_TRUE(PumpUntil([] { return ScreenPixel(SlotCentre(0)) == RGB(0, 0, 255); }, 20000));
    icon.SetIconIndex(1);
    EXPECT_TRUE(PumpUntil([] { return ScreenPixel(SlotCentre(0)) == RGB(0, 255, 0); }, 20000));

    std::vector<int> next;
    icon.OnCycle = [&](TObject*, int n) { next.push_back(n); };
    // An interval of 0 shows image 0 and does not cycle.
    icon.SetCycleIcons(true);
    EXPECT_EQ(icon.IconIndex(), 0);
    Pump(200);
    EXPECT_TRUE(next.empty());
    icon.SetCycleInterval(60);
    ASSERT_TRUE(PumpUntil([&] { return next.size() >= 5; }, 20000));
    icon.SetCycleIcons(false);
    std::vector<int> first(next.begin(), next.begin() + 5);
    EXPECT_EQ(first, (std::vector<int>{1, 2, 0, 1, 2}));
    size_t at = next.size();
    Pump(200);
    EXPECT_EQ(next.size(), at);

    // The list going away leaves the icon without one.
    {
        auto* owned = new TImageList(nullptr);
        icon.SetIconList(owned);
        delete owned;
        EXPECT_EQ(icon.IconList(), nullptr);
        EXPECT_EQ(icon.IconIndex(), 0);
    }
}

// The cycle shows the list's images in turn as icons made once: every
// step hands the shell one of the same few handles, which go when the
// cycle ends.
TEST_F(Tray, CyclingShowsTheSameIconsAtEveryTurn)
{
    TImageList list(nullptr, 16, 16);
    AddRedGreenBlue(list);
    TCoolTrayIcon icon(nullptr);
    icon.SetIconList(&list);
    icon.SetIconVisible(true);
    icon.SetCycleInterval(30);
    std::set<HICON> handles;
    std::vector<COLORREF> steps;   // the picture shown, each change once
    TCoolTrayIcon::SetShellObserver([&](DWORD m, const NOTIFYICONDATAW& d, BOOL) {
        if (m != NIM_MODIFY)
            return;
        handles.insert(d.hIcon);
        if (COLORREF c = IconColour(d.hIcon); steps.empty() || steps.back() != c)
            steps.push_back(c);
    });
    icon.SetCycleIcons(true);
    EXPECT_TRUE(PumpUntil([&] { return steps.size() >= 8; }, 20000)) << "eight steps of the cycle";
    icon.SetCycleIcons(false);
    TCoolTrayIcon::SetShellObserver(nullptr);

    for (size_t i = 0; i < steps.size(); ++i)
        EXPECT_EQ(steps[i], kRedGreenBlue[i % 3]) << "step " << i;
    EXPECT_EQ(handles.size(), 3u);
    for (HICON h : handles) {
        ICONINFO ii;
        EXPECT_FALSE(GetIconInfo(h, &ii)) << "an icon of the cycle left after it";
    }
}

TEST_F(Tray, LeftDoubleClickRestoresAMainFormHiddenToTheTray)
{
    MainFormWithTray m;
    int clicks = 0, dbl = 0;
    m.tray->OnClick = [&](TObject*) { ++clicks; };
    m.tray->OnDblClick = [&](TObject*) { ++dbl; };   // present, so single clicks wait
    m.tray->SetIconVisible(true);
    ASSERT_TRUE(WaitForIconCount(1));
    m.form->Show();
    Pump(50);
    ASSERT_TRUE(FormShown(m.form));
    m.tray->HideMainForm();
    Pump(50);
    EXPECT_FALSE(FormShown(m.form));
    EXPECT_FALSE(IsWindowVisible(Application().Handle()));
    ClickAt(SlotCentre(0), true);
    ASSERT_TRUE(PumpUntil([&] { return FormShown(m.form); }, 20000));
    EXPECT_EQ(dbl, 1);
    EXPECT_EQ(m.restores, 1);
    Pump(GetDoubleClickTime() + 200);
    EXPECT_EQ(clicks, 0);   // a double click is not also a click
}

TEST_F(Tray, ASingleClickWaitsForTheDoubleClickTime)
{
    TCoolTrayIcon icon(nullptr);
    icon.Icon().SetHandle(SolidIcon(RGB(200, 200, 0)));
    DWORD clickedAt = 0, downAt = 0;
    int clicks = 0, downs = 0, ups = 0;
    icon.OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int, int) {
        if (b == TMouseButton::mbLeft && (s & ssLeft)) {
            ++downs;
            downAt = GetTickCount();
        }
    };
    icon.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++ups; };
    icon.OnClick = [&](TObject*) {
        ++clicks;
        clickedAt = GetTickCount();
    };
    icon.SetIconVisible(true);
    ASSERT_TRUE(WaitForIconCount(1));
    // Without a double-click handler the click comes at the release.
    ClickAt(SlotCentre(0));
    ASSERT_TRUE(PumpUntil([&] { return ups == 1; }, 20000));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, 1);
    // With one, a single click is reported a double-click time after the press.
    icon.OnDblClick = [](TObject*) {};
    Pump(GetDoubleClickTime() + 100);
    ClickAt(SlotCentre(0));
    ASSERT_TRUE(PumpUntil([&] { return clicks == 2; }, 20000));
    EXPECT_GE(clickedAt - downAt + 30, static_cast<DWORD>(GetDoubleClickTime()));
    EXPECT_EQ(ups, 2);
}

TEST_F(Tray, BalloonEventsArriveAndDisabledIconsIgnoreTheMouse)
{
    TCoolTrayIcon icon(nullptr);
    std::vector<std::string> events;
    icon.OnBalloonHintShow = [&](TObject*) { events.push_back("show"); };
    icon.OnBalloonHintHide = [&](TObject*) { events.push_back("hide"); };
    icon.OnBalloonHintTimeout = [&](TObject* s) { events.push_back(s == &icon ? "timeout" : "?"); };
    icon.OnBalloonHintClick = [&](TObject* s) { events.push_back(s == &icon ? "click" : "?"); };
    icon.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { events.push_back("down"); };
    PostTray(&icon, NIN_BALLOONSHOW);
    PostTray(&icon, NIN_BALLOONUSERCLICK);
    PostTray(&icon, NIN_BALLOONTIMEOUT);
    PostTray(&icon, NIN_BALLOONHIDE);
    PostTray(&icon, WM_LBUTTONDOWN);
    Pump(50);
    EXPECT_EQ(events, (std::vector<std::string>{"show", "click", "timeout", "hide", "down"}));
    events.clear();
    icon.SetEnabled(false);
    PostTray(&icon, WM_LBUTTONDOWN);
    PostTray(&icon, NIN_BALLOONUSERCLICK);
    Pump(50);
    EXPECT_EQ(events, (std::vector<std::string>{"click"}));
    // A callback queued for an icon that is gone by then is dropped.
    auto* gone = new TCoolTrayIcon(nullptr);
    bool called = false;
    gone->OnBalloonHintClick = [&](TObject*) { called = true; };
    PostTray(gone, NIN_BALLOONUSERCLICK);
    delete gone;
    Pump(50);
    EXPECT_FALSE(called);
}

TEST_F(Tray, MinimisingTheMainFormHidesItToTheTray)
{
    MainFormWithTray m;
    m.tray->SetMinimizeToTray(true);
    int minimised = 0;
    m.tray->OnMinimizeToTray = [&](TObject*) { ++minimised; };
    m.form->Show();
    Pump(50);
    ASSERT_TRUE(FormShown(m.form));
    ASSERT_TRUE(IsWindowVisible(Application().Handle()));   // the taskbar button
    EXPECT_FALSE(m.tray->IconVisible());
    SendMessageW(m.form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(minimised, 1);
    EXPECT_FALSE(FormShown(m.form));
    EXPECT_FALSE(IsWindowVisible(Application().Handle()));
    EXPECT_TRUE(m.tray->IconVisible());
    EXPECT_TRUE(WaitForIconCount(1));
    m.tray->ShowMainForm();
    Pump(50);
    EXPECT_TRUE(FormShown(m.form));
    EXPECT_TRUE(IsWindowVisible(Application().Handle()));

    // Without the event only the application's own minimise sends it to the tray.
    m.tray->OnMinimizeToTray = nullptr;
    m.tray->SetIconVisible(false);
    ASSERT_TRUE(WaitForIconCount(0));
    SendMessageW(m.form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Pump(50);
    EXPECT_EQ(minimised, 1);
    EXPECT_FALSE(FormShown(m.form));
    EXPECT_TRUE(m.tray->IconVisible());
    EXPECT_TRUE(WaitForIconCount(1));
    m.tray->ShowMainForm();
    Pump(50);
    EXPECT_TRUE(FormShown(m.form));
    EXPECT_FALSE(IsIconic(Application().Handle()));
}

TEST_F(Tray, ARestartedTaskbarGetsTheVisibleIconsBack)
{
    TCoolTrayIcon shown(nullptr), hidden(nullptr);
    shown.Icon().SetHandle(SolidIcon(RGB(0, 0, 200)));
    hidden.Icon().SetHandle(SolidIcon(RGB(0, 200, 0)));
    shown.SetIconVisible(true);
    ASSERT_TRUE(WaitForIconCount(1));
    // The shell forgets it (as a restarted taskbar does) ...
    NOTIFYICONDATAW nid = {};
    nid.cbSize = NOTIFYICONDATAW_V2_SIZE;
    nid.hWnd = TCoolTrayIcon::HandlerWindow();
    nid.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(&shown));
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
    ASSERT_TRUE(WaitForIconCount(0));
    // ... and announces itself again.
    SendMessageW(Application().Handle(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitForIconCount(1));
    Pump(200);
    EXPECT_EQ(CountTrayIcons(), 1);   // the hidden one stays hidden
    EXPECT_EQ(ScreenPixel(SlotCentre(0)), RGB(0, 0, 200));
}

namespace {
void CALLBACK EndMenuTimer(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }
}  // namespace

TEST_F(Tray, APopupIsNotReenteredByASecondTrayMessage)
{
    TForm form(nullptr);
    auto* icon = new TCoolTrayIcon(&form);
    auto* menu = new TPopupMenu(&form);
    menu->Items().Add("Exit");
    icon->SetPopupMenu(menu);
    int open = 0, maxOpen = 0, popups = 0;
    menu->OnPopup = [&](TObject*) {
        ++popups;
        maxOpen = std::max(maxOpen, ++open);
        // While the menu is up, the shell sends another right click.
        if (popups == 1)
            PostTray(icon, WM_RBUTTONDOWN);
    };
    UINT_PTR timer = SetTimer(nullptr, 0, 150, EndMenuTimer);
    PostTray(icon, WM_RBUTTONDOWN);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1500) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            open = 0;   // back in the outer loop: no popup stands
        }
        Sleep(5);
    }
    KillTimer(nullptr, timer);
    EXPECT_GE(popups, 1);
    EXPECT_EQ(maxOpen, 1);
    EXPECT_EQ(Application().NestingDepth(), 0);
    EXPECT_EQ(menu->PopupComponent, icon);
}

TEST_F(Tray, HooksOnOneFormComeOffInEveryOrder)
{
    std::array<int, 3> order = {0, 1, 2};
    const UINT kPing = WM_APP + 33;
    struct PingForm : TForm {
        PingForm() : TForm(nullptr) {}
        void WndProc(TMessage& m) override
        {
            if (m.Msg == WM_APP + 33) {
                m.Result = 77;
                return;
            }
            TForm::WndProc(m);
        }
    };
    do {
        PingForm form;
        HWND h = form.Handle();
        LONG_PTR proc = GetWindowLongPtrW(h, GWLP_WNDPROC);
        int own = SubclassCount(h);
        TComponent* parts[3];
        parts[0] = new TCoolTrayIcon(&form);
        auto* hook = new TRxWindowHook(&form);
        int hookSaw = 0;
        hook->BeforeMessage = [&](TObject*, TMessage& m, bool&) { hookSaw += m.Msg == kPing; };
        hook->SetWinControl(&form);
        parts[1] = hook;
        parts[2] = new TCoolTrayIcon(&form);
        EXPECT_EQ(SubclassCount(h), own + 3);
        for (int k = 0; k < 3; ++k) {
            if (order[k] == 1)
                hookSaw = 0;
            delete parts[order[k]];
            EXPECT_EQ(SendMessageW(h, kPing, 0, 0), 77);
            if (order[k] == 1) {
                EXPECT_EQ(hookSaw, 0);
            }
        }
        EXPECT_EQ(SubclassCount(h), own);
        EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), proc);
        // Minimising still works as the form's own.
        SendMessageW(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(IsIconic(h) || !IsWindowVisible(h));
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(Tray, FreeingAnIconAfterItsFormWindowWentDoesNotMakeANewWindow)
{
    TForm form(nullptr);
    auto* icon = new TCoolTrayIcon(&form);
    HWND h = form.Handle();
    DestroyWindow(h);
    EXPECT_FALSE(form.HandleAllocated());
    delete icon;
    EXPECT_FALSE(form.HandleAllocated());
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(Tray, AnIconFreedByItsOwnHandlerDoesNotCrash)
{
    auto* icon = new TCoolTrayIcon(nullptr);
    std::weak_ptr<void> alive = icon->AliveToken();
    icon->OnMouseDown = [&](TObject* s, TMouseButton, TShiftState, int, int) {
        delete static_cast<TCoolTrayIcon*>(s);
    };
    icon->SetLeftPopup(true);
    PostTray(icon, WM_LBUTTONDOWN);
    PostTray(icon, WM_LBUTTONUP);
    Pump(50);
    EXPECT_TRUE(alive.expired());
}

TEST_F(Tray, StartupCanKeepTheMainFormInTheTray)
{
    TForm* form = new TForm(nullptr);
    Application().SetMainForm(form);
    form->BeginLoading();
    auto* icon = new TCoolTrayIcon(form);
    int asked = 0;
    icon->OnStartup = [&](TObject*, bool& show) {
        ++asked;
        show = false;
    };
    icon->Icon().SetHandle(SolidIcon(RGB(90, 0, 90)));
    icon->SetIconVisible(true);   // as a form resource would set it
    form->EndLoading();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(Application().ShowMainForm);
    EXPECT_FALSE(FormShown(form));
    EXPECT_TRUE(icon->IconVisible());
    EXPECT_TRUE(WaitForIconCount(1));
    Application().ShowMainForm = true;
    delete form;
    Application().SetMainForm(nullptr);
}

TEST_F(Tray, TheMouseEntersAndLeavesTheIcon)
{
    // The shell's move callbacks are posted here; the cursor is placed with
    // SetCursorPos (under Wine a warped cursor can later snap back to the
    // display's pointer, so no real pointer motion is relied on).
    TCoolTrayIcon icon(nullptr);
    std::vector<std::string> events;
    icon.OnMouseEnter = [&](TObject*) { events.push_back("enter"); };
    icon.OnMouseExit = [&](TObject*) { events.push_back("exit"); };
    icon.SetWantEnterExitEvents(true);
    POINT start;
    GetCursorPos(&start);
    PostTray(&icon, WM_MOUSEMOVE);
    PostTray(&icon, WM_MOUSEMOVE);
    Pump(150);   // the cursor stays where the move was seen: no exit
    EXPECT_EQ(events, (std::vector<std::string>{"enter"}));
    SetCursorPos(start.x + 40, start.y + 30);
    ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }, 20000));
    EXPECT_EQ(events[1], "exit");
    PostTray(&icon, WM_MOUSEMOVE);
    Pump(30);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[2], "enter");
    // Without the wish, nothing is tracked.
    icon.SetWantEnterExitEvents(false);
    SetCursorPos(start.x, start.y);
    events.clear();
    PostTray(&icon, WM_MOUSEMOVE);
    Pump(100);
    EXPECT_TRUE(events.empty());
}

TEST_F(Tray, RightAndMiddleButtonsFollowTheNotifyVersion)
{
    TCoolTrayIcon icon(nullptr);
    std::vector<std::string> events;
    auto name = [](TMouseButton b) {
        return b == TMouseButton::mbLeft ? "L" : b == TMouseButton::mbRight ? "R" : "M";
    };
    icon.OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int, int) {
        bool flag = (b == TMouseButton::mbRight && (s & ssRight)) || (b == TMouseButton::mbMiddle && (s & ssMiddle));
        events.push_back(std::string("down ") + name(b) + (flag ? "" : "!"));
    };
    icon.OnMouseUp = [&](TObject*, TMouseButton b, TShiftState, int, int) {
        events.push_back(std::string("up ") + name(b));
    };
    icon.OnMouseMove = [&](TObject*, TShiftState, int x, int y) {
        POINT c;
        GetCursorPos(&c);
        events.push_back(x == c.x && y == c.y ? "move" : "move?");
    };
    PostTray(&icon, WM_RBUTTONDOWN);   // no menu: nothing pops up
    PostTray(&icon, WM_RBUTTONUP);
    PostTray(&icon, WM_CONTEXTMENU);
    PostTray(&icon, WM_MBUTTONDOWN);
    PostTray(&icon, WM_MBUTTONUP);
    PostTray(&icon, WM_MOUSEMOVE);
    Pump(50);
    EXPECT_EQ(events, (std::vector<std::string>{"down R", "up R", "down M", "up M", "move"}));
    events.clear();
    icon.SetNotifyVersion(1);
    PostTray(&icon, WM_RBUTTONUP);
    PostTray(&icon, WM_CONTEXTMENU);
    PostTray(&icon, NIN_SELECT);
    PostTray(&icon, NIN_KEYSELECT);
    Pump(50);
    EXPECT_EQ(events, (std::vector<std::string>{"up R", "up R", "up R"}));
}

TEST_F(Tray, AnOwnerThatCannotHaveAWindowYetIsNotHooked)
{
    ClearCaughtErrors();
    auto* panel = new TPanel(nullptr);   // no parent: no window possible
    auto* icon = new TCoolTrayIcon(panel);
    EXPECT_EQ(CaughtErrors().size(), 1u);   // reported, not thrown
    EXPECT_FALSE(panel->HandleAllocated());
    icon->Icon().SetHandle(SolidIcon(RGB(10, 10, 10)));
    EXPECT_TRUE(icon->ShowIcon());
    EXPECT_TRUE(WaitForIconCount(1));
    delete panel;   // frees the icon with it
    EXPECT_TRUE(WaitForIconCount(0));
}

TEST_F(Tray, APressHeldPastTheDoubleClickTimeClicksAtTheRelease)
{
    TCoolTrayIcon icon(nullptr);
    int clicks = 0, ups = 0, clicksAtUp = -1;
    icon.OnClick = [&](TObject*) { ++clicks; };
    icon.OnDblClick = [](TObject*) {};
    icon.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) {
        ++ups;
        clicksAtUp = clicks;
    };
    PostTray(&icon, WM_LBUTTONDOWN);
    Pump(GetDoubleClickTime() + 250);
    EXPECT_EQ(clicks, 0);   // still held: no click yet
    PostTray(&icon, WM_LBUTTONUP);
    Pump(50);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(clicksAtUp, 1);   // the click comes before the button-up event
    Pump(GetDoubleClickTime() + 100);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(ups, 1);
}

TEST_F(Tray, TheMenuOpensAgainAfterAFailingPopup)
{
    ClearCaughtErrors();
    TForm form(nullptr);
    auto* icon = new TCoolTrayIcon(&form);
    auto* menu = new TPopupMenu(&form);
    menu->Items().Add("Exit");
    icon->SetPopupMenu(menu);
    int popups = 0;
    menu->OnPopup = [&](TObject*) {
        if (++popups == 1)
            throw std::runtime_error("menu preparation failed");
    };
    PostTray(icon, WM_RBUTTONDOWN);
    Pump(50);
    EXPECT_EQ(popups, 1);
    ASSERT_EQ(CaughtErrors().size(), 1u);
    EXPECT_EQ(CaughtErrors()[0], "menu preparation failed");
    UINT_PTR timer = SetTimer(nullptr, 0, 150, EndMenuTimer);
    PostTray(icon, WM_RBUTTONDOWN);
    PumpUntil([&] { return popups == 2; }, 2000);
    KillTimer(nullptr, timer);
    EXPECT_EQ(popups, 2);
    EXPECT_EQ(Application().NestingDepth(), 0);
}

TEST_F(Tray, TheLastIconFreedByItsOwnHandlerThatThenFails)
{
    ClearCaughtErrors();
    ASSERT_EQ(TCoolTrayIcon::HandlerWindow(), nullptr);
    auto* icon = new TCoolTrayIcon(nullptr);
    HWND shared = TCoolTrayIcon::HandlerWindow();
    icon->OnBalloonHintClick = [](TObject* s) {
        delete static_cast<TCoolTrayIcon*>(s);   // the shared window goes with the last icon
        throw std::runtime_error("after freeing the icon");
    };
    PostTray(icon, NIN_BALLOONUSERCLICK);
    Pump(50);
    ASSERT_EQ(CaughtErrors().size(), 1u);
    EXPECT_EQ(CaughtErrors()[0], "after freeing the icon");
    EXPECT_EQ(TCoolTrayIcon::HandlerWindow(), nullptr);
    EXPECT_FALSE(IsWindow(shared));
    // A new icon gets a new window and its callbacks.
    TCoolTrayIcon next(nullptr);
    bool clicked = false;
    next.OnBalloonHintClick = [&](TObject*) { clicked = true; };
    PostTray(&next, NIN_BALLOONUSERCLICK);
    Pump(50);
    EXPECT_TRUE(clicked);
}

TEST_F(Tray, ADoubleClickRunsTheFirstDefaultItemOfTheMenu)
{
    TForm form(nullptr);
    auto* icon = new TCoolTrayIcon(&form);
    auto* menu = new TPopupMenu(&form);
    std::string ran;
    menu->Items().Add("Open", [&](TObject*) { ran += "open "; });
    menu->Items().Add("Restore", [&](TObject*) { ran += "restore "; })->Default = true;
    menu->Items().Add("Exit", [&](TObject*) { ran += "exit "; })->Default = true;
    icon->SetPopupMenu(menu);
    int dbl = 0, clicks = 0;
    icon->OnDblClick = [&](TObject*) { ++dbl; };
    icon->OnClick = [&](TObject*) { ++clicks; };
    PostTray(icon, WM_LBUTTONDOWN);
    PostTray(icon, WM_LBUTTONUP);
    PostTray(icon, WM_LBUTTONDBLCLK);
    PostTray(icon, WM_LBUTTONUP);
    Pump(GetDoubleClickTime() + 200);
    EXPECT_EQ(dbl, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(ran, "restore ");
    // Not when the left button opens the menu, nor when the menu does not pop up by itself.
    ran.clear();
    menu->AutoPopup = false;
    PostTray(icon, WM_LBUTTONDBLCLK);
    Pump(30);
    menu->AutoPopup = true;
    icon->SetLeftPopup(true);
    PostTray(icon, WM_LBUTTONDBLCLK);
    Pump(30);
    EXPECT_EQ(dbl, 3);
    EXPECT_EQ(ran, "");
    // Disabled: neither the event nor the item.
    icon->SetLeftPopup(false);
    icon->SetEnabled(false);
    PostTray(icon, WM_LBUTTONDBLCLK);
    Pump(30);
    EXPECT_EQ(dbl, 3);
    EXPECT_EQ(ran, "");
}
