// What the main window does with the messages of the client objects, the
// CPU sampler and the list: events with tray flashing, balloons and
// event-log records, warnings, the finished-unit queue, the tray hint, the
// stale-database check and the CPU icon.
#include "Main.h"

#include <algorithm>
#include <cmath>

#include "Classes/CpuUsageThread.h"
#include "Classes/EventLogger.h"
#include "Classes/Fah.h"
#include "Classes/FahSettings.h"
#include "Classes/FahUtils.h"
#include "Classes/FahView.h"
#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "Classes/UploadSizes.h"
#include "Frame/fvFr.h"
#include "MainDM.h"
#include "controls/CoolTrayIcon.h"
#include "controls/FileUtils.h"
#include "controls/SimpleTimer.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/Firewall.h"
#include "platform/FileUtil.h"
#include "platform/Canvas.h"
#include "platform/Graphics.h"
#include "platform/ImageList.h"
#include "platform/Text.h"

namespace {

bool Setting(const char* name)
{
    return GetFahSettings().FindValue(name).AsBoolean();
}

std::string LongTimeText()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    wchar_t buf[80] = {};
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, 80);
    return WideToUtf8(buf);
}

// The lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(pos, end - pos));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        pos = end + 1;
    }
    return out;
}

// Posted to the window itself: the pass an event burst asks for.
constexpr UINT WM_EVENTBURST = WM_USER + 510;

const char* const kEventKeys[3][3] = {
    {"evFeStartFlashIcon", "evFeStartBalloonTips", "evFeStartSysLogMsg"},
    {"evFeStopFlashIcon", "evFeStopBalloonTips", "evFeStopSysLogMsg"},
    {"evFeResultFlashIcon", "evFeResultBalloonTips", "evFeResultSysLogMsg"},
};

}  // namespace

// ---- helpers ----

bool AddUploadSizeLine(const std::string& file, const std::string& line)
{
    std::string text;
    if (FileExists(file))
        text = ReadFileText(file);
    // A line counts only as a whole line: "#1;2;0" is not inside "#11;2;0".
    for (const std::string& l : SplitLines(text))
        if (l == line)
            return false;
    WriteFileAtomic(file, line + "\r\n" + text);
    return true;
}

std::string CutTrayHint(const std::string& hint)
{
    std::wstring w = Utf8ToWide(hint);
    if (w.size() <= 127)
        return hint;
    size_t n = 124;
    // Never between the two halves of a surrogate pair.
    if (w[n - 1] >= 0xD800 && w[n - 1] <= 0xDBFF)
        --n;
    return WideToUtf8(w.substr(0, n)) + "...";
}

TCpuFigures CpuFigures(int idle, int cores)
{
    TCpuFigures f;
    f.Idle = std::clamp(idle, 0, 100);
    f.Cores = std::clamp(cores, 0, 100);
    if (f.Idle + f.Cores >= 101) {
        f.Cores = 100 - f.Idle;
        f.Other = 0;
    } else {
        f.Other = 100 - f.Idle - f.Cores;
    }
    f.CoreLevel = std::clamp(static_cast<int>(std::lround(f.Cores * 12 / 100.0)), 0, 12);
    f.OtherLevel = std::clamp(static_cast<int>(std::lround(f.Other * 12 / 100.0)), 0, 12);
    return f;
}

// ---- dispatch ----

bool TMainForm::HandleOwnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_UPDATETRAYHINT: UpdateTrayHint(); return true;
    case WM_UPDATEBASEWHENNEED: UpdateBaseWhenNeed(); return true;
    case WM_FAHSTATUS: FahStatus(wParam, lParam); return true;
    case WM_FAHEARLYUNITEND: FahEarlyUnitEnd(wParam); return true;
    case WM_FAHSSEOFF: FahSseOff(wParam); return true;
    case WM_FAHSMPBREAK: FahSmpBreak(wParam); return true;
    case WM_CPUUSAGE: CpuUsage(wParam, lParam); return true;
    case WM_EVENTBURST: EventBurstTick(); return true;
    default: return false;
    }
}

// ---- client events ----

