#include "protocol/fatal_exit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/answer.h"

namespace tolv {
namespace {

FatalEndHook g_fatal_end_hook = nullptr;

}  // namespace

void set_fatal_end_hook(FatalEndHook hook) { g_fatal_end_hook = hook; }

void fatal_exit(const char* message) {
    TextBuffer record;
    record.append("S148555");
    put_raw_counted_text(record, message, std::strlen(message));
    // The fatal record is written even in the command-line run: it is the
    // only word the developer gets about a broken setup.
    answer_write_always(record.data(), record.size());
    if (g_fatal_end_hook) g_fatal_end_hook();
    if (answer_enabled()) {
        answer_close();
    } else {
        std::fclose(stdout);
    }
    std::_Exit(0);
}

}  // namespace tolv
