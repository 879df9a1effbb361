// The folder list file, the folder actions, the action captions in the three
// languages and the shortcuts pressed on a real window.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "Classes/Fah.h"
#include "Classes/FahSettings.h"
#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "FolderList.h"
#include "Frame/AddDir.h"
#include "controls/ComboEdits.h"
#include "MainDMTestSupport.h"
#include "platform/FileUtil.h"
#include "platform/Form.h"
#include "platform/StdCtrls.h"
#include "platform/StringList.h"
#include "support/Input.h"
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
        host.DeleteSelectedRow = [this] { calls += "delete;"; };
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
};

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

TEST(FolderList, AddEditAndDeleteThroughTheActions)
{
    ASSERT_TRUE(HaveDisplay());
    Harness h;
    const std::string ini = h.dm->FolderListFile;
    h.views.push_back(MakeView("C:\\fah\\"));
    h.dm->SaveFahToIni("C:\\fah\\", "", "", "", false);

    // A folder already listed (in another case) selects its row only.
    AddDirForm().SetFolder("c:\\FAH");
    h.RunWithOk(h.dm->AddFahAction);
    EXPECT_EQ(h.calls, "select C:\\fah\\;");
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"C:\\fah\\\"");
    h.calls.clear();
    AddDirForm().SetFolder("D:\\two");
    h.RunWithOk(h.dm->AddFahAction);
    EXPECT_EQ(h.calls, "add D:\\two\\ ;filters;");
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"C:\\fah\\\"|line001=\"D:\\two\\\"");

    // Edit: the client and its entry follow the dialog.
    h.selected = h.views[0].get();
    TFah& fah = *h.selected->Fah();
    fah.ServiceName = "svc";
    fah.SetCompConfig("");   // the language's "not defined": shown and stored empty
    h.calls.clear();
    std::thread t([] {
        Sleep(700);
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
    EXPECT_EQ(h.calls, "delete;wu 2669 (1-2-3)>xxx;filters;");
    EXPECT_EQ(SectionLines(ini, "FAHDir"), "line000=\"D:\\two\\\"");
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
    form.SetBounds(100, 100, 300, 120);
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    form.Show();
    SetForegroundWindow(form.Handle());
    edit->SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == form.Handle() && edit->Focused(); }, 2000));

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
    EXPECT_EQ(h.calls, "refresh;refresh;auto off;copy;");
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
        {1, "&Refresh", "Read all client folders again now", "F@H &service", "&Help", "&User statistics"},
        {2, "&Обновить", "Сейчас же заново прочитать все папки клиентов", "&Служба F@H", "С&правка",
         "Ст&атистика пользователя"},
        {3, "&Оновити", "Негайно знову прочитати всі теки клієнтів", "&Служба F@H", "&Довідка",
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
