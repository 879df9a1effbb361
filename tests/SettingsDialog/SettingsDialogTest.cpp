// The settings dialog shown by the data module's settings action (OK saves
// all, anything else reverts) and driven with real input from a helper
// thread, on a test registry key: every page's controls load and save their
// settings, the version check date moves only with a new interval, the
// event box only chooses what the boxes show, autorun writes and removes
// the Run value, Cancel changes nothing; Apply reaches the data module, the
// list and the toolbar; a language switch re-captions the dialog.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <mutex>
#include <thread>

#include "Classes/FahSettings.h"
#include "Classes/Lang.h"
#include "Frame/SetDfFr.h"
#include "Frame/SetEvFr.h"
#include "Frame/SetInAddFr.h"
#include "Frame/SetInFr.h"
#include "Frame/SetInLogFr.h"
#include "Frame/SetInMainFr.h"
#include "Frame/SetOsFr.h"
#include "Frame/SetUpFr.h"
#include "Frame/Settings.h"
#include "Frame/fvFr.h"
#include "Classes/MVars.h"
#include "Main.h"
#include "MainDM.h"
#include "controls/ComboEdits.h"
#include "platform/ComboBox.h"
#include "platform/DateTime.h"
#include "platform/RadioGroup.h"
#include "platform/Registry.h"
#include "platform/Shape.h"
#include "platform/SpinEdit.h"
#include "platform/Text.h"
#include "platform/AccessKeys.h"
#include "support/CaptionFit.h"
#include "support/DialogDriver.h"
#include "support/Input.h"
#include "support/LoopbackPeer.h"
#include "support/RegistryLock.h"
#include "support/TestSupport.h"
#include "platform/Canvas.h"
#include "platform/Graphics.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"
#include "toolbars/TBToolbar.h"
#include "toolbars/TBView.h"

using namespace testing_support;

namespace {

const char kKey[] = "Software\\Zembrik\\BrenixTest\\SettingsDialog\\";

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
void Key(WORD vk) { Send(Chord({vk})); }
void Type(const std::string& text)
{
    for (char c : text) {
        SHORT vk = VkKeyScanW(static_cast<wchar_t>(c));
        if (vk & 0x100)
            Send(Chord({VK_SHIFT, static_cast<WORD>(vk & 0xFF)}));
        else
            Key(static_cast<WORD>(vk & 0xFF));
    }
}
POINT At(const TControl* c, int x, int y) { return c->ClientToScreen(POINT{x, y}); }
// A check box or radio button: on its box.
void ClickBox(const TControl* c) { Click(At(c, 6, c->Height() / 2)); }
// Replaces an edit's text by typing.
void Retype(const TControl* edit, const std::string& text)
{
    Click(At(edit, 8, edit->Height() / 2));
    Key(VK_END);
    Send(Chord({VK_SHIFT, VK_HOME}));
    Type(text);
}

// The settings dialog while the test plays on it.
std::atomic<HWND> shownSettings{nullptr};

// Once a message box shows, its text is read (it may come a moment after
// the box); whether the text came within 20 s.
bool BoxTextShown(HWND box)
{
    return WaitUntil([box] { return !WindowText(GetDlgItem(box, 0xFFFF)).empty(); }, 20000);
}

// A system dialog of this process once it shows with its text, nullptr once
// the settings dialog closed instead or after 20 s; and the wait until none
// is left.
HWND WaitForDialog()
{
    HWND dlg = nullptr;
    WaitUntil([&dlg] {
        const HWND settings = shownSettings;
        return (dlg = FindProcessDialog()) != nullptr || (settings && !IsWindowVisible(settings));
    }, 20000);
    if (dlg)
        BoxTextShown(dlg);
    return dlg;
}
void WaitDialogGone()
{
    WaitUntil([] { return !FindProcessDialog(); }, 20000);
}

// Presses Enter (OK) and answers the box that comes instead of the dialog
// closing; the box's text, empty when none came.
std::string EnterAndAnswerBox()
{
    Key(VK_RETURN);
    HWND dlg = WaitForDialog();
    if (!dlg)
        return std::string();
    std::string told = WindowText(GetDlgItem(dlg, 0xFFFF));
    PressDialogButton(dlg, IDOK);
    WaitDialogGone();
    return told;
}

TAppVal& Val(const char* name) { return GetFahSettings().FindValue(name); }
void Store(const char* name, const TAppVariant& v)
{
    Val(name).SetEdited(v);
    Val(name).Save();
}

// Values written under the test key's "Settings" section.
int WrittenValueCount()
{
    HKEY k;
    std::wstring path = Utf8ToWide(std::string(kKey) + "Settings");
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return 0;
    DWORD n = 0;
    RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &n, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(k);
    return static_cast<int>(n);
}

bool ReadRunValue(std::string& out)
{
    TRegistry r(HKEY_CURRENT_USER, KEY_READ);
    return r.OpenKeyReadOnly(kAutoRunKey) && r.TryReadString(kAutoRunValueName, out);
}

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDisplay())
            GTEST_SKIP();
        TRegistry().DeleteKey(kKey);
        SetFahSettingsPathForTesting(kKey);
        GetFahSettings().LoadAll();
        LoadLanguageResource("LANG_EN");
        LoadLangGlobals();
        ReloadLanguage();
        {
            TRegistry r;
            if (r.OpenKey(kAutoRunKey, false))
                r.DeleteValue(kAutoRunValueName);
        }
        dm = std::make_unique<TMainDM>(nullptr);
        UseDataModule(dm.get());
        ClearCaughtErrors();
    }
    void TearDown() override
    {
        if (!HaveDisplay())
            return;
        GetFahSettings().OnApply = nullptr;
        active = nullptr;
        dm.reset();
        SetFahSettingsPathForTesting("");
        TRegistry().DeleteKey(kKey);
        EXPECT_TRUE(CaughtErrors().empty()) << (CaughtErrors().empty() ? "" : CaughtErrors()[0]);
    }

    // The settings action of this data module opens the dialog.
    void UseDataModule(TMainDM* module)
    {
        active = module;
        SettingsForm().SetActions(module->FahColAction, module->UpdateFahBaseAction);
        module->Host.ShowSettings = [this] { return result = SettingsForm().ShowModal(); };
    }

    // Runs the settings action on that page while script plays input on a
    // helper thread; the dialog's modal result (-1 when the test had to
    // close it).
    int Run(int page, const std::function<void(TSettingsForm&)>& script)
    {
        TSettingsForm& form = SettingsForm();
        form.SelectPage(page);
        HWND h = form.Handle();
        shownSettings = h;
        std::atomic<bool> forced{false};
        std::string leftOpen;   // what the test had to close, for the failure
        std::thread player([&form, h, &script, &forced, &leftOpen] {
            if (!WaitUntil([h] { return TakesTheKeyboard(h); }, 20000) || !ModifiersSettled(h))
                leftOpen = "the dialog never came up with the keyboard; ";
            else
                script(form);
            // Still open: any box on it is answered, then the dialog closed.
            const DWORD start = GetTickCount();
            while (IsWindowVisible(h)) {
                if (HWND box = FindProcessDialog()) {
                    leftOpen += "a box left open: \"" + WindowText(GetDlgItem(box, 0xFFFF)) + "\"; ";
                    PressDialogButton(box, IDOK);
                    PressDialogButton(box, IDCANCEL);
                    WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
                } else if (GetTickCount() - start >= 10000 && !forced) {
                    forced = true;
                    PostMessageW(h, WM_CLOSE, 0, 0);
                } else if (GetTickCount() - start >= 40000) {
                    leftOpen += "the dialog would not close; ";
                    break;
                }
                Sleep(10);
            }
        });
        result = mrNone;
        active->OptionsAction->Execute();
        player.join();
        EXPECT_EQ(leftOpen, "") << "the test had to close what it left open";
        return forced || !leftOpen.empty() ? -1 : result;
    }
    template <class T>
    static T* PageOf(TSettingsForm& form, int kind)
    {
        return dynamic_cast<T*>(form.Page(kind));
    }

    std::unique_ptr<TMainDM> dm;
    TMainDM* active = nullptr;
    int result = mrNone;
};

}  // namespace

