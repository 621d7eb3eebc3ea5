// One word beside every operation cell, kept by the evaluator for its own use
// (a cell's translation into a faster form, say). A cell's word is zero until
// someone sets it, and freeing the cell (or the whole heap) clears it, so a
// word never outlives the cell it was written for.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

struct OperationNotes {
    uint32_t* words;    // indexed by cell number; reserved, zero pages until touched
    uint32_t highest;   // one past the highest cell number ever given a word
    uint32_t resets;    // how many times every word was cleared at once
};
extern OperationNotes g_operation_notes;

constexpr uint32_t cell_number(ValueHandle cell) { return cell & 0xFFFFF; }

inline uint32_t operation_note(ValueHandle cell) {
    return g_operation_notes.words ? g_operation_notes.words[cell_number(cell)] : 0;
}
// False when the words could not be reserved; the cell then keeps no word.
bool set_operation_note(ValueHandle cell, uint32_t word);
inline void forget_operation_note(ValueHandle cell) {
    if (cell_number(cell) < g_operation_notes.highest) g_operation_notes.words[cell_number(cell)] = 0;
}
// Every word back to zero (the heap was emptied).
void operation_notes_reset();

}  // namespace tolv
