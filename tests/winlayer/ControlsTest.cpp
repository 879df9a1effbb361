#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "controls/StatusBarEx.h"
#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/Form.h"
#include "platform/GdiGuards.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"
#include "platform/Screen.h"
#include "platform/StdCtrls.h"
#include "platform/WindowSubclass.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// A small form built in code, as the program's forms are.
class TestForm : public TForm {
public:
    TestForm() : TForm(nullptr)
    {
        BeginLoading();
        SetCaption("Window layer test");
        SetBounds(100, 100, 420, 320);
        top = new TPanel(this);
        top->SetName("top");
        top->SetHeight(40);
        top->SetAlign(TAlign::alTop);
        top->SetParent(this);
        client = new TPanel(this);
        client->SetName("client");
        client->SetAlign(TAlign::alClient);
        client->SetParent(this);
        label = new TLabel(this);
        label->SetName("label");
        label->SetAutoSize(false);
        label->SetBounds(20, 20, 80, 30);
        label->SetCaption("Label");
        label->SetParent(client);
        edit = new TEdit(this);
        edit->SetBounds(150, 20, 120, 22);
        edit->SetParent(client);
        EndLoading();
    }
    TPanel* top;
    TPanel* client;
    TLabel* label;
    TEdit* edit;
};

void ShowAndSettle(TForm& form)
{
    form.Show();
    UpdateWindow(form.Handle());
    Pump(50);
}

COLORREF ScreenPixel(HWND hwnd, int x, int y)
{
    HDC dc = GetDC(hwnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return c;
}

// GDI objects this process holds now. Windows counts them for us; Wine's

// Paints with everything the canvas offers, changing its font on the way, and
// throws in the middle while asked to.
class PaintTrouble : public TPanel {
public:
    explicit PaintTrouble(TComponent* owner) : TPanel(owner) { SetColor(RGB(0, 0, 255)); }
    bool throwing = false;
    int painted = 0;

protected:
    void Paint(TCanvas& canvas) override
    {
        ++painted;
        canvas.Font().SetStyle(fsBold);
        canvas.TextRect(RECT{0, 0, 100, 20}, "cell", DT_LEFT);
        canvas.SetPenColor(RGB(0, 255, 0));
        canvas.MoveTo(0, 30);
        canvas.LineTo(100, 30);
        canvas.Font().SetStyle(0);
        canvas.Font().SetHeight(-14);
        canvas.PutText(0, 40, "cell");
        SetViewportOrgEx(canvas.Handle(), 7, 7, nullptr);
        IntersectClipRect(canvas.Handle(), 0, 0, 5, 5);
        if (throwing)
            throw Exception("paint failed");
        SetViewportOrgEx(canvas.Handle(), 0, 0, nullptr);
        SelectClipRgn(canvas.Handle(), nullptr);
        canvas.SetBrushColor(RGB(255, 0, 0));
        canvas.SetPenColor(RGB(255, 0, 0));
        canvas.Rectangle(RECT{60, 60, 80, 80});
    }
};

// A windowless control whose painting throws the same way.
class GraphicTrouble : public TGraphicControl {
public:
    explicit GraphicTrouble(TComponent* owner) : TGraphicControl(owner) {}
    bool throwing = false;
    void Paint(TCanvas& canvas) override
    {
        canvas.Font().SetStyle(fsItalic);
        canvas.SetBrushColor(RGB(255, 255, 0));
        canvas.FillRect(RECT{0, 0, Width(), Height()});
        canvas.PutText(0, 0, "x");
        if (throwing)
            throw Exception("graphic paint failed");
    }
};

}  // namespace

TEST(Controls, FormBuiltInCodeLaysOutAlignedPanels)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    ShowAndSettle(form);
    ASSERT_TRUE(IsWindowVisible(form.Handle()));
    EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), Application().Handle());
    RECT cr;
    GetClientRect(form.Handle(), &cr);
    EXPECT_EQ(form.top->Left(), 0);
    EXPECT_EQ(form.top->Top(), 0);
    EXPECT_EQ(form.top->Width(), cr.right);
    EXPECT_EQ(form.top->Height(), 40);
    EXPECT_EQ(form.client->Top(), 40);
    EXPECT_EQ(form.client->Height(), cr.bottom - 40);
    // The real windows agree.
    RECT wr;
    GetWindowRect(form.client->Handle(), &wr);
    EXPECT_EQ(wr.right - wr.left, cr.right);
    EXPECT_EQ(GetParent(form.edit->Handle()), form.client->Handle());

    // Resizing the form by the window lays the panels out again.
    SetWindowPos(form.Handle(), nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(form.Handle(), &cr);
    EXPECT_EQ(form.top->Width(), cr.right);
    EXPECT_EQ(form.client->Height(), cr.bottom - 40);
    EXPECT_EQ(form.Width(), 500);
}