TEST_F(SettingsDialog, NextCheckMovesOnlyWhenTheUserChangesTheInterval)
{
    const double fixed = 47000.25;
    Store("osNextCheck", fixed);
    // Opened and closed with OK, twice, without a change: the date stays
    // and nothing is written.
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Run(spSystem, [](TSettingsForm&) { Key(VK_RETURN); }), mrOk);
        EXPECT_DOUBLE_EQ(Val("osNextCheck").AsFloat(), fixed);
        EXPECT_EQ(WrittenValueCount(), 1) << "only the date stored by the test";
    }
    // 25 typed, then Up steps by 5: the next check is 30 days from now.
    ASSERT_EQ(Run(spSystem, [](TSettingsForm& f) {
                  auto* page = dynamic_cast<TSetOsFrame*>(f.Page(spSystem));
                  Retype(page->IntervalSpinEdit->Edit(), "25");
                  Key(VK_UP);
                  Key(VK_RETURN);
              }),
              mrOk);
    EXPECT_EQ(Val("osUpdateInterval").AsInteger(), 30);
    EXPECT_NEAR(Val("osNextCheck").AsFloat(), static_cast<double>(Now()) + 30, 2.0 / 1440);
    // Unticking the check disables the interval; loading the page again
    // shows the stored interval without touching the date.
    const double moved = Val("osNextCheck").AsFloat();
    ASSERT_EQ(Run(spSystem, [](TSettingsForm& f) {
                  ClickBox(PageOf<TSetOsFrame>(f, spSystem)->CheckForUpdateCheckBox);
                  Key(VK_RETURN);
              }),
              mrOk);
    auto* os = PageOf<TSetOsFrame>(SettingsForm(), spSystem);
    EXPECT_FALSE(Val("osCheckForUpdate").AsBoolean());
    EXPECT_FALSE(os->IntervalSpinEdit->Enabled());
    EXPECT_EQ(os->IntervalSpinEdit->Value(), 30);
    EXPECT_DOUBLE_EQ(Val("osNextCheck").AsFloat(), moved);
}

