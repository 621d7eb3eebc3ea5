// The runner as a real process: fatal exits, error records, the journal.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

// "yyyy/mm/dd hh:mm:ss"
bool is_time_text(const std::string& text) {
    static const char shape[] = "dddd/dd/dd dd:dd:dd";
    if (text.size() != sizeof shape - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i]) return false;
    }
    return true;
}

// Splits a journal into its blocks and checks each one's framing and its two
// lines for the error `code`; returns the number of well-formed blocks, or -1.
int count_journal_blocks(const std::string& journal, int code) {
    const std::string start = "-----  start : ", end = "=====  end : ";
    const std::string error = "EVAL ERROR " + std::to_string(code) + " ";
    std::istringstream lines(journal);
    std::string line;
    int blocks = 0;
    while (std::getline(lines, line)) {
        if (line.rfind(start, 0) != 0 || !is_time_text(line.substr(start.size(), 19)) ||
            line.substr(start.size() + 19) != "  -----") return -1;
        std::string first, blank, second, blank2, closing;
        std::getline(lines, first);
        std::getline(lines, blank);
        std::getline(lines, second);
        std::getline(lines, blank2);
        std::getline(lines, closing);
        if (first.rfind(error, 0) != 0 || !blank.empty() || second != first || !blank2.empty()) return -1;
        if (closing.rfind(end, 0) != 0 || !is_time_text(closing.substr(end.size(), 19)) ||
            closing.substr(end.size() + 19) != "  ===== ") return -1;
        ++blocks;
    }
    return blocks;
}

class RequestCycle : public ::testing::Test {
protected:
    RunnerSandbox box;
};

TEST_F(RequestCycle, MissingConfigurationNamesBothPaths) {
    ProcessResult result = box.cgi("");
    std::string dir = box.dir() + "/";
    EXPECT_EQ(result.out, fatal_record("tolv設定ファイル(" + dir + "mongoTOLV.config, " + dir +
                                       "TOLV.config)が開けません"));
    EXPECT_EQ(result.exit_code, 0);
}

// At a terminal the same condition is a readable line on standard error and
// a failing exit code; the CGI answer above does not change.
TEST_F(RequestCycle, CommandLineRunReportsAFatalConditionReadably) {
    box.write_file("app.js", "function main() {}\n");
    ProcessResult result = box.run({"-e", "main()", box.path("app.js")});
    std::string dir = box.dir() + "/";
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "ERROR 8555 : tolv設定ファイル(" + dir + "mongoTOLV.config, " + dir +
                              "TOLV.config)が開けません\n");
    EXPECT_NE(result.exit_code, 0);
    ProcessResult test_mode = box.run({top_program("main()"), ""});
    EXPECT_EQ(test_mode.out.rfind("S148555", 0), 0u) << test_mode.out;
    EXPECT_EQ(test_mode.exit_code, 0);
}

TEST_F(RequestCycle, PrefersTheMongoConfiguration) {
    box.write_config("TIME_INTERVAL=1x\n");
    box.write_file("mongoTOLV.config", "TIME_INTERVAL=5\n");
    ProcessResult result = box.cgi(top_program("main()"));
    EXPECT_EQ(result.out.rfind(ANSWER_HEADER, 0), 0u) << result.out;
}

struct FatalCase {
    const char* name;
    const char* config;
    const char* content_length;  // nullptr: the body's own length
    const char* body;
    const char* message;
};

void PrintTo(const FatalCase& c, std::ostream* os) { *os << c.name; }

class FatalExit : public ::testing::TestWithParam<FatalCase> {};

