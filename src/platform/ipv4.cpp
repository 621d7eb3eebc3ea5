#include "platform/ipv4.h"

namespace tolv {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<Ipv4> parse_ipv4(const char* text, const char** end) {
    const char* p = text;
    while (*p != '\0' && !is_digit(*p)) ++p;
    Ipv4 address{};
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*p != '.') return std::nullopt;
            ++p;
        }
        if (!is_digit(*p)) return std::nullopt;
        unsigned value = 0;
        while (is_digit(*p)) {
            value = value * 10 + static_cast<unsigned>(*p - '0');
            if (value > 255) return std::nullopt;
            ++p;
        }
        address[static_cast<size_t>(part)] = static_cast<uint8_t>(value);
    }
    if (end != nullptr) *end = p;
    return address;
}

}  // namespace tolv
