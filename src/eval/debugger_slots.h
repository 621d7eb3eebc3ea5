// Where the evaluator lets runner-debug's debugger in. The debugger fills the
// slots at start-up and raises the watching flag while a connection is open
// and it is not evaluating an expression of its own. In runner none of this
// exists and the evaluator's hot paths carry no test for it.
#pragma once

#if TOLV_DEBUGGER

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

struct DebuggerSlots {
    // Before a stopping point (an operation cell without the no-stop bit) is dispatched.
    void (*stopping_point)(const OperationCell* cell) = nullptr;
    // A script function's frame is bound and its body about to run.
    void (*call_enter)(ValueHandle function) = nullptr;
    // The body has finished with `result`; the frame is still bound.
    void (*call_leave)(ValueHandle result) = nullptr;
    // console.log ('L') or console.error ('E') with its arguments.
    void (*console_line)(char letter, const ValueHandle* args, uint32_t count) = nullptr;
};
extern DebuggerSlots g_debugger_slots;
extern bool g_debugger_watching;

inline void debugger_at_operation(const OperationCell* c) {
    if (!(c->module & MODULE_NO_STOP)) g_debugger_slots.stopping_point(c);
}

}  // namespace tolv

#endif
