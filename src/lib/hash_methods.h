// The Hash methods (keys, toString, clear, delete, get, has, set, forEach)
// and Object.keys. A call on a Hash first looks for a function stored under
// the method's name (the evaluator's dispatch does that), then here.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

void install_hash_methods();

// A new Array of the keys' texts as Strings, in entry order.
ValueHandle hash_keys(ValueHandle hash, const ValueHandle* args, uint32_t count);

}  // namespace tolv
