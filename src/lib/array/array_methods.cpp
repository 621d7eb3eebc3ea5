// The Array methods on arrays (kind 10). Argument counts are checked by the
// method list before a handler runs; every other check comes before the
// array is changed.
#include "lib/array/array_methods.h"

#include <cstring>
#include <vector>

#include "lib/array/array_support.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

inline ArrayCell* array_cell(ValueHandle h) { return cell_as<ArrayCell>(h); }

// The values of an array, or the entry values of an assoc array.
struct ValueRun {
    const Word32* first;
    uint32_t count;
    uint32_t stride;
};

ValueRun values_of(ValueHandle v) {
    if (kind_of(v) == KIND_ARRAY) return {array_elements(v), array_length(v), 1};
    return {assoc_pairs(v) + 1, assoc_count(v), 2};
}

bool is_any_array(ValueHandle v) { return kind_of(v) == KIND_ARRAY || kind_of(v) == KIND_ASSOC_ARRAY; }

ValueHandle element_at(void* array, uint32_t index) {
    return array_elements(*static_cast<ValueHandle*>(array))[index];
}

}  // namespace

// Shared by arrays and assoc arrays: assoc arrays give their values.
ValueHandle array_concat(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    uint64_t total = values_of(receiver).count;
    for (uint32_t i = 0; i < count; ++i) {
        if (!is_any_array(args[i])) raise(Error::BAD_CONCAT_ARGUMENT);
        total += values_of(args[i]).count;
    }
    if (total > 0x1FFFFFF0u - 10) raise(Error::NO_MEMORY);
    ValueHandle result = new_array(uint32_t(total));
    Word32* to = array_elements(result);
    for (uint32_t i = 0; i <= count; ++i) {
        ValueRun run = values_of(i == 0 ? receiver : args[i - 1]);
        for (uint32_t k = 0; k < run.count; ++k) *to++ = retain(run.first[k * run.stride]);
    }
    return result;
}

ValueHandle array_keys(ValueHandle receiver, const ValueHandle*, uint32_t) {
    uint32_t n = array_length(receiver);
    ValueHandle result = new_array(n);
    Word32* to = array_elements(result);
    for (uint32_t i = 0; i < n; ++i) to[i] = retain(integer_result(int32_t(i)));
    return result;
}

ValueHandle array_reverse(ValueHandle receiver, const ValueHandle*, uint32_t) {
    Word32* e = array_elements(receiver);
    uint32_t n = array_length(receiver);
    for (uint32_t i = 0, j = n; i + 1 < j--; ++i) {
        ValueHandle t = e[i];
        e[i] = e[j];
        e[j] = t;
    }
    return receiver;
}

ValueHandle array_index_of(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    return integer_result(int32_t(search_values(array_elements(receiver), array_length(receiver), 1, args, count, true)));
}

ValueHandle array_last_index_of(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    return integer_result(
        int32_t(search_values(array_elements(receiver), array_length(receiver), 1, args, count, false)));
}

ValueHandle array_join(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    ValueHandle array = receiver;
    return join_values(array_length(receiver), element_at, &array, count ? args[0] : VALUE_SENTINEL);
}

ValueHandle array_pop(ValueHandle receiver, const ValueHandle*, uint32_t) {
    ArrayCell* a = array_cell(receiver);
    if (a->length == 0) return VALUE_UNDEFINED;
    Word32* e = array_elements(receiver);
    ValueHandle last = e[--a->length];
    e[a->length] = VALUE_UNDEFINED;
    // The caller gets the value the array held; it is not freed here.
    release_keep(last);
    return last;
}

ValueHandle array_push_values(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    uint32_t n = array_length(receiver);
    if (n + count > array_cell(receiver)->capacity) reserve_array(receiver, n + count);
    Word32* e = array_elements(receiver) + n;
    for (uint32_t i = 0; i < count; ++i) e[i] = retain(args[i]);
    array_cell(receiver)->length = n + count;
    return integer_result(int32_t(n + count));
}

// Shared by arrays and assoc arrays.
ValueHandle array_to_string(ValueHandle receiver, const ValueHandle*, uint32_t) {
    TextBuffer out;
    display_of(receiver, false, out);
    return new_string(out.data(), out.size());
}

ValueHandle array_shift(ValueHandle receiver, const ValueHandle*, uint32_t) {
    ArrayCell* a = array_cell(receiver);
    if (a->length == 0) return VALUE_UNDEFINED;
    Word32* e = array_elements(receiver);
    ValueHandle first = e[0];
    std::memmove(e, e + 1, size_t(a->length - 1) * 4);
    e[--a->length] = VALUE_UNDEFINED;
    release_keep(first);
    return first;
}

