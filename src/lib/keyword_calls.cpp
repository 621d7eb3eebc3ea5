#include "lib/keyword_calls.h"

#include "eval/evaluate.h"
#include "eval/held_values.h"

namespace tolv {

ValueHandle call_with_operands(ValueHandle cell, MethodHandler handler) {
    // The parser gives these keywords one or two arguments.
    constexpr uint32_t MOST = 2;
    const OperationCell* c = operation_cell(cell);
    uint32_t count = operand_count(c);
    if (count > MOST) count = MOST;
    ValueHandle args[MOST] = {};
    HeldWords in_view(args, MOST);
    for (uint32_t i = 0; i < count; ++i) args[i] = retain(evaluate(operand(c, i)));
    ValueHandle result = retain(handler(VALUE_UNDEFINED, args, count));
    for (uint32_t i = count; i-- > 0;) release(args[i]);
    release_keep(result);
    return result;
}

}  // namespace tolv
