#include "protocol/reply_token.h"

#include <openssl/crypto.h>

#include <cstdio>

#include "platform/msvc_rand.h"
#include "platform/sha256.h"
#include "protocol/open_call.h"
#include "protocol/answer.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

const char SALT_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const char URL_SAFE_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
// A first field longer than any the runner issues is refused before it is hashed.
constexpr size_t FIRST_FIELD_LIMIT = 4096;

void draw(MsvcRand& rand, const char* alphabet, int count, std::string& out) {
    for (int i = 0; i < count; ++i) out += alphabet[int(rand.next() / 32767.0 * 61)];
}

// Unpadded base64 with "-" and "_": travels in a counted text unescaped.
std::string url_safe_text(const unsigned char* bytes, size_t length) {
    std::string out;
    uint32_t bits = 0;
    int held = 0;
    for (size_t i = 0; i < length; ++i) {
        bits = bits << 8 | bytes[i];
        held += 8;
        while (held >= 6) {
            held -= 6;
            out += URL_SAFE_ALPHABET[(bits >> held) & 63];
        }
    }
    if (held > 0) out += URL_SAFE_ALPHABET[(bits << (6 - held)) & 63];
    return out;
}

std::string time_tail(uint32_t t) {
    char tail[16];
    std::snprintf(tail, sizeof tail, "%05u", t);
    return tail;
}

}  // namespace

bool reply_token_configured(const TokenSettings& settings) {
    return !settings.key.empty() || settings.time_interval >= 1;
}

std::string token_of(const TokenSettings& settings, const std::string& first, uint32_t t, const Ipv4& a) {
    // The MAC covers the first field, the client's address and the time
    // text, each part fixed in length or ended, so no two inputs run together.
    const std::string tail = time_tail(t);
    std::string message = first;
    message += '\0';
    message.append(reinterpret_cast<const char*>(a.data()), a.size());
    message += tail;
    const Sha256Digest mac = hmac_sha256(settings.key.data(), settings.key.size(), message.data(), message.size());
    return url_safe_text(mac.data(), mac.size()) + tail;
}

std::string token_first_field(int64_t now, const Ipv4& a) {
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
    return salt + seconds;
}

std::optional<uint32_t> token_issue_time(const std::string& first) {
    constexpr size_t SALT_LENGTH = 8;
    if (first.size() <= SALT_LENGTH || first.size() > SALT_LENGTH + 8) return std::nullopt;
    uint32_t seconds = 0;
    for (size_t i = SALT_LENGTH; i < first.size(); ++i) {
        char c = first[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = uint32_t(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = uint32_t(c - 'a' + 10);
        } else {
            return std::nullopt;
        }
        seconds = seconds << 4 | digit;
    }
    return seconds;
}

Admission authenticate_request(const TokenSettings& settings, const RequestFields& fields, const Ipv4& client,
                               int64_t now) {
    const bool keyed = !settings.key.empty();
    const bool timed = settings.time_interval >= 1;
    if (!keyed && !timed) return Admission::UNCHECKED;
    if (!fields.has_token) {
        if (!keyed) return Admission::TOKEN;
        if (is_open_call(fields.top_program, settings.open_functions)) return Admission::OPEN_CALL;
        raise(Error::AUTHENTICATION_FAILED);
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
        if (!digits_only) raise(Error::AUTHENTICATION_FAILED);
        std::optional<uint32_t> issued = token_issue_time(fields.token_first);
        if (!issued || *issued % 65536u != t) raise(Error::AUTHENTICATION_FAILED);
        // Differences of the 32-bit times stay right across their wrap in 2106.
        int64_t age = int32_t(uint32_t(now) - *issued);
        if (age > settings.time_interval || age < -TOKEN_CLOCK_SKEW) raise(Error::TOKEN_EXPIRED);
    }
    if (keyed) {
        if (fields.token_first.size() > FIRST_FIELD_LIMIT) raise(Error::AUTHENTICATION_FAILED);
        const std::string expected = token_of(settings, fields.token_first, t, client);
        if (expected.size() != token.size() || CRYPTO_memcmp(expected.data(), token.data(), token.size()) != 0) {
            raise(Error::AUTHENTICATION_FAILED);
        }
    }
    return Admission::TOKEN;
}

void write_reply_token(const TokenSettings& settings, bool refused, const Ipv4& client, int64_t now) {
    TextBuffer record;
    record.append_char('X');
    if (refused) {
        put_counted_text(record, "NG", 2);
        put_counted_text(record, "NG", 2);
    } else {
        const std::string first = token_first_field(now, client);
        const std::string token = token_of(settings, first, uint32_t(now % 65536), client);
        put_counted_text(record, first.data(), first.size());
        put_counted_text(record, token.data(), token.size());
    }
    answer_write(record.data(), record.size());
}

}  // namespace tolv
