// The HTTP client component: one document at a time over HTTP/1.0 or 1.1,
// driven entirely by window messages on the thread that made it. It follows
// relocations, reads counted, open-ended and chunked bodies into a stream,
// talks through a proxy and answers Basic and NTLM challenges of the server
// and of the proxy by itself. Get() waits for the answer while the
// application's messages keep being handled.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/HttpParse.h"
#include "net/HttpStream.h"
#include "net/Ntlm.h"
#include "net/WSocket.h"
#include "platform/Component.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/StringList.h"

class EHttpException : public Exception {
public:
    EHttpException(const std::string& message, WORD errorCode) : Exception(message), errorCode_(errorCode) {}
    WORD ErrorCode() const { return errorCode_; }

private:
    WORD errorCode_;
};

enum THttpRequest { httpNone = 0, httpGET = 1, httpPOST = 2, httpPUT = 3, httpHEAD = 4, httpCLOSE = 5 };

enum THttpState : uint8_t {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpBodyReceived,
    httpWaitingProxyConnect,
    httpClosing,
    httpAborting,
};

enum THttpCliOption : unsigned { httpoNoBasicAuth = 1u << 0, httpoNoNTLMAuth = 1u << 1 };
using THttpCliOptions = unsigned;

// Authentication progress (server and proxy each have their own).
enum THttpNTLMState : uint8_t { ntlmNone = 0, ntlmMsg1 = 1, ntlmMsg3 = 3, ntlmDone = 4 };
enum THttpBasicState : uint8_t { basicNone = 0, basicMsg1 = 1, basicDone = 2 };

// Private messages of the component's window.
constexpr UINT WM_HTTP_REQUEST_DONE = WM_USER + 1;
constexpr UINT WM_HTTP_SET_READY = WM_USER + 2;
constexpr UINT WM_HTTP_LOGIN = WM_USER + 3;

class THttpCli : public TComponent {
public:
    // The component's name (shown in the "busy" message) starts as "HttpCli".
    explicit THttpCli(TComponent* owner = nullptr);
    ~THttpCli() override;

    // ---- Properties ----
    std::string URL;
    std::string LocalAddr = "0.0.0.0";
    std::string Proxy;              // empty: direct
    std::string ProxyPort = "80";
    std::string Sender;             // "From: "
    std::string Agent = "Mozilla/4.0 (compatible; Brenix)";
    std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    std::string AcceptLanguage;
    std::string Reference;          // "Referer: "
    std::string Connection;
    std::string ProxyConnection;
    std::string Username;
    std::string Password;
    std::string ProxyUsername;
    std::string ProxyPassword;
    bool NoCache = false;
    TDateTime ModifiedSince = 0;
    std::string Cookie;
    std::string ContentTypePost = "application/x-www-form-urlencoded";
    std::string ContentRangeBegin;
    std::string ContentRangeEnd;
    bool FollowRelocation = true;
    THttpCliOptions Options = 0;
    std::string SocksServer;
    std::string SocksLevel = "5";
    std::string SocksPort;
    std::string SocksUsercode;
    std::string SocksPassword;
    TSocksAuthentication SocksAuthentication = socksNoAuthentication;
    // Seconds without any progress (no answer, no data) after which a running
    // request is ended with an error. 0 waits for ever.
    int Timeout = 60;
    // Limits of one request; 0: none. A body longer than MaxBodySize bytes
    // (counted after chunked decoding) or a request running longer than
    // MaxTime milliseconds in all (relocations and authentication included)
    // is ended with an error; the stream holds no byte past the limit.
    int64_t MaxBodySize = 0;
    DWORD MaxTime = 0;

    // The body of an answer goes here (nullptr: nowhere); POST and PUT read from
    // SendStream. The component never frees either.
    THttpStream* RcvdStream = nullptr;
    THttpStream* SendStream = nullptr;

    const std::string& RequestVer() const { return requestVer_; }
    // "1.0" or "1.1"; anything else raises code 5.
    void SetRequestVer(const std::string& v);
    bool MultiThreaded() const { return multiThreaded_; }
    void SetMultiThreaded(bool v);

    // ---- Results ----
    int StatusCode() const { return statusCode_; }
    const std::string& ReasonPhrase() const { return reasonPhrase_; }
    const std::string& ResponseVer() const { return responseVer_; }
    int64_t ContentLength() const { return contentLength_; }
    const std::string& ContentType() const { return contentType_; }
    const std::string& TransferEncoding() const { return transferEncoding_; }
    const std::string& AcceptRanges() const { return acceptRanges_; }
    const TStringList& RcvdHeader() const { return rcvdHeader_; }
    int64_t RcvdCount() const { return rcvdCount_; }
    int64_t SentCount() const { return sentCount_; }
    const std::string& DocName() const { return docName_; }
    const std::string& Location() const { return location_; }
    WORD RequestDoneError() const { return requestDoneError_; }
    // The request ended without a server's answer to show (no server
    // reached, a limit passed, an answer that could not be read): the status
    // and the reason are the component's own.
    bool Failed() const { return failed_; }
    // Which of MaxBodySize and MaxTime ended the last request, if one did.
    enum TLimitPassed { lpNone, lpSize, lpTime };
    TLimitPassed LimitPassed() const { return limitPassed_; }
    // The last request failed because its answer broke off in the body,
    // after the server's header (RcvdCount bytes of ContentLength, -1 unknown).
    bool BodyCutShort() const { return failed_ && bodyCut_; }
    THttpState State() const { return state_; }
    THttpRequest RequestType() const { return requestType_; }
    // Successive relocations one request follows before it fails.
    static constexpr int MaxRelocations = 20;

