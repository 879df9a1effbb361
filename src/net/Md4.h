// The MD4 message digest (RFC 1320).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Exceptions.h"

class MD4Exception : public Exception {
public:
    using Exception::Exception;
};

using TMD4Digest = std::array<uint8_t, 16>;

class TMD4 {
public:
    void Init();
    // Update and Final before Init raise MD4Exception "MD4 not initialized".
    void Update(const void* data, size_t len);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest; the context must be initialised again before further use.
    TMD4Digest Final();

private:
    void Transform(const uint8_t block[64]);
    uint32_t state_[4] = {};
    uint64_t length_ = 0;   // bytes hashed
    uint8_t buffer_[64] = {};
    bool initialized_ = false;
};

// Digest of a byte string in one call.
TMD4Digest MD4String(std::string_view bytes);
