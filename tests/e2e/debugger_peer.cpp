#include "e2e/debugger_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tolv::tests {

namespace {

int bound_loopback_socket(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) throw std::runtime_error("bind");
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

bool wait_readable(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) == 1;
}

}  // namespace

std::string length_header(size_t length) {
    std::string digits = std::to_string(length);
    return std::string(1, char('A' + digits.size())) + digits;
}

int unused_loopback_port() {
    int port = 0;
    int fd = bound_loopback_socket(port);
    close(fd);
    return port;
}

DebuggerPeer::DebuggerPeer() {
    listener_ = bound_loopback_socket(port_);
    listen(listener_, 4);
}

DebuggerPeer::~DebuggerPeer() {
    close_connection();
    close(listener_);
}

bool DebuggerPeer::accept(int timeout_ms) {
    if (!wait_readable(listener_, timeout_ms)) return false;
    connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    int one = 1;
    setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return connection_ >= 0;
}

void DebuggerPeer::close_connection() {
    if (connection_ >= 0) close(connection_);
    connection_ = -1;
}

bool DebuggerPeer::read_exact(char* out, size_t size, int timeout_ms) {
    while (size > 0) {
        if (connection_ < 0 || !wait_readable(connection_, timeout_ms)) return false;
        ssize_t n = recv(connection_, out, size, 0);
        if (n <= 0) return false;
        out += n;
        size -= size_t(n);
    }
    return true;
}

long DebuggerPeer::read_header(int timeout_ms) {
    char mark;
    if (!read_exact(&mark, 1, timeout_ms)) return -1;
    int digits = mark - 'A';
    if (digits < 1 || digits > 10) return -1;
    char text[10];
    if (!read_exact(text, size_t(digits), timeout_ms)) return -1;
    return std::stol(std::string(text, size_t(digits)));
}

std::string DebuggerPeer::receive(int timeout_ms) {
    long length = read_header(timeout_ms);
    if (length < 0) return "<closed>";
    std::string payload(size_t(length), '\0');
    if (!read_exact(payload.data(), payload.size(), timeout_ms)) return "<closed>";
    std::string ack = length_header(payload.size());
    if (::send(connection_, ack.data(), ack.size(), MSG_NOSIGNAL) != ssize_t(ack.size())) return "<closed>";
    return payload;
}

bool DebuggerPeer::send(const std::string& payload) {
    std::string message = length_header(payload.size()) + payload;
    if (connection_ < 0 || ::send(connection_, message.data(), message.size(), MSG_NOSIGNAL) != ssize_t(message.size()))
        return false;
    return read_header(10000) == long(payload.size());
}

bool DebuggerPeer::serve_module(const std::string& path, const std::string& text, const std::string& tables) {
    std::string request = receive();
    if (request != "M" + path) return false;
    return send(text) && send(tables);
}

}  // namespace tolv::tests