void TMainForm::FahStatus(WPARAM wParam, LPARAM oldStateParam)
{
    TFah* fah = FahFromMessage(wParam);
    if (!fah || AppClosing)
        return;
    uint8_t state;
    std::string name;
    {
        TLock lock(fah->CritSection());
        state = fah->Status;
    }
    name = fah->GetDisplayName();
    int old = static_cast<int>(oldStateParam);
    std::string stateName = state < kStatusCount ? StatusNames[state] : std::string();
    std::weak_ptr<void> alive = AliveToken();
    if (state == fsReadyForSend) {
        if (std::find(finishedQueue_.begin(), finishedQueue_.end(), fah) == finishedQueue_.end())
            finishedQueue_.push_back(fah);
        ProcessFinishedUnits(fah);
        finishedUnitTimer_->SetEnabled(true);
    }
    int type = -1;
    auto isDown = [](int s) { return s == fsNotAccess || s == fsLogNotFound || s == fsShutdown; };
    if (state == fsRunning && old != fsUnknown)
        type = fetStart;
    else if (isDown(state) && !isDown(old))
        type = fetStop;
    else if (state == fsReadyForSend)
        type = fetResult;
    if (alive.expired())
        return;
    if (type >= 0) {
        const bool refreshAsked = refreshPending_;
        FahEvent(name, stateName, type);
        // A client's first state (at start every client's first poll) asks
        // no other client to read again what it has just read; the list
        // still filters again when the refresh would have, and shows what
        // those polls read (the state comes before the client's files are).
        if (old == fsUnknown) {
            settlePending_ = settlePending_ || (refreshPending_ && !refreshAsked);
            refreshPending_ = refreshAsked;
        }
    } else
        StartEventBurst();   // no event, but the row shows a new state
}

void TMainForm::FahEvent(const std::string& displayName, const std::string& stateName, int eventType)
{
    if (eventType < fetStart || eventType > fetResult)
        throw EAssertionFailed(Format("Какой-то неизвестный TFahEventType \"%d\" подсунули!", eventType),
                               "Main", __LINE__);
    const std::string names[3] = {sClientStarted, sClientStopped, sResultOccurred};
    std::string text = names[eventType] + " \"" + displayName + "\", " + sState + ": " + stateName;
    std::string title = Application().Title() + " - " + LongTimeText();
    // Switching the flashing on again costs a round to the shell each time.
    if (Setting(kEventKeys[eventType][0]) && !CoolTrayIcon1->CycleIcons())
        CoolTrayIcon1->SetCycleIcons(true);
    // A newer balloon replaces an older one anyway: the last of a burst shows.
    if (Setting(kEventKeys[eventType][1]))
        balloonPending_ = std::make_unique<TBalloon>(TBalloon{title, text, eventType == fetStart ? 1 : 2});
    if (Setting(kEventKeys[eventType][2]))
        LogEvent(text, eventType == fetStart ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE);
    if (Setting("evAutoUpdate"))
        refreshPending_ = true;
    StartEventBurst();
}

void TMainForm::StartEventBurst()
{
    if (burstPending_)
        return;
    burstPending_ = true;
    // After a quiet while the pass comes as soon as the messages queued
    // behind this one (the rest of the burst: at start every client's first
    // poll) are handled, before the list paints old states again. Events that
    // keep coming get a pass per delay at most.
    if (GetTickCount() - lastBurstPass_ >= kEventBurstDelay || !burstPassed_) {
        PostMessageW(Handle(), WM_EVENTBURST, 0, 0);
        return;
    }
    if (!eventTimer_) {
        eventTimer_.reset(TSimpleTimer::CreateEx(kEventBurstDelay, [this](TObject*) { EventBurstTick(); }));
        eventTimer_->AutoDisable = true;
    }
    if (!eventTimer_->Enabled())
        eventTimer_->SetEnabled(true);
}

void TMainForm::EventBurstTick()
{
    if (!burstPending_)
        return;   // the timer's pass or the posted one came first
    burstPending_ = false;
    if (eventTimer_)
        eventTimer_->SetEnabled(false);
    burstPassed_ = true;
    lastBurstPass_ = GetTickCount();
    if (AppClosing)
        return;
    // The rows show the new states now, not at the list's next pass.
    fvFrame1->ApplyFilters();
    if (std::unique_ptr<TBalloon> b = std::move(balloonPending_))
        CoolTrayIcon1->ShowBalloonHint(b->title, b->text, b->icon, 10);
    const bool settle = settlePending_;
    settlePending_ = false;
    if (refreshPending_) {
        refreshPending_ = false;
        // The new states are on screen before every client polls again.
        if (fvFrame1->VSTree->HandleAllocated())
            UpdateWindow(fvFrame1->VSTree->Handle());
        fvFrame1->RefreshAll();
    } else if (settle) {
        fvFrame1->SettleLater();
    }
}

