// Dates through the built runner: under several zones from the command line,
// and as values in the answer and in the request of a CGI run.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/node_peer.h"
#include "support/request_records.h"
#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

const std::string APP_DIR = std::string(TOLV_SOURCE_DIR) + "/tests/e2e/apps/dates";

class DateScript : public ::testing::Test {
protected:
    void SetUp() override { box.write_config("MODULE_DIR=" + APP_DIR + "\n"); }
    ProcessResult show(const char* zone) { return box.run({"-e", "show()", "dates.js"}, {{"TZ", zone}}); }
    RunnerSandbox box;
};

TEST_F(DateScript, InUtc) {
    ProcessResult result = show("UTC");
    EXPECT_EQ(result.out,
              "(L) 2024-07-01 12:30:15.250 1719837015250.0 0 Mon Jul 01 2024 12:30:15 GMT+0000 (GMT+00:00)\n"
              "(L) 2024-01-01 12:30:15.250 1704112215250.0 12:30:15 GMT+0000 12\n"
              "(L) 2024-01-15 01:30:00 1705314600000.0 1705282200000.0\n"
              "(L) 2024-03-10 02:30:00 1730597400000.0\n");
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(DateScript, InTokyo) {
    ProcessResult result = show("Asia/Tokyo");
    EXPECT_EQ(result.out,
              "(L) 2024-07-01 12:30:15.250 1719804615250.0 -540 Mon Jul 01 2024 12:30:15 GMT+0900 (GMT+09:00)\n"
              "(L) 2024-01-01 12:30:15.250 1704079815250.0 12:30:15 GMT+0900 3\n"
              "(L) 2024-01-15 10:30:00 1705282200000.0 1705282200000.0\n"
              "(L) 2024-03-10 02:30:00 1730565000000.0\n");
}

// Summer time: the given fields come back, each date shows its own offset,
// the skipped hour moves forward and the doubled hour is read as standard time.
TEST_F(DateScript, InNewYorkAcrossSummerTime) {
    ProcessResult result = show("America/New_York");
    EXPECT_EQ(result.out,
              "(L) 2024-07-01 12:30:15.250 1719851415250.0 240 Mon Jul 01 2024 12:30:15 GMT-0400 (GMT-04:00)\n"
              "(L) 2024-01-01 12:30:15.250 1704130215250.0 12:30:15 GMT-0500 17\n"
              "(L) 2024-01-14 20:30:00 1705332600000.0 1705282200000.0\n"
              "(L) 2024-03-10 03:30:00 1730615400000.0\n");
}

TEST_F(DateScript, SentToTheFrontAsTheirText) {
    std::string when = counted_text("2024-01-15 10:30:00.250");
    std::string request = script_request("send()", "dates.js");
    for (const char* zone : {"UTC", "America/New_York"}) {
        SCOPED_TRACE(zone);
        ProcessResult result = box.cgi(request, {{"TZ", zone}});
        EXPECT_EQ(result.out, std::string(ANSWER_HEADER) +                                  //
                                  "s14when" + when +                                       //
                                  "s15plain" + counted_text("2024-07-01 09:05:00") +       //
                                  "A1214list" + when + counted_text("2030-12-31 23:59:59") +  //
                                  "H1213doc12at" + when + "13iso" + counted_text("2024-01-15T10:30:00.250Z") +
                                  "C11111210");
    }
}

// The date texts a front end got come back unchanged after a script has
// turned them into dates and sent them again.
TEST_F(DateScript, ReadFromTheRequestAndSentBack) {
    std::string rows = "A" + counted_number(3) + counted_text("rows") + counted_text("2024-07-01 12:00:00") +
                       counted_text("2030-12-31 23:59:59.999") + counted_text("1970-01-02 00:00:00.001");
    std::string request = script_request("echo(stamp, rows)", "dates.js") +
                          counted_record('S', 1, counted_text("stamp") + counted_text("2024-01-15 10:30:00.250")) +
                          counted_record('A', 1, rows);
    for (const char* zone : {"UTC", "Asia/Tokyo", "America/New_York"}) {
        SCOPED_TRACE(zone);
        ProcessResult result = box.cgi(request, {{"TZ", zone}});
        EXPECT_EQ(result.out, std::string(ANSWER_HEADER) + "s15stamp" + counted_text("2024-01-15 10:30:00.250") +
                                  rows + "s14hourP10" + "C11101210");
    }
}

TEST_F(DateScript, BadDateTextInARequestIsReported) {
    std::string request = script_request("echo(stamp, rows)", "dates.js") +
                          counted_record('S', 1, counted_text("stamp") + counted_text("2024-01-15"));
    ProcessResult result = box.cgi(request);
    EXPECT_NE(result.out.find("S145515"), std::string::npos) << result.out;
    std::string message = counted_text("Dateで日付・時刻の文字列不正");
    message.erase(0, 1 + size_t(message[0] - 'A'));  // marker and length digits
    EXPECT_TRUE(result.out.ends_with(message)) << result.out;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The runner's console line as node prints it: no "(L) ", whole Floats without ".0".
std::string as_node_prints(std::string line) {
    if (line.rfind("(L) ", 0) == 0) line.erase(0, 4);
    for (size_t at; (at = line.find(".0 ")) != std::string::npos;) line.erase(at, 2);
    return line;
}

// Every hour of a year built from its fields, against node in the same zone:
// the runner agrees everywhere but in the hour that occurs twice, which it
// reads as standard time and node as summer time.
TEST(DateAgainstNode, EveryHourOfAYear) {
    RunnerSandbox box;
    box.write_config("MODULE_DIR=" + APP_DIR + "\n");
    std::ifstream file(APP_DIR + "/sweep.js");
    std::stringstream script;
    script << file.rdbuf();
    const std::string node = node_program();
    ASSERT_FALSE(node.empty()) << "node is needed here (tools/setup.sh installs it)";
    struct Zone {
        const char* name;
        const char* doubled;  // "month day hour " of the doubled hour
    };
    for (Zone zone : {Zone{"America/New_York", "10 3 1 "}, Zone{"Australia/Lord_Howe", "3 7 1 "},
                      Zone{"Asia/Tokyo", nullptr}}) {
        SCOPED_TRACE(zone.name);
        ProcessResult ours = box.run({"-e", "main()", "sweep.js"}, {{"TZ", zone.name}});
        ProcessOptions options;
        options.args = {"-e", script.str() + "\nmain()"};
        options.env = {{"TZ", zone.name}};
        ProcessResult theirs = run_process(node, options);
        ASSERT_EQ(theirs.exit_code, 0) << theirs.err;
        std::vector<std::string> our_lines = lines_of(ours.out), node_lines = lines_of(theirs.out);
        ASSERT_EQ(our_lines.size(), 12u * 31 * 24);
        ASSERT_EQ(our_lines.size(), node_lines.size());
        std::string differing;  // node's lines where the runner differs
        for (size_t i = 0; i < our_lines.size(); ++i) {
            if (as_node_prints(our_lines[i]) != node_lines[i]) differing += node_lines[i] + "\n";
        }
        if (zone.doubled) {
            EXPECT_EQ(differing.rfind(zone.doubled, 0), 0u) << differing;
            EXPECT_EQ(std::count(differing.begin(), differing.end(), '\n'), 1) << differing;
        } else {
            EXPECT_EQ(differing, "");
        }
    }
}

}  // namespace
}  // namespace tolv::tests
