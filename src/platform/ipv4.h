// IPv4 addresses as four bytes, their dotted text form, and address ranges.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tolv {

using Ipv4 = std::array<uint8_t, 4>;

// Parses a dotted IPv4 address: leading non-digits skipped, four parts of
// 0-255. Sets `end` to the first character after the address.
std::optional<Ipv4> parse_ipv4(const char* text, const char** end = nullptr);

// The whole text is exactly one address: four decimal parts of 0-255, no
// leading zeros, signs, blanks or anything else. For addresses that come
// from outside, where "x10.0.0.1" or "010.0.0.1" must not pass for 10.0.0.1.
std::optional<Ipv4> parse_ipv4_exact(std::string_view text);

// An address or a CIDR range ("10.0.0.0/8"); a plain address is a /32.
struct Ipv4Range {
    Ipv4 base{};
    int prefix = 32;
    bool contains(const Ipv4& address) const;
};
std::optional<Ipv4Range> parse_ipv4_range(std::string_view text);

}  // namespace tolv
