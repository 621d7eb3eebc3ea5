// The String value methods: their fixed-width table, argument limits and
// handlers. The regular-expression methods of the table are built with the
// RegExp engine, which plugs its handlers in with set_string_method_handler.
#pragma once

#include <cstdint>

#include "eval/methods.h"
#include "runtime/value.h"

namespace tolv {

// Makes the table the String values' method list.
void install_string_methods();

// Plugs a handler into the String method table; false when the name is not
// one of its entries.
bool set_string_method_handler(const char* name, MethodHandler handler);

// The forms of split, replace and replaceAll that take a String (or any
// non-RegExp value) as separator or pattern. A RegExp-aware handler falls
// back to these for every other argument.
ValueHandle string_split(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_replace(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_replace_all(ValueHandle receiver, const ValueHandle* args, uint32_t count);

}  // namespace tolv