ValueHandle array_unshift(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    uint32_t n = array_length(receiver);
    reserve_array(receiver, n + count);
    Word32* e = array_elements(receiver);
    std::memmove(e + count, e, size_t(n) * 4);
    for (uint32_t i = 0; i < count; ++i) e[i] = retain(args[i]);
    array_cell(receiver)->length = n + count;
    return integer_result(int32_t(n + count));
}

ValueHandle array_slice(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    uint32_t n = array_length(receiver);
    uint32_t start = count > 0 ? position_argument(args[0], n) : 0;
    uint32_t end = count > 1 ? position_argument(args[1], n) : n;
    uint32_t length = start < end ? end - start : 0;
    ValueHandle result = new_array(length);
    for (uint32_t i = 0; i < length; ++i) {
        ValueHandle copy = one_level_copy(array_elements(receiver)[start + i]);
        array_elements(result)[i] = retain(copy);
    }
    return result;
}

ValueHandle array_copy_within(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    uint32_t n = array_length(receiver);
    uint32_t target = position_argument(args[0], n);
    uint32_t start = count > 1 ? position_argument(args[1], n) : 0;
    uint32_t end = count > 2 ? position_argument(args[2], n) : n;
    uint32_t moved = start < end ? end - start : 0;
    if (moved > n - target) moved = n - target;
    // The sources are held while the targets are overwritten: a source that
    // is also a target must outlive its own release.
    std::vector<ValueHandle> sources;
    sources.reserve(moved);
    for (uint32_t i = 0; i < moved; ++i) sources.push_back(ValueHandle(array_elements(receiver)[start + i]));
    for (ValueHandle s : sources) retain(s);
    for (uint32_t i = 0; i < moved; ++i) {
        ValueHandle copy = retain(one_level_copy(sources[i]));
        Word32* slot = array_elements(receiver) + target + i;
        ValueHandle old = *slot;
        *slot = copy;
        release(old);
    }
    for (ValueHandle s : sources) release(s);
    return receiver;
}

ValueHandle array_fill(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    uint32_t n = array_length(receiver);
    uint32_t start = count > 1 ? position_argument(args[1], n) : 0;
    uint32_t end = count > 2 ? position_argument(args[2], n) : n;
    ValueHandle v = args[0];
    for (uint32_t i = start; i < end; ++i) {
        Word32* slot = array_elements(receiver) + i;
        ValueHandle old = *slot;
        *slot = retain(v);
        release(old);
    }
    return receiver;
}

ValueHandle array_includes(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    uint32_t n = array_length(receiver);
    if (n == 0) return VALUE_FALSE;
    uint32_t from = count > 1 ? position_argument(args[1], n) : 0;
    SearchValue wanted = search_value(args[0]);
    if (wanted.form == SearchValue::NOTHING) return VALUE_FALSE;
    const Word32* e = array_elements(receiver);
    for (uint32_t i = from; i < n; ++i)
        if (search_matches(wanted, e[i])) return VALUE_TRUE;
    return VALUE_FALSE;
}

ValueHandle array_splice(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    uint32_t n = array_length(receiver);
    uint32_t start = position_argument(args[0], n);
    if (count == 1) {
        // Everything from start on moves, with its references, to the result.
        uint32_t removed = n - start;
        ValueHandle result = new_array(removed);
        Word32* from = array_elements(receiver) + start;
        std::memcpy(array_elements(result), from, size_t(removed) * 4);
        std::memset(from, 0, size_t(removed) * 4);
        array_cell(receiver)->length = start;
        return result;
    }
    if (kind_of(args[1]) != KIND_INTEGER) raise(Error::NOT_INTEGER_ARGUMENT_2530);
    int32_t asked = integer_value(args[1]);
    uint32_t removed = asked <= 0 ? 0 : uint32_t(asked) < n - start ? uint32_t(asked) : n - start;
    uint32_t items = count - 2;
    if (items == 0 && removed == 0) raise(Error::SPLICE_CHANGES_NOTHING);
    uint64_t length = uint64_t(n) - removed + items;
    if (length > n) reserve_array(receiver, uint32_t(length));
    Word32* e = array_elements(receiver);
    for (uint32_t i = 0; i < removed; ++i) release(e[start + i]);
    e = array_elements(receiver);
    std::memmove(e + start + items, e + start + removed, size_t(n - start - removed) * 4);
    for (uint32_t i = 0; i < items; ++i) e[start + i] = retain(args[2 + i]);
    if (length < n) std::memset(e + length, 0, size_t(n - length) * 4);
    array_cell(receiver)->length = uint32_t(length);
    return VALUE_UNDEFINED;
}

}  // namespace tolv
