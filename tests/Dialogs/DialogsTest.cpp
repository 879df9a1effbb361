// The program's dialogs shown modally and driven with real input from a
// helper thread: the column dialog (ticks, drags inside its list, OK and
// Cancel against a real list header), the add-folder dialog (typed folder,
// browse edit, OK, Cancel, Esc) and the About box (the decoded picture, the
// icon/picture toggle, link labels opened through a recording shell
// command, the ways it closes).
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Classes/Lang.h"
#include "Frame/About.h"
#include "Frame/AddDir.h"
#include "Frame/SetColumn.h"
#include "Lib2/VirtualTree/VTHeader.h"
#include "controls/ComboEdits.h"
#include "controls/RxLabel.h"
#include "platform/Image.h"
#include "platform/InputBox.h"
#include "platform/Text.h"
#include "platform/AccessKeys.h"
#include "support/CaptionFit.h"
#include "support/DialogDriver.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

void LoadEnglish()
{
    LoadLanguageResource("LANG_EN");
    LoadLangGlobals();
}

INPUT Mouse(POINT p, DWORD flags)
{
    INPUT in = MouseMoveTo(p)[0];
    in.mi.dwFlags |= flags;
    return in;
}

// One event at a time, 40 ms apart as a hand would send them (a click, a
// drag and a chord keep their shape); this paces the input and waits for
// nothing: a step that needs an effect of the input waits for it.
void Send(const std::vector<INPUT>& inputs)
{
    for (INPUT in : inputs) {
        SendInput(1, &in, sizeof in);
        Sleep(40);
    }
}

void Click(POINT p) { Send({Mouse(p, 0), Mouse(p, 0), Mouse(p, MOUSEEVENTF_LEFTDOWN), Mouse(p, MOUSEEVENTF_LEFTUP)}); }
void DoubleClick(POINT p)
{
    Send({Mouse(p, 0), Mouse(p, 0), Mouse(p, MOUSEEVENTF_LEFTDOWN), Mouse(p, MOUSEEVENTF_LEFTUP),
          Mouse(p, MOUSEEVENTF_LEFTDOWN), Mouse(p, MOUSEEVENTF_LEFTUP)});
}
void Key(WORD vk) { Send(Chord({vk})); }
void Type(const std::string& letters)
{
    for (char c : letters)
        Key(static_cast<WORD>(VkKeyScanW(static_cast<wchar_t>(c)) & 0xFF));
}

// Presses at from, moves to to in steps (past the drag distance at once)
// and releases there.
void Drag(POINT from, POINT to)
{
    std::vector<INPUT> v = {Mouse(from, 0), Mouse(from, 0), Mouse(from, MOUSEEVENTF_LEFTDOWN)};
    for (int i = 1; i <= 6; ++i)
        v.push_back(Mouse(POINT{from.x + (to.x - from.x) * i / 6, from.y + (to.y - from.y) * i / 6}, 0));
    v.push_back(Mouse(to, 0));
    v.push_back(Mouse(to, MOUSEEVENTF_LEFTUP));
    Send(v);
}

// The screen point at (x, y) of a control's client area.
POINT At(const TControl* c, int x, int y) { return c->ClientToScreen(POINT{x, y}); }
POINT Middle(const TControl* c) { return At(c, c->Width() / 2, c->Height() / 2); }

// Shows the form modally while script plays its input on a helper thread
// and returns ShowModal's result (or show's, which shows it). A form still
// open 10 s after the script is closed and -1 returned (a box left on it
// answered first, its text in the failure): a failing step never hangs the
// test, nor passes for a close by the script.
int RunModal(TForm& form, std::function<void()> script, std::function<int()> show = {})
{
    HWND h = form.Handle();
    std::atomic<bool> forced{false};
    std::string leftOpen;
    std::thread player([h, script, &forced, &leftOpen] {
        if (!WaitUntil([h] { return TakesTheKeyboard(h); }, 20000) || !ModifiersSettled(h))
            leftOpen = "the form never came up with the keyboard; ";
        else
            script();
        const DWORD start = GetTickCount();
        while (IsWindowVisible(h) && GetTickCount() - start < 40000) {
            if (HWND box = FindProcessDialog(); box && box != h) {
                leftOpen += "a box left open: \"" + WindowText(GetDlgItem(box, 0xFFFF)) + "\"; ";
                PressDialogButton(box, IDCANCEL);
                PressDialogButton(box, IDOK);
                WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
            } else if (GetTickCount() - start >= 10000 && !forced) {
                forced = true;
                PostMessageW(h, WM_CLOSE, 0, 0);
            }
            Sleep(10);
        }
    });
    int result = show ? show() : form.ShowModal();
    player.join();
    EXPECT_EQ(leftOpen, "") << "the test had to close what it left open";
    return forced || !leftOpen.empty() ? -1 : result;
}

