// Address space reserved up front and filled with zero pages on first touch,
// so that storage addressed by number can be found with one addition.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolv {

// `bytes` of zeroed, read-write address space; physical pages are taken only
// as they are touched. nullptr when the system refuses.
uint8_t* reserve_zeroed_memory(size_t bytes);
// Gives the pages back; the range reads as zeros again afterwards.
void rezero_memory(uint8_t* start, size_t bytes);

}  // namespace tolv
