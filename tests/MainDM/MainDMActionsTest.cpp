// The folder list file, the folder actions, the action captions in the three
// languages and the shortcuts pressed on a real window.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

#include "Classes/Fah.h"
#include "Classes/FahSettings.h"
#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "FolderList.h"
#include "Frame/AddDir.h"
#include "controls/ComboEdits.h"
#include "controls/SimpleTimer.h"
#include "MainDMTestSupport.h"
#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Form.h"
#include "platform/StdCtrls.h"
#include "platform/StringList.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"
#include "support/Input.h"
#include "support/PumpInside.h"
#include "support/TestSupport.h"

using namespace testing_support;
using namespace maindm_test;

namespace {

// The lines of a section of the file, joined by "|".
std::string SectionLines(const std::string& file, const std::string& section)
{
    std::vector<std::string> out;
    bool in = false;
    for (const std::string& line : SplitLines(ReadFile(file))) {
        if (!line.empty() && line[0] == '[')
            in = line == "[" + section + "]";
        else if (in && !line.empty())
            out.push_back(line);
    }
    return Join(out);
}

std::unique_ptr<TFahView> MakeView(const std::string& folder)
{
    TFahParams p;
    p.Folder = folder;
    p.StartPolling = false;
    return std::make_unique<TFahView>(std::make_unique<TFah>(p));
}

// A data module whose list holds the given views; the host's calls are noted.
struct Harness {
    TempDir dir{"dmact"};
    std::vector<std::unique_ptr<TFahView>> views;
    TFahView* selected = nullptr;
    std::string calls;
    std::unique_ptr<TMainDM> dm;

    Harness()
    {
        TMainDMHost host;
        host.SelectedView = [this] { return selected; };
        host.Views = [this] {
            std::vector<TFahView*> out;
            for (auto& v : views)
                out.push_back(v.get());
            return out;
        };
        host.SelectView = [this](TFahView* v) { calls += "select " + v->Fah()->Folder + ";"; };
        host.AddFah = [this](const TFolderEntry& e) { calls += "add " + e.Folder + " " + e.ServiceName + ";"; };
        host.DeleteRow = [this](TFahView* v) { calls += "delete " + v->Fah()->Folder + ";"; };
        host.WorkUnitChange = [this](const std::string& o, const std::string& n) { calls += "wu " + o + ">" + n + ";"; };
        host.ApplyFilters = [this] { calls += "filters;"; };
        host.RefreshAll = [this] { calls += "refresh;"; };
        dm = std::make_unique<TMainDM>(nullptr, host);
        dm->FolderListFile = dir.File("Brenix.ini");
    }
    // Runs an action whose dialog is answered with Enter (OK).
    void RunWithOk(TAction* action)
    {
        std::thread t = SendInputLater(Chord({VK_RETURN}), 700);
        action->Execute();
        t.join();
    }
    // Runs an action whose dialog gets fill() and Enter from a helper thread.
    // told: the text of the box that answered (closed with OK), "" for none;
    // kept: the folder box's text when the dialog then stayed open (it is
    // cancelled), "" when it closed.
    struct Outcome {
        std::string told, kept;
    };
    Outcome RunDialog(TAction* action, const std::function<void()>& fill)
    {
        Outcome o;
        HWND form = AddDirForm().Handle();
        std::thread t([&] {
            if (!WaitUntil([form] { return TakesTheKeyboard(form); }, 20000)) {
                o.told = "the folder dialog never came up with the keyboard";
                PostMessageW(form, WM_CLOSE, 0, 0);
                return;
            }
            fill();
            SendInputPumping(Chord({VK_RETURN}), 0);
            HWND box = nullptr;
            WaitUntil([&] { return (box = FindProcessDialog()) != nullptr || !IsWindowVisible(form); }, 20000);
            if (box) {
                o.told = WindowText(GetDlgItem(box, 0xFFFF));
                PressDialogButton(box, IDOK);
                if (!WaitUntil([box] { return !IsWindow(box); }, 20000))
                    o.told += " (the box would not close)";
            }
            if (IsWindowVisible(form)) {
                o.kept = WindowText(AddDirForm().DirectoryEdit1->Handle());
                PostMessageW(form, WM_CLOSE, 0, 0);
            }
        });
        try {
            action->Execute();
        } catch (const std::exception& e) {
            o.told = std::string("threw: ") + e.what();
        }
        t.join();
        return o;
    }
};

void SetText(TWinControl* edit, const wchar_t* text)
{
    SendMessageW(edit->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// Shows the form, small, with an edit holding the keyboard: the edit, or
// nullptr when it did not get the keyboard within 20 s.
TEdit* ShowWithFocusedEdit(TForm& form)
{
    form.SetBounds(100, 100, 300, 120);
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    form.Show();
    SetForegroundWindow(form.Handle());
    edit->SetFocus();
    return PumpUntil([&] { return GetForegroundWindow() == form.Handle() && edit->Focused(); }, 20000) ? edit
                                                                                                       : nullptr;
}

}  // namespace

TEST(FolderList, SaveRenumbersQuotesOnceAndDeleteMatchesExactly)
{
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    WriteFile(ini, "[FAHDir]\r\nline007=\"C:\\a\\\"\r\nfoo=\"D:\\b\\\"\r\nline009=\"G:\\e\"\r\n"
                   "[D:\\b\\]\r\nAlias=B\r\n[G:\\e]\r\nAlias=E\r\n");
    // A new folder, typed without its backslash, with quotes in its values:
    // every key is renumbered from line000.
    h.dm->SaveFahToIni("E:\\c", " Home ", "P4 \"3\" GHz", "FAH \"svc\"", true);
    EXPECT_EQ(SectionLines(ini, "FAHDir"),
              "line000=\"C:\\a\\\"|line001=\"D:\\b\\\"|line002=\"G:\\e\"|line003=\"E:\\c\\\"");
    const std::string cSection =
        "Alias=\" Home \"|Comp_Config=\"P4 \"\"3\"\" GHz\"|ServiceName=\"FAH \"\"svc\"\"\"|ShowInHint=1";
    EXPECT_EQ(SectionLines(ini, "E:\\c\\"), cSection);
    // Saving again quotes nothing twice.
    h.dm->SaveFahToIni("F:\\d\\", "D", "", "", false);
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"C:\\a\\\"|line001=\"D:\\b\\\"|line002=\"G:\\e\"|"
                                           "line003=\"E:\\c\\\"|line004=\"F:\\d\\\"");
    EXPECT_EQ(SectionLines(ini, "E:\\c\\"), cSection);

    // Loaded back: sorted, quotes as typed, a missing section gives empty values.
    std::vector<TFolderEntry> list = ReadFolderList(ini);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].Folder + list[1].Folder + list[2].Folder + list[3].Folder + list[4].Folder,
              "C:\\a\\D:\\b\\E:\\c\\F:\\d\\G:\\e\\");
    EXPECT_EQ(list[2].Alias, " Home ");
    EXPECT_EQ(list[2].CompConfig, "P4 \"3\" GHz");
    EXPECT_EQ(list[2].ServiceName, "FAH \"svc\"");
    EXPECT_TRUE(list[2].ShowInHint);
    EXPECT_EQ(list[0].Alias + list[0].ServiceName, "");
    EXPECT_FALSE(list[0].ShowInHint);
    EXPECT_EQ(list[4].Alias, "E");

    // Delete compares exactly; the others keep their keys.
    h.dm->DeleteFahFromIni("c:\\a\\");
    h.dm->DeleteFahFromIni("D:\\b");
    h.dm->DeleteFahFromIni("G:\\e\\");
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"C:\\a\\\"|line003=\"E:\\c\\\"|line004=\"F:\\d\\\"");
    EXPECT_EQ(SectionLines(ini, "D:\\b\\"), "");
    EXPECT_EQ(SectionLines(ini, "G:\\e"), "");
    EXPECT_EQ(ReadFolderList(ini).size(), 3u);
}

