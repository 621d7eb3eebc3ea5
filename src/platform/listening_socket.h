// Listening sockets and connections for a server that takes requests from a
// web server: TCP on an address and port, or a Unix socket path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolv {

// "host:port" (IPv4) or a path containing "/" for a Unix socket; a stale
// socket file at the path is replaced. Returns the descriptor, or -1 with
// the reason in `error`.
int listen_on(const std::string& address, std::string& error);
// True when the descriptor is a listening socket (one a spawner handed over).
bool is_listening_socket(int fd);
// The next connection, close-on-exec; -1 when none is waiting.
int accept_connection(int listener);
// Writes every byte, waiting at most `timeout_ms` for the peer to take each
// piece; false when the peer went away or stalled.
bool write_fully(int fd, const char* data, size_t length, int timeout_ms);
// Reads exactly `length` bytes, waiting at most `timeout_ms` for each piece;
// false at the end of the stream, on a fault or a stall.
bool read_fully(int fd, char* data, size_t length, int timeout_ms);
// An unnamed file holding `bytes`, positioned at its start; -1 on failure.
int memory_file(const char* bytes, size_t length);
// Milliseconds of a monotonic clock.
int64_t monotonic_ms();

}  // namespace tolv
