// Method lookup by fixed-width name lists, argument-count checks and the
// choice of list by receiver.
#include "eval/methods.h"

#include <cstring>

#include "eval/calls.h"
#include "eval/conversions.h"
#include "eval/evaluate.h"
#include "eval/held_values.h"
#include "eval/key_cache.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {

// ---- Predefined objects -----------------------------------------------------------

const int16_t MATH_MIN[] = {1, 1, 1, 1, 1, 0, 2, 1, 1};
const int16_t MATH_MAX[] = {1, 1, 1, 1, 1, 0, 2, ANY_COUNT, ANY_COUNT};
MethodHandler g_math_handlers[9] = {};
const MethodList MATH_LIST = {
    "abs     ceil    floor   trunc   round   random  pow     min     max     ", 8, 9, MATH_MIN, MATH_MAX,
    g_math_handlers, Error::BAD_MATH_METHOD, Error::WRONG_ARGUMENT_COUNT_2120, Error::WRONG_ARGUMENT_COUNT_2120};

const int16_t CONSOLE_MIN[] = {0, 0};
const int16_t CONSOLE_MAX[] = {ANY_COUNT, ANY_COUNT};
MethodHandler g_console_handlers[2] = {};
const MethodList CONSOLE_LIST = {"log     error   ", 8, 2, CONSOLE_MIN, CONSOLE_MAX, g_console_handlers,
                                 Error::BAD_METHOD_NAME_2140, Error::WRONG_ARGUMENT_COUNT_2140,
                                 Error::WRONG_ARGUMENT_COUNT_2140};

const int16_t OBJECT_MIN[] = {1};
const int16_t OBJECT_MAX[] = {1};
MethodHandler g_object_handlers[1] = {};
const MethodList OBJECT_LIST = {"keys    ", 8, 1, OBJECT_MIN, OBJECT_MAX, g_object_handlers,
                                Error::BAD_OBJECT_METHOD, Error::WRONG_ARGUMENT_COUNT_2105,
                                Error::WRONG_ARGUMENT_COUNT_2110};

const int16_t NUMBER_MIN[] = {1, 1, 1};
const int16_t NUMBER_MAX[] = {2, 1, 1};
MethodHandler g_number_handlers[3] = {};
const MethodList NUMBER_LIST = {"parseInt    parseFloat  isInteger   ", 12, 3, NUMBER_MIN, NUMBER_MAX,
                                g_number_handlers, Error::BAD_NUMBER_METHOD, Error::WRONG_ARGUMENT_COUNT_2130,
                                Error::WRONG_ARGUMENT_COUNT_2135};

const int16_t DATE_MIN[] = {0, 1, 1};
const int16_t DATE_MAX[] = {0, 1, 7};
MethodHandler g_date_handlers[3] = {};
const MethodList DATE_LIST = {"now     parse   UTC     ", 8, 3, DATE_MIN, DATE_MAX, g_date_handlers,
                              Error::BAD_DATE_METHOD_2085, Error::WRONG_ARGUMENT_COUNT_2090,
                              Error::WRONG_ARGUMENT_COUNT_2093};

const int16_t STRING_MIN[] = {1, 1};
const int16_t STRING_MAX[] = {ANY_COUNT, ANY_COUNT};
MethodHandler g_string_handlers[2] = {};
const MethodList STRING_LIST = {"fromCharCode  fromCodePoint ", 14, 2, STRING_MIN, STRING_MAX, g_string_handlers,
                                Error::BAD_STRING_FUNCTION_METHOD, Error::WRONG_ARGUMENT_COUNT_2097,
                                Error::WRONG_ARGUMENT_COUNT_2098};

// ---- Value lists until the library registers its tables ---------------------------

const MethodList STRING_VALUE_LIST = {"", 1, 0, nullptr, nullptr, nullptr,
                                      Error::BAD_STRING_METHOD, Error::WRONG_ARGUMENT_COUNT_2825,
                                      Error::WRONG_ARGUMENT_COUNT_2830};
const MethodList ARRAY_VALUE_LIST = {"", 1, 0, nullptr, nullptr, nullptr,
                                     Error::BAD_ARRAY_METHOD_2570, Error::WRONG_ARGUMENT_COUNT_2575,
                                     Error::WRONG_ARGUMENT_COUNT_2580};
