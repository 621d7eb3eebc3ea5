#include "runtime/operation_layout.h"

#include "runtime/opcodes.h"

namespace tolv {

namespace {

constexpr uint32_t ANY = UINT32_MAX;

// The operand layouts the rows of opcodes.def name.
enum LayoutName { HANDLES, ARGUMENT_BLOCK, FOR_LOOP, FOR_EACH, REGEXP_LITERAL, TRY_CATCH, SWITCH_TABLE };

constexpr OperationLayout layout_of(LayoutName name) {
    constexpr OperandShape H = SHAPE_HANDLE;
    switch (name) {
        case HANDLES: return {0, ANY, {H, H, H, H}};
        // callee or class name, argument block
        case ARGUMENT_BLOCK: return {2, 2, {H, SHAPE_ARGUMENTS, H, H}};
        // vector, counts, body
        case FOR_LOOP: return {3, 3, {SHAPE_FOR_VECTOR, SHAPE_FOR_COUNTS, H, H}};
        // name, iterable, body, declaration (0 let, 1 const, 2 var)
        case FOR_EACH: return {4, 4, {H, H, H, SHAPE_NUMBER}};
        // the literal's text, the RegExp compiled at its first evaluation (undefined before)
        case REGEXP_LITERAL: return {2, 2, {H, H, H, H}};
        // block, catch pair or 0, finally block
        case TRY_CATCH: return {2, 3, {H, SHAPE_CATCH_PAIR, H, H}};
        // discriminant, table, statements, has default
        case SWITCH_TABLE: return {4, 4, {H, SHAPE_SWITCH_TABLE, SHAPE_SWITCH_STATEMENTS, SHAPE_NUMBER}};
    }
    return {0, ANY, {H, H, H, H}};
}

struct LayoutTable {
    OperationLayout layout[256] = {};
    constexpr LayoutTable() {
        for (auto& l : layout) l = layout_of(HANDLES);
#define OPCODE(code, id, name, handler, debugger, operands, missing) layout[code] = layout_of(operands);
#include "runtime/opcodes.def"
#undef OPCODE
    }
};

constexpr LayoutTable LAYOUTS;

struct Walk {
    uint8_t* cell;
    const CellWalker& w;

    void word(Word32* where, WordClass cls) const { w.word(w.context, where, cls); }
    void handle(Word32* where) const { word(where, handle_class(*where)); }

    // Reports the reference word, then resolves the vector; nullptr: skip.
    Word32* open(Word32* where, size_t bytes) const {
        word(where, WordClass::AREA);
        return reinterpret_cast<Word32*>(w.area(w.context, *where, bytes));
    }
    void close(AreaRef ref) const {
        if (w.done) w.done(w.context, ref);
    }

    void handles(Word32* where, size_t count) const {
        Word32* v = open(where, 4 * count);
        if (!v) return;
        AreaRef ref = *where;
        for (size_t i = 0; i < count; ++i) handle(v + i);
        close(ref);
    }

    void arguments(Word32* where) const {
        AreaRef ref = *where;
        Word32* head = open(where, 4);
        if (!head) return;
        size_t count = *head;
        Word32* v = reinterpret_cast<Word32*>(w.area(w.context, ref, 4 * (count + 1)));
        if (!v) return;
        word(v, WordClass::NUMBER);
        for (size_t i = 0; i < count; ++i) handle(v + 1 + i);
        close(ref);
    }

    void catch_pair(Word32* where) const {
        if (*where == 0) {
            word(where, WordClass::NUMBER);
            return;
        }
        AreaRef ref = *where;
        Word32* v = open(where, 8);
        if (!v) return;
        word(v, WordClass::NAME);
        handle(v + 1);
        close(ref);
    }

    // Returns the number of statements the table names.
    size_t switch_table(Word32* where) const {
        AreaRef ref = *where;
        Word32* head = open(where, 8);
        if (!head) return 0;
        size_t entries = head[0];
        size_t statements = head[1];
        if (entries < 2) entries = 2;
        Word32* v = reinterpret_cast<Word32*>(w.area(w.context, ref, 8 * entries));
        if (!v) return 0;
        for (size_t i = 0; i < 4; ++i) word(v + i, WordClass::NUMBER);
        for (size_t e = 2; e < entries; ++e) {
            handle(v + 2 * e);
            word(v + 2 * e + 1, WordClass::NUMBER);
        }
        close(ref);
        return statements;
    }

