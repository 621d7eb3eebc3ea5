#include "host/config.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/scratch_dir.h"
#include "protocol/answer.h"
#include "runtime/errors.h"
#include "runtime/module_table.h"

namespace tolv {
namespace {

using tests::read_file;
using tests::ScratchDir;

const char* const BAD_FORMAT = "Configのフォーマット不正";
const char* const BAD_TIME_INTERVAL = "configファイルのTIME_INTERVALは整数を設定してください。";
const char* const BAD_CLIENT = "ClientのIPアドレス定義\xE3\x80\x80不正";
const char* const TOO_MANY_MODULES = "モジュール(.js、.jo)が多すぎます。125ファイル以下にしてください。";

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        config_reset();
        modules_reset();
    }
    void TearDown() override {
        config_reset();
        modules_reset();
    }

    static void apply_ok(const std::string& line) {
        std::optional<std::string> fault = apply_config_line(line);
        EXPECT_FALSE(fault.has_value()) << line << " -> " << fault.value_or("");
    }
    static bool config_is_default() {
        const Config& c = g_config;
        return c.var_initialisers.empty() && !c.client_list_active && c.clients.empty() && c.token_key.empty() &&
               c.time_interval == 0 && c.logfile.empty() && c.module_dir.empty() && c.debug_port == "8777" &&
               g_modules.empty();
    }
};

// Saves an environment variable and puts it back afterwards.
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name) : name_(name) {
        const char* value = std::getenv(name);
        had_ = value != nullptr;
        if (had_) value_ = value;
    }
    ~EnvironmentGuard() {
        if (had_) setenv(name_.c_str(), value_.c_str(), 1);
        else unsetenv(name_.c_str());
    }

private:
    std::string name_;
    bool had_ = false;
    std::string value_;
};

struct ValueCase {
    std::string line;
    std::string Config::*field;
    std::string expected;
};

TEST_F(ConfigTest, ProcessedValues) {
    const ValueCase cases[] = {
        {"  token_key = 'a;b' ; note", &Config::token_key, "a;b"},
        {"LOGFILE=C:\\logs\\app.log # journal", &Config::logfile, "C:\\logs\\app.log"},
        {"LOGFILE=\t/var/log/tolv.log\t\r\n", &Config::logfile, "/var/log/tolv.log"},
        {"Debug_Port = 9000;x", &Config::debug_port, "9000"},
        {" TOKEN_KEY \t= \"k#1\" # comment", &Config::token_key, "k#1"},
        // A quote after an odd run of backslashes does not close; after an
        // even run it does. Backslashes stay.
        {"TOKEN_KEY=\"a\\\"b\\\\\" rest", &Config::token_key, "a\\\"b\\\\"},
        {"TOKEN_KEY='it\"s'", &Config::token_key, "it\"s"},
        {"TOKEN_KEY=''", &Config::token_key, ""},
        {"TOKEN_KEY=abc\rLOGFILE=x", &Config::token_key, "abc"},
        {"TOKEN_KEY=abc\nLOGFILE=x", &Config::token_key, "abc"},
        {"TOKEN_KEY==x=", &Config::token_key, "=x="},
        {"MODULE_DIR=/srv/app/js/", &Config::module_dir, "/srv/app/js/"},
        {"TOKEN_KEY=" + std::string(70, 'k'), &Config::token_key, std::string(64, 'k')},
        {"LOGFILE=" + std::string(300, 'l'), &Config::logfile, std::string(255, 'l')},
        {"MODULE_DIR=" + std::string(600, 'm'), &Config::module_dir, std::string(511, 'm')},
        {"DEBUG_PORT=" + std::string(30, '9'), &Config::debug_port, std::string(19, '9')},
    };
    for (const ValueCase& c : cases) {
        config_reset();
        apply_ok(c.line);
        EXPECT_EQ(g_config.*c.field, c.expected) << c.line;
        EXPECT_TRUE(g_config.logfile.empty() || c.field == &Config::logfile) << c.line;
    }
}