TEST(FolderList, ANotepadUnicodeFileKeepsItsEncodingAndOneThatCannotBeReadIsNeverOverwritten)
{
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    // Saved by Notepad as "Unicode": UTF-16 with its mark.
    const std::wstring text = L"; Brenix folders\r\n[FAHDir]\r\nline000=\"C:\\\u0414\u043e\u043c\\\"\r\n"
                              L"[C:\\\u0414\u043e\u043c\\]\r\n; under the desk\r\nAlias=box\r\nShowInHint=1\r\n";
    WriteFile(ini, Utf16Bytes(text));
    const std::string dom = "C:\\\xD0\x94\xD0\xBE\xD0\xBC\\";   // "Дом"
    std::vector<TFolderEntry> list = ReadFolderList(ini);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Folder, dom);
    EXPECT_EQ(list[0].Alias, "box");
    EXPECT_TRUE(list[0].ShowInHint);

    // A folder added: the file stays UTF-16 with every name and comment.
    h.dm->SaveFahToIni("D:\\two", "", "", "", false);
    std::string saved = ReadFile(ini);
    ASSERT_EQ(saved.substr(0, 2), "\xFF\xFE");
    std::wstring wide;
    for (size_t i = 2; i + 1 < saved.size(); i += 2)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(saved[i]) | static_cast<unsigned char>(saved[i + 1]) << 8);
    const std::string back = WideToUtf8(wide);
    EXPECT_NE(back.find("; Brenix folders\r\n"), std::string::npos) << back;
    EXPECT_NE(back.find("; under the desk\r\n"), std::string::npos) << back;
    list = ReadFolderList(ini);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Folder + list[1].Folder, dom + "D:\\two\\");
    EXPECT_EQ(list[0].Alias, "box");

    // UTF-16 without its mark: no text this program can read; it is told and never overwritten.
    const std::string bytes = Utf16Bytes(L"[FAHDir]\r\nline000=\"C:\\a\\\"\r\n").substr(2);
    WriteFile(ini, bytes);
    EXPECT_THROW(ReadFolderList(ini), EFileError);
    EXPECT_THROW(h.dm->SaveFahToIni("D:\\two", "", "", "", false), EFileError);
    EXPECT_EQ(ReadFile(ini), bytes);
}

