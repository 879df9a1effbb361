#include <gtest/gtest.h>

#include "net/WSocket.h"
#include "sockets/SocketRecorder.h"

using namespace testing_support;

namespace {

// Connects in line mode and waits for the server's greeting.
void ConnectLineMode(TWSocket& s, SocketRecorder& r)
{
    s.SetAddr("127.0.0.1");
    s.SetPort(PeerPort("LINE"));
    s.SetLineMode(true);
    s.Connect();
    ASSERT_TRUE(r.WaitLines(1));
    ASSERT_EQ(r.lines[0], "HELLO");
}

}  // namespace

TEST(LineMode, SeveralLinesInOnePacketComeOneByOne)
{
    REQUIRE_PEER(PeerPort("LINE"));
    TWSocket s;
    SocketRecorder r(s);
    ConnectLineMode(s, r);
    std::vector<int> lengths;
    s.OnDataAvailable = [&](WORD) {
        lengths.push_back(s.LineLength());
        std::string got = s.ReceiveStr();
        r.lines.push_back(got);
    };
    s.SendLine("MULTI");
    ASSERT_TRUE(r.WaitLines(5));
    EXPECT_EQ(r.lines[1], "one\r\n");
    EXPECT_EQ(r.lines[2], "two\r\n");
    EXPECT_EQ(r.lines[3], "three\r\n");
    EXPECT_EQ(r.lines[4], "four\r\n");
    EXPECT_EQ(lengths, (std::vector<int>{5, 5, 7, 6}));
    s.Close();
}

TEST(LineMode, HandlerThatReadsNothingDoesNotSpin)
{
    REQUIRE_PEER(PeerPort("LINE"));
    TWSocket s;
    SocketRecorder r(s);
    ConnectLineMode(s, r);
    int calls = 0;
    bool reading = false;
    s.OnDataAvailable = [&](WORD) {
        ++calls;
        if (reading)
            r.lines.push_back(s.ReceiveStr());
    };
    s.SendLine("MULTI");
    Pump(600);
    EXPECT_GE(calls, 1);
    EXPECT_LT(calls, 50);
    EXPECT_EQ(s.State(), wsConnected);
    EXPECT_EQ(s.LineLength(), 5);   // "one\r\n" waits to be read
    // Reading again: the lines wait in order; a line-mode switch delivers them.
    reading = true;
    s.SetLineMode(false);
    s.SetLineMode(true);
    ASSERT_TRUE(r.WaitLines(5)) << r.lines.size();
    EXPECT_EQ(r.lines[1], "one\r\n");
    EXPECT_EQ(r.lines[2], "two\r\n");
    EXPECT_EQ(r.lines[3], "three\r\n");
    EXPECT_EQ(r.lines[4], "four\r\n");
    s.Close();
}

TEST(LineMode, HandlerMayReadALineInPieces)
{
    REQUIRE_PEER(PeerPort("LINE"));
    TWSocket s;
    SocketRecorder r(s);
    ConnectLineMode(s, r);
    std::string got;
    int calls = 0;
    s.OnDataAvailable = [&](WORD) {
        ++calls;
        char buf[3];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
    };
    s.SendLine("ECHO abcdefgh");
    ASSERT_TRUE(PumpUntil([&] { return got.size() >= 10; }, 20000));
    EXPECT_EQ(got, "abcdefgh\r\n");
    EXPECT_GE(calls, 4);
    s.Close();
}

TEST(LineMode, LeavingLineModeHandsBufferedBytesToOrdinaryReceives)
{
    REQUIRE_PEER(PeerPort("LINE"));
    TWSocket s;
    SocketRecorder r(s);
    ConnectLineMode(s, r);
    std::string rest;
    bool first = true;
    s.OnDataAvailable = [&](WORD) {
        if (first) {
            first = false;
            r.lines.push_back(s.ReceiveStr());
            s.SetLineMode(false);
            return;
        }
        rest += s.ReceiveStr();
    };
    s.SendLine("MULTI");
    ASSERT_TRUE(PumpUntil([&] { return rest.find("four\r\n") != std::string::npos; }, 20000)) << rest;
    EXPECT_EQ(r.lines[1], "one\r\n");
    EXPECT_EQ(rest, "two\r\nthree\r\nfour\r\n");
    s.Close();
}

