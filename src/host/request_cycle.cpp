#include "host/request_cycle.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "db/database_install.h"
#include "debugger/debugger_hooks.h"
#include "eval/program.h"
#include "host/client_address.h"
#include "host/config.h"
#include "host/fastcgi_server.h"
#include "host/journal.h"
#include "host/journal_name.h"
#include "host/modules.h"
#include "host/request_body.h"
#include "lang/parser.h"
#include "lib/library.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/local_time.h"
#include "platform/program_dir.h"
#include "platform/signals.h"
#include "protocol/answer.h"
#include "protocol/fatal_exit.h"
#include "protocol/front_statements.h"
#include "protocol/reply_token.h"
#include "protocol/request_records.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv {

namespace {

constexpr size_t TOP_PROGRAM_LIMIT = 255;
const char TOP_PROGRAM_TOO_LONG[] = "TOP関数が長すぎます(255Byte以下)";
const char NO_MODULE[] = "ロードするJavaScriptのモジュールが指定されていません";
const char MAIN_SCRIPT_NAME[] = "MainScript";

struct Invocation {
    RunMode mode = RunMode::CGI;
    bool issue_token = false;               // --issue-token
    std::string token_address;              // --issue-token
    std::string top_program;                // -e
    std::vector<std::string> module_paths;  // -e
    const char* test_body = nullptr;        // test mode
    const char* test_variables = nullptr;   // test mode
    bool fastcgi = false;                   // --fastcgi
    FastcgiOptions fastcgi_options;
};

// What the request did to earn a fresh token: it passed authentication (or
// signs in through a TOKEN_OPEN function, which must then complete) and it
// carried its top program and modules. Every other path answers "NG".
struct TokenEarned {
    bool admitted = false;
    bool opens_session = false;
    bool completed = false;
    bool earned() const { return admitted && (!opens_session || completed); }
};
TokenEarned g_token_earned;

void print_usage(const char* program, std::FILE* to) {
    std::fprintf(to, "usage:%s -e function_name js_file_path1 js_file_path2 ... \n", program);
}

void print_help(const char* program) {
    print_usage(program, stdout);
    std::printf(
        "\n"
        "Runs a script request. Started by a web server as a CGI program (no arguments),\n"
        "it reads TOLV.config from its own directory and the request body from standard input.\n"
        "\n"
        "  %s                     CGI request: CONTENT_LENGTH bytes of request records on stdin\n"
        "  %s -e TEXT FILE...     run TEXT (a call such as 'main()') against the module files\n"
        "  %s BODY NAME=VALUE;... test mode: BODY is the request records, the pairs string variables\n"
        "  %s --issue-token ADDR  print a fresh token for client ADDR: its first field, then the token\n"
        "  %s --fastcgi [ADDRESS] [--children N] [--time-limit SECONDS] [--memory-limit MB]\n"
        "                         serve FastCGI requests on HOST:PORT, a Unix socket path or the\n"
        "                         socket handed over on standard input; each request in a fresh process\n"
        "  %s --help              this text\n"
        "\n"
        "Run by a web server (GATEWAY_INTERFACE set), it ignores its arguments.\n",
        program, program, program, program, program, program);
}

// Returns false when the process should stop after printing usage or help.
bool read_command_line(int argc, char** argv, Invocation& call, int& exit_code) {
    exit_code = 0;
    // A web server may hand a query's words over as arguments: a request
    // never chooses the mode.
    if (argc <= 1 || environment_get("GATEWAY_INTERFACE") != nullptr) return true;
    std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        print_help(argv[0]);
        return false;
    }
    if (first == "--issue-token") {
        if (argc != 3) {
            std::fprintf(stderr, "usage: %s --issue-token CLIENT_ADDRESS\n", argv[0]);
            exit_code = 2;
            return false;
        }
        call.mode = RunMode::COMMAND_LINE;
        call.issue_token = true;
        call.token_address = argv[2];
        return true;
    }
    if (first == "--fastcgi") {
        std::string error;
        if (!parse_fastcgi_arguments(argc - 2, argv + 2, call.fastcgi_options, error)) {
            std::fprintf(stderr, "%s --fastcgi: %s\n", argv[0], error.c_str());
            exit_code = 2;
            return false;
        }
        call.fastcgi = true;
        return true;
    }
    if (first == "-e") {
        if (argc < 3) {
            print_usage(argv[0], stdout);
            exit_code = 2;
            return false;
        }
        call.mode = RunMode::COMMAND_LINE;
        call.top_program = argv[2];
        for (int i = 3; i < argc; ++i) call.module_paths.push_back(argv[i]);
        return true;
    }
    if (argc == 3 && argv[1][0] != '-' && argv[2][0] != '-') {
        call.mode = RunMode::TEST;
        call.test_body = argv[1];
        call.test_variables = argv[2];
        return true;
    }
    print_usage(argv[0], stdout);
    exit_code = 2;
    return false;
}

