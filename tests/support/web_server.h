// A real web server (lighttpd with mod_cgi) on a loopback port, serving the
// runner of a sandbox as a CGI program.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/runner_sandbox.h"

namespace tolv::testing {

struct HttpAnswer {
    int status = 0;
    std::string body;
};

class WebServer {
public:
    // Serves `sandbox`'s runner as http://127.0.0.1:<port>/runner.
    explicit WebServer(const RunnerSandbox& sandbox);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    const std::string& startup_log() const { return log_; }
    // POSTs `body` to the runner with curl.
    HttpAnswer post(const std::string& body, const std::vector<std::string>& headers = {}) const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string dir_;
    std::string log_;
};

}  // namespace tolv::testing
