// Runs script texts through the parser and the evaluator and collects what
// they print with console.log and the error that ends them, if any.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace tolv::tests {

struct ScriptOutcome {
    std::string output;      // console lines without their "(L) " prefix, each ending in "\n"
    std::string error_code;  // code text of an error that escaped, "" when none
    std::string error_message;
    bool threw = false;
};

// A table row: a module text, the console lines it prints and the code of
// the error that ends it ("" when it runs to the end).
struct ScriptCase {
    const char* script;
    const char* output;
    const char* error_code;
};

class ScriptTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;
    // Parses `module_text` as a module, runs its top-level statements in run
    // mode, then `top` (if given) as the top statement.
    ScriptOutcome run(const std::string& module_text, const std::string& top = "");

    // Runs every row, each on a fresh evaluator.
    template <size_t N>
    void check(const ScriptCase (&cases)[N]) {
        for (const ScriptCase& c : cases) {
            SCOPED_TRACE(c.script);
            ScriptOutcome r = run(c.script);
            EXPECT_EQ(r.output, c.output);
            EXPECT_EQ(r.error_code, c.error_code) << r.error_message;
            TearDown();
            SetUp();
        }
    }
};

}  // namespace tolv::tests
