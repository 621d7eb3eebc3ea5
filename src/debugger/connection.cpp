#include "debugger/connection.h"

#include "debugger/wire_text.h"
#include "platform/clock.h"
#include "platform/tcp_client.h"

namespace tolv {

namespace {

int g_socket = -1;

// Larger payloads are taken for a broken peer.
constexpr size_t PAYLOAD_LIMIT = size_t(64) << 20;

[[noreturn]] void fail() {
    wire_close();
    throw WireFailure{};
}

// Fills `out` with exactly `size` bytes before the deadline.
void receive_exact(char* out, size_t size, int64_t deadline) {
    while (size > 0) {
        int64_t left = deadline - now_milliseconds();
        if (left <= 0) fail();
        WaitResult ready = tcp_wait_readable(g_socket, int(left > 60000 ? 60000 : left));
        if (ready == WaitResult::FAILED) fail();
        if (ready == WaitResult::TIMED_OUT) continue;
        long n = tcp_receive(g_socket, out, size);
        if (n <= 0) fail();
        out += n;
        size -= size_t(n);
    }
}

size_t receive_header(int64_t deadline) {
    char mark;
    receive_exact(&mark, 1, deadline);
    int digits = mark - 'A';
    if (digits < 1 || digits > 10) fail();
    char text[10];
    receive_exact(text, size_t(digits), deadline);
    size_t length = 0;
    for (int i = 0; i < digits; ++i) {
        if (text[i] < '0' || text[i] > '9') fail();
        length = length * 10 + size_t(text[i] - '0');
    }
    return length;
}

void send_bytes(std::string_view bytes) {
    if (tcp_wait_writable(g_socket, SEND_TIMEOUT_MS) != WaitResult::READY) fail();
    if (!tcp_send_all(g_socket, bytes.data(), bytes.size())) fail();
}

}  // namespace

bool wire_connect(const char* host, const char* port) {
    wire_close();
    g_socket = tcp_connect(host, port, CONNECT_TIMEOUT_MS);
    return g_socket >= 0;
}

bool wire_is_open() { return g_socket >= 0; }

void wire_close() {
    tcp_close(g_socket);
    g_socket = -1;
}

void wire_send(std::string_view payload) {
    if (g_socket < 0) throw WireFailure{};
    std::string message = length_header(payload.size());
    message.append(payload);
    send_bytes(message);
    if (receive_header(now_milliseconds() + ACKNOWLEDGE_TIMEOUT_MS) != payload.size()) fail();
}

std::string wire_receive(int timeout_ms) {
    if (g_socket < 0) throw WireFailure{};
    int64_t deadline = now_milliseconds() + timeout_ms;
    size_t length = receive_header(deadline);
    if (length > PAYLOAD_LIMIT) fail();
    std::string payload(length, '\0');
    // Once a header is in, the rest follows promptly or not at all.
    int64_t body_deadline = now_milliseconds() + ACKNOWLEDGE_TIMEOUT_MS;
    receive_exact(payload.data(), length, body_deadline > deadline ? body_deadline : deadline);
    send_bytes(length_header(length));
    return payload;
}

}  // namespace tolv
