// The parts of an answer read without a connection: status line, length,
// chunked body, document name.
#include <gtest/gtest.h>

#include "net/HttpParse.h"

namespace {

struct TChunked {
    std::string data;
    THttpChunkDecoder::TResult result = THttpChunkDecoder::crMore;
    size_t consumed = 0;
};

// Feeds the text in pieces of `step` bytes.
TChunked Decode(const std::string& text, size_t step)
{
    THttpChunkDecoder d;
    d.Reset();
    TChunked out;
    size_t at = 0;
    while (at < text.size()) {
        size_t n = std::min(step, text.size() - at);
        size_t used = 0;
        out.result = d.Feed(text.data() + at, n, used,
                            [&out](const char* p, size_t len) { out.data.append(p, len); });
        at += used;
        out.consumed = at;
        if (out.result != THttpChunkDecoder::crMore)
            break;
    }
    return out;
}

}  // namespace

TEST(HttpStatusLine, ReadsVersionCodeAndReason)
{
    THttpStatusLine s;
    ASSERT_EQ(ParseHttpStatusLine("HTTP/1.1 302 Moved Temporarily", s), slValid);
    EXPECT_EQ(s.Version, "1.1");
    EXPECT_EQ(s.Code, 302);
    EXPECT_EQ(s.Reason, "Moved Temporarily");
    ASSERT_EQ(ParseHttpStatusLine("HTTP/1.0 200", s), slValid);
    EXPECT_EQ(s.Code, 200);
    EXPECT_EQ(s.Reason, "");
}

TEST(HttpStatusLine, ShortOrBrokenLinesAreInvalid)
{
    THttpStatusLine s;
    EXPECT_EQ(ParseHttpStatusLine("HTTP/1.1 2", s), slInvalid);
    EXPECT_EQ(ParseHttpStatusLine("HTTP/1.0", s), slInvalid);
    EXPECT_EQ(ParseHttpStatusLine("HTTP/1.1 20x OK", s), slInvalid);
    EXPECT_EQ(ParseHttpStatusLine("HTTP/1.1 2000 OK", s), slInvalid);
    EXPECT_EQ(ParseHttpStatusLine("HTTP/1.1200 OK", s), slInvalid);
    EXPECT_EQ(s.Code, 0);
}

TEST(HttpStatusLine, OtherFirstLinesAreNotHttp)
{
    THttpStatusLine s;
    EXPECT_EQ(ParseHttpStatusLine("HTTP/2 200", s), slNotHttp);
    EXPECT_EQ(ParseHttpStatusLine("ICY 200 OK", s), slNotHttp);
    EXPECT_EQ(ParseHttpStatusLine("", s), slNotHttp);
    EXPECT_EQ(ParseHttpStatusLine("http/1.1 200 OK", s), slNotHttp);
}

TEST(HttpContentLength, NumbersBlanksAndGarbage)
{
    int64_t n = 0;
    EXPECT_EQ(ParseHttpContentLength(" 1234 ", n), lkNumber);
    EXPECT_EQ(n, 1234);
    EXPECT_EQ(ParseHttpContentLength("0", n), lkNumber);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(ParseHttpContentLength("5000000000", n), lkNumber);
    EXPECT_EQ(n, 5000000000LL);
    EXPECT_EQ(ParseHttpContentLength("twelve", n), lkNoNumber);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(ParseHttpContentLength("0x10", n), lkNoNumber);
    EXPECT_EQ(ParseHttpContentLength("", n), lkNoNumber);
}

TEST(HttpContentLength, PastEighteenDigitsTooLarge)
{
    int64_t n = 7;
    EXPECT_EQ(ParseHttpContentLength("999999999999999999", n), lkNumber);
    EXPECT_EQ(n, 999999999999999999LL);
    for (const char* v : {"1000000000000000000", "9223372036854775807", "9223372036854775808",
                          "99999999999999999999999", " 123456789012345678901 "}) {
        n = 7;
        EXPECT_EQ(ParseHttpContentLength(v, n), lkTooLarge) << v;
        EXPECT_EQ(n, -1) << v;
    }
    // Leading zeros add no digits; a long negative number stays negative.
    EXPECT_EQ(ParseHttpContentLength("0000000000000000000000012", n), lkNumber);
    EXPECT_EQ(n, 12);
    EXPECT_EQ(ParseHttpContentLength("-99999999999999999999", n), lkNegative);
}

