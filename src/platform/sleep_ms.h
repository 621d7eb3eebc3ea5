// Blocking pause of the calling process.
#pragma once

#include <cstdint>

namespace tolv {

void sleep_ms(uint32_t milliseconds);

}  // namespace tolv
