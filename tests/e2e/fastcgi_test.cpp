// The FastCGI mode (`runner --fastcgi`) through nginx: the same answers and
// journal blocks as CGI mode, nothing of one request in the next, a hanging
// or crashing request answered while the server goes on serving, limits, a
// changed configuration read again and a stop that lets requests finish.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "protocol/fastcgi_records.h"
#include "support/ferretdb_server.h"
#include "support/http_client.h"
#include "support/shop_requests.h"
#include "support/web_server.h"

namespace fs = std::filesystem;

namespace tolv::tests {
namespace {

const std::string SHOP_DIR = std::string(TOLV_SOURCE_DIR) + "/examples/shop";
const std::string PROBE_DIR = std::string(TOLV_SOURCE_DIR) + "/tests/e2e/apps/fastcgi";
const std::string PROBE_MODULE = counted_record('M', 1, counted_text("probe.js"));

// A site as the recipes lay it out: bin/, modules/, log/, public/.
class Site {
public:
    Site() : box(TOLV_RUNNER_PATH, "bin") {
        fs::create_directories(box.path("modules"));
        for (const std::string& dir : {SHOP_DIR, PROBE_DIR})
            for (const auto& entry : fs::directory_iterator(dir))
                if (entry.path().extension() == ".js")
                    fs::copy_file(entry.path(), box.path("modules/" + entry.path().filename().string()));
        fs::create_directories(box.path("log"));
        hand_over(box.path("log"));
        box.write_file("public/index.html", "<!doctype html>\n");
    }
    void configure(const std::string& extra) const {
        box.write_config("MODULE_DIR=" + box.path("modules") + "\nLOGFILE=" + box.path("log/journal.log") +
                         "\nINCLUDE=catalog.js\nINCLUDE=pricing.js\nINCLUDE=state.js\n" + extra);
    }
    std::string journal() const { return box.exists("log/journal.log") ? box.read_file("log/journal.log") : ""; }
    // The journal once it holds `blocks` blocks: each is written after its answer.
    std::string journal_of(size_t blocks) const {
        std::string text;
        for (int tries = 0; tries < 250; ++tries) {
            text = journal();
            size_t ends = 0;
            for (size_t at = text.find("=====  end"); at != std::string::npos; at = text.find("=====  end", at + 1))
                ++ends;
            if (ends >= blocks) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return text;
    }
    RunnerSandbox box;
};

// The journal with its times blanked: blocks compared by shape.
std::string without_times(const std::string& journal) {
    static const char shape[] = "dddd/dd/dd dd:dd:dd";
    const size_t length = sizeof shape - 1;
    auto is_time = [&](size_t at) {
        for (size_t i = 0; i < length; ++i) {
            const char c = journal[at + i];
            if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(c)) : c != shape[i]) return false;
        }
        return true;
    };
    std::string out;
    for (size_t at = 0; at < journal.size();) {
        if (at + length <= journal.size() && is_time(at)) {
            out += 'T';
            at += length;
        } else {
            out += journal[at++];
        }
    }
    return out;
}

// The request processes of the FastCGI server: the children of its threads
// (the server may run on a thread of its own, with its own stack).
std::vector<pid_t> request_processes(pid_t server) {
    std::vector<pid_t> pids;
    std::error_code error;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(server) + "/task", error)) {
        std::ifstream in(task.path() / "children");
        for (pid_t pid; in >> pid;) pids.push_back(pid);
    }
    return pids;
}

// A process forked ahead that has taken no connection yet: it waits in accept.
bool waiting_for_connection(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    return in >> number && number == SYS_accept4;
}

