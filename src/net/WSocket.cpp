#include "net/WSocket.h"

#include <algorithm>
#include <cstring>

#include "net/WSocketLib.h"
#include "net/WSocketWindow.h"
#include "platform/Application.h"
#include "platform/Firewall.h"
#include "platform/Text.h"

namespace {

constexpr long kSelectEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;   // 59
constexpr int kDnsBufferSize = 1024;
constexpr int kDrainSize = 1024;

bool IsDottedAddress(const std::string& s)
{
    if (s.empty())
        return false;
    int dots = 0;
    for (char c : s) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots == 3;
}

bool AllDigits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TCustomWSocket::TCustomWSocket() : window_(std::make_unique<TSocketWindow>(*this))
{
    threadId_ = GetCurrentThreadId();
    AssignDefaultValue();
    WSocketCountAdd();
}

TCustomWSocket::~TCustomWSocket()
{
    destroying_ = true;
    // Nobody hears from a socket that is going away.
    OnDataAvailable = nullptr;
    OnDataSent = nullptr;
    OnSendData = nullptr;
    OnSessionClosed = nullptr;
    OnSessionAvailable = nullptr;
    OnSessionConnected = nullptr;
    OnChangeState = nullptr;
    OnDnsLookupDone = nullptr;
    OnError = nullptr;
    OnBgException = nullptr;
    try {
        CancelDnsLookup();
        if (state_ != wsClosed || hSocket_ != INVALID_SOCKET)
            InternalClose(false, 0);
    } catch (...) {
        // Nothing may escape a destructor; the socket is gone either way.
    }
    WSocketCountRelease();
    sendQueue_.clear();
    dnsResultList_.clear();
    // A lookup still running keeps the window, and with it its buffer, until its message comes.
    TSocketWindow::Release(std::move(window_));
}

HWND TCustomWSocket::WindowHandle() const { return window_ ? window_->Handle() : nullptr; }

void TCustomWSocket::AssignDefaultValue()
{
    sin_ = sockaddr_in{};
    sin_.sin_family = AF_INET;
    proto_ = "tcp";
    protoNum_ = IPPROTO_TCP;
    sockType_ = SOCK_STREAM;
    localPort_ = "0";
    localAddr_ = "0.0.0.0";
    lingerOnOff_ = true;
    lingerTimeout_ = 0;
    hSocket_ = INVALID_SOCKET;
    state_ = wsClosed;
    allSent_ = true;
    paused_ = false;
    closeInvoked_ = false;
    flushTimeout_ = 60;
}

// ---------------------------------------------------------------------------
// Errors

void TCustomWSocket::RaiseException(const std::string& message, int error)
{
    if (OnError) {
        OnError(error, message);
        return;
    }
    throw ESocketException(message);
}

void TCustomWSocket::SocketError(const std::string& function)
{
    SocketErrorCode(function, WSocket_WSAGetLastError());
}

void TCustomWSocket::SocketErrorCode(const std::string& function, int code)
{
    if (code == WSAECONNRESET || code == WSAENOTCONN) {
        // A socket that was closed already (a Send before any Connect, or
        // after the close) has no session left to report.
        if (hSocket_ == INVALID_SOCKET && state_ == wsClosed)
            closeInvoked_ = true;
        if (hSocket_ != INVALID_SOCKET) {
            WSocket_closesocket(hSocket_);
            hSocket_ = INVALID_SOCKET;
        }
        if (state_ != wsClosed)
            ChangeState(wsClosed);
        if (!closeInvoked_) {
            closeInvoked_ = true;
            TriggerSessionClosed(static_cast<WORD>(code));
        }
    }
    lastError_ = code;
    RaiseException("Error " + std::to_string(code) + " in function " + function + "\r\n" +
                       WSocketErrorDesc(code),
                   code);
}

void TCustomWSocket::HandleBackgroundException(const std::string& message)
{
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(message, canClose);
        } catch (...) {
            HandleCurrentException();
        }
    } else {
        Application().HandleException(message);
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
            HandleCurrentException();
        }
    }
}

// ---------------------------------------------------------------------------
// Properties

bool TCustomWSocket::RequireClosed(const char* message)
{
    if (state_ == wsClosed)
        return true;
    RaiseException(message);
    return false;
}

bool TCustomWSocket::ResolveEndpoint(const char* badProtocolMessage, sockaddr_in& out)
{
    try {
        protoNum_ = ResolveProto(proto_);
        if (protoNum_ == IPPROTO_UDP)
            sockType_ = SOCK_DGRAM;
        else if (protoNum_ == IPPROTO_TCP)
            sockType_ = SOCK_STREAM;
        else
            throw ESocketException(badProtocolMessage);
        out = sockaddr_in{};
        out.sin_family = AF_INET;
        out.sin_port = ResolvePort(port_, proto_);
        out.sin_addr.s_addr = ResolveHost(addr_);
        return true;
    } catch (const ESocketException& e) {
        RaiseException(e.what());
        return false;
    }
}

void TCustomWSocket::SetAddr(const std::string& v)
{
    if (!RequireClosed("Cannot change Addr if not closed"))
        return;
    addr_ = Trim(v);
}

