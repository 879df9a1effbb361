#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "net/HttpProt.h"
#include "net/WSocket.h"
#include "net/WSocketLib.h"
#include "platform/Application.h"
#include "sockets/SocketRecorder.h"

using namespace testing_support;

namespace {

std::string Joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const auto& x : v)
        s += x + "|";
    return s;
}

}  // namespace

TEST(Socket, ConnectSendReceiveLinesAndCloseByMessages)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    ClearCaughtErrors();
    TWSocket s;
    SocketRecorder r(s);
    std::vector<std::string> states;
    s.OnChangeState = [&](TSocketState, TSocketState n) { states.push_back(std::to_string(n)); };
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.SetLineMode(true);
    s.Connect();
    EXPECT_EQ(s.State(), wsConnecting);   // nothing happened yet: all comes by messages
    EXPECT_EQ(r.connected, -1);

    ASSERT_TRUE(r.WaitLines(1));
    EXPECT_EQ(r.connected, 0);
    EXPECT_EQ(s.State(), wsConnected);
    EXPECT_EQ(r.lines[0], "HELLO");

    EXPECT_EQ(s.SendLine("ECHO abc def"), 14);
    ASSERT_TRUE(r.WaitLines(2));
    EXPECT_EQ(r.lines[1], "abc def");
    EXPECT_TRUE(PumpUntil([&] { return r.dataSent > 0; }, 20000));

    // One line split over two arrivals comes once, whole.
    s.SendLine("SPLIT");
    ASSERT_TRUE(r.WaitLines(3));
    Pump(300);
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[2], "partial line");

    s.SendLine("QUIT");
    ASSERT_TRUE(r.WaitClosed());
    EXPECT_EQ(r.lines.back(), "BYE");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(Joined(r.events), "connected 0|line HELLO|line abc def|line partial line|line BYE|closed 0|");
    // closed -> opened -> connecting -> connected -> closed
    EXPECT_EQ(Joined(states), std::to_string(wsOpened) + "|" + std::to_string(wsConnecting) + "|" +
                                  std::to_string(wsConnected) + "|" + std::to_string(wsClosed) + "|");
    EXPECT_GT(s.ReadCount(), 20);
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(Socket, RefusedConnectionGivesErrorEvents)
{
    std::string port = PeerPort("REFUSED");
    REQUIRE_PEER(port);
    ClearCaughtErrors();
    TWSocket s;
    SocketRecorder r(s);
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    ASSERT_TRUE(r.WaitClosed());
    EXPECT_EQ(r.connected, WSAECONNREFUSED);
    EXPECT_EQ(Joined(r.events), "connected 10061|closed 10061|");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
    EXPECT_EQ(WSocketErrorDesc(r.connected), "Connection refused");
    EXPECT_TRUE(CaughtErrors().empty());
    // A send after the failure is an error, not a second close report.
    EXPECT_THROW(s.SendStr("late"), ESocketException);
    EXPECT_EQ(Joined(r.events), "connected 10061|closed 10061|");

    // The socket is reusable after the failure.
    s.SetPort(PeerPort("LINE"));
    r.connected = r.closed = -1;
    s.SetLineMode(true);
    s.Connect();
    ASSERT_TRUE(r.WaitLines(1));
    EXPECT_EQ(r.lines[0], "HELLO");
    s.Close();
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(Socket, NameLookups)
{
    TWSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](WORD e) { done.push_back(e); };

    // A dotted address is reported before the call returns.
    s.DnsLookup("127.0.0.1");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0], 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");

    s.DnsLookup("localhost");
    EXPECT_EQ(done.size(), 1u);   // asynchronous: by message only
    ASSERT_TRUE(PumpUntil([&] { return done.size() == 2; }, 10000));
    EXPECT_EQ(done[1], 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(s.DnsResultList().empty());
    EXPECT_EQ(s.DnsResultList()[0], "127.0.0.1");

    // A name that cannot exist (the resolver refuses it without asking anyone).
    s.DnsLookup("bad name!.invalid");
    ASSERT_TRUE(PumpUntil([&] { return done.size() == 3; }, 10000));
    EXPECT_NE(done[2], 0);
    EXPECT_TRUE(s.DnsResult().empty());
    EXPECT_TRUE(s.DnsResultList().empty());

    // An empty name raises; with OnError set it reports both events instead.
    EXPECT_THROW(s.DnsLookup(""), ESocketException);
    std::string err;
    s.OnError = [&](int, const std::string& m) { err = m; };
    s.DnsLookup("");
    EXPECT_EQ(err, "DNS lookup: invalid host name.");
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(done[3], WSAEINVAL);
}