TEST(FolderList, AddEditAndDeleteThroughTheActions)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.dm->SaveFahToIni("C:\\fah\\", "", "", "", false);

    // A folder already listed (in another case) is refused with a word; the
    // dialog keeps it.
    Harness::Outcome o = h.RunDialog(h.dm->AddFahAction, [] { SetText(AddDirForm().DirectoryEdit1, L"c:\\FAH\\"); });
    EXPECT_EQ(o.told, FillIn(sFolderListed, {"c:\\FAH\\"}));
    EXPECT_EQ(o.kept, "c:\\FAH\\");
    EXPECT_EQ(h.calls, "");
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"C:\\fah\\\"");
    o = h.RunDialog(h.dm->AddFahAction, [] { SetText(AddDirForm().DirectoryEdit1, L"D:\\two"); });
    EXPECT_EQ(o.told + o.kept, "");
    EXPECT_EQ(h.calls, "add D:\\two\\ ;filters;");
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"C:\\fah\\\"|line001=\"D:\\two\\\"");

    // Edit: the client and its entry follow the dialog.
    h.selected = h.views[0].get();
    TFah& fah = *h.selected->Fah();
    fah.ServiceName = "svc";
    fah.SetCompConfig("");   // the language's "not defined": shown and stored empty
    h.calls.clear();
    const HWND dialog = AddDirForm().Handle();
    std::thread t([dialog] {
        if (!WaitUntil([dialog] { return TakesTheKeyboard(dialog); }, 20000)) {
            PostMessageW(dialog, WM_CLOSE, 0, 0);   // the checks below fail
            return;
        }
        SendMessageW(AddDirForm().ServiceEdit->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"new \"svc\""));
        SendMessageW(AddDirForm().DirectoryEdit1->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"E:\\moved"));
        SendInputPumping(Chord({VK_RETURN}), 0);
    });
    h.dm->EditFahAction->Execute();
    t.join();
    EXPECT_EQ(fah.Folder, "E:\\moved\\");
    EXPECT_EQ(fah.ServiceName, "new \"svc\"");
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"D:\\two\\\"|line001=\"E:\\moved\\\"");
    EXPECT_EQ(SectionLines(ini, "E:\\moved\\"), "Alias=|Comp_Config=\"\"|ServiceName=\"new \"\"svc\"\"\"|ShowInHint=0");
    EXPECT_EQ(h.calls, "filters;");

    // Delete after Yes: the entry, the row, and the work-unit marks.
    h.selected->ProjectRcgText = "2669 (1-2-3)";
    h.calls.clear();
    std::string asked = AnswerBox([&] { h.dm->DelFahAction->Execute(); }, IDYES);
    EXPECT_EQ(asked, sDeleteMonitoring + " E:\\moved\\ ?");
    EXPECT_EQ(h.calls, "delete E:\\moved\\;wu 2669 (1-2-3)>xxx;filters;");
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"D:\\two\\\"");
}

// The delete question has the chosen language's buttons.
TEST(FolderList, TheDeleteQuestionHasTheLanguagesButtons)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.selected = h.views[0].get();
    const std::pair<int, const char*> cases[] = {{2, "&Да|&Нет|Отмена|"}, {3, "&Так|&Ні|Скасувати|"}, {1, "&Yes|&No|Cancel|"}};
    for (const auto& [language, buttons] : cases) {
        SetLanguage(language);
        EXPECT_EQ(AnswerBoxButtons([&] { h.dm->DelFahAction->Execute(); }, IDNO), buttons) << language;
    }
    EXPECT_EQ(h.calls, "");
}

// A delete confirmed while the selection moved away (the first seconds of a
// long start select the overall row) deletes the folder that was confirmed.
TEST(FolderList, AConfirmedDeleteDeletesTheFolderConfirmedWhereverTheSelectionWent)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.views.push_back(MakeView("D:\\two\\"));
    h.dm->SaveFahToIni("D:\\two\\", "", "", "", false);
    const struct {
        const char* name;
        int other;   // the view selected while the box shows (-1: a totals row)
    } table[] = {{"totals row", -1}, {"another client", 1}};
    for (const auto& row : table) {
        h.selected = h.views[0].get();
        h.calls.clear();
        h.dm->SaveFahToIni("C:\\fah\\", "", "", "", false);
        {
            DialogDriver driver([&](HWND box) {
                h.selected = row.other < 0 ? nullptr : h.views[static_cast<size_t>(row.other)].get();
                PressDialogButton(box, IDYES);
            });
            h.dm->DelFahAction->Execute();
        }
        EXPECT_EQ(h.calls, "delete C:\\fah\\;wu >xxx;filters;") << row.name;
        const std::string listed = SectionLines(ini, "FAHDir");
        EXPECT_EQ(listed.find("C:\\fah\\"), std::string::npos) << row.name << ": " << listed;
        EXPECT_NE(listed.find("D:\\two\\"), std::string::npos) << row.name << ": " << listed;
    }
}

// The Delete keys going up that this thread took from its queue, in
// whichever loop it was running then.
std::atomic<int> deleteUpsTaken{0};
LRESULT CALLBACK CountDeleteUps(int code, WPARAM wp, LPARAM lp)
{
    if (code == HC_ACTION && wp == VK_DELETE && (lp & 0x80000000))
        ++deleteUpsTaken;
    return CallNextHookEx(nullptr, code, wp, lp);
}

