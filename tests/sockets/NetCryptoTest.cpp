#include <gtest/gtest.h>

#include <string>

#include "net/Base64.h"
#include "net/Des.h"
#include "net/Md4.h"

namespace {

std::string Hex(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

template <size_t N>
std::string Hex(const std::array<uint8_t, N>& a)
{
    return Hex(a.data(), N);
}

TDesBlock Block(const char* hex)
{
    TDesBlock b{};
    for (size_t i = 0; i < 8; ++i)
        b[i] = uint8_t(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
    return b;
}

}  // namespace

TEST(MD4, Rfc1320TestSuite)
{
    EXPECT_EQ(Hex(MD4String("")), "31d6cfe0d16ae931b73c59d7e0c089c0");
    EXPECT_EQ(Hex(MD4String("a")), "bde52cb31de33e46245e05fbdbd6fb24");
    EXPECT_EQ(Hex(MD4String("abc")), "a448017aaf21d8525fc10ae87aa6729d");
    EXPECT_EQ(Hex(MD4String("message digest")), "d9130a8164549fe818874806e1c7014b");
    EXPECT_EQ(Hex(MD4String("abcdefghijklmnopqrstuvwxyz")), "d79e1c308aa5bbcdeea8ed63df412da9");
    EXPECT_EQ(Hex(MD4String("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")),
              "043f8582f241db351ce627e153e7f0e4");
    EXPECT_EQ(Hex(MD4String("1234567890123456789012345678901234567890"
                            "1234567890123456789012345678901234567890")),
              "e33b4ddc9c38f2199c3e7b164fcc0536");
}

TEST(MD4, PiecewiseUpdatesGiveTheSameDigest)
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += char('a' + i % 26);
    for (size_t step : {1u, 7u, 63u, 64u, 65u, 200u}) {
        TMD4 md;
        md.Init();
        for (size_t p = 0; p < text.size(); p += step)
            md.Update(std::string_view(text).substr(p, step));
        EXPECT_EQ(Hex(md.Final()), Hex(MD4String(text))) << step;
    }
}

TEST(MD4, UseBeforeInitialisationRaises)
{
    TMD4 md;
    try {
        md.Update("x");
        FAIL() << "no exception";
    } catch (const MD4Exception& e) {
        EXPECT_STREQ(e.what(), "MD4 not initialized");
    }
    EXPECT_THROW(md.Final(), MD4Exception);
    md.Init();
    md.Update("abc");
    EXPECT_EQ(Hex(md.Final()), "a448017aaf21d8525fc10ae87aa6729d");
    EXPECT_THROW(md.Update("again"), MD4Exception);   // Final ends the context
}

TEST(DES, KnownAnswers)
{
    struct Vec {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Vec vectors[] = {
        {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
        {"0000000000000000", "0000000000000000", "8ca64de9c1b123a7"},
        {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
        {"0101010101010101", "0000000000000001", "166b40b44aba4bd6"},
        {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},
        {"0e329232ea6d0d73", "8787878787878787", "0000000000000000"},
        {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
        {"0131d9619dc1376e", "5cd54ca83def57da", "7a389d10354bd271"},
    };
    for (const Vec& v : vectors)
        EXPECT_EQ(Hex(DesEncryptBlock(Block(v.plain), Block(v.key))), v.cipher) << v.key;
}

TEST(DES, ParityBitsAreIgnored)
{
    EXPECT_EQ(Hex(DesEncryptBlock(Block("0123456789abcdef"), Block("123456789abcdef0"))),
              Hex(DesEncryptBlock(Block("0123456789abcdef"), Block("133557799bbddff1"))));
}

TEST(DES, KeyExpansionSpreadsSevenBitGroups)
{
    const uint8_t zero[7] = {};
    EXPECT_EQ(Hex(DesExpandKey(zero)), "0101010101010101");
    const uint8_t ones[7] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(Hex(DesExpandKey(ones)), "fefefefefefefefe");
    // 0x81 0x02 0x04 ...: every 7-bit group is 1000000.
    const uint8_t walk[7] = {0x81, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40};
    EXPECT_EQ(Hex(DesExpandKey(walk)), "8080808080808080");
    const uint8_t first[7] = {0xfe, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Hex(DesExpandKey(first)), "fe01010101010101");
    const uint8_t last[7] = {0, 0, 0, 0, 0, 0, 0x7f};
    EXPECT_EQ(Hex(DesExpandKey(last)), "01010101010101fe");
    const uint8_t mixed[7] = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde};
    TDesBlock k = DesExpandKey(mixed);
    for (uint8_t b : k) {
        int ones = 0;
        for (int i = 0; i < 8; ++i)
            ones += (b >> i) & 1;
        EXPECT_EQ(ones % 2, 1) << int(b);   // odd parity
    }
}

TEST(Base64, Rfc4648Vectors)
{
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},     {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (auto& v : vectors) {
        EXPECT_EQ(Base64Encode(v.first), v.second);
        EXPECT_EQ(Base64Decode(v.second), v.first);
        EXPECT_EQ(EncodeStr(encTypeBase64, v.first), v.second);
    }
}

TEST(Base64, EveryByteRoundTripsAndLineBreaksAreSkipped)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    std::string enc = Base64Encode(all);
    EXPECT_EQ(enc.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(Base64Decode(enc), all);
    std::string broken = enc.substr(0, 40) + "\r\n" + enc.substr(40, 40) + " \n" + enc.substr(80);
    EXPECT_EQ(Base64Decode(broken), all);
    EXPECT_EQ(Base64Encode("user:pass"), "dXNlcjpwYXNz");
}

TEST(Base64, OtherLineEncodings)
{
    EXPECT_EQ(EncodeStr(encTypeUU, "Cat"), "#0V%T\r\n");
    EXPECT_EQ(DecodeStr(encTypeUU, "#0V%T\r\n"), "Cat");
    std::string text(100, 'q');
    std::string uu = EncodeStr(encTypeUU, text);
    EXPECT_EQ(uu[0], 'M');   // 45 bytes on a full line
    EXPECT_EQ(DecodeStr(encTypeUU, uu), text);
    std::string xx = EncodeStr(encTypeXX, text);
    EXPECT_EQ(xx[0], 'h');
    EXPECT_EQ(DecodeStr(encTypeXX, xx), text);
}
