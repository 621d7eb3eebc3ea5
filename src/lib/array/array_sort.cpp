// Array sort: by the elements' plain texts, or by a script comparison
// function.
//
// A comparator is script code: it may throw, answer inconsistently or change
// the array while it is being sorted. So the elements are sorted as a held
// copy by a merge sort that never reads outside its runs whatever the
// answers are, and written back only when the sort is complete: a throw
// leaves the array as it was, and changes the comparator made are replaced
// by the sorted elements (an array it shortened is filled up again; elements
// it appended beyond them stay).
#include <algorithm>
#include <cstring>
#include <vector>

#include "eval/calls.h"
#include "eval/held_values.h"
#include "lib/array/array_methods.h"
#include "lib/array/array_support.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace tolv {

namespace {

// Holds one reference to each element for as long as the sort runs.
class HeldElements {
public:
    explicit HeldElements(ValueHandle array) {
        const uint32_t n = array_length(array);
        items_.reserve(n);
        for (uint32_t i = 0; i < n; ++i) items_.push_back(retain(array_elements(array)[i]));
        g_held.ranges.push_back({items_.data(), n});
    }
    ~HeldElements() {
        g_held.ranges.pop_back();
        for (ValueHandle v : items_) release(v);
    }
    HeldElements(const HeldElements&) = delete;
    HeldElements& operator=(const HeldElements&) = delete;
    const std::vector<ValueHandle>& items() const { return items_; }

private:
    std::vector<ValueHandle> items_;
};

// Puts the sorted handles at positions 0 .. n-1, each retained by the array.
void write_back(ValueHandle array, const ValueHandle* sorted, uint32_t n) {
    // The comparator may have turned the array into something else.
    if (cell_of(array)[0] == FREED_CELL || kind_in(cell_of(array)[0]) != KIND_ARRAY) return;
    uint32_t now = array_length(array);
    if (now < n) {
        reserve_array(array, n);
        std::memset(array_elements(array) + now, 0, size_t(n - now) * 4);
        cell_as<ArrayCell>(array)->length = n;
    }
    Word32* e = array_elements(array);
    for (uint32_t i = 0; i < n; ++i) {
        ValueHandle old = e[i];
        e[i] = retain(current_form(sorted[i]));
        release(old);
    }
}

// ---- By text -------------------------------------------------------------------

struct TextKey {
    uint32_t offset;  // of the NUL-terminated text in the shared buffer
    ValueHandle value;
};

ValueHandle sort_by_text(ValueHandle array) {
    uint32_t n = array_length(array);
    if (n < 2) return array;
    TextBuffer texts;
    std::vector<TextKey> keys(n);
    for (uint32_t i = 0; i < n; ++i) {
        keys[i] = {uint32_t(texts.size()), array_elements(array)[i]};
        text_of(keys[i].value, texts);
        texts.append_char('\0');
    }
    const char* base = texts.data();
    // Texts compare as unsigned bytes up to their first NUL.
    std::stable_sort(keys.begin(), keys.end(), [base](const TextKey& a, const TextKey& b) {
        return std::strcmp(base + a.offset, base + b.offset) < 0;
    });
    Word32* e = array_elements(array);
    for (uint32_t i = 0; i < n; ++i) e[i] = keys[i].value;
    return array;
}

// ---- By comparator ----------------------------------------------------------------

class ScriptOrder {
public:
    explicit ScriptOrder(ValueHandle function)
        : function_(function), sort_call_(g_error_context.operation), sort_module_(g_error_context.module) {}

    // Negative, zero or positive, as the function answers.
    int compare(ValueHandle a, ValueHandle b) const {
        // The function may have turned an element into an assoc array.
        ValueHandle pair[2] = {current_form(a), current_form(b)};
        ValueHandle answer = call_function(function_, VALUE_SENTINEL, pair, 2);
        // A missing answer is reported where sort was called.
        if (answer == VALUE_UNDEFINED) {
            g_error_context.operation = sort_call_;
            g_error_context.module = sort_module_;
            raise(Error::BAD_SORT_COMPARISON);
        }
        int order = 0;
        switch (kind_of(answer)) {
        case KIND_INTEGER: {
            int32_t v = integer_value(answer);
            order = v < 0 ? -1 : v > 0 ? 1 : 0;
            break;
        }
        case KIND_FLOAT: {
            double v = float_value(answer);
            order = v > 0 ? 1 : v == 0 ? 0 : -1;  // NaN counts as less
            break;
        }
        default:
            break;
        }
        dispose(answer);
        return order;
    }

private:
    ValueHandle function_;
    const OperationCell* sort_call_;
    uint32_t sort_module_;
};

constexpr uint32_t INSERTION_RUN = 8;

void insertion_sort(ValueHandle* items, uint32_t n, const ScriptOrder& order) {
    for (uint32_t i = 1; i < n; ++i) {
        ValueHandle v = items[i];
        uint32_t j = i;
        while (j > 0 && order.compare(items[j - 1], v) > 0) {
            items[j] = items[j - 1];
            --j;
        }
        items[j] = v;
    }
}

// Merges the sorted runs [0, middle) and [middle, n) of `from` into `to`.
// An element of the right run goes first only when the left one compares
// greater, which keeps equal elements in their order.
void merge(const ValueHandle* from, ValueHandle* to, uint32_t middle, uint32_t n, const ScriptOrder& order) {
    uint32_t left = 0, right = middle, out = 0;
    if (middle == 0 || middle == n || order.compare(from[middle - 1], from[middle]) <= 0) {
        std::memcpy(to, from, size_t(n) * sizeof(ValueHandle));
        return;
    }
    while (left < middle && right < n) to[out++] = order.compare(from[left], from[right]) > 0 ? from[right++] : from[left++];
    while (left < middle) to[out++] = from[left++];
    while (right < n) to[out++] = from[right++];
}

// Bottom-up merge sort; the result ends in `items`.
void merge_sort(std::vector<ValueHandle>& items, const ScriptOrder& order) {
    uint32_t n = uint32_t(items.size());
    for (uint32_t at = 0; at < n; at += INSERTION_RUN)
        insertion_sort(items.data() + at, std::min(INSERTION_RUN, n - at), order);
    if (n <= INSERTION_RUN) return;
    std::vector<ValueHandle> other(n);
    ValueHandle* from = items.data();
    ValueHandle* to = other.data();
    for (uint32_t width = INSERTION_RUN; width < n; width *= 2) {
        for (uint32_t at = 0; at < n; at += 2 * width) {
            uint32_t size = std::min(2 * width, n - at);
            merge(from + at, to + at, std::min(width, size), size, order);
        }
        std::swap(from, to);
    }
    if (from != items.data()) std::memcpy(items.data(), from, size_t(n) * sizeof(ValueHandle));
}

ValueHandle sort_by_function(ValueHandle array, ValueHandle function) {
    if (kind_of(function) != KIND_FUNCTION) raise(Error::NOT_FUNCTION_ARGUMENT);
    if (cell_as<FunctionCell>(function)->param_count != 2) raise(Error::WRONG_ARGUMENT_COUNT_2550);
    if (array_length(array) < 2) return array;
    HeldElements held(array);
    std::vector<ValueHandle> sorted(held.items());
    merge_sort(sorted, ScriptOrder(function));
    write_back(array, sorted.data(), uint32_t(sorted.size()));
    return current_form(array);
}

}  // namespace

ValueHandle array_sort(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    return count == 0 ? sort_by_text(receiver) : sort_by_function(receiver, args[0]);
}

}  // namespace tolv
