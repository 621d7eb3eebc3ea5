// runner-debug against a real debugger peer on a loopback port: the request
// runs in its own process while the test plays the debugger's part.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "e2e/debugger_peer.h"
#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

const char APP[] =
    "function square(n) {\n"            // 1
    "    var r = n * n;\n"              // 2
    "    return r;\n"                   // 3
    "}\n"                               // 4
    "\n"                                // 5
    "function main(a) {\n"              // 6
    "    var total = 0;\n"              // 7
    "    for (var i = 1; i <= 3; i++) {\n"  // 8
    "        total += square(i);\n"     // 9
    "    }\n"                           // 10
    "    console.log(\"total\", total);\n"  // 11
    "    sendToFront(\"total\", total);\n"  // 12
    "}\n";

// The few fixed messages runner-debug sends in Shift_JIS.
const std::string NOT_ON_STACK = "#\x8c\xc4\x82\xd1\x8fo\x82\xb5\x97\x9a\x97\xf0\x82\xcc\x8ew\x92\xe8\x95s\x90\xb3";
const std::string BAD_FORMAT = "#\x8e\xae\x82\xcc\x83t\x83H\x81[\x83}\x83" "b\x83g\x95s\x90\xb3(";

std::string request_body(const std::string& top = "main(1)", const std::string& extra = "") {
    return script_request(top, "app.js") + extra;
}

// The request runs on a thread of its own while the test talks to it.
class RunningRequest {
public:
    RunningRequest(const RunnerSandbox& box, std::string body, std::string client = "127.0.0.1",
                   std::vector<std::pair<std::string, std::string>> env = {})
        : body_(std::move(body)), client_(std::move(client)), env_(std::move(env)) {
        thread_ = std::thread([this, &box] {
            std::vector<std::pair<std::string, std::string>> env = env_;
            if (!client_.empty()) env.push_back({"REMOTE_ADDR", client_});
            result_ = box.cgi(body_, env);
        });
    }
    ~RunningRequest() {
        if (thread_.joinable()) thread_.join();
    }
    ProcessResult finish() {
        thread_.join();
        EXPECT_EQ(result_.err, "");  // sanitizer reports end up here
        return result_;
    }

private:
    std::string body_;
    std::string client_;
    std::vector<std::pair<std::string, std::string>> env_;
    ProcessResult result_;
    std::thread thread_;
};

class DebuggerSession : public ::testing::Test {
protected:
    void SetUp() override { configure(peer.port()); }
    void configure(int port, const std::string& extra = "") {
        box.write_config("MODULE_DIR=" + box.path("app") + "\nDEBUG_PORT=" + std::to_string(port) + "\nLOGFILE=" +
                         box.path("journal.log") + "\nCLIENT=127.0.0.1\n" + extra);
        box.write_file("app/app.js", APP);
    }
    // Waits for the connection and answers the module request.
    void connect_and_serve(const std::string& text, const std::string& tables) {
        ASSERT_TRUE(peer.accept());
        ASSERT_TRUE(peer.serve_module("app.js", text, tables));
    }

    RunnerSandbox box{TOLV_RUNNER_DEBUG_PATH};
    DebuggerPeer peer;
};

std::string base64_of(const std::string& bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    auto put = [&](uint32_t chunk, size_t chars) {
        for (size_t k = 0; k < chars; ++k) out += alphabet[(chunk >> (18 - 6 * k)) & 63];
    };
    auto byte = [&](size_t at) { return uint32_t(uint8_t(bytes[at])); };
    for (; i + 3 <= bytes.size(); i += 3) put(byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2), 4);
    if (bytes.size() - i == 1) put(byte(i) << 16, 2), out += "==";
    if (bytes.size() - i == 2) put(byte(i) << 16 | byte(i + 1) << 8, 3), out += "=";
    return out;
}

const std::string COMPLETED_134 = std::string(ANSWER_HEADER) + "s15total";

