// One FastCGI request in its own process: its records read from the
// connection, its parameters made the environment and its body standard
// input, and the CGI request cycle run with the answer sent as FCGI_STDOUT
// records.
#pragma once

#include <atomic>
#include <cstdint>

namespace tolv {

// How far the request's process got, in memory shared with the server, so
// that the server can answer for a process that died or was stopped.
enum class RequestStage : uint32_t {
    READING = 0,    // its records are not all in yet
    BETWEEN = 1,    // between two writes of the answer
    WRITING = 2,    // in the middle of a write: the record stream may be cut
    ANSWERED = 3,   // FCGI_END_REQUEST sent
    WAITING = 4,    // forked ahead, no connection taken yet
};

struct RequestProgress {
    std::atomic<uint32_t> stage{0};
    std::atomic<uint32_t> header_sent{0};
    std::atomic<uint32_t> request_id{0};
};

// Runs in the forked process; never returns.
[[noreturn]] void serve_fastcgi_connection(int connection, RequestProgress* progress, bool configured,
                                           long memory_limit_mb);

}  // namespace tolv
