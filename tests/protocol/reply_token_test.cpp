#include "protocol/reply_token.h"

#include <gtest/gtest.h>

#include "host/config.h"
#include "host/journal.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"

namespace tolv {
namespace {

class ReplyToken : public ::testing::Test {
protected:
    void SetUp() override {
        heap_reset();
        seed_name_table();
        config_reset();
        journal_reset();
    }
    void TearDown() override { config_reset(); }

    // The error code and message of a refused request, or "" when accepted.
    static std::string check(const RequestFields& fields, const Ipv4& client, int64_t now) {
        try {
            authenticate_request(token_settings(), fields, client, now);
            return "";
        } catch (const ScriptThrow& thrown) {
            const uint8_t* record = value_ptr(thrown.value);
            std::string message = error_message(record);
            return std::string(error_code_text(record)) + " " + message.substr(message.find(" : ") + 3);
        }
    }
};

// Vectors computed with an independent HMAC-SHA256 and base64 implementation.
TEST_F(ReplyToken, MatchesKnownVectors) {
    g_config.token_key = "secret";
    const Ipv4 client{192, 168, 10, 5};
    const int64_t now = 1765000000;
    const std::string first = token_first_field(now, client);
    EXPECT_EQ(first, "30dMGJ3c6933c340");  // salt and hexadecimal time, no key
    EXPECT_EQ(token_of(token_settings(), first, uint32_t(now % 65536), client),
              "5dfYGdLOgPkj3fO7-ztrbk6oDTz6qIouQsPrvEsUgtk49984");
    EXPECT_EQ(token_of(TokenSettings{}, "ab", 12345, {127, 0, 0, 1}),
              "CiV_LxW9PGxAW_qmqI31Ni1SQF413rOwMHxswIzPqew12345");
}

TEST_F(ReplyToken, IssuedTokenIsAcceptedAndOthersRefused) {
    g_config.token_key = "key";
    g_config.time_interval = 30;
    const Ipv4 client{10, 1, 2, 3};
    const int64_t issued = 1765000000;
    const uint32_t t = uint32_t(issued % 65536);
    RequestFields fields;
    fields.has_token = true;
    fields.token_first = token_first_field(issued, client);
    fields.token = token_of(token_settings(), fields.token_first, t, client);

    EXPECT_EQ(check(fields, client, issued + 10), "");
    EXPECT_EQ(check(fields, client, issued + 31), "1775 タイムアウト");
    EXPECT_EQ(check(fields, Ipv4{10, 1, 2, 4}, issued + 10), "1775 認証エラー");

    RequestFields changed = fields;
    changed.token[3] = changed.token[3] == 'a' ? 'b' : 'a';
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
    changed = fields;
    changed.token_first[0] = changed.token_first[0] == 'X' ? 'Y' : 'X';
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
    // A client that knows everything but the key cannot make a token.
    changed = fields;
    changed.token = token_of(TokenSettings{"guess", 30}, fields.token_first, t, client);
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
    changed.token = token_of(TokenSettings{}, fields.token_first, t, client);
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
    changed.token = fields.token.substr(1);
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
}

TEST_F(ReplyToken, AgeCountsAcrossTheWrapOfTheLowBits) {
    g_config.time_interval = 30;
    RequestFields fields;
    fields.has_token = true;
    fields.token = "xx65530";  // issued at ...65530
    const int64_t wrapped = 65536 * 100 + 5;  // 11 seconds later, low bits wrapped
    EXPECT_EQ(check(fields, {}, wrapped), "");
    EXPECT_EQ(check(fields, {}, wrapped - 65536 + 20000), "1775 タイムアウト");
}

TEST_F(ReplyToken, MissingTokenWithAKeyIsRefused) {
    g_config.token_key = "key";
    EXPECT_EQ(check(RequestFields{}, {127, 0, 0, 1}, 1000), "1775 認証エラー");
    g_config.token_key.clear();
    g_config.time_interval = 5;
    RequestFields fields;
    fields.has_token = true;
    fields.token = "abc1x";
    EXPECT_EQ(check(fields, {}, 1000), "1775 認証エラー");
}

}  // namespace
}  // namespace tolv
