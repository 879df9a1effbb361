// The settings pushed into the running interface: after OK in the settings
// dialog (the edited values, with the CPU affinity and the CPU indicator)
// and once at the end of the delayed start (the stored values).
#include "Main.h"

#include "Classes/FahSettings.h"
#include "Classes/FahUtils.h"
#include "Classes/Lang.h"
#include "Classes/ProcessInfo.h"
#include "Frame/LogFr.h"
#include "Frame/fvFr.h"
#include "MainDM.h"
#include "toolbars/TBToolbar.h"

void TMainForm::ApplySettings(TFahSettings& s, bool edited)
{
    auto boolean = [&](const char* name) {
        TAppVal& v = s.FindValue(name);
        return edited ? v.EditedBoolean() : v.AsBoolean();
    };
    auto integer = [&](const char* name) {
        TAppVal& v = s.FindValue(name);
        return edited ? v.EditedInteger() : v.AsInteger();
    };
    auto text = [&](const char* name) {
        TAppVal& v = s.FindValue(name);
        return edited ? v.EditedString() : v.AsString();
    };

    if (edited) {
        // The affinity is applied again on every OK while it is on.
        TAppVal& affinity = s.FindValue("osCpuAffinity");
        if ((affinity.EditedBoolean() || affinity.Changed()) && IsWin2000OrLater()) {
            TSMPProcess list(false);
            list.SortOrder = integer("osCpuAffinitySortOrder") == 1 ? soTotalTime : soWorkingSet;
            list.SetAffinity(affinity.EditedBoolean());
        }
        if (s.FindValue("osCpuUsageIndicator").Changed())
            SetCpuUsageIndicator(boolean("osCpuUsageIndicator"));
    }
    // Refreshing.
    bool autoUpdate = boolean("evAutoUpdate");
    fvFrame1->SetAutoUpdate(autoUpdate);
    fvFrame1->SetAutoUpdateInterval(static_cast<DWORD>(integer("evAutoUpdateInterval")) * 1000);
    MainDM->AutoUpdateAction->SetChecked(autoUpdate);
    // Toolbar.
    SetToolbarCaptionPlacement(MainTBToolbar, integer("inTBTypeCaption"));
    MainTBToolbar->SetVisible(!boolean("inHideTB"));
    // The list and its detail frames.
    fvFrame1->SetShowAllLogWindows(boolean("inShowAllLogWindows"));
    fvFrame1->SetShowPrevLog(boolean("inShowFahPrev"));
    fvFrame1->SetGroupByComputer(boolean("inGroupByComp"));
    fvFrame1->SetHighlightErrors(boolean("inHighlightIfErrorInLog"));
    fvFrame1->SetListBackground(text("inBkMainInfo"));
    fvFrame1->SetLogBackground(text("inBkLog"));
    fvFrame1->SetParamBackground(text("inBkAddInfo"));
    if (TLogFrame* log = fvFrame1->FAHLogFrame) {
        log->SetSuccessColor(static_cast<COLORREF>(integer("inColorOk")));
        log->SetInformationColor(static_cast<COLORREF>(integer("inColorInfo")));
        log->SetErrorColor(static_cast<COLORREF>(integer("inColorError")));
        log->SetOtherColor(static_cast<COLORREF>(integer("inColorOther")));
        log->SetColoring(boolean("inColorLog"));
    }
    TStringTreeOptions& o = fvFrame1->VSTree->TreeOptions();
    TVTPaintOptions paint = o.PaintOptions() & ~(toShowVertGridLines | toShowHorzGridLines);
    if (boolean("inShowVertGridLines"))
        paint |= toShowVertGridLines;
    if (boolean("inShowHorzGridLines"))
        paint |= toShowHorzGridLines;
    o.SetPaintOptions(paint);
    // Links, the hide-inactive mark and the language marks.
    MainDM->SetLinkAddresses(integer("dfTeamID"), text("dfUserName"));
    MainDM->HideNotActiveFodersAction->SetChecked(boolean("inHideShutdownFolders"));
    int language = integer("inCurrentLanguage");
    if (language < 1 || language > kLanguageCount)
        language = CurrentLanguage;
    for (TAction* a : {MainDM->LngEnAction, MainDM->LngRuAction, MainDM->LngUaAction})
        a->SetChecked(a->Tag == language);
}
