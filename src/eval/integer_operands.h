// Operands read as 32-bit integers. Sums, differences, products, quotients,
// remainders, bit operations and shifts of Integers nest without a cell for
// each intermediate result: only a value that is stored or escapes becomes a
// cell. The language's rules are unchanged (wrapping 32-bit results, the
// same errors in the same order).
#pragma once

#include <cstdint>

#include "eval/evaluate.h"
#include "eval/held_values.h"

namespace tolv {

// An operation's result: true and the number in `out` when it is an
// Integer; otherwise false and `value`, the result as evaluate() gives it.
bool operation_integer(ValueHandle cell, int32_t& out, ValueHandle& value);

// `a[i]` read for its number: an Integer element of an Array is read where
// it stands; anything else is as evaluate() gives it.
bool index_integer(ValueHandle cell, int32_t& out, ValueHandle& value);

// The operations operation_integer computes without a cell: + - * / % and
// the bit operations and shifts.
inline bool integer_opcode(uint8_t opcode) {
    return (opcode >= OP_ADD_CHAIN && opcode <= OP_MOD_CHAIN) ||
           (opcode >= OP_BITAND_CHAIN && opcode <= OP_USHR && opcode != OP_BITNOT);
}

// Frees an Integer that nothing owns (an operation's temporary result).
inline void dispose_integer(ValueHandle integer) {
    if (count_in(cell_as<IntegerCell>(integer)->header) == 0) free_value(integer);
}

// `(a + b)`: parentheses around one operation add nothing to its number. The
// debugger, when watching, stops at them as at any operation.
inline bool is_parenthesized_operation(const OperationCell* c) {
#if TOLV_DEBUGGER
    if (g_debugger_watching) return false;
#endif
    return c->opcode == OP_PAREN_LIST && c->operand_count == 1 && (c->operand[0] >> 24) == KIND_OPERATION;
}

[[gnu::always_inline]] inline bool evaluate_integer(ValueHandle operand, int32_t& out, ValueHandle& value) {
    unsigned kind = operand >> 24;
    if (kind == KIND_INTEGER) {
        out = integer_value(operand);
        return true;
    }
    // Any other operation (a call, say) is evaluated as usual: no frame of
    // ours stays between a recursive call and its caller.
    if (kind == KIND_OPERATION) {
        const OperationCell* c = cell_as<OperationCell>(operand);
        while (c->opcode == OP_PAREN_LIST && is_parenthesized_operation(c)) c = cell_as<OperationCell>(operand = c->operand[0]);
        if (integer_opcode(c->opcode)) return operation_integer(operand, out, value);
        // An index of a name or of another index: no call of a script function waits on this frame.
        if (c->opcode == OP_INDEX && c->operand_count == 2 &&
            (is_inert(c->operand[0]) || has_opcode(c->operand[0], OP_INDEX)))
            return index_integer(operand, out, value);
    }
    if (kind == KIND_NAME) {
        // A name's value is its binding's (or a constant): never a temporary.
        value = operand <= VALUE_NAN ? operand : read_variable(operand);
        if (!is_integer(value)) return false;
        out = integer_value(value);
        return true;
    }
    value = evaluate(operand);
    if (!is_integer(value)) return false;
    out = integer_value(value);
    dispose_integer(value);
    return true;
}

// Whether evaluating `operand` can run no script code: a name, a literal,
// or arithmetic on those. Nothing such an operand does can change or free a
// value the caller holds without a count.
inline bool runs_no_code(ValueHandle operand, int depth = 2) {
    if (is_inert(operand)) return true;
    if (!is_kind(operand, KIND_OPERATION) || depth == 0) return false;
    const OperationCell* c = cell_as<OperationCell>(operand);
    while (is_parenthesized_operation(c)) c = cell_as<OperationCell>(c->operand[0]);
    if (c->operand_count != 2 || !integer_opcode(c->opcode)) return false;
    const Word32* operands = operands_of(c);
    return runs_no_code(operands[0], depth - 1) && runs_no_code(operands[1], depth - 1);
}

}  // namespace tolv
