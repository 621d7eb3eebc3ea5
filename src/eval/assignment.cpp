// Assignment and the compound assignments, increment and decrement: where a
// target lives, what is held while the value is evaluated, and when a number
// or a string may be updated where it stands.
#include <cstdint>

#include "eval/evaluate.h"
#include "eval/handlers.h"
#include "eval/held_values.h"
#include "eval/integer_operands.h"
#include "eval/integer_programs.h"
#include "eval/numeric_operands.h"
#include "eval/scopes.h"
#include "runtime/text.h"

namespace tolv {

// ---- Assignment ------------------------------------------------------------------

namespace {

inline bool may_create(ValueHandle target) {
    return has_opcode(target, OP_MEMBER) || has_opcode(target, OP_INDEX);
}

// Evaluates an assignment target and returns its location. The current value
// is returned in `current` (borrowed from the location, or a temporary).
[[gnu::always_inline]] inline LastLocation evaluate_target(ValueHandle target, ValueHandle& current) {
    if (is_plain_name(target)) {
        // A variable: the lookup records where it lives.
        g_create_mode = false;
        current = lookup_variable(target);
        return g_location;
    }
    g_location.kind = LOCATION_NONE;
    bool located = is_plain_name(target) || may_create(target);
    g_create_mode = may_create(target);
    current = evaluate(target);
    g_create_mode = false;
    LastLocation at = g_location;
    if (!located) at.kind = LOCATION_NONE;
    return at;
}

// Whether an Integer at `at` may take a new number where it stands: the
// location still holds it and nothing else does, which is the same as
// storing a new Integer there.
inline bool integer_in_place(const LastLocation& at, ValueHandle current) {
    return is_integer(current) && owned_by(cell_as<IntegerCell>(current)->header, 1) &&
           value_at_location(at) == current;
}

// `target = number` for a number that was computed without a cell.
[[gnu::noinline]] ValueHandle assign_integer(ValueHandle target, int32_t number) {
    // A local or parameter: its binding is written directly.
    if (is_plain_name(target)) {
        uint32_t i = frame_binding(target);
        if (i != BINDING_NOWHERE) {
            Binding& b = g_bindings.items[i];
            if (b.name_word & CONSTANT_BINDING) raise(Error::BAD_OPERATION_2320);
            ValueHandle held = b.value;
            if (is_integer(held) && owned_by(cell_as<IntegerCell>(held)->header, 1)) {
                cell_as<IntegerCell>(held)->value = number;
                return held;
            }
            ValueHandle value = integer_result(number);
            store_in_binding(i, value);
            return value;
        }
    }
    ValueHandle current;
    LastLocation at = evaluate_target(target, current);
    if (at.kind == LOCATION_NONE) {
        dispose_result(target, current);
        return integer_result(number);
    }
    if (at.constant) raise(Error::BAD_OPERATION_2320);
    if (integer_in_place(at, current)) {
        cell_as<IntegerCell>(current)->value = number;
        return current;
    }
    dispose_result(target, current);
    ValueHandle value = integer_result(number);
    store_at_location(at, value);
    return value;
}

}  // namespace

ValueHandle op_assign(ValueHandle cell) {
    ValueHandle value;
    if (run_assignment_program(cell, value)) return value;
    const Word32* operands = operands_of(operation_cell(cell));
    if (is_kind(operands[1], KIND_OPERATION)) {
        int32_t number;
        if (evaluate_integer(operands[1], number, value)) return assign_integer(operands[0], number);
    } else {
        value = evaluate(operands[1]);
    }
    // Hold the value while the target is evaluated: the target's evaluation
    // must not free a temporary that is about to be stored.
    retain(value);
    ValueHandle current;
    LastLocation at;
    if (is_plain_name(operands[0])) {
        at = evaluate_target(operands[0], current);
    } else {
        // An index may run code that turns the value from an Array into an assoc array.
        HeldWords in_view(value);
        at = evaluate_target(operands[0], current);
    }
    dispose_result(operands[0], current);
    if (at.kind != LOCATION_NONE) {
        if (at.constant) raise(Error::BAD_OPERATION_2320);
        store_at_location(at, value);
    }
    release_keep(value);
    return value;
}

namespace {

// String results of `+=`; returns the target itself when it was extended
// where it is (allowed when `sole_owner`). Kept out of op_add_assign to keep
// its frame small.
[[gnu::noinline]] ValueHandle text_plus_assign(ValueHandle target, ValueHandle value, bool sole_owner) {
    TextBuffer text;
    if (kind_of(target) != KIND_STRING) {
        number_text(target, text);
        text.append(string_text(value), string_length(value));
        return new_string(text.data(), text.size());
    }
    if (kind_of(value) == KIND_STRING) {
        // Another string is appended from where it stands; the target's own
        // text is copied first, since growing the target may move it.
        if (sole_owner && value != target && append_in_place(target, string_text(value), string_length(value)))
            return target;
        text.append(string_text(value), string_length(value));
    } else {
        number_text(value, text);
    }
    if (sole_owner && append_in_place(target, text.data(), uint32_t(text.size()))) return target;
    TextBuffer joined;
    joined.append(string_text(target), string_length(target));
    joined.append(text.data(), text.size());
    return new_string(joined.data(), joined.size());
}

inline bool in_container(const LastLocation& at) { return at.kind >= LOCATION_ARRAY; }

// `+=` on a local or parameter holding an Integer: the number is read as it
// is, so nothing is held while the value is evaluated. Whatever Integer the
// binding holds afterwards is written where it is when only the binding owns
// it, which is the same as storing a new Integer there.
ValueHandle add_to_integer_binding(ValueHandle value_operand, const LastLocation& at, int32_t old) {
    ValueHandle value;
    ValueHandle result;
    int32_t number;
    if (evaluate_integer(value_operand, number, value)) {
        int32_t sum = int32_t(uint32_t(old) + uint32_t(number));
        if (at.index <= g_bindings.top) {
            ValueHandle now = g_bindings.items[at.index].value;
            if (kind_of(now) == KIND_INTEGER && ref_count(now) == 1) {
                cell_as<IntegerCell>(now)->value = sum;
                return now;
            }
        }
        result = integer_result(sum);
    } else if (kind_of(value) == KIND_FLOAT) {
        result = new_float(double(old) + float_value(value));
        dispose(value);
    } else if (kind_of(value) == KIND_STRING) {
        ValueHandle target = retain(integer_result(old));
        result = text_plus_assign(target, value, false);
        release(target);
        dispose(value);
    } else {
        raise(Error::BAD_PLUS_ASSIGN_KIND);
    }
    retain(result);
    store_at_location(at, result);
    release_keep(result);
    return result;
}

}  // namespace

// The value of a `+=` whose code may turn the held target or its container
// from an Array into an assoc array.
[[gnu::noinline]] static ValueHandle evaluate_with_target_held(ValueHandle operand, ValueHandle& target, LastLocation& at) {
    HeldWords target_in_view(target);
    HeldLocation at_in_view(at);
    return evaluate(operand);
}

// The target is read before the value is evaluated, and the value may
// reassign, release or grow the target's storage: the target and its
// container are held meanwhile, and a number or string is only updated
// where it is when the location still holds it and nothing else does.
ValueHandle op_add_assign(ValueHandle cell) {
    if (ValueHandle result; run_assignment_program(cell, result)) return result;
    const Word32* operands = operands_of(operation_cell(cell));
    ValueHandle target;
    LastLocation at = evaluate_target(operands[0], target);
    if (at.kind == LOCATION_BINDING && !at.constant && kind_of(target) == KIND_INTEGER)
        return add_to_integer_binding(operands[1], at, integer_value(target));
    if (at.kind != LOCATION_NONE && at.constant) raise(Error::BAD_PLUS_ASSIGN_2245);
    if (at.kind == LOCATION_NONE) raise(Error::BAD_PLUS_ASSIGN_2250);
    // Held while the value is evaluated; cells never move, so the pointer stays good.
    uint8_t* target_header = has_storage(target) ? value_ptr(target) : nullptr;
    if (target_header) add_reference(*target_header);
    if (in_container(at)) [[unlikely]]
        retain(at.container);
    ValueHandle value = is_inert(operands[1]) ? evaluate(operands[1]) : evaluate_with_target_held(operands[1], target, at);
    Kind kt = kind_of(target), kv = kind_of(value);
    // The location and our hold are the only owners.
    bool sole_owner = target_header && owned_by(*target_header, 2) && value_at_location(at) == target;
    ValueHandle result;
    if (kt == KIND_INTEGER && kv == KIND_INTEGER) {
        IntegerCell* number = reinterpret_cast<IntegerCell*>(target_header);
        int32_t sum = int32_t(uint32_t(number->value) + uint32_t(integer_value(value)));
        if (sole_owner) {
            number->value = sum;
            dispose_result(operands[1], value);
            if (in_container(at)) [[unlikely]]
                release(at.container);
            release_keep(target);  // our hold
            return target;
        }
        result = integer_result(sum);
    } else if (is_number(target) && is_number(value)) {
        result = new_float(number_value(target) + number_value(value));
    } else if ((kt == KIND_STRING && (kv == KIND_STRING || is_number(value))) ||
               (is_number(target) && kv == KIND_STRING)) {
        result = text_plus_assign(target, value, sole_owner);
        if (result == target) {
            dispose(value);
            if (in_container(at)) [[unlikely]]
                release(at.container);
            release_keep(target);
            return target;
        }
    } else {
        raise(Error::BAD_PLUS_ASSIGN_KIND);
    }
    dispose(value);
    // Held for the store: the result may be made of the target itself.
    retain(result);
    release(target);
    store_at_location(at, result);
    if (in_container(at)) [[unlikely]]
        release(at.container);
    release_keep(result);
    return result;
}

namespace {

// `target op= number` for a number that was computed without a cell.
[[gnu::noinline]] ValueHandle arith_assign_integer(ValueHandle cell, ArithmeticOp op, int32_t number) {
    ValueHandle target;
    LastLocation at = evaluate_target(operand(operation_cell(cell), 0), target);
    if (at.kind != LOCATION_NONE && at.constant) raise(Error::BAD_OPERATION_2315);
    if (at.kind == LOCATION_NONE) raise(Error::BAD_OPERATION_2317);
    ValueHandle result;
    int32_t out;
    if (is_integer(target) && integer_pair(op, integer_value(target), number, out)) {
        if (ref_count(target) == 1) {
            cell_as<IntegerCell>(target)->value = out;
            return target;
        }
        result = integer_result(out);
    } else {
        bool is_float = false;
        double x = numeric_operand(target, is_float);
        result = numeric_result(arithmetic(op, x, double(number)), is_float);
    }
    store_at_location(at, result);
    return result;
}

}  // namespace

ValueHandle op_arith_assign(ValueHandle cell) {
    if (ValueHandle result; run_assignment_program(cell, result)) return result;
    static constexpr ArithmeticOp OPS[] = {ARITH_SUB, ARITH_MUL, ARITH_DIV, ARITH_MOD};
    ArithmeticOp op = OPS[opcode_of(cell) - OP_SUB_ASSIGN];
    ValueHandle value;
    int32_t number;
    if (evaluate_integer(operand(operation_cell(cell), 1), number, value)) return arith_assign_integer(cell, op, number);
    retain(value);
    ValueHandle target;
    LastLocation at;
    {
        HeldWords in_view(value);
        at = evaluate_target(operand(operation_cell(cell), 0), target);
    }
    if (at.kind != LOCATION_NONE && at.constant) raise(Error::BAD_OPERATION_2315);
    if (at.kind == LOCATION_NONE) raise(Error::BAD_OPERATION_2317);
    ValueHandle result;
    int32_t out;
    if (kind_of(target) == KIND_INTEGER && kind_of(value) == KIND_INTEGER &&
        integer_pair(op, integer_value(target), integer_value(value), out)) {
        if (ref_count(target) == 1) {
            // Only the location owns the number: update it where it is.
            cell_as<IntegerCell>(target)->value = out;
            release(value);
            return target;
        }
        result = integer_result(out);
    } else {
        bool is_float = false;
        double x = numeric_operand(target, is_float);
        double y = numeric_operand(value, is_float);
        result = numeric_result(arithmetic(op, x, y), is_float);
    }
    release(value);
    store_at_location(at, result);
    return result;
}

ValueHandle op_bit_assign(ValueHandle cell) {
    if (ValueHandle result; run_assignment_program(cell, result)) return result;
    uint8_t code = opcode_of(cell);
    ValueHandle value;
    int32_t y;
    if (!evaluate_integer(operand(operation_cell(cell), 1), y, value)) raise(Error::NOT_INTEGER_OPERAND_2285);
    ValueHandle target;
    LastLocation at = evaluate_target(operand(operation_cell(cell), 0), target);
    if (at.kind != LOCATION_NONE && at.constant) raise(Error::BAD_OPERATION_2290);
    if (at.kind == LOCATION_NONE) raise(Error::BAD_OPERATION_2300);
    if (kind_of(target) != KIND_INTEGER) raise(Error::NOT_INTEGER_OPERAND_2295);
    int32_t x = integer_value(target);
    int32_t r = code == OP_AND_ASSIGN ? (x & y) : code == OP_OR_ASSIGN ? (x | y) : (x ^ y);
    if (ref_count(target) == 1) {
        cell_as<IntegerCell>(target)->value = r;
        return target;
    }
    ValueHandle result = integer_result(r);
    store_at_location(at, result);
    return result;
}

// ---- Increment and decrement -----------------------------------------------------

namespace {

// Inlined into each caller, so that the step and the form are constants there.
// As a statement, a number stepped where it is gives undefined: nothing for
// the caller to drop.
[[gnu::always_inline]] inline ValueHandle step_operation(ValueHandle target, int delta, bool postfix,
                                                         ErrorForm<> on_constant, ErrorForm<> on_other,
                                                         bool as_statement = false) {
    g_location.kind = LOCATION_NONE;
    ValueHandle old = is_plain_name(target) ? lookup_variable(target) : evaluate(target);
    LastLocation at = g_location;
    if (!is_plain_name(target) && !may_create(target)) at.kind = LOCATION_NONE;
    if (at.kind != LOCATION_NONE && at.constant) raise(on_constant);
    Kind k = kind_of(old);
    if (at.kind == LOCATION_NONE || (k != KIND_INTEGER && k != KIND_FLOAT)) raise(on_other);
    if (!postfix && k == KIND_INTEGER && owned_by(cell_as<IntegerCell>(old)->header, 1)) {
        // Only the location holds it: step it where it is.
        IntegerCell* number = cell_as<IntegerCell>(old);
        number->value = int32_t(uint32_t(number->value) + uint32_t(delta));
        return as_statement ? VALUE_UNDEFINED : old;
    }
    ValueHandle next = k == KIND_INTEGER ? integer_result(int32_t(uint32_t(integer_value(old)) + uint32_t(delta)))
                                         : new_float(float_value(old) + delta);
    if (!postfix) {
        // The common case, a loop counter, stored inline.
        if (at.kind == LOCATION_BINDING && at.index <= g_bindings.top)
            store_in_binding(at.index, next);
        else
            store_at_location(at, next);
        return next;
    }
    // The location's reference to the old value passes to the caller.
    retain(old);
    store_at_location(at, next);
    release_keep(old);
    return old;
}

}  // namespace

ValueHandle step_as_statement(ValueHandle cell) {
    // The value is not used: step like the prefix form, report like the postfix one.
    const OperationCell* c = operation_cell(cell);
    if (c->opcode == OP_POSTFIX_INC)
        return step_operation(operand(c, 0), 1, false, Error::BAD_INCREMENT_2200, Error::BAD_INCREMENT_2205, true);
    return step_operation(operand(c, 0), -1, false, Error::BAD_DECREMENT_2220, Error::BAD_DECREMENT_2225, true);
}

ValueHandle op_postfix_inc(ValueHandle cell) {
    return step_operation(operand(operation_cell(cell), 0), 1, true, Error::BAD_INCREMENT_2200,
                          Error::BAD_INCREMENT_2205);
}
ValueHandle op_prefix_inc(ValueHandle cell) {
    return step_operation(operand(operation_cell(cell), 0), 1, false, Error::BAD_INCREMENT_2210,
                          Error::BAD_INCREMENT_2215);
}
ValueHandle op_postfix_dec(ValueHandle cell) {
    return step_operation(operand(operation_cell(cell), 0), -1, true, Error::BAD_DECREMENT_2220,
                          Error::BAD_DECREMENT_2225);
}
ValueHandle op_prefix_dec(ValueHandle cell) {
    return step_operation(operand(operation_cell(cell), 0), -1, false, Error::BAD_DECREMENT_2230,
                          Error::BAD_DECREMENT_2235);
}

}  // namespace tolv
