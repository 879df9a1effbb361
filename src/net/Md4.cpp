#include "net/Md4.h"

#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }

}  // namespace

void TMD4::Init()
{
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    length_ = 0;
    std::memset(buffer_, 0, sizeof buffer_);
    initialized_ = true;
}

void TMD4::Transform(const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = uint32_t(block[i * 4]) | (uint32_t(block[i * 4 + 1]) << 8) | (uint32_t(block[i * 4 + 2]) << 16) |
               (uint32_t(block[i * 4 + 3]) << 24);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

    static const int r1[4] = {3, 7, 11, 19};
    for (int i = 0; i < 16; ++i) {
        uint32_t t = a + F(b, c, d) + x[i];
        a = d;
        d = c;
        c = b;
        b = Rotl(t, r1[i % 4]);
    }
    static const int r2[4] = {3, 5, 9, 13};
    static const int order2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
    for (int i = 0; i < 16; ++i) {
        uint32_t t = a + G(b, c, d) + x[order2[i]] + 0x5a827999;
        a = d;
        d = c;
        c = b;
        b = Rotl(t, r2[i % 4]);
    }
    static const int r3[4] = {3, 9, 11, 15};
    static const int order3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int i = 0; i < 16; ++i) {
        uint32_t t = a + H(b, c, d) + x[order3[i]] + 0x6ed9eba1;
        a = d;
        d = c;
        c = b;
        b = Rotl(t, r3[i % 4]);
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void TMD4::Update(const void* data, size_t len)
{
    if (!initialized_)
        throw MD4Exception("MD4 not initialized");
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t used = static_cast<size_t>(length_ % 64);
    length_ += len;
    if (used) {
        size_t take = 64 - used;
        if (len < take) {
            std::memcpy(buffer_ + used, p, len);
            return;
        }
        std::memcpy(buffer_ + used, p, take);
        Transform(buffer_);
        p += take;
        len -= take;
    }
    while (len >= 64) {
        Transform(p);
        p += 64;
        len -= 64;
    }
    if (len)
        std::memcpy(buffer_, p, len);
}

TMD4Digest TMD4::Final()
{
    if (!initialized_)
        throw MD4Exception("MD4 not initialized");
    uint64_t bits = length_ * 8;
    uint8_t pad[72] = {0x80};
    size_t used = static_cast<size_t>(length_ % 64);
    size_t padLen = used < 56 ? 56 - used : 120 - used;
    uint8_t lenBytes[8];
    for (int i = 0; i < 8; ++i)
        lenBytes[i] = uint8_t(bits >> (8 * i));
    Update(pad, padLen);
    Update(lenBytes, 8);
    TMD4Digest out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[size_t(i * 4 + j)] = uint8_t(state_[i] >> (8 * j));
    initialized_ = false;
    std::memset(buffer_, 0, sizeof buffer_);
    return out;
}

TMD4Digest MD4String(std::string_view bytes)
{
    TMD4 md;
    md.Init();
    md.Update(bytes);
    return md.Final();
}
