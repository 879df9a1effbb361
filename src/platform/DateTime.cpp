#include "platform/DateTime.h"

#include <windows.h>

#include <cmath>

#include "platform/Exceptions.h"
#include "platform/Rounding.h"
#include "platform/Text.h"

static bool LeapYear(int y) { return (y % 4 == 0) && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return days[month - 1] + ((month == 2 && LeapYear(year)) ? 1 : 0);
}

bool IsValidDate(int year, int month, int day)
{
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int min, int sec, int msec)
{
    return hour >= 0 && hour < 24 && min >= 0 && min < 60 && sec >= 0 && sec < 60 && msec >= 0 &&
           msec < 1000;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out)
{
    if (!IsValidDate(year, month, day))
        return false;
    long days = day;
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    long y = year - 1;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    out = static_cast<double>(days - 693594);   // 693594 = days from 0001-01-01 to 1899-12-30, +1
    return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out)
{
    if (!IsValidTime(hour, min, sec, msec))
        return false;
    out = ((hour * 3600000.0) + (min * 60000.0) + (sec * 1000.0) + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime d;
    if (!TryEncodeDate(year, month, day, d))
        throw EConvertError("Invalid argument to date encode");
    return d;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    TDateTime t;
    if (!TryEncodeTime(hour, min, sec, msec, t))
        throw EConvertError("Invalid argument to time encode");
    return t;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec)
{
    TDateTime d = EncodeDate(year, month, day), t = EncodeTime(hour, min, sec, msec);
    return d < 0 ? d - t : d + t;
}

TDateParts DecodeDateTime(TDateTime dt)
{
    TDateParts p;
    if (!std::isfinite(dt) || dt < -693593.0 || dt > 2958466.0)
        return p;   // outside 0001..9999: all zero
    // Whole milliseconds from 1899-12-30. Before that day the class library keeps
    // the time of day as a positive fraction below the (negative) day number.
    int64_t total = RoundHalfEven(std::fabs(dt) * MSecsPerDay);
    int64_t dayNo = total / 86400000;
    int64_t msOfDay = total % 86400000;
    if (dt < 0)
        dayNo = -dayNo;
    p.hour = static_cast<int>(msOfDay / 3600000);
    p.min = static_cast<int>(msOfDay / 60000 % 60);
    p.sec = static_cast<int>(msOfDay / 1000 % 60);
    p.msec = static_cast<int>(msOfDay % 1000);

    long t = static_cast<long>(dayNo + 693593);   // days since 0001-01-01
    if (t < 0)
        return TDateParts{};
    p.dayOfWeek = static_cast<int>((t + 1) % 7) + 1;
    long y = 1;
    long n400 = t / 146097;
    t %= 146097;
    y += n400 * 400;
    long n100 = t / 36524;
    if (n100 == 4)
        n100 = 3;
    t -= n100 * 36524;
    y += n100 * 100;
    long n4 = t / 1461;
    t %= 1461;
    y += n4 * 4;
    long n1 = t / 365;
    if (n1 == 4)
        n1 = 3;
    t -= n1 * 365;
    y += n1;
    int m = 1;
    while (t >= DaysInMonth(static_cast<int>(y), m)) {
        t -= DaysInMonth(static_cast<int>(y), m);
        ++m;
    }
    p.year = static_cast<int>(y);
    p.month = m;
    p.day = static_cast<int>(t) + 1;
    return p;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day)
{
    TDateParts p = DecodeDateTime(dt);
    year = p.year;
    month = p.month;
    day = p.day;
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec)
{
    TDateParts p = DecodeDateTime(dt);
    hour = p.hour;
    min = p.min;
    sec = p.sec;
    msec = p.msec;
}

static TDateTime FromSystemTime(const SYSTEMTIME& st)
{
    TDateTime d = 0, t = 0;
    TryEncodeDate(st.wYear, st.wMonth, st.wDay, d);
    TryEncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, t);
    return d + t;
}

TDateTime Now()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FromSystemTime(st);
}

TDateTime NowUtc()
{
    SYSTEMTIME st;
    GetSystemTime(&st);
    return FromSystemTime(st);
}

TDateTime Date() { return std::floor(Now()); }

static std::string LocaleText(LCTYPE type)
{
    wchar_t buf[128];
    int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 128);
    return n > 1 ? WideToUtf8(std::wstring_view(buf, static_cast<size_t>(n - 1))) : std::string();
}

