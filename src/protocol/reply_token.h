// Request authentication and the reply token: each answer carries a token
// tied to the configured key, the client's address and the time of issue,
// and the next request must bring it back.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ipv4.h"
#include "protocol/request_records.h"

namespace tolv {

// The configured TOKEN_KEY and TIME_INTERVAL.
struct TokenSettings {
    std::string key;
    int32_t time_interval = 0;
};

// True when TOKEN_KEY is set or TIME_INTERVAL is 1 or more.
bool reply_token_configured(const TokenSettings& settings);

// Checks the request's token fields (CGI mode); raises 1775 "認証エラー" or
// "タイムアウト" on failure.
void authenticate_request(const TokenSettings& settings, const RequestFields& fields, const Ipv4& client, int64_t now);

// The token of a first field for the time value t (0-65535): HMAC-SHA256
// keyed with TOKEN_KEY over the first field, the client's address and t, as
// unpadded URL-safe base64, then t as "%05d". Only the key's holder can make one.
std::string token_of(const TokenSettings& settings, const std::string& first, uint32_t t, const Ipv4& client);

// The first field of a fresh token: salt + seconds in hex (the key stays on the server).
std::string token_first_field(int64_t now, const Ipv4& client);

// "X" + first field + token, or "X" + "NG" twice when the request was refused.
void write_reply_token(const TokenSettings& settings, bool refused, const Ipv4& client, int64_t now);

}  // namespace tolv
