#include <gtest/gtest.h>

#include <thread>

#include "controls/Placement.h"
#include "controls/WndProcHook.h"
#include "platform/Exceptions.h"
#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/Registry.h"
#include "platform/StdCtrls.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kKey[] = "Software\\Zembrik\\BrenixTest\\Placement";

struct PlaceForm : TForm {
    explicit PlaceForm(TPlacementOptions options = fpState | fpPosition,
                       TFormBorderStyle border = TFormBorderStyle::bsSizeable)
        : TForm(nullptr)
    {
        SetName("PlaceForm");
        BeginLoading();
        SetBorderStyle(border);
        SetBounds(100, 120, 500, 400);
        storage = new TFormStorage(this);
        storage->SetUseRegistry(true);
        storage->SetIniFileName(kKey);
        storage->SetIniSection("Main");
        storage->SetOptions(options);
        EndLoading();
    }
    TFormStorage* storage;
};

RECT WindowRect(TForm& f)
{
    RECT r;
    GetWindowRect(f.Handle(), &r);
    return r;
}

std::string RegText(const std::string& name)
{
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    std::string v = "<absent>";
    if (r.OpenKeyReadOnly(std::string(kKey) + "\\Main") && !r.TryReadString(name, v)) {
        int n;
        if (r.TryReadInteger(name, n))
            v = std::to_string(n);
    }
    return v;
}

void RegWrite(const std::string& name, const std::string& value)
{
    TRegistry r;
    ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\Main", true));
    r.WriteString(name, value);
}

void RegWriteInt(const std::string& name, int value)
{
    TRegistry r;
    ASSERT_TRUE(r.OpenKey(std::string(kKey) + "\\Main", true));
    r.WriteInteger(name, value);
}

std::string ScreenSuffix()
{
    return "(" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
           std::to_string(GetSystemMetrics(SM_CYSCREEN)) + ")";
}

// Runs input on a helper thread (the GUI thread may sit in a modal loop)
// while this thread pumps.
template <class F>
void InputPumping(F input)
{
    bool done = false;
    std::thread t([&] {
        input();
        done = true;
    });
    PumpUntil([&] { return done; }, 10000);
    t.join();
    Pump(100);
}

// Mouse input at a screen point, the position carried by the input itself
// (a button event without one may use a position the X server has not
// caught up with).
void MouseAt(POINT p, DWORD flags = 0)
{
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    mouse_event(flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<DWORD>((p.x * 65536 + cx / 2) / cx),
                static_cast<DWORD>((p.y * 65536 + cy / 2) / cy), 0, 0);
}

// Moves the mouse there and waits until the cursor is there.
void MouseTo(POINT p)
{
    for (int i = 0; i < 50; ++i) {
        MouseAt(p);
        Sleep(20);
        POINT now;
        if (GetCursorPos(&now) && now.x == p.x && now.y == p.y)
            return;
    }
}

struct PlacementTest : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(HaveDisplay());
        TRegistry().DeleteKey(kKey);
    }
    void TearDown() override { TRegistry().DeleteKey(kKey); }
};

}  // namespace

TEST_F(PlacementTest, FirstStartMovesNothingAndTheFirstSaveWritesEveryValue)
{
    PlaceForm f;
    RECT before = WindowRect(f);
    f.storage->RestoreFormPlacement();
    RECT after = WindowRect(f);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_TRUE(f.storage->Restored());

    f.storage->SaveFormPlacement();
    EXPECT_EQ(RegText("FormVersion"), "0");
    EXPECT_NE(RegText("Flags"), "<absent>");
    EXPECT_EQ(RegText("ShowCmd"), std::to_string(SW_SHOWNORMAL));
    HDC dc = GetDC(nullptr);
    EXPECT_EQ(RegText("PixelsPerInch"), std::to_string(GetDeviceCaps(dc, LOGPIXELSY)));
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(RegText("NormPos"), "100,120,600,520");
    EXPECT_EQ(RegText("NormPos" + ScreenSuffix()), "100,120,600,520");
    EXPECT_NE(RegText("MinMaxPos"), "<absent>");
    EXPECT_EQ(RegText("MinMaxPos" + ScreenSuffix()), RegText("MinMaxPos"));
    EXPECT_EQ(RegText("Visible"), "0");
}

