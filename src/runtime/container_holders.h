// A walk over every live Array, Hash and assoc array in the cell heap.
#pragma once

#include <vector>

#include "runtime/value.h"

namespace tolv {

// A word that holds a value: an element, a pair's value, a variable.
struct Holder {
    Word32* word;
    bool operator<(const Holder& other) const { return word < other.word; }
    bool operator==(const Holder& other) const { return word == other.word; }
};

// Appends every element or pair value that holds `value` and is not in `out`
// yet, stopping once `out` has `enough` entries.
void find_in_containers(ValueHandle value, std::vector<Holder>& out, size_t enough);

}  // namespace tolv
