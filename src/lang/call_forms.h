// Keywords used like calls: the URI functions, eval, parseInt, parseFloat,
// sendToFront, alertToFront and the database keywords. Each takes its
// parenthesised arguments as the operands of one cell of its own operation
// code, after checking their number. The reserved SQL and redis keywords are
// refused here too.
#pragma once

#include <cstdint>

#include "lang/keywords.h"

namespace tolv {

// The routine of a call-like keyword code (nullptr for other codes).
KeywordRoutine call_form_routine(int code);

// Refuses a reserved keyword with 1211 and an excerpt of the statement.
char* parse_reserved(char* text, ValueHandle& out, const char* statement, uint32_t position);

}  // namespace tolv
