#include <gtest/gtest.h>

#include "net/WSocket.h"
#include "sockets/SocketRecorder.h"

using namespace testing_support;

namespace {

// A socket in line mode aimed at the line server through a SOCKS server.
struct SocksClient {
    TWSocket s;
    SocketRecorder r{s};
    std::vector<std::string> socksErrors;   // "code message", in order
    std::vector<int> authStates;
    int socksConnected = -1;

    SocksClient(const std::string& socksPort, const std::string& level, const std::string& target = "127.0.0.1")
    {
        s.OnSocksError = [this](int code, const std::string& m) {
            socksErrors.push_back(std::to_string(code) + " " + m);
        };
        s.OnSocksAuthState = [this](TSocksAuthState st) { authStates.push_back(st); };
        s.OnSocksConnected = [this](WORD e) { socksConnected = e; };
        s.SetAddr(target);
        s.SetPort(PeerPort("LINE"));
        s.SetSocksServer("127.0.0.1");
        s.SetSocksPort(socksPort);
        s.SetSocksLevel(level);
        s.SetLineMode(true);
    }

    std::string Errors() const
    {
        std::string all;
        for (const std::string& e : socksErrors)
            all += "[" + e + "] ";
        return all;
    }
};

}  // namespace

TEST(Socks, Level5WithoutAuthenticationThroughMicrosocks)
{
    std::string port = PeerPort("MS");
    REQUIRE_PEER(port);
    ClearCaughtErrors();
    // microsocks resolves the name; where /etc/hosts also gives ::1 for it,
    // it may connect there, so the line server listens on both loopbacks.
    SocksClient c(port, "5", "localhost");
    c.s.Connect();
    EXPECT_EQ(c.s.SocksState(), 1);
    ASSERT_TRUE(c.r.WaitLines(1)) << "socks errors: " << c.Errors();
    EXPECT_EQ(c.socksConnected, 0);
    EXPECT_EQ(c.r.connected, 0);
    EXPECT_EQ(c.r.lines[0], "HELLO");
    EXPECT_EQ(c.s.State(), wsConnected);
    EXPECT_EQ(c.s.SocksState(), 0);
    EXPECT_TRUE(c.authStates.empty());
    c.s.SendLine("ECHO through the proxy");
    ASSERT_TRUE(c.r.WaitLines(2));
    EXPECT_EQ(c.r.lines[1], "through the proxy");
    c.s.SendLine("QUIT");
    ASSERT_TRUE(c.r.WaitClosed());
    EXPECT_TRUE(c.socksErrors.empty());
    EXPECT_TRUE(CaughtErrors().empty());
    // The SOCKS settings go back to their defaults with the connection.
    EXPECT_EQ(c.s.SocksServer(), "");
    EXPECT_EQ(c.s.SocksLevel(), "5");
}

TEST(Socks, Level5ConnectRefusedBehindMicrosocksIsAnError)
{
    std::string port = PeerPort("MS");
    REQUIRE_PEER(port);
    ClearCaughtErrors();
    SocksClient c(port, "5");
    c.s.SetPort(PeerPort("REFUSED"));   // nothing listens there
    c.s.Connect();
    ASSERT_TRUE(c.r.WaitClosed()) << "socks errors: " << c.Errors();
    ASSERT_EQ(c.socksErrors.size(), 1u);
    EXPECT_EQ(c.socksErrors[0], "20008 connection refused");
    EXPECT_EQ(c.r.connected, 20008);
    EXPECT_TRUE(c.r.lines.empty());
    EXPECT_EQ(c.s.State(), wsClosed);
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(Socks, Level5ErrorReplyEndsTheWaitWhileTheServerKeepsTheLineOpen)
{
    // The scripted server sends "connection refused" and then waits for the
    // client to hang up: the reply alone has to bring the error.
    std::string port = PeerPort("SOCKS5_REFUSED");
    REQUIRE_PEER(port);
    ClearCaughtErrors();
    SocksClient c(port, "5");
    c.s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return !c.socksErrors.empty(); }, 20000));
    ASSERT_EQ(c.socksErrors.size(), 1u);
    EXPECT_EQ(c.socksErrors[0], "20008 connection refused");
    EXPECT_EQ(c.r.connected, 20008);
    ASSERT_TRUE(c.r.WaitClosed());
    EXPECT_EQ(c.s.State(), wsClosed);
    EXPECT_TRUE(c.r.lines.empty());
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(Socks, Level5WithUserAndPasswordThroughMicrosocks)
{
    std::string port = PeerPort("MS_AUTH");
    REQUIRE_PEER(port);
    SocksClient c(port, "5");
    c.s.SetSocksAuthentication(socksAuthenticateUsercode);
    c.s.SetSocksUsercode("brenix");
    c.s.SetSocksPassword("s3cret!");
    c.s.Connect();
    ASSERT_TRUE(c.r.WaitLines(1));
    EXPECT_EQ(c.r.lines[0], "HELLO");
    EXPECT_EQ(c.authStates, (std::vector<int>{socksAuthStart, socksAuthSuccess}));
    EXPECT_TRUE(c.socksErrors.empty());
    c.s.Close();
}

