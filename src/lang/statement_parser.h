// Statements and statement sequences. Parenthesised parts and bodies are
// found by bracket matching and read as texts of their own; keyword
// statements are keyword routines, so they also serve in operand position.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/value.h"

namespace tolv {

// One statement and one following ';'. `out` is 0 for an empty statement.
char* parse_statement(char* text, ValueHandle& out);

// Every statement up to the end of the text; empty ones are skipped. With
// `retain` each statement takes a reference.
void parse_statement_sequence(char* text, std::vector<ValueHandle>& out, bool retain);

// `text` is at the '{'; returns the cursor after the matching '}'.
char* parse_block(char* text, ValueHandle& out);

// Keyword routines (see keywords.h).
char* parse_break(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_continue(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_return(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_throw(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_if(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_while(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_do(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_for(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_switch(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_try(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_var(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_let(char* text, ValueHandle& out, const char* statement, uint32_t position);
char* parse_const(char* text, ValueHandle& out, const char* statement, uint32_t position);

}  // namespace tolv