void TCustomWSocket::SetPort(const std::string& v)
{
    if (!RequireClosed("Cannot change Port if not closed"))
        return;
    port_ = Trim(v);
}

void TCustomWSocket::SetProto(const std::string& v)
{
    if (!RequireClosed("Cannot change Proto if not closed"))
        return;
    proto_ = Trim(v);
}

void TCustomWSocket::SetLocalAddr(const std::string& v)
{
    if (!RequireClosed("Cannot change LocalAddr if not closed"))
        return;
    localAddr_ = v.empty() ? "0.0.0.0" : v;
}

void TCustomWSocket::SetLocalPort(const std::string& v)
{
    if (!RequireClosed("Cannot change LocalPort if not closed"))
        return;
    localPort_ = v.empty() ? "0" : v;
}

void TCustomWSocket::SetSendFlags(int v)
{
    switch (v) {
    case wsSendNormal:
        sendFlags_ = wsSendNormal;
        sendFlagsRaw_ = 0;
        break;
    case wsSendUrgent:
        sendFlags_ = wsSendUrgent;
        sendFlagsRaw_ = MSG_OOB;
        break;
    default:
        RaiseException("Invalid SendFlags");
    }
}

int TCustomWSocket::BufferedByteCount() const
{
    int n = 0;
    for (const TBuffer& b : sendQueue_)
        n += b.DataCount();
    return n;
}

void TCustomWSocket::ChangeState(TSocketState newState)
{
    TSocketState old = state_;
    state_ = newState;
    if (old != newState)
        TriggerChangeState(old, newState);
}

// ---------------------------------------------------------------------------
// Triggers

bool TCustomWSocket::TriggerDataAvailable(WORD error)
{
    if (!OnDataAvailable)
        return false;
    OnDataAvailable(error);
    return true;
}

void TCustomWSocket::TriggerSessionAvailable(WORD error)
{
    if (OnSessionAvailable)
        OnSessionAvailable(error);
}

void TCustomWSocket::TriggerSessionConnectedSpecial(WORD) {}

void TCustomWSocket::TriggerSessionConnected(WORD error)
{
    TriggerSessionConnectedSpecial(error);
    if (OnSessionConnected)
        OnSessionConnected(error);
}

void TCustomWSocket::TriggerSessionClosed(WORD error)
{
    if (OnSessionClosed)
        OnSessionClosed(error);
}

void TCustomWSocket::TriggerDataSent(WORD error)
{
    if (OnDataSent)
        OnDataSent(error);
}

void TCustomWSocket::TriggerChangeState(TSocketState oldState, TSocketState newState)
{
    if (OnChangeState)
        OnChangeState(oldState, newState);
}

void TCustomWSocket::TriggerDnsLookupDone(WORD error)
{
    if (OnDnsLookupDone)
        OnDnsLookupDone(error);
}

// ---------------------------------------------------------------------------
// Window messages

LRESULT TCustomWSocket::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_ASYNCSELECT:
        HandleSocketMessage(wParam, lParam);
        return 0;
    case WM_ASYNCGETHOSTBYNAME:
        HandleLookupMessage(wParam, lParam, false);
        return 0;
    case WM_ASYNCGETHOSTBYADDR:
        HandleLookupMessage(wParam, lParam, true);
        return 0;
    case WM_CLOSE_DELAYED:
        Close();
        return 0;
    case WM_WSOCKET_RELEASE:
        delete this;   // nothing of this object may be touched after this line
        return 0;
    case WM_TRIGGER_EXCEPTION:
        throw ESocketException("Test exception in WSocket");
    default:
        return window_->Default(msg, wParam, lParam);
    }
}

void TCustomWSocket::HandleSocketMessage(WPARAM wParam, LPARAM lParam)
{
    if (static_cast<SOCKET>(wParam) != hSocket_ || hSocket_ == INVALID_SOCKET || paused_)
        return;
    WORD events = WSAGETSELECTEVENT(lParam);
    WORD error = WSAGETSELECTERROR(lParam);
    struct TEventScope {
        int& slot;
        TEventScope(int& s, int e) : slot(s) { slot = e; }
        ~TEventScope() { slot = 0; }
    };
    // Each handler may close the socket; later events of the message then no
    // longer belong to it.
    const SOCKET handle = hSocket_;
    if (events & FD_CONNECT) {
        TEventScope scope(currentEvent_, FD_CONNECT);
        DoFdConnect(error);
    }
    if ((events & FD_READ) && hSocket_ == handle) {
        TEventScope scope(currentEvent_, FD_READ);
        DoFdRead(error);
    }
    if ((events & FD_WRITE) && hSocket_ == handle) {
        TEventScope scope(currentEvent_, FD_WRITE);
        DoFdWrite(error);
    }
    if ((events & FD_ACCEPT) && hSocket_ == handle) {
        TEventScope scope(currentEvent_, FD_ACCEPT);
        DoFdAccept(error);
    }
    if ((events & FD_CLOSE) && hSocket_ == handle) {
        TEventScope scope(currentEvent_, FD_CLOSE);
        DoFdClose(error);
    }
}