TEST(Socket, ReverseLookup)
{
    TWSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](WORD e) { done.push_back(e); };
    // 127.0.0.1 is named in the hosts file: nothing is asked of any server.
    s.ReverseDnsLookup("127.0.0.1");
    EXPECT_TRUE(done.empty());   // by message only
    ASSERT_TRUE(PumpUntil([&] { return done.size() == 1; }, 10000));
    EXPECT_EQ(done[0], 0);
    EXPECT_EQ(s.DnsResult(), "localhost");
    ASSERT_EQ(s.DnsResultList().size(), 1u);

    std::string err;
    s.OnError = [&](int, const std::string& m) { err = m; };
    s.ReverseDnsLookup("not.an.address");
    EXPECT_EQ(err, "ReverseDnsLookup: Invalid host name.");
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1], WSAEINVAL);
    EXPECT_TRUE(s.DnsResult().empty());
}

TEST(Socket, ConnectToANameThatDoesNotResolve)
{
    TWSocket s;
    int closes = 0;
    s.OnSessionClosed = [&](WORD) { ++closes; };
    s.SetAddr("bad name!.invalid");
    s.SetPort("80");
    EXPECT_THROW(s.Connect(), ESocketException);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);

    std::string err;
    s.OnError = [&](int, const std::string& m) { err = m; };
    s.Connect();
    EXPECT_EQ(err.rfind("WSocketResolveHost: Cannot convert host address 'bad name!.invalid', Error #", 0), 0u)
        << err;
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(closes, 0);
}

TEST(Socket, UsageErrorsRaiseOrReachOnError)
{
    TWSocket s;
    int closes = 0;
    s.OnSessionClosed = [&](WORD) { ++closes; };
    char buf[4] = {'a', 'b', 'c', 'd'};
    EXPECT_THROW(s.Send(buf, 4), ESocketException);
    EXPECT_EQ(s.LastError(), WSAENOTCONN);
    // The socket never had a session: nothing is reported closed.
    EXPECT_EQ(closes, 0);

    std::vector<std::string> errors;
    s.OnError = [&](int code, const std::string& m) { errors.push_back(std::to_string(code) + " " + m); };
    EXPECT_EQ(s.Send(buf, 4), -1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "10057 Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(closes, 0);

    s.SetPort("");
    s.SetAddr("127.0.0.1");
    s.Connect();
    EXPECT_EQ(errors.back(), "0 Connect: No Port Specified");
    s.SetPort("99999");
    s.Connect();
    EXPECT_EQ(errors.back(), "0 WSocketResolvePort: Invalid Port.");
    s.SetPort("80");
    s.SetProto("icmp-ish");
    s.Connect();
    EXPECT_NE(errors.back().find("WSocketResolveProto"), std::string::npos);
    EXPECT_EQ(s.State(), wsClosed);

    s.SetSendFlags(7);
    EXPECT_EQ(errors.back(), "0 Invalid SendFlags");
    s.OnError = nullptr;
    EXPECT_THROW(s.SetSendFlags(7), ESocketException);
}

TEST(Socket, PropertiesAreLockedWhileOpen)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    SocketRecorder r(s);
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    EXPECT_THROW(s.SetPort("1"), ESocketException);
    EXPECT_THROW(s.SetAddr("1.2.3.4"), ESocketException);
    EXPECT_THROW(s.SetProto("udp"), ESocketException);
    EXPECT_THROW(s.SetLocalAddr("127.0.0.1"), ESocketException);
    EXPECT_THROW(s.SetLocalPort("5"), ESocketException);
    EXPECT_THROW(s.SetSocksServer("x"), ESocketException);
    EXPECT_THROW(s.Connect(), ESocketException);   // "already in use"
    EXPECT_EQ(s.Port(), port);
    s.Abort();
    EXPECT_EQ(s.State(), wsClosed);
    // Closing assigns the defaults again; the target stays.
    EXPECT_EQ(s.Proto(), "tcp");
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(s.Addr(), "127.0.0.1");
}