TEST(Socks, WrongPasswordIsAnError)
{
    std::string port = PeerPort("MS_AUTH");
    REQUIRE_PEER(port);
    ClearCaughtErrors();
    SocksClient c(port, "5");
    c.s.SetSocksAuthentication(socksAuthenticateUsercode);
    c.s.SetSocksUsercode("brenix");
    c.s.SetSocksPassword("wrong");
    c.s.Connect();
    ASSERT_TRUE(c.r.WaitClosed());
    ASSERT_EQ(c.socksErrors.size(), 1u);
    EXPECT_EQ(c.socksErrors[0], "20015 socks authentication failed");
    EXPECT_EQ(c.r.connected, 20015);
    EXPECT_EQ(c.authStates, (std::vector<int>{socksAuthStart}));
    EXPECT_TRUE(c.r.lines.empty());
    EXPECT_EQ(c.s.State(), wsClosed);
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(Socks, ServerThatWantsCredentialsRefusesNoAuthentication)
{
    std::string port = PeerPort("MS_AUTH");
    REQUIRE_PEER(port);
    SocksClient c(port, "5");
    c.s.Connect();
    ASSERT_TRUE(c.r.WaitClosed());
    ASSERT_EQ(c.socksErrors.size(), 1u);
    EXPECT_EQ(c.socksErrors[0], "20003 authentification method not acceptable");
    EXPECT_EQ(c.r.connected, 20003);
}

TEST(Socks, OfferedCredentialsThatTheServerDoesNotNeed)
{
    std::string port = PeerPort("SOCKS5_EAGER");
    REQUIRE_PEER(port);
    SocksClient c(port, "5");
    c.s.SetSocksAuthentication(socksAuthenticateUsercode);
    c.s.SetSocksUsercode("someone");
    c.s.SetSocksPassword("x");
    c.s.Connect();
    ASSERT_TRUE(c.r.WaitLines(2));
    EXPECT_EQ(c.authStates, (std::vector<int>{socksAuthNotRequired}));
    EXPECT_EQ(c.r.lines[0], "EARLY");
    EXPECT_TRUE(c.socksErrors.empty());
    c.s.Close();
}

TEST(Socks, Level4And4AThroughScriptedServer)
{
    std::string port = PeerPort("SOCKS4");
    REQUIRE_PEER(port);
    {
        SocksClient c(port, "4");
        c.s.SetSocksUsercode("brenix");
        c.s.Connect();
        ASSERT_TRUE(c.r.WaitLines(1));
        EXPECT_EQ(c.r.lines[0], "HELLO");
        c.s.SendLine("ECHO four");
        ASSERT_TRUE(c.r.WaitLines(2));
        EXPECT_EQ(c.r.lines[1], "four");
        c.s.Close();
    }
    {
        // 4A: the proxy resolves the name.
        SocksClient c(port, "4a", "localhost");
        EXPECT_EQ(c.s.SocksLevel(), "4A");
        c.s.Connect();
        ASSERT_TRUE(c.r.WaitLines(1));
        EXPECT_EQ(c.r.lines[0], "HELLO");
        c.s.Close();
    }
}

TEST(Socks, Level4RejectionsAreErrors)
{
    std::string port = PeerPort("SOCKS4");
    REQUIRE_PEER(port);
    {
        SocksClient c(port, "4");
        c.s.SetSocksUsercode("reject");
        c.s.Connect();
        ASSERT_TRUE(c.r.WaitClosed());
        ASSERT_EQ(c.socksErrors.size(), 1u);
        EXPECT_EQ(c.socksErrors[0], "20016 request rejected or failed");
        EXPECT_EQ(c.r.connected, 20016);
    }
    {
        SocksClient c(port, "4A", "localhost");
        c.s.SetSocksUsercode("ident");
        c.s.Connect();
        ASSERT_TRUE(c.r.WaitClosed());
        ASSERT_EQ(c.socksErrors.size(), 1u);
        EXPECT_EQ(c.socksErrors[0], "20017 authentification failed");
    }
    {
        // A reply cut short by a hang-up: an error, and nothing read past it.
        SocksClient c(port, "4");
        c.s.SetSocksUsercode("short");
        c.s.Connect();
        ASSERT_TRUE(c.r.WaitClosed());
        ASSERT_EQ(c.socksErrors.size(), 1u);
        EXPECT_EQ(c.socksErrors[0], "10054 data receive error");
        EXPECT_EQ(c.r.connected, 10054);
        EXPECT_TRUE(c.r.lines.empty());
        EXPECT_EQ(c.s.State(), wsClosed);
    }
}

TEST(Socks, DataBehindTheReplyComesAfterTheConnectionInOrder)
{
    std::string port4 = PeerPort("SOCKS4");
    REQUIRE_PEER(port4);
    {
        SocksClient c(port4, "4");
        c.s.SetSocksUsercode("eager");
        c.s.Connect();
        ASSERT_TRUE(c.r.WaitLines(2));
        EXPECT_EQ(c.r.events[0], "connected 0");
        EXPECT_EQ(c.r.lines[0], "EARLY");
        EXPECT_EQ(c.r.lines[1], "HELLO");
        c.s.Close();
    }
    {
        SocksClient c(PeerPort("SOCKS5_EAGER"), "5");
        c.s.SetLineMode(false);
        c.s.Connect();
        ASSERT_TRUE(PumpUntil([&] { return c.r.data.size() >= 14; }, 20000));
        EXPECT_EQ(c.r.events[0], "connected 0");
        EXPECT_EQ(c.r.data, "EARLY\r\nHELLO\r\n");
        c.s.Close();
    }
}

TEST(Socks, HostileLevel5AnswersAreErrorsNotCrashes)
{
    REQUIRE_PEER(PeerPort("SOCKS5_BADVER"));
    ClearCaughtErrors();
    struct Case {
        const char* mode;
        bool auth;
        const char* error;
    };
    const Case cases[] = {
        {"BADVER", false, "20002 socks version error"},
        {"FLOOD", false, "20001 too much data availaible"},
        {"ATYP", false, "20011 address type not supported"},
        {"TRUNC", false, "10054 data receive error"},
        {"BADAUTHVER", true, "20002 socks version error"},
        {"AUTHFLOOD", true, "20001 too much data availaible"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.mode);
        SocksClient c(PeerPort(std::string("SOCKS5_") + k.mode), "5");
        if (k.auth) {
            c.s.SetSocksAuthentication(socksAuthenticateUsercode);
            c.s.SetSocksUsercode("u");
            c.s.SetSocksPassword("p");
        }
        c.s.Connect();
        ASSERT_TRUE(c.r.WaitClosed());
        ASSERT_EQ(c.socksErrors.size(), 1u);
        EXPECT_EQ(c.socksErrors[0], k.error);
        EXPECT_EQ(std::to_string(c.r.connected), std::string(k.error).substr(0, 5));
        EXPECT_TRUE(c.r.lines.empty());
        EXPECT_EQ(c.s.State(), wsClosed);
    }
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(Socks, CloseDuringAuthenticationIsReported)
{
    std::string port = PeerPort("SOCKS5_AUTHCLOSE");
    REQUIRE_PEER(port);
    SocksClient c(port, "5");
    c.s.SetSocksAuthentication(socksAuthenticateUsercode);
    c.s.SetSocksUsercode("u");
    c.s.SetSocksPassword("p");
    c.s.Connect();
    ASSERT_TRUE(c.r.WaitClosed());
    EXPECT_EQ(c.authStates, (std::vector<int>{socksAuthStart, socksAuthFailure}));
    ASSERT_EQ(c.socksErrors.size(), 1u);
    EXPECT_EQ(c.socksErrors[0], "10054 data receive error");
    EXPECT_NE(c.r.connected, 0);
}

TEST(Socks, SettingsAreCheckedAndLocked)
{
    TWSocket s;
    std::vector<std::string> errors;
    s.OnError = [&](int, const std::string& m) { errors.push_back(m); };
    s.SetSocksLevel("3");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Invalid socks level. Must be 4, 4A or 5.");
    EXPECT_EQ(s.SocksLevel(), "5");
    s.SetSocksLevel("4a");
    EXPECT_EQ(s.SocksLevel(), "4A");

    s.SetSocksServer("127.0.0.1");
    s.SetProto("udp");
    s.SetAddr("127.0.0.1");
    s.SetPort("7");
    s.Connect();
    EXPECT_EQ(errors.back(), "tcp is the only protocol supported thru socks server");
    s.Listen();
    EXPECT_EQ(errors.back(), "Listening is not supported thru socks server");
    EXPECT_EQ(s.State(), wsClosed);

    // Lengths that do not fit the one-byte length fields of the requests.
    s.SetProto("tcp");
    s.SetSocksLevel("5");
    s.SetSocksPort("1");
    s.SetSocksAuthentication(socksAuthenticateUsercode);
    s.SetSocksUsercode(std::string(256, 'u'));
    s.Connect();
    EXPECT_EQ(errors.back(), "Socks user code or password longer than 255 bytes");
    s.SetSocksUsercode("u");
    s.SetSocksPassword(std::string(300, 'p'));
    s.Connect();
    EXPECT_EQ(errors.back(), "Socks user code or password longer than 255 bytes");
    s.SetAddr(std::string(256, 'h'));
    s.Connect();
    EXPECT_EQ(errors.back(), "Host name too long for the socks server");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
}
