// The file and folder edits with their real dialogs, driven with real keys
// and clicks; the dialogs are read and closed from a helper thread.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "controls/ComboEdits.h"
#include "controls/FileUtils.h"
#include "platform/FileUtil.h"
#include "platform/Form.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"
#include "support/Input.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// The file edit with its dialog replaced by a recorder.
class RecordingFilenameEdit : public TFilenameEdit {
public:
    using TFilenameEdit::TFilenameEdit;
    int shown = 0;
    std::string initialDirSeen, fileNameSeen;
    bool answer = false;
    std::string chosen;

protected:
    bool ExecuteDialog() override
    {
        ++shown;
        initialDirSeen = Dialog().InitialDir;
        fileNameSeen = Dialog().FileName;
        if (answer)
            Dialog().FileName = chosen;
        return answer;
    }
};

template <class Edit>
class EditForm : public TForm {
public:
    EditForm() : TForm(nullptr)
    {
        SetCaption("Edit test");
        SetBounds(600, 500, 420, 160);
        edit = new Edit(this);
        edit->SetBounds(10, 10, 300, 21);
        edit->SetParent(this);
        next = new TEdit(this);
        next->SetBounds(10, 50, 100, 21);
        next->SetParent(this);
        edit->OnChange = [this](TObject*) { ++changes; };
    }
    Edit* edit;
    TEdit* next;
    int changes = 0;
};

template <class F>
void ShowFocused(F& form)
{
    form.Show();
    UpdateWindow(form.Handle());
    SetForegroundWindow(form.Handle());
    form.edit->SetFocus();
    Pump(50);
}

BOOL CALLBACK FindTreeProc(HWND child, LPARAM param)
{
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    if (lstrcmpiW(cls, WC_TREEVIEWW) == 0) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

// The text of the folder browser's selected tree item.
std::string SelectedTreeText(HWND dialog)
{
    HWND tree = nullptr;
    EnumChildWindows(dialog, FindTreeProc, reinterpret_cast<LPARAM>(&tree));
    if (!tree)
        return "<no tree>";
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    wchar_t text[260] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = 260;
    if (!item || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)))
        return "<none>";
    return WideToUtf8(text);
}

void ParkMouse() { SetCursorPos(1270, 1010); }

// Records the folders the folder browser is asked to select (sent on this
// thread by the dialog component).
std::vector<std::string> g_selectionsAsked;

LRESULT CALLBACK RecordSelection(int code, WPARAM wParam, LPARAM lParam)
{
    auto* cwp = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && cwp->message == BFFM_SETSELECTIONW && cwp->wParam)
        g_selectionsAsked.push_back(WideToUtf8(reinterpret_cast<const wchar_t*>(cwp->lParam)));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class SelectionRecorder {
public:
    SelectionRecorder()
    {
        g_selectionsAsked.clear();
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, RecordSelection, nullptr, GetCurrentThreadId());
    }
    ~SelectionRecorder() { UnhookWindowsHookEx(hook_); }

private:
    HHOOK hook_;
};

}  // namespace

TEST(FilenameEdit, ANameWithABlankIsShownQuotedAndReadBackPlain)
{
    TFilenameEdit edit(nullptr);
    edit.SetFileName("C:\\Pictures\\my back.bmp");
    EXPECT_EQ(edit.Text(), "\"C:\\Pictures\\my back.bmp\"");
    EXPECT_EQ(edit.FileName(), "C:\\Pictures\\my back.bmp");
    edit.SetFileName("C:\\plain.bmp");
    EXPECT_EQ(edit.Text(), "C:\\plain.bmp");
    // A quoted value is not quoted twice.
    edit.SetFileName("\"C:\\a b\\c.bmp\"");
    EXPECT_EQ(edit.Text(), "\"C:\\a b\\c.bmp\"");
    edit.SetFileName("");
    EXPECT_EQ(edit.Text(), "");
    // An existing file with a quote-looking name is read as it is.
    EXPECT_EQ(UnquoteFileName("\"x y\""), "x y");
}