TEST_F(SettingsDialog, AutoRunWritesAndRemovesTheQuotedPath)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string quoted = "\"" + WideToUtf8(self) + "\"";
    auto toggle = [](TSettingsForm& f) {
        ClickBox(PageOf<TSetOsFrame>(f, spSystem)->AutoRunCheckBox);
        Key(VK_RETURN);
    };
    ASSERT_EQ(Run(spSystem, toggle), mrOk);
    std::string run;
    ASSERT_TRUE(ReadRunValue(run));
    EXPECT_EQ(run, quoted);
    EXPECT_TRUE(Val("osAutoRun").AsBoolean());
    ASSERT_EQ(Run(spSystem, toggle), mrOk);
    EXPECT_FALSE(ReadRunValue(run)) << run;
    EXPECT_FALSE(Val("osAutoRun").AsBoolean());
}

TEST_F(SettingsDialog, EventBoxOnlyChoosesWhatTheBoxesShow)
{
    // Switching to "stopped" and back to "started" writes no key.
    ASSERT_EQ(Run(spEvents, [](TSettingsForm& f) {
                  auto* ev = PageOf<TSetEvFrame>(f, spEvents);
                  Click(At(ev->EvComboBox, 20, 10));
                  Key(VK_DOWN);
                  Key(VK_RETURN);
                  Key(VK_TAB);   // leaves the box; Enter now presses OK
                  Key(VK_RETURN);
              }),
              mrOk);
    auto* ev = PageOf<TSetEvFrame>(SettingsForm(), spEvents);
    EXPECT_EQ(ev->EvComboBox->ItemIndex(), 1);
    EXPECT_TRUE(ev->FlashCheckBox->Checked()) << "the stop event's default";
    EXPECT_EQ(WrittenValueCount(), 0);
    // The boxes then edit the shown event's keys only.
    ASSERT_EQ(Run(spEvents, [](TSettingsForm& f) {
                  auto* ev = PageOf<TSetEvFrame>(f, spEvents);
                  ClickBox(ev->FlashCheckBox);
                  Retype(ev->IntervalSpinEdit->Edit(), "120");
                  ClickBox(ev->AutoUpdateCheckBox);
                  Key(VK_RETURN);
              }),
              mrOk);
    EXPECT_FALSE(Val("evFeStopFlashIcon").AsBoolean());
    EXPECT_FALSE(Val("evAutoUpdate").AsBoolean());
    EXPECT_EQ(Val("evAutoUpdateInterval").AsInteger(), 120);
    EXPECT_FALSE(ev->IntervalSpinEdit->Enabled());
    EXPECT_EQ(WrittenValueCount(), 3);
}