TEST_F(ConfigTest, IgnoredLines) {
    for (const char* line : {"", "   \t", "# TOKEN_KEY=x", "; TOKEN_KEY=x", "  #LOGFILE=y", "TOKEN_KEY x",
                             "UNKNOWN_KEY=1", "TOKEN KEY=x", "\rTOKEN_KEY=x"}) {
        apply_ok(line);
        EXPECT_TRUE(config_is_default()) << line;
    }
}

TEST_F(ConfigTest, UnclosedQuoteIsAFormatError) {
    for (const char* line : {"TOKEN_KEY='abc", "LOGFILE=\"abc'", "TOKEN_KEY='abc\\'", "DEBUG_PORT=\"", "OTHER='x"}) {
        EXPECT_EQ(apply_config_line(line), BAD_FORMAT) << line;
    }
}

TEST_F(ConfigTest, TimeInterval) {
    const struct {
        const char* line;
        int32_t expected;
    } good[] = {{"TIME_INTERVAL=30", 30}, {"TIME_INTERVAL = 600 # ten minutes", 600}, {"TIME_INTERVAL=-5", -5},
                {"TIME_INTERVAL='45'", 45}, {"TIME_INTERVAL=2147483647", 2147483647}};
    for (const auto& c : good) {
        config_reset();
        apply_ok(c.line);
        EXPECT_EQ(g_config.time_interval, c.expected) << c.line;
    }
    for (const char* line : {"TIME_INTERVAL=30s", "TIME_INTERVAL=abc", "TIME_INTERVAL=1 2", "TIME_INTERVAL=2147483648",
                             "TIME_INTERVAL=-"}) {
        EXPECT_EQ(apply_config_line(line), BAD_TIME_INTERVAL) << line;
    }
}

TEST_F(ConfigTest, VarTakesTheRawValue) {
    apply_ok("VAR=  'a':1");
    apply_ok("var='b':'x;y' # kept");
    EXPECT_EQ(g_config.var_initialisers, (std::vector<std::string>{"  'a':1", "'b':'x;y' # kept"}));
}

// The configuration fills at most all but one VAR slot: the last one is the
// client address entry's.
TEST_F(ConfigTest, VarListKeepsRoomForTheClientEntry) {
    for (int i = 0; i < 60; ++i) apply_ok("VAR='v" + std::to_string(i) + "':" + std::to_string(i));
    ASSERT_EQ(g_config.var_initialisers.size(), VAR_LIST_LIMIT - 1);
    EXPECT_EQ(g_config.var_initialisers.front(), "'v0':0");
    EXPECT_EQ(g_config.var_initialisers.back(), "'v48':48");
}

TEST_F(ConfigTest, IncludeAddsUntypedModulesUpToTheLimit) {
    apply_ok("INCLUDE= lib/a.js");
    ASSERT_EQ(g_modules.size(), 1u);
    EXPECT_EQ(g_modules[0].path, " lib/a.js");
    EXPECT_EQ(g_modules[0].type, MODULE_UNTYPED);
    for (uint32_t i = 1; i < MODULE_PATH_LIMIT; ++i) apply_ok("INCLUDE=m" + std::to_string(i) + ".js");
    EXPECT_EQ(g_modules.size(), MODULE_PATH_LIMIT);
    EXPECT_EQ(apply_config_line("INCLUDE=one_too_many.js"), TOO_MANY_MODULES);
}

TEST_F(ConfigTest, ClientList) {
    apply_ok("CLIENT=");
    EXPECT_TRUE(g_config.client_list_active);
    EXPECT_TRUE(g_config.clients.empty());

    apply_ok("CLIENT= 192.168.0.1, 10.0.0.255;127.0.0.1 # x");
    apply_ok("client=0.0.0.0");
    EXPECT_EQ(g_config.clients, (std::vector<Ipv4>{{192, 168, 0, 1}, {10, 0, 0, 255}, {127, 0, 0, 1}, {0, 0, 0, 0}}));

    for (const char* line : {"CLIENT=1.2.3", "CLIENT=256.1.1.1", "CLIENT=1.2.3.4.5", "CLIENT=1..2.3.4",
                             "CLIENT=.1.2.3.4", "CLIENT=10.0.0.1, 10.0.0", "CLIENT=1.2.3.4."}) {
        EXPECT_EQ(apply_config_line(line), BAD_CLIENT) << line;
    }
}

