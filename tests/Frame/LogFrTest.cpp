// The log frame on real client logs: rows painted in the colour of their
// keyword group, a growing log that only gets its new rows, and the service
// log whose restart banners repeat, shown cut at every line of a banner and
// then whole, never with a line twice.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Classes/Lang.h"
#include "Classes/LogLines.h"
#include "Frame/LogFr.h"
#include "platform/DateTime.h"
#include "platform/Form.h"
#include "platform/Text.h"
#include "platform/StringList.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kServiceLog[] = "fahlog-cpu-service-b4-82-shutdown-restart.txt";

class LogFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 640, 400);
        frame = new TLogFrame(form);
        frame->SetParent(form);
        form->Show();
        Pump(30);
    }
    void TearDown() override { delete form; }

    // The rows are exactly these lines (the first difference is reported).
    void ExpectRows(const std::vector<std::string>& lines) const
    {
        size_t i = 0;
        PVirtualNode n = frame->VSTree->GetFirstChild(nullptr);
        for (; n && i < lines.size(); n = n->NextSibling, ++i)
            if (frame->NodeText(n) != lines[i])
                break;
        EXPECT_TRUE(!n && i == lines.size()) << "rows differ from line " << i + 1 << " of " << lines.size()
                                             << " (" << frame->LineCount() << " rows)";
    }
    // The colour painted at the right end of a row (where no text is).
    COLORREF RowColour(int row)
    {
        TBaseVirtualTree* tree = frame->VSTree;
        PVirtualNode node = tree->GetFirstChild(nullptr);
        for (int i = 0; i < row; ++i)
            node = node->NextSibling;
        const RECT client = tree->ClientRect();
        TBitmap shot;
        shot.SetSize(client.right, client.bottom);
        RECT window = client;
        OffsetRect(&window, -tree->OffsetX(), -tree->OffsetY());
        tree->PaintTreeArea(shot.Canvas(), window, POINT{0, 0}, WindowPaintOptions);
        const RECT r = tree->NodeDisplayRect(node, NoColumn, false);
        return shot.Pixel(client.right - 3, (r.top + r.bottom) / 2);
    }

    TForm* form = nullptr;
    TLogFrame* frame = nullptr;
};

TEST_F(LogFrameTest, RowsTakeTheColourOfTheirFirstKeywordGroup)
{
    // Real lines of a client log; the first is a real "Connecting to" line
    // that also failed.
    const std::vector<std::string> lines = SplitLines(ReadFile(RealDataFile(kServiceLog)));
    auto lineWith = [&](const char* word) {
        for (const std::string& l : lines)
            if (l.find(word) != std::string::npos)
                return l;
        ADD_FAILURE() << word;
        return std::string();
    };
    struct Row {
        std::string text;
        COLORREF colour;
    } rows[] = {
        {lineWith("Connecting to") + " failed", 0xD5D5FF},
        {lineWith("Connecting to"), 0xFFE9D5},
        {lineWith("Completed"), 0xD5FFD5},
        {lineWith("Launched as a service"), 0xE9E9E9},
        {"", 0xE9E9E9},   // selected: not looked at
    };
    std::string text;
    for (const Row& r : rows)
        text += r.text + "\r\n";
    frame->LoadText(text, true);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(rows[i].text);
        EXPECT_EQ(RowColour(i), rows[i].colour);
    }
    frame->SetErrorColor(0x00FF00);
    EXPECT_EQ(RowColour(0), 0x00FF00u);
    frame->SetColoring(false);
    EXPECT_EQ(RowColour(0), GetSysColor(COLOR_BTNFACE));
}

TEST_F(LogFrameTest, AGrowingLogGetsOnlyItsNewRows)
{
    const std::string full = ReadFile(RealDataFile(kServiceLog));
    const std::vector<std::string> fullLines = SplitLines(full);
    const size_t lastTwo = full.rfind("\r\n", full.rfind("\r\n", full.size() - 3) - 1) + 2;
    // How the shown text ends: two whole lines short; in the middle of a
    // line; between the CR and the LF of a line end.
    const size_t cuts[] = {lastTwo, full.size() - 10, full.rfind('\r') + 1};
    for (size_t cut : cuts) {
        SCOPED_TRACE(cut);
        frame->SetText(full.substr(0, cut));
        const int before = frame->LineCount();
        PVirtualNode first = frame->VSTree->GetFirstChild(nullptr);
        frame->SetText(full);
        ExpectRows(fullLines);
        EXPECT_EQ(frame->VSTree->GetFirstChild(nullptr), first);   // appended, not reloaded
        PVirtualNode last = frame->VSTree->GetLastChild(nullptr);
        EXPECT_EQ(frame->VSTree->FocusedNode(), last);
        EXPECT_TRUE(frame->VSTree->Selected(last));
        EXPECT_EQ(frame->VSTree->SelectedCount(), 1u);
        if (cut == lastTwo) {
            EXPECT_EQ(frame->LineCount(), before + 2);
        }
        frame->LoadText("", true);
    }
    // The same through the client's snapshots, the old one extended.
    auto shorter = std::make_shared<const TLogLines>(full.substr(0, lastTwo));
    auto grown = std::make_shared<const TLogLines>(*shorter, full.substr(lastTwo));
    frame->SetLines(shorter);
    PVirtualNode first = frame->VSTree->GetFirstChild(nullptr);
    frame->SetLines(grown);
    ExpectRows(fullLines);
    EXPECT_EQ(frame->VSTree->GetFirstChild(nullptr), first);
    EXPECT_EQ(frame->LastLines(2), fullLines[fullLines.size() - 2] + "\r\n" + fullLines.back());
}

