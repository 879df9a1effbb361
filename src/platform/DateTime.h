// Date and time as the class library keeps it: a double counting days since
// 1899-12-30, the fraction being the time of day. Local time unless stated.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

using TDateTime = double;

constexpr double MSecsPerDay = 86400000.0;
constexpr double SecsPerDay = 86400.0;

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int min, int sec, int msec);
int DaysInMonth(int year, int month);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
// Throw EConvertError for an invalid date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);

struct TDateParts {
    int year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0, msec = 0;
    int dayOfWeek = 0;   // 1 = Sunday .. 7 = Saturday
};
// The parts of a date-time; the time is rounded to the nearest millisecond.
TDateParts DecodeDateTime(TDateTime dt);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);

TDateTime Now();        // local time
TDateTime NowUtc();
TDateTime Date();       // today, local, at midnight

// Formats a date-time with the class library's patterns: d dd ddd dddd m mm mmm mmmm
// yy yyyy h hh n nn s ss z zzz am/pm, quoted text and any other character as is.
// Month and day names come from the user's locale.
std::string FormatDateTime(std::string_view format, TDateTime dt);

// Formats a number with a pattern made of '0', '#', ',' (thousands) and '.' (decimal point),
// for example "0.00", "#,##0.0", "0". Ties round to even.
std::string FormatFloat(std::string_view format, double v);

// Separators used by FormatFloat and month names used by FormatDateTime. Read from the
// user's locale on first use; tests may set them.
struct TFormatSettings {
    char decimalSeparator = '.';
    std::string thousandSeparator = ",";
    std::string shortMonthNames[12];
    std::string longMonthNames[12];
    std::string shortDayNames[7];   // Sunday first
    std::string longDayNames[7];
};
TFormatSettings& FormatSettings();
void LoadFormatSettingsFromLocale();
