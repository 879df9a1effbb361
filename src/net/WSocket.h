// The asynchronous TCP/UDP socket. Nothing blocks: the socket is selected
// (WSAAsyncSelect) on a hidden window of its own and every network event,
// name lookup and internal notice arrives as a window message on the thread
// that created the component. Classes stack one mode each:
//   TCustomWSocket        the asynchronous socket
//   TCustomSocksWSocket   connecting through a SOCKS 4, 4A or 5 proxy
//   TCustomLineWSocket    delivering received data line by line
//   TCustomSyncWSocket    waiting for a flag while pumping messages
//   TWSocket              the one to use
// Events are std::function members, each called only when set.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "net/WSockBuf.h"
#include "platform/Exceptions.h"

class ESocketException : public Exception {
public:
    using Exception::Exception;
};

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsSocksConnected,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};

enum TWSocketOption : unsigned {
    wsoNoReceiveLoop = 1u << 0,
    wsoTcpNoDelay = 1u << 1,
    wsoSIO_RCVALL = 1u << 2,
};
using TWSocketOptions = unsigned;

enum TSocketSendFlags { wsSendNormal, wsSendUrgent };

// Private messages of the socket's window.
constexpr UINT WM_ASYNCSELECT = WM_USER + 1;           // 0x401 socket event
constexpr UINT WM_ASYNCGETHOSTBYNAME = WM_USER + 2;    // 0x402 host lookup done
constexpr UINT WM_ASYNCGETHOSTBYADDR = WM_USER + 3;    // 0x403 reverse lookup done
constexpr UINT WM_CLOSE_DELAYED = WM_USER + 4;         // 0x404
constexpr UINT WM_WSOCKET_RELEASE = WM_USER + 5;       // 0x405 frees the component
constexpr UINT WM_TRIGGER_EXCEPTION = WM_USER + 6;     // 0x406 test exception
constexpr UINT WM_TRIGGER_DATA_AVAILABLE = WM_USER + 20;  // 0x414 line layer

class TCustomWSocket {
public:
    TCustomWSocket();
    virtual ~TCustomWSocket();
    TCustomWSocket(const TCustomWSocket&) = delete;
    TCustomWSocket& operator=(const TCustomWSocket&) = delete;

    // ---- Events ----
    std::function<void(WORD error)> OnDataAvailable;
    std::function<void(WORD error)> OnDataSent;
    std::function<void(int bytesSent)> OnSendData;
    std::function<void(WORD error)> OnSessionClosed;
    std::function<void(WORD error)> OnSessionAvailable;
    std::function<void(WORD error)> OnSessionConnected;
    std::function<void(TSocketState oldState, TSocketState newState)> OnChangeState;
    std::function<void(WORD error)> OnDnsLookupDone;
    // Set: failures are reported here (Winsock code, 0 for a usage error, and
    // the message) and the operation goes on; unset: ESocketException is raised.
    std::function<void(int error, const std::string& message)> OnError;
    // An exception escaped one of the handlers while a window message was
    // handled. canClose starts true; when left true the socket is aborted.
    std::function<void(const std::string& message, bool& canClose)> OnBgException;

    // ---- Operations ----
    virtual void Connect();
    virtual void Close();
    // Posts a message whose handler closes the socket.
    void CloseDelayed();
    // Cancels a lookup, drops the send queue and closes at once, without lingering.
    virtual void Abort();
    // Posts a message whose handler deletes the component (made with new).
    void Release();
    // Queues the bytes and sends what the network takes now. Returns len, or -1
    // (error 10057) when not connected. A length of 0 only flushes the queue.
    virtual int Send(const void* data, int len);
    int SendStr(const std::string& s);
    // Appends to the send queue without sending.
    void PutDataInSendBuffer(const void* data, int len);
    // Bytes read, or -1 with LastError set (10035 when nothing is waiting).
    virtual int Receive(void* buffer, int len);
    // Everything waiting now.
    std::string ReceiveStr();
    // Bytes waiting to be received, -1 on failure.
    virtual int GetRcvdCount();
    // Sends what is queued, pumping messages, until all is sent, an error or
    // FlushTimeout seconds pass.
    void Flush();
    void ShutDown(int how);

    void DnsLookup(const std::string& hostName);
    void ReverseDnsLookup(const std::string& addr);
    void CancelDnsLookup();

    virtual void Listen();
    // Accepts a pending connection; the new handle (INVALID_SOCKET on failure).
    SOCKET Accept();
    // Adopts a connected socket handle (from another socket's Accept).
    void Dup(SOCKET newHandle);

    // UDP.
    int SendTo(const sockaddr_in& dest, const void* data, int len);
    int ReceiveFrom(void* buffer, int len, sockaddr_in& from);

