// The regular-expression compiler: pattern text (UTF-16 units) and flags to
// the matcher's program, with the pattern's source text rebuilt from what was
// compiled. Errors are raised with `raise` (parse_fail while a module is
// parsed, eval_fail while it runs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lang/regexp_literal.h"
#include "lib/regexp_program.h"

namespace tolv {

// The program image: a Program header and its arrays, 8-byte aligned.
struct CompiledPattern {
    std::vector<uint64_t> storage;
    const regexp::Program& program() const { return *reinterpret_cast<const regexp::Program*>(storage.data()); }
};

// `text` is the pattern as written (UTF-8), quoted by messages.
void compile_pattern(const uint16_t* units, size_t count, uint8_t flags, const char* text, RaiseFunction raise,
                     CompiledPattern& out);

// Flag letters to flag bits; any other letter raises 4795 with the whole text.
uint8_t parse_regexp_flags(const char* text, size_t length, RaiseFunction raise);

// Flag letters in the order i, m, g, y, s.
size_t regexp_flag_letters(uint8_t flags, char* out);

}  // namespace tolv
