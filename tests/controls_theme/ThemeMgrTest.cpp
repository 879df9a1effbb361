#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "controls/ThemeMgr.h"
#include "controls/ThemeSrv.h"
#include "controls/UxTheme.h"
#include "platform/Application.h"
#include "platform/CheckListBox.h"
#include "platform/Form.h"
#include "platform/Frame.h"
#include "platform/PageControl.h"
#include "platform/Splitter.h"
#include "platform/StatusBar.h"
#include "platform/StdCtrls.h"
#include "platform/WindowSubclass.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const UINT kProbe = WM_APP + 0x2B1;

// Wine's comctl32 says 5.81 although its visual styles work: the version
// check is switched for the length of one scope.
class ComCtl {
public:
    explicit ComCtl(WORD major, WORD minor)
    {
        SetComCtlVersionProviderForTesting([=] { return DWORD(MAKELONG(minor, major)); });
        GetThemeServices().UpdateThemes();
    }
    ~ComCtl()
    {
        SetComCtlVersionProviderForTesting({});
        GetThemeServices().UpdateThemes();
    }
};
struct ThemesOn : ComCtl {
    ThemesOn() : ComCtl(6, 0) {}
};
struct ThemesOff : ComCtl {
    ThemesOff() : ComCtl(5, 81) {}
};

// A control whose own window procedure writes down every message it sees
// and, when asked to, refuses the theme manager.
template <class Base>
class Rec : public Base {
public:
    explicit Rec(TComponent* owner) : Base(owner) {}
    void WndProc(TMessage& m) override
    {
        seen.push_back(m.Msg);
        if (m.Msg == TM_DENYSUBCLASSING && refuse) {
            m.Result = 1;
            return;
        }
        Base::WndProc(m);
    }
    int Seen(UINT msg) const { return static_cast<int>(std::count(seen.begin(), seen.end(), msg)); }
    std::vector<UINT> seen;
    bool refuse = false;
};

class ThemeForm : public TForm {
public:
    ThemeForm() : TForm(nullptr)
    {
        SetBounds(60, 60, 420, 320);
        panel = Add<Rec<TPanel>>(this, 10, 10, 200, 120);
        button = Add<Rec<TButton>>(panel, 10, 10, 90, 26);
        check = Add<Rec<TCheckBox>>(panel, 10, 50, 120, 20);
        group = Add<Rec<TGroupBox>>(this, 220, 10, 180, 120);
        edit = Add<Rec<TEdit>>(group, 10, 40, 120, 22);
        status = Add<Rec<TStatusBar>>(this, 0, 0, 100, 20);
        label = new TLabel(this);
        label->SetTransparent(false);
        label->SetCaption("Label");
        label->SetParent(this);
    }
    template <class T>
    T* Add(TWinControl* parent, int x, int y, int w, int h)
    {
        T* c = new T(this);
        c->SetBounds(x, y, w, h);
        c->SetParent(parent);
        return c;
    }
    std::vector<TWinControl*> Windowed() const { return {this->panel, button, check, group, edit, status}; }
    Rec<TPanel>* panel;
    Rec<TButton>* button;
    Rec<TCheckBox>* check;
    Rec<TGroupBox>* group;
    Rec<TEdit>* edit;
    Rec<TStatusBar>* status;
    TLabel* label;
};

// Counts the messages a manager's OnControlMessage sees, per control.
struct Seen {
    void Watch(TThemeManager& m)
    {
        m.OnControlMessage = [this](TObject*, TControl* c, TMessage& msg, bool&) {
            if (msg.Msg == kProbe)
                probes.push_back(c);
        };
    }
    int Probes(TControl* c) const { return static_cast<int>(std::count(probes.begin(), probes.end(), c)); }
    std::vector<TControl*> probes;
};

bool Collected(TThemeManager& m, TForm& f) { return PumpUntil([&] { return m.IsSubclassed(&f); }, 2000); }

class ThemeMgr : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(HaveDisplay());
        ASSERT_EQ(MainThemeManager(), nullptr);
        ASSERT_TRUE(ThemeServices().ThemeLibraryLoaded());
        ASSERT_NE(UxTheme::GetThemeAppProperties, nullptr);
        savedProps_ = UxTheme::GetThemeAppProperties();
    }
    // Option changes reach the process's theme properties: put them back.
    void TearDown() override
    {
        EXPECT_EQ(MainThemeManager(), nullptr);
        UxTheme::SetThemeAppProperties(savedProps_);
        ThemeServices().UpdateThemes();
    }
    DWORD savedProps_ = 0;
};

}  // namespace

