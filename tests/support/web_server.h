// A real web server on a loopback port, started from its recipe under
// deploy/, serving the runner of a sandbox as its one CGI URL /runner; the
// *_fastcgi kinds pass the URL to `runner --fastcgi`: started beside nginx
// and Apache on a socket, started by lighttpd itself (which hands it the
// listening socket).
// The sandbox's runner directory holds the program and its TOLV.config; the
// document root is <sandbox>/public (static files only); the server's own
// configuration, pid and logs go to a directory of their own in the sandbox.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "support/http_client.h"
#include "support/runner_sandbox.h"
#include "support/server_process.h"

namespace tolv::tests {

enum class ServerKind { lighttpd, nginx, apache, nginx_fastcgi, lighttpd_fastcgi, apache_fastcgi };
bool is_fastcgi(ServerKind kind);
const char* server_name(ServerKind kind);
// Test names and messages show the server's name.
inline void PrintTo(ServerKind kind, std::ostream* out) { *out << server_name(kind); }

class WebServer {
public:
    // `fastcgi_options`: words after `runner --fastcgi SOCKET` (FastCGI kinds).
    explicit WebServer(const RunnerSandbox& sandbox, ServerKind kind = ServerKind::lighttpd,
                       const std::vector<std::string>& fastcgi_options = {});
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    bool running() const { return server_.running(); }
    ServerKind kind() const { return kind_; }
    int port() const { return port_; }
    // Why the server is not running: a missing program or its error log.
    const std::string& startup_log() const { return log_; }
    // Where the server keeps its logs, sockets and configuration.
    const std::string& run_dir() const { return run_dir_; }
    // http://127.0.0.1:<port> + path, the path sent as it is.
    std::string url(const std::string& path) const;
    // POSTs `body` to the runner.
    HttpAnswer post(const std::string& body, const std::vector<std::string>& headers = {}) const;
    // The FastCGI server's process id (nginx_fastcgi, apache_fastcgi), and its end: a SIGTERM,
    // then its exit status once it has stopped (-1 when it did not in 10 s).
    pid_t runner_pid() const { return runner_.pid(); }
    int stop_runner() { return runner_.terminate(); }

private:
    void start_lighttpd(const std::string& config);
    void start_nginx(const std::string& config, const std::string& runner);
    void start_apache(const std::string& config);
    bool start_runner(const std::string& runner, const std::string& socket, const std::vector<std::string>& options);
    void fail(const std::string& why);

    ServerKind kind_;
    int port_ = 0;
    std::string run_dir_;
    std::string log_;
    ServerProcess fcgiwrap_;  // nginx only
    ServerProcess runner_;    // FastCGI kinds
    ServerProcess server_;
};

}  // namespace tolv::tests
