#include <gtest/gtest.h>

#include <cmath>

#include "platform/DateTime.h"
#include "platform/Exceptions.h"

TEST(DateTime, EncodeDecodeRoundTrips)
{
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2009, 2, 28), 39872.0);
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    for (int y : {1601, 1899, 1900, 2000, 2008, 2009, 2038, 9999})
        for (int m = 1; m <= 12; ++m)
            for (int d : {1, 15, DaysInMonth(y, m)}) {
                TDateTime dt = EncodeDateTime(y, m, d, 23, 59, 58, 999);
                TDateParts p = DecodeDateTime(dt);
                ASSERT_EQ(p.year, y);
                ASSERT_EQ(p.month, m);
                ASSERT_EQ(p.day, d);
                ASSERT_EQ(p.hour, 23);
                ASSERT_EQ(p.min, 59);
                ASSERT_EQ(p.sec, 58);
                ASSERT_EQ(p.msec, 999);
            }
    EXPECT_EQ(DecodeDateTime(EncodeDate(2026, 12, 7)).dayOfWeek, 2);   // a Monday
}

TEST(DateTime, InvalidDatesAreRejected)
{
    TDateTime dt;
    EXPECT_FALSE(TryEncodeDate(2009, 2, 29, dt));
    EXPECT_TRUE(TryEncodeDate(2008, 2, 29, dt));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, dt));
    EXPECT_FALSE(TryEncodeDate(2000, 13, 1, dt));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, dt));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, dt));
    EXPECT_THROW(EncodeDate(2009, 4, 31), EConvertError);
    EXPECT_THROW(EncodeTime(1, 60, 0, 0), EConvertError);
    TDateParts p = DecodeDateTime(std::nan(""));
    EXPECT_EQ(p.year, 0);
}

TEST(DateTime, FormatsWithPatterns)
{
    TFormatSettings saved = FormatSettings();
    const char* months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        FormatSettings().shortMonthNames[i] = months[i];
    TDateTime dt = EncodeDateTime(2009, 3, 5, 7, 8, 9, 0);
    EXPECT_EQ(FormatDateTime("d mmm  hh:nn:ss", dt), "5 Mar  07:08:09");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy", dt), "05.03.2009");
    EXPECT_EQ(FormatDateTime("yy/m/d h:n", dt), "09/3/5 7:8");
    EXPECT_EQ(FormatDateTime("hh:mm", dt), "07:08");   // minutes after an hour
    EXPECT_EQ(FormatDateTime("\"at\" hh", dt), "at 07");
    FormatSettings() = saved;
}

TEST(DateTime, FormatFloatPatterns)
{
    TFormatSettings saved = FormatSettings();
    FormatSettings().decimalSeparator = '.';
    FormatSettings().thousandSeparator = ",";
    EXPECT_EQ(FormatFloat("0.00", 115.2), "115.20");
    EXPECT_EQ(FormatFloat("#,##0.0", 1023.94), "1,023.9");
    EXPECT_EQ(FormatFloat("#,##0.0", 1234567.25), "1,234,567.2");
    EXPECT_EQ(FormatFloat("0", 2765.5), "2766");
    EXPECT_EQ(FormatFloat("0", 2764.5), "2764");
    EXPECT_EQ(FormatFloat("0.0", 1.25), "1.2");
    EXPECT_EQ(FormatFloat("0.0", 1.35), "1.4");
    EXPECT_EQ(FormatFloat("0.##", 2.5), "2.5");
    EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");
    EXPECT_EQ(FormatFloat("0.00", -3.5), "-3.50");
    FormatSettings().decimalSeparator = ',';
    FormatSettings().thousandSeparator = " ";
    EXPECT_EQ(FormatFloat("#,##0.0", 1023.94), "1 023,9");
    FormatSettings() = saved;
}
