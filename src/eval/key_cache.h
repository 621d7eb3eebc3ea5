// Where a key was last found in a Hash, so that reading and writing the same
// keys of a large hash does not scan its pairs each time. A remembered
// position is used only while the pair there still has the key and no pair
// has been removed or hash freed since (g_hash_key_epoch): pairs are only
// ever appended otherwise, so the remembered pair stays the first one with
// that key, which is the one a scan finds.
#pragma once

#include <cstdint>

#include "eval/evaluate.h"

namespace tolv {

struct KeyPosition {
    ValueHandle hash;
    uint32_t key;
    uint32_t index;
    uint32_t epoch;
};

constexpr uint32_t KEY_CACHE_BITS = 10;
// Small hashes are scanned: a few compares cost less than the cache.
constexpr uint32_t KEY_CACHE_MIN_PAIRS = 16;
extern KeyPosition g_key_positions[1u << KEY_CACHE_BITS];

inline KeyPosition& key_position_slot(ValueHandle hash, uint32_t key) {
    uint32_t mix = (hash * 0x9E3779B1u) ^ (key * 0x85EBCA77u);
    return g_key_positions[mix >> (32 - KEY_CACHE_BITS)];
}

// The first pair whose key is `key`, or `count`: find_key from the start.
inline uint32_t find_hash_key(ValueHandle hash, const Word32* pairs, uint32_t count, uint32_t key) {
    if (count < KEY_CACHE_MIN_PAIRS) return find_key(pairs, 0, count, key);
    KeyPosition& slot = key_position_slot(hash, key);
    if (slot.hash == hash && slot.key == key && slot.epoch == g_hash_key_epoch && slot.index < count &&
        pairs[2 * slot.index] == key)
        return slot.index;
    uint32_t i = find_key(pairs, 0, count, key);
    if (i < count) slot = {hash, key, i, g_hash_key_epoch};
    return i;
}

// A key appended at `index` after a scan found no pair with it.
inline void note_appended_key(ValueHandle hash, uint32_t key, uint32_t index) {
    if (index + 1 >= KEY_CACHE_MIN_PAIRS) key_position_slot(hash, key) = {hash, key, index, g_hash_key_epoch};
}

}  // namespace tolv
