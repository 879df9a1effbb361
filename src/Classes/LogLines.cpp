#include "Classes/LogLines.h"

#include <cstring>

TLogLines::TLogLines(std::string text) : text_(std::move(text))
{
    // A rough guess keeps the vector from growing many times.
    lines_.reserve(text_.size() / 48 + 1);
    Split(0);
}

TLogLines::TLogLines(std::vector<std::string> earlier, std::string text, int64_t firstLine, uint64_t stream,
                     bool uncountedAbove)
    : earlier_(std::move(earlier)), text_(std::move(text)), firstLine_(firstLine), stream_(stream),
      uncountedAbove_(uncountedAbove)
{
    lines_.reserve(text_.size() / 48 + 1);
    Split(0);
}

TLogLines::TLogLines(const TLogLines& prev, std::string_view more)
    : earlier_(prev.earlier_), firstLine_(prev.firstLine_), stream_(prev.stream_), uncountedAbove_(prev.uncountedAbove_)
{
    text_.reserve(prev.text_.size() + more.size());
    text_ = prev.text_;
    text_.append(more);
    // The last line may have been incomplete, or a CR at its end may pair with an LF now.
    size_t from = 0;
    size_t keep = prev.lines_.size();
    if (keep > 0) {
        --keep;
        from = prev.lines_[keep].first;
    }
    lines_.reserve(keep + more.size() / 48 + 2);
    lines_.assign(prev.lines_.begin(), prev.lines_.begin() + static_cast<std::ptrdiff_t>(keep));
    Split(from);
}

void TLogLines::Split(size_t from)
{
    const char* p = text_.data();
    const size_t n = text_.size();
    size_t start = from;
    size_t i = from;
    while (i < n) {
        char c = p[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines_.emplace_back(static_cast<uint32_t>(start), static_cast<uint32_t>(i - start));
        ++i;
        if (c == '\r' && i < n && p[i] == '\n')
            ++i;
        start = i;
    }
    if (start < n)
        lines_.emplace_back(static_cast<uint32_t>(start), static_cast<uint32_t>(n - start));
    lines_.shrink_to_fit();
}

bool TLogLines::HasNoCR() const
{
    return !text_.empty() && memchr(text_.data(), '\r', text_.size()) == nullptr;
}

TStringList TLogLines::ToStringList() const
{
    TStringList list;
    list.Items().reserve(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        list.Add(std::string((*this)[i]));
    return list;
}

TLogLinesPtr EmptyLogLines()
{
    static const TLogLinesPtr empty = std::make_shared<const TLogLines>();
    return empty;
}
