// The request machinery beyond a plain GET: HEAD, POST turned into GET by a
// relocation, CLOSE, the asynchronous start, the socket's own wait loop,
// SOCKS, and failures inside the component's own window.
#include <gtest/gtest.h>

#include "HttpTestPeers.h"
#include "support/TestSupport.h"

using namespace httptest;

TEST(HttpRequestKinds, HeadGivesTheHeaderAndNoBody)
{
    THttpCli http;
    THttpMemoryStream stream;
    http.URL = Url("NGINX", "/small.txt");
    http.RcvdStream = &stream;
    http.DoRequestSync(httpHEAD);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.ContentLength(), 17);
    EXPECT_EQ(stream.Data(), "");
    EXPECT_EQ(http.State(), httpReady);
}

TEST(HttpRequestKinds, PostRelocatedBecomesGet)
{
    THttpCli http;
    THttpMemoryStream body("x=1");
    THttpMemoryStream answer;
    http.URL = Url("SCRIPTED", "/to-echo");
    http.SendStream = &body;
    http.RcvdStream = &answer;
    http.DoRequestSync(httpPOST);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(answer.Data().rfind("GET /echo-keep HTTP/1.0\r\n", 0), 0u) << answer.Data();
    EXPECT_EQ(answer.Data().find("moved"), std::string::npos);
    EXPECT_EQ(http.RequestType(), httpGET);
}

TEST(HttpRequestKinds, CloseEndsAKeptConnection)
{
    THttpCli http;
    http.SetRequestVer("1.1");
    TFetch f = Fetch(http, Url("SCRIPTED", "/keep/hello"));
    ASSERT_FALSE(f.raised) << f.message;
    EXPECT_EQ(http.CtrlSocket().State(), wsConnected);
    http.DoRequestSync(httpCLOSE);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.CtrlSocket().State(), wsClosed);
    // The next request makes a new connection.
    TFetch g = Fetch(http, Url("SCRIPTED", "/keep/hello"));
    ASSERT_FALSE(g.raised) << g.message;
    EXPECT_EQ(HeaderValue(http, "X-Req"), "1");
}

TEST(HttpRequestKinds, AsynchronousStartEndsWithRequestDone)
{
    THttpCli http;
    THttpMemoryStream stream;
    http.URL = Url("SCRIPTED", "/chunked5");
    http.RcvdStream = &stream;
    bool done = false;
    WORD error = 99;
    http.OnRequestDone = [&](THttpRequest rq, WORD e) {
        EXPECT_EQ(rq, httpGET);
        done = true;
        error = e;
    };
    http.DoRequestAsync(httpGET);
    EXPECT_NE(http.State(), httpReady);   // returned at once
    ASSERT_TRUE(testing_support::PumpUntil([&] { return done; }, 10000));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(stream.Data(), "hello");
}

TEST(HttpRequestKinds, SocketsOwnWaitLoop)
{
    THttpCli http;
    http.SetMultiThreaded(true);
    EXPECT_TRUE(http.CtrlSocket().MultiThreaded());
    TFetch f = Fetch(http, Url("NGINX", "/small.txt"));
    ASSERT_FALSE(f.raised) << f.message;
    EXPECT_EQ(f.body, "hello from nginx\n");
}

namespace {

// A GET in the socket's own wait loop on a thread of its own whose queue
// already holds a WM_QUIT.
struct TQuitThreadRun {
    std::string url;
    bool raised = false;
    unsigned code = 0;
    std::string message;
    int state = -1;
    bool quitLeft = false;
};

DWORD WINAPI QuitThreadGet(LPVOID param)
{
    auto* run = static_cast<TQuitThreadRun*>(param);
    try {
        THttpCli http;
        http.SetMultiThreaded(true);
        http.Timeout = 5;
        http.URL = run->url;
        PostQuitMessage(0);
        try {
            http.Get();
        } catch (const EHttpException& e) {
            run->raised = true;
            run->code = e.ErrorCode();
            run->message = e.what();
        }
        run->state = http.State();
        MSG msg;
        run->quitLeft = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
    } catch (const std::exception& e) {
        run->message = std::string("unexpected: ") + e.what();
    } catch (...) {
        run->message = "unexpected exception";
    }
    return 0;
}

}  // namespace