TEST(Socket, ConnectAndReadInOneMessageReportConnectionOnceThenData)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    SocketRecorder r(s);
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    // A message carrying both events, ahead of the real ones.
    PostMessageW(s.WindowHandle(), WM_ASYNCSELECT, static_cast<WPARAM>(s.HSocket()),
                 WSAMAKESELECTREPLY(FD_CONNECT | FD_READ, 0));
    ASSERT_TRUE(PumpUntil([&] { return r.data.find("HELLO\r\n") != std::string::npos; }, 20000));
    Pump(100);
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events[0], "connected 0");
    int connects = 0;
    for (const auto& e : r.events)
        connects += e.rfind("connected", 0) == 0;
    EXPECT_EQ(connects, 1);
    s.Close();
}

TEST(Socket, ZeroByteSendStillReportsDataSent)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    SocketRecorder r(s);
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    ASSERT_TRUE(r.WaitConnected());
    Pump(100);
    int before = r.dataSent;
    EXPECT_EQ(s.Send(nullptr, 0), 0);
    EXPECT_EQ(r.dataSent, before);   // only through the message loop
    EXPECT_TRUE(PumpUntil([&] { return r.dataSent > before; }, 20000));
    EXPECT_TRUE(s.AllSent());
    s.Close();
}

TEST(Socket, HandlerThatReadsNothingDoesNotSpin)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    SocketRecorder r(s);
    int calls = 0;
    bool reading = false;
    s.OnDataAvailable = [&](WORD) {
        ++calls;
        if (reading)
            r.data += s.ReceiveStr();
    };
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    ASSERT_TRUE(r.WaitConnected());
    s.SendStr("BIG 200000\r\n");
    Pump(700);
    // Without the guard the receive loop would call the handler for ever.
    EXPECT_GE(calls, 1);
    EXPECT_LT(calls, 50);
    EXPECT_EQ(s.State(), wsConnected);
    // Reading again picks the data up (the next read re-arms the events).
    reading = true;
    r.data += s.ReceiveStr();
    ASSERT_TRUE(PumpUntil([&] { return r.data.size() >= 200007; }, 10000)) << r.data.size();
    EXPECT_EQ(r.data.substr(0, 7), "HELLO\r\n");
    EXPECT_EQ(r.data.find_first_not_of('x', 7), std::string::npos);
    s.Close();
}

TEST(Socket, UnreadDataIsDrainedWithoutHandler)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    bool closed = false, connected = false;
    s.OnSessionConnected = [&](WORD) { connected = true; };
    s.OnSessionClosed = [&](WORD) { closed = true; };
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return connected; }, 20000));
    s.SendStr("BIG 50000\r\nQUIT\r\n");
    ASSERT_TRUE(PumpUntil([&] { return closed; }, 10000));
    EXPECT_GE(s.ReadCount(), 50000 + 7 + 5);   // all of it was read and dropped
}

namespace {
class CountingSocket : public TWSocket {
public:
    explicit CountingSocket(bool& gone) : gone_(gone) {}
    ~CountingSocket() override { gone_ = true; }

private:
    bool& gone_;
};
}  // namespace

TEST(Socket, ReleaseFreesThroughTheMessageLoop)
{
    bool gone = false;
    auto* s = new CountingSocket(gone);
    s->Release();
    EXPECT_FALSE(gone);
    EXPECT_TRUE(PumpUntil([&] { return gone; }, 20000));
}

TEST(Socket, TestExceptionBecomesBackgroundException)
{
    ClearCaughtErrors();
    TWSocket s;
    std::string seen;
    s.OnBgException = [&](const std::string& m, bool& canClose) {
        seen = m;
        canClose = false;
    };
    PostMessageW(s.WindowHandle(), WM_TRIGGER_EXCEPTION, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !seen.empty(); }, 20000));
    EXPECT_EQ(seen, "Test exception in WSocket");

    // Without a handler it reaches the application's handler; nothing crashes.
    s.OnBgException = nullptr;
    PostMessageW(s.WindowHandle(), WM_TRIGGER_EXCEPTION, 0, 0);
    Pump(200);
    auto errors = CaughtErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Test exception in WSocket"), std::string::npos);
    ClearCaughtErrors();
}

