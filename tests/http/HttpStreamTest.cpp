// The streams bodies are written into: positions, sizes, cutting back.
#include <gtest/gtest.h>

#include "net/HttpStream.h"
#include "support/TestSupport.h"
#include "platform/FileUtil.h"

TEST(HttpStream, MemoryStreamWritesReadsAndCutsBack)
{
    THttpMemoryStream s;
    s.Write("hello world", 11);
    EXPECT_EQ(s.Position(), 11);
    s.Seek(6);
    s.Write("WORLD!", 6);
    EXPECT_EQ(s.Data(), "hello WORLD!");
    s.SetSize(5);
    EXPECT_EQ(s.Data(), "hello");
    EXPECT_EQ(s.Position(), 5);
    s.Seek(1);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, sizeof buf), 4u);
    EXPECT_STREQ(buf, "ello");
    EXPECT_EQ(s.Read(buf, sizeof buf), 0u);
}

TEST(HttpStream, FileStreamMixesSmallAndLargePiecesInOrder)
{
    testing_support::TempDir dir("hstream");
    std::string path = dir.File("f.bin");
    std::string expected;
    {
        THttpFileStream f(path, THttpFileStream::fmCreate);
        for (int i = 0; i < 50; ++i) {
            std::string piece(static_cast<size_t>(i % 7 == 0 ? 200000 : 1000 + i), static_cast<char>('a' + i % 26));
            f.Write(piece.data(), piece.size());
            expected += piece;
            EXPECT_EQ(f.Position(), static_cast<int64_t>(expected.size()));
        }
        EXPECT_EQ(f.Size(), static_cast<int64_t>(expected.size()));
    }
    EXPECT_TRUE(testing_support::ReadFile(path) == expected);
}

TEST(HttpStream, FileStreamSetSizeTruncatesWhatWasWritten)
{
    testing_support::TempDir dir("hstream");
    std::string path = dir.File("f.txt");
    {
        THttpFileStream f(path, THttpFileStream::fmCreate);
        f.Write("keep this;", 10);
        f.Write(std::string(300, 'R').data(), 300);
        f.SetSize(10);
        EXPECT_EQ(f.Size(), 10);
        EXPECT_EQ(f.Position(), 10);
        f.Write("final", 5);
    }
    EXPECT_EQ(testing_support::ReadFile(path), "keep this;final");
}

TEST(HttpStream, FileStreamReadsAnExistingFile)
{
    testing_support::TempDir dir("hstream");
    std::string path = dir.File("in.txt");
    testing_support::WriteFile(path, "a=1&b=2");
    THttpFileStream f(path, THttpFileStream::fmOpenRead);
    EXPECT_EQ(f.Size(), 7);
    char buf[16] = {};
    EXPECT_EQ(f.Read(buf, sizeof buf), 7u);
    EXPECT_STREQ(buf, "a=1&b=2");
}

TEST(HttpStream, MissingFolderGivesAClearError)
{
    testing_support::TempDir dir("hstream");
    try {
        THttpFileStream f(dir.File("no\\such\\folder\\x.txt"), THttpFileStream::fmCreate);
        FAIL() << "no exception";
    } catch (const EHttpStreamError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot create file"), std::string::npos) << e.what();
    }
    EXPECT_THROW(THttpFileStream(dir.File("absent.txt"), THttpFileStream::fmOpenRead), EHttpStreamError);
}

TEST(HttpStream, FullDiskIsReportedWhenTheGatheredBytesGoOut)
{
    // Linux's /dev/full takes the file's opening and refuses every write.
    THttpFileStream f("Z:\\dev\\full", THttpFileStream::fmCreate);
    f.Write("some bytes", 10);   // gathered, not written yet
    EXPECT_THROW(f.Flush(), EHttpStreamError);
}