TEST_F(PlacementTest, ThePlainNormPosServesAScreenSizeWithNoValueOfItsOwn)
{
    RegWrite("NormPos(800x600)", "10,10,300,300");
    RegWrite("NormPos", "200,150,700,550");
    {
        PlaceForm f;
        f.storage->RestoreFormPlacement();
        RECT r = WindowRect(f);
        EXPECT_EQ(r.left, 200);
        EXPECT_EQ(r.top, 150);
        EXPECT_EQ(r.right, 700);
        EXPECT_EQ(r.bottom, 550);
    }
    // A value for this screen size wins over the plain one.
    RegWrite("NormPos" + ScreenSuffix(), "40,50,440,350");
    PlaceForm g;
    g.storage->RestoreFormPlacement();
    RECT r = WindowRect(g);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.right, 440);
}

TEST_F(PlacementTest, AFixedBorderFormMovesButKeepsItsSize)
{
    RegWrite("NormPos", "50,60,850,660");
    PlaceForm f(fpState | fpPosition, TFormBorderStyle::bsSingle);
    f.SetBounds(100, 120, 300, 200);
    f.storage->RestoreFormPlacement();
    RECT r = WindowRect(f);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 200);
}

TEST_F(PlacementTest, UnreadableOrForeignDataLeavesTheFormWhereItIs)
{
    RegWrite("NormPos", "left,top,right,bottom");
    RegWrite("Flags", "zz");
    RegWrite("ShowCmd", "max");
    RegWrite("MinMaxPos", "-,-");
    PlaceForm f;
    EXPECT_NO_THROW(f.storage->RestoreFormPlacement());
    RECT r = WindowRect(f);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.bottom, 520);

    // Data written at another density is not used.
    RegWrite("NormPos", "10,10,410,310");
    RegWriteInt("PixelsPerInch", 500);
    f.storage->RestoreFormPlacement();
    r = WindowRect(f);
    EXPECT_EQ(r.left, 100);
}

TEST_F(PlacementTest, PositionOnlySavesTheShowStateButNeverRestoresIt)
{
    {
        PlaceForm f(fpPosition);
        f.storage->RestoreFormPlacement();
        f.SetWindowState(TWindowState::wsMaximized);
        f.Show();
        Pump(100);
        ASSERT_TRUE(IsZoomed(f.Handle()));
        f.storage->SaveFormPlacement();
    }
    EXPECT_EQ(RegText("ShowCmd"), std::to_string(SW_SHOWMAXIMIZED));
    {
        PlaceForm g(fpPosition);
        g.storage->RestoreFormPlacement();
        g.Show();
        Pump(100);
        EXPECT_FALSE(IsZoomed(g.Handle()));
        g.storage->SetActive(false);   // keeps the stored state for the next form
    }
    // With the state option the same data maximises.
    PlaceForm h(fpState | fpPosition);
    h.Show();   // the first show restores
    Pump(100);
    EXPECT_TRUE(IsZoomed(h.Handle()));
}

