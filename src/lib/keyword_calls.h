// Keyword operations of the library that behave as calls (parseInt,
// parseFloat, the URI functions): their operands are evaluated here and handed
// to a handler of the method-list form.
#pragma once

#include "eval/methods.h"
#include "runtime/value.h"

namespace tolv {

// Evaluates the cell's operands in order (each held until the handler is
// done, so a later operand cannot free an earlier one), runs the handler
// without a receiver and hands back its result, which may be an argument.
ValueHandle call_with_operands(ValueHandle cell, MethodHandler handler);

}  // namespace tolv
