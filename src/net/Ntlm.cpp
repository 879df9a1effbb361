#include "net/Ntlm.h"

#include <windows.h>

#include <cstring>

#include "net/Base64.h"
#include "net/Des.h"
#include "net/Md4.h"
#include "platform/Text.h"

namespace {

const char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};

void Put16(std::string& m, size_t at, uint32_t v)
{
    m[at] = char(v & 0xFF);
    m[at + 1] = char((v >> 8) & 0xFF);
}

void Put32(std::string& m, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

// A security buffer: length, maximum length, offset.
void PutBuffer(std::string& m, size_t at, size_t len, size_t offset)
{
    Put16(m, at, uint32_t(len));
    Put16(m, at + 2, uint32_t(len));
    Put32(m, at + 4, uint32_t(offset));
}

uint32_t Get16(const std::string& m, size_t at)
{
    return uint32_t(uint8_t(m[at])) | (uint32_t(uint8_t(m[at + 1])) << 8);
}

uint32_t Get32(const std::string& m, size_t at) { return Get16(m, at) | (Get16(m, at + 2) << 16); }

std::string Utf16Le(const std::string& utf8)
{
    std::wstring w = Utf8ToWide(utf8);
    std::string out;
    out.reserve(w.size() * 2);
    for (wchar_t c : w) {
        out += char(uint16_t(c) & 0xFF);
        out += char((uint16_t(c) >> 8) & 0xFF);
    }
    return out;
}

std::wstring FromUtf16Le(const std::string& m, size_t at, size_t len)
{
    std::wstring w;
    for (size_t i = 0; i + 1 < len; i += 2)
        w += wchar_t(Get16(m, at + i));
    return w;
}

// The OEM bytes of a text, upper case.
std::string OemUpper(const std::string& utf8) { return Utf8ToCodePage(UpperCase(utf8), CP_OEMCP); }

TNtlmResponse Respond(const uint8_t hash16[16], const std::array<uint8_t, 8>& challenge)
{
    uint8_t key21[21] = {};
    std::memcpy(key21, hash16, 16);
    TDesBlock data;
    std::memcpy(data.data(), challenge.data(), 8);
    TNtlmResponse out;
    for (int i = 0; i < 3; ++i) {
        TDesBlock r = DesEncryptBlock(data, DesExpandKey(key21 + 7 * i));
        std::memcpy(out.data() + 8 * i, r.data(), 8);
    }
    return out;
}

}  // namespace

std::array<uint8_t, 16> NtlmLmHash(const std::string& password)
{
    uint8_t pw[14] = {};
    std::string oem = OemUpper(password);
    std::memcpy(pw, oem.data(), oem.size() < 14 ? oem.size() : 14);
    const TDesBlock magic = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
    std::array<uint8_t, 16> hash;
    TDesBlock a = DesEncryptBlock(magic, DesExpandKey(pw));
    TDesBlock b = DesEncryptBlock(magic, DesExpandKey(pw + 7));
    std::memcpy(hash.data(), a.data(), 8);
    std::memcpy(hash.data() + 8, b.data(), 8);
    return hash;
}

std::array<uint8_t, 16> NtlmNtHash(const std::string& password) { return MD4String(Utf16Le(password)); }

TNtlmResponse NtlmLmResponse(const std::string& password, const std::array<uint8_t, 8>& challenge)
{
    return Respond(NtlmLmHash(password).data(), challenge);
}

TNtlmResponse NtlmNtResponse(const std::string& password, const std::array<uint8_t, 8>& challenge)
{
    return Respond(NtlmNtHash(password).data(), challenge);
}

std::string NtlmGetMessage1(const std::string& workstation, const std::string& domain)
{
    std::string ws = Utf8ToCodePage(AsciiUpper(workstation), CP_OEMCP);
    std::string dom = Utf8ToCodePage(AsciiUpper(domain), CP_OEMCP);
    std::string m(32, '\0');
    std::memcpy(m.data(), kSignature, 8);
    Put32(m, 8, 1);
    uint32_t flags = 0x8207;
    if (!ws.empty())
        flags += 0x2000;
    if (!dom.empty())
        flags += 0x1000;
    Put32(m, 12, flags);
    if (!dom.empty())
        PutBuffer(m, 16, dom.size(), 32 + ws.size());
    if (!ws.empty())
        PutBuffer(m, 24, ws.size(), 32);
    m += ws;
    m += dom;
    return Base64Encode(m);
}

TNTLM_Msg2_Info NtlmGetMessage2(const std::string& base64)
{
    TNTLM_Msg2_Info info;
    std::string m = Base64Decode(base64);
    // Signature, type and the challenge must all be there.
    if (m.size() < 32 || std::memcmp(m.data(), kSignature, 8) != 0 || Get32(m, 8) != 2)
        return info;
    std::memcpy(info.Challenge.data(), m.data() + 24, 8);
    info.Valid = true;

    // Every buffer is checked against what was received before it is read.
    size_t nameLen = Get16(m, 12);
    size_t nameOff = Get32(m, 16);
    if (nameLen > 0 && nameOff <= m.size() && nameLen <= m.size() - nameOff)
        info.Target = m.substr(nameOff, nameLen);

    if (m.size() >= 48) {
        size_t infoLen = Get16(m, 40);
        size_t infoOff = Get32(m, 44);
        if (infoOff <= m.size()) {
            size_t end = infoOff + (infoLen <= m.size() - infoOff ? infoLen : m.size() - infoOff);
            size_t p = infoOff;
            while (p + 4 <= end) {
                uint32_t type = Get16(m, p);
                size_t len = Get16(m, p + 2);
                if (type == 0 && len == 0)
                    break;
                p += 4;
                if (len > end - p)
                    break;   // an item that runs past the block ends the scan
                if (type == 1)
                    info.ServerName = FromUtf16Le(m, p, len);
                else if (type == 2)
                    info.DomainName = FromUtf16Le(m, p, len);
                p += len;
            }
        }
    }
    return info;
}

std::string NtlmGetMessage3(const std::string& domain, const std::string& host, const std::string& user,
                            const std::string& password, const std::array<uint8_t, 8>& challenge)
{
    std::string dom = Utf16Le(domain);
    std::string usr = Utf16Le(user);
    std::string hst = Utf16Le(host);
    TNtlmResponse lm = NtlmLmResponse(password, challenge);
    TNtlmResponse nt = NtlmNtResponse(password, challenge);

    const size_t domOff = 64;
    const size_t usrOff = domOff + dom.size();
    const size_t hstOff = usrOff + usr.size();
    const size_t lmOff = hstOff + hst.size();
    const size_t ntOff = lmOff + 24;

    std::string m(64, '\0');
    std::memcpy(m.data(), kSignature, 8);
    Put32(m, 8, 3);
    PutBuffer(m, 12, 24, lmOff);
    PutBuffer(m, 20, 24, ntOff);
    PutBuffer(m, 28, dom.size(), domOff);
    PutBuffer(m, 36, usr.size(), usrOff);
    PutBuffer(m, 44, hst.size(), hstOff);
    // 52: the session key buffer stays zero.
    Put32(m, 60, 0x8205);
    m += dom;
    m += usr;
    m += hst;
    m.append(reinterpret_cast<const char*>(lm.data()), lm.size());
    m.append(reinterpret_cast<const char*>(nt.data()), nt.size());
    return Base64Encode(m);
}
