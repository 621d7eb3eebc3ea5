// SHA-256 and HMAC-SHA256 through libcrypto's plain digest functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tolv {

using Sha256Digest = std::array<uint8_t, 32>;

Sha256Digest sha256(const void* data, size_t length);
Sha256Digest hmac_sha256(const void* key, size_t key_length, const void* data, size_t length);

}  // namespace tolv
