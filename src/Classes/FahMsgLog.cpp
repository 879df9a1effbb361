#include "Classes/FahMsgLog.h"

#include "Classes/FahUtils.h"
#include "platform/Text.h"

TFahMsgLog::TFahMsgLog() : lines_(EmptyLogLines()) { InitKeywords(); }

void TFahMsgLog::InitKeywords()
{
    for (const char* k : {"error", "failed", "couldn't", "could not", "cannot", "conflict",
                          "termination of core was improper", "program will now exit",
                          "is currently running", "early_unit_end",
                          "working with standard loops on this execution",
                          "previous termination of core was improper"})
        errors_.Add(k);
    for (const char* k : {"client shutdown", "core required", "warning", "opening log file",
                          "benchmarking ...", "trying to send all finished", "verifying checksum",
                          "connecting to", "ask before connecting:", "proxy:", "user name:",
                          "user id:", "machine id:", "use ie connection settings:",
                          "launch directory:", "executable:", "arguments:",
                          "assembly optimizations", "going to use standard loops"})
        infos_.Add(k);
    for (const char* k : {"finished", "successful", "completed", "project:", "protein:",
                          "project=", "core found", "working", " ok", "benchmark result is",
                          "(writeworkresults)", " done"})
        successes_.Add(k);
    others_.Add("");
    others_.Add(" ");
}

std::string_view TFahMsgLog::NewLine(int i) const
{
    if (i < 0 || i >= newCount_)
        return {};
    return (*lines_)[newFirst_ + i];
}

void TFahMsgLog::SaveTail(const TLogLines& lines)
{
    tail_.clear();
    tailText_.clear();
    int from = std::max(lines.WindowStart(), lines.Count() - 5);
    for (int i = from; i < lines.Count(); ++i) {
        tail_.emplace_back(lines[i]);
        tailText_ += tail_.back();
        tailText_ += "\r\n";
    }
    tailEnd_ = lines.EndLineNumber();
    stream_ = lines.Stream();
}

bool TFahMsgLog::TailMatchesAt(const TLogLines& lines, int end, bool& grown) const
{
    const int k = static_cast<int>(tail_.size());
    if (end - k < lines.WindowStart() || end > lines.Count())
        return false;
    for (int j = 0; j < k - 1; ++j)
        if (lines[end - k + j] != tail_[static_cast<size_t>(j)])
            return false;
    // The last line may have been read while the client was still writing it.
    std::string_view last = lines[end - 1];
    const std::string& seen = tail_.back();
    if (last.size() < seen.size() || last.substr(0, seen.size()) != seen)
        return false;
    grown = last.size() != seen.size();
    return true;
}

int TFahMsgLog::FindTailEnd(const TLogLines& lines, bool& grown) const
{
    if (tail_.empty() || Trim(tailText_).empty())
        return -1;
    // Where the tail ended, as an index of this snapshot.
    const int64_t at = tailEnd_ - lines.FirstLineNumber() + lines.WindowStart();
    // A growing log keeps its old lines where they were.
    if (at <= lines.Count() && TailMatchesAt(lines, static_cast<int>(at), grown))
        return static_cast<int>(at);
    // The same reading of a log that only grew, whose old tail went above
    // the window, wholly or in part: what follows it is new.
    if (stream_ != 0 && lines.Stream() == stream_ && at <= lines.Count()) {
        if (at <= lines.WindowStart()) {
            grown = false;
            return lines.WindowStart();
        }
        grown = lines[static_cast<int>(at) - 1] != tail_.back();
        return static_cast<int>(at);
    }
    // Otherwise look for the newest place where the tail occurs.
    const int k = static_cast<int>(tail_.size());
    for (int end = lines.Count(); end >= lines.WindowStart() + k; --end)
        if (TailMatchesAt(lines, end, grown))
            return end;
    return -1;
}

bool TFahMsgLog::Update(const TLogLinesPtr& lines)
{
    TLogLinesPtr keep = lines ? lines : EmptyLogLines();
    bool grown = false;
    int end = FindTailEnd(*keep, grown);
    lines_ = keep;
    SaveTail(*keep);
    if (end >= 0) {
        newFirst_ = grown ? end - 1 : end;
        newCount_ = keep->Count() - newFirst_;
        ScanNewLines(false);
        return true;
    }
    newFirst_ = keep->WindowStart();
    newCount_ = keep->Count() - newFirst_;
    ScanNewLines(true);
    return false;
}

void TFahMsgLog::ScanNewLines(bool stopAtProject)
{
    if (!OnMessage)
        return;
    std::string text;
    const int last = newCount_ - 1;
    for (int i = last; i >= 0 && i >= last - MaxLines; --i) {
        std::string_view line = NewLine(i);
        if (stopAtProject && IsProjectLine(line))
            break;
        std::string lower = AsciiLower(line);
        text += "\r\n";
        text += lower;
        for (const std::string& keyword : errors_)
            if (lower.find(keyword) != std::string::npos)
                OnMessage(*this, i, text, keyword);
    }
}
