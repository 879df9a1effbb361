// The project database: what a project is (server, work-unit name, atoms,
// deadlines, credit, frames, core), looked up by project number or by
// work-unit name.
//
// ProjectList holds one line per project, "#number;server;name;atoms;
// preferred days;final deadline days;credit;frames;core". It starts with the
// built-in table "AddFahInfo" and grows with every reading of the downloaded
// summary page, whose rows go on top: the first line that matches wins, so
// the newest page beats the built-in table.
//
// Loading and lookups run on the GUI thread only (start-up, downloads, list
// repaints); the lists are not locked.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/StringList.h"

// Capacities of the record's texts, in characters; longer texts are cut.
constexpr int kServerIPChars = 20;
constexpr int kWUNameChars = 64;
constexpr int kFinalDeadlineChars = 20;
constexpr int kCoreChars = 20;

// One project, as FindProjectInfo fills it.
struct TProjectInfo {
    int Project = 0;
    std::string ServerIP;
    std::string WUName;
    int Atoms = 0;
    int PreferredDays = 0;
    std::string FinalDeadline;   // whole days, or sWithoutLimitation
    int Credit = 0;
    int Frames = 0;
    std::string Core;
};

// The first n characters (not bytes) of a UTF-8 text; a character is never
// split.
std::string CutChars(std::string_view s, int n);

// The project number of a data line "#<number>;...", written the plain way
// ("#0123;" is not project 123); false for any other line.
bool LineProjectNumber(std::string_view line, int& project);

// A list of data lines with quick lookups of the first line of a project
// and of the first project line whose work-unit name begins with a text.
// The lookups are indexed; any change drops the index, which is rebuilt on
// the next lookup.
class TDataLines {
public:
    int Count() const { return lines_.Count(); }
    const std::string& operator[](int i) const { return lines_[i]; }
    const TStringList& Lines() const { return lines_; }
    // The lines joined, each followed by CR LF.
    std::string Text() const { return lines_.Text(); }

    void SetText(std::string_view text);
    void SetLines(std::vector<std::string> lines);
    // Puts the lines on top of the list, in the order given.
    void InsertAtTop(std::vector<std::string> lines);
    void Clear();

    // Index of the first line beginning with "#<project>;", -1 when none.
    int IndexOfProject(int project) const;
    // Index of the first project line ("#" first) whose third field, the
    // work-unit name, begins with name, ignoring ASCII case (the name may
    // run on into the later fields); -1 when none or when name is empty.
    int IndexOfWUName(std::string_view name) const;

private:
    void Changed();
    void BuildProjectIndex() const;
    void BuildNameIndex() const;

    TStringList lines_;
    mutable bool projectIndexed_ = false;
    mutable std::unordered_map<int, int> firstOfProject_;
    // The project lines lower-cased from their work-unit name to their end,
    // one after the other, and a table of these tails sorted by their text.
    mutable bool namesIndexed_ = false;
    mutable std::string folded_;
    struct TTail {
        unsigned offset, length;
        int line;
    };
    mutable std::vector<TTail> tails_;
};

// The project lines (see above).
TDataLines& ProjectList();

// Fills the record of the project whose number the caller put in
// info.Project or, when no line has that number, of the first project whose
// work-unit name begins with info.WUName (ignoring case). True when found; otherwise the record
// is cleared, WUName set to sNoData, and the result is false.
bool FindProjectInfo(TProjectInfo& info);

// A summary page larger than this is not a summary page: LoadPSummary
// leaves it unread.
constexpr uint64_t kMaxPSummaryBytes = 32ull << 20;

// The project lines of a summary page's text, in page order.
std::vector<std::string> ParsePSummary(std::string_view page);
// Puts the rows of the downloaded summary page (PSummaryFile) on top of
// ProjectList, the page's last row first. A missing or unreadable file adds
// nothing. Returns the number of rows added.
int LoadPSummary();

// The database as the program starts: ProjectList := "AddFahInfo",
// LoadPSummary, and the upload sizes likewise (UploadSizes.h). Done by itself
// when the program starts; call again after pointing the data folder
// elsewhere.
void InitProjectDatabase();
