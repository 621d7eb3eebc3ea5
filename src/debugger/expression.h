// The debugger's own evaluations: E commands and breakpoint conditions. They
// run under the restricted operation table, with the debugger's hooks quiet,
// and leave the script's state as they found it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace tolv {

// True while the debugger evaluates or parses text of its own.
extern bool g_debugger_evaluating;

// The variables in sight: bindings frame_base..top (frame_base 0 = top level).
struct EvaluationScope {
    uint32_t frame_base;
    uint32_t top;
    uint32_t module;
    uint32_t line;
};

// Parses `text` as statements of `module`; false (with `out` emptied) when it
// does not parse.
bool compile_debugger_statements(uint32_t module, uint32_t line, std::string_view text, std::vector<ValueHandle>& out);
void release_debugger_statements(std::vector<ValueHandle>& statements);

// The reply to an E command: "=" + the last value's plain text, or a
// "#... ERROR" message.
std::string evaluate_for_reply(const EvaluationScope& scope, std::string_view expression);

// Evaluates a compiled condition in the current scope: its truth, or false
// with `error` set to the "#EVAL ERROR..." message.
bool evaluate_condition(const std::vector<ValueHandle>& statements, std::string& error);

// The display form with quotes, for trace and console messages; values that
// have no text form get a short description instead of an error.
void debugger_display(ValueHandle v, std::string& out);

}  // namespace tolv
