#include "support/ferretdb_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace tolv::tests {


std::string ferretdb_binary() {
    if (const char* path = std::getenv("TOLV_FERRETDB"); path && *path) return path;
    std::string cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg) cache = xdg;
    else cache = std::string(std::getenv("HOME") ? std::getenv("HOME") : "/root") + "/.cache";
    return cache + "/tolv/ferretdb-v1.24.2/ferretdb";
}

FerretDbServer::FerretDbServer() {
    std::string binary = ferretdb_binary();
    if (!std::filesystem::exists(binary)) {
        failure_ = binary + " is missing: run tools/ferretdb.sh";
        return;
    }
    char pattern[] = "/tmp/tolv-ferretdb-XXXXXX";
    if (!mkdtemp(pattern)) {
        failure_ = "no temporary directory";
        return;
    }
    dir_ = pattern;
    port_ = free_loopback_port();
    std::vector<std::string> args = {
        binary,
        "--listen-addr=127.0.0.1:" + std::to_string(port_),
        "--handler=sqlite",
        "--sqlite-url=file:" + dir_ + "/",
        "--state-dir=" + dir_,
        "--telemetry=disable",
        "--debug-addr=-",
        "--log-level=error",
    };
    std::vector<char*> argv;  // built before fork: the child makes no allocation
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // Dies with the test process, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!accepts_connections(port_)) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = "ferretdb exited at start-up";
            return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            stop();
            failure_ = "ferretdb did not listen within 30 s";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

FerretDbServer::~FerretDbServer() {
    stop();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

void FerretDbServer::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status;
    for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

std::string FerretDbServer::uri(const std::string& database) const {
    return "mongodb://127.0.0.1:" + std::to_string(port_) + "/" + database +
           "?serverSelectionTimeoutMS=3000&connectTimeoutMS=2000";
}

FerretDbServer& ferretdb() {
    static FerretDbServer server;
    return server;
}

}  // namespace tolv::tests
