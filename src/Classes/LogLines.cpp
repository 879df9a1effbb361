#include "Classes/LogLines.h"

#include <cstring>

TLogLines::TLogLines(std::string text) : text_(std::move(text))
{
    const char* p = text_.data();
    const size_t n = text_.size();
    // One pass; a rough guess keeps the vector from growing many times.
    lines_.reserve(n / 48 + 1);
    size_t start = 0;
    size_t i = 0;
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
    list.Items().reserve(lines_.size());
    for (int i = 0; i < Count(); ++i)
        list.Add(std::string((*this)[i]));
    return list;
}

TLogLinesPtr EmptyLogLines()
{
    static const TLogLinesPtr empty = std::make_shared<const TLogLines>();
    return empty;
}
