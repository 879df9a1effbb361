// The data module's everyday actions: refresh, add, edit and delete a
// monitored folder (kept in the folder list file), copy, the toggles, the
// settings, column and About dialogs, the language switch and the links;
// and the captions of every action in the current language.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <new>

#include "Classes/FahSettings.h"
#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "FolderList.h"
#include "Frame/About.h"
#include "Frame/AddDir.h"
#include "Frame/SetColumn.h"
#include "Frame/fvFrCells.h"
#include "MainDM.h"
#include "controls/ActionImages.h"
#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Firewall.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

// Stores a setting's new value at once.
void SaveSetting(const char* name, const TAppVariant& value)
{
    TAppVal& v = GetFahSettings().FindValue(name);
    v.SetEdited(value);
    v.Save();
}

// The language string key when the current table has it.
bool LangText(const std::string& key, std::string& text)
{
    int i = LangStrings.IndexOfName(key);
    if (i < 0)
        return false;
    text = LangStrings.ValueFromIndex(i);
    return true;
}

// What the user is told when the folder list could not be written.
std::string NotSavedText(const std::exception& e)
{
    return sFolderListNotSaved + "\r\n\r\n" + ReasonText(e);
}

// Shows the add-folder dialog with accept asked before OK closes it.
int ShowFolderDialog(TAddDirForm& dlg, std::function<std::string()> accept)
{
    dlg.OnAccept = std::move(accept);
    int result = mrCancel;
    try {
        result = dlg.ShowModal();
    } catch (...) {
        dlg.OnAccept = nullptr;
        throw;
    }
    dlg.OnAccept = nullptr;
    return result;
}

// Marks a folder action as running while it lives. The keys of another one
// (typed while a dialog of this one is open, or queued behind its OK) must
// not act in the middle of it and free the row it works on.
class TFolderActionScope {
public:
    TFolderActionScope(bool& running, std::weak_ptr<void> alive) : running_(running), alive_(std::move(alive))
    {
        running_ = true;
    }
    ~TFolderActionScope()
    {
        if (!alive_.expired())
            running_ = false;
    }
    TFolderActionScope(const TFolderActionScope&) = delete;
    TFolderActionScope& operator=(const TFolderActionScope&) = delete;

private:
    bool& running_;
    std::weak_ptr<void> alive_;
};

}  // namespace

std::string ReasonText(const std::exception& e)
{
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return sOutOfMemoryNow;
    return e.what();
}

void Delay(DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - start;
        if (spent >= ms || Application().Terminated())
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent,
                                  QS_POSTMESSAGE | QS_SENDMESSAGE | QS_PAINT | QS_TIMER | QS_HOTKEY);
        Application().ProcessMessagesButInput();
    }
}

