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
    changed.token = token_of(TokenSettings{"guess", 30, {}}, fields.token_first, t, client);
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
    changed.token = token_of(TokenSettings{}, fields.token_first, t, client);
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
    changed.token = fields.token.substr(1);
    EXPECT_EQ(check(changed, client, issued + 10), "1775 認証エラー");
}

// A token as the runner issues it at `issued`, for `client`.
RequestFields issued_token(int64_t issued, const Ipv4& client) {
    RequestFields fields;
    fields.has_token = true;
    fields.token_first = token_first_field(issued, client);
    fields.token = token_of(token_settings(), fields.token_first, uint32_t(issued % 65536), client);
    return fields;
}

// The age counts from the whole issue time in the first field: a token
// refused once stays refused when the clock's low 16 bits come round again.
TEST_F(ReplyToken, AgeCountsFromTheWholeIssueTime) {
    const Ipv4 client{10, 1, 2, 3};
    const int64_t issued = 65536 * 100 - 5;  // the low 16 bits wrap 5 s later
    for (bool keyed : {true, false}) {
        g_config.token_key = keyed ? "key" : "";
        g_config.time_interval = 600;
        RequestFields fields = issued_token(issued, client);
        SCOPED_TRACE(keyed);
        EXPECT_EQ(check(fields, client, issued + 11), "");
        EXPECT_EQ(check(fields, client, issued + 601), "1775 タイムアウト");
        for (int64_t later : {int64_t(65536), int64_t(65536) * 2, int64_t(65536) * 1000})
            EXPECT_EQ(check(fields, client, issued + later), "1775 タイムアウト") << later;
        // Issued in the future beyond the allowance for the servers' clocks.
        EXPECT_EQ(check(fields, client, issued - TOKEN_CLOCK_SKEW), "");
        EXPECT_EQ(check(fields, client, issued - TOKEN_CLOCK_SKEW - 1), "1775 タイムアウト");
    }
}

// Every edge of the age and of the token's length, with a key and without
// TIME_INTERVAL, and with both.
TEST_F(ReplyToken, AgeAndLengthEdges) {
    const Ipv4 client{10, 1, 2, 3};
    const int64_t issued = 1765000000;
    g_config.token_key = "key";
    g_config.time_interval = 30;
    const RequestFields fields = issued_token(issued, client);
    struct Age {
        int64_t age;
        const char* expected;
    };
    for (Age a : {Age{29, ""}, Age{30, ""}, Age{31, "1775 タイムアウト"}})
        EXPECT_EQ(check(fields, client, issued + a.age), a.expected) << a.age;

    for (int32_t interval : {0, 30}) {
        g_config.time_interval = interval;
        const RequestFields good = issued_token(issued, client);
        RequestFields changed = good;
        const std::string& token = good.token;
        const std::string variants[] = {
            "",                                            // empty
            token.substr(1),                               // one character short
            token.substr(0, 1) + token,                    // one character long, the tail intact
            token.substr(0, token.size() - 6) + token.substr(token.size() - 5),  // short before the tail
            token + "0",                                   // one character long at the end
        };
        EXPECT_EQ(check(good, client, issued + 1), "") << interval;
        for (const std::string& variant : variants) {
            changed.token = variant;
            EXPECT_EQ(check(changed, client, issued + 1), "1775 認証エラー") << interval << " '" << variant << "'";
        }
    }
}

// With TIME_INTERVAL the first field must carry a readable issue time that
// agrees with the token's tail, keyed or not.
TEST_F(ReplyToken, FirstFieldWithoutItsTimeIsRefused) {
    const Ipv4 client{10, 1, 2, 3};
    const int64_t issued = 1765000000;
    g_config.time_interval = 30;
    const RequestFields good = issued_token(issued, client);
    EXPECT_EQ(check(good, client, issued + 1), "");
    const std::string salt = good.token_first.substr(0, 8);
    for (const std::string& first : {std::string(""), salt, salt + "zz", salt + "6933C340", salt + "16933c340",
                                     salt + "6933c341", "x" + good.token_first}) {
        RequestFields changed = good;
        changed.token_first = first;
        EXPECT_EQ(check(changed, client, issued + 1), "1775 認証エラー") << first;
    }
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

// Without a token, only a plain call of a TOKEN_OPEN function gets in: its
// arguments can name values but never call anything.
TEST_F(ReplyToken, OpenFunctionsSignInWithoutAToken) {
    g_config.token_key = "key";
    g_config.open_functions = {"login", "signup"};
    struct Case {
        const char* top;
        bool admitted;
    };
    const Case cases[] = {
        {"login()", true},
        {"login(name, pw)", true},
        {" signup ( 'ann' , \"x y\", 12, -3.5 ) ; ", true},
        {"login(name, pw);", true},
        {"main(name)", false},
        {"loginx(name)", false},
        {"xlogin(name)", false},
        {"login(deleteAll())", false},
        {"login(name); deleteAll()", false},
        {"login(name) + deleteAll()", false},
        {"login(a.b)", false},
        {"login(a[0])", false},
        {"login('a\\'+x()+'')", false},
        {"login(`${x()}`)", false},
        {"login(\"a\" + x())", false},
        {"obj.login(name)", false},
        {"login", false},
        {"login(name", false},
        {"", false},
    };
    for (const Case& c : cases) {
        RequestFields fields;
        fields.top_program = c.top;
        fields.has_top_program = true;
        EXPECT_EQ(check(fields, {127, 0, 0, 1}, 1000), c.admitted ? "" : "1775 認証エラー") << c.top;
    }
    RequestFields fields;
    fields.top_program = "login(name)";
    EXPECT_EQ(authenticate_request(token_settings(), fields, {127, 0, 0, 1}, 1000), Admission::OPEN_CALL);
    // A token that is sent is checked, whatever the call.
    fields.has_token = true;
    fields.token = "forged00000";
    EXPECT_EQ(check(fields, {127, 0, 0, 1}, 1000), "1775 認証エラー");
}

}  // namespace
}  // namespace tolv
