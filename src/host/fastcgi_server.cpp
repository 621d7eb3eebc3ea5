#include "host/fastcgi_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/config.h"
#include "host/fastcgi_request.h"
#include "host/journal.h"
#include "host/modules.h"
#include "host/request_cycle.h"
#include "platform/clock.h"
#include "platform/listening_socket.h"
#include "platform/local_time.h"
#include "protocol/answer.h"
#include "protocol/fastcgi_records.h"
#include "protocol/fatal_exit.h"
#include "protocol/reply_token.h"
#include "runtime/errors.h"
#include "runtime/journal_lines.h"
#include "runtime/module_table.h"
#include "runtime/text.h"

namespace tolv {

namespace {

const char TIME_LIMIT_MESSAGE[] = "処理時間の上限(%d秒)を超えたため、リクエストの処理を中止しました";
const char CRASH_MESSAGE[] = "リクエストの処理が異常終了しました(%s %d)";
constexpr int ANSWER_WRITE_MS = 5000;
constexpr int64_t JOURNAL_GRACE_MS = 10000;

volatile sig_atomic_t g_stop_requested = 0;
int g_wake[2] = {-1, -1};

void wake(int signal) {
    if (signal == SIGTERM || signal == SIGINT) g_stop_requested = 1;
    const int saved = errno;
    const char byte = 0;
    [[maybe_unused]] ssize_t n = write(g_wake[1], &byte, 1);
    errno = saved;
}

// A pooled child's accept is interrupted by SIGUSR1 so that it sees the
// server stopping; the handler itself has nothing to do.
void interrupt(int) {}

void install_handlers() {
    struct sigaction action{};
    action.sa_handler = wake;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// A file's identity for "has it changed": existence, size and modification time.
struct FileStamp {
    std::string path;
    bool exists = false;
    off_t size = 0;
    int64_t mtime_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stamp_of(const std::string& path) {
    FileStamp stamp;
    stamp.path = path;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        stamp.exists = true;
        stamp.size = st.st_size;
        stamp.mtime_ns = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return stamp;
}

// What the prepared state was made from: the configuration, the INCLUDE
// modules loaded from it and the module directory's digest when it names one.
struct Watched {
    std::vector<FileStamp> files;
    std::string module_dir;
    std::string digest;  // empty: the configuration names none
};

// Both configuration files: either may appear or go (mongoTOLV.config is
// preferred when present).
std::vector<FileStamp> configuration_stamps() {
    const std::string path = runner_configuration_path();
    std::string other = path.substr(0, path.rfind('/') + 1);
    other.append(path.ends_with("mongoTOLV.config") ? "TOLV.config" : "mongoTOLV.config");
    return {stamp_of(path), stamp_of(other)};
}

// `configuration` is stamped before the configuration was read: a file
// written while it was being read then no longer matches its stamp, and
// the next request prepares again instead of keeping what the half-written
// file gave.
Watched watch_current_state(bool configured, std::vector<FileStamp> configuration) {
    Watched watched;
    watched.files = std::move(configuration);
    const std::string path = watched.files.front().path;
    if (!configured) return watched;
    for (const ModuleEntry& entry : g_modules) watched.files.push_back(stamp_of(module_file_name(entry.path)));
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.find(">>>") != std::string::npos) {
        watched.module_dir = g_config.module_dir;
        watched.digest = module_dir_digest(g_config.module_dir);
    }
    return watched;
}

bool state_changed(const Watched& watched) {
    for (const FileStamp& file : watched.files)
        if (!(stamp_of(file.path) == file)) return true;
    return !watched.digest.empty() && module_dir_digest(watched.module_dir) != watched.digest;
}

[[noreturn]] void probe_failed() { _Exit(1); }

// Reads the configuration and loads the INCLUDE modules in a throwaway
// process first: a fault there is each request's to answer, as in CGI mode,
// and must not leave this process half-prepared.
bool preparation_succeeds() {
    const pid_t probe = fork();
    if (probe < 0) return false;
    if (probe == 0) {
        int nothing = open("/dev/null", O_RDWR);
        if (nothing < 0 || dup2(nothing, STDOUT_FILENO) < 0) _Exit(1);
        set_fatal_end_hook(probe_failed);
        read_runner_configuration();
#if !TOLV_DEBUGGER
        try {
            load_all_modules();
        } catch (const ScriptThrow&) {
            _Exit(1);
        }
#endif
        _Exit(0);
    }
    int status = 0;
    while (waitpid(probe, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Shared with every child: the server's word to the waiting ones, and a
// child's word that it found the prepared state changed.
struct PoolControl {
    std::atomic<uint32_t> stop{0};
    std::atomic<uint32_t> state_changed{0};
};

// A connection a child hands to the server: the child's slot as the data,
// the descriptor as SCM_RIGHTS. Sent and received in the same layout.
struct HandoverMessage {
    int slot = -1;
    iovec part{&slot, sizeof slot};
    alignas(cmsghdr) char room[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    HandoverMessage() {
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = room;
        message.msg_controllen = sizeof room;
    }
    HandoverMessage(const HandoverMessage&) = delete;
    HandoverMessage& operator=(const HandoverMessage&) = delete;
};

struct Child {
    pid_t pid = -1;
    int slot = -1;
    int connection = -1;  // handed over by the child once it took one
    int64_t deadline_ms = 0;  // 0: none
    int64_t started = 0;      // seconds, for the journal
    bool timed_out = false;
    RequestProgress* progress = nullptr;
};

size_t progress_bytes(int children) { return sizeof(PoolControl) + sizeof(RequestProgress) * size_t(children); }

// Once answered, a request only writes its journal (which may wait for the
// file's lock for 5 s): it gets that much longer than its limit.
int64_t effective_deadline(const Child& child) {
    const bool answered = child.progress->stage.load() == uint32_t(RequestStage::ANSWERED);
    return child.deadline_ms + (answered ? JOURNAL_GRACE_MS : 0);
}

class Server {
public:
    Server(int listener, const FastcgiOptions& options, const char* program)
        : listener_(listener), options_(options), program_(program) {}
    int run();
    // The same program started again on the same socket.
    [[noreturn]] void restart();

private:
    void prepare();
    void read_prepared_state();
    void fork_waiting_child();
    [[noreturn]] void wait_for_connection(int slot);
    [[noreturn]] void serve_from_fresh_start(int connection, int slot);
    void take_handed_over();
    void reap();
    void stop_overdue();
    void answer_for(const Child& child, int status);
    int poll_timeout() const;

    int listener_;
    FastcgiOptions options_;
    const char* program_;
    bool configured_ = false;
    Watched watched_;
    bool restart_pending_ = false;
    std::vector<Child> children_;
    std::vector<int> free_slots_;
    PoolControl* control_ = nullptr;
    RequestProgress* progress_ = nullptr;
    int progress_file_ = -1;
    int handover_[2] = {-1, -1};  // [0] the server's end, [1] the children's
};

// The server reading its own state after the probe read it: a file written
// in between may no longer read, and the server then starts again (and
// probes again) rather than end with a fatal answer nobody asked for.
namespace {

Server* g_preparing_server = nullptr;
int g_saved_output = -1;

[[noreturn]] void prepare_again() {
    if (g_saved_output >= 0) dup2(g_saved_output, STDOUT_FILENO);
    g_preparing_server->restart();
}

}  // namespace

void Server::read_prepared_state() {
    g_preparing_server = this;
    // A fatal record has no one to go to: standard output is the server's log.
    g_saved_output = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nothing = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nothing >= 0) {
        dup2(nothing, STDOUT_FILENO);
        close(nothing);
    }
    const FatalEndHook previous = set_fatal_end_hook(prepare_again);
    try {
        read_runner_configuration();
#if !TOLV_DEBUGGER
        load_all_modules();
#endif
    } catch (const ScriptThrow&) {
        prepare_again();
    }
    set_fatal_end_hook(previous);
    if (g_saved_output >= 0) {
        dup2(g_saved_output, STDOUT_FILENO);
        close(g_saved_output);
        g_saved_output = -1;
    }
}

void Server::prepare() {
    std::vector<FileStamp> configuration = configuration_stamps();
    configured_ = preparation_succeeds();
    if (configured_) {
        read_prepared_state();
    } else {
        std::fprintf(stderr, "runner --fastcgi: the configuration or an INCLUDE module is faulty; "
                             "every request reads them itself and answers the fault\n");
    }
    watched_ = watch_current_state(configured_, std::move(configuration));
    // The zone is read once here rather than by every request's process.
    (void)local_calendar_text(now_seconds());
    // One progress record per child, in memory the children share with this
    // process; a file, so that a process started afresh can map it too.
    progress_file_ = memfd_create("fastcgi-progress", MFD_CLOEXEC);
    const size_t bytes = progress_bytes(options_.children);
    void* pages = MAP_FAILED;
    if (progress_file_ >= 0 && ftruncate(progress_file_, off_t(bytes)) == 0)
        pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, progress_file_, 0);
    if (pages == MAP_FAILED || socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, handover_) != 0) {
        std::perror("runner --fastcgi: shared state");
        std::exit(1);
    }
    fcntl(handover_[0], F_SETFL, fcntl(handover_[0], F_GETFL) | O_NONBLOCK);
    control_ = new (pages) PoolControl;
    progress_ = reinterpret_cast<RequestProgress*>(static_cast<char*>(pages) + sizeof(PoolControl));
    for (int i = options_.children - 1; i >= 0; --i) {
        new (&progress_[i]) RequestProgress;
        free_slots_.push_back(i);
    }
}

int Server::poll_timeout() const {
    int64_t soonest = -1;
    auto no_later_than = [&](int64_t at) { soonest = soonest < 0 ? at : std::min(soonest, at); };
    for (const Child& child : children_)
        if (child.deadline_ms && !child.timed_out) no_later_than(effective_deadline(child));
    const int64_t now = monotonic_ms();
    // Children still waiting for a connection are told again and again to
    // leave: one may have been about to call accept when told.
    if (control_->stop.load()) {
        for (const Child& child : children_)
            if (child.connection < 0) no_later_than(now + 50);
    } else if (int(children_.size()) < options_.children) {
        no_later_than(now + 1000);  // a fork that failed is tried again
    }
    if (soonest < 0) return -1;
    const int64_t left = soonest - now;
    return left <= 0 ? 0 : int(left < 60000 ? left : 60000);
}

void Server::fork_waiting_child() {
    const int slot = free_slots_.back();
    RequestProgress* progress = &progress_[slot];
    progress->stage.store(uint32_t(RequestStage::WAITING));
    progress->header_sent.store(0);
    progress->request_id.store(0);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("runner --fastcgi: fork");
        return;
    }
    if (pid == 0) wait_for_connection(slot);
    free_slots_.pop_back();
    Child child;
    child.pid = pid;
    child.slot = slot;
    child.progress = progress;
    children_.push_back(child);
}

// A child forked ahead: takes one connection, hands a copy to the server (so
// that it can answer for a process that dies or overruns), serves it, ends.
void Server::wait_for_connection(int slot) {
    // Nothing of the server's own reaches the request: its signal handling
    // and the other requests' connections.
    close(g_wake[0]);
    close(g_wake[1]);
    close(handover_[0]);
    for (const Child& other : children_) close(other.connection);
    signal(SIGCHLD, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    // A stop of the whole group lets the request finish (the time limit still holds).
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGHUP);
    sigprocmask(SIG_BLOCK, &held, nullptr);
    struct sigaction action{};
    action.sa_handler = interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);

    int connection = -1;
    while (connection < 0) {
        if (control_->stop.load()) _exit(0);
        connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0 && errno != EINTR && errno != ECONNABORTED && errno != EAGAIN) {
            // Out of descriptors or the like: the server forks another later.
            usleep(100000);
            _exit(1);
        }
    }
    sigaddset(&held, SIGUSR1);
    sigprocmask(SIG_BLOCK, &held, nullptr);
    close(listener_);
    RequestProgress* progress = &progress_[slot];
    progress->stage.store(uint32_t(RequestStage::READING));
    // Checked on every request: a change must not be served from the old state.
    const bool changed = state_changed(watched_);
    if (changed) control_->state_changed.store(1);