bool file_exists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

void finish_journal() {
    if (!g_config.logfile.empty()) journal_write(g_config.logfile);
}

void write_reply_token_record(const Ipv4& client) {
    const TokenSettings settings = token_settings();
    if (reply_token_configured(settings)) write_reply_token(settings, !g_token_earned.earned(), client, now_seconds());
}

// Connections close before the journal is written, so that what the driver
// reports while closing them is in it.
void end_on_fatal() {
    hold_off_termination();
    // A fatal condition never earns a token ("NG"); before the configuration is read none is configured.
    write_reply_token_record(Ipv4{0, 0, 0, 0});
    end_database_run();
    finish_journal();
    debugger_end();
}

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// Test mode: "name=value;name=value" defines string variables.
void define_test_variables(const char* list) {
    std::string text = list;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string pair = text.substr(start, end - start);
        size_t equals = pair.find('=');
        if (equals != std::string::npos) {
            std::string name = trim(pair.substr(0, equals));
            std::string value = trim(pair.substr(equals + 1));
            if (!name.empty() && name.size() <= 255) {
                define_global(intern_name(name.data(), name.size()), new_string(value.data(), value.size()));
            }
        }
        start = end + 1;
    }
}

// Parses the top program as "MainScript" and runs it.
void run_main_script(const std::string& text) {
    g_modules.push_back({MAIN_SCRIPT_NAME, MODULE_UNTYPED});
    uint32_t module = uint32_t(g_modules.size() - 1);
    g_error_context.module = module;
    g_error_context.parse_line = 1;
    ValueHandle call = VALUE_UNDEFINED;
    try {
        call = parse_main_script(module, text.data(), text.size());
    } catch (const ScriptThrow& thrown) {
        if (!thrown.to_request_handler) throw;
        std::string excerpt = text.substr(0, 100);
        if (g_error_context.mode == RunMode::COMMAND_LINE) {
            // The developer sees the parser's line already; the run ends here quietly.
            std::printf("評価する式が不正 '%s'\n", excerpt.c_str());
            return;
        }
        raise_parse(Error::BAD_EVALUATED_EXPRESSION, excerpt.c_str());
    }
    g_error_context.run_started = true;
    run_top_statement(call);
}

// Run steps shared by every mode once the records are decoded.
void run_scripts(const std::string& top_program) {
    load_all_modules();
    set_run_mode();
    for (const std::string& initialiser : g_config.var_initialisers) run_var_initialiser(initialiser);
    define_constant_globals();
    run_module_initialisers();
    run_main_script(top_program);
}

// The value's message for the journal and the console.
void describe_error(ValueHandle value, std::string& code, std::string& message, bool& is_error, bool& is_string) {
    is_error = is_kind(value, KIND_ERROR);
    is_string = tolv::is_string(value);
    if (is_error) {
        const uint8_t* record = value_ptr(value);
        code.assign(error_code_text(record), error_code_length(record));
        message.assign(error_message(record), error_message_length(record));
    } else if (is_string) {
        message.assign(string_text(value), string_length(value));
    }
}