TEST_F(LogFrameTest, RepeatedRestartBannersNeverShowALineTwice)
{
    const std::string full = ReadFile(RealDataFile(kServiceLog));
    const std::vector<std::string> fullLines = SplitLines(full);
    // The shown text ends at each line of the second and third banners,
    // whose last seven lines also stand earlier in the log.
    std::vector<size_t> ends;
    for (size_t p = full.find("\n"); p != std::string::npos; p = full.find("\n", p + 1))
        ends.push_back(p + 1);
    for (size_t line : {84u, 88u, 92u, 96u, 100u, 790u, 794u, 798u, 802u, 806u}) {
        SCOPED_TRACE(line);
        frame->SetText(full.substr(0, ends[line - 1]));
        ASSERT_EQ(frame->LineCount(), static_cast<int>(line));
        frame->SetText(full);
        ExpectRows(fullLines);
    }
    // Another log altogether is loaded from scratch.
    const std::string other = ReadFile(RealDataFile("fahlog-smp-a4-bigadv-running.txt"));
    frame->SetText(other);
    ExpectRows(SplitLines(other));
}

TEST_F(LogFrameTest, ALongClientLogShowsItsEndUnderANoteAndFollowsIt)
{
    // A client log of real lines, many megabytes long, read by its client.
    const std::string real = ReadFile(RealDataFile(kServiceLog));
    TempDir dir("logframe");
    std::string log;
    while (log.size() < (6u << 20))
        log += real;
    WriteFile(dir.File("FAHlog.txt"), log);
    const int total = static_cast<int>(TLogLines(log).Count());
    TFahParams p;
    p.Folder = dir.Path();
    p.StartPolling = false;
    TFah client(p);
    auto show = [&] {
        client.Refresh(true);
        TLock lock(client.CritSection());
        frame->SetLines(client.LogLines);
    };
    show();
    // Only the log's end has rows (a megabyte's worth), the first row says
    // how many lines are above them.
    const int rows = frame->LineCount();
    EXPECT_LT(rows, total / 4);
    ASSERT_NE(frame->NoteRow(), nullptr);
    EXPECT_EQ(frame->NoteRow(), frame->VSTree->GetFirstChild(nullptr));
    const std::string above = FormatFloat("#,##0", total - (rows - 1));
    EXPECT_EQ(frame->NodeText(frame->NoteRow()), FillIn(sLogLinesNotShown, {above}));
    const std::vector<std::string> lines = SplitLines(log);
    EXPECT_EQ(frame->LastLines(2), lines[lines.size() - 2] + "\r\n" + lines.back());

    // The log grows: new rows come at the end, rows of lines that left the
    // window go at the top, the rows in between stay.
    PVirtualNode kept = frame->VSTree->GetLastChild(nullptr);
    HANDLE h = CreateFileW(Utf8ToWide(dir.File("FAHlog.txt")).c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string more = real.substr(0, real.size() / 2);
    DWORD n = 0;
    WriteFile(h, more.data(), static_cast<DWORD>(more.size()), &n, nullptr);
    CloseHandle(h);
    show();
    const std::vector<std::string> grown = SplitLines(log + more);
    EXPECT_LE(frame->LineCount(), rows + 64);
    EXPECT_EQ(frame->LastLines(1), grown.back());
    EXPECT_EQ(frame->NodeText(frame->NoteRow()),
              FillIn(sLogLinesNotShown, {FormatFloat("#,##0", static_cast<double>(grown.size()) - (frame->LineCount() - 1))}));
    bool stillThere = false;
    for (PVirtualNode r = frame->VSTree->GetFirstChild(nullptr); r; r = r->NextSibling)
        stillThere = stillThere || r == kept;
    EXPECT_TRUE(stillThere);
    // The rows are the file's lines in order.
    PVirtualNode r = frame->VSTree->GetLastChild(nullptr);
    for (size_t i = grown.size(); r && r != frame->NoteRow(); r = r->PrevSibling)
        ASSERT_EQ(frame->NodeText(r), grown[--i]);
    // Many rows left at the top, and each row's index is still its place.
    ASSERT_GT(static_cast<int>(grown.size() - lines.size()), 2);
    uint32_t place = 0;
    for (r = frame->VSTree->GetFirstChild(nullptr); r; r = r->NextSibling, ++place)
        ASSERT_EQ(r->Index, place) << frame->NodeText(r);
}

}  // namespace
