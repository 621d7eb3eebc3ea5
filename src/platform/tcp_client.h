// A TCP client with time-outs, for runner-debug's connection back to the
// developer's debugger. Descriptors are plain ints; -1 is "none".
#pragma once

#include <cstddef>

namespace tolv {

// Connects to `host` (numeric address text) on `port` (service text), waiting
// at most `timeout_ms` for the connection to complete. The descriptor is left
// blocking; -1 when the connection could not be made.
int tcp_connect(const char* host, const char* port, int timeout_ms);

enum class WaitResult { READY, TIMED_OUT, FAILED };
WaitResult tcp_wait_readable(int fd, int timeout_ms);
WaitResult tcp_wait_writable(int fd, int timeout_ms);

// Sends every byte; false when the connection failed.
bool tcp_send_all(int fd, const void* data, size_t size);
// Receives what is there, up to `size` bytes: the count, 0 when the peer
// closed the connection, -1 on failure.
long tcp_receive(int fd, void* data, size_t size);

void tcp_close(int fd);

}  // namespace tolv
