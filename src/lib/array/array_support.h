// What the Array methods share: position arguments, element equality, the
// one-level copy, integer keys of assoc arrays and storage growth.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// A position argument against an array of `length`: negative counts from the
// end (0 when still negative), beyond the last element gives `length`.
// Raises 2500 when it is not an Integer.
uint32_t position_argument(ValueHandle position, uint32_t length);

// The value a method searches for (indexOf, lastIndexOf, includes): numbers
// compare as doubles with Integers and Floats, texts byte by byte with
// Strings; nothing else equals anything.
struct SearchValue {
    enum Form : uint8_t { NUMBER, TEXT, NOTHING } form;
    double number;
    const char* text;
    uint32_t length;
};
SearchValue search_value(ValueHandle v);
bool search_matches(const SearchValue& wanted, ValueHandle element);

// indexOf (forward) and lastIndexOf over `n` values `stride` words apart:
// the position of the match, or -1. The arguments are the methods' own.
int64_t search_values(const Word32* values, uint32_t n, uint32_t stride, const ValueHandle* args, uint32_t count,
                      bool forward);

// Arrays, assoc arrays and hashes become a new container of the same shape
// sharing the elements; every other value is itself. The caller retains what
// it stores.
ValueHandle one_level_copy(ValueHandle v);

// Integer keys of assoc arrays carry a non-zero kind nibble over 24 bits of
// value; name keys are name indexes.
constexpr uint32_t INTEGER_KEY_LIMIT = 0xFFFFFF;
inline uint32_t integer_key(uint32_t n) { return make_handle(KIND_INTEGER, n); }
inline bool is_integer_key(uint32_t key) { return (key >> 24) != 0; }
inline uint32_t integer_key_value(uint32_t key) { return key & 0xFFFFFF; }
// A key as scripts see it: an Integer, or a name value.
ValueHandle key_value(uint32_t key);

// Makes room for `needed` elements (pairs). Storage grows by at least half so
// that building an array one element at a time stays linear.
void reserve_array(ValueHandle array, uint32_t needed);
void reserve_assoc(ValueHandle assoc, uint32_t needed);

// A new Array holding `count` handles, each retained.
ValueHandle array_of_handles(const ValueHandle* handles, uint32_t count);

}  // namespace tolv