void TCustomWSocket::DoFdConnect(WORD error)
{
    if (state_ == wsConnected)
        return;
    ChangeState(wsConnected);
    TriggerSessionConnected(error);
    if (error != 0 && hSocket_ != INVALID_SOCKET)
        InternalClose(false, error);
}

void TCustomWSocket::DoFdRead(WORD error)
{
    // Data before the connection report: the connection is reported first.
    // (A bound datagram socket receives without ever connecting.)
    if (state_ == wsConnecting || state_ == wsOpened) {
        ChangeState(wsConnected);
        TriggerSessionConnected(error);
        if (hSocket_ == INVALID_SOCKET)
            return;
    }
    ReceiveLoop(error, false);
}

void TCustomWSocket::DoFdWrite(WORD error)
{
    TryToSend();
    if (allSent_ && hSocket_ != INVALID_SOCKET)
        TriggerDataSent(error);
}

void TCustomWSocket::DoFdAccept(WORD error) { TriggerSessionAvailable(error); }

void TCustomWSocket::DoFdClose(WORD error)
{
    if (state_ == wsConnecting)
        return;
    ReceiveLoop(error, true);
    if (hSocket_ == INVALID_SOCKET && state_ == wsClosed)
        return;   // a handler closed it
    if (!closeInvoked_) {
        closeInvoked_ = true;
        TriggerSessionClosed(error);
    }
    if (state_ != wsClosed || hSocket_ != INVALID_SOCKET)
        InternalClose(false, error);
}

void TCustomWSocket::ReceiveLoop(WORD error, bool untilExhausted)
{
    for (;;) {
        if (hSocket_ == INVALID_SOCKET)
            return;
        lastError_ = 0;
        const unsigned readsBefore = receiveCalls_;
        if (!TriggerDataAvailable(error)) {
            char scratch[kDrainSize];
            int n = Receive(scratch, kDrainSize);
            if (n <= 0)
                return;   // would block, an error or the end of the stream
        }
        if (hSocket_ == INVALID_SOCKET)
            return;
        if ((options_ & wsoNoReceiveLoop) && !untilExhausted)
            return;
        if (lastError_ != 0)
            return;
        // A handler that read nothing would make this loop spin for ever: the
        // data stays waiting and the next network event brings it again.
        if (receiveCalls_ == readsBefore)
            return;
        int pending = GetRcvdCount();
        if (pending <= 0)
            return;
    }
}

int TCustomWSocket::ReceiveRaw(void* buffer, int len)
{
    if (hSocket_ == INVALID_SOCKET) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    if (len < 0)
        len = 0;
    int n = WSocket_recv(hSocket_, static_cast<char*>(buffer), len, 0);
    if (n < 0)
        lastError_ = WSocket_WSAGetLastError();
    else
        readCount_ += n;
    if (n > 0)
        ++receiveCalls_;
    return n;
}

int TCustomWSocket::Receive(void* buffer, int len) { return ReceiveRaw(buffer, len); }

std::string TCustomWSocket::ReceiveStr()
{
    int n = GetRcvdCount();
    if (n <= 0) {
        // Still read once: it re-enables FD_READ and reports a closed stream.
        char probe[1];
        int got = Receive(probe, 0);
        (void)got;
        return {};
    }
    std::string s(static_cast<size_t>(n), '\0');
    int got = Receive(s.data(), n);
    if (got <= 0)
        return {};
    s.resize(static_cast<size_t>(got));
    return s;
}

int TCustomWSocket::GetRcvdCount()
{
    if (hSocket_ == INVALID_SOCKET)
        return -1;
    u_long n = 0;
    if (WSocket_ioctlsocket(hSocket_, static_cast<long>(FIONREAD), &n) == SOCKET_ERROR)
        return -1;
    return static_cast<int>(n);
}

// ---------------------------------------------------------------------------
// Resolution

u_long TCustomWSocket::ResolveHost(const std::string& host)
{
    if (host.empty())
        throw ESocketException("WSocketResolveHost: '" + host + "' Invalid Hostname.");
    if (IsDottedAddress(host)) {
        unsigned long a = WSocket_inet_addr(host.c_str());
        if (a == INADDR_NONE && host != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
        return a;
    }
    hostent* he = WSocket_gethostbyname(host.c_str());
    if (!he) {
        int err = WSocket_WSAGetLastError();
        throw ESocketException(Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d",
                                      host.c_str(), err));
    }
    if (he->h_addrtype != AF_INET || he->h_length != 4 || !he->h_addr_list || !he->h_addr_list[0])
        throw ESocketException("WSocketResolveHost: '" + host + "' Invalid Hostname.");
    u_long a;
    std::memcpy(&a, he->h_addr_list[0], 4);
    return a;
}

u_short TCustomWSocket::ResolvePort(const std::string& port, const std::string& proto)
{
    if (port.empty())
        throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (proto.empty())
        throw ESocketException("WSocketResolvePort: Invalid Proto.");
    if (AllDigits(port)) {
        if (port.size() > 5 || std::stoi(port) > 65535)
            throw ESocketException("WSocketResolvePort: Invalid Port.");
        return WSocket_htons(static_cast<u_short>(std::stoi(port)));
    }
    servent* se = WSocket_getservbyname(port.c_str(), proto.c_str());
    if (!se) {
        int err = WSocket_WSAGetLastError();
        throw ESocketException(
            Format("WSocketResolvePort: Cannot convert port '%s', Error #%d", port.c_str(), err));
    }
    return static_cast<u_short>(se->s_port);
}

