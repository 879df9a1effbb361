#include "platform/IniFile.h"

#include <windows.h>

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/StringList.h"
#include "platform/Text.h"

namespace {

// Larger is no folder list or placement file: it is left alone.
constexpr uint64_t kMaxFileBytes = 64u << 20;

bool IsKey(const std::string& key, const std::string& ident)
{
    return !key.empty() && SameText(key, ident);
}

bool IsComment(const std::string& line)
{
    return line[0] == ';' || line[0] == '#';
}

std::wstring Utf16FromBytes(const std::string& bytes, size_t from, bool bigEndian)
{
    std::wstring w((bytes.size() - from) / 2, L'\0');
    for (size_t i = 0; i < w.size(); ++i) {
        auto b0 = static_cast<unsigned char>(bytes[from + 2 * i]);
        auto b1 = static_cast<unsigned char>(bytes[from + 2 * i + 1]);
        w[i] = static_cast<wchar_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
    }
    return w;
}

// A high surrogate not followed by a low one, or a low one alone: no text.
bool HasLoneSurrogate(const std::wstring& w)
{
    for (size_t i = 0; i < w.size(); ++i) {
        if (w[i] >= 0xD800 && w[i] <= 0xDBFF) {
            if (i + 1 >= w.size() || w[i + 1] < 0xDC00 || w[i + 1] > 0xDFFF)
                return true;
            ++i;
        } else if (w[i] >= 0xDC00 && w[i] <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

// Where the name of a section header ends: its "]" (npos when the line is
// no header). A header may have a comment after it ("[C:\b\] ; the second
// box [old]"); a name may hold "]" itself ("[C:\fah[1]\]"). So the "]" is
// the first one followed by a comment, else the line's last one, as the
// system's profile reader takes it.
size_t HeaderEnd(const std::string& line)
{
    if (line.size() < 2 || line.front() != '[')
        return std::string::npos;
    for (size_t at = line.find(']'); at != std::string::npos; at = line.find(']', at + 1)) {
        size_t next = line.find_first_not_of(" \t", at + 1);
        if (next != std::string::npos && (line[next] == ';' || line[next] == '#'))
            return at;
    }
    return line.rfind(']');
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path))
{
    std::string text;
    if (!TryReadFileText(path_, text, kMaxFileBytes)) {
        DWORD code = GetLastError();
        if ((code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) && !FileExists(path_))
            return;   // no file yet: an empty one
        loadError_ = FileText(&TFileTexts::NotRead, {path_, SystemErrorText(code)});
        return;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        encoding_ = kUtf8Bom;
        text.erase(0, 3);
    } else if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
        encoding_ = text[0] == '\xFF' ? kUtf16Le : kUtf16Be;
        if (text.size() % 2 != 0) {
            loadError_ = FileText(&TFileTexts::NotWholeUtf16, {path_});
            return;
        }
        std::wstring wide = Utf16FromBytes(text, 2, encoding_ == kUtf16Be);
        // A save would write U+FFFD for it: such a file is no text we can keep.
        if (HasLoneSurrogate(wide)) {
            loadError_ = FileText(&TFileTexts::NotWholeUtf16, {path_});
            return;
        }
        text = WideToUtf8(wide);
    } else if (!IsValidUtf8(text)) {
        text = CodePageToUtf8(text, 0 /* CP_ACP */);
    }
    // Zero characters: UTF-16 without its mark, or no text at all.
    if (text.find('\0') != std::string::npos) {
        loadError_ = FileText(&TFileTexts::NotText, {path_});
        return;
    }
    Parse(text);
}

void TIniFile::Parse(const std::string& text)
{
    Section* current = nullptr;
    // After a line that starts with "[" but is no header, up to the next
    // header: the lines are kept, not read.
    bool ended = false;
    // Comment lines wait: above a header they belong to its section (above
    // the first one, to the file).
    std::vector<std::string> pending;
    auto flush = [&] {
        for (std::string& line : pending)
            if (current)
                current->entries.push_back({"", "", std::move(line)});
            else
                head_.push_back(std::move(line));
        pending.clear();
    };
    for (const std::string& raw : SplitLines(text)) {
        std::string line = Trim(raw);
        if (line.empty())
            continue;
        if (size_t end = HeaderEnd(line); end != std::string::npos) {
            std::string name = Trim(line.substr(1, end - 1));
            // What follows the name (a comment) is written back after it.
            std::string trailer = line.substr(end + 1);
            // The comments at the top are the file's, not its first section's.
            if (sections_.empty())
                flush();
            // A section's header again stays where it is; its keys are read
            // after the first header's.
            const bool repeat = Find(name) != nullptr;
            repeats_ = repeats_ || repeat;
            sections_.push_back({name, std::move(trailer), std::move(pending), {}, repeat});
            current = &sections_.back();
            pending.clear();
            ended = false;
            continue;
        }
        if (line[0] == '[') {
            // No header: the section ends here, and the file's reader hears of it.
            pending.push_back(raw);
            flush();
            if (current)
                current->entries.back().ends = true;
            noHeaderLines_.push_back(line);
            ended = true;
            continue;
        }
        size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? std::string() : Trim(line.substr(0, eq));
        if (key.empty() || IsComment(line) || !current || ended) {
            // Not a key of ours: kept as it stands.
            pending.push_back(raw);
            if (!IsComment(line))
                flush();
            continue;
        }
        flush();
        std::string value = Trim(line.substr(eq + 1));
        // A second line of a key is never read; it stays as the user wrote it.
        const bool known = std::any_of(current->entries.begin(), current->entries.end(),
                                       [&](const Entry& e) { return IsKey(e.key, key); }) ||
                           (current->repeat && FindKey(current->name, key));
        if (!known)
            current->entries.push_back({key, value, ""});
        else
            current->entries.push_back({"", "", raw});
    }
    flush();
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

// A file without repeated headers has each section once: the search ends
// at the first.
template <class F>
void TIniFile::ForEachEntry(const std::string& section, F f) const
{
    for (const auto& s : sections_) {
        if (!SameText(s.name, section))
            continue;
        for (const auto& e : s.entries)
            f(e);
        if (!repeats_)
            return;
    }
}

TIniFile::Entry* TIniFile::FindKey(const std::string& section, const std::string& ident)
{
    for (auto& s : sections_) {
        if (!SameText(s.name, section))
            continue;
        for (auto& e : s.entries)
            if (IsKey(e.key, ident))
                return &e;
        if (!repeats_)
            return nullptr;
    }
    return nullptr;
}

const TIniFile::Entry* TIniFile::FindKey(const std::string& section, const std::string& ident) const
{
    return const_cast<TIniFile*>(this)->FindKey(section, ident);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def) const
{
    if (const Entry* e = FindKey(section, ident))
        return e->value;
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
    if (Entry* e = FindKey(section, ident)) {
        if (e->value == v)
            return;
        e->value = v;
        Changed();
        return;
    }
    Section* s = Find(section);
    if (!s) {
        sections_.push_back({section, "", {}, {}});
        s = &sections_.back();
    }
    // Above a kept line of the same key (a repeat of one deleted before):
    // that line stays a repeat, never read. Above a line that ends the
    // section too: below it, it would not be read.
    const auto end = std::find_if(s->entries.begin(), s->entries.end(), [](const Entry& e) { return e.ends; });
    auto at = std::find_if(s->entries.begin(), end, [&](const Entry& e) {
        const std::string line = Trim(e.text);
        if (!e.key.empty() || line.empty() || IsComment(line))
            return false;
        size_t eq = line.find('=');
        return eq != std::string::npos && SameText(Trim(line.substr(0, eq)), ident);
    });
    s->entries.insert(at, {ident, v, ""});
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
    return FindKey(section, ident) != nullptr;
}

std::vector<std::string> TIniFile::ReadSections() const
{
    std::vector<std::string> out;
    for (const auto& s : sections_)
        if (!s.repeat)
            out.push_back(s.name);
    return out;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const
{
    std::vector<std::string> out;
    ForEachEntry(section, [&](const Entry& e) {
        if (!e.key.empty())
            out.push_back(e.key);
    });
    return out;
}

std::vector<std::string> TIniFile::ReadSectionValues(const std::string& section) const
{
    std::vector<std::string> out;
    ForEachEntry(section, [&](const Entry& e) {
        if (!e.key.empty())
            out.push_back(e.key + "=" + e.value);
    });
    return out;
}

void TIniFile::EraseSection(const std::string& section)
{
    // Every header of the section goes, with its keys; the lines below a
    // line that ended one are no part of it: they stay, with what is above.
    bool erased = false;
    for (size_t i = 0; i < sections_.size();) {
        Section& s = sections_[i];
        if (!SameText(s.name, section)) {
            ++i;
            continue;
        }
        auto e = std::find_if(s.entries.begin(), s.entries.end(), [](const Entry& e) { return e.ends; });
        for (; e != s.entries.end(); ++e) {
            if (i > 0)
                sections_[i - 1].entries.push_back(std::move(*e));
            else
                head_.push_back(std::move(e->text));
        }
        sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(i));
        erased = true;
    }
    if (erased)
        Changed();
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    bool deleted = false;
    for (auto& s : sections_) {
        if (!SameText(s.name, section))
            continue;
        auto it = std::remove_if(s.entries.begin(), s.entries.end(),
                                 [&](const Entry& e) { return IsKey(e.key, ident); });
        deleted = deleted || it != s.entries.end();
        s.entries.erase(it, s.entries.end());
        if (!repeats_)
            break;
    }
    if (deleted)
        Changed();
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
    if (!loadError_.empty())
        throw EFileError(loadError_);   // whoever saves says the file stays as it is
    // Line by line into the file: a list of thousands of folders under a
    // long comment needs no block of memory as large as the file.
    TAtomicFileWriter file(path_);
    WriteEncoded(file, encoding_ == kUtf8Bom ? "\xEF\xBB\xBF" : encoding_ == kUtf16Le ? "\xFF\xFE"
                                             : encoding_ == kUtf16Be ? "\xFE\xFF" : "", true);
    for (const std::string& line : head_)
        WriteEncoded(file, line + "\r\n");
    if (!head_.empty())
        WriteEncoded(file, "\r\n");
    for (const auto& s : sections_) {
        for (const std::string& line : s.above)
            WriteEncoded(file, line + "\r\n");
        WriteEncoded(file, "[" + s.name + "]" + s.trailer + "\r\n");
        for (const auto& e : s.entries)
            WriteEncoded(file, (e.key.empty() ? e.text : e.key + "=" + e.value) + "\r\n");
        WriteEncoded(file, "\r\n");
    }
    file.Commit();
    dirty_ = false;
}

void TIniFile::WriteEncoded(TAtomicFileWriter& file, const std::string& text, bool mark) const
{
    if (mark || (encoding_ != kUtf16Le && encoding_ != kUtf16Be)) {
        file.Write(text);
        return;
    }
    std::string out;
    out.reserve(text.size() * 2);
    for (wchar_t c : Utf8ToWide(text)) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
        out += encoding_ == kUtf16Le ? lo : hi;
        out += encoding_ == kUtf16Le ? hi : lo;
    }
    file.Write(out);
}
