// The parse of a client's files: what the list shows about its work unit.
#include <windows.h>

#include <cmath>

#include "Classes/Fah.h"
#include "Classes/FahUtils.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace {

constexpr int64_t kDayMs = 86400000;

// The value behind key in unit-information lines, up to the line end.
std::string UnitInfoValue(const TStringList& lines, const std::string& key)
{
    std::string text = lines.Text();
    size_t p = text.find(key);
    if (p == std::string::npos)
        return std::string();
    std::string rest = text.substr(p + key.size());
    size_t lf = rest.find('\n');
    if (lf != std::string::npos)
        rest.erase(lf);
    if (!rest.empty() && rest.back() == '\r')
        rest.pop_back();
    return rest;
}

int IntDef(const std::string& s, int def)
{
    int v = 0;
    std::string t = Trim(s);
    if (t.empty())
        return def;
    for (char c : t)
        if (!(c == '-' || c == '+' || (c >= '0' && c <= '9')))
            return def;
    return TryStrToInt(t, v) ? v : def;
}

bool Int64Of(const std::string& s, long long& v)
{
    std::string t = Trim(s);
    if (t.empty())
        return false;
    for (char c : t)
        if (!(c == '-' || c == '+' || (c >= '0' && c <= '9')))
            return false;
    return TryStrToInt64(t, v);
}

// The project number of a project line: the third piece after the time.
int ProjectOfLine(std::string_view line)
{
    std::string s = AsciiUpper(line);
    SplitFirst(s, "]");
    SplitFirst(s, " ");
    return IntDef(SplitFirst(s, " "), 0);
}

// A project line without its time: "Project: 2677 (Run 35, Clone 31, Gen 38)".
std::string_view AfterTime(std::string_view line)
{
    size_t p = line.find(']');
    std::string_view s = p == std::string_view::npos ? line : line.substr(p + 1);
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// The number after a label such as "Run" in "Run: 3, Clone: 172, Gen: 133".
std::string NumberAfter(std::string_view s, std::string_view label)
{
    size_t p = s.find(label);
    if (p == std::string_view::npos)
        return std::string();
    p += label.size();
    while (p < s.size() && (s[p] == ':' || s[p] == ' '))
        ++p;
    size_t e = p;
    while (e < s.size() && s[e] != ',' && s[e] != ')' && s[e] != ' ')
        ++e;
    return std::string(s.substr(p, e - p));
}

// Client files are written in the system's ANSI code page; texts taken from
// them become UTF-8 like every text inside the program.
std::string AsUtf8(const std::string& s) { return IsValidUtf8(s) ? s : CodePageToUtf8(s, CP_ACP); }

}  // namespace

std::string TFah::GetUnitInfoValue(const std::string& key)
{
    TLock lock(cs_);
    return UnitInfoValue(UnitInfoLines, key);
}

bool TFah::ReadLog(const std::string& path, TLogLinesPtr& out, std::string& error, bool& read)
{
    // A log as it was at the last read is not read again once a poll after
    // the one that saw it change has looked at it once more: a rewrite
    // within the file system's time resolution (two seconds on FAT) keeps
    // its size and write time, so that look reads the bytes the last read
    // ended with, and the whole log only when they differ. A forced refresh
    // reads it from its start. That it can still be read tells an open: the
    // state decision's, or one made here.
    using TSameStamp = TLogTailReader::TSameStamp;
    read = false;
    if (!logStamp_.exists)
        logStamp_ = FileStampOf(path);   // results waiting: the decision did not look at the log
    const bool same = logReader_.Holds(path, logStamp_);
    const bool again = rereadLog_.exchange(false);
    if (same && logSettled_ && !again && (logOpened_ || CanOpenShared(path))) {
        out = logReader_.Snapshot();
        return true;
    }
    read = true;
    const TSameStamp sameStamp = again ? TSameStamp::kReadAgain : same ? TSameStamp::kLookAtEnd : TSameStamp::kTrust;
    if (logReader_.Read(path, out, [this] { return thread_ && thread_->Terminated(); }, sameStamp)) {
        logSettled_ = same;
        return true;
    }
    logSettled_ = false;
    // A missing log says so by its state; anything else is told in the row.
    const DWORD code = logReader_.LastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND && code != ERROR_OPERATION_ABORTED)
        error = SystemErrorText(code);
    return false;
}

