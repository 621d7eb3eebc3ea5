#include "eval/work_budget.h"

#include "runtime/errors.h"

namespace tolv {

#if TOLV_WORK_BUDGET
uint64_t g_work_left = UINT64_MAX;

void work_budget_spent() { eval_fail(9998, "%s", "work budget spent"); }
#endif

}  // namespace tolv