// One row per page: what the user does, then what is stored.
TEST_F(SettingsDialog, PagesSaveWhatTheUserDoesWithTheirControls)
{
    TempDir pictures("pic dir");
    const std::string picture = pictures.File("my picture.bmp");
    WriteFile(picture, "BM");
    Store("upProxyPort", 8080);
    Store("dfTeamID", 123);
    struct Row {
        int page;
        std::function<void(TSettingsForm&)> input;
        std::function<void()> check;
    };
    const Row rows[] = {
        {spDatabase,
         [](TSettingsForm& f) {
             auto* up = PageOf<TSetUpFrame>(f, spDatabase);
             ClickBox(up->UseProxyCheckBox);
             Retype(up->ProxyNameEdit, "cache.lan");
             Retype(up->ProxyPortEdit, "65535");
             Retype(up->ProxyUserEdit, "joe");
             Key(VK_RETURN);
         },
         [] {
             EXPECT_TRUE(Val("upUseProxy").AsBoolean());
             EXPECT_EQ(Val("upProxyName").AsString(), "cache.lan");
             EXPECT_EQ(Val("upProxyPort").AsInteger(), 65535);
             EXPECT_EQ(Val("upProxyUserName").AsString(), "joe");
         }},
        {spUserTeam,
         [](TSettingsForm& f) {
             auto* df = PageOf<TSetDfFrame>(f, spUserTeam);
             Retype(df->UserNameEdit, "Bob");
             Retype(df->TeamIDEdit, "2147483647");
             Key(VK_RETURN);
         },
         [] {
             EXPECT_EQ(Val("dfUserName").AsString(), "Bob");
             EXPECT_EQ(Val("dfTeamID").AsInteger(), 2147483647);
         }},
        {spInterface,
         [](TSettingsForm& f) {
             auto* in = PageOf<TSetInFrame>(f, spInterface);
             ClickBox(in->TBCaptionRadioGroup->Button(1));
             ClickBox(in->NotFoundCheckBox);
             ClickBox(in->HideTBCheckBox);
             Key(VK_RETURN);
         },
         [] {
             EXPECT_EQ(Val("inTBTypeCaption").AsInteger(), 1);
             EXPECT_FALSE(Val("inHideStatusNotFound").AsBoolean());
             EXPECT_TRUE(Val("inHideTB").AsBoolean());
             EXPECT_FALSE(PageOf<TSetInFrame>(SettingsForm(), spInterface)->TBCaptionRadioGroup->Enabled());
         }},
        {spMainList,
         [](TSettingsForm& f) {
             auto* m = PageOf<TSetInMainFrame>(f, spMainList);
             ClickBox(m->VertLineCheckBox);
             Retype(m->BkFilenameEdit, "D:\\pic.bmp");
             Key(VK_RETURN);
         },
         [] {
             EXPECT_FALSE(Val("inShowVertGridLines").AsBoolean());
             EXPECT_EQ(Val("inBkMainInfo").AsString(), "D:\\pic.bmp");
         }},
        {spAddInfo,
         [&picture](TSettingsForm& f) {
             // A picture in a folder with a blank, chosen in the real dialog.
             auto* add = PageOf<TSetInAddFrame>(f, spAddInfo);
             Click(At(add->BkFilenameEdit->Button(), 6, 6));
             HWND dlg = WaitForDialog();
             if (!dlg)
                 return;
             SetFileDialogName(dlg, picture);
             PressDialogButton(dlg, IDOK);
             WaitDialogGone();
             Key(VK_RETURN);
         },
         [&picture] { EXPECT_EQ(Val("inBkAddInfo").AsString(), picture); }},
        {spLogWindow,
         [](TSettingsForm& f) {
             auto* log = PageOf<TSetInLogFrame>(f, spLogWindow);
             Click(At(log->ErrorShape, 10, 10));
             HWND dlg = WaitForDialog();
             if (!dlg)
                 return;
             // The full dialog shows the red, green and blue boxes.
             SendMessageW(GetDlgItem(dlg, 706), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"10"));
             SendMessageW(GetDlgItem(dlg, 707), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"20"));
             SendMessageW(GetDlgItem(dlg, 708), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"30"));
             PressDialogButton(dlg, IDOK);
             WaitDialogGone();
             ClickBox(log->ColorLogCheckBox);
             Key(VK_RETURN);
         },
         [] {
             EXPECT_EQ(Val("inColorError").AsInteger(), static_cast<int>(RGB(10, 20, 30)));
             EXPECT_FALSE(Val("inColorLog").AsBoolean());
             auto* log = PageOf<TSetInLogFrame>(SettingsForm(), spLogWindow);
             EXPECT_EQ(log->ErrorShape->BrushColor(), RGB(10, 20, 30));
             EXPECT_FALSE(log->DefaultButton->Enabled());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.page);
        ASSERT_EQ(Run(row.page, row.input), mrOk);
        row.check();
    }
}

// OK refuses a number a box can't take, naming the box and its range; the
// dialog stays with the keyboard on the box, and nothing else is put in.
TEST_F(SettingsDialog, ANumberOutOfRangeIsRefusedByNameAndTheDialogStays)
{
    Store("upUseProxy", true);   // the port box is usable
    Store("upProxyPort", 8080);
    Store("dfTeamID", 123);
    struct Row {
        int page;
        std::function<TWinControl*(TSettingsForm&)> box;
        const char* bad;
        const char* told;
        const char* key;
        int before;
        const char* good;
        int after;
    };
    auto port = [](TSettingsForm& f) -> TWinControl* { return PageOf<TSetUpFrame>(f, spDatabase)->ProxyPortEdit; };
    auto team = [](TSettingsForm& f) -> TWinControl* { return PageOf<TSetDfFrame>(f, spUserTeam)->TeamIDEdit; };
    auto refresh = [](TSettingsForm& f) -> TWinControl* {
        return PageOf<TSetEvFrame>(f, spEvents)->IntervalSpinEdit->Edit();
    };
    auto version = [](TSettingsForm& f) -> TWinControl* {
        return PageOf<TSetOsFrame>(f, spSystem)->IntervalSpinEdit->Edit();
    };
    const Row rows[] = {
        {spDatabase, port, "99999", "The box \u201cPort\u201d takes a whole number from 1 to 65535.", "upProxyPort", 8080,
         "3129", 3129},
        {spUserTeam, team, "12345678901", "The box \u201cTeam\u201d takes a whole number from 0 to 2147483647.", "dfTeamID",
         123, "4567", 4567},
        {spUserTeam, team, "team", "The box \u201cTeam\u201d takes a whole number from 0 to 2147483647.", "dfTeamID", 4567,
         "0", 0},
        {spEvents, refresh, "15", "The box \u201cRefresh every\u201d takes a whole number from 30 to 600.",
         "evAutoUpdateInterval", 30, "120", 120},
        {spSystem, version, "0", "The box \u201cCheck for a new version every\u201d takes a whole number from 1 to 99.",
         "osUpdateInterval", 10, "20", 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bad);
        std::string told, kept;
        bool stayed = false, onTheBox = false;
        int r = Run(row.page, [&](TSettingsForm& f) {
            TWinControl* box = row.box(f);
            HWND boxWindow = box->Handle();
            Retype(box, row.bad);
            told = EnterAndAnswerBox();
            if (told.empty())
                return;
            // The keyboard goes back to the refused box once the message box is gone.
            WaitUntil([boxWindow] {
                GUITHREADINFO gui{};
                gui.cbSize = sizeof gui;
                return GetGUIThreadInfo(GetWindowThreadProcessId(boxWindow, nullptr), &gui) &&
                       gui.hwndFocus == boxWindow;
            }, 20000);
            stayed = IsWindowVisible(f.Handle());
            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            onTheBox = GetGUIThreadInfo(GetWindowThreadProcessId(boxWindow, nullptr), &gui) &&
                       gui.hwndFocus == boxWindow;
            kept = WindowText(boxWindow);
            Retype(box, row.good);
            Key(VK_RETURN);
        });
        EXPECT_EQ(r, mrOk);
        EXPECT_EQ(told, row.told);
        EXPECT_TRUE(stayed);
        EXPECT_TRUE(onTheBox);
        EXPECT_EQ(kept, row.bad) << "the refused text stays to be mended";
        EXPECT_EQ(Val(row.key).AsInteger(), row.after);
        EXPECT_NE(row.before, row.after);
    }
}

