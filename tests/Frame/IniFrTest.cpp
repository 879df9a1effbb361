// The "client.cfg" editor on a real client folder and client object: what a
// save writes and the attributes it leaves (the read-only question answered
// each way, a missing file), a file another process holds (Ctrl+S tells the
// user, nothing is lost), and a refresh of the client being edited.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "Frame/IniFr.h"
#include "platform/Actions.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Form.h"
#include "platform/ImageList.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"
#include "support/Input.h"
#include "support/TestSupport.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBItems.h"
#include "toolbars/TBToolbar.h"
#include "toolbars/TBView.h"

using namespace testing_support;

namespace {

const char kCfg[] = "clientcfg-v623-linux-advanced-defaults-fahwiki-reconstructed.cfg";
// The real file with its second line edited, a line added after it, and
// the empty last line dropped.
const char kEdited[] =
    "[settings]\nusername=Brenix test\nextra=1\nteam=0\npasskey=\nasknet=no\nmachineid=1\n\n"
    "[http]\nactive=no\nhost=localhost\nport=8080\n\n[core]\naddr=\n";

// The tests' stand-in client holds a file open for writing (shared for
// reading only) until it goes.
class FileHolder {
public:
    explicit FileHolder(const std::string& path) : prefix_("bx_inifr_" + std::to_string(GetCurrentProcessId()))
    {
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (prefix_ + "_ready").c_str());
        stop_ = CreateEventA(nullptr, TRUE, FALSE, (prefix_ + "_stop").c_str());
        std::wstring cmd = Utf8ToWide("\"" + ExeFolder() + "..\\core\\core_loghold.exe\" \"" + path + "\" " + prefix_);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            process_ = pi.hProcess;
            HANDLE waits[2] = {ready, process_};
            holding = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
    }
    ~FileHolder()
    {
        SetEvent(stop_);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
        CloseHandle(stop_);
    }
    bool holding = false;

private:
    std::string prefix_;
    HANDLE stop_, process_ = nullptr;
};

class IniFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguageResource("LANG_EN");
        LoadLangGlobals();
        Application().SetTitle("Brenix");
        TFah::SetFileReadPause(0);
        dir = std::make_unique<TempDir>("inifr");
        cfg = dir->File("client.cfg");
        original = ReadFile(RealDataFile(kCfg));
        WriteFile(cfg, original);
        WriteFile(dir->File("FAHlog.txt"), ReadFile(RealDataFile("fahlog-smp-a4-bigadv-running.txt")));
        TFahParams params;
        params.Folder = dir->Path();
        params.StartPolling = false;
        auto fah = std::make_unique<TFah>(params);
        fah->Refresh(true);
        view = std::make_unique<TFahView>(std::move(fah));
        view->Update();

        form = new TForm(nullptr);
        form->SetBounds(60, 60, 560, 380);
        frame = new TIniFrame(form);
        frame->SetParent(form);
        form->Show();
        SetForegroundWindow(form->Handle());
        Pump(50);
        frame->ShowView(view.get());
    }
    void TearDown() override
    {
        delete form;
        SetFileAttributesW(Utf8ToWide(cfg).c_str(), FILE_ATTRIBUTE_NORMAL);
        view.reset();
        dir.reset();
    }
    PVirtualNode Row(int i)
    {
        PVirtualNode n = frame->VSTree->GetFirstChild(nullptr);
        while (n && i-- > 0)
            n = n->NextSibling;
        return n;
    }
    // Edits the second line in place and adds a line after it.
    void Edit()
    {
        frame->VSTree->SetText(Row(1), NoColumn, "username=Brenix test");
        frame->SelectNode(Row(1));
        frame->InsertLine("extra=1");
        ASSERT_TRUE(frame->Modified());
    }
    bool ReadOnly() { return GetFileAttributesW(Utf8ToWide(cfg).c_str()) & FILE_ATTRIBUTE_READONLY; }

    std::unique_ptr<TempDir> dir;
    std::string cfg, original;
    std::unique_ptr<TFahView> view;
    TForm* form = nullptr;
    TIniFrame* frame = nullptr;
};

