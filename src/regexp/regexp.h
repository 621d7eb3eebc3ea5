// The regular-expression engine's interface. A pattern (UTF-16 units) and
// its flags compile to one flat program image (program.h) that holds its own
// source text; the matcher runs that image over a text. The engine needs only
// the runtime: the parser checks pattern literals with it, the library keeps
// the image in RegExp values.
//
// Text is UTF-16 units, or bytes when every byte is ASCII (then bytes and
// units are the same). Every search has a fixed work budget: a pattern that
// backtracks past it (such as (a+)+b against a long run of a) raises 4900,
// which a script can catch, instead of holding the request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "regexp/program.h"
#include "runtime/errors.h"

namespace tolv {

// ---- Compiling -------------------------------------------------------------------

// The program image: a Program header and its arrays, 8-byte aligned.
struct CompiledPattern {
    std::vector<uint64_t> storage;
    const regexp::Program& program() const { return *reinterpret_cast<const regexp::Program*>(storage.data()); }
};

// `text` is the pattern as written (UTF-8), quoted by messages. Errors are
// raised with `raise` (syntax_fail while a module is parsed, eval_fail while
// it runs).
void compile_pattern(const uint16_t* units, size_t count, uint8_t flags, const char* text, RaiseFunction raise,
                     CompiledPattern& out);

// Compiles a literal's pattern and flags (UTF-8) only to raise its first
// fault: a bad pattern is an error of the statement that holds it.
void check_pattern_literal(const char* pattern, size_t pattern_length, const char* flags, size_t flags_length,
                           RaiseFunction raise);

// Pattern text (UTF-8) to UTF-16 units, a character above U+FFFF as its
// surrogate pair.
void pattern_units(const char* text, size_t length, std::vector<uint16_t>& out);

// Flag letters to flag bits (REGEXP_FLAG_*); any other letter raises 4795
// with the whole text.
uint8_t parse_regexp_flags(const char* text, size_t length, RaiseFunction raise);

// Flag letters in the order i, m, g, y, s.
size_t regexp_flag_letters(uint8_t flags, char* out);

// ---- Matching --------------------------------------------------------------------

// Steps (instructions and backtracks) one search may take.
constexpr uint64_t REGEXP_WORK_BUDGET = 50'000'000;

struct MatchRequest {
    const regexp::Program* program;
    size_t start;          // first position to try
    bool sticky;           // only `start` is tried
    int32_t* captures;     // capture_slot_count() slots: start and end of the match and of each group, -1 when unset
};

// The first match at or after `start` (never one beginning at the end of a
// non-empty text; the empty text is tried at 0); false when there is none.
bool regexp_search(const MatchRequest& request, const uint16_t* text, size_t length);
bool regexp_search(const MatchRequest& request, const uint8_t* text, size_t length);

// Steps taken by the last search (for measurements).
uint64_t regexp_last_steps();

// ---- What a program holds --------------------------------------------------------

// Bytes of the image, all of it position-independent: it may be copied.
inline uint32_t image_bytes(const regexp::Program& program) { return program.total_bytes; }
// Capturing groups, numbered from 1.
inline uint32_t group_count(const regexp::Program& program) { return program.group_count; }
// Slots a search fills: two for the whole match and two for each group.
inline size_t capture_slot_count(const regexp::Program& program) { return 2 * (size_t(program.group_count) + 1); }
// Whether any group has a name.
inline bool has_group_names(const regexp::Program& program) { return program.has_names != 0; }
// Group names, 1-based (name indices; 0 for a group without a name).
inline const uint32_t* group_names(const regexp::Program& program) { return program.group_names(); }
// The source text (UTF-8, NUL-terminated) as the source writer spelt it.
inline const char* pattern_source(const regexp::Program& program) { return program.source(); }

}  // namespace tolv
