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

// Vectors computed with an independent implementation of the generator and alphabets.
TEST_F(ReplyToken, MatchesKnownVectors) {
    g_config.token_key = "secret";
    const Ipv4 client{192, 168, 10, 5};
    const int64_t now = 1765000000;
    EXPECT_EQ(token_first_field(token_settings(), now, client), "secret30dMGJ3c6933c340");
    EXPECT_EQ(token_of("secret30dMGJ3c6933c340", uint32_t(now % 65536), client, 2048).value(),
              "8wFgxcfRKqCdmF9dJ6sHqdtPhOPyJJZ76O3O1g4JZsO2XyjSZd49984");
    // Characters outside the alphabet add nothing and trigger nothing.
    EXPECT_EQ(token_of("ab-c_d.e", 12345, {127, 0, 0, 1}, 2048).value(), "265Hn6HItRjh65OFKhOKszKeemMd12345");
}

TEST_F(ReplyToken, IssuedTokenIsAcceptedAndAChangedOneRefused) {
    g_config.token_key = "key";
    g_config.time_interval = 30;
    const Ipv4 client{10, 1, 2, 3};
    const int64_t issued = 1765000000;
    RequestFields fields;
    fields.has_token = true;
    fields.token_first = token_first_field(token_settings(), issued, client);
    fields.token = token_of(fields.token_first, uint32_t(issued % 65536), client, 2048).value();

    EXPECT_EQ(check(fields, client, issued + 10), "");
    EXPECT_EQ(check(fields, client, issued + 31), "1775 タイムアウト");
    EXPECT_EQ(check(fields, Ipv4{10, 1, 2, 4}, issued + 10), "1775 認証エラー");

    RequestFields changed = fields;
    changed.token[3] = changed.token[3] == 'a' ? 'b' : 'a';
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
    changed = fields;
    changed.token_first[0] = 'X';
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

TEST_F(ReplyToken, OverlongTokenIsNotProduced) {
    std::string long_text(5000, 'a');
    EXPECT_FALSE(token_of(long_text, 1, {}, 4096).has_value());
    EXPECT_TRUE(token_of(long_text.substr(0, 1000), 1, {}, 4096).has_value());
}

}  // namespace
}  // namespace tolv
