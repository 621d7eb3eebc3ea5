// Statements: blocks, if, loops, switch, try/catch/finally, throw, break,
// continue, return, and the Error/Exception constructors.
#include "eval/calls.h"
#include "eval/control.h"
#include "eval/conversions.h"
#include "eval/evaluate.h"
#include "eval/held_values.h"
#include "eval/handlers.h"
#include "eval/scopes.h"
#include "eval/work_budget.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv {

ValueHandle g_thrown_owned = VALUE_SENTINEL;

namespace {

// After a body: true when the loop must stop. A break is consumed here, a
// continue is consumed and the loop goes on, a return stays pending.
inline bool loop_should_stop() {
    spend_work();
    switch (g_completion) {
    case COMPLETION_NORMAL:
        return false;
    case COMPLETION_CONTINUE:
        g_completion = COMPLETION_NORMAL;
        return false;
    case COMPLETION_BREAK:
        g_completion = COMPLETION_NORMAL;
        return true;
    default:
        return true;
    }
}

// The usual loop step: `i++` or `i--` on a local or parameter holding an
// Integer that only its binding holds is made where it stands, without a call.
inline bool stepped_in_place(const OperationCell* c) {
    ValueHandle target = operand(c, 0);
    if (!is_plain_name(target)) return false;
    uint32_t binding = frame_binding(target);
    if (binding == BINDING_NOWHERE) return false;
    const Binding& b = g_bindings.items[binding];
    ValueHandle v = b.value;
    if ((b.name_word & CONSTANT_BINDING) || kind_of(v) != KIND_INTEGER) return false;
    IntegerCell* number = cell_as<IntegerCell>(v);
    uint32_t step = c->opcode == OP_POSTFIX_INC ? 1u : ~0u;
    if (owned_by(number->header, 1)) {
        number->value = int32_t(uint32_t(number->value) + step);
        return true;
    }
    // A counter below the shared range's end holds a shared Integer: the
    // binding takes the next one.
    store_in_binding(binding, integer_result(int32_t(uint32_t(number->value) + step)));
    return true;
}

// A statement's value is dropped, so a postfix step (the usual `i++`) can run
// as the prefix form, which steps an unshared number in place.
// An operation is dispatched here, its cell read once.
inline void run_statement(ValueHandle statement) {
    if ((statement >> 24) == KIND_OPERATION) {
        const OperationCell* c = operation_cell(statement);
#if TOLV_DEBUGGER
        if (g_debugger_watching) [[unlikely]] {
            if (c->operand_count != OPERATION_LONG_FORM) note_position(c);
            debugger_at_operation(c);
        }
#endif
        if (c->opcode == OP_POSTFIX_INC || c->opcode == OP_POSTFIX_DEC) {
            note_position(c);
            if (stepped_in_place(c)) return;
            dispose(step_as_statement(statement));
            return;
        }
        if (c->operand_count != OPERATION_LONG_FORM) note_position(c);
        dispose((g_expression_mode ? g_restricted_table : g_operation_table)[c->opcode](statement));
        return;
    }
    dispose(evaluate(statement));
}

inline bool condition_holds(ValueHandle condition) {
    if ((condition >> 24) == KIND_OPERATION) {
        const OperationCell* c = operation_cell(condition);
        if (is_comparison(c->opcode)) {
            if (c->operand_count != OPERATION_LONG_FORM) note_position(c);
#if TOLV_DEBUGGER
            if (g_debugger_watching) [[unlikely]]
                debugger_at_operation(c);
#endif
            return comparison_holds(condition);
        }
    }
    ValueHandle v = evaluate(condition);
    // Comparisons give the two constants: no call, nothing to drop.
    if (v == VALUE_TRUE) return true;
    if (v == VALUE_FALSE) return false;
    bool t = truth_value(v);
    dispose_result(condition, v);
    return t;
}

inline void run_block(const OperationCell* c) {
    uint32_t n = operand_count(c);
    const Word32* statements = operands_of(c);
    uint32_t saved_top = g_bindings.top;
    uint32_t saved_base = g_scope.block_base;
    g_scope.block_base = saved_top;
    ++g_scope.block_depth;
    for (uint32_t i = 0; i < n; ++i) {
        run_statement(statements[i]);
        if (g_completion != COMPLETION_NORMAL) break;
    }
    if (g_bindings.top > saved_top) pop_bindings(saved_top);
    g_scope.block_base = saved_base;
    --g_scope.block_depth;
}

// A loop body: a block runs here, without a trip through the dispatch.
inline void run_body(ValueHandle body) {
    if ((body >> 24) == KIND_OPERATION && !g_expression_mode) {
        const OperationCell* c = operation_cell(body);
        if (c->opcode == OP_BLOCK) {
            if (c->operand_count != OPERATION_LONG_FORM) note_position(c);
            run_block(c);
            return;
        }
    }
    run_statement(body);
}

}  // namespace