TEST_F(ThemeMgr, WithThemesOffEveryMessageReachesTheControl)
{
    {
        ThemesOff off;
        ASSERT_FALSE(ThemeServices().ThemesEnabled());
        auto mgr = std::make_unique<TThemeManager>(nullptr);
        Seen seen;
        seen.Watch(*mgr);
        ThemeForm form;
        form.Show();
        Pump(100);
        for (TWinControl* c : form.Windowed()) {
            EXPECT_FALSE(mgr->IsSubclassed(c));
            EXPECT_EQ(SubclassCount(c->Handle()), 1);   // the layer's own procedure only
        }
        EXPECT_EQ(mgr->SubclassedCount(), 0);
        EXPECT_FALSE(mgr->SubclassControl(form.panel));   // asked outright: still nothing
        EXPECT_EQ(SubclassCount(form.panel->Handle()), 1);
        SendMessageW(form.panel->Handle(), kProbe, 0, 0);
        EXPECT_EQ(form.panel->Seen(kProbe), 1);
        EXPECT_TRUE(seen.probes.empty());
    }
    // Subclassed while themes were on, then themes go off: painting
    // messages the themed path keeps for itself reach the controls again.
    ThemesOn on;
    ASSERT_TRUE(ThemeServices().ThemesEnabled());
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    ThemeForm form;
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(form.panel->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageW(form.button->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(form.panel->Seen(WM_ERASEBKGND), 0);
    EXPECT_EQ(form.button->Seen(WM_ERASEBKGND), 0);
    {
        ThemesOff off;
        for (TWinControl* c : form.Windowed())
            EXPECT_TRUE(mgr->IsSubclassed(c));
        const UINT msgs[] = {WM_ERASEBKGND, WM_PRINTCLIENT, kProbe, WM_NULL};
        for (UINT msg : msgs) {
            int before[] = {form.panel->Seen(msg), form.button->Seen(msg), form.group->Seen(msg)};
            SendMessageW(form.panel->Handle(), msg, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
            SendMessageW(form.button->Handle(), msg, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
            SendMessageW(form.group->Handle(), msg, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
            EXPECT_GT(form.panel->Seen(msg), before[0]) << std::hex << msg;
            EXPECT_GT(form.button->Seen(msg), before[1]) << std::hex << msg;
            EXPECT_GT(form.group->Seen(msg), before[2]) << std::hex << msg;
        }
    }
    DeleteDC(dc);
}

TEST_F(ThemeMgr, ControlsOfEveryFormAreCollectedAndHookedOnce)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    EXPECT_TRUE(mgr->IsMainManager());
    EXPECT_EQ(mgr->Options(), kDefaultThemeOptions);
    Seen seen;
    seen.Watch(*mgr);
    ThemeForm form;
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    EXPECT_EQ(mgr->SubclassedCount(), 7);   // the form and its six windowed controls
    for (TWinControl* c : form.Windowed()) {
        EXPECT_TRUE(mgr->IsSubclassed(c));
        EXPECT_EQ(SubclassCount(c->Handle()), 2);
        SendMessageW(c->Handle(), kProbe, 0, 0);
        EXPECT_EQ(seen.Probes(c), 1);
    }
    EXPECT_FALSE(mgr->IsSubclassed(form.label));
    EXPECT_TRUE(form.label->Transparent());   // the transparency pass
    // Every message still reaches the control after the manager saw it.
    EXPECT_EQ(form.edit->Seen(kProbe), 1);
    // A control placed on the form later is taken from the message loop.
    auto* late = form.Add<Rec<TPanel>>(form.group, 10, 70, 60, 30);
    EXPECT_TRUE(PumpUntil([&] { return mgr->IsSubclassed(late); }, 20000));
}

TEST_F(ThemeMgr, ManyControlsEachMessageGoesToItsOwnControl)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    ThemeForm form;
    std::vector<TPanel*> panels;
    for (int i = 0; i < 60; ++i)
        panels.push_back(form.Add<TPanel>(&form, (i % 10) * 12, 150 + (i / 10) * 12, 10, 10));
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    Seen seen;
    seen.Watch(*mgr);
    // Released in a scattered order, the rest still found by address.
    for (size_t i = 0; i < panels.size(); i += 3)
        mgr->SubclassControl(panels[i], false);
    for (size_t i = 0; i < panels.size(); ++i) {
        SendMessageW(panels[i]->Handle(), kProbe, 0, 0);
        EXPECT_EQ(seen.Probes(panels[i]), i % 3 == 0 ? 0 : 1) << i;
        EXPECT_EQ(SubclassCount(panels[i]->Handle()), i % 3 == 0 ? 1 : 2) << i;
    }
    EXPECT_EQ(static_cast<int>(seen.probes.size()), 40);
}

TEST_F(ThemeMgr, RecreatedControlStaysSubclassed)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    Seen seen;
    seen.Watch(*mgr);
    ThemeForm form;
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    HWND old = form.check->Handle();
    form.check->RecreateWnd();
    HWND now = form.check->Handle();
    ASSERT_NE(now, old);
    EXPECT_FALSE(IsWindow(old));
    EXPECT_TRUE(mgr->IsSubclassed(form.check));
    EXPECT_EQ(SubclassCount(now), 2);
    SendMessageW(now, kProbe, 0, 0);
    EXPECT_EQ(seen.Probes(form.check), 1);
    // A control holding others: its children have new windows too.
    HWND oldButton = form.button->Handle();
    form.panel->RecreateWnd();
    ASSERT_NE(form.button->Handle(), oldButton);
    EXPECT_TRUE(mgr->IsSubclassed(form.panel));
    EXPECT_TRUE(mgr->IsSubclassed(form.button));
    SendMessageW(form.button->Handle(), kProbe, 0, 0);
    EXPECT_EQ(seen.Probes(form.button), 1);
    EXPECT_EQ(mgr->SubclassedCount(), 7);
}

TEST_F(ThemeMgr, FreeingTheMainManagerHandsOverToTheSecond)
{
    ThemesOn on;
    int handovers = 0;
    int hook = Application().HookMainWindow([&](UINT msg, WPARAM, LPARAM, LRESULT&) {
        handovers += msg == TM_HANDOVER;
        return false;
    });
    auto first = std::make_unique<TThemeManager>(nullptr);
    auto second = std::make_unique<TThemeManager>(nullptr);
    EXPECT_TRUE(first->IsMainManager());
    EXPECT_FALSE(second->IsMainManager());
    ThemeForm form;
    form.Show();
    ASSERT_TRUE(Collected(*first, form));
    EXPECT_EQ(second->SubclassedCount(), 0);   // a secondary only forwards
    second->SetOptions(kDefaultThemeOptions & ~ThemeOptionBit(toSetTransparency));
    EXPECT_EQ(first->Options(), kDefaultThemeOptions & ~ThemeOptionBit(toSetTransparency));
    Seen seen;
    seen.Watch(*second);
    first.reset();
    EXPECT_EQ(handovers, 1);
    EXPECT_TRUE(second->IsMainManager());
    EXPECT_EQ(MainThemeManager(), second.get());
    for (TWinControl* c : form.Windowed()) {
        EXPECT_TRUE(second->IsSubclassed(c));
        EXPECT_EQ(SubclassCount(c->Handle()), 2);   // hooked once: the first gave its controls back
        SendMessageW(c->Handle(), kProbe, 0, 0);
        EXPECT_EQ(seen.Probes(c), 1);
    }
    second.reset();
    EXPECT_EQ(handovers, 2);
    Application().UnhookMainWindow(hook);
}

TEST_F(ThemeMgr, OnAllowSubclassingFalseLeavesTheControlAlone)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    std::vector<TControl*> asked;
    TControl* refused = nullptr;
    mgr->OnAllowSubclassing = [&](TObject*, TControl* c, bool& allow) {
        asked.push_back(c);
        if (c == refused)
            allow = false;
    };
    Seen seen;
    seen.Watch(*mgr);
    ThemeForm form;
    refused = form.button;
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    EXPECT_NE(std::find(asked.begin(), asked.end(), form.button), asked.end());
    EXPECT_FALSE(mgr->IsSubclassed(form.button));
    EXPECT_EQ(SubclassCount(form.button->Handle()), 1);
    SendMessageW(form.button->Handle(), kProbe, 0, 0);
    SendMessageW(form.check->Handle(), kProbe, 0, 0);
    EXPECT_EQ(seen.Probes(form.button), 0);
    EXPECT_EQ(seen.Probes(form.check), 1);
    EXPECT_EQ(form.button->Seen(kProbe), 1);
}

TEST_F(ThemeMgr, AControlThatAnswersTheRefusalMessageIsLeftAlone)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    ThemeForm form;
    form.edit->refuse = true;
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    EXPECT_EQ(form.edit->Seen(TM_DENYSUBCLASSING), 1);
    EXPECT_FALSE(mgr->IsSubclassed(form.edit));
    EXPECT_EQ(SubclassCount(form.edit->Handle()), 1);
    EXPECT_EQ(form.panel->Seen(TM_DENYSUBCLASSING), 1);   // asked too, and said nothing
    EXPECT_TRUE(mgr->IsSubclassed(form.panel));
}