// The database page's button goes through the proxy the page shows (not
// saved: Cancel keeps the stored one) and the page tells what came of it.
TEST_F(SettingsDialog, TheUpdateButtonTriesTheProxyThePageShowsAndTellsTheOutcome)
{
    testing_support::LoopbackPeer proxy("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");   // a proxy that answers 404
    TempDir dir("setproxy");
    const std::string oldAppDir = AppDir();
    SetAppDir(dir.Path());
    Store("upUseProxy", false);
    Store("upURL", std::string("http://127.0.0.1:1/psummary.html"));   // nobody listens there
    TMainFormParams params;
    params.FolderListFile = dir.File("Brenix.ini");
    params.ErrorLogFile = dir.File("error.log");
    params.LoadDelay = 600000;
    {
        TMainForm main(nullptr, params);
        main.Show();
        Pump(200);
        // The main window's own settings command, its result noted.
        active = main.MainDM;
        auto show = main.MainDM->Host.ShowSettings;
        main.MainDM->Host.ShowSettings = [this, show] { return result = show(); };
        int r = Run(spDatabase, [&](TSettingsForm& f) {
            auto* up = PageOf<TSetUpFrame>(f, spDatabase);
            ClickBox(up->UseProxyCheckBox);
            Retype(up->ProxyNameEdit, "127.0.0.1");
            Retype(up->ProxyPortEdit, std::to_string(proxy.Port()));
            Click(At(up->Button1, 10, 10));
            // Both documents asked for, then the try over (its action free again).
            WaitUntil([&] { return proxy.Requests().size() >= 2; }, 20000);
            WaitUntil([&] { return main.MainDM->UpdateFahBaseAction->Enabled(); }, 20000);
            Key(VK_ESCAPE);
        });
        EXPECT_EQ(r, mrCancel);
        auto* up = PageOf<TSetUpFrame>(SettingsForm(), spDatabase);
        ASSERT_NE(up, nullptr);
        EXPECT_EQ(up->Label5->Caption(), "Update error: 404 Not Found");
        active = nullptr;
    }
    const std::vector<std::string> requests = proxy.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].rfind("GET http://127.0.0.1:1/psummary.html ", 0), 0u) << requests[0];
    EXPECT_FALSE(Val("upUseProxy").AsBoolean());
    SetAppDir(oldAppDir);
}

// OK with settings the registry won't take: a box says so, and the dialog
// stays with what the user typed; Cancel then keeps nothing.
TEST_F(SettingsDialog, SettingsThatCannotBeWrittenAreToldAndTheDialogKeepsThem)
{
    RegistryLock lock(std::string(kKey) + "Settings");
    ASSERT_TRUE(lock.Locked());
    const std::string before = Val("dfUserName").AsString();
    std::string told, shown;
    bool stayed = false;
    int r = Run(spUserTeam, [&](TSettingsForm& f) {
        auto* df = PageOf<TSetDfFrame>(f, spUserTeam);
        HWND name = df->UserNameEdit->Handle();
        Retype(df->UserNameEdit, "Bob");
        told = EnterAndAnswerBox();
        if (told.empty())
            return;
        const HWND h = f.Handle();
        WaitUntil([h] { return TakesTheKeyboard(h); }, 20000);   // back on the dialog, which stayed
        stayed = IsWindowVisible(h);
        shown = WindowText(name);
        Key(VK_ESCAPE);
    });
    EXPECT_EQ(r, mrCancel);
    EXPECT_EQ(told.rfind("The settings could not be saved; your changes stay in the dialog.", 0), 0u) << told;
    EXPECT_TRUE(stayed);
    EXPECT_EQ(shown, "Bob");
    EXPECT_EQ(Val("dfUserName").AsString(), before);
    EXPECT_FALSE(Val("dfUserName").Changed());
    EXPECT_FALSE(CaughtErrors().empty()) << "the error log has it too";
    ClearCaughtErrors();
}

