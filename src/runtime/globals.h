// Global variables, indexed by name index.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// Declares the name (value undefined) unless already declared.
void declare_global(uint32_t name);
// Declares if needed and stores the value: the new value is retained, the old released.
void define_global(uint32_t name, ValueHandle value);
bool global_declared(uint32_t name);
// The value, or VALUE_UNDEFINED when not declared.
ValueHandle global_value(uint32_t name);
// Every global slot, for code that must find or replace the holders of a value.
ValueHandle* global_slots(size_t& count);
void globals_reset();

}  // namespace tolv
