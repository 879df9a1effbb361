#include "Classes/FahView.h"

#include <windows.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "Classes/FahUtils.h"
#include "Classes/Lang.h"
#include "Classes/UploadSizes.h"
#include "platform/Text.h"

namespace {

// "h:nn:ss" with the user's time separator.
const std::string& StepTimeFormat()
{
    static const std::string format = [] {
        wchar_t sep[8] = {};
        std::string s = ":";
        if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, sep, 8) > 1)
            s = WideToUtf8(sep);
        // A separator made of pattern letters would be read as a pattern.
        if (s.find_first_of("dmyhnsz\"'") != std::string::npos || s.empty())
            s = ":";
        return "h" + s + "nn" + s + "ss";
    }();
    return format;
}

// The text behind key up to the next line end (CR LF, or a lone LF when no
// CR LF follows); false when there is no line end behind the value.
bool ValueBehind(const std::string& text, size_t keyPos, size_t keyLen, std::string& value, size_t& next)
{
    size_t start = keyPos + keyLen;
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos)
        end = text.find('\n', start);
    if (end == std::string::npos)
        return false;
    value = text.substr(start, end - start);
    next = end;
    return true;
}

// The number after a label of "Run 1, Clone 2, Gen 3", up to the comma.
std::string RcgPiece(const std::string& s, const char* label, size_t& from)
{
    size_t p = s.find(label, from);
    if (p == std::string::npos)
        return std::string();
    size_t start = p + strlen(label);
    size_t end = s.find(',', start);
    if (end == std::string::npos)
        end = s.size();
    from = end;
    std::string piece = Trim(s.substr(start, end - start));
    if (!piece.empty() && piece[0] == ':')
        piece = Trim(piece.substr(1));
    while (!piece.empty() && piece.back() == ')')
        piece.pop_back();
    return piece;
}

int ClampToInt(double v)
{
    if (!(v > INT_MIN))
        return v != v ? 0 : INT_MIN;
    if (v > INT_MAX)
        return INT_MAX;
    return static_cast<int>(RoundHalfEven(v));
}

}  // namespace

std::string FormatWuSize(TFixed4 kb)
{
    if (kb >= TFixed4::FromInt(1024))
        return FormatFloat("#,##0.00", kb.ToDouble() / 1024.0) + " " + sMB;
    return FormatFloat("#,##0.0", kb.ToDouble()) + " " + sKB;
}

std::string FormatListDate(TDateTime t)
{
    if (!(t > 0))
        return std::string();
    // FormatDateTime (t, "d mmm  hh:nn:ss"), spelt out: the list shows many.
    TDateParts p = DecodeDateTime(t);
    if (p.year == 0)
        return std::string();   // beyond the calendar (a deadline of absurd length)
    const std::string& month = FormatSettings().shortMonthNames[(p.month >= 1 && p.month <= 12) ? p.month - 1 : 0];
    char buf[32];
    snprintf(buf, sizeof buf, "%d ", p.day);
    std::string out = buf;
    out += month;
    snprintf(buf, sizeof buf, "  %02d:%02d:%02d", p.hour, p.min, p.sec);
    out += buf;
    return out;
}

// --- TFahView ------------------------------------------------------------

TFahView::TFahView(std::unique_ptr<TFah> fah) : fah_(std::move(fah)) {}

TFahView::~TFahView()
{
    // A poll that hangs on a dead share does not hold the window.
    ReleaseFah(std::move(fah_), TFah::kReleaseWait);
}

