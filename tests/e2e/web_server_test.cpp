// Requests through a real web server: lighttpd starts the runner as a CGI
// program for the shop example.
#include "support/web_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "protocol/reply_token.h"
#include "support/reply_token_fields.h"
#include "support/shop_requests.h"

namespace tolv::tests {
namespace {

const std::string SHOP_DIR = std::string(TOLV_SOURCE_DIR) + "/examples/shop";

class ThroughWebServer : public ::testing::Test {
protected:
    // The runner writes its journal after the answer is complete, so the
    // client can be ahead of it: wait (boundedly) until `blocks` are in.
    std::string journal_with_blocks(size_t blocks) const {
        std::string journal;
        for (int tries = 0; tries < 1500; ++tries) {
            journal = box.read_file("journal.log");
            size_t ends = 0;
            for (size_t at = 0; (at = journal.find("=====  end : ", at)) != std::string::npos; ++at) ++ends;
            if (ends >= blocks) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return journal;
    }

    void SetUp() override {
        configure("");
        server = std::make_unique<WebServer>(box);
        ASSERT_TRUE(server->running()) << server->startup_log();
    }
    void configure(const std::string& extra) const {
        box.write_config("MODULE_DIR=" + SHOP_DIR + "\nINCLUDE=catalog.js\nINCLUDE=pricing.js\nLOGFILE=" +
                         box.path("journal.log") + "\n" + extra);
    }
    RunnerSandbox box;
    std::unique_ptr<WebServer> server;
};

TEST_F(ThroughWebServer, OrderIsAnsweredWithItsRecords) {
    HttpAnswer answer = server->post(order_request({"tea", "cup"}));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body,
              "s18customer13Ann"
              "H1518^H50000114code13tea14nameC11Green%20tea18quantityP1015totalR405019available14true"
              "H1518^H50000214code13cup14nameB9Tea%20cup18quantityP1015totalS1080019available15false"
              "A1215lines18^H50000118^H500002"
              "H1317summary15itemsO213net16148.5015gross16163.35"
              "C11131110");
}

TEST_F(ThroughWebServer, FailingOrderAnswersTheScriptsError) {
    HttpAnswer answer = server->post(order_request({"tea", "teapot"}));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "S13404" + counted_text("unknown item teapot"));
    EXPECT_NE(journal_with_blocks(1).find("\nERROR: CODE=404, MESSAGE='unknown item teapot'\n"),
              std::string::npos);
}

// What the operator's login page would hand a browser: a token made with the key.
std::string minted_token_fields(const std::string& key) {
    const int64_t now = std::time(nullptr);
    const Ipv4 local{127, 0, 0, 1};
    std::string first = token_first_field(now, local);
    return "Q" + counted_text(first) + counted_text(token_of(TokenSettings{key, 0, {}}, first, uint32_t(now % 65536), local));
}

TEST_F(ThroughWebServer, TokenOfEachAnswerAuthenticatesTheNextRequest) {
    // Without a key, tokens are only timed: the first answer issues one.
    configure("TIME_INTERVAL=60\n");
    std::string records, first, token;
    HttpAnswer answer = server->post(order_request({"tea"}));
    ASSERT_TRUE(split_reply_token(answer.body, records, first, token)) << answer.body;
    EXPECT_EQ(records.substr(records.size() - 9), "C11121110");
    const std::string unkeyed = "Q" + counted_text(first) + counted_text(token);

    configure("TOKEN_KEY=shop-key\nTIME_INTERVAL=60\n");
    std::string q = minted_token_fields("shop-key");
    for (int round = 0; round < 3; ++round) {
        answer = server->post(order_request({"tea"}, q));
        ASSERT_TRUE(split_reply_token(answer.body, records, first, token)) << answer.body;
        EXPECT_EQ(records.substr(records.size() - 9), "C11121110") << answer.body;
        EXPECT_EQ(first.find("shop-key"), std::string::npos) << first;
        q = "Q" + counted_text(first) + counted_text(token);
    }

    const std::string refused = "S141775" + counted_text("EVAL ERROR 1775 (:0:0) : 認証エラー") + "X12NG12NG";
    std::string forged = token;
    forged[0] = forged[0] == 'j' ? 'k' : 'j';
    const std::string refused_requests[] = {
        "Q" + counted_text(first) + counted_text(forged),
        unkeyed,                          // made without the key
        minted_token_fields("shop-kex"),  // made with another key
        "",                               // no token at all
    };
    for (const std::string& fields : refused_requests) {
        answer = server->post(order_request({"tea"}, fields));
        EXPECT_EQ(answer.body, refused) << fields;
    }
    // X-Forwarded-For is the client's own word unless a trusted proxy wrote
    // it: from a client it changes nothing.
    answer = server->post(order_request({"tea"}, q), {"X-Forwarded-For: 127.0.0.2"});
    ASSERT_TRUE(split_reply_token(answer.body, records, first, token)) << answer.body;
    EXPECT_EQ(records.substr(records.size() - 9), "C11121110") << answer.body;
    // Behind a trusted proxy the header names the client, and the token is
    // bound to the address it was issued to.
    configure("TOKEN_KEY=shop-key\nTIME_INTERVAL=60\nTRUSTED_PROXY=127.0.0.1 127.0.0.3\n");
    for (const char* header : {"X-Forwarded-For: 127.0.0.2", "X-Forwarded-For: 127.0.0.1, 127.0.0.2",
                               "X-Forwarded-For: 127.0.0.2, 127.0.0.1"}) {
        answer = server->post(order_request({"tea"}, q), {header});
        EXPECT_EQ(answer.body, refused) << header;
    }
    for (const char* header : {"X-Forwarded-For: 127.0.0.1", "X-Forwarded-For: 127.0.0.1, 127.0.0.3"}) {
        answer = server->post(order_request({"tea"}, q), {header});
        ASSERT_TRUE(split_reply_token(answer.body, records, first, token)) << header << answer.body;
        EXPECT_EQ(records.substr(records.size() - 9), "C11121110") << header << answer.body;
    }
}

TEST_F(ThroughWebServer, OldTokenTimesOut) {
    configure("TOKEN_KEY=shop-key\nTIME_INTERVAL=1\n");
    const std::string q = minted_token_fields("shop-key");
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    HttpAnswer answer = server->post(order_request({"tea"}, q));
    EXPECT_EQ(answer.body, "S141775" + counted_text("EVAL ERROR 1775 (:0:0) : タイムアウト") + "X12NG12NG");
}

TEST_F(ThroughWebServer, ConcurrentRequestsKeepAnswersAndJournalIntact) {
    constexpr int REQUESTS = 20;
    std::vector<HttpAnswer> answers(REQUESTS);
    std::vector<std::thread> threads;
    for (int i = 0; i < REQUESTS; ++i) {
        // Every other request fails, so both kinds of answer and journal block meet.
        threads.emplace_back([&, i] {
            answers[size_t(i)] = server->post(order_request({"cup", i % 2 ? "teapot" : "tea"}));
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < REQUESTS; ++i) {
        const HttpAnswer& answer = answers[size_t(i)];
        EXPECT_EQ(answer.status, 200);
        if (i % 2) {
            EXPECT_EQ(answer.body, "S13404" + counted_text("unknown item teapot"));
        } else {
            EXPECT_EQ(answer.body.substr(answer.body.size() - 9), "C11131110") << answer.body;
        }
    }
    std::string journal = journal_with_blocks(REQUESTS);
    const std::string start = "-----  start : ", failure = "\nERROR: CODE=404, MESSAGE='unknown item teapot'\n";
    const std::string end_line = "\n=====  end : ";
    size_t blocks = 0, failures = 0, at = 0;
    while (at < journal.size()) {
        ASSERT_EQ(journal.compare(at, start.size(), start), 0) << "a block does not start at " << at << ":\n"
                                                               << journal;
        size_t end = journal.find(end_line, at);
        ASSERT_NE(end, std::string::npos);
        std::string block = journal.substr(at, end - at);
        EXPECT_EQ(block.find(start, 1), std::string::npos) << "interleaved blocks:\n" << block;
        if (block.find(failure) != std::string::npos) ++failures;
        at = journal.find('\n', end + 1) + 1;
        ++blocks;
    }
    EXPECT_EQ(blocks, size_t(REQUESTS));
    EXPECT_EQ(failures, size_t(REQUESTS / 2));
}

}  // namespace
}  // namespace tolv::tests