// For the script's thread: waits up to 20 s for what the next step needs;
// a wait that runs out is a failure naming what it waited for.
template <class Pred>
bool Await(const char* what, Pred pred)
{
    if (WaitUntil(pred, 20000))
        return true;
    ADD_FAILURE() << "waited 20 s for " << what;
    return false;
}

// The window of that thread holding the keyboard focus.
HWND FocusOf(HWND window)
{
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) ? gui.hwndFocus : nullptr;
}

// The window's thread has handled what came before (it answers), and the
// window has nothing left to paint: its pixels are final.
bool Painted(HWND window)
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer) &&
           !GetUpdateRect(window, nullptr, FALSE);
}

// The file's size, 0 while it does not exist (a recorder writes it).
size_t SizeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExW(Utf8ToWide(path).c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

// Whether a process of that program (file name) runs.
bool Running(const wchar_t* program)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snap, &entry); more && !found; more = Process32NextW(snap, &entry))
        found = _wcsicmp(entry.szExeFile, program) == 0;
    CloseHandle(snap);
    return found;
}

int ClientWidthOf(HWND window)
{
    RECT r{};
    GetClientRect(window, &r);
    return r.right - r.left;
}

// A real list header with five columns A..E; C hidden.
struct Header {
    Header() : host(nullptr), tree(new TVirtualStringTree(&host))
    {
        tree->SetParent(&host);
        for (const char* text : {"A", "B", "C", "D", "E"})
            Cols().Add()->SetText(text);
        Cols()[2]->SetOptions(Cols()[2]->Options() & ~coVisible);
    }
    TVirtualTreeColumns& Cols() { return tree->Header().Columns(); }
    // Texts in display order, hidden ones in brackets.
    std::string Shown()
    {
        std::string s;
        for (TColumnIndex i : Cols().PositionToIndex())
            s += Cols()[i]->Visible() ? Cols()[i]->Text() : "(" + Cols()[i]->Text() + ")";
        return s;
    }
    TForm host;
    TVirtualStringTree* tree;
};

std::string BesideExe(const std::string& name)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string p = WideToUtf8(self);
    return p.substr(0, p.find_last_of('\\') + 1) + name;
}

