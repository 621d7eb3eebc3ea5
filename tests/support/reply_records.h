// Requests and answers as the front end sends and reads them: the shop
// example's order request and the reply token at the end of an answer.
#pragma once

#include <string>
#include <vector>

namespace tolv::testing {

// "P" + the counted top program text.
std::string top_program(const std::string& text);

// An order request for the shop example (examples/shop): customer Ann, 10 of
// each item; `token_fields` (a "Q" record) goes first.
std::string order_request(const std::vector<std::string>& codes, const std::string& token_fields = "");

// Splits the reply token record "X" + first field + token off the end of an answer.
bool split_reply_token(const std::string& answer, std::string& before, std::string& first, std::string& token);

}  // namespace tolv::testing
