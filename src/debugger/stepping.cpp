#include "debugger/stepping.h"

#include <cstdio>
#include <string>

#include "debugger/connection.h"
#include "debugger/debug_tables.h"
#include "debugger/debugger_hooks.h"
#include "debugger/expression.h"
#include "debugger/frames.h"
#include "debugger/wire_text.h"
#include "eval/scopes.h"
#include "platform/shift_jis.h"
#include "platform/sleep_ms.h"
#include "runtime/errors.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {

struct StepState {
    bool stepping = false;    // stop at the next stopping point
    bool step_into = false;   // ... inside called functions too
    bool run = false;         // run to the next breakpoint
    bool step_out = false;    // stepping resumes when the call at step_out_depth returns
    uint32_t step_out_depth = 0;
};
StepState g_step;

// The stopping point seen last: a breakpoint stops where its line is entered,
// not again at every stopping point further along the same line.
uint32_t g_last_module = ~0u;
uint32_t g_last_line = 0;

// Longest text an evaluation may answer with.
constexpr size_t REPLY_TEXT_LIMIT = 16363;

[[noreturn]] void connection_lost() {
    debugger_session_closed();
    raise(Error::DEBUG_SOCKET);
}

void leave_frame(const DebuggerFrame& frame) {
    if (frame.stepping_set_aside && !g_step.run) g_step.stepping = true;
    if (g_step.step_out && frame.depth == g_step.step_out_depth) {
        g_step.stepping = true;
        g_step.step_out = false;
    }
}

// Frames of calls a throw has left.
void trim_frames(uint32_t depth) {
    while (!g_frames.empty() && g_frames.back().depth > depth) {
        leave_frame(g_frames.back());
        g_frames.pop_back();
    }
}

void current_position(uint32_t& module, uint32_t& line, uint32_t& column) {
    settle_error_position();
    module = g_error_context.module;
    line = g_error_context.line;
    column = g_error_context.column;
}

std::string shift_jis_reply(const std::string& text) { return utf8_to_shift_jis(text); }

void answer_evaluation(std::string_view body) {
    EvalCommand command;
    if (!parse_eval_command(body, command)) {
        std::string shown(body.substr(0, 100));
        send_in_session(shift_jis_reply(joined({"#式のフォーマット不正(", shown, ")"})));
        return;
    }
    EvaluationScope scope;
    if (!find_frame_scope(command.path, command.function, scope)) {
        send_in_session(shift_jis_reply("#呼び出し履歴の指定不正"));
        return;
    }
    std::string reply = evaluate_for_reply(scope, command.expression);
    if (reply.size() > REPLY_TEXT_LIMIT + 1) reply = shift_jis_reply("#ERROR: 評価結果の文字列が長すぎます。");
    send_in_session(reply);
}

[[noreturn]] void end_by_request() {
    try {
        wire_send("B1X");
    } catch (const WireFailure&) {
    }
    debugger_session_closed();
    // The developer ended the session: the request ends, whatever try the script is in.
    try {
        raise(Error::DEBUG_ENDED);
    } catch (ScriptThrow& thrown) {
        thrown.to_request_handler = true;
        throw;
    }
}

// Serves commands until a STEP resumes the run.
void serve_commands() {
    for (;;) {
        std::string command = wire_receive(COMMAND_TIMEOUT_MS);
        if (command.size() == 5 && command.compare(0, 4, "STEP") == 0) {
            switch (command[4]) {
            case '0':
                end_by_request();
            case '1':
                g_step = StepState{};
                g_step.run = true;
                return;
            case '2':
                g_step.step_into = true;
                return;
            case '3':
                g_step.step_into = false;
                return;
            case '4':
                g_step.step_out_depth = g_scope.call_depth;
                g_step.stepping = false;
                g_step.step_into = false;
                g_step.step_out = true;
                return;
            default:
                continue;  // not a step mode: keep waiting
            }
        }
        if (command.empty()) continue;
        if (command[0] == 'E') {
            answer_evaluation(std::string_view(command).substr(1));
        } else {
            apply_table_command(command);
        }
    }
}