TEST_F(SettingsDialog, CancelChangesNothingAndTheNextShowReloads)
{
    for (WORD closeKey : {WORD(VK_ESCAPE), WORD(0)}) {
        int r = Run(spSystem, [closeKey](TSettingsForm& f) {
            auto* os = PageOf<TSetOsFrame>(f, spSystem);
            ClickBox(os->AutoRunCheckBox);
            ClickBox(os->MinCheckBox);
            Retype(os->IntervalSpinEdit->Edit(), "44");
            if (closeKey)
                Key(closeKey);
            else
                Click(At(f.CancelButton, 20, 10));
        });
        EXPECT_EQ(r, mrCancel);
        EXPECT_EQ(WrittenValueCount(), 0);
        for (int i = 0; i < GetFahSettings().Count(); ++i)
            EXPECT_FALSE(GetFahSettings().GetValue(i)->Changed()) << GetFahSettings().GetValue(i)->Name;
        std::string run;
        EXPECT_FALSE(ReadRunValue(run));
    }
    // Shown again: the page shows the reverted values.
    ASSERT_EQ(Run(spSystem, [](TSettingsForm&) { Key(VK_RETURN); }), mrOk);
    auto* os = PageOf<TSetOsFrame>(SettingsForm(), spSystem);
    EXPECT_FALSE(os->AutoRunCheckBox->Checked());
    EXPECT_EQ(os->IntervalSpinEdit->Value(), 10);
}

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp turn the pages in the
// tree's order, round the ends; the keyboard stays in the tree, or goes to
// the new page when it was on the old one.
TEST_F(SettingsDialog, CtrlTabAndCtrlPageKeysTurnThePages)
{
    const struct {
        std::vector<INPUT> keys;
        int page;
        bool onPage;
    } steps[] = {
        {Chord({VK_CONTROL, VK_NEXT}), spEvents, false},
        {Chord({VK_CONTROL, VK_SHIFT, VK_TAB}), spSystem, false},
        {Chord({VK_TAB}), spSystem, true},
        {Chord({VK_CONTROL, VK_TAB}), spEvents, true},
        {Chord({VK_CONTROL, VK_NEXT}), spDatabase, true},
        {Chord({VK_CONTROL, VK_PRIOR}), spEvents, true},
        {Chord({VK_CONTROL, VK_PRIOR}), spSystem, true},
        {Chord({VK_CONTROL, VK_SHIFT, VK_TAB}), spAddInfo, true},
        {Chord({VK_CONTROL, VK_TAB}), spSystem, true},
    };
    std::vector<std::pair<int, bool>> seen;
    const int r = Run(spSystem, [&](TSettingsForm& f) {
        const DWORD gui = GetWindowThreadProcessId(f.Handle(), nullptr);
        auto onPage = [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            TSetPageFrame* page = f.Page(f.CurrentPage());
            return GetGUIThreadInfo(gui, &info) && page && info.hwndFocus && IsChild(page->Handle(), info.hwndFocus);
        };
        for (const auto& step : steps) {
            Send(step.keys);
            WaitUntil([&] { return f.CurrentPage() == step.page && onPage() == step.onPage; }, 20000);
            seen.emplace_back(f.CurrentPage(), onPage());
        }
        Key(VK_ESCAPE);
    });
    EXPECT_EQ(r, mrCancel);
    ASSERT_EQ(seen.size(), std::size(steps));
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, steps[i].page) << "step " << i;
        EXPECT_EQ(seen[i].second, steps[i].onPage) << "step " << i;
    }
}

// Presses OK; a refusal that comes instead of closing is answered and the
// dialog cancelled. Returns the refusal's text, empty when OK closed it.
std::string PressOkAndTakeRefusal(TSettingsForm& f)
{
    Key(VK_RETURN);
    HWND dlg = nullptr;
    const HWND h = f.Handle();
    WaitUntil([&dlg, h] { return !IsWindowVisible(h) || (dlg = FindProcessDialog()) != nullptr; }, 20000);
    if (!dlg)
        return std::string();
    BoxTextShown(dlg);
    std::string told = WindowText(GetDlgItem(dlg, 0xFFFF));
    PressDialogButton(dlg, IDOK);
    WaitDialogGone();
    Key(VK_ESCAPE);
    return told;
}

// A text no number left in a box of a cancelled show is gone at the next
// show: OK there saves without a word about a page the user did not open.
TEST_F(SettingsDialog, ATextOfACancelledShowIsNotRefusedAtTheNextOk)
{
    ASSERT_EQ(Run(spEvents, [](TSettingsForm& f) {
                  Retype(PageOf<TSetEvFrame>(f, spEvents)->IntervalSpinEdit->Edit(), "15");
                  Key(VK_ESCAPE);
              }),
              mrCancel);
    std::string told;
    const int r = Run(spSystem, [&told](TSettingsForm& f) {
        told = PressOkAndTakeRefusal(f);
    });
    EXPECT_EQ(told, "");
    EXPECT_EQ(r, mrOk);
    EXPECT_EQ(PageOf<TSetEvFrame>(SettingsForm(), spEvents)->IntervalSpinEdit->Edit()->Text(), "30");
}

