#include "host/request_body.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace tolv {

namespace {
const char NOT_A_NUMBER[] = "CONTENT_LENGTH is not not number format.";
const char BAD_LENGTH[] = "受信データの長さ不正(CONTENT_LENGTH)";
}  // namespace

std::optional<std::string> parse_content_length(const char* text, size_t& length) {
    length = 0;
    if (!text) return std::nullopt;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    size_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + size_t(*p - '0');
        if (value > REQUEST_BODY_LIMIT) return std::string(BAD_LENGTH);
    }
    while (*p == ' ' || *p == '\t') ++p;
    if (*p != '\0') return std::string(NOT_A_NUMBER);
    length = value;
    return std::nullopt;
}

std::optional<std::string> read_request_body(size_t length, RequestBody& body) {
    body.bytes.assign(length + 1, '\0');
    size_t got = 0;
    // A web server may hand the body over in many small pieces: only reads
    // that bring nothing count toward the limit, and the end of the stream
    // ends the reading at once.
    for (int empty_reads = 0; empty_reads < 200 && got < length;) {
        ssize_t n = ::read(STDIN_FILENO, body.bytes.data() + got, length - got);
        if (n > 0) {
            got += size_t(n);
            continue;
        }
        if (n == 0) break;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) break;
        ++empty_reads;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        ::poll(&input, 1, 100);
    }
    if (got != length) return std::string(BAD_LENGTH);
    body.length = length;
    return std::nullopt;
}

}  // namespace tolv
