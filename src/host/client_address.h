// The client's IPv4 address from the CGI environment.
#pragma once

#include <string_view>
#include <vector>

#include "platform/ipv4.h"

namespace tolv {

// REMOTE_ADDR is the client, unless it is one of the trusted proxies: then
// HTTP_X_FORWARDED_FOR is read from the right, and the first address that is
// not itself a trusted proxy is the client (everything left of it was written
// by the client and proves nothing). Addresses parse exactly; "::1" is
// 127.0.0.1 and "::ffff:a.b.c.d" is a.b.c.d; anything else is 0.0.0.0.
Ipv4 client_address(std::string_view remote_addr, std::string_view forwarded_for,
                    const std::vector<Ipv4Range>& trusted_proxies);
Ipv4 client_address_from_environment(const std::vector<Ipv4Range>& trusted_proxies);

// One address as a client or proxy writes it, or nothing.
std::optional<Ipv4> parse_client_address(std::string_view text);

}  // namespace tolv
