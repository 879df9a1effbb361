#include "Classes/FahUtils.h"

#include <windows.h>

#include <cmath>
#include <cstring>

#include "controls/StringUtils.h"
#include "platform/Registry.h"
#include "platform/Rounding.h"
#include "platform/Sync.h"
#include "platform/Text.h"

std::atomic<int> TimeZoneBias{GetActiveTimeBias()};

// Real zones lie within 14 hours of UTC; a value beyond a day is not a bias.
static int SaneBias(int32_t minutes) { return minutes >= -1440 && minutes <= 1440 ? minutes : 0; }

int GetActiveTimeBias()
{
    TRegistry reg(HKEY_LOCAL_MACHINE, KEY_READ);
    if (!reg.OpenKeyReadOnly("SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation"))
        return 0;
    switch (reg.GetDataType("ActiveTimeBias")) {
    case TRegDataType::Integer: {
        int v = 0;
        return reg.TryReadInteger("ActiveTimeBias", v) ? SaneBias(v) : 0;
    }
    case TRegDataType::Binary: {
        std::string bytes;
        try {
            bytes = reg.ReadBinaryData("ActiveTimeBias");
        } catch (...) {
            return 0;
        }
        if (bytes.size() != 4)
            return 0;
        int32_t v = 0;
        memcpy(&v, bytes.data(), 4);
        return SaneBias(v);
    }
    default:
        return 0;
    }
}

namespace {
TCriticalSection& ClockLock()
{
    static TCriticalSection cs;
    return cs;
}
TDateTime g_fixedNow = 0;
}  // namespace

TDateTime FahNow()
{
    TDateTime fixed;
    {
        TLock lock(ClockLock());
        fixed = g_fixedNow;
    }
    return fixed != 0 ? fixed : Now();
}

void SetFahNowForTesting(TDateTime fixedNow)
{
    TLock lock(ClockLock());
    g_fixedNow = fixedNow;
}

TDateTime UtcToLocal(TDateTime utc) { return utc - TimeZoneBias.load() / 1440.0; }

std::string SplitFirst(std::string& source, std::string_view delimiter)
{
    source = TrimLeft(source);
    size_t p = delimiter.empty() ? std::string::npos : source.find(delimiter);
    std::string head;
    if (p == std::string::npos) {
        head.swap(source);
        return head;
    }
    head = source.substr(0, p);
    source.erase(0, p + delimiter.size());
    return head;
}

static inline char UpAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

size_t FindNoCase(std::string_view text, std::string_view upper, size_t from)
{
    if (upper.empty())
        return from <= text.size() ? from : std::string_view::npos;
    if (text.size() < upper.size() || from > text.size() - upper.size())
        return std::string_view::npos;
    const char first = upper[0];
    const char firstLow = (first >= 'A' && first <= 'Z') ? static_cast<char>(first + 32) : first;
    const size_t last = text.size() - upper.size();
    const char* t = text.data();
    for (size_t i = from; i <= last; ++i) {
        char c = t[i];
        if (c != first && c != firstLow)
            continue;
        size_t k = 1;
        while (k < upper.size() && UpAscii(t[i + k]) == upper[k])
            ++k;
        if (k == upper.size())
            return i;
    }
    return std::string_view::npos;
}

// Whole decimal integer (optional sign, surrounding blanks); false otherwise.
static bool ReadInt64(std::string_view s, int64_t& out)
{
    long long v = 0;
    const std::string_view t = TrimView(s);
    if (t.empty())
        return false;
    // Hex forms are not numbers in a client's texts.
    for (char c : t)
        if (!(c == '-' || c == '+' || (c >= '0' && c <= '9')))
            return false;
    if (!TryStrToInt64(t, v))
        return false;
    out = v;
    return true;
}

static int ReadIntDef(std::string_view s, int def)
{
    int64_t v = 0;
    if (!ReadInt64(s, v) || v < INT32_MIN || v > INT32_MAX)
        return def;
    return static_cast<int>(v);
}

int64_t GetProgressFromLine(std::string_view line, bool* isFrame)
{
    // Looked at in place: every line of a log may pass through here.
    static constexpr std::string_view kCompleted = "] COMPLETED", kFrame = "] FINISHED A FRAME";
    if (isFrame)
        *isFrame = false;
    const size_t frameAt = FindNoCase(line, kFrame);
    const bool frame = frameAt != std::string_view::npos;
    const size_t completed = FindNoCase(line, kCompleted);
    if (completed == std::string_view::npos && !frame)
        return kNoProgress;
    // The number stands in the line's first parentheses, or after the marker
    // when it has none; a percent sign (or the word) ends it, as does ")".
    std::string_view body;
    bool closed = true;   // a ")" is not needed to end the number
    const size_t paren = line.find('(');
    if (paren != std::string_view::npos) {
        body = line.substr(paren + 1);
        closed = false;
    } else {
        const size_t from = completed != std::string_view::npos ? completed + kCompleted.size()
                                                                : frameAt + kFrame.size();
        body = TrimView(line.substr(from));
    }
    size_t cut = body.find('%');
    if (cut == std::string_view::npos)
        cut = FindNoCase(body, "PERCENT");
    if (cut != std::string_view::npos) {
        body = body.substr(0, cut);
        closed = true;
    }
    const size_t close = body.find(')');
    if (close != std::string_view::npos)
        body = body.substr(0, close);
    int64_t n = -1;
    int64_t v = 0;
    if ((closed || close != std::string_view::npos) && ReadInt64(body, v) && v >= INT32_MIN && v <= INT32_MAX)
        n = v;
    int64_t result = n * 10000;
    if (frame && result > kNoProgress) {
        result = RoundHalfEven(static_cast<double>(result) / 4.0);
        if (isFrame)
            *isFrame = true;
    }
    return result < kNoProgress ? kNoProgress : result;
}