const MethodList ASSOC_VALUE_LIST = {"", 1, 0, nullptr, nullptr, nullptr,
                                     Error::BAD_ARRAY_METHOD_2552, Error::WRONG_ARGUMENT_COUNT_2555,
                                     Error::WRONG_ARGUMENT_COUNT_2560};
const MethodList HASH_VALUE_LIST = {"", 1, 0, nullptr, nullptr, nullptr,
                                    Error::BAD_HASH_METHOD, Error::WRONG_ARGUMENT_COUNT_2450,
                                    Error::WRONG_ARGUMENT_COUNT_2455};
const MethodList DATE_VALUE_LIST = {"", 1, 0, nullptr, nullptr, nullptr,
                                    Error::BAD_DATE_METHOD_5575, Error::BAD_DATE_METHOD_ARGUMENTS_5580,
                                    Error::BAD_DATE_METHOD_ARGUMENTS_5585};
const MethodList REGEXP_VALUE_LIST = {"", 1, 0, nullptr, nullptr, nullptr,
                                      Error::BAD_REGEXP_METHOD, Error::WRONG_ARGUMENT_COUNT_5075,
                                      Error::WRONG_ARGUMENT_COUNT_5075};

MethodHandler* handlers_of(MethodReceiver receiver) {
    switch (receiver) {
    case RECEIVER_MATH: return g_math_handlers;
    case RECEIVER_CONSOLE: return g_console_handlers;
    case RECEIVER_OBJECT: return g_object_handlers;
    case RECEIVER_NUMBER: return g_number_handlers;
    case RECEIVER_DATE: return g_date_handlers;
    case RECEIVER_STRING: return g_string_handlers;
    default: return nullptr;
    }
}

inline bool is_to_string(uint32_t name) {
    return name_length(name) == 8 && std::memcmp(name_text(name), "toString", 8) == 0;
}

// A Hash entry holding a function is called as a method with `this` bound.
bool hash_function_entry(ValueHandle hash, uint32_t name, ValueHandle& function) {
    const Word32* pairs = hash_words(hash);
    uint32_t n = hash_count(hash);
    for (uint32_t i = find_hash_key(hash, pairs, n, name); i < n; i = find_key(pairs, i + 1, n, name)) {
        if (kind_of(pairs[2 * i + 1]) == KIND_FUNCTION) {
            function = pairs[2 * i + 1];
            return true;
        }
    }
    return false;
}

ValueHandle call_on_value(ValueHandle receiver, uint32_t name, const ValueHandle* args, uint32_t count) {
    switch (kind_of(receiver)) {
    case KIND_STRING:
        return dispatch_method(*g_method_lists[RECEIVER_STRING_VALUE], receiver, name, args, count);
    case KIND_ARRAY:
        return dispatch_method(*g_method_lists[RECEIVER_ARRAY_VALUE], receiver, name, args, count);
    case KIND_ASSOC_ARRAY:
        return dispatch_method(*g_method_lists[RECEIVER_ASSOC_VALUE], receiver, name, args, count);
    case KIND_HASH: {
        ValueHandle function;
        if (hash_function_entry(receiver, name, function)) return call_function(function, receiver, args, count);
        return dispatch_method(*g_method_lists[RECEIVER_HASH_VALUE], receiver, name, args, count);
    }
    case KIND_DATE:
        return dispatch_method(*g_method_lists[RECEIVER_DATE_VALUE], receiver, name, args, count);
    case KIND_REGEXP:
        return dispatch_method(*g_method_lists[RECEIVER_REGEXP_VALUE], receiver, name, args, count);
    case KIND_INTEGER:
    case KIND_FLOAT:
    case KIND_ERROR:
        if (!is_to_string(name)) raise(Error::BAD_METHOD_NAME_2145);
        return string_conversion(receiver);
    case KIND_NAME:
        if (receiver <= VALUE_NAN) {
            if (!is_to_string(name)) raise(Error::BAD_METHOD_NAME_2145);
            return string_conversion(receiver);
        }
        return VALUE_UNDEFINED;
    default:
        return VALUE_UNDEFINED;
    }
}

}  // namespace