TEST(FilenameEdit, AnInvalidNameIsRefusedAndTheTextStays)
{
    ASSERT_TRUE(HaveDisplay());
    EditForm<TFilenameEdit> form;
    form.edit->SetFileName("C:\\keep.bmp");
    form.Show();
    int changes = form.changes;
    try {
        form.edit->SetFileName("a|b");
        FAIL() << "no error";
    } catch (const EComboEditError& e) {
        EXPECT_STREQ(e.what(), "Invalid file name - a|b");
    }
    EXPECT_THROW(form.edit->SetFileName("x<y"), EComboEditError);
    EXPECT_EQ(form.edit->Text(), "C:\\keep.bmp");
    EXPECT_EQ(form.changes, changes);
}

TEST(FilenameEdit, AltDownOpensTheRealDialogAndCancelKeepsTheText)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("fedit");
    WriteFile(dir.File("old one.bmp"), "BM");
    EditForm<TFilenameEdit> form;
    form.edit->SetDialogKind(TFileDialogKind::dkOpenPicture);
    form.edit->SetDefaultExt("bmp");
    form.edit->SetDialogTitle("Background picture");
    form.edit->SetFileName(dir.File("old one.bmp"));
    ShowFocused(form);
    const int changes = form.changes;
    const std::string text = form.edit->Text();

    std::string title, folder, fileName;
    DialogDriver driver([&](HWND d) {
        title = WindowText(d);
        folder = FileDialogFolder(d);
        fileName = FileDialogFileName(d);
        PressDialogButton(d, IDCANCEL);
    });
    std::thread keys = SendInputLater(Chord({VK_MENU, VK_DOWN}), 100);
    EXPECT_TRUE(PumpUntil([&] { return driver.Acted(); }, 15000));
    keys.join();
    Pump(100);
    EXPECT_FALSE(driver.CancelledLeftOver());
    EXPECT_EQ(title, "Background picture");
    EXPECT_TRUE(SameText(folder + "\\", dir.Path())) << folder;
    EXPECT_EQ(fileName, "old one.bmp");
    EXPECT_EQ(form.edit->Text(), text);
    EXPECT_EQ(form.changes, changes);
    EXPECT_TRUE(form.edit->Focused());
}

TEST(FilenameEdit, ChoosingInTheRealDialogSetsTheQuotedNameAndTheFolder)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("fedit");
    WriteFile(dir.File("new pic.bmp"), "BM");
    EditForm<TFilenameEdit> form;
    form.edit->SetFilter("Bitmaps (*.bmp)|*.bmp|All files|*.*");
    form.edit->SetInitialDir(dir.Path());
    ShowFocused(form);
    std::string beforeName = "unset";
    form.edit->OnBeforeDialog = [&](TObject*, std::string& name, bool&) { beforeName = name; };
    DialogDriver driver([&](HWND d) {
        SetFileDialogName(d, "new pic.bmp");
        PressDialogButton(d, IDOK);
    });
    // A real click on the button.
    POINT p = form.edit->Button()->ClientToScreen(POINT{8, 8});
    std::thread click = SendInputLater(MouseClickAt(p), 100);
    EXPECT_TRUE(PumpUntil([&] { return driver.Acted() && !FindProcessDialog(); }, 15000));
    click.join();
    Pump(100);
    ParkMouse();
    EXPECT_EQ(beforeName, "");
    EXPECT_EQ(form.edit->Text(), "\"" + dir.File("new pic.bmp") + "\"");
    EXPECT_TRUE(SameText(form.edit->FileName(), dir.File("new pic.bmp")));
    EXPECT_EQ(form.changes, 1);
    EXPECT_TRUE(SameText(form.edit->InitialDir(), dir.Path()));
}

