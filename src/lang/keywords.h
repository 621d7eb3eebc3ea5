// Statement keywords: recognition by first letter (direct comparison or a
// fixed-width name list) and the 68-entry table of parsing routines indexed
// by keyword code.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// A keyword routine gets the text after the keyword, the start of the
// statement (for messages) and the keyword's position code; it yields the
// operand and returns the cursor after what it read.
using KeywordRoutine = char* (*)(char* text, ValueHandle& out, const char* statement, uint32_t position);

// Keyword code (0-67) of the keyword at `p`, or -1; on success *after is
// set past the keyword.
int recognise_keyword(const char* p, const char** after);

// The routine of a keyword code.
KeywordRoutine keyword_routine(int code);

// Statement keywords end the expression they stand in; the others (call
// forms, database keywords, reserved words) are operands like any call.
bool keyword_is_statement(int code);

}  // namespace tolv
