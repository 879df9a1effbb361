#include "Main.h"

#include <algorithm>

#include "Classes/Fah.h"
#include "Classes/FahSettings.h"
#include "Classes/FahUtils.h"
#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "Classes/ProcessInfo.h"
#include "Classes/CpuUsageThread.h"
#include "Classes/SingleInstance.h"
#include "FolderList.h"
#include "Frame/Settings.h"
#include "Frame/fvFr.h"
#include "MainDM.h"
#include "controls/CoolTrayIcon.h"
#include "controls/Placement.h"
#include "controls/SimpleTimer.h"
#include "controls/StatusBarEx.h"
#include "controls/ThemeMgr.h"
#include "controls/VersionInfo.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/Firewall.h"
#include "platform/Graphics.h"
#include "platform/ImageList.h"
#include "platform/Menus.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/TextFit.h"
#include "toolbars/TBCommon.h"
#include "toolbars/TBDock.h"
#include "toolbars/TBToolbar.h"
#include "Lib2/VirtualTree/VTHeader.h"

std::string CaptionTitle;
std::string ProgramVersion;

namespace {

std::string SettingsKey(const char* sub)
{
    std::string path = GetFahSettings().RegPath();
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    return path + sub;
}

bool Setting(const char* name)
{
    return GetFahSettings().FindValue(name).AsBoolean();
}

}  // namespace

