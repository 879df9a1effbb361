#include "controls/StringUtils.h"

#include <windows.h>

#include "platform/Text.h"

bool FourDigitYear = DetectFourDigitYear();

TCharSet MakeCharSet(std::string_view chars)
{
    TCharSet set;
    for (char c : chars)
        set.set(static_cast<unsigned char>(c));
    return set;
}

bool DetectFourDigitYear()
{
    wchar_t buf[128] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, buf, 128) == 0)
        return false;
    return AsciiUpper(WideToUtf8(buf)).find("YYYY") != std::string::npos;
}

std::string ReplaceStr(std::string_view text, std::string_view search, std::string_view replacement)
{
    if (search.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (;;) {
        size_t at = text.find(search, from);
        if (at == std::string_view::npos)
            break;
        out.append(text.substr(from, at - from));
        out.append(replacement);
        from = at + search.size();
    }
    out.append(text.substr(from));
    return out;
}

int WordCount(std::string_view text, const TCharSet& delims)
{
    int count = 0;
    bool inWord = false;
    for (char c : text) {
        bool delim = InCharSet(delims, c);
        if (!delim && !inWord)
            ++count;
        inWord = !delim;
    }
    return count;
}

int WordPosition(int n, std::string_view text, const TCharSet& delims)
{
    if (n < 1)
        return 0;
    int count = 0;
    size_t i = 0;
    const size_t len = text.size();
    while (i < len) {
        while (i < len && InCharSet(delims, text[i]))
            ++i;
        if (i >= len)
            break;
        if (++count == n)
            return static_cast<int>(i) + 1;
        while (i < len && !InCharSet(delims, text[i]))
            ++i;
    }
    return 0;
}

std::string ExtractWord(int n, std::string_view text, const TCharSet& delims)
{
    int pos = WordPosition(n, text, delims);
    if (pos == 0)
        return {};
    size_t start = static_cast<size_t>(pos - 1);
    size_t end = start;
    while (end < text.size() && !InCharSet(delims, text[end]))
        ++end;
    return std::string(text.substr(start, end - start));
}

std::string ExtractSubstr(std::string_view text, int& pos, const TCharSet& delims)
{
    const int len = static_cast<int>(text.size());
    if (pos < 1)
        pos = 1;
    if (pos > len) {
        pos = len + 1;
        return {};
    }
    int i = pos;
    while (i <= len && !InCharSet(delims, text[static_cast<size_t>(i - 1)]))
        ++i;
    std::string part(text.substr(static_cast<size_t>(pos - 1), static_cast<size_t>(i - pos)));
    if (i <= len)
        ++i;   // past the delimiter
    pos = i;
    return part;
}

static unsigned char KeyByte(std::string_view key, size_t index)
{
    return static_cast<unsigned char>(key[index % key.size()]);
}

std::string XorEncodeHex(std::string_view key, std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!key.empty())
            c ^= KeyByte(key, i);
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string XorDecodeHex(std::string_view key, std::string_view hex)
{
    std::string out;
    const size_t pairs = hex.size() / 2;
    out.reserve(pairs);
    for (size_t i = 0; i < pairs; ++i) {
        int hi = HexDigit(hex[2 * i]);
        int lo = HexDigit(hex[2 * i + 1]);
        unsigned char c = (hi < 0 || lo < 0) ? static_cast<unsigned char>(' ')
                                             : static_cast<unsigned char>(hi * 16 + lo);
        if (!key.empty())
            c ^= KeyByte(key, i);
        out.push_back(static_cast<char>(c));
    }
    return out;
}

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}