TEST(Controls, AWindowlessLabelIsPaintedByItsParent)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    form.label->SetTransparent(false);
    form.label->SetColor(RGB(255, 0, 0));
    ShowAndSettle(form);
    RedrawWindow(form.client->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(ScreenPixel(form.client->Handle(), 22, 48), RGB(255, 0, 0));
    EXPECT_NE(ScreenPixel(form.client->Handle(), 110, 48), RGB(255, 0, 0));
    // Moved: painted at the new place, the old place cleared.
    form.label->SetBounds(200, 100, 80, 30);
    UpdateWindow(form.client->Handle());
    EXPECT_EQ(ScreenPixel(form.client->Handle(), 276, 127), RGB(255, 0, 0));
    EXPECT_NE(ScreenPixel(form.client->Handle(), 22, 48), RGB(255, 0, 0));
}

TEST(Controls, MouseEnterLeaveAndClickReachTheWindowlessControl)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    ShowAndSettle(form);
    std::vector<std::string> events;
    form.label->OnMouseEnter = [&](TObject*) { events.push_back("label enter"); };
    form.label->OnMouseLeave = [&](TObject*) { events.push_back("label leave"); };
    form.label->OnClick = [&](TObject*) { events.push_back("label click"); };
    form.client->OnMouseEnter = [&](TObject*) { events.push_back("panel enter"); };
    form.client->OnMouseLeave = [&](TObject*) { events.push_back("panel leave"); };
    form.client->OnClick = [&](TObject*) { events.push_back("panel click"); };
    HWND panel = form.client->Handle();
    SendMessageW(panel, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageW(panel, WM_MOUSEMOVE, 0, MAKELPARAM(30, 30));
    SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 30));
    SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(31, 31));
    SendMessageW(panel, WM_MOUSEMOVE, 0, MAKELPARAM(130, 90));
    SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(130, 90));
    SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(130, 90));
    SendMessageW(panel, WM_MOUSEMOVE, 0, MAKELPARAM(30, 30));
    SendMessageW(panel, WM_MOUSELEAVE, 0, 0);
    std::vector<std::string> expected = {"panel enter", "label enter", "label click", "label leave",
                                         "panel click", "label enter", "label leave", "panel leave"};
    EXPECT_EQ(events, expected);
    EXPECT_FALSE(form.label->MouseInside());
    EXPECT_FALSE(form.client->MouseInside());
}

TEST(Controls, ARealMouseClickOnTheLabel)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    ShowAndSettle(form);
    SetForegroundWindow(form.Handle());
    int clicks = 0;
    bool entered = false;
    form.label->OnClick = [&](TObject*) { ++clicks; };
    form.label->OnMouseEnter = [&](TObject*) { entered = true; };
    POINT p = form.label->ClientToScreen(POINT{10, 10});
    SetCursorPos(p.x, p.y);
    mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
    Pump(50);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return clicks > 0; }, 20000));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(entered);
    SetCursorPos(5, 5);
    Pump(50);
}

TEST(Controls, EditReportsChangesAndReadsBack)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    ShowAndSettle(form);
    int changes = 0;
    form.edit->OnChange = [&](TObject*) { ++changes; };
    form.edit->SetText("Привет, world");
    EXPECT_EQ(form.edit->Text(), "Привет, world");
    EXPECT_EQ(changes, 1);
    SendMessageW(form.edit->Handle(), WM_CHAR, L'!', 0);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(form.edit->Text().size(), std::string("Привет, world!").size());
}

TEST(Controls, RecreatingAPanelKeepsItsChildren)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    ShowAndSettle(form);
    HWND oldPanel = form.client->Handle();
    form.edit->SetText("kept?");
    form.client->RecreateWnd();
    HWND newPanel = form.client->Handle();
    EXPECT_FALSE(IsWindow(oldPanel));
    ASSERT_TRUE(IsWindow(newPanel));
    ASSERT_TRUE(form.edit->HandleAllocated());
    EXPECT_EQ(GetParent(form.edit->Handle()), newPanel);
    EXPECT_TRUE(IsWindowVisible(form.edit->Handle()));
}

