#include "support/balancer.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "support/loopback.h"
#include "support/recipe.h"

namespace tolv::tests {

namespace {

const char HAPROXY[] = "/usr/sbin/haproxy";

// One command on haproxy's stats socket, and its whole answer.
std::string ask_stats_socket(const std::string& path, const std::string& command) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        write(fd, command.data(), command.size()) == ssize_t(command.size())) {
        char buffer[4096];
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) answer.append(buffer, size_t(got));
    }
    close(fd);
    return answer;
}

}  // namespace

Balancer::Balancer(const std::string& dir, int backend1_port, int backend2_port, const std::string& source)
    : port_(free_loopback_port()), dir_(dir) {
    if (!std::filesystem::exists(HAPROXY)) {
        log_ = "haproxy is not installed";
        return;
    }
    std::filesystem::create_directories(dir_);
    const std::map<std::string, std::string> values = {
        {"ADDRESS", "127.0.0.1"},
        {"PORT", std::to_string(port_)},
        {"BACKEND1", "127.0.0.1:" + std::to_string(backend1_port)},
        {"BACKEND2", "127.0.0.1:" + std::to_string(backend2_port)},
        {"SOURCE", source},
        {"RUN", dir_},
    };
    std::ofstream(dir_ + "/haproxy.cfg") << render_recipe("haproxy/haproxy.cfg", values);
    const std::string output = dir_ + "/haproxy-output.log";
    server_.start({HAPROXY, "-db", "-f", dir_ + "/haproxy.cfg"}, output);
    if (server_.wait_until_listening(port_) && server_.wait_until_exists(dir_ + "/haproxy.sock")) return;
    server_.stop();
    std::ifstream in(output);
    log_ = "haproxy did not start:\n" + std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Balancer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::map<std::string, long> Balancer::served() const {
    // CSV: pxname,svname,qcur,qmax,scur,smax,slim,stot,...
    std::map<std::string, long> counts;
    std::istringstream lines(ask_stats_socket(dir_ + "/haproxy.sock", "show stat\n"));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
        if (fields.size() > 7 && fields[0] == "web" && fields[1] != "BACKEND")
            counts[fields[1]] = std::atol(fields[7].c_str());
    }
    return counts;
}

}  // namespace tolv::tests