    // Stop and restart receiving network events.
    void Pause();
    void Resume();
    // Handles the calling thread's waiting messages: the application's loop, or
    // with MultiThreaded a loop of the socket's own.
    void MessagePump();
    // The own loop: peek, translate, dispatch until empty. A WM_QUIT seen here is
    // not dispatched but sets Terminated.
    void ProcessMessages();
    bool Terminated() const { return terminated_; }

    std::string GetPeerAddr();
    std::string GetPeerPort();
    std::string GetXAddr();   // local address once bound/connected
    std::string GetXPort();   // local port once bound/connected
    static std::string LocalHostName();

    // ---- Properties ----
    const std::string& Addr() const { return addr_; }
    void SetAddr(const std::string& v);
    const std::string& Port() const { return port_; }
    virtual void SetPort(const std::string& v);
    const std::string& Proto() const { return proto_; }
    virtual void SetProto(const std::string& v);
    const std::string& LocalAddr() const { return localAddr_; }
    void SetLocalAddr(const std::string& v);
    const std::string& LocalPort() const { return localPort_; }
    void SetLocalPort(const std::string& v);

    TSocketState State() const { return state_; }
    SOCKET HSocket() const { return hSocket_; }
    HWND WindowHandle() const;
    int LastError() const { return lastError_; }
    long long ReadCount() const { return readCount_; }
    const std::string& DnsResult() const { return dnsResult_; }
    const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
    bool AllSent() const { return allSent_; }
    int BufferedByteCount() const;   // bytes still in the send queue
    bool Paused() const { return paused_; }

    int BufSize() const { return bufSize_; }
    void SetBufSize(int v) { bufSize_ = v > 0 ? v : TBuffer::DefaultSize; }
    int ListenBacklog() const { return listenBacklog_; }
    void SetListenBacklog(int v) { listenBacklog_ = v; }
    bool MultiThreaded() const { return multiThreaded_; }
    void SetMultiThreaded(bool v) { multiThreaded_ = v; }
    bool MultiCast() const { return multiCast_; }
    void SetMultiCast(bool v) { multiCast_ = v; }
    const std::string& MultiCastAddrStr() const { return multiCastAddrStr_; }
    void SetMultiCastAddrStr(const std::string& v) { multiCastAddrStr_ = v; }
    int MultiCastIpTTL() const { return multiCastIpTTL_; }
    void SetMultiCastIpTTL(int v) { multiCastIpTTL_ = v; }
    bool ReuseAddr() const { return reuseAddr_; }
    void SetReuseAddr(bool v) { reuseAddr_ = v; }
    bool KeepAlive() const { return keepAlive_; }
    void SetKeepAlive(bool v) { keepAlive_ = v; }
    // The system's receive buffer asked for a TCP connection made by Connect
    // (bytes); 0 leaves the system's own size. A refused size is no error.
    int RcvBufSize() const { return rcvBufSize_; }
    void SetRcvBufSize(int v) { rcvBufSize_ = v > 0 ? v : 0; }
    TWSocketOptions ComponentOptions() const { return options_; }
    void SetComponentOptions(TWSocketOptions v) { options_ = v; }
    bool LingerOnOff() const { return lingerOnOff_; }
    void SetLingerOnOff(bool v) { lingerOnOff_ = v; }
    int LingerTimeout() const { return lingerTimeout_; }
    void SetLingerTimeout(int v) { lingerTimeout_ = v; }
    int FlushTimeout() const { return flushTimeout_; }
    void SetFlushTimeout(int v) { flushTimeout_ = v; }
    TSocketSendFlags SendFlags() const { return sendFlags_; }
    void SetSendFlags(int v);

    // Raises ESocketException, or calls OnError when it is set.
    void RaiseException(const std::string& message, int error = 0);

protected:
    // The hidden window hands its messages here.
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void HandleBackgroundException(const std::string& message);

    virtual void AssignDefaultValue();
    virtual void InternalClose(bool shut, WORD error);
    virtual void InternalAbort(WORD error);
    // Connects the opened socket to a resolved address (steps after resolution).
    void ConnectTo(const sockaddr_in& target);
    // Raises `message` (and returns false) unless the socket is closed.
    bool RequireClosed(const char* message);
    // Protocol, port and address of the properties; raises and returns false on failure.
    bool ResolveEndpoint(const char* badProtocolMessage, sockaddr_in& out);
    virtual void TryToSend();
    virtual int RealSend(const char* data, int len);
    // Reports a failed Winsock call named `function` with WSAGetLastError.
    void SocketError(const std::string& function);
    void SocketErrorCode(const std::string& function, int code);
    void ChangeState(TSocketState newState);