TEST(HttpRequestKinds, OwnWaitLoopOfAThreadThatGotQuitEnds)
{
    // The server never answers: the request ends because its thread is
    // ending (or at the latest by its time-out), never spins on.
    auto* run = new TQuitThreadRun;
    run->url = Url("SCRIPTED", "/stall");
    HANDLE thread = CreateThread(nullptr, 0, QuitThreadGet, run, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD waited = WaitForSingleObject(thread, 60000);
    CloseHandle(thread);
    if (waited != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the request still runs a minute later";
        return;   // the thread still uses run: it stays
    }
    EXPECT_TRUE(run->raised) << run->message;
    EXPECT_EQ(run->code, 404u);
    EXPECT_EQ(run->message, "Connection aborted on request");
    EXPECT_EQ(run->state, httpReady);
    EXPECT_TRUE(run->quitLeft);   // the quit stays for the thread's own loop
    delete run;
}

TEST(HttpRequestKinds, ThroughASocksServer)
{
    THttpCli http;
    http.SocksServer = "127.0.0.1";
    http.SocksPort = std::to_string(Port("SOCKS"));
    http.SocksLevel = "5";
    bool socksConnected = false;
    http.OnSocksConnected = [&socksConnected](WORD error) { socksConnected = error == 0; };
    TFetch f = Fetch(http, Url("NGINX", "/small.txt"));
    ASSERT_FALSE(f.raised) << f.message;
    EXPECT_EQ(f.body, "hello from nginx\n");
    EXPECT_TRUE(socksConnected);
}

TEST(HttpRequestKinds, ExceptionInTheComponentsOwnWindowEndsTheRequest)
{
    // The relocated request goes out from the component's restart message:
    // a handler that throws there is caught at that window's boundary.
    testing_support::ClearCaughtErrors();
    THttpCli http;
    http.OnCommand = [](std::string& line) {
        if (line.rfind("GET /b ", 0) == 0)
            throw Exception("no way to /b");
    };
    TFetch f = Fetch(http, Url("SCRIPTED", "/a"));
    ASSERT_TRUE(f.raised);
    EXPECT_EQ(f.message, "no way to /b");
    EXPECT_EQ(http.State(), httpReady);
    EXPECT_TRUE(testing_support::CaughtErrors().empty());

    http.OnCommand = nullptr;
    TFetch again = Fetch(http, Url("SCRIPTED", "/a"));
    EXPECT_FALSE(again.raised) << again.message;
    EXPECT_EQ(again.body, "the final body of b\n");
}

TEST(HttpRequestKinds, ExceptionOnEnteringReadyEndsTheRequest)
{
    THttpCli http;
    bool armed = true;
    http.OnStateChange = [&] {
        if (armed && http.State() == httpReady)
            throw Exception("state handler failed");
    };
    TFetch f = Fetch(http, Url("SCRIPTED", "/keep/hello"));
    ASSERT_TRUE(f.raised);
    EXPECT_EQ(f.message, "state handler failed");
    armed = false;
    TFetch again = Fetch(http, Url("SCRIPTED", "/hello"));
    EXPECT_FALSE(again.raised) << again.message;
}

TEST(HttpRequestKinds, ExceptionInRequestDoneGoesToTheApplicationOnce)
{
    testing_support::ClearCaughtErrors();
    THttpCli http;
    int calls = 0;
    http.OnRequestDone = [&calls](THttpRequest, WORD) {
        ++calls;
        throw Exception("done handler failed");
    };
    TFetch f = Fetch(http, Url("SCRIPTED", "/hello"));
    EXPECT_FALSE(f.raised) << f.message;
    testing_support::PumpUntil([] { return !testing_support::CaughtErrors().empty(); }, 3000);
    testing_support::Pump(200);
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(testing_support::CaughtErrors().size(), 1u);
    EXPECT_EQ(testing_support::CaughtErrors()[0], "done handler failed");
}

namespace {

TComponent* g_ownerToFree = nullptr;

VOID CALLBACK FreeOwnerTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    delete g_ownerToFree;   // frees the HTTP component it owns
    g_ownerToFree = nullptr;
}

}  // namespace

