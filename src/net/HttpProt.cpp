#include "net/HttpProt.h"

#include <algorithm>
#include <cstring>

#include "net/Base64.h"
#include "net/UrlSplit.h"
#include "net/WSocketLib.h"
#include "platform/Application.h"
#include "platform/Firewall.h"
#include "platform/HiddenWindow.h"
#include "platform/Text.h"

namespace {

constexpr UINT_PTR kTimeoutTimer = 1;
constexpr UINT kTimeoutTick = 250;    // ms between two looks at the time-out
constexpr size_t kBodyBufSize = 1024 * 1024;
// The connection's receive buffer: room for several body buffers, so that the
// server keeps sending while this thread is busy elsewhere (a fixed size also
// spares the slow start of a buffer the system grows by itself).
constexpr int kSocketRcvBufSize = 4 * 1024 * 1024;
constexpr int kSendBufSize = 8193;
constexpr WORD kAbortError = 3;
// No real answer has a header near these; one that does is hostile.
constexpr int kMaxHeaderLines = 1000;
constexpr size_t kMaxHeaderBytes = 1024 * 1024;
// Of a header line longer than the receive buffer only the start and the end
// are kept; past this much dropped in between the line is taken as endless.
constexpr size_t kMaxDroppedLine = 64 * 1024;
// Authentication retries of one request: a full NTLM exchange with server and
// proxy needs four; a peer that asks for more is going round in circles.
constexpr int kMaxAuthRetries = 8;
// What wakes the synchronous wait: keys, mouse buttons, sent messages, hot
// keys and posted messages (the socket's among them).
constexpr DWORD kSyncWakeMask = QS_KEY | QS_MOUSEBUTTON | QS_SENDMESSAGE | QS_HOTKEY | QS_ALLPOSTMESSAGE;
static_assert(kSyncWakeMask == 0x1C5);

std::string ProtocolReason(const std::string& proto)
{
    return "Protocol \"" + proto + "\" not implemented";
}

std::string SocketErrorReason(int error)
{
    return WSocketErrorDesc(error) + " (Error #" + std::to_string(error) + ")";
}

// "Wed, 21 Oct 2015 07:28:00" (the value as it is, no time-zone shift).
std::string RfcDate(TDateTime dt)
{
    static const char* days = "MonTueWedThuFriSatSun";
    static const char* months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    TDateParts p = DecodeDateTime(dt);
    int dow = (p.dayOfWeek + 5) % 7;   // 1 = Sunday -> 6, 2 = Monday -> 0
    return std::string(days + dow * 3, 3) + ", " +
           Format("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", p.day, std::string(months + (p.month - 1) * 3, 3).c_str(),
                  p.year, p.hour, p.min, p.sec);
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle

// The component's message-only window: its messages go to the component.
class THttpCli::THttpWindow : public THiddenWindow {
public:
    explicit THttpWindow(THttpCli& owner) : THiddenWindow(true), owner_(owner) {}
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam) { return THiddenWindow::WndProc(msg, wParam, lParam); }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override { return owner_.WndProc(msg, wParam, lParam); }
    void WndProcException(const std::exception_ptr& e) override { owner_.WndProcException(e); }

private:
    THttpCli& owner_;
};

THttpCli::THttpCli(TComponent* owner) : TComponent(owner), window_(std::make_unique<THttpWindow>(*this))
{
    SetName("HttpCli");
    rcvBuf_.assign(kRcvBufSize + 1, 0);
    sendBuf_.assign(kSendBufSize, 0);
    window_->Handle();
    ctrlSocket_ = CreateSocket();
    TWSocket& s = *ctrlSocket_;
    s.SetRcvBufSize(kSocketRcvBufSize);
    s.OnSessionConnected = [this](WORD e) {
        reusedConnection_ = false;
        SocketSessionConnected(e);
    };
    s.OnSessionClosed = [this](WORD e) {
        if (closedHandler_ == chRelocation)
            LocationSessionClosed(e);
        else
            SocketSessionClosed(e);
    };
    s.OnDataAvailable = [this](WORD e) { SocketDataAvailable(e); };
    s.OnDataSent = [this](WORD e) { SocketDataSent(e); };
    s.OnDnsLookupDone = [this](WORD e) { SocketDNSLookupDone(e); };
    s.OnSocksConnected = [this](WORD e) {
        if (OnSocksConnected)
            OnSocksConnected(e);
    };
    s.OnSocksError = [this](int e, const std::string& m) {
        if (OnSocksError)
            OnSocksError(e, m);
    };
    s.OnSocksAuthState = [this](TSocksAuthState st) {
        if (OnSocksAuthState)
            OnSocksAuthState(st);
    };
    s.OnError = [this](int e, const std::string& m) {
        if (OnSocketError)
            OnSocketError(e, m);
        // While the request waits for the socket itself (lookup, connection),
        // an error there would leave it waiting for ever: it ends here.
        if (state_ == httpNotConnected || state_ == httpDnsLookup || state_ == httpDnsLookupDone ||
            state_ == httpConnected)
            FailRequest(404, m, static_cast<WORD>(e));
    };
    s.OnBgException = [this](const std::string& m, bool& canClose) {
        canClose = false;
        if (state_ != httpReady)
            FailRequest(404, m, 0);
        else
            Application().HandleException(m);
    };
}

THttpCli::~THttpCli()
{
    StopTimeoutTimer();
    if (ctrlSocket_) {
        TWSocket& s = *ctrlSocket_;
        s.OnSessionConnected = nullptr;
        s.OnSessionClosed = nullptr;
        s.OnDataAvailable = nullptr;
        s.OnDataSent = nullptr;
        s.OnDnsLookupDone = nullptr;
        s.OnSocksConnected = nullptr;
        s.OnSocksError = nullptr;
        s.OnSocksAuthState = nullptr;
        s.OnError = nullptr;
        s.OnBgException = nullptr;
        try {
            ctrlSocket_.reset();
        } catch (...) {
        }
    }
    window_.reset();
}

HWND THttpCli::Handle() { return window_->Handle(); }

std::unique_ptr<TWSocket> THttpCli::CreateSocket() { return std::make_unique<TWSocket>(); }

void THttpCli::SetRequestVer(const std::string& v)
{
    if (v != "1.0" && v != "1.1")
        throw EHttpException("Insupported HTTP version", 5);
    requestVer_ = v;
}

void THttpCli::SetMultiThreaded(bool v)
{
    multiThreaded_ = v;
    ctrlSocket_->SetMultiThreaded(v);
}

// ---------------------------------------------------------------------------
// Window messages

LRESULT THttpCli::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_HTTP_REQUEST_DONE:
        if (static_cast<unsigned>(wParam) == generation_ && OnRequestDone)
            OnRequestDone(requestType_, requestDoneError_);
        return 0;
    case WM_HTTP_SET_READY:
        if (static_cast<unsigned>(wParam) == generation_) {
            try {
                HandleReady();
            } catch (...) {
                ReadyFailed(std::current_exception());
            }
        }
        return 0;
    case WM_HTTP_LOGIN:
        if (static_cast<unsigned>(wParam) == generation_)
            HandleRestart();
        return 0;
    case WM_TIMER:
        if (wParam == kTimeoutTimer)
            TimerTick();
        return 0;
    default:
        return window_->Default(msg, wParam, lParam);
    }
}

