// The shop example's order request, as the front end sends it.
#pragma once

#include <string>
#include <vector>

#include "support/request_records.h"

namespace tolv::tests {

// An order request for the shop example (examples/shop): customer Ann, 10 of
// each item; `token_fields` (a "Q" record) goes first.
std::string order_request(const std::vector<std::string>& codes, const std::string& token_fields = "");

}  // namespace tolv::tests