TEST_F(IniFrameTest, SaveReplacesTheFileAndKeepsItsAttributes)
{
    ASSERT_EQ(frame->LineCount(), 15);
    struct Case {
        const char* name;
        bool readOnly;
        int answer;   // 0: no question expected
        bool written;
        bool missing = false;
    } cases[] = {
        {"plain", false, 0, true},
        {"read-only, Yes", true, IDYES, true},
        {"read-only, No", true, IDNO, false},
        {"read-only, Cancel", true, IDCANCEL, false},
        {"missing: told", false, IDOK, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetFileAttributesW(Utf8ToWide(cfg).c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteFile(cfg, original);
        SetFileAttributesW(Utf8ToWide(cfg).c_str(), c.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        view->SetClientCfgText(original);   // as the client's next poll reads it
        frame->Cancel();
        frame->ShowView(view.get());
        Edit();
        if (c.missing)
            DeleteFileUtf8(cfg);
        std::string title, told;
        {
            DialogDriver driver([&](HWND box) {
                title = WindowText(box);
                told = WindowText(GetDlgItem(box, 0xFFFF));
                PressDialogButton(box, c.answer);
            });
            frame->Save();
        }
        EXPECT_EQ(title, c.missing ? "Brenix. Error" : c.answer ? "Brenix. Confirmation" : "");
        if (c.missing) {
            EXPECT_EQ(told, "The file " + cfg + " is no longer there and is not created again; your changes are kept.");
        }
        EXPECT_EQ(FileExists(cfg), !c.missing);
        if (!c.missing) {
            EXPECT_EQ(ReadFile(cfg), c.written ? kEdited : original);
            EXPECT_EQ(ReadOnly(), c.readOnly);
        }
        EXPECT_EQ(frame->Modified(), !c.written);
        EXPECT_FALSE(FileExists(cfg + ".tmp"));
        // The saved text went to the client object too.
        TLock lock(view->Fah()->CritSection());
        EXPECT_EQ(view->Fah()->ClientCfgLines.Text(), StringReplaceAll(c.written ? kEdited : original, "\n", "\r\n"));
    }
}

TEST_F(IniFrameTest, AFileHeldByAnotherProcessIsToldAndLosesNothing)
{
    FileHolder holder(cfg);
    ASSERT_TRUE(holder.holding);
    Edit();
    frame->VSTree->SetFocus();
    ClearCaughtErrors();
    std::string told;
    {
        DialogDriver driver([&](HWND box) {
            told = WindowText(GetDlgItem(box, 0xFFFF));
            PressDialogButton(box, IDOK);
        });
        ASSERT_TRUE(SendInputPumping(Chord({VK_CONTROL, 'S'}), 300));
        EXPECT_TRUE(PumpUntil([&] { return driver.Acted(); }, 20000));
    }
    EXPECT_EQ(told.rfind(FillIn(sClientCfgNotSaved, {cfg}) + "\r\n\r\n", 0), 0u) << told;
    EXPECT_TRUE(CaughtErrors().empty());
    EXPECT_EQ(ReadFile(cfg), original);
    EXPECT_FALSE(FileExists(cfg + ".tmp"));
    EXPECT_TRUE(frame->Modified());
    EXPECT_EQ(frame->NodeText(Row(2)), "extra=1");
    EXPECT_TRUE(frame->IniSaveAction->Enabled());
}

// In Russian: the read-only question has the language's buttons, and Ctrl+S
// on a file that was moved away says so; nothing is created, the edits stay.
TEST_F(IniFrameTest, TheReadOnlyQuestionAndAMissingFileSpeakTheChosenLanguage)
{
    LoadLanguageResource("LANG_RU");
    LoadLangGlobals();
    Edit();
    frame->VSTree->SetFocus();
    SetFileAttributesW(Utf8ToWide(cfg).c_str(), FILE_ATTRIBUTE_READONLY);
    std::string buttons, told;
    {
        DialogDriver driver([&](HWND box) {
            for (int id : {IDYES, IDNO, IDCANCEL})
                buttons += WindowText(GetDlgItem(box, id)) + "|";
            PressDialogButton(box, IDCANCEL);
        });
        frame->Save();
    }
    EXPECT_EQ(buttons, "&Да|&Нет|Отмена|");
    SetFileAttributesW(Utf8ToWide(cfg).c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(MoveFileW(Utf8ToWide(cfg).c_str(), Utf8ToWide(cfg + ".away").c_str()));
    // The box gave the window back: Ctrl+S goes once it is active again with
    // the keyboard in the list, and Wine has heard of that from the X server
    // (it then sets the modifier keys anew, and a Ctrl sent before is lost).
    SetForegroundWindow(form->Handle());
    frame->VSTree->SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == form->Handle() && frame->VSTree->Focused(); }, 20000))
        << "the window to be active again with the keyboard in the list";
    Pump(250);
    {
        DialogDriver driver([&](HWND box) {
            told = WindowText(GetDlgItem(box, 0xFFFF));
            PressDialogButton(box, IDOK);
        });
        ASSERT_TRUE(SendInputPumping(Chord({VK_CONTROL, 'S'}), 300));
        EXPECT_TRUE(PumpUntil([&] { return driver.Acted(); }, 20000)) << "waited for the box on Ctrl+S";
    }
    LoadLanguageResource("LANG_EN");
    LoadLangGlobals();
    EXPECT_EQ(told, "Файла " + cfg + " больше нет, и он не создаётся заново; ваши изменения сохранены в редакторе.");
    EXPECT_FALSE(FileExists(cfg));
    EXPECT_TRUE(frame->Modified());
    EXPECT_TRUE(frame->IniSaveAction->Enabled());
    EXPECT_EQ(frame->NodeText(Row(2)), "extra=1");
}

// The client's folder is changed (Edit folder) while its client.cfg has
// unsaved edits: they go into the file they were made in, and the client
// of the new folder keeps its own file's text.
TEST_F(IniFrameTest, EditsMadeBeforeTheFolderMovedGoOnlyToTheirOwnFile)
{
    Edit();
    TempDir moved("inifr_moved");
    const std::string other = "[settings]\nusername=moved\n";
    WriteFile(moved.File("client.cfg"), other);
    WriteFile(moved.File("FAHlog.txt"), ReadFile(dir->File("FAHlog.txt")));
    view->Fah()->SetFolder(moved.Path());
    view->Fah()->Refresh(true);
    view->Update();
    frame->ShowView(view.get());   // the refresh after the edit
    EXPECT_TRUE(frame->Modified());
    frame->Save();
    EXPECT_EQ(ReadFile(cfg), kEdited);
    EXPECT_EQ(ReadFile(moved.File("client.cfg")), other);
    EXPECT_FALSE(frame->Modified());
    {
        TLock lock(view->Fah()->CritSection());
        EXPECT_EQ(view->Fah()->ClientCfgLines.Text(), StringReplaceAll(other, "\n", "\r\n"));
    }
    // The editor now shows the new folder's file.
    EXPECT_EQ(frame->FileName(), moved.File("client.cfg"));
    EXPECT_EQ(frame->NodeText(Row(1)), "username=moved");
}

// Dragged by its grip toward the docks of the window around it, the
// toolbar only slides along its own dock.
TEST_F(IniFrameTest, TheToolbarOnlySlidesInItsOwnDock)
{
    // The main window's top, left and right docks.
    TTBDock* docks[3];
    const TTBDockPosition places[3] = {dpTop, dpLeft, dpRight};
    for (int i = 0; i < 3; ++i) {
        docks[i] = new TTBDock(form);
        docks[i]->SetPosition(places[i]);
        docks[i]->SetParent(form);
    }
    Pump(50);
    TTBToolbar* bar = frame->IniTBToolbar;
    ASSERT_EQ(bar->CurrentDock(), frame->IniTBDock);
    auto grip = [&] {
        RECT r;
        GetWindowRect(bar->Handle(), &r);
        return POINT{(r.left + r.right) / 2, r.top + 5};
    };
    auto screen = [](TWinControl* c) {
        RECT r;
        GetWindowRect(c->Handle(), &r);
        return r;
    };
    int top = bar->Top();
    POINT g = grip();
    ASSERT_TRUE(SendInputPumping(MouseDrag({g, POINT{g.x, g.y + 40}}), 100));
    EXPECT_EQ(bar->Top(), top + 40) << "it slides";
    RECT f = screen(form), left = screen(docks[1]), right = screen(docks[2]);
    g = grip();
    ASSERT_TRUE(SendInputPumping(MouseDrag({g, POINT{right.left - 5, (f.top + f.bottom) / 2},
                                            POINT{left.left + 5, (f.top + f.bottom) / 2},
                                            POINT{(f.left + f.right) / 2, screen(docks[0]).top - 5}}),
                                 100));
    EXPECT_EQ(bar->CurrentDock(), frame->IniTBDock);
    EXPECT_EQ(bar->Parent(), frame->IniTBDock);
    for (TTBDock* d : docks)
        EXPECT_TRUE(d->DockList().empty());
}

TEST_F(IniFrameTest, ARefreshOfTheSameClientKeepsTheEdits)
{
    // The line typed into the input box lands after the focused one.
    frame->VSTree->SetText(Row(1), NoColumn, "username=Brenix test");
    frame->SelectNode(Row(1));
    std::vector<INPUT> typing;
    for (WORD key : {WORD('E'), WORD('X'), WORD('T'), WORD('R'), WORD('A'), WORD(VK_OEM_PLUS), WORD('1'),
                     WORD(VK_RETURN)}) {
        typing.push_back(KeyInput(key, false));
        typing.push_back(KeyInput(key, true));
    }
    std::thread typist = SendInputLater(typing, 500);
    frame->AddLine();
    typist.join();
    EXPECT_EQ(frame->NodeText(Row(2)), "extra=1");
    EXPECT_EQ(frame->VSTree->FocusedNode(), Row(2));
    frame->ShowView(view.get());   // what F5 does
    EXPECT_TRUE(frame->Modified());
    EXPECT_EQ(frame->NodeText(Row(1)), "username=Brenix test");
    // An edit still open in its line survives as well.
    frame->Cancel();
    ASSERT_TRUE(frame->VSTree->StartNodeEdit(Row(3), NoColumn));
    ASSERT_TRUE(frame->VSTree->IsEditing());
    frame->ShowView(view.get());
    EXPECT_TRUE(frame->VSTree->IsEditing());
    frame->VSTree->CancelEditNode();
    // Another client is shown as it is; coming back shows the file again.
    TFahView other(nullptr);
    other.ClientCfgText = "[settings]\r\nteam=42\r\n";
    Edit();
    frame->ShowView(&other);
    EXPECT_FALSE(frame->Modified());
    EXPECT_EQ(frame->LineCount(), 2);
    frame->ShowView(view.get());
    EXPECT_EQ(frame->NodeText(Row(1)), "username=Anonymous");
    EXPECT_FALSE(frame->IniSaveAction->Enabled());
}

}  // namespace

