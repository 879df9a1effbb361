// Through a proxy: the request's form, Basic through squid, NTLM through
// squid's fake helper and through the scripted proxy that checks every byte.
#include <gtest/gtest.h>

#include "HttpTestPeers.h"
#include "support/TestSupport.h"

using namespace httptest;

TEST(HttpProxy, AbsoluteUrlToTheProxyAndTheTargetInTheHostLine)
{
    THttpCli http;
    http.Accept = "";
    http.Agent = "";
    UseProxy(http, "NTLMPROXY");
    // The target's name is never looked up here: only the proxy is connected to.
    TFetch f = Fetch(http, "http://www.example.test/dir/echo");
    ASSERT_FALSE(f.raised) << f.message;
    EXPECT_EQ(f.body, "GET http://www.example.test/dir/echo HTTP/1.0\r\nHost: www.example.test\r\n\r\n");

    TFetch g = Fetch(http, "http://www.example.test:8080/echo?x=1");
    ASSERT_FALSE(g.raised) << g.message;
    EXPECT_EQ(g.body, "GET http://www.example.test:8080/echo?x=1 HTTP/1.0\r\nHost: www.example.test:8080\r\n\r\n");

    // Port 80 named in the URL: kept in the request line, left out of the host line.
    TFetch h = Fetch(http, "http://www.example.test:80/echo");
    ASSERT_FALSE(h.raised) << h.message;
    EXPECT_EQ(h.body, "GET http://www.example.test:80/echo HTTP/1.0\r\nHost: www.example.test\r\n\r\n");
}

TEST(HttpProxy, ProxyWithItsOwnPortInTheName)
{
    THttpCli http;
    http.Accept = "";
    http.Agent = "";
    http.Proxy = "127.0.0.1:" + std::to_string(Port("NTLMPROXY"));
    http.ProxyPort = "1";   // the port in the name wins
    TFetch f = Fetch(http, "http://www.example.test/echo");
    ASSERT_FALSE(f.raised) << f.message;
    EXPECT_EQ(f.body.rfind("GET http://www.example.test/echo HTTP/1.0\r\n", 0), 0u) << f.body;
}

TEST(HttpProxy, SquidWithBasicCredentials)
{
    testing_support::TempDir dir("http");
    std::string file = dir.File("small.txt");
    THttpCli http;
    UseProxy(http, "SQUID_BASIC");
    http.ProxyUsername = "puser";
    http.ProxyPassword = "ppass";
    http.URL = Url("NGINX", "/small.txt");
    int requests = 0;
    http.OnRequestHeaderBegin = [&requests] { ++requests; };
    {
        THttpFileStream stream(file, THttpFileStream::fmCreate);
        http.RcvdStream = &stream;
        http.Get();
        http.RcvdStream = nullptr;
    }
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(testing_support::ReadFile(file), "hello from nginx\n");   // no trace of the 407 page
    EXPECT_EQ(requests, 2);
}

TEST(HttpProxy, SquidWithoutOrWithWrongCredentialsReturns407)
{
    THttpCli none;
    UseProxy(none, "SQUID_BASIC");
    TFetch f = Fetch(none, Url("NGINX", "/small.txt"));
    EXPECT_FALSE(f.raised) << f.message;
    EXPECT_EQ(none.StatusCode(), 407);

    THttpCli wrong;
    UseProxy(wrong, "SQUID_BASIC");
    wrong.ProxyUsername = "puser";
    wrong.ProxyPassword = "wrong";
    int requests = 0;
    wrong.OnRequestHeaderBegin = [&requests] { ++requests; };
    TFetch g = Fetch(wrong, Url("NGINX", "/small.txt"));
    EXPECT_FALSE(g.raised) << g.message;
    EXPECT_EQ(wrong.StatusCode(), 407);
    EXPECT_EQ(requests, 2);
}

TEST(HttpProxy, SquidWithNtlmCompletesTheThreeLegs)
{
    testing_support::TempDir dir("http");
    std::string file = dir.File("big.bin");
    THttpCli http;
    UseProxy(http, "SQUID_NTLM");
    http.ProxyUsername = "someone";
    http.ProxyPassword = "secret";
    http.URL = Url("NGINX", "/big.bin");
    // What happened, in order: connections made and authorization lines sent.
    std::vector<std::string> events;
    http.CtrlSocket().OnChangeState = [&events](TSocketState, TSocketState now) {
        if (now == wsConnected)
            events.push_back("connect");   // a new TCP connection
    };
    http.OnCommand = [&events](std::string& line) {
        if (line.rfind("Proxy-Authorization: NTLM TlRMTVNTUAAB", 0) == 0)
            events.push_back("negotiate");
        else if (line.rfind("Proxy-Authorization: NTLM TlRMTVNTUAAD", 0) == 0)
            events.push_back("authenticate");
        else if (line.rfind("Proxy-Authorization:", 0) == 0)
            events.push_back("other");
    };
    {
        THttpFileStream stream(file, THttpFileStream::fmCreate);
        http.RcvdStream = &stream;
        http.Get();
        http.RcvdStream = nullptr;
    }
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_TRUE(testing_support::ReadFile(file) == BigPattern(3u * 1024 * 1024));
    // The negotiate and the authenticate message on one connection.
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[events.size() - 3], "connect");
    EXPECT_EQ(events[events.size() - 2], "negotiate");
    EXPECT_EQ(events[events.size() - 1], "authenticate");
    EXPECT_EQ(events[0], "connect");
    EXPECT_EQ(http.ProxyConnection, "Keep-alive");
}