TEST(Controls, OnlyControlsThatAcceptChildrenTakeThem)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    auto* label = new TLabel(&form);
    EXPECT_THROW(label->SetParent(form.edit), Exception);
    EXPECT_EQ(label->Parent(), nullptr);
    auto* plain = new TStatusBar(&form);
    plain->SetParent(&form);
    EXPECT_THROW(label->SetParent(plain), Exception);
}

TEST(Controls, FormCloseAsksAndHidesOrFreesItself)
{
    ASSERT_TRUE(HaveDisplay());
    auto* form = new TestForm();
    ShowAndSettle(*form);
    bool allow = false;
    TCloseAction action = TCloseAction::caHide;
    form->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = allow; };
    form->OnClose = [&](TObject*, TCloseAction& a) { a = action; };
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    allow = true;
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(Application().Terminated());
    form->Show();
    action = TCloseAction::caFree;
    std::weak_ptr<void> alive = form->AliveToken();
    HWND h = form->Handle();
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(alive.expired());   // freed later, not inside its own message
    EXPECT_TRUE(PumpUntil([&] { return alive.expired(); }, 20000));
    EXPECT_FALSE(IsWindow(h));
}

TEST(Graphics, IconTellsItsUserAboutChanges)
{
    TIcon icon;
    int changes = 0;
    icon.OnChange = [&] { ++changes; };
    EXPECT_TRUE(icon.Empty());
    ASSERT_TRUE(icon.LoadFromResourceName("MAINICON", 16));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(icon.Width(), 16);
    TIcon other;
    ASSERT_TRUE(other.LoadFromResourceName("MAINICON", 32));
    icon.Assign(other);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(icon.Width(), 32);
    EXPECT_NE(icon.Handle(), other.Handle());
    EXPECT_FALSE(icon.LoadFromResourceName("NO_SUCH_ICON"));
    EXPECT_EQ(changes, 2);
    icon.SetHandle(nullptr);
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(icon.Empty());
}

TEST(Graphics, BitmapCanvasDrawsWithFonts)
{
    TBitmap bmp;
    bmp.SetSize(120, 40);
    TCanvas& c = bmp.Canvas();
    c.SetBrushColor(RGB(0, 0, 255));
    c.FillRect(RECT{0, 0, 10, 10});
    EXPECT_EQ(bmp.Pixel(5, 5), RGB(0, 0, 255));
    EXPECT_EQ(bmp.Pixel(50, 30), GetSysColor(COLOR_WINDOW));
    int normal = c.TextWidth("Folding at home");
    c.Font().SetStyle(fsBold);
    c.Font().SetHeight(-20);
    int big = c.TextWidth("Folding at home");
    EXPECT_GT(normal, 0);
    EXPECT_GT(big, normal);
    c.Font().SetColor(RGB(255, 0, 0));
    c.PutText(0, 0, "WWWW");
    bool red = false;
    for (int x = 0; x < 60 && !red; ++x)
        for (int y = 0; y < 25 && !red; ++y)
            red = bmp.Pixel(x, y) == RGB(255, 0, 0);
    EXPECT_TRUE(red);
}

TEST(Graphics, ImageListHandsOutIcons)
{
    TImageList list(nullptr, 16, 16);
    EXPECT_EQ(list.Count(), 0);
    TIcon icon;
    ASSERT_TRUE(icon.LoadFromResourceName("MAINICON", 16));
    EXPECT_EQ(list.AddIcon(icon), 0);
    TBitmap bmp;
    bmp.SetSize(16, 16);
    bmp.Canvas().SetBrushColor(RGB(0, 200, 0));
    bmp.Canvas().FillRect(RECT{0, 0, 16, 16});
    EXPECT_EQ(list.Add(bmp), 1);
    EXPECT_EQ(list.Count(), 2);
    TIcon out;
    int changes = 0;
    out.OnChange = [&] { ++changes; };
    EXPECT_TRUE(list.GetIcon(1, out));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(out.Empty());
    EXPECT_FALSE(list.GetIcon(2, out));
    EXPECT_FALSE(list.GetIcon(-1, out));
    TBitmap target;
    target.SetSize(16, 16);
    list.Draw(target.Canvas(), 0, 0, 1);
    EXPECT_EQ(target.Pixel(8, 8), RGB(0, 200, 0));
}