TEST_F(ConfigTest, SessionAndTrustKeys) {
    apply_ok("TRUSTED_PROXY = 10.0.0.0/8, 127.0.0.3 192.168.1.1/32 # balancer");
    ASSERT_EQ(g_config.trusted_proxies.size(), 3u);
    EXPECT_TRUE(g_config.trusted_proxies[0].contains({10, 200, 1, 1}));
    EXPECT_FALSE(g_config.trusted_proxies[0].contains({11, 0, 0, 1}));
    EXPECT_TRUE(g_config.trusted_proxies[1].contains({127, 0, 0, 3}));
    EXPECT_FALSE(g_config.trusted_proxies[1].contains({127, 0, 0, 4}));
    for (const char* line : {"TRUSTED_PROXY=10.0.0.0/33", "TRUSTED_PROXY=10.0.0.01", "TRUSTED_PROXY=10.0.0.0/",
                             "TRUSTED_PROXY=x10.0.0.1", "TRUSTED_PROXY=10.0.0.1/08", "TRUSTED_PROXY=localhost"}) {
        EXPECT_EQ(apply_config_line(line), "TRUSTED_PROXYのIPアドレス定義\u3000不正") << line;
    }

    apply_ok("TOKEN_OPEN=login, signUp ; sign-in pages");
    EXPECT_EQ(g_config.open_functions, (std::vector<std::string>{"login", "signUp"}));
    EXPECT_EQ(apply_config_line("TOKEN_OPEN=login()"), "TOKEN_OPENの関数名不正");
    EXPECT_EQ(apply_config_line("TOKEN_OPEN=app.login"), "TOKEN_OPENの関数名不正");

    EXPECT_FALSE(g_config.brief_client_errors);
    apply_ok("CLIENT_ERRORS=brief");
    EXPECT_TRUE(g_config.brief_client_errors);
    apply_ok("CLIENT_ERRORS=full");
    EXPECT_FALSE(g_config.brief_client_errors);
    // A misspelt value must not leave a production site with full texts unawares.
    EXPECT_EQ(apply_config_line("CLIENT_ERRORS=breif"), "CLIENT_ERRORSはbriefかfullを設定してください。");
}

TEST_F(ConfigTest, EnvAdditionPrependsToANonEmptyValue) {
    EnvironmentGuard path("PATH");
    EnvironmentGuard other("TOLV_CONFIG_TEST");
    setenv("PATH", "X", 1);
    apply_ok("ENV=PATH+=C:\\bin");
    EXPECT_STREQ(std::getenv("PATH"), "C:\\bin;X");

    setenv("TOLV_CONFIG_TEST", " \t ", 1);
    apply_ok("ENV = TOLV_CONFIG_TEST += /opt/a ");
    EXPECT_STREQ(std::getenv("TOLV_CONFIG_TEST"), "/opt/a");

    unsetenv("TOLV_CONFIG_TEST");
    apply_ok("ENV=TOLV_CONFIG_TEST+=/opt/b");
    EXPECT_STREQ(std::getenv("TOLV_CONFIG_TEST"), "/opt/b");
    apply_ok("ENV=TOLV_CONFIG_TEST+=/opt/c");
    EXPECT_STREQ(std::getenv("TOLV_CONFIG_TEST"), "/opt/c;/opt/b");
}

