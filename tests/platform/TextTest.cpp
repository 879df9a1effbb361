#include <gtest/gtest.h>

#include "platform/Rounding.h"
#include "platform/StringList.h"
#include "platform/Text.h"

TEST(StringList, SplitsEveryKindOfLineBreak)
{
    TStringList l("a\r\nb\nc\rd");
    ASSERT_EQ(l.Count(), 4);
    EXPECT_EQ(l[0], "a");
    EXPECT_EQ(l[1], "b");
    EXPECT_EQ(l[2], "c");
    EXPECT_EQ(l[3], "d");

    // A final break adds no empty line; an empty line in the middle is kept.
    l.SetText("x\n\ny\r\n");
    ASSERT_EQ(l.Count(), 3);
    EXPECT_EQ(l[1], "");
    EXPECT_EQ(l[2], "y");

    // CR CR LF: an empty line, then the break.
    l.SetText("p\r\r\nq");
    ASSERT_EQ(l.Count(), 3);
    EXPECT_EQ(l[1], "");

    l.SetText("");
    EXPECT_EQ(l.Count(), 0);
}

TEST(StringList, KeepsNulBytesAndJoinsWithCrLf)
{
    std::string text("a\0b\nc", 5);
    TStringList l(text);
    ASSERT_EQ(l.Count(), 2);
    EXPECT_EQ(l[0], std::string("a\0b", 3));
    EXPECT_EQ(l.Text(), std::string("a\0b\r\nc\r\n", 8));
    EXPECT_EQ(TStringList("one\ntwo").Join(", "), "one, two");
}

TEST(StringList, NameValueLookupIgnoresCase)
{
    TStringList l("Version=1.5\r\nURL=http://x/y=z\r\nnovalue");
    EXPECT_EQ(l.Values("version"), "1.5");
    EXPECT_EQ(l.Values("url"), "http://x/y=z");
    EXPECT_EQ(l.Values("novalue"), "");
    EXPECT_EQ(l.IndexOfName("URL"), 1);
    l.SetValue("date", "2009");
    EXPECT_EQ(l.Values("DATE"), "2009");
    l.SetValue("version", "");
    EXPECT_EQ(l.IndexOfName("version"), -1);
}

TEST(Text, Utf8RoundTripsThroughUtf16AndCp1251)
{
    std::string ru = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";   // "Привет"
    EXPECT_EQ(WideToUtf8(Utf8ToWide(ru)), ru);
    EXPECT_EQ(Cp1251ToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2"), ru);
    EXPECT_EQ(Utf8ToCodePage(ru, 1251), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_EQ(UpperCase(ru), "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2");
    EXPECT_TRUE(IsValidUtf8(ru));
    EXPECT_FALSE(IsValidUtf8("\xCF\xF0"));
}

TEST(Text, NumbersParseStrictly)
{
    EXPECT_EQ(StrToIntDef(" 42 ", 0), 42);
    EXPECT_EQ(StrToIntDef("-7", 0), -7);
    EXPECT_EQ(StrToIntDef("0x1F", 0), 31);
    EXPECT_EQ(StrToIntDef("12abc", -1), -1);
    EXPECT_EQ(StrToIntDef("99999999999", -1), -1);
    EXPECT_EQ(StrToIntDef("", 5), 5);
    EXPECT_DOUBLE_EQ(StrToFloatDef("1,5", 0), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloatDef("2.25", 0), 2.25);
    EXPECT_DOUBLE_EQ(StrToFloatDef("nan", 3), 3);
    EXPECT_EQ(PosText("WORLD", "hello world"), 6u);
    EXPECT_EQ(StringReplaceAll("aXbxc", "x", "-", true), "a-b-c");
    EXPECT_EQ(Trim("  \t x y \r\n"), "x y");
}

TEST(Rounding, BankersRoundingEverywhere)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.5000001), 3);
    EXPECT_DOUBLE_EQ(RoundTo(1.25, 1), 1.2);
    EXPECT_DOUBLE_EQ(RoundTo(1.35, 1), 1.4);
    EXPECT_DOUBLE_EQ(RoundTo(2765.5, 0), 2766);
    EXPECT_DOUBLE_EQ(RoundTo(2764.5, 0), 2764);
}

TEST(Rounding, FixedPointTiesGoToEven)
{
    EXPECT_EQ(TFixed4::FromDouble(1.25).ToString(1), "1.2");
    EXPECT_EQ(TFixed4::FromDouble(1.35).ToString(1), "1.4");
    EXPECT_EQ(TFixed4::FromDouble(-1.25).ToString(1), "-1.2");
    EXPECT_EQ(TFixed4::FromDouble(0.00005).Raw(), 0);   // 0.5 of a unit: ties to even (0)
    EXPECT_EQ(TFixed4::FromDouble(0.00015).Raw(), 2);
    EXPECT_EQ(TFixed4::FromDouble(115.2).ToString(2), "115.20");
    TFixed4 a = TFixed4::FromDouble(1920), b = TFixed4::FromDouble(0.06);
    EXPECT_EQ((a * b).ToString(2), "115.20");
    EXPECT_EQ((TFixed4::FromInt(1) / TFixed4::FromInt(3)).Raw(), 3333);
    EXPECT_EQ((TFixed4::FromInt(2) / TFixed4::FromInt(3)).Raw(), 6667);
    EXPECT_EQ(TFixed4::FromDouble(2.5).Rounded(0).ToString(0), "2");
    EXPECT_THROW(TFixed4::FromInt(1) / TFixed4(), std::exception);
}
