// Test helpers for the front end: a parsed tree as an S-expression text, and
// parsing that reports the error number instead of throwing.
#pragma once

#include <string>

#include "runtime/value.h"

namespace tolv::tests {

// Operation cells print as "(name operands...)" with the opcode's row name
// (its number when it has none); names as their text;
// Integers in decimal, Floats with an "f" suffix; strings in double quotes
// (templates in backquotes); arrays "[...]", hashes "{key:value ...}";
// functions "(fn (params) (locals) body)"; argument blocks "[args]"; the for
// vector "{init | condition | steps}"; a catch pair "<name block>".
std::string tree_text(ValueHandle h);

// Parses `text` as one module (number 1) and returns the text of its
// statements, separated by "; ".
std::string module_text(const char* text);

// The error number raised while parsing `text` as a module, 0 when none.
int module_error(const char* text);

// The error number of a ScriptThrow's value.
int thrown_code(ValueHandle error);

// Resets heap, names, globals and the parser.
void reset_front_end();

}  // namespace tolv::tests
