// Calls of script functions, conversions called by name, `new` and `eval`.
#include "eval/calls.h"

#include <cstring>
#include <vector>

#include "eval/control.h"
#include "eval/conversions.h"
#include "eval/evaluate.h"
#include "eval/handlers.h"
#include "eval/library_hooks.h"
#include "eval/methods.h"
#include "eval/scopes.h"
#include "eval/stack_guard.h"
#include "eval/work_budget.h"
#include "lang/parser.h"
#include "runtime/convert.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {
ValueHandle g_argument_items[ARGUMENT_STACK_SIZE];
// Arguments are evaluated onto the binding stack under this word, which
// matches no name, and named only when the callee's frame starts.
}  // namespace

ArgumentStack g_arguments = {g_argument_items, 0};

namespace {

[[noreturn]] void not_a_function(ValueHandle value) {
    if (g_location.name_valid) {
        raise(Error::BAD_FUNCTION_CALL, name_text(g_location.name), int(kind_of(value)));
    }
    raise(Error::BAD_FUNCTION);
}

// The frame of a call: `this` (for new and method calls), the parameters,
// then the declared locals. Arguments are either expressions evaluated in the
// caller's scope or values already evaluated.
// A constructor call (`new`) without a returned value yields `this`.
ValueHandle invoke(ValueHandle function, ValueHandle this_value, const Word32* arg_expressions,
                   const ValueHandle* arg_values, uint32_t arg_count, bool construct = false) {
    if (g_stack_floor == 0) [[unlikely]]
        init_stack_guard();
    check_call_depth(g_scope.call_depth);
    spend_work();
    const FunctionCell* fn = cell_as<FunctionCell>(function);
    uint32_t params = fn->param_count;
    uint32_t locals = fn->local_count;
    ValueHandle body = fn->body;
    const Word32* names = params + locals ? reinterpret_cast<const Word32*>(area_ptr(fn->names)) : nullptr;
    uint32_t given = arg_count < params ? arg_count : params;

    uint32_t base = g_bindings.top + 1;
    if (this_value != VALUE_SENTINEL) push_unnamed_binding(this_value);
    uint32_t first_param = g_bindings.top + 1;
    for (uint32_t i = 0; i < given; ++i) {
        if (arg_expressions) {
            // The binding's reference is the only one a temporary needs.
            push_unnamed_binding(evaluate(arg_expressions[i]));
        } else {
            push_unnamed_binding(arg_values[i]);
        }
    }

    ScopeState saved_scope = g_scope;
    uint32_t saved_tags = g_tags.count;
    g_scope.frame_base = base;
    g_scope.block_base = g_bindings.top;
    ++g_scope.call_depth;
    if (this_value != VALUE_SENTINEL) name_binding(base, NAME_THIS);
    for (uint32_t i = 0; i < params; ++i) {
        ValueHandle entry = names[i];
        uint32_t name = entry;
        ValueHandle default_expression = VALUE_SENTINEL;
        if (has_opcode(entry, OP_ASSIGN)) {
            name = operand(operation_cell(entry), 0);
            default_expression = operand(operation_cell(entry), 1);
        }
        bool has_argument = i < given && g_bindings.items[first_param + i].value != VALUE_UNDEFINED;
        if (has_argument) {
            name_binding(first_param + i, name);
            continue;
        }
        // The default sees the parameters bound before it.
        ValueHandle value = VALUE_UNDEFINED;
        if (default_expression != VALUE_SENTINEL) value = evaluate(default_expression);
        if (i < given) {
            Binding& b = g_bindings.items[first_param + i];
            b.value = retain(value);
            name_binding(first_param + i, name);
        } else {
            push_binding(name, value);
        }
        dispose(value);
    }
    for (uint32_t i = 0; i < locals; ++i) push_binding(names[params + i], VALUE_UNDEFINED);
    g_scope.block_base = g_bindings.top;
    g_scope.block_depth = 0;
    push_tag(TAG_CALL);
#if TOLV_DEBUGGER
    if (g_debugger_watching) [[unlikely]]
        g_debugger_slots.call_enter(function);
#endif

    dispose(evaluate(body));

    ValueHandle result = VALUE_UNDEFINED;
    if (g_completion == COMPLETION_RETURN) {
        result = g_completion_value;  // holds a reference
        g_completion = COMPLETION_NORMAL;
        g_completion_value = VALUE_UNDEFINED;
    } else if (g_completion != COMPLETION_NORMAL) {
        g_completion = COMPLETION_NORMAL;
    }
    if (construct && result == VALUE_UNDEFINED) result = retain(this_value);
#if TOLV_DEBUGGER
    if (g_debugger_watching) [[unlikely]]
        g_debugger_slots.call_leave(result);
#endif
    pop_bindings(base - 1);
    g_scope = saved_scope;
    cut_tags(saved_tags);
    release_keep(result);
    return result;
}

ValueHandle evaluate_callee(ValueHandle callee) {
    g_location.name_valid = false;
    ValueHandle fn = evaluate(callee);
    if (kind_of(fn) != KIND_FUNCTION || is_sentinel(fn)) not_a_function(fn);
    return fn;
}

// Number(...), String(...), Date(...) called without new.
bool is_called_conversion(ValueHandle callee) {
    return callee == NAME_NUMBER || callee == NAME_STRING || callee == NAME_DATE;
}

// Evaluates an argument block onto the argument stack; returns the first slot.
ValueHandle* push_arguments(ArgumentList args) {
    if (g_arguments.top + args.count > ARGUMENT_STACK_SIZE) call_too_deep();
    ValueHandle* first = g_arguments.items + g_arguments.top;
    for (uint32_t i = 0; i < args.count; ++i) {
        ValueHandle v = retain(evaluate(args.items[i]));
        g_arguments.items[g_arguments.top++] = v;
    }
    return first;
}

void pop_arguments(ValueHandle* first, uint32_t count) {
    for (uint32_t i = count; i-- > 0;) release(first[i]);
    g_arguments.top = uint32_t(first - g_arguments.items);
}

// Hands back a result that may be one of the arguments about to be released.
ValueHandle finish_with_arguments(ValueHandle result, ValueHandle* first, uint32_t count) {
    retain(result);
    pop_arguments(first, count);
    release_keep(result);
    return result;
}

ValueHandle called_conversion(ValueHandle callee, ArgumentList args) {
    ValueHandle* values = push_arguments(args);
    ValueHandle result;
    if (callee == NAME_NUMBER) {
        result = args.count == 0 ? new_integer(0) : number_conversion(values[0]);
    } else if (callee == NAME_STRING) {
        result = args.count == 0 ? new_string("", 0) : string_conversion(values[0]);
    } else {
        result = construct_date(values, args.count);
    }
    return finish_with_arguments(result, values, args.count);
}

}  // namespace

