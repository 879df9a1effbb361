#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/Base64.h"
#include "net/Ntlm.h"

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

std::string Bytes(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

const std::array<uint8_t, 8> kChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

uint32_t Le16(const std::string& m, size_t at) { return uint8_t(m[at]) | (uint8_t(m[at + 1]) << 8); }
uint32_t Le32(const std::string& m, size_t at) { return Le16(m, at) | (Le16(m, at + 2) << 16); }

std::string Le16Str(uint16_t v) { return std::string{char(v & 0xff), char(v >> 8)}; }
std::string Le32Str(uint32_t v) { return Le16Str(uint16_t(v)) + Le16Str(uint16_t(v >> 16)); }

// A challenge message with a target name and a target-information block given raw.
std::string Challenge(const std::string& target, const std::string& info, bool withInfoHeader = true)
{
    size_t header = withInfoHeader ? 48 : 32;
    std::string m = std::string("NTLMSSP\0", 8) + Le32Str(2);
    m += Le16Str(uint16_t(target.size())) + Le16Str(uint16_t(target.size())) + Le32Str(uint32_t(header));
    m += Le32Str(0x8201);
    m += std::string(reinterpret_cast<const char*>(kChallenge.data()), 8);
    if (withInfoHeader) {
        m += std::string(8, '\0');
        m += Le16Str(uint16_t(info.size())) + Le16Str(uint16_t(info.size())) +
             Le32Str(uint32_t(header + target.size()));
    }
    return Base64Encode(m + target + info);
}

std::string Utf16(const std::string& ascii)
{
    std::string s;
    for (char c : ascii) {
        s += c;
        s += '\0';
    }
    return s;
}

}  // namespace

// The example of the widely published NTLM documentation: password
// "SecREt01", server challenge 0x0123456789abcdef.
TEST(NTLM, PublishedExampleHashesAndResponses)
{
    EXPECT_EQ(Hex(NtlmLmHash("SecREt01")), "ff3750bcc2b22412c2265b23734e0dac");
    EXPECT_EQ(Hex(NtlmLmResponse("SecREt01", kChallenge)), "c337cd5cbd44fc9782a667af6d427c6de67c20c2d3e77c56");
    EXPECT_EQ(Hex(NtlmNtHash("SecREt01")), "cd06ca7c7e10c99b1d33b7485a2ed808");
    EXPECT_EQ(Hex(NtlmNtResponse("SecREt01", kChallenge)), "25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6");
}

// The protocol document's NTLM v1 example: password "Password".
TEST(NTLM, ProtocolDocumentExample)
{
    EXPECT_EQ(Hex(NtlmLmHash("Password")), "e52cac67419a9a224a3b108f3fa6cb6d");
    EXPECT_EQ(Hex(NtlmNtHash("Password")), "a4f49c406510bdcab6824ee7c30fd852");
    EXPECT_EQ(Hex(NtlmLmResponse("Password", kChallenge)), "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13");
    EXPECT_EQ(Hex(NtlmNtResponse("Password", kChallenge)), "67c43011f30298a2ad35ece64f16331c44bdbed927841f94");
}

TEST(NTLM, EmptyPasswordAndLongPassword)
{
    // Fourteen zero bytes.
    EXPECT_EQ(Hex(NtlmLmHash("")), "aad3b435b51404eeaad3b435b51404ee");
    // Only the first 14 characters count for LM; all of them for NT.
    EXPECT_EQ(Hex(NtlmLmHash("abcdefghijklmnXYZ")), Hex(NtlmLmHash("ABCDEFGHIJKLMN")));
    EXPECT_NE(Hex(NtlmNtHash("abcdefghijklmnXYZ")), Hex(NtlmNtHash("abcdefghijklmn")));
}

TEST(NTLM, NonAsciiPasswordHashesItsUtf16Form)
{
    // MD4 of the UTF-16LE bytes of the Cyrillic "пароль" (computed independently).
    EXPECT_EQ(Hex(NtlmNtHash("\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c")), "507e3ee80df7db7c1fdd8d50ae8db606");
}

TEST(NTLM, NegotiateMessageByteForByte)
{
    // The client's own: empty domain and workstation, 32 bytes.
    EXPECT_EQ(Base64Decode(NtlmGetMessage1("", "")),
              Bytes("4e544c4d53535000" "01000000" "07820000" "0000000000000000" "0000000000000000"));
    EXPECT_EQ(NtlmGetMessage1("", ""), "TlRMTVNTUAABAAAAB4IAAAAAAAAAAAAAAAAAAAAAAAA=");

    // With both: workstation first, then domain, both upper case.
    std::string m = Base64Decode(NtlmGetMessage1("workstation", "Domain"));
    EXPECT_EQ(m, Bytes("4e544c4d53535000" "01000000" "07b20000"
                       "06000600" "2b000000"      // domain: 6 bytes at 32 + 11
                       "0b000b00" "20000000")     // workstation: 11 bytes at 32
                     + "WORKSTATIONDOMAIN");
}

TEST(NTLM, ChallengeMessageOfThePublishedExample)
{
    TNTLM_Msg2_Info info = NtlmGetMessage2(
        "TlRMTVNTUAACAAAADAAMADAAAAABAoEAASNFZ4mrze8AAAAAAAAAAGIAYgA8AAAARABPAE0AQQBJAE4AAgAMAEQATwBNAEEA"
        "SQBOAAEADABTAEUAUgBWAEUAUgAEABQAZABvAG0AYQBpAG4ALgBjAG8AbQADACIAcwBlAHIAdgBlAHIALgBkAG8AbQBhAGkA"
        "bgAuAGMAbwBtAAAAAAA=");
    ASSERT_TRUE(info.Valid);
    EXPECT_EQ(Hex(info.Challenge), "0123456789abcdef");
    EXPECT_EQ(info.Target, Utf16("DOMAIN"));   // copied unchanged
    EXPECT_EQ(info.ServerName, L"SERVER");
    EXPECT_EQ(info.DomainName, L"DOMAIN");
}

