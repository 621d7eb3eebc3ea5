// IPv4 addresses as four bytes, and their dotted text form.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tolv {

using Ipv4 = std::array<uint8_t, 4>;

// Parses a dotted IPv4 address: leading non-digits skipped, four parts of
// 0-255. Sets `end` to the first character after the address.
std::optional<Ipv4> parse_ipv4(const char* text, const char** end = nullptr);

}  // namespace tolv
