// Requests whose scripts would take unbounded time or memory end with their
// error through the real runner, and leave the rest of the request intact.
#include <gtest/gtest.h>

#include <string>

#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
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

// Positions before the last one asked for are found from kept marks along the
// text: reading it backwards, from both ends and after it grew gives the same
// characters as reading it forwards, odd bytes included.
TEST(BoundedWork, MultibyteTextReadInAnyOrder) {
    RunnerSandbox box;
    ProcessResult result = run_script(
        box,
        "function check(s) {\n"
        "  var fwd = [], n = 0;\n"
        "  while (s.charAt(n) != '') fwd.push(s.charAt(n++));\n"
        "  var back = [], head = '', tail = '', codes = 0, pieces = [];\n"
        "  for (var i = n - 1; i >= 0; i--) back.unshift(s[i]);\n"
        "  for (var i = 0; i < n - 1 - i; i++) { head += s.charAt(i); tail = s.substring(n - 1 - i, n - i) + tail; }\n"
        "  if (n % 2) head += s.charAt((n - 1) / 2);\n"
        "  for (var i = n - 1; i >= 0; i -= 7) codes += fwd[i].length == 4 || s.charCodeAt(i) == fwd[i].charCodeAt(0) ? 0 : 1;\n"
        "  for (var i = n; i > 0; i -= 300) pieces.unshift(s.substring(i > 300 ? i - 300 : 0, i));\n"
        "  console.log(n, ' ', back.join('|') == fwd.join('|'), head + tail == fwd.join(''), codes, pieces.join('') == fwd.join(''));\n"
        "  s += '\xC3\xA9\xE6\x97\xA5';\n"
        "  var same = 0;\n"
        "  for (var i = n - 1; i >= 0; i -= 5) same += s[i] == fwd[i] ? 1 : 0;\n"
        "  console.log(s.charAt(n) + s.charAt(n + 1), ' ', same == Math.floor((n + 4) / 5));\n"
        "}\n"
        "function main() {\n"
        "  var mixed = '', odd = '';\n"
        "  for (var i = 0; i < 500; i++) mixed += 'a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80';\n"
        "  for (var i = 0; i < 200; i++) odd += 'x\x81\xE3\x81y\xC3';\n"
        "  check(mixed);\n"
        "  check(odd + 'z');\n"
        "}\n",
        "main()");
    EXPECT_EQ(logged_lines(result.out),
              "2000 truetrue0true\n\xC3\xA9\xE6\x97\xA5 true\n"
              "601 truetrue0true\n\xC3\xA9\xE6\x97\xA5 true\n")
        << result.out << result.err;
    EXPECT_EQ(result.exit_code, 0);
}

// A value whose records would pass the size bound is refused before any of
// them is written: the answer holds what was sent before and after it, and
// the completion record counts only those.
TEST(BoundedWork, RefusedSendLeavesNothingInTheAnswer) {
    RunnerSandbox box;
    box.write_config("MODULE_DIR=" + box.dir() + "\n");
    box.write_file("app.js",
                   "function shared() { var a = [1, 2]; for (var i = 0; i < 40; i++) a = [a, a]; return a; }\n"
                   "function main() {\n"
                   "  sendToFront('before', [1, [2]]);\n"
                   "  try { sendToFront('a', shared()); } catch (e) { sendToFront('code', e.name); }\n"
                   "  try { sendToFront('h', {x: 'y', z: shared()}); } catch (e) { sendToFront('code', e.name); }\n"
                   "  sendToFront('after', 'ok');\n"
                   "}\n");
    ProcessResult result = box.cgi(script_request("main()", "app.js"));
    // Nested records go first, by their raw-counted names; integers are 'N' + length.
    EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "A11" "18^A500001" "O2" + "A12" + counted_text("before") +
                              "O1" "18^A500001" + "s" + counted_text("code") + counted_text("1400") + "s" +
                              counted_text("code") + counted_text("1400") + "s" + counted_text("after") +
                              counted_text("ok") + "C12" "10" "13" "10")
        << result.out.substr(0, 400);
}

// Values share one memory bound (MEMORY_LIMIT megabytes, 256 by default):
// passing it is 1400, which a script can catch and go on from, and the
// answer and journal are whole.
TEST(BoundedWork, ValuesStayWithinTheMemoryLimit) {
    RunnerSandbox box;
    box.write_file("app.js",
                   "function grow(n, size) {\n"
                   "  var a = [];\n"
                   "  try { for (var i = 0; i < n; i++) a.push('x'.repeat(size)); } catch (e) { sendToFront('code', e.name); }\n"
                   "  sendToFront('kept', a.length);\n"
                   "}\n"
                   "function main(n, size) {\n"
                   "  grow(n, size);\n"
                   "  grow(n, size);\n"  // what the first call held is back for the second
                   "  sendToFront('after', 'ok'.repeat(3));\n"
                   "}\n");
    struct Case {
        const char* limit;  // MEMORY_LIMIT line, or "" for the default
        const char* top;
        std::string answer;
    };
    // "s" records: one-digit integers are 'O' + the digit.
    const std::string refused = "s" + counted_text("code") + counted_text("1400");
    auto kept = [](char digit) { return "s" + counted_text("kept") + "O" + digit; };
    const std::string after = "s" + counted_text("after") + counted_text("okokok");
    const Case cases[] = {
        // 16 MB: three values of 5 MB fit, the fourth does not.
        {"MEMORY_LIMIT=16\n", "main(1000, 5000000)", refused + kept('3') + refused + kept('3') + after + "C10101510"},
        {"MEMORY_LIMIT=16\n", "main(2, 5000000)", kept('2') + kept('2') + after + "C10101310"},
        // The default: 300 MB in one value is refused, 100 MB are not.
        {"", "main(1, 300000000)", refused + kept('0') + refused + kept('0') + after + "C10101510"},
        {"", "main(1, 100000000)", kept('1') + kept('1') + after + "C10101310"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.limit) + c.top);
        box.write_config(std::string(c.limit) + "MODULE_DIR=" + box.dir() + "\nLOGFILE=" + box.path("journal.log") +
                         "\n");
        ProcessResult result = box.cgi(script_request(c.top, "app.js"));
        EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + c.answer);
        EXPECT_EQ(result.err, "");
    }
    std::string journal = box.read_file("journal.log");
    size_t blocks = 0;
    for (size_t at = 0; (at = journal.find("=====  end : ", at)) != std::string::npos; ++at) ++blocks;
    EXPECT_EQ(blocks, std::size(cases));
}

}  // namespace
}  // namespace tolv::tests