    // Triggers.
    virtual bool TriggerDataAvailable(WORD error);   // true when a handler is set
    virtual void TriggerSessionAvailable(WORD error);
    virtual void TriggerSessionConnectedSpecial(WORD error);
    virtual void TriggerSessionConnected(WORD error);
    virtual void TriggerSessionClosed(WORD error);
    virtual void TriggerDataSent(WORD error);
    virtual void TriggerChangeState(TSocketState oldState, TSocketState newState);
    virtual void TriggerDnsLookupDone(WORD error);

    // Network event handlers.
    virtual void DoFdConnect(WORD error);
    virtual void DoFdRead(WORD error);
    virtual void DoFdWrite(WORD error);
    virtual void DoFdAccept(WORD error);
    virtual void DoFdClose(WORD error);
    // Runs OnDataAvailable until nothing more is waiting or the handler stops reading.
    void ReceiveLoop(WORD error, bool untilExhausted);
    // recv straight from the socket (no buffering layers).
    int ReceiveRaw(void* buffer, int len);

    // Resolution helpers (raise on failure).
    u_long ResolveHost(const std::string& host);
    u_short ResolvePort(const std::string& port, const std::string& proto);
    int ResolveProto(const std::string& proto);

    bool Destroying() const { return destroying_; }
    void SetDestroying() { destroying_ = true; }

    SOCKET hSocket_ = INVALID_SOCKET;
    TSocketState state_ = wsClosed;
    std::string addr_;
    std::string port_;
    std::string proto_ = "tcp";
    std::string localAddr_ = "0.0.0.0";
    std::string localPort_ = "0";
    int protoNum_ = IPPROTO_TCP;
    int sockType_ = SOCK_STREAM;
    sockaddr_in sin_{};
    int lastError_ = 0;
    long long readCount_ = 0;
    unsigned receiveCalls_ = 0;
    bool closeInvoked_ = false;

private:
    class TSocketWindow;
    friend class TSocketWindow;
    void HandleSocketMessage(WPARAM wParam, LPARAM lParam);
    void HandleLookupMessage(WPARAM wParam, LPARAM lParam, bool reverse);
    void FinishLookup(WORD error);
    void EmptySendQueue();

    std::unique_ptr<TSocketWindow> window_;
    DWORD threadId_ = 0;
    std::list<TBuffer> sendQueue_;
    int bufSize_ = 1460;
    bool allSent_ = true;
    bool paused_ = false;
    bool destroying_ = false;
    bool terminated_ = false;
    HANDLE dnsHandle_ = nullptr;
    // The answer of the running lookup. The window holds it too, until the
    // lookup's own message has come: a lookup cancelled, or running when the
    // socket goes, may still write into it.
    std::shared_ptr<std::vector<char>> dnsBuffer_;
    std::string dnsResult_;
    std::vector<std::string> dnsResultList_;
    int listenBacklog_ = 5;
    bool multiThreaded_ = false;
    bool multiCast_ = false;
    std::string multiCastAddrStr_ = "0.0.0.0";
    int multiCastIpTTL_ = 1;
    bool reuseAddr_ = false;
    bool keepAlive_ = false;
    int rcvBufSize_ = 0;
    TWSocketOptions options_ = 0;
    bool lingerOnOff_ = true;
    int lingerTimeout_ = 0;
    int flushTimeout_ = 60;
    TSocketSendFlags sendFlags_ = wsSendNormal;
    int sendFlagsRaw_ = 0;
    int currentEvent_ = 0;
};

// ---------------------------------------------------------------------------

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };

// OnSocksAuthState values.
enum TSocksAuthState {
    socksAuthStart = 0,
    socksAuthSuccess = 1,
    socksAuthFailure = 2,      // the connection closed during authentication
    socksAuthNotRequired = 3,  // offered, but the server wants none
};

// SOCKS error codes reported by OnSocksError and the connected event.
enum : int {
    socksProtocolError = 20001,       // "TWSocket logic error" / "too much data availaible"
    socksVersionError = 20002,
    socksAuthMethodError = 20003,
    socksGeneralFailure = 20004,
    socksConnectionNotAllowed = 20005,
    socksNetworkUnreachable = 20006,
    socksHostUnreachable = 20007,
    socksConnectionRefused = 20008,
    socksTtlExpired = 20009,
    socksUnknownCommand = 20010,
    socksUnknownAddressType = 20011,
    socksUnassignedError = 20012,
    socksInternalError = 20013,
    socksDataReceiveError = 20014,    // the reply could not be received
    socksAuthenticationFailed = 20015,
    socksRejectedOrFailed = 20016,    // SOCKS 4 reply 91
    socksIdentFailed = 20017,         // SOCKS 4 replies 92 and 93
};

class TCustomSocksWSocket : public TCustomWSocket {
public:
    TCustomSocksWSocket();

    std::function<void(WORD error)> OnSocksConnected;
    std::function<void(int error, const std::string& message)> OnSocksError;
    std::function<void(TSocksAuthState state)> OnSocksAuthState;

