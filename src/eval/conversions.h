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

}  // namespace tolv
