#include "host/config.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/environment.h"
#include "protocol/fatal_exit.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/module_table.h"

namespace tolv {

Config g_config;

namespace {

constexpr size_t CONFIG_LINE_LIMIT = 4095;
constexpr size_t TOKEN_KEY_LIMIT = 64;
constexpr size_t LOGFILE_LIMIT = 255;
constexpr size_t MODULE_DIR_LIMIT = 511;
constexpr size_t DEBUG_PORT_LIMIT = 19;
constexpr size_t ENV_ASSIGNMENT_LIMIT = 16383;
// One VAR list slot stays free for the client address entry.
constexpr size_t CONFIG_VAR_LIMIT = VAR_LIST_LIMIT - 1;

constexpr const char* MESSAGE_BAD_FORMAT = "Configのフォーマット不正";
constexpr const char* MESSAGE_BAD_TIME_INTERVAL = "configファイルのTIME_INTERVALは整数を設定してください。";
constexpr const char* MESSAGE_BAD_CLIENT = "ClientのIPアドレス定義\u3000不正";
constexpr const char* MESSAGE_DIGEST_MISMATCH = "JSモジュールのディレクトリの内容が変わっています。";
constexpr const char* MESSAGE_BAD_TRUSTED_PROXY = "TRUSTED_PROXYのIPアドレス定義\u3000不正";
constexpr const char* MESSAGE_BAD_TOKEN_OPEN = "TOKEN_OPENの関数名不正";
constexpr const char* MESSAGE_BAD_CLIENT_ERRORS = "CLIENT_ERRORSはbriefかfullを設定してください。";
constexpr const char* MESSAGE_TOO_MANY_MODULES = "モジュール(.js、.jo)が多すぎます。125ファイル以下にしてください。";

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && is_blank(text[begin])) ++begin;
    while (end > begin && is_blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::string cut(std::string text, size_t limit) {
    if (text.size() > limit) text.resize(limit);
    return text;
}

// Quoted: up to the same quote preceded by an even number of backslashes
// (kept). Otherwise: up to the first "#" or ";", trailing blanks removed.
std::optional<std::string> process_value(const std::string& raw) {
    std::string value = trim(raw);
    if (!value.empty() && (value[0] == '"' || value[0] == '\'')) {
        char quote = value[0];
        size_t backslashes = 0;
        for (size_t i = 1; i < value.size(); ++i) {
            if (value[i] == quote && backslashes % 2 == 0) return value.substr(1, i - 1);
            backslashes = value[i] == '\\' ? backslashes + 1 : 0;
        }
        return std::nullopt;
    }
    size_t comment = value.find_first_of("#;");
    if (comment != std::string::npos) value.resize(comment);
    return trim(value);
}

std::optional<std::string> apply_client(const std::string& raw) {
    g_config.client_list_active = true;
    const char* p = raw.c_str();
    const char* end = p + raw.size();
    while (p < end) {
        if (!is_digit(*p) && *p != '.') {
            ++p;
            continue;
        }
        const char* token_end = p;
        while (token_end < end && (is_digit(*token_end) || *token_end == '.')) ++token_end;
        const char* parsed_end = nullptr;
        std::optional<Ipv4> address = is_digit(*p) ? parse_ipv4(p, &parsed_end) : std::nullopt;
        if (!address || parsed_end != token_end) return MESSAGE_BAD_CLIENT;
        g_config.clients.push_back(*address);
        p = token_end;
    }
    return std::nullopt;
}

// Items of a list value, separated by commas and blanks.
std::vector<std::string> list_items(const std::string& value) {
    std::vector<std::string> items;
    std::string item;
    for (char c : value + ",") {
        if (c == ',' || is_blank(c)) {
            if (!item.empty()) items.push_back(item);
            item.clear();
        } else {
            item += c;
        }
    }
    return items;
}

std::optional<std::string> apply_trusted_proxies(const std::string& value) {
    for (const std::string& item : list_items(value)) {
        std::optional<Ipv4Range> range = parse_ipv4_range(item);
        if (!range) return MESSAGE_BAD_TRUSTED_PROXY;
        g_config.trusted_proxies.push_back(*range);
    }
    return std::nullopt;
}

bool is_identifier(const std::string& name) {
    auto starts = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; };
    if (name.empty() || !starts(name[0])) return false;
    for (char c : name)
        if (!starts(c) && !is_digit(c)) return false;
    return true;
}

std::optional<std::string> apply_open_functions(const std::string& value) {
    for (const std::string& item : list_items(value)) {
        if (!is_identifier(item)) return MESSAGE_BAD_TOKEN_OPEN;
        g_config.open_functions.push_back(item);
    }
    return std::nullopt;
}

std::optional<std::string> apply_client_errors(const std::string& value) {
    if (value != "brief" && value != "full") return MESSAGE_BAD_CLIENT_ERRORS;
    g_config.brief_client_errors = value == "brief";
    return std::nullopt;
}

std::optional<std::string> apply_time_interval(const std::string& value) {
    errno = 0;
    char* end = nullptr;
    long long number = std::strtoll(value.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || number < INT32_MIN || number > INT32_MAX) return MESSAGE_BAD_TIME_INTERVAL;
    g_config.time_interval = static_cast<int32_t>(number);
    return std::nullopt;
}

// MEMORY_LIMIT: megabytes the request's values may take (default 256).
std::optional<std::string> apply_memory_limit(const std::string& value) {
    errno = 0;
    char* end = nullptr;
    long long megabytes = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno == ERANGE || megabytes < 1 || megabytes > (1 << 20)) {
        return "configファイルのMEMORY_LIMITは1以上の整数(MB)を設定してください。";
    }
    set_value_memory_limit(size_t(megabytes) << 20);
    return std::nullopt;
}

