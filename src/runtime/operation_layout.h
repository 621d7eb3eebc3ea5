// What every word of a parsed-program cell is, and a walk over those words.
//
// Most operands of an operation cell are value handles, but some are raw
// area references to vectors the cell owns (call and `new` argument blocks,
// the `for` vector, the `try` catch pair, the `switch` table and statement
// vector) or plain numbers. Freeing a cell, writing a compiled image and
// checking a loaded one all need to tell these apart, so the shapes are kept
// in one table indexed by operation code, next to the parser that makes them.
//
// The walk depends only on the record layouts of the runtime, so the
// runtime's free_value can use it without reaching into the parser.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/value.h"

namespace tolv {

enum OperandShape : uint8_t {
    SHAPE_HANDLE,             // a value handle, a name or a constant
    SHAPE_NUMBER,             // a plain number
    SHAPE_ARGUMENTS,          // AreaRef: count, then that many handles
    SHAPE_FOR_VECTOR,         // AreaRef: init..., condition, steps...
    SHAPE_FOR_COUNTS,         // number: init count << 16 | step count
    SHAPE_CATCH_PAIR,         // AreaRef or 0: [name, handler block]
    SHAPE_SWITCH_TABLE,       // AreaRef: [entries, statements], [0, default], [case value, index]...
    SHAPE_SWITCH_STATEMENTS,  // AreaRef: statement handles (count in the table)
};

struct OperationLayout {
    uint32_t min_operands;
    uint32_t max_operands;
    OperandShape shape[4];  // operands 0-3; every later operand is a handle
};

// Layout of an operation code; codes outside 100-229 get an empty layout
// that admits no operands beyond handles.
const OperationLayout& operation_layout(uint8_t opcode);
bool is_operation_code(uint8_t opcode);

// Class of a word met by the walk.
enum class WordClass : uint8_t {
    VALUE,   // handle of a stored value (a cell kind, or an area kind)
    NAME,    // a name index
    AREA,    // an AreaRef of a vector the cell owns
    NUMBER,  // anything else: counts, indexes, constants 0-4, positions
};

// Class of a word that holds an operand handle: names and constants are
// kind-0 handles.
inline WordClass handle_class(uint32_t word) {
    if (word >> 28) return WordClass::NUMBER;
    unsigned kind = (word >> 24) & 15;
    if (kind == 0) return word > VALUE_NAN ? WordClass::NAME : WordClass::NUMBER;
    if (kind == KIND_UNUSED || kind == KIND_RESERVED) return WordClass::NUMBER;
    return WordClass::VALUE;
}

// Callbacks of a walk. `area` gives the address of the `bytes` bytes a
// vector reference stands for, or nullptr to leave the vector (and anything
// that depends on it) alone. `done`, when set, is called after a vector's
// words have been visited.
struct CellWalker {
    void* context;
    void (*word)(void* context, Word32* where, WordClass cls);
    uint8_t* (*area)(void* context, AreaRef ref, size_t bytes);
    void (*done)(void* context, AreaRef ref);
};

// Visits every word of the 16-byte cell (by its header's kind) that is not a
// header or a count, and every word of the area vectors the cell owns. A
// reference word is reported before the vector it refers to is walked.
void walk_cell(uint8_t* cell, const CellWalker& walker);

}  // namespace tolv