ValueHandle op_block(ValueHandle cell) {
    run_block(operation_cell(cell));
    return VALUE_UNDEFINED;
}

ValueHandle op_if(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    if (condition_holds(operand(c, 0))) {
        run_statement(operand(c, 1));
    } else if (operand_count(c) > 2) {
        run_statement(operand(c, 2));
    }
    return VALUE_UNDEFINED;
}

ValueHandle op_while(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    ValueHandle condition = operand(c, 0), body = operand(c, 1);
    uint32_t tags = g_tags.count;
    uint32_t saved_top = g_bindings.top;
    push_tag(TAG_LOOP);
    while (condition_holds(condition)) {
        run_body(body);
        if (loop_should_stop()) break;
    }
    pop_bindings(saved_top);
    cut_tags(tags);
    return VALUE_UNDEFINED;
}

ValueHandle op_do_while(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    ValueHandle body = operand(c, 0), condition = operand(c, 1);
    uint32_t tags = g_tags.count;
    uint32_t saved_top = g_bindings.top;
    push_tag(TAG_LOOP);
    do {
        run_body(body);
        if (loop_should_stop()) break;
    } while (condition_holds(condition));
    pop_bindings(saved_top);
    cut_tags(tags);
    return VALUE_UNDEFINED;
}

ValueHandle op_for(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    const Word32* parts = reinterpret_cast<const Word32*>(area_ptr(operand(c, 0)));
    uint32_t counts = operand(c, 1);
    ValueHandle body = operand(c, 2);
    uint32_t init_count = counts >> 16, step_count = counts & 0xFFFF;
    ValueHandle condition = parts[init_count];
    const Word32* steps = parts + init_count + 1;

    uint32_t tags = g_tags.count;
    uint32_t saved_top = g_bindings.top;
    uint32_t saved_base = g_scope.block_base;
    g_scope.block_base = saved_top;
    ++g_scope.block_depth;
    push_tag(TAG_LOOP);
    for (uint32_t i = 0; i < init_count; ++i) run_statement(parts[i]);
    while (condition_holds(condition)) {
        run_body(body);
        if (loop_should_stop()) break;
        for (uint32_t i = 0; i < step_count; ++i) run_statement(steps[i]);
    }
    pop_bindings(saved_top);
    g_scope.block_base = saved_base;
    --g_scope.block_depth;
    cut_tags(tags);
    return VALUE_UNDEFINED;
}

// ---- for ... of, for ... in ------------------------------------------------------

