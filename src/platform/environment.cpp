#include "platform/environment.h"

#include <cstdlib>

namespace tolv {

const char* environment_get(const char* name) { return std::getenv(name); }

bool environment_set(const std::string& name, const std::string& value) {
    if (name.empty() || name.find('=') != std::string::npos) return false;
    // "NAME=" removes the variable, as the Windows runtime's setter does.
    if (value.empty()) return unsetenv(name.c_str()) == 0;
    return setenv(name.c_str(), value.c_str(), 1) == 0;
}

}  // namespace tolv
