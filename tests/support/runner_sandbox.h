// Runs the built runner as a real process in a directory of its own, with its
// own TOLV.config, module files and journal.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tolv::tests {

struct ProcessResult {
    std::string out;
    std::string err;
    int exit_code = -1;  // -1 when the process did not exit normally
};

struct ProcessOptions {
    std::vector<std::string> args;  // after the program path
    // On top of a minimal environment (PATH, TZ=UTC); a name given here replaces its default.
    std::vector<std::pair<std::string, std::string>> env;
    std::string input;
    std::string working_dir;  // "" = the caller's
    size_t input_piece = 0;          // > 0: write the input in pieces of this size ...
    unsigned piece_pause_us = 0;     // ... this long apart
    // > 0: SIGALRM ends the process after this many seconds, so that a process
    // that hangs fails its test (exit_code -1) instead of stalling the suite.
    unsigned hang_guard_s = 0;
};

ProcessResult run_process(const std::string& program, const ProcessOptions& options);

class RunnerSandbox {
public:
    explicit RunnerSandbox(const std::string& runner_path = TOLV_RUNNER_PATH);
    // The runner and its TOLV.config in `program_dir` under the sandbox (a
    // site's layout: "bin" beside "public", "log" and "modules").
    RunnerSandbox(const std::string& runner_path, const std::string& program_dir);
    ~RunnerSandbox();
    RunnerSandbox(const RunnerSandbox&) = delete;
    RunnerSandbox& operator=(const RunnerSandbox&) = delete;

    const std::string& dir() const { return dir_; }
    const std::string& runner() const { return runner_; }
    std::string path(const std::string& relative) const { return dir_ + "/" + relative; }

    void write_file(const std::string& relative, const std::string& content) const;
    std::string read_file(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    // Writes TOLV.config in the runner's directory.
    void write_config(const std::string& text) const { write_file(program_dir_ + "TOLV.config", text); }

    // A CGI request: CONTENT_LENGTH is the body's length unless given in `env`.
    ProcessResult cgi(const std::string& body,
                      std::vector<std::pair<std::string, std::string>> env = {}) const;
    ProcessResult run(const std::vector<std::string>& args,
                      std::vector<std::pair<std::string, std::string>> env = {}) const;

private:
    std::string dir_;
    std::string program_dir_;  // "" or "name/"
    std::string runner_;
};

// The CGI header line every answer starts with.
inline constexpr const char* ANSWER_HEADER = "Content-type: text/plane;charset=UTF-8\n\n";

// The fatal record for a message: "S148555" + raw counted text.
std::string fatal_record(const std::string& message);
// A counted text as the runner writes it (with escaping).
std::string counted_text(const std::string& text);
// '0' + digit count, then the digits.
std::string counted_number(size_t n);
// A request record with a count and a length field: letter, count, length of
// `contents`, contents (M, I, D, S and A records).
std::string counted_record(char letter, size_t count, const std::string& contents);

}  // namespace tolv::tests
