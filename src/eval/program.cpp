// What the request cycle runs: configuration initialisers, constants, module
// initialisers and the top statement.
#include "eval/program.h"

#include "eval/calls.h"
#include "eval/control.h"
#include "eval/evaluate.h"
#include "eval/scopes.h"
#include "eval/stack_guard.h"
#include "lang/parser.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"

namespace tolv {

void evaluator_reset() {
    scopes_reset();
    control_reset();
    g_thrown_owned = VALUE_SENTINEL;
    g_arguments.top = 0;
    g_expression_mode = false;
}

void run_var_initialiser(const std::string& text) {
    uint32_t name = 0;
    settle_error_position();
    ValueHandle element = parse_initialiser(text.c_str(), name);
    ValueHandle value = evaluate(element);
    define_global(name, value);
    dispose(value);
    settle_error_position();  // the position may be in the cell released here
    release(element);
}

void define_constant_globals() {
    define_global(NAME_UNDEFINED, VALUE_UNDEFINED);
    define_global(NAME_TRUE, VALUE_TRUE);
    define_global(NAME_FALSE, VALUE_FALSE);
    define_global(NAME_NULL, VALUE_NULL);
}

void run_module_initialisers() {
    for (ValueHandle statement : g_initialisers) run_top_statement(statement);
}

void run_top_statement(ValueHandle statement) {
    init_stack_guard();
    try {
        dispose(evaluate(statement));
    } catch (...) {
        // The handler that catches this finds the evaluator at top level again.
        evaluator_reset();
        throw;
    }
    clear_completion();
}

}  // namespace tolv
