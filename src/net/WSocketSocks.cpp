// Connecting through a SOCKS 4, 4A or 5 proxy.
#include <algorithm>
#include <cstring>

#include "net/WSocket.h"
#include "net/WSocketLib.h"
#include "platform/Text.h"

namespace {
constexpr int kReplyBufferSize = 600;   // the longest SOCKS 5 reply is 262 bytes

std::string Level5ErrorText(int code)
{
    switch (code) {
    case 1: return "general SOCKS server failure";
    case 2: return "connection not allowed by ruleset";
    case 3: return "network unreachable";
    case 4: return "host unreachable";
    case 5: return "connection refused";
    case 6: return "time to live expired";
    case 7: return "command not supported";
    case 8: return "address type not supported";
    default: return "unassigned error #" + std::to_string(code);
    }
}
}  // namespace

TCustomSocksWSocket::TCustomSocksWSocket() : reply_(kReplyBufferSize, 0) {}

void TCustomSocksWSocket::AssignDefaultValue()
{
    TCustomWSocket::AssignDefaultValue();
    socksLevel_ = "5";
    socksState_ = 0;
    socksServer_.clear();
    methodPhase_ = false;
    replyCount_ = 0;
}

void TCustomSocksWSocket::SetSocksServer(const std::string& v)
{
    if (!RequireClosed("Can't change socks server if not closed"))
        return;
    socksServer_ = Trim(v);
}