static TFormatSettings BuildFromLocale()
{
    static const char* shortM[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* longM[12] = {"January", "February", "March",     "April",
                                    "May",     "June",     "July",      "August",
                                    "September", "October", "November", "December"};
    static const char* shortD[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* longD[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                   "Thursday", "Friday", "Saturday"};
    TFormatSettings fs;
    for (int i = 0; i < 12; ++i) {
        std::string s = LocaleText(LOCALE_SABBREVMONTHNAME1 + i);
        fs.shortMonthNames[i] = s.empty() ? shortM[i] : s;
        s = LocaleText(LOCALE_SMONTHNAME1 + i);
        fs.longMonthNames[i] = s.empty() ? longM[i] : s;
    }
    for (int i = 0; i < 7; ++i) {
        // The locale numbers days from Monday; ours start on Sunday.
        int li = (i + 6) % 7;
        std::string s = LocaleText(LOCALE_SABBREVDAYNAME1 + li);
        fs.shortDayNames[i] = s.empty() ? shortD[i] : s;
        s = LocaleText(LOCALE_SDAYNAME1 + li);
        fs.longDayNames[i] = s.empty() ? longD[i] : s;
    }
    std::string dec = LocaleText(LOCALE_SDECIMAL);
    fs.decimalSeparator = dec.size() == 1 ? dec[0] : '.';
    std::string th = LocaleText(LOCALE_STHOUSAND);
    fs.thousandSeparator = th;
    return fs;
}

void LoadFormatSettingsFromLocale() { FormatSettings() = BuildFromLocale(); }

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings = BuildFromLocale();
    return settings;
}

static std::string Pad2(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string FormatDateTime(std::string_view f, TDateTime dt)
{
    const TFormatSettings& fs = FormatSettings();
    TDateParts p = DecodeDateTime(dt);
    std::string out;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < f.size() && (f[i + n] | 0x20) == c)
            ++n;
        return n;
    };
    bool lastWasHour = false;
    bool ampm = PosText("am/pm", f) != std::string_view::npos ||
                PosText("a/p", f) != std::string_view::npos;
    while (i < f.size()) {
        char c = f[i];
        char lc = static_cast<char>(c | 0x20);
        if (c == '"' || c == '\'') {
            size_t end = f.find(c, i + 1);
            if (end == std::string_view::npos)
                end = f.size();
            out.append(f.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (lc == 'a' && StartsText("am/pm", f.substr(i))) {
            out += p.hour < 12 ? "am" : "pm";
            i += 5;
            continue;
        }
        if (lc == 'a' && StartsText("a/p", f.substr(i))) {
            out += p.hour < 12 ? "a" : "p";
            i += 3;
            continue;
        }
        if (lc == 'd') {
            size_t n = run('d');
            if (n == 1) out += std::to_string(p.day);
            else if (n == 2) out += Pad2(p.day);
            else if (n == 3) out += p.dayOfWeek ? fs.shortDayNames[p.dayOfWeek - 1] : "";
            else out += p.dayOfWeek ? fs.longDayNames[p.dayOfWeek - 1] : "";
            i += n;
            lastWasHour = false;
            continue;
        }
        if (lc == 'y') {
            size_t n = run('y');
            out += n <= 2 ? Pad2(p.year % 100) : Format("%04d", p.year);
            i += n;
            continue;
        }
        if (lc == 'm') {
            size_t n = run('m');
            // "m" right after an hour means minutes.
            if (lastWasHour && n <= 2)
                out += n == 1 ? std::to_string(p.min) : Pad2(p.min);
            else if (n == 1) out += std::to_string(p.month);
            else if (n == 2) out += Pad2(p.month);
            else if (p.month == 0) out += "";
            else if (n == 3) out += fs.shortMonthNames[p.month - 1];
            else out += fs.longMonthNames[p.month - 1];
            i += n;
            lastWasHour = false;
            continue;
        }
        if (lc == 'h') {
            size_t n = run('h');
            int h = p.hour;
            if (ampm) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            out += n == 1 ? std::to_string(h) : Pad2(h);
            i += n;
            lastWasHour = true;
            continue;
        }
        if (lc == 'n') {
            size_t n = run('n');
            out += n == 1 ? std::to_string(p.min) : Pad2(p.min);
            i += n;
            lastWasHour = false;
            continue;
        }
        if (lc == 's') {
            size_t n = run('s');
            out += n == 1 ? std::to_string(p.sec) : Pad2(p.sec);
            i += n;
            lastWasHour = false;
            continue;
        }
        if (lc == 'z') {
            size_t n = run('z');
            out += n == 1 ? std::to_string(p.msec) : Format("%03d", p.msec);
            i += n;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::string FormatFloat(std::string_view format, double v)
{
    const TFormatSettings& fs = FormatSettings();
    if (!std::isfinite(v))
        return std::isnan(v) ? "NAN" : (v > 0 ? "INF" : "-INF");
    size_t dot = format.find('.');
    std::string_view intPart = format.substr(0, dot);
    std::string_view fracPart = dot == std::string_view::npos ? std::string_view() : format.substr(dot + 1);
    bool thousands = intPart.find(',') != std::string_view::npos;
    int minInt = 0;
    for (char c : intPart)
        if (c == '0')
            ++minInt;
    int minFrac = 0, maxFrac = 0;
    for (char c : fracPart) {
        if (c == '0') {
            ++minFrac;
            ++maxFrac;
        } else if (c == '#') {
            ++maxFrac;
        }
    }
    if (maxFrac > 8)
        maxFrac = 8;
    double rounded = RoundTo(v, maxFrac);
    bool neg = rounded < 0;
    double a = std::fabs(rounded);
    char buf[64];
    snprintf(buf, sizeof buf, "%.*f", maxFrac, a);
    std::string digits = buf;
    std::string ip = digits.substr(0, digits.find('.'));
    std::string fp = maxFrac > 0 ? digits.substr(digits.find('.') + 1) : std::string();
    while (static_cast<int>(fp.size()) > minFrac && !fp.empty() && fp.back() == '0')
        fp.pop_back();
    if (ip == "0" && minInt == 0)
        ip.clear();
    while (static_cast<int>(ip.size()) < minInt)
        ip.insert(ip.begin(), '0');
    if (thousands && ip.size() > 3) {
        std::string grouped;
        int count = 0;
        for (size_t k = ip.size(); k-- > 0;) {
            grouped.insert(grouped.begin(), ip[k]);
            if (++count % 3 == 0 && k > 0)
                grouped.insert(0, fs.thousandSeparator);
        }
        ip = grouped;
    }
    std::string out = ip;
    if (!fp.empty())
        out += fs.decimalSeparator + fp;
    if (out.empty())
        out = "0";
    if (neg && out.find_first_not_of("0.,") != std::string::npos)
        out.insert(out.begin(), '-');
    return out;
}