TEST_F(ThemeMgr, ControlsAreReleasedWhenTheirWindowsOrTheManagerGo)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    auto form = std::make_unique<ThemeForm>();
    form->Show();
    ASSERT_TRUE(Collected(*mgr, *form));
    ASSERT_EQ(mgr->SubclassedCount(), 7);
    // Taken off its parent: the window goes, and the control with it.
    form->check->SetParent(nullptr);
    EXPECT_FALSE(mgr->IsSubclassed(form->check));
    EXPECT_EQ(mgr->SubclassedCount(), 6);
    delete form->status;
    EXPECT_EQ(mgr->SubclassedCount(), 5);
    // The manager goes first: every control gets its own procedure back.
    HWND panel = form->panel->Handle();
    mgr.reset();
    EXPECT_EQ(SubclassCount(panel), 1);
    SendMessageW(panel, kProbe, 0, 0);
    EXPECT_EQ(form->panel->Seen(kProbe), 1);
    // And a form freed under a live manager leaves nothing behind.
    mgr = std::make_unique<TThemeManager>(nullptr);
    ASSERT_TRUE(Collected(*mgr, *form));
    EXPECT_EQ(mgr->SubclassedCount(), 5);
    form.reset();
    EXPECT_EQ(mgr->SubclassedCount(), 0);
    Pump(50);
}