namespace {
int g_nestingSeen = -1;
void CALLBACK CloseMenuTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_nestingSeen = Application().NestingDepth();
    EndMenu();
}
}  // namespace

TEST(Menus, PopupRunsAsANestedLoopAndClosesWithoutAChoice)
{
    ASSERT_TRUE(HaveDisplay());
    TPopupMenu menu(nullptr);
    int clicks = 0, popups = 0;
    menu.OnPopup = [&](TObject*) { ++popups; };
    TMenuItem* restore = menu.Items().Add("Restore", [&](TObject*) { ++clicks; });
    restore->Default = true;
    menu.Items().Add("-");
    TMenuItem* sub = menu.Items().Add("More");
    sub->Add("Inner", [&](TObject*) { ++clicks; });
    EXPECT_EQ(menu.Items().Count(), 3);
    g_nestingSeen = -1;
    SetTimer(nullptr, 0, 200, CloseMenuTimer);
    SetForegroundWindow(Application().Handle());
    menu.Popup(300, 300);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_GE(g_nestingSeen, 1);
    EXPECT_EQ(Application().NestingDepth(), 0);
    EXPECT_FALSE(menu.PoppedUp());
    restore->Click();
    EXPECT_EQ(clicks, 1);
    restore->Enabled = false;
    restore->Click();
    EXPECT_EQ(clicks, 1);
}

TEST(StatusBar, AChildPlacedInAPanelFollowsItWhenTheBarResizes)
{
    ASSERT_TRUE(HaveDisplay());
    TForm form(nullptr);
    form.SetBounds(100, 100, 500, 200);
    auto* bar = new TkkaStatusBar(&form);
    bar->SetParent(&form);
    bar->AddPanel(100, "downloads");
    bar->AddPanel(1000, "hints");
    auto* panel = new TPanel(&form);
    panel->SetBevelOuter(TBevelCut::bvNone);
    bar->PlaceInPanel(panel, 1);
    auto* plain = new TEdit(&form);
    plain->SetBounds(5, 2, 40, 15);
    plain->SetParent(bar);
    form.Show();
    Pump(50);
    ASSERT_TRUE(bar->HandleAllocated());
    EXPECT_EQ(GetParent(panel->Handle()), bar->Handle());
    EXPECT_TRUE(IsWindowVisible(panel->Handle()));
    EXPECT_TRUE(IsWindowVisible(plain->Handle()));
    EXPECT_TRUE(GetWindowLongW(bar->Handle(), GWL_STYLE) & WS_CLIPCHILDREN);

    RECT p1 = bar->PanelRect(1);
    EXPECT_EQ(panel->Left(), p1.left + 1);
    EXPECT_EQ(panel->Width(), p1.right - p1.left - 2);
    int widthBefore = panel->Width();
    RECT plainBefore;
    GetWindowRect(plain->Handle(), &plainBefore);

    // The form grows: the bar grows with it, the last panel too, and the child follows.
    SetWindowPos(form.Handle(), nullptr, 100, 150, 700, 250, SWP_NOZORDER);
    Pump(20);
    RECT p1b = bar->PanelRect(1);
    EXPECT_GT(p1b.right, p1.right);
    EXPECT_EQ(panel->Width(), p1b.right - p1b.left - 2);
    EXPECT_GT(panel->Width(), widthBefore);
    RECT pr;
    GetWindowRect(panel->Handle(), &pr);
    MapWindowPoints(nullptr, bar->Handle(), reinterpret_cast<POINT*>(&pr), 2);
    EXPECT_EQ(pr.left, p1b.left + 1);
    // The plain child moved on the screen with the bar.
    RECT plainAfter;
    GetWindowRect(plain->Handle(), &plainAfter);
    EXPECT_EQ(plainAfter.top - plainBefore.top, 100);

    // A wider first panel pushes the child to the right.
    bar->SetPanelWidth(0, 250);
    EXPECT_EQ(panel->Left(), bar->PanelRect(1).left + 1);
    EXPECT_GE(panel->Left(), 250);

    // A freed child is forgotten by the bar.
    delete panel;
    bar->SetPanelWidth(0, 120);
    EXPECT_EQ(bar->Panel(0).Width, 120);
}