TEST(FilenameEdit, AFolderThatDoesNotExistLeavesInitialDirAlone)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("fedit");
    EditForm<RecordingFilenameEdit> form;
    form.edit->SetInitialDir(dir.Path());
    form.edit->SetFileName(dir.File("missing folder\\pic.bmp"));
    form.Show();
    // Alt+Down as the window gets it.
    form.edit->Perform(WM_SYSKEYDOWN, VK_DOWN, 1 << 29);
    ASSERT_EQ(form.edit->shown, 1);
    EXPECT_EQ(form.edit->initialDirSeen, dir.Path());
    EXPECT_EQ(form.edit->fileNameSeen, dir.File("missing folder\\pic.bmp"));
    // An existing folder becomes the dialog's start; a name without a file part is dropped.
    form.edit->SetFileName(dir.Path());
    form.edit->Button()->Click();
    EXPECT_EQ(form.edit->fileNameSeen, "");
    // OnAfterDialog may refuse what was chosen.
    form.edit->answer = true;
    form.edit->chosen = dir.File("chosen.bmp");
    form.edit->OnAfterDialog = [](TObject*, std::string&, bool& action) { action = false; };
    const std::string text = form.edit->Text();
    form.edit->Button()->Click();
    EXPECT_EQ(form.edit->Text(), text);
}

TEST(FilenameEdit, TheButtonSitsRightOfTheTextAndKeysStayOutOfIt)
{
    ASSERT_TRUE(HaveDisplay());
    EditForm<TFilenameEdit> form;
    ShowFocused(form);
    // The default glyph is the program's picture; the button is 6 wider.
    ASSERT_FALSE(DefaultFileGlyph().Empty());
    EXPECT_EQ(form.edit->ButtonWidth(), DefaultFileGlyph().Width() + 6);
    RECT text;
    SendMessageW(form.edit->Handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
    RECT client;
    GetClientRect(form.edit->Handle(), &client);
    EXPECT_LE(text.right, client.right - form.edit->ButtonWidth());
    form.edit->SetGlyphKind(TGlyphKind::gkDropDown);
    EXPECT_EQ(form.edit->ButtonWidth(), GetSystemMetrics(SM_CXVSCROLL));
    form.edit->SetButtonWidth(40);
    EXPECT_EQ(form.edit->ButtonWidth(), GetSystemMetrics(SM_CXVSCROLL));
    // Too low for its font: made high enough.
    form.edit->SetHeight(8);
    EXPECT_GT(form.edit->Height(), 15);

    ASSERT_TRUE(SendInputPumping(Chord({'A'})));
    ASSERT_TRUE(SendInputPumping(Chord({VK_RETURN})));
    ASSERT_TRUE(SendInputPumping(Chord({VK_CONTROL, VK_RETURN})));
    EXPECT_EQ(form.edit->Text(), "a");
    EXPECT_TRUE(form.edit->Focused());
    ASSERT_TRUE(SendInputPumping(Chord({VK_TAB})));
    EXPECT_TRUE(form.next->Focused());
    EXPECT_EQ(form.edit->Text(), "a");
    // Read-only: paste is refused.
    form.edit->SetDirectInput(false);
    form.edit->SetFocus();
    form.edit->Perform(WM_PASTE, 0, 0);
    EXPECT_EQ(form.edit->Text(), "a");
}

TEST(DirectoryEdit, TheButtonOpensTheFolderBrowserAtTheTypedFolder)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("dedit");
    const std::string folder = dir.File("Client Folder Seven");
    ASSERT_TRUE(ForceDirectories(folder));
    EditForm<TDirectoryEdit> form;
    form.edit->DialogKind = TDirDialogKind::dkWin32;
    form.edit->DialogText = "Choose the client folder";
    form.edit->SetText(folder);
    ShowFocused(form);
    bool after = false;
    form.edit->OnAfterDialog = [&](TObject*, std::string&, bool& action) { after = action; };

    SelectionRecorder asked;
    std::string selected;
    DialogDriver driver([&](HWND d) {
        // The browser walks down to the folder it was asked for. Now and then
        // Wine's browser stops its first walk at a parent: ask once more.
        std::wstring again = Utf8ToWide(folder);
        for (int i = 0; i < 100 && selected != "Client Folder Seven"; ++i) {
            Sleep(50);
            selected = SelectedTreeText(d);
            if (i == 40 && selected != "Client Folder Seven") {
                DWORD_PTR r = 0;
                SendMessageTimeoutW(d, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(again.c_str()),
                                    SMTO_NORMAL, 5000, &r);
            }
        }
        PressDialogButton(d, IDOK);
    });
    POINT p = form.edit->Button()->ClientToScreen(POINT{8, 8});
    std::thread click = SendInputLater(MouseClickAt(p), 100);
    EXPECT_TRUE(PumpUntil([&] { return driver.Acted() && !FindProcessDialog(); }, 20000));
    click.join();
    Pump(100);
    ParkMouse();
    EXPECT_FALSE(driver.CancelledLeftOver());
    // The browser was opened at the typed folder.
    ASSERT_FALSE(g_selectionsAsked.empty());
    EXPECT_TRUE(SameText(g_selectionsAsked[0], folder)) << g_selectionsAsked[0];
    EXPECT_EQ(selected, "Client Folder Seven");
    EXPECT_TRUE(after);
    EXPECT_TRUE(SameText(form.edit->Text(), folder)) << form.edit->Text();
    EXPECT_TRUE(SameText(form.edit->InitialDir, folder));
}

