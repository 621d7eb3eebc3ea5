// Member access `a.b` and index access `a[i]`, reading or (in create mode)
// making the storage that assignments write through.
#include <cstdint>
#include <cstring>
#include <vector>

#include "eval/calls.h"
#include "eval/control.h"
#include "eval/evaluate.h"
#include "eval/held_values.h"
#include "eval/integer_operands.h"
#include "eval/integer_programs.h"
#include "eval/handlers.h"
#include "eval/key_cache.h"
#include "eval/library_hooks.h"
#include "eval/scopes.h"
#include "runtime/container_holders.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/text_positions.h"
#include "runtime/utf8_text.h"

namespace tolv {

KeyPosition g_key_positions[1u << KEY_CACHE_BITS];

namespace {

void record(LocationKind kind, ValueHandle container, uint32_t index) {
    g_location.kind = kind;
    g_location.constant = false;
    g_location.container = container;
    g_location.index = index;
}

// The value of a hash key, creating the entry in create mode.
ValueHandle hash_entry(ValueHandle hash, uint32_t name, bool create) {
    const Word32* pairs = hash_words(hash);
    uint32_t n = hash_count(hash);
    uint32_t i = find_hash_key(hash, pairs, n, name);
    if (i < n) {
        record(LOCATION_HASH, hash, i);
        return pairs[2 * i + 1];
    }
    if (!create) {
        g_location.kind = LOCATION_NONE;
        return VALUE_UNDEFINED;
    }
    hash_append(hash, name, VALUE_UNDEFINED);
    note_appended_key(hash, name, n);
    record(LOCATION_HASH, hash, n);
    return VALUE_UNDEFINED;
}

ValueHandle assoc_entry(ValueHandle assoc, uint32_t key, bool create) {
    const Word32* pairs = assoc_words(assoc);
    uint32_t n = assoc_count(assoc);
    uint32_t i = find_key(pairs, 0, n, key);
    if (i < n) {
        record(LOCATION_ASSOC, assoc, i);
        return pairs[2 * i + 1];
    }
    if (!create) {
        g_location.kind = LOCATION_NONE;
        return VALUE_UNDEFINED;
    }
    assoc_set(assoc, key, VALUE_UNDEFINED);
    record(LOCATION_ASSOC, assoc, assoc_count(assoc) - 1);
    return VALUE_UNDEFINED;
}

// Writes into a temporary container go nowhere.
ValueHandle from_container(ValueHandle container, ValueHandle result) {
    if (has_storage(container) && ref_count(container) == 0) {
        g_location.kind = LOCATION_NONE;
        return take_from_temporary(container, result);
    }
    return result;
}

// The n-th character of a string, or undefined.
ValueHandle string_character(ValueHandle s, uint32_t n) {
    const char* text = string_text(s);
    uint32_t length = string_length(s);
    if (text_is_ascii(s)) return n < length ? single_character_string(text[n]) : VALUE_UNDEFINED;
    size_t at = character_offset(s, n);
    if (at >= length) return VALUE_UNDEFINED;
    return new_string(text + at, utf8_next(text, length, at) - at);
}

// Where the array being indexed was found, so that turning it into an assoc
// array can give its holders the new handle.
LastLocation g_object_location;

constexpr uint32_t INTEGER_KEY_LIMIT = 0xFFFFFF;

// Every word that holds `array`: bindings, globals, the argument stack, a
// pending return value, the words the evaluator holds and, when these fall
// short of its count, the containers. False when even that falls short: a
// holder outside these could not be given the new handle. A permanent array
// keeps no count, so for it the walk is taken as complete.
bool find_holders(ValueHandle array, std::vector<Holder>& holders) {
    unsigned count = ref_count(array);
    bool permanent = count >= PERMANENT_COUNT;
    auto look = [&](void* word) {
        Word32* w = static_cast<Word32*>(word);
        if (*w == array) holders.push_back({w});
    };
    for (uint32_t i = 1; i <= g_bindings.top; ++i) look(&g_bindings.items[i].value);
    size_t n = 0;
    ValueHandle* globals = global_slots(n);
    for (size_t i = 0; i < n; ++i) look(&globals[i]);
    for (uint32_t i = 0; i < g_arguments.top; ++i) look(&g_arguments.items[i]);
    look(&g_completion_value);
    for (const HeldRange& range : g_held.ranges)
        for (uint32_t i = 0; i < range.count; ++i) look(range.first + i);
    for (LastLocation* at : g_held.locations)
        if (at->kind == LOCATION_ARRAY) look(&at->container);
    const LastLocation& at = g_object_location;
    if ((permanent || holders.size() < count) && at.kind >= LOCATION_ARRAY && at.kind <= LOCATION_ASSOC &&
        value_at_location(at) == array) {
        // Where the array was just found: usually the one container holding it.
        Word32* words = at.kind == LOCATION_ARRAY ? array_words(at.container)
                        : at.kind == LOCATION_HASH ? hash_words(at.container) + 1
                                                   : assoc_words(at.container) + 1;
        holders.push_back({words + (at.kind == LOCATION_ARRAY ? at.index : 2 * at.index)});
    }
    find_in_containers(array, holders, permanent ? SIZE_MAX : count);
    return permanent || holders.size() == count;
}

// A position kept while the array changes form: element i is pair i.
void follow(LastLocation& at, ValueHandle array, ValueHandle assoc) {
    if (at.kind == LOCATION_ARRAY && at.container == array) {
        at.kind = LOCATION_ASSOC;
        at.container = assoc;
    }
}

// Turns the array into an assoc array where it stands: keys 0 ... length-1
// for the elements, room for 11 more pairs; every holder gets the new handle.
ValueHandle to_assoc_in_place(ValueHandle array, const std::vector<Holder>& holders) {
    uint32_t length = array_length(array);
    uint32_t capacity = length + 12;
    uint8_t* bytes = nullptr;
    AreaRef pairs = area_alloc(size_t(capacity) * 8, &bytes);
    if (!bytes) bytes = area_ptr(pairs);
    Word32* out = reinterpret_cast<Word32*>(bytes);
    const Word32* elements = array_words(array);
    for (uint32_t i = 0; i < length; ++i) {
        out[2 * i] = make_handle(KIND_INTEGER, i);
        out[2 * i + 1] = elements[i];  // the references move with the elements
    }
    ArrayCell* cell = cell_as<ArrayCell>(array);
    area_free(cell->elements);
    cell = cell_as<ArrayCell>(array);
    AssocArrayCell* assoc = reinterpret_cast<AssocArrayCell*>(cell);
    assoc->header = header_of(KIND_ASSOC_ARRAY, count_in(assoc->header));
    assoc->pairs = pairs;
    assoc->count = length;
    assoc->capacity = capacity;
    ValueHandle handle = make_handle(KIND_ASSOC_ARRAY, payload_of(array));
    // Positions first: a held position's container is one of the holders.
    for (LastLocation* at : g_held.locations) follow(*at, array, handle);
    follow(g_location, array, handle);
    follow(g_object_location, array, handle);
    for (const Holder& holder : holders) *holder.word = handle;
    return handle;
}

// Past the end: undefined, or an assignment's new element.
[[gnu::noinline]] ValueHandle array_element_beyond(ValueHandle& array, uint32_t n, bool create) {
    uint32_t length = array_length(array);
    if (!create) {
        g_location.kind = LOCATION_NONE;
        return VALUE_UNDEFINED;
    }
    // The end itself appends, whatever room the vector has left.
    if (n == length) {
        array_push(array, VALUE_UNDEFINED);
        record(LOCATION_ARRAY, array, n);
        return VALUE_UNDEFINED;
    }
    // Beyond the end the array becomes an assoc array holding the keys written.
    if (n > INTEGER_KEY_LIMIT || length > INTEGER_KEY_LIMIT) raise(Error::BAD_INDEX_2025);
    std::vector<Holder> holders;
    if (ref_count(array) == 0 || find_holders(array, holders)) {
        array = to_assoc_in_place(array, holders);
        return assoc_entry(array, make_handle(KIND_INTEGER, n), true);
    }
    // Held where its holders cannot all be found: it stays an Array that
    // every holder sees, the gap filled with undefined.
    if (n - length >= (1u << 20)) raise(Error::BAD_INDEX_2025);
    while (array_length(array) <= n) array_push(array, VALUE_UNDEFINED);
    record(LOCATION_ARRAY, array, n);
    return VALUE_UNDEFINED;
}

[[gnu::always_inline]] inline ValueHandle array_element(ValueHandle& array, uint32_t n, bool create) {
    if (n < array_length(array)) {
        record(LOCATION_ARRAY, array, n);
        return array_words(array)[n];
    }
    return array_element_beyond(array, n, create);
}

}  // namespace

ValueHandle op_member(ValueHandle cell) {
    bool create = g_create_mode;
    g_create_mode = false;
    const OperationCell* c = operation_cell(cell);
    uint32_t name = operand(c, 1);
    ValueHandle object = evaluate(operand(c, 0));
    switch (kind_of(object)) {
    case KIND_ERROR: {
        const uint8_t* rec = value_ptr(object);
        ValueHandle result;
        if (name == NAME_NAME) {
            result = new_string(error_code_text(rec), error_code_length(rec));
        } else if (name == NAME_MESSAGE) {
            result = new_string(error_message(rec), error_message_length(rec));
        } else {
            raise(Error::BAD_MEMBER);
        }
        g_location.kind = LOCATION_NONE;
        dispose(object);
        return result;
    }
    case KIND_REGEXP: {
        if (!g_regexp_property) raise(Error::REGEXP_BAD_PROPERTY);
        g_location.kind = LOCATION_NONE;
        ValueHandle result = g_regexp_property(object, name);
        if (has_storage(object) && ref_count(object) == 0) return from_container(object, result);
        // lastIndex is the one property an assignment can store into.
        if (name_length(name) == 9 && std::memcmp(name_text(name), "lastIndex", 9) == 0) {
            g_location.kind = LOCATION_REGEXP_LAST_INDEX;
            g_location.container = object;
            g_location.constant = false;
        }
        return result;
    }
    default:
        break;
    }
    if (is_length_name(name)) {
        ValueHandle result = VALUE_UNDEFINED;
        switch (kind_of(object)) {
        case KIND_STRING:
            result = integer_result(int32_t(string_length(object)));
            break;
        case KIND_ARRAY:
            result = integer_result(int32_t(array_length(object)));
            break;
        case KIND_ASSOC_ARRAY:
            result = integer_result(int32_t(assoc_count(object)));
            break;
        case KIND_HASH:
            result = integer_result(int32_t(hash_count(object)));
            break;
        case KIND_NAME:
            if (!is_sentinel(object)) result = integer_result(int32_t(name_length(object)));
            break;
        default:
            break;
        }
        g_location.kind = LOCATION_NONE;
        dispose(object);
        return result;
    }
    if (kind_of(object) != KIND_HASH || is_sentinel(object)) raise(Error::BAD_MEMBER);
    return from_container(object, hash_entry(object, name, create));
}

namespace {

// An index whose code may run while the indexed value waits.
[[gnu::noinline]] bool evaluate_index_holding(ValueHandle& object, ValueHandle operand, int32_t& number,
                                              ValueHandle& index) {
    HeldValue held(object);
    return evaluate_integer(operand, number, index);
}

}  // namespace

namespace {

// Evaluates the index of `c` while `object` waits.
[[gnu::always_inline]] inline bool evaluate_index(const OperationCell* c, ValueHandle& object, int32_t& n, ValueHandle& index) {
    ValueHandle index_operand = operand(c, 1);
    return runs_no_code(index_operand) || !has_storage(object) ? evaluate_integer(index_operand, n, index)
                                                               : evaluate_index_holding(object, index_operand, n, index);
}

// The element or entry of `object` at Integer `n` (`numbered`) or at `index`.
[[gnu::always_inline]] inline ValueHandle index_value(ValueHandle object, bool numbered, int32_t n, ValueHandle index, bool create,
                        const LastLocation& object_location) {
    ValueHandle result;
    if (numbered) {
        if (n < 0) raise(Error::BAD_INDEX_2025);
        switch (kind_of(object)) {
        case KIND_ARRAY:
            if (create) g_object_location = object_location;
            result = array_element(object, uint32_t(n), create);
            break;
        case KIND_ASSOC_ARRAY:
            if (n > 0xFFFFFF) raise(Error::BAD_INDEX_2025);
            result = assoc_entry(object, make_handle(KIND_INTEGER, uint32_t(n)), create);
            break;
        case KIND_STRING:
            g_location.kind = LOCATION_NONE;
            result = string_character(object, uint32_t(n));
            dispose(object);
            return result;
        default:
            raise(Error::BAD_INDEX_OPERAND_2030);
        }
        return from_container(object, result);
    }
    switch (kind_of(index)) {
    case KIND_NAME:
    case KIND_STRING: {
        uint32_t key;
        if (kind_of(index) == KIND_NAME) {
            key = index;
        } else {
            uint32_t length = string_length(index);
            if (length == 0 || length > 255) raise(Error::BAD_INDEX_OPERAND_2023);
            key = intern_name(string_text(index), length);
        }
        if (kind_of(object) == KIND_HASH) {
            result = hash_entry(object, key, create);
        } else if (kind_of(object) == KIND_ASSOC_ARRAY) {
            result = assoc_entry(object, key, create);
        } else {
            raise(Error::BAD_INDEX_OPERAND_2023);
        }
        break;
    }
    default:
        raise(Error::BAD_INDEX_2032);
    }
    dispose(index);
    return from_container(object, result);
}

}  // namespace

ValueHandle op_index(ValueHandle cell) {
    bool create = g_create_mode;
    g_create_mode = false;
    const OperationCell* c = operation_cell(cell);
    ValueHandle object = evaluate(operand(c, 0));
    // Only an assignment can turn the array into an assoc array.
    LastLocation object_location = create ? g_location : LastLocation{};
    int32_t n;
    ValueHandle index;
    bool numbered = evaluate_index(c, object, n, index);
    return index_value(object, numbered, n, index, create, object_location);
}

bool index_integer(ValueHandle cell, int32_t& out, ValueHandle& value) {
    if (run_integer_program(cell, out)) return true;
    const OperationCell* c = operation_cell(cell);
    note_position(c);
#if TOLV_DEBUGGER
    if (g_debugger_watching) [[unlikely]]
        debugger_at_operation(c);
#endif
    g_create_mode = false;
    ValueHandle object = evaluate(operand(c, 0));
    int32_t n;
    ValueHandle index;
    bool numbered = evaluate_index(c, object, n, index);
    // An element of an array something holds is read where it is.
    if (numbered && kind_of(object) == KIND_ARRAY && n >= 0 && uint32_t(n) < array_length(object) &&
        ref_count(object) != 0) {
        ValueHandle element = array_words(object)[n];
        if (is_integer(element)) {
            out = integer_value(element);
            return true;
        }
    }
    value = index_value(object, numbered, n, index, false, LastLocation{});
    if (!is_integer(value)) return false;
    out = integer_value(value);
    dispose_integer(value);
    return true;
}

}  // namespace tolv
