// The link label: shadowed text, size, mouse enter and leave with real
// input, and a click that opens its address through the shell.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>

#include "controls/DrawUtils.h"
#include "controls/RxLabel.h"
#include "platform/Canvas.h"
#include "platform/Form.h"
#include "platform/StdCtrls.h"
#include "platform/Text.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

constexpr COLORREF kShadow = RGB(255, 0, 0);
constexpr COLORREF kText = RGB(0, 0, 255);
constexpr COLORREF kBack = RGB(255, 255, 255);

struct PixelCount {
    int text = 0, shadow = 0;
    RECT textBox = {1000, 1000, -1, -1}, shadowBox = {1000, 1000, -1, -1};
};

void Grow(RECT& box, int x, int y)
{
    box.left = std::min<LONG>(box.left, x);
    box.top = std::min<LONG>(box.top, y);
    box.right = std::max<LONG>(box.right, x);
    box.bottom = std::max<LONG>(box.bottom, y);
}

// Paints the label into a white bitmap and counts text and shadow pixels.
PixelCount PaintAndCount(TRxLabel& label)
{
    TBitmap bmp;
    bmp.SetSize(label.Width(), label.Height());
    TCanvas& c = bmp.Canvas();
    c.Font().Assign(label.Font());
    c.SetBrushColor(kBack);
    label.Paint(c);
    PixelCount n;
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            COLORREF p = bmp.Pixel(x, y);
            if (p == kText) {
                ++n.text;
                Grow(n.textBox, x, y);
            } else if (p == kShadow) {
                ++n.shadow;
                Grow(n.shadowBox, x, y);
            }
        }
    return n;
}

int CALLBACK CountTextRecords(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM param)
{
    if (record->iType == EMR_EXTTEXTOUTW || record->iType == EMR_EXTTEXTOUTA || record->iType == EMR_POLYTEXTOUTW)
        ++*reinterpret_cast<int*>(param);
    return 1;
}

// Paints the label into a metafile and counts the texts written.
int TextDraws(TRxLabel& label)
{
    HDC screen = GetDC(nullptr);
    HDC meta = CreateEnhMetaFileW(screen, nullptr, nullptr, nullptr);
    ReleaseDC(nullptr, screen);
    {
        TCanvas c(meta);
        c.Font().Assign(label.Font());
        c.SetBrushColor(kBack);
        label.Paint(c);
    }
    HENHMETAFILE h = CloseEnhMetaFile(meta);
    int n = 0;
    EnumEnhMetaFile(nullptr, h, CountTextRecords, &n, nullptr);
    DeleteEnhMetaFile(h);
    return n;
}

class LabelForm : public TForm {
public:
    LabelForm() : TForm(nullptr)
    {
        SetCaption("Link label test");
        SetBounds(640, 80, 300, 160);
        label = new TRxLabel(this);
        label->SetCaption("Open the site");
        label->SetBounds(20, 30, 10, 10);
        label->SetParent(this);
    }
    TRxLabel* label;
};

void ShowActive(TForm& form)
{
    form.Show();
    UpdateWindow(form.Handle());
    SetForegroundWindow(form.Handle());
    Pump(50);
}

void ParkMouse() { SendInputPumping(MouseMoveTo(POINT{1270, 1010}), 50); }

// Moves the mouse to a screen point until the state shows it arrived. On a
// busy machine the display server's echo of an earlier move can come after
// a later one and put the cursor back: the move is then made again.
bool MoveUntil(POINT to, const std::function<bool()>& arrived)
{
    for (int i = 0; i < 5; ++i) {
        if (!SendInputPumping(MouseMoveTo(to), 20))
            return false;
        if (PumpUntil(arrived, 1000))
            return true;
    }
    return false;
}

// Points the shell's "open" command of http addresses at the recorder for
// the test's lifetime.
class HttpOpenCommand {
public:
    explicit HttpOpenCommand(const std::wstring& command)
    {
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr);
        wchar_t old[1024] = {};
        DWORD size = sizeof old, type = 0;
        had_ = RegQueryValueExW(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
        old_ = old;
        RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    ~HttpOpenCommand()
    {
        if (had_)
            RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(old_.c_str()),
                           static_cast<DWORD>((old_.size() + 1) * sizeof(wchar_t)));
        else
            RegDeleteValueW(key_, nullptr);
        RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    bool had_ = false;
    std::wstring old_;
};

std::wstring RecorderPath()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring p = self;
    return p.substr(0, p.find_last_of(L'\\') + 1) + L"controls_link_recorder.exe";
}

}  // namespace