TEST(Graphics, GdiObjectCountSeesObjectsComeAndGo)
{
    // The counter the paint test relies on moves with real objects.
    long before = GdiObjectCount();
    ASSERT_GT(before, 0);
    std::vector<TGdiObject<HBRUSH>> brushes;
    for (int i = 0; i < 50; ++i)
        brushes.emplace_back(CreateSolidBrush(RGB(i, 1, 2)));
    EXPECT_EQ(GdiObjectCount(), before + 50);
    brushes.clear();
    EXPECT_EQ(GdiObjectCount(), before);
}

TEST(Controls, APaintThatThrowsLeavesNoGdiObjectsBehind)
{
    ASSERT_TRUE(HaveDisplay());
    TForm form(nullptr);
    form.SetBounds(100, 100, 300, 200);
    auto* box = new PaintTrouble(&form);
    box->SetBounds(0, 0, 150, 100);
    box->SetParent(&form);
    auto* holder = new TPanel(&form);
    holder->SetBounds(150, 0, 150, 100);
    holder->SetParent(&form);
    auto* graphic = new GraphicTrouble(&form);
    graphic->SetBounds(10, 10, 50, 50);
    graphic->SetParent(holder);
    ShowAndSettle(form);
    HWND boxWindow = box->Handle(), holderWindow = holder->Handle();
    auto paintBoth = [&] {
        RedrawWindow(boxWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        InvalidateRect(holderWindow, nullptr, TRUE);
        UpdateWindow(holderWindow);
    };
    // Caches the system fills on first use are made before counting.
    for (int i = 0; i < 20; ++i) {
        box->throwing = graphic->throwing = (i % 2) != 0;
        paintBoth();
    }
    ClearCaughtErrors();
    long before = GdiObjectCount();
    ASSERT_GT(before, 0);

    box->throwing = graphic->throwing = true;
    const int kRounds = 10000;
    int painted = box->painted;
    for (int i = 0; i < kRounds; ++i)
        paintBoth();
    long after = GdiObjectCount();
    EXPECT_EQ(box->painted - painted, kRounds);
    std::vector<std::string> errors = CaughtErrors();
    EXPECT_EQ(errors.size(), 2u * kRounds);
    if (!errors.empty()) {
        EXPECT_EQ(errors.front(), "paint failed");
        EXPECT_EQ(errors.back(), "graphic paint failed");
    }
    RecordProperty("GdiObjectsBefore", static_cast<int>(before));
    RecordProperty("GdiObjectsAfter", static_cast<int>(after));
    printf("GDI objects before %ld, after %d throwing paints of each control %ld\n", before, kRounds, after);
    EXPECT_LE(after - before, 4);
    // The region was validated although the paint failed: no paint storm.
    EXPECT_FALSE(GetUpdateRect(boxWindow, nullptr, FALSE));

    // The next paint is a normal one: background, the rectangle at its place,
    // nothing shifted by the origin the failed paint had set.
    box->throwing = graphic->throwing = false;
    ClearCaughtErrors();
    paintBoth();
    EXPECT_TRUE(CaughtErrors().empty());
    EXPECT_EQ(ScreenPixel(boxWindow, 70, 70), RGB(255, 0, 0));
    EXPECT_EQ(ScreenPixel(boxWindow, 78 + 7, 78 + 7), RGB(0, 0, 255));
    EXPECT_EQ(ScreenPixel(boxWindow, 140, 90), RGB(0, 0, 255));
    EXPECT_EQ(ScreenPixel(holderWindow, 12, 55), RGB(255, 255, 0));
    EXPECT_NE(ScreenPixel(holderWindow, 65, 55), RGB(255, 255, 0));
    EXPECT_LE(GdiObjectCount() - before, 4);
}

TEST(Graphics, ACanvasGivesTheDCItsOwnFontBackAndFreesTheFontsItChanged)
{
    TMemoryDC dc;
    ASSERT_NE(dc.Handle(), nullptr);
    HGDIOBJ ownFont = GetCurrentObject(dc.Handle(), OBJ_FONT);
    COLORREF ownColor = GetTextColor(dc.Handle());
    long before = GdiObjectCount();
    try {
        TCanvas c(dc.Handle());
        c.Font().SetColor(RGB(200, 0, 0));
        for (int i = 0; i < 100; ++i) {
            c.Font().SetHeight(-10 - i % 5);
            c.TextExtent("cell");
            // Left selected for code that draws on the DC itself.
            EXPECT_EQ(GetCurrentObject(dc.Handle(), OBJ_FONT), c.Font().Handle());
        }
        EXPECT_EQ(GetTextColor(dc.Handle()), RGB(200, 0, 0));
        throw Exception("drawing failed");
    } catch (const Exception&) {
    }
    EXPECT_EQ(GetCurrentObject(dc.Handle(), OBJ_FONT), ownFont);
    EXPECT_EQ(GetTextColor(dc.Handle()), ownColor);
    EXPECT_EQ(GdiObjectCount(), before);
}

TEST(Graphics, ACanvasTellsTheMetricsOfTheFontItHasNow)
{
    TMemoryDC dc;
    ASSERT_NE(dc.Handle(), nullptr);
    TCanvas c(dc.Handle());
    c.Font().SetName("Tahoma");
    c.Font().SetHeight(-11);
    EXPECT_EQ(c.TextMetrics().tmHeight, 13);   // Tahoma -11: ascent 11, descent 2
    c.Font().SetHeight(-20);
    EXPECT_GE(c.TextMetrics().tmHeight, 20);   // a new font is measured anew
    EXPECT_EQ(GetCurrentObject(dc.Handle(), OBJ_FONT), c.Font().Handle());
    c.Font().SetHeight(-11);
    EXPECT_EQ(c.TextMetrics().tmHeight, 13);
}

TEST(Controls, AWindowedControlMovesToAnotherParentKeepingItsWindow)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    ShowAndSettle(form);
    HWND edit = form.edit->Handle();
    form.edit->SetText("typed");
    int hooked = 0;
    HookWindowProc(edit, [&hooked](HWND, UINT msg, WPARAM w, LPARAM l, const TSubclassNext& next) {
        if (msg == WM_GETTEXTLENGTH)
            ++hooked;
        return next(msg, w, l);
    });
    form.edit->SetParent(form.top);
    EXPECT_EQ(edit, form.edit->Handle());
    EXPECT_EQ(form.top->Handle(), GetParent(edit));
    EXPECT_EQ("typed", form.edit->Text());
    EXPECT_GT(hooked, 0);
    EXPECT_EQ(form.top, form.edit->Parent());
    EXPECT_EQ(1, form.top->ControlCount());
    // Taken off every parent, or onto one without a window, it goes.
    auto* loose = new TPanel(&form);
    loose->SetAlign(TAlign::alNone);
    form.edit->SetParent(loose);
    EXPECT_FALSE(IsWindow(edit));
}

