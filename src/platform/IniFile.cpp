#include "platform/IniFile.h"

#include <algorithm>

#include "platform/FileUtil.h"
#include "platform/StringList.h"
#include "platform/Text.h"

TIniFile::TIniFile(std::string path) : path_(std::move(path))
{
    std::string text;
    if (!TryReadFileText(path_, text, 64u << 20))
        return;
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    else if (!IsValidUtf8(text))
        text = CodePageToUtf8(text, 0 /* CP_ACP */);
    Section* current = nullptr;
    for (const std::string& raw : SplitLines(text)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string name = Trim(line.substr(1, line.size() - 2));
            current = Find(name);
            if (!current) {
                sections_.push_back({name, {}});
                current = &sections_.back();
            }
            continue;
        }
        if (!current)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        auto it = std::find_if(current->entries.begin(), current->entries.end(),
                               [&](const Entry& e) { return SameText(e.key, key); });
        if (it == current->entries.end())
            current->entries.push_back({key, value});
    }
}

TIniFile::Section* TIniFile::Find(const std::string& name)
{
    for (auto& s : sections_)
        if (SameText(s.name, name))
            return &s;
    return nullptr;
}

const TIniFile::Section* TIniFile::Find(const std::string& name) const
{
    for (const auto& s : sections_)
        if (SameText(s.name, name))
            return &s;
    return nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def) const
{
    if (const Section* s = Find(section))
        for (const auto& e : s->entries)
            if (SameText(e.key, ident))
                return e.value;
    return def;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& ident, int def) const
{
    return StrToIntDef(ReadString(section, ident, ""), def);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) const
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident,
                           const std::string& value)
{
    // Line breaks can't be kept in a line-based file.
    std::string v = value;
    std::replace(v.begin(), v.end(), '\r', ' ');
    std::replace(v.begin(), v.end(), '\n', ' ');
    Section* s = Find(section);
    if (!s) {
        sections_.push_back({section, {}});
        s = &sections_.back();
    }
    for (auto& e : s->entries)
        if (SameText(e.key, ident)) {
            if (e.value == v)
                return;
            e.value = v;
            Changed();
            return;
        }
    s->entries.push_back({ident, v});
    Changed();
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int value)
{
    WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

bool TIniFile::SectionExists(const std::string& section) const { return Find(section) != nullptr; }

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) const
{
    if (const Section* s = Find(section))
        for (const auto& e : s->entries)
            if (SameText(e.key, ident))
                return true;
    return false;
}

std::vector<std::string> TIniFile::ReadSections() const
{
    std::vector<std::string> out;
    for (const auto& s : sections_)
        out.push_back(s.name);
    return out;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const
{
    std::vector<std::string> out;
    if (const Section* s = Find(section))
        for (const auto& e : s->entries)
            out.push_back(e.key);
    return out;
}

std::vector<std::string> TIniFile::ReadSectionValues(const std::string& section) const
{
    std::vector<std::string> out;
    if (const Section* s = Find(section))
        for (const auto& e : s->entries)
            out.push_back(e.key + "=" + e.value);
    return out;
}

void TIniFile::EraseSection(const std::string& section)
{
    auto it = std::remove_if(sections_.begin(), sections_.end(),
                             [&](const Section& s) { return SameText(s.name, section); });
    if (it != sections_.end()) {
        sections_.erase(it, sections_.end());
        Changed();
    }
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    Section* s = Find(section);
    if (!s)
        return;
    auto it = std::remove_if(s->entries.begin(), s->entries.end(),
                             [&](const Entry& e) { return SameText(e.key, ident); });
    if (it != s->entries.end()) {
        s->entries.erase(it, s->entries.end());
        Changed();
    }
}

void TIniFile::Changed()
{
    dirty_ = true;
    if (updating_ == 0)
        UpdateFile();
}

void TIniFile::EndUpdate()
{
    if (updating_ > 0 && --updating_ == 0 && dirty_)
        UpdateFile();
}

void TIniFile::UpdateFile()
{
    std::string text;
    for (const auto& s : sections_) {
        text += "[" + s.name + "]\r\n";
        for (const auto& e : s.entries)
            text += e.key + "=" + e.value + "\r\n";
        text += "\r\n";
    }
    WriteFileAtomic(path_, text);
    dirty_ = false;
}