namespace {

WORD HttpErrorCode(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const EHttpException& he) {
        return he.ErrorCode();
    } catch (...) {
        return 0;
    }
}

}  // namespace

void THttpCli::WndProcException(const std::exception_ptr& e)
{
    // A running request ends with the error; otherwise it goes to the
    // application like any other.
    if (state_ != httpReady && requestType_ != httpNone)
        FailRequest(404, ExceptionMessage(e), 0, HttpErrorCode(e));
    else
        HandleException(e);
}

void THttpCli::ReadyFailed(const std::exception_ptr& e)
{
    if (state_ != httpReady) {
        FailRequest(404, ExceptionMessage(e), 0, HttpErrorCode(e));
        return;
    }
    // The request had come back to ready (an authentication step or a state
    // handler failed there): it ends with this error instead.
    failed_ = true;
    failCode_ = HttpErrorCode(e);
    statusCode_ = 404;
    reasonPhrase_ = ExceptionMessage(e);
    restartPending_ = false;
    StopTimeoutTimer();
    PostRequestDone();
}

void THttpCli::PostReady()
{
    if (readyPosted_)
        return;
    readyPosted_ = true;
    PostMessageW(Handle(), WM_HTTP_SET_READY, generation_, 0);
}

void THttpCli::PostRestart()
{
    restartPending_ = true;
    PostMessageW(Handle(), WM_HTTP_LOGIN, generation_, 0);
}

void THttpCli::PostRequestDone() { PostMessageW(Handle(), WM_HTTP_REQUEST_DONE, generation_, 0); }

void THttpCli::HandleReady()
{
    readyPosted_ = false;
    SetState(httpReady);
}

void THttpCli::HandleRestart()
{
    if (!restartPending_)
        return;
    restartPending_ = false;
    StartTimeoutTimer();
    Login();
}

void THttpCli::SetState(THttpState newState)
{
    if (newState == state_)
        return;
    state_ = newState;
    if (OnStateChange)
        OnStateChange();
    if (newState != httpReady)
        return;
    StopTimeoutTimer();
    bool started = false;
    if (!failed_ && requestType_ != httpNone) {
        started = CheckNtlm();
        if (!started)
            started = CheckBasic();
        if (started)
            ++authRetries_;
    }
    if (!started)
        PostRequestDone();
}

// ---------------------------------------------------------------------------
// Time-out

void THttpCli::StartTimeoutTimer()
{
    Touch();
    if (!timerOn_ && (Timeout > 0 || MaxTime > 0)) {
        timerOn_ = SetTimer(Handle(), kTimeoutTimer, kTimeoutTick, nullptr) != 0;
    }
}

void THttpCli::StopTimeoutTimer()
{
    if (timerOn_) {
        KillTimer(Handle(), kTimeoutTimer);
        timerOn_ = false;
    }
}

void THttpCli::TimerTick()
{
    if (state_ == httpReady || (Timeout <= 0 && MaxTime == 0)) {
        StopTimeoutTimer();
        return;
    }
    const DWORD now = GetTickCount();
    if (MaxTime > 0 && now - requestStart_ >= MaxTime) {
        if (!failed_)
            limitPassed_ = lpTime;
        FailRequest(404, "The download took longer than " + std::to_string((MaxTime + 999) / 1000) + " s",
                    WSAETIMEDOUT);
        return;
    }
    DWORD idle = now - lastActivity_;
    if (Timeout > 0 && idle >= static_cast<DWORD>(Timeout) * 1000u)
        FailRequest(404, SocketErrorReason(WSAETIMEDOUT), WSAETIMEDOUT);
}

// ---------------------------------------------------------------------------
// Starting a request

void THttpCli::Get() { DoRequestSync(httpGET); }

void THttpCli::DoRequestSync(THttpRequest rq)
{
    DoRequestAsync(rq);
    // The messages handled while waiting may free this component.
    std::weak_ptr<void> alive = AliveToken();
    const unsigned mine = generation_;
    while (state_ != httpReady || restartPending_) {
        if (!multiThreaded_) {
            // Woken by input, sent and posted messages; timers and painting wait
            // for the next pass (at most a second).
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, Application().PumpWakeMask(kSyncWakeMask));
            Application().ProcessMessages();
            if (alive.expired())
                throw EHttpException("The HTTP component was freed while its request ran", 404);
            if (Application().Terminated()) {
                if (state_ != httpReady)
                    Abort();
                break;
            }
        } else {
            ctrlSocket_->ProcessMessages();
            if (alive.expired())
                throw EHttpException("The HTTP component was freed while its request ran", 404);
            // The socket's pump leaves a WM_QUIT in the queue, where it comes
            // before every timer (the time-out's too): the thread is ending.
            if (ctrlSocket_->Terminated() || Application().Terminated()) {
                if (state_ != httpReady)
                    Abort();
                break;
            }
            Sleep(0);
        }
    }
    // A CLOSE request started while this one waited has ended it unanswered.
    if (generation_ != mine && requestType_ == httpCLOSE)
        throw EHttpException("Connection closed on request", 404);
    if (failed_ && failCode_ != 0)
        throw EHttpException(reasonPhrase_, failCode_);
    if (statusCode_ >= 400 && statusCode_ != 401 && statusCode_ != 407)
        throw EHttpException(reasonPhrase_, static_cast<WORD>(statusCode_));
}

void THttpCli::DoRequestAsync(THttpRequest rq)
{
    if (rq != httpCLOSE && state_ != httpReady)
        throw EHttpException("HTTP component " + Name() + " is busy", 1);
    if ((rq == httpPOST || rq == httpPUT) && !SendStream)
        throw EHttpException("HTTP component has nothing to post or put", 2);

    ++generation_;
    readyPosted_ = false;
    restartPending_ = false;
    failed_ = false;
    failCode_ = 0;
    limitPassed_ = lpNone;
    bodyCut_ = false;
    relocations_ = 0;
    authRetries_ = 0;
    retriedOnce_ = false;

    if (rq == httpCLOSE) {
        statusCode_ = 200;
        reasonPhrase_ = "OK";
        requestType_ = rq;
        SetState(httpClosing);
        if (ctrlSocket_->State() != wsClosed)
            ctrlSocket_->CloseDelayed();
        else
            PostReady();
        return;
    }

    requestType_ = rq;
    ClearResponse();
    ResetRcvBuffer();
    closedHandler_ = chNormal;
    sendStreamPos_ = SendStream ? SendStream->Position() : 0;

    std::string proto, user, pass, host, port, path;
    ParseURL(URL, proto, user, pass, host, port, path);
    urlProtocol_ = proto.empty() ? "http" : AsciiLower(proto);
    if (Proxy.empty()) {
        requestPath_ = path;
        hostName_ = host;
        docNameSource_ = path;
        if (!user.empty()) {
            Username = user;
            Password = pass;
        }
        port_ = port.empty() ? "80" : port;
        protocol_ = urlProtocol_;
        targetHost_ = host;
        targetPort_ = port_;
    } else {
        targetHost_ = host;
        targetPort_ = !port.empty() ? port : (urlProtocol_ == "https" ? "443" : "80");
        std::string portPart = port.empty() ? "" : ":" + port;
        if (proto.empty())
            requestPath_ = "http://" + host + portPart + path;
        else
            requestPath_ = proto + "://" + host + portPart + path;
        docNameSource_ = path;
        if (!user.empty()) {
            Username = user;
            Password = pass;
        }
        std::string pproto, puser, ppass, phost, pport, ppath;
        ParseURL(Proxy, pproto, puser, ppass, phost, pport, ppath);
        hostName_ = phost;
        port_ = pport.empty() ? ProxyPort : pport;
        protocol_ = pproto.empty() ? "http" : AsciiLower(pproto);
    }
    if (requestPath_.empty())
        requestPath_ = "/";
    docName_ = HttpDocumentName(docNameSource_);
    requestStart_ = GetTickCount();
    StartTimeoutTimer();
    try {
        StartConnection();
    } catch (...) {
        // The caller gets the exception; the component is ready again.
        if (state_ != httpReady) {
            failed_ = true;
            statusCode_ = 404;
            reasonPhrase_ = ExceptionMessage(std::current_exception());
            restartPending_ = false;
            if (ctrlSocket_->State() != wsClosed)
                ctrlSocket_->Abort();
            SetState(httpReady);
        }
        throw;
    }
}