TEST(RxLabel, ShadowSizeZeroDrawsTheTextOnce)
{
    TRxLabel label(nullptr);
    label.SetCaption("Shadow");
    label.Font().SetColor(kText);
    label.SetShadowColor(kShadow);
    label.SetShadowPos(TShadowPosition::spRightBottom);
    label.SetShadowSize(2);
    PixelCount two = PaintAndCount(label);
    ASSERT_GT(two.text, 10);
    ASSERT_GT(two.shadow, 10);
    // The shadow copy lies 2 pixels right of and below the text.
    EXPECT_EQ(two.shadowBox.right - two.textBox.right, 2);
    EXPECT_EQ(two.shadowBox.bottom - two.textBox.bottom, 2);

    EXPECT_EQ(TextDraws(label), 2);

    label.SetShadowSize(0);
    PixelCount none = PaintAndCount(label);
    EXPECT_GT(none.text, 10);
    EXPECT_EQ(none.shadow, 0);
    EXPECT_EQ(TextDraws(label), 1);
}

TEST(RxLabel, ADisabledLabelIsGreyWithALightShadow)
{
    TRxLabel label(nullptr);
    label.SetCaption("Off");
    label.SetShadowSize(0);
    label.SetEnabled(false);
    TBitmap bmp;
    bmp.SetSize(label.Width(), label.Height());
    bmp.Canvas().Font().Assign(label.Font());
    bmp.Canvas().SetBrushColor(RGB(0, 128, 0));
    label.Paint(bmp.Canvas());
    int grey = 0, light = 0;
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            grey += bmp.Pixel(x, y) == GetSysColor(COLOR_GRAYTEXT);
            light += bmp.Pixel(x, y) == GetSysColor(COLOR_BTNHIGHLIGHT);
        }
    EXPECT_GT(grey, 5);
    EXPECT_GT(light, 5);
}

TEST(RxLabel, AutoSizeMeasuresTheTextAndAnEmptyCaptionAsOneBlank)
{
    TRxLabel blank(nullptr), empty(nullptr), text(nullptr);
    blank.SetCaption(" ");
    empty.SetCaption("x");
    empty.SetCaption("");
    text.SetCaption("A longer caption");
    EXPECT_EQ(empty.Width(), blank.Width());
    EXPECT_EQ(empty.Height(), blank.Height());
    EXPECT_GT(empty.Width(), 2);
    EXPECT_GT(empty.Height(), 8);
    EXPECT_GT(text.Width(), blank.Width() * 4);
    // A label that is right-justified keeps its right edge.
    TRxLabel right(nullptr);
    right.SetAutoSize(false);
    right.SetAlignment(TAlignment::taRightJustify);
    right.SetBounds(100, 10, 200, 17);
    right.SetCaption("Right");
    right.SetAutoSize(true);
    EXPECT_EQ(right.Left() + right.Width(), 300);
    EXPECT_LT(right.Width(), 200);
}