bool OpenWebAddress(const std::string& url)
{
    if (!IsWebAddress(url))
        return false;
    auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteW(Application().Handle(), L"open", Utf8ToWide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return r > 32;
}

void TMainDM::CreateActions()
{
    FolderListFile = DefaultFolderListFile();
    MainImageList = new TImageList(this);
    MainImageList->SetName("MainImageList");
    ActionList1->SetImages(MainImageList);

    auto make = [this](TAction*& a, const char* name, int tag, TShortCut shortCut, void (TMainDM::*execute)(TObject*)) {
        a = new TAction(this);
        a->SetName(name);
        a->SetActionList(ActionList1);
        a->Tag = tag;
        a->SetShortCut(shortCut);
        if (execute)
            a->SetOnExecute([this, execute](TObject* s) { (this->*execute)(s); });
    };
    make(RefreshAction, "RefreshAction", 0, ShortCut(VK_F5, 0), &TMainDM::RefreshActionExecute);
    make(AddFahAction, "AddFahAction", 0, ShortCut('N', ssCtrl), &TMainDM::AddFahActionExecute);
    make(EditFahAction, "EditFahAction", 0, ShortCut('E', ssCtrl), &TMainDM::EditFahActionExecute);
    make(DelFahAction, "DelFahAction", 0, ShortCut(VK_DELETE, ssCtrl), &TMainDM::DelFahActionExecute);
    make(HideNotActiveFodersAction, "HideNotActiveFodersAction", 0, ShortCut(VK_F9, 0),
         &TMainDM::HideNotActiveFodersActionExecute);
    make(OptionsAction, "OptionsAction", 0, ShortCut(VK_F11, ssCtrl | ssShift), &TMainDM::OptionsActionExecute);
    make(FahColAction, "FahColAction", 0, 0, &TMainDM::FahColActionExecute);
    make(CopyToClipBrdAction, "CopyToClipBrdAction", 0, ShortCut('C', ssCtrl), &TMainDM::CopyToClipBrdActionExecute);
    make(AutoUpdateAction, "AutoUpdateAction", 0, ShortCut('U', ssCtrl), &TMainDM::AutoUpdateActionExecute);
    make(ExitAction, "ExitAction", 0, ShortCut(VK_F10, 0), &TMainDM::ExitActionExecute);
    make(AboutAction, "AboutAction", 0, ShortCut(VK_F1, 0), &TMainDM::AboutActionExecute);
    make(HelpAction, "HelpAction", 0, 0, nullptr);
    make(LngEnAction, "LngEnAction", 1, 0, &TMainDM::LngEnActionExecute);
    make(LngRuAction, "LngRuAction", 2, 0, &TMainDM::LngEnActionExecute);
    make(LngUaAction, "LngUaAction", 3, 0, &TMainDM::LngEnActionExecute);
    make(HideCpuUsageAction, "HideCpuUsageAction", 0, 0, &TMainDM::HideCpuUsageActionExecute);
    make(OperStatAction, "OperStatAction", 10, 0, &TMainDM::OperStatActionExecute);
    make(FullStatAction, "FullStatAction", 11, 0, &TMainDM::OperStatActionExecute);
    make(TeamStatAction, "TeamStatAction", 12, 0, &TMainDM::OperStatActionExecute);
    make(KPXForumAction, "KPXForumAction", 13, 0, &TMainDM::OperStatActionExecute);
    make(CurProjAction, "CurProjAction", 14, 0, &TMainDM::OperStatActionExecute);
    make(UserCardAction, "UserCardAction", 15, 0, &TMainDM::OperStatActionExecute);
    make(ServerStatAction, "ServerStatAction", 16, 0, &TMainDM::OperStatActionExecute);
    make(OfficialForumAction, "OfficialForumAction", 0, 0, &TMainDM::OperStatActionExecute);

    auto selectedRow = [this](TObject* s) { DelFahActionUpdate(s); };
    EditFahAction->OnUpdate = selectedRow;
    DelFahAction->OnUpdate = selectedRow;
    FahColAction->OnUpdate = [this](TObject* s) { FahColActionUpdate(s); };

    AutoUpdateAction->SetChecked(true);
    try {
        HideNotActiveFodersAction->SetChecked(GetFahSettings().FindValue("inHideShutdownFolders").AsBoolean());
    } catch (...) {
        HandleCurrentException();
    }

    KPXForumAction->SetHint(kTeamForumURL);
    CurProjAction->SetHint(kDefaultSummaryURL);
    ServerStatAction->SetHint(kServerStatURL);
    OfficialForumAction->SetHint(kOfficialForumURL);
    SetLinkAddresses(kDefaultTeamID, "");

    SetActionImages();
    LoadHtmIcon();
    ApplyLanguage();
}

void TMainDM::SetActionImages()
{
    const int first = AddActionImages(*MainImageList);
    if (first < 0)
        return;
    const std::pair<TAction*, TActionImage> images[] = {
        {RefreshAction, aiRefresh}, {AddFahAction, aiAddFolder}, {EditFahAction, aiEditFolder},
        {DelFahAction, aiDeleteFolder}, {ServiceAction, aiService}, {StopFAHServiceAction, aiStopService},
        {RestartFAHServiceAction, aiRestartService}, {StartupTypeAction, aiStartupType},
        {StartupTypeAutomaticAction, aiStartAuto}, {StartupTypeManualAction, aiStartManual},
        {StartupTypeDisabledAction, aiStartDisabled}, {UpdateFahBaseAction, aiUpdateDatabase},
        {CheckForUpdateAction, aiCheckUpdate}, {HideNotActiveFodersAction, aiHideInactive},
        {OptionsAction, aiOptions}, {FahColAction, aiColumns}, {CopyToClipBrdAction, aiCopy},
        {AutoUpdateAction, aiAutoUpdate}, {ExitAction, aiExit}, {AboutAction, aiAbout}, {HelpAction, aiHelp},
        {LngEnAction, aiLangEn}, {LngRuAction, aiLangRu}, {LngUaAction, aiLangUa},
        {HideCpuUsageAction, aiCpuUsage},
    };
    for (const auto& [action, image] : images)
        action->SetImageIndex(first + image);
    // The links show the shell's picture of a web page when it has one.
    for (TAction* a : LinkActions())
        a->SetImageIndex(first + aiWebLink);
}

std::vector<TAction*> TMainDM::LinkActions() const
{
    return {OperStatAction, FullStatAction, TeamStatAction, KPXForumAction,
            CurProjAction,  UserCardAction, ServerStatAction, OfficialForumAction};
}

// The icon the shell shows for web pages: asked for a file of that kind made
// for the moment in the temporary folder.
void TMainDM::LoadHtmIcon()
{
    std::wstring path = Utf8ToWide(TempFolder() + "Brenix.htm");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    std::vector<wchar_t> buf(path.begin(), path.end());
    buf.resize(path.size() + MAX_PATH, L'\0');
    WORD index = 0;
    HICON icon = ExtractAssociatedIconW(GetModuleHandleW(nullptr), buf.data(), &index);
    if (!icon) {
        // Some shells give nothing there; the file-kind icon is the same picture.
        SHFILEINFOW info = {};
        if (SHGetFileInfoW(path.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                           SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
            icon = info.hIcon;
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!icon)
        return;
    htmIconIndex_ = MainImageList->AddIcon(icon);
    DestroyIcon(icon);
    if (htmIconIndex_ < 0)
        return;
    for (TAction* a : LinkActions())
        a->SetImageIndex(htmIconIndex_);
}

void TMainDM::SetLinkAddresses(int teamID, const std::string& userName)
{
    OperStatAction->SetHint(Format("%s?qtype=teampage&teamnum=%d", kStatServerURL, teamID));
    FullStatAction->SetHint(Format("%steam_summary.php?s=&t=%d", kTeamStatsSiteURL, teamID));
    TeamStatAction->SetHint(Format("%steam_list.php?s=&t=%d", kTeamStatsSiteURL, teamID));
    UserCardAction->SetHint(Format("%s?qtype=userpage&teamnum=%d&username=%s", kStatServerURL, teamID,
                                   PercentEncode(userName).c_str()));
}

void TMainDM::ApplyLanguage()
{
    for (int i = 0; i < ActionList1->ActionCount(); ++i) {
        TCustomAction* a = ActionList1->Actions(i);
        std::string text;
        if (a == UserCardAction) {
            a->SetCaption(sUserCard_Caption);
        } else if (a == HelpAction) {
            a->SetCaption(sHelp);
        } else if (a == ServiceAction) {
            // The toolbar's drop-down: its letter is not the menu bar's
            // service title's (TMainForm::MenuBarCaptions).
            a->SetCaption(CurrentLanguage == 1 ? "F@H " + sServiceButton : sServiceButton + " F@H");
        } else if (a == LngEnAction || a == LngRuAction || a == LngUaAction) {
            // Each language is named in its own words, its first letter the access key.
            if (a->Tag >= 1 && a->Tag <= kLanguageCount && !Languages[a->Tag].Name.empty())
                a->SetCaption("&" + Languages[a->Tag].Name);
            a->SetChecked(a->Tag == CurrentLanguage);
        } else if (LangText("s" + a->Name() + "_Caption", text)) {
            a->SetCaption(text);
        }
        if (LangText("s" + a->Name() + "_Hint", text))
            a->SetHint(text);
    }
    // An error still shown is told again in the new language.
    if (statusError_)
        StatusError(statusError_);
}

TFahView* TMainDM::ViewOfFolder(const std::string& folder, const TFahView* except) const
{
    if (!Host.Views)
        return nullptr;
    const std::string wanted = IncludeTrailingPathDelimiter(folder);
    for (TFahView* v : Host.Views()) {
        if (!v || v == except || !v->Fah())
            continue;
        TFah& fah = *v->Fah();
        fah.Lock();
        std::string f = fah.Folder;
        fah.Unlock();
        if (SameTextUnicode(IncludeTrailingPathDelimiter(f), wanted))
            return v;
    }
    return nullptr;
}

void TMainDM::SaveFahToIni(const std::string& folder, const std::string& alias, const std::string& compConfig,
                           const std::string& serviceName, bool showInHint)
{
    WriteFolderEntry(FolderListFile, {IncludeTrailingPathDelimiter(folder), alias, compConfig, serviceName, showInHint});
}

void TMainDM::DeleteFahFromIni(const std::string& folder)
{
    RemoveFolderEntry(FolderListFile, folder);
}

// ---- Handlers

void TMainDM::RefreshActionExecute(TObject*)
{
    if (Host.RefreshAll)
        Host.RefreshAll();
}

namespace {

// A path that means the same whatever the current folder: a drive and its
// root ("C:\fah"), or a computer and a share ("\\box\share").
bool IsFullPath(const std::string& path)
{
    auto slash = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && slash(path[2]))
        return true;
    if (path.size() < 5 || !slash(path[0]) || !slash(path[1]) || slash(path[2]))
        return false;
    const size_t share = path.find_first_of("\\/", 2);
    return share != std::string::npos && share + 1 < path.size() && !slash(path[share + 1]);
}

}  // namespace

std::string TMainDM::RefusedFolder(const std::string& folder, const TFahView* except) const
{
    if (folder.empty())
        return sFolderEmpty;
    // "client" alone would mean a folder of whatever is current at the time.
    if (!IsFullPath(folder))
        return sFolderNotFull;
    // One folder, one row: two would share one section of the file.
    if (ViewOfFolder(folder, except))
        return FillIn(sFolderListed, {folder});
    return std::string();
}

void TMainDM::AddFahActionExecute(TObject*)
{
    if (folderActionRunning_)
        return;
    TFolderActionScope running(folderActionRunning_, AliveToken());
    TAddDirForm& dlg = AddDirForm();
    dlg.SetCaption(sAddFolder);
    // A new Add, not the folder edited last.
    dlg.SetNewFolder();
    dlg.SetAlias("");
    dlg.SetServiceName("");
    dlg.SetConfigText("");
    dlg.SetShowInHint(false);
    std::weak_ptr<void> alive = AliveToken();
    // The folder is checked and saved before the dialog closes: what the
    // user typed stays there when either fails.
    TFolderEntry e;
    bool saved = false;
    int result = ShowFolderDialog(dlg, [&, alive]() -> std::string {
        if (alive.expired())
            return std::string();
        e = {dlg.Folder(), dlg.Alias(), dlg.ConfigText(), dlg.ServiceName(), dlg.ShowInHint()};
        std::string why = RefusedFolder(e.Folder, nullptr);
        if (!why.empty())
            return why;
        try {
            SaveFahToIni(e.Folder, e.Alias, e.CompConfig, e.ServiceName, e.ShowInHint);
        } catch (const std::exception& ex) {
            return NotSavedText(ex);
        }
        saved = true;
        return std::string();
    });
    if (result != mrOk || alive.expired() || !saved)
        return;
    if (Host.AddFah)
        Host.AddFah(e);
    if (Host.ApplyFilters)
        Host.ApplyFilters();
}

void TMainDM::EditFahActionExecute(TObject*)
{
    if (folderActionRunning_)
        return;
    TFolderActionScope running(folderActionRunning_, AliveToken());
    TFahView* view = Host.SelectedView ? Host.SelectedView() : nullptr;
    if (!view || !view->Fah())
        return;
    TFah& fah = *view->Fah();
    fah.Lock();
    TFolderEntry old{fah.Folder, fah.Alias, fah.CompConfig, fah.ServiceName, fah.ShowInHint};
    fah.Unlock();

    TAddDirForm& dlg = AddDirForm();
    dlg.SetFolder(old.Folder);
    dlg.SetAlias(old.Alias);
    dlg.SetServiceName(old.ServiceName);
    dlg.SetShowInHint(old.ShowInHint);
    dlg.SetConfigText(old.CompConfig);
    dlg.SetCaption(sEditFolder);
    std::weak_ptr<void> alive = AliveToken();
    TFolderEntry e;
    bool saved = false;
    int result = ShowFolderDialog(dlg, [&, alive]() -> std::string {
        // The row may have gone while the dialog was open: nothing to save.
        if (alive.expired() || !Host.SelectedView || Host.SelectedView() != view)
            return std::string();
        e = {dlg.Folder(), dlg.Alias(), dlg.ConfigText(), dlg.ServiceName(), dlg.ShowInHint()};
        std::string why = RefusedFolder(e.Folder, view);
        if (!why.empty())
            return why;
        // Out with the old entry and in with the new in one write of the file.
        try {
            ReplaceFolderEntry(FolderListFile, old.Folder, e);
        } catch (const std::exception& ex) {
            return NotSavedText(ex);
        }
        saved = true;
        return std::string();
    });
    if (result != mrOk || alive.expired() || !saved)
        return;
    if (e.Folder != old.Folder)
        fah.SetFolder(e.Folder);
    fah.Lock();
    fah.Alias = e.Alias;
    fah.ServiceName = e.ServiceName;
    fah.ShowInHint = e.ShowInHint;
    fah.SetCompConfig(e.CompConfig);
    fah.Unlock();
    Delay(500);
    if (alive.expired())
        return;
    if (Host.ApplyFilters)
        Host.ApplyFilters();
}

void TMainDM::DelFahActionUpdate(TObject* sender)
{
    if (auto* a = dynamic_cast<TCustomAction*>(sender))
        a->SetEnabled(Host.SelectedView && Host.SelectedView() != nullptr);
}

void TMainDM::DelFahActionExecute(TObject*)
{
    if (folderActionRunning_)
        return;
    TFolderActionScope running(folderActionRunning_, AliveToken());
    TFahView* view = Host.SelectedView ? Host.SelectedView() : nullptr;
    if (!view || !view->Fah())
        return;
    std::string folder = view->Fah()->Folder;
    std::string text = Format("%s %s ?", sDeleteMonitoring.c_str(), view->Fah()->GetDisplayName().c_str());
    std::weak_ptr<void> alive = AliveToken();
    int answer = AppMessageBox(sConfirm, text, MB_YESNOCANCEL | MB_ICONQUESTION, LangBoxButtons());
    if (answer != IDYES || alive.expired() || !Host.Views)
        return;
    // The folder confirmed is deleted wherever the selection went meanwhile
    // (the first seconds of a long start move it); one whose row went is not.
    const std::vector<TFahView*> views = Host.Views();
    if (std::find(views.begin(), views.end(), view) == views.end())
        return;
    // The row stays while its entry does.
    try {
        DeleteFahFromIni(folder);
    } catch (const std::exception& e) {
        AppMessageBox(sErrorL_Caption, NotSavedText(e), MB_OK | MB_ICONERROR);
        return;
    }
    std::string rcg = view->ProjectRcgText;
    if (Host.DeleteRow)
        Host.DeleteRow(view);
    if (Host.WorkUnitChange)
        Host.WorkUnitChange(rcg, "xxx");
    if (Host.ApplyFilters)
        Host.ApplyFilters();
}

void TMainDM::HideNotActiveFodersActionExecute(TObject*)
{
    HideNotActiveFodersAction->SetChecked(!HideNotActiveFodersAction->Checked());
    SaveSetting("inHideShutdownFolders", HideNotActiveFodersAction->Checked());
    // The rows hide or show now on what the clients last told; the polls
    // that follow correct them when that has changed.
    if (Host.ApplyFilters)
        Host.ApplyFilters();
    if (Host.RefreshAll)
        Host.RefreshAll();
}

void TMainDM::OptionsActionExecute(TObject*)
{
    if (!Host.ShowSettings)
        return;
    // OK has saved them (the dialog stays open until it could); the
    // settings outlive this module: they are reverted whatever happened
    // meanwhile.
    if (Host.ShowSettings() != mrOk)
        GetFahSettings().RevertAll();
}

// The column dialog is about the client list whatever has the keyboard:
// the item stays where it is in every menu (the header's menu ends with
// it) and is usable while the list is there.
void TMainDM::FahColActionUpdate(TObject* sender)
{
    if (auto* a = dynamic_cast<TCustomAction*>(sender))
        a->SetEnabled(Host.ListColumns && Host.ListColumns() != nullptr);
}

void TMainDM::FahColActionExecute(TObject*)
{
    if (TVirtualTreeColumns* columns = Host.ListColumns ? Host.ListColumns() : nullptr)
        SetColumnForm().Execute(*columns);
}

void TMainDM::CopyToClipBrdActionExecute(TObject*)
{
    if (!Host.CopyToClipboard)
        return;
    // A copy that failed (no memory for the text, the clipboard held by
    // another program) is told, not only logged.
    std::string error;
    try {
        Host.CopyToClipboard();
    } catch (const std::exception& e) {
        error = ReasonText(e);
        HandleCurrentException();
    }
    if (!error.empty())
        AppMessageBox(sErrorL_Caption, FillIn(sCopyFailed, {error}), MB_OK | MB_ICONERROR);
}

void TMainDM::AutoUpdateActionExecute(TObject*)
{
    AutoUpdateAction->SetChecked(!AutoUpdateAction->Checked());
    if (Host.SetAutoUpdate)
        Host.SetAutoUpdate(AutoUpdateAction->Checked());
    SaveSetting("evAutoUpdate", AutoUpdateAction->Checked());
}

void TMainDM::ExitActionExecute(TObject*)
{
    if (Host.Close)
        Host.Close();
}

void TMainDM::AboutActionExecute(TObject*)
{
    AboutForm().ShowModal();
}

void TMainDM::LngEnActionExecute(TObject* sender)
{
    auto* chosen = dynamic_cast<TCustomAction*>(sender);
    if (!chosen)
        return;
    for (TAction* a : {LngEnAction, LngRuAction, LngUaAction})
        a->SetChecked(false);
    chosen->SetChecked(true);
    std::weak_ptr<void> alive = AliveToken();
    SetLanguage(chosen->Tag);
    if (!alive.expired() && Host.RefreshAll)
        Host.RefreshAll();
}

void TMainDM::HideCpuUsageActionExecute(TObject*)
{
    SaveSetting("osCpuUsageIndicator", false);
    if (Host.SetCpuUsageIndicator)
        Host.SetCpuUsageIndicator(false);
}

void TMainDM::OperStatActionExecute(TObject* sender)
{
    if (auto* a = dynamic_cast<TCustomAction*>(sender))
        OpenWebAddress(a->Hint());
}