const MethodList* g_method_lists[RECEIVER_COUNT] = {
    &MATH_LIST,         &CONSOLE_LIST,     &OBJECT_LIST,     &NUMBER_LIST,
    &DATE_LIST,         &STRING_LIST,      &STRING_VALUE_LIST, &ARRAY_VALUE_LIST,
    &ASSOC_VALUE_LIST,  &HASH_VALUE_LIST,  &DATE_VALUE_LIST, &REGEXP_VALUE_LIST,
};

int find_method(const MethodList& list, const char* name, size_t length) {
    if (length == 0 || length > list.width) return -1;
    for (int e = 0; e < list.entries; ++e) {
        const char* entry = list.names + size_t(e) * list.width;
        // The first letter and the padding first: most entries differ there.
        if (entry[0] == name[0] && (length == list.width || entry[length] == ' ') &&
            std::memcmp(entry, name, length) == 0)
            return e;
    }
    return -1;
}

bool set_method_handler(MethodReceiver receiver, const char* name, MethodHandler handler) {
    MethodHandler* handlers = handlers_of(receiver);
    if (!handlers) return false;
    int e = find_method(*g_method_lists[receiver], name, std::strlen(name));
    if (e < 0) return false;
    handlers[e] = handler;
    return true;
}

namespace {

// The entry a name was last found at in a list, so that a method called in a
// loop is not searched for each time. A list's text never changes, and a
// name's index keeps its text until the name table is made anew.
struct MethodPosition {
    const char* names;
    uint32_t name;
    uint32_t generation;
    int entry;
};
MethodPosition g_method_positions[256];

int method_entry(const MethodList& list, uint32_t name) {
    MethodPosition& slot = g_method_positions[(name ^ uint32_t(reinterpret_cast<uintptr_t>(list.names) >> 4)) & 255];
    if (slot.names == list.names && slot.name == name && slot.generation == g_name_table_generation &&
        slot.entry < list.entries)
        return slot.entry;
    int e = find_method(list, name_text(name), name_length(name));
    if (e >= 0) slot = {list.names, name, g_name_table_generation, e};
    return e;
}

}  // namespace

ValueHandle dispatch_method(const MethodList& list, ValueHandle receiver, uint32_t name, const ValueHandle* args,
                            uint32_t count) {
    int e = method_entry(list, name);
    if (e < 0) raise(list.unknown);
    if (int64_t(count) < list.min_args[e] || (list.min_args[e] == NO_ARGUMENTS && count != 0)) raise(list.too_few);
    if (list.max_args[e] != ANY_COUNT && int64_t(count) > list.max_args[e]) raise(list.too_many);
    // A method whose library handler is not built yet is not a method yet.
    if (!list.handlers || !list.handlers[e]) raise(list.unknown);
    return list.handlers[e](receiver, args, count);
}

ValueHandle call_method(ValueHandle object_expression, uint32_t name, const ValueHandle* args, uint32_t count) {
    if (is_plain_name(object_expression)) {
        switch (object_expression) {
        case NAME_MATH:
            return dispatch_method(*g_method_lists[RECEIVER_MATH], VALUE_UNDEFINED, name, args, count);
        case NAME_CONSOLE:
            return dispatch_method(*g_method_lists[RECEIVER_CONSOLE], VALUE_UNDEFINED, name, args, count);
        case NAME_OBJECT:
            return dispatch_method(*g_method_lists[RECEIVER_OBJECT], VALUE_UNDEFINED, name, args, count);
        case NAME_NUMBER:
            return dispatch_method(*g_method_lists[RECEIVER_NUMBER], VALUE_UNDEFINED, name, args, count);
        case NAME_DATE:
            return dispatch_method(*g_method_lists[RECEIVER_DATE], VALUE_UNDEFINED, name, args, count);
        case NAME_STRING:
            return dispatch_method(*g_method_lists[RECEIVER_STRING], VALUE_UNDEFINED, name, args, count);
        default:
            break;
        }
    }
    // Held for the call: a temporary receiver must outlive its method.
    ValueHandle receiver = retain(evaluate(object_expression));
    ValueHandle result;
    {
        HeldWords in_view(receiver);
        result = call_on_value(receiver, name, args, count);
    }
    retain(result);
    release(receiver);
    release_keep(result);
    return result;
}

}  // namespace tolv
