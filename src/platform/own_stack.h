// Runs the program on a stack of a size of our choosing, so that deep
// recursion meets the evaluator's own guard whatever stack limit the process
// was started with.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolv {

// Calls fn(argc, argv) on a stack of `stack_bytes` and returns its result;
// runs it directly when no such stack can be had.
int run_on_own_stack(size_t stack_bytes, int (*fn)(int, char**), int argc, char** argv);

// The bounds of the stack the caller runs on: the own stack while fn runs
// on it, else the thread's. False when they cannot be read.
bool current_stack_bounds(uintptr_t& low, size_t& size);

}  // namespace tolv