TEST_F(ConfigTest, EnvAssignment) {
    EnvironmentGuard guard("TOLV_CONFIG_TEST");
    apply_ok("ENV=TOLV_CONFIG_TEST=a=b");
    EXPECT_STREQ(std::getenv("TOLV_CONFIG_TEST"), "a=b");
    apply_ok("ENV=TOLV_CONFIG_TEST=");
    EXPECT_EQ(std::getenv("TOLV_CONFIG_TEST"), nullptr);
    apply_ok("ENV=TOLV_CONFIG_TEST");  // no "=": nothing to assign
    EXPECT_EQ(std::getenv("TOLV_CONFIG_TEST"), nullptr);
}

TEST(ParseIpv4, Cases) {
    const struct {
        const char* text;
        bool valid;
        Ipv4 address;
        size_t end;  // offset of the first character after the address
    } cases[] = {
        {"192.168.10.5", true, {192, 168, 10, 5}, 12},
        {" x1.2.3.4:8080", true, {1, 2, 3, 4}, 9},
        {"001.002.003.255", true, {1, 2, 3, 255}, 15},
        {"0.0.0.0", true, {0, 0, 0, 0}, 7},
        {"1.2.3.4.5", true, {1, 2, 3, 4}, 7},
        {"1.2.3", false, {}, 0},
        {"1.2.3.256", false, {}, 0},
        {"1.2..3.4", false, {}, 0},
        {"1.2.3.", false, {}, 0},
        {"", false, {}, 0},
        {"::1", false, {}, 0},
        {"99999999999.1.1.1", false, {}, 0},
    };
    for (const auto& c : cases) {
        const char* end = nullptr;
        std::optional<Ipv4> address = parse_ipv4(c.text, &end);
        ASSERT_EQ(address.has_value(), c.valid) << c.text;
        if (!c.valid) continue;
        EXPECT_EQ(*address, c.address) << c.text;
        EXPECT_EQ(end - c.text, static_cast<ptrdiff_t>(c.end)) << c.text;
    }
}

TEST_F(ConfigTest, ReadsAFile) {
    ScratchDir dir;
    // An over-long line keeps its first 4095 bytes; its remainder is not
    // taken for a line of its own.
    std::string long_line = "VAR='long':'" + std::string(5000, 'x') + "LOGFILE=wrong";
    std::string path = dir.write("TOLV.config",
                                 "; comment\r\n"
                                 "TOKEN_KEY = secret ; note\r\n"
                                 "\r\n" +
                                     long_line +
                                     "\n"
                                     "VAR='n':1\n"
                                     "LOGFILE=/tmp/j.log");
    read_config_file(path);
    EXPECT_EQ(g_config.token_key, "secret");
    EXPECT_EQ(g_config.logfile, "/tmp/j.log");
    ASSERT_EQ(g_config.var_initialisers.size(), 2u);
    EXPECT_EQ(g_config.var_initialisers[0], long_line.substr(4, 4095 - 4));
    EXPECT_EQ(g_config.var_initialisers[1], "'n':1");
}

// A fault ends the process through the fatal exit: status 0 and the 8555
// record on standard output.
std::string fatal_output(const std::string& config_path, const std::string& output_path) {
    EXPECT_EXIT(
        {
            answer_enable(true);
            int fd = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            read_config_file(config_path);
            std::fputs("no exit", stdout);
            std::fflush(stdout);
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
    return read_file(output_path);
}

TEST_F(ConfigTest, FileFaultsAreFatal) {
    ScratchDir dir;
    std::string bad = dir.write("bad.config", "TOKEN_KEY=a\nTIME_INTERVAL=30s\nLOGFILE=after\n");
    std::string output = fatal_output(bad, dir.file("out1"));
    EXPECT_NE(output.find("S148555"), std::string::npos) << output;
    EXPECT_NE(output.find(BAD_TIME_INTERVAL), std::string::npos) << output;

    std::string unreadable = dir.mkdir("a_directory");
    output = fatal_output(unreadable, dir.file("out2"));
    EXPECT_NE(output.find("tolv設定ファイル(" + unreadable + ")が開けません"), std::string::npos) << output;
}

}  // namespace
}  // namespace tolv