void TFahView::Update()
{
    TFah* fah = fah_.get();
    if (!fah)
        return;
    std::string rcgText;
    {
        TLock lock(fah->CritSection());

        Folder = fah->Folder;
        ClientCfgFileName = fah->ClientCfgFileName;
        ClientCfgText = fah->ClientCfgLines.Text();
        Alias = fah->Alias;
        ServiceName = fah->ServiceName;
        // None given shows the current language's "not defined".
        CompConfig = fah->CompConfig.empty() ? sConfigNotDefined : fah->CompConfig;
        DisplayName = fah->GetDisplayName();
        Status = fah->Status;
        StatusText = Status < kStatusCount ? StatusNames[Status] : std::string();
        // A client that cannot be filled says why.
        if (!fah->ErrorText.empty())
            StatusText += " - " + sErrorL_Caption + ": " + fah->ErrorText;
        Percent = fah->Percent;
        NewMessages = fah->NewMessages;

        if (fah->WuSize != wuSize_ || WuSizeText.empty() || kbUnit_ != sKB || mbUnit_ != sMB) {
            wuSize_ = fah->WuSize;
            kbUnit_ = sKB;
            mbUnit_ = sMB;
            WuSizeText = FormatWuSize(wuSize_);
        }

        ReadDate(downloadMemo_, fah->DownloadText, DownloadTime, DownloadText);
        ReadDate(etaMemo_, fah->EtaText, EtaTime, EtaText);
        ReadDate(dueMemo_, fah->DueText, DueTime, DueText);

        if (fah->StepTime != StepTime || StepText.empty() != !(fah->StepTime > 0)) {
            StepTime = fah->StepTime;
            StepText = StepTime > 0 ? FormatDateTime(StepTimeFormat(), StepTime) : std::string();
        }

        UserName = fah->UserName;
        TeamNumber = fah->TeamNumber;
        UserTeamText = (!UserName.empty() || TeamNumber != 0) ? Format("%s (%d)", UserName.c_str(), TeamNumber)
                                                               : std::string();

        clientProject_ = fah->ProjectNumber;
        UpdateProjectInfo(fah->ProjectNumber, fah->WUName, fah->Rate);

        rcgText = FormatProjectRcg(fah->RunCloneGen);
    }
    // The change event runs after the client is unlocked: its handler looks
    // at other rows, and must not hold up this client's polling thread.
    SetRcgText(rcgText);
}

void TFahView::ReadDate(TDateMemo& memo, const std::string& clientText, TDateTime& time, std::string& text)
{
    // The client's texts change a few times per unit; the list asks on every repaint.
    if (memo.valid && memo.source == clientText)
        return;
    memo.source = clientText;
    memo.valid = true;
    time = FahTextToDateTime(clientText);
    text = time != 0 ? FormatListDate(time) : std::string();
}

void TFahView::UpdateProjectInfo(int clientProject, const std::string& clientWUName, double rate)
{
    ProjectInfo.Project = clientProject;
    ProjectInfo.WUName = clientWUName;
    ResultSizeText = GetResultSizeText(ProjectInfo.Project);
    FindProjectInfo(ProjectInfo);
    Project = ProjectInfo.Project;
    ServerIP = ProjectInfo.ServerIP;
    WUName = ProjectInfo.WUName;
    Atoms = ProjectInfo.Atoms;
    PreferredDays = ProjectInfo.PreferredDays;
    FinalDeadline = ProjectInfo.FinalDeadline;
    Credit = ProjectInfo.Credit;
    Frames = ProjectInfo.Frames;
    Core = ProjectInfo.Core;

    PrefDeadlineText = DownloadTime > 0 ? FormatListDate(DownloadTime + PreferredDays) : std::string();

    // Points per hour in ten-thousandths: credit times the share of the unit done per hour.
    double points = static_cast<double>(Credit) * rate * 10000.0;
    int64_t pph = std::isfinite(points) ? RoundHalfEven(points) : 0;
    if (pph <= 0) {
        PPH = TFixed4();
        PPD = 0;
        PPHText.clear();
        PPDText.clear();
        return;
    }
    if (pph == PPH.Raw() && !PPHText.empty())
        return;   // the texts stand
    PPH = TFixed4::FromRaw(pph);
    PPHText = FormatFloat("0.00", static_cast<double>(pph) / 10000.0);
    PPD = ClampToInt(24.0 * static_cast<double>(pph) / 10000.0);
    PPDText = IntToStr(PPD);
}