// Ctrl+Del typed right after Edit folder's OK never runs inside the edit:
// queued behind the OK it is refused by the dialog's own loop or, when it
// arrives once the dialog closed, waits like one typed after it; typed after
// the dialog closed it waits for the edit's pause for the client's next poll,
// which handles no keys, and then asks.
TEST(FolderList, ADeleteTypedRightAfterEditsOkNeverRunsInsideTheEdit)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.selected = h.views[0].get();
    bool editing = false, deletedInEdit = false;
    const auto noteDelete = h.dm->Host.DeleteRow;
    h.dm->Host.DeleteRow = [&, noteDelete](TFahView* v) {
        deletedInEdit = deletedInEdit || editing;
        noteDelete(v);
    };
    TForm form(nullptr);
    form.SetBounds(100, 100, 300, 120);
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    form.Show();
    // The dialog's window is made here: windows belong to the test's thread.
    const HWND dialog = AddDirForm().Handle();
    const std::unique_ptr<std::remove_pointer_t<HHOOK>, decltype(&UnhookWindowsHookEx)> hook(
        SetWindowsHookExW(WH_KEYBOARD, CountDeleteUps, nullptr, GetCurrentThreadId()), &UnhookWindowsHookEx);
    ASSERT_TRUE(hook);
    const struct {
        const char* name;
        bool withTheOk;   // sent with the OK's Enter, else once the dialog closed
    } table[] = {
        {"queued behind the OK", true},
        {"typed in the edit's pause", false},
    };
    for (const auto& row : table) {
        h.dm->SaveFahToIni("C:\\fah\\", "", "", "", false);
        SetForegroundWindow(form.Handle());
        edit->SetFocus();
        ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == form.Handle() && edit->Focused(); }, 20000))
            << row.name << ": the test's form never took the keyboard";
        h.calls.clear();
        const int upsBefore = deleteUpsTaken;
        std::atomic<bool> settled{false};
        std::string asked, trouble;
        std::thread t([&] {
            if (!WaitUntil([&] { return TakesTheKeyboard(dialog); }, 20000)) {
                trouble = "the folder dialog never came up with the keyboard";
                PostMessageW(dialog, WM_CLOSE, 0, 0);
                return;
            }
            std::vector<INPUT> keys = Chord({VK_RETURN});
            const std::vector<INPUT> del = Chord({VK_CONTROL, VK_DELETE});
            if (row.withTheOk) {
                keys.insert(keys.end(), del.begin(), del.end());
                SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
            } else {
                SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
                if (!WaitUntil([&] { return !IsWindowVisible(dialog); }, 20000))
                    trouble = "Enter did not close the folder dialog";
                SendInput(static_cast<UINT>(del.size()), const_cast<INPUT*>(del.data()), sizeof(INPUT));
            }
            // The question, if the delete runs, until the test's thread has
            // taken the keys and is done with them.
            HWND box = nullptr;
            if (WaitUntil([&] { return settled || (box = FindProcessDialog()) != nullptr; }, 30000) && box) {
                asked = WindowText(GetDlgItem(box, 0xFFFF));
                PressDialogButton(box, IDYES);
            }
        });
        editing = true;
        h.dm->EditFahAction->Execute();
        editing = false;
        const bool taken = PumpUntil([&] { return deleteUpsTaken > upsBefore; }, 30000);
        settled = true;
        t.join();
        ASSERT_EQ(trouble, "") << row.name;
        ASSERT_TRUE(taken) << row.name << ": Ctrl+Del never reached the test's thread";
        EXPECT_FALSE(deletedInEdit) << row.name << ": " << h.calls;
        // The edit ends first; a delete after it asks.
        const bool deleted = !row.withTheOk || h.calls != "filters;";
        EXPECT_EQ(h.calls, deleted ? "filters;delete C:\\fah\\;wu >xxx;filters;" : "filters;") << row.name;
        EXPECT_EQ(asked, deleted ? sDeleteMonitoring + " C:\\fah\\ ?" : "") << row.name;
    }
}

// A timer that falls due in Edit's pause and pumps every message (the
// start's first selection, an update check) leaves a key typed meanwhile
// queued until the pause is over.
TEST(FolderList, AKeyTypedInEditsPauseWaitsWhateverPumpsInIt)
{
    ASSERT_TRUE(HaveDisplay());
    TForm form(nullptr);
    TEdit* edit = ShowWithFocusedEdit(form);
    ASSERT_TRUE(edit) << "a small form's edit taking the keyboard";
    PumpInsideResult r = TypeThenPumpInside({'X'}, [] { Delay(100); });
    ASSERT_TRUE(r.ran) << "the timer ran in the pause";
    EXPECT_TRUE(r.keyWaited) << "the key was handled in the pause";
    EXPECT_TRUE(PumpUntil([&] { return edit->Text() == "x"; }, 20000)) << "the key reaching the edit afterwards";
}

