// The process environment.
#pragma once

#include <string>

namespace tolv {

// The variable's value, or nullptr when it is not set.
const char* environment_get(const char* name);
// Sets the variable; an empty value removes it. False for an empty name or a
// name containing "=".
bool environment_set(const std::string& name, const std::string& value);

}  // namespace tolv
