#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace tolv {
namespace {

std::string hex(const Sha256Digest& digest) {
    static const char HEX[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += HEX[byte >> 4];
        text += HEX[byte & 15];
    }
    return text;
}

TEST(Sha256, PublishedDigests) {
    EXPECT_EQ(hex(sha256("", 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(sha256("abc", 3)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// Keys shorter than, equal to and longer than the 64-byte block (longer ones
// are hashed first), and the empty key.
TEST(Sha256, PublishedHmacVectors) {
    struct Case {
        std::string key, data, mac;
    } cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"Jefe", "what do ya want for nothing?", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {std::string(64, 'k'), "block", "1b7ee2f78bbad5f9d29e0b4e5f639ae046d13e1763f1ebc7a439089c128f294a"},
        {"", "", "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
    };
    for (const Case& c : cases) {
        std::string mac = hex(hmac_sha256(c.key.data(), c.key.size(), c.data.data(), c.data.size()));
        EXPECT_EQ(mac, c.mac) << c.data;
    }
}

}  // namespace
}  // namespace tolv
