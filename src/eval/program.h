// What the request cycle asks of the evaluator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/value.h"

namespace tolv {

// Evaluates one 'name':value initialiser of the configuration and defines the global.
void run_var_initialiser(const std::string& text);
// Defines the globals undefined, true, false and null with their constants.
void define_constant_globals();
// Evaluates the modules' top-level statements in load order, disposing of each result.
void run_module_initialisers();
// Evaluates one statement of the run and disposes of its result.
void run_top_statement(ValueHandle statement);
// Forgets every binding, pending completion and active construct (tests, and
// after an error has left the run).
void evaluator_reset();

}  // namespace tolv
