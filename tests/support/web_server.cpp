#include "support/web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/loopback.h"

namespace tolv::testing {

namespace {

const char LIGHTTPD[] = "/usr/sbin/lighttpd";

}  // namespace

WebServer::WebServer(const RunnerSandbox& sandbox) : dir_(sandbox.dir()) {
    if (!std::filesystem::exists(LIGHTTPD)) {
        log_ = "lighttpd is not installed";
        return;
    }
    port_ = free_loopback_port();
    std::ofstream(dir_ + "/lighttpd.conf")
        << "server.document-root = \"" << dir_ << "\"\n"
        << "server.bind = \"127.0.0.1\"\n"
        << "server.port = " << port_ << "\n"
        << "server.modules = (\"mod_cgi\")\n"
        << "server.errorlog = \"" << dir_ << "/lighttpd-error.log\"\n"
        << "server.max-request-size = 65536\n"
        << "cgi.assign = (\"/runner\" => \"\")\n";
    pid_ = fork();
    if (pid_ == 0) {
        execl(LIGHTTPD, LIGHTTPD, "-D", "-f", (dir_ + "/lighttpd.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        if (accepts_connections(port_)) return;
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    std::ifstream error_log(dir_ + "/lighttpd-error.log");
    log_.assign(std::istreambuf_iterator<char>(error_log), {});
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

WebServer::~WebServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

HttpAnswer WebServer::post(const std::string& body, const std::vector<std::string>& headers) const {
    ProcessOptions options;
    options.args = {"-s", "-S", "--max-time", "60", "-o", "-", "-w", "\n%{http_code}", "-X", "POST",
                 "-H", "Content-Type: application/octet-stream", "--data-binary", "@-"};
    for (const std::string& header : headers) {
        options.args.push_back("-H");
        options.args.push_back(header);
    }
    options.args.push_back("http://127.0.0.1:" + std::to_string(port_) + "/runner");
    options.input = body;
    ProcessResult result = run_process("/usr/bin/curl", options);
    HttpAnswer answer;
    size_t newline = result.out.rfind('\n');
    if (newline == std::string::npos) return answer;
    answer.status = std::atoi(result.out.c_str() + newline + 1);
    answer.body = result.out.substr(0, newline);
    return answer;
}

}  // namespace tolv::testing
