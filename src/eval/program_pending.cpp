// Placeholder until the evaluator lands; the parser placeholder refuses every
// text first, so only the constants are reachable here.
#include "eval/globals.h"
#include "eval/program.h"
#include "host/errors.h"
#include "lang/name_table.h"
#include "lang/parser.h"

namespace tolv {

void run_var_initialiser(const std::string& text) {
    uint32_t name = 0;
    ValueHandle value = parse_initialiser(text.c_str(), name);
    define_global(name, value);
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

void run_top_statement(ValueHandle) { eval_fail(1860, "デバッグでのEVALエラー"); }

}  // namespace tolv
