#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

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

namespace {

uint32_t Get32(const std::string& b, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<size_t>(i)));
    return v;
}

uint16_t Get16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(b.at(at)) |
                                 (static_cast<unsigned char>(b.at(at + 1)) << 8));
}

void Put32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + static_cast<size_t>(i)) = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// File offset of the size field of the program file's version resource; 0
// when the file has none.
size_t VersionSizeField(const std::string& pe)
{
    const size_t header = Get32(pe, 0x3C);
    const size_t sections = Get16(pe, header + 6);
    const size_t optional = header + 24;
    const size_t firstSection = optional + Get16(pe, header + 20);
    const uint32_t resourceRva = Get32(pe, optional + 96 + 2 * 8);   // data directory 2
    auto fileOffset = [&](uint32_t rva) -> size_t {
        for (size_t i = 0; i < sections; ++i) {
            size_t s = firstSection + i * 40;
            uint32_t va = Get32(pe, s + 12), size = std::max(Get32(pe, s + 8), Get32(pe, s + 16));
            if (rva >= va && rva < va + size)
                return rva - va + Get32(pe, s + 20);
        }
        return 0;
    };
    const size_t root = fileOffset(resourceRva);
    if (!root)
        return 0;
    // Type level: the entry of RT_VERSION; then the first name and language.
    size_t dir = root;
    uint32_t wantedId = 16;
    for (int level = 0; level < 3; ++level) {
        const size_t count = Get16(pe, dir + 12) + Get16(pe, dir + 14);
        size_t entry = 0;
        for (size_t i = 0; i < count; ++i) {
            size_t e = dir + 16 + i * 8;
            if (level > 0 || Get32(pe, e) == wantedId) {
                entry = e;
                break;
            }
        }
        if (!entry)
            return 0;
        uint32_t target = Get32(pe, entry + 4);
        if (level < 2) {
            if (!(target & 0x80000000u))
                return 0;
            dir = root + (target & 0x7FFFFFFFu);
        } else {
            return root + target + 4;   // the data entry: RVA, then size
        }
    }
    return 0;
}

}  // namespace

TEST(VersionInfo, AVersionResourceClaimingAHugeSizeIsNoCrash)
{
    TempDir dir("verinfo");
    std::string exe = ReadFileText(ExeFileName());
    const size_t field = VersionSizeField(exe);
    ASSERT_NE(field, 0u);
    ASSERT_GT(Get32(exe, field), 100u);   // the real block is a few hundred bytes
    for (uint32_t claimed : {0x7FFFFFF0u, 0x10000000u, 0xFFFFFFF0u}) {
        std::string bad = exe;
        Put32(bad, field, claimed);
        const std::string file = dir.File("claims" + std::to_string(claimed) + ".exe");
        WriteFile(file, bad);
        TVersionInfo* info = nullptr;
        ASSERT_NO_THROW(info = new TVersionInfo(file)) << claimed;
        // No real version block is that large: the file counts as having none.
        EXPECT_FALSE(info->Valid()) << claimed;
        EXPECT_EQ(info->DataSize(), 0u);
        EXPECT_EQ(info->GetTranslationText(), "");
        EXPECT_EQ(info->GetVerValue("PRODUCTNAME"), "");
        delete info;
    }
}
