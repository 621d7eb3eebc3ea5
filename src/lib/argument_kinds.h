// Kind tests and number readings shared by the library's argument checks.
#pragma once

#include <cmath>
#include <cstdint>

#include "runtime/value.h"

namespace tolv {

inline bool is_integer(ValueHandle v) { return kind_of(v) == KIND_INTEGER && !is_sentinel(v); }
inline bool is_float(ValueHandle v) { return kind_of(v) == KIND_FLOAT && !is_sentinel(v); }
inline bool is_number(ValueHandle v) { return is_integer(v) || is_float(v); }
inline bool is_string(ValueHandle v) { return kind_of(v) == KIND_STRING && !is_sentinel(v); }

inline double number_value(ValueHandle v) { return is_integer(v) ? double(integer_value(v)) : float_value(v); }

// A Float rounded down, held within the 64-bit range (NaN counts as 0).
inline int64_t floor_position(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.0e18) return INT64_C(9000000000000000000);
    if (d <= -9.0e18) return -INT64_C(9000000000000000000);
    return int64_t(std::floor(d));
}

}  // namespace tolv
