#include "debugger/frames.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "debugger/debug_tables.h"
#include "debugger/wire_text.h"
#include "eval/scopes.h"
#include "runtime/globals.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"

namespace tolv {

std::vector<DebuggerFrame> g_frames;

namespace {

std::string slashed(std::string_view path) {
    std::string s(path);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

}  // namespace

std::string function_name_of(ValueHandle function) {
    // Every call asks: remember where each function was found, and look again
    // only when that global no longer holds it.
    static std::unordered_map<ValueHandle, uint32_t> found;
    auto holds = [function](uint32_t name) {
        return name < name_count() && global_declared(name) && global_value(name) == function;
    };
    auto known = found.find(function);
    uint32_t name = known != found.end() && holds(known->second) ? known->second : 0;
    for (uint32_t n = VALUE_NAN + 1; name == 0 && n < name_count(); ++n)
        if (holds(n)) name = n;
    if (name == 0) return "anonymous";
    found[function] = name;
    return std::string(name_text(name), name_length(name));
}

std::string call_stack_text(uint32_t module, uint32_t line, uint32_t column) {
    std::string out;
    char numbers[32];
    if (g_frames.empty()) {
        std::snprintf(numbers, sizeof numbers, "%u:%u", line, column);
        return joined({module_path(module), "::", numbers});
    }
    for (size_t i = 0; i < g_frames.size(); ++i) {
        const DebuggerFrame& f = g_frames[i];
        bool top = i + 1 == g_frames.size();
        if (i) out += ';';
        std::snprintf(numbers, sizeof numbers, "%u:%u", top ? line : f.line, top ? column : f.column);
        out += joined({module_path(top ? module : f.module), ":", f.function, ":", numbers});
    }
    return out;
}

bool find_frame_scope(std::string_view path, std::string_view function, EvaluationScope& scope) {
    std::string wanted = slashed(path);
    for (size_t i = g_frames.size(); i-- > 0;) {
        const DebuggerFrame& f = g_frames[i];
        if (f.function != function || slashed(module_path(f.module)) != wanted) continue;
        uint32_t top = i + 1 < g_frames.size() ? g_frames[i + 1].frame_base - 1 : g_bindings.top;
        scope = {f.frame_base, top, f.module, f.line};
        return true;
    }
    if (!function.empty()) return false;
    uint32_t top = g_frames.empty() ? g_bindings.top : g_frames.front().frame_base - 1;
    int module = module_by_path(path);
    scope = {0, top, module < 0 ? 0u : uint32_t(module), 0};
    return true;
}

}  // namespace tolv