void TMainForm::LogEvent(const std::string& text, WORD type)
{
    if (params_.LogEvent)
        params_.LogEvent(text, type);
    else
        GetEventLogger().LogMessage(text, type, 0, 0);
}

void TMainForm::ShowWarningBalloon(TFah* fah, const std::string& title)
{
    CoolTrayIcon1->ShowBalloonHint(title, sPath + ": " + fah->GetDisplayName(), 3, 60);
}

void TMainForm::FahEarlyUnitEnd(WPARAM wParam)
{
    TFah* fah = FahFromMessage(wParam);
    if (fah && Setting("hiShowEarlyUnitEndBalloonTip"))
        ShowWarningBalloon(fah, Application().Title() + ": " + sErrorL_Caption + " \"early_unit_end\"!");
}

void TMainForm::FahSseOff(WPARAM wParam)
{
    TFah* fah = FahFromMessage(wParam);
    if (fah && Setting("hiShowSseOffBalloonTip"))
        ShowWarningBalloon(fah, Application().Title() + ": " + sAsmOffError + "!");
}

void TMainForm::FahSmpBreak(WPARAM wParam)
{
    TFah* fah = FahFromMessage(wParam);
    if (!fah || AppClosing || !Setting("hiRestartWhenSmpBreak"))
        return;
    std::string service, folder;
    {
        TLock lock(fah->CritSection());
        service = Trim(fah->ServiceName);
        folder = fah->Folder;
    }
    if (service.empty())
        return;
    RestartAutomatically("\\\\" + GetComputerOfPath(folder), service);
}

void TMainForm::RestartAutomatically(const std::string& computer, const std::string& service)
{
    auto same = [&](const TPendingRestart& p) { return p.computer == computer && p.service == service; };
    // While another service command runs (a restart of this very service
    // among them) the commands would interleave on the service: the restart
    // waits for its turn. A service already waiting is not asked twice.
    if (MainDM->ServiceCommandRunning()) {
        if (std::none_of(pendingRestarts_.begin(), pendingRestarts_.end(), same))
            pendingRestarts_.push_back({computer, service});
        restartRetryTimer_->SetEnabled(true);
        return;
    }
    // The automatic restart never shows its output.
    std::weak_ptr<void> alive = AliveToken();
    TServiceControl r = MainDM->ControlFahService(computer, service, false, false);
    if (alive.expired())
        return;
    // Unattended: a failed restart leaves a trace for whoever comes later,
    // in the error log and (as a client's stop does) in the event log.
    const std::string failed = r.Failed ? FillIn(sServiceNotRestarted, {service}) + "\r\n" + Trim(r.Output) : "";
    if (r.Failed) {
        AppException(failed);
        if (Setting("evFeStopSysLogMsg"))
            LogEvent(failed, EVENTLOG_ERROR_TYPE);
    }
    // The window closed meanwhile: the user still hears of it.
    if (AppClosing) {
        if (r.Failed)
            TellAfterTheEnd(failed);
        return;
    }
    // Requests that came in meanwhile for this service are answered by it.
    pendingRestarts_.erase(std::remove_if(pendingRestarts_.begin(), pendingRestarts_.end(), same),
                           pendingRestarts_.end());
    if (!pendingRestarts_.empty())
        restartRetryTimer_->SetEnabled(true);
    // And it is told in the tray.
    if (r.Failed)
        CoolTrayIcon1->ShowBalloonHint(Application().Title() + ": " + sErrorL_Caption, failed, 3, 60);
}

void TMainForm::ServiceRestarted(const std::string& computer, const std::string& service)
{
    pendingRestarts_.erase(std::remove_if(pendingRestarts_.begin(), pendingRestarts_.end(),
                                          [&](const TPendingRestart& p) {
                                              return SameText(p.computer, computer) && SameText(p.service, service);
                                          }),
                           pendingRestarts_.end());
}

void TMainForm::RestartRetryTick()
{
    if (AppClosing) {
        restartRetryTimer_->SetEnabled(false);
        return;
    }
    if (MainDM->ServiceCommandRunning())
        return;   // the next tick asks again
    if (pendingRestarts_.empty()) {
        restartRetryTimer_->SetEnabled(false);
        return;
    }
    TPendingRestart next = pendingRestarts_.front();
    pendingRestarts_.erase(pendingRestarts_.begin());
    if (pendingRestarts_.empty())
        restartRetryTimer_->SetEnabled(false);
    RestartAutomatically(next.computer, next.service);
}