TEST_P(FatalExit, WritesOnlyTheFatalRecord) {
    const FatalCase& c = GetParam();
    RunnerSandbox box;
    box.write_config(c.config);
    std::vector<std::pair<std::string, std::string>> env;
    if (c.content_length) env.emplace_back("CONTENT_LENGTH", c.content_length);
    ProcessResult result = box.cgi(c.body, env);
    EXPECT_EQ(result.out, fatal_record(c.message));
    EXPECT_EQ(result.exit_code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FatalExit,
    ::testing::Values(
        FatalCase{"TrailingCharacters", "", "12x", "", "CONTENT_LENGTH is not not number format."},
        FatalCase{"Negative", "", "-5", "", "CONTENT_LENGTH is not not number format."},
        FatalCase{"Overflowing", "", "99999999999999999999999", "", "受信データの長さ不正(CONTENT_LENGTH)"},
        FatalCase{"OverTheLimit", "", "67108865", "", "受信データの長さ不正(CONTENT_LENGTH)"},
        FatalCase{"ShortBody", "", "50", "P16main()", "受信データの長さ不正(CONTENT_LENGTH)"},
        FatalCase{"BadTimeInterval", "TIME_INTERVAL=30s\n", nullptr, "",
                  "configファイルのTIME_INTERVALは整数を設定してください。"},
        FatalCase{"ZeroMemoryLimit", "MEMORY_LIMIT=0\n", nullptr, "",
                  "configファイルのMEMORY_LIMITは1以上の整数(MB)を設定してください。"},
        FatalCase{"MemoryLimitWithUnit", "MEMORY_LIMIT=256MB\n", nullptr, "",
                  "configファイルのMEMORY_LIMITは1以上の整数(MB)を設定してください。"},
        FatalCase{"BadClient", "CLIENT=10.0.0.1, 300.1.1.1\n", nullptr, "", "ClientのIPアドレス定義　不正"},
        FatalCase{"UnclosedQuote", "TOKEN_KEY='abc\n", nullptr, "", "Configのフォーマット不正"},
        FatalCase{"DigestMismatch", "MODULE_DIR=.>>>0000\n", nullptr, "",
                  "JSモジュールのディレクトリの内容が変わっています。"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RequestCycle, NoModuleIsError1805) {
    box.write_config("");
    ProcessResult result = box.cgi(top_program("main()"));
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) +
                              error_record(1805, "EVAL ERROR 1805 (:0:0) : "
                                                 "ロードするJavaScriptのモジュールが指定されていません"));
}

TEST_F(RequestCycle, NoTopProgramIsError1800) {
    box.write_config("");
    ProcessResult result = box.cgi("");
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) +
                              error_record(1800, "EVAL ERROR 1800 (:0:0) : "
                                                 "実行するJavaScriptのTOP関数が指定されていません"));
}

struct DecodingCase {
    const char* name;
    std::string body;
    int code;
};

void PrintTo(const DecodingCase& c, std::ostream* os) { *os << c.name; }

class DecodingError : public ::testing::TestWithParam<DecodingCase> {};