    HandoverMessage out;
    out.slot = slot;
    cmsghdr* rights = CMSG_FIRSTHDR(&out.message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &connection, sizeof connection);
    while (sendmsg(handover_[1], &out.message, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
    close(handover_[1]);
    if (changed) serve_from_fresh_start(connection, slot);
    close(progress_file_);
    serve_fastcgi_connection(connection, progress, configured_, options_.memory_limit);
}

// The state this process was forked from is out of date: the program starts
// again for this one connection, reading the configuration and modules as a
// CGI request does.
void Server::serve_from_fresh_start(int connection, int slot) {
    if (dup2(connection, STDIN_FILENO) < 0 || dup2(progress_file_, 3) < 0) _exit(1);
    fcntl(3, F_SETFD, 0);
    std::string slot_text = std::to_string(slot);
    std::string memory_limit = std::to_string(options_.memory_limit);
    const char* argv[] = {program_,         "--fastcgi", "--memory-limit", memory_limit.c_str(), "--handed-over",
                          slot_text.c_str(), nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    _exit(1);
}

// The connections the children took, each with the child's slot.
void Server::take_handed_over() {
    for (;;) {
        HandoverMessage in;
        const ssize_t n = recvmsg(handover_[0], &in.message, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;
        const int slot = in.slot;
        int connection = -1;
        cmsghdr* rights = CMSG_FIRSTHDR(&in.message);
        if (rights && rights->cmsg_level == SOL_SOCKET && rights->cmsg_type == SCM_RIGHTS &&
            rights->cmsg_len == CMSG_LEN(sizeof(int)))
            std::memcpy(&connection, CMSG_DATA(rights), sizeof connection);
        if (connection < 0) continue;
        bool owned = false;
        for (Child& child : children_) {
            if (child.slot != slot || n != ssize_t(sizeof slot) || child.connection >= 0) continue;
            child.connection = connection;
            child.started = now_seconds();
            if (options_.time_limit > 0) child.deadline_ms = monotonic_ms() + int64_t(options_.time_limit) * 1000;
            owned = true;
            break;
        }
        if (!owned) close(connection);
    }
}

void Server::stop_overdue() {
    const int64_t now = monotonic_ms();
    for (Child& child : children_) {
        if (child.deadline_ms && !child.timed_out && now >= effective_deadline(child)) {
            child.timed_out = true;
            kill(child.pid, SIGKILL);
        }
    }
}

// A request's process that ended without its answer: the answer and the
// journal block are written from a process of their own, so that a slow web
// server or a locked journal never holds up the others.
void Server::answer_for(const Child& child, int status) {
    const auto stage = RequestStage(progress_[child.slot].stage.load());
    // A child that took no connection (or had not handed it over) leaves
    // nothing to answer.
    if (stage == RequestStage::ANSWERED || stage == RequestStage::WAITING || child.connection < 0) return;
    char message[256];
    if (child.timed_out) {
        std::snprintf(message, sizeof message, TIME_LIMIT_MESSAGE, options_.time_limit);
    } else if (WIFSIGNALED(status)) {
        std::snprintf(message, sizeof message, CRASH_MESSAGE, "signal", WTERMSIG(status));
    } else {
        std::snprintf(message, sizeof message, CRASH_MESSAGE, "exit", WEXITSTATUS(status));
    }
    std::fprintf(stderr, "runner --fastcgi: process %d: %s\n", int(child.pid), message);
    const uint16_t id = uint16_t(progress_[child.slot].request_id.load());
    const bool header_sent = progress_[child.slot].header_sent.load() != 0;
    if (fork() != 0) return;
    signal(SIGCHLD, SIG_DFL);
    close(listener_);
    for (const Child& other : children_)
        if (other.pid != child.pid) close(other.connection);
    // Cut in the middle of a record, the stream cannot take another: the
    // connection is only closed.
    if (stage == RequestStage::BETWEEN) {
        std::string answer;
        static const char header[] = "Content-type: text/plane;charset=UTF-8\n\n";
        if (!header_sent) answer.append(header, sizeof header - 1);
        TextBuffer record;
        record.append("S148555");
        put_raw_counted_text(record, message, std::strlen(message));
        answer.append(record.data(), record.size());
        // Whatever the request did, the answer never earns a token.
        if (configured_) {
            static std::string* captured = nullptr;
            captured = &answer;
            answer_set_transport(AnswerTransport{[](const char* data, size_t length) { captured->append(data, length); },
                                                 nullptr});
            const TokenSettings settings = token_settings();
            if (reply_token_configured(settings)) write_reply_token(settings, true, Ipv4{0, 0, 0, 0}, now_seconds());
        }
        answer_enable(false);
        std::string records;
        append_fastcgi_stream(records, FCGI_STDOUT, id, answer.data(), answer.size());
        append_fastcgi_record(records, FCGI_STDOUT, id, nullptr, 0);
        append_fastcgi_end_request(records, id, 0, FCGI_REQUEST_COMPLETE);
        write_fully(child.connection, records.data(), records.size(), ANSWER_WRITE_MS);
    }
    close(child.connection);
    answer_enable(false);
    if (configured_ && !g_config.logfile.empty() && stage != RequestStage::READING) {
        journal_set_start_time(local_calendar_text(child.started));
        journal_append("\n");
        journal_append(message);
        journal_append("\n");
        journal_write(g_config.logfile);
    }
    _exit(0);
}

void Server::reap() {
    for (;;) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid <= 0) return;
        // A child hands its connection over before it can end: taken now,
        // it is never mistaken for that of the next child in the slot.
        take_handed_over();
        for (size_t i = 0; i < children_.size(); ++i) {
            if (children_[i].pid != pid) continue;
            answer_for(children_[i], status);
            if (children_[i].connection >= 0) close(children_[i].connection);
            free_slots_.push_back(children_[i].slot);
            children_.erase(children_.begin() + long(i));
            break;
        }
    }
}

void Server::restart() {
    // The same program and options, the socket handed over on standard input.
    if (listener_ != STDIN_FILENO) {
        dup2(listener_, STDIN_FILENO);
        close(listener_);
    }
    fcntl(STDIN_FILENO, F_SETFD, 0);
    std::string children = std::to_string(options_.children);
    std::string time_limit = std::to_string(options_.time_limit);
    std::string memory_limit = std::to_string(options_.memory_limit);
    const char* argv[] = {program_,           "--fastcgi",           "--children", children.c_str(), "--time-limit",
                          time_limit.c_str(), "--memory-limit", memory_limit.c_str(), nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    std::perror("runner --fastcgi: restart");
    std::exit(1);
}

int Server::run() {
    prepare();
    while (true) {
        take_handed_over();
        reap();
        stop_overdue();
        if (control_->state_changed.load()) restart_pending_ = true;
        if (g_stop_requested || restart_pending_) {
            // The waiting children leave; those with a request finish it.
            control_->stop.store(1);
            for (const Child& child : children_)
                if (child.connection < 0) kill(child.pid, SIGUSR1);
        }
        if (g_stop_requested && children_.empty()) return 0;
        if (restart_pending_ && children_.empty()) restart();
        if (!control_->stop.load())
            while (!free_slots_.empty() && int(children_.size()) < options_.children) {
                const size_t before = children_.size();
                fork_waiting_child();
                if (children_.size() == before) break;
            }
        pollfd fds[2] = {{g_wake[0], POLLIN, 0}, {handover_[0], POLLIN, 0}};
        const int n = poll(fds, 2, poll_timeout());
        if (n < 0 && errno != EINTR) {
            std::perror("runner --fastcgi: poll");
            return 1;
        }
        if (n > 0 && (fds[0].revents & POLLIN)) {
            char drained[64];
            while (read(g_wake[0], drained, sizeof drained) > 0) {
            }
        }
    }
}

bool parse_count(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

bool parse_fastcgi_arguments(int argc, char** argv, FastcgiOptions& options, std::string& error) {
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--children" || word == "--time-limit" || word == "--memory-limit") {
            long value = 0;
            const long high = word == "--children" ? 4096 : word == "--time-limit" ? 86400 : 1L << 30;
            const long low = word == "--children" ? 1 : 0;
            if (i + 1 >= argc || !parse_count(argv[i + 1], low, high, value)) {
                error = word + " needs a number from " + std::to_string(low) + " to " + std::to_string(high);
                return false;
            }
            if (word == "--children") options.children = int(value);
            else if (word == "--time-limit") options.time_limit = int(value);
            else options.memory_limit = value;
            ++i;
        } else if (word == "--handed-over" && i + 1 < argc) {
            long value = 0;
            if (!parse_count(argv[i + 1], 0, 4095, value)) {
                error = "--handed-over needs a slot";
                return false;
            }
            options.handed_over_slot = int(value);
            ++i;
        } else if (!word.empty() && word[0] != '-' && options.address.empty()) {
            options.address = word;
        } else {
            error = "unexpected '" + word + "'";
            return false;
        }
    }
    return true;
}

namespace {

// The one connection on standard input, from a fresh start (see
// serve_from_fresh_start); its progress record in the file on descriptor 3.
int serve_handed_over(const FastcgiOptions& options) {
    struct stat st;
    if (fstat(3, &st) != 0 || size_t(st.st_size) < progress_bytes(options.handed_over_slot + 1)) return 1;
    void* pages = mmap(nullptr, size_t(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, 3, 0);
    close(3);
    const int connection = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 4);
    if (pages == MAP_FAILED || connection < 0) return 1;
    auto* progress = reinterpret_cast<RequestProgress*>(static_cast<char*>(pages) + sizeof(PoolControl));
    prepare_runner_process();
    serve_fastcgi_connection(connection, &progress[options.handed_over_slot], false, options.memory_limit);
}

// Requests get their parameters as their whole environment (and the zone):
// the server's own environment is of no use to them, and a small one is
// cheaper for each request's process to set aside. LD_BIND_NOW stays, so
// that a restart binds at once.
void trim_environment() {
    const char* zone = std::getenv("TZ");
    const std::string kept = zone ? zone : "";
    clearenv();
    if (zone) setenv("TZ", kept.c_str(), 1);
    setenv("LD_BIND_NOW", "1", 1);
}

}  // namespace

int run_fastcgi_server(char** argv, const FastcgiOptions& options) {
    const char* program = argv[0];
    // Started again through /proc/self/exe, the process would be called "exe".
    const char* base = std::strrchr(program, '/');
    prctl(PR_SET_NAME, base ? base + 1 : program);
    if (options.handed_over_slot >= 0) return serve_handed_over(options);
    // Every library function a request calls is bound once, here, rather
    // than again in each request's process. (Not binding is only slower.)
    if (!std::getenv("LD_BIND_NOW")) {
        setenv("LD_BIND_NOW", "1", 1);
        execv("/proc/self/exe", argv);
    }
    trim_environment();
    int listener = STDIN_FILENO;
    if (!options.address.empty()) {
        std::string error;
        listener = listen_on(options.address, error);
        if (listener < 0) {
            std::fprintf(stderr, "runner --fastcgi: %s\n", error.c_str());
            return 1;
        }
    } else if (!is_listening_socket(STDIN_FILENO)) {
        std::fprintf(stderr, "runner --fastcgi: no address given and standard input is not a listening socket\n");
        return 2;
    }
    if (pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("runner --fastcgi: pipe");
        return 1;
    }
    // The children wait in accept, one woken per connection.
    fcntl(listener, F_SETFL, fcntl(listener, F_GETFL) & ~O_NONBLOCK);
    prepare_runner_process();
    install_handlers();
    Server server(listener, options, program);
    const int code = server.run();
    if (!options.address.empty() && options.address.find('/') != std::string::npos) unlink(options.address.c_str());
    return code;
}

}  // namespace tolv