TEST_F(ThemeMgr, ThemedPanelShowsItsParentsBackground)
{
    ThemesOn on;
    ThemeForm form;
    const COLORREF red = RGB(255, 0, 0);
    form.panel->SetColor(red);
    form.panel->SetBevelOuter(TBevelCut::bvNone);
    form.Show();
    UpdateWindow(form.Handle());
    Pump(100);
    auto pixel = [&] {
        HDC dc = GetDC(form.panel->Handle());
        COLORREF c = GetPixel(dc, 150, 100);
        ReleaseDC(form.panel->Handle(), dc);
        return c;
    };
    ASSERT_EQ(pixel(), red);
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    ASSERT_TRUE(Collected(*mgr, form));
    RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(50);
    EXPECT_EQ(pixel(), form.Color());
    mgr.reset();
    RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(50);
    EXPECT_EQ(pixel(), red);
}

// The colour of one pixel of a window as the screen shows it.
COLORREF PixelOf(HWND h, int x, int y)
{
    HDC dc = GetDC(h);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(h, dc);
    return c;
}

TEST_F(ThemeMgr, PagesFramesSplittersAndCheckListsArePaintedThemed)
{
    ThemesOn on;
    ThemeForm form;
    const COLORREF red = RGB(255, 0, 0);
    auto* pages = form.Add<TPageControl>(&form, 10, 140, 180, 120);
    auto* sheet = new TTabSheet(&form);
    sheet->SetCaption("Page");
    sheet->SetPageControl(pages);
    pages->SetActivePage(sheet);
    sheet->SetColor(red);
    auto* frame = form.Add<TFrame>(&form, 200, 140, 50, 60);
    frame->SetAlign(TAlign::alNone);
    frame->SetBounds(200, 140, 50, 60);
    frame->SetColor(red);
    auto* splitter = form.Add<TSplitter>(&form, 260, 140, 8, 60);
    splitter->SetAlign(TAlign::alNone);
    splitter->SetBounds(260, 140, 8, 60);
    splitter->SetColor(red);
    auto* list = form.Add<TCheckListBox>(&form, 280, 140, 120, 60);
    list->AddItem("one", nullptr);
    list->AddItem("two", nullptr);
    list->SetChecked(1, true);
    form.Show();
    UpdateWindow(form.Handle());
    Pump(100);
    ASSERT_EQ(PixelOf(frame->Handle(), 25, 30), red);
    ASSERT_EQ(PixelOf(splitter->Handle(), 4, 30), red);
    ASSERT_EQ(PixelOf(sheet->Handle(), 40, 40), red);

    auto mgr = std::make_unique<TThemeManager>(nullptr);
    ASSERT_TRUE(Collected(*mgr, form));
    for (TWinControl* c : std::initializer_list<TWinControl*>{sheet, frame, splitter, list})
        EXPECT_TRUE(mgr->IsSubclassed(c));
    RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(50);
    // Frames and splitters show their parent's background.
    EXPECT_EQ(PixelOf(frame->Handle(), 25, 30), form.Color());
    EXPECT_EQ(PixelOf(splitter->Handle(), 4, 30), form.Color());

    // A page shows the tab control's body, as the theme library draws it.
    RECT page = sheet->ClientRect();
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, page.right, page.bottom);
    HGDIOBJ old = SelectObject(mem, bmp);
    ThemeServices().DrawElement(mem, TThemeServices::GetTabDetails(ttBody), page);
    EXPECT_EQ(PixelOf(sheet->Handle(), 40, 40), GetPixel(mem, 40, 40));

    // Each line's check box is the button element of its state.
    RECT lines = list->ClientRect();
    HBITMAP lb = CreateCompatibleBitmap(screen, lines.right, lines.bottom);
    SelectObject(mem, lb);
    SendMessageW(list->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
    HDC ref = CreateCompatibleDC(screen);
    HBITMAP rb = CreateCompatibleBitmap(screen, lines.right, lines.bottom);
    HGDIOBJ oldRef = SelectObject(ref, rb);
    for (int i = 0; i < 2; ++i) {
        RECT box = list->CheckBoxRect(i);
        ThemeServices().DrawElement(ref, TThemeServices::GetButtonDetails(i ? tbCheckCheckedNormal
                                                                              : tbCheckUncheckedNormal), box);
        int same = 0, total = 0;
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x, ++total)
                same += GetPixel(mem, x, y) == GetPixel(ref, x, y);
        EXPECT_GT(same, total * 9 / 10) << "line " << i;
    }
    SelectObject(ref, oldRef);
    DeleteObject(rb);
    DeleteDC(ref);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteObject(lb);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

