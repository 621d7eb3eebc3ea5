#include "debugger/debug_tables.h"

#include <algorithm>

#include "debugger/expression.h"
#include "debugger/wire_text.h"
#include "runtime/module_table.h"

namespace tolv {

namespace {

struct ModuleDebugTables {
    std::vector<uint32_t> lines;
    std::vector<ConditionBreakpoint> conditions;
    std::vector<TracePoint> traces;
};

// Module numbers are seven bits wide.
ModuleDebugTables g_tables[128];

ModuleDebugTables* tables_of(uint32_t module) { return module < 128 ? &g_tables[module] : nullptr; }

void release_conditions(ModuleDebugTables& t) {
    for (ConditionBreakpoint& c : t.conditions) release_debugger_statements(c.statements);
    t.conditions.clear();
}

std::string slashed(std::string_view path) {
    std::string s(path);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

}  // namespace

int module_by_path(std::string_view path) {
    std::string wanted = slashed(path);
    for (size_t i = 0; i < g_modules.size() && i < 128; ++i)
        if (slashed(g_modules[i].path) == wanted) return int(i);
    return -1;
}

void set_breakpoint_lines(uint32_t module, std::string_view list) {
    ModuleDebugTables* t = tables_of(module);
    if (!t) return;
    t->lines.clear();
    parse_line_list(list, t->lines);
    if (t->lines.size() > DEBUG_TABLE_LIMIT) t->lines.resize(DEBUG_TABLE_LIMIT);
}

void set_condition_breakpoints(uint32_t module, std::string_view list, std::vector<std::string>& rejected) {
    ModuleDebugTables* t = tables_of(module);
    if (!t) return;
    release_conditions(*t);
    std::vector<LineText> entries;
    parse_entry_list(list, entries);
    for (LineText& entry : entries) {
        if (t->conditions.size() == DEBUG_TABLE_LIMIT) break;
        ConditionBreakpoint c{entry.line, {}};
        if (!compile_debugger_statements(module, entry.line, entry.text, c.statements) || c.statements.empty()) {
            release_debugger_statements(c.statements);
            c.line = 0;
            rejected.push_back(entry.text);
        }
        t->conditions.push_back(std::move(c));
    }
}

void set_trace_points(uint32_t module, std::string_view list) {
    ModuleDebugTables* t = tables_of(module);
    if (!t) return;
    t->traces.clear();
    std::vector<LineText> entries;
    parse_entry_list(list, entries);
    for (LineText& entry : entries) {
        if (t->traces.size() == DEBUG_TABLE_LIMIT) break;
        t->traces.push_back({entry.line, std::move(entry.text)});
    }
}

bool is_breakpoint(uint32_t module, uint32_t line) {
    const ModuleDebugTables* t = tables_of(module);
    return t && std::find(t->lines.begin(), t->lines.end(), line) != t->lines.end();
}

const ConditionBreakpoint* condition_at(uint32_t module, uint32_t line) {
    const ModuleDebugTables* t = tables_of(module);
    if (!t || line == 0) return nullptr;
    for (const ConditionBreakpoint& c : t->conditions)
        if (c.line == line) return &c;
    return nullptr;
}

const TracePoint* trace_point_within(uint32_t module, uint32_t first, uint32_t last) {
    const ModuleDebugTables* t = tables_of(module);
    if (!t) return nullptr;
    for (const TracePoint& p : t->traces)
        if (p.line >= first && p.line <= last && p.line != 0) return &p;
    return nullptr;
}

void debug_tables_reset() {
    for (ModuleDebugTables& t : g_tables) {
        t.lines.clear();
        release_conditions(t);
        t.traces.clear();
    }
}

}  // namespace tolv