// Points the shell's "open" command of a protocol at a recorder.
class OpenCommand {
public:
    OpenCommand(const std::string& protocol, const std::string& command) : key_(protocol + "\\shell\\open\\command")
    {
        std::wstring cmd = Utf8ToWide(command);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, Utf8ToWide(key_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(cmd.c_str()),
                       static_cast<DWORD>((cmd.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    ~OpenCommand() { RegDeleteKeyW(HKEY_CLASSES_ROOT, Utf8ToWide(key_).c_str()); }

private:
    std::string key_;
};

}  // namespace

TEST(ColumnDialog, TicksAndDragsChangeTheHeaderOnlyOnOk)
{
    ASSERT_TRUE(HaveDisplay());
    LoadEnglish();
    TSetColumnForm& form = SetColumnForm();
    TCheckListBox* list = form.clbColumns;
    auto row = [&](int i, int x) {
        RECT r = list->ItemRect(i);
        return At(list, x, (r.top + r.bottom) / 2);
    };
    auto box = [&](int i) { return row(i, 8); };
    auto text = [&](int i) { return row(i, 60); };
    auto execute = [&](Header& h) { return [&] { return form.Execute(h.Cols()) ? mrOk : mrCancel; }; };
    form.HandleNeeded();
    EXPECT_EQ(form.Caption(), "Columns");
    EXPECT_EQ(form.CancelButton->Caption(), "Cancel");

    // Lines come in the header's display order; unticking, a tick and a
    // drag are all forgotten on Cancel (and on Esc).
    struct Case {
        const char* name;
        std::function<void()> close;
        int result;
    };
    for (const Case& c : {Case{"Cancel", [&] { Click(Middle(form.CancelButton)); }, mrCancel},
                          Case{"Esc", [&] { Key(VK_ESCAPE); }, mrCancel}}) {
        SCOPED_TRACE(c.name);
        Header h;
        h.Cols()[3]->SetPosition(0);
        form.LoadColumns(h.Cols());
        ASSERT_EQ(list->Count(), 5);
        EXPECT_EQ(list->Item(0), "D");
        EXPECT_FALSE(list->Checked(3));   // C
        int r = RunModal(form, [&] {
            Click(box(1));             // A off
            Click(box(3));             // C on
            Drag(text(4), text(1));    // E onto A
            c.close();
        }, execute(h));
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(list->Item(1), "E");   // the dialog did move it
        EXPECT_FALSE(list->Checked(2));
        EXPECT_EQ(h.Shown(), "DAB(C)E");
    }

    // Drops onto the empty space below the last line and onto the dragged
    // line itself are refused; OK then changes nothing.
    {
        Header h;
        form.LoadColumns(h.Cols());
        RECT last = list->ItemRect(4);
        POINT below = At(list, 60, last.bottom + 10);
        ASSERT_LT(last.bottom + 10, list->ClientRect().bottom);
        int r = RunModal(form, [&] {
            Drag(text(1), below);
            Drag(text(2), At(list, 60, list->ItemRect(2).top + 2));
            Key(VK_RETURN);
        }, execute(h));
        EXPECT_EQ(r, mrOk);
        EXPECT_EQ(list->Item(1), "B");
        EXPECT_EQ(h.Shown(), "AB(C)DE");
    }

    // OK: each column takes its line's place and shows when ticked.
    {
        Header h;
        form.LoadColumns(h.Cols());
        int r = RunModal(form, [&] {
            Click(box(0));            // A off
            Click(text(2));           // select C, then Space ticks it
            Key(VK_SPACE);
            Drag(text(4), text(1));   // E onto B: A E B C D
            Drag(text(0), text(3));   // A onto C: E B C A D
            Click(Middle(form.OkButton));
        }, execute(h));
        EXPECT_EQ(r, mrOk);
        EXPECT_EQ(h.Shown(), "EBC(A)D");
        EXPECT_EQ(h.Cols()[0]->Position(), 3);
        EXPECT_EQ(h.Cols()[4]->Position(), 0);
    }

    // One column always stays: unticking the last ticked line (by the box
    // or by Space) is refused.
    for (bool space : {false, true}) {
        SCOPED_TRACE(space ? "Space" : "box");
        Header h;
        form.LoadColumns(h.Cols());
        int r = RunModal(form, [&] {
            for (int i : {0, 1, 3, 4}) {
                Click(space ? text(i) : box(i));
                if (space)
                    Key(VK_SPACE);
            }
            Click(Middle(form.OkButton));
        }, execute(h));
        EXPECT_EQ(r, mrOk);
        EXPECT_EQ(h.Shown(), "(A)(B)(C)(D)E");
    }
}

TEST(AddDirDialog, TypedFolderGetsItsBackslashAndTheButtonsClose)
{
    ASSERT_TRUE(HaveDisplay());
    LoadEnglish();
    TAddDirForm& form = AddDirForm();
    form.HandleNeeded();
    // A fresh dialog offers the program's folder; the edit has its browse button.
    EXPECT_EQ(form.Folder(), BesideExe(""));
    ASSERT_NE(form.DirectoryEdit1->Button(), nullptr);
    EXPECT_TRUE(form.DirectoryEdit1->Button()->Visible());
    EXPECT_GT(form.DirectoryEdit1->Button()->Width(), 10);
    EXPECT_EQ(form.Label1->Caption(), "&Folder:");
    EXPECT_EQ(form.Label4->Caption(), "(" + sCompConfigHint + ")");
    EXPECT_EQ(form.DirectoryEdit1->DialogText, sSelectFolder);

    // The language's "not defined" shows as an empty box; a set folder
    // gets its backslash too.
    form.SetConfigText(sConfigNotDefined);
    EXPECT_EQ(form.ConfigText(), "");
    form.SetConfigText("P4 3 GHz");
    EXPECT_EQ(form.ConfigText(), "P4 3 GHz");
    form.SetFolder("D:\\fah");
    EXPECT_EQ(form.DirectoryEdit1->Text(), "D:\\fah\\");

    // The program's other windows are disabled while the dialog runs, and
    // the one that was active gets the activation back.
    TForm main(nullptr);
    main.SetBounds(20, 20, 200, 100);
    main.Show();
    ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == main.Handle(); }, 20000))
        << "waited 20 s for the shown window to be the active one";
    bool mainEnabled = true;
    form.SetFolder("C:\\");
    int r = RunModal(form, [&] {
        mainEnabled = IsWindowEnabled(main.Handle()) != FALSE;
        Key(VK_END);   // the keyboard starts in the folder edit
        Type("data");
        Click(At(form.AliasEdit, 10, 10));
        Type("box");
        Click(At(form.HintCheckBox, 6, 8));
        Key(VK_RETURN);
    });
    EXPECT_EQ(r, mrOk);
    EXPECT_EQ(form.DirectoryEdit1->Text(), "C:\\data");
    EXPECT_EQ(form.Folder(), "C:\\data\\");
    EXPECT_EQ(form.Alias(), "box");
    EXPECT_TRUE(form.ShowInHint());
    EXPECT_FALSE(mainEnabled);
    EXPECT_TRUE(IsWindowEnabled(main.Handle()));
    EXPECT_EQ(GetActiveWindow(), main.Handle());
    main.Hide();

