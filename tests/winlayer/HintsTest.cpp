#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/Form.h"
#include "platform/Hints.h"
#include "platform/ImageList.h"
#include "platform/StdCtrls.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// Pumps through the application's own dispatch (which feeds the hints).
template <class Pred>
bool PumpApp(Pred pred, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Application().ProcessMessages();
    }
    return true;
}

class HintPanel : public TWinControl {
public:
    explicit HintPanel(TComponent* owner) : TWinControl(owner) {}
    bool refuse = false;
    std::string replace;
    bool HintShow(THintInfo& info) override
    {
        if (!replace.empty())
            info.HintStr = replace;
        return !refuse;
    }
};

struct HintForm {
    TForm form{nullptr};
    HintPanel* withHint;
    HintPanel* without;
    HintForm()
    {
        form.SetBounds(100, 100, 300, 200);
        withHint = new HintPanel(&form);
        withHint->SetParent(&form);
        withHint->SetBounds(10, 10, 120, 60);
        withHint->SetHint("Refresh|Reads every folder again");
        withHint->SetShowHint(true);
        without = new HintPanel(&form);
        without->SetParent(&form);
        without->SetBounds(150, 10, 120, 60);
        without->SetHint("Quiet|No window for this one");
        form.Show();
        Application().HintPause = 50;
        Application().HintShortPause = 20;
    }
    ~HintForm()
    {
        Application().CancelHint();
        Application().HintPause = 500;
        Application().HintShortPause = 50;
        Application().SetHint("");
    }
    POINT Centre(TControl* c) { return c->ClientToScreen(POINT{c->Width() / 2, c->Height() / 2}); }
};

bool HintShownWith(const std::string& text)
{
    THintWindow* w = ApplicationHintWindow();
    return w && w->Active() && w->Text() == text;
}

}  // namespace

TEST(Hints, ShortAndLongParts)
{
    EXPECT_EQ(GetShortHint("Open|Opens a folder"), "Open");
    EXPECT_EQ(GetLongHint("Open|Opens a folder"), "Opens a folder");
    EXPECT_EQ(GetShortHint("Plain"), "Plain");
    EXPECT_EQ(GetLongHint("Plain"), "Plain");
    EXPECT_EQ(GetLongHint("a|b|c"), "b|c");
    EXPECT_TRUE(Application().HintShortCuts);
}

TEST(Hints, RestingTheMouseShowsTheShortPartAndTheApplicationHintTakesTheLongOne)
{
    ASSERT_TRUE(HaveDisplay());
    HintForm f;
    int hintEvents = 0;
    Application().OnHint = [&](TObject*) { ++hintEvents; };
    std::thread t = SendInputLater(MouseMoveTo(f.Centre(f.withHint)), 50);
    bool shown = PumpApp([] { return HintShownWith("Refresh"); }, 5000);
    t.join();
    ASSERT_TRUE(shown);
    EXPECT_EQ(Application().Hint(), "Reads every folder again");
    EXPECT_GE(hintEvents, 1);
    // Below the cursor, not over it.
    RECT r;
    GetWindowRect(ApplicationHintWindow()->Handle(), &r);
    POINT c = f.Centre(f.withHint);
    EXPECT_GT(r.top, c.y);
    EXPECT_NEAR(r.left, c.x, 2);
    EXPECT_NE(GetActiveWindow(), ApplicationHintWindow()->Handle());

    // A press cancels it.
    t = SendInputLater(MouseClickAt(f.Centre(f.withHint)), 10);
    bool gone = PumpApp([] { return !ApplicationHintWindow()->Active(); }, 5000);
    t.join();
    EXPECT_TRUE(gone);

    // Over a control without ShowHint: the long part changes, no window.
    t = SendInputLater(MouseMoveTo(f.Centre(f.without)), 10);
    PumpApp([] { return Application().Hint() == "No window for this one"; }, 5000);
    t.join();
    EXPECT_EQ(Application().Hint(), "No window for this one");
    PumpApp([] { return false; }, 200);
    EXPECT_FALSE(ApplicationHintWindow()->Active());
    Application().OnHint = nullptr;
}

TEST(Hints, AControlCanChangeOrRefuseItsHint)
{
    ASSERT_TRUE(HaveDisplay());
    HintForm f;
    f.withHint->replace = "Changed";
    Application().ActivateHint(f.Centre(f.withHint));
    EXPECT_TRUE(HintShownWith("Changed"));
    Application().CancelHint();
    EXPECT_FALSE(ApplicationHintWindow()->Active());
    f.withHint->refuse = true;
    Application().ActivateHint(f.Centre(f.withHint));
    EXPECT_FALSE(ApplicationHintWindow()->Active());
    // The application-wide switch wins over the control.
    f.withHint->refuse = false;
    Application().ShowHint = false;
    Application().ActivateHint(f.Centre(f.withHint));
    EXPECT_FALSE(ApplicationHintWindow()->Active());
    Application().ShowHint = true;
}

