// Integer expressions translated once into a flat list of steps. An
// expression made only of Integer literals, variables, + - * / % and the bit
// operations and shifts on them, and reads of Array elements by such an
// index (`a[i]`, `a[i][k]`) runs nothing but reads, so it can be computed
// from a list of steps with the names already picked out, without walking
// its cells each time. The list is kept beside the expression's operation
// cell and made the first time the expression is evaluated.
//
// A run gives the same number the cells would, or gives up before anything
// is changed: a value that is not an Integer, an element out of range, a
// zero divisor, a name that is not a plain local or global. The caller then
// evaluates the cells as usual, which reaches the same value or raises the
// error with its position. Expressions that give up more often than not stop
// being tried.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// The Integer an operation of + - * / % or of the bit operations, or an
// index read for its number, gives: true and the number in `out`, or false
// to evaluate the cell as usual.
bool run_integer_program(ValueHandle cell, int32_t& out);

// One operator on two variables or literals (`n < 2`, `i + 1`) is read as
// fast from its cell as from steps: such a cell gets no program, and is
// not looked up for one.
inline bool operates_on_operations(const OperationCell* c) {
    return c->operand_count != 2 || (c->operand[0] >> 24) == KIND_OPERATION ||
           (c->operand[1] >> 24) == KIND_OPERATION;
}

// Whether comparison `cell` of two Integer expressions holds: 1 or 0, or -1
// to evaluate the cell as usual. The comparison's own position is the
// caller's to note.
int run_comparison_program(ValueHandle cell);

// `x = <expression>` on a local or parameter: true with the assignment's
// value in `result` when it was made, false to evaluate the cell as usual.
bool run_assignment_program(ValueHandle cell, ValueHandle& result);

}  // namespace tolv
