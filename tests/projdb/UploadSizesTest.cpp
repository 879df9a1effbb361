#include <gtest/gtest.h>

#include <algorithm>

#include "Classes/MVars.h"
#include "Classes/UploadSizes.h"
#include "ProjDbFixture.h"
#include "platform/DateTime.h"
#include "platform/FileUtil.h"
#include "platform/Resources.h"
#include "platform/StringList.h"
#include "platform/Text.h"

using projdb_test::DataFolderTest;

namespace {

int CountLines(const TDataLines& list, const std::string& line)
{
    const auto& items = list.Lines().Items();
    return static_cast<int>(std::count(items.begin(), items.end(), line));
}

}  // namespace

TEST_F(DataFolderTest, BuiltInSizesComeFromTheRealLogs)
{
    const TDataLines& list = UploadSizeList();
    TStringList table(LoadRCData("UploadSizeInfo"));
    ASSERT_EQ(list.Count(), table.Count());   // no data-folder files: the table alone
    EXPECT_EQ(CountLines(list, "---"), 0);
    EXPECT_EQ(list[0], "#2669;25914156;0");
    // Compressed result of P4456 (208325 bytes); P2677's newest result of 48650285 bytes.
    EXPECT_EQ(GetResultSizeText(4456), "203.44 KB");
    EXPECT_EQ(GetResultSizeText(2677), "46.4 MB");
    EXPECT_EQ(GetResultSizeText(5771), "88.22 KB");
    EXPECT_EQ(GetResultSizeText(1741), "");   // no size known
    EXPECT_EQ(GetResultSizeText(0), "");
}

TEST_F(DataFolderTest, SizesAreShownInTheLargestFittingUnit)
{
    PutDataFile("upload_loc.dat",
                "#101;1500;0\r\n#102;1997;1\r\n#103;1023;0\r\n#104;1024;0\r\n#105;1.5;2\r\n#106;12\r\n"
                "#107;12;7\r\n#108;0;1\r\n#109;abc;1\r\n#110;1,5;1\r\n#111;-5;0\r\n#112;3;x\r\n"
                "#113;2048;2\r\n#114;1048575;0\r\n#115;0.004;1\r\n#116;99999999999999999;0\r\n");
    LoadUploadSizes();
    EXPECT_EQ(GetResultSizeText(101), "1.46 KB");
    EXPECT_EQ(GetResultSizeText(102), "2 MB");   // 1.9502 MB, 1.95, then 2.0: ties to even
    EXPECT_EQ(GetResultSizeText(103), "1023 bytes");
    EXPECT_EQ(GetResultSizeText(104), "1 KB");
    EXPECT_EQ(GetResultSizeText(105), "1.5 MB");
    EXPECT_EQ(GetResultSizeText(106), "12 KB");   // no type: KB
    EXPECT_EQ(GetResultSizeText(107), "12 unknown SizeType");
    EXPECT_EQ(GetResultSizeText(108), "");        // size 0
    EXPECT_EQ(GetResultSizeText(109), "");        // not a number
    EXPECT_EQ(GetResultSizeText(110), "");
    EXPECT_EQ(GetResultSizeText(111), "");
    EXPECT_EQ(GetResultSizeText(112), "3 KB");    // type not a number: KB
    EXPECT_EQ(GetResultSizeText(113), "2048 MB"); // MB is the largest unit
    EXPECT_EQ(GetResultSizeText(114), "1024 KB");  // 1023.999 KB, rounded after the unit is chosen
    EXPECT_EQ(GetResultSizeText(115), "");        // rounds to 0
    EXPECT_EQ(GetResultSizeText(116), "");        // beyond any upload
}

TEST_F(DataFolderTest, SizeRoundingTiesGoToTheEvenDigit)
{
    PutDataFile("upload.dat",
                "#121;1152;0\r\n#122;1168;0\r\n#123;1.25;2\r\n#124;1.35;2\r\n#125;1.125;1\r\n");
    LoadUploadSizes();
    EXPECT_EQ(GetResultSizeText(121), "1.12 KB");   // 1.125
    EXPECT_EQ(GetResultSizeText(122), "1.14 KB");   // 1.140625: no tie
    EXPECT_EQ(GetResultSizeText(123), "1.2 MB");
    EXPECT_EQ(GetResultSizeText(124), "1.4 MB");
    EXPECT_EQ(GetResultSizeText(125), "1.12 KB");
}