TEST(DirectoryEdit, AFolderNotMadeYetOpensTheBrowserAtTheNearestOneAboveIt)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("dedit");
    EditForm<TDirectoryEdit> form;
    form.edit->SetText("");
    ShowFocused(form);
    // Typed, with blanks around it: a client folder to be made under the temporary one.
    ASSERT_TRUE(SendInputPumping(TypedText(L" " + Utf8ToWide(dir.Path()) + L"new client\\work ")));
    SelectionRecorder asked;
    {
        DialogDriver driver([&](HWND d) { PressDialogButton(d, IDCANCEL); });
        std::thread keys = SendInputLater(Chord({VK_MENU, VK_DOWN}), 100);
        EXPECT_TRUE(PumpUntil([&] { return driver.Acted() && !FindProcessDialog(); }, 20000));
        keys.join();
    }
    ASSERT_FALSE(g_selectionsAsked.empty());
    EXPECT_TRUE(SameText(IncludeTrailingPathDelimiter(g_selectionsAsked[0]), dir.Path())) << g_selectionsAsked[0];
    EXPECT_EQ(form.edit->Text(), " " + dir.Path() + "new client\\work ");
}

TEST(DirectoryEdit, CancelKeepsTheTextAndMultipleFoldersAreJoined)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("dedit");
    EditForm<TDirectoryEdit> form;
    form.edit->SetText("C:\\nowhere\\at all");
    form.Show();
    int changes = form.changes;
    {
        DialogDriver driver([&](HWND d) { PressDialogButton(d, IDCANCEL); });
        form.edit->Button()->Click();
    }
    EXPECT_EQ(form.edit->Text(), "C:\\nowhere\\at all");
    EXPECT_EQ(form.changes, changes);

    form.edit->MultipleDirs = true;
    form.edit->SetText(dir.Path() + "first");
    std::string seen;
    form.edit->OnBeforeDialog = [&](TObject*, std::string& name, bool&) { seen = name; };
    form.edit->OnAfterDialog = [&](TObject*, std::string& name, bool& action) {
        name = RemoveTrailingBackslash(dir.Path());
        action = true;
    };
    {
        DialogDriver driver([&](HWND d) { PressDialogButton(d, IDCANCEL); });
        form.edit->Button()->Click();
    }
    EXPECT_EQ(seen, dir.Path() + "first");
    EXPECT_EQ(form.edit->Text(), dir.Path() + "first;" + RemoveTrailingBackslash(dir.Path()));
}