// CGI and test mode: an error that reached the request's handler.
void report_request_error(const ScriptThrow& thrown) {
    std::string code, message;
    bool is_error, is_string;
    describe_error(thrown.value, code, message, is_error, is_string);
    if (g_config.brief_client_errors) {
        write_brief_error_record(thrown.value);
    } else {
        write_escaped_value_record(thrown.value);
    }
    std::string line;
    if (!g_error_context.run_started) {
        line = "\n" + message + "\n";
    } else if (is_error) {
        line = "\nERROR: CODE=" + code + ", MESSAGE='" + message + "'\n";
    } else if (is_string) {
        line = "\nERROR: MESSAGE='" + message + "'\n";
    } else {
        line = "\nERROR: CODE=, MESSAGE=\n";
    }
    journal_append(line.data(), line.size());
}

// Command-line run: the error becomes a console line.
void report_command_line_error(const ScriptThrow& thrown) {
    std::string code, message;
    bool is_error, is_string;
    describe_error(thrown.value, code, message, is_error, is_string);
    std::string console, journal;
    if (is_error) {
        console = "ERROR  " + code + "：" + message + "\n";
        journal = "\n" + message + "\n";
    } else {
        console = "ERROR： " + message + "\n";
        journal = "\nERROR： " + message + "\n";
    }
    std::fwrite(console.data(), 1, console.size(), stdout);
    std::fflush(stdout);
    journal_append(journal.data(), journal.size());
}

#if TOLV_DEBUGGER
void journal_line(const std::string& text) {
    std::string line = "\n" + text + "\n";
    journal_append(line.data(), line.size());
}

// runner-debug runs whatever code the debugger it reaches sends, so it
// connects back only to a client that a CLIENT line names.
bool debugger_may_attach(const Ipv4& client) {
    if (!g_config.client_list_active) {
        journal_line("runner-debug: デバッガに接続しません(TOLV.configにCLIENTの定義がありません)");
        return false;
    }
    for (const Ipv4& listed : g_config.clients)
        if (listed == client && client != Ipv4{0, 0, 0, 0}) return true;
    char text[128];
    std::snprintf(text, sizeof text, "runner-debug: デバッガに接続しません(%d.%d.%d.%dはCLIENTにありません)",
                  client[0], client[1], client[2], client[3]);
    journal_line(text);
    return false;
}

// The request's L record, once decoded, decides where module texts come from.
const RequestFields* g_decoding = nullptr;
void load_modules_of_request() {
    if (g_decoding) set_modules_from_debugger(!g_decoding->no_debugger_modules);
    load_all_modules();
}
#endif

void run_request(const Invocation& call, const Ipv4& client) {
    RequestFields fields;
    RequestBody body;
    if (call.mode == RunMode::CGI) {
        size_t length = 0;
        if (auto fault = parse_content_length(environment_get("CONTENT_LENGTH"), length)) fatal_exit(fault->c_str());
        if (auto fault = read_request_body(length, body)) fatal_exit(fault->c_str());
        answer_header();
    } else {
        size_t length = std::strlen(call.test_body);
        body.bytes.assign(call.test_body, call.test_body + length + 1);
        body.length = length;
    }

    g_error_context.module = OUTSIDE_MODULES;
#if TOLV_DEBUGGER
    g_decoding = &fields;
    decode_request(body.bytes.data(), body.length, fields, RequestHooks{load_modules_of_request, apply_journal_name});
    g_decoding = nullptr;
    set_modules_from_debugger(!fields.no_debugger_modules);
#else
    decode_request(body.bytes.data(), body.length, fields, RequestHooks{load_all_modules, apply_journal_name});
#endif
    if (call.mode == RunMode::CGI) {
        Admission admission = authenticate_request(token_settings(), fields, client, now_seconds());
        g_token_earned.opens_session = admission == Admission::OPEN_CALL;
    }
    if (call.mode == RunMode::TEST) {
        load_all_modules();
        define_test_variables(call.test_variables);
    }
    if (!fields.has_top_program || fields.top_program.empty()) raise(Error::NO_TOP_PROGRAM);
    if (g_modules.empty()) raise(Error::NO_MODULE);
    g_token_earned.admitted = true;
    run_scripts(fields.top_program);
    write_completion_record();
    g_token_earned.completed = true;
}

