// Non-local transfers without unwinding the machine stack.
//
// break, continue and return set a pending completion and return normally;
// blocks, loops, switch, try and calls check it after each statement. Throws
// and evaluation errors travel as ScriptThrow exceptions. The tag stack
// records which constructs are active so that a break or return with nowhere
// to go is refused at the statement itself.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

enum Completion : uint8_t {
    COMPLETION_NORMAL = 0,
    COMPLETION_BREAK = 1,
    COMPLETION_CONTINUE = 2,
    COMPLETION_RETURN = 3,
};

// The pending completion and, for a return, its value (holding one reference).
extern Completion g_completion;
extern ValueHandle g_completion_value;

enum JumpTag : uint8_t {
    TAG_LOOP = 1,
    TAG_CALL = 2,
    TAG_TRY = 3,
    TAG_SWITCH = 4,
};

struct TagStack {
    uint8_t* tags;
    uint32_t count;
    uint32_t capacity;
};
extern TagStack g_tags;

void grow_tag_stack();
inline void push_tag(JumpTag tag) {
    if (g_tags.count == g_tags.capacity) grow_tag_stack();
    g_tags.tags[g_tags.count++] = tag;
}
inline void cut_tags(uint32_t count) { g_tags.count = count; }

// Nearest target of a completion below `from` (exclusive), searching no
// further than the innermost call entry; true when one exists.
bool has_target(Completion code, uint32_t from);

// The value a script `throw` holds a reference to until a catch binds it.
extern ValueHandle g_thrown_owned;

// Drops a pending completion (releasing a return value).
void clear_completion();

void control_reset();

}  // namespace tolv
