#include "Frame/fvFrCells.h"

#include <algorithm>
#include <cmath>

#include "Classes/FahSettings.h"
#include "Classes/FahUtils.h"
#include "Classes/Lang.h"
#include "platform/DateTime.h"
#include "platform/Graphics.h"
#include "platform/Text.h"

namespace {

const TfvColumnDef kColumns[kfvColumnCount] = {
    {"fvcPath", &sPath, 240, 0},         {"fvcState", &sState, 120, 0},
    {"fvcPercent", &sPercent, 120, 1},   {"fvcDownload", &sDownload, 140, 0},
    {"fvcEnd", &sEnd, 140, 0},           {"fvcDue", &sDue, 140, 0},
    {"fvcRCG", &sRCG, 200, 0},           {"fvcCredit", &sCredit, 80, 2},
    {"fvcPPH", &sPPH, 80, 2},            {"fvcPPD", &sPPD, 80, 2},
    {"fvcPrefDays", &sPrefDays, 100, 0}, {"fvcCore", &sCore, 100, 0},
    {"fvcUserTeam", &sUserTeam, 100, 2}, {"fvcProjNum", &sProjNum, 100, 2},
};

const char kUnknownColumn[] = "unknown column";

template <class T>
int Order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareNoCase(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return Order(a.empty() ? 0 : 1, b.empty() ? 0 : 1);
    return Order(LowerCase(a), LowerCase(b));
}

// The view's preferred deadline as a date (0 when it has none).
TDateTime PrefDeadline(const TFahView& v)
{
    return v.DownloadTime > 0 && v.PreferredDays > 0 ? v.DownloadTime + v.PreferredDays : 0;
}

TGetComputerNameFn computerNameFn = nullptr;

}  // namespace


const TfvColumnDef& FvColumnDef(int column)
{
    return kColumns[std::clamp(column, 0, kfvColumnCount - 1)];
}

std::string FahCellText(const TFahView& v, int column)
{
    switch (column) {
    case fvcPath: return v.DisplayName;
    case fvcState: return v.StatusText;
    case fvcPercent: return IntToStr(v.Percent) + "  ";
    case fvcDownload: return v.DownloadText;
    case fvcEnd: return v.EtaText;
    case fvcDue: return v.DueText;
    case fvcRCG: return v.ProjectRcgText;
    case fvcCredit: return IntToStr(v.Credit);
    case fvcPPH: return v.PPHText;
    case fvcPPD: return v.PPDText;
    case fvcPrefDays: return v.PrefDeadlineText;
    case fvcCore: return v.Core;
    case fvcUserTeam: return v.UserTeamText;
    case fvcProjNum: return v.Project != 0 ? IntToStr(v.Project) : std::string();
    default: return kUnknownColumn;
    }
}

std::string SumCellText(const TFahViewSum& s, int column)
{
    switch (column) {
    case fvcPath: return s.GetNameText();
    case fvcState: return s.GetStatusSummary();
    case fvcPercent: return s.GetPercentText();
    case fvcEnd: return s.GetEtaText();
    case fvcDue: return s.GetDueText();
    case fvcCredit: return IntToStr(s.Credit);
    case fvcPPH: return s.PPH.ToString(2);
    case fvcPPD: return IntToStr(s.PPD);
    case fvcPrefDays: return s.GetPrefDeadlineText();
    case fvcDownload:
    case fvcRCG:
    case fvcCore:
    case fvcUserTeam:
    case fvcProjNum: return std::string();
    default: return kUnknownColumn;
    }
}

int CompareFahViews(const TFahView& a, const TFahView& b, int column)
{
    switch (column) {
    case fvcPath: return CompareNoCase(a.DisplayName, b.DisplayName);
    case fvcState: return Order(a.Status, b.Status);
    case fvcPercent: return Order(a.Percent, b.Percent);
    case fvcDownload: return Order(a.DownloadTime, b.DownloadTime);
    case fvcEnd: return Order(a.EtaTime, b.EtaTime);
    case fvcDue: return Order(a.DueTime, b.DueTime);
    case fvcRCG: return CompareNoCase(a.ProjectRcgText, b.ProjectRcgText);
    case fvcCredit: return Order(a.Credit, b.Credit);
    case fvcPPH: return Order(a.PPH, b.PPH);
    case fvcPPD: return Order(a.PPD, b.PPD);
    case fvcPrefDays: return Order(a.DownloadTime + a.PreferredDays, b.DownloadTime + b.PreferredDays);
    case fvcCore: return CompareNoCase(a.Core, b.Core);
    case fvcUserTeam: return CompareNoCase(a.UserTeamText, b.UserTeamText);
    case fvcProjNum: return Order(a.Project, b.Project);
    default: return 0;
    }
}

bool HasWorkUnit(const TFahView& v)
{
    return !v.ProjectRcgText.empty() || v.DownloadTime > 0;
}

