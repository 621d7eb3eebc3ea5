// Integer expressions translated once into a flat list of steps. An
// expression made only of Integer literals, variables, + - * / % and the bit
// operations and shifts on them, Array elements by such an index (`a[i]`,
// `a[i][k]`), Hash entries (`o.n`, `this.count`) and lengths, runs nothing
// but reads, so it can be computed from a list of steps with the names
// already picked out, without walking its cells each time. Comparisons of
// two such expressions and assignments of one (`=`, `+=` and the other
// operators) to a variable, an element or an entry are translated too. The
// list is kept beside the operation cell and made the first time the cell is
// evaluated.
//
// A run gives the same number the cells would, or gives up before anything
// is changed: a value that is not an Integer, an element or entry that is not
// there, a zero divisor, a name that needs the evaluator's own lookup, a
// constant. The caller then evaluates the cells as usual, which reaches the
// same value or raises the error with its position. Expressions that give up
// more often than not stop being tried.
#pragma once

#include <cstdint>

#include "runtime/operation_notes.h"
#include "runtime/value.h"

namespace tolv {

// A cell's word when it has no program: most cells a script evaluates are
// turned away by this one inline compare.
constexpr uint32_t NOTE_NO_PROGRAM = 1;

bool run_noted_integer_program(ValueHandle cell, uint32_t word, int32_t& out);
int run_noted_comparison_program(ValueHandle cell, uint32_t word);
bool run_noted_assignment_program(ValueHandle cell, uint32_t word, ValueHandle& result);

// The Integer an operation of + - * / % or of the bit operations, or an
// index read for its number, gives: true and the number in `out`, or false
// to evaluate the cell as usual.
inline bool run_integer_program(ValueHandle cell, int32_t& out) {
    uint32_t word = operation_note(cell);
    return word != NOTE_NO_PROGRAM && run_noted_integer_program(cell, word, out);
}

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
inline int run_comparison_program(ValueHandle cell) {
    uint32_t word = operation_note(cell);
    return word == NOTE_NO_PROGRAM ? -1 : run_noted_comparison_program(cell, word);
}

// `x = <expression>` or `x op= <expression>` on a variable, an Array element
// or a Hash entry: true with the assignment's value in `result` when it was
// made, false to evaluate the cell as usual.
inline bool run_assignment_program(ValueHandle cell, ValueHandle& result) {
    uint32_t word = operation_note(cell);
    return word != NOTE_NO_PROGRAM && run_noted_assignment_program(cell, word, result);
}

}  // namespace tolv
