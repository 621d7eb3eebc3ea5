#include "host/fastcgi_request.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/request_body.h"
#include "host/request_cycle.h"
#include "platform/listening_socket.h"
#include "protocol/answer.h"
#include "protocol/fastcgi_records.h"

namespace tolv {

namespace {

// A web server sends a request's records at once; one that stalls this long
// is given up, and so is a peer that takes no answer bytes for as long.
constexpr int STALL_MS = 30000;
// Parameters beyond this are refused with the request: no peer makes the
// process allocate without bound.
constexpr size_t PARAMS_LIMIT = 1u << 20;

// The answer is gathered and sent in large pieces: a write per piece of a
// request's answer would cost a system call each.
constexpr size_t ANSWER_PIECE = 32768;

int g_connection = -1;
RequestProgress* g_progress = nullptr;
uint16_t g_request_id = 0;
std::string g_unsent;

// The request's bytes as they arrive, read in large pieces.
struct Incoming {
    char bytes[16384];
    size_t at = 0;
    size_t end = 0;
};
Incoming g_incoming;

bool take_bytes(char* data, size_t length) {
    while (length > 0) {
        if (g_incoming.at == g_incoming.end) {
            const ssize_t n = recv(g_connection, g_incoming.bytes, sizeof g_incoming.bytes, MSG_DONTWAIT);
            if (n > 0) {
                g_incoming.at = 0;
                g_incoming.end = size_t(n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return false;
            pollfd ready{g_connection, POLLIN, 0};
            if (errno != EINTR && poll(&ready, 1, STALL_MS) <= 0) return false;
            continue;
        }
        const size_t piece = std::min(length, g_incoming.end - g_incoming.at);
        std::memcpy(data, g_incoming.bytes + g_incoming.at, piece);
        g_incoming.at += piece;
        data += piece;
        length -= piece;
    }
    return true;
}

struct Request {
    bool begun = false;
    bool params_done = false;
    bool stdin_done = false;
    std::string params;
    std::string body;
    bool body_too_long = false;
};

void send_records(const std::string& records) {
    g_progress->stage.store(uint32_t(RequestStage::WRITING));
    bool sent = write_fully(g_connection, records.data(), records.size(), STALL_MS);
    g_progress->stage.store(uint32_t(RequestStage::BETWEEN));
    // A web server that went away takes no more: the request runs on to its
    // journal, its answer going nowhere.
    if (!sent) {
        answer_enable(false);
    }
}

void transport_write(const char* data, size_t length) {
    append_fastcgi_stream(g_unsent, FCGI_STDOUT, g_request_id, data, length);
    if (g_unsent.size() < ANSWER_PIECE) return;
    send_records(g_unsent);
    g_unsent.clear();
    g_progress->header_sent.store(1);
}

void transport_close() {
    append_fastcgi_record(g_unsent, FCGI_STDOUT, g_request_id, nullptr, 0);
    append_fastcgi_end_request(g_unsent, g_request_id, 0, FCGI_REQUEST_COMPLETE);
    g_progress->stage.store(uint32_t(RequestStage::WRITING));
    write_fully(g_connection, g_unsent.data(), g_unsent.size(), STALL_MS);
    g_unsent.clear();
    g_progress->stage.store(uint32_t(RequestStage::ANSWERED));
    // The web server has the whole answer; the journal is written after this.
    shutdown(g_connection, SHUT_RDWR);
    close(g_connection);
    g_connection = -1;
}

[[noreturn]] void leave(int code) {
    if (g_connection >= 0) close(g_connection);
    std::fflush(stderr);
    _exit(code);
}

void answer_management(const std::string& content) {
    FastcgiPairs asked;
    std::string pairs;
    if (decode_fastcgi_pairs(content.data(), content.size(), asked)) {
        for (const auto& [name, value] : asked) {
            (void)value;
            // One request per connection, one process per request; the
            // connection closes after its answer (FCGI_KEEP_CONN is not kept).
            if (name == "FCGI_MPXS_CONNS") append_fastcgi_pair(pairs, name, "0");
        }
    }
    std::string records;
    append_fastcgi_record(records, FCGI_GET_VALUES_RESULT, 0, pairs.data(), pairs.size());
    write_fully(g_connection, records.data(), records.size(), STALL_MS);
}

void refuse(uint16_t id, uint8_t protocol_status) {
    std::string records;
    append_fastcgi_end_request(records, id, 0, protocol_status);
    write_fully(g_connection, records.data(), records.size(), STALL_MS);
}

// Reads records until the request's parameters and body are complete.
// Leaves the process on a broken stream or an aborted request.
void read_request(Request& request) {
    std::string content;
    while (!(request.begun && request.params_done && request.stdin_done)) {
        uint8_t head[FCGI_HEADER_SIZE];
        if (!take_bytes(reinterpret_cast<char*>(head), sizeof head)) leave(0);
        const FastcgiHeader header = decode_fastcgi_header(head);
        if (header.version != 1) leave(0);
        content.resize(size_t(header.content_length) + header.padding_length);
        if (!content.empty() && !take_bytes(content.data(), content.size())) leave(0);
        content.resize(header.content_length);
        if (header.request_id == 0) {
            if (header.type == FCGI_GET_VALUES) {
                answer_management(content);
            } else {
                std::string records;
                const char body[8] = {char(header.type), 0, 0, 0, 0, 0, 0, 0};
                append_fastcgi_record(records, FCGI_UNKNOWN_TYPE, 0, body, sizeof body);
                write_fully(g_connection, records.data(), records.size(), STALL_MS);
            }
            continue;
        }
        if (header.type == FCGI_BEGIN_REQUEST) {
            if (content.size() < 8) leave(0);
            const uint16_t role = uint16_t((uint8_t(content[0]) << 8) | uint8_t(content[1]));
            if (request.begun) {
                refuse(header.request_id, FCGI_CANT_MPX_CONN);
            } else if (role != FCGI_RESPONDER) {
                refuse(header.request_id, FCGI_UNKNOWN_ROLE);
            } else {
                request.begun = true;
                g_request_id = header.request_id;
                g_progress->request_id.store(g_request_id);
            }
            continue;
        }
        if (!request.begun || header.request_id != g_request_id) continue;
        switch (header.type) {
        case FCGI_ABORT_REQUEST:
            refuse(g_request_id, FCGI_REQUEST_COMPLETE);
            leave(0);
        case FCGI_PARAMS:
            if (content.empty()) request.params_done = true;
            else if (request.params.size() + content.size() > PARAMS_LIMIT) leave(0);
            else request.params += content;
            break;
        case FCGI_STDIN:
            if (content.empty()) request.stdin_done = true;
            else if (request.body.size() + content.size() > REQUEST_BODY_LIMIT) request.body_too_long = true;
            else if (!request.body_too_long) request.body += content;
            break;
        default: break;
        }
    }
}

// The parameters become the whole environment; only the server's own time
// zone is kept, so that dates read as in CGI mode on this machine.
void install_environment(const FastcgiPairs& params) {
    const char* zone = std::getenv("TZ");
    std::string kept_zone = zone ? zone : "";
    bool zone_given = false;
    clearenv();
    for (const auto& [name, value] : params) {
        // Names and values the environment cannot hold as they are are left out.
        if (name.empty() || name.find('=') != std::string::npos || name.find('\0') != std::string::npos ||
            value.find('\0') != std::string::npos)
            continue;
        if (name == "TZ") zone_given = true;
        setenv(name.c_str(), value.c_str(), 1);
    }
    if (!zone_given && zone) setenv("TZ", kept_zone.c_str(), 1);
}

// Makes `fd` the descriptor `target`.
bool move_to(int fd, int target) {
    if (fd < 0) return false;
    if (fd == target) return true;
    const bool moved = dup2(fd, target) == target;
    close(fd);
    return moved;
}

void limit_memory(long megabytes) {
    if (megabytes <= 0) return;
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = rlim_t(megabytes) << 20;
    setrlimit(RLIMIT_AS, &limit);
}

}  // namespace

void serve_fastcgi_connection(int connection, RequestProgress* progress, bool configured, long memory_limit_mb) {
    g_connection = connection;
    g_progress = progress;
    limit_memory(memory_limit_mb);

    Request request;
    read_request(request);
    FastcgiPairs params;
    if (!decode_fastcgi_pairs(request.params.data(), request.params.size(), params)) {
        refuse(g_request_id, FCGI_REQUEST_COMPLETE);
        leave(0);
    }
    install_environment(params);

    // The body is standard input; a body over the limit is cut there, and
    // the request's CONTENT_LENGTH refuses it as in CGI mode.
    // (Standard input may have been the server's listening socket, closed by now.)
    if (!move_to(memory_file(request.body.data(), request.body.size()), STDIN_FILENO) ||
        !move_to(open("/dev/null", O_RDWR | O_CLOEXEC), STDOUT_FILENO))
        leave(1);
    request.body.clear();
    request.body.shrink_to_fit();
    request.params.clear();

    g_progress->stage.store(uint32_t(RequestStage::BETWEEN));
    answer_set_transport(AnswerTransport{transport_write, transport_close});
    int code = serve_cgi_request(configured);
    answer_close();
    leave(code);
}

}  // namespace tolv
