// The parser's entry points: module texts, statement sequences (template
// placeholders, `eval` text), configuration initialisers and the top program.
// The parser writes operation cells directly; there is no token stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/value.h"

namespace tolv {

// Top-level statements that modules leave for the start of the run, in load order.
extern std::vector<ValueHandle> g_initialisers;

// Overwrites comments with blanks in place (newlines kept, so lines stay
// right); a line comment on the last line cuts the text there. Raises 1580.
void remove_comments(char* text);

// Parses a whole module text (comments already removed) as module `module`:
// functions and global declarations are entered, every other top-level
// statement is appended to g_initialisers.
void parse_module(uint32_t module, char* text);

// Parses `text` as a statement sequence in the current module, appending the
// statements to `out` (each holding one reference). Cells built here are not
// debugger stopping points.
void parse_statements(const char* text, size_t length, std::vector<ValueHandle>& out);

// Parses one 'name':value initialiser; returns the element (referenced) and
// sets the name index. Raises 1140 when malformed.
ValueHandle parse_initialiser(const char* text, uint32_t& name_index);

// Parses the top program text as module `module` ("MainScript"): one call.
// Raises 1720, 1725 or 1730.
ValueHandle parse_main_script(uint32_t module, const char* text, size_t length);

// Forgets the initialiser list and every parser table (tests).
void parser_reset();

}  // namespace tolv
