#include <gtest/gtest.h>

#include <windows.h>

#include "platform/Exceptions.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using testing_support::TempDir;
using testing_support::Utf16Bytes;

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

TEST(IniFile, Utf16AndMarkedFilesKeepTheirEncodingAndTheUsersLines)
{
    TempDir dir;
    // Notepad's "Unicode" (UTF-16 with its mark), its big-endian kind, and
    // UTF-8 with a mark; a Cyrillic name, comments and a line of no key.
    const std::wstring text = L"; my folders\r\n[FAHDir]\r\nline000=\"C:\\\u041a\u043b\u0438\u0435\u043d\u0442\"\r\n"
                              L"\r\n# the box under the desk\r\n[C:\\x\\]\r\nnot a key\r\nAlias=home\r\n";
    const std::wstring saved = L"; my folders\r\n\r\n[FAHDir]\r\nline000=\"C:\\\u041a\u043b\u0438\u0435\u043d\u0442\"\r\n"
                               L"\r\n# the box under the desk\r\n[C:\\x\\]\r\nnot a key\r\nAlias=home\r\nShowInHint=1\r\n\r\n";
    const struct {
        const char* name;
        std::string bytes, expected;
    } files[] = {
        {"le.ini", Utf16Bytes(text, false), Utf16Bytes(saved, false)},
        {"be.ini", Utf16Bytes(text, true), Utf16Bytes(saved, true)},
        {"bom.ini", "\xEF\xBB\xBF" + WideToUtf8(text), "\xEF\xBB\xBF" + WideToUtf8(saved)},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.File(f.name);
        testing_support::WriteFile(path, f.bytes);
        TIniFile ini(path);
        EXPECT_EQ(ini.LoadError(), "");
        EXPECT_EQ(ini.ReadString("FAHDir", "line000", ""), "\"C:\\\xD0\x9A\xD0\xBB\xD0\xB8\xD0\xB5\xD0\xBD\xD1\x82\"");
        EXPECT_EQ(ini.ReadSection("C:\\x\\"), std::vector<std::string>{"Alias"});
        ini.WriteInteger("C:\\x\\", "ShowInHint", 1);
        EXPECT_EQ(testing_support::ReadFile(path), f.expected);
    }
}

