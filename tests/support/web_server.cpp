#include "support/web_server.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "support/loopback.h"
#include "support/recipe.h"

namespace fs = std::filesystem;

namespace tolv::tests {

namespace {

const char LIGHTTPD[] = "/usr/sbin/lighttpd";
const char NGINX[] = "/usr/sbin/nginx";
const char FCGIWRAP[] = "/usr/sbin/fcgiwrap";
const char APACHE[] = "/usr/sbin/apache2";
const char APACHE_MODULES[] = "/usr/lib/apache2/modules";

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

const char* server_name(ServerKind kind) {
    switch (kind) {
    case ServerKind::lighttpd: return "lighttpd";
    case ServerKind::nginx: return "nginx";
    case ServerKind::apache: return "apache";
    case ServerKind::nginx_fastcgi: return "nginx_fastcgi";
    case ServerKind::lighttpd_fastcgi: return "lighttpd_fastcgi";
    case ServerKind::apache_fastcgi: return "apache_fastcgi";
    }
    return "?";
}

bool is_fastcgi(ServerKind kind) {
    return kind == ServerKind::nginx_fastcgi || kind == ServerKind::lighttpd_fastcgi ||
           kind == ServerKind::apache_fastcgi;
}

WebServer::WebServer(const RunnerSandbox& sandbox, ServerKind kind, const std::vector<std::string>& fastcgi_options)
    : kind_(kind), port_(free_loopback_port()) {
    const std::string name = server_name(kind);
    run_dir_ = sandbox.path(name + "-" + std::to_string(port_));
    const std::string document_root = sandbox.path("public");
    fs::create_directories(run_dir_);
    fs::create_directories(document_root);
    // The service account runs the runner, which may keep its journal at the
    // sandbox's top; the server and fcgiwrap keep their logs, sockets and
    // buffers in their own directory.
    hand_over(sandbox.dir());
    hand_over(run_dir_);
    const ServiceAccount& account = service_account();
    const std::string runner_socket = run_dir_ + "/runner.sock";
    const std::map<std::string, std::string> values = {
        {"BIN", fs::path(sandbox.runner()).parent_path().string()},
        {"PUBLIC", document_root},
        {"RUN", run_dir_},
        {"ADDRESS", "127.0.0.1"},
        {"PORT", std::to_string(port_)},
        {"USER", account.user},
        {"GROUP", account.group},
        {"MODULES", APACHE_MODULES},
        {"FCGI", "unix:" + (is_fastcgi(kind) ? runner_socket : run_dir_ + "/fcgiwrap.sock")},
        {"SOCKET", runner_socket},
    };
    const std::string recipe = kind == ServerKind::lighttpd        ? "lighttpd/lighttpd.conf"
                               : kind == ServerKind::nginx         ? "nginx/nginx.conf"
                               : kind == ServerKind::nginx_fastcgi ? "nginx-fastcgi/nginx.conf"
                               : kind == ServerKind::lighttpd_fastcgi ? "lighttpd-fastcgi/lighttpd.conf"
                               : kind == ServerKind::apache_fastcgi   ? "apache-fastcgi/apache2.conf"
                                                                      : "apache/apache2.conf";
    const std::string config = run_dir_ + "/" + fs::path(recipe).filename().string();
    std::ofstream(config) << render_recipe(recipe, values);
    // lighttpd starts the runner itself.
    if (is_fastcgi(kind) && kind != ServerKind::lighttpd_fastcgi &&
        !start_runner(sandbox.runner(), runner_socket, fastcgi_options))
        return;
    switch (kind) {
    case ServerKind::lighttpd: start_lighttpd(config); break;
    case ServerKind::nginx: start_nginx(config, sandbox.runner()); break;
    case ServerKind::apache: start_apache(config); break;
    case ServerKind::nginx_fastcgi: start_nginx(config, ""); break;
    case ServerKind::lighttpd_fastcgi: start_lighttpd(config); break;
    case ServerKind::apache_fastcgi: start_apache(config); break;
    }
}

bool WebServer::start_runner(const std::string& runner, const std::string& socket,
                             const std::vector<std::string>& options) {
    std::vector<std::string> argv = {runner, "--fastcgi", socket};
    argv.insert(argv.end(), options.begin(), options.end());
    runner_.start(argv, run_dir_ + "/runner-error.log", true);
    if (runner_.wait_until_exists(socket)) return true;
    fail("runner --fastcgi did not start");
    return false;
}

void WebServer::fail(const std::string& why) {
    server_.stop();
    fcgiwrap_.stop();
    runner_.stop();
    log_ = why;
    for (const auto& entry : fs::directory_iterator(run_dir_)) {
        const std::string file = entry.path().filename().string();
        if (file.find("error") != std::string::npos || file.find("output") != std::string::npos)
            log_ += "\n" + file + ":\n" + read_text(entry.path().string());
    }
}

void WebServer::start_lighttpd(const std::string& config) {
    if (!fs::exists(LIGHTTPD)) return fail("lighttpd is not installed");
    server_.start({LIGHTTPD, "-D", "-f", config}, run_dir_ + "/lighttpd-output.log");
    if (!server_.wait_until_listening(port_)) fail("lighttpd did not start");
}

// `runner` empty: the runner serves FastCGI itself and no fcgiwrap is needed.
void WebServer::start_nginx(const std::string& config, const std::string& runner) {
    if (!fs::exists(NGINX) || (!runner.empty() && !fs::exists(FCGIWRAP)))
        return fail("nginx or fcgiwrap is not installed");
    if (!runner.empty()) {
        const std::string socket = run_dir_ + "/fcgiwrap.sock";
        // -p: this fcgiwrap starts the runner and nothing else.
        fcgiwrap_.start({FCGIWRAP, "-f", "-s", "unix:" + socket, "-p", runner}, run_dir_ + "/fcgiwrap-output.log",
                        true);
        if (!fcgiwrap_.wait_until_exists(socket)) return fail("fcgiwrap did not start");
    }
    server_.start({NGINX, "-c", config, "-e", run_dir_ + "/nginx-error.log", "-g", "daemon off;"},
                  run_dir_ + "/nginx-output.log");
    if (!server_.wait_until_listening(port_)) fail("nginx did not start");
}

void WebServer::start_apache(const std::string& config) {
    if (!fs::exists(APACHE)) return fail("apache2 is not installed");
    server_.start({APACHE, "-f", config, "-DFOREGROUND"}, run_dir_ + "/apache-output.log");
    if (!server_.wait_until_listening(port_)) fail("apache did not start");
}

std::string WebServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

HttpAnswer WebServer::post(const std::string& body, const std::vector<std::string>& headers) const {
    return http_request({url("/runner"), "POST", body, headers, ""});
}

}  // namespace tolv::tests
