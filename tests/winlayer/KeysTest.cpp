// Keyboard routing of the window layer, shortcuts, the list of live forms,
// buttons, check boxes and group boxes, driven by real input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/PageControl.h"
#include "platform/RadioGroup.h"
#include "platform/Screen.h"
#include "platform/ShortCut.h"
#include "platform/StdCtrls.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

class KeyForm : public TForm {
public:
    KeyForm() : TForm(nullptr)
    {
        BeginLoading();
        SetCaption("Keys");
        // Away from the other tests' forms, which the mouse must not be over.
        SetBounds(700, 600, 400, 260);
        first = AddEdit(10);
        skipped = AddEdit(40);
        skipped->SetTabStop(false);
        disabled = AddEdit(70);
        disabled->SetEnabled(false);
        group = new TGroupBox(this);
        group->SetCaption("&Group");
        group->SetBounds(150, 10, 200, 100);
        group->SetParent(this);
        inner = new TEdit(this);
        inner->SetBounds(10, 30, 100, 22);
        inner->SetParent(group);
        label = new TLabel(this);
        label->SetCaption("&Name");
        label->SetBounds(10, 110, 60, 17);
        label->SetParent(this);
        ok = new TButton(this);
        ok->SetCaption("OK");
        ok->SetBounds(10, 180, 75, 25);
        ok->SetDefault(true);
        ok->SetParent(this);
        cancel = new TButton(this);
        cancel->SetCaption("Cancel");
        cancel->SetBounds(100, 180, 75, 25);
        cancel->SetCancel(true);
        cancel->SetParent(this);
        EndLoading();
        ok->OnClick = [this](TObject*) { clicks.push_back("ok"); };
        cancel->OnClick = [this](TObject*) { clicks.push_back("cancel"); };
    }
    TEdit* AddEdit(int top)
    {
        auto* e = new TEdit(this);
        e->SetBounds(10, top, 120, 22);
        e->SetParent(this);
        return e;
    }
    TEdit* first;
    TEdit* skipped;
    TEdit* disabled;
    TGroupBox* group;
    TEdit* inner;
    TLabel* label;
    TButton* ok;
    TButton* cancel;
    std::vector<std::string> clicks;
};

// Clicks leave the cursor over our form; put it back in the screen's corner.
class Keys : public ::testing::Test {
protected:
    void TearDown() override { SetCursorPos(1270, 1010); }
};

void ShowFocused(TForm& form, TWinControl* focus)
{
    form.Show();
    UpdateWindow(form.Handle());
    SetForegroundWindow(form.Handle());
    focus->SetFocus();
    Pump(50);
}

}  // namespace

TEST_F(Keys, ShortCutPacksKeyAndShiftKeys)
{
    EXPECT_EQ(ShortCut(VK_DOWN, ssAlt), 32808);
    EXPECT_EQ(ShortCut('A', ssCtrl | ssShift), 0x6041);
    EXPECT_EQ(ShortCut(VK_F2, ssLeft | ssDouble), VK_F2);
    EXPECT_EQ(ShortCut(0x100, 0), scNone);
    WORD key = 0;
    TShiftState shift = 0;
    ShortCutToKey(0xE00D, key, shift);   // Ctrl+Alt+Shift+Enter
    EXPECT_EQ(key, VK_RETURN);
    EXPECT_EQ(shift, static_cast<TShiftState>(ssShift | ssCtrl | ssAlt));
}

TEST_F(Keys, TabAndShiftTabFollowTheTabOrder)
{
    ASSERT_TRUE(HaveDisplay());
    KeyForm form;
    ShowFocused(form, form.first);
    ASSERT_TRUE(form.first->Focused());
    // Skips the edit without a tab stop and the disabled one; goes into the
    // group box; the label is no stop.
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    EXPECT_TRUE(form.inner->Focused());
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    EXPECT_TRUE(form.ok->Focused());
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    EXPECT_TRUE(form.first->Focused()) << "wraps round";
    ASSERT_TRUE(SendInputPumping(Chord({VK_SHIFT, VK_TAB})));
    EXPECT_TRUE(form.cancel->Focused());
    EXPECT_TRUE(form.clicks.empty());
    // The tab character never reached an edit.
    EXPECT_EQ(form.first->Text(), "");
    EXPECT_EQ(form.inner->Text(), "");
}

