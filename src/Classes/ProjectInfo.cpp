#include "Classes/ProjectInfo.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "Classes/UploadSizes.h"
#include "platform/FileUtil.h"
#include "platform/Resources.h"
#include "platform/Text.h"

namespace {

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

std::string_view TrimView(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// A whole number; 0 when the text is not one.
int IntegerOf(std::string_view s)
{
    s = TrimView(s);
    int v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc() && r.ptr == s.data() + s.size())
        return v;
    return StrToIntDef(s, 0);   // the rarer forms ("+5", "$1F")
}

// The part of a decimal field before its "." ("2137.60" gives "2137").
std::string_view BeforeDot(std::string_view field)
{
    field = TrimView(field);
    return field.substr(0, field.find('.'));
}

// dst := the first n characters of s (a character is never split).
void AssignCut(std::string& dst, std::string_view s, int n)
{
    size_t i = 0;
    int chars = 0;
    while (i < s.size() && chars < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + len > s.size())
            break;
        i += len;
        ++chars;
    }
    dst.assign(s.data(), i);
}

void FillRecord(std::string_view line, TProjectInfo& info)
{
    // "#" and the nine fields; missing fields are empty, extra ones ignored.
    std::string_view f[9];
    if (!line.empty() && line[0] == '#')
        line.remove_prefix(1);
    for (int k = 0; k < 9; ++k) {
        size_t p = line.find(';');
        f[k] = line.substr(0, p);
        if (p == std::string_view::npos)
            break;
        line.remove_prefix(p + 1);
    }
    info.Project = IntegerOf(BeforeDot(f[0]));
    AssignCut(info.ServerIP, TrimView(f[1]), kServerIPChars);
    AssignCut(info.WUName, f[2], kWUNameChars);
    info.Atoms = IntegerOf(BeforeDot(f[3]));
    info.PreferredDays = IntegerOf(BeforeDot(f[4]));
    std::string_view deadline = TrimView(f[5]);
    if (deadline.substr(0, 2) == "--")
        AssignCut(info.FinalDeadline, sWithoutLimitation, kFinalDeadlineChars);
    else
        AssignCut(info.FinalDeadline, BeforeDot(deadline), kFinalDeadlineChars);
    info.Credit = IntegerOf(BeforeDot(f[6]));
    info.Frames = IntegerOf(BeforeDot(f[7]));
    AssignCut(info.Core, TrimView(f[8]), kCoreChars);
}

// --- summary page --------------------------------------------------------

bool IsTagEnd(std::string_view s, size_t i)
{
    if (i >= s.size())
        return true;
    char c = s[i];
    return c == '>' || c == '/' || static_cast<unsigned char>(c) <= ' ';
}

bool MatchesFolded(std::string_view s, size_t at, std::string_view lowerWord)
{
    if (at + lowerWord.size() > s.size())
        return false;
    for (size_t k = 0; k < lowerWord.size(); ++k)
        if (FoldChar(s[at + k]) != lowerWord[k])
            return false;
    return true;
}

// Position of the next opening tag <name ...> in [from, end), any case.
size_t FindOpenTag(std::string_view s, std::string_view name, size_t from, size_t end)
{
    while (from < end) {
        const void* hit = std::memchr(s.data() + from, '<', end - from);
        if (!hit)
            return std::string_view::npos;
        size_t p = static_cast<const char*>(hit) - s.data();
        if (MatchesFolded(s, p + 1, name) && IsTagEnd(s, p + 1 + name.size()))
            return p;
        from = p + 1;
    }
    return std::string_view::npos;
}

// Where an element's text ends: the next <name ...> or </name> in [from, end),
// any case; end when there is neither.
size_t FindElementEnd(std::string_view s, std::string_view name, size_t from, size_t end)
{
    while (from < end) {
        const void* hit = std::memchr(s.data() + from, '<', end - from);
        if (!hit)
            return end;
        size_t p = static_cast<const char*>(hit) - s.data();
        size_t at = p + 1;
        if (at < s.size() && s[at] == '/')
            ++at;
        if (MatchesFolded(s, at, name) && IsTagEnd(s, at + name.size()))
            return p;
        from = p + 1;
    }
    return end;
}

bool StartsWithLink(std::string_view cell)
{
    size_t i = 0;
    while (i < cell.size() && static_cast<unsigned char>(cell[i]) <= ' ')
        ++i;
    return i < cell.size() && cell[i] == '<' && MatchesFolded(cell, i + 1, "a") && IsTagEnd(cell, i + 2);
}

void AppendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x20 || cp == 0x7F || cp == 0xA0) {
        out += ' ';
    } else if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The character an entity such as "&nbsp;" or "&#59;" stands for; false
