#include "protocol/fatal_exit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "protocol/answer.h"

namespace tolv {
namespace {

FatalEndHook g_fatal_end_hook = nullptr;
bool g_command_line = false;

void write_all(int fd, const char* data, size_t left) {
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n <= 0) break;
        data += n;
        left -= size_t(n);
    }
}

}  // namespace

FatalEndHook set_fatal_end_hook(FatalEndHook hook) {
    FatalEndHook previous = g_fatal_end_hook;
    g_fatal_end_hook = hook;
    return previous;
}

void set_fatal_for_command_line() { g_command_line = true; }

void fatal_exit(const char* message) {
    if (g_command_line) {
        // A developer at a terminal: the message as a line of its own, and
        // an exit code that scripts and make can see.
        std::fflush(stdout);
        TextBuffer text;
        text.append("ERROR 8555 : ");
        text.append(message, std::strlen(message));
        text.append("\n");
        write_all(STDERR_FILENO, text.data(), text.size());
        if (g_fatal_end_hook) g_fatal_end_hook();
        std::fclose(stdout);
        std::_Exit(1);
    }
    TextBuffer record;
    record.append("S148555");
    put_raw_counted_text(record, message, std::strlen(message));
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