TEST_F(Keys, EnterPressesTheDefaultOrFocusedButtonAndEscTheCancelButton)
{
    ASSERT_TRUE(HaveDisplay());
    KeyForm form;
    ShowFocused(form, form.first);
    ASSERT_TRUE(SendInputPumping(Chord({VK_RETURN})));
    ASSERT_TRUE(SendInputPumping(Chord({VK_ESCAPE})));
    form.cancel->SetFocus();
    Pump(30);
    ASSERT_TRUE(SendInputPumping(Chord({VK_RETURN})));
    EXPECT_EQ(form.clicks, (std::vector<std::string>{"ok", "cancel", "cancel"}));
    // Without a default button Enter reaches the edit's own key handling.
    form.ok->SetDefault(false);
    form.first->SetFocus();
    std::vector<WORD> seen;
    form.first->OnKeyDown = [&](TObject* sender, WORD& key, TShiftState) {
        EXPECT_EQ(sender, form.first);
        seen.push_back(key);
    };
    ASSERT_TRUE(SendInputPumping(Chord({VK_RETURN})));
    EXPECT_EQ(seen, std::vector<WORD>{VK_RETURN});
    EXPECT_EQ(form.clicks.size(), 3u);
}

TEST_F(Keys, KeyEventsSeeKeysAndCanKeepThemFromTheControl)
{
    ASSERT_TRUE(HaveDisplay());
    KeyForm form;
    ShowFocused(form, form.first);
    std::vector<std::pair<WORD, TShiftState>> downs, ups;
    form.first->OnKeyDown = [&](TObject*, WORD& key, TShiftState shift) {
        downs.push_back({key, shift & (ssShift | ssCtrl | ssAlt)});
    };
    form.first->OnKeyUp = [&](TObject*, WORD& key, TShiftState) { ups.push_back({key, 0}); };
    form.first->OnKeyPress = [&](TObject*, wchar_t& ch) {
        if (ch == L'b')
            ch = 0;   // never typed
        else if (ch == L'c')
            ch = L'C';
    };
    ASSERT_TRUE(SendInputPumping(Chord({'A'})));
    ASSERT_TRUE(SendInputPumping(Chord({'B'})));
    ASSERT_TRUE(SendInputPumping(Chord({'C'})));
    ASSERT_TRUE(SendInputPumping(Chord({VK_MENU, VK_DOWN})));
    EXPECT_EQ(form.first->Text(), "aC");
    ASSERT_GE(downs.size(), 4u);
    EXPECT_EQ(downs[0], (std::pair<WORD, TShiftState>{'A', 0}));
    bool altDown = false;
    for (auto& d : downs)
        if (d.first == VK_DOWN && d.second == ssAlt && ShortCut(d.first, d.second) == 32808)
            altDown = true;
    EXPECT_TRUE(altDown);
    EXPECT_FALSE(ups.empty());
}

TEST_F(Keys, AltAndALabelsLetterFocusesItsControl)
{
    ASSERT_TRUE(HaveDisplay());
    KeyForm form;
    form.label->SetFocusControl(form.inner);
    ShowFocused(form, form.first);
    ASSERT_TRUE(SendInputPumping(Chord({VK_MENU, 'N'})));
    EXPECT_TRUE(form.inner->Focused());
    EXPECT_EQ(form.inner->Text(), "");
    // A freed focus control is forgotten.
    delete form.inner;
    form.inner = nullptr;
    EXPECT_EQ(form.label->FocusControl(), nullptr);
    form.first->SetFocus();
    ASSERT_TRUE(SendInputPumping(Chord({VK_MENU, 'N'})));
    EXPECT_TRUE(form.first->Focused());
    EXPECT_TRUE(IsAccel(L'n', "&Name"));
    EXPECT_FALSE(IsAccel(L'n', "Save && &Close"));
    EXPECT_TRUE(IsAccel(L'c', "Save && &Close"));
    EXPECT_FALSE(IsAccel(L'a', "Name"));
}