TEST(FolderList, TheDialogSaysWhyItRefusesKeepsWhatWasTypedAndTakesNoBlanks)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.views.push_back(MakeView("D:\\two\\"));
    h.dm->SaveFahToIni("C:\\fah\\", "", "", "", false);
    h.dm->SaveFahToIni("D:\\two\\", "two", "", "", false);
    const std::string before = ReadFile(ini);

    // No folder at all.
    Harness::Outcome o = h.RunDialog(h.dm->AddFahAction, [] { SetText(AddDirForm().DirectoryEdit1, L"   "); });
    EXPECT_EQ(o.told, sFolderEmpty);
    EXPECT_EQ(o.kept, "   ");
    // A folder whose meaning would depend on the current folder: a full
    // path is asked for, in Add and in Edit.
    const struct {
        TAction* action;
        const wchar_t* typed;
    } partial[] = {{h.dm->AddFahAction, L"client-real"}, {h.dm->AddFahAction, L"C:fah"},
                   {h.dm->AddFahAction, L"\\fah"}, {h.dm->AddFahAction, L"\\\\box"},
                   {h.dm->EditFahAction, L"fah\\sub"}};
    h.selected = h.views[1].get();
    for (const auto& c : partial) {
        SCOPED_TRACE(WideToUtf8(c.typed));
        o = h.RunDialog(c.action, [&] { SetText(AddDirForm().DirectoryEdit1, c.typed); });
        EXPECT_EQ(o.told, sFolderNotFull);
        EXPECT_EQ(o.kept, WideToUtf8(c.typed));
    }
    EXPECT_EQ(ReadFile(ini), before);
    // A row edited onto another row's folder: nothing of the edit is lost.
    h.selected = h.views[1].get();
    o = h.RunDialog(h.dm->EditFahAction, [] {
        SetText(AddDirForm().DirectoryEdit1, L"c:\\FAH");
        SetText(AddDirForm().AliasEdit, L"renamed");
    });
    EXPECT_EQ(o.told, FillIn(sFolderListed, {"c:\\FAH\\"}));
    EXPECT_EQ(o.kept, "c:\\FAH");
    EXPECT_EQ(h.views[1]->Fah()->Folder, "D:\\two\\");
    EXPECT_EQ(h.calls, "");
    EXPECT_EQ(ReadFile(ini), before);

    // A folder and a service typed with outer blanks are taken without them.
    o = h.RunDialog(h.dm->AddFahAction, [] {
        SetText(AddDirForm().DirectoryEdit1, L"  E:\\blank  ");
        SetText(AddDirForm().AliasEdit, L"b");
        SetText(AddDirForm().ServiceEdit, L"  svc  ");
    });
    EXPECT_EQ(o.told + o.kept, "");
    EXPECT_EQ(h.calls, "add E:\\blank\\ svc;filters;");
    std::vector<TFolderEntry> list = ReadFolderList(ini);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].Folder + "|" + list[2].Alias + "|" + list[2].ServiceName, "E:\\blank\\|b|svc");
}

TEST(FolderList, BlanksAroundAFolderOfAnOlderFileAreNotPartOfIt)
{
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    WriteFile(ini, "[FAHDir]\r\nline000=\" C:\\x\\ \"\r\n[ C:\\x\\ ]\r\nAlias=a\r\nServiceName=\" svc \"\r\nShowInHint=1\r\n");
    std::vector<TFolderEntry> list = ReadFolderList(ini);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Folder + "|" + list[0].Alias + "|" + list[0].ServiceName, "C:\\x\\|a|svc");
    EXPECT_TRUE(list[0].ShowInHint);
    // Deleting it leaves no section behind.
    h.dm->DeleteFahFromIni(list[0].Folder);
    EXPECT_EQ(ReadFile(ini), "[FAHDir]\r\n\r\n");
}

// "[C:\b\] ; the second box": the header of C:\b\'s section, as the system's
// profile reader takes it, not a line of the section above.
TEST(FolderList, AHeaderWithACommentOnItsLineIsItsFoldersSection)
{
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    WriteFile(ini, "[FAHDir]\r\nline000=\"C:\\a\\\"\r\nline001=\"C:\\b\\\"\r\n[C:\\a\\]\r\nServiceName=\"svc a\"\r\n"
                   "[C:\\b\\] ; the second box\r\nServiceName=\"svc b\"\r\nAlias=B\r\n");
    std::vector<TFolderEntry> list = ReadFolderList(ini);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Folder + "|" + list[0].ServiceName + "|" + list[0].Alias, "C:\\a\\|svc a|");
    EXPECT_EQ(list[1].Folder + "|" + list[1].ServiceName + "|" + list[1].Alias, "C:\\b\\|svc b|B");
    // A save keeps the line with its comment, and every line of both boxes.
    h.dm->SaveFahToIni("D:\\c\\", "", "", "", false);
    const std::string saved = ReadFile(ini);
    EXPECT_NE(saved.find("[C:\\a\\]\r\nServiceName=\"svc a\"\r\n\r\n[C:\\b\\] ; the second box\r\n"
                         "ServiceName=\"svc b\"\r\nAlias=B\r\n"),
              std::string::npos)
        << saved;
    list = ReadFolderList(ini);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].ServiceName, "svc b");
}

