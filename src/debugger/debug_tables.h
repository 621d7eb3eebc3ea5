// Per-module breakpoints, condition breakpoints and trace points, as the
// debugger last sent them. Cleared when a connection is made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace tolv {

struct ConditionBreakpoint {
    uint32_t line;                        // 0 when the condition did not parse
    std::vector<ValueHandle> statements;  // each holding one reference
};

struct TracePoint {
    uint32_t line;
    std::string name;
};

// At most this many entries per list and module.
constexpr size_t DEBUG_TABLE_LIMIT = 256;

// The module numbered like `path` in the module table (backslashes taken as
// slashes), or -1.
int module_by_path(std::string_view path);

void set_breakpoint_lines(uint32_t module, std::string_view list);
// Conditions that do not parse are listed in `rejected` (their texts).
void set_condition_breakpoints(uint32_t module, std::string_view list, std::vector<std::string>& rejected);
void set_trace_points(uint32_t module, std::string_view list);

bool is_breakpoint(uint32_t module, uint32_t line);
const ConditionBreakpoint* condition_at(uint32_t module, uint32_t line);
// The first trace point of the module whose line lies within first..last.
const TracePoint* trace_point_within(uint32_t module, uint32_t first, uint32_t last);

void debug_tables_reset();

}  // namespace tolv
