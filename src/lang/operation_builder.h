// Builds the cells of a parsed program: operation cells with their module
// byte, operand count and position, operand vectors and argument blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/value.h"

namespace tolv {

// An operation cell of `count` operands (each retained). Up to two operands
// sit in the cell; more go to an operand vector; only blocks (OP_BLOCK) take
// the long form above 254 operands.
ValueHandle build_operation(uint8_t opcode, const ValueHandle* operands, size_t count, uint32_t position);

// True when a cell of this code is a debugger stopping point.
bool is_stopping_point(uint8_t opcode);

// Argument block: the count, then the handles (already referenced by the caller).
AreaRef build_argument_block(const ValueHandle* arguments, size_t count);

// A vector of words, stored as given (handles in it must already be referenced).
// Never the reference 0, so that 0 can stand for "none" in an operand.
AreaRef build_word_vector(const uint32_t* words, size_t count);

// Operands of an operation cell, whatever its form.
uint32_t operation_operand_count(ValueHandle cell);
ValueHandle operation_operand(ValueHandle cell, uint32_t index);
inline uint8_t operation_code(ValueHandle cell) { return cell_as<OperationCell>(cell)->opcode; }
inline bool is_operation(ValueHandle h, uint8_t opcode) {
    return is_kind(h, KIND_OPERATION) && operation_code(h) == opcode;
}

}  // namespace tolv