namespace {

enum IterationKind { ITERATE_OF, ITERATE_IN };
constexpr uint32_t DECLARED_VAR = 2, DECLARED_CONST = 1;

// The loop variable: an existing var (global or local slot) or a new binding.
struct LoopVariable {
    LastLocation location;
};

LoopVariable bind_loop_variable(uint32_t name, uint32_t declaration, IterationKind kind) {
    LoopVariable var{};
    if (declaration == DECLARED_VAR) {
        if (g_scope.frame_base == 0) {
            if (!global_declared(name)) {
                if (kind == ITERATE_OF) raise(Error::BAD_FOR_OF);
                raise(Error::BAD_FOR_IN);
            }
            var.location.kind = LOCATION_GLOBAL;
            var.location.name = name;
            return var;
        }
        for (uint32_t b = g_bindings.top; b >= g_scope.frame_base; --b) {
            if ((g_bindings.items[b].name_word & ~CONSTANT_BINDING) == name) {
                var.location.kind = LOCATION_BINDING;
                var.location.index = b;
                return var;
            }
        }
        if (kind == ITERATE_OF) raise(Error::BAD_FOR_OF);
        raise(Error::BAD_FOR_IN);
    }
    push_binding(name | (declaration == DECLARED_CONST ? CONSTANT_BINDING : 0), VALUE_UNDEFINED);
    var.location.kind = LOCATION_BINDING;
    var.location.index = g_bindings.top;
    return var;
}

// The i-th item of the iterable, new or borrowed; VALUE_SENTINEL past the end.
ValueHandle iteration_item(ValueHandle iterable, IterationKind kind, uint32_t i) {
    switch (kind_of(iterable)) {
    case KIND_ARRAY:
        if (i >= array_length(iterable)) return VALUE_SENTINEL;
        return kind == ITERATE_OF ? ValueHandle(array_elements(iterable)[i]) : integer_result(int32_t(i));
    case KIND_ASSOC_ARRAY: {
        if (i >= assoc_count(iterable)) return VALUE_SENTINEL;
        const Word32* pairs = assoc_pairs(iterable);
        if (kind == ITERATE_OF) return pairs[2 * i + 1];
        uint32_t key = pairs[2 * i];
        if ((key >> 24) != 0) return integer_result(int32_t(key & 0xFFFFFF));
        return new_string(name_text(key), name_length(key));
    }
    case KIND_STRING:
        if (i >= string_length(iterable)) return VALUE_SENTINEL;
        return new_string(string_text(iterable) + i, 1);
    case KIND_HASH: {
        if (i >= hash_count(iterable)) return VALUE_SENTINEL;
        uint32_t key = hash_pairs(iterable)[2 * i];
        return new_string(name_text(key), name_length(key));
    }
    default:
        return VALUE_SENTINEL;
    }
}

uint32_t item_count(ValueHandle iterable, IterationKind kind) {
    Kind k = kind_of(iterable);
    if (kind == ITERATE_OF) {
        if (k == KIND_ARRAY) return array_length(iterable);
        if (k == KIND_ASSOC_ARRAY) return assoc_count(iterable);
        if (k == KIND_STRING) return string_length(iterable);
        raise(Error::BAD_FOR_OF_VALUE);
    }
    if (k == KIND_HASH) return hash_count(iterable);
    if (k == KIND_ARRAY) return array_length(iterable);
    if (k == KIND_ASSOC_ARRAY) return assoc_count(iterable);
    raise(Error::BAD_FOR_IN_VALUE);
}

ValueHandle iterate(ValueHandle cell, IterationKind kind) {
    const OperationCell* c = operation_cell(cell);
    uint32_t name = operand(c, 0);
    ValueHandle source = operand(c, 1), body = operand(c, 2);
    uint32_t declaration = operand_count(c) > 3 ? operand(c, 3) : 0;

    uint32_t tags = g_tags.count;
    uint32_t saved_top = g_bindings.top;
    uint32_t saved_base = g_scope.block_base;
    g_scope.block_base = saved_top;
    ++g_scope.block_depth;
    push_tag(TAG_LOOP);
    LoopVariable var = bind_loop_variable(name, declaration, kind);
    ValueHandle iterable = retain(evaluate(source));
    HeldWords in_view(iterable);
    uint32_t count = item_count(iterable, kind);
    for (uint32_t i = 0; i < count; ++i) {
        ValueHandle item = iteration_item(iterable, kind, i);
        if (item == VALUE_SENTINEL) break;  // the container shrank under the loop
        store_at_location(var.location, item);
        run_statement(body);
        if (loop_should_stop()) break;
    }
    release(iterable);
    pop_bindings(saved_top);
    g_scope.block_base = saved_base;
    --g_scope.block_depth;
    cut_tags(tags);
    return VALUE_UNDEFINED;
}

}  // namespace

