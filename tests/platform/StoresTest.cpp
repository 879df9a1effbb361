#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

using testing_support::TempDir;

namespace {
const char kTestKey[] = "Software\\Zembrik\\BrenixTest\\Platform";

struct RegistryTest : ::testing::Test {
    void SetUp() override { TRegistry().DeleteKey(kTestKey); }
    void TearDown() override { TRegistry().DeleteKey(kTestKey); }
};
}  // namespace

TEST_F(RegistryTest, ValuesRoundTripUnderATestKey)
{
    TRegistry r;
    ASSERT_FALSE(r.OpenKey(kTestKey, false));
    ASSERT_TRUE(r.OpenKey(kTestKey, true));
    r.WriteString("Name", "\xD0\x91\xD1\x80\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xBA\xD1\x81");   // Бреникс
    r.WriteInteger("Width", 1024);
    r.WriteBool("Flag", true);
    r.WriteBinaryData("Blob", std::string("\x01\x00\x02", 3));
    r.CloseKey();

    TRegistry q(HKEY_CURRENT_USER, KEY_READ);
    ASSERT_TRUE(q.OpenKeyReadOnly(std::string("\\") + kTestKey));   // a leading backslash is dropped
    EXPECT_EQ(q.ReadString("Name"), "\xD0\x91\xD1\x80\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xBA\xD1\x81");
    EXPECT_EQ(q.ReadInteger("Width"), 1024);
    EXPECT_TRUE(q.ReadBool("Flag"));
    EXPECT_EQ(q.ReadBinaryData("Blob"), std::string("\x01\x00\x02", 3));
    EXPECT_EQ(q.GetDataType("Width"), TRegDataType::Integer);
    EXPECT_EQ(q.GetDataType("Name"), TRegDataType::String);
    EXPECT_EQ(q.GetDataType("Missing"), TRegDataType::Unknown);
    EXPECT_THROW(q.ReadInteger("Name"), ERegistryError);   // wrong type
    EXPECT_THROW(q.ReadString("Missing"), ERegistryError);
    auto names = q.GetValueNames();
    EXPECT_EQ(names.size(), 4u);
}

TEST_F(RegistryTest, RegIniFileKeepsSectionsAsSubkeys)
{
    TRegIniFile ini(kTestKey);
    EXPECT_EQ(ini.ReadString("Settings", "x", "def"), "def");
    ini.WriteInteger("Main", "fpWidth", 1024);
    ini.WriteString("Settings", "upURL", "http://example.invalid/a");
    ini.WriteBool("Settings", "osAutoRun", true);
    EXPECT_EQ(ini.ReadInteger("Main", "fpWidth", 0), 1024);
    EXPECT_TRUE(ini.ReadBool("Settings", "osAutoRun", false));

    TRegistry r;
    ASSERT_TRUE(r.OpenKey(std::string(kTestKey) + "\\Main", false));
    EXPECT_EQ(r.GetDataType("fpWidth"), TRegDataType::Integer);
    r.CloseKey();

    auto sections = ini.ReadSections();
    EXPECT_EQ(sections.size(), 2u);
    ini.EraseSection("Main");
    EXPECT_FALSE(ini.ValueExists("Main", "fpWidth"));
    EXPECT_EQ(ini.ReadInteger("Main", "fpWidth", 7), 7);
}

TEST(IniFile, NonAsciiPathAndValuesSurviveAReload)
{
    TempDir dir("ini_\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0");   // "папка"
    std::string path = dir.File("\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.ini");   // "файл.ini"
    {
        TIniFile ini(path);
        ini.BeginUpdate();
        ini.WriteString("FAHDir", "Dir0", "C:\\FAH\\\xD0\x9A\xD0\xBB\xD0\xB8\xD0\xB5\xD0\xBD\xD1\x82");
        ini.WriteInteger("C:\\FAH", "ShowInHint", 1);
        ini.WriteString("C:\\FAH", "Alias", "main box");
        ini.EndUpdate();
    }
    ASSERT_TRUE(FileExists(path));
    TIniFile again(path);
    EXPECT_EQ(again.ReadString("fahdir", "DIR0", ""),
              "C:\\FAH\\\xD0\x9A\xD0\xBB\xD0\xB8\xD0\xB5\xD0\xBD\xD1\x82");
    EXPECT_EQ(again.ReadInteger("C:\\FAH", "ShowInHint", 0), 1);
    EXPECT_EQ(again.ReadSections().size(), 2u);
    again.DeleteKey("C:\\FAH", "Alias");
    again.EraseSection("FAHDir");
    TIniFile third(path);
    EXPECT_FALSE(third.SectionExists("FAHDir"));
    EXPECT_FALSE(third.ValueExists("C:\\FAH", "Alias"));
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST(IniFile, ReadsAnsiFilesAndIgnoresJunk)
{
    TempDir dir;
    std::string path = dir.File("old.ini");
    testing_support::WriteFile(path, "junk line\r\n[S]\r\nname = \xCF\xF0\xE8\r\n=novalue\r\n[broken\r\n");
    TIniFile ini(path);
    // Wine's ANSI code page follows the locale; only check that reading never fails
    // and gives valid text.
    std::string v = ini.ReadString("S", "name", "");
    EXPECT_FALSE(v.empty());
    EXPECT_EQ(ini.ReadString("S", "missing", "d"), "d");
}

TEST(FileUtil, AtomicWriteReplacesWholeFiles)
{
    TempDir dir;
    std::string path = dir.File("data.txt");
    WriteFileAtomic(path, "first");
    WriteFileAtomic(path, "second, longer");
    EXPECT_EQ(ReadFileText(path), "second, longer");
    EXPECT_EQ(FileSizeOf(path), 14);
    EXPECT_THROW(ReadFileText(dir.File("missing.txt")), EFileError);
    EXPECT_THROW(WriteFileAtomic(dir.File("no\\such\\folder\\x.txt"), "x"), EFileError);
    EXPECT_TRUE(ForceDirectories(dir.File("a\\b\\c")));
    EXPECT_TRUE(DirectoryExists(dir.File("a\\b\\c")));
    EXPECT_EQ(ExtractFilePath("C:\\x\\y.txt"), "C:\\x\\");
    EXPECT_EQ(ExtractFileName("C:\\x\\y.txt"), "y.txt");
    EXPECT_EQ(ChangeFileExt("C:\\x.y\\Brenix.exe", ".ini"), "C:\\x.y\\Brenix.ini");
    EXPECT_EQ(ChangeFileExt("C:\\x.y\\Brenix", ".ini"), "C:\\x.y\\Brenix.ini");
}
