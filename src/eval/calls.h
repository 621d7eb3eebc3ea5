// Calling script functions, for the evaluator and for library code that
// calls back into scripts (sort comparators, forEach callbacks).
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// Calls a KIND_FUNCTION value with evaluated arguments. `this_value` is
// VALUE_SENTINEL for a plain call, else it is bound as `this`. The result is
// new or borrowed, like any evaluation result.
ValueHandle call_function(ValueHandle function, ValueHandle this_value, const ValueHandle* args, uint32_t count);

// Process-wide stack for evaluated method arguments: handlers get a pointer
// into it that stays valid while they run, whatever they call.
struct ArgumentStack {
    ValueHandle* items;
    uint32_t top;
};
extern ArgumentStack g_arguments;
constexpr uint32_t ARGUMENT_STACK_SIZE = 1u << 16;

}  // namespace tolv
