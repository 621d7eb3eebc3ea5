// Requests as the front end sends them: a top program, and the shop
// example's order.
#pragma once

#include <string>
#include <vector>

namespace tolv::tests {

// "P" + the counted top program text.
std::string top_program(const std::string& text);

// An order request for the shop example (examples/shop): customer Ann, 10 of
// each item; `token_fields` (a "Q" record) goes first.
std::string order_request(const std::vector<std::string>& codes, const std::string& token_fields = "");

}  // namespace tolv::tests