namespace {

// A panel that takes a height of its own when its width changes, as a dock
// does whose rows wrap.
class GrowingPanel : public TPanel {
public:
    using TPanel::TPanel;

protected:
    void BoundsChanged() override
    {
        TPanel::BoundsChanged();
        int wanted = Width() < 300 ? 70 : 30;
        if (Height() != wanted)
            SetHeight(wanted);
    }
};

}  // namespace

TEST(Controls, AChildThatResizesItselfWhileAlignedIsAlignedAgain)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm form;
    auto* grow = new GrowingPanel(&form);
    grow->SetAlign(TAlign::alBottom);
    grow->SetParent(&form);
    ShowAndSettle(form);
    EXPECT_EQ(30, grow->Height());
    SetWindowPos(form.Handle(), nullptr, 0, 0, 250, 320, SWP_NOMOVE | SWP_NOZORDER);
    RECT cr;
    GetClientRect(form.Handle(), &cr);
    EXPECT_EQ(70, grow->Height());
    EXPECT_EQ(cr.bottom - 70, grow->Top());
    EXPECT_EQ(cr.bottom - 70 - 40, form.client->Height());
}

TEST(Screen, FormsInScreenOrderAndTheFormOfAWindow)
{
    ASSERT_TRUE(HaveDisplay());
    TestForm a, b;
    ShowAndSettle(a);
    ShowAndSettle(b);
    std::vector<TForm*> order = Screen().FormsInZOrder();
    auto at = [&](TForm* f) { return std::find(order.begin(), order.end(), f) - order.begin(); };
    EXPECT_LT(at(&b), at(&a));
    SetWindowPos(a.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    order = Screen().FormsInZOrder();
    EXPECT_LT(at(&a), at(&b));
    EXPECT_EQ(&b, Screen().FormOfWindow(b.edit->Handle()));
    EXPECT_EQ(&a, Screen().FormOfWindow(a.Handle()));
    EXPECT_EQ(nullptr, Screen().FormOfWindow(Application().Handle()));
    EXPECT_EQ(nullptr, Screen().OwnerForm(&a));
}
