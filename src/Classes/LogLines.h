// A client file as read, split into lines without copying them: the text is
// kept whole and each line is a view into it. A poll shares one immutable
// snapshot between the polling thread and the windows that show it.
//
// A long log is held as a window: its newest lines (Text()), and before them
// a few earlier lines that the parse still needs (the line where the unit
// started, the user line...; see TLogTailReader). Index 0 is then the first
// of those, WindowStart() the window's first line, and FirstLineNumber()
// how many lines of the file lie above the window.
//
// CR, LF and CR LF each end a line; a final line break adds no empty line;
// NUL bytes are ordinary characters.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/StringList.h"

class TLogLines {
public:
    TLogLines() = default;
    explicit TLogLines(std::string text);
    // prev's text followed by more (a log that grew): prev's lines are kept,
    // only its last line and the new text are split again.
    TLogLines(const TLogLines& prev, std::string_view more);
    // A window of a longer log: earlier lines (in file order) and the
    // window's text, whose first line is line firstLine of the file (counted
    // from 0). stream: the reading the snapshot comes from; two snapshots of
    // one stream show one file that only grew in between (0: unknown).
    // uncountedAbove: the window is the end of a file read alone; lines lie
    // above it, how many is not known (firstLine is then 0).
    TLogLines(std::vector<std::string> earlier, std::string text, int64_t firstLine, uint64_t stream,
              bool uncountedAbove = false);

    int Count() const { return static_cast<int>(earlier_.size() + lines_.size()); }
    bool Empty() const { return Count() == 0; }
    std::string_view operator[](int i) const
    {
        const size_t k = static_cast<size_t>(i);
        if (k < earlier_.size())
            return earlier_[k];
        const auto& l = lines_.at(k - earlier_.size());
        return std::string_view(text_.data() + l.first, l.second);
    }
    // The window's text as it was read, line ends included (the whole log
    // when it is held whole).
    const std::string& Text() const { return text_; }
    // True when the window holds no carriage return (and is not empty).
    bool HasNoCR() const;
    TStringList ToStringList() const;

    // The index of the window's first line (the earlier lines come before).
    int WindowStart() const { return static_cast<int>(earlier_.size()); }
    // Lines of the file above the window (0: the log is held from its start,
    // or they were not counted).
    int64_t FirstLineNumber() const { return firstLine_; }
    // Whether the file goes on above the window, and whether those lines
    // were counted (FirstLineNumber()).
    bool HasLinesAbove() const { return firstLine_ > 0 || uncountedAbove_; }
    bool LinesAboveCounted() const { return !uncountedAbove_; }
    // Lines of the file up to the window's end.
    int64_t EndLineNumber() const { return firstLine_ + static_cast<int64_t>(lines_.size()); }
    uint64_t Stream() const { return stream_; }
    // The same lines at the same place of the file (the stream aside).
    bool SameLines(const TLogLines& other) const
    {
        return firstLine_ == other.firstLine_ && uncountedAbove_ == other.uncountedAbove_ &&
               earlier_ == other.earlier_ && text_ == other.text_;
    }

private:
    void Split(size_t from);

    std::vector<std::string> earlier_;
    std::string text_;
    std::vector<std::pair<uint32_t, uint32_t>> lines_;   // offset, length
    int64_t firstLine_ = 0;
    uint64_t stream_ = 0;
    bool uncountedAbove_ = false;
};

using TLogLinesPtr = std::shared_ptr<const TLogLines>;
// A shared empty snapshot.
TLogLinesPtr EmptyLogLines();