bool TFah::LookAt(const std::string& path, uint64_t generation, TFileLook& look, bool& read)
{
    read = false;
    const TFileStamp stamp = FileStampOf(path);
    const bool same = look.path == path && look.generation == generation && look.stamp == stamp;
    if (same && look.settled)
        return true;
    look.path = path;
    look.generation = generation;
    look.stamp = stamp;
    look.settled = same;
    look.lines.Clear();
    // A file over its size limit is skipped on its own (as if it were not
    // there): what the other files give still shows.
    if (!stamp.exists || stamp.size > kMaxSmallFileBytes)
        return true;
    std::string text;
    if (!TryReadFileText(path, text, kMaxSmallFileBytes)) {
        look = TFileLook();
        return false;
    }
    look.lines.SetText(text);
    read = true;
    return true;
}

void TFah::ClearDataOf(uint64_t generation)
{
    TLock lock(cs_);
    if (generation == generation_)
        ClearData();
}

void TFah::Parse(bool forced, const TPaths& paths, uint8_t status)
{
    int64_t counter;
    {
        TLock lock(cs_);
        counter = ++RefreshCounter;
    }
    if (!forced && counter % 4 != 0 &&
        (status == fsNotAccess || status == fsLogNotFound || status == fsShutdown))
        return;

    // Each file read is followed by a pause, so one client does not hog a
    // shared disk; a file known unchanged is not read and needs none.
    const DWORD pause = FileReadPause();
    bool read = false;
    const bool readCfg = forced || counter % 2 == 0;
    if (readCfg) {
        if (!LookAt(paths.clientCfg, paths.generation, cfgLook_, read)) {
            ClearDataOf(paths.generation);
            return;
        }
        if (read && Pause(pause))
            return;
    }

    TLogLinesPtr log;
    std::string logError;
    if (!ReadLog(paths.log, log, logError, read)) {
        ClearDataOf(paths.generation);
        TLock lock(cs_);
        if (paths.generation == generation_)
            ErrorText = logError;
        return;
    }
    if (read && Pause(pause))
        return;

    if (!LookAt(paths.unitInfo, paths.generation, unitInfoLook_, read)) {
        ClearDataOf(paths.generation);
        return;
    }
    if (read && Pause(pause))
        return;
    // Released while a file call hung: the parse (language texts, the
    // tracker's events) is left alone.
    if (thread_ && thread_->Terminated())
        return;

    work_ = TWork();
    work_.log = log;
    work_.unitInfo = unitInfoLook_.lines;
    if (facts_.log != log)
        ParseLogFacts();
    work_.newestProjectLine = facts_.newestProjectLine;
    work_.unitProjectLine = facts_.unitProjectLine;
    work_.out = facts_.out;
    if (work_.out.ProjectNumber == 0) {
        // No project line: the unit's name tells (p2669_... is 2669).
        std::string name = UnitInfoValue(work_.unitInfo, "Name: ");
        SplitFirst(name, "p");
        work_.out.ProjectNumber = IntDef(SplitFirst(name, "_"), 0);
    }
    ParseWUName();
    ParseDownloadTime();
    ParseDueTime();
    ParseEta();

    // Without unit information a client with results waiting has finished
    // its unit; anyone else showing 100 % is between units.
    if (work_.unitInfo.Empty()) {
        if (status == fsReadyForSend)
            work_.out.Percent = 100;
        else if (work_.out.Percent == 100)
            work_.out.Percent = 0;
    }

    {
        TLock lock(cs_);
        if (paths.generation != generation_)
            return;
        static_cast<TFahUnitData&>(*this) = std::move(work_.out);
        LogLines = log;
        UnitInfoLines = std::move(work_.unitInfo);
        if (readCfg)
            ClientCfgLines = cfgLook_.lines;
        LogHasNoCR = facts_.noCR;
        LinuxRunning = facts_.linuxRunning;
        ErrorText.clear();
    }
    work_ = TWork();
    msgLog_.Update(log);
}

// The fields that follow from the log's lines alone.
void TFah::ParseLogFacts()
{
    FindUnitProjectLine();
    ParseProjectAndSize();
    ParseRunCloneGen();
    ParseProgress();
    ParseUserTeam();
    facts_ = TLogFacts();
    facts_.log = work_.log;
    facts_.newestProjectLine = work_.newestProjectLine;
    facts_.unitProjectLine = work_.unitProjectLine;
    facts_.out = work_.out;
    facts_.noCR = work_.log->HasNoCR();
    facts_.linuxRunning = IsLinuxClientRunning(*work_.log, facts_.noCR);
}

