#include "platform/Text.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

std::wstring Utf8ToWide(std::string_view s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string WideToUtf8(std::wstring_view s)
{
    if (s.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string CodePageToUtf8(std::string_view s, unsigned codePage)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return WideToUtf8(w);
}

std::string Utf8ToCodePage(std::string_view s, unsigned codePage)
{
    std::wstring w = Utf8ToWide(s);
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

bool IsValidUtf8(std::string_view s)
{
    if (s.empty())
        return true;
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                               nullptr, 0) > 0;
}

std::string FormatV(const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char buf[512];
    int n = vsnprintf(buf, sizeof buf, fmt, copy);
    va_end(copy);
    if (n < 0)
        return {};
    if (static_cast<size_t>(n) < sizeof buf)
        return std::string(buf, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string out = FormatV(fmt, args);
    va_end(args);
    return out;
}

std::string UpperCase(std::string_view s)
{
    std::wstring w = Utf8ToWide(s);
    if (!w.empty())
        CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
    return WideToUtf8(w);
}

std::string LowerCase(std::string_view s)
{
    std::wstring w = Utf8ToWide(s);
    if (!w.empty())
        CharLowerBuffW(w.data(), static_cast<DWORD>(w.size()));
    return WideToUtf8(w);
}

std::string AsciiUpper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return out;
}

std::string AsciiLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

static inline unsigned char FoldAscii(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 32) : u;
}

int CompareText(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int d = FoldAscii(a[i]) - FoldAscii(b[i]);
        if (d != 0)
            return d;
    }
    return (a.size() < b.size()) ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareText(a, b) == 0;
}

bool SameTextUnicode(std::string_view a, std::string_view b)
{
    return SameText(a, b) || UpperCase(a) == UpperCase(b);
}

static inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string TrimLeft(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s)
{
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1]))
        --n;
    return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return std::string(TrimView(s)); }

std::string_view TrimView(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool StartsText(std::string_view prefix, std::string_view s)
{
    return s.size() >= prefix.size() && CompareText(s.substr(0, prefix.size()), prefix) == 0;
}

bool EndsText(std::string_view suffix, std::string_view s)
{
    return s.size() >= suffix.size() &&
           CompareText(s.substr(s.size() - suffix.size()), suffix) == 0;
}

size_t PosText(std::string_view sub, std::string_view s, size_t from)
{
    if (sub.empty())
        return from <= s.size() ? from : std::string_view::npos;
    if (s.size() < sub.size())
        return std::string_view::npos;
    for (size_t i = from; i + sub.size() <= s.size(); ++i) {
        size_t j = 0;
        while (j < sub.size() && FoldAscii(s[i + j]) == FoldAscii(sub[j]))
            ++j;
        if (j == sub.size())
            return i;
    }
    return std::string_view::npos;
}

std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to,
                             bool ignoreCase)
{
    if (from.empty())
        return std::string(s);
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = ignoreCase ? PosText(from, s, pos) : s.find(from, pos);
        if (hit == std::string_view::npos)
            break;
        out.append(s.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s.substr(pos));
    return out;
}

std::string IntToStr(long long v) { return std::to_string(v); }

std::string IntToHex(unsigned long long v, int digits)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%0*llX", digits, v);
    return buf;
}

bool TryStrToInt64(std::string_view s, long long& out)
{
    std::string_view v = TrimView(s);
    bool neg = false;
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
        neg = v[0] == '-';
        v.remove_prefix(1);
    }
    int base = 10;
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
        base = 16;
        v.remove_prefix(2);
    } else if (v.size() > 1 && v[0] == '$') {
        base = 16;
        v.remove_prefix(1);
    }
    if (v.empty())
        return false;
    unsigned long long u = 0;
    auto r = std::from_chars(v.data(), v.data() + v.size(), u, base);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size())
        return false;
    if (u > static_cast<unsigned long long>(INT64_MAX) + (neg ? 1ULL : 0ULL))
        return false;
    out = neg ? static_cast<long long>(0 - u) : static_cast<long long>(u);
    return true;
}

bool TryStrToInt(std::string_view s, int& out)
{
    long long v;
    if (!TryStrToInt64(s, v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int>(v);
    return true;
}

int StrToIntDef(std::string_view s, int def)
{
    int v;
    return TryStrToInt(s, v) ? v : def;
}

long long StrToInt64Def(std::string_view s, long long def)
{
    long long v;
    return TryStrToInt64(s, v) ? v : def;
}

bool TryStrToFloat(std::string_view s, double& out)
{
    std::string t = Trim(s);
    std::replace(t.begin(), t.end(), ',', '.');
    if (t.empty())
        return false;
    const char* b = t.c_str();
    if (*b == '+')
        ++b;
    double v = 0;
    auto r = std::from_chars(b, t.c_str() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.c_str() + t.size() || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

double StrToFloatDef(std::string_view s, double def)
{
    double v;
    return TryStrToFloat(s, v) ? v : def;
}

std::string FloatToStr(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::vector<std::string> SplitString(std::string_view s, char sep)
{
    std::vector<std::string> out;
    size_t pos = 0;
    for (;;) {
        size_t hit = s.find(sep, pos);
        if (hit == std::string_view::npos) {
            out.emplace_back(s.substr(pos));
            return out;
        }
        out.emplace_back(s.substr(pos, hit - pos));
        pos = hit + 1;
    }
}