TEST(RxLabel, NoMouseEnterWhileAnotherProgramIsActive)
{
    ASSERT_TRUE(HaveDisplay());
    ParkMouse();
    LabelForm form;
    int enters = 0, leaves = 0;
    form.label->OnMouseEnter = [&](TObject*) { ++enters; };
    form.label->OnMouseLeave = [&](TObject*) { ++leaves; };
    ShowActive(form);

    // Another program takes the activation.
    std::wstring cmd = L"\"" + RecorderPath() + L"\" --window \"Other program\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    HWND other = nullptr;
    PumpUntil([&] { return (other = FindWindowW(L"LinkRecorderWindow", L"Other program")) != nullptr; }, 10000);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    PumpUntil([&] { return GetActiveWindow() == nullptr; }, 3000);
    EXPECT_FALSE(IsForegroundTask());

    POINT over = form.label->ClientToScreen(POINT{5, 5});
    ASSERT_TRUE(SendInputPumping(MouseMoveTo(over)));
    EXPECT_EQ(enters, 0);
    EXPECT_FALSE(form.label->MouseInControl());

    PostMessageW(other, WM_CLOSE, 0, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    // Once this program is active again, entering and leaving are told. The
    // move made while the other program was active may still come back
    // from the display server now and enter: parking leaves again.
    EXPECT_TRUE(MoveUntil(POINT{1270, 1010}, [&] { return !form.label->MouseInControl(); }));
    ShowActive(form);
    ASSERT_TRUE(IsForegroundTask());
    const POINT away = form.ClientToScreen(POINT{250, 100});
    EXPECT_TRUE(MoveUntil(over, [&] { return form.label->MouseInControl(); }));
    EXPECT_GE(enters, 1);
    EXPECT_TRUE(MoveUntil(away, [&] { return !form.label->MouseInControl(); }));
    EXPECT_EQ(leaves, enters);
    ParkMouse();
}

TEST(RxLabel, AClickOnALinkLabelOpensItsAddress)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("link");
    const std::string out = dir.File("opened.txt");
    HttpOpenCommand command(L"\"" + RecorderPath() + L"\" \"" + Utf8ToWide(out) + L"\" \"%1\"");
    const std::string address = "http://fah.example.test/stats?team=32&user=Brenix%20user";

    ParkMouse();
    LabelForm form;
    SetupLinkLabel(*form.label, address);
    EXPECT_EQ(form.label->ShadowSize(), 0);
    EXPECT_EQ(form.label->Cursor(), ScreenCursor(crHand));
    ShowActive(form);
    POINT p = form.label->ClientToScreen(POINT{5, 5});
    EXPECT_TRUE(MoveUntil(p, [&] { return (form.label->Font().Style() & fsUnderline) != 0; }));
    ASSERT_TRUE(SendInputPumping(MouseClickAt(p)));
    std::string got;
    PumpUntil(
        [&] {
            got = GetFileAttributesW(Utf8ToWide(out).c_str()) != INVALID_FILE_ATTRIBUTES ? ReadFile(out) : "";
            return !got.empty();
        },
        10000);
    EXPECT_EQ(got, address + "\n");
    ParkMouse();
    // The window hears of the mouse's leaving a little later.
    EXPECT_TRUE(PumpUntil([&] { return !(form.label->Font().Style() & fsUnderline); }, 20000));
}

TEST(RxLabel, AltAndTheAcceleratorFocusTheFocusControl)
{
    ASSERT_TRUE(HaveDisplay());
    LabelForm form;
    form.label->SetCaption("&Folder");
    auto* first = new TEdit(&form);
    first->SetBounds(20, 60, 100, 21);
    first->SetParent(&form);
    auto* target = new TEdit(&form);
    target->SetBounds(20, 90, 100, 21);
    target->SetParent(&form);
    form.label->SetFocusControl(target);
    ShowActive(form);
    first->SetFocus();
    ASSERT_TRUE(SendInputPumping(Chord({VK_MENU, 'F'})));
    EXPECT_TRUE(target->Focused());
    form.label->SetShowAccelChar(false);
    first->SetFocus();
    ASSERT_TRUE(SendInputPumping(Chord({VK_MENU, 'F'})));
    EXPECT_TRUE(first->Focused());
}

// A link drawn underlined (the team link) is underlined again once the mouse
// has been over it and left.
TEST(RxLabel, AnUnderlinedLinkKeepsItsUnderlineAfterAHover)
{
    ASSERT_TRUE(HaveDisplay());
    ParkMouse();
    LabelForm form;
    form.label->Font().SetStyle(fsBold | fsUnderline);
    SetupLinkLabel(*form.label, "http://fah.example.test/team");
    ShowActive(form);
    const POINT over = form.label->ClientToScreen(POINT{5, 5});
    const POINT away = form.ClientToScreen(POINT{250, 100});
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(SendInputPumping(MouseMoveTo(over)));
        ASSERT_TRUE(SendInputPumping(MouseMoveTo(over)));
        EXPECT_TRUE(PumpUntil([&] { return form.label->MouseInControl(); }, 20000));
        ASSERT_TRUE(SendInputPumping(MouseMoveTo(away)));
        ASSERT_TRUE(SendInputPumping(MouseMoveTo(away)));
        EXPECT_TRUE(PumpUntil([&] { return !form.label->MouseInControl(); }, 20000));
        EXPECT_EQ(form.label->Font().Style(), static_cast<unsigned>(fsBold | fsUnderline));
    }
    ParkMouse();
}
