#include "platform/own_stack.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

namespace tolv {

namespace {

struct Call {
    int (*fn)(int, char**);
    int argc;
    char** argv;
    int result;
};

uintptr_t s_own_low = 0;
size_t s_own_size = 0;

#if defined(__SANITIZE_ADDRESS__)
#define TOLV_STACK_ON_THREAD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLV_STACK_ON_THREAD 1
#endif
#endif

#ifdef TOLV_STACK_ON_THREAD
// The sanitizers follow a thread's stack but not a switched one.
void* run_call(void* p) {
    auto* call = static_cast<Call*>(p);
    call->result = call->fn(call->argc, call->argv);
    return nullptr;
}
#else
// A switch of stacks on the one thread: no thread to create, schedule and
// join, and no second malloc arena.
Call* s_call = nullptr;
ucontext_t s_caller;

void run_switched() {
    s_call->result = s_call->fn(s_call->argc, s_call->argv);
}
#endif

}  // namespace

#ifdef TOLV_STACK_ON_THREAD
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
#else
// Runs s_call on the stack at s_own_low; false when no context could be made.
// Everything it needs lives in statics: getcontext returns twice.
bool switch_and_run() {
    ucontext_t own;
    if (getcontext(&own) != 0) return false;
    own.uc_stack.ss_sp = reinterpret_cast<void*>(s_own_low);
    own.uc_stack.ss_size = s_own_size;
    own.uc_link = &s_caller;
    makecontext(&own, run_switched, 0);
    return swapcontext(&s_caller, &own) == 0;
}

int run_on_own_stack(size_t stack_bytes, int (*fn)(int, char**), int argc, char** argv) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    stack_bytes = (stack_bytes + page - 1) / page * page;
    // Only the pages touched are ever committed; the lowest one stays a guard.
    void* base = mmap(nullptr, stack_bytes + page, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (base == MAP_FAILED) return fn(argc, argv);
    Call call{fn, argc, argv, 0};
    bool ran = false;
    if (mprotect(base, page, PROT_NONE) == 0) {
        s_call = &call;
        s_own_low = reinterpret_cast<uintptr_t>(base) + page;
        s_own_size = stack_bytes;
        ran = switch_and_run();
        s_own_low = 0;
        s_own_size = 0;
        s_call = nullptr;
    }
    munmap(base, stack_bytes + page);
    return ran ? call.result : fn(argc, argv);
}
#endif

bool current_stack_bounds(uintptr_t& low, size_t& size) {
    if (s_own_size != 0) {
        low = s_own_low;
        size = s_own_size;
        return true;
    }
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return false;
    void* stack_low = nullptr;
    bool known = pthread_attr_getstack(&attr, &stack_low, &size) == 0;
    pthread_attr_destroy(&attr);
    low = reinterpret_cast<uintptr_t>(stack_low);
    return known;
}

}  // namespace tolv
