// Character-level rules shared by every parsing routine: whitespace and the
// line counter, identifiers, string and number literals, regular-expression
// literal boundaries, the quote-aware searches, and message excerpts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/value.h"

namespace tolv {

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_ident_start(char c) { return is_letter(c) || c == '_'; }
inline bool is_ident_char(char c) { return is_letter(c) || is_digit(c) || c == '_'; }
inline bool is_quote(char c) { return c == '"' || c == '\'' || c == '`'; }

// First non-whitespace byte; counts the newlines passed.
char* skip_space(char* p);
inline const char* skip_space(const char* p) { return skip_space(const_cast<char*>(p)); }

// Reads an identifier at `p` (which starts one) and interns it. Raises 1005
// when it is longer than 200 characters.
char* read_identifier(char* p, uint32_t& name_index);

// True when `p` holds `word` not followed by a letter, digit or '_'.
bool at_word(const char* p, const char* word);

// Reads a string literal; `p` is just after the opening quote. Raises 1010
// when it is not closed. Counts its newlines.
char* read_string_literal(char* p, char quote, ValueHandle& out);

// Reads a number literal at `p` (a digit or '.'); sign is +1 or -1.
// Raises 1405 when malformed.
char* read_number(char* p, int sign, ValueHandle& out);

// End (byte after the closing quote) of the literal whose opening quote is at
// `p`, or nullptr when it is never closed.
const char* literal_end(const char* p);

// First `c` that is outside literals and not directly preceded by a
// backslash, or nullptr.
const char* find_outside_literals(const char* text, char c);
inline char* find_outside_literals(char* text, char c) {
    return const_cast<char*>(find_outside_literals(static_cast<const char*>(text), c));
}

// The closer that matches an opener just before `text` (nesting counted
// outside literals), or nullptr.
const char* find_matching_closer(const char* text, char closer, char opener);
inline char* find_matching_closer(char* text, char closer, char opener) {
    return const_cast<char*>(find_matching_closer(static_cast<const char*>(text), closer, opener));
}

// The text up to its line end, at most n characters (a UTF-8 sequence counts
// as one) and 510 bytes. excerpt() uses one shared buffer; excerpt_to()
// writes into the caller's buffer of at least 512 bytes.
const char* excerpt(const char* text, size_t n);
const char* excerpt_to(char* out, const char* text, size_t n);

}  // namespace tolv
