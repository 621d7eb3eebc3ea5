// The runner as a real process against requests a hostile or clumsy client
// sends, and against a journal it cannot write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
    return n;
}

class HostileRequest : public ::testing::Test {
protected:
    void SetUp() override {
        box.write_file("app.js", "function main() { console.log('ran'); }\nfunction echo(line) { console.log(line); }\n");
    }
    RunnerSandbox box;
};

// The journal sits beside the program and its configuration: an "l" record
// naming the configuration would plant lines that every later request reads.
TEST_F(HostileRequest, JournalNameCannotReachTheConfiguration) {
    box.write_config("MODULE_DIR=" + box.dir() + "\nLOGFILE=" + box.path("journal.log") + "\n");
    const std::string attacks[] = {"mongoTOLV.config", "TOLV.config", "runner", "x.sh", ".log", "a/../b.log"};
    for (const std::string& name : attacks) {
        // The line reaches the journal as a request variable that the application logs.
        ProcessResult result = box.cgi(top_program("echo(line)") + "l" + counted_text(name) + module_record({"app.js"}) +
                                       counted_record('S', 1, counted_text("line") + counted_text("\nTIME_INTERVAL=never")));
        EXPECT_EQ(result.out.rfind(std::string(ANSWER_HEADER) + "C", 0), 0u) << name << ": " << result.out;
    }
    EXPECT_FALSE(box.exists("mongoTOLV.config"));
    EXPECT_EQ(box.read_file("TOLV.config").find("never"), std::string::npos);
    EXPECT_EQ(count_of(box.read_file("journal.log"), "TIME_INTERVAL=never"), std::size(attacks));

    ProcessResult named = box.cgi(top_program("main()") + "l" + counted_text("day-2.log") + module_record({"app.js"}));
    EXPECT_EQ(named.out, std::string(ANSWER_HEADER) + "C10101010");
    EXPECT_EQ(count_of(box.read_file("day-2.log"), "ran\n"), 1u);
}

// Errors of the request records belong to no module; a missing module file
// is named as the request named it, not by where the modules live.
TEST_F(HostileRequest, ErrorsNameTheRightPlace) {
    box.write_config("MODULE_DIR=" + box.dir() + "\n");
    ProcessResult after_load = box.cgi(top_program("main()") + module_record({"app.js"}) +
                                       counted_record('S', 1, counted_text("v") + counted_text("x")) + "Z");
    EXPECT_EQ(after_load.out,
              std::string(ANSWER_HEADER) +
                  error_record(1750, "EVAL ERROR 1750 (:0:0) : データの型不正(Hash, Array, Variable でない)."));

    ProcessResult missing = box.cgi(top_program("main()") + module_record({"app.js", "lib/gone.js"}));
    EXPECT_EQ(missing.out, std::string(ANSWER_HEADER) +
                               error_record(1165, "PARSE ERROR 1165 (lib/gone.js:1) : ファイルオープン不正 'lib/gone.js'"));
    EXPECT_EQ(missing.out.find(box.dir()), std::string::npos);
}

// A web server may pass a body on in small pieces: it is read to the end.
TEST_F(HostileRequest, BodyArrivingInManyPiecesIsReadWhole) {
    box.write_config("MODULE_DIR=" + box.dir() + "\n");
    struct Case {
        size_t bytes, piece;
    };
    for (const Case c : {Case{100 * 1024, 400}, Case{3 * 1024 * 1024, 8192}}) {
        std::string body = top_program("main()") + module_record({"app.js"}) +
                           counted_record('S', 1, counted_text("big") + counted_text(std::string(c.bytes, 'b')));
        ProcessOptions options;
        options.env = {{"CONTENT_LENGTH", std::to_string(body.size())}};
        options.input = body;
        options.input_piece = c.piece;
        options.piece_pause_us = 100;
        ProcessResult result = run_process(box.runner(), options);
        EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "C10101010") << c.bytes << " in pieces of " << c.piece;
    }
}

