// One view over the pair vectors of a Hash and an assoc array: both hold
// (key, value) word pairs, but their records keep the count, the capacity
// and the vector at different offsets and widths.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

class PairList {
public:
    // `container` is a Hash or an assoc array.
    explicit PairList(ValueHandle container) : PairList(container, kind_of(container) == KIND_HASH) {}
    // For a caller that knows which: the tests on the kind then fold away.
    static PairList of_hash(ValueHandle hash) { return PairList(hash, true); }
    static PairList of_assoc(ValueHandle assoc) { return PairList(assoc, false); }

    bool is_hash() const { return hash_; }
    uint32_t count() const { return hash_ ? hash()->count : assoc()->count; }
    uint32_t capacity() const { return hash_ ? hash()->capacity : assoc()->capacity; }
    AreaRef vector() const { return hash_ ? hash()->pairs : assoc()->pairs; }
    Word32* pairs() const { return reinterpret_cast<Word32*>(area_ptr(vector())); }

    // The caller keeps within the record's limits.
    void set_count(uint32_t n) {
        if (hash_) hash()->count = uint16_t(n);
        else assoc()->count = n;
    }
    void set_vector(AreaRef vector, uint32_t capacity) {
        if (hash_) {
            hash()->pairs = vector;
            hash()->capacity = uint16_t(capacity);
        } else {
            assoc()->pairs = vector;
            assoc()->capacity = capacity;
        }
    }

private:
    PairList(ValueHandle container, bool hash) : cell_(cell_of(container)), hash_(hash) {}
    HashCell* hash() const { return reinterpret_cast<HashCell*>(cell_); }
    AssocArrayCell* assoc() const { return reinterpret_cast<AssocArrayCell*>(cell_); }

    uint8_t* cell_;  // cells never move
    bool hash_;
};

}  // namespace tolv