TEST_F(PlacementTest, AMinimisedMainFormComesBackMinimised)
{
    {
        PlaceForm f;
        Application().SetMainForm(&f);
        f.storage->RestoreFormPlacement();
        f.Show();
        Pump(100);
        SendMessageW(f.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        Pump(100);
        ASSERT_TRUE(IsIconic(Application().Handle()));
        f.storage->SaveFormPlacement();
        Application().Restore();
        Application().SetMainForm(nullptr);
    }
    EXPECT_EQ(RegText("ShowCmd"), std::to_string(SW_SHOWMINIMIZED));

    PlaceForm g;
    Application().SetMainForm(&g);
    g.storage->RestoreFormPlacement();
    g.Show();
    bool minimised = PumpUntil([&] { return IsIconic(Application().Handle()) != FALSE; }, 2000);
    EXPECT_TRUE(minimised);
    EXPECT_FALSE(IsWindowVisible(g.Handle()));
    Application().Restore();
    Pump(50);
    EXPECT_TRUE(IsWindowVisible(g.Handle()));
    Application().SetMainForm(nullptr);
    Application().HideApplicationWindow();
}

TEST_F(PlacementTest, TheFormsEventsRestoreOnceAndSaveOnCloseAndDestroy)
{
    RegWrite("NormPos", "220,140,620,440");
    int ownShows = 0;
    bool ownCloseAsked = false;
    // The form's own handlers, set while it loads, are chained.
    struct ChainForm : TForm {
        ChainForm(int& shows, bool& asked) : TForm(nullptr)
        {
            BeginLoading();
            OnShow = [&shows](TObject*) { ++shows; };
            OnCloseQuery = [&asked](TObject*, bool& canClose) {
                asked = true;
                canClose = true;
            };
            SetBounds(10, 10, 300, 200);
            storage = new TFormStorage(this);
            storage->SetUseRegistry(true);
            storage->SetIniFileName(kKey);
            storage->SetIniSection("Main");
            EndLoading();
        }
        TFormStorage* storage;
    };
    {
        ChainForm f(ownShows, ownCloseAsked);
        f.Show();
        Pump(50);
        EXPECT_EQ(ownShows, 1);
        RECT r = WindowRect(f);
        EXPECT_EQ(r.left, 220);
        // Moved by the user, hidden and shown again: it stays where it was put.
        SetWindowPos(f.Handle(), nullptr, 300, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        f.Hide();
        f.Show();
        Pump(50);
        EXPECT_EQ(ownShows, 2);
        EXPECT_EQ(WindowRect(f).left, 300);
        f.Close();
        EXPECT_TRUE(ownCloseAsked);
        EXPECT_EQ(RegText("NormPos"), "300,300,700,600");
        EXPECT_EQ(RegText("Visible"), "0");
        RegWrite("NormPos", "1,1,2,2");
    }
    // Saved at close already: going does not write again.
    EXPECT_EQ(RegText("NormPos"), "1,1,2,2");

    {
        ChainForm f(ownShows, ownCloseAsked);
        f.Show();
        Pump(50);
    }
    EXPECT_EQ(RegText("Visible"), "1");   // written while the form was going
}

TEST_F(PlacementTest, TheActiveControlIsStoredByNameAndFocusedAgain)
{
    for (int pass = 0; pass < 2; ++pass) {
        PlaceForm f(fpPosition | fpActiveControl);
        auto* a = new TEdit(&f);
        a->SetName("EditA");
        a->SetBounds(10, 10, 100, 24);
        a->SetParent(&f);
        auto* b = new TEdit(&f);
        b->SetName("EditB");
        b->SetBounds(10, 40, 100, 24);
        b->SetParent(&f);
        f.Show();
        Pump(50);
        if (pass == 0) {
            b->SetFocus();
            ASSERT_TRUE(b->Focused());
            f.storage->SaveFormPlacement();
            EXPECT_EQ(RegText("ActiveControl"), "EditB");
        } else {
            a->SetFocus();
            ASSERT_TRUE(a->Focused());
            f.storage->RestoreFormPlacement();
            EXPECT_TRUE(b->Focused());
        }
    }
}

TEST_F(PlacementTest, MinTrackSizeStopsARealDragAt400By300)
{
    PlaceForm f;
    f.storage->MinMaxInfo().SetMinTrackWidth(400);
    f.storage->MinMaxInfo().SetMinTrackHeight(300);
    f.SetBounds(100, 100, 600, 500);
    f.Show();
    Pump(100);
    RECT r = WindowRect(f);
    POINT from = {r.right - 2, r.bottom - 2};
    ASSERT_EQ(SendMessageW(f.Handle(), WM_NCHITTEST, 0, MAKELPARAM(from.x, from.y)), HTBOTTOMRIGHT);
    POINT to = from;
    InputPumping([&] {
        MouseTo(from);
        MouseAt(from, MOUSEEVENTF_LEFTDOWN);
        Sleep(100);
        for (int i = 1; i <= 10; ++i) {
            to = POINT{from.x - i * 45, from.y - i * 40};
            MouseAt(to);
            Sleep(20);
        }
        MouseAt(to, MOUSEEVENTF_LEFTUP);
        Sleep(100);
    });
    r = WindowRect(f);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
    MouseAt(POINT{5, 5});
}

TEST_F(PlacementTest, PreventResizeGreysSizeAndMaximizeInTheSystemMenu)
{
    PlaceForm f;
    HWND h = f.Handle();
    // Watches the system menu; put on the window before the placement's
    // hook, it sees each message after that one.
    UINT sizeState = 0, maxState = 0, moveState = 0;
    bool seen = false;
    auto* watch = new TRxWindowHook(&f);
    watch->AfterMessage = [&](TObject*, TMessage& m, bool&) {
        if (m.Msg == WM_ENTERIDLE && m.WParam == MSGF_MENU && !seen) {
            HMENU menu = GetSystemMenu(h, FALSE);
            sizeState = GetMenuState(menu, SC_SIZE, MF_BYCOMMAND);
            maxState = GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND);
            moveState = GetMenuState(menu, SC_MOVE, MF_BYCOMMAND);
            seen = true;
            EndMenu();
        }
    };
    watch->SetWinControl(&f);
    f.storage->SetPreventResize(true);
    f.Show();
    Pump(100);
    EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & WS_MAXIMIZEBOX, 0);
    RECT r = WindowRect(f);
    EXPECT_EQ(SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(r.right - 2, r.bottom - 2)), HTNOWHERE);

    // Alt+Space opens the system menu; its state is read while it is open.
    SetForegroundWindow(h);
    SetFocus(h);
    InputPumping([] {
        keybd_event(VK_MENU, 0, 0, 0);
        keybd_event(VK_SPACE, 0, 0, 0);
        keybd_event(VK_SPACE, 0, KEYEVENTF_KEYUP, 0);
        keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
        Sleep(300);
    });
    PumpUntil([&] { return seen; }, 2000);
    ASSERT_TRUE(seen);
    EXPECT_TRUE(sizeState & MF_GRAYED);
    EXPECT_TRUE(maxState & MF_GRAYED);
    EXPECT_FALSE(moveState & MF_GRAYED);

    // Switched off again: the maximise box comes back.
    f.storage->SetPreventResize(false);
    EXPECT_NE(GetWindowLongW(h, GWL_STYLE) & WS_MAXIMIZEBOX, 0);
}