// ---- finished units ----

void TMainForm::ProcessFinishedUnits(TFah* only)
{
    for (TFah*& entry : finishedQueue_) {
        if (only && entry != only)
            continue;
        // A client whose row was deleted meanwhile is gone.
        if (!entry || !IsFahAlive(entry)) {
            entry = nullptr;
            continue;
        }
        TLogLinesPtr log;
        {
            TLock lock(entry->CritSection());
            log = entry->LogLines;
        }
        const std::string line = log ? GetResultSizeFromLog(*log) : std::string();
        if (line.empty())
            continue;   // the log does not show the size yet: the next pass
        try {
            if (AddUploadSizeLine(UploadLocFile(), line))
                LoadUploadSizes();
        } catch (...) {
            HandleCurrentException();
        }
        entry = nullptr;
    }
    finishedQueue_.erase(std::remove(finishedQueue_.begin(), finishedQueue_.end(), nullptr), finishedQueue_.end());
}

// ---- tray hint ----

void TMainForm::UpdateTrayHint()
{
    if (AppClosing)
        return;
    std::string lines;
    for (PVirtualNode n : fvFrame1->ClientNodes()) {
        TFahView* v = fvFrame1->GetFahView(n);
        if (!v || !v->Fah() || !v->Fah()->ShowInHint)
            continue;
        if (!lines.empty())
            lines += "\r";
        lines += v->DisplayName + ": " + v->StatusText + " " + std::to_string(v->Percent) + "%";
    }
    std::string hint;
    if (lines.empty()) {
        hint = Application().Title();
    } else {
        hint = lines;
        if (Setting("hiShowStatusInHint"))
            if (TFahViewSum* sum = fvFrame1->GetFahViewSum(fvFrame1->TotalNode()))
                hint = sum->GetStatusSummary() + "\r" + lines;
    }
    CoolTrayIcon1->SetHint(CutTrayHint(hint));
}

// ---- stale database ----

void TMainForm::UpdateBaseWhenNeed()
{
    if (AppClosing || !Setting("upUpdateWhenNeed"))
        return;
    TDateTime modified = FileModifiedTime(PSummaryFile());
    if (modified > 0 && modified + 0.5 >= Now())
        return;
    MainDM->UpdateFahBaseByItself();
}

// ---- CPU icon ----

void TMainForm::CpuUsage(WPARAM idle, LPARAM cores)
{
    if (AppClosing)
        return;
    // Anything can post this message: the figures are clamped first.
    TCpuFigures f = CpuFigures(static_cast<int>(std::min<WPARAM>(idle, 1000)),
                               static_cast<int>(std::clamp<LPARAM>(cores, -1, 1000)));
    CpuUsageCoolTrayIcon->SetHint(Format("%s: %d%%  ", sFahCores.c_str(), f.Cores) +
                                  Format("%s: %d%%  ", sIdle.c_str(), f.Idle) +
                                  Format("%s: %d%%", sOther.c_str(), f.Other));
    if (f.CoreLevel == lastCoreLevel_ && f.OtherLevel == lastOtherLevel_)
        return;
    lastCoreLevel_ = f.CoreLevel;
    lastOtherLevel_ = f.OtherLevel;
    DrawCpuIcon(f.CoreLevel, f.OtherLevel);
    CpuUsageCoolTrayIcon->SetIconIndex(1);
}

void TMainForm::DrawCpuIcon(int coreLevel, int otherLevel)
{
    std::unique_ptr<TBitmap>& cached = cpuIcons_[static_cast<size_t>(coreLevel * 13 + otherLevel)];
    if (!cached) {
        cached = std::make_unique<TBitmap>();
        cached->SetSize(16, 16);
        TCanvas& c = cached->Canvas();
        c.SetBrushColor(0xFF00FF);
        c.FillRect(RECT{0, 0, 16, 16});
        if (CpuUsageImageList->Count() > 0)
            CpuUsageImageList->Draw(c, 0, 0, 0);
        c.SetBrushColor(0x00FF00);
        c.FillRect(RECT{3, 14 - coreLevel, 14, 14});
        c.SetBrushColor(0x000080);
        c.FillRect(RECT{3, 14 - coreLevel - otherLevel, 14, 14 - coreLevel});
    }
    CpuUsageImageList->AddMasked(*cached, 0xFF00FF);
    if (CpuUsageImageList->Count() > 2)
        CpuUsageImageList->Delete(1);
}