    void Connect() override;
    void Listen() override;
    int Receive(void* buffer, int len) override;
    int GetRcvdCount() override;

    const std::string& SocksServer() const { return socksServer_; }
    void SetSocksServer(const std::string& v);
    const std::string& SocksPort() const { return socksPort_; }
    void SetSocksPort(const std::string& v);
    const std::string& SocksLevel() const { return socksLevel_; }
    void SetSocksLevel(const std::string& v);
    const std::string& SocksUsercode() const { return socksUsercode_; }
    void SetSocksUsercode(const std::string& v) { socksUsercode_ = v; }
    const std::string& SocksPassword() const { return socksPassword_; }
    void SetSocksPassword(const std::string& v) { socksPassword_ = v; }
    TSocksAuthentication SocksAuthentication() const { return socksAuthentication_; }
    void SetSocksAuthentication(TSocksAuthentication v) { socksAuthentication_ = v; }
    // 0 none, 1 connecting to the SOCKS server, 2 authenticating, 3 request sent.
    int SocksState() const { return socksState_; }

protected:
    void AssignDefaultValue() override;
    void DoFdConnect(WORD error) override;
    void DoFdRead(WORD error) override;
    void DoFdClose(WORD error) override;

private:
    void SocksDataAvailable();
    void ProcessReply();
    void AuthState(TSocksAuthState state);
    void SendSocksRequest();
    void SendUserPass();
    void SocksFailed(int code, const std::string& message);
    void SocksSucceeded(int replyLen);
    void SendRaw(const std::string& bytes);

    std::string socksServer_;
    std::string socksPort_;
    std::string socksLevel_ = "5";
    std::string socksUsercode_;
    std::string socksPassword_;
    TSocksAuthentication socksAuthentication_ = socksNoAuthentication;
    int socksState_ = 0;
    bool methodPhase_ = false;        // level 5: waiting for the method reply
    bool authOffered_ = false;
    sockaddr_in socksSin_{};
    u_short destPort_ = 0;            // network order
    u_long destAddr_ = 0;             // network order, SOCKS 4
    std::vector<char> reply_;
    int replyCount_ = 0;
    std::string leftover_;
    size_t leftoverPos_ = 0;
};

// ---------------------------------------------------------------------------

class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    TCustomLineWSocket();
    ~TCustomLineWSocket() override;

    // The buffer reached LineLimit without a line end. Leaving clearData false
    // hands the buffered bytes over as one line; true drops them.
    std::function<void(int rcvdLength, bool& clearData)> OnLineLimitExceeded;

    bool LineMode() const { return lineMode_; }
    void SetLineMode(bool v);
    const std::string& LineEnd() const { return lineEnd_; }
    void SetLineEnd(const std::string& v) { lineEnd_ = v; }
    int LineLimit() const { return lineLimit_; }
    void SetLineLimit(int v) { lineLimit_ = v > 0 ? v : 1; }
    bool LineEcho() const { return lineEcho_; }
    void SetLineEcho(bool v) { lineEcho_ = v; }
    bool LineEdit() const { return lineEdit_; }
    void SetLineEdit(bool v) { lineEdit_ = v; }
    // Length of the line ready for reading (0 when none).
    int LineLength() const { return lineLength_; }
    // Bytes held in the line buffer.
    int RcvdBufferCount() const { return static_cast<int>(rcvdBuf_.size()); }

    // The text followed by LineEnd; returns the text length + 2.
    int SendLine(const std::string& line);

    int Receive(void* buffer, int len) override;
    int GetRcvdCount() override;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool TriggerDataAvailable(WORD error) override;
    void TriggerSessionClosed(WORD error) override;
    void InternalClose(bool shut, WORD error) override;

private:
    void ReadIntoLineBuffer();
    bool FindLine();
    bool DeliverLines(WORD error);
    void TriggerBufferedData();

    bool lineMode_ = false;
    std::string lineEnd_ = "\r\n";
    int lineLimit_ = 65536;
    bool lineEcho_ = false;
    bool lineEdit_ = false;
    std::string rcvdBuf_;
    int lineLength_ = 0;
    bool lineFound_ = false;
    bool inLineTrigger_ = false;
};

// ---------------------------------------------------------------------------

class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    // Pumps messages until flag is true: 0, or 12001 on time-out, when the
    // application terminates or a WM_QUIT was seen by the socket's pump.
    int WaitUntilReady(const bool& flag);

    // Milliseconds; 0 waits without limit.
    DWORD Timeout() const { return timeout_; }
    void SetTimeout(DWORD ms) { timeout_ = ms; }

    static constexpr int WaitTimedOut = 12001;

private:
    DWORD timeout_ = 0;
    DWORD deadline_ = 0;
};

class TWSocket : public TCustomSyncWSocket {
public:
    TWSocket() = default;
};