TEST(Hints, ShowHintFollowsTheParentUntilSetOnTheControl)
{
    TForm form(nullptr);
    auto* child = new TButton(&form);
    child->SetParent(&form);
    EXPECT_TRUE(child->ParentShowHint());
    EXPECT_FALSE(child->ShowHint());
    form.SetShowHint(true);
    EXPECT_TRUE(child->ShowHint());
    child->SetShowHint(false);
    EXPECT_FALSE(child->ParentShowHint());
    EXPECT_FALSE(child->ShowHint());
    // A control without a hint of its own shows its parent's.
    form.SetHint("Form|The form");
    EXPECT_EQ(GetControlHint(child), "Form|The form");
}

namespace {

class RedBox : public TWinControl {
public:
    explicit RedBox(TComponent* owner) : TWinControl(owner) {}
    int paints = 0;

protected:
    void Paint(TCanvas& canvas) override
    {
        ++paints;
        canvas.SetBrushColor(RGB(255, 0, 0));
        canvas.FillRect(RECT{0, 0, 10, 10});
    }
};

}  // namespace

TEST(Painting, WmPaintAndWmPrintClientDrawIntoTheGivenDcAndLeaveTheUpdateRegion)
{
    ASSERT_TRUE(HaveDisplay());
    TForm form(nullptr);
    form.SetBounds(50, 50, 200, 150);
    auto* box = new RedBox(&form);
    box->SetParent(&form);
    box->SetBounds(0, 0, 40, 40);
    box->SetColor(RGB(0, 0, 255));
    form.Show();
    Pump(100);
    TBitmap bmp;
    bmp.SetSize(40, 40);
    HDC dc = bmp.Canvas().Handle();
    PatBlt(dc, 0, 0, 40, 40, WHITENESS);
    InvalidateRect(box->Handle(), nullptr, FALSE);
    SendMessageW(box->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 30, 30), RGB(0, 0, 255));
    // Painting into a given DC leaves the window's own update pending.
    PatBlt(dc, 0, 0, 40, 40, WHITENESS);
    SendMessageW(box->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 0, 0));
    EXPECT_TRUE(GetUpdateRect(box->Handle(), nullptr, FALSE));
    int before = box->paints;
    UpdateWindow(box->Handle());
    EXPECT_EQ(box->paints, before + 1);
    EXPECT_FALSE(GetUpdateRect(box->Handle(), nullptr, FALSE));
}

TEST(ImageLists, ADisabledImageIsEmbossedInTheButtonColours)
{
    TCustomImageList list(nullptr, 16, 16);
    TBitmap image;
    image.SetSize(16, 16);
    HDC idc = image.Canvas().Handle();
    PatBlt(idc, 0, 0, 16, 16, WHITENESS);
    RECT square = {4, 4, 10, 10}, light = {12, 12, 15, 15};
    FillRect(idc, &square, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FillRect(idc, &light, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    // White is the transparent colour; the light grey block is opaque.
    ASSERT_EQ(list.AddMasked(image, RGB(255, 255, 255)), 0);

    TBitmap target;
    target.SetSize(20, 20);
    HDC dc = target.Canvas().Handle();
    const COLORREF paper = RGB(10, 200, 30);
    HBRUSH brush = CreateSolidBrush(paper);
    RECT all = {0, 0, 20, 20};
    FillRect(dc, &all, brush);
    list.Draw(target.Canvas(), 0, 0, 0, true);
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 13, 13), RGB(192, 192, 192));
    EXPECT_EQ(GetPixel(dc, 1, 1), paper);

    FillRect(dc, &all, brush);
    list.Draw(target.Canvas(), 0, 0, 0, false);
    DeleteObject(brush);
    EXPECT_EQ(GetPixel(dc, 5, 5), GetSysColor(COLOR_BTNSHADOW));
    // The highlight shows one pixel down and right, where the shadow does not cover it.
    EXPECT_EQ(GetPixel(dc, 10, 10), GetSysColor(COLOR_BTNHIGHLIGHT));
    // Transparent and light pixels are left out.
    EXPECT_EQ(GetPixel(dc, 1, 1), paper);
    EXPECT_EQ(GetPixel(dc, 13, 13), paper);
}

TEST(ImageLists, ChangeLinksCarryTheSizeAndHearEveryChange)
{
    auto* list = new TCustomImageList(nullptr, 24, 16);
    TChangeLink link;
    int changes = 0;
    link.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, list);
        ++changes;
    };
    list->RegisterChanges(&link);
    EXPECT_EQ(link.Sender(), list);
    EXPECT_EQ(link.ImageWidth, 24);
    EXPECT_EQ(link.ImageHeight, 16);
    TBitmap strip;
    strip.SetSize(72, 16);
    EXPECT_EQ(list->AddMasked(strip, RGB(255, 0, 255)), 0);
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(changes, 1);
    list->SetSize(16, 16);
    EXPECT_EQ(changes, 2);
    // The holder decides when it has seen the new size.
    EXPECT_EQ(link.ImageWidth, 24);
    {
        TChangeLink shortLived;
        list->RegisterChanges(&shortLived);
    }
    list->Clear();   // empty already: no change
    EXPECT_EQ(changes, 2);
    delete list;
    EXPECT_EQ(link.Sender(), nullptr);
}
