// The compiled form of a regular expression: a flat, position-independent
// program for the backtracking matcher, kept inside the RegExp value's area
// record (after its header) so that freeing the record frees everything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tolv::regexp {

enum Op : uint8_t {
    OP_CHAR,         // a = unit
    OP_CHAR_FOLD,    // a = unit folded to upper case
    OP_STRING,       // a = first unit in the pool, b = count; flag 1 = fold
    OP_ANY,          // any unit but LF and CR
    OP_ANY_ALL,      // any unit
    OP_CLASS,        // a = class index
    OP_LINE_START,   // flag 1 = multiline
    OP_LINE_END,     // flag 1 = multiline
    OP_WORD_BOUNDARY,
    OP_NOT_WORD_BOUNDARY,
    OP_SPLIT,        // a = preferred pc, b = the other
    OP_JUMP,         // a = pc
    OP_SAVE,         // a = capture slot
    OP_RESET,        // a = first slot, b = end slot: captures of a repeated body
    OP_BACKREF,      // a = group; flag 1 = fold
    OP_REPEAT_ONE,   // the next instruction (one unit) repeated: c = min, a = max, flag 1 = greedy
    OP_LOOP_INIT,    // c = register
    OP_LOOP,         // c = register, d = min, a = max, b = exit pc, flag 1 = greedy
    OP_LOOP_END,     // c = register, d = min, a = pc of the OP_LOOP
    OP_LOOK,         // flag = look kind, b = pc after OP_LOOK_END, c = min width, a = max width
    OP_LOOK_END,
    OP_MATCH,
};

enum LookKind : uint8_t { LOOK_AHEAD = 0, LOOK_NOT_AHEAD = 1, LOOK_BEHIND = 2, LOOK_NOT_BEHIND = 3 };

constexpr uint32_t UNBOUNDED = 0xFFFFFFFFu;

struct Inst {
    uint8_t op;
    uint8_t flag;
    uint16_t c;
    uint32_t a;
    uint32_t b;
    uint32_t d;
};
static_assert(sizeof(Inst) == 16);

// Shorthand bits of a class, as written: \w \W \d \D \s \S.
enum Shorthand : uint8_t {
    SHORT_WORD = 0x01, SHORT_NOT_WORD = 0x02, SHORT_DIGIT = 0x04,
    SHORT_NOT_DIGIT = 0x08, SHORT_SPACE = 0x10, SHORT_NOT_SPACE = 0x20,
};

// A class as the matcher tests it: units below 128 by bitmap, the others by
// ranges (or all of them, for \W \D \S), then negated.
struct ClassSet {
    uint32_t ascii[4];
    uint32_t range_first;  // index into the range pool (pairs of units)
    uint16_t range_count;
    uint8_t all_non_ascii;
    uint8_t negated;
};
static_assert(sizeof(ClassSet) == 24);

// Units that can begin a match, for skipping hopeless start positions.
struct FirstSet {
    uint32_t ascii[4];
    uint8_t usable;      // 0: any position may begin a match
    uint8_t non_ascii;   // units from 128 up may begin one
    uint8_t anchored;    // begins with "^" without m: only position 0
    uint8_t zero;
};

// Header of the compiled program; the arrays follow it in this order:
// instructions, classes, ranges (2 units each), pool units, group names
// (one word per group, 1-based, 0 = unnamed), then the source text.
struct Program {
    uint32_t total_bytes;
    uint32_t inst_count;
    uint32_t class_count;
    uint32_t range_count;
    uint32_t unit_count;
    uint32_t source_bytes;
    uint16_t group_count;
    uint16_t register_count;
    uint8_t has_names;
    uint8_t zero[3];
    FirstSet first;
    uint32_t spare;

    const Inst* insts() const { return reinterpret_cast<const Inst*>(this + 1); }
    const ClassSet* classes() const { return reinterpret_cast<const ClassSet*>(insts() + inst_count); }
    const uint16_t* ranges() const { return reinterpret_cast<const uint16_t*>(classes() + class_count); }
    const uint16_t* units() const { return ranges() + 2 * range_count; }
    const uint32_t* group_names() const {
        const uintptr_t at = reinterpret_cast<uintptr_t>(units() + unit_count);
        return reinterpret_cast<const uint32_t*>((at + 3) & ~uintptr_t(3));
    }
    const char* source() const { return reinterpret_cast<const char*>(group_names() + group_count + 1); }
};
static_assert(sizeof(Program) % 8 == 0);

inline bool class_has(const ClassSet& set, const uint16_t* ranges, uint32_t u) {
    bool in;
    if (u < 128) {
        in = (set.ascii[u >> 5] >> (u & 31)) & 1;
    } else if (set.all_non_ascii) {
        in = true;
    } else {
        in = false;
        const uint16_t* r = ranges + 2 * set.range_first;
        for (uint32_t i = 0; i < set.range_count; ++i, r += 2) {
            if (u >= r[0] && u <= r[1]) {
                in = true;
                break;
            }
        }
    }
    return in != (set.negated != 0);
}

inline uint32_t fold_unit(uint32_t u) { return u - 'a' < 26 ? u - 32 : u; }
inline bool is_word_unit(uint32_t u) {
    return u - 'a' < 26 || u - 'A' < 26 || u - '0' < 10 || u == '_';
}

}  // namespace tolv::regexp
