// Decoding the request body: counted records for the top program, module
// paths, token fields, journal name and the request's global variables.
#pragma once

#include <cstddef>
#include <string>

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

// Called once, before the first variable record (A, D, I, S): loads the modules.
using BeforeVariablesHook = void (*)();

// Decodes `length` bytes of `body` in place (percent-decoding shortens texts
// where they lie). The buffer must hold a NUL at body[length]. Errors are
// raised with eval_fail/parse_fail; no read goes past body + length.
void decode_request(char* body, size_t length, RequestFields& out, BeforeVariablesHook before_variables);

}  // namespace tolv