void TCustomSocksWSocket::SetSocksPort(const std::string& v)
{
    if (!RequireClosed("Can't change socks port if not closed"))
        return;
    socksPort_ = Trim(v);
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& v)
{
    if (!RequireClosed("Can't change socks level if not closed"))
        return;
    std::string level = AsciiUpper(Trim(v));
    if (level != "4" && level != "4A" && level != "5") {
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    socksLevel_ = level;
}

void TCustomSocksWSocket::Listen()
{
    if (!socksServer_.empty()) {
        RaiseException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::Connect()
{
    if (socksServer_.empty()) {
        socksState_ = 0;
        TCustomWSocket::Connect();
        return;
    }
    if (!SameText(proto_, "tcp")) {
        RaiseException("tcp is the only protocol supported thru socks server");
        return;
    }
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
    sockaddr_in server{};
    try {
        protoNum_ = IPPROTO_TCP;
        sockType_ = SOCK_STREAM;
        server.sin_family = AF_INET;
        server.sin_port = ResolvePort(socksPort_.empty() ? std::string("1080") : socksPort_, "tcp");
        server.sin_addr.s_addr = ResolveHost(socksServer_);
        destPort_ = ResolvePort(port_, "tcp");
        if (socksLevel_ == "4")
            destAddr_ = ResolveHost(addr_);
        else if (addr_.size() > 255)
            throw ESocketException("Host name too long for the socks server");
        if (socksLevel_ == "5" && socksAuthentication_ == socksAuthenticateUsercode &&
            (socksUsercode_.size() > 255 || socksPassword_.size() > 255))
            throw ESocketException("Socks user code or password longer than 255 bytes");
    } catch (const ESocketException& e) {
        RaiseException(e.what());
        return;
    }
    socksSin_ = server;
    socksState_ = 1;
    methodPhase_ = false;
    authOffered_ = false;
    replyCount_ = 0;
    leftover_.clear();
    leftoverPos_ = 0;
    ConnectTo(server);
    if (hSocket_ == INVALID_SOCKET)
        socksState_ = 0;
}

void TCustomSocksWSocket::AuthState(TSocksAuthState state)
{
    if (OnSocksAuthState)
        OnSocksAuthState(state);
}

void TCustomSocksWSocket::SendRaw(const std::string& bytes)
{
    PutDataInSendBuffer(bytes.data(), static_cast<int>(bytes.size()));
    TryToSend();
}

void TCustomSocksWSocket::DoFdConnect(WORD error)
{
    if (socksState_ != 1) {
        TCustomWSocket::DoFdConnect(error);
        return;
    }
    if (state_ == wsSocksConnected)
        return;
    if (error != 0) {
        if (OnSocksConnected)
            OnSocksConnected(error);
        socksState_ = 0;
        TCustomWSocket::DoFdConnect(error);
        return;
    }
    ChangeState(wsSocksConnected);
    if (OnSocksConnected)
        OnSocksConnected(0);
    if (hSocket_ == INVALID_SOCKET || socksState_ != 1)
        return;
    if (socksLevel_ == "5") {
        authOffered_ = socksAuthentication_ == socksAuthenticateUsercode;
        methodPhase_ = true;
        std::string req{'\x05', '\x01', static_cast<char>(authOffered_ ? 2 : 0)};
        SendRaw(req);
    } else {
        SendSocksRequest();
    }
}

void TCustomSocksWSocket::DoFdRead(WORD error)
{
    if (socksState_ == 0) {
        TCustomWSocket::DoFdRead(error);
        return;
    }
    if (socksState_ == 1 && state_ != wsSocksConnected) {
        // Data before the connection report: report the connection first.
        DoFdConnect(error);
        if (socksState_ == 0 || hSocket_ == INVALID_SOCKET)
            return;
    }
    SocksDataAvailable();
}

void TCustomSocksWSocket::DoFdClose(WORD error)
{
    if (socksState_ != 0 && state_ != wsConnecting) {
        // A reply may still wait in front of the close.
        if (GetRcvdCount() > 0)
            SocksDataAvailable();
        if (socksState_ != 0 && hSocket_ != INVALID_SOCKET) {
            if (socksState_ == 2)
                AuthState(socksAuthFailure);
            SocksFailed(error != 0 ? error : WSAECONNRESET, "data receive error");
            return;
        }
        if (hSocket_ == INVALID_SOCKET)
            return;
    }
    TCustomWSocket::DoFdClose(error);
}

void TCustomSocksWSocket::SocksDataAvailable()
{
    int room = static_cast<int>(reply_.size()) - replyCount_;
    if (room <= 0) {
        SocksFailed(socksProtocolError, "too much data availaible");
        return;
    }
    int n = ReceiveRaw(reply_.data() + replyCount_, room);
    if (n < 0) {
        if (lastError_ == WSAEWOULDBLOCK) {
            lastError_ = 0;
            return;
        }
        SocksFailed(lastError_, "data receive error");
        return;
    }
    if (n == 0) {
        if (socksState_ == 2)
            AuthState(socksAuthFailure);
        SocksFailed(WSAECONNRESET, "data receive error");
        return;
    }
    replyCount_ += n;
    ProcessReply();
}

void TCustomSocksWSocket::ProcessReply()
{
    const auto byte = [this](int i) { return static_cast<unsigned char>(reply_[static_cast<size_t>(i)]); };

    if (socksState_ == 1) {
        if (socksLevel_ != "5" || !methodPhase_) {
            SocksFailed(socksProtocolError, "TWSocket logic error");
            return;
        }
        if (replyCount_ < 2)
            return;
        if (replyCount_ > 2) {
            SocksFailed(socksProtocolError, "too much data availaible");
            return;
        }
        if (byte(0) != 5) {
            SocksFailed(socksVersionError, "socks version error");
            return;
        }
        methodPhase_ = false;
        replyCount_ = 0;
        if (byte(1) == 0) {
            if (authOffered_)
                AuthState(socksAuthNotRequired);
            SendSocksRequest();
        } else if (byte(1) == 2 && authOffered_) {
            SendUserPass();
        } else {
            SocksFailed(socksAuthMethodError, "authentification method not acceptable");
        }
        return;
    }

    if (socksState_ == 2) {
        if (replyCount_ < 2)
            return;
        if (replyCount_ > 2) {
            SocksFailed(socksProtocolError, "too much data availaible");
            return;
        }
        if (byte(0) != 1) {
            SocksFailed(socksVersionError, "socks version error");
            return;
        }
        replyCount_ = 0;
        if (byte(1) == 0) {
            AuthState(socksAuthSuccess);
            SendSocksRequest();
        } else {
            SocksFailed(socksAuthenticationFailed, "socks authentication failed");
        }
        return;
    }

    if (socksState_ != 3) {
        SocksFailed(socksInternalError, "internal error");
        return;
    }

    if (socksLevel_ == "5") {
        if (replyCount_ < 2)
            return;
        if (byte(0) != 5) {
            SocksFailed(socksVersionError, "socks version error");
            return;
        }
        int code = byte(1);
        if (code != 0) {
            SocksFailed(code <= 8 ? socksGeneralFailure + code - 1 : socksUnassignedError, Level5ErrorText(code));
            return;
        }
        if (replyCount_ < 4)
            return;
        int addrLen;
        switch (byte(3)) {
        case 1: addrLen = 4; break;
        case 4: addrLen = 16; break;
        case 3:
            if (replyCount_ < 5)
                return;
            addrLen = 1 + byte(4);
            break;
        default:
            SocksFailed(socksUnknownAddressType, "address type not supported");
            return;
        }
        int total = 4 + addrLen + 2;
        if (replyCount_ < total)
            return;
        SocksSucceeded(total);
        return;
    }

    // SOCKS 4 and 4A: 8 bytes, the second the status.
    if (replyCount_ < 2)
        return;
    int status = byte(1);
    if (status != 90) {
        if (status == 92 || status == 93)
            SocksFailed(socksIdentFailed, "authentification failed");
        else
            SocksFailed(socksRejectedOrFailed, "request rejected or failed");
        return;
    }
    if (replyCount_ < 8)
        return;
    SocksSucceeded(8);
}

void TCustomSocksWSocket::SendSocksRequest()
{
    socksState_ = 3;
    replyCount_ = 0;
    std::string req;
    if (socksLevel_ == "5") {
        req = {'\x05', '\x01', '\x00', '\x03'};
        req += static_cast<char>(addr_.size());
        req += addr_;
        req.append(reinterpret_cast<const char*>(&destPort_), 2);   // already network order
    } else {
        req = {'\x04', '\x01'};
        req.append(reinterpret_cast<const char*>(&destPort_), 2);
        if (socksLevel_ == "4A") {
            u_long a = WSocket_inet_addr("0.0.0.1");
            req.append(reinterpret_cast<const char*>(&a), 4);
        } else {
            req.append(reinterpret_cast<const char*>(&destAddr_), 4);
        }
        req += socksUsercode_;
        req += '\0';
        if (socksLevel_ == "4A") {
            req += addr_;
            req += '\0';
        }
    }
    SendRaw(req);
}

void TCustomSocksWSocket::SendUserPass()
{
    socksState_ = 2;
    AuthState(socksAuthStart);
    if (hSocket_ == INVALID_SOCKET || socksState_ != 2)
        return;
    std::string req;
    req += '\x01';
    req += static_cast<char>(socksUsercode_.size());
    req += socksUsercode_;
    req += static_cast<char>(socksPassword_.size());
    req += socksPassword_;
    SendRaw(req);
}

void TCustomSocksWSocket::SocksSucceeded(int replyLen)
{
    leftover_.assign(reply_.data() + replyLen, static_cast<size_t>(replyCount_ - replyLen));
    leftoverPos_ = 0;
    replyCount_ = 0;
    socksState_ = 0;
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
    if (!leftover_.empty() && hSocket_ != INVALID_SOCKET) {
        // The data that came with the reply is announced like any arrival.
        PostMessageW(WindowHandle(), WM_ASYNCSELECT, static_cast<WPARAM>(hSocket_), WSAMAKESELECTREPLY(FD_READ, 0));
    }
}

void TCustomSocksWSocket::SocksFailed(int code, const std::string& message)
{
    socksState_ = 0;
    methodPhase_ = false;
    replyCount_ = 0;
    lastError_ = code;
    if (OnSocksError)
        OnSocksError(code, message);
    TriggerSessionConnected(static_cast<WORD>(code));
    if (hSocket_ != INVALID_SOCKET)
        InternalClose(false, static_cast<WORD>(code));
}

int TCustomSocksWSocket::Receive(void* buffer, int len)
{
    if (leftoverPos_ < leftover_.size()) {
        int n = std::min<int>(len, static_cast<int>(leftover_.size() - leftoverPos_));
        if (n < 0)
            n = 0;
        std::memcpy(buffer, leftover_.data() + leftoverPos_, static_cast<size_t>(n));
        leftoverPos_ += static_cast<size_t>(n);
        if (leftoverPos_ >= leftover_.size()) {
            leftover_.clear();
            leftoverPos_ = 0;
        }
        readCount_ += n;
        if (n > 0)
            ++receiveCalls_;
        return n;
    }
    return TCustomWSocket::Receive(buffer, len);
}

int TCustomSocksWSocket::GetRcvdCount()
{
    int extra = static_cast<int>(leftover_.size() - leftoverPos_);
    int n = TCustomWSocket::GetRcvdCount();
    if (n < 0)
        return extra > 0 ? extra : n;
    return n + extra;
}