// The toolbar down the left side: every action a picture, every button in
// view in English and Russian; a frame too short for them all gives the
// rest behind the chevron.
TEST_F(IniFrameTest, TheToolbarShowsItsButtonsAsPicturesAndAChevronWhenShort)
{
    ASSERT_TRUE(HaveDisplay());
    TTBView* view = frame->IniTBToolbar->View();
    TCustomImageList* images = frame->IniActionList->Images();
    ASSERT_NE(images, nullptr);
    for (TAction* a : {frame->IniAddLineAction, frame->IniDelLineAction, frame->IniSaveAction, frame->IniChancelAction}) {
        EXPECT_GE(a->ImageIndex(), 0) << a->Name();
        EXPECT_LT(a->ImageIndex(), images->Count()) << a->Name();
    }
    auto shown = [&] {
        int n = 0;
        for (int i = 0; i < view->ViewerCount(); ++i) {
            TTBItemViewer* v = view->Viewers(i);
            if (v->Item() == frame->IniTBToolbar->ChevronItem() || !v->Show || v->Clipped)
                continue;
            ++n;
            if (v->Item()->Action()) {
                EXPECT_LE(v->BoundsRect.bottom - v->BoundsRect.top, 24) << v->Item()->Caption();
                EXPECT_LE(v->BoundsRect.right - v->BoundsRect.left, 24) << v->Item()->Caption();
            }
        }
        return n;
    };
    auto chevronShown = [&] {
        TTBItemViewer* c = view->Find(frame->IniTBToolbar->ChevronItem());
        return c && c->Show;
    };
    for (const char* language : {"LANG_RU", "LANG_EN"}) {
        LoadLanguageResource(language);
        LoadLangGlobals();
        frame->ApplyLanguage();
        Pump(50);
        EXPECT_EQ(shown(), 5) << language;   // four buttons and the separator
        EXPECT_FALSE(chevronShown()) << language;
        EXPECT_LE(frame->IniTBToolbar->Height(), frame->Height());
    }
    form->SetBounds(60, 60, 560, 100);
    Pump(100);
    EXPECT_LT(shown(), 5);
    EXPECT_TRUE(chevronShown());
}