// Three header lines the list once misread: a comment that ends in "]", a
// folder's header again, and a line that starts with "[" but has no "]"
// (it ends the section above; the keys below it are not read).
TEST(FolderList, EachFoldersKeysStayUnderItsOwnHeader)
{
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    WriteFile(ini, "[FAHDir]\r\nline000=\"C:\\a\\\"\r\nline001=\"C:\\b\\\"\r\nline002=\"Z:\\x\\h\\\"\r\n"
                   "[C:\\a\\]\r\nAlias=A\r\n[Z:\\x\\h\\\r\nAlias=H\r\nServiceName=\"svc h\"\r\n"
                   "[C:\\b\\] ; the box [old]\r\nServiceName=\"svc b\"\r\nAlias=B\r\n"
                   "[C:\\a\\]\r\nServiceName=\"svc a\"\r\n");
    auto rows = [&] {
        std::string out;
        for (const TFolderEntry& e : ReadFolderList(ini))
            out += e.Folder + "|" + e.Alias + "|" + e.ServiceName + "\n";
        return out;
    };
    EXPECT_EQ(rows(), "C:\\a\\|A|svc a\nC:\\b\\|B|svc b\nZ:\\x\\h\\||\n");
    std::vector<std::string> noHeader;
    ReadFolderList(ini, &noHeader);
    EXPECT_EQ(noHeader, std::vector<std::string>{"[Z:\\x\\h\\"});
    // A save keeps every line where it was.
    h.dm->SaveFahToIni("D:\\c\\", "", "", "", false);
    const std::string folders = "[FAHDir]\r\nline000=\"C:\\a\\\"\r\nline001=\"C:\\b\\\"\r\nline002=\"Z:\\x\\h\\\"\r\n"
                                "line003=\"D:\\c\\\"\r\n";
    const std::string unread = "[Z:\\x\\h\\\r\nAlias=H\r\nServiceName=\"svc h\"\r\n";
    const std::string b = "[C:\\b\\] ; the box [old]\r\nServiceName=\"svc b\"\r\nAlias=B\r\n\r\n";
    const std::string c = "[D:\\c\\]\r\nAlias=\r\nComp_Config=\"\"\r\nServiceName=\"\"\r\nShowInHint=0\r\n\r\n";
    EXPECT_EQ(ReadFile(ini), folders + "\r\n[C:\\a\\]\r\nAlias=A\r\n" + unread + "\r\n" + b +
                                 "[C:\\a\\]\r\nServiceName=\"svc a\"\r\n\r\n" + c);
    // Without the section it ended, the line stays with the one above, and
    // keys written there go above it.
    h.dm->DeleteFahFromIni("C:\\a\\");
    EXPECT_EQ(rows(), "C:\\b\\|B|svc b\nD:\\c\\||\nZ:\\x\\h\\||\n");
    h.dm->SaveFahToIni("E:\\e\\", "", "", "", false);
    EXPECT_EQ(ReadFile(ini), "[FAHDir]\r\nline000=\"C:\\b\\\"\r\nline001=\"Z:\\x\\h\\\"\r\nline002=\"D:\\c\\\"\r\n"
                             "line003=\"E:\\e\\\"\r\n" + unread + "\r\n" + b + c +
                                 "[E:\\e\\]\r\nAlias=\r\nComp_Config=\"\"\r\nServiceName=\"\"\r\nShowInHint=0\r\n\r\n");
}

// Switched to Russian, the English "not defined" a client was given is no
// text of the user's: OK in Edit folder keeps its configuration empty.
TEST(FolderList, AfterALanguageSwitchNoConfigurationStaysNone)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.dm->SaveFahToIni("C:\\fah\\", "", "", "", false);
    h.selected = h.views[0].get();
    h.selected->Fah()->SetCompConfig("");
    SetLanguage(2);
    h.selected->Update();
    EXPECT_EQ(h.selected->CompConfig, sConfigNotDefined);   // shown in the language of the moment
    Harness::Outcome o = h.RunDialog(h.dm->EditFahAction, [] {});
    SetLanguage(1);
    EXPECT_EQ(o.told + o.kept, "");
    EXPECT_EQ(SectionLines(ini, "C:\\fah\\"), "Alias=|Comp_Config=\"\"|ServiceName=\"\"|ShowInHint=0");
    EXPECT_EQ(h.selected->Fah()->CompConfig, "");
}

// After an edit, Add starts as a new Add: the folder box does not hold the
// folder edited last, and what the user types replaces its text.
TEST(FolderList, AddStartsAnewAndTypingReplacesTheFolderBox)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    h.views.push_back(MakeView("D:\\last\\"));
    h.dm->SaveFahToIni("D:\\last\\", "", "", "", false);
    h.selected = h.views[0].get();
    Harness::Outcome o = h.RunDialog(h.dm->EditFahAction, [] {});
    ASSERT_EQ(o.told + o.kept, "");
    h.calls.clear();
    std::string shown;
    o = h.RunDialog(h.dm->AddFahAction, [&] {
        shown = WindowText(AddDirForm().DirectoryEdit1->Handle());
        SendInputPumping(TypedText(L"E:\\typed"), 100);
    });
    EXPECT_EQ(shown, ExtractFilePath(BesideExe("x")));
    EXPECT_EQ(o.told + o.kept, "");
    EXPECT_EQ(h.calls, "add E:\\typed\\ ;filters;");
}

