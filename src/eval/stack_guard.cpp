#include "eval/stack_guard.h"

#include <pthread.h>

#include "eval/scopes.h"
#include "runtime/errors.h"

namespace tolv {

uintptr_t g_stack_floor = 0;

void init_stack_guard() {
    if (g_stack_floor != 0) return;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
    void* low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &low, &size) == 0 && size > 2 * STACK_RESERVE)
        g_stack_floor = reinterpret_cast<uintptr_t>(low) + STACK_RESERVE;
    pthread_attr_destroy(&attr);
}

void call_too_deep() {
    eval_fail(2160, "関数呼出しのネストが深すぎます(%u)", unsigned(g_scope.call_depth));
}

}  // namespace tolv
