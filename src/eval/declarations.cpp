// var, let and const.
#include "eval/evaluate.h"
#include "eval/handlers.h"
#include "eval/scopes.h"

namespace tolv {

namespace {

// An item is a name or an `=` cell of a name and its initial expression.
bool split_item(ValueHandle item, uint32_t& name, ValueHandle& initial) {
    if (has_opcode(item, OP_ASSIGN)) {
        const OperationCell* c = operation_cell(item);
        name = operand(c, 0);
        initial = operand(c, 1);
        return true;
    }
    name = item;
    initial = VALUE_SENTINEL;
    return false;
}

ValueHandle declare_in_block(ValueHandle cell, bool constant) {
    if (g_scope.block_depth == 0) raise(Error::BAD_DECLARATION);
    uint32_t n = operand_count(operation_cell(cell));
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t name;
        ValueHandle initial;
        bool has_initial = split_item(operand(operation_cell(cell), i), name, initial);
        if ((name >> 24) != 0) raise(Error::BAD_VARIABLE_NAME);
        if (name <= VALUE_NULL) {
            if (has_initial) raise(Error::BAD_DECLARED_NAME_2048);
            raise(Error::BAD_DECLARED_NAME_2047);
        }
        ValueHandle value = has_initial ? evaluate(initial) : VALUE_UNDEFINED;
        uint32_t word = name | (constant ? CONSTANT_BINDING : 0);
        bool replaced = false;
        for (uint32_t b = g_bindings.top; b > g_scope.block_base; --b) {
            Binding& binding = g_bindings.items[b];
            if ((binding.name_word & ~CONSTANT_BINDING) == name) {
                ValueHandle old = binding.value;
                binding.value = retain(value);
                binding.name_word = word;
                release(old);
                replaced = true;
                break;
            }
        }
        if (!replaced) push_binding(word, value);
        dispose(value);
    }
    return VALUE_UNDEFINED;
}

}  // namespace

ValueHandle op_var(ValueHandle cell) {
    uint32_t n = operand_count(operation_cell(cell));
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t name;
        ValueHandle initial;
        bool has_initial = split_item(operand(operation_cell(cell), i), name, initial);
        if (!is_plain_name(name)) raise(Error::BAD_VARIABLE_NAME);
        if (!has_initial) {
            // A bare `var x` keeps an existing value and only makes sure the name exists.
            if (g_scope.frame_base == 0) {
                lookup_variable(name);
                continue;
            }
            bool found = false;
            for (uint32_t b = g_bindings.top; b >= g_scope.frame_base; --b)
                if ((g_bindings.items[b].name_word & ~CONSTANT_BINDING) == name) {
                    found = true;
                    break;
                }
            if (!found) push_binding(name, VALUE_UNDEFINED);
            continue;
        }
        ValueHandle value = evaluate(initial);
        assign_var(name, value);
        dispose(value);
    }
    return VALUE_UNDEFINED;
}

ValueHandle op_let(ValueHandle cell) { return declare_in_block(cell, false); }
ValueHandle op_const(ValueHandle cell) { return declare_in_block(cell, true); }

}  // namespace tolv
