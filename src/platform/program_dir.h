// Directory of the running executable, where the configuration file lives.
#pragma once

#include <string>

namespace tolv {

// The executable's directory with a trailing "/"; "./" when it cannot be
// determined.
std::string program_dir();
// The executable's own file name; "" when it cannot be determined.
std::string program_file_name();

}  // namespace tolv
