// The evaluator: one recursive function over handles. Operation cells are
// dispatched through a table of plain functions indexed by the opcode byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "eval/debugger_slots.h"
#include "eval/scopes.h"
#include "runtime/errors.h"
#include "runtime/opcodes.h"
#include "runtime/value.h"

namespace tolv {

using OperationHandler = ValueHandle (*)(ValueHandle cell);

// Indexed by the opcode byte itself; codes that are no operation raise 1860.
using OperationTable = std::array<OperationHandler, 256>;
extern const OperationTable g_operation_table;
// The debugger's expression mode: statements and operations with effects
// outside the expression are refused with 1860.
extern const OperationTable g_restricted_table;
extern bool g_expression_mode;

// The kinds evaluate() does not handle inline: literals, templates, and
// anything that is not evaluable.
ValueHandle evaluate_other(ValueHandle h);

// Keeps the error position current from an operation cell: two stores, the
// position is decoded only when it is needed.
inline void note_position(const OperationCell* c) {
    g_error_context.operation = c;
    g_error_context.module = MODULE_OF_OPERATION;
}

// Evaluates any handle. The result is either borrowed (a constant, a literal,
// a variable's value) or new with count 0; callers dispose of it after use.
// Inline so that operations, names and Integers reach their handler or value
// without a call in between.
inline ValueHandle evaluate(ValueHandle h) {
    unsigned kind = h >> 24;  // a sentinel gives a value above 15
    if (kind == KIND_OPERATION) {
        const OperationCell* c = cell_as<OperationCell>(h);
        if (c->operand_count != OPERATION_LONG_FORM) note_position(c);
#if TOLV_DEBUGGER
        if (g_debugger_watching) [[unlikely]]
            debugger_at_operation(c);
#endif
        return (g_expression_mode ? g_restricted_table : g_operation_table)[c->opcode](h);
    }
    if (kind == KIND_INTEGER) return h;
    if (kind == KIND_NAME) return h <= VALUE_NAN ? h : lookup_variable(h);
    return evaluate_other(h);
}

// ---- Operation cell access --------------------------------------------------

inline OperationCell* operation_cell(ValueHandle cell) { return cell_as<OperationCell>(cell); }

inline uint32_t operand_count(const OperationCell* c) {
    return c->operand_count == OPERATION_LONG_FORM ? c->position : c->operand_count;
}

// Operands of a cell: the inline pair or the vector.
inline const Word32* operands_of(const OperationCell* c) {
    if (c->operand_count <= 2) return reinterpret_cast<const Word32*>(c->operand);
    return reinterpret_cast<const Word32*>(area_ptr(c->operand[0]));
}

inline ValueHandle operand(const OperationCell* c, uint32_t i) { return operands_of(c)[i]; }

inline uint8_t opcode_of(ValueHandle h) { return operation_cell(h)->opcode; }
inline bool has_opcode(ValueHandle h, uint8_t code) {
    return is_kind(h, KIND_OPERATION) && opcode_of(h) == code;
}

// ---- Argument blocks --------------------------------------------------------
// An area payload: the count, then that many handles. An empty operand (0, the
// parser's empty-slot marker or a sentinel) is an empty list.
struct ArgumentList {
    uint32_t count;
    const Word32* items;
};
constexpr uint32_t EMPTY_OPERAND = 0x0FFFFFFFu;
inline ArgumentList argument_list(ValueHandle block) {
    if (block == 0 || block == EMPTY_OPERAND || is_sentinel(block)) return {0, nullptr};
    const Word32* words = reinterpret_cast<const Word32*>(area_ptr(block));
    return {words[0], words + 1};
}

// ---- Values -------------------------------------------------------------------

// Inline forms of the container readers for member, index and method lookups.
inline Word32* hash_words(ValueHandle h) { return reinterpret_cast<Word32*>(area_ptr(cell_as<HashCell>(h)->pairs)); }
inline Word32* assoc_words(ValueHandle h) {
    return reinterpret_cast<Word32*>(area_ptr(cell_as<AssocArrayCell>(h)->pairs));
}
// The first pair at or after `from` whose key is `key`, or `count`. Member
// access on a large hash is a scan, so eight pairs are tested per step as
// vectors (the value words are masked out).
inline uint32_t find_key(const Word32* pairs, uint32_t from, uint32_t count, uint32_t key) {
    typedef uint32_t Words4 __attribute__((vector_size(16)));
    uint32_t i = from;
    const Words4 wanted = {key, key, key, key};
    const Words4 key_lanes = {~0u, 0, ~0u, 0};
    for (; i + 8 <= count; i += 8) {
        Words4 a, b, c, d;
        const Word32* p = pairs + 2 * i;
        std::memcpy(&a, p, 16);
        std::memcpy(&b, p + 4, 16);
        std::memcpy(&c, p + 8, 16);
        std::memcpy(&d, p + 12, 16);
        Words4 hit = ((a == wanted) | (b == wanted) | (c == wanted) | (d == wanted)) & key_lanes;
        uint64_t low, high;
        std::memcpy(&low, &hit, 8);
        std::memcpy(&high, reinterpret_cast<const char*>(&hit) + 8, 8);
        if (low | high) break;
    }
    for (; i < count; ++i)
        if (pairs[2 * i] == key) return i;
    return count;
}
inline Word32* array_words(ValueHandle h) {
    return reinterpret_cast<Word32*>(area_ptr(cell_as<ArrayCell>(h)->elements));
}

// Drops the value `operand` evaluated to. A name gives a variable's value
// (held by its binding or global) or a constant, and an Integer literal gives
// itself (held by its operation): neither is ever a temporary.
[[gnu::always_inline]] inline void dispose_result(ValueHandle operand, ValueHandle v) {
    unsigned k = operand >> 24;
    if (k != KIND_NAME && k != KIND_INTEGER) dispose(v);
}

// Truth value used by if, loops, !, &&, || and ?:.
bool truth_value(ValueHandle v);

// Strict equality (===, and the case matching of switch).
bool strictly_equal(ValueHandle a, ValueHandle b);

// Retains a result taken out of a temporary container, disposes of the
// container and hands the result back unowned-by-it (count as before the
// container held it).
ValueHandle take_from_temporary(ValueHandle container, ValueHandle result);

// Text of a value cut to `limit` characters for messages.
void message_excerpt(ValueHandle v, char* out, size_t out_size, size_t limit);

}  // namespace tolv
