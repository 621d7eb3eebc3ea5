// Request authentication and the reply token: each answer carries a token
// tied to the configured key, the client's address and the time of issue,
// and the next request must bring it back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/request_records.h"

namespace tolv {

// The configured TOKEN_KEY, TIME_INTERVAL and TOKEN_OPEN.
struct TokenSettings {
    std::string key;
    int32_t time_interval = 0;
    std::vector<std::string> open_functions;
};

// How a request got past the check.
enum class Admission : uint8_t {
    UNCHECKED,    // no TOKEN_KEY and no TIME_INTERVAL: nothing to check
    TOKEN,        // a valid token, or no token where only TIME_INTERVAL is set
    OPEN_CALL,    // no token, but a call of a TOKEN_OPEN function: signing in
};

// A token issued up to this many seconds "in the future" is still accepted:
// the servers behind a balancer may disagree a little about the time.
constexpr int64_t TOKEN_CLOCK_SKEW = 60;

// True when TOKEN_KEY is set or TIME_INTERVAL is 1 or more.
bool reply_token_configured(const TokenSettings& settings);

// Checks the request's token fields (CGI mode); raises 1775 "認証エラー" or
// "タイムアウト" on failure. With TIME_INTERVAL the age is counted from the
// whole issue time in the first field (under the MAC when keyed), so a token
// never comes back to life when the clock's low 16 bits wrap.
Admission authenticate_request(const TokenSettings& settings, const RequestFields& fields, const Ipv4& client,
                               int64_t now);

// The issue time (low 32 bits of the seconds) that a first field carries
// after its eight salt characters, or nothing when it carries none.
std::optional<uint32_t> token_issue_time(const std::string& first);

// The token of a first field for the time value t (0-65535): HMAC-SHA256
// keyed with TOKEN_KEY over the first field, the client's address and t, as
// unpadded URL-safe base64, then t as "%05d". Only the key's holder can make one.
std::string token_of(const TokenSettings& settings, const std::string& first, uint32_t t, const Ipv4& client);

// The first field of a fresh token: salt + seconds in hex (the key stays on the server).
std::string token_first_field(int64_t now, const Ipv4& client);

// "X" + first field + token, or "X" + "NG" twice when the request was refused.
void write_reply_token(const TokenSettings& settings, bool refused, const Ipv4& client, int64_t now);

}  // namespace tolv