TEST(Socket, ExceptionInAnEventHandlerAbortsTheSocket)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    ClearCaughtErrors();
    TWSocket s;
    std::string seen;
    s.OnBgException = [&](const std::string& m, bool&) { seen = m; };
    s.OnDataAvailable = [&](WORD) { throw Exception("handler failed"); };
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }, 20000));
    EXPECT_EQ(seen, "handler failed");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_TRUE(CaughtErrors().empty());
}

TEST(SocketLibrary, LastSocketUnloadsAndNextLoadsAgain)
{
    ASSERT_EQ(WSocketCount(), 0);
    {
        TWSocket a;
        EXPECT_EQ(WSocketCount(), 1);
        a.DnsLookup("127.0.0.1");   // first use loads the library
        EXPECT_TRUE(WSocketWinsockLoaded());
        EXPECT_EQ(WSocketWinsockInfo().wVersion, MAKEWORD(1, 1));
        EXPECT_THROW(WSocketSetReqVerLow(2), ESocketException);
        {
            TWSocket b;
            EXPECT_EQ(WSocketCount(), 2);
        }
        EXPECT_TRUE(WSocketWinsockLoaded());   // a is still alive
    }
    EXPECT_EQ(WSocketCount(), 0);
    EXPECT_FALSE(WSocketWinsockLoaded());
    EXPECT_NE(WSocketGetProc("WSAAsyncSelect"), nullptr);   // loads again on demand
    EXPECT_TRUE(WSocketWinsockLoaded());
    EXPECT_NE(WSocket2GetProc("WSAIoctl"), nullptr);
    EXPECT_THROW(WSocketGetProc("NoSuchFunction"), ESocketException);
    WSocketUnloadWinsock();
    EXPECT_FALSE(WSocketWinsockLoaded());

    // A process-wide wrapper keeps it loaded only for its own call.
    std::string addr;
    EXPECT_TRUE(WSocketGetHostByName("localhost", addr));
    EXPECT_EQ(addr, "127.0.0.1");
    EXPECT_FALSE(WSocketWinsockLoaded());
}

namespace {

bool SocketClassRegistered()
{
    WNDCLASSA info{};
    return GetClassInfoA(GetModuleHandleA(nullptr), "XSocketWindowClass", &info) != 0;
}

// A socket made on a thread of its own: its window and its lookup result
// belong to that thread, which pumps its own messages.
struct ThreadLookup {
    HWND window = nullptr;
    DWORD windowThread = 0;
    DWORD thread = 0;
    std::string result;
    int error = -1;
};

DWORD WINAPI LookupOnOwnThread(LPVOID param)
{
    auto* t = static_cast<ThreadLookup*>(param);
    try {
        t->thread = GetCurrentThreadId();
        TWSocket s;
        s.SetMultiThreaded(true);
        t->window = s.WindowHandle();
        t->windowThread = GetWindowThreadProcessId(s.WindowHandle(), nullptr);
        bool done = false;
        s.OnDnsLookupDone = [&](WORD e) {
            t->error = e;
            done = true;
        };
        s.SetTimeout(10000);
        s.DnsLookup("localhost");
        s.WaitUntilReady(done);
        t->result = s.DnsResult();
    } catch (...) {
        t->error = -2;
    }
    return 0;
}

}  // namespace

