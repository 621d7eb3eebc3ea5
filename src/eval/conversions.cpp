// Number(), String(), Integer(), Float(), RegExp() and Array(): the
// constructor cells and the conversions they share with plain calls.
#include "eval/conversions.h"

#include <cstdint>

#include "eval/calls.h"
#include "eval/evaluate.h"
#include "eval/handlers.h"
#include "eval/library_hooks.h"
#include "eval/stack_guard.h"
#include "runtime/convert.h"
#include "runtime/text.h"

namespace tolv {

// ---- Conversions -----------------------------------------------------------------

ValueHandle number_conversion(ValueHandle v) {
    switch (kind_of(v)) {
    case KIND_INTEGER:
        return new_integer(integer_value(v));
    case KIND_FLOAT:
        return new_float(float_value(v));
    case KIND_STRING: {
        const char* text = string_text(v);
        const char* end_of_text = text + string_length(v);
        int sign = 1;
        if (*text == '-' || *text == '+') sign = *text++ == '-' ? -1 : 1;
        bool digit_start = (*text >= '0' && *text <= '9') || (*text == '.' && text[1] >= '0' && text[1] <= '9');
        if (!digit_start) raise(Error::BAD_NUMBER_ARGUMENT);
        ParsedNumber parsed;
        try {
            parsed = parse_number(text, sign);
        } catch (const ScriptThrow&) {
            // A malformed number text is the script's data, not its source.
            raise(Error::BAD_NUMBER_ARGUMENT);
        }
        if (parsed.end != end_of_text) raise(Error::BAD_NUMBER_ARGUMENT);
        if (parsed.is_integer) {
            if (parsed.integer >= INT32_MIN && parsed.integer <= INT32_MAX) return new_integer(int32_t(parsed.integer));
            return new_float(double(parsed.integer));
        }
        return new_float(parsed.real);
    }
    default:
        raise(Error::BAD_NUMBER_ARGUMENT);
    }
}

ValueHandle string_conversion(ValueHandle v) {
    TextBuffer text;
    text_of(v, text);
    return new_string(text.data(), text.size());
}

ValueHandle array_of_copies(const ValueHandle* args, uint32_t count) {
    ValueHandle array = new_array(count);
    for (uint32_t i = 0; i < count; ++i) {
        ValueHandle copy = copy_value(args[i]);
        array_elements(array)[i] = retain(copy);
    }
    return array;
}

// ---- Conversion cells ------------------------------------------------------------

namespace {

// Evaluates every operand of a constructor cell onto the argument stack.
ValueHandle* evaluate_operands(ValueHandle cell, uint32_t& n) {
    n = operand_count(operation_cell(cell));
    if (g_arguments.top + n > ARGUMENT_STACK_SIZE) call_too_deep();
    ValueHandle* first = g_arguments.items + g_arguments.top;
    for (uint32_t i = 0; i < n; ++i) g_arguments.items[g_arguments.top++] = retain(evaluate(operand(operation_cell(cell), i)));
    return first;
}

// Releases the arguments; the result keeps a value it shares with them alive.
ValueHandle finish(ValueHandle result, ValueHandle* first, uint32_t n) {
    retain(result);
    for (uint32_t i = n; i-- > 0;) release(first[i]);
    g_arguments.top = uint32_t(first - g_arguments.items);
    release_keep(result);
    return result;
}

}  // namespace

ValueHandle op_number(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    return finish(n == 0 ? new_integer(0) : number_conversion(args[0]), args, n);
}

ValueHandle op_string(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    return finish(n == 0 ? new_string("", 0) : string_conversion(args[0]), args, n);
}

ValueHandle op_integer(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    if (n > 1) raise(Error::WRONG_ARGUMENT_COUNT_2375);
    return finish(n == 0 ? new_integer(0) : to_integer(args[0]), args, n);
}

ValueHandle op_regexp(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    return finish(construct_regexp(args, n), args, n);
}

ValueHandle op_float(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    if (n > 1) raise(Error::WRONG_ARGUMENT_COUNT_2380);
    return finish(n == 0 ? new_float(0.0) : to_float(args[0]), args, n);
}

ValueHandle op_array(ValueHandle cell) {
    uint32_t n;
    ValueHandle* args = evaluate_operands(cell, n);
    return finish(array_of_copies(args, n), args, n);
}

}  // namespace tolv
