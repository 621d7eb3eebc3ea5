#include "host/request_cycle.h"
#include "platform/own_stack.h"

namespace {
// Far more than the deepest call the evaluator allows needs, sanitizer
// frames included; only the pages touched are ever committed.
constexpr size_t EVALUATION_STACK = size_t(256) << 20;
}  // namespace

int main(int argc, char** argv) { return tolv::run_on_own_stack(EVALUATION_STACK, tolv::run_runner, argc, argv); }
