// The FastCGI record layer: what a web server sends is decoded exactly, and
// nothing a peer sends makes a pair reach past its record.
#include <gtest/gtest.h>

#include "protocol/fastcgi_records.h"

namespace tolv {
namespace {

TEST(FastcgiRecords, PairsOfShortAndLongLengthsComeBackAsSent) {
    const std::string long_value(70000, 'v');
    const std::string long_name(200, 'n');
    FastcgiPairs sent = {{"CONTENT_LENGTH", "12"}, {"EMPTY", ""}, {long_name, long_value}, {"X", std::string("a\0b", 3)}};
    std::string encoded;
    for (const auto& [name, value] : sent) append_fastcgi_pair(encoded, name, value);
    FastcgiPairs got;
    ASSERT_TRUE(decode_fastcgi_pairs(encoded.data(), encoded.size(), got));
    EXPECT_EQ(got, sent);
    // A four-byte length: high bit set, 31 bits of length.
    EXPECT_EQ(encoded.substr(encoded.find("EMPTY") + 5, 5), std::string("\x80\x00\x00\xC8\x80", 5));
}

TEST(FastcgiRecords, PairsThatRunPastTheirRecordAreRefused) {
    const std::string cases[] = {
        std::string("\x05\x01" "ABCD", 6),                  // name longer than what is left
        std::string("\x01\x05" "AB", 4),                    // value longer than what is left
        std::string("\x80\x00\x00", 3),                     // a four-byte length cut short
        std::string("\xFF\xFF\xFF\xFF\x01" "A", 6),         // a length near 2^31
        std::string("\x01\xFF\xFF\xFF\xFF" "AB", 7),
        std::string("\x01", 1),                             // no value length
    };
    for (const std::string& bytes : cases) {
        FastcgiPairs got;
        EXPECT_FALSE(decode_fastcgi_pairs(bytes.data(), bytes.size(), got)) << testing::PrintToString(bytes);
    }
}

TEST(FastcgiRecords, StreamsAreSplitAtTheRecordLimitAndPadded) {
    const std::string data(FCGI_CONTENT_LIMIT + 3, 'd');
    std::string out;
    append_fastcgi_stream(out, FCGI_STDOUT, 258, data.data(), data.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(out.data());
    FastcgiHeader first = decode_fastcgi_header(bytes);
    EXPECT_EQ(first.version, 1);
    EXPECT_EQ(first.type, FCGI_STDOUT);
    EXPECT_EQ(first.request_id, 258);
    EXPECT_EQ(first.content_length, FCGI_CONTENT_LIMIT);
    EXPECT_EQ(first.padding_length, 1);
    const size_t second_at = FCGI_HEADER_SIZE + FCGI_CONTENT_LIMIT + 1;
    FastcgiHeader second = decode_fastcgi_header(bytes + second_at);
    EXPECT_EQ(second.content_length, 3);
    EXPECT_EQ(second.padding_length, 5);
    EXPECT_EQ(out.size(), second_at + FCGI_HEADER_SIZE + 8);

    std::string nothing;
    append_fastcgi_stream(nothing, FCGI_STDOUT, 1, "", 0);
    EXPECT_TRUE(nothing.empty()) << "an empty record would end the stream";

    std::string end;
    append_fastcgi_end_request(end, 1, 0x01020304, FCGI_CANT_MPX_CONN);
    EXPECT_EQ(end, std::string("\x01\x03\x00\x01\x00\x08\x00\x00" "\x01\x02\x03\x04\x01\x00\x00\x00", 16));
}

}  // namespace
}  // namespace tolv
