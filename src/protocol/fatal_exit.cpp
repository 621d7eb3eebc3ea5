#include "protocol/fatal_exit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

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
    std::fflush(stdout);
    const char* data = record.data();
    size_t left = record.size();
    while (left > 0) {
        ssize_t n = ::write(STDOUT_FILENO, data, left);
        if (n <= 0) break;
        data += n;
        left -= size_t(n);
    }
    if (g_fatal_end_hook) g_fatal_end_hook();
    std::fclose(stdout);
    std::_Exit(0);
}

}  // namespace tolv
