#include "platform/ipv4.h"

namespace tolv {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

uint32_t as_number(const Ipv4& address) {
    return uint32_t(address[0]) << 24 | uint32_t(address[1]) << 16 | uint32_t(address[2]) << 8 | address[3];
}

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

std::optional<Ipv4> parse_ipv4_exact(std::string_view text) {
    Ipv4 address{};
    size_t at = 0;
    for (size_t part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return std::nullopt;
            ++at;
        }
        size_t start = at;
        unsigned value = 0;
        while (at < text.size() && is_digit(text[at]) && at - start < 3) {
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
        }
        size_t digits = at - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
        address[part] = static_cast<uint8_t>(value);
    }
    if (at != text.size()) return std::nullopt;
    return address;
}

bool Ipv4Range::contains(const Ipv4& address) const {
    if (prefix == 0) return true;
    uint32_t mask = ~uint32_t(0) << (32 - prefix);
    return (as_number(address) & mask) == (as_number(base) & mask);
}

std::optional<Ipv4Range> parse_ipv4_range(std::string_view text) {
    Ipv4Range range;
    size_t slash = text.find('/');
    std::optional<Ipv4> base = parse_ipv4_exact(text.substr(0, slash));
    if (!base) return std::nullopt;
    range.base = *base;
    if (slash == std::string_view::npos) return range;
    std::string_view bits = text.substr(slash + 1);
    if (bits.empty() || bits.size() > 2 || (bits.size() == 2 && bits[0] == '0')) return std::nullopt;
    int prefix = 0;
    for (char c : bits) {
        if (!is_digit(c)) return std::nullopt;
        prefix = prefix * 10 + (c - '0');
    }
    if (prefix > 32) return std::nullopt;
    range.prefix = prefix;
    return range;
}

}  // namespace tolv