void THttpCli::StartConnection()
{
    if (ctrlSocket_->State() == wsConnected && connected_) {
        if (hostName_ == curHost_ && port_ == curPort_ && protocol_ == curProtocol_) {
            reusedConnection_ = true;
            SocketSessionConnected(0);
            return;
        }
        closedHandler_ = chNormal;
        ctrlSocket_->Abort();
    }
    tunnel_ = false;
    SetState(httpNotConnected);
    Login();
}

void THttpCli::ClearResponse(bool keepDocName)
{
    rcvdHeader_.Clear();
    headerBytes_ = 0;
    requestDoneError_ = 0;
    if (!keepDocName)
        docName_.clear();
    statusCode_ = 0;
    reasonPhrase_.clear();
    responseVer_.clear();
    rcvdCount_ = 0;
    sentCount_ = 0;
    headerLineCount_ = 0;
    bodyCalls_ = 0;
    contentLength_ = -1;
    contentType_.clear();
    transferEncoding_.clear();
    sending_ = false;
    location_ = URL;
    authChallenges_.Clear();
    // A new request leg: a kept connection that turns out dropped may be
    // replaced once more (the server may close after each answer).
    retriedOnce_ = false;
    closeAfterResponse_ = requestVer_ == "1.0";
    headerInProgress_ = false;
    headerDone_ = false;
    locationFlag_ = false;
    bodyStarted_ = false;
    docEnded_ = false;
    chunked_ = false;
    chunks_.Reset();
}

void THttpCli::Login()
{
    closedHandler_ = chNormal;
    Touch();
    if (ctrlSocket_->State() == wsConnected && connected_) {
        reusedConnection_ = true;
        SocketSessionConnected(0);
        return;
    }
    if (ctrlSocket_->State() != wsClosed)
        ctrlSocket_->Abort();
    connected_ = false;
    dnsResult_.clear();
    SetState(httpDnsLookup);
    ctrlSocket_->SetLocalAddr(LocalAddr);
    ctrlSocket_->DnsLookup(hostName_);
}

void THttpCli::SocketDNSLookupDone(WORD error)
{
    if (state_ != httpDnsLookup || failed_)
        return;
    Touch();
    if (error != 0) {
        requestDoneError_ = error;
        statusCode_ = 404;
        reasonPhrase_ = "can't resolve hostname to IP address";
        SocketSessionClosed(error);
        return;
    }
    dnsResult_ = ctrlSocket_->DnsResult();
    SetState(httpDnsLookupDone);
    // A new connection: what was agreed on the old one no longer holds.
    if (authNtlmState_ == ntlmDone)
        authNtlmState_ = ntlmNone;
    if (proxyAuthNtlmState_ == ntlmDone) {
        proxyAuthNtlmState_ = ntlmNone;
        authNtlmState_ = ntlmNone;
    }
    if (authBasicState_ == basicDone)
        authBasicState_ = basicNone;
    if (proxyAuthBasicState_ == basicDone) {
        proxyAuthBasicState_ = basicNone;
        authBasicState_ = basicNone;
    }
    SocketSetup();
    curHost_ = hostName_;
    curPort_ = port_;
    curProtocol_ = protocol_;
    if (protocol_ != "http") {
        requestDoneError_ = static_cast<WORD>(ctrlSocket_->LastError());
        statusCode_ = 501;
        reasonPhrase_ = ProtocolReason(protocol_);
        ctrlSocket_->Close();
        if (state_ != httpReady)
            SocketSessionClosed(requestDoneError_);
        return;
    }
    ctrlSocket_->Connect();
}

void THttpCli::SocketSetup()
{
    TWSocket& s = *ctrlSocket_;
    s.SetAddr(dnsResult_);
    s.SetLocalAddr(LocalAddr);
    s.SetPort(port_);
    s.SetProto("tcp");
    s.SetSocksServer(SocksServer);
    s.SetSocksLevel(SocksLevel);
    s.SetSocksPort(SocksPort);
    s.SetSocksUsercode(SocksUsercode);
    s.SetSocksPassword(SocksPassword);
    s.SetSocksAuthentication(SocksAuthentication);
}

void THttpCli::SocketSessionConnected(WORD error)
{
    Touch();
    if (error != 0) {
        requestDoneError_ = error;
        statusCode_ = 404;
        reasonPhrase_ = SocketErrorReason(error);
        if (OnSessionConnected)
            OnSessionConnected();
        return;   // the socket reports the close next, which ends the request
    }
    locationFlag_ = false;
    connected_ = true;
    SetState(httpConnected);
    if (OnSessionConnected)
        OnSessionConnected();
    if (failed_ || state_ != httpConnected)
        return;   // aborted by a handler
    lineHandler_ = lhHeader;
    ResetRcvBuffer();

    if (!Proxy.empty() && urlProtocol_ == "https" && !tunnel_) {
        SetState(httpWaitingProxyConnect);
        std::string head = "CONNECT " + targetHost_ + ":" + targetPort_ + " HTTP/" + requestVer_ + "\r\n\r\n";
        ctrlSocket_->PutDataInSendBuffer(head.data(), static_cast<int>(head.size()));
        ctrlSocket_->Send(nullptr, 0);
        return;
    }

    SetState(httpWaitingHeader);
    static const char* methods[] = {"", "GET", "POST", "PUT", "HEAD", ""};
    ntlmBodyless_ = (ntlmForServer_ ? authNtlmState_ : proxyAuthNtlmState_) == ntlmMsg1;
    RememberStreamMarks();
    answerStarted_ = false;
    SendRequest(methods[requestType_], requestVer_);
    if (failed_)
        return;
    if ((requestType_ == httpPOST || requestType_ == httpPUT) && !ntlmBodyless_) {
        if (OnSendBegin)
            OnSendBegin();
        sending_ = true;
        SocketDataSent(0);
    }
}

// ---------------------------------------------------------------------------
// Sending