    TWSocket& CtrlSocket() { return *ctrlSocket_; }
    // The component's own window, which gets its private messages.
    HWND Handle();

    // ---- Requests ----
    // A GET that returns when the answer is complete; raises EHttpException
    // for a status of 400 or more other than 401 and 407.
    void Get();
    void DoRequestSync(THttpRequest rq);
    // Starts a request and returns at once; OnRequestDone tells the end.
    void DoRequestAsync(THttpRequest rq);
    void Abort();

    // ---- Events (each called only when set) ----
    std::function<void()> OnStateChange;
    std::function<void(const std::string& data, bool& accept)> OnCookie;
    std::function<void()> OnSessionConnected;
    std::function<void()> OnSessionClosed;
    std::function<void(const std::string& method, TStringList& headers)> OnBeforeHeaderSend;
    std::function<void()> OnRequestHeaderBegin;
    std::function<void()> OnRequestHeaderEnd;
    std::function<void()> OnHeaderBegin;
    std::function<void()> OnHeaderEnd;
    std::function<void()> OnHeaderData;
    std::function<void()> OnDocBegin;
    std::function<void(const char* data, int len)> OnDocData;
    std::function<void()> OnDocEnd;
    std::function<void()> OnSendBegin;
    std::function<void(const char* data, int len)> OnSendData;
    std::function<void()> OnSendEnd;
    std::function<void(std::string& line)> OnCommand;
    std::function<void(THttpRequest rq, WORD error)> OnRequestDone;
    std::function<void()> OnLocationChange;
    std::function<void(WORD error)> OnDataPush;
    std::function<void(WORD error)> OnDataPush2;
    // Stands with the other events for callers that set it; the component
    // itself has nothing to report through it.
    std::function<void()> OnTrace;
    std::function<void(WORD error)> OnSocksConnected;
    std::function<void(TSocksAuthState state)> OnSocksAuthState;
    std::function<void(int error, const std::string& message)> OnSocksError;
    std::function<void(int error, const std::string& message)> OnSocketError;

protected:
    virtual std::unique_ptr<TWSocket> CreateSocket();
    virtual void SocketSetup();
    virtual void SendRequest(const std::string& method, const std::string& version);
    virtual void GetHeaderLineNext(const std::string& line, const char* lineEnd);
    // Takes a piece of body; returns how many bytes belonged to the body.
    virtual size_t GetBodyLineNext(const char* data, size_t len);
    virtual void SendCommand(const std::string& line);
    virtual void Login();
    virtual void ClearResponse(bool keepDocName = false);
    virtual void StartRelocation();
    // The authentication steps; true when a retry was started.
    virtual bool DoAuthNTLMStep();
    virtual bool DoProxyAuthNTLMStep();
    virtual bool DoAuthBasicStep();
    virtual bool DoProxyAuthBasicStep();
    bool NtlmStep(THttpNTLMState& state, bool forServer, std::string& connection,
                  TNTLM_Msg2_Info& challenge, const char* stateName);
    bool BasicStep(THttpBasicState& state, bool forServer, const char* stateName);

    // Socket handlers.
    virtual void SocketDNSLookupDone(WORD error);
    virtual void SocketSessionClosed(WORD error);
    virtual void SocketSessionConnected(WORD error);
    virtual void SocketDataSent(WORD error);
    virtual void SocketDataAvailable(WORD error);
    virtual void LocationSessionClosed(WORD error);
    virtual void SetState(THttpState newState);

    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // An exception escaped WndProc (caught at the window's boundary).
    virtual void WndProcException(const std::exception_ptr& e);

private:
    class THttpWindow;
    friend class THttpWindow;
    std::unique_ptr<THttpWindow> window_;

    enum TLineHandler { lhNone, lhHeader, lhBody };
    enum TClosedHandler { chNormal, chRelocation };

    // Ends the running request with a failure: the status, reason and error
    // are those the caller sees; the connection is dropped.
    void FailRequest(int status, const std::string& reason, WORD error, WORD code = 0);
    void InvalidAnswer(const std::string& what);
    void StartConnection();
    void PostReady();
    void PostRestart();
    void PostRequestDone();
    void HandleReady();
    void ReadyFailed(const std::exception_ptr& e);
    void HandleRestart();
    void TimerTick();
    void StartTimeoutTimer();
    void StopTimeoutTimer();
    void Touch() { lastActivity_ = GetTickCount(); }

