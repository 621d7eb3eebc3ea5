#include "platform/tcp_client.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tolv {

namespace {

bool set_blocking(int fd, bool blocking) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

WaitResult wait_for(int fd, short events, int timeout_ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        int n = poll(&p, 1, timeout_ms);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return WaitResult::FAILED;
        if (n == 0) return WaitResult::TIMED_OUT;
        // Readable data may still wait behind a hang-up; let the read tell.
        if ((p.revents & events) != 0) return WaitResult::READY;
        return WaitResult::FAILED;
    }
}

}  // namespace

int tcp_connect(const char* host, const char* port, int timeout_ms) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, port, &hints, &found) != 0 || !found) return -1;
    int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    bool ok = fd >= 0 && set_blocking(fd, false);
    if (ok && connect(fd, found->ai_addr, found->ai_addrlen) != 0) ok = errno == EINPROGRESS;
    freeaddrinfo(found);
    ok = ok && set_blocking(fd, true);
    // Writable alone is not enough: a refused connection is writable too.
    ok = ok && wait_for(fd, POLLOUT, timeout_ms) == WaitResult::READY;
    if (ok) {
        int error = 0;
        socklen_t length = sizeof error;
        ok = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (!ok) {
        if (fd >= 0) close(fd);
        return -1;
    }
    // Small messages go out at once: the peer answers each with an acknowledgement.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

WaitResult tcp_wait_readable(int fd, int timeout_ms) { return wait_for(fd, POLLIN, timeout_ms); }
WaitResult tcp_wait_writable(int fd, int timeout_ms) { return wait_for(fd, POLLOUT, timeout_ms); }

bool tcp_send_all(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

long tcp_receive(int fd, void* data, size_t size) {
    for (;;) {
        ssize_t n = recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return long(n);
    }
}

void tcp_close(int fd) {
    if (fd >= 0) close(fd);
}

}  // namespace tolv
