// Method dispatch: `object.name(args)` on the predefined objects (Math,
// console, Object, Number, Date, String) and on values by kind. Names are
// found in fixed-width, blank-padded lists; argument counts are checked
// against each entry's limits before its handler runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/error_table.h"
#include "runtime/value.h"

namespace tolv {

// Receives the receiver (VALUE_UNDEFINED for the predefined objects), the
// evaluated arguments and their count. The result is new or borrowed.
using MethodHandler = ValueHandle (*)(ValueHandle receiver, const ValueHandle* args, uint32_t count);

constexpr int16_t ANY_COUNT = -1;
// A minimum for methods that take no argument at all: any argument is
// reported with the too-few error ("not the required count").
constexpr int16_t NO_ARGUMENTS = -2;

struct MethodList {
    const char* names;         // entries of `width` characters, blank padded
    uint8_t width;
    uint8_t entries;
    const int16_t* min_args;   // per entry
    const int16_t* max_args;   // per entry; ANY_COUNT = no maximum
    MethodHandler* handlers;   // per entry; null until the library is built
    ErrorForm<> unknown;       // no such method, or its handler is not built
    ErrorForm<> too_few;       // fewer arguments than the entry's minimum
    ErrorForm<> too_many;
};

enum MethodReceiver : uint8_t {
    RECEIVER_MATH,
    RECEIVER_CONSOLE,
    RECEIVER_OBJECT,
    RECEIVER_NUMBER,
    RECEIVER_DATE,
    RECEIVER_STRING,
    RECEIVER_STRING_VALUE,
    RECEIVER_ARRAY_VALUE,
    RECEIVER_ASSOC_VALUE,
    RECEIVER_HASH_VALUE,
    RECEIVER_DATE_VALUE,
    RECEIVER_REGEXP_VALUE,
    RECEIVER_COUNT,
};

// The list per receiver. The library parts replace the value lists with
// their own tables (names, limits, handlers) at start-up.
extern const MethodList* g_method_lists[RECEIVER_COUNT];

// Entry index of a whole-entry match, or -1.
int find_method(const MethodList& list, const char* name, size_t length);

// Plugs a handler into one of the predefined objects' lists (Math, console,
// Object, Number, Date, String); false when the name is not in the list.
bool set_method_handler(MethodReceiver receiver, const char* name, MethodHandler handler);

// Checks the count and runs the entry's handler; an entry without a handler
// raises the list's unknown-method error.
ValueHandle dispatch_method(const MethodList& list, ValueHandle receiver, uint32_t name, const ValueHandle* args,
                            uint32_t count);

// `object.name(args)` with the arguments already evaluated.
ValueHandle call_method(ValueHandle object_expression, uint32_t name, const ValueHandle* args, uint32_t count);

}  // namespace tolv
