// The connection to the debugger and its framing: every payload goes out
// behind a length header and is acknowledged by a header carrying the count
// the other side received.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolv {

// A failed send, receive or acknowledgement. The connection is closed
// before it is thrown.
struct WireFailure {};

// Time-outs of the protocol, in milliseconds.
constexpr int CONNECT_TIMEOUT_MS = 200;
constexpr int SEND_TIMEOUT_MS = 10000;
constexpr int ACKNOWLEDGE_TIMEOUT_MS = 10000;
constexpr int COMMAND_TIMEOUT_MS = 7200000;

bool wire_connect(const char* host, const char* port);
bool wire_is_open();
void wire_close();

// Sends one payload and waits for its acknowledgement.
void wire_send(std::string_view payload);
// Receives one payload, waiting at most `timeout_ms` for it, and acknowledges it.
std::string wire_receive(int timeout_ms);

}  // namespace tolv
