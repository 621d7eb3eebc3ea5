// Directory of the running executable, where the configuration file lives.
#pragma once

#include <string>

namespace tolv {

// The executable's directory with a trailing "/"; "./" when it cannot be
// determined.
std::string program_dir();

}  // namespace tolv