void AppendLineToFile(const std::string& file, const std::string& line)
{
    HANDLE h = CreateFileW(Utf8ToWide(file).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw Exception("Can't open " + file);
    std::string text = line + "\r\n";
    DWORD written = 0;
    BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    if (!ok || written != text.size())
        throw Exception("Can't write " + file);
}

TMainForm::TMainForm(TComponent* owner, TMainFormParams params) : TForm(owner), params_(std::move(params))
{
    if (params_.FolderListFile.empty())
        params_.FolderListFile = DefaultFolderListFile();
    if (params_.ErrorLogFile.empty())
        params_.ErrorLogFile = AppDir() + "error.log";
    BeginLoading();
    SetName("MainForm");
    SetBounds(100, 100, 800, 600);
    OnShow = [this](TObject*) { FormShow(); };
    OnCloseQuery = [this](TObject*, bool& canClose) { FormCloseQuery(canClose); };

    // 1. Nothing drawn yet, no sampler, not shutting down: the members say so.
    // 2. The clients report to this window.
    NotifyWindows = {Handle()};
    // 3. Hints into the status bar, errors into the error log.
    oldOnHint_ = Application().OnHint;
    oldOnException_ = Application().OnException;
    Application().OnHint = [this](TObject*) {
        if (sbMain && sbMain->PanelCount() > 1)
            sbMain->SetPanelText(1, " " + Application().Hint());
    };
    Application().OnException = [this](const std::string& message) { AppException(message); };
    // 4. The actions.
    MainDM = new TMainDM(this);
    CreateComponents();
    WireDataModule();
    // 5. The settings and the stored placement.
    GetFahSettings().LoadAll();
    GetFahSettings().OnApply = [this](TFahSettings& s) { ApplySettings(s, true); };
    MainFormStorage = new TFormStorage(this);
    MainFormStorage->SetName("MainFormStorage");
    MainFormStorage->SetUseRegistry(true);
    MainFormStorage->SetIniFileName(GetFahSettings().RegPath());
    MainFormStorage->SetIniSection("Main");
    MainFormStorage->SetOptions(fpPosition);
    MainFormStorage->MinMaxInfo().SetMinTrackWidth(400);
    MainFormStorage->MinMaxInfo().SetMinTrackHeight(300);
    for (const char* prop : {"MainTBToolbar.CurrentDock", "MainTBToolbar.DockPos", "MainTBToolbar.DockRow"})
        MainFormStorage->StoredProps().Add(prop);
    MainFormStorage->StoredValues().Add("AutoUpdate").SetValue(true);
    // 6. Shown by the delayed load.
    Application().ShowMainForm = false;
    // 7.
    SetMinimizedToTray(Setting("osMinimizeToTray"));
    // 8. Caption parts from the version block.
    TVersionInfo version(ExeFileName());
    CaptionTitle = Application().Title() + " " + version.GetVerValue("LEGALCOPYRIGHT");
    ProgramVersion = version.GetVerValue("FILEVERSION");
    // 9. The list's messages come here.
    fvFrame1->SetTargetWindow(Handle());
    // 10. The status icon.
    CreateTrayIcons();
    // 11. The clients' work comes first.
    SetPriorityClass(GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS);
    // 12.
    ApplyLanguage();
    languageHandler_ = AddLanguageHandler([this] { ApplyLanguage(); });
    EndLoading();
    // The placement and the toolbar's place now; later shows keep where the
    // window is.
    try {
        MainFormStorage->RestoreFormPlacement();
    } catch (...) {
        HandleCurrentException();
    }
    // 13. Timers.
    updateCheckTimer_.reset(TSimpleTimer::CreateEx(1800000, [this](TObject*) { UpdateCheckTimerTick(); }));
    updateCheckTimer_->SetEnabled(true);
    finishedUnitTimer_.reset(TSimpleTimer::CreateEx(300000, [this](TObject*) { FinishedUnitTimerTick(); }));
    finishedUnitTimer_->AutoDisable = true;
    restartRetryTimer_.reset(TSimpleTimer::CreateEx(1000, [this](TObject*) { RestartRetryTick(); }));
    loadTimer_.reset(TSimpleTimer::CreateEx(params_.LoadDelay, [this](TObject*) { LoadTimerTick(); }));
    loadTimer_->AutoDisable = true;
    loadTimer_->SetEnabled(true);
}

TMainForm::~TMainForm()
{
    if (!closed_)
        Closing();
    RemoveLanguageHandler(languageHandler_);
    NotifyWindows.clear();
    finishedQueue_.clear();
    loadTimer_.reset();
    selectTimer_.reset();
    updateCheckTimer_.reset();
    finishedUnitTimer_.reset();
    eventTimer_.reset();
    restartRetryTimer_.reset();
    GetFahSettings().OnApply = nullptr;
    Application().OnHint = oldOnHint_;
    Application().OnException = oldOnException_;
    DoDestroy();
}

void TMainForm::CreateComponents()
{
    // Visual styles for the standard controls of the window.
    ThemeManager1 = new TThemeManager(this);
    ThemeManager1->SetName("ThemeManager1");

    TopTBDock = new TTBDock(this);
    TopTBDock->SetName("TopTBDock");
    TopTBDock->SetPosition(dpTop);
    TopTBDock->SetParent(this);
    TBDock2 = new TTBDock(this);
    TBDock2->SetName("TBDock2");
    TBDock2->SetPosition(dpLeft);
    TBDock2->SetParent(this);
    TBDock3 = new TTBDock(this);
    TBDock3->SetName("TBDock3");
    TBDock3->SetPosition(dpRight);
    TBDock3->SetParent(this);

    sbMain = new TkkaStatusBar(this);
    sbMain->SetName("sbMain");
    sbMain->SetAlign(TAlign::alBottom);
    sbMain->AddPanel(0);
    sbMain->AddPanel(1000);
    sbMain->SetParent(this);

    fvFrame1 = new TfvFrame(this);
    fvFrame1->SetName("fvFrame1");
    fvFrame1->SetAlign(TAlign::alClient);
    fvFrame1->SetParent(this);
    // The list settled after a refresh: the progress texts go, an error a
    // download left stays for the user to read, and so does the text of a
    // download still running.
    fvFrame1->OnSettled = [this](TObject*) {
        if (statusError_ || (MainDM && MainDM->Downloading()))
            return;
        sbMain->SetPanelWidth(0, 0);
        sbMain->SetPanelText(0, "");
    };

    CreateToolbar();
    CreateMenus();
}

void TMainForm::WireDataModule()
{
    TMainDMHost& h = MainDM->Host;
    TfvFrame* f = fvFrame1;
    h.SelectedClient = [f](TClientService& c) {
        TFahView* v = f->SelectedView();
        if (!v)
            return false;
        c.Folder = v->Folder;
        c.ServiceName = v->ServiceName;
        return true;
    };
    h.Clients = [f] {
        std::vector<TClientService> out;
        for (PVirtualNode n : f->ClientNodes())
            if (TFahView* v = f->GetFahView(n))
                out.push_back({v->Folder, v->ServiceName});
        return out;
    };
    h.ComputerOfPath = [](const std::string& path) { return GetComputerOfPath(path); };
    h.SetStatusPanel = [this](int width, const std::string& text) {
        statusError_ = false;
        if (width >= 0)
            sbMain->SetPanelWidth(0, width);
        sbMain->SetPanelText(0, text);
    };
    h.SetStatusError = [this](const std::string& text) {
        statusError_ = true;
        // As wide as the text, but the hint panel beside it keeps a third
        // of the bar: a long error is cut at the panel's edge.
        int width = std::max(400, TextWidth(sbMain->Font(), text, false) + 16);
        if (const int bar = sbMain->ClientRect().right; bar > 0)
            width = std::min(width, bar * 2 / 3);
        sbMain->SetPanelWidth(0, width);
        sbMain->SetPanelText(0, text);
    };
    // F5 and a delete give the folders left out at the start another try.
    h.RefreshAll = [this, f] {
        WatchLeftOutFolders();
        f->RefreshAll();
    };
    h.TellInTray = [this](const std::string& text) {
        if (!minimizedToTray_ && HandleAllocated() && IsWindowVisible(Handle()))
            return false;
        CoolTrayIcon1->ShowBalloonHint(Application().Title() + ": " + sUpdateError, text, NIIF_ERROR, 30);
        return true;
    };
    h.SelectedView = [f] { return f->SelectedView(); };
    h.Views = [f] {
        std::vector<TFahView*> out;
        for (PVirtualNode n : f->ClientNodes())
            if (TFahView* v = f->GetFahView(n))
                out.push_back(v);
        return out;
    };
    h.SelectView = [f](TFahView* view) {
        for (PVirtualNode n : f->ClientNodes())
            if (f->GetFahView(n) == view) {
                f->SelectNode(n);
                f->VSTree->ScrollIntoView(n, false, false);
                return;
            }
    };
    h.AddFah = [f](const TFolderEntry& e) {
        TAddFahParams p;
        p.folder = e.Folder;
        p.alias = e.Alias;
        p.compConfig = e.CompConfig;
        p.serviceName = e.ServiceName;
        p.showInHint = e.ShowInHint;
        p.notifyWindows = NotifyWindows;
        p.updateNow = true;
        f->AddFah(p);
    };
    h.DeleteRow = [this, f](TFahView* view) {
        for (PVirtualNode n : f->ClientNodes())
            if (f->GetFahView(n) == view) {
                f->DeleteClientNode(n);
                break;
            }
        WatchLeftOutFolders();
    };
    h.WorkUnitChange = [f](const std::string& oldText, const std::string& newText) {
        for (PVirtualNode n : f->ClientNodes())
            if (TFahView* v = f->GetFahView(n)) {
                f->OnWorkUnitChange(*v, oldText, newText);
                return;
            }
    };
    h.ApplyFilters = [f] { f->ApplyFilters(); };
    h.CopyToClipboard = [f] { f->CopyToClipboard(); };
    h.SetAutoUpdate = [f](bool on) { f->SetAutoUpdate(on); };
    h.SetCpuUsageIndicator = [this](bool on) { SetCpuUsageIndicator(on); };
    h.ListColumns = [f] { return &f->VSTree->Header().Columns(); };
    h.ShowSettings = [this] {
        TSettingsForm& f = SettingsForm();
        f.SetActions(MainDM->FahColAction, MainDM->UpdateFahBaseAction);
        f.SetUpdateThroughShownProxy([dm = MainDM, alive = MainDM->AliveToken()] {
            return alive.expired() ? std::string() : dm->UpdateFahBaseThroughEditedProxy();
        });
        return f.ShowModal();
    };
    h.Close = [this] { Close(); };
    h.ServiceRestarted = [this](const std::string& computer, const std::string& service) {
        ServiceRestarted(computer, service);
    };
}

void TMainForm::FormShow()
{
    ResetTrayIcon();
}

void TMainForm::ApplyLanguage()
{
    SetCaption(CaptionTitle + " [" + sVersion + " " + ProgramVersion + "]");
    if (RestoreN)
        RestoreN->Caption = minimizedToTray_ ? sRestore : sMinimize;
    if (AppTitleN)
        AppTitleN->Caption = EscapeAmpersands(Application().Title() + " - " + StripAccelChars(sCpuUsageCB_Caption));
    fvFrame1->ApplyLanguage();
    MainDM->ApplyLanguage();
    if (MainMenu1) {
        MenuBarCaptions();
        MainMenu1->Rebuild();
    }
}

// ---- delayed start ----

void TMainForm::LoadTimerTick()
{
    loaded_ = true;
    TFahSettings& s = GetFahSettings();
    // 1. Column layout.
    try {
        fvFrame1->LoadColumns(SettingsKey("FAHView"));
    } catch (...) {
        HandleCurrentException();
    }
    // 2, 3. The folders.
    std::vector<std::string> notWatched;
    std::string listError = LoadFolders(notWatched);
    // 4. Shown unless the program starts in the tray.
    Application().ShowMainForm = !s.FindValue("osMinimizeToTray").AsBoolean();
    // 5. Window size.
    MainFormStorage->SetActive(false);
    SetBounds(Left(), Top(), s.FindValue("fpWidth").AsInteger(), s.FindValue("fpHeight").AsInteger());
    int state = s.FindValue("fpState").AsInteger();
    if (Application().ShowMainForm) {
        Show();
        if (state == static_cast<int>(TWindowState::wsMaximized))
            SetWindowState(TWindowState::wsMaximized);
        // The keys work in the list from the start.
        FocusList();
    }
    // 6.
    if (s.FindValue("osCpuUsageIndicator").AsBoolean() && IsWin2000OrLater())
        SetCpuUsageIndicator(true);
    // 7.
    fvFrame1->SetAutoUpdateInterval(static_cast<DWORD>(s.FindValue("evAutoUpdateInterval").AsInteger()) * 1000);
    // The stored settings reach the interface now, not only at the first OK.
    try {
        ApplySettings(s, false);
    } catch (...) {
        HandleCurrentException();
    }
    // 8.
    selectTimer_.reset(TSimpleTimer::CreateEx(params_.SelectDelay, [this](TObject*) { SelectTimerTick(); }));
    selectTimer_->AutoDisable = true;
    selectTimer_->SetEnabled(true);
    // A folder list that can't be read is not an empty one: the user hears
    // of it, and the file is kept as it is; the same for lines of it whose
    // keys are not read.
    if (!listError.empty()) {
        std::weak_ptr<void> alive = AliveToken();
        AppMessageBox(sErrorL_Caption, listError, MB_OK | MB_ICONERROR);
        if (alive.expired())
            return;
    }
    // Settings that could not be read are the defaults: the user hears of
    // it once, at the start.
    if (!s.ReadError().empty()) {
        std::weak_ptr<void> alive = AliveToken();
        AppMessageBox(sErrorL_Caption, FillIn(sSettingsNotRead, {s.ReadError()}), MB_OK | MB_ICONWARNING);
        if (alive.expired())
            return;
    }
    // Folders listed but not watched are told once, the first of them by name.
    if (!notWatched.empty()) {
        constexpr size_t kNamed = 20;
        std::string text = FillIn(sFoldersNotWatched, {std::to_string(notWatched.size()),
                                                       std::to_string(fvFrame1->ClientNodes().size())});
        for (size_t i = 0; i < notWatched.size() && i < kNamed; ++i)
            text += "\r\n" + notWatched[i];
        if (notWatched.size() > kNamed)
            text += "\r\n...";
        std::weak_ptr<void> alive = AliveToken();
        AppMessageBox(sErrorL_Caption, text, MB_OK | MB_ICONWARNING);
        if (alive.expired())
            return;
    }
    Application().ProcessMessages();
}

std::string TMainForm::LoadFolders(std::vector<std::string>& notWatched)
{
    std::vector<TFolderEntry> folders;
    std::vector<std::string> noHeaderLines;
    try {
        folders = ReadFolderList(params_.FolderListFile, &noHeaderLines);
    } catch (const std::exception& e) {
        std::string text = FillIn(sFolderListNotRead, {params_.FolderListFile}) + "\r\n\r\n" + ReasonText(e);
        HandleCurrentException();
        return text;
    } catch (...) {
        // Whatever it was, the start goes on and the user hears of it.
        HandleCurrentException();
        return FillIn(sFolderListNotRead, {params_.FolderListFile});
    }
    // Reading and saving the list takes room that grows with its file (the
    // text, its lines and what is made of them): the polling threads leave it.
    const int64_t listBytes = FileSizeOf(params_.FolderListFile);
    TFah::SetExtraAddressSpaceReserve(listBytes > 0 ? 4 * static_cast<uint64_t>(listBytes) : 0);
    // The list sorts and lays out its rows once, not after every row.
    fvFrame1->VSTree->BeginUpdate();
    for (const TFolderEntry& e : folders) {
        // A folder that cannot be added is logged; the others still load.
        try {
            TAddFahParams p;
            p.folder = e.Folder;
            p.alias = e.Alias;
            p.compConfig = e.CompConfig;
            p.serviceName = e.ServiceName;
            p.showInHint = e.ShowInHint;
            p.notifyWindows = NotifyWindows;
            if (params_.AddClient)
                params_.AddClient(*fvFrame1, p);
            else
                fvFrame1->AddFah(p);
        } catch (const std::exception& ex) {
            AppException(sErrorL_Caption + " " + e.Folder + "\r\n" + ex.what());
        } catch (...) {
            AppException(sErrorL_Caption + " " + e.Folder);
        }
    }
    fvFrame1->VSTree->EndUpdate();
    // A line that starts with "[" but is no header: the keys below it are
    // not read. The error log and the box at the start tell which.
    std::string problems;
    for (const std::string& line : noHeaderLines) {
        const std::string text = FillIn(sFolderListLineNoHeader, {params_.FolderListFile, line});
        AppException(text);
        problems += (problems.empty() ? "" : "\r\n\r\n") + text;
    }
    // A client that could not start polling is listed with its error; the
    // error log has it too.
    for (PVirtualNode n : fvFrame1->ClientNodes()) {
        TFah* fah = fvFrame1->GetFahView(n) ? fvFrame1->GetFahView(n)->Fah() : nullptr;
        if (!fah || fah->PollThread())
            continue;
        std::string folder, error;
        {
            TLock lock(fah->CritSection());
            folder = fah->Folder;
            error = fah->ErrorText;
        }
        notWatched.push_back(folder);
        // Left out for the reserve: the box tells it, it is no error.
        if (!error.empty() && !fah->LeftOut())
            AppException(sErrorL_Caption + " " + folder + "\r\n" + error);
    }
    return problems;
}

void TMainForm::WatchLeftOutFolders()
{
    // In the list's order, while the reserve allows.
    for (PVirtualNode n : fvFrame1->ClientNodes()) {
        TFahView* view = fvFrame1->GetFahView(n);
        TFah* fah = view ? view->Fah() : nullptr;
        if (fah && fah->LeftOut() && !fah->WatchIfRoom())
            return;
    }
}

void TMainForm::SelectTimerTick()
{
    fvFrame1->ApplyFilters();
    // The first row is selected unless the user chose one meanwhile (a long
    // start gives the time to click a client).
    PVirtualNode focused = fvFrame1->VSTree->FocusedNode();
    if (PVirtualNode first = fvFrame1->VSTree->GetFirst(); first && (!focused || focused == first))
        fvFrame1->SelectNode(first);
    // Nothing of the window has the keyboard yet: the list takes it.
    if (HandleAllocated() && GetActiveWindow() == Handle() && (!GetFocus() || GetFocus() == Handle()))
        FocusList();
    Application().ProcessMessages();
}

void TMainForm::FocusList()
{
    TVirtualStringTree* tree = fvFrame1->VSTree;
    if (tree->HandleAllocated() && tree->CanFocus())
        tree->SetFocus();
}

void TMainForm::RestoreFocus()
{
    if (lastFocus_ && IsWindow(lastFocus_) && IsChild(Handle(), lastFocus_) && IsWindowVisible(lastFocus_) &&
        IsWindowEnabled(lastFocus_))
        ::SetFocus(lastFocus_);
    else if (loaded_)
        FocusList();
}

void TMainForm::UpdateCheckTimerTick()
{
    TimeZoneBias = GetActiveTimeBias();
    TFahSettings& s = GetFahSettings();
    TAppVal& next = s.FindValue("osNextCheck");
    if (s.FindValue("osCheckForUpdate").AsBoolean() && next.AsFloat() < Now() &&
        MainDM->CheckForUpdateAction->Enabled() && MainDM->UpdateFahBaseAction->Enabled()) {
        std::weak_ptr<void> alive = AliveToken();
        const bool checked = MainDM->CheckForUpdate(false);
        if (alive.expired())
            return;
        // A check that failed is tried again at the next tick. The settings
        // dialog may hold a date of its own for the next check: it stays the
        // dialog's, for its OK to save or its Cancel to drop.
        if (checked) {
            const bool edited = next.Changed();
            const TAppVariant dialogs = next.EditedValue;
            next.SetEdited(Now() + s.FindValue("osUpdateInterval").AsInteger());
            next.Save();
            if (edited)
                next.SetEdited(dialogs);
        }
    }
    if (s.FindValue("osCpuAffinity").AsBoolean() && IsWin2000OrLater())
        SpreadCpuAffinity();
}

void TMainForm::FinishedUnitTimerTick()
{
    ProcessFinishedUnits();
    Application().ProcessMessages();
    if (Setting("osCpuAffinity") && IsWin2000OrLater())
        SpreadCpuAffinity();
}

void TMainForm::SpreadCpuAffinity()
{
    TSMPProcess list(false);
    list.SortOrder = GetFahSettings().FindValue("osCpuAffinitySortOrder").AsInteger() == 1 ? soTotalTime
                                                                                          : soWorkingSet;
    list.SetAffinity(true);
}

// ---- closing ----

void TMainForm::FormCloseQuery(bool& canClose)
{
    // The user's unsaved "client.cfg" edits are asked about first.
    canClose = closed_ || fvFrame1->ClientCfgMayClose();
    if (canClose && !closed_)
        Closing();
}

void TMainForm::Closing()
{
    closed_ = true;
    // 1. Every worker loop ends.
    AppClosing = true;
    for (auto* t : {loadTimer_.get(), selectTimer_.get(), updateCheckTimer_.get(), finishedUnitTimer_.get(),
                    eventTimer_.get(), restartRetryTimer_.get()})
        if (t)
            t->SetEnabled(false);
    // Automatic restarts still waiting for their turn stopped nothing yet:
    // none starts now.
    pendingRestarts_.clear();
    // 2. Windows shuts down: the local clients' services stop first.
    if (shuttingDown_) {
        try {
            MainDM->StopLocalServices();
        } catch (...) {
            HandleCurrentException();
        }
    }
    // 3.
    if (cpuThread_) {
        cpuThread_->SetWaitStep(20);
        cpuThread_->Terminate();
        cpuThread_.reset();
    }
    cpuIndicatorOn_ = false;
    // 4.
    fvFrame1->StopTimers();
    try {
        if (loaded_)
            fvFrame1->SaveColumns(SettingsKey("FAHView"));
    } catch (...) {
        HandleCurrentException();
    }
    // 5.
    try {
        SaveWindowSize();
    } catch (...) {
        HandleCurrentException();
    }
    // 6.
    for (auto& b : cpuIcons_)
        b.reset();
    MainFormStorage->SetActive(true);
    CpuUsageCoolTrayIcon->SetIconVisible(false);
    // A restart under way is finished before the program ends: until then
    // the status icon stays and says so.
    if (const std::string service = MainDM->RestartingService(); !service.empty()) {
        ResetTrayIcon();
        // The icon only tells now: no menu, and no click brings the closed
        // window back.
        CoolTrayIcon1->SetPopupMenu(nullptr);
        CoolTrayIcon1->SetMinimizeToTray(false);
        CoolTrayIcon1->OnClick = nullptr;
        CoolTrayIcon1->OnDblClick = nullptr;
        CoolTrayIcon1->OnBalloonHintClick = nullptr;
        CoolTrayIcon1->OnBalloonHintTimeout = nullptr;
        CoolTrayIcon1->SetHint(FillIn(sFinishingRestart, {service}));
        // It is finished once the loop has ended: the icon goes before any
        // box that tells how it went.
        Application().AddLoopEndHandler([this, alive = std::weak_ptr<void>(AliveToken())] {
            if (!alive.expired())
                CoolTrayIcon1->SetIconVisible(false);
        });
    } else {
        CoolTrayIcon1->SetIconVisible(false);
    }
}

void TMainForm::SaveWindowSize()
{
    if (!HandleAllocated())
        return;
    TFahSettings& s = GetFahSettings();
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(Handle(), &wp);
    int state = IsZoomed(Handle()) ? static_cast<int>(TWindowState::wsMaximized) : 0;
    RECT r = wp.rcNormalPosition;
    auto save = [&](const char* name, int v) {
        TAppVal& val = s.FindValue(name);
        val.SetEdited(v);
        val.Save();
    };
    save("fpState", state);
    if (r.right > r.left && r.bottom > r.top) {
        save("fpWidth", r.right - r.left);
        save("fpHeight", r.bottom - r.top);
    }
}

void TMainForm::AppException(const std::string& message)
{
    try {
        SYSTEMTIME st;
        GetLocalTime(&st);
        wchar_t date[80] = {}, time[80] = {};
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 80);
        GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 80);
        AppendLineToFile(params_.ErrorLogFile, WideToUtf8(date) + " " + WideToUtf8(time) + " - " + message + " [" +
                                                   sVersion + " " + ProgramVersion + "]");
    } catch (...) {
        // Nothing more can be done about an error while logging one.
    }
}