TEST_F(DataFolderTest, SizeTextUsesTheLocaleDecimalSeparator)
{
    PutDataFile("upload.dat", "#201;1500;0\r\n");
    LoadUploadSizes();
    FormatSettings().decimalSeparator = ',';
    EXPECT_EQ(GetResultSizeText(201), "1,46 KB");
}

TEST_F(DataFolderTest, LocalSizesComeBeforeDownloadedBeforeBuiltIn)
{
    PutDataFile("upload.dat", "#2677;100;1\r\n#301;5;1\r\n");
    PutDataFile("upload_loc.dat", "#2677;200;1\r\n");
    LoadUploadSizes();
    EXPECT_EQ(GetResultSizeText(2677), "200 KB");
    EXPECT_EQ(GetResultSizeText(301), "5 KB");
    EXPECT_EQ(UploadSizeList()[0], "#2677;200;1");
    EXPECT_EQ(UploadSizeList()[3], "---");
    EXPECT_EQ(UploadSizeList()[4], "#2669;25914156;0");

    DeleteFileUtf8(UploadLocFile());
    LoadUploadSizes();
    EXPECT_EQ(GetResultSizeText(2677), "100 KB");

    DeleteFileUtf8(UploadFile());
    LoadUploadSizes();   // neither file: the list stays as it was
    EXPECT_EQ(GetResultSizeText(2677), "100 KB");
    InitUploadSizes();
    EXPECT_EQ(GetResultSizeText(2677), "46.4 MB");
}

TEST_F(DataFolderTest, ReloadingKeepsOneSeparatorAndOneCopyOfEachList)
{
    // No final line break, and a "---" line of the file's own.
    PutDataFile("upload.dat", "#401;10;1\r\n---\r\n#402;20;1");
    PutDataFile("upload_loc.dat", "#403;30;1");
    int builtIn = UploadSizeList().Count();
    LoadUploadSizes();
    LoadUploadSizes();
    const TDataLines& list = UploadSizeList();
    EXPECT_EQ(CountLines(list, "---"), 1);
    EXPECT_EQ(CountLines(list, "#401;10;1"), 1);
    EXPECT_EQ(CountLines(list, "#402;20;1"), 1);
    EXPECT_EQ(CountLines(list, "#403;30;1"), 1);
    EXPECT_EQ(CountLines(list, "#2669;25914156;0"), 1);
    ASSERT_EQ(list.Count(), builtIn + 4);
    EXPECT_EQ(list[0], "#403;30;1");
    EXPECT_EQ(list[1], "#401;10;1");
    EXPECT_EQ(list[2], "#402;20;1");
    EXPECT_EQ(list[3], "---");
    EXPECT_EQ(GetResultSizeText(402), "20 KB");
    EXPECT_EQ(GetResultSizeText(403), "30 KB");

    // A local addition as the main window makes it, then a reload.
    PutDataFile("upload_loc.dat", "#404;40;1\r\n#403;30;1");
    LoadUploadSizes();
    EXPECT_EQ(list.Count(), builtIn + 5);
    EXPECT_EQ(CountLines(list, "#403;30;1"), 1);
    EXPECT_EQ(GetResultSizeText(404), "40 KB");
}

TEST_F(DataFolderTest, UnreadableOrHostileListsAreSkipped)
{
    // Binary bytes and an empty file load without harm; lookups still work.
    std::string junk;
    for (int i = 0; i < 5000; ++i)
        junk += static_cast<char>((i * 7919) & 0xFF);
    PutDataFile("upload.dat", junk);
    PutDataFile("upload_loc.dat", "");
    EXPECT_NO_THROW(LoadUploadSizes());
    EXPECT_EQ(CountLines(UploadSizeList(), "---"), 1);
    EXPECT_EQ(GetResultSizeText(4456), "203.44 KB");

    // A file held open without sharing can't be read: it is left out.
    PutDataFile("upload.dat", "#501;1;1\r\n");
    HANDLE h = CreateFileW(Utf8ToWide(UploadFile()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_NO_THROW(LoadUploadSizes());
    CloseHandle(h);
    EXPECT_EQ(GetResultSizeText(501), "");
    LoadUploadSizes();
    EXPECT_EQ(GetResultSizeText(501), "1 KB");
}