TEST_F(ThemeMgr, OptionsReachTheThemeLibraryAndEveryWindow)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    int changes = 0;
    mgr->OnThemeChange = [&](TObject* sender) {
        EXPECT_EQ(sender, mgr.get());
        ++changes;
    };
    ThemeForm form;
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    mgr->SetOptions(ThemeOptionBit(toAllowNonClientArea) | ThemeOptionBit(toAllowControls) |
                    ThemeOptionBit(toAllowWebContent) | ThemeOptionBit(toSubclassPanel));
    EXPECT_EQ(UxTheme::GetThemeAppProperties(), DWORD(STAP_ALLOW_NONCLIENT | STAP_ALLOW_CONTROLS | STAP_ALLOW_WEBCONTENT));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(form.panel->Seen(WM_THEMECHANGED), 1);
    EXPECT_EQ(form.button->Seen(WM_THEMECHANGED), 1);
    EXPECT_EQ(form.edit->Seen(WM_THEMECHANGED), 1);
    EXPECT_EQ(form.status->Seen(WM_THEMECHANGED), 1);
    EXPECT_TRUE(ThemeServices().ThemesEnabled());
    // Without themed controls the service stops painting themed, and the
    // manager reads the option back from the library.
    mgr->SetOptions(ThemeOptionBit(toAllowNonClientArea));
    EXPECT_FALSE(ThemeServices().ControlsEnabled());
    EXPECT_FALSE(ThemeServices().ThemesEnabled());
    EXPECT_EQ(mgr->Options(), ThemeOptionBit(toAllowNonClientArea));
    EXPECT_EQ(changes, 2);
}

