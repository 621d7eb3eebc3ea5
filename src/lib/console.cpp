// console.log and console.error: one journal line per call, echoed to
// standard output in the command-line run.
#include "lib/console.h"

#include <cstdio>

#include "eval/debugger_slots.h"
#include "eval/methods.h"
#include "runtime/errors.h"
#include "runtime/journal_lines.h"
#include "runtime/text.h"

namespace tolv {

namespace {

ValueHandle write_console_line(const char* prefix, const ValueHandle* args, uint32_t count) {
    TextBuffer line;
    line.append(prefix);
    for (uint32_t i = 0; i < count; ++i) text_of(args[i], line);
    line.append_char('\n');
    journal_append(line.data(), line.size());
    if (g_error_context.mode == RunMode::COMMAND_LINE) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
#if TOLV_DEBUGGER
    if (g_debugger_slots.console_line) g_debugger_slots.console_line(prefix[1], args, count);
#endif
    return VALUE_UNDEFINED;
}

ValueHandle console_log(ValueHandle, const ValueHandle* args, uint32_t count) {
    return write_console_line("(L) ", args, count);
}

ValueHandle console_error(ValueHandle, const ValueHandle* args, uint32_t count) {
    return write_console_line("(E) ", args, count);
}

}  // namespace

void install_console() {
    set_method_handler(RECEIVER_CONSOLE, "log", console_log);
    set_method_handler(RECEIVER_CONSOLE, "error", console_error);
}

}  // namespace tolv
