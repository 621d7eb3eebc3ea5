// A real web server on a loopback port, started from its recipe under
// deploy/, serving the runner of a sandbox as its one CGI URL /runner.
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

namespace tolv::testing {

enum class ServerKind { lighttpd, nginx, apache };
const char* server_name(ServerKind kind);
// Test names and messages show the server's name.
inline void PrintTo(ServerKind kind, std::ostream* out) { *out << server_name(kind); }

class WebServer {
public:
    explicit WebServer(const RunnerSandbox& sandbox, ServerKind kind = ServerKind::lighttpd);
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    bool running() const { return server_.running(); }
    ServerKind kind() const { return kind_; }
    int port() const { return port_; }
    // Why the server is not running: a missing program or its error log.
    const std::string& startup_log() const { return log_; }
    // http://127.0.0.1:<port> + path, the path sent as it is.
    std::string url(const std::string& path) const;
    // POSTs `body` to the runner.
    HttpAnswer post(const std::string& body, const std::vector<std::string>& headers = {}) const;

private:
    void start_lighttpd(const std::string& config);
    void start_nginx(const std::string& config, const std::string& runner);
    void start_apache(const std::string& config);
    void fail(const std::string& why);

    ServerKind kind_;
    int port_ = 0;
    std::string run_dir_;
    std::string log_;
    ServerProcess fcgiwrap_;  // nginx only
    ServerProcess server_;
};

}  // namespace tolv::testing
