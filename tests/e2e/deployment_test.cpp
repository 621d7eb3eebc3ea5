// The deployment recipes under deploy/, started as they are: lighttpd,
// nginx with fcgiwrap and Apache serve a site laid out as the recipes say
// (runner, TOLV.config and journal outside the document root), answer the
// application on its one URL and its static files, and nothing else; and two
// of them behind haproxy serve one client's session between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <thread>

#include "support/balancer.h"
#include "support/ferretdb_server.h"
#include "support/http_client.h"
#include "support/reply_token_fields.h"
#include "support/shop_requests.h"
#include "support/web_server.h"

namespace fs = std::filesystem;

namespace tolv::tests {
namespace {

const std::string SHOP_DIR = std::string(TOLV_SOURCE_DIR) + "/examples/shop";
const std::string PAIR_DIR = std::string(TOLV_SOURCE_DIR) + "/tests/e2e/apps/pair";
const std::string INDEX_PAGE = "<!doctype html><title>shop</title>\n";

// A site as the recipes lay it out: bin/ (runner and TOLV.config), modules/,
// log/ (the journal's directory) and public/ (the document root).
class Site {
public:
    explicit Site(const std::string& app_dir) : box(TOLV_RUNNER_PATH, "bin") {
        fs::create_directories(box.path("modules"));
        for (const auto& entry : fs::directory_iterator(app_dir))
            if (entry.path().extension() == ".js")
                fs::copy_file(entry.path(), box.path("modules/" + entry.path().filename().string()));
        fs::create_directories(box.path("log"));
        hand_over(box.path("log"));
        box.write_file("public/index.html", INDEX_PAGE);
    }
    void configure(const std::string& extra) const {
        box.write_config("MODULE_DIR=" + box.path("modules") + "\nLOGFILE=" + box.path("log/journal.log") + "\n" +
                         extra);
    }
    // The runner writes its journal after the answer is complete.
    std::string journal() const {
        for (int tries = 0; tries < 250 && !box.exists("log/journal.log"); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return box.read_file("log/journal.log");
    }
    // The two "Q" fields that `runner --issue-token ADDRESS` prints, as a request's Q record.
    std::string issued_token_fields(const std::string& address) const {
        ProcessResult issued = box.run({"--issue-token", address});
        std::istringstream lines(issued.out);
        std::string first, token;
        std::getline(lines, first);
        std::getline(lines, token);
        return token_record(first, token);
    }
    RunnerSandbox box;
};

struct Probe {
    const char* method;
    const char* path;
};

// What an attacker asks for: the configuration, the journal, modules and the
// program itself, by name, through "..", encoded dots, path info after the
// program, and a query that Apache would hand the program as command-line words.
const Probe PROBES[] = {
    {"GET", "/TOLV.config"},
    {"GET", "/bin/TOLV.config"},
    {"GET", "/log/journal.log"},
    {"GET", "/journal.log"},
    {"GET", "/modules/order.js"},
    {"GET", "/order.js"},
    {"GET", "/bin/runner"},
    {"GET", "/runner"},
    {"GET", "/../bin/TOLV.config"},
    {"GET", "/runner/../bin/TOLV.config"},
    {"GET", "/index.html/../../log/journal.log"},
    {"GET", "/%2e%2e/bin/TOLV.config"},
    {"GET", "/%2E%2E/log/journal.log"},
    {"GET", "/..%2fmodules/order.js"},
    {"GET", "/runner/TOLV.config"},
    {"POST", "/runner/TOLV.config"},
    {"POST", "/runner/../bin/TOLV.config"},
    {"POST", "/runner/%2e%2e/TOLV.config"},
    {"GET", "/runner?--issue-token+127.0.0.1"},
    {"POST", "/runner?--issue-token+127.0.0.1"},
};

class DeployedFromRecipe : public ::testing::TestWithParam<ServerKind> {};

TEST_P(DeployedFromRecipe, ServesTheApplicationAndStaticFilesButNoSecret) {
    Site site(SHOP_DIR);
    site.configure("INCLUDE=catalog.js\nINCLUDE=pricing.js\n");
    WebServer server(site.box, GetParam());
    ASSERT_TRUE(server.running()) << server.startup_log();

    HttpAnswer order = server.post(order_request({"tea", "cup"}));
    EXPECT_EQ(order.status, 200);
    EXPECT_EQ(order.body,
              "s18customer13Ann"
              "H1518^H50000114code13tea14nameC11Green%20tea18quantityP1015totalR405019available14true"
              "H1518^H50000214code13cup14nameB9Tea%20cup18quantityP1015totalS1080019available15false"
              "A1215lines18^H50000118^H500002"
              "H1317summary15itemsO213net16148.5015gross16163.35"
              "C11131110");
    for (const char* path : {"/", "/index.html"}) {
        HttpAnswer page = http_request("GET", server.url(path));
        EXPECT_EQ(page.status, 200) << path;
        EXPECT_EQ(page.body, INDEX_PAGE) << path;
    }
    const std::string journal = site.journal();
    ASSERT_NE(journal.find("-----  start : "), std::string::npos) << journal;

    // Every file the probes aim at is there, and holds something to recognise.
    const std::string key = "deploy-key-5f0c2e9a71", password = "Pa55w0rd-XYZ";
    site.configure("INCLUDE=catalog.js\nINCLUDE=pricing.js\nTOKEN_KEY=" + key +
                   "\nTIME_INTERVAL=600\nVAR='db_uri':'mongodb://shopuser:" + password + "@127.0.0.1/shop'\n");
    const std::string secrets[] = {key, password, "MODULE_DIR=", "-----  start", "function order", "\x7f" "ELF"};
    std::string summary;
    for (const Probe& probe : PROBES) {
        HttpAnswer answer = http_request(probe.method, server.url(probe.path));
        summary += std::string("\n  ") + probe.method + " " + probe.path + " -> " + std::to_string(answer.status);
        // Refused, or the runner's own answer to a request that brought no
        // token: never a token, never the runner's command line.
        const bool refused = answer.status >= 400 && answer.status < 500;
        const bool runner_refused = answer.status == 200 && answer.body.ends_with("X12NG12NG");
        EXPECT_TRUE(refused || runner_refused) << probe.method << " " << probe.path << " answered " << answer.status
                                               << ":\n" << answer.body.substr(0, 300);
        for (const std::string& secret : secrets)
            EXPECT_EQ(answer.body.find(secret), std::string::npos) << probe.path << " shows " << secret;
    }
    std::cout << "[ " << server_name(GetParam()) << " ]" << summary << "\n";
}

INSTANTIATE_TEST_SUITE_P(Servers, DeployedFromRecipe,
                         ::testing::Values(ServerKind::lighttpd, ServerKind::nginx, ServerKind::apache,
                                           ServerKind::nginx_fastcgi, ServerKind::lighttpd_fastcgi,
                                           ServerKind::apache_fastcgi),
                         [](const auto& info) { return std::string(server_name(info.param)); });

// Two web servers of different kinds behind haproxy, one TOLV.config, one
// database. The client connects from 127.0.0.5, haproxy connects to the web
// servers from 127.0.0.3, which TRUSTED_PROXY names.
TEST(BalancedPair, SessionOfFiveRequestsAlternatesBetweenServersAndEveryWriteLands) {
    FerretDbServer& database = ferretdb();
    ASSERT_TRUE(database.running()) << database.failure();
    const std::string collection_db = "pair" + std::to_string(getpid());
    Site site(PAIR_DIR);
    site.configure("TOKEN_KEY=pair-key-39ac71\nTIME_INTERVAL=600\nTOKEN_OPEN=login\nTRUSTED_PROXY=127.0.0.3\n"
                   "VAR='pair_db':'" + database.uri(collection_db) + "'\n");
    WebServer nginx(site.box, ServerKind::nginx), apache(site.box, ServerKind::apache);
    ASSERT_TRUE(nginx.running()) << nginx.startup_log();
    ASSERT_TRUE(apache.running()) << apache.startup_log();
    Balancer balancer(site.box.path("haproxy"), nginx.port(), apache.port(), "127.0.0.3");
    ASSERT_TRUE(balancer.running()) << balancer.startup_log();

    const std::string CLIENT = "127.0.0.5";
    const std::string modules = counted_record('M', 1, counted_text("pair.js"));
    const std::string user = counted_record('S', 1, counted_text("user") + counted_text("ann"));
    auto send = [&](const std::string& body, const std::vector<std::string>& headers = {}) {
        return http_request({balancer.url("/runner"), "POST", body, headers, CLIENT});
    };
    std::string records, first, token;

    // A wrong password opens nothing.
    HttpAnswer refused = send(top_program("login(user, password)") + modules + user +
                              counted_record('S', 1, counted_text("password") + counted_text("guess")));
    EXPECT_EQ(refused.status, 200);
    EXPECT_TRUE(refused.body.ends_with("X12NG12NG")) << refused.body;

    // The session: login, then four writes, each with the token of the answer
    // before, which the other web server issued.
    std::string servers;  // who served each step: '1' nginx, '2' apache
    std::map<std::string, long> served = balancer.served();
    ASSERT_EQ(served.size(), 2u) << "haproxy's statistics name web1 and web2";
    HttpAnswer answer = send(top_program("login(user, password)") + modules + user +
                             counted_record('S', 1, counted_text("password") + counted_text("open sesame")));
    for (int step = 2;; ++step) {
        const std::map<std::string, long> before = served;
        served = balancer.served();
        servers += served["web1"] > before.at("web1") ? '1' : served["web2"] > before.at("web2") ? '2' : '?';
        ASSERT_EQ(answer.status, 200);
        ASSERT_TRUE(split_reply_token(answer.body, records, first, token)) << answer.body;
        ASSERT_NE(token, "NG") << "step " << step - 1 << ": " << answer.body;
        EXPECT_TRUE(records.ends_with("C10101110")) << "step " << step - 1 << ": " << answer.body;
        if (step > 5) break;
        answer = send(token_record(first, token) + top_program("write(user, step)") + modules +
                      user + counted_record('I', 1, counted_text("step") + counted_number(size_t(step))));
    }
    EXPECT_TRUE(servers == "21212" || servers == "12121") << servers;

    // A forged X-Forwarded-For through the balancer does not move the client:
    // its token still holds, and one issued to the forged address does not.
    const std::string q = token_record(first, token);
    answer = send(q + top_program("write(user, step)") + modules + user +
                      counted_record('I', 1, counted_text("step") + counted_number(6)),
                  {"X-Forwarded-For: 127.0.0.9"});
    ASSERT_TRUE(split_reply_token(answer.body, records, first, token)) << answer.body;
    EXPECT_NE(token, "NG") << answer.body;
    answer = send(site.issued_token_fields("127.0.0.9") + top_program("write(user, step)") + modules + user +
                      counted_record('I', 1, counted_text("step") + counted_number(7)),
                  {"X-Forwarded-For: 127.0.0.9"});
    EXPECT_TRUE(answer.body.starts_with("S141775")) << answer.body;
    EXPECT_TRUE(answer.body.ends_with("X12NG12NG")) << answer.body;

    ProcessOptions dump;
    dump.args = {std::string(TOLV_SOURCE_DIR) + "/tests/db/mongo_peer.py", database.uri(collection_db), "dump",
                 collection_db, "visits"};
    std::string documents = run_process("/usr/bin/python3", dump).out;
    for (int step = 1; step <= 6; ++step) {
        const std::string expected = "\"client\": \"" + CLIENT + "\", \"step\": " + std::to_string(step) +
                                     ", \"user\": \"ann\"}";
        EXPECT_NE(documents.find(expected), std::string::npos) << "step " << step << " is missing:\n" << documents;
    }
    EXPECT_EQ(std::count(documents.begin(), documents.end(), '\n'), 6) << documents;
}

}  // namespace
}  // namespace tolv::tests
