#include "lib/array/array_support.h"

#include <cstring>

#include "runtime/errors.h"

namespace tolv {

uint32_t position_argument(ValueHandle position, uint32_t length) {
    if (kind_of(position) != KIND_INTEGER) raise(Error::ARGUMENT_NOT_INTEGER);
    int64_t p = integer_value(position);
    if (p < 0) {
        p += length;
        return p < 0 ? 0 : uint32_t(p);
    }
    return p > int64_t(length) - 1 ? length : uint32_t(p);
}

SearchValue search_value(ValueHandle v) {
    switch (kind_of(v)) {
    case KIND_INTEGER: return {SearchValue::NUMBER, double(integer_value(v)), nullptr, 0};
    case KIND_FLOAT: return {SearchValue::NUMBER, float_value(v), nullptr, 0};
    case KIND_STRING: return {SearchValue::TEXT, 0, string_text(v), string_length(v)};
    default: return {SearchValue::NOTHING, 0, nullptr, 0};
    }
}

bool search_matches(const SearchValue& wanted, ValueHandle element) {
    switch (wanted.form) {
    case SearchValue::NUMBER:
        // NaN compares unequal to everything, itself included.
        if (kind_of(element) == KIND_INTEGER) return double(integer_value(element)) == wanted.number;
        if (kind_of(element) == KIND_FLOAT) return float_value(element) == wanted.number;
        return false;
    case SearchValue::TEXT:
        return kind_of(element) == KIND_STRING && string_length(element) == wanted.length &&
               std::memcmp(string_text(element), wanted.text, wanted.length) == 0;
    default:
        return false;
    }
}

int64_t search_values(const Word32* values, uint32_t n, uint32_t stride, const ValueHandle* args, uint32_t count,
                      bool forward) {
    SearchValue wanted = search_value(args[0]);
    if (wanted.form == SearchValue::NOTHING) {
        if (forward) raise(Error::BAD_ARRAY_ARGUMENT_2510);
        raise(Error::BAD_ARRAY_ARGUMENT_2515);
    }
    if (forward) {
        for (uint32_t i = count > 1 ? position_argument(args[1], n) : 0; i < n; ++i)
            if (search_matches(wanted, values[size_t(i) * stride])) return i;
        return -1;
    }
    uint32_t last = count > 1 ? position_argument(args[1], n) : n;
    if (n == 0) return -1;
    if (last > n - 1) last = n - 1;
    for (uint32_t i = last + 1; i-- > 0;)
        if (search_matches(wanted, values[size_t(i) * stride])) return i;
    return -1;
}

namespace {

void copy_retained(Word32* to, const Word32* from, uint32_t count, uint32_t stride, uint32_t value_at) {
    std::memcpy(to, from, size_t(count) * stride * 4);
    for (uint32_t i = 0; i < count; ++i) retain(to[i * stride + value_at]);
}

}  // namespace

ValueHandle one_level_copy(ValueHandle v) {
    switch (kind_of(v)) {
    case KIND_ARRAY: {
        uint32_t n = array_length(v);
        ValueHandle copy = new_array(n);
        std::memcpy(cell_as<ArrayCell>(copy)->flags, cell_as<ArrayCell>(v)->flags, 2);
        copy_retained(array_elements(copy), array_elements(v), n, 1, 0);
        return copy;
    }
    case KIND_ASSOC_ARRAY: {
        uint32_t n = assoc_count(v);
        ValueHandle copy = new_assoc_array(n);
        std::memcpy(cell_as<AssocArrayCell>(copy)->flags, cell_as<AssocArrayCell>(v)->flags, 2);
        copy_retained(assoc_pairs(copy), assoc_pairs(v), n, 2, 1);
        return copy;
    }
    case KIND_HASH: {
        uint32_t n = hash_count(v);
        ValueHandle copy = new_hash(n);
        HashCell* to = cell_as<HashCell>(copy);
        const HashCell* from = cell_as<HashCell>(v);
        std::memcpy(to->flags, from->flags, 2);
        to->class_name = from->class_name;
        copy_retained(hash_pairs(copy), hash_pairs(v), n, 2, 1);
        return copy;
    }
    default:
        return v;
    }
}

ValueHandle key_value(uint32_t key) {
    return is_integer_key(key) ? integer_result(int32_t(integer_key_value(key))) : name_handle(key);
}

namespace {

[[noreturn]] void out_of_room() { raise(Error::NO_MEMORY); }

// The larger of what is needed plus ten spare and half again the current room.
uint64_t grown_capacity(uint64_t capacity, uint64_t needed) {
    uint64_t grown = capacity + capacity / 2 + 10;
    return grown > needed + 10 ? grown : needed + 10;
}

AreaRef regrow(AreaRef old, size_t used_words, size_t capacity_words) {
    uint8_t* p;
    AreaRef fresh = area_alloc(capacity_words * 4, &p);
    std::memcpy(p, area_ptr(old), used_words * 4);
    std::memset(p + used_words * 4, 0, (capacity_words - used_words) * 4);
    area_free(old);
    return fresh;
}

}  // namespace

void reserve_array(ValueHandle array, uint32_t needed) {
    ArrayCell* a = cell_as<ArrayCell>(array);
    if (needed <= a->capacity) return;
    uint64_t capacity = grown_capacity(a->capacity, needed);
    if (capacity > 0x1FFFFFF0u) {
        if (uint64_t(needed) + 10 > 0x1FFFFFF0u) out_of_room();
        capacity = 0x1FFFFFF0u;
    }
    AreaRef vector = regrow(a->elements, a->length, size_t(capacity));
    a = cell_as<ArrayCell>(array);
    a->elements = vector;
    a->capacity = uint32_t(capacity);
}

void reserve_assoc(ValueHandle assoc, uint32_t needed) {
    AssocArrayCell* a = cell_as<AssocArrayCell>(assoc);
    if (needed <= a->capacity) return;
    uint64_t capacity = grown_capacity(a->capacity, needed);
    if (capacity > 0x0FFFFFF0u) {
        if (uint64_t(needed) + 10 > 0x0FFFFFF0u) out_of_room();
        capacity = 0x0FFFFFF0u;
    }
    AreaRef vector = regrow(a->pairs, size_t(a->count) * 2, size_t(capacity) * 2);
    a = cell_as<AssocArrayCell>(assoc);
    a->pairs = vector;
    a->capacity = uint32_t(capacity);
}

ValueHandle array_of_handles(const ValueHandle* handles, uint32_t count) {
    ValueHandle array = new_array(count);
    Word32* to = array_elements(array);
    for (uint32_t i = 0; i < count; ++i) to[i] = retain(handles[i]);
    return array;
}

}  // namespace tolv
