// An ordered list of strings with the line splitting and name=value lookup
// of the windowing class library's string list.
#pragma once
#include <string>
#include <string_view>
#include <vector>

class TStringList {
public:
    TStringList() = default;
    explicit TStringList(std::string_view text) { SetText(text); }

    // CR, LF and CR LF each end a line; a final line break adds no empty line;
    // NUL bytes are ordinary characters.
    void SetText(std::string_view text);
    // The lines joined, each followed by CR LF.
    std::string Text() const;
    // Lines joined with a separator and no trailing one.
    std::string Join(std::string_view sep) const;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
    std::string& operator[](int i) { return items_.at(static_cast<size_t>(i)); }
    void Add(std::string s) { items_.push_back(std::move(s)); }
    void Insert(int index, std::string s);
    void Delete(int index);
    void Clear() { items_.clear(); }
    void AddStrings(const TStringList& other);
    // Exact (case-sensitive) or case-insensitive search; -1 when absent.
    int IndexOf(std::string_view s, bool caseSensitive = false) const;

    // name=value lines. Names compare without regard to ASCII case.
    int IndexOfName(std::string_view name) const;
    std::string Names(int i) const;
    std::string ValueFromIndex(int i) const;
    std::string Values(std::string_view name) const;   // "" when absent
    void SetValue(std::string_view name, std::string_view value);  // "" deletes

    // Reads a whole file (UTF-8 path); throws EFileError when it can't be read.
    void LoadFromFile(const std::string& path);
    // Writes Text() to a file through a temporary file and a rename.
    void SaveToFile(const std::string& path) const;

    void Sort(bool caseSensitive = false);

    std::vector<std::string>& Items() { return items_; }
    const std::vector<std::string>& Items() const { return items_; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::string> items_;
};

// Splits text into lines by the string list's rules.
std::vector<std::string> SplitLines(std::string_view text);