TEST(SocketWindow, HiddenToolWindowOfItsOwnClass)
{
    ASSERT_EQ(WSocketCount(), 0);
    EXPECT_FALSE(SocketClassRegistered());
    HWND first = nullptr;
    {
        TWSocket a;
        first = a.WindowHandle();
        ASSERT_TRUE(IsWindow(first));
        EXPECT_TRUE(SocketClassRegistered());
        char name[64] = {};
        GetClassNameA(first, name, sizeof name);
        EXPECT_STREQ(name, "XSocketWindowClass");
        // The socket sits in window long 0.
        EXPECT_EQ(GetWindowLongPtrA(first, 0), reinterpret_cast<LONG_PTR>(static_cast<TCustomWSocket*>(&a)));
        EXPECT_NE(GetWindowLongA(first, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
        EXPECT_NE(static_cast<DWORD>(GetWindowLongA(first, GWL_STYLE)) & WS_POPUP, 0u);
        EXPECT_FALSE(IsWindowVisible(first));
        // A message-only window.
        EXPECT_EQ(FindWindowExA(HWND_MESSAGE, nullptr, "XSocketWindowClass", nullptr), first);
        EXPECT_NE(GetAncestor(first, GA_PARENT), GetDesktopWindow());
        EXPECT_EQ(GetWindowThreadProcessId(first, nullptr), GetCurrentThreadId());
        // Messages it does not know take the default way.
        EXPECT_EQ(SendMessageA(first, WM_GETTEXTLENGTH, 0, 0), 0);
        {
            TWSocket b;
            EXPECT_NE(b.WindowHandle(), first);
        }
        EXPECT_TRUE(SocketClassRegistered());   // a still needs it
    }
    // The last socket takes its window and the class with it.
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(SocketClassRegistered());
    TWSocket again;
    EXPECT_TRUE(IsWindow(again.WindowHandle()));
    EXPECT_TRUE(SocketClassRegistered());
}

TEST(SocketWindow, SocketsOnTwoThreadsLiveThere)
{
    ThreadLookup a, b;
    HANDLE ta = CreateThread(nullptr, 0, LookupOnOwnThread, &a, 0, nullptr);
    HANDLE tb = CreateThread(nullptr, 0, LookupOnOwnThread, &b, 0, nullptr);
    ASSERT_NE(ta, nullptr);
    ASSERT_NE(tb, nullptr);
    EXPECT_EQ(WaitForSingleObject(ta, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(tb, 20000), WAIT_OBJECT_0);
    CloseHandle(ta);
    CloseHandle(tb);
    for (ThreadLookup* t : {&a, &b}) {
        EXPECT_EQ(t->windowThread, t->thread);
        EXPECT_EQ(t->error, 0);
        EXPECT_EQ(t->result, "127.0.0.1");
        EXPECT_FALSE(IsWindow(t->window));
    }
    EXPECT_EQ(WSocketCount(), 0);
    EXPECT_FALSE(SocketClassRegistered());
}

TEST(SocketLibrary, ErrorTextNamesTheFailureTheSystemReported)
{
    // The line server holds its port: the system refuses a second listener
    // there, and the report names that failure in words.
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    std::vector<std::string> errors;
    s.OnError = [&](int code, const std::string& m) { errors.push_back(std::to_string(code) + " " + m); };
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Listen();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], std::to_string(WSAEADDRINUSE) + " Error 10048 in function bind\r\nAddress already in use");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
}

TEST(SyncSocket, WaitUntilReadyReturnsOnFlagOrTimeOut)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    bool connected = false;
    s.OnSessionConnected = [&](WORD) { connected = true; };
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.SetTimeout(5000);
    s.Connect();
    EXPECT_EQ(s.WaitUntilReady(connected), 0);
    EXPECT_TRUE(connected);

    bool never = false;
    s.SetTimeout(200);
    DWORD start = GetTickCount();
    EXPECT_EQ(s.WaitUntilReady(never), TCustomSyncWSocket::WaitTimedOut);
    EXPECT_GE(GetTickCount() - start, 150u);
    s.Close();
}