ValueHandle call_function(ValueHandle function, ValueHandle this_value, const ValueHandle* args, uint32_t count) {
    if (kind_of(function) != KIND_FUNCTION || is_sentinel(function)) raise(Error::BAD_FUNCTION);
    return invoke(function, this_value, nullptr, args, count);
}

ValueHandle op_call(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    ValueHandle callee = operand(c, 0);
    ArgumentList args = argument_list(operand(c, 1));
    if (has_opcode(callee, OP_MEMBER)) {
        const OperationCell* member = operation_cell(callee);
        ValueHandle* values = push_arguments(args);
        ValueHandle result = call_method(operand(member, 0), operand(member, 1), values, args.count);
        return finish_with_arguments(result, values, args.count);
    }
    if (is_called_conversion(callee)) return called_conversion(callee, args);
    ValueHandle fn = evaluate_callee(callee);
    // A function value made on the spot (not held by anyone) must outlive its call.
    retain(fn);
    ValueHandle result = invoke(fn, VALUE_SENTINEL, args.items, nullptr, args.count);
    retain(result);
    // A function made on the spot goes with its body, where the position may be.
    if (ref_count(fn) <= 1) settle_error_position();
    release(fn);
    release_keep(result);
    return result;
}

// ---- new ---------------------------------------------------------------------------

