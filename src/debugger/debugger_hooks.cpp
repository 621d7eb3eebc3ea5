// The session with the developer's debugger: connecting, module supply, the
// error and console lines, and the end message.
#include "debugger/debugger_hooks.h"

#include <cstdio>

#include "debugger/connection.h"
#include "debugger/debug_tables.h"
#include "debugger/expression.h"
#include "debugger/stepping.h"
#include "debugger/wire_text.h"
#include "eval/debugger_slots.h"
#include "runtime/error_listener.h"

namespace tolv {

namespace {

// Error lines go to the debugger when they can; a failure here leaves the
// error to be reported as it would have been.
void send_error_line(const char* line, size_t length) {
    if (!wire_is_open() || g_debugger_evaluating) return;
    try {
        wire_send(joined({"D", std::string_view(line, length)}));
    } catch (const WireFailure&) {
        debugger_session_closed();
    }
}

void send_console_line(char letter, const ValueHandle* args, uint32_t count) {
    if (!wire_is_open() || g_debugger_evaluating) return;
    std::string message(1, letter);
    for (uint32_t i = 0; i < count; ++i) debugger_display(args[i], message);
    send_in_session(message);
}

void apply_module_tables(uint32_t module, std::string_view payload) {
    ModuleTableTexts texts = split_module_tables(payload);
    set_trace_points(module, texts.traces);
    set_breakpoint_lines(module, texts.lines);
    std::vector<std::string> rejected;
    set_condition_breakpoints(module, texts.conditions, rejected);
    for (const std::string& text : rejected) wire_send(joined({"D評価する式が不正 '", std::string_view(text).substr(0, 100), "'"}));
}

}  // namespace

bool debugger_start(const Ipv4& client, const std::string& port) {
    if (port.empty()) return false;
    char host[32];
    std::snprintf(host, sizeof host, "%d.%d.%d.%d", client[0], client[1], client[2], client[3]);
    if (!wire_connect(host, port.c_str())) return false;
    debug_tables_reset();
    stepping_reset();
    g_debugger_slots.stopping_point = on_stopping_point;
    g_debugger_slots.call_enter = on_call_enter;
    g_debugger_slots.call_leave = on_call_leave;
    g_debugger_slots.console_line = send_console_line;
    g_error_line_listener = send_error_line;
    g_debugger_watching = true;
    return true;
}

void debugger_session_closed() {
    wire_close();
    g_debugger_watching = false;
    g_debugger_slots.console_line = nullptr;
    g_error_line_listener = nullptr;
}

void debugger_end() {
    if (!wire_is_open()) return;
    try {
        wire_send("B1X");
    } catch (const WireFailure&) {
    }
    debugger_session_closed();
}

bool debugger_connected() { return wire_is_open(); }

bool debugger_fetch_module(uint32_t module, const std::string& path, DebuggerModule& out) {
    if (!wire_is_open()) return false;
    std::string text, tables;
    try {
        wire_send(joined({"M", path}));
        text = wire_receive(ACKNOWLEDGE_TIMEOUT_MS);
        tables = wire_receive(ACKNOWLEDGE_TIMEOUT_MS);
        if (!is_unavailable(tables)) apply_module_tables(module, tables);
    } catch (const WireFailure&) {
        debugger_session_closed();
        return false;
    }
    if (is_unavailable(text) || is_unavailable(tables)) return false;
    out = DebuggerModule{};
    std::string_view body = text;
    char mark = body.empty() ? ' ' : body.front();
    if (!body.empty()) body.remove_prefix(1);
    if (mark == 'o') {
        std::vector<uint8_t> bytes;
        out.image = true;
        out.bad_image = !decode_base64(body, bytes);
        out.bytes.assign(bytes.begin(), bytes.end());
    } else {
        out.bytes.assign(body.begin(), body.end());
    }
    return true;
}

}  // namespace tolv
