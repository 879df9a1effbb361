#include <gtest/gtest.h>

#include <windows.h>

#include "controls/VersionInfo.h"
#include "platform/FileUtil.h"
#include "support/TestSupport.h"

using namespace testing_support;

TEST(VersionInfo, ReadsTheVersionBlockOfThisProgram)
{
    TVersionInfo info(ExeFileName());
    ASSERT_TRUE(info.Valid());
    EXPECT_EQ(info.FileName(), ExeFileName());
    EXPECT_GT(info.DataSize(), 0u);
    const uint16_t* translation = info.GetTranslation();
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1252);
    EXPECT_EQ(info.GetTranslationText(), "040904E4");
    EXPECT_EQ(info.GetVerValue("PRODUCTNAME"), "Brenix");
    EXPECT_EQ(info.GetVerValue("LEGALCOPYRIGHT"), "Copyright (C) 2026 Zembrik");
    EXPECT_EQ(info.GetVerValue("FILEVERSION"), "1.5.0.0");
    EXPECT_EQ(info.GetVerValue("ProductVersion"), "1.5.0.0");
    EXPECT_EQ(info.GetVerValue("CompanyName"), "Zembrik");
    EXPECT_EQ(info.GetVerValue("NoSuchValue"), "");
    EXPECT_EQ(info.GetVerValue(""), "");
}

TEST(VersionInfo, AFileWithoutAVersionBlockGivesEmptyTexts)
{
    TempDir dir("verinfo");
    WriteFile(dir.File("FAHlog.txt"), "--- Opening Log file [March 14 15:09:26]\r\n");
    // The first 2 KB of this program: headers that point past the end.
    std::string exe = ReadFileText(ExeFileName());
    WriteFile(dir.File("cut.exe"), exe.substr(0, 2048));
    std::string noise;
    for (int i = 0; i < 70000; ++i)
        noise.push_back(static_cast<char>((i * 7919) >> 3));
    noise[0] = 'M';
    noise[1] = 'Z';
    WriteFile(dir.File("noise.exe"), noise);

    for (const char* name : {"FAHlog.txt", "cut.exe", "noise.exe", "missing.exe"}) {
        TVersionInfo info(dir.File(name));
        EXPECT_FALSE(info.Valid()) << name;
        EXPECT_EQ(info.GetTranslation(), nullptr) << name;
        EXPECT_EQ(info.GetTranslationText(), "") << name;
        for (const char* value : {"PRODUCTNAME", "LEGALCOPYRIGHT", "FILEVERSION"})
            EXPECT_EQ(info.GetVerValue(value), "") << name << " " << value;
    }
}

TEST(VersionInfo, ReadsACopyOfTheProgramUnderAnotherName)
{
    TempDir dir("verinfo");
    const std::string copy = dir.File("\xd0\x9a\xd0\xbe\xd0\xbf\xd0\xb8\xd1\x8f Brenix.exe");
    WriteFile(copy, ReadFileText(ExeFileName()));
    TVersionInfo info(copy);
    ASSERT_TRUE(info.Valid());
    EXPECT_EQ(info.GetVerValue("ORIGINALFILENAME"), "Brenix.exe");
    EXPECT_EQ(info.GetVerValue("FILEDESCRIPTION"), "Brenix - Folding@Home client monitor");
}