TEST_F(Keys, CheckBoxFollowsClicksAndCode)
{
    ASSERT_TRUE(HaveDisplay());
    KeyForm form;
    auto* box = new TCheckBox(&form);
    box->SetCaption("&Wrap");
    box->SetBounds(10, 140, 100, 20);
    box->SetParent(&form);
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    ShowFocused(form, form.first);
    POINT p = box->ClientToScreen(POINT{8, 10});
    ASSERT_TRUE(SendInputPumping(MouseClickAt(p)));
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(SendMessageW(box->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    box->SetChecked(false);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(SendMessageW(box->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    box->SetChecked(false);
    EXPECT_EQ(clicks, 2);
    ASSERT_TRUE(SendInputPumping(Chord({VK_MENU, 'W'})));
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(clicks, 3);
}

TEST_F(Keys, ButtonClickedWithTheMouseClicksOnce)
{
    ASSERT_TRUE(HaveDisplay());
    KeyForm form;
    ShowFocused(form, form.first);
    ASSERT_TRUE(SendInputPumping(MouseClickAt(form.cancel->ClientToScreen(POINT{30, 12}))));
    EXPECT_EQ(form.clicks, std::vector<std::string>{"cancel"});
}

TEST_F(Keys, GroupBoxKeepsAlignedChildrenBelowItsCaption)
{
    ASSERT_TRUE(HaveDisplay());
    KeyForm form;
    auto* panel = new TPanel(&form);
    panel->SetAlign(TAlign::alClient);
    panel->SetParent(form.group);
    form.Show();
    Pump(30);
    RECT client;
    GetClientRect(form.group->Handle(), &client);
    EXPECT_GT(panel->Top(), 5);
    EXPECT_LT(panel->Top(), 30);
    EXPECT_LE(panel->Top() + panel->Height(), client.bottom);
    EXPECT_GT(panel->Width(), client.right - 10);
}

namespace {

// An edit, a radio group of three, and a page control of three pages (the
// second one's tab hidden), each page with an edit.
class PagesForm : public TForm {
public:
    PagesForm() : TForm(nullptr)
    {
        SetCaption("Pages");
        SetBounds(700, 500, 420, 380);
        edit = new TEdit(this);
        edit->SetBounds(10, 10, 120, 22);
        edit->SetParent(this);
        radios = new TRadioGroup(this);
        radios->SetCaption("Radios");
        radios->SetBounds(10, 40, 200, 90);
        radios->SetParent(this);
        radios->SetItems({"One", "Two", "Three"});
        radios->SetItemIndex(0);
        pages = new TPageControl(this);
        pages->SetBounds(10, 140, 380, 180);
        pages->SetParent(this);
        for (int i = 0; i < 3; ++i) {
            sheets[i] = new TTabSheet(this);
            sheets[i]->SetCaption("Page " + std::to_string(i + 1));
            sheets[i]->SetPageControl(pages);
            edits[i] = new TEdit(this);
            edits[i]->SetBounds(10, 10, 120, 22);
            edits[i]->SetParent(sheets[i]);
        }
        sheets[1]->SetTabVisible(false);
        pages->SetActivePage(sheets[0]);
        pages->OnChange = [this](TObject*) { ++changes; };
    }
    TEdit* edit;
    TRadioGroup* radios;
    TPageControl* pages;
    TTabSheet* sheets[3];
    TEdit* edits[3];
    int changes = 0;
};

}  // namespace

// The tab strip is a Tab stop of its own, between the control before it and
// the page's controls; Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp
// turn the shown pages from anywhere inside, the focus following onto the
// new page; the strip's own arrows turn them too.
TEST_F(Keys, TheTabStripIsAStopAndCtrlKeysTurnThePagesFromInside)
{
    ASSERT_TRUE(HaveDisplay());
    PagesForm form;
    ShowFocused(form, form.radios->Button(0));
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    EXPECT_TRUE(form.pages->Focused());
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    EXPECT_TRUE(form.edits[0]->Focused());
    ASSERT_TRUE(SendInputPumping(Chord({VK_SHIFT, VK_TAB})));
    EXPECT_TRUE(form.pages->Focused());
    ASSERT_TRUE(SendInputPumping(Chord({VK_RIGHT})));
    EXPECT_EQ(form.pages->ActivePage(), form.sheets[2]);
    ASSERT_TRUE(SendInputPumping(Chord({VK_LEFT})));
    EXPECT_EQ(form.pages->ActivePage(), form.sheets[0]);

    form.edits[0]->SetFocus();
    const int before = form.changes;
    struct Step {
        std::vector<INPUT> keys;
        int page;
    };
    const Step steps[] = {
        {Chord({VK_CONTROL, VK_TAB}), 2},          {Chord({VK_CONTROL, VK_TAB}), 0},
        {Chord({VK_CONTROL, VK_SHIFT, VK_TAB}), 2}, {Chord({VK_CONTROL, VK_PRIOR}), 0},
        {Chord({VK_CONTROL, VK_NEXT}), 2},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(SendInputPumping(step.keys));
        EXPECT_EQ(form.pages->ActivePage(), form.sheets[step.page]) << step.page;
        EXPECT_TRUE(form.edits[step.page]->Focused()) << step.page;
    }
    EXPECT_EQ(form.changes - before, 5);
    // On the strip itself the focus stays there.
    form.pages->SetFocus();
    ASSERT_TRUE(SendInputPumping(Chord({VK_CONTROL, VK_TAB})));
    EXPECT_EQ(form.pages->ActivePage(), form.sheets[0]);
    EXPECT_TRUE(form.pages->Focused());
    // The tab character never reached an edit.
    for (TEdit* e : form.edits)
        EXPECT_EQ(e->Text(), "");
}

// The arrows move the focus and the check within a radio group, round its
// ends, as in a dialog.
TEST_F(Keys, ArrowsMoveAndCheckWithinARadioGroup)
{
    ASSERT_TRUE(HaveDisplay());
    PagesForm form;
    ShowFocused(form, form.edit);
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    ASSERT_TRUE(form.radios->Button(0)->Focused());
    const struct {
        WORD key;
        int item;
    } steps[] = {{VK_DOWN, 1}, {VK_RIGHT, 2}, {VK_DOWN, 0}, {VK_UP, 2}, {VK_LEFT, 1}};
    for (const auto& step : steps) {
        ASSERT_TRUE(SendInputPumping(Chord({step.key})));
        EXPECT_EQ(form.radios->ItemIndex(), step.item) << step.key;
        EXPECT_TRUE(form.radios->Button(step.item)->Focused()) << step.key;
        EXPECT_TRUE(form.radios->Button(step.item)->Checked());
    }
    // Tab leaves the group from the checked button.
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    EXPECT_TRUE(form.pages->Focused());
}

TEST(Screen, ListsLiveFormsInCreationOrderAndTellsObservers)
{
    const int before = Screen().FormCount();
    std::vector<std::pair<TForm*, TFormNotice>> notices;
    int id = Screen().AddFormObserver([&](TForm* f, TFormNotice n) {
        notices.push_back({f, n});
        // Still listed while it is being freed.
        bool listed = false;
        for (int i = 0; i < Screen().FormCount(); ++i)
            listed |= Screen().Forms(i) == f;
        EXPECT_TRUE(listed);
    });
    auto* a = new TForm(nullptr);
    auto* b = new TForm(nullptr);
    ASSERT_EQ(Screen().FormCount(), before + 2);
    EXPECT_EQ(Screen().Forms(before), a);
    EXPECT_EQ(Screen().Forms(before + 1), b);
    delete a;
    ASSERT_EQ(Screen().FormCount(), before + 1);
    EXPECT_EQ(Screen().Forms(before), b);
    Screen().RemoveFormObserver(id);
    delete b;
    EXPECT_EQ(Screen().FormCount(), before);
    std::vector<std::pair<TForm*, TFormNotice>> expected = {
        {a, TFormNotice::fnCreated}, {b, TFormNotice::fnCreated}, {a, TFormNotice::fnDestroying}};
    EXPECT_EQ(notices, expected);
}

TEST(Screen, AnObserverThatThrowsOnAFreedFormIsReported)
{
    ClearCaughtErrors();
    int id = Screen().AddFormObserver([](TForm*, TFormNotice n) {
        if (n == TFormNotice::fnDestroying)
            throw std::runtime_error("observer failed");
    });
    const int before = Screen().FormCount();
    delete new TForm(nullptr);
    Screen().RemoveFormObserver(id);
    EXPECT_EQ(Screen().FormCount(), before);
    ASSERT_EQ(CaughtErrors().size(), 1u);
    EXPECT_NE(CaughtErrors()[0].find("observer failed"), std::string::npos);
}