int TCustomWSocket::ResolveProto(const std::string& proto)
{
    if (proto.empty())
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    if (AllDigits(proto))
        return std::stoi(proto.substr(0, 5));
    std::string p = AsciiLower(proto);
    if (p == "tcp")
        return IPPROTO_TCP;
    if (p == "udp")
        return IPPROTO_UDP;
    protoent* pe = WSocket_getprotobyname(p.c_str());
    if (!pe) {
        int err = WSocket_WSAGetLastError();
        throw ESocketException(
            Format("WSocketResolveProto: Cannot convert protocol '%s', Error #%d", proto.c_str(), err));
    }
    return pe->p_proto;
}

// ---------------------------------------------------------------------------
// Connecting

void TCustomWSocket::Connect()
{
    if (hSocket_ != INVALID_SOCKET && state_ != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (port_.empty()) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    if (addr_.empty()) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (proto_.empty()) {
        RaiseException("Connect: No Protocol Specified");
        return;
    }
    sockaddr_in target{};
    if (!ResolveEndpoint("WSocketResolveProto: Invalid Protocol.", target))
        return;
    ConnectTo(target);
}

void TCustomWSocket::ConnectTo(const sockaddr_in& target)
{
    sin_ = target;
    EmptySendQueue();
    closeInvoked_ = false;
    lastError_ = 0;
    hSocket_ = WSocket_socket(AF_INET, sockType_, protoNum_);
    if (hSocket_ == INVALID_SOCKET) {
        SocketError("Connect (socket)");
        return;
    }
    int sndBuf = 0;
    int optLen = sizeof sndBuf;
    if (WSocket_getsockopt(hSocket_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&sndBuf), &optLen) ==
        SOCKET_ERROR) {
        SocketError("getsockopt(SO_SNDBUF)");
        return;
    }
    ChangeState(wsOpened);
    if (state_ != wsOpened) {
        lastError_ = WSAEINVAL;
        SocketErrorCode("Connect (Invalid operation in OnChangeState)", WSAEINVAL);
        return;
    }

    auto setOpt = [&](int level, int name, const void* value, int len, const char* what) {
        if (WSocket_setsockopt(hSocket_, level, name, static_cast<const char*>(value), len) == SOCKET_ERROR) {
            SocketError(what);
            return false;
        }
        return true;
    };
    if (sockType_ == SOCK_STREAM) {
        BOOL on = TRUE;
        if (reuseAddr_ && !setOpt(SOL_SOCKET, SO_REUSEADDR, &on, sizeof on, "setsockopt(SO_REUSEADDR)"))
            return;
        if ((options_ & wsoTcpNoDelay) &&
            !setOpt(IPPROTO_TCP, TCP_NODELAY, &on, sizeof on, "setsockopt(TCP_NODELAY)"))
            return;
        linger lg{};
        lg.l_onoff = lingerOnOff_ ? 1 : 0;
        lg.l_linger = static_cast<u_short>(lingerTimeout_);
        if (!setOpt(SOL_SOCKET, SO_LINGER, &lg, sizeof lg, "setsockopt(SO_LINGER)"))
            return;
        if (keepAlive_ && !setOpt(SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on, "setsockopt(SO_KEEPALIVE)"))
            return;
        // Before connecting, so that the window offered to the peer can use it.
        if (rcvBufSize_ > 0)
            WSocket_setsockopt(hSocket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&rcvBufSize_),
                               sizeof rcvBufSize_);
    } else {
        if (multiCastIpTTL_ != 1) {
            int ttl = multiCastIpTTL_;
            if (!setOpt(IPPROTO_IP, 3 /* wsock32 IP_MULTICAST_TTL */, &ttl, sizeof ttl,
                        "setsockopt(IP_MULTICAST_TTL)"))
                return;
        }
        if (multiCastAddrStr_ != "0.0.0.0") {
            in_addr ia{};
            ia.s_addr = WSocket_inet_addr(multiCastAddrStr_.c_str());
            if (!setOpt(IPPROTO_IP, 2 /* wsock32 IP_MULTICAST_IF */, &ia, sizeof ia, "setsockopt(IP_MULTICAST_IF)"))
                return;
        }
        BOOL on = TRUE;
        if (!setOpt(SOL_SOCKET, SO_BROADCAST, &on, sizeof on, "setsockopt(SO_BROADCAST)"))
            return;
    }

    if (localAddr_ != "0.0.0.0" || localPort_ != "0") {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        try {
            local.sin_port = ResolvePort(localPort_, proto_);
            local.sin_addr.s_addr = ResolveHost(localAddr_);
        } catch (const ESocketException& e) {
            RaiseException(e.what());
            return;
        }
        if (WSocket_bind(hSocket_, reinterpret_cast<sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
            int err = WSocket_WSAGetLastError();
            lastError_ = err;
            RaiseException(Format("winsock.bind failed, error #%d", err), err);
            return;
        }
        int len = sizeof local;
        if (WSocket_getsockname(hSocket_, reinterpret_cast<sockaddr*>(&local), &len) == SOCKET_ERROR) {
            int err = WSocket_WSAGetLastError();
            lastError_ = err;
            RaiseException(Format("winsock.getsockname failed, error #%d", err), err);
            return;
        }
    }

    if (WSocket_WSAAsyncSelect(hSocket_, window_->Handle(), WM_ASYNCSELECT, kSelectEvents) == SOCKET_ERROR) {
        SocketError("WSAAsyncSelect");
        return;
    }
    if (sockType_ == SOCK_STREAM) {
        if (WSocket_connect(hSocket_, reinterpret_cast<sockaddr*>(&sin_), sizeof sin_) == SOCKET_ERROR) {
            int err = WSocket_WSAGetLastError();
            if (err != WSAEWOULDBLOCK) {
                SocketErrorCode("Connect", err);
                return;
            }
        }
        ChangeState(wsConnecting);
    } else {
        ChangeState(wsConnected);
    }
}

