// The reply token at the end of an answer, and the Q record that sends it back.
#pragma once

#include <string>

namespace tolv::tests {

// Splits the reply token record "X" + first field + token off the end of an
// answer; false when the answer does not end with one.
bool split_reply_token(const std::string& answer, std::string& before, std::string& first, std::string& token);

// The Q record that authenticates the next request with a token.
std::string token_record(const std::string& first, const std::string& token);

}  // namespace tolv::tests