void hold_session(const OperationCell* cell) {
    g_step.stepping = true;
    g_step.run = false;
    uint32_t module = cell->module & 0x7F;
    uint32_t line = cell->position & 0xFFFF;
    uint32_t column = (cell->position >> 16) & 0x7FFF;
    if (!g_frames.empty()) {
        g_frames.back().line = line;
        g_frames.back().column = column;
    }
    char position[64];
    std::snprintf(position, sizeof position, ":%u:%u", line, column);
    try {
        wire_send(call_stack_text(module, line, column));
        sleep_ms(2);
        wire_send(joined({"B", module_path(module), position}));
        serve_commands();
    } catch (const WireFailure&) {
        connection_lost();
    }
}

bool should_stop(uint32_t module, uint32_t line) {
    if (g_step.stepping) return true;
    if (module == g_last_module && line == g_last_line) return false;
    if (is_breakpoint(module, line)) return true;
    const ConditionBreakpoint* condition = condition_at(module, line);
    if (!condition) return false;
    std::string error;
    bool truth = evaluate_condition(condition->statements, error);
    if (!error.empty()) send_in_session(error);
    return truth;
}

}  // namespace

void send_in_session(std::string_view payload) {
    try {
        wire_send(payload);
    } catch (const WireFailure&) {
        connection_lost();
    }
}

void apply_table_command(std::string_view command) {
    std::string_view path, list;
    if (command.empty() || !split_path(command.substr(1), path, list)) return;
    int module = module_by_path(path);
    if (module < 0) return;
    switch (command[0]) {
    case 'B':
        set_breakpoint_lines(uint32_t(module), list);
        break;
    case 'b': {
        std::vector<std::string> rejected;
        set_condition_breakpoints(uint32_t(module), list, rejected);
        for (const std::string& text : rejected) {
            send_in_session(joined({"D評価する式が不正 '", std::string_view(text).substr(0, 100), "'"}));
        }
        break;
    }
    case 'T':
        set_trace_points(uint32_t(module), list);
        break;
    default:
        break;
    }
}

void on_stopping_point(const OperationCell* cell) {
    if (!g_frames.empty() && g_frames.back().depth > g_scope.call_depth) trim_frames(g_scope.call_depth);
    uint32_t module = cell->module & 0x7F;
    uint32_t line = cell->position & 0xFFFF;
    bool stop = should_stop(module, line);
    g_last_module = module;
    g_last_line = line;
    if (stop) hold_session(cell);
}

void on_call_enter(ValueHandle function) {
    uint32_t depth = g_scope.call_depth;
    trim_frames(depth - 1);
    uint32_t module, line, column;
    current_position(module, line, column);
    if (!g_frames.empty()) {
        g_frames.back().line = line;
        g_frames.back().column = column;
    }
    const FunctionCell* fn = cell_as<FunctionCell>(function);
    DebuggerFrame frame{uint32_t(fn->module & 0x7F), fn->first_line, 0, function_name_of(function),
                        g_scope.frame_base, depth, false, {}};
    if (g_step.stepping && !g_step.step_into) {
        frame.stepping_set_aside = true;
        g_step.stepping = false;
    }
    const TracePoint* trace = trace_point_within(frame.module, fn->first_line, fn->last_line);
    if (trace) frame.trace_name = trace->name;
    g_frames.push_back(std::move(frame));
    if (!trace) return;

    std::string message = joined({"A", trace->name, "("});
    uint32_t first = g_scope.frame_base;
    if (first <= g_bindings.top && g_bindings.items[first].name_word == NAME_THIS) ++first;
    for (uint32_t i = 0; i < fn->param_count && first + i <= g_bindings.top; ++i) {
        message += i ? ", " : " ";
        uint32_t name = g_bindings.items[first + i].name_word & ~CONSTANT_BINDING;
        message.append(name_text(name), name_length(name));
        message += "=";
        debugger_display(g_bindings.items[first + i].value, message);
    }
    message += " )";
    send_in_session(message);
}

void on_call_leave(ValueHandle result) {
    uint32_t depth = g_scope.call_depth;
    trim_frames(depth);
    if (g_frames.empty() || g_frames.back().depth != depth) return;
    DebuggerFrame frame = std::move(g_frames.back());
    g_frames.pop_back();
    leave_frame(frame);
    if (frame.trace_name.empty()) return;
    std::string message = joined({"R", frame.trace_name, "( "});
    debugger_display(result, message);
    message += " )";
    send_in_session(message);
}

void stepping_reset() {
    g_step = StepState{};
    g_last_module = ~0u;
    g_last_line = 0;
    g_frames.clear();
}

}  // namespace tolv
