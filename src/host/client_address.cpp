#include "host/client_address.h"

#include "platform/environment.h"

namespace tolv {

namespace {

constexpr Ipv4 UNKNOWN{0, 0, 0, 0};

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool is_trusted(const Ipv4& address, const std::vector<Ipv4Range>& trusted) {
    for (const Ipv4Range& range : trusted)
        if (range.contains(address)) return true;
    return false;
}

}  // namespace

std::optional<Ipv4> parse_client_address(std::string_view text) {
    text = trim_blanks(text);
    if (text == "::1") return Ipv4{127, 0, 0, 1};
    constexpr std::string_view MAPPED = "::ffff:";
    if (text.substr(0, MAPPED.size()) == MAPPED) text.remove_prefix(MAPPED.size());
    return parse_ipv4_exact(text);
}

Ipv4 client_address(std::string_view remote_addr, std::string_view forwarded_for,
                    const std::vector<Ipv4Range>& trusted_proxies) {
    std::optional<Ipv4> remote = parse_client_address(remote_addr);
    if (!remote) return UNKNOWN;
    if (!is_trusted(*remote, trusted_proxies) || trim_blanks(forwarded_for).empty()) return *remote;
    // Each proxy appends the address it was reached from, so the right end is
    // the most trusted: walk left until the first address no proxy of ours is.
    Ipv4 client = *remote;
    std::string_view rest = forwarded_for;
    while (true) {
        size_t comma = rest.rfind(',');
        std::string_view entry = comma == std::string_view::npos ? rest : rest.substr(comma + 1);
        std::optional<Ipv4> address = parse_client_address(entry);
        if (!address) return UNKNOWN;
        client = *address;
        if (!is_trusted(client, trusted_proxies) || comma == std::string_view::npos) return client;
        rest = rest.substr(0, comma);
    }
}

Ipv4 client_address_from_environment(const std::vector<Ipv4Range>& trusted_proxies) {
    const char* remote = environment_get("REMOTE_ADDR");
    const char* forwarded = environment_get("HTTP_X_FORWARDED_FOR");
    return client_address(remote ? remote : "", forwarded ? forwarded : "", trusted_proxies);
}

}  // namespace tolv