ValueHandle op_for_of(ValueHandle cell) { return iterate(cell, ITERATE_OF); }
ValueHandle op_for_in(ValueHandle cell) { return iterate(cell, ITERATE_IN); }

// ---- switch ------------------------------------------------------------------------

ValueHandle op_switch(ValueHandle cell) {
    // Operands: discriminant, case table, statement vector, default flag.
    const Word32* parts = operands_of(operation_cell(cell));
    ValueHandle discriminant = parts[0];
    const Word32* table = reinterpret_cast<const Word32*>(area_ptr(parts[1]));
    const Word32* statements = reinterpret_cast<const Word32*>(area_ptr(parts[2]));
    bool has_default = parts[3] != 0;
    uint32_t entries = table[0], statement_count = table[1];

    uint32_t tags = g_tags.count;
    push_tag(TAG_SWITCH);
    ValueHandle value = retain(evaluate(discriminant));
    HeldWords in_view(value);
    uint32_t start = UINT32_MAX;
    for (uint32_t e = 2; e < entries; ++e) {
        ValueHandle case_value = evaluate(table[2 * e]);
        bool match = strictly_equal(value, case_value);
        dispose(case_value);
        if (match) {
            start = table[2 * e + 1];
            break;
        }
    }
    if (start == UINT32_MAX && has_default) start = table[3];
    if (start != UINT32_MAX) {
        for (uint32_t i = start; i < statement_count; ++i) {
            run_statement(statements[i]);
            if (g_completion == COMPLETION_BREAK) {
                g_completion = COMPLETION_NORMAL;
                break;
            }
            if (g_completion != COMPLETION_NORMAL) break;
        }
    }
    release(value);
    cut_tags(tags);
    return VALUE_UNDEFINED;
}

// ---- break, continue, return, throw ---------------------------------------------------

ValueHandle op_break(ValueHandle) {
    if (!has_target(COMPLETION_BREAK, g_tags.count)) raise(Error::BAD_BREAK);
    g_completion = COMPLETION_BREAK;
    return VALUE_UNDEFINED;
}

ValueHandle op_continue(ValueHandle) {
    if (!has_target(COMPLETION_CONTINUE, g_tags.count)) raise(Error::BAD_CONTINUE);
    g_completion = COMPLETION_CONTINUE;
    return VALUE_UNDEFINED;
}

ValueHandle op_return(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    ValueHandle value = VALUE_UNDEFINED;
    if (operand_count(c) > 0) value = evaluate(operand(c, 0));
    if (!has_target(COMPLETION_RETURN, g_tags.count)) raise(Error::BAD_RETURN);
    g_completion = COMPLETION_RETURN;
    // The reference keeps the value alive while the frames it came from unwind.
    g_completion_value = retain(value);
    return VALUE_UNDEFINED;
}

ValueHandle op_throw(ValueHandle cell) {
    ValueHandle value = evaluate(operand(operation_cell(cell), 0));
    // Held until a catch binds it: the binding that holds it may be popped on the way.
    retain(value);
    g_thrown_owned = value;
    throw ScriptThrow{value, false};
}

// ---- try -------------------------------------------------------------------------------