// The line editor holds its whole line, when it starts and while the user types.
TEST_F(IniFrameTest, TheLineEditorHoldsItsWholeLine)
{
    ASSERT_TRUE(HaveDisplay());
    TVirtualStringTree* tree = frame->VSTree;
    frame->SelectNode(Row(1));
    tree->SetFocus();
    Pump(50);
    EXPECT_TRUE(SendInputPumping(Chord({VK_F2}), 400));
    ASSERT_TRUE(tree->IsEditing());
    HWND edit = GetFocus();
    // The room the edit gives its text, and the text's width in its font.
    auto room = [&] {
        RECT format = {};
        SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        return format.right - format.left;
    };
    auto textWidth = [&] {
        wchar_t text[512] = {};
        GetWindowTextW(edit, text, 512);
        HDC dc = GetDC(edit);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(edit, WM_GETFONT, 0, 0)));
        SIZE s = {};
        GetTextExtentPoint32W(dc, text, lstrlenW(text), &s);
        SelectObject(dc, old);
        ReleaseDC(edit, dc);
        return static_cast<int>(s.cx);
    };
    EXPECT_GE(room(), textWidth());
    EXPECT_TRUE(SendInputPumping(Chord({VK_END}), 100));
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(SendInputPumping(Chord({'W'}), 60));
    EXPECT_GE(room(), textWidth());
    tree->CancelEditNode();
}