// The newest project line, and the line where the current unit starts: the
// client prints the project line again when it sends the results, and that
// repeat does not start a new unit.
void TFah::FindUnitProjectLine()
{
    const TLogLines& lines = *work_.log;
    int newest = -1;
    for (int i = lines.Count() - 1; i >= 0; --i)
        if (IsProjectLine(lines[i])) {
            newest = i;
            break;
        }
    work_.newestProjectLine = newest;
    work_.unitProjectLine = newest;
    if (newest < 0)
        return;
    for (int i = newest - 1; i >= 0; --i)
        if (IsProjectLine(lines[i])) {
            if (AfterTime(lines[i]) == AfterTime(lines[newest]))
                work_.unitProjectLine = i;
            break;
        }
}

void TFah::ParseProjectAndSize()
{
    TFahUnitData& o = work_.out;
    const TLogLines& lines = *work_.log;
    o.ProjectNumber = 0;
    o.WuSize = TFixed4();
    if (work_.newestProjectLine >= 0)
        o.ProjectNumber = ProjectOfLine(lines[work_.newestProjectLine]);
    const int p = work_.unitProjectLine;
    if (p < 1)
        return;
    for (int i = p - 1; i >= 1 && i >= p - 50; --i) {
        std::string_view line = lines[i];
        std::string sizeText;
        if (HasNoCase(line, "(DECOMPRESSED")) {
            std::string u = AsciiUpper(line);
            size_t k = u.find("- EXPANDED");
            if (k != std::string::npos)
                u.erase(0, k + 10);
            k = u.find("DONE:");
            if (k != std::string::npos)
                u.erase(0, k + 5);
            u = TrimLeft(u);
            sizeText = u.substr(0, u.find(' '));
        } else if (size_t k = FindNoCase(line, "RECEIVING PAYLOAD (EXPECTED SIZE:");
                   k != std::string_view::npos) {
            std::string rest(line.substr(k + 33));
            sizeText = rest.substr(0, rest.find(')'));
        } else {
            continue;
        }
        long long bytes = 0;
        if (Int64Of(sizeText, bytes) && bytes >= 0)
            o.WuSize = TFixed4::FromDouble(static_cast<double>(bytes) / 1024.0);
        return;
    }
}

void TFah::ParseRunCloneGen()
{
    const TLogLines& lines = *work_.log;
    std::string& rcg = work_.out.RunCloneGen;
    rcg.clear();
    for (int i = lines.Count() - 1; i >= 0; --i) {
        std::string_view line = lines[i];
        if (!Has(line, "Run") || !Has(line, "Clone") || !Has(line, "Gen"))
            continue;
        size_t p = line.find("Run: ");
        if (p != std::string_view::npos) {
            std::string_view s = line.substr(p);
            rcg = "Run " + NumberAfter(s, "Run") + ", Clone " + NumberAfter(s, "Clone") + ", Gen " +
                  NumberAfter(s, "Gen");
        } else {
            size_t run = line.find("Run");
            size_t close = line.find(')', run);
            rcg = std::string(line.substr(run, close == std::string_view::npos ? std::string_view::npos
                                                                              : close - run));
        }
        return;
    }
}

void TFah::ParseWUName() { work_.out.WUName = AsUtf8(UnitInfoValue(work_.unitInfo, "Name: ")); }

void TFah::ParseDownloadTime()
{
    TDateTime d = ParseUnitInfoDate(UnitInfoValue(work_.unitInfo, "Download time: "));
    work_.out.DownloadText = d > 0 ? DateTimeToFahText(d) : std::string();
}

void TFah::ParseDueTime()
{
    TDateTime d = ParseUnitInfoDate(UnitInfoValue(work_.unitInfo, "Due time: "));
    if (d > 0)
        work_.out.DueText = DateTimeToFahText(d);
    else if (!Trim(work_.unitInfo.Text()).empty())
        work_.out.DueText = WithoutLimitationText();
    else
        work_.out.DueText.clear();
}

void TFah::ParseProgress()
{
    const TLogLines& lines = *work_.log;
    int& percent = work_.out.Percent;
    percent = 0;
    // Progress lines above the unit's project line belong to an earlier unit.
    const int lowest = std::max(1, work_.unitProjectLine + 1);
    for (int i = lines.Count() - 1; i >= lowest; --i) {
        int64_t p = GetProgressFromLine(lines[i]);
        if (p <= kNoProgress)
            continue;
        int64_t n = RoundHalfEven(static_cast<double>(p) / 10000.0);
        if (n > -1) {
            percent = static_cast<int>(std::min<int64_t>(n, 100));
            return;
        }
    }
}

