// Guards deep recursion of script functions: a call that would nest too deep,
// or leave too little machine stack, raises a numbered evaluation error that
// scripts can catch.
#pragma once

#include <cstdint>

namespace tolv {

// Simple recursion reaches this depth in every build (the sanitizer build
// runs out of an 8 MiB stack near 9000); heavier frames meet the stack check.
constexpr uint32_t CALL_DEPTH_LIMIT = 8000;
// Machine stack kept free below the deepest call: room for the handlers
// between two calls and for the error path itself, sanitizer frames included.
constexpr uintptr_t STACK_RESERVE = 1024 * 1024;

extern uintptr_t g_stack_floor;  // lowest address a call may start from

// Reads the thread's stack bounds (once).
void init_stack_guard();

// Raises 2160 when the call depth or the stack is exhausted.
[[noreturn]] void call_too_deep();

inline void check_call_depth(uint32_t depth) {
    if (depth >= CALL_DEPTH_LIMIT ||
        reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < g_stack_floor) [[unlikely]]
        call_too_deep();
}

}  // namespace tolv
