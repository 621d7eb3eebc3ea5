// Runs the program on a thread whose stack has a size of our choosing, so
// that deep recursion meets the evaluator's own guard whatever stack limit
// the process was started with.
#pragma once

#include <cstddef>

namespace tolv {

// Calls fn(argc, argv) on a new thread with a stack of `stack_bytes` and
// returns its result; runs it directly when no such thread can be made.
// Signals go to the new thread: the waiting one blocks them all.
int run_on_own_stack(size_t stack_bytes, int (*fn)(int, char**), int argc, char** argv);

}  // namespace tolv