// A port box left with a bad text and then greyed out (the proxy is no
// longer used) does not hold up OK: the stored port stays as it was.
TEST_F(SettingsDialog, AGreyedOutPortIsNotRefused)
{
    Store("upUseProxy", true);
    Store("upProxyPort", 8080);
    std::string told;
    const int r = Run(spDatabase, [&told](TSettingsForm& f) {
        TSetUpFrame* page = PageOf<TSetUpFrame>(f, spDatabase);
        Retype(page->ProxyPortEdit, "x");
        Click(At(page->UseProxyCheckBox, 8, page->UseProxyCheckBox->Height() / 2));
        const HWND port = page->ProxyPortEdit->Handle();
        WaitUntil([port] { return !IsWindowEnabled(port); }, 20000);   // OK is pressed on the greyed box
        told = PressOkAndTakeRefusal(f);
    });
    EXPECT_EQ(told, "");
    EXPECT_EQ(r, mrOk);
    EXPECT_FALSE(Val("upUseProxy").AsBoolean());
    EXPECT_EQ(Val("upProxyPort").AsInteger(), 8080);
}

// OK refused by a page the user left: that page comes back as the user
// left it, the refused text still in its box.
TEST_F(SettingsDialog, ARefusalFromAPageLeftShowsItWithTheTextKept)
{
    std::string told, shown;
    bool onThePage = false;
    const int r = Run(spEvents, [&](TSettingsForm& f) {
        const HWND refresh = PageOf<TSetEvFrame>(f, spEvents)->IntervalSpinEdit->Edit()->Handle();
        Retype(PageOf<TSetEvFrame>(f, spEvents)->IntervalSpinEdit->Edit(), "15");
        TVirtualStringTree* tree = f.TreeFrame->VSTree;
        PVirtualNode node = tree->GetFirst();
        while (node && f.TreeFrame->NodeKind(node) != spDatabase)
            node = tree->GetNext(node);
        const RECT cell = tree->NodeDisplayRect(node, -1, true, true);
        Click(At(tree, (cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
        if (!WaitUntil([refresh] { return !IsWindowVisible(refresh); }, 20000))
            return;   // still on the events page: the checks below fail
        told = EnterAndAnswerBox();
        onThePage = IsWindowVisible(refresh);
        shown = WindowText(refresh);
        Key(VK_ESCAPE);
    });
    EXPECT_EQ(r, mrCancel);
    EXPECT_EQ(told, "The box \u201cRefresh every\u201d takes a whole number from 30 to 600.");
    EXPECT_TRUE(onThePage);
    EXPECT_EQ(shown, "15");
}

// The menu item linked to an action, searched depth first.
TMenuItem* MenuItemOf(TMenuItem& parent, TBasicAction* action)
{
    for (int i = 0; i < parent.Count(); ++i) {
        if (parent.Items(i)->Action() == action)
            return parent.Items(i);
        if (TMenuItem* found = MenuItemOf(*parent.Items(i), action))
            return found;
    }
    return nullptr;
}

// OK applies to the running main window: captions off leave only the
// toolbar's images while the menus keep their texts; the list's grid lines
// follow the page reached through the tree; the links and the auto-refresh
// tick follow their settings.
TEST_F(SettingsDialog, ApplyReachesTheMainWindow)
{
    TempDir dir("setmain");
    Store("dfTeamID", 777);
    Val("dfUserName").SetEdited(std::string("ann"));
    Val("dfUserName").Save();
    Store("osCpuUsageIndicator", false);
    TMainFormParams params;
    params.FolderListFile = dir.File("Brenix.ini");
    params.ErrorLogFile = dir.File("error.log");
    params.LoadDelay = 600000;
    TMainForm main(nullptr, params);
    main.Show();
    Pump(200);
    UseDataModule(main.MainDM);
    // Refresh with a picture, so that its button can go without text.
    {
        TBitmap b;
        b.SetSize(16, 16);
        b.Canvas().SetBrushColor(RGB(0, 128, 0));
        b.Canvas().FillRect(RECT{0, 0, 16, 16});
        main.MainDM->RefreshAction->SetImageIndex(main.MainDM->MainImageList->Add(b));
    }

    ASSERT_EQ(Run(spInterface, [](TSettingsForm& f) {
                  ClickBox(PageOf<TSetInFrame>(f, spInterface)->TBCaptionRadioGroup->Button(2));
                  // The tree's "Main data" node brings its page.
                  PVirtualNode node = nullptr;
                  for (PVirtualNode n = f.TreeFrame->VSTree->GetFirst(); n; n = f.TreeFrame->VSTree->GetNext(n))
                      if (f.TreeFrame->NodeKind(n) == spMainList)
                          node = n;
                  RECT r = f.TreeFrame->VSTree->NodeDisplayRect(node, -1, true);
                  Click(At(f.TreeFrame->VSTree, (r.left + r.right) / 2, (r.top + r.bottom) / 2));
                  WaitUntil([&f] {
                      auto* m = PageOf<TSetInMainFrame>(f, spMainList);
                      return m && m->HandleAllocated() && IsWindowVisible(m->Handle());
                  }, 20000);
                  if (auto* m = PageOf<TSetInMainFrame>(f, spMainList))
                      ClickBox(m->HorzLineCheckBox);
                  Key(VK_RETURN);
              }),
              mrOk);
    Pump(200);
    EXPECT_EQ(SettingsForm().CurrentPage(), spMainList);
    EXPECT_EQ(Val("inTBTypeCaption").AsInteger(), 2);
    EXPECT_FALSE(Val("inShowHorzGridLines").AsBoolean());
    TTBCustomItem* refresh = nullptr;
    TTBRootItem* bar = main.MainTBToolbar->Items();
    for (int i = 0; i < bar->Count(); ++i)
        if (bar->Items(i)->Action() == main.MainDM->RefreshAction)
            refresh = bar->Items(i);
    ASSERT_NE(refresh, nullptr);
    TTBItemViewer* viewer = main.MainTBToolbar->View()->Find(refresh);
    ASSERT_NE(viewer, nullptr);
    EXPECT_FALSE(viewer->CaptionShown());
    EXPECT_TRUE(viewer->ImageShown());
    const std::string caption = main.MainDM->RefreshAction->Caption();
    EXPECT_FALSE(caption.empty());
    EXPECT_EQ(refresh->Caption(), caption);
    TMenuItem* menu = MenuItemOf(main.MainMenu1->Items(), main.MainDM->RefreshAction);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->Caption, caption) << "the menus keep the text";
    TVTPaintOptions paint = main.fvFrame1->VSTree->TreeOptions().PaintOptions();
    EXPECT_FALSE(paint & toShowHorzGridLines);
    EXPECT_TRUE(paint & toShowVertGridLines);
    EXPECT_NE(main.MainDM->UserCardAction->Hint().find("teamnum=777&username=ann"), std::string::npos)
        << main.MainDM->UserCardAction->Hint();
    EXPECT_TRUE(main.MainDM->AutoUpdateAction->Checked());
    UseDataModule(dm.get());
}

TEST_F(SettingsDialog, LanguageSwitchRecaptionsTheDialog)
{
    TSettingsForm& form = SettingsForm();
    form.SelectPage(spSystem);
    const std::string english = form.Caption();
    SetLanguage(2);
    EXPECT_NE(form.Caption(), english);
    EXPECT_EQ(form.Caption(), sProgramSettings);
    EXPECT_EQ(PageOf<TSetOsFrame>(form, spSystem)->AutoRunCheckBox->Caption(), sAutoRunCB_Caption);
    EXPECT_EQ(form.TreeFrame->NodeText(form.TreeFrame->VSTree->GetFirst()), sSettings);
    SetLanguage(1);
    EXPECT_EQ(form.Caption(), english);
}

// In each language every page shows its captions whole (the text drawn in
// the control's font fits the control, no label lies under a box, nothing
// sticks out of the page), each check box, radio button, button and label
// that names a box has an access key of its own on the page, and the page
// tree shows every title. With real keys, Alt and a letter ticks a box, and
// Alt and a label's letter moves to the box it names.
TEST_F(SettingsDialog, EveryPageInEveryLanguage)
{
    TSettingsForm& form = SettingsForm();
    form.Show();
    TVirtualStringTree* tree = form.TreeFrame->VSTree;
    for (int lang : {2, 3, 1}) {
        SetLanguage(lang);
        SCOPED_TRACE(Languages[lang].Code);
        for (int page : {spSystem, spEvents, spDatabase, spUserTeam, spInterface, spMainList, spLogWindow, spAddInfo}) {
            form.SelectPage(page);
            Pump(30);
            std::vector<std::string> problems = UnfitCaptions(form);
            for (const std::string& p : AccessKeyProblems(AccessKeyCaptions(*form.Page(page))))
                problems.push_back(p);
            for (const std::string& problem : problems)
                ADD_FAILURE() << "page " << page << ": " << problem;
        }
        // A title wider than the tree is cut with an ellipsis or scrolled.
        RECT client;
        GetClientRect(tree->Handle(), &client);
        for (PVirtualNode n = tree->GetFirst(); n; n = tree->GetNext(n))
            EXPECT_LE(tree->NodeDisplayRect(n, -1, true, true).right, client.right) << form.TreeFrame->NodeText(n);
    }
    form.Hide();

    ASSERT_EQ(Run(spDatabase, [](TSettingsForm& f) {
                  auto* up = PageOf<TSetUpFrame>(f, spDatabase);
                  Send(AltChar(AccessKeyOf(up->UseProxyCheckBox->Caption())));
                  Send(AltChar(AccessKeyOf(up->LoginLabel->Caption())));
                  Type("joe");
                  Key(VK_RETURN);
              }),
              mrOk);
    EXPECT_TRUE(Val("upUseProxy").AsBoolean());
    EXPECT_EQ(Val("upProxyUserName").AsString(), "joe");
}