    struct Case {
        const char* name;
        std::function<void()> close;
        int result;
    };
    for (const Case& c : {Case{"Cancel", [&] { Click(Middle(form.CancelButton)); }, mrCancel},
                          Case{"Esc", [&] { Key(VK_ESCAPE); }, mrCancel},
                          Case{"Alt+F4", [&] { Send(Chord({VK_MENU, VK_F4})); }, mrCancel},
                          Case{"OK", [&] { Click(Middle(form.OkButton)); }, mrOk}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RunModal(form, [&] { c.close(); }), c.result);
        EXPECT_FALSE(IsWindowVisible(form.Handle()));
    }
}

TEST(AddDirDialog, TheBrowseButtonStaysWhenTheFolderEditLosesTheKeyboard)
{
    ASSERT_TRUE(HaveDisplay());
    LoadEnglish();
    TAddDirForm& form = AddDirForm();
    form.SetFolder("D:");
    HWND button = form.DirectoryEdit1->Button()->Parent()->Handle();
    // The button's pixels on the screen.
    auto pixels = [button] {
        RECT r;
        GetWindowRect(button, &r);
        std::vector<COLORREF> out;
        HDC dc = GetDC(nullptr);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                out.push_back(GetPixel(dc, x, y));
        ReleaseDC(nullptr, dc);
        return out;
    };
    std::vector<COLORREF> typing, afterTab, back;
    const HWND edit = form.DirectoryEdit1->Handle();
    auto inEdit = [edit] {
        const HWND focus = FocusOf(edit);
        return focus && (focus == edit || IsChild(edit, focus));
    };
    int r = RunModal(form, [&] {
        Send(MouseMoveTo(POINT{5, 5}));
        Key(VK_END);
        Send(TypedText(L"\\fah\\client 1"));
        Await("the typed folder in the edit, its button painted",
              [&] { return WindowText(edit) == "D:\\fah\\client 1" && Painted(button); });
        typing = pixels();
        Key(VK_TAB);
        Await("the keyboard on the next box, the button painted", [&] { return !inEdit() && Painted(button); });
        afterTab = pixels();
        Send(Chord({VK_SHIFT, VK_TAB}));
        Await("the keyboard back in the edit, the button painted", [&] { return inEdit() && Painted(button); });
        back = pixels();
        Key(VK_ESCAPE);
    });
    EXPECT_EQ(r, mrCancel);
    EXPECT_EQ(form.DirectoryEdit1->Text(), "D:\\fah\\client 1");
    // The folder picture is there while typing, and stays when the keyboard
    // goes to the next box and comes back.
    COLORREF face = GetSysColor(COLOR_BTNFACE), white = RGB(255, 255, 255);
    EXPECT_GT(std::count_if(typing.begin(), typing.end(), [&](COLORREF c) { return c != face && c != white; }), 20);
    EXPECT_TRUE(afterTab == typing);
    EXPECT_TRUE(back == typing);
}

