// Loading the modules of the path table, once per request.
#pragma once

#include <string>

namespace tolv {

// Loads every module not loaded yet, in table order: the file is MODULE_DIR +
// "/" + the path (the path alone when MODULE_DIR is empty). Raises the parse
// error 1165 when a file cannot be read.
void load_all_modules();
// The file name a module path is read from.
std::string module_file_name(const std::string& path);
// runner-debug asks a connected debugger for module texts unless a request forbids it.
#if TOLV_DEBUGGER
void set_modules_from_debugger(bool allowed);
#else
inline void set_modules_from_debugger(bool) {}
#endif
void module_loading_reset();

}  // namespace tolv
