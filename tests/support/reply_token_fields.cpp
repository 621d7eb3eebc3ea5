#include "support/reply_token_fields.h"

#include <cctype>

#include "support/runner_sandbox.h"

namespace tolv::tests {

bool split_reply_token(const std::string& answer, std::string& before, std::string& first, std::string& token) {
    size_t at = answer.rfind('X');
    while (at != std::string::npos) {
        size_t p = at + 1;
        auto field = [&](std::string& out) {
            if (p >= answer.size() || answer[p] < '1' || answer[p] > '9') return false;
            size_t digits = size_t(answer[p] - '0'), length = 0;
            for (size_t i = 1; i <= digits; ++i) {
                if (p + i >= answer.size() || !std::isdigit(static_cast<unsigned char>(answer[p + i]))) return false;
                length = length * 10 + size_t(answer[p + i] - '0');
            }
            out = answer.substr(p + 1 + digits, length);
            p += 1 + digits + length;
            return out.size() == length;
        };
        if (field(first) && field(token) && p == answer.size()) {
            before = answer.substr(0, at);
            return true;
        }
        at = at == 0 ? std::string::npos : answer.rfind('X', at - 1);
    }
    return false;
}

std::string token_record(const std::string& first, const std::string& token) {
    return "Q" + counted_text(first) + counted_text(token);
}

}  // namespace tolv::tests