void run_command_line(const Invocation& call) {
    for (const std::string& path : call.module_paths) {
        if (!add_module_path(path, MODULE_UNTYPED)) {
            fatal_exit("モジュール(.js、.jo)が多すぎます。125ファイル以下にしてください。");
        }
    }
    if (g_modules.empty()) std::printf("%s\n", NO_MODULE);
    try {
        run_scripts(call.top_program);
    } catch (const ScriptThrow& thrown) {
        report_command_line_error(thrown);
    }
}

// Prints the two Q fields of a fresh token for the client, as the next
// answer would carry them: for sites whose sign-in runs elsewhere.
int issue_token(const std::string& address_text) {
    std::optional<Ipv4> address = parse_client_address(address_text);
    if (!address) {
        std::fprintf(stderr, "--issue-token: '%s' is not an IPv4 address\n", address_text.c_str());
        return 2;
    }
    const TokenSettings settings = token_settings();
    if (!reply_token_configured(settings)) {
        std::fprintf(stderr, "--issue-token: TOLV.config sets neither TOKEN_KEY nor TIME_INTERVAL\n");
        return 2;
    }
    const int64_t now = now_seconds();
    const std::string first = token_first_field(now, *address);
    std::printf("%s\n%s\n", first.c_str(), token_of(settings, first, uint32_t(now % 65536), *address).c_str());
    return 0;
}

}  // namespace

void prepare_runner_process() {
    ignore_broken_pipes();
    install_front_statements();
    install_library();
    install_database();
    set_fatal_end_hook(end_on_fatal);
}

std::string runner_configuration_path() {
    const std::string dir = program_dir();
    std::string preferred = dir + "mongo" + "TOLV.config";
    return file_exists(preferred) ? preferred : dir + "TOLV.config";
}

void read_runner_configuration() {
    const std::string dir = program_dir();
    std::string preferred = dir + "mongo" + "TOLV.config";
    std::string plain = dir + "TOLV.config";
    std::string config_path = runner_configuration_path();
    if (!file_exists(config_path)) {
        std::string message = "tolv設定ファイル(" + preferred + ", " + plain + ")が開けません";
        fatal_exit(message.c_str());
    }
    seed_name_table();
    read_config_file(config_path);
}

namespace {

int run_configured_request(const Invocation& call) {
    const Ipv4 client = client_address_from_environment(g_config.trusted_proxies);

#if TOLV_DEBUGGER
    if (debugger_may_attach(client) && !debugger_start(client, g_config.debug_port)) g_config.debug_port.clear();
#endif
    if (client != Ipv4{0, 0, 0, 0} && g_config.var_initialisers.size() < VAR_LIST_LIMIT) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "'client_ip':'%d.%d.%d.%d'", client[0], client[1], client[2], client[3]);
        g_config.var_initialisers.push_back(entry);
    }

    if (call.mode == RunMode::COMMAND_LINE) {
        run_command_line(call);
    } else {
        try {
            run_request(call, client);
        } catch (const ScriptThrow& thrown) {
            report_request_error(thrown);
        }
        write_reply_token_record(client);
    }

    hold_off_termination();
    answer_close();
    end_database_run();
    finish_journal();
    debugger_end();
    return 0;
}

}  // namespace

int serve_cgi_request(bool configured) {
    g_error_context.mode = RunMode::CGI;
    journal_set_start_time(local_calendar_text(now_seconds()));
    if (!configured) read_runner_configuration();
    return run_configured_request(Invocation{});
}

int run_runner(int argc, char** argv) {
    Invocation call;
    int exit_code = 0;
    if (!read_command_line(argc, argv, call, exit_code)) return exit_code;
    if (call.fastcgi) return run_fastcgi_server(argv, call.fastcgi_options);
    g_error_context.mode = call.mode;
    if (call.mode == RunMode::COMMAND_LINE) {
        answer_enable(false);
        if (call.top_program.size() > TOP_PROGRAM_LIMIT) {
            std::printf("%s\n", TOP_PROGRAM_TOO_LONG);
            return 0;
        }
    }

    prepare_runner_process();
    if (call.mode == RunMode::COMMAND_LINE) set_fatal_for_command_line();
    journal_set_start_time(local_calendar_text(now_seconds()));
    read_runner_configuration();
    if (call.issue_token) return issue_token(call.token_address);
    return run_configured_request(call);
}

}  // namespace tolv
