#include "eval/integer_programs.h"

#include <vector>

#include "eval/evaluate.h"
#include "eval/key_cache.h"
#include "eval/scopes.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/operation_notes.h"

namespace tolv {

namespace {

// The binary operators: the evaluator's Integer rules, and comparisons that
// give 1 or 0. Each comes in three forms: both operands on the stack
// (STEP_ADD), the right one a variable (STEP_ADD_NAME) or a literal
// (STEP_ADD_LITERAL).
#define TOLV_BINARY_STEPS(X) \
    X(ADD) X(SUB) X(MUL) X(DIV) X(MOD) X(AND) X(OR) X(XOR) X(SHL) X(SHR) X(USHR) \
    X(EQ) X(NE) X(GE) X(GT) X(LE) X(LT)

enum StepCode : uint8_t {
    STEP_NUMBER,       // push the Integer `arg`
    STEP_NAME,         // push the Integer variable `arg` holds
    STEP_CONTAINER,    // push the value variable `arg` holds
    STEP_ELEMENT,      // pop index and Array, push the element
    STEP_NUMBER_AT,    // pop index and Array, push the Integer element
    STEP_FIELD,        // pop a Hash, push its entry `arg`
    STEP_NUMBER_FIELD, // pop a Hash, push its Integer entry `arg`
    STEP_LENGTH,       // pop a value, push its `length`
    STEP_END,          // the number on top is the result
    STEP_END_ELEMENT,  // the three entries are a number, an Array and an index in it
    STEP_END_FIELD,    // the two entries are a number and a Hash with entry `arg`
#define TOLV_STEP(name) STEP_##name, STEP_##name##_NAME, STEP_##name##_LITERAL,
    TOLV_BINARY_STEPS(TOLV_STEP)
#undef TOLV_STEP
};

// `a op b` into `a`; false for a zero divisor or a negative shift count,
// which only the evaluator may raise.
template <StepCode op>
[[gnu::always_inline]] inline bool apply(uint32_t& a, uint32_t b) {
    int32_t x = int32_t(a), y = int32_t(b);
    switch (op) {
    case STEP_ADD: a += b; return true;
    case STEP_SUB: a -= b; return true;
    case STEP_MUL: a = uint32_t(int64_t(x) * y); return true;
    case STEP_DIV:
        if (y == 0) return false;
        a = y == -1 ? 0u - a : uint32_t(x / y);
        return true;
    case STEP_MOD: {
        if (y == 0) return false;
        int32_t r = y == -1 ? 0 : x % y;
        if (r != 0 && ((r < 0) != (y < 0))) r += y;
        a = uint32_t(r);
        return true;
    }
    case STEP_AND: a &= b; return true;
    case STEP_OR: a |= b; return true;
    case STEP_XOR: a ^= b; return true;
    case STEP_SHL:
        if (y < 0) return false;
        a = a << (y % 32);
        return true;
    case STEP_SHR:
        if (y < 0) return false;
        a = uint32_t(x >> (y % 32));
        return true;
    case STEP_USHR: {
        if (y < 0) return false;
        if (y == 0) return true;
        unsigned places = 1 + unsigned((y - 1) % 32);
        a = places >= 32 ? 0 : a >> places;
        return true;
    }
    case STEP_EQ: a = x == y; return true;
    case STEP_NE: a = x != y; return true;
    case STEP_GE: a = x >= y; return true;
    case STEP_GT: a = x > y; return true;
    case STEP_LE: a = x <= y; return true;
    case STEP_LT: a = x < y; return true;
    default: return false;
    }
}

struct Step {
    StepCode code;
    uint32_t arg;
};

// A program's steps end with one of the STEP_END forms. Its header names the cell whose
// position a run notes last, as walking the cells would have (0: none); the
// counters decide whether the program is still worth trying.
struct ProgramHeader {
    ValueHandle last_noted;
    uint32_t runs;
    uint32_t give_ups;
    uint32_t first_step;
    uint32_t target;  // an assignment's variable, ELEMENT_TARGET or FIELD_TARGET
};
constexpr uint32_t ELEMENT_TARGET = 0xFFFFFFFFu;
constexpr uint32_t FIELD_TARGET = 0xFFFFFFFEu;

// What a cell's program computes.
enum ProgramKind { PROGRAM_NUMBER, PROGRAM_COMPARISON, PROGRAM_ASSIGNMENT };

constexpr uint32_t NOTE_UNTRANSLATED = 0;  // a cell's word before its first evaluation
constexpr uint32_t FIRST_PROGRAM = 2;      // words from here on: program index + FIRST_PROGRAM

constexpr uint32_t STACK_LIMIT = 16;
constexpr uint32_t STEP_LIMIT = 256;
// Programs stop being made when this many steps are kept (a script that
// builds code at run time makes cells without end).
constexpr size_t STEPS_KEPT_LIMIT = size_t(1) << 20;

struct ProgramStore {
    std::vector<Step> steps;
    std::vector<ProgramHeader> headers;  // by program index
    uint32_t resets_seen = 0;            // the notes' reset count the store belongs to
};
ProgramStore g_programs;

struct Translation {
    std::vector<Step> steps;
    ValueHandle last_noted = 0;
    uint32_t depth = 0;
    bool fits = true;

