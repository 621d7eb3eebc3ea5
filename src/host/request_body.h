// Reading the CGI request body from standard input against CONTENT_LENGTH.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tolv {

// Bodies above this size are refused: no request makes the runner allocate without bound.
constexpr size_t REQUEST_BODY_LIMIT = 64u << 20;

struct RequestBody {
    std::vector<char> bytes;  // NUL-terminated, size() = length + 1
    size_t length = 0;
};

// Parses CONTENT_LENGTH (absent = 0). Returns the fatal message for a value
// that is not a plain decimal number, negative, overflowing or over the limit.
std::optional<std::string> parse_content_length(const char* text, size_t& length);

// Reads exactly `length` bytes from standard input, in as many pieces as it
// comes; gives up at its end or after 200 reads that bring nothing.
// Returns the fatal message when fewer or more arrived.
std::optional<std::string> read_request_body(size_t length, RequestBody& body);

}  // namespace tolv