std::string THttpCli::AuthorizationLine()
{
    if (ntlmForServer_ && authNtlmState_ == ntlmMsg1)
        return "Authorization: NTLM " + NtlmGetMessage1("", "");
    if (ntlmForServer_ && authNtlmState_ == ntlmMsg3)
        return "Authorization: NTLM " +
               NtlmGetMessage3("", TWSocket::LocalHostName(), Username, Password, ntlmMsg2Server_.Challenge);
    if (!ntlmForServer_ && proxyAuthNtlmState_ == ntlmMsg1)
        return "Proxy-Authorization: NTLM " + NtlmGetMessage1("", "");
    if (!ntlmForServer_ && proxyAuthNtlmState_ == ntlmMsg3)
        return "Proxy-Authorization: NTLM " + NtlmGetMessage3("", TWSocket::LocalHostName(), ProxyUsername,
                                                              ProxyPassword, ntlmMsg2Proxy_.Challenge);
    if (basicForServer_ && authBasicState_ == basicMsg1)
        return "Authorization: Basic " + Base64Encode(Username + ":" + Password);
    if (!basicForServer_ && proxyAuthBasicState_ == basicMsg1)
        return "Proxy-Authorization: Basic " + Base64Encode(ProxyUsername + ":" + ProxyPassword);
    return "";
}

void THttpCli::SendRequest(const std::string& method, const std::string& version)
{
    bool withBody = requestType_ == httpPOST || requestType_ == httpPUT;
    TStringList lines;
    auto add = [&lines](const std::string& name, const std::string& value) {
        if (!value.empty())
            lines.Add(name + value);
    };
    lines.Add(method + " " + requestPath_ + " HTTP/" + version);
    add("From: ", Sender);
    add("Accept: ", Accept);
    add("Referer: ", Reference);
    add("Connection: ", Connection);
    add("Proxy-Connection: ", ProxyConnection);
    add("Accept-Language: ", AcceptLanguage);
    if (withBody)
        add("Content-Type: ", ContentTypePost);
    add("User-Agent: ", Agent);
    lines.Add("Host: " + targetHost_ + (targetPort_ != "80" ? ":" + targetPort_ : ""));
    if (NoCache)
        lines.Add("Pragma: no-cache");
    if (withBody) {
        if (ntlmBodyless_)
            lines.Add("Content-Length: 0");
        else
            lines.Add("Content-Length: " + std::to_string(SendStream->Size() - SendStream->Position()));
    }
    if (ModifiedSince != 0)
        lines.Add("If-Modified-Since: " + RfcDate(ModifiedSince) + " GMT");
    std::string auth = AuthorizationLine();
    if (!auth.empty())
        lines.Add(auth);
    add("Cookie: ", Cookie);
    if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
        lines.Add("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
        ContentRangeBegin.clear();
        ContentRangeEnd.clear();
    }
    acceptRanges_.clear();

    if (OnBeforeHeaderSend)
        OnBeforeHeaderSend(method, lines);
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin();
    headerStream_.clear();
    for (const std::string& l : lines)
        SendCommand(l);
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd();
    if (failed_)
        return;   // aborted by a handler
    SendCommand("");
    // The whole header in one piece, then out it goes.
    ctrlSocket_->PutDataInSendBuffer(headerStream_.data(), static_cast<int>(headerStream_.size()));
    headerStream_.clear();
    ctrlSocket_->Send(nullptr, 0);
}

void THttpCli::SendCommand(const std::string& line)
{
    std::string l = line;
    if (OnCommand)
        OnCommand(l);
    headerStream_ += l;
    headerStream_ += "\r\n";
}

void THttpCli::SocketDataSent(WORD)
{
    Touch();
    if (!sending_ || !SendStream)
        return;
    SendBodyPiece();
}

void THttpCli::SendBodyPiece()
{
    size_t n = SendStream->Read(sendBuf_.data(), sendBuf_.size());
    if (n == 0) {
        sending_ = false;
        if (OnSendEnd)
            OnSendEnd();
        return;
    }
    sentCount_ += static_cast<int64_t>(n);
    if (OnSendData)
        OnSendData(sendBuf_.data(), static_cast<int>(n));
    ctrlSocket_->Send(sendBuf_.data(), static_cast<int>(n));
}

// ---------------------------------------------------------------------------
// Receiving

void THttpCli::ReceiveIntoLineBuffer(bool& gotData)
{
    gotData = false;
    if (rcvFill_ >= kRcvBufSize) {
        // A line longer than the buffer: drop its middle until its end shows,
        // then let the end of the buffer be that line end.
        char scratch[25];
        int n = ctrlSocket_->Receive(scratch, sizeof scratch);
        if (n <= 0)
            return;
        gotData = true;
        const char* lf = static_cast<const char*>(std::memchr(scratch, '\n', static_cast<size_t>(n)));
        if (state_ == httpWaitingHeader || state_ == httpWaitingProxyConnect) {
            // What is dropped of a header line still counts: a line that
            // never ends would otherwise keep the request going for ever.
            size_t dropped = static_cast<size_t>(lf ? lf - scratch : n);
            headerBytes_ += dropped;
            lineDropped_ = lf ? 0 : lineDropped_ + dropped;
            if (headerBytes_ > kMaxHeaderBytes || lineDropped_ > kMaxDroppedLine) {
                gotData = false;
                InvalidAnswer("a header line goes on without end");
                return;
            }
        }
        if (!lf)
            return;
        int k = static_cast<int>(scratch + n - lf);
        std::memcpy(rcvBuf_.data() + kRcvBufSize - k, lf, static_cast<size_t>(k));
        return;
    }
    int n = ctrlSocket_->Receive(rcvBuf_.data() + rcvFill_, kRcvBufSize - rcvFill_);
    if (n <= 0)
        return;
    gotData = true;
    rcvFill_ += n;
    rcvBuf_[static_cast<size_t>(rcvFill_)] = 0;
}

void THttpCli::ReceiveBody(bool& gotData)
{
    // The line buffer is empty: the body goes straight from the socket to its
    // handler in large pieces. Never more than the announced length, so that
    // what follows the body stays for the next answer.
    gotData = false;
    if (bodyBuf_.empty())
        bodyBuf_.resize(kBodyBufSize);
    size_t want = bodyBuf_.size();
    if (!chunked_ && contentLength_ >= 0)
        want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(want), contentLength_ - rcvdCount_));
    if (want == 0)
        return;
    // A body of known length (or one read to the close) fills the buffer while
    // the socket has bytes: the stream gets one large piece per pass, and the
    // pass ends on "would block" instead of asking how much is pending. A
    // chunked body takes one read per pass, as its end may come mid-buffer.
    int n = 0;
    do {
        int got = ctrlSocket_->Receive(bodyBuf_.data() + n, static_cast<int>(want) - n);
        if (got <= 0)
            break;
        n += got;
    } while (!chunked_ && static_cast<size_t>(n) < want);
    if (n <= 0)
        return;
    gotData = true;
    unsigned epoch = bufferEpoch_;
    size_t used = GetBodyLineNext(bodyBuf_.data(), static_cast<size_t>(n));
    if (used < static_cast<size_t>(n) && !failed_ && epoch == bufferEpoch_ && rcvFill_ == 0) {
        // Bytes after a chunked body: keep what fits for whatever comes next.
        int rest = static_cast<int>(std::min<size_t>(static_cast<size_t>(n) - used, kRcvBufSize));
        std::memcpy(rcvBuf_.data(), bodyBuf_.data() + used, static_cast<size_t>(rest));
        rcvFill_ = rest;
        rcvBuf_[static_cast<size_t>(rcvFill_)] = 0;
    }
}