TEST_F(PlacementTest, StoredValuesAndAnIniFileKeepTheirText)
{
    {
        PlaceForm f;
        TStoredValue& v = f.storage->StoredValues().Add("AutoUpdate");
        v.SetValue(true);
        TStoredValue& secret = f.storage->StoredValues().Add("Secret");
        secret.KeyString = "k";
        secret.SetValue(std::string("pw"));
        EXPECT_THROW(f.storage->StoredValues().Add("autoupdate"), Exception);
        f.storage->RestoreFormPlacement();
        f.storage->SaveFormPlacement();
    }
    EXPECT_EQ(RegText("AutoUpdate"), "True");
    EXPECT_EQ(RegText("Secret"), "1B1C");   // 'p'^'k', 'w'^'k'
    {
        PlaceForm f;
        TStoredValue& v = f.storage->StoredValues().Add("AutoUpdate");
        TStoredValue& secret = f.storage->StoredValues().Add("Secret");
        secret.KeyString = "k";
        f.storage->RestoreFormPlacement();
        EXPECT_TRUE(v.AsBoolean());
        EXPECT_EQ(secret.AsString(), "pw");
    }

    // The same through an INI file: quoted texts come back as they were.
    TempDir dir;
    std::string ini = dir.File("place.ini");
    for (int pass = 0; pass < 2; ++pass) {
        PlaceForm f;
        f.storage->SetUseRegistry(false);
        f.storage->SetIniFileName(ini);
        TStoredValue& a = f.storage->StoredValues().Add("A");
        TStoredValue& b = f.storage->StoredValues().Add("B");
        f.storage->RestoreFormPlacement();
        if (pass == 0) {
            a.SetValue(std::string("\"double\""));
            b.SetValue(std::string("'single'"));
            f.storage->SaveFormPlacement();
        } else {
            EXPECT_EQ(a.AsString(), "\"double\"");
            EXPECT_EQ(b.AsString(), "'single'");
            EXPECT_EQ(WindowRect(f).right, 600);
        }
    }
    EXPECT_NE(ReadFile(ini).find("NormPos=100,120,600,520"), std::string::npos);
}
