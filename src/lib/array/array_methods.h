// The Array methods: one handler per method and array kind, plugged into the
// evaluator's Array and assoc-array method lists by install_array_methods.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

void install_array_methods();

#define TOLV_ARRAY_HANDLER(name) ValueHandle name(ValueHandle receiver, const ValueHandle* args, uint32_t count)

// Arrays (kind 10).
TOLV_ARRAY_HANDLER(array_concat);
TOLV_ARRAY_HANDLER(array_keys);
TOLV_ARRAY_HANDLER(array_reverse);
TOLV_ARRAY_HANDLER(array_index_of);
TOLV_ARRAY_HANDLER(array_last_index_of);
TOLV_ARRAY_HANDLER(array_join);
TOLV_ARRAY_HANDLER(array_pop);
TOLV_ARRAY_HANDLER(array_push_values);
TOLV_ARRAY_HANDLER(array_slice);
TOLV_ARRAY_HANDLER(array_to_string);
TOLV_ARRAY_HANDLER(array_shift);
TOLV_ARRAY_HANDLER(array_unshift);
TOLV_ARRAY_HANDLER(array_copy_within);
TOLV_ARRAY_HANDLER(array_fill);
TOLV_ARRAY_HANDLER(array_includes);
TOLV_ARRAY_HANDLER(array_sort);
TOLV_ARRAY_HANDLER(array_splice);

// Assoc arrays (kind 11); concat and toString are shared with arrays.
TOLV_ARRAY_HANDLER(assoc_keys);
TOLV_ARRAY_HANDLER(assoc_index_of);
TOLV_ARRAY_HANDLER(assoc_last_index_of);
TOLV_ARRAY_HANDLER(assoc_join);
TOLV_ARRAY_HANDLER(assoc_pop);
TOLV_ARRAY_HANDLER(assoc_push);
TOLV_ARRAY_HANDLER(assoc_shift);
TOLV_ARRAY_HANDLER(assoc_unshift);

#undef TOLV_ARRAY_HANDLER

}  // namespace tolv
