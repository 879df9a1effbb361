// Small text and date routines of the control layer: substring replacement,
// words over a set of delimiter characters, the keyed hex encoding used for
// stored secrets, and the leap-year test.
// Texts are byte strings (UTF-8 inside the program); positions are 1-based
// byte positions.
#pragma once
#include <bitset>
#include <string>
#include <string_view>

// A set of 8-bit characters.
using TCharSet = std::bitset<256>;

// The set holding every byte of chars.
TCharSet MakeCharSet(std::string_view chars);
inline bool InCharSet(const TCharSet& set, char c) { return set.test(static_cast<unsigned char>(c)); }

// True when the locale's short date format writes the year with four digits.
// Set once at start-up.
extern bool FourDigitYear;
// Reads the user's short date format and tells whether it holds "YYYY".
bool DetectFourDigitYear();

// Every occurrence of search, left to right and non-overlapping, replaced.
// An empty search changes nothing.
std::string ReplaceStr(std::string_view text, std::string_view search, std::string_view replacement);

// Number of maximal runs of characters outside delims.
int WordCount(std::string_view text, const TCharSet& delims);
// 1-based start of the n-th word; 0 when there are fewer words (or n < 1).
int WordPosition(int n, std::string_view text, const TCharSet& delims);
// The n-th word, empty when there is none.
std::string ExtractWord(int n, std::string_view text, const TCharSet& delims);
// The text from pos up to the next delimiter. pos (1-based) moves past that
// delimiter, or to the end + 1 when there is none.
std::string ExtractSubstr(std::string_view text, int& pos, const TCharSet& delims);

// Each byte XOR the key byte at (index mod key length) (no XOR with an empty
// key), written as two upper-case hex digits.
std::string XorEncodeHex(std::string_view key, std::string_view text);
// The reverse: pairs of hex digits (a pair that is not hex reads as a blank),
// XORed back with the key. A single trailing digit is ignored.
std::string XorDecodeHex(std::string_view key, std::string_view hex);

// Divisible by 4 and either not by 100 or by 400.
bool IsLeapYear(int year);