    void emit(StepCode code, uint32_t arg, int change) {
        steps.push_back({code, arg});
        depth = uint32_t(int(depth) + change);
        if (depth > STACK_LIMIT || steps.size() > STEP_LIMIT) fits = false;
    }
    // Evaluating the cells notes this operation's position here.
    void noted(ValueHandle cell) {
        if (operation_cell(cell)->operand_count != OPERATION_LONG_FORM) last_noted = cell;
    }
};

bool translate_number(ValueHandle operand, Translation& t);

// A container read where it stands: a variable, or an element or entry of one.
bool translate_container(ValueHandle operand, Translation& t) {
    if (is_plain_name(operand)) {
        t.emit(STEP_CONTAINER, operand, 1);
        return true;
    }
    if (!is_kind(operand, KIND_OPERATION) || operation_cell(operand)->operand_count != 2) return false;
    const OperationCell* c = operation_cell(operand);
    if (c->opcode == OP_MEMBER) {
        if (is_length_name(c->operand[1])) return false;
        t.noted(operand);
        if (!translate_container(c->operand[0], t)) return false;
        t.emit(STEP_FIELD, c->operand[1], 0);
        return true;
    }
    if (c->opcode != OP_INDEX) return false;
    t.noted(operand);
    if (!translate_container(c->operand[0], t) || !translate_number(c->operand[1], t)) return false;
    t.emit(STEP_ELEMENT, 0, -1);
    return true;
}

// A variable or a literal: read with no cell of its own to note.
inline bool is_leaf(ValueHandle operand) {
    return is_plain_name(operand) || is_kind(operand, KIND_INTEGER);
}

// `code` applied to the number on the stack and `right`: a variable or a
// literal is taken by the step itself.
bool translate_right(StepCode code, ValueHandle right, Translation& t) {
    if (is_plain_name(right)) {
        t.emit(StepCode(code + 1), right, 0);  // STEP_x_NAME
        return true;
    }
    if (is_kind(right, KIND_INTEGER)) {
        t.emit(StepCode(code + 2), uint32_t(integer_value(right)), 0);  // STEP_x_LITERAL
        return true;
    }
    if (!translate_number(right, t)) return false;
    t.emit(code, 0, -1);
    return true;
}

// The operator with its operands the other way round, or STEP_END.
StepCode swapped(StepCode code) {
    switch (code) {
    case STEP_ADD: case STEP_MUL: case STEP_AND: case STEP_OR: case STEP_XOR: case STEP_EQ: case STEP_NE:
        return code;
    case STEP_GE: return STEP_LE;
    case STEP_GT: return STEP_LT;
    case STEP_LE: return STEP_GE;
    case STEP_LT: return STEP_GT;
    default: return STEP_END;
    }
}

bool translate_operands(const OperationCell* c, StepCode code, Translation& t) {
    uint32_t n = operand_count(c);
    const Word32* operands = operands_of(c);
    // `x + <expression>` as `<expression> + x`: reads change nothing, so
    // their order does not matter, and the variable is taken by the step.
    if (n == 2 && is_leaf(operands[0]) && !is_leaf(operands[1]) && swapped(code) != STEP_END)
        return translate_number(operands[1], t) && translate_right(swapped(code), operands[0], t);
    if (!translate_number(operands[0], t)) return false;
    for (uint32_t i = 1; i < n; ++i)
        if (!translate_right(code, operands[i], t)) return false;
    return true;
}

// Steps that leave the operand's Integer on the stack, in the order the
// evaluator reads the cells; false for anything else.
bool translate_number(ValueHandle operand, Translation& t) {
    if (!t.fits) return false;
    unsigned kind = operand >> 24;
    if (kind == KIND_INTEGER) {
        t.emit(STEP_NUMBER, uint32_t(integer_value(operand)), 1);
        return true;
    }
    if (kind == KIND_NAME) {
        if (!is_plain_name(operand)) return false;
        t.emit(STEP_NAME, operand, 1);
        return true;
    }
    if (kind != KIND_OPERATION) return false;
    const OperationCell* c = operation_cell(operand);
    bool pair = c->operand_count == 2;
    switch (c->opcode) {
    case OP_PAREN_LIST:
        // Parentheses around an operation are looked through, not noted.
        return c->operand_count == 1 && is_kind(c->operand[0], KIND_OPERATION) && translate_number(c->operand[0], t);
    case OP_ADD_CHAIN:
        t.noted(operand);
        return translate_operands(c, STEP_ADD, t);
    case OP_SUB_CHAIN:
        t.noted(operand);
        return pair && translate_operands(c, STEP_SUB, t);
    case OP_MUL_CHAIN:
        t.noted(operand);
        return pair && translate_operands(c, STEP_MUL, t);
    case OP_DIV_CHAIN:
        t.noted(operand);
        return pair && translate_operands(c, STEP_DIV, t);
    case OP_MOD_CHAIN:
        t.noted(operand);
        return pair && translate_operands(c, STEP_MOD, t);
    case OP_BITAND_CHAIN:
        t.noted(operand);
        return translate_operands(c, STEP_AND, t);
    case OP_BITOR_CHAIN:
        t.noted(operand);
        return translate_operands(c, STEP_OR, t);
    case OP_BITXOR_CHAIN:
        t.noted(operand);
        return translate_operands(c, STEP_XOR, t);
    case OP_SHL:
        t.noted(operand);
        return pair && translate_operands(c, STEP_SHL, t);
    case OP_SHR:
        t.noted(operand);
        return pair && translate_operands(c, STEP_SHR, t);
    case OP_USHR:
        t.noted(operand);
        return pair && translate_operands(c, STEP_USHR, t);
    case OP_INDEX: {
        if (!pair) return false;
        t.noted(operand);
        if (!translate_container(c->operand[0], t) || !translate_number(c->operand[1], t)) return false;
        t.emit(STEP_NUMBER_AT, 0, -1);
        return true;
    }
    case OP_MEMBER: {
        if (!pair) return false;
        t.noted(operand);
        if (!translate_container(c->operand[0], t)) return false;
        if (is_length_name(c->operand[1])) {
            t.emit(STEP_LENGTH, 0, 0);
        } else {
            t.emit(STEP_NUMBER_FIELD, c->operand[1], 0);
        }
        return true;
    }
    default:
        return false;
    }
}

StepCode comparison_step(uint8_t opcode) {
    switch (opcode) {
    case OP_EQ: return STEP_EQ;
    case OP_NE: return STEP_NE;
    case OP_GE: return STEP_GE;
    case OP_GT: return STEP_GT;
    case OP_LE: return STEP_LE;
    case OP_LT: return STEP_LT;
    default: return STEP_END;
    }
}

// The operator of a compound assignment, or STEP_END.
StepCode compound_step(uint8_t opcode) {
    switch (opcode) {
    case OP_ADD_ASSIGN: return STEP_ADD;
    case OP_SUB_ASSIGN: return STEP_SUB;
    case OP_MUL_ASSIGN: return STEP_MUL;
    case OP_DIV_ASSIGN: return STEP_DIV;
    case OP_MOD_ASSIGN: return STEP_MOD;
    case OP_AND_ASSIGN: return STEP_AND;
    case OP_OR_ASSIGN: return STEP_OR;
    case OP_XOR_ASSIGN: return STEP_XOR;
    default: return STEP_END;
    }
}

// `x = <operation>`, or `x op= <expression>` read as `x = x op <expression>`,
// on a variable, an element or an entry. The number comes first; for an
// element or an entry the steps that find it again follow.
bool translate_assignment(const OperationCell* c, Translation& t, uint32_t& target, uint32_t& field) {
    if (c->operand_count != 2) return false;
    ValueHandle place = c->operand[0], value = c->operand[1];
    bool element = has_opcode(place, OP_INDEX) && operation_cell(place)->operand_count == 2;
    bool entry = has_opcode(place, OP_MEMBER) && operation_cell(place)->operand_count == 2 &&
                 !is_length_name(operation_cell(place)->operand[1]);
    if (!is_plain_name(place) && !element && !entry) return false;
    ValueHandle target_noted = 0, value_noted = 0;
    if (c->opcode == OP_ASSIGN) {
        // Only an operation: a literal or a variable is stored as it is.
        if (!is_kind(value, KIND_OPERATION) || !translate_number(value, t)) return false;
        value_noted = t.last_noted;
    } else {
        StepCode code = compound_step(c->opcode);
        if (code == STEP_END) return false;
        if (is_plain_name(place) && !is_leaf(value) && swapped(code) == code) {
            // `sum += <expression>` as `<expression> + sum`: the variable is
            // taken by the last step.
            if (!translate_number(value, t)) return false;
            value_noted = t.last_noted;
            t.emit(StepCode(code + 1), place, 0);  // STEP_x_NAME
        } else {
            if (!translate_number(place, t)) return false;
            target_noted = t.last_noted;
            t.last_noted = 0;
            if (!translate_right(code, value, t)) return false;
            value_noted = t.last_noted;
        }
    }
    if (element) {
        target = ELEMENT_TARGET;
        const OperationCell* index = operation_cell(place);
        t.noted(place);
        if (!translate_container(index->operand[0], t) || !translate_number(index->operand[1], t)) return false;
        target_noted = t.last_noted;
    } else if (entry) {
        target = FIELD_TARGET;
        field = operation_cell(place)->operand[1];
        t.noted(place);
        if (!translate_container(operation_cell(place)->operand[0], t)) return false;
        target_noted = t.last_noted;
    } else {
        target = place;
    }
    // The position noted last, as the evaluator goes: `+=` reads its target
    // before its value; `=` and the other operators evaluate the value first.
    if (c->opcode == OP_ADD_ASSIGN) {
        t.last_noted = value_noted ? value_noted : target_noted;
    } else {
        t.last_noted = target_noted ? target_noted : value_noted;
    }
    return true;
}

// Translates `cell` and keeps the program beside it; the cell's new word.
[[gnu::noinline]] uint32_t translate(ValueHandle cell, ProgramKind kind) {
    ProgramStore& store = g_programs;
    if (store.resets_seen != g_operation_notes.resets) {
        // The heap was emptied: every program belongs to cells that are gone.
        store.steps.clear();
        store.headers.clear();
        store.resets_seen = g_operation_notes.resets;
    }
    Translation t;
    const OperationCell* c = operation_cell(cell);
    uint32_t target = 0;
    uint32_t field = 0;
    bool translated = false;
    switch (kind) {
    case PROGRAM_NUMBER:
        translated = translate_number(cell, t);
        break;
    case PROGRAM_COMPARISON: {
        StepCode code = comparison_step(c->opcode);
        translated = code != STEP_END && c->operand_count == 2 && translate_operands(c, code, t);
        break;
    }
    case PROGRAM_ASSIGNMENT:
        translated = translate_assignment(c, t, target, field);
        break;
    }
    // An assignment saves more than reading its operands.
    bool worth_it = kind == PROGRAM_ASSIGNMENT || t.steps.size() > 2;
    uint32_t word = NOTE_NO_PROGRAM;
    if (translated && worth_it && t.fits && store.steps.size() + t.steps.size() < STEPS_KEPT_LIMIT) {
        if (target == ELEMENT_TARGET) {
            t.emit(STEP_END_ELEMENT, 0, 0);
        } else if (target == FIELD_TARGET) {
            t.emit(STEP_END_FIELD, field, 0);
        } else {
            t.emit(STEP_END, 0, 0);
        }
        word = uint32_t(store.headers.size()) + FIRST_PROGRAM;
        store.headers.push_back({t.last_noted, 0, 0, uint32_t(store.steps.size()), target});
        store.steps.insert(store.steps.end(), t.steps.begin(), t.steps.end());
    }
    if (!set_operation_note(cell, word)) return NOTE_NO_PROGRAM;
    return word;
}

// The variable's value as a read by name gives it, or false when only the
// evaluator's own lookup can tell (a link to check by a scan).
[[gnu::always_inline]] inline bool variable_value(uint32_t name, ValueHandle& value) {
    uint32_t i = frame_binding(name);
    if (i != BINDING_NOWHERE) {
        value = g_bindings.items[i].value;
        return true;
    }
    if (name >= g_innermost.capacity) return false;
    uint32_t link = g_innermost.innermost[name];
    // No binding of the name, or only a caller's: the global. An undeclared
    // one reads as undefined here, and the evaluator declares it.
    if (link == BINDING_NOWHERE ||
        (link < g_scope.frame_base && link <= g_bindings.top &&
         (g_bindings.items[link].name_word & ~CONSTANT_BINDING) == name)) {
        value = global_value(name);
        return true;
    }
    return false;
}

// The element at `n` of an Array something holds, or false.
[[gnu::always_inline]] inline bool held_element(ValueHandle array, int32_t n, ValueHandle& element) {
    if (kind_of(array) != KIND_ARRAY || is_sentinel(array) || n < 0 || uint32_t(n) >= array_length(array) ||
        ref_count(array) == 0)
        return false;
    element = array_words(array)[n];
    return true;
}

// Where entry `name` of a Hash something holds is, or false.
[[gnu::always_inline]] inline bool entry_index(ValueHandle hash, uint32_t name, uint32_t& index) {
    if (kind_of(hash) != KIND_HASH || is_sentinel(hash) || ref_count(hash) == 0) return false;
    const Word32* pairs = hash_words(hash);
    uint32_t n = hash_count(hash);
    index = find_hash_key(hash, pairs, n, name);
    return index < n;
}

[[gnu::always_inline]] inline bool held_entry(ValueHandle hash, uint32_t name, ValueHandle& value) {
    uint32_t index;
    if (!entry_index(hash, name, index)) return false;
    value = hash_words(hash)[2 * index + 1];
    return true;
}

// `x.length` as the evaluator gives it for the kinds that have one.
bool length_of(ValueHandle v, uint32_t& length) {
    switch (kind_of(v)) {
    case KIND_STRING: length = string_length(v); return true;
    case KIND_ARRAY: length = array_length(v); return true;
    case KIND_ASSOC_ARRAY: length = assoc_count(v); return true;
    case KIND_HASH: length = hash_count(v); return true;
    case KIND_NAME:
        if (is_sentinel(v)) return false;
        length = name_length(v);
        return true;
    default: return false;
    }
}

// Counts a give-up; after a fair trial, a program that gives up more often
// than it answers is not tried again.
void gave_up(ValueHandle cell, ProgramHeader& header) {
    if (++header.give_ups >= 64 && header.give_ups > header.runs) set_operation_note(cell, NOTE_NO_PROGRAM);
}

// Runs program `word` of `cell`; false when it gives up. What the steps
// leave on the stack is copied to `out`, bottom first: a number, or an
// element assignment's number, Array and index.
bool run(ValueHandle cell, uint32_t word, uint32_t* out) {
    ProgramStore& store = g_programs;
    ProgramHeader& header = store.headers[word - FIRST_PROGRAM];
    const Step* step = store.steps.data() + header.first_step;
    uint32_t stack[STACK_LIMIT + 1];
    uint32_t* top = stack;  // one past the top entry
    ValueHandle v;
    for (;; ++step) {
        switch (step->code) {
        case STEP_NUMBER:
            *top++ = step->arg;
            continue;
        case STEP_NAME:
            if (!variable_value(step->arg, v) || !is_integer(v)) break;
            *top++ = uint32_t(integer_value(v));
            continue;
        case STEP_CONTAINER:
            if (!variable_value(step->arg, v)) break;
            *top++ = v;
            continue;
        case STEP_ELEMENT:
            if (!held_element(top[-2], int32_t(top[-1]), v)) break;
            --top;
            top[-1] = v;
            continue;
        case STEP_NUMBER_AT:
            if (!held_element(top[-2], int32_t(top[-1]), v) || !is_integer(v)) break;
            --top;
            top[-1] = uint32_t(integer_value(v));
            continue;
#define TOLV_STEP(name)                                                             \
    case STEP_##name:                                                               \
        --top;                                                                      \
        if (!apply<STEP_##name>(top[-1], top[0])) break;                            \
        continue;                                                                   \
    case STEP_##name##_NAME:                                                        \
        if (!variable_value(step->arg, v) || !is_integer(v) ||                      \
            !apply<STEP_##name>(top[-1], uint32_t(integer_value(v))))               \
            break;                                                                  \
        continue;                                                                   \
    case STEP_##name##_LITERAL:                                                     \
        if (!apply<STEP_##name>(top[-1], step->arg)) break;                         \
        continue;
            TOLV_BINARY_STEPS(TOLV_STEP)
#undef TOLV_STEP
        case STEP_END:
            out[0] = top[-1];
            ++header.runs;
            if (header.last_noted) note_position(operation_cell(header.last_noted));
            return true;
        case STEP_FIELD:
            if (!held_entry(top[-1], step->arg, v)) break;
            top[-1] = v;
            continue;
        case STEP_NUMBER_FIELD:
            if (!held_entry(top[-1], step->arg, v) || !is_integer(v)) break;
            top[-1] = uint32_t(integer_value(v));
            continue;
        case STEP_LENGTH: {
            uint32_t length;
            if (!length_of(top[-1], length)) break;
            top[-1] = length;
            continue;
        }
        case STEP_END_FIELD: {
            // Only an entry that exists: a new one is the evaluator's to add.
            uint32_t index;
            if (!entry_index(stack[1], step->arg, index)) break;
            out[0] = stack[0];
            out[1] = stack[1];
            out[2] = index;
            ++header.runs;
            if (header.last_noted) note_position(operation_cell(header.last_noted));
            return true;
        }
        case STEP_END_ELEMENT:
            // Only an element that exists, of an Array something holds.
            if (!held_element(stack[1], int32_t(stack[2]), v)) break;
            out[0] = stack[0];
            out[1] = stack[1];
            out[2] = stack[2];
            ++header.runs;
            if (header.last_noted) note_position(operation_cell(header.last_noted));
            return true;
        }
        break;
    }
    gave_up(cell, header);
    return false;
}

// The program of a cell whose word is `word` (not NOTE_NO_PROGRAM).
[[gnu::always_inline]] inline uint32_t program_of(ValueHandle cell, uint32_t word, ProgramKind kind) {
#if TOLV_DEBUGGER
    // The debugger stops at each operation a watched run evaluates.
    if (g_debugger_watching) return NOTE_NO_PROGRAM;
#endif
    if (word == NOTE_UNTRANSLATED) word = translate(cell, kind);
    return word;
}

}  // namespace

bool run_noted_integer_program(ValueHandle cell, uint32_t word, int32_t& out) {
    word = program_of(cell, word, PROGRAM_NUMBER);
    uint32_t number;
    if (word < FIRST_PROGRAM || !run(cell, word, &number)) return false;
    out = int32_t(number);
    return true;
}

int run_noted_comparison_program(ValueHandle cell, uint32_t word) {
    word = program_of(cell, word, PROGRAM_COMPARISON);
    uint32_t holds;
    if (word < FIRST_PROGRAM || !run(cell, word, &holds)) return -1;
    return int(holds);
}

namespace {

// `number` stored where `current` stands, as the evaluator stores a new
// Integer: written in place when only that place holds it, else a new
// Integer taken by `store`.
template <class Store>
[[gnu::always_inline]] inline ValueHandle store_integer(ValueHandle current, int32_t number, Store store) {
    if (is_integer(current) && owned_by(cell_as<IntegerCell>(current)->header, 1)) {
        cell_as<IntegerCell>(current)->value = number;
        return current;
    }
    ValueHandle value = integer_result(number);
    store(value);
    return value;
}

}  // namespace

namespace {

// `a[i] = ...` on an element that exists.
[[gnu::noinline]] bool assign_element(ValueHandle cell, uint32_t word, ValueHandle& result) {
    uint32_t values[3];
    if (!run(cell, word, values)) return false;
    Word32* words = array_words(values[1]);
    uint32_t at = values[2];
    ValueHandle element = words[at];
    result = store_integer(element, int32_t(values[0]), [&](ValueHandle value) {
        words[at] = retain(value);
        release(element);
    });
    return true;
}

// `h.name = ...` on an entry that exists.
[[gnu::noinline]] bool assign_field(ValueHandle cell, uint32_t word, ValueHandle& result) {
    uint32_t values[3];
    if (!run(cell, word, values)) return false;
    Word32* value_word = hash_words(values[1]) + 2 * values[2] + 1;
    ValueHandle entry = *value_word;
    result = store_integer(entry, int32_t(values[0]), [&](ValueHandle value) {
        *value_word = retain(value);
        release(entry);
    });
    return true;
}

// A declared global; one not declared yet is the evaluator's to declare.
[[gnu::noinline]] bool assign_global(ValueHandle cell, uint32_t word, ValueHandle& result) {
    ProgramHeader& header = g_programs.headers[word - FIRST_PROGRAM];
    uint32_t name = header.target;
    ValueHandle current;
    uint32_t number;
    if (!variable_value(name, current) || !global_declared(name)) {
        gave_up(cell, header);
        return false;
    }
    if (!run(cell, word, &number)) return false;
    result = store_integer(global_value(name), int32_t(number), [&](ValueHandle value) { define_global(name, value); });
    return true;
}

}  // namespace

bool run_noted_assignment_program(ValueHandle cell, uint32_t word, ValueHandle& result) {
    word = program_of(cell, word, PROGRAM_ASSIGNMENT);
    if (word < FIRST_PROGRAM) return false;
    ProgramHeader& header = g_programs.headers[word - FIRST_PROGRAM];
    if (header.target == ELEMENT_TARGET) return assign_element(cell, word, result);
    if (header.target == FIELD_TARGET) return assign_field(cell, word, result);
    // A local or parameter, written as the evaluator would.
    uint32_t i = frame_binding(header.target);
    if (i == BINDING_NOWHERE) return assign_global(cell, word, result);
    if (g_bindings.items[i].name_word & CONSTANT_BINDING) {
        gave_up(cell, header);  // the evaluator raises the error
        return false;
    }
    uint32_t number;
    if (!run(cell, word, &number)) return false;
    result = store_integer(g_bindings.items[i].value, int32_t(number),
                           [&](ValueHandle value) { store_in_binding(i, value); });
    return true;
}

}  // namespace tolv
