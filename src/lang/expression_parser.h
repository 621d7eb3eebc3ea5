// Expressions: a tokenizer reads one expression list into flat slots, then
// one reducer per precedence level, tightest first, rewrites runs of slots
// into operation cells in place. Operators of one level group by kind:
// `10 - 2 + 3` is 10 - (2 + 3).
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// Parses a comma-separated list of expressions from `text` up to its NUL or
// the first ';' between tokens (consumed). At most max - 1 results (1123
// beyond); with `retain` each result takes a reference. Returns the cursor
// after the list.
char* parse_expression_list(char* text, ValueHandle* results, int max, int& count, bool retain);

// One element of an array or object literal: an expression that ends at the
// first ',' between tokens (consumed) or the end of the text. `count` is the
// number of results (the caller wants exactly one). Errors 1055, 1060, 1065.
char* parse_element(char* text, ValueHandle& out, int& count);

// The top program: like an expression list of at most 17 results, but
// holding at most 31 slots.
char* parse_top_expression(char* text, ValueHandle* results, int max, int& count);

}  // namespace tolv
