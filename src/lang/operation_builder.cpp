#include "lang/operation_builder.h"

#include "lang/parse_state.h"
#include "runtime/opcodes.h"

namespace tolv {

namespace {

struct StoppingTable {
    bool selected[256] = {};
    constexpr StoppingTable() {
        auto mark = [this](int from, int to) {
            for (int c = from; c <= to; ++c) selected[c] = true;
        };
        mark(101, 104);
        mark(123, 131);
        mark(139, 139);
        mark(141, 143);
        mark(147, 154);
        mark(156, 158);
        mark(160, 160);
        mark(162, 167);
        mark(169, 227);
    }
};
constexpr StoppingTable STOPPING;

AreaRef alloc_area(size_t bytes, uint8_t** out) {
    AreaRef ref = area_alloc(bytes, out);
    // 0 means "no vector" where an operand may be absent; the first word of
    // an empty heap is never handed out for a vector.
    if (ref == 0) ref = area_alloc(bytes, out);
    return ref;
}

}  // namespace

bool is_stopping_point(uint8_t opcode) { return STOPPING.selected[opcode]; }

ValueHandle build_operation(uint8_t opcode, const ValueHandle* operands, size_t count, uint32_t position) {
    // The count byte 255 marks the long form, which only blocks may take.
    if (count >= OPERATION_LONG_FORM && opcode != OP_BLOCK) raise_syntax(Error::WRONG_OPERAND_COUNT, "...");
    AreaRef vector = 0;
    if (count > 2) {
        uint8_t* bytes = nullptr;
        vector = alloc_area(4 * count, &bytes);
        Word32* words = reinterpret_cast<Word32*>(bytes);
        for (size_t i = 0; i < count; ++i) words[i] = retain(operands[i]);
    }
    ValueHandle h = new_cell(KIND_OPERATION, 0);
    OperationCell* cell = cell_as<OperationCell>(h);
    uint8_t module = uint8_t(g_parse.module & 0x7F);
    if (g_parse.no_stop_all || !is_stopping_point(opcode)) module |= MODULE_NO_STOP;
    cell->module = module;
    cell->opcode = opcode;
    cell->position = position;
    if (count <= 2) {
        cell->operand_count = uint8_t(count);
        for (size_t i = 0; i < count; ++i) cell->operand[i] = retain(operands[i]);
    } else {
        cell->operand[0] = vector;
        if (count >= OPERATION_LONG_FORM && opcode == OP_BLOCK) {
            cell->operand_count = OPERATION_LONG_FORM;
            cell->position = uint32_t(count);
        } else {
            cell->operand_count = uint8_t(count);
        }
    }
    return h;
}

AreaRef build_argument_block(const ValueHandle* arguments, size_t count) {
    uint8_t* bytes = nullptr;
    AreaRef ref = alloc_area(4 * (count + 1), &bytes);
    Word32* words = reinterpret_cast<Word32*>(bytes);
    words[0] = uint32_t(count);
    for (size_t i = 0; i < count; ++i) words[i + 1] = arguments[i];
    return ref;
}

AreaRef build_word_vector(const uint32_t* words, size_t count) {
    uint8_t* bytes = nullptr;
    AreaRef ref = alloc_area(count ? 4 * count : 4, &bytes);
    Word32* out = reinterpret_cast<Word32*>(bytes);
    for (size_t i = 0; i < count; ++i) out[i] = words[i];
    return ref;
}

uint32_t operation_operand_count(ValueHandle cell) {
    const OperationCell* c = cell_as<OperationCell>(cell);
    return c->operand_count == OPERATION_LONG_FORM ? c->position : c->operand_count;
}

ValueHandle operation_operand(ValueHandle cell, uint32_t index) {
    const OperationCell* c = cell_as<OperationCell>(cell);
    uint32_t count = operation_operand_count(cell);
    if (count <= 2) return c->operand[index];
    return reinterpret_cast<const Word32*>(area_ptr(c->operand[0]))[index];
}

}  // namespace tolv