TEST(AboutBox, PictureToggleLinksAndClosing)
{
    ASSERT_TRUE(HaveDisplay());
    LoadEnglish();
    TAboutForm& form = AboutForm();
    form.HandleNeeded();
    // The picture comes from the "Avat" resource: 96 x 64, a vertical
    // gradient from blue to white.
    ASSERT_EQ(form.Picture().Width(), 96);
    ASSERT_EQ(form.Picture().Height(), 64);
    COLORREF top = form.Picture().Pixel(10, 0), bottom = form.Picture().Pixel(10, 63);
    EXPECT_GT(GetBValue(top), 170);
    EXPECT_LT(GetRValue(top), 60);
    EXPECT_GT(GetRValue(bottom), 240);
    EXPECT_TRUE(form.Image1->ShowsIcon());
    EXPECT_EQ(form.TitLabel->Caption(), "Brenix");
    EXPECT_EQ(form.VerLabel->Caption(), "version 1.5.0.0");

    TempDir dir("about");
    std::string web = dir.File("web.txt"), mail = dir.File("mail.txt");
    OpenCommand http("http", "\"" + BesideExe("..\\controls_edit\\controls_link_recorder.exe") + "\" \"" + web + "\" \"%1\"");
    OpenCommand mailto("mailto", "\"" + BesideExe("dialogs_cmdline_recorder.exe") + "\" \"" + mail + "\" %1");
    int width = FormClientWidth(form);
    COLORREF hot = 0, cold = 0;
    // The shell's programs take the foreground from the box; once the user
    // is back on it (a click on its caption), Space closes it.
    RECT frame;
    GetWindowRect(form.Handle(), &frame);
    POINT caption = {frame.left + 60, frame.top + GetSystemMetrics(SM_CYCAPTION) / 2 + 2};
    const HWND box = form.Handle();
    int r = RunModal(form, [&] {
        DoubleClick(Middle(form.Image1));
        Await("the box widened for the picture", [&] { return ClientWidthOf(box) == width + 70; });
        Click(Middle(form.RxLabel2));
        Click(Middle(form.RxLabel3));
        Await("both web addresses opened", [&] { return SizeOf(web) >= 55; });
        Await("the label lit under the pointer", [&] { return form.RxLabel3->Font().Color() == 0x0080FFu; });
        hot = form.RxLabel3->Font().Color();
        Send(MouseMoveTo(At(&form, 5, 5)));
        Await("the label's own colour once the pointer left", [&] { return form.RxLabel3->Font().Color() == 0xFF0000u; });
        cold = form.RxLabel3->Font().Color();
        Click(Middle(form.RxLabel1));
        Await("the mail address opened", [&] { return SizeOf(mail) > 0; });
        // The recorders (console programs, each with Wine's console host)
        // take the foreground while they start and end: once they are gone,
        // the user clicks the caption until the box has it.
        Await("the recorders ended", [] {
            return !Running(L"dialogs_cmdline_recorder.exe") && !Running(L"controls_link_recorder.exe") &&
                   !Running(L"conhost.exe");
        });
        Await("the box back in the foreground with the keyboard", [&] {
            if (TakesTheKeyboard(box))
                return true;
            if (GetForegroundWindow() != box)
                Click(caption);
            return false;
        });
        Key(VK_SPACE);
    });
    EXPECT_EQ(r, mrOk);
    EXPECT_TRUE(form.PictureShown());
    EXPECT_TRUE(form.Image1->ShowsBitmap());
    EXPECT_EQ(form.Image1->Width(), 96);
    EXPECT_EQ(form.Image1->Height(), 64);
    EXPECT_EQ(FormClientWidth(form), width + 70);
    EXPECT_EQ(hot, 0x0080FFu);
    EXPECT_EQ(cold, 0xFF0000u);
    PumpUntil([&] { return ReadFile(web).size() >= 55 && !ReadFile(mail).empty(); }, 10000);
    EXPECT_EQ(ReadFile(web), std::string(kCommunityURL) + "\n" + kProgramURL + "\n");
    EXPECT_EQ(ReadFile(mail), "mailto:\"brenix@zembrik.net\"?subject=\"Brenix version 1.5.0.0\"\n");

    // Back to the icon; a click on the box (not on a label or the picture),
    // Enter and Esc close it too.
    r = RunModal(form, [&] {
        DoubleClick(Middle(form.Image1));
        Await("the box narrowed back to the icon", [&] { return ClientWidthOf(box) == width; });
        Click(At(&form, FormClientWidth(form) - 5, FormClientHeight(form) / 2));
    });
    EXPECT_EQ(r, mrOk);
    EXPECT_FALSE(form.PictureShown());
    EXPECT_EQ(form.Image1->Width(), 32);
    EXPECT_EQ(FormClientWidth(form), width);
    for (WORD key : {VK_RETURN, VK_ESCAPE}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(RunModal(form, [&] { Key(key); }), mrOk);
    }
}

