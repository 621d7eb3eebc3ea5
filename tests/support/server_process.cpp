#include "support/server_process.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/loopback.h"

namespace tolv::tests {

const ServiceAccount& service_account() {
    static const ServiceAccount account = [] {
        ServiceAccount a;
        a.root = geteuid() == 0;
        if (a.root) {
            const passwd* user = getpwnam("nobody");
            const group* group = getgrnam("nogroup");
            a.user = "nobody";
            a.group = "nogroup";
            a.uid = user ? user->pw_uid : 65534;
            a.gid = group ? group->gr_gid : 65534;
        } else {
            a.uid = geteuid();
            a.gid = getegid();
            const passwd* user = getpwuid(a.uid);
            const group* group = getgrgid(a.gid);
            a.user = user ? user->pw_name : std::to_string(a.uid);
            a.group = group ? group->gr_name : std::to_string(a.gid);
        }
        return a;
    }();
    return account;
}

void hand_over(const std::string& dir) {
    chmod(dir.c_str(), 0755);
    const ServiceAccount& account = service_account();
    if (account.root && chown(dir.c_str(), account.uid, account.gid) != 0) perror(dir.c_str());
}

void ServerProcess::start(const std::vector<std::string>& argv, const std::string& output, bool drop) {
    stop();
    const ServiceAccount& account = service_account();
    // The child makes no allocation: see run_process.
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (std::string& arg : copy) args.push_back(arg.data());
    args.push_back(nullptr);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ != 0) return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    int log = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log < 0 || dup2(log, 1) < 0 || dup2(log, 2) < 0) _exit(125);
    if (drop && account.root &&
        (setgroups(0, nullptr) != 0 || setgid(account.gid) != 0 || setuid(account.uid) != 0))
        _exit(126);
    execv(args[0], args.data());
    _exit(127);
}

bool ServerProcess::wait_for(bool (*ready)(const void*), const void* what) {
    for (int i = 0; i < 500 && pid_ > 0; ++i) {
        if (ready(what)) return true;
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool ServerProcess::wait_until_listening(int port) {
    return wait_for([](const void* p) { return accepts_connections(*static_cast<const int*>(p)); }, &port);
}

bool ServerProcess::wait_until_exists(const std::string& socket_path) {
    return wait_for([](const void* p) { return std::filesystem::exists(*static_cast<const std::string*>(p)); },
                    &socket_path);
}

int ServerProcess::terminate() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop();
    return -1;
}

void ServerProcess::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status;
    for (int i = 0; i < 300 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

}  // namespace tolv::tests