TEST(SyncSocket, WaitEndsWhenItsPumpSeesQuit)
{
    TWSocket s;
    s.SetMultiThreaded(true);   // the socket's own pump
    bool never = false;
    PostQuitMessage(0);
    EXPECT_EQ(s.WaitUntilReady(never), TCustomSyncWSocket::WaitTimedOut);
    EXPECT_TRUE(s.Terminated());
    EXPECT_FALSE(Application().Terminated());
    // The quit request stays for the outer loop; this test takes it away again.
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(Socket, ListenAcceptAndDup)
{
    TWSocket server;
    std::unique_ptr<TWSocket> peer;
    std::string peerGot;
    server.OnSessionAvailable = [&](WORD error) {
        ASSERT_EQ(error, 0);
        SOCKET h = server.Accept();
        ASSERT_NE(h, INVALID_SOCKET);
        peer = std::make_unique<TWSocket>();
        peer->OnDataAvailable = [&](WORD) { peerGot += peer->ReceiveStr(); };
        peer->Dup(h);
        peer->SendStr("welcome\r\n");
    };
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    EXPECT_EQ(server.State(), wsListening);
    std::string port = server.GetXPort();
    ASSERT_NE(port, "0");
    ASSERT_NE(port, "error");

    TWSocket client;
    SocketRecorder r(client);
    client.SetAddr("127.0.0.1");
    client.SetPort(port);
    client.SetLineMode(true);
    client.Connect();
    ASSERT_TRUE(r.WaitLines(1));
    EXPECT_EQ(r.lines[0], "welcome");
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->State(), wsConnected);
    EXPECT_EQ(peer->GetPeerAddr(), "127.0.0.1");
    EXPECT_EQ(client.GetPeerPort(), port);
    client.SendLine("ping");
    ASSERT_TRUE(PumpUntil([&] { return peerGot == "ping\r\n"; }, 20000)) << peerGot;
    peer->Close();
    ASSERT_TRUE(r.WaitClosed());
    EXPECT_EQ(server.State(), wsListening);
    server.Close();
}

TEST(Socket, ReceiveBufferSizeIsAskedBeforeConnecting)
{
    TWSocket server;
    std::vector<std::unique_ptr<TWSocket>> peers;
    server.OnSessionAvailable = [&](WORD) {
        SOCKET h = server.Accept();
        if (h == INVALID_SOCKET)
            return;
        peers.push_back(std::make_unique<TWSocket>());
        peers.back()->Dup(h);
    };
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    auto rcvBuf = [](const TWSocket& s) {
        int size = 0;
        int len = sizeof size;
        EXPECT_EQ(WSocket_getsockopt(s.HSocket(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &len), 0);
        return size;
    };
    TWSocket plain, sized;
    EXPECT_EQ(sized.RcvBufSize(), 0);   // the system's own unless asked
    sized.SetRcvBufSize(400000);
    EXPECT_EQ(sized.RcvBufSize(), 400000);
    for (TWSocket* s : {&plain, &sized}) {
        s->SetAddr("127.0.0.1");
        s->SetPort(server.GetXPort());
        s->Connect();
    }
    ASSERT_TRUE(PumpUntil([&] { return plain.State() == wsConnected && sized.State() == wsConnected; }, 20000));
    EXPECT_LT(rcvBuf(plain), 400000);
    EXPECT_GE(rcvBuf(sized), 400000);
    sized.SetRcvBufSize(-5);
    EXPECT_EQ(sized.RcvBufSize(), 0);
    server.Close();
}

TEST(Socket, DatagramsBetweenTwoSockets)
{
    TWSocket rx;
    rx.SetProto("udp");
    rx.SetAddr("127.0.0.1");
    rx.SetPort("0");
    std::string got;
    int connects = 0;
    rx.OnSessionConnected = [&](WORD) { ++connects; };
    rx.OnDataAvailable = [&](WORD) {
        char buf[100];
        sockaddr_in from{};
        int n = rx.ReceiveFrom(buf, sizeof buf, from);
        if (n > 0)
            got.assign(buf, static_cast<size_t>(n));
    };
    rx.Listen();
    ASSERT_EQ(rx.State(), wsListening);

    TWSocket tx;
    tx.SetProto("udp");
    tx.SetAddr("127.0.0.1");
    tx.SetPort(rx.GetXPort());
    tx.Connect();
    EXPECT_EQ(tx.State(), wsConnected);   // at once for datagrams
    EXPECT_EQ(tx.SendStr("datagram"), 8);
    ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }, 20000));
    EXPECT_EQ(got, "datagram");
    EXPECT_EQ(rx.State(), wsListening);
    EXPECT_EQ(connects, 0);
}

