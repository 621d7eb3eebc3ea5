// libcrypto's EVP layer would set up its provider machinery (and read the
// OpenSSL configuration file) on first use, and linking it pulls in most of
// the library: every request pays for that at start. The plain SHA-256
// functions are all the runner needs.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "platform/sha256.h"

#include <openssl/sha.h>

#include <cstring>

namespace tolv {

namespace {
constexpr size_t BLOCK = SHA256_CBLOCK;
}  // namespace

Sha256Digest sha256(const void* data, size_t length) {
    SHA256_CTX context;
    Sha256Digest digest;
    SHA256_Init(&context);
    SHA256_Update(&context, data, length);
    SHA256_Final(digest.data(), &context);
    return digest;
}

Sha256Digest hmac_sha256(const void* key, size_t key_length, const void* data, size_t length) {
    uint8_t block_key[BLOCK] = {};
    if (key_length > BLOCK) {
        Sha256Digest hashed = sha256(key, key_length);
        std::memcpy(block_key, hashed.data(), hashed.size());
    } else if (key_length > 0) {
        std::memcpy(block_key, key, key_length);
    }
    uint8_t pad[BLOCK];
    SHA256_CTX context;
    Sha256Digest inner;
    for (size_t i = 0; i < BLOCK; ++i) pad[i] = block_key[i] ^ 0x36;
    SHA256_Init(&context);
    SHA256_Update(&context, pad, BLOCK);
    SHA256_Update(&context, data, length);
    SHA256_Final(inner.data(), &context);

    Sha256Digest outer;
    for (size_t i = 0; i < BLOCK; ++i) pad[i] = block_key[i] ^ 0x5c;
    SHA256_Init(&context);
    SHA256_Update(&context, pad, BLOCK);
    SHA256_Update(&context, inner.data(), inner.size());
    SHA256_Final(outer.data(), &context);
    return outer;
}

}  // namespace tolv