void THttpCli::SocketDataAvailable(WORD error)
{
    bool gotData = false;
    if (failed_ || requestType_ == httpNone) {
        // Nothing waits for these bytes; take them off the socket.
        char scratch[1024];
        ctrlSocket_->Receive(scratch, sizeof scratch);
        return;
    }
    Touch();
    if (state_ == httpWaitingBody && lineHandler_ == lhBody && rcvFill_ == 0 && requestType_ != httpHEAD) {
        ReceiveBody(gotData);
        return;
    }
    ReceiveIntoLineBuffer(gotData);
    if (!gotData)
        return;
    answerStarted_ = true;

    if (state_ != httpWaitingBody) {
        ProcessLines();
        if (failed_ || state_ != httpWaitingBody)
            return;
    }
    // Waiting for the body.
    if (requestType_ == httpHEAD) {
        ResetRcvBuffer();
        ctrlSocket_->Abort();
        return;
    }
    (void)error;
    HandBufferedBody();
}

void THttpCli::ResetRcvBuffer()
{
    lineDropped_ = 0;
    rcvFill_ = 0;
    rcvBuf_[0] = 0;
    ++bufferEpoch_;
}

void THttpCli::HandBufferedBody()
{
    while (rcvFill_ > 0 && lineHandler_ == lhBody && !failed_) {
        size_t take = static_cast<size_t>(rcvFill_);
        if (!chunked_ && contentLength_ >= 0)
            take = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(take), contentLength_ - rcvdCount_));
        unsigned epoch = bufferEpoch_;
        size_t used = GetBodyLineNext(rcvBuf_.data(), take);
        if (epoch != bufferEpoch_)
            return;   // the answer ended and the buffer was emptied meanwhile
        if (used == 0 && take != 0 && lineHandler_ == lhBody)
            break;
        std::memmove(rcvBuf_.data(), rcvBuf_.data() + used, static_cast<size_t>(rcvFill_) - used);
        rcvFill_ -= static_cast<int>(used);
        rcvBuf_[static_cast<size_t>(rcvFill_)] = 0;
        if (take == 0)
            break;
    }
}

void THttpCli::ProcessLines()
{
    while (!failed_ && state_ != httpWaitingBody && rcvFill_ > 0) {
        char* begin = rcvBuf_.data();
        char* lf = static_cast<char*>(std::memchr(begin, '\n', static_cast<size_t>(rcvFill_)));
        if (!lf)
            return;
        size_t lineLen = static_cast<size_t>(lf - begin);
        const char* lineEnd = "\n";
        if (lineLen > 0 && begin[lineLen - 1] == '\r') {
            --lineLen;
            lineEnd = "\r\n";
        }
        std::string line(begin, lineLen);
        size_t used = static_cast<size_t>(lf - begin) + 1;
        std::memmove(begin, begin + used, static_cast<size_t>(rcvFill_) - used);
        rcvFill_ -= static_cast<int>(used);
        rcvBuf_[static_cast<size_t>(rcvFill_)] = 0;

        if (state_ == httpWaitingProxyConnect) {
            HandleProxyConnectLine(line);
        } else if (state_ == httpWaitingHeader) {
            if (lineHandler_ == lhHeader)
                GetHeaderLineNext(line, lineEnd);
            else
                PostReady();
        } else if (OnDataPush) {
            OnDataPush(0);
        }
    }
}

void THttpCli::HandleProxyConnectLine(const std::string& line)
{
    // The proxy's answer to CONNECT. A tunnel would need TLS, which this
    // component does not speak: a tunnel the proxy grants ends the request as
    // not implemented, a refusal ends it with the proxy's own status.
    if (headerLineCount_++ == 0) {
        THttpStatusLine sl;
        if (ParseHttpStatusLine(line, sl) != slValid) {
            InvalidAnswer("the proxy's answer to CONNECT has no valid status line");
            return;
        }
        statusCode_ = sl.Code;
        reasonPhrase_ = sl.Reason;
        responseVer_ = sl.Version;
        rcvdHeader_.Add(line);
        return;
    }
    if (!line.empty()) {
        headerBytes_ += line.size();
        if (headerLineCount_ > kMaxHeaderLines || headerBytes_ > kMaxHeaderBytes) {
            InvalidAnswer("the header goes on without end");
            return;
        }
        rcvdHeader_.Add(line);
        return;
    }
    std::string reason = ProtocolReason(urlProtocol_);
    if (statusCode_ < 200 || statusCode_ >= 300)
        reason += " (the proxy answered " + std::to_string(statusCode_) + " " + reasonPhrase_ + ")";
    FailRequest(501, reason, 0);
}

void THttpCli::TriggerHeaderBegin()
{
    headerInProgress_ = true;
    if (OnHeaderBegin)
        OnHeaderBegin();
}

void THttpCli::TriggerHeaderEnd()
{
    headerInProgress_ = false;
    if (OnHeaderEnd)
        OnHeaderEnd();
}

void THttpCli::TriggerDocBegin()
{
    if (OnDocBegin)
        OnDocBegin();
}

void THttpCli::TriggerDocEnd()
{
    if (docEnded_)
        return;
    docEnded_ = true;
    // What the stream still holds goes out now: a write that fails there fails
    // the request instead of going unnoticed when the stream is freed.
    if (RcvdStream && !failed_)
        RcvdStream->Flush();
    if (OnDocEnd)
        OnDocEnd();
}

void THttpCli::GetHeaderLineNext(const std::string& line, const char* lineEnd)
{
    if (headerLineCount_ == 0 && !headerInProgress_) {
        TriggerHeaderBegin();
        if (failed_)
            return;
    }
    ++headerLineCount_;

    if (headerLineCount_ == 1 && line.size() >= 6 && AsciiUpper(line.substr(0, 6)) == "<HTML>") {
        // An answer without any header: the whole of it is the document.
        if (contentType_.empty())
            contentType_ = "text/html";
        headerDone_ = true;
        SetState(httpWaitingBody);
        lineHandler_ = lhBody;
        TriggerHeaderEnd();
        if (failed_)
            return;
        std::string piece = line + lineEnd;
        GetBodyLineNext(piece.data(), piece.size());
        return;
    }

    if (!line.empty()) {
        headerBytes_ += line.size();
        if (headerLineCount_ > kMaxHeaderLines || headerBytes_ > kMaxHeaderBytes) {
            InvalidAnswer("the header goes on without end");
            return;
        }
        rcvdHeader_.Add(line);
    }

    if (headerLineCount_ == 1) {
        THttpStatusLine sl;
        switch (ParseHttpStatusLine(line, sl)) {
        case slNotHttp:
            if (OnDataPush2)
                OnDataPush2(0);
            return;
        case slInvalid:
            InvalidAnswer("the status line \"" + line.substr(0, 80) + "\" is not valid");
            return;
        case slValid:
            responseVer_ = sl.Version;
            statusCode_ = sl.Code;
            reasonPhrase_ = sl.Reason;
            if (OnHeaderData)
                OnHeaderData();
            return;
        }
        return;
    }

    if (!line.empty()) {
        ProcessHeaderField(line);
        if (!failed_ && OnHeaderData)
            OnHeaderData();
        return;
    }

    // The empty line: the header is complete.
    // Interim answers (100 Continue, 102, 103) come before the real one.
    if (responseVer_ == "1.1" && statusCode_ >= 100 && statusCode_ < 200 && statusCode_ != 101) {
        // Their bytes still count towards the header's bound, so that interim
        // answers without end cannot keep the request going for ever.
        rcvdHeader_.Clear();
        headerLineCount_ = 0;
        return;
    }
    TriggerHeaderEnd();
    if (failed_ || state_ == httpReady)
        return;
    if (responseVer_.empty()) {
        // The first line was no HTTP status line: there is no status to
        // report, and taking the answer for a success would be wrong.
        InvalidAnswer("the answer has no HTTP status line");
        return;
    }
    HeaderEnded();
}