TEST(Socket, LargeSendGoesOutThroughTheQueueInOrder)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    SocketRecorder r(s);
    long long sentBytes = 0;
    s.OnSendData = [&](int n) { sentBytes += n; };
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return r.data == "HELLO\r\n"; }, 20000));
    std::string payload;
    for (int i = 0; i < 400000; ++i)
        payload += char('a' + i % 26);
    std::string line = "ECHO " + payload + "\r\n";
    EXPECT_EQ(s.SendStr(line), static_cast<int>(line.size()));
    s.Flush();
    EXPECT_TRUE(s.AllSent());
    EXPECT_EQ(s.BufferedByteCount(), 0);
    EXPECT_EQ(sentBytes, static_cast<long long>(line.size()));
    ASSERT_TRUE(PumpUntil([&] { return r.data.size() >= 7 + payload.size() + 2; }, 20000)) << r.data.size();
    EXPECT_TRUE(r.data.substr(7) == payload + "\r\n");
    s.CloseDelayed();
    EXPECT_EQ(s.State(), wsConnected);
    ASSERT_TRUE(r.WaitClosed());
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(Socket, PauseHoldsEventsUntilResume)
{
    std::string port = PeerPort("LINE");
    REQUIRE_PEER(port);
    TWSocket s;
    SocketRecorder r(s);
    s.SetAddr("127.0.0.1");
    s.SetPort(port);
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return r.data == "HELLO\r\n"; }, 20000));
    s.Pause();
    EXPECT_TRUE(s.Paused());
    s.SendStr("ECHO held\r\n");
    Pump(400);
    EXPECT_EQ(r.data, "HELLO\r\n");
    // A network notice already queued when the pause began is ignored too.
    PostMessageW(s.WindowHandle(), WM_ASYNCSELECT, static_cast<WPARAM>(s.HSocket()),
                 WSAMAKESELECTREPLY(FD_READ, 0));
    Pump(100);
    EXPECT_EQ(r.data, "HELLO\r\n");
    s.Resume();
    ASSERT_TRUE(PumpUntil([&] { return r.data == "HELLO\r\nheld\r\n"; }, 20000)) << r.data;
    s.Close();
}

