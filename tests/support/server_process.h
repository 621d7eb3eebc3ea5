// A server started in the foreground as a child of the test process: stopped
// when the object goes, killed with the test process however that ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tolv::tests {

// Who the servers' workers and the CGI programs run as: the test's own user,
// or nobody/nogroup when the tests run as root (Apache refuses to serve as root).
struct ServiceAccount {
    std::string user, group;
    uid_t uid = 0;
    gid_t gid = 0;
    bool root = false;  // the tests run as root: servers drop to the account
};
const ServiceAccount& service_account();

// Gives `dir` to the service account (when the tests run as root), so that
// the runner may write its journal there, and opens it for reading.
void hand_over(const std::string& dir);

class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts argv[0] with `argv`, its standard output and error going to the
    // file `output`; as the service account when `drop` and the tests run as root.
    void start(const std::vector<std::string>& argv, const std::string& output, bool drop = false);
    // Wait (at most 5 s) until 127.0.0.1:port accepts connections, or until
    // `socket_path` exists; false when the process ended or never got there.
    bool wait_until_listening(int port);
    bool wait_until_exists(const std::string& socket_path);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void stop();
    // SIGTERM, then waits (10 s at most) for the end: the exit status as
    // waitpid gives it, or -1 when the process had to be killed.
    int terminate();

private:
    bool wait_for(bool (*ready)(const void*), const void* what);
    pid_t pid_ = -1;
};

}  // namespace tolv::tests
