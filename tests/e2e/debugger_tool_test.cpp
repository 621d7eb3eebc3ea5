// The terminal debugger (tools/debugger.py) driving runner-debug, which a
// real web server starts for a real request: a scripted session.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "e2e/debugger_peer.h"
#include "support/request_records.h"
#include "support/runner_sandbox.h"
#include "support/web_server.h"

namespace tolv::tests {
namespace {

const char DEPLOYED[] =
    "function square(n) {\n"
    "    var r = n * n;\n"
    "    return r;\n"
    "}\n"
    "\n"
    "function main(a) {\n"
    "    var total = 0;\n"
    "    for (var i = 1; i <= 3; i++) {\n"
    "        total += square(i);\n"
    "    }\n"
    "    sendToFront(\"total\", total);\n"
    "}\n";

// True once something listens on the loopback port (binding it then fails).
bool port_taken(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(port));
    bool taken = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
    close(fd);
    return taken;
}

// Each expected line must be found, in this order, in the transcript.
void expect_in_order(const std::string& transcript, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        size_t found = transcript.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << line << "\n" << transcript;
        at = found + line.size();
    }
}

TEST(DebuggerTool, ScriptedSessionThroughTheWebServer) {
    RunnerSandbox box(TOLV_RUNNER_DEBUG_PATH);
    // The web server starts /runner: here, runner-debug.
    std::filesystem::create_hard_link(box.runner(), box.path("runner"));
    int port = unused_loopback_port();
    box.write_config("MODULE_DIR=" + box.path("app") + "\nDEBUG_PORT=" + std::to_string(port) +
                     "\nCLIENT=127.0.0.1\n");
    box.write_file("app/app.js", DEPLOYED);
    // The developer's copy differs from the deployed one: it adds one to each square.
    std::string local = DEPLOYED;
    local.replace(local.find("n * n"), 5, "n * n + 1");
    box.write_file("local/app.js", local);

    WebServer server(box);
    if (!server.running()) GTEST_SKIP() << server.startup_log();

    const std::string commands =
        "break app.js:9\n"
        "trace app.js:2 sq\n"
        "run\n"
        "print i\n"
        "step\n"
        "step\n"
        "bt\n"
        "print n\n"
        "up\n"
        "print total\n"
        "down\n"
        "next\n"
        "next\n"
        "finish\n"
        "clear app.js:9\n"
        "break app.js:3 if n == 3\n"
        "continue\n"
        "print r\n"
        "print `  r=${r}; ` \n"
        "print [r, 'x']\n"
        "print r; r + 1\n"
        "print r + \n"
        "help\n"
        "quit\n";
    ProcessResult tool;
    std::thread session([&] {
        ProcessOptions options;
        options.args = {std::string(TOLV_SOURCE_DIR) + "/tools/debugger.py", "--port", std::to_string(port),
                        "--listen", "127.0.0.1", "--modules", box.path("local")};
        options.input = commands;
        tool = run_process("/usr/bin/python3", options);
    });
    for (int i = 0; i < 400 && !port_taken(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));

    std::string body = script_request("main(1)", "app.js");
    HttpAnswer answer = server.post(body);
    session.join();

    EXPECT_EQ(answer.status, 200);
    EXPECT_NE(answer.body.find("EVAL%20ERROR%201855"), std::string::npos) << answer.body;
    EXPECT_EQ(tool.exit_code, 0) << tool.err;
    expect_in_order(tool.out, {
        "connection from 127.0.0.1",
        "module app.js: served from " + box.path("local/app.js"),
        "stopped at app.js:9:15 in main",
        "=>    9          total += square(i);",
        "(tolvdb) print i", "$ = 1",
        "(tolvdb) step", "call: sq( n=1 )", "stopped at app.js:2:5 in square",
        "=>    2      var r = n * n + 1;",
        "(tolvdb) step", "stopped at app.js:3:5 in square",
        "(tolvdb) bt", "*#0 square at app.js:3:5", " #1 main at app.js:9:",
        "(tolvdb) print n", "$ = 1",
        "(tolvdb) up", "#1 main at app.js:9:",
        "(tolvdb) print total", "$ = 0",
        "(tolvdb) down", "#0 square at app.js:3:5",
        "(tolvdb) next", "return: sq( 2 )", "stopped at app.js:8:30 in main",
        "(tolvdb) next", "stopped at app.js:9:15 in main",
        "(tolvdb) finish", "call: sq( n=2 )", "return: sq( 5 )", "stopped at app.js:9:15 in main",
        "(tolvdb) clear app.js:9",
        "(tolvdb) break app.js:3 if n == 3",
        "(tolvdb) continue", "call: sq( n=3 )", "stopped at app.js:3:5 in square",
        "(tolvdb) print r", "$ = 10",
        // Strings quoted, as the display form shows them, blanks and all.
        "(tolvdb) print `  r=${r}; ` ", "$ = \"  r=10; \"",
        "(tolvdb) print [r, 'x']", "$ = [10,\"x\"]",
        "(tolvdb) print r; r + 1", "$ = 11",
        "(tolvdb) print r + ", "error: PARSE ERROR: CODE=",
        "(tolvdb) help", "backtrace | bt | where      the call stack, innermost first (#0)",
        "(tolvdb) quit", "session ended",
    });
}

}  // namespace
}  // namespace tolv::tests
