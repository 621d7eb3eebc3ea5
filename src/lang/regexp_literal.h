// Regular-expression literals in the module text. The parser keeps a
// literal's text in its cell (the evaluator compiles it once, at its first
// evaluation) and checks its pattern while parsing, so that a bad pattern is
// a parse error of its statement.
#pragma once

#include <cstddef>

namespace tolv {

// The closing '/' of the literal whose opening '/' is at `p`, or nullptr. A
// '/' that is escaped or inside a class does not close it; neither does the
// literal reach past the end of its line.
const char* regexp_literal_close(const char* p);

// Splits a literal's text "/pattern/flags" at its closing '/'.
struct RegexpLiteralParts {
    const char* pattern;
    size_t pattern_length;
    const char* flags;
    size_t flags_length;
};
RegexpLiteralParts split_regexp_literal(const char* text, size_t length);

}  // namespace tolv
