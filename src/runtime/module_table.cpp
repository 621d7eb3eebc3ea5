#include "runtime/module_table.h"

namespace tolv {

std::vector<ModuleEntry> g_modules;

bool add_module_path(const std::string& path, ModuleType type) {
    if (g_modules.size() >= MODULE_PATH_LIMIT) return false;
    g_modules.push_back({path, type});
    return true;
}

const char* module_path(uint32_t module) {
    return module < g_modules.size() ? g_modules[module].path.c_str() : "";
}

void modules_reset() { g_modules.clear(); }

}  // namespace tolv
