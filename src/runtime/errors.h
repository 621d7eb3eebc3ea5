// Raising errors. eval_fail and parse_fail build a KIND_ERROR value, add the
// line to the journal and carry the value to the nearest handler as a
// ScriptThrow.
#pragma once

#include <cstdint>

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

// eval_fail, parse_fail or syntax_fail, for code that serves both the parser
// and the evaluator: raises a numbered error, never returns.
using RaiseFunction = void (*)(int code, const char* format, ...);

// Calls `raise`, which never returns.
template <class... Args>
[[noreturn]] inline void raise_with(RaiseFunction raise, int code, const char* format, Args... args) {
    raise(code, format, args...);
    __builtin_unreachable();
}
}  // namespace tolv