void AddViewToSum(TFahViewSum& sum, const TFahView& v)
{
    sum.IncClientCount();
    switch (v.Status) {
    case fsRunning: sum.IncRunCount(); break;
    case fsReadyForSend: sum.IncReadyCount(); break;
    case fsShutdown: sum.IncStoppedCount(); break;
    default: break;
    }
    if (v.Status == fsRunning || v.Status == fsReadyForSend) {
        sum.AddPoints(v.Credit, v.PPD, v.PPH);
        sum.AddEta(v.EtaTime);
    }
    if (HasWorkUnit(v)) {
        sum.AddDueTime(v.DueTime);
        sum.AddPrefDeadline(PrefDeadline(v));
        sum.AddPercent(v.Percent);
    }
}

TfvCellFont FvCellFont(const TFahView* v, int column, const TfvCellState& st, TfvCellFont f)
{
    if (st.kind == kfvClientRow && v) {
        if (!st.focused) {
            switch (v->Status) {
            case fsRunning: f.color = kfvGreen; break;
            case fsReadyForSend: f.color = kfvRed; break;
            case fsShutdown: f.color = kfvBlue; break;
            default: f.color = kfvGrey; break;
            }
        }
        if (column == fvcRCG && !v->UniqueUnit) {
            f.color = kfvRed;
            f.style |= fsBold;
        }
        if (column == fvcEnd && v->EtaTime > 0 && v->DueTime > 0) {
            if (v->PreferredDays > 0 && v->DownloadTime + v->PreferredDays < v->EtaTime)
                f.color = kfvMaroon;
            if (v->EtaTime > v->DueTime) {
                f.color = kfvRed;
                f.style |= fsBold;
            }
        }
        if (column == fvcUserTeam && !v->UserName.empty() &&
            (v->TeamNumber != st.teamID || !st.userName || v->UserName != *st.userName)) {
            f.color = kfvRed;
            f.style |= fsBold;
        }
    }
    if (st.hotRow) {
        f.style &= ~unsigned(fsUnderline);
        if (st.hotLink) {
            f.style |= fsUnderline;
            f.color = kfvOrange;
        }
    }
    // White on the row's grey; as selected text on the light colour of the
    // selected row of a list that does not have the keyboard.
    if (st.kind == kfvTotalRow && (!st.focused || st.listFocused))
        f.color = kfvWhite;
    return f;
}

COLORREF FvProgressColor(const TFahView& v)
{
    static const COLORREF greens[9] = {0xAAFFAA, 0x80FF80, 0x55FF55, 0x2BFF2B, 0x00FF00,
                                       0x00D500, 0x00AA00, 0x008000, 0x005500};
    if (v.Status != fsRunning)
        return GetSysColor(COLOR_BTNFACE);
    // One step per 12.5 percent, to the nearest step (ties to even, as the
    // rest of the program rounds).
    long long step = RoundHalfEven(std::clamp(v.Percent, 0, 100) / 12.5);
    return greens[std::clamp<long long>(step, 0, 8)];
}

RECT FvProgressRect(const RECT& cell, int textWidth)
{
    return RECT{cell.left + 2, cell.top + 2, cell.right - 2 - textWidth, cell.bottom - 2};
}

std::string PercentEncode(std::string_view s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size() * 3);
    for (unsigned char c : s) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string ProjectPageUrl(int project)
{
    return std::string(kStatsHost) + "/cgi-bin/fahproject?p=" + PercentEncode(IntToStr(project));
}

std::string UserStatsUrl(int team, const std::string& userName)
{
    return std::string(kStatsHost) + "/cgi-bin/main.py?qtype=userpage&teamnum=" + PercentEncode(IntToStr(team)) +
           "&username=" + PercentEncode(userName);
}

bool FvColumnHasLink(int column)
{
    switch (column) {
    case fvcPath:
    case fvcRCG:
    case fvcCredit:
    case fvcPPD:
    case fvcCore:
    case fvcUserTeam:
    case fvcProjNum: return true;
    default: return false;
    }
}

std::string FvCellLink(const TFahView& v, int column)
{
    switch (column) {
    case fvcPath: return v.Folder;
    case fvcRCG:
    case fvcProjNum: return ProjectPageUrl(v.Project);
    case fvcCredit: return GetFahSettings().FindValue("upURL").AsString();
    case fvcPPD: return kfvForumTopicUrl;
    case fvcCore: return GetCoreInfoUrl(v.Core);
    case fvcUserTeam: return UserStatsUrl(v.TeamNumber, v.UserName);
    default: return std::string();
    }
}

void SetGetComputerNameForTesting(TGetComputerNameFn fn)
{
    computerNameFn = fn;
}

std::string GetComputerOfPath(const std::string& path)
{
    std::string p = Trim(path);
    if (p.size() > 2 && p[0] == '\\' && p[1] == '\\') {
        size_t end = p.find('\\', 2);
        if (end != std::string::npos && end > 2)
            return p.substr(2, end - 2);
    }
    // Room for the longest name the system allows and its terminating zero.
    wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    TGetComputerNameFn fn = computerNameFn ? computerNameFn : &GetComputerNameW;
    if (fn(buffer, &size) && size <= MAX_COMPUTERNAME_LENGTH)
        return Trim(LowerCase(WideToUtf8(std::wstring_view(buffer, size))));
    return "я любимый";
}
