// A walk over both heaps that checks their bookkeeping against the storage
// (tests only: it reads every block, far too slow for a request).
#pragma once

#include <string>

namespace tolv {

// Checks that the freed-cell bitmaps, the per-block freed counts and highest
// freed slots, the blocks-with-freed summaries and totals, the size-class
// block headers and class summaries, the single-allocation counts and the
// value-memory total all agree with what the blocks hold. Returns "" when
// they do, else a description of the first disagreement.
std::string heap_bookkeeping_fault();

}  // namespace tolv