TEST(FolderList, ASaveThatFailsIsShownAndChangesNothing)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.views[0]->Fah()->Alias = "old";
    h.dm->SaveFahToIni("C:\\fah\\", "old", "", "", false);
    const std::string before = ReadFile(ini);
    ASSERT_TRUE(SetFileAttributesW(Utf8ToWide(ini).c_str(), FILE_ATTRIBUTE_READONLY));

    // Add and Edit: said in the dialog, which keeps what was typed.
    Harness::Outcome o = h.RunDialog(h.dm->AddFahAction, [] { SetText(AddDirForm().DirectoryEdit1, L"D:\\two"); });
    EXPECT_EQ(o.told.rfind(sFolderListNotSaved + "\r\n\r\n", 0), 0u) << o.told;
    EXPECT_EQ(o.kept, "D:\\two");
    h.selected = h.views[0].get();
    o = h.RunDialog(h.dm->EditFahAction, [] { SetText(AddDirForm().AliasEdit, L"new"); });
    EXPECT_EQ(o.told.rfind(sFolderListNotSaved, 0), 0u) << o.told;
    EXPECT_EQ(h.views[0]->Fah()->Alias, "old");
    // Delete: said after the question; the row stays.
    std::vector<std::string> boxes;
    std::thread t([&] {
        for (int n = 0; n < 2; ++n) {
            HWND box = nullptr;
            for (int i = 0; i < 500 && !(box = FindProcessDialog()); ++i)
                Sleep(10);
            if (!box)
                return;
            boxes.push_back(WindowText(GetDlgItem(box, 0xFFFF)));
            PressDialogButton(box, n == 0 ? IDYES : IDOK);
            for (int i = 0; i < 300 && IsWindow(box); ++i)
                Sleep(10);
        }
    });
    try {
        h.dm->DelFahAction->Execute();
    } catch (const std::exception& e) {
        boxes.push_back(std::string("threw: ") + e.what());
    }
    t.join();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind(sFolderListNotSaved, 0), 0u) << boxes[1];
    EXPECT_EQ(h.calls, "");
    SetFileAttributesW(Utf8ToWide(ini).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFile(ini), before);
}

// A list that could not be read refuses the save with its reason; that the
// file stays as it is is said once.
TEST(FolderList, AnUnreadableListRefusesTheSaveSayingItStaysOnce)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    // UTF-16 without its mark: no text the program can read.
    WriteFile(ini, Utf16Bytes(L"[FAHDir]\r\nline000=\"C:\\fah\\\"\r\n").substr(2));
    Harness::Outcome o = h.RunDialog(h.dm->AddFahAction, [] { SetText(AddDirForm().DirectoryEdit1, L"D:\\two"); });
    EXPECT_EQ(o.told, "The folder list could not be saved; it is left as it was.\r\n\r\nThe file \"" + ini +
                          "\" is not text this program can read");
    EXPECT_EQ(o.kept, "D:\\two");
}

// A save that finds no memory for the folder list says so in words, never
// with the exception's own text; the dialog keeps what was typed.
TEST(FolderList, ASaveWithoutMemoryForTheListSaysSoInWords)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    // One comment line of 20 MB above the list: reading the file takes a
    // block of that size, and taking it apart another.
    WriteFile(ini, "; " + std::string(20u << 20, 'x') + "\r\n[FAHDir]\r\nline000=\"C:\\fah\\\"\r\n");
    std::unique_ptr<AddressSpaceFiller> filler;
    Harness::Outcome o = h.RunDialog(h.dm->AddFahAction, [&] {
        SetText(AddDirForm().DirectoryEdit1, L"D:\\two");
        // Room to read the file, none left after that.
        filler = std::make_unique<AddressSpaceFiller>(4u << 20, 24u << 20);
    });
    filler.reset();
    EXPECT_EQ(o.told, sFolderListNotSaved + "\r\n\r\n" + sOutOfMemoryNow);
    EXPECT_EQ(o.kept, "D:\\two");
    EXPECT_EQ(h.calls, "");
}

