#include "platform/listening_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolv {

namespace {

constexpr int BACKLOG = 128;

int fail(std::string& error, const std::string& what) {
    error = what + ": " + std::strerror(errno);
    return -1;
}

int listen_unix(const std::string& path, std::string& error) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + path;
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // Only a socket left behind by an earlier run is removed, never a file.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) unlink(path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail(error, "socket");
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, BACKLOG) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return fail(error, path);
    }
    return fd;
}

int listen_tcp(const std::string& address_text, std::string& error) {
    size_t colon = address_text.rfind(':');
    if (colon == std::string::npos) {
        error = "expected HOST:PORT or a socket path: " + address_text;
        return -1;
    }
    std::string host = address_text.substr(0, colon);
    std::string port_text = address_text.substr(colon + 1);
    char* end = nullptr;
    long port = std::strtol(port_text.c_str(), &end, 10);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (port_text.empty() || *end != '\0' || port <= 0 || port > 65535 ||
        inet_pton(AF_INET, host.empty() ? "127.0.0.1" : host.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 HOST:PORT: " + address_text;
        return -1;
    }
    address.sin_port = htons(uint16_t(port));
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail(error, "socket");
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, BACKLOG) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return fail(error, address_text);
    }
    return fd;
}

bool wait_for(int fd, short events, int timeout_ms) {
    pollfd entry{fd, events, 0};
    for (;;) {
        int n = poll(&entry, 1, timeout_ms);
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

}  // namespace

int listen_on(const std::string& address, std::string& error) {
    if (address.find('/') != std::string::npos) return listen_unix(address, error);
    return listen_tcp(address, error);
}

bool is_listening_socket(int fd) {
    int listening = 0;
    socklen_t size = sizeof listening;
    return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening != 0;
}

int accept_connection(int listener) {
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

bool write_fully(int fd, const char* data, size_t length, int timeout_ms) {
    while (length > 0) {
        ssize_t n = send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            length -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait_for(fd, POLLOUT, timeout_ms)) continue;
        return false;
    }
    return true;
}

bool read_fully(int fd, char* data, size_t length, int timeout_ms) {
    while (length > 0) {
        if (!wait_for(fd, POLLIN, timeout_ms)) return false;
        ssize_t n = recv(fd, data, length, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= size_t(n);
    }
    return true;
}

int memory_file(const char* bytes, size_t length) {
    int fd = memfd_create("request-body", MFD_CLOEXEC);
    if (fd < 0) return -1;
    size_t done = 0;
    while (done < length) {
        ssize_t n = write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += size_t(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

int64_t monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace tolv