namespace {

struct SavedState {
    uint32_t binding_top;
    ScopeState scope;
    uint32_t tags;
    uint32_t arguments;
};

inline SavedState save_state() { return {g_bindings.top, g_scope, g_tags.count, g_arguments.top}; }

void restore_state(const SavedState& saved) {
    pop_bindings(saved.binding_top);
    // Method arguments of the calls the throw left; they stay unreleased like
    // any temporary a throw abandons.
    g_arguments.top = saved.arguments;
    g_scope = saved.scope;
    cut_tags(saved.tags);
    g_create_mode = false;
    clear_completion();
}

// Runs a finally block with any pending completion set aside; a completion of
// its own replaces the pending one.
void run_finally(ValueHandle block) {
    Completion pending = g_completion;
    ValueHandle pending_value = g_completion_value;
    g_completion = COMPLETION_NORMAL;
    g_completion_value = VALUE_UNDEFINED;
    run_statement(block);
    if (g_completion == COMPLETION_NORMAL) {
        g_completion = pending;
        g_completion_value = pending_value;
    } else if (pending == COMPLETION_RETURN) {
        release(pending_value);
    }
}

// The catch part: an area pair (name, block).
inline bool catch_part(ValueHandle word, uint32_t& name, ValueHandle& block) {
    if (word == 0 || word == EMPTY_OPERAND || is_sentinel(word)) return false;
    const Word32* pair = reinterpret_cast<const Word32*>(area_ptr(word));
    name = pair[0];
    block = pair[1];
    return true;
}

}  // namespace

ValueHandle op_try(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    ValueHandle body = operand(c, 0);
    uint32_t catch_name = 0;
    ValueHandle catch_block = VALUE_SENTINEL;
    bool has_catch = n > 1 && catch_part(operand(c, 1), catch_name, catch_block);
    ValueHandle finally_block = n > 2 ? operand(c, 2) : VALUE_SENTINEL;
    bool has_finally = finally_block != VALUE_SENTINEL && finally_block != 0 && finally_block != EMPTY_OPERAND;

    SavedState saved = save_state();
    push_tag(TAG_TRY);
    try {
        run_statement(body);
    } catch (const ScriptThrow& thrown) {
        if (thrown.to_request_handler) throw;
        restore_state(saved);
        if (!has_catch) {
            if (has_finally) {
                run_finally(finally_block);
                // A break or return in the finally block ends the throw.
                if (g_completion != COMPLETION_NORMAL) goto passed_on;
            }
            throw;
        }
        ValueHandle value = thrown.value;
        push_binding(catch_name, value);
        if (g_thrown_owned == value) {
            release(value);
            g_thrown_owned = VALUE_SENTINEL;
        }
        try {
            run_statement(catch_block);
        } catch (const ScriptThrow& again) {
            if (again.to_request_handler) throw;
            restore_state(saved);
            if (has_finally) {
                run_finally(finally_block);
                if (g_completion != COMPLETION_NORMAL) goto passed_on;
            }
            throw;
        }
        pop_bindings(saved.binding_top);
    }
    cut_tags(saved.tags);
    if (has_finally) run_finally(finally_block);
passed_on:
    if (g_completion != COMPLETION_NORMAL && !has_target(g_completion, saved.tags)) {
        clear_completion();
        raise(Error::BAD_TRY);
    }
    return VALUE_UNDEFINED;
}

// ---- Error, Exception ----------------------------------------------------------------------

ValueHandle error_value(const ValueHandle* args, uint32_t count) {
    if (count < 1 || count > 2 || kind_of(args[0]) != KIND_STRING) raise(Error::BAD_THROW);
    TextBuffer code;
    if (count == 2) {
        if (kind_of(args[1]) == KIND_STRING) {
            code.append(string_text(args[1]), string_length(args[1]));
        } else if (kind_of(args[1]) == KIND_INTEGER) {
            code.appendf("%d", integer_value(args[1]));
        } else {
            raise(Error::BAD_THROW);
        }
    }
    return new_error(code.data(), code.size(), string_text(args[0]), string_length(args[0]));
}

ValueHandle op_error(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    ValueHandle args[2] = {VALUE_UNDEFINED, VALUE_UNDEFINED};
    if (n > 2) raise(Error::BAD_THROW);
    for (uint32_t i = 0; i < n; ++i) args[i] = evaluate(operand(operation_cell(cell), i));
    ValueHandle result = error_value(args, n);
    for (uint32_t i = 0; i < n; ++i) dispose(args[i]);
    return result;
}

}  // namespace tolv
