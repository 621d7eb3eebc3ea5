#include "host/client_address.h"

#include <cstdlib>
#include <string>

namespace tolv {

namespace {

std::string trim_blanks(const std::string& text) {
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(' ');
    return text.substr(begin, end - begin + 1);
}

}  // namespace

Ipv4 client_address_from_text(const char* text) {
    std::string address = text;
    size_t comma = address.find(',');
    if (comma != std::string::npos) address = address.substr(0, comma);
    address = trim_blanks(address);
    if (address == "::1") address = "127.0.0.1";
    return parse_ipv4(address.c_str()).value_or(Ipv4{0, 0, 0, 0});
}

Ipv4 client_address_from_environment() {
    const char* forwarded = std::getenv("HTTP_X_FORWARDED_FOR");
    if (forwarded && *forwarded) return client_address_from_text(forwarded);
    const char* remote = std::getenv("REMOTE_ADDR");
    if (remote && *remote) return client_address_from_text(remote);
    return Ipv4{0, 0, 0, 0};
}

}  // namespace tolv
