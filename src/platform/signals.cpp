#include "platform/signals.h"

#include <csignal>

namespace tolv {

void ignore_broken_pipes() { std::signal(SIGPIPE, SIG_IGN); }

void hold_off_termination() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    sigaddset(&held, SIGINT);
    sigprocmask(SIG_BLOCK, &held, nullptr);
}

}  // namespace tolv
