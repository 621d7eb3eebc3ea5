// Raising errors. raise (eval_fail) and raise_parse (parse_fail) build a
// KIND_ERROR value, add the line to the journal and carry the value to the
// nearest handler as a ScriptThrow.
#pragma once

#include <cstdint>
#include <type_traits>

#include "runtime/error_table.h"
#include "runtime/value.h"

namespace tolv {

// Carries an error value, or any value a script throws, to the nearest
// handler (a script `try`, else the request's own handler).
// A parse error always goes to the request's handler: script `try`
// statements let it pass.
struct ScriptThrow {
    ValueHandle value;
    bool to_request_handler = false;
};

enum class RunMode : uint8_t { CGI, TEST, COMMAND_LINE };

// Where the runner is, for messages and for the choice of handler.
struct ErrorContext {
    RunMode mode = RunMode::CGI;
    bool run_started = false;
    uint32_t module = 0;      // current module number
    uint32_t line = 0;        // evaluator's current line and column
    uint32_t column = 0;
    uint32_t parse_line = 0;  // parser's current line
    // The evaluator notes only its current operation (and sets module to
    // MODULE_OF_OPERATION); module, line and column are decoded from it when
    // an error is raised or settle_error_position() runs. Code that sets
    // module itself overrides the operation's module, as before.
    const OperationCell* operation = nullptr;
};
extern ErrorContext g_error_context;
constexpr uint32_t MODULE_OF_OPERATION = 0xFFFFFFFFu;
// Errors outside every module (request records, authentication) name none.
constexpr uint32_t OUTSIDE_MODULES = 0xFFFFFFFEu;

// Decodes a noted operation into module, line and column. Run before code
// that reads them directly (the parser) and before noted cells are freed.
void settle_error_position();

// "EVAL ERROR %d (%s:%d:%d) : " + message. Never returns.
[[noreturn]] void eval_fail(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));
// "PARSE ERROR %d (%s:%d) : " + message. Never returns.
[[noreturn]] void parse_fail(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same, for a row of the error table; the arguments were checked against
// the row's format when the ErrorForm was built.
[[noreturn]] void eval_fail_row(const ErrorRow* row, ...);
[[noreturn]] void parse_fail_row(const ErrorRow* row, ...);

// raise(Error::DIVISION_BY_ZERO), raise(Error::MODULE_OPEN, path): an eval
// error by name.
template <class... Args>
[[noreturn]] inline void raise(ErrorForm<std::type_identity_t<Args>...> form, Args... args) {
    eval_fail_row(&error_row(form.error), args...);
}

// A parse error by name.
template <class... Args>
[[noreturn]] inline void raise_parse(ErrorForm<std::type_identity_t<Args>...> form, Args... args) {
    parse_fail_row(&error_row(form.error), args...);
}

// eval_fail, parse_fail or syntax_fail: raise a numbered error, never return.
// Code that serves both the parser and the evaluator is handed one.
using RaiseFunction = void (*)(int code, const char* format, ...);

// Calls `raise`, which never returns.
template <class... Args>
[[noreturn]] inline void raise_with(RaiseFunction raise, int code, const char* format, Args... args) {
    raise(code, format, args...);
    __builtin_unreachable();
}

// The same by name.
template <class... Args>
[[noreturn]] inline void raise_with(RaiseFunction raise, ErrorForm<std::type_identity_t<Args>...> form,
                                    Args... args) {
    const ErrorRow& row = error_row(form.error);
    raise(row.code, row.format, args...);
    __builtin_unreachable();
}
}  // namespace tolv