TEST(NTLM, ChallengeWithoutTargetInformation)
{
    TNTLM_Msg2_Info info = NtlmGetMessage2(Challenge("", "", false));
    ASSERT_TRUE(info.Valid);
    EXPECT_EQ(Hex(info.Challenge), "0123456789abcdef");
    EXPECT_TRUE(info.Target.empty());
    EXPECT_TRUE(info.ServerName.empty());
    EXPECT_TRUE(info.DomainName.empty());
}

TEST(NTLM, HostileChallengesNeverReadPastTheMessage)
{
    // Nothing, garbage, a truncated message, the wrong type.
    EXPECT_FALSE(NtlmGetMessage2("").Valid);
    EXPECT_FALSE(NtlmGetMessage2("!!!!").Valid);
    EXPECT_FALSE(NtlmGetMessage2(Base64Encode(std::string("NTLMSSP\0\2\0\0\0", 12))).Valid);
    EXPECT_FALSE(NtlmGetMessage2(NtlmGetMessage1("", "")).Valid);

    // Target name pointing far outside the message.
    std::string m = Base64Decode(Challenge("ABCD", ""));
    m.replace(16, 4, Le32Str(0x7ffffff0));
    TNTLM_Msg2_Info info = NtlmGetMessage2(Base64Encode(m));
    EXPECT_TRUE(info.Valid);
    EXPECT_TRUE(info.Target.empty());

    // Target name longer than what was received.
    m = Base64Decode(Challenge("ABCD", ""));
    m.replace(12, 2, Le16Str(0xffff));
    EXPECT_TRUE(NtlmGetMessage2(Base64Encode(m)).Target.empty());

    // A target-information item whose length runs past the block.
    std::string items = Le16Str(1) + Le16Str(4) + Utf16("AB") + Le16Str(2) + Le16Str(0xfff0) + "xy";
    info = NtlmGetMessage2(Challenge("", items));
    EXPECT_TRUE(info.Valid);
    EXPECT_EQ(info.ServerName, L"AB");
    EXPECT_TRUE(info.DomainName.empty());

    // A block length beyond the message, and an odd byte count.
    items = Le16Str(2) + Le16Str(3) + "abc";
    m = Base64Decode(Challenge("", items));
    m.replace(40, 2, Le16Str(0x4000));
    info = NtlmGetMessage2(Base64Encode(m));
    EXPECT_EQ(info.DomainName, std::wstring(1, wchar_t('a' | ('b' << 8))));

    // Every truncation of a good message is handled.
    std::string good = Base64Decode(Challenge("DOMAIN", Le16Str(1) + Le16Str(4) + Utf16("SV") + std::string(4, '\0')));
    for (size_t n = 0; n <= good.size(); ++n) {
        TNTLM_Msg2_Info t = NtlmGetMessage2(Base64Encode(good.substr(0, n)));
        EXPECT_EQ(t.Valid, n >= 32) << n;
    }
}

TEST(NTLM, AuthenticateMessageLayout)
{
    std::string m = Base64Decode(NtlmGetMessage3("", "HOST", "user", "SecREt01", kChallenge));
    ASSERT_EQ(m.size(), 64u + 0 + 8 + 8 + 24 + 24);
    EXPECT_EQ(m.substr(0, 8), std::string("NTLMSSP\0", 8));
    EXPECT_EQ(Le32(m, 8), 3u);
    // domain (empty) at 64, user, host, then the responses
    EXPECT_EQ(Le16(m, 28), 0u);
    EXPECT_EQ(Le32(m, 32), 64u);
    EXPECT_EQ(Le16(m, 36), 8u);
    EXPECT_EQ(Le16(m, 38), 8u);
    EXPECT_EQ(Le32(m, 40), 64u);
    EXPECT_EQ(Le16(m, 44), 8u);
    EXPECT_EQ(Le32(m, 48), 72u);
    EXPECT_EQ(Le16(m, 12), 24u);
    EXPECT_EQ(Le32(m, 16), 80u);
    EXPECT_EQ(Le16(m, 20), 24u);
    EXPECT_EQ(Le32(m, 24), 104u);
    EXPECT_EQ(m.substr(52, 8), std::string(8, '\0'));
    EXPECT_EQ(Le32(m, 60), 0x8205u);
    EXPECT_EQ(m.substr(64, 8), Utf16("user"));   // not upper-cased
    EXPECT_EQ(m.substr(72, 8), Utf16("HOST"));
    EXPECT_EQ(Hex(reinterpret_cast<const uint8_t*>(m.data() + 80), 24),
              "c337cd5cbd44fc9782a667af6d427c6de67c20c2d3e77c56");
    EXPECT_EQ(Hex(reinterpret_cast<const uint8_t*>(m.data() + 104), 24),
              "25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6");

    // Non-ASCII names travel as real UTF-16LE.
    m = Base64Decode(NtlmGetMessage3("D", "H", "\xc3\xa9", "p", kChallenge));
    EXPECT_EQ(Le16(m, 28), 2u);
    EXPECT_EQ(Le16(m, 36), 2u);
    EXPECT_EQ(m.substr(Le32(m, 40), 2), std::string("\xe9\0", 2));
}
