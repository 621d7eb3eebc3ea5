// Requests whose scripts would take unbounded time or memory end with their
// error through the real runner, and leave the rest of the request intact.
#include <gtest/gtest.h>

#include <string>

#include "support/runner_sandbox.h"

namespace tolv::testing {
namespace {

// Runs `top` against one module through the runner's command line.
ProcessResult run_script(RunnerSandbox& box, const std::string& module, const std::string& top) {
    box.write_config("");
    box.write_file("app.js", module);
    ProcessOptions options;
    options.args = {"-e", top, "app.js"};
    options.working_dir = box.dir();
    options.hang_guard_s = 300;
    return run_process(box.runner(), options);
}

// The console.log lines of a command-line run, without their "(L) " mark.
std::string logged_lines(const std::string& out) {
    std::string lines;
    for (size_t at = out.find("(L) "); at != std::string::npos; at = out.find("(L) ", at)) {
        size_t end = out.find('\n', at);
        lines += out.substr(at + 4, end - at - 3);
        at = end;
    }
    return lines;
}

// A backreference compares as many units as its group holds: such searches
// over long texts run out of the work budget like any other.
TEST(BoundedWork, BackreferencesSpendTheRegExpBudget) {
    RunnerSandbox box;
    ProcessResult result = run_script(
        box,
        "function probe(pattern, flags, s) {\n"
        "  try { console.log(new RegExp(pattern, flags).test(s)); } catch (e) { console.log(e.name); }\n"
        "}\n"
        "function main() {\n"
        "  probe('(\\\\w+)\\\\1+x', '', 'ab'.repeat(24000));\n"
        "  probe('(\\\\w+)\\\\1+x', 'i', 'ab'.repeat(24000));\n"
        "  probe('(a*)\\\\1*b', '', 'a'.repeat(12000));\n"
        "  probe('(\\\\w+) \\\\1$', 'i', 'x'.repeat(5000) + ' ' + 'X'.repeat(5000));\n"
        "  probe('(a*)\\\\1b', '', 'a'.repeat(2000) + 'b');\n"
        "}\n",
        "main()");
    EXPECT_EQ(logged_lines(result.out), "4900\n4900\n4900\ntrue\ntrue\n") << result.out << result.err;
    EXPECT_EQ(result.exit_code, 0);
}

}  // namespace
}  // namespace tolv::testing
