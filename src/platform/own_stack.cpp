#include "platform/own_stack.h"

#include <pthread.h>
#include <signal.h>

namespace tolv {

namespace {

struct Call {
    int (*fn)(int, char**);
    int argc;
    char** argv;
    int result;
};

void* run_call(void* p) {
    auto* call = static_cast<Call*>(p);
    call->result = call->fn(call->argc, call->argv);
    return nullptr;
}

}  // namespace

int run_on_own_stack(size_t stack_bytes, int (*fn)(int, char**), int argc, char** argv) {
    Call call{fn, argc, argv, 0};
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return fn(argc, argv);
    pthread_t thread;
    bool started = pthread_attr_setstacksize(&attr, stack_bytes) == 0 &&
                   pthread_create(&thread, &attr, run_call, &call) == 0;
    pthread_attr_destroy(&attr);
    if (!started) return fn(argc, argv);
    // The new thread has the signal mask we had; from now on signals are its
    // to take (or to hold off), not the waiting thread's.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_join(thread, nullptr);
    return call.result;
}

}  // namespace tolv