    void operation() const {
        auto* op = reinterpret_cast<OperationCell*>(cell);
        const bool long_form = op->operand_count == OPERATION_LONG_FORM;
        const uint32_t count = long_form ? op->position : op->operand_count;
        const OperationLayout& layout = operation_layout(op->opcode);
        Word32* operands = reinterpret_cast<Word32*>(cell + 4);
        AreaRef vector = 0;
        if (count > 2) {
            vector = operands[0];
            operands = open(reinterpret_cast<Word32*>(cell + 4), 4 * size_t(count));
            if (!operands) return;
        }
        // The `for` counts come after the vector they size.
        size_t for_words = 0;
        if (count >= 2 && layout.shape[1] == SHAPE_FOR_COUNTS)
            for_words = size_t(operands[1] >> 16) + 1 + (operands[1] & 0xFFFF);
        size_t switch_statements = 0;
        for (uint32_t i = 0; i < count; ++i) {
            Word32* at = operands + i;
            OperandShape shape = i < 4 ? layout.shape[i] : SHAPE_HANDLE;
            switch (shape) {
                case SHAPE_HANDLE: handle(at); break;
                case SHAPE_NUMBER:
                case SHAPE_FOR_COUNTS: word(at, WordClass::NUMBER); break;
                case SHAPE_ARGUMENTS: arguments(at); break;
                case SHAPE_FOR_VECTOR: handles(at, for_words); break;
                case SHAPE_CATCH_PAIR: catch_pair(at); break;
                case SHAPE_SWITCH_TABLE: switch_statements = switch_table(at); break;
                case SHAPE_SWITCH_STATEMENTS: handles(at, switch_statements); break;
            }
        }
        if (count <= 2) {
            // Unused inline words are zero; nothing to report.
        } else {
            close(vector);
        }
        if (!long_form) word(reinterpret_cast<Word32*>(cell + 12), WordClass::NUMBER);
    }

    void function() const {
        auto* f = reinterpret_cast<FunctionCell*>(cell);
        handle(reinterpret_cast<Word32*>(cell + 4));
        Word32* where = reinterpret_cast<Word32*>(cell + 8);
        const size_t names = size_t(f->param_count) + f->local_count;
        if (f->names == 0 && names == 0) return;
        AreaRef ref = f->names;
        Word32* v = open(where, 4 * (names ? names : 1));
        if (!v) return;
        // A parameter with a default value is its `name = value` operation.
        for (size_t i = 0; i < f->param_count; ++i) handle(v + i);
        for (size_t i = f->param_count; i < names; ++i) word(v + i, WordClass::NAME);
        close(ref);
    }

    // Pairs of (key, value); keys are names, or integer keys when `integer_keys`
    // and the key's kind nibble is set.
    void pairs(Word32* where, size_t count, size_t capacity, bool integer_keys) const {
        AreaRef ref = *where;
        Word32* v = open(where, 8 * (capacity > count ? capacity : count));
        if (!v) return;
        for (size_t i = 0; i < count; ++i) {
            const bool integer_key = integer_keys && ((v[2 * i] >> 24) & 15) != 0;
            word(v + 2 * i, integer_key ? WordClass::NUMBER : WordClass::NAME);
            handle(v + 2 * i + 1);
        }
        close(ref);
    }

    void run() const {
        switch (cell[0] & 15) {
            case KIND_STRING: {
                auto* s = reinterpret_cast<StringCell*>(cell);
                size_t bytes = size_t(s->capacity) + 4;
                if (bytes < size_t(s->length) + 1) bytes = size_t(s->length) + 1;
                AreaRef ref = s->text;
                if (open(reinterpret_cast<Word32*>(cell + 4), bytes)) close(ref);
                break;
            }
            case KIND_ARRAY: {
                auto* a = reinterpret_cast<ArrayCell*>(cell);
                AreaRef ref = a->elements;
                size_t words = a->capacity > a->length ? a->capacity : a->length;
                Word32* v = open(reinterpret_cast<Word32*>(cell + 4), 4 * words);
                if (!v) break;
                for (uint32_t i = 0; i < a->length; ++i) handle(v + i);
                close(ref);
                break;
            }
            case KIND_ASSOC_ARRAY: {
                auto* a = reinterpret_cast<AssocArrayCell*>(cell);
                pairs(reinterpret_cast<Word32*>(cell + 4), a->count, a->capacity, true);
                break;
            }
            case KIND_HASH: {
                auto* h = reinterpret_cast<HashCell*>(cell);
                pairs(reinterpret_cast<Word32*>(cell + 8), h->count, h->capacity, false);
                Word32* class_name = reinterpret_cast<Word32*>(cell + 12);
                word(class_name, *class_name ? WordClass::NAME : WordClass::NUMBER);
                break;
            }
            case KIND_OPERATION: operation(); break;
            case KIND_FUNCTION: function(); break;
            default: break;
        }
    }
};

}  // namespace

const OperationLayout& operation_layout(uint8_t opcode) { return LAYOUTS.layout[opcode]; }

bool is_operation_code(uint8_t opcode) { return opcode >= OP_FIRST && opcode <= OP_LAST; }

void walk_cell(uint8_t* cell, const CellWalker& walker) {
    if (cell[0] == FREED_CELL) return;
    Walk{cell, walker}.run();
}

}  // namespace tolv
