// Decoding the request body: counted records for the top program, module
// paths, token fields, journal name and the request's global variables.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolv {

struct RequestFields {
    std::string top_program;       // P, at most 255 bytes
    bool has_top_program = false;
    std::string token_first;       // Q, first field
    std::string token;             // Q, second field
    bool has_token = false;
    bool no_debugger_modules = false;  // L
    std::string journal_name;      // l
    bool has_journal_name = false;
};

// What the host decides while the body is decoded.
struct RequestHooks {
    // Called once, before the first variable record (A, D, I, S): loads the modules.
    void (*before_variables)() = nullptr;
    // The "l" record's journal name; true when the host takes it.
    bool (*journal_name)(std::string_view name) = nullptr;
};

// Decodes `length` bytes of `body` in place (percent-decoding shortens texts
// where they lie). The buffer must hold a NUL at body[length]. Errors are
// raised with eval_fail/parse_fail; no read goes past body + length.
void decode_request(char* body, size_t length, RequestFields& out, const RequestHooks& hooks);

}  // namespace tolv