TEST(HttpProxy, ScriptedProxyChecksTheAuthenticateMessageByteForByte)
{
    THttpCli http;
    http.Accept = "";
    http.Agent = "";
    UseProxy(http, "NTLMPROXY");
    http.ProxyUsername = "user";
    http.ProxyPassword = "SecREt01";
    TFetch f = Fetch(http, "http://www.example.test:81/doc");
    ASSERT_FALSE(f.raised) << f.message << " / " << f.body;
    EXPECT_EQ(http.StatusCode(), 200);
    // Only the final answer is in the stream, none of the two 407 bodies.
    EXPECT_EQ(f.body, "proxied GET http://www.example.test:81/doc\nHost: www.example.test:81\n");
    // The first request, the negotiate and the authenticate message on one connection.
    EXPECT_EQ(HeaderValue(http, "X-Req"), "3");
}

TEST(HttpProxy, ScriptedProxyRefusesAWrongPassword)
{
    THttpCli http;
    UseProxy(http, "NTLMPROXY");
    http.ProxyUsername = "user";
    http.ProxyPassword = "secret01";
    TFetch f = Fetch(http, "http://www.example.test/doc");
    ASSERT_TRUE(f.raised);
    EXPECT_EQ(f.code, 403u);
}

TEST(HttpProxy, NtlmSwitchedOffLeavesThe407)
{
    THttpCli http;
    UseProxy(http, "NTLMPROXY");
    http.ProxyUsername = "user";
    http.ProxyPassword = "SecREt01";
    http.Options = httpoNoNTLMAuth | httpoNoBasicAuth;
    TFetch f = Fetch(http, "http://www.example.test/doc");
    EXPECT_FALSE(f.raised) << f.message;
    EXPECT_EQ(http.StatusCode(), 407);
    EXPECT_EQ(f.body, "proxy wants you");
}

TEST(HttpProxy, RelocationThroughTheProxyKeepsTheTargetPort)
{
    THttpCli http;
    UseProxy(http, "SQUID_BASIC");
    http.ProxyUsername = "puser";
    http.ProxyPassword = "ppass";
    TFetch f = Fetch(http, Url("NGINX", "/old"));
    ASSERT_FALSE(f.raised) << f.message;
    EXPECT_EQ(f.body, "hello from nginx\n");
    EXPECT_EQ(http.DocName(), "small.txt");
}

TEST(HttpProxy, HttpsThroughAProxyIsNotImplemented)
{
    THttpCli http;
    UseProxy(http, "NTLMPROXY");
    TFetch f = Fetch(http, "https://www.example.test/x");
    ASSERT_TRUE(f.raised);
    EXPECT_EQ(f.code, 501u);
    EXPECT_EQ(f.message.rfind("Protocol \"https\" not implemented", 0), 0u) << f.message;
}

TEST(HttpProxy, PeerAskingForCredentialsForEverGetsAnEnd)
{
    THttpCli http;
    http.Username = "u";
    http.Password = "p";
    http.ProxyUsername = "pu";
    http.ProxyPassword = "pp";
    int requests = 0;
    http.OnRequestHeaderBegin = [&requests] { ++requests; };
    TFetch f = Fetch(http, Url("SCRIPTED", "/auth-pingpong"));
    EXPECT_FALSE(f.raised) << f.message;
    EXPECT_TRUE(http.StatusCode() == 401 || http.StatusCode() == 407) << http.StatusCode();
    EXPECT_LE(requests, 10);
    EXPECT_GE(requests, 3);
}

TEST(HttpProxy, NtlmDoneOnAConnectionStartsOverWhenTheProxyAsksAgain)
{
    THttpCli http;
    UseProxy(http, "NTLMPROXY");
    http.ProxyUsername = "user";
    http.ProxyPassword = "SecREt01";
    TFetch first = Fetch(http, "http://www.example.test/one");
    ASSERT_FALSE(first.raised) << first.message << " / " << first.body;
    EXPECT_EQ(first.body, "proxied GET http://www.example.test/one\nHost: www.example.test\n");
    // The kept connection: the proxy wants the handshake for this request too.
    TFetch second = Fetch(http, "http://www.example.test/two");
    ASSERT_FALSE(second.raised) << second.message << " / " << second.body;
    EXPECT_EQ(second.body, "proxied GET http://www.example.test/two\nHost: www.example.test\n");
    EXPECT_EQ(HeaderValue(http, "X-Req"), "6");
}

TEST(HttpProxy, EndlessAnswerToConnectIsInvalid)
{
    THttpCli http;
    UseProxy(http, "NTLMPROXY");
    bool guardFired = false;
    TFetch f = FetchGuarded(http, "https://endless.example.test/x", 30000, guardFired);
    EXPECT_FALSE(guardFired);
    ASSERT_TRUE(f.raised);
    EXPECT_NE(f.message.find("the header goes on without end"), std::string::npos) << f.message;
    EXPECT_LE(http.RcvdHeader().Count(), 1000);
}
