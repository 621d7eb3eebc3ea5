#include "support/runner_sandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tolv::tests {

ProcessResult run_process(const std::string& program, const ProcessOptions& options) {
    // Everything the child needs is built before fork: tests start runners
    // from several threads, and a child of a threaded process may only make
    // async-signal-safe calls (an allocation can wait forever on a lock
    // another thread held at the fork).
    std::vector<std::string> env_text = {"PATH=/usr/bin:/bin", "TZ=UTC"};
    if (const char* asan = std::getenv("ASAN_OPTIONS")) env_text.push_back(std::string("ASAN_OPTIONS=") + asan);
    if (const char* ubsan = std::getenv("UBSAN_OPTIONS")) env_text.push_back(std::string("UBSAN_OPTIONS=") + ubsan);
    for (const auto& [name, value] : options.env) {
        // A given variable replaces a default of the same name (TZ).
        std::erase_if(env_text, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
        env_text.push_back(name + "=" + value);
    }
    std::vector<char*> envp, argv;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program_copy = program;
    argv.push_back(program_copy.data());
    std::vector<std::string> args = options.args;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const char* working_dir = options.working_dir.empty() ? nullptr : options.working_dir.c_str();

    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) || pipe2(out_pipe, O_CLOEXEC) || pipe2(err_pipe, O_CLOEXEC)) throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
        if (working_dir && chdir(working_dir) != 0) _exit(127);
        if (options.hang_guard_s) alarm(options.hang_guard_s);  // the timer survives execve
        execve(program_copy.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);

    ProcessResult result;
    size_t written = 0;
    bool in_open = true;
    if (options.input.empty()) {
        close(in_pipe[1]);
        in_open = false;
    }
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        pollfd fds[3];
        int n = 0;
        int out_index = -1, err_index = -1, in_index = -1;
        if (out_open) { fds[n] = {out_pipe[0], POLLIN, 0}; out_index = n++; }
        if (err_open) { fds[n] = {err_pipe[0], POLLIN, 0}; err_index = n++; }
        if (in_open) { fds[n] = {in_pipe[1], POLLOUT, 0}; in_index = n++; }
        if (poll(fds, nfds_t(n), 60000) <= 0) break;
        char buffer[65536];
        if (out_index >= 0 && fds[out_index].revents) {
            ssize_t got = read(out_pipe[0], buffer, sizeof buffer);
            if (got <= 0) out_open = false; else result.out.append(buffer, size_t(got));
        }
        if (err_index >= 0 && fds[err_index].revents) {
            ssize_t got = read(err_pipe[0], buffer, sizeof buffer);
            if (got <= 0) err_open = false; else result.err.append(buffer, size_t(got));
        }
        if (in_index >= 0 && fds[in_index].revents) {
            size_t piece = options.input.size() - written;
            if (options.input_piece && piece > options.input_piece) piece = options.input_piece;
            ssize_t put = write(in_pipe[1], options.input.data() + written, piece);
            if (put > 0) written += size_t(put);
            if (put > 0 && options.piece_pause_us) usleep(options.piece_pause_us);
            if (put <= 0 || written == options.input.size()) {
                close(in_pipe[1]);
                in_open = false;
            }
        }
    }
    if (in_open) close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

RunnerSandbox::RunnerSandbox(const std::string& runner_path) : RunnerSandbox(runner_path, "") {}

RunnerSandbox::RunnerSandbox(const std::string& runner_path, const std::string& program_dir)
    : program_dir_(program_dir.empty() ? "" : program_dir + "/") {
    std::string pattern = (fs::temp_directory_path() / "tolv-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    dir_ = pattern;
    fs::create_directories(dir_ + "/" + program_dir_);
    runner_ = dir_ + "/" + program_dir_ + fs::path(runner_path).filename().string();
    std::error_code error;
    fs::create_hard_link(runner_path, runner_, error);
    if (error) fs::copy_file(runner_path, runner_);
}

RunnerSandbox::~RunnerSandbox() {
    std::error_code error;
    fs::remove_all(dir_, error);
}

void RunnerSandbox::write_file(const std::string& relative, const std::string& content) const {
    fs::path file = path(relative);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

std::string RunnerSandbox::read_file(const std::string& relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool RunnerSandbox::exists(const std::string& relative) const { return fs::exists(path(relative)); }

ProcessResult RunnerSandbox::cgi(const std::string& body, std::vector<std::pair<std::string, std::string>> env) const {
    bool has_length = false;
    for (const auto& [name, value] : env) has_length |= name == "CONTENT_LENGTH";
    if (!has_length) env.emplace_back("CONTENT_LENGTH", std::to_string(body.size()));
    ProcessOptions options;
    options.env = std::move(env);
    options.input = body;
    options.working_dir = dir_;
    options.hang_guard_s = 300;  // far beyond any request of the suite, even under ASan
    return run_process(runner_, options);
}

ProcessResult RunnerSandbox::run(const std::vector<std::string>& args,
                                 std::vector<std::pair<std::string, std::string>> env) const {
    ProcessOptions options;
    options.args = args;
    options.env = std::move(env);
    options.working_dir = dir_;
    return run_process(runner_, options);
}

std::string fatal_record(const std::string& message) {
    std::string length = std::to_string(message.size());
    return "S148555" + std::string(1, char('0' + length.size())) + length + message;
}

std::string counted_text(const std::string& text) {
    static const char plain[] = ";,/?:@&=+$-_.*'()#";
    std::string sent;
    bool escaped = false;
    for (unsigned char c : text) {
        if (std::isalnum(c) || (c && std::strchr(plain, c))) {
            sent += char(c);
        } else {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", c);
            sent += code;
            escaped = true;
        }
    }
    if (sent.empty()) return "10";
    std::string length = std::to_string(sent.size());
    return std::string(1, char((escaped ? 'A' : '0') + length.size())) + length + sent;
}

std::string counted_number(size_t n) {
    std::string digits = std::to_string(n);
    return std::string(1, char('0' + digits.size())) + digits;
}

std::string counted_record(char letter, size_t count, const std::string& contents) {
    return std::string(1, letter) + counted_number(count) + counted_number(contents.size()) + contents;
}

}  // namespace tolv::tests
