// Routines that read the texts a Folding@Home client writes: its log lines,
// "unitinfo.txt" dates, the time-zone shift of log times, the date texts a
// client object keeps, and a few helpers the main window uses.
//
// Log lines start with the UTC time of day in brackets ("[07:52:34] ...").
// Markers are matched as substrings; "case-insensitive" means ASCII letters
// fold (a marker is written in upper case).
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Classes/LogLines.h"
#include "platform/DateTime.h"

// Minutes to subtract from UTC to get local time (local = UTC - bias).
// Read from the registry when the program starts; the main window reads it
// again from time to time.
extern std::atomic<int> TimeZoneBias;

// "ActiveTimeBias" under HKLM "SYSTEM\CurrentControlSet\Control\TimeZoneInformation",
// stored as a DWORD or as four bytes of binary data; 0 when absent, of another
// type, or more than a day away from UTC.
int GetActiveTimeBias();

// The local date-time the core works with. Tests may fix it; 0 gives back the
// real clock.
TDateTime FahNow();
void SetFahNowForTesting(TDateTime fixedNow);

// utc - TimeZoneBias minutes.
TDateTime UtcToLocal(TDateTime utc);

// Trims source on the left; returns the text before the first delimiter and
// removes it and the delimiter from source. Without the delimiter the whole
// source is returned and source becomes empty.
std::string SplitFirst(std::string& source, std::string_view delimiter);

// Case-insensitive search for an upper-case ASCII marker; npos when absent.
size_t FindNoCase(std::string_view text, std::string_view upperMarker, size_t from = 0);
inline bool HasNoCase(std::string_view text, std::string_view upperMarker)
{
    return FindNoCase(text, upperMarker) != std::string_view::npos;
}
inline bool Has(std::string_view text, std::string_view marker)
{
    return text.find(marker) != std::string_view::npos;
}

// Progress values are ten-thousandths of a percent: 100 % = 1,000,000.
constexpr int64_t kNoProgress = -10000;
constexpr int64_t kFullProgress = 1000000;

// The progress that a "] Completed ..." or "] Finished a frame (n)" line shows,
// or kNoProgress. A frame line counts frame n as n/4 percent and sets isFrame.
int64_t GetProgressFromLine(std::string_view line, bool* isFrame = nullptr);

// Lines the client prints between progress lines (checkpoints, sending results).
bool IsNoiseLine(std::string_view line);
// "[..] Project: p (Run r, Clone c, Gen g)" or "[..] Project=...".
bool IsProjectLine(std::string_view line);

// The time of day in the line's leading brackets, shifted to local time and
// brought into one day [0, 1); 0 when the line has no such time.
TDateTime GetLogLineTime(std::string_view line);
// The same in whole milliseconds of the local day; -1 when the line has no time.
int GetLogLineTimeMs(std::string_view line);

// A "unitinfo.txt" date ("March 23 22:41:07", UTC, no year) as a local
// date-time, the year chosen around today; 0 when the text is not a date.
TDateTime ParseUnitInfoDate(std::string_view text);

// The date texts a client object keeps: "yy.mm.dd   hh:nn:ss" (year - 2000).
// A date-time that is not above 0 gives an empty text; a text that is not one
// of these reads as 0.
std::string DateTimeToFahText(TDateTime dt);
TDateTime FahTextToDateTime(std::string_view text);

// A log without carriage returns (a Linux client) whose last lines show a
// progress line after the last shutdown: the client is still running.
bool IsLinuxClientRunning(const TLogLines& lines, bool noCR);

// A link with information about a computing core ("GROMACS", "AMBER", ...);
// empty for a blank name.
std::string GetCoreInfoUrl(const std::string& coreName);

// After a finished unit: "#<project>;<result size in bytes>;0" read from the
// log text, or empty when the log does not show both.
std::string GetResultSizeFromLog(std::string_view logText);
// The same on a client's snapshot of its log.
std::string GetResultSizeFromLog(const TLogLines& lines);

// The operating system's major version is 5 or more.
bool IsWin2000OrLater();
