#include "eval/held_values.h"

namespace tolv {

HeldValues g_held;

ValueHandle evaluate_holding(ValueHandle& held, ValueHandle operand) {
    HeldValue retain(held);
    return evaluate(operand);
}

}  // namespace tolv