void TMainForm::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_SYSCOMMAND:
        if ((m.WParam & 0xFFF0) == SC_CLOSE && Setting("osCloseAsMinimize")) {
            RestoreNClick();
            m.Result = 0;
            return;
        }
        break;
    case WM_ACTIVATE:
        // Back from another window (a message box, the tray): the keyboard
        // goes where it was, the list when it was nowhere of ours.
        if (LOWORD(m.WParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(Handle(), focus))
                lastFocus_ = focus;
            break;
        }
        TForm::WndProc(m);
        if (!HIWORD(m.WParam))
            RestoreFocus();
        return;
    case WM_QUERYENDSESSION: {
        // Unsaved "client.cfg" edits are asked about first: Cancel keeps the
        // session. A log-off (ENDSESSION_LOGOFF) leaves the services running.
        const bool mayEnd = closed_ || fvFrame1->ClientCfgMayClose();
        shuttingDown_ = mayEnd && (m.LParam & ENDSESSION_LOGOFF) == 0;
        m.Result = mayEnd ? TRUE : FALSE;
        return;
    }
    case WM_ENDSESSION:
        if (m.WParam) {
            // The session ends: close now, while the window still exists.
            if (!closed_)
                Closing();
            // The process ends without the window going: save where it is now.
            try {
                MainFormStorage->SaveFormPlacement();
            } catch (...) {
                HandleCurrentException();
            }
            m.Result = 0;
            return;
        }
        shuttingDown_ = false;
        break;
    default:
        if (m.Msg == SingleInstanceMessage() && m.Msg != 0) {
            if (minimizedToTray_)
                RestoreNClick();
            m.Result = 0;
            return;
        }
        if (MainMenu1 && MainMenu1->HandleMessage(m.Msg, m.WParam, m.LParam)) {
            m.Result = 0;
            return;
        }
        if (HandleOwnMessage(m.Msg, m.WParam, m.LParam)) {
            m.Result = 0;
            return;
        }
        break;
    }
    TForm::WndProc(m);
}