ValueHandle op_new(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    ValueHandle constructor = operand(c, 0);
    ArgumentList args = argument_list(operand(c, 1));
    if (!is_plain_name(constructor)) raise(Error::BAD_NEW_2365);
    switch (constructor) {
    case NAME_NUMBER:
    case NAME_INTEGER:
    case NAME_FLOAT:
    case NAME_STRING:
    case NAME_DATE:
    case NAME_ERROR:
    case NAME_EXCEPTION:
    case NAME_REGEXP:
    case NAME_ARRAY:
    case NAME_HASH: {
        ValueHandle* values = push_arguments(args);
        uint32_t n = args.count;
        ValueHandle result;
        switch (constructor) {
        case NAME_NUMBER:
            result = n == 0 ? new_integer(0) : number_conversion(values[0]);
            break;
        case NAME_INTEGER:
            result = n == 0 ? new_integer(0) : to_integer(values[0]);
            break;
        case NAME_FLOAT:
            result = n == 0 ? new_float(0.0) : to_float(values[0]);
            break;
        case NAME_STRING:
            result = n == 0 ? new_string("", 0) : string_conversion(values[0]);
            break;
        case NAME_DATE:
            result = construct_date(values, n);
            break;
        case NAME_ERROR:
        case NAME_EXCEPTION:
            result = error_value(values, n);
            break;
        case NAME_REGEXP:
            result = construct_regexp(values, n);
            break;
        case NAME_ARRAY:
            result = array_of_copies(values, n);
            break;
        default:
            result = new_hash(0);
            break;
        }
        return finish_with_arguments(result, values, n);
    }
    default:
        break;
    }
    g_location.name_valid = false;
    ValueHandle fn = evaluate(constructor);
    if (kind_of(fn) != KIND_FUNCTION) raise(Error::BAD_NEW_2370);
    retain(fn);
    ValueHandle self = new_hash(0);
    ValueHandle result = invoke(fn, self, args.items, nullptr, args.count, true);
    if (kind_of(result) == KIND_HASH) cell_as<HashCell>(result)->class_name = constructor;
    retain(result);
    // A function made on the spot goes with its body, where the position may be.
    if (ref_count(fn) <= 1) settle_error_position();
    release(fn);
    release_keep(result);
    return result;
}

// ---- eval ----------------------------------------------------------------------------

ValueHandle op_eval(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    ValueHandle argument = operand_count(c) > 0 ? evaluate(operand(c, 0)) : VALUE_UNDEFINED;
    if (kind_of(argument) != KIND_STRING) raise(Error::NOT_STRING_ARGUMENT_2350);
    uint32_t length = string_length(argument);
    if (length >= 256) raise(Error::EVAL_TEXT_TOO_LONG);
    char text[256];
    std::memcpy(text, string_text(argument), length);
    text[length] = '\0';
    std::vector<ValueHandle> statements;
    settle_error_position();
    parse_statements(text, length, statements);
    if (statements.empty()) return argument;
    ValueHandle result = VALUE_UNDEFINED;
    for (size_t i = 0; i < statements.size(); ++i) {
        if (i > 0) dispose(result);
        result = evaluate(statements[i]);
        if (g_completion != COMPLETION_NORMAL) break;
    }
    // The result may live in the parsed cells released here.
    retain(result);
    settle_error_position();  // the position may be in a cell released here
    for (ValueHandle s : statements) release(s);
    dispose(argument);
    release_keep(result);
    return result;
}

}  // namespace tolv
