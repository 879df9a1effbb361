// The row of one client in the main list, and the totals row of a group of
// clients.
//
// TFahView owns its client object and copies the client's fields into display
// texts under the client's lock; it looks the project up in the project
// database and works out points per hour and per day. TFahViewSum adds up a
// group of rows: counts by state, points, the largest percent and the
// earliest dates.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Classes/Fah.h"
#include "Classes/ProjectInfo.h"
#include "platform/DateTime.h"
#include "platform/Rounding.h"

// Dates in the lists: day, short month name, two blanks, time.
constexpr char kListDateFormat[] = "d mmm  hh:nn:ss";

class TFahView;
// Sender, old and new project/run/clone/gen text.
using TRcgChangeEvent = std::function<void(TFahView& sender, const std::string& oldText, const std::string& newText)>;

class TFahView {
public:
    // Takes the client object (may be null: the view then never updates).
    explicit TFahView(std::unique_ptr<TFah> fah);
    // Frees the client object, which stops its polling thread.
    ~TFahView();
    TFahView(const TFahView&) = delete;
    TFahView& operator=(const TFahView&) = delete;

    TFah* Fah() const { return fah_.get(); }

    // Copies the client's fields under its lock and recomputes every text.
    void Update();
    // Sets the new-message flag here and on the client.
    void SetNewMessages(bool flag);
    // Edited "client.cfg" text: kept here and handed to the client.
    void SetClientCfgText(const std::string& text);
    // The telling "client.cfg" values: "bigpackets=...", "type=..." and a
    // "cpuusage=..." other than 100, joined by ", ".
    std::string GetCfgSummary() const;
    // A new project/run/clone/gen text marks the unit unique again and
    // raises OnChange.
    void SetRcgText(const std::string& text);
    // "2669 (1-2-3)" from "Run 1, Clone 2, Gen 3"; empty for an empty text.
    std::string FormatProjectRcg(const std::string& runCloneGen) const;

    TProjectInfo ProjectInfo;   // the last lookup
    TRcgChangeEvent OnChange;

    std::string Folder, ClientCfgFileName;
    std::string ClientCfgText;
    // CompConfig: the language's "not defined" when the client has none.
    std::string Alias, ServiceName, CompConfig;
    std::string DisplayName;
    uint8_t Status = fsUnknown;
    std::string StatusText;
    int Percent = 0;
    TDateTime DownloadTime = 0;
    std::string DownloadText;
    TDateTime EtaTime = 0;
    std::string EtaText;
    TDateTime DueTime = 0;
    std::string DueText;
    std::string ProjectRcgText;
    bool NewMessages = false;
    double StepTime = 0;   // days
    std::string StepText;
    std::string UserName;
    int TeamNumber = 0;
    std::string UserTeamText;
    int Project = 0;   // 0 when the database does not know it
    std::string WuSizeText;
    std::string ResultSizeText;
    std::string ServerIP, WUName;
    int Atoms = 0;
    int PreferredDays = 0;
    std::string PrefDeadlineText;
    std::string FinalDeadline;
    int Credit = 0;
    int Frames = 0;
    std::string Core;
    std::string PPHText;
    TFixed4 PPH;
    std::string PPDText;
    int PPD = 0;
    // False while another row shows the same work unit (set by the list).
    bool UniqueUnit = true;

private:
    // The last client text a date was read from.
    struct TDateMemo {
        std::string source;
        bool valid = false;
    };
    // time and text from a client date text, read again only when it changed.
    static void ReadDate(TDateMemo& memo, const std::string& clientText, TDateTime& time, std::string& text);
    // The lookup and the points; runs inside Update.
    void UpdateProjectInfo(int clientProject, const std::string& clientWUName, double rate);

    std::unique_ptr<TFah> fah_;
    int clientProject_ = 0;   // the client's own project number at the last update
    TDateMemo downloadMemo_, etaMemo_, dueMemo_;
    TFixed4 wuSize_;
    std::string kbUnit_, mbUnit_;
};

// The work-unit size in KB as the lists show it: "1,023.9 KB", "1.00 MB".
std::string FormatWuSize(TFixed4 kb);
// A list date, or empty when the date is not above 0 or lies after the year 9999.
std::string FormatListDate(TDateTime t);

class TFahViewSum {
public:
    explicit TFahViewSum(const std::string& name = std::string()) : Name(name) {}

    // Every number, count and date, and the row number, back to 0.
    void Clear();
    void SetName(const std::string& name) { Name = name; }

    void AddPoints(int credit, int ppd, TFixed4 pph);
    // The earliest date above 0 stays.
    void AddEta(TDateTime t) { KeepEarliest(EtaTime, t); }
    void AddDueTime(TDateTime t) { KeepEarliest(DueTime, t); }
    void AddPrefDeadline(TDateTime t) { KeepEarliest(PrefDeadline, t); }
    void AddPercent(int p);
    void IncRunCount(int n = 1) { RunCount += n; }
    void IncReadyCount(int n = 1) { ReadyCount += n; }
    void IncStoppedCount(int n = 1) { StoppedCount += n; }
    void IncClientCount(int n = 1) { ClientCount += n; }

    // "2. name" from row number 1 on, else the bare name.
    std::string GetNameText() const;
    // "run: 2, rea: 1, sto: 0, total 3" in the current language.
    std::string GetStatusSummary() const;
    std::string GetEtaText() const { return FormatListDate(EtaTime); }
    std::string GetDueText() const { return FormatListDate(DueTime); }
    std::string GetPrefDeadlineText() const { return FormatListDate(PrefDeadline); }
    // The largest percent and two blanks.
    std::string GetPercentText() const;

    std::string Name;
    int Credit = 0;
    TFixed4 PPH;
    int PPD = 0;
    int RunCount = 0, ReadyCount = 0, StoppedCount = 0;
    TDateTime DueTime = 0, EtaTime = 0, PrefDeadline = 0;
    int MaxPercent = 0;
    int ClientCount = 0;
    int RowNumber = 0;

private:
    static void KeepEarliest(TDateTime& stored, TDateTime t);
};
