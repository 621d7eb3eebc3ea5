// Feeds arbitrary payloads to runner-debug's side of the debugger protocol:
// the commands it takes while stopped (B, b, T, E) and the replies to a module
// request (text and tables). Refusals and evaluation errors are expected;
// crashes, sanitizer reports and reads past a payload are not.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "debugger/debug_tables.h"
#include "debugger/expression.h"
#include "debugger/frames.h"
#include "debugger/stepping.h"
#include "debugger/wire_text.h"
#include "eval/program.h"
#include "host/journal.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/heap.h"
#include "runtime/module_table.h"
#include "runtime/name_table.h"

namespace {

char g_module[] = "function f(a) { var b = a; return b; }\nvar g = [1, 'two', {three: 3}];\n";

void fresh_runtime() {
    using namespace tolv;
    // Conditions live in the heap: release them before it goes.
    debug_tables_reset();
    heap_reset();
    seed_name_table();
    globals_reset();
    parser_reset();
    journal_reset();
    modules_reset();
    evaluator_reset();
    g_error_context = ErrorContext{};
    add_module_path("app.js", MODULE_SOURCE);
    std::vector<char> text(g_module, g_module + sizeof g_module);
    remove_comments(text.data());
    parse_module(0, text.data());
    set_run_mode();
    run_module_initialisers();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tolv;
    if (size == 0) return 0;
    fresh_runtime();
    // Exactly the payload's bytes, so ASan sees any read beyond them.
    std::vector<char> bytes(data + 1, data + size);
    std::string_view payload(bytes.data(), bytes.size());
    try {
        switch (data[0] % 3) {
        case 0:
            apply_table_command(payload);
            break;
        case 1: {
            EvalCommand command;
            EvaluationScope scope;
            if (parse_eval_command(payload, command) && find_frame_scope(command.path, command.function, scope))
                evaluate_for_reply(scope, command.expression);
            break;
        }
        default: {
            size_t split = payload.find('\n');
            std::string_view text = payload.substr(0, split);
            std::string_view tables = split == std::string_view::npos ? std::string_view() : payload.substr(split + 1);
            ModuleTableTexts t = split_module_tables(tables);
            set_trace_points(0, t.traces);
            set_breakpoint_lines(0, t.lines);
            std::vector<std::string> rejected;
            set_condition_breakpoints(0, t.conditions, rejected);
            std::vector<uint8_t> image;
            if (!text.empty() && text[0] == 'o') decode_base64(text.substr(1), image);
            break;
        }
        }
    } catch (const ScriptThrow&) {
        // A rejected condition cannot be reported without a connection: 1850.
    }
    return 0;
}