void THttpCli::ProcessHeaderField(const std::string& line)
{
    size_t colon = line.find(':');
    if (colon == std::string::npos)
        return;
    std::string name = AsciiLower(line.substr(0, colon));
    size_t v = colon + 1;
    while (v < line.size() && (line[v] == ' ' || line[v] == '\t'))
        ++v;
    std::string value = line.substr(v);

    if (name == "location") {
        if (requestType_ == httpPUT)
            location_ = value;
        else if (FollowRelocation) {
            locationFlag_ = true;
            NewLocation(value);
        }
    } else if (name == "content-length") {
        THttpLengthKind kind = ParseHttpContentLength(value, contentLength_);
        if (kind == lkNegative)
            InvalidAnswer("a negative Content-Length \"" + Trim(value) + "\"");
        else if (kind == lkTooLarge)
            InvalidAnswer("a Content-Length too large \"" + Trim(value) + "\"");
    } else if (name == "transfer-encoding") {
        transferEncoding_ = value;
    } else if (name == "content-range") {
        size_t dash = value.find('-');
        if (dash != std::string::npos && dash >= 6) {
            ContentRangeBegin = value.substr(6, dash - 6);
            size_t slash = value.find('/', dash);
            ContentRangeEnd = value.substr(dash + 1, slash == std::string::npos ? std::string::npos : slash - dash - 1);
        }
    } else if (name == "accept-ranges") {
        acceptRanges_ = value;
    } else if (name == "content-type") {
        contentType_ = AsciiLower(value);
    } else if (name == "www-authenticate" || name == "proxy-authenticate") {
        authChallenges_.Add(value);
    } else if (name == "set-cookie") {
        bool accept = true;
        if (OnCookie)
            OnCookie(value, accept);
    } else if (name == "connection" || name == "proxy-connection") {
        std::string c = AsciiLower(Trim(value));
        if (c == "close")
            closeAfterResponse_ = true;
        else if (c == "keep-alive")
            closeAfterResponse_ = false;
    }
}

void THttpCli::NewLocation(const std::string& value)
{
    if (!value.empty() && value[0] == '/') {
        if (Proxy.empty()) {
            requestPath_ = value;
            location_ = (protocol_.empty() ? std::string("http") : protocol_) + "://" + targetHost_ +
                        (targetPort_ != "80" ? ":" + targetPort_ : "") + value;
        } else {
            // The target's port stays part of the address (the proxy needs it).
            std::string defPort = urlProtocol_ == "https" ? "443" : "80";
            requestPath_ = urlProtocol_ + "://" + targetHost_ +
                           (targetPort_ != defPort ? ":" + targetPort_ : "") + value;
            location_ = requestPath_;
        }
        docNameSource_ = value;
        return;
    }
    if (StartsText("http://", value) || StartsText("https://", value)) {
        std::string proto, user, pass, host, port, path;
        ParseURL(value, proto, user, pass, host, port, path);
        proto = proto.empty() ? "http" : AsciiLower(proto);
        if (!user.empty() && !pass.empty()) {
            Username = user;
            Password = pass;
        }
        if (Proxy.empty()) {
            requestPath_ = path.empty() ? "/" : path;
            hostName_ = host;
            port_ = port.empty() ? "80" : port;
            protocol_ = proto;
            urlProtocol_ = proto;
            targetHost_ = host;
            targetPort_ = port_;
            location_ = protocol_ + "://" + hostName_ + (port.empty() ? "" : ":" + port) + requestPath_;
        } else {
            urlProtocol_ = proto;
            targetHost_ = host;
            targetPort_ = !port.empty() ? port : (proto == "https" ? "443" : "80");
            requestPath_ = value;
            location_ = value;
        }
        docNameSource_ = path;
        return;
    }
    // Relative to the current path.
    std::string base = Proxy.empty() ? requestPath_ : docNameSource_;
    base = base.substr(0, base.find('?'));
    size_t cut = base.find_last_of("/\\");
    base = cut == std::string::npos ? "/" : base.substr(0, cut + 1);
    std::string path = base + value;
    docNameSource_ = path;
    if (Proxy.empty()) {
        requestPath_ = path;
        location_ = protocol_ + "://" + targetHost_ + (targetPort_ != "80" ? ":" + targetPort_ : "") + path;
    } else {
        std::string defPort = urlProtocol_ == "https" ? "443" : "80";
        requestPath_ = urlProtocol_ + "://" + targetHost_ + (targetPort_ != defPort ? ":" + targetPort_ : "") + path;
        location_ = requestPath_;
    }
}

void THttpCli::HeaderEnded()
{
    headerDone_ = true;
    chunked_ = SameText(Trim(transferEncoding_), "chunked");
    bool noBody;
    if (requestType_ == httpHEAD || statusCode_ == 204 || statusCode_ == 304 || (statusCode_ >= 100 && statusCode_ < 200))
        noBody = true;
    else if (chunked_)
        noBody = false;   // a chunked body is always there, whatever the status
    else
        noBody = contentLength_ == 0 ||
                 (contentLength_ == -1 && (statusCode_ < 200 || statusCode_ == 301 || statusCode_ == 302));

    if (!noBody && MaxBodySize > 0 && !chunked_ && contentLength_ > MaxBodySize) {
        BodyTooLarge();
        return;
    }
    if (!noBody) {
        docName_ = HttpDocumentNameForContent(docName_, contentType_);
        SetState(httpWaitingBody);
        lineHandler_ = lhBody;
        return;   // the data handler hands over what is buffered
    }
    lineHandler_ = lhNone;
    if (locationFlag_) {
        StartRelocation();
        return;
    }
    if (!closeAfterResponse_) {
        PostReady();
        return;
    }
    if (requestType_ == httpHEAD) {
        ResetRcvBuffer();
        SetState(httpWaitingBody);
    }
    ctrlSocket_->CloseDelayed();
}

size_t THttpCli::GetBodyLineNext(const char* data, size_t len)
{
    // Every handler called here may abort the request (failed_ is then set).
    if (bodyCalls_++ == 0) {
        chunks_.Reset();
        bodyStarted_ = true;
        TriggerDocBegin();
        if (failed_)
            return len;
    }
    if (!chunked_) {
        if (len > 0)
            WriteBody(data, len);
        if (!failed_ && contentLength_ >= 0 && rcvdCount_ >= contentLength_)
            BodyComplete();
        return len;
    }
    size_t consumed = 0;
    THttpChunkDecoder::TResult r = chunks_.Feed(data, len, consumed, [this](const char* d, size_t n) {
        if (!failed_)
            WriteBody(d, n);
    });
    if (failed_)
        return consumed;
    if (r == THttpChunkDecoder::crInvalid)
        InvalidAnswer("a broken chunked body (bad chunk size)");
    else if (r == THttpChunkDecoder::crDone)
        BodyComplete();
    return consumed;
}

