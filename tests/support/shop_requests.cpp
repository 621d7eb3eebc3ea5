#include "support/shop_requests.h"

#include "support/runner_sandbox.h"

namespace tolv::tests {

std::string order_request(const std::vector<std::string>& codes, const std::string& token_fields) {
    std::string items;
    for (const std::string& code : codes) items += counted_text(code);
    return token_fields + top_program("order(customer, codes, quantity)") +
           counted_record('M', 1, counted_text("order.js")) +
           counted_record('S', 1, counted_text("customer") + counted_text("Ann")) +
           counted_record('I', 1, counted_text("quantity") + counted_number(10)) +
           counted_record('A', 1, "A" + counted_number(codes.size()) + counted_text("codes") + items);
}

}  // namespace tolv::tests