// In each language the dialogs show every text whole (drawn in its control's
// font, it fits the control and the box) and in that language, and their
// labels and boxes have access keys of their own; with real keys Alt and a
// label's letter moves to its box.
TEST(Dialogs, EveryTextAndAccessKeyInEachLanguage)
{
    ASSERT_TRUE(HaveDisplay());
    for (const char* table : {"LANG_UA", "LANG_RU", "LANG_EN"}) {
        SCOPED_TRACE(table);
        LoadLanguageResource(table);
        LoadLangGlobals();
        ReloadLanguage();
        for (TForm* form : std::initializer_list<TForm*>{&AboutForm(), &AddDirForm(), &SetColumnForm()}) {
            form->Show();
            Pump(30);
            std::vector<std::string> problems = UnfitCaptions(*form);
            for (const std::string& p : AccessKeyProblems(AccessKeyCaptions(*form)))
                problems.push_back(p);
            for (const std::string& problem : problems)
                ADD_FAILURE() << form->Name() << ": " << problem;
            form->Hide();
        }
        EXPECT_EQ(AccessKeyCaptions(AddDirForm()).size(), 5u);
        EXPECT_EQ(AboutForm().Label2->Caption(), sJpegNotice);
    }
    EXPECT_NE(sJpegNotice.find("Independent JPEG Group"), std::string::npos);

    TAddDirForm& form = AddDirForm();
    form.SetAlias("");
    form.SetShowInHint(false);
    int r = RunModal(form, [&] {
        Send(AltChar(AccessKeyOf(form.Label2->Caption())));
        Type("box");
        Send(AltChar(AccessKeyOf(form.HintCheckBox->Caption())));
        Key(VK_RETURN);
    });
    EXPECT_EQ(r, mrOk);
    EXPECT_EQ(form.Alias(), "box");
    EXPECT_TRUE(form.ShowInHint());
}

// The input box's Cancel button speaks the user's language too.
TEST(Dialogs, InputBoxCancelIsInTheLanguage)
{
    ASSERT_TRUE(HaveDisplay());
    LoadLanguageResource("LANG_RU");
    LoadLangGlobals();
    std::wstring texts;
    const std::wstring cancel = Utf8ToWide(sCancel) + L"|";
    std::thread reader([&texts, &cancel] {
        // The box is found as soon as it exists; its buttons come a moment
        // later: read them again until Cancel is there (or 10 s are gone).
        HWND box = nullptr;
        for (int i = 0; i < 1000; ++i) {
            if (!box)
                box = FindWindowW(nullptr, L"Input test");
            if (box) {
                texts.clear();
                for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                    wchar_t text[64] = {};
                    GetWindowTextW(c, text, 64);
                    texts += std::wstring(text) + L"|";
                }
                if (texts.find(cancel) != std::wstring::npos)
                    break;
            }
            Sleep(10);
        }
        PostMessageW(box, WM_CLOSE, 0, 0);
    });
    std::string value = "x";
    EXPECT_FALSE(InputQuery("Input test", sInputString, value));
    reader.join();
    EXPECT_NE(texts.find(cancel), std::wstring::npos) << WideToUtf8(texts);
    LoadEnglish();
}