TEST(IniFile, AFileThatCannotBeReadIsNeverOverwritten)
{
    TempDir dir;
    // UTF-16 without its mark, and a file another program holds open alone.
    const std::string unmarked = dir.File("unmarked.ini"), held = dir.File("held.ini");
    const std::string bytes = Utf16Bytes(L"[FAHDir]\r\nline000=\"C:\\a\\\"\r\n", false).substr(2);
    testing_support::WriteFile(unmarked, bytes);
    testing_support::WriteFile(held, "[FAHDir]\r\nline000=\"C:\\a\\\"\r\n");
    HANDLE lock = CreateFileW(Utf8ToWide(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    TIniFile unmarkedIni(unmarked), heldIni(held);
    // The other program lets go before the save: the file could be
    // written now, but what was read of it is nothing.
    CloseHandle(lock);
    for (TIniFile* ini : {&unmarkedIni, &heldIni}) {
        SCOPED_TRACE(ini->FileName());
        EXPECT_NE(ini->LoadError(), "");
        EXPECT_TRUE(ini->ReadSections().empty());
        EXPECT_THROW(ini->WriteString("FAHDir", "line001", "\"D:\\b\\\""), EFileError);
    }
    EXPECT_EQ(testing_support::ReadFile(unmarked), bytes);
    EXPECT_EQ(testing_support::ReadFile(held), "[FAHDir]\r\nline000=\"C:\\a\\\"\r\n");
    // A missing file is an empty one, and can be written.
    TIniFile fresh(dir.File("new.ini"));
    EXPECT_EQ(fresh.LoadError(), "");
    fresh.WriteString("S", "k", "v");
    EXPECT_EQ(testing_support::ReadFile(dir.File("new.ini")), "[S]\r\nk=v\r\n\r\n");
}

TEST(IniFile, AUtf16FileWithAHalfCharacterIsToldAndKept)
{
    TempDir dir;
    // A high surrogate with no low one after it: a save would put U+FFFD
    // in its place.
    const std::string path = dir.File("half.ini");
    const std::string bytes = Utf16Bytes(L"[FAHDir]\r\nline000=\"C:\\a\xD83D\\\"\r\n", false);
    testing_support::WriteFile(path, bytes);
    TIniFile ini(path);
    EXPECT_NE(ini.LoadError(), "");
    EXPECT_TRUE(ini.ReadSections().empty());
    EXPECT_THROW(ini.WriteString("FAHDir", "line001", "\"D:\\b\\\""), EFileError);
    EXPECT_EQ(testing_support::ReadFile(path), bytes);
    // A whole pair is a character like any other.
    const std::string pair = dir.File("pair.ini");
    testing_support::WriteFile(pair, Utf16Bytes(L"[S]\r\nk=\xD83D\xDE00\r\n", false));
    TIniFile whole(pair);
    EXPECT_EQ(whole.LoadError(), "");
    EXPECT_EQ(whole.ReadString("S", "k", ""), "\xF0\x9F\x98\x80");
}

TEST(IniFile, ARepeatedKeyStaysAsItWasAndIsNeverRead)
{
    TempDir dir;
    const std::string path = dir.File("twice.ini");
    testing_support::WriteFile(path, "[C:\\b\\]\r\nServiceName=\"first\"\r\nAlias=b\r\nServiceName=\"second\"\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("C:\\b\\", "ServiceName", ""), "\"first\"");
    EXPECT_EQ(ini.ReadSection("C:\\b\\"), (std::vector<std::string>{"ServiceName", "Alias"}));
    ini.WriteString("C:\\b\\", "ServiceName", "\"new\"");
    EXPECT_EQ(testing_support::ReadFile(path),
              "[C:\\b\\]\r\nServiceName=\"new\"\r\nAlias=b\r\nServiceName=\"second\"\r\n\r\n");
    // Deleted and written again, the key goes above its repeat, which stays
    // the line that is never read.
    ini.BeginUpdate();
    ini.DeleteKey("C:\\b\\", "servicename");
    ini.WriteString("C:\\b\\", "ServiceName", "\"again\"");
    ini.EndUpdate();
    EXPECT_EQ(testing_support::ReadFile(path),
              "[C:\\b\\]\r\nAlias=b\r\nServiceName=\"again\"\r\nServiceName=\"second\"\r\n\r\n");
    EXPECT_EQ(TIniFile(path).ReadString("C:\\b\\", "ServiceName", ""), "\"again\"");
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
    // A file over the limit is not read, and the reason is its size.
    std::string text;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(TryReadFileText(path, text, 4));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
    EXPECT_THROW(WriteFileAtomic(dir.File("no\\such\\folder\\x.txt"), "x"), EFileError);
    EXPECT_TRUE(ForceDirectories(dir.File("a\\b\\c")));
    EXPECT_TRUE(DirectoryExists(dir.File("a\\b\\c")));
    EXPECT_EQ(ExtractFilePath("C:\\x\\y.txt"), "C:\\x\\");
    EXPECT_EQ(ExtractFileName("C:\\x\\y.txt"), "y.txt");
    EXPECT_EQ(ChangeFileExt("C:\\x.y\\Brenix.exe", ".ini"), "C:\\x.y\\Brenix.ini");
    EXPECT_EQ(ChangeFileExt("C:\\x.y\\Brenix", ".ini"), "C:\\x.y\\Brenix.ini");
}

// A folder list too large to read is refused with words, not a number.
TEST(IniFile, AFileTooLargeToReadSaysWhyInWords)
{
    TempDir dir;
    const std::string path = dir.File("Brenix.ini");
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 70ll << 20;
    EXPECT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
    TIniFile ini(path);
    const std::string error = ini.LoadError();
    const size_t reason = error.rfind("\": ");
    ASSERT_NE(reason, std::string::npos) << error;
    const std::string words = error.substr(reason + 3);
    EXPECT_EQ(words.find("223"), std::string::npos) << error;
    EXPECT_NE(words.rfind("error ", 0), 0u) << error;
    EXPECT_GE(words.size(), 8u) << error;
    EXPECT_EQ(FileSizeOf(path), 70ll << 20);
}

// A folder list under a comment block of megabytes is saved with no block
// of memory as large as the file: with none of 8 MB left (as when the
// polling threads have used up the address space) the save still goes.
TEST(IniFile, ALongFileIsSavedWithoutABlockOfMemoryItsSize)
{
    TempDir dir;
    const std::string path = dir.File("Brenix.ini");
    const std::string comment = "; " + std::string(96, 'x') + "\r\n";
    constexpr size_t kLines = 120000;
    {
        std::string text;
        for (size_t i = 0; i < kLines; ++i)
            text += comment;
        testing_support::WriteFile(path, text + "[FAHDir]\r\nline000=\"C:\\a\\\"\r\n");
    }
    TIniFile ini(path);
    {
        testing_support::AddressSpaceFiller filler(8u << 20);
        ASSERT_GT(filler.Taken(), 0u);
        EXPECT_NO_THROW(ini.WriteString("FAHDir", "line001", "\"D:\\b\\\""));
    }
    const std::string saved = testing_support::ReadFile(path);
    const std::string tail = "\r\n[FAHDir]\r\nline000=\"C:\\a\\\"\r\nline001=\"D:\\b\\\"\r\n\r\n";
    ASSERT_EQ(saved.size(), kLines * comment.size() + tail.size());
    EXPECT_EQ(saved.substr(kLines * comment.size()), tail);
    EXPECT_EQ(saved.substr(0, comment.size()), comment);
}
