// Scripts that would run the process out of stack or print without end get
// their error record instead.
#include <gtest/gtest.h>

#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

TEST(RunawayScript, DeepRecursionIsRefusedWhateverTheStackLimit) {
    RunnerSandbox box;
    box.write_config("");
    box.write_file("deep.js", "function f(n) { return f(n + 1); }\n");
    for (const char* limit : {"2048", "unlimited"}) {
        SCOPED_TRACE(limit);
        ProcessResult result = run_process(
            "/bin/sh", {{"-c", std::string("ulimit -s ") + limit + "; exec \"$0\" -e 'f(0)' deep.js", box.runner()},
                        {},
                        "",
                        box.dir()});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out.rfind("EVAL ERROR 2160 (deep.js:1:25) : 関数呼出しのネストが深すぎます(8000)\n", 0), 0u)
            << result.out << result.err;
    }
}

// [a, a] forty times over is a small value whose text would be 2^40 times
// the size of [1,2]: printing or sending it stops at the size bound.
TEST(RunawayScript, TextsOfSharedStructuresAreBounded) {
    RunnerSandbox box;
    box.write_config("MODULE_DIR=" + box.dir() + "\nLOGFILE=" + box.path("journal.log") + "\n");
    box.write_file("app.js",
                   "function shared() { var a = [1, 2]; for (var i = 0; i < 40; i++) a = [a, a]; return a; }\n"
                   "function print() { console.log(shared()); }\n"
                   "function send() { var a = shared(); sendToFront(\"a\", a); }\n");
    for (const char* top : {"print()", "send()"}) {
        SCOPED_TRACE(top);
        ProcessResult result = box.cgi(script_request(top, "app.js"));
        size_t error = result.out.find("S" + counted_text("1400"));
        ASSERT_NE(error, std::string::npos) << result.out.substr(0, 200);
        EXPECT_EQ(result.out.find("C1", error), std::string::npos);
    }
}

}  // namespace
}  // namespace tolv::tests