// The first request process that has taken a connection (once all_waiting
// has seen every process forked ahead reach accept).
pid_t wait_for_request_process(pid_t server) {
    for (int tries = 0; tries < 500; ++tries) {
        for (pid_t pid : request_processes(server))
            if (!waiting_for_connection(pid)) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

// True once the server keeps `children` request processes and every one
// waits for a connection: those that served a request have ended, and none
// is still on its way to accept.
bool all_waiting(pid_t server, size_t children) {
    for (int tries = 0; tries < 250; ++tries) {
        const std::vector<pid_t> pids = request_processes(server);
        bool waiting = pids.size() == children;
        for (pid_t pid : pids) waiting = waiting && waiting_for_connection(pid);
        if (waiting) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string raw_counted(const std::string& text) {
    const std::string length = std::to_string(text.size());
    return std::to_string(length.size()) + length + text;
}

TEST(FastcgiMode, AnswersAndJournalBlocksAreThoseOfCgiMode) {
    Site cgi_site, fastcgi_site;
    cgi_site.configure("");
    fastcgi_site.configure("");
    WebServer cgi(cgi_site.box, ServerKind::nginx);
    WebServer fastcgi(fastcgi_site.box, ServerKind::nginx_fastcgi);
    ASSERT_TRUE(cgi.running()) << cgi.startup_log();
    ASSERT_TRUE(fastcgi.running()) << fastcgi.startup_log();

    const std::string requests[] = {
        order_request({"tea", "cup"}),
        order_request({}),
        order_request({"no-such-item"}),
        top_program("bump()") + PROBE_MODULE,
        top_program("read_global()") + PROBE_MODULE,
        top_program("order(") + counted_record('M', 1, counted_text("order.js")),
        top_program("hello()") + counted_record('M', 1, counted_text("missing.js")),
        top_program("hello()") + PROBE_MODULE + counted_record('H', 1, counted_text("h") + "H" + counted_number(1) +
                                                                          counted_text("$ne") + counted_text("")),
        "P",
        "",
        std::string("P17hello()\0M1", 13),
    };
    size_t blocks = 0;
    for (const std::string& body : requests) {
        SCOPED_TRACE(body);
        HttpAnswer expected = cgi.post(body), got = fastcgi.post(body);
        EXPECT_EQ(got.status, expected.status);
        EXPECT_EQ(got.body, expected.body);
        ++blocks;
        EXPECT_EQ(without_times(fastcgi_site.journal_of(blocks)), without_times(cgi_site.journal_of(blocks)));
    }
    EXPECT_NE(cgi_site.journal().find("bump 1"), std::string::npos) << cgi_site.journal();
}

TEST(FastcgiMode, NothingOfARequestReachesTheNext) {
    Site site;
    site.configure("");
    WebServer server(site.box, ServerKind::nginx_fastcgi);
    ASSERT_TRUE(server.running()) << server.startup_log();

    // The module's and the INCLUDE module's variables start again each time.
    for (int round = 0; round < 3; ++round) {
        HttpAnswer answer = server.post(top_program("bump()") + PROBE_MODULE);
        EXPECT_EQ(answer.body, "A1216countsO1O1C11101010") << round;
    }
    // A global made by one request is unknown to the next, and so are its journal lines.
    HttpAnswer left = server.post(top_program("leave_global()") + PROBE_MODULE);
    EXPECT_EQ(left.body, "s14leftO1C10101110");
    HttpAnswer read = server.post(top_program("read_global()") + PROBE_MODULE);
    EXPECT_EQ(read.body, "s15stray10C10101110");
    const std::string journal = site.journal_of(5);
    const size_t last_block = journal.rfind("-----  start");
    ASSERT_NE(last_block, std::string::npos) << journal;
    EXPECT_EQ(journal.substr(last_block).find("left from"), std::string::npos) << journal;
}

TEST(FastcgiMode, AnOpenDatabaseConnectionEndsWithItsRequest) {
    FerretDbServer& database = ferretdb();
    ASSERT_TRUE(database.running()) << database.failure();
    Site site;
    site.configure("VAR='probe_db':'" + database.uri("fastcgi" + std::to_string(getpid())) + "'\n");
    WebServer server(site.box, ServerKind::nginx_fastcgi);
    ASSERT_TRUE(server.running()) << server.startup_log();

    for (int round = 1; round <= 3; ++round) {
        EXPECT_EQ(server.post(top_program("open_and_leave()") + PROBE_MODULE).body, "s16openedO1C10101110");
        EXPECT_EQ(server.post(top_program("count_marks()") + PROBE_MODULE).body,
                  "s15marksO" + std::to_string(round) + "C10101110");
    }
    // No request process outlives its request.
    EXPECT_TRUE(all_waiting(server.runner_pid(), 16));
}

TEST(FastcgiMode, HangingAndCrashingRequestsAreAnsweredAndTheServerGoesOn) {
    Site site;
    site.configure("TOKEN_KEY=fastcgi-key-0b7\nTIME_INTERVAL=600\nTOKEN_OPEN=hello,hang,wait\n");
    WebServer server(site.box, ServerKind::nginx_fastcgi, {"--time-limit", "2", "--children", "2"});
    ASSERT_TRUE(server.running()) << server.startup_log();

    // Over the time limit: the process is stopped, the answer is the error
    // record and a refused token, and the journal says why.
    const std::string over = "処理時間の上限(2秒)を超えたため、リクエストの処理を中止しました";
    HttpAnswer hung = server.post(top_program("hang()") + PROBE_MODULE);
    EXPECT_EQ(hung.status, 200);
    EXPECT_EQ(hung.body, "S148555" + raw_counted(over) + "X12NG12NG");
    EXPECT_NE(site.journal_of(1).find("\n" + over + "\n"), std::string::npos) << site.journal();

    // A process that dies (here of SIGSEGV) half-way through its request.
    ASSERT_TRUE(all_waiting(server.runner_pid(), 2));
    auto waiting = std::async(std::launch::async,
                              [&] { return server.post(top_program("wait(1500)") + PROBE_MODULE); });
    const pid_t request = wait_for_request_process(server.runner_pid());
    ASSERT_GT(request, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(request, SIGSEGV);
    HttpAnswer crashed = waiting.get();
    EXPECT_EQ(crashed.status, 200);
    EXPECT_TRUE(crashed.body.starts_with("S148555")) << crashed.body;
    EXPECT_NE(crashed.body.find("異常終了"), std::string::npos) << crashed.body;
    EXPECT_TRUE(crashed.body.ends_with("X12NG12NG")) << crashed.body;

    // Two hanging requests fill both places; the next waits and is served.
    auto first = std::async(std::launch::async, [&] { return server.post(top_program("hang()") + PROBE_MODULE); });
    auto second = std::async(std::launch::async, [&] { return server.post(top_program("hang()") + PROBE_MODULE); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    HttpAnswer hello = server.post(top_program("hello()") + PROBE_MODULE);
    EXPECT_TRUE(hello.body.starts_with("s18greeting15helloC10101110X")) << hello.body;
    EXPECT_TRUE(first.get().body.starts_with("S148555"));
    EXPECT_TRUE(second.get().body.starts_with("S148555"));

    // Processes forked ahead that die before taking a connection are
    // replaced, with nothing to answer and nothing in the journal.
    ASSERT_TRUE(all_waiting(server.runner_pid(), 2));
    const size_t blocks = site.journal_of(4).size();
    for (pid_t pid : request_processes(server.runner_pid())) kill(pid, SIGSEGV);
    EXPECT_TRUE(server.post(top_program("hello()") + PROBE_MODULE).body.starts_with("s18greeting15helloC10101110X"));
    EXPECT_EQ(site.journal_of(5).substr(blocks).find("異常終了"), std::string::npos) << site.journal();
}

#if !defined(__SANITIZE_ADDRESS__)
// The sanitizer's shadow memory is address space of its own: a limit on it
// cannot be tested there.
TEST(FastcgiMode, MemoryLimitStopsARequestWithItsError) {
    Site site;
    site.configure("");
    WebServer server(site.box, ServerKind::nginx_fastcgi, {"--memory-limit", "320"});
    ASSERT_TRUE(server.running()) << server.startup_log();
    HttpAnswer hog = server.post(top_program("hog()") + PROBE_MODULE);
    EXPECT_TRUE(hog.body.starts_with("S141400")) << hog.body.substr(0, 200);
    EXPECT_TRUE(server.post(top_program("hello()") + PROBE_MODULE).body.starts_with("s18greeting"));
}
#endif

TEST(FastcgiMode, ChangedConfigurationAndIncludedModulesAreReadAgain) {
    Site site;
    site.configure("VAR='greeting':'one'\n");
    site.box.write_file("modules/greet.js", "function greet() { sendToFront(\"g\", greeting); }\n");
    WebServer server(site.box, ServerKind::nginx_fastcgi);
    ASSERT_TRUE(server.running()) << server.startup_log();
    const std::string greet = top_program("greet()") + counted_record('M', 1, counted_text("greet.js"));
    EXPECT_EQ(server.post(greet).body, "s11g13oneC10101110");
    // A module the request names is read as it is now.
    site.box.write_file("modules/greet.js", "function greet() { sendToFront(\"h\", greeting); }\n");
    EXPECT_EQ(server.post(greet).body, "s11h13oneC10101110");

    // Every process forked ahead from the old state is waiting when the
    // configuration changes; none of them serves a request after that.
    ASSERT_TRUE(all_waiting(server.runner_pid(), 16));
    const std::vector<pid_t> forked_before = request_processes(server.runner_pid());
    ASSERT_FALSE(forked_before.empty());
    site.configure("VAR='greeting':'three'\n");
    for (int round = 0; round < 4; ++round) EXPECT_EQ(server.post(greet).body, "s11h15threeC10101110") << round;
    ASSERT_TRUE(all_waiting(server.runner_pid(), 16));
    for (pid_t pid : request_processes(server.runner_pid()))
        EXPECT_EQ(std::count(forked_before.begin(), forked_before.end(), pid), 0) << pid;

    // An INCLUDE module edited in place.
    site.box.write_file("modules/state.js", "var visits = 0;\nfunction hello() { sendToFront(\"edited\", 1); }\n");
    EXPECT_EQ(server.post(top_program("hello()") + counted_record('M', 1, counted_text("greet.js"))).body,
              "s16editedO1C10101110");

    // A configuration that no longer reads is each request's fault, answered
    // as in CGI mode: the fatal record comes before any header, which nginx
    // refuses with 502.
    site.box.write_config("TIME_INTERVAL=soon\n");
    EXPECT_EQ(server.post(greet).status, 502);
    site.configure("VAR='greeting':'four'\n");
    EXPECT_EQ(server.post(greet).body, "s11h14fourC10101110");
}

TEST(FastcgiMode, SigtermLetsTheRequestsInFlightFinish) {
    Site site;
    site.configure("");
    WebServer server(site.box, ServerKind::nginx_fastcgi);
    ASSERT_TRUE(server.running()) << server.startup_log();
    ASSERT_TRUE(all_waiting(server.runner_pid(), 16));
    auto waiting = std::async(std::launch::async,
                              [&] { return server.post(top_program("wait(1000)") + PROBE_MODULE); });
    ASSERT_GT(wait_for_request_process(server.runner_pid()), 0);
    const int status = server.stop_runner();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(waiting.get().body, "s16waitedR1000C10101110");
    EXPECT_NE(site.journal_of(1).find("-----  start"), std::string::npos);
    // Stopped: nginx finds nobody at the socket.
    EXPECT_EQ(server.post(top_program("hello()") + PROBE_MODULE).status, 502);
}

}  // namespace
}  // namespace tolv::tests

namespace tolv::tests {
namespace {

// The runner's socket spoken to directly, as a web server (or anyone who can
// reach the socket) may speak to it.
class FastcgiPeer {
public:
    explicit FastcgiPeer(const std::string& socket_path) {
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
        timeval timeout{10, 0};
        if (fd_ >= 0) setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~FastcgiPeer() {
        if (fd_ >= 0) close(fd_);
    }
    bool connected() const { return fd_ >= 0; }
    void send_record(uint8_t type, uint16_t id, const std::string& content) {
        std::string record;
        append_fastcgi_record(record, type, id, content.data(), content.size());
        ASSERT_EQ(write(fd_, record.data(), record.size()), ssize_t(record.size()));
    }
    void begin(uint16_t id) { send_record(FCGI_BEGIN_REQUEST, id, std::string("\0\1\0\0\0\0\0\0", 8)); }
    // Everything the runner sends until it closes the connection.
    std::string read_all() {
        std::string got;
        char buffer[4096];
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) got.append(buffer, size_t(n));
        return got;
    }

private:
    int fd_ = -1;
};

struct Record {
    uint8_t type;
    uint16_t id;
    std::string content;
};

std::vector<Record> records_of(const std::string& stream) {
    std::vector<Record> records;
    for (size_t at = 0; at + FCGI_HEADER_SIZE <= stream.size();) {
        const FastcgiHeader header = decode_fastcgi_header(reinterpret_cast<const uint8_t*>(stream.data() + at));
        at += FCGI_HEADER_SIZE;
        records.push_back({header.type, header.request_id, stream.substr(at, header.content_length)});
        at += header.content_length + header.padding_length;
    }
    return records;
}

std::string stdout_of(const std::vector<Record>& records) {
    std::string out;
    for (const Record& record : records)
        if (record.type == FCGI_STDOUT) out += record.content;
    return out;
}

TEST(FastcgiSocket, AnswersOneRequestPerConnectionAndRefusesTheRest) {
    RunnerSandbox box;
    box.write_config("MODULE_DIR=" + box.dir() + "\n");
    box.write_file("hello.js", "function hello() { sendToFront(\"greeting\", \"hello\"); }\n");
    const std::string socket_path = box.path("runner.sock");
    ServerProcess runner;
    runner.start({box.runner(), "--fastcgi", socket_path}, box.path("runner-output.log"));
    ASSERT_TRUE(runner.wait_until_exists(socket_path));
    const std::string body = top_program("hello()") + counted_record('M', 1, counted_text("hello.js"));
    std::string params;
    append_fastcgi_pair(params, "CONTENT_LENGTH", std::to_string(body.size()));
    append_fastcgi_pair(params, "REMOTE_ADDR", "127.0.0.1");

    // Management records first, then a second request on the same
    // connection: refused, while the first is answered under its own id.
    FastcgiPeer peer(socket_path);
    ASSERT_TRUE(peer.connected());
    std::string asked;
    append_fastcgi_pair(asked, "FCGI_MPXS_CONNS", "");
    peer.send_record(FCGI_GET_VALUES, 0, asked);
    peer.send_record(42, 0, "");
    peer.begin(7);
    peer.begin(8);
    peer.send_record(FCGI_PARAMS, 7, params);
    peer.send_record(FCGI_PARAMS, 7, "");
    peer.send_record(FCGI_STDIN, 7, body);
    peer.send_record(FCGI_STDIN, 7, "");
    const std::vector<Record> records = records_of(peer.read_all());
    ASSERT_GE(records.size(), 5u);
    std::string values;
    append_fastcgi_pair(values, "FCGI_MPXS_CONNS", "0");
    EXPECT_EQ(records[0].type, FCGI_GET_VALUES_RESULT);
    EXPECT_EQ(records[0].content, values);
    EXPECT_EQ(records[1].type, FCGI_UNKNOWN_TYPE);
    EXPECT_EQ(records[2].type, FCGI_END_REQUEST);
    EXPECT_EQ(records[2].id, 8);
    EXPECT_EQ(records[2].content[4], char(FCGI_CANT_MPX_CONN));
    EXPECT_EQ(stdout_of(records), std::string(ANSWER_HEADER) + "s18greeting15helloC10101110");
    EXPECT_EQ(records.back().type, FCGI_END_REQUEST);
    EXPECT_EQ(records.back().id, 7);

    // Parameters whose lengths run past their record, and a request that
    // ends before its body: no answer, no process left, the server goes on.
    for (const std::string& broken : {std::string("\x7f\x7f" "AB", 4), std::string("\xff\xff\xff\xff\x01", 5)}) {
        FastcgiPeer bad(socket_path);
        bad.begin(1);
        bad.send_record(FCGI_PARAMS, 1, broken);
        bad.send_record(FCGI_PARAMS, 1, "");
        bad.send_record(FCGI_STDIN, 1, "");
        EXPECT_EQ(stdout_of(records_of(bad.read_all())), "");
    }
    {
        FastcgiPeer cut(socket_path);
        cut.begin(1);
        cut.send_record(FCGI_PARAMS, 1, params);
    }
    FastcgiPeer again(socket_path);
    again.begin(3);
    again.send_record(FCGI_PARAMS, 3, params);
    again.send_record(FCGI_PARAMS, 3, "");
    again.send_record(FCGI_STDIN, 3, body);
    again.send_record(FCGI_STDIN, 3, "");
    EXPECT_EQ(stdout_of(records_of(again.read_all())), std::string(ANSWER_HEADER) + "s18greeting15helloC10101110");
}

}  // namespace
}  // namespace tolv::tests
