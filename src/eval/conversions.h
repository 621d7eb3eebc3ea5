// Conversions shared by the constructor cells, plain calls and `new`.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// Number(x): a copy of a number, or a String read as a number literal (2335).
ValueHandle number_conversion(ValueHandle v);
// String(x): a new String of the plain text form.
ValueHandle string_conversion(ValueHandle v);
// Error(message[, code]) and Exception(...): 2360 for other argument types.
ValueHandle error_value(const ValueHandle* args, uint32_t count);
// Array(a, b, ...): copies of the values, room for 10 more.
ValueHandle array_of_copies(const ValueHandle* args, uint32_t count);

// Appends a String's text in place when only `owner` holds it, else returns
// false. Used by `+=` so that building a string in a loop does not copy it
// every time.
bool append_in_place(ValueHandle string, const char* text, uint32_t length);

}  // namespace tolv
