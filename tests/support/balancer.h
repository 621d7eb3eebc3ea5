// haproxy on a loopback port, started from deploy/haproxy, balancing round
// robin between two web servers; it connects to them from its own source
// address, as a balancer on another machine would.
#pragma once

#include <map>
#include <string>

#include "support/server_process.h"

namespace tolv::tests {

class Balancer {
public:
    // `dir`: where haproxy's configuration, output and stats socket go.
    Balancer(const std::string& dir, int backend1_port, int backend2_port, const std::string& source);
    Balancer(const Balancer&) = delete;
    Balancer& operator=(const Balancer&) = delete;

    bool running() const { return server_.running(); }
    const std::string& startup_log() const { return log_; }
    // http://127.0.0.1:<port> + path.
    std::string url(const std::string& path) const;
    // The requests each web server (by the recipe's names, web1 and web2) has been sent.
    std::map<std::string, long> served() const;

private:
    int port_ = 0;
    std::string dir_;
    std::string log_;
    ServerProcess server_;
};

}  // namespace tolv::tests