bool IsNoiseLine(std::string_view line)
{
    static const char* const kNoise[] = {
        "TIMERED CHECKPOINT TRIGGERED",   "WRITING CHECKPOINT FILE",
        "AUTOSENDING FINISHED UNITS",     "TRYING TO SEND ALL FINISHED WORK UNITS",
        "NO UNSENT COMPLETED UNITS REMAINING", "AUTOSEND COMPLETED",
        "ATTEMPTING TO SEND RESULTS",     "READING FILE WORK",
        "COULDN'T SEND HTTP REQUEST TO SERVER", "COULD NOT CONNECT TO WORK SERVER",
        "COULD NOT TRANSMIT UNIT",        "FAILED UPLOADS OF THIS UNIT",
    };
    for (const char* m : kNoise)
        if (HasNoCase(line, m))
            return true;
    return false;
}

bool IsProjectLine(std::string_view line)
{
    if (HasNoCase(line, "] PROJECT=") )
        return true;
    return HasNoCase(line, "] PROJECT: ") && HasNoCase(line, "RUN") && HasNoCase(line, "CLONE") &&
           HasNoCase(line, "GEN");
}

int GetLogLineTimeMs(std::string_view line)
{
    std::string s = Trim(line);
    size_t open = s.find('[');
    if (open == std::string::npos)
        return -1;
    s.erase(0, open + 1);
    size_t close = s.find(']');
    if (close == std::string::npos)
        return -1;
    std::string t = s.substr(0, close);
    // hh:mm:ss, each part a number.
    std::string rest = t;
    std::string hh = SplitFirst(rest, ":");
    std::string mm = SplitFirst(rest, ":");
    std::string ss = Trim(rest);
    if (hh.empty() || mm.empty() || ss.empty())
        return -1;
    int h = ReadIntDef(hh, -1), m = ReadIntDef(mm, -1), sec = ReadIntDef(ss, -1);
    if (!IsValidTime(h, m, sec, 0))
        return -1;
    int64_t ms = (static_cast<int64_t>(h) * 3600 + m * 60 + sec) * 1000;
    ms -= static_cast<int64_t>(TimeZoneBias.load()) * 60000;
    const int64_t day = 86400000;
    ms %= day;
    if (ms < 0)
        ms += day;
    return static_cast<int>(ms);
}

TDateTime GetLogLineTime(std::string_view line)
{
    int ms = GetLogLineTimeMs(line);
    return ms < 0 ? 0.0 : ms / MSecsPerDay;
}

TDateTime ParseUnitInfoDate(std::string_view text)
{
    static const char* const kMonths[12] = {"January", "February", "March",     "April",
                                            "May",     "June",     "July",      "August",
                                            "September", "October", "November", "December"};
    std::string s = Trim(text);
    if (s.empty())
        return 0;
    int month = 0;
    for (int i = 0; i < 12 && month == 0; ++i) {
        size_t p = s.find(kMonths[i]);
        if (p != std::string::npos) {
            month = i + 1;
            s.erase(0, std::min(s.size(), p + strlen(kMonths[i]) + 1));
        }
    }
    if (month == 0) {
        size_t p = s.find("Feburary");
        if (p == std::string::npos)
            return 0;
        month = 2;
        s.erase(0, std::min(s.size(), p + strlen("Feburary ")));
    }
    int day = ReadIntDef(SplitFirst(s, " "), 0);
    int hour = ReadIntDef(SplitFirst(s, ":"), 0);
    int minute = ReadIntDef(SplitFirst(s, ":"), 0);
    s = TrimLeft(s);
    int second = ReadIntDef(s.substr(0, 2), 0);

    int year, curMonth, curDay;
    TDateTime now = FahNow();
    DecodeDate(now, year, curMonth, curDay);
    if (month == 2 && day == 29) {
        int chosen = 2008;
        for (int y : {year - 1, year, year + 1})
            if (IsLeapYear(y)) {
                chosen = y;
                break;
            }
        year = chosen;
    } else {
        TDateTime inYear;
        if (TryEncodeDate(year, month, day, inYear)) {
            double today = std::floor(now);
            if (inYear - today > 240)
                --year;
            else if (today - inYear > 240)
                ++year;
        }
    }
    TDateTime d, t;
    if (!TryEncodeDate(year, month, day, d) || !TryEncodeTime(hour, minute, second, 0, t))
        return 0;
    return UtcToLocal(d + t);
}

