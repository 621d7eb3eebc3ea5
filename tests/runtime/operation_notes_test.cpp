// The word kept beside an operation cell lives exactly as long as the cell.
#include "runtime/heap_fixture.h"
#include "runtime/opcodes.h"
#include "runtime/operation_notes.h"

namespace tolv::tests {
namespace {

using OperationNotesTest = HeapTest;

// `undefined + undefined`: an operation that owns nothing else.
ValueHandle new_operation() {
    ValueHandle h = new_cell(KIND_OPERATION, 1);
    OperationCell* c = cell_as<OperationCell>(h);
    c->opcode = OP_ADD_CHAIN;
    c->operand_count = 2;
    c->operand[0] = c->operand[1] = VALUE_UNDEFINED;
    return h;
}

TEST_F(OperationNotesTest, AWordGoesWithItsCell) {
    set_run_mode();
    ValueHandle cell = new_operation();
    ValueHandle other = new_operation();
    EXPECT_EQ(operation_note(cell), 0u);
    ASSERT_TRUE(set_operation_note(cell, 7));
    ASSERT_TRUE(set_operation_note(other, 9));
    EXPECT_EQ(operation_note(cell), 7u);

    // The freed cell's place is taken again, by a cell that has no word yet.
    release(cell);
    ValueHandle again = new_operation();
    EXPECT_EQ(again, cell);
    EXPECT_EQ(operation_note(again), 0u);
    EXPECT_EQ(operation_note(other), 9u);

    // Emptying the heap clears every word.
    heap_reset();
    EXPECT_EQ(operation_note(other), 0u);
}

}  // namespace
}  // namespace tolv::tests