TEST_F(ThemeMgr, ThemedCheckBoxDrawsTheButtonElementOfItsState)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    ThemeForm form;
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    HWND h = form.check->Handle();
    RECT r;
    GetClientRect(h, &r);
    // What the theme library itself draws for a check box part, at the left,
    // centred in height, over the form's colour.
    auto drawn = [&](HDC dc, int code) {
        HBRUSH b = CreateSolidBrush(form.Color());
        FillRect(dc, &r, b);
        DeleteObject(b);
        TThemedElementDetails d = TThemeServices::GetButtonDetails(code);
        SIZE s = {13, 13};
        UxTheme::GetThemePartSize(ThemeServices().ThemeHandle(teButton), dc, d.Part, d.State, nullptr, TS_DRAW, &s);
        RECT box = {0, (r.bottom - s.cy) / 2, s.cx, (r.bottom - s.cy) / 2 + s.cy};
        ThemeServices().DrawElement(dc, d, box);
        return box;
    };
    auto pixels = [](HDC dc, const RECT& box) {
        std::vector<COLORREF> p;
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x)
                p.push_back(GetPixel(dc, x, y));
        return p;
    };
    HDC screen = GetDC(nullptr);
    HDC mine = CreateCompatibleDC(screen), theirs = CreateCompatibleDC(screen);
    HBITMAP a = CreateCompatibleBitmap(screen, r.right, r.bottom), b = CreateCompatibleBitmap(screen, r.right, r.bottom);
    HGDIOBJ oldA = SelectObject(mine, a), oldB = SelectObject(theirs, b);
    for (bool checked : {false, true}) {
        form.check->SetChecked(checked);
        SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mine), PRF_CLIENT);
        RECT box = drawn(theirs, checked ? tbCheckCheckedNormal : tbCheckUncheckedNormal);
        EXPECT_EQ(pixels(mine, box), pixels(theirs, box)) << "checked " << checked;
        RECT other = drawn(theirs, checked ? tbCheckUncheckedNormal : tbCheckCheckedNormal);
        EXPECT_NE(pixels(mine, other), pixels(theirs, other)) << "checked " << checked;
    }
    SelectObject(mine, oldA);
    SelectObject(theirs, oldB);
    DeleteObject(a);
    DeleteObject(b);
    DeleteDC(mine);
    DeleteDC(theirs);
    ReleaseDC(nullptr, screen);
}

TEST_F(ThemeMgr, ListenersInTurnAndAHandledMessageStopsAtTheManager)
{
    ThemesOn on;
    auto mgr = std::make_unique<TThemeManager>(nullptr);
    ThemeForm form;
    form.Show();
    ASSERT_TRUE(Collected(*mgr, form));
    std::vector<int> order;
    auto listener = [&](int n, bool handles) {
        return [&order, n, handles](TObject*, TControl*, TMessage& m, bool& handled) {
            if (m.Msg != kProbe)
                return;
            order.push_back(n);
            if (handles) {
                handled = true;
                m.Result = 77;
            }
        };
    };
    mgr->RegisterListener(listener(1, false));
    int second = mgr->RegisterListener(listener(2, true));
    mgr->RegisterListener(listener(3, false));
    EXPECT_EQ(SendMessageW(form.panel->Handle(), kProbe, 0, 0), 77);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(form.panel->Seen(kProbe), 0);
    mgr->UnregisterListener(second);
    order.clear();
    EXPECT_EQ(SendMessageW(form.panel->Handle(), kProbe, 0, 0), 0);
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
    EXPECT_EQ(form.panel->Seen(kProbe), 1);
}

TEST_F(ThemeMgr, AManagerOnAFormBeingBuiltCollectsOnceTheFormIsLoaded)
{
    ThemesOn on;
    ThemeForm other;
    other.Show();
    auto form = std::make_unique<ThemeForm>();
    form->BeginLoading();
    auto* mgr = new TThemeManager(form.get());   // owned by the form, as the main form holds one
    Pump(100);
    EXPECT_EQ(mgr->SubclassedCount(), 0);   // nothing while the form is being built
    form->EndLoading();
    form->Show();
    EXPECT_TRUE(Collected(*mgr, *form));
    EXPECT_TRUE(Collected(*mgr, other));
    EXPECT_EQ(mgr->SubclassedCount(), 14);
    form.reset();   // frees the manager with it
    EXPECT_EQ(SubclassCount(other.panel->Handle()), 1);
}
