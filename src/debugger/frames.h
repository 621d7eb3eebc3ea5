// The debugger's record of the script function calls in progress, bottom
// first, for the call stack it shows and the frames it evaluates in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "debugger/expression.h"
#include "runtime/value.h"

namespace tolv {

struct DebuggerFrame {
    uint32_t module;
    uint32_t line;    // where the call is now: the stop, or the call it is making
    uint32_t column;
    std::string function;
    uint32_t frame_base;  // first binding of the call
    uint32_t depth;       // call depth of the call (1 = called from top level)
    bool stepping_set_aside = false;  // stepped over: stepping resumes on return
    std::string trace_name;           // traced call: the trace point's name
};
extern std::vector<DebuggerFrame> g_frames;

// The name a function is known by: the global that holds it, else "anonymous".
std::string function_name_of(ValueHandle function);

// "%s:%s:%d:%d" per frame, bottom first, joined by ";". With no call in
// progress, the top level as one frame with an empty function name.
std::string call_stack_text(uint32_t module, uint32_t line, uint32_t column);

// The innermost frame whose module path and function are these; the top
// level for an empty function name. False when there is none.
bool find_frame_scope(std::string_view path, std::string_view function, EvaluationScope& scope);

}  // namespace tolv
