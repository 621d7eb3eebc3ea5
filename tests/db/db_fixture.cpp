#include "db/db_fixture.h"

#include <sstream>

namespace tolv::tests {

namespace {
const std::string PEER = std::string(TOLV_SOURCE_DIR) + "/tests/db/mongo_peer.py";
}

void DbTest::SetUp() {
    ASSERT_TRUE(ferretdb().running()) << ferretdb().failure();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    database = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : database)
        if (c == '/' || c == '.') c = '_';
    if (database.size() > 60) database.resize(60);
    box.write_config("MODULE_DIR=" + box.dir() + "\n");
}

std::string DbTest::peer(const std::vector<std::string>& args) const {
    ProcessOptions options;
    options.args = {PEER, ferretdb().uri("")};
    options.args.insert(options.args.end(), args.begin(), args.end());
    ProcessResult result = run_process("/usr/bin/python3", options);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return result.out;
}

void DbTest::seed(const std::string& collection, const std::string& json) const {
    peer({"seed", database, collection, json});
}

std::string DbTest::dump(const std::string& collection) const { return peer({"dump", database, collection}); }

ProcessResult DbTest::run_raw(const std::string& script) const {
    box.write_file("test.js", "function uri() { return \"" + ferretdb().uri(database) + "\"; }\n" +
                                  "function lib() { return \"" + DRIVER_LIBRARIES + "\"; }\n" + script);
    return box.run({"-e", "main()", "test.js"});
}

std::string DbTest::run(const std::string& script) const {
    ProcessResult result = run_raw(script);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    std::istringstream lines(result.out);
    // The runner echoes each error it raises as an "EVAL ERROR" line; console
    // lines start with "(L) " and may go on over further lines.
    std::string line, out;
    bool in_console_line = false;
    while (std::getline(lines, line)) {
        if (line.rfind("(L) ", 0) == 0) {
            out += line.substr(4) + "\n";
            in_console_line = true;
        } else if (line.rfind("EVAL ERROR ", 0) == 0 || line.rfind("PARSE ERROR ", 0) == 0) {
            in_console_line = false;
        } else if (in_console_line) {
            out += line + "\n";
        }
    }
    // Every test script prints something; nothing means it did not run.
    if (out.empty()) ADD_FAILURE() << "no console output:\n" << result.out << result.err;
    return out;
}

std::string DbTest::run_plain(const std::string& script) const {
    std::string text = run(script);
    const std::string mark = " (test.js:";
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
        size_t end = text.find(')', at);
        if (end == std::string::npos) break;
        text.erase(at, end + 1 - at);
    }
    return text;
}

void DbTest::expect_errors(std::span<const ErrorCase> cases, const std::string& prelude) const {
    std::string script = "function main() {\n" + prelude;
    for (const ErrorCase& c : cases)
        script += "  try { " + std::string(c.statement) + "; console.log('no error'); } catch (e) { console.log(e); }\n";
    std::istringstream lines(run_plain(script + "}\n"));
    std::string line;
    for (const ErrorCase& c : cases) {
        // A message's own further lines start with blanks.
        do ASSERT_TRUE(std::getline(lines, line)) << c.statement;
        while (line[0] == ' ');
        EXPECT_EQ(line.rfind(c.expected, 0), 0u) << c.statement << " gave " << line;
    }
}

}  // namespace tolv::tests