TEST(MainDMActions, ShortcutsOnTheMainWindowRunTheirActions)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.selected = h.views[0].get();
    h.dm->Host.SelectedClient = [](TClientService& c) { return c = {"C:\\fah\\", "svc"}, true; };
    std::string ran;
    // The toggles and the refresh really run; the others would open dialogs.
    h.dm->ActionList1->OnExecute = [&](TBasicAction* a, bool& handled) {
        ran = a->Name();
        handled = a != h.dm->RefreshAction && a != h.dm->HideNotActiveFodersAction && a != h.dm->AutoUpdateAction &&
                  a != h.dm->CopyToClipBrdAction;
    };
    h.dm->Host.SetAutoUpdate = [&](bool on) { h.calls += on ? "auto on;" : "auto off;"; };
    h.dm->Host.CopyToClipboard = [&] { h.calls += "copy;"; };
    SetSetting("inHideShutdownFolders", false);
    SetSetting("evAutoUpdate", true);
    TForm form(nullptr);
    TEdit* edit = ShowWithFocusedEdit(form);
    ASSERT_TRUE(edit) << "a small form's edit taking the keyboard";

    const struct {
        std::vector<WORD> keys;
        const char* action;
    } table[] = {
        {{VK_F5}, "RefreshAction"}, {{VK_CONTROL, 'N'}, "AddFahAction"}, {{VK_CONTROL, 'E'}, "EditFahAction"},
        {{VK_CONTROL, VK_DELETE}, "DelFahAction"}, {{VK_F2}, "StopFAHServiceAction"},
        {{VK_F3}, "RestartFAHServiceAction"}, {{VK_F6}, "UpdateFahBaseAction"}, {{VK_F7}, "CheckForUpdateAction"},
        {{VK_F9}, "HideNotActiveFodersAction"}, {{VK_F10}, "ExitAction"}, {{VK_F1}, "AboutAction"},
        {{VK_CONTROL, 'U'}, "AutoUpdateAction"}, {{VK_CONTROL, 'C'}, "CopyToClipBrdAction"},
        {{VK_CONTROL, VK_SHIFT, VK_F11}, "OptionsAction"},
    };
    for (const auto& row : table) {
        ran.clear();
        std::vector<INPUT> in;
        for (WORD k : row.keys)
            in.push_back(KeyInput(k, false));
        for (auto k = row.keys.rbegin(); k != row.keys.rend(); ++k)
            in.push_back(KeyInput(*k, true));
        ASSERT_TRUE(SendInputPumping(in));
        EXPECT_EQ(ran, row.action);
    }
    // F9 applies the filters at once, then has every client read again.
    EXPECT_EQ(h.calls, "refresh;filters;refresh;auto off;copy;");
    EXPECT_TRUE(h.dm->HideNotActiveFodersAction->Checked());
    EXPECT_TRUE(GetFahSettings().FindValue("inHideShutdownFolders").AsBoolean());
    EXPECT_FALSE(h.dm->AutoUpdateAction->Checked());
    EXPECT_FALSE(GetFahSettings().FindValue("evAutoUpdate").AsBoolean());
}

TEST(MainDMActions, CaptionsAndHintsInEveryLanguageLinksOpenTheirHint)
{
    struct Row {
        int lang;
        const char *refresh, *refreshHint, *service, *help, *userCard;
    };
    const Row rows[] = {
        {1, "&Refresh", "Read all client folders again now", "F@H servi&ce", "&Help", "&User statistics"},
        {2, "&Обновить", "Сейчас же заново прочитать все папки клиентов", "Слу&жба F@H", "С&правка",
         "Ст&атистика пользователя"},
        {3, "&Оновити", "Негайно знову прочитати всі теки клієнтів", "Слу&жба F@H", "&Довідка",
         "Статистика &користувача"},
    };
    Harness h;
    TMainDM& dm = *h.dm;
    dm.SetLinkAddresses(1234, "Jo Do");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.lang);
        h.calls.clear();
        (r.lang == 1 ? dm.LngEnAction : r.lang == 2 ? dm.LngRuAction : dm.LngUaAction)->Execute();
        EXPECT_EQ(CurrentLanguage, r.lang);
        EXPECT_EQ(h.calls, "refresh;");
        dm.ApplyLanguage();   // the main window's re-caption does it
        EXPECT_EQ(dm.RefreshAction->Caption(), r.refresh);
        EXPECT_EQ(dm.RefreshAction->Hint(), r.refreshHint);
        EXPECT_EQ(dm.ServiceAction->Caption(), r.service);
        EXPECT_EQ(dm.HelpAction->Caption(), r.help);
        EXPECT_EQ(dm.UserCardAction->Caption(), r.userCard);
        EXPECT_EQ(dm.LngEnAction->Caption() + dm.LngRuAction->Caption() + dm.LngUaAction->Caption(),
                  "&English&Русский&Українська");
        EXPECT_EQ(dm.LngRuAction->Checked(), r.lang == 2);
        // The links keep their addresses as hints.
        EXPECT_EQ(dm.UserCardAction->Hint(),
                  "http://fah-web.stanford.edu/cgi-bin/main.py?qtype=userpage&teamnum=1234&username=Jo%20Do");
        EXPECT_EQ(dm.KPXForumAction->Hint(), kTeamForumURL);
    }
    SetLanguage(1);

    // The links show the shell's web-page icon and open their address.
    EXPECT_GE(dm.HtmIconIndex(), 0);
    EXPECT_EQ(dm.OfficialForumAction->ImageIndex(), dm.HtmIconIndex());
    EXPECT_FALSE(FileExists(TempFolder() + "Brenix.htm"));
    std::string opened = h.dir.File("opened.txt");
    SetRegString(HKEY_CLASSES_ROOT, "http\\shell\\open\\command",
                 "\"" + BesideExe("..\\controls_edit\\controls_link_recorder.exe") + "\" \"" + opened + "\" \"%1\"");
    dm.UserCardAction->Execute();
    EXPECT_TRUE(PumpUntil([&] { return FileExists(opened) && ReadFile(opened).find('\n') != std::string::npos; }, 10000));
    EXPECT_EQ(ReadFile(opened), dm.UserCardAction->Hint() + "\n");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command");
}
