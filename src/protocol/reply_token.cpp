#include "protocol/reply_token.h"

#include <cstdio>

#include "platform/msvc_rand.h"
#include "protocol/answer.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

const char SALT_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const char TOKEN_ALPHABET[] = "jklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghi";
constexpr size_t ISSUE_LIMIT = 2048;
constexpr size_t CHECK_LIMIT = 4096;

void draw(MsvcRand& rand, const char* alphabet, int count, std::string& out) {
    for (int i = 0; i < count; ++i) out += alphabet[int(rand.next() / 32767.0 * 61)];
}

// Value of a token character: A-Z 0-25, a-z 26-51, 0-9 52-61, '-' 62, '_' 63; -1 otherwise.
int six_bit_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

[[noreturn]] void refuse(const char* message) { eval_fail(1775, "%s", message); }

}  // namespace

bool reply_token_configured(const TokenSettings& settings) {
    return !settings.key.empty() || settings.time_interval >= 1;
}

std::optional<std::string> token_of(const std::string& text, uint32_t t, const Ipv4& a, size_t limit) {
    MsvcRand rand;
    std::string token;
    uint32_t bits = 0;
    for (size_t p = 1; p <= text.size(); ++p) {
        int value = six_bit_value(text[p - 1]);
        if (value < 0) continue;
        bits = bits << 6 | uint32_t(value);
        if (p % 4 == 0) {
            rand.seed(bits | t << 24);
            draw(rand, TOKEN_ALPHABET, 6, token);
            bits = 0;
        }
        if (token.size() + 32 > limit) return std::nullopt;
    }
    if (bits != 0) {
        rand.seed(bits | t << 24);
        draw(rand, TOKEN_ALPHABET, int(2 * (text.size() % 4)), token);
    }
    rand.seed(uint32_t(a[0]) << 8 | a[1] | t << 16);
    draw(rand, TOKEN_ALPHABET, 8, token);
    rand.seed(uint32_t(a[2]) << 8 | a[3] | t << 16);
    draw(rand, TOKEN_ALPHABET, 8, token);
    char tail[8];
    std::snprintf(tail, sizeof tail, "%05u", t);
    token += tail;
    if (token.size() >= limit) return std::nullopt;
    return token;
}

std::string token_first_field(const TokenSettings& settings, int64_t now, const Ipv4& a) {
    uint32_t t = uint32_t(now % 65536);
    uint32_t u = (t * 9878u) % 65536u;
    MsvcRand rand;
    std::string salt;
    rand.seed(uint32_t(a[0]) << 8 | u | a[1]);
    draw(rand, SALT_ALPHABET, 4, salt);
    rand.seed(uint32_t(a[2]) << 8 | u | a[3]);
    draw(rand, SALT_ALPHABET, 4, salt);
    char seconds[16];
    std::snprintf(seconds, sizeof seconds, "%lx", static_cast<unsigned long>(uint32_t(now)));
    return settings.key + salt + seconds;
}

void authenticate_request(const TokenSettings& settings, const RequestFields& fields, const Ipv4& client,
                          int64_t now) {
    const bool keyed = !settings.key.empty();
    const bool timed = settings.time_interval >= 1;
    if (!keyed && !timed) return;
    if (!fields.has_token) {
        if (keyed) refuse("認証エラー");
        return;
    }
    const std::string& token = fields.token;
    std::string tail = token.size() >= 5 ? token.substr(token.size() - 5) : token;
    uint32_t t = 0;
    bool digits_only = !tail.empty();
    for (char c : tail) {
        if (c < '0' || c > '9') {
            digits_only = false;
            break;
        }
        t = t * 10 + uint32_t(c - '0');
    }
    if (timed) {
        if (!digits_only) refuse("認証エラー");
        // The age counts modulo 65536, so a token issued just before the
        // clock's low 16 bits wrap is neither refused nor valid forever.
        uint32_t age = (uint32_t(now % 65536) + 65536u - (t % 65536u)) % 65536u;
        if (age > uint32_t(settings.time_interval)) refuse("タイムアウト");
    }
    if (keyed) {
        std::optional<std::string> expected = token_of(fields.token_first, t, client, CHECK_LIMIT);
        if (!expected || *expected != token) refuse("認証エラー");
    }
}

void write_reply_token(const TokenSettings& settings, bool refused, const Ipv4& client, int64_t now) {
    TextBuffer record;
    record.append_char('X');
    std::optional<std::string> token;
    std::string first;
    if (!refused) {
        first = token_first_field(settings, now, client);
        token = token_of(first, uint32_t(now % 65536), client, ISSUE_LIMIT);
    }
    if (token) {
        put_counted_text(record, first.data(), first.size());
        put_counted_text(record, token->data(), token->size());
    } else {
        put_counted_text(record, "NG", 2);
        put_counted_text(record, "NG", 2);
    }
    answer_write(record.data(), record.size());
}

}  // namespace tolv
