// Constructs that parse into values rather than operations: function
// definitions (a KIND_FUNCTION value, assigned to its name when named),
// array literals and object literals.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// Keyword routine of `function`: a named definition yields an `=` cell of
// the name and the function value; an anonymous one the value itself. Ends
// the expression it stands in. Errors 1040, 1050.
char* parse_function(char* text, ValueHandle& out, const char* statement, uint32_t position);

// `text` is just after the '['; returns the cursor after the matching ']'.
// Errors 1070.
char* parse_array_literal(char* text, ValueHandle& out);

// `text` is just after the '{'; returns the cursor after the matching '}'.
// Errors 1140, 1142.
char* parse_object_literal(char* text, ValueHandle& out);

// One `key: element` entry (key a string literal or an identifier); returns
// the cursor after the element and its ','. Errors 1140.
char* parse_object_entry(char* text, uint32_t& name_index, ValueHandle& value);

}  // namespace tolv
