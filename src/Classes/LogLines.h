// A client file as read, split into lines without copying them: the text is
// kept whole and each line is a view into it. A poll shares one immutable
// snapshot between the polling thread and the windows that show it.
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

    int Count() const { return static_cast<int>(lines_.size()); }
    bool Empty() const { return lines_.empty(); }
    std::string_view operator[](int i) const
    {
        const auto& l = lines_.at(static_cast<size_t>(i));
        return std::string_view(text_.data() + l.first, l.second);
    }
    // The text as it was read, line ends included.
    const std::string& Text() const { return text_; }
    // True when the text holds no carriage return (and is not empty).
    bool HasNoCR() const;
    TStringList ToStringList() const;

private:
    void Split(size_t from);

    std::string text_;
    std::vector<std::pair<uint32_t, uint32_t>> lines_;   // offset, length
};

using TLogLinesPtr = std::shared_ptr<const TLogLines>;
// A shared empty snapshot.
TLogLinesPtr EmptyLogLines();
