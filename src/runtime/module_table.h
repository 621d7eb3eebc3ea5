// The module path table: configuration INCLUDE lines, a request's M record and
// the command line's files, in that order, then "MainScript".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolv {

enum ModuleType : uint8_t {
    MODULE_UNTYPED = 0,  // INCLUDE and command-line paths: loaded as source
    MODULE_SOURCE = 1,   // ".js"
    MODULE_IMAGE = 2,    // ".jo"
};

struct ModuleEntry {
    std::string path;
    ModuleType type;
};

constexpr uint32_t MODULE_PATH_LIMIT = 127;

// Module number = index in the table (fits the 7 bits of an operation cell).
extern std::vector<ModuleEntry> g_modules;

// Appends a path; false when the table already holds MODULE_PATH_LIMIT paths.
bool add_module_path(const std::string& path, ModuleType type);
// The module's path for messages; "" for an unknown number.
const char* module_path(uint32_t module);
void modules_reset();

}  // namespace tolv