TEST(SendBuffer, BytesComeOutAsTheyWentIn)
{
    EXPECT_EQ(TBuffer(0).Size(), 1514);   // the block size of a new queue buffer
    EXPECT_EQ(TBuffer(-3).Size(), 1514);

    // 10,000 bytes through a 7-byte block, written and read in pieces of
    // sizes unrelated to it, come out whole and in order.
    std::string in;
    for (int i = 0; i < 10000; ++i)
        in += static_cast<char>('a' + (i * 7 + i / 13) % 26);
    TBuffer b(7);
    std::string out;
    size_t written = 0;
    for (int step = 0; out.size() < in.size() && step < 100000; ++step) {
        int piece = std::min<int>(1 + step % 5, static_cast<int>(in.size() - written));
        written += static_cast<size_t>(b.Write(in.data() + written, piece));
        int n = 0;
        const char* p = b.Peek(n);
        int take = std::min(n, 1 + step % 3);
        if (take > 0) {
            out.append(p, static_cast<size_t>(take));
            b.Remove(take);
        }
    }
    EXPECT_TRUE(out == in) << out.size() << " bytes out";

    // A full block takes nothing more; a larger one keeps what was written.
    TBuffer small(4);
    EXPECT_EQ(small.Write("abcdef", 6), 4);
    EXPECT_EQ(small.Write("g", 1), 0);
    small.SetSize(10);
    EXPECT_EQ(small.Write("efghijk", 7), 6);
    int n = 0;
    const char* p = small.Peek(n);
    ASSERT_EQ(n, 10);
    EXPECT_EQ(std::string(p, 10), "abcdefghij");
    // Reading past the end reads what is there; the whole block is free again.
    small.Remove(100);
    EXPECT_EQ(small.Peek(n), nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(small.Write("0123456789X", 11), 10);
}

namespace {

// Name lookups that answer when the test says, as a slow name server would
// (the resolver here asks a name server outside this machine, which no test
// may reach): each answer is written into the buffer the lookup was given,
// every byte of it, from a thread of its own, and then its message is
// posted, as the system does.
class SlowLookups {
public:
    SlowLookups()
    {
        WSocketSetAsyncLookupForTesting([this](HWND window, u_int msg, const char*, char* buf, int len) {
            pending_.push_back({window, msg, buf, len, reinterpret_cast<HANDLE>(next_++)});
            return pending_.back().handle;
        });
    }
    ~SlowLookups() { WSocketSetAsyncLookupForTesting(nullptr); }
    size_t Count() const { return pending_.size(); }
    // Lookup i finds 127.0.0.last.
    void Answer(size_t i, char last)
    {
        const Pending p = pending_.at(i);
        std::thread([p, last] {
            std::memset(p.buf, 0x5A, p.len);
            auto* he = reinterpret_cast<hostent*>(p.buf);
            auto** aliases = reinterpret_cast<char**>(p.buf + 64);
            auto** list = reinterpret_cast<char**>(p.buf + 72);
            char* addr = p.buf + 80;
            char* name = p.buf + 96;
            aliases[0] = nullptr;
            list[0] = addr;
            list[1] = nullptr;
            const char a[4] = {127, 0, 0, last};
            std::memcpy(addr, a, 4);
            std::strcpy(name, "slow.test");
            he->h_name = name;
            he->h_aliases = aliases;
            he->h_addrtype = AF_INET;
            he->h_length = 4;
            he->h_addr_list = list;
            PostMessageW(p.window, p.msg, reinterpret_cast<WPARAM>(p.handle), 0);
        }).join();
    }

private:
    struct Pending {
        HWND window;
        UINT msg;
        char* buf;
        int len;
        HANDLE handle;
    };
    std::vector<Pending> pending_;
    uintptr_t next_ = 0x7000;
};

HWND AnySocketWindow() { return FindWindowExA(HWND_MESSAGE, nullptr, "XSocketWindowClass", nullptr); }

}  // namespace

// The system may write a lookup's answer after the lookup was cancelled or
// its socket has gone: each lookup has a buffer of its own, kept until the
// lookup's own message has come.
TEST(Socket, ALateLookupAnswerLandsInABufferOfItsOwn)
{
    SlowLookups slow;
    {
        // Cancelled, and the next lookup started: the first's answer comes last.
        TWSocket s;
        std::vector<int> done;
        s.OnDnsLookupDone = [&](WORD e) { done.push_back(e); };
        s.DnsLookup("first.slow.test");
        s.CancelDnsLookup();
        s.DnsLookup("second.slow.test");
        ASSERT_EQ(slow.Count(), 2u);
        slow.Answer(1, 2);
        slow.Answer(0, 1);
        ASSERT_TRUE(PumpUntil([&] { return !done.empty(); }, 20000));
        Pump(100);
        EXPECT_EQ(done, std::vector<int>{0});
        EXPECT_EQ(s.DnsResult(), "127.0.0.2");
    }
}

// The program quits, or a download is given up, while a lookup runs: the
// socket goes first, the answer comes later. Its buffer is kept by the
// socket's window, which goes when the answer's message has come: nothing
// freed is written over.
TEST(Socket, ALookupAnsweredAfterItsSocketWentWritesIntoNothingFreed)
{
    SlowLookups slow;
    const size_t before = slow.Count();
    for (bool viaHttp : {false, true}) {
        SCOPED_TRACE(viaHttp);
        if (viaHttp) {
            auto http = std::make_unique<THttpCli>();
            http->URL = "http://gone.slow.test/";
            http->DoRequestAsync(httpGET);
            ASSERT_TRUE(PumpUntil([&] { return slow.Count() == before + 2; }, 20000));
        } else {
            auto s = std::make_unique<TWSocket>();
            s->DnsLookup("gone.slow.test");
            ASSERT_EQ(slow.Count(), before + 1);
        }
        EXPECT_NE(AnySocketWindow(), nullptr);
        slow.Answer(slow.Count() - 1, 3);
        // Under the heap check (test_sockets_heap) freed blocks hold a fill that a write spoils.
        HANDLE heaps[64];
        const DWORD count = GetProcessHeaps(64, heaps);
        for (DWORD i = 0; i < count && i < 64; ++i)
            EXPECT_TRUE(HeapValidate(heaps[i], 0, nullptr)) << "heap " << i;
        // Its message has come: the window that kept the buffer is gone too.
        EXPECT_TRUE(PumpUntil([] { return AnySocketWindow() == nullptr; }, 20000));
    }
}