TEST_F(DebuggerSession, StopsAtBreakpointEvaluatesInFramesAndRunsOn) {
    RunningRequest request(box, request_body());
    connect_and_serve("s" + std::string(APP), "###" + std::string(" 2:") + "$$$");

    std::string stack = peer.receive();
    EXPECT_EQ(stack.rfind("app.js:main:9:", 0), 0u) << stack;
    EXPECT_NE(stack.find(";app.js:square:2:5"), std::string::npos) << stack;
    EXPECT_EQ(peer.receive(), "Bapp.js:2:5");

    struct Case {
        std::string command;
        std::string reply;
    };
    const Case cases[] = {
        {"Eapp.js:square:2:5;n", "=1"},
        {"Eapp.js:main:9:9;total + 100", "=100"},
        {"Eapp.js:main:9:9;`i=${i}`", "=i=1"},
        {"Eapp.js:square:2:5;n", "=1"},  // the outer frame's evaluation left the inner one intact
        {"Eapp.js:nowhere:1:1;n", NOT_ON_STACK},
        {"Eapp.js:square:2:5 n", BAD_FORMAT + "app.js:square:2:5 n)"},
        {"Eapp.js:square:2:5;n = n + 10", "=11"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(peer.send(c.command));
        EXPECT_EQ(peer.receive(), c.reply) << c.command;
    }
    // Calls and declarations are refused in an evaluation.
    for (std::string refused : {"square(2)", "var q = 1"}) {
        ASSERT_TRUE(peer.send("Eapp.js:square:2:5;" + refused));
        EXPECT_EQ(peer.receive().rfind("#EVAL ERROR: CODE=1860, MESSAGE='EVAL ERROR 1860", 0), 0u) << refused;
    }
    // Unknown commands and step modes are passed over; the session goes on.
    for (std::string ignored : {"Xyz", "STEP9", "Bnosuch.js:3:", ""}) ASSERT_TRUE(peer.send(ignored));
    ASSERT_TRUE(peer.send("Bapp.js:"));  // clear the breakpoint
    ASSERT_TRUE(peer.send("STEP1"));

    // n became 11 in the first call: 121 + 4 + 9.
    EXPECT_EQ(peer.receive(), "L\"total\"134");
    EXPECT_EQ(peer.receive(), "B1X");
    ProcessResult result = request.finish();
    EXPECT_EQ(result.out.rfind(COMPLETED_134, 0), 0u) << result.out;
    EXPECT_NE(result.out.find("134C1"), std::string::npos) << result.out;
}

TEST_F(DebuggerSession, ConditionBreakpointAndTracePoint) {
    RunningRequest request(box, request_body());
    // Trace the function around line 1 as "sq"; stop at line 3 when n == 3;
    // a condition that does not parse is reported and never matches.
    connect_and_serve("s" + std::string(APP), " 1:sq; ###$$$ 3:n == 3; 2:(((; ");
    EXPECT_EQ(peer.receive(), "D評価する式が不正 '((('");
    for (std::string expected : {"Asq( n=1 )", "Rsq( 1 )", "Asq( n=2 )", "Rsq( 4 )", "Asq( n=3 )"})
        EXPECT_EQ(peer.receive(), expected);
    peer.receive();  // the call stack
    EXPECT_EQ(peer.receive(), "Bapp.js:3:5");
    ASSERT_TRUE(peer.send("Eapp.js:square:3:5;r"));
    EXPECT_EQ(peer.receive(), "=9");
    ASSERT_TRUE(peer.send("STEP1"));
    EXPECT_EQ(peer.receive(), "Rsq( 9 )");
    EXPECT_EQ(peer.receive(), "L\"total\"14");
    EXPECT_EQ(peer.receive(), "B1X");
    EXPECT_NE(request.finish().out.find("14C1"), std::string::npos);
}

// Step modes at the level of the protocol: each STEP names where the next stop is.
TEST_F(DebuggerSession, StepModes) {
    RunningRequest request(box, request_body());
    connect_and_serve("s" + std::string(APP), "### 9:$$$");
    auto stop_position = [&] {
        peer.receive();
        return peer.receive();
    };
    EXPECT_EQ(stop_position(), "Bapp.js:9:15");       // total += square(i)
    ASSERT_TRUE(peer.send("STEP2"));                    // into: the call on the same line
    EXPECT_EQ(stop_position(), "Bapp.js:9:24");
    ASSERT_TRUE(peer.send("STEP2"));                    // into the function
    EXPECT_EQ(stop_position(), "Bapp.js:2:5");
    ASSERT_TRUE(peer.send("STEP4"));                    // out: back in main after the return
    EXPECT_EQ(stop_position(), "Bapp.js:8:30");        // i++
    ASSERT_TRUE(peer.send("STEP3"));                    // over
    EXPECT_EQ(stop_position(), "Bapp.js:9:15");
    ASSERT_TRUE(peer.send("STEP3"));
    EXPECT_EQ(stop_position(), "Bapp.js:9:24");
    ASSERT_TRUE(peer.send("STEP3"));                    // the call runs through
    EXPECT_EQ(stop_position(), "Bapp.js:8:30");
    ASSERT_TRUE(peer.send("Bapp.js:"));
    ASSERT_TRUE(peer.send("STEP1"));
    EXPECT_EQ(peer.receive(), "L\"total\"14");
    EXPECT_EQ(peer.receive(), "B1X");
    request.finish();
}

// Where the module text comes from, by the debugger's reply.
TEST_F(DebuggerSession, ModuleSupply) {
    const std::string changed = std::string(APP).replace(std::string(APP).find("n * n"), 5, "n * n + 1000");
    ASSERT_NE(changed, APP);
    std::string image_path = box.path("changed.jo");
    box.write_file("changed.js", changed);
    ProcessResult compiled = run_process(TOLV_COMPILE_PATH, {{box.path("changed.js"), image_path}, {}, "", ""});
    ASSERT_EQ(compiled.exit_code, 0) << compiled.out << compiled.err;
    std::string base64 = base64_of(box.read_file("changed.jo"));

    struct Case {
        const char* name;
        std::string text;
        std::string tables;
        std::string answer_has;
    };
    const Case cases[] = {
        {"source from the debugger", "s" + changed, "###$$$", "s15totalR3014C1"},
        {"image from the debugger", "o" + base64, "###$$$", "s15totalR3014C1"},
        {"not available: the file", "&&&&", "&&&&", "s15totalP14C1"},
        {"tables not available: the file", "s" + changed, "&&&&", "s15totalP14C1"},
        {"bad base64", "o@@@@", "###$$$", "1168"},
    };
    for (const Case& c : cases) {
        RunningRequest request(box, request_body());
        connect_and_serve(c.text, c.tables);
        std::string last;
        for (int i = 0; i < 5 && last != "B1X" && last != "<closed>"; ++i) last = peer.receive();
        EXPECT_EQ(last, "B1X") << c.name;
        peer.close_connection();
        ProcessResult result = request.finish();
        EXPECT_NE(result.out.find(c.answer_has), std::string::npos) << c.name << ": " << result.out;
    }
}

TEST_F(DebuggerSession, RequestWithAnLRecordReadsItsModulesFromFiles) {
    RunningRequest request(box, request_body("main(1)", "L"));
    ASSERT_TRUE(peer.accept());
    EXPECT_EQ(peer.receive(), "L\"total\"14");  // the console line; no module request came first
    EXPECT_EQ(peer.receive(), "B1X");
    EXPECT_NE(request.finish().out.find("s15totalP14C1"), std::string::npos);
}

TEST_F(DebuggerSession, ErrorLinesGoToTheDebugger) {
    RunningRequest request(box, request_body("nothing(1)"));
    connect_and_serve("&&&&", "&&&&");
    std::string line = peer.receive();
    EXPECT_EQ(line.rfind("DEVAL ERROR 2155 (MainScript:1:", 0), 0u) << line;
    EXPECT_EQ(peer.receive(), "B1X");
    ProcessResult result = request.finish();
    EXPECT_NE(result.out.find("2155"), std::string::npos);
}

TEST_F(DebuggerSession, DebuggerClosingWhileTheRunnerWaitsEndsTheRequestWith1850) {
    RunningRequest request(box, request_body());
    connect_and_serve("&&&&", "### 2:$$$");
    peer.receive();
    EXPECT_EQ(peer.receive(), "Bapp.js:2:5");
    peer.close_connection();
    ProcessResult result = request.finish();
    EXPECT_NE(result.out.find("EVAL%20ERROR%201850%20(app.js:2:5)"), std::string::npos) << result.out;
    EXPECT_NE(box.read_file("journal.log").find("ソケット通信不正"), std::string::npos);
}

TEST_F(DebuggerSession, QuitEndsTheRequestWith1855EvenInsideTry) {
    box.write_file("app/app.js",
                   "function main() {\n"
                   "    try {\n"
                   "        var x = 1;\n"
                   "    } catch (e) {\n"
                   "        sendToFront(\"caught\", 1);\n"
                   "    }\n"
                   "    sendToFront(\"after\", 1);\n"
                   "}\n");
    RunningRequest request(box, request_body("main()"));
    connect_and_serve("&&&&", "### 3:$$$");
    peer.receive();
    EXPECT_EQ(peer.receive(), "Bapp.js:3:9");
    ASSERT_TRUE(peer.send("STEP0"));
    EXPECT_EQ(peer.receive(), "B1X");
    ProcessResult result = request.finish();
    EXPECT_NE(result.out.find("1855"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("caught"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("after"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("C1"), std::string::npos) << result.out;
}

// No connection, and the request answered as if there were no debugger. The
// peer listens on 127.0.0.1, where the forged addresses point: runner-debug
// runs whatever code it is sent, so a client that names another address must
// not make it connect there.
TEST_F(DebuggerSession, WhenNoDebuggerIsAttached) {
    const std::string expected = std::string(ANSWER_HEADER) + "s15totalP14C10101110";
    const std::vector<std::pair<std::string, std::string>> forged = {{"HTTP_X_FORWARDED_FOR", "127.0.0.1"}};
    struct Case {
        const char* name;
        std::string runner;
        std::string client;
        std::string config_extra;
        std::vector<std::pair<std::string, std::string>> env;
        const char* journal;  // a line the journal must hold, or nullptr
    };
    const Case cases[] = {
        {"runner never connects", TOLV_RUNNER_PATH, "127.0.0.1", "CLIENT=127.0.0.1\n", {}, nullptr},
        {"no CLIENT line", TOLV_RUNNER_DEBUG_PATH, "127.0.0.1", "", {}, "CLIENTの定義がありません"},
        {"unknown client address", TOLV_RUNNER_DEBUG_PATH, "", "CLIENT=127.0.0.1\n", {}, nullptr},
        {"client not on the CLIENT list", TOLV_RUNNER_DEBUG_PATH, "127.0.0.1", "CLIENT=10.0.0.1,10.0.0.2\n", {},
         "127.0.0.1はCLIENTにありません"},
        {"X-Forwarded-For names a listed client", TOLV_RUNNER_DEBUG_PATH, "127.0.0.2", "CLIENT=127.0.0.1\n", forged,
         "127.0.0.2はCLIENTにありません"},
        {"X-Forwarded-For from a listed client that is no trusted proxy", TOLV_RUNNER_DEBUG_PATH, "127.0.0.2",
         "CLIENT=127.0.0.1,127.0.0.2\n", forged, nullptr},
        {"padded address", TOLV_RUNNER_DEBUG_PATH, "127.000.000.001", "CLIENT=127.0.0.1\n", {}, nullptr},
        {"address after other characters", TOLV_RUNNER_DEBUG_PATH, "x127.0.0.1", "CLIENT=127.0.0.1\n", {}, nullptr},
    };
    for (const Case& c : cases) {
        RunnerSandbox other(c.runner);
        other.write_config("MODULE_DIR=" + other.path("app") + "\nDEBUG_PORT=" + std::to_string(peer.port()) +
                           "\nLOGFILE=" + other.path("journal.log") + "\n" + c.config_extra);
        other.write_file("app/app.js", APP);
        RunningRequest request(other, request_body(), c.client, c.env);
        ProcessResult result = request.finish();
        EXPECT_FALSE(peer.accept(0)) << c.name;
        EXPECT_EQ(result.out, expected) << c.name;
        if (c.journal) {
            EXPECT_NE(other.read_file("journal.log").find(c.journal), std::string::npos) << c.name;
        }
    }
}

// Nothing listens (the connection is refused), or a listener never answers
// (its queue is full: the connect time-out runs out). Either way the request
// runs as usual; the bound only catches a runner that hangs on the debugger.
TEST_F(DebuggerSession, NoDebuggerAnsweringTheRequestRunsNormally) {
    for (bool listening : {false, true}) {
        int port = unused_loopback_port();
        int listener = -1;
        std::vector<int> queued;
        if (listening) {
            listener = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(uint16_t(port));
            ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            listen(listener, 0);
            for (int i = 0; i < 3; ++i) {
                int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
                connect(c, reinterpret_cast<sockaddr*>(&address), sizeof address);
                queued.push_back(c);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        configure(port);
        auto start = std::chrono::steady_clock::now();
        ProcessResult result = box.cgi(request_body(), {{"REMOTE_ADDR", "127.0.0.1"}});
        auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "s15totalP14C10101110") << listening;
        EXPECT_LT(elapsed, std::chrono::seconds(5)) << listening;
        for (int c : queued) close(c);
        if (listener >= 0) close(listener);
    }
}

}  // namespace
}  // namespace tolv::tests
