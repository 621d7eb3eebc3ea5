#include "eval/stack_guard.h"

#include "eval/scopes.h"
#include "platform/own_stack.h"
#include "runtime/errors.h"

namespace tolv {

uintptr_t g_stack_floor = 0;

void init_stack_guard() {
    if (g_stack_floor != 0) return;
    uintptr_t low = 0;
    size_t size = 0;
    if (current_stack_bounds(low, size) && size > 2 * STACK_RESERVE) g_stack_floor = low + STACK_RESERVE;
}

void call_too_deep() {
    raise(Error::CALLS_TOO_DEEP, unsigned(g_scope.call_depth));
}

}  // namespace tolv