// ---------------------------------------------------------------------------
// Sending

void TCustomWSocket::EmptySendQueue()
{
    sendQueue_.clear();
    allSent_ = true;
}

void TCustomWSocket::PutDataInSendBuffer(const void* data, int len)
{
    if (len <= 0 || !data)
        return;
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        if (sendQueue_.empty() || sendQueue_.back().FreeCount() == 0)
            sendQueue_.emplace_back(bufSize_);
        int n = sendQueue_.back().Write(p, len);
        p += n;
        len -= n;
    }
    allSent_ = false;
}

int TCustomWSocket::Send(const void* data, int len)
{
    if (state_ != wsConnected && state_ != wsSocksConnected) {
        lastError_ = WSAENOTCONN;
        SocketErrorCode("Send", WSAENOTCONN);
        return -1;
    }
    if (len < 0)
        len = 0;
    allSent_ = false;
    PutDataInSendBuffer(data, len);
    TryToSend();
    if (allSent_ && hSocket_ != INVALID_SOCKET) {
        // OnDataSent always comes through the message loop.
        PostMessageW(window_->Handle(), WM_ASYNCSELECT, static_cast<WPARAM>(hSocket_),
                     WSAMAKESELECTREPLY(FD_WRITE, 0));
    }
    return len;
}

int TCustomWSocket::SendStr(const std::string& s) { return Send(s.data(), static_cast<int>(s.size())); }

int TCustomWSocket::RealSend(const char* data, int len)
{
    if (sockType_ == SOCK_DGRAM)
        return WSocket_sendto(hSocket_, data, len, sendFlagsRaw_, reinterpret_cast<sockaddr*>(&sin_), sizeof sin_);
    return WSocket_send(hSocket_, data, len, sendFlagsRaw_);
}

void TCustomWSocket::TryToSend()
{
    if (hSocket_ == INVALID_SOCKET)
        return;
    while (!sendQueue_.empty()) {
        TBuffer& first = sendQueue_.front();
        int count = 0;
        const char* p = first.Peek(count);
        if (count <= 0) {
            if (sendQueue_.size() > 1) {
                sendQueue_.pop_front();
                continue;
            }
            break;
        }
        int sent = RealSend(p, count);
        if (sent == SOCKET_ERROR) {
            int err = WSocket_WSAGetLastError();
            if (err == WSAECONNRESET || err == WSAENOTSOCK || err == WSAENOTCONN || err == WSAEINVAL ||
                err == WSAECONNABORTED) {
                closeInvoked_ = true;
                InternalClose(false, static_cast<WORD>(err));
                TriggerSessionClosed(static_cast<WORD>(err));
            } else if (err != WSAEWOULDBLOCK) {
                SocketErrorCode("TryToSend failed", err);
            }
            return;
        }
        if (OnSendData)
            OnSendData(sent);
        first.Remove(sent);
        if (sent < count)
            return;   // the network took part of it; FD_WRITE brings the rest
    }
    // Everything queued has gone.
    sendQueue_.clear();
    allSent_ = true;
}

void TCustomWSocket::Flush()
{
    DWORD start = GetTickCount();
    while (hSocket_ != INVALID_SOCKET && !allSent_) {
        TryToSend();
        if (allSent_ || hSocket_ == INVALID_SOCKET)
            break;
        if (GetTickCount() - start >= static_cast<DWORD>(flushTimeout_) * 1000u)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MessagePump();
    }
}

void TCustomWSocket::ShutDown(int how)
{
    if (hSocket_ != INVALID_SOCKET)
        WSocket_shutdown(hSocket_, how);
}

// ---------------------------------------------------------------------------
// Closing

void TCustomWSocket::Close() { InternalClose(true, 0); }

void TCustomWSocket::CloseDelayed() { PostMessageW(window_->Handle(), WM_CLOSE_DELAYED, 0, 0); }

void TCustomWSocket::Release() { PostMessageW(window_->Handle(), WM_WSOCKET_RELEASE, 0, 0); }

