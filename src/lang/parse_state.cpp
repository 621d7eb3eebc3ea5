#include "lang/parse_state.h"

#include <cstdarg>
#include <cstdio>

#include "lang/lexer.h"
#include "runtime/errors.h"

namespace tolv {

ParseState g_parse;

namespace {
// Deeper nesting than any script needs; keeps the slot arrays of nested
// expression parses well inside the machine stack.
constexpr int NESTING_LIMIT = 96;
}  // namespace

void begin_text(const char* text, uint32_t line) {
    g_parse.line_start = text;
    g_error_context.parse_line = line;
}

uint32_t position_code(const char* p) {
    uint32_t line = g_error_context.parse_line;
    if (line > 0xFFFF) line = 0xFFFF;
    uint32_t column = g_parse.line_start && p >= g_parse.line_start ? uint32_t(p - g_parse.line_start) + 1 : 1;
    if (column > 0x7FFF) column = 0x7FFF;
    return line | column << 16;
}

namespace {

[[noreturn]] void syntax_fail_with(int code, const char* format, va_list args) {
    char message[1024];
    std::vsnprintf(message, sizeof message, format, args);
    if (g_parse.main_script) {
        const char* text = g_parse.main_text ? g_parse.main_text : "";
        if (g_parse.expression_depth <= 1) {
            raise_parse(Error::TOP_BAD_OPERATOR, excerpt(text, 120));
        }
        raise_parse(Error::TOP_BAD_FORMAT, excerpt(text, 120));
    }
    parse_fail(code, "%s", message);
}

}  // namespace

void syntax_fail(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    syntax_fail_with(code, format, args);
}

void syntax_fail_row(const ErrorRow* row, ...) {
    va_list args;
    va_start(args, row);
    syntax_fail_with(row->code, row->format, args);
}

NestingGuard::NestingGuard(const char* text) {
    if (++g_parse.depth > NESTING_LIMIT) {
        --g_parse.depth;
        raise_syntax(Error::BAD_OPERATOR, excerpt(text, 120));
    }
}

}  // namespace tolv
