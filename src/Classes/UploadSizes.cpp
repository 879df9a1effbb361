#include "Classes/UploadSizes.h"

#include <vector>

#include "Classes/Lang.h"
#include "Classes/MVars.h"
#include "platform/DateTime.h"
#include "platform/FileUtil.h"
#include "platform/Resources.h"
#include "platform/Rounding.h"
#include "platform/Text.h"

namespace {

const char kSeparator[] = "---";

bool IsSeparator(std::string_view line) { return Trim(line) == kSeparator; }

// The data lines of one file of the data folder, blank and "---" lines left out.
void AppendFileLines(const std::string& path, std::vector<std::string>& out)
{
    if (!FileExists(path))
        return;
    std::string text;
    if (!TryReadFileText(path, text, kMaxUploadListBytes))
        return;
    for (std::string& line : SplitLines(text))
        if (!Trim(line).empty() && !IsSeparator(line))
            out.push_back(std::move(line));
}

// A plain decimal number ("1500", "1.5") as ten-thousandths, the fifth
// decimal and beyond rounded half to even; false for anything else.
bool ParseSize(std::string_view s, int64_t& raw)
{
    std::string t = Trim(s);
    if (!t.empty() && t[0] == '+')
        t.erase(0, 1);
    if (t.empty())
        return false;
    size_t dot = t.find('.');
    std::string ip = t.substr(0, dot);
    std::string fp = dot == std::string::npos ? std::string() : t.substr(dot + 1);
    if (ip.empty() && fp.empty())
        return false;
    for (char c : ip + fp)
        if (c < '0' || c > '9')
            return false;
    if (ip.size() > 12)
        return false;   // far beyond any upload
    int64_t v = 0;
    for (char c : ip)
        v = v * 10 + (c - '0');
    int64_t frac = 0;
    for (size_t k = 0; k < 4; ++k)
        frac = frac * 10 + (k < fp.size() ? fp[k] - '0' : 0);
    v = v * 10000 + frac;
    if (fp.size() > 4) {
        // Round the rest half to even.
        std::string rest = fp.substr(4);
        int firstDigit = rest[0] - '0';
        bool beyond = rest.find_first_not_of('0', 1) != std::string::npos;
        if (firstDigit > 5 || (firstDigit == 5 && (beyond || (v % 2) != 0)))
            ++v;
    }
    raw = v;
    return true;
}

// The shortest plain form of a fixed-point number: "2", "1.46", "46.4".
std::string ShortestText(TFixed4 value)
{
    int64_t raw = value.Raw();
    bool neg = raw < 0;
    if (neg)
        raw = -raw;
    std::string text = IntToStr(raw / 10000);
    std::string frac = Format("%04d", static_cast<int>(raw % 10000));
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    if (!frac.empty())
        text += FormatSettings().decimalSeparator + frac;
    return neg ? "-" + text : text;
}

}  // namespace

TDataLines& UploadSizeList()
{
    static TDataLines list;
    return list;
}

void LoadUploadSizes()
{
    if (!FileExists(UploadFile()) && !FileExists(UploadLocFile()))
        return;
    TDataLines& list = UploadSizeList();
    // What lies below the separator stays: the built-in sizes.
    int from = 0;
    for (int i = 0; i < list.Count(); ++i) {
        if (IsSeparator(list[i])) {
            from = i + 1;
            break;
        }
    }
    std::vector<std::string> lines;
    AppendFileLines(UploadLocFile(), lines);
    AppendFileLines(UploadFile(), lines);
    lines.emplace_back(kSeparator);
    for (int i = from; i < list.Count(); ++i)
        lines.push_back(list[i]);
    list.SetLines(std::move(lines));
}

std::string GetResultSizeText(int project)
{
    if (project == 0)
        return std::string();
    const TDataLines& list = UploadSizeList();
    int i = list.IndexOfProject(project);
    if (i < 0)
        return std::string();
    std::string_view line = list[i];
    line.remove_prefix(line.find(';') + 1);
    size_t semi = line.find(';');
    std::string_view sizeText = line.substr(0, semi);
    std::string_view typeText = semi == std::string_view::npos ? std::string_view() : line.substr(semi + 1);
    int type = StrToIntDef(Trim(typeText), 1);

    int64_t raw = 0;
    if (!ParseSize(sizeText, raw))
        return std::string();
    TFixed4 size = TFixed4::FromRaw(raw);
    const TFixed4 k1024 = TFixed4::FromInt(1024);
    while (size >= k1024 && type < 2) {
        size = size / k1024;
        ++type;
    }
    size = size.Rounded(2);
    if (type == 2)
        size = size.Rounded(1);
    if (size.Raw() == 0)
        return std::string();
    std::string unit;
    switch (type) {
    case 0: unit = sByte; break;
    case 1: unit = sKB; break;
    case 2: unit = sMB; break;
    default: unit = "unknown SizeType"; break;
    }
    return ShortestText(size) + " " + unit;
}

void InitUploadSizes()
{
    std::string table;
    if (TryLoadRCData("UploadSizeInfo", table))
        UploadSizeList().SetText(table);
    else
        UploadSizeList().Clear();
    LoadUploadSizes();
}