TEST(HttpRequestKinds, ComponentFreedWhileItsRequestWaits)
{
    auto* owner = new TComponent(nullptr);
    auto* http = new THttpCli(owner);
    EXPECT_EQ(owner->FindComponent("HttpCli"), http);
    http->URL = Url("SCRIPTED", "/stall");
    g_ownerToFree = owner;
    SetTimer(nullptr, 0, 300, FreeOwnerTimerProc);
    try {
        http->Get();
        FAIL() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_STREQ(e.what(), "The HTTP component was freed while its request ran");
    }
    EXPECT_EQ(g_ownerToFree, nullptr);
}

TEST(HttpRequestKinds, HandlersMayAbortAtAnyStep)
{
    struct TCase {
        const char* name;
        const char* path;
        std::function<void(THttpCli&)> arm;
    };
    const std::vector<TCase> cases = {
        {"connected", "/hello", [](THttpCli& h) { h.OnSessionConnected = [&h] { h.Abort(); }; }},
        {"header begin", "/hello", [](THttpCli& h) { h.OnHeaderBegin = [&h] { h.Abort(); }; }},
        {"header data", "/hello", [](THttpCli& h) { h.OnHeaderData = [&h] { h.Abort(); }; }},
        {"header end", "/html09", [](THttpCli& h) { h.OnHeaderEnd = [&h] { h.Abort(); }; }},
        {"doc begin", "/chunked1", [](THttpCli& h) { h.OnDocBegin = [&h] { h.Abort(); }; }},
        {"doc data, chunked", "/chunked1", [](THttpCli& h) {
             h.OnDocData = [&h](const char*, int) {
                 if (h.RcvdCount() > 100)
                     h.Abort();
             };
         }},
        {"doc data, counted", "/big.bin", [](THttpCli& h) {
             h.OnDocData = [&h](const char*, int) {
                 if (h.RcvdCount() > 1000000)
                     h.Abort();
             };
         }},
    };
    for (const TCase& c : cases) {
        THttpCli http;
        c.arm(http);
        std::string url = std::string(c.path) == "/big.bin" ? Url("NGINX", c.path) : Url("SCRIPTED", c.path);
        TFetch f = Fetch(http, url);
        ASSERT_TRUE(f.raised) << c.name;
        EXPECT_EQ(f.message, "Connection aborted on request") << c.name;
        EXPECT_EQ(http.State(), httpReady) << c.name;
        EXPECT_LT(f.body.size(), 3u * 1024 * 1024) << c.name;

        // The same component goes on working.
        http.OnSessionConnected = nullptr;
        http.OnHeaderBegin = nullptr;
        http.OnHeaderData = nullptr;
        http.OnHeaderEnd = nullptr;
        http.OnDocBegin = nullptr;
        http.OnDocData = nullptr;
        TFetch again = Fetch(http, Url("SCRIPTED", "/hello"));
        EXPECT_FALSE(again.raised) << c.name << ": " << again.message;
    }
}

TEST(HttpRequestKinds, ExceptionWhileStartingLeavesTheComponentReady)
{
    // On a kept connection the request goes out before Get waits: an
    // exception there reaches the caller, and the component is ready again.
    THttpCli http;
    http.SetRequestVer("1.1");
    TFetch first = Fetch(http, Url("SCRIPTED", "/keep/hello"));
    ASSERT_FALSE(first.raised) << first.message;
    http.OnCommand = [](std::string& line) {
        if (line.rfind("GET ", 0) == 0)
            throw Exception("refused by the command handler");
    };
    http.URL = Url("SCRIPTED", "/keep/hello");
    try {
        http.Get();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "refused by the command handler");
    }
    EXPECT_EQ(http.State(), httpReady);
    http.OnCommand = nullptr;
    TFetch again = Fetch(http, Url("SCRIPTED", "/keep/hello"));
    EXPECT_FALSE(again.raised) << again.message;
    EXPECT_EQ(again.body, "hello again\n");
}