// when the text is no entity this page uses.
bool DecodeEntity(std::string_view name, std::string& out)
{
    static const struct {
        const char* name;
        unsigned long cp;
    } kNamed[] = {{"nbsp", 0xA0}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& e : kNamed) {
        if (name == e.name) {
            AppendUtf8(out, e.cp);
            return true;
        }
    }
    if (name.size() < 2 || name[0] != '#')
        return false;
    unsigned long cp = 0;
    const char* b = name.data() + 1;
    const char* e = name.data() + name.size();
    int base = 10;
    if (*b == 'x' || *b == 'X') {
        ++b;
        base = 16;
    }
    auto r = std::from_chars(b, e, cp, base);
    if (r.ec != std::errc() || r.ptr != e || b == e || cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    AppendUtf8(out, cp);
    return true;
}

// Entity names are short: nothing longer than this between "&" and ";" is
// taken for one.
constexpr size_t kMaxEntityChars = 9;

// Appends a cell's text as one field of a project line: trimmed, entities
// decoded, and no line break or ";" left to break the line into wrong fields.
void AppendCellField(std::string& line, std::string_view cell)
{
    cell = TrimView(cell);
    bool plain = true;
    for (char c : cell) {
        if (c == '&' || c == ';' || static_cast<unsigned char>(c) < ' ' || c == 0x7F) {
            plain = false;
            break;
        }
    }
    if (plain) {
        line.append(cell);
        return;
    }
    std::string out;
    out.reserve(cell.size());
    for (size_t i = 0; i < cell.size(); ++i) {
        char c = cell[i];
        if (c == '&') {
            // An entity name is short: look no further than that for its ";",
            // so a long run of "&" stays a single pass.
            size_t semi = cell.substr(i + 1, kMaxEntityChars + 1).find(';');
            if (semi != std::string_view::npos && DecodeEntity(cell.substr(i + 1, semi), out)) {
                i += semi + 1;
                continue;
            }
        }
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F)
            c = ' ';
        out += c;
    }
    // A ";" written as such or as an entity would split the field.
    std::replace(out.begin(), out.end(), ';', ',');
    line.append(TrimView(out));
}

// One table row (the text between <tr ...> and </tr>): the project line of
// its cells before the description link, or nothing.
void ParseRow(std::string_view row, std::vector<std::string>& out)
{
    std::string line;
    bool first = true;
    size_t p = 0;
    const size_t n = row.size();
    for (;;) {
        size_t td = FindOpenTag(row, "td", p, n);
        if (td == std::string_view::npos)
            return;   // no link cell: not a project row
        size_t gt = row.find('>', td);
        if (gt == std::string_view::npos)
            return;
        size_t start = gt + 1;
        // A cell ends at its </td>, or at the next cell when that is missing.
        size_t end = FindElementEnd(row, "td", start, n);
        std::string_view cell = row.substr(start, end - start);
        if (first) {
            int number = IntegerOf(cell);
            if (number <= 0)
                return;
            line.reserve(std::min<size_t>(row.size(), 160));
            line += '#';
            line += IntToStr(number);
            first = false;
        } else if (StartsWithLink(cell)) {
            out.push_back(std::move(line));
            return;
        } else {
            line += ';';
            AppendCellField(line, cell);
        }
        p = end;
    }
}

}  // namespace

// --- data lines ----------------------------------------------------------

std::string CutChars(std::string_view s, int n)
{
    std::string out;
    AssignCut(out, s, n);
    return out;
}

bool LineProjectNumber(std::string_view line, int& project)
{
    if (line.size() < 3 || line[0] != '#')
        return false;
    size_t semi = line.find(';');
    if (semi == std::string_view::npos || semi < 2 || semi > 12)
        return false;
    std::string_view digits = line.substr(1, semi - 1);
    int v = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size())
        return false;
    // Only the plain form: no leading zeros, no "-0".
    std::string_view magnitude = digits[0] == '-' ? digits.substr(1) : digits;
    if (magnitude.empty() || (magnitude.size() > 1 && magnitude[0] == '0') || digits == "-0")
        return false;
    project = v;
    return true;
}

void TDataLines::Changed()
{
    projectIndexed_ = false;
    namesIndexed_ = false;
    firstOfProject_.clear();
    tails_.clear();
    folded_.clear();
}

void TDataLines::SetText(std::string_view text)
{
    lines_.SetText(text);
    Changed();
}

void TDataLines::SetLines(std::vector<std::string> lines)
{
    lines_.Items() = std::move(lines);
    Changed();
}

