// Building error values and carrying them to their handler.
#include "runtime/errors.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "runtime/error_listener.h"
#include "runtime/journal_lines.h"
#include "runtime/module_table.h"

namespace tolv {

ErrorContext g_error_context;
#if TOLV_DEBUGGER
ErrorLineListener g_error_line_listener = nullptr;
#endif

void settle_error_position() {
    const OperationCell* c = g_error_context.operation;
    if (!c) return;
    if (g_error_context.module == MODULE_OF_OPERATION) g_error_context.module = c->module & 0x7F;
    g_error_context.line = c->position & 0xFFFF;
    g_error_context.column = (c->position >> 16) & 0x7FFF;
    g_error_context.operation = nullptr;
}

namespace {

constexpr size_t MESSAGE_LIMIT = 16384;

[[noreturn]] void raise_error(int code, const char* prefix_format, bool with_column, const char* format,
                              va_list args) {
    const bool is_parse_error = !with_column;
    settle_error_position();
    static char message[MESSAGE_LIMIT];
    int prefix;
    if (with_column) {
        prefix = std::snprintf(message, sizeof message, prefix_format, code, module_path(g_error_context.module),
                               g_error_context.line, g_error_context.column);
    } else {
        prefix = std::snprintf(message, sizeof message, prefix_format, code, module_path(g_error_context.module),
                               g_error_context.parse_line);
    }
    if (prefix < 0) prefix = 0;
    if (size_t(prefix) >= sizeof message) prefix = sizeof message - 1;
    std::vsnprintf(message + prefix, sizeof message - prefix, format, args);
    size_t length = std::strlen(message);

    char code_text[24];
    int code_length = std::snprintf(code_text, sizeof code_text, "%d", code);
    ValueHandle error = new_error(code_text, size_t(code_length), message, length);

    journal_append(message, length);
    journal_append("\n", 1);
    if (g_error_context.mode == RunMode::COMMAND_LINE) {
        std::fwrite(message, 1, length, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
#if TOLV_DEBUGGER
    else if (g_error_line_listener) {
        g_error_line_listener(message, length);
    }
#endif
    throw ScriptThrow{error, is_parse_error};
}

}  // namespace

void eval_fail(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    raise_error(code, "EVAL ERROR %d (%s:%u:%u) : ", true, format, args);
}

void parse_fail(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    // Parse errors always end the request, even inside a running script's try.
    raise_error(code, "PARSE ERROR %d (%s:%u) : ", false, format, args);
}

void eval_fail_row(const ErrorRow* row, ...) {
    va_list args;
    va_start(args, row);
    raise_error(row->code, "EVAL ERROR %d (%s:%u:%u) : ", true, row->format, args);
}

void parse_fail_row(const ErrorRow* row, ...) {
    va_list args;
    va_start(args, row);
    raise_error(row->code, "PARSE ERROR %d (%s:%u) : ", false, row->format, args);
}

}  // namespace tolv