    void ProcessHeaderField(const std::string& line);
    void NewLocation(const std::string& value);
    void HeaderEnded();
    void BodyComplete();
    void FinishResponse();
    void WriteBody(const char* data, size_t len);
    void BodyTooLarge();
    void CutBackStreams();
    void RememberStreamMarks();
    bool CountRelocation();
    void ProcessLines();
    void ReceiveIntoLineBuffer(bool& gotData);
    void ReceiveBody(bool& gotData);
    void HandBufferedBody();
    void ResetRcvBuffer();
    void HandleProxyConnectLine(const std::string& line);
    void SendBodyPiece();

    bool CheckNtlm();
    bool CheckBasic();
    int FindChallenge(const char* scheme) const;
    std::string AuthorizationLine();

    void TriggerHeaderBegin();
    void TriggerHeaderEnd();
    void TriggerDocBegin();
    void TriggerDocEnd();

    std::unique_ptr<TWSocket> ctrlSocket_;
    std::string requestVer_ = "1.0";
    bool multiThreaded_ = false;

    THttpState state_ = httpReady;
    THttpRequest requestType_ = httpNone;
    TLineHandler lineHandler_ = lhNone;
    TClosedHandler closedHandler_ = chNormal;

    // The request in hand.
    std::string protocol_;       // of the connection ("http")
    std::string urlProtocol_;    // of the document asked for
    std::string hostName_;       // where the connection goes
    std::string port_;
    std::string targetHost_;     // the document's host (the "Host:" line)
    std::string targetPort_;
    std::string requestPath_;    // path, or the absolute URL through a proxy
    std::string docNameSource_;
    std::string dnsResult_;
    // The place the open connection goes to.
    std::string curHost_, curPort_, curProtocol_;
    bool connected_ = false;
    bool tunnel_ = false;
    bool reusedConnection_ = false;   // the request went out on a kept connection
    bool answerStarted_ = false;      // a byte of the answer came
    bool retriedOnce_ = false;

    // The answer.
    int statusCode_ = 0;
    std::string reasonPhrase_;
    std::string responseVer_;
    int64_t contentLength_ = -1;
    std::string contentType_;
    std::string transferEncoding_;
    std::string acceptRanges_;
    TStringList rcvdHeader_;
    TStringList authChallenges_;
    int64_t rcvdCount_ = 0;
    int64_t sentCount_ = 0;
    std::string docName_;
    std::string location_;
    WORD requestDoneError_ = 0;
    int headerLineCount_ = 0;
    size_t headerBytes_ = 0;
    int bodyCalls_ = 0;
    bool headerInProgress_ = false;
    bool headerDone_ = false;    // the empty line that ends the header was read
    bool locationFlag_ = false;
    bool closeAfterResponse_ = true;
    bool bodyStarted_ = false;
    bool docEnded_ = false;
    bool chunked_ = false;
    THttpChunkDecoder chunks_;
    bool sending_ = false;
    bool ntlmBodyless_ = false;   // the request carries an NTLM negotiate message

    // Receiving.
    static constexpr int kRcvBufSize = 8190;
    std::vector<char> rcvBuf_;
    int rcvFill_ = 0;
    size_t lineDropped_ = 0;     // dropped so far of a line longer than the buffer
    unsigned bufferEpoch_ = 0;   // counts every emptying of the buffer
    std::vector<char> bodyBuf_;
    std::vector<char> sendBuf_;
    std::string headerStream_;   // the request header being put together

    // Where this answer's body started in the streams, to cut it back.
    int64_t rcvdStreamPos_ = 0;
    int64_t rcvdStreamSize_ = 0;
    int64_t sendStreamPos_ = 0;

    // Authentication.
    THttpNTLMState authNtlmState_ = ntlmNone;
    THttpNTLMState proxyAuthNtlmState_ = ntlmNone;
    THttpBasicState authBasicState_ = basicNone;
    THttpBasicState proxyAuthBasicState_ = basicNone;
    bool ntlmForServer_ = true;
    bool basicForServer_ = true;
    TNTLM_Msg2_Info ntlmMsg2Server_;
    TNTLM_Msg2_Info ntlmMsg2Proxy_;

    // Bookkeeping of the request's messages: a message posted for an earlier
    // request carries an older generation and is ignored.
    unsigned generation_ = 0;
    bool readyPosted_ = false;
    bool restartPending_ = false;
    bool failed_ = false;
    TLimitPassed limitPassed_ = lpNone;
    bool bodyCut_ = false;
    WORD failCode_ = 0;
    int relocations_ = 0;
    int authRetries_ = 0;
    DWORD lastActivity_ = 0;
    DWORD requestStart_ = 0;
    bool timerOn_ = false;
};
