// The top program comes from the client: it may name an application function
// and pass it request variables, globals and literals, and nothing else.
#include <gtest/gtest.h>

#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

const std::string APP_DIR = std::string(TOLV_SOURCE_DIR) + "/tests/e2e/apps/orders";

class TopProgram : public ::testing::Test {
protected:
    void SetUp() override {
        box.write_config("MODULE_DIR=" + APP_DIR + "\nLOGFILE=" + box.path("journal.log") + "\n");
    }
    ProcessResult request(const std::string& top, const std::string& variables = "") {
        std::string body = script_request(top, "orders.js");
        if (!variables.empty()) body += variables;
        return box.cgi(body);
    }
    RunnerSandbox box;
};

TEST_F(TopProgram, CallsWithVariablesAndLiteralsRun) {
    std::string variables = counted_record('S', 2,
                                           counted_text("customer") + counted_text("Ann") + counted_text("quantity") +
                                               counted_text("3"));
    ProcessResult result = request("order(customer, codes, quantity)", variables);
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "s18customer13Ann" + "s18quantity113" + "C10101210");
    result = request("show(\"list\", 20);");
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "s14what14list" + "s15countP20" + "C10101210");
    result = request("show('x', -1.5)");
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "s14what11x" + "s15counte-1.5" + "C10101210");
    result = request("show(null, NaN)");
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "s14what14null" + "s15count13NaN" + "C10101210");
    EXPECT_NE(box.read_file("journal.log").find("(L) order Ann undefined 3\n"), std::string::npos);
}

struct Refusal {
    const char* top;
    const char* code;  // of the S record
};

// Every refusal answers one S record, and nothing of the client's text runs:
// the journal holds no console line.
TEST_F(TopProgram, AnythingElseIsRefusedBeforeItRuns) {
    const Refusal cases[] = {
        {"order(eval(\"console.log(42); 7\"))", "1810"},
        {"order(noisy())", "1810"},
        {"order(x = noisy())", "1810"},
        {"order(x++)", "1810"},
        {"order(`${noisy()}`)", "1810"},
        {"order(1 + 2)", "1810"},
        {"order(typeof x)", "1810"},
        {"order([noisy()])", "1810"},
        {"order(parseInt(\"1\"))", "1810"},
        {"console.log(42)", "1725"},
        {"noisy.call(1)", "1725"},
        {"noisy() + 1", "1725"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.top);
        std::remove(box.path("journal.log").c_str());
        ProcessResult result = request(c.top);
        std::string expected_start = std::string(ANSWER_HEADER) + "S" + counted_text(c.code);
        EXPECT_EQ(result.out.rfind(expected_start, 0), 0u) << result.out;
        EXPECT_EQ(result.out.find("C1"), std::string::npos) << result.out;
        std::string journal = box.read_file("journal.log");
        EXPECT_EQ(journal.find("(L) "), std::string::npos) << journal;
        if (std::string(c.code) == "1810") {
            EXPECT_NE(journal.find("PARSE ERROR 1720 (MainScript:1) : TOP関数のステートメントの演算子不正 '" +
                                   std::string(c.top) + "'"),
                      std::string::npos)
                << journal;
        }
    }
}

}  // namespace
}  // namespace tolv::tests
