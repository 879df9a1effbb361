// Text conversions at the Win32 boundary and small string helpers.
// Inside the program text is UTF-8 in std::string; Win32 is called with UTF-16.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::wstring Utf8ToWide(std::string_view s);
std::string WideToUtf8(std::wstring_view s);
// Bytes in a Windows code page (1251, CP_ACP = 0, CP_OEMCP = 1) to UTF-8 and back.
std::string CodePageToUtf8(std::string_view s, unsigned codePage);
std::string Utf8ToCodePage(std::string_view s, unsigned codePage);
inline std::string Cp1251ToUtf8(std::string_view s) { return CodePageToUtf8(s, 1251); }
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view s);

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

// Case mapping: full Unicode through Win32 (CharUpperW / CharLowerW).
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// ASCII-only case mapping, for protocol and file texts.
std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);
// Case-insensitive comparison (ASCII letters folded); < 0, 0, > 0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// Whole Unicode case-insensitive equality (through UpperCase).
bool SameTextUnicode(std::string_view a, std::string_view b);

// Trimming of characters up to and including the space (as the class library does).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// The same without a copy: a view of s.
std::string_view TrimView(std::string_view s);

bool StartsText(std::string_view prefix, std::string_view s);   // case-insensitive
bool EndsText(std::string_view suffix, std::string_view s);     // case-insensitive
// Position of sub in s, case-insensitive (ASCII); npos when absent.
size_t PosText(std::string_view sub, std::string_view s, size_t from = 0);
std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to,
                             bool ignoreCase = false);

std::string IntToStr(long long v);
std::string IntToHex(unsigned long long v, int digits);
// Decimal integer with optional sign and surrounding blanks; "0x"/"$" hex also accepted.
bool TryStrToInt(std::string_view s, int& out);
bool TryStrToInt64(std::string_view s, long long& out);
int StrToIntDef(std::string_view s, int def);
long long StrToInt64Def(std::string_view s, long long def);
// Floating point with '.' or ',' as the decimal separator; no locale dependence.
bool TryStrToFloat(std::string_view s, double& out);
double StrToFloatDef(std::string_view s, double def);
// Shortest text that reads back to the same double ("0.5", "1E-5" style not used: plain).
std::string FloatToStr(double v);

std::vector<std::string> SplitString(std::string_view s, char sep);