void TCustomWSocket::Abort() { InternalAbort(0); }

void TCustomWSocket::InternalAbort(WORD error)
{
    CancelDnsLookup();
    EmptySendQueue();
    if (hSocket_ != INVALID_SOCKET && state_ == wsConnected && protoNum_ == IPPROTO_TCP) {
        linger lg{};
        lg.l_onoff = 0;
        WSocket_setsockopt(hSocket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof lg);
    }
    InternalClose(false, error);
}

void TCustomWSocket::InternalClose(bool shut, WORD error)
{
    if (hSocket_ == INVALID_SOCKET) {
        if (state_ != wsClosed) {
            ChangeState(wsClosed);
            AssignDefaultValue();
        }
        return;
    }
    if (state_ == wsClosed && hSocket_ == INVALID_SOCKET)
        return;
    if (shut && (state_ == wsConnected || state_ == wsSocksConnected))
        WSocket_shutdown(hSocket_, 1);

    // Stop the network events of this handle before it goes.
    WSocket_WSAAsyncSelect(hSocket_, window_->Handle(), 0, 0);
    int tries = 0;
    int closeError = 0;
    for (;;) {
        if (WSocket_closesocket(hSocket_) != SOCKET_ERROR)
            break;
        int err = WSocket_WSAGetLastError();
        if (err == WSAEWOULDBLOCK && ++tries < 200) {
            MessagePump();
            Sleep(10);
            continue;
        }
        if (err != WSANOTINITIALISED && err != WSAEWOULDBLOCK)
            closeError = err;
        break;
    }
    hSocket_ = INVALID_SOCKET;
    if (state_ != wsClosed)
        ChangeState(wsClosed);
    if (!destroying_ && !closeInvoked_) {
        closeInvoked_ = true;
        TriggerSessionClosed(error);
    }
    if (!destroying_)
        AssignDefaultValue();
    if (closeError != 0) {
        lastError_ = closeError;
        RaiseException("Error " + std::to_string(closeError) + " in function Disconnect (closesocket)\r\n" +
                           WSocketErrorDesc(closeError),
                       closeError);
    }
}

// ---------------------------------------------------------------------------
// Name lookups