void TFah::ParseUserTeam()
{
    const TLogLines& lines = *work_.log;
    TFahUnitData& o = work_.out;
    o.UserName.clear();
    o.TeamNumber = 0;
    static const std::string_view kMarker = "User name: ";
    for (int i = lines.Count() - 1; i >= 0; --i) {
        std::string_view line = lines[i];
        size_t p = line.find(kMarker);
        if (p == std::string_view::npos)
            continue;
        std::string rest(line.substr(p + kMarker.size()));
        size_t team = rest.find("(Team");
        o.UserName = AsUtf8(Trim(rest.substr(0, team)));
        if (team != std::string::npos) {
            std::string t = rest.substr(team + 5);
            o.TeamNumber = IntDef(t.substr(0, t.find(')')), 0);
        }
        return;
    }
}

void TFah::ParseEta()
{
    TFahUnitData& o = work_.out;
    o.EtaText.clear();
    o.StepTime = 0;
    o.Rate = 0;
    o.LastProgressTime = 0;
    const TLogLines& lines = *work_.log;
    const int count = lines.Count();
    if (count == 0)
        return;

    const TDateTime now = FahNow();
    const double today = std::floor(now);
    const int64_t nowMs = RoundHalfEven((now - today) * MSecsPerDay) % kDayMs;
    // Progress lines above the unit's project line belong to an earlier unit.
    const int floorLine = std::max(0, work_.unitProjectLine + 1);

    int64_t lastMs = -1, newestMs = 0, sinceLast = 0, sumStep = 0, step = 0;
    int steps = 0;
    int64_t newest = 0, current = kNoProgress, previous = kNoProgress;
    bool frameUnit = false, future = false;
    std::string lastText;

    int low = std::max(0, count - 16);
    for (int i = count - 1; i >= low && i >= floorLine; --i) {
        std::string_view line = lines[i];
        std::string u = AsciiUpper(line);
        int64_t v = kNoProgress;
        bool frame = false;
        if (u != lastText) {
            if (low >= 1 && IsNoiseLine(line))
                --low;
            v = GetProgressFromLine(line, &frame);
            if (v > kNoProgress) {
                previous = current;
                current = v;
                lastText = u;
            }
        }
        if (v > kNoProgress) {
            int t = GetLogLineTimeMs(line);
            if (t < 0)
                return;   // a progress line without a time: no estimate
            if (lastMs >= 0) {
                step = lastMs - t;
                if (step < 0)
                    step += kDayMs;   // across midnight
                sumStep += step;
                ++steps;
                lastMs = t;
            } else {
                newest = current;
                frameUnit = frame;
                lastMs = newestMs = t;
                sinceLast = nowMs - t;
                if (sinceLast < 0 && sinceLast + 15 * 60000 > 0)
                    sinceLast = 0;
                if (sinceLast < 0) {
                    future = true;   // the line is from yesterday
                    sinceLast += kDayMs;
                }
            }
        }
        if (steps > 3)
            break;
    }
    if (steps < 2)
        return;

    // The oldest step may have begun mid-step (a resume): leave it out.
    sumStep -= step;
    const int n = steps - 1;
    int64_t remaining = kFullProgress - newest;
    int64_t avgStep = RoundHalfEven(static_cast<double>(newest - previous) / n);
    if (remaining <= 0 || avgStep <= 0 || sumStep <= 0)
        return;   // finished, no progress, a step backwards or no time between steps
    if (frameUnit) {
        remaining *= 4;
        avgStep = 10000;
    }
    const double stepMs = static_cast<double>(sumStep) / n;
    const double spanMs = static_cast<double>(remaining) * stepMs / static_cast<double>(avgStep) -
                          static_cast<double>(sinceLast);
    const TDateTime eta = now + spanMs / MSecsPerDay;
    double rate = static_cast<double>(avgStep) / 1e6 / (stepMs / 3600000.0);
    if (frameUnit)
        rate /= 4;
    if (!std::isfinite(eta) || !std::isfinite(rate) || rate <= 0 || eta - now > 3650)
        return;
    o.StepTime = stepMs / MSecsPerDay;
    o.Rate = rate;
    o.LastProgressTime = today + newestMs / MSecsPerDay - (future ? 1 : 0);
    o.EtaText = DateTimeToFahText(eta);
}