void TDataLines::InsertAtTop(std::vector<std::string> lines)
{
    auto& items = lines_.Items();
    items.insert(items.begin(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    Changed();
}

void TDataLines::Clear()
{
    lines_.Clear();
    Changed();
}

void TDataLines::BuildProjectIndex() const
{
    firstOfProject_.clear();
    firstOfProject_.reserve(static_cast<size_t>(lines_.Count()));
    for (int i = 0; i < lines_.Count(); ++i) {
        int project;
        if (LineProjectNumber(lines_[i], project))
            firstOfProject_.try_emplace(project, i);
    }
    projectIndexed_ = true;
}

int TDataLines::IndexOfProject(int project) const
{
    if (!projectIndexed_)
        BuildProjectIndex();
    auto it = firstOfProject_.find(project);
    return it == firstOfProject_.end() ? -1 : it->second;
}

void TDataLines::BuildNameIndex() const
{
    folded_.clear();
    tails_.clear();
    for (int i = 0; i < lines_.Count(); ++i) {
        const std::string& line = lines_[i];
        if (line.empty() || line[0] != '#')
            continue;
        size_t first = line.find(';');
        size_t second = first == std::string::npos ? first : line.find(';', first + 1);
        if (second == std::string::npos)
            continue;
        std::string_view tail = std::string_view(line).substr(second + 1);
        TTail t{static_cast<unsigned>(folded_.size()), static_cast<unsigned>(tail.size()), i};
        for (char c : tail)
            folded_ += FoldChar(c);
        tails_.push_back(t);
    }
    const std::string& text = folded_;
    std::stable_sort(tails_.begin(), tails_.end(), [&text](const TTail& a, const TTail& b) {
        return std::string_view(text).substr(a.offset, a.length) <
               std::string_view(text).substr(b.offset, b.length);
    });
    namesIndexed_ = true;
}

int TDataLines::IndexOfWUName(std::string_view name) const
{
    if (name.empty())
        return -1;
    if (!namesIndexed_)
        BuildNameIndex();
    std::string key(name);
    for (char& c : key)
        c = FoldChar(c);
    std::string_view text(folded_);
    auto it = std::lower_bound(tails_.begin(), tails_.end(), key, [text](const TTail& t, const std::string& k) {
        return text.substr(t.offset, t.length) < std::string_view(k);
    });
    // Every tail that begins with the key follows here; the topmost line wins.
    int best = -1;
    for (; it != tails_.end(); ++it) {
        std::string_view tail = text.substr(it->offset, it->length);
        if (tail.substr(0, key.size()) != key)
            break;
        if (best < 0 || it->line < best)
            best = it->line;
    }
    return best;
}

// --- the database --------------------------------------------------------

TDataLines& ProjectList()
{
    static TDataLines list;
    return list;
}

bool FindProjectInfo(TProjectInfo& info)
{
    const TDataLines& list = ProjectList();
    int i = list.IndexOfProject(info.Project);
    if (i < 0)
        i = list.IndexOfWUName(info.WUName);
    if (i >= 0) {
        FillRecord(list[i], info);
        return true;
    }
    info = TProjectInfo();
    info.WUName = sNoData;
    return false;
}

std::vector<std::string> ParsePSummary(std::string_view page)
{
    std::vector<std::string> rows;
    const size_t n = page.size();
    size_t table = FindOpenTag(page, "table", 0, n);
    if (table == std::string_view::npos)
        return rows;
    // The first row is the header.
    size_t header = FindOpenTag(page, "tr", table + 6, n);
    if (header == std::string_view::npos)
        return rows;
    size_t pos = header + 3;
    for (;;) {
        size_t tr = FindOpenTag(page, "tr", pos, n);
        if (tr == std::string_view::npos)
            break;
        size_t gt = page.find('>', tr);
        if (gt == std::string_view::npos)
            break;
        size_t start = gt + 1;
        // A row ends at its </tr>, or at the next row when that is missing.
        size_t end = FindElementEnd(page, "tr", start, n);
        ParseRow(page.substr(start, end - start), rows);
        pos = end;
    }
    return rows;
}

int LoadPSummary()
{
    const std::string& path = PSummaryFile();
    if (!FileExists(path))
        return 0;
    std::string page;
    if (!TryReadFileText(path, page, kMaxPSummaryBytes))
        return 0;
    if (!IsValidUtf8(page))
        page = CodePageToUtf8(page, 1252);
    std::vector<std::string> rows = ParsePSummary(page);
    std::reverse(rows.begin(), rows.end());
    int added = static_cast<int>(rows.size());
    ProjectList().InsertAtTop(std::move(rows));
    return added;
}

void InitProjectDatabase()
{
    std::string table;
    if (TryLoadRCData("AddFahInfo", table))
        ProjectList().SetText(table);
    else
        ProjectList().Clear();
    LoadPSummary();
    InitUploadSizes();
}

namespace {
// The database is there from the program's start.
struct TStartup {
    TStartup()
    {
        try {
            InitProjectDatabase();
        } catch (...) {
            // Start-up goes on with what was loaded; the next download reloads.
        }
    }
} g_startup;
}  // namespace
