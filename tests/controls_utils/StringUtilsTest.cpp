#include <gtest/gtest.h>

#include <windows.h>

#include "controls/StringUtils.h"

TEST(StringUtils, ReplaceStrReplacesEveryOccurrenceLeftToRight)
{
    EXPECT_EQ(ReplaceStr("a-b-c", "-", "+"), "a+b+c");
    EXPECT_EQ(ReplaceStr("aaaa", "aa", "b"), "bb");          // non-overlapping
    EXPECT_EQ(ReplaceStr("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceStr("abc", "b", ""), "ac");
    EXPECT_EQ(ReplaceStr("abc", "x", "y"), "abc");
    EXPECT_EQ(ReplaceStr("x", "x", "xx"), "xx");              // the replacement is not searched again
    EXPECT_EQ(ReplaceStr("", "a", "b"), "");
    EXPECT_EQ(ReplaceStr("abc", "", "z"), "abc");
}

TEST(StringUtils, WordCountCountsRunsOutsideTheDelimiters)
{
    const TCharSet comma = MakeCharSet(",");
    EXPECT_EQ(WordCount(",a,,b,", comma), 2);
    EXPECT_EQ(ExtractWord(2, ",a,,b,", comma), "b");
    EXPECT_EQ(ExtractWord(1, ",a,,b,", comma), "a");
    EXPECT_EQ(ExtractWord(3, ",a,,b,", comma), "");
    EXPECT_EQ(WordCount("", comma), 0);
    EXPECT_EQ(WordCount(",,,", comma), 0);
    EXPECT_EQ(WordCount("one", comma), 1);

    const TCharSet blanks = MakeCharSet(" \t");
    EXPECT_EQ(WordCount("  Folding  at\thome ", blanks), 3);
    EXPECT_EQ(ExtractWord(3, "  Folding  at\thome ", blanks), "home");
}

TEST(StringUtils, WordPositionIsOneBasedAndZeroWhenMissing)
{
    const TCharSet blanks = MakeCharSet(" ");
    EXPECT_EQ(WordPosition(1, "  ab cd", blanks), 3);
    EXPECT_EQ(WordPosition(2, "  ab cd", blanks), 6);
    EXPECT_EQ(WordPosition(3, "  ab cd", blanks), 0);
    EXPECT_EQ(WordPosition(0, "  ab cd", blanks), 0);
    EXPECT_EQ(WordPosition(-1, "ab", blanks), 0);
    EXPECT_EQ(WordPosition(1, "ab", TCharSet()), 1);
}

TEST(StringUtils, ExtractSubstrWalksThroughDelimitedParts)
{
    const TCharSet semi = MakeCharSet(";");
    const std::string line = "2677;171.64.65.56;;p2677";
    int pos = 1;
    EXPECT_EQ(ExtractSubstr(line, pos, semi), "2677");
    EXPECT_EQ(pos, 6);
    EXPECT_EQ(ExtractSubstr(line, pos, semi), "171.64.65.56");
    EXPECT_EQ(ExtractSubstr(line, pos, semi), "");            // empty field
    EXPECT_EQ(ExtractSubstr(line, pos, semi), "p2677");
    EXPECT_EQ(pos, static_cast<int>(line.size()) + 1);
    EXPECT_EQ(ExtractSubstr(line, pos, semi), "");            // past the end stays there
    EXPECT_EQ(pos, static_cast<int>(line.size()) + 1);
}

TEST(StringUtils, XorHexRoundTripsWithTheSameKey)
{
    const std::string key = "Brenix";
    const std::string secrets[] = {"", "p", "proxy password 123", std::string("\0\x01\xff", 3),
                                   "\xd0\x9f\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c"};
    for (const std::string& s : secrets)
        EXPECT_EQ(XorDecodeHex(key, XorEncodeHex(key, s)), s);
    // Each byte XOR the key byte at index mod key length, upper-case digits:
    // 'p' 0x70 ^ 'B' 0x42 = 0x32, 'r' ^ 'r' = 0, ... the key starts again at the seventh.
    EXPECT_EQ(XorEncodeHex(key, "proxy password 123"), "32000A1610583213161D1E173016455F5B4B");
    EXPECT_EQ(XorEncodeHex("A", "AB"), "0003");
    EXPECT_EQ(XorEncodeHex("ab", "abc"), "000002");
    EXPECT_EQ(XorEncodeHex("", "Hi"), "4869");
    EXPECT_EQ(XorEncodeHex("", "\xfe"), "FE");
    // A different key does not give the text back.
    EXPECT_NE(XorDecodeHex("other", XorEncodeHex(key, "secret")), "secret");
}

TEST(StringUtils, XorDecodeHexReadsBadPairsAsBlanks)
{
    EXPECT_EQ(XorDecodeHex("", "4869"), "Hi");
    EXPECT_EQ(XorDecodeHex("", "4a6B"), "Jk");                // either case
    EXPECT_EQ(XorDecodeHex("", "48ZZ69"), "H i");
    EXPECT_EQ(XorDecodeHex("", "486"), "H");                  // a lone digit is dropped
    // The blank is XORed with the key like any byte: 0x20 ^ 0x41 is 'a'.
    EXPECT_EQ(XorDecodeHex("A", "GG"), "a");
}

TEST(StringUtils, LeapYears)
{
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2008));
    EXPECT_FALSE(IsLeapYear(2007));
    EXPECT_TRUE(IsLeapYear(2400));
    EXPECT_FALSE(IsLeapYear(2100));
}

TEST(StringUtils, FourDigitYearFollowsTheLocale)
{
    wchar_t buf[128] = {};
    ASSERT_NE(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, buf, 128), 0);
    std::wstring format = buf;

    // The user's own short date format decides; the format is put back after.
    struct Restore {
        std::wstring format;
        ~Restore() { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, format.c_str()); }
    } restore{format};
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, L"dd.MM.yy"));
    EXPECT_FALSE(DetectFourDigitYear());
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, L"dd.MM.yyyy"));
    EXPECT_TRUE(DetectFourDigitYear());
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, L"yyyy-MM-dd"));
    EXPECT_TRUE(DetectFourDigitYear());
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, L"M/d/yy"));
    EXPECT_FALSE(DetectFourDigitYear());
}
