// The log tracker of one client: which lines of the client's log are new
// since the previous poll, and which error keywords they hold. The four
// keyword groups (error, information, success, other) also colour log lines.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Classes/LogLines.h"
#include "platform/StringList.h"

class TFahMsgLog {
public:
    // Raised once per error keyword found in a new line. index: the line's
    // index among the new lines; text: that line and the newer scanned lines,
    // lower-cased, newest first, each after a CR LF; keyword: the keyword.
    using TMessageEvent = std::function<void(TFahMsgLog& sender, int index, const std::string& text,
                                             const std::string& keyword)>;

    TFahMsgLog();

    // Finds the lines that follow the tail seen last time and scans them.
    // True when the previous tail was found; false on the first update and
    // when the log was replaced (then every line counts as new). Only the
    // window of a long log's snapshot is looked at: a snapshot of the same
    // stream as the last one continues it even when the old tail has left
    // the window (the log grew by more than the window).
    bool Update(const TLogLinesPtr& lines);
    // Remembers the last five lines of the log.
    void SaveTail(const TLogLines& lines);
    // Scans the new lines from the newest back (at most MaxLines + 1 of them)
    // for the error keywords. stopAtProject: stop at the newest project line,
    // the start of the current work unit (used when the whole log is new).
    void ScanNewLines(bool stopAtProject);

    int NewLineCount() const { return newCount_; }
    std::string_view NewLine(int i) const;
    // The last five lines as last seen, each followed by CR LF.
    const std::string& TailText() const { return tailText_; }

    TMessageEvent OnMessage;
    int MaxLines = 200;

    const TStringList& ErrorKeywords() const { return errors_; }
    const TStringList& InfoKeywords() const { return infos_; }
    const TStringList& SuccessKeywords() const { return successes_; }
    const TStringList& OtherKeywords() const { return others_; }

private:
    void InitKeywords();
    // Index just past the remembered tail in lines, or -1. grown: the tail's
    // last line was incomplete then and has grown since.
    int FindTailEnd(const TLogLines& lines, bool& grown) const;
    bool TailMatchesAt(const TLogLines& lines, int end, bool& grown) const;

    TLogLinesPtr lines_;
    int newFirst_ = 0;
    int newCount_ = 0;
    std::vector<std::string> tail_;
    std::string tailText_;
    int64_t tailEnd_ = 0;   // the file's line count when the tail was saved
    uint64_t stream_ = 0;   // the stream of the snapshot it was saved from
    TStringList errors_, infos_, successes_, others_;
};
