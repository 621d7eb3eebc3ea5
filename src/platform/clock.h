// Readings of the system clock.
#pragma once

#include <cstdint>

namespace tolv {

// Seconds since 1970-01-01 00:00:00 UTC.
int64_t now_seconds();
// Milliseconds since 1970-01-01 00:00:00 UTC.
int64_t now_milliseconds();

}  // namespace tolv