void THttpCli::BodyTooLarge()
{
    if (!failed_)
        limitPassed_ = lpSize;
    FailRequest(404, "The document is larger than " + std::to_string(MaxBodySize) + " bytes", 0);
}

void THttpCli::WriteBody(const char* data, size_t len)
{
    if (MaxBodySize > 0 && rcvdCount_ + static_cast<int64_t>(len) > MaxBodySize) {
        BodyTooLarge();
        return;
    }
    rcvdCount_ += static_cast<int64_t>(len);
    if (RcvdStream)
        RcvdStream->Write(data, len);
    if (OnDocData)
        OnDocData(data, static_cast<int>(len));
}

void THttpCli::BodyComplete()
{
    bodyCalls_ = 0;
    lineHandler_ = lhNone;
    SetState(httpBodyReceived);
    TriggerDocEnd();
    FinishResponse();
}

void THttpCli::FinishResponse()
{
    if (failed_)
        return;
    if (locationFlag_) {
        StartRelocation();
        return;
    }
    if (closeAfterResponse_)
        ctrlSocket_->CloseDelayed();
    else
        PostReady();
}

// ---------------------------------------------------------------------------
// Relocation

void THttpCli::RememberStreamMarks()
{
    if (RcvdStream) {
        rcvdStreamPos_ = RcvdStream->Position();
        rcvdStreamSize_ = RcvdStream->Size();
    }
}

void THttpCli::CutBackStreams()
{
    // Whatever the answer wrote goes: the stream is made as long as it was
    // before, or as long as its start position when it grew from there.
    if (RcvdStream) {
        int64_t size = RcvdStream->Size();
        int64_t keep = std::max(rcvdStreamSize_, rcvdStreamPos_);
        if (size > keep)
            RcvdStream->SetSize(keep);
        RcvdStream->Seek(rcvdStreamPos_);
    }
    if (SendStream)
        SendStream->Seek(sendStreamPos_);
    rcvdCount_ = 0;
}

bool THttpCli::CountRelocation()
{
    if (++relocations_ <= MaxRelocations)
        return true;
    FailRequest(404, "Too many relocations (more than " + std::to_string(MaxRelocations) + "), last to " + location_, 0);
    return false;
}

void THttpCli::StartRelocation()
{
    if (!CountRelocation())
        return;
    rcvdCount_ = 0;
    ResetRcvBuffer();
    headerLineCount_ = 0;
    bodyCalls_ = 0;
    if (ctrlSocket_->State() == wsConnected && connected_ && hostName_ == curHost_ && port_ == curPort_ &&
        protocol_ == curProtocol_ && !closeAfterResponse_) {
        if (OnLocationChange)
            OnLocationChange();
        std::string loc = location_;
        ClearResponse(true);
        location_ = loc;
        docName_ = HttpDocumentName(docNameSource_);
        if (requestType_ == httpPOST || requestType_ == httpPUT)
            requestType_ = httpGET;
        CutBackStreams();
        PostRestart();
        return;
    }
    closedHandler_ = chRelocation;
    ctrlSocket_->CloseDelayed();
}

void THttpCli::LocationSessionClosed(WORD)
{
    closedHandler_ = chNormal;
    std::string loc = location_.substr(0, location_.find('#'));
    std::string proto, user, pass, host, port, path;
    ParseURL(loc, proto, user, pass, host, port, path);
    docNameSource_ = path;
    docName_ = HttpDocumentName(docNameSource_);
    tunnel_ = false;
    connected_ = false;
    locationFlag_ = false;
    if (requestType_ == httpPOST || requestType_ == httpPUT)
        requestType_ = httpGET;
    if (OnLocationChange)
        OnLocationChange();
    rcvdHeader_.Clear();
    rcvdCount_ = 0;
    ResetRcvBuffer();
    headerLineCount_ = 0;
    bodyCalls_ = 0;
    contentLength_ = -1;
    contentType_.clear();
    statusCode_ = 0;
    reasonPhrase_.clear();
    transferEncoding_.clear();
    authChallenges_.Clear();
    headerInProgress_ = false;
    headerDone_ = false;
    bodyStarted_ = false;
    docEnded_ = false;
    chunked_ = false;
    closeAfterResponse_ = requestVer_ == "1.0";
    CutBackStreams();
    PostRestart();
}

// ---------------------------------------------------------------------------
// Closing and failing

void THttpCli::SocketSessionClosed(WORD error)
{
    if (error != 0 && !failed_)
        requestDoneError_ = error;
    connected_ = false;
    tunnel_ = false;
    if (headerInProgress_)
        TriggerHeaderEnd();

    if (!failed_ && restartPending_) {
        // The request goes out again anyway; the restart makes a new connection.
        if (OnSessionClosed)
            OnSessionClosed();
        return;
    }
    if (!failed_ && state_ != httpReady && state_ != httpAborting && state_ != httpClosing) {
        if (state_ == httpWaitingHeader && reusedConnection_ && !answerStarted_ && !retriedOnce_) {
            // A kept connection the server had given up before our request
            // reached it: once more on a new connection.
            retriedOnce_ = true;
            CutBackStreams();
            if (OnSessionClosed)
                OnSessionClosed();
            PostRestart();
            return;
        }
        // The server closed: an answer it cut short is an error, never a success.
        if ((state_ == httpWaitingHeader || state_ == httpWaitingProxyConnect) && !headerDone_) {
            FailRequest(404, "Connection closed by the server before the answer's header was complete",
                        error ? error : static_cast<WORD>(WSAECONNRESET));
            return;
        }
        if (state_ == httpWaitingBody && requestType_ != httpHEAD) {
            // Holds for each failure below (one that came first keeps its own cause).
            bodyCut_ = !failed_;
            if (chunked_ && !chunks_.Done()) {
                FailRequest(404, "Connection closed by the server before the last chunk of the body",
                            error ? error : static_cast<WORD>(WSAECONNRESET));
                return;
            }
            if (!chunked_ && contentLength_ < 0 && error != 0) {
                // Only an orderly close ends a body without a length; after a
                // reset bytes may be missing.
                FailRequest(404, SocketErrorReason(error), error);
                return;
            }
            if (!chunked_ && contentLength_ >= 0 && rcvdCount_ < contentLength_) {
                FailRequest(404,
                            "Connection closed by the server after " + std::to_string(rcvdCount_) + " of " +
                                std::to_string(contentLength_) + " bytes of the body",
                            error ? error : static_cast<WORD>(WSAECONNRESET));
                return;
            }
            bodyCut_ = false;
        }
        if (locationFlag_) {
            if (CountRelocation())
                LocationSessionClosed(error);
            return;
        }
    }
    if (bodyStarted_)
        TriggerDocEnd();
    if (OnSessionClosed)
        OnSessionClosed();
    if (state_ != httpReady)
        PostReady();
}

void THttpCli::FailRequest(int status, const std::string& reason, WORD error, WORD code)
{
    if (failed_ || state_ == httpReady)
        return;
    failed_ = true;
    failCode_ = code;
    statusCode_ = status;
    reasonPhrase_ = reason;
    requestDoneError_ = error;
    locationFlag_ = false;
    lineHandler_ = lhNone;
    sending_ = false;
    restartPending_ = false;
    ResetRcvBuffer();
    closedHandler_ = chNormal;
    connected_ = false;
    if (ctrlSocket_->State() != wsClosed || state_ == httpDnsLookup)
        ctrlSocket_->Abort();   // also cancels a running lookup
    PostReady();
}

