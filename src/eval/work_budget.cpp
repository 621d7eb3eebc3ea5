#include "eval/work_budget.h"

#include "runtime/errors.h"

namespace tolv {

#if TOLV_WORK_BUDGET
uint64_t g_work_left = UINT64_MAX;

void work_budget_spent() { raise(Error::WORK_BUDGET_SPENT); }
#endif

}  // namespace tolv
