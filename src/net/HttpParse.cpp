#include "net/HttpParse.h"

#include <algorithm>

#include "platform/Text.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

THttpStatusLineKind ParseHttpStatusLine(std::string_view line, THttpStatusLine& out)
{
    out = THttpStatusLine();
    if (line.size() < 8 || (line.substr(0, 8) != "HTTP/1.0" && line.substr(0, 8) != "HTTP/1.1"))
        return slNotHttp;
    // "HTTP/1.x" + blank + three digits, then a blank and the reason, or nothing.
    if (line.size() < 12 || line[8] != ' ' || !IsDigit(line[9]) || !IsDigit(line[10]) || !IsDigit(line[11]))
        return slInvalid;
    if (line.size() > 12 && line[12] != ' ')
        return slInvalid;
    out.Version = std::string(line.substr(5, 3));
    out.Code = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    if (line.size() > 13)
        out.Reason = std::string(line.substr(13));
    return slValid;
}

THttpLengthKind ParseHttpContentLength(std::string_view value, int64_t& out)
{
    out = -1;
    size_t b = 0, e = value.size();
    while (b < e && IsBlank(value[b]))
        ++b;
    while (e > b && IsBlank(value[e - 1]))
        --e;
    std::string_view v = value.substr(b, e - b);
    bool negative = false;
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
        negative = v[0] == '-';
        v.remove_prefix(1);
    }
    if (v.empty() || !std::all_of(v.begin(), v.end(), IsDigit))
        return lkNoNumber;
    while (v.size() > 1 && v[0] == '0')
        v.remove_prefix(1);
    if (v.size() > static_cast<size_t>(MaxHttpContentLengthDigits))
        return negative ? lkNegative : lkTooLarge;
    int64_t n = 0;
    for (char c : v)
        n = n * 10 + (c - '0');
    if (negative && n != 0)
        return lkNegative;
    out = n;
    return lkNumber;
}

void THttpChunkDecoder::Reset()
{
    state_ = sSize;
    size_ = 0;
    taken_ = 0;
    anyDigit_ = false;
    trailerLineLen_ = 0;
}

THttpChunkDecoder::TResult THttpChunkDecoder::Feed(const char* data, size_t len, size_t& consumed,
                                                   const TSink& sink)
{
    size_t i = 0;
    while (i < len) {
        switch (state_) {
        case sSize: {
            int h = HexValue(data[i]);
            if (h >= 0) {
                size_ = size_ * 16 + static_cast<unsigned>(h);
                anyDigit_ = true;
                if (size_ > MaxChunkSize) {
                    state_ = sInvalid;
                    consumed = i;
                    return crInvalid;
                }
                ++i;
            } else if (!anyDigit_ && (data[i] == ' ' || data[i] == '\t')) {
                ++i;   // blanks before the size
            } else if (!anyDigit_) {
                state_ = sInvalid;
                consumed = i;
                return crInvalid;
            } else {
                state_ = sSizeRest;
            }
            break;
        }
        case sSizeRest:
            if (data[i++] == '\n') {
                taken_ = 0;
                trailerLineLen_ = 0;
                state_ = size_ == 0 ? sTrailer : sData;
            }
            break;
        case sData: {
            size_t n = static_cast<size_t>(std::min<uint64_t>(size_ - taken_, len - i));
            if (n > 0 && sink)
                sink(data + i, n);
            taken_ += n;
            i += n;
            if (taken_ == size_)
                state_ = sDataEnd;
            break;
        }
        case sDataEnd:
            if (data[i++] == '\n') {
                size_ = 0;
                taken_ = 0;
                anyDigit_ = false;
                state_ = sSize;
            }
            break;
        case sTrailer: {
            char c = data[i++];
            if (c == '\n') {
                if (trailerLineLen_ == 0) {
                    state_ = sDone;
                    consumed = i;
                    return crDone;
                }
                trailerLineLen_ = 0;
            } else if (c != '\r') {
                ++trailerLineLen_;
            }
            break;
        }
        case sDone:
            consumed = i;
            return crDone;
        case sInvalid:
            consumed = i;
            return crInvalid;
        }
    }
    consumed = i;
    if (state_ == sDone)
        return crDone;
    return state_ == sInvalid ? crInvalid : crMore;
}

std::string HttpDocumentName(std::string_view path)
{
    std::string_view p = path.substr(0, path.find('?'));
    if (p.empty() || p.back() == '/')
        return "document.htm";
    size_t slash = p.rfind('/');
    std::string_view name = slash == std::string_view::npos ? p : p.substr(slash + 1);
    name = name.substr(0, std::min<size_t>(name.size(), 255));
    name = name.substr(0, name.find('?'));
    if (name.empty())
        return "document.htm";
    return std::string(name);
}

std::string HttpDocumentNameForContent(const std::string& docName, std::string_view contentType)
{
    std::string ct = AsciiLower(contentType);
    bool html = ct == "text/html" || ct.rfind("text/html;", 0) == 0;
    if (!html)
        return docName;
    size_t dot = docName.rfind('.');
    std::string ext = dot == std::string::npos ? "" : AsciiLower(docName.substr(dot));
    if (dot == std::string::npos)
        return docName + ".htm";
    if (ext == ".exe" || ext == ".")
        return docName.substr(0, dot + 1) + "htm";
    return docName;
}