TEST(HttpRequestKinds, AbortWhenReadyReportsDoneAtOnceAndDropsTheConnection)
{
    THttpCli http;
    http.SetRequestVer("1.1");
    TFetch f = Fetch(http, Url("SCRIPTED", "/keep/hello"));
    ASSERT_FALSE(f.raised) << f.message;
    ASSERT_EQ(http.CtrlSocket().State(), wsConnected);
    std::vector<WORD> done;
    std::vector<THttpState> states;
    http.OnRequestDone = [&done](THttpRequest rq, WORD error) {
        EXPECT_EQ(rq, httpGET);
        done.push_back(error);
    };
    http.OnStateChange = [&states, &http] { states.push_back(http.State()); };
    http.Abort();
    // Called from within Abort, not through a message.
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0], 0);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.ReasonPhrase(), "OK");
    EXPECT_EQ(http.State(), httpReady);
    EXPECT_EQ(http.CtrlSocket().State(), wsClosed);
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0], httpAborting);
    EXPECT_EQ(states[1], httpReady);
    testing_support::Pump(200);
    EXPECT_EQ(done.size(), 1u);

    http.OnStateChange = nullptr;
    TFetch g = Fetch(http, Url("SCRIPTED", "/keep/hello"));
    ASSERT_FALSE(g.raised) << g.message;
    EXPECT_EQ(HeaderValue(http, "X-Req"), "1");   // a new connection
}

namespace {

THttpCli* g_toClose = nullptr;

VOID CALLBACK CloseRequestTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (g_toClose)
        g_toClose->DoRequestAsync(httpCLOSE);
}

}  // namespace

TEST(HttpRequestKinds, CloseWhileAGetWaitsEndsThatGetWithAnError)
{
    // The GET never got its answer: it must not come back as a success.
    THttpCli http;
    http.Timeout = 30;
    g_toClose = &http;
    SetTimer(nullptr, 0, 300, CloseRequestTimerProc);
    TFetch f = Fetch(http, Url("SCRIPTED", "/stall"));
    g_toClose = nullptr;
    ASSERT_TRUE(f.raised) << "returned with status " << http.StatusCode();
    EXPECT_EQ(f.code, 404u);
    EXPECT_EQ(f.message, "Connection closed on request");
    EXPECT_EQ(http.State(), httpReady);
    EXPECT_EQ(http.CtrlSocket().State(), wsClosed);

    TFetch again = Fetch(http, Url("SCRIPTED", "/hello"));
    EXPECT_FALSE(again.raised) << again.message;
    EXPECT_EQ(again.body, "hello world\n");
}

TEST(HttpRequestKinds, PostWithServerNtlmSendsTheBodyOnlyWhenItCounts)
{
    THttpCli http;
    http.Username = "user";
    http.Password = "SecREt01";
    http.SetRequestVer("1.1");
    std::vector<std::string> lengths;
    http.OnCommand = [&lengths](std::string& line) {
        if (line.rfind("Content-Length: ", 0) == 0)
            lengths.push_back(line.substr(16));
    };
    THttpMemoryStream body("name=value");
    THttpMemoryStream answer;
    http.URL = Url("SCRIPTED", "/ntlm");
    http.SendStream = &body;
    http.RcvdStream = &answer;
    http.DoRequestSync(httpPOST);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(answer.Data(), "ntlm ok name=value");
    // The first try, the negotiate message (no body) and the authenticate message.
    EXPECT_EQ(lengths, (std::vector<std::string>{"10", "0", "10"}));
    EXPECT_EQ(HeaderValue(http, "X-Req"), "3");
}

TEST(HttpRequestKinds, PostHeaderCarriesTypeAndLengthInTheirPlaces)
{
    THttpCli http;
    http.Accept = "";
    http.Agent = "x-agent";
    http.AcceptLanguage = "en";
    http.NoCache = true;
    THttpMemoryStream body("a=1&b=2&c=3");
    body.Seek(4);   // what is left from the position on is sent
    THttpMemoryStream answer;
    http.URL = Url("SCRIPTED", "/echo");
    http.SendStream = &body;
    http.RcvdStream = &answer;
    http.DoRequestSync(httpPOST);
    EXPECT_EQ(answer.Data(), "POST /echo HTTP/1.0\r\n"
                             "Accept-Language: en\r\n"
                             "Content-Type: application/x-www-form-urlencoded\r\n"
                             "User-Agent: x-agent\r\n"
                             "Host: 127.0.0.1:" + std::to_string(Port("SCRIPTED")) + "\r\n"
                             "Pragma: no-cache\r\n"
                             "Content-Length: 7\r\n"
                             "\r\n");
    EXPECT_EQ(http.SentCount(), 7);
}
