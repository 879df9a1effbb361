#include "platform/StringList.h"

#include <algorithm>
#include <stdexcept>

#include "platform/FileUtil.h"
#include "platform/Text.h"

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> out;
    size_t start = 0, i = 0, n = text.size();
    while (i < n) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < n && text[i + 1] == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n)
        out.emplace_back(text.substr(start));
    return out;
}

void TStringList::SetText(std::string_view text) { items_ = SplitLines(text); }

std::string TStringList::Text() const
{
    size_t total = 0;
    for (const auto& s : items_)
        total += s.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& s : items_) {
        out += s;
        out += "\r\n";
    }
    return out;
}

std::string TStringList::Join(std::string_view sep) const
{
    std::string out;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i)
            out += sep;
        out += items_[i];
    }
    return out;
}

void TStringList::Insert(int index, std::string s)
{
    if (index < 0 || index > Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    items_.insert(items_.begin() + index, std::move(s));
}

void TStringList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    items_.erase(items_.begin() + index);
}

void TStringList::AddStrings(const TStringList& other)
{
    items_.insert(items_.end(), other.items_.begin(), other.items_.end());
}

int TStringList::IndexOf(std::string_view s, bool caseSensitive) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (caseSensitive ? items_[i] == s : SameText(items_[i], s))
            return static_cast<int>(i);
    return -1;
}

int TStringList::IndexOfName(std::string_view name) const
{
    for (size_t i = 0; i < items_.size(); ++i) {
        size_t eq = items_[i].find('=');
        if (eq != std::string::npos && SameText(std::string_view(items_[i]).substr(0, eq), name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string TStringList::Names(int i) const
{
    const std::string& s = (*this)[i];
    size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int i) const
{
    const std::string& s = (*this)[i];
    size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

std::string TStringList::Values(std::string_view name) const
{
    int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value)
{
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0)
            Delete(i);
        return;
    }
    std::string line = std::string(name) + "=" + std::string(value);
    if (i >= 0)
        items_[static_cast<size_t>(i)] = std::move(line);
    else
        items_.push_back(std::move(line));
}

void TStringList::LoadFromFile(const std::string& path) { SetText(ReadFileText(path)); }

void TStringList::SaveToFile(const std::string& path) const { WriteFileAtomic(path, Text()); }

void TStringList::Sort(bool caseSensitive)
{
    std::stable_sort(items_.begin(), items_.end(), [&](const std::string& a, const std::string& b) {
        return caseSensitive ? a < b : CompareText(a, b) < 0;
    });
}
