#include "host/client_address.h"

#include <gtest/gtest.h>

#include <string>

namespace tolv {
namespace {

std::string text(const Ipv4& a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

// X-Forwarded-For is written by the client unless a trusted proxy wrote it:
// it is read only behind a trusted proxy, from the right.
TEST(ClientAddress, ForwardedForIsReadOnlyBehindATrustedProxy) {
    const std::vector<Ipv4Range> proxies = {*parse_ipv4_range("127.0.0.3"), *parse_ipv4_range("10.0.0.0/8")};
    struct Case {
        const char* remote;
        const char* forwarded;
        const std::vector<Ipv4Range>* trusted;
        const char* client;
    };
    const std::vector<Ipv4Range> none;
    const Case cases[] = {
        {"192.0.2.7", "", &none, "192.0.2.7"},
        {"192.0.2.7", "127.0.0.2", &none, "192.0.2.7"},          // no proxy trusted: the header is the client's
        {"192.0.2.7", "127.0.0.2", &proxies, "192.0.2.7"},       // not from a trusted proxy
        {"127.0.0.3", "192.0.2.9", &proxies, "192.0.2.9"},
        {"127.0.0.3", " 127.0.0.2 , 192.0.2.9", &proxies, "192.0.2.9"},  // the client's own claim is left of it
        {"127.0.0.3", "192.0.2.9, 10.1.1.1", &proxies, "192.0.2.9"},     // through two proxies of ours
        {"127.0.0.3", "198.51.100.1, 192.0.2.9, 10.1.1.1", &proxies, "192.0.2.9"},
        {"127.0.0.3", "10.2.2.2, 10.1.1.1", &proxies, "10.2.2.2"},       // all ours: the farthest
        {"127.0.0.3", "", &proxies, "127.0.0.3"},
        {"127.0.0.3", "192.0.2.9, x10.0.0.1", &proxies, "0.0.0.0"},      // unreadable: unknown, not skipped
        {"127.0.0.3", "127.000.000.002", &proxies, "0.0.0.0"},
        {"::1", "", &none, "127.0.0.1"},
        {"::ffff:192.0.2.7", "", &none, "192.0.2.7"},
        {"2001:db8::1", "", &none, "0.0.0.0"},
        {"x127.0.0.2", "", &none, "0.0.0.0"},
        {" 127.000.000.002", "", &none, "0.0.0.0"},
        {"127.0.0.2:80", "", &none, "0.0.0.0"},
        {"", "192.0.2.9", &proxies, "0.0.0.0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text(client_address(c.remote, c.forwarded, *c.trusted)), c.client)
            << "REMOTE_ADDR '" << c.remote << "' X-Forwarded-For '" << c.forwarded << "'";
    }
}

TEST(ClientAddress, ExactAddressesAndRanges) {
    for (const char* good : {"0.0.0.0", "255.255.255.255", "10.0.0.1", "192.168.100.20"})
        EXPECT_TRUE(parse_ipv4_exact(good).has_value()) << good;
    for (const char* bad : {"", "1.2.3", "1.2.3.4.", "1.2.3.4.5", "01.2.3.4", "1.2.3.004", "256.1.1.1", "1.2.3.4 ",
                            " 1.2.3.4", "+1.2.3.4", "1.2.3.4/", "1..2.3", "1234.1.1.1"})
        EXPECT_FALSE(parse_ipv4_exact(bad).has_value()) << bad;
    Ipv4Range all = *parse_ipv4_range("0.0.0.0/0");
    EXPECT_TRUE(all.contains({203, 0, 113, 1}));
    Ipv4Range net = *parse_ipv4_range("192.168.4.0/22");
    EXPECT_TRUE(net.contains({192, 168, 7, 255}));
    EXPECT_FALSE(net.contains({192, 168, 8, 0}));
    EXPECT_FALSE(parse_ipv4_range("1.2.3.4/33").has_value());
}

}  // namespace
}  // namespace tolv
