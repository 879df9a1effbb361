// Binds every event of a socket to a log of what happened, in order.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/WSocket.h"
#include "sockets/PeerPorts.h"
#include "support/TestSupport.h"

struct SocketRecorder {
    TWSocket& s;
    std::vector<std::string> events;   // "connected 0", "line HELLO", "closed 0", ...
    std::vector<std::string> lines;    // received lines without their end
    std::string data;                  // everything received, in order
    int connected = -1;
    int closed = -1;
    int dataSent = 0;
    bool readData = true;

    explicit SocketRecorder(TWSocket& sock) : s(sock)
    {
        s.OnSessionConnected = [this](WORD e) {
            connected = e;
            events.push_back("connected " + std::to_string(e));
        };
        s.OnSessionClosed = [this](WORD e) {
            closed = e;
            events.push_back("closed " + std::to_string(e));
        };
        s.OnDataSent = [this](WORD) { ++dataSent; };
        s.OnDataAvailable = [this](WORD) {
            if (!readData) {
                events.push_back("data unread");
                return;
            }
            std::string got = s.ReceiveStr();
            if (got.empty())
                return;
            data += got;
            if (s.LineMode()) {
                std::string line = got;
                if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
                    line.resize(line.size() - 2);
                lines.push_back(line);
                events.push_back("line " + line);
            } else {
                events.push_back("data " + got);
            }
        };
    }

    bool WaitLines(size_t n, DWORD ms = 5000)
    {
        return testing_support::PumpUntil([&] { return lines.size() >= n; }, ms);
    }
    bool WaitClosed(DWORD ms = 5000)
    {
        return testing_support::PumpUntil([&] { return closed >= 0; }, ms);
    }
    bool WaitConnected(DWORD ms = 5000)
    {
        return testing_support::PumpUntil([&] { return connected >= 0; }, ms);
    }
};

// The peers come from servers/serve.py; without them the test fails.
#define REQUIRE_PEER(port) \
    ASSERT_FALSE((port).empty()) << "run through servers/serve.py to have the peers"
