// The backtracking matcher over a compiled program (regexp_program.h).
//
// Text is UTF-16 units, or bytes when every byte is ASCII (then bytes and
// units are the same). Every search has a fixed work budget: a pattern that
// backtracks past it (such as (a+)+b against a long run of a) raises 4900, which
// a script can catch, instead of holding the request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/regexp_program.h"

namespace tolv {

// Steps (instructions and backtracks) one search may take.
constexpr uint64_t REGEXP_WORK_BUDGET = 50'000'000;

struct MatchRequest {
    const regexp::Program* program;
    size_t start;          // first position to try
    bool sticky;           // only `start` is tried
    int32_t* captures;     // 2 × (groups + 1) slots: start and end of the match and of each group, -1 when unset
};

// The first match at or after `start` (never one beginning at the end of a
// non-empty text; the empty text is tried at 0); false when there is none.
bool regexp_search(const MatchRequest& request, const uint16_t* text, size_t length);
bool regexp_search(const MatchRequest& request, const uint8_t* text, size_t length);

// Steps taken by the last search (for measurements).
uint64_t regexp_last_steps();

}  // namespace tolv
