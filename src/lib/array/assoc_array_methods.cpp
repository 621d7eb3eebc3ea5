// The Array methods on assoc arrays (kind 11): entries of a key and a value
// in the order they were stored. Integer keys keep their numbers except
// where unshift moves them up.
#include <cstring>

#include "lib/array/array_methods.h"
#include "lib/array/array_support.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

inline AssocArrayCell* assoc_cell(ValueHandle h) { return cell_as<AssocArrayCell>(h); }

ValueHandle entry_value_at(void* assoc, uint32_t index) {
    return assoc_pairs(*static_cast<ValueHandle*>(assoc))[2 * index + 1];
}

// The largest integer key, or -1 when there is none.
int64_t largest_integer_key(ValueHandle assoc) {
    const Word32* pairs = assoc_pairs(assoc);
    int64_t largest = -1;
    for (uint32_t i = 0, n = assoc_count(assoc); i < n; ++i) {
        uint32_t key = pairs[2 * i];
        if (is_integer_key(key) && int64_t(integer_key_value(key)) > largest) largest = integer_key_value(key);
    }
    return largest;
}

[[noreturn]] void key_out_of_range() { raise(Error::BAD_INDEX_2025); }

}  // namespace

ValueHandle assoc_keys(ValueHandle receiver, const ValueHandle*, uint32_t) {
    uint32_t n = assoc_count(receiver);
    ValueHandle result = new_array(n);
    for (uint32_t i = 0; i < n; ++i) array_elements(result)[i] = retain(key_value(assoc_pairs(receiver)[2 * i]));
    return result;
}

// indexOf and lastIndexOf answer the key of the matching entry; `from` is a
// position in entry order, normalised as on arrays.
ValueHandle assoc_index_of(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    const Word32* pairs = assoc_pairs(receiver);
    int64_t i = search_values(pairs + 1, assoc_count(receiver), 2, args, count, true);
    return i < 0 ? integer_result(-1) : key_value(pairs[2 * i]);
}

ValueHandle assoc_last_index_of(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    const Word32* pairs = assoc_pairs(receiver);
    int64_t i = search_values(pairs + 1, assoc_count(receiver), 2, args, count, false);
    return i < 0 ? integer_result(-1) : key_value(pairs[2 * i]);
}

ValueHandle assoc_join(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    ValueHandle assoc = receiver;
    return join_values(assoc_count(receiver), entry_value_at, &assoc, count ? args[0] : VALUE_SENTINEL);
}

ValueHandle assoc_pop(ValueHandle receiver, const ValueHandle*, uint32_t) {
    AssocArrayCell* a = assoc_cell(receiver);
    if (a->count == 0) return VALUE_UNDEFINED;
    Word32* last = assoc_pairs(receiver) + 2 * (--a->count);
    ValueHandle value = last[1];
    last[0] = 0;
    last[1] = VALUE_UNDEFINED;
    release_keep(value);
    return value;
}

ValueHandle assoc_shift(ValueHandle receiver, const ValueHandle*, uint32_t) {
    AssocArrayCell* a = assoc_cell(receiver);
    if (a->count == 0) return VALUE_UNDEFINED;
    Word32* pairs = assoc_pairs(receiver);
    ValueHandle value = pairs[1];
    std::memmove(pairs, pairs + 2, size_t(a->count - 1) * 8);
    --a->count;
    pairs[2 * a->count] = 0;
    pairs[2 * a->count + 1] = VALUE_UNDEFINED;
    release_keep(value);
    return value;
}

ValueHandle assoc_push(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    int64_t next = largest_integer_key(receiver) + 1;
    if (next + count - 1 > int64_t(INTEGER_KEY_LIMIT)) key_out_of_range();
    uint32_t n = assoc_count(receiver);
    reserve_assoc(receiver, n + count);
    Word32* to = assoc_pairs(receiver) + 2 * n;
    for (uint32_t i = 0; i < count; ++i) {
        to[2 * i] = integer_key(uint32_t(next + i));
        to[2 * i + 1] = retain(args[i]);
    }
    assoc_cell(receiver)->count = n + count;
    return integer_result(int32_t(n + count));
}

ValueHandle assoc_unshift(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    if (largest_integer_key(receiver) + count > int64_t(INTEGER_KEY_LIMIT)) key_out_of_range();
    uint32_t n = assoc_count(receiver);
    reserve_assoc(receiver, n + count);
    Word32* pairs = assoc_pairs(receiver);
    std::memmove(pairs + 2 * count, pairs, size_t(n) * 8);
    for (uint32_t i = count; i < n + count; ++i)
        if (is_integer_key(pairs[2 * i])) pairs[2 * i] += count;
    for (uint32_t i = 0; i < count; ++i) {
        pairs[2 * i] = integer_key(i);
        pairs[2 * i + 1] = retain(args[i]);
    }
    assoc_cell(receiver)->count = n + count;
    return integer_result(int32_t(n + count));
}

}  // namespace tolv