void TCustomWSocket::DnsLookup(const std::string& hostName)
{
    if (hostName.empty()) {
        RaiseException("DNS lookup: invalid host name.", WSAEINVAL);
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    CancelDnsLookup();
    dnsResult_.clear();
    dnsResultList_.clear();
    if (IsDottedAddress(hostName)) {
        unsigned long a = WSocket_inet_addr(hostName.c_str());
        if (a != INADDR_NONE || hostName == "255.255.255.255") {
            in_addr ia;
            ia.s_addr = a;
            const char* t = WSocket_inet_ntoa(ia);
            dnsResult_ = t ? t : "";
            dnsResultList_.push_back(dnsResult_);
            TriggerDnsLookupDone(0);
            return;
        }
    }
    if (!WindowHandle()) {
        RaiseException("DnsLookup: Window not assigned");
        return;
    }
    // Each lookup writes into a buffer of its own.
    auto buffer = std::make_shared<std::vector<char>>(kDnsBufferSize, 0);
    HANDLE h = WSocket_WSAAsyncGetHostByName(window_->Handle(), WM_ASYNCGETHOSTBYNAME, hostName.c_str(),
                                             buffer->data(), kDnsBufferSize);
    if (!h) {
        int err = WSocket_WSAGetLastError();
        lastError_ = err;
        RaiseException(Format("%s: can't start DNS lookup, error #%d", hostName.c_str(), err), err);
        return;
    }
    window_->LookupStarted(h, buffer);
    dnsHandle_ = h;
    dnsBuffer_ = std::move(buffer);
}

void TCustomWSocket::ReverseDnsLookup(const std::string& addr)
{
    if (addr.empty()) {
        RaiseException("ReverseDnsLookup: Invalid host name.", WSAEINVAL);
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    CancelDnsLookup();
    dnsResult_.clear();
    dnsResultList_.clear();
    unsigned long a = WSocket_inet_addr(addr.c_str());
    if (!IsDottedAddress(addr) || (a == INADDR_NONE && addr != "255.255.255.255")) {
        RaiseException("ReverseDnsLookup: Invalid host name.", WSAEINVAL);
        TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    if (!WindowHandle()) {
        RaiseException("ReverseDnsLookup: Window not assigned");
        return;
    }
    auto buffer = std::make_shared<std::vector<char>>(kDnsBufferSize, 0);
    HANDLE h = WSocket_WSAAsyncGetHostByAddr(window_->Handle(), WM_ASYNCGETHOSTBYADDR,
                                             reinterpret_cast<const char*>(&a), 4, AF_INET, buffer->data(),
                                             kDnsBufferSize);
    if (!h) {
        int err = WSocket_WSAGetLastError();
        lastError_ = err;
        RaiseException(Format("%s: can't start DNS lookup, error #%d", addr.c_str(), err), err);
        return;
    }
    window_->LookupStarted(h, buffer);
    dnsHandle_ = h;
    dnsBuffer_ = std::move(buffer);
}

void TCustomWSocket::CancelDnsLookup()
{
    if (!dnsHandle_)
        return;
    HANDLE h = dnsHandle_;
    dnsHandle_ = nullptr;
    // The window keeps the buffer until the lookup's message says it is done with it.
    dnsBuffer_.reset();
    if (WSocket_WSACancelAsyncRequest(h) == SOCKET_ERROR) {
        int err = WSocket_WSAGetLastError();
        // The lookup may just have finished; its message is then ignored.
        if (err != WSAEINVAL && err != WSAEALREADY)
            SocketErrorCode("WSACancelAsyncRequest", err);
    }
}

void TCustomWSocket::HandleLookupMessage(WPARAM wParam, LPARAM lParam, bool reverse)
{
    if (!dnsHandle_ || reinterpret_cast<HANDLE>(wParam) != dnsHandle_ || !dnsBuffer_)
        return;
    dnsHandle_ = nullptr;
    const std::shared_ptr<std::vector<char>> answer = std::move(dnsBuffer_);
    WORD error = WSAGETASYNCERROR(lParam);
    dnsResultList_.clear();
    dnsResult_.clear();
    if (error == 0) {
        // The host entry lives in our buffer; every pointer in it is checked to
        // stay inside the buffer before it is followed.
        const char* base = answer->data();
        const char* end = base + answer->size();
        auto inside = [&](const void* p, size_t n) {
            const char* c = static_cast<const char*>(p);
            return c >= base && c + n <= end && c + n >= c;
        };
        const hostent* he = reinterpret_cast<const hostent*>(base);
        if (reverse) {
            if (he->h_name && inside(he->h_name, 1)) {
                size_t maxLen = static_cast<size_t>(end - he->h_name);
                dnsResult_.assign(he->h_name, strnlen(he->h_name, maxLen));
                dnsResultList_.push_back(dnsResult_);
            }
        } else if (he->h_addrtype == AF_INET && he->h_length == 4 && he->h_addr_list &&
                   inside(he->h_addr_list, sizeof(char*))) {
            for (char** pp = he->h_addr_list; inside(pp, sizeof(char*)) && *pp; ++pp) {
                if (!inside(*pp, 4))
                    break;
                in_addr ia;
                std::memcpy(&ia, *pp, 4);
                const char* t = WSocket_inet_ntoa(ia);
                if (t)
                    dnsResultList_.push_back(t);
            }
            if (!dnsResultList_.empty())
                dnsResult_ = dnsResultList_.front();
        }
    }
    TriggerDnsLookupDone(error);
}

// ---------------------------------------------------------------------------
// Listening and accepting (not used by the program, kept simple)

void TCustomWSocket::Listen()
{
    if (port_.empty()) {
        RaiseException("listen: port not assigned");
        return;
    }
    if (proto_.empty()) {
        RaiseException("listen: protocol not assigned");
        return;
    }
    if (addr_.empty()) {
        RaiseException("listen: address not assigned");
        return;
    }
    sockaddr_in local{};
    if (!ResolveEndpoint("Listen: unexpected protocol.", local))
        return;
    closeInvoked_ = false;
    hSocket_ = WSocket_socket(AF_INET, sockType_, protoNum_);
    if (hSocket_ == INVALID_SOCKET) {
        SocketError("socket");
        return;
    }
    ChangeState(wsOpened);
    if (reuseAddr_) {
        BOOL on = TRUE;
        WSocket_setsockopt(hSocket_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    }
    if (WSocket_bind(hSocket_, reinterpret_cast<sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
        SocketError("bind");
        InternalClose(false, static_cast<WORD>(lastError_));
        return;
    }
    sin_ = local;
    ChangeState(wsBound);
    if (options_ & wsoSIO_RCVALL) {
        DWORD on = 1, got = 0;
        if (WSocket_WSAIoctl(hSocket_, 0x98000001 /* SIO_RCVALL */, &on, sizeof on, nullptr, 0, &got, nullptr,
                             nullptr) == SOCKET_ERROR) {
            SocketError("WSAIoctl(SIO_RCVALL)");
            return;
        }
    }
    if (sockType_ == SOCK_STREAM) {
        if (WSocket_listen(hSocket_, listenBacklog_) == SOCKET_ERROR) {
            SocketError("listen");
            return;
        }
        if (WSocket_WSAAsyncSelect(hSocket_, window_->Handle(), WM_ASYNCSELECT, FD_ACCEPT | FD_CLOSE) ==
            SOCKET_ERROR) {
            SocketError("WSAAsyncSelect");
            return;
        }
        ChangeState(wsListening);
    } else {
        if (WSocket_WSAAsyncSelect(hSocket_, window_->Handle(), WM_ASYNCSELECT, FD_READ | FD_WRITE) ==
            SOCKET_ERROR) {
            SocketError("WSAAsyncSelect");
            return;
        }
        ChangeState(wsListening);
    }
}

SOCKET TCustomWSocket::Accept()
{
    if (state_ != wsListening || sockType_ != SOCK_STREAM) {
        RaiseException("not a listening socket", WSAEINVAL);
        return INVALID_SOCKET;
    }
    sockaddr_in from{};
    int len = sizeof from;
    SOCKET s = WSocket_accept(hSocket_, reinterpret_cast<sockaddr*>(&from), &len);
    if (s == INVALID_SOCKET) {
        int err = WSocket_WSAGetLastError();
        if (err != WSAEWOULDBLOCK)
            SocketErrorCode("accept", err);
    }
    return s;
}

void TCustomWSocket::Dup(SOCKET newHandle)
{
    if (newHandle == INVALID_SOCKET) {
        RaiseException("Dup: invalid socket handle", WSAENOTSOCK);
        return;
    }
    if (hSocket_ != INVALID_SOCKET && state_ != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    hSocket_ = newHandle;
    closeInvoked_ = false;
    protoNum_ = IPPROTO_TCP;
    sockType_ = SOCK_STREAM;
    if (WSocket_WSAAsyncSelect(hSocket_, window_->Handle(), WM_ASYNCSELECT, kSelectEvents) == SOCKET_ERROR) {
        SocketError("WSAAsyncSelect");
        return;
    }
    ChangeState(wsConnected);
}

int TCustomWSocket::SendTo(const sockaddr_in& dest, const void* data, int len)
{
    if (hSocket_ == INVALID_SOCKET) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    int n = WSocket_sendto(hSocket_, static_cast<const char*>(data), len, sendFlagsRaw_,
                           reinterpret_cast<const sockaddr*>(&dest), sizeof dest);
    if (n < 0)
        lastError_ = WSocket_WSAGetLastError();
    return n;
}

int TCustomWSocket::ReceiveFrom(void* buffer, int len, sockaddr_in& from)
{
    if (hSocket_ == INVALID_SOCKET) {
        lastError_ = WSAENOTSOCK;
        return -1;
    }
    int fromLen = sizeof from;
    int n = WSocket_recvfrom(hSocket_, static_cast<char*>(buffer), len, 0, reinterpret_cast<sockaddr*>(&from),
                             &fromLen);
    if (n < 0)
        lastError_ = WSocket_WSAGetLastError();
    else
        readCount_ += n;
    if (n > 0)
        ++receiveCalls_;
    return n;
}

// ---------------------------------------------------------------------------
// Pause, pump and names

void TCustomWSocket::Pause()
{
    paused_ = true;
    if (hSocket_ != INVALID_SOCKET)
        WSocket_WSAAsyncSelect(hSocket_, window_->Handle(), 0, 0);
}

void TCustomWSocket::Resume()
{
    paused_ = false;
    if (hSocket_ != INVALID_SOCKET)
        WSocket_WSAAsyncSelect(hSocket_, window_->Handle(), WM_ASYNCSELECT, kSelectEvents);
}

void TCustomWSocket::MessagePump()
{
    if (multiThreaded_)
        ProcessMessages();
    else
        Application().ProcessMessages();
}

void TCustomWSocket::ProcessMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::string TCustomWSocket::GetPeerAddr()
{
    if (hSocket_ == INVALID_SOCKET || (state_ != wsConnected && state_ != wsSocksConnected))
        return "error";
    sockaddr_in a{};
    int len = sizeof a;
    if (WSocket_getpeername(hSocket_, reinterpret_cast<sockaddr*>(&a), &len) == SOCKET_ERROR)
        return "error";
    const char* t = WSocket_inet_ntoa(a.sin_addr);
    return t ? t : "error";
}

std::string TCustomWSocket::GetPeerPort()
{
    if (hSocket_ == INVALID_SOCKET || (state_ != wsConnected && state_ != wsSocksConnected))
        return "error";
    sockaddr_in a{};
    int len = sizeof a;
    if (WSocket_getpeername(hSocket_, reinterpret_cast<sockaddr*>(&a), &len) == SOCKET_ERROR)
        return "error";
    return std::to_string(WSocket_ntohs(a.sin_port));
}

std::string TCustomWSocket::GetXAddr()
{
    if (hSocket_ == INVALID_SOCKET)
        return "error";
    sockaddr_in a{};
    int len = sizeof a;
    if (WSocket_getsockname(hSocket_, reinterpret_cast<sockaddr*>(&a), &len) == SOCKET_ERROR)
        return "error";
    const char* t = WSocket_inet_ntoa(a.sin_addr);
    return t ? t : "error";
}

std::string TCustomWSocket::GetXPort()
{
    if (hSocket_ == INVALID_SOCKET)
        return "error";
    sockaddr_in a{};
    int len = sizeof a;
    if (WSocket_getsockname(hSocket_, reinterpret_cast<sockaddr*>(&a), &len) == SOCKET_ERROR)
        return "error";
    return std::to_string(WSocket_ntohs(a.sin_port));
}

std::string TCustomWSocket::LocalHostName()
{
    WSocketCountAdd();
    struct TRelease {
        ~TRelease() { WSocketCountRelease(); }
    } release;
    char name[256] = {};
    if (WSocket_gethostname(name, sizeof name - 1) == SOCKET_ERROR)
        throw ESocketException("Winsock.GetHostName failed");
    return name;
}
