// State shared by every parsing routine of one text: where the current line
// starts, which module the cells belong to, the function and block scopes
// that declarations go into, and the flag with which a function definition
// or a statement ends the expression it stands in.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/errors.h"
#include "runtime/value.h"

namespace tolv {

struct FunctionScope {
    bool active = false;            // inside a function body
    size_t local_start = 0;         // first entry of this body in local_names
    std::vector<uint32_t> params;   // parameter names (not locals)
};

struct ParseState {
    const char* line_start = nullptr;  // first byte after the most recent newline
    uint32_t module = 0;               // module number written into cells
    bool no_stop_all = false;          // every cell built is not a stopping point
    bool end_flag = false;             // set by routines that end the expression
    int depth = 0;                     // nesting of statement and expression parses

    FunctionScope function;
    std::vector<uint32_t> local_names;

    std::vector<uint32_t> block_names;  // let/const names of the blocks being parsed
    size_t block_start = 0;
    int block_depth = 0;

    // Top program: faults are reported as 1720/1730 and the statement may
    // hold at most 31 slots.
    bool main_script = false;
    const char* main_text = nullptr;
    int expression_depth = 0;
};

extern ParseState g_parse;

// Starts counting lines and columns at `text` (line 1 unless told).
void begin_text(const char* text, uint32_t line);

// Line in bits 0-15, column (1 for the first byte of a line) in bits 16-30.
uint32_t position_code(const char* p);
inline uint32_t position_line(uint32_t position) { return position & 0xFFFF; }

// Raises a parse error; in the top program it becomes 1720 or 1730.
[[noreturn]] void syntax_fail(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));
[[noreturn]] void syntax_fail_row(const ErrorRow* row, ...);

// raise_syntax(Error::BAD_FORMAT, text): a parse error by name, as syntax_fail.
template <class... Args>
[[noreturn]] inline void raise_syntax(ErrorForm<std::type_identity_t<Args>...> form, Args... args) {
    syntax_fail_row(&error_row(form.error), args...);
}

// Guards against texts nested so deep that the parse would exhaust the stack.
struct NestingGuard {
    explicit NestingGuard(const char* text);
    ~NestingGuard() { --g_parse.depth; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
};

// Writes a NUL at `at` for the life of the guard (the parsers read a
// bracketed part as a text of its own), then puts the byte back.
struct TextCut {
    explicit TextCut(char* at) : at_(at), saved_(*at) { *at = '\0'; }
    ~TextCut() { *at_ = saved_; }
    TextCut(const TextCut&) = delete;
    TextCut& operator=(const TextCut&) = delete;
    char* at_;
    char saved_;
};

}  // namespace tolv
