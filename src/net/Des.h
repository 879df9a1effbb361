// DES (FIPS 46) single-block encryption, as the LM and NT responses need it.
#pragma once
#include <array>
#include <cstdint>

using TDesBlock = std::array<uint8_t, 8>;

// Encrypts one 8-byte block with an 8-byte key (parity bits ignored).
TDesBlock DesEncryptBlock(const TDesBlock& data, const TDesBlock& key);
// Spreads 56 key bits (7 bytes) over 8 bytes: each byte holds 7 bits in its
// high bits and an odd-parity bit at the bottom.
TDesBlock DesExpandKey(const uint8_t key7[7]);
