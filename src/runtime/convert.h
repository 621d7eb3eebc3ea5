// Numeric conversions and the deep copy that `new` makes.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

struct ParsedNumber {
    bool is_integer;
    int64_t integer;
    double real;
    const char* end;  // first character after the number
};

// Parses a number text whose sign the caller has already removed.
// Raises the parse error 1405 on a malformed fraction or exponent.
ParsedNumber parse_number(const char* text, int sign);

// New KIND_INTEGER (or KIND_FLOAT for a negative or out-of-range fractional
// text); raises 1410 for kinds other than Integer, Float and String.
ValueHandle to_integer(ValueHandle v);
// New KIND_FLOAT; raises 1415 for kinds other than Integer, Float and String.
ValueHandle to_float(ValueHandle v);
// Deep copy for `new`; raises 1420 for kinds that cannot be copied.
ValueHandle copy_value(ValueHandle v);

}  // namespace tolv
