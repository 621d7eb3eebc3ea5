// Loopback ports for the servers the tests start.
#pragma once

namespace tolv::tests {

// A port nobody listens on right now.
int free_loopback_port();
// True when something accepts a connection on 127.0.0.1:port.
bool accepts_connections(int port);

}  // namespace tolv::tests
