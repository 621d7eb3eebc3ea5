// The configuration file: KEY=VALUE lines read at the start of every request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ipv4.h"
#include "protocol/reply_token.h"

namespace tolv {

constexpr size_t VAR_LIST_LIMIT = 50;

struct Config {
    std::vector<std::string> var_initialisers;  // 'name':value texts
    bool client_list_active = false;
    std::vector<Ipv4> clients;
    std::string token_key;          // at most 64 bytes
    int32_t time_interval = 0;
    std::string logfile;            // at most 255 bytes
    std::string module_dir;         // at most 511 bytes
    std::string debug_port = "8777";
    // Proxies whose X-Forwarded-For is believed (TRUSTED_PROXY).
    std::vector<Ipv4Range> trusted_proxies;
    // Top functions a request may call without a token (TOKEN_OPEN): sign-in.
    std::vector<std::string> open_functions;
    // CLIENT_ERRORS=brief: the runner's own error texts stay in the journal.
    bool brief_client_errors = false;
};
extern Config g_config;

// Applies one line. Returns the fatal message when the line stops the
// process (bad TIME_INTERVAL, bad CLIENT, unclosed quote, digest mismatch,
// too many modules); INCLUDE paths go to the module table.
std::optional<std::string> apply_config_line(std::string line);
// Reads the whole file; on a fault calls the fatal exit.
void read_config_file(const std::string& path);
void config_reset();

// TOKEN_KEY and TIME_INTERVAL as the reply token needs them.
TokenSettings token_settings();


// SHA-256 of the listing of every .js/.jo file under `dir` (path, adjusted
// write time, size), as 64 lower-case hexadecimal characters.
std::string module_dir_digest(const std::string& dir);

}  // namespace tolv