void THttpCli::InvalidAnswer(const std::string& what)
{
    FailRequest(404, "Invalid answer from the server: " + what, 0);
}

void THttpCli::Abort()
{
    if (state_ != httpReady) {
        bool lookup = state_ == httpDnsLookup;
        SetState(httpAborting);
        if (lookup)
            ctrlSocket_->CancelDnsLookup();
        statusCode_ = 404;
        reasonPhrase_ = "Connection aborted on request";
        requestDoneError_ = kAbortError;
        failed_ = true;   // nothing of this request may go on
        restartPending_ = false;
        locationFlag_ = false;
        lineHandler_ = lhNone;
        closedHandler_ = chNormal;
        if (lookup)
            SocketSessionClosed(kAbortError);
        else
            ctrlSocket_->Close();
        connected_ = false;
        SetState(httpReady);
        return;
    }
    SetState(httpAborting);
    if (ctrlSocket_->State() != wsClosed)
        ctrlSocket_->Abort();
    connected_ = false;
    statusCode_ = 200;
    reasonPhrase_ = "OK";
    requestDoneError_ = 0;
    state_ = httpReady;
    if (OnStateChange)
        OnStateChange();
    if (OnRequestDone)
        OnRequestDone(requestType_, requestDoneError_);
}

// ---------------------------------------------------------------------------
// Authentication

int THttpCli::FindChallenge(const char* scheme) const
{
    size_t n = std::strlen(scheme);
    for (int i = authChallenges_.Count() - 1; i >= 0; --i) {
        const std::string& c = authChallenges_[i];
        if (c.size() >= n && SameText(c.substr(0, n), scheme))
            return i;
    }
    return -1;
}

bool THttpCli::CheckNtlm()
{
    if (Options & httpoNoNTLMAuth)
        return false;
    if (authNtlmState_ == ntlmMsg3 && statusCode_ != 401)
        authNtlmState_ = ntlmDone;
    else if (authNtlmState_ == ntlmDone && statusCode_ == 401)
        authNtlmState_ = ntlmNone;
    if (proxyAuthNtlmState_ == ntlmMsg3 && statusCode_ != 407)
        proxyAuthNtlmState_ = ntlmDone;
    else if (proxyAuthNtlmState_ == ntlmDone && statusCode_ == 407) {
        proxyAuthNtlmState_ = ntlmNone;
        authNtlmState_ = ntlmNone;
    }
    if (authRetries_ >= kMaxAuthRetries)
        return false;   // a peer that keeps asking gets its last answer
    if (statusCode_ == 401 && authChallenges_.Count() > 0 && !Username.empty() && !Password.empty()) {
        if (FindChallenge("NTLM") >= 0)
            return DoAuthNTLMStep();
    } else if (statusCode_ == 407 && authChallenges_.Count() > 0 && !ProxyUsername.empty() &&
               !ProxyPassword.empty()) {
        if (FindChallenge("NTLM") >= 0)
            return DoProxyAuthNTLMStep();
    }
    return false;
}

bool THttpCli::CheckBasic()
{
    if (Options & httpoNoBasicAuth)
        return false;
    if (authBasicState_ == basicMsg1 && statusCode_ != 401)
        authBasicState_ = basicDone;
    else if (authBasicState_ == basicDone && statusCode_ == 401)
        authBasicState_ = basicNone;
    if (proxyAuthBasicState_ == basicMsg1 && statusCode_ != 407)
        proxyAuthBasicState_ = basicDone;
    else if (proxyAuthBasicState_ == basicDone && statusCode_ == 407) {
        proxyAuthBasicState_ = basicNone;
        authBasicState_ = basicNone;
    }
    if (authRetries_ >= kMaxAuthRetries)
        return false;
    if (statusCode_ == 401 && !Username.empty() && !Password.empty()) {
        if (FindChallenge("Basic") >= 0)
            return DoAuthBasicStep();
    } else if (statusCode_ == 407 && !ProxyUsername.empty() && !ProxyPassword.empty()) {
        if (FindChallenge("Basic") >= 0)
            return DoProxyAuthBasicStep();
    }
    return false;
}

namespace {

// The challenge of the last "NTLM" entry (its text from the 6th character).
TNTLM_Msg2_Info ReadNtlmChallenge(const TStringList& challenges, bool& found)
{
    found = false;
    for (int i = challenges.Count() - 1; i >= 0; --i) {
        const std::string& c = challenges[i];
        if (c.size() >= 4 && SameText(c.substr(0, 4), "NTLM")) {
            found = true;
            std::string token = c.size() > 5 ? c.substr(5, 1000) : std::string();
            if (Trim(token).empty())
                return TNTLM_Msg2_Info();
            return NtlmGetMessage2(Trim(token));
        }
    }
    return TNTLM_Msg2_Info();
}

}  // namespace

// One leg of an NTLM exchange, for the server or for the proxy.
bool THttpCli::NtlmStep(THttpNTLMState& state, bool forServer, std::string& connection,
                        TNTLM_Msg2_Info& challenge, const char* stateName)
{
    switch (state) {
    case ntlmNone:
        ntlmForServer_ = forServer;
        CutBackStreams();
        ResetRcvBuffer();
        ClearResponse(true);
        state = ntlmMsg1;
        if (requestVer_ == "1.0")
            connection = "Keep-alive";
        PostRestart();
        return true;
    case ntlmMsg1: {
        bool found = false;
        TNTLM_Msg2_Info info = ReadNtlmChallenge(authChallenges_, found);
        if (!found || !info.Valid) {
            // No usable challenge: the answer stands as it is.
            state = ntlmNone;
            return false;
        }
        CutBackStreams();
        challenge = info;
        ResetRcvBuffer();
        ClearResponse(true);
        state = ntlmMsg3;
        PostRestart();
        return true;
    }
    case ntlmMsg3:
        authChallenges_.Clear();
        state = ntlmNone;
        return false;
    default:
        throw EHttpException(std::string("Unexpected ") + stateName, 6);
    }
}

// The one retry of Basic credentials, for the server or for the proxy.
bool THttpCli::BasicStep(THttpBasicState& state, bool forServer, const char* stateName)
{
    switch (state) {
    case basicNone:
        basicForServer_ = forServer;
        CutBackStreams();
        ResetRcvBuffer();
        ClearResponse(true);
        state = basicMsg1;
        PostRestart();
        return true;
    case basicMsg1:
        authChallenges_.Clear();
        state = basicNone;
        return false;
    default:
        throw EHttpException(std::string("Unexpected ") + stateName, 6);
    }
}

bool THttpCli::DoAuthNTLMStep()
{
    return NtlmStep(authNtlmState_, true, Connection, ntlmMsg2Server_, "AuthNTLMState");
}

bool THttpCli::DoProxyAuthNTLMStep()
{
    return NtlmStep(proxyAuthNtlmState_, false, ProxyConnection, ntlmMsg2Proxy_,
                    "ProxyAuthNTLMState");
}

bool THttpCli::DoAuthBasicStep() { return BasicStep(authBasicState_, true, "AuthBasicState"); }

bool THttpCli::DoProxyAuthBasicStep()
{
    return BasicStep(proxyAuthBasicState_, false, "ProxyAuthBasicState");
}
