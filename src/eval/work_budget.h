// A bound on how much a script may run, for fuzzing builds only: a target
// evaluates what it loads without hanging on a loop that it made up. Every
// loop round and every call spends one unit; once spent, each further one
// raises 9998 again, so no `catch` can keep a loop going. Other builds count
// nothing.
#pragma once

#include <cstdint>

namespace tolv {

#if TOLV_WORK_BUDGET
extern uint64_t g_work_left;
[[noreturn]] void work_budget_spent();
inline void spend_work() {
    if (g_work_left == 0) work_budget_spent();
    --g_work_left;
}
inline void set_work_budget(uint64_t units) { g_work_left = units; }
#else
inline void spend_work() {}
inline void set_work_budget(uint64_t) {}
#endif

}  // namespace tolv
