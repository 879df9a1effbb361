#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdlib>

#include "controls/FileUtils.h"
#include "platform/DateTime.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using namespace testing_support;

TEST(FileUtils, EnsureTrailingBackslash)
{
    EXPECT_EQ(EnsureTrailingBackslash("c"), "c:\\");
    EXPECT_EQ(EnsureTrailingBackslash("Z"), "Z:\\");
    EXPECT_EQ(EnsureTrailingBackslash("c:"), "c:");
    EXPECT_EQ(EnsureTrailingBackslash("c:\\"), "c:\\");
    EXPECT_EQ(EnsureTrailingBackslash("D:\\data"), "D:\\data\\");
    EXPECT_EQ(EnsureTrailingBackslash("D:\\data\\"), "D:\\data\\");
    EXPECT_EQ(EnsureTrailingBackslash("\\\\host\\share"), "\\\\host\\share\\");
    EXPECT_EQ(EnsureTrailingBackslash(""), "");
    EXPECT_EQ(EnsureTrailingBackslash("1"), "1\\");          // not a drive letter
    EXPECT_EQ(EnsureTrailingBackslash("ab"), "ab\\");
}

TEST(FileUtils, RemoveTrailingBackslash)
{
    EXPECT_EQ(RemoveTrailingBackslash("c:\\"), "c:\\");
    EXPECT_EQ(RemoveTrailingBackslash("D:\\data\\"), "D:\\data");
    EXPECT_EQ(RemoveTrailingBackslash("D:\\data\\\\"), "D:\\data\\");   // only one
    EXPECT_EQ(RemoveTrailingBackslash("D:\\data"), "D:\\data");
    EXPECT_EQ(RemoveTrailingBackslash("\\"), "\\");
    EXPECT_EQ(RemoveTrailingBackslash("a\\"), "a");
    EXPECT_EQ(RemoveTrailingBackslash(""), "");
}

TEST(FileUtils, IsExistingDirectoryTellsFoldersFromFiles)
{
    TempDir dir("utils");
    WriteFile(dir.File("FAHlog.txt"), "log");
    ASSERT_TRUE(ForceDirectories(dir.File("work")));
    EXPECT_TRUE(IsExistingDirectory(dir.Path()));
    EXPECT_TRUE(IsExistingDirectory(dir.File("work")));
    EXPECT_TRUE(IsExistingDirectory(RemoveTrailingBackslash(dir.Path())));
    EXPECT_FALSE(IsExistingDirectory(dir.File("FAHlog.txt")));
    EXPECT_FALSE(IsExistingDirectory(dir.File("missing")));
    EXPECT_FALSE(IsExistingDirectory(""));
    // A folder with a non-ASCII name.
    std::string cyr = dir.File("\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0");
    ASSERT_TRUE(ForceDirectories(cyr));
    EXPECT_TRUE(IsExistingDirectory(cyr));
}

TEST(FileUtils, FileModifiedTimeIsTheLocalWriteTime)
{
    TempDir dir("utils");
    const std::string file = dir.File("unitinfo.txt");
    WriteFile(file, "Name: p2677");
    // Set a known time: 2009-03-14 15:09:26 UTC.
    SYSTEMTIME utc{};
    utc.wYear = 2009;
    utc.wMonth = 3;
    utc.wDay = 14;
    utc.wHour = 15;
    utc.wMinute = 9;
    utc.wSecond = 26;
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft));
    HANDLE h = CreateFileW(Utf8ToWide(file).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);

    SYSTEMTIME local{};
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    // ctest runs this away from UTC, so a UTC time taken for local would show.
    if (getenv("TZ")) {
        EXPECT_NE(local.wHour, utc.wHour) << "the time zone did not reach the program";
    }
    TDateTime expected = EncodeDateTime(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                                        local.wSecond, 0);
    EXPECT_NEAR(FileModifiedTime(file), expected, 0.5 / SecsPerDay);

    // A file written now is about now.
    WriteFile(dir.File("now.txt"), "x");
    EXPECT_NEAR(FileModifiedTime(dir.File("now.txt")), Now(), 60.0 / SecsPerDay);
}

TEST(FileUtils, FileModifiedTimeIsZeroWithoutAFile)
{
    TempDir dir("utils");
    EXPECT_EQ(FileModifiedTime(dir.File("missing.txt")), 0.0);
    EXPECT_EQ(FileModifiedTime(dir.Path()), 0.0);
    EXPECT_EQ(FileModifiedTime(""), 0.0);
    EXPECT_EQ(FileModifiedTime(dir.File("no\\such\\folder\\x.txt")), 0.0);
}

TEST(FileUtils, HasAnyChar)
{
    EXPECT_TRUE(HasAnyChar("a|b", "<>|"));
    EXPECT_FALSE(HasAnyChar("abc", "<>|"));
    EXPECT_FALSE(HasAnyChar("abc", ""));
    EXPECT_FALSE(HasAnyChar("", "abc"));
}

TEST(FileUtils, IsValidFileName)
{
    EXPECT_TRUE(IsValidFileName("C:\\Program Files\\FAH\\FAHlog.txt"));
    EXPECT_TRUE(IsValidFileName("background.bmp"));
    EXPECT_FALSE(IsValidFileName(""));
    for (const char* bad : {"a<b", "a>b", "a\"b", "a[1]", "a|b", "c:\\x\\a]"})
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
}

TEST(FileUtils, ShortAndLongNamesConvertEveryComponent)
{
    TempDir dir("utils");
    const std::string longDir = dir.File("Folding At Home Client");
    const std::string longFile = longDir + "\\Work Unit Information.txt";
    ASSERT_TRUE(ForceDirectories(longDir));
    WriteFile(longFile, "x");

    // The system's own short form of the whole path is the reference.
    wchar_t buf[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(Utf8ToWide(longFile).c_str(), buf, MAX_PATH), 0u);
    const std::string systemShort = WideToUtf8(buf);

    std::string shortPath = LongToShortFileName(longFile);
    EXPECT_TRUE(SameText(shortPath, systemShort)) << shortPath << " vs " << systemShort;
    EXPECT_EQ(shortPath.find(' '), std::string::npos);
    EXPECT_TRUE(FileExists(shortPath));

    std::string back = ShortToLongFileName(shortPath);
    EXPECT_TRUE(SameText(back, ShortToLongFileName(longFile)));
    EXPECT_NE(back.find("\\Folding At Home Client\\Work Unit Information.txt"), std::string::npos) << back;
    EXPECT_TRUE(SameText(back.substr(0, 2), longFile.substr(0, 2)));   // the drive is kept
}

TEST(FileUtils, MissingComponentsComeOutEmpty)
{
    TempDir dir("utils");
    ASSERT_TRUE(ForceDirectories(dir.File("real")));
    std::string root = RemoveTrailingBackslash(dir.Path());
    std::string converted = ShortToLongFileName(root + "\\real\\ghost.txt");
    EXPECT_TRUE(SameText(converted, ShortToLongFileName(root) + "\\real\\")) << converted;
    // Wildcards are never expanded into somebody else's name.
    WriteFile(dir.File("real\\a.txt"), "x");
    EXPECT_TRUE(SameText(ShortToLongFileName(root + "\\real\\*.txt"), ShortToLongFileName(root) + "\\real\\"));
    // A drive root alone is kept as it is.
    EXPECT_EQ(ShortToLongFileName("C:"), "C:");
    EXPECT_EQ(LongToShortFileName(""), "");
}