TEST(HttpContentLength, NegativeIsInvalid)
{
    int64_t n = 7;
    EXPECT_EQ(ParseHttpContentLength("-5", n), lkNegative);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(ParseHttpContentLength(" -1", n), lkNegative);
}

TEST(HttpChunked, OneChunkThenTheLastOne)
{
    TChunked c = Decode("5\r\nhello\r\n0\r\n\r\nNEXT", 1000);
    EXPECT_EQ(c.result, THttpChunkDecoder::crDone);
    EXPECT_EQ(c.data, "hello");
    EXPECT_EQ(c.consumed, 15u);   // "NEXT" belongs to what follows
}

TEST(HttpChunked, ExtensionsAndTrailersAreSkippedWhole)
{
    std::string body = "4;name=value\r\nWiki\r\n5;x;y=\"q\"\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n"
                       "0;last=1\r\nExpires: Wed, 21 Oct 2015 07:28:00 GMT\r\nX-Trailer: yes\r\n\r\n";
    for (size_t step : {size_t(1), size_t(3), size_t(7), body.size()}) {
        TChunked c = Decode(body + "HTTP/1.1 200 OK\r\n", step);
        EXPECT_EQ(c.result, THttpChunkDecoder::crDone) << step;
        EXPECT_EQ(c.data, "Wikipedia in\r\n\r\nchunks.") << step;
        EXPECT_EQ(c.consumed, body.size()) << step;
    }
}

TEST(HttpChunked, BareLineFeedsAndUpperCaseHex)
{
    TChunked c = Decode("A\nabcdefghij\n0\n\n", 2);
    EXPECT_EQ(c.result, THttpChunkDecoder::crDone);
    EXPECT_EQ(c.data, "abcdefghij");
}

TEST(HttpChunked, WithoutTheLastChunkItIsNotDone)
{
    THttpChunkDecoder d;
    std::string text = "5\r\nhello\r\n";
    size_t used = 0;
    std::string data;
    EXPECT_EQ(d.Feed(text.data(), text.size(), used, [&](const char* p, size_t n) { data.append(p, n); }),
              THttpChunkDecoder::crMore);
    EXPECT_FALSE(d.Done());
    EXPECT_EQ(data, "hello");
}

TEST(HttpChunked, SizesOverTheLimitAreInvalid)
{
    EXPECT_EQ(Decode("80000000\r\nhello\r\n", 100).result, THttpChunkDecoder::crInvalid);
    EXPECT_EQ(Decode("1000000000000005\r\nhello\r\n0\r\n\r\n", 100).result, THttpChunkDecoder::crInvalid);
    TChunked ok = Decode("7FFFFFFF\r\nabc", 100);
    EXPECT_EQ(ok.result, THttpChunkDecoder::crMore);
    EXPECT_EQ(ok.data, "abc");
}

TEST(HttpChunked, SizeLineWithoutDigitsIsInvalid)
{
    EXPECT_EQ(Decode("\r\nhello\r\n", 100).result, THttpChunkDecoder::crInvalid);
    EXPECT_EQ(Decode("zz\r\n", 100).result, THttpChunkDecoder::crInvalid);
    EXPECT_EQ(Decode("5\r\nhello\r\n;ext\r\n", 100).result, THttpChunkDecoder::crInvalid);
}

TEST(HttpDocumentName, FromThePath)
{
    EXPECT_EQ(HttpDocumentName(""), "document.htm");
    EXPECT_EQ(HttpDocumentName("/"), "document.htm");
    EXPECT_EQ(HttpDocumentName("/dir/"), "document.htm");
    EXPECT_EQ(HttpDocumentName("/dir/?x=1/2"), "document.htm");
    EXPECT_EQ(HttpDocumentName("/a/b/psummary.html?x=/y"), "psummary.html");
    EXPECT_EQ(HttpDocumentName("/file.exe"), "file.exe");
    EXPECT_EQ(HttpDocumentName("/" + std::string(300, 'n')).size(), 255u);
}

TEST(HttpDocumentName, HtmlContentGetsTheHtmExtension)
{
    EXPECT_EQ(HttpDocumentNameForContent("setup.exe", "text/html"), "setup.htm");
    EXPECT_EQ(HttpDocumentNameForContent("Setup.EXE", "text/html; charset=utf-8"), "Setup.htm");
    EXPECT_EQ(HttpDocumentNameForContent("readme", "text/html"), "readme.htm");
    EXPECT_EQ(HttpDocumentNameForContent("setup.exe", "application/octet-stream"), "setup.exe");
    EXPECT_EQ(HttpDocumentNameForContent("page.php", "text/html"), "page.php");
}