// A damaged image whose operation tree leads back into itself is refused
// when it is loaded; evaluating it would recurse until the stack ends.
TEST_F(HostileRequest, ImageWithACycleIsRefused) {
    box.write_config("MODULE_DIR=" + box.dir() + "\n");
    box.write_file("s.js", "function main() { { var a = 1; } }\n");
    ProcessResult compiled = run_process(TOLV_COMPILE_PATH, {{"--plain", box.path("s.js"), box.path("s.jo")}, {}, "", ""});
    ASSERT_EQ(compiled.exit_code, 0) << compiled.out << compiled.err;
    std::string image = box.read_file("s.jo");
    ASSERT_GT(image.size(), 68u);
    image[68] = '\x03';  // an operand of the inner block now names the block around it
    box.write_file("t.jo", image);

    ProcessResult intact = box.cgi(top_program("main()") + module_record({"s.jo"}));
    EXPECT_EQ(intact.out, std::string(ANSWER_HEADER) + "C10101010");
    ProcessResult damaged = box.cgi(top_program("main()") + module_record({"t.jo"}));
    EXPECT_EQ(damaged.exit_code, 0);
    const std::string refused = std::string(ANSWER_HEADER) + "S" + counted_text("1168");
    EXPECT_EQ(damaged.out.substr(0, refused.size()), refused);
    EXPECT_NE(damaged.out.find("PARSE%20ERROR%201168%20(t.jo:1)"), std::string::npos) << damaged.out;
}

// Module paths naming anything but a regular file (a folder's "length" is
// LONG_MAX; a FIFO would wait for a writer) are files that cannot be opened.
TEST_F(HostileRequest, ModulePathThatIsNoFileIsError1165) {
    std::filesystem::create_directories(box.path("lib/chart.js"));
    ASSERT_EQ(mkfifo(box.path("lib/pipe.js").c_str(), 0600), 0);
    for (const char* path : {"lib/chart.js", "lib/pipe.js"}) {
        SCOPED_TRACE(path);
        const std::string refused =
            std::string(ANSWER_HEADER) +
            error_record(1165, std::string("PARSE ERROR 1165 (") + path + ":1) : ファイルオープン不正 '" + path + "'");
        box.write_config("MODULE_DIR=" + box.dir() + "\nLOGFILE=" + box.path("journal.log") + "\n");
        ProcessResult requested = box.cgi(top_program("main()") + module_record({"app.js", path}));
        EXPECT_EQ(requested.out, refused);
        EXPECT_EQ(requested.exit_code, 0) << requested.err;

        box.write_config("MODULE_DIR=" + box.dir() + "\nINCLUDE=" + path + "\nLOGFILE=" + box.path("journal.log") + "\n");
        ProcessResult included = box.cgi(top_program("main()") + module_record({"app.js"}));
        EXPECT_EQ(included.out, refused);
        EXPECT_EQ(included.exit_code, 0) << included.err;
    }
    // Each refusal is in the journal like any other error.
    EXPECT_EQ(count_of(box.read_file("journal.log"), "PARSE ERROR 1165"), 4 * 2u);
}

// A journal that can never be written is given up at once and reported to
// the web server's error log; the answer is not touched after its close.
TEST_F(HostileRequest, UnwritableJournalIsReportedOnStandardError) {
    std::filesystem::create_directory(box.path("logdir"));
    // A FIFO without a reader would hold the process for ever once the answer is out.
    ASSERT_EQ(mkfifo(box.path("journal.fifo").c_str(), 0600), 0);
    struct Case {
        const char* logfile;
        const char* reason;
    };
    for (const Case c : {Case{"logdir", "Is a directory"}, Case{"missing/journal.log", "No such file or directory"},
                         Case{"journal.fifo", "not a regular file"}}) {
        SCOPED_TRACE(c.logfile);
        box.write_config("MODULE_DIR=" + box.dir() + "\nLOGFILE=" + box.path(c.logfile) + "\n");
        const std::string lost = "open&lock of jounal file(" + box.path(c.logfile) + ")";
        auto started = std::chrono::steady_clock::now();
        ProcessResult result = box.cgi(top_program("main()") + module_record({"app.js"}));
        auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "C10101010");
        EXPECT_NE(result.err.find(lost + ": " + c.reason), std::string::npos) << result.err;
        // Waiting for a lock would take five seconds; nothing is waited for.
        EXPECT_LT(took, std::chrono::seconds(3));

        // Before the answer is closed (the fatal exit) the client hears of it too.
        ProcessResult fatal = box.cgi("", {{"CONTENT_LENGTH", "x"}});
        std::string length = std::to_string(lost.size());
        EXPECT_EQ(fatal.out, fatal_record("CONTENT_LENGTH is not not number format.") + "S149999" +
                                 std::string(1, char('0' + length.size())) + length + lost);
        EXPECT_NE(fatal.err.find(lost), std::string::npos) << fatal.err;
    }
}

}  // namespace
}  // namespace tolv::tests