std::string TFahView::FormatProjectRcg(const std::string& runCloneGen) const
{
    if (runCloneGen.empty())
        return std::string();
    // A project the database does not know keeps the client's own number, so
    // two unknown projects never look like the same unit.
    int project = Project != 0 ? Project : clientProject_;
    size_t from = 0;
    std::string run = RcgPiece(runCloneGen, "Run", from);
    std::string clone = RcgPiece(runCloneGen, "Clone", from);
    std::string gen = RcgPiece(runCloneGen, "Gen", from);
    return IntToStr(project) + " (" + run + "-" + clone + "-" + gen + ")";
}

void TFahView::SetRcgText(const std::string& text)
{
    if (text == ProjectRcgText)
        return;
    UniqueUnit = true;
    std::string old = ProjectRcgText;
    ProjectRcgText = text;
    if (OnChange)
        OnChange(*this, old, text);
}

void TFahView::SetNewMessages(bool flag)
{
    NewMessages = flag;
    if (fah_) {
        TLock lock(fah_->CritSection());
        fah_->NewMessages = flag;
    }
}

void TFahView::SetClientCfgText(const std::string& text)
{
    if (text == ClientCfgText)
        return;
    ClientCfgText = text;
    if (fah_) {
        TLock lock(fah_->CritSection());
        fah_->ClientCfgLines.SetText(text);
    }
}

std::string TFahView::GetCfgSummary() const
{
    if (ClientCfgText.empty())
        return std::string();
    std::string text = AsciiLower(ClientCfgText);
    std::string result;
    std::string value;
    size_t from = 0;
    size_t p = text.find("bigpackets=");
    if (p != std::string::npos && ValueBehind(text, p, 11, value, from))
        result = "bigpackets=" + value;
    p = text.find("type=", from);
    size_t next;
    if (p != std::string::npos && ValueBehind(text, p, 5, value, next)) {
        if (!result.empty())
            result += ", ";
        result += "type=" + value;
    }
    p = text.find("cpuusage=");
    if (p != std::string::npos && text.find("cpuusage=100") == std::string::npos &&
        ValueBehind(text, p, 9, value, next)) {
        if (!result.empty())
            result += ", ";
        result += "cpuusage=" + value;
    }
    return result;
}

// --- TFahViewSum ---------------------------------------------------------

void TFahViewSum::Clear()
{
    Credit = 0;
    PPH = TFixed4();
    PPD = 0;
    RunCount = ReadyCount = StoppedCount = 0;
    DueTime = EtaTime = PrefDeadline = 0;
    MaxPercent = 0;
    ClientCount = 0;
    RowNumber = 0;
}

namespace {

// a + b held at the ends of the type's range: a row whose project carries an
// absurd credit must not wrap a group's sums round to negative numbers.
template <class T>
T SaturatedSum(T a, T b)
{
    T sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
    return sum;
}

}  // namespace

void TFahViewSum::AddPoints(int credit, int ppd, TFixed4 pph)
{
    Credit = SaturatedSum(Credit, credit);
    PPH = TFixed4::FromRaw(SaturatedSum(PPH.Raw(), pph.Raw()));
    PPD = SaturatedSum(PPD, ppd);
}

void TFahViewSum::AddPercent(int p)
{
    if (p > MaxPercent)
        MaxPercent = p;
}

void TFahViewSum::KeepEarliest(TDateTime& stored, TDateTime t)
{
    if (t > 0 && (stored == 0 || stored > t))
        stored = t;
}

std::string TFahViewSum::GetNameText() const
{
    return RowNumber >= 1 ? IntToStr(RowNumber) + ". " + Name : Name;
}

std::string TFahViewSum::GetStatusSummary() const
{
    return CutChars(StatusNames[fsRunning], 3) + ": " + IntToStr(RunCount) + ", " +
           CutChars(StatusNames[fsReadyForSend], 3) + ": " + IntToStr(ReadyCount) + ", " +
           CutChars(StatusNames[fsShutdown], 3) + ": " + IntToStr(StoppedCount) + ", " + sTotal + " " +
           IntToStr(ClientCount);
}

std::string TFahViewSum::GetPercentText() const { return IntToStr(MaxPercent) + "  "; }
