// The debugger's end of runner-debug's connection, for tests: a listening
// socket on a loopback port and the framing (length headers, acknowledgements).
#pragma once

#include <string>

namespace tolv::tests {

class DebuggerPeer {
public:
    DebuggerPeer();  // listens on a free loopback port
    ~DebuggerPeer();
    DebuggerPeer(const DebuggerPeer&) = delete;
    DebuggerPeer& operator=(const DebuggerPeer&) = delete;

    int port() const { return port_; }
    // Waits for the runner to connect; false when none came in time.
    bool accept(int timeout_ms = 10000);
    // One payload, acknowledged; "<closed>" when the connection ended or
    // nothing came in time.
    std::string receive(int timeout_ms = 10000);
    // Sends one payload; false when the acknowledgement is missing or wrong.
    bool send(const std::string& payload);
    // Answers a module request with the text and the tables payload.
    bool serve_module(const std::string& path, const std::string& text, const std::string& tables);
    void close_connection();

private:
    bool read_exact(char* out, size_t size, int timeout_ms);
    long read_header(int timeout_ms);
    int listener_ = -1;
    int connection_ = -1;
    int port_ = 0;
};

// A port nothing listens on (bound once, then released).
int unused_loopback_port();

// "A" + digit count + digits.
std::string length_header(size_t length);

}  // namespace tolv::tests