TEST(LineMode, LastBytesComeAsALineBeforeTheClose)
{
    REQUIRE_PEER(PeerPort("LINE"));
    TWSocket s;
    SocketRecorder r(s);
    ConnectLineMode(s, r);
    s.SendLine("TAIL");
    ASSERT_TRUE(r.WaitClosed());
    ASSERT_EQ(r.events.size(), 4u);
    EXPECT_EQ(r.events[2], "line tail-without-end");
    EXPECT_EQ(r.events[3], "closed 0");
    EXPECT_EQ(s.RcvdBufferCount(), 0);   // the buffer goes with the connection
}

TEST(LineMode, LineLimitIsNeverPassed)
{
    REQUIRE_PEER(PeerPort("LINE"));
    TWSocket s;
    SocketRecorder r(s);
    ConnectLineMode(s, r);
    s.SetLineLimit(1000);
    std::vector<int> exceeded;
    int maxBuffered = 0;
    bool clear = true;
    s.OnLineLimitExceeded = [&](int n, bool& clearData) {
        exceeded.push_back(n);
        clearData = clear;
    };
    s.OnDataAvailable = [&](WORD) {
        maxBuffered = std::max(maxBuffered, s.RcvdBufferCount());
        r.lines.push_back(s.ReceiveStr());
    };
    // 5000 bytes without a line end: dropped in pieces of the limit.
    s.SendLine("BIG 5000");
    s.SendLine("ECHO after");
    ASSERT_TRUE(PumpUntil([&] { return r.lines.size() >= 2; }, 20000));
    EXPECT_GE(exceeded.size(), 4u);
    for (int n : exceeded)
        EXPECT_EQ(n, 1000);
    EXPECT_EQ(r.lines[1].substr(r.lines[1].size() - 7), "after\r\n");
    EXPECT_LE(r.lines[1].size(), 1000u);

    // Left uncleared, a full buffer is handed over as one (cut) line.
    clear = false;
    size_t before = r.lines.size();
    s.SendLine("BLAST 2500");
    ASSERT_TRUE(PumpUntil([&] { return r.lines.size() >= before + 3; }, 20000));
    EXPECT_EQ(r.lines[before], std::string(1000, 'y'));
    EXPECT_EQ(r.lines[before + 1], std::string(1000, 'y'));
    EXPECT_EQ(r.lines[before + 2], std::string(500, 'y') + "\r\n");
    EXPECT_LE(maxBuffered, 1000);
    s.Close();
}

TEST(LineMode, EditAndEcho)
{
    REQUIRE_PEER(PeerPort("LINE"));
    TWSocket s;
    SocketRecorder r(s);
    ConnectLineMode(s, r);
    s.SetLineEdit(true);
    // The server echoes "abX<BS>c": the line as edited is "abc".
    s.SendLine("ECHO abX\bc");
    ASSERT_TRUE(r.WaitLines(2));
    EXPECT_EQ(r.lines[1], "abc");

    // Echo sends what arrives back; the server answers that line with ERR.
    s.SetLineEdit(false);
    s.SetLineEcho(true);
    s.OnDataAvailable = [&](WORD) {
        std::string got = s.ReceiveStr();
        if (got.empty())
            return;
        r.lines.push_back(got.substr(0, got.size() - 2));
        s.SetLineEcho(false);   // only the first line goes back
    };
    s.SendLine("ECHO zz");
    ASSERT_TRUE(r.WaitLines(4));
    EXPECT_EQ(r.lines[2], "zz");
    EXPECT_EQ(r.lines[3], "ERR zz");
    s.SetLineEcho(false);
    s.Close();
}
