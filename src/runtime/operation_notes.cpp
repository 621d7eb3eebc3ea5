#include "runtime/operation_notes.h"

#include "platform/reserved_memory.h"
#include "runtime/heap.h"

namespace tolv {

OperationNotes g_operation_notes = {nullptr, 0, 0};

namespace {
constexpr size_t NOTE_BYTES = size_t(CELL_BLOCK_LIMIT) * 256 * sizeof(uint32_t);
}  // namespace

bool set_operation_note(ValueHandle cell, uint32_t word) {
    OperationNotes& notes = g_operation_notes;
    if (!notes.words) {
        notes.words = reinterpret_cast<uint32_t*>(reserve_zeroed_memory(NOTE_BYTES));
        if (!notes.words) return false;
    }
    uint32_t n = cell_number(cell);
    notes.words[n] = word;
    if (n >= notes.highest) notes.highest = n + 1;
    return true;
}

void operation_notes_reset() {
    OperationNotes& notes = g_operation_notes;
    if (notes.words && notes.highest) rezero_memory(reinterpret_cast<uint8_t*>(notes.words), NOTE_BYTES);
    notes.highest = 0;
    ++notes.resets;
}

}  // namespace tolv