std::optional<std::string> apply_module_dir(const std::string& value) {
    size_t marker = value.find(">>>");
    std::string dir = cut(value.substr(0, marker), MODULE_DIR_LIMIT);
    if (marker != std::string::npos) {
        std::string digest = module_dir_digest(dir);
        if (digest.empty() || digest != value.substr(marker + 3)) return MESSAGE_DIGEST_MISMATCH;
    }
    g_config.module_dir = dir;
    return std::nullopt;
}

void apply_env(const std::string& value) {
    size_t plus = value.find("+=");
    std::string name, assigned;
    if (plus != std::string::npos) {
        name = trim(value.substr(0, plus));
        std::string addition = trim(value.substr(plus + 2));
        const char* old_raw = environment_get(name.c_str());
        std::string old_value = old_raw != nullptr ? trim(old_raw) : std::string();
        assigned = old_value.empty() ? addition : addition + ";" + old_value;
    } else {
        size_t equals = value.find('=');
        if (equals == std::string::npos) return;  // the setter refuses a bare name
        name = value.substr(0, equals);
        assigned = value.substr(equals + 1);
    }
    // The composed "NAME=VALUE" text is limited as a whole.
    if (name.size() + 1 + assigned.size() > ENV_ASSIGNMENT_LIMIT) {
        if (name.size() + 1 >= ENV_ASSIGNMENT_LIMIT) return;
        assigned.resize(ENV_ASSIGNMENT_LIMIT - name.size() - 1);
    }
    environment_set(name, assigned);
}

}  // namespace

std::optional<std::string> apply_config_line(std::string line) {
    size_t line_end = line.find_first_of("\r\n");
    if (line_end != std::string::npos) line.resize(line_end);
    line = trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') return std::nullopt;
    size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;

    std::string key = trim(line.substr(0, equals));
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    std::string raw = line.substr(equals + 1);

    if (key == "VAR") {
        // Further VAR lines find the list full and are left out.
        if (g_config.var_initialisers.size() < CONFIG_VAR_LIMIT) g_config.var_initialisers.push_back(raw);
        return std::nullopt;
    }
    if (key == "INCLUDE") {
        if (!add_module_path(raw, MODULE_UNTYPED)) return MESSAGE_TOO_MANY_MODULES;
        return std::nullopt;
    }
    if (key == "CLIENT") return apply_client(raw);

    std::optional<std::string> value = process_value(raw);
    if (!value) return MESSAGE_BAD_FORMAT;
    if (key == "TOKEN_KEY") {
        g_config.token_key = cut(*value, TOKEN_KEY_LIMIT);
    } else if (key == "TIME_INTERVAL") {
        return apply_time_interval(*value);
    } else if (key == "MEMORY_LIMIT") {
        return apply_memory_limit(*value);
    } else if (key == "LOGFILE") {
        g_config.logfile = cut(*value, LOGFILE_LIMIT);
    } else if (key == "MODULE_DIR") {
        return apply_module_dir(*value);
    } else if (key == "DEBUG_PORT") {
        g_config.debug_port = cut(*value, DEBUG_PORT_LIMIT);
    } else if (key == "ENV") {
        apply_env(*value);
    } else if (key == "TRUSTED_PROXY") {
        return apply_trusted_proxies(*value);
    } else if (key == "TOKEN_OPEN") {
        return apply_open_functions(*value);
    } else if (key == "CLIENT_ERRORS") {
        return apply_client_errors(*value);
    }
    return std::nullopt;
}

void read_config_file(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    std::string cannot_open = "tolv設定ファイル(" + path + ")が開けません";
    if (file == nullptr) fatal_exit(cannot_open.c_str());

    std::string line;
    bool more = true;
    while (more) {
        // A line longer than the limit keeps its first bytes; the rest up to
        // the line feed is dropped rather than read as a line of its own.
        line.clear();
        int c;
        while ((c = std::fgetc(file)) != EOF && c != '\n') {
            if (line.size() < CONFIG_LINE_LIMIT) line += static_cast<char>(c);
        }
        more = c != EOF;
        if (std::ferror(file)) {
            std::fclose(file);
            fatal_exit(cannot_open.c_str());
        }
        if (std::optional<std::string> fault = apply_config_line(line)) {
            std::fclose(file);
            fatal_exit(fault->c_str());
        }
    }
    std::fclose(file);
}

void config_reset() {
    g_config = Config{};
    set_value_memory_limit(VALUE_MEMORY_DEFAULT);
}

TokenSettings token_settings() {
    return TokenSettings{g_config.token_key, g_config.time_interval, g_config.open_functions};
}

}  // namespace tolv