TEST_P(DecodingError, IsAnErrorRecordAfterTheHeader) {
    const DecodingCase& c = GetParam();
    RunnerSandbox box;
    box.write_config("");
    ProcessResult result = box.cgi(c.body);
    std::string expected = std::string(ANSWER_HEADER) + "S" + counted_text(std::to_string(c.code));
    EXPECT_EQ(result.out.substr(0, expected.size()), expected) << result.out;
    EXPECT_EQ(result.exit_code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodingError,
    ::testing::Values(DecodingCase{"UnknownLetter", "Z", 1750},
                      DecodingCase{"TopProgramTooLong", top_program(std::string(256, 'x')), 1740},
                      DecodingCase{"AbsoluteModulePath", module_record({"/etc/passwd.js"}), 1170},
                      DecodingCase{"ParentModulePath", module_record({"../secret.js"}), 1170},
                      DecodingCase{"MissingModuleFile", top_program("main()") + module_record({"app.js"}), 1165},
                      DecodingCase{"LengthPastTheEnd", "P3999abc", 1535}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RequestCycle, JournalBlockHasStartAndEndLines) {
    box.write_config("LOGFILE=" + box.path("journal.log") + "\n");
    box.cgi(top_program("main()"));
    std::string journal = box.read_file("journal.log");
    EXPECT_EQ(count_journal_blocks(journal, 1805), 1) << journal;
    EXPECT_NE(journal.find("EVAL ERROR 1805 (:0:0) : ロードするJavaScriptのモジュールが指定されていません\n"),
              std::string::npos);
}

TEST_F(RequestCycle, NoLogfileWritesNoJournal) {
    box.write_config("");
    box.cgi(top_program("main()"));
    EXPECT_FALSE(box.exists("journal.log"));
}

TEST_F(RequestCycle, ConcurrentRequestsAppendWholeBlocks) {
    box.write_config("LOGFILE=" + box.path("journal.log") + "\n");
    constexpr int REQUESTS = 20;
    std::vector<std::thread> threads;
    for (int i = 0; i < REQUESTS; ++i) {
        threads.emplace_back([this, i] {
            // Each request fails on its own unknown record letter, so its block is recognisable.
            box.cgi(top_program("main" + std::to_string(i) + "()") + "Z");
        });
    }
    for (auto& t : threads) t.join();
    std::string journal = box.read_file("journal.log");
    EXPECT_EQ(count_journal_blocks(journal, 1750), REQUESTS) << journal;
}

TEST_F(RequestCycle, TestModeTakesTheBodyAndStringVariablesFromArguments) {
    box.write_config("");
    box.write_file("app.js", "function main() { sendToFront(\"greeting\", `${hello}, ${who}`); }\n");
    ProcessResult result = box.run({top_program("main()") + module_record({"app.js"}), " who = Ann ;hello=Hi"});
    // No header line in test mode.
    EXPECT_EQ(result.out, "s18greeting" + counted_text("Hi, Ann") + "C10101110");
}

// A Float goes to the front end as the shortest text that reads back as the
// same double; the text scripts see (console) is not that record.
TEST_F(RequestCycle, FloatsKeepTheirDigitsInAnswerRecords) {
    box.write_config("");
    box.write_file("app.js",
                   "function main() { sendToFront(\"price\", 1234567.89); sendToFront(\"list\", [0.1, 1e300, 5e-324, 100.0]);"
                   " var x = 1.0 / 3; sendToFront(\"third\", x); }\n");
    ProcessResult result = box.run({top_program("main()") + module_record({"app.js"}), ""});
    EXPECT_EQ(result.out, "s15pricek1234567.89"
                          "A1414listd0.1g1e+300g5e-324d100"
                          "s15thirds0.3333333333333333"
                          "C11101210");
}

TEST_F(RequestCycle, UnparsableTopProgramIsError1810) {
    box.write_config("");
    box.write_file("app.js", "function main() {}\n");
    ProcessResult result = box.cgi(top_program("main(") + module_record({"app.js"}));
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) +
                              error_record(1810, "PARSE ERROR 1810 (MainScript:1) : 評価する式が不正 'main('"));
}

TEST_F(RequestCycle, HelpAndUsage) {
    ProcessResult help = box.run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("usage:" + box.runner() + " -e function_name js_file_path1"), std::string::npos);
    ProcessResult bad = box.run({"-x"});
    EXPECT_EQ(bad.out, "usage:" + box.runner() + " -e function_name js_file_path1 js_file_path2 ... \n");
    EXPECT_NE(bad.exit_code, 0);
}

TEST_F(RequestCycle, CommandLineTopProgramTooLong) {
    box.write_config("");
    ProcessResult result = box.run({"-e", std::string(256, 'f'), "app.js"});
    EXPECT_EQ(result.out, "TOP関数が長すぎます(255Byte以下)\n");
}

TEST_F(RequestCycle, RunnerDebugAnswersLikeRunner) {
    RunnerSandbox debug_box(TOLV_RUNNER_DEBUG_PATH);
    debug_box.write_config("");
    ProcessResult result = debug_box.cgi(top_program("main()"));
    EXPECT_EQ(result.out.rfind(std::string(ANSWER_HEADER) + "S" + counted_text("1805"), 0), 0u) << result.out;
}

}  // namespace
}  // namespace tolv::tests
