// A two-module application run by the built runner: from the command line
// and as a CGI request.
#include <gtest/gtest.h>

#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

const std::string APP_DIR = std::string(TOLV_SOURCE_DIR) + "/tests/e2e/apps/ledger";

const char CONSOLE[] =
    "(L) [1] deposit 50 -> 150\n"
    "(L) [2] withdraw 30 -> 119\n"
    "(L) [3] error 2501:unknown move bogus\n"
    "(L) [4] refused: insufficient funds for Ann: 119 < 502\n"
    "(L) [5] withdraw 9 -> 109\n"
    "(L) [6] odd sum 25, eval 51\n"
    "(L) [7] after do-while -3; moves 3; last withdraw:9\n";

class ScriptApp : public ::testing::Test {
protected:
    void SetUp() override {
        box.write_config("MODULE_DIR=" + APP_DIR + "\nLOGFILE=" + box.path("journal.log") + "\n");
    }
    RunnerSandbox box;
};

TEST_F(ScriptApp, CommandLineRunPrintsTheConsoleLines) {
    ProcessResult result = box.run({"-e", "main(\"Ann\")", "accounts.js", "ledger.js"});
    EXPECT_EQ(result.out, CONSOLE);
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(ScriptApp, CgiRequestAnswersTheRecordsAndJournalsTheConsole) {
    std::string paths = counted_text("accounts.js") + counted_text("ledger.js");
    ProcessResult result = box.cgi(top_program("main(owner)") + counted_record('M', 2, paths) +
                                   counted_record('S', 1, counted_text("owner") + counted_text("Ann")));
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) +
                              "s17balanceQ109"
                              "A1317history" + counted_text("deposit:50") + counted_text("withdraw:30") +
                              counted_text("withdraw:9") + "C11101110");
    EXPECT_NE(box.read_file("journal.log").find(CONSOLE), std::string::npos) << box.read_file("journal.log");
}

TEST(FrontRecords, EveryFormAScriptCanSend) {
    RunnerSandbox box;
    box.write_config("MODULE_DIR=" + std::string(TOLV_SOURCE_DIR) + "/tests/e2e/apps/records\n");
    ProcessResult result = box.cgi(script_request("main()", "records.js"));
    EXPECT_EQ(result.out,
              std::string(ANSWER_HEADER) +
                  // The hash's nested arrays come first, under their reference names.
                  "A1318^A500001B5a%20bB5x%22yC18%E6%97%A5%E6%9C%AC"
                  "A1018^A500002"
                  "H21013doc15titleC17100%25%20%3Cok%3E14tags18^A50000115empty18^A500002"
                  "11nP-511fd0.513bigf1e+2113yes14true12no15false17nothing14null13nan13NaN"
                  "A1014list"
                  "s15countP42s15ratiod2.5s14flag14trues17missing10"
                  "s11sC10tab%09heres11sC10tab%09here"
                  "s219XYZBCA_ALERT_ABCZYX17careful"
                  "s219XYZBCA_ALERT_ABCZYXC45Exception:%20CODE=77,%20MESSAGE='bad%20thing'"
                  "C13111810");
}

struct ErrorCase {
    const char* name;
    const char* module;
    const char* top;
    const char* out;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class ScriptError : public ::testing::TestWithParam<ErrorCase> {};

// Errors carry their number, the module path, the line and (when running) the column.
TEST_P(ScriptError, IsReportedWithItsPosition) {
    const ErrorCase& c = GetParam();
    RunnerSandbox box;
    box.write_config("");
    box.write_file("app.js", c.module);
    ProcessResult result = box.run({"-e", c.top, "app.js"});
    EXPECT_EQ(result.out, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptError,
    ::testing::Values(
        ErrorCase{"UndefinedFunction", "function f(a) {\n    var x = 1;\n    return x + missing(a);\n}\n", "f(1)",
                  "EVAL ERROR 2155 (app.js:3:23) : 関数不正(missing), 0\n"
                  "ERROR  2155：EVAL ERROR 2155 (app.js:3:23) : 関数不正(missing), 0\n"},
        ErrorCase{"SyntaxError", "function g() {\n  var s = 1;\n  if (s == ) { }\n}\n", "g()",
                  "PARSE ERROR 1125 (app.js:3) : フォーマット不正 's == '\n"
                  "ERROR  1125：PARSE ERROR 1125 (app.js:3) : フォーマット不正 's == '\n"},
        ErrorCase{"TopProgramUnparsable", "function f() {}\n", "f() +",
                  "PARSE ERROR 1720 (MainScript:1) : TOP関数のステートメントの演算子不正 'f() +'\n"
                  "評価する式が不正 'f() +'\n"},
        ErrorCase{"TopProgramNotACall", "function f() {}\n", "f() + 1",
                  "EVAL ERROR 1725 (MainScript:1:1) : TOP関数のステートメント不正\n"
                  "ERROR  1725：EVAL ERROR 1725 (MainScript:1:1) : TOP関数のステートメント不正\n"},
        ErrorCase{"ThrownString", "function h() {\n  throw \"stop\";\n}\n", "h()", "ERROR： stop\n"},
        ErrorCase{"RunawayRecursion", "function r(n) {\n  return r(n + 1);\n}\n", "r(0)",
                  "EVAL ERROR 2160 (app.js:2:11) : 関数呼出しのネストが深すぎます(8000)\n"
                  "ERROR  2160：EVAL ERROR 2160 (app.js:2:11) : 関数呼出しのネストが深すぎます(8000)\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolv::tests
