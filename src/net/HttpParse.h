// The pieces of an HTTP answer that can be read without a connection: the
// status line, a Content-Length value, a chunked body and the document name
// of a request path.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct THttpStatusLine {
    std::string Version;   // "1.0" or "1.1"
    int Code = 0;
    std::string Reason;
};

enum THttpStatusLineKind {
    slValid,     // "HTTP/1.0" or "HTTP/1.1", a blank and a three-digit code
    slNotHttp,   // does not begin with "HTTP/1.0" or "HTTP/1.1"
    slInvalid,   // begins so but is cut short or has no three-digit code
};
THttpStatusLineKind ParseHttpStatusLine(std::string_view line, THttpStatusLine& out);

enum THttpLengthKind {
    lkNumber,     // out holds the length (0 or more)
    lkNoNumber,   // not a number: no length is known (out = -1)
    lkNegative,   // a negative number: an invalid answer (out = -1)
    lkTooLarge,   // more than MaxHttpContentLengthDigits digits: an invalid answer (out = -1)
};
// No body is longer than this many decimal digits (under 10^18 bytes), so
// that lengths and counts never come near the end of a 64-bit integer.
constexpr int MaxHttpContentLengthDigits = 18;
// A Content-Length value: decimal digits with optional blanks around them.
// Leading zeros do not count towards the digits.
THttpLengthKind ParseHttpContentLength(std::string_view value, int64_t& out);

// Decodes a chunked body piece by piece. Chunk extensions and trailer lines
// are skipped; a chunk size over 0x7FFFFFFF or a size line without any
// hexadecimal digit makes the body invalid.
class THttpChunkDecoder {
public:
    enum TResult {
        crMore,      // all bytes used, the body goes on
        crDone,      // the last chunk and the trailer were read
        crInvalid,   // the body is broken
    };
    using TSink = std::function<void(const char* data, size_t len)>;

    void Reset();
    // Uses bytes of data until the body ends or the bytes run out; chunk data
    // goes to sink. consumed tells how many bytes were used (after crDone the
    // rest belongs to whatever follows the body).
    TResult Feed(const char* data, size_t len, size_t& consumed, const TSink& sink);
    bool Done() const { return state_ == sDone; }
    bool Invalid() const { return state_ == sInvalid; }
    static constexpr uint32_t MaxChunkSize = 0x7FFFFFFF;

private:
    enum TState { sSize, sSizeRest, sData, sDataEnd, sTrailer, sDone, sInvalid };
    TState state_ = sSize;
    uint64_t size_ = 0;
    uint64_t taken_ = 0;
    bool anyDigit_ = false;
    size_t trailerLineLen_ = 0;
};

// The document name of a request path: cut at the first "?"; "document.htm"
// when nothing is left or it ends with "/", else the part after the last "/"
// (at most 255 characters).
std::string HttpDocumentName(std::string_view path);
// When a body starts: a name with the extension ".exe" or none, for a
// "text/html" document, gets the extension "htm".
std::string HttpDocumentNameForContent(const std::string& docName, std::string_view contentType);