std::string DateTimeToFahText(TDateTime dt)
{
    if (!(dt > 0) || !std::isfinite(dt) || dt > 2958465.0)
        return std::string();
    TDateParts p = DecodeDateTime(dt);
    return Format("%02d.%02d.%02d   %02d:%02d:%02d", p.year - 2000, p.month, p.day, p.hour, p.min,
                  p.sec);
}

TDateTime FahTextToDateTime(std::string_view text)
{
    std::string s(text);
    if (s.find('.') == std::string::npos || s.find(':') == std::string::npos)
        return 0;
    int year = ReadIntDef(SplitFirst(s, "."), -1);
    int month = ReadIntDef(SplitFirst(s, "."), -1);
    int day = ReadIntDef(SplitFirst(s, " "), -1);
    int hour = ReadIntDef(SplitFirst(s, ":"), -1);
    int minute = ReadIntDef(SplitFirst(s, ":"), -1);
    int second = ReadIntDef(TrimLeft(s), -1);
    if (year < 0)
        return 0;
    TDateTime d, t;
    if (!TryEncodeDate(year + 2000, month, day, d) || !TryEncodeTime(hour, minute, second, 0, t))
        return 0;
    return d + t;
}

bool IsLinuxClientRunning(const TLogLines& lines, bool noCR)
{
    if (!noCR)
        return false;
    int count = lines.Count();
    if (count < 7)
        return false;
    int lowest = count - 6;
    for (int i = count - 1; i >= lowest; --i) {
        std::string_view s = lines[i];
        if (IsNoiseLine(s)) {
            --lowest;
            if (lowest < 1)
                return false;
        }
        if (Has(s, "Folding@Home Client Shutdown."))
            return false;
        if (Has(s, "] Completed"))
            return Has(s, "%)") || Has(s, "percent)");
    }
    return false;
}

std::string GetCoreInfoUrl(const std::string& coreName)
{
    if (Trim(coreName).empty())
        return std::string();
    const std::string& n = coreName;
    if (n.find("GROMACS") != std::string::npos)
        return "http://fahwiki.net/index.php/Gromacs";
    if (n == "GROGPU")
        return "http://folding.stanford.edu/English/FAQ-ATI";
    if (n == "GRO-SMP")
        return "http://folding.stanford.edu/English/FAQ-SMP";
    if (n == "GROST")
        return "http://foldingforum.org/viewtopic.php?f=17&t=3165";
    if (n == "AMBER")
        return "http://fahwiki.net/index.php/AMBER";
    if (n == "QMD")
        return "http://fahwiki.net/index.php/QMD";
    if (n == "TINKER")
        return "http://dasher.wustl.edu/tinker/";
    return "http://fahwiki.net/index.php/Cores";
}

std::string GetResultSizeFromLog(std::string_view logText)
{
    return GetResultSizeFromLog(TLogLines{std::string(logText)});
}

std::string GetResultSizeFromLog(const TLogLines& lines)
{
    int finished = -1;
    for (int k = lines.Count() - 1; k >= 0; --k)
        if (HasNoCase(lines[k], "CORE SHUTDOWN: FINISHED_UNIT")) {
            finished = k;
            break;
        }
    int i = finished - 1;
    if (finished < 0 || i < 1)
        return std::string();
    int64_t size = 0;
    for (int k = i; k >= 1 && k >= i - 9; --k) {
        std::string u = AsciiUpper(lines[k]);
        size_t a = u.find("->");
        size_t b = u.find("(COMPRESSED TO");
        if (a != std::string::npos && b != std::string::npos) {
            if (b > a && !ReadInt64(u.substr(a + 2, b - a - 2), size))
                size = 0;
            break;
        }
        a = u.find("WRITING");
        b = u.find("BYTES OF CORE DATA TO DISK");
        if (a != std::string::npos && b != std::string::npos) {
            if (b > a && !ReadInt64(u.substr(a + 7, b - a - 7), size))
                size = 0;
            break;
        }
    }
    if (size < 1)
        return std::string();
    int project = 0;
    for (int k = i - 11; k >= 0; --k)
        if (IsProjectLine(lines[k])) {
            std::string s = AsciiUpper(lines[k]);
            SplitFirst(s, "]");
            SplitFirst(s, " ");
            project = ReadIntDef(SplitFirst(s, " "), 0);
            break;
        }
    if (project < 1)
        return std::string();
    return Format("#%d;%lld;0", project, static_cast<long long>(size));
}

bool IsWin2000OrLater()
{
    OSVERSIONINFOW vi = {};
    vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&vi))
        return false;
#pragma GCC diagnostic pop
    return vi.dwMajorVersion >= 5;
}
