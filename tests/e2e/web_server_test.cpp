// Requests through a real web server: lighttpd starts the runner as a CGI program.
#include "support/web_server.h"

#include <gtest/gtest.h>

#include <thread>

namespace tolv::testing {
namespace {

std::string top_program(const std::string& text) { return "P" + counted_text(text); }

class ThroughWebServer : public ::testing::Test {
protected:
    void SetUp() override {
        box.write_config("LOGFILE=" + box.path("journal.log") + "\n");
        server = std::make_unique<WebServer>(box);
        ASSERT_TRUE(server->running()) << server->startup_log();
    }
    RunnerSandbox box;
    std::unique_ptr<WebServer> server;
};

TEST_F(ThroughWebServer, FailingRequestAnswersTheErrorRecord) {
    HttpAnswer answer = server->post(top_program("main()"));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "S" + counted_text("1805") +
                               counted_text("EVAL ERROR 1805 (:0:0) : "
                                            "ロードするJavaScriptのモジュールが指定されていません"));
}

TEST_F(ThroughWebServer, ConcurrentRequestsKeepAnswersAndJournalIntact) {
    constexpr int REQUESTS = 20;
    std::vector<HttpAnswer> answers(REQUESTS);
    std::vector<std::thread> threads;
    for (int i = 0; i < REQUESTS; ++i) {
        threads.emplace_back([&, i] { answers[size_t(i)] = server->post(top_program("main()") + "Z"); });
    }
    for (auto& t : threads) t.join();
    for (const HttpAnswer& answer : answers) {
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body.rfind("S" + counted_text("1750"), 0), 0u) << answer.body;
    }
    std::string journal = box.read_file("journal.log");
    size_t starts = 0, ends = 0;
    for (size_t at = 0; (at = journal.find("-----  start : ", at)) != std::string::npos; ++at) ++starts;
    for (size_t at = 0; (at = journal.find("=====  end : ", at)) != std::string::npos; ++at) ++ends;
    EXPECT_EQ(starts, size_t(REQUESTS));
    EXPECT_EQ(ends, size_t(REQUESTS));
}

}  // namespace
}  // namespace tolv::testing
