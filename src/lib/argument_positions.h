// A number argument read as a text or array position, shared by the
// library's methods. The kind tests themselves live in runtime/value.h.
#pragma once

#include <cmath>
#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// A Float rounded down, held within the 64-bit range (NaN counts as 0).
inline int64_t floor_position(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.0e18) return INT64_C(9000000000000000000);
    if (d <= -9.0e18) return -INT64_C(9000000000000000000);
    return int64_t(std::floor(d));
}

}  // namespace tolv
