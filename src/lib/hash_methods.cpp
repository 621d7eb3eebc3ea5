#include "lib/hash_methods.h"

#include <cstring>

#include "eval/calls.h"
#include "eval/evaluate.h"
#include "eval/methods.h"
#include "lib/array/array_methods.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv {

namespace {

constexpr uint32_t NOT_A_NAME = UINT32_MAX;

// The name index a key argument stands for: a String's text as a name, or a
// kind-0 value (a name value, or one of the constants 0-4) as it is. Texts
// that are not names yet are added only when `add` is set; a lookup of one
// gives NOT_A_NAME, which no entry has.
uint32_t key_of(ValueHandle key, bool add) {
    if (kind_of(key) == KIND_NAME) return key;
    if (kind_of(key) == KIND_STRING) {
        uint32_t length = string_length(key);
        if (length == 0 || length > 255) raise(Error::BAD_HASH_KEY);
        return add ? intern_name(string_text(key), length) : find_name(string_text(key), length);
    }
    raise(Error::BAD_HASH_KEY);
}

// Entry index of a key, or the count when there is none.
uint32_t entry_of(ValueHandle hash, ValueHandle key) {
    uint32_t name = key_of(key, false);
    uint32_t n = hash_count(hash);
    return name == NOT_A_NAME ? n : find_key(hash_words(hash), 0, n, name);
}

ValueHandle key_text(uint32_t name) { return new_string(name_text(name), name_length(name)); }

ValueHandle hash_to_string(ValueHandle receiver, const ValueHandle*, uint32_t) {
    TextBuffer out;
    text_of(receiver, out);
    return new_string(out.data(), out.size());
}

ValueHandle hash_clear(ValueHandle receiver, const ValueHandle*, uint32_t) {
    HashCell* h = cell_as<HashCell>(receiver);
    uint32_t n = h->count;
    h->count = 0;
    hash_keys_moved();
    Word32* pairs = hash_pairs(receiver);
    for (uint32_t i = 0; i < n; ++i) {
        ValueHandle value = pairs[2 * i + 1];
        pairs[2 * i + 1] = VALUE_UNDEFINED;
        release(value);
    }
    return VALUE_UNDEFINED;
}

ValueHandle hash_delete(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    uint32_t i = entry_of(receiver, args[0]);
    HashCell* h = cell_as<HashCell>(receiver);
    if (i >= h->count) return VALUE_FALSE;
    Word32* pairs = hash_pairs(receiver);
    ValueHandle value = pairs[2 * i + 1];
    hash_keys_moved();
    std::memmove(pairs + 2 * i, pairs + 2 * i + 2, size_t(h->count - i - 1) * 8);
    --h->count;
    pairs[2 * h->count] = 0;
    pairs[2 * h->count + 1] = VALUE_UNDEFINED;
    release(value);
    return VALUE_TRUE;
}

ValueHandle hash_get_value(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    uint32_t i = entry_of(receiver, args[0]);
    return i < hash_count(receiver) ? ValueHandle(hash_pairs(receiver)[2 * i + 1]) : VALUE_UNDEFINED;
}

ValueHandle hash_has(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    return entry_of(receiver, args[0]) < hash_count(receiver) ? VALUE_TRUE : VALUE_FALSE;
}

ValueHandle hash_set_entry(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    hash_set(receiver, key_of(args[0], true), args[1]);
    return args[1];
}

// fn(value, key, hash) for each entry, `this` bound to the second argument.
// Entries the function adds are visited too; the storage is read afresh on
// every pass because the function may have made it grow.
ValueHandle hash_for_each(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    ValueHandle fn = args[0];
    if (kind_of(fn) != KIND_FUNCTION || cell_as<FunctionCell>(fn)->param_count != 3) raise(Error::WRONG_ARGUMENT_COUNT_2430);
    const Word32* params = reinterpret_cast<const Word32*>(area_ptr(cell_as<FunctionCell>(fn)->names));
    // Each parameter has an error of its own.
    static constexpr ErrorForm<> NOT_A_PLAIN_PARAMETER[3] = {
        Error::WRONG_ARGUMENT_COUNT_2435, Error::WRONG_ARGUMENT_COUNT_2440, Error::WRONG_ARGUMENT_COUNT_2445};
    for (int p = 0; p < 3; ++p)
        if (!is_plain_name(params[p])) raise(NOT_A_PLAIN_PARAMETER[p]);
    ValueHandle self = count > 1 ? args[1] : VALUE_UNDEFINED;
    for (uint32_t i = 0; i < hash_count(receiver); ++i) {
        const Word32* pairs = hash_pairs(receiver);
        ValueHandle key = retain(key_text(pairs[2 * i]));
        ValueHandle call_args[3] = {pairs[2 * i + 1], key, receiver};
        dispose(call_function(fn, self, call_args, 3));
        release(key);
    }
    return VALUE_UNDEFINED;
}

const int16_t HASH_MIN[] = {0, 0, 0, 1, 1, 1, 2, 1};
const int16_t HASH_MAX[] = {0, 0, 0, 1, 1, 1, 2, 2};
MethodHandler g_hash_handlers[8] = {hash_keys,  hash_to_string, hash_clear,     hash_delete,
                                    hash_get_value, hash_has,       hash_set_entry, hash_for_each};
const MethodList HASH_LIST = {"keys    toStringclear   delete  get     has     set     forEach ", 8, 8, HASH_MIN, HASH_MAX,
                              g_hash_handlers, Error::BAD_HASH_METHOD, Error::WRONG_ARGUMENT_COUNT_2450,
                              Error::WRONG_ARGUMENT_COUNT_2455};

// Object.keys(x): the positions of an array, the keys of an assoc array or a Hash.
ValueHandle object_keys(ValueHandle, const ValueHandle* args, uint32_t) {
    switch (kind_of(args[0])) {
    case KIND_ARRAY: return array_keys(args[0], nullptr, 0);
    case KIND_ASSOC_ARRAY: return assoc_keys(args[0], nullptr, 0);
    case KIND_HASH: return hash_keys(args[0], nullptr, 0);
    default: raise(Error::BAD_OBJECT_KEYS_ARGUMENT);
    }
}

}  // namespace

ValueHandle hash_keys(ValueHandle receiver, const ValueHandle*, uint32_t) {
    uint32_t n = hash_count(receiver);
    ValueHandle result = new_array(n);
    for (uint32_t i = 0; i < n; ++i) {
        ValueHandle text = key_text(hash_pairs(receiver)[2 * i]);
        array_elements(result)[i] = retain(text);
    }
    return result;
}

void install_hash_methods() {
    g_method_lists[RECEIVER_HASH_VALUE] = &HASH_LIST;
    set_method_handler(RECEIVER_OBJECT, "keys", object_keys);
}

}  // namespace tolv
